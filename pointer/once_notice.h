#pragma once

#include <cstdio>
#include <string_view>

namespace zorvan {

// Says something on a stream the first time only, so that a backend that
// keeps failing at every event does not flood stderr.
class OnceNotice {
  public:
    explicit OnceNotice(std::FILE* out = stderr) : out_(out) {}

    // Writes `message` and a newline unless something was said before.
    // Returns true when it wrote.
    bool say(std::string_view message);
    bool said() const { return said_; }

  private:
    std::FILE* out_;
    bool said_ = false;
};

}  // namespace zorvan
