#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/alarm.h"
#include "monitor/tick.h"
#include "protocol/level_protocol.h"

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
        settings.connectionType = kConnectModem;
        std::strcpy(settings.softPhonePath, "C:\\phone.exe");
        std::strcpy(settings.modemCommand, "ATDT");
        ComputeScales(settings, state);
    }
    void TearDown() override { CloseProtocol(state); }

    // The tick, with a dial sink that records each call and answers `answer`.
    std::tm now = {};
    std::vector<DialRequest> calls;
    DialOutcome answer = DialOutcome::Dialled;
    static DialOutcome Record(const DialRequest& request, void* context) {
        Fixture* self = static_cast<Fixture*>(context);
        self->calls.push_back(request);
        return self->answer;
    }
    // A working microphone: every tick sees a recorded buffer.
    bool hearing = true;
    TickResult Tick() {
        if (hearing) CountBufferHeard(state);
        return MonitorTick(settings, state, now, &Fixture::Record, this);
    }
    // Ticks until a call is placed (or what `did` names happens): how many
    // it took, 0 for none within `limit`.
    int TicksToCall(int limit, bool TickResult::*did = &TickResult::called) {
        for (int i = 1; i <= limit; ++i)
            if (Tick().*did) return i;
        return 0;
    }
    void Start() { ASSERT_EQ(ToggleMonitoring(settings, state), StartStopOutcome::Started); }
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

// The tick: its order, its once-a-second cadence and the call it hands on.

TEST_F(Fixture, TickOnceASecondTheCountdownFallsAndTheProtocolGetsALineEverySecondTickTheIndicatorSteps) {
    settings.logging = 1;
    state.protocolFile = std::tmpfile();
    ASSERT_NE(state.protocolFile, nullptr);
    Start();
    state.callCountdown = 5;
    std::string seconds, steps;
    for (int i = 1; i <= 20; ++i) {
        const TickResult r = Tick();
        EXPECT_TRUE(r.ran);
        seconds += r.secondPassed ? 's' : '.';
        steps += r.indicatorStepped ? 'i' : '.';
    }
    EXPECT_EQ(seconds, ".........s.........s");
    EXPECT_EQ(steps, ".i.i.i.i.i.i.i.i.i.i");
    EXPECT_EQ(state.indicatorStep, 4);  // ten steps from 0 through the six segments
    EXPECT_EQ(state.callCountdown, 3);
    EXPECT_EQ(state.tickCount, 0);
    std::rewind(state.protocolFile);
    char line[64];
    int lines = 0;
    while (std::fgets(line, sizeof line, state.protocolFile)) ++lines;
    EXPECT_EQ(lines, 2);
}

TEST_F(Fixture, TickWithMonitoringOffTheAlarmLevelMovesButNothingElseDoes) {
    StoreLevel(state, 1.0);
    for (int i = 0; i < 30; ++i) {
        const TickResult r = Tick();
        EXPECT_FALSE(r.indicatorStepped);
        EXPECT_FALSE(r.called);
    }
    EXPECT_DOUBLE_EQ(state.alarmLevel, 0.6);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(state.indicatorStep, 0);
}

TEST_F(Fixture, ATickInsideARunningTickChangesNothing) {
    Start();
    StoreLevel(state, 1.0);
    state.alarmLevel = 0.5;
    state.tickCount = 9;
    state.inTick = true;
    const TickResult r = Tick();
    EXPECT_FALSE(r.ran);
    EXPECT_FALSE(r.secondPassed);
    EXPECT_DOUBLE_EQ(state.alarmLevel, 0.5);
    EXPECT_EQ(state.tickCount, 9);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(state.inTick);
}

TEST_F(Fixture, FifteenLoudTicksCallWithTheSettingsThenTheDelayAndTheMaximumHold) {
    settings.maxCalls = 2;
    Start();
    StoreLevel(state, 1.0);
    EXPECT_EQ(TicksToCall(100), 15);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].channel, kConnectModem);
    EXPECT_STREQ(calls[0].number, "0301234");
    EXPECT_STREQ(calls[0].program, "C:\\phone.exe");
    EXPECT_STREQ(calls[0].modemCommand, "ATDT");
    EXPECT_EQ(state.callsMade, 1);
    EXPECT_EQ(state.callCountdown, 60);
    // The countdown of one minute: its first second is what is left of the
    // current one (the call came on the fifth tick of a second).
    EXPECT_EQ(TicksToCall(1000), 5 + 59 * kTicksPerSecond);
    EXPECT_EQ(TicksToCall(1000), 0);  // the maximum of two is reached
    EXPECT_EQ(calls.size(), 2u);
    // The next Start counts again.
    ASSERT_EQ(ToggleMonitoring(settings, state), StartStopOutcome::Stopped);
    Start();
    StoreLevel(state, 1.0);
    EXPECT_EQ(TicksToCall(100), 15);
}

TEST_F(Fixture, AFailedCallIsCountedLikeOneThatWentOutAndItsOutcomeReported) {
    answer = DialOutcome::SoftPhoneNotFound;
    Start();
    StoreLevel(state, 1.0);
    TickResult r;
    do r = Tick(); while (!r.called && state.alarmLevel < 1.0);
    EXPECT_TRUE(r.called);
    EXPECT_EQ(r.outcome, DialOutcome::SoftPhoneNotFound);
    EXPECT_EQ(state.callsMade, 1);
    EXPECT_EQ(state.callCountdown, 60);
}

TEST_F(Fixture, CallThresholdZeroCallsOnTheFirstTickOfSilence) {
    settings.callThreshold = 0;
    ComputeScales(settings, state);
    Start();
    EXPECT_EQ(TicksToCall(1), 1);
}

// The watch over the recording: a trouble call when nothing is heard.
TEST_F(Fixture, TwoMinutesWithoutARecordedBufferBringOneTroubleCallCountedNowhere) {
    hearing = false;
    Start();
    auto ticksToTrouble = [&](int limit) { return TicksToCall(limit, &TickResult::troubleCalled); };
    CountBufferHeard(state);
    EXPECT_EQ(ticksToTrouble(2 * kTroubleSilenceTicks), kTroubleSilenceTicks + 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_STREQ(calls[0].number, "0301234");
    EXPECT_EQ(state.callsMade, 0);
    EXPECT_EQ(state.callCountdown, 0);
    EXPECT_EQ(ticksToTrouble(5000), 0);  // one call per silence
    // Sound comes back and goes again: the next call only half an hour after the last.
    CountBufferHeard(state);
    EXPECT_EQ(ticksToTrouble(kTroubleGapTicks), kTroubleGapTicks - 5000);
    // A Stop ends the watch; the next Start begins a new one.
    state.ticksSinceTrouble = kTroubleGapTicks;
    ASSERT_EQ(ToggleMonitoring(settings, state), StartStopOutcome::Stopped);
    EXPECT_EQ(ticksToTrouble(2 * kTroubleSilenceTicks), 0);
    Start();
    EXPECT_EQ(ticksToTrouble(2 * kTroubleSilenceTicks), kTroubleSilenceTicks);
}

// A softphone that was started but shows its window late; one that cannot be started.
TEST_F(Fixture, ACallWaitsForTheSoftphonesWindowAndFailsOnlyAfterItsTime) {
    settings.callingDelay = 0;  // without the wait, every tick would call
    answer = DialOutcome::SoftPhoneStarting;
    Start();
    StoreLevel(state, 1.0);
    EXPECT_EQ(TicksToCall(100), 15);
    EXPECT_EQ(TicksToCall(30), 0);  // the alarm waits too
    answer = DialOutcome::Dialled;  // the window is there: the call goes out, the alarm goes on
    EXPECT_TRUE(Tick().called);
    ASSERT_EQ(calls.size(), 33u);
    for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i].retry, i > 0 && i < 32) << i;
    answer = DialOutcome::SoftPhoneStarting;  // a window that never comes
    EXPECT_TRUE(Tick().called);
    int ticks = 0;
    while (!Tick().callFailed && ticks < 1000) ++ticks;
    EXPECT_EQ(ticks + 1, kPendingCallTicks);
    answer = DialOutcome::SoftPhoneNotFound;  // fails at once, and nothing waits
    EXPECT_TRUE(Tick().callFailed);
    EXPECT_EQ(state.pendingCallTicks, 0);
    EXPECT_EQ(state.callsMade, 5);  // failed calls count like the others
}

}  // namespace
