// The endpoint tables read from this machine's kernel, with sockets this test
// opens on loopback addresses only.

#include "SocketRows.h"
#include "platform/LinuxProcessApi.h"
#include "platform/LinuxSocketTables.h"

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    Fd(Fd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    ~Fd() { Close(); }
    void Close() {
        if (fd >= 0)
            close(std::exchange(fd, -1));
    }
};

sockaddr_in6 Address(int family, const char* text, uint16_t port) {
    sockaddr_in6 address{}; // large enough for either family
    if (family == AF_INET6) {
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(port);
        inet_pton(AF_INET6, text, &address.sin6_addr);
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(address);
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        inet_pton(AF_INET, text, &in.sin_addr);
    }
    return address;
}

// A socket bound to a port the kernel picks, listening when it is TCP;
// v6Only sets IPV6_V6ONLY unless it is -1.
Fd Open(int family, int type, const char* address, int v6Only = -1) {
    Fd socket(::socket(family, type | SOCK_CLOEXEC, 0));
    if (v6Only >= 0)
        setsockopt(socket.fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only);
    const sockaddr_in6 local = Address(family, address, 0);
    if (bind(socket.fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        (type == SOCK_STREAM && listen(socket.fd, 4) != 0))
        throw std::runtime_error(std::string("cannot bind ") + address);
    return socket;
}

Fd Connect(int family, const char* address, uint16_t port) {
    Fd socket(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in6 peer = Address(family, address, port);
    if (connect(socket.fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0)
        throw std::runtime_error("cannot connect");
    return socket;
}

uint16_t PortOf(const Fd& socket) {
    sockaddr_in6 name{};
    socklen_t length = sizeof name;
    getsockname(socket.fd, reinterpret_cast<sockaddr*>(&name), &length);
    return ntohs(name.sin6_port); // sin_port lies at the same offset
}

std::string At(uint32_t address, uint32_t portField) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &address, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(portField));
}

std::string At(const char* address, uint16_t port) {
    return std::string(address) + ":" + std::to_string(port);
}

// "state local remote pid" of every TCP row with this local or remote port,
// in text order.
std::vector<std::string> TcpRowsOn(uint16_t port) {
    const auto table = platform::LinuxSocketTables().GetExtendedTcpTable().value();
    std::vector<std::string> rows;
    for (const auto& row : table)
        if (ntohs(row.dwLocalPort) == port || ntohs(row.dwRemotePort) == port)
            rows.push_back(
                std::to_string(row.dwState) + " " + At(row.dwLocalAddr, row.dwLocalPort) + " " +
                At(row.dwRemoteAddr, row.dwRemotePort) + " " + std::to_string(row.dwOwningPid));
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<std::string> UdpRowsOn(uint16_t port) {
    const auto table = platform::LinuxSocketTables().GetExtendedUdpTable().value();
    std::vector<std::string> rows;
    for (const auto& row : table)
        if (ntohs(row.dwLocalPort) == port)
            rows.push_back(At(row.dwLocalAddr, row.dwLocalPort) + " " +
                           std::to_string(row.dwOwningPid));
    return rows;
}

const std::string kMe = std::to_string(getpid());

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

// A listener, then both ends of an IPv4 client's connection to it; a listener
// on :: without IPV6_V6ONLY takes IPv4 as 0.0.0.0.
TEST(LinuxSocketTables, ListsListenersAndBothEndsOfAConnectionWithTheirOwner) {
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface";
    const struct {
        int family;
        const char* address;
        int v6Only;
        const char* listedAs;
    } cases[] = {{AF_INET, "127.0.0.1", -1, "127.0.0.1"}, {AF_INET6, "::", 0, "0.0.0.0"}};
    for (const auto& c : cases) {
        const Fd listener = Open(c.family, SOCK_STREAM, c.address, c.v6Only);
        const uint16_t port = PortOf(listener);
        EXPECT_EQ(TcpRowsOn(port),
                  std::vector<std::string>{"2 " + At(c.listedAs, port) + " 0.0.0.0:0 " + kMe});
        const Fd client = Connect(AF_INET, "127.0.0.1", port);
        const Fd server(accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
        const std::string serverEnd = At("127.0.0.1", port);
        const std::string clientEnd = At("127.0.0.1", PortOf(client));
        std::vector<std::string> expected = {"2 " + At(c.listedAs, port) + " 0.0.0.0:0 " + kMe,
                                             "5 " + serverEnd + " " + clientEnd + " " + kMe,
                                             "5 " + clientEnd + " " + serverEnd + " " + kMe};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(TcpRowsOn(port), expected) << c.address;
    }
}

TEST(LinuxSocketTables, ListsUdpSocketsThatIpv4Reaches) {
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface";
    const Fd ipv4 = Open(AF_INET, SOCK_DGRAM, "127.0.0.1");
    const Fd dualStack = Open(AF_INET6, SOCK_DGRAM, "::", 0);
    EXPECT_EQ(UdpRowsOn(PortOf(ipv4)),
              std::vector<std::string>{At("127.0.0.1", PortOf(ipv4)) + " " + kMe});
    EXPECT_EQ(UdpRowsOn(PortOf(dualStack)),
              std::vector<std::string>{At("0.0.0.0", PortOf(dualStack)) + " " + kMe});
}

// Another process's row may share a port number; none may be ours.
TEST(LinuxSocketTables, NeverListsIpv6OnlySockets) {
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface";
    const Fd tcpV6Only = Open(AF_INET6, SOCK_STREAM, "::", 1);
    const Fd tcpLoopback = Open(AF_INET6, SOCK_STREAM, "::1");
    const Fd client = Connect(AF_INET6, "::1", PortOf(tcpLoopback));
    const Fd server(accept4(tcpLoopback.fd, nullptr, nullptr, SOCK_CLOEXEC));
    const Fd udpV6Only = Open(AF_INET6, SOCK_DGRAM, "::", 1);
    const Fd udpLoopback = Open(AF_INET6, SOCK_DGRAM, "::1");
    auto rows = TcpRowsOn(PortOf(tcpV6Only));
    for (const auto& more : {TcpRowsOn(PortOf(tcpLoopback)), UdpRowsOn(PortOf(udpV6Only)),
                             UdpRowsOn(PortOf(udpLoopback))})
        rows.insert(rows.end(), more.begin(), more.end());
    for (const auto& row : rows)
        EXPECT_FALSE(row.ends_with(" " + kMe)) << row;
}

// The end that closes first lingers in TIME_WAIT, held by no process.
TEST(LinuxSocketTables, ShowsNoOwnerForATimeWaitConnection) {
    const Fd listener = Open(AF_INET, SOCK_STREAM, "127.0.0.1");
    const uint16_t port = PortOf(listener);
    Fd client = Connect(AF_INET, "127.0.0.1", port);
    Fd server(accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    const std::string timeWait =
        "11 " + At("127.0.0.1", PortOf(client)) + " " + At("127.0.0.1", port) + " 0";
    client.Close();
    server.Close();
    std::vector<std::string> rows;
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
    const auto contains = [](const ListRows& rows, const std::vector<std::string>& cells) {
        return std::any_of(rows.begin(), rows.end(), [&](const ListRow& row) {
            std::vector<std::string> all{row.caption};
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
