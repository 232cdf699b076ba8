#include "pointer/log_sink.h"

#include <cerrno>
#include <system_error>
#include <utility>

#include "pointer/mouse_event_text.h"

namespace zorvan {

LogSink::LogSink() : LogSink(stdout, "stdout") {}

LogSink::LogSink(std::FILE* out, std::string name) : out_(out), name_(std::move(name)) {}

LogSink::LogSink(const std::string& path) : out_(nullptr), name_(path) {
    // 'e': close on exec, so the calibration tool launched later does not inherit it.
    owned_.reset(std::fopen(path.c_str(), "we"));
    if (!owned_) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot open the event log \"" + path + "\"");
    }
    out_ = owned_.get();
}

void LogSink::post(const MouseEvent& event) {
    std::string line = formatMouseEvent(event);
    line += '\n';
    errno = 0;
    const bool written = std::fwrite(line.data(), 1, line.size(), out_) == line.size();
    const bool flushed = std::fflush(out_) == 0;
    if (!written || !flushed) {
        const int error = errno;
        // Later lines get their own chance (a full disk may free up).
        std::clearerr(out_);
        writeFailure_.say("event log: cannot write to " + name_ + ": " +
                          (error != 0 ? std::generic_category().message(error) : "write failed") +
                          "; events that can't be written are dropped");
    }
}

}  // namespace zorvan
