// Level evaluation and alarm logic: scales, the alarm level, the countdown,
// the decision to call and the Start/Stop switch. No platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/monitor_state.h"
#include "base/monitor_settings.h"

constexpr double kAlarmRise = 0.02;
constexpr double kAlarmFall = 0.005;
constexpr double kFullScaleAtZero = 30000.0;
constexpr double kFullScaleAtHundred = 500.0;
constexpr int kSecondsPerDelayMinute = 60;
constexpr size_t kShortestCallNumber = 2;

// Clamps x into [inLow, inHigh] and maps it linearly onto [outLow, outHigh];
// 0 when the input range is empty.
double MapRange(double x, double inLow, double inHigh, double outLow, double outHigh);

// fullScale, levelThreshold and alarmThreshold from the three slider settings.
void ComputeScales(const MonitorSettings& settings, MonitorState& state);

// Largest magnitude among the samples, 0..32768 (-32768 counts as 32768).
uint32_t PeakOfSamples(const int16_t* samples, size_t count);

// Level of one buffer: MapRange(peak, 0, fullScale, 0, 1).
double LevelFromPeak(uint32_t peak, double fullScale);

// Every tick: rise by 0.02 when level >= levelThreshold, else fall by 0.005;
// kept within 0..1.
void AlarmLevelStep(MonitorState& state);

// Once a second: the countdown falls by one, not below 0.
void CountdownStep(MonitorState& state);

// callingDelay minutes as seconds, saturated at the int range.
int DelaySeconds(int32_t callingDelay);

// True when all five conditions for a call hold.
bool AlarmCallDue(const MonitorSettings& settings, const MonitorState& state);

enum class StartStopOutcome {
    Started,          // monitoring on; level, count, countdown and the watch reset
    Stopped,          // monitoring off; indicatorStep is -1, no call waits
    RefusedNoNumber,  // Start refused, call number shorter than 2 characters
};

// The state part of the Start/Stop button; the caller does labels, the
// message, the indicator pictures and the protocol file.
StartStopOutcome ToggleMonitoring(const MonitorSettings& settings, MonitorState& state);

// The activity indicator's next lit segment (0..5) after `step`.
int NextIndicatorStep(int step);
