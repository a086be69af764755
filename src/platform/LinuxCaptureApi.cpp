#include "LinuxCaptureApi.h"

#include "PacketRing.h"

#include <arpa/inet.h>
#include <cerrno>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

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

    // The socket is opened with protocol 0, and this bind names none either:
    // it queues nothing until ReceiveAll, and then nothing of another
    // interface.
    bool Bind(uint32_t address) override {
        const auto found = InterfaceHolding(address);
        if (!found)
            return false;
        interface_ = *found;
        return BindTo(0);
    }

    // Every protocol, since the kernel hands the packets this host sends only
    // to sockets that take them all; the filter, attached before that bind,
    // then keeps what the capture wants, so no other frame is ever queued.
    // On loopback every packet passes the tap twice, once going out and once
    // coming in; ignoring the outgoing copy shows each packet once.
    bool ReceiveAll(const std::vector<sock_filter>& filter) override {
        if (!ReplaceFilter(filter))
            return false;
        const int one = 1;
        if (interface_.loopback &&
            setsockopt(fd_, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof one) != 0)
            return false;
        if (!ring_.Map(fd_))
            return false;
        packet_mreq membership{};
        membership.mr_ifindex = static_cast<int>(interface_.index);
        membership.mr_type = PACKET_MR_PROMISC;
        if (setsockopt(fd_, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &membership, sizeof membership) != 0)
            return false;
        return BindTo(ETH_P_ALL);
    }

    // The kernel swaps the programs whole: each packet meets one or the other.
    bool ReplaceFilter(const std::vector<sock_filter>& filter) override {
        const sock_fprog program{static_cast<unsigned short>(filter.size()),
                                 const_cast<sock_filter*>(filter.data())};
        return setsockopt(fd_, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
    }

    int Receive(uint8_t* buffer, int length, timespec& captured) override {
        return ring_.Next(buffer, length, captured);
    }

    uint64_t Drops() override { return ring_.Drops(); }
    uint64_t CountDrops() override { return ring_.CountDrops(); }

  private:
    bool BindTo(uint16_t protocol) {
        sockaddr_ll local{};
        local.sll_family = AF_PACKET;
        local.sll_protocol = htons(protocol);
        local.sll_ifindex = static_cast<int>(interface_.index);
        return bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    }

    int fd_;
    Interface interface_;
    PacketRing ring_;
};

} // namespace

int LinuxCaptureApi::WSAStartup(uint16_t) {
    return 0;
}

std::unique_ptr<PacketSocket> LinuxCaptureApi::OpenRawSocket() {
    int fd = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 && (errno == EPERM || errno == EACCES))
        fd = PacketSocketFromHelper(helper_, limit_);
    if (fd < 0)
        return nullptr;
    return std::make_unique<LinuxPacketSocket>(fd);
}

} // namespace platform
