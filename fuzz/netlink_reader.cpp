// The sock_diag dump reader on any datagrams, the reader of closed-socket
// announcements on each of them, and the tables made from what they read.
//
// Input: the request's nlmsg_seq and port id (4 bytes each, host order), then
// datagrams, each a 2-byte length (host order) and its bytes; the last one
// takes what is left.

#include "platform/MibTables.h"
#include "platform/SockDiagReader.h"

#include <cstdint>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <span>

using namespace platform;
using namespace platform::sockdiag;

namespace {

void Check(bool holds) {
    if (!holds)
        __builtin_trap();
}

template <typename T> T Take(std::span<const uint8_t>& bytes) {
    T value{};
    std::memcpy(&value, bytes.data(), sizeof value);
    bytes = bytes.subspan(sizeof value);
    return value;
}

// Each datagram in a buffer of its own size, so a read past it is caught.
void FeedAll(DumpReader& reader, std::span<const uint8_t> bytes) {
    DumpStatus status = DumpStatus::More;
    while (!bytes.empty()) {
        size_t length = bytes.size();
        if (bytes.size() >= sizeof(uint16_t))
            length = std::min<size_t>(Take<uint16_t>(bytes), bytes.size());
        const std::vector<uint8_t> datagram(bytes.begin(), bytes.begin() + length);
        bytes = bytes.subspan(length);
        // Each announced socket takes a whole message.
        Check(ReadBroadcast(datagram).size() <= length / (NLMSG_HDRLEN + sizeof(inet_diag_msg)));
        const DumpStatus previous = status;
        status = reader.Feed(datagram);
        // Every status but More is final.
        Check(previous == DumpStatus::More || status == previous);
    }
}

void CheckTables(const std::vector<InetDiagEntry>& entries) {
    const SocketOwnerMap owners({});
    const auto tcp = MakeTcpTable(entries, owners);
    const auto udp = MakeUdpTable(entries, owners);
    // No socket is both an IPv4 and an IPv6 row.
    Check(tcp.size() + MakeTcp6Table(entries, owners).size() <= entries.size() &&
          udp.size() + MakeUdp6Table(entries, owners).size() <= entries.size());
    for (const auto& row : tcp)
        Check(row.dwState <= 12 && row.dwLocalPort <= 0xFFFF && row.dwRemotePort <= 0xFFFF);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    if (bytes.size() < 2 * sizeof(uint32_t))
        return 0;
    const auto seq = Take<uint32_t>(bytes);
    const auto portId = Take<uint32_t>(bytes);
    DumpReader reader(seq, portId);
    FeedAll(reader, bytes);
    CheckTables(reader.TakeEntries());
    return 0;
}
