// The delay, comb, compressor, waveshaper and bit-crusher as a host hears
// them: the built plug-in loaded through its entry point, each operator in
// the first slot of the default chain (three one-sample links, then the
// other slots' unity gains), the limiter off so nothing but the chain's
// three samples of delay stands between the operator and the output.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ModuleHarness.h"
#include "PluginHost.h"
#include "modules/ParameterLayout.h"
#include "modules/Conversions.h"
#include "modules/ModuleTypes.h"
#include "operators/Comb.h"
#include "operators/CompExp.h"
#include "operators/Distortion.h"
#include "operators/LoFi.h"

using namespace vh;
using namespace vh::test;

namespace {

constexpr int kChainDelay = 3;

// A plug-in with `type` in the first slot and the limiter off.
void openWith(PluginHost& host, int type, float rate = 44100.0f) {
    ASSERT_TRUE(host.open(rate));
    host.set(param::kOutLimiter, 0.5f / 16.0f);
    host.set(param::kOpType1, discreteValue(type, kNumTypeSteps));
}

// What a host does between setting up a patch and playing it: suspend and
// resume. The operators then start from their settings rather than gliding
// there from their defaults.
void restart(PluginHost& host) {
    host.call(vst::effMainsChanged, 0, 0);
    host.call(vst::effMainsChanged, 0, 1);
}

int peakIndex(const std::vector<float>& s) {
    size_t best = 0;
    for (size_t i = 1; i < s.size(); ++i)
        if (std::fabs(s[i]) > std::fabs(s[best])) best = i;
    return static_cast<int>(best);
}

void setOp(PluginHost& host, int index, float value) { host.set(param::opParam(0, index), value); }

int firstAbove(const std::vector<float>& s, float level) {
    for (size_t i = 0; i < s.size(); ++i)
        if (std::fabs(s[i]) > level) return static_cast<int>(i);
    return -1;
}

std::vector<float> impulseResponse(PluginHost& host, size_t n) {
    std::vector<float> l(n, 0.0f), r(n, 0.0f);
    l[0] = r[0] = 0.5f;
    host.process(l, r, 256);
    return l;
}

}  // namespace

TEST(EffectsBinary, DelayFollowsTheHostTempo) {
    // The default delay is a quarter note: 22,050 samples at 120 bpm,
    // 29,400 at 90 bpm, read from the host's time info.
    for (auto [tempo, samples] : {std::pair{120.0, 22050}, {90.0, 29400}}) {
        PluginHost host;
        host.tempo = tempo;
        openWith(host, kOpDelay);
        auto ir = impulseResponse(host, samples + 200);
        // A tempo-based time is a float fraction of four seconds, so it may
        // land a few thousandths of a sample off the whole number.
        EXPECT_EQ(peakIndex(ir), kChainDelay + samples) << tempo;
        EXPECT_NEAR(ir[kChainDelay + samples], 0.5f, 1e-3f) << tempo;
        EXPECT_EQ(firstAbove(ir, 1e-3f), kChainDelay + samples) << tempo;
    }
}

TEST(EffectsBinary, CombAtDepthZeroDelaysByOnePeriod) {
    PluginHost host;
    openWith(host, kOpComb);
    setOp(host, Comb::kFreq, 0.0f);  // 20 Hz: 2205 samples
    setOp(host, Comb::kDepth, 0.0f);
    restart(host);  // from the first sample on, the comb runs at its settings
    auto ir = impulseResponse(host, 3000);
    EXPECT_EQ(firstAbove(ir, 1e-6f), kChainDelay + 2205);
    EXPECT_NEAR(ir[kChainDelay + 2205], 0.5f, 1e-3f);
}

TEST(EffectsBinary, CompressorDucksFromTheSideChainPins) {
    const double rate = 44100.0;
    PluginHost host;
    openWith(host, kOpCompExp);
    setOp(host, CompExp::kThreshold, 0.5f);  // -30 dB
    setOp(host, CompExp::kRatio, 1.0f);      // infinite
    setOp(host, CompExp::kAutoMakeup, 0.25f);
    setOp(host, CompExp::kSource, discreteValue(5, CompExp::kNumSources));  // the side-chain input
    setOp(host, CompExp::kAttack, static_cast<float>(std::cbrt(0.02)));
    setOp(host, CompExp::kRelease, static_cast<float>(std::cbrt(0.02)));
    const size_t half = 22050;
    std::vector<float> l = sine(440.0, rate, 2 * half, 0.5), r = l;
    std::vector<float> key = sine(100.0, rate, 2 * half, 1.0);
    for (size_t n = 0; n < half; ++n) key[n] = 0.0f;
    host.process(l, r, 512, &key, &key);
    // A silent key leaves the signal alone; a key at -3 dB RMS pulls it down
    // by the 27 dB it stands above the threshold.
    EXPECT_NEAR(amplitudeAt(l, 440.0, rate, half / 2, half), 0.5, 2e-3);
    EXPECT_NEAR(toDb(amplitudeAt(l, 440.0, rate, half + half / 2, 2 * half) / 0.5), -27.0, 0.5);
    EXPECT_NEAR(toDb(amplitudeAt(r, 440.0, rate, half + half / 2, 2 * half) / 0.5), -27.0, 0.5);
}

TEST(EffectsBinary, AsymmetricWaveshaperAddsEvenHarmonicsButNoDc) {
    const double rate = 44100.0;
    PluginHost host;
    openWith(host, kOpDistortion);
    setOp(host, Distortion::kType, discreteValue(Distortion::kAsymA, Distortion::kNumTypeStates));
    setOp(host, Distortion::kDrive, 0.3f);
    const size_t n = 3 * 44100;
    std::vector<float> l = sine(100.0, rate, n, 0.5), r = l;
    host.process(l, r);
    ASSERT_TRUE(allFinite(l) && allFinite(r));
    double mean = 0.0;
    for (size_t i = 2 * 44100; i < n; ++i) mean += l[i];
    mean /= 44100.0;
    double fundamental = amplitudeAt(l, 100.0, rate, 2 * 44100, n);
    EXPECT_LT(std::fabs(mean), 1e-3 * fundamental);
    EXPECT_GT(amplitudeAt(l, 200.0, rate, 2 * 44100, n), 0.05 * fundamental);
}

TEST(EffectsBinary, BitCrusherAtItsLowestRateHoldsEveryTwentySamples) {
    PluginHost host;
    openWith(host, kOpLoFi);
    setOp(host, LoFi::kSampleRate, 0.0f);  // 2205 Hz at 44.1 kHz
    restart(host);
    std::vector<float> l = noise(8192, 0.5), r = noise(8192, 0.5, 2);
    host.process(l, r);
    // The output changes only where a new sample is taken: once every 20.
    int first = -1, changes = 0;
    for (size_t i = 1000; i < l.size(); ++i) {
        if (l[i] == l[i - 1]) continue;
        if (first < 0) first = static_cast<int>(i);
        ASSERT_EQ((static_cast<int>(i) - first) % 20, 0) << i;
        ++changes;
    }
    EXPECT_GT(changes, 300);
}

TEST(EffectsBinary, SettledControlsAreExact) {
    // Unity input and output gains pass a constant unchanged, and a 100 %
    // mix carries nothing of the dry signal, however long the controls have
    // been settling (the audio path runs in round-toward-zero mode).
    PluginHost unity;
    ASSERT_TRUE(unity.open());
    unity.set(param::kOutLimiter, 0.5f / 16.0f);
    std::vector<float> l(20000, 0.25f), r = l;
    unity.process(l, r);
    for (size_t i = 100; i < l.size(); ++i) ASSERT_EQ(l[i], 0.25f) << i;

    PluginHost wetOnly;
    openWith(wetOnly, kOpGain);
    setOp(wetOnly, 0, 0.0f);  // the only operator in the chain silenced
    l = noise(20000, 0.5);
    r = noise(20000, 0.5, 2);
    wetOnly.process(l, r);
    EXPECT_EQ(peak(l, 1000), 0.0);
    EXPECT_EQ(peak(r, 1000), 0.0);

    // A routing gain (the square of its control) settles on exactly that.
    PluginHost routed;
    ASSERT_TRUE(routed.open());
    routed.set(param::kOutLimiter, 0.5f / 16.0f);
    routed.set(param::kInToOp1, 0.7f);
    l.assign(20000, 0.5f);
    r = l;
    routed.process(l, r);
    for (size_t i = 1000; i < l.size(); ++i) ASSERT_EQ(l[i], 0.5f * (0.7f * 0.7f)) << i;
}
