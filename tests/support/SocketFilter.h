#pragma once

// Runs a classic BPF program in the kernel without any privilege: attached
// to one end of a UNIX datagram socket pair, it filters what the other end
// sends, reading each datagram from its first byte as the capture's filter
// reads a packet from its IP header.

#include <linux/filter.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// The number of bytes of the datagram the filter let through, or -1 when it
// dropped it.
inline ssize_t ThroughSocketFilter(const std::vector<sock_filter>& program, const uint8_t* data,
                                   size_t size) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::runtime_error("no socket pair");
    sock_fprog attached{static_cast<unsigned short>(program.size()),
                        const_cast<sock_filter*>(program.data())};
    ssize_t received = -2;
    std::vector<uint8_t> buffer(size + 1);
    // A dropped datagram still counts as sent; nothing is then queued.
    if (setsockopt(ends[1], SOL_SOCKET, SO_ATTACH_FILTER, &attached, sizeof attached) == 0 &&
        send(ends[0], data, size, 0) == static_cast<ssize_t>(size))
        received = recv(ends[1], buffer.data(), buffer.size(), MSG_DONTWAIT);
    close(ends[0]);
    close(ends[1]);
    if (received < -1)
        throw std::runtime_error("the kernel refused the filter or the datagram");
    return received;
}
