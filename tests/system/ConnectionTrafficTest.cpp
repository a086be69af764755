// The traffic of real loopback connections, in a private network namespace of
// this test process, so no other socket of the machine is seen.

#include "lists/SocketRows.h"
#include "lists/TrafficCells.h"
#include "platform/LinuxProcessApi.h"
#include "platform/LinuxSocketTables.h"
#include "support/EventWait.h"
#include "support/Sockets.h"

#include <gtest/gtest.h>

namespace {

constexpr int kSent = 70001, kReceived = 3333, kLate = 12345;

void Transfer(const Fd& from, const Fd& to, int bytes) {
    const std::string data(static_cast<size_t>(bytes), 'x');
    std::string got(data.size(), '\0');
    ASSERT_EQ(send(from.fd, data.data(), data.size(), 0), bytes);
    ASSERT_EQ(recv(to.fd, got.data(), got.size(), MSG_WAITALL), bytes);
}

// The Sent, Received and Rate cells of the TCP row whose local port is port.
std::vector<std::string> TrafficOf(const ListRows& rows, const Fd& socket) {
    for (const ListRow& row : rows)
        if (row.column(1) == "TCP" && row.column(3) == std::to_string(PortOf(socket)))
            return {row.column(9), row.column(10), row.column(11)};
    return {};
}

} // namespace

// Exact counts of one connection, and bytes sent after the last fetch by
// connections that then closed, which only their close reports, in their
// process's total; a listener shows no counts. (Rates are the tracker's
// unit test's.)
TEST(ConnectionTraffic, CountsAndClosedConnectionsOfRealSockets) {
    if (!EnterPrivateNetwork())
        GTEST_SKIP() << "a private network namespace needs CAP_SYS_ADMIN and the ip command";
    platform::LinuxSocketTables sockets;
    platform::LinuxProcessApi processes;
    TrafficTracker tracker;
    const auto watch = sockets.WatchClosedTcp({[&](const auto& c) { tracker.Closed(c); }, [] {}});
    const auto fetch = [&] { return BuildConnectionRows(sockets, processes, false, &tracker); };
    fetch();
    const Fd listener = Open(AF_INET, SOCK_STREAM, "127.0.0.1");
    Fd client = Connect(AF_INET, "127.0.0.1", PortOf(listener));
    Fd server(accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    Transfer(client, server, kSent);
    Transfer(server, client, kReceived);
    ListRows rows = fetch();
    EXPECT_EQ(TrafficOf(rows, client), (std::vector<std::string>{"70001", "3333", ""}));
    EXPECT_EQ(TrafficOf(rows, listener), (std::vector<std::string>{"", "", ""}));

    Transfer(client, server, kLate);
    client.Close(), server.Close();
    // The kernel counts a FIN it received as a byte received, once per end.
    const uint64_t total = 2 * uint64_t{kSent + kReceived + kLate};
    ListRows me = {{std::to_string(getpid()), {}}};
    EXPECT_TRUE(WaitUntil([&] {
        me[0].subItems.clear();
        AddProcessTraffic(me, sockets, tracker);
        const uint64_t shown = std::stoull("0" + me[0].column(2));
        return shown >= total && shown <= total + 2;
    })) << me[0].column(2)
        << " of " << total;
}
