#pragma once

// The reader of a NETLINK_SOCK_DIAG dump reply (sock_diag(7)): received
// datagrams in, decoded inet_diag_msg values out. It does no I/O, so recorded
// and crafted replies can be fed to it, and it checks every length before it
// reads a byte.

#include "SocketTableApi.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform::sockdiag {

// One inet_diag_msg with the attributes the tables need.
struct InetDiagEntry {
    uint8_t family = 0;                   // idiag_family: AF_INET or AF_INET6
    uint8_t state = 0;                    // idiag_state: a kernel TCP state (tcp_states.h)
    uint16_t localPort = 0;               // idiag_sport, in host order
    uint16_t remotePort = 0;              // idiag_dport, in host order
    std::array<uint8_t, 16> localAddr{};  // idiag_src as sent; IPv4 uses the first 4 bytes
    std::array<uint8_t, 16> remoteAddr{}; // idiag_dst as sent
    uint32_t inode = 0;                   // idiag_inode; 0 for TIME_WAIT and request sockets
    // INET_DIAG_SKV6ONLY; the kernel sends it for AF_INET6 sockets in LISTEN or
    // CLOSE only, so it is unknown for every other socket.
    std::optional<bool> v6Only{};
    uint64_t cookie = 0; // idiag_cookie: the socket's id for its life
    // From INET_DIAG_INFO (struct tcp_info), which comes only when asked for.
    std::optional<TcpByteCounts> bytes{};
    // INET_DIAG_CGROUP_ID (Linux 5.8+): the cgroup v2 the socket was made
    // in, as its directory's inode; 0 where the kernel does not say.
    uint64_t cgroupId = 0;

    bool operator==(const InetDiagEntry&) const = default;
};

enum class DumpStatus {
    More,        // the dump goes on in the next datagram
    Done,        // NLMSG_DONE reached: the entries are the whole table
    KernelError, // NLMSG_ERROR, or NLMSG_DONE carrying a negative error
    Interrupted, // NLM_F_DUMP_INTR: the table changed under the dump
    Malformed,   // a length that does not add up
};

// Reads the replies to one dump request. Messages of another request (other
// nlmsg_seq or nlmsg_pid) are passed over; everything else either adds an
// entry or ends the dump.
// The counts of a tcp_info as the kernel sent it: a shorter one from an older
// kernel reads as zero past its end, and a longer one from a newer kernel is
// read as far as this build knows it.
TcpByteCounts TcpInfoCounts(std::span<const uint8_t> tcpInfo);

// The sockets announced in one datagram from a sock_diag multicast group
// (the closed-socket groups): every whole SOCK_DIAG_BY_FAMILY message up to
// the first one that does not add up.
std::vector<InetDiagEntry> ReadBroadcast(std::span<const uint8_t> datagram);

class DumpReader {
  public:
    DumpReader(uint32_t seq, uint32_t portId) : seq_(seq), portId_(portId) {}

    // Reads one received datagram. Every status but More is final: later
    // datagrams are ignored.
    DumpStatus Feed(std::span<const uint8_t> datagram);

    // The error the kernel sent (a negative errno, or 0 for a bare
    // NLMSG_ERROR), once Feed has returned KernelError.
    int KernelError() const { return kernelError_; }
    // The entries read so far: the whole table only once Feed has returned Done.
    std::vector<InetDiagEntry> TakeEntries() { return std::move(entries_); }

  private:
    DumpStatus ReadMessage(uint16_t type, uint16_t flags, std::span<const uint8_t> payload);
    DumpStatus ReadDone(std::span<const uint8_t> payload);
    DumpStatus ReadError(std::span<const uint8_t> payload);

    uint32_t seq_;
    uint32_t portId_;
    DumpStatus status_ = DumpStatus::More;
    int kernelError_ = 0;
    std::vector<InetDiagEntry> entries_;
};

} // namespace platform::sockdiag
