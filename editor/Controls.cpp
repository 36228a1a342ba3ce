#include "editor/Controls.h"

#include <algorithm>
#include <cmath>

#include "editor/Font5x8.h"
#include "modules/Conversions.h"
#include "modules/ModuleTypes.h"
#include "toolkit/CFrame.h"

namespace vh::editor {

using toolkit::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
using toolkit::kMouseEventHandled;
using toolkit::kMouseEventNotHandled;

// ---------------------------------------------------------------------------

int CTextPrinter::glyphIndex(int code, bool highlighted, bool marked) {
    int n = (code & 127) - 32;
    if (highlighted) n += kGlyphsPerSet;
    if (marked) n += 2 * kGlyphsPerSet;
    return (n < 0 || n >= 4 * kGlyphsPerSet) ? 0 : n;
}

double CTextPrinter::width(const char* text) { return 6.0 * static_cast<double>(std::char_traits<char>::length(text)); }

void CTextPrinter::print(CDrawContext* context, CBitmap* font, double x, double y, const char* text, bool vertical,
                         bool highlighted, bool marked) {
    if (!font || !text) return;
    if (highlighted) {
        size_t length = std::char_traits<char>::length(text);
        context->setFillColor(marked ? kMark : kDark);
        CRect box = vertical ? CRect(x - 1, y - 8, x + 6, y - 8 + 8.0 * length + 1)
                             : CRect(x - 1, y - 8, x + 6.0 * length, y + 1);
        context->fillRect(box);
    }
    for (const char* p = text; *p; ++p) {
        int n = glyphIndex(static_cast<unsigned char>(*p), highlighted, marked);
        context->drawBitmap(font, CRect(x, y - 7, x + kGlyphWidth, y + 1), CPoint(0, n * kGlyphHeight));
        if (vertical)
            y += 8;
        else
            x += 6;
    }
}

std::string cutText(const std::string& text, size_t length) {
    return text.size() > length ? text.substr(0, length) : text;
}

namespace {
void fillBack(CDrawContext* context, const CRect& r) {
    context->setFillColor(kLight);
    context->fillRect(r);
}
}  // namespace

// ---------------------------------------------------------------------------

CModuleParam::CModuleParam(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font,
                           const std::string& label, ToText toText, ToValue toValue, int mode)
    : CTextEdit(size, listener, tag),
      mFont(font),
      mLabel(cutText(label, kLabelLength)),
      mToText(std::move(toText)),
      mToValue(std::move(toValue)),
      mMode(mode) {
    setEditOnClick(false);
    setFont(toolkit::CFontDesc{"DejaVu Sans", 8, false});
    setWheelInc(0.01f, 0.001f);
}

void CModuleParam::draw(CDrawContext* context) {
    fillBack(context, mSize);
    double y = mSize.bottom - 2;
    CTextPrinter::print(context, mFont, mSize.left + 1, y, mLabel.c_str(), false, false, mMarked);
    if (isTextEditing()) {
        drawEditField(context);
        return;
    }
    std::string text = valueText();
    CTextPrinter::print(context, mFont, mSize.right - CTextPrinter::width(text.c_str()), y, text.c_str(), false, false,
                        mMarked);
}

CMouseEventResult CModuleParam::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (buttons.isDoubleClick()) {
        setText(valueText());
        beginTextEditing();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    beginEdit();
    mDrag.begin(where.y, getValueNormalized(), buttons.isShift());
    return kMouseEventHandled;
}

CMouseEventResult CModuleParam::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!mDrag.isActive() || !buttons.isLeftButton()) return kMouseEventNotHandled;
    float v = mDrag.track(where.y, getValueNormalized(), buttons.isShift());
    if (v != getValue()) {
        setValue(v);
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CModuleParam::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (!mDrag.isActive()) return kMouseEventNotHandled;
    mDrag.end();
    endEdit();
    return kMouseEventHandled;
}

bool CModuleParam::onWheel(const CPoint& where, float distance, const CButtonState& buttons) {
    beginEdit();
    wheelStep(distance, buttons);
    endEdit();
    return true;
}

void CModuleParam::onTextCommitted(const std::string& text) {
    float value = 0;
    // Without a conversion, or with text it cannot read, the entry is ignored.
    if (!mToValue || !mToValue(text, value, mMode)) return;
    beginEdit();
    setValue(value);
    valueChanged();
    endEdit();
}

// ---------------------------------------------------------------------------

CModuleParamDiscreet::CModuleParamDiscreet(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font,
                                           int steps, int states, Display display)
    : CControl(size, listener, tag),
      mFont(font),
      mSteps(std::max(steps, 1)),
      mStates(std::clamp(states, 1, std::max(steps, 1))),
      mDisplay(std::move(display)) {}

int CModuleParamDiscreet::getState() const { return discreteIndex(getValue(), mSteps); }

void CModuleParamDiscreet::draw(CDrawContext* context) {
    fillBack(context, mSize);
    double y = mSize.bottom - 2;
    CTextPrinter::print(context, mFont, mSize.left + 1, y, mLabel.c_str());
    std::string text = displayText();
    CTextPrinter::print(context, mFont, mSize.right - CTextPrinter::width(text.c_str()), y, text.c_str());
}

CMouseEventResult CModuleParamDiscreet::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() && !buttons.isRightButton()) return kMouseEventNotHandled;
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    int state = getState();
    if (state >= mStates) state = buttons.isRightButton() ? mStates : -1;
    state = buttons.isRightButton() ? (state + mStates - 1) % mStates : (state + 1) % mStates;
    beginEdit();
    setValue(discreteValue(state, mSteps));
    valueChanged();
    endEdit();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// ---------------------------------------------------------------------------

CModuleText::CModuleText(const CRect& size, CBitmap* font, const std::string& text, Align align)
    : CView(size), mFont(font), mText(cutText(text, kTextLength)), mAlign(align) {
    setMouseEnabled(false);
}

void CModuleText::draw(CDrawContext* context) {
    if (mBackground)
        CView::draw(context);
    else
        fillBack(context, mSize);
    double length = static_cast<double>(mText.size());
    double x = mAlign == kCentre  ? std::floor(mSize.getCenter().x - 3 * length)
               : mAlign == kRight ? mSize.right - 6 * length
                                  : mSize.left + 1;
    CTextPrinter::print(context, mFont, x, mSize.bottom - 2, mText.c_str());
}

// ---------------------------------------------------------------------------

CMyKnob::CMyKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* strip)
    : CAnimKnob(size, listener, tag, kKnobFrames, kKnobSize, strip) {
    setDragRanges(200, 1000);
    setWheelInc(0.01f, 0.001f);
}

int32_t CMyKnob::getFrameIndex() const {
    return std::clamp(static_cast<int32_t>(getValueNormalized() * 100.0f), 0, 100);
}

CRect CMyKnob::knobRect() const { return CRect(mSize.left, mSize.top, mSize.left + kKnobSize, mSize.top + kKnobSize); }

void CMyKnob::draw(CDrawContext* context) {
    CRect r = knobRect();
    context->drawBitmap(mBackground, r, CPoint(0, getFrameIndex() * kKnobSize));
    if (mBlink) {
        context->setFrameColor(kMark);
        context->setLineWidth(2);
        context->drawEllipse(CRect(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1));
        context->setLineWidth(1);
    }
}

CMouseEventResult CMyKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (buttons.isRightButton()) {
        if (onLearn) onLearn(this);
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    return CAnimKnob::onMouseDown(where, buttons);
}

// ---------------------------------------------------------------------------

CMyNameKnob::CMyNameKnob(const CPoint& knobTopLeft, CControlListener* listener, int32_t tag, CBitmap* strip,
                         CBitmap* font)
    : CMyKnob(CRect(knobTopLeft.x - kSideMargin, knobTopLeft.y, knobTopLeft.x + kKnobSize + kSideMargin,
                    knobTopLeft.y + kKnobSize + kLabelHeight),
              listener, tag, strip),
      mFont(font) {
    setTextFieldRect(CRect(knobTopLeft.x - 8, knobTopLeft.y + 14, knobTopLeft.x + kKnobSize + 8, knobTopLeft.y + 28));
}

int32_t CMyNameKnob::getFrameIndex() const { return mAssigned ? CMyKnob::getFrameIndex() : kKnobFrames - 1; }

std::string CMyNameKnob::labelText() const {
    if (!mAssigned) return mHover ? "UNUSED" : "";
    if (mHover || isDragging()) {
        char text[kTextSize];
        VH_TEXT(text, "%.1f", getValueNormalized() * 100.0f);
        return text;
    }
    return mName;
}

void CMyNameKnob::draw(CDrawContext* context) {
    CRect r(mSize.left + kSideMargin, mSize.top, mSize.left + kSideMargin + kKnobSize, mSize.top + kKnobSize);
    context->drawBitmap(mBackground, r, CPoint(0, getFrameIndex() * kKnobSize));
    if (mBlink) {
        context->setFrameColor(kMark);
        context->setLineWidth(2);
        context->drawEllipse(CRect(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1));
        context->setLineWidth(1);
    }
    std::string label = labelText();
    double x = std::floor(mSize.getCenter().x - 3.0 * static_cast<double>(label.size()));
    // Light text: the name sits on the dark strip under the knob.
    CTextPrinter::print(context, mFont, x, mSize.bottom - 2, label.c_str(), false, true);
}

CMouseEventResult CMyNameKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!mAssigned) {
        // Unused, yet a touch the modulation page may take as a source.
        if (buttons.isLeftButton()) notifyClick(buttons);
        return kMouseEventNotHandled;
    }
    CMouseEventResult result = CMyKnob::onMouseDown(where, buttons);
    setDirty();
    return result;
}

CMouseEventResult CMyNameKnob::onMouseUp(CPoint& where, const CButtonState& buttons) {
    CMouseEventResult result = CMyKnob::onMouseUp(where, buttons);
    setDirty();
    return result;
}

bool CMyNameKnob::onWheel(const CPoint& where, float distance, const CButtonState& buttons) {
    if (!mAssigned) return false;
    return CMyKnob::onWheel(where, distance, buttons);
}

void CMyNameKnob::onMouseEntered(CPoint& where, const CButtonState& buttons) {
    mHover = true;
    setDirty();
}

void CMyNameKnob::onMouseExited(CPoint& where, const CButtonState& buttons) {
    mHover = false;
    setDirty();
}

void CMyNameKnob::setAssigned(bool assigned) {
    if (mName.empty()) {
        char name[kTextSize];
        VH_TEXT(name, "KNOB%d", getTag() - 3);
        mName = name;
    }
    if (assigned != mAssigned) {
        mAssigned = assigned;
        setDirty();
    }
}

// ---------------------------------------------------------------------------

CModuleButton::CModuleButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* strip)
    : CControl(size, listener, tag, strip) {}

int CModuleButton::frameFor(bool selected, bool bypassed, int pulse) {
    if (!bypassed) return selected ? 19 : 9;
    int b = pulse < 10 ? pulse : 19 - pulse;
    b = std::clamp(b, 0, 9);
    return selected ? b + 10 : b;
}

void CModuleButton::setPulse(int pulse) {
    if (pulse == mPulse) return;
    mPulse = pulse;
    if (mBypassed) setDirty();
}

void CModuleButton::draw(CDrawContext* context) {
    context->drawBitmap(mBackground, mSize, CPoint(0, frameIndex() * kModuleButtonFrameHeight));
}

CMouseEventResult CModuleButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    setValue(1);
    valueChanged();
    endEdit();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// ---------------------------------------------------------------------------

CTypeSelector::CTypeSelector(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font,
                             bool operators, double listBottom)
    : CControl(size, listener, tag), mFont(font), mOperators(operators), mListBottom(listBottom) {}

CTypeSelector::~CTypeSelector() { closeList(); }

int CTypeSelector::getType() const { return discreteIndex(getValue(), kNumTypeSteps); }

void CTypeSelector::setTypeIndex(int type) { setValue(discreteValue(type, kNumTypeSteps)); }

void CTypeSelector::setPulse(int pulse) {
    if (pulse == mPulse) return;
    mPulse = pulse;
    if (mBypassed) setDirty();
}

std::string CTypeSelector::displayText() const {
    const char* label = mOperators ? operatorTypeLabel(getType()) : modulatorTypeLabel(getType());
    std::string text = label ? label : "";
    if (mBypassed) text += " (BYPASSED)";
    return text;
}

void CTypeSelector::draw(CDrawContext* context) {
    context->setFillColor(kLight);
    context->fillRect(mSize);
    std::string text = displayText();
    double x = std::floor(mSize.getCenter().x - 3.0 * static_cast<double>(text.size()));
    // A bypassed module's name breathes with the buttons' pulse.
    bool marked = mBypassed && mPulse >= 5 && mPulse < 15;
    CTextPrinter::print(context, mFont, x, mSize.bottom - 2, text.c_str(), false, false, marked);
}

CMouseEventResult CTypeSelector::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    toolkit::CFrame* frame = getFrame();
    if (!frame || mList) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    std::vector<std::string> entries;
    int count = mOperators ? kNumOperatorTypes : kNumModulatorTypes;
    for (int t = 0; t < count; ++t) {
        const char* line = mOperators ? operatorMenuLine(t) : modulatorMenuLine(t);
        entries.emplace_back(line ? line : "");
    }
    CRect listRect = getFrameRect();
    listRect.bottom = mListBottom;
    mList = new CTypeList(frame->getViewSize(), listRect, this, mFont, std::move(entries),
                          mOperators ? "SELECT OPERATOR TYPE" : "SELECT MODULATOR TYPE");
    mList->remember();  // the selector keeps its own reference while open
    frame->addView(mList);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CTypeSelector::closeList() {
    if (!mList) return;
    CTypeList* list = mList;
    mList = nullptr;
    if (toolkit::CViewContainer* parent = list->getParentView()) parent->removeView(list, true);
    list->forget();
}

void CTypeSelector::chooseType(int type) {
    beginEdit();
    setTypeIndex(type);
    valueChanged();
    endEdit();
    closeList();
}

bool CTypeSelector::removed(toolkit::CViewContainer* parent) {
    closeList();
    return CControl::removed(parent);
}

// ---------------------------------------------------------------------------

CTypeList::CTypeList(const CRect& frameSize, const CRect& listRect, CTypeSelector* owner, CBitmap* font,
                     std::vector<std::string> entries, const char* title)
    : CView(frameSize), mOwner(owner), mFont(font), mEntries(std::move(entries)), mTitle(title), mList(listRect) {}

CRect CTypeList::entriesRect() const {
    CRect r = mList;
    r.top += kRow + 1;
    if (maxScroll() > 0) r.right -= kBarWidth;
    return r;
}

double CTypeList::maxScroll() const {
    double content = kRow * static_cast<double>(mEntries.size());
    double visible = mList.getHeight() - kRow - 1;
    return std::max(0.0, content - visible);
}

void CTypeList::scrollBy(double pixels) {
    double s = std::clamp(mScroll + pixels, 0.0, maxScroll());
    if (s != mScroll) {
        mScroll = s;
        setDirty();
    }
}

CRect CTypeList::thumbRect() const {
    CRect track(mList.right - kBarWidth, mList.top + kRow + 1 + kBarWidth, mList.right, mList.bottom - kBarWidth);
    double content = kRow * static_cast<double>(mEntries.size());
    double fraction = std::min(1.0, (mList.getHeight() - kRow - 1) / content);
    double height = std::max(8.0, track.getHeight() * fraction);
    double top = track.top + (maxScroll() > 0 ? (track.getHeight() - height) * mScroll / maxScroll() : 0);
    return CRect(track.left, top, track.right, top + height);
}

CPoint CTypeList::entryPoint(int i) const {
    CRect r = entriesRect();
    return CPoint(r.left + 20, r.top + kRow * i - mScroll + kRow / 2);
}

void CTypeList::draw(CDrawContext* context) {
    context->setFillColor(kLight);
    context->setFrameColor(kDark);
    context->drawRect(mList, toolkit::kDrawFilledAndStroked);
    CTextPrinter::print(context, mFont, std::floor(mList.getCenter().x - 3.0 * mTitle.size()), mList.top + kRow - 1,
                        mTitle.c_str(), false, true);
    CRect entries = entriesRect();
    context->saveGlobalState();
    context->setClipRect(entries);
    int current = mOwner ? mOwner->getType() : -1;
    for (size_t i = 0; i < mEntries.size(); ++i) {
        double y = entries.top + kRow * static_cast<double>(i) - mScroll;
        if (y + kRow < entries.top || y > entries.bottom) continue;
        CTextPrinter::print(context, mFont, entries.left + 2, y + kRow - 1, mEntries[i].c_str(), false,
                            static_cast<int>(i) == current);
    }
    context->restoreGlobalState();
    if (maxScroll() > 0) {
        CRect bar(mList.right - kBarWidth, entries.top, mList.right, mList.bottom);
        context->setFillColor(toolkit::CColor{180, 188, 194});
        context->fillRect(bar);
        context->setFillColor(kDark);
        context->fillRect(thumbRect());
        CTextPrinter::print(context, mFont, bar.left + 2, bar.top + 8, "^", false, false);
        CTextPrinter::print(context, mFont, bar.left + 2, bar.bottom - 1, "v", false, false);
    }
}

CMouseEventResult CTypeList::onMouseDown(CPoint& where, const CButtonState& buttons) {
    CTypeSelector* owner = mOwner;
    if (!mList.pointInside(where)) {
        owner->closeList();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    if (!buttons.isLeftButton()) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    CRect entries = entriesRect();
    if (maxScroll() > 0 && where.x >= mList.right - kBarWidth && where.y >= entries.top) {
        CRect thumb = thumbRect();
        if (where.y < entries.top + kBarWidth) {
            scrollBy(-kRow);
        } else if (where.y >= mList.bottom - kBarWidth) {
            scrollBy(kRow);
        } else if (thumb.pointInside(where)) {
            mThumbDrag = true;
            mThumbAnchorY = where.y;
            mThumbAnchorScroll = mScroll;
            return kMouseEventHandled;
        } else {
            scrollBy(where.y < thumb.top ? -kRow : kRow);
        }
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    if (entries.pointInside(where)) {
        int i = static_cast<int>(std::floor((where.y - entries.top + mScroll) / kRow));
        if (i >= 0 && i < static_cast<int>(mEntries.size())) owner->chooseType(i);
    }
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult CTypeList::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!mThumbDrag) return kMouseEventNotHandled;
    CRect thumb = thumbRect();
    double track = mList.getHeight() - kRow - 1 - 2 * kBarWidth - thumb.getHeight();
    if (track > 0) {
        double s = mThumbAnchorScroll + (where.y - mThumbAnchorY) * maxScroll() / track;
        scrollBy(s - mScroll);
    }
    return kMouseEventHandled;
}

CMouseEventResult CTypeList::onMouseUp(CPoint& where, const CButtonState& buttons) {
    mThumbDrag = false;
    return kMouseEventHandled;
}

bool CTypeList::onWheel(const CPoint& where, float distance, const CButtonState& buttons) {
    scrollBy(-distance * kRow);
    return true;
}

// ---------------------------------------------------------------------------

CMeter::CMeter(const CRect& size, CBitmap* image) : CView(size), mImage(image) {}

int CMeter::segments(double db) {
    if (db <= -60) return 0;
    int n = 47 + static_cast<int>(db * 1.3333334);
    return std::clamp(n, 0, 55);
}

void CMeter::feed(float linear, uint64_t timeMs) {
    double input = linear > 0.01f ? 20.0 * std::log10(static_cast<double>(linear)) : kSilenceDb;
    double elapsed = mFed && timeMs > mLastMs ? static_cast<double>(timeMs - mLastMs) : 0.0;
    double fall = (mFalloff * 54.0 + 6.0) * elapsed / 1000.0;
    mLastMs = timeMs;
    mFed = true;
    mLevel = std::max(mLevel - fall, input);
    mLevel = std::max(mLevel, kSilenceDb);
    if (input > mPeak) {
        mPeak = input;
        mPeakMs = timeMs;
    } else if (mHold < 1.0f) {
        double holdMs = mHold * 4000.0 + 1000.0;
        if (static_cast<double>(timeMs - mPeakMs) > holdMs) mPeak = std::max(mPeak - fall, kSilenceDb);
    }
    int bar = segments(mLevel), peak = segments(mPeak);
    if (bar != mShownBar || peak != mShownPeak) setDirty();
}

void CMeter::reset() {
    mLevel = mPeak = -60;
    setDirty();
}

void CMeter::draw(CDrawContext* context) {
    CRect row(mSize.left, mSize.top, mSize.left + kMeterWidth, mSize.top + kMeterRowHeight);
    context->drawBitmap(mImage, row, CPoint(0, 0));
    mShownBar = segments(mLevel);
    mShownPeak = segments(mPeak);
    if (mShownBar > 0)
        context->drawBitmap(mImage, CRect(row.left, row.top, row.left + 4.0 * mShownBar, row.bottom),
                            CPoint(0, kMeterRowHeight));
    if (mShownPeak > 0) {
        double x = 4.0 * (mShownPeak - 1);
        context->drawBitmap(mImage, CRect(row.left + x, row.top, row.left + x + 4, row.bottom),
                            CPoint(x, kMeterRowHeight));
    }
}

CMouseEventResult CMeter::onMouseDown(CPoint& where, const CButtonState& buttons) {
    reset();
    if (mPartner) mPartner->reset();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// ---------------------------------------------------------------------------

CInfo::CInfo(const CRect& size, CBitmap* font) : CView(size), mFont(font) { setMouseEnabled(false); }

void CInfo::setMessage(const std::string& line1, const std::string& line2, bool error) {
    const std::string* lines[2] = {&line1, &line2};
    for (int i = 0; i < 2; ++i) {
        mMessage[i] = cutText(*lines[i], kLineLength);
        for (char& c : mMessage[i])
            if (c < 32 || c > 126) c = '?';
    }
    mError = error;
    setDirty();
}

void CInfo::draw(CDrawContext* context) {
    double x = mSize.left + 6;
    if (!mMessage[0].empty() || !mMessage[1].empty()) {
        CTextPrinter::print(context, mFont, x, mSize.top + 12, mMessage[0].c_str(), false, true, mError);
        CTextPrinter::print(context, mFont, x, mSize.top + 24, mMessage[1].c_str(), false, true, mError);
        return;
    }
    CTextPrinter::print(context, mFont, x, mSize.top + 12, "VORNHALYX MODULAR MULTI-EFFECT", false, true);
    CTextPrinter::print(context, mFont, x, mSize.top + 24, "Version:", false, true);
    CTextPrinter::print(context, mFont, x + 54, mSize.top + 24, "1.0.0", false, true);
}

}  // namespace vh::editor
