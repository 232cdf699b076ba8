#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace zorvan {

// Tells when a process ends, for a wait that must not wake for nothing: a
// pidfd (Linux 5.3 and later), which turns readable once the process has
// exited. Where the kernel has none, the waiter checks hasEnded() every
// kCheckInterval instead. Move-only; one thread.
class ProcessExitWatch {
  public:
    static constexpr auto kCheckInterval = std::chrono::seconds(1);
    enum class Mode { Pidfd, Checks };

    // pid <= 0 watches nothing. Mode::Checks stands in for a kernel without
    // pidfds.
    explicit ProcessExitWatch(std::int64_t pid, Mode mode = Mode::Pidfd);
    ~ProcessExitWatch();
    ProcessExitWatch(ProcessExitWatch&& other) noexcept;
    ProcessExitWatch& operator=(ProcessExitWatch&&) = delete;
    ProcessExitWatch(const ProcessExitWatch&) = delete;
    ProcessExitWatch& operator=(const ProcessExitWatch&) = delete;

    std::int64_t pid() const { return pid_; }
    // The descriptor to wait on, readable once the process has ended; -1
    // without a pidfd.
    int fd() const { return fd_; }
    // Whether the wait needs a deadline to check hasEnded() by (no pidfd).
    bool needsChecks() const { return pid_ > 0 && fd_ < 0 && !ended_; }
    // Whether the process has ended (or had already ended when the watch
    // began). False when nothing is watched.
    bool hasEnded();

  private:
    std::int64_t pid_;
    int fd_ = -1;
    bool ended_ = false;
};

}  // namespace zorvan
