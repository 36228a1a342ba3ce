// Equaliser, formant filter and phaser: responses measured through signals,
// texts and conversions, channel independence and stability at the extremes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "ModuleHarness.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"
#include "operators/EQ.h"
#include "operators/EqMath.h"
#include "operators/Formant.h"
#include "operators/Phaser.h"

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

float parsed(Operator& op, int index, const char* text) {
    float v = -1.0f;
    EXPECT_TRUE(op.parseEditorValue(index, text, v, 0)) << text;
    return v;
}

StereoBuffer stereoNoise(size_t n, double amplitude) {
    StereoBuffer s;
    s.left = noise(n, amplitude, 1);
    s.right = noise(n, amplitude, 2);
    return s;
}

StereoBuffer impulse(size_t n) {
    StereoBuffer s(n);
    s.left[0] = s.right[0] = 1.0f;
    return s;
}

double gainDbAt(Operator& op, double hz, double rate) { return toDb(gainAt(op, hz, rate)); }

float typeValue(int type) { return discreteValue(type, EQ::kNumBandTypes); }
float vowelValue(int vowel) { return discreteValue(vowel, Formant::kNumVowels); }
float stagesValue(int stages) { return discreteValue(stages - 1, Phaser::kMaxStages); }

// Runs ten seconds of +20 dBFS noise while `settings` is re-applied every half
// second with an increasing step number and the modulation swings between its
// extremes every tick, in opposite directions on the two channels.
void expectFiniteUnderAbuse(Operator& op, float rate, const std::vector<int>& modulated,
                            const std::function<void(Operator&, int)>& settings) {
    op.setSampleRate(rate);
    const size_t segment = static_cast<size_t>(rate / 2);
    const StereoBuffer source = stereoNoise(segment, 10.0);
    int counter = 0;
    double worst = 0.0;
    for (int step = 0; step < 20; ++step) {
        settings(op, step);
        StereoBuffer s = source;
        for (size_t n = 0; n < s.size(); ++n) {
            if (++counter >= 32) {
                counter = 0;
                float swing = (n / 32) % 2 ? 1.0f : -1.0f;
                op.resetModulation();
                for (int index : modulated) {
                    op.addModulation(index, swing, -swing);
                    op.clampModulation(index);
                }
                op.update();
            }
            op.processSample(&s.left[n], &s.right[n]);
        }
        ASSERT_TRUE(allFinite(s.left) && allFinite(s.right)) << "step " << step;
        worst = std::max({worst, peak(s.left), peak(s.right)});
    }
    EXPECT_LT(worst, 1e5);
}

}  // namespace

// --- EQ ---------------------------------------------------------------------------

class EqAtRate : public ::testing::TestWithParam<float> {};

TEST_P(EqAtRate, ZeroGainIsTransparentForEveryType) {
    const float rate = GetParam();
    const StereoBuffer source = stereoNoise(4096, 1.0);
    for (int type = 0; type < EQ::kNumBandTypes; ++type)
        for (float freq : {0.0f, 0.5f, 1.0f})
            for (float q : {0.0f, 1.0f}) {
                auto eq = prepared<EQ>(rate, {{EQ::kTypeA, typeValue(type)}, {EQ::kFreqA, freq}, {EQ::kQA, q},
                                              {EQ::kTypeB, typeValue(2 - type)}, {EQ::kFreqB, 1.0f - freq},
                                              {EQ::kQB, 1.0f - q}, {EQ::kMorph, 0.3f}});
                StereoBuffer s = source;
                runOperator(*eq, s);
                // Within rounding noise, even for the 20 Hz band whose poles
                // lie closest to DC.
                std::vector<float> error(s.size());
                for (size_t n = 0; n < s.size(); ++n) error[n] = s.left[n] - source.left[n];
                EXPECT_LT(toDb(rms(error) / rms(source.left)), freq == 0.0f ? -80.0 : -100.0)
                    << "type " << type << " freq " << freq << " q " << q;
                for (size_t n = 0; n < s.size(); ++n) error[n] = s.right[n] - source.right[n];
                EXPECT_LT(toDb(rms(error) / rms(source.right)), freq == 0.0f ? -80.0 : -100.0);
            }
}

TEST_P(EqAtRate, PeakingBandAtFullBoostAndQ20Boosts24dBAtItsFrequency) {
    const float rate = GetParam();
    auto eq = prepared<EQ>(rate, {{EQ::kTypeA, typeValue(EQ::kPeaking)}, {EQ::kFreqA, eq::valueOfFrequency(1000.0)},
                                  {EQ::kQA, 1.0f}, {EQ::kGainA, 1.0f}});
    EXPECT_NEAR(gainDbAt(*eq, 1000.0, rate), 24.0, 0.1);
    // Q 20: a band about 50 Hz wide, so an octave away almost nothing is left.
    EXPECT_LT(gainDbAt(*eq, 500.0, rate), 0.5);
    EXPECT_LT(gainDbAt(*eq, 2000.0, rate), 0.5);
    EXPECT_GT(gainDbAt(*eq, 1000.0 * std::pow(2.0, 1.0 / 40.0), rate), 3.0);
}

TEST_P(EqAtRate, ShelvesReachTheirGainOnTheirSideOnly) {
    const float rate = GetParam();
    const float hz = eq::valueOfFrequency(500.0);
    auto low = prepared<EQ>(rate, {{EQ::kTypeA, typeValue(EQ::kLowShelf)}, {EQ::kFreqA, hz}, {EQ::kGainA, 0.75f}});
    EXPECT_NEAR(gainDbAt(*low, 30.0, rate), 12.0, 0.2);
    EXPECT_NEAR(gainDbAt(*low, 10000.0, rate), 0.0, 0.2);
    auto high = prepared<EQ>(rate, {{EQ::kTypeA, typeValue(EQ::kHighShelf)}, {EQ::kFreqA, hz}, {EQ::kGainA, 0.25f}});
    EXPECT_NEAR(gainDbAt(*high, 30.0, rate), 0.0, 0.2);
    EXPECT_NEAR(gainDbAt(*high, 10000.0, rate), -12.0, 0.2);
}

INSTANTIATE_TEST_SUITE_P(Rates, EqAtRate, ::testing::Values(44100.0f, 48000.0f, 96000.0f, 192000.0f));

TEST(Eq, MorphZeroAndOneGiveExactlyBandAAndBandB) {
    const StereoBuffer source = stereoNoise(2048, 1.0);
    auto run = [&](std::initializer_list<std::pair<int, float>> params) {
        auto eq = prepared<EQ>(44100.0f, params);
        StereoBuffer s = source;
        runOperator(*eq, s);
        return s;
    };
    // Band B at +24 dB is inaudible at morph 0.
    StereoBuffer onlyA = run({{EQ::kTypeA, typeValue(EQ::kLowShelf)}, {EQ::kFreqA, 0.4f}, {EQ::kGainA, 0.2f},
                              {EQ::kTypeB, typeValue(EQ::kPeaking)}, {EQ::kFreqB, 0.6f}, {EQ::kGainB, 1.0f}});
    StereoBuffer flatB = run({{EQ::kTypeA, typeValue(EQ::kLowShelf)}, {EQ::kFreqA, 0.4f}, {EQ::kGainA, 0.2f}});
    EXPECT_EQ(onlyA.left, flatB.left);
    EXPECT_EQ(onlyA.right, flatB.right);
    // Morph 1 hears band B exactly as band A would sound with B's settings.
    StereoBuffer onlyB = run({{EQ::kTypeA, typeValue(EQ::kLowShelf)}, {EQ::kFreqA, 0.4f}, {EQ::kGainA, 0.2f},
                              {EQ::kTypeB, typeValue(EQ::kPeaking)}, {EQ::kFreqB, 0.6f}, {EQ::kGainB, 1.0f},
                              {EQ::kMorph, 1.0f}});
    StereoBuffer bAsA = run({{EQ::kTypeA, typeValue(EQ::kPeaking)}, {EQ::kFreqA, 0.6f}, {EQ::kGainA, 1.0f}});
    EXPECT_EQ(onlyB.left, bAsA.left);
    EXPECT_EQ(onlyB.right, bAsA.right);
}

TEST(Eq, ModulationReachingOnlyTheRightChannelChangesOnlyTheRight) {
    const StereoBuffer source = stereoNoise(4096, 1.0);
    auto run = [&](const std::vector<TickModulation>& modulation) {
        auto eq = prepared<EQ>(44100.0f, {{EQ::kTypeA, typeValue(EQ::kPeaking)}, {EQ::kGainA, 0.9f},
                                          {EQ::kFreqA, 0.5f}, {EQ::kQA, 0.7f}});
        StereoBuffer s = source;
        runOperator(*eq, s, modulation);
        return s;
    };
    StereoBuffer plain = run({});
    StereoBuffer modulated = run({{EQ::kFreqA, 0.0f, -0.3f}, {EQ::kGainA, 0.0f, 0.1f}});
    EXPECT_EQ(plain.left, modulated.left);
    EXPECT_GT(rms(plain.right) - rms(modulated.right), 0.01);
}

TEST(Eq, TypeChangeKeepsTheFilterHistory) {
    // A +24 dB low shelf lifts a constant about sixteen-fold. Switched to a
    // peaking band (unity at DC) the output falls back from there, carried by
    // the filter's history, instead of restarting at the input level.
    const float rate = 44100.0f;
    const size_t half = 8192;  // a multiple of the control tick
    auto run = [&](bool clearAtSwitch) {
        auto eq = prepared<EQ>(rate, {{EQ::kFreqA, eq::valueOfFrequency(1000.0)}, {EQ::kGainA, 1.0f},
                                      {EQ::kQA, 1.0f}});
        StereoBuffer first(half), second(half);
        std::fill(first.left.begin(), first.left.end(), 0.5f);
        first.right = second.left = second.right = first.left;
        int counter = 0;
        runOperator(*eq, first, {}, &counter);
        eq->setParameter(EQ::kTypeA, typeValue(EQ::kPeaking));
        if (clearAtSwitch) eq->clearState();
        runOperator(*eq, second, {}, &counter);
        EXPECT_NEAR(first.left.back(), 0.5f * std::pow(10.0f, 24.0f / 20.0f), 0.05);
        return second;
    };
    StereoBuffer kept = run(false);
    EXPECT_NEAR(kept.left[0], 7.9, 0.2);
    // The type takes effect at the next control tick; from there the output
    // leaves the held level gradually instead of dropping to the input's.
    size_t switched = 1;
    while (switched < half && kept.left[switched] == kept.left[0]) ++switched;
    ASSERT_LT(switched, 64u);
    EXPECT_GT(kept.left[switched], 7.0);
    EXPECT_NEAR(rms(kept.left, half - 1000, half), 0.5, 0.01);
    StereoBuffer restarted = run(true);
    EXPECT_NEAR(restarted.left[0], 0.5, 0.1);
}

TEST(Eq, SettingChangeAfterSteadyTicksStillGlides) {
    // Ticks that aim at the targets already reached leave the glides idle;
    // the next change must glide again. A low shelf holding a constant
    // answers a gain step through its mix at once, so only the glide keeps
    // the output from jumping sixteen-fold.
    auto eq = prepared<EQ>(44100.0f, {{EQ::kFreqA, eq::valueOfFrequency(1000.0)}});
    StereoBuffer s(4096);
    std::fill(s.left.begin(), s.left.end(), 0.5f);
    s.right = s.left;
    int counter = 0;
    runOperator(*eq, s, {}, &counter);
    EXPECT_NEAR(s.left.back(), 0.5f, 1e-6);
    eq->setParameter(EQ::kGainA, 1.0f);
    std::fill(s.left.begin(), s.left.end(), 0.5f);
    s.right = s.left;
    runOperator(*eq, s, {}, &counter);
    double largestStep = 0.0;
    for (size_t n = 1; n < s.size(); ++n) largestStep = std::max(largestStep, double(std::fabs(s.left[n] - s.left[n - 1])));
    EXPECT_LT(largestStep, 0.5);
    EXPECT_NEAR(s.left.back(), 0.5f * std::pow(10.0f, 24.0f / 20.0f), 0.05);
}

TEST(Eq, LowShelfNearDcStaysStableAtHighRates) {
    // The lowest band frequencies at the highest rates put the poles closest
    // to DC, where rounding of a direct form's coefficients once pushed them
    // outside the unit circle: the output must still die away.
    for (float rate : {192000.0f, 384000.0f})
        for (float q : {0.0f, 1.0f})
            for (int type : {EQ::kLowShelf, EQ::kHighShelf, EQ::kPeaking}) {
                auto eq = prepared<EQ>(rate, {{EQ::kTypeA, typeValue(type)}, {EQ::kFreqA, 0.0f}, {EQ::kQA, q},
                                              {EQ::kGainA, type == EQ::kHighShelf ? 0.0f : 1.0f}});
                StereoBuffer s = stereoNoise(static_cast<size_t>(rate), 1.0);
                s.left.resize(3 * s.size(), 0.0f);
                s.right.resize(s.left.size(), 0.0f);
                runOperator(*eq, s);
                size_t n = s.size();
                EXPECT_LT(rms(s.left, n - n / 6, n), 0.1 * rms(s.left, 0, n / 3)) << rate << " type " << type;
            }
}

// A cookbook band in long double precision, the yardstick for the rounding
// noise of the single-precision filter.
std::vector<double> cookbookReference(const std::vector<float>& input, int type, double rate, double hz, double q,
                                      double gainDb) {
    const long double a = std::pow(10.0L, gainDb / 40.0L), w = 2.0L * kPi * hz / rate;
    const long double c = std::cos(w), alpha = std::sin(w) / (2.0L * q), s = std::sqrt(a);
    long double b[3], d[3];
    if (type == EQ::kPeaking) {
        b[0] = 1 + alpha * a, b[1] = -2 * c, b[2] = 1 - alpha * a;
        d[0] = 1 + alpha / a, d[1] = -2 * c, d[2] = 1 - alpha / a;
    } else {
        const long double sign = type == EQ::kLowShelf ? 1.0L : -1.0L, mc = sign * c;
        b[0] = a * ((a + 1) - (a - 1) * mc + 2 * s * alpha);
        b[1] = 2 * sign * a * ((a - 1) - (a + 1) * mc);
        b[2] = a * ((a + 1) - (a - 1) * mc - 2 * s * alpha);
        d[0] = (a + 1) + (a - 1) * mc + 2 * s * alpha;
        d[1] = -2 * sign * ((a - 1) + (a + 1) * mc);
        d[2] = (a + 1) + (a - 1) * mc - 2 * s * alpha;
    }
    std::vector<double> out(input.size());
    long double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t n = 0; n < input.size(); ++n) {
        long double y = (b[0] * input[n] + b[1] * x1 + b[2] * x2 - d[1] * y1 - d[2] * y2) / d[0];
        x2 = x1, x1 = input[n], y2 = y1, y1 = y;
        out[n] = static_cast<double>(y);
    }
    return out;
}

TEST(Eq, BandsAtTwentyHertzStayWithinTheirRoundingNoiseAtEveryRate) {
    // Pole pairs close to DC: a single-precision direct form leaves a residue
    // of -30 to -60 dB here, this filter -100 dB or less. The band also sits
    // at 20 Hz at every rate.
    struct Case {
        int type;
        float rate, qValue, gainValue;
    };
    const Case cases[] = {{EQ::kPeaking, 44100.0f, 1.0f, 1.0f},   {EQ::kPeaking, 192000.0f, 1.0f, 0.75f},
                          {EQ::kPeaking, 48000.0f, 1.0f, 0.0f},   {EQ::kLowShelf, 192000.0f, 0.0f, 1.0f},
                          {EQ::kLowShelf, 44100.0f, 1.0f, 0.0f},  {EQ::kHighShelf, 96000.0f, 0.5f, 1.0f},
                          {EQ::kHighShelf, 384000.0f, 1.0f, 0.25f}};
    for (const Case& c : cases) {
        auto eq = prepared<EQ>(c.rate, {{EQ::kTypeA, typeValue(c.type)}, {EQ::kFreqA, 0.0f}, {EQ::kQA, c.qValue},
                                        {EQ::kGainA, c.gainValue}});
        StereoBuffer s = stereoNoise(1 << 15, 1.0);
        const std::vector<double> reference = cookbookReference(s.left, c.type, c.rate, eq::frequencyHz(0.0f),
                                                                EQ::qOf(c.qValue, c.type), EQ::gainDbOf(c.gainValue));
        runOperator(*eq, s);
        double error = 0.0, power = 0.0;
        for (size_t n = 0; n < reference.size(); ++n) {
            error += (s.left[n] - reference[n]) * (s.left[n] - reference[n]);
            power += reference[n] * reference[n];
        }
        EXPECT_LT(10.0 * std::log10(error / power), -95.0) << "type " << c.type << " rate " << c.rate;
    }
}

TEST(Eq, BandAboveHalfTheRateSitsJustBelowIt) {
    // At 32 kHz "freqA" 20 kHz lies above 16 kHz: the band sits at 0.49·fs.
    const float rate = 32000.0f;
    auto eq = prepared<EQ>(rate, {{EQ::kTypeA, typeValue(EQ::kPeaking)}, {EQ::kFreqA, 1.0f}, {EQ::kQA, 0.75f},
                                  {EQ::kGainA, 1.0f}});
    EXPECT_NEAR(gainDbAt(*eq, 0.49 * rate, rate), 24.0, 0.3);
    EXPECT_LT(gainDbAt(*eq, 1000.0, rate), 0.1);
}

TEST(Eq, ParameterTexts) {
    EQ eq(0, nullptr);
    char text[kTextSize];
    const char* names[] = {"freqA", "qA", "typeA", "freqB", "qB", "typeB", "morph", "gainA", "gainB"};
    for (int i = 0; i < EQ::kNumParams; ++i) {
        eq.getParameterName(i, text);
        EXPECT_STREQ(text, names[i]);
        eq.getParameterTitle(i, text);
        EXPECT_STREQ(text, names[i]);
        EXPECT_EQ(eq.isModulatable(i), i != EQ::kTypeA && i != EQ::kTypeB);
    }
    eq.getParameterName(9, text);
    EXPECT_STREQ(text, "---");
    EXPECT_EQ(display(eq, 9), "---");
    EXPECT_EQ(eq.getNumParameters(), 9);
    eq.getTypeName(text);
    EXPECT_STREQ(text, "EQ");
    eq.getParameterLabel(EQ::kFreqA, text);
    EXPECT_STREQ(text, "Hz");
    eq.getParameterLabel(EQ::kQA, text);
    EXPECT_STREQ(text, "");
    eq.getParameterLabel(EQ::kMorph, text);
    EXPECT_STREQ(text, "%");
    eq.getParameterLabel(EQ::kGainB, text);
    EXPECT_STREQ(text, "dB");

    // Defaults: 20 kHz, low shelves, 0 dB, morph 0.
    EXPECT_EQ(display(eq, EQ::kFreqA), "20000");
    EXPECT_EQ(display(eq, EQ::kTypeA), "LOWSHELF");
    EXPECT_EQ(display(eq, EQ::kGainA), "0.0");
    EXPECT_EQ(display(eq, EQ::kMorph), "100:0");
    EXPECT_FLOAT_EQ(eq.getParameterDefault(EQ::kTypeB), 0.16666667f);

    // Q text follows the band's type.
    eq.setParameter(EQ::kQA, 0.5f);
    EXPECT_EQ(display(eq, EQ::kQA), "0.71");
    EXPECT_EQ(editorText(eq, EQ::kQA, 0.5f), "0.71");
    eq.setParameter(EQ::kTypeA, typeValue(EQ::kPeaking));
    EXPECT_EQ(display(eq, EQ::kTypeA), "PEAKING");
    EXPECT_EQ(display(eq, EQ::kQA), "1.00");
    EXPECT_EQ(editorText(eq, EQ::kQA, 1.0f), "20.00");
    EXPECT_EQ(editorText(eq, EQ::kQA, 0.0f), "0.05");
    EXPECT_NEAR(parsed(eq, EQ::kQA, "0.01"), 0.0f, 1e-6);  // Q 0.05
    EXPECT_NEAR(parsed(eq, EQ::kQA, "1"), 0.5f, 1e-6);
    EXPECT_NEAR(parsed(eq, EQ::kQB, "0.1"), 0.0f, 1e-6);  // band B is a shelf: 0.354 at least
    EXPECT_NEAR(parsed(eq, EQ::kQB, "0.7071"), 0.5f, 1e-4);
    EXPECT_EQ(editorText(eq, EQ::kTypeB, typeValue(EQ::kHighShelf)), "HIGHSHELF");
    EXPECT_NEAR(parsed(eq, EQ::kTypeB, "highshelf"), typeValue(EQ::kHighShelf), 1e-7);

    // Frequencies: "1.5k", "2kHz", limits.
    EXPECT_EQ(editorText(eq, EQ::kFreqA, 0.0f), "20 Hz");
    EXPECT_NEAR(eq::frequencyHz(parsed(eq, EQ::kFreqA, "1.5k")), 1500.0, 0.1);
    EXPECT_NEAR(eq::frequencyHz(parsed(eq, EQ::kFreqA, "2kHz")), 2000.0, 0.1);
    EXPECT_NEAR(eq::frequencyHz(parsed(eq, EQ::kFreqB, "440")), 440.0, 0.05);
    EXPECT_NEAR(parsed(eq, EQ::kFreqA, "50000"), 1.0f, 1e-6);
    EXPECT_NEAR(parsed(eq, EQ::kFreqA, "3"), 0.0f, 1e-6);
    float untouched = 0.25f;
    EXPECT_FALSE(eq.parseEditorValue(EQ::kFreqA, "loud", untouched, 0));
    EXPECT_EQ(untouched, 0.25f);

    // Gains: "%.0fdB", limited to +-24.
    EXPECT_EQ(editorText(eq, EQ::kGainA, 1.0f), "24dB");
    EXPECT_EQ(editorText(eq, EQ::kGainA, 0.25f), "-12dB");
    EXPECT_FLOAT_EQ(parsed(eq, EQ::kGainA, "30"), 1.0f);
    EXPECT_FLOAT_EQ(parsed(eq, EQ::kGainB, "-6"), 0.375f);
    EXPECT_FLOAT_EQ(parsed(eq, EQ::kGainB, "-oo"), 0.0f);

    // Morph: ratio for the host, percent in the editor.
    eq.setParameter(EQ::kMorph, 0.3f);
    EXPECT_EQ(display(eq, EQ::kMorph), "70:30");
    EXPECT_EQ(editorText(eq, EQ::kMorph, 0.3f), "30.0");
    EXPECT_FLOAT_EQ(parsed(eq, EQ::kMorph, "150"), 1.0f);
    EXPECT_FLOAT_EQ(parsed(eq, EQ::kMorph, "-3"), 0.0f);
    EXPECT_FLOAT_EQ(parsed(eq, EQ::kMorph, "45"), 0.45f);
}

TEST(Eq, StaysFiniteAtExtremesAt8kAnd192kHz) {
    for (float rate : {8000.0f, 192000.0f}) {
        EQ eq(0, nullptr);
        expectFiniteUnderAbuse(eq, rate, {EQ::kFreqA, EQ::kQB, EQ::kGainA, EQ::kMorph}, [](Operator& op, int step) {
            op.setParameter(EQ::kTypeA, typeValue(step % 3));
            op.setParameter(EQ::kTypeB, typeValue((step / 3) % 3));
            op.setParameter(EQ::kFreqA, step % 2 ? 1.0f : 0.0f);
            op.setParameter(EQ::kFreqB, step % 4 < 2 ? 1.0f : 0.0f);
            op.setParameter(EQ::kQA, step % 5 < 2 ? 1.0f : 0.0f);
            op.setParameter(EQ::kQB, 1.0f);
            op.setParameter(EQ::kGainA, 1.0f);
            op.setParameter(EQ::kGainB, step % 2 ? 0.0f : 1.0f);
        });
    }
}

// --- Formant ------------------------------------------------------------------------

TEST(Formant, FirstFormantHalfwayBetweenAAndIRingsAt505Hz) {
    // Long after an impulse only the narrowest resonance is left: a damped
    // sine at the first formant's frequency, decaying at its pole radius.
    const double rate = 44100.0;
    auto formant = prepared<Formant>(44100.0f, {{Formant::kVowelA, vowelValue(0)}, {Formant::kVowelB, vowelValue(2)},
                                                {Formant::kMorph, 0.5f}});
    StereoBuffer s = impulse(5000);
    runOperator(*formant, s, {});
    const std::vector<float>& y = s.left;
    // Ringing frequency from the first and last zero crossing in the tail.
    double firstCrossing = 0.0, lastCrossing = 0.0;
    int crossings = 0;
    for (size_t n = 1500; n < 4500; ++n)
        if ((y[n - 1] < 0.0f) != (y[n] < 0.0f)) {
            double t = double(n - 1) + y[n - 1] / (double(y[n - 1]) - y[n]);
            if (crossings++ == 0) firstCrossing = t;
            lastCrossing = t;
        }
    ASSERT_GT(crossings, 20);
    double ringHz = (crossings - 1) / 2.0 / ((lastCrossing - firstCrossing) / rate);
    EXPECT_NEAR(ringHz, 505.0, 0.5);
    // Decay per sample: the mean of the radii of 130 Hz and 45 Hz bandwidth.
    double expectedRadius = (std::exp(-kPi * 130.0 / rate) + std::exp(-kPi * 45.0 / rate)) / 2.0;
    double early = rms(y, 1500, 2500), late = rms(y, 3500, 4500);
    double radius = std::pow(late / early, 1.0 / 2000.0);
    EXPECT_NEAR(radius, expectedRadius, 2e-5);
}

TEST(Formant, ConstantInputPassesUnchangedOnceSettled) {
    for (int vowel = 0; vowel < Formant::kNumVowels; ++vowel) {
        auto formant = prepared<Formant>(48000.0f, {{Formant::kVowelA, vowelValue(vowel)},
                                                    {Formant::kVowelB, vowelValue(4 - vowel)}, {Formant::kMorph, 0.3f}});
        StereoBuffer s(9600);
        std::fill(s.left.begin(), s.left.end(), 0.5f);
        std::fill(s.right.begin(), s.right.end(), -0.25f);
        runOperator(*formant, s);
        EXPECT_NEAR(s.left.back(), 0.5f, 1e-6) << "vowel " << vowel;
        EXPECT_NEAR(s.right.back(), -0.25f, 1e-6) << "vowel " << vowel;
    }
}

TEST(Formant, MorphOneWithEqualVowelsSoundsLikeMorphZero) {
    const StereoBuffer source = stereoNoise(4096, 1.0);
    auto run = [&](float morph) {
        auto formant = prepared<Formant>(44100.0f, {{Formant::kVowelA, vowelValue(3)},
                                                    {Formant::kVowelB, vowelValue(3)}, {Formant::kMorph, morph}});
        StereoBuffer s = source;
        runOperator(*formant, s);
        return s;
    };
    StereoBuffer zero = run(0.0f), one = run(1.0f);
    EXPECT_EQ(zero.left, one.left);
    EXPECT_EQ(zero.right, one.right);
}

TEST(Formant, ChannelsAreIndependent) {
    // A right-only signal leaves the left silent...
    auto formant = prepared<Formant>(44100.0f, {{Formant::kVowelB, vowelValue(2)}, {Formant::kMorph, 0.5f}});
    StereoBuffer s = stereoNoise(4096, 1.0);
    std::fill(s.left.begin(), s.left.end(), 0.0f);
    runOperator(*formant, s);
    EXPECT_EQ(peak(s.left), 0.0);
    EXPECT_GT(rms(s.right), 0.01);
    // ...and a morph modulation on the right retunes only the right.
    const StereoBuffer source = stereoNoise(4096, 1.0);
    auto run = [&](const std::vector<TickModulation>& modulation) {
        auto f = prepared<Formant>(44100.0f, {{Formant::kVowelB, vowelValue(2)}});
        StereoBuffer out = source;
        runOperator(*f, out, modulation);
        return out;
    };
    StereoBuffer plain = run({}), modulated = run({{Formant::kMorph, 0.0f, 0.8f}});
    EXPECT_EQ(plain.left, modulated.left);
    EXPECT_NE(plain.right, modulated.right);
}

TEST(Formant, ParameterTexts) {
    Formant formant(0, nullptr);
    char text[kTextSize];
    formant.getTypeName(text);
    EXPECT_STREQ(text, "FORMANT");
    EXPECT_EQ(formant.getNumParameters(), 3);
    const char* names[] = {"morph", "vowelA", "vowelB", "---"};
    for (int i = 0; i < 4; ++i) {
        formant.getParameterName(i, text);
        EXPECT_STREQ(text, names[i]);
        EXPECT_EQ(formant.isModulatable(i), i == 0);
    }
    formant.getParameterLabel(Formant::kMorph, text);
    EXPECT_STREQ(text, "%");
    formant.getParameterLabel(Formant::kVowelA, text);
    EXPECT_STREQ(text, "");
    EXPECT_FLOAT_EQ(formant.getParameterDefault(Formant::kVowelA), 0.1f);
    EXPECT_EQ(display(formant, Formant::kVowelA), "A");
    formant.setParameter(Formant::kVowelA, vowelValue(4));
    EXPECT_EQ(display(formant, Formant::kVowelA), "Y");
    formant.setParameter(Formant::kVowelB, 1.0f);
    EXPECT_EQ(display(formant, Formant::kVowelB), "Y");
    EXPECT_EQ(editorText(formant, Formant::kVowelB, vowelValue(1)), "E");
    EXPECT_NEAR(parsed(formant, Formant::kVowelA, "o"), vowelValue(3), 1e-7);
    formant.setParameter(Formant::kMorph, 0.255f);
    EXPECT_EQ(display(formant, Formant::kMorph), "75:25");
    EXPECT_EQ(editorText(formant, Formant::kMorph, 0.255f), "25.5");
    EXPECT_FLOAT_EQ(parsed(formant, Formant::kMorph, "120"), 1.0f);
    EXPECT_EQ(display(formant, 3), "---");
}

TEST(Formant, StaysFiniteAtExtremesAt8kAnd192kHz) {
    for (float rate : {8000.0f, 192000.0f}) {
        Formant formant(0, nullptr);
        expectFiniteUnderAbuse(formant, rate, {Formant::kMorph}, [](Operator& op, int step) {
            op.setParameter(Formant::kVowelA, vowelValue(step % 5));
            op.setParameter(Formant::kVowelB, vowelValue((step * 3) % 5));
        });
    }
}

// --- Phaser -------------------------------------------------------------------------

TEST(Phaser, DepthZeroIsTransparentWhateverTheOtherSettings) {
    const StereoBuffer source = stereoNoise(8192, 1.0);
    for (float fb : {0.0f, 1.0f})
        for (float loop : {0.0f, 1.0f}) {
            auto phaser = prepared<Phaser>(44100.0f, {{Phaser::kStageFeedback, fb}, {Phaser::kOverallFeedback, loop},
                                                      {Phaser::kStages, stagesValue(16)}});
            StereoBuffer s = source;
            runOperator(*phaser, s);
            EXPECT_EQ(s.left, source.left);
            EXPECT_EQ(s.right, source.right);
        }
}

TEST(Phaser, OneStageImpulseResponseShowsItsCoefficient) {
    // Dry plus one all-pass stage: 1 - a, then (1 - a²)·a^(n-1).
    for (auto [fb, expected] : {std::pair{0.0f, 0.99007}, std::pair{1.0f, 0.8522}}) {
        auto phaser = prepared<Phaser>(44100.0f, {{Phaser::kStageFeedback, fb}, {Phaser::kDepth, 1.0f},
                                                  {Phaser::kStages, stagesValue(1)}});
        StereoBuffer s = impulse(64);
        runOperator(*phaser, s);
        EXPECT_NEAR(1.0 - s.left[0], expected, 5e-5);
        EXPECT_NEAR(s.left[1], 1.0 - expected * expected, 2e-4);
        EXPECT_NEAR(s.left[10] / s.left[9], expected, 5e-5);
    }
}

TEST(Phaser, StagesSetTheChainLength) {
    // The all-pass chain delays DC by (1 + a) / (1 - a) samples per stage:
    // 12.52 at "stage fb" 100 % and 44.1 kHz. The delay is the centroid of the
    // wet impulse response.
    Phaser defaults(0, nullptr);
    EXPECT_EQ(display(defaults, Phaser::kStages), "8");
    const double perStage = (1.0 + 0.8522) / (1.0 - 0.8522);
    for (int stages : {0, 3, 8, 16}) {
        auto phaser = prepared<Phaser>(44100.0f, {{Phaser::kStageFeedback, 1.0f}, {Phaser::kDepth, 1.0f}});
        if (stages) phaser->setParameter(Phaser::kStages, stagesValue(stages));
        phaser->setSampleRate(44100.0f);
        StereoBuffer s = impulse(4096);
        runOperator(*phaser, s);
        s.left[0] -= 1.0f;  // the dry part
        double sum = 0.0, moment = 0.0;
        for (size_t n = 0; n < s.size(); ++n) {
            sum += s.left[n];
            moment += double(n) * s.left[n];
        }
        int expectedStages = stages ? stages : 8;
        EXPECT_NEAR(sum, 1.0, 1e-3);
        EXPECT_NEAR(moment / sum, expectedStages * perStage, 0.05 * expectedStages) << stages;
    }
}

TEST(Phaser, FullLoopFeedbackRecirculatesWithoutDecay) {
    auto phaser = prepared<Phaser>(44100.0f, {{Phaser::kStageFeedback, 0.5f}, {Phaser::kOverallFeedback, 1.0f},
                                              {Phaser::kDepth, 1.0f}, {Phaser::kStages, stagesValue(4)}});
    StereoBuffer s = impulse(44100);
    runOperator(*phaser, s);
    double early = rms(s.left, 10000, 20000), late = rms(s.left, 30000, 40000);
    EXPECT_GT(early, 0.01);
    EXPECT_NEAR(late / early, 1.0, 0.05);
}

TEST(Phaser, LoopFeedbackAtFullCannotGrowWithoutBound) {
    // At 100 % loop feedback the chain integrates: a constant input would
    // ramp up forever. The loop signal is held within +-1000.
    auto phaser = prepared<Phaser>(44100.0f, {{Phaser::kOverallFeedback, 1.0f}, {Phaser::kDepth, 1.0f},
                                              {Phaser::kStages, stagesValue(16)}});
    StereoBuffer s(441000);
    std::fill(s.left.begin(), s.left.end(), 1.0f);
    std::fill(s.right.begin(), s.right.end(), -1.0f);
    runOperator(*phaser, s);
    EXPECT_GT(peak(s.left), 100.0);  // it does build up...
    EXPECT_LT(peak(s.left), 1100.0);  // ...to the limit and no further
    EXPECT_LT(peak(s.right), 1100.0);
}

TEST(Phaser, ModulationReachingOnlyTheRightChannelChangesOnlyTheRight) {
    const StereoBuffer source = stereoNoise(4096, 1.0);
    auto run = [&](const std::vector<TickModulation>& modulation) {
        auto phaser = prepared<Phaser>(44100.0f, {{Phaser::kDepth, 0.8f}, {Phaser::kOverallFeedback, 0.5f}});
        StereoBuffer s = source;
        runOperator(*phaser, s, modulation);
        return s;
    };
    StereoBuffer plain = run({});
    StereoBuffer modulated = run({{Phaser::kStageFeedback, 0.0f, 0.7f}, {Phaser::kOverallFeedback, 0.0f, -0.5f}});
    EXPECT_EQ(plain.left, modulated.left);
    EXPECT_NE(plain.right, modulated.right);
}

TEST(Phaser, ParameterTexts) {
    Phaser phaser(0, nullptr);
    char text[kTextSize];
    phaser.getTypeName(text);
    EXPECT_STREQ(text, "PHASER");
    EXPECT_EQ(phaser.getNumParameters(), 4);
    const char* names[] = {"stage fb", "overallfb", "depth", "stages", "---"};
    const char* titles[] = {"feedback", "overall feedback", "depth", "order", ""};
    for (int i = 0; i < 5; ++i) {
        phaser.getParameterName(i, text);
        EXPECT_STREQ(text, names[i]);
        phaser.getParameterTitle(i, text);
        EXPECT_STREQ(text, titles[i]);
        EXPECT_EQ(phaser.isModulatable(i), i < 3);
    }
    phaser.getParameterLabel(Phaser::kDepth, text);
    EXPECT_STREQ(text, "%");
    phaser.getParameterLabel(Phaser::kStages, text);
    EXPECT_STREQ(text, "");
    EXPECT_FLOAT_EQ(phaser.getParameterDefault(Phaser::kStages), 0.46875f);
    phaser.setParameter(Phaser::kDepth, 0.426f);
    EXPECT_EQ(display(phaser, Phaser::kDepth), "43");
    EXPECT_EQ(editorText(phaser, Phaser::kDepth, 0.426f), "42.6 %");
    EXPECT_FLOAT_EQ(parsed(phaser, Phaser::kOverallFeedback, "150"), 1.0f);
    EXPECT_FLOAT_EQ(parsed(phaser, Phaser::kStageFeedback, "-20"), 0.0f);
    EXPECT_FLOAT_EQ(parsed(phaser, Phaser::kDepth, "25"), 0.25f);
    EXPECT_EQ(editorText(phaser, Phaser::kStages, 1.0f), "16");
    EXPECT_EQ(Phaser::stagesOf(parsed(phaser, Phaser::kStages, "12")), 12);
    EXPECT_EQ(Phaser::stagesOf(parsed(phaser, Phaser::kStages, "40")), 16);
    EXPECT_EQ(display(phaser, 4), "---");
}

TEST(Phaser, StaysFiniteAtExtremesAt8kAnd192kHz) {
    for (float rate : {8000.0f, 192000.0f}) {
        Phaser phaser(0, nullptr);
        expectFiniteUnderAbuse(phaser, rate, {Phaser::kStageFeedback, Phaser::kDepth}, [](Operator& op, int step) {
            op.setParameter(Phaser::kStages, stagesValue(step % 2 ? 16 : 1 + step % 7));
            op.setParameter(Phaser::kOverallFeedback, step % 3 ? 1.0f : 0.9f);
            op.setParameter(Phaser::kStageFeedback, step % 2 ? 1.0f : 0.0f);
            op.setParameter(Phaser::kDepth, 1.0f);
        });
    }
}

// --- type table --------------------------------------------------------------------

TEST(FiltersBTypes, FactoryBuildsEachOperator) {
    char text[kTextSize];
    for (auto [type, label] : {std::pair{kOpEq, "EQ"}, std::pair{kOpPhaser, "PHASER"}, std::pair{kOpFormant, "FORMANT"}}) {
        auto op = createOperator(type, 2, nullptr);
        op->getTypeName(text);
        EXPECT_STREQ(text, label);
        EXPECT_STREQ(text, operatorTypeLabel(type));
    }
}
