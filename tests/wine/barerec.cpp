// barerec.exe SECONDS: a bare recorder with no window, the floor that the
// benchmarks measure Cribwatch against. It records from the first recording
// device in the program's format (11025 Hz, mono, 16 bits) with two buffers
// of 4096 bytes and a callback function that takes each buffer's peak and
// queues the buffer again, for SECONDS seconds (default 60), then prints
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
volatile LONG g_buffers = 0;
volatile LONG g_peak = 0;
volatile LONG g_stopping = 0;

void CALLBACK OnWave(HWAVEIN device, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    if (message != WIM_DATA) return;
    WAVEHDR* header = reinterpret_cast<WAVEHDR*>(param1);
    const short* samples = reinterpret_cast<const short*>(header->lpData);
    const DWORD count = header->dwBytesRecorded / 2;
    LONG peak = 0;
    for (DWORD i = 0; i < count; ++i) {
        const LONG v = samples[i] < 0 ? -static_cast<LONG>(samples[i]) : samples[i];
        if (v > peak) peak = v;
    }
    if (peak > g_peak) g_peak = peak;
    ::InterlockedIncrement(&g_buffers);
    if (!g_stopping) ::waveInAddBuffer(device, header, sizeof(WAVEHDR));
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
    HWAVEIN device = nullptr;
    MMRESULT result = ::waveInOpen(&device, 0, &format,
                                   reinterpret_cast<DWORD_PTR>(&OnWave), 0, CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
        std::printf("waveInOpen failed: %u\n", static_cast<unsigned>(result));
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
        return 1;
    }
    ::Sleep(seconds > 0 ? static_cast<DWORD>(seconds * 1000.0) : 0);
    g_stopping = 1;
    ::waveInReset(device);
    for (int i = 0; i < kBuffers; ++i) ::waveInUnprepareHeader(device, &g_headers[i], sizeof(WAVEHDR));
    ::waveInClose(device);
    std::printf("buffers %ld peak %ld\n", static_cast<long>(g_buffers), static_cast<long>(g_peak));
    std::fflush(stdout);
    return 0;
}
