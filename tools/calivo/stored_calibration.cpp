#include "tools/calivo/stored_calibration.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "tools/calivo/calibration_file.h"
#include "tools/calivo/printable_text.h"

namespace zorvan::calivo {

namespace {

bool gridUsable(const CalibrationRecord& record) {
    bool spacingOk = false;
    driverTablesFor(record, {}, spacingOk);
    return spacingOk;
}

}  // namespace

int showCalibration(SettingsStore& store, const std::vector<std::string>& where, std::FILE* out) {
    const CalibrationRecord record = readStoredCalibration(store);
    for (const std::string& line : where) {
        std::fprintf(out, "# %s\n", printableText(line).c_str());
    }
    if (!gridForm(record.dotCount)) {
        std::fprintf(out, "# no grid stored: the driver uses its built-in grid\n");
    } else if (!gridUsable(record)) {
        std::fprintf(out, "# this grid fails the spacing check: the driver asks for calibration\n");
    }
    std::fputs(formatCalibration(record).c_str(), out);
    return 0;
}

int exportCalibration(SettingsStore& store, const std::string& path, std::FILE* errors) {
    const CalibrationRecord record = readStoredCalibration(store);
    if (!gridForm(record.dotCount)) {
        std::fprintf(errors, "Calivo.app: no calibration stored (DotCount is %lld)\n",
                     static_cast<long long>(record.dotCount));
        return 1;
    }
    const std::string text = formatCalibration(record);
    if (path == "-") {
        std::fputs(text.c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    std::ofstream file(path, std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        std::fprintf(errors, "Calivo.app: cannot write %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return 1;
    }
    return 0;
}

int importCalibration(SettingsStore& store, const std::function<bool()>& stored, DriverLink& driver,
                      const std::string& path, const ImportReader& read, std::FILE* out,
                      std::FILE* errors) {
    // Asked first, so that nothing is read in vain. Signalling the driver
    // now would resume it under the running tool, and the two would split
    // the board's packets.
    if (const std::int64_t other = driver.otherTool()) {
        std::fprintf(errors,
                     "Calivo.app: a calibration is running (pid %lld); nothing was stored: finish "
                     "or cancel it, then import\n",
                     static_cast<long long>(other));
        return 1;
    }
    std::string problem;
    const std::optional<std::string> text = read(path, problem);
    if (!text) {
        std::fprintf(errors, "Calivo.app: %s\n", printableText(problem).c_str());
        return 1;
    }
    const ParsedCalibration parsed = parseCalibration(*text, path == "-" ? "<stdin>" : path);
    if (!parsed.record) {
        std::fprintf(errors, "Calivo.app: %s\nNothing was stored.\n",
                     printableText(parsed.error).c_str());
        return 1;
    }
    saveCalibration(store, *parsed.record);
    store.synchronize();
    if (stored && !stored()) {
        std::fprintf(errors, "Calivo.app: the calibration could not be stored\n");
        return 1;
    }
    if (driver.resumeDriver()) {
        std::fprintf(out, "stored; the driver loads it at the board's next silence\n");
    } else {
        std::fprintf(out, "stored; no driver runs now: it loads it when it starts\n");
    }
    return 0;
}

}  // namespace zorvan::calivo
