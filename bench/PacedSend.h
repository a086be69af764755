#pragma once

// The pacing of the capture benchmarks' senders: in 1 ms steps, each step
// sends what the rate owes so far, so a short stall is made up at once.

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

// sendSome(next, owed) sends up to owed packets, next being the number of
// the first, and says how many it sent; 0 or less ends that step. Returns
// how many were sent in all.
template <typename SendSome> long SendPaced(long rate, double seconds, SendSome sendSome) {
    const long total = static_cast<long>(rate * seconds);
    const auto start = std::chrono::steady_clock::now();
    long sent = 0;
    while (sent < total) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long owed = std::min(total, static_cast<long>(elapsed * rate) + 1);
        while (sent < owed) {
            const long done = sendSome(sent, owed - sent);
            if (done <= 0)
                break;
            sent += done;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return sent;
}

inline sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// UDP datagrams from 127.0.0.1:40001 to 127.0.0.1:40002, paced, in batches
// of one system call each, so the sender costs little beside the kernel's
// own work per packet. A bound receiver keeps the kernel from answering
// with "port unreachable". The time it took goes to took: more than seconds
// when this machine could not send at that rate; progress, when given,
// follows the count sent.
inline long Send(long rate, double seconds, double& took, std::atomic<long>* progress = nullptr) {
    const int receiver = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in at = Loopback(40002);
    bind(receiver, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in from = Loopback(40001);
    bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from);
    connect(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    char payload[] = "quillmark";
    iovec data{payload, 9};
    std::vector<mmsghdr> batch(64);
    for (mmsghdr& message : batch)
        message.msg_hdr = msghdr{nullptr, 0, &data, 1, nullptr, 0, 0};
    const auto start = std::chrono::steady_clock::now();
    const long sent = SendPaced(rate, seconds, [&](long next, long owed) {
        const int done =
            sendmmsg(fd, batch.data(), static_cast<unsigned>(std::min<long>(owed, 64)), 0);
        if (progress && done > 0)
            *progress = next + done;
        return done;
    });
    took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(fd);
    close(receiver);
    return sent;
}
