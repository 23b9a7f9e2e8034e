// The persisted settings record. Plain data, no platform headers.
#pragma once

#include <cstdint>

// Channel of the alarm call.
enum ConnectionType : int32_t {
    kConnectTelephonyApp = 0,  // the app registered for tel: links
    kConnectSoftPhone = 1,
    kConnectModem = 2,
};

struct MonitorSettings {
    int32_t language;        // 0 German, anything else English; -1 = not chosen yet
    int32_t connectionType;  // ConnectionType
    int32_t comPort;         // 1 = COM1
    int32_t baudRate;
    char modemCommand[128];
    char callNumber[50];     // "?" = none entered
    int32_t callingDelay;    // minutes
    int32_t maxCalls;
    char softPhonePath[260];
    int32_t logging;
    int32_t sensitivity;     // sliders, 0..100 when set by the window
    int32_t micThreshold;
    int32_t callThreshold;
};
