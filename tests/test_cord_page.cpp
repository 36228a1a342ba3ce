// The modulation routing page off screen: the slot list and its column
// gestures, the two browsers with their categories and scrolling lists,
// MIDI learn and learning by touch, each write reaching the host framed by
// begin-edit and end-edit, and the page following the engine.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "EditorTestSupport.h"
#include "editor/CordPage.h"
#include "modules/ModuleTypes.h"
#include "operators/Moog.h"

using namespace vh;
using namespace vh::editor;
using namespace vh::test;
using toolkit::CPoint;
using toolkit::CRect;

namespace {

float sourceValue(int source) { return discreteValue(source, kNumSources); }
float destinationValue(int destination) { return discreteValue(destination, kNumDestinations); }

class CordPageTest : public EditorFixture {
protected:
    void openPage() {
        plugin->setParameter(param::kCurrMain, discreteValue(3, 4));
        open();
        cord = editor->cordView();
        ASSERT_NE(cord, nullptr);
    }
    int source(int slot) { return discreteIndex(plugin->getParameter(param::kSlotSource1 + slot), kNumSources); }
    int destination(int slot) { return discreteIndex(plugin->getParameter(param::kSlotDest1 + slot), kNumDestinations); }
    int muteMask() { return discreteIndex(plugin->getParameter(param::kSlotStatus), 65536); }
    void setSlot(int slot, int src, int dst, float sens) {
        plugin->setParameter(param::kSlotSource1 + slot, sourceValue(src));
        plugin->setParameter(param::kSlotDest1 + slot, destinationValue(dst));
        plugin->setParameter(param::kSlotSens1 + slot, sens);
    }
    // A point over the list's names, where the wheel scrolls.
    CPoint listPoint() { return cord->getFrameRect().getTopLeft() + CPoint(50, 60); }
    // Scrolls the row into view with the wheel, then clicks it.
    void clickRow(int row, double x = 50) {
        const ListScroller& list = cord->list();
        double top = list.rowTop(row);
        if (top < list.rowsRect().top || top + ListScroller::kRow > list.rowsRect().bottom) {
            double want = std::clamp(ListScroller::kRow * row - 40.0, 0.0, list.maxScroll());
            window->wheel(listPoint(), static_cast<float>((list.scroll() - want) / ListScroller::kRow));
            editor->idle();
        }
        click(cord->rowPoint(row, x));
    }
    int rowNamed(const std::string& text) {
        auto rows = cord->rowTexts();
        auto it = std::find(rows.begin(), rows.end(), text);
        return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
    }
    void clickRowNamed(const std::string& text) {
        int row = rowNamed(text);
        ASSERT_GE(row, 0) << text;
        clickRow(row);
    }
    // Sens cell of a slot: right-aligned in the column 96..122.
    CPoint sensPoint(int slot) { return cord->rowPoint(slot, 110); }
    // Every write of `index` came as begin, automate, end.
    void expectFramed(int index) {
        auto& calls = AutomationLog::calls();
        bool any = false;
        for (size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].index != index || calls[i].opcode != vst::audioMasterAutomate) continue;
            any = true;
            ASSERT_GE(i, 1u);
            ASSERT_LT(i + 1, calls.size());
            EXPECT_EQ(calls[i - 1], (AutomationLog::Call{vst::audioMasterBeginEdit, index}));
            EXPECT_EQ(calls[i + 1], (AutomationLog::Call{vst::audioMasterEndEdit, index}));
        }
        EXPECT_TRUE(any) << index;
    }

    CCordWnd* cord = nullptr;
};

}  // namespace

TEST(CordTexts, SensitivityTextAndEntry) {
    EXPECT_EQ(sensitivityText(0.35f, false), "-30");
    EXPECT_EQ(sensitivityText(1.0f, false), "+100");
    EXPECT_EQ(sensitivityText(0.5f, false), "0");
    EXPECT_EQ(sensitivityText(0.0f, false), "-100");
    EXPECT_EQ(sensitivityText(0.8f, true), "----");
    float v = 0.5f;
    EXPECT_TRUE(sensitivityFromText("150", v));
    EXPECT_EQ(v, 1.0f);
    EXPECT_TRUE(sensitivityFromText("-30", v));
    EXPECT_FLOAT_EQ(v, 0.35f);
    EXPECT_TRUE(sensitivityFromText("-1000", v));
    EXPECT_EQ(v, 0.0f);
    EXPECT_FALSE(sensitivityFromText("loud", v));
    EXPECT_FALSE(sensitivityFromText("", v));
    EXPECT_FALSE(sensitivityFromText("nan", v));
    EXPECT_EQ(v, 0.0f);
}

TEST_F(CordPageTest, FillsThePageAreaWithThePreviewSelectorBelow) {
    openPage();
    EXPECT_EQ(cord->getFrameRect(), CRect(307, 43, 524, 174));
    CControl* preview = editor->controlForTag(param::kModulationPreview);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->getFrameRect(), CRect(337, 182, 494, 192));
    // The title line is a dark bar across the view.
    EXPECT_EQ(editor->getFrame()->getPixel(520, 45), kDark);
    EXPECT_EQ(cord->mode(), CCordWnd::kSlotList);
    ASSERT_EQ(cord->rowTexts().size(), 16u);
    EXPECT_EQ(cord->slotRow(0).number, "01");
    EXPECT_EQ(cord->slotRow(15).number, "16");
}

TEST_F(CordPageTest, PreviewSelectorCyclesThreeStatesAndSurvivesReopening) {
    openPage();
    auto* preview = dynamic_cast<CModuleParamDiscreet*>(editor->controlForTag(param::kModulationPreview));
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->displayText(), "off");
    click(preview->getFrameRect().getCenter());
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kModulationPreview), 3), 1);
    EXPECT_EQ(preview->displayText(), "left");
    click(preview->getFrameRect().getCenter());
    EXPECT_EQ(preview->displayText(), "right");
    EXPECT_EQ(editor->modulationPreviewMode(), 2);
    // A module built now starts in the shown mode.
    plugin->setParameter(param::kOpType1, discreteValue(kOpMoog, kNumTypeSteps));
    EXPECT_EQ(plugin->getOperator(0)->previewMode(), 2);
    editor->close();
    openPage();
    preview = dynamic_cast<CModuleParamDiscreet*>(editor->controlForTag(param::kModulationPreview));
    EXPECT_EQ(preview->displayText(), "right");
    click(preview->getFrameRect().getCenter());
    EXPECT_EQ(preview->displayText(), "off");
}

TEST_F(CordPageTest, SlotListNamesAndSensitivityColumnRules) {
    plugin->setParameter(param::kModType1 + 1, discreteValue(kModLfo, kNumTypeSteps));
    plugin->setParameter(param::kOpType1, discreteValue(kOpMoog, kNumTypeSteps));
    setSlot(0, kSourceMod1 + 1, destOpParam(0, Moog::kCutoff), 0.35f);
    setSlot(1, kSourceMod1 + 1, kDestinationNone, 0.9f);     // MOD2 to nothing: blank SENS
    setSlot(2, kSourceKnob1 + 2, kDestInToOp, 1.0f);           // KNOB3 to IN->OP1
    setSlot(3, kSourceNone, kDestMainMix, 0.2f);          // nothing to MAIN MIX: blank
    setSlot(4, kSourceCc0 + 74, kDestSens + 2, 0.5f);     // CC 74 to slot 3's sensitivity
    openPage();
    char longName[64], shortName[64], dst[64];
    plugin->getSourceName(0, longName, shortName);
    plugin->getDestinationName(0, dst);
    EXPECT_EQ(cord->slotRow(0).source, shortName);
    EXPECT_EQ(cord->slotRow(0).destination, dst);
    EXPECT_EQ(cord->slotRow(0).sens, "-30");
    struct Expected {
        int slot;
        const char *source, *sens, *destination;
    };
    for (Expected e : {Expected{1, "MOD2 LFO", "", ""}, Expected{2, "KNOB3", "+100", "IN->OP1"},
                       Expected{3, "", "", "MAIN MIX"}, Expected{4, "MIDI CC074", "0", "SLOT3 SENS"},
                       Expected{5, "", "", ""}}) {
        CCordWnd::SlotRow row = cord->slotRow(e.slot);
        EXPECT_EQ(row.source, e.source) << e.slot;
        EXPECT_EQ(row.sens, e.sens) << e.slot;
        EXPECT_EQ(row.destination, e.destination) << e.slot;
    }
    // The text is drawn: dark glyph pixels in the source cell of row 1.
    editor->getFrame()->redrawDirty();
    int dark = 0;
    for (int y = 54; y < 62; ++y)
        for (int x = 323; x < 400; ++x) dark += editor->getFrame()->getPixel(x, y) == kDark;
    EXPECT_GT(dark, 10);
}

TEST_F(CordPageTest, RightClickOnSensTogglesTheSlotsMuteBit) {
    setSlot(2, kSourceMod1, kDestMainMix, 0.8f);
    openPage();
    click(sensPoint(2), toolkit::kRButton);
    EXPECT_EQ(muteMask(), 1 << 2);
    EXPECT_EQ(cord->slotRow(2).sens, "----");
    expectFramed(param::kSlotStatus);
    click(sensPoint(5), toolkit::kRButton);
    EXPECT_EQ(muteMask(), (1 << 2) | (1 << 5));
    click(sensPoint(2), toolkit::kRButton);
    EXPECT_EQ(muteMask(), 1 << 5);
    EXPECT_EQ(cord->slotRow(2).sens, "+60");
}

TEST_F(CordPageTest, TypedSensitivityIsLimitedAndStored) {
    setSlot(0, kSourceMod1, kDestMainMix, 0.5f);
    openPage();
    struct Case {
        const char* text;
        float value;
    };
    for (Case c : {Case{"150", 1.0f}, Case{"-30", 0.35f}, Case{"-100", 0.0f}, Case{"rubbish", 0.0f}}) {
        doubleClick(sensPoint(0));
        ASSERT_NE(cord->sensField(), nullptr) << c.text;
        typeEntry(c.text);
        EXPECT_NEAR(plugin->getParameter(param::kSlotSens1), c.value, 1e-6f) << c.text;
        EXPECT_EQ(cord->sensField(), nullptr);
    }
    expectFramed(param::kSlotSens1);
    // Escape leaves the value alone.
    doubleClick(sensPoint(0));
    ASSERT_NE(cord->sensField(), nullptr);
    window->typeText("50");
    window->key(toolkit::kVkEscape);
    step();
    EXPECT_EQ(plugin->getParameter(param::kSlotSens1), 0.0f);
}

TEST_F(CordPageTest, SensitivityDragShiftAndWheel) {
    setSlot(1, kSourceMod1, kDestMainMix, 0.5f);
    openPage();
    CPoint p = sensPoint(1);
    // 200 pixels are the full range: 20 up is +0.1.
    window->drag(p, CPoint(p.x, p.y - 20));
    step();
    EXPECT_NEAR(plugin->getParameter(param::kSlotSens1 + 1), 0.6f, 1e-5f);
    expectFramed(param::kSlotSens1 + 1);
    // Shift mid-drag re-anchors: 1000 pixels for the range from there on.
    now += 1000;
    window->mouseDown(p);
    window->mouseMoved(CPoint(p.x, p.y - 10), toolkit::kLButton);
    window->mouseMoved(CPoint(p.x, p.y - 10), toolkit::kLButton | toolkit::kShift);
    window->mouseMoved(CPoint(p.x, p.y - 60), toolkit::kLButton | toolkit::kShift);
    window->mouseUp(CPoint(p.x, p.y - 60));
    step();
    EXPECT_NEAR(plugin->getParameter(param::kSlotSens1 + 1), 0.6f + 0.05f + 0.05f, 1e-5f);
    // Dragging far beyond the range stops at 1 and writes only changes.
    AutomationLog::entries().clear();
    now += 1000;
    window->drag(p, CPoint(p.x, p.y - 400), toolkit::kLButton, 8);
    step();
    EXPECT_EQ(plugin->getParameter(param::kSlotSens1 + 1), 1.0f);
    size_t writes = AutomationLog::entries().size();
    EXPECT_LE(writes, 2u);
    // Wheel: 0.01 a notch, 0.001 with Shift, limited.
    window->wheel(p, -3);
    window->wheel(p, 2, toolkit::kShift);
    step();
    EXPECT_NEAR(plugin->getParameter(param::kSlotSens1 + 1), 0.972f, 1e-5f);
    plugin->setParameter(param::kSlotSens1 + 1, 0.995f);
    window->wheel(p, 1);
    step();
    EXPECT_EQ(plugin->getParameter(param::kSlotSens1 + 1), 1.0f);
}

TEST_F(CordPageTest, SlotListScrollsByArrowsBarTrackAndWheel) {
    openPage();
    const ListScroller& list = cord->list();
    EXPECT_EQ(list.maxScroll(), 160.0 - list.rowsRect().getHeight());
    EXPECT_GT(list.maxScroll(), 0.0);
    CRect bar = list.barRect();
    // Arrows: 10 pixels a click, never past the ends.
    click(CPoint(bar.getCenter().x, bar.bottom - 3) + CPoint(307, 43));
    EXPECT_EQ(list.scroll(), 10.0);
    for (int i = 0; i < 8; ++i) click(CPoint(bar.getCenter().x, bar.bottom - 3) + CPoint(307, 43));
    EXPECT_EQ(list.scroll(), list.maxScroll());
    click(CPoint(bar.getCenter().x, bar.top + 3) + CPoint(307, 43));
    EXPECT_EQ(list.scroll(), list.maxScroll() - 10);
    // The track above the thumb: a page up (to the top here).
    CRect thumb = list.thumbRect();
    click(CPoint(bar.getCenter().x, (bar.top + 9 + thumb.top) / 2) + CPoint(307, 43));
    EXPECT_EQ(list.scroll(), 0.0);
    // Dragging the thumb to the bottom of the track.
    thumb = list.thumbRect();
    window->drag(thumb.getCenter() + CPoint(307, 43), CPoint(thumb.getCenter().x, bar.bottom) + CPoint(307, 43));
    step();
    EXPECT_EQ(list.scroll(), list.maxScroll());
    // The wheel over the names: 10 pixels a notch.
    window->wheel(cord->rowPoint(8, 50), 2);
    step();
    EXPECT_EQ(list.scroll(), list.maxScroll() - 20);
    // Rows follow the scroll: the lowest row holds slot 16.
    window->wheel(cord->rowPoint(8, 50), -10);
    step();
    click(cord->rowPoint(15, 50));
    EXPECT_EQ(cord->mode(), CCordWnd::kSourceBrowser);
    EXPECT_EQ(cord->browsedSlot(), 15);
    EXPECT_EQ(cord->title(), "MODULATION SLOT 16 SOURCE");
}

TEST_F(CordPageTest, SourceBrowserCategoriesLeavesRemoveAndExit) {
    plugin->setParameter(param::kModType1 + 2, discreteValue(kModLfo, kNumTypeSteps));
    openPage();
    click(cord->rowPoint(0, 50));
    ASSERT_EQ(cord->mode(), CCordWnd::kSourceBrowser);
    EXPECT_EQ(cord->category(), CCordWnd::kSourceTop);
    EXPECT_EQ(cord->rowTexts(), (std::vector<std::string>{"ASSIGNABLE KNOB", "INTERNAL MODULATOR", "MIDI INPUT", "[remove]"}));
    // Knobs: the third one, and the knob becomes assigned.
    auto* knob3 = dynamic_cast<CMyNameKnob*>(editor->knob(param::kKnob1 + 2));
    EXPECT_FALSE(knob3->isAssigned());
    clickRow(0);
    EXPECT_EQ(cord->category(), CCordWnd::kSourceKnobs);
    EXPECT_EQ(cord->rowTexts().front(), ".. [parent]");
    EXPECT_EQ(cord->rowTexts()[3], "ASSIGNABLE KNOB 3");
    clickRow(3);
    EXPECT_EQ(source(0), 6);
    EXPECT_EQ(cord->mode(), CCordWnd::kSlotList);
    expectFramed(param::kSlotSource1);
    EXPECT_TRUE(knob3->isAssigned());
    // Modulators, named by their type.
    click(cord->rowPoint(0, 50));
    clickRow(1);
    EXPECT_EQ(cord->rowTexts()[3], "MOD 3 - LFO");
    clickRow(0);  // parent
    EXPECT_EQ(cord->category(), CCordWnd::kSourceTop);
    clickRow(1);
    clickRow(3);
    EXPECT_EQ(source(0), 2);
    EXPECT_FALSE(knob3->isAssigned());
    // MIDI: the note values, and the controller list under it.
    click(cord->rowPoint(0, 50));
    clickRow(2);
    EXPECT_EQ(cord->rowTexts()[1], "MIDI CONTROL CHANGE");
    EXPECT_EQ(cord->rowTexts()[8], "MIDI CHANNEL PRESSURE");
    clickRow(5);
    EXPECT_EQ(source(0), 144);
    EXPECT_EQ(cord->slotRow(0).source, "PITCHBEND");
    // "[remove]" clears the source, EXIT changes nothing.
    click(cord->rowPoint(0, 50));
    clickRow(3);
    EXPECT_EQ(source(0), kSourceNone);
    click(cord->rowPoint(0, 50));
    click(cord->exitPoint());
    EXPECT_EQ(cord->mode(), CCordWnd::kSlotList);
    EXPECT_EQ(source(0), kSourceNone);
}

TEST_F(CordPageTest, ControllerListScrollsToItsEndsAndPicks) {
    openPage();
    click(cord->rowPoint(4, 50));
    clickRowNamed("MIDI INPUT");
    clickRowNamed("MIDI CONTROL CHANGE");
    ASSERT_EQ(cord->category(), CCordWnd::kSourceControllers);
    auto rows = cord->rowTexts();
    ASSERT_EQ(rows.size(), 129u);
    EXPECT_EQ(rows[1], "000 bank sel MSB");
    EXPECT_EQ(rows[4], "003 control 3");
    EXPECT_EQ(rows[75], "074 brightness");
    EXPECT_EQ(rows[128], "127 poly mode on");
    const ListScroller& list = cord->list();
    EXPECT_EQ(list.maxScroll(), 1290.0 - list.rowsRect().getHeight());
    window->wheel(listPoint(), -500);
    step();
    EXPECT_EQ(list.scroll(), list.maxScroll());
    // The last row is reachable and picks controller 127.
    click(cord->rowPoint(128, 50));
    EXPECT_EQ(source(4), 12 + 127);
    // The parent of the controller list is the MIDI list.
    click(cord->rowPoint(4, 50));
    clickRowNamed("MIDI INPUT");
    clickRowNamed("MIDI CONTROL CHANGE");
    EXPECT_EQ(cord->list().scroll(), 0.0);
    clickRow(0);
    EXPECT_EQ(cord->category(), CCordWnd::kSourceMidi);
}

TEST_F(CordPageTest, DestinationBrowserCategories) {
    plugin->setParameter(param::kOpType1 + 1, discreteValue(kOpMoog, kNumTypeSteps));
    openPage();
    click(cord->rowPoint(1, 150));
    ASSERT_EQ(cord->mode(), CCordWnd::kDestinationBrowser);
    EXPECT_EQ(cord->title(), "MODULATION SLOT 02 DESTINATION");
    EXPECT_EQ(cord->rowTexts(), (std::vector<std::string>{"OPERATOR PARAMETER", "MODULATOR PARAMETER", "SIGNAL PATH",
                                                          "MODULATION SLOT", "MAIN SECTION", "[remove]"}));
    clickRow(0);
    EXPECT_EQ(cord->rowTexts()[2], "OPERATOR 2 - " + std::string(operatorTypeLabel(kOpMoog)));
    clickRow(2);
    EXPECT_EQ(cord->category(), CCordWnd::kDestOperatorParams);
    EXPECT_EQ(cord->rowTexts().size(), 3u);
    clickRow(0);  // back to the operators
    EXPECT_EQ(cord->category(), CCordWnd::kDestOperators);
    clickRow(0);
    EXPECT_EQ(cord->category(), CCordWnd::kDestTop);
    // Signal path: 24 gains, scrolling; the last is OP4->OUT.
    clickRow(2);
    auto rows = cord->rowTexts();
    ASSERT_EQ(rows.size(), 25u);
    EXPECT_EQ(rows[1], "IN->OP1");
    EXPECT_EQ(rows[6], "OP1->OP2");
    EXPECT_EQ(rows[24], "OP4->OUT");
    EXPECT_EQ(cord->list().maxScroll(), 250.0 - cord->list().rowsRect().getHeight());
    clickRow(24);
    EXPECT_EQ(destination(1), 242);
    // Modulation slots: 16 sensitivities.
    click(cord->rowPoint(1, 150));
    clickRow(3);
    EXPECT_EQ(cord->rowTexts()[16], "SLOT 16 SENSITIVITY");
    EXPECT_EQ(cord->list().maxScroll(), 170.0 - cord->list().rowsRect().getHeight());
    clickRow(16);
    EXPECT_EQ(destination(1), 258);
    // Main section.
    click(cord->rowPoint(1, 150));
    clickRow(4);
    EXPECT_EQ(cord->rowTexts(), (std::vector<std::string>{".. [parent]", "MAIN INPUT", "MAIN MIX", "MAIN OUTPUT"}));
    clickRow(3);
    EXPECT_EQ(destination(1), 2);
    expectFramed(param::kSlotDest1 + 1);
    // "[remove]".
    click(cord->rowPoint(1, 150));
    clickRow(5);
    EXPECT_EQ(destination(1), kDestinationNone);
}

TEST_F(CordPageTest, OperatorListShowsOnlyModulatableParametersAndWritesTheirSlot) {
    // A type whose modulatable parameters do not start at slot 0 or skip
    // some: the row is not the slot number.
    int chosen = -1;
    std::vector<int> modulatable;
    for (int type = 0; type < kNumOperatorTypes && chosen < 0; ++type) {
        plugin->setParameter(param::kOpType1 + 2, discreteValue(type, kNumTypeSteps));
        Operator* op = plugin->getOperator(2);
        std::vector<int> list;
        for (int p = 0; p < kOperatorParams; ++p)
            if (op->isModulatable(p)) list.push_back(p);
        if (list.size() >= 3 && list[2] != 2) {
            chosen = type;
            modulatable = list;
        }
    }
    ASSERT_GE(chosen, 0);
    openPage();
    click(cord->rowPoint(6, 150));
    clickRowNamed("OPERATOR PARAMETER");
    clickRow(3);
    ASSERT_EQ(cord->category(), CCordWnd::kDestOperatorParams);
    auto rows = cord->rowTexts();
    ASSERT_EQ(rows.size(), modulatable.size() + 1);
    char name[kTextSize];
    plugin->getOperator(2)->getDestinationName(modulatable[2], name);
    EXPECT_EQ(rows[3], "OP3 (" + std::string(operatorTypeLabel(chosen)) + ") " + name);
    clickRow(3);
    EXPECT_EQ(destination(6), destOpParam(2, modulatable[2]));
    EXPECT_EQ(cord->slotRow(6).destination, "OP3 " + std::string(name));
}

TEST_F(CordPageTest, ModulatorParameterListScrollsWhenLong) {
    plugin->setParameter(param::kModType1 + 3, discreteValue(kModLfo, kNumTypeSteps));
    openPage();
    click(cord->rowPoint(0, 150));
    clickRowNamed("MODULATOR PARAMETER");
    clickRow(4);
    ASSERT_EQ(cord->category(), CCordWnd::kDestModulatorParams);
    Modulator* lfo = plugin->getModulator(3);
    std::vector<int> modulatable;
    for (int p = 0; p < kModulatorParams; ++p)
        if (lfo->isModulatable(p)) modulatable.push_back(p);
    auto rows = cord->rowTexts();
    ASSERT_EQ(rows.size(), modulatable.size() + 1);
    const ListScroller& list = cord->list();
    EXPECT_EQ(list.maxScroll(), std::max(0.0, 10.0 * double(rows.size()) - list.rowsRect().getHeight()));
    int last = static_cast<int>(rows.size()) - 1;
    clickRow(last);
    EXPECT_EQ(destination(0), destModParam(3, modulatable.back()));
    // The parent of a modulator's list is the modulator list.
    click(cord->rowPoint(0, 150));
    clickRowNamed("MODULATOR PARAMETER");
    clickRow(4);
    clickRow(0);
    EXPECT_EQ(cord->category(), CCordWnd::kDestModulators);
}

TEST_F(CordPageTest, RightClicksShowTheSourceAndDestinationModules) {
    setSlot(0, kSourceMod1 + 2, destOpParam(3, 0), 0.5f);  // MOD3 -> OP4 parameter 0
    setSlot(1, kSourceKnob1 + 2, destModParam(1, 2), 0.5f);  // KNOB3 -> MOD2 parameter 2
    openPage();
    click(cord->rowPoint(0, 50), toolkit::kRButton);
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kCurrMod), 4), 2);
    click(cord->rowPoint(0, 150), toolkit::kRButton);
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kCurrOp), 4), 3);
    click(cord->rowPoint(1, 150), toolkit::kRButton);
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kCurrMod), 4), 1);
    // A knob source has no module to show.
    click(cord->rowPoint(1, 50), toolkit::kRButton);
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kCurrMod), 4), 1);
    EXPECT_EQ(cord->mode(), CCordWnd::kSlotList);
}

TEST_F(CordPageTest, MidiLearnOnSlot7WithController74) {
    openPage();
    click(cord->rowPoint(6, 50));
    clickRowNamed("MIDI INPUT");
    clickRowNamed("MIDI CONTROL CHANGE");
    click(cord->learnPoint());
    EXPECT_TRUE(cord->isLearning());
    EXPECT_EQ(plugin->getLearnTarget(), 1);
    // Switching it off tells the engine; on again.
    click(cord->learnPoint());
    EXPECT_FALSE(cord->isLearning());
    EXPECT_EQ(plugin->getLearnTarget(), 0);
    click(cord->learnPoint());
    ASSERT_EQ(plugin->getLearnTarget(), 1);
    editor->getFrame()->redrawDirty();
    // The lit button: the mark colour under its text.
    EXPECT_EQ(editor->getFrame()->getPixel(int(cord->learnPoint().x) - 16, 48), kMark);

    processMidi(0xB3, 74, 100);  // channel 4: all channels alike
    step();
    EXPECT_EQ(source(6), 86);
    EXPECT_FALSE(cord->isLearning());
    EXPECT_EQ(cord->mode(), CCordWnd::kSlotList);
    EXPECT_EQ(cord->slotRow(6).source, "MIDI CC074");
    expectFramed(param::kSlotSource1 + 6);

    // Choosing a leaf or leaving the list cancels a learn.
    click(cord->rowPoint(6, 50));
    clickRowNamed("MIDI INPUT");
    clickRowNamed("MIDI CONTROL CHANGE");
    click(cord->learnPoint());
    ASSERT_EQ(plugin->getLearnTarget(), 1);
    clickRow(0);
    EXPECT_EQ(plugin->getLearnTarget(), 0);
    clickRowNamed("MIDI CONTROL CHANGE");
    click(cord->learnPoint());
    click(cord->exitPoint());
    EXPECT_EQ(plugin->getLearnTarget(), 0);
    // A knob's learn takes over from the page's.
    click(cord->rowPoint(6, 50));
    clickRowNamed("MIDI INPUT");
    clickRowNamed("MIDI CONTROL CHANGE");
    click(cord->learnPoint());
    click(editor->knob(param::kOutput)->getFrameRect().getCenter(), toolkit::kRButton);
    step();
    EXPECT_FALSE(cord->isLearning());
    EXPECT_EQ(plugin->getLearnTarget(), 12);
}

TEST_F(CordPageTest, LearningSourcesByTouch) {
    plugin->setParameter(param::kCurrMod, discreteValue(1, 4));
    openPage();
    // An unused knob is touched: it becomes the source (and used).
    click(cord->rowPoint(3, 50));
    click(editor->knob(param::kKnob1 + 5)->getFrameRect().getCenter());
    EXPECT_EQ(source(3), 4 + 5);
    EXPECT_EQ(cord->mode(), CCordWnd::kSlotList);
    EXPECT_TRUE(dynamic_cast<CMyNameKnob*>(editor->knob(param::kKnob1 + 5))->isAssigned());
    // The modulator panel counts as the shown module's button.
    click(cord->rowPoint(3, 50));
    click(CPoint(70, 150));
    EXPECT_EQ(source(3), 1);
    // A modulator button.
    click(cord->rowPoint(3, 50));
    click(editor->moduleButton(tag::kModButton1 + 3)->getFrameRect().getCenter());
    EXPECT_EQ(source(3), 3);
    // Without a browser open, touches choose nothing.
    click(editor->knob(param::kKnob1)->getFrameRect().getCenter());
    EXPECT_EQ(source(3), 3);
}

TEST_F(CordPageTest, LearningDestinationsByTouch) {
    // An operator with both kinds of parameters in its panel.
    int type = -1, plain = -1, modulatable = -1;
    for (int t = 0; t < kNumOperatorTypes && type < 0; ++t) {
        plugin->setParameter(param::kOpType1 + 1, discreteValue(t, kNumTypeSteps));
        Operator* op = plugin->getOperator(1);
        int p0 = -1, m0 = -1;
        for (int p = 0; p < op->getNumParameters(); ++p) {
            int& first = op->isModulatable(p) ? m0 : p0;
            if (first < 0) first = p;
        }
        if (p0 >= 0 && m0 >= 0) {
            type = t;
            plain = p0;
            modulatable = m0;
        }
    }
    ASSERT_GE(type, 0);
    plugin->setParameter(param::kCurrOp, discreteValue(1, 4));
    openPage();
    // Main knobs.
    click(cord->rowPoint(2, 150));
    click(editor->knob(param::kMix)->getFrameRect().getCenter());
    EXPECT_EQ(destination(2), 1);
    // While the destination browser is open, the modulatable parameters of
    // the panels are marked.
    click(cord->rowPoint(2, 150));
    EXPECT_TRUE(cord->offersDestination(param::opParam(1, modulatable)));
    EXPECT_FALSE(cord->offersDestination(param::opParam(1, plain)));
    // A parameter that cannot be modulated changes no slot.
    AutomationLog::entries().clear();
    click(editor->controlForTag(param::opParam(1, plain))->getFrameRect().getCenter());
    EXPECT_EQ(destination(2), 1);
    EXPECT_FALSE(AutomationLog::contains(param::kSlotDest1 + 2));
    EXPECT_EQ(cord->mode(), CCordWnd::kDestinationBrowser);
    // A modulatable one is chosen by its slot number.
    ASSERT_NE(editor->controlForTag(param::opParam(1, modulatable)), nullptr);
    click(editor->controlForTag(param::opParam(1, modulatable))->getFrameRect().getCenter());
    EXPECT_EQ(destination(2), 3 + 16 + modulatable);
    EXPECT_EQ(cord->mode(), CCordWnd::kSlotList);
    // An operator button opens that operator's parameter list.
    click(cord->rowPoint(2, 150));
    click(editor->moduleButton(tag::kOpButton1 + 3)->getFrameRect().getCenter());
    EXPECT_EQ(cord->category(), CCordWnd::kDestOperatorParams);
    EXPECT_EQ(cord->browsedModule(), 3);
    click(editor->moduleButton(tag::kModButton1 + 2)->getFrameRect().getCenter());
    EXPECT_EQ(cord->category(), CCordWnd::kDestModulatorParams);
    EXPECT_EQ(cord->browsedModule(), 2);
}

TEST_F(CordPageTest, FollowsHostChangesWhileOpen) {
    plugin->setParameter(param::kModType1, discreteValue(kModLfo, kNumTypeSteps));
    openPage();
    EXPECT_EQ(cord->slotRow(9).source, "");
    plugin->setParameter(param::kSlotSource1 + 9, sourceValue(0));
    plugin->setParameter(param::kSlotDest1 + 9, destinationValue(1));
    plugin->setParameter(param::kSlotSens1 + 9, 0.25f);
    step();
    EXPECT_EQ(cord->slotRow(9).source, "MOD1 LFO");
    EXPECT_EQ(cord->slotRow(9).sens, "-50");
    plugin->setParameter(param::kSlotStatus, discreteValue(1 << 9, 65536));
    step();
    EXPECT_EQ(cord->slotRow(9).sens, "----");
    // A browser open on a module's list follows a type change.
    click(cord->rowPoint(0, 150));
    clickRowNamed("MODULATOR PARAMETER");
    clickRow(1);
    size_t lfoRows = cord->rowTexts().size();
    plugin->setParameter(param::kModType1, discreteValue(kModEmpty, kNumTypeSteps));
    step();
    EXPECT_EQ(cord->rowTexts().size(), 1u);
    EXPECT_GT(lfoRows, 1u);
}

TEST_F(CordPageTest, MouseAloneWiresMutesAndLearnsWithScreenshots) {
    // An LFO in modulator 1, a ladder filter in operator 1.
    plugin->setParameter(param::kModType1, discreteValue(kModLfo, kNumTypeSteps));
    plugin->setParameter(param::kOpType1, discreteValue(kOpMoog, kNumTypeSteps));
    openPage();
    click(cord->rowPoint(0, 50));
    clickRowNamed("INTERNAL MODULATOR");
    ASSERT_TRUE(editor->renderToPng(besideTestBinary("cord-source-browser.png").c_str()));
    clickRowNamed("MOD 1 - LFO");
    click(cord->rowPoint(0, 150));
    clickRowNamed("OPERATOR PARAMETER");
    clickRow(1);
    ASSERT_TRUE(editor->renderToPng(besideTestBinary("cord-destination-browser.png").c_str()));
    clickRow(1 + Moog::kCutoff);
    EXPECT_EQ(destination(0), 3 + Moog::kCutoff);
    doubleClick(sensPoint(0));
    typeEntry("-30");
    EXPECT_NEAR(plugin->getParameter(param::kSlotSens1), 0.35f, 1e-6f);
    click(sensPoint(0), toolkit::kRButton);
    EXPECT_EQ(muteMask(), 1);
    // A second slot learns controller 1 as its source.
    click(cord->rowPoint(1, 50));
    clickRowNamed("MIDI INPUT");
    clickRowNamed("MIDI CONTROL CHANGE");
    click(cord->learnPoint());
    editor->learnController(1);
    step();
    EXPECT_EQ(source(1), 13);
    click(cord->rowPoint(1, 150));
    clickRowNamed("MAIN SECTION");
    clickRowNamed("MAIN MIX");
    EXPECT_EQ(cord->slotRow(0).sens, "----");
    EXPECT_EQ(cord->slotRow(1).source, "MIDI CC001");
    EXPECT_EQ(cord->slotRow(1).destination, "MAIN MIX");
    ASSERT_TRUE(editor->renderToPng(besideTestBinary("cord-slot-list.png").c_str()));
    // The muted LFO changes nothing in the audio path; the slot itself works
    // once unmuted: the engine sees what the page shows.
    click(sensPoint(0), toolkit::kRButton);
    EXPECT_EQ(muteMask(), 0);
}

TEST_F(CordPageTest, LeavingThePageMidEntryOrMidLearn) {
    setSlot(0, kSourceMod1, kDestMainMix, 0.5f);
    openPage();
    // Switching pages with a field open keeps what was typed.
    doubleClick(sensPoint(0));
    ASSERT_NE(cord->sensField(), nullptr);
    for (int i = 0; i < 4; ++i) window->key(toolkit::kVkBack);
    window->typeText("40");
    click(CPoint(469, 19));  // PREFERENCES
    EXPECT_EQ(editor->currentPage(), 2);
    EXPECT_EQ(editor->cordView(), nullptr);
    EXPECT_NEAR(plugin->getParameter(param::kSlotSens1), 0.7f, 1e-6f);
    // The host switching pages while the page learns ends the learn.
    click(CPoint(320, 19));  // MOD ROUTING
    cord = editor->cordView();
    ASSERT_NE(cord, nullptr);
    click(cord->rowPoint(0, 50));
    clickRowNamed("MIDI INPUT");
    clickRowNamed("MIDI CONTROL CHANGE");
    click(cord->learnPoint());
    ASSERT_EQ(plugin->getLearnTarget(), 1);
    plugin->setParameter(param::kCurrMain, discreteValue(0, 4));
    step();
    EXPECT_EQ(plugin->getLearnTarget(), 0);
    // Closing the window with a field open changes nothing.
    plugin->setParameter(param::kCurrMain, discreteValue(3, 4));
    step();
    cord = editor->cordView();
    doubleClick(sensPoint(0));
    ASSERT_NE(cord->sensField(), nullptr);
    window->typeText("9");
    editor->close();
    EXPECT_NEAR(plugin->getParameter(param::kSlotSens1), 0.7f, 1e-6f);
}
