// A run scaled into its picture: short runs, a run over midnight, twelve
// hours and three days, and the calls at their moments.
#include <gtest/gtest.h>

#include <cstring>

#include "base/placeholder.h"
#include "protocol/run_record.h"

namespace {

constexpr int kWidth = 1120;

std::tm At(int hour, int minute, int second) {
    std::tm t = {};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// `seconds` seconds at `level` under threshold 0.3, one at `loud` if >= 0.
RunRecord MakeRun(std::tm start, long seconds, double level, long loud = -1) {
    RunRecord run;
    run.start = start;
    for (long s = 0; s < seconds; ++s) RecordSecond(run, s == loud ? 1.0 : level, 0.3, start);
    return run;
}

TEST(RunRecord, AShortRunFillsThePlotSecondBySecond) {
    RunRecord run = MakeRun(At(21, 0, 5), 5, 0.1);
    RecordSecond(run, 0.5, 0.3, At(21, 0, 10));
    RecordMark(run, RunMark::AlarmCall, 4);  // 0.4 s into the seventh second
    const auto columns = ScaleRun(run, kWidth);
    ASSERT_EQ(columns.size(), static_cast<size_t>(kWidth));
    for (int c = 0; c < kWidth; ++c) {
        EXPECT_EQ(columns[c].level, c < kWidth * 5 / 6 ? 100 : 500) << c;
        EXPECT_EQ(columns[c].threshold, 300);
    }
    EXPECT_EQ(RunColumnOf(run, run.events[0].tenths, kWidth), kWidth - 1);  // beyond the last line
    EXPECT_EQ(RunColumnOf(run, 10 * 5 + 4, kWidth), kWidth * 54 / 60);
    EXPECT_TRUE(RunHourMarks(run, kWidth).empty());
    EXPECT_EQ(RunRowOf(0, 316), 315);
    EXPECT_EQ(RunRowOf(1000, 316), 0);
    EXPECT_EQ(RunRowOf(300, 316), 315 - 94);
    EXPECT_TRUE(ScaleRun(RunRecord(), kWidth)[0].level < 0);  // nothing recorded, nothing drawn
}

TEST(RunRecord, HoursAreCountedOnOverMidnight) {
    const RunRecord run = MakeRun(At(23, 30, 0), 2 * 3600, 0.0);
    const auto marks = RunHourMarks(run, kWidth);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].hour, 0);
    EXPECT_EQ(marks[0].column, kWidth / 4);
    EXPECT_EQ(marks[1].hour, 1);
    EXPECT_EQ(marks[1].column, kWidth * 3 / 4);
    const auto onTheHour = RunHourMarks(MakeRun(At(23, 0, 0), 3601, 0.0), kWidth);
    ASSERT_EQ(onTheHour.size(), 2u);
    EXPECT_EQ(onTheHour[0].column, 0);
    EXPECT_EQ(onTheHour[0].hour, 23);
    EXPECT_EQ(onTheHour[1].hour, 0);
}

TEST(RunRecord, TwelveHoursKeepEveryLoudSecondInBoundedMemory) {
    const long loud = 6 * 3600 + 17;
    const RunRecord run = MakeRun(At(20, 15, 0), 12 * 3600, 0.1, loud);
    EXPECT_LE(run.stretches.size(), kRunStretches);
    EXPECT_EQ(run.seconds, 12 * 3600);
    const auto columns = ScaleRun(run, kWidth);
    int loudColumns = 0;
    for (int c = 0; c < kWidth; ++c) {
        EXPECT_GE(columns[c].level, 100) << c;
        if (columns[c].level == 1000) {
            ++loudColumns;
            EXPECT_NEAR(c, loud * kWidth / (12 * 3600), 1);
        }
    }
    EXPECT_EQ(loudColumns, 1);
    const auto marks = RunHourMarks(run, kWidth);
    ASSERT_EQ(marks.size(), 12u);
    EXPECT_EQ(marks.front().hour, 21);
    EXPECT_EQ(marks.back().hour, 8);

    // Three days: every third hour, never more than 24 marks.
    const auto days = RunHourMarks(MakeRun(At(0, 0, 0), 3 * 24 * 3600, 0.0), kWidth);
    ASSERT_EQ(days.size(), 24u);
    EXPECT_EQ(days[1].hour, 3);
}

TEST(RunRecord, MarksAreBoundedAndTheTitleTakesItsValuesInOrder) {
    RunRecord run;
    for (size_t i = 0; i < kRunMarks + 5; ++i) RecordMark(run, RunMark::TroubleCall, 99);
    EXPECT_EQ(run.events.size(), kRunMarks);
    EXPECT_EQ(run.events[0].tenths, 9);  // within its second

    char title[32];
    const char* values[] = {"a", "b", nullptr, "d"};
    FillPlaceholders(title, sizeof title, "%s-%s-%s-%s-%s 100%%", values, 4);
    EXPECT_STREQ(title, "a-b--d-%s 100%");
    char moment[17];
    EXPECT_TRUE(FormatRunMoment(moment, sizeof moment, At(7, 5, 9)));
    EXPECT_STREQ(moment, "07.12.2026 07:05");
    EXPECT_FALSE(FormatRunMoment(moment, 16, At(7, 5, 9)));
}

}  // namespace
