#include "LocalClock.h"

#include <QDateTime>
#include <QLocale>

namespace platform {

void SystemLocalClock::Update() {
    const time_t now = time(nullptr);
    if (now == second_)
        return;
    second_ = now;
    const QDateTime local = QDateTime::fromSecsSinceEpoch(now);
    const QLocale locale = QLocale::system();
    time_ = locale.toString(local.time(), QLocale::LongFormat).toLocal8Bit().toStdString();
    date_ = locale.toString(local.date(), QLocale::ShortFormat).toLocal8Bit().toStdString();
}

std::string SystemLocalClock::TimeToStr() {
    std::lock_guard lock(mutex_);
    Update();
    return time_;
}

std::string SystemLocalClock::DateToStr() {
    std::lock_guard lock(mutex_);
    Update();
    return date_;
}

} // namespace platform
