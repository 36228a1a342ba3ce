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
        for (int pass = 0; pass < 2; ++pass) {
            mS1 += mG * (x - feedback * mY - mS1);
            mS2 += mG * (mS1 - mS2);
            mS3 += mG * (mS2 - mS3);
            mS4 += mG * (mS3 - mS4);
            mY = mS4 + mP4;
            mP4 = mS4;
        }
        // (4 r + 1) times the mean: makes up the feedback's loss at DC.
        Vec4 y = (feedback + Vec4(0.5f)) * mY;
        *left = y[kLaneLeft];
        *right = y[kLaneRight];
    }
    void resetSmoothing() override;
    void clearState() override;

private:
    // Lanes 0 and 1 carry nothing.
    enum Lane { kLaneRight = 2, kLaneLeft = 3 };

    Vec4 mS1, mS2, mS3, mS4, mP4, mY;
    // Smoothed one-pole gain g and resonance r.
    Vec4 mG, mGTarget, mGInc;
    Vec4 mR, mRTarget, mRInc;
};

}  // namespace vh
