#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "pointer/mouse_event.h"
#include "pointer/once_notice.h"

namespace zorvan {

// Writes one line per event (see formatMouseEvent) and flushes it at once, so
// a tool reading the log sees every event as it happens. Outside tools parse
// these lines: keep the format.
class LogSink : public MouseEventSink {
  public:
    // Logs to standard output.
    LogSink();
    // Logs to `out`, which the caller keeps open for the sink's lifetime.
    LogSink(std::FILE* out, std::string name);
    // Logs to the file at `path`, created or truncated. Throws
    // std::system_error naming the path and the reason when it can't be opened.
    explicit LogSink(const std::string& path);

    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;

    // A line that can't be written is dropped; the first such failure is
    // reported on stderr.
    void post(const MouseEvent& event) override;

    // "stdout" or the path, for messages.
    const std::string& name() const { return name_; }

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    std::unique_ptr<std::FILE, Closer> owned_;
    std::FILE* out_;
    std::string name_;
    OnceNotice writeFailure_;
};

}  // namespace zorvan
