#include "toolkit/CTextEdit.h"

#include "toolkit/CFrame.h"

namespace toolkit {

CTextLabel::CTextLabel(const CRect& size, const std::string& text, CBitmap* background)
    : CControl(size, nullptr, -1, background), mText(text) {}

void CTextLabel::setText(const std::string& text) {
    if (text == mText) return;
    mText = text;
    setDirty();
}

void CTextLabel::draw(CDrawContext* context) {
    if (mBackColor.alpha) {
        context->setFillColor(mBackColor);
        context->fillRect(mSize);
    }
    CView::draw(context);
    context->setFont(mFont);
    context->setFontColor(mFontColor);
    CRect textArea = mSize;
    textArea.inset(2, 0);
    context->drawString(getDisplayText().c_str(), textArea, mAlign);
    if (mFrameColor.alpha) {
        context->setFrameColor(mFrameColor);
        context->setLineWidth(1);
        context->drawRect(mSize);
    }
}

CTextEdit::CTextEdit(const CRect& size, CControlListener* listener, int32_t tag, const std::string& text,
                     CBitmap* background)
    : CTextLabel(size, text, background) {
    mListener = listener;
    mTag = tag;
}

CTextEdit::~CTextEdit() = default;

bool CTextEdit::beginTextEditing() {
    CFrame* frame = getFrame();
    if (!frame) return false;
    if (mTextEditing) return true;
    mTextEditing = true;
    mEditText = getDisplayText();
    mCursor = mEditText.size();
    if (frame->getFocusView() != this && !frame->setFocusView(this)) {
        mTextEditing = false;
        return false;
    }
    invalid();
    return true;
}

void CTextEdit::endTextEditing(bool commit) {
    if (!mTextEditing) return;
    mTextEditing = false;
    CFrame* frame = getFrame();
    if (frame && frame->getFocusView() == this) frame->setFocusView(nullptr);
    // Keep the view alive through callbacks that may remove it.
    remember();
    if (commit)
        onTextCommitted(mEditText);
    else
        onTextCancelled();
    if (mEditingEnded) mEditingEnded(this, commit);
    setDirty();
    forget();
}

void CTextEdit::onTextCommitted(const std::string& text) {
    setText(text);
    beginEdit();
    float value;
    if (mStringToValue && mStringToValue(text, value)) setValue(value);
    valueChanged();
    endEdit();
}

void CTextEdit::takeFocus() {
    if (!mTextEditing) {
        mTextEditing = true;
        mEditText = getDisplayText();
        mCursor = mEditText.size();
        setDirty();
    }
}

void CTextEdit::looseFocus() {
    // Leaving the field by clicking elsewhere keeps what was typed; the
    // window closing under it does not.
    CFrame* frame = getFrame();
    endTextEditing(!(frame && frame->isClosing()));
}

CMouseEventResult CTextEdit::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (mTextEditing) {
        mCursor = mEditText.size();
        setDirty();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (!mEditOnClick) return kMouseEventNotHandled;
    beginTextEditing();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool CTextEdit::onKeyDown(const CKeyCode& key) {
    if (!mTextEditing) return false;
    switch (key.virt) {
        case kVkReturn:
        case kVkEnter:
        case kVkTab: endTextEditing(true); return true;
        case kVkEscape: endTextEditing(false); return true;
        case kVkBack:
            if (mCursor > 0) {
                mEditText.erase(mCursor - 1, 1);
                --mCursor;
            }
            break;
        case kVkDelete:
            if (mCursor < mEditText.size()) mEditText.erase(mCursor, 1);
            break;
        case kVkLeft:
            if (mCursor > 0) --mCursor;
            break;
        case kVkRight:
            if (mCursor < mEditText.size()) ++mCursor;
            break;
        case kVkHome: mCursor = 0; break;
        case kVkEnd: mCursor = mEditText.size(); break;
        case kVkNone:
            // Printable ASCII only: every text shown in the editor is drawn
            // with a font of those characters. Control shortcuts are left to
            // the host.
            if (key.character < 32 || key.character > 126 || (key.modifiers & kControl)) return false;
            if (mEditText.size() >= mMaxLength) return true;
            mEditText.insert(mCursor, 1, static_cast<char>(key.character));
            ++mCursor;
            break;
        default: return false;
    }
    setDirty();
    return true;
}

void CTextEdit::draw(CDrawContext* context) {
    if (mTextEditing)
        drawEditField(context);
    else
        CTextLabel::draw(context);
}

void CTextEdit::drawEditField(CDrawContext* context) {
    CRect r = getEditRect();
    context->setFillColor(kWhiteCColor);
    context->setFrameColor(kBlackCColor);
    context->setLineWidth(1);
    context->drawRect(r, kDrawFilledAndStroked);
    context->setFont(mFont);
    context->setFontColor(kBlackCColor);
    CRect textArea = r;
    textArea.inset(2, 0);
    context->drawString(mEditText.c_str(), textArea, kLeftText);
    double caretX = textArea.left + context->getStringWidth(mEditText.substr(0, mCursor).c_str());
    context->drawLine(CPoint(caretX, r.top + 2), CPoint(caretX, r.bottom - 3));
}

}  // namespace toolkit
