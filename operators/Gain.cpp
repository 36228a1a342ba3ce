#include "operators/Gain.h"

#include <cmath>

namespace vh {

namespace {
void levelHostText(float v, char* out) { levelText(Gain::gainOf(v), out, 0); }
void levelEditorText(float v, char* out) {
    char level[kTextSize];
    levelText(Gain::gainOf(v), level, 1);
    VH_TEXT(out, "%s dB", level);
}
bool parseLevel(const char* text, float& value) {
    value = isMinusInfinityText(text) ? 0.0f : Gain::valueOfDb(readNumber(text));
    return true;
}

constexpr ParameterInfo kParameters[] = {
    {.name = "atten", .title = "attenuation", .label = "dB", .defaultValue = 1.0f, .modulatable = true,
     .hostText = levelHostText, .editorText = levelEditorText, .parseText = parseLevel},
};
}  // namespace

Gain::Gain(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    mBase[0] = getParameterDefault(0);
    notePassThrough();
}

float Gain::valueOfDb(double db) {
    if (db > 0.0) return 1.0f;
    if (db < -100.0) return 0.0f;
    return static_cast<float>(std::cbrt(std::pow(10.0, db / 20.0)));
}

void Gain::update() {
    mGainL.setTarget(gainOf(mModL[0]), mRampFactor);
    mGainR.setTarget(gainOf(mModR[0]), mRampFactor);
    notePassThrough();
}

void Gain::resetSmoothing() {
    mGainL.snap();
    mGainR.snap();
    notePassThrough();
}

}  // namespace vh
