#include "editor/LibraryPage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "engine/Plugin.h"
#include "toolkit/CFrame.h"

namespace vh::editor {

using toolkit::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
using toolkit::kMouseEventHandled;
using toolkit::kMouseEventNotHandled;

namespace {

// Two button rows, the column titles, then the list with its scroll bar.
constexpr double kBankRowTop = 2;
constexpr double kPresetRowTop = 16;
constexpr double kButtonHeight = 11;
constexpr double kButtonWidth = 34;
constexpr double kButtonColumn[4] = {72, 108, 144, 180};
constexpr double kTabLeft = 31;
constexpr double kTabWidth = 11;
constexpr double kTabStep = 13;
constexpr double kTitleBaseline = 37;
constexpr double kListTop = 40;
constexpr double kListBottom = 150;
constexpr double kBarWidth = 9;
constexpr double kNameX = 21;
constexpr double kMinThumb = 8;
const toolkit::CColor kTrackColour{180, 188, 194};

const char* const kButtonText[CLibWnd::kNumButtons] = {"LOAD", "SAVE", "DFLT", "LOAD", "SAVE", "COPY", "PASTE"};

char bankLetter(int bank) { return static_cast<char>('A' + bank); }

// Why a file was not taken: the engine refuses files of the wrong kind, but
// a file that cannot even be read deserves its own words.
std::string whyRefused(const std::string& path, const char* kind) {
    return ::access(path.c_str(), R_OK) == 0 ? std::string("NOT A VORN ") + kind : std::string("CANNOT READ FILE");
}

std::string fileNameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void printCentred(CDrawContext* context, CBitmap* font, const CRect& r, const char* text, bool highlighted) {
    double x = std::floor(r.getCenter().x - 3.0 * static_cast<double>(std::strlen(text))) + 1;
    CTextPrinter::print(context, font, x, r.bottom - 2, text, false, highlighted);
}

}  // namespace

// ---------------------------------------------------------------------------

CLibNameField::CLibNameField(CBitmap* font) : CTextEdit(CRect(0, 0, 1, 1)), mFont(font) {
    setMaxLength(kPresetNameLength);
    setVisible(false);
}

void CLibNameField::drawEditField(CDrawContext* context) {
    CRect r = getEditRect();
    context->setFillColor(toolkit::kWhiteCColor);
    context->setFrameColor(kDark);
    context->setLineWidth(1);
    context->drawRect(r, toolkit::kDrawFilledAndStroked);
    CTextPrinter::print(context, mFont, r.left + 2, r.bottom - 2, mEditText.c_str());
    double caretX = r.left + 1 + 6.0 * static_cast<double>(mCursor);
    context->setFrameColor(kDark);
    context->drawLine(CPoint(caretX, r.top + 1), CPoint(caretX, r.bottom - 1));
}

// ---------------------------------------------------------------------------

CLibWnd::CLibWnd(const CPoint& topLeft, Plugin* plugin, CBitmap* font, Report report, toolkit::CCommandRunner runner)
    : CViewContainer(CRect(topLeft, kWidth, kHeight)),
      mPlugin(plugin),
      mFont(font),
      mReport(std::move(report)),
      mRunner(std::move(runner)),
      mField(new CLibNameField(font)) {
    setBackgroundColor(kLight);
    mField->setEditingEndedCallback([this](toolkit::CTextEdit*, bool committed) { renameEnded(committed); });
    addView(mField);
    // A new page shows the bank being played, scrolled to its preset.
    idle();
}

// --- layout -------------------------------------------------------------------

CRect CLibWnd::tabRect(int bank) {
    double left = kTabLeft + kTabStep * bank;
    return CRect(left, kBankRowTop, left + kTabWidth, kBankRowTop + kButtonHeight);
}

CRect CLibWnd::buttonRect(Button button) {
    bool bankRow = button <= kBankDefault;
    int column = bankRow ? button : button - kPresetLoad;
    double top = bankRow ? kBankRowTop : kPresetRowTop;
    return CRect(kButtonColumn[column], top, kButtonColumn[column] + kButtonWidth, top + kButtonHeight);
}

CRect CLibWnd::listRect() { return CRect(1, kListTop, kWidth - 1 - kBarWidth, kListBottom); }
CRect CLibWnd::barRect() { return CRect(kWidth - 1 - kBarWidth, kListTop, kWidth - 1, kListBottom); }
CRect CLibWnd::upArrowRect() {
    CRect r = barRect();
    return CRect(r.left, r.top, r.right, r.top + kBarWidth);
}
CRect CLibWnd::downArrowRect() {
    CRect r = barRect();
    return CRect(r.left, r.bottom - kBarWidth, r.right, r.bottom);
}

// The thumb is as much of the track as the list shows of its content, so
// dragging it moves the list with the pointer.
CRect CLibWnd::thumbRect() const {
    CRect track(barRect().left, upArrowRect().bottom, barRect().right, downArrowRect().top);
    double height = std::max(kMinThumb, track.getHeight() * listRect().getHeight() / kContentHeight);
    double top = track.top + (track.getHeight() - height) * mScroll / maxScroll();
    return CRect(track.left, top, track.right, top + height);
}

CRect CLibWnd::rowRect(int preset) const {
    CRect list = listRect();
    double top = list.top + kRow * preset - mScroll;
    return CRect(list.left, top, list.right, top + kRow);
}

CPoint CLibWnd::toFrame(const CPoint& local) const { return localToFrame(local + mSize.getTopLeft()); }

CPoint CLibWnd::tabPoint(int bank) const { return toFrame(tabRect(bank).getCenter()); }
CPoint CLibWnd::buttonPoint(Button button) const { return toFrame(buttonRect(button).getCenter()); }
CPoint CLibWnd::rowPoint(int preset) const { return toFrame(rowRect(preset).getCenter()); }
CPoint CLibWnd::upArrowPoint() const { return toFrame(upArrowRect().getCenter()); }
CPoint CLibWnd::downArrowPoint() const { return toFrame(downArrowRect().getCenter()); }

CRect CLibWnd::thumbFrameRect() const {
    CRect r = thumbRect();
    CPoint topLeft = toFrame(r.getTopLeft());
    return CRect(topLeft, r.getWidth(), r.getHeight());
}

CRect CLibWnd::rowFrameRect(int preset) const {
    CRect r = rowRect(preset);
    CPoint topLeft = toFrame(r.getTopLeft());
    return CRect(topLeft, r.getWidth(), r.getHeight());
}

// --- following the engine -----------------------------------------------------

void CLibWnd::idle() {
    int bank = mPlugin->currentBank(), preset = mPlugin->currentPreset();
    bool changed = false;
    if (bank != mSeenBank || preset != mSeenPreset) {
        // A preset chosen elsewhere (host, chunk, file) is shown where it is.
        mSeenBank = bank;
        mSeenPreset = preset;
        mShownBank = bank;
        ensureVisible(preset);
        changed = true;
    }
    char name[kPresetNameLength + 1];
    for (int p = 0; p < kPresetsPerBank; ++p) {
        mPlugin->getPresetName(mShownBank, p, name);
        if (std::strcmp(name, mSeenNames[p].data()) != 0) {
            std::memcpy(mSeenNames[p].data(), name, sizeof name);
            changed = true;
        }
    }
    if (changed) setDirty();
}

void CLibWnd::showBank(int bank) {
    if (bank < 0 || bank >= kNumBanks || bank == mShownBank) return;
    mShownBank = bank;
    idle();
    setDirty();
}

bool CLibWnd::isCurrentRow(int preset) const {
    return mShownBank == mPlugin->currentBank() && preset == mPlugin->currentPreset();
}

// --- scrolling ------------------------------------------------------------------

void CLibWnd::scrollTo(double offset) {
    offset = std::clamp(offset, 0.0, maxScroll());
    if (offset == mScroll) return;
    // A name being typed is kept before its row moves away.
    if (isRenaming()) mField->endTextEditing(true);
    mScroll = offset;
    setDirty();
}

void CLibWnd::scrollBy(double pixels) { scrollTo(mScroll + pixels); }

void CLibWnd::ensureVisible(int preset) {
    CRect list = listRect(), row = rowRect(preset);
    if (row.top < list.top)
        scrollBy(row.top - list.top);
    else if (row.bottom > list.bottom)
        scrollBy(row.bottom - list.bottom);
}

// --- drawing --------------------------------------------------------------------

void CLibWnd::drawBackgroundRect(CDrawContext* context, const CRect& updateRect) {
    CViewContainer::drawBackgroundRect(context, updateRect);
    context->saveGlobalState();
    context->setOffset(context->getOffset() + mSize.getTopLeft());
    context->setLineWidth(1);

    CTextPrinter::print(context, mFont, 3, kBankRowTop + kButtonHeight - 2, "BANK");
    CTextPrinter::print(context, mFont, 3, kPresetRowTop + kButtonHeight - 2, "PRESET");
    for (int b = 0; b < kNumBanks; ++b) {
        CRect r = tabRect(b);
        bool shown = b == mShownBank;
        context->setFillColor(shown ? kDark : kLight);
        context->setFrameColor(kDark);
        context->drawRect(r, toolkit::kDrawFilledAndStroked);
        const char letter[2] = {bankLetter(b), 0};
        printCentred(context, mFont, r, letter, shown);
    }
    for (int b = 0; b < kNumButtons; ++b) {
        CRect r = buttonRect(static_cast<Button>(b));
        context->setFrameColor(kDark);
        context->drawRect(r);
        printCentred(context, mFont, r, kButtonText[b], false);
    }

    CTextPrinter::print(context, mFont, 3, kTitleBaseline, "NO");
    CTextPrinter::print(context, mFont, kNameX, kTitleBaseline, "PRESET NAME");
    CRect list = listRect();
    context->setFrameColor(kDark);
    context->drawRect(CRect(list.left - 1, list.top - 1, barRect().right + 1, list.bottom + 1));

    context->saveGlobalState();
    context->setClipRect(list);
    int first = std::max(0, static_cast<int>(std::floor(mScroll / kRow)));
    int last = std::min(kPresetsPerBank - 1, static_cast<int>(std::floor((mScroll + list.getHeight()) / kRow)));
    char name[kPresetNameLength + 1];
    for (int p = first; p <= last; ++p) {
        CRect row = rowRect(p);
        bool current = isCurrentRow(p);
        if (current) {
            context->setFillColor(kDark);
            context->fillRect(row);
        }
        char number[4];
        std::snprintf(number, sizeof number, "%02d", p);
        mPlugin->getPresetName(mShownBank, p, name);
        CTextPrinter::print(context, mFont, 3, row.bottom - 2, number, false, current);
        CTextPrinter::print(context, mFont, kNameX, row.bottom - 2, name, false, current);
    }
    context->restoreGlobalState();

    CRect bar = barRect();
    context->setFillColor(kTrackColour);
    context->fillRect(bar);
    context->setFillColor(kDark);
    context->fillRect(thumbRect());
    CTextPrinter::print(context, mFont, bar.left + 2, upArrowRect().bottom - 1, "^");
    CTextPrinter::print(context, mFont, bar.left + 2, downArrowRect().bottom - 1, "v");
    context->restoreGlobalState();
}

// --- gestures -------------------------------------------------------------------

CMouseEventResult CLibWnd::onMouseDown(CPoint& where, const CButtonState& buttons) {
    CPoint local = where - mSize.getTopLeft();
    if (isRenaming() && mField->getViewSize().pointInside(local)) return CViewContainer::onMouseDown(where, buttons);
    if (!buttons.isLeftButton()) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;

    for (int b = 0; b < kNumBanks; ++b)
        if (tabRect(b).pointInside(local)) {
            showBank(b);
            return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
    for (int b = 0; b < kNumButtons; ++b)
        if (buttonRect(static_cast<Button>(b)).pointInside(local)) {
            press(static_cast<Button>(b), buttons);
            return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
    if (barRect().pointInside(local)) {
        CRect thumb = thumbRect();
        if (upArrowRect().pointInside(local)) {
            scrollBy(-kRow);
        } else if (downArrowRect().pointInside(local)) {
            scrollBy(kRow);
        } else if (thumb.pointInside(local)) {
            mThumbDrag = true;
            mDragAnchorY = local.y;
            mDragAnchorScroll = mScroll;
            return kMouseEventHandled;
        } else {
            double page = listRect().getHeight();
            scrollBy(local.y < thumb.top ? -page : page);
        }
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    CRect list = listRect();
    if (list.pointInside(local)) {
        int preset = static_cast<int>(std::floor((local.y - list.top + mScroll) / kRow));
        if (preset >= 0 && preset < kPresetsPerBank) clickRow(preset);
    }
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult CLibWnd::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!mThumbDrag) return kMouseEventNotHandled;
    CPoint local = where - mSize.getTopLeft();
    double track = downArrowRect().top - upArrowRect().bottom - thumbRect().getHeight();
    if (track > 0) scrollTo(mDragAnchorScroll + (local.y - mDragAnchorY) * maxScroll() / track);
    return kMouseEventHandled;
}

CMouseEventResult CLibWnd::onMouseUp(CPoint& where, const CButtonState& buttons) {
    mThumbDrag = false;
    return kMouseEventHandled;
}

bool CLibWnd::onWheel(const CPoint& where, float distance, const CButtonState& buttons) {
    CPoint local = where - mSize.getTopLeft();
    CRect scrolling(listRect().left, listRect().top, barRect().right, listRect().bottom);
    if (!scrolling.pointInside(local)) return false;
    // Wheel up (positive) brings the earlier presets into view.
    scrollBy(-kRow * distance);
    return true;
}

void CLibWnd::clickRow(int preset) {
    if (isCurrentRow(preset)) {
        openRename();
        return;
    }
    mPlugin->selectBank(mShownBank);
    mPlugin->selectPreset(preset);
    mSeenBank = mPlugin->currentBank();
    mSeenPreset = mPlugin->currentPreset();
    setDirty();
    if (toolkit::CFrame* frame = getFrame()) frame->setDirty();
}

void CLibWnd::press(Button button, const CButtonState& buttons) {
    const std::string bankName = std::string("BANK ") + bankLetter(mShownBank);
    const char* const notWritable = "THE SETTINGS FOLDER IS NOT WRITABLE";
    switch (button) {
        case kBankLoad: loadBank(); break;
        case kBankSave: saveBank(); break;
        case kBankDefault:
            // Control-click: the factory bank returns at the next start.
            if (buttons.isControl())
                outcome(mPlugin->removeDefaultBank(mShownBank), bankName + " DEFAULT REMOVED",
                        "THE FACTORY BANK RETURNS NEXT TIME", bankName + " DEFAULT NOT REMOVED", notWritable);
            else
                outcome(mPlugin->saveDefaultBank(mShownBank), bankName + " SAVED AS DEFAULT",
                        "NEW INSTANCES START WITH IT", bankName + " NOT SAVED AS DEFAULT", notWritable);
            break;
        case kPresetLoad: loadPreset(); break;
        case kPresetSave: savePreset(); break;
        case kPresetCopy: outcome(mPlugin->copyPreset(), "PRESET COPIED", "", "PRESET NOT COPIED", notWritable); break;
        case kPresetPaste:
            outcome(mPlugin->pastePreset(), "PRESET PASTED", "", "NOTHING PASTED", "THE CLIPBOARD HOLDS NO PRESET");
            break;
        default: break;
    }
    setDirty();
}

// --- renaming -------------------------------------------------------------------

void CLibWnd::openRename() {
    if (!getFrame()) return;
    mRenameBank = mPlugin->currentBank();
    mRenamePreset = mPlugin->currentPreset();
    ensureVisible(mRenamePreset);
    CRect row = rowRect(mRenamePreset);
    row.left = kNameX - 2;
    char name[kPresetNameLength + 1];
    mPlugin->getPresetName(mRenameBank, mRenamePreset, name);
    mField->setViewSize(row);
    mField->setText(name);
    mField->setVisible(true);
    if (!mField->beginTextEditing()) mField->setVisible(false);
}

void CLibWnd::renameEnded(bool committed) {
    mField->setVisible(false);
    if (committed) {
        std::string text = cutText(mField->getText(), kPresetNameLength);
        mPlugin->setPresetName(mRenameBank, mRenamePreset, text.c_str());
        if (toolkit::CFrame* frame = getFrame()) frame->setDirty();
    }
    idle();
    setDirty();
}

// --- files ----------------------------------------------------------------------

bool CLibWnd::chooseFile(bool bank, bool save, std::string& path) {
    using toolkit::CFileSelector;
    CFileSelector selector(save ? CFileSelector::kSelectSaveFile : CFileSelector::kSelectFile);
    selector.setTitle(bank ? (save ? "Save bank" : "Select bank to load")
                           : (save ? "Save preset" : "Select preset to load"));
    selector.addFileExtension(bank ? toolkit::CFileExtension{"Vorn Bank", "vrb"}
                                   : toolkit::CFileExtension{"Vorn Preset", "vrp"});
    selector.setInitialDirectory(mPlugin->currentDirectory());
    if (save) selector.setDefaultSaveName(bank ? mPlugin->lastBankFile() : mPlugin->lastPresetFile());
    if (mRunner) selector.setRunner(mRunner);
    // The dialog is modal; the window stays drawn but takes no input meanwhile.
    if (toolkit::CFrame* frame = getFrame()) selector.setWaitCallback([frame] { frame->idleModal(); });
    switch (selector.run()) {
        case CFileSelector::kSelected: path = selector.getSelectedFile(); return true;
        case CFileSelector::kNotAvailable:
            report("NO FILE SELECTOR: NOTHING CHANGED", "INSTALL ZENITY TO USE FILES", true);
            return false;
        default: return false;
    }
}

void CLibWnd::loadBank() {
    std::string path;
    if (!chooseFile(true, false, path)) return;
    const std::string bankName = std::string("BANK ") + bankLetter(mShownBank);
    outcome(mPlugin->loadBankFile(mShownBank, path), bankName + " LOADED FROM", fileNameOf(path),
            bankName + " UNCHANGED: " + whyRefused(path, "BANK"), fileNameOf(path));
}

void CLibWnd::saveBank() {
    std::string path;
    if (!chooseFile(true, true, path)) return;
    const std::string bankName = std::string("BANK ") + bankLetter(mShownBank);
    outcome(mPlugin->saveBankFile(mShownBank, path), bankName + " SAVED AS", fileNameOf(path),
            bankName + " NOT SAVED: CANNOT WRITE", fileNameOf(path));
}

void CLibWnd::loadPreset() {
    std::string path;
    if (!chooseFile(false, false, path)) return;
    outcome(mPlugin->loadPresetFile(path), "PRESET LOADED FROM", fileNameOf(path),
            "PRESET UNCHANGED: " + whyRefused(path, "PRESET"), fileNameOf(path));
}

void CLibWnd::savePreset() {
    std::string path;
    if (!chooseFile(false, true, path)) return;
    outcome(mPlugin->savePresetFile(path), "PRESET SAVED AS", fileNameOf(path), "PRESET NOT SAVED: CANNOT WRITE",
            fileNameOf(path));
}

// Whatever an operation changed (names, the current preset) shows at once,
// and the frame is redrawn for the module panels a preset may have replaced.
void CLibWnd::outcome(bool ok, const std::string& done, const std::string& doneDetail, const std::string& failed,
                      const std::string& why) {
    if (ok)
        report(done, doneDetail);
    else
        report(failed, why, true);
    idle();
    if (toolkit::CFrame* frame = getFrame(); ok && frame) frame->setDirty();
}

void CLibWnd::report(const std::string& line1, const std::string& line2, bool error) {
    if (mReport) mReport(line1, line2, error);
}

}  // namespace vh::editor
