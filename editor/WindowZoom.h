#pragma once
// The window's zoom: a few fixed steps the preferences page offers, chosen
// by the user, kept per user in the settings store by "SAVE AS DEFAULT", or
// at first taken from the screen's resolution. It is no part of presets or
// the host's chunk.

#include <optional>
#include <string>

#include "platform/SettingsStore.h"

namespace vh::editor {

inline constexpr int kZoomPercents[] = {100, 125, 150, 200, 250, 300};
inline constexpr int kNumZoomSteps = static_cast<int>(sizeof kZoomPercents / sizeof kZoomPercents[0]);
// The resolution a zoom of 100 % is drawn for (X11's and the desktops' base).
inline constexpr double kBaseDpi = 96.0;
// Settings store value: the saved step's percentage as text ("150").
inline constexpr const char* kZoomSetting = "WindowZoom";

inline double zoomFactor(int step) {
    return kZoomPercents[step < 0 ? 0 : step >= kNumZoomSteps ? kNumZoomSteps - 1 : step] / 100.0;
}
// The step nearest to a factor (the lower one on a tie); step 0 for
// anything that is no positive number.
int nearestZoomStep(double factor);
// The step of an exact percentage; none for any other number.
std::optional<int> zoomStepOfPercent(int percent);
// "150 %".
std::string zoomText(int step);

// The saved step; none when nothing (or nothing valid) is stored.
std::optional<int> storedZoomStep(const SettingsStore& settings);
[[nodiscard]] bool storeZoomStep(SettingsStore& settings, int step);

}  // namespace vh::editor
