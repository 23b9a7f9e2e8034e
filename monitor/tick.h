// The monitor's work of one 100 ms tick, in its fixed order. No platform
// headers: the window calls it and then shows what it did.
#pragma once

#include <ctime>

#include "base/monitor_settings.h"
#include "base/monitor_state.h"
#include "calling/dial_sequence.h"

constexpr int kTicksPerSecond = 10;

// Takes the alarm call that the tick decided on and says what became of it.
using DialSink = DialOutcome (*)(const DialRequest& request, void* context);

// What one tick did, for the window to show.
struct TickResult {
    bool ran = false;               // false: another tick was still running, nothing changed
    bool indicatorStepped = false;  // state.indicatorStep moved on
    bool secondPassed = false;      // the once-a-second step ran with `now`
    bool called = false;            // the alarm decision placed a call ...
    DialOutcome outcome = DialOutcome::NothingToDo;  // ... with this outcome
};

// One tick: the re-entrancy guard; the alarm-level step; the tick counter;
// every second tick while monitoring the activity indicator; every tenth the
// countdown step and a protocol line stamped `now`; then the alarm decision,
// which hands the call to dial(request, context) (no sink: counted, not
// dialled), counts it and restarts the countdown.
TickResult MonitorTick(const MonitorSettings& settings, MonitorState& state, const std::tm& now,
                       DialSink dial, void* context);
