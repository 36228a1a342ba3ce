#pragma once
// The modulator that does nothing: an unused modulator slot. Without a
// parameter table it has no parameters: every name reads "---".

#include "modules/Module.h"

namespace vh {

class Empty final : public Modulator {
public:
    using Modulator::Modulator;
    void update() override {}
    void getTypeName(char* out) override { copyText(out, kTextSize, "EMPTY"); }
    void processSample(float* outLeft, float* outRight) override { *outLeft = *outRight = 0.0f; }
    bool isSilent() const override { return true; }
};

}  // namespace vh
