// Audio capture: records from the first recording device without pause and
// turns every buffer into a level.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>

struct WaveCapture {
    HWAVEIN handle = nullptr;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int bufferBytes = 0;
    UINT deviceIndex = 0;
    WAVEFORMATEX format = {};
    // Book-keeping of this program: set while StopCapture runs, so the
    // handler queues nothing new; the buffers allocated and not yet freed;
    // and the buffer handlers running at this moment.
    std::atomic<bool> stopping{false};
    std::atomic<int> buffersOut{0};
    std::atomic<int> handlersActive{0};
};

// Opens the device, queues two buffers and starts recording. Returns 0, or
// the code of the first call that failed (nothing is undone then).
MMRESULT StartCapture(WaveCapture& capture);

// Shows text 3004 with the error name of `code`, exclamation icon.
void ReportCaptureError(HWND owner, MMRESULT code);

// Stops recording, hands back and frees the queued buffers, closes the device.
void StopCapture(WaveCapture& capture);

// The recording callback (runs on the audio system's thread).
void CALLBACK OnWaveData(HWAVEIN device, UINT message, DWORD_PTR instance,
                         DWORD_PTR param1, DWORD_PTR param2);
