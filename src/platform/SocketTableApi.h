#pragma once

// The TCP and UDP endpoint tables with the owning process of each endpoint,
// in the layout of the tables the lists are built from.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// The payload bytes a TCP socket has carried over its life, each byte once:
// retransmissions are not counted again.
struct TcpByteCounts {
    uint64_t sent = 0;
    uint64_t received = 0;
    bool operator==(const TcpByteCounts&) const = default;
};

// Addresses are in network byte order; a port field holds the port in network
// byte order in its low 16 bits. dwState is 1 to 12 (CLOSED .. DELETE_TCB);
// dwOwningPid is 0 where no owner was found; cgroupId is then the cgroup v2
// the socket was made in (its directory's inode), where the kernel says.
struct MibTcpRowOwnerPid {
    uint32_t dwState = 0;
    uint32_t dwLocalAddr = 0;
    uint32_t dwLocalPort = 0;
    uint32_t dwRemoteAddr = 0;
    uint32_t dwRemotePort = 0;
    uint32_t dwOwningPid = 0;
    // Asked for with TableRequest::traffic: the socket's id for its life, and
    // its counts where the kernel keeps them (not for listeners, TIME_WAIT
    // and SYN_RECV sockets).
    uint64_t cookie = 0;
    std::optional<TcpByteCounts> bytes{};
    uint64_t cgroupId = 0;
};

struct MibUdpRowOwnerPid {
    uint32_t dwLocalAddr = 0;
    uint32_t dwLocalPort = 0;
    uint32_t dwOwningPid = 0;
    uint64_t cgroupId = 0;
};

// The same for the IPv6 endpoints that IPv4 traffic does not reach.
using Ipv6Address = std::array<uint8_t, 16>;

struct MibTcp6RowOwnerPid {
    Ipv6Address ucLocalAddr{};
    uint32_t dwLocalPort = 0;
    Ipv6Address ucRemoteAddr{};
    uint32_t dwRemotePort = 0;
    uint32_t dwState = 0;
    uint32_t dwOwningPid = 0;
    uint64_t cookie = 0;
    std::optional<TcpByteCounts> bytes{};
    uint64_t cgroupId = 0;
};

struct MibUdp6RowOwnerPid {
    Ipv6Address ucLocalAddr{};
    uint32_t dwLocalPort = 0;
    uint32_t dwOwningPid = 0;
    uint64_t cgroupId = 0;
};

// Which tables one fetch reads; TCP always.
struct TableRequest {
    bool udp = false;
    bool ipv6 = false;
    bool traffic = false; // the TCP rows' cookies and byte counts
    // Also the sockets of the other network namespaces of the processes we
    // can see, such as containers'.
    bool otherNamespaces = false;
};

// Each table is one consistent snapshot, sorted by local address, local
// port, remote address, remote port; nullopt when it cannot be read or was
// not asked for.
struct EndpointTables {
    std::optional<std::vector<MibTcpRowOwnerPid>> tcp;
    std::optional<std::vector<MibUdpRowOwnerPid>> udp;
    std::optional<std::vector<MibTcp6RowOwnerPid>> tcp6;
    std::optional<std::vector<MibUdp6RowOwnerPid>> udp6;
    // When the TCP tables were read, for rates between two fetches.
    std::chrono::steady_clock::time_point takenAt{};
};

// The final counts of a TCP socket that was closed.
struct ClosedTcpSocket {
    uint64_t cookie = 0;
    TcpByteCounts bytes;
};

// What a watch on closed TCP sockets reports, from a thread of its own.
struct ClosedTcpReport {
    std::function<void(const std::vector<ClosedTcpSocket>&)> closed;
    // Some closed sockets were lost before they could be read.
    std::function<void()> overrun;
};

// Reports until it is destroyed; the destructor waits for the last report.
class ClosedTcpWatch {
  public:
    virtual ~ClosedTcpWatch() = default;
};

// The lists read the tables from a worker thread as well as from the window
// thread, so a fetch may run on two threads at once.
class SocketTableApi {
  public:
    virtual ~SocketTableApi() = default;
    // The tables asked for, with the owners of all of them found in one pass.
    virtual EndpointTables GetEndpointTables(TableRequest request) = 0;
    // Null where closed sockets cannot be watched: their counts then end at
    // the last fetch that saw them.
    virtual std::unique_ptr<ClosedTcpWatch> WatchClosedTcp(ClosedTcpReport) { return nullptr; }
};

} // namespace platform
