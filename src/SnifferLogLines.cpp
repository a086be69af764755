#include "SnifferLogLines.h"

void SnifferLogLines::Append(std::string_view line) {
    text_.insert(text_.end(), line.begin(), line.end());
    ends_.push_back(text_.size());
}

std::string SnifferLogLines::at(size_t index) const {
    const auto begin = static_cast<std::ptrdiff_t>(index == 0 ? 0 : ends_[index - 1]);
    const auto end = static_cast<std::ptrdiff_t>(ends_[index]);
    return std::string(text_.begin() + begin, text_.begin() + end);
}
