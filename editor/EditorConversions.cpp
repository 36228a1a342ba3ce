#include "editor/EditorConversions.h"

#include <algorithm>
#include <cmath>

#include "modules/Conversions.h"

namespace vh::editor {

namespace {
std::string text(const char* format, double value) {
    char out[kTextSize];
    formatText(out, sizeof out, format, value);
    return out;
}
std::string textInt(const char* format, int value) {
    char out[kTextSize];
    formatText(out, sizeof out, format, value);
    return out;
}
bool number(const std::string& s, double& x) { return parseNumber(s.c_str(), x) && std::isfinite(x); }

// The knobs' top: 4v^2 at v = 1 is +12.04 dB, so "+12 dB or more" must reach
// the end of the knob rather than stop a hair below it.
const double kMaxGainDb = 20.0 * std::log10(4.0);
constexpr double kGainFloorDb = -100.0;
}  // namespace

std::string gainText(float v) {
    double g = 4.0 * double(v) * double(v);
    if (g <= 0) return "-oo";
    return text("%.1f", 20.0 * std::log10(g));
}

bool gainFromText(const std::string& s, float& v) {
    if (isMinusInfinityText(s.c_str())) {
        v = 0;
        return true;
    }
    double db;
    if (!number(s, db)) return false;
    db = std::min(db, kMaxGainDb);
    if (db <= kGainFloorDb) {
        v = 0;
        return true;
    }
    v = std::clamp(static_cast<float>(std::sqrt(std::pow(10.0, db / 20.0) * 0.25)), 0.0f, 1.0f);
    return true;
}

std::string mixText(float v) { return text("%.1f", double(v) * 100.0); }

bool mixFromText(const std::string& s, float& v) {
    double x;
    if (!number(s, x)) return false;
    v = x > 100 ? 1.0f : x < 0 ? 0.0f : static_cast<float>(x / 100.0);
    return true;
}

std::string percentText(float v) { return text("%.1f", double(v) * 100.0); }

std::string limiterText(int state) {
    static const char* const kNames[4] = {"disabled", "slow", "moderate", "fast"};
    return state >= 0 && state < 4 ? kNames[state] : "n/a";
}

std::string tempoSyncText(int state) {
    static const char* const kNames[2] = {"disabled", "enabled"};
    return state >= 0 && state < 2 ? kNames[state] : "n/a";
}

std::string tempoText(float v) { return text("%.1f bpm", double(v) * 270.0 + 30.0); }

bool tempoFromText(const std::string& s, float& v) {
    double x;
    if (!number(s, x)) return false;
    v = x <= 30 ? 0.0f : x >= 300 ? 1.0f : static_cast<float>((x - 30.0) / 270.0);
    return true;
}

std::string ppqOffsetText(float v) { return textInt("%d/16", static_cast<int>(v * 16.0f)); }

bool ppqOffsetFromText(const std::string& s, float& v) {
    double x;
    if (!number(s, x)) return false;
    // Whole sixteenths within the bar; the parameter cannot hold more.
    double n = std::clamp(std::trunc(x), 0.0, 16.0);
    v = static_cast<float>(n * 0.0625);
    return true;
}

std::string falloffText(float v) { return text("%.0f dB/sec", double(v) * 54.0 + 6.0); }

bool falloffFromText(const std::string& s, float& v) {
    double x;
    if (!number(s, x)) return false;
    x = std::clamp(x, 6.0, 60.0);
    v = static_cast<float>((x - 6.0) / 54.0);
    return true;
}

std::string holdText(float v) {
    if (v >= 1.0f) return "infinite";
    return textInt("%d ms", 1000 + static_cast<int>(v * 4000.0f));
}

bool holdFromText(const std::string& s, float& v) {
    if (!s.empty() && (s[0] == 'i' || s[0] == 'I')) {
        v = 1;
        return true;
    }
    double x;
    if (!number(s, x)) return false;
    // 5000 ms and more is the top of the scale, which means "hold forever".
    v = x < 1000 ? 0.0f : static_cast<float>(std::min(1.0, (x - 1000.0) / 4000.0));
    return true;
}

}  // namespace vh::editor
