#include "base/shared_record.h"

#include <climits>
#include <cstring>

SharedRecord g_shared;

void ResetMonitorState(MonitorState& s) {
    std::memset(s.protocolFolder, 0, sizeof s.protocolFolder);
    s.monitoring = 0;
    s.callsMade = 0;
    s.callCountdown = 0;
    StoreFullScale(s, 0.0);
    s.levelThreshold = 0.0;
    s.alarmLevel = 0.0;
    s.alarmThreshold = 0.0;
    StoreLevel(s, 0.0);
    s.tickCount = 0;
    s.indicatorStep = 0;
    s.inTick = false;
    s.protocolFile = nullptr;
    s.run = nullptr;
    s.buffersHeard.store(0, std::memory_order_relaxed);
    s.buffersHeardSeen = 0;
    s.silentTicks = 0;
    s.troubleCalled = false;
    s.ticksSinceTrouble = INT_MAX;  // no trouble call yet
    s.pendingCallTicks = 0;
}

void ZeroSharedRecord() {
    std::memset(&g_shared.settings, 0, sizeof g_shared.settings);
    ResetMonitorState(g_shared.state);
}
