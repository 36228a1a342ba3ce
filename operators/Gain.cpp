#include "operators/Gain.h"

#include <cmath>

namespace vh {

namespace {
constexpr ParameterInfo kParameters[] = {
    {.name = "atten", .title = "attenuation", .label = "dB", .defaultValue = 1.0f, .modulatable = true},
};
}  // namespace

Gain::Gain(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    mBase[0] = getParameterDefault(0);
}

void Gain::getParameterDisplay(int index, char* out) {
    if (index != 0) {
        copyText(out, kTextSize, "---");
        return;
    }
    levelText(gainOf(mBase[0]), out, 0);
}

void Gain::formatEditorValue(int index, float value, char* out, int) {
    if (index != 0) {
        out[0] = 0;
        return;
    }
    char level[kTextSize];
    levelText(gainOf(value), level, 1);
    VH_TEXT(out, "%s dB", level);
}

float Gain::valueOfDb(double db) {
    if (db > 0.0) return 1.0f;
    if (db < -100.0) return 0.0f;
    return static_cast<float>(std::cbrt(std::pow(10.0, db / 20.0)));
}

bool Gain::parseEditorValue(int index, const char* text, float& value, int) {
    if (index != 0) return false;
    value = isMinusInfinityText(text) ? 0.0f : valueOfDb(readNumber(text));
    return true;
}

void Gain::update() {
    mGainL.setTarget(gainOf(mModL[0]), mRampFactor);
    mGainR.setTarget(gainOf(mModR[0]), mRampFactor);
}

void Gain::resetSmoothing() {
    mGainL.snap();
    mGainR.snap();
}

}  // namespace vh
