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

    // Names, units, defaults and lists come from the morphing filters'
    // shared parameter table; the texts are these.
    void getParameterDisplay(int index, char* out) override;
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
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
        Vec4 n = Vec4(1.0f) / (Vec4(1.0f) + mAlpha);
        // Numerator coefficients of all four response types as one linear
        // form in cos w; the per-lane weights pick the type.
        Vec4 band = mQ * mAlpha * mBandWeight;
        Vec4 edge = mulAdd(mEdgeSlope, mCos, mEdgeBase);
        Vec4 b0 = (edge + band) * n;
        Vec4 b1 = mulAdd(mMidSlope, mCos, mMidBase) * n;
        Vec4 b2 = (edge - band) * n;
        Vec4 minusA1 = (mCos + mCos) * n;
        Vec4 minusA2 = (mAlpha - Vec4(1.0f)) * n;
        // Direct form I; the y1 term last keeps the recursion's chain short.
        Vec4 y = b0 * x + b1 * mX1 + b2 * mX2 + minusA2 * mY2 + minusA1 * mY1;
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

private:
    // Lane order of every vector.
    using Lane = filter::MorphLane;
    static constexpr Lane kLaneBRight = filter::kLaneBRight, kLaneBLeft = filter::kLaneBLeft,
                          kLaneARight = filter::kLaneARight, kLaneALeft = filter::kLaneALeft;

    void setTypeWeights(int laneRight, int laneLeft, filter::FilterType type);

    // Filter history.
    Vec4 mX1, mX2, mY1, mY2;
    // Smoothed cos w, alpha = sin w / 2Q, Q and morph (morph only in the A lanes).
    Vec4 mCos, mCosTarget, mCosInc;
    Vec4 mAlpha, mAlphaTarget, mAlphaInc;
    Vec4 mQ, mQTarget, mQInc;
    Vec4 mMorph, mMorphTarget, mMorphInc;
    // Per-lane weights selecting the response type:
    // b0, b2 = (edgeBase + edgeSlope c +- bandWeight Q alpha) n, b1 = (midBase + midSlope c) n.
    Vec4 mEdgeBase, mEdgeSlope, mMidBase, mMidSlope, mBandWeight;
    filter::FilterType mTypeA = filter::kLowPass;
    filter::FilterType mTypeB = filter::kLowPass;
};

}  // namespace vh
