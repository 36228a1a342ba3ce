#pragma once
// The library page: the three banks of the engine's preset store, a
// scrolling list of the shown bank's presets, bank and preset files through
// the file selector, copy and paste, and renaming in place. The view holds
// no presets of its own; it calls the engine's library operations and draws
// what the engine answers.

#include <array>
#include <functional>
#include <string>

#include "editor/Controls.h"
#include "engine/PresetStore.h"
#include "toolkit/CFileSelector.h"

namespace vh {
class Plugin;
}

namespace vh::editor {

// The field over a row while a preset is being renamed, drawn with the
// bitmap font like the list under it.
class CLibNameField : public toolkit::CTextEdit {
public:
    CLibNameField(CBitmap* font);
    void drawEditField(CDrawContext* context) override;

private:
    CBitmap* mFont;
};

class CLibWnd : public toolkit::CViewContainer {
public:
    // The page's place, relative to the page area of the window.
    static constexpr double kWidth = 217;
    static constexpr double kHeight = 151;
    static constexpr double kRow = 10;
    static constexpr double kContentHeight = kRow * kPresetsPerBank;

    enum Button {
        kBankLoad,
        kBankSave,
        kBankDefault,
        kPresetLoad,
        kPresetSave,
        kPresetCopy,
        kPresetPaste,
        kNumButtons
    };

    // A message for the window's information line; error messages stand out.
    using Report = std::function<void(const std::string& line1, const std::string& line2, bool error)>;

    // runner: how the file selector starts its program (tests answer in its
    // place); empty for zenity.
    CLibWnd(const CPoint& topLeft, Plugin* plugin, CBitmap* font, Report report, toolkit::CCommandRunner runner = {});

    // Follows the engine: selection and names changed by the host, a preset
    // or another window. Called from the editor's idle step.
    void idle();

    int shownBank() const { return mShownBank; }
    void showBank(int bank);
    double scrollOffset() const { return mScroll; }
    double maxScroll() const { return kContentHeight - listRect().getHeight(); }
    void scrollBy(double pixels);
    bool isRenaming() const { return mField->isVisible(); }
    CLibNameField* nameField() const { return mField; }

    // Frame positions of the targets, for tests.
    CPoint tabPoint(int bank) const;
    CPoint buttonPoint(Button button) const;
    // The middle of row n as scrolled now (it may lie outside the list).
    CPoint rowPoint(int preset) const;
    CPoint upArrowPoint() const;
    CPoint downArrowPoint() const;
    CRect thumbFrameRect() const;
    // Row n's rectangle in the frame as scrolled now.
    CRect rowFrameRect(int preset) const;

    void drawBackgroundRect(CDrawContext* context, const CRect& updateRect) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) override;

private:
    // Layout in the view's own coordinates (top-left 0, 0).
    static CRect tabRect(int bank);
    static CRect buttonRect(Button button);
    static CRect listRect();
    static CRect barRect();
    static CRect upArrowRect();
    static CRect downArrowRect();
    CRect thumbRect() const;
    CRect rowRect(int preset) const;
    CPoint toFrame(const CPoint& local) const;

    void press(Button button, const CButtonState& buttons);
    void clickRow(int preset);
    void openRename();
    void renameEnded(bool committed);
    void scrollTo(double offset);
    void ensureVisible(int preset);
    // Asks for a file; false when the user cancelled or there is no selector
    // (which is reported).
    bool chooseFile(bool bank, bool save, std::string& path);
    void loadBank();
    void saveBank();
    void loadPreset();
    void savePreset();
    void outcome(bool ok, const std::string& done, const std::string& doneDetail, const std::string& failed,
                 const std::string& why);
    void report(const std::string& line1, const std::string& line2 = "", bool error = false);
    bool isCurrentRow(int preset) const;

    Plugin* mPlugin;
    CBitmap* mFont;
    Report mReport;
    toolkit::CCommandRunner mRunner;
    CLibNameField* mField;

    int mShownBank = 0;
    double mScroll = 0;
    bool mThumbDrag = false;
    double mDragAnchorY = 0;
    double mDragAnchorScroll = 0;
    int mRenameBank = 0;
    int mRenamePreset = 0;

    // What the view last drew, to notice changes made elsewhere.
    int mSeenBank = -1;
    int mSeenPreset = -1;
    std::array<std::array<char, kPresetNameLength + 1>, kPresetsPerBank> mSeenNames{};
};

}  // namespace vh::editor
