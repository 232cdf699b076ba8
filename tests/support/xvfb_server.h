#pragma once

#include <sys/types.h>

#include <string>

namespace zorvan::harness {

// A private Xvfb for one test, on the first free display number. The
// destructor stops it.
class XvfbServer {
  public:
    XvfbServer(int width, int height);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    static bool available();
    bool running() const { return pid_ > 0 && !display_.empty(); }
    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace zorvan::harness
