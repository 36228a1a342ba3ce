#pragma once
// Equal-power crossfade between the operator's input and the side-chain input.

#include "modules/Module.h"
#include "modules/Ramp.h"

namespace vh {

class SideMix final : public Operator {
public:
    SideMix(int slot, ModuleHost* owner);

    // The mix texts; name and default come from the parameter table.
    void getParameterDisplay(int index, char* out) override;
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    void getTypeName(char* out) override { copyText(out, kTextSize, "SIDEMIX"); }

    bool readsTaps() const override { return true; }
    void setInputs(const float* left, const float* right) override {
        mSideL = left[kTapSideChain];
        mSideR = right[kTapSideChain];
    }
    void update() override;
    void processSample(float* left, float* right) override {
        float mainL = mMainL.next(), mainR = mMainR.next();
        float sideL = mSideGainL.next(), sideR = mSideGainR.next();
        *left = sideL * mSideL + mainL * *left;
        *right = sideR * mSideR + mainR * *right;
    }
    void resetSmoothing() override;
    void clearState() override { resetSmoothing(); }

    // "30 - 70", "M70", "S25" or a plain number: the side-chain share 0..1.
    static float parseSideMix(const char* text);

private:
    Ramp mMainL{0.0f}, mMainR{0.0f};
    Ramp mSideGainL{1.0f}, mSideGainR{1.0f};
    float mSideL = 0.0f, mSideR = 0.0f;
};

}  // namespace vh
