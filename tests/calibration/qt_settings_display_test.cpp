#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "calibration/read_system_param.h"
#include "calibration/wb_coordinate.h"
#include "platform/qsettings_store.h"
#include "platform/qt_main_display.h"
#include "platform/qt_translations.h"
#include "tests/calibration/qt_test_application.h"

namespace zorvan {
namespace {

// The shared location must come from XDG_CONFIG_HOME; Qt reads it once per
// process, so it is set before anything else runs.
QTemporaryDir& configHome() {
    static QTemporaryDir dir;
    return dir;
}
const bool kConfigHomeSet = [] {
    return ::setenv("XDG_CONFIG_HOME", configHome().path().toLocal8Bit().constData(), 1) == 0;
}();

class QSettingsStoreTest : public ::testing::Test {
  protected:
    QTemporaryDir dir_;
    QString path_ = dir_.filePath(QStringLiteral("Zorvan.conf"));

    // What the calibration tool does: its own QSettings on the same file.
    void toolWrites(const QString& key, const QVariant& value) {
        QSettings tool(path_, QSettings::IniFormat);
        tool.setValue(key, value);
    }
};

TEST_F(QSettingsStoreTest, DefaultLocationIsTheSharedZorvanFile) {
    ASSERT_TRUE(kConfigHomeSet);
    QSettingsStore store;
    const QString expected = QDir(configHome().path()).filePath("Zorvan/Zorvan.conf");
    EXPECT_EQ(store.fileName().toStdString(), expected.toStdString());
    store.setIntegerForKey(55, "ZorvanPid");
    store.synchronize();
    EXPECT_EQ(QSettings(expected, QSettings::IniFormat).value("ZorvanPid").toInt(), 55);
}

TEST_F(QSettingsStoreTest, MissingAndUnparsableValuesReadAsZero) {
    toolWrites("Dot0.x", "twelve");
    toolWrites("DotCount", "");
    QSettingsStore store(path_);
    EXPECT_EQ(store.integerForKey("CalivoPid"), 0);
    EXPECT_EQ(store.floatForKey("Dot1.x"), 0.0f);
    EXPECT_EQ(store.floatForKey("Dot0.x"), 0.0f);
    EXPECT_EQ(store.integerForKey("DotCount"), 0);
}

TEST_F(QSettingsStoreTest, ReadsWhatAHandEditedFileSays) {
    toolWrites("DotCount", "3.0");
    toolWrites("CalivoPid", "-12.75");
    toolWrites("Dot0.x", "1234.5");
    toolWrites("Dot0.y", "1e300");
    toolWrites("Dot1.x", "nan");
    toolWrites("Huge", "1e300");
    QSettingsStore store(path_);
    EXPECT_EQ(store.integerForKey("DotCount"), 3);
    EXPECT_EQ(store.integerForKey("CalivoPid"), -12);
    EXPECT_EQ(store.floatForKey("Dot0.x"), 1234.5f);
    EXPECT_EQ(store.floatForKey("Dot0.y"), INFINITY);
    EXPECT_FALSE(std::isfinite(store.floatForKey("Dot1.x")));
    EXPECT_EQ(store.integerForKey("Huge"), INT64_MAX);
    EXPECT_EQ(store.integerForKey("Dot1.x"), 0);
}

TEST_F(QSettingsStoreTest, SynchronizePublishesAndPicksUpTheToolsWrites) {
    QSettingsStore store(path_);
    store.setIntegerForKey(4321, "ZorvanPid");
    EXPECT_EQ(store.integerForKey("CalivoPid"), 0);
    store.synchronize();
    EXPECT_EQ(QSettings(path_, QSettings::IniFormat).value("ZorvanPid").toLongLong(), 4321);

    toolWrites("CalivoPid", 999);
    store.synchronize();
    EXPECT_EQ(store.integerForKey("CalivoPid"), 999);
}

TEST_F(QSettingsStoreTest, ALoadThroughTheFileMapsWithTheSavedCalibration) {
    toolWrites("DotCount", 2);
    const float raw[4][2] = {{600, 500}, {700, 3500}, {3400, 450}, {3300, 3600}};
    for (int k = 0; k < 4; ++k) {
        toolWrites(QStringLiteral("Dot%1.x").arg(k), raw[k][0]);
        toolWrites(QStringLiteral("Dot%1.y").arg(k), raw[k][1]);
    }
    toolWrites("TKey0.y", 100);
    toolWrites("TKey1.y", 180);
    toolWrites("TKey2.y", 260);

    struct Display : MainDisplay {
        DisplaySize pixelSize() const override { return {1000, 800}; }
    } display;
    CalibrationTables tables;
    std::atomic<bool> bGet{true};
    QSettingsStore store(path_);
    EXPECT_TRUE(ReadSystemParam(tables, store, display, 777, bGet, nullptr));
    EXPECT_TRUE(bGet);
    EXPECT_EQ(tables.Btn_T, 24);
    EXPECT_EQ(tables.DIS_LIMIT, 90);  // span 2700 / 30
    EXPECT_EQ(WBCoordinate(tables, 2000, 2000), (ScreenPoint{500.0f, 397.39838f}));
    EXPECT_EQ(QSettings(path_, QSettings::IniFormat).value("ZorvanPid").toLongLong(), 777);
}

TEST(QtMainDisplay, ReportsThePrimaryScreenInDevicePixelsToAnyThread) {
    testing::testApplication();
    QtMainDisplay display;
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const DisplaySize expected{static_cast<std::uint32_t>(std::lround(screen->geometry().width() *
                                                                      screen->devicePixelRatio())),
                               static_cast<std::uint32_t>(std::lround(screen->geometry().height() *
                                                                      screen->devicePixelRatio()))};
    EXPECT_EQ(display.pixelSize(), expected);
    EXPECT_GT(expected.width, 0u);

    DisplaySize seen;
    std::thread reader([&] { seen = display.pixelSize(); });
    reader.join();
    EXPECT_EQ(seen, expected);
}

TEST(QtTranslations, EnglishTextsAreShippedAndMissingEntriesShowTheirKey) {
    testing::testApplication();
    EXPECT_EQ(localizedString("Alert_OK"), "Alert_OK");  // nothing installed yet
    ASSERT_TRUE(installTranslations(testing::testApplication()));
    for (const char* key : {"Alert_Title", "Alert_Info", "Alert_OK", "Alert_Cancel"}) {
        const std::string text = localizedString(key);
        EXPECT_FALSE(text.empty()) << key;
        EXPECT_NE(text, key) << key;
    }
    EXPECT_EQ(localizedString("Alert_Nowhere"), "Alert_Nowhere");
}

}  // namespace
}  // namespace zorvan
