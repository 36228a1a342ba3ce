#pragma once
// Two-band equaliser: bands A and B, each a low shelf, peaking filter or high
// shelf (audio-EQ cookbook forms), run side by side and crossfaded by morph.
// The four filters (A and B, left and right) share one four-lane vector path;
// left and right follow their own modulated values.

#include "modules/Module.h"
#include "modules/Vec4.h"
#include "operators/EqMath.h"

namespace vh {

class EQ final : public Operator {
public:
    enum Param { kFreqA = 0, kQA, kTypeA, kFreqB, kQB, kTypeB, kMorph, kGainA, kGainB, kNumParams };
    enum BandType { kLowShelf = 0, kPeaking = 1, kHighShelf = 2, kNumBandTypes = 3 };

    EQ(int slot, ModuleHost* owner);

    float getParameterDefault(int index) override;
    int getNumParameters() override { return kNumParams; }
    void getParameterName(int index, char* out) override;
    void getParameterLabel(int index, char* out) override;
    void getParameterDisplay(int index, char* out) override;
    // The editor titles are the host names.
    void getParameterTitle(int index, char* out) override {
        if (index >= 0 && index < kNumParams)
            getParameterName(index, out);
        else
            out[0] = 0;
    }
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    bool isModulatable(int index) override;
    int getParameterSteps(int index) override { return (index == kTypeA || index == kTypeB) ? kNumBandTypes : 0; }
    void getTypeName(char* out) override { copyText(out, kTextSize, "EQ"); }

    void update() override;
    void processSample(float* left, float* right) override;
    void resetSmoothing() override;
    void clearState() override;

    static int bandTypeOf(float v) { return discreteIndex(v, kNumBandTypes); }
    // Band Q: 0.05..20 for the peaking filter, 0.354..1.414 for the shelves.
    static float qOf(float v, int bandType);
    static float valueOfQ(double q, int bandType);
    // Band gain, -24..+24 dB.
    static float gainDbOf(float v) { return 48.0f * v - 24.0f; }
    // Band frequencies as the filter uses them, four knob values at once: the
    // knob's frequency, held just below half the sample rate where the knob
    // reaches beyond it.
    static Vec4 filterFrequencyHz(Vec4 v, float sampleRate);

    // --- what the editor's plot shows ---------------------------------------
    // Curve 0 the morphed output, 1 band A, 2 band B, measured through the module's own processing.
    PlotKind plotKind() const override { return PlotKind::kResponse; }
    int responseCurves() const override { return 3; }
    void responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const override;

private:
    // A smoothed four-lane quantity: per-sample linear glide to the target.
    struct Glide {
        Vec4 current, target, increment;
        void aim(float rampFactor) { increment = (target - current) * Vec4(rampFactor); }
        void snap() { current = target; increment = Vec4(); }
    };

    // The four lanes' transfer functions, as the coefficients of a
    // trapezoidal state-variable filter: g = tan(w/2) scaled by the band's
    // corner, damping k, and the mix m0·input + m1·band-pass + m2·low-pass.
    struct Coefficients {
        Vec4 g, k, m0, m1, m2;
    };
    static Coefficients coefficientsOf(const int (&laneTypes)[4], Vec4 tanHalfW, Vec4 inverseQ, Vec4 sqrtA);

    int typeParamOf(int index) const;
    void setTargets(const Coefficients& c);
    struct LaneOutput {
        double y, dIc1, dIc2;
    };
    LaneOutput laneOutput(int lane, double x, bool ahead) const;
    void carryOutputOver(int lane, double oldOutput);

    // Lanes: 0 B right, 1 B left, 2 A right, 3 A left. The cookbook shelves
    // and peaking filter are the bilinear transforms of analog prototypes, so
    // a trapezoidal state-variable filter realises them exactly. Unlike the
    // direct form, whose single-precision rounding noise a pole pair near DC
    // lifts to -60 dB (a 20 Hz band at Q 20), its integrator states keep the
    // noise near -100 dB at 20 Hz in single precision.
    Vec4 mIc1, mIc2;
    // The last input, for carrying the output over a type change.
    Vec4 mX1;
    Glide mG, mK, mM0, mM1, mM2;
    // Crossfade weight of each lane's output: morph for the B lanes, 1 - morph
    // for the A lanes, so both channels mix with one multiply.
    Glide mWeight;
    // Per lane, the band setting aimed at by the last control tick.
    Vec4 mTanHalfW, mInverseQ, mSqrtA;
    // Per lane, the knob values those were computed from (none at first:
    // NaN equals nothing), and the rate.
    struct LaneKnobs {
        float freq = __builtin_nanf(""), q = __builtin_nanf(""), gain = __builtin_nanf("");
        int type = -1;
    };
    LaneKnobs mKnobs[4];
    float mKnobRate = 0.0f;
    int mTypeA = kLowShelf;
    int mTypeB = kLowShelf;
    bool mGliding = false;
};

}  // namespace vh
