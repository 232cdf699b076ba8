// Mapped points per second for each grid form, over a sweep of the whole raw
// range (so every cell, and the extrapolation outside the grid, is visited).

#include <benchmark/benchmark.h>

#include <vector>

#include "calibration/calibration_tables.h"
#include "calibration/memory_settings_store.h"
#include "calibration/read_system_param.h"
#include "calibration/wb_coordinate.h"

namespace {

using namespace zorvan;

struct Display : MainDisplay {
    DisplaySize pixelSize() const override { return {1920, 1080}; }
};

// Loads a slightly skewed grid of the given form the way the driver does.
CalibrationTables loadForm(int dotCount) {
    const int columns = dotCount == 5 ? 5 : dotCount == 3 ? 3 : 2;
    const int rows = dotCount == 5 ? 4 : columns;
    MemorySettingsStore store;
    store.setInteger("DotCount", dotCount);
    for (int k = 0; k < columns * rows; ++k) {
        const int i = k / rows, j = k % rows;
        store.setFloat(dotKey(k, 'x'), 300.0f + 3500.0f * i / (columns - 1) + 7.0f * j);
        store.setFloat(dotKey(k, 'y'), 250.0f + 3600.0f * j / (rows - 1) - 5.0f * i);
    }
    CalibrationTables tables;
    std::atomic<bool> bGet{true};
    Display display;
    ReadSystemParam(tables, store, display, 1, bGet, nullptr);
    return tables;
}

std::vector<RawPoint> sweep() {
    std::vector<RawPoint> points;
    for (int x = 0; x < 4096; x += 61) {
        for (int y = 0; y < 4096; y += 67) {
            points.push_back({static_cast<float>(x), static_cast<float>(y)});
        }
    }
    return points;
}

void mapPoints(benchmark::State& state, int dotCount) {
    const CalibrationTables tables = loadForm(dotCount);
    const std::vector<RawPoint> points = sweep();
    for (auto _ : state) {
        for (const RawPoint& p : points) {
            benchmark::DoNotOptimize(WBCoordinate(tables, p.x, p.y));
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(points.size()));
}

void BM_WBCoordinate_2x2(benchmark::State& state) {
    mapPoints(state, 2);
}
void BM_WBCoordinate_3x3(benchmark::State& state) {
    mapPoints(state, 3);
}
void BM_WBCoordinate_5x4(benchmark::State& state) {
    mapPoints(state, 5);
}
// A degenerate grid (screen dots all at one point) takes the fallback.
void BM_WBCoordinate_Fallback(benchmark::State& state) {
    mapPoints(state, 4);
}

BENCHMARK(BM_WBCoordinate_2x2);
BENCHMARK(BM_WBCoordinate_3x3);
BENCHMARK(BM_WBCoordinate_5x4);
BENCHMARK(BM_WBCoordinate_Fallback);

}  // namespace

BENCHMARK_MAIN();
