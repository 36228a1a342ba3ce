#pragma once
// Independent linear panning of the left and the right input.

#include "modules/Module.h"
#include "modules/Ramp.h"

namespace vh {

class Panner final : public Operator {
public:
    Panner(int slot, ModuleHost* owner);

    // The pan texts; names and defaults come from the parameter table.
    void getParameterDisplay(int index, char* out) override;
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    void getTypeName(char* out) override { copyText(out, kTextSize, "PANNER"); }

    void update() override;
    void processSample(float* left, float* right) override {
        float pL = mPosL.next();
        float pR = mPosR.next();
        float l = *left, r = *right;
        *left = (1.0f - pL) * l + (1.0f - pR) * r;
        *right = pL * l + pR * r;
    }
    void resetSmoothing() override;
    void clearState() override { resetSmoothing(); }

private:
    Ramp mPosL{0.0f};
    Ramp mPosR{1.0f};
};

}  // namespace vh
