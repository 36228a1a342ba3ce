#include "toolkit/CControl.h"

#include <algorithm>

namespace toolkit {

void CVerticalDrag::begin(double y, float value, bool fine) {
    mAnchorY = y;
    mAnchorValue = value;
    mFine = fine;
    mActive = true;
}

float CVerticalDrag::track(double y, float value, bool fine) {
    if (!mActive) begin(y, value, fine);
    if (fine != mFine) begin(y, value, fine);
    double range = mFine ? mFineRange : mRange;
    if (range <= 0) range = 1;
    double v = mAnchorValue + (mAnchorY - y) / range;  // up is more
    return static_cast<float>(std::clamp(v, 0.0, 1.0));
}

CControl::CControl(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background)
    : CView(size), mListener(listener), mTag(tag) {
    if (background) setBackground(background);
}

void CControl::setValue(float value) {
    float v = std::clamp(value, mMin, mMax);
    if (!(v == v)) v = mMin;  // NaN from a host or a parse goes to the bottom
    if (v == mValue) return;
    mValue = v;
    setDirty();
}

void CControl::setTag(int32_t tag) {
    if (mListener) mListener->controlTagWillChange(this);
    mTag = tag;
    if (mListener) mListener->controlTagDidChange(this);
}

void CControl::valueChanged() {
    if (mListener) mListener->valueChanged(this);
}

void CControl::beginEdit() {
    if (mEditing++ == 0 && mListener) mListener->controlBeginEdit(this);
}

void CControl::endEdit() {
    if (mEditing == 0) return;
    if (--mEditing == 0 && mListener) mListener->controlEndEdit(this);
}

void CControl::setValueAndNotify(float value) {
    beginEdit();
    setValue(value);
    valueChanged();
    endEdit();
}

bool CControl::notifyClick(const CButtonState& buttons) {
    if (!mListener) return false;
    mListener->controlClicked(this, buttons);
    if (buttons.isControl() || buttons.isAlt()) return mListener->controlModifierClicked(this, buttons) != 0;
    return false;
}

bool CControl::wheelStep(float distance, const CButtonState& buttons) {
    float step = buttons.isShift() ? mFineWheelInc : mWheelInc;
    float range = mMax - mMin;
    setValueAndNotify(mValue + distance * step * range);
    return true;
}

}  // namespace toolkit
