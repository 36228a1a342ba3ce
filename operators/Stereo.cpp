#include "operators/Stereo.h"

#include "operators/BalanceText.h"

namespace vh {

namespace {
constexpr ParameterInfo kParameters[] = {
    {.name = "balance", .title = "balance", .defaultValue = 0.5f, .modulatable = true},
    {.name = "width", .title = "width", .label = "%", .defaultValue = 0.5f, .modulatable = true,
     .text = linearText(0.0f, 200.0f, "%.0f", "%.1f %%")},
};
}  // namespace

Stereo::Stereo(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    mBase[0] = getParameterDefault(0);
    mBase[1] = getParameterDefault(1);
}

void Stereo::getParameterDisplay(int index, char* out) {
    if (index == 0)
        balanceHostText(baseValue(0), out);
    else
        Operator::getParameterDisplay(index, out);
}

void Stereo::formatEditorValue(int index, float value, char* out, int mode) {
    if (index == 0)
        balanceEditorText(value, out);
    else
        Operator::formatEditorValue(index, value, out, mode);
}

bool Stereo::parseEditorValue(int index, const char* text, float& value, int mode) {
    if (index != 0) return Operator::parseEditorValue(index, text, value, mode);
    value = parseBalance(text);
    return true;
}

// Both parameters follow the left modulated values: balance and width act on
// the pair as a whole.
void Stereo::update() {
    mBalance.setTarget(2.0f * mModL[0], mRampFactor);
    mWidth.setTarget(2.0f * mModL[1], mRampFactor);
}

void Stereo::resetSmoothing() {
    mBalance.snap();
    mWidth.snap();
}

}  // namespace vh
