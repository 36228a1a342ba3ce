// CompExp and Distortion: static curves, time constants, keying and curve
// shapes measured from the signals that come out.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "ModuleHarness.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"
#include "operators/CompExp.h"
#include "operators/Distortion.h"

using namespace vh;
using namespace vh::test;

namespace {

template <class Op>
std::unique_ptr<Op> prepared(std::initializer_list<std::pair<int, float>> params, float rate = 44100.0f) {
    auto op = std::make_unique<Op>(0, nullptr);
    for (auto [i, v] : params) op->setParameter(i, v);
    op->setSampleRate(rate);
    return op;
}

using TapFill = std::function<void(size_t, float*, float*)>;

// Runs an operator like the engine: a control tick every 32 samples, the tap
// arrays refilled before every sample.
void runKeyed(Operator& op, StereoBuffer& s, const TapFill& taps, const std::vector<TickModulation>& modulation = {}) {
    float tapL[kNumTaps] = {}, tapR[kNumTaps] = {};
    for (size_t n = 0; n < s.size(); ++n) {
        if (n % 32 == 31) controlTick(op, modulation);
        if (taps) taps(n, tapL, tapR);
        op.setInputs(tapL, tapR);
        op.processSample(&s.left[n], &s.right[n]);
    }
}

// Output of a constant input after the operator has settled on it.
float steadyOutput(Operator& op, float in, int samples = 64) {
    float zeros[kNumTaps] = {};
    float l = 0.0f, r = 0.0f;
    for (int i = 0; i < samples; ++i) {
        l = r = in;
        op.setInputs(zeros, zeros);
        op.processSample(&l, &r);
    }
    return l;
}

float dbValue(double db) { return static_cast<float>(std::pow(10.0, db / 20.0)); }

// CompExp parameter values from native units.
float thresholdValue(double db) { return static_cast<float>((db + 60.0) / 60.0); }
float makeupValue(double db) { return static_cast<float>((db + 60.0) / 120.0); }
float timeValue(double ms) { return static_cast<float>(std::cbrt(ms / 1000.0)); }
float modeValue(int mode) { return discreteValue(mode, CompExp::kNumModes); }
float sourceValue(int source) { return discreteValue(source, CompExp::kNumSources); }
const float kOff = discreteValue(0, 2), kOn = discreteValue(1, 2);

// The static curve in double precision with exact logarithms and powers.
double exactGainDb(double key, double thresholdDb, double v, double makeupDb, int mode, bool autoMakeup, bool rms) {
    double x = std::max(std::fabs(key), 1e-7);
    double level = rms ? 10.0 * std::log10(x * x) : 20.0 * std::log10(x);
    double out, a;
    if (mode == 0) {
        out = thresholdDb < level ? thresholdDb + (level - thresholdDb) * (1.0 - v) : level;
        a = v * thresholdDb;
    } else if (mode == 1) {
        out = thresholdDb >= level ? thresholdDb + (level - thresholdDb) * (1.0 + 4.0 * v) : level;
        a = 0.0;
    } else {
        out = 0.0;
        a = 1.0;
    }
    return out - level + (autoMakeup ? -a : makeupDb);
}

class CompExpRates : public ::testing::TestWithParam<float> {};

}  // namespace

// --- CompExp -------------------------------------------------------------------

TEST(CompExp, ParametersTextsAndEditorConversions) {
    CompExp comp(1, nullptr);
    char text[kTextSize];
    comp.getTypeName(text);
    EXPECT_STREQ(text, "COMP/EXP");
    ASSERT_EQ(comp.getNumParameters(), 10);
    // name, title, label and host text of the default of each parameter
    const char* rows[10][4] = {
        {"threshold", "threshold", "dB", "0"},     {"ratio", "ratio", "", "1.00:1"},
        {"makeup", "makeup", "dB", "0"},           {"auto makeup", "auto makeup", "", "on"},
        {"mode", "type", "", "compress"},          {"source", "env src", "", "op in"},
        {"attack", "attack", "ms", "10.0"},        {"release", "release", "ms", "10.0"},
        {"peak/rms", "env mode", "", "RMS"},       {"listen", "listen", "", "off"},
    };
    for (int i = 0; i < 10; ++i) {
        comp.setParameter(i, comp.getParameterDefault(i));
        comp.getParameterName(i, text);
        EXPECT_STREQ(text, rows[i][0]);
        comp.getParameterTitle(i, text);
        EXPECT_STREQ(text, rows[i][1]);
        comp.getParameterLabel(i, text);
        EXPECT_STREQ(text, rows[i][2]);
        comp.getParameterDisplay(i, text);
        EXPECT_STREQ(text, rows[i][3]) << i;
        EXPECT_EQ(comp.isModulatable(i), i == 0 || i == 1 || i == 2 || i == 6 || i == 7) << i;
    }
    comp.getParameterName(10, text);
    EXPECT_STREQ(text, "---");
    EXPECT_NEAR(comp.getParameterDefault(CompExp::kAttack), 0.21544346f, 1e-7);
    EXPECT_FLOAT_EQ(comp.getParameterDefault(CompExp::kSource), 1.0f / 12.0f);

    // The ratio's host and editor texts and its parsing follow the mode.
    struct RatioRow {
        int mode;
        float v;
        const char *host, *editor;
    };
    for (const RatioRow& r : {RatioRow{0, 1.0f, "oo:1", "oo:1"}, RatioRow{0, 0.95f, "20.0:1", "20.0:1"},
                              RatioRow{0, 0.75f, "4.00:1", "4.00:1"}, RatioRow{1, 0.5f, "3.00:1", "3.00:1"},
                              RatioRow{2, 0.5f, "---", "error"}, RatioRow{3, 0.5f, "---", "error"}}) {
        comp.setParameter(CompExp::kMode, modeValue(r.mode));
        comp.setParameter(CompExp::kRatio, r.v);
        comp.getParameterDisplay(CompExp::kRatio, text);
        EXPECT_STREQ(text, r.host);
        comp.formatEditorValue(CompExp::kRatio, r.v, text, 0);
        EXPECT_STREQ(text, r.editor);
    }
    struct ParseRow {
        int mode, index;
        const char* text;
        float v;
    };
    const ParseRow parses[] = {
        {0, CompExp::kRatio, "oo:1", 1.0f}, {0, CompExp::kRatio, "OO", 1.0f}, {0, CompExp::kRatio, "oO:", 1.0f},
        {0, CompExp::kRatio, "4:1", 0.75f}, {0, CompExp::kRatio, "0", 0.0f},
        // Below 1:1 (and negative) stays at 1:1 instead of turning into the limiter.
        {0, CompExp::kRatio, "-2:1", 0.0f}, {1, CompExp::kRatio, "2:1", 0.25f}, {1, CompExp::kRatio, "9:1", 1.0f},
        {0, CompExp::kThreshold, "-45", 0.25f}, {0, CompExp::kThreshold, "12", 1.0f},
        {0, CompExp::kMakeup, "-90", 0.0f}, {0, CompExp::kRelease, "125", 0.5f}, {0, CompExp::kRelease, "5000", 1.0f},
        {0, CompExp::kSource, "Side In", sourceValue(5)}, {0, CompExp::kPeakRms, "rms", kOn},
    };
    for (const ParseRow& p : parses) {
        comp.setParameter(CompExp::kMode, modeValue(p.mode));
        float v = -1.0f;
        ASSERT_TRUE(comp.parseEditorValue(p.index, p.text, v, 0)) << p.text;
        EXPECT_NEAR(v, p.v, 1e-6) << p.text;
    }
    float v;
    EXPECT_FALSE(comp.parseEditorValue(CompExp::kSource, "op9 out", v, 0));
    EXPECT_FALSE(comp.parseEditorValue(CompExp::kNumParams, "1", v, 0));
    const std::pair<int, float> editorTexts[] = {{CompExp::kThreshold, 0.5f}, {CompExp::kMakeup, 0.75f},
                                                 {CompExp::kAttack, 0.21544346f}, {CompExp::kPeakRms, 0.75f},
                                                 {CompExp::kSource, sourceValue(3)}};
    const char* expected[] = {"-30.0 dB", "30.0 dB", "10ms", "rms", "op3 out"};
    for (int i = 0; i < 5; ++i) {
        comp.formatEditorValue(editorTexts[i].first, editorTexts[i].second, text, 0);
        EXPECT_STREQ(text, expected[i]);
    }
}

// The detector's logarithm and the gain's power are fast approximations; the
// static curve they produce must stay within 0.001 dB of the exact formula.
TEST(CompExp, StaticCurveWithinAThousandthOfADecibelOfTheExactFormula) {
    struct Setting {
        double thresholdDb, ratio, makeupDb;
        int mode;
        bool autoMakeup;
    };
    const Setting settings[] = {
        {-20.0, 0.75, 0.0, 0, false},  {-47.5, 1.0, 12.0, 0, true}, {-3.0, 0.3, -6.0, 0, false},
        {-30.0, 0.25, 0.0, 1, false},  {-60.0, 1.0, 0.0, 1, true},  {-12.0, 0.6, 40.0, 1, false},
        {-10.0, 0.5, -20.0, 2, false}, {-10.0, 0.5, 0.0, 3, true},
    };
    double worst = 0.0;
    for (bool rms : {false, true}) {
        for (const Setting& s : settings) {
            auto comp = prepared<CompExp>({{CompExp::kThreshold, thresholdValue(s.thresholdDb)},
                                           {CompExp::kRatio, static_cast<float>(s.ratio)},
                                           {CompExp::kMakeup, makeupValue(s.makeupDb)},
                                           {CompExp::kAutoMakeup, s.autoMakeup ? kOn : kOff},
                                           {CompExp::kMode, modeValue(s.mode)},
                                           {CompExp::kAttack, 0.0f},
                                           {CompExp::kRelease, 0.0f},
                                           {CompExp::kPeakRms, rms ? kOn : kOff}});
            // The module's own threshold, ratio and makeup are single precision.
            double t = 60.0f * thresholdValue(s.thresholdDb) - 60.0f;
            double m = 120.0f * makeupValue(s.makeupDb) - 60.0f;
            for (double levelDb = -100.0; levelDb <= 20.0; levelDb += 0.37) {
                float in = dbValue(levelDb);
                float out = steadyOutput(*comp, in, 2);
                double measured = toDb(out / in);
                double exact = exactGainDb(in, t, static_cast<float>(s.ratio), m, s.mode, s.autoMakeup, rms);
                worst = std::max(worst, std::fabs(measured - exact));
            }
        }
    }
    EXPECT_LT(worst, 0.001);
}

TEST_P(CompExpRates, SteadySinesFollowThresholdAndRatio) {
    const float rate = GetParam();
    auto comp = prepared<CompExp>({{CompExp::kThreshold, thresholdValue(-20.0)},
                                   {CompExp::kRatio, 0.75f},  // 4:1
                                   {CompExp::kAutoMakeup, kOff},
                                   {CompExp::kAttack, timeValue(50.0)},
                                   {CompExp::kRelease, timeValue(50.0)}},
                                  rate);
    // The detector starts at 0 dBFS and needs 0.7 s of 50 ms release to settle
    // at the quietest level within 0.01 dB.
    const size_t n = static_cast<size_t>(rate * 1.0);
    for (double levelDb : {-40.0, -30.0, -20.0, -14.0, -8.0, 0.0}) {
        // levelDb is the sine's RMS level, what the RMS detector measures.
        StereoBuffer s = stereoSine(1000.0, rate, n, std::sqrt(2.0) * dbValue(levelDb));
        comp->clearState();
        runKeyed(*comp, s, nullptr);
        double expected = levelDb <= -20.0 ? levelDb : -20.0 + (levelDb + 20.0) / 4.0;
        EXPECT_NEAR(toDb(rms(s.left, n * 7 / 10)), expected, 0.05) << levelDb;
        EXPECT_NEAR(toDb(rms(s.right, n * 7 / 10)), expected, 0.05) << levelDb;
    }
}

TEST_P(CompExpRates, AttackAndReleaseTimesAreTheDetectorTimeConstants) {
    const float rate = GetParam();
    // A limiter at -60 dB: output = input * 0.001 / envelope, so the output
    // shows the peak envelope directly.
    auto comp = prepared<CompExp>({{CompExp::kThreshold, 0.0f},
                                   {CompExp::kRatio, 1.0f},
                                   {CompExp::kAutoMakeup, kOff},
                                   {CompExp::kPeakRms, kOff},
                                   {CompExp::kAttack, timeValue(20.0)},
                                   {CompExp::kRelease, timeValue(100.0)}},
                                  rate);
    const size_t settle = static_cast<size_t>(rate * 1.0), step = static_cast<size_t>(rate * 0.5);
    StereoBuffer s(settle + 2 * step);
    for (size_t i = 0; i < s.size(); ++i) s.left[i] = s.right[i] = (i >= settle && i < settle + step) ? 1.0f : 0.01f;
    StereoBuffer in = s;
    runKeyed(*comp, s, nullptr);
    auto envelope = [&](size_t i) { return in.left[i] * 0.001 / s.left[i]; };
    auto crossing = [&](size_t from, double level, bool rising) {
        for (size_t i = from; i < from + step; ++i)
            if (rising ? envelope(i) >= level : envelope(i) <= level) return double(i - from);
        return -1.0;
    };
    // One time constant: 1 - 1/e of the way from 0.01 to 1 and back.
    double attackMs = 1000.0 * crossing(settle, 0.01 + 0.99 * (1.0 - std::exp(-1.0)), true) / rate;
    double releaseMs = 1000.0 * crossing(settle + step, 0.01 + 0.99 * std::exp(-1.0), false) / rate;
    EXPECT_NEAR(attackMs, 20.0, 0.2 + 1000.0 / rate);
    EXPECT_NEAR(releaseMs, 100.0, 1.0 + 1000.0 / rate);
}

INSTANTIATE_TEST_SUITE_P(Rates, CompExpRates, ::testing::Values(44100.0f, 48000.0f, 96000.0f, 192000.0f));

TEST(CompExp, AttackZeroFollowsRisesInstantly) {
    auto comp = prepared<CompExp>({{CompExp::kThreshold, 0.0f},
                                   {CompExp::kRatio, 1.0f},
                                   {CompExp::kAutoMakeup, kOff},
                                   {CompExp::kPeakRms, kOff},
                                   {CompExp::kAttack, 0.0f},
                                   {CompExp::kRelease, 1.0f}});
    steadyOutput(*comp, 0.01f, 4000);
    // The very first loud sample is already limited to -60 dB.
    EXPECT_NEAR(steadyOutput(*comp, 1.0f, 1), 0.001f, 1e-6);
}

TEST(CompExp, SideChainKeysTheGainAndDucksTheMainSignal) {
    const float rate = 44100.0f;
    auto comp = prepared<CompExp>({{CompExp::kThreshold, thresholdValue(-30.0)},
                                   {CompExp::kRatio, 1.0f},
                                   {CompExp::kAutoMakeup, kOff},
                                   {CompExp::kSource, sourceValue(5)},
                                   {CompExp::kAttack, timeValue(20.0)},
                                   {CompExp::kRelease, timeValue(20.0)}},
                                  rate);
    const size_t half = 22050;
    StereoBuffer s = stereoSine(440.0, rate, 2 * half, 0.5);
    std::vector<float> key = sine(100.0, rate, 2 * half, 1.0);  // RMS -3 dB once it starts
    runKeyed(*comp, s, [&](size_t n, float* l, float* r) {
        l[kTapSideChain] = r[kTapSideChain] = n >= half ? key[n] : 0.0f;
        l[kTapInput] = r[kTapInput] = 1.0f;  // never a key
    });
    // Silent key: -140 dB, far below the threshold, so no gain change at all.
    EXPECT_NEAR(amplitudeAt(s.left, 440.0, rate, half / 2, half), 0.5, 1e-3);
    // Keyed at -3 dB with an infinite ratio: -30 - (-3) = -27 dB of gain.
    EXPECT_NEAR(toDb(amplitudeAt(s.left, 440.0, rate, half + half / 2, 2 * half) / 0.5), -27.0, 0.5);
    EXPECT_NEAR(toDb(amplitudeAt(s.right, 440.0, rate, half + half / 2, 2 * half) / 0.5), -27.0, 0.5);
}

TEST(CompExp, OperatorSourcesKeyFromTheirOwnTapOnly) {
    for (int source = 1; source < CompExp::kNumSources; ++source) {
        for (int loudTap = 0; loudTap < kNumTaps; ++loudTap) {
            auto comp = prepared<CompExp>({{CompExp::kThreshold, thresholdValue(-30.0)},
                                           {CompExp::kRatio, 1.0f},
                                           {CompExp::kAutoMakeup, kOff},
                                           {CompExp::kSource, sourceValue(source)},
                                           {CompExp::kAttack, 0.0f},
                                           {CompExp::kRelease, 0.0f}});
            StereoBuffer s(2048);
            std::fill(s.left.begin(), s.left.end(), 0.5f);
            s.right = s.left;
            runKeyed(*comp, s, [&](size_t, float* l, float* r) {
                std::fill(l, l + kNumTaps, 0.0f);
                std::fill(r, r + kNumTaps, 0.0f);
                l[loudTap] = r[loudTap] = 1.0f;
            });
            int keyTap = source == 5 ? kTapSideChain : source;
            if (loudTap == keyTap)
                EXPECT_NEAR(toDb(s.left.back() / 0.5), -30.0, 0.01) << source << " " << loudTap;
            else
                EXPECT_FLOAT_EQ(s.left.back(), 0.5f) << source << " " << loudTap;
        }
    }
}

// Points of the static curve with an instant peak detector.
TEST(CompExp, ExpanderGateLimiterAndPinnedModesAtSteadyLevels) {
    struct Row {
        const char* what;
        int mode;
        double thresholdDb;
        float ratio;
        double makeupDb;
        bool autoMakeup, sideChain;
        double inDb, outDb;
    };
    const Row rows[] = {
        {"expander 2:1 below", 1, -20, 0.25f, 0, false, false, -40, -60},
        {"expander 2:1 below", 1, -20, 0.25f, 0, false, false, -25, -30},
        {"expander 2:1 above", 1, -20, 0.25f, 0, false, false, -10, -10},
        {"gate 5:1 below", 1, -20, 1.0f, 0, false, false, -30, -70},
        {"gate 5:1 above", 1, -20, 1.0f, 0, false, false, -6, -6},
        {"expand: auto makeup ignores makeup", 1, -20, 0.25f, 12, true, false, -10, -10},
        {"expand: manual makeup", 1, -20, 0.25f, 12, false, false, -10, 2},
        {"limiter, auto makeup, 0 dB in", 0, -50, 1.0f, 0, true, false, 0, 0},
        {"limiter, auto makeup, 0 dB in", 0, -5, 1.0f, 0, true, false, 0, 0},
        {"limiter, auto makeup, above", 0, -20, 1.0f, 0, true, false, -10, 0},
        {"1:1 with auto makeup", 0, -33, 0.0f, 60, true, false, -40, -40},
        {"1:1 with auto makeup", 1, -33, 0.0f, 60, true, false, -40, -40},
        {"pinned", 2, 0, 0.5f, -20, false, false, -6, -20},
        {"pinned", 3, 0, 0.5f, -20, false, false, -50, -20},
        {"pinned, auto makeup", 2, 0, 0.5f, -20, true, false, -34, -1},
        // A silent side-chain reads -140 dB: no compression, full expansion
        // (-60 + (-80) * 5 = -460 dB of level, -320 dB of gain).
        {"silent key, compress", 0, -60, 1.0f, 0, false, true, -6, -6},
        {"silent key, expand", 1, -60, 1.0f, 0, false, true, -6, -326},
    };
    for (const Row& r : rows) {
        auto comp = prepared<CompExp>({{CompExp::kThreshold, thresholdValue(r.thresholdDb)},
                                       {CompExp::kRatio, r.ratio},
                                       {CompExp::kMakeup, makeupValue(r.makeupDb)},
                                       {CompExp::kAutoMakeup, r.autoMakeup ? kOn : kOff},
                                       {CompExp::kMode, modeValue(r.mode)},
                                       {CompExp::kSource, sourceValue(r.sideChain ? 5 : 0)},
                                       {CompExp::kPeakRms, kOff},
                                       {CompExp::kAttack, 0.0f},
                                       {CompExp::kRelease, 0.0f}});
        for (float sign : {1.0f, -1.0f}) {
            float out = sign * steadyOutput(*comp, sign * dbValue(r.inDb));
            ASSERT_GT(out, 0.0f) << r.what;
            EXPECT_NEAR(toDb(out), r.outDb, 0.001) << r.what << " at " << r.inDb << " dB";
        }
    }
}

TEST(CompExp, ListenPlaysTheKeyInsteadOfTheProcessedSignal) {
    auto sideListen = prepared<CompExp>({{CompExp::kSource, sourceValue(5)}, {CompExp::kListen, kOn}});
    StereoBuffer s = stereoSine(440.0, 44100.0, 256, 0.5);
    std::vector<float> key = sine(97.0, 44100.0, 256, 0.3);
    runKeyed(*sideListen, s, [&](size_t n, float* l, float* r) {
        l[kTapSideChain] = key[n];
        r[kTapSideChain] = -key[n];
    });
    for (size_t n = 0; n < s.size(); ++n) {
        EXPECT_EQ(s.left[n], key[n]);
        EXPECT_EQ(s.right[n], -key[n]);
    }
    // Keyed by its own input, listening passes the input untouched (no gain).
    auto ownListen = prepared<CompExp>({{CompExp::kThreshold, 0.0f}, {CompExp::kRatio, 1.0f}, {CompExp::kListen, kOn}});
    EXPECT_EQ(steadyOutput(*ownListen, 0.7f), 0.7f);
}

TEST(CompExp, ChannelsAreUnlinkedAndModulatedSeparately) {
    auto comp = prepared<CompExp>({{CompExp::kThreshold, 1.0f},
                                   {CompExp::kRatio, 1.0f},
                                   {CompExp::kAutoMakeup, kOff},
                                   {CompExp::kPeakRms, kOff},
                                   {CompExp::kAttack, 0.0f},
                                   {CompExp::kRelease, 0.0f}});
    StereoBuffer s(512);
    std::fill(s.left.begin(), s.left.end(), 0.5f);
    s.right = s.left;
    // Threshold of the left channel modulated down to -30 dB, right stays at 0 dB.
    runKeyed(*comp, s, nullptr, {{CompExp::kThreshold, -0.5f, 0.0f}});
    EXPECT_NEAR(toDb(s.left.back()), -30.0, 0.01);
    EXPECT_NEAR(s.right.back(), 0.5f, 1e-5);
    // The threshold ramps over one tick: the gain falls smoothly, no jump.
    for (size_t n = 33; n < 64; ++n) EXPECT_LE(s.left[n], s.left[n - 1]);
    EXPECT_LT(s.left[63], 0.9f * s.left[50]);
    EXPECT_LT(s.left[50], 0.9f * s.left[40]);
}

TEST(CompExp, ClearStateRestartsTheDetectorAtFullScale) {
    auto comp = prepared<CompExp>({{CompExp::kThreshold, thresholdValue(-20.0)},
                                   {CompExp::kRatio, 1.0f},
                                   {CompExp::kAutoMakeup, kOff},
                                   {CompExp::kPeakRms, kOff},
                                   {CompExp::kRelease, timeValue(10.0)}});
    steadyOutput(*comp, 0.01f, 44100);
    comp->clearState();
    float first = steadyOutput(*comp, 0.01f, 1);
    EXPECT_NEAR(toDb(first / 0.01f), -20.0, 0.1);  // treated as a 0 dB signal
    EXPECT_NEAR(steadyOutput(*comp, 0.01f, 44100), 0.01f, 1e-6);
}

// --- Distortion -------------------------------------------------------------

namespace {

float typeValue(int type) { return discreteValue(type, Distortion::kNumTypeStates); }

std::unique_ptr<Distortion> shaper(int type, float drive = 0.0f, std::initializer_list<std::pair<int, float>> more = {},
                                   float rate = 44100.0f) {
    auto d = std::make_unique<Distortion>(0, nullptr);
    d->setParameter(Distortion::kType, typeValue(type));
    d->setParameter(Distortion::kDrive, drive);
    for (auto [i, v] : more) d->setParameter(i, v);
    d->setSampleRate(rate);
    return d;
}

// Drive value for a linear gain.
float driveValue(double gain) { return static_cast<float>(std::sqrt((std::pow(gain, 0.125) - 1.0) / 4.6234130859375)); }
float freqValue(double hz) { return static_cast<float>(std::log2(hz / 20.0) / 9.965784072875977); }

double harmonic(const std::vector<float>& s, double f, double rate, int k) {
    return amplitudeAt(s, k * f, rate, s.size() / 2, s.size());
}

}  // namespace

TEST(Distortion, ParametersTextsAndEditorConversions) {
    Distortion dist(2, nullptr);
    char text[kTextSize];
    dist.getTypeName(text);
    EXPECT_STREQ(text, "DISTORTION");
    ASSERT_EQ(dist.getNumParameters(), 6);
    // name (also the editor title), label, host text of the default
    const char* rows[6][3] = {{"drive", "dB", "0"},   {"freq", "Hz", "1000"}, {"bandwidth", "", "0.20"},
                              {"type", "", "0"},      {"diffuse", "", "off"}, {"xover", "", "off"}};
    for (int i = 0; i < 6; ++i) {
        dist.getParameterName(i, text);
        EXPECT_STREQ(text, rows[i][0]);
        dist.getParameterTitle(i, text);
        EXPECT_STREQ(text, rows[i][0]);
        dist.getParameterLabel(i, text);
        EXPECT_STREQ(text, rows[i][1]);
        dist.getParameterDisplay(i, text);
        EXPECT_STREQ(text, rows[i][2]) << i;
        EXPECT_EQ(dist.isModulatable(i), i < 3);
    }
    dist.getParameterName(6, text);
    EXPECT_STREQ(text, "---");
    struct TextRow {
        int index;
        float v;
        const char *host, *editor;
    };
    for (const TextRow& r : {TextRow{Distortion::kDrive, 1.0f, "120", "120.0 dB"},
                             TextRow{Distortion::kFreq, 1.0f, "20000", "20000 Hz"},
                             TextRow{Distortion::kBandwidth, 1.0f, "20.00", "20.0"},
                             TextRow{Distortion::kType, typeValue(Distortion::kAsymB), "4", "asym B"},
                             TextRow{Distortion::kType, typeValue(11), "11", "---"},
                             TextRow{Distortion::kDiffuse, 0.005f, "off", "off"},
                             TextRow{Distortion::kDiffuse, 0.5f, "50.0", "50.0"},
                             TextRow{Distortion::kXover, 0.75f, "on", "on"}}) {
        dist.setParameter(r.index, r.v);
        dist.getParameterDisplay(r.index, text);
        EXPECT_STREQ(text, r.host);
        dist.formatEditorValue(r.index, r.v, text, 0);
        EXPECT_STREQ(text, r.editor);
    }
    struct ParseRow {
        int index;
        const char* text;
        float v;
    };
    const ParseRow parses[] = {
        {Distortion::kDrive, "120", 1.0f},          {Distortion::kDrive, "-10", 0.0f},
        {Distortion::kFreq, "1k", 0.56632334f},     {Distortion::kFreq, "2.5 KHz", freqValue(2500.0)},
        {Distortion::kFreq, "440 Hz", freqValue(440.0)}, {Distortion::kFreq, "5", 0.0f},
        {Distortion::kBandwidth, "20", 1.0f},       {Distortion::kBandwidth, "0", 0.0f},
        {Distortion::kType, "CLIP", typeValue(Distortion::kClip)},
        {Distortion::kDiffuse, "35", 0.35f},        {Distortion::kDiffuse, "off", 0.0f},
    };
    for (const ParseRow& p : parses) {
        float v = -1.0f;
        ASSERT_TRUE(dist.parseEditorValue(p.index, p.text, v, 0)) << p.text;
        EXPECT_NEAR(v, p.v, 1e-6) << p.text;
    }
    float v;
    ASSERT_TRUE(dist.parseEditorValue(Distortion::kDrive, "40", v, 0));
    dist.formatEditorValue(Distortion::kDrive, v, text, 0);
    EXPECT_STREQ(text, "40.0 dB");
    EXPECT_FALSE(dist.parseEditorValue(Distortion::kNumParams, "1", v, 0));
}

TEST(Distortion, CurvesAtZeroDecibelDrive) {
    struct Point {
        int type;
        float in, out;
    };
    const Point points[] = {
        {Distortion::kSymA, 0.5f, 0.5f * 7.0f / 6.5f}, {Distortion::kSymA, 1.0f, 1.0f},
        {Distortion::kSymA, -0.5f, -0.53846f},          {Distortion::kSymB, 0.5f, 0.5f * 5.0f / 4.5f},
        {Distortion::kSymC, 0.5f, 0.5f * 3.0f / 2.5f},  {Distortion::kSymC, -1.0f, -1.0f},
        {Distortion::kClip, 0.7f, 0.7f},                {Distortion::kClip, -0.99f, -0.99f},
        {Distortion::kClip, 1.5f, 1.0f},                {Distortion::kClip, -3.0f, -1.0f},
        {7, 2.5f, 2.5f},                                {15, -4.0f, -4.0f},
    };
    for (const Point& p : points) {
        auto d = shaper(p.type);
        EXPECT_NEAR(steadyOutput(*d, p.in, 1), p.out, 1e-5) << p.type << " " << p.in;
    }
}

TEST(Distortion, SymmetricCurvesAreOddAndSaturateWithDrive) {
    const float drive = 100.0f;  // 40 dB
    for (int type : {Distortion::kSymA, Distortion::kSymB, Distortion::kSymC}) {
        float knee = type == Distortion::kSymA ? 6.0f : (type == Distortion::kSymB ? 4.0f : 2.0f);
        auto d = shaper(type, driveValue(drive));
        for (float in : {1e-4f, 0.01f, 0.3f, 5.0f}) EXPECT_FLOAT_EQ(steadyOutput(*d, -in, 1), -steadyOutput(*d, in, 1));
        // Small signals get (k + D)/k, large ones approach (k + D)/D.
        EXPECT_NEAR(steadyOutput(*d, 1e-5f, 1) / 1e-5f, (knee + drive) / knee, 0.01 * (knee + drive) / knee);
        EXPECT_NEAR(steadyOutput(*d, 1000.0f, 1), (knee + drive) / drive, 1e-3);
        // Odd curve: a sine gains odd harmonics only.
        StereoBuffer s = stereoSine(441.0, 44100.0, 8800, 0.5);  // whole periods in the measured half
        runOperator(*d, s);
        EXPECT_GT(harmonic(s.left, 441.0, 44100.0, 3), 0.01);
        EXPECT_LT(harmonic(s.left, 441.0, 44100.0, 2), 1e-4);
    }
    auto clip = shaper(Distortion::kClip, driveValue(drive));
    EXPECT_NEAR(steadyOutput(*clip, 0.005f, 1), 0.5f, 1e-3);
    EXPECT_FLOAT_EQ(steadyOutput(*clip, -0.2f, 1), -1.0f);
}

TEST(Distortion, AsymmetricCurvesMakeEvenHarmonicsAndTheirDcIsRemoved) {
    const float rate = 44100.0f;
    for (int type : {Distortion::kAsymA, Distortion::kAsymB, Distortion::kAsymC}) {
        auto d = shaper(type, driveValue(10.0));
        // A constant input decays to zero through the DC blocker.
        StereoBuffer dc(static_cast<size_t>(rate));
        std::fill(dc.left.begin(), dc.left.end(), 0.4f);
        std::fill(dc.right.begin(), dc.right.end(), -0.4f);
        runOperator(*d, dc);
        EXPECT_GT(std::fabs(dc.left[10]), 0.01f);
        EXPECT_LT(peak(dc.left, dc.size() - 4410), 1e-4) << type;
        EXPECT_LT(peak(dc.right, dc.size() - 4410), 1e-4) << type;
        // A sine: the curve is not odd, so the even harmonic shows, and the output has no DC.
        d->clearState();
        StereoBuffer s = stereoSine(441.0, rate, 22000, 0.5);
        runOperator(*d, s);
        EXPECT_GT(harmonic(s.left, 441.0, rate, 2), 0.01) << type;
        double mean = 0.0;
        for (size_t i = s.size() / 2; i < s.size(); ++i) mean += s.left[i];
        EXPECT_LT(std::fabs(mean / (s.size() / 2)), 1e-3) << type;
    }
}

TEST(Distortion, AsymmetricTransferMatchesTheCurveAtSeveralLevels) {
    // The first sample after a reset passes the DC blocker scaled by its b0,
    // so a single sample shows the curve itself.
    const double rate = 44100.0;
    double w = 2.0 * kPi * 10.0 / rate, alpha = std::sin(w) / std::sqrt(2.0);
    double b0 = (1.0 + std::cos(w)) * 0.5 / (1.0 + alpha);
    const double shapes[3][3] = {{1.385122751, 2.0, -0.8}, {1.332023709, 4.0, -0.6}, {1.445650638, 6.0, -0.4}};
    for (int k = 0; k < 3; ++k) {
        auto [scale, steep, offset] = shapes[k];
        for (double drive : {1.0, 31.6227766}) {
            auto d = shaper(Distortion::kAsymA + k, driveValue(drive));
            for (double u : {-2.0, -0.5, -0.1, -1e-3, 0.0, 1e-3, 0.05, 0.3, 1.0, 4.0, offset / drive + 1e-4}) {
                d->clearState();
                float l = static_cast<float>(u), r = static_cast<float>(u);
                d->processSample(&l, &r);
                double dr = static_cast<float>(drive == 1.0 ? 1.0 : Distortion::driveGain(driveValue(drive)));
                double t = dr * static_cast<float>(u) + 1e-15 - offset;
                double f = t == 0.0 ? 1.0 / steep : t / -std::expm1(-steep * t);
                double expected = b0 * scale * (f + 1e-15) / dr;
                EXPECT_NEAR(l, expected, 2e-6 * std::max(1.0, std::fabs(expected))) << k << " " << drive << " " << u;
                EXPECT_EQ(l, r);
            }
        }
    }
}

TEST(Distortion, AsymmetricCurveFollowsTheExactFormulaAcrossItsRange) {
    // A dense sweep through the zero of the curve's argument, where its two
    // forms meet, and out to where the exponential saturates, at 0, 30 and
    // 120 dB of drive. The first sample after a reset shows the curve scaled
    // by the DC blocker's b0.
    const double rate = 44100.0;
    double w = 2.0 * kPi * 10.0 / rate, alpha = std::sin(w) / std::sqrt(2.0);
    double b0 = (1.0 + std::cos(w)) * 0.5 / (1.0 + alpha);
    const double shapes[3][3] = {{1.385122751, 2.0, -0.8}, {1.332023709, 4.0, -0.6}, {1.445650638, 6.0, -0.4}};
    double worst = 0.0;
    for (int k = 0; k < 3; ++k) {
        auto [scale, steep, offset] = shapes[k];
        for (float driveParam : {0.0f, driveValue(31.6227766), 1.0f}) {
            auto d = shaper(Distortion::kAsymA + k, driveParam);
            double dr = Distortion::driveGain(driveParam);
            for (int i = -4000; i <= 4000; ++i) {
                // Arguments e t from -20 to 20, denser near 0.
                double et = 20.0 * (i / 4000.0) * std::fabs(i / 4000.0);
                float u = static_cast<float>((et / steep + offset) / dr);
                d->clearState();
                float l = u, r = u;
                d->processSample(&l, &r);
                double t = dr * u + 1e-15 - offset;
                double f = t == 0.0 ? 1.0 / steep : t / -std::expm1(-steep * t);
                double expected = b0 * scale * (f + 1e-15) / dr;
                double error = std::fabs(l - expected) / std::max(1.0, std::fabs(expected));
                worst = std::max(worst, error);
                ASSERT_LT(error, 1e-6) << k << " " << dr << " " << u;
            }
        }
    }
    RecordProperty("worstError", std::to_string(worst));  // about 3e-7: two float steps
}

TEST(Distortion, AsymmetricCurveIsSmoothWhereItsArgumentCrossesZero) {
    // asym A: t = D u + 0.8 is zero at u = -0.8 / D, where t / (1 - exp(-2t))
    // is 0 / 0 and its neighbours cancel their digits away.
    auto d = shaper(Distortion::kAsymA);
    float previous = -1.0f;
    for (float u = -0.80002f; u < -0.79998f; u = std::nextafter(u, 0.0f)) {
        d->clearState();
        float l = u, r = u;
        d->processSample(&l, &r);
        ASSERT_TRUE(std::isfinite(l)) << u;
        ASSERT_GE(l, previous) << u;  // the curve rises everywhere
        previous = l;
    }
}

TEST(Distortion, CrossoverLeavesTheSignalOutsideTheBandUntouched) {
    const float rate = 44100.0f;
    const size_t n = 44100;
    auto mixed = [&](bool xover) {
        auto d = shaper(Distortion::kClip, 0.0f,
                        {{Distortion::kFreq, freqValue(3000.0)},
                         {Distortion::kBandwidth, 1.0f},
                         {Distortion::kXover, xover ? kOn : kOff}});
        StereoBuffer s(n);
        std::vector<float> low = sine(100.0, rate, n, 0.8), band = sine(3000.0, rate, n, 2.0);
        for (size_t i = 0; i < n; ++i) s.left[i] = s.right[i] = low[i] + band[i];
        runOperator(*d, s);
        return s;
    };
    StereoBuffer split = mixed(true), whole = mixed(false);
    // The 100 Hz part passes (within the band-pass leakage), the 3 kHz band is clipped.
    EXPECT_NEAR(amplitudeAt(split.left, 100.0, rate, n / 2, n), 0.8, 0.008);
    EXPECT_LT(amplitudeAt(split.left, 3000.0, rate, n / 2, n), 1.6);
    // Without the crossover the whole sum is clipped, the low tone included.
    EXPECT_LT(amplitudeAt(whole.left, 100.0, rate, n / 2, n), 0.6);

    // Without a curve the band and the rest sum back to the input exactly (to rounding).
    auto none = shaper(9, 1.0f, {{Distortion::kXover, kOn}, {Distortion::kBandwidth, 0.3f}});
    StereoBuffer s = stereoSine(1000.0, rate, 4096, 0.9);
    StereoBuffer in = s;
    runOperator(*none, s);
    for (size_t i = 0; i < s.size(); ++i) ASSERT_NEAR(s.left[i], in.left[i], 1e-5);
}

TEST(Distortion, CrossoverCentreAboveAQuarterOfTheRateActsAtItsMirror) {
    const float rate = 44100.0f;
    // Small signals: sym C at drive 10 boosts the band by (2 + 10)/2 = 6, so the
    // gain peaks where the band is.
    auto gainAtFreq = [&](double centreHz, double probeHz) {
        auto d = shaper(Distortion::kSymC, driveValue(10.0),
                        {{Distortion::kFreq, freqValue(centreHz)}, {Distortion::kBandwidth, 0.5f}, {Distortion::kXover, kOn}});
        const size_t n = 13230;
        StereoBuffer s = stereoSine(probeHz, rate, n, 1e-4);
        runOperator(*d, s);
        return amplitudeAt(s.left, probeHz, rate, n / 2, n) / 1e-4;
    };
    EXPECT_GT(gainAtFreq(1000.0, 1000.0), 5.0);
    EXPECT_LT(gainAtFreq(1000.0, 100.0), 1.2);
    // 20 kHz at 44.1 kHz acts like 22050 - 20000 = 2050 Hz.
    EXPECT_GT(gainAtFreq(20000.0, 2050.0), 5.0);
    EXPECT_LT(gainAtFreq(20000.0, 19000.0), 1.5);
}

// Above half the rate the band's sine term turns negative and its poles
// leave the unit circle; the centre is held below half the rate instead.
TEST(Distortion, CrossoverCentreAboveHalfTheRateStaysStable) {
    for (double centreHz : {4100.0, 6000.0, 7900.0, 20000.0}) {
        auto d = shaper(Distortion::kSymA, 0.0f, {{Distortion::kFreq, freqValue(centreHz)}, {Distortion::kXover, kOn}},
                        8000.0f);
        StereoBuffer s(8000);
        s.left = s.right = noise(8000, 1.0, 9);
        runOperator(*d, s);
        EXPECT_LT(peak(s.left), 10.0) << centreHz;
    }
}

TEST(Distortion, DiffuseCrossingTheSwitchPointClearsTheMemoriesOnce) {
    auto d = shaper(9, 0.0f, {{Distortion::kDiffuse, 0.5f}});
    StereoBuffer s(64);
    s.left[0] = s.right[0] = 1.0f;  // impulse into the diffusers
    int tick = 0;
    runOperator(*d, s, {}, &tick);
    StereoBuffer tail(256);
    // Staying above 0.01 keeps the diffuser's tail ringing.
    d->setParameter(Distortion::kDiffuse, 0.9f);
    runOperator(*d, tail, {}, &tick);
    EXPECT_GT(peak(tail.left, 64), 1e-3);
    // Off and on again: each crossing clears, the tail is gone.
    d->setParameter(Distortion::kDiffuse, 0.005f);
    StereoBuffer silent(64);
    runOperator(*d, silent, {}, &tick);
    d->setParameter(Distortion::kDiffuse, 0.5f);
    StereoBuffer after(256);
    runOperator(*d, after, {}, &tick);
    EXPECT_EQ(peak(after.left, 32), 0.0);
    // The switch clears once: a later impulse rings on through further changes above 0.01.
    StereoBuffer again(64);
    again.left[0] = 1.0f;
    runOperator(*d, again, {}, &tick);
    d->setParameter(Distortion::kDiffuse, 0.3f);
    StereoBuffer ring(128);
    runOperator(*d, ring, {}, &tick);
    EXPECT_GT(peak(ring.left, 64), 1e-4);
}

TEST(Distortion, DriveIsModulatedPerChannel) {
    auto d = shaper(Distortion::kSymA, 0.0f);
    StereoBuffer s(256);
    std::fill(s.left.begin(), s.left.end(), 1e-5f);
    s.right = s.left;
    runOperator(*d, s, {{Distortion::kDrive, driveValue(60.0), 0.0f}});
    EXPECT_NEAR(s.left.back() / 1e-5f, 11.0f, 0.01f);  // (6 + 60) / 6
    EXPECT_NEAR(s.right.back() / 1e-5f, 7.0f / 6.0f, 1e-3f);
}

// --- both ------------------------------------------------------------------

// Every parameter extreme, at every rate, with +20 dBFS noise on the input
// and on every tap, while modulation pushes the modulatable values around.
TEST(Dynamics, StayFiniteAtEveryRateWithLoudNoiseAndExtremeSettings) {
    const float rates[] = {8000.0f, 11025.0f, 44100.0f, 96000.0f, 192000.0f, 384000.0f};
    std::vector<float> noiseL = noise(1024, 10.0, 3), noiseR = noise(1024, 10.0, 4);
    unsigned seed = 12345;
    auto random = [&]() {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) * (1.0f / 16777216.0f);
    };
    char name[kTextSize];
    createOperator(kOpCompExp, 0, nullptr)->getTypeName(name);
    EXPECT_STREQ(name, "COMP/EXP");
    createOperator(kOpDistortion, 0, nullptr)->getTypeName(name);
    EXPECT_STREQ(name, "DISTORTION");
    for (int type : {kOpCompExp, kOpDistortion}) {
        for (int combo = 0; combo < 48; ++combo) {
            auto op = createOperator(type, 0, nullptr);
            for (int i = 0; i < op->getNumParameters(); ++i) {
                float r = random();
                op->setParameter(i, r < 0.35f ? 0.0f : (r < 0.7f ? 1.0f : random()));
            }
            std::vector<TickModulation> modulation;
            for (int i = 0; i < op->getNumParameters(); ++i)
                if (op->isModulatable(i)) modulation.push_back({i, random() * 2.0f - 1.0f, random() * 2.0f - 1.0f});
            for (float rate : {rates[combo % 6], rates[(combo + 3) % 6]}) {
                op->setSampleRate(rate);
                StereoBuffer s(1024);
                s.left = noiseL;
                s.right = noiseR;
                runKeyed(*op, s, [&](size_t n, float* l, float* r) {
                    for (int t = 0; t < kNumTaps; ++t) {
                        l[t] = noiseR[(n + 7 * t) % 1024];
                        r[t] = combo % 2 ? 0.0f : noiseL[(n + 5 * t) % 1024];
                    }
                }, modulation);
                ASSERT_TRUE(allFinite(s.left) && allFinite(s.right)) << type << " combo " << combo << " at " << rate;
            }
            op->clearState();
        }
    }
}
