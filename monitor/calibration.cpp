#include "monitor/calibration.h"

#include <cmath>
#include <cstring>

namespace {

// A level just above a whole point by the rounding of its division (2205 of
// 7875 times 100 is 28.000000000000004) still counts under that point.
constexpr double kRoundingSlack = 1e-9;

int PointAtOrAbove(double level) {
    if (!(level > 0.0)) return 0;  // also NaN
    if (level >= 1.0) return kLevelPoints;
    return static_cast<int>(std::ceil(level * kLevelPoints - kRoundingSlack));
}

}  // namespace

void ResetCalibration(CalibrationLevels& levels) { std::memset(&levels, 0, sizeof levels); }

void AddCalibrationLevel(CalibrationLevels& levels, double level) {
    if (levels.heard == UINT32_MAX) return;
    ++levels.buffers[PointAtOrAbove(level)];
    ++levels.heard;
}

CalibrationResult ProposeThreshold(const CalibrationLevels& levels) {
    CalibrationResult r;
    r.heard = levels.heard;
    if (r.heard == 0) return r;
    const std::uint64_t needed = static_cast<std::uint64_t>(r.heard) * kQuietRoomShare;
    std::uint64_t atOrUnder = 0;
    bool found = false;
    for (int point = 0; point <= kLevelPoints; ++point) {
        if (levels.buffers[point] == 0) continue;
        r.highest = point;
        atOrUnder += levels.buffers[point];
        if (!found && atOrUnder * 100 >= needed) {
            r.quietLevel = point;
            found = true;
        }
    }
    r.quiet = r.quietLevel <= kQuietRoomLimit;
    if (r.quiet) r.proposal = r.quietLevel + kCalibrationMargin;
    return r;
}
