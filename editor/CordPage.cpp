#include "editor/CordPage.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "editor/Editor.h"
#include "engine/ParameterNames.h"
#include "engine/Plugin.h"
#include "modules/ModuleTypes.h"
#include "toolkit/CFrame.h"

namespace vh::editor {

using namespace param;
using toolkit::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
using toolkit::kMouseEventHandled;
using toolkit::kMouseEventNotHandled;

namespace {
constexpr int kNumControllers = 128;
constexpr int kMuteSteps = 65536;  // "SLOTStatus": a 16-bit mask
constexpr int kPreviewStates = 3;

constexpr toolkit::CColor kTrack{180, 188, 194};

int slotSource(Plugin* plugin, int slot) { return discreteIndex(plugin->getParameter(kSlotSource1 + slot), kNumSources); }
int slotDestination(Plugin* plugin, int slot) {
    return discreteIndex(plugin->getParameter(kSlotDest1 + slot), kNumDestinations);
}
int operatorType(Plugin* plugin, int op) { return discreteIndex(plugin->getParameter(kOpType1 + op), kNumTypeSteps); }
int modulatorType(Plugin* plugin, int mod) { return discreteIndex(plugin->getParameter(kModType1 + mod), kNumTypeSteps); }
std::string label(const char* text) { return text ? text : ""; }

std::string format(const char* pattern, auto... args) {
    char text[kTextSize];
    VH_TEXT(text, pattern, args...);
    return text;
}

// Writes go to the engine as the host's own automation would arrive, each
// framed by begin-edit and end-edit.
class EngineSlotListener final : public CExtendedListener {
public:
    EngineSlotListener(Plugin* plugin, std::function<void(int)> browserChanged)
        : mPlugin(plugin), mBrowserChanged(std::move(browserChanged)) {}

    void setSlotSensitivity(int slot, float value) override {
        if (inRange(slot, 0, kNumModSlots)) write(kSlotSens1 + slot, value);
    }
    void setSlotMuteMask(int mask) override { write(kSlotStatus, discreteValue(mask & (kMuteSteps - 1), kMuteSteps)); }
    void setSlotSource(int slot, int source) override {
        if (inRange(slot, 0, kNumModSlots) && inRange(source, 0, kNumSources))
            write(kSlotSource1 + slot, discreteValue(source, kNumSources));
    }
    void setSlotDestination(int slot, int destination) override {
        if (inRange(slot, 0, kNumModSlots) && inRange(destination, 0, kNumDestinations))
            write(kSlotDest1 + slot, discreteValue(destination, kNumDestinations));
    }
    void showSourceModule(int slot) override {
        if (!inRange(slot, 0, kNumModSlots)) return;
        int source = slotSource(mPlugin, slot);
        if (inRange(source, kSourceMod1, kNumModulatorSlots))
            mPlugin->setParameter(kCurrMod, discreteValue(source - kSourceMod1, kNumModulatorSlots));
    }
    void showDestinationModule(int slot) override {
        if (!inRange(slot, 0, kNumModSlots)) return;
        int d = slotDestination(mPlugin, slot);
        if (isDestOpParam(d))
            mPlugin->setParameter(kCurrOp, discreteValue(destOpParamAt(d).slot, kNumOperatorSlots));
        else if (isDestModParam(d))
            mPlugin->setParameter(kCurrMod, discreteValue(destModParamAt(d).slot, kNumModulatorSlots));
    }
    void setMidiLearn(bool on) override {
        // Switching off leaves a learn some knob has started since alone.
        if (on)
            mPlugin->setLearnTarget(1);
        else if (mPlugin->getLearnTarget() == 1)
            mPlugin->setLearnTarget(0);
    }
    void browserOpened(int which) override {
        if (mBrowserChanged) mBrowserChanged(which);
    }

private:
    void write(int index, float value) {
        mPlugin->beginEdit(index);
        mPlugin->setParameterAutomated(index, value);
        mPlugin->endEdit(index);
    }

    Plugin* mPlugin;
    std::function<void(int)> mBrowserChanged;
};

void printClipped(CDrawContext* context, CBitmap* font, const CRect& clip, double x, double y, const std::string& text,
                  bool highlighted = false, bool marked = false) {
    context->saveGlobalState();
    context->setClipRect(clip);
    CTextPrinter::print(context, font, x, y, text.c_str(), false, highlighted, marked);
    context->restoreGlobalState();
}
}  // namespace

// --- texts --------------------------------------------------------------------

bool sensitivityFromText(const std::string& text, float& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    double x = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || !std::isfinite(x)) return false;
    while (*end == ' ' || *end == '%') ++end;
    if (*end != 0) return false;
    x = std::clamp(x, -100.0, 100.0);
    value = static_cast<float>((x + 100.0) / 200.0);
    return true;
}

std::string sensitivityText(float value, bool muted) {
    if (muted) return "----";
    int percent = static_cast<int>(std::fabs(value * 200.0f - 100.0f));
    if (percent == 0) return "0";
    return format("%c%d", value >= 0.5f ? '+' : '-', percent);
}

// --- ListScroller -------------------------------------------------------------

void ListScroller::setRows(int rows) {
    mRows = std::max(rows, 0);
    scrollTo(mScroll);
}

double ListScroller::maxScroll() const { return std::max(0.0, kRow * mRows - mArea.getHeight()); }

bool ListScroller::scrollTo(double pixels) {
    double s = std::clamp(pixels, 0.0, maxScroll());
    if (s == mScroll) return false;
    mScroll = s;
    return true;
}

CRect ListScroller::rowsRect() const {
    CRect r = mArea;
    if (scrollable()) r.right -= kBarWidth;
    return r;
}

CRect ListScroller::barRect() const { return CRect(mArea.right - kBarWidth, mArea.top, mArea.right, mArea.bottom); }

CRect ListScroller::thumbRect() const {
    CRect track = barRect().inset(0, kBarWidth);
    double content = kRow * std::max(mRows, 1);
    double height = std::max(8.0, track.getHeight() * std::min(1.0, mArea.getHeight() / content));
    double top = track.top + (scrollable() ? (track.getHeight() - height) * mScroll / maxScroll() : 0);
    return CRect(track.left, top, track.right, top + height);
}

int ListScroller::rowAt(double y) const {
    if (y < mArea.top || y >= mArea.bottom) return -1;
    int row = static_cast<int>(std::floor((y + mScroll - mArea.top) / kRow));
    return row < mRows ? row : -1;
}

bool ListScroller::barDown(const CPoint& where) {
    if (!scrollable() || !barRect().pointInside(where)) return false;
    CRect thumb = thumbRect();
    if (where.y < mArea.top + kBarWidth)
        scrollBy(-kRow);
    else if (where.y >= mArea.bottom - kBarWidth)
        scrollBy(kRow);
    else if (thumb.pointInside(where)) {
        mThumbDrag = true;
        mAnchorY = where.y;
        mAnchorScroll = mScroll;
    } else {
        scrollBy(where.y < thumb.top ? -mArea.getHeight() : mArea.getHeight());
    }
    return true;
}

bool ListScroller::barMoved(const CPoint& where) {
    if (!mThumbDrag) return false;
    double travel = barRect().inset(0, kBarWidth).getHeight() - thumbRect().getHeight();
    if (travel > 0) scrollTo(mAnchorScroll + (where.y - mAnchorY) * maxScroll() / travel);
    return true;
}

void ListScroller::drawBar(CDrawContext* context, CBitmap* font) const {
    if (!scrollable()) return;
    CRect bar = barRect();
    context->setFillColor(kTrack);
    context->fillRect(bar);
    context->setFillColor(kDark);
    context->fillRect(thumbRect());
    CTextPrinter::print(context, font, bar.left + 2, bar.top + 8, "^");
    CTextPrinter::print(context, font, bar.left + 2, bar.bottom - 1, "v");
}

// --- CCordWnd -----------------------------------------------------------------

CCordWnd::CCordWnd(const CRect& size, Plugin* plugin, std::unique_ptr<CExtendedListener> listener, CBitmap* font)
    : CView(size), mPlugin(plugin), mListener(std::move(listener)), mFont(font) {
    double visible = std::floor((size.getHeight() - kTitleHeight) / ListScroller::kRow) * ListScroller::kRow;
    mList.setArea(CRect(size.left, size.top + kTitleHeight, size.right, size.top + kTitleHeight + visible));
    mList.setRows(kNumModSlots);
}

CCordWnd::~CCordWnd() { *mSelf = nullptr; }

bool CCordWnd::removed(toolkit::CViewContainer* parent) {
    // The text field shares the container, which is going away with this
    // view (and may be walking its children): it is left to the container.
    mSensField = nullptr;
    mEditSlot = -1;
    // Nobody is left to receive a controller the engine would route here.
    setLearning(false);
    return CView::removed(parent);
}

// --- what the rows show ---------------------------------------------------------

CCordWnd::SlotRow CCordWnd::slotRow(int slot) const {
    SlotRow row;
    if (!inRange(slot, 0, kNumModSlots)) return row;
    row.number = format("%02d", slot + 1);
    char longName[kTextSize], shortName[kTextSize], destination[kTextSize];
    mPlugin->getSourceName(slot, longName, shortName);
    mPlugin->getDestinationName(slot, destination);
    row.source = shortName;
    row.destination = destination;
    bool empty = slotSource(mPlugin, slot) == kSourceNone || slotDestination(mPlugin, slot) == kDestinationNone;
    if (!empty) row.sens = sensitivityText(sensitivity(slot), (muteMask() >> slot) & 1);
    return row;
}

int CCordWnd::muteMask() const { return discreteIndex(mPlugin->getParameter(kSlotStatus), kMuteSteps); }

float CCordWnd::sensitivity(int slot) const { return mPlugin->getParameter(kSlotSens1 + slot); }

std::vector<CCordWnd::Row> CCordWnd::buildRows() const {
    std::vector<Row> rows;
    auto leaf = [&rows](std::string text, int index) { rows.push_back({std::move(text), index, -1, 0}); };
    auto opens = [&rows](std::string text, int category, int module = 0) {
        rows.push_back({std::move(text), -1, category, module});
    };
    if (mMode == kSourceBrowser) {
        if (mSourceCategory != kSourceTop)
            opens(".. [parent]", mSourceCategory == kSourceControllers ? kSourceMidi : kSourceTop);
        switch (mSourceCategory) {
            case kSourceTop:
                opens("ASSIGNABLE KNOB", kSourceKnobs);
                opens("INTERNAL MODULATOR", kSourceModulators);
                opens("MIDI INPUT", kSourceMidi);
                leaf("[remove]", kSourceNone);
                break;
            case kSourceKnobs:
                for (int k = 0; k < kNumKnobs; ++k) leaf(format("ASSIGNABLE KNOB %d", k + 1), kSourceKnob1 + k);
                break;
            case kSourceModulators:
                for (int m = 0; m < kNumModulatorSlots; ++m)
                    leaf(format("MOD %d - %s", m + 1, label(modulatorTypeLabel(modulatorType(mPlugin, m))).c_str()),
                         kSourceMod1 + m);
                break;
            case kSourceMidi: {
                static const char* const kNames[7] = {"MIDI NOTE ON",   "MIDI NOTE NUMBER", "MIDI NOTE FREQUENCY",
                                                      "MIDI PITCHBEND", "MIDI VELOCITY",    "MIDI AFTERTOUCH",
                                                      "MIDI CHANNEL PRESSURE"};
                opens("MIDI CONTROL CHANGE", kSourceControllers);
                for (int i = 0; i < 7; ++i) leaf(kNames[i], kSourceNoteOn + i);
                break;
            }
            case kSourceControllers:
                for (int c = 0; c < kNumControllers; ++c) {
                    char name[kTextSize];
                    leaf(format("%03d %s", c, midiControllerName(c, name)), kSourceCc0 + c);
                }
                break;
        }
        return rows;
    }
    if (mMode != kDestinationBrowser) return rows;
    // Only what can be modulated is listed; the leaf is the parameter's own
    // slot, not its row.
    auto moduleParameters = [&](auto* module, const char* family, const char* type, int first) {
        if (!module) return;
        for (int p = 0; p < module->kCapacity; ++p) {
            if (!module->isModulatable(p)) continue;
            char name[kTextSize];
            module->getDestinationName(p, name);
            leaf(format("%s%d (%s) %s", family, mModule + 1, label(type).c_str(), name), first + p);
        }
    };
    if (mDestCategory != kDestTop)
        opens(".. [parent]", mDestCategory == kDestOperatorParams    ? kDestOperators
                             : mDestCategory == kDestModulatorParams ? kDestModulators
                                                                     : kDestTop);
    switch (mDestCategory) {
        case kDestTop:
            opens("OPERATOR PARAMETER", kDestOperators);
            opens("MODULATOR PARAMETER", kDestModulators);
            opens("SIGNAL PATH", kDestSignalPath);
            opens("MODULATION SLOT", kDestSlots);
            opens("MAIN SECTION", kDestMain);
            leaf("[remove]", kDestinationNone);
            break;
        case kDestOperators:
            for (int s = 0; s < kNumOperatorSlots; ++s)
                opens(format("OPERATOR %d - %s", s + 1, label(operatorTypeLabel(operatorType(mPlugin, s))).c_str()),
                      kDestOperatorParams, s);
            break;
        case kDestModulators:
            for (int s = 0; s < kNumModulatorSlots; ++s)
                opens(format("MODULATOR %d - %s", s + 1, label(modulatorTypeLabel(modulatorType(mPlugin, s))).c_str()),
                      kDestModulatorParams, s);
            break;
        case kDestSignalPath:
            // The routing gains carry the same names as their host parameters.
            for (int e = 0; e < kDestSens - kDestInToOp; ++e) {
                char name[kTextSize];
                engineParameterName(kInToOp1 + e, name);
                leaf(name, kDestInToOp + e);
            }
            break;
        case kDestSlots:
            for (int k = 0; k < kNumModSlots; ++k) leaf(format("SLOT %02d SENSITIVITY", k + 1), kDestSens + k);
            break;
        case kDestMain:
            leaf("MAIN INPUT", kDestMainInput);
            leaf("MAIN MIX", kDestMainMix);
            leaf("MAIN OUTPUT", kDestMainOutput);
            break;
        case kDestOperatorParams:
            moduleParameters(mPlugin->getOperator(mModule), "OP", operatorTypeLabel(operatorType(mPlugin, mModule)),
                             destOpParam(mModule, 0));
            break;
        case kDestModulatorParams:
            moduleParameters(mPlugin->getModulator(mModule), "MOD",
                             modulatorTypeLabel(modulatorType(mPlugin, mModule)), destModParam(mModule, 0));
            break;
    }
    return rows;
}

void CCordWnd::refreshRows() {
    mRows = buildRows();
    mList.setRows(mMode == kSlotList ? kNumModSlots : static_cast<int>(mRows.size()));
    setDirty();
}

std::vector<std::string> CCordWnd::rowTexts() const {
    std::vector<std::string> texts;
    if (mMode == kSlotList) {
        for (int s = 0; s < kNumModSlots; ++s) {
            SlotRow r = slotRow(s);
            texts.push_back(r.number + " " + r.source + " " + r.sens + " " + r.destination);
        }
    } else {
        for (const Row& r : mRows) texts.push_back(r.text);
    }
    return texts;
}

std::string CCordWnd::title() const {
    if (mMode == kSlotList) return "";
    return format(mMode == kSourceBrowser ? "MODULATION SLOT %02d SOURCE" : "MODULATION SLOT %02d DESTINATION", mSlot + 1);
}

CPoint CCordWnd::rowPoint(int row, double x) const {
    return localToFrame(CPoint(mSize.left + x, mList.rowTop(row) + ListScroller::kRow / 2));
}

CRect CCordWnd::exitRect() const { return CRect(mSize.right - 29, mSize.top, mSize.right - 1, mSize.top + kTitleHeight); }

CRect CCordWnd::learnRect() const {
    return CRect(mSize.right - 63, mSize.top, mSize.right - 31, mSize.top + kTitleHeight);
}

CPoint CCordWnd::exitPoint() const { return localToFrame(exitRect().getCenter()); }
CPoint CCordWnd::learnPoint() const { return localToFrame(learnRect().getCenter()); }

bool CCordWnd::offersDestination(int tag) const {
    if (mMode != kDestinationBrowser) return false;
    if (isOpParam(tag)) {
        Operator* op = mPlugin->getOperator(opParamAt(tag).slot);
        return op && op->isModulatable(opParamAt(tag).local);
    }
    if (isModParam(tag)) {
        Modulator* mod = mPlugin->getModulator(modParamAt(tag).slot);
        return mod && mod->isModulatable(modParamAt(tag).local);
    }
    return false;
}

// --- browsing -------------------------------------------------------------------

void CCordWnd::openSourceBrowser(int slot) {
    closeSensField();
    if (mMode == kSlotList) mSlotListScroll = mList.scroll();
    mMode = kSourceBrowser;
    mSlot = slot;
    openCategory(kSourceTop);
    mListener->browserOpened(0);
}

void CCordWnd::openDestinationBrowser(int slot) {
    closeSensField();
    if (mMode == kSlotList) mSlotListScroll = mList.scroll();
    setLearning(false);
    mMode = kDestinationBrowser;
    mSlot = slot;
    openCategory(kDestTop);
    mListener->browserOpened(1);
}

void CCordWnd::openCategory(int category, int module) {
    if (mMode == kSourceBrowser) {
        mSourceCategory = std::clamp(category, 0, static_cast<int>(kSourceControllers));
        // The learn button lives in the controller list only.
        if (mSourceCategory != kSourceControllers) setLearning(false);
    } else if (mMode == kDestinationBrowser) {
        mDestCategory = std::clamp(category, 0, static_cast<int>(kDestModulatorParams));
        mModule = std::clamp(module, 0, 3);
    } else {
        return;
    }
    mList.scrollTo(0);
    refreshRows();
}

void CCordWnd::backToSlotList() {
    setLearning(false);
    closeSensField();
    bool wasBrowsing = mMode != kSlotList;
    mMode = kSlotList;
    refreshRows();
    mList.scrollTo(mSlotListScroll);
    if (wasBrowsing) mListener->browserOpened(-1);
}

void CCordWnd::setLearning(bool on) {
    if (on == isLearning()) return;
    mLearnSlot = on ? mSlot : -1;
    mListener->setMidiLearn(on);
    setDirty();
}

void CCordWnd::chooseRow(int row) {
    if (!inRange(row, 0, static_cast<int>(mRows.size()))) return;
    Row chosen = mRows[row];
    if (chosen.leaf >= 0)
        chooseLeaf(chosen.leaf);
    else if (chosen.category >= 0)
        openCategory(chosen.category, chosen.module);
}

void CCordWnd::chooseLeaf(int leaf) {
    setLearning(false);
    if (mMode == kSourceBrowser)
        mListener->setSlotSource(mSlot, leaf);
    else if (mMode == kDestinationBrowser)
        mListener->setSlotDestination(mSlot, leaf);
    backToSlotList();
}

// --- from the editor --------------------------------------------------------------

void CCordWnd::offerTouch(int tag) {
    if (mMode == kSourceBrowser) {
        if (inRange(tag, kKnob1, kNumKnobs))
            chooseLeaf(kSourceKnob1 + tag - kKnob1);
        else if (inRange(tag, tag::kModButton1, kNumModulatorSlots))
            chooseLeaf(kSourceMod1 + tag - tag::kModButton1);
    } else if (mMode == kDestinationBrowser) {
        if (tag >= kInput && tag <= kOutput)
            chooseLeaf(kDestMainInput + tag - kInput);
        else if (offersDestination(tag))
            chooseLeaf(isOpParam(tag) ? destOpParam(opParamAt(tag).slot, opParamAt(tag).local)
                                      : destModParam(modParamAt(tag).slot, modParamAt(tag).local));
        else if (inRange(tag, tag::kOpButton1, kNumOperatorSlots))
            openCategory(kDestOperatorParams, tag - tag::kOpButton1);
        else if (inRange(tag, tag::kModButton1, kNumModulatorSlots))
            openCategory(kDestModulatorParams, tag - tag::kModButton1);
    }
}

void CCordWnd::controllerLearned(int controller) {
    if (mLearnSlot < 0 || !inRange(controller, 0, kNumControllers)) return;
    int slot = mLearnSlot;
    // The engine has already ended its learn.
    mLearnSlot = -1;
    mListener->setSlotSource(slot, kSourceCc0 + controller);
    if (mMode == kSourceBrowser && mSlot == slot) backToSlotList();
    setDirty();
}

void CCordWnd::engineChanged(int index) {
    // Type changes rename the modules and change their parameter lists.
    if (inRange(index, kOpType1, kNumOperatorSlots) || inRange(index, kModType1, kNumModulatorSlots)) {
        if (mMode != kSlotList) refreshRows();
        setDirty();
    }
    if (inRange(index, kSlotSens1, kNumModSlots) || inRange(index, kSlotSource1, 2 * kNumModSlots) ||
        index == kSlotStatus)
        setDirty();
}

void CCordWnd::idle() {
    // A right-click on a knob takes the engine's learn over.
    if (isLearning() && mPlugin->getLearnTarget() >= 2) {
        mLearnSlot = -1;
        setDirty();
    }
}

// --- pointer ----------------------------------------------------------------------

int CCordWnd::slotAt(const CPoint& where) const {
    if (where.x < mSize.left || where.x >= mSize.left + kDestRight) return -1;
    return mList.rowAt(where.y);
}

void CCordWnd::writeSensitivity(int slot, float value) {
    mListener->setSlotSensitivity(slot, std::clamp(value, 0.0f, 1.0f));
    setDirty();
}

void CCordWnd::slotListDown(const CPoint& where, const CButtonState& buttons) {
    int slot = slotAt(where);
    if (slot < 0) return;
    double x = where.x - mSize.left;
    bool right = buttons.isRightButton();
    if (x >= kSourceLeft && x < kSensLeft) {
        right ? mListener->showSourceModule(slot) : openSourceBrowser(slot);
    } else if (x >= kDestLeft && x < kDestRight) {
        right ? mListener->showDestinationModule(slot) : openDestinationBrowser(slot);
    } else if (x >= kSensLeft && x < kDestLeft) {
        if (right) {
            mListener->setSlotMuteMask(muteMask() ^ (1 << slot));
        } else if (buttons.isDoubleClick()) {
            openSensField(slot);
        } else {
            mEditSlot = slot;
            mDragValue = sensitivity(slot);
            mDrag.begin(where.y, mDragValue, buttons.isShift());
        }
    }
    setDirty();
}

CMouseEventResult CCordWnd::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() && !buttons.isRightButton()) return kMouseEventNotHandled;
    if (buttons.isLeftButton() && mList.barDown(where)) {
        setDirty();
        return mList.isDraggingThumb() ? kMouseEventHandled : kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    if (mMode == kSlotList) {
        slotListDown(where, buttons);
        return mDrag.isActive() ? kMouseEventHandled : kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    if (!buttons.isLeftButton()) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (exitRect().pointInside(where)) {
        backToSlotList();
    } else if (hasLearnButton() && learnRect().pointInside(where)) {
        setLearning(!isLearning());
    } else if (mList.rowsRect().pointInside(where)) {
        chooseRow(mList.rowAt(where.y));
    }
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult CCordWnd::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (mList.barMoved(where)) {
        setDirty();
        return kMouseEventHandled;
    }
    if (!mDrag.isActive() || !buttons.isLeftButton()) return kMouseEventNotHandled;
    float v = mDrag.track(where.y, mDragValue, buttons.isShift());
    // Only real changes reach the host.
    if (v != mDragValue) {
        mDragValue = v;
        writeSensitivity(mEditSlot, v);
    }
    return kMouseEventHandled;
}

CMouseEventResult CCordWnd::onMouseUp(CPoint& where, const CButtonState& buttons) {
    mList.barUp();
    if (mDrag.isActive()) {
        mDrag.end();
        mEditSlot = -1;
        setDirty();
    }
    return kMouseEventHandled;
}

bool CCordWnd::onWheel(const CPoint& where, float distance, const CButtonState& buttons) {
    double x = where.x - mSize.left;
    int slot = mMode == kSlotList && x >= kSensLeft && x < kDestLeft ? slotAt(where) : -1;
    if (slot >= 0) {
        float step = buttons.isShift() ? 0.001f : 0.01f;
        float before = sensitivity(slot);
        float after = std::clamp(before + distance * step, 0.0f, 1.0f);
        if (after != before) writeSensitivity(slot, after);
        return true;
    }
    if (mList.scrollBy(-distance * ListScroller::kRow)) setDirty();
    return true;
}

// --- typed sensitivity ------------------------------------------------------------

void CCordWnd::openSensField(int slot) {
    closeSensField();
    if (!mParent) return;
    mDrag.end();
    mEditSlot = slot;
    double top = mList.rowTop(slot);
    CRect r(mSize.left + kSourceLeft, top - 2, mSize.left + kDestRight, top + ListScroller::kRow + 2);
    float v = sensitivity(slot);
    mSensField = new toolkit::CTextEdit(r, nullptr, -1, format("%d", static_cast<int>(std::lround(v * 200.0f - 100.0f))));
    mSensField->setFont(toolkit::CFontDesc{"DejaVu Sans", 8, false});
    // The field may end its editing (losing the focus) after this view is
    // gone: the callbacks reach the view through mSelf only.
    mSensField->setEditingEndedCallback([self = mSelf, slot](toolkit::CTextEdit* field, bool committed) {
        CCordWnd* view = *self;
        if (!view || view->mSensField != field) return;
        float value;
        if (committed && sensitivityFromText(field->getEditText(), value)) view->writeSensitivity(slot, value);
        // The field is inside its own callback here: remove it afterwards.
        if (toolkit::CFrame* frame = view->getFrame())
            frame->doAfterEventProcessing([self, field] {
                if (*self && (*self)->mSensField == field) (*self)->closeSensField();
            });
        else
            view->closeSensField();
    });
    mParent->addView(mSensField);
    if (!mSensField->beginTextEditing()) closeSensField();
}

void CCordWnd::closeSensField() {
    if (!mSensField) return;
    toolkit::CTextEdit* field = mSensField;
    mSensField = nullptr;
    mEditSlot = -1;
    if (toolkit::CViewContainer* parent = field->getParentView())
        parent->removeView(field, true);
    else
        field->forget();
    setDirty();
}

// --- drawing ----------------------------------------------------------------------

void CCordWnd::draw(CDrawContext* context) {
    context->setFillColor(kLight);
    context->fillRect(mSize);
    // The title line is a dark bar with light text.
    context->setFillColor(kDark);
    context->fillRect(CRect(mSize.left, mSize.top, mSize.right, mSize.top + kTitleHeight));
    if (mMode == kSlotList)
        drawSlotList(context);
    else
        drawBrowser(context);
    mList.drawBar(context, mFont);
    context->setFrameColor(kDark);
    context->drawRect(mSize);
}

void CCordWnd::drawSlotList(CDrawContext* context) {
    const double x0 = mSize.left, titleY = mSize.top + 8;
    CTextPrinter::print(context, mFont, x0 + 1, titleY, "NO", false, true);
    CTextPrinter::print(context, mFont, x0 + kSourceLeft + 2, titleY, "SOURCE", false, true);
    CTextPrinter::print(context, mFont, x0 + kSensLeft + 1, titleY, "SENS", false, true);
    CTextPrinter::print(context, mFont, x0 + kDestLeft + 2, titleY, "DESTINATION", false, true);
    CRect rows = mList.rowsRect();
    for (int s = 0; s < kNumModSlots; ++s) {
        double top = mList.rowTop(s);
        if (top + ListScroller::kRow <= rows.top || top >= rows.bottom) continue;
        double y = top + 8;
        SlotRow row = slotRow(s);
        auto column = [&](double left, double right) {
            CRect c(x0 + left, std::max(top, rows.top), std::min(x0 + right, rows.right), std::min(top + 10, rows.bottom));
            return c;
        };
        printClipped(context, mFont, column(0, kSourceLeft), x0 + 1, y, row.number);
        printClipped(context, mFont, column(kSourceLeft, kSensLeft), x0 + kSourceLeft + 2, y, row.source);
        double sensX = x0 + kDestLeft - 2 - CTextPrinter::width(row.sens.c_str());
        printClipped(context, mFont, column(kSensLeft, kDestLeft), sensX, y, row.sens, s == mEditSlot);
        printClipped(context, mFont, column(kDestLeft, kDestRight), x0 + kDestLeft + 2, y, row.destination);
    }
}

void CCordWnd::drawBrowser(CDrawContext* context) {
    CTextPrinter::print(context, mFont, mSize.left + 2, mSize.top + 8, title().c_str(), false, true);
    auto button = [&](const CRect& r, const char* text, bool lit) {
        context->setFillColor(lit ? kMark : kLight);
        context->fillRect(CRect(r.left, r.top + 1, r.right, r.bottom - 1));
        double x = std::floor(r.getCenter().x - 3.0 * std::char_traits<char>::length(text));
        CTextPrinter::print(context, mFont, x, r.top + 8, text, false, lit, lit);
    };
    button(exitRect(), "EXIT", false);
    if (hasLearnButton()) button(learnRect(), "LEARN", isLearning());

    int current = mMode == kSourceBrowser ? slotSource(mPlugin, mSlot) : slotDestination(mPlugin, mSlot);
    CRect rows = mList.rowsRect();
    for (int i = 0; i < static_cast<int>(mRows.size()); ++i) {
        double top = mList.rowTop(i);
        if (top + ListScroller::kRow <= rows.top || top >= rows.bottom) continue;
        CRect clip(rows.left, std::max(top, rows.top), rows.right, std::min(top + ListScroller::kRow, rows.bottom));
        // The slot's present choice stands out.
        printClipped(context, mFont, clip, rows.left + 3, top + 8, mRows[i].text, mRows[i].leaf == current);
    }
}

// --- the page -----------------------------------------------------------------------

CCordWnd* buildModulationPage(toolkit::CViewContainer* page, Plugin* plugin, CBitmap* font,
                              CControlListener* controls, std::function<void(int which)> browserChanged) {
    // Window rectangles (307, 43)-(524, 174) and (337, 182)-(494, 192), in
    // the page's own coordinates.
    const CPoint origin(307, 43);
    auto* view = new CCordWnd(CRect(307 - origin.x, 43 - origin.y, 524 - origin.x, 174 - origin.y), plugin,
                              std::make_unique<EngineSlotListener>(plugin, std::move(browserChanged)), font);
    page->addView(view);
    static const char* const kPreviewTexts[kPreviewStates] = {"off", "left", "right"};
    auto* preview = new CModuleParamDiscreet(CRect(337 - origin.x, 182 - origin.y, 494 - origin.x, 192 - origin.y),
                                             controls, kModulationPreview, font, kPreviewStates, kPreviewStates,
                                             [](int state) { return std::string(kPreviewTexts[std::clamp(state, 0, 2)]); });
    preview->setLabel("modulation preview");
    preview->setValue(plugin->getParameter(kModulationPreview));
    page->addView(preview);
    return view;
}

}  // namespace vh::editor
