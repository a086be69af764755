// The Listeners and Connections rows of this machine's real tables, for
// sockets this test opens on loopback addresses only.

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

const std::string kMe = std::to_string(getpid());
const std::string kExe = std::filesystem::read_symlink("/proc/self/exe").string();
// This process's Process and file-name cells.
const std::string kOwner = std::filesystem::path(kExe).filename().string() + " " + kExe;

// The rows with port in one of the given columns, each as its cells joined by
// spaces, in text order.
Texts RowsOn(const ListRows& rows, uint16_t port, std::initializer_list<int> columns) {
    Texts found;
    for (const auto& row : rows)
        if (std::any_of(columns.begin(), columns.end(),
                        [&](int column) { return row.column(column) == std::to_string(port); })) {
            std::string text = row.caption;
            for (const auto& cell : row.subItems)
                text += " " + cell;
            found.push_back(text);
        }
    std::sort(found.begin(), found.end());
    return found;
}

platform::LinuxSocketTables sockets;
platform::LinuxProcessApi processes;

Texts ListenersOn(uint16_t port) {
    return RowsOn(ListenerRows(sockets, processes), port, {2});
}

Texts ConnectionsOn(uint16_t port) {
    return RowsOn(BuildConnectionRows(sockets, processes), port, {3, 5});
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

// A listener, both ends of an IPv4 client's connection to it, and a UDP
// socket; one on :: without IPV6_V6ONLY takes IPv4 as 0.0.0.0, and one with
// it, or on ::1, is never listed.
TEST(LinuxSocketTables, ListsExactlyTheSocketsIpv4ReachesWithTheirOwner) {
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface";
    const struct {
        int family;
        const char* address;
        int v6Only;
        std::string listedAs;
    } cases[] = {{AF_INET, "127.0.0.1", -1, "127.0.0.1"}, {AF_INET6, "::", 0, "0.0.0.0"}};
    for (const auto& c : cases) {
        const Fd listener = Open(c.family, SOCK_STREAM, c.address, 0, c.v6Only);
        const std::string port = std::to_string(PortOf(listener));
        const Fd client = Connect(AF_INET, "127.0.0.1", PortOf(listener));
        const Fd server = Accept(listener);
        const std::string clientPort = std::to_string(PortOf(client));
        const Fd udp = Open(c.family, SOCK_DGRAM, c.address, 0, c.v6Only);
        EXPECT_EQ(ListenersOn(PortOf(listener)),
                  Texts{kMe + " " + c.listedAs + " " + port + " " + kOwner});
        Texts connections = {
            kMe + " TCP " + c.listedAs + " " + port + " 0.0.0.0 0 LISTEN " + kOwner,
            kMe + " TCP 127.0.0.1 " + port + " 127.0.0.1 " + clientPort + " Established " + kOwner,
            kMe + " TCP 127.0.0.1 " + clientPort + " 127.0.0.1 " + port + " Established " + kOwner};
        std::sort(connections.begin(), connections.end());
        EXPECT_EQ(ConnectionsOn(PortOf(listener)), connections) << c.address;
        EXPECT_EQ(ConnectionsOn(PortOf(udp)),
                  Texts{kMe + " UDP " + c.listedAs + " " + std::to_string(PortOf(udp)) +
                        " N/A N/A N/A " + kOwner});
    }

    // Another process's row may share a port number; none may be ours.
    const Fd tcpV6Only = Open(AF_INET6, SOCK_STREAM, "::", 0, 1);
    const Fd tcpLoopback = Open(AF_INET6, SOCK_STREAM, "::1");
    const Fd client = Connect(AF_INET6, "::1", PortOf(tcpLoopback));
    const Fd server = Accept(tcpLoopback);
    const Fd udpV6Only = Open(AF_INET6, SOCK_DGRAM, "::", 0, 1);
    const Fd udpLoopback = Open(AF_INET6, SOCK_DGRAM, "::1");
    for (const Fd* socket : {&tcpV6Only, &tcpLoopback, &udpV6Only, &udpLoopback})
        for (const auto& row : ConnectionsOn(PortOf(*socket)))
            EXPECT_FALSE(row.starts_with(kMe + " ")) << row;
}

// The end that closes first lingers in TIME_WAIT, held by no process.
TEST(LinuxSocketTables, ShowsNoOwnerForATimeWaitConnection) {
    const Fd listener = Open(AF_INET, SOCK_STREAM, "127.0.0.1");
    const uint16_t port = PortOf(listener);
    Fd client = Connect(AF_INET, "127.0.0.1", port);
    Fd server = Accept(listener);
    const std::string timeWait = "0 TCP 127.0.0.1 " + std::to_string(PortOf(client)) +
                                 " 127.0.0.1 " + std::to_string(port) + " Wait  ";
    client.Close();
    server.Close();
    Texts rows;
    for (int attempt = 0; attempt < 100; ++attempt) {
        rows = ConnectionsOn(port);
        if (std::find(rows.begin(), rows.end(), timeWait) != rows.end())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "no '" << timeWait << "' among " << testing::PrintToString(rows);
}
