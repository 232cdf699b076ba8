#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "serial/run_loop.h"
#include "serial/vx_serial_port.h"

namespace zorvan::serial_tool {

// Carries the bytes of an input descriptor (term's stdin) to an open port no
// faster than the device takes them: input is read only while less than
// 64 KiB of it waits for the device, so a pipe that fills up stops its writer
// and memory stays bounded whatever the input holds. Writes never block the loop: the
// port's descriptor is made non-blocking and each write goes out when the
// device has room, so the count of bytes delivered is exact and an interrupt
// ends the wait at once. A file can be sent in between: it goes out before
// any input read after it was asked for, and is read no faster than the
// device takes it either. Everything runs on the loop's thread.
class PortFeeder {
  public:
    struct Handlers {
        // Turns each chunk of input into the bytes to send (a menu takes its
        // keys out); without it, input is sent as it is.
        std::function<void(std::span<const std::uint8_t>, std::vector<std::uint8_t>&)> filter;
        std::function<void(std::span<const std::uint8_t>)> onInput;  // each chunk taken to send
        std::function<void()> onInputEnd;                            // end of input or the quit key
        std::function<void()> onAllWritten;      // after onInputEnd, once nothing waits
        std::function<void(int)> onWriteFailed;  // errno of a failed write: nothing more is written
        // A file of sendFile read to its end (error 0) or up to a failed read
        // (its errno); bytes: how much of it was taken to send.
        std::function<void(std::uint64_t bytes, int error)> onFileSent;
    };

    // Bytes from quitKey on (when given) end the input unread.
    PortFeeder(serial::RunLoop& loop, serial::VXSerialPort& port, int input,
               std::optional<std::uint8_t> quitKey, Handlers handlers);
    ~PortFeeder();
    PortFeeder(const PortFeeder&) = delete;
    PortFeeder& operator=(const PortFeeder&) = delete;

    // Starts reading input. false, with errno, when the port's descriptor
    // can't be made non-blocking or watched.
    bool start();
    // Ends every watch; call before the port closes.
    void stop();
    // Sends what the file descriptor (a regular file, opened non-blocking)
    // holds, and closes it. false, leaving fd open, while another file is
    // being sent or after a write failed.
    bool sendFile(int fd);
    bool sendingFile() const { return file_ >= 0; }

    // Bytes taken to send, from input (up to the quit key) and files, and
    // bytes the device took.
    std::uint64_t taken() const { return taken_; }
    std::uint64_t delivered() const { return delivered_; }
    bool inputEnded() const { return inputEnded_; }

  private:
    void readInput();
    void fillFromFile();
    std::size_t inputRoom() const;
    void endInput();
    void writePending();
    void watchInput(bool on);
    void watchRoom(bool on);

    serial::RunLoop& loop_;
    serial::VXSerialPort& port_;
    const int input_;
    const std::optional<std::uint8_t> quitKey_;
    Handlers handlers_;
    // Readable while the device has room for output (or has hung up).
    int roomFd_ = -1;
    serial::RunLoop::WatchId inputWatch_ = 0;
    serial::RunLoop::WatchId roomWatch_ = 0;
    std::vector<std::uint8_t> pending_;  // read; written up to `sent_`
    std::size_t sent_ = 0;
    int file_ = -1;
    std::uint64_t fileTaken_ = 0;
    std::vector<std::uint8_t> held_;  // input read while a file is sent
    std::uint64_t taken_ = 0;
    std::uint64_t delivered_ = 0;
    bool inputEnded_ = false;
    bool failed_ = false;
};

}  // namespace zorvan::serial_tool
