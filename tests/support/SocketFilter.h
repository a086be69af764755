#pragma once

// Runs a classic BPF program in the kernel without any privilege: attached
// to one end of a UNIX datagram socket pair, it filters what the other end
// sends, reading each datagram from its first byte as the capture's filter
// reads a packet from its IP header. Shared by the decoder's table test and
// the kernel filter's fuzz target.

#include <cstdint>
#include <linux/filter.h>
#include <span>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// The number of bytes of the datagram the filter let through, -1 when it
// dropped it, or -2, which no caller expects, when the kernel refused the
// socket pair, the filter or the datagram.
inline ssize_t ThroughSocketFilter(const std::vector<sock_filter>& program,
                                   std::span<const uint8_t> data) {
    int ends[2] = {-1, -1};
    socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends);
    sock_fprog attached{static_cast<unsigned short>(program.size()),
                        const_cast<sock_filter*>(program.data())};
    ssize_t received = -2;
    std::vector<uint8_t> buffer(data.size() + 1);
    // A dropped datagram still counts as sent; nothing is then queued.
    if (setsockopt(ends[1], SOL_SOCKET, SO_ATTACH_FILTER, &attached, sizeof attached) == 0 &&
        send(ends[0], data.data(), data.size(), 0) == std::ssize(data))
        received = recv(ends[1], buffer.data(), buffer.size(), MSG_DONTWAIT);
    close(ends[0]);
    close(ends[1]);
    return received;
}
