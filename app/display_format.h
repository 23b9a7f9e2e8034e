// Texts and values that the main window's tick shows: the date and the
// weekday/time lines of the clock, and the meters' value and colour. No
// platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "base/meter_colors.h"

// "DD.MM.YYYY" from the day of the month, the month (1..12) and the year.
// Writes at most `size` bytes, always terminated when size > 0; returns
// false when the text did not fit (it is then cut short) or size is 0.
bool FormatDate(char* out, std::size_t size, const std::tm& time);

// "Wd HH:MM:SS": the weekday's abbreviation in `language` (0 German, any
// other value English), hour, minute and second. Same buffer rules.
bool FormatWeekdayTime(char* out, std::size_t size, const std::tm& time, int language);

// Two-letter weekday abbreviation, weekday 0 = Sunday .. 6 = Saturday; an
// empty text for any other weekday number.
const char* WeekdayAbbreviation(int weekday, int language);

// A level 0..1 as a meter value 0..100: level * 100 truncated toward zero.
// NaN gives 0; products beyond the int range are clamped to it.
int MeterValueFromLevel(double level);

// Dark red once the value has reached the threshold, dark green below it.
std::uint32_t MeterColorFor(double value, double threshold);
