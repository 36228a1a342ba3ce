#pragma once
// The step sequencer's plot, which is also the editor of its 32 step values:
// a row of bars for the left values above a row for the right values, the
// step numbers under them with the current step highlighted, and a strip
// at the left edge that links the two rows.
//
// Gestures (left button): a click on the link strip toggles the link (when
// it becomes set, a click in the upper half copies the left row to the
// right, in the lower half the right row to the left); Control-click and
// drag draws the pointer's height into whatever bar it passes; a click on a
// bar and a vertical drag moves that bar by the travel (150 pixels for the
// whole range, 750 with Shift, re-anchored when Shift changes); the wheel
// moves the bar under the pointer by 0.01 a notch (0.001 with Shift).

#include <array>
#include <functional>
#include <string>

#include "editor/Plots.h"

namespace vh {
class STEP;
}

namespace vh::editor {

class CSTEPPlot final : public CModulePlot {
public:
    static constexpr int kSteps = 16;
    static constexpr double kHeight = 102;
    static constexpr double kLinkZone = 10;    // from the left edge
    static constexpr double kBarsLeft = 12;
    static constexpr double kPitch = 12;       // one step's column
    static constexpr double kBarWidth = 10;
    static constexpr double kFullRange = 38;   // pixels of a bar at value 1
    static constexpr double kFirstBase = 40;   // left row's bar base, from the top
    static constexpr double kRowDistance = 50; // right row below the left one
    static constexpr double kNumberRow = 10;   // under each row's bars
    static constexpr double kDragRange = 150, kFineDragRange = 750;

    using StepLookup = std::function<STEP*()>;

    // firstTag: the global index of the module's left step 1; left step i
    // is firstTag + i, right step i firstTag + 16 + i.
    CSTEPPlot(const CRect& size, CControlListener* listener, int32_t firstTag, StepLookup lookup, CBitmap* font);

    void refresh() override;
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    void onMouseExited(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) override;

    // --- what tests look at ---------------------------------------------------
    // Frame position of a bar's column at a height (value 0 is its base).
    CPoint barPoint(int step, bool right, double value) const;
    CPoint linkPoint(bool upperHalf) const;
    bool isLinked() const { return mLinked; }
    int visibleSteps() const { return mVisible; }
    int currentStep() const { return mCurrent; }
    // The step being edited or pointed at (0..15 left, 16..31 right), or -1.
    int editedStep() const { return mEdited; }
    // The highlighted text shown in place of the numbers, empty when none.
    std::string readout() const;
    float stepValue(int index) const { return mValues[index]; }

private:
    enum class Drag { kNone, kRelative, kDraw };

    // Step index (0..31) under a point in the plot's own coordinates, or -1;
    // only visible steps count.
    int stepAt(const CPoint& local) const;
    double baseOf(bool right) const { return kFirstBase + (right ? kRowDistance : 0); }
    void setLinked(bool linked);
    // Sets one step (and, while linked, its partner in the other row),
    // telling the host only of values that changed.
    void edit(int index, float value);
    void send(int index, float value);
    void drawAt(const CPoint& local);
    void setEdited(int index);

    int32_t mFirstTag;
    StepLookup mLookup;
    std::array<float, 2 * kSteps> mValues{};
    float mDepth = 1;
    int mVisible = kSteps;
    int mCurrent = 0;
    bool mLinked = false;
    int mEdited = -1;
    Drag mDragMode = Drag::kNone;
    int mDragIndex = -1;
    CPoint mDrawLast{-1, -1};  // where the last draw report was, in plot coordinates
    toolkit::CVerticalDrag mDrag{kDragRange, kFineDragRange};
};

}  // namespace vh::editor
