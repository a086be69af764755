#include "SocketRows.h"

#include "support/FakeProcessApi.h"
#include "support/FakeSocketTables.h"

#include <gtest/gtest.h>

using platform::MibTcpRowOwnerPid;
using platform::MibUdpRowOwnerPid;

namespace {

std::vector<std::string> Cells(const ListRow& row) {
    std::vector<std::string> cells{row.caption};
    cells.insert(cells.end(), row.subItems.begin(), row.subItems.end());
    return cells;
}

const uint32_t kLocalhost = Stored(127, 0, 0, 1);

struct SocketRowsTest : testing::Test {
    FakeProcessApi processes;
    FakeSocketTables sockets;

    void SetUp() override {
        processes.add(100, Running("/usr/sbin/sshd"));
        FakeProcess nameless = Running("/opt/daemon");
        nameless.baseNameFails = true;
        processes.add(200, nameless);
        sockets.tcp = std::vector<MibTcpRowOwnerPid>{
            {2, 0, Port(22), 0, 0, 100},
            {5, kLocalhost, Port(22), kLocalhost, Port(50000), 100},
            {2, kLocalhost, Port(8080), 0, 0, 0},
            {11, kLocalhost, Port(40000), Stored(10, 0, 0, 1), Port(443), 200},
        };
        sockets.udp = std::vector<MibUdpRowOwnerPid>{{Stored(0, 0, 0, 0), Port(53), 100}};
    }
};

} // namespace

TEST(TcpStateName, EveryStateNumber) {
    const char* expected[] = {"Unknown",         "CLOSED",      "LISTEN", "SYN sent",
                              "SYN received",    "Established", "Wait 1", "Wait 2",
                              "Waiting closing", "Closing",     "ACK",    "Wait",
                              "Delete tcb",      "Unknown"};
    for (uint32_t state = 0; state <= 13; ++state)
        EXPECT_EQ(TcpStateName(state), expected[state]) << state;
    EXPECT_EQ(TcpStateName(0xFFFFFFFF), "Unknown");
}

TEST(TableFields, AddressesAndPortsAsStored) {
    EXPECT_EQ(PortNumber(Stored(0x00, 0x50)), 80);
    EXPECT_EQ(PortNumber(Stored(0x1F, 0x90)), 8080);
    EXPECT_EQ(PortNumber(Stored(0xFF, 0xFF, 0x12, 0x34)), 65535) << "upper 16 bits ignored";
    EXPECT_EQ(AddressText(Stored(192, 168, 0, 10)), "192.168.0.10");
    EXPECT_EQ(AddressText(0), "0.0.0.0");
}

TEST_F(SocketRowsTest, ListenersShowOnlyListeningTcpEndpoints) {
    const ListRows rows = ListenerRows(sockets, processes);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Cells(rows[0]),
              (std::vector<std::string>{"100", "0.0.0.0", "22", "sshd", "/usr/sbin/sshd"}));
    EXPECT_EQ(Cells(rows[1]), (std::vector<std::string>{"0", "127.0.0.1", "8080", "", ""}));
    EXPECT_EQ(processes.openHandles, 0);
}

TEST_F(SocketRowsTest, ConnectionsShowEveryTcpRowThenEveryUdpRow) {
    const ListRows rows = BuildConnectionRows(sockets, processes);
    const std::vector<std::vector<std::string>> expected = {
        {"100", "TCP", "0.0.0.0", "22", "0.0.0.0", "0", "LISTEN", "sshd", "/usr/sbin/sshd"},
        {"100", "TCP", "127.0.0.1", "22", "127.0.0.1", "50000", "Established", "sshd",
         "/usr/sbin/sshd"},
        {"0", "TCP", "127.0.0.1", "8080", "0.0.0.0", "0", "LISTEN", "", ""},
        {"200", "TCP", "127.0.0.1", "40000", "10.0.0.1", "443", "Wait", "<unknown>", "/opt/daemon"},
        {"100", "UDP", "0.0.0.0", "53", "N/A", "N/A", "N/A", "sshd", "/usr/sbin/sshd"},
    };
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(Cells(rows[i]), expected[i]) << "row " << i;
}

TEST_F(SocketRowsTest, AFailedOrEmptyTableLeavesTheOtherTablesRows) {
    sockets.tcp.reset();
    EXPECT_TRUE(ListenerRows(sockets, processes).empty());
    ListRows rows = BuildConnectionRows(sockets, processes);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].subItems[0], "UDP");

    sockets.tcp = std::vector<MibTcpRowOwnerPid>{};
    sockets.udp.reset();
    EXPECT_TRUE(BuildConnectionRows(sockets, processes).empty());
}

TEST_F(SocketRowsTest, OwnersAreLookedUpForEveryRow) {
    sockets.tcp =
        std::vector<MibTcpRowOwnerPid>(3, {5, kLocalhost, Port(1), kLocalhost, Port(2), 100});
    FakeProcess exited = Running("/usr/sbin/sshd");
    exited.exe.reset();
    processes.processes[100] = exited;
    for (const auto& row : TcpConnectionRows(sockets, processes)) {
        EXPECT_EQ(row.subItems[6], "");
        EXPECT_EQ(row.subItems[7], "");
    }
}
