#include "SnifferLogLines.h"

void SnifferLogLines::Append(std::string_view line) {
    std::lock_guard lock(mutex_);
    text_.insert(text_.end(), line.begin(), line.end());
    ends_.push_back(text_.size());
    if (line.size() > longestLength_) {
        longestLength_ = line.size();
        longest_ = ends_.size() - 1;
    }
}

size_t SnifferLogLines::size() const {
    std::lock_guard lock(mutex_);
    return ends_.size();
}

std::string SnifferLogLines::at(size_t index) const {
    std::lock_guard lock(mutex_);
    const auto begin = static_cast<std::ptrdiff_t>(index == 0 ? 0 : ends_.at(index - 1));
    const auto end = static_cast<std::ptrdiff_t>(ends_.at(index));
    return std::string(text_.begin() + begin, text_.begin() + end);
}

size_t SnifferLogLines::longest() const {
    std::lock_guard lock(mutex_);
    return longest_;
}
