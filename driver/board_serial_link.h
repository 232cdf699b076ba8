#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "driver/board_lock.h"
#include "driver/packet.h"

struct termios;

namespace zorvan {

// The handshake the driver sends to a silent board.
inline constexpr Packet connect_buf{0xCE, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// The board's terminal: open and configure, send the handshake, close with
// the attributes found at open restored. One reader thread uses it at a time.
class BoardSerialLink {
  public:
    // Whether an open takes the one-driver-per-board lock. The calibration
    // tool opens the board while its driver holds the lock (paused), so it
    // opens without it.
    enum class Locking { TakeLock, NoLock };

    // closeMessages receives the two diagnostics of CloseSerialPort.
    explicit BoardSerialLink(std::FILE* closeMessages = stdout,
                             Locking locking = Locking::TakeLock);
    ~BoardSerialLink();
    BoardSerialLink(const BoardSerialLink&) = delete;
    BoardSerialLink& operator=(const BoardSerialLink&) = delete;

    // Opens path read-write, non-blocking, never as controlling terminal, and
    // sets 19200 baud raw 8N1 without flow control, VMIN 0, VTIME 5. Returns
    // the descriptor, or -1 after a 500 ms pause (lastOpenError() says why).
    // Input queued before the open is discarded.
    // A path that is no terminal is refused (kNotASerialDevice), and so is a
    // board that another process has locked (kBoardLocked, at once, with
    // lockHolder() naming it); the board is left untouched in both cases.
    int InitSerialPort(const char* path);
    // errno of the last failed open (or kNotASerialDevice, kBoardLocked),
    // 0 after a successful one.
    int lastOpenError() const { return lastOpenError_; }
    const std::optional<BoardLockHolder>& lockHolder() const { return lockHolder_; }

    // Sends connect_buf in one write; the result is ignored (the next
    // handshake comes after the next silence). One write, not one per byte:
    // the same bytes on the line, and a pseudo-terminal's writer sleeps
    // about once per byte written, which would wake an idle driver three
    // times as often.
    void WriteData(int fd);

    // Discards what the board sent and nobody has read yet.
    static void discardInput(int fd);

    // Drains, restores the attributes saved at open and closes. A failed
    // drain or restore prints its line and the close goes ahead.
    void CloseSerialPort(int fd);

  private:
    int failOpen(int error);

    std::FILE* closeMessages_;
    Locking locking_;
    std::unique_ptr<struct termios> gOriginalTTYAttrs;
    int lastOpenError_ = 0;
    std::optional<BoardLockHolder> lockHolder_;
};

}  // namespace zorvan
