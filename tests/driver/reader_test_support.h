#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "driver/packet_handler.h"

namespace zorvan::test {

// Records the packets the reader hands over; waitable from the test thread.
class RecordingHandler final : public PacketHandler {
  public:
    void handlePacket(const Packet& packet, std::int32_t& /*iDownSkip*/) override {
        std::lock_guard lock(mutex_);
        packets_.push_back(packet);
        changed_.notify_all();
    }
    // The packets once there are at least count, or when the timeout passes.
    std::vector<Packet> waitFor(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return packets_.size() >= count; });
        return packets_;
    }
    std::size_t count() {
        std::lock_guard lock(mutex_);
        return packets_.size();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Packet> packets_;
};

// For a controller's abandonReader: a reader that does not stop when asked
// fails the test (the default would end the process with success).
[[noreturn]] inline void failOnStuckReader() {
    std::fputs("FAILED: the reader did not stop when asked\n", stderr);
    std::_Exit(3);
}

// Collects log lines from any thread.
class LogLines {
  public:
    void add(std::string_view line) {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    std::vector<std::string> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace zorvan::test
