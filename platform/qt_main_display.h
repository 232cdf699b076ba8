#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>

#include "calibration/main_display.h"

class QScreen;

namespace zorvan {

// The primary screen's size in device pixels (logical size times the device
// pixel ratio). Made and updated on the GUI thread, following primary-screen
// and geometry changes; pixelSize() may be called from any thread and hands
// out width and height from one lock-free word, so they always belong together.
class QtMainDisplay : public QObject, public MainDisplay {
    Q_OBJECT
  public:
    // Needs a QGuiApplication; call on the GUI thread.
    explicit QtMainDisplay(QObject* parent = nullptr);

    DisplaySize pixelSize() const override;

    // Reads the primary screen again (GUI thread). Done on every change.
    void refresh();

    // A screen's size in device pixels; 0 x 0 for none.
    static DisplaySize pixelSizeOf(const QScreen* screen);

    static std::uint64_t pack(DisplaySize size) {
        return (std::uint64_t{size.width} << 32) | size.height;
    }
    static DisplaySize unpack(std::uint64_t word) {
        return {static_cast<std::uint32_t>(word >> 32), static_cast<std::uint32_t>(word)};
    }

  private:
    void follow(QScreen* screen);

    std::atomic<std::uint64_t> packed_{0};
    QScreen* followed_ = nullptr;
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
};

}  // namespace zorvan
