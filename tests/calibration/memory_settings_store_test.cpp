#include "calibration/memory_settings_store.h"

#include <cmath>

#include <gtest/gtest.h>

namespace zorvan {
namespace {

TEST(MemorySettingsStore, MissingAndUnparsableValuesReadAsZero) {
    MemorySettingsStore store;
    EXPECT_EQ(store.integerForKey("DotCount"), 0);
    EXPECT_EQ(store.floatForKey("Dot0.x"), 0.0f);
    store.setString("Dot0.x", "12abc");
    store.setString("DotCount", "");
    EXPECT_EQ(store.floatForKey("Dot0.x"), 0.0f);
    EXPECT_EQ(store.integerForKey("DotCount"), 0);
}

TEST(MemorySettingsStore, ConvertsBetweenTypesLikeAHandEditedFile) {
    MemorySettingsStore store;
    store.setString("DotCount", "5");
    store.setFloat("CalivoPid", -3.75f);
    store.setString("Dot0.x", "1234.5");
    store.setInteger("Dot0.y", 77);
    store.setString("Dot1.x", "nan");
    store.setString("Dot1.y", "-inf");
    store.setString("Dot2.x", "1e300");
    store.setString("Huge", "1e300");
    EXPECT_EQ(store.integerForKey("DotCount"), 5);
    EXPECT_EQ(store.integerForKey("CalivoPid"), -3);
    EXPECT_EQ(store.floatForKey("Dot0.x"), 1234.5f);
    EXPECT_EQ(store.floatForKey("Dot0.y"), 77.0f);
    EXPECT_TRUE(std::isnan(store.floatForKey("Dot1.x")));
    EXPECT_EQ(store.floatForKey("Dot1.y"), -INFINITY);
    EXPECT_EQ(store.floatForKey("Dot2.x"), INFINITY);
    EXPECT_EQ(store.integerForKey("Huge"), INT64_MAX);
    EXPECT_EQ(store.integerForKey("Dot1.x"), 0);  // NaN has no integer value
}

TEST(MemorySettingsStore, LogsEveryAccessInOrderButNotTheTestsOwnSetters) {
    MemorySettingsStore store;
    store.setInteger("DotCount", 2);
    int hooked = 0;
    store.setAccessHook([&hooked](const MemorySettingsStore::Access&) { ++hooked; });
    store.setIntegerForKey(42, "ZorvanPid");
    store.synchronize();
    store.integerForKey("DotCount");
    store.floatForKey("Dot0.x");
    using K = MemorySettingsStore::Access::Kind;
    const std::vector<MemorySettingsStore::Access> expected{{K::WriteInteger, "ZorvanPid"},
                                                            {K::Synchronize, ""},
                                                            {K::ReadInteger, "DotCount"},
                                                            {K::ReadFloat, "Dot0.x"}};
    EXPECT_EQ(store.accesses(), expected);
    EXPECT_EQ(hooked, 4);
    EXPECT_EQ(store.integerForKey("ZorvanPid"), 42);
}

}  // namespace
}  // namespace zorvan
