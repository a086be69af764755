#include "LinuxSocketTables.h"

#include "MibTables.h"
#include "SockDiag.h"
#include "SocketOwners.h"

#include <netinet/in.h>

namespace platform {

namespace {

// The AF_INET and AF_INET6 sockets of one protocol, or nullopt when either
// dump fails.
std::optional<std::vector<sockdiag::InetDiagEntry>> DumpBothFamilies(uint8_t protocol) {
    using namespace sockdiag;
    auto socket = SockDiagSocket::Open();
    if (!socket)
        return std::nullopt;
    auto entries = Dump(*socket, MakeDumpRequest(AF_INET, protocol, kEveryReportedState, 1));
    if (!entries)
        return std::nullopt;
    const auto ipv6 = Dump(*socket, MakeDumpRequest(AF_INET6, protocol, kEveryReportedState, 2));
    if (!ipv6)
        return std::nullopt;
    entries->insert(entries->end(), ipv6->begin(), ipv6->end());
    return entries;
}

} // namespace

// The owners are read after the dump, so every socket the dump saw that is
// still open is found.
std::optional<std::vector<MibTcpRowOwnerPid>> LinuxSocketTables::GetExtendedTcpTable() {
    const auto entries = DumpBothFamilies(IPPROTO_TCP);
    if (!entries)
        return std::nullopt;
    return MakeTcpTable(*entries, ScanSocketOwners());
}

std::optional<std::vector<MibUdpRowOwnerPid>> LinuxSocketTables::GetExtendedUdpTable() {
    const auto entries = DumpBothFamilies(IPPROTO_UDP);
    if (!entries)
        return std::nullopt;
    return MakeUdpTable(*entries, ScanSocketOwners());
}

} // namespace platform
