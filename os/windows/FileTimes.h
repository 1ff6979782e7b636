// The system's file times (100 ns ticks since 1601, UTC) and the layer's DateTime.
#pragma once

#include <windows.h>

#include <cstdint>

#include "os/DateTime.h"

namespace OS {

inline std::uint64_t TicksOf(const FILETIME& ft) {
    return (std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// False when the ticks name no calendar time the system can show.
inline bool DateTimeOfTicks(std::uint64_t ticks, DateTime& out) {
    FILETIME ft{DWORD(ticks), DWORD(ticks >> 32)};
    SYSTEMTIME st{};
    if (!FileTimeToSystemTime(&ft, &st))
        return false;
    out.year = st.wYear;
    out.month = std::uint8_t(st.wMonth);
    out.day = std::uint8_t(st.wDay);
    out.hour = std::uint8_t(st.wHour);
    out.minute = std::uint8_t(st.wMinute);
    out.second = std::uint8_t(st.wSecond);
    out.millisecond = st.wMilliseconds;
    return true;
}

// False when the value is no real calendar time.
inline bool FileTimeOf(const DateTime& d, FILETIME& out) {
    if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31 || d.hour > 23 || d.minute > 59 ||
        d.second > 59 || d.millisecond > 999)
        return false;
    SYSTEMTIME st{};
    st.wYear = d.year;
    st.wMonth = d.month;
    st.wDay = d.day;
    st.wHour = d.hour;
    st.wMinute = d.minute;
    st.wSecond = d.second;
    st.wMilliseconds = d.millisecond;
    return SystemTimeToFileTime(&st, &out) != 0;
}

}  // namespace OS
