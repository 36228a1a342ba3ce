// Gain, Stereo, Panner, PhaseInv, SideMix and Rectifier: signals in, signals out.

#include <gtest/gtest.h>

#include <memory>

#include "ModuleHarness.h"
#include "operators/Gain.h"
#include "operators/Panner.h"
#include "operators/PhaseInv.h"
#include "operators/Rectifier.h"
#include "operators/SideMix.h"
#include "operators/Stereo.h"

using namespace vh;
using namespace vh::test;

namespace {
template <class Op>
std::unique_ptr<Op> prepared(std::initializer_list<std::pair<int, float>> params) {
    auto op = std::make_unique<Op>(0, nullptr);
    for (auto [i, v] : params) op->setParameter(i, v);
    op->setSampleRate(44100.0f);
    return op;
}

void processOne(Operator& op, float& l, float& r, int samples = 64) {
    float outL = 0, outR = 0;
    float zeros[kNumTaps] = {};
    for (int i = 0; i < samples; ++i) {
        outL = l;
        outR = r;
        op.setInputs(zeros, zeros);
        op.processSample(&outL, &outR);
    }
    l = outL;
    r = outR;
}
}  // namespace

TEST(Gain, CubicCurveAndTexts) {
    auto gain = prepared<Gain>({{0, 0.5f}});
    float l = 1.0f, r = -1.0f;
    processOne(*gain, l, r);
    EXPECT_FLOAT_EQ(l, 0.125f);
    EXPECT_FLOAT_EQ(r, -0.125f);
    char text[kTextSize];
    gain->getParameterDisplay(0, text);
    EXPECT_STREQ(text, "-18");
    gain->formatEditorValue(0, 0.5f, text, 0);
    EXPECT_STREQ(text, "-18.1 dB");
    float v;
    ASSERT_TRUE(gain->parseEditorValue(0, "-oo", v, 0));
    EXPECT_EQ(v, 0.0f);
    ASSERT_TRUE(gain->parseEditorValue(0, "6", v, 0));
    EXPECT_EQ(v, 1.0f);
    ASSERT_TRUE(gain->parseEditorValue(0, "-120", v, 0));
    EXPECT_EQ(v, 0.0f);
    ASSERT_TRUE(gain->parseEditorValue(0, "-18.06", v, 0));
    EXPECT_NEAR(v, 0.5f, 1e-4);
}

TEST(Gain, ModulationRampsOverOneTickWithoutSteps) {
    Gain gain(0, nullptr);
    gain.setSampleRate(44100.0f);
    StereoBuffer s(128);
    std::fill(s.left.begin(), s.left.end(), 1.0f);
    s.right = s.left;
    runOperator(gain, s, {{0, -1.0f, 0.0f}});  // left modulated to silence, right untouched
    // Up to the first tick unity, then a ramp of 32 samples to 0.
    EXPECT_FLOAT_EQ(s.left[30], 1.0f);
    for (int i = 32; i < 63; ++i) EXPECT_LT(s.left[i], s.left[i - 1]);
    EXPECT_NEAR(s.left[63], 0.0f, 1e-6);
    EXPECT_FLOAT_EQ(s.right[100], 1.0f);
}

TEST(Stereo, WidthAndBalance) {
    {
        auto st = prepared<vh::Stereo>({});
        float l = 0.3f, r = -0.1f;
        processOne(*st, l, r);
        EXPECT_NEAR(l, 0.3f, 1e-6);
        EXPECT_NEAR(r, -0.1f, 1e-6);
    }
    {
        auto mono = prepared<vh::Stereo>({{1, 0.0f}});
        float l = 0.3f, r = -0.1f;
        processOne(*mono, l, r);
        EXPECT_NEAR(l, 0.1f, 1e-6);
        EXPECT_NEAR(r, 0.1f, 1e-6);
    }
    {
        auto wide = prepared<vh::Stereo>({{1, 1.0f}});
        float l = 0.3f, r = -0.1f;  // mid 0.1, side 0.2 doubled to 0.4
        processOne(*wide, l, r);
        EXPECT_NEAR(l, 0.5f, 1e-6);
        EXPECT_NEAR(r, -0.3f, 1e-6);
    }
    {
        auto right = prepared<vh::Stereo>({{0, 1.0f}});
        float l = 0.3f, r = 0.3f;
        processOne(*right, l, r);
        EXPECT_NEAR(l, 0.0f, 1e-6);
        EXPECT_NEAR(r, 0.6f, 1e-6);
    }
    vh::Stereo st(0, nullptr);
    char text[kTextSize];
    st.formatEditorValue(0, 0.5f, text, 0);
    EXPECT_STREQ(text, "CENTER");
    st.formatEditorValue(0, 0.25f, text, 0);
    EXPECT_STREQ(text, "LEFT:50");
    st.setParameter(0, 0.9f);
    st.getParameterDisplay(0, text);
    EXPECT_STREQ(text, "R:80");
    st.formatEditorValue(1, 0.5f, text, 0);
    EXPECT_STREQ(text, "100.0 %");
}

TEST(Panner, PositionsAndBalanceParse) {
    auto centre = prepared<Panner>({{0, 0.5f}, {1, 0.5f}});
    float l = 1.0f, r = 0.5f;
    processOne(*centre, l, r);
    EXPECT_NEAR(l, 0.75f, 1e-6);
    EXPECT_NEAR(r, 0.75f, 1e-6);
    auto swap = prepared<Panner>({{0, 1.0f}, {1, 0.0f}});
    l = 1.0f, r = 0.5f;
    processOne(*swap, l, r);
    EXPECT_NEAR(l, 0.5f, 1e-6);
    EXPECT_NEAR(r, 1.0f, 1e-6);
    Panner p(0, nullptr);
    float v;
    ASSERT_TRUE(p.parseEditorValue(0, "L:30", v, 0));
    EXPECT_FLOAT_EQ(v, 0.35f);
    ASSERT_TRUE(p.parseEditorValue(1, "R 20", v, 0));
    EXPECT_FLOAT_EQ(v, 0.6f);
    ASSERT_TRUE(p.parseEditorValue(1, "C", v, 0));
    EXPECT_FLOAT_EQ(v, 0.5f);
    ASSERT_TRUE(p.parseEditorValue(1, "left:250", v, 0));
    EXPECT_FLOAT_EQ(v, 0.0f);
}

TEST(PhaseInv, InvertsBothChannelsAtTheNextTick) {
    PhaseInv inv(0, nullptr);
    inv.setSampleRate(44100.0f);
    inv.setParameter(0, 0.75f);
    float l = 0.5f, r = -0.25f;
    inv.processSample(&l, &r);
    EXPECT_EQ(l, 0.5f);  // not before the tick
    inv.update();
    inv.processSample(&l, &r);
    EXPECT_EQ(l, -0.5f);
    EXPECT_EQ(r, 0.25f);
    char text[kTextSize];
    inv.getParameterDisplay(0, text);
    EXPECT_STREQ(text, "-");
    inv.formatEditorValue(0, 0.2f, text, 0);
    EXPECT_STREQ(text, "positive (+)");
    EXPECT_FALSE(inv.isModulatable(0));
}

TEST(SideMix, EqualPowerCrossfadeWithTheSideChain) {
    auto mix = prepared<SideMix>({{0, 0.5f}});
    float tapsL[kNumTaps] = {}, tapsR[kNumTaps] = {};
    tapsL[kTapSideChain] = 1.0f;
    tapsR[kTapSideChain] = -1.0f;
    float l = 0, r = 0;
    for (int i = 0; i < 4; ++i) {
        l = 1.0f;
        r = 0.0f;
        mix->setInputs(tapsL, tapsR);
        mix->processSample(&l, &r);
    }
    EXPECT_NEAR(l, 2.0f * std::sqrt(0.5f), 1e-6);
    EXPECT_NEAR(r, -std::sqrt(0.5f), 1e-6);
    char text[kTextSize];
    mix->getParameterDisplay(0, text);
    EXPECT_STREQ(text, "M50<>50S");
    EXPECT_FLOAT_EQ(SideMix::parseSideMix("M70"), 0.3f);
    EXPECT_FLOAT_EQ(SideMix::parseSideMix("30 - 70"), 0.7f);
    EXPECT_FLOAT_EQ(SideMix::parseSideMix("S25"), 0.25f);
    EXPECT_FLOAT_EQ(SideMix::parseSideMix("M20<>80S"), 0.8f);
    EXPECT_FLOAT_EQ(SideMix::parseSideMix("400"), 1.0f);
}

TEST(Rectifier, RectifiesAndRemovesTheDc) {
    Rectifier rect(0, nullptr);
    rect.setSampleRate(44100.0f);
    rect.setParameter(0, 1.0f);
    rect.update();
    float first = 0;
    float last = 0;
    for (int i = 0; i < 44100 * 2; ++i) {
        float l = -0.5f, r = -0.5f;
        rect.processSample(&l, &r);
        if (i == 0) first = l;
        last = l;
    }
    EXPECT_GT(first, 0.4f);  // rectified: positive from the start
    EXPECT_NEAR(last, 0.0f, 1e-4);
    // Off: the samples pass unchanged.
    rect.setParameter(0, 0.0f);
    rect.update();
    float l = -0.5f, r = 0.25f;
    rect.processSample(&l, &r);
    EXPECT_EQ(l, -0.5f);
    EXPECT_EQ(r, 0.25f);
}
