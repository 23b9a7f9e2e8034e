// The soak's model of the program: the program's own tick (monitor/tick.*)
// run natively over the night's sound file.
//
// The file is cut into buffers of 2048 samples as capture does, each
// buffer's level is computed as capture computes it (the peak of its samples
// on the full scale), and the program's tick function runs every 100 ms.
// Monitoring is switched
// on (Start) before the file begins, in silence.
//
// Three things about a run cannot be seen from outside and stay fixed for
// the whole run: where the buffer grid lies in the file (p, 0..2047
// samples), where the tick grid lies against the buffers' arrival
// (theta, 0..100 ms; it also takes up the sound path's latency), and how far
// the tick counter had run at Start (q, 0..9). The model is run for all of
// them (p in steps of 32 samples, theta in steps of 10 ms).
//
//   soak_model NIGHT.wav --reaction S,M,C --delay MIN --max-calls N
//              [--tail SECONDS] [--calls MEASURED.txt]
//
// Without --calls it prints, as JSON, the calls of the whole grid of
// phases (fewest and most) and those of one phase. With --calls (one time
// in seconds per line, any origin, the peer's record of each call) it
// chooses the phases and the one offset between file time and the measured
// times that fit the run best, and prints every model call with the
// measured call matched to it and the difference.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/monitor_settings.h"
#include "base/monitor_state.h"
#include "monitor/alarm.h"
#include "monitor/tick.h"

namespace {

constexpr int kRate = 11025;
constexpr int kBufferSamples = 2048;     // 4096 bytes of 16-bit samples
constexpr double kTick = 0.1;
constexpr int kPhaseStep = 32;           // samples
constexpr int kThetaSteps = 10;          // of 10 ms
constexpr double kMatchWindow = 0.5;     // seconds, for pairing a call with a model call

struct Options {
    std::string wav;
    int sensitivity = 75, micThreshold = 40, callThreshold = 30;
    int delay = 1, maxCalls = 1000000;
    double tail = 40.0;
    std::string calls;
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "soak_model: %s\n", what);
    std::exit(2);
}

uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The samples of a 16-bit mono PCM WAV file.
std::vector<int16_t> ReadWav(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) Fail("cannot open the sound file");
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        Fail("not a WAV file");
    size_t at = 12;
    bool formatOk = false;
    while (at + 8 <= bytes.size()) {
        const uint32_t size = Le32(&bytes[at + 4]);
        const size_t body = at + 8;
        if (size > bytes.size() - body) Fail("a WAV chunk runs past the end of the file");
        if (std::memcmp(&bytes[at], "fmt ", 4) == 0 && size >= 16) {
            const unsigned format = bytes[body] | (bytes[body + 1] << 8);
            const unsigned channels = bytes[body + 2] | (bytes[body + 3] << 8);
            const uint32_t rate = Le32(&bytes[body + 4]);
            const unsigned bits = bytes[body + 14] | (bytes[body + 15] << 8);
            formatOk = format == 1 && channels == 1 && rate == kRate && bits == 16;
        } else if (std::memcmp(&bytes[at], "data", 4) == 0) {
            if (!formatOk) Fail("the WAV file is not 16-bit mono PCM at 11025 Hz");
            std::vector<int16_t> samples(size / 2);
            for (size_t i = 0; i < samples.size(); ++i)
                samples[i] = static_cast<int16_t>(bytes[body + 2 * i] | (bytes[body + 2 * i + 1] << 8));
            return samples;
        }
        at = body + size + (size & 1);
    }
    Fail("no data in the WAV file");
}

// Levels of the buffers when the buffer grid starts p samples before the
// file: buffer j holds file samples j*2048 - p .. j*2048 - p + 2047 (silence
// outside the file) and ends at file time (j*2048 - p + 2048) / 11025.
std::vector<double> BufferLevels(const std::vector<int16_t>& samples, size_t total, int p,
                                 double fullScale) {
    std::vector<double> levels;
    int16_t buffer[kBufferSamples];
    for (long long first = -p; first < static_cast<long long>(total); first += kBufferSamples) {
        for (int i = 0; i < kBufferSamples; ++i) {
            const long long k = first + i;
            buffer[i] = (k >= 0 && k < static_cast<long long>(samples.size())) ? samples[k] : 0;
        }
        levels.push_back(LevelFromPeak(PeakOfSamples(buffer, kBufferSamples), fullScale));
    }
    return levels;
}

struct Run {
    std::vector<double> calls;   // file time of each call's tick
    std::vector<int> retries;    // per call: 1 when the countdown ran out on its tick
};

// One monitoring run over the file: ticks at theta + 0.1 k, each seeing the
// level of the last buffer that ended at or before it.
Run Simulate(const MonitorSettings& settings, const std::vector<double>& levels, int p, double theta,
             int q, size_t total) {
    MonitorState state;
    ResetMonitorState(state);
    ComputeScales(settings, state);
    if (ToggleMonitoring(settings, state) != StartStopOutcome::Started) Fail("Start was refused");
    state.tickCount = q;

    Run run;
    const std::tm noClock = {};  // the model writes no protocol
    const double end = static_cast<double>(total) / kRate;
    size_t next = 0;  // first buffer not yet seen
    for (long long k = 0;; ++k) {
        const double t = theta + kTick * k;
        if (t > end) break;
        while (next < levels.size() &&
               (static_cast<double>(next + 1) * kBufferSamples - p) / kRate <= t) {
            StoreLevel(state, levels[next]);
            ++next;
        }
        const int countdownBefore = state.callCountdown;
        if (MonitorTick(settings, state, noClock, nullptr, nullptr).called) {
            run.calls.push_back(t);
            run.retries.push_back(countdownBefore > 0 ? 1 : 0);
        }
    }
    return run;
}

struct Fit {
    bool valid = false;
    int unmatched = 0;       // measured without model call plus model calls without one
    int ticksOff = 0;        // sum over matches of |difference| in whole ticks
    double worst = 1e9;      // largest |difference|, seconds
    int retryTicksOff = 0;   // the same sum over the retries
    double offset = 0.0;     // measured time - file time
    int p = 0, q = 0;
    double theta = 0.0;
    std::vector<double> model;
    std::vector<int> retries;
    std::vector<int> match;  // per model call: index of the measured call, or -1
};

bool Better(const Fit& a, const Fit& b) {
    if (!b.valid) return true;
    if (a.unmatched != b.unmatched) return a.unmatched < b.unmatched;
    if (a.ticksOff != b.ticksOff) return a.ticksOff < b.ticksOff;
    if (a.worst != b.worst) return a.worst < b.worst;
    return a.retryTicksOff < b.retryTicksOff;
}

// Pairs measured and model calls for one offset; nearest first.
void Pair(const std::vector<double>& measured, Fit& fit) {
    fit.match.assign(fit.model.size(), -1);
    std::vector<bool> used(measured.size(), false);
    for (size_t j = 0; j < fit.model.size(); ++j) {
        double best = kMatchWindow;
        int pick = -1;
        for (size_t i = 0; i < measured.size(); ++i) {
            if (used[i]) continue;
            const double d = std::fabs(measured[i] - fit.offset - fit.model[j]);
            if (d < best) {
                best = d;
                pick = static_cast<int>(i);
            }
        }
        fit.match[j] = pick;
        if (pick >= 0) used[pick] = true;
    }
}

// Calls that the level decides (not the countdown running out) set the
// offset and come first in the score; the retries only choose among fits
// that are otherwise equal: a retry's tick depends on the once-a-second
// step, which every tick the platform drops under load shifts.
Fit Score(const std::vector<double>& measured, Run run) {
    Fit fit;
    fit.model = std::move(run.calls);
    fit.retries = std::move(run.retries);
    if (fit.model.empty() || measured.empty()) {
        fit.valid = true;
        fit.unmatched = static_cast<int>(fit.model.size() + measured.size());
        fit.worst = 0.0;
        return fit;
    }
    // The first call of the night (the opening cry) aligns the two clocks;
    // then the offset is the median over all pairs.
    fit.offset = measured[0] - fit.model[0];
    Pair(measured, fit);
    std::vector<double> d;
    for (size_t j = 0; j < fit.model.size(); ++j)
        if (fit.match[j] >= 0 && !fit.retries[j]) d.push_back(measured[fit.match[j]] - fit.model[j]);
    if (d.empty())
        for (size_t j = 0; j < fit.model.size(); ++j)
            if (fit.match[j] >= 0) d.push_back(measured[fit.match[j]] - fit.model[j]);
    if (d.empty()) d.push_back(fit.offset);
    std::sort(d.begin(), d.end());
    fit.offset = d[d.size() / 2];
    Pair(measured, fit);
    int matched = 0;
    fit.worst = 0.0;
    for (size_t j = 0; j < fit.model.size(); ++j) {
        if (fit.match[j] < 0) continue;
        ++matched;
        const double r = measured[fit.match[j]] - fit.offset - fit.model[j];
        if (fit.retries[j]) {
            fit.retryTicksOff += static_cast<int>(std::lround(std::fabs(r) / kTick));
            continue;
        }
        fit.ticksOff += static_cast<int>(std::lround(std::fabs(r) / kTick));
        fit.worst = std::max(fit.worst, std::fabs(r));
    }
    fit.unmatched = static_cast<int>(fit.model.size() + measured.size()) - 2 * matched;
    fit.valid = true;
    return fit;
}

void PrintTimes(const std::vector<double>& times) {
    std::printf("[");
    for (size_t i = 0; i < times.size(); ++i) std::printf("%s%.4f", i ? "," : "", times[i]);
    std::printf("]");
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--reaction" && more) {
            if (std::sscanf(argv[++i], "%d,%d,%d", &o.sensitivity, &o.micThreshold, &o.callThreshold) != 3)
                Fail("--reaction wants S,M,C");
        } else if (a == "--delay" && more) {
            o.delay = std::atoi(argv[++i]);
        } else if (a == "--max-calls" && more) {
            o.maxCalls = std::atoi(argv[++i]);
        } else if (a == "--tail" && more) {
            o.tail = std::atof(argv[++i]);
        } else if (a == "--calls" && more) {
            o.calls = argv[++i];
        } else if (o.wav.empty() && a.rfind("--", 0) != 0) {
            o.wav = a;
        } else {
            Fail("usage: soak_model NIGHT.wav --reaction S,M,C --delay MIN --max-calls N "
                 "[--tail S] [--calls FILE]");
        }
    }
    if (o.wav.empty()) Fail("no sound file given");
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    const std::vector<int16_t> samples = ReadWav(o.wav);
    const size_t total = samples.size() + static_cast<size_t>(o.tail * kRate);

    MonitorSettings settings;
    std::memset(&settings, 0, sizeof settings);
    std::snprintf(settings.callNumber, sizeof settings.callNumber, "%s", "12");
    settings.callingDelay = o.delay;
    settings.maxCalls = o.maxCalls;
    settings.sensitivity = o.sensitivity;
    settings.micThreshold = o.micThreshold;
    settings.callThreshold = o.callThreshold;
    MonitorState scales;
    ResetMonitorState(scales);
    ComputeScales(settings, scales);
    const double fullScale = LoadFullScale(scales);

    std::vector<double> measured;
    if (!o.calls.empty()) {
        std::ifstream f(o.calls);
        if (!f) Fail("cannot open the measured calls");
        double t;
        while (f >> t) measured.push_back(t);
        std::sort(measured.begin(), measured.end());
    }

    size_t fewest = SIZE_MAX, most = 0;
    Fit best;
    int equallyGood = 0;
    std::vector<double> sample;
    for (int p = 0; p < kBufferSamples; p += kPhaseStep) {
        const std::vector<double> levels = BufferLevels(samples, total, p, fullScale);
        for (int s = 0; s < kThetaSteps; ++s) {
            const double theta = kTick * (s + 0.5) / kThetaSteps;
            for (int q = 0; q < kTicksPerSecond; ++q) {
                Run run = Simulate(settings, levels, p, theta, q, total);
                fewest = std::min(fewest, run.calls.size());
                most = std::max(most, run.calls.size());
                if (p == 0 && s == kThetaSteps / 2 && q == 0) sample = run.calls;
                if (o.calls.empty()) continue;
                Fit fit = Score(measured, std::move(run));
                fit.p = p;
                fit.theta = theta;
                fit.q = q;
                if (best.valid && fit.unmatched == best.unmatched && fit.ticksOff == best.ticksOff &&
                    fit.retryTicksOff == best.retryTicksOff)
                    ++equallyGood;
                else if (Better(fit, best))
                    equallyGood = 1;
                if (Better(fit, best)) best = std::move(fit);
            }
        }
    }

    std::printf("{\"full_scale\":%.1f,\"fewest\":%zu,\"most\":%zu,\"sample\":", fullScale, fewest, most);
    PrintTimes(sample);
    if (!o.calls.empty() && best.valid) {
        std::printf(",\"fit\":{\"p\":%d,\"theta\":%.3f,\"q\":%d,\"offset\":%.4f,\"unmatched\":%d,"
                    "\"ticks_off\":%d,\"worst\":%.4f,\"equally_good\":%d,\"model\":",
                    best.p, best.theta, best.q, best.offset, best.unmatched, best.ticksOff, best.worst,
                    equallyGood);
        PrintTimes(best.model);
        std::printf(",\"retry\":[");
        for (size_t j = 0; j < best.retries.size(); ++j) std::printf("%s%d", j ? "," : "", best.retries[j]);
        std::printf("],\"match\":[");
        for (size_t j = 0; j < best.match.size(); ++j) std::printf("%s%d", j ? "," : "", best.match[j]);
        std::printf("]}");
    }
    std::printf("}\n");
    return 0;
}
