#pragma once

// The socket tables of a network namespace as /proc/PID/net/{tcp,tcp6,udp,
// udp6} show them (proc(5)), which any user may read for any process it can
// see: a pure parser, and the reader of every namespace but our own.

#include "SockDiagReader.h"

#include <string_view>
#include <vector>

namespace platform {

// The sockets of one such file, AF_INET for tcp and udp, AF_INET6 for tcp6
// and udp6, in the form a sock_diag dump gives them (no cookie, no
// IPV6_V6ONLY); lines that do not parse are passed over.
std::vector<sockdiag::InetDiagEntry> ParseProcNetSockets(std::string_view text, uint8_t family);

struct NamespaceSockets {
    std::vector<sockdiag::InetDiagEntry> tcp;
    std::vector<sockdiag::InetDiagEntry> udp;
};

// The sockets of every other network namespace that a process we can see
// is in, each namespace read once, through the first such process; their
// cgroupId is that process's.
NamespaceSockets OtherNamespaceSockets();

} // namespace platform
