// The rows and traffic of real loopback sockets, in a private network
// namespace of this test process, so no other socket of the machine is seen;
// and the sockets of another network namespace and the container behind them.

#include "lists/CgroupService.h"
#include "lists/ServiceCells.h"
#include "lists/SocketRows.h"
#include "lists/TrafficCells.h"
#include "platform/CgroupIds.h"
#include "platform/LinuxProcessApi.h"
#include "platform/LinuxSocketTables.h"
#include "support/Child.h"
#include "support/EventWait.h"
#include "support/Sockets.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace {

using Texts = std::multiset<std::string>;

constexpr int kSent = 70001, kReceived = 3333, kLate = 12345;

// This program's name and path, as a row of one of its processes ends.
const std::string kExe = std::filesystem::read_symlink("/proc/self/exe").string();
const std::string kOwner = std::filesystem::path(kExe).filename().string() + " " + kExe;

void Transfer(const Fd& from, const Fd& to, int bytes) {
    const std::string data(static_cast<size_t>(bytes), 'x');
    std::string got(data.size(), '\0');
    ASSERT_EQ(send(from.fd, data.data(), data.size(), 0), bytes);
    ASSERT_EQ(recv(to.fd, got.data(), got.size(), MSG_WAITALL), bytes);
}

// Each row's cells joined by spaces; only pid's rows when one is given.
Texts RowTexts(const ListRows& rows, const std::string& pid = "") {
    Texts texts;
    for (const ListRow& row : rows) {
        std::string text = row.caption;
        for (const auto& cell : row.subItems)
            text += " " + cell;
        if (pid.empty() || row.caption == pid)
            texts.insert(text);
    }
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

// A listener, both ends of an IPv4 client's connection to it, and a UDP
// socket; where there is IPv6, on :: without IPV6_V6ONLY, taking IPv4 as
// 0.0.0.0, whether the IPv6 rows are asked for or not. The connection shows its
// exact counts, a listener none. The end of the connection that closes first
// lingers in TIME_WAIT, held by no process; bytes sent after the last fetch
// by connections that then closed, which only their close reports, are in
// their process's total. (Rates are the tracker's unit test's; rows of IPv6
// tables are SocketRows'.)
TEST(ConnectionTraffic, RowsCountsAndClosedConnectionsOfRealSockets) {
    if (!EnterPrivateNetwork())
        GTEST_SKIP() << "a private network namespace needs CAP_SYS_ADMIN and the ip command";
    platform::LinuxSocketTables sockets;
    platform::LinuxProcessApi processes;
    TrafficTracker tracker;
    const auto watch = sockets.WatchClosedTcp({[&](const auto& c) { tracker.Closed(c); }, [] {}});
    BuildConnectionRows(sockets, processes, false, &tracker);
    // Containers often run without IPv6.
    const bool ipv6 = std::ifstream("/proc/net/if_inet6").peek() != EOF;
    const int family = ipv6 ? AF_INET6 : AF_INET;
    const char* address = ipv6 ? "::" : "127.0.0.1";
    const std::string any = ipv6 ? " 0.0.0.0 " : " 127.0.0.1 ";
    const Fd listener = Open(family, SOCK_STREAM, address, 47030, ipv6 ? 0 : -1);
    Fd client = Connect(AF_INET, "127.0.0.1", 47030, 47031);
    Fd server(accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    const Fd udp = Open(family, SOCK_DGRAM, address, 47032, ipv6 ? 0 : -1);
    Transfer(client, server, kSent);
    Transfer(server, client, kReceived);

    const std::string me = std::to_string(getpid()) + " ";
    EXPECT_EQ(RowTexts(BuildListenerRows(sockets, processes, ipv6)),
              Texts{me + any.substr(1) + "47030 " + kOwner});
    // Sent, Received and Rate, which a socket seen for the first time lacks.
    const Texts rows = {
        me + "TCP" + any + "47030 0.0.0.0 0 LISTEN " + kOwner + "   ",
        me + "TCP 127.0.0.1 47030 127.0.0.1 47031 Established " + kOwner + " 3333 70001 ",
        me + "TCP 127.0.0.1 47031 127.0.0.1 47030 Established " + kOwner + " 70001 3333 ",
        me + "UDP" + any + "47032 N/A N/A N/A " + kOwner + "   "};
    EXPECT_EQ(RowTexts(BuildConnectionRows(sockets, processes, ipv6, &tracker)), rows);
    EXPECT_EQ(BuildConnectionRows(sockets, processes, !ipv6).size(), rows.size());

    Transfer(client, server, kLate);
    client.Close(), server.Close();
    EXPECT_TRUE(WaitUntil([&] {
        const Texts now = RowTexts(BuildConnectionRows(sockets, processes, false));
        return now.count("0 TCP 127.0.0.1 47031 127.0.0.1 47030 Wait  ");
    })) << "no TIME_WAIT row";
    // The kernel counts a FIN it received as a byte received, once per end.
    const uint64_t total = 2 * uint64_t{kSent + kReceived + kLate};
    ListRows process = {{std::to_string(getpid()), {}}};
    EXPECT_TRUE(WaitUntil([&] {
        process[0].subItems.clear();
        AddProcessTraffic(process, sockets, tracker);
        const uint64_t shown = std::stoull("0" + process[0].column(2));
        return shown >= total && shown <= total + 2;
    })) << process[0].column(2)
        << " of " << total;
}

// A child of this test, in a Docker container's scope of the test's making
// where the machine allows one, listens here, then makes a network namespace
// of its own, listens there and connects to itself; the test keeps a
// listener in a private namespace that stands for the host's.
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
    // Opened once the child is made, so that only we hold it.
    const Fd ours = Open(AF_INET, SOCK_STREAM, "127.0.0.1", 47010);
    platform::LinuxSocketTables sockets;
    platform::LinuxProcessApi processes;
    const std::string pid = std::to_string(child.pid), me = std::to_string(getpid());
    const ListRows off = BuildConnectionRows(sockets, processes, false);
    const ListRows on = BuildConnectionRows(sockets, processes, false, nullptr, true);
    EXPECT_EQ(RowTexts(off, pid), Texts{pid + " TCP 127.0.0.1 47020 0.0.0.0 0 LISTEN " + kOwner});
    EXPECT_EQ(RowTexts(on, pid).size(), 3u);
    EXPECT_EQ(RowTexts(BuildListenerRows(sockets, processes, false, true), pid),
              (Texts{pid + " 127.0.0.1 47011 " + kOwner, pid + " 127.0.0.1 47020 " + kOwner}));
    EXPECT_EQ(RowTexts(on, me), RowTexts(off, me));
    EXPECT_EQ(RowTexts(off, me), Texts{me + " TCP 127.0.0.1 47010 0.0.0.0 0 LISTEN " + kOwner});

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
