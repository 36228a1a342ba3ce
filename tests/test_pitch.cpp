// Pitch shifter: latency and level at unity, measured frequency ratios,
// channel separation, restarts, both builds of the spectral step, texts.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "ModuleHarness.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"
#include "operators/Pitch.h"

using namespace vh;
using namespace vh::test;

namespace {

float semitoneValue(int s) { return discreteValue(s + 12, 25); }

std::unique_ptr<Pitch> makePitch(float rate, int semitones = 0, int resolution = Pitch::kHighest,
                                 Pitch::SpectralPath path = Pitch::SpectralPath::automatic) {
    auto p = std::make_unique<Pitch>(0, nullptr, path);
    p->setParameter(Pitch::kSemitones, semitoneValue(semitones));
    p->setParameter(Pitch::kResolution, discreteValue(resolution, 3));
    p->setSampleRate(rate);
    return p;
}

// Frequency from the rising zero crossings (linearly interpolated) of
// s[begin, end).
double measuredFrequency(const std::vector<float>& s, double rate, size_t begin, size_t end) {
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = begin + 1; i < end; ++i) {
        if (s[i - 1] < 0.0f && s[i] >= 0.0f) {
            const double t = double(i - 1) + s[i - 1] / double(s[i - 1] - s[i]);
            if (first < 0.0) first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0.0;
}

// Lag of the largest cross-correlation between x and y (y lagging x),
// searched within lo..hi, summed over x[begin, begin + length).
int bestLag(const std::vector<float>& x, const std::vector<float>& y, int lo, int hi, size_t begin, size_t length) {
    int best = lo;
    double bestValue = -1e300;
    for (int lag = lo; lag <= hi; ++lag) {
        double c = 0.0;
        for (size_t i = begin; i < begin + length && i + size_t(lag) < y.size(); ++i) c += double(x[i]) * y[i + lag];
        if (c > bestValue) {
            bestValue = c;
            best = lag;
        }
    }
    return best;
}

}  // namespace

TEST(Pitch, FrameSizesFollowRateAndResolution) {
    EXPECT_EQ(Pitch::frameSizeFor(44100.0f, Pitch::kStd), 512);
    EXPECT_EQ(Pitch::frameSizeFor(44100.0f, Pitch::kHigh), 1024);
    EXPECT_EQ(Pitch::frameSizeFor(44100.0f, Pitch::kHighest), 2048);
    EXPECT_EQ(Pitch::frameSizeFor(8000.0f, Pitch::kHighest), 2048);
    EXPECT_EQ(Pitch::frameSizeFor(96000.0f, Pitch::kStd), 1024);
    EXPECT_EQ(Pitch::frameSizeFor(96000.0f, Pitch::kHighest), 4096);
    EXPECT_EQ(Pitch::frameSizeFor(192000.0f, Pitch::kStd), 2048);
    EXPECT_EQ(Pitch::frameSizeFor(192000.0f, Pitch::kHigh), 4096);
    EXPECT_EQ(Pitch::frameSizeFor(384000.0f, Pitch::kHighest), 4096);
}

// At the defaults every bin maps onto itself: the output is the input
// delayed by one frame less one sample. A broadband signal correlates best at
// exactly that latency. A tone keeps its level (measured within 0.25 dB at
// 8..192 kHz); what differs from the delayed input comes from the fast
// arctangent's phase error (up to 0.07 rad), measured at -27..-35 dB, so the
// bounds are 0.3 dB and -22 dB.
class PitchRates : public ::testing::TestWithParam<float> {};

TEST_P(PitchRates, UnityIsADelayOfOneFrame) {
    const float rate = GetParam();
    for (int resolution = 0; resolution < 3; ++resolution) {
        auto p = makePitch(rate, 0, resolution);
        const int latency = p->latencySamples();
        EXPECT_EQ(latency, Pitch::frameSizeFor(rate, resolution) - 1);

        // White noise correlates with itself only at lag 0, so the output
        // correlates with the input only at the delay.
        const size_t n = size_t(latency) * 3 + 4096;
        StereoBuffer s;
        s.left = noise(n, 0.5, 3);
        s.right = noise(n, 0.5, 4);
        const StereoBuffer in = s;
        runOperator(*p, s);
        const int lo = latency / 2, hi = latency + latency / 2;
        EXPECT_EQ(bestLag(in.left, s.left, lo, hi, size_t(latency), 4096), latency) << resolution;
        EXPECT_EQ(bestLag(in.right, s.right, lo, hi, size_t(latency), 4096), latency) << resolution;

        auto q = makePitch(rate, 0, resolution);
        const double freq = 1000.0;
        StereoBuffer tone = stereoSine(freq, rate, n, 0.5);
        runOperator(*q, tone);
        const double gain = amplitudeAt(tone.left, freq, rate, 2 * latency, n) / 0.5;
        EXPECT_NEAR(toDb(gain), 0.0, 0.3) << resolution;
        const std::vector<float> source = sine(freq, rate, n, 0.5);
        double residue = 0.0, power = 0.0;
        for (size_t i = 2 * size_t(latency); i < n; ++i) {
            const double d = tone.left[i] - source[i - size_t(latency)];
            residue += d * d;
            power += double(source[i]) * source[i];
        }
        EXPECT_LT(10.0 * std::log10(residue / power), -22.0) << resolution;
    }
}

TEST_P(PitchRates, StaysFiniteWithLoudNoiseAtEveryExtreme) {
    const float rate = GetParam();
    const float extremes[][3] = {{0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}, {0.5f, 0.5f, 0.5f}, {1.0f, 0.0f, 1.0f}};
    for (int resolution = 0; resolution < 3; resolution += 2) {
        for (const auto& e : extremes) {
            auto p = makePitch(rate, 0, resolution);
            for (int i = 0; i < 3; ++i) p->setParameter(i, e[i]);
            StereoBuffer s;
            s.left = noise(8192, 10.0, 5);
            s.right = noise(8192, 10.0, 6);
            runOperator(*p, s);
            ASSERT_TRUE(allFinite(s.left));
            ASSERT_TRUE(allFinite(s.right));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pitch, PitchRates, ::testing::Values(8000.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f));

// The frequency of a shifted sine is the input frequency times the ratio: the
// vocoder reproduces each bin's measured phase advance scaled by the ratio,
// and the arctangent's errors telescope over the hops, so the long-run
// frequency is exact up to rounding. Counting zero crossings over 0.7 s
// resolves about 0.05%; 0.2% leaves room for the window edges.
TEST(Pitch, SemitonesShiftTheFrequencyByTheirRatio) {
    const double rate = 44100.0, freq = 440.0;
    for (int semitones : {12, -12, 7, -5}) {
        auto p = makePitch(float(rate), semitones);
        const size_t n = 44100;
        StereoBuffer s = stereoSine(freq, rate, n, 0.5);
        runOperator(*p, s);
        const double expected = freq * std::pow(2.0, semitones / 12.0);
        const double measured = measuredFrequency(s.left, rate, 8192, n);
        EXPECT_NEAR(measured / expected, 1.0, 0.002) << semitones;
        EXPECT_NEAR(measuredFrequency(s.right, rate, 8192, n) / expected, 1.0, 0.002) << semitones;
        // The output is a clean tone: nearly all its power is at the new
        // frequency, none left at the old one. Without phase locking between
        // neighbouring bins the level of a shifted tone changes with the
        // ratio (measured -5 dB at +12, -6 dB at +7, +1.2 dB at -12).
        const double amplitude = amplitudeAt(s.left, expected, rate, 8192, n);
        EXPECT_GT(amplitude, 0.95 * std::sqrt(2.0) * rms(s.left, 8192, n)) << semitones;
        EXPECT_GT(amplitude, 0.2) << semitones;
        EXPECT_LT(amplitudeAt(s.left, freq, rate, 8192, n), 0.01) << semitones;
    }
}

// semitones -12 and tune -12: ratio 1/4, four source bins per target. The
// outer bins of a tone's main lobe alias their frequency by four bins; when
// the last of them set the target's frequency, 880 Hz came out at 241 Hz.
TEST(Pitch, twoOctavesDownDoesNotTakeTheAliasedFrequencyOfOuterLobeBins) {
    const double rate = 44100.0;
    for (double freq : {880.0, 1000.0, 1234.0}) {
        auto p = makePitch(float(rate), -12);
        p->setParameter(Pitch::kTune, 0.0f);
        p->setSampleRate(float(rate));
        StereoBuffer s = stereoSine(freq, rate, 44100, 0.5);
        runOperator(*p, s);
        EXPECT_NEAR(measuredFrequency(s.left, rate, 8192, 44100) / (freq / 4.0), 1.0, 0.002) << freq;
    }
}

// At +12 a partial above a quarter of the rate would land above Nyquist: it
// is dropped, not folded back.
TEST(Pitch, PartialsShiftedAboveNyquistAreDropped) {
    const double rate = 44100.0;
    auto p = makePitch(float(rate), 12);
    StereoBuffer s = stereoSine(13000.0, rate, 16384, 0.5);
    runOperator(*p, s);
    EXPECT_LT(rms(s.left, 8192, 16384), 0.005);
}

// The modulated semitone value is quantised, and only the left modulation
// sets the ratio for both channels.
TEST(Pitch, SemitoneModulationIsQuantisedAndFollowsTheLeftAmount) {
    const double rate = 44100.0, freq = 440.0;
    auto p = makePitch(float(rate));
    StereoBuffer s = stereoSine(freq, rate, 44100, 0.5);
    runOperator(*p, s, {{Pitch::kSemitones, 0.25f, 0.0f}});  // 0.75 -> step 18 -> +6
    const double expected = freq * std::pow(2.0, 6.0 / 12.0);
    EXPECT_NEAR(measuredFrequency(s.left, rate, 8192, 44100) / expected, 1.0, 0.002);
    EXPECT_NEAR(measuredFrequency(s.right, rate, 8192, 44100) / expected, 1.0, 0.002);
}

TEST(Pitch, CentsAndTuneAddToTheSemitones) {
    const double rate = 44100.0, freq = 440.0;
    auto p = makePitch(float(rate), 2);
    p->setParameter(Pitch::kCents, 0.75f);  // +25 cents
    p->setParameter(Pitch::kTune, 0.5f + 3.0f / 24.0f);  // +3 semitones
    p->setSampleRate(float(rate));
    EXPECT_NEAR(Pitch::ratioOf(semitoneValue(2), 0.75f, 0.625f), std::pow(2.0, 5.25 / 12.0), 1e-5);
    StereoBuffer s = stereoSine(freq, rate, 44100, 0.5);
    runOperator(*p, s);
    EXPECT_NEAR(measuredFrequency(s.left, rate, 8192, 44100) / (freq * std::pow(2.0, 5.25 / 12.0)), 1.0, 0.002);
}

TEST(Pitch, LeftAndRightStaySeparate) {
    const double rate = 44100.0;
    auto p = makePitch(float(rate), 12);
    const size_t n = 32768;
    StereoBuffer s(n);
    s.left = sine(300.0, rate, n, 0.5);  // right channel silent
    runOperator(*p, s);
    EXPECT_GT(amplitudeAt(s.left, 600.0, rate, 8192, n), 0.3);
    EXPECT_EQ(peak(s.right), 0.0);

    auto q = makePitch(float(rate), -12);
    StereoBuffer t(n);
    t.left = sine(500.0, rate, n, 0.5);
    t.right = sine(1200.0, rate, n, 0.5);
    runOperator(*q, t);
    EXPECT_GT(amplitudeAt(t.left, 250.0, rate, 8192, n), 0.3);
    EXPECT_LT(amplitudeAt(t.left, 600.0, rate, 8192, n), 0.003);
    EXPECT_GT(amplitudeAt(t.right, 600.0, rate, 8192, n), 0.3);
    EXPECT_LT(amplitudeAt(t.right, 250.0, rate, 8192, n), 0.003);
}

// A resolution change restarts from silence: with silence after it, nothing
// of the earlier signal comes out. A semitone change keeps the frames, so the
// tail of the earlier signal still plays out.
TEST(Pitch, ResolutionChangeClearsStateButSemitoneChangeDoesNot) {
    const double rate = 44100.0;
    for (bool changeResolution : {true, false}) {
        auto p = makePitch(float(rate));
        StereoBuffer s = stereoSine(440.0, rate, 8192, 0.5);
        int counter = 0;
        runOperator(*p, s, {}, &counter);
        if (changeResolution)
            p->setParameter(Pitch::kResolution, discreteValue(Pitch::kStd, 3));
        else
            p->setParameter(Pitch::kSemitones, semitoneValue(5));
        StereoBuffer silence(4096);
        runOperator(*p, silence, {}, &counter);
        // The change takes effect at the first tick (sample 31 of this run).
        const double tail = peak(silence.left, 32, 4096);
        if (changeResolution) {
            EXPECT_EQ(p->frameSize(), 512);
            EXPECT_EQ(tail, 0.0);
            EXPECT_EQ(peak(silence.right, 32, 4096), 0.0);
        } else {
            EXPECT_EQ(p->frameSize(), 2048);
            EXPECT_GT(tail, 0.1);
        }
    }
}

// Frames grow and shrink with the rate; every size must stay inside the
// buffers allocated for it (the sanitiser build watches the accesses).
TEST(Pitch, rateChangesResizeTheFramesWithoutReadingOutsideThem) {
    auto p = makePitch(44100.0f, 5);
    for (float rate : {192000.0f, 8000.0f, 96000.0f, 44100.0f}) {
        p->setSampleRate(rate);
        EXPECT_EQ(p->frameSize(), Pitch::frameSizeFor(rate, Pitch::kHighest));
        StereoBuffer s;
        s.left = noise(6000, 1.0, 9);
        s.right = noise(6000, 1.0, 10);
        runOperator(*p, s);
        ASSERT_TRUE(allFinite(s.left));
        ASSERT_TRUE(allFinite(s.right));
    }
}

TEST(Pitch, ClearStateSilencesTheFrames) {
    auto p = makePitch(48000.0f, 3);
    StereoBuffer s = stereoSine(440.0, 48000.0, 8192, 0.5);
    runOperator(*p, s);
    p->clearState();
    StereoBuffer silence(8192);
    runOperator(*p, silence);
    EXPECT_EQ(peak(silence.left), 0.0);
}

// The transform returns DC and Nyquist at twice the weight of the other bins;
// without compensation a DC offset would come out doubled at unity.
TEST(Pitch, dcOffsetIsNotDoubledAtUnity) {
    auto p = makePitch(44100.0f);
    StereoBuffer s(16384);
    std::fill(s.left.begin(), s.left.end(), 0.25f);
    std::fill(s.right.begin(), s.right.end(), -0.25f);
    runOperator(*p, s);
    for (size_t i = 8192; i < s.size(); ++i) {
        ASSERT_NEAR(s.left[i], 0.25f, 0.01f) << i;
        ASSERT_NEAR(s.right[i], -0.25f, 0.01f) << i;
    }
}

// The vector build of the spectral step and the portable one do the same
// single-precision operations in the same order.
TEST(Pitch, VectorAndScalarBuildsGiveIdenticalResults) {
    for (float rate : {44100.0f, 96000.0f}) {
        auto vec = makePitch(rate, 7, Pitch::kHigh, Pitch::SpectralPath::vector);
        auto scalar = makePitch(rate, 7, Pitch::kHigh, Pitch::SpectralPath::scalar);
        EXPECT_TRUE(vec->usesVectorPath());
        EXPECT_FALSE(scalar->usesVectorPath());
        const std::vector<TickModulation> sweep = {{Pitch::kTune, 0.3f, 0.3f}, {Pitch::kCents, -0.2f, -0.2f}};
        StereoBuffer a;
        a.left = noise(12000, 2.0, 8);
        a.right = sine(700.0, rate, 12000, 0.8);
        StereoBuffer b = a;
        runOperator(*vec, a, sweep);
        runOperator(*scalar, b, sweep);
        EXPECT_EQ(std::memcmp(a.left.data(), b.left.data(), a.size() * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(a.right.data(), b.right.data(), a.size() * sizeof(float)), 0);
        EXPECT_GT(peak(a.left), 0.1);
    }
}

TEST(Pitch, ParametersAndTexts) {
    Pitch p(1, nullptr);
    char text[kTextSize];
    p.getTypeName(text);
    EXPECT_STREQ(text, "PITCH");
    EXPECT_EQ(p.getNumParameters(), 4);
    const char* names[] = {"semitones", "cents", "tune", "resolution"};
    for (int i = 0; i < 4; ++i) {
        p.getParameterName(i, text);
        EXPECT_STREQ(text, names[i]);
        p.getParameterLabel(i, text);
        EXPECT_STREQ(text, "");
        EXPECT_EQ(p.isModulatable(i), i < 3);
    }
    p.getParameterName(4, text);
    EXPECT_STREQ(text, "---");
    EXPECT_FLOAT_EQ(p.getParameterDefault(0), 0.5f);
    EXPECT_FLOAT_EQ(p.getParameterDefault(1), 0.5f);
    EXPECT_FLOAT_EQ(p.getParameterDefault(2), 0.5f);
    EXPECT_FLOAT_EQ(p.getParameterDefault(3), 2.5f / 3.0f);

    p.getParameterDisplay(0, text);
    EXPECT_STREQ(text, "0");
    p.getParameterDisplay(3, text);
    EXPECT_STREQ(text, "highest");
    p.setParameter(0, 1.0f);
    p.getParameterDisplay(0, text);
    EXPECT_STREQ(text, "12");
    p.setParameter(0, 0.0f);
    p.getParameterDisplay(0, text);
    EXPECT_STREQ(text, "-12");
    p.setParameter(1, 0.8f);
    p.getParameterDisplay(1, text);
    EXPECT_STREQ(text, "30");
    p.setParameter(2, 0.25f);
    p.getParameterDisplay(2, text);
    EXPECT_STREQ(text, "-6");
    p.setParameter(3, 0.0f);
    p.getParameterDisplay(3, text);
    EXPECT_STREQ(text, "std");

    p.formatEditorValue(2, 0.6f, text, 0);
    EXPECT_STREQ(text, "2.40");
    p.formatEditorValue(1, 0.25f, text, 0);
    EXPECT_STREQ(text, "-25");
    p.formatEditorValue(0, semitoneValue(-7), text, 0);
    EXPECT_STREQ(text, "-7");
    p.formatEditorValue(3, 0.5f, text, 0);
    EXPECT_STREQ(text, "high");
}

TEST(Pitch, EditorTextsParseBackAndClamp) {
    Pitch p(0, nullptr);
    float v = -1.0f;
    ASSERT_TRUE(p.parseEditorValue(0, "7.9", v, 0));  // integer part toward zero
    EXPECT_EQ(Pitch::semitonesOf(v), 7);
    EXPECT_FLOAT_EQ(v, 19.5f / 25.0f);
    ASSERT_TRUE(p.parseEditorValue(0, "-3.7", v, 0));
    EXPECT_EQ(Pitch::semitonesOf(v), -3);
    ASSERT_TRUE(p.parseEditorValue(0, "40", v, 0));
    EXPECT_EQ(Pitch::semitonesOf(v), 12);
    ASSERT_TRUE(p.parseEditorValue(0, "-40", v, 0));
    EXPECT_EQ(Pitch::semitonesOf(v), -12);
    ASSERT_TRUE(p.parseEditorValue(1, "25", v, 0));
    EXPECT_FLOAT_EQ(v, 0.75f);
    ASSERT_TRUE(p.parseEditorValue(1, "-80", v, 0));
    EXPECT_FLOAT_EQ(v, 0.0f);
    ASSERT_TRUE(p.parseEditorValue(2, "-6", v, 0));
    EXPECT_FLOAT_EQ(v, 0.25f);
    ASSERT_TRUE(p.parseEditorValue(2, "99", v, 0));
    EXPECT_FLOAT_EQ(v, 1.0f);
    ASSERT_TRUE(p.parseEditorValue(2, "nan", v, 0));
    EXPECT_FLOAT_EQ(v, 0.5f);
    ASSERT_TRUE(p.parseEditorValue(3, "HIGH", v, 0));
    EXPECT_EQ(Pitch::resolutionOf(v), Pitch::kHigh);
    EXPECT_FALSE(p.parseEditorValue(3, "ultra", v, 0));
    EXPECT_FALSE(p.parseEditorValue(4, "1", v, 0));

    // Editor text and parse agree across the range.
    char text[kTextSize];
    for (int s = -12; s <= 12; ++s) {
        p.formatEditorValue(0, semitoneValue(s), text, 0);
        ASSERT_TRUE(p.parseEditorValue(0, text, v, 0));
        EXPECT_EQ(Pitch::semitonesOf(v), s);
    }
}

TEST(Pitch, FactoryCreatesPitchForTypeTwelve) {
    auto op = createOperator(kOpPitch, 2, nullptr);
    char text[kTextSize];
    op->getTypeName(text);
    EXPECT_STREQ(text, "PITCH");
}
