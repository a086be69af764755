#include "ScratchChain.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// What is written at once, and what is read at once and kept.
constexpr uint64_t kBlockBytes = 64 << 10;
constexpr size_t kCachedBlocks = 8;

bool OutOfSpace(int error) {
    return error == ENOSPC || error == EDQUOT;
}

} // namespace

ScratchChain::ScratchChain(std::shared_ptr<ScratchSpace> space, uint64_t segmentBytes)
    : space_(std::move(space)), segmentBytes_(segmentBytes ? segmentBytes : space_->SegmentBytes()),
      cache_(kCachedBlocks) {}

ScratchChain::~ScratchChain() {
    while (!segments_.empty())
        DropOldest();
}

void ScratchChain::DropOldest() {
    const Segment& oldest = segments_.front();
    if (oldest.file)
        space_->Give(oldest.reserved);
    removed_ += oldest.items;
    segments_.pop_front();
}

// A disk too full for a new file first frees the oldest ones.
int ScratchChain::OpenFile(Segment& segment) {
    for (;;) {
        std::unique_ptr<platform::ScratchFile> file =
            platform::ScratchFile::Create(space_->Directory(), segment.reserved);
        if (file) {
            segment.file = std::move(file);
            space_->Take(segment.reserved);
            return 0;
        }
        const int error = errno;
        if (!OutOfSpace(error) || segments_.size() <= 1)
            return error;
        DropOldest();
    }
}

// The segment's bytes stay whole in one file: a new segment begins only
// once the last one's bytes are all written.
int ScratchChain::Reserve(size_t size, const std::string& header) {
    if (!segments_.empty() && segments_.back().size + size <= segments_.back().reserved)
        return error_ ? Flush() : 0;
    if (!segments_.empty() && Flush() != 0)
        return error_;
    Segment segment;
    segment.reserved = std::max<uint64_t>(segmentBytes_, header.size() + size);
    segment.firstItem =
        segments_.empty() ? removed_ : segments_.back().firstItem + segments_.back().items;
    segment.serial = nextSerial_++;
    while (!segments_.empty() && !space_->Fits(segment.reserved))
        DropOldest();
    segments_.push_back(std::move(segment));
    error_ = OpenFile(segments_.back());
    const int appended = Append(header.data(), header.size());
    return error_ ? error_ : appended;
}

int ScratchChain::Append(const void* bytes, size_t size) {
    pending_.append(static_cast<const char*>(bytes), size);
    segments_.back().size += size;
    return error_ || pending_.size() >= kBlockBytes ? Flush() : 0;
}

int ScratchChain::WritePending() {
    Segment& newest = segments_.back();
    const int error = newest.file->Write(newest.written, pending_.data(), pending_.size());
    if (error == 0) {
        newest.written += pending_.size();
        pending_.clear();
    }
    return error;
}

// A failed write into the reserve can only be a lack of space where the
// file system shares blocks, a file size limit or an I/O error; only the
// first is helped by letting old segments go.
int ScratchChain::Flush() {
    if (segments_.empty())
        return 0;
    error_ = segments_.back().file ? 0 : OpenFile(segments_.back());
    if (error_ == 0 && !pending_.empty()) {
        error_ = WritePending();
        while (OutOfSpace(error_) && segments_.size() > 1) {
            DropOldest();
            error_ = WritePending();
        }
    }
    return error_;
}

bool ScratchChain::Read(const Segment& segment, uint64_t offset, void* to, size_t size) const {
    if (offset + size > segment.size)
        return false;
    auto* out = static_cast<char*>(to);
    while (size > 0 && offset < segment.written) {
        const uint64_t index = offset / kBlockBytes;
        const uint64_t want = std::min(kBlockBytes, segment.written - index * kBlockBytes);
        auto block = std::find_if(cache_.begin(), cache_.end(), [&](const Block& block) {
            return block.serial == segment.serial && block.index == index &&
                   block.bytes.size() >= want;
        });
        if (block == cache_.end()) {
            block = cache_.begin() + static_cast<ptrdiff_t>(nextVictim_++ % cache_.size());
            block->serial = UINT64_MAX;
            block->bytes.resize(want);
            if (segment.file->Read(index * kBlockBytes, block->bytes.data(), want) !=
                static_cast<ptrdiff_t>(want))
                return false;
            block->serial = segment.serial;
            block->index = index;
        }
        const uint64_t within = offset - index * kBlockBytes;
        const size_t part = std::min<uint64_t>(size, want - within);
        std::memcpy(out, block->bytes.data() + within, part);
        out += part;
        offset += part;
        size -= part;
    }
    if (size > 0)
        std::memcpy(out, pending_.data() + (offset - segment.written), size);
    return true;
}
