// The endpoint tables read from this machine's kernel, with sockets this test
// opens on loopback addresses only.

#include "SocketRows.h"
#include "platform/LinuxProcessApi.h"
#include "platform/LinuxSocketTables.h"
#include "support/Sockets.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Texts = std::vector<std::string>;

std::string At(const std::string& address, uint16_t port) {
    return address + ":" + std::to_string(port);
}

const std::string kMe = std::to_string(getpid());

// "state local remote pid" of every TCP row with this local or remote port,
// in text order.
Texts TcpRowsOn(uint16_t port) {
    const auto table = platform::LinuxSocketTables().GetExtendedTcpTable().value();
    Texts rows;
    for (const auto& row : table)
        if (PortNumber(row.dwLocalPort) == port || PortNumber(row.dwRemotePort) == port)
            rows.push_back(std::to_string(row.dwState) + " " +
                           At(AddressText(row.dwLocalAddr), PortNumber(row.dwLocalPort)) + " " +
                           At(AddressText(row.dwRemoteAddr), PortNumber(row.dwRemotePort)) + " " +
                           std::to_string(row.dwOwningPid));
    std::sort(rows.begin(), rows.end());
    return rows;
}

Texts UdpRowsOn(uint16_t port) {
    const auto table = platform::LinuxSocketTables().GetExtendedUdpTable().value();
    Texts rows;
    for (const auto& row : table)
        if (PortNumber(row.dwLocalPort) == port)
            rows.push_back(At(AddressText(row.dwLocalAddr), port) + " " +
                           std::to_string(row.dwOwningPid));
    return rows;
}

// Containers often run without IPv6 on the loopback interface.
bool HasIpv6Loopback() {
    try {
        Open(AF_INET6, SOCK_DGRAM, "::1");
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

} // namespace

// A listener, then both ends of an IPv4 client's connection to it; a socket
// on :: without IPV6_V6ONLY takes IPv4 as 0.0.0.0, and one with it, or on ::1,
// is never listed.
TEST(LinuxSocketTables, ListsExactlyTheSocketsIpv4Reaches) {
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface";
    const struct {
        int family;
        const char* address;
        int v6Only;
        const char* listedAs;
    } cases[] = {{AF_INET, "127.0.0.1", -1, "127.0.0.1"}, {AF_INET6, "::", 0, "0.0.0.0"}};
    for (const auto& c : cases) {
        const Fd listener = Open(c.family, SOCK_STREAM, c.address, 0, c.v6Only);
        const uint16_t port = PortOf(listener);
        const std::string listening = "2 " + At(c.listedAs, port) + " 0.0.0.0:0 " + kMe;
        EXPECT_EQ(TcpRowsOn(port), Texts{listening}) << c.address;
        const Fd client = Connect(AF_INET, "127.0.0.1", port);
        const Fd server = Accept(listener);
        const std::string serverEnd = At("127.0.0.1", port);
        const std::string clientEnd = At("127.0.0.1", PortOf(client));
        Texts expected = {listening, "5 " + serverEnd + " " + clientEnd + " " + kMe,
                          "5 " + clientEnd + " " + serverEnd + " " + kMe};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(TcpRowsOn(port), expected) << c.address;

        const Fd udp = Open(c.family, SOCK_DGRAM, c.address, 0, c.v6Only);
        EXPECT_EQ(UdpRowsOn(PortOf(udp)), Texts{At(c.listedAs, PortOf(udp)) + " " + kMe});
    }

    // Another process's row may share a port number; none may be ours.
    const Fd tcpV6Only = Open(AF_INET6, SOCK_STREAM, "::", 0, 1);
    const Fd tcpLoopback = Open(AF_INET6, SOCK_STREAM, "::1");
    const Fd client = Connect(AF_INET6, "::1", PortOf(tcpLoopback));
    const Fd server = Accept(tcpLoopback);
    const Fd udpV6Only = Open(AF_INET6, SOCK_DGRAM, "::", 0, 1);
    const Fd udpLoopback = Open(AF_INET6, SOCK_DGRAM, "::1");
    for (const auto& rows : {TcpRowsOn(PortOf(tcpV6Only)), TcpRowsOn(PortOf(tcpLoopback)),
                             UdpRowsOn(PortOf(udpV6Only)), UdpRowsOn(PortOf(udpLoopback))})
        for (const auto& row : rows)
            EXPECT_FALSE(row.ends_with(" " + kMe)) << row;
}

// The end that closes first lingers in TIME_WAIT, held by no process.
TEST(LinuxSocketTables, ShowsNoOwnerForATimeWaitConnection) {
    const Fd listener = Open(AF_INET, SOCK_STREAM, "127.0.0.1");
    const uint16_t port = PortOf(listener);
    Fd client = Connect(AF_INET, "127.0.0.1", port);
    Fd server = Accept(listener);
    const std::string timeWait =
        "11 " + At("127.0.0.1", PortOf(client)) + " " + At("127.0.0.1", port) + " 0";
    client.Close();
    server.Close();
    Texts rows;
    for (int attempt = 0; attempt < 100; ++attempt) {
        rows = TcpRowsOn(port);
        if (std::find(rows.begin(), rows.end(), timeWait) != rows.end())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "no " << timeWait << " among " << testing::PrintToString(rows);
}

// The rows of the two lists name this test's own process as the owner.
TEST(LinuxSocketTables, RowsNameTheOwningProcess) {
    const Fd listener = Open(AF_INET, SOCK_STREAM, "127.0.0.1");
    const Fd udp = Open(AF_INET, SOCK_DGRAM, "127.0.0.1");
    platform::LinuxSocketTables sockets;
    platform::LinuxProcessApi processes;
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string name = std::filesystem::path(exe).filename().string();
    const auto contains = [](const ListRows& rows, const Texts& cells) {
        return std::any_of(rows.begin(), rows.end(), [&](const ListRow& row) {
            Texts all{row.caption};
            all.insert(all.end(), row.subItems.begin(), row.subItems.end());
            return all == cells;
        });
    };
    const std::string tcpPort = std::to_string(PortOf(listener));
    const std::string udpPort = std::to_string(PortOf(udp));
    EXPECT_TRUE(contains(ListenerRows(sockets, processes), {kMe, "127.0.0.1", tcpPort, name, exe}));
    const ListRows connections = BuildConnectionRows(sockets, processes);
    EXPECT_TRUE(contains(connections,
                         {kMe, "TCP", "127.0.0.1", tcpPort, "0.0.0.0", "0", "LISTEN", name, exe}));
    EXPECT_TRUE(
        contains(connections, {kMe, "UDP", "127.0.0.1", udpPort, "N/A", "N/A", "N/A", name, exe}));
}
