#pragma once
// The off-screen back-end: an image surface and a queue of injected events,
// delivered at the frame's next idle step exactly as window events would be.
// Pointer positions are injected in device pixels, as a window would report
// them (the same as logical ones at 100 %). For tests and screenshots.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/CPlatformWindow.h"

namespace toolkit {

class COffscreenWindow : public CPlatformWindow {
public:
    COffscreenWindow() = default;
    ~COffscreenWindow() override;

    bool open(CFrame* frame) override;
    void close() override;
    void pumpEvents() override;
    cairo_surface_t* getBackBuffer() override { return mSurface; }
    void present(const std::vector<CRect>& rects) override;
    bool resize() override;
    void setKeyboardFocus(bool wanted) override { mKeyboardFocus = wanted; }

    // Events, queued until the next idle step. timeMs defaults to the
    // frame's clock when the event is delivered.
    void mouseDown(CPoint where, CButtonState buttons = kLButton, std::optional<uint64_t> timeMs = {});
    void mouseUp(CPoint where, CButtonState buttons = kLButton);
    void mouseMoved(CPoint where, CButtonState buttons = 0);
    void mouseExited();
    void wheel(CPoint where, float distance, CButtonState buttons = 0);
    void keyDown(CKeyCode key);
    void key(VirtualKey virt, int32_t modifiers = 0);
    // One key press per character.
    void typeText(const std::string& text);
    // Press, move in steps to the end point, release: a whole drag.
    void drag(CPoint from, CPoint to, CButtonState buttons = kLButton, int steps = 4);
    void click(CPoint where, CButtonState buttons = kLButton);
    void focusLost();
    size_t pendingEvents() const { return mEvents.size(); }

    // What the last idle steps showed, for checks that only the dirty part
    // was drawn. Cleared by takePresented().
    std::vector<CRect> takePresented();
    bool hasKeyboardFocus() const { return mKeyboardFocus; }

private:
    enum class Kind { Down, Up, Moved, Exited, Wheel, Key, FocusLost };
    struct Event {
        Kind kind;
        CPoint where;
        CButtonState buttons;
        float distance = 0;
        CKeyCode key;
        std::optional<uint64_t> timeMs;
    };

    CPoint logical(CPoint device) const;

    CFrame* mFrame = nullptr;
    cairo_surface_t* mSurface = nullptr;
    std::deque<Event> mEvents;
    std::vector<CRect> mPresented;
    bool mKeyboardFocus = false;
};

}  // namespace toolkit
