#include "ProcessRows.h"

#include "support/FakeProcessApi.h"

#include <gtest/gtest.h>

TEST(ProcessRow, ShowsWhatEachQueryAnswered) {
    const struct {
        const char* label;
        ProcessLookup lookup;
        std::vector<std::string> expected; // caption and sub-items; empty: no row
    } cases[] = {
        {"all answered",
         {true, "sshd", "/usr/sbin/sshd", platform::MemoryCounters{1048576, 1049599}},
         {"7", "sshd", "1024", "1024", "/usr/sbin/sshd"}},
        {"below one kB",
         {true, "a", "/a", platform::MemoryCounters{1023, 1024}},
         {"7", "a", "0", "1", "/a"}},
        {"name failed",
         {true, std::nullopt, "/usr/bin/x", platform::MemoryCounters{0, 0}},
         {"7", "<unknown>", "0", "0", "/usr/bin/x"}},
        {"path failed",
         {true, "x", std::nullopt, platform::MemoryCounters{2048, 4096}},
         {"7", "x", "2", "4", "<unknown>"}},
        {"memory failed", {true, "x", "/x", std::nullopt}, {"7", "x", "0", "0", "/x"}},
        {"no first module", {false, "x", "/x", platform::MemoryCounters{2048, 4096}}, {}},
    };
    for (const auto& c : cases) {
        const auto row = ProcessRow(7, c.lookup);
        if (c.expected.empty()) {
            EXPECT_FALSE(row) << c.label;
            continue;
        }
        ASSERT_TRUE(row) << c.label;
        std::vector<std::string> cells{row->caption};
        cells.insert(cells.end(), row->subItems.begin(), row->subItems.end());
        EXPECT_EQ(cells, c.expected) << c.label;
    }
}

TEST(BuildProcessRows, OneRowPerReadableProcessInIdentifierOrder) {
    FakeProcessApi api;
    api.add(1, Running("/sbin/init"));
    FakeProcess unopenable = Running("/usr/bin/secret");
    unopenable.opens = false;
    api.add(2, unopenable);
    api.add(3, FakeProcess{}); // a kernel thread: no executable
    api.add(40, Running("/usr/bin/bash"));
    api.add(41, Running("/usr/bin/bash"));
    FakeProcess nameless = Running("/opt/tool");
    nameless.baseNameFails = true;
    api.add(50, nameless);

    const ListRows rows = BuildProcessRows(api);

    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].caption, "1");
    EXPECT_EQ(rows[1].caption, "40");
    EXPECT_EQ(rows[2].caption, "41");
    EXPECT_EQ(rows[1].subItems[0], rows[2].subItems[0]);
    EXPECT_EQ(rows[3].subItems[0], "<unknown>");
    EXPECT_EQ(rows[3].subItems[3], "/opt/tool");
    EXPECT_EQ(api.openHandles, 0) << "every opened process is closed again";
}

TEST(BuildProcessRows, EmptyWhenEnumerationFails) {
    FakeProcessApi api;
    api.add(1, Running("/sbin/init"));
    ASSERT_EQ(BuildProcessRows(api).size(), 1u);
    api.ids.reset();
    EXPECT_TRUE(BuildProcessRows(api).empty());
}

TEST(BuildProcessRows, ConsidersOnlyTheFirst1024Identifiers) {
    FakeProcessApi api;
    for (uint32_t pid = 1; pid <= 1500; ++pid)
        api.add(pid, Running("/usr/bin/sleep"));
    const ListRows rows = BuildProcessRows(api);
    ASSERT_EQ(rows.size(), 1024u);
    EXPECT_EQ(rows.back().caption, "1024");
}
