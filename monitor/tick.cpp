#include "monitor/tick.h"

#include "monitor/alarm.h"
#include "protocol/level_protocol.h"

TickResult MonitorTick(const MonitorSettings& settings, MonitorState& state, const std::tm& now,
                       DialSink dial, void* context) {
    TickResult result;
    if (state.inTick) return result;
    state.inTick = true;
    result.ran = true;

    AlarmLevelStep(state);
    state.tickCount += 1;
    if (state.monitoring && state.tickCount % 2 == 0) {
        state.indicatorStep = NextIndicatorStep(state.indicatorStep);
        result.indicatorStepped = true;
    }
    if (state.tickCount >= kTicksPerSecond) {
        result.secondPassed = true;
        state.tickCount = 0;
        CountdownStep(state);
        WriteProtocolLine(settings, state, now);
    }
    if (AlarmCallDue(settings, state)) {
        result.called = true;
        if (dial) result.outcome = dial(MakeDialRequest(settings), context);
        state.callsMade += 1;
        state.callCountdown = DelaySeconds(settings.callingDelay);
    }

    state.inTick = false;
    return result;
}
