#pragma once
// Two resonant second-order filters, A and B, on the same stereo input with
// a crossfade between their outputs. The four filters (A and B, left and
// right) run side by side in one four-lane vector, so each channel gets its
// own modulated cutoff and resonance.

#include "modules/Module.h"
#include "modules/Vec4.h"
#include "operators/FilterControls.h"

namespace vh {

class Biquad final : public Operator {
public:
    enum Param { kFreqA = 0, kResoA, kTypeA, kFreqB, kResoB, kTypeB, kMorph, kNumParams };

    Biquad(int slot, ModuleHost* owner);

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
    void getTypeName(char* out) override { copyText(out, kTextSize, "BIQUAD"); }

    // Resonance curve shown and typed: 0.7071 at 0 to 100 at 1.
    static float resonanceQ(float v);
    // The notch's own curve, wider: 0.0625 at 0 to 16 at 1.
    static float notchQ(float v);
    static float resonanceValue(double q);

    void update() override;
    void processSample(float* left, float* right) override {
        mCos += mCosInc;
        mAlpha += mAlphaInc;
        mQ += mQInc;
        mMorph += mMorphInc;

        Vec4 x(*right, *left, *right, *left);
        const Coefficients k = coefficients(mWeights, mCos, mAlpha, mQ);
        // Direct form I; the y1 term last keeps the recursion's chain short.
        Vec4 y = k.b0 * x + k.b1 * mX1 + k.b2 * mX2 + k.minusA2 * mY2 + k.minusA1 * mY1;
        mX2 = mX1;
        mX1 = x;
        mY2 = mY1;
        mY1 = y;

        float morphL = mMorph[kLaneALeft];
        float morphR = mMorph[kLaneARight];
        *left = (1.0f - morphL) * y[kLaneALeft] + morphL * y[kLaneBLeft];
        *right = (1.0f - morphR) * y[kLaneARight] + morphR * y[kLaneBRight];
    }
    void resetSmoothing() override;
    void clearState() override;

    // --- what the editor's plot shows ---------------------------------------
    // Curve 0 the morphed output, 1 filter A, 2 filter B, from the
    // coefficients processSample forms at the targets update sets.
    PlotKind plotKind() const override { return PlotKind::kResponse; }
    int responseCurves() const override { return 3; }
    void responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const override;

private:
    // Lane order of every vector.
    using Lane = filter::MorphLane;
    static constexpr Lane kLaneBRight = filter::kLaneBRight, kLaneBLeft = filter::kLaneBLeft,
                          kLaneARight = filter::kLaneARight, kLaneALeft = filter::kLaneALeft;

    // Per-lane weights selecting the response type:
    // b0, b2 = (edgeBase + edgeSlope c +- bandWeight Q alpha) n, b1 = (midBase + midSlope c) n.
    struct TypeWeights {
        Vec4 edgeBase, edgeSlope, midBase, midSlope, bandWeight;
    };
    static TypeWeights typeWeights(filter::FilterType typeA, filter::FilterType typeB);
    // Targets of cos w, alpha = sin w / 2Q and Q of the four lanes.
    struct Tuning {
        Vec4 cos, alpha, q;
    };
    static Tuning tuning(const float* modL, const float* modR, filter::FilterType typeA, filter::FilterType typeB,
                         float sampleRate);
    // Direct-form coefficients, the feedback ones negated.
    struct Coefficients {
        Vec4 b0, b1, b2, minusA1, minusA2;
    };
    static Coefficients coefficients(const TypeWeights& w, Vec4 cos, Vec4 alpha, Vec4 q) {
        Vec4 n = Vec4(1.0f) / (Vec4(1.0f) + alpha);
        // Numerator coefficients of all four response types as one linear
        // form in cos w; the per-lane weights pick the type.
        Vec4 band = q * alpha * w.bandWeight;
        Vec4 edge = mulAdd(w.edgeSlope, cos, w.edgeBase);
        return {(edge + band) * n, mulAdd(w.midSlope, cos, w.midBase) * n, (edge - band) * n, (cos + cos) * n,
                (alpha - Vec4(1.0f)) * n};
    }

    // Filter history.
    Vec4 mX1, mX2, mY1, mY2;
    // Smoothed cos w, alpha = sin w / 2Q, Q and morph (morph only in the A lanes).
    Vec4 mCos, mCosTarget, mCosInc;
    Vec4 mAlpha, mAlphaTarget, mAlphaInc;
    Vec4 mQ, mQTarget, mQInc;
    Vec4 mMorph, mMorphTarget, mMorphInc;
    TypeWeights mWeights;
    filter::FilterType mTypeA = filter::kLowPass;
    filter::FilterType mTypeB = filter::kLowPass;
};

}  // namespace vh
