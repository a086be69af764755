// The rows of the Processes, Listeners, Connections and Modules lists, built
// from made-up process and endpoint tables: each failing query or fetch
// shapes only its own cells or rows, and every other row stays whole.

#include "Modules.h"
#include "ProcessRows.h"
#include "SocketRows.h"
#include "support/FakePlatform.h"

#include <functional>
#include <gtest/gtest.h>

using platform::MibTcpRowOwnerPid;
using platform::MibUdpRowOwnerPid;

namespace {

using Cells = std::vector<std::string>;

Cells operator+(Cells a, const Cells& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Cells> AllCells(const ListRows& rows) {
    std::vector<Cells> all;
    for (const auto& row : rows)
        all.push_back(Cells{row.caption} + row.subItems);
    return all;
}

const uint32_t kLocalhost = Stored(127, 0, 0, 1);
constexpr uint32_t kHealthy = 100;
constexpr uint32_t kFaulty = 7;

// Process 100 is healthy; process 7, which has ended unless the test makes it
// up, meets the fault. Each owns one TCP listener and one UDP socket, and 100 also one end
// of a connection; 7's come first in the tables.
struct World {
    FakeProcessApi processes;
    FakeSocketTables sockets;

    World() {
        processes.ids->push_back(kFaulty);
        processes.add(kHealthy, Running("/usr/sbin/sshd", 1048576, 1049599));
        sockets.tcp = std::vector<MibTcpRowOwnerPid>{
            {2, kLocalhost, Port(8080), 0, 0, kFaulty},
            {2, 0, Port(80), 0, 0, kHealthy},
            {5, kLocalhost, Port(80), kLocalhost, Port(50000), kHealthy}};
        sockets.udp = std::vector<MibUdpRowOwnerPid>{{kLocalhost, Port(5353), kFaulty},
                                                     {0, Port(53), kHealthy}};
    }
};

const Cells kSshd = {"sshd", "/usr/sbin/sshd"};
const Cells kHealthyProcess = {"100", "sshd", "1024", "1024", "/usr/sbin/sshd"};
const Cells kHealthyListener = Cells{"100", "0.0.0.0", "80"} + kSshd;
const Cells kHealthyTcp = Cells{"100", "TCP", "0.0.0.0", "80", "0.0.0.0", "0", "LISTEN"} + kSshd;
const Cells kHealthyConnection =
    Cells{"100", "TCP", "127.0.0.1", "80", "127.0.0.1", "50000", "Established"} + kSshd;
const Cells kHealthyUdp = Cells{"100", "UDP", "0.0.0.0", "53", "N/A", "N/A", "N/A"} + kSshd;

Cells FaultyListener(const Cells& owner) {
    return Cells{"7", "127.0.0.1", "8080"} + owner;
}
Cells FaultyTcp(const Cells& owner) {
    return Cells{"7", "TCP", "127.0.0.1", "8080", "0.0.0.0", "0", "LISTEN"} + owner;
}
Cells FaultyUdp(const Cells& owner) {
    return Cells{"7", "UDP", "127.0.0.1", "5353", "N/A", "N/A", "N/A"} + owner;
}

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
        {"its memory query fails",
         [](FakeProcess& p) { p.memory.reset(); },
         {"7", "daemon", "0", "0", "/opt/d/daemon"},
         2},
        {"its module list fails",
         [](FakeProcess& p) { p.modules.reset(); },
         {"7", "daemon", "0", "1", "/opt/d/daemon"},
         0},
    };
    for (const auto& c : cases) {
        World world;
        auto& [processes, sockets] = world;
        FakeProcess daemon = Running("/opt/d/daemon", 1023, 1024);
        c.make(daemon);
        processes.processes[kFaulty] = daemon;
        // Its endpoints show the name and path of its process row, or nothing.
        const Cells owner =
            c.processRow.empty() ? Cells{"", ""} : Cells{c.processRow[1], c.processRow[4]};

        std::vector<Cells> expected;
        if (!c.processRow.empty())
            expected.push_back(c.processRow);
        expected.push_back(kHealthyProcess);
        EXPECT_EQ(AllCells(BuildProcessRows(processes)), expected) << c.fault;
        EXPECT_EQ(AllCells(ListenerRows(sockets, processes)),
                  (std::vector<Cells>{FaultyListener(owner), kHealthyListener}))
            << c.fault;
        EXPECT_EQ(AllCells(BuildConnectionRows(sockets, processes)),
                  (std::vector<Cells>{FaultyTcp(owner), kHealthyTcp, kHealthyConnection,
                                      FaultyUdp(owner), kHealthyUdp}))
            << c.fault;
        EXPECT_EQ(ModuleRows(processes, kFaulty).size(), c.modules) << c.fault;
        EXPECT_EQ(AllCells(ModuleRows(processes, kHealthy)),
                  (std::vector<Cells>{{"/usr/sbin/sshd"}, {"/usr/lib/x86_64-linux-gnu/libc.so.6"}}))
            << c.fault;
    }
}

TEST(ListRows, AFailedOrEmptyTableEmptiesOnlyItsOwnRows) {
    const Cells owner = {"", ""}; // process 7 has ended
    const struct {
        const char* fault;
        std::function<void(FakeSocketTables&)> make;
        std::vector<Cells> listeners;
        std::vector<Cells> connections;
    } cases[] = {
        {"the TCP fetch fails",
         [](auto& tables) { tables.tcp.reset(); },
         {},
         {FaultyUdp(owner), kHealthyUdp}},
        {"the UDP fetch fails",
         [](auto& tables) { tables.udp.reset(); },
         {FaultyListener(owner), kHealthyListener},
         {FaultyTcp(owner), kHealthyTcp, kHealthyConnection}},
        {"both tables are empty",
         [](auto& tables) { tables.tcp->clear(), tables.udp->clear(); },
         {},
         {}},
    };
    for (const auto& c : cases) {
        World world;
        c.make(world.sockets);
        EXPECT_EQ(AllCells(ListenerRows(world.sockets, world.processes)), c.listeners) << c.fault;
        EXPECT_EQ(AllCells(BuildConnectionRows(world.sockets, world.processes)), c.connections)
            << c.fault;
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

TEST(TcpStateName, EveryStateNumber) {
    const char* expected[] = {"Unknown",         "CLOSED",      "LISTEN", "SYN sent",
                              "SYN received",    "Established", "Wait 1", "Wait 2",
                              "Waiting closing", "Closing",     "ACK",    "Wait",
                              "Delete tcb",      "Unknown"};
    for (uint32_t state = 0; state <= 13; ++state)
        EXPECT_EQ(TcpStateName(state), expected[state]) << state;
}
