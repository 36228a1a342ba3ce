#pragma once
// Stereo comb filter whose delay is one period of a tunable frequency
// (20 Hz..20 kHz): recirculating ("standard", feedback) or feedforward
// ("inverse"). Each channel has its own line, frequency and depth.

#include "modules/Module.h"
#include "modules/Ramp.h"
#include "operators/DelayRing.h"
#include "modules/LaneRamp.h"

namespace vh {

class Comb final : public Operator {
public:
    enum Param { kFreq = 0, kDepth, kType, kInterpolate, kNumParams };
    enum Type { kFeedback = 0, kFeedforward = 1, kNumTypes = 2 };

    Comb(int slot, ModuleHost* owner);

    // --- parameters ---------------------------------------------------------
    float getParameterDefault(int index) override;
    int getNumParameters() override { return kNumParams; }
    void getParameterName(int index, char* out) override;
    void getParameterLabel(int index, char* out) override;
    void getParameterDisplay(int index, char* out) override;
    void getParameterTitle(int index, char* out) override;
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    bool isModulatable(int index) override { return index == kFreq || index == kDepth; }
    int getParameterSteps(int index) override { return index == kType ? kNumTypes : index == kInterpolate ? kNumInterpolations : 0; }
    void getTypeName(char* out) override { copyText(out, kTextSize, "COMB"); }

    // --- control tick and audio ---------------------------------------------
    void update() override;
    void processSample(float* left, float* right) override;

    // --- reset and rate -----------------------------------------------------
    void resetSmoothing() override;
    void clearState() override;
    void setSampleRate(float rate) override;

    // Comb frequency of the normalised "freq": 20 Hz * 2^(9.965784 v), 20 Hz..20 kHz.
    static float frequencyHz(float v);
    // Inverse of frequencyHz, for typed frequencies (limited to 20 Hz..20 kHz).
    static float valueOfFrequency(double hz);
    // Loop or feedforward gain of the normalised "depth": v^3.
    static float depthGain(float v) { return v * v * v; }

    float delayLeft() const { return mDelayGain.current[0]; }
    float delayRight() const { return mDelayGain.current[1]; }

    static constexpr float kMinHz = 20.0f;
    static constexpr float kMaxHz = 20000.0f;

    // --- what the editor's plot shows ---------------------------------------
    // Measured through the module's own processing.
    PlotKind plotKind() const override { return PlotKind::kResponse; }
    void responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const override;

private:
    template <int Interpolation, int Type>
    void processWith(float* left, float* right);

    StereoDelayRing mLine;
    // Lanes: delay L, delay R (where the ring reads them), gain L, gain R.
    LaneRamp mDelayGain;
    LaneConstants mConstants;
    // Bounds of a cubic read of the line (see processWith).
    static constexpr float kCubicLimit = 4.0f;
    Vec4 mLowerLimit{-kCubicLimit}, mUpperLimit{kCubicLimit};
    int mType = kFeedback;
    int mInterpolation = kInterpolationLinear;
};

}  // namespace vh
