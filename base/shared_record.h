// The one record that holds the settings and the runtime state for the whole
// run. Start-up zeroes it before the main window is created.
#pragma once

#include "base/monitor_state.h"
#include "base/monitor_settings.h"

struct SharedRecord {
    MonitorSettings settings;
    MonitorState state;
};

extern SharedRecord g_shared;

inline MonitorSettings& Settings() { return g_shared.settings; }
inline MonitorState& State() { return g_shared.state; }

void ZeroSharedRecord();
