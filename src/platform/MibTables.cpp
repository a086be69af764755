#include "MibTables.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cstring>
#include <tuple>

namespace platform {

using sockdiag::InetDiagEntry;

uint32_t MibTcpState(uint8_t kernelState) {
    // Indexed by the kernel state. TCP_NEW_SYN_RECV (12) marks request
    // sockets, which sock_diag reports as TCP_SYN_RECV already.
    static constexpr std::array<uint8_t, 13> mib = {
        0,  // no state 0
        5,  // TCP_ESTABLISHED
        3,  // TCP_SYN_SENT
        4,  // TCP_SYN_RECV
        6,  // TCP_FIN_WAIT1
        7,  // TCP_FIN_WAIT2
        11, // TCP_TIME_WAIT
        1,  // TCP_CLOSE
        8,  // TCP_CLOSE_WAIT
        10, // TCP_LAST_ACK
        2,  // TCP_LISTEN
        9,  // TCP_CLOSING
        4,  // TCP_NEW_SYN_RECV
    };
    return kernelState < mib.size() ? mib[kernelState] : 0;
}

namespace {

constexpr uint8_t kKernelListen = 10; // TCP_LISTEN

// A listener carries no traffic of its own; the kernel counts its accepted
// connections' bytes on them.
std::optional<TcpByteCounts> TrafficOf(const InetDiagEntry& entry) {
    return entry.state == kKernelListen ? std::nullopt : entry.bytes;
}

enum class Ipv6Kind { Unspecified, Ipv4Mapped, Other };

using Address = std::array<uint8_t, 16>;

Ipv6Kind Classify(const Address& address) {
    const bool zeroPrefix =
        std::all_of(address.begin(), address.begin() + 10, [](uint8_t byte) { return byte == 0; });
    if (zeroPrefix && address[10] == 0xff && address[11] == 0xff)
        return Ipv6Kind::Ipv4Mapped;
    if (std::all_of(address.begin(), address.end(), [](uint8_t byte) { return byte == 0; }))
        return Ipv6Kind::Unspecified;
    return Ipv6Kind::Other;
}

// The 4 bytes at offset, kept in network order.
uint32_t Ipv4At(const Address& address, size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, address.data() + offset, sizeof value);
    return value;
}

// The last 4 bytes of a mapped address; 0.0.0.0 for ::.
uint32_t Ipv4Of(const Address& address, Ipv6Kind kind) {
    return kind == Ipv6Kind::Ipv4Mapped ? Ipv4At(address, 12) : 0;
}

// The table order: rows by key, a tuple of the row's numbers in host order.
template <typename Row, typename Key> std::vector<Row> SortedBy(std::vector<Row> rows, Key key) {
    std::sort(rows.begin(), rows.end(),
              [&key](const Row& a, const Row& b) { return key(a) < key(b); });
    return rows;
}

} // namespace

std::optional<Ipv4Pair> Ipv4Addresses(const InetDiagEntry& entry) {
    if (entry.family == AF_INET)
        return Ipv4Pair{Ipv4At(entry.localAddr, 0), Ipv4At(entry.remoteAddr, 0)};
    if (entry.family != AF_INET6)
        return std::nullopt;
    const Ipv6Kind local = Classify(entry.localAddr);
    const Ipv6Kind remote = Classify(entry.remoteAddr);
    if (local == Ipv6Kind::Other || remote == Ipv6Kind::Other)
        return std::nullopt;
    // A socket on :: with no peer takes IPv4 only without IPV6_V6ONLY; the
    // kernel reports the option for exactly these sockets, and a socket for
    // which it is missing is not known to take IPv4.
    if (local == Ipv6Kind::Unspecified && remote == Ipv6Kind::Unspecified && entry.v6Only != false)
        return std::nullopt;
    return Ipv4Pair{Ipv4Of(entry.localAddr, local), Ipv4Of(entry.remoteAddr, remote)};
}

std::vector<MibTcpRowOwnerPid> MakeTcpTable(std::span<const InetDiagEntry> entries,
                                            const SocketOwnerMap& owners) {
    std::vector<MibTcpRowOwnerPid> rows;
    rows.reserve(entries.size());
    for (const auto& entry : entries)
        if (const auto addresses = Ipv4Addresses(entry))
            rows.push_back({MibTcpState(entry.state), addresses->local, htons(entry.localPort),
                            addresses->remote, htons(entry.remotePort), owners.OwnerOf(entry.inode),
                            entry.cookie, TrafficOf(entry), entry.cgroupId});
    // Addresses and ports compare as numbers, in host order.
    const auto key = [](const MibTcpRowOwnerPid& row) {
        return std::make_tuple(ntohl(row.dwLocalAddr), ntohs(row.dwLocalPort),
                               ntohl(row.dwRemoteAddr), ntohs(row.dwRemotePort), row.dwState,
                               row.dwOwningPid);
    };
    return SortedBy(std::move(rows), key);
}

std::vector<MibUdpRowOwnerPid> MakeUdpTable(std::span<const InetDiagEntry> entries,
                                            const SocketOwnerMap& owners) {
    std::vector<MibUdpRowOwnerPid> rows;
    rows.reserve(entries.size());
    for (const auto& entry : entries)
        if (const auto addresses = Ipv4Addresses(entry))
            rows.push_back({addresses->local, htons(entry.localPort), owners.OwnerOf(entry.inode),
                            entry.cgroupId});
    const auto key = [](const MibUdpRowOwnerPid& row) {
        return std::make_tuple(ntohl(row.dwLocalAddr), ntohs(row.dwLocalPort), row.dwOwningPid);
    };
    return SortedBy(std::move(rows), key);
}

namespace {

bool Ipv6Only(const InetDiagEntry& entry) {
    return entry.family == AF_INET6 && !Ipv4Addresses(entry);
}

} // namespace

std::vector<MibTcp6RowOwnerPid> MakeTcp6Table(std::span<const InetDiagEntry> entries,
                                              const SocketOwnerMap& owners) {
    std::vector<MibTcp6RowOwnerPid> rows;
    for (const auto& entry : entries)
        if (Ipv6Only(entry))
            rows.push_back({entry.localAddr, htons(entry.localPort), entry.remoteAddr,
                            htons(entry.remotePort), MibTcpState(entry.state),
                            owners.OwnerOf(entry.inode), entry.cookie, TrafficOf(entry),
                            entry.cgroupId});
    const auto key = [](const MibTcp6RowOwnerPid& row) {
        return std::make_tuple(row.ucLocalAddr, ntohs(row.dwLocalPort), row.ucRemoteAddr,
                               ntohs(row.dwRemotePort), row.dwState, row.dwOwningPid);
    };
    return SortedBy(std::move(rows), key);
}

std::vector<MibUdp6RowOwnerPid> MakeUdp6Table(std::span<const InetDiagEntry> entries,
                                              const SocketOwnerMap& owners) {
    std::vector<MibUdp6RowOwnerPid> rows;
    for (const auto& entry : entries)
        if (Ipv6Only(entry))
            rows.push_back({entry.localAddr, htons(entry.localPort), owners.OwnerOf(entry.inode),
                            entry.cgroupId});
    const auto key = [](const MibUdp6RowOwnerPid& row) {
        return std::make_tuple(row.ucLocalAddr, ntohs(row.dwLocalPort), row.dwOwningPid);
    };
    return SortedBy(std::move(rows), key);
}

} // namespace platform
