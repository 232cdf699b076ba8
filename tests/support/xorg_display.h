#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zorvan::test {

// A private Xorg with the dummy video driver on a free display number: its
// RandR outputs DUMMY0..DUMMY15 are monitors that xrandr switches on, sizes,
// places and makes primary, so Qt sees several screens. Starts with DUMMY0
// alone at 1024x768. Stopped (and its files removed) when this goes away.
//
// Xorg reads a private configuration only when run as root; where it can't
// run (not installed, not root, no dummy driver, it fails to start) ok() is
// false and why() says so, for the test to skip.
class XorgDisplay {
  public:
    XorgDisplay();
    ~XorgDisplay();
    XorgDisplay(const XorgDisplay&) = delete;
    XorgDisplay& operator=(const XorgDisplay&) = delete;

    bool ok() const { return pid_ > 0 && !name_.empty(); }
    const std::string& why() const { return why_; }
    // ":<n>"
    const std::string& name() const { return name_; }

    // Runs xrandr on this display with `args`; true when it succeeded.
    bool xrandr(const std::vector<std::string>& args) const;

  private:
    void stop();

    pid_t pid_ = -1;
    std::string dir_;
    std::string name_;
    std::string why_;
};

}  // namespace zorvan::test
