#pragma once

// The few run-time library operations the windows rely on, with the exact
// semantics the lists and the sniffer panel expect (locale-free, 8-bit text).

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// Raised by StrToInt for a text that is not a signed 32-bit decimal integer.
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Signed 32-bit decimal; an optional sign, no blanks, nothing after the digits.
int32_t StrToInt(std::string_view text);

std::string IntToStr(int64_t value);

// Three-way comparison of byte strings with ASCII letters folded to upper case;
// the difference of the first differing (folded) bytes, else of the lengths.
int CompareText(std::string_view a, std::string_view b);
