#pragma once
// Step sequencer: up to 16 steps with separate left and right values, a
// tempo-related step length, four transport modes and a running state that
// can itself be modulated.

#include "modules/CoefficientCache.h"
#include "modules/Module.h"
#include "modules/Ramp.h"

namespace vh {

class STEP final : public Modulator {
public:
    static constexpr int kMaxSteps = 16;
    enum Param {
        kLeftStep0 = 0,
        kRightStep0 = 16,
        kSmooth = 32,
        kSteps,
        kGrid,
        kMode,
        kDepth,
        kState,
        kNumParams
    };
    enum Mode { kRestart = 0, kContinue, kSongPos, kOnePass, kNumModes };
    static constexpr int kDefaultGridItem = 7;  // "1/16"

    STEP(int slot, ModuleHost* owner);

    // --- parameters and their texts ---------------------------------------
    // "state" is stored as 0.5 (running) or 0 (stopped), so that a negative
    // modulation stops a running sequencer and +0.5 starts a stopped one.
    void setParameter(int index, float value) override;
    // The step values, "steps", "grid" and "state"; the other texts come
    // from the parameter table.
    void getParameterDisplay(int index, char* out) override;
    // For the step values this is the plot's readout; mode 1 is the text
    // shown while the two rows are linked.
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    void getTypeName(char* out) override { copyText(out, kTextSize, "STEP"); }

    // --- formulas shared by the DSP and the texts --------------------------
    static int stepCountOf(float v) { return discreteIndex(v, kMaxSteps) + 1; }
    static bool isRunning(float stateValue) { return discreteIndex(stateValue, 2) == 1; }

    // --- control rate and audio rate --------------------------------------
    void setTempo(float bpm) override;
    void setSongPosition(float ppq) override;
    void update() override;
    void processSample(float* outLeft, float* outRight) override;

    // --- reset ------------------------------------------------------------
    void resetSmoothing() override;
    void clearState() override;

    // Current step (0-based) and phase within it; the plot marks the step.
    // The step playing now; the editor reads it while audio runs.
    int stepPosition() const { return std::atomic_ref<int>(const_cast<int&>(mPosition)).load(std::memory_order_relaxed); }
    float stepPhase() const { return static_cast<float>(mStepPhase); }
    bool running() const { return mRunning != 0; }

    // --- what the editor's plot shows ---------------------------------------
    PlotKind plotKind() const override { return PlotKind::kSteps; }
    bool isPlotParameter(int index) const override { return index >= kLeftStep0 && index < kSmooth; }
    // The plot's link of the two rows outlives the window: the module keeps it.
    bool plotLinked() const { return mPlotLinked; }
    void setPlotLinked(bool linked) { mPlotLinked = linked; }

private:
    void updatePhaseIncrement();
    void setPosition(int step) { std::atomic_ref<int>(mPosition).store(step, std::memory_order_relaxed); }
    float smoothingCoefficient(CoefficientCache<2>& cache, float smooth) const;

    int mLast = kMaxSteps - 1;
    int mGrid = kDefaultGridItem;
    int mMode = kRestart;
    int mRunning = 1;
    int mPosition = 0;
    // Double precision: a 12/1 step at 30 bpm and 384 kHz advances by about
    // 3e-10 per sample, which a float phase would lose entirely.
    double mStepPhase = 0.0;
    double mPhaseIncrement = 0.0;
    Ramp mCoefL{1.0f}, mCoefR{1.0f};
    Ramp mDepthL{1.0f}, mDepthR{1.0f};
    float mSmoothL = 0.0f, mSmoothR = 0.0f;
    float mTempo = 120.0f;
    CoefficientCache<2> mCoefCacheL, mCoefCacheR;
    bool mPlotLinked = false;
};

}  // namespace vh
