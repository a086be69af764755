// The sockets of another network namespace and the container behind them: a
// child of this test, in a Docker container's scope of the test's making
// where the machine allows one, listens here, then makes a network namespace
// of its own, listens there and connects to itself; the test keeps a
// listener in a private namespace that stands for the host's.

#include "lists/CgroupService.h"
#include "lists/ServiceCells.h"
#include "lists/SocketRows.h"
#include "platform/CgroupIds.h"
#include "platform/LinuxProcessApi.h"
#include "platform/LinuxSocketTables.h"
#include "support/Child.h"
#include "support/Sockets.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace {

using Texts = std::multiset<std::string>;

// Each row of pid as its first four cells joined by spaces.
Texts RowTexts(const ListRows& rows, const std::string& pid) {
    Texts texts;
    for (const ListRow& row : rows)
        if (row.caption == pid)
            texts.insert(row.caption + " " + row.column(1) + " " + row.column(2) + " " +
                         row.column(3));
    return texts;
}

// Removes the group the test made, once the child in it is gone.
struct Scope {
    std::string path;
    ~Scope() { rmdir(path.c_str()); }
};

// The real tables as a reader sees them that may not look into the owners'
// descriptors: every owner unknown.
struct OwnersUnknown : platform::LinuxSocketTables {
    platform::EndpointTables GetEndpointTables(platform::TableRequest request) override {
        platform::EndpointTables tables = LinuxSocketTables::GetEndpointTables(request);
        for (auto& row : tables.tcp.value())
            row.dwOwningPid = 0;
        return tables;
    }
};

} // namespace

TEST(OtherNamespaces, ShowAChildsSocketsOnlyWhenAskedKeepOurRowsAndNameItsContainer) {
    int ready[2];
    if (!EnterPrivateNetwork() || pipe(ready) != 0)
        GTEST_SKIP() << "private network namespaces need CAP_SYS_ADMIN and the ip command";
    std::ifstream file("/proc/self/mountinfo");
    const auto mount = platform::FindCgroup2Mount(std::string(std::istreambuf_iterator(file), {}));
    char id[65];
    std::snprintf(id, sizeof id, "feed%060x", static_cast<unsigned>(getpid()));
    const Scope scope{mount ? mount->mountPoint + "/docker-" + id + ".scope" : ""};
    const bool scoped = mount && mkdir(scope.path.c_str(), 0755) == 0;
    const Fd ours = Open(AF_INET, SOCK_STREAM, "127.0.0.1", 47010);
    const Child child{fork()};
    if (child.pid == 0) {
        // A socket belongs to the group its maker is in at the time.
        if (scoped)
            std::ofstream(scope.path + "/cgroup.procs") << 0 << std::flush;
        const Fd here = Open(AF_INET, SOCK_STREAM, "127.0.0.1", 47020);
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
    EXPECT_EQ(RowTexts(off, pid), Texts{pid + " TCP 127.0.0.1 47020"});
    EXPECT_EQ(RowTexts(on, pid).size(), 3u);
    EXPECT_EQ(
        RowTexts(BuildListenerRows(sockets, processes, false, true), pid),
        (Texts{pid + " 127.0.0.1 47011 system_tests", pid + " 127.0.0.1 47020 system_tests"}));
    EXPECT_EQ(RowTexts(on, me), RowTexts(off, me));
    EXPECT_EQ(RowTexts(off, me), Texts{me + " TCP 127.0.0.1 47010"});

    if (!scoped)
        GTEST_SKIP() << "no cgroup2 file system, or no group can be made in it";
    // Here the kernel names the listener's group, there the process it was read through.
    OwnersUnknown ownerless;
    ListRows rows = BuildListenerRows(ownerless, processes, false, true);
    std::erase_if(rows, [](const ListRow& row) {
        return row.column(2) != "47011" && row.column(2) != "47020";
    });
    rows.push_back({pid, {}});
    AddServiceCells(rows, processes);
    for (const ListRow& row : rows)
        EXPECT_EQ(ServiceOfCell(row.subItems.back()), "docker:feed00000000") << row.column(2);
    EXPECT_EQ(rows.size(), 3u);
}
