#pragma once
// Stereo width (mid/side) and balance.

#include "modules/Module.h"
#include "modules/Ramp.h"

namespace vh {

class Stereo final : public Operator {
public:
    Stereo(int slot, ModuleHost* owner);

    // The balance texts; the width's come from the parameter table.
    void getParameterDisplay(int index, char* out) override;
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    void getTypeName(char* out) override { copyText(out, kTextSize, "STEREO"); }

    void update() override;
    void processSample(float* left, float* right) override {
        float balance = mBalance.next();
        float width = mWidth.next();
        float side = width * (*left - *right) * 0.5f;
        float mid = (*left + *right) * 0.5f;
        *left = (mid + side) * (2.0f - balance);
        *right = (mid - side) * balance;
    }
    void resetSmoothing() override;
    void clearState() override { resetSmoothing(); }

private:
    Ramp mBalance{0.5f};
    Ramp mWidth{0.5f};
};

}  // namespace vh
