// What a monitoring run's picture shows: the alarm level and the calling
// threshold second by second, the calls at their moments, and how that
// scales into the picture. Standard library only: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// Levels and thresholds are kept in tenths of a point, 0..1000.
constexpr int kRunLevelTop = 1000;
// The record never holds more than this many stretches of time: when full,
// each two neighbours become one twice as long, so a run of any length
// takes the same memory.
constexpr std::size_t kRunStretches = 4096;
// Marks beyond this many are dropped; the first ones stay.
constexpr std::size_t kRunMarks = 1024;

enum class RunMark : std::uint8_t { AlarmCall, TroubleCall, FailedCall };

// Second i of the run spans the tenths [10 i, 10 i + 10) and shows the
// level of the protocol's line i, written at its end.
struct RunEvent {
    std::int64_t tenths;
    RunMark mark;
};

// The highest alarm level of a stretch of seconds, and the calling
// threshold at its end.
struct RunStretch {
    std::uint16_t level;
    std::uint16_t threshold;
};

struct RunRecord {
    std::string picture;            // where the picture goes
    std::tm start = {};             // when the run began
    std::tm last = {};              // the time of its latest second
    std::int64_t seconds = 0;       // seconds recorded
    std::int64_t stretchSeconds = 1;
    std::vector<RunStretch> stretches;
    std::vector<RunEvent> events;
};

// A level or threshold 0..1 in tenths of a point; NaN gives 0.
std::uint16_t RunTenths(double value);

// One second of the run, stamped `now`.
void RecordSecond(RunRecord& run, double alarmLevel, double callThreshold, const std::tm& now);

// A call placed `tenthsIntoSecond` (0..9) tenths after the latest line.
void RecordMark(RunRecord& run, RunMark mark, int tenthsIntoSecond);

// One column of the picture's plot: the highest level of the seconds it
// covers (-1: none) and the threshold at the last of them.
struct RunColumn {
    int level;
    int threshold;
};

// The run spread over `width` columns, its first second at the left edge
// and its last at the right.
std::vector<RunColumn> ScaleRun(const RunRecord& run, int width);

// The column (0..width-1) of a moment `tenths` into the run.
int RunColumnOf(const RunRecord& run, std::int64_t tenths, int width);

// The row (0 = top .. height-1 = bottom) of a level in tenths of a point.
int RunRowOf(int tenthsOfPoint, int height);

// A whole hour inside the run: its column and the hour of the day.
struct HourMark {
    int column;
    int hour;
};

// The whole hours the run passed, counted on from its start; every hour
// up to a day, else every few hours so that no more than 24 are marked.
std::vector<HourMark> RunHourMarks(const RunRecord& run, int width);

// "DD.MM.YYYY HH:MM" of a time; same buffer rules as the protocol's texts.
bool FormatRunMoment(char* out, std::size_t size, const std::tm& time);
