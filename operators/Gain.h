#pragma once
// Attenuation: a cubic gain curve, ramped per channel.

#include "modules/Module.h"
#include "modules/Ramp.h"

namespace vh {

class Gain final : public Operator {
public:
    Gain(int slot, ModuleHost* owner);

    // Parameters and texts come from the parameter table.
    void getTypeName(char* out) override { copyText(out, kTextSize, "GAIN"); }

    void update() override;
    void processSample(float* left, float* right) override {
        *left *= mGainL.next();
        *right *= mGainR.next();
    }
    void resetSmoothing() override;
    void clearState() override { resetSmoothing(); }

    // Linear gain of the normalised attenuation value: v^3.
    static float gainOf(float v) { return v * v * v; }
    // Inverse of gainOf for a typed decibel value.
    static float valueOfDb(double db);

private:
    // Multiplying by exactly 1 changes no sample, not even a signed zero or
    // a NaN.
    void notePassThrough() { mPassesThrough = mGainL.restsAt(1.0f) && mGainR.restsAt(1.0f); }

    Ramp mGainL{1.0f};
    Ramp mGainR{1.0f};
};

}  // namespace vh
