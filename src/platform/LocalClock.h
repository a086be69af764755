#pragma once

// The current local date and time as the user's regional settings write them.

#include <string>

namespace platform {

class LocalClock {
  public:
    virtual ~LocalClock() = default;
    // The long time format, e.g. "14:03:07".
    virtual std::string TimeToStr() = 0;
    // The short date format, e.g. "01/11/2026".
    virtual std::string DateToStr() = 0;
};

// The clock in the formats of QLocale::system().
class SystemLocalClock : public LocalClock {
  public:
    std::string TimeToStr() override;
    std::string DateToStr() override;
};

} // namespace platform
