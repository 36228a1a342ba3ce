#pragma once
// Controls: views with a tag and a normalised value that report user edits
// to a listener, bracketed by begin-edit and end-edit so a host can group
// the automation of one gesture.

#include <atomic>
#include <cstdint>

#include "toolkit/CView.h"

namespace toolkit {

class CControl;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    virtual void controlBeginEdit(CControl* control) {}
    virtual void controlEndEdit(CControl* control) {}
    // A press with Control or Alt held; a non-zero answer means the listener
    // dealt with it and the control does nothing more with this press.
    virtual int32_t controlModifierClicked(CControl* control, CButtonState buttons) { return 0; }
    // Every press on a control, before the control acts on it (the editor
    // uses it to learn which control the user means).
    virtual void controlClicked(CControl* control, CButtonState buttons) {}
    virtual void controlTagWillChange(CControl* control) {}
    virtual void controlTagDidChange(CControl* control) {}
};

// Vertical drag that changes a value by the pointer's travel: the full range
// is rangePixels, or fineRangePixels while Shift is held. Changing Shift
// during the drag re-anchors at the current value, so the value never jumps.
class CVerticalDrag {
public:
    CVerticalDrag(double rangePixels = 200, double fineRangePixels = 1000)
        : mRange(rangePixels), mFineRange(fineRangePixels) {}

    void setRanges(double rangePixels, double fineRangePixels) {
        mRange = rangePixels;
        mFineRange = fineRangePixels;
    }
    void begin(double y, float value, bool fine);
    // The value for the pointer at y, limited to 0..1.
    float track(double y, float value, bool fine);
    bool isActive() const { return mActive; }
    void end() { mActive = false; }

private:
    double mRange;
    double mFineRange;
    double mAnchorY = 0;
    float mAnchorValue = 0;
    bool mFine = false;
    bool mActive = false;
};

class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, int32_t tag = -1, CBitmap* background = nullptr);

    // Limited to min..max; marks the control dirty when it changes.
    virtual void setValue(float value);
    float getValue() const { return mValue; }
    void setValueNormalized(float value) { setValue(mMin + (mMax - mMin) * value); }
    float getValueNormalized() const { return mMax > mMin ? (mValue - mMin) / (mMax - mMin) : 0; }
    void setMin(float v) { mMin = v; }
    void setMax(float v) { mMax = v; }
    float getMin() const { return mMin; }
    float getMax() const { return mMax; }
    void setDefaultValue(float v) { mDefault = v; }
    float getDefaultValue() const { return mDefault; }
    // Wheel step per notch, and with Shift.
    void setWheelInc(float inc, float fineInc) {
        mWheelInc = inc;
        mFineWheelInc = fineInc;
    }

    void setTag(int32_t tag);
    int32_t getTag() const { return mTag; }
    void setListener(CControlListener* listener) { mListener = listener; }
    CControlListener* getListener() const { return mListener; }

    // Reports the current value to the listener.
    virtual void valueChanged();
    // Nested begin/end pairs reach the listener once.
    virtual void beginEdit();
    virtual void endEdit();
    bool isEditing() const { return mEditing > 0; }

    // One whole gesture: begin, set, report, end.
    void setValueAndNotify(float value);

protected:
    // Tells the listener about a press; true when a modifier click was
    // taken by the listener and the control should ignore this press.
    bool notifyClick(const CButtonState& buttons);
    // Wheel helper for subclasses that accept the wheel.
    bool wheelStep(float distance, const CButtonState& buttons);

    CControlListener* mListener;
    int32_t mTag;
    // The engine may set values from another thread (host automation); the
    // value is one atomic float so a redraw never reads a torn one.
    std::atomic<float> mValue{0};
    float mMin = 0;
    float mMax = 1;
    float mDefault = 0.5f;
    float mWheelInc = 0.01f;
    float mFineWheelInc = 0.001f;
    int mEditing = 0;
};

}  // namespace toolkit
