#pragma once

// The text of the sniffer log: lines only ever appended, from any thread.
// Each line costs its bytes and one 8-byte end offset, and appending never
// moves what is already stored, so it costs the same however many lines
// there are. A lock guards every access; each holds it for one line.

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

class SnifferLogLines {
  public:
    void Append(std::string_view line);
    size_t size() const;
    std::string at(size_t index) const;
    // The index of the first of the longest lines; 0 when there is none.
    size_t longest() const;

  private:
    mutable std::mutex mutex_;
    std::deque<char> text_;
    std::deque<uint64_t> ends_;
    size_t longest_ = 0;
    size_t longestLength_ = 0;
};
