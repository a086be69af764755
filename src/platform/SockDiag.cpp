#include "SockDiag.h"

#include <cerrno>
#include <linux/sock_diag.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::sockdiag {

static_assert(sizeof(DumpRequest) == NLMSG_LENGTH(sizeof(inet_diag_req_v2)),
              "the request is sent as it lies in memory");

namespace {

// A dump datagram is at most 32 KiB: netlink_dump sizes it by the reader's
// last buffer, capped there. A larger buffer never sees MSG_TRUNC.
constexpr size_t kReceiveBufferSize = 64 * 1024;

} // namespace

DumpRequest MakeDumpRequest(uint8_t family, uint8_t protocol, uint32_t states, uint32_t seq,
                            uint8_t extensions) {
    DumpRequest request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = seq;
    request.body.sdiag_family = family;
    request.body.sdiag_protocol = protocol;
    request.body.idiag_states = states;
    // The addresses, ports, state, inode, cookie and INET_DIAG_SKV6ONLY all
    // come without asking.
    request.body.idiag_ext = extensions;
    request.body.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    return request;
}

std::optional<SockDiagSocket> SockDiagSocket::Open() {
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return std::nullopt;
    // Binding to port id 0 lets the kernel choose one, which getsockname reads.
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    socklen_t length = sizeof local;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        length != sizeof local) {
        close(fd);
        return std::nullopt;
    }
    return SockDiagSocket(fd, local.nl_pid);
}

SockDiagSocket::SockDiagSocket(int fd, uint32_t portId)
    : fd_(fd), portId_(portId), buffer_(kReceiveBufferSize) {}

SockDiagSocket::SockDiagSocket(SockDiagSocket&& other) noexcept
    : fd_(other.fd_), portId_(other.portId_), buffer_(std::move(other.buffer_)) {
    other.fd_ = -1;
}

SockDiagSocket::~SockDiagSocket() {
    if (fd_ >= 0)
        close(fd_);
}

bool SockDiagSocket::Send(const DumpRequest& request) {
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = sendto(fd_, &request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&kernel),
                      sizeof kernel);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(sizeof request);
}

std::optional<std::span<const uint8_t>> SockDiagSocket::Receive() {
    for (;;) {
        sockaddr_nl sender{};
        iovec chunk{buffer_.data(), buffer_.size()};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &chunk;
        message.msg_iovlen = 1;
        const ssize_t got = recvmsg(fd_, &message, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || (message.msg_flags & MSG_TRUNC))
            return std::nullopt;
        // Another process may send to our port id; only the kernel (port 0)
        // answers dumps.
        if (message.msg_namelen != sizeof sender || sender.nl_pid != 0)
            continue;
        return std::span<const uint8_t>(buffer_.data(), static_cast<size_t>(got));
    }
}

bool SockDiagSocket::JoinGroup(uint32_t group) {
    // Bursts of closes queue here until the reader drains them. A buffer
    // larger than net.core.rmem_max needs CAP_NET_ADMIN; without it the
    // kernel's cap is the next best.
    const int bytes = 8 << 20;
    if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    const int number = static_cast<int>(group);
    return setsockopt(fd_, SOL_NETLINK, NETLINK_ADD_MEMBERSHIP, &number, sizeof number) == 0;
}

std::optional<std::vector<InetDiagEntry>> Dump(SockDiagSocket& socket, const DumpRequest& request) {
    if (!socket.Send(request))
        return std::nullopt;
    DumpReader reader(request.header.nlmsg_seq, socket.PortId());
    for (;;) {
        const auto datagram = socket.Receive();
        if (!datagram)
            return std::nullopt;
        const DumpStatus status = reader.Feed(*datagram);
        if (status == DumpStatus::Done)
            return reader.TakeEntries();
        if (status != DumpStatus::More)
            return std::nullopt;
    }
}

} // namespace platform::sockdiag
