#include "modulators/ModulatorCommon.h"

#include <cmath>

#include "modules/Conversions.h"

namespace vh {

namespace {
constexpr float kMinTempo = 1.0f;
constexpr float kMaxTempo = 1000.0f;
}  // namespace

float percentValue(const char* text) {
    double x = readNumber(text);
    if (x > 100.0) return 1.0f;
    if (x < 0.0) return 0.0f;
    return static_cast<float>(x / 100.0);
}

int listItemOfName(const char* text, const char* const* names, int count) {
    if (text == nullptr) return -1;
    while (*text == ' ') ++text;
    for (int i = 0; i < count; ++i)
        if (equalsIgnoreCase(text, names[i])) return i;
    return -1;
}

float acceptedTempo(float bpm, float previous) {
    if (!std::isfinite(bpm)) return previous;
    if (bpm < kMinTempo) return kMinTempo;
    if (bpm > kMaxTempo) return kMaxTempo;
    return bpm;
}

}  // namespace vh
