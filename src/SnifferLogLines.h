#pragma once

// The text of the sniffer log: lines only ever appended. Each line costs its
// bytes and one 8-byte end offset, and appending never moves what is already
// stored, so it costs the same however many lines there are.

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

class SnifferLogLines {
  public:
    void Append(std::string_view line);
    size_t size() const { return ends_.size(); }
    std::string at(size_t index) const;

  private:
    std::deque<char> text_;
    std::deque<uint64_t> ends_;
};
