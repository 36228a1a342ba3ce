#include "operators/Stereo.h"

#include "operators/BalanceText.h"

namespace vh {

Stereo::Stereo(int slot, ModuleHost* owner) : Operator(slot, owner) {
    mBase[0] = getParameterDefault(0);
    mBase[1] = getParameterDefault(1);
}

void Stereo::getParameterName(int index, char* out) {
    copyText(out, kTextSize, index == 0 ? "balance" : index == 1 ? "width" : "---");
}
void Stereo::getParameterTitle(int index, char* out) {
    copyText(out, kTextSize, index == 0 ? "balance" : index == 1 ? "width" : "");
}
void Stereo::getParameterLabel(int index, char* out) { copyText(out, kTextSize, index == 1 ? "%" : ""); }

void Stereo::getParameterDisplay(int index, char* out) {
    if (index == 0)
        balanceHostText(mBase[0], out);
    else if (index == 1)
        VH_TEXT(out, "%.0f", 200.0f * mBase[1]);
    else
        copyText(out, kTextSize, "---");
}

void Stereo::formatEditorValue(int index, float value, char* out, int) {
    if (index == 0)
        balanceEditorText(value, out);
    else if (index == 1)
        VH_TEXT(out, "%.1f %%", 200.0f * value);
    else
        out[0] = 0;
}

bool Stereo::parseEditorValue(int index, const char* text, float& value, int) {
    if (index == 0) {
        value = parseBalance(text);
        return true;
    }
    if (index == 1) {
        double x = readNumber(text);
        value = x > 200.0 ? 1.0f : x < 0.0 ? 0.0f : static_cast<float>(x / 200.0);
        return true;
    }
    return false;
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
