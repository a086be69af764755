// The sockets of another network namespace: a child of this test that makes
// one of its own, listens there and connects to itself.

#include "lists/SocketRows.h"
#include "platform/LinuxProcessApi.h"
#include "platform/LinuxSocketTables.h"
#include "support/Sockets.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

namespace {

// Ends the child whatever the test's outcome.
struct Child {
    pid_t pid;
    ~Child() {
        if (pid > 0 && kill(pid, SIGKILL) == 0)
            waitpid(pid, nullptr, 0);
    }
};

[[noreturn]] void ListenInANamespaceOfItsOwn(int ready) {
    try {
        ifreq lo{};
        std::strcpy(lo.ifr_name, "lo");
        const int control = unshare(CLONE_NEWNET) == 0 ? socket(AF_INET, SOCK_DGRAM, 0) : -1;
        if (ioctl(control, SIOCGIFFLAGS, &lo) == 0 && (lo.ifr_flags |= IFF_UP) &&
            ioctl(control, SIOCSIFFLAGS, &lo) == 0) {
            const Fd listener = Open(AF_INET, SOCK_STREAM, "127.0.0.1", 47011);
            const Fd client = Connect(AF_INET, "127.0.0.1", 47011);
            if (write(ready, "+", 1) == 1)
                pause();
        }
    } catch (...) {
    }
    _exit(1);
}

std::vector<std::string> Captions(const ListRows& rows, const std::string& pid) {
    std::vector<std::string> found;
    for (const ListRow& row : rows)
        if (row.caption == pid)
            found.push_back(row.column(1) + " " + row.column(2));
    return found;
}

} // namespace

TEST(OtherNamespaces, ShowAChildsListenerAndConnectionOnlyWhenAskedAndKeepOurOwnRows) {
    int ready[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    const Child child{fork()};
    if (child.pid == 0)
        ListenInANamespaceOfItsOwn(ready[1]);
    close(ready[1]);
    char told = 0;
    if (read(ready[0], &told, 1) != 1)
        GTEST_SKIP() << "a network namespace of its own needs CAP_SYS_ADMIN";
    platform::LinuxSocketTables sockets;
    platform::LinuxProcessApi processes;
    const std::string pid = std::to_string(child.pid);
    const ListRows off = BuildConnectionRows(sockets, processes, false);
    ListRows on = BuildConnectionRows(sockets, processes, false, nullptr, true);
    EXPECT_TRUE(Captions(off, pid).empty());
    EXPECT_EQ(Captions(on, pid).size(), 2u);
    EXPECT_EQ(Captions(BuildListenerRows(sockets, processes, false, true), pid),
              std::vector<std::string>{"127.0.0.1 47011"});
    for (const ListRow& row : off)
        EXPECT_NE(std::find_if(on.begin(), on.end(),
                               [&](const ListRow& other) {
                                   return other.caption == row.caption &&
                                          other.subItems == row.subItems;
                               }),
                  on.end());
}
