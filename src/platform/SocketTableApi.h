#pragma once

// The TCP and UDP endpoint tables with the owning process of each endpoint,
// in the layout of the tables the lists are built from.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// Addresses are in network byte order; a port field holds the port in network
// byte order in its low 16 bits. dwState is 1 to 12 (CLOSED .. DELETE_TCB);
// dwOwningPid is 0 where no owner was found.
struct MibTcpRowOwnerPid {
    uint32_t dwState = 0;
    uint32_t dwLocalAddr = 0;
    uint32_t dwLocalPort = 0;
    uint32_t dwRemoteAddr = 0;
    uint32_t dwRemotePort = 0;
    uint32_t dwOwningPid = 0;
};

struct MibUdpRowOwnerPid {
    uint32_t dwLocalAddr = 0;
    uint32_t dwLocalPort = 0;
    uint32_t dwOwningPid = 0;
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
};

struct MibUdp6RowOwnerPid {
    Ipv6Address ucLocalAddr{};
    uint32_t dwLocalPort = 0;
    uint32_t dwOwningPid = 0;
};

// Which tables one fetch reads; TCP always.
struct TableRequest {
    bool udp = false;
    bool ipv6 = false;
};

// Each table is one consistent snapshot, sorted by local address, local
// port, remote address, remote port; nullopt when it cannot be read or was
// not asked for.
struct EndpointTables {
    std::optional<std::vector<MibTcpRowOwnerPid>> tcp;
    std::optional<std::vector<MibUdpRowOwnerPid>> udp;
    std::optional<std::vector<MibTcp6RowOwnerPid>> tcp6;
    std::optional<std::vector<MibUdp6RowOwnerPid>> udp6;
};

// The lists read the tables from a worker thread as well as from the window
// thread, so a fetch may run on two threads at once.
class SocketTableApi {
  public:
    virtual ~SocketTableApi() = default;
    // The tables asked for, with the owners of all of them found in one pass.
    virtual EndpointTables GetEndpointTables(TableRequest request) = 0;
};

} // namespace platform
