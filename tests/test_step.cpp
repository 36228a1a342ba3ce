// STEP: step timing, transport modes, song-position lock, the "state"
// storage rule and its modulation, smoothing, depth and texts.

#include <gtest/gtest.h>

#include "ModulatorSupport.h"
#include "modulators/STEP.h"
#include "modules/Rhythm.h"

using namespace vh;
using namespace vh::test;

namespace {

// Step i (0-based) holds (i + 1) / 20 on the left and 1 - (i + 1) / 20 on the right.
float leftValue(int i) { return float(i + 1) / 20.0f; }
float rightValue(int i) { return 1.0f - float(i + 1) / 20.0f; }

void fillSteps(STEP& step) {
    for (int i = 0; i < STEP::kMaxSteps; ++i) {
        step.setParameter(STEP::kLeftStep0 + i, leftValue(i));
        step.setParameter(STEP::kRightStep0 + i, rightValue(i));
    }
}

void setMode(STEP& step, int mode) { step.setParameter(STEP::kMode, discreteValue(mode, STEP::kNumModes)); }
void setSteps(STEP& step, int n) { step.setParameter(STEP::kSteps, discreteValue(n - 1, STEP::kMaxSteps)); }

// Sample indices at which the step position changed.
std::vector<size_t> stepChanges(STEP& step, size_t n, int& counter, const std::vector<TickModulation>& mod = {}) {
    std::vector<size_t> changes;
    int last = step.stepPosition();
    for (size_t i = 0; i < n; ++i) {
        runModulator(step, 1, mod, &counter);
        if (step.stepPosition() != last) changes.push_back(i);
        last = step.stepPosition();
    }
    return changes;
}

}  // namespace

class StepRates : public ::testing::TestWithParam<float> {};

TEST_P(StepRates, DefaultsStepEveryEighthOfASecondAt120Bpm) {
    const float rate = GetParam();
    STEP step(0, nullptr);
    fillSteps(step);
    step.setTempo(120.0f);
    step.setSampleRate(rate);
    int counter = 0;
    std::vector<size_t> changes = stepChanges(step, size_t(rate * 2.2), counter);
    // "1/16" at 120 bpm: 0.0625 * 240 / 120 = 0.125 s per step, 16 steps then round again.
    ASSERT_GE(changes.size(), 17u);
    for (size_t k = 1; k < changes.size(); ++k)
        EXPECT_NEAR(double(changes[k] - changes[k - 1]), rate * 0.125, 1.0) << k;
    EXPECT_EQ(step.stepPosition(), 1);  // 2.2 s: the 18th step, round once

    // Mid-step the output is the step's value (smooth 0 settles in a few samples).
    STEP fresh(0, nullptr);
    fillSteps(fresh);
    fresh.setSampleRate(rate);
    StereoBuffer out = runModulator(fresh, size_t(rate * 0.125 * 3.5));
    EXPECT_NEAR(out.left.back(), leftValue(3), 1e-4);
    EXPECT_NEAR(out.right.back(), rightValue(3), 1e-4);
}

INSTANTIATE_TEST_SUITE_P(SampleRates, StepRates, ::testing::Values(44100.0f, 48000.0f, 96000.0f));

TEST(StepSequencer, SongPositionModeFollowsTheHost) {
    STEP step(0, nullptr);
    fillSteps(step);
    setMode(step, STEP::kSongPos);
    step.setParameter(STEP::kGrid, discreteValue(5, kNumRhythmItems));  // "1/4": one step per beat
    step.setSampleRate(44100.0f);
    step.setSongPosition(5.0f);
    EXPECT_EQ(step.stepPosition(), 5);
    EXPECT_FLOAT_EQ(step.stepPhase(), 0.0f);
    StereoBuffer out = runModulator(step, 256);
    EXPECT_NEAR(out.left.back(), leftValue(5), 1e-4);

    step.setSongPosition(21.5f);  // 16 steps wrap: step 5 again, halfway through
    EXPECT_EQ(step.stepPosition(), 5);
    EXPECT_FLOAT_EQ(step.stepPhase(), 0.5f);
    step.setSongPosition(-1.0f);  // before the song start: the last step
    EXPECT_EQ(step.stepPosition(), 15);
    step.setSongPosition(NAN);
    EXPECT_EQ(step.stepPosition(), 15);
    step.setSongPosition(3.0e9f);
    EXPECT_GE(step.stepPosition(), 0);
    EXPECT_LT(step.stepPosition(), 16);

    // Other modes ignore the host position.
    setMode(step, STEP::kRestart);
    controlTick(step, {});
    step.setSongPosition(7.0f);
    EXPECT_NE(step.stepPosition(), 7);
}

TEST(StepSequencer, OnePassPlaysOnceAndHolds) {
    STEP step(0, nullptr);
    fillSteps(step);
    setMode(step, STEP::kOnePass);
    setSteps(step, 4);
    step.setSampleRate(44100.0f);
    int counter = 0;
    StereoBuffer out = runModulator(step, size_t(44100 * 0.125 * 6), {}, &counter);
    EXPECT_EQ(step.stepPosition(), 3);
    EXPECT_NEAR(out.left.back(), leftValue(3), 1e-4);
    EXPECT_NEAR(out.left[size_t(44100 * 0.125 * 2.5)], leftValue(2), 1e-4);

    // Stopping rewinds the position while the output goes to the last step.
    step.setParameter(STEP::kLeftStep0 + 3, 0.9f);
    step.setParameter(STEP::kState, 0.0f);
    out = runModulator(step, 256, {}, &counter);
    EXPECT_EQ(step.stepPosition(), 0);
    EXPECT_NEAR(out.left.back(), 0.9f, 1e-4);

    // Starting again plays from step 1.
    step.setParameter(STEP::kState, 1.0f);
    out = runModulator(step, 2000, {}, &counter);
    EXPECT_NEAR(out.left.back(), leftValue(0), 1e-4);
}

TEST(StepSequencer, NegativeStateModulationStopsAndRewinds) {
    STEP step(0, nullptr);
    fillSteps(step);
    step.setSampleRate(44100.0f);
    int counter = 0;
    runModulator(step, size_t(44100 * 0.125 * 5.5), {}, &counter);
    ASSERT_EQ(step.stepPosition(), 5);
    StereoBuffer out = runModulator(step, 2000, {{STEP::kState, -0.3f, -0.3f}}, &counter);
    EXPECT_FALSE(step.running());
    EXPECT_EQ(step.stepPosition(), 0);
    EXPECT_FLOAT_EQ(step.stepPhase(), 0.0f);
    // Restart mode holds the output where it was.
    EXPECT_NEAR(out.left.back(), leftValue(5), 1e-4);
    EXPECT_EQ(step.stepPosition(), 0);
}

TEST(StepSequencer, ContinueModePausesInPlace) {
    STEP step(0, nullptr);
    fillSteps(step);
    setMode(step, STEP::kContinue);
    step.setSampleRate(44100.0f);
    int counter = 0;
    runModulator(step, size_t(44100 * 0.125 * 5.5), {}, &counter);
    runModulator(step, 44100, {{STEP::kState, -0.3f, -0.3f}}, &counter);
    EXPECT_EQ(step.stepPosition(), 5);
    StereoBuffer out = runModulator(step, size_t(44100 * 0.125), {}, &counter);  // running again
    EXPECT_EQ(step.stepPosition(), 6);
    EXPECT_NEAR(out.left.back(), leftValue(6), 1e-4);
}

TEST(StepSequencer, StateIsStoredAsHalfOrZero) {
    STEP step(0, nullptr);
    EXPECT_FLOAT_EQ(step.getParameter(STEP::kState), 0.5f);
    step.setParameter(STEP::kState, 0.3f);
    EXPECT_FLOAT_EQ(step.getParameter(STEP::kState), 0.0f);
    step.setParameter(STEP::kState, 0.75f);
    EXPECT_FLOAT_EQ(step.getParameter(STEP::kState), 0.5f);

    // A stopped sequencer starts when modulation reaches +0.5.
    step.setParameter(STEP::kState, 0.0f);
    step.setSampleRate(44100.0f);
    EXPECT_FALSE(step.running());
    runModulator(step, 64, {{STEP::kState, 0.5f, 0.5f}});
    EXPECT_TRUE(step.running());
}

TEST(StepSequencer, OneStepStaysOnStepOne) {
    STEP step(0, nullptr);
    fillSteps(step);
    setSteps(step, 1);
    step.setSampleRate(44100.0f);
    int counter = 0;
    EXPECT_TRUE(stepChanges(step, 44100, counter).empty());
    EXPECT_EQ(step.stepPosition(), 0);
}

TEST(StepSequencer, SmoothingAndDepth) {
    STEP step(0, nullptr);
    step.setParameter(STEP::kLeftStep0, 1.0f);
    step.setParameter(STEP::kSmooth, 1.0f);  // 1 Hz corner
    step.setParameter(STEP::kDepth, 0.5f);
    setSteps(step, 1);
    step.setSampleRate(44100.0f);
    StereoBuffer out = runModulator(step, 44100);
    // One-pole at 1 Hz: time constant 1 / (2 pi) s; after 1 s essentially there.
    size_t tau = size_t(44100 / (2.0 * kPi));
    EXPECT_NEAR(out.left[tau], 0.5 * (1.0 - std::exp(-1.0)), 0.01);
    EXPECT_NEAR(out.left.back(), 0.5, 1e-3);
    EXPECT_EQ(peak(out.right), 0.0);
}

TEST(StepSequencer, HostAndEditorTexts) {
    STEP step(0, nullptr);
    EXPECT_EQ(step.getNumParameters(), 38);
    EXPECT_EQ(hostName(step, 0), "L1");
    EXPECT_EQ(hostName(step, 15), "L16");
    EXPECT_EQ(hostName(step, 16), "R1");
    EXPECT_EQ(hostName(step, 31), "R16");
    EXPECT_EQ(hostName(step, STEP::kState), "state");
    EXPECT_EQ(hostName(step, 38), "---");
    EXPECT_EQ(hostDisplay(step, 38), "");
    EXPECT_EQ(hostLabel(step, STEP::kDepth), "");
    EXPECT_TRUE(step.isModulatable(STEP::kSmooth));
    EXPECT_TRUE(step.isModulatable(STEP::kState));
    EXPECT_FALSE(step.isModulatable(0));
    EXPECT_FALSE(step.isModulatable(STEP::kGrid));

    step.setParameter(3, 0.125f);
    EXPECT_EQ(hostDisplay(step, 3), "12.50");
    EXPECT_EQ(editorText(step, 3, 0.125f), "STEP 4L: VALUE = 12.5%");
    EXPECT_EQ(editorText(step, 19, 0.5f), "STEP 4R: VALUE = 50.0%");
    EXPECT_EQ(editorText(step, 19, 0.5f, 1), "STEP 4: VALUE = 50.0%");
    EXPECT_EQ(hostDisplay(step, STEP::kSteps), "16");
    EXPECT_EQ(hostDisplay(step, STEP::kGrid), "0.06");
    EXPECT_EQ(editorText(step, STEP::kGrid, step.getParameter(STEP::kGrid)), "1/16");
    EXPECT_EQ(hostDisplay(step, STEP::kMode), "restart");
    EXPECT_EQ(editorText(step, STEP::kMode, 1.0f), "onepass");
    EXPECT_EQ(hostDisplay(step, STEP::kState), "running");
    EXPECT_EQ(editorText(step, STEP::kSmooth, 0.5f), "50.0%");
    EXPECT_EQ(hostDisplay(step, STEP::kDepth), "100.0");
    step.setParameter(STEP::kState, 0.0f);
    EXPECT_EQ(hostDisplay(step, STEP::kState), "stopped");
    setMode(step, STEP::kSongPos);
    EXPECT_EQ(hostDisplay(step, STEP::kState), "songpos");
    EXPECT_EQ(editorText(step, STEP::kState, 0.75f), "songpos");

    EXPECT_FLOAT_EQ(typed(step, STEP::kSteps, "0"), discreteValue(0, 16));
    EXPECT_FLOAT_EQ(typed(step, STEP::kSteps, "40"), discreteValue(15, 16));
    EXPECT_FLOAT_EQ(typed(step, STEP::kSteps, "5"), discreteValue(4, 16));
    EXPECT_FLOAT_EQ(typed(step, STEP::kGrid, "1/4"), discreteValue(5, 30));
    EXPECT_FLOAT_EQ(typed(step, STEP::kGrid, "1/5"), discreteValue(7, 30));
    EXPECT_FLOAT_EQ(typed(step, STEP::kMode, "songpos"), discreteValue(2, 4));
    EXPECT_FLOAT_EQ(typed(step, STEP::kSmooth, "120"), 1.0f);
    EXPECT_FLOAT_EQ(typed(step, STEP::kState, "running"), 0.75f);
    float v;
    EXPECT_FALSE(step.parseEditorValue(0, "50", v, 0));
    EXPECT_FALSE(step.parseEditorValue(STEP::kMode, "shuffle", v, 0));
}

TEST(StepSequencer, NoNaNForExtremesTemposAndRates) {
    const float rates[] = {8000.0f, 384000.0f};
    const float tempos[] = {30.0f, 300.0f};
    for (float rate : rates)
        for (float bpm : tempos)
            for (int pattern = 0; pattern < 3; ++pattern)
                for (int mode = 0; mode < STEP::kNumModes; ++mode) {
                    STEP step(0, nullptr);
                    for (int i = 0; i < STEP::kNumParams; ++i)
                        step.setParameter(i, pattern == 2 ? float(i & 1) : float(pattern));
                    setMode(step, mode);
                    step.setTempo(bpm);
                    step.setSampleRate(rate);
                    step.setSongPosition(777.7f);
                    StereoBuffer out = runModulator(step, 3000, {{STEP::kState, -1.0f, 1.0f}, {STEP::kSmooth, 1.0f, -1.0f}});
                    ASSERT_TRUE(allFinite(out.left) && allFinite(out.right))
                        << rate << " " << bpm << " " << pattern << " " << mode;
                    ASSERT_LE(peak(out.left), 1.0);
                }
}
