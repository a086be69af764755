#pragma once

// The text of the sniffer log: lines only ever appended, from any thread,
// kept on disk in a chain of scratch files so that a capture of any length
// costs little memory: about a byte more than its text on disk per line,
// and in memory one place every 64 lines and a few blocks read lately.
// Within the disk limit the oldest lines go first, whole files at a time,
// and are counted. A lock guards every access; each holds it for one line.
//
// Lines are numbered from the first one still kept. Their text is also
// counted as one text of the kept lines joined by "\n", in bytes; the
// numbers are 64-bit, so neither overflows however long a capture runs.

#include "ScratchChain.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class SnifferLogLines {
  public:
    // Without a space, the first line makes one with the default limit.
    explicit SnifferLogLines(std::shared_ptr<ScratchSpace> space = nullptr,
                             uint64_t segmentBytes = 0);
    // Takes effect only before the first line.
    void SetSpace(std::shared_ptr<ScratchSpace> space);

    // The line is kept either way; 0, or why it could not be written to
    // disk (then it and those after it wait in memory, and each later line
    // tries again).
    int Append(std::string_view line);
    uint64_t size() const;
    // The line's text; empty for one no longer kept.
    std::string at(uint64_t index) const;
    // The index of the first of the longest lines; size() when it is gone.
    uint64_t longest() const;
    // The lines let go to keep within the disk limit.
    uint64_t removed() const;
    // Where line index begins in the joined text; for size(), the length of
    // the text plus one.
    uint64_t TextOffset(uint64_t index) const;
    // The line that holds the joined text's byte at offset, its "\n"
    // included; the last line for an offset past the end.
    uint64_t LineAtText(uint64_t offset) const;
    // The space the lines are kept in; made now if there is none yet.
    std::shared_ptr<const ScratchSpace> Space() const;

  private:
    struct Place {
        const ScratchChain::Segment* segment;
        uint64_t line;   // absolute
        uint64_t offset; // in the segment
        uint64_t text;   // absolute
    };
    ScratchChain& Chain() const;
    // The place of the mark at or before absolute line.
    Place MarkBefore(uint64_t line) const;
    // The length of the line at place; false when it cannot be read.
    bool LengthAt(const Place& place, uint64_t& length, uint64_t& header) const;
    bool Next(Place& place) const;
    Place Seek(uint64_t line) const;
    uint64_t FirstKept() const;
    uint64_t BaseText() const;
    uint64_t End() const;

    mutable std::mutex mutex_;
    mutable std::shared_ptr<ScratchSpace> space_;
    const uint64_t segmentBytes_;
    mutable std::unique_ptr<ScratchChain> chain_;
    uint64_t textEnd_ = 0; // absolute
    uint64_t longest_ = 0; // absolute
    uint64_t longestLength_ = 0;
    std::string record_;
    mutable Place lastFound_{};
    mutable uint64_t lastSegment_ = UINT64_MAX; // the serial of lastFound_'s segment
};
