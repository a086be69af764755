// The endpoint tables read from this machine's kernel, with sockets this test
// opens on loopback addresses only.

#include "platform/LinuxSocketTables.h"

#include <arpa/inet.h>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    ~Fd() { Close(); }
    int get() const { return fd_; }
    void Close() {
        if (fd_ >= 0)
            close(std::exchange(fd_, -1));
    }

  private:
    int fd_;
};

// A socket bound to address on a port the kernel picks; v6Only sets
// IPV6_V6ONLY when not -1.
Fd Bound(int family, int type, const char* address, int v6Only = -1) {
    Fd fd(socket(family, type | SOCK_CLOEXEC, 0));
    if (fd.get() < 0)
        throw std::runtime_error("socket");
    if (v6Only >= 0)
        setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only);
    sockaddr_in6 any{};
    sockaddr_in in{};
    socklen_t length = 0;
    sockaddr* name = nullptr;
    if (family == AF_INET6) {
        any.sin6_family = AF_INET6;
        inet_pton(AF_INET6, address, &any.sin6_addr);
        name = reinterpret_cast<sockaddr*>(&any);
        length = sizeof any;
    } else {
        in.sin_family = AF_INET;
        inet_pton(AF_INET, address, &in.sin_addr);
        name = reinterpret_cast<sockaddr*>(&in);
        length = sizeof in;
    }
    if (bind(fd.get(), name, length) != 0)
        throw std::runtime_error(std::string("bind ") + address);
    return fd;
}

Fd Listening(int family, const char* address, int v6Only = -1) {
    Fd fd = Bound(family, SOCK_STREAM, address, v6Only);
    if (listen(fd.get(), 4) != 0)
        throw std::runtime_error("listen");
    return fd;
}

uint16_t PortOf(const Fd& fd) {
    sockaddr_storage name{};
    socklen_t length = sizeof name;
    getsockname(fd.get(), reinterpret_cast<sockaddr*>(&name), &length);
    return ntohs(name.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(name).sin6_port
                                            : reinterpret_cast<sockaddr_in&>(name).sin_port);
}

Fd ConnectedTo(int family, const char* address, uint16_t port) {
    Fd fd(socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_storage peer{};
    if (family == AF_INET6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(peer);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        inet_pton(AF_INET6, address, &in6.sin6_addr);
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(peer);
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        inet_pton(AF_INET, address, &in.sin_addr);
    }
    if (connect(fd.get(), reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0)
        throw std::runtime_error("connect");
    return fd;
}

Fd Accepted(const Fd& listener) {
    return Fd(accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
}

std::string Ipv4Text(uint32_t networkOrder) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &networkOrder, text, sizeof text);
    return text;
}

std::vector<std::string> Sorted(std::vector<std::string> texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

// "state local:port remote:port pid" of every TCP row on this port, in text order.
std::vector<std::string> TcpRowsOn(uint16_t port) {
    const auto table = platform::LinuxSocketTables().GetExtendedTcpTable();
    if (!table)
        throw std::runtime_error("no TCP table");
    std::vector<std::string> rows;
    for (const auto& row : *table)
        if (ntohs(row.dwLocalPort) == port || ntohs(row.dwRemotePort) == port)
            rows.push_back(
                std::to_string(row.dwState) + " " + Ipv4Text(row.dwLocalAddr) + ":" +
                std::to_string(ntohs(row.dwLocalPort)) + " " + Ipv4Text(row.dwRemoteAddr) + ":" +
                std::to_string(ntohs(row.dwRemotePort)) + " " + std::to_string(row.dwOwningPid));
    return Sorted(rows);
}

std::vector<std::string> UdpRowsOn(uint16_t port) {
    const auto table = platform::LinuxSocketTables().GetExtendedUdpTable();
    if (!table)
        throw std::runtime_error("no UDP table");
    std::vector<std::string> rows;
    for (const auto& row : *table)
        if (ntohs(row.dwLocalPort) == port)
            rows.push_back(Ipv4Text(row.dwLocalAddr) + ":" + std::to_string(port) + " " +
                           std::to_string(row.dwOwningPid));
    return rows;
}

std::string Me() {
    return std::to_string(getpid());
}

// Containers often run without IPv6 on the loopback interface.
bool HasIpv6Loopback() {
    try {
        Bound(AF_INET6, SOCK_STREAM, "::1");
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

std::string At(const char* address, uint16_t port) {
    return std::string(address) + ":" + std::to_string(port);
}

} // namespace

TEST(LinuxSocketTables, ListsAnIpv4ListenerAsListeningWithItsOwner) {
    const Fd listener = Listening(AF_INET, "127.0.0.1");
    const uint16_t port = PortOf(listener);
    EXPECT_EQ(TcpRowsOn(port),
              std::vector<std::string>{"2 " + At("127.0.0.1", port) + " 0.0.0.0:0 " + Me()});
}

TEST(LinuxSocketTables, ListsBothEndsOfALoopbackConnection) {
    const Fd listener = Listening(AF_INET, "127.0.0.1");
    const uint16_t port = PortOf(listener);
    const Fd client = ConnectedTo(AF_INET, "127.0.0.1", port);
    const Fd server = Accepted(listener);
    const uint16_t clientPort = PortOf(client);
    const std::string serverEnd = At("127.0.0.1", port), clientEnd = At("127.0.0.1", clientPort);
    EXPECT_EQ(TcpRowsOn(port), Sorted({"2 " + serverEnd + " 0.0.0.0:0 " + Me(),
                                       "5 " + serverEnd + " " + clientEnd + " " + Me(),
                                       "5 " + clientEnd + " " + serverEnd + " " + Me()}));
}

TEST(LinuxSocketTables, ListsADualStackListenerAndItsIpv4ConnectionAsIpv4) {
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface";
    const Fd listener = Listening(AF_INET6, "::", 0);
    const uint16_t port = PortOf(listener);
    const Fd client = ConnectedTo(AF_INET, "127.0.0.1", port);
    const Fd server = Accepted(listener);
    const std::string serverEnd = At("127.0.0.1", port),
                      clientEnd = At("127.0.0.1", PortOf(client));
    EXPECT_EQ(TcpRowsOn(port), Sorted({"2 " + At("0.0.0.0", port) + " 0.0.0.0:0 " + Me(),
                                       "5 " + serverEnd + " " + clientEnd + " " + Me(),
                                       "5 " + clientEnd + " " + serverEnd + " " + Me()}));
}

TEST(LinuxSocketTables, ListsUdpSocketsThatIpv4Reaches) {
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface";
    const struct {
        int family;
        const char* address;
        int v6Only;
        const char* shownAs;
    } cases[] = {{AF_INET, "127.0.0.1", -1, "127.0.0.1"}, {AF_INET6, "::", 0, "0.0.0.0"}};
    for (const auto& c : cases) {
        const Fd udp = Bound(c.family, SOCK_DGRAM, c.address, c.v6Only);
        const uint16_t port = PortOf(udp);
        EXPECT_EQ(UdpRowsOn(port), std::vector<std::string>{At(c.shownAs, port) + " " + Me()})
            << c.address;
    }
}

// A row of another process may share the port number; none may be ours.
TEST(LinuxSocketTables, NeverListsIpv6OnlySockets) {
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no IPv6 on the loopback interface";
    const struct {
        int type;
        const char* address;
        int v6Only;
    } cases[] = {{SOCK_STREAM, "::", 1},
                 {SOCK_STREAM, "::1", -1},
                 {SOCK_DGRAM, "::", 1},
                 {SOCK_DGRAM, "::1", -1}};
    for (const auto& c : cases) {
        const Fd fd = c.type == SOCK_STREAM ? Listening(AF_INET6, c.address, c.v6Only)
                                            : Bound(AF_INET6, SOCK_DGRAM, c.address, c.v6Only);
        const uint16_t port = PortOf(fd);
        for (const auto& row : c.type == SOCK_STREAM ? TcpRowsOn(port) : UdpRowsOn(port))
            EXPECT_FALSE(row.ends_with(" " + Me())) << c.address << " " << row;
    }
    const Fd listener = Listening(AF_INET6, "::1");
    const Fd client = ConnectedTo(AF_INET6, "::1", PortOf(listener));
    const Fd server = Accepted(listener);
    for (const auto& row : TcpRowsOn(PortOf(listener)))
        EXPECT_FALSE(row.ends_with(" " + Me())) << row;
}

// The end that closes first lingers in TIME_WAIT, held by no process.
TEST(LinuxSocketTables, ShowsNoOwnerForATimeWaitConnection) {
    const Fd listener = Listening(AF_INET, "127.0.0.1");
    const uint16_t port = PortOf(listener);
    Fd client = ConnectedTo(AF_INET, "127.0.0.1", port);
    Fd server = Accepted(listener);
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

TEST(LinuxSocketTables, KeepsTheTablesInAddressAndPortOrder) {
    const Fd listener = Listening(AF_INET, "127.0.0.1");
    const Fd client = ConnectedTo(AF_INET, "127.0.0.1", PortOf(listener));
    const Fd udp = Bound(AF_INET, SOCK_DGRAM, "127.0.0.1");
    platform::LinuxSocketTables tables;
    const auto tcp = tables.GetExtendedTcpTable();
    ASSERT_TRUE(tcp);
    EXPECT_TRUE(std::is_sorted(tcp->begin(), tcp->end(), [](const auto& a, const auto& b) {
        return std::make_tuple(ntohl(a.dwLocalAddr), ntohs(a.dwLocalPort), ntohl(a.dwRemoteAddr),
                               ntohs(a.dwRemotePort)) <
               std::make_tuple(ntohl(b.dwLocalAddr), ntohs(b.dwLocalPort), ntohl(b.dwRemoteAddr),
                               ntohs(b.dwRemotePort));
    }));
    const auto udpTable = tables.GetExtendedUdpTable();
    ASSERT_TRUE(udpTable);
    EXPECT_TRUE(
        std::is_sorted(udpTable->begin(), udpTable->end(), [](const auto& a, const auto& b) {
            return std::make_pair(ntohl(a.dwLocalAddr), ntohs(a.dwLocalPort)) <
                   std::make_pair(ntohl(b.dwLocalAddr), ntohs(b.dwLocalPort));
        }));
}
