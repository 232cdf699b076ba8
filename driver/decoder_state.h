#pragma once

#include <atomic>
#include <cstdint>

namespace zorvan {

// What the packet decoder remembers between packets. One instance lives for
// the whole process (a new reader thread keeps the mode); everything but
// bptBtnRun is touched only on the reader thread.
struct DecoderState {
    bool bTouch = false;    // board mode: true touch frame, false pen board
    bool bSofeKey = false;  // soft keys active
    // Soft-key hold armed. btnCheck() re-arms it from the GUI thread.
    std::atomic<bool> bptBtnRun{true};
    std::int32_t btnData = 0;    // down packets counted on a soft key while armed
    std::int32_t T_UPCount = 0;  // touch up packets counted toward the next acted-on lift
    std::int32_t iDClick = 0;    // double-click command phase, 0 or 1
    std::int32_t iClick = 0;     // right-click command phase, 0 or 1

    static_assert(std::atomic<bool>::is_always_lock_free);
};

// Event codes, byte b2 of a data packet.
inline constexpr std::uint8_t T_DOWN = 0x51;
inline constexpr std::uint8_t T_UP = 0x61;
inline constexpr std::uint8_t T_CMD_CALIVO = 0xA2;
inline constexpr std::uint8_t E_DOWN = 0x51;
inline constexpr std::uint8_t E_UP = 0x61;
inline constexpr std::uint8_t E_CMD_CALIVO = 0x28;
inline constexpr std::uint8_t E_CMD_CALIVO2 = 0xF8;
inline constexpr std::uint8_t E_CMD_CALIVO3 = 0xD8;
inline constexpr std::uint8_t E_KEY1 = 0x85;
inline constexpr std::uint8_t E_KEY2 = 0x87;

// The first three down packets of a stroke are unreliable and dropped:
// true when this one is, counting it in `iDownSkip` (reset by an acted-on lift).
inline bool skipLeadingDown(std::int32_t& iDownSkip) {
    if (iDownSkip <= 2) {
        ++iDownSkip;
        return true;
    }
    return false;
}

// Counted soft-key hits that fire the hold: the 8th in touch mode, the 6th in pen mode.
inline constexpr std::int32_t btnDataLimit = 7;
inline constexpr std::int32_t btnDataLimitE = 5;

}  // namespace zorvan
