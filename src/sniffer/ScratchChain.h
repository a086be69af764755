#pragma once

// Bytes appended to a chain of scratch files of one size, and let go a
// whole file at a time from the oldest end, which frees exactly its space
// with no holes punched. The newest bytes wait in memory until a block is
// full; a few recently read blocks stay in memory too, and the page cache
// does the rest. Not thread-safe: the owner locks.

#include "ScratchSpace.h"
#include "platform/ScratchFile.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class ScratchChain {
  public:
    // A place every so many items, where reading can start.
    struct Mark {
        uint64_t offset; // in the segment
        uint64_t text;   // what the owner counts up to there
    };
    struct Segment {
        std::shared_ptr<platform::ScratchFile> file; // null until one could be made
        uint64_t reserved = 0;
        uint64_t written = 0; // bytes in the file; the rest wait in memory
        uint64_t size = 0;    // bytes appended
        uint64_t firstItem = 0;
        uint64_t items = 0;
        std::vector<Mark> marks;
        uint64_t serial = 0;
    };

    // segmentBytes 0 takes the space's size of a file.
    ScratchChain(std::shared_ptr<ScratchSpace> space, uint64_t segmentBytes);
    ~ScratchChain();
    ScratchChain(const ScratchChain&) = delete;
    ScratchChain& operator=(const ScratchChain&) = delete;

    // Makes the newest segment the one to take size more bytes, starting a
    // new one (letting the oldest go as the limit demands) when they would
    // not fit; the caller then appends them. 0, or why a file could not be
    // had; the bytes are kept in memory then, and each later call tries
    // again.
    int Reserve(size_t size, const std::string& header = {});
    // Appends to the newest segment: 0, or why it could not be written.
    int Append(const void* bytes, size_t size);
    // Writes out what waits in memory: 0, or errno.
    int Flush();

    // Copies size bytes at offset of segment into to; false past its end.
    bool Read(const Segment& segment, uint64_t offset, void* to, size_t size) const;

    const std::deque<Segment>& Segments() const { return segments_; }
    Segment& Newest() { return segments_.back(); }
    // Items let go with their segments since the chain was made.
    uint64_t ItemsRemoved() const { return removed_; }
    const ScratchSpace& Space() const { return *space_; }

  private:
    void DropOldest();
    int OpenFile(Segment& segment);
    int WritePending();

    std::shared_ptr<ScratchSpace> space_;
    const uint64_t segmentBytes_;
    std::deque<Segment> segments_;
    std::string pending_; // the newest segment's bytes from its written on
    uint64_t removed_ = 0;
    uint64_t nextSerial_ = 0;
    int error_ = 0;

    struct Block {
        uint64_t serial = UINT64_MAX;
        uint64_t index = 0;
        std::vector<char> bytes;
    };
    mutable std::vector<Block> cache_;
    mutable size_t nextVictim_ = 0;
};
