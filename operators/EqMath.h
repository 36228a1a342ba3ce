#pragma once
// Conversions shared by the equaliser, formant filter and phaser: the
// logarithmic frequency knob, typed frequency and percent entries, the morph
// ratio text.

#include <cmath>
#include <cstring>

#include "modules/Conversions.h"
#include "modules/Vec4.h"

namespace vh::eq {

constexpr float kMinFreqHz = 20.0f;
constexpr float kMaxFreqHz = 20000.0f;
// log2(1000): the knob spans the ten octaves from 20 Hz to 20 kHz.
constexpr float kFreqOctaves = 9.965784f;

// Frequency of the normalised knob value, 20 Hz .. 20 kHz.
inline float frequencyHz(float v) { return kMinFreqHz * std::exp2(kFreqOctaves * v); }

// Inverse of frequencyHz for a frequency already inside 20..20000 Hz.
inline float valueOfFrequency(double hz) {
    return static_cast<float>(std::log(hz / kMinFreqHz) / (std::log(2.0) * kFreqOctaves));
}

// Typed frequency: "1500", "1.5k", "2kHz" (suffixes in any case). The result
// is limited to the knob's range. False when the text holds no number, so a
// stray entry leaves the control where it was.
inline bool parseFrequencyText(const char* text, float& value) {
    double hz = 0.0;
    if (!parseNumber(text, hz)) return false;
    std::size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t')) --n;  // "2k " as typed
    bool kilo = n > 0 && (text[n - 1] == 'k' || text[n - 1] == 'K');
    if (!kilo && n > 3) {
        char tail[4] = {text[n - 3], text[n - 2], text[n - 1], 0};
        kilo = equalsIgnoreCase(tail, "khz");
    }
    if (kilo) hz *= 1000.0;
    if (hz < kMinFreqHz) hz = kMinFreqHz;
    if (hz > kMaxFreqHz) hz = kMaxFreqHz;
    value = valueOfFrequency(hz);
    return true;
}

// Typed percentage: above 100 gives 1, below 0 gives 0.
inline bool parsePercentText(const char* text, float& value) {
    double percent = 0.0;
    if (!parseNumber(text, percent)) return false;
    value = percent > 100.0 ? 1.0f : percent < 0.0 ? 0.0f : static_cast<float>(percent / 100.0);
    return true;
}

// Host text of a crossfade: "70:30" for 30 % of the second source.
inline void morphRatioText(float v, char* out) {
    int b = static_cast<int>(100.0f * v);
    VH_TEXT(out, "%d:%d", 100 - b, b);
}

}  // namespace vh::eq
