// The monitor's tick: its order, its once-a-second cadence and the alarm
// decision with the call it hands on.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/alarm.h"
#include "monitor/tick.h"
#include "protocol/level_protocol.h"

namespace {

struct Tick : ::testing::Test {
    MonitorSettings settings;
    MonitorState state;
    std::tm now = {};
    std::vector<DialRequest> calls;
    DialOutcome answer = DialOutcome::Dialled;

    void SetUp() override {
        std::memset(&settings, 0, sizeof settings);
        ResetMonitorState(state);
        settings.sensitivity = 75;
        settings.micThreshold = 50;
        settings.callThreshold = 30;
        settings.callingDelay = 1;
        settings.maxCalls = 2;
        settings.connectionType = kConnectModem;
        std::strcpy(settings.callNumber, "0301234");
        std::strcpy(settings.softPhonePath, "C:\\phone.exe");
        std::strcpy(settings.modemCommand, "ATDT");
        ComputeScales(settings, state);
        now.tm_year = 126;
        now.tm_mday = 8;
    }
    void TearDown() override { CloseProtocol(state); }

    static DialOutcome Record(const DialRequest& request, void* context) {
        Tick* self = static_cast<Tick*>(context);
        self->calls.push_back(request);
        return self->answer;
    }
    TickResult Run() { return MonitorTick(settings, state, now, &Tick::Record, this); }
    // Ticks until a call is placed; the number of ticks it took, 0 for none within `limit`.
    int TicksToCall(int limit) {
        for (int i = 1; i <= limit; ++i)
            if (Run().called) return i;
        return 0;
    }
    void Start() { ASSERT_EQ(ToggleMonitoring(settings, state), StartStopOutcome::Started); }
};

TEST_F(Tick, OnceASecondTheCountdownFallsAndTheProtocolGetsALineEverySecondTickTheIndicatorSteps) {
    settings.logging = 1;
    state.protocolFile = std::tmpfile();
    ASSERT_NE(state.protocolFile, nullptr);
    Start();
    state.callCountdown = 5;
    std::string seconds, steps;
    for (int i = 1; i <= 20; ++i) {
        const TickResult r = Run();
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

TEST_F(Tick, WithMonitoringOffTheAlarmLevelMovesButNothingElseDoes) {
    StoreLevel(state, 1.0);
    for (int i = 0; i < 30; ++i) {
        const TickResult r = Run();
        EXPECT_FALSE(r.indicatorStepped);
        EXPECT_FALSE(r.called);
    }
    EXPECT_DOUBLE_EQ(state.alarmLevel, 0.6);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(state.indicatorStep, 0);
}

TEST_F(Tick, ATickInsideARunningTickChangesNothing) {
    Start();
    StoreLevel(state, 1.0);
    state.alarmLevel = 0.5;
    state.tickCount = 9;
    state.inTick = true;
    const TickResult r = Run();
    EXPECT_FALSE(r.ran);
    EXPECT_FALSE(r.secondPassed);
    EXPECT_DOUBLE_EQ(state.alarmLevel, 0.5);
    EXPECT_EQ(state.tickCount, 9);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(state.inTick);
}

TEST_F(Tick, FifteenLoudTicksCallWithTheSettingsThenTheDelayAndTheMaximumHold) {
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

TEST_F(Tick, AFailedCallIsCountedLikeOneThatWentOutAndItsOutcomeReported) {
    answer = DialOutcome::SoftPhoneNotFound;
    Start();
    StoreLevel(state, 1.0);
    TickResult r;
    do r = Run(); while (!r.called && state.alarmLevel < 1.0);
    EXPECT_TRUE(r.called);
    EXPECT_EQ(r.outcome, DialOutcome::SoftPhoneNotFound);
    EXPECT_EQ(state.callsMade, 1);
    EXPECT_EQ(state.callCountdown, 60);
}

TEST_F(Tick, CallThresholdZeroCallsOnTheFirstTickOfSilence) {
    settings.callThreshold = 0;
    ComputeScales(settings, state);
    Start();
    EXPECT_EQ(TicksToCall(1), 1);
}

}  // namespace
