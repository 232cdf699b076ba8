#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "calibration/main_display.h"
#include "pointer/mouse_event.h"
#include "pointer/once_notice.h"

namespace zorvan {

// One input event as the kernel takes it (struct input_event without time).
struct EvdevEvent {
    std::uint16_t type = 0;
    std::uint16_t code = 0;
    std::int32_t value = 0;
    friend bool operator==(const EvdevEvent&, const EvdevEvent&) = default;
};

// Where UinputSink writes its events: the uinput device, or a recorder in tests.
class EvdevEventWriter {
  public:
    virtual ~EvdevEventWriter() = default;
    // 0 on success or a negative errno.
    virtual int write(const EvdevEvent& event) = 0;
};

// Opens /dev/uinput and creates the virtual absolute pointer "Zorvan
// whiteboard": ABS_X over 0..width-1, ABS_Y over 0..height-1 of `range` (one
// unit per desktop pixel), BTN_LEFT and BTN_RIGHT. The device lives as long
// as the returned writer. On failure answers null and sets `error`.
std::unique_ptr<EvdevEventWriter> createUinputPointer(DisplaySize range, std::string& error);

// Makes a device whose axes span `range`; createUinputPointer, or a recorder in tests.
using UinputDeviceFactory =
    std::function<std::unique_ptr<EvdevEventWriter>(DisplaySize range, std::string& error)>;

// Posts pointer events as a virtual absolute pointer, which X11 and Wayland
// sessions alike take as a real mouse. Each event becomes a motion frame
// (ABS_X, ABS_Y, SYN_REPORT) and, for presses and releases, a button frame
// (BTN_LEFT or BTN_RIGHT, SYN_REPORT), so the press lands where the pointer
// already is.
//
// X11 and the Wayland compositors spread an absolute pointer over the whole
// desktop, every screen together: the axes span the desktop's bounding box,
// and each point is placed on the board's screen (see toDesktop) and offset
// from the desktop's corner. When a calibration load finds the desktop's size
// changed, the device is made anew with the new range; if that fails the old
// device and placement stay, and the failure is said once.
class UinputSink : public MouseEventSink {
  public:
    // Creates the virtual device; if that fails, ready() is false and every
    // event is dropped, with failure() said once on stderr.
    explicit UinputSink(const ScreenPlacement& placement,
                        UinputDeviceFactory factory = createUinputPointer);
    // Writes through `writer` (null: not ready, `failure` says why); later
    // devices come from `factory` (none: the range never changes).
    UinputSink(const ScreenPlacement& placement, std::unique_ptr<EvdevEventWriter> writer,
               std::string failure = {}, UinputDeviceFactory factory = nullptr);

    void post(const MouseEvent& event) override;
    void place(const ScreenPlacement& placement) override;

    bool ready() const { return writer_ != nullptr; }
    const std::string& failure() const { return failure_; }
    // The axis range of the current device: the desktop's size.
    DisplaySize range() const { return range_; }

  private:
    bool write(std::uint16_t type, std::uint16_t code, std::int32_t value);

    ScreenPlacement placement_;
    DisplaySize range_;
    UinputDeviceFactory factory_;
    std::unique_ptr<EvdevEventWriter> writer_;
    std::string failure_;
    OnceNotice unavailable_;
    OnceNotice writeFailed_;
    OnceNotice badPoint_;
    OnceNotice remakeFailed_;
};

}  // namespace zorvan
