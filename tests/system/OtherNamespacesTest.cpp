// The sockets of another network namespace: a child of this test that makes
// one of its own, listens there and connects to itself, while the test keeps
// a listener in a private namespace that stands for the host's.

#include "lists/SocketRows.h"
#include "platform/LinuxProcessApi.h"
#include "platform/LinuxSocketTables.h"
#include "support/Child.h"
#include "support/Sockets.h"

#include <gtest/gtest.h>
#include <set>

namespace {

// Each row of pid as its first four cells joined by spaces.
std::multiset<std::string> Texts(const ListRows& rows, const std::string& pid) {
    std::multiset<std::string> texts;
    for (const ListRow& row : rows)
        if (row.caption == pid)
            texts.insert(row.caption + " " + row.column(1) + " " + row.column(2) + " " +
                         row.column(3));
    return texts;
}

} // namespace

TEST(OtherNamespaces, ShowAChildsListenerAndConnectionOnlyWhenAskedAndKeepOurOwnRows) {
    int ready[2];
    if (!EnterPrivateNetwork() || pipe(ready) != 0)
        GTEST_SKIP() << "private network namespaces need CAP_SYS_ADMIN and the ip command";
    const Fd ours = Open(AF_INET, SOCK_STREAM, "127.0.0.1", 47010);
    const Child child{fork()};
    if (child.pid == 0) {
        if (EnterPrivateNetwork()) {
            const Fd listener = Open(AF_INET, SOCK_STREAM, "127.0.0.1", 47011);
            const Fd client = Connect(AF_INET, "127.0.0.1", 47011);
            if (write(ready[1], "+", 1) == 1)
                pause();
        }
        _exit(1);
    }
    char told = 0;
    ASSERT_EQ(read(ready[0], &told, 1), 1);
    platform::LinuxSocketTables sockets;
    platform::LinuxProcessApi processes;
    const std::string pid = std::to_string(child.pid), me = std::to_string(getpid());
    const ListRows off = BuildConnectionRows(sockets, processes, false);
    const ListRows on = BuildConnectionRows(sockets, processes, false, nullptr, true);
    EXPECT_TRUE(Texts(off, pid).empty());
    EXPECT_EQ(Texts(on, pid).size(), 2u);
    EXPECT_EQ(Texts(BuildListenerRows(sockets, processes, false, true), pid),
              std::multiset<std::string>{pid + " 127.0.0.1 47011 system_tests"});
    // Our own rows as without the option.
    EXPECT_EQ(Texts(on, me), Texts(off, me));
    EXPECT_EQ(Texts(off, me), std::multiset<std::string>{me + " TCP 127.0.0.1 47010"});
}
