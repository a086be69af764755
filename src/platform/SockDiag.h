#pragma once

// Dump requests to the kernel's socket tables over NETLINK_SOCK_DIAG
// (sock_diag(7)) and the socket they travel on. The replies are read by
// DumpReader.

#include "SockDiagReader.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <optional>
#include <span>
#include <vector>

namespace platform::sockdiag {

// The bytes of one request: a netlink header, then inet_diag_req_v2.
struct DumpRequest {
    nlmsghdr header;
    inet_diag_req_v2 body;
};

// idiag_states bits 1 to 12: every state the kernel reports a socket in
// (TCP_ESTABLISHED .. TCP_NEW_SYN_RECV). Bit 13 would add TCP sockets that are
// only bound, which are no endpoint yet.
constexpr uint32_t kEveryReportedState = ((1u << 13) - 1) & ~1u;

// The idiag_ext bit that asks for INET_DIAG_INFO (struct tcp_info of a TCP
// socket).
constexpr uint8_t kTcpInfo = 1 << (INET_DIAG_INFO - 1);

// A request for every socket of one family and protocol whose state is in
// the idiag_states bit mask (bit n set for state n), with the attributes of
// the idiag_ext bits.
DumpRequest MakeDumpRequest(uint8_t family, uint8_t protocol, uint32_t states, uint32_t seq,
                            uint8_t extensions = 0);

// A NETLINK_SOCK_DIAG socket, closed with the object.
class SockDiagSocket {
  public:
    // Nullopt when the socket cannot be opened or bound.
    static std::optional<SockDiagSocket> Open();
    SockDiagSocket(SockDiagSocket&& other) noexcept;
    SockDiagSocket& operator=(SockDiagSocket&&) = delete;
    ~SockDiagSocket();

    // The port id the kernel gave this socket; replies carry it in nlmsg_pid.
    uint32_t PortId() const { return portId_; }
    bool Send(const DumpRequest& request);
    // The next datagram the kernel sent, valid until the next call; nullopt
    // when receiving fails or the datagram did not fit (MSG_TRUNC).
    std::optional<std::span<const uint8_t>> Receive();
    // Joins a sock_diag multicast group (SKNLGRP_*), with room for bursts.
    bool JoinGroup(uint32_t group);
    int Fd() const { return fd_; }

  private:
    SockDiagSocket(int fd, uint32_t portId);

    int fd_;
    uint32_t portId_;
    std::vector<uint8_t> buffer_;
};

// The whole table of one request, or nullopt when any part of the exchange
// fails: never a part of a table.
std::optional<std::vector<InetDiagEntry>> Dump(SockDiagSocket& socket, const DumpRequest& request);

} // namespace platform::sockdiag
