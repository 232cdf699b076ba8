#include "pointer/once_notice.h"

namespace zorvan {

bool OnceNotice::say(std::string_view message) {
    if (said_) {
        return false;
    }
    said_ = true;
    std::fprintf(out_, "%.*s\n", static_cast<int>(message.size()), message.data());
    std::fflush(out_);
    return true;
}

}  // namespace zorvan
