// The rows of the Processes, Listeners, Connections and Modules lists, built
// from made-up process and endpoint tables: each failing query or fetch
// shapes only its own cells or rows, and every other row stays whole.

#include "Modules.h"
#include "ProcessRows.h"
#include "SocketRows.h"
#include "support/FakePlatform.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

using Cells = std::vector<std::string>;
using Rows = std::vector<Cells>;

template <typename T> std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Rows AllCells(const ListRows& rows) {
    Rows all;
    for (const auto& row : rows)
        all.push_back(Cells{row.caption} + row.subItems);
    return all;
}

// Process 100 is healthy; process 7 has ended unless a test makes it up. 7
// owns a TCP listener and a UDP socket, 100 the same and one end of a
// connection; 7's come first in the tables.
struct World {
    FakeProcessApi processes;
    FakeSocketTables sockets;

    World() {
        const uint32_t localhost = inet_addr("127.0.0.1");
        processes.ids->push_back(7);
        processes.add(100, Running("/usr/sbin/sshd", 1048576, 1049599));
        sockets.tcp = std::vector<platform::MibTcpRowOwnerPid>{
            {2, localhost, htons(8080), 0, 0, 7},
            {2, 0, htons(80), 0, 0, 100},
            {5, localhost, htons(80), localhost, htons(50000), 100}};
        sockets.udp = std::vector<platform::MibUdpRowOwnerPid>{{localhost, htons(5353), 7},
                                                               {0, htons(53), 100}};
    }

    // The rows of the Listeners and Connections lists when 7's owner cells are
    // those given.
    static Rows Listeners(const Cells& owner) {
        return {Cells{"7", "127.0.0.1", "8080"} + owner,
                {"100", "0.0.0.0", "80", "sshd", "/usr/sbin/sshd"}};
    }
    static Rows TcpConnections(const Cells& owner) {
        return {Cells{"7", "TCP", "127.0.0.1", "8080", "0.0.0.0", "0", "LISTEN"} + owner,
                {"100", "TCP", "0.0.0.0", "80", "0.0.0.0", "0", "LISTEN", "sshd", "/usr/sbin/sshd"},
                {"100", "TCP", "127.0.0.1", "80", "127.0.0.1", "50000", "Established", "sshd",
                 "/usr/sbin/sshd"}};
    }
    static Rows UdpConnections(const Cells& owner) {
        return {Cells{"7", "UDP", "127.0.0.1", "5353", "N/A", "N/A", "N/A"} + owner,
                {"100", "UDP", "0.0.0.0", "53", "N/A", "N/A", "N/A", "sshd", "/usr/sbin/sshd"}};
    }
};

} // namespace

TEST(ListRows, AProcessThatFailsShapesOnlyItsOwnCells) {
    const struct {
        const char* fault;
        std::function<void(FakeProcess&)> make;
        Cells processRow; // empty: no row
        size_t modules;
    } cases[] = {
        {"may not be opened, or has ended", [](FakeProcess& p) { p.opens = false; }, {}, 0},
        {"has no executable (a kernel thread, or it ended after it was opened)",
         [](FakeProcess& p) { p.exe.reset(), p.modules.reset(); },
         {},
         0},
        {"its name query fails",
         [](FakeProcess& p) { p.baseNameFails = true; },
         {"7", "<unknown>", "0", "1", "/opt/d/daemon"},
         2},
        {"its file-name query fails",
         [](FakeProcess& p) { p.fileNameFails = true; },
         {"7", "daemon", "0", "1", "<unknown>"},
         0},
        {"its memory and module list queries fail",
         [](FakeProcess& p) { p.memory.reset(), p.modules.reset(); },
         {"7", "daemon", "0", "0", "/opt/d/daemon"},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        World world;
        auto& [processes, sockets] = world;
        FakeProcess daemon = Running("/opt/d/daemon", 1023, 1024);
        c.make(daemon);
        processes.processes[7] = daemon;
        // Its endpoints show the name and path of its process row, or nothing.
        const Cells owner =
            c.processRow.empty() ? Cells{"", ""} : Cells{c.processRow[1], c.processRow[4]};
        const Cells healthy = {"100", "sshd", "1024", "1024", "/usr/sbin/sshd"};
        const Rows processRows = c.processRow.empty() ? Rows{healthy} : Rows{c.processRow, healthy};
        EXPECT_EQ(AllCells(BuildProcessRows(processes)), processRows);
        EXPECT_EQ(AllCells(ListenerRows(sockets, processes)), World::Listeners(owner));
        EXPECT_EQ(AllCells(BuildConnectionRows(sockets, processes)),
                  World::TcpConnections(owner) + World::UdpConnections(owner));
        EXPECT_EQ(ModuleRows(processes, 7).size(), c.modules);
        EXPECT_EQ(AllCells(ModuleRows(processes, 100)),
                  (Rows{{"/usr/sbin/sshd"}, {"/usr/lib/x86_64-linux-gnu/libc.so.6"}}));
    }
}

TEST(ListRows, AFailedOrEmptyTableEmptiesOnlyItsOwnRows) {
    const Cells ended = {"", ""};
    const struct {
        const char* fault;
        std::function<void(FakeSocketTables&)> make;
        Rows listeners;
        Rows connections;
    } cases[] = {
        {"the TCP fetch fails",
         [](auto& tables) { tables.tcp.reset(); },
         {},
         World::UdpConnections(ended)},
        {"the UDP fetch fails", [](auto& tables) { tables.udp.reset(); }, World::Listeners(ended),
         World::TcpConnections(ended)},
        {"both tables are empty",
         [](auto& tables) { tables.tcp->clear(), tables.udp->clear(); },
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        World world;
        c.make(world.sockets);
        EXPECT_EQ(AllCells(ListenerRows(world.sockets, world.processes)), c.listeners);
        EXPECT_EQ(AllCells(BuildConnectionRows(world.sockets, world.processes)), c.connections);
    }
}

TEST(ListRows, ProcessesOfTheFirst1024IdentifiersOnlyAndNoneWhenEnumerationFails) {
    FakeProcessApi api;
    for (uint32_t pid = 1; pid <= 1500; ++pid)
        api.add(pid, Running("/usr/bin/sleep"));
    const ListRows rows = BuildProcessRows(api);
    ASSERT_EQ(rows.size(), 1024u);
    EXPECT_EQ(rows.back().caption, "1024");
    api.ids.reset();
    EXPECT_TRUE(BuildProcessRows(api).empty());
}

// LISTEN, Established and Wait show in the rows above and in the real tables;
// the other names would only restate the code's table.
TEST(TcpStateName, StatesOutOfRangeAreUnknown) {
    EXPECT_EQ(TcpStateName(0), "Unknown");
    EXPECT_EQ(TcpStateName(12), "Delete tcb");
    EXPECT_EQ(TcpStateName(13), "Unknown");
}
