// A UTC calendar date and time of day, with the packed forms the container stores.
#pragma once

#include <time.h>
#include <cstdint>

#include <ctime>

namespace OS {

struct DateTime {
    std::uint8_t day = 1;
    std::uint8_t month = 1;
    std::uint16_t year = 1;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::uint16_t millisecond = 0;

    // year << 16 | month << 8 | day
    std::uint32_t PackedDate() const;
    // milliseconds since midnight
    std::uint32_t TimeOfDay() const;
    static DateTime FromPacked(std::uint32_t date, std::uint32_t timeOfDay);

    static DateTime FromTimespec(const timespec& ts);
    // False when the value is no real calendar time.
    bool ToTimespec(timespec& ts) const;
    static DateTime Now();

    bool operator==(const DateTime& o) const;
    bool operator!=(const DateTime& o) const { return !(*this == o); }
};

}  // namespace OS
