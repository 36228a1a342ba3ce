#include "toolkit/CControls.h"

#include <algorithm>
#include <cmath>

#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

namespace toolkit {

CMovieBitmap::CMovieBitmap(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                           double heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background),
      mSubPixmaps(std::max(subPixmaps, 1)),
      mHeightOfOneImage(heightOfOneImage),
      mOffset(offset) {}

int32_t CMovieBitmap::getFrameIndex() const {
    float v = getValueNormalized();
    auto index = static_cast<int32_t>(v * static_cast<float>(mSubPixmaps - 1) + 0.5f);
    return std::clamp(index, 0, mSubPixmaps - 1);
}

void CMovieBitmap::drawFrame(CDrawContext* context, int32_t index) {
    if (!mBackground) return;
    index = std::clamp(index, 0, mSubPixmaps - 1);
    context->drawBitmap(mBackground, mSize, CPoint(mOffset.x, mOffset.y + index * mHeightOfOneImage));
}

void CMovieBitmap::draw(CDrawContext* context) { drawFrame(context, getFrameIndex()); }

CMovieButton::CMovieButton(const CRect& size, CControlListener* listener, int32_t tag, double heightOfOneImage,
                           CBitmap* background, const CPoint& offset)
    : CMovieBitmap(size, listener, tag, 2, heightOfOneImage, background, offset) {}

CMouseEventResult CMovieButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    mEntryValue = mValue;
    setValue(mValue >= (mMin + mMax) / 2 ? mMin : mMax);
    valueChanged();
    return kMouseEventHandled;
}

CMouseEventResult CMovieButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!isEditing() || !buttons.isLeftButton()) return kMouseEventNotHandled;
    float toggled = mEntryValue >= (mMin + mMax) / 2 ? mMin : mMax;
    float wanted = mSize.pointInside(where) ? toggled : mEntryValue;
    if (wanted != mValue) {
        setValue(wanted);
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CMovieButton::onMouseUp(CPoint& where, const CButtonState& buttons) {
    endEdit();
    return kMouseEventHandled;
}

CVerticalSwitch::CVerticalSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                                 double heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CMovieBitmap(size, listener, tag, subPixmaps, heightOfOneImage, background, offset) {}

void CVerticalSwitch::pick(const CPoint& where) {
    double step = getHeight() / mSubPixmaps;
    auto index = static_cast<int32_t>(std::floor((where.y - mSize.top) / step));
    index = std::clamp(index, 0, mSubPixmaps - 1);
    float v = mSubPixmaps > 1 ? static_cast<float>(index) / static_cast<float>(mSubPixmaps - 1) : 0;
    float value = mMin + (mMax - mMin) * v;
    if (value != mValue) {
        setValue(value);
        valueChanged();
    }
}

CMouseEventResult CVerticalSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    pick(where);
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSwitch::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!isEditing() || !buttons.isLeftButton()) return kMouseEventNotHandled;
    pick(where);
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSwitch::onMouseUp(CPoint& where, const CButtonState& buttons) {
    endEdit();
    return kMouseEventHandled;
}

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                     double heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CMovieBitmap(size, listener, tag, subPixmaps, heightOfOneImage, background, offset) {}

CAnimKnob::~CAnimKnob() { closeTextField(); }

CMouseEventResult CAnimKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (buttons.isDoubleClick()) {
        if (!openTextField()) setValueAndNotify(mDefault);
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    beginEdit();
    mDrag.begin(where.y, getValueNormalized(), buttons.isShift());
    return kMouseEventHandled;
}

CMouseEventResult CAnimKnob::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!mDrag.isActive() || !buttons.isLeftButton()) return kMouseEventNotHandled;
    float v = mDrag.track(where.y, getValueNormalized(), buttons.isShift());
    float value = mMin + (mMax - mMin) * v;
    if (value != mValue) {
        setValue(value);
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CAnimKnob::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (!mDrag.isActive()) return kMouseEventNotHandled;
    mDrag.end();
    endEdit();
    return kMouseEventHandled;
}

bool CAnimKnob::onWheel(const CPoint& where, float distance, const CButtonState& buttons) {
    return wheelStep(distance, buttons);
}

bool CAnimKnob::removed(CViewContainer* parent) {
    closeTextField();
    return CMovieBitmap::removed(parent);
}

bool CAnimKnob::openTextField() {
    if (!mToValue || !mParent) return false;
    if (mTextField) return true;
    CRect r = mTextFieldRect.isEmpty() ? CRect(mSize.left - 10, mSize.getCenter().y - 7, mSize.right + 10,
                                               mSize.getCenter().y + 7)
                                       : mTextFieldRect;
    mTextField = new CTextEdit(r, nullptr, mTag, mToText ? mToText(mValue) : std::string());
    mTextField->setFont(CFontDesc{"DejaVu Sans", 9, false});
    mTextField->setEditingEndedCallback([this](CTextEdit* field, bool committed) {
        // A field already closed by the knob (being removed) reports nothing.
        if (mTextField != field) return;
        float value;
        if (committed && mToValue && mToValue(field->getEditText(), value)) setValueAndNotify(value);
        // The field is inside its own callback here: remove it afterwards.
        if (CFrame* frame = getFrame())
            frame->doAfterEventProcessing([this, field] {
                if (mTextField == field) closeTextField();
            });
        else
            closeTextField();
    });
    mParent->addView(mTextField);
    if (!mTextField->beginTextEditing()) {
        closeTextField();
        return false;
    }
    return true;
}

void CAnimKnob::closeTextField() {
    if (!mTextField) return;
    CTextEdit* field = mTextField;
    mTextField = nullptr;
    if (CViewContainer* parent = field->getParentView())
        parent->removeView(field, true);
    else
        field->forget();
}

}  // namespace toolkit

