#include "LinuxCaptureApi.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

// A burst of small packets needs room while the log catches up; the kernel's
// default of about 200 KiB holds only a few hundred of them.
constexpr int kReceiveBufferBytes = 16 << 20;

struct Interface {
    unsigned index = 0;
    bool loopback = false;
};

std::optional<Interface> InterfaceHolding(uint32_t address) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::nullopt;
    std::optional<Interface> found;
    for (const ifaddrs* entry = list; entry && !found; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        const auto* inet = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (inet->sin_addr.s_addr == address)
            found =
                Interface{if_nametoindex(entry->ifa_name), (entry->ifa_flags & IFF_LOOPBACK) != 0};
    }
    freeifaddrs(list);
    if (found && found->index == 0)
        return std::nullopt;
    return found;
}

class LinuxPacketSocket : public PacketSocket {
  public:
    explicit LinuxPacketSocket(int fd) : fd_(fd) {}
    ~LinuxPacketSocket() override { close(fd_); }

    // The socket is opened with protocol 0, so it queues nothing until this
    // bind names IPv4 and one interface: no packet of another interface is
    // ever received.
    bool Bind(uint32_t address) override {
        const auto found = InterfaceHolding(address);
        if (!found)
            return false;
        interface_ = *found;
        sockaddr_ll local{};
        local.sll_family = AF_PACKET;
        local.sll_protocol = htons(ETH_P_IP);
        local.sll_ifindex = static_cast<int>(interface_.index);
        return bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    }

    // On loopback every packet passes the tap twice, once going out and once
    // coming in; ignoring the outgoing copy shows each packet once.
    bool ReceiveAll() override {
        packet_mreq membership{};
        membership.mr_ifindex = static_cast<int>(interface_.index);
        membership.mr_type = PACKET_MR_PROMISC;
        if (setsockopt(fd_, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &membership, sizeof membership) != 0)
            return false;
        const int one = 1;
        if (interface_.loopback &&
            setsockopt(fd_, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof one) != 0)
            return false;
        if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBufferBytes, sizeof(int)) != 0)
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof(int));
        return true;
    }

    int Receive(uint8_t* buffer, int length) override {
        for (;;) {
            const ssize_t n = recv(fd_, buffer, static_cast<size_t>(length), 0);
            if (n >= 0 || errno != EINTR)
                return static_cast<int>(n);
        }
    }

  private:
    int fd_;
    Interface interface_;
};

} // namespace

int LinuxCaptureApi::WSAStartup(uint16_t) {
    return 0;
}

std::unique_ptr<PacketSocket> LinuxCaptureApi::OpenRawSocket() {
    const int fd = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    return std::make_unique<LinuxPacketSocket>(fd);
}

} // namespace platform
