// DelayLine, Comb and LoFi: delays, echoes, resonances and quantisation
// measured from the signals that come out.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "ModuleHarness.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"
#include "operators/Comb.h"
#include "operators/DelayLine.h"
#include "operators/LoFi.h"

using namespace vh;
using namespace vh::test;

namespace {

template <class Op>
std::unique_ptr<Op> prepared(std::initializer_list<std::pair<int, float>> params, float rate = 44100.0f,
                             ModuleHost* host = nullptr) {
    auto op = std::make_unique<Op>(1, host);
    for (auto [i, v] : params) op->setParameter(i, v);
    op->setSampleRate(rate);
    return op;
}

StereoBuffer impulse(size_t n, float left = 1.0f, float right = 1.0f) {
    StereoBuffer s(n);
    s.left[0] = left;
    s.right[0] = right;
    return s;
}

// Index of the largest magnitude in [begin, end).
size_t peakIndex(const std::vector<float>& s, size_t begin = 0, size_t end = 0) {
    if (end == 0 || end > s.size()) end = s.size();
    size_t best = begin;
    for (size_t i = begin; i < end; ++i)
        if (std::fabs(s[i]) > std::fabs(s[best])) best = i;
    return best;
}

// Normalised time-based value for a delay of `samples` at `rate`.
float timeValue(double samples, double rate) { return static_cast<float>(samples / (4.0 * rate)); }

std::string display(Operator& op, int index) {
    char text[kTextSize];
    op.getParameterDisplay(index, text);
    return text;
}
std::string editorText(Operator& op, int index, float v, int mode = 0) {
    char text[kTextSize];
    op.formatEditorValue(index, v, text, mode);
    return text;
}
float parsed(Operator& op, int index, const char* text, int mode = 0) {
    float v = -1.0f;
    EXPECT_TRUE(op.parseEditorValue(index, text, v, mode)) << text;
    return v;
}

constexpr float kTimeBased = 0.25f;  // "mode" item 0
constexpr float kTempoBased = 0.75f;
constexpr float kInterpOff = 1.0f / 6.0f, kInterpLinear = 0.5f, kInterpCubic = 5.0f / 6.0f;
constexpr float kAlign = 0.75f;

}  // namespace

// ---------------------------------------------------------------------------
// DelayLine

TEST(DelayLine, DefaultIsAQuarterNoteAt120Bpm) {
    auto delay = prepared<DelayLine>({});
    delay->setTempo(120.0f);
    StereoBuffer s = impulse(22100);
    runOperator(*delay, s);
    EXPECT_EQ(peakIndex(s.left), 22050u);
    EXPECT_EQ(peakIndex(s.right), 22050u);
    EXPECT_FLOAT_EQ(s.left[22050], 1.0f);
    EXPECT_EQ(rms(s.left, 0, 22050), 0.0);  // only the delayed signal comes out
}

TEST(DelayLine, TempoModeFollowsTheTempoAndStopsAtFourSeconds) {
    // "1/8" at 90 bpm: 240 / 90 / 8 s = 1/3 s.
    auto delay = prepared<DelayLine>({{DelayLine::kTimeL, discreteValue(6, 30)}});
    delay->setTempo(90.0f);
    StereoBuffer s = impulse(15000);
    runOperator(*delay, s);
    EXPECT_NEAR(double(peakIndex(s.left)), 44100.0 / 3.0, 1.0);

    // "8/1" at 60 bpm would be 32 s.
    auto longest = prepared<DelayLine>({{DelayLine::kTimeL, discreteValue(0, 30)}});
    longest->setTempo(60.0f);
    controlTick(*longest, {});
    longest->resetSmoothing();
    EXPECT_FLOAT_EQ(longest->delayLeft(), 4.0f * 44100.0f);
    EXPECT_FLOAT_EQ(longest->modulatedLeft(DelayLine::kTimeL), 1.0f);
}

TEST(DelayLine, TimeZeroDelaysByOneSample) {
    auto delay = prepared<DelayLine>({{DelayLine::kMode, kTimeBased}, {DelayLine::kTimeL, 0.0f}});
    StereoBuffer s = impulse(8);
    runOperator(*delay, s);
    EXPECT_FLOAT_EQ(s.left[0], 0.0f);
    EXPECT_FLOAT_EQ(s.left[1], 1.0f);
}

class DelayLineRates : public ::testing::TestWithParam<float> {};

TEST_P(DelayLineRates, TimeModeDelayIsTheSameInSecondsAtEveryRate) {
    float rate = GetParam();
    auto delay = prepared<DelayLine>({{DelayLine::kMode, kTimeBased}, {DelayLine::kTimeL, 0.025f},
                                      {DelayLine::kTimeR, 0.05f}},
                                     rate);
    size_t n = static_cast<size_t>(0.25 * rate);
    StereoBuffer s = impulse(n);
    runOperator(*delay, s);
    EXPECT_NEAR(peakIndex(s.left) / double(rate), 0.1, 1.0 / rate);
    EXPECT_NEAR(peakIndex(s.right) / double(rate), 0.2, 1.0 / rate);
}

TEST_P(DelayLineRates, WritePositionComesBackIntoRangeWhenTheRateDrops) {
    // Run a line long enough at the high rate that its write position lies
    // far beyond the length of the line at 8 kHz, then drop the rate.
    float rate = GetParam();
    auto delay = prepared<DelayLine>({{DelayLine::kMode, kTimeBased}, {DelayLine::kTimeL, timeValue(50, 8000)},
                                      {DelayLine::kTimeR, 1.0f}, {DelayLine::kFeedback, 1.0f},
                                      {DelayLine::kInterpolate, kInterpCubic}},
                                     rate);
    StereoBuffer warm(static_cast<size_t>(rate));
    warm.left = noise(warm.size());
    runOperator(*delay, warm);
    delay->setSampleRate(8000.0f);
    StereoBuffer s = impulse(8000 * 5);
    runOperator(*delay, s);
    EXPECT_EQ(peakIndex(s.left, 0, 75), 50u);
    EXPECT_EQ(peakIndex(s.right), 32000u);
    EXPECT_TRUE(allFinite(s.left));
}

INSTANTIATE_TEST_SUITE_P(DelayLine, DelayLineRates, ::testing::Values(44100.0f, 48000.0f, 96000.0f, 192000.0f));

TEST(DelayLine, FeedbackOneRepeatsWithoutDecayAndLessDecaysGeometrically) {
    for (float feedback : {1.0f, std::cbrt(0.5f)}) {
        float g = DelayLine::feedbackGain(feedback);
        auto delay = prepared<DelayLine>({{DelayLine::kMode, kTimeBased}, {DelayLine::kTimeL, timeValue(441, 44100)},
                                          {DelayLine::kTimeR, timeValue(441, 44100)}, {DelayLine::kFeedback, feedback}});
        StereoBuffer s = impulse(441 * 12);
        runOperator(*delay, s);
        for (int k = 1; k <= 10; ++k) {
            EXPECT_NEAR(s.left[441 * k], std::pow(g, k - 1), 1e-5) << "echo " << k << " g " << g;
            EXPECT_NEAR(s.left[441 * k + 3], 0.0f, 1e-6);
        }
    }
}

TEST(DelayLine, BothPansAtOnePingPongBetweenTheOutputs) {
    auto delay = prepared<DelayLine>({{DelayLine::kMode, kTimeBased}, {DelayLine::kTimeL, timeValue(300, 44100)},
                                      {DelayLine::kTimeR, timeValue(300, 44100)}, {DelayLine::kFeedback, std::cbrt(0.5f)},
                                      {DelayLine::kPanL, 1.0f}, {DelayLine::kPanR, 1.0f}});
    StereoBuffer s = impulse(300 * 7, 1.0f, 0.0f);  // left input only
    runOperator(*delay, s);
    for (int k = 1; k <= 6; ++k) {
        const auto& loud = (k % 2 == 1) ? s.right : s.left;
        const auto& quiet = (k % 2 == 1) ? s.left : s.right;
        EXPECT_NEAR(loud[300 * k], std::pow(0.5, k - 1), 1e-5) << "echo " << k;
        EXPECT_NEAR(quiet[300 * k], 0.0f, 1e-6) << "echo " << k;
    }
}

TEST(DelayLine, AlignMakesBothLoopsDecayAlikePerSecond) {
    // Left echoes every 0.4 s, right every 0.8 s; same nominal feedback 0.5.
    auto decayOver1600ms = [](float fbMode) {
        auto delay = prepared<DelayLine>({{DelayLine::kMode, kTimeBased}, {DelayLine::kTimeL, 0.1f},
                                          {DelayLine::kTimeR, 0.2f}, {DelayLine::kFeedback, std::cbrt(0.5f)},
                                          {DelayLine::kFeedbackMode, fbMode}},
                                         8000.0f);
        StereoBuffer s = impulse(8000 * 5 / 2);
        runOperator(*delay, s);
        double left = s.left[16000] / double(s.left[3200]);     // 0.4 s -> 2.0 s
        double right = s.right[19200] / double(s.right[6400]);  // 0.8 s -> 2.4 s
        return std::make_pair(left, right);
    };
    auto [leftAligned, rightAligned] = decayOver1600ms(kAlign);
    EXPECT_NEAR(leftAligned, 0.25, 1e-4);  // the left loop's gain was raised to sqrt(0.5)
    EXPECT_NEAR(rightAligned, 0.25, 1e-4);
    auto [leftIndependent, rightIndependent] = decayOver1600ms(0.25f);
    EXPECT_NEAR(leftIndependent, 0.0625, 1e-4);
    EXPECT_NEAR(rightIndependent, 0.25, 1e-4);
}

TEST(DelayLine, InterpolationQualityOnAFractionalDelayOfASine) {
    // 100.5 samples of a 2 kHz sine: error against the exactly delayed sine.
    const double rate = 44100.0, freq = 2000.0, delaySamples = 100.5;
    auto errorDb = [&](float interpolation) {
        auto delay = prepared<DelayLine>({{DelayLine::kMode, kTimeBased},
                                          {DelayLine::kTimeL, timeValue(delaySamples, rate)},
                                          {DelayLine::kInterpolate, interpolation}});
        size_t n = 4096;
        StereoBuffer s = stereoSine(freq, rate, n);
        runOperator(*delay, s);
        double actual = delay->delayLeft();
        EXPECT_NEAR(actual, delaySamples, 1e-3);
        std::vector<float> error(n - 200);
        for (size_t i = 200; i < n; ++i)
            error[i - 200] = s.left[i] - static_cast<float>(std::sin(2.0 * kPi * freq * (i - actual) / rate));
        return toDb(rms(error) * std::sqrt(2.0));
    };
    double off = errorDb(kInterpOff), linear = errorDb(kInterpLinear), cubic = errorDb(kInterpCubic);
    EXPECT_GT(off, -20.0);  // half a sample late: a phase error, clearly audible on a sum
    EXPECT_LT(linear, -35.0);
    EXPECT_GT(linear, -45.0);  // linear dulls the top: cos(pi f / fs) = -0.09 dB at 2 kHz
    EXPECT_LT(cubic, -55.0);
    EXPECT_LT(cubic, linear - 15.0);
}

TEST(DelayLine, TimeModulationMovesByTwentyMillisecondsPerFullAmount) {
    auto delay = prepared<DelayLine>({});  // tempo-based "1/4" at 120 bpm: 22050 samples
    controlTick(*delay, {{DelayLine::kTimeL, 1.0f, 1.0f}});
    delay->resetSmoothing();
    EXPECT_NEAR(delay->delayLeft(), 22050.0f + 882.0f, 0.05f);
    EXPECT_NEAR(delay->delayRight(), 22050.0f, 0.05f);
    controlTick(*delay, {{DelayLine::kTimeLR, -1.0f, -0.5f}});
    delay->resetSmoothing();
    EXPECT_NEAR(delay->delayLeft(), 22050.0f - 882.0f, 0.05f);
    EXPECT_NEAR(delay->delayRight(), 22050.0f - 441.0f, 0.05f);
    // Feedback and pan modulation are plain additions.
    controlTick(*delay, {{DelayLine::kPanL, 0.25f, 0.0f}});
    EXPECT_FLOAT_EQ(delay->modulatedLeft(DelayLine::kPanL), 0.25f);
}

TEST(DelayLine, TimeModulationBeyondFourSecondsStaysInsideTheRing) {
    // "time LR" adds to both times without clamping them; the delay must
    // still stop at the longest the line holds.
    auto delay = prepared<DelayLine>({{DelayLine::kMode, kTimeBased}, {DelayLine::kTimeL, 1.0f},
                                      {DelayLine::kTimeR, 1.0f}, {DelayLine::kInterpolate, kInterpCubic}},
                                     8000.0f);
    std::vector<TickModulation> push = {{DelayLine::kTimeLR, 3.0f, -400.0f}};
    StereoBuffer s(33000);
    s.left = noise(s.size(), 10.0);
    s.right = s.left;
    runOperator(*delay, s, push);
    EXPECT_FLOAT_EQ(delay->delayLeft(), 32000.0f);
    EXPECT_FLOAT_EQ(delay->delayRight(), 1.0f);
    EXPECT_TRUE(allFinite(s.left));
    EXPECT_TRUE(allFinite(s.right));
}

TEST(DelayLine, ModeSwitchConvertsBothTimesThroughTheHost) {
    RecordingHost host;
    auto delay = prepared<DelayLine>({{DelayLine::kTimeL, discreteValue(5, 30)}, {DelayLine::kTimeR, discreteValue(6, 30)}},
                                     44100.0f, &host);
    delay->setTempo(120.0f);
    const int base = param::opParam(1, 0);

    // Tempo to time: "1/4" = 0.5 s, "1/8" = 0.25 s, as fractions of 4 s.
    delay->valueChanged(DelayLine::kMode, kTimeBased);
    ASSERT_EQ(host.edits.size(), 3u);
    EXPECT_EQ(host.edits[0].index, base + DelayLine::kTimeL);
    EXPECT_FLOAT_EQ(host.edits[0].value, 0.125f);
    EXPECT_EQ(host.edits[1].index, base + DelayLine::kTimeR);
    EXPECT_FLOAT_EQ(host.edits[1].value, 0.0625f);
    EXPECT_EQ(host.edits[2].index, base + DelayLine::kMode);
    EXPECT_FLOAT_EQ(host.edits[2].value, kTimeBased);
    EXPECT_FLOAT_EQ(delay->getParameter(DelayLine::kMode), kTimeBased);  // stored at once

    // Time to tempo (a whole note lasts 2 s): 0.51 s is nearest "1/4",
    // 1.4 s nearest "2/3" (1.333 s).
    host.edits.clear();
    delay->setParameter(DelayLine::kTimeL, 0.51f / 4.0f);
    delay->setParameter(DelayLine::kTimeR, 1.4f / 4.0f);
    delay->valueChanged(DelayLine::kMode, kTempoBased);
    ASSERT_EQ(host.edits.size(), 3u);
    EXPECT_FLOAT_EQ(host.edits[0].value, discreteValue(5, 30));
    EXPECT_FLOAT_EQ(host.edits[1].value, discreteValue(23, 30));

    // Picking the mode already in force converts nothing; other controls
    // pass straight through.
    host.edits.clear();
    delay->valueChanged(DelayLine::kMode, 0.9f);
    delay->valueChanged(DelayLine::kFeedback, 0.3f);
    ASSERT_EQ(host.edits.size(), 2u);
    EXPECT_EQ(host.edits[0].index, base + DelayLine::kMode);
    EXPECT_EQ(host.edits[1].index, base + DelayLine::kFeedback);
}

TEST(DelayLine, ModeSwitchToTempoTakesTheEarlierNoteOnATie) {
    // 0.21875 s at 120 bpm lies exactly half-way between "1/8" (0.25 s,
    // item 6) and "3/32" (0.1875 s, item 17): the earlier item wins.
    RecordingHost host;
    auto delay = prepared<DelayLine>({{DelayLine::kMode, kTimeBased}, {DelayLine::kTimeL, 0.21875f / 4.0f},
                                      {DelayLine::kTimeR, 0.21875f / 4.0f}},
                                     44100.0f, &host);
    delay->setTempo(120.0f);
    delay->valueChanged(DelayLine::kMode, kTempoBased);
    ASSERT_EQ(host.edits.size(), 3u);
    EXPECT_FLOAT_EQ(host.edits[0].value, discreteValue(6, 30));
    EXPECT_FLOAT_EQ(host.edits[1].value, discreteValue(6, 30));
}

TEST(DelayLine, HostTextsAndDefaults) {
    auto delay = prepared<DelayLine>({});
    char text[kTextSize];
    const char* names[] = {"time L", "time R", "feedback", "mode", "interpolate", "time LR", "fb mode", "pan L", "pan R"};
    for (int i = 0; i < 9; ++i) {
        delay->getParameterName(i, text);
        EXPECT_STREQ(text, names[i]);
    }
    delay->getParameterName(9, text);
    EXPECT_STREQ(text, "---");
    EXPECT_EQ(delay->getNumParameters(), 9);
    delay->getTypeName(text);
    EXPECT_STREQ(text, "DELAY");
    EXPECT_FLOAT_EQ(delay->getParameterDefault(0), 0.18333334f);
    EXPECT_FLOAT_EQ(delay->getParameterDefault(3), 0.75f);
    EXPECT_FLOAT_EQ(delay->getParameterDefault(6), 0.25f);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(delay->isModulatable(i), i == 0 || i == 1 || i == 2 || i == 5 || i == 7 || i == 8) << i;

    // Tempo-based: whole notes, no unit.
    EXPECT_EQ(display(*delay, 0), "0.25");
    delay->getParameterLabel(0, text);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(display(*delay, 3), "tempo-based");
    EXPECT_EQ(display(*delay, 4), "linear");
    EXPECT_EQ(display(*delay, 6), "independent");
    EXPECT_EQ(display(*delay, 7), "L 100");
    EXPECT_EQ(display(*delay, 8), "R 100");
    EXPECT_EQ(display(*delay, 2), "-oo");
    delay->getParameterLabel(2, text);
    EXPECT_STREQ(text, "dB");

    // The time texts follow the mode as of the last update.
    delay->setParameter(DelayLine::kMode, kTimeBased);
    delay->setParameter(DelayLine::kTimeL, 0.1f);
    EXPECT_EQ(display(*delay, 0), "1.00");  // read as note value "1/1" until the next update
    delay->update();
    EXPECT_EQ(display(*delay, 0), "400");
    delay->getParameterLabel(0, text);
    EXPECT_STREQ(text, "ms");

    delay->setParameter(DelayLine::kFeedback, 1.0f);
    EXPECT_EQ(display(*delay, 2), "0");
    delay->setParameter(DelayLine::kPanL, 0.5f);
    EXPECT_EQ(display(*delay, 7), "CENTER");
    delay->setParameter(DelayLine::kPanR, 0.9f);  // p = 180
    EXPECT_EQ(display(*delay, 8), "L 080");

    // "time LR" carries modulation only.
    delay->setParameter(DelayLine::kTimeLR, 0.7f);
    EXPECT_EQ(delay->getParameter(DelayLine::kTimeLR), 0.0f);
    EXPECT_EQ(display(*delay, 5), "---");
    EXPECT_EQ(display(*delay, 12), "---");
}

TEST(DelayLine, EditorConversions) {
    auto delay = prepared<DelayLine>({});
    char text[kTextSize];
    delay->getParameterTitle(2, text);
    EXPECT_STREQ(text, "feedbck");
    delay->getParameterTitle(4, text);
    EXPECT_STREQ(text, "interpol");

    EXPECT_EQ(editorText(*delay, 0, 0.1f, DelayLine::kTimeBased), "400.0ms");
    EXPECT_EQ(editorText(*delay, 0, discreteValue(20, 30), DelayLine::kTempoBased), "16/3");
    EXPECT_EQ(editorText(*delay, 1, 1.0f, DelayLine::kTempoBased), "1/96");
    EXPECT_FLOAT_EQ(parsed(*delay, 0, "1/8", DelayLine::kTempoBased), discreteValue(6, 30));
    EXPECT_FLOAT_EQ(parsed(*delay, 0, "1/5", DelayLine::kTempoBased), discreteValue(3, 30));
    EXPECT_FLOAT_EQ(parsed(*delay, 0, "1000", DelayLine::kTimeBased), 0.25f);
    EXPECT_FLOAT_EQ(parsed(*delay, 0, "9000", DelayLine::kTimeBased), 1.0f);
    EXPECT_FLOAT_EQ(parsed(*delay, 0, "-5", DelayLine::kTimeBased), 0.0f);

    EXPECT_EQ(editorText(*delay, 2, 0.0f), "-oodB");
    EXPECT_EQ(editorText(*delay, 2, 1.0f), "0.0dB");
    EXPECT_EQ(editorText(*delay, 2, std::cbrt(0.5f)), "-6.0dB");
    EXPECT_FLOAT_EQ(parsed(*delay, 2, "-OO"), 0.0f);
    EXPECT_FLOAT_EQ(parsed(*delay, 2, "3"), 1.0f);
    EXPECT_FLOAT_EQ(parsed(*delay, 2, "-120"), 0.0f);
    EXPECT_NEAR(parsed(*delay, 2, "-6.0206"), std::cbrt(0.5f), 1e-5);

    EXPECT_EQ(editorText(*delay, 3, 0.2f), "time");
    EXPECT_EQ(editorText(*delay, 6, 0.8f), "align");
    EXPECT_EQ(editorText(*delay, 6, 0.2f), "indep");
    EXPECT_EQ(editorText(*delay, 4, 0.9f), "cubic");
    EXPECT_FLOAT_EQ(parsed(*delay, 4, "Cubic"), kInterpCubic);

    EXPECT_FLOAT_EQ(parsed(*delay, 7, "L:30"), 0.35f);
    EXPECT_FLOAT_EQ(parsed(*delay, 7, "r 30"), 0.65f);
    EXPECT_FLOAT_EQ(parsed(*delay, 7, "C"), 0.5f);
    EXPECT_FLOAT_EQ(parsed(*delay, 7, "L:250"), 0.0f);
    EXPECT_FLOAT_EQ(parsed(*delay, 8, "R:30"), 0.35f);
    EXPECT_FLOAT_EQ(parsed(*delay, 8, "L30"), 0.65f);
    EXPECT_EQ(editorText(*delay, 7, 0.35f), "L 030");
    float v = 0;
    EXPECT_FALSE(delay->parseEditorValue(9, "1", v, 0));
}

// ---------------------------------------------------------------------------
// The ring shared by the delay and the comb

namespace {
// Both channels of the ring at one delay; lanes 0 and 1 are left and right.
template <int Interpolation>
float readBoth(StereoDelayRing& ring, float delay, float* right = nullptr) {
    Vec4 y = ring.read<Interpolation>(Vec4(delay, delay, 0.0f, 0.0f));
    if (right) *right = y[1];
    return y[0];
}
void writeBoth(StereoDelayRing& ring, float left, float right) { ring.write(Vec4(left, right, 0.0f, 0.0f)); }
}  // namespace

TEST(DelayRing, DelayBelowOneSampleNeverReadsTheCellAboutToBeWritten) {
    StereoDelayRing ring;
    ring.allocate(8);
    for (int i = 1; i <= 20; ++i) writeBoth(ring, float(i), -float(i));  // last written: 20
    for (float delay : {0.0f, 0.25f, 0.999f, 1.0f}) {
        float right = 0.0f;
        EXPECT_FLOAT_EQ(readBoth<kInterpolationLinear>(ring, delay, &right), 20.0f) << delay;
        EXPECT_FLOAT_EQ(right, -20.0f) << delay;
        EXPECT_FLOAT_EQ(readBoth<kInterpolationCubic>(ring, delay, &right), 20.0f) << delay;
        EXPECT_FLOAT_EQ(right, -20.0f) << delay;
        EXPECT_FLOAT_EQ(readBoth<kInterpolationOff>(ring, delay), 20.0f) << delay;
    }
    EXPECT_FLOAT_EQ(readBoth<kInterpolationLinear>(ring, 2.5f), 18.5f);
    EXPECT_FLOAT_EQ(readBoth<kInterpolationOff>(ring, 2.5f), 18.0f);  // rounds the delay up
    EXPECT_FLOAT_EQ(readBoth<kInterpolationLinear>(ring, 7.0f), 14.0f);
    EXPECT_FLOAT_EQ(readBoth<kInterpolationLinear>(ring, 100.0f), 14.0f);  // held to the longest
    float nanRead = readBoth<kInterpolationCubic>(ring, NAN);
    EXPECT_FLOAT_EQ(nanRead, 20.0f);  // a NaN delay reads as one sample
}

TEST(DelayRing, CubicReadBelowTwoSamplesLeavesTheOldestCellAlone) {
    // Between one and two samples the fourth point of the cubic would be the
    // cell about to be written, which still holds the sample from N ago.
    StereoDelayRing ring;
    ring.allocate(100);
    for (int i = 0; i < 250; ++i) {
        float v = i < 200 ? float(i) : 1000.0f + float(i);  // a jump 50 back
        writeBoth(ring, v, -v);
    }
    for (float delay : {1.25f, 1.5f, 1.75f}) {
        float right = 0.0f;
        float y = readBoth<kInterpolationCubic>(ring, delay, &right);
        EXPECT_NEAR(y, 1250.0f - delay, 0.2f) << delay;
        EXPECT_NEAR(right, -(1250.0f - delay), 0.2f) << delay;
    }
    // Only the channel below two samples takes the stand-in: the other one
    // still interpolates through all four cells.
    Vec4 mixed = ring.read<kInterpolationCubic>(Vec4(1.5f, 3.5f, 0.0f, 0.0f));
    EXPECT_NEAR(mixed[0], 1248.5f, 0.2f);
    EXPECT_FLOAT_EQ(mixed[1], -1246.5f);
}

TEST(DelayRing, ChannelsReadTheirOwnDelays) {
    StereoDelayRing ring;
    ring.allocate(64);
    for (int i = 0; i < 200; ++i) writeBoth(ring, float(i), 1000.0f + float(i));  // last: 199, 1199
    for (int interpolation = 0; interpolation < kNumInterpolations; ++interpolation) {
        Vec4 y = interpolation == kInterpolationOff      ? ring.read<kInterpolationOff>(Vec4(3.0f, 10.0f, 0.0f, 0.0f))
                 : interpolation == kInterpolationLinear ? ring.read<kInterpolationLinear>(Vec4(3.0f, 10.0f, 0.0f, 0.0f))
                                                         : ring.read<kInterpolationCubic>(Vec4(3.0f, 10.0f, 0.0f, 0.0f));
        EXPECT_FLOAT_EQ(y[0], 197.0f) << interpolation;
        EXPECT_FLOAT_EQ(y[1], 1190.0f) << interpolation;
    }
    // A straight line is reproduced exactly between its samples, across the wrap as well.
    for (float delay : {2.25f, 30.5f, 61.75f}) {
        Vec4 y = ring.read<kInterpolationCubic>(Vec4(delay, delay + 1.0f, 0.0f, 0.0f));
        EXPECT_NEAR(y[0], 200.0f - delay, 1e-3f) << delay;
        EXPECT_NEAR(y[1], 1199.0f - delay, 1e-3f) << delay;
    }
}

TEST(DelayRing, WritePositionComesBackIntoRangeWhenTheLineShrinks) {
    StereoDelayRing ring;
    ring.allocate(1000);
    for (int i = 0; i < 900; ++i) writeBoth(ring, 1.0f, 1.0f);
    ring.allocate(100);
    EXPECT_GE(ring.writePosition(), 1);
    EXPECT_LE(ring.writePosition(), 100);
    for (int i = 0; i < 250; ++i) writeBoth(ring, float(i), float(i));
    EXPECT_FLOAT_EQ(readBoth<kInterpolationCubic>(ring, 1.0f), 249.0f);
    EXPECT_FLOAT_EQ(readBoth<kInterpolationLinear>(ring, 1.5f), 248.5f);
}

TEST(DelayRing, FractionalDelayKeepsItsPrecisionFarAlongALongRing) {
    // Near the end of a four-second line at 192 kHz a read position
    // (write position minus delay) kept in single precision would be
    // rounded to sixteenths of a sample; the fraction must still be the
    // delay's own.
    StereoDelayRing ring;
    ring.allocate(800000);
    for (int i = 0; i < 799000; ++i) writeBoth(ring, 0.0f, 0.0f);
    for (int i = 0; i < 300; ++i) writeBoth(ring, float(i), -float(i));  // last written: 299 (one sample back)
    ASSERT_GT(ring.writePosition(), 524288);  // where single precision steps by 1/16
    for (float delay : {100.3f, 37.71f, 250.05f}) {
        double expected = 299.0 - (double(delay) - 1.0);
        float right = 0.0f;
        EXPECT_NEAR(readBoth<kInterpolationLinear>(ring, delay, &right), expected, 1e-4) << delay;
        EXPECT_NEAR(right, -expected, 1e-4) << delay;
        EXPECT_NEAR(readBoth<kInterpolationCubic>(ring, delay), expected, 1e-4) << delay;
    }
}

TEST(DelayRing, RepeatedDelaysReadAsIfEachWereNew) {
    // A delay that stands still reuses where it read last time; a ring that
    // is made to locate every read (a NaN read in between never matches)
    // must give the same samples, bit for bit, as the write position moves
    // on, the delays change, the interpolation changes and the line shrinks.
    StereoDelayRing reused, fresh;
    for (StereoDelayRing* ring : {&reused, &fresh}) ring->allocate(300);
    auto readEach = [](StereoDelayRing& ring, int interpolation, Vec4 d) {
        return interpolation == kInterpolationOff      ? ring.read<kInterpolationOff>(d)
               : interpolation == kInterpolationLinear ? ring.read<kInterpolationLinear>(d)
                                                       : ring.read<kInterpolationCubic>(d);
    };
    const float delays[][2] = {{37.25f, 120.5f}, {37.25f, 120.5f}, {1.5f, 299.0f}, {1.5f, 299.0f}, {250.75f, 250.75f}};
    int n = 0;
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            for (StereoDelayRing* ring : {&reused, &fresh}) ring->allocate(200);  // 250.75 no longer fits
        for (int interpolation : {kInterpolationCubic, kInterpolationLinear, kInterpolationOff, kInterpolationCubic}) {
            for (int k = 0; k < 5; ++k) {
                // Reversed after the shrink, so its first read repeats the
                // last delays read from the longer line.
                const float* d = delays[round == 0 ? k : 4 - k];
                for (int repeat = 0; repeat < 40; ++repeat, ++n) {
                    float v = std::sin(0.05f * float(n)) + 0.01f * float(n % 7);
                    for (StereoDelayRing* ring : {&reused, &fresh}) writeBoth(*ring, v, -0.5f * v);
                    Vec4 lanes(d[0], d[1], 0.0f, 0.0f);
                    readEach(fresh, interpolation, Vec4(NAN));
                    Vec4 a = readEach(reused, interpolation, lanes), b = readEach(fresh, interpolation, lanes);
                    ASSERT_EQ(a[0], b[0]) << n;
                    ASSERT_EQ(a[1], b[1]) << n;
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Comb

TEST(Comb, DepthZeroIsOnePeriodOfDelayOrTheDrySignal) {
    auto comb = prepared<Comb>({{Comb::kFreq, 0.0f}, {Comb::kDepth, 0.0f}});  // 20 Hz
    EXPECT_FLOAT_EQ(comb->delayLeft(), 2205.0f);
    StereoBuffer s = impulse(2300);
    runOperator(*comb, s);
    EXPECT_EQ(peakIndex(s.left), 2205u);
    EXPECT_FLOAT_EQ(s.left[2205], 1.0f);

    auto feedforward = prepared<Comb>({{Comb::kFreq, 0.3f}, {Comb::kDepth, 0.0f}, {Comb::kType, 0.75f}});
    StereoBuffer dry(512);
    dry.left = noise(512);
    dry.right = dry.left;
    StereoBuffer out = dry;
    runOperator(*feedforward, out);
    EXPECT_EQ(out.left, dry.left);
}

TEST(Comb, FullDepthFeedbackRecirculatesWithoutDecay) {
    auto comb = prepared<Comb>({{Comb::kFreq, 0.0f}, {Comb::kDepth, 1.0f}});
    StereoBuffer s = impulse(2205 * 6 + 10);
    runOperator(*comb, s);
    for (int k = 1; k <= 6; ++k) EXPECT_FLOAT_EQ(s.left[2205 * k], 1.0f) << k;
}

class CombRates : public ::testing::TestWithParam<float> {};

TEST_P(CombRates, ResonatesAtTheTunedFrequencyAndItsHarmonics) {
    // Tuned to a hundredth of the rate: peaks at f0 and 2 f0, notches half-way.
    float rate = GetParam();
    double f0 = rate / 100.0;
    float depth = 0.9f;
    double g = Comb::depthGain(depth);
    for (float type : {0.25f, 0.75f}) {
        bool feedback = type < 0.5f;
        auto gain = [&](double freq) {
            auto comb = prepared<Comb>({{Comb::kFreq, Comb::valueOfFrequency(f0)}, {Comb::kDepth, depth},
                                        {Comb::kType, type}},
                                       rate);
            return gainAt(*comb, freq, rate, 0.1);
        };
        double peak = feedback ? 1.0 / (1.0 - g) : 1.0 + g;
        double notch = feedback ? 1.0 / (1.0 + g) : 1.0 - g;
        EXPECT_NEAR(gain(f0), peak, 0.03 * peak) << "type " << type;
        EXPECT_NEAR(gain(2.0 * f0), peak, 0.05 * peak) << "type " << type;
        EXPECT_NEAR(gain(1.5 * f0), notch, 0.03 * peak) << "type " << type;
    }
}

INSTANTIATE_TEST_SUITE_P(Comb, CombRates, ::testing::Values(44100.0f, 48000.0f, 96000.0f, 192000.0f));

TEST(Comb, PeriodBelowOneSampleReadsTheLastWrittenSample) {
    // 20 kHz at 8 kHz would be a period of 0.4 samples.
    auto comb = prepared<Comb>({{Comb::kFreq, 1.0f}, {Comb::kDepth, 1.0f}, {Comb::kType, 0.75f},
                                {Comb::kInterpolate, kInterpCubic}},
                               8000.0f);
    StereoBuffer s = impulse(600);
    s.left[500] = 1.0f;
    runOperator(*comb, s);
    // Each impulse and its one-sample echo; nothing of the cell about to be
    // written, which holds the sample from one ring length (401) back.
    for (size_t i = 0; i < s.size(); ++i) {
        bool impulseOrEcho = i == 0 || i == 1 || i == 500 || i == 501;
        EXPECT_FLOAT_EQ(s.left[i], impulseOrEcho ? 1.0f : 0.0f) << i;
    }
}

TEST(Comb, WritePositionComesBackIntoRangeWhenTheRateDrops) {
    auto comb = prepared<Comb>({{Comb::kFreq, 0.0f}, {Comb::kDepth, 0.5f}}, 192000.0f);
    StereoBuffer warm(5000);
    warm.left = noise(warm.size());
    runOperator(*comb, warm);
    comb->setSampleRate(8000.0f);
    StereoBuffer s = impulse(1000);
    runOperator(*comb, s);
    EXPECT_EQ(peakIndex(s.left), 400u);  // one period of 20 Hz at 8 kHz
    EXPECT_FLOAT_EQ(s.left[800], 0.125f);
}

TEST(Comb, TextsAndEditorConversions) {
    auto comb = prepared<Comb>({});
    char text[kTextSize];
    comb->getTypeName(text);
    EXPECT_STREQ(text, "COMB");
    EXPECT_EQ(comb->getNumParameters(), 4);
    EXPECT_EQ(display(*comb, 0), "20000");
    EXPECT_EQ(display(*comb, 1), "0.0");
    EXPECT_EQ(display(*comb, 2), "standard");
    EXPECT_EQ(display(*comb, 3), "linear");
    EXPECT_EQ(display(*comb, 4), "---");
    comb->getParameterLabel(0, text);
    EXPECT_STREQ(text, "Hz");
    comb->getParameterLabel(1, text);
    EXPECT_STREQ(text, "%");
    comb->getParameterTitle(3, text);
    EXPECT_STREQ(text, "interpolation");
    EXPECT_FLOAT_EQ(comb->getParameterDefault(2), 0.25f);
    EXPECT_FLOAT_EQ(comb->getParameterDefault(3), 0.5f);
    EXPECT_TRUE(comb->isModulatable(0));
    EXPECT_TRUE(comb->isModulatable(1));
    EXPECT_FALSE(comb->isModulatable(2));
    EXPECT_FALSE(comb->isModulatable(3));

    comb->setParameter(Comb::kType, 0.75f);
    EXPECT_EQ(display(*comb, 2), "inverse");
    EXPECT_EQ(editorText(*comb, 2, 0.75f), "feedforward");
    EXPECT_EQ(editorText(*comb, 2, 0.25f), "feedback");
    EXPECT_EQ(editorText(*comb, 1, 0.5f), "50.0 %");
    EXPECT_EQ(editorText(*comb, 0, 0.0f), "20 Hz");

    EXPECT_NEAR(Comb::frequencyHz(parsed(*comb, 0, "2k")), 2000.0f, 0.05f);
    EXPECT_NEAR(Comb::frequencyHz(parsed(*comb, 0, "1.5 kHz")), 1500.0f, 0.05f);
    EXPECT_NEAR(Comb::frequencyHz(parsed(*comb, 0, "440")), 440.0f, 0.02f);
    EXPECT_FLOAT_EQ(parsed(*comb, 0, "30000"), 1.0f);
    EXPECT_FLOAT_EQ(parsed(*comb, 0, "3"), 0.0f);
    EXPECT_FLOAT_EQ(parsed(*comb, 1, "150"), 1.0f);
    EXPECT_FLOAT_EQ(parsed(*comb, 1, "-3"), 0.0f);
    EXPECT_FLOAT_EQ(parsed(*comb, 1, "25"), 0.25f);
    EXPECT_FLOAT_EQ(parsed(*comb, 2, "inverse"), 0.75f);
}

// ---------------------------------------------------------------------------
// LoFi

TEST(LoFi, DefaultsRoundToSixteenBitsEverySample) {
    auto lofi = prepared<LoFi>({});
    StereoBuffer s(2000);
    s.left = noise(s.size(), 1.0, 7);
    s.right = s.left;
    StereoBuffer in = s;
    runOperator(*lofi, s);
    for (size_t i = 0; i < s.size(); ++i) {
        double steps = double(s.left[i]) * 32768.0;
        ASSERT_EQ(steps, std::round(steps)) << i;
        ASSERT_LE(std::fabs(s.left[i] - in.left[i]), 0.5 / 32768.0 + 1e-9) << i;
    }
}

TEST(LoFi, OneBitGivesWholeNumbersRoundingHalvesUp) {
    auto lofi = prepared<LoFi>({{LoFi::kBits, 0.0f}});
    float inputs[] = {-0.5f, -0.2f, 0.0f, 0.49f, 0.5f, -0.51f, 2.7f};
    float expected[] = {0.0f, 0.0f, 0.0f, 0.0f, 1.0f, -1.0f, 3.0f};
    for (int i = 0; i < 7; ++i) {
        float l = inputs[i], r = inputs[i];
        lofi->processSample(&l, &r);
        EXPECT_EQ(l, expected[i]) << inputs[i];
    }
}

TEST(LoFi, BitDepthSetsTheQuantisationNoise) {
    // A full-scale sine quantised to b bits: signal-to-noise about 6.02 b + 1.76 dB.
    for (float bits : {4.0f, 8.0f, 12.0f}) {
        auto lofi = prepared<LoFi>({{LoFi::kBits, (bits - 1.0f) / 15.0f}});
        StereoBuffer s = stereoSine(997.0, 44100.0, 8192, 0.999);
        StereoBuffer in = s;
        runOperator(*lofi, s);
        std::vector<float> error(s.size());
        for (size_t i = 0; i < s.size(); ++i) error[i] = s.left[i] - in.left[i];
        double snr = toDb(rms(in.left) / rms(error));
        EXPECT_NEAR(snr, 6.02 * bits + 1.76, 2.0) << bits << " bits";
    }
}

TEST(LoFi, LowestRateHoldsEveryTwentySamples) {
    auto lofi = prepared<LoFi>({{LoFi::kSampleRate, 0.0f}});
    EXPECT_EQ(display(*lofi, 1), "2205");
    StereoBuffer s(4000);
    for (size_t i = 0; i < s.size(); ++i) s.left[i] = s.right[i] = float(i + 1) / 8192.0f;
    runOperator(*lofi, s);
    int changes = 0;
    size_t last = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s.left[i] != s.left[i - 1]) {
            if (changes > 0) {
                EXPECT_NEAR(double(i - last), 20.0, 1.0) << i;
            }
            ++changes;
            last = i;
        }
    }
    EXPECT_NEAR(changes, 200, 1);
}

TEST(LoFi, HoldRateStaysInHertzAtOtherSampleRates) {
    for (float rate : {22050.0f, 96000.0f}) {
        auto lofi = prepared<LoFi>({}, rate);
        StereoBuffer s(static_cast<size_t>(rate));
        for (size_t i = 0; i < s.size(); ++i) s.left[i] = s.right[i] = float(i + 1) / 16384.0f;
        runOperator(*lofi, s);
        int changes = 0;
        for (size_t i = 1; i < s.size(); ++i) changes += s.left[i] != s.left[i - 1];
        // 44.1 kHz at 96 kHz; at 22.05 kHz every sample (the held rate cannot exceed the rate).
        EXPECT_NEAR(changes, std::min(rate, 44100.0f), 2.0) << rate;
    }
}

TEST(LoFi, PhaseDoesNotPileUpWhileTheHoldRateExceedsTheSampleRate) {
    // At 8 kHz the top hold rate (44.1 kHz) is 5.5 steps per sample. After a
    // second of that, lowering the rate must downsample at once, not after
    // the surplus phase has drained.
    auto lofi = prepared<LoFi>({}, 8000.0f);
    int counter = 0;
    StereoBuffer fast(8000);
    runOperator(*lofi, fast, {}, &counter);
    lofi->setParameter(LoFi::kSampleRate, 0.0f);  // 2205 Hz: a new value every 3.6 samples
    StereoBuffer s(512);
    for (size_t i = 0; i < s.size(); ++i) s.left[i] = s.right[i] = float(i + 1) / 1024.0f;
    runOperator(*lofi, s, {}, &counter);
    int changes = 0;
    for (size_t i = 257; i < s.size(); ++i) changes += s.left[i] != s.left[i - 1];
    EXPECT_NEAR(changes, 255 * 2205.0 / 8000.0, 2.0);
}

TEST(LoFi, DownsamplingMirrorsATone) {
    // Held at 11025 Hz, a 3 kHz tone gains an image at 11025 - 3000 Hz.
    const double rate = 44100.0;
    auto image = [&](float smplrate) {
        auto lofi = prepared<LoFi>({{LoFi::kSampleRate, smplrate}});
        StereoBuffer s = stereoSine(3000.0, rate, 8820, 0.5);
        runOperator(*lofi, s);
        return amplitudeAt(s.left, 8025.0, rate, 882, 8820) / 0.5;
    };
    float quarterRate = static_cast<float>(1.0 + std::log(0.25) / 2.995732069015503);
    EXPECT_GT(image(quarterRate), 0.2);
    EXPECT_LT(image(1.0f), 1e-3);
}

TEST(LoFi, LevelTableTopEntryReadsNothingBeyondIt) {
    EXPECT_EQ(LoFi::levelsPerUnit(1.0f), 32768.0f);
    EXPECT_EQ(LoFi::levelsPerUnit(1.0000001f), 32768.0f);  // a ramp overshooting by a rounding error
    EXPECT_EQ(LoFi::levelsPerUnit(0.0f), 1.0f);
    EXPECT_EQ(LoFi::levelsPerUnit(-0.001f), 1.0f);
    EXPECT_NEAR(LoFi::levelsPerUnit(0.5f), std::exp2(7.5), 1e-3);
}

TEST(LoFi, TextsAndEditorConversions) {
    auto lofi = prepared<LoFi>({});
    char text[kTextSize];
    lofi->getTypeName(text);
    EXPECT_STREQ(text, "LOFI");
    lofi->getParameterName(1, text);
    EXPECT_STREQ(text, "smplrate");
    // The panel's controls carry the host's short names.
    lofi->getParameterTitle(0, text);
    EXPECT_STREQ(text, "bits");
    lofi->getParameterTitle(1, text);
    EXPECT_STREQ(text, "smplrate");
    lofi->getParameterLabel(0, text);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(display(*lofi, 0), "16.0");
    EXPECT_EQ(display(*lofi, 1), "44100");
    EXPECT_EQ(display(*lofi, 2), "---");
    EXPECT_EQ(editorText(*lofi, 1, 0.0f), "2205 Hz");
    EXPECT_EQ(editorText(*lofi, 0, 0.5f), "8.5");
    EXPECT_FLOAT_EQ(parsed(*lofi, 0, "8.5"), 0.5f);
    EXPECT_FLOAT_EQ(parsed(*lofi, 0, "40"), 1.0f);
    EXPECT_FLOAT_EQ(parsed(*lofi, 1, "100"), 0.0f);
    EXPECT_FLOAT_EQ(parsed(*lofi, 1, "44100"), 1.0f);
    EXPECT_NEAR(LoFi::holdRateHz(parsed(*lofi, 1, "11025")), 11025.0f, 0.5f);
    EXPECT_TRUE(lofi->isModulatable(0));
    EXPECT_TRUE(lofi->isModulatable(1));
    EXPECT_FALSE(lofi->isModulatable(2));
}

// ---------------------------------------------------------------------------
// All three, at every rate, with hot input and extreme settings

namespace {
struct ExtremeCase {
    int type;
    std::vector<std::pair<int, float>> params;
    std::vector<TickModulation> modulation;
};

std::vector<ExtremeCase> extremeCases() {
    using D = DelayLine;
    return {
        {kOpDelay, {{D::kMode, kTimeBased}, {D::kTimeL, 0.0f}, {D::kTimeR, 1.0f}, {D::kFeedback, 1.0f},
                    {D::kInterpolate, kInterpCubic}, {D::kPanL, 0.5f}, {D::kPanR, 0.5f}},
         {{D::kTimeLR, 1.0f, -1.0f}, {D::kFeedback, 1.0f, 1.0f}}},
        {kOpDelay, {{D::kTimeL, 1.0f}, {D::kTimeR, 0.0f}, {D::kFeedback, 1.0f}, {D::kFeedbackMode, kAlign},
                    {D::kPanL, 1.0f}, {D::kPanR, 1.0f}, {D::kInterpolate, kInterpOff}},
         {{D::kTimeL, -1.0f, 1.0f}, {D::kPanL, 1.0f, -1.0f}}},
        {kOpComb, {{Comb::kFreq, 1.0f}, {Comb::kDepth, 1.0f}, {Comb::kInterpolate, kInterpCubic}},
         {{Comb::kFreq, 1.0f, -1.0f}}},
        {kOpComb, {{Comb::kFreq, 0.0f}, {Comb::kDepth, 1.0f}, {Comb::kType, 0.75f}, {Comb::kInterpolate, kInterpLinear}},
         {{Comb::kDepth, 1.0f, 1.0f}}},
        {kOpLoFi, {{LoFi::kBits, 0.0f}, {LoFi::kSampleRate, 0.0f}}, {{LoFi::kSampleRate, 1.0f, -1.0f}}},
        {kOpLoFi, {{LoFi::kBits, 1.0f}, {LoFi::kSampleRate, 1.0f}}, {{LoFi::kBits, 1.0f, -1.0f}}},
    };
}
}  // namespace

class DelayFamilyRates : public ::testing::TestWithParam<float> {};

TEST_P(DelayFamilyRates, HotNoiseAndExtremeSettingsStayFinite) {
    float rate = GetParam();
    for (const auto& c : extremeCases()) {
        auto op = createOperator(c.type, 0, nullptr);
        for (auto [i, v] : c.params) op->setParameter(i, v);
        op->setTempo(300.0f);
        op->setSampleRate(rate);
        StereoBuffer s(static_cast<size_t>(rate / 4));
        s.left = noise(s.size(), 10.0, 3);
        s.right = noise(s.size(), 10.0, 4);
        int counter = 0;
        runOperator(*op, s, c.modulation, &counter);
        char name[kTextSize];
        op->getTypeName(name);
        EXPECT_TRUE(allFinite(s.left)) << name << " at " << rate;
        EXPECT_TRUE(allFinite(s.right)) << name << " at " << rate;
    }
}

INSTANTIATE_TEST_SUITE_P(DelayFamily, DelayFamilyRates, ::testing::Values(8000.0f, 44100.0f, 96000.0f, 192000.0f));

TEST(DelayFamily, RateChangesWhileProcessingStayInsideTheBuffers) {
    // 8 kHz -> 384 kHz -> 8 kHz with processing in between, as a host may do
    // between two blocks; AddressSanitizer guards the accesses.
    for (const auto& c : extremeCases()) {
        auto op = createOperator(c.type, 0, nullptr);
        for (auto [i, v] : c.params) op->setParameter(i, v);
        int counter = 0;
        for (float rate : {8000.0f, 384000.0f, 11025.0f, 192000.0f, 8000.0f}) {
            op->setSampleRate(rate);
            StereoBuffer s(6000);
            s.left = noise(s.size(), 10.0, 5);
            s.right = s.left;
            runOperator(*op, s, c.modulation, &counter);
            EXPECT_TRUE(allFinite(s.left));
            op->clearState();
        }
    }
}
