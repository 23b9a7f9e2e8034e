// Audio capture from the first recording device: two buffers stay queued at
// all times, and every buffer the device fills becomes one sound level.
//
// Threads: the device is opened with an event, which it sets whenever it
// hands a buffer back; nothing of ours runs inside the sound system's
// threads, so no wave call is ever made from a driver callback. Once
// recording runs, a capture thread of our own waits on that event, replaces
// and evaluates the filled buffers, notices when buffers stop coming (and
// opens the device again), and at the stop hands the buffers back and closes
// the device. StartCapture, and StopCapture when no thread runs, make their
// wave calls on the user-interface thread, never at the same time as the
// capture thread.
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
// The stop: how long it may take at most, how often it repeats the reset
// while buffers are still out, and the close retries. The user-interface
// thread waits for the capture thread's stop a little longer than that.
constexpr DWORD kStopBudgetMs = 2000;
constexpr DWORD kResetRepeatMs = 100;
constexpr int kCloseAttempts = 20;
constexpr DWORD kCloseRetryMs = 10;
constexpr DWORD kThreadStopSlackMs = 500;
// How often the capture thread looks at the clock when no buffer comes.
constexpr DWORD kWatchMs = 250;

DWORD BufferBytes(const WaveCapture& capture) {
    const int bytes = capture.bufferBytes;
    if (bytes < 2 || bytes > kMaxBufferBytes) return 0;
    return static_cast<DWORD>(bytes);
}

DWORD Elapsed(DWORD begin) { return ::GetTickCount() - begin; }

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

// Adds a prepared buffer to the device's queue and to ours.
MMRESULT AddBuffer(WaveCapture& capture, WAVEHDR* header) {
    // Only what our list can hold goes to the device, so that every buffer
    // the device has is on the list.
    if (capture.queuedCount >= WaveCapture::kQueueSlots) return MMSYSERR_NOMEM;
    const MMRESULT result = g_waveIn.add(capture.handle.load(), header, sizeof(WAVEHDR));
    if (result == MMSYSERR_NOERROR) capture.queued[capture.queuedCount++] = header;
    return result;
}

WAVEHDR* TakeOldest(WaveCapture& capture) {
    WAVEHDR* oldest = capture.queued[0];
    for (int i = 1; i < capture.queuedCount; ++i) capture.queued[i - 1] = capture.queued[i];
    capture.queued[--capture.queuedCount] = nullptr;
    return oldest;
}

// Prepares and queues a buffer. On failure the buffer is unprepared again and
// still belongs to the caller.
MMRESULT QueueBuffer(WaveCapture& capture, WAVEHDR* header) {
    const HWAVEIN device = capture.handle.load();
    MMRESULT result = g_waveIn.prepare(device, header, sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR) return result;
    result = AddBuffer(capture, header);
    if (result != MMSYSERR_NOERROR) g_waveIn.unprepare(device, header, sizeof(WAVEHDR));
    return result;
}

// Unprepares and frees a buffer that came back. A buffer the system still
// calls its own is never freed (it would write into freed memory).
void ReleaseBuffer(WaveCapture& capture, WAVEHDR* header) {
    if (g_waveIn.unprepare(capture.handle.load(), header, sizeof(WAVEHDR)) == WAVERR_STILLPLAYING) return;
    FreeBuffer(capture, header);
}

// The level of a buffer holding recorded bytes. Only what was recorded, and
// never more than the header's length or the block that capture allocated, is
// read, whatever the header claims.
void EvaluateBuffer(const WaveCapture& capture, const WAVEHDR* header) {
    DWORD bytes = header->dwBytesRecorded;
    if (bytes == 0 || !header->lpData) return;
    MonitorState& state = State();
    CountBufferHeard(state);
    if (bytes > header->dwBufferLength) bytes = header->dwBufferLength;
    const DWORD allocated = BufferBytes(capture);
    if (bytes > allocated) bytes = allocated;
    const uint32_t peak =
        PeakOfSamples(reinterpret_cast<const int16_t*>(header->lpData), bytes / sizeof(int16_t));
    StoreLevel(state, LevelFromPeak(peak, LoadFullScale(state)));
}

// What becomes of a returned buffer once the queue has been looked after.
enum class Returned {
    Replaced,  // a fresh buffer took its place: unprepare, evaluate, free
    Requeued,  // it went back into the queue itself (already evaluated)
    Release,   // nothing more to do with it than to unprepare and free it
};

// Keeps two buffers queued: replaces the returned one with a fresh buffer
// before it is looked at. When no fresh buffer can be allocated, prepared or
// queued, the returned one (still prepared) is evaluated and goes back into
// service, so the queue does not run down.
Returned KeepQueueFilled(WaveCapture& capture, WAVEHDR* done) {
    WAVEHDR* fresh = NewBuffer(capture);
    if (fresh && QueueBuffer(capture, fresh) == MMSYSERR_NOERROR) return Returned::Replaced;
    if (fresh) FreeBuffer(capture, fresh);

    EvaluateBuffer(capture, done);
    if (AddBuffer(capture, done) == MMSYSERR_NOERROR) return Returned::Requeued;
    return Returned::Release;
}

// One filled buffer that the device handed back. While a stop runs, nothing
// is queued and the level no longer changes: the buffer is only released.
void OnWaveData(WaveCapture& capture, WAVEHDR* done) {
    const Returned next = capture.stopping.load() ? Returned::Release : KeepQueueFilled(capture, done);
    switch (next) {
    case Returned::Requeued:
        return;
    case Returned::Replaced: {
        const MMRESULT unprepared = g_waveIn.unprepare(capture.handle.load(), done, sizeof(WAVEHDR));
        EvaluateBuffer(capture, done);
        if (unprepared != WAVERR_STILLPLAYING) FreeBuffer(capture, done);
        return;
    }
    case Returned::Release:
        ReleaseBuffer(capture, done);
        return;
    }
}

bool IsDone(const WAVEHDR* header) {
    // The device sets the flag on its own thread before it sets the event.
    ::MemoryBarrier();
    return (static_cast<const volatile DWORD&>(header->dwFlags) & WHDR_DONE) != 0;
}

// ---- the capture thread ----------------------------------------------------

// When recording stops without a stop of ours (the sound server or the
// device went away, or it hands back only empty buffers), or the program
// asks for it (after the PC slept), the capture thread closes the device
// and opens it again every `retryMs` until recorded buffers come again. The
// user is told once per interruption, when the first attempt to get going
// again has failed: with the name of the call that failed, or "UNKNOWN"
// when the device opened again but still delivers nothing.
class Recovery {
public:
    explicit Recovery(WaveCapture& c) : capture(c), lastBuffer(::GetTickCount()) {}

    // One turn of the thread, after the device's event or the watch's timeout.
    void Turn() {
        if (capture.restartWanted.exchange(false)) {
            StoreLevel(State(), 0.0);
            recording = false;
            Restart();
            return;
        }
        if (recording) {
            // Only recorded bytes count: empty buffers do not keep the device alive.
            const unsigned heard = LoadBuffersHeard(State());
            TakeFilledBuffers(capture);
            if (LoadBuffersHeard(State()) != heard) {
                lastBuffer = ::GetTickCount();
                attempts = 0;
                told = false;
                return;
            }
            if (Elapsed(lastBuffer) < capture.stallMs) return;
            // Nothing heard for a while: no level is better than a stale one.
            StoreLevel(State(), 0.0);
            if (attempts > 0) Tell(MMSYSERR_ERROR);  // opened again, and still nothing
            recording = false;
        } else if (Elapsed(lastAttempt) < capture.retryMs) {
            return;
        }
        Restart();
    }

private:
    void Restart() {
        lastAttempt = ::GetTickCount();
        ++attempts;
        FinishRecording(capture, kStopBudgetMs);
        // A stop that came meanwhile is not kept waiting by a new device.
        if (::WaitForSingleObject(capture.quitEvent, 0) == WAIT_OBJECT_0) return;
        // A device that will not close cannot be opened again: try later.
        const MMRESULT result = capture.handle.load() ? static_cast<MMRESULT>(WAVERR_STILLPLAYING)
                                                       : StartRecording(capture);
        if (result == MMSYSERR_NOERROR) {
            recording = true;
            lastBuffer = ::GetTickCount();
            return;
        }
        Tell(result);
    }

    void Tell(MMRESULT code) {
        if (told) return;
        told = true;
        capture.failure.store(code);
    }

    WaveCapture& capture;
    bool recording = true;
    DWORD lastBuffer;
    DWORD lastAttempt = 0;
    int attempts = 0;   // attempts to get going again in this interruption
    bool told = false;  // the user knows of this interruption
};

DWORD WINAPI CaptureThread(void* parameter) {
    WaveCapture& capture = *static_cast<WaveCapture*>(parameter);
    Recovery recovery(capture);
    const HANDLE events[2] = {capture.quitEvent, capture.bufferEvent};
    while (::WaitForMultipleObjects(2, events, FALSE, kWatchMs) != WAIT_OBJECT_0) recovery.Turn();
    // What is left of the stop's budget after a restart that the stop met.
    const DWORD spent = Elapsed(capture.stopAskedAt.load());
    FinishRecording(capture, spent < kStopBudgetMs ? kStopBudgetMs - spent : 0);
    return 0;
}

}  // namespace

WaveCapture::~WaveCapture() {
    // Only a record whose device is closed and whose thread has ended lets
    // its events go; otherwise the device could still set one.
    if (thread || handle.load()) return;
    if (bufferEvent) ::CloseHandle(bufferEvent);
    if (quitEvent) ::CloseHandle(quitEvent);
}

WaveCapture& TheCapture() {
    static WaveCapture* const record = new WaveCapture;
    return *record;
}

MMRESULT StartRecording(WaveCapture& capture) {
    capture.stopping.store(false);
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
    if (!capture.bufferEvent) capture.bufferEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!capture.bufferEvent) return MMSYSERR_NOMEM;

    HWAVEIN opened = nullptr;
    MMRESULT result = g_waveIn.open(&opened, capture.deviceIndex, &capture.format,
                                    reinterpret_cast<DWORD_PTR>(capture.bufferEvent), 0, CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) return result;  // nothing opened, nothing to close
    capture.handle.store(opened);

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
    return g_waveIn.start(opened);
}

MMRESULT StartCapture(WaveCapture& capture) {
    if (capture.thread) return MMSYSERR_ALLOCATED;
    capture.buffersOut.store(0);
    capture.failure.store(MMSYSERR_NOERROR);
    const MMRESULT result = StartRecording(capture);
    if (result != MMSYSERR_NOERROR) return result;

    if (!capture.quitEvent) capture.quitEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (capture.quitEvent) {
        ::ResetEvent(capture.quitEvent);
        capture.thread = ::CreateThread(nullptr, 0, &CaptureThread, &capture, 0, nullptr);
    }
    return capture.thread ? MMSYSERR_NOERROR : static_cast<MMRESULT>(MMSYSERR_NOMEM);
}

int TakeFilledBuffers(WaveCapture& capture) {
    int taken = 0;
    // The device hands buffers back in the order they were queued; a handler
    // may queue new ones behind them meanwhile.
    while (capture.queuedCount > 0 && IsDone(capture.queued[0])) {
        WAVEHDR* done = TakeOldest(capture);
        OnWaveData(capture, done);
        ++taken;
    }
    return taken;
}

void FinishRecording(WaveCapture& capture, DWORD budgetMs) {
    const HWAVEIN device = capture.handle.load();
    if (!device) return;
    const DWORD begin = ::GetTickCount();
    capture.stopping.store(true);

    // Hand every queued buffer back and release each one. A buffer that the
    // sound system was delivering when the reset came arrives a moment
    // later; only when one stays out is the reset repeated.
    g_waveIn.reset(device);
    DWORD lastReset = ::GetTickCount();
    for (;;) {
        TakeFilledBuffers(capture);
        if (capture.queuedCount == 0 || Elapsed(begin) >= budgetMs) break;
        if (Elapsed(lastReset) >= kResetRepeatMs) {
            g_waveIn.reset(device);
            lastReset = ::GetTickCount();
        }
        ::WaitForSingleObject(capture.bufferEvent, kCloseRetryMs);
    }

    // The close comes only now: Windows refuses to close while buffers are
    // queued, and Wine closes anyway and never hands them back.
    MMRESULT result = g_waveIn.close(device);
    for (int attempt = 1; result == WAVERR_STILLPLAYING && attempt < kCloseAttempts; ++attempt) {
        g_waveIn.reset(device);
        ::WaitForSingleObject(capture.bufferEvent, kCloseRetryMs);
        TakeFilledBuffers(capture);
        result = g_waveIn.close(device);
    }
    if (result != MMSYSERR_NOERROR) return;  // still open: not forgotten
    // A closed device writes nothing more; what it never gave back is left
    // allocated, not freed, since nothing says where it went.
    while (capture.queuedCount > 0) TakeOldest(capture);
    capture.handle.store(nullptr);
}

bool StopCapture(WaveCapture& capture) {
    if (capture.thread) {
        capture.stopAskedAt.store(::GetTickCount());
        ::SetEvent(capture.quitEvent);
        if (::WaitForSingleObject(capture.thread, kStopBudgetMs + kThreadStopSlackMs) != WAIT_OBJECT_0)
            return false;  // stuck in a call of the device: left to the end of the process
        ::CloseHandle(capture.thread);
        capture.thread = nullptr;
    } else {
        FinishRecording(capture, kStopBudgetMs);
    }
    return !capture.handle.load() && capture.buffersOut.load() == 0;
}

MMRESULT TakeCaptureFailure(WaveCapture& capture) { return capture.failure.exchange(MMSYSERR_NOERROR); }

void RestartCapture(WaveCapture& capture) {
    if (!capture.thread) return;
    capture.restartWanted.store(true);
    ::SetEvent(capture.bufferEvent);
}
