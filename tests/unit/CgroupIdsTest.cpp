// Cgroup ids to paths: where the cgroup2 file system is mounted, and a tree
// read again only for an id never met.

#include "platform/CgroupIds.h"

#include <gtest/gtest.h>

TEST(CgroupIds, FindTheCgroup2MountAmongV1AndOtherMounts) {
    const std::pair<std::string, std::optional<platform::Cgroup2Mount>> cases[] = {
        {"25 1 0:22 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n", {{"/sys/fs/cgroup", "/"}}},
        {"30 25 0:26 / /sys/fs/cgroup/cpu rw shared:9 - cgroup cgroup rw,cpu\n"
         "41 31 0:38 /a\\040b /run/my\\134cg rw shared:1 master:2 - cgroup2 none rw\n",
         {{"/run/my\\cg", "/a b"}}},
        {"30 25 0:26 / /cgroup2 rw - cgroup cgroup2 rw\n", std::nullopt},
        {"", std::nullopt}};
    for (const auto& [mountinfo, mount] : cases)
        EXPECT_EQ(platform::FindCgroup2Mount(mountinfo), mount) << mountinfo;
}

TEST(CgroupIds, ReadTheTreeAgainOnlyForAnIdNeverMet) {
    platform::CgroupTree tree{{1, "/"}, {7, "/a.service"}};
    int reads = 0;
    platform::CgroupPaths paths([&] { return ++reads, tree; });
    // The id asked for, the path found, and how many readings there were.
    const std::tuple<uint64_t, std::optional<std::string>, int> lookups[] = {
        {7, "/a.service", 1}, {1, "/", 1}, {9, std::nullopt, 2}, {9, std::nullopt, 2}};
    // A braced list reads the path before the count of readings.
    for (const auto& [id, path, count] : lookups)
        EXPECT_EQ((std::pair{paths.PathOf(id), reads}), std::pair(path, count)) << id;
    tree.emplace(8, "/b.scope");
    EXPECT_EQ((std::pair{paths.PathOf(8), reads}),
              std::pair(std::optional<std::string>("/b.scope"), 3));
}
