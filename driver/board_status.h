#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "calibration/fallback_settings_store.h"
#include "driver/run_flags.h"

namespace zorvan {

// What the window shows about the board, published by the reader thread in
// lock-free values; the GUI thread only ever reads them (and the run flags).
struct BoardStatus {
    enum class Mode : std::uint8_t { Unknown, Pen, PenKeys, Touch, TouchKeys };
    enum class Calibration : std::uint8_t { NotLoaded, BuiltIn, Stored };

    // Set from each mode packet the board sends.
    std::atomic<Mode> mode{Mode::Unknown};
    // Set by each calibration load: the grid in use. The size is stored
    // before the kind, so a reader that sees the kind sees its size too.
    std::atomic<std::int32_t> gridColumns{0};
    std::atomic<std::int32_t> gridRows{0};
    // Whose file the grid came from (StoredCalibrationLoader::originText).
    std::atomic<CalibrationOrigin> origin{CalibrationOrigin::None};
    std::atomic<Calibration> calibration{Calibration::NotLoaded};
    // Tells one loaded grid from another of the same form (a recalibration);
    // stored before the kind, as the size is.
    std::atomic<std::uint64_t> gridFingerprint{0};
    // Whether a reader has had the board open in this run: its absence then
    // is an unplug, not a first wait.
    std::atomic<bool> boardSeen{false};

    // Called on the reader thread after a mode that differs from the last
    // one, and after each load: the window follows these instead of polling.
    // Set before the reader starts; must not block.
    std::function<void()> onChange;

    void publishMode(bool touch, bool softKeys);
    void publishCalibration(bool stored, std::int32_t columns, std::int32_t rows,
                            std::uint64_t fingerprint = 0,
                            CalibrationOrigin from = CalibrationOrigin::Own);
    // The reader has the board open (true), or has closed it and ended
    // (false): what the board said about itself holds no more.
    void publishBoardOpen(bool open);

    static_assert(std::atomic<Mode>::is_always_lock_free);
    static_assert(std::atomic<Calibration>::is_always_lock_free);
    static_assert(std::atomic<CalibrationOrigin>::is_always_lock_free);
    static_assert(std::atomic<std::int32_t>::is_always_lock_free);
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
    static_assert(std::atomic<bool>::is_always_lock_free);
};

// One consistent-enough look at the board for the window, taken on the GUI
// thread after each change it is told of.
struct BoardStatusSnapshot {
    // Unplugged: waiting again after the board had been open in this run.
    enum class Board : std::uint8_t { Waiting, Connected, Paused, Unplugged };

    Board board = Board::Waiting;
    BoardStatus::Mode mode = BoardStatus::Mode::Unknown;
    BoardStatus::Calibration calibration = BoardStatus::Calibration::NotLoaded;
    std::int32_t gridColumns = 0;
    std::int32_t gridRows = 0;
    bool calibrationUsable = true;  // the stored grid passed its spacing check
    // Whose file the grid in use came from (StoredCalibrationLoader::originText).
    CalibrationOrigin calibrationOrigin = CalibrationOrigin::None;
    std::uint64_t gridFingerprint = 0;

    friend bool operator==(const BoardStatusSnapshot&, const BoardStatusSnapshot&) = default;
};

BoardStatusSnapshot takeSnapshot(const RunFlags& flags, const BoardStatus& status);

// The three parts of the status line.
std::string boardText(const BoardStatusSnapshot& s, const std::string& path);
std::string modeText(const BoardStatusSnapshot& s);
std::string calibrationText(const BoardStatusSnapshot& s);

// The log lines a change of status deserves: pausing and resuming, a new
// mode, a new calibration. Opening the board is told by the reader itself.
std::vector<std::string> statusChangeLines(const BoardStatusSnapshot& before,
                                           const BoardStatusSnapshot& after);

}  // namespace zorvan
