// Failures of the process and endpoint tables, each met by one process or
// table among healthy ones: the failure shapes only its own cells or rows,
// every other row stays whole, and every process handle is closed again.

#include "Modules.h"
#include "ProcessRows.h"
#include "SocketRows.h"
#include "support/FakeProcessApi.h"
#include "support/FakeSocketTables.h"

#include <functional>
#include <gtest/gtest.h>

using platform::MibTcpRowOwnerPid;
using platform::MibUdpRowOwnerPid;

namespace {

using Cells = std::vector<std::string>;

std::vector<Cells> AllCells(const ListRows& rows) {
    std::vector<Cells> all;
    for (const auto& row : rows) {
        Cells cells{row.caption};
        cells.insert(cells.end(), row.subItems.begin(), row.subItems.end());
        all.push_back(cells);
    }
    return all;
}

const uint32_t kLocalhost = Stored(127, 0, 0, 1);
constexpr uint32_t kHealthy = 100;
constexpr uint32_t kFaulty = 7;

// Process 100 is healthy; process 7 meets the fault. Each owns one TCP
// listener and one UDP socket; 7's come first in the tables.
struct World {
    FakeProcessApi processes;
    FakeSocketTables sockets;

    World() {
        processes.ids->push_back(kFaulty);
        processes.add(kHealthy, Running("/usr/sbin/sshd", 2048, 4096));
        sockets.tcp = std::vector<MibTcpRowOwnerPid>{{2, kLocalhost, Port(8080), 0, 0, kFaulty},
                                                     {2, 0, Port(22), 0, 0, kHealthy}};
        sockets.udp = std::vector<MibUdpRowOwnerPid>{{kLocalhost, Port(5353), kFaulty},
                                                     {0, Port(53), kHealthy}};
    }
};

const Cells kHealthyProcess = {"100", "sshd", "2", "4", "/usr/sbin/sshd"};
const Cells kHealthyListener = {"100", "0.0.0.0", "22", "sshd", "/usr/sbin/sshd"};
const Cells kHealthyTcp = {"100",    "TCP",  "0.0.0.0",       "22", "0.0.0.0", "0",
                           "LISTEN", "sshd", "/usr/sbin/sshd"};
const Cells kHealthyUdp = {"100", "UDP",  "0.0.0.0",       "53", "N/A", "N/A",
                           "N/A", "sshd", "/usr/sbin/sshd"};

} // namespace

TEST(Faults, AProcessThatFailsShapesOnlyItsOwnCells) {
    const struct {
        const char* fault;
        std::function<void(FakeProcessApi&)> make;
        Cells processRow; // empty: no row
        Cells owner;      // the Process and file-name cells of its endpoints
    } cases[] = {
        {"ended between enumeration and lookup", [](FakeProcessApi&) {}, {}, {"", ""}},
        {"may not be opened",
         [](FakeProcessApi& api) {
             FakeProcess process = Running("/usr/bin/secret");
             process.opens = false;
             api.processes[kFaulty] = process;
         },
         {},
         {"", ""}},
        {"ended after it was opened",
         [](FakeProcessApi& api) {
             FakeProcess process;
             process.memory = platform::MemoryCounters{4096, 4096};
             api.processes[kFaulty] = process;
         },
         {},
         {"", ""}},
        {"its file-name query fails",
         [](FakeProcessApi& api) {
             FakeProcess process = Running("/opt/d/daemon", 1024, 1024);
             process.fileNameFails = true;
             api.processes[kFaulty] = process;
         },
         {"7", "daemon", "1", "1", "<unknown>"},
         {"daemon", "<unknown>"}},
    };
    for (const auto& c : cases) {
        World world;
        c.make(world.processes);
        auto& [processes, sockets] = world;

        std::vector<Cells> expected;
        if (!c.processRow.empty())
            expected.push_back(c.processRow);
        expected.push_back(kHealthyProcess);
        EXPECT_EQ(AllCells(BuildProcessRows(processes)), expected) << c.fault;

        const Cells listener = {"7", "127.0.0.1", "8080", c.owner[0], c.owner[1]};
        EXPECT_EQ(AllCells(ListenerRows(sockets, processes)),
                  (std::vector<Cells>{listener, kHealthyListener}))
            << c.fault;

        const Cells tcp = {"7", "TCP",    "127.0.0.1", "8080",    "0.0.0.0",
                           "0", "LISTEN", c.owner[0],  c.owner[1]};
        const Cells udp = {"7",   "UDP", "127.0.0.1", "5353",    "N/A",
                           "N/A", "N/A", c.owner[0],  c.owner[1]};
        EXPECT_EQ(AllCells(BuildConnectionRows(sockets, processes)),
                  (std::vector<Cells>{tcp, kHealthyTcp, udp, kHealthyUdp}))
            << c.fault;

        EXPECT_TRUE(ModuleRows(processes, kFaulty).empty()) << c.fault;
        EXPECT_EQ(ModuleRows(processes, kHealthy).size(), 2u) << c.fault;
        EXPECT_EQ(processes.openHandles, 0) << c.fault;
    }
}

TEST(Faults, AFailedTableFetchEmptiesOnlyItsOwnPart) {
    const struct {
        const char* fault;
        bool tcpFails;
        bool udpFails;
        std::vector<Cells> listeners;
        std::vector<Cells> connections;
    } cases[] = {
        {"the UDP fetch fails", false, true, {kHealthyListener}, {kHealthyTcp}},
        {"both fetches fail", true, true, {}, {}},
    };
    for (const auto& c : cases) {
        FakeProcessApi processes;
        processes.add(kHealthy, Running("/usr/sbin/sshd", 2048, 4096));
        FakeSocketTables sockets;
        sockets.tcp = std::vector<MibTcpRowOwnerPid>{{2, 0, Port(22), 0, 0, kHealthy}};
        sockets.udp = std::vector<MibUdpRowOwnerPid>{{0, Port(53), kHealthy}};
        if (c.tcpFails)
            sockets.tcp.reset();
        if (c.udpFails)
            sockets.udp.reset();
        EXPECT_EQ(AllCells(ListenerRows(sockets, processes)), c.listeners) << c.fault;
        EXPECT_EQ(AllCells(BuildConnectionRows(sockets, processes)), c.connections) << c.fault;
        EXPECT_EQ(processes.openHandles, 0) << c.fault;
    }
}
