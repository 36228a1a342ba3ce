// The view layer off screen: what is drawn where, what is redrawn, and how
// controls answer injected mouse, wheel and key events.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "ToolkitTestSupport.h"
#include "toolkit/COffscreenWindow.h"
#include "toolkit/CControls.h"
#include "toolkit/CTextEdit.h"

using namespace toolkit;
using namespace toolkit_test;

namespace {

class ToolkitOffscreen : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new CFrame(CRect(0, 0, 200, 120));
        frame->setClock(clock.function());
        frame->setBackgroundColor(kGrey);
        window = frame->openOffscreen();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { frame->forget(); }

    void idle() { frame->idle(); }
    // Idles with the clock moved on, so separate presses are never taken
    // for a double-click.
    void idleLater(uint64_t ms = 1000) {
        clock.now += ms;
        frame->idle();
    }

    ManualClock clock;
    CFrame* frame = nullptr;
    COffscreenWindow* window = nullptr;
};

}  // namespace

TEST_F(ToolkitOffscreen, FilledRectIsDrawnWhereItsViewIs) {
    frame->addView(new ColourView(CRect(20, 10, 60, 30), kRed));
    idle();
    EXPECT_EQ(frame->getPixel(20, 10), kRed);
    EXPECT_EQ(frame->getPixel(59, 29), kRed);
    EXPECT_EQ(frame->getPixel(60, 29), kGrey);
    EXPECT_EQ(frame->getPixel(19, 10), kGrey);
    EXPECT_EQ(frame->getPixel(40, 30), kGrey);
}

TEST_F(ToolkitOffscreen, ChildrenOfANestedContainerArePlacedRelativeToIt) {
    auto* container = new CViewContainer(CRect(100, 50, 180, 110));
    container->setBackgroundColor(kBlue);
    container->addView(new ColourView(CRect(10, 10, 20, 20), kRed));
    frame->addView(container);
    idle();
    EXPECT_EQ(frame->getPixel(110, 60), kRed);
    EXPECT_EQ(frame->getPixel(109, 60), kBlue);
    EXPECT_EQ(frame->getPixel(10, 10), kGrey);
}

namespace {

// Draws well beyond its own rectangle; the container must clip it.
class SpillingView : public CView {
public:
    using CView::CView;
    void draw(CDrawContext* context) override {
        context->setFillColor(kRed);
        CRect big = getViewSize();
        big.inset(-30, -30);
        context->fillRect(big);
        // A view's own clip stays within what the frame allows.
        context->setClipRect(CRect(0, 0, 200, 120));
        context->setFillColor(kGreen);
        context->fillRect(CRect(0, 0, 200, 120));
    }
};

}  // namespace

TEST_F(ToolkitOffscreen, DrawingIsClippedToTheViewAndTheDirtyRegion) {
    frame->addView(new SpillingView(CRect(50, 40, 70, 60)));
    idle();
    EXPECT_EQ(frame->getPixel(50, 40), kGreen);
    EXPECT_EQ(frame->getPixel(69, 59), kGreen);
    EXPECT_EQ(frame->getPixel(49, 40), kGrey);
    EXPECT_EQ(frame->getPixel(70, 59), kGrey);
    EXPECT_EQ(frame->getPixel(60, 61), kGrey);
}

TEST_F(ToolkitOffscreen, OnlyTheDirtyRegionIsRedrawn) {
    auto* a = new ColourView(CRect(10, 10, 50, 50), kRed);
    auto* b = new ColourView(CRect(100, 10, 140, 50), kBlue);
    frame->addView(a);
    frame->addView(b);
    idle();
    window->takePresented();
    ASSERT_EQ(a->draws, 1);
    ASSERT_EQ(b->draws, 1);

    // b changes colour without asking for a redraw: its pixels must stay.
    b->colour = kYellow;
    a->colour = kGreen;
    a->setDirty();
    idle();
    EXPECT_EQ(a->draws, 2);
    EXPECT_EQ(b->draws, 1);
    EXPECT_EQ(frame->getPixel(30, 30), kGreen);
    EXPECT_EQ(frame->getPixel(120, 30), kBlue);
    std::vector<CRect> shown = window->takePresented();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], CRect(10, 10, 50, 50));

    // Nothing dirty: nothing drawn, nothing shown.
    idle();
    EXPECT_EQ(a->draws, 2);
    EXPECT_TRUE(window->takePresented().empty());

    // Part of a view: only that part changes on screen.
    b->invalidRect(CRect(100, 10, 120, 30));
    idle();
    EXPECT_EQ(frame->getPixel(110, 20), kYellow);
    EXPECT_EQ(frame->getPixel(130, 40), kBlue);
}

TEST_F(ToolkitOffscreen, OverlappingInvalidationsMergeAndManyCollapseToOne) {
    frame->idle();
    frame->invalidRect(CRect(0, 0, 10, 10));
    frame->invalidRect(CRect(5, 5, 20, 20));
    ASSERT_EQ(frame->getDirtyRects().size(), 1u);
    EXPECT_EQ(frame->getDirtyRects()[0], CRect(0, 0, 20, 20));
    frame->invalidRect(CRect(2.5, 40.2, 7.5, 44.7));  // grows to whole pixels
    EXPECT_EQ(frame->getDirtyRects().back(), CRect(2, 40, 8, 45));
    for (int i = 0; i < 20; ++i) frame->invalidRect(CRect(i * 10, 100, i * 10 + 5, 105));
    EXPECT_LE(frame->getDirtyRects().size(), CFrame::kMaxDirtyRects);
}

TEST_F(ToolkitOffscreen, DrawContextPrimitivesArePixelExact) {
    auto* bitmap = new CBitmap(40, 20);
    {
        CDrawContext context(bitmap);
        context.setFrameColor(kRed);
        context.drawLine(CPoint(2, 3), CPoint(10, 3));
        context.setFrameColor(kBlue);
        context.drawRect(CRect(20, 2, 30, 12));  // stroked, 1 pixel
    }
    EXPECT_EQ(bitmap->getPixel(2, 3), kRed);
    EXPECT_EQ(bitmap->getPixel(10, 3), kRed);
    EXPECT_EQ(bitmap->getPixel(11, 3).alpha, 0);
    EXPECT_EQ(bitmap->getPixel(6, 4).alpha, 0);
    EXPECT_EQ(bitmap->getPixel(20, 2), kBlue);
    EXPECT_EQ(bitmap->getPixel(29, 11), kBlue);
    EXPECT_EQ(bitmap->getPixel(25, 7).alpha, 0);
    EXPECT_EQ(bitmap->getPixel(30, 7).alpha, 0);
    bitmap->forget();
}

TEST_F(ToolkitOffscreen, BitmapBlitTakesTheSourceRectangle) {
    CBitmap* strip = makeStrip(10, 10, {kRed, kGreen, kBlue});
    class Blit : public CView {
    public:
        Blit(const CRect& r, CBitmap* b) : CView(r), bitmap(b) {}
        void draw(CDrawContext* context) override { context->drawBitmap(bitmap, getViewSize(), CPoint(0, 10)); }
        CBitmap* bitmap;
    };
    frame->addView(new Blit(CRect(30, 30, 40, 40), strip));
    idle();
    EXPECT_EQ(frame->getPixel(30, 30), kGreen);
    EXPECT_EQ(frame->getPixel(39, 39), kGreen);
    EXPECT_EQ(frame->getPixel(40, 39), kGrey);
    strip->forget();
}

TEST_F(ToolkitOffscreen, TextIsDrawnInsideItsRectangle) {
    class Text : public CView {
    public:
        using CView::CView;
        void draw(CDrawContext* context) override {
            context->setFont(CFontDesc{"DejaVu Sans", 12, true});
            context->setFontColor(kBlackCColor);
            width = context->getStringWidth("MMMM");
            context->drawString("MMMM", getViewSize(), kLeftText);
        }
        double width = 0;
    };
    auto* text = new Text(CRect(10, 10, 110, 30));
    frame->addView(text);
    idle();
    EXPECT_GT(text->width, 20);
    int dark = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x)
            if (frame->getPixel(x, y).red < 60) {
                ++dark;
                EXPECT_TRUE(CRect(10, 10, 110, 30).pointInside(CPoint(x, y))) << x << "," << y;
            }
    EXPECT_GT(dark, 20);
}

TEST_F(ToolkitOffscreen, MovieBitmapShowsTheFrameOfItsValue) {
    CBitmap* strip = makeStrip(16, 12, {kRed, kGreen, kBlue, kYellow});
    auto* movie = new CMovieBitmap(CRect(40, 40, 56, 52), nullptr, 1, 4, 12, strip);
    strip->forget();  // the control keeps its own reference
    frame->addView(movie);
    const CColor expected[] = {kRed, kGreen, kBlue, kYellow};
    for (int i = 0; i < 4; ++i) {
        movie->setValue(i / 3.0f);
        idle();
        EXPECT_EQ(frame->getPixel(40, 40), expected[i]) << i;
        EXPECT_EQ(frame->getPixel(55, 51), expected[i]) << i;
    }
    movie->setValue(0.45f);  // 1.35 rounds to frame 1
    idle();
    EXPECT_EQ(frame->getPixel(48, 46), kGreen);
}

TEST_F(ToolkitOffscreen, BitmapsLoadFromPngFilesAndMemory) {
    CBitmap* strip = makeStrip(4, 4, {kRed, kBlue});
    std::string path = ::testing::TempDir() + "toolkit_strip.png";
    ASSERT_TRUE(strip->writePng(path));
    strip->forget();

    CBitmap* fromFile = CBitmap::createFromPngFile(path);
    ASSERT_NE(fromFile, nullptr);
    EXPECT_EQ(fromFile->getWidth(), 4);
    EXPECT_EQ(fromFile->getHeight(), 8);
    EXPECT_EQ(fromFile->getPixel(1, 1), kRed);
    EXPECT_EQ(fromFile->getPixel(1, 6), kBlue);
    fromFile->forget();

    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CBitmap* fromMemory = CBitmap::createFromPngData(bytes.data(), bytes.size());
    ASSERT_NE(fromMemory, nullptr);
    EXPECT_EQ(fromMemory->getPixel(3, 7), kBlue);
    fromMemory->forget();
    std::remove(path.c_str());

    EXPECT_EQ(CBitmap::createFromPngData(bytes.data(), bytes.size() / 2), nullptr);
    EXPECT_EQ(CBitmap::createFromPngData("not a png", 9), nullptr);
    EXPECT_EQ(CBitmap::createFromPngFile("/nonexistent/strip.png"), nullptr);
}

TEST_F(ToolkitOffscreen, KnobDragReportsOneGestureAndShiftIsFiner) {
    RecordingListener listener;
    auto* knob = new CAnimKnob(CRect(50, 50, 92, 92), &listener, 7, 1, 42, nullptr);
    knob->setValue(0.2f);
    frame->addView(knob);

    window->drag(CPoint(70, 80), CPoint(70, 40));  // 40 pixels up of 200
    idle();
    EXPECT_NEAR(knob->getValue(), 0.4f, 1e-5);
    EXPECT_TRUE(listener.isOneGesture());
    EXPECT_NEAR(listener.values.back(), 0.4f, 1e-5);
    EXPECT_EQ(listener.clicks, std::vector<int32_t>{7});

    listener.clear();
    window->drag(CPoint(70, 80), CPoint(70, 40), kLButton | kShift);  // 40 of 1000
    idleLater();
    EXPECT_NEAR(knob->getValue(), 0.44f, 1e-5);
    EXPECT_TRUE(listener.isOneGesture());

    // Letting go of Shift halfway re-anchors: no jump in value.
    listener.clear();
    window->mouseDown(CPoint(70, 80), kLButton | kShift);
    window->mouseMoved(CPoint(70, 30), kLButton | kShift);  // +0.05
    window->mouseMoved(CPoint(70, 30), kLButton);            // same place, no Shift
    window->mouseMoved(CPoint(70, 10), kLButton);            // +0.1
    window->mouseUp(CPoint(70, 10));
    idleLater();
    EXPECT_NEAR(knob->getValue(), 0.59f, 1e-5);
    for (size_t i = 1; i < listener.values.size(); ++i)
        EXPECT_LE(listener.values[i] - listener.values[i - 1], 0.1f + 1e-5);

    // Drags end at the range's ends.
    window->drag(CPoint(70, 80), CPoint(70, -400));
    idleLater();
    EXPECT_EQ(knob->getValue(), 1.0f);
}

TEST_F(ToolkitOffscreen, DragKeepsTheControlWhenThePointerLeavesIt) {
    RecordingListener listener;
    auto* knob = new CAnimKnob(CRect(50, 50, 92, 92), &listener, 7, 1, 42, nullptr);
    knob->setValue(0.5f);
    auto* other = new ColourView(CRect(0, 0, 200, 40), kRed);
    frame->addView(knob);
    frame->addView(other);
    window->mouseDown(CPoint(70, 60));
    window->mouseMoved(CPoint(150, 20), kLButton);  // over the other view and out of the knob
    idle();
    EXPECT_EQ(frame->getMouseDownView(), knob);
    EXPECT_NEAR(knob->getValue(), 0.7f, 1e-5);
    window->mouseUp(CPoint(150, 20));
    idle();
    EXPECT_EQ(frame->getMouseDownView(), nullptr);
    EXPECT_TRUE(listener.isOneGesture());
}

TEST_F(ToolkitOffscreen, WheelStepsByOneHundredthAndShiftByOneThousandth) {
    RecordingListener listener;
    auto* knob = new CAnimKnob(CRect(50, 50, 92, 92), &listener, 7, 1, 42, nullptr);
    knob->setValue(0.5f);
    frame->addView(knob);
    window->wheel(CPoint(60, 60), 1);
    idle();
    EXPECT_NEAR(knob->getValue(), 0.51f, 1e-6);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"begin", "changed", "end"}));
    window->wheel(CPoint(60, 60), -2, kShift);
    idle();
    EXPECT_NEAR(knob->getValue(), 0.508f, 1e-6);
    window->wheel(CPoint(10, 10), 1);  // not over the knob
    idle();
    EXPECT_NEAR(knob->getValue(), 0.508f, 1e-6);
}

TEST_F(ToolkitOffscreen, DoubleClickNeedsTwoPressesCloseInTimeAndPlace) {
    RecordingListener listener;
    auto* knob = new CAnimKnob(CRect(50, 50, 92, 92), &listener, 7, 1, 42, nullptr);
    knob->setDefaultValue(0.5f);
    knob->setValue(0.9f);
    frame->addView(knob);

    window->click(CPoint(60, 60));
    window->mouseDown(CPoint(60, 60), kLButton, clock.now + CFrame::kDoubleClickMs + 1);
    window->mouseUp(CPoint(60, 60));
    idle();
    EXPECT_EQ(knob->getValue(), 0.9f) << "too slow for a double-click";

    idleLater();
    window->click(CPoint(60, 60));
    window->mouseDown(CPoint(80, 60), kLButton, clock.now + 100);  // too far away
    window->mouseUp(CPoint(80, 60));
    idle();
    EXPECT_EQ(knob->getValue(), 0.9f) << "too far for a double-click";

    idleLater();
    window->click(CPoint(60, 60));
    window->mouseDown(CPoint(61, 61), kLButton, clock.now + 200);
    window->mouseUp(CPoint(61, 61));
    idle();
    EXPECT_EQ(knob->getValue(), 0.5f) << "a double-click without text entry resets";
}

namespace {

class KnobTextEntry : public ToolkitOffscreen {
protected:
    void SetUp() override {
        ToolkitOffscreen::SetUp();
        knob = new CAnimKnob(CRect(50, 50, 92, 92), &listener, 3, 1, 42, nullptr);
        knob->setValue(0.5f);
        knob->setTextEntry([](float v) { return std::to_string(static_cast<int>(v * 100 + 0.5f)); },
                           [](const std::string& text, float& v) {
                               if (text.empty()) return false;
                               v = std::stof(text) / 100;
                               return true;
                           });
        frame->addView(knob);
    }
    void doubleClick() {
        window->click(CPoint(60, 60));
        window->click(CPoint(60, 60));
        idle();
    }

    RecordingListener listener;
    CAnimKnob* knob = nullptr;
};

}  // namespace

TEST_F(KnobTextEntry, TypingAndEnterCommitsTheValue) {
    doubleClick();
    CTextEdit* field = knob->getTextField();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(frame->getFocusView(), field);
    EXPECT_TRUE(window->hasKeyboardFocus());
    EXPECT_EQ(field->getEditText(), "50");
    listener.clear();
    window->key(kVkBack);
    window->key(kVkBack);
    window->typeText("25");
    window->key(kVkReturn);
    idle();
    EXPECT_NEAR(knob->getValue(), 0.25f, 1e-6);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"begin", "changed", "end"}));
    EXPECT_EQ(knob->getTextField(), nullptr);
    EXPECT_EQ(frame->getNbViews(), 1);
    EXPECT_EQ(frame->getFocusView(), nullptr);
    EXPECT_FALSE(window->hasKeyboardFocus());
}

TEST_F(KnobTextEntry, EscapeCancelsWithoutAChange) {
    doubleClick();
    listener.clear();
    window->typeText("99");
    window->key(kVkEscape);
    idle();
    EXPECT_EQ(knob->getValue(), 0.5f);
    EXPECT_TRUE(listener.events.empty());
    EXPECT_EQ(knob->getTextField(), nullptr);
    EXPECT_EQ(frame->getNbViews(), 1);
}

TEST_F(KnobTextEntry, ClickingElsewhereCommitsWhatWasTyped) {
    doubleClick();
    window->key(kVkBack);
    window->key(kVkBack);
    window->typeText("75");
    idleLater();
    window->click(CPoint(5, 5));
    idle();
    EXPECT_NEAR(knob->getValue(), 0.75f, 1e-6);
    EXPECT_EQ(knob->getTextField(), nullptr);
}

TEST_F(KnobTextEntry, RemovingTheKnobWhileTypingCleansUp) {
    doubleClick();
    ASSERT_NE(knob->getTextField(), nullptr);
    frame->removeView(knob);
    idle();
    EXPECT_EQ(frame->getNbViews(), 0);
    EXPECT_EQ(frame->getFocusView(), nullptr);
}

TEST_F(ToolkitOffscreen, TextEditEditsWithCursorKeysAndCommitsOrCancels) {
    RecordingListener listener;
    auto* edit = new CTextEdit(CRect(10, 10, 110, 26), &listener, 4, "abc");
    edit->setStringToValueFunction([](const std::string& t, float& v) {
        v = static_cast<float>(t.size()) / 10;
        return true;
    });
    frame->addView(edit);
    window->click(CPoint(20, 15));
    idle();
    ASSERT_TRUE(edit->isTextEditing());
    window->key(kVkHome);
    window->key(kVkDelete);
    window->typeText("XY");
    window->key(kVkEnd);
    window->key(kVkBack);
    window->key(kVkLeft);
    window->typeText("\x01");  // control characters are not typed
    window->typeText("Z");
    idle();
    EXPECT_EQ(edit->getEditText(), "XYZb");
    window->key(kVkEnter);
    idle();
    EXPECT_FALSE(edit->isTextEditing());
    EXPECT_EQ(edit->getText(), "XYZb");
    EXPECT_NEAR(edit->getValue(), 0.4f, 1e-6);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"begin", "changed", "end"}));

    listener.clear();
    idleLater();
    window->click(CPoint(20, 15));
    window->typeText("more");
    window->key(kVkEscape);
    idle();
    EXPECT_EQ(edit->getText(), "XYZb");
    EXPECT_TRUE(listener.events.empty());

    // While editing, the field is drawn as an entry box (white).
    idleLater();
    window->click(CPoint(20, 15));
    idle();
    EXPECT_EQ(frame->getPixel(105, 20), kWhiteCColor);
}

TEST_F(ToolkitOffscreen, TextEditKeepsToItsMaximumLength) {
    auto* edit = new CTextEdit(CRect(10, 10, 110, 26), nullptr, 4, "");
    edit->setMaxLength(3);
    frame->addView(edit);
    ASSERT_TRUE(edit->beginTextEditing());
    window->typeText("abcdef");
    window->key(kVkReturn);
    idle();
    EXPECT_EQ(edit->getText(), "abc");
}

TEST_F(ToolkitOffscreen, VerticalSwitchPicksTheFrameUnderThePointer) {
    RecordingListener listener;
    CBitmap* strip = makeStrip(20, 30, {kRed, kGreen, kBlue});
    auto* sw = new CVerticalSwitch(CRect(10, 10, 30, 100), &listener, 0, 3, 30, strip);
    strip->forget();
    frame->addView(sw);
    window->click(CPoint(15, 85));
    idle();
    EXPECT_EQ(sw->getValue(), 1.0f);
    EXPECT_TRUE(listener.isOneGesture());
    EXPECT_EQ(frame->getPixel(15, 15), kBlue);

    window->click(CPoint(15, 50));
    idleLater();
    EXPECT_EQ(sw->getValue(), 0.5f);
    EXPECT_EQ(frame->getPixel(15, 15), kGreen);

    // Dragging past the top picks the first frame.
    window->drag(CPoint(15, 50), CPoint(15, -20));
    idleLater();
    EXPECT_EQ(sw->getValue(), 0.0f);
    EXPECT_EQ(frame->getPixel(15, 15), kRed);
}

TEST_F(ToolkitOffscreen, MovieButtonTogglesAndMovingOutTakesItBack) {
    RecordingListener listener;
    CBitmap* strip = makeStrip(30, 15, {kRed, kGreen});
    auto* button = new CMovieButton(CRect(10, 10, 40, 25), &listener, 426, 15, strip);
    strip->forget();
    frame->addView(button);
    window->click(CPoint(20, 15));
    idle();
    EXPECT_EQ(button->getValue(), 1.0f);
    EXPECT_EQ(frame->getPixel(20, 15), kGreen);
    EXPECT_TRUE(listener.isOneGesture());

    window->mouseDown(CPoint(20, 15));
    window->mouseMoved(CPoint(100, 100), kLButton);
    window->mouseUp(CPoint(100, 100));
    idleLater();
    EXPECT_EQ(button->getValue(), 1.0f);
    window->click(CPoint(20, 15));
    idleLater();
    EXPECT_EQ(button->getValue(), 0.0f);
}

TEST_F(ToolkitOffscreen, ModifierClickGoesToTheListenerFirst) {
    RecordingListener listener;
    listener.takeModifierClicks = true;
    CBitmap* strip = makeStrip(30, 15, {kRed, kGreen});
    auto* button = new CMovieButton(CRect(10, 10, 40, 25), &listener, 422, 15, strip);
    strip->forget();
    frame->addView(button);
    window->click(CPoint(20, 15), kLButton | kControl);
    idle();
    EXPECT_EQ(listener.modifierClicks, 1);
    EXPECT_EQ(button->getValue(), 0.0f);
    EXPECT_TRUE(listener.events.empty());
    EXPECT_EQ(listener.clicks, std::vector<int32_t>{422});

    // A listener that declines leaves the click to the control.
    listener.takeModifierClicks = false;
    window->click(CPoint(20, 15), kLButton | kAlt);
    idleLater();
    EXPECT_EQ(button->getValue(), 1.0f);
}

TEST_F(ToolkitOffscreen, PointerEnteringAndLeavingIsReported) {
    class Hover : public CView {
    public:
        using CView::CView;
        void onMouseEntered(CPoint&, const CButtonState&) override { ++entered; }
        void onMouseExited(CPoint&, const CButtonState&) override { ++exited; }
        int entered = 0;
        int exited = 0;
    };
    auto* view = new Hover(CRect(10, 10, 50, 50));
    frame->addView(view);
    window->mouseMoved(CPoint(5, 5));
    window->mouseMoved(CPoint(20, 20));
    window->mouseMoved(CPoint(30, 30));
    idle();
    EXPECT_EQ(view->entered, 1);
    EXPECT_EQ(view->exited, 0);
    window->mouseExited();
    idle();
    EXPECT_EQ(view->exited, 1);
}

namespace {

// Removes its control from the frame inside valueChanged, as an editor that
// rebuilds a page in answer to a click does.
class RemovingListener : public CControlListener {
public:
    void valueChanged(CControl* control) override {
        control->getParentView()->removeView(control);
        ++calls;
    }
    int calls = 0;
};

}  // namespace

TEST_F(ToolkitOffscreen, ControlMayBeRemovedFromItsOwnCallback) {
    RemovingListener listener;
    CBitmap* strip = makeStrip(30, 15, {kRed, kGreen});
    frame->addView(new CMovieButton(CRect(10, 10, 40, 25), &listener, 1, 15, strip));
    strip->forget();
    window->drag(CPoint(20, 15), CPoint(25, 18));
    idle();
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(frame->getNbViews(), 0);
    EXPECT_EQ(frame->getPixel(20, 15), kGrey);
}

TEST_F(ToolkitOffscreen, TimerFiresOnA50msGridDrivenByIdle) {
    std::vector<uint64_t> fired;
    CTimer timer(frame, 50, [&](CTimer*) { fired.push_back(clock.now); });
    for (clock.now = 0; clock.now <= 200; clock.now += 10) frame->idle();
    EXPECT_EQ(fired, (std::vector<uint64_t>{50, 100, 150, 200}));

    // A host that idles at 15 Hz: one tick per idle, never two.
    fired.clear();
    timer.start();  // grid restarts at 200
    for (int i = 1; i <= 6; ++i) {
        clock.now = 200 + i * 67;
        frame->idle();
    }
    EXPECT_EQ(fired.size(), 6u);

    // A stall of a second fires once, then the grid goes on.
    fired.clear();
    clock.now += 1000;
    frame->idle();
    frame->idle();
    EXPECT_EQ(fired.size(), 1u);

    timer.stop();
    clock.now += 500;
    frame->idle();
    EXPECT_EQ(fired.size(), 1u);
}

TEST_F(ToolkitOffscreen, TimerOutlivingItsFrameIsHarmless) {
    int fired = 0;
    auto* timer = new CTimer(frame, 50, [&](CTimer*) { ++fired; });
    frame->forget();
    frame = new CFrame(CRect(0, 0, 10, 10));
    timer->stop();
    delete timer;
    EXPECT_EQ(fired, 0);
}

TEST_F(ToolkitOffscreen, ScreenshotIsWrittenAsPng) {
    frame->addView(new ColourView(CRect(0, 0, 10, 10), kBlue));
    idle();
    std::string path = ::testing::TempDir() + "toolkit_shot.png";
    ASSERT_TRUE(frame->writePng(path));
    CBitmap* shot = CBitmap::createFromPngFile(path);
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->getWidth(), 200);
    EXPECT_EQ(shot->getPixel(5, 5), kBlue);
    EXPECT_EQ(shot->getPixel(50, 50), kGrey);
    shot->forget();
    std::remove(path.c_str());
}

namespace {

class ClosingListener : public CControlListener {
public:
    explicit ClosingListener(CFrame*& f) : frame(f) {}
    void valueChanged(CControl*) override { frame->close(); }
    CFrame*& frame;
};

}  // namespace

TEST_F(ToolkitOffscreen, FrameMayBeClosedFromAControlCallback) {
    ClosingListener listener(frame);
    CBitmap* strip = makeStrip(30, 15, {kRed, kGreen});
    frame->addView(new CMovieButton(CRect(10, 10, 40, 25), &listener, 1, 15, strip));
    strip->forget();
    window->click(CPoint(20, 15));
    window->click(CPoint(20, 15));  // dropped with the window
    idle();
    EXPECT_FALSE(frame->isOpen());
    idle();
}

// cairo's font cache keeps fontconfig patterns for the life of the process;
// the leak checker reports them at exit. They are not ours and not growing.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

TEST_F(ToolkitOffscreen, ModalIdleRedrawsButIgnoresInput) {
    RecordingListener listener;
    CBitmap* strip = makeStrip(30, 15, {kRed, kGreen});
    auto* button = new CMovieButton(CRect(10, 10, 40, 25), &listener, 1, 15, strip);
    strip->forget();
    auto* view = new ColourView(CRect(100, 10, 120, 30), kRed);
    frame->addView(button);
    frame->addView(view);
    idle();
    int fired = 0;
    CTimer timer(frame, 50, [&](CTimer*) { ++fired; });
    window->click(CPoint(20, 15));
    view->colour = kBlue;
    view->setDirty();
    clock.now += 200;
    frame->idleModal();
    EXPECT_EQ(window->pendingEvents(), 0u);
    EXPECT_TRUE(listener.events.empty());
    EXPECT_EQ(button->getValue(), 0.0f);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(frame->getPixel(110, 20), kBlue);
}
