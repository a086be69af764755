// The endpoint tables made from sock_diag entries: which sockets IPv4
// reaches, their state numbers, and the tables' order.

#include "platform/MibTables.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <string>

using platform::sockdiag::InetDiagEntry;

namespace {

InetDiagEntry Entry(int family, const char* local, uint16_t localPort, const char* remote,
                    uint16_t remotePort, std::optional<bool> v6Only = std::nullopt) {
    InetDiagEntry entry;
    entry.family = static_cast<uint8_t>(family);
    entry.state = 1;
    inet_pton(family, local, entry.localAddr.data());
    inet_pton(family, remote, entry.remoteAddr.data());
    entry.localPort = localPort;
    entry.remotePort = remotePort;
    entry.v6Only = v6Only;
    return entry;
}

std::string Ipv4Text(uint32_t networkOrder) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &networkOrder, text, sizeof text);
    return text;
}

std::string At(uint32_t address, uint32_t port) {
    return Ipv4Text(address) + ":" + std::to_string(ntohs(static_cast<uint16_t>(port)));
}

const platform::SocketOwnerMap kNoOwners({});

} // namespace

TEST(MibTcpState, MapsEveryKernelStateToItsMibNumber) {
    // Kernel states 1..12 (tcp_states.h) in order, then the bound-only query
    // state and beyond.
    const uint32_t expected[] = {0, 5, 3, 4, 6, 7, 11, 1, 8, 10, 2, 9, 4, 0, 0};
    for (uint8_t state = 0; state < std::size(expected); ++state)
        EXPECT_EQ(platform::MibTcpState(state), expected[state]) << int(state);
    EXPECT_EQ(platform::MibTcpState(255), 0u);
}

// Compared as stored (network order) integers, 2.0.0.1 would come before
// 1.0.0.2 and port 256 before port 1.
TEST(MakeTcpTable, ListsWhatIpv4ReachesSortedByAddressesAndPortsAsNumbers) {
    const InetDiagEntry entries[] = {
        Entry(AF_INET, "2.0.0.1", 1, "9.9.9.9", 9),
        Entry(AF_INET, "1.0.0.2", 256, "1.0.0.1", 1),
        Entry(AF_INET, "1.0.0.2", 1, "2.0.0.1", 1),
        Entry(AF_INET, "1.0.0.2", 1, "1.0.0.2", 256),
        Entry(AF_INET, "1.0.0.2", 1, "1.0.0.2", 1),
        Entry(AF_INET6, "::", 256, "::", 0, false),                  // dual-stack listener
        Entry(AF_INET6, "::ffff:10.1.2.3", 1, "::ffff:10.9.8.7", 2), // IPv4-mapped
        Entry(AF_INET6, "::", 1, "::ffff:10.0.0.1", 2),              // dual-stack, IPv4 peer
        Entry(AF_INET6, "::", 1, "::", 0, true),                     // IPv6 only
        Entry(AF_INET6, "::", 1, "::", 0),                           // IPV6_V6ONLY unknown
        Entry(AF_INET6, "::1", 1, "::", 0, false),                   // IPv6 loopback
        Entry(AF_INET6, "1::ffff:10.1.2.3", 1, "::", 0, false),      // not mapped
        Entry(AF_INET6, "::ffff:10.1.2.3", 1, "2001:db8::1", 2),     // IPv6 peer
    };
    std::vector<std::string> tcp, udp;
    for (const auto& row : platform::MakeTcpTable(entries, kNoOwners))
        tcp.push_back(At(row.dwLocalAddr, row.dwLocalPort) + " " +
                      At(row.dwRemoteAddr, row.dwRemotePort));
    for (const auto& row : platform::MakeUdpTable(entries, kNoOwners))
        udp.push_back(At(row.dwLocalAddr, row.dwLocalPort));
    EXPECT_EQ(tcp, (std::vector<std::string>{"0.0.0.0:1 10.0.0.1:2", "0.0.0.0:256 0.0.0.0:0",
                                             "1.0.0.2:1 1.0.0.2:1", "1.0.0.2:1 1.0.0.2:256",
                                             "1.0.0.2:1 2.0.0.1:1", "1.0.0.2:256 1.0.0.1:1",
                                             "2.0.0.1:1 9.9.9.9:9", "10.1.2.3:1 10.9.8.7:2"}));
    EXPECT_EQ(udp,
              (std::vector<std::string>{"0.0.0.0:1", "0.0.0.0:256", "1.0.0.2:1", "1.0.0.2:1",
                                        "1.0.0.2:1", "1.0.0.2:256", "2.0.0.1:1", "10.1.2.3:1"}));
}
