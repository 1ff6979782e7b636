#include "os/DateTime.h"

#include <ctime>

namespace OS {
namespace {

std::tm* UtcOf(const std::time_t* t, std::tm* out) {
#ifdef _WIN32
    return gmtime_s(out, t) == 0 ? out : nullptr;
#else
    return gmtime_r(t, out);
#endif
}

std::time_t FromUtc(std::tm* tm) {
#ifdef _WIN32
    return _mkgmtime(tm);
#else
    return timegm(tm);
#endif
}

}  // namespace

std::uint32_t DateTime::PackedDate() const {
    return (std::uint32_t(year) << 16) | (std::uint32_t(month) << 8) | day;
}

std::uint32_t DateTime::TimeOfDay() const {
    return ((hour * 3600u + minute * 60u + second) * 1000u) + millisecond;
}

DateTime DateTime::FromPacked(std::uint32_t date, std::uint32_t timeOfDay) {
    DateTime d;
    d.year = std::uint16_t(date >> 16);
    d.month = std::uint8_t(date >> 8);
    d.day = std::uint8_t(date);
    d.hour = std::uint8_t(timeOfDay / 3600000u);
    timeOfDay %= 3600000u;
    d.minute = std::uint8_t(timeOfDay / 60000u);
    timeOfDay %= 60000u;
    d.second = std::uint8_t(timeOfDay / 1000u);
    d.millisecond = std::uint16_t(timeOfDay % 1000u);
    return d;
}

DateTime DateTime::FromTimespec(const timespec& ts) {
    std::tm tm{};
    std::time_t t = ts.tv_sec;
    if (!UtcOf(&t, &tm))
        return DateTime{};
    DateTime d;
    d.year = std::uint16_t(tm.tm_year + 1900);
    d.month = std::uint8_t(tm.tm_mon + 1);
    d.day = std::uint8_t(tm.tm_mday);
    d.hour = std::uint8_t(tm.tm_hour);
    d.minute = std::uint8_t(tm.tm_min);
    d.second = std::uint8_t(tm.tm_sec);
    d.millisecond = std::uint16_t(ts.tv_nsec / 1000000);
    return d;
}

bool DateTime::ToTimespec(timespec& ts) const {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 ||
        millisecond > 999)
        return false;
    std::tm tm{};
    tm.tm_year = int(year) - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    ts.tv_sec = FromUtc(&tm);
    ts.tv_nsec = long(millisecond) * 1000000L;
    return true;
}

DateTime DateTime::Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FromTimespec(ts);
}

bool DateTime::operator==(const DateTime& o) const {
    return PackedDate() == o.PackedDate() && TimeOfDay() == o.TimeOfDay();
}

}  // namespace OS
