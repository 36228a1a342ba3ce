// The editor off screen: gestures on its controls reach the engine through
// the right path, engine changes come back to the views, and the pictures
// land where the layout puts them.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "EditorTestSupport.h"
#include "editor/Controls.h"
#include "editor/EditorConversions.h"
#include "modules/ModuleTypes.h"
#include "operators/CompExp.h"
#include "operators/Distortion.h"
#include "operators/Reverb2.h"

using namespace vh;
using namespace vh::editor;
using namespace vh::test;
using toolkit::CPoint;
using toolkit::CRect;

namespace {
const CPoint kInputKnob{329, 258};
const CPoint kOutputKnob{445, 258};
CPoint opButton(int s) {
    const double x[4] = {548, 588, 697, 737};
    return {x[s] + 15, 19};
}
CPoint pageButton(int page) {
    const double x[4] = {494, 345, 454, 305};
    return {x[page] + 15, 19};
}
}  // namespace

using EditorBasics = EditorFixture;

TEST_F(EditorBasics, RectIsTheWindowSizeAndOpenReadsTheEngine) {
    vst::ERect* rect = nullptr;
    ASSERT_TRUE(editor->getRect(&rect));
    EXPECT_EQ(rect->right - rect->left, 830);
    EXPECT_EQ(rect->bottom - rect->top, 335);
    plugin->setParameter(param::kOutput, 0.25f);
    open();
    EXPECT_FLOAT_EQ(editor->knob(param::kOutput)->getValue(), 0.25f);
    EXPECT_TRUE(plugin->getAeffect()->flags & vst::effFlagsHasEditor);
}

TEST_F(EditorBasics, ControlsArePaintedWhereTheLayoutPutsThem) {
    plugin->setParameter(param::kOutput, 0.5f);
    open();
    auto* frame = editor->getFrame();
    const Artwork* art = editor->artwork();
    // Output knob at (424, 237), frame trunc(0.5 * 100) = 50 of its strip.
    for (CPoint p : {CPoint{21, 21}, CPoint{3, 21}, CPoint{21, 38}}) {
        toolkit::CColor want = art->knob->getPixel(int(p.x), 50 * kKnobSize + int(p.y));
        if (want.alpha != 255) continue;
        EXPECT_EQ(frame->getPixel(424 + int(p.x), 237 + int(p.y)), want) << p.x << "," << p.y;
    }
    // OP1 button (selected, not bypassed: frame 19) at (548, 12).
    EXPECT_EQ(frame->getPixel(548 + 3, 12 + 3), art->moduleButtons[4]->getPixel(3, 19 * 15 + 3));
    // Every other operator button shows frame 9.
    EXPECT_EQ(frame->getPixel(697 + 3, 12 + 3), art->moduleButtons[6]->getPixel(3, 9 * 15 + 3));
    // The page area is light.
    EXPECT_EQ(frame->getPixel(310, 210), kLight);
}

TEST_F(EditorBasics, KnobGesturesAutomateTheEngine) {
    plugin->setParameter(param::kInput, 0.5f);
    open();
    // 100 pixels up of a 200-pixel range: half the knob.
    window->drag(kInputKnob, CPoint(kInputKnob.x, kInputKnob.y - 100));
    editor->idle();
    EXPECT_NEAR(plugin->getParameter(param::kInput), 1.0f, 1e-4f);
    EXPECT_TRUE(AutomationLog::contains(param::kInput));
    // With Shift the range is 1000 pixels.
    now += 1000;
    window->drag(kInputKnob, CPoint(kInputKnob.x, kInputKnob.y + 100), toolkit::kLButton | toolkit::kShift);
    editor->idle();
    EXPECT_NEAR(plugin->getParameter(param::kInput), 0.9f, 1e-4f);
    // Wheel: 0.01 a notch, 0.001 with Shift.
    window->wheel(kInputKnob, -2);
    window->wheel(kInputKnob, 1, toolkit::kShift);
    editor->idle();
    EXPECT_NEAR(plugin->getParameter(param::kInput), 0.881f, 1e-4f);
    EXPECT_NEAR(editor->knob(param::kInput)->getValue(), 0.881f, 1e-4f);
}

TEST_F(EditorBasics, TypedOutputEntries) {
    open();
    struct Case {
        const char* text;
        float value;
    };
    for (Case c : {Case{"-oo", 0.0f}, Case{"20", 1.0f}, Case{"0", 0.5f}, Case{"-120", 0.0f}, Case{"-6.0206", 0.35355f}}) {
        plugin->setParameter(param::kOutput, 0.7f);
        step();
        doubleClick(kOutputKnob);
        ASSERT_NE(editor->knob(param::kOutput)->getTextField(), nullptr) << c.text;
        typeEntry(c.text);
        EXPECT_NEAR(plugin->getParameter(param::kOutput), c.value, 1e-4f) << c.text;
        EXPECT_EQ(editor->knob(param::kOutput)->getTextField(), nullptr);
    }
    EXPECT_TRUE(AutomationLog::contains(param::kOutput));
}

TEST(EditorConversions, MainKnobTexts) {
    EXPECT_EQ(gainText(0.0f), "-oo");
    EXPECT_EQ(gainText(0.5f), "0.0");
    EXPECT_EQ(gainText(1.0f), "12.0");
    float v = 0.3f;
    EXPECT_FALSE(gainFromText("loud", v));
    EXPECT_FLOAT_EQ(v, 0.3f);
    EXPECT_TRUE(gainFromText("-OO", v));
    EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(mixText(0.25f), "25.0");
    EXPECT_TRUE(mixFromText("150", v));
    EXPECT_EQ(v, 1.0f);
    EXPECT_TRUE(mixFromText("-3", v));
    EXPECT_EQ(v, 0.0f);
    EXPECT_TRUE(mixFromText("40", v));
    EXPECT_FLOAT_EQ(v, 0.4f);
}

TEST_F(EditorBasics, RightClickLearnsAndBlinksUntilTheEngineEndsIt) {
    open();
    click(kOutputKnob, toolkit::kRButton);
    EXPECT_EQ(plugin->getLearnTarget(), 12);
    CMyKnob* knob = editor->knob(param::kOutput);
    // The blink toggles every half second while the engine is learning.
    bool first = knob->isBlinkOn();
    step(10);
    bool second = knob->isBlinkOn();
    step(10);
    EXPECT_NE(first, second);
    EXPECT_EQ(knob->isBlinkOn(), first);
    // A controller arrives: the engine assigns it and reports the end.
    processMidi(0xB0, 21, 64);
    EXPECT_EQ(plugin->getCcAssignment(10), 21);
    step(12);
    EXPECT_FALSE(knob->isBlinkOn());
    // Assignable knobs learn targets 2..9.
    plugin->setParameter(param::kSlotSource1, discreteValue(4 + 2, kNumSources));
    step();
    click(editor->knob(param::kKnob1 + 2)->getFrameRect().getCenter(), toolkit::kRButton);
    EXPECT_EQ(plugin->getLearnTarget(), 4);
}

TEST_F(EditorBasics, ControlClickTogglesBypassWithoutSelectingAndPulses) {
    open();
    ASSERT_EQ(discreteIndex(plugin->getParameter(param::kCurrOp), 4), 0);
    click(opButton(2), toolkit::kLButton | toolkit::kControl);
    EXPECT_EQ(plugin->getParameter(param::kOpBypass1 + 2), 1.0f);
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kCurrOp), 4), 0);
    CModuleButton* button = editor->moduleButton(tag::kOpButton1 + 2);
    EXPECT_TRUE(button->isBypassed());
    EXPECT_EQ(button->getValue(), 0.0f);
    int before = button->frameIndex();
    step();  // one idle tick of 50 ms moves the pulse
    EXPECT_NE(button->frameIndex(), before);
    EXPECT_LT(button->frameIndex(), 10);
    // Pixels follow the frame.
    editor->getFrame()->redrawDirty();
    EXPECT_EQ(editor->getFrame()->getPixel(697 + 3, 15),
              editor->artwork()->moduleButtons[6]->getPixel(3, button->frameIndex() * 15 + 3));
    // A plain click selects.
    click(opButton(2));
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kCurrOp), 4), 2);
    EXPECT_EQ(button->getValue(), 1.0f);
    EXPECT_GE(button->frameIndex(), 10);
    // The selector of a bypassed module says so.
    EXPECT_NE(editor->operatorSelector()->displayText().find(" (BYPASSED)"), std::string::npos);
    click(opButton(2), toolkit::kLButton | toolkit::kControl);
    EXPECT_EQ(plugin->getParameter(param::kOpBypass1 + 2), 0.0f);
    EXPECT_EQ(button->frameIndex(), 19);
}

TEST_F(EditorBasics, TypeSelectorListSetsTheTypeAndRebuildsThePanel) {
    open();
    CTypeSelector* selector = editor->operatorSelector();
    click(CPoint(650, 48));
    ASSERT_TRUE(selector->isListOpen());
    CTypeList* list = selector->getList();
    // Nineteen types in 10-pixel rows do not fit: the list scrolls.
    EXPECT_GT(list->maxScroll(), 0.0);
    EXPECT_EQ(list->listRect().bottom, 184);
    click(list->entryPoint(3));
    EXPECT_FALSE(selector->isListOpen());
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kOpType1), kNumTypeSteps), 3);
    EXPECT_TRUE(AutomationLog::contains(param::kOpType1));
    step();
    EXPECT_EQ(selector->displayText(), operatorTypeLabel(3));
    int count = plugin->getOperator(0)->getNumParameters();
    // One control per parameter, and the plot where the module has one.
    EXPECT_EQ(editor->operatorPanel()->getNbViews(), (count > 0 ? count : 1) + (editor->operatorPlot() ? 1 : 0));
    // Scroll by the arrows, then choose an entry only reachable that way.
    click(CPoint(650, 48));
    list = selector->getList();
    ASSERT_NE(list, nullptr);
    for (int i = 0; i < 10; ++i) click(CPoint(list->listRect().right - 4, list->listRect().bottom - 3));
    EXPECT_EQ(list->getScroll(), list->maxScroll());
    click(list->entryPoint(kNumOperatorTypes - 1));
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kOpType1), kNumTypeSteps), kNumOperatorTypes - 1);
    // A click elsewhere closes the list and changes nothing.
    click(CPoint(650, 48));
    ASSERT_TRUE(selector->isListOpen());
    click(CPoint(10, 300));
    EXPECT_FALSE(selector->isListOpen());
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kOpType1), kNumTypeSteps), kNumOperatorTypes - 1);
    // The modulator list has five entries and does not scroll.
    click(CPoint(170, 48));
    ASSERT_TRUE(editor->modulatorSelector()->isListOpen());
    EXPECT_EQ(editor->modulatorSelector()->getList()->maxScroll(), 0.0);
    click(editor->modulatorSelector()->getList()->entryPoint(1));
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kModType1), kNumTypeSteps), 1);
    step();
    EXPECT_EQ(editor->modulatorSelector()->displayText(), modulatorTypeLabel(1));
}

TEST_F(EditorBasics, PageButtonsSetCurrMain) {
    open();
    for (int page : {2, 0, 3, 1}) {
        click(pageButton(page));
        EXPECT_EQ(discreteIndex(plugin->getParameter(param::kCurrMain), 4), page);
        EXPECT_EQ(editor->currentPage(), page);
    }
    // The host or a preset moving the page moves it too.
    plugin->setParameter(param::kCurrMain, discreteValue(2, 4));
    step();
    EXPECT_EQ(editor->currentPage(), 2);
    EXPECT_NE(editor->controlForTag(param::kTempo), nullptr);
}

TEST_F(EditorBasics, OpeningOnThePreferencesPageShowsIt) {
    plugin->setParameter(param::kCurrMain, discreteValue(2, 4));
    open();
    EXPECT_EQ(editor->currentPage(), 2);
    for (int t : {param::kOutLimiter, param::kTempo, param::kTempoSync, param::kPpqOffset, param::kMeterFalloff,
                  param::kMeterHold, param::kReportLatency, param::kSaveAsDefault})
        EXPECT_NE(editor->controlForTag(t), nullptr) << t;
    // Leaving the page removes its controls.
    click(pageButton(1));
    EXPECT_EQ(editor->controlForTag(param::kTempo), nullptr);
}

TEST_F(EditorBasics, PreferencesShowAndTakeTheirValues) {
    plugin->setParameter(param::kCurrMain, discreteValue(2, 4));
    plugin->setParameter(param::kOutLimiter, discreteValue(0, 16));
    plugin->setParameter(param::kMeterFalloff, 0.5f);
    plugin->setParameter(param::kTempoSync, discreteValue(0, 4));  // not locked to the host
    open();
    auto* limiter = dynamic_cast<CModuleParamDiscreet*>(editor->controlForTag(param::kOutLimiter));
    ASSERT_NE(limiter, nullptr);
    EXPECT_EQ(limiter->displayText(), "disabled");
    click(centreOf(param::kOutLimiter), toolkit::kRButton);
    EXPECT_EQ(limiter->displayText(), "fast");
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kOutLimiter), 16), 3);
    click(centreOf(param::kOutLimiter));
    EXPECT_EQ(limiter->displayText(), "disabled");
    auto* latency = dynamic_cast<CModuleParamDiscreet*>(editor->controlForTag(param::kReportLatency));
    ASSERT_NE(latency, nullptr);
    EXPECT_EQ(latency->displayText(), "disabled");
    click(centreOf(param::kReportLatency));
    EXPECT_EQ(latency->displayText(), "enabled");
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kReportLatency), 2), 1);

    auto* falloff = dynamic_cast<CModuleParam*>(editor->controlForTag(param::kMeterFalloff));
    ASSERT_NE(falloff, nullptr);
    EXPECT_EQ(falloff->valueText(), "33 dB/sec");

    struct Entry {
        int tag;
        const char* text;
        float value;
        const char* shown;
    };
    for (Entry e : {Entry{param::kTempo, "500", 1.0f, "300.0 bpm"}, Entry{param::kTempo, "30", 0.0f, "30.0 bpm"},
                    Entry{param::kTempo, "165", 0.5f, "165.0 bpm"}, Entry{param::kMeterHold, "inf", 1.0f, "infinite"},
                    Entry{param::kMeterHold, "800", 0.0f, "1000 ms"}, Entry{param::kMeterHold, "3000", 0.5f, "3000 ms"},
                    Entry{param::kMeterFalloff, "100", 1.0f, "60 dB/sec"},
                    Entry{param::kMeterFalloff, "1", 0.0f, "6 dB/sec"},
                    Entry{param::kPpqOffset, "4.7", 0.25f, "4/16"}}) {
        doubleClick(centreOf(e.tag));
        auto* control = dynamic_cast<CModuleParam*>(editor->controlForTag(e.tag));
        ASSERT_NE(control, nullptr);
        ASSERT_TRUE(control->isTextEditing()) << e.text;
        typeEntry(e.text);
        EXPECT_NEAR(plugin->getParameter(e.tag), e.value, 1e-5f) << e.text;
        EXPECT_EQ(control->valueText(), e.shown) << e.text;
    }
    // Tempo edits are host automation; the metering settings are not.
    EXPECT_TRUE(AutomationLog::contains(param::kTempo));
    EXPECT_FALSE(AutomationLog::contains(param::kMeterHold));
    // Text that is no number changes nothing.
    doubleClick(centreOf(param::kTempo));
    typeEntry("fast");
    EXPECT_NEAR(plugin->getParameter(param::kTempo), 0.5f, 1e-5f);
}

TEST_F(EditorBasics, LockedTempoFollowsTheHost) {
    plugin->setParameter(param::kCurrMain, discreteValue(2, 4));
    plugin->setParameter(param::kTempoSync, discreteValue(1, 4));
    plugin->setParameter(param::kTempo, 0.0f);
    open();
    auto* tempo = dynamic_cast<CModuleParam*>(editor->controlForTag(param::kTempo));
    ASSERT_NE(tempo, nullptr);
    step(2);
    EXPECT_FLOAT_EQ(tempo->getValue(), plugin->getCurrentTempoValue());
    // An edit is answered with the host's tempo.
    doubleClick(centreOf(param::kTempo));
    typeEntry("200");
    EXPECT_FLOAT_EQ(tempo->getValue(), plugin->getCurrentTempoValue());
    EXPECT_FLOAT_EQ(plugin->getParameter(param::kTempo), 0.0f);
}

TEST(EditorConversions, PreferenceTexts) {
    EXPECT_EQ(limiterText(7), "n/a");
    EXPECT_EQ(tempoSyncText(1), "enabled");
    EXPECT_EQ(tempoSyncText(2), "n/a");
    EXPECT_EQ(tempoText(0.5f), "165.0 bpm");
    EXPECT_EQ(ppqOffsetText(0.99f), "15/16");
    EXPECT_EQ(holdText(0.25f), "2000 ms");
    EXPECT_EQ(falloffText(0.5f), "33 dB/sec");
    float v = 0;
    // Above the scale's end: the parameter cannot hold more than 1.
    EXPECT_TRUE(ppqOffsetFromText("40", v));
    EXPECT_EQ(v, 1.0f);
    EXPECT_TRUE(holdFromText("Infinity", v));
    EXPECT_EQ(v, 1.0f);
    EXPECT_TRUE(holdFromText("9000", v));
    EXPECT_EQ(v, 1.0f);
}

TEST(EditorMeter, FallsAtTheFalloffRateAndHoldsThePeak) {
    CMeter meter(CRect(0, 0, 220, 8), nullptr);
    meter.setFalloff(0.0f);  // 6 dB per second
    meter.setHold(0.0f);     // 1 s
    uint64_t t = 0;
    meter.feed(1.0f, t);
    EXPECT_DOUBLE_EQ(meter.level(), 0.0);
    for (int i = 0; i < 40; ++i) meter.feed(0.0f, t += 50);
    EXPECT_NEAR(meter.level(), -12.0, 1e-6);
    // Held one second, then falling for one.
    EXPECT_NEAR(meter.peak(), -6.0, 0.31);
    // Falloff 1 is 60 dB per second.
    CMeter fast(CRect(0, 0, 220, 8), nullptr);
    fast.setFalloff(1.0f);
    fast.feed(1.0f, 0);
    fast.feed(0.0f, 500);
    EXPECT_NEAR(fast.level(), -30.0, 1e-6);
    // Hold 1 is forever.
    CMeter held(CRect(0, 0, 220, 8), nullptr);
    held.setHold(1.0f);
    held.feed(0.5f, 0);
    held.feed(0.0f, 60000);
    EXPECT_NEAR(held.peak(), 20 * std::log10(0.5), 1e-6);
    // Segments: 0 dB lights 47, +6 dB fills the meter, -60 dB nothing.
    EXPECT_EQ(CMeter::segments(0), 47);
    EXPECT_EQ(CMeter::segments(6), 55);
    EXPECT_EQ(CMeter::segments(-12), 31);
    EXPECT_EQ(CMeter::segments(-60), 0);
}

TEST_F(EditorBasics, MetersShowTheEngineLevelsAndResetOnAClick) {
    plugin->setParameter(param::kMeterFalloff, 0.0f);
    open();
    std::vector<float> l(512, 1.0f), r(512, 1.0f), s(512, 0.0f), ol(512), orr(512);
    float* in[4] = {l.data(), r.data(), s.data(), s.data()};
    float* out[2] = {ol.data(), orr.data()};
    plugin->processReplacing(in, out, 512);
    step();
    EXPECT_NEAR(editor->meter(0)->level(), 0.0, 0.5);
    step(40);
    EXPECT_NEAR(editor->meter(0)->level(), -12.0, 0.5);
    // The lit bar ends at segment 31 now.
    editor->getFrame()->redrawDirty();
    const Artwork* art = editor->artwork();
    EXPECT_EQ(editor->getFrame()->getPixel(65 + 30 * 4 + 1, 304 + 4), art->meter->getPixel(30 * 4 + 1, 8 + 4));
    EXPECT_EQ(editor->getFrame()->getPixel(65 + 32 * 4 + 1, 304 + 4), art->meter->getPixel(32 * 4 + 1, 4));
    // (The idle step after the click lets silence fall further.)
    click(CPoint(100, 308));
    EXPECT_LE(editor->meter(0)->level(), -60.0);
    EXPECT_LE(editor->meter(1)->level(), -60.0);
    EXPECT_LE(editor->meter(1)->peak(), -60.0);
}

TEST_F(EditorBasics, KnobNamesAndUnusedKnobs) {
    // Knob 1 named by the engine's name characters; knob 2 has none.
    const char* name = "LFO RATE";
    for (int i = 0; i < 8; ++i)
        plugin->setParameter(param::kKnobNames + i, discreteValue(static_cast<unsigned char>(name[i]), 128));
    plugin->setParameter(param::kKnobNames + 8, 0.0f);
    plugin->setParameter(param::kSlotSource1, discreteValue(4, kNumSources));
    plugin->setParameter(param::kSlotSource1 + 1, discreteValue(5, kNumSources));
    open();
    auto* knob1 = dynamic_cast<CMyNameKnob*>(editor->knob(param::kKnob1));
    auto* knob2 = dynamic_cast<CMyNameKnob*>(editor->knob(param::kKnob1 + 1));
    auto* knob3 = dynamic_cast<CMyNameKnob*>(editor->knob(param::kKnob1 + 2));
    ASSERT_TRUE(knob1 && knob2 && knob3);
    EXPECT_TRUE(knob1->isAssigned());
    EXPECT_EQ(knob1->labelText(), "LFO RATE");
    EXPECT_EQ(knob2->labelText(), "KNOB2");
    EXPECT_FALSE(knob3->isAssigned());
    EXPECT_EQ(knob3->labelText(), "");
    EXPECT_EQ(knob3->getFrameIndex(), kKnobFrames - 1);
    // Over an unused knob the label says so; the knob ignores the mouse.
    window->mouseMoved(knob3->getFrameRect().getCenter());
    editor->idle();
    EXPECT_EQ(knob3->labelText(), "UNUSED");
    float before = plugin->getParameter(param::kKnob1 + 2);
    window->drag(knob3->getFrameRect().getCenter(), knob3->getFrameRect().getCenter() - CPoint(0, 50));
    editor->idle();
    EXPECT_EQ(plugin->getParameter(param::kKnob1 + 2), before);
    // Over an assigned knob it shows the value.
    plugin->setParameter(param::kKnob1, 0.25f);
    window->mouseMoved(knob1->getFrameRect().getCenter());
    step();
    EXPECT_EQ(knob1->labelText(), "25.0");
    // Names are cut to 8 characters.
    knob1->setName("OSCILLATOR");
    EXPECT_EQ(knob1->getName(), "OSCILLAT");
    // Removing the slot's source leaves the knob unused.
    plugin->setParameter(param::kSlotSource1 + 1, discreteValue(kSourceNone, kNumSources));
    step();
    EXPECT_FALSE(knob2->isAssigned());
}

TEST(EditorText, GlyphArithmeticAndCutting) {
    EXPECT_EQ(CTextPrinter::glyphIndex('A', true, true), 321);
    EXPECT_EQ(CTextPrinter::glyphIndex('A', false, false), 33);
    EXPECT_EQ(CTextPrinter::glyphIndex(128 + 'A', false, false), 33);
    EXPECT_EQ(CTextPrinter::glyphIndex(5, false, false), 0);
    EXPECT_EQ(CTextPrinter::width("abc"), 18);
    CModuleParamDiscreet control(CRect(0, 0, 100, 10), nullptr, 1, nullptr, 4, 2, nullptr);
    EXPECT_EQ(control.getLabel(), "no name!");
    control.setLabel(std::string(70, 'x'));
    EXPECT_EQ(control.getLabel().size(), 64u);
    CModuleParam param(CRect(0, 0, 100, 10), nullptr, 1, nullptr, std::string(70, 'y'),
                       [](float, int) { return std::string("v"); });
    EXPECT_EQ(param.getLabel().size(), 64u);
    CModuleText text(CRect(0, 0, 10, 10), nullptr);
    EXPECT_EQ(text.getText(), "uninitialized text!!!");
    text.setText(std::string(200, 'z'));
    EXPECT_EQ(text.getText().size(), 128u);
}

TEST_F(EditorBasics, PrintedTextUsesTheFontGlyphs) {
    open();
    toolkit::CBitmap target(20, 10);
    {
        toolkit::CDrawContext context(&target);
        CTextPrinter::print(&context, editor->artwork()->font, 0, 8, "I", false, false, true);
    }
    // 'I' has its stem in column 2, in the mark colour when marked.
    EXPECT_EQ(target.getPixel(2, 4), kMark);
    EXPECT_EQ(target.getPixel(0, 4).alpha, 0);
}

TEST_F(EditorBasics, ModuleParametersWithoutAParserIgnoreTypedText) {
    open();
    CModuleParam* param =
        new CModuleParam(CRect(320, 200, 420, 210), editor, param::kTempo, editor->artwork()->font, "t",
                         [](float v, int) { return tempoText(v); });
    editor->getFrame()->addView(param);
    plugin->setParameter(param::kTempo, 0.25f);
    param->setValue(0.25f);
    doubleClick(CPoint(370, 205));
    ASSERT_TRUE(param->isTextEditing());
    typeEntry("200");
    EXPECT_FLOAT_EQ(plugin->getParameter(param::kTempo), 0.25f);
}

TEST_F(EditorBasics, ModulePanelEditsGoThroughTheModule) {
    open();
    toolkit::CViewContainer* panel = editor->operatorPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_GT(plugin->getOperator(0)->getNumParameters(), 0);
    CControl* first = editor->controlForTag(param::opParam(0, 0));
    ASSERT_NE(first, nullptr);
    CPoint at = first->getFrameRect().getCenter();
    float before = plugin->getParameter(param::opParam(0, 0));
    window->wheel(at, before > 0.5f ? -10 : 10);
    editor->idle();
    EXPECT_NEAR(plugin->getParameter(param::opParam(0, 0)), before + (before > 0.5f ? -0.1f : 0.1f), 1e-4f);
    EXPECT_TRUE(AutomationLog::contains(param::opParam(0, 0)));
    // Showing another operator rebuilds the panel with that operator's tags.
    click(opButton(1));
    EXPECT_EQ(editor->controlForTag(param::opParam(0, 0)), nullptr);
    if (plugin->getOperator(1)->getNumParameters() > 0) {
        EXPECT_NE(editor->controlForTag(param::opParam(1, 0)), nullptr);
    }
}

TEST_F(EditorBasics, PanelTouchReportsTheShownModule) {
    plugin->setParameter(param::kCurrMod, discreteValue(3, 4));
    open();
    click(CPoint(70, 150));
    EXPECT_EQ(editor->lastTouchedButton(), tag::kModButton1 + 3);
    click(CPoint(760, 150));
    EXPECT_EQ(editor->lastTouchedButton(), tag::kOpButton1 + 0);
}

TEST_F(EditorBasics, EngineChangesFromAnotherThreadAreAppliedAtIdle) {
    open();
    std::atomic<bool> stop{false};
    std::thread automation([&] {
        for (int i = 0; !stop.load() && i < 20000; ++i) {
            plugin->setParameter(param::kMix, float(i % 100) / 100.0f);
            plugin->setParameter(param::kOpBypass1 + 1, float(i % 2));
        }
    });
    for (int i = 0; i < 50; ++i) step();
    stop = true;
    automation.join();
    plugin->setParameter(param::kMix, 0.375f);
    step();
    EXPECT_FLOAT_EQ(editor->knob(param::kMix)->getValue(), 0.375f);
}

TEST_F(EditorBasics, ReopeningAndScreenshotsAreSafe) {
    for (int i = 0; i < 5; ++i) {
        open();
        step(2);
        editor->close();
        EXPECT_FALSE(editor->isOpen());
    }
    // Parameter changes with the window closed reach no view.
    plugin->setParameter(param::kInput, 0.1f);
    std::string path = mFolder + "/shot.png";
    EXPECT_EQ(plugin->vendorSpecific(kVendorCommand, kVendorEditorScreenshot, const_cast<char*>(path.c_str()), 0), 1);
    toolkit::CBitmap* shot = toolkit::CBitmap::createFromPngFile(path);
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->getWidth(), 830);
    EXPECT_EQ(shot->getHeight(), 335);
    shot->forget();
    EXPECT_FALSE(editor->isOpen());
    // Destroying the engine with the window open closes it first.
    open();
}

TEST_F(EditorBasics, ListParametersGetAChoiceControl) {
    int lfo = -1;
    for (int t = 0; t < kNumModulatorTypes; ++t)
        if (std::string(modulatorTypeLabel(t)) == "LFO") lfo = t;
    ASSERT_GE(lfo, 0);
    plugin->setParameter(param::kModType1, discreteValue(lfo, kNumTypeSteps));
    open();
    Modulator* mod = plugin->getModulator(0);
    int shape = -1;
    for (int i = 0; i < mod->getNumParameters(); ++i)
        if (mod->getParameterSteps(i) > 2) shape = i;
    ASSERT_GE(shape, 0);
    int steps = mod->getParameterSteps(shape);
    auto* choice = dynamic_cast<CModuleParamDiscreet*>(editor->controlForTag(param::modParam(0, shape)));
    ASSERT_NE(choice, nullptr);
    plugin->setParameter(param::modParam(0, shape), discreteValue(0, steps));
    step();
    click(choice->getFrameRect().getCenter());
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::modParam(0, shape)), steps), 1);
    EXPECT_TRUE(AutomationLog::contains(param::modParam(0, shape)));
    click(choice->getFrameRect().getCenter(), toolkit::kRButton);
    click(choice->getFrameRect().getCenter(), toolkit::kRButton);
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::modParam(0, shape)), steps), steps - 1);
}

TEST_F(EditorBasics, ListsOfferOnlyTheStatesMeantToBePicked) {
    // Some lists keep more states than they offer (for stored values): the
    // compressor's type offers compress and expand of four states, the
    // waveshaper its seven curves of sixteen, the reverb its four algorithms.
    struct Case {
        int type, index, states, offered;
    };
    for (Case c : {Case{kOpCompExp, CompExp::kMode, CompExp::kNumModes, 2},
                   Case{kOpDistortion, Distortion::kType, Distortion::kNumTypeStates, Distortion::kNumCurves},
                   Case{kOpReverb, Reverb2::kType, Reverb2::kNumTypeStates, Reverb2::kNumAlgorithms}}) {
        plugin->setParameter(param::kOpType1, discreteValue(c.type, kNumTypeSteps));
        open();
        const int tag = param::opParam(0, c.index);
        auto* choice = dynamic_cast<CModuleParamDiscreet*>(editor->controlForTag(tag));
        ASSERT_NE(choice, nullptr) << c.type;
        plugin->setParameter(tag, discreteValue(c.offered - 1, c.states));
        step();
        click(choice->getFrameRect().getCenter());  // past the last offered: back to the first
        EXPECT_EQ(discreteIndex(plugin->getParameter(tag), c.states), 0) << c.type;
        click(choice->getFrameRect().getCenter(), toolkit::kRButton);  // and backwards
        EXPECT_EQ(discreteIndex(plugin->getParameter(tag), c.states), c.offered - 1) << c.type;
        editor->close();
    }
}

TEST(EditorCommandLine, ScreenshotWritesThePicture) {
    std::string host = VH_HOST_PATH, plugin = VH_PLUGIN_PATH;
    if (host.empty() || plugin.empty()) GTEST_SKIP() << "host or plug-in not built";
    char folder[] = "/tmp/vh_editor_shot_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string out = std::string(folder) + "/editor.png";
    std::string command = host + " screenshot " + plugin + " " + out + " --page 2 --op 1 --offscreen > /dev/null";
    EXPECT_EQ(system(command.c_str()), 0);
    toolkit::CBitmap* shot = toolkit::CBitmap::createFromPngFile(out);
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->getWidth(), 830);
    EXPECT_EQ(shot->getHeight(), 335);
    // The page area is drawn (light), the OP2 button lit like a selected one.
    EXPECT_EQ(shot->getPixel(310, 210), kLight);
    shot->forget();
    command = std::string("rm -rf ") + folder;
    (void)system(command.c_str());
    EXPECT_NE(system((host + " screenshot " + plugin + " --offscreen > /dev/null 2>&1").c_str()), 0);
}

TEST_F(EditorBasics, ClosingWithAListOrATextFieldOpen) {
    open();
    click(CPoint(650, 48));
    ASSERT_TRUE(editor->operatorSelector()->isListOpen());
    editor->close();
    open();
    doubleClick(kOutputKnob);
    ASSERT_NE(editor->knob(param::kOutput)->getTextField(), nullptr);
    float before = plugin->getParameter(param::kOutput);
    editor->close();
    EXPECT_EQ(plugin->getParameter(param::kOutput), before);
    // A type change from the host while the list is open rebuilds under it.
    open();
    click(CPoint(650, 48));
    plugin->setParameter(param::kOpType1, discreteValue(2, kNumTypeSteps));
    step();
    click(CPoint(10, 300));
    EXPECT_FALSE(editor->operatorSelector()->isListOpen());
}
