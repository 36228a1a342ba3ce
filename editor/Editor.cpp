#include "editor/Editor.h"

#include <algorithm>
#include <cstring>

#include "editor/CordPage.h"
#include "editor/EditorConversions.h"
#include "editor/LibraryPage.h"
#include "editor/MatrixPage.h"
#include "editor/ModulePanel.h"
#include "editor/Plots.h"
#include "editor/WindowZoom.h"
#include "engine/Plugin.h"
#include "modules/ModuleTypes.h"
#include "toolkit/COffscreenWindow.h"
#include "toolkit/CXcbWindow.h"

namespace vh::editor {

using namespace param;
using toolkit::CViewContainer;

namespace {

const CRect kModPanelRect(64, 55, 282, 205);
const CRect kOpPanelRect(548, 55, 766, 205);
const CRect kPageRect(307, 43, 524, 217);
// Where a click counts as a touch of the shown module (a little larger than
// the panels, so their frames and selectors count too).
const CRect kModTouchRect(63, 40, 285, 213);
const CRect kOpTouchRect(546, 40, 770, 213);

constexpr double kMainKnobX[3] = {308, 366, 424};
constexpr double kNameKnobX[kNumKnobs] = {66, 124, 181, 239, 548, 606, 664, 722};
constexpr double kKnobY = 237;
constexpr double kOpButtonX[4] = {548, 588, 697, 737};
constexpr double kModButtonX[4] = {63, 103, 212, 252};
constexpr double kPageButtonX[4] = {494, 345, 454, 305};
constexpr double kButtonY = 12;

// Learn targets of the MIDI controller assignments: knobs 1..8 are 2..9,
// Input, Mix and Output 10..12.
int learnTargetOfTag(int tag) { return tag <= kOutput ? tag + 9 : tag - 2; }
int tagOfLearnTarget(int target) {
    if (target >= 2 && target <= 9) return target + 2;
    if (target >= 10 && target <= 12) return target - 9;
    return -1;
}

// Tags whose edits are stored without telling the host.
bool isPlainTag(int tag) {
    return tag == kPpqOffset || inRange(tag, kOpBypass1, kNumOperatorSlots + kNumModulatorSlots) || tag == kOutLimiter || tag == kTempoSync ||
           tag == kOpLrMs || tag == kOpInv || tag == kMeterHold || tag == kMeterFalloff || tag == kSaveAsDefault ||
           tag == kModulationPreview || tag == kReportLatency;
}
}  // namespace

CMouseEventResult HalyxFrame::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (buttons.isLeftButton() && mEditor) {
        if (kModTouchRect.pointInside(where))
            mEditor->panelTouched(-1);
        else if (kOpTouchRect.pointInside(where))
            mEditor->panelTouched(-2);
    }
    return CFrame::onMouseDown(where, buttons);
}

Editor::Editor(Plugin* plugin, std::string settingsFolder)
    : AEffGUIEditor(plugin),
      mPlugin(plugin),
      mSettings(std::move(settingsFolder)),
      mMatrix(std::make_unique<MatrixPage>(plugin, this)) {
    updateRect();
    for (auto& v : mPending) v.store(0.0f, std::memory_order_relaxed);
    for (auto& f : mPendingFlag) f.store(false, std::memory_order_relaxed);
}

Editor::~Editor() { close(); }

// --- host ---------------------------------------------------------------------

void Editor::resolveZoom(bool askScreen) {
    if (mZoomStep >= 0) return;
    if (auto stored = storedZoomStep(mSettings)) {
        mZoomStep = *stored;
    } else if (askScreen) {
        std::optional<double> dpi = mDpiSource ? mDpiSource() : toolkit::CXcbWindow::readXftDpi("");
        mZoomStep = dpi ? nearestZoomStep(*dpi / kBaseDpi) : 0;
    }
    updateRect();
}

void Editor::updateRect() {
    double zoom = zoomFactor(zoomStep());
    mRect = vst::ERect{0, 0, static_cast<int16_t>(toolkit::devicePixels(kWindowHeight, zoom)),
                       static_cast<int16_t>(toolkit::devicePixels(kWindowWidth, zoom))};
}

bool Editor::getRect(vst::ERect** rect) {
    // Hosts ask before they open the window, to size theirs.
    resolveZoom(true);
    return AEffGUIEditor::getRect(rect);
}

bool Editor::setZoomPercent(int percent) {
    std::optional<int> step = zoomStepOfPercent(percent);
    if (!step) return false;
    setZoomStep(*step);
    return true;
}

void Editor::setZoomStep(int step) {
    step = std::clamp(step, 0, kNumZoomSteps - 1);
    mZoomStep = step;
    updateRect();
    if (CControl* c = controlForTag(tag::kWindowZoom)) c->setValue(discreteValue(step, kNumZoomSteps));
    if (!mFrame) return;
    double zoom = zoomFactor(step);
    if (mFrame->getZoom() == zoom) return;
    mArt->setScale(zoom);
    mFrame->setZoom(zoom);
    // The host's window must follow; a host that cannot resize leaves the
    // editor cut off or framed, which is all it can do.
    mPlugin->sizeWindow(mRect.right - mRect.left, mRect.bottom - mRect.top);
}

namespace {
toolkit::CKeyCode keyCodeOf(const vst::VstKeyCode& key) {
    toolkit::CKeyCode k;
    if (key.modifier & vst::MODIFIER_SHIFT) k.modifiers |= toolkit::kShift;
    if (key.modifier & vst::MODIFIER_ALTERNATE) k.modifiers |= toolkit::kAlt;
    if (key.modifier & (vst::MODIFIER_CONTROL | vst::MODIFIER_COMMAND)) k.modifiers |= toolkit::kControl;
    switch (key.virt) {
        case 0: break;
        case vst::VKEY_BACK: k.virt = toolkit::kVkBack; return k;
        case vst::VKEY_TAB: k.virt = toolkit::kVkTab; return k;
        case vst::VKEY_RETURN: k.virt = toolkit::kVkReturn; return k;
        case vst::VKEY_ENTER: k.virt = toolkit::kVkEnter; return k;
        case vst::VKEY_ESCAPE: k.virt = toolkit::kVkEscape; return k;
        case vst::VKEY_LEFT: k.virt = toolkit::kVkLeft; return k;
        case vst::VKEY_RIGHT: k.virt = toolkit::kVkRight; return k;
        case vst::VKEY_UP: k.virt = toolkit::kVkUp; return k;
        case vst::VKEY_DOWN: k.virt = toolkit::kVkDown; return k;
        case vst::VKEY_HOME: k.virt = toolkit::kVkHome; return k;
        case vst::VKEY_END: k.virt = toolkit::kVkEnd; return k;
        case vst::VKEY_DELETE: k.virt = toolkit::kVkDelete; return k;
        case vst::VKEY_SPACE: k.character = ' '; return k;
        case vst::VKEY_MULTIPLY: k.character = '*'; return k;
        case vst::VKEY_ADD: k.character = '+'; return k;
        case vst::VKEY_SUBTRACT: k.character = '-'; return k;
        case vst::VKEY_DECIMAL: k.character = '.'; return k;
        case vst::VKEY_DIVIDE: k.character = '/'; return k;
        case vst::VKEY_EQUALS: k.character = '='; return k;
        default:
            if (key.virt >= vst::VKEY_NUMPAD0 && key.virt <= vst::VKEY_NUMPAD0 + 9) {
                k.character = U'0' + (key.virt - vst::VKEY_NUMPAD0);
                return k;
            }
            // Function keys, Shift alone and the like: nothing to type.
            return k;
    }
    if (key.character >= 32 && key.character <= 126) k.character = static_cast<char32_t>(key.character);
    return k;
}
}  // namespace

bool Editor::onKeyDown(vst::VstKeyCode& key) {
    // Without an open field the keys are the host's (its shortcuts).
    if (!mFrame || !mFrame->isOpen() || !mFrame->getFocusView()) return false;
    // The field's window has the keyboard itself: this press reaches it from
    // the window system too, and must not be typed twice.
    if (toolkit::CPlatformWindow* window = mFrame->getPlatformWindow(); window && window->receivesKeysDirectly())
        return true;
    toolkit::CKeyCode k = keyCodeOf(key);
    if (!k.character && !k.virt) return false;  // function keys and the like stay the host's
    bool used = mFrame->platformOnKeyDown(k);
    // Shown at once, not at the next idle: hosts forward keys between idles.
    applyPending();
    mFrame->redrawDirty();
    return used;
}

bool Editor::onKeyUp(vst::VstKeyCode&) { return mFrame && mFrame->getFocusView() != nullptr; }

bool Editor::open(void* parent) {
    Plugin::ModuleReadSection section(*mPlugin);
    // A second open without a close (some hosts re-parent) starts afresh.
    close();
    // Without the host's window there is nothing to live in.
    if (!parent) return false;
    resolveZoom(true);
    if (!build()) return false;
    if (!mFrame->open(parent)) {
        teardown();
        return false;
    }
    mSystemWindow = parent;
    mFrame->invalidAll();
    idle();
    return true;
}

bool Editor::openOffscreen() {
    Plugin::ModuleReadSection section(*mPlugin);
    close();
    // Off screen there is no screen to ask: the chosen or saved zoom, or 100 %.
    resolveZoom(false);
    if (!build()) return false;
    if (!mFrame->openOffscreen()) {
        teardown();
        return false;
    }
    mSystemWindow = mFrame;
    mFrame->invalidAll();
    idle();
    return true;
}

void Editor::close() {
    if (!mFrame) return;
    Plugin::ModuleReadSection section(*mPlugin);
    teardown();
    mSystemWindow = nullptr;
}

bool Editor::renderToPng(const char* path) {
    if (!path) return false;
    Plugin::ModuleReadSection section(*mPlugin);
    bool wasOpen = isOpen();
    if (!wasOpen && !openOffscreen()) return false;
    for (int i = 0; i < 3; ++i) idle();
    mFrame->invalidAll();
    mFrame->redrawDirty();
    bool ok = mFrame->writePng(path);
    if (!wasOpen) close();
    return ok;
}

// Every step the host gives the window reads modules inside a section.
void Editor::idle() {
    if (!mFrame) return;
    Plugin::ModuleReadSection section(*mPlugin);
    applyPending();
    mFrame->idle();
    // Edits made by this idle's events come back from the engine at once;
    // show them in the same step.
    if (applyPending()) mFrame->redrawDirty();
}

bool Editor::build() {
    double zoom = zoomFactor(zoomStep());
    mArt = std::make_unique<Artwork>(zoom);
    mFrame = new HalyxFrame(CRect(0, 0, kWindowWidth, kWindowHeight), this);
    mFrame->setZoom(zoom);
    mFrame->setBackground(mArt->background);
    if (mClock) mFrame->setClock(mClock);
    mByTag.fill(nullptr);

    auto* power = new toolkit::CVerticalSwitch(CRect(CPoint(487, 234), kSwitchWidth, kSwitchHeight / 2), this, kPower,
                                               2, kSwitchHeight / 2.0, mArt->powerSwitch);
    mFrame->addView(power);
    registerControl(power);

    for (int k = 0; k < 3; ++k) {
        auto* knob = new CMyKnob(CRect(CPoint(kMainKnobX[k], kKnobY), kKnobSize, kKnobSize), this, kInput + k, mArt->knob);
        if (k == 1)
            knob->setTextEntry([](float v) { return mixText(v); },
                               [](const std::string& t, float& v) { return mixFromText(t, v); });
        else
            knob->setTextEntry([](float v) { return gainText(v); },
                               [](const std::string& t, float& v) { return gainFromText(t, v); });
        knob->onLearn = [this](CMyKnob* k2) { startLearn(k2); };
        mFrame->addView(knob);
        registerControl(knob);
        mMainKnobs[k] = knob;
    }
    for (int k = 0; k < kNumKnobs; ++k) {
        auto* knob = new CMyNameKnob(CPoint(kNameKnobX[k], kKnobY), this, kKnob1 + k, mArt->knob, mArt->font);
        knob->setTextEntry([](float v) { return percentText(v); },
                           [](const std::string& t, float& v) {
                               float m;
                               if (!mixFromText(t, m)) return false;
                               v = m;
                               return true;
                           });
        knob->onLearn = [this](CMyKnob* k2) { startLearn(k2); };
        mFrame->addView(knob);
        registerControl(knob);
        mNameKnobs[k] = knob;
    }
    for (int s = 0; s < 4; ++s) {
        auto* op = new CModuleButton(CRect(CPoint(kOpButtonX[s], kButtonY), kModuleButtonWidth, kModuleButtonFrameHeight),
                                     this, tag::kOpButton1 + s, mArt->moduleButtons[4 + s]);
        mFrame->addView(op);
        mOpButtons[s] = op;
        auto* mod = new CModuleButton(CRect(CPoint(kModButtonX[s], kButtonY), kModuleButtonWidth, kModuleButtonFrameHeight),
                                      this, tag::kModButton1 + s, mArt->moduleButtons[s]);
        mFrame->addView(mod);
        mModButtons[s] = mod;
        auto* page = new toolkit::CMovieButton(CRect(CPoint(kPageButtonX[s], kButtonY), kModuleButtonWidth,
                                                     kModuleButtonFrameHeight),
                                               this, tag::kPageButton1 + s, kModuleButtonFrameHeight, mArt->pageButtons[s]);
        mFrame->addView(page);
        mPageButtons[s] = page;
    }
    mOpSelector = new CTypeSelector(CRect(549, 43, 766, 54), this, kOpType1, mArt->font, true, 184);
    mFrame->addView(mOpSelector);
    mModSelector = new CTypeSelector(CRect(65, 43, 282, 54), this, kModType1, mArt->font, false, 104);
    mFrame->addView(mModSelector);

    const CPoint meterAt[4] = {{65, 304}, {65, 319}, {548, 304}, {548, 319}};
    for (int i = 0; i < 4; ++i) {
        mMeters[i] = new CMeter(CRect(meterAt[i], kMeterWidth, kMeterRowHeight), mArt->meter);
        mFrame->addView(mMeters[i]);
    }
    mMeters[0]->setPartner(mMeters[1]);
    mMeters[1]->setPartner(mMeters[0]);
    mMeters[2]->setPartner(mMeters[3]);
    mMeters[3]->setPartner(mMeters[2]);
    mInfo = new CInfo(CRect(296, 300, 526, 335), mArt->font);
    mFrame->addView(mInfo);

    // Values changed while the window was closed are read afresh below.
    for (auto& f : mPendingFlag) f.store(false, std::memory_order_relaxed);
    mAnyPending.store(false);
    mLearnEndedPending.store(false);
    mRefreshPending.store(false);
    mLearnedController.store(-1);
    mShownPage = -1;
    mPulse = 0;
    mLastPulseMs = mLastBlinkMs = mFrame->getTimeMs();
    readAll();

    mPlugin->setListener(this);
    mTimer = std::make_unique<toolkit::CTimer>(mFrame, kIdleIntervalMs, [this](toolkit::CTimer*) { idleStep(); });
    return true;
}

void Editor::teardown() {
    // The engine must not reach a half-destroyed window.
    mPlugin->setListener(nullptr);
    mTimer.reset();
    if (mFrame) {
        mFrame->close();
        mFrame->removeAll();
        mFrame->forget();
        mFrame = nullptr;
    }
    mByTag.fill(nullptr);
    std::fill(std::begin(mMainKnobs), std::end(mMainKnobs), nullptr);
    std::fill(std::begin(mNameKnobs), std::end(mNameKnobs), nullptr);
    std::fill(std::begin(mOpButtons), std::end(mOpButtons), nullptr);
    std::fill(std::begin(mModButtons), std::end(mModButtons), nullptr);
    std::fill(std::begin(mPageButtons), std::end(mPageButtons), nullptr);
    std::fill(std::begin(mMeters), std::end(mMeters), nullptr);
    mOpSelector = mModSelector = nullptr;
    mPage = mOpPanel = mModPanel = nullptr;
    mLibrary = nullptr;
    mInfo = nullptr;
    mCord = nullptr;
    mMatrix->clear();
    mOpPlot = mModPlot = nullptr;
    mShownPage = -1;
    mArt.reset();
}

void Editor::readAll() {
    for (int index : {kPower, kInput, kMix, kOutput, kTempo, kPpqOffset, kOutLimiter, kTempoSync})
        if (CControl* c = controlForTag(index)) c->setValue(mPlugin->getParameter(index));
    for (int k = 0; k < kNumKnobs; ++k) {
        mNameKnobs[k]->setValue(mPlugin->getParameter(kKnob1 + k));
        refreshKnobName(k);
    }
    refreshAssignments();
    for (int i = 0; i < 4; ++i) {
        mMeters[i]->setHold(mPlugin->getParameter(kMeterHold));
        mMeters[i]->setFalloff(mPlugin->getParameter(kMeterFalloff));
    }
    for (int s = 0; s < 4; ++s) {
        mOpButtons[s]->setBypassed(mPlugin->getParameter(kOpBypass1 + s) >= 0.5f);
        mModButtons[s]->setBypassed(mPlugin->getParameter(kModBypass1 + s) >= 0.5f);
    }
    applyParameter(kCurrOp, mPlugin->getParameter(kCurrOp));
    applyParameter(kCurrMod, mPlugin->getParameter(kCurrMod));
    applyParameter(kCurrMain, mPlugin->getParameter(kCurrMain));
}

// --- engine -------------------------------------------------------------------

void Editor::parameterChanged(int index, float value) {
    if (index < 0 || index >= kNumIndices) return;
    mPending[index].store(value, std::memory_order_relaxed);
    mPendingFlag[index].store(true, std::memory_order_release);
    mAnyPending.store(true, std::memory_order_release);
}

bool Editor::applyPending() {
    bool any = false;
    if (mAnyPending.exchange(false, std::memory_order_acq_rel)) {
        for (int i = 0; i < kNumIndices; ++i) {
            if (!mPendingFlag[i].exchange(false, std::memory_order_acq_rel)) continue;
            applyParameter(i, mPending[i].load(std::memory_order_relaxed));
            any = true;
        }
    }
    if (mRefreshPending.exchange(false, std::memory_order_acq_rel)) {
        for (int k = 0; k < kNumKnobs; ++k) refreshKnobName(k);
        refreshAssignments();
        any = true;
    }
    // Before the end of learning: the controller is what the page waits for.
    int learned = mLearnedController.exchange(-1, std::memory_order_acq_rel);
    if (learned >= 0 && mCord) {
        mCord->controllerLearned(learned);
        any = true;
    }
    if (mLearnEndedPending.exchange(false, std::memory_order_acq_rel)) {
        for (auto* k : mMainKnobs) k->setBlink(false);
        for (auto* k : mNameKnobs) k->setBlink(false);
        any = true;
    }
    return any;
}

void Editor::applyParameter(int index, float v) {
    if (!mFrame) return;
    if (inRange(index, kKnob1, kNumKnobs)) {
        mNameKnobs[index - kKnob1]->setValue(v);
    } else if (inRange(index, kOpType1, kNumOperatorSlots)) {
        if (index - kOpType1 == mCurrOp) {
            refreshSelector(false);
            buildModulePanel(false);
        }
    } else if (inRange(index, kModType1, kNumModulatorSlots)) {
        if (index - kModType1 == mCurrMod) {
            refreshSelector(true);
            buildModulePanel(true);
        }
    } else if (inRange(index, kOpBypass1, kNumOperatorSlots)) {
        mOpButtons[index - kOpBypass1]->setBypassed(v >= 0.5f);
        if (index - kOpBypass1 == mCurrOp) mOpSelector->setBypassed(v >= 0.5f);
    } else if (inRange(index, kModBypass1, kNumModulatorSlots)) {
        mModButtons[index - kModBypass1]->setBypassed(v >= 0.5f);
        if (index - kModBypass1 == mCurrMod) mModSelector->setBypassed(v >= 0.5f);
    } else if (inRange(index, kSlotSource1, kNumModSlots)) {
        refreshAssignments();
    } else if (inRange(index, kKnobNames, kNumKnobs * kKnobNameLength)) {
        refreshKnobName((index - kKnobNames) / kKnobNameLength);
    } else if (index == kCurrOp || index == kCurrMod) {
        bool modulator = index == kCurrMod;
        int current = discreteIndex(v, 4);
        (modulator ? mCurrMod : mCurrOp) = current;
        CModuleButton** buttons = modulator ? mModButtons : mOpButtons;
        for (int s = 0; s < 4; ++s) buttons[s]->setValue(s == current ? 1.0f : 0.0f);
        refreshSelector(modulator);
        buildModulePanel(modulator);
    } else if (index == kCurrMain) {
        int page = discreteIndex(v, 4);
        for (int p = 0; p < 4; ++p) mPageButtons[p]->setValue(p == page ? 1.0f : 0.0f);
        if (page != mShownPage) buildPage(page);
    } else if (index == kMeterHold || index == kMeterFalloff) {
        for (auto* m : mMeters) index == kMeterHold ? m->setHold(v) : m->setFalloff(v);
    }
    mMatrix->parameterChanged(index, v);
    // Any control showing the index follows it (main knobs, preferences,
    // module panels, the routing page).
    if (index != kCurrOp && index != kCurrMod && index != kCurrMain && !inRange(index, kKnob1, kNumKnobs))
        if (CControl* c = controlForTag(index)) c->setValue(v);
    if (mCord) mCord->engineChanged(index);
    redrawSwitchedTexts(index);
}

namespace {
template <class Module>
void redrawTextsSwitchedBy(const Editor& editor, Module* module, int local, int firstTag) {
    if (!module) return;
    for (int j = 0; j < module->getNumParameters(); ++j)
        if (module->getParameterTextSwitch(j) == local)
            if (CControl* c = editor.controlForTag(firstTag + j)) c->setDirty();
}
}  // namespace

void Editor::redrawSwitchedTexts(int index) {
    int op = opParam(mCurrOp, 0), mod = modParam(mCurrMod, 0);
    if (inRange(index, op, kOperatorParams))
        redrawTextsSwitchedBy(*this, mPlugin->getOperator(mCurrOp), index - op, op);
    else if (inRange(index, mod, kModulatorParams))
        redrawTextsSwitchedBy(*this, mPlugin->getModulator(mCurrMod), index - mod, mod);
}

// --- idle step ----------------------------------------------------------------

void Editor::idleStep() {
    if (!mFrame) return;
    uint64_t now = mFrame->getTimeMs();
    if (tempoLocked())
        if (CControl* tempo = controlForTag(kTempo)) tempo->setValue(mPlugin->getCurrentTempoValue());

    if (mLibrary) mLibrary->idle();

    float peaks[4];
    mPlugin->readMeters(peaks);
    for (int i = 0; i < 4; ++i) mMeters[i]->feed(peaks[i], now);

    int learnTag = tagOfLearnTarget(mPlugin->getLearnTarget());
    if (now - mLastBlinkMs >= kBlinkMs) {
        mLastBlinkMs = now;
        mBlinkPhase = !mBlinkPhase;
    }
    if (learnTag >= 0) {
        if (auto* k = knob(learnTag)) k->setBlink(mBlinkPhase);
    } else {
        // Learning may also end without a word to the editor (a preset or
        // another window cleared the target).
        for (auto* k : mMainKnobs) k->setBlink(false);
        for (auto* k : mNameKnobs) k->setBlink(false);
    }

    if (now - mLastPulseMs >= kIdleIntervalMs) {
        mLastPulseMs = now;
        mPulse = (mPulse + 1) % 20;
        for (int s = 0; s < 4; ++s) {
            mOpButtons[s]->setPulse(mPulse);
            mModButtons[s]->setPulse(mPulse);
        }
        mOpSelector->setPulse(mPulse);
        mModSelector->setPulse(mPulse);
        mMatrix->setPulse(mPulse);
    }
    if (mCord) mCord->idle();
    if (mOpPlot) mOpPlot->refresh();
    if (mModPlot) mModPlot->refresh();
}

int Editor::modulationPreviewMode() const { return discreteIndex(mPlugin->getParameter(kModulationPreview), 3); }

bool Editor::tempoLocked() const { return discreteIndex(mPlugin->getParameter(kTempoSync), 4) == 1; }

void Editor::startLearn(CMyKnob* k) {
    for (auto* m : mMainKnobs) m->setBlink(false);
    for (auto* n : mNameKnobs) n->setBlink(false);
    mPlugin->setLearnTarget(learnTargetOfTag(k->getTag()));
    mBlinkPhase = true;
    mLastBlinkMs = mFrame->getTimeMs();
    k->setBlink(true);
}

// --- listener -----------------------------------------------------------------

void Editor::valueChanged(CControl* control) {
    int t = control->getTag();
    float v = control->getValue();
    if (t == kTempo && tempoLocked()) {
        control->setValue(mPlugin->getCurrentTempoValue());
        return;
    }
    if (inRange(t, kOpType1, kNumOperatorSlots) || inRange(t, kModType1, kNumModulatorSlots)) {
        mPlugin->setParameterAutomated(t, v);
        bool modulator = inRange(t, kModType1, kNumModulatorSlots);
        mPlugin->restoreRememberedParameters(modulator, t - (modulator ? kModType1 : kOpType1));
        return;
    }
    if (isOpParam(t)) {
        auto [s, i] = opParamAt(t);
        if (Operator* op = mPlugin->getOperator(s)) op->valueChanged(i, v);
        return;
    }
    if (isModParam(t)) {
        auto [s, i] = modParamAt(t);
        if (Modulator* mod = mPlugin->getModulator(s)) mod->valueChanged(i, v);
        return;
    }
    if (inRange(t, tag::kOpButton1, kNumOperatorSlots)) {
        mPlugin->setParameter(kCurrOp, discreteValue(t - tag::kOpButton1, 4));
        return;
    }
    if (inRange(t, tag::kModButton1, kNumModulatorSlots)) {
        mPlugin->setParameter(kCurrMod, discreteValue(t - tag::kModButton1, 4));
        return;
    }
    if (inRange(t, tag::kPageButton1, 4)) {
        mPlugin->setParameter(kCurrMain, discreteValue(t - tag::kPageButton1, 4));
        return;
    }
    if (t == tag::kPredefinedRouting) {
        mPlugin->applyPredefinedRouting(discreteIndex(v, kNumPredefinedRoutings));
        return;
    }
    if (t == tag::kMatrixView) {
        mMatrix->setView(discreteIndex(v, 2));
        buildPage(0);
        return;
    }
    if (t == tag::kWindowZoom) {
        // After the click is over: the window and its pictures change size.
        int step = discreteIndex(v, kNumZoomSteps);
        mFrame->doAfterEventProcessing([this, step] { setZoomStep(step); });
        return;
    }
    // The zoom is the editor's own preference; it is saved with the engine's.
    if (t == kSaveAsDefault) (void)storeZoomStep(mSettings, zoomStep());
    if (isPlainTag(t)) {
        mPlugin->setParameter(t, v);
        return;
    }
    if (t >= 0 && t < kNumAutomatable) mPlugin->setParameterAutomated(t, v);
}

void Editor::controlBeginEdit(CControl* control) {
    int t = control->getTag();
    if (t >= 0 && t < kNumAutomatable && !isPlainTag(t)) mPlugin->beginEdit(t);
    if (isOpParam(t))
        if (Operator* op = mPlugin->getOperator(opParamAt(t).slot)) op->setEditing(true);
    if (isModParam(t))
        if (Modulator* mod = mPlugin->getModulator(modParamAt(t).slot)) mod->setEditing(true);
}

void Editor::controlEndEdit(CControl* control) {
    int t = control->getTag();
    if (t >= 0 && t < kNumAutomatable && !isPlainTag(t)) mPlugin->endEdit(t);
    if (isOpParam(t))
        if (Operator* op = mPlugin->getOperator(opParamAt(t).slot)) op->setEditing(false);
    if (isModParam(t))
        if (Modulator* mod = mPlugin->getModulator(modParamAt(t).slot)) mod->setEditing(false);
}

int32_t Editor::controlModifierClicked(CControl* control, CButtonState buttons) {
    int t = control->getTag();
    if (!buttons.isControl()) return 0;
    int bypassTag = inRange(t, tag::kOpButton1, kNumOperatorSlots)    ? kOpBypass1 + (t - tag::kOpButton1)
                    : inRange(t, tag::kModButton1, kNumModulatorSlots) ? kModBypass1 + (t - tag::kModButton1)
                                                      : -1;
    if (bypassTag < 0) return 0;
    mPlugin->setParameter(bypassTag, mPlugin->getParameter(bypassTag) >= 0.5f ? 0.0f : 1.0f);
    return 1;
}

void Editor::panelTouched(int which) {
    mLastTouched = which == -1 ? tag::kModButton1 + mCurrMod : tag::kOpButton1 + mCurrOp;
    if (mCord) mCord->offerTouch(mLastTouched);
}

// While a browser of the modulation page is open, a touched control may be
// what it learns.
void Editor::controlClicked(CControl* control, CButtonState) {
    if (mCord) mCord->offerTouch(control->getTag());
}

void Editor::markDestinations() {
    bool browsing = mCord && mCord->mode() == CCordWnd::kDestinationBrowser;
    for (int s = 0; s < kNumOperatorSlots; ++s)
        if (Operator* op = mPlugin->getOperator(s)) op->setDestinationHighlight(browsing);
    for (int s = 0; s < kNumModulatorSlots; ++s)
        if (Modulator* mod = mPlugin->getModulator(s)) mod->setDestinationHighlight(browsing);
    for (CViewContainer* panel : {mOpPanel, mModPanel})
        for (int i = 0; panel && i < panel->getNbViews(); ++i)
            if (auto* p = dynamic_cast<CModuleParam*>(panel->getView(i)))
                p->setMarked(mCord && mCord->offersDestination(p->getTag()));
}

// --- lookups ------------------------------------------------------------------

void Editor::registerControl(CControl* control) {
    int t = control->getTag();
    if (t >= 0 && t < static_cast<int>(mByTag.size())) mByTag[t] = control;
}

void Editor::registerChildren(CViewContainer* container) {
    for (int i = 0; i < container->getNbViews(); ++i)
        if (auto* c = dynamic_cast<CControl*>(container->getView(i))) registerControl(c);
}

void Editor::unregisterChildren(CViewContainer* container) {
    for (int i = 0; i < container->getNbViews(); ++i)
        if (auto* c = dynamic_cast<CControl*>(container->getView(i))) {
            int t = c->getTag();
            if (t >= 0 && t < static_cast<int>(mByTag.size()) && mByTag[t] == c) mByTag[t] = nullptr;
        }
}

CControl* Editor::controlForTag(int t) const {
    return t >= 0 && t < static_cast<int>(mByTag.size()) ? mByTag[t] : nullptr;
}

CMyKnob* Editor::knob(int t) const {
    if (t >= kInput && t <= kOutput) return mMainKnobs[t - kInput];
    if (inRange(t, kKnob1, kNumKnobs)) return mNameKnobs[t - kKnob1];
    return nullptr;
}

CModuleButton* Editor::moduleButton(int t) const {
    if (inRange(t, tag::kOpButton1, kNumOperatorSlots)) return mOpButtons[t - tag::kOpButton1];
    if (inRange(t, tag::kModButton1, kNumModulatorSlots)) return mModButtons[t - tag::kModButton1];
    return nullptr;
}

// --- knobs, selectors ---------------------------------------------------------

void Editor::refreshAssignments() {
    bool assigned[kNumKnobs] = {};
    for (int s = 0; s < kNumModSlots; ++s) {
        int source = discreteIndex(mPlugin->getParameter(kSlotSource1 + s), kNumSources);
        if (inRange(source, kSourceKnob1, kNumKnobs)) assigned[source - kSourceKnob1] = true;
    }
    for (int k = 0; k < kNumKnobs; ++k) mNameKnobs[k]->setAssigned(assigned[k]);
}

void Editor::refreshKnobName(int k) {
    if (k < 0 || k >= kNumKnobs) return;
    std::string name;
    for (int i = 0; i < kKnobNameLength; ++i) {
        int c = discreteIndex(mPlugin->getParameter(kKnobNames + kKnobNameLength * k + i), 128);
        if (c == 0) break;
        name += c < 32 ? ' ' : static_cast<char>(c);
    }
    mNameKnobs[k]->setName(name);
    // An empty name takes the knob's default one.
    mNameKnobs[k]->setAssigned(mNameKnobs[k]->isAssigned());
}

void Editor::refreshSelector(bool modulator) {
    CTypeSelector* selector = modulator ? mModSelector : mOpSelector;
    int slot = modulator ? mCurrMod : mCurrOp;
    int typeTag = (modulator ? kModType1 : kOpType1) + slot;
    int bypassTag = (modulator ? kModBypass1 : kOpBypass1) + slot;
    if (mByTag[selector->getTag()] == selector) mByTag[selector->getTag()] = nullptr;
    selector->setTag(typeTag);
    mByTag[typeTag] = selector;
    selector->setValue(mPlugin->getParameter(typeTag));
    selector->setBypassed(mPlugin->getParameter(bypassTag) >= 0.5f);
}

// --- module panels and pages --------------------------------------------------

void Editor::buildModulePanel(bool modulator) {
    CViewContainer*& panel = modulator ? mModPanel : mOpPanel;
    CModulePlot*& plot = modulator ? mModPlot : mOpPlot;
    plot = nullptr;
    if (panel) {
        unregisterChildren(panel);
        mFrame->removeView(panel, true);
        panel = nullptr;
    }
    panel = new CViewContainer(modulator ? kModPanelRect : kOpPanelRect);
    panel->setBackgroundColor(kLight);
    mFrame->addView(panel);
    plot = ModulePanel::build(panel, mPlugin, modulator, modulator ? mCurrMod : mCurrOp, this, mArt->font,
                              [this](CControl* c) { registerControl(c); });
    // The first picture at once, not at the next timer tick.
    if (plot) plot->refresh();
    markDestinations();
}

void Editor::buildPage(int page) {
    if (mPage) {
        mCord = nullptr;
        unregisterChildren(mPage);
        mFrame->removeView(mPage, true);
        mPage = nullptr;
        mLibrary = nullptr;
    }
    mMatrix->clear();
    mShownPage = page;
    mPage = new CViewContainer(kPageRect);
    mPage->setBackgroundColor(kLight);
    mFrame->addView(mPage);
    static const char* const kTitles[4] = {"OP ROUTING", "LIBRARY", "PREFERENCES", "MOD ROUTING"};
    // The routing page's tabs stand where the other pages show their title.
    if (page == 0)
        mMatrix->build(mPage, mArt->font, [this](CControl* c) { registerControl(c); });
    else
        mPage->addView(new CModuleText(CRect(0, 2, kPageRect.getWidth(), 13), mArt->font, kTitles[page], CModuleText::kCentre));
    if (page == 1) {
        auto report = [this](const std::string& a, const std::string& b, bool error) {
            if (mInfo) mInfo->setMessage(a, b, error);
        };
        mLibrary = new CLibWnd(CPoint(0, 0), mPlugin, mArt->font, report, mFileRunner);
        mPage->addView(mLibrary);
    }
    if (page == 2) buildPreferences(mPage);
    if (page == 3) {
        mCord = buildModulationPage(mPage, mPlugin, mArt->font, this, [this](int) { markDestinations(); });
        registerChildren(mPage);
    }
    markDestinations();
    mFrame->invalidRect(kPageRect);
}

void Editor::buildPreferences(CViewContainer* page) {
    const double left = 6, right = kPageRect.getWidth() - 6;
    // Four groups and the save line fill the page: headings sit 3 pixels
    // below the group before them.
    double y = 16;
    constexpr double kRow = 11;
    constexpr double kHeadingGap = 3;
    auto heading = [&](const char* text) {
        y += kHeadingGap;
        page->addView(new CModuleText(CRect(left, y, right, y + kRow), mArt->font, text));
        y += kRow;
    };
    auto add = [&](CControl* control) {
        control->setValue(mPlugin->getParameter(control->getTag()));
        page->addView(control);
        registerControl(control);
        y += kRow;
    };
    auto row = [&]() { return CRect(left + 6, y, right, y + kRow); };

    heading("OUTPUT PEAK LIMITER:");
    auto* limiter = new CModuleParamDiscreet(row(), this, kOutLimiter, mArt->font, 16, 4, limiterText);
    limiter->setLabel("limiting mode");
    add(limiter);
    auto* latency = new CModuleParamDiscreet(row(), this, kReportLatency, mArt->font, 2, 2, tempoSyncText);
    latency->setLabel("report latency");
    add(latency);

    heading("GLOBAL TEMPO SETTINGS:");
    add(new CModuleParam(row(), this, kTempo, mArt->font, "current tempo", [](float v, int) { return tempoText(v); },
                         [](const std::string& t, float& v, int) { return tempoFromText(t, v); }));
    auto* sync = new CModuleParamDiscreet(row(), this, kTempoSync, mArt->font, 4, 2, tempoSyncText);
    sync->setLabel("lock tempo to host");
    add(sync);
    add(new CModuleParam(row(), this, kPpqOffset, mArt->font, "song position offset",
                         [](float v, int) { return ppqOffsetText(v); },
                         [](const std::string& t, float& v, int) { return ppqOffsetFromText(t, v); }));

    heading("METERING:");
    add(new CModuleParam(row(), this, kMeterFalloff, mArt->font, "fallback speed",
                         [](float v, int) { return falloffText(v); },
                         [](const std::string& t, float& v, int) { return falloffFromText(t, v); }));
    add(new CModuleParam(row(), this, kMeterHold, mArt->font, "peak hold time", [](float v, int) { return holdText(v); },
                         [](const std::string& t, float& v, int) { return holdFromText(t, v); }));

    heading("WINDOW:");
    auto* zoom = new CModuleParamDiscreet(row(), this, tag::kWindowZoom, mArt->font, kNumZoomSteps, kNumZoomSteps,
                                          [](int step) { return zoomText(step); });
    zoom->setLabel("window zoom");
    page->addView(zoom);
    registerControl(zoom);
    zoom->setValue(discreteValue(zoomStep(), kNumZoomSteps));
    y += kRow;

    y += kHeadingGap;
    auto* save = new CModuleParamDiscreet(CRect(left + 6, y, right, y + kRow), this, kSaveAsDefault, mArt->font, 2, 2,
                                          [](int) { return std::string("SAVE AS DEFAULT"); });
    save->setLabel("");
    add(save);
}

}  // namespace vh::editor
