#include "Modules.h"
#include "support/FakeProcessApi.h"

#include <gtest/gtest.h>

static std::vector<std::string> Captions(const ListRows& rows) {
    std::vector<std::string> captions;
    for (const auto& row : rows)
        captions.push_back(row.caption);
    return captions;
}

TEST(ModuleRows, ListsEachReadableModuleInOrder) {
    FakeProcessApi api;
    FakeProcess process = Running("/usr/bin/app");
    process.modules =
        std::vector<std::string>{"/usr/bin/app", "/lib/a.so", "/lib/gone.so", "/lib/b.so"};
    process.unreadableModules = {"/lib/gone.so"};
    api.add(10, process);
    EXPECT_EQ(Captions(ModuleRows(api, 10)),
              (std::vector<std::string>{"/usr/bin/app", "/lib/a.so", "/lib/b.so"}));
    EXPECT_EQ(api.openHandles, 0);
}

TEST(ModuleRows, EmptyWhenTheProcessCannotBeReadAndNothingLeaks) {
    FakeProcessApi api;
    FakeProcess unopenable = Running("/usr/bin/app");
    unopenable.opens = false;
    api.add(1, unopenable);
    FakeProcess unlisted = Running("/usr/bin/app");
    unlisted.modules.reset();
    api.add(2, unlisted);
    for (const int32_t pid : {1, 2, 3, -1})
        EXPECT_TRUE(ModuleRows(api, pid).empty()) << pid;
    EXPECT_EQ(api.openHandles, 0);
}
