// barerec.exe SECONDS: a bare recorder with no window, the floor that the
// benchmarks measure Cribwatch against. It records from the first recording
// device the way the program does: its format (11025 Hz, mono, 16 bits), two
// buffers of 4096 bytes, the device setting an event for each filled buffer
// and a thread that waits for it, takes the buffer's peak and queues the
// buffer again. After SECONDS seconds (default 60) it prints
//   buffers N peak P
// and ends with exit code 0; 1 when the device cannot be opened or started.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr DWORD kBufferBytes = 4096;
constexpr int kBuffers = 2;

WAVEHDR g_headers[kBuffers];
char g_data[kBuffers][kBufferBytes];

long PeakOf(const WAVEHDR& header) {
    const short* samples = reinterpret_cast<const short*>(header.lpData);
    const DWORD count = header.dwBytesRecorded / 2;
    long peak = 0;
    for (DWORD i = 0; i < count; ++i) {
        const long v = samples[i] < 0 ? -static_cast<long>(samples[i]) : samples[i];
        if (v > peak) peak = v;
    }
    return peak;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 11025;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = 22050;
    HANDLE filled = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!filled) return 1;
    HWAVEIN device = nullptr;
    MMRESULT result = ::waveInOpen(&device, 0, &format, reinterpret_cast<DWORD_PTR>(filled), 0,
                                   CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        std::printf("waveInOpen failed: %u\n", static_cast<unsigned>(result));
        ::CloseHandle(filled);
        return 1;
    }
    for (int i = 0; i < kBuffers; ++i) {
        g_headers[i].lpData = g_data[i];
        g_headers[i].dwBufferLength = kBufferBytes;
        ::waveInPrepareHeader(device, &g_headers[i], sizeof(WAVEHDR));
        ::waveInAddBuffer(device, &g_headers[i], sizeof(WAVEHDR));
    }
    result = ::waveInStart(device);
    if (result != MMSYSERR_NOERROR) {
        std::printf("waveInStart failed: %u\n", static_cast<unsigned>(result));
        ::waveInClose(device);
        ::CloseHandle(filled);
        return 1;
    }
    long buffers = 0;
    long peak = 0;
    const DWORD start = ::GetTickCount();
    const DWORD length = seconds > 0 ? static_cast<DWORD>(seconds * 1000.0) : 0;
    for (DWORD elapsed = 0; elapsed < length; elapsed = ::GetTickCount() - start) {
        ::WaitForSingleObject(filled, length - elapsed);
        for (WAVEHDR& header : g_headers) {
            if (!(header.dwFlags & WHDR_DONE)) continue;
            const long p = PeakOf(header);
            if (p > peak) peak = p;
            ++buffers;
            header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
            ::waveInAddBuffer(device, &header, sizeof(WAVEHDR));
        }
    }
    ::waveInReset(device);
    for (int i = 0; i < kBuffers; ++i) ::waveInUnprepareHeader(device, &g_headers[i], sizeof(WAVEHDR));
    ::waveInClose(device);
    ::CloseHandle(filled);
    std::printf("buffers %ld peak %ld\n", buffers, peak);
    std::fflush(stdout);
    return 0;
}
