// What the four modulators share: the factory, host suspend, and a module
// created in one slot naming its parameters' global indices.

#include <gtest/gtest.h>

#include "ModulatorSupport.h"
#include "modulators/ADSR.h"
#include "modulators/ENV.h"
#include "modulators/LFO.h"
#include "modulators/STEP.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"

using namespace vh;
using namespace vh::test;

TEST(ModulatorTypes, FactoryBuildsEachModulator) {
    const int counts[] = {0, 8, 7, 12, 38};
    for (int t = kModLfo; t <= kModStep; ++t) {
        auto mod = createModulator(t, 3, nullptr);
        char name[kTextSize];
        mod->getTypeName(name);
        EXPECT_STREQ(name, modulatorTypeLabel(t));
        EXPECT_EQ(mod->getNumParameters(), counts[t]);
        EXPECT_EQ(mod->globalIndex(0), param::modParam(3, 0));
        // Every parameter starts at its default (the step state is stored as 0.5).
        for (int i = 0; i < mod->getNumParameters(); ++i) {
            if (t == kModStep && i == STEP::kState) continue;
            EXPECT_FLOAT_EQ(mod->getParameter(i), mod->getParameterDefault(i));
        }
        mod->setSampleRate(48000.0f);
        StereoBuffer out = runModulator(*mod, 256);
        EXPECT_TRUE(allFinite(out.left) && allFinite(out.right));
    }
}

TEST(ModulatorTypes, ClearStateForgetsRunningState) {
    LFO lfo(0, nullptr);
    lfo.setSampleRate(44100.0f);
    runModulator(lfo, 10000);
    lfo.clearState();
    EXPECT_EQ(lfo.phase(), 0.0f);
    float l, r;
    lfo.processSample(&l, &r);
    EXPECT_EQ(l, 0.0f);  // smoothed output restarts from 0 at phase 0

    ENV env(0, nullptr);
    env.setSampleRate(44100.0f);
    runModulator(env, 1000, {}, nullptr, [](size_t, float* tl, float* tr) { tl[0] = tr[0] = 1.0f; });
    env.clearState();
    env.processSample(&l, &r);
    EXPECT_EQ(l, 0.0f);

    ADSR adsr(0, nullptr);
    adsr.setParameter(ADSR::kTrigger, 1.0f);
    adsr.setSampleRate(44100.0f);
    runModulator(adsr, 5000);
    adsr.clearState();
    EXPECT_EQ(adsr.stage(0), ADSR::kStageIdle);
    EXPECT_EQ(adsr.stage(1), ADSR::kStageIdle);

    STEP step(0, nullptr);
    step.setSampleRate(44100.0f);
    runModulator(step, 20000);
    ASSERT_GT(step.stepPosition(), 0);
    step.clearState();
    EXPECT_EQ(step.stepPosition(), 0);
    EXPECT_EQ(step.stepPhase(), 0.0f);
}
