#pragma once

// The IPv4 TCP and UDP endpoint tables with the owning process of each
// endpoint, in the layout of the tables the lists are built from.

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

class SocketTableApi {
  public:
    virtual ~SocketTableApi() = default;
    // One consistent snapshot each, sorted by local address, local port,
    // remote address, remote port; nullopt when the table cannot be read.
    virtual std::optional<std::vector<MibTcpRowOwnerPid>> GetExtendedTcpTable() = 0;
    virtual std::optional<std::vector<MibUdpRowOwnerPid>> GetExtendedUdpTable() = 0;
};

} // namespace platform
