#pragma once
// Full-wave rectifier followed by a 10 Hz high-pass that removes the DC the
// rectification creates.

#include "modules/Module.h"

namespace vh {

class Rectifier final : public Operator {
public:
    // Its one switch is described by its parameter table.
    Rectifier(int slot, ModuleHost* owner);
    void getTypeName(char* out) override { copyText(out, kTextSize, "RECTIFIER"); }

    // Only the filter depends on the rate; the enable flag follows at the
    // first control tick.
    void setSampleRate(float rate) override;
    void update() override { mEnabled = discreteIndex(mBase[0], 2) == 1; }
    void processSample(float* left, float* right) override {
        if (!mEnabled) return;
        *left = static_cast<float>(mLeft.run(*left, mCoef));
        *right = static_cast<float>(mRight.run(*right, mCoef));
    }

private:
    struct Coefficients {
        double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    };
    struct Channel {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        double run(float input, const Coefficients& c);
    };

    bool mEnabled = false;
    Coefficients mCoef;
    Channel mLeft, mRight;
};

}  // namespace vh
