#include "SnifferLogLines.h"

#include <algorithm>

namespace {

// A mark every this many lines: a line is found by reading at most this
// many lengths from the mark before it.
constexpr uint64_t kLinesPerMark = 64;
// The most bytes a length takes.
constexpr size_t kLengthBytes = 10;

// Each line is stored as its length, seven bits a byte, then its bytes.
void PutLength(std::string& to, uint64_t length) {
    while (length >= 0x80) {
        to += static_cast<char>(0x80 | (length & 0x7F));
        length >>= 7;
    }
    to += static_cast<char>(length);
}

} // namespace

SnifferLogLines::SnifferLogLines(std::shared_ptr<ScratchSpace> space, uint64_t segmentBytes)
    : space_(std::move(space)), segmentBytes_(segmentBytes) {}

void SnifferLogLines::SetSpace(std::shared_ptr<ScratchSpace> space) {
    std::lock_guard lock(mutex_);
    if (!chain_)
        space_ = std::move(space);
}

ScratchChain& SnifferLogLines::Chain() const {
    if (!chain_) {
        if (!space_)
            space_ = std::make_shared<ScratchSpace>();
        chain_ = std::make_unique<ScratchChain>(space_, segmentBytes_);
    }
    return *chain_;
}

std::shared_ptr<const ScratchSpace> SnifferLogLines::Space() const {
    std::lock_guard lock(mutex_);
    Chain();
    return space_;
}

int SnifferLogLines::Append(std::string_view line) {
    std::lock_guard lock(mutex_);
    record_.clear();
    PutLength(record_, line.size());
    record_.append(line);
    ScratchChain& chain = Chain();
    const int reserved = chain.Reserve(record_.size());
    // Counted only once stored, so running out of memory half way leaves
    // the lines as they were.
    ScratchChain::Segment& segment = chain.Newest();
    if (segment.marks.size() == segment.items / kLinesPerMark)
        segment.marks.push_back({segment.size, textEnd_});
    const int appended = chain.Append(record_.data(), record_.size());
    const uint64_t number = segment.firstItem + segment.items++;
    textEnd_ += line.size() + 1;
    if (line.size() > longestLength_ || number == 0) {
        longestLength_ = line.size();
        longest_ = number;
    }
    return reserved ? reserved : appended;
}

uint64_t SnifferLogLines::FirstKept() const {
    if (!chain_)
        return 0;
    return chain_->Segments().empty() ? chain_->ItemsRemoved()
                                      : chain_->Segments().front().firstItem;
}

uint64_t SnifferLogLines::End() const {
    if (!chain_ || chain_->Segments().empty())
        return FirstKept();
    const ScratchChain::Segment& newest = chain_->Segments().back();
    return newest.firstItem + newest.items;
}

uint64_t SnifferLogLines::BaseText() const {
    if (!chain_ || chain_->Segments().empty())
        return textEnd_;
    return chain_->Segments().front().marks.front().text;
}

SnifferLogLines::Place SnifferLogLines::MarkBefore(uint64_t line) const {
    const auto& segments = chain_->Segments();
    const auto after = std::upper_bound(segments.begin(), segments.end(), line,
                                        [](uint64_t line, const ScratchChain::Segment& segment) {
                                            return line < segment.firstItem;
                                        });
    const ScratchChain::Segment& segment = *std::prev(after);
    const uint64_t mark = (line - segment.firstItem) / kLinesPerMark;
    return {&segment, segment.firstItem + mark * kLinesPerMark, segment.marks[mark].offset,
            segment.marks[mark].text};
}

bool SnifferLogLines::LengthAt(const Place& place, uint64_t& length, uint64_t& header) const {
    unsigned char bytes[kLengthBytes];
    const size_t size = std::min<uint64_t>(kLengthBytes, place.segment->size - place.offset);
    if (!chain_->Read(*place.segment, place.offset, bytes, size))
        return false;
    length = 0;
    for (header = 0; header < size; ++header) {
        length |= uint64_t{bytes[header] & 0x7Fu} << (7 * header);
        if (bytes[header] < 0x80)
            return ++header, true;
    }
    return false;
}

bool SnifferLogLines::Next(Place& place) const {
    uint64_t length = 0;
    uint64_t header = 0;
    if (!LengthAt(place, length, header))
        return false;
    place.offset += header + length;
    place.text += length + 1;
    ++place.line;
    return true;
}

// Lines are mostly read one after the other (painting, counting, a screen
// reader), so the search goes on from the last line found when that is
// nearer than the mark.
SnifferLogLines::Place SnifferLogLines::Seek(uint64_t line) const {
    Place place = MarkBefore(line);
    if (lastSegment_ == place.segment->serial && lastFound_.segment == place.segment &&
        lastFound_.line <= line && lastFound_.line > place.line)
        place = lastFound_;
    while (place.line < line && Next(place)) {
    }
    lastFound_ = place;
    lastSegment_ = place.segment->serial;
    return place;
}

uint64_t SnifferLogLines::size() const {
    std::lock_guard lock(mutex_);
    return End() - FirstKept();
}

uint64_t SnifferLogLines::removed() const {
    std::lock_guard lock(mutex_);
    return FirstKept();
}

uint64_t SnifferLogLines::longest() const {
    std::lock_guard lock(mutex_);
    return longest_ >= FirstKept() ? longest_ - FirstKept() : End() - FirstKept();
}

std::string SnifferLogLines::at(uint64_t index) const {
    std::lock_guard lock(mutex_);
    const uint64_t line = FirstKept() + index;
    if (line >= End())
        return {};
    const Place place = Seek(line);
    uint64_t length = 0;
    uint64_t header = 0;
    std::string text;
    if (place.line == line && LengthAt(place, length, header)) {
        text.resize(length);
        if (!chain_->Read(*place.segment, place.offset + header, text.data(), length))
            text.clear();
    }
    return text;
}

uint64_t SnifferLogLines::TextOffset(uint64_t index) const {
    std::lock_guard lock(mutex_);
    const uint64_t line = FirstKept() + index;
    return (line >= End() ? textEnd_ : Seek(line).text) - BaseText();
}

uint64_t SnifferLogLines::LineAtText(uint64_t offset) const {
    std::lock_guard lock(mutex_);
    if (End() == FirstKept())
        return 0;
    const uint64_t target = BaseText() + offset;
    const auto& segments = chain_->Segments();
    const ScratchChain::Segment& segment =
        *std::prev(std::upper_bound(segments.begin(), segments.end(), target,
                                    [](uint64_t target, const ScratchChain::Segment& segment) {
                                        return target < segment.marks.front().text;
                                    }));
    const auto mark = std::prev(std::upper_bound(
        segment.marks.begin(), segment.marks.end(), target,
        [](uint64_t target, const ScratchChain::Mark& mark) { return target < mark.text; }));
    const auto number = static_cast<uint64_t>(mark - segment.marks.begin());
    Place place{&segment, segment.firstItem + number * kLinesPerMark, mark->offset, mark->text};
    const uint64_t last = segment.firstItem + segment.items - 1;
    uint64_t length = 0;
    uint64_t header = 0;
    while (place.line < last && LengthAt(place, length, header) && target > place.text + length)
        Next(place);
    return place.line - FirstKept();
}
