#pragma once
// Phaser: per channel a chain of 1 to 16 identical first-order all-pass
// stages, its output fed back to its input one sample later and added to the
// dry signal. No oscillator of its own: sweeps come from modulation.

#include "modules/LaneRamp.h"
#include "modules/Module.h"
#include "modules/Vec4.h"

namespace vh {

class Phaser final : public Operator {
public:
    enum Param { kStageFeedback = 0, kOverallFeedback, kDepth, kStages, kNumParams };
    static constexpr int kMaxStages = 16;

    Phaser(int slot, ModuleHost* owner);

    float getParameterDefault(int index) override;
    int getNumParameters() override { return kNumParams; }
    void getParameterName(int index, char* out) override;
    void getParameterLabel(int index, char* out) override;
    void getParameterDisplay(int index, char* out) override;
    void getParameterTitle(int index, char* out) override;
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    bool isModulatable(int index) override { return index >= 0 && index < kStages; }
    void getTypeName(char* out) override { copyText(out, kTextSize, "PHASER"); }

    void update() override;
    void processSample(float* left, float* right) override;
    void resetSmoothing() override;
    void clearState() override;
    void setSampleRate(float rate) override;

    static int stagesOf(float v) { return discreteIndex(v, kMaxStages) + 1; }
    // All-pass coefficient a = (1 - c) / (1 + c), c = 220·2^(4v) / fs: the
    // stage corner spans the four octaves above 220 Hz.
    static float allPassCoefficient(float v, float cornerScale);
    // Wet gain: cubic, for a usable fine range at low depths.
    static float depthGainOf(float v) { return v * v * v; }

    // --- what the editor's plot shows ---------------------------------------
    // Measured through the module's own processing.
    PlotKind plotKind() const override { return PlotKind::kResponse; }
    void responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const override;

private:
    // Both channels run side by side in lanes 0 (left) and 1 (right); lanes
    // 2 and 3 stay zero.
    Vec4 mStage[kMaxStages];
    Vec4 mLoop;  // chain output of the previous sample times the loop feedback
    // Smoothed pairs of values (left, right in lanes 0 and 1).
    LaneRamp mCoefficient, mDepth, mFeedback;
    int mNumStages = 8;
    float mCornerScale = 220.0f / 44100.0f;  // 220 Hz as a fraction of the rate
};

}  // namespace vh
