#pragma once
// The modulation routing page: `CCordWnd`, one view that lists the sixteen
// modulation slots and, for one slot at a time, browses the sources or the
// destinations it may take, with learning of a source from incoming MIDI and
// of either end from a touch of a control elsewhere in the window. Below it
// sits the three-state modulation preview selector.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/Controls.h"
#include "modules/ParameterLayout.h"

namespace vh {
class Plugin;
}

namespace vh::editor {

// What the page asks of the editor: one operation per slot edit, so every
// write reaches the host framed by begin-edit and end-edit.
class CExtendedListener {
public:
    virtual ~CExtendedListener() = default;
    virtual void setSlotSensitivity(int slot, float value) = 0;
    virtual void setSlotMuteMask(int mask) = 0;
    virtual void setSlotSource(int slot, int source) = 0;
    virtual void setSlotDestination(int slot, int destination) = 0;
    virtual void showSourceModule(int slot) = 0;
    virtual void showDestinationModule(int slot) = 0;
    // The engine routes the next controller message to the page (on) or
    // stops doing so (off).
    virtual void setMidiLearn(bool on) = 0;
    // 0 source, 1 destination, -1 back to the slot list.
    virtual void browserOpened(int which) = 0;
};

// One page of rows that scrolls by arrows, a draggable bar, a click on the
// bar's track (a page) and the wheel. Coordinates are the owner's.
class ListScroller {
public:
    static constexpr double kRow = 10;
    static constexpr double kBarWidth = 9;

    void setArea(const CRect& area) { mArea = area; }
    void setRows(int rows);
    int rows() const { return mRows; }
    double scroll() const { return mScroll; }
    double maxScroll() const;
    bool scrollable() const { return maxScroll() > 0; }
    // Limited to 0..maxScroll; true when it moved.
    bool scrollTo(double pixels);
    bool scrollBy(double pixels) { return scrollTo(mScroll + pixels); }
    // The rows' part of the area (without the bar).
    CRect rowsRect() const;
    CRect barRect() const;
    CRect thumbRect() const;
    // The row under y, or -1.
    int rowAt(double y) const;
    double rowTop(int row) const { return mArea.top + kRow * row - mScroll; }

    // Pointer on the bar; false when where is not on it.
    bool barDown(const CPoint& where);
    bool barMoved(const CPoint& where);
    void barUp() { mThumbDrag = false; }
    bool isDraggingThumb() const { return mThumbDrag; }
    void drawBar(CDrawContext* context, CBitmap* font) const;

private:
    CRect mArea;
    int mRows = 0;
    double mScroll = 0;
    bool mThumbDrag = false;
    double mAnchorY = 0;
    double mAnchorScroll = 0;
};

class CCordWnd : public toolkit::CView {
public:
    enum Mode { kSlotList = 0, kSourceBrowser = 1, kDestinationBrowser = 2 };
    // Source browser categories, then destination browser categories.
    enum SourceCategory { kSourceTop = 0, kSourceKnobs, kSourceModulators, kSourceMidi, kSourceControllers };
    enum DestinationCategory {
        kDestTop = 0,
        kDestOperators,
        kDestModulators,
        kDestSignalPath,
        kDestSlots,
        kDestMain,
        kDestOperatorParams,
        kDestModulatorParams,
    };
    // Slot list columns, x from the view's left edge.
    static constexpr double kSourceLeft = 14, kSensLeft = 96, kDestLeft = 122, kDestRight = 206;
    static constexpr double kTitleHeight = 10;

    struct SlotRow {
        std::string number, source, sens, destination;
    };

    CCordWnd(const CRect& size, Plugin* plugin, std::unique_ptr<CExtendedListener> listener, CBitmap* font);
    ~CCordWnd() override;

    // --- state, for the editor and tests -----------------------------------
    int mode() const { return mMode; }
    int browsedSlot() const { return mSlot; }
    int category() const { return mMode == kSourceBrowser ? mSourceCategory : mDestCategory; }
    int browsedModule() const { return mModule; }
    bool isLearning() const { return mLearnSlot >= 0; }
    int learningSlot() const { return mLearnSlot; }
    const ListScroller& list() const { return mList; }
    SlotRow slotRow(int slot) const;
    // The rows of the list shown now (slot list: "NO SOURCE SENS DEST" joined).
    std::vector<std::string> rowTexts() const;
    std::string title() const;
    // Frame points for gestures: a row at x (view coordinates) as scrolled
    // now, and the two buttons of the title line.
    CPoint rowPoint(int row, double x = 50) const;
    CPoint exitPoint() const;
    CPoint learnPoint() const;
    // A parameter control with this tag would be taken as the destination now.
    bool offersDestination(int tag) const;

    // --- from the editor --------------------------------------------------
    // A control elsewhere in the window was touched (by its tag).
    void offerTouch(int tag);
    // The engine routed a controller message here.
    void controllerLearned(int controller);
    // A slot or module parameter changed in the engine.
    void engineChanged(int index);
    // The editor's idle step: drops a learn another control has taken over.
    void idle();

    // --- the view ---------------------------------------------------------
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) override;
    bool removed(toolkit::CViewContainer* parent) override;

    // Browsing, as the rows and buttons do it.
    void openSourceBrowser(int slot);
    void openDestinationBrowser(int slot);
    void openCategory(int category, int module = 0);
    void backToSlotList();
    void setLearning(bool on);
    toolkit::CTextEdit* sensField() const { return mSensField; }

private:
    struct Row {
        std::string text;
        int leaf = -1;      // source or destination index, or -1
        int category = -1;  // category it opens, or -1
        int module = 0;     // the module of categories 6 and 7
    };
    std::vector<Row> buildRows() const;
    void refreshRows();
    void chooseRow(int row);
    void chooseLeaf(int leaf);
    void slotListDown(const CPoint& where, const CButtonState& buttons);
    int slotAt(const CPoint& where) const;
    int muteMask() const;
    float sensitivity(int slot) const;
    void writeSensitivity(int slot, float value);
    void openSensField(int slot);
    void closeSensField();
    void drawSlotList(CDrawContext* context);
    void drawBrowser(CDrawContext* context);
    CRect exitRect() const;
    CRect learnRect() const;
    bool hasLearnButton() const { return mMode == kSourceBrowser && mSourceCategory == kSourceControllers; }

    Plugin* mPlugin;
    std::unique_ptr<CExtendedListener> mListener;
    CBitmap* mFont;

    int mMode = kSlotList;
    int mSlot = 0;
    int mSourceCategory = kSourceTop;
    int mDestCategory = kDestTop;
    int mModule = 0;
    std::vector<Row> mRows;
    ListScroller mList;
    // Where the slot list was scrolled, kept while a browser is open.
    double mSlotListScroll = 0;
    int mLearnSlot = -1;

    // Sensitivity drag or entry.
    int mEditSlot = -1;
    toolkit::CVerticalDrag mDrag{200, 1000};
    float mDragValue = 0;
    toolkit::CTextEdit* mSensField = nullptr;
    // Cleared when the view goes: what outlives it asks here first.
    std::shared_ptr<CCordWnd*> mSelf = std::make_shared<CCordWnd*>(this);
};

// The page: the slot view at the top of the page area and the preview
// selector (tag 436) under it, writing to the engine. Returns the slot view;
// the selector reports to `controls` like every other control, and
// `browserChanged` hears when a browser opens or closes.
CCordWnd* buildModulationPage(toolkit::CViewContainer* page, Plugin* plugin, CBitmap* font,
                              CControlListener* controls, std::function<void(int which)> browserChanged);

// Typed sensitivity: a percentage limited to -100..100; false for text that
// is not a number.
bool sensitivityFromText(const std::string& text, float& value);
// The SENS column: "+30", "-5", "0", "----" when muted.
std::string sensitivityText(float value, bool muted);

}  // namespace vh::editor
