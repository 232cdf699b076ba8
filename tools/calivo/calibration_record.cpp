#include "tools/calivo/calibration_record.h"

#include <atomic>

#include "calibration/memory_settings_store.h"
#include "calibration/read_system_param.h"

namespace zorvan::calivo {

namespace {

class FixedDisplay : public MainDisplay {
  public:
    explicit FixedDisplay(DisplaySize size) : size_(size) {}
    DisplaySize pixelSize() const override { return size_; }

  private:
    DisplaySize size_;
};

void saveKeys(SettingsStore& store, char mode, const CalibrationRecord::SoftKeys& keys) {
    for (std::size_t n = 0; n < kStoredSoftKeys.size(); ++n) {
        if (keys[n]) {
            store.setFloatForKey(keys[n]->x, softKeyKey(mode, kStoredSoftKeys[n], 'x'));
            store.setFloatForKey(keys[n]->y, softKeyKey(mode, kStoredSoftKeys[n], 'y'));
        }
    }
}

void readKeys(SettingsStore& store, char mode, CalibrationRecord::SoftKeys& keys) {
    for (std::size_t n = 0; n < kStoredSoftKeys.size(); ++n) {
        keys[n] = RawPoint{store.floatForKey(softKeyKey(mode, kStoredSoftKeys[n], 'x')),
                           store.floatForKey(softKeyKey(mode, kStoredSoftKeys[n], 'y'))};
    }
}

}  // namespace

CalibrationRecord readStoredCalibration(SettingsStore& store) {
    store.synchronize();
    CalibrationRecord record;
    record.dotCount = store.integerForKey("DotCount");
    if (const std::optional<GridForm> form = gridForm(record.dotCount)) {
        for (int k = 0; k < form->dots(); ++k) {
            record.dots.push_back(
                {store.floatForKey(dotKey(k, 'x')), store.floatForKey(dotKey(k, 'y'))});
        }
    }
    readKeys(store, 'T', record.touchKeys);
    readKeys(store, 'E', record.penKeys);
    return record;
}

void saveCalibration(SettingsStore& store, const CalibrationRecord& record) {
    store.setIntegerForKey(record.dotCount, "DotCount");
    for (std::size_t k = 0; k < record.dots.size(); ++k) {
        store.setFloatForKey(record.dots[k].x, dotKey(static_cast<int>(k), 'x'));
        store.setFloatForKey(record.dots[k].y, dotKey(static_cast<int>(k), 'y'));
    }
    saveKeys(store, 'T', record.touchKeys);
    saveKeys(store, 'E', record.penKeys);
}

CalibrationTables driverTablesFor(const CalibrationRecord& record, DisplaySize size,
                                  bool& spacingOk) {
    MemorySettingsStore store;
    saveCalibration(store, record);
    CalibrationTables tables;
    const FixedDisplay display(size);
    std::atomic<bool> bGet{true};
    ReadSystemParam(tables, store, display, 0, bGet, nullptr);
    spacingOk = bGet.load();
    return tables;
}

}  // namespace zorvan::calivo
