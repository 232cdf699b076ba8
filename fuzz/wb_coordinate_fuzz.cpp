// The mapping on any calibration tables and any raw point: whatever a load
// or a hand-edited file left in the tables, every point maps to a finite
// point within the display, both bounds included.
#include <cstdint>

#include "calibration/calibration_tables.h"
#include "calibration/wb_coordinate.h"
#include "fuzz/fuzz_input.h"

using zorvan::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorvan::fuzz::Input input(data, size);
    zorvan::CalibrationTables tables;
    tables.W_Dot = input.take<std::int32_t>();
    tables.H_Dot = input.take<std::int32_t>();
    // The display size always comes from a pixel count.
    tables.MyScreenWidth = static_cast<float>(input.take<std::uint32_t>());
    tables.MyScreenHeight = static_cast<float>(input.take<std::uint32_t>());
    for (auto* table : {&tables.Comm_X, &tables.Comm_Y, &tables.Scr_DotX, &tables.Scr_DotY}) {
        for (float& value : *table) {
            value = input.value();
        }
    }
    do {
        const float x = input.value();
        const float y = input.value();
        const zorvan::ScreenPoint p = zorvan::WBCoordinate(tables, x, y);
        require(zorvan::fuzz::onScreen(p, tables.MyScreenWidth, tables.MyScreenHeight),
                "WBCoordinate yields a finite point within the display");
    } while (!input.empty());
    return 0;
}
