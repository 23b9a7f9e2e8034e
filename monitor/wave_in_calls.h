// The wave input calls that audio capture makes, gathered in one table.
// The program always uses the system's own functions; the Win32 unit tests
// put failing stand-ins here to walk the error paths of capture.
#pragma once

#include <windows.h>
#include <mmsystem.h>

struct WaveInCalls {
    decltype(&::waveInOpen) open;
    decltype(&::waveInPrepareHeader) prepare;
    decltype(&::waveInAddBuffer) add;
    decltype(&::waveInStart) start;
    decltype(&::waveInUnprepareHeader) unprepare;
    decltype(&::waveInReset) reset;
    decltype(&::waveInClose) close;
};

// The system's functions.
WaveInCalls SystemWaveInCalls();

// The table capture calls through; holds SystemWaveInCalls() unless replaced.
extern WaveInCalls g_waveIn;
