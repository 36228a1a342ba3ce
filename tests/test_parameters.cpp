// The engine's parameter list through the binary interface: names, texts,
// what each write does, and module replacement.

#include <gtest/gtest.h>

#include <cmath>

#include "ModuleHarness.h"
#include "PluginHost.h"
#include "modules/ParameterLayout.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"

using namespace vh;
using namespace vh::test;

namespace {
float typeValue(int type) { return discreteValue(type, kNumTypeSteps); }

// Steady-state gain of the plug-in for a 1 kHz sine (left channel).
double gainThrough(PluginHost& host, size_t n = 8192) {
    auto s = sine(1000.0, host.sampleRate, n, 0.25);
    std::vector<float> l = s, r = s;
    host.process(l, r, 256);
    return rms(l, n / 2) / rms(s, n / 2);
}

struct Opened : PluginHost {
    explicit Opened(float rate = 44100.0f) {
        EXPECT_TRUE(open(rate));
        set(param::kOutLimiter, 0.5f / 16.0f);
    }
};
}  // namespace

TEST(Parameters, NamesFollowTheLayout) {
    Opened host;
    EXPECT_EQ(host.name(0), "Power");
    EXPECT_EQ(host.name(5), "KNOB2");
    EXPECT_EQ(host.name(13), "OP2 type");
    EXPECT_EQ(host.name(16), "OP1 atten");
    EXPECT_EQ(host.name(17), "OP1 ---");
    EXPECT_EQ(host.name(80), "MOD1 type");
    EXPECT_EQ(host.name(84), "MOD1 ---");
    EXPECT_EQ(host.name(236), "SLOT1 SENS");
    EXPECT_EQ(host.name(252), "DryDly");
    EXPECT_EQ(host.name(253), "IN->OP1");
    EXPECT_EQ(host.name(257 + 4 * 1 + 2), "OP2->OP3");
    EXPECT_EQ(host.name(276), "OP4->OUT");
    EXPECT_EQ(host.name(277), "Tempo");
    EXPECT_EQ(host.name(278), "PPQOffset");
    EXPECT_EQ(host.name(300), "");
    EXPECT_EQ(host.label(1), "dB");
    EXPECT_EQ(host.label(2), "%");
    EXPECT_EQ(host.label(252), "smpl/ms");
    EXPECT_EQ(host.label(277), "bpm");
    EXPECT_EQ(host.label(16), "dB");
    EXPECT_EQ(host.label(0), "");
}

TEST(Parameters, DisplayTexts) {
    Opened host;
    EXPECT_EQ(host.display(0), "on");
    host.set(0, 0.2f);
    EXPECT_EQ(host.display(0), "off");
    EXPECT_EQ(host.display(1), "0");  // 4 * 0.5^2 = unity
    host.set(1, 0.0f);
    EXPECT_EQ(host.display(1), "-oo");
    host.set(1, 1.0f);
    EXPECT_EQ(host.display(1), "12");
    host.set(4, 0.333f);
    EXPECT_EQ(host.display(4), "33.3");
    EXPECT_EQ(host.display(12), "GAIN");
    host.set(236, 0.75f);
    EXPECT_EQ(host.display(236), "50.0");
    EXPECT_EQ(host.display(253), "0");
    host.set(253, 0.5f);
    EXPECT_EQ(host.display(253), "-12");
    host.set(254, 0.0f);
    EXPECT_EQ(host.display(254), "-oo");
    EXPECT_EQ(host.display(277), "auto");  // the flat preset follows the host tempo
    host.set(412, 0.1f);
    EXPECT_EQ(host.display(277), "120.00");
    host.set(277, 1.0f);
    EXPECT_EQ(host.display(277), "300.00");
    host.set(278, 0.5f);
    EXPECT_EQ(host.display(278), "8");
}

TEST(Parameters, DryDelayLengthScalesWithTheRate) {
    for (auto [rate, text] : {std::pair{44100.0f, "8192 (185.8 ms)"}, {96000.0f, "16384 (170.7 ms)"},
                              {192000.0f, "32768 (170.7 ms)"}}) {
        Opened host(rate);
        host.set(param::kDryDly, 1.0f);
        EXPECT_EQ(host.display(param::kDryDly), text) << rate;
    }
}

TEST(Parameters, DryDelayDelaysTheDrySignal) {
    Opened host;
    host.set(param::kMix, 0.0f);
    host.set(param::kDryDly, 100.0f * 4 / 32769.0f + 1e-6f);  // 100 samples
    std::vector<float> settle(44100, 0.0f), settleR(44100, 0.0f);
    host.process(settle, settleR);  // let the mix control settle
    std::vector<float> l(512, 0.0f), r(512, 0.0f);
    l[10] = 1.0f;
    host.process(l, r, 64);
    EXPECT_NEAR(l[110], 1.0f, 1e-4f);
    EXPECT_NEAR(l[109], 0.0f, 1e-6f);
}

TEST(Parameters, UnknownLimiterModeKeepsTheLimiterOn) {
    Opened host;
    host.set(param::kOutLimiter, 0.9f);
    // Not automatable, but described like every stored value.
    EXPECT_EQ(host.text(vst::effGetParamDisplay, param::kOutLimiter), "n/a");
    std::vector<float> l(300, 0.0f), r(300, 0.0f);
    l[0] = 0.5f;
    host.process(l, r, 64);
    EXPECT_NEAR(l[131], 0.5f, 1e-5f);
}

TEST(Parameters, ReservedIndicesLiveInThePresetOnly) {
    Opened host;
    EXPECT_EQ(host.name(300), "");
    host.set(300, 0.7f);
    EXPECT_FLOAT_EQ(host.get(300), 0.7f);
    EXPECT_EQ(host.display(300), "");
}

TEST(Parameters, AttenuationAndMatrixGainsAreAudible) {
    Opened host;
    EXPECT_NEAR(gainThrough(host), 1.0, 1e-3);
    host.set(16, 0.5f);  // OP1 atten: 0.5^3
    EXPECT_NEAR(gainThrough(host), 0.125, 1e-3);
    host.set(253, 0.5f);  // IN->OP1 at 0.5 is a gain of 0.25
    EXPECT_NEAR(gainThrough(host), 0.125 * 0.25, 1e-4);
}

TEST(Parameters, SameTypeDoesNotRecreateTheModule) {
    Opened host;
    host.set(16, 0.5f);
    host.set(12, 0.9f / kNumTypeSteps);  // still type 0
    EXPECT_NEAR(gainThrough(host), 0.125, 1e-3);
}

TEST(Parameters, TypeChangeFromTheHostKeepsModuleAndMirrorInStep) {
    // A new module takes the slot's remembered values for its type: the
    // defaults the first time, the last values on the way back.
    Opened host;
    host.set(16, 0.5f);
    host.set(12, typeValue(8));  // DELAY
    EXPECT_EQ(host.display(12), "DELAY");
    auto delay = vh::createOperator(8, 0, nullptr);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(host.get(param::opParam(0, i)), delay->getParameterDefault(i)) << i;
    host.set(12, typeValue(0));  // back to GAIN at its remembered 0.5
    EXPECT_FLOAT_EQ(host.get(16), 0.5f);
    EXPECT_NEAR(gainThrough(host), 0.125, 1e-3);
}

TEST(Parameters, TypeChangeClearsDestinationsOfTheSlot) {
    Opened host;
    float toOp1Atten = discreteValue(destOpParam(0, 0), kNumDestinations);
    float toOp2Atten = discreteValue(destOpParam(1, 0), kNumDestinations);
    host.set(331, toOp1Atten);
    host.set(332, toOp2Atten);
    host.set(12, typeValue(13));
    EXPECT_FLOAT_EQ(host.get(331), discreteValue(259, 260));
    EXPECT_FLOAT_EQ(host.get(332), toOp2Atten);
    // Type numbers without a class still give a working GAIN.
    host.set(12, typeValue(40));
    EXPECT_EQ(host.display(12), "GAIN");
}

TEST(Parameters, BypassPassesTheEncodedInputAfterACrossfade) {
    Opened host;
    host.set(16, 0.0f);  // OP1 silent
    EXPECT_LT(gainThrough(host), 1e-4);
    host.set(307, 0.75f);
    EXPECT_NEAR(gainThrough(host), 1.0, 1e-3);
}

TEST(Parameters, PolarityInversionPerOperator) {
    Opened host;
    std::vector<float> l(256, 0.0f), r(256, 0.0f);
    l[64] = 0.5f;
    host.set(414, (1 + 0.5f) / 16.0f);
    host.process(l, r, 64);
    EXPECT_NEAR(l[67], -0.5f, 1e-5f);
    EXPECT_EQ(host.display(414), "1");  // not automatable, but described
}

TEST(Parameters, EditorPagesAnswerTheirChoice) {
    Opened host;
    EXPECT_FLOAT_EQ(host.get(417), 0.125f);  // Curr OP 0
    EXPECT_FLOAT_EQ(host.get(418), 0.375f);  // Curr MAIN 1
    host.set(418, 0.99f);
    EXPECT_FLOAT_EQ(host.get(418), 0.875f);
}

TEST(Parameters, FilterToFilterKeepsModulationDestinations) {
    Opened host;
    float toOp1Param1 = discreteValue(destOpParam(0, 1), kNumDestinations);
    host.set(12, typeValue(2));  // SVF
    host.set(331, toOp1Param1);
    host.set(12, typeValue(1));  // BIQUAD: still a filter
    EXPECT_FLOAT_EQ(host.get(331), toOp1Param1);
    host.set(12, typeValue(0));  // GAIN
    EXPECT_FLOAT_EQ(host.get(331), discreteValue(259, 260));
    host.set(331, toOp1Param1);
    host.set(12, typeValue(1));  // from GAIN to a filter: reset
    EXPECT_FLOAT_EQ(host.get(331), discreteValue(259, 260));
    // Modulator replacement always resets its destinations.
    host.set(80, typeValue(1));
    host.set(332, discreteValue(destModParam(0, 0), kNumDestinations));
    host.set(80, typeValue(2));
    EXPECT_FLOAT_EQ(host.get(332), discreteValue(259, 260));
}

TEST(Parameters, EveryModuleTypeRunsInsideThePlugin) {
    // Each operator in every slot and each modulator, with noise at +20 dBFS
    // and all parameters at an extreme: the output stays finite.
    for (float rate : {8000.0f, 44100.0f, 192000.0f}) {
        for (int type = 0; type < 19; ++type) {
            Opened host(rate);
            for (int s = 0; s < 4; ++s) host.set(12 + s, typeValue(type));
            host.set(80, typeValue(1 + type % 4));
            host.set(param::kSlotSource1, discreteValue(0, 149));
            host.set(param::kSlotDest1, discreteValue(destOpParam(0, 1), kNumDestinations));
            host.set(param::kSlotSens1, 1.0f);
            for (int i = 16; i < 80; ++i) host.set(i, (i + type) % 2 ? 1.0f : 0.0f);
            for (int i = 257; i < 273; ++i) host.set(i, 1.0f);  // every feedback path open
            auto s = noise(static_cast<size_t>(rate / 2), 10.0, type + 1);
            std::vector<float> l = s, r = s;
            host.process(l, r, 1024);
            ASSERT_TRUE(allFinite(l) && allFinite(r)) << "type " << type << " at " << rate;
            EXPECT_EQ(host.display(12), host.display(13));
        }
    }
}
