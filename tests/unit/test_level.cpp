// The level of one recorded buffer: its peak, mapped onto the full scale
// that the sensitivity gives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "monitor/alarm.h"
#include "base/monitor_state.h"
#include "base/monitor_settings.h"

namespace {

constexpr size_t kSamplesPerBuffer = 2048;

double FullScaleAt(int sensitivity) {
    MonitorSettings settings{};
    settings.sensitivity = sensitivity;
    MonitorState state;
    ResetMonitorState(state);
    ComputeScales(settings, state);
    return LoadFullScale(state);
}

std::vector<int16_t> Tone(double amplitude, double frequency) {
    std::vector<int16_t> samples(kSamplesPerBuffer);
    const double kPi = 3.14159265358979323846;
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * kPi * frequency * i / 11025.0)));
    return samples;
}

}  // namespace

TEST(BufferLevel, SilenceHasPeakZeroAndLevelZero) {
    std::vector<int16_t> silence(kSamplesPerBuffer, 0);
    EXPECT_EQ(PeakOfSamples(silence.data(), silence.size()), 0u);
    for (int sensitivity = 0; sensitivity <= 100; ++sensitivity)
        EXPECT_EQ(LevelFromPeak(PeakOfSamples(silence.data(), silence.size()), FullScaleAt(sensitivity)), 0.0);
}

TEST(BufferLevel, OneMostNegativeSampleGivesLevelOneAtEverySensitivity) {
    std::vector<int16_t> samples(kSamplesPerBuffer, 3);
    samples[kSamplesPerBuffer - 1] = INT16_MIN;  // the buffer's last sample counts too
    const uint32_t peak = PeakOfSamples(samples.data(), samples.size());
    EXPECT_EQ(peak, 32768u);
    for (int sensitivity = 0; sensitivity <= 100; ++sensitivity)
        EXPECT_EQ(LevelFromPeak(peak, FullScaleAt(sensitivity)), 1.0) << "sensitivity " << sensitivity;
}

TEST(BufferLevel, ToneGivesItsAmplitudeAsPeak) {
    // 1000 Hz at 11025 Hz: the crests fall between samples, so the peak is
    // slightly below the amplitude, never above it.
    const std::vector<int16_t> tone = Tone(12000.0, 1000.0);
    const uint32_t peak = PeakOfSamples(tone.data(), tone.size());
    EXPECT_LE(peak, 12000u);
    EXPECT_GE(peak, 11900u);
    // At the default sensitivity 75 (full scale 7875) such a tone is full level.
    EXPECT_EQ(LevelFromPeak(peak, FullScaleAt(75)), 1.0);
    // At sensitivity 0 (full scale 30000) it is peak / 30000.
    EXPECT_DOUBLE_EQ(LevelFromPeak(peak, FullScaleAt(0)), peak / 30000.0);
}

TEST(BufferLevel, QuietToneScalesWithSensitivity) {
    const std::vector<int16_t> tone = Tone(1000.0, 440.0);
    const uint32_t peak = PeakOfSamples(tone.data(), tone.size());
    const double atZero = LevelFromPeak(peak, FullScaleAt(0));
    const double atFifty = LevelFromPeak(peak, FullScaleAt(50));
    const double atHundred = LevelFromPeak(peak, FullScaleAt(100));
    EXPECT_LT(atZero, atFifty);
    EXPECT_LT(atFifty, atHundred);
    EXPECT_EQ(atHundred, 1.0);  // full scale 500
}

TEST(BufferLevel, PeakAtFullScaleIsOneAndHalfIsHalf) {
    for (int sensitivity : {0, 25, 75, 100}) {
        const double fullScale = FullScaleAt(sensitivity);
        const uint32_t full = static_cast<uint32_t>(fullScale);
        ASSERT_EQ(static_cast<double>(full), fullScale) << "full scale is whole at " << sensitivity;
        EXPECT_EQ(LevelFromPeak(full, fullScale), 1.0);
        EXPECT_EQ(LevelFromPeak(full + 1, fullScale), 1.0);
        if (full % 2 == 0) {
            EXPECT_EQ(LevelFromPeak(full / 2, fullScale), 0.5);
        }
        EXPECT_NEAR(LevelFromPeak(full / 2, fullScale), 0.5, 1.0 / fullScale);
    }
    EXPECT_EQ(LevelFromPeak(3937, 7875.0), 3937.0 / 7875.0);
}

TEST(BufferLevel, NoFullScaleGivesLevelZero) {
    EXPECT_EQ(LevelFromPeak(32768, 0.0), 0.0);
    EXPECT_EQ(LevelFromPeak(0, 0.0), 0.0);
}

TEST(BufferLevel, NoSamplesGivePeakZero) {
    EXPECT_EQ(PeakOfSamples(nullptr, 2048), 0u);
    int16_t one = -5;
    EXPECT_EQ(PeakOfSamples(&one, 0), 0u);
    EXPECT_EQ(PeakOfSamples(&one, 1), 5u);
}

TEST(BufferLevel, StoredLevelReadsBack) {
    MonitorState state;
    ResetMonitorState(state);
    EXPECT_EQ(LoadLevel(state), 0.0);
    StoreLevel(state, 0.625);
    EXPECT_EQ(LoadLevel(state), 0.625);
    StoreFullScale(state, 7875.0);
    EXPECT_EQ(LoadFullScale(state), 7875.0);
}
