#pragma once
// Bitmap-strip controls: a strip is one bitmap holding every frame of the
// control stacked from top to bottom, each heightOfOneImage pixels high.

#include <functional>
#include <string>

#include "toolkit/CControl.h"
#include "toolkit/CTextEdit.h"

namespace toolkit {

// Shows the frame of a strip that stands for its value; no mouse handling.
class CMovieBitmap : public CControl {
public:
    CMovieBitmap(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                 double heightOfOneImage, CBitmap* background, const CPoint& offset = {});

    void draw(CDrawContext* context) override;
    // value 0..1 over the frames, rounded to the nearest.
    virtual int32_t getFrameIndex() const;
    int32_t getNumSubPixmaps() const { return mSubPixmaps; }
    double getHeightOfOneImage() const { return mHeightOfOneImage; }

protected:
    void drawFrame(CDrawContext* context, int32_t index);

    int32_t mSubPixmaps;
    double mHeightOfOneImage;
    CPoint mOffset;
};

// Two-frame strip (off, on); a click toggles. Moving out of the button
// before releasing takes the change back.
class CMovieButton : public CMovieBitmap {
public:
    CMovieButton(const CRect& size, CControlListener* listener, int32_t tag, double heightOfOneImage,
                 CBitmap* background, const CPoint& offset = {});

    int32_t getFrameIndex() const override { return mValue >= (mMin + mMax) / 2 ? 1 : 0; }
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;

protected:
    float mEntryValue = 0;
};

// Strip of n frames; the frame under the pointer (top to bottom) is chosen,
// and the value is its index over n - 1.
class CVerticalSwitch : public CMovieBitmap {
public:
    CVerticalSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                    double heightOfOneImage, CBitmap* background, const CPoint& offset = {});

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;

protected:
    void pick(const CPoint& where);
};

// A knob drawn from a strip: vertical drag (Shift for fine), wheel, and a
// double-click that opens a text field over the knob when a text conversion
// is attached, else resets to the default value.
class CAnimKnob : public CMovieBitmap {
public:
    using ValueToString = std::function<std::string(float value)>;
    using StringToValue = CTextEdit::StringToValue;

    CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps, double heightOfOneImage,
              CBitmap* background, const CPoint& offset = {});
    ~CAnimKnob() override;

    void setDragRanges(double rangePixels, double fineRangePixels) { mDrag.setRanges(rangePixels, fineRangePixels); }
    void setTextEntry(ValueToString toText, StringToValue toValue) {
        mToText = std::move(toText);
        mToValue = std::move(toValue);
    }
    // The open text field, while there is one.
    CTextEdit* getTextField() const { return mTextField; }
    void setTextFieldRect(const CRect& rect) { mTextFieldRect = rect; }
    bool isDragging() const { return mDrag.isActive(); }

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) override;
    bool removed(CViewContainer* parent) override;

    // Opens the text field; false when no text conversion is attached.
    virtual bool openTextField();
    void closeTextField();

protected:
    CVerticalDrag mDrag;
    ValueToString mToText;
    StringToValue mToValue;
    CTextEdit* mTextField = nullptr;
    CRect mTextFieldRect;
};

}  // namespace toolkit
