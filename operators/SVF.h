#pragma once
// Two resonant state-variable filters, A and B, on the same stereo input with
// a crossfade between their outputs. Each is the two-integrator (Chamberlin)
// structure run at four times the sample rate; the response type only picks
// which of its outputs (low, band, notch, high) is heard, so switching types
// never disturbs the filter. Resonance reaches self-oscillation.

#include "modules/Module.h"
#include "modules/Ramp.h"
#include "modules/Vec4.h"
#include "operators/FilterControls.h"

namespace vh {

class SVF final : public Operator {
public:
    enum Param { kFreqA = 0, kResoA, kTypeA, kFreqB, kResoB, kTypeB, kMorph, kNumParams };

    SVF(int slot, ModuleHost* owner);

    float getParameterDefault(int index) override;
    int getNumParameters() override { return kNumParams; }
    void getParameterName(int index, char* out) override;
    void getParameterLabel(int index, char* out) override;
    void getParameterDisplay(int index, char* out) override;
    void getParameterTitle(int index, char* out) override { getParameterName(index, out); }
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    bool isModulatable(int index) override;
    int getParameterSteps(int index) override { return (index == kTypeA || index == kTypeB) ? filter::kNumFilterTypes : 0; }
    void getTypeName(char* out) override { copyText(out, kTextSize, "SVF"); }

    // Damping d = 2 (1 - v^(1/4)): 2 (Q 0.5) at 0, 0 (no decay) at 1.
    static float damping(float v);
    // The same for four values in 0..1 at once.
    static Vec4 dampings(Vec4 v);
    // Resonance text: "oo" near the top, else Q = 1/d with two decimals.
    static void resonanceText(float v, char* out);
    static float resonanceValue(double q);

    void update() override;
    void processSample(float* left, float* right) override {
        mF += mFInc;
        mD += mDInc;
        float morphL = mMorphL.next();
        float morphR = mMorphR.next();

        Vec4 x(*right, *left, *right, *left);
        Vec4 fx = mF * x;
        Vec4 fd = mF * mD;
        Vec4 sumLow, sumBand, sumNotch;
        // Four steps per sample with the same input: the four-times rate keeps
        // F below 0.7 at 20 kHz and 44.1 kHz, well inside the stable region.
        for (int step = 0; step < 4; ++step) {
            Vec4 notch = x - mD * mBand;
            mLow += mF * mBand;
            // band + F high, regrouped so only F low waits for the new low:
            // the recursion stays two shears (exact at d = 0), with a shorter chain.
            mBand = ((mBand - fd * mBand) + fx) - mF * mLow;
            sumLow += mLow;
            sumBand += mBand;
            sumNotch += notch;
        }
        // high = notch - low at every step, so its sum needs no sum of its own.
        Vec4 sumHigh = sumNotch - sumLow;
        // One-hot weights of 1/4 per lane: the average of the output each filter reads.
        Vec4 y = mLowWeight * sumLow + mBandWeight * sumBand + mNotchWeight * sumNotch + mHighWeight * sumHigh;

        *left = (1.0f - morphL) * y[kLaneALeft] + morphL * y[kLaneBLeft];
        *right = (1.0f - morphR) * y[kLaneARight] + morphR * y[kLaneBRight];
    }
    void resetSmoothing() override;
    void clearState() override;

    // --- what the editor's plot shows ---------------------------------------
    // Curve 0 the morphed output, 1 filter A, 2 filter B, measured through the module's own processing.
    PlotKind plotKind() const override { return PlotKind::kResponse; }
    int responseCurves() const override { return 3; }
    void responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const override;

private:
    using Lane = filter::MorphLane;
    static constexpr Lane kLaneBRight = filter::kLaneBRight, kLaneBLeft = filter::kLaneBLeft,
                          kLaneARight = filter::kLaneARight, kLaneALeft = filter::kLaneALeft;

    void setOutputWeights(int laneRight, int laneLeft, filter::FilterType type);

    // Filter state; notch and high are recomputed every step from low and band.
    Vec4 mLow, mBand;
    // Smoothed frequency coefficient F = 2 sin(pi f / 4 fs) and damping d.
    Vec4 mF, mFTarget, mFInc;
    Vec4 mD{2.0f}, mDTarget{2.0f}, mDInc;
    Vec4 mLowWeight, mBandWeight, mNotchWeight, mHighWeight;
    Ramp mMorphL, mMorphR;
    filter::FilterType mTypeA = filter::kLowPass;
    filter::FilterType mTypeB = filter::kLowPass;
};

}  // namespace vh
