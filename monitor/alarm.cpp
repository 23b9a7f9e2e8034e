#include "monitor/alarm.h"

#include <climits>
#include <cstring>

double MapRange(double x, double inLow, double inHigh, double outLow, double outHigh) {
    if (inLow == inHigh) return 0.0;
    if (x < inLow) x = inLow;
    if (x > inHigh) x = inHigh;
    return ((x - inLow) * (outHigh - outLow)) / (inHigh - inLow) + outLow;
}

void ComputeScales(const MonitorSettings& settings, MonitorState& state) {
    double full = MapRange(settings.sensitivity, 0, 100, -kFullScaleAtZero, -kFullScaleAtHundred);
    StoreFullScale(state, full < 0 ? -full : full);
    state.levelThreshold = MapRange(settings.micThreshold, 0, 100, 0, 1);
    state.alarmThreshold = MapRange(settings.callThreshold, 0, 100, 0, 1);
}

uint32_t PeakOfSamples(const int16_t* samples, size_t count) {
    uint32_t peak = 0;
    if (!samples) return 0;
    for (size_t i = 0; i < count; ++i) {
        int32_t v = samples[i];
        uint32_t magnitude = static_cast<uint32_t>(v < 0 ? -v : v);
        if (magnitude > peak) peak = magnitude;
    }
    return peak;
}

double LevelFromPeak(uint32_t peak, double fullScale) {
    return MapRange(static_cast<double>(peak), 0, fullScale, 0, 1);
}

void AlarmLevelStep(MonitorState& state) {
    if (LoadLevel(state) >= state.levelThreshold)
        state.alarmLevel += kAlarmRise;
    else
        state.alarmLevel -= kAlarmFall;
    if (state.alarmLevel > 1.0)
        state.alarmLevel = 1.0;
    else if (state.alarmLevel < 0.0)
        state.alarmLevel = 0.0;
}

void CountdownStep(MonitorState& state) {
    if (state.callCountdown > 0) state.callCountdown -= 1;
    else state.callCountdown = 0;
}

int DelaySeconds(int32_t callingDelay) {
    const int64_t seconds = static_cast<int64_t>(callingDelay) * kSecondsPerDelayMinute;
    if (seconds > INT_MAX) return INT_MAX;
    if (seconds < INT_MIN) return INT_MIN;
    return static_cast<int>(seconds);
}

bool AlarmCallDue(const MonitorSettings& settings, const MonitorState& state) {
    return state.monitoring != 0 && state.callCountdown <= 0 &&
           state.alarmLevel >= state.alarmThreshold && settings.callNumber[0] != '\0' &&
           state.callsMade < settings.maxCalls;
}

StartStopOutcome ToggleMonitoring(const MonitorSettings& settings, MonitorState& state) {
    state.monitoring = state.monitoring ? 0 : 1;
    if (state.monitoring) {
        if (strnlen(settings.callNumber, sizeof settings.callNumber) < kShortestCallNumber) {
            state.monitoring = 0;
            return StartStopOutcome::RefusedNoNumber;
        }
        state.alarmLevel = 0.0;
        state.callsMade = 0;
        state.callCountdown = 0;
        // The watch over the recording starts afresh.
        state.buffersHeardSeen = LoadBuffersHeard(state);
        state.silentTicks = 0;
        state.troubleCalled = false;
        return StartStopOutcome::Started;
    }
    state.indicatorStep = -1;
    state.pendingCallTicks = 0;  // a Stop gives up a call still waiting for the softphone
    return StartStopOutcome::Stopped;
}

int NextIndicatorStep(int step) {
    step += 1;
    if (step > 5 || step < 0) step = 0;
    return step;
}
