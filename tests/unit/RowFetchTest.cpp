// Rows built on a thread of their own and handed to the window thread.

#include "lists/RowFetch.h"

#include "support/EventWait.h"
#include "support/NoNewThreads.h"

#include <gtest/gtest.h>
#include <system_error>

// When no thread can be had, start says so, and the next start builds.
TEST(RowFetch, StartsAgainAfterNoThreadCouldBeHad) {
    RowFetch fetch;
    const auto build = [] { return ListRows{{"7", {}}}; };
    size_t got = 0;
    // No new thread while start runs: the limit lives to the end of the expression.
    EXPECT_THROW((NoNewThreads(), fetch.start(build, [](ListRows) {})), std::system_error);
    EXPECT_TRUE(fetch.start(build, [&](ListRows rows) { got = rows.size(); }));
    EXPECT_TRUE(WaitUntil([&] { return got == 1; }));
}
