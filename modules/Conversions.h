#pragma once
// Conversions shared by every module, the engine and the editor. Each rule is
// written here once so host texts, editor texts and the DSP never disagree.

#include <cstddef>

namespace vh {

// Control tick length in samples and the matching ramp factor.
constexpr int kControlTick = 32;
constexpr float kRampFactor = 1.0f / 32.0f;

// Texts handed across the module interface are written into buffers of this
// size; callers that talk to a host shorten them afterwards.
constexpr int kTextSize = 64;

// Discrete choice among n items: index = truncate(v * n), at most n - 1.
int discreteIndex(float v, int n);
// The normalised value that stands for item i of n.
constexpr float discreteValue(int i, int n) { return (static_cast<float>(i) + 0.5f) / static_cast<float>(n); }

// Clamp to 0..1 written as (|x| + 1 - |x - 1|) / 2; NaN becomes 0.
float clampUnit(float x);
// Sanitises host or preset input: NaN gives 0, the rest is clamped to 0..1.
float sanitizeUnit(float v);

// Per-sample increment that covers (target - current) in 1/rampFactor samples;
// the 1e-18 add-and-subtract flushes denormal increments to zero.
float smoothingIncrement(float target, float current, float rampFactor);
// Coefficient 1 - e^(-x) of a one-pole smoother that covers x of its time
// constant per sample. Formed from expm1 in double: a slow smoother at a
// high rate (x near 1e-6) keeps only a few digits of 1 - e^(-x) in float,
// and its time constant would be off by per cents.
float onePoleCoefficient(double perSample);
// The same for a time constant in seconds; 1 (no smoothing) for 0 s.
float timeConstantCoefficient(float seconds, float sampleRate);
// The same flush applied to a feedback state.
inline float flushDenormal(float x) { return (x + 1e-18f) - 1e-18f; }
inline double flushDenormal(double x) { return (x + 1e-18) - 1e-18; }

// printf into out (size bytes, always terminated) in the "C" locale, so a
// host running with a decimal comma still gets "0.5".
void formatText(char* out, std::size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
// Shorthand for module text buffers of kTextSize bytes.
#define VH_TEXT(out, ...) ::vh::formatText((out), ::vh::kTextSize, __VA_ARGS__)

// Copies at most size - 1 characters and terminates.
void copyText(char* out, std::size_t size, const char* text);

// Reads a decimal number at the start of text (after blanks) in the "C"
// locale. Returns 0 when there is none, like atof.
double readNumber(const char* text);
// Like readNumber, but reports whether a number was there and where it ended.
bool parseNumber(const char* text, double& value, const char** end = nullptr);

// Case-insensitive comparison of ASCII text.
bool equalsIgnoreCase(const char* a, const char* b);

// Level text of a linear amplitude: "-oo" at or below 0, else 20*log10(a)
// with the given number of decimals ("%.0f" for the host, "%.1f" in the editor).
void levelText(float amplitude, char* out, int decimals);
// Typed decibel text: true and amplitude 0 for "-oo" (any case).
bool isMinusInfinityText(const char* text);

// Decibel <-> linear amplitude.
float gainFromDb(float db);
float dbFromGain(float gain);

}  // namespace vh
