// Fuzzes the road from a hand-edited settings file and arbitrary board bytes
// to pointer events: whatever the store and the line hold, every event must
// land on a finite point inside the display, and nothing may crash.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "calibration/memory_settings_store.h"
#include "calibration/read_system_param.h"
#include "driver/board_input.h"
#include "driver/packet_framer.h"
#include "pointer/recording_sink.h"

namespace {

class FixedDisplay : public zorvan::MainDisplay {
  public:
    explicit FixedDisplay(zorvan::DisplaySize size) : size_(size) {}
    zorvan::DisplaySize pixelSize() const override { return size_; }

  private:
    zorvan::DisplaySize size_;
};

// Takes values off the front of the input; zeros once it runs out.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    template <typename T>
    T take() {
        T value{};
        const std::size_t n = std::min(sizeof value, size_ - at_);
        std::memcpy(&value, data_ + at_, n);
        at_ += n;
        return value;
    }
    std::span<const std::uint8_t> rest() const { return {data_ + at_, size_ - at_}; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    zorvan::MemorySettingsStore store;
    store.setInteger("DotCount", input.take<std::int8_t>());
    for (int dot = 0; dot < 20; ++dot) {
        store.setFloat(zorvan::dotKey(dot, 'x'), input.take<float>());
        store.setFloat(zorvan::dotKey(dot, 'y'), input.take<float>());
    }
    for (const char mode : {'T', 'E'}) {
        for (const int key : {0, 1, 2, 12, 26}) {
            store.setFloat(zorvan::softKeyKey(mode, key, 'x'), input.take<float>());
            store.setFloat(zorvan::softKeyKey(mode, key, 'y'), input.take<float>());
        }
    }
    const FixedDisplay display({input.take<std::uint16_t>(), input.take<std::uint16_t>()});

    zorvan::RecordingSink sink;
    zorvan::BoardInput road(
        sink, [] {}, [] { return std::clock_t{0}; });
    std::atomic<bool> bGet{true};
    zorvan::ReadSystemParam(road.tables(), store, display, 1, bGet, [] {});

    zorvan::PacketFramer framer;
    std::int32_t iDownSkip = 0;
    framer.push(input.rest(),
                [&](const zorvan::Packet& packet) { road.decode(packet, iDownSkip); });

    const float width = road.tables().MyScreenWidth;
    const float height = road.tables().MyScreenHeight;
    for (const zorvan::MouseEvent& event : sink.events) {
        const zorvan::ScreenPoint p = event.point;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || p.x < 0 || p.y < 0 || p.x > width ||
            p.y > height) {
            std::abort();
        }
    }
    return 0;
}
