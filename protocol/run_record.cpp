#include "protocol/run_record.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kMostHourMarks = 24;

int Clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }

// Two neighbouring stretches become one twice as long.
void Fold(RunRecord& run) {
    const std::size_t half = run.stretches.size() / 2;
    for (std::size_t i = 0; i < half; ++i) {
        const RunStretch& a = run.stretches[2 * i];
        const RunStretch& b = run.stretches[2 * i + 1];
        run.stretches[i] = {std::max(a.level, b.level), b.threshold};
    }
    run.stretches.resize(half);
    run.stretchSeconds *= 2;
}

}  // namespace

std::uint16_t RunTenths(double value) {
    if (!(value > 0.0)) return 0;  // also NaN
    if (value >= 1.0) return kRunLevelTop;
    return static_cast<std::uint16_t>(std::lround(value * kRunLevelTop));
}

void RecordSecond(RunRecord& run, double alarmLevel, double callThreshold, const std::tm& now) {
    const RunStretch second = {RunTenths(alarmLevel), RunTenths(callThreshold)};
    if (run.seconds % run.stretchSeconds != 0 && !run.stretches.empty()) {
        RunStretch& open = run.stretches.back();
        open.level = std::max(open.level, second.level);
        open.threshold = second.threshold;
    } else {
        if (run.stretches.size() >= kRunStretches) Fold(run);
        run.stretches.push_back(second);
    }
    run.seconds += 1;
    run.last = now;
}

void RecordMark(RunRecord& run, RunMark mark, int tenthsIntoSecond) {
    if (run.events.size() >= kRunMarks) return;
    // Into the second that the next line will show.
    run.events.push_back({run.seconds * 10 + Clamp(tenthsIntoSecond, 0, 9), mark});
}

std::vector<RunColumn> ScaleRun(const RunRecord& run, int width) {
    std::vector<RunColumn> columns(static_cast<std::size_t>(std::max(width, 0)), RunColumn{-1, 0});
    const std::int64_t span = run.seconds;
    if (span <= 0 || run.stretches.empty()) return columns;
    const std::int64_t lastStretch = static_cast<std::int64_t>(run.stretches.size()) - 1;
    for (int c = 0; c < width; ++c) {
        // The seconds [first, end) fall into this column.
        const std::int64_t first = c * span / width;
        const std::int64_t end = std::max(first + 1, ((c + 1) * span + width - 1) / width);
        const std::int64_t from = std::min(first / run.stretchSeconds, lastStretch);
        const std::int64_t to = std::min((end - 1) / run.stretchSeconds, lastStretch);
        RunColumn column = {0, run.stretches[static_cast<std::size_t>(to)].threshold};
        for (std::int64_t s = from; s <= to; ++s)
            column.level = std::max<int>(column.level, run.stretches[static_cast<std::size_t>(s)].level);
        columns[static_cast<std::size_t>(c)] = column;
    }
    return columns;
}

int RunColumnOf(const RunRecord& run, std::int64_t tenths, int width) {
    if (width <= 0) return 0;
    const std::int64_t span = std::max<std::int64_t>(run.seconds, 1) * 10;
    const std::int64_t at = std::max<std::int64_t>(tenths, 0) * width / span;
    return static_cast<int>(std::min<std::int64_t>(at, width - 1));
}

int RunRowOf(int tenthsOfPoint, int height) {
    if (height <= 0) return 0;
    const int level = Clamp(tenthsOfPoint, 0, kRunLevelTop);
    return (height - 1) - level * (height - 1) / kRunLevelTop;
}

std::vector<HourMark> RunHourMarks(const RunRecord& run, int width) {
    std::vector<HourMark> marks;
    const std::tm& start = run.start;
    const std::int64_t intoHour = Clamp(start.tm_min, 0, 59) * 60 + Clamp(start.tm_sec, 0, 59);
    const std::int64_t first = intoHour == 0 ? 0 : kSecondsPerHour - intoHour;
    if (first >= run.seconds) return marks;
    const std::int64_t hours = (run.seconds - 1 - first) / kSecondsPerHour + 1;
    const std::int64_t step = (hours + kMostHourMarks - 1) / kMostHourMarks;
    const int firstHour = Clamp(start.tm_hour, 0, 23) + (intoHour == 0 ? 0 : 1);
    for (std::int64_t k = 0; k < hours; k += step) {
        const std::int64_t second = first + k * kSecondsPerHour;
        marks.push_back({RunColumnOf(run, second * 10, width), static_cast<int>((firstHour + k) % 24)});
    }
    return marks;
}

bool FormatRunMoment(char* out, std::size_t size, const std::tm& time) {
    if (!out || size == 0) return false;
    const int written = std::snprintf(out, size, "%02lld.%02lld.%04lld %02lld:%02lld",
                                      static_cast<long long>(time.tm_mday),
                                      static_cast<long long>(time.tm_mon) + 1,
                                      static_cast<long long>(time.tm_year) + 1900,
                                      static_cast<long long>(time.tm_hour),
                                      static_cast<long long>(time.tm_min));
    if (written < 0 || static_cast<std::size_t>(written) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}
