#include "tools/calivo/calibration_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "calibration/memory_settings_store.h"
#include "tools/calivo/stored_calibration.h"

namespace zorvan::calivo {
namespace {

using Kind = MemorySettingsStore::Access::Kind;

const char* const kGood3x3 =
    "# exported\n"
    "DotCount = 3\n"
    "Dot0 = 500 400\n"
    "Dot1 = 500 2000\n"
    "Dot2 = 500 3600\n"
    "Dot3 = 2000 400\n"
    "Dot4 = 2000.5 2000.25\n"
    "Dot5 = 2000 3600\n"
    "Dot6 = 3500 400\n"
    "Dot7 = 3500 2000\n"
    "Dot8 = 3500 3600\n"
    "\n"
    "TKey12 = 4000 100\n"
    "EKey0 = 0.1 4095\n";

// No driver runs; a calibration tool runs under the pids in `tools`.
class NoDriver : public PeerProcesses {
  public:
    std::set<std::int64_t> tools;
    int signals = 0;

    bool isDriver(std::int64_t) override { return false; }
    bool isTool(std::int64_t pid) override { return tools.count(pid) != 0; }
    bool signal(std::int64_t, int) override {
        ++signals;
        return false;
    }
    std::string driverDevice(std::int64_t) override { return {}; }
};

// The whole of a file, as Calivo.app reads it.
std::optional<std::string> readFile(const std::string& path, std::string& problem) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    problem = file ? "" : "cannot read " + path;
    return file ? std::optional<std::string>(text.str()) : std::nullopt;
}

// Runs --import on `text` against a store that already holds a calibration.
struct Import {
    MemorySettingsStore store;
    NoDriver processes;
    DriverLink driver{store, processes, 77};
    std::string errors;  // what it said on stderr

    int run(const std::string& text) {
        store.setInteger("DotCount", 2);
        store.setFloat("TKey1.x", 9.0f);
        store.clearAccesses();
        const ImportReader read = [&text](const std::string&, std::string&) { return text; };
        char* said = nullptr;
        std::size_t saidSize = 0;
        std::FILE* err = ::open_memstream(&said, &saidSize);
        std::FILE* sink = std::fopen("/dev/null", "w");
        const int status = importCalibration(store, nullptr, driver, "cal.txt", read, sink, err);
        std::fclose(sink);
        std::fclose(err);
        errors.assign(said, saidSize);
        std::free(said);
        return status;
    }
    std::set<std::string> written() const {
        std::set<std::string> keys;
        for (const auto& access : store.accesses()) {
            if (access.kind == Kind::WriteInteger || access.kind == Kind::WriteFloat) {
                keys.insert(access.key);
            }
        }
        return keys;
    }
};

TEST(CalibrationImport, WritesExactlyTheGridAndTheKeysGivenThenSynchronizes) {
    Import import;
    ASSERT_EQ(import.run(kGood3x3), 0);
    std::set<std::string> expected{"DotCount", "TKey12.x", "TKey12.y", "EKey0.x", "EKey0.y"};
    for (int k = 0; k < 9; ++k) {
        expected.insert("Dot" + std::to_string(k) + ".x");
        expected.insert("Dot" + std::to_string(k) + ".y");
    }
    EXPECT_EQ(import.written(), expected);
    // Synchronized after the last write, before the driver is told.
    const auto& accesses = import.store.accesses();
    std::size_t lastWrite = 0;
    for (std::size_t i = 0; i < accesses.size(); ++i) {
        if (accesses[i].kind == Kind::WriteInteger || accesses[i].kind == Kind::WriteFloat) {
            lastWrite = i;
        }
    }
    ASSERT_LT(lastWrite + 1, accesses.size());
    EXPECT_EQ(accesses[lastWrite + 1].kind, Kind::Synchronize);
    EXPECT_EQ(import.store.integerForKey("DotCount"), 3);
    EXPECT_EQ(import.store.floatForKey("Dot4.x"), 2000.5f);
    EXPECT_EQ(import.store.floatForKey("Dot4.y"), 2000.25f);
    EXPECT_EQ(import.store.floatForKey("EKey0.x"), 0.1f);
    EXPECT_EQ(import.store.floatForKey("TKey1.x"), 9.0f);  // not given: kept
}

TEST(CalibrationImport, BadFilesAreRejectedNamingTheLineAndStoreNothing) {
    const std::string good = kGood3x3;
    const auto replace = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    struct Case {
        std::string text;
        std::string error;  // after "<path>"
    };
    const Case cases[] = {
        {replace("Dot8 = 3500 3600\n", ""), ": Dot8 is missing (DotCount 3 needs Dot0 to Dot8)"},
        {replace("DotCount = 3\n", ""), ": DotCount is missing"},
        {replace("DotCount = 3", "DotCount = 4"), ":2: DotCount must be 2, 3 or 5"},
        {replace("Dot4 = 2000.5 2000.25", "Dot4 = 2000.5"),
         ":7: Dot4 needs two numbers, raw x and raw y"},
        {replace("Dot4 = 2000.5 2000.25", "Dot4 = 2000.5 2e3x"), ":7: '2e3x' is not a number"},
        {replace("Dot4 = 2000.5 2000.25", "Dot4 = 2000 4096"),
         ":7: '4096' is not a raw coordinate (0 to 4095)"},
        {replace("Dot4 = 2000.5 2000.25", "Dot4 = nan 2000"),
         ":7: 'nan' is not a raw coordinate (0 to 4095)"},
        {replace("Dot5 = 2000 3600", "Dot4 = 2000 3600"),
         ":8: Dot4 is given twice (first on line 7)"},
        {replace("TKey12", "TKey13"), ":13: soft key 13 is not stored (only 0, 1, 2, 12 and 26)"},
        {replace("TKey12", "Colour"), ":13: unknown name 'Colour'"},
        {replace("EKey0 = 0.1 4095", "Dot9 = 1 1"), ":14: Dot9 is beyond the 9 dots of DotCount 3"},
        {replace("Dot0 = 500 400", "Dot0 500 400"), ":3: expected NAME = VALUE"},
        // Dot 4 (column 1, row 1) only 19 right of Dot 0: the driver would alert.
        {replace("Dot4 = 2000.5 2000.25", "Dot4 = 519 2000"),
         ":7: Dot4 must lie at least 20 raw units right of and below Dot0 (line 3)"},
    };
    for (const Case& c : cases) {
        Import import;
        EXPECT_EQ(import.run(c.text), 1) << c.error;
        EXPECT_TRUE(import.written().empty()) << c.error;
        const ParsedCalibration parsed = parseCalibration(c.text, "cal.txt");
        EXPECT_FALSE(parsed.record);
        EXPECT_EQ(parsed.error, "cal.txt" + c.error);
    }
}

TEST(CalibrationFile, ACommentMayFollowTheValues) {
    std::string commented;
    std::istringstream lines(kGood3x3);
    for (std::string line; std::getline(lines, line);) {
        commented += line + (line.empty() ? "" : "   # raw x and y, or the grid") + "\n";
    }
    commented += "Dot5 = 1 1#the same entry twice is still refused\n";
    const ParsedCalibration twice = parseCalibration(commented, "cal.txt");
    EXPECT_EQ(twice.error, "cal.txt:15: Dot5 is given twice (first on line 8)");
    commented.erase(commented.rfind("Dot5"));
    const ParsedCalibration parsed = parseCalibration(commented, "cal.txt");
    ASSERT_TRUE(parsed.record) << parsed.error;
    EXPECT_EQ(*parsed.record, *parseCalibration(kGood3x3, "cal.txt").record);
}

TEST(CalibrationImport, BytesFromTheFileAreEscapedInMessages) {
    const struct {
        std::string line;  // in place of "TKey12 = 4000 100", line 13
        std::string said;
    } cases[] = {
        {"\x1b[2J\x1b[H = 1 1", "cal.txt:13: unknown name '\\x1b[2J\\x1b[H'"},
        {"TKey12 = 4000 1\a", "cal.txt:13: '1\\x07' is not a number"},
        {"TKey12 = 4000 \xc2\x9b"
         "31m",
         "cal.txt:13: '\\xc2\\x9b31m' is not a number"},
        {"TKey12 = 4000 \xff\xfe", "cal.txt:13: '\\xff\\xfe' is not a number"},
        {"Größe = 1 1", "cal.txt:13: unknown name 'Größe'"},
    };
    for (const auto& c : cases) {
        std::string text = kGood3x3;
        text.replace(text.find("TKey12 = 4000 100"), 17, c.line);
        Import import;
        EXPECT_EQ(import.run(text), 1);
        EXPECT_EQ(import.errors, "Calivo.app: " + c.said + "\nNothing was stored.\n");
    }
}

TEST(CalibrationImport, IsRefusedWhileACalibrationRuns) {
    Import import;
    import.store.setInteger("CalivoPid", 4321);
    import.processes.tools = {4321};
    EXPECT_EQ(import.run(kGood3x3), 1);
    EXPECT_EQ(import.errors,
              "Calivo.app: a calibration is running (pid 4321); nothing was stored: finish or "
              "cancel it, then import\n");
    EXPECT_TRUE(import.written().empty());
    EXPECT_EQ(import.processes.signals, 0);  // the running tool keeps the driver paused
}

TEST(CalibrationFile, ExportReadsBackToTheSameCalibrationBitForBit) {
    CalibrationRecord record;
    record.dotCount = 5;
    for (int k = 0; k < 20; ++k) {
        const int column = k / 4;
        const int row = k % 4;
        // Values that have no short decimal form.
        record.dots.push_back(
            {300.0f + 800.0f * column + 0.1f * k, 250.0f + 1100.0f * row + 1.0f / 3});
    }
    record.penKeys[3] = RawPoint{4095.0f, 0.0f};
    record.touchKeys[0] = RawPoint{12.345678f, 3000.0f};
    const ParsedCalibration parsed = parseCalibration(formatCalibration(record), "x");
    ASSERT_TRUE(parsed.record) << parsed.error;
    EXPECT_EQ(*parsed.record, record);
}

TEST(CalibrationFile, StoredCalibrationRoundTripsThroughExportAndImport) {
    MemorySettingsStore from;
    NoDriver processes;
    DriverLink driver(from, processes, 1);
    const std::string path = ::testing::TempDir() + "calibration-export.txt";
    EXPECT_EQ(exportCalibration(from, path, stderr), 1);  // nothing stored yet

    std::FILE* sink = std::fopen("/dev/null", "w");
    std::FILE* file = std::fopen(path.c_str(), "w");
    std::fputs(kGood3x3, file);
    std::fclose(file);
    ASSERT_EQ(importCalibration(from, nullptr, driver, path, readFile, sink, sink), 0);
    ASSERT_EQ(exportCalibration(from, path, stderr), 0);

    MemorySettingsStore to;
    DriverLink driverTo(to, processes, 1);
    ASSERT_EQ(importCalibration(to, nullptr, driverTo, path, readFile, sink, sink), 0);
    std::fclose(sink);
    EXPECT_EQ(readStoredCalibration(to), readStoredCalibration(from));
}

}  // namespace
}  // namespace zorvan::calivo
