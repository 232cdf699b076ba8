// Fuzzes the road from a hand-edited settings file and arbitrary board bytes
// to pointer events: whatever the store and the line hold, every event must
// land on a finite point inside the display, and once the board falls silent
// every button pressed has been released.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>

#include "calibration/memory_settings_store.h"
#include "calibration/read_system_param.h"
#include "driver/board_input.h"
#include "driver/packet_framer.h"
#include "fuzz/fuzz_input.h"
#include "pointer/recording_sink.h"

namespace {

class FixedDisplay : public zorvan::MainDisplay {
  public:
    explicit FixedDisplay(zorvan::DisplaySize size) : size_(size) {}
    zorvan::DisplaySize pixelSize() const override { return size_; }

  private:
    zorvan::DisplaySize size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorvan::fuzz::Input input(data, size);
    zorvan::MemorySettingsStore store;
    store.setInteger("DotCount", input.take<std::int8_t>());
    for (int dot = 0; dot < 20; ++dot) {
        store.setFloat(zorvan::dotKey(dot, 'x'), input.value());
        store.setFloat(zorvan::dotKey(dot, 'y'), input.value());
    }
    for (const char mode : {'T', 'E'}) {
        for (const int key : {0, 1, 2, 12, 26}) {
            store.setFloat(zorvan::softKeyKey(mode, key, 'x'), input.value());
            store.setFloat(zorvan::softKeyKey(mode, key, 'y'), input.value());
        }
    }
    const FixedDisplay display({input.take<std::uint16_t>(), input.take<std::uint16_t>()});

    // The clock moves on by a step of the input's choice per packet (up to
    // 65.5 ms), so runs of releases fall both inside and outside the
    // double-click window.
    const auto clockStep = input.take<std::uint16_t>();
    const std::size_t chunk = 1 + input.take<std::uint8_t>() % 16;
    std::chrono::nanoseconds now{0};

    zorvan::RecordingSink sink;
    zorvan::BoardInput road(
        sink, [] {}, [&now] { return now; });
    std::atomic<bool> bGet{true};
    zorvan::ReadSystemParam(road.tables(), store, display, 1, bGet, [] {});

    zorvan::PacketFramer framer;
    std::int32_t iDownSkip = 0;
    // The line delivers the bytes in reads of any size.
    for (auto bytes = input.rest(); !bytes.empty();) {
        const std::size_t n = std::min(chunk, bytes.size());
        framer.push(bytes.first(n), [&](const zorvan::Packet& packet) {
            now += std::chrono::microseconds(clockStep);
            road.decode(packet, iDownSkip);
        });
        bytes = bytes.subspan(n);
    }

    // The board falls silent, as at the end of every session.
    road.releaseHeldContact();

    const float width = road.tables().MyScreenWidth;
    const float height = road.tables().MyScreenHeight;
    bool leftPressed = false;
    bool rightPressed = false;
    for (const zorvan::MouseEvent& event : sink.events) {
        zorvan::fuzz::require(zorvan::fuzz::onScreen(event.point, width, height),
                              "every event lands on the display");
        if (const auto change = zorvan::buttonChange(event.type)) {
            (change->button == zorvan::ButtonChange::Button::Left ? leftPressed : rightPressed) =
                change->pressed;
        }
    }
    zorvan::fuzz::require(!leftPressed, "the left button is released once the board is silent");
    zorvan::fuzz::require(!rightPressed, "the right button is released");
    return 0;
}
