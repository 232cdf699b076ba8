#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <utility>

namespace zorvan::serial {

// @addtogroup ports
// @{

// The handle an open port hands out: it owns the port's descriptor and closes
// it exactly once, at closeFile() or at its destruction, whichever comes
// first. After that fileDescriptor() answers -1, so a client that kept the
// handle past the port's close never reaches a descriptor the process has
// since given to another file.
class FileHandle {
  public:
    // onClose, when given, runs once, on the thread that closes the handle,
    // just before the descriptor is closed (a port's handle closes its port).
    explicit FileHandle(int fd, std::function<void()> onClose = {})
        : fd_(fd), onClose_(std::move(onClose)) {}
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Any thread. The descriptor, or -1 once closed.
    int fileDescriptor() const { return fd_.load(); }
    // Any thread; closes the descriptor once. A port's handle closes its
    // port first (settings put back, waiting reads and writes ended).
    void closeFile();
    // "<FileHandle: fd 5>", or "<FileHandle: closed>" once closed.
    std::string description() const;

  private:
    std::atomic<int> fd_;
    // Used only by the one closeFile() that takes the descriptor.
    std::function<void()> onClose_;
};

// @}

}  // namespace zorvan::serial
