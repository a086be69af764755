// The Listeners and Connections rows of this machine's real tables, for
// sockets this test opens on loopback addresses; only the rows of those
// sockets are looked at, whatever else the machine runs.

#include "lists/SocketRows.h"
#include "platform/LinuxProcessApi.h"
#include "platform/LinuxSocketTables.h"
#include "support/EventWait.h"
#include "support/Sockets.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

const std::string kMe = std::to_string(getpid());
const std::string kExe = std::filesystem::read_symlink("/proc/self/exe").string();
// This process's Process and file-name cells.
const std::string kOwner = std::filesystem::path(kExe).filename().string() + " " + kExe;

platform::LinuxSocketTables sockets;
platform::LinuxProcessApi processes;

// A row's cells joined by spaces.
std::string RowText(const ListRow& row) {
    std::string text = row.caption;
    for (const auto& cell : row.subItems)
        text += " " + cell;
    return text;
}

// This process's rows whose local port is one of those of sockets, each as
// RowText, in text order.
Texts OurRows(const ListRows& rows, int portColumn, std::initializer_list<const Fd*> ours) {
    Texts found;
    for (const auto& row : rows)
        for (const Fd* socket : ours)
            if (row.caption == kMe && row.column(portColumn) == std::to_string(PortOf(*socket)))
                found.push_back(RowText(row));
    std::sort(found.begin(), found.end());
    return found;
}

Texts Listeners(std::initializer_list<const Fd*> ours, bool ipv6 = false) {
    return OurRows(BuildListenerRows(sockets, processes, ipv6), 2, ours);
}
Texts Connections(std::initializer_list<const Fd*> ours, bool ipv6 = false) {
    return OurRows(BuildConnectionRows(sockets, processes, ipv6), 3, ours);
}

} // namespace

// A listener, both ends of an IPv4 client's connection to it, and a UDP
// socket; one on :: without IPV6_V6ONLY takes IPv4 as 0.0.0.0, also when the
// IPv6 rows are asked for. The end of a connection that closes first lingers
// in TIME_WAIT, held by no process. (Rows of IPv6 tables are SocketRows'.)
TEST(LinuxSocketTables, ListsTheSocketsIpv4Reaches) {
    // Containers often run without IPv6.
    const bool ipv6 = std::ifstream("/proc/net/if_inet6").peek() != EOF;
    const struct {
        int family;
        const char* address;
        int v6Only;
        std::string listedAs;
    } cases[] = {{AF_INET, "127.0.0.1", -1, "127.0.0.1"}, {AF_INET6, "::", 0, "0.0.0.0"}};
    for (const auto& c : cases) {
        if (c.family == AF_INET6 && !ipv6)
            continue;
        const Fd listener = Open(c.family, SOCK_STREAM, c.address, 0, c.v6Only);
        const std::string port = std::to_string(PortOf(listener));
        Fd client = Connect(AF_INET, "127.0.0.1", PortOf(listener));
        Fd server(accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
        const std::string clientPort = std::to_string(PortOf(client));
        const Fd udp = Open(c.family, SOCK_DGRAM, c.address, 0, c.v6Only);
        EXPECT_EQ(Listeners({&listener}),
                  Texts{kMe + " " + c.listedAs + " " + port + " " + kOwner});
        Texts connections = {
            kMe + " TCP " + c.listedAs + " " + port + " 0.0.0.0 0 LISTEN " + kOwner,
            kMe + " TCP 127.0.0.1 " + port + " 127.0.0.1 " + clientPort + " Established " + kOwner,
            kMe + " TCP 127.0.0.1 " + clientPort + " 127.0.0.1 " + port + " Established " + kOwner};
        std::sort(connections.begin(), connections.end());
        EXPECT_EQ(Connections({&listener, &client}), connections) << c.address;
        EXPECT_EQ(Connections({&listener, &client}, true), connections) << c.address;
        EXPECT_EQ(Connections({&udp}),
                  Texts{kMe + " UDP " + c.listedAs + " " + std::to_string(PortOf(udp)) +
                        " N/A N/A N/A " + kOwner});

        const std::string timeWait =
            "0 TCP 127.0.0.1 " + clientPort + " 127.0.0.1 " + port + " Wait  ";
        client.Close();
        server.Close();
        EXPECT_TRUE(WaitUntil([&] {
            const ListRows rows = BuildConnectionRows(sockets, processes, false);
            return std::any_of(rows.begin(), rows.end(),
                               [&](const ListRow& row) { return RowText(row) == timeWait; });
        })) << timeWait;
    }
}
