#include "modules/Rhythm.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vh {

namespace {
struct RhythmItem {
    const char* name;
    float wholeNotes;
};

constexpr RhythmItem kItems[kNumRhythmItems] = {
    {"8/1", 8.0f},           {"4/1", 4.0f},           {"2/1", 2.0f},           {"1/1", 1.0f},
    {"1/2", 0.5f},           {"1/4", 0.25f},          {"1/8", 0.125f},         {"1/16", 0.0625f},
    {"1/32", 0.03125f},      {"1/64", 0.015625f},     {"12/1", 12.0f},         {"6/1", 6.0f},
    {"3/1", 3.0f},           {"3/2", 1.5f},           {"3/4", 0.75f},          {"3/8", 0.375f},
    {"3/16", 0.1875f},       {"3/32", 0.09375f},      {"3/64", 0.046875f},     {"3/128", 0.0234375f},
    {"16/3", 16.0f / 3.0f},  {"8/3", 8.0f / 3.0f},    {"4/3", 4.0f / 3.0f},    {"2/3", 2.0f / 3.0f},
    {"1/3", 1.0f / 3.0f},    {"1/6", 1.0f / 6.0f},    {"1/12", 1.0f / 12.0f},  {"1/24", 1.0f / 24.0f},
    {"1/48", 1.0f / 48.0f},  {"1/96", 1.0f / 96.0f},
};
}  // namespace

const char* rhythmName(int item) { return (item >= 0 && item < kNumRhythmItems) ? kItems[item].name : ""; }

float rhythmLength(int item) { return (item >= 0 && item < kNumRhythmItems) ? kItems[item].wholeNotes : 0.0f; }

int rhythmItemOfName(const char* text, int fallback) {
    if (text == nullptr) return fallback;
    for (int i = 0; i < kNumRhythmItems; ++i)
        if (std::strcmp(text, kItems[i].name) == 0) return i;
    return fallback;
}

float rhythmSeconds(float wholeNotes, float bpm) { return wholeNotes * 240.0f / bpm; }

int nearestRhythmItem(float seconds, float bpm) {
    int best = 0;
    float bestDistance = INFINITY;
    for (int i = 0; i < kNumRhythmItems; ++i) {
        float distance = std::fabs(rhythmSeconds(kItems[i].wholeNotes, bpm) - seconds);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

bool followsSongPosition(double kept, double fromPosition, double period, float ppq, double ppqPerUnit) {
    constexpr double kSlackUnits = 1e-3;
    float magnitude = std::fabs(ppq);
    double ulp = static_cast<double>(std::nextafter(magnitude, INFINITY) - magnitude);
    double tolerance = kSlackUnits + 2.0 * ulp / ppqPerUnit;
    double distance = std::fmod(std::fabs(kept - fromPosition), period);
    return std::min(distance, period - distance) <= tolerance;
}

}  // namespace vh
