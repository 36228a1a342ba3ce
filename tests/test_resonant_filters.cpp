// Biquad, SVF and Moog: responses measured through signals, texts and typed
// entries, per-channel modulation, type switches and stability at the edges.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "ModuleHarness.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"
#include "operators/Biquad.h"
#include "operators/FilterControls.h"
#include "operators/Moog.h"
#include "operators/SVF.h"

using namespace vh;
using namespace vh::test;

namespace {

template <class Op>
std::unique_ptr<Op> prepared(float rate, std::initializer_list<std::pair<int, float>> params) {
    auto op = std::make_unique<Op>(0, nullptr);
    for (auto [i, v] : params) op->setParameter(i, v);
    op->setSampleRate(rate);
    return op;
}

float hz(double freqHz) { return filter::frequencyValue(freqHz); }
float type(filter::FilterType t) { return discreteValue(t, filter::kNumFilterTypes); }

std::string display(Operator& op, int index) {
    char text[kTextSize];
    op.getParameterDisplay(index, text);
    return text;
}
std::string editorText(Operator& op, int index, float v) {
    char text[kTextSize];
    op.formatEditorValue(index, v, text, 0);
    return text;
}
float typed(Operator& op, int index, const char* text) {
    float v = -1.0f;
    EXPECT_TRUE(op.parseEditorValue(index, text, v, 0)) << text;
    return v;
}

// Output of a constant input after it has settled (left channel).
double settledDc(Operator& op, double rate, double level = 1.0) {
    StereoBuffer s(static_cast<size_t>(rate));  // one second
    std::fill(s.left.begin(), s.left.end(), float(level));
    s.right = s.left;
    runOperator(op, s);
    return s.left.back();
}

StereoBuffer stereoNoise(size_t n, double amplitude = 0.5) {
    StereoBuffer s;
    s.left = noise(n, amplitude, 1);
    s.right = noise(n, amplitude, 2);
    return s;
}

double largestDifference(const std::vector<float>& a, const std::vector<float>& b) {
    double d = 0.0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) d = std::max(d, double(std::fabs(a[i] - b[i])));
    return d;
}

double gainDb(Operator& op, double freqHz, double rate) { return toDb(gainAt(op, freqHz, rate)); }

class ByRate : public ::testing::TestWithParam<float> {};

}  // namespace

// --- shared controls -------------------------------------------------------------

TEST(FilterControls, TypedFrequencies) {
    EXPECT_NEAR(filter::frequencyHz(filter::parseFrequencyText("1.5k")), 1500.0, 0.05);
    EXPECT_NEAR(filter::frequencyHz(filter::parseFrequencyText("2kHz")), 2000.0, 0.05);
    EXPECT_NEAR(filter::frequencyHz(filter::parseFrequencyText("2 KHZ")), 2000.0, 0.05);
    EXPECT_NEAR(filter::frequencyHz(filter::parseFrequencyText("3K")), 3000.0, 0.05);
    EXPECT_NEAR(filter::frequencyHz(filter::parseFrequencyText("440")), 440.0, 0.02);
    EXPECT_EQ(filter::parseFrequencyText("50000"), 1.0f);
    EXPECT_EQ(filter::parseFrequencyText("3"), 0.0f);
    EXPECT_EQ(filter::parseFrequencyText("nonsense"), 0.0f);
    EXPECT_EQ(filter::parseFrequencyText("30k"), 1.0f);
}

TEST(FilterControls, FrequencyTextsAtTheEnds) {
    char text[kTextSize];
    filter::frequencyDisplay(1.0f, text);
    EXPECT_STREQ(text, "20000");
    filter::frequencyEditorText(0.0f, text);
    EXPECT_STREQ(text, "20 Hz");
    filter::frequencyEditorText(hz(1000.0), text);
    EXPECT_STREQ(text, "1000 Hz");
}

// --- Biquad ----------------------------------------------------------------------

TEST(BiquadFilter, DescriptorsAndTexts) {
    Biquad bq(0, nullptr);
    bq.setSampleRate(44100.0f);
    EXPECT_EQ(bq.getNumParameters(), 7);
    const char* names[] = {"freqA", "resoA", "typeA", "freqB", "resoB", "typeB", "morph"};
    const char* labels[] = {"Hz", "", "", "Hz", "", "", "%"};
    for (int i = 0; i < 7; ++i) {
        char text[kTextSize];
        bq.getParameterName(i, text);
        EXPECT_STREQ(text, names[i]);
        bq.getParameterTitle(i, text);
        EXPECT_STREQ(text, names[i]);
        bq.getParameterLabel(i, text);
        EXPECT_STREQ(text, labels[i]);
        EXPECT_EQ(bq.isModulatable(i), i != 2 && i != 5) << i;
    }
    EXPECT_FALSE(bq.isModulatable(7));
    EXPECT_EQ(display(bq, 7), "---");
    EXPECT_EQ(bq.getParameterDefault(0), 1.0f);
    EXPECT_EQ(bq.getParameterDefault(2), 0.125f);
    EXPECT_EQ(bq.getParameterDefault(6), 0.0f);
    char typeName[kTextSize];
    bq.getTypeName(typeName);
    EXPECT_STREQ(typeName, "BIQUAD");

    EXPECT_EQ(display(bq, 0), "20000");
    EXPECT_EQ(display(bq, 1), "0.71");
    EXPECT_EQ(display(bq, 2), "LP");
    EXPECT_EQ(display(bq, 6), "100:0");
    bq.setParameter(6, 1.0f);
    EXPECT_EQ(display(bq, 6), "0:100");
    bq.setParameter(6, 0.255f);
    EXPECT_EQ(display(bq, 6), "75:25");
    EXPECT_EQ(editorText(bq, 6, 0.255f), "25.5");
    bq.setParameter(1, 1.0f);
    EXPECT_EQ(display(bq, 1), "100.00");
    bq.setParameter(5, 0.6f);
    EXPECT_EQ(display(bq, 5), "NOTCH");
    EXPECT_EQ(editorText(bq, 3, hz(1500.0)), "1500 Hz");

    // A notch reads the resonance on the ordinary curve even though it filters with Q 1/16.
    bq.setParameter(2, type(filter::kNotch));
    bq.setParameter(1, 0.0f);
    EXPECT_EQ(display(bq, 1), "0.71");

    EXPECT_NEAR(filter::frequencyHz(typed(bq, 0, "1.5k")), 1500.0, 0.05);
    EXPECT_NEAR(filter::frequencyHz(typed(bq, 3, "2kHz")), 2000.0, 0.05);
    EXPECT_EQ(typed(bq, 0, "50000"), 1.0f);
    EXPECT_EQ(typed(bq, 0, "3"), 0.0f);
    EXPECT_NEAR(Biquad::resonanceQ(typed(bq, 1, "10")), 10.0, 1e-3);
    EXPECT_EQ(typed(bq, 4, "0.2"), 0.0f);
    EXPECT_EQ(typed(bq, 4, "500"), 1.0f);
    EXPECT_EQ(typed(bq, 6, "150"), 1.0f);
    EXPECT_EQ(typed(bq, 6, "-5"), 0.0f);
    EXPECT_FLOAT_EQ(typed(bq, 6, "37.5"), 0.375f);
    EXPECT_EQ(typed(bq, 2, "hp"), type(filter::kHighPass));
    float v = 0.0f;
    EXPECT_FALSE(bq.parseEditorValue(2, "bandstop", v, 0));
    EXPECT_FALSE(bq.parseEditorValue(9, "1", v, 0));
}

TEST_P(ByRate, BiquadLowPassIsThreeDbDownAtItsCornerAndPassesDc) {
    float rate = GetParam();
    auto lp = prepared<Biquad>(rate, {{Biquad::kFreqA, hz(1000.0)}});
    EXPECT_NEAR(gainDb(*lp, 1000.0, rate), -3.01, 0.05);
    EXPECT_LT(gainDb(*lp, 4000.0, rate), -23.0);  // twelve decibels per octave
    EXPECT_NEAR(gainDb(*lp, 100.0, rate), 0.0, 0.05);
    lp->clearState();
    EXPECT_NEAR(settledDc(*lp, rate), 1.0, 1e-4);
}

TEST_P(ByRate, BiquadBandPassPeaksAtQAndNotchCutsDeep) {
    float rate = GetParam();
    auto bp = prepared<Biquad>(rate, {{Biquad::kFreqA, hz(1000.0)},
                                      {Biquad::kResoA, Biquad::resonanceValue(10.0)},
                                      {Biquad::kTypeA, type(filter::kBandPass)}});
    EXPECT_NEAR(gainAt(*bp, 1000.0, rate), 10.0, 0.1);
    EXPECT_LT(gainDb(*bp, 250.0, rate), 20.0 * std::log10(10.0) - 30.0);

    // Resonance 0.5 on the notch's own curve is Q 1.
    auto notch = prepared<Biquad>(rate, {{Biquad::kFreqA, hz(1000.0)},
                                         {Biquad::kResoA, 0.5f},
                                         {Biquad::kTypeA, type(filter::kNotch)}});
    EXPECT_LT(gainDb(*notch, 1000.0, rate), -60.0);
    EXPECT_GT(gainDb(*notch, 4000.0, rate), -1.0);
    EXPECT_GT(gainDb(*notch, 250.0, rate), -1.0);
    notch->clearState();
    EXPECT_NEAR(settledDc(*notch, rate), 1.0, 1e-4);

    auto hp = prepared<Biquad>(rate, {{Biquad::kFreqA, hz(1000.0)}, {Biquad::kTypeA, type(filter::kHighPass)}});
    EXPECT_NEAR(gainDb(*hp, 1000.0, rate), -3.01, 0.05);
    EXPECT_NEAR(gainDb(*hp, 10000.0, rate), 0.0, 0.1);
    EXPECT_LT(gainDb(*hp, 250.0, rate), -23.0);
    hp->clearState();
    EXPECT_NEAR(settledDc(*hp, rate), 0.0, 1e-4);
}

TEST(BiquadFilter, NotchResonanceZeroIsAVeryWideNotch) {
    // Q 1/16: an octave away the notch still takes away more than 20 dB.
    auto notch = prepared<Biquad>(44100.0f, {{Biquad::kFreqA, hz(1000.0)}, {Biquad::kTypeA, type(filter::kNotch)}});
    EXPECT_LT(gainDb(*notch, 2000.0, 44100.0), -20.0);
    auto wider = prepared<Biquad>(44100.0f, {{Biquad::kFreqA, hz(1000.0)}, {Biquad::kResoA, 0.5f},
                                             {Biquad::kTypeA, type(filter::kNotch)}});
    EXPECT_GT(gainDb(*wider, 2000.0, 44100.0), -6.0);
}

TEST(BiquadFilter, MorphEndsAreExactlyFilterAOrFilterB) {
    auto input = stereoNoise(4096);
    auto morphed = [&](float morph) {
        auto bq = prepared<Biquad>(48000.0f, {{Biquad::kFreqA, hz(500.0)}, {Biquad::kResoA, 0.4f},
                                              {Biquad::kFreqB, hz(3000.0)}, {Biquad::kResoB, 0.2f},
                                              {Biquad::kTypeB, type(filter::kHighPass)}, {Biquad::kMorph, morph}});
        StereoBuffer s = input;
        runOperator(*bq, s);
        return s;
    };
    auto alone = [&](float freq, float reso, filter::FilterType t) {
        auto bq = prepared<Biquad>(48000.0f, {{Biquad::kFreqA, freq}, {Biquad::kResoA, reso}, {Biquad::kTypeA, type(t)}});
        StereoBuffer s = input;
        runOperator(*bq, s);
        return s;
    };
    StereoBuffer a = alone(hz(500.0), 0.4f, filter::kLowPass);
    StereoBuffer b = alone(hz(3000.0), 0.2f, filter::kHighPass);
    StereoBuffer m0 = morphed(0.0f), m1 = morphed(1.0f), mHalf = morphed(0.5f);
    EXPECT_EQ(m0.left, a.left);
    EXPECT_EQ(m0.right, a.right);
    EXPECT_EQ(m1.left, b.left);
    EXPECT_EQ(m1.right, b.right);
    EXPECT_NEAR(mHalf.left[1000], 0.5f * (a.left[1000] + b.left[1000]), 1e-5);
}

TEST(BiquadFilter, ModulationReachingOnlyTheRightChannelChangesOnlyTheRightChannel) {
    auto input = stereoNoise(8192);
    auto run = [&](std::vector<TickModulation> modulation) {
        auto bq = prepared<Biquad>(44100.0f, {{Biquad::kFreqA, hz(800.0)}, {Biquad::kFreqB, hz(2000.0)},
                                              {Biquad::kMorph, 0.5f}});
        StereoBuffer s = input;
        runOperator(*bq, s, modulation);
        return s;
    };
    StereoBuffer plain = run({});
    for (int index : {Biquad::kFreqA, Biquad::kResoA, Biquad::kFreqB, Biquad::kResoB, Biquad::kMorph}) {
        StereoBuffer modulated = run({{index, 0.0f, 0.3f}});
        EXPECT_EQ(modulated.left, plain.left) << index;
        EXPECT_GT(largestDifference(modulated.right, plain.right), 1e-3) << index;
    }
}

TEST(BiquadFilter, TypeChangeKeepsTheHistoryAndTakesEffectAtTheNextTick) {
    const float rate = 44100.0f;
    // A constant passes both the low-pass and the notch at unity: with the
    // history kept, switching between them does not disturb it at all.
    auto switched = prepared<Biquad>(rate, {{Biquad::kFreqA, hz(1000.0)}, {Biquad::kResoA, 0.3f}});
    int counter = 0;
    EXPECT_NEAR(settledDc(*switched, rate), 1.0, 1e-4);
    switched->setParameter(Biquad::kTypeA, type(filter::kNotch));
    StereoBuffer dc(4000);
    std::fill(dc.left.begin(), dc.left.end(), 1.0f);
    dc.right = dc.left;
    runOperator(*switched, dc, {}, &counter);
    for (float y : dc.left) ASSERT_NEAR(y, 1.0f, 1e-4);

    // With a tone the switch is audible, but only from the next tick on.
    auto lp = prepared<Biquad>(rate, {{Biquad::kFreqA, hz(1000.0)}});
    auto toHp = prepared<Biquad>(rate, {{Biquad::kFreqA, hz(1000.0)}});
    StereoBuffer tone = stereoSine(3000.0, rate, 1000);
    StereoBuffer toneRef = tone;
    int lpCounter = 0, hpCounter = 0;
    runOperator(*lp, toneRef, {}, &lpCounter);
    runOperator(*toHp, tone, {}, &hpCounter);
    toHp->setParameter(Biquad::kTypeA, type(filter::kHighPass));
    StereoBuffer more = stereoSine(3000.0, rate, 64);
    StereoBuffer moreRef = more;
    runOperator(*lp, moreRef, {}, &lpCounter);
    runOperator(*toHp, more, {}, &hpCounter);
    // The counter stood at 1000 mod 32 = 8: the tick runs before sample 23 of `more`.
    const size_t tickAt = 32 - 1000 % 32 - 1;
    for (size_t i = 0; i < tickAt; ++i) EXPECT_EQ(more.left[i], moreRef.left[i]) << i;
    EXPECT_NE(more.left[tickAt], moreRef.left[tickAt]);
}

TEST(BiquadFilter, TuningAboveHalfTheSampleRateIsHeldBelowIt) {
    // At 8 kHz the top of the range (20 kHz) is far above Nyquist: the
    // low-pass then sits just under 4 kHz and passes the band below it.
    auto lp = prepared<Biquad>(8000.0f, {{Biquad::kFreqA, 1.0f}});
    EXPECT_NEAR(gainDb(*lp, 1000.0, 8000.0), 0.0, 0.5);
    auto hp = prepared<Biquad>(8000.0f, {{Biquad::kFreqA, 1.0f}, {Biquad::kResoA, 1.0f},
                                         {Biquad::kTypeA, type(filter::kHighPass)}});
    EXPECT_LT(gainDb(*hp, 1000.0, 8000.0), -20.0);
}

// --- SVF ---------------------------------------------------------------------------

TEST(SvfFilter, DescriptorsAndTexts) {
    SVF svf(0, nullptr);
    svf.setSampleRate(44100.0f);
    EXPECT_EQ(svf.getNumParameters(), 7);
    char text[kTextSize];
    svf.getTypeName(text);
    EXPECT_STREQ(text, "SVF");
    svf.getParameterName(4, text);
    EXPECT_STREQ(text, "resoB");
    svf.getParameterLabel(6, text);
    EXPECT_STREQ(text, "%");
    svf.getParameterLabel(3, text);
    EXPECT_STREQ(text, "Hz");
    EXPECT_FALSE(svf.isModulatable(5));
    EXPECT_TRUE(svf.isModulatable(4));
    EXPECT_EQ(display(svf, 12), "---");

    EXPECT_EQ(display(svf, 1), "0.50");
    svf.setParameter(1, 1.0f);
    EXPECT_EQ(display(svf, 1), "oo");
    svf.setParameter(1, 0.981f);
    EXPECT_EQ(display(svf, 1), "oo");
    EXPECT_EQ(editorText(svf, 1, 0.98f), "99.25");
    EXPECT_EQ(editorText(svf, 4, 1.0f), "oo");
    EXPECT_EQ(display(svf, 6), "100:0");
    EXPECT_EQ(editorText(svf, 6, 1.0f), "100.0");
    EXPECT_EQ(editorText(svf, 0, 0.0f), "20 Hz");

    EXPECT_EQ(typed(svf, 1, "150"), 1.0f);
    EXPECT_EQ(typed(svf, 1, "0.3"), 0.0f);
    EXPECT_NEAR(typed(svf, 1, "2"), 0.31640625f, 1e-6);  // (1 - 0.5/2)^4
    EXPECT_EQ(editorText(svf, 1, typed(svf, 1, "2")), "2.00");
    EXPECT_NEAR(filter::frequencyHz(typed(svf, 0, "1.5k")), 1500.0, 0.05);
    EXPECT_FLOAT_EQ(typed(svf, 6, "12.5"), 0.125f);
}

TEST_P(ByRate, SvfResponsesOfItsFourOutputs) {
    float rate = GetParam();
    // Resonance 0 is Q 0.5: a low-pass 6 dB down at its corner.
    auto lp = prepared<SVF>(rate, {{SVF::kFreqA, hz(1000.0)}});
    EXPECT_NEAR(gainDb(*lp, 1000.0, rate), -6.02, 0.15);
    EXPECT_LT(gainDb(*lp, 8000.0, rate), -30.0);
    lp->clearState();
    EXPECT_NEAR(settledDc(*lp, rate), 1.0, 1e-4);

    auto bp = prepared<SVF>(rate, {{SVF::kFreqA, hz(1000.0)}, {SVF::kResoA, SVF::resonanceValue(2.0)},
                                   {SVF::kTypeA, type(filter::kBandPass)}});
    EXPECT_NEAR(gainAt(*bp, 1000.0, rate), 2.0, 0.05);

    auto notch = prepared<SVF>(rate, {{SVF::kFreqA, hz(1000.0)}, {SVF::kTypeA, type(filter::kNotch)}});
    EXPECT_LT(gainDb(*notch, 1000.0, rate), -40.0);
    EXPECT_GT(gainDb(*notch, 100.0, rate), -0.5);

    auto hp = prepared<SVF>(rate, {{SVF::kFreqA, hz(1000.0)}, {SVF::kTypeA, type(filter::kHighPass)}});
    EXPECT_NEAR(gainDb(*hp, 1000.0, rate), -6.02, 0.3);
    EXPECT_LT(gainDb(*hp, 125.0, rate), -30.0);
    hp->clearState();
    EXPECT_NEAR(settledDc(*hp, rate), 0.0, 1e-4);
}

TEST_P(ByRate, SvfAtFullResonanceRingsOnWithoutDecay) {
    float rate = GetParam();
    auto svf = prepared<SVF>(rate, {{SVF::kFreqA, hz(1000.0)}, {SVF::kResoA, 1.0f}, {SVF::kTypeA, type(filter::kBandPass)}});
    size_t n = static_cast<size_t>(rate);
    StereoBuffer s(n);
    s.left[0] = s.right[0] = 1.0f;
    runOperator(*svf, s);
    size_t tenth = n / 10;
    double early = rms(s.left, tenth, 2 * tenth);
    double late = rms(s.left, 9 * tenth, n);
    EXPECT_GT(early, 1e-3);
    EXPECT_NEAR(late / early, 1.0, 0.01);
    // And it rings at its frequency.
    EXPECT_GT(amplitudeAt(s.left, 1000.0, rate, 9 * tenth, n), 1.3 * early);
}

TEST(SvfFilter, MorphEndsAreExactlyFilterAOrFilterB) {
    auto input = stereoNoise(4096);
    auto run = [&](std::initializer_list<std::pair<int, float>> params) {
        auto svf = prepared<SVF>(96000.0f, params);
        StereoBuffer s = input;
        runOperator(*svf, s);
        return s;
    };
    StereoBuffer a = run({{SVF::kFreqA, hz(700.0)}, {SVF::kResoA, 0.7f}});
    StereoBuffer b = run({{SVF::kFreqA, hz(5000.0)}, {SVF::kResoA, 0.3f}, {SVF::kTypeA, type(filter::kBandPass)}});
    auto morphed = [&](float m) {
        return run({{SVF::kFreqA, hz(700.0)}, {SVF::kResoA, 0.7f}, {SVF::kFreqB, hz(5000.0)}, {SVF::kResoB, 0.3f},
                    {SVF::kTypeB, type(filter::kBandPass)}, {SVF::kMorph, m}});
    };
    StereoBuffer m0 = morphed(0.0f), m1 = morphed(1.0f);
    EXPECT_EQ(m0.left, a.left);
    EXPECT_EQ(m0.right, a.right);
    EXPECT_EQ(m1.left, b.left);
    EXPECT_EQ(m1.right, b.right);
}

TEST(SvfFilter, ModulationReachingOnlyTheRightChannelChangesOnlyTheRightChannel) {
    auto input = stereoNoise(8192);
    auto run = [&](std::vector<TickModulation> modulation) {
        auto svf = prepared<SVF>(44100.0f, {{SVF::kFreqA, hz(800.0)}, {SVF::kResoA, 0.5f}, {SVF::kFreqB, hz(3000.0)},
                                            {SVF::kMorph, 0.5f}});
        StereoBuffer s = input;
        runOperator(*svf, s, modulation);
        return s;
    };
    StereoBuffer plain = run({});
    for (int index : {SVF::kFreqA, SVF::kResoA, SVF::kFreqB, SVF::kResoB, SVF::kMorph}) {
        StereoBuffer modulated = run({{index, 0.0f, 0.3f}});
        EXPECT_EQ(modulated.left, plain.left) << index;
        EXPECT_GT(largestDifference(modulated.right, plain.right), 1e-3) << index;
    }
}

TEST(SvfFilter, TypeSwitchChangesOnlyWhichOutputIsRead) {
    // The filter's state does not depend on its type, so after a switch from
    // NOTCH to HP at a tick the output equals a filter that was HP all along.
    auto input = stereoNoise(3000);
    auto switched = prepared<SVF>(44100.0f, {{SVF::kFreqA, hz(2000.0)}, {SVF::kResoA, 0.6f},
                                             {SVF::kTypeA, type(filter::kNotch)}});
    auto highPass = prepared<SVF>(44100.0f, {{SVF::kFreqA, hz(2000.0)}, {SVF::kResoA, 0.6f},
                                             {SVF::kTypeA, type(filter::kHighPass)}});
    StereoBuffer head(1024), tail(input.size() - 1024);
    std::copy(input.left.begin(), input.left.begin() + 1024, head.left.begin());
    std::copy(input.right.begin(), input.right.begin() + 1024, head.right.begin());
    std::copy(input.left.begin() + 1024, input.left.end(), tail.left.begin());
    std::copy(input.right.begin() + 1024, input.right.end(), tail.right.begin());
    int counter = 0;
    runOperator(*switched, head, {}, &counter);
    switched->setParameter(SVF::kTypeA, type(filter::kHighPass));
    StereoBuffer switchedTail = tail;
    runOperator(*switched, switchedTail, {}, &counter);
    StereoBuffer all = input;
    runOperator(*highPass, all);
    // The tick before sample 1024 has run: the switch is heard from the next one, 31 samples later.
    EXPECT_NE(switchedTail.left[30], all.left[1024 + 30]);
    for (size_t i = 31; i < tail.size(); ++i) ASSERT_EQ(switchedTail.left[i], all.left[1024 + i]) << i;
}

TEST(SvfFilter, TuningAboveHalfTheSampleRateIsHeldBelowIt) {
    // Untamed, 20 kHz at 8 kHz would give F = 1.85, far outside the region
    // where the four-times filter is stable.
    auto lp = prepared<SVF>(8000.0f, {{SVF::kFreqA, 1.0f}});
    EXPECT_NEAR(gainDb(*lp, 500.0, 8000.0), 0.0, 0.5);
    auto hp = prepared<SVF>(8000.0f, {{SVF::kFreqA, 1.0f}, {SVF::kTypeA, type(filter::kHighPass)}});
    EXPECT_LT(gainDb(*hp, 500.0, 8000.0), -30.0);
}

// --- Moog ----------------------------------------------------------------------

TEST(MoogFilter, DescriptorsAndTexts) {
    Moog moog(0, nullptr);
    moog.setSampleRate(44100.0f);
    char text[kTextSize];
    moog.getTypeName(text);
    EXPECT_STREQ(text, "MOOG");
    EXPECT_EQ(moog.getNumParameters(), 2);
    moog.getParameterName(0, text);
    EXPECT_STREQ(text, "cutoff");
    moog.getParameterTitle(1, text);
    EXPECT_STREQ(text, "emphasis");
    moog.getParameterLabel(0, text);
    EXPECT_STREQ(text, "Hz");
    moog.getParameterLabel(1, text);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(display(moog, 2), "---");
    EXPECT_TRUE(moog.isModulatable(0));
    EXPECT_TRUE(moog.isModulatable(1));
    EXPECT_FALSE(moog.isModulatable(2));
    EXPECT_EQ(display(moog, 0), "20000");
    EXPECT_EQ(display(moog, 1), "0.00");
    moog.setParameter(1, 0.5f);
    EXPECT_EQ(display(moog, 1), "5.00");
    EXPECT_EQ(editorText(moog, 1, 0.25f), "2.50");
    EXPECT_EQ(editorText(moog, 0, hz(2000.0)), "2000 Hz");
    EXPECT_EQ(typed(moog, 1, "12"), 1.0f);
    EXPECT_EQ(typed(moog, 1, "-1"), 0.0f);
    EXPECT_FLOAT_EQ(typed(moog, 1, "7.5"), 0.75f);
    EXPECT_NEAR(filter::frequencyHz(typed(moog, 0, "2kHz")), 2000.0, 0.05);
    float v;
    EXPECT_FALSE(moog.parseEditorValue(2, "1", v, 0));
}

TEST_P(ByRate, MoogPassesAConstantAtUnityAtEveryEmphasis) {
    float rate = GetParam();
    for (float emphasis : {0.0f, 0.3f, 0.7f, 1.0f}) {
        auto moog = prepared<Moog>(rate, {{Moog::kCutoff, hz(1000.0)}, {Moog::kEmphasis, emphasis}});
        EXPECT_NEAR(settledDc(*moog, rate, 0.5), 0.5, 1e-4) << emphasis;
    }
}

TEST_P(ByRate, MoogIsAFourPoleLowPass) {
    float rate = GetParam();
    auto moog = prepared<Moog>(rate, {{Moog::kCutoff, hz(1000.0)}});
    EXPECT_NEAR(gainDb(*moog, 100.0, rate), 0.0, 0.3);
    // The tuning correction keeps each of the four poles 3 dB down at the cutoff.
    EXPECT_NEAR(gainDb(*moog, 1000.0, rate), -12.0, 1.0);
    // Two octaves up a four-pole slope is past -40 dB.
    EXPECT_LT(gainDb(*moog, 4000.0, rate), -40.0);
}

TEST(MoogFilter, FullEmphasisApproachesSelfOscillation) {
    const float rate = 44100.0f;
    auto ringing = [&](float emphasis) {
        auto moog = prepared<Moog>(rate, {{Moog::kCutoff, hz(300.0)}, {Moog::kEmphasis, emphasis}});
        StereoBuffer s(static_cast<size_t>(rate));
        s.left[0] = s.right[0] = 1.0f;
        runOperator(*moog, s);
        // How much of the ring survives from 0.1 s to 0.5 s.
        return rms(s.left, 22050, 26460) / rms(s.left, 4410, 8820);
    };
    EXPECT_GT(ringing(1.0f), 0.05);  // a decay time of seconds
    EXPECT_LT(ringing(0.5f), 1e-6);

    // A resonant peak far above the pass band.
    auto peak = prepared<Moog>(rate, {{Moog::kCutoff, hz(300.0)}, {Moog::kEmphasis, 1.0f}});
    double best = 0.0;
    for (double f = 250.0; f <= 350.0; f += 2.0) best = std::max(best, gainAt(*peak, f, rate, 2.0));
    EXPECT_GT(toDb(best), 30.0);
}

TEST(MoogFilter, ModulationReachingOnlyTheRightChannelChangesOnlyTheRightChannel) {
    auto input = stereoNoise(8192);
    auto run = [&](std::vector<TickModulation> modulation) {
        auto moog = prepared<Moog>(44100.0f, {{Moog::kCutoff, hz(1000.0)}, {Moog::kEmphasis, 0.5f}});
        StereoBuffer s = input;
        runOperator(*moog, s, modulation);
        return s;
    };
    StereoBuffer plain = run({});
    for (int index : {Moog::kCutoff, Moog::kEmphasis}) {
        StereoBuffer modulated = run({{index, 0.0f, 0.3f}});
        EXPECT_EQ(modulated.left, plain.left) << index;
        EXPECT_GT(largestDifference(modulated.right, plain.right), 1e-3) << index;
    }
}

TEST(MoogFilter, TuningAboveHalfTheSampleRateIsHeldBelowIt) {
    auto moog = prepared<Moog>(8000.0f, {{Moog::kCutoff, 1.0f}, {Moog::kEmphasis, 1.0f}});
    EXPECT_NEAR(gainDb(*moog, 500.0, 8000.0), 0.0, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Rates, ByRate, ::testing::Values(44100.0f, 48000.0f, 96000.0f, 192000.0f));

// --- all three ------------------------------------------------------------------

TEST(ResonantFilters, RegisteredInTheTypeTable) {
    const std::pair<int, const char*> types[] = {{kOpBiquad, "BIQUAD"}, {kOpSvf, "SVF"}, {kOpMoog, "MOOG"}};
    for (auto [t, label] : types) {
        auto op = createOperator(t, 1, nullptr);
        char text[kTextSize];
        op->getTypeName(text);
        EXPECT_STREQ(text, label);
        EXPECT_STREQ(operatorTypeLabel(t), label);
    }
}

TEST(ResonantFilters, UnclampedModulationSumsStayFinite) {
    // The engine clamps a modulated value only when a slot targets it; a sum
    // far outside 0..1 must not reach the filters as a negative damping or a
    // cutoff beyond the range.
    std::unique_ptr<Operator> ops[] = {std::make_unique<Biquad>(0, nullptr), std::make_unique<SVF>(0, nullptr),
                                       std::make_unique<Moog>(0, nullptr)};
    for (auto& op : ops) {
        op->setSampleRate(44100.0f);
        StereoBuffer s = stereoNoise(44100, 10.0);
        int counter = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            if (++counter >= kControlTick) {
                counter = 0;
                op->resetModulation();
                for (int p = 0; p < op->getNumParameters(); ++p) op->addModulation(p, 5.0f, -5.0f);
                op->update();
            }
            op->processSample(&s.left[i], &s.right[i]);
        }
        EXPECT_TRUE(allFinite(s.left));
        EXPECT_TRUE(allFinite(s.right));
        EXPECT_LT(peak(s.left), 1e4);
    }
}

namespace {
// Ten seconds of +20 dBFS noise while the settings jump between the
// extremes every half second and modulation pushes past both ends.
bool staysFinite(Operator& op, float rate, int numParams, const std::vector<int>& discrete) {
    op.setSampleRate(rate);
    const size_t n = static_cast<size_t>(10.0f * rate);
    const size_t segment = static_cast<size_t>(0.5f * rate);
    unsigned seed = 12345u;
    auto random = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    std::vector<TickModulation> modulation;
    int counter = 0;
    float zeros[kNumTaps] = {};
    for (size_t i = 0; i < n; ++i) {
        if (i % segment == 0) {
            const float extremes[] = {0.0f, 1.0f, 1.0f, 0.5f};
            for (int p = 0; p < numParams; ++p) op.setParameter(p, extremes[random() % 4]);
            for (int p : discrete) op.setParameter(p, discreteValue(int(random() % 4), 4));
            modulation.clear();
            for (int p = 0; p < numParams; ++p)
                if (op.isModulatable(p)) modulation.push_back({p, (random() % 3) - 1.0f, (random() % 3) - 1.0f});
        }
        if (++counter >= kControlTick) {
            counter = 0;
            controlTick(op, modulation);
        }
        float l = static_cast<float>(10.0 * ((random() & 0xffff) / 32768.0 - 1.0));
        float r = static_cast<float>(10.0 * ((random() & 0xffff) / 32768.0 - 1.0));
        op.setInputs(zeros, zeros);
        op.processSample(&l, &r);
        if (!std::isfinite(l) || !std::isfinite(r)) {
            ADD_FAILURE() << "non-finite output at sample " << i << " rate " << rate;
            return false;
        }
    }
    return true;
}
}  // namespace

TEST(ResonantFilters, LoudNoiseAtExtremeSettingsStaysFiniteAtLowAndHighRates) {
    for (float rate : {8000.0f, 192000.0f}) {
        Biquad bq(0, nullptr);
        EXPECT_TRUE(staysFinite(bq, rate, Biquad::kNumParams, {Biquad::kTypeA, Biquad::kTypeB}));
        SVF svf(0, nullptr);
        EXPECT_TRUE(staysFinite(svf, rate, SVF::kNumParams, {SVF::kTypeA, SVF::kTypeB}));
        Moog moog(0, nullptr);
        EXPECT_TRUE(staysFinite(moog, rate, Moog::kNumParams, {}));
    }
}
