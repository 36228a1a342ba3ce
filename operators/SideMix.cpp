#include "operators/SideMix.h"

#include <cmath>
#include <cstring>

namespace vh {

namespace {
int sideShare(float v) { return static_cast<int>(100.0f * v + 0.5f); }

constexpr ParameterInfo kParameters[] = {
    {.name = "sidemix", .title = "main-side mix", .defaultValue = 1.0f, .modulatable = true},
};
}  // namespace

SideMix::SideMix(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    mBase[0] = getParameterDefault(0);
}

void SideMix::getParameterDisplay(int index, char* out) {
    if (index != 0) {
        copyText(out, kTextSize, "---");
        return;
    }
    int a = sideShare(baseValue(0));
    VH_TEXT(out, "M%d<>%dS", 100 - a, a);
}

void SideMix::formatEditorValue(int index, float value, char* out, int) {
    if (index != 0) {
        out[0] = 0;
        return;
    }
    int a = sideShare(value);
    VH_TEXT(out, "%0d - %0d", 100 - a, a);
}

float SideMix::parseSideMix(const char* text) {
    if (text == nullptr) return 0.0f;
    double x;
    const char* separator = std::strchr(text, '-');
    if (separator == nullptr) separator = std::strchr(text, '>');
    if (separator != nullptr)
        x = readNumber(separator + 1);
    else if (text[0] == 'M' || text[0] == 'm')
        x = 100.0 - readNumber(text + 1);
    else if (text[0] == 'S' || text[0] == 's')
        x = readNumber(text + 1);
    else
        x = readNumber(text);
    if (x < 0.0) x = 0.0;
    if (x > 100.0) x = 100.0;
    return static_cast<float>(x / 100.0);
}

bool SideMix::parseEditorValue(int index, const char* text, float& value, int) {
    if (index != 0) return false;
    value = parseSideMix(text);
    return true;
}

void SideMix::update() {
    mSideGainL.setTarget(std::sqrt(mModL[0]), mRampFactor);
    mSideGainR.setTarget(std::sqrt(mModR[0]), mRampFactor);
    mMainL.setTarget(std::sqrt(1.0f - mModL[0]), mRampFactor);
    mMainR.setTarget(std::sqrt(1.0f - mModR[0]), mRampFactor);
}

void SideMix::resetSmoothing() {
    mMainL.snap();
    mMainR.snap();
    mSideGainL.snap();
    mSideGainR.snap();
}

}  // namespace vh
