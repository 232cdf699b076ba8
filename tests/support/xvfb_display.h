#pragma once

#include <sys/types.h>

#include <string>

namespace zorvan::test {

// A private Xvfb on a free display number, stopped when this goes away.
class XvfbDisplay {
  public:
    // Starts Xvfb with one screen of width x height. ok() tells whether it runs;
    // when not, why() says so (e.g. Xvfb is not installed).
    XvfbDisplay(int width, int height);
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool ok() const { return pid_ > 0 && !name_.empty(); }
    const std::string& why() const { return why_; }
    // ":<n>"
    const std::string& name() const { return name_; }
    // Ends the server now (to test what clients do when it goes away).
    void stop();

  private:
    pid_t pid_ = -1;
    std::string name_;
    std::string why_;
};

}  // namespace zorvan::test
