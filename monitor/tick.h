// The monitor's work of one 100 ms tick, in its fixed order. No platform
// headers: the window calls it and then shows what it did.
#pragma once

#include <ctime>

#include "base/monitor_settings.h"
#include "base/monitor_state.h"
#include "calling/dial_sequence.h"

constexpr int kTicksPerSecond = 10;
// Nothing heard for this long while monitoring brings a trouble call ...
constexpr int kTroubleSilenceTicks = 2 * 60 * kTicksPerSecond;
// ... but never two within this time.
constexpr int kTroubleGapTicks = 30 * 60 * kTicksPerSecond;
// How long a call waits for a softphone that was started to show its window.
constexpr int kPendingCallTicks = 15 * kTicksPerSecond;

// Takes a call that the tick placed and says what became of it.
using DialSink = DialOutcome (*)(const DialRequest& request, void* context);

// What one tick did, for the window to show.
struct TickResult {
    bool ran = false;               // false: another tick was still running, nothing changed
    bool indicatorStepped = false;  // state.indicatorStep moved on
    bool secondPassed = false;      // the once-a-second step ran with `now`
    bool called = false;            // the alarm decision placed a call ...
    DialOutcome outcome = DialOutcome::NothingToDo;  // ... with this outcome
    bool troubleCalled = false;     // the recording was silent too long: a trouble call went out
    bool callFailed = false;        // an alarm or trouble call could not be placed
};

// One tick: the re-entrancy guard; the alarm-level step; the tick counter;
// every second tick while monitoring the activity indicator; every tenth the
// countdown step and a protocol line stamped `now`. Then the calls, each
// handed to dial(request, context) (no sink: counted, not dialled):
//  - a call still waiting for its softphone's window asks again; after
//    kPendingCallTicks it has failed;
//  - the alarm decision, unless a call waits: it counts the call and
//    restarts the countdown;
//  - while monitoring, the watch over the recording: when no buffer with
//    recorded bytes came for kTroubleSilenceTicks, one trouble call for this
//    silence (and none within kTroubleGapTicks of the last), counted nowhere.
// Each call, and each call that failed, is marked in the run's record.
TickResult MonitorTick(const MonitorSettings& settings, MonitorState& state, const std::tm& now,
                       DialSink dial, void* context);
