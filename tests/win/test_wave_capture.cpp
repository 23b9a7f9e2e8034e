// Audio capture: the buffer handler, the start sequence and its failures,
// the stop, the capture thread and its recovery, and the capture error
// message. A scripted wave device stands in for the system's (through the
// table of wave input calls) so that every failure and every interleaving
// can be produced; the last tests use the real device when the test world
// has one.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/app_dlg.h"
#include "base/shared_record.h"
#include "monitor/alarm.h"
#include "monitor/capture_error.h"
#include "monitor/wave_capture.h"
#include "monitor/wave_in_calls.h"
#include "res/resource.h"

namespace {

HWAVEIN const kFakeDevice = reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(0x8123));

// Set while the scripted device notifies its client (sets the event or calls
// the callback): no wave call may be made from there.
thread_local bool t_inDeviceCallback = false;

// A scripted wave input device. Like Wine's, its reset hands the queued
// buffers back through the callback on the calling thread; like Windows', it
// refuses to close while buffers are queued (or, like Wine's, closes anyway
// and forgets them, with `closeForgetsQueue`).
struct FakeDevice {
    CRITICAL_SECTION lock;
    std::deque<WAVEHDR*> queue;
    std::vector<std::string> log;
    DWORD_PTR callback = 0;
    DWORD_PTR instance = 99;
    DWORD flags = 0;
    UINT deviceId = 77;
    WAVEFORMATEX format = {};
    bool open = false;
    bool started = false;
    // Results to give: the call number (1-based) that fails, and its code.
    std::atomic<MMRESULT> openResult{MMSYSERR_NOERROR};
    int failPrepareAt = 0, failAddAt = 0;
    MMRESULT prepareResult = MMSYSERR_NOERROR, addResult = MMSYSERR_NOERROR;
    MMRESULT startResult = MMSYSERR_NOERROR;
    int closeRefusals = 0;  // extra WAVERR_STILLPLAYING answers of close
    bool closeForgetsQueue = false;
    // The reset keeps this many buffers of the queue's end: `keptByReset`
    // stay in the device, `lateOnReset` are taken out and handed back by
    // another thread a little later (as the sound system's thread does with
    // a buffer it was delivering when the reset came).
    int keptByReset = 0;
    int lateOnReset = 0;
    std::vector<std::thread> late;
    std::atomic<int> lateDelivered{0};
    std::atomic<int> opens{0};
    int prepares = 0, adds = 0, unprepares = 0, closes = 0;
    std::atomic<int> resets{0};
    std::atomic<int> callsInCallback{0};
    // A reset that does not return until `releaseReset` is set (a driver
    // that hangs), and that says so through `inReset`.
    HANDLE holdReset = nullptr;
    HANDLE inReset = nullptr;
    size_t queueAtFirstUnprepare = 0;
    // What capture looked like when it queued or closed.
    WaveCapture* watched = nullptr;
    std::atomic<int> addsWhileStopping{0};
    bool closedOnce = false;
    size_t queuedAtClose = 0;
    int buffersOutAtClose = -1;

    FakeDevice() { ::InitializeCriticalSection(&lock); }
    ~FakeDevice() {
        JoinLate();
        ::DeleteCriticalSection(&lock);
    }
    void JoinLate() {
        for (std::thread& t : late) t.join();
        late.clear();
    }
    size_t Queued() {
        ::EnterCriticalSection(&lock);
        size_t n = queue.size();
        ::LeaveCriticalSection(&lock);
        return n;
    }
    WAVEHDR* TakeFirst() {
        ::EnterCriticalSection(&lock);
        WAVEHDR* h = nullptr;
        if (!queue.empty()) {
            h = queue.front();
            queue.pop_front();
        }
        ::LeaveCriticalSection(&lock);
        return h;
    }
    void Log(const std::string& what) {
        if (t_inDeviceCallback) callsInCallback.fetch_add(1);
        ::EnterCriticalSection(&lock);
        log.push_back(what);
        ::LeaveCriticalSection(&lock);
    }
};

FakeDevice* g_fake = nullptr;

MMRESULT WINAPI FakeOpen(LPHWAVEIN handle, UINT id, LPCWAVEFORMATEX format, DWORD_PTR callback,
                         DWORD_PTR instance, DWORD flags) {
    FakeDevice& d = *g_fake;
    d.Log("open");
    ++d.opens;
    d.deviceId = id;
    d.format = *format;
    d.callback = callback;
    d.instance = instance;
    d.flags = flags;
    if (d.openResult != MMSYSERR_NOERROR) return d.openResult;
    *handle = kFakeDevice;
    d.open = true;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI FakePrepare(HWAVEIN h, LPWAVEHDR header, UINT size) {
    FakeDevice& d = *g_fake;
    const int call = ++d.prepares;
    d.Log("prepare");
    if (h != kFakeDevice || size != sizeof(WAVEHDR)) return MMSYSERR_INVALHANDLE;
    if (call == d.failPrepareAt) return d.prepareResult;
    header->dwFlags |= WHDR_PREPARED;
    header->dwFlags &= ~WHDR_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI FakeAdd(HWAVEIN h, LPWAVEHDR header, UINT size) {
    FakeDevice& d = *g_fake;
    const int call = ++d.adds;
    d.Log("add");
    if (h != kFakeDevice || size != sizeof(WAVEHDR)) return MMSYSERR_INVALHANDLE;
    if (call == d.failAddAt) return d.addResult;
    if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (d.watched && d.watched->stopping.load()) d.addsWhileStopping.fetch_add(1);
    ::EnterCriticalSection(&d.lock);
    header->dwBytesRecorded = 0;
    header->dwFlags &= ~WHDR_DONE;
    header->dwFlags |= WHDR_INQUEUE;
    d.queue.push_back(header);
    ::LeaveCriticalSection(&d.lock);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI FakeStart(HWAVEIN h) {
    g_fake->Log("start");
    if (h != kFakeDevice) return MMSYSERR_INVALHANDLE;
    if (g_fake->startResult == MMSYSERR_NOERROR) g_fake->started = true;
    return g_fake->startResult;
}

MMRESULT WINAPI FakeUnprepare(HWAVEIN h, LPWAVEHDR header, UINT size) {
    FakeDevice& d = *g_fake;
    if (++d.unprepares == 1) d.queueAtFirstUnprepare = d.Queued();
    d.Log("unprepare");
    if (h != kFakeDevice || size != sizeof(WAVEHDR)) return MMSYSERR_INVALHANDLE;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

void Deliver(WAVEHDR* header);

MMRESULT WINAPI FakeReset(HWAVEIN h) {
    FakeDevice& d = *g_fake;
    ++d.resets;
    d.Log("reset");
    if (h != kFakeDevice) return MMSYSERR_INVALHANDLE;
    if (d.holdReset) {
        ::SetEvent(d.inReset);
        ::WaitForSingleObject(d.holdReset, INFINITE);
    }
    d.started = false;
    ::EnterCriticalSection(&d.lock);
    std::deque<WAVEHDR*> back;
    back.swap(d.queue);
    for (int i = 0; i < d.keptByReset && !back.empty(); ++i) {
        d.queue.push_front(back.back());
        back.pop_back();
    }
    std::vector<WAVEHDR*> later;
    for (int i = 0; i < d.lateOnReset && !back.empty(); ++i) {
        later.push_back(back.back());
        back.pop_back();
    }
    ::LeaveCriticalSection(&d.lock);
    for (WAVEHDR* header : back) Deliver(header);
    if (!later.empty()) {
        d.late.emplace_back([later, &d] {
            ::Sleep(150);
            for (WAVEHDR* header : later) {
                d.lateDelivered.fetch_add(1);
                Deliver(header);
            }
        });
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI FakeClose(HWAVEIN h) {
    FakeDevice& d = *g_fake;
    ++d.closes;
    d.Log("close");
    if (h != kFakeDevice || !d.open) return MMSYSERR_INVALHANDLE;
    if (d.Queued() != 0 && !d.closeForgetsQueue) return WAVERR_STILLPLAYING;
    if (d.closeRefusals > 0) {
        --d.closeRefusals;
        return WAVERR_STILLPLAYING;
    }
    if (!d.closedOnce) {
        d.closedOnce = true;
        d.queuedAtClose = d.Queued();
        if (d.watched) d.buffersOutAtClose = d.watched->buffersOut.load();
    }
    ::EnterCriticalSection(&d.lock);
    d.queue.clear();  // what is still queued is never handed back
    ::LeaveCriticalSection(&d.lock);
    d.open = false;
    return MMSYSERR_NOERROR;
}

// The device gives a buffer back and notifies as capture asked it to.
void Deliver(WAVEHDR* header) {
    header->dwFlags &= ~WHDR_INQUEUE;
    header->dwFlags |= WHDR_DONE;
    t_inDeviceCallback = true;
    switch (g_fake->flags & CALLBACK_TYPEMASK) {
    case CALLBACK_EVENT:
        ::SetEvent(reinterpret_cast<HANDLE>(g_fake->callback));
        break;
    case CALLBACK_FUNCTION:
        reinterpret_cast<void(CALLBACK*)(HWAVEIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(g_fake->callback)(
            kFakeDevice, MM_WIM_DATA, g_fake->instance, reinterpret_cast<DWORD_PTR>(header), 0);
        break;
    default:
        break;
    }
    t_inDeviceCallback = false;
}

// Delivers a buffer; without a capture thread the test takes it in itself.
void Hand(WAVEHDR* header) {
    Deliver(header);
    if (g_fake->watched && !g_fake->watched->thread) TakeFilledBuffers(*g_fake->watched);
}

// The device fills its first queued buffer with `samples` and gives it back.
WAVEHDR* Fill(const std::vector<int16_t>& samples, DWORD recordedBytes) {
    WAVEHDR* header = g_fake->TakeFirst();
    if (!header) return nullptr;
    const size_t bytes = std::min<size_t>(samples.size() * sizeof(int16_t), header->dwBufferLength);
    std::memcpy(header->lpData, samples.data(), bytes);
    header->dwBytesRecorded = recordedBytes;
    Hand(header);
    return header;
}

std::vector<int16_t> Silence() { return std::vector<int16_t>(2048, 0); }

class WaveCaptureFake : public ::testing::Test {
protected:
    FakeDevice device;
    WaveCapture capture;
    WaveInCalls saved;

    void SetUp() override {
        saved = g_waveIn;
        g_fake = &device;
        g_waveIn.open = &FakeOpen;
        g_waveIn.prepare = &FakePrepare;
        g_waveIn.add = &FakeAdd;
        g_waveIn.start = &FakeStart;
        g_waveIn.unprepare = &FakeUnprepare;
        g_waveIn.reset = &FakeReset;
        g_waveIn.close = &FakeClose;
        ZeroSharedRecord();
        StoreFullScale(State(), 8000.0);
        capture.handle = nullptr;
        capture.sampleRate = 11025;
        capture.bitsPerSample = 16;
        capture.bufferBytes = 4096;
        device.watched = &capture;
    }
    void TearDown() override {
        if (capture.handle || capture.thread) StopCapture(capture);
        device.JoinLate();
        EXPECT_EQ(device.callsInCallback.load(), 0) << "a wave call inside the device's notification";
        EXPECT_EQ(capture.buffersOut.load(), 0) << "buffers leaked";
        EXPECT_EQ(device.addsWhileStopping.load(), 0) << "a buffer was queued after the stop began";
        EXPECT_EQ(device.Queued(), 0u);
        g_waveIn = saved;
        g_fake = nullptr;
    }
    // Recording without the capture thread: the test hands buffers in.
    void Start() {
        ASSERT_EQ(StartRecording(capture), MMSYSERR_NOERROR);
        ASSERT_EQ(device.Queued(), 2u);
    }
};

}  // namespace

TEST_F(WaveCaptureFake, StartOpensTheFirstDeviceInTheFixedFormatAndQueuesTwoBuffers) {
    Start();
    EXPECT_EQ(device.deviceId, 0u);
    EXPECT_EQ(capture.deviceIndex, 0u);
    EXPECT_EQ(device.format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(device.format.nChannels, 1);
    EXPECT_EQ(device.format.nSamplesPerSec, 11025u);
    EXPECT_EQ(device.format.nAvgBytesPerSec, 22050u);
    EXPECT_EQ(device.format.nBlockAlign, 2);
    EXPECT_EQ(device.format.wBitsPerSample, 16);
    EXPECT_EQ(device.format.cbSize, 0);
    // The device only sets an event: nothing of ours runs on its threads.
    EXPECT_EQ(device.flags, static_cast<DWORD>(CALLBACK_EVENT));
    EXPECT_EQ(device.callback, reinterpret_cast<DWORD_PTR>(capture.bufferEvent));
    EXPECT_EQ(capture.handle.load(), kFakeDevice);
    EXPECT_TRUE(device.started);
    EXPECT_EQ(device.log, (std::vector<std::string>{"open", "prepare", "add", "prepare", "add", "start"}));
    for (WAVEHDR* h : device.queue) {
        EXPECT_EQ(h->dwBufferLength, 4096u);
        EXPECT_NE(h->lpData, nullptr);
        EXPECT_EQ(h->dwUser, 0u);
        EXPECT_EQ(h->dwLoops, 0u);
    }
    EXPECT_NE(device.queue[0], device.queue[1]);
    EXPECT_EQ(capture.buffersOut.load(), 2);
}

TEST_F(WaveCaptureFake, FilledBufferIsReplacedBeforeItIsEvaluatedAndThenFreed) {
    Start();
    std::vector<int16_t> samples = Silence();
    samples[2047] = -32768;
    WAVEHDR* first = Fill(samples, 4096);
    EXPECT_EQ(device.queueAtFirstUnprepare, 2u) << "queue back at two before the returned buffer is touched";
    EXPECT_EQ(LoadLevel(State()), 1.0);
    EXPECT_EQ(device.Queued(), 2u);
    EXPECT_EQ(capture.buffersOut.load(), 2);
    EXPECT_EQ(std::count(device.queue.begin(), device.queue.end(), first), 0);
    EXPECT_EQ(device.prepares, 3);
    EXPECT_EQ(device.adds, 3);
    EXPECT_EQ(device.unprepares, 1);
}

TEST_F(WaveCaptureFake, LevelFollowsThePeakOnTheFullScale) {
    Start();
    std::vector<int16_t> samples = Silence();
    samples[100] = 4000;  // half of 8000
    Fill(samples, 4096);
    EXPECT_EQ(LoadLevel(State()), 0.5);
    samples[100] = -8000;
    Fill(samples, 4096);
    EXPECT_EQ(LoadLevel(State()), 1.0);
    Fill(Silence(), 4096);
    EXPECT_EQ(LoadLevel(State()), 0.0);
    // A new full scale takes effect with the next buffer.
    StoreFullScale(State(), 16000.0);
    samples[100] = 4000;
    Fill(samples, 4096);
    EXPECT_EQ(LoadLevel(State()), 0.25);
}

TEST_F(WaveCaptureFake, BufferWithNoRecordedBytesLeavesTheLevelAndIsStillFreed) {
    Start();
    StoreLevel(State(), 0.37);
    std::vector<int16_t> loud = Silence();
    loud[0] = -32768;
    WAVEHDR* header = Fill(loud, 0);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(LoadLevel(State()), 0.37);
    EXPECT_EQ(device.Queued(), 2u);
    EXPECT_EQ(capture.buffersOut.load(), 2) << "the empty buffer was freed";
}

// The device also sets the event for its open and close notices.
TEST_F(WaveCaptureFake, EventsWithoutAFilledBufferChangeNothing) {
    Start();
    StoreLevel(State(), 0.61);
    const size_t logSize = device.log.size();
    ::SetEvent(capture.bufferEvent);
    EXPECT_EQ(TakeFilledBuffers(capture), 0);
    EXPECT_EQ(LoadLevel(State()), 0.61);
    EXPECT_EQ(device.log.size(), logSize);
    EXPECT_EQ(device.Queued(), 2u);
    EXPECT_EQ(capture.buffersOut.load(), 2);
}

TEST_F(WaveCaptureFake, OnlyRecordedBytesWithinTheBufferAreRead) {
    Start();
    StoreLevel(State(), 0.0);
    // Recorded count larger than the buffer: only the buffer's 4096 bytes count.
    std::vector<int16_t> samples = Silence();
    samples[2047] = 2000;
    Fill(samples, 0x7FFFFFF0);
    EXPECT_EQ(LoadLevel(State()), 0.25);

    // A partly filled buffer: what lies beyond the recorded bytes is not sound.
    samples = Silence();
    samples[0] = 800;
    samples[1] = -32768;
    Fill(samples, 2);
    EXPECT_EQ(LoadLevel(State()), 0.1);

    // A header that claims a shorter buffer is read only that far.
    WAVEHDR* header = device.TakeFirst();
    ASSERT_NE(header, nullptr);
    std::vector<int16_t> block = Silence();
    block[10] = 4000;
    block[60] = -32768;
    std::memcpy(header->lpData, block.data(), 4096);
    header->dwBufferLength = 100;
    header->dwBytesRecorded = 4096;
    Hand(header);
    EXPECT_EQ(LoadLevel(State()), 0.5);
    EXPECT_EQ(device.Queued(), 2u);
}

TEST_F(WaveCaptureFake, WhenNoFreshBufferCanBePreparedTheReturnedOneGoesBack) {
    Start();
    device.failPrepareAt = 3;  // the handler's fresh buffer
    device.prepareResult = MMSYSERR_NOMEM;
    std::vector<int16_t> samples = Silence();
    samples[9] = 6000;
    WAVEHDR* header = Fill(samples, 4096);
    EXPECT_DOUBLE_EQ(LoadLevel(State()), 0.75);
    EXPECT_EQ(device.Queued(), 2u);
    EXPECT_EQ(device.queue.back(), header) << "the returned buffer is queued again";
    EXPECT_EQ(capture.buffersOut.load(), 2);
    // And it goes on working with the buffer it kept.
    samples[9] = 2000;
    Fill(samples, 4096);
    EXPECT_DOUBLE_EQ(LoadLevel(State()), 0.25);
    EXPECT_EQ(device.Queued(), 2u);
}

TEST_F(WaveCaptureFake, WhenNoFreshBufferCanBeQueuedTheReturnedOneGoesBack) {
    Start();
    device.failAddAt = 3;
    device.addResult = MMSYSERR_NOMEM;
    WAVEHDR* header = Fill(Silence(), 4096);
    EXPECT_EQ(device.Queued(), 2u);
    EXPECT_EQ(device.queue.back(), header);
    EXPECT_EQ(capture.buffersOut.load(), 2);
}

TEST_F(WaveCaptureFake, WhenNothingCanBeQueuedTheBufferIsFreed) {
    Start();  // prepares 1 and 2, adds 1 and 2
    // The fresh buffer cannot be prepared (prepare 3), and the returned one
    // cannot be queued again either (add 3).
    device.failPrepareAt = 3;
    device.prepareResult = MMSYSERR_NOMEM;
    device.failAddAt = 3;
    device.addResult = MMSYSERR_INVALHANDLE;
    Fill(Silence(), 4096);
    EXPECT_EQ(device.prepares, 3);
    EXPECT_EQ(device.adds, 3);
    EXPECT_EQ(device.Queued(), 1u);
    EXPECT_EQ(capture.buffersOut.load(), 1) << "the buffer nobody can use is freed, not lost";
}

TEST_F(WaveCaptureFake, StopHandsBackFreesAndClosesWithoutEvaluating) {
    Start();
    StoreLevel(State(), 0.42);
    // Buffers that come back at stop hold sound, but the level no longer changes.
    for (WAVEHDR* h : device.queue) {
        reinterpret_cast<int16_t*>(h->lpData)[0] = -32768;
        h->dwBytesRecorded = 4096;
    }
    StopCapture(capture);
    EXPECT_EQ(capture.handle.load(), nullptr);
    EXPECT_FALSE(device.open);
    EXPECT_EQ(device.Queued(), 0u);
    EXPECT_EQ(capture.buffersOut.load(), 0);
    EXPECT_EQ(LoadLevel(State()), 0.42);
    EXPECT_EQ(device.adds, 2) << "nothing queued after the stop began";
    EXPECT_EQ(device.resets.load(), 1) << "one reset hands back every buffer";
    EXPECT_EQ(device.closes, 1);
    EXPECT_EQ(device.buffersOutAtClose, 0) << "closed only with every buffer back and freed";
    // A second stop does nothing.
    StopCapture(capture);
    EXPECT_EQ(device.closes, 1);
}

TEST_F(WaveCaptureFake, CloseIsRetriedWhileTheDeviceSaysStillPlaying) {
    Start();
    device.closeRefusals = 3;
    StopCapture(capture);
    EXPECT_EQ(device.closes, 4);
    EXPECT_EQ(capture.handle.load(), nullptr);
    EXPECT_FALSE(device.open);
}

TEST_F(WaveCaptureFake, CloseThatNeverSucceedsLeavesTheHandleSet) {
    Start();
    device.closeRefusals = 1000;
    StopCapture(capture);
    EXPECT_GT(device.closes, 1);
    EXPECT_LT(device.closes, 100);
    EXPECT_EQ(capture.handle.load(), kFakeDevice) << "not closed, so not forgotten";
    EXPECT_EQ(capture.buffersOut.load(), 0);
    device.closeRefusals = 0;
    StopCapture(capture);
    EXPECT_EQ(capture.handle.load(), nullptr);
}

// ---- the capture thread ----------------------------------------------------

namespace {

bool WaitFor(const std::function<bool()>& done, DWORD ms = 10000) {
    const DWORD begin = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - begin > ms) return false;
        ::Sleep(2);
    }
    return true;
}

// The sound system's side of the scripted device: on a thread of its own it
// fills the oldest queued buffer (one sample of `peak`) every few
// milliseconds, until it ends.
class SoundThread {
public:
    // Buffers of `bytes` recorded bytes (0: the device hands back empty ones).
    explicit SoundThread(int16_t peak, DWORD bytes = 4096) : thread([this, peak, bytes] { Run(peak, bytes); }) {}
    ~SoundThread() {
        running = false;
        thread.join();
    }
    int Delivered() const { return delivered.load(); }

private:
    void Run(int16_t peak, DWORD bytes) {
        std::vector<int16_t> samples = Silence();
        samples[5] = peak;
        while (running) {
            if (WAVEHDR* header = g_fake->TakeFirst()) {
                std::memcpy(header->lpData, samples.data(), 4096);
                header->dwBytesRecorded = bytes;
                Deliver(header);
                delivered.fetch_add(1);
            }
            ::Sleep(5);
        }
    }
    std::atomic<bool> running{true};
    std::atomic<int> delivered{0};
    std::thread thread;
};

}  // namespace

TEST_F(WaveCaptureFake, CaptureThreadKeepsRecordingAndNeverCallsInsideTheDevicesNotification) {
    ASSERT_EQ(StartCapture(capture), MMSYSERR_NOERROR);
    ASSERT_NE(capture.thread, nullptr);
    {
        SoundThread sound(4000);  // half of the full scale
        ASSERT_TRUE(WaitFor([&] { return sound.Delivered() >= 30; }));
        ASSERT_TRUE(WaitFor([] { return LoadLevel(State()) == 0.5; }));
    }
    ASSERT_TRUE(WaitFor([&] { return device.Queued() == 2; })) << "the queue stays at two";
    EXPECT_TRUE(StopCapture(capture));
    EXPECT_EQ(capture.thread, nullptr);
    EXPECT_EQ(capture.handle.load(), nullptr);
    EXPECT_EQ(device.callsInCallback.load(), 0);
    EXPECT_EQ(TakeCaptureFailure(capture), 0u);
}

// A driver that never returns from the reset (as one may on Windows): the
// stop gives up in bounded time and frees nothing the device may still use;
// the thread finishes the stop once the device lets go.
TEST_F(WaveCaptureFake, StopGivesUpOnADeviceThatHangsAndFreesNothingItHolds) {
    ASSERT_EQ(StartCapture(capture), MMSYSERR_NOERROR);
    device.holdReset = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    device.inReset = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const DWORD begin = ::GetTickCount();
    EXPECT_FALSE(StopCapture(capture));
    EXPECT_LT(::GetTickCount() - begin, 10000u);
    EXPECT_EQ(::WaitForSingleObject(device.inReset, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_NE(capture.thread, nullptr);
    EXPECT_EQ(capture.handle.load(), kFakeDevice);
    EXPECT_EQ(capture.buffersOut.load(), 2);
    EXPECT_TRUE(::SetEvent(capture.bufferEvent)) << "the device's event is still there";

    ::SetEvent(device.holdReset);
    EXPECT_EQ(::WaitForSingleObject(capture.thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(StopCapture(capture));
    EXPECT_EQ(capture.thread, nullptr);
    ::CloseHandle(device.holdReset);
    ::CloseHandle(device.inReset);
    device.holdReset = device.inReset = nullptr;
}

TEST_F(WaveCaptureFake, StopWhoseCloseFailsKeepsWhatTheDeviceCanStillReach) {
    ASSERT_EQ(StartCapture(capture), MMSYSERR_NOERROR);
    device.closeRefusals = 1000;
    EXPECT_FALSE(StopCapture(capture));
    EXPECT_EQ(capture.thread, nullptr);
    EXPECT_EQ(capture.handle.load(), kFakeDevice) << "not closed, so not forgotten";
    EXPECT_TRUE(::SetEvent(capture.bufferEvent));
    device.closeRefusals = 0;
    EXPECT_TRUE(StopCapture(capture));
    EXPECT_EQ(capture.handle.load(), nullptr);
}

// Buffers stop coming (the sound server went away): the device is closed and
// opened again every few moments, the level falls to 0, and the user is told
// once, by the name of the call that failed. When buffers come again all
// goes on and nothing more is said.
TEST_F(WaveCaptureFake, RecordingThatStopsIsOpenedAgainAndReportedOnce) {
    capture.stallMs = 300;
    capture.retryMs = 100;
    ASSERT_EQ(StartCapture(capture), MMSYSERR_NOERROR);
    {
        SoundThread sound(8000);
        ASSERT_TRUE(WaitFor([] { return LoadLevel(State()) == 1.0; }));
    }
    device.openResult = MMSYSERR_NODRIVER;
    ASSERT_TRUE(WaitFor([&] { return device.opens.load() >= 3; }));
    EXPECT_EQ(TakeCaptureFailure(capture), static_cast<MMRESULT>(MMSYSERR_NODRIVER));
    EXPECT_EQ(LoadLevel(State()), 0.0) << "no stale level while nothing is heard";
    EXPECT_EQ(capture.buffersOut.load(), 0);
    ASSERT_TRUE(WaitFor([&] { return device.opens.load() >= 6; }));
    EXPECT_EQ(TakeCaptureFailure(capture), 0u) << "told once";

    device.openResult = MMSYSERR_NOERROR;
    {
        SoundThread sound(4000);
        ASSERT_TRUE(WaitFor([] { return LoadLevel(State()) == 0.5; }));
    }
    EXPECT_EQ(TakeCaptureFailure(capture), 0u) << "nothing more is said";
    EXPECT_TRUE(StopCapture(capture));
}

// A device that opens again but still records nothing is reported as well;
// empty buffers that it hands back count as nothing.
TEST_F(WaveCaptureFake, DeviceThatOpensAgainButStaysSilentIsReportedAsUnknown) {
    capture.stallMs = 300;
    capture.retryMs = 100;
    ASSERT_EQ(StartCapture(capture), MMSYSERR_NOERROR);
    SoundThread empty(8000, 0);
    ASSERT_TRUE(WaitFor([&] { return device.opens.load() >= 2; }));
    EXPECT_EQ(capture.failure.load(), 0u) << "the first attempt may still bring buffers";
    ASSERT_TRUE(WaitFor([&] { return capture.failure.load() != 0u; }));
    EXPECT_STREQ(CaptureErrorName(TakeCaptureFailure(capture)), "UNKNOWN");
    EXPECT_TRUE(StopCapture(capture));
}

// After the PC slept, the program asks for the device afresh; a stop that
// comes while the thread is doing so still ends within its time, even with
// a device that keeps its buffers.
TEST_F(WaveCaptureFake, ARestartIsDoneOnRequestAndAStopDuringItEndsTheThread) {
    ASSERT_EQ(StartCapture(capture), MMSYSERR_NOERROR);
    RestartCapture(capture);
    ASSERT_TRUE(WaitFor([&] { return device.opens.load() == 2; }));
    device.keptByReset = 2;
    device.closeForgetsQueue = true;  // and loses them: not the program's to free
    RestartCapture(capture);
    ASSERT_TRUE(WaitFor([&] { return device.resets >= 2; }));
    StopCapture(capture);
    EXPECT_EQ(capture.thread, nullptr) << "the stop gave up on the thread";
    EXPECT_EQ(device.opens.load(), 2) << "a device was opened after the stop was asked for";
    capture.buffersOut.store(0);
}

// Wine closes a device even while buffers are queued and never hands them
// back: the stop must have every buffer back before it closes.
TEST_F(WaveCaptureFake, DeviceThatClosesWithBuffersQueuedIsClosedOnlyOnceAllAreBack) {
    device.closeForgetsQueue = true;
    Start();
    Fill(Silence(), 4096);
    StopCapture(capture);
    EXPECT_EQ(device.closes, 1);
    EXPECT_EQ(device.queuedAtClose, 0u);
    EXPECT_EQ(device.buffersOutAtClose, 0);
    EXPECT_EQ(capture.handle.load(), nullptr);
    EXPECT_EQ(capture.buffersOut.load(), 0);
}

// A buffer that the sound system's thread was handing over when the reset
// came arrives a little later on that thread: the stop waits for it, frees
// it, and only then closes; no handler is left running when it returns.
TEST_F(WaveCaptureFake, BufferHandedBackLateOnTheSoundThreadIsFreedBeforeTheClose) {
    device.closeForgetsQueue = true;
    device.lateOnReset = 1;
    Start();
    StopCapture(capture);
    EXPECT_EQ(device.lateDelivered.load(), 1) << "the stop returned before the late buffer came back";
    EXPECT_EQ(device.queuedAtClose, 0u);
    EXPECT_EQ(device.buffersOutAtClose, 0);
    EXPECT_EQ(capture.buffersOut.load(), 0);
    EXPECT_EQ(capture.handle.load(), nullptr);
    EXPECT_LE(device.resets.load(), 20) << "the stop kept resetting";
}

// A buffer the device never gives back is not freed (it could still write
// into it), and the stop gives up instead of waiting for ever; the device,
// which refuses to close with it queued, stays open and remembered.
TEST_F(WaveCaptureFake, BufferTheDeviceNeverGivesBackIsNotFreedAndTheStopGivesUp) {
    device.keptByReset = 1;
    Start();
    StopCapture(capture);
    EXPECT_EQ(device.Queued(), 1u);
    EXPECT_EQ(capture.buffersOut.load(), 1);
    EXPECT_EQ(capture.handle.load(), kFakeDevice);
    EXPECT_EQ(device.addsWhileStopping.load(), 0);
    // Once the device lets it go, a second stop frees it and closes.
    device.keptByReset = 0;
    StopCapture(capture);
    EXPECT_EQ(capture.handle.load(), nullptr);
    EXPECT_EQ(capture.buffersOut.load(), 0);
}

// ---- the start sequence and its failures -----------------------------------

TEST_F(WaveCaptureFake, OpenFailureIsReturnedAndNothingIsQueued) {
    device.openResult = MMSYSERR_ALLOCATED;
    EXPECT_EQ(StartCapture(capture), static_cast<MMRESULT>(MMSYSERR_ALLOCATED));
    EXPECT_EQ(capture.handle.load(), nullptr);
    EXPECT_EQ(device.prepares, 0);
    EXPECT_EQ(capture.buffersOut.load(), 0);
    EXPECT_EQ(device.log, std::vector<std::string>{"open"});
}

TEST_F(WaveCaptureFake, PrepareFailureOfTheFirstBufferEndsTheSequence) {
    device.failPrepareAt = 1;
    device.prepareResult = MMSYSERR_NOMEM;
    EXPECT_EQ(StartCapture(capture), static_cast<MMRESULT>(MMSYSERR_NOMEM));
    EXPECT_EQ(device.log, (std::vector<std::string>{"open", "prepare"}));
    EXPECT_EQ(capture.handle.load(), kFakeDevice) << "the open device stays open";
    EXPECT_FALSE(device.started);
    EXPECT_EQ(capture.buffersOut.load(), 0) << "the unqueued buffer is freed";
    StopCapture(capture);
    EXPECT_EQ(capture.handle.load(), nullptr);
}

TEST_F(WaveCaptureFake, AddFailureOfTheSecondBufferKeepsTheFirstQueued) {
    device.failAddAt = 2;
    device.addResult = MMSYSERR_INVALHANDLE;
    EXPECT_EQ(StartCapture(capture), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
    EXPECT_EQ(device.log,
              (std::vector<std::string>{"open", "prepare", "add", "prepare", "add", "unprepare"}));
    EXPECT_EQ(device.Queued(), 1u);
    EXPECT_EQ(capture.buffersOut.load(), 1);
    EXPECT_FALSE(device.started);
    StopCapture(capture);
    EXPECT_EQ(capture.handle.load(), nullptr);
    EXPECT_EQ(capture.buffersOut.load(), 0);
}

TEST_F(WaveCaptureFake, StartFailureIsReturnedWithBothBuffersQueued) {
    device.startResult = MMSYSERR_NODRIVER;
    EXPECT_EQ(StartCapture(capture), static_cast<MMRESULT>(MMSYSERR_NODRIVER));
    EXPECT_EQ(device.Queued(), 2u);
    EXPECT_EQ(capture.handle.load(), kFakeDevice);
    StopCapture(capture);
    EXPECT_EQ(capture.handle.load(), nullptr);
}

TEST_F(WaveCaptureFake, UnusableParametersAreRefusedBeforeOpening) {
    capture.bufferBytes = 0;
    EXPECT_NE(StartCapture(capture), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    capture.bufferBytes = -4096;
    EXPECT_NE(StartCapture(capture), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    capture.bufferBytes = 4096;
    capture.bitsPerSample = 8;
    EXPECT_EQ(StartCapture(capture), static_cast<MMRESULT>(WAVERR_BADFORMAT));
    EXPECT_EQ(device.log.size(), 0u);
    EXPECT_EQ(capture.handle.load(), nullptr);
}

// ---- the capture error message ---------------------------------------------

namespace {

struct ShownBox {
    std::string text;
    std::string caption;
    bool exclamation = false;
    HWND owner = nullptr;
    bool found = false;
};

BOOL CALLBACK FindBoxOfThread(HWND hwnd, LPARAM param) {
    char cls[32] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") != 0 || !::IsWindowVisible(hwnd)) return TRUE;
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
}

// Waits for the message box that the thread `threadId` shows, reads it and
// presses OK.
void ReadAndCloseBox(DWORD threadId, ShownBox* out) {
    for (int i = 0; i < 1000 && !out->found; ++i) {
        HWND box = nullptr;
        ::EnumThreadWindows(threadId, &FindBoxOfThread, reinterpret_cast<LPARAM>(&box));
        if (!box) {
            ::Sleep(10);
            continue;
        }
        char buffer[512] = {};
        ::GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
        out->text = buffer;
        ::GetWindowTextA(box, buffer, sizeof buffer);
        out->caption = buffer;
        out->owner = ::GetWindow(box, GW_OWNER);
        HICON expected = ::LoadIconA(nullptr, IDI_EXCLAMATION);
        for (int id : {1088, 0x14}) {
            HWND iconControl = ::GetDlgItem(box, id);
            if (iconControl && reinterpret_cast<HICON>(::SendMessageA(iconControl, STM_GETICON, 0, 0)) == expected)
                out->exclamation = true;
        }
        out->found = true;
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
}

std::string Expected(const char* name) {
    char format[256] = {};
    EXPECT_GT(::LoadStringA(::GetModuleHandleA(nullptr), IDS_CAPTURE_ERROR, format, sizeof format), 0)
        << "text 3004 is in the program's string table";
    std::string text = format;
    const size_t at = text.find("%s");
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos) text.replace(at, 2, name);
    return text;
}

ShownBox Report(HWND owner, MMRESULT code) {
    ShownBox shown;
    std::thread reader(ReadAndCloseBox, ::GetCurrentThreadId(), &shown);
    ReportCaptureError(owner, code);
    reader.join();
    return shown;
}

}  // namespace

TEST(CaptureErrorMessage, ShowsTheNameOfEachCodeThroughText3004WithTheExclamationIcon) {
    HWND owner = ::CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                   nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    const struct {
        MMRESULT code;
        const char* name;
    } cases[] = {
        {MMSYSERR_BADDEVICEID, "MMSYSERR_BADDEVICEID"}, {MMSYSERR_ALLOCATED, "MMSYSERR_ALLOCATED"},
        {MMSYSERR_INVALHANDLE, "MMSYSERR_INVALHANDLE"}, {MMSYSERR_NODRIVER, "MMSYSERR_NODRIVER"},
        {MMSYSERR_NOMEM, "MMSYSERR_NOMEM"},             {WAVERR_BADFORMAT, "WAVERR_BADFORMAT"},
        {WAVERR_STILLPLAYING, "WAVERR_STILLPLAYING"},   {MMSYSERR_ERROR, "UNKNOWN"},
        {MMSYSERR_INVALPARAM, "UNKNOWN"},               {WAVERR_UNPREPARED, "UNKNOWN"},
    };
    for (const auto& c : cases) {
        ASSERT_STREQ(CaptureErrorName(c.code), c.name);
        ShownBox shown = Report(owner, c.code);
        ASSERT_TRUE(shown.found) << c.name;
        EXPECT_EQ(shown.text, Expected(c.name));
        EXPECT_NE(shown.text.find(c.name), std::string::npos);
        EXPECT_LE(shown.text.size(), 255u);
        EXPECT_EQ(shown.caption, "Cribwatch");
        EXPECT_TRUE(shown.exclamation) << c.name;
        EXPECT_EQ(shown.owner, owner);
    }
    ::DestroyWindow(owner);
}

// Each failing call of the start sequence, as the main window reports it.
TEST_F(WaveCaptureFake, EachFailingCallOfTheStartIsReportedByItsName) {
    HWND owner = ::CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                   nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    struct Case {
        const char* call;
        MMRESULT code;
        const char* name;
    };
    const Case cases[] = {
        {"open", MMSYSERR_BADDEVICEID, "MMSYSERR_BADDEVICEID"},
        {"prepare", MMSYSERR_NOMEM, "MMSYSERR_NOMEM"},
        {"add", MMSYSERR_INVALHANDLE, "MMSYSERR_INVALHANDLE"},
        {"start", MMSYSERR_NODRIVER, "MMSYSERR_NODRIVER"},
        {"open", WAVERR_BADFORMAT, "WAVERR_BADFORMAT"},
        {"prepare", MMSYSERR_ERROR, "UNKNOWN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        device.log.clear();
        device.openResult = std::strcmp(c.call, "open") == 0 ? c.code : MMSYSERR_NOERROR;
        device.prepares = device.adds = 0;
        device.failPrepareAt = std::strcmp(c.call, "prepare") == 0 ? 2 : 0;
        device.failAddAt = std::strcmp(c.call, "add") == 0 ? 2 : 0;
        device.prepareResult = device.addResult = c.code;
        device.startResult = std::strcmp(c.call, "start") == 0 ? c.code : MMSYSERR_NOERROR;
        capture.handle = nullptr;
        StoreLevel(State(), 0.0);

        const MMRESULT code = StartCapture(capture);
        ASSERT_EQ(code, c.code);
        // The failing call ended the sequence (a buffer that could not be
        // queued is only unprepared again).
        std::vector<std::string> calls = device.log;
        if (!calls.empty() && calls.back() == "unprepare") calls.pop_back();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), c.call);
        EXPECT_FALSE(device.started) << "recording never starts";
        ShownBox shown = Report(owner, code);
        ASSERT_TRUE(shown.found);
        EXPECT_EQ(shown.text, Expected(c.name));
        EXPECT_TRUE(shown.exclamation);
        // The program runs on: no level, and the exit closes what was opened.
        EXPECT_EQ(LoadLevel(State()), 0.0);
        if (capture.handle) StopCapture(capture);
        EXPECT_EQ(capture.handle.load(), nullptr);
        EXPECT_EQ(capture.buffersOut.load(), 0);
        EXPECT_EQ(device.Queued(), 0u);
    }
    ::DestroyWindow(owner);
}

// ---- the real device -------------------------------------------------------

namespace {

// Every wave call capture makes on the real device, and the buffers queued.
std::atomic<int> g_realCalls{0};
std::atomic<int> g_realAdds{0};

MMRESULT WINAPI CountingOpen(LPHWAVEIN handle, UINT id, LPCWAVEFORMATEX format, DWORD_PTR callback,
                             DWORD_PTR instance, DWORD flags) {
    g_realCalls.fetch_add(1);
    return ::waveInOpen(handle, id, format, callback, instance, flags);
}

MMRESULT WINAPI CountingUnprepare(HWAVEIN handle, LPWAVEHDR header, UINT size) {
    g_realCalls.fetch_add(1);
    return ::waveInUnprepareHeader(handle, header, size);
}

// What capture looked like when it queued, reset and closed the real device.
const WaveCapture* g_realCapture = nullptr;
std::atomic<int> g_realAddsWhileStopping{0};
std::atomic<int> g_realResets{0};
std::atomic<int> g_realCloses{0};
std::atomic<int> g_realBuffersOutAtClose{-1};
std::atomic<unsigned> g_realCloseResult{~0u};

MMRESULT WINAPI WatchedAdd(HWAVEIN handle, LPWAVEHDR header, UINT size) {
    g_realCalls.fetch_add(1);
    g_realAdds.fetch_add(1);
    if (g_realCapture && g_realCapture->stopping.load()) g_realAddsWhileStopping.fetch_add(1);
    return ::waveInAddBuffer(handle, header, size);
}

MMRESULT WINAPI WatchedReset(HWAVEIN handle) {
    g_realCalls.fetch_add(1);
    g_realResets.fetch_add(1);
    return ::waveInReset(handle);
}

MMRESULT WINAPI WatchedClose(HWAVEIN handle) {
    g_realCalls.fetch_add(1);
    g_realCloses.fetch_add(1);
    g_realBuffersOutAtClose = g_realCapture->buffersOut.load();
    const MMRESULT result = ::waveInClose(handle);
    g_realCloseResult = result;
    return result;
}

class WaveCaptureReal : public ::testing::Test {
protected:
    WaveCapture capture;
    WaveInCalls saved;

    void SetUp() override {
        if (::waveInGetNumDevs() == 0) GTEST_SKIP() << "this test world has no recording device";
        saved = g_waveIn;
        g_waveIn = SystemWaveInCalls();
        g_waveIn.open = &CountingOpen;
        g_waveIn.unprepare = &CountingUnprepare;
        g_waveIn.add = &WatchedAdd;
        g_waveIn.reset = &WatchedReset;
        g_waveIn.close = &WatchedClose;
        g_realCapture = &capture;
        ZeroSharedRecord();
        StoreFullScale(State(), 7875.0);
        capture.handle = nullptr;
        capture.sampleRate = 11025;
        capture.bitsPerSample = 16;
        capture.bufferBytes = 4096;
    }
    void TearDown() override {
        if (IsSkipped()) return;
        if (capture.handle || capture.thread) StopCapture(capture);
        g_waveIn = saved;
        g_realCapture = nullptr;
    }
    // Waits until `count` filled buffers have come back (each is replaced
    // by a newly queued one).
    bool WaitForData(int count, DWORD ms) {
        const DWORD begin = ::GetTickCount();
        while (g_realAdds.load() < count + 2) {
            if (::GetTickCount() - begin > ms) return false;
            ::Sleep(20);
        }
        return true;
    }
    // Stop, then check that it was complete: nothing queued once it began,
    // one close that succeeded with every buffer back and freed, the thread
    // ended, nothing left, no wave call afterwards.
    void StopAndCheck() {
        g_realAddsWhileStopping = 0;
        g_realResets = 0;
        g_realCloses = 0;
        g_realBuffersOutAtClose = -1;
        EXPECT_TRUE(StopCapture(capture));
        EXPECT_EQ(capture.thread, nullptr);
        EXPECT_EQ(g_realAddsWhileStopping.load(), 0) << "a buffer was queued after the stop began";
        EXPECT_GE(g_realResets.load(), 1);
        EXPECT_EQ(g_realCloses.load(), 1);
        EXPECT_EQ(g_realCloseResult.load(), static_cast<unsigned>(MMSYSERR_NOERROR));
        EXPECT_EQ(g_realBuffersOutAtClose.load(), 0) << "closed before every buffer was back and freed";
        EXPECT_EQ(capture.handle.load(), nullptr);
        EXPECT_EQ(capture.buffersOut.load(), 0);
        const int calls = g_realCalls.load();
        ::Sleep(300);
        EXPECT_EQ(g_realCalls.load(), calls) << "a wave call after the stop";
    }
};

}  // namespace

TEST_F(WaveCaptureReal, RecordsContinuouslyAndStopsCleanly) {
    g_realAdds = 0;
    ASSERT_EQ(StartCapture(capture), MMSYSERR_NOERROR);
    ASSERT_NE(capture.handle.load(), nullptr);
    // Every returned buffer is freed once its replacement is queued: two
    // buffers exist, three while one is handed over, however many came back.
    int most = 0;
    const DWORD begin = ::GetTickCount();
    while (g_realAdds.load() < 14 && ::GetTickCount() - begin < 30000) {
        most = std::max(most, capture.buffersOut.load());
        ::Sleep(2);
    }
    ASSERT_GE(g_realAdds.load(), 14) << "buffers keep coming";
    EXPECT_GE(capture.buffersOut.load(), 2);
    EXPECT_LE(most, 3) << "returned buffers are not freed";
    StopAndCheck();
}

TEST_F(WaveCaptureReal, RepeatedStartAndStopAtAnyMomentLeavesNothingBehind) {
    // Stops that land before the first buffer, between buffers and while the
    // sound system's thread hands one over.
    unsigned seed = 12345;
    for (int cycle = 0; cycle < 8; ++cycle) {
        SCOPED_TRACE(cycle);
        g_realAdds = 0;
        ASSERT_EQ(StartCapture(capture), MMSYSERR_NOERROR);
        seed = seed * 1103515245u + 12345u;
        const int wanted = static_cast<int>((seed >> 16) % 4);
        if (wanted > 0) {
            ASSERT_TRUE(WaitForData(wanted, 20000));
            ::Sleep((seed >> 8) % 190);
        }
        StopAndCheck();
    }
}
