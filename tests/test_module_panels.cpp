// Module panels and their plots, off screen: every type's panel fits without
// text running into text, the step sequencer's plot edits its steps with
// the mouse, and the other plots put the physics where the axes say.

#include <gtest/gtest.h>

#include <cmath>

#include "EditorTestSupport.h"
#include "editor/ModulePanel.h"
#include "editor/Plots.h"
#include "editor/StepPlot.h"
#include "modulators/LFO.h"
#include "modulators/STEP.h"
#include "modules/ModuleTypes.h"
#include "operators/Biquad.h"
#include "operators/CompExp.h"
#include "operators/DelayLine.h"
#include "operators/Moog.h"
#include "operators/SVF.h"
#include "operators/FilterControls.h"

using namespace vh;
using namespace vh::editor;
using namespace vh::test;
using toolkit::CPoint;
using toolkit::CRect;

namespace {

// Row of the darkest pixel of a column inside a rectangle: where a dark
// curve crosses that column.
int darkestRow(toolkit::CFrame* frame, int x, const CRect& r) {
    int best = -1, bestSum = 1 << 30;
    for (int y = int(r.top); y < int(r.bottom); ++y) {
        toolkit::CColor c = frame->getPixel(x, y);
        int sum = c.red + c.green + c.blue;
        if (sum < bestSum) bestSum = sum, best = y;
    }
    return best;
}

CRect inner(const CModulePlot* plot) {
    CRect r = plot->getFrameRect();
    return r.inset(3, 3);
}

class ModulePanels : public EditorFixture {
protected:
    void showOperator(int type) {
        plugin->setParameter(param::kOpType1, discreteValue(type, kNumTypeSteps));
        step();
    }
    void showModulator(int type) {
        plugin->setParameter(param::kModType1, discreteValue(type, kNumTypeSteps));
        step();
    }
    void redraw() {
        step();
        editor->getFrame()->invalidAll();
        editor->getFrame()->redrawDirty();
    }
    // Every control's text, at the ends of its range and where it stands,
    // stays inside the panel and clear of every other text and the plot.
    void expectPanelReadable(toolkit::CViewContainer* panel, CModulePlot* plot, const std::string& what) {
        CRect bounds = panel->getFrameRect();
        for (float v : {-1.0f, 0.0f, 1.0f}) {
            if (v >= 0)
                for (int i = 0; i < panel->getNbViews(); ++i)
                    if (auto* c = dynamic_cast<CControl*>(panel->getView(i)); c && c != plot) c->setValue(v);
            std::vector<CRect> boxes = panelTextBoxes(panel);
            for (size_t a = 0; a < boxes.size(); ++a) {
                EXPECT_GE(boxes[a].left, bounds.left) << what;
                EXPECT_LE(boxes[a].right, bounds.right) << what;
                EXPECT_LE(boxes[a].bottom, bounds.bottom) << what;
                if (plot) {
                    EXPECT_FALSE(boxes[a].rectOverlap(plot->getFrameRect())) << what;
                }
                for (size_t b = a + 1; b < boxes.size(); ++b)
                    EXPECT_FALSE(boxes[a].rectOverlap(boxes[b]))
                        << what << ": text boxes " << a << " and " << b << " overlap at value " << v;
            }
        }
    }
    CSTEPPlot* stepPlot() { return dynamic_cast<CSTEPPlot*>(editor->modulatorPlot()); }
    float stepParam(int i) { return plugin->getParameter(param::modParam(0, i)); }
    size_t edits() { return AutomationLog::entries().size(); }
};

}  // namespace

TEST_F(ModulePanels, EveryTypeFitsItsPanelWithoutOverlappingText) {
    open();
    int plots = 0;
    for (int t = 0; t < kNumOperatorTypes; ++t) {
        showOperator(t);
        int count = plugin->getOperator(0)->getNumParameters();
        expectPanelReadable(editor->operatorPanel(), editor->operatorPlot(), operatorTypeLabel(t));
        // Every parameter has its control (or lives in the plot).
        for (int i = 0; i < count; ++i)
            EXPECT_NE(editor->controlForTag(param::opParam(0, i)), nullptr) << operatorTypeLabel(t) << " " << i;
        if (editor->operatorPlot()) ++plots;
    }
    for (int t = 0; t < kNumModulatorTypes; ++t) {
        showModulator(t);
        expectPanelReadable(editor->modulatorPanel(), editor->modulatorPlot(), modulatorTypeLabel(t));
        if (editor->modulatorPlot()) ++plots;
    }
    EXPECT_EQ(plots, 14);
}

TEST(PanelLayout, ManyControlsTakeTwoColumnsAndLeaveThePlotItsRoom) {
    std::vector<ControlWidths> six(6, ControlWidths{6, 5, 6});
    PanelLayout withPlot = layoutPanel(218, 150, six, true, 102, 102);
    EXPECT_EQ(withPlot.plot.getHeight(), 100);  // from y 2 to 102
    ASSERT_EQ(withPlot.items.size(), 6u);
    // Three rows of two, below the plot.
    EXPECT_EQ(withPlot.items[0].rect.top, withPlot.items[1].rect.top);
    EXPECT_GE(withPlot.items[0].rect.top, withPlot.plot.bottom);
    EXPECT_LE(withPlot.items[5].rect.bottom, 150);
    // A few short controls stay in one column under a plot.
    PanelLayout few = layoutPanel(218, 150, std::vector<ControlWidths>(3, ControlWidths{6, 5, 6}), true, 150, 60);
    EXPECT_EQ(few.items[0].rect.getWidth(), few.items[1].rect.getWidth());
    EXPECT_GT(few.items[0].rect.getWidth(), 200);
    // A control too wide for half a row spans the whole row.
    std::vector<ControlWidths> mixed(12, ControlWidths{6, 5, 6});
    mixed[3] = ControlWidths{20, 12, 8};
    PanelLayout wide = layoutPanel(218, 150, mixed, false, 0, 0);
    EXPECT_GT(wide.items[3].rect.getWidth(), 200);
    for (size_t a = 0; a < wide.items.size(); ++a)
        for (size_t b = a + 1; b < wide.items.size(); ++b)
            EXPECT_FALSE(wide.items[a].rect.rectOverlap(wide.items[b].rect)) << a << " " << b;
}

// --- the step sequencer's plot ---------------------------------------------

TEST_F(ModulePanels, DraggingAStepBarBy75PixelsFromZeroGivesHalf) {
    showModulator(kModStep);
    open();
    CSTEPPlot* plot = stepPlot();
    ASSERT_NE(plot, nullptr);
    ASSERT_EQ(stepParam(2), 0.0f);
    CPoint from = plot->barPoint(2, false, 0.0);
    window->drag(from, CPoint(from.x, from.y - 75));
    step();
    EXPECT_FLOAT_EQ(stepParam(STEP::kLeftStep0 + 2), 0.5f);
    EXPECT_EQ(stepParam(STEP::kRightStep0 + 2), 0.0f);  // not linked: the right row stays
    EXPECT_TRUE(AutomationLog::contains(param::modParam(0, 2)));
    EXPECT_FLOAT_EQ(plot->stepValue(2), 0.5f);

    // With Shift 750 pixels make the range; a change of Shift re-anchors.
    now += 1000;
    window->mouseDown(from, toolkit::kLButton | toolkit::kShift, now);
    window->mouseMoved(CPoint(from.x, from.y - 75), toolkit::kLButton | toolkit::kShift);
    editor->idle();
    EXPECT_NEAR(plot->stepValue(2), 0.6f, 1e-5f);
    window->mouseMoved(CPoint(from.x, from.y - 75), toolkit::kLButton);  // Shift let go: anchored here
    window->mouseMoved(CPoint(from.x, from.y - 90), toolkit::kLButton);  // 15 px of 150
    editor->idle();
    EXPECT_NEAR(plot->stepValue(2), 0.7f, 1e-5f);
    window->mouseUp(CPoint(from.x, from.y - 90));
    step();
    EXPECT_NEAR(stepParam(2), 0.7f, 1e-5f);
}

TEST_F(ModulePanels, LinkedRowsAreDrawnAndEditedTogether) {
    showModulator(kModStep);
    open();
    CSTEPPlot* plot = stepPlot();
    ASSERT_NE(plot, nullptr);
    for (int s = 0; s < 16; ++s) plugin->setParameter(param::modParam(0, s), 0.25f);
    step();
    // A click in the lower half of the link strip links and copies the
    // right row (all zero) to the left.
    size_t before = edits();
    click(plot->linkPoint(false));
    EXPECT_TRUE(plot->isLinked());
    for (int s = 0; s < 16; ++s) EXPECT_EQ(stepParam(s), 0.0f) << s;
    EXPECT_EQ(edits() - before, 16u);
    // Drawing with Control over the right row sets the left row too.
    CPoint a = plot->barPoint(4, true, 0.5), b = plot->barPoint(6, true, 0.5);
    now += 1000;
    window->mouseDown(a, toolkit::kLButton | toolkit::kControl, now);
    window->mouseMoved(CPoint((a.x + b.x) / 2, a.y), toolkit::kLButton | toolkit::kControl);
    window->mouseMoved(b, toolkit::kLButton | toolkit::kControl);
    window->mouseUp(b, toolkit::kLButton | toolkit::kControl);
    step();
    for (int s : {4, 5, 6}) {
        EXPECT_NEAR(stepParam(STEP::kRightStep0 + s), 0.5f, 0.03f) << s;
        EXPECT_EQ(stepParam(STEP::kLeftStep0 + s), stepParam(STEP::kRightStep0 + s)) << s;
    }
    EXPECT_EQ(stepParam(3), 0.0f);
    // A quick stroke that skips columns still sets the bars it passed over.
    CPoint c = plot->barPoint(8, false, 0.25), d = plot->barPoint(12, false, 0.75);
    now += 1000;
    window->mouseDown(c, toolkit::kLButton | toolkit::kControl, now);
    window->mouseMoved(d, toolkit::kLButton | toolkit::kControl);
    window->mouseUp(d, toolkit::kLButton | toolkit::kControl);
    step();
    // Each bar keeps the height where the stroke left it.
    for (int s = 8; s <= 12; ++s) EXPECT_NEAR(stepParam(s), 0.25f + 0.125f * (s - 8), 0.07f) << s;
    for (int s = 9; s <= 12; ++s) EXPECT_GT(stepParam(s), stepParam(s - 1)) << s;
    // The readout of a linked step has no row letter.
    window->mouseMoved(plot->barPoint(4, false, 0.2));
    editor->idle();
    EXPECT_EQ(plot->readout().rfind("STEP 5: VALUE = ", 0), 0u) << plot->readout();
    // The link survives closing the window: the module keeps it.
    editor->close();
    open();
    EXPECT_TRUE(stepPlot()->isLinked());
    // Unlinking copies nothing; the upper half then copies left to right.
    click(stepPlot()->linkPoint(true));
    EXPECT_FALSE(stepPlot()->isLinked());
    plugin->setParameter(param::modParam(0, 0), 0.75f);
    step();
    click(stepPlot()->linkPoint(true));
    EXPECT_EQ(stepParam(STEP::kRightStep0), 0.75f);
}

TEST_F(ModulePanels, StepsBeyondTheVisibleCountAreNeitherDrawnNorNumberedNorEdited) {
    showModulator(kModStep);
    plugin->setParameter(param::modParam(0, STEP::kSteps), discreteValue(7, 16));  // 8 steps
    for (int s = 0; s < 16; ++s) plugin->setParameter(param::modParam(0, s), 1.0f);
    open();
    redraw();
    CSTEPPlot* plot = stepPlot();
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->visibleSteps(), 8);
    auto* frame = editor->getFrame();
    // A full bar of a visible step is dark; step 12's column and its number
    // line are bare background.
    CPoint shown = plot->barPoint(7, false, 0.5), hidden = plot->barPoint(11, false, 0.5);
    EXPECT_EQ(frame->getPixel(int(shown.x), int(shown.y)), kDark);
    for (double dy : {-15.0, 0.0, 15.0, 23.0, 25.0, 27.0})
        for (double dx : {-4.0, -2.0, 0.0, 2.0, 4.0})
            EXPECT_EQ(frame->getPixel(int(hidden.x + dx), int(hidden.y + dy)), kLight) << dx << "," << dy;
    // Pointing at it shows no readout; the wheel and a drag do nothing there.
    window->mouseMoved(hidden);
    editor->idle();
    EXPECT_EQ(plot->editedStep(), -1);
    EXPECT_TRUE(plot->readout().empty());
    size_t before = edits();
    window->wheel(hidden, -5);
    window->drag(hidden, CPoint(hidden.x, hidden.y + 40));
    step();
    EXPECT_EQ(edits(), before);
    EXPECT_EQ(stepParam(11), 1.0f);
    // A visible step shows its readout in place of the numbers.
    window->mouseMoved(plot->barPoint(2, true, 0.5));
    editor->idle();
    EXPECT_EQ(plot->readout(), "STEP 3R: VALUE = 0.0%");
}

TEST_F(ModulePanels, StepWheelMovesByHundredthsAndSendsOnlyChanges) {
    showModulator(kModStep);
    open();
    CSTEPPlot* plot = stepPlot();
    ASSERT_NE(plot, nullptr);
    CPoint bar = plot->barPoint(0, true, 0.2);
    window->wheel(bar, 3);
    window->wheel(bar, 2, toolkit::kShift);
    step();
    EXPECT_NEAR(stepParam(STEP::kRightStep0), 0.032f, 1e-6f);
    // At the bottom already: wheeling down changes nothing and says nothing.
    CPoint left = plot->barPoint(1, false, 0.2);
    size_t before = edits();
    window->wheel(left, -4);
    window->drag(left, CPoint(left.x, left.y + 30));
    step();
    EXPECT_EQ(edits(), before);
}

TEST_F(ModulePanels, CurrentStepIsHighlightedWhileTheSequencerRuns) {
    showModulator(kModStep);
    open();
    CSTEPPlot* plot = stepPlot();
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->currentStep(), 0);
    // 1/16 at 120 bpm: 0.125 s a step; 0.3 s in, the third step plays.
    std::vector<float> zero(512, 0.0f), ol(512), orr(512);
    float* in[4] = {zero.data(), zero.data(), zero.data(), zero.data()};
    float* out[2] = {ol.data(), orr.data()};
    for (int b = 0; b < 26; ++b) plugin->processReplacing(in, out, 512);
    step();
    EXPECT_EQ(plot->currentStep(), 2);
}

// --- plots tied to physics --------------------------------------------------

TEST_F(ModulePanels, BiquadLowPassCrossesMinus3DbAtTheCutoffColumn) {
    showOperator(kOpBiquad);
    plugin->setParameter(param::opParam(0, Biquad::kFreqA), filter::frequencyValue(1000.0));
    plugin->setParameter(param::opParam(0, Biquad::kResoA), 0.0f);
    plugin->setParameter(param::opParam(0, Biquad::kTypeA), discreteValue(filter::kLowPass, filter::kNumFilterTypes));
    plugin->setParameter(param::opParam(0, Biquad::kMorph), 0.0f);
    open();
    redraw();
    auto* plot = dynamic_cast<CBiquadPlot*>(editor->operatorPlot());
    ASSERT_NE(plot, nullptr);
    auto* frame = editor->getFrame();
    CRect r = inner(plot);
    int x = int(std::floor(plot->xOfFrequency(1000.0)));
    EXPECT_NEAR(darkestRow(frame, x, r) + 0.5, plot->yOfDb(-3.0), 1.5);
    // An octave either side: flat below, about -12 dB above.
    EXPECT_NEAR(darkestRow(frame, int(plot->xOfFrequency(250.0)), r) + 0.5, plot->yOfDb(0.0), 1.5);
    EXPECT_NEAR(darkestRow(frame, int(plot->xOfFrequency(4000.0)), r) + 0.5, plot->yOfDb(-24.0), 2.0);
}

TEST_F(ModulePanels, CompressorCurveBendsAtTheThresholdColumn) {
    showOperator(kOpCompExp);
    const int p = param::opParam(0, 0);
    plugin->setParameter(p + CompExp::kThreshold, 0.5f);  // -30 dB
    plugin->setParameter(p + CompExp::kRatio, 0.75f);     // 4:1
    plugin->setParameter(p + CompExp::kMakeup, 0.5f);     // 0 dB
    plugin->setParameter(p + CompExp::kAutoMakeup, discreteValue(0, 2));
    plugin->setParameter(p + CompExp::kMode, discreteValue(CompExp::kCompress, CompExp::kNumModes));
    open();
    redraw();
    auto* plot = dynamic_cast<CCompExpPlot*>(editor->operatorPlot());
    ASSERT_NE(plot, nullptr);
    auto* frame = editor->getFrame();
    CRect r = inner(plot);
    auto rowAt = [&](double inDb) { return darkestRow(frame, int(plot->xOfDb(inDb)), r) + 0.5; };
    // Below the threshold the curve is the unity line...
    for (double in : {-50.0, -40.0, -32.0}) EXPECT_NEAR(rowAt(in), plot->yOfDb(in), 1.5) << in;
    // ...above it a quarter of the slope.
    for (double in : {-20.0, -10.0}) {
        EXPECT_NEAR(rowAt(in), plot->yOfDb(-30.0 + (in + 30.0) * 0.25), 1.5) << in;
        EXPECT_GT(rowAt(in) - plot->yOfDb(in), 3.0) << in;
    }
}

TEST_F(ModulePanels, LfoSquareWithTiltAQuarterIsHighForAQuarterOfTheWidth) {
    showModulator(kModLfo);
    const int p = param::modParam(0, 0);
    plugin->setParameter(p + LFO::kWaveform, discreteValue(LFO::kSquare, LFO::kNumWaveforms));
    plugin->setParameter(p + LFO::kTilt, 0.25f);
    plugin->setParameter(p + LFO::kDepth, 1.0f);
    open();
    redraw();
    auto* plot = dynamic_cast<CLFOPlot*>(editor->modulatorPlot());
    ASSERT_NE(plot, nullptr);
    auto* frame = editor->getFrame();
    CRect r = inner(plot);
    int high = 0, columns = 0;
    for (int x = int(r.left); x < int(r.right); ++x) {
        ++columns;
        if (darkestRow(frame, x, r) < plot->frameY(0.0)) ++high;
    }
    EXPECT_NEAR(double(high) / columns, 0.25, 2.0 / columns);
}

TEST_F(ModulePanels, ModulationPreviewShowsTheModulatedValuesExceptWhileEditing) {
    showOperator(kOpBiquad);
    plugin->setParameter(param::opParam(0, Biquad::kFreqA), filter::frequencyValue(1000.0));
    open();
    auto* plot = dynamic_cast<CBiquadPlot*>(editor->operatorPlot());
    ASSERT_NE(plot, nullptr);
    step();
    const std::vector<double> base = plot->curve(0);
    Operator* op = plugin->getOperator(0);
    // What a control tick leaves behind: the cutoff pulled down on the left.
    auto tick = [op] {
        op->resetModulation();
        op->addModulation(Biquad::kFreqA, -0.3f, 0.0f);
        op->publishModulation();
    };
    tick();
    step();
    EXPECT_EQ(plot->curve(0), base);  // preview off: base values
    plugin->setParameter(param::kModulationPreview, discreteValue(1, 3));
    tick();
    step();
    const std::vector<double> modulated = plot->curve(0);
    EXPECT_LT(modulated[modulated.size() / 2], base[base.size() / 2] - 6.0);
    plugin->setParameter(param::kModulationPreview, discreteValue(2, 3));  // right: unmodulated
    step();
    EXPECT_EQ(plot->curve(0), base);
    plugin->setParameter(param::kModulationPreview, discreteValue(1, 3));
    op->setEditing(true);
    step();
    EXPECT_EQ(plot->curve(0), base);
}

TEST_F(ModulePanels, EnvelopeHistoryScrollsWithTheOutput) {
    showModulator(kModAdsr);
    open();
    auto* plot = dynamic_cast<CADSRPlot*>(editor->modulatorPlot());
    ASSERT_NE(plot, nullptr);
    step();
    EXPECT_EQ(plot->curve(0).back(), 0.0);
    // A trigger level held high starts the envelope; the newest column rises.
    plugin->setParameter(param::modParam(0, 0), 1.0f);
    std::vector<float> zero(512, 0.0f), ol(512), orr(512);
    float* in[4] = {zero.data(), zero.data(), zero.data(), zero.data()};
    float* out[2] = {ol.data(), orr.data()};
    for (int b = 0; b < 40; ++b) plugin->processReplacing(in, out, 512);
    step();
    EXPECT_GT(plot->curve(0).back(), 0.1);
    EXPECT_EQ(plot->curve(0).front(), 0.0);  // six seconds ago nothing had happened
}

// --- the modules' plot functions ----------------------------------------------

namespace {
// Steady-state gain in dB of an operator's left channel for a sine.
template <class M>
double measuredGainDb(M& module, double freqHz, float rate) {
    const int n = int(rate), tail = int(rate / 10);
    double peak = 0;
    for (int i = 0; i < n; ++i) {
        float l = float(0.01 * std::sin(2 * M_PI * freqHz * i / rate)), r = l;
        module.processSample(&l, &r);
        if (i >= n - tail) peak = std::max(peak, std::fabs(double(l)));
    }
    return 20 * std::log10(peak / 0.01);
}
}  // namespace

TEST(ModulePlotFunctions, MeasuredResponsesMatchWhatTheFiltersDoToASine) {
    const float rate = 48000.0f;
    auto check = [&](Operator& op, const char* what) {
        op.setSampleRate(rate);
        float values[PlotSource::kMaxValues];
        op.plotValues(values);
        for (double hz : {200.0, 1000.0, 3000.0}) {
            double plotted[3] = {};
            double* out[3] = {&plotted[0], &plotted[1], &plotted[2]};
            op.responseDb(values, &hz, 1, out);
            op.clearState();
            EXPECT_NEAR(plotted[0], measuredGainDb(op, hz, rate), 0.5) << what << " at " << hz << " Hz";
        }
    };
    SVF svf(0, nullptr);
    svf.setParameter(SVF::kFreqA, filter::frequencyValue(1000.0));
    svf.setParameter(SVF::kResoA, 0.6f);
    svf.setParameter(SVF::kTypeB, discreteValue(filter::kHighPass, filter::kNumFilterTypes));
    svf.setParameter(SVF::kFreqB, filter::frequencyValue(1500.0));
    svf.setParameter(SVF::kMorph, 0.4f);
    check(svf, "svf");
    Moog moog(0, nullptr);
    moog.setParameter(Moog::kCutoff, filter::frequencyValue(1500.0));
    moog.setParameter(Moog::kEmphasis, 0.4f);
    check(moog, "moog");
    Biquad biquad(0, nullptr);
    biquad.setParameter(Biquad::kFreqA, filter::frequencyValue(700.0));
    biquad.setParameter(Biquad::kTypeB, discreteValue(filter::kHighPass, filter::kNumFilterTypes));
    biquad.setParameter(Biquad::kFreqB, filter::frequencyValue(2000.0));
    biquad.setParameter(Biquad::kMorph, 0.3f);
    check(biquad, "biquad morph");
}

TEST(ModulePlotFunctions, DelayTapsFallAtTheDelayTimeAndRepeatWithFeedback) {
    DelayLine delay(0, nullptr);
    delay.setParameter(DelayLine::kMode, discreteValue(DelayLine::kTimeBased, 2));
    delay.setParameter(DelayLine::kTimeL, 0.0625f);  // of 4 s: 250 ms
    delay.setParameter(DelayLine::kTimeR, 0.125f);   // 500 ms
    delay.setParameter(DelayLine::kFeedback, 0.8f);
    delay.setSampleRate(44100.0f);
    float values[PlotSource::kMaxValues];
    delay.plotValues(values);
    DelayTap taps[8];
    int n = delay.delayTaps(values, taps, 8);
    std::vector<DelayTap> left, right;
    for (int i = 0; i < n; ++i) (taps[i].channel == 0 ? left : right).push_back(taps[i]);
    ASSERT_GE(left.size(), 2u);
    ASSERT_GE(right.size(), 1u);
    EXPECT_NEAR(left[0].timeMs, 250.0, 0.1);
    EXPECT_NEAR(left[0].gain, 1.0, 0.01);
    EXPECT_NEAR(right[0].timeMs, 500.0, 0.1);
    // The left echo comes back after another 250 ms, quieter.
    EXPECT_NEAR(left[1].timeMs, 500.0, 0.1);
    EXPECT_LT(std::fabs(left[1].gain), 1.0);
    EXPECT_GT(std::fabs(left[1].gain), 0.1);
}

TEST(EditorCommandLine, ContactSheetShowsEveryPanel) {
    std::string host = VH_HOST_PATH, plugin = VH_PLUGIN_PATH;
    if (host.empty() || plugin.empty()) GTEST_SKIP() << "host or plug-in not built";
    char folder[] = "/tmp/vh_contact_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string out = std::string(folder) + "/sheet.png";
    EXPECT_EQ(system((host + " screenshot " + plugin + " " + out + " --contact-sheet > /dev/null").c_str()), 0);
    toolkit::CBitmap* sheet = toolkit::CBitmap::createFromPngFile(out);
    ASSERT_NE(sheet, nullptr);
    // Five columns of panels, four rows of operators and one of modulators;
    // every cell of a type is light panel inside.
    EXPECT_EQ(sheet->getWidth(), 5 * 226);
    EXPECT_EQ(sheet->getHeight(), 5 * 170);
    for (int cell : {0, 18, 20, 24}) EXPECT_EQ(sheet->getPixel(cell % 5 * 226 + 100, cell / 5 * 170 + 150), kLight) << cell;
    sheet->forget();
    (void)system((std::string("rm -rf ") + folder).c_str());
}
