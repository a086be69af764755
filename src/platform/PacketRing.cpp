#include "PacketRing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/if_packet.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>

namespace platform {

namespace {

// 64 MiB: about 460,000 small packets, over four seconds at 100,000 a second.
// A block holds the largest packet whole (loopback carries 64 KiB ones).
constexpr unsigned kBlockBytes = 1u << 20;
constexpr unsigned kBlocks = 64;
constexpr size_t kRingBytes = size_t{kBlockBytes} * kBlocks;
// A block that is not full yet is handed over after this long, so a trickle
// of packets still shows at once.
constexpr unsigned kBlockTimeoutMilliseconds = 10;

} // namespace

PacketRing::~PacketRing() {
    if (ring_)
        munmap(ring_, kRingBytes);
}

// One frame per block: the ring's frames mean nothing to TPACKET_V3, and no
// kernel then cuts a packet at a frame's size.
bool PacketRing::Map(int fd) {
    fd_ = fd;
    const int version = TPACKET_V3;
    if (setsockopt(fd, SOL_PACKET, PACKET_VERSION, &version, sizeof version) != 0)
        return false;
    tpacket_req3 request{};
    request.tp_block_size = kBlockBytes;
    request.tp_block_nr = kBlocks;
    request.tp_frame_size = kBlockBytes;
    request.tp_frame_nr = kBlocks;
    request.tp_retire_blk_tov = kBlockTimeoutMilliseconds;
    if (setsockopt(fd, SOL_PACKET, PACKET_RX_RING, &request, sizeof request) != 0)
        return false;
    void* ring = mmap(nullptr, kRingBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (ring == MAP_FAILED)
        return false;
    ring_ = static_cast<uint8_t*>(ring);
    return true;
}

tpacket_block_desc* PacketRing::Block() const {
    return reinterpret_cast<tpacket_block_desc*>(ring_ + size_t{current_} * kBlockBytes);
}

// The packet is copied out before its block goes back to the kernel. An
// empty packet (anyone holding a packet socket can send an IPv4-typed frame
// without bytes) is passed over: it is no failure of the socket.
int PacketRing::Next(uint8_t* buffer, int length, timespec& captured) {
    int n = 0;
    while (n == 0) {
        while (left_ == 0)
            if (!WaitForBlock())
                return -1;
        const auto* header = reinterpret_cast<const tpacket3_hdr*>(packet_);
        n = static_cast<int>(std::min(header->tp_snaplen, static_cast<uint32_t>(length)));
        std::memcpy(buffer, packet_ + header->tp_mac, static_cast<size_t>(n));
        captured = {static_cast<time_t>(header->tp_sec), static_cast<long>(header->tp_nsec)};
        packet_ += header->tp_next_offset;
        if (--left_ == 0)
            ReleaseBlock();
    }
    return n;
}

// The drop count is brought up to date before every wait, so it is exact
// whenever the capture has caught up.
bool PacketRing::WaitForBlock() {
    tpacket_block_desc* block = Block();
    while (!(__atomic_load_n(&block->hdr.bh1.block_status, __ATOMIC_ACQUIRE) & TP_STATUS_USER)) {
        CountDrops();
        pollfd wait{fd_, POLLIN, 0};
        const int ready = poll(&wait, 1, -1);
        if ((ready < 0 && errno != EINTR) || (ready > 0 && (wait.revents & (POLLERR | POLLNVAL))))
            return false;
    }
    left_ = block->hdr.bh1.num_pkts;
    packet_ = reinterpret_cast<const uint8_t*>(block) + block->hdr.bh1.offset_to_first_pkt;
    if (left_ == 0)
        ReleaseBlock();
    return true;
}

void PacketRing::ReleaseBlock() {
    __atomic_store_n(&Block()->hdr.bh1.block_status, TP_STATUS_KERNEL, __ATOMIC_RELEASE);
    current_ = (current_ + 1) % kBlocks;
    CountDrops();
}

// Reading the kernel's counters resets them.
uint64_t PacketRing::CountDrops() {
    tpacket_stats_v3 stats{};
    socklen_t length = sizeof stats;
    if (getsockopt(fd_, SOL_PACKET, PACKET_STATISTICS, &stats, &length) == 0)
        drops_ += stats.tp_drops;
    return drops_;
}

} // namespace platform
