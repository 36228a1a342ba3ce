#pragma once
// The plug-in's window. It draws nothing itself: it builds the views of the
// main panel, the two module panels and the current page, keeps them in step
// with the engine's parameters and turns gestures into parameter changes.
// Everything that must survive closing the window lives in engine
// parameters; the editor only mirrors it.

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "editor/Artwork.h"
#include "editor/Controls.h"
#include "engine/EngineListener.h"
#include "modules/ParameterLayout.h"
#include "platform/SettingsStore.h"
#include "toolkit/CFileSelector.h"
#include "toolkit/CFrame.h"
#include "vst/AEffEditor.h"

namespace vh {
class Plugin;
}

namespace vh::editor {

// Editor-only command tags (above the engine's parameter indices).
namespace tag {
constexpr int kOpButton1 = 422;    // ..425
constexpr int kPageButton1 = 426;  // ..429
constexpr int kModButton1 = 430;   // ..433
constexpr int kWindowZoom = 439;   // the zoom steps on a 6-step scale
}  // namespace tag

class Editor;
class CLibWnd;
class CCordWnd;
class MatrixPage;
class CModulePlot;

// The frame with one extra behaviour: a left click on a module panel's
// surroundings counts as a touch of that panel's module button.
class HalyxFrame : public toolkit::CFrame {
public:
    HalyxFrame(const CRect& size, Editor* editor) : CFrame(size), mEditor(editor) {}
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

private:
    Editor* mEditor;
};

class Editor final : public vst::AEffGUIEditor, public EngineListener, public CControlListener {
public:
    static constexpr int kIdleIntervalMs = 50;
    static constexpr int kBlinkMs = 500;

    // settingsFolder: where the per-user settings live (the engine's).
    explicit Editor(Plugin* plugin, std::string settingsFolder = SettingsStore::userFolder());
    ~Editor() override;

    // --- host ---------------------------------------------------------------
    // The window's size at its zoom.
    bool getRect(vst::ERect** rect) override;
    bool open(void* parent) override;
    void close() override;
    void idle() override;
    bool isOpen() const override { return mFrame != nullptr; }
    bool renderToPng(const char* path) override;
    bool onKeyDown(vst::VstKeyCode& key) override;
    bool onKeyUp(vst::VstKeyCode& key) override;
    bool setZoomPercent(int percent) override;

    // --- zoom ---------------------------------------------------------------
    // The zoom step shown (0 = 100 %, see WindowZoom.h). Until the user or
    // the saved default chose one, the first real window takes the screen's
    // Xft.dpi.
    int zoomStep() const { return mZoomStep >= 0 ? mZoomStep : 0; }
    // Redraws an open window at the step and asks the host for the new size.
    void setZoomStep(int step);
    // Where the screen's resolution comes from (tests answer in its place);
    // by default the X server's Xft.dpi.
    void setDpiSource(std::function<std::optional<double>()> source) { mDpiSource = std::move(source); }

    // Off screen, for tests and screenshots.
    bool openOffscreen();
    HalyxFrame* getFrame() const { return mFrame; }
    // The clock the next opened frame runs on (tests drive time by hand).
    void setClock(std::function<uint64_t()> clock) { mClock = std::move(clock); }
    const Artwork* artwork() const { return mArt.get(); }
    // How the library page's file selector starts its program (tests answer
    // in its place); empty for zenity.
    void setFileSelectorRunner(toolkit::CCommandRunner runner) { mFileRunner = std::move(runner); }

    // --- engine (any thread: values are only stored) --------------------------
    void parameterChanged(int index, float value) override;
    void learnEnded() override { mLearnEndedPending.store(true, std::memory_order_release); }
    void refresh() override { mRefreshPending.store(true, std::memory_order_release); }
    void learnController(int controller) override {
        mLearnedController.store(controller, std::memory_order_release);
    }
    int modulationPreviewMode() const override;

    // --- controls -----------------------------------------------------------
    void valueChanged(CControl* control) override;
    void controlBeginEdit(CControl* control) override;
    void controlEndEdit(CControl* control) override;
    int32_t controlModifierClicked(CControl* control, CButtonState buttons) override;
    void controlClicked(CControl* control, CButtonState buttons) override;
    void panelTouched(int buttonTag);
    int lastTouchedButton() const { return mLastTouched; }

    // --- what tests look at -------------------------------------------------
    CControl* controlForTag(int tag) const;
    CMyKnob* knob(int tag) const;
    CModuleButton* moduleButton(int tag) const;
    CTypeSelector* operatorSelector() const { return mOpSelector; }
    CTypeSelector* modulatorSelector() const { return mModSelector; }
    CMeter* meter(int i) const { return mMeters[i]; }
    int currentPage() const { return mShownPage; }
    toolkit::CViewContainer* pageView() const { return mPage; }
    toolkit::CViewContainer* operatorPanel() const { return mOpPanel; }
    toolkit::CViewContainer* modulatorPanel() const { return mModPanel; }
    CModulePlot* operatorPlot() const { return mOpPlot; }
    CModulePlot* modulatorPlot() const { return mModPlot; }
    int pulse() const { return mPulse; }
    CLibWnd* libraryPage() const { return mLibrary; }
    CInfo* info() const { return mInfo; }
    CCordWnd* cordView() const { return mCord; }
    MatrixPage* matrixPage() const { return mMatrix.get(); }

private:
    bool build();
    void teardown();
    // Fixes the zoom step if nothing did yet: the saved default, else (when
    // askScreen) the screen's resolution.
    void resolveZoom(bool askScreen);
    void updateRect();
    void idleStep();
    bool applyPending();
    void applyParameter(int index, float value);
    void readAll();
    void buildPage(int page);
    void buildPreferences(toolkit::CViewContainer* page);
    void buildModulePanel(bool modulator);
    void refreshAssignments();
    // Marks for redraw the shown module's controls whose text unit follows `index`.
    void redrawSwitchedTexts(int index);
    void refreshKnobName(int knob);
    void refreshSelector(bool modulator);
    void startLearn(CMyKnob* knob);
    void registerControl(CControl* control);
    void unregisterChildren(toolkit::CViewContainer* container);
    void registerChildren(toolkit::CViewContainer* container);
    // Module parameters the open destination browser would take are marked.
    void markDestinations();
    bool tempoLocked() const;

    Plugin* mPlugin;
    SettingsStore mSettings;
    int mZoomStep = -1;
    std::function<std::optional<double>()> mDpiSource;
    std::function<uint64_t()> mClock;
    std::unique_ptr<Artwork> mArt;
    HalyxFrame* mFrame = nullptr;
    std::unique_ptr<toolkit::CTimer> mTimer;

    // Values from the engine, applied on the user-interface thread at idle.
    std::array<std::atomic<float>, param::kNumIndices> mPending;
    std::array<std::atomic<bool>, param::kNumIndices> mPendingFlag;
    std::atomic<bool> mAnyPending{false};
    std::atomic<bool> mLearnEndedPending{false};
    std::atomic<bool> mRefreshPending{false};
    std::atomic<int> mLearnedController{-1};

    std::array<CControl*, param::kNumIndices + 16> mByTag{};
    CMyKnob* mMainKnobs[3] = {};
    CMyNameKnob* mNameKnobs[kNumKnobs] = {};
    CModuleButton* mOpButtons[kNumOperatorSlots] = {};
    CModuleButton* mModButtons[kNumModulatorSlots] = {};
    toolkit::CMovieButton* mPageButtons[4] = {};
    CTypeSelector* mOpSelector = nullptr;
    CTypeSelector* mModSelector = nullptr;
    CMeter* mMeters[4] = {};
    toolkit::CViewContainer* mPage = nullptr;
    toolkit::CViewContainer* mOpPanel = nullptr;
    toolkit::CViewContainer* mModPanel = nullptr;
    CLibWnd* mLibrary = nullptr;
    CInfo* mInfo = nullptr;
    toolkit::CCommandRunner mFileRunner;
    CCordWnd* mCord = nullptr;
    // The routing page's views and the view it shows, kept while closed.
    std::unique_ptr<MatrixPage> mMatrix;
    CModulePlot* mOpPlot = nullptr;
    CModulePlot* mModPlot = nullptr;

    int mShownPage = -1;
    int mCurrOp = 0;
    int mCurrMod = 0;
    int mPulse = 0;
    uint64_t mLastPulseMs = 0;
    uint64_t mLastBlinkMs = 0;
    bool mBlinkPhase = false;
    int mLastTouched = -1;
};

}  // namespace vh::editor
