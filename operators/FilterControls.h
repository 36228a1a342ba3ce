#pragma once
// Controls shared by the resonant filter operators (Biquad, SVF, Moog): the
// cutoff curve with its texts and typed entry, the response-type choice and
// the A/B morph texts. One definition each, so update, host text and editor
// text can never disagree.

#include "modules/ParameterTable.h"
#include "modules/Vec4.h"

namespace vh::filter {

// Cutoff curve: 20 Hz at 0 to 20 kHz at 1, ten octaves minus a hair.
constexpr float kMinFreqHz = 20.0f;
constexpr float kMaxFreqHz = 20000.0f;
constexpr float kFreqOctaves = 9.965784f;  // log2(1000), single precision as stored

// The cutoff range reaches above half the sample rate below 40 kHz. Every
// filter caps its tuning at this fraction of the rate: the nearest point to
// the Nyquist frequency where all three designs are still well inside their
// stable region (the biquad's sin w > 0, the four-times SVF's F^2 + 2Fd < 4,
// the ladder's tuning polynomials still calibrated).
constexpr float kMaxFreqRatio = 0.49f;

// Normalised value -> Hz: 20 * 2^(9.965784 v).
float frequencyHz(float v);
// Hz -> normalised value, the range limited to 20..20000 Hz.
float frequencyValue(double freqHz);
// The frequency a filter is actually tuned to at this rate.
float tunedFrequencyHz(float freqHz, float sampleRate);
// The tuned frequencies of four normalised values at once, for the control
// tick (within 3.5e-6 of the one-at-a-time form).
Vec4 tunedFrequenciesHz(Vec4 v, float sampleRate);

// The lanes of the morphing filters' four filters, and one control pair's
// modulated values (A's at indexA, B's at indexB) gathered into them,
// limited to 0..1.
enum MorphLane { kLaneBRight = 0, kLaneBLeft, kLaneARight, kLaneALeft };
Vec4 morphLanes(const float* modL, const float* modR, int indexA, int indexB);

// Host text "%.0f" and editor text "%.0f Hz" of a normalised value.
void frequencyDisplay(float v, char* out);
void frequencyEditorText(float v, char* out);
// Typed cutoff: a number, times 1000 when the text ends in "k" or (being
// longer than three characters) in "khz", either case; limited to 20..20000.
float parseFrequencyText(const char* text);

// Response types of the morphing filters; four-way choice.
enum FilterType { kLowPass = 0, kBandPass, kNotch, kHighPass, kNumFilterTypes };
FilterType filterTypeOf(float v);
// The two resonant morphing filters (biquad and state-variable) share one
// parameter layout: frequency, resonance and type of filter A, the same of
// filter B, then the morph between them.
enum MorphLayout { kLayoutFreqA = 0, kLayoutResoA, kLayoutTypeA, kLayoutFreqB, kLayoutResoB, kLayoutTypeB, kLayoutMorph,
                   kNumLayoutParams };
// Names (the editor titles are the host names), units, defaults and lists
// of that layout; the texts are the filters' own.
extern const ParameterTable kMorphFilterParameters;
inline bool isLayoutFrequency(int index) { return index == kLayoutFreqA || index == kLayoutFreqB; }
inline bool isLayoutResonance(int index) { return index == kLayoutResoA || index == kLayoutResoB; }
inline bool isLayoutType(int index) { return index == kLayoutTypeA || index == kLayoutTypeB; }
// Editor text and typed entry of a layout index; only the resonance scale
// differs between the two filters, so it is passed in.
using ResonanceText = void (*)(float v, char* out);
using ResonanceParse = float (*)(double q);
void morphFilterEditorText(int index, float v, char* out, ResonanceText resonance);
bool parseMorphFilterText(int index, const char* text, float& value, ResonanceParse resonance);

const char* filterTypeName(int type);
// A typed type name ("lp", "NOTCH"): true with the item's value.
bool parseFilterTypeText(const char* text, float& v);

// Morph between filter A and filter B: host text "A:B" in whole percent,
// editor text "%.1f" of the percent, typed percent limited to 0..100.
void morphDisplay(float v, char* out);
void morphEditorText(float v, char* out);
float parseMorphText(const char* text);

}  // namespace vh::filter
