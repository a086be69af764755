#include "PacketStore.h"

#include <algorithm>

PacketStore::PacketStore(size_t limitBytes, size_t chunkBytes)
    : limitBytes_(limitBytes), chunkBytes_(chunkBytes), current_(std::make_shared<Capture>()) {}

void PacketStore::StartCapture() {
    std::lock_guard lock(mutex_);
    current_ = std::make_shared<Capture>();
}

// A new chunk when the last one is full, then the oldest chunks go while the
// capture holds more than the limit; the newest always stays.
PacketStore::Chunk& PacketStore::RoomFor(size_t recordSize) {
    Capture& capture = *current_;
    if (capture.chunks.empty() ||
        capture.chunks.back().capacity - capture.chunks.back().used < recordSize) {
        const size_t capacity = std::max(chunkBytes_, recordSize);
        capture.chunks.push_back({std::make_shared<uint8_t[]>(capacity), capacity});
        capture.bytes += capacity;
    }
    while (capture.bytes > limitBytes_ && capture.chunks.size() > 1) {
        capture.bytes -= capture.chunks.front().capacity;
        capture.chunks.pop_front();
    }
    return capture.chunks.back();
}

void PacketStore::Append(const uint8_t* packet, size_t size, CaptureTime time) {
    std::lock_guard lock(mutex_);
    if (latest_ != current_)
        latest_ = current_; // lets the previous capture's packets go
    Chunk& chunk = RoomFor(kPcapRecordHeaderBytes + size);
    WritePcapRecord(chunk.bytes.get() + chunk.used, packet, size, time);
    chunk.used += kPcapRecordHeaderBytes + size;
    ++chunk.packets;
    ++current_->captured;
}

PacketStore::Snapshot PacketStore::Latest() const {
    std::lock_guard lock(mutex_);
    Snapshot snapshot;
    if (!latest_)
        return snapshot;
    for (const Chunk& chunk : latest_->chunks) {
        snapshot.records.push_back({chunk.bytes, chunk.used});
        snapshot.packets += chunk.packets;
    }
    snapshot.captured = latest_->captured;
    return snapshot;
}
