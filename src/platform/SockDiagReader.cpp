#include "SockDiagReader.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstddef>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>

namespace platform::sockdiag {

namespace {

// Netlink messages and attributes start on 4-byte boundaries.
size_t Align4(size_t length) {
    return (length + 3) & ~size_t{3};
}

// A plain struct copied out of bytes at offset, or nullopt when it does not
// fit: the one place where received bytes become values.
template <typename T> std::optional<T> CopyOut(std::span<const uint8_t> bytes, size_t offset = 0) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
        return std::nullopt;
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// The span after its first `length` bytes, aligned; a last item need not carry
// its padding.
std::span<const uint8_t> After(std::span<const uint8_t> bytes, size_t length) {
    return bytes.subspan(std::min(Align4(length), bytes.size()));
}

// The rtattr-style attributes after inet_diag_msg; false when one overruns.
bool ReadAttributes(std::span<const uint8_t> attrs, InetDiagEntry& entry) {
    while (!attrs.empty()) {
        const auto attr = CopyOut<nlattr>(attrs);
        if (!attr || attr->nla_len < NLA_HDRLEN || attr->nla_len > attrs.size())
            return false;
        const auto value = attrs.subspan(NLA_HDRLEN, attr->nla_len - NLA_HDRLEN);
        const int type = attr->nla_type & NLA_TYPE_MASK;
        if (type == INET_DIAG_SKV6ONLY) {
            const auto flag = CopyOut<uint8_t>(value);
            if (!flag)
                return false;
            entry.v6Only = *flag != 0;
        } else if (type == INET_DIAG_INFO) {
            entry.bytes = TcpInfoCounts(value);
        } else if (type == INET_DIAG_CGROUP_ID) {
            const auto id = CopyOut<uint64_t>(value);
            if (!id)
                return false;
            entry.cgroupId = *id;
        }
        attrs = After(attrs, attr->nla_len);
    }
    return true;
}

std::optional<InetDiagEntry> DecodeEntry(std::span<const uint8_t> payload) {
    const auto msg = CopyOut<inet_diag_msg>(payload);
    if (!msg)
        return std::nullopt;
    InetDiagEntry entry;
    entry.family = msg->idiag_family;
    entry.state = msg->idiag_state;
    entry.localPort = ntohs(msg->id.idiag_sport);
    entry.remotePort = ntohs(msg->id.idiag_dport);
    std::memcpy(entry.localAddr.data(), msg->id.idiag_src, entry.localAddr.size());
    std::memcpy(entry.remoteAddr.data(), msg->id.idiag_dst, entry.remoteAddr.size());
    entry.inode = msg->idiag_inode;
    entry.cookie = msg->id.idiag_cookie[0] | uint64_t{msg->id.idiag_cookie[1]} << 32;
    if (!ReadAttributes(After(payload, sizeof(inet_diag_msg)), entry))
        return std::nullopt;
    return entry;
}

} // namespace

// Sent bytes less retransmitted ones where the kernel counts both (4.19 on),
// else the bytes the peer acknowledged (4.1 on), as ss reads them.
TcpByteCounts TcpInfoCounts(std::span<const uint8_t> tcpInfo) {
    tcp_info info{};
    if (!tcpInfo.empty())
        std::memcpy(&info, tcpInfo.data(), std::min(tcpInfo.size(), sizeof info));
    constexpr size_t retransEnd = offsetof(tcp_info, tcpi_bytes_retrans) + sizeof(uint64_t);
    TcpByteCounts counts{info.tcpi_bytes_acked, info.tcpi_bytes_received};
    if (tcpInfo.size() >= retransEnd && info.tcpi_bytes_sent >= info.tcpi_bytes_retrans)
        counts.sent = info.tcpi_bytes_sent - info.tcpi_bytes_retrans;
    return counts;
}

std::vector<InetDiagEntry> ReadBroadcast(std::span<const uint8_t> datagram) {
    std::vector<InetDiagEntry> entries;
    while (!datagram.empty()) {
        const auto header = CopyOut<nlmsghdr>(datagram);
        if (!header || header->nlmsg_len < NLMSG_HDRLEN || header->nlmsg_len > datagram.size())
            break;
        const auto payload = datagram.subspan(NLMSG_HDRLEN, header->nlmsg_len - NLMSG_HDRLEN);
        datagram = After(datagram, header->nlmsg_len);
        if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY)
            continue;
        const auto entry = DecodeEntry(payload);
        if (!entry)
            break;
        entries.push_back(*entry);
    }
    return entries;
}

DumpStatus DumpReader::Feed(std::span<const uint8_t> datagram) {
    if (status_ != DumpStatus::More)
        return status_;
    // A netlink socket never delivers an empty datagram from the kernel.
    if (datagram.empty())
        return status_ = DumpStatus::Malformed;
    while (!datagram.empty() && status_ == DumpStatus::More) {
        const auto header = CopyOut<nlmsghdr>(datagram);
        if (!header || header->nlmsg_len < NLMSG_HDRLEN || header->nlmsg_len > datagram.size())
            return status_ = DumpStatus::Malformed;
        const auto payload = datagram.subspan(NLMSG_HDRLEN, header->nlmsg_len - NLMSG_HDRLEN);
        datagram = After(datagram, header->nlmsg_len);
        if (header->nlmsg_seq == seq_ && header->nlmsg_pid == portId_)
            status_ = ReadMessage(header->nlmsg_type, header->nlmsg_flags, payload);
    }
    return status_;
}

DumpStatus DumpReader::ReadMessage(uint16_t type, uint16_t flags,
                                   std::span<const uint8_t> payload) {
    if (flags & NLM_F_DUMP_INTR)
        return DumpStatus::Interrupted;
    switch (type) {
    case NLMSG_DONE:
        return ReadDone(payload);
    case NLMSG_ERROR:
        return ReadError(payload);
    case SOCK_DIAG_BY_FAMILY:
        if (const auto entry = DecodeEntry(payload)) {
            entries_.push_back(*entry);
            return DumpStatus::More;
        }
        return DumpStatus::Malformed;
    default: // NLMSG_NOOP and kinds a dump does not carry
        return DumpStatus::More;
    }
}

// NLMSG_DONE carries the dump's result: 0, or a negative errno when the
// kernel stopped part way.
DumpStatus DumpReader::ReadDone(std::span<const uint8_t> payload) {
    const auto result = CopyOut<int32_t>(payload);
    if (!result)
        return DumpStatus::Malformed;
    if (*result >= 0)
        return DumpStatus::Done;
    kernelError_ = *result;
    return DumpStatus::KernelError;
}

// nlmsgerr.error; a dump request asks for no acknowledgement, so even an
// error of 0 means the kernel did not dump.
DumpStatus DumpReader::ReadError(std::span<const uint8_t> payload) {
    const auto error = CopyOut<int32_t>(payload);
    if (!error)
        return DumpStatus::Malformed;
    kernelError_ = *error;
    return DumpStatus::KernelError;
}

} // namespace platform::sockdiag
