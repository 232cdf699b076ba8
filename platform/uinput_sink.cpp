#include "platform/uinput_sink.h"

#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <optional>
#include <system_error>
#include <utility>

namespace zorvan {

namespace {

std::string errnoText(int error) {
    return std::generic_category().message(error);
}

class LibevdevUinputWriter : public EvdevEventWriter {
  public:
    LibevdevUinputWriter(int fd, libevdev_uinput* device) : fd_(fd), device_(device) {}
    ~LibevdevUinputWriter() override {
        // Destroying the device before closing its descriptor removes it cleanly.
        libevdev_uinput_destroy(device_);
        ::close(fd_);
    }
    LibevdevUinputWriter(const LibevdevUinputWriter&) = delete;
    LibevdevUinputWriter& operator=(const LibevdevUinputWriter&) = delete;

    int write(const EvdevEvent& e) override {
        return libevdev_uinput_write_event(device_, e.type, e.code, e.value);
    }

  private:
    int fd_;
    libevdev_uinput* device_;
};

struct LibevdevFree {
    void operator()(libevdev* dev) const { libevdev_free(dev); }
};

DisplaySize rangeOf(const ScreenPlacement& placement) {
    return {placement.desktop.width, placement.desktop.height};
}

// A desktop coordinate as a value of an axis that starts at the desktop's
// corner, kept within the axis.
std::int32_t toAxis(std::int64_t at, std::int32_t corner, std::uint32_t extent) {
    const std::int64_t last = std::min<std::int64_t>(extent, INT32_MAX) - 1;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(at - corner, 0, std::max<std::int64_t>(last, 0)));
}

}  // namespace

std::unique_ptr<EvdevEventWriter> createUinputPointer(DisplaySize size, std::string& error) {
    if (size.width == 0 || size.height == 0) {
        error = "uinput: the desktop's size is unknown";
        return nullptr;
    }
    // Opened by us with O_CLOEXEC: a calibration tool started later must not
    // keep the device alive after the driver has gone.
    const int fd = ::open("/dev/uinput", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int e = errno;
        error = "uinput: cannot open /dev/uinput: " + errnoText(e);
        if (e == EACCES || e == EPERM) {
            error += " (install the udev rule from packaging/udev to give the user access)";
        } else if (e == ENOENT || e == ENODEV) {
            error += " (the kernel's uinput module is not loaded)";
        }
        return nullptr;
    }
    std::unique_ptr<libevdev, LibevdevFree> dev(libevdev_new());
    if (!dev) {
        ::close(fd);
        error = "uinput: out of memory";
        return nullptr;
    }
    libevdev_set_name(dev.get(), "Zorvan whiteboard");
    libevdev_set_id_bustype(dev.get(), BUS_VIRTUAL);
    input_absinfo x{};
    x.maximum = static_cast<std::int32_t>(std::min<std::uint32_t>(size.width, INT32_MAX) - 1);
    input_absinfo y{};
    y.maximum = static_cast<std::int32_t>(std::min<std::uint32_t>(size.height, INT32_MAX) - 1);
    libevdev_enable_event_type(dev.get(), EV_ABS);
    libevdev_enable_event_code(dev.get(), EV_ABS, ABS_X, &x);
    libevdev_enable_event_code(dev.get(), EV_ABS, ABS_Y, &y);
    libevdev_enable_event_type(dev.get(), EV_KEY);
    libevdev_enable_event_code(dev.get(), EV_KEY, BTN_LEFT, nullptr);
    libevdev_enable_event_code(dev.get(), EV_KEY, BTN_RIGHT, nullptr);

    libevdev_uinput* device = nullptr;
    const int rc = libevdev_uinput_create_from_device(dev.get(), fd, &device);
    if (rc != 0) {
        ::close(fd);
        error = "uinput: cannot create the virtual pointer: " + errnoText(-rc);
        return nullptr;
    }
    return std::make_unique<LibevdevUinputWriter>(fd, device);
}

UinputSink::UinputSink(const ScreenPlacement& placement, UinputDeviceFactory factory)
    : placement_(placement), range_(rangeOf(placement)), factory_(std::move(factory)) {
    if (factory_) {
        writer_ = factory_(range_, failure_);
    }
}

UinputSink::UinputSink(const ScreenPlacement& placement, std::unique_ptr<EvdevEventWriter> writer,
                       std::string failure, UinputDeviceFactory factory)
    : placement_(placement),
      range_(rangeOf(placement)),
      factory_(std::move(factory)),
      writer_(std::move(writer)),
      failure_(std::move(failure)) {}

void UinputSink::place(const ScreenPlacement& placement) {
    const DisplaySize range = rangeOf(placement);
    if (range == range_ || !factory_) {
        placement_ = placement;
        range_ = range;
        return;
    }
    // An absolute device's range is fixed at creation: a desktop of another
    // size needs a new device.
    std::string error;
    auto writer = factory_(range, error);
    if (!writer) {
        if (writer_) {
            remakeFailed_.say(error + "; the pointer keeps the desktop's former layout");
            return;
        }
        failure_ = error;
    } else {
        failure_.clear();
    }
    writer_ = std::move(writer);
    placement_ = placement;
    range_ = range;
}

bool UinputSink::write(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    const int rc = writer_->write(EvdevEvent{type, code, value});
    if (rc != 0) {
        writeFailed_.say("uinput: cannot post a pointer event: " + errnoText(-rc) +
                         "; such events are dropped");
        return false;
    }
    return true;
}

void UinputSink::post(const MouseEvent& event) {
    if (!writer_) {
        unavailable_.say(failure_ + "; pointer events are dropped");
        return;
    }
    if (std::isfinite(event.point.x) && std::isfinite(event.point.y)) {
        const DesktopPoint at = toDesktop(placement_, event.point);
        if (!write(EV_ABS, ABS_X, toAxis(at.x, placement_.desktop.x, range_.width)) ||
            !write(EV_ABS, ABS_Y, toAxis(at.y, placement_.desktop.y, range_.height)) ||
            !write(EV_SYN, SYN_REPORT, 0)) {
            return;
        }
    } else {
        // Still post the button, so no press is left without its release.
        badPoint_.say("uinput: a pointer event has no valid position; its move is skipped");
    }
    const std::optional<ButtonChange> change = buttonChange(event.type);
    if (!change) {
        return;
    }
    const std::uint16_t button =
        change->button == ButtonChange::Button::Left ? BTN_LEFT : BTN_RIGHT;
    const std::int32_t pressed = change->pressed ? 1 : 0;
    if (write(EV_KEY, button, pressed)) {
        write(EV_SYN, SYN_REPORT, 0);
    }
}

}  // namespace zorvan
