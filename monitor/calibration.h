// The calibration aid's arithmetic: the levels heard in a minute of a quiet
// room and the microphone threshold they suggest. No platform headers.
#pragma once

#include <cstdint>

// How long the aid listens.
constexpr int kCalibrationSeconds = 60;
// The proposal lies this many slider points above the quiet room's level ...
constexpr int kCalibrationMargin = 10;
// ... and there is none when that level is above the middle of the scale:
// the room was not quiet.
constexpr int kQuietRoomLimit = 50;
// The quiet room's level is the one this share (per cent) of the buffers stay at or under.
constexpr int kQuietRoomShare = 99;
// Levels on the slider scale 0..100.
constexpr int kLevelPoints = 100;
constexpr int kNoProposal = -1;

static_assert(kQuietRoomLimit + kCalibrationMargin <= kLevelPoints,
              "every proposal lies on the slider");

// The buffers heard, counted per level point (memory that does not grow,
// however long the aid listens).
struct CalibrationLevels {
    std::uint32_t buffers[kLevelPoints + 1];
    std::uint32_t heard;
};

struct CalibrationResult {
    std::uint32_t heard = 0;  // buffers heard
    int highest = 0;          // highest level, 0..100
    int quietLevel = 0;       // the smallest level that at least 99 % of the buffers are at or under
    bool quiet = false;       // something was heard and quietLevel is at most kQuietRoomLimit
    int proposal = kNoProposal;  // 0..100, kNoProposal unless quiet
};

void ResetCalibration(CalibrationLevels& levels);

// One buffer's level 0..1, counted under the whole point at or above it
// (NaN and levels below 0 count as 0, those above 1 as 100). Counting stops
// when the counter is full.
void AddCalibrationLevel(CalibrationLevels& levels, double level);

// What the levels say, and the microphone threshold just above the quiet
// room: its level plus the margin, so that the room's own sound stays below
// the threshold. A few loud buffers (at most 1 in 100) do not move it.
CalibrationResult ProposeThreshold(const CalibrationLevels& levels);
