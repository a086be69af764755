#pragma once

// The endpoint tables made from decoded sock_diag entries: which sockets IPv4
// traffic reaches and which only IPv6 does, their MIB TCP states, their
// owners and their order.

#include "SockDiagReader.h"
#include "SocketOwners.h"
#include "SocketTableApi.h"

#include <optional>
#include <span>
#include <vector>

namespace platform {

// The MIB TCP state (1 CLOSED .. 12 DELETE_TCB) of a kernel TCP state
// (TCP_ESTABLISHED .. TCP_NEW_SYN_RECV in the kernel's tcp_states.h); 0 for a
// state it does not know.
uint32_t MibTcpState(uint8_t kernelState);

// Both addresses of an endpoint, as IPv4 addresses in network byte order.
struct Ipv4Pair {
    uint32_t local = 0;
    uint32_t remote = 0;
    bool operator==(const Ipv4Pair&) const = default;
};

// The IPv4 view of a socket that IPv4 traffic reaches: an AF_INET socket, or
// an AF_INET6 socket with IPv4-mapped addresses (::ffff:a.b.c.d reads as
// a.b.c.d) or bound to :: without IPV6_V6ONLY (:: reads as 0.0.0.0).
// Nullopt for every other socket.
std::optional<Ipv4Pair> Ipv4Addresses(const sockdiag::InetDiagEntry& entry);

// The rows of the IPv4-reachable entries, sorted by local address, local port,
// remote address and remote port (then state and owner, so that the order is
// always the same).
std::vector<MibTcpRowOwnerPid> MakeTcpTable(std::span<const sockdiag::InetDiagEntry> entries,
                                            const SocketOwnerMap& owners);
// The same for UDP, sorted by local address and local port, then owner.
std::vector<MibUdpRowOwnerPid> MakeUdpTable(std::span<const sockdiag::InetDiagEntry> entries,
                                            const SocketOwnerMap& owners);

// The rows of the AF_INET6 entries that Ipv4Addresses passes over, in the
// same order, addresses compared byte by byte.
std::vector<MibTcp6RowOwnerPid> MakeTcp6Table(std::span<const sockdiag::InetDiagEntry> entries,
                                              const SocketOwnerMap& owners);
std::vector<MibUdp6RowOwnerPid> MakeUdp6Table(std::span<const sockdiag::InetDiagEntry> entries,
                                              const SocketOwnerMap& owners);

} // namespace platform
