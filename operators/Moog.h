#pragma once
// Four-pole low-pass ladder: four one-pole stages in series with negative
// feedback from the last stage to the input, polynomial tuning corrections
// that keep cutoff and resonance calibrated across the range, twofold
// oversampling, and an output gain that rises with resonance so the pass
// band stays at unity. Left and right run in two lanes of one vector, each
// with its own modulated cutoff and emphasis. The stages are linear.

#include "modules/Module.h"
#include "modules/Vec4.h"
#include "operators/FilterControls.h"

namespace vh {

class Moog final : public Operator {
public:
    enum Param { kCutoff = 0, kEmphasis, kNumParams };

    Moog(int slot, ModuleHost* owner);

    float getParameterDefault(int index) override { return index == kCutoff ? 1.0f : 0.0f; }
    int getNumParameters() override { return kNumParams; }
    void getParameterName(int index, char* out) override;
    void getParameterLabel(int index, char* out) override;
    void getParameterDisplay(int index, char* out) override;
    void getParameterTitle(int index, char* out) override { getParameterName(index, out); }
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    bool isModulatable(int index) override { return index == kCutoff || index == kEmphasis; }
    void getTypeName(char* out) override { copyText(out, kTextSize, "MOOG"); }

    // Emphasis as shown and typed: 0 to 10.
    static float emphasisShown(float v) { return 10.0f * v; }
    static float emphasisValue(double shown);

    void update() override;
    void processSample(float* left, float* right) override {
        mG += mGInc;
        mR += mRInc;

        Vec4 x(0.0f, 0.0f, *right, *left);
        // 2 r y is 4 r times the mean of the last two stage-4 outputs.
        Vec4 feedback = mR + mR;
        // Each stage s += g (in - s) written as h s + g in with h = 1 - g; the
        // feedback term -gF s4 (gF = 2 r g) is carried through the later
        // stages as -g^k gF s4, so within a pass no stage waits for the one
        // before it to finish, only for its partial sum. The last stage takes
        // the first stage's output directly, as g^3 a plus its share of the
        // old states: the loop from stage 4 back into stage 1 then waits for
        // two multiply-adds per pass instead of four.
        const Vec4 g = mG;
        const Vec4 hold = Vec4(1.0f) - g;
        const Vec4 gx = g * x;
        const Vec4 gh = g * hold;
        const Vec4 g2h = g * gh;
        const Vec4 g3 = g * g * g;
        const Vec4 c1 = g * feedback;
        const Vec4 c2 = g * c1;
        const Vec4 c3 = g * c2;
        const Vec4 h4 = hold - g * c3;  // h - c4: stage 4's own weight
        // The states stay in locals through both passes and go back to the
        // object once, so no pass waits for a store to come back as a load.
        Vec4 s1 = mS1, s2 = mS2, s3 = mS3, s4 = mS4, p4 = mP4;
        for (int pass = 0; pass < 2; ++pass) {
            const Vec4 a = hold * s1 + (gx - c1 * p4);
            const Vec4 b = hold * s2 + g * a;
            const Vec4 c = hold * s3 + g * b;
            const Vec4 d = (h4 * s4 + gh * s3 + g2h * s2) + g3 * a;
            p4 = s4;
            s1 = a - c1 * s4;
            s2 = b - c2 * s4;
            s3 = c - c3 * s4;
            s4 = d;
        }
        mS1 = s1;
        mS2 = s2;
        mS3 = s3;
        mS4 = s4;
        mP4 = p4;
        Vec4 sum = s4 + p4;
        // (4 r + 1) times the mean: makes up the feedback's loss at DC.
        Vec4 y = (feedback + Vec4(0.5f)) * sum;
        *left = y[kLaneLeft];
        *right = y[kLaneRight];
    }
    void resetSmoothing() override;
    void clearState() override;

    // --- what the editor's plot shows ---------------------------------------
    // Measured through the module's own processing.
    PlotKind plotKind() const override { return PlotKind::kResponse; }
    void responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const override;

private:
    // Lanes 0 and 1 carry nothing.
    enum Lane { kLaneRight = 2, kLaneLeft = 3 };

    // The four stages and the previous stage-4 output.
    Vec4 mS1, mS2, mS3, mS4, mP4;
    // Smoothed one-pole gain g and resonance r.
    Vec4 mG, mGTarget, mGInc;
    Vec4 mR, mRTarget, mRInc;
};

}  // namespace vh
