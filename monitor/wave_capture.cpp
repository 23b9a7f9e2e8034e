// Audio capture from the first recording device: two buffers stay queued at
// all times, and every buffer the device fills becomes one sound level.
//
// Threads: StartCapture and StopCapture run on the user-interface thread;
// OnWaveData runs on the sound system's thread for each filled buffer, and
// also on whichever thread calls waveInReset for the buffers that the reset
// hands back (Wine does that synchronously on the caller's thread), so two
// handlers can run at the same time. The handler therefore keeps no state of
// its own: it works on the buffer it was given and on atomic counters. The
// one thing it does under a lock is queueing (the capture's queue gate), so
// that StopCapture can close the gate and know that nothing is queued after.
#include "monitor/wave_capture.h"

#include <cstdint>
#include <cstdlib>

#include "base/shared_record.h"
#include "monitor/alarm.h"
#include "monitor/wave_in_calls.h"

WaveInCalls SystemWaveInCalls() {
    WaveInCalls calls;
    calls.open = &::waveInOpen;
    calls.prepare = &::waveInPrepareHeader;
    calls.add = &::waveInAddBuffer;
    calls.start = &::waveInStart;
    calls.unprepare = &::waveInUnprepareHeader;
    calls.reset = &::waveInReset;
    calls.close = &::waveInClose;
    return calls;
}

WaveInCalls g_waveIn = SystemWaveInCalls();

namespace {

// Largest buffer that capture accepts; the program uses 4096 bytes.
constexpr int kMaxBufferBytes = 1 << 20;
// StopCapture: how long the whole stop may take at most, how often it repeats
// the reset while buffers are still out, and the close retries.
constexpr DWORD kStopBudgetMs = 2000;
constexpr DWORD kResetRepeatMs = 100;
constexpr DWORD kPollMs = 5;
constexpr int kCloseAttempts = 20;
constexpr DWORD kCloseRetryMs = 10;

DWORD BufferBytes(const WaveCapture& capture) {
    const int bytes = capture.bufferBytes;
    if (bytes < 2 || bytes > kMaxBufferBytes) return 0;
    return static_cast<DWORD>(bytes);
}

// A zeroed header with its own zeroed data block; counted while it exists.
WAVEHDR* NewBuffer(WaveCapture& capture) {
    const DWORD bytes = BufferBytes(capture);
    if (bytes == 0) return nullptr;
    WAVEHDR* header = static_cast<WAVEHDR*>(std::calloc(1, sizeof(WAVEHDR)));
    if (!header) return nullptr;
    char* data = static_cast<char*>(std::calloc(bytes, 1));
    if (!data) {
        std::free(header);
        return nullptr;
    }
    header->lpData = data;
    header->dwBufferLength = bytes;
    capture.buffersOut.fetch_add(1);
    return header;
}

void FreeBuffer(WaveCapture& capture, WAVEHDR* header) {
    std::free(header->lpData);
    std::free(header);
    capture.buffersOut.fetch_sub(1);
}

// Prepares and queues a buffer. On failure the buffer is unprepared again and
// still belongs to the caller; on success it belongs to the device and must
// not be touched, since it may already be on its way back on another thread.
MMRESULT QueueBuffer(WaveCapture& capture, WAVEHDR* header) {
    MMRESULT result = g_waveIn.prepare(capture.handle, header, sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR) return result;
    result = g_waveIn.add(capture.handle, header, sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR) g_waveIn.unprepare(capture.handle, header, sizeof(WAVEHDR));
    return result;
}

// Unprepares and frees a buffer that came back. A buffer the system still
// calls its own is never freed (it would write into freed memory).
void ReleaseBuffer(WaveCapture& capture, WAVEHDR* header) {
    if (g_waveIn.unprepare(capture.handle, header, sizeof(WAVEHDR)) == WAVERR_STILLPLAYING) return;
    FreeBuffer(capture, header);
}

// The level of a buffer holding recorded bytes. Only what was recorded, and
// never more than the header's length or the block that capture allocated, is
// read, whatever the header claims.
void EvaluateBuffer(const WaveCapture& capture, const WAVEHDR* header) {
    DWORD bytes = header->dwBytesRecorded;
    if (bytes == 0 || !header->lpData) return;
    if (bytes > header->dwBufferLength) bytes = header->dwBufferLength;
    const DWORD allocated = BufferBytes(capture);
    if (bytes > allocated) bytes = allocated;
    const uint32_t peak =
        PeakOfSamples(reinterpret_cast<const int16_t*>(header->lpData), bytes / sizeof(int16_t));
    MonitorState& state = State();
    StoreLevel(state, LevelFromPeak(peak, LoadFullScale(state)));
}

class GateLock {
public:
    explicit GateLock(CaptureGate& g) : gate(g) { gate.Enter(); }
    ~GateLock() { gate.Leave(); }
    GateLock(const GateLock&) = delete;
    GateLock& operator=(const GateLock&) = delete;

private:
    CaptureGate& gate;
};

// What becomes of a returned buffer once the queue has been looked after.
enum class Returned {
    Replaced,  // a fresh buffer took its place: unprepare, evaluate, free
    Requeued,  // it went back into the queue itself (already evaluated)
    Release,   // nothing more to do with it than to unprepare and free it
};

// Keeps two buffers queued: replaces the returned one with a fresh buffer
// before it is looked at. When no fresh buffer can be allocated, prepared or
// queued, the returned one (still prepared) is evaluated and goes back into
// service, so the queue does not run down. Runs under the queue gate, and
// only while capture is not stopping.
Returned KeepQueueFilled(WaveCapture& capture, WAVEHDR* done) {
    WAVEHDR* fresh = NewBuffer(capture);
    if (fresh && QueueBuffer(capture, fresh) == MMSYSERR_NOERROR) return Returned::Replaced;
    if (fresh) FreeBuffer(capture, fresh);

    EvaluateBuffer(capture, done);
    if (g_waveIn.add(capture.handle, done, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) return Returned::Requeued;
    return Returned::Release;
}

void HandleFilledBuffer(WaveCapture& capture, WAVEHDR* done) {
    // Once StopCapture has set `stopping` (under the gate), nothing is queued
    // and the level no longer changes: the buffers it hands back are only
    // released. Those arrive with `stopping` already set and never wait for
    // the gate.
    Returned next = Returned::Release;
    if (!capture.stopping.load()) {
        GateLock lock(capture.queueGate);
        if (!capture.stopping.load()) next = KeepQueueFilled(capture, done);
    }

    switch (next) {
    case Returned::Requeued:
        return;
    case Returned::Replaced: {
        const MMRESULT unprepared = g_waveIn.unprepare(capture.handle, done, sizeof(WAVEHDR));
        EvaluateBuffer(capture, done);
        if (unprepared != WAVERR_STILLPLAYING) FreeBuffer(capture, done);
        return;
    }
    case Returned::Release:
        ReleaseBuffer(capture, done);
        return;
    }
}

DWORD Elapsed(DWORD begin) { return ::GetTickCount() - begin; }

// Waits until no buffer is left and no handler runs, for at most `ms`.
bool WaitForBuffers(const WaveCapture& capture, DWORD ms) {
    const DWORD begin = ::GetTickCount();
    for (;;) {
        if (capture.buffersOut.load() <= 0 && capture.handlersActive.load() == 0) return true;
        if (Elapsed(begin) >= ms) return false;
        ::Sleep(kPollMs);
    }
}

}  // namespace

MMRESULT StartCapture(WaveCapture& capture) {
    capture.stopping.store(false);
    capture.buffersOut.store(0);
    capture.handlersActive.store(0);

    capture.deviceIndex = 0;
    const WORD blockAlign = static_cast<WORD>(capture.bitsPerSample / 8);
    capture.format.wFormatTag = WAVE_FORMAT_PCM;
    capture.format.nChannels = 1;
    capture.format.nSamplesPerSec = static_cast<DWORD>(capture.sampleRate);
    capture.format.nAvgBytesPerSec = static_cast<DWORD>(capture.sampleRate) * blockAlign;
    capture.format.nBlockAlign = blockAlign;
    capture.format.wBitsPerSample = static_cast<WORD>(capture.bitsPerSample);
    capture.format.cbSize = 0;

    // The handler reads 16-bit samples out of buffers of bufferBytes.
    if (capture.bitsPerSample != 16 || capture.sampleRate <= 0) return WAVERR_BADFORMAT;
    if (BufferBytes(capture) == 0) return MMSYSERR_INVALPARAM;

    MMRESULT result = g_waveIn.open(&capture.handle, capture.deviceIndex, &capture.format,
                                    reinterpret_cast<DWORD_PTR>(&OnWaveData),
                                    reinterpret_cast<DWORD_PTR>(&capture), CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
        capture.handle = nullptr;  // nothing was opened, nothing to close at exit
        return result;
    }

    for (int i = 0; i < 2; ++i) {
        WAVEHDR* header = NewBuffer(capture);
        if (!header) return MMSYSERR_NOMEM;
        result = QueueBuffer(capture, header);
        if (result != MMSYSERR_NOERROR) {
            // Never reached the device: it is ours to free. What is queued stays.
            FreeBuffer(capture, header);
            return result;
        }
    }

    return g_waveIn.start(capture.handle);
}

void CALLBACK OnWaveData(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                         DWORD_PTR param2) {
    // The open and close notices touch nothing (the close notice may come
    // after the capture record is gone).
    if (message != MM_WIM_DATA) return;
    WAVEHDR* done = reinterpret_cast<WAVEHDR*>(param1);
    WaveCapture* capture = reinterpret_cast<WaveCapture*>(instance);
    if (!done || !capture) return;

    capture->handlersActive.fetch_add(1);
    HandleFilledBuffer(*capture, done);
    capture->handlersActive.fetch_sub(1);
}

void StopCapture(WaveCapture& capture) {
    if (!capture.handle) return;
    const DWORD begin = ::GetTickCount();

    // A handler that is queueing right now finishes that first; every later
    // one sees `stopping` and queues nothing.
    {
        GateLock lock(capture.queueGate);
        capture.stopping.store(true);
    }

    // Hand every queued buffer back; the handler frees each one. A buffer
    // that the sound system's thread had already taken out of the queue when
    // the reset came arrives through the handler on that thread, a moment
    // later. Only when a buffer stays out is the reset repeated.
    g_waveIn.reset(capture.handle);
    while (!WaitForBuffers(capture, kResetRepeatMs) && Elapsed(begin) < kStopBudgetMs)
        g_waveIn.reset(capture.handle);

    // The close comes only now: Windows refuses to close while buffers are
    // queued, and Wine closes anyway and never hands them back.
    MMRESULT result = g_waveIn.close(capture.handle);
    for (int attempt = 1; result == WAVERR_STILLPLAYING && attempt < kCloseAttempts; ++attempt) {
        g_waveIn.reset(capture.handle);
        WaitForBuffers(capture, kCloseRetryMs);
        result = g_waveIn.close(capture.handle);
    }
    if (result != MMSYSERR_NOERROR) return;  // still open: not forgotten

    // A handler that is still finishing a buffer on the sound system's thread
    // ends within what is left of the budget (and the caller's pause).
    const DWORD spent = Elapsed(begin);
    WaitForBuffers(capture, spent < kStopBudgetMs ? kStopBudgetMs - spent : 0);
    capture.handle = nullptr;
}
