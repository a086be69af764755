#include "LinuxSocketTables.h"

#include "MibTables.h"
#include "ProcNetSockets.h"
#include "SockDiag.h"
#include "SocketOwners.h"
#include "TcpCloseWatch.h"

#include <netinet/in.h>

namespace platform {

namespace {

using sockdiag::InetDiagEntry;
using Entries = std::optional<std::vector<InetDiagEntry>>;

// The sockets of one protocol, per address family; nullopt where a dump failed.
struct ProtocolDumps {
    Entries ipv4;
    Entries ipv6;
};

// A socket of its own per protocol: a dump that fails part way leaves the
// rest of its reply queued, and the kernel refuses the socket another dump
// until that is read.
ProtocolDumps DumpProtocol(uint8_t protocol, uint8_t extensions = 0) {
    using namespace sockdiag;
    ProtocolDumps dumps;
    auto socket = SockDiagSocket::Open();
    if (!socket)
        return dumps;
    dumps.ipv4 =
        Dump(*socket, MakeDumpRequest(AF_INET, protocol, kEveryReportedState, 1, extensions));
    if (dumps.ipv4)
        dumps.ipv6 =
            Dump(*socket, MakeDumpRequest(AF_INET6, protocol, kEveryReportedState, 2, extensions));
    return dumps;
}

// Both families' sockets, since IPv4 reaches some AF_INET6 sockets too;
// nullopt unless both dumps were read.
Entries Ipv4Candidates(const ProtocolDumps& dumps) {
    if (!dumps.ipv4 || !dumps.ipv6)
        return std::nullopt;
    Entries both = dumps.ipv4;
    both->insert(both->end(), dumps.ipv6->begin(), dumps.ipv6->end());
    return both;
}

// Other namespaces' sockets join a table that was read; each family's
// kind of row is then chosen from them as from our own.
void AddOthers(ProtocolDumps& dumps, const std::vector<InetDiagEntry>& others) {
    for (const InetDiagEntry& entry : others) {
        Entries& family = entry.family == AF_INET ? dumps.ipv4 : dumps.ipv6;
        if (family)
            family->push_back(entry);
    }
}

} // namespace

// The owners are read after the dumps, so every socket the dumps saw that is
// still open is found.
EndpointTables LinuxSocketTables::GetEndpointTables(TableRequest request) {
    ProtocolDumps tcp =
        DumpProtocol(IPPROTO_TCP, request.traffic ? sockdiag::kTcpInfo : uint8_t{0});
    const auto tcpTakenAt = std::chrono::steady_clock::now();
    ProtocolDumps udp = request.udp ? DumpProtocol(IPPROTO_UDP) : ProtocolDumps{};
    if (request.otherNamespaces) {
        const NamespaceSockets others = OtherNamespaceSockets();
        AddOthers(tcp, others.tcp);
        AddOthers(udp, others.udp);
    }
    const SocketOwnerMap owners = ScanSocketOwners();
    EndpointTables tables;
    tables.takenAt = tcpTakenAt;
    if (const Entries entries = Ipv4Candidates(tcp))
        tables.tcp = MakeTcpTable(*entries, owners);
    if (const Entries entries = Ipv4Candidates(udp))
        tables.udp = MakeUdpTable(*entries, owners);
    if (request.ipv6 && tcp.ipv6)
        tables.tcp6 = MakeTcp6Table(*tcp.ipv6, owners);
    if (request.ipv6 && udp.ipv6)
        tables.udp6 = MakeUdp6Table(*udp.ipv6, owners);
    return tables;
}

std::unique_ptr<ClosedTcpWatch> LinuxSocketTables::WatchClosedTcp(ClosedTcpReport report) {
    return WatchClosedTcpSockets(std::move(report));
}

} // namespace platform
