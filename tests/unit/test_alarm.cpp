#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "monitor/alarm.h"

namespace {

struct Fixture : ::testing::Test {
    MonitorSettings settings;
    MonitorState state;

    void SetUp() override {
        std::memset(&settings, 0, sizeof settings);
        ResetMonitorState(state);
        settings.sensitivity = 75;
        settings.micThreshold = 50;
        settings.callThreshold = 30;
        settings.callingDelay = 1;
        settings.maxCalls = 10;
        std::strcpy(settings.callNumber, "0301234");
        ComputeScales(settings, state);
    }
};

TEST(MapRange, ClampsAndScales) {
    EXPECT_EQ(MapRange(5, 3, 3, 0, 1), 0.0);
    EXPECT_EQ(MapRange(150, 0, 100, 0, 1), 1.0);
    EXPECT_EQ(MapRange(-7, 0, 100, 0, 1), 0.0);
    EXPECT_EQ(MapRange(50, 0, 100, -30000, -500), -15250.0);
    EXPECT_DOUBLE_EQ(MapRange(25, 0, 100, 0, 1), 0.25);
}

TEST_F(Fixture, ScalesFollowTheSlidersAndOutOfRangeSettingsActAsTheNearerBound) {
    EXPECT_DOUBLE_EQ(LoadFullScale(state), 7875.0);
    EXPECT_DOUBLE_EQ(state.levelThreshold, 0.5);
    EXPECT_DOUBLE_EQ(state.alarmThreshold, 0.3);
    settings.sensitivity = 0;
    ComputeScales(settings, state);
    EXPECT_DOUBLE_EQ(LoadFullScale(state), 30000.0);
    settings.sensitivity = 100;
    ComputeScales(settings, state);
    EXPECT_DOUBLE_EQ(LoadFullScale(state), 500.0);
    settings.sensitivity = 250;
    settings.micThreshold = -40;
    settings.callThreshold = INT_MAX;
    ComputeScales(settings, state);
    EXPECT_DOUBLE_EQ(LoadFullScale(state), 500.0);
    EXPECT_DOUBLE_EQ(state.levelThreshold, 0.0);
    EXPECT_DOUBLE_EQ(state.alarmThreshold, 1.0);
    settings.sensitivity = INT_MIN;
    ComputeScales(settings, state);
    EXPECT_DOUBLE_EQ(LoadFullScale(state), 30000.0);
}

TEST_F(Fixture, AlarmLevelRisesFallsAndStaysWithinBounds) {
    StoreLevel(state, 0.5);  // at the threshold counts as loud
    AlarmLevelStep(state);
    EXPECT_DOUBLE_EQ(state.alarmLevel, 0.02);
    StoreLevel(state, 0.4999);
    AlarmLevelStep(state);
    EXPECT_NEAR(state.alarmLevel, 0.015, 1e-12);
    for (int i = 0; i < 10; ++i) AlarmLevelStep(state);
    EXPECT_EQ(state.alarmLevel, 0.0);
    StoreLevel(state, 1.0);
    for (int i = 0; i < 100; ++i) AlarmLevelStep(state);
    EXPECT_EQ(state.alarmLevel, 1.0);
    // 200 quiet ticks bring it back from 1 to 0 (floating-point steps may need one more).
    StoreLevel(state, 0.0);
    int ticks = 0;
    while (state.alarmLevel > 0.0 && ticks < 1000) {
        AlarmLevelStep(state);
        ++ticks;
    }
    EXPECT_GE(ticks, 200);
    EXPECT_LE(ticks, 201);
}

TEST_F(Fixture, MicThresholdZeroCountsSilenceAsLoud) {
    settings.micThreshold = 0;
    ComputeScales(settings, state);
    StoreLevel(state, 0.0);
    AlarmLevelStep(state);
    EXPECT_DOUBLE_EQ(state.alarmLevel, 0.02);
}

TEST_F(Fixture, CountdownStopsAtZero) {
    state.callCountdown = 2;
    CountdownStep(state);
    CountdownStep(state);
    CountdownStep(state);
    EXPECT_EQ(state.callCountdown, 0);
    state.callCountdown = -5;
    CountdownStep(state);
    EXPECT_EQ(state.callCountdown, 0);
}

TEST_F(Fixture, EachConditionOfTheDecisionIsNeeded) {
    state.monitoring = 1;
    state.alarmLevel = 0.3;
    EXPECT_TRUE(AlarmCallDue(settings, state));

    state.monitoring = 0;
    EXPECT_FALSE(AlarmCallDue(settings, state));
    state.monitoring = 1;

    state.callCountdown = 1;
    EXPECT_FALSE(AlarmCallDue(settings, state));
    state.callCountdown = -3;
    EXPECT_TRUE(AlarmCallDue(settings, state));
    state.callCountdown = 0;

    state.alarmLevel = 0.2999;
    EXPECT_FALSE(AlarmCallDue(settings, state));
    state.alarmLevel = 0.3;

    settings.callNumber[0] = '\0';
    EXPECT_FALSE(AlarmCallDue(settings, state));
    std::strcpy(settings.callNumber, "?");  // only Start checks the length
    EXPECT_TRUE(AlarmCallDue(settings, state));

    state.callsMade = 10;
    EXPECT_FALSE(AlarmCallDue(settings, state));
    settings.maxCalls = 0;
    state.callsMade = 0;
    EXPECT_FALSE(AlarmCallDue(settings, state));
    settings.maxCalls = -1;
    EXPECT_FALSE(AlarmCallDue(settings, state));  // signed comparison
}

TEST(DelaySeconds, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(DelaySeconds(1), 60);
    EXPECT_EQ(DelaySeconds(0), 0);
    EXPECT_EQ(DelaySeconds(INT_MAX), INT_MAX);
    EXPECT_EQ(DelaySeconds(INT_MAX / 60 + 1), INT_MAX);
    EXPECT_EQ(DelaySeconds(INT_MIN), INT_MIN);
    EXPECT_EQ(DelaySeconds(-2), -120);
}

TEST_F(Fixture, StartStopRules) {
    std::strcpy(settings.callNumber, "?");
    EXPECT_EQ(ToggleMonitoring(settings, state), StartStopOutcome::RefusedNoNumber);
    EXPECT_EQ(state.monitoring, 0);
    std::strcpy(settings.callNumber, "5");
    EXPECT_EQ(ToggleMonitoring(settings, state), StartStopOutcome::RefusedNoNumber);
    settings.callNumber[0] = '\0';
    EXPECT_EQ(ToggleMonitoring(settings, state), StartStopOutcome::RefusedNoNumber);

    std::strcpy(settings.callNumber, "55");
    state.alarmLevel = 0.7;
    state.callsMade = 4;
    state.callCountdown = 33;
    state.indicatorStep = 3;
    EXPECT_EQ(ToggleMonitoring(settings, state), StartStopOutcome::Started);
    EXPECT_EQ(state.monitoring, 1);
    EXPECT_EQ(state.alarmLevel, 0.0);
    EXPECT_EQ(state.callsMade, 0);
    EXPECT_EQ(state.callCountdown, 0);
    EXPECT_EQ(state.indicatorStep, 3);

    state.callsMade = 2;
    state.callCountdown = 50;
    EXPECT_EQ(ToggleMonitoring(settings, state), StartStopOutcome::Stopped);
    EXPECT_EQ(state.monitoring, 0);
    EXPECT_EQ(state.indicatorStep, -1);
    // Stop does not reset the count; the next Start does.
    EXPECT_EQ(state.callsMade, 2);
    EXPECT_EQ(ToggleMonitoring(settings, state), StartStopOutcome::Started);
    EXPECT_EQ(state.callsMade, 0);
    EXPECT_EQ(state.callCountdown, 0);
}

TEST(Indicator, StepsThroughSixSegments) {
    EXPECT_EQ(NextIndicatorStep(0), 1);  // first run after start-up lights 751
    EXPECT_EQ(NextIndicatorStep(-1), 0); // after a Stop the next run lights 750
    EXPECT_EQ(NextIndicatorStep(4), 5);
    EXPECT_EQ(NextIndicatorStep(5), 0);
    EXPECT_EQ(NextIndicatorStep(99), 0);
}

}  // namespace
