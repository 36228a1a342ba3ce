#include "editor/StepPlot.h"

#include <algorithm>
#include <cmath>

#include "modulators/STEP.h"

namespace vh::editor {

using toolkit::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
using toolkit::kMouseEventHandled;
using toolkit::kMouseEventNotHandled;

namespace {
float clampUnitValue(double v) { return static_cast<float>(std::clamp(v, 0.0, 1.0)); }
}  // namespace

CSTEPPlot::CSTEPPlot(const CRect& size, CControlListener* listener, int32_t firstTag, StepLookup lookup, CBitmap* font)
    : CModulePlot(size, listener, firstTag, font), mFirstTag(firstTag), mLookup(std::move(lookup)) {
    setWheelInc(0.01f, 0.001f);
    if (STEP* step = mLookup ? mLookup() : nullptr) mLinked = step->plotLinked();
    refresh();
}

void CSTEPPlot::refresh() {
    STEP* step = mLookup ? mLookup() : nullptr;
    if (!step) return;
    bool moved = false;
    auto take = [&moved](auto& into, auto value) {
        if (into != value) into = value, moved = true;
    };
    // A drag shows the hand's values; the engine's echo follows them anyway.
    if (mDragMode == Drag::kNone)
        for (int i = 0; i < 2 * kSteps; ++i) take(mValues[i], step->getParameter(STEP::kLeftStep0 + i));
    float values[PlotSource::kMaxValues];
    step->plotValues(values);
    take(mDepth, values[STEP::kDepth]);
    take(mVisible, STEP::stepCountOf(step->getParameter(STEP::kSteps)));
    take(mCurrent, std::clamp(step->stepPosition(), 0, kSteps - 1));
    take(mLinked, step->plotLinked());
    if (mEdited >= 0 && mEdited % kSteps >= mVisible) mEdited = -1;
    if (moved) setDirty();
}

// --- drawing ------------------------------------------------------------------

std::string CSTEPPlot::readout() const {
    if (mEdited < 0 || mEdited % kSteps >= mVisible) return {};
    const int step = mEdited % kSteps + 1;
    const double percent = 100.0 * mValues[mEdited];
    char text[kTextSize];
    if (mLinked)
        VH_TEXT(text, "STEP %d: VALUE = %.1f%%", step, percent);
    else
        VH_TEXT(text, "STEP %d%c: VALUE = %.1f%%", step, mEdited < kSteps ? 'L' : 'R', percent);
    return text;
}

void CSTEPPlot::draw(CDrawContext* context) {
    drawBackground(context);
    const double ox = mSize.left, oy = mSize.top;
    const std::string shown = readout();
    for (int row = 0; row < 2; ++row) {
        const double base = oy + baseOf(row == 1);
        // The output's scale: depth as a line across the row.
        context->setFillColor(kGrid);
        double depthY = std::round(base - mDepth * kFullRange);
        context->fillRect(CRect(ox + kBarsLeft - 1, depthY, ox + kBarsLeft + kSteps * kPitch - 1, depthY + 1));
        for (int s = 0; s < mVisible; ++s) {
            const double x = ox + kBarsLeft + s * kPitch;
            const float v = mValues[row * kSteps + s];
            const double top = base - std::round(v * kFullRange);
            context->setFillColor(kGrid);
            context->fillRect(CRect(x, base - kFullRange, x + kBarWidth, base));
            context->setFillColor(row * kSteps + s == mEdited ? kMark : kDark);
            context->fillRect(CRect(x, top, x + kBarWidth, base));
            if (!shown.empty()) continue;
            char number[8];
            VH_TEXT(number, "%d", s + 1);
            double nx = x + (s + 1 < 10 ? 3 : 0);
            CTextPrinter::print(context, mFont, nx, base + 9, number, false, s == mCurrent);
        }
        if (!shown.empty() && (mEdited < kSteps) == (row == 0))
            CTextPrinter::print(context, mFont, ox + kBarsLeft, base + 9, shown.c_str(), false, true);
    }
    if (mLinked) {
        CTextPrinter::print(context, mFont, ox + 2, oy + 29, "LINKED", true);
    } else {
        CTextPrinter::print(context, mFont, ox + 2, oy + 12, "LEFT", true);
        CTextPrinter::print(context, mFont, ox + 2, oy + 58, "RIGHT", true);
    }
}

// --- editing ------------------------------------------------------------------

int CSTEPPlot::stepAt(const CPoint& local) const {
    if (local.x < kBarsLeft) return -1;
    int s = static_cast<int>(std::floor((local.x - kBarsLeft) / kPitch));
    if (s < 0 || s >= mVisible) return -1;
    // The left row's numbers still belong to it.
    const bool right = local.y >= kFirstBase + kNumberRow;
    return (right ? kSteps : 0) + s;
}

void CSTEPPlot::setLinked(bool linked) {
    mLinked = linked;
    if (STEP* step = mLookup ? mLookup() : nullptr) step->setPlotLinked(linked);
    setDirty();
}

void CSTEPPlot::send(int index, float value) {
    if (mValues[index] == value) return;
    mValues[index] = value;
    setTag(mFirstTag + index);
    beginEdit();
    setValue(value);
    valueChanged();
    endEdit();
    setDirty();
}

void CSTEPPlot::edit(int index, float value) {
    send(index, value);
    if (mLinked) send((index + kSteps) % (2 * kSteps), value);
}

void CSTEPPlot::setEdited(int index) {
    if (index == mEdited) return;
    mEdited = index;
    setDirty();
}

void CSTEPPlot::drawAt(const CPoint& local) {
    // A quick stroke skips columns between two pointer reports; the bars
    // it passed over take the heights along the straight line between them.
    const CPoint from = mDrawLast.x < 0 ? local : mDrawLast;
    mDrawLast = local;
    const int stepsBetween = static_cast<int>(std::ceil(std::fabs(local.x - from.x) / (kPitch / 2)));
    for (int k = 1; k <= stepsBetween + (stepsBetween == 0 ? 1 : 0); ++k) {
        const double t = stepsBetween ? static_cast<double>(k) / stepsBetween : 1.0;
        const CPoint p(from.x + t * (local.x - from.x), from.y + t * (local.y - from.y));
        const int index = stepAt(p);
        if (index < 0) continue;
        setEdited(index);
        edit(index, clampUnitValue((baseOf(index >= kSteps) - p.y) / kFullRange));
    }
}

CMouseEventResult CSTEPPlot::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    const CPoint local = where - mSize.getTopLeft();
    if (buttons.isControl()) {
        mDragMode = Drag::kDraw;
        mDrawLast = CPoint(-1, -1);
        drawAt(local);
        return kMouseEventHandled;
    }
    if (local.x < kLinkZone) {
        setLinked(!mLinked);
        if (mLinked) {
            const bool upper = local.y < mSize.getHeight() / 2;
            for (int s = 0; s < kSteps; ++s) {
                if (upper)
                    send(kSteps + s, mValues[s]);
                else
                    send(s, mValues[kSteps + s]);
            }
        }
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    const int index = stepAt(local);
    if (index < 0) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    mDragMode = Drag::kRelative;
    mDragIndex = index;
    setEdited(index);
    mDrag.begin(where.y, mValues[index], buttons.isShift());
    return kMouseEventHandled;
}

CMouseEventResult CSTEPPlot::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    const CPoint local = where - mSize.getTopLeft();
    switch (mDragMode) {
        case Drag::kDraw: drawAt(local); return kMouseEventHandled;
        case Drag::kRelative:
            edit(mDragIndex, mDrag.track(where.y, mValues[mDragIndex], buttons.isShift()));
            return kMouseEventHandled;
        case Drag::kNone:
            // Pointing at a bar shows its readout.
            setEdited(mSize.pointInside(where) ? stepAt(local) : -1);
            return kMouseEventHandled;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CSTEPPlot::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (mDragMode == Drag::kNone) return kMouseEventNotHandled;
    mDragMode = Drag::kNone;
    mDrag.end();
    mDragIndex = -1;
    setEdited(mSize.pointInside(where) ? stepAt(where - mSize.getTopLeft()) : -1);
    return kMouseEventHandled;
}

void CSTEPPlot::onMouseExited(CPoint&, const CButtonState&) {
    if (mDragMode == Drag::kNone) setEdited(-1);
}

bool CSTEPPlot::onWheel(const CPoint& where, float distance, const CButtonState& buttons) {
    const int index = stepAt(where - mSize.getTopLeft());
    if (index < 0) return false;
    const double inc = buttons.isShift() ? mFineWheelInc : mWheelInc;
    setEdited(index);
    edit(index, clampUnitValue(mValues[index] + distance * inc));
    return true;
}

// --- what tests look at -------------------------------------------------------

CPoint CSTEPPlot::barPoint(int step, bool right, double value) const {
    CRect frame = getFrameRect();
    return CPoint(frame.left + kBarsLeft + step * kPitch + kBarWidth / 2,
                  frame.top + baseOf(right) - value * kFullRange);
}

CPoint CSTEPPlot::linkPoint(bool upperHalf) const {
    CRect frame = getFrameRect();
    return CPoint(frame.left + kLinkZone / 2, frame.top + (upperHalf ? 0.25 : 0.75) * frame.getHeight());
}

}  // namespace vh::editor
