#pragma once

// The disk that the log's text and the captured packets share, and its
// limit, as the system journal keeps its own: at most the smaller of 4 GiB
// and a tenth of the file system, and never less than 15 % of it left free.
// Reaching it lets the oldest lines and packets go first.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

class ScratchSpace {
  public:
    static constexpr uint64_t kMostBytes = uint64_t{4} << 30;
    static constexpr uint64_t kSegmentBytes = uint64_t{64} << 20;

    // limitBytes 0 takes the default limit; the directory is the user's
    // cache directory unless one is given.
    explicit ScratchSpace(uint64_t limitBytes = 0, std::string directory = {});

    const std::string& Directory() const { return directory_; }
    uint64_t Limit() const { return limit_; }
    // The size of one file: 64 MiB, or more under a limit so high that a
    // store would otherwise hold more than 64 files open.
    uint64_t SegmentBytes() const { return std::max(kSegmentBytes, limit_ / 64); }
    // Whether the directory lives in memory, where the files save nothing.
    bool InMemory() const { return inMemory_; }

    // Whether size more bytes stay within the limit and leave enough of the
    // file system free.
    bool Fits(uint64_t size) const;
    void Take(uint64_t size) { used_ += size; }
    void Give(uint64_t size) { used_ -= size; }

  private:
    std::string directory_;
    uint64_t limit_;
    bool inMemory_;
    std::atomic<uint64_t> used_{0};
};
