#include "app/display_format.h"

#include <climits>
#include <cmath>
#include <cstdio>

namespace {

const char* const kWeekdaysGerman[7] = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
const char* const kWeekdaysEnglish[7] = {"Su", "Mo", "Tu", "We", "Th", "Fr", "Sa"};

// snprintf's result as "did it fit"; a negative result is an encoding error.
bool Fitted(int written, std::size_t size) {
    return written >= 0 && static_cast<std::size_t>(written) < size;
}

}  // namespace

bool FormatDate(char* out, std::size_t size, const std::tm& time) {
    if (!out || size == 0) return false;
    // Widened first: tm_mon + 1 and tm_year + 1900 must not overflow for
    // any field values.
    long long day = time.tm_mday;
    long long month = static_cast<long long>(time.tm_mon) + 1;
    long long year = static_cast<long long>(time.tm_year) + 1900;
    return Fitted(std::snprintf(out, size, "%02lld.%02lld.%04lld", day, month, year), size);
}

bool FormatWeekdayTime(char* out, std::size_t size, const std::tm& time, int language) {
    if (!out || size == 0) return false;
    return Fitted(std::snprintf(out, size, "%s %02d:%02d:%02d",
                                WeekdayAbbreviation(time.tm_wday, language), time.tm_hour,
                                time.tm_min, time.tm_sec),
                  size);
}

const char* WeekdayAbbreviation(int weekday, int language) {
    if (weekday < 0 || weekday > 6) return "";
    return language == 0 ? kWeekdaysGerman[weekday] : kWeekdaysEnglish[weekday];
}

int MeterValueFromLevel(double level) {
    if (std::isnan(level)) return 0;
    double product = std::trunc(level * 100.0);
    // INT_MAX and INT_MIN are exact in a double, so these compares are exact.
    if (product >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (product <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(product);
}

std::uint32_t MeterColorFor(double value, double threshold) {
    return value >= threshold ? kMeterColorReached : kMeterColorBelow;
}
