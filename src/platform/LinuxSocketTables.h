#pragma once

#include "SocketTableApi.h"

namespace platform {

// The endpoint tables on Linux: one NETLINK_SOCK_DIAG dump per protocol and
// address family (AF_INET6 also for the sockets IPv4 reaches through it),
// then the owners of them all from one walk of /proc/*/fd.
class LinuxSocketTables : public SocketTableApi {
  public:
    EndpointTables GetEndpointTables(TableRequest request) override;
    std::unique_ptr<ClosedTcpWatch> WatchClosedTcp(ClosedTcpReport report) override;
};

} // namespace platform
