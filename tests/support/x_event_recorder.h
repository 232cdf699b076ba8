#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorvan::test {

// What the X server itself saw from its input devices, in order, through the
// RECORD extension: every button press and release with the pointer position
// at that moment, and the motions between them.
struct XInputEvent {
    enum class Kind { Motion, Press, Release } kind;
    int button = 0;  // 1 left, 3 right; 0 for motion
    int x = 0;
    int y = 0;
};

class XEventRecorder {
  public:
    explicit XEventRecorder(const std::string& display);
    ~XEventRecorder();
    XEventRecorder(const XEventRecorder&) = delete;
    XEventRecorder& operator=(const XEventRecorder&) = delete;

    bool ok() const { return ok_; }
    std::vector<XInputEvent> events() const;

  private:
    void run();

    std::string display_;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<XInputEvent> events_;
    void* control_ = nullptr;  // Display* used to set up and disable the context
    void* data_ = nullptr;     // Display* that receives the recorded data
    unsigned long context_ = 0;
    std::thread thread_;
};

}  // namespace zorvan::test
