#pragma once

#include "SocketTableApi.h"

#include <memory>

namespace platform {

// Listens on the sock_diag groups that announce every closed TCP socket of
// this network namespace, IPv4 and IPv6, with its final tcp_info; the kernel
// lets any user listen. Reports come from a thread of the watch's own, in
// batches of what one wake-up read. Null when the groups cannot be joined.
std::unique_ptr<ClosedTcpWatch> WatchClosedTcpSockets(ClosedTcpReport report);

} // namespace platform
