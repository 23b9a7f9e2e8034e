// The runtime monitoring state. Plain data, no platform headers.
#pragma once

#include <atomic>
#include <cstdio>

// level and fullScale cross between the audio thread and the UI thread
// without a lock: each is exchanged as one indivisible double with relaxed
// ordering, so a reader may see the previous buffer's value but never a torn one.
struct RunRecord;

static_assert(std::atomic<double>::is_always_lock_free,
              "the level must be exchanged without a lock");

struct MonitorState {
    char protocolFolder[260];     // working folder at start-up
    int monitoring;               // 0 or 1
    int callsMade;
    int callCountdown;            // seconds
    std::atomic<double> fullScale;
    double levelThreshold;
    double alarmLevel;
    double alarmThreshold;
    std::atomic<double> level;    // written by the audio thread
    std::atomic<unsigned> buffersHeard;  // buffers with recorded bytes, counted by the audio thread
    int tickCount;                // 0..10
    int indicatorStep;            // -1..5
    bool inTick;
    std::FILE* protocolFile;      // open protocol of the current run, or null
    RunRecord* run;               // what the run's picture will show, or null; owned by the protocol
    // The watch over the recording while monitoring: the count of heard
    // buffers at the last tick, the ticks since it last changed, whether this
    // silence has had its trouble call, and the ticks since the last one.
    unsigned buffersHeardSeen;
    int silentTicks;
    bool troubleCalled;
    int ticksSinceTrouble;
    // A call whose softphone was started but shows no window yet: the ticks
    // it may still wait for the window, 0 when no call is waiting.
    int pendingCallTicks;
};

// Sets every field to zero: monitoring off, no protocol.
void ResetMonitorState(MonitorState& state);

inline double LoadLevel(const MonitorState& s) { return s.level.load(std::memory_order_relaxed); }
inline void StoreLevel(MonitorState& s, double v) { s.level.store(v, std::memory_order_relaxed); }
inline unsigned LoadBuffersHeard(const MonitorState& s) { return s.buffersHeard.load(std::memory_order_relaxed); }
inline void CountBufferHeard(MonitorState& s) { s.buffersHeard.fetch_add(1, std::memory_order_relaxed); }
inline double LoadFullScale(const MonitorState& s) { return s.fullScale.load(std::memory_order_relaxed); }
inline void StoreFullScale(MonitorState& s, double v) { s.fullScale.store(v, std::memory_order_relaxed); }
