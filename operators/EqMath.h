#pragma once
// Conversions shared by the equaliser, formant filter and phaser: the
// logarithmic frequency knob, typed frequency and percent entries, the morph
// ratio text, and a lane select for the four-lane filter paths.

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

// Four-lane select: lanes whose mask is all ones take a, the others b.
typedef int LaneMask __attribute__((vector_size(16)));
inline Vec4 select(LaneMask mask, Vec4 a, Vec4 b) { return Vec4(mask ? a.v : b.v); }

// Four double-precision lanes, for recursions whose rounding noise single
// precision cannot afford (pole pairs close to DC). Two SSE halves, so that
// no 32-byte vector crosses a function boundary in builds without AVX.
typedef double Double2Raw __attribute__((vector_size(16)));
typedef float Float2Raw __attribute__((vector_size(8)));

struct Double4 {
    Double2Raw lo{0.0, 0.0}, hi{0.0, 0.0};

    Double4() = default;
    Double4(Double2Raw l, Double2Raw h) : lo(l), hi(h) {}
    explicit Double4(double x) : lo{x, x}, hi{x, x} {}

    friend Double4 operator+(Double4 a, Double4 b) { return {a.lo + b.lo, a.hi + b.hi}; }
    friend Double4 operator-(Double4 a, Double4 b) { return {a.lo - b.lo, a.hi - b.hi}; }
    friend Double4 operator*(Double4 a, Double4 b) { return {a.lo * b.lo, a.hi * b.hi}; }
};

inline Double4 widen(Vec4 x) {
    Float2Raw lo = __builtin_shufflevector(x.v, x.v, 0, 1);
    Float2Raw hi = __builtin_shufflevector(x.v, x.v, 2, 3);
    return {__builtin_convertvector(lo, Double2Raw), __builtin_convertvector(hi, Double2Raw)};
}
inline Vec4 narrow(Double4 x) {
    Float2Raw lo = __builtin_convertvector(x.lo, Float2Raw);
    Float2Raw hi = __builtin_convertvector(x.hi, Float2Raw);
    return Vec4(__builtin_shufflevector(lo, hi, 0, 1, 2, 3));
}
inline Double4 flushDenormal(Double4 x) { return (x + Double4(1e-18)) - Double4(1e-18); }

// The add-and-subtract denormal flush, lane by lane, for feedback histories.
inline Vec4 flushDenormal(Vec4 x) { return (x + Vec4(1e-18f)) - Vec4(1e-18f); }

}  // namespace vh::eq
