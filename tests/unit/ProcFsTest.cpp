// Readers of /proc text, fed fixtures.

#include "platform/ProcFs.h"

#include <gtest/gtest.h>

// The start time is field 22 of stat, counted after the name, which may hold
// spaces and parentheses; a line cut short has none.
TEST(StatStartTime, IsField22CountedAfterTheName) {
    const std::string rest = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 777 0 1\n";
    const std::pair<std::string, std::optional<uint64_t>> cases[] = {
        {"42 (sleep)" + rest, 777},
        {"42 (a) (b 9 9)" + rest, 777},
        {"42 (sleep) S 1 2 3\n", std::nullopt},
        {"42 (sleep) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 x", std::nullopt},
    };
    for (const auto& [stat, ticks] : cases)
        EXPECT_EQ(platform::procfs::StatStartTime(stat), ticks) << stat;
}
