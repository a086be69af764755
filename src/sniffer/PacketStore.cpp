#include "PacketStore.h"

#include <algorithm>

namespace {

// Each file begins as a pcap file does, so one that holds a whole capture
// can be saved as it is.
std::string FileHeader() {
    const auto header = PcapFileHeader();
    return {header.begin(), header.end()};
}

} // namespace

PacketStore::PacketStore(std::shared_ptr<ScratchSpace> space, uint64_t segmentBytes)
    : space_(std::move(space)), segmentBytes_(segmentBytes), current_(std::make_shared<Capture>()) {
}

void PacketStore::StartCapture() {
    std::lock_guard lock(mutex_);
    current_ = std::make_shared<Capture>();
}

void PacketStore::EndCapture() {
    std::lock_guard lock(mutex_);
    current_->ended = true;
    if (current_->chain)
        current_->chain->Flush();
}

int PacketStore::Append(const uint8_t* packet, size_t size, CaptureTime time) {
    std::lock_guard lock(mutex_);
    if (latest_ != current_)
        latest_ = current_; // lets the previous capture's packets go
    if (!current_->chain) {
        if (!space_)
            space_ = std::make_shared<ScratchSpace>();
        current_->chain = std::make_unique<ScratchChain>(space_, segmentBytes_);
    }
    ScratchChain& chain = *current_->chain;
    record_.resize(kPcapRecordHeaderBytes + size);
    WritePcapRecord(record_.data(), packet, size, time);
    const int reserved = chain.Reserve(record_.size(), FileHeader());
    const int appended = chain.Append(record_.data(), record_.size());
    ++chain.Newest().items;
    ++current_->captured;
    return reserved ? reserved : appended;
}

PacketStore::Snapshot PacketStore::Latest() const {
    std::lock_guard lock(mutex_);
    Snapshot snapshot;
    if (!latest_ || !latest_->chain)
        return snapshot;
    ScratchChain& chain = *latest_->chain;
    chain.Flush();
    for (const ScratchChain::Segment& segment : chain.Segments()) {
        const uint64_t written = std::max<uint64_t>(segment.written, kPcapFileHeaderBytes);
        if (segment.written > kPcapFileHeaderBytes)
            snapshot.records.push_back(
                {segment.file, kPcapFileHeaderBytes, segment.written - kPcapFileHeaderBytes, {}});
        if (segment.size > written) {
            Piece unwritten;
            unwritten.bytes.resize(segment.size - written);
            chain.Read(segment, written, unwritten.bytes.data(), unwritten.bytes.size());
            snapshot.records.push_back(std::move(unwritten));
        }
        snapshot.bytes += segment.size - kPcapFileHeaderBytes;
        snapshot.packets += segment.items;
    }
    snapshot.captured = latest_->captured;
    const auto& segments = chain.Segments();
    if (latest_->ended && segments.size() == 1 && segments.front().file &&
        segments.front().written == segments.front().size)
        snapshot.whole = segments.front().file;
    return snapshot;
}
