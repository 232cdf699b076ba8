// The calibration load from any settings-file text, through the real store
// the driver uses: whatever the file holds (a hand edit, a half-written save,
// binary junk), the load keeps every table finite and within its bounds, the
// mapping then puts every raw point on the display, and the driver's own
// write to the shared file changes nothing the next load reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "calibration/calibration_tables.h"
#include "calibration/main_display.h"
#include "calibration/wb_coordinate.h"
#include "driver/stored_calibration_loader.h"
#include "fuzz/fuzz_input.h"
#include "platform/qsettings_store.h"

using zorvan::fuzz::require;

namespace {

namespace fs = std::filesystem;

class FixedDisplay : public zorvan::MainDisplay {
  public:
    zorvan::DisplaySize pixelSize() const override { return {1920, 1080}; }
};

// A folder of this process's own, removed at exit; in memory where there is
// such a file system, since the store syncs every save to the disk.
const fs::path& scratch() {
    static const fs::path folder = [] {
        const fs::path base =
            fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "zorvan-fuzz-XXXXXX").string();
        const char* made = ::mkdtemp(pattern.data());
        require(made != nullptr, "a scratch folder can be made");
        std::atexit([] { fs::remove_all(scratch()); });
        return fs::path(made);
    }();
    return folder;
}

// Every text is written with a modification time of its own, one second
// after the last: Qt's settings cache takes a file of the same size and time
// for the one it has already read, and the store must meet each text as new.
// Two names only, so that the cache stays small and a run allocates no more
// than it frees (libFuzzer then skips its leak scan).
void write(const fs::path& path, const std::string& bytes) {
    static long seconds = 1'000'000'000;
    std::ofstream(path, std::ios::binary) << bytes;
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ++seconds;
    require(::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0, "the text gets its own time");
}

std::string read(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

zorvan::CalibrationTables load(const fs::path& path) {
    zorvan::CalibrationTables tables;
    zorvan::QSettingsStore store(QString::fromStdString(path.string()));
    const FixedDisplay display;
    std::atomic<bool> bGet{true};
    zorvan::StoredCalibrationLoader(tables, store, display, 4242, bGet, [] {}).load();
    return tables;
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameTables(const zorvan::CalibrationTables& a, const zorvan::CalibrationTables& b) {
    for (int i = 0; i < zorvan::CalibrationTables::kGridSize; ++i) {
        if (!sameBits(a.Comm_X[i], b.Comm_X[i]) || !sameBits(a.Comm_Y[i], b.Comm_Y[i]) ||
            !sameBits(a.Scr_DotX[i], b.Scr_DotX[i]) || !sameBits(a.Scr_DotY[i], b.Scr_DotY[i])) {
            return false;
        }
    }
    for (int k = 0; k < zorvan::CalibrationTables::kSoftKeyCount; ++k) {
        if (!(a.ptTBtn[k] == b.ptTBtn[k]) || !(a.ptEBtn[k] == b.ptEBtn[k])) {
            return false;
        }
    }
    return a.W_Dot == b.W_Dot && a.H_Dot == b.H_Dot && a.Btn_T == b.Btn_T && a.Btn_E == b.Btn_E &&
           a.DIS_LIMIT == b.DIS_LIMIT;
}

void checkBounds(const zorvan::CalibrationTables& t) {
    for (int i = 0; i < zorvan::CalibrationTables::kGridSize; ++i) {
        require(std::isfinite(t.Comm_X[i]) && std::isfinite(t.Comm_Y[i]), "raw dots are finite");
        require(zorvan::fuzz::onScreen({t.Scr_DotX[i], t.Scr_DotY[i]}, t.MyScreenWidth,
                                       t.MyScreenHeight),
                "screen dots lie on the display");
    }
    require(t.H_Dot >= 2 && t.H_Dot <= 4, "H_Dot is a grid form's");
    require(t.DIS_LIMIT >= zorvan::CalibrationTables::DIS_LIMIT_MIN &&
                t.DIS_LIMIT <= zorvan::CalibrationTables::DIS_LIMIT_MAX,
            "DIS_LIMIT within its bounds");
    require(t.Btn_T >= zorvan::CalibrationTables::Btn_T_LimitS &&
                t.Btn_T <= zorvan::CalibrationTables::Btn_T_LimitL,
            "Btn_T within its bounds");
    require(t.Btn_E >= zorvan::CalibrationTables::Btn_E_LimitS &&
                t.Btn_E <= zorvan::CalibrationTables::Btn_E_LimitL,
            "Btn_E within its bounds");
    for (const auto& table : {t.ptTBtn, t.ptEBtn}) {
        for (const zorvan::RawPoint& key : table) {
            require(std::isfinite(key.x) && std::isfinite(key.y), "soft keys are finite");
        }
    }
    // Across the whole raw range and a little beyond, every point maps.
    for (int x = -512; x <= 4608; x += 160) {
        for (int y = -512; y <= 4608; y += 160) {
            const auto p = zorvan::WBCoordinate(t, static_cast<float>(x), static_cast<float>(y));
            require(zorvan::fuzz::onScreen(p, t.MyScreenWidth, t.MyScreenHeight),
                    "every raw point maps onto the display");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path first = scratch() / "first.conf";
    write(first, std::string(reinterpret_cast<const char*>(data), size));
    const zorvan::CalibrationTables loaded = load(first);
    checkBounds(loaded);

    // The load published the pid in the file; the file as it now is must
    // give the same calibration to the next reader.
    const fs::path second = scratch() / "second.conf";
    write(second, read(first));
    require(sameTables(loaded, load(second)), "publishing the pid changes no calibration value");

    return 0;
}
