#include "calibration/zorvan_pid.h"

#include <gtest/gtest.h>

#include <optional>

#include "calibration/memory_settings_store.h"

namespace zorvan {
namespace {

TEST(ClearZorvanPid, OnlyOurOwnPidIsTakenBack) {
    using Kind = MemorySettingsStore::Access::Kind;
    struct Case {
        std::optional<std::int64_t> stored;  // nullopt: no key
        bool removed;
    };
    const Case cases[] = {
        {4242, true},           // ours: gone, so the tool never signals a stranger
        {5151, false},          // a later driver's: left alone
        {std::nullopt, false},  // never published
        {0, false},
    };
    for (const Case& c : cases) {
        MemorySettingsStore store;
        if (c.stored) {
            store.setInteger("ZorvanPid", *c.stored);
        }
        EXPECT_EQ(clearZorvanPid(store, 4242), c.removed);
        EXPECT_EQ(store.contains("ZorvanPid"), c.stored.has_value() && !c.removed);
        // Read only after picking up what others saved; removed and published.
        ASSERT_GE(store.accesses().size(), 2u);
        EXPECT_EQ(store.accesses()[0].kind, Kind::Synchronize);
        EXPECT_EQ(store.accesses().back().kind, c.removed ? Kind::Synchronize : Kind::ReadInteger);
    }
}

}  // namespace
}  // namespace zorvan
