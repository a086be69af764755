#pragma once

// The memory-mapped receive ring of a packet socket (TPACKET_V3). The kernel
// packs packets into the blocks of a ring this process shares, so packets
// that wait cost no system call each, and the ring may be far larger than
// the socket buffer a process without CAP_NET_ADMIN can have.

#include <cstdint>
#include <ctime>

struct tpacket_block_desc;

namespace platform {

class PacketRing {
  public:
    PacketRing() = default;
    PacketRing(const PacketRing&) = delete;
    PacketRing& operator=(const PacketRing&) = delete;
    ~PacketRing();

    // Sets the ring up on fd, a packet socket that receives nothing yet.
    bool Map(int fd);
    // Waits for the next packet that holds a byte and copies at most length
    // (above 0) bytes of it to buffer; the number copied, or -1 when the
    // socket fails.
    int Next(uint8_t* buffer, int length, timespec& captured);
    uint64_t Drops() const { return drops_; }
    // Adds the drops the kernel counted since the last count; Drops().
    uint64_t CountDrops();

  private:
    bool WaitForBlock();
    void ReleaseBlock();
    tpacket_block_desc* Block() const;

    int fd_ = -1;
    uint8_t* ring_ = nullptr;
    unsigned current_ = 0; // the block read now, or waited for
    uint32_t left_ = 0;    // packets of that block not read yet
    const uint8_t* packet_ = nullptr;
    uint64_t drops_ = 0;
};

} // namespace platform
