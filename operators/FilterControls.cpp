#include "operators/FilterControls.h"

#include <cmath>
#include <cstring>

#include "modules/Conversions.h"
#include "operators/FastMath.h"

namespace vh::filter {

float frequencyHz(float v) { return kMinFreqHz * std::exp2(kFreqOctaves * v); }

float frequencyValue(double freqHz) {
    if (!(freqHz > kMinFreqHz)) return 0.0f;  // also catches NaN
    if (freqHz >= kMaxFreqHz) return 1.0f;
    float v = static_cast<float>(std::log(freqHz / kMinFreqHz) / (std::log(2.0) * kFreqOctaves));
    return v > 1.0f ? 1.0f : v;
}

float tunedFrequencyHz(float freqHz, float sampleRate) {
    float limit = kMaxFreqRatio * sampleRate;
    return freqHz < limit ? freqHz : limit;
}

Vec4 morphLanes(const float* modL, const float* modR, int indexA, int indexB) {
    return Vec4(clampUnit(modR[indexB]), clampUnit(modL[indexB]), clampUnit(modR[indexA]), clampUnit(modL[indexA]));
}

Vec4 tunedFrequenciesHz(Vec4 v, float sampleRate) {
    Vec4 hz = Vec4(kMinFreqHz) * fastExp2(Vec4(kFreqOctaves) * v);
    return minLanes(hz, Vec4(kMaxFreqRatio * sampleRate));
}

void frequencyDisplay(float v, char* out) { VH_TEXT(out, "%.0f", frequencyHz(v)); }
void frequencyEditorText(float v, char* out) { VH_TEXT(out, "%.0f Hz", frequencyHz(v)); }

namespace {
char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Length of text without trailing blanks ("2k " typed with a space).
std::size_t trimmedLength(const char* text) {
    std::size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t')) --n;
    return n;
}
}  // namespace

float parseFrequencyText(const char* text) {
    if (text == nullptr) return 0.0f;
    double hz = readNumber(text);
    std::size_t n = trimmedLength(text);
    bool kilo = n > 0 && lowerAscii(text[n - 1]) == 'k';
    if (!kilo && n > 3)
        kilo = lowerAscii(text[n - 3]) == 'k' && lowerAscii(text[n - 2]) == 'h' && lowerAscii(text[n - 1]) == 'z';
    if (kilo) hz *= 1000.0;
    return frequencyValue(hz);
}

namespace {
constexpr const char* kTypeNames[kNumFilterTypes] = {"LP", "BP", "NOTCH", "HP"};
}

FilterType filterTypeOf(float v) { return static_cast<FilterType>(discreteIndex(v, kNumFilterTypes)); }

const char* filterTypeName(int type) {
    return (type >= 0 && type < kNumFilterTypes) ? kTypeNames[type] : "";
}

bool parseFilterTypeText(const char* text, float& v) {
    for (int i = 0; i < kNumFilterTypes; ++i)
        if (equalsIgnoreCase(text, kTypeNames[i])) {
            v = discreteValue(i, kNumFilterTypes);
            return true;
        }
    return false;
}

void morphDisplay(float v, char* out) {
    int b = static_cast<int>(100.0f * v);
    VH_TEXT(out, "%d:%d", 100 - b, b);
}

void morphEditorText(float v, char* out) { VH_TEXT(out, "%.1f", 100.0f * v); }

float parseMorphText(const char* text) {
    double percent = readNumber(text);
    if (percent > 100.0) return 1.0f;
    if (percent < 0.0) return 0.0f;
    return static_cast<float>(percent / 100.0);
}

namespace {
constexpr ParameterInfo frequencyRow(const char* name) {
    return {.name = name, .title = name, .label = "Hz", .defaultValue = 1.0f, .modulatable = true};
}
constexpr ParameterInfo resonanceRow(const char* name) { return {.name = name, .title = name, .modulatable = true}; }
constexpr ParameterInfo typeRow(const char* name) {
    return {.name = name, .title = name, .defaultValue = discreteValue(kLowPass, kNumFilterTypes), .steps = kNumFilterTypes};
}
constexpr ParameterInfo kMorphFilterRows[kNumLayoutParams] = {
    frequencyRow("freqA"), resonanceRow("resoA"), typeRow("typeA"),
    frequencyRow("freqB"), resonanceRow("resoB"), typeRow("typeB"),
    {.name = "morph", .title = "morph", .label = "%", .modulatable = true},
};
}  // namespace

const ParameterTable kMorphFilterParameters{kMorphFilterRows, "---"};

void morphFilterEditorText(int index, float v, char* out, ResonanceText resonance) {
    if (index < 0 || index >= kNumLayoutParams) {
        out[0] = 0;
        return;
    }
    if (isLayoutFrequency(index))
        frequencyEditorText(v, out);
    else if (isLayoutResonance(index))
        resonance(v, out);
    else if (isLayoutType(index))
        copyText(out, kTextSize, filterTypeName(filterTypeOf(v)));
    else
        morphEditorText(v, out);
}

bool parseMorphFilterText(int index, const char* text, float& value, ResonanceParse resonance) {
    if (index < 0 || index >= kNumLayoutParams || text == nullptr) return false;
    if (isLayoutFrequency(index))
        value = parseFrequencyText(text);
    else if (isLayoutResonance(index))
        value = resonance(readNumber(text));
    else if (isLayoutType(index))
        return parseFilterTypeText(text, value);
    else
        value = parseMorphText(text);
    return true;
}

}  // namespace vh::filter
