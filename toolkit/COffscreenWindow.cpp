#include "toolkit/COffscreenWindow.h"

#include <cairo.h>

#include "toolkit/CFrame.h"

namespace toolkit {

COffscreenWindow::~COffscreenWindow() { close(); }

bool COffscreenWindow::open(CFrame* frame) {
    close();
    mFrame = frame;
    if (!resize()) {
        mFrame = nullptr;
        return false;
    }
    return true;
}

bool COffscreenWindow::resize() {
    if (!mFrame || mFrame->getWidth() <= 0 || mFrame->getHeight() <= 0) return false;
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, mFrame->getDeviceWidth(), mFrame->getDeviceHeight());
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_surface_set_device_scale(surface, mFrame->getZoom(), mFrame->getZoom());
    if (mSurface) cairo_surface_destroy(mSurface);
    mSurface = surface;
    return true;
}

CPoint COffscreenWindow::logical(CPoint device) const {
    double zoom = mFrame ? mFrame->getZoom() : 1;
    return {device.x / zoom, device.y / zoom};
}

void COffscreenWindow::close() {
    if (mSurface) cairo_surface_destroy(mSurface);
    mSurface = nullptr;
    mFrame = nullptr;
    mEvents.clear();
}

void COffscreenWindow::pumpEvents() {
    while (!mEvents.empty() && mFrame) {
        Event e = mEvents.front();
        mEvents.pop_front();
        switch (e.kind) {
            case Kind::Down:
                mFrame->platformOnMouseDown(logical(e.where), e.buttons, e.timeMs ? *e.timeMs : mFrame->getTimeMs());
                break;
            case Kind::Up: mFrame->platformOnMouseUp(logical(e.where), e.buttons); break;
            case Kind::Moved: mFrame->platformOnMouseMoved(logical(e.where), e.buttons); break;
            case Kind::Exited: mFrame->platformOnMouseExited(); break;
            case Kind::Wheel: mFrame->platformOnWheel(logical(e.where), e.distance, e.buttons); break;
            case Kind::Key: mFrame->platformOnKeyDown(e.key); break;
            case Kind::FocusLost: mFrame->platformOnFocusLost(); break;
        }
    }
}

void COffscreenWindow::present(const std::vector<CRect>& rects) {
    mPresented.insert(mPresented.end(), rects.begin(), rects.end());
}

std::vector<CRect> COffscreenWindow::takePresented() {
    std::vector<CRect> out;
    out.swap(mPresented);
    return out;
}

void COffscreenWindow::mouseDown(CPoint where, CButtonState buttons, std::optional<uint64_t> timeMs) {
    mEvents.push_back({Kind::Down, where, buttons, 0, {}, timeMs});
}

void COffscreenWindow::mouseUp(CPoint where, CButtonState buttons) {
    mEvents.push_back({Kind::Up, where, buttons, 0, {}, {}});
}

void COffscreenWindow::mouseMoved(CPoint where, CButtonState buttons) {
    mEvents.push_back({Kind::Moved, where, buttons, 0, {}, {}});
}

void COffscreenWindow::mouseExited() { mEvents.push_back({Kind::Exited, {}, 0, 0, {}, {}}); }

void COffscreenWindow::wheel(CPoint where, float distance, CButtonState buttons) {
    mEvents.push_back({Kind::Wheel, where, buttons, distance, {}, {}});
}

void COffscreenWindow::keyDown(CKeyCode key) { mEvents.push_back({Kind::Key, {}, 0, 0, key, {}}); }

void COffscreenWindow::key(VirtualKey virt, int32_t modifiers) {
    CKeyCode k;
    k.virt = virt;
    k.modifiers = modifiers;
    keyDown(k);
}

void COffscreenWindow::typeText(const std::string& text) {
    for (unsigned char c : text) {
        CKeyCode k;
        k.character = c;
        keyDown(k);
    }
}

void COffscreenWindow::drag(CPoint from, CPoint to, CButtonState buttons, int steps) {
    mouseDown(from, buttons);
    if (steps < 1) steps = 1;
    for (int i = 1; i <= steps; ++i) {
        double t = static_cast<double>(i) / steps;
        mouseMoved(CPoint(from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t), buttons);
    }
    mouseUp(to, buttons);
}

void COffscreenWindow::click(CPoint where, CButtonState buttons) {
    mouseDown(where, buttons);
    mouseUp(where, buttons);
}

void COffscreenWindow::focusLost() { mEvents.push_back({Kind::FocusLost, {}, 0, 0, {}, {}}); }

}  // namespace toolkit
