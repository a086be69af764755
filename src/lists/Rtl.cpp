#include "Rtl.h"

#include <algorithm>
#include <charconv>

int32_t StrToInt(std::string_view text) {
    // from_chars takes a '-' but no '+'; a '+' is allowed before the digits only.
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    const bool signAfterPlus = digits.size() != text.size() && !digits.empty() &&
                               (digits.front() == '-' || digits.front() == '+');
    int32_t value = 0;
    const char* end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || signAfterPlus || ec != std::errc() || ptr != end)
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

std::string IntToStr(int64_t value) {
    return std::to_string(value);
}

static unsigned char FoldLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

int CompareText(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const int diff = FoldLetter(a[i]) - FoldLetter(b[i]);
        if (diff != 0)
            return diff;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}
