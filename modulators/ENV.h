#pragma once
// Envelope detector: follows the level of one of the engine's tapped signals
// with sensitivity, attack/release, peak or RMS detection and a stereo link.

#include <array>

#include "modules/CoefficientCache.h"
#include "modules/Module.h"
#include "modules/Ramp.h"

namespace vh {

class ENV final : public Modulator {
public:
    enum Param { kSens = 0, kAttack, kRelease, kLink, kMode, kSource, kDepth, kNumParams };
    static constexpr int kNumModes = 2;  // 0 peak, 1 RMS
    // About 30 ms per point, 213 points: some 6.4 s of level history.
    static constexpr int kHistorySize = PlotHistory::kSize;

    ENV(int slot, ModuleHost* owner);

    // --- parameters and their texts ---------------------------------------
    float getParameterDefault(int index) override;
    int getNumParameters() override { return kNumParams; }
    void getParameterName(int index, char* out) override;
    void getParameterLabel(int index, char* out) override;
    void getParameterDisplay(int index, char* out) override;
    void getParameterTitle(int index, char* out) override;
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    bool isModulatable(int index) override {
        return (index >= kSens && index <= kLink) || index == kDepth;
    }
    int getParameterSteps(int index) override { return index == kMode ? kNumModes : index == kSource ? kNumTaps : 0; }
    void getTypeName(char* out) override { copyText(out, kTextSize, "ENV"); }

    // --- formulas shared by the DSP and the texts --------------------------
    // Input gain 16 * v^4: -oo..+24.1 dB, unity at 0.5.
    static float sensGain(float v) { return 16.0f * v * v * v * v; }
    // Attack and release time constant in seconds: v^3 (0..1 s).
    static float timeSeconds(float v) { return v * v * v; }
    // One-pole coefficient of a time constant; 0 s is instant.
    static float onePoleCoefficient(float seconds, float sampleRate);
    // The same from a normalised time value, recomputed only on change.
    float timeCoefficient(CoefficientCache<2>& cache, float v) const;

    // --- control rate and audio rate --------------------------------------
    void setSampleRate(float rate) override;
    bool readsTaps() const override { return true; }
    void setInputs(const float* left, const float* right) override {
        mInputL = left[mSource];
        mInputR = right[mSource];
    }
    void update() override;
    void processSample(float* outLeft, float* outRight) override;

    // --- reset ------------------------------------------------------------
    void resetSmoothing() override;
    void clearState() override;

    // --- display history (read by the editor's plot) -----------------------
    // Rings of peak outputs, one point per ticksPerHistoryPoint() control
    // ticks; historyPosition() is the point written last.
    const float* historyLeft() const { return mHistory.left(); }
    const float* historyRight() const { return mHistory.right(); }
    int historyPosition() const { return mHistory.position(); }
    int ticksPerHistoryPoint() const { return mHistory.ticksPerPoint(); }
    // Sensitised input level of each channel at the last control tick.
    float inputLevelLeft() const { return mLevelL; }
    float inputLevelRight() const { return mLevelR; }

    // --- what the editor's plot shows ---------------------------------------
    PlotKind plotKind() const override { return PlotKind::kHistory; }
    const PlotHistory* plotHistory() const override { return &mHistory; }

private:
    float mSensL = 1.0f, mSensR = 1.0f;
    float mAttackL = 1.0f, mAttackR = 1.0f;
    float mReleaseL = 1.0f, mReleaseR = 1.0f;
    Ramp mDepthL{1.0f}, mDepthR{1.0f};
    int mMode = 0;
    int mSource = kTapInput;
    float mInputL = 0.0f, mInputR = 0.0f;
    float mStateL = 0.0f, mStateR = 0.0f;
    float mOutL = 0.0f, mOutR = 0.0f;

    PlotHistory mHistory;
    float mLevelL = 0.0f, mLevelR = 0.0f;
    // Attack left, attack right, release left, release right.
    CoefficientCache<2> mTimeCache[4];
};

}  // namespace vh
