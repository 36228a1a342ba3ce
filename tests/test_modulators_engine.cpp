// Modulators driving a GAIN operator inside the plug-in: the envelope of the
// rendered output shows the modulator's shape and timing.

#include <gtest/gtest.h>

#include <cmath>

#include "ModuleHarness.h"
#include "PluginHost.h"
#include "modules/ParameterLayout.h"
#include "modulators/LFO.h"
#include "modulators/STEP.h"

using namespace vh;
using namespace vh::test;

namespace {
constexpr int kDestOp1Atten = 3;

struct Rig : PluginHost {
    Rig() {
        EXPECT_TRUE(open());
        set(param::kOutLimiter, 0.5f / 16.0f);
    }
    void modulator(int type) { set(param::kModType1, discreteValue(type, 64)); }
    void modParam(int i, float v) { set(param::modParam(0, i), v); }
    // MOD1 -> OP1 atten with the given sensitivity.
    void routeMod1ToAtten(float sens) {
        set(param::kSlotSource1, discreteValue(0, kNumSources));
        set(param::kSlotDest1, discreteValue(kDestOp1Atten, kNumDestinations));
        set(param::kSlotSens1, sens);
    }
    // Gain of OP1 over time for a constant input.
    std::vector<float> gainEnvelope(size_t n, int block = 512) {
        std::vector<float> l(n, 0.5f), r(n, 0.5f);
        process(l, r, block);
        for (float& x : l) x /= 0.5f;
        return l;
    }
};
}  // namespace

TEST(ModulatorsInEngine, LfoSwingsTheGainAtTheTempoRate) {
    Rig rig;
    rig.modulator(1);  // LFO: rhythm "1/1", 0.5 Hz at 120 bpm
    rig.set(16, 0.5f);
    rig.routeMod1ToAtten(0.75f);  // atten = 0.5 + 0.5 * lfo
    auto g = rig.gainEnvelope(44100 * 5);
    const size_t period = 88200;
    double lo = 1, hi = 0;
    for (size_t n = 10000; n < 10000 + period; ++n) {
        lo = std::min(lo, double(g[n]));
        hi = std::max(hi, double(g[n]));
    }
    EXPECT_NEAR(hi, 1.0, 0.01);
    EXPECT_NEAR(lo, 0.0, 0.01);
    for (size_t n = 10000; n < 10000 + period; n += 997) EXPECT_NEAR(g[n], g[n + period], 2e-3) << n;
}

TEST(ModulatorsInEngine, LfoInRhythmModeFollowsTheHostPosition) {
    auto render = [](double startPpq, size_t n) {
        Rig rig;
        rig.playing = true;
        rig.ppq = startPpq;
        rig.modulator(1);
        rig.set(16, 0.5f);
        rig.routeMod1ToAtten(0.75f);
        return rig.gainEnvelope(n, 256);
    };
    auto fromStart = render(0.0, 44100 * 3);
    auto fromBeat3 = render(2.0, 44100);  // two quarter notes in: one second later
    for (size_t n = 4096; n < fromBeat3.size(); n += 101) ASSERT_NEAR(fromBeat3[n], fromStart[n + 44100], 2e-3) << n;
}

TEST(ModulatorsInEngine, StepSequencerStepsEveryEighthOfASecond) {
    Rig rig;
    rig.modulator(4);  // STEP
    rig.set(16, 0.0f);
    for (int i = 0; i < 16; ++i) {
        rig.modParam(STEP::kLeftStep0 + i, (i + 1) / 16.0f);
        rig.modParam(STEP::kRightStep0 + i, (i + 1) / 16.0f);
    }
    rig.routeMod1ToAtten(1.0f);
    auto g = rig.gainEnvelope(44100);
    // Steps of 5512.5 samples with rising values: flat within a step, higher
    // in the next.
    const double step = 44100 * 0.125;
    for (int k = 0; k < 7; ++k) {
        size_t centre = static_cast<size_t>((k + 0.5) * step);
        EXPECT_NEAR(g[centre - 2000], g[centre + 2000], 1e-4f) << k;
        EXPECT_GT(g[centre + size_t(step)], g[centre] + 1e-3f) << k;
    }
}

TEST(ModulatorsInEngine, EnvelopeFollowerOpensTheGainWithTheInput) {
    Rig rig;
    rig.modulator(2);  // ENV on the plug-in input
    rig.set(16, 0.0f);
    rig.routeMod1ToAtten(1.0f);
    std::vector<float> l(44100, 0.0f), r(44100, 0.0f);
    for (size_t n = 0; n < 22050; ++n) l[n] = r[n] = 0.5f * std::sin(2 * kPi * 1000.0 * n / 44100.0);
    auto input = l;
    rig.process(l, r);
    double during = rms(l, 11025, 22050) / rms(input, 11025, 22050);
    double after = rms(l, 33075, 44100);
    EXPECT_GT(during, 0.01);
    EXPECT_LT(after, 1e-4);
}

TEST(ModulatorsInEngine, BypassedModulatorStopsModulating) {
    Rig rig;
    rig.modulator(1);
    rig.set(16, 0.5f);
    rig.routeMod1ToAtten(0.75f);
    rig.set(param::kModBypass1, 0.75f);
    auto g = rig.gainEnvelope(44100);
    for (size_t n = 1000; n < g.size(); n += 500) ASSERT_NEAR(g[n], 0.125f, 1e-3f);
}
