#pragma once
// Every picture the editor shows, drawn with cairo when the editor opens, so
// the plug-in carries its images as source and needs no files beside it.
// The pictures are drawn at the window's zoom, at the screen's resolution.

#include "toolkit/CBitmap.h"
#include "toolkit/CGeometry.h"

namespace vh::editor {

inline constexpr toolkit::CColor kLight{210, 217, 223};
inline constexpr toolkit::CColor kDark{44, 53, 52};
inline constexpr toolkit::CColor kMark{210, 6, 6};

inline constexpr int kWindowWidth = 830;
inline constexpr int kWindowHeight = 335;
inline constexpr int kKnobSize = 42;
inline constexpr int kKnobFrames = 102;
inline constexpr int kModuleButtonWidth = 31;
inline constexpr int kModuleButtonFrameHeight = 15;
inline constexpr int kModuleButtonFrames = 20;
inline constexpr int kSwitchWidth = 30;
inline constexpr int kSwitchHeight = 94;
inline constexpr int kMeterWidth = 220;
inline constexpr int kMeterRowHeight = 8;
inline constexpr int kFontHeight = 3072;

class Artwork {
public:
    explicit Artwork(double scale = 1);
    ~Artwork();
    Artwork(const Artwork&) = delete;
    Artwork& operator=(const Artwork&) = delete;

    toolkit::CBitmap* background = nullptr;
    toolkit::CBitmap* knob = nullptr;
    // Four modulator buttons, then four operator buttons.
    toolkit::CBitmap* moduleButtons[8] = {};
    // OP ROUTING, LIBRARY, PREFERENCES, MOD ROUTING.
    toolkit::CBitmap* pageButtons[4] = {};
    toolkit::CBitmap* powerSwitch = nullptr;
    toolkit::CBitmap* meter = nullptr;
    // 384 glyphs of 5 x 8: plain, highlighted, marked, highlighted and marked.
    toolkit::CBitmap* font = nullptr;

    // Draws the pictures again for another zoom, in the same bitmaps, so the
    // views showing them need not change.
    void setScale(double scale);
    double scale() const { return mScale; }

private:
    void draw();
    double mScale = 1;
};

}  // namespace vh::editor
