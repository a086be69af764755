#pragma once

#include "SocketTableApi.h"

namespace platform {

// The endpoint tables on Linux: one NETLINK_SOCK_DIAG dump per address family
// (AF_INET, and AF_INET6 for the sockets IPv4 reaches through it), owners from
// one walk of /proc/*/fd per table.
class LinuxSocketTables : public SocketTableApi {
  public:
    std::optional<std::vector<MibTcpRowOwnerPid>> GetExtendedTcpTable() override;
    std::optional<std::vector<MibUdpRowOwnerPid>> GetExtendedUdpTable() override;
};

} // namespace platform
