#pragma once

#include <atomic>
#include <string>

namespace zorvan::serial {

// The handle an open port hands out: it owns the port's descriptor and closes
// it exactly once, at closeFile() or at its destruction, whichever comes
// first. After that fileDescriptor() answers -1, so a client that kept the
// handle past the port's close never reaches a descriptor the process has
// since given to another file.
class FileHandle {
  public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Any thread. The descriptor, or -1 once closed.
    int fileDescriptor() const { return fd_.load(); }
    // Any thread; closes the descriptor once.
    void closeFile();
    // "<FileHandle: fd 5>", or "<FileHandle: closed>" once closed.
    std::string description() const;

  private:
    std::atomic<int> fd_;
};

}  // namespace zorvan::serial
