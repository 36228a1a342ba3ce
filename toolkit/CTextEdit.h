#pragma once
// Text display and single-line text entry.

#include <functional>
#include <string>

#include "toolkit/CControl.h"
#include "toolkit/CDrawContext.h"

namespace toolkit {

class CTextLabel : public CControl {
public:
    using ValueToString = std::function<std::string(float value)>;

    CTextLabel(const CRect& size, const std::string& text = "", CBitmap* background = nullptr);

    void setText(const std::string& text);
    const std::string& getText() const { return mText; }
    // When set, the label shows the value through this function instead of
    // its text.
    void setValueToStringFunction(ValueToString fn) {
        mValueToString = std::move(fn);
        setDirty();
    }
    std::string getDisplayText() const { return mValueToString ? mValueToString(mValue) : mText; }

    void setFont(const CFontDesc& font) { mFont = font; setDirty(); }
    void setFontColor(const CColor& c) { mFontColor = c; setDirty(); }
    void setBackColor(const CColor& c) { mBackColor = c; setDirty(); }
    void setFrameColor(const CColor& c) { mFrameColor = c; setDirty(); }
    void setHoriAlign(CHoriTxtAlign align) { mAlign = align; setDirty(); }
    const CFontDesc& getFont() const { return mFont; }

    void draw(CDrawContext* context) override;

protected:
    std::string mText;
    ValueToString mValueToString;
    CFontDesc mFont;
    CColor mFontColor = kBlackCColor;
    CColor mBackColor = kTransparentCColor;
    CColor mFrameColor = kTransparentCColor;
    CHoriTxtAlign mAlign = kCenterText;
};

// A label that turns into an entry field on a click (or when a program
// calls beginTextEditing). Enter, Tab or a click elsewhere commits; Escape
// cancels and restores the text.
class CTextEdit : public CTextLabel {
public:
    // Typed text to value; false when the text means nothing.
    using StringToValue = std::function<bool(const std::string& text, float& value)>;
    using EditingEnded = std::function<void(CTextEdit* edit, bool committed)>;

    CTextEdit(const CRect& size, CControlListener* listener = nullptr, int32_t tag = -1, const std::string& text = "",
              CBitmap* background = nullptr);
    ~CTextEdit() override;

    void setStringToValueFunction(StringToValue fn) { mStringToValue = std::move(fn); }
    void setEditingEndedCallback(EditingEnded fn) { mEditingEnded = std::move(fn); }
    // Where the entry field appears (view coordinates); the whole view when
    // empty.
    void setEditRect(const CRect& rect) { mEditRect = rect; }
    CRect getEditRect() const { return mEditRect.isEmpty() ? mSize : mEditRect; }
    void setMaxLength(size_t length) { mMaxLength = length; }
    void setEditOnClick(bool on) { mEditOnClick = on; }

    bool beginTextEditing();
    void endTextEditing(bool commit);
    bool isTextEditing() const { return mTextEditing; }
    const std::string& getEditText() const { return mEditText; }
    size_t getCursor() const { return mCursor; }

    void draw(CDrawContext* context) override;
    virtual void drawEditField(CDrawContext* context);
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    bool onKeyDown(const CKeyCode& key) override;
    bool wantsFocus() const override { return true; }
    void takeFocus() override;
    void looseFocus() override;

protected:
    // Default: the text becomes the label's text; with a string-to-value
    // function that understands it, the value is set too; then the listener
    // hears valueChanged inside begin/end edit.
    virtual void onTextCommitted(const std::string& text);
    virtual void onTextCancelled() {}

    StringToValue mStringToValue;
    EditingEnded mEditingEnded;
    CRect mEditRect;
    std::string mEditText;
    size_t mCursor = 0;
    size_t mMaxLength = 255;
    bool mTextEditing = false;
    bool mEditOnClick = true;
};

}  // namespace toolkit
