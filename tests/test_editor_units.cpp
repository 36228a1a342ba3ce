// Module panels whose texts change unit with a switch of the same module
// (a rate in hertz or as a note length): the shown and the typed texts follow
// the switch at opening, after an edit of the switch in the window, after a
// host or preset change, and after the switch converted the value.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EditorTestSupport.h"
#include "editor/Controls.h"
#include "modulators/ADSR.h"
#include "modulators/LFO.h"
#include "modulators/STEP.h"
#include "modules/ModuleTypes.h"
#include "modules/Rhythm.h"
#include "operators/CompExp.h"
#include "operators/DelayLine.h"
#include "operators/Reverb2.h"

using namespace vh;
using namespace vh::editor;
using namespace vh::test;

namespace {

class ModulePanelUnits : public EditorFixture {
protected:
    void showOperator(int type) { plugin->setParameter(param::kOpType1, discreteValue(type, kNumTypeSteps)); }
    void showModulator(int type) { plugin->setParameter(param::kModType1, discreteValue(type, kNumTypeSteps)); }
    // The text the panel control of a parameter shows now.
    std::string shown(int tag) {
        auto* control = dynamic_cast<CModuleParam*>(editor->controlForTag(tag));
        return control ? control->valueText() : std::string("(no control)");
    }
    // Types `text` into the control of `tag` as a user does: a double-click
    // opens the field, Return commits.
    void typeInto(int tag, const std::string& text) {
        doubleClick(centreOf(tag));
        auto* control = dynamic_cast<CModuleParam*>(editor->controlForTag(tag));
        ASSERT_NE(control, nullptr);
        ASSERT_TRUE(control->isTextEditing());
        typeEntry(text);
    }
    // Clicks a two-item switch of the panel over to its other item.
    void flip(int tag) { click(centreOf(tag)); }
    static float item(int i, int n) { return discreteValue(i, n); }
    // The host moves a switch and a value it selects the unit of, and the
    // window takes both at its next idle step.
    void hostSets(int switchTag, float switchValue, int tag, float value) {
        plugin->setParameter(switchTag, switchValue);
        plugin->setParameter(tag, value);
        step();
    }
    // Whether the last idle steps drew the control of `tag` again (a text
    // nobody redraws keeps its old unit on screen).
    // Call collectPresented() after the steps in question first.
    bool redrawn(int tag) {
        toolkit::CRect control = editor->controlForTag(tag)->getFrameRect();
        for (const toolkit::CRect& r : presented) {
            toolkit::CRect covered = r;
            if (covered.bound(control) == control) return true;
        }
        return false;
    }
    void collectPresented() { presented = window->takePresented(); }
    std::vector<toolkit::CRect> presented;
};

const int kRhythm34 = rhythmItemOfName("3/4");
const int kRhythm14 = rhythmItemOfName("1/4");
const int kRhythm196 = rhythmItemOfName("1/96");

}  // namespace

TEST_F(ModulePanelUnits, LfoRateFollowsItsModeAtOpeningAndFromTheHost) {
    showModulator(kModLfo);
    const int rate = param::modParam(0, LFO::kRate), mode = param::modParam(0, LFO::kMode);
    plugin->setParameter(mode, item(1, LFO::kNumModes));
    plugin->setParameter(rate, item(kRhythm34, kNumRhythmItems));
    open();
    EXPECT_EQ(shown(rate), "3/4");

    // The host switches to Hz with the window open: the same control now
    // reads hertz, and back in rhythm mode the item it holds.
    hostSets(mode, item(0, LFO::kNumModes), rate, 1.0f);
    EXPECT_EQ(shown(rate), "30.00Hz");
    hostSets(mode, item(1, LFO::kNumModes), rate, item(kRhythm196, kNumRhythmItems));
    EXPECT_EQ(shown(rate), "1/96");
    // A host change of the mode alone redraws the rate, not only the mode.
    window->takePresented();
    plugin->setParameter(mode, item(0, LFO::kNumModes));
    step();
    collectPresented();
    EXPECT_TRUE(redrawn(rate));
}

TEST_F(ModulePanelUnits, LfoModeClickConvertsAndRereadsTheRate) {
    showModulator(kModLfo);
    const int rate = param::modParam(0, LFO::kRate), mode = param::modParam(0, LFO::kMode);
    plugin->setParameter(mode, item(0, LFO::kNumModes));
    plugin->setParameter(rate, LFO::rateValueOfHz(2.0f));  // a 1/4 cycle at 120 bpm
    open();
    EXPECT_EQ(shown(rate), "2.00Hz");
    flip(mode);
    ASSERT_EQ(discreteIndex(plugin->getParameter(mode), LFO::kNumModes), 1);
    EXPECT_EQ(shown(rate), "1/4");
    flip(mode);
    EXPECT_EQ(shown(rate), "2.00Hz");
}

TEST_F(ModulePanelUnits, DelayTimesFollowTheModeAndTypedNotesStoreTheItem) {
    showOperator(kOpDelay);
    const int timeL = param::opParam(0, DelayLine::kTimeL), timeR = param::opParam(0, DelayLine::kTimeR);
    const int mode = param::opParam(0, DelayLine::kMode);
    plugin->setParameter(mode, item(DelayLine::kTempoBased, 2));
    plugin->setParameter(timeL, item(kRhythm34, kNumRhythmItems));
    plugin->setParameter(timeR, item(kRhythm14, kNumRhythmItems));
    open();
    EXPECT_EQ(shown(timeL), "3/4");
    EXPECT_EQ(shown(timeR), "1/4");

    // Typed in tempo mode, "1/8" is the note, not 1 ms.
    typeInto(timeL, "1/8");
    EXPECT_FLOAT_EQ(plugin->getParameter(timeL), item(rhythmItemOfName("1/8"), kNumRhythmItems));
    EXPECT_EQ(shown(timeL), "1/8");

    // Time-based: milliseconds both ways.
    hostSets(mode, item(DelayLine::kTimeBased, 2), timeR, 0.125f);
    EXPECT_EQ(shown(timeR), "500.0ms");
    typeInto(timeR, "250");
    EXPECT_FLOAT_EQ(plugin->getParameter(timeR), 0.0625f);
}

TEST_F(ModulePanelUnits, DelayModeClickConvertsBothTimes) {
    showOperator(kOpDelay);
    const int timeL = param::opParam(0, DelayLine::kTimeL), mode = param::opParam(0, DelayLine::kMode);
    plugin->setParameter(mode, item(DelayLine::kTimeBased, 2));
    plugin->setParameter(timeL, 0.125f);  // 500 ms: a quarter note at 120 bpm
    open();
    EXPECT_EQ(shown(timeL), "500.0ms");
    flip(mode);
    EXPECT_EQ(shown(timeL), "1/4");
}

TEST_F(ModulePanelUnits, AdsrTimesFollowTheMode) {
    showModulator(kModAdsr);
    const int mode = param::modParam(0, ADSR::kMode);
    const int attack = param::modParam(0, ADSR::kAttack), hold = param::modParam(0, ADSR::kHold);
    const int release = param::modParam(0, ADSR::kRelease);
    plugin->setParameter(mode, item(1, ADSR::kNumModes));
    plugin->setParameter(attack, item(6, ADSR::kNumTimeItems));
    plugin->setParameter(hold, item(0, ADSR::kNumTimeItems));
    plugin->setParameter(release, item(4, ADSR::kNumTimeItems));
    open();
    EXPECT_EQ(shown(attack), "1/4");
    EXPECT_EQ(shown(hold), "0");
    EXPECT_EQ(shown(release), "1/1");
    typeInto(attack, "1/4");
    EXPECT_FLOAT_EQ(plugin->getParameter(attack), item(6, ADSR::kNumTimeItems));

    plugin->setParameter(mode, item(0, ADSR::kNumModes));
    plugin->setParameter(attack, 0.209f);
    plugin->setParameter(release, 0.25f);
    step();
    EXPECT_EQ(shown(attack), "209ms");
    EXPECT_EQ(shown(release), "2.5s");
    typeInto(attack, "16");
    EXPECT_NEAR(plugin->getParameter(attack), 0.016f, 1e-6f);
}

TEST_F(ModulePanelUnits, ReverbPretimeFollowsPremode) {
    showOperator(kOpReverb);
    const int pretime = param::opParam(0, Reverb2::kPreTime), premode = param::opParam(0, Reverb2::kPreMode);
    plugin->setParameter(premode, item(0, Reverb2::kNumPreModes));
    plugin->setParameter(pretime, 0.25f);
    open();
    EXPECT_EQ(shown(pretime), "250ms");
    hostSets(premode, item(1, Reverb2::kNumPreModes), pretime, item(kRhythm14, kNumRhythmItems));
    EXPECT_EQ(shown(pretime), "1/4");
    typeInto(pretime, "1/16");
    EXPECT_FLOAT_EQ(plugin->getParameter(pretime), item(rhythmItemOfName("1/16"), kNumRhythmItems));
}

TEST_F(ModulePanelUnits, PresetLoadRereadsSwitchedTexts) {
    showModulator(kModLfo);
    const int rate = param::modParam(0, LFO::kRate), mode = param::modParam(0, LFO::kMode);
    plugin->setParameter(mode, item(1, LFO::kNumModes));
    plugin->setParameter(rate, item(kRhythm34, kNumRhythmItems));
    const std::string path = mFolder + "/tempo-lfo.vrp";
    ASSERT_TRUE(plugin->savePresetFile(path));
    plugin->setParameter(mode, item(0, LFO::kNumModes));
    plugin->setParameter(rate, 1.0f);
    open();
    EXPECT_EQ(shown(rate), "30.00Hz");
    // The preset sets the rate before its mode; the text follows both.
    ASSERT_TRUE(plugin->loadPresetFile(path));
    step();
    EXPECT_EQ(shown(rate), "3/4");
}

TEST_F(ModulePanelUnits, TextsThatReadTheirSwitchAreRedrawnWithIt) {
    // The compressor's ratio reads as compression or expansion by its type;
    // the sequencer's state reads "songpos" in songpos mode.
    showOperator(kOpCompExp);
    showModulator(kModStep);
    const int ratio = param::opParam(0, CompExp::kRatio), type = param::opParam(0, CompExp::kMode);
    const int state = param::modParam(0, STEP::kState), stepMode = param::modParam(0, STEP::kMode);
    plugin->setParameter(ratio, 0.5f);
    open();
    EXPECT_EQ(shown(ratio), "2.00:1");
    window->takePresented();
    plugin->setParameter(type, item(CompExp::kExpand, CompExp::kNumModes));
    plugin->setParameter(stepMode, item(STEP::kSongPos, STEP::kNumModes));
    step();
    collectPresented();
    EXPECT_TRUE(redrawn(ratio));
    EXPECT_TRUE(redrawn(state));
    EXPECT_EQ(shown(ratio), "3.00:1");
    EXPECT_EQ(shown(state), "songpos");
}
