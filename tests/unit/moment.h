// A broken-down time from its calendar fields, for the formatting tests.
#pragma once

#include <ctime>

// Month 1..12 and the full year; weekday 0 = Sunday.
inline std::tm Moment(int year, int month, int day, int hour, int minute, int second, int weekday = 0) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_wday = weekday;
    return t;
}
