// ENV: attack and release times, peak and RMS detection, stereo link, tap
// selection, sensitivity, the display history and the texts.

#include <gtest/gtest.h>

#include "ModulatorSupport.h"
#include "modulators/ENV.h"

using namespace vh;
using namespace vh::test;

namespace {

// Feeds a constant level per channel into one tap for the first `on`
// samples, then silence.
std::function<void(size_t, float*, float*)> burst(int tap, float left, float right, size_t on) {
    return [=](size_t n, float* tapL, float* tapR) {
        tapL[tap] = n < on ? left : 0.0f;
        tapR[tap] = n < on ? right : 0.0f;
    };
}

}  // namespace

class EnvRates : public ::testing::TestWithParam<float> {};

TEST_P(EnvRates, FollowsABurstWithTheSetAttackAndRelease) {
    const float rate = GetParam();
    ENV env(0, nullptr);
    float v;
    ASSERT_TRUE(env.parseEditorValue(ENV::kAttack, "10", v, 0));
    env.setParameter(ENV::kAttack, v);
    ASSERT_TRUE(env.parseEditorValue(ENV::kRelease, "100", v, 0));
    env.setParameter(ENV::kRelease, v);
    env.setSampleRate(rate);

    const size_t on = size_t(rate * 0.5);
    StereoBuffer out = runModulator(env, size_t(rate), {}, nullptr, burst(kTapInput, 1.0f, 1.0f, on));
    // One-pole time constants: 1 - 1/e after 10 ms, 1/e of it 100 ms after the end.
    EXPECT_NEAR(out.left[size_t(rate * 0.010)], 1.0 - std::exp(-1.0), 0.01);
    EXPECT_NEAR(out.left[on - 1], 1.0, 1e-4);
    EXPECT_NEAR(out.left[on + size_t(rate * 0.100)], std::exp(-1.0), 0.01);
    EXPECT_NEAR(out.left.back(), std::exp(-5.0), 0.002);
    EXPECT_EQ(out.left, out.right);
}

INSTANTIATE_TEST_SUITE_P(SampleRates, EnvRates, ::testing::Values(44100.0f, 48000.0f, 96000.0f, 192000.0f));

TEST(EnvDetector, RmsOfAConstantHalfSettlesAtAHalf) {
    ENV env(0, nullptr);
    env.setParameter(ENV::kMode, 0.75f);
    env.setSampleRate(44100.0f);
    StereoBuffer out = runModulator(env, 8820, {}, nullptr, burst(kTapInput, 0.5f, -0.5f, 8820));
    EXPECT_NEAR(out.left.back(), 0.5, 1e-4);
    EXPECT_NEAR(out.right.back(), 0.5, 1e-4);

    // A sine of amplitude 1 reads 1/sqrt(2) once a slow detector averages it.
    env.setParameter(ENV::kAttack, 0.5f);
    env.setParameter(ENV::kRelease, 0.5f);
    env.clearState();
    env.setSampleRate(44100.0f);
    std::vector<float> s = sine(440.0, 44100.0, 44100);
    StereoBuffer sineOut = runModulator(env, s.size(), {}, nullptr, [&](size_t n, float* l, float* r) {
        l[kTapInput] = r[kTapInput] = s[n];
    });
    EXPECT_NEAR(sineOut.left.back(), std::sqrt(0.5), 0.01);
}

TEST(EnvDetector, LinkFollowsTheLouderChannel) {
    ENV linked(0, nullptr);
    linked.setSampleRate(44100.0f);
    StereoBuffer out = runModulator(linked, 4410, {}, nullptr, burst(kTapInput, 0.2f, 0.8f, 4410));
    EXPECT_NEAR(out.left.back(), 0.8, 1e-4);
    EXPECT_NEAR(out.right.back(), 0.8, 1e-4);

    ENV apart(0, nullptr);
    apart.setParameter(ENV::kLink, 0.0f);
    apart.setSampleRate(44100.0f);
    out = runModulator(apart, 4410, {}, nullptr, burst(kTapInput, 0.2f, 0.8f, 4410));
    EXPECT_NEAR(out.left.back(), 0.2, 1e-4);
    EXPECT_NEAR(out.right.back(), 0.8, 1e-4);

    ENV half(0, nullptr);
    half.setParameter(ENV::kLink, 0.5f);
    half.setSampleRate(44100.0f);
    out = runModulator(half, 4410, {}, nullptr, burst(kTapInput, 0.2f, 0.8f, 4410));
    EXPECT_NEAR(out.left.back(), 0.5, 1e-4);
}

TEST(EnvDetector, SourceSelectsTheTap) {
    ENV env(0, nullptr);
    env.setParameter(ENV::kSource, discreteValue(kTapSideChain, kNumTaps));
    env.setSampleRate(44100.0f);
    // Loud input but silent side-chain: nothing.
    StereoBuffer out = runModulator(env, 2000, {}, nullptr, burst(kTapInput, 1.0f, 1.0f, 2000));
    EXPECT_EQ(peak(out.left), 0.0);
    out = runModulator(env, 4410, {}, nullptr, burst(kTapSideChain, 0.3f, 0.3f, 4410));
    EXPECT_NEAR(out.left.back(), 0.3, 1e-4);

    env.setParameter(ENV::kSource, discreteValue(3, kNumTaps));  // operator 3
    env.setSampleRate(44100.0f);
    out = runModulator(env, 4410, {}, nullptr, burst(3, 0.6f, 0.6f, 4410));
    EXPECT_NEAR(out.left.back(), 0.6, 1e-4);
}

TEST(EnvDetector, SensitivityAndInstantTimes) {
    ENV env(0, nullptr);
    env.setParameter(ENV::kSens, 1.0f);  // x16, +24.1 dB
    env.setParameter(ENV::kLink, 0.0f);
    env.setParameter(ENV::kAttack, 0.0f);
    env.setParameter(ENV::kRelease, 0.0f);
    env.setSampleRate(44100.0f);
    StereoBuffer out = runModulator(env, 200, {}, nullptr, burst(kTapInput, 0.05f, 0.1f, 100));
    EXPECT_FLOAT_EQ(out.left[0], 0.8f);  // attack 0: at once
    EXPECT_FLOAT_EQ(out.right[0], 1.0f);  // saturates at 1
    EXPECT_FLOAT_EQ(out.left[100], 0.0f);  // release 0: at once

    env.setParameter(ENV::kSens, 0.0f);
    env.setSampleRate(44100.0f);
    out = runModulator(env, 200, {}, nullptr, burst(kTapInput, 1.0f, 1.0f, 200));
    EXPECT_EQ(peak(out.left), 0.0);

    env.setParameter(ENV::kSens, 0.5f);
    env.setParameter(ENV::kDepth, 0.25f);
    env.setSampleRate(44100.0f);
    out = runModulator(env, 200, {}, nullptr, burst(kTapInput, 0.5f, 0.5f, 200));
    EXPECT_FLOAT_EQ(out.left.back(), 0.125f);
}

TEST(EnvDetector, HistoryKeepsAPeakPointEveryThirtyMilliseconds) {
    ENV env(0, nullptr);
    env.setParameter(ENV::kAttack, 0.0f);
    env.setSampleRate(44100.0f);
    EXPECT_EQ(env.ticksPerHistoryPoint(), 41);
    const size_t perPoint = 41 * kControlTick;
    int counter = 0;
    runModulator(env, perPoint * 3, {}, &counter, burst(kTapInput, 0.7f, 0.4f, perPoint * 3));
    EXPECT_EQ(env.historyPosition(), 3);
    EXPECT_NEAR(env.historyLeft()[3], 0.7f, 1e-4);
    EXPECT_NEAR(env.historyRight()[3], 0.7f, 1e-4);  // linked
    runModulator(env, perPoint * ENV::kHistorySize, {}, &counter);
    EXPECT_EQ(env.historyPosition(), 3);  // wrapped once round the ring
    EXPECT_LT(env.historyLeft()[3], 1e-9f);

    env.setSampleRate(8000.0f);
    EXPECT_EQ(env.ticksPerHistoryPoint(), 7);
    env.setSampleRate(64000.0f);
    EXPECT_EQ(env.ticksPerHistoryPoint(), 60);
}

TEST(EnvDetector, HostAndEditorTexts) {
    ENV env(0, nullptr);
    EXPECT_EQ(env.getNumParameters(), 7);
    EXPECT_EQ(hostName(env, ENV::kLink), "link");
    EXPECT_EQ(hostName(env, 7), "---");
    EXPECT_EQ(hostDisplay(env, 7), "");
    EXPECT_TRUE(env.isModulatable(ENV::kLink));
    EXPECT_FALSE(env.isModulatable(ENV::kMode));
    EXPECT_FALSE(env.isModulatable(ENV::kSource));
    EXPECT_TRUE(env.isModulatable(ENV::kDepth));

    EXPECT_EQ(hostDisplay(env, ENV::kSens), "0");
    EXPECT_EQ(hostLabel(env, ENV::kSens), "dB");
    EXPECT_EQ(editorText(env, ENV::kSens, 1.0f), "24dB");
    EXPECT_EQ(editorText(env, ENV::kSens, 0.0f), "-oodB");
    EXPECT_EQ(hostDisplay(env, ENV::kAttack), "10.0");
    EXPECT_EQ(hostLabel(env, ENV::kRelease), "ms");
    EXPECT_EQ(editorText(env, ENV::kAttack, 1.0f), "1000ms");
    EXPECT_EQ(hostDisplay(env, ENV::kLink), "100");
    EXPECT_EQ(editorText(env, ENV::kLink, 0.5f), "50.0%");
    EXPECT_EQ(hostDisplay(env, ENV::kMode), "peak");
    EXPECT_EQ(editorText(env, ENV::kMode, 0.75f), "rms");
    EXPECT_EQ(hostDisplay(env, ENV::kSource), "in");
    EXPECT_EQ(editorText(env, ENV::kSource, 1.0f), "sidechain");
    EXPECT_EQ(editorText(env, ENV::kSource, discreteValue(5, 7)), "output");
    EXPECT_EQ(hostDisplay(env, ENV::kDepth), "100.0");

    EXPECT_FLOAT_EQ(typed(env, ENV::kSens, "-OO"), 0.0f);
    EXPECT_FLOAT_EQ(typed(env, ENV::kSens, "0"), 0.5f);
    EXPECT_FLOAT_EQ(typed(env, ENV::kSens, "40"), typed(env, ENV::kSens, "24"));
    EXPECT_NEAR(ENV::sensGain(typed(env, ENV::kSens, "24")), std::pow(10.0f, 1.2f), 1e-3);
    EXPECT_FLOAT_EQ(typed(env, ENV::kSens, "-120"), 0.0f);
    EXPECT_NEAR(typed(env, ENV::kAttack, "10"), 0.21544346f, 1e-6);
    EXPECT_FLOAT_EQ(typed(env, ENV::kRelease, "5000"), 1.0f);
    EXPECT_FLOAT_EQ(typed(env, ENV::kRelease, "-3"), 0.0f);
    EXPECT_FLOAT_EQ(typed(env, ENV::kLink, "30"), 0.3f);
    EXPECT_FLOAT_EQ(typed(env, ENV::kSource, "operator2"), discreteValue(2, 7));
    float v;
    EXPECT_FALSE(env.parseEditorValue(ENV::kMode, "loud", v, 0));
    EXPECT_FALSE(env.parseEditorValue(9, "1", v, 0));
}

TEST(EnvDetector, NoNaNForExtremesAndLoudNoise) {
    std::vector<float> loud = noise(4096, 10.0);  // +20 dBFS
    const float rates[] = {8000.0f, 384000.0f};
    for (float rate : rates)
        for (int pattern = 0; pattern < 3; ++pattern)
            for (int mode = 0; mode < 2; ++mode) {
                ENV env(0, nullptr);
                for (int i = 0; i < ENV::kNumParams; ++i)
                    env.setParameter(i, pattern == 2 ? float(i & 1) : float(pattern));
                env.setParameter(ENV::kMode, discreteValue(mode, 2));
                env.setParameter(ENV::kSource, discreteValue(kTapInput, kNumTaps));
                env.setSampleRate(rate);
                StereoBuffer out =
                    runModulator(env, loud.size(), {{ENV::kSens, 1.0f, -1.0f}}, nullptr,
                                 [&](size_t n, float* l, float* r) { l[kTapInput] = loud[n]; r[kTapInput] = -loud[n]; });
                ASSERT_TRUE(allFinite(out.left) && allFinite(out.right)) << rate << " " << pattern << " " << mode;
                ASSERT_LE(peak(out.left), 1.0);
                ASSERT_LE(peak(out.right), 1.0);
            }
}
