#pragma once
// What the frame needs from a window system: a back buffer to draw into, a
// way to show the parts of it that were redrawn, and the events, delivered
// to the frame when pumped. Both back-ends draw with cairo into an image
// surface of the frame's size; only the showing and the events differ.

#include <cstdint>
#include <vector>

#include "toolkit/CGeometry.h"

typedef struct _cairo_surface cairo_surface_t;

namespace toolkit {

class CFrame;

class CPlatformWindow {
public:
    virtual ~CPlatformWindow() = default;

    virtual bool open(CFrame* frame) = 0;
    virtual void close() = 0;
    // Delivers every event waiting, through the frame's platformOn* calls.
    virtual void pumpEvents() = 0;
    virtual cairo_surface_t* getBackBuffer() = 0;
    // Shows the given rectangles (frame coordinates) of the back buffer.
    virtual void present(const std::vector<CRect>& rects) = 0;
    // A text field got or lost the keyboard.
    virtual void setKeyboardFocus(bool wanted) {}
};

}  // namespace toolkit
