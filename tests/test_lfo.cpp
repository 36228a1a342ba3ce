// LFO: rates in both modes, waveforms, tilt, offsets, smoothing, the host
// position lock, texts and the rate conversion on a mode switch.

#include <gtest/gtest.h>

#include <algorithm>

#include "ModulatorSupport.h"
#include "modulators/LFO.h"
#include "modules/Rhythm.h"

using namespace vh;
using namespace vh::test;

namespace {

constexpr float kRate = 44100.0f;

// Hz mode at the given frequency, with the other parameters as given.
void setHz(LFO& lfo, float hz) {
    lfo.setParameter(LFO::kMode, discreteValue(0, 2));
    lfo.setParameter(LFO::kRate, LFO::rateValueOfHz(hz));
}
void setWave(LFO& lfo, int wave) { lfo.setParameter(LFO::kWaveform, discreteValue(wave, LFO::kNumWaveforms)); }

// Samples between the first two rising zero crossings of the left output.
double risingCrossingPeriod(const std::vector<float>& s) {
    std::vector<size_t> crossings;
    for (size_t i = 1; i < s.size(); ++i)
        if (s[i - 1] < 0.0f && s[i] >= 0.0f) crossings.push_back(i);
    if (crossings.size() < 2) return 0.0;
    return double(crossings.back() - crossings.front()) / double(crossings.size() - 1);
}

}  // namespace

TEST(Lfo, DefaultsAt120BpmGiveHalfHertzSine) {
    LFO lfo(0, nullptr);
    lfo.setTempo(120.0f);
    lfo.setSampleRate(kRate);
    StereoBuffer out = runModulator(lfo, size_t(kRate * 6));
    EXPECT_NEAR(risingCrossingPeriod(out.left), kRate * 2.0, 2.0);
    EXPECT_NEAR(amplitudeAt(out.left, 0.5, kRate, 0, size_t(kRate * 4)), 1.0, 0.01);
    EXPECT_NEAR(peak(out.left), 1.0, 0.01);
    EXPECT_EQ(out.left, out.right);
}

TEST(Lfo, HzModeSpansOneHundredthToThirtyHertz) {
    LFO lfo(0, nullptr);
    lfo.setParameter(LFO::kMode, 0.25f);
    lfo.setParameter(LFO::kRate, 1.0f);
    lfo.setSampleRate(kRate);
    StereoBuffer out = runModulator(lfo, size_t(kRate));
    EXPECT_NEAR(risingCrossingPeriod(out.left), kRate / 30.0, 0.5);

    lfo.setParameter(LFO::kRate, 0.0f);
    lfo.clearState();
    lfo.setSampleRate(kRate);
    runModulator(lfo, size_t(kRate));
    EXPECT_NEAR(lfo.phase(), 0.01, 1e-4);  // one hundredth of a cycle per second
}

TEST(Lfo, WaveformsOverOneCycle) {
    // 1 Hz at 44.1 kHz: sample n lies at phase n / 44100.
    auto at = [](int wave, double phase) {
        LFO lfo(0, nullptr);
        setHz(lfo, 1.0f);
        setWave(lfo, wave);
        lfo.setSampleRate(kRate);
        StereoBuffer out = runModulator(lfo, size_t(kRate * phase) + 1);
        return out.left.back();
    };
    EXPECT_NEAR(at(LFO::kSine, 0.25), 1.0, 0.01);
    EXPECT_NEAR(at(LFO::kSine, 0.5), 0.0, 0.01);
    EXPECT_NEAR(at(LFO::kSine, 0.75), -1.0, 0.01);
    EXPECT_NEAR(at(LFO::kSquare, 0.1), 1.0, 1e-3);  // starts high
    EXPECT_NEAR(at(LFO::kSquare, 0.6), -1.0, 1e-3);
    EXPECT_NEAR(at(LFO::kTriangle, 0.25), 1.0, 0.01);
    EXPECT_NEAR(at(LFO::kTriangle, 0.5), 0.0, 0.01);
    EXPECT_NEAR(at(LFO::kTriangle, 0.75), -1.0, 0.01);
    EXPECT_NEAR(at(LFO::kSaw, 0.1), -0.8, 0.01);
    EXPECT_NEAR(at(LFO::kSaw, 0.9), 0.8, 0.01);
}

TEST(Lfo, SampleAndHoldIsUnipolarAndSharedOnlyForEqualOffsets) {
    LFO lfo(0, nullptr);
    setHz(lfo, 30.0f);
    setWave(lfo, LFO::kSampleHold);
    lfo.setSampleRate(kRate);
    StereoBuffer same = runModulator(lfo, size_t(kRate));
    EXPECT_EQ(same.left, same.right);
    EXPECT_GE(*std::min_element(same.left.begin(), same.left.end()), 0.0f);
    EXPECT_LE(*std::max_element(same.left.begin(), same.left.end()), 1.0f);
    // A new value each cycle: about 30 distinct levels in a second.
    int changes = 0;
    for (size_t i = 2000; i < same.size(); i += size_t(kRate / 30.0))
        changes += std::fabs(same.left[i] - same.left[i - 1000]) > 1e-3f;
    EXPECT_GT(changes, 20);

    lfo.setParameter(LFO::kOffsetR, 0.6f);  // 36 degrees apart
    lfo.setSampleRate(kRate);
    StereoBuffer apart = runModulator(lfo, size_t(kRate));
    int different = 0;
    for (size_t i = 0; i < apart.size(); i += 1000) different += apart.left[i] != apart.right[i];
    EXPECT_GT(different, 20);
}

TEST(Lfo, TiltMovesTheHalfCyclePoint) {
    auto highShare = [](float tilt) {
        LFO lfo(0, nullptr);
        setHz(lfo, 1.0f);
        setWave(lfo, LFO::kSquare);
        lfo.setParameter(LFO::kTilt, tilt);
        lfo.setSampleRate(kRate);
        StereoBuffer out = runModulator(lfo, size_t(kRate));
        return std::count_if(out.left.begin(), out.left.end(), [](float x) { return x > 0.0f; }) / double(kRate);
    };
    EXPECT_NEAR(highShare(0.5f), 0.5, 0.002);
    EXPECT_NEAR(highShare(0.25f), 0.25, 0.002);
    EXPECT_NEAR(highShare(0.9f), 0.9, 0.002);
}

TEST(Lfo, OffsetsShiftEachChannel) {
    LFO lfo(0, nullptr);
    setHz(lfo, 1.0f);
    lfo.setParameter(LFO::kOffsetL, 0.75f);  // +90 degrees: a quarter cycle later
    lfo.setSampleRate(kRate);
    StereoBuffer out = runModulator(lfo, size_t(kRate / 4) + 1);
    EXPECT_NEAR(out.right.back(), 1.0, 0.01);
    EXPECT_NEAR(out.left.back(), 0.0, 0.01);
}

TEST(Lfo, DepthScalesAndFullSmoothingActsAtTheRate) {
    LFO lfo(0, nullptr);
    setHz(lfo, 2.0f);
    lfo.setParameter(LFO::kDepth, 0.5f);
    lfo.setSampleRate(kRate);
    StereoBuffer out = runModulator(lfo, size_t(kRate * 2));
    EXPECT_NEAR(peak(out.left), 0.5, 0.005);

    // Smooth 100 %: a one-pole at the LFO rate passes its sine at -3 dB.
    lfo.setParameter(LFO::kDepth, 1.0f);
    lfo.setParameter(LFO::kSmooth, 1.0f);
    lfo.setSampleRate(kRate);
    out = runModulator(lfo, size_t(kRate * 4));
    EXPECT_NEAR(amplitudeAt(out.left, 2.0, kRate, size_t(kRate * 2), size_t(kRate * 4)), std::sqrt(0.5), 0.01);
}

TEST(Lfo, RhythmModeLocksThePhaseToTheSongPosition) {
    LFO lfo(0, nullptr);
    lfo.setParameter(LFO::kRate, discreteValue(5, kNumRhythmItems));  // "1/4": one cycle per beat
    lfo.setTempo(120.0f);
    lfo.setSampleRate(kRate);
    runModulator(lfo, 1000);
    lfo.setSongPosition(2.5f);
    EXPECT_FLOAT_EQ(lfo.phase(), 0.5f);
    lfo.setSongPosition(-0.25f);
    EXPECT_FLOAT_EQ(lfo.phase(), 0.75f);
    // After the lock the cycle runs at 2 Hz from there: a quarter beat later
    // the sine is at its zero crossing.
    StereoBuffer out = runModulator(lfo, size_t(kRate / 8) + 1);
    EXPECT_NEAR(out.left.back(), 0.0, 0.01);

    // Hz mode ignores the host position.
    setHz(lfo, 1.0f);
    controlTick(lfo, {});
    float before = lfo.phase();
    lfo.setSongPosition(2.5f);
    EXPECT_EQ(lfo.phase(), before);
}

TEST(Lfo, RateModulationActsOnlyInHzMode) {
    LFO lfo(0, nullptr);
    lfo.setTempo(120.0f);
    lfo.setSampleRate(kRate);
    StereoBuffer locked = runModulator(lfo, size_t(kRate * 6), {{LFO::kRate, 0.5f, 0.5f}});
    EXPECT_NEAR(risingCrossingPeriod(locked.left), kRate * 2.0, 2.0);

    LFO freeLfo(0, nullptr);
    setHz(freeLfo, 1.0f);  // v about 0.18; +0.2 gives (0.38)^2 * 29.99 + 0.01 Hz
    freeLfo.setSampleRate(kRate);
    float v = LFO::rateValueOfHz(1.0f) + 0.2f;
    StereoBuffer free = runModulator(freeLfo, size_t(kRate * 2), {{LFO::kRate, 0.2f, 0.0f}});
    EXPECT_NEAR(risingCrossingPeriod(free.left), kRate / LFO::rateHz(v), 2.0);
}

TEST(Lfo, HostAndEditorTexts) {
    LFO lfo(0, nullptr);
    EXPECT_EQ(lfo.getNumParameters(), 8);
    EXPECT_EQ(hostName(lfo, 2), "offset L");
    EXPECT_EQ(hostName(lfo, 8), "---");
    EXPECT_EQ(hostLabel(lfo, 8), "");
    EXPECT_EQ(hostDisplay(lfo, 8), "");
    EXPECT_EQ(lfo.getParameterDefault(8), 0.0f);
    EXPECT_FALSE(lfo.isModulatable(LFO::kMode));
    EXPECT_TRUE(lfo.isModulatable(LFO::kWaveform));
    EXPECT_TRUE(lfo.isModulatable(LFO::kDepth));

    EXPECT_EQ(hostDisplay(lfo, LFO::kRate), "1.00");  // "1/1" in whole notes
    EXPECT_EQ(hostLabel(lfo, LFO::kRate), "");
    EXPECT_EQ(hostDisplay(lfo, LFO::kMode), "rhythm");
    EXPECT_EQ(editorText(lfo, LFO::kRate, lfo.getParameter(LFO::kRate), 1), "1/1");
    lfo.setParameter(LFO::kMode, 0.25f);
    EXPECT_EQ(hostDisplay(lfo, LFO::kMode), "Hz");  // the unit of the free rate
    EXPECT_EQ(hostLabel(lfo, LFO::kRate), "Hz");
    lfo.setParameter(LFO::kRate, 1.0f);
    EXPECT_EQ(hostDisplay(lfo, LFO::kRate), "30.00");
    EXPECT_EQ(editorText(lfo, LFO::kRate, 0.0f, 0), "0.01Hz");
    EXPECT_EQ(editorText(lfo, LFO::kMode, 0.75f), "tempo");
    EXPECT_EQ(editorText(lfo, LFO::kWaveform, 0.9f), "s&h");
    EXPECT_EQ(hostDisplay(lfo, LFO::kOffsetL), "0.0");
    EXPECT_EQ(hostLabel(lfo, LFO::kOffsetL), "deg");
    EXPECT_EQ(editorText(lfo, LFO::kOffsetR, 1.0f), "180.0");
    lfo.setParameter(LFO::kTilt, 0.75f);
    EXPECT_EQ(hostDisplay(lfo, LFO::kTilt), "50.0");
    EXPECT_EQ(editorText(lfo, LFO::kTilt, 0.75f), "90.0");
    EXPECT_EQ(hostDisplay(lfo, LFO::kDepth), "100.0");
    EXPECT_EQ(hostLabel(lfo, LFO::kDepth), "%");

    EXPECT_FLOAT_EQ(typed(lfo, LFO::kRate, "3/4", 1), 14.5f / 30.0f);
    EXPECT_FLOAT_EQ(typed(lfo, LFO::kRate, "3/5", 1), 3.5f / 30.0f);
    EXPECT_FLOAT_EQ(typed(lfo, LFO::kRate, "45", 0), 1.0f);
    EXPECT_FLOAT_EQ(typed(lfo, LFO::kRate, "0", 0), 0.0f);
    EXPECT_NEAR(LFO::rateHz(typed(lfo, LFO::kRate, "2", 0)), 2.0f, 1e-4);
    EXPECT_FLOAT_EQ(typed(lfo, LFO::kSmooth, "150"), 1.0f);
    EXPECT_FLOAT_EQ(typed(lfo, LFO::kSmooth, "25"), 0.25f);
    EXPECT_FLOAT_EQ(typed(lfo, LFO::kOffsetL, "90"), 0.75f);
    EXPECT_FLOAT_EQ(typed(lfo, LFO::kTilt, "-400"), 0.0f);
    EXPECT_FLOAT_EQ(typed(lfo, LFO::kWaveform, "Triangle"), 0.5f);
    EXPECT_FLOAT_EQ(typed(lfo, LFO::kMode, "tempo"), 0.75f);
    float v;
    EXPECT_FALSE(lfo.parseEditorValue(LFO::kWaveform, "wobble", v, 0));
    EXPECT_FALSE(lfo.parseEditorValue(8, "1", v, 0));
}

TEST(Lfo, ModeSwitchConvertsTheRateThroughThePlainSetter) {
    PlainRecordingHost host;
    LFO lfo(2, &host);
    host.module = &lfo;
    lfo.setTempo(120.0f);
    lfo.setParameter(LFO::kRate, discreteValue(5, kNumRhythmItems));  // "1/4" at 120 bpm: 2 Hz
    lfo.setSampleRate(kRate);

    lfo.valueChanged(LFO::kMode, 0.25f);  // rhythm -> Hz
    const int rateIndex = param::modParam(2, LFO::kRate);
    ASSERT_EQ(host.plainSets.size(), 1u);
    EXPECT_EQ(host.plainSets[0].index, rateIndex);
    EXPECT_FLOAT_EQ(host.plainSets[0].value, std::sqrt((2.0f - 0.01f) / 29.99f));
    ASSERT_EQ(host.edits.size(), 1u);  // the mode edit itself is automated
    EXPECT_EQ(host.edits[0].index, param::modParam(2, LFO::kMode));
    EXPECT_FLOAT_EQ(host.edits[0].value, 0.25f);

    lfo.setParameter(LFO::kMode, 0.25f);
    lfo.valueChanged(LFO::kMode, 0.75f);  // Hz -> rhythm: 2 Hz is "1/4" again
    ASSERT_EQ(host.plainSets.size(), 2u);
    EXPECT_FLOAT_EQ(host.plainSets[1].value, discreteValue(5, kNumRhythmItems));

    lfo.setParameter(LFO::kMode, 0.75f);
    lfo.valueChanged(LFO::kMode, 0.9f);  // still rhythm: nothing to convert
    EXPECT_EQ(host.plainSets.size(), 2u);
    lfo.valueChanged(LFO::kDepth, 0.3f);
    EXPECT_EQ(host.plainSets.size(), 2u);
    EXPECT_EQ(host.edits.back().index, param::modParam(2, LFO::kDepth));
}

TEST(Lfo, ModeSwitchReadsTheSwitchWithTwoItems) {
    // 0.4 is Hz (below one half); read with three items it would count as
    // rhythm and the rate would stay a note index while the LFO runs in Hz.
    PlainRecordingHost host;
    LFO lfo(0, &host);
    lfo.setSampleRate(kRate);
    lfo.valueChanged(LFO::kMode, 0.4f);
    ASSERT_EQ(host.plainSets.size(), 1u);
    EXPECT_NEAR(LFO::rateHz(host.plainSets[0].value), 0.5f, 1e-4);  // "1/1" at 120 bpm
}

TEST(Lfo, HzToRhythmPicksTheNearestFrequency) {
    // At 120 bpm: "1/2" is 1 Hz, "1/3" is 1.5 Hz, "1/4" 2 Hz. 1.7 Hz lies
    // nearer to 1.5 Hz in frequency though nearer to "1/4" in duration.
    EXPECT_EQ(LFO::nearestRhythmItemOfHz(1.7f, 120.0f), 24);
    EXPECT_EQ(LFO::nearestRhythmItemOfHz(1000.0f, 120.0f), 29);
    EXPECT_EQ(LFO::nearestRhythmItemOfHz(0.0f, 120.0f), 10);  // "12/1", the slowest
}

TEST(Lfo, TiltAtOneDoesNotTurnTheOutputNaN) {
    // Offset -180 degrees puts the pre-warp phase at exactly 1 when the
    // phase is 0.5; with tilt 1 the second half-cycle has zero width.
    for (int wave = 0; wave < LFO::kNumWaveforms; ++wave) {
        LFO lfo(0, nullptr);
        lfo.setParameter(LFO::kTilt, 1.0f);
        lfo.setParameter(LFO::kOffsetL, 0.0f);
        setWave(lfo, wave);
        lfo.setSampleRate(kRate);
        lfo.setSongPosition(2.0f);  // "1/1": half a cycle
        StereoBuffer out = runModulator(lfo, 4096);
        EXPECT_TRUE(allFinite(out.left)) << wave;
        EXPECT_TRUE(allFinite(out.right)) << wave;
    }
}

TEST(Lfo, NoNaNForParameterExtremesTemposAndRates) {
    const float rates[] = {8000.0f, 44100.0f, 384000.0f};
    const float tempos[] = {30.0f, 300.0f};
    for (float rate : rates)
        for (float bpm : tempos)
            for (int pattern = 0; pattern < 3; ++pattern)
                for (int mode = 0; mode < 2; ++mode)
                    for (int wave = 0; wave < LFO::kNumWaveforms; ++wave) {
                        LFO lfo(0, nullptr);
                        for (int i = 0; i < 8; ++i)
                            lfo.setParameter(i, pattern == 2 ? float(i & 1) : float(pattern));
                        lfo.setParameter(LFO::kMode, discreteValue(mode, 2));
                        setWave(lfo, wave);
                        lfo.setTempo(bpm);
                        lfo.setSampleRate(rate);
                        lfo.setSongPosition(1234.5f);
                        StereoBuffer out =
                            runModulator(lfo, 3000, {{LFO::kRate, 1.0f, -1.0f}, {LFO::kTilt, 1.0f, -1.0f}});
                        ASSERT_TRUE(allFinite(out.left) && allFinite(out.right))
                            << rate << " " << bpm << " " << pattern << " " << mode << " " << wave;
                        ASSERT_LE(peak(out.left), 1.0001);
                    }
}

TEST(Lfo, AbsurdTempoAndPositionStayFinite) {
    LFO lfo(0, nullptr);
    lfo.setParameter(LFO::kRate, discreteValue(29, kNumRhythmItems));  // "1/96"
    lfo.setSampleRate(8000.0f);
    const float tempos[] = {0.0f, -120.0f, NAN, INFINITY, 1e30f};
    for (float bpm : tempos) {
        lfo.setTempo(bpm);
        lfo.setSongPosition(bpm);
        StereoBuffer out = runModulator(lfo, 512);
        EXPECT_TRUE(allFinite(out.left)) << bpm;
        EXPECT_GE(lfo.phase(), 0.0f);
        EXPECT_LE(lfo.phase(), 1.0f);
    }
}

TEST(Lfo, slowLfoKeepsAdvancingNearTheEndOfTheCycleAtHighRates) {
    // "12/1" at 30 bpm is about 0.0104 Hz: at 384 kHz the step per sample is
    // about 2.7e-8, less than half a single-precision step near 1.
    LFO lfo(0, nullptr);
    lfo.setParameter(LFO::kRate, discreteValue(10, kNumRhythmItems));
    lfo.setTempo(30.0f);
    lfo.setSampleRate(384000.0f);
    lfo.setSongPosition(0.9f * 48.0f);  // one cycle lasts 48 quarter notes
    runModulator(lfo, 384000);
    EXPECT_NEAR(lfo.phase(), 0.9f + 30.0f / (240.0f * 12.0f), 1e-4);
}
