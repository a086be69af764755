#include "platform/MibTables.h"

#include <arpa/inet.h>
#include <cstring>
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

std::string Text(const platform::MibTcpRowOwnerPid& row) {
    return std::to_string(row.dwState) + " " + Ipv4Text(row.dwLocalAddr) + ":" +
           std::to_string(ntohs(row.dwLocalPort)) + " " + Ipv4Text(row.dwRemoteAddr) + ":" +
           std::to_string(ntohs(row.dwRemotePort)) + " pid " + std::to_string(row.dwOwningPid);
}

std::string Text(const platform::MibUdpRowOwnerPid& row) {
    return Ipv4Text(row.dwLocalAddr) + ":" + std::to_string(ntohs(row.dwLocalPort)) + " pid " +
           std::to_string(row.dwOwningPid);
}

template <typename Row> std::vector<std::string> Texts(const std::vector<Row>& rows) {
    std::vector<std::string> texts;
    for (const auto& row : rows)
        texts.push_back(Text(row));
    return texts;
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

TEST(Ipv4Addresses, ListsExactlyTheSocketsIpv4Reaches) {
    const struct {
        const char* name;
        InetDiagEntry entry;
        const char* expected; // "local remote", or nullptr when not listed
    } cases[] = {
        {"IPv4", Entry(AF_INET, "10.1.2.3", 1, "10.9.8.7", 2), "10.1.2.3 10.9.8.7"},
        {"mapped connection", Entry(AF_INET6, "::ffff:10.1.2.3", 1, "::ffff:10.9.8.7", 2),
         "10.1.2.3 10.9.8.7"},
        {"mapped listener", Entry(AF_INET6, "::ffff:127.0.0.1", 1, "::", 0), "127.0.0.1 0.0.0.0"},
        {"dual-stack listener", Entry(AF_INET6, "::", 1, "::", 0, false), "0.0.0.0 0.0.0.0"},
        {"dual-stack socket with an IPv4 peer", Entry(AF_INET6, "::", 1, "::ffff:10.0.0.1", 2),
         "0.0.0.0 10.0.0.1"},
        {"v6-only listener", Entry(AF_INET6, "::", 1, "::", 0, true), nullptr},
        {"listener whose V6ONLY is unknown", Entry(AF_INET6, "::", 1, "::", 0), nullptr},
        {"loopback ::1", Entry(AF_INET6, "::1", 1, "::", 0, false), nullptr},
        {"link-local", Entry(AF_INET6, "fe80::1", 1, "fe80::2", 2), nullptr},
        {"IPv4-compatible", Entry(AF_INET6, "::10.1.2.3", 1, "::10.9.8.7", 2), nullptr},
        {"mapped beside a nonzero prefix", Entry(AF_INET6, "1::ffff:10.1.2.3", 1, "::", 0, false),
         nullptr},
        {"mapped local, IPv6 peer", Entry(AF_INET6, "::ffff:10.1.2.3", 1, "2001:db8::1", 2),
         nullptr},
        {"other family", Entry(AF_UNIX, "10.1.2.3", 1, "10.9.8.7", 2), nullptr},
    };
    for (const auto& c : cases) {
        const auto got = platform::Ipv4Addresses(c.entry);
        if (!c.expected) {
            EXPECT_FALSE(got) << c.name;
            continue;
        }
        ASSERT_TRUE(got) << c.name;
        EXPECT_EQ(Ipv4Text(got->local) + " " + Ipv4Text(got->remote), c.expected) << c.name;
    }
}

TEST(MakeTcpTable, SortsByAddressesAndPortsAsNumbers) {
    // Compared as stored (network order) integers, 2.0.0.1 would come before
    // 1.0.0.2 and port 256 before port 1.
    const InetDiagEntry entries[] = {
        Entry(AF_INET, "2.0.0.1", 1, "9.9.9.9", 9), Entry(AF_INET, "1.0.0.2", 256, "1.0.0.1", 1),
        Entry(AF_INET, "1.0.0.2", 1, "2.0.0.1", 1), Entry(AF_INET, "1.0.0.2", 1, "1.0.0.2", 256),
        Entry(AF_INET, "1.0.0.2", 1, "1.0.0.2", 1), Entry(AF_INET6, "::", 256, "::", 0, false),
    };
    EXPECT_EQ(
        Texts(platform::MakeTcpTable(entries, kNoOwners)),
        (std::vector<std::string>{"5 0.0.0.0:256 0.0.0.0:0 pid 0", "5 1.0.0.2:1 1.0.0.2:1 pid 0",
                                  "5 1.0.0.2:1 1.0.0.2:256 pid 0", "5 1.0.0.2:1 2.0.0.1:1 pid 0",
                                  "5 1.0.0.2:256 1.0.0.1:1 pid 0", "5 2.0.0.1:1 9.9.9.9:9 pid 0"}));
    EXPECT_EQ(
        Texts(platform::MakeUdpTable(entries, kNoOwners)),
        (std::vector<std::string>{"0.0.0.0:256 pid 0", "1.0.0.2:1 pid 0", "1.0.0.2:1 pid 0",
                                  "1.0.0.2:1 pid 0", "1.0.0.2:256 pid 0", "2.0.0.1:1 pid 0"}));
}

TEST(MakeTcpTable, StoresPortsInNetworkOrderInTheLow16Bits) {
    const InetDiagEntry entries[] = {Entry(AF_INET, "127.0.0.1", 80, "127.0.0.1", 8080)};
    const auto rows = platform::MakeTcpTable(entries, kNoOwners);
    ASSERT_EQ(rows.size(), 1u);
    uint8_t local[4], remote[4];
    std::memcpy(local, &rows[0].dwLocalPort, 4);
    std::memcpy(remote, &rows[0].dwRemotePort, 4);
    EXPECT_EQ(std::vector<uint8_t>(local, local + 4), (std::vector<uint8_t>{0x00, 0x50, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(remote, remote + 4), (std::vector<uint8_t>{0x1F, 0x90, 0, 0}));
}
