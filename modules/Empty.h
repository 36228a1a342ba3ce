#pragma once
// The modulator that does nothing: an unused modulator slot.

#include "modules/Module.h"

namespace vh {

class Empty final : public Modulator {
public:
    using Modulator::Modulator;
    void update() override {}
    bool isModulatable(int) override { return false; }
    void getTypeName(char* out) override { copyText(out, kTextSize, "EMPTY"); }
    void processSample(float* outLeft, float* outRight) override { *outLeft = *outRight = 0.0f; }
    bool isSilent() const override { return true; }
    void getParameterName(int, char* out) override { copyText(out, kTextSize, "---"); }
    void getParameterLabel(int, char* out) override { out[0] = 0; }
    void getParameterDisplay(int, char* out) override { out[0] = 0; }
};

}  // namespace vh
