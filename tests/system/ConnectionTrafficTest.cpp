// The rows and traffic of real loopback sockets, in a private network
// namespace of this test process, so no other socket of the machine is seen.

#include "lists/SocketRows.h"
#include "lists/TrafficCells.h"
#include "platform/LinuxProcessApi.h"
#include "platform/LinuxSocketTables.h"
#include "support/EventWait.h"
#include "support/Sockets.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace {

using Texts = std::multiset<std::string>;

constexpr int kSent = 70001, kReceived = 3333, kLate = 12345;

void Transfer(const Fd& from, const Fd& to, int bytes) {
    const std::string data(static_cast<size_t>(bytes), 'x');
    std::string got(data.size(), '\0');
    ASSERT_EQ(send(from.fd, data.data(), data.size(), 0), bytes);
    ASSERT_EQ(recv(to.fd, got.data(), got.size(), MSG_WAITALL), bytes);
}

// Each row's cells joined by spaces.
Texts RowTexts(const ListRows& rows) {
    Texts texts;
    for (const ListRow& row : rows) {
        std::string text = row.caption;
        for (const auto& cell : row.subItems)
            text += " " + cell;
        texts.insert(text);
    }
    return texts;
}

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

    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string me = std::to_string(getpid()) + " ";
    const std::string owner = std::filesystem::path(exe).filename().string() + " " + exe;
    EXPECT_EQ(RowTexts(BuildListenerRows(sockets, processes, ipv6)),
              Texts{me + any.substr(1) + "47030 " + owner});
    // Sent, Received and Rate, which a socket seen for the first time lacks.
    const Texts rows = {
        me + "TCP" + any + "47030 0.0.0.0 0 LISTEN " + owner + "   ",
        me + "TCP 127.0.0.1 47030 127.0.0.1 47031 Established " + owner + " 3333 70001 ",
        me + "TCP 127.0.0.1 47031 127.0.0.1 47030 Established " + owner + " 70001 3333 ",
        me + "UDP" + any + "47032 N/A N/A N/A " + owner + "   "};
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
