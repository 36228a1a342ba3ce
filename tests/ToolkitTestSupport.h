#pragma once
// Shared pieces of the toolkit tests: a clock the test moves by hand, a
// listener that records what controls report, a view filled with one colour.

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/CBitmap.h"
#include "toolkit/CControl.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

namespace toolkit_test {

using namespace toolkit;

struct ManualClock {
    uint64_t now = 0;
    auto function() {
        return [this] { return now; };
    }
};

class RecordingListener : public CControlListener {
public:
    void valueChanged(CControl* c) override {
        events.push_back("changed");
        values.push_back(c->getValue());
    }
    void controlBeginEdit(CControl*) override { events.push_back("begin"); }
    void controlEndEdit(CControl*) override { events.push_back("end"); }
    void controlClicked(CControl* c, CButtonState) override { clicks.push_back(c->getTag()); }
    int32_t controlModifierClicked(CControl*, CButtonState buttons) override {
        ++modifierClicks;
        return takeModifierClicks ? 1 : 0;
    }
    // begin, then one or more changes, then end: the events of one gesture.
    bool isOneGesture() const {
        if (events.size() < 3 || events.front() != "begin" || events.back() != "end") return false;
        for (size_t i = 1; i + 1 < events.size(); ++i)
            if (events[i] != "changed") return false;
        return true;
    }
    void clear() {
        events.clear();
        values.clear();
        clicks.clear();
    }

    std::vector<std::string> events;
    std::vector<float> values;
    std::vector<int32_t> clicks;
    int modifierClicks = 0;
    bool takeModifierClicks = false;
};

class ColourView : public CView {
public:
    ColourView(const CRect& size, CColor colour) : CView(size), colour(colour) {}
    void draw(CDrawContext* context) override {
        ++draws;
        context->setFillColor(colour);
        context->fillRect(getViewSize());
    }
    CColor colour;
    int draws = 0;
};

// A strip of n frames of w by h, frame i filled with colours[i].
inline CBitmap* makeStrip(int w, int h, const std::vector<CColor>& colours) {
    auto* strip = new CBitmap(w, h * static_cast<int>(colours.size()));
    CDrawContext context(strip);
    for (size_t i = 0; i < colours.size(); ++i) {
        context.setFillColor(colours[i]);
        context.fillRect(CRect(0, h * static_cast<double>(i), w, h * static_cast<double>(i + 1)));
    }
    return strip;
}

inline constexpr CColor kRed{220, 20, 20};
inline constexpr CColor kGreen{20, 200, 40};
inline constexpr CColor kBlue{30, 40, 220};
inline constexpr CColor kGrey{128, 128, 128};
inline constexpr CColor kYellow{230, 220, 10};

}  // namespace toolkit_test
