#pragma once
// What the frame needs from a window system: a back buffer to draw into, a
// way to show the parts of it that were redrawn, and the events, delivered
// to the frame when pumped. Both back-ends draw with cairo into an image
// surface of the frame's size times its zoom (in device pixels, with the
// zoom as the surface's device scale); only the showing and the events
// differ. Pointer positions arrive in device pixels and reach the frame
// divided by the zoom, in the logical coordinates of the view tree.

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
    // The frame's size or zoom changed: a new back buffer (and window size).
    virtual bool resize() = 0;
    // A text field got or lost the keyboard.
    virtual void setKeyboardFocus(bool wanted) {}
    // Whether key presses reach this window from the window system right
    // now; keys forwarded by a host are then the same presses again.
    virtual bool receivesKeysDirectly() const { return false; }
};

}  // namespace toolkit
