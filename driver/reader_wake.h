#pragma once

namespace zorvan {

// Wakes the reader's wait from another thread after a change of iRun (the
// board removed, the application quitting): an eventfd the reader watches
// beside the board. Wakes are not counted; the reader reads the flags again.
class ReaderWake {
  public:
    ReaderWake();
    ~ReaderWake();
    ReaderWake(const ReaderWake&) = delete;
    ReaderWake& operator=(const ReaderWake&) = delete;

    // Any thread. Never blocks.
    void wake();
    // The reader's side: readable after a wake until read (its wait drains it).
    int fd() const { return fd_; }

  private:
    int fd_;
};

}  // namespace zorvan
