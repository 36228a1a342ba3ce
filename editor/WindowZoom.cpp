#include "editor/WindowZoom.h"

#include <cmath>
#include <cstdio>

namespace vh::editor {

int nearestZoomStep(double factor) {
    if (!(factor > 0) || !std::isfinite(factor)) return 0;
    int best = 0;
    for (int i = 1; i < kNumZoomSteps; ++i)
        if (std::fabs(zoomFactor(i) - factor) < std::fabs(zoomFactor(best) - factor)) best = i;
    return best;
}

std::optional<int> zoomStepOfPercent(int percent) {
    for (int i = 0; i < kNumZoomSteps; ++i)
        if (kZoomPercents[i] == percent) return i;
    return std::nullopt;
}

std::string zoomText(int step) {
    char text[16];
    std::snprintf(text, sizeof text, "%d %%", static_cast<int>(std::lround(zoomFactor(step) * 100)));
    return text;
}

std::optional<int> storedZoomStep(const SettingsStore& settings) {
    auto text = settings.readString(kZoomSetting, 8);
    if (!text || text->empty()) return std::nullopt;
    int percent = 0;
    for (char c : *text) {
        if (c == '\n') break;
        if (c < '0' || c > '9') return std::nullopt;
        percent = percent * 10 + (c - '0');
    }
    return zoomStepOfPercent(percent);
}

bool storeZoomStep(SettingsStore& settings, int step) {
    if (step < 0 || step >= kNumZoomSteps) return false;
    return settings.writeString(kZoomSetting, std::to_string(kZoomPercents[step]));
}

}  // namespace vh::editor
