#include "operators/Panner.h"

#include "operators/BalanceText.h"

namespace vh {

namespace {
// Each input starts fully on its own side.
constexpr ParameterInfo kParameters[] = {
    {.name = "panL", .title = "pan L", .modulatable = true},
    {.name = "panR", .title = "pan R", .defaultValue = 1.0f, .modulatable = true},
};
}  // namespace

Panner::Panner(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    mBase[0] = getParameterDefault(0);
    mBase[1] = getParameterDefault(1);
}

void Panner::getParameterDisplay(int index, char* out) {
    if (index == 0 || index == 1)
        balanceHostText(baseValue(index), out);
    else
        copyText(out, kTextSize, "---");
}

void Panner::formatEditorValue(int index, float value, char* out, int) {
    if (index == 0 || index == 1)
        balanceEditorText(value, out);
    else
        out[0] = 0;
}

bool Panner::parseEditorValue(int index, const char* text, float& value, int) {
    if (index != 0 && index != 1) return false;
    value = parseBalance(text);
    return true;
}

// Each position follows its own channel's modulation: the left input's
// position the left values, the right input's the right values.
void Panner::update() {
    mPosL.setTarget(mModL[0], mRampFactor);
    mPosR.setTarget(mModR[1], mRampFactor);
}

void Panner::resetSmoothing() {
    mPosL.snap();
    mPosR.snap();
}

}  // namespace vh
