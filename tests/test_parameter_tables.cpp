// What every module type's parameter description promises its two readers,
// the host and the editor: short names, lists whose items read back as
// themselves, switches that are lists, and units that follow their switch.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "modulators/ADSR.h"
#include "modulators/LFO.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"
#include "modules/ParameterTable.h"
#include "operators/CompExp.h"
#include "operators/DelayLine.h"
#include "operators/Phaser.h"

using namespace vh;

namespace {

template <class Module>
void expectCoherentDescription(Module& module, const std::string& type) {
    char text[kTextSize];
    for (int i = 0; i < module.getNumParameters(); ++i) {
        SCOPED_TRACE(type + " parameter " + std::to_string(i));
        module.getParameterName(i, text);
        EXPECT_STRNE(text, "---");
        float v = module.getParameterDefault(i);
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f);

        int steps = module.getParameterSteps(i), choices = module.getParameterChoices(i);
        EXPECT_LE(choices, steps);
        // Every offered item, written as the editor writes it, reads back as
        // that item where the list takes typed names at all.
        for (int item = 0; item < choices; ++item) {
            module.formatEditorValue(i, discreteValue(item, steps), text, module.editorMode(i));
            float back = -1.0f;
            if (module.parseEditorValue(i, text, back, module.editorMode(i))) {
                EXPECT_EQ(discreteIndex(back, steps), item) << text;
            }
        }
        int k = module.getParameterTextSwitch(i);
        if (k >= 0) {
            EXPECT_LT(k, module.getNumParameters());
            EXPECT_GT(module.getParameterSteps(k), 0) << "a text switch is a list";
        }
    }
    // Beyond the table the host reads "---" as the name.
    module.getParameterName(module.getNumParameters(), text);
    EXPECT_STREQ(text, "---");
}

}  // namespace

TEST(ParameterTables, EveryTypeDescribesItsParametersCoherently) {
    for (int t = 0; t < kNumOperatorTypes; ++t) {
        auto op = createOperator(t, 0, nullptr);
        expectCoherentDescription(*op, operatorTypeLabel(t));
    }
    for (int t = 0; t < kNumModulatorTypes; ++t) {
        auto mod = createModulator(t, 0, nullptr);
        expectCoherentDescription(*mod, modulatorTypeLabel(t));
    }
}

TEST(ParameterTables, UnitLabelsFollowTheirSwitch) {
    char label[kTextSize];
    LFO lfo(0, nullptr);
    lfo.setParameter(LFO::kMode, discreteValue(0, LFO::kNumModes));
    lfo.getParameterLabel(LFO::kRate, label);
    EXPECT_STREQ(label, "Hz");
    lfo.setParameter(LFO::kMode, discreteValue(1, LFO::kNumModes));
    lfo.getParameterLabel(LFO::kRate, label);
    EXPECT_STREQ(label, "");
    lfo.getParameterLabel(LFO::kDepth, label);
    EXPECT_STREQ(label, "%");

    DelayLine delay(0, nullptr);
    delay.getParameterLabel(DelayLine::kTimeL, label);
    EXPECT_STREQ(label, "");
    delay.setParameter(DelayLine::kMode, discreteValue(DelayLine::kTimeBased, 2));
    delay.getParameterLabel(DelayLine::kTimeL, label);
    EXPECT_STREQ(label, "ms");

    ADSR adsr(0, nullptr);
    adsr.setParameter(ADSR::kMode, discreteValue(1, ADSR::kNumModes));
    adsr.getParameterLabel(ADSR::kRelease, label);
    EXPECT_STREQ(label, "");
    adsr.getParameterLabel(ADSR::kSustain, label);
    EXPECT_STREQ(label, "dB");
}

TEST(ParameterTables, LinearTextsClampTypedNumbersAndKeepTheirPolicyOnText) {
    float v = -1.0f;
    CompExp comp(0, nullptr);
    ASSERT_TRUE(comp.parseEditorValue(CompExp::kThreshold, "-90", v, 0));
    EXPECT_FLOAT_EQ(v, 0.0f);
    ASSERT_TRUE(comp.parseEditorValue(CompExp::kMakeup, "+12", v, 0));
    EXPECT_FLOAT_EQ(v, 0.6f);
    char text[kTextSize];
    comp.formatEditorValue(CompExp::kMakeup, 0.6f, text, 0);
    EXPECT_STREQ(text, "12.0 dB");
    // The phaser refuses a typed entry without a number; the LFO reads it
    // as 0 like atof.
    Phaser phaser(0, nullptr);
    v = 0.5f;
    EXPECT_FALSE(phaser.parseEditorValue(Phaser::kDepth, "deep", v, 0));
    EXPECT_FLOAT_EQ(v, 0.5f);
    LFO lfo(0, nullptr);
    ASSERT_TRUE(lfo.parseEditorValue(LFO::kDepth, "deep", v, 0));
    EXPECT_FLOAT_EQ(v, 0.0f);
}
