// Audio capture: records from the first recording device without pause and
// turns every buffer into a level.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>

// A critical section that the buffer handler holds while it decides to queue
// a buffer and queues it, and that StopCapture takes to set `stopping`: once
// StopCapture has set it, no buffer is queued any more.
class CaptureGate {
public:
    CaptureGate() { ::InitializeCriticalSection(&section); }
    ~CaptureGate() { ::DeleteCriticalSection(&section); }
    CaptureGate(const CaptureGate&) = delete;
    CaptureGate& operator=(const CaptureGate&) = delete;
    void Enter() { ::EnterCriticalSection(&section); }
    void Leave() { ::LeaveCriticalSection(&section); }

private:
    CRITICAL_SECTION section;
};

struct WaveCapture {
    HWAVEIN handle = nullptr;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int bufferBytes = 0;
    UINT deviceIndex = 0;
    WAVEFORMATEX format = {};
    // Book-keeping of this program: set (under `queueGate`) when StopCapture
    // begins, so the handler queues nothing new; the buffers allocated and
    // not yet freed; the buffer handlers running at this moment; and the gate
    // the handler queues under.
    std::atomic<bool> stopping{false};
    std::atomic<int> buffersOut{0};
    std::atomic<int> handlersActive{0};
    CaptureGate queueGate;
};

// Opens the device, queues two buffers and starts recording. Returns 0, or
// the code of the first call that failed (nothing is undone then).
MMRESULT StartCapture(WaveCapture& capture);

// Stops recording: from its start on nothing is queued; every queued buffer
// is handed back and freed, and only then is the device closed. The handle
// is cleared only when the close succeeded. A buffer that never comes back
// is not freed (the device may still write into it) and stays counted in
// `buffersOut`; the whole stop gives up after about two seconds.
void StopCapture(WaveCapture& capture);

// The recording callback (runs on the audio system's thread); `instance` is
// the capture record that StartCapture opened the device for.
void CALLBACK OnWaveData(HWAVEIN device, UINT message, DWORD_PTR instance,
                         DWORD_PTR param1, DWORD_PTR param2);
