#pragma once
// Polarity inversion of both channels, switched at control ticks.

#include "modules/Module.h"

namespace vh {

class PhaseInv final : public Operator {
public:
    PhaseInv(int slot, ModuleHost* owner) : Operator(slot, owner) {}

    float getParameterDefault(int) override { return 0.0f; }
    int getNumParameters() override { return 1; }
    void getParameterName(int index, char* out) override { copyText(out, kTextSize, index == 0 ? "phase" : "---"); }
    void getParameterLabel(int, char* out) override { out[0] = 0; }
    void getParameterDisplay(int index, char* out) override;
    void getParameterTitle(int index, char* out) override { copyText(out, kTextSize, index == 0 ? "phase" : ""); }
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool isModulatable(int) override { return false; }
    int getParameterSteps(int index) override { return index == 0 ? 2 : 0; }
    void getTypeName(char* out) override { copyText(out, kTextSize, "PHASEINV"); }

    void update() override { mFactor = discreteIndex(mBase[0], 2) == 1 ? -1.0f : 1.0f; }
    void processSample(float* left, float* right) override {
        *left *= mFactor;
        *right *= mFactor;
    }

private:
    float mFactor = 1.0f;
};

}  // namespace vh
