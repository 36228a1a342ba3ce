// ADSR: the stage sequence under a held trigger, release and retrigger,
// tempo and absolute stage lengths, independent channels, the mode switch
// conversion and the texts.

#include <gtest/gtest.h>

#include <algorithm>

#include "ModulatorSupport.h"
#include "modulators/ADSR.h"

using namespace vh;
using namespace vh::test;

namespace {

struct Trace {
    std::vector<float> left, right;
    std::vector<int> stageL, stageR;
};

// Runs n samples with the trigger at the given base levels from sample 0 and
// a control tick every 32 samples, recording outputs and stages.
void run(ADSR& adsr, size_t n, Trace& trace, int& counter) {
    for (size_t i = 0; i < n; ++i) {
        if (++counter >= kControlTick) {
            counter = 0;
            controlTick(adsr, {});
        }
        float l, r;
        adsr.processSample(&l, &r);
        trace.left.push_back(l);
        trace.right.push_back(r);
        trace.stageL.push_back(adsr.stage(0));
        trace.stageR.push_back(adsr.stage(1));
    }
}

// The stages in the order they were visited, repeats removed.
std::vector<int> stageSequence(const std::vector<int>& stages) {
    std::vector<int> seq;
    for (int s : stages)
        if (seq.empty() || seq.back() != s) seq.push_back(s);
    return seq;
}

size_t samplesIn(const std::vector<int>& stages, int stage) {
    return size_t(std::count(stages.begin(), stages.end(), stage));
}

// Absolute mode with short stages, for fast runs.
void shortAbsolute(ADSR& adsr) {
    adsr.setParameter(ADSR::kMode, 0.25f);
    adsr.setParameter(ADSR::kDelay, 0.001f);   // 1 ms
    adsr.setParameter(ADSR::kAttack, 0.005f);  // 5 ms
    adsr.setParameter(ADSR::kHold, 0.002f);
    adsr.setParameter(ADSR::kDecay, 0.01f);
    adsr.setParameter(ADSR::kRelease, 0.002f);  // 20 ms
}

}  // namespace

TEST(AdsrEnvelope, HeldTriggerRunsDelayToSustain) {
    ADSR adsr(0, nullptr);
    adsr.setTempo(120.0f);
    adsr.setParameter(ADSR::kTrigger, 1.0f);
    adsr.setSampleRate(44100.0f);
    Trace t;
    int counter = 0;
    run(adsr, 44100 * 4, t, counter);
    const std::vector<int> expected = {ADSR::kStageDelay, ADSR::kStageAttack, ADSR::kStageHold,
                                       ADSR::kStageDecay, ADSR::kStageSustain};
    EXPECT_EQ(stageSequence(t.stageL), expected);
    EXPECT_NEAR(t.left.back(), 0.25, 1e-3);  // sustain -12 dB
    EXPECT_EQ(t.left, t.right);
}

class AdsrTempo : public ::testing::TestWithParam<float> {};

TEST_P(AdsrTempo, QuarterNoteAt120BpmLastsHalfASecond) {
    const float rate = GetParam();
    ADSR adsr(0, nullptr);
    adsr.setTempo(120.0f);
    float attack;
    ASSERT_TRUE(adsr.parseEditorValue(ADSR::kAttack, "1/4", attack, 1));
    adsr.setParameter(ADSR::kAttack, attack);
    adsr.setParameter(ADSR::kTrigger, 1.0f);
    adsr.setSampleRate(rate);
    Trace t;
    int counter = 0;
    run(adsr, size_t(rate * 0.6), t, counter);
    // 0.25 whole notes * 240 / 120 bpm = 0.5 s: 22,050 samples at 44.1 kHz.
    EXPECT_EQ(samplesIn(t.stageL, ADSR::kStageAttack), size_t(rate * 0.5));
    // The attack is a one-pole with that time constant: 1 - 1/e at its end.
    size_t top = std::max_element(t.left.begin(), t.left.end()) - t.left.begin();
    EXPECT_NEAR(t.left[top], 1.0 - std::exp(-1.0), 0.002);
}

INSTANTIATE_TEST_SUITE_P(SampleRates, AdsrTempo, ::testing::Values(44100.0f, 48000.0f, 96000.0f));

TEST(AdsrEnvelope, TriggerBelowTrigOffDuringAttackReleasesAtOnce) {
    ADSR adsr(0, nullptr);
    adsr.setTempo(120.0f);
    adsr.setParameter(ADSR::kTrigger, 1.0f);
    adsr.setSampleRate(44100.0f);
    Trace t;
    int counter = 0;
    run(adsr, 3000, t, counter);
    ASSERT_EQ(t.stageL.back(), ADSR::kStageAttack);
    adsr.setParameter(ADSR::kTrigger, 0.0f);
    size_t at = t.left.size();
    run(adsr, 44100 * 6, t, counter);
    // The base value reaches the module at the next control tick.
    size_t released = std::find(t.stageL.begin() + at, t.stageL.end(), ADSR::kStageRelease) - t.stageL.begin();
    EXPECT_LE(released - at, size_t(kControlTick));
    for (size_t i = released + 1; i < t.left.size(); ++i) ASSERT_LE(t.left[i], t.left[i - 1]);
    EXPECT_EQ(t.stageL.back(), ADSR::kStageIdle);
    EXPECT_LT(t.left.back(), 0.01f * t.left[released]);
    // The release keeps counting from the attack's sample count: "1/1" at
    // 120 bpm is 88,200 samples in all.
    double attackSamples = double(samplesIn(t.stageL, ADSR::kStageAttack));
    EXPECT_NEAR(double(samplesIn(t.stageL, ADSR::kStageRelease)), 88200.0 - attackSamples, 2.0);
}

TEST(AdsrEnvelope, RetriggerFromReleaseDoesNotJumpToZero) {
    ADSR adsr(0, nullptr);
    shortAbsolute(adsr);
    adsr.setParameter(ADSR::kRelease, 0.05f);  // 500 ms
    adsr.setParameter(ADSR::kTrigger, 1.0f);
    adsr.setSampleRate(44100.0f);
    Trace t;
    int counter = 0;
    run(adsr, 4410, t, counter);
    ASSERT_EQ(t.stageL.back(), ADSR::kStageSustain);
    adsr.setParameter(ADSR::kTrigger, 0.0f);
    run(adsr, 4410, t, counter);
    ASSERT_EQ(t.stageL.back(), ADSR::kStageRelease);
    const float before = t.left.back();
    ASSERT_GT(before, 0.1f);
    adsr.setParameter(ADSR::kTrigger, 1.0f);
    size_t at = t.left.size();
    run(adsr, 4410, t, counter);
    EXPECT_EQ(stageSequence({t.stageL.begin() + at, t.stageL.end()}).at(1), ADSR::kStageDelay);
    float lowest = *std::min_element(t.left.begin() + at, t.left.end());
    EXPECT_GT(lowest, 0.9f * before);  // only the 1 ms delay's decay
    for (size_t i = at; i < t.left.size(); ++i) ASSERT_LT(std::fabs(t.left[i] - t.left[i - 1]), 0.02f);
    EXPECT_EQ(t.stageL.back(), ADSR::kStageSustain);
}

TEST(AdsrEnvelope, ChannelsRunIndependently) {
    ADSR adsr(0, nullptr);
    shortAbsolute(adsr);
    adsr.setSampleRate(44100.0f);
    StereoBuffer out = runModulator(adsr, 4410, {{ADSR::kTrigger, 1.0f, 0.0f}});
    EXPECT_NEAR(out.left.back(), 0.25, 1e-3);
    EXPECT_EQ(peak(out.right), 0.0);
    EXPECT_EQ(adsr.stage(1), ADSR::kStageIdle);
}

TEST(AdsrEnvelope, TriggerThresholdsAndSensitivity) {
    // -12 dB start threshold: a trigger of 0.2 (-14 dB) does not start,
    // unless the trigger gain lifts it.
    ADSR adsr(0, nullptr);
    shortAbsolute(adsr);
    adsr.setParameter(ADSR::kTrigger, 0.2f);
    adsr.setSampleRate(44100.0f);
    Trace t;
    int counter = 0;
    run(adsr, 2000, t, counter);
    EXPECT_EQ(t.stageL.back(), ADSR::kStageIdle);
    float sens;
    ASSERT_TRUE(adsr.parseEditorValue(ADSR::kTrigSens, "6", sens, 0));
    adsr.setParameter(ADSR::kTrigSens, sens);
    run(adsr, 2000, t, counter);
    EXPECT_NE(t.stageL.back(), ADSR::kStageIdle);
}

TEST(AdsrEnvelope, AbsoluteZeroAttackEndsAfterOneSampleAtFullLevel) {
    ADSR adsr(0, nullptr);
    shortAbsolute(adsr);
    adsr.setParameter(ADSR::kDelay, 0.0f);
    adsr.setParameter(ADSR::kAttack, 0.0f);
    adsr.setParameter(ADSR::kTrigger, 1.0f);
    adsr.setSampleRate(44100.0f);
    Trace t;
    int counter = 0;
    run(adsr, 100, t, counter);
    EXPECT_EQ(samplesIn(t.stageL, ADSR::kStageAttack), 1u);
    size_t attack = std::find(t.stageL.begin(), t.stageL.end(), ADSR::kStageAttack) - t.stageL.begin();
    EXPECT_FLOAT_EQ(t.left[attack + 1], 1.0f);
}

TEST(AdsrEnvelope, ModeSwitchConvertsTheFiveTimes) {
    PlainRecordingHost host;
    ADSR adsr(1, &host);
    host.module = &adsr;
    adsr.setTempo(120.0f);
    adsr.setSampleRate(44100.0f);
    const int base = param::modParam(1, 0);

    // Tempo -> absolute: "0" -> 0 s, "1/4" -> 0.5 s, "1/1" release -> 2 s (v 0.2).
    adsr.valueChanged(ADSR::kMode, 0.25f);
    ASSERT_EQ(host.plainSets.size(), 5u);
    float expected[] = {0.0f, 0.5f, 0.0f, 0.5f, 0.2f};
    int indices[] = {ADSR::kDelay, ADSR::kAttack, ADSR::kHold, ADSR::kDecay, ADSR::kRelease};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(host.plainSets[i].index, base + indices[i]);
        EXPECT_FLOAT_EQ(host.plainSets[i].value, expected[i]) << i;
    }
    ASSERT_EQ(host.edits.size(), 1u);
    EXPECT_EQ(host.edits[0].index, base + ADSR::kMode);

    // And back: each time finds its note again.
    adsr.setParameter(ADSR::kMode, 0.25f);
    adsr.setParameter(ADSR::kHold, 0.33f);  // 0.33 s: nearest "1/6" (0.333 s)
    adsr.valueChanged(ADSR::kMode, 0.75f);
    ASSERT_EQ(host.plainSets.size(), 10u);
    EXPECT_FLOAT_EQ(host.plainSets[5].value, 0.5f / 31.0f);
    EXPECT_FLOAT_EQ(host.plainSets[6].value, 6.5f / 31.0f);
    EXPECT_FLOAT_EQ(host.plainSets[7].value, 26.5f / 31.0f);
    EXPECT_FLOAT_EQ(host.plainSets[9].value, 4.5f / 31.0f);

    // Absolute time too long for the range is clamped: "12/1" at 30 bpm is 96 s.
    adsr.setParameter(ADSR::kMode, 0.75f);
    adsr.setParameter(ADSR::kRelease, 11.5f / 31.0f);
    adsr.setTempo(30.0f);
    adsr.valueChanged(ADSR::kMode, 0.0f);
    EXPECT_FLOAT_EQ(host.plainSets.back().value, 1.0f);

    adsr.setParameter(ADSR::kMode, 0.0f);
    adsr.valueChanged(ADSR::kMode, 0.1f);  // absolute again: nothing converted
    EXPECT_EQ(host.plainSets.size(), 15u);
}

TEST(AdsrEnvelope, HostAndEditorTexts) {
    ADSR adsr(0, nullptr);
    EXPECT_EQ(adsr.getNumParameters(), 12);
    EXPECT_EQ(hostName(adsr, ADSR::kTrigSens), "trigsens");
    EXPECT_EQ(hostName(adsr, 12), "---");
    EXPECT_EQ(hostDisplay(adsr, 12), "");
    EXPECT_EQ(hostDisplay(adsr, ADSR::kTrigger), "");
    EXPECT_TRUE(adsr.isModulatable(ADSR::kTrigger));
    EXPECT_FALSE(adsr.isModulatable(ADSR::kMode));
    EXPECT_TRUE(adsr.isModulatable(ADSR::kDepth));

    // Tempo mode (default).
    EXPECT_EQ(hostDisplay(adsr, ADSR::kAttack), "0.25");
    EXPECT_EQ(hostLabel(adsr, ADSR::kAttack), "");
    EXPECT_EQ(hostDisplay(adsr, ADSR::kDelay), "0.00");
    EXPECT_EQ(editorText(adsr, ADSR::kDelay, adsr.getParameter(ADSR::kDelay), 1), "0");
    EXPECT_EQ(editorText(adsr, ADSR::kRelease, adsr.getParameter(ADSR::kRelease), 1), "1/1");
    EXPECT_EQ(hostDisplay(adsr, ADSR::kMode), "rhythmic");
    EXPECT_EQ(editorText(adsr, ADSR::kMode, 0.75f), "tempo-related");
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kDecay, "3/4", 1), 15.5f / 31.0f);
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kDecay, "0", 1), 0.5f / 31.0f);
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kDecay, "1/5", 1), 4.5f / 31.0f);

    // Absolute mode.
    adsr.setParameter(ADSR::kMode, 0.25f);
    adsr.setParameter(ADSR::kAttack, 0.25f);
    adsr.setParameter(ADSR::kRelease, 0.25f);
    EXPECT_EQ(hostDisplay(adsr, ADSR::kMode), "ms");
    EXPECT_EQ(hostLabel(adsr, ADSR::kAttack), "ms");
    EXPECT_EQ(hostDisplay(adsr, ADSR::kAttack), "250.00");
    EXPECT_EQ(hostDisplay(adsr, ADSR::kRelease), "2500.00");
    EXPECT_EQ(editorText(adsr, ADSR::kAttack, 0.25f, 0), "250ms");
    EXPECT_EQ(editorText(adsr, ADSR::kAttack, 1.0f, 0), "1sec");
    EXPECT_EQ(editorText(adsr, ADSR::kRelease, 0.25f, 0), "2.5s");
    EXPECT_EQ(editorText(adsr, ADSR::kRelease, 0.05f, 0), "500ms");
    EXPECT_EQ(editorText(adsr, ADSR::kMode, 0.25f), "absolute time");
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kHold, "250", 0), 0.25f);
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kHold, "5000", 0), 1.0f);
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kHold, "-5", 0), 0.0f);
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kRelease, "2500", 0), 0.25f);
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kRelease, "20000", 0), 1.0f);

    // Levels.
    EXPECT_EQ(hostDisplay(adsr, ADSR::kSustain), "-12");
    EXPECT_EQ(hostLabel(adsr, ADSR::kSustain), "dB");
    EXPECT_EQ(editorText(adsr, ADSR::kSustain, adsr.getParameter(ADSR::kSustain)), "-12dB");
    EXPECT_EQ(editorText(adsr, ADSR::kTrigOff, adsr.getParameter(ADSR::kTrigOff)), "-60dB");
    EXPECT_EQ(editorText(adsr, ADSR::kSustain, 0.0f), "-oodB");
    EXPECT_EQ(hostDisplay(adsr, ADSR::kTrigSens), "0");
    EXPECT_EQ(editorText(adsr, ADSR::kTrigSens, 0.0f), "-oodB");
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kSustain, "-oo"), 0.0f);
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kSustain, "3"), 1.0f);
    EXPECT_NEAR(typed(adsr, ADSR::kSustain, "-12"), 0.62996054f, 1e-3);
    EXPECT_GT(typed(adsr, ADSR::kSustain, "-100"), 0.0f);
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kTrigOn, "-100"), 0.0f);
    EXPECT_NEAR(typed(adsr, ADSR::kTrigOff, "-60"), 0.1f, 1e-6);
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kTrigSens, "0"), 0.5f);
    EXPECT_FLOAT_EQ(typed(adsr, ADSR::kTrigSens, "99"), typed(adsr, ADSR::kTrigSens, "24"));
    EXPECT_EQ(hostDisplay(adsr, ADSR::kDepth), "100.0");
    EXPECT_EQ(editorText(adsr, ADSR::kDepth, 0.5f), "50.0");
}

TEST(AdsrEnvelope, NoNaNForExtremesAndTempos) {
    const float rates[] = {8000.0f, 384000.0f};
    const float tempos[] = {30.0f, 300.0f};
    for (float rate : rates)
        for (float bpm : tempos)
            for (int pattern = 0; pattern < 3; ++pattern)
                for (int mode = 0; mode < 2; ++mode) {
                    ADSR adsr(0, nullptr);
                    for (int i = 0; i < ADSR::kNumParams; ++i)
                        adsr.setParameter(i, pattern == 2 ? float(i & 1) : float(pattern));
                    adsr.setParameter(ADSR::kMode, discreteValue(mode, 2));
                    adsr.setTempo(bpm);
                    adsr.setSampleRate(rate);
                    // Trigger switching on and off every few ticks.
                    StereoBuffer out(0);
                    for (int burst = 0; burst < 8; ++burst) {
                        float trig = (burst & 1) ? -1.0f : 1.0f;
                        StereoBuffer part = runModulator(adsr, 500, {{ADSR::kTrigger, trig, -trig}});
                        out.left.insert(out.left.end(), part.left.begin(), part.left.end());
                        out.right.insert(out.right.end(), part.right.begin(), part.right.end());
                    }
                    ASSERT_TRUE(allFinite(out.left) && allFinite(out.right))
                        << rate << " " << bpm << " " << pattern << " " << mode;
                    ASSERT_LE(peak(out.left), 1.0);
                }
    ADSR adsr(0, nullptr);
    adsr.setParameter(ADSR::kTrigger, 1.0f);
    adsr.setSampleRate(44100.0f);
    const float absurd[] = {0.0f, -50.0f, NAN, INFINITY};
    for (float bpm : absurd) {
        adsr.setTempo(bpm);
        StereoBuffer out = runModulator(adsr, 256);
        EXPECT_TRUE(allFinite(out.left)) << bpm;
    }
}
