#include "LocalClock.h"

#include <QDate>
#include <QLocale>
#include <QTime>

namespace platform {

std::string SystemLocalClock::TimeToStr() {
    return QLocale::system()
        .toString(QTime::currentTime(), QLocale::LongFormat)
        .toLocal8Bit()
        .toStdString();
}

std::string SystemLocalClock::DateToStr() {
    return QLocale::system()
        .toString(QDate::currentDate(), QLocale::ShortFormat)
        .toLocal8Bit()
        .toStdString();
}

} // namespace platform
