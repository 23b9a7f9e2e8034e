#include "app/display_format.h"
#include "moment.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>

namespace {

std::string Date(const std::tm& t) {
    char buffer[64];
    EXPECT_TRUE(FormatDate(buffer, sizeof buffer, t));
    return buffer;
}

std::string WeekdayTime(const std::tm& t, int language) {
    char buffer[64];
    EXPECT_TRUE(FormatWeekdayTime(buffer, sizeof buffer, t, language));
    return buffer;
}

}  // namespace

TEST(DisplayFormat, Date) {
    EXPECT_EQ(Date(Moment(2026, 12, 6, 7, 12, 57, 0)), "06.12.2026");
    EXPECT_EQ(Date(Moment(2026, 1, 31, 0, 0, 0, 6)), "31.01.2026");
    EXPECT_EQ(Date(Moment(999, 3, 1, 0, 0, 0, 1)), "01.03.0999");
}

TEST(DisplayFormat, WeekdayAndTimeInBothLanguages) {
    std::tm sunday = Moment(2026, 12, 6, 7, 12, 57, 0);
    EXPECT_EQ(WeekdayTime(sunday, 0), "So 07:12:57");
    EXPECT_EQ(WeekdayTime(sunday, 1), "Su 07:12:57");
    EXPECT_EQ(WeekdayTime(sunday, 2), "Su 07:12:57");  // any value but 0 is English
    EXPECT_EQ(WeekdayTime(sunday, -1), "Su 07:12:57");
    std::tm evening = Moment(2026, 12, 9, 23, 5, 0, 3);
    EXPECT_EQ(WeekdayTime(evening, 0), "Mi 23:05:00");
    EXPECT_EQ(WeekdayTime(evening, 1), "We 23:05:00");
    EXPECT_EQ(WeekdayTime(Moment(2026, 12, 8, 0, 0, 0, 2), 0), "Di 00:00:00");  // not "Do"
}

TEST(DisplayFormat, WeekdayAbbreviations) {
    std::set<std::string> german;
    for (int d = 0; d < 7; ++d) {
        const std::tm t = Moment(2026, 12, 6, 7, 12, 57, d);
        const std::string de = WeekdayAbbreviation(d, 0), en = WeekdayAbbreviation(d, 1);
        // English: the first two letters of the C library's day names.
        char name[16];
        ASSERT_EQ(std::strftime(name, sizeof name, "%a", &t), 3u);
        EXPECT_EQ(en, std::string(name, 2));
        // German: two letters too, seven different ones, alike on Monday,
        // Friday and Saturday only.
        ASSERT_EQ(de.size(), 2u) << d;
        EXPECT_TRUE(std::isupper(de[0]) && std::islower(de[1])) << de;
        EXPECT_EQ(de == en, d == 1 || d == 5 || d == 6) << d;
        EXPECT_TRUE(german.insert(de).second) << de;
        // The clock line leads with it.
        EXPECT_EQ(WeekdayTime(t, 0), de + " 07:12:57");
        EXPECT_EQ(WeekdayTime(t, 1), en + " 07:12:57");
    }
}

TEST(DisplayFormat, WeekdayOutOfRangeIsEmpty) {
    EXPECT_STREQ(WeekdayAbbreviation(7, 0), "");
    EXPECT_STREQ(WeekdayAbbreviation(-1, 1), "");
    EXPECT_STREQ(WeekdayAbbreviation(INT_MAX, 0), "");
    EXPECT_STREQ(WeekdayAbbreviation(INT_MIN, 1), "");
    std::tm t = Moment(2026, 1, 1, 1, 2, 3, 9);
    EXPECT_EQ(WeekdayTime(t, 0), " 01:02:03");
}

TEST(DisplayFormat, SmallBuffersAreCutAndTerminated) {
    std::tm t = Moment(2026, 12, 6, 7, 12, 57, 0);
    char buffer[6];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(FormatDate(buffer, sizeof buffer, t));
    EXPECT_STREQ(buffer, "06.12");
    char exact[11];
    EXPECT_TRUE(FormatDate(exact, sizeof exact, t));
    EXPECT_STREQ(exact, "06.12.2026");
    char one[1] = {'x'};
    EXPECT_FALSE(FormatWeekdayTime(one, sizeof one, t, 0));
    EXPECT_EQ(one[0], '\0');
    EXPECT_FALSE(FormatDate(nullptr, 10, t));
    EXPECT_FALSE(FormatWeekdayTime(buffer, 0, t, 1));
}

TEST(DisplayFormat, ExtremeFieldsDoNotOverflow) {
    std::tm t = Moment(2026, 1, 1, 0, 0, 0, 0);
    t.tm_year = INT_MAX;
    t.tm_mon = INT_MAX;
    t.tm_mday = INT_MIN;
    char buffer[64];
    EXPECT_TRUE(FormatDate(buffer, sizeof buffer, t));
    EXPECT_STREQ(buffer, "-2147483648.2147483648.2147485547");
}

TEST(MeterValue, TruncatesTowardZero) {
    EXPECT_EQ(MeterValueFromLevel(0.999), 99);
    EXPECT_EQ(MeterValueFromLevel(1.0), 100);
    EXPECT_EQ(MeterValueFromLevel(0.0), 0);
    EXPECT_EQ(MeterValueFromLevel(0.4237), 42);
    EXPECT_EQ(MeterValueFromLevel(0.009), 0);
    EXPECT_EQ(MeterValueFromLevel(-0.019), -1);
}

TEST(MeterValue, NonFiniteAndHugeAreClamped) {
    EXPECT_EQ(MeterValueFromLevel(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(MeterValueFromLevel(std::numeric_limits<double>::infinity()), INT_MAX);
    EXPECT_EQ(MeterValueFromLevel(-std::numeric_limits<double>::infinity()), INT_MIN);
    EXPECT_EQ(MeterValueFromLevel(1e300), INT_MAX);
    EXPECT_EQ(MeterValueFromLevel(-1e300), INT_MIN);
    EXPECT_EQ(MeterValueFromLevel(3e7), INT_MAX);
    EXPECT_EQ(MeterValueFromLevel(-3e7), INT_MIN);
    EXPECT_EQ(MeterValueFromLevel(21474836.0), 2147483600);
}

TEST(MeterColor, AtAndJustBelowTheThreshold) {
    EXPECT_EQ(MeterColorFor(0.3, 0.3), 0x000080u);
    EXPECT_EQ(MeterColorFor(std::nextafter(0.3, 0.0), 0.3), 0x008000u);
    EXPECT_EQ(MeterColorFor(1.0, 0.3), 0x000080u);
    EXPECT_EQ(MeterColorFor(0.0, 0.0), 0x000080u);
    EXPECT_EQ(MeterColorFor(0.0, 0.5), 0x008000u);
    EXPECT_EQ(MeterColorFor(std::numeric_limits<double>::quiet_NaN(), 0.3), 0x008000u);
}
