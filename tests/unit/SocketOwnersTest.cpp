#include "platform/SocketOwners.h"

#include <gtest/gtest.h>

using platform::SocketLinkInode;

TEST(SocketLinkInode, ReadsOnlySocketLinks) {
    const struct {
        const char* target;
        std::optional<uint32_t> inode;
    } cases[] = {
        {"socket:[35518]", 35518u},
        {"socket:[4294967295]", 4294967295u},
        {"socket:[4294967296]", std::nullopt}, // wider than inet_diag_msg's idiag_inode
        {"socket:[]", std::nullopt},
        {"socket:[12", std::nullopt},
        {"socket:12]", std::nullopt},
        {"socket:[12]x", std::nullopt},
        {"socket:[1 2]", std::nullopt},
        {"socket:[-1]", std::nullopt},
        {"socket:[+1]", std::nullopt},
        {"socket:[0x1f]", std::nullopt},
        {" socket:[1]", std::nullopt},
        {"pipe:[35518]", std::nullopt},
        {"anon_inode:[eventpoll]", std::nullopt},
        {"/tmp/socket:[1]", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SocketLinkInode(c.target), c.inode) << c.target;
}

TEST(SocketOwnerMap, GivesEachSocketItsLowestHolderAndZeroOtherwise) {
    const platform::SocketOwnerMap owners({{7, 300}, {5, 20}, {7, 100}, {9, 1}, {7, 200}, {0, 5}});
    const struct {
        uint32_t inode;
        uint32_t pid;
    } cases[] = {{7, 100}, {5, 20}, {9, 1}, {6, 0}, {10, 0}, {1, 0}, {0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(owners.OwnerOf(c.inode), c.pid) << c.inode;
    EXPECT_EQ(platform::SocketOwnerMap({}).OwnerOf(7), 0u);
}
