// Audio capture: records from the first recording device without pause and
// turns every buffer into a level.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>

struct WaveCapture {
    WaveCapture() = default;
    ~WaveCapture();
    WaveCapture(const WaveCapture&) = delete;
    WaveCapture& operator=(const WaveCapture&) = delete;

    // The open device, or none. Read and cleared as one value: the user
    // interface asks for it while the capture thread may be closing it.
    std::atomic<HWAVEIN> handle{nullptr};
    int sampleRate = 0;
    int bitsPerSample = 0;
    int bufferBytes = 0;
    UINT deviceIndex = 0;
    WAVEFORMATEX format = {};
    // While recording: how long without a filled buffer means that recording
    // has stopped, and how long to wait between attempts to open the device
    // again after that.
    DWORD stallMs = 5000;
    DWORD retryMs = 3000;

    // Book-keeping of this program: set while a stop hands the buffers back
    // (nothing is queued then); the buffers allocated and not yet freed; an
    // interruption of recording that the user has not been told of yet (the
    // code to show, or 0).
    std::atomic<bool> stopping{false};
    std::atomic<int> buffersOut{0};
    std::atomic<MMRESULT> failure{MMSYSERR_NOERROR};
    // Set by RestartCapture for the capture thread; when the stop was asked for.
    std::atomic<bool> restartWanted{false};
    std::atomic<DWORD> stopAskedAt{0};

    // The buffers in the device's queue, oldest first (two, and never more
    // than the slots); the event the device sets whenever it hands one back;
    // the event that ends the capture thread; the thread. Once the thread
    // runs, only it touches the device and the queue.
    static constexpr int kQueueSlots = 4;
    WAVEHDR* queued[kQueueSlots] = {};
    int queuedCount = 0;
    HANDLE bufferEvent = nullptr;
    HANDLE quitEvent = nullptr;
    HANDLE thread = nullptr;
};

// The program's capture record. It is never destroyed: a device that would
// not let go at exit may still set its event or write into its buffers
// until the process ends.
WaveCapture& TheCapture();

// Opens the device, queues two buffers, starts recording and then the
// capture thread, which looks after the buffers from there on. Returns 0,
// or the code of the first call that failed (nothing is undone then, and no
// thread runs).
MMRESULT StartCapture(WaveCapture& capture);

// Stops recording: from its start on nothing is queued; every queued buffer
// is handed back and freed, and only then is the device closed. The handle
// is cleared only when the close succeeded. A buffer that never comes back
// is not freed (the device may still write into it) and stays counted in
// `buffersOut`. The stop gives up after about two seconds, also when the
// device does not return from a call at all. True when the device is closed
// and no buffer is left.
bool StopCapture(WaveCapture& capture);

// The code of an interruption of recording to show the user, once: 0 when
// there is none (or it was taken already).
MMRESULT TakeCaptureFailure(WaveCapture& capture);

// Asks the capture thread to close the device and open it again, as after
// an interruption (the PC woke from sleep). Nothing without a thread.
void RestartCapture(WaveCapture& capture);

// The parts of capture that the capture thread runs, for a caller that
// drives the device itself: the open-queue-start sequence (StartCapture
// without the thread); the buffers the device has handed back, each
// replaced in the queue and evaluated (returns how many); the stop's
// hand-back and close within `budgetMs`.
MMRESULT StartRecording(WaveCapture& capture);
int TakeFilledBuffers(WaveCapture& capture);
void FinishRecording(WaveCapture& capture, DWORD budgetMs);
