#include "monitor/tick.h"

#include "monitor/alarm.h"
#include "protocol/level_protocol.h"

namespace {

// The outcomes of a call that could not be placed.
bool Failed(DialOutcome outcome) {
    return outcome == DialOutcome::SoftPhoneNotFound || outcome == DialOutcome::NoTelephonyApp;
}

// Places a call; one whose softphone is still starting waits for its window.
void PlaceCall(const MonitorSettings& settings, MonitorState& state, DialSink dial, void* context,
               TickResult& result) {
    if (!dial) return;
    const DialOutcome outcome = dial(MakeDialRequest(settings), context);
    if (outcome == DialOutcome::SoftPhoneStarting) state.pendingCallTicks = kPendingCallTicks;
    if (Failed(outcome)) result.callFailed = true;
    if (result.called) result.outcome = outcome;
}

void AskWaitingCall(const MonitorSettings& settings, MonitorState& state, DialSink dial, void* context,
                    TickResult& result) {
    if (state.pendingCallTicks <= 0 || !dial) return;
    DialRequest request = MakeDialRequest(settings);
    request.retry = true;
    const DialOutcome outcome = dial(request, context);
    if (outcome == DialOutcome::SoftPhoneStarting) {
        state.pendingCallTicks -= 1;
        if (state.pendingCallTicks == 0) result.callFailed = true;
        return;
    }
    state.pendingCallTicks = 0;
    if (Failed(outcome)) result.callFailed = true;
}

// True when the recording has been silent long enough for a trouble call.
bool TroubleCallDue(const MonitorSettings& settings, MonitorState& state) {
    if (state.ticksSinceTrouble < kTroubleGapTicks) state.ticksSinceTrouble += 1;
    if (!state.monitoring) return false;
    const unsigned heard = LoadBuffersHeard(state);
    if (heard != state.buffersHeardSeen) {
        // Sound again: this silence is over, and nothing more happens.
        state.buffersHeardSeen = heard;
        state.silentTicks = 0;
        state.troubleCalled = false;
        return false;
    }
    if (state.silentTicks < kTroubleSilenceTicks) state.silentTicks += 1;
    return state.silentTicks >= kTroubleSilenceTicks && !state.troubleCalled &&
           state.ticksSinceTrouble >= kTroubleGapTicks && settings.callNumber[0] != '\0' &&
           state.pendingCallTicks == 0;
}

}  // namespace

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

    AskWaitingCall(settings, state, dial, context, result);
    if (state.pendingCallTicks == 0 && AlarmCallDue(settings, state)) {
        result.called = true;
        MarkProtocolCall(state, RunMark::AlarmCall);
        PlaceCall(settings, state, dial, context, result);
        state.callsMade += 1;
        state.callCountdown = DelaySeconds(settings.callingDelay);
    }
    if (TroubleCallDue(settings, state)) {
        result.troubleCalled = true;
        state.troubleCalled = true;
        state.ticksSinceTrouble = 0;
        MarkProtocolCall(state, RunMark::TroubleCall);
        PlaceCall(settings, state, dial, context, result);
    }
    if (result.callFailed) MarkProtocolCall(state, RunMark::FailedCall);

    state.inTick = false;
    return result;
}
