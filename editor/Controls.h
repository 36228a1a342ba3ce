#pragma once
// The editor's own views: bitmap text, the generic parameter controls module
// panels and pages are made of, knobs, module buttons, type selectors,
// meters and the information line.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "editor/Artwork.h"
#include "toolkit/CControls.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CTextEdit.h"

namespace vh::editor {

using toolkit::CBitmap;
using toolkit::CButtonState;
using toolkit::CControl;
using toolkit::CControlListener;
using toolkit::CDrawContext;
using toolkit::CMouseEventResult;
using toolkit::CPoint;
using toolkit::CRect;

inline constexpr int kLabelLength = 64;
inline constexpr int kTextLength = 128;

// Prints with the 5 x 8 bitmap font: 6 pixels per character, y is the
// baseline (glyph rows y - 7 .. y).
class CTextPrinter {
public:
    static int glyphIndex(int code, bool highlighted, bool marked);
    static void print(CDrawContext* context, CBitmap* font, double x, double y, const char* text, bool vertical = false,
                      bool highlighted = false, bool marked = false);
    static double width(const char* text);
};

std::string cutText(const std::string& text, size_t length);

// A labelled value field: drag (400 px, 2000 with Shift), wheel, and typed
// entry on a double-click through the attached conversions.
class CModuleParam : public toolkit::CTextEdit {
public:
    using ToText = std::function<std::string(float value, int mode)>;
    using ToValue = std::function<bool(const std::string& text, float& value, int mode)>;

    CModuleParam(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font, const std::string& label,
                 ToText toText, ToValue toValue = {}, int mode = 0);

    const std::string& getLabel() const { return mLabel; }
    std::string valueText() const { return mToText ? mToText(getValue(), mMode) : std::string(); }
    void setMarked(bool marked) { mMarked = marked; setDirty(); }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) override;

protected:
    void onTextCommitted(const std::string& text) override;

    CBitmap* mFont;
    std::string mLabel;
    ToText mToText;
    ToValue mToValue;
    int mMode;
    bool mMarked = false;
    toolkit::CVerticalDrag mDrag{400, 2000};
};

// A choice among `states` items of a `steps`-step scale: left click next,
// right click previous, both wrapping.
class CModuleParamDiscreet : public CControl {
public:
    using Display = std::function<std::string(int state)>;

    CModuleParamDiscreet(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font, int steps,
                         int states, Display display);
    void setLabel(const std::string& label) { mLabel = cutText(label, kLabelLength); setDirty(); }
    const std::string& getLabel() const { return mLabel; }
    int getState() const;
    std::string displayText() const { return mDisplay ? mDisplay(getState()) : std::string(); }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

private:
    CBitmap* mFont;
    int mSteps;
    int mStates;
    Display mDisplay;
    std::string mLabel = "no name!";
};

class CModuleText : public toolkit::CView {
public:
    enum Align { kLeft = 0, kCentre = 1, kRight = 2 };
    CModuleText(const CRect& size, CBitmap* font, const std::string& text = "uninitialized text!!!",
                Align align = kLeft);
    void setText(const std::string& text) { mText = cutText(text, kTextLength); setDirty(); }
    const std::string& getText() const { return mText; }
    void draw(CDrawContext* context) override;

private:
    CBitmap* mFont;
    std::string mText;
    Align mAlign;
};

// A knob of the main section: 101 value frames, frame trunc(v * 100).
// A right click asks for MIDI learn; while learning it blinks.
class CMyKnob : public toolkit::CAnimKnob {
public:
    CMyKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* strip);
    int32_t getFrameIndex() const override;
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    void setBlink(bool on) {
        if (mBlink != on) {
            mBlink = on;
            setDirty();
        }
    }
    bool isBlinkOn() const { return mBlink; }
    std::function<void(CMyKnob*)> onLearn;

protected:
    CRect knobRect() const;
    bool mBlink = false;
};

// An assignable knob: like a main knob, with a name under it. The view is
// wider than the 42-pixel knob so the name fits; the knob sits centred.
class CMyNameKnob : public CMyKnob {
public:
    static constexpr double kSideMargin = 8;
    static constexpr double kLabelHeight = 12;

    CMyNameKnob(const CPoint& knobTopLeft, CControlListener* listener, int32_t tag, CBitmap* strip, CBitmap* font);
    int32_t getFrameIndex() const override;
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) override;
    void onMouseEntered(CPoint& where, const CButtonState& buttons) override;
    void onMouseExited(CPoint& where, const CButtonState& buttons) override;

    void setAssigned(bool assigned);
    bool isAssigned() const { return mAssigned; }
    void setName(const std::string& name) { mName = cutText(name, 8); setDirty(); }
    const std::string& getName() const { return mName; }
    std::string labelText() const;

private:
    CBitmap* mFont;
    std::string mName;
    bool mAssigned = true;
    bool mHover = false;
};

// Operator or modulator button: 20 frames, lit when selected, pulsing while
// the module is bypassed.
class CModuleButton : public CControl {
public:
    CModuleButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* strip);
    static int frameFor(bool selected, bool bypassed, int pulse);
    int frameIndex() const { return frameFor(getValue() >= 0.5f, mBypassed, mPulse); }
    void setBypassed(bool on) { mBypassed = on; setDirty(); }
    bool isBypassed() const { return mBypassed; }
    void setPulse(int pulse);
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

private:
    bool mBypassed = false;
    int mPulse = 0;
};

class CTypeList;

// The closed type selector over a module panel; a click opens the list.
class CTypeSelector : public CControl {
public:
    CTypeSelector(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font, bool operators,
                  double listBottom);
    ~CTypeSelector() override;
    int getType() const;
    void setTypeIndex(int type);
    void setBypassed(bool on) { mBypassed = on; setDirty(); }
    void setPulse(int pulse);
    std::string displayText() const;
    bool isListOpen() const { return mList != nullptr; }
    CTypeList* getList() const { return mList; }
    void closeList();
    void chooseType(int type);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    bool removed(toolkit::CViewContainer* parent) override;

private:
    CBitmap* mFont;
    bool mOperators;
    double mListBottom;
    bool mBypassed = false;
    int mPulse = 0;
    CTypeList* mList = nullptr;
};

// The open list: covers the whole window so a click anywhere else closes it.
class CTypeList : public toolkit::CView {
public:
    static constexpr double kRow = 10;
    static constexpr double kBarWidth = 9;

    CTypeList(const CRect& frameSize, const CRect& listRect, CTypeSelector* owner, CBitmap* font,
              std::vector<std::string> entries, const char* title);
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) override;

    double getScroll() const { return mScroll; }
    double maxScroll() const;
    void scrollBy(double pixels);
    // Frame position of entry i's row while scrolled as now (for tests).
    CPoint entryPoint(int i) const;
    const CRect& listRect() const { return mList; }

private:
    CRect entriesRect() const;
    CRect thumbRect() const;

    CTypeSelector* mOwner;
    CBitmap* mFont;
    std::vector<std::string> mEntries;
    std::string mTitle;
    CRect mList;
    double mScroll = 0;
    bool mThumbDrag = false;
    double mThumbAnchorY = 0;
    double mThumbAnchorScroll = 0;
};

// A level meter of 220 x 8 pixels with falloff and peak hold.
class CMeter : public toolkit::CView {
public:
    static constexpr double kSilenceDb = -100;

    CMeter(const CRect& size, CBitmap* image);
    void feed(float linear, uint64_t timeMs);
    void setHold(float v) { mHold = v; }
    void setFalloff(float v) { mFalloff = v; }
    void reset();
    void setPartner(CMeter* partner) { mPartner = partner; }
    double level() const { return mLevel; }
    double peak() const { return mPeak; }
    static int segments(double db);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

private:
    CBitmap* mImage;
    CMeter* mPartner = nullptr;
    double mLevel = -60;
    double mPeak = -60;
    uint64_t mLastMs = 0;
    uint64_t mPeakMs = 0;
    bool mFed = false;
    float mHold = 0.25f;
    float mFalloff = 1.0f / 3.0f;
    int mShownBar = -1, mShownPeak = -1;
};

// The title and version, or instead the outcome of the last library action
// (errors in the mark colour) until the next one.
class CInfo : public toolkit::CView {
public:
    static constexpr size_t kLineLength = 37;

    CInfo(const CRect& size, CBitmap* font);
    void draw(CDrawContext* context) override;
    // Lines are cut to what fits; characters outside the font print as '?'.
    void setMessage(const std::string& line1, const std::string& line2 = "", bool error = false);
    const std::string& messageLine(int line) const { return mMessage[line == 0 ? 0 : 1]; }
    bool isError() const { return mError; }

private:
    CBitmap* mFont;
    std::string mMessage[2];
    bool mError = false;
};

}  // namespace vh::editor
