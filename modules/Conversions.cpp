#include "modules/Conversions.h"

#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace vh {

int discreteIndex(float v, int n) {
    if (!(v > 0.0f)) return 0;  // also catches NaN
    float scaled = v * static_cast<float>(n);
    if (scaled >= static_cast<float>(n)) return n - 1;
    int index = static_cast<int>(scaled);
    return index >= n ? n - 1 : index;
}

float clampUnit(float x) {
    if (std::isnan(x)) return 0.0f;
    return (std::fabs(x) + 1.0f - std::fabs(x - 1.0f)) * 0.5f;
}

float sanitizeUnit(float v) {
    if (!(v >= 0.0f)) return 0.0f;  // NaN and negatives
    return v > 1.0f ? 1.0f : v;
}

float smoothingIncrement(float target, float current, float rampFactor) {
    return ((target - current) * rampFactor + 1e-18f) - 1e-18f;
}

float onePoleCoefficient(double perSample) { return static_cast<float>(-std::expm1(-perSample)); }

float timeConstantCoefficient(float seconds, float sampleRate) {
    double samples = double(seconds) * double(sampleRate);
    if (!(samples > 0.0)) return 1.0f;  // 0 s (or NaN): the smoother jumps to its input
    return onePoleCoefficient(1.0 / samples);
}

namespace {
locale_t cLocale() {
    static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}
}  // namespace

void formatText(char* out, std::size_t size, const char* format, ...) {
    if (out == nullptr || size == 0) return;
    locale_t previous = uselocale(cLocale());
    va_list args;
    va_start(args, format);
    std::vsnprintf(out, size, format, args);
    va_end(args);
    uselocale(previous);
}

void copyText(char* out, std::size_t size, const char* text) {
    if (out == nullptr || size == 0) return;
    if (text == nullptr) {
        out[0] = 0;
        return;
    }
    std::size_t n = std::strlen(text);
    if (n > size - 1) n = size - 1;
    std::memcpy(out, text, n);
    out[n] = 0;
}

bool parseNumber(const char* text, double& value, const char** end) {
    value = 0.0;
    if (end) *end = text;
    if (text == nullptr) return false;
    char* stop = nullptr;
    double x = strtod_l(text, &stop, cLocale());
    if (stop == text) return false;
    if (end) *end = stop;
    value = std::isfinite(x) ? x : 0.0;
    return std::isfinite(x);
}

double readNumber(const char* text) {
    double value = 0.0;
    parseNumber(text, value);
    return value;
}

bool equalsIgnoreCase(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return false;
    for (; *a && *b; ++a, ++b) {
        char ca = (*a >= 'A' && *a <= 'Z') ? *a + 32 : *a;
        char cb = (*b >= 'A' && *b <= 'Z') ? *b + 32 : *b;
        if (ca != cb) return false;
    }
    return *a == *b;
}

void levelText(float amplitude, char* out, int decimals) {
    if (!(amplitude > 0.0f)) {
        VH_TEXT(out, "-oo");
        return;
    }
    VH_TEXT(out, "%.*f", decimals, 20.0 * std::log10(static_cast<double>(amplitude)));
}

bool isMinusInfinityText(const char* text) {
    if (text == nullptr) return false;
    while (*text == ' ') ++text;
    return std::strlen(text) >= 3 && (text[0] == '-') && (text[1] == 'o' || text[1] == 'O') &&
           (text[2] == 'o' || text[2] == 'O');
}

float gainFromDb(float db) { return std::pow(10.0f, db / 20.0f); }
float dbFromGain(float gain) { return 20.0f * std::log10(gain); }

}  // namespace vh
