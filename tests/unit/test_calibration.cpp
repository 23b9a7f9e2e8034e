// The calibration aid: a minute of buffer levels and the microphone
// threshold proposed from them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "monitor/alarm.h"
#include "monitor/calibration.h"

namespace {

// A minute of buffers (2048 samples at 11025 Hz each) at the default
// sensitivity's full scale.
constexpr int kBuffersPerMinute = kCalibrationSeconds * 11025 / 2048;
constexpr double kFullScale = 7875.0;

CalibrationLevels Minute(std::uint32_t peak, int loudBuffers = 0, std::uint32_t loudPeak = 32768) {
    CalibrationLevels levels;
    ResetCalibration(levels);
    for (int i = 0; i < kBuffersPerMinute; ++i)
        AddCalibrationLevel(levels, LevelFromPeak(i < loudBuffers ? loudPeak : peak, kFullScale));
    return levels;
}

}  // namespace

TEST(Calibration, AQuietRoomGetsAThresholdJustAboveItsLevel) {
    // 2205 of 7875 is the level 0.28; the division's rounding (28.000000000000004
    // points) does not lift it to 29.
    const CalibrationResult r = ProposeThreshold(Minute(2205));
    EXPECT_EQ(static_cast<std::uint32_t>(kBuffersPerMinute), r.heard);
    EXPECT_EQ(28, r.highest);
    EXPECT_EQ(28, r.quietLevel);
    EXPECT_TRUE(r.quiet);
    EXPECT_EQ(28 + kCalibrationMargin, r.proposal);
    // One sample more is above 0.28: counted under 29.
    EXPECT_EQ(29, ProposeThreshold(Minute(2206)).quietLevel);
    // Digital silence: the smallest threshold the margin allows.
    EXPECT_EQ(kCalibrationMargin, ProposeThreshold(Minute(0)).proposal);
    // The room's own level stays below the proposal: it would not count as loud.
    for (std::uint32_t peak : {0u, 1u, 2205u, 2206u, 3937u}) {
        const CalibrationResult q = ProposeThreshold(Minute(peak));
        ASSERT_TRUE(q.quiet) << peak;
        EXPECT_LT(LevelFromPeak(peak, kFullScale), q.proposal / 100.0) << peak;
    }
}

TEST(Calibration, AFewLoudBuffersShowAsTheHighestButDoNotMoveTheProposal) {
    const CalibrationResult quiet = ProposeThreshold(Minute(2205));
    // One click, and as many loud buffers as 1 in 100 of the minute.
    for (int loud : {1, kBuffersPerMinute / 100}) {
        const CalibrationResult r = ProposeThreshold(Minute(2205, loud));
        EXPECT_EQ(100, r.highest) << loud;
        EXPECT_EQ(quiet.quietLevel, r.quietLevel) << loud;
        EXPECT_EQ(quiet.proposal, r.proposal) << loud;
    }
    // One more, and they are the room's level.
    EXPECT_EQ(100, ProposeThreshold(Minute(2205, kBuffersPerMinute / 100 + 1)).quietLevel);
}

TEST(Calibration, ALoudRoomOrNothingHeardProposesNothing) {
    // 3937 of 7875 is just under the middle, 3938 just over it.
    EXPECT_EQ(50 + kCalibrationMargin, ProposeThreshold(Minute(3937)).proposal);
    const CalibrationResult loud = ProposeThreshold(Minute(3938));
    EXPECT_EQ(51, loud.quietLevel);
    EXPECT_FALSE(loud.quiet);
    EXPECT_EQ(kNoProposal, loud.proposal);

    CalibrationLevels none;
    ResetCalibration(none);
    const CalibrationResult silent = ProposeThreshold(none);
    EXPECT_EQ(0u, silent.heard);
    EXPECT_FALSE(silent.quiet);
    EXPECT_EQ(kNoProposal, silent.proposal);
}

TEST(Calibration, LevelsOffTheScaleAreCountedAtItsEnds) {
    CalibrationLevels levels;
    ResetCalibration(levels);
    for (double level : {std::numeric_limits<double>::quiet_NaN(), -1.0, 7.0,
                         std::numeric_limits<double>::infinity()})
        AddCalibrationLevel(levels, level);
    EXPECT_EQ(2u, levels.buffers[0]);
    EXPECT_EQ(2u, levels.buffers[kLevelPoints]);
    // A full counter takes no more.
    levels.heard = UINT32_MAX;
    AddCalibrationLevel(levels, 0.5);
    EXPECT_EQ(0u, levels.buffers[50]);
}
