#pragma once
// Polarity inversion of both channels, switched at control ticks.

#include "modules/Module.h"

namespace vh {

class PhaseInv final : public Operator {
public:
    // Its one switch is described by its parameter table.
    PhaseInv(int slot, ModuleHost* owner);
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
