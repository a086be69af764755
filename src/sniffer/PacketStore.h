#pragma once

// The packets of the most recent capture that produced lines, kept in memory
// so they can be saved as a pcap file. The capture thread appends while the
// window may be saving: the packets lie in fixed chunks, already laid out as
// pcap records, and a snapshot shares the chunks instead of copying them.
// Beyond the memory limit the oldest chunks are let go, and counted.

#include "PcapFormat.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class PacketStore {
  public:
    static constexpr size_t kDefaultLimitBytes = size_t{256} << 20;
    static constexpr size_t kDefaultChunkBytes = size_t{1} << 20;

    explicit PacketStore(size_t limitBytes = kDefaultLimitBytes,
                         size_t chunkBytes = kDefaultChunkBytes);

    // A capture begins; its packets replace the last capture's as soon as it
    // has one.
    void StartCapture();
    // One packet of the current capture, whole, with the time it was captured.
    void Append(const uint8_t* packet, size_t size, CaptureTime time);

    // Records are read only up to the size taken with the snapshot, which the
    // capture thread never writes again.
    struct Piece {
        std::shared_ptr<const uint8_t[]> bytes;
        size_t size;
    };
    struct Snapshot {
        std::vector<Piece> records; // pcap records, oldest first
        uint64_t packets = 0;       // the records' packets
        uint64_t captured = 0;      // the capture's packets, including those let go
    };
    // The most recent capture that has packets; empty when there is none.
    Snapshot Latest() const;

  private:
    struct Chunk {
        std::shared_ptr<uint8_t[]> bytes;
        size_t capacity;
        size_t used = 0;
        uint64_t packets = 0;
    };
    struct Capture {
        std::deque<Chunk> chunks;
        size_t bytes = 0;
        uint64_t captured = 0;
    };
    Chunk& RoomFor(size_t recordSize);

    const size_t limitBytes_;
    const size_t chunkBytes_;
    mutable std::mutex mutex_;
    std::shared_ptr<Capture> current_;
    std::shared_ptr<Capture> latest_; // the last capture that had a packet
};
