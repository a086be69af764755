#pragma once

// The current local date and time as the user's regional settings write them.

#include <ctime>
#include <mutex>
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

// The clock in the formats of QLocale::system(). Both texts are made once a
// second: formatting through the locale costs microseconds, and a capture
// asks for them with every dump record.
class SystemLocalClock : public LocalClock {
  public:
    std::string TimeToStr() override;
    std::string DateToStr() override;

  private:
    void Update();

    std::mutex mutex_;
    time_t second_ = -1; // the second both texts were made for
    std::string time_;
    std::string date_;
};

} // namespace platform
