#include "toolkit/CXcbWindow.h"

#include <cairo-xcb.h>
#include <cairo.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"

namespace toolkit {

namespace {

xcb_visualtype_t* findVisual(const xcb_setup_t* setup, xcb_visualid_t id, uint8_t* depthOut) {
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem; xcb_screen_next(&screens)) {
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem; xcb_depth_next(&depths)) {
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem; xcb_visualtype_next(&visuals)) {
                if (visuals.data->visual_id == id) {
                    *depthOut = depths.data->depth;
                    return visuals.data;
                }
            }
        }
    }
    return nullptr;
}

int32_t modifiersOf(uint16_t state) {
    int32_t m = 0;
    if (state & XCB_MOD_MASK_SHIFT) m |= kShift;
    if (state & XCB_MOD_MASK_CONTROL) m |= kControl;
    if (state & XCB_MOD_MASK_1) m |= kAlt;
    return m;
}

int32_t buttonsOf(uint16_t state) {
    int32_t b = modifiersOf(state);
    if (state & XCB_BUTTON_MASK_1) b |= kLButton;
    if (state & XCB_BUTTON_MASK_2) b |= kMButton;
    if (state & XCB_BUTTON_MASK_3) b |= kRButton;
    return b;
}

int32_t buttonOfDetail(uint8_t detail) {
    switch (detail) {
        case 1: return kLButton;
        case 2: return kMButton;
        case 3: return kRButton;
        default: return 0;
    }
}

}  // namespace

CXcbWindow::CXcbWindow(uint32_t parent, std::string display) : mParent(parent), mDisplay(std::move(display)) {}

CXcbWindow::~CXcbWindow() { close(); }

bool CXcbWindow::open(CFrame* frame) {
    close();
    int screenNumber = 0;
    mConnection = xcb_connect(mDisplay.empty() ? nullptr : mDisplay.c_str(), &screenNumber);
    if (!mConnection || xcb_connection_has_error(mConnection)) {
        close();
        return false;
    }
    const xcb_setup_t* setup = xcb_get_setup(mConnection);
    auto screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
    xcb_screen_t* screen = screens.data;
    if (!screen) {
        close();
        return false;
    }
    uint32_t parent = mParent ? mParent : screen->root;

    // The child shares the parent's visual and depth (copy from parent), so
    // cairo has to draw in that visual, whatever the host chose.
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(mConnection, xcb_get_window_attributes(mConnection, parent), nullptr);
    if (!attributes) {  // no such window
        close();
        return false;
    }
    uint8_t depth = 0;
    xcb_visualtype_t* visual = findVisual(setup, attributes->visual, &depth);
    std::free(attributes);
    if (!visual) {
        close();
        return false;
    }

    mFrame = frame;
    int w = frame->getDeviceWidth();
    int h = frame->getDeviceHeight();
    mWindow = xcb_generate_id(mConnection);
    // No background: the window shows our back buffer only, without the
    // server clearing it first (no flicker on expose).
    uint32_t values[] = {
        XCB_BACK_PIXMAP_NONE,
        XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
            XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_ENTER_WINDOW |
            XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY,
    };
    xcb_void_cookie_t created = xcb_create_window_checked(
        mConnection, XCB_COPY_FROM_PARENT, mWindow, parent, 0, 0, static_cast<uint16_t>(w), static_cast<uint16_t>(h), 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXMAP | XCB_CW_EVENT_MASK, values);
    if (xcb_generic_error_t* error = xcb_request_check(mConnection, created)) {
        std::free(error);
        mWindow = 0;
        close();
        return false;
    }
    xcb_map_window(mConnection, mWindow);

    mWindowSurface = cairo_xcb_surface_create(mConnection, mWindow, visual, w, h);
    if (cairo_surface_status(mWindowSurface) != CAIRO_STATUS_SUCCESS || !resize()) {
        close();
        return false;
    }
    loadKeyboardMapping();
    xcb_flush(mConnection);
    return true;
}

bool CXcbWindow::resize() {
    if (!mConnection || !mWindow || !mWindowSurface || !mFrame) return false;
    int w = mFrame->getDeviceWidth();
    int h = mFrame->getDeviceHeight();
    double zoom = mFrame->getZoom();
    cairo_surface_t* back = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(back) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(back);
        return false;
    }
    cairo_surface_set_device_scale(back, zoom, zoom);
    if (mBackBuffer) cairo_surface_destroy(mBackBuffer);
    mBackBuffer = back;
    uint32_t size[] = {static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
    xcb_configure_window(mConnection, mWindow, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    cairo_xcb_surface_set_size(mWindowSurface, w, h);
    // Both surfaces in logical pixels, so present() copies one to the other
    // pixel for pixel.
    cairo_surface_set_device_scale(mWindowSurface, zoom, zoom);
    xcb_flush(mConnection);
    return true;
}

void CXcbWindow::close() {
    if (mWindowSurface) {
        cairo_surface_finish(mWindowSurface);
        // cairo keeps per-connection state keyed by the connection's address;
        // a later connection at the same address would find it stale.
        if (cairo_device_t* device = cairo_surface_get_device(mWindowSurface)) cairo_device_finish(device);
        cairo_surface_destroy(mWindowSurface);
        mWindowSurface = nullptr;
    }
    if (mBackBuffer) {
        cairo_surface_destroy(mBackBuffer);
        mBackBuffer = nullptr;
    }
    if (mConnection) {
        if (mWindow && !xcb_connection_has_error(mConnection)) {
            xcb_destroy_window(mConnection, mWindow);
            xcb_flush(mConnection);
        }
        xcb_disconnect(mConnection);
        mConnection = nullptr;
    }
    mWindow = 0;
    mPreviousFocus = 0;
    mHavePreviousFocus = false;
    mFrame = nullptr;
}

void CXcbWindow::loadKeyboardMapping() {
    const xcb_setup_t* setup = xcb_get_setup(mConnection);
    mMinKeycode = setup->min_keycode;
    uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
        mConnection, xcb_get_keyboard_mapping(mConnection, setup->min_keycode, count), nullptr);
    mKeysyms.clear();
    mKeysymsPerKeycode = 0;
    if (!reply) return;
    mKeysymsPerKeycode = reply->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    mKeysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply));
    std::free(reply);
}

uint32_t CXcbWindow::keysymOf(uint8_t keycode, uint16_t state) const {
    if (mKeysymsPerKeycode <= 0 || keycode < mMinKeycode) return 0;
    size_t base = static_cast<size_t>(keycode - mMinKeycode) * static_cast<size_t>(mKeysymsPerKeycode);
    if (base >= mKeysyms.size()) return 0;
    uint32_t plain = mKeysyms[base];
    uint32_t shifted = mKeysymsPerKeycode > 1 ? mKeysyms[base + 1] : 0;
    bool shift = state & XCB_MOD_MASK_SHIFT;
    // Keypad: Num Lock (Mod2 on every common layout) swaps to the digits.
    if (shifted >= 0xff80 && shifted <= 0xffbd) return ((state & XCB_MOD_MASK_2) != 0) != shift ? shifted : plain;
    bool caps = state & XCB_MOD_MASK_LOCK;
    if (plain >= 'a' && plain <= 'z') {
        bool upper = shift != caps;
        return upper ? (shifted ? shifted : plain - 32) : plain;
    }
    return shift && shifted ? shifted : plain;
}

CKeyCode CXcbWindow::keyCodeOfKeysym(uint32_t keysym, int32_t modifiers) {
    CKeyCode k;
    k.modifiers = modifiers;
    switch (keysym) {
        case 0xff08: k.virt = kVkBack; return k;
        case 0xff09: k.virt = kVkTab; return k;
        case 0xff0d: k.virt = kVkReturn; return k;
        case 0xff8d: k.virt = kVkEnter; return k;
        case 0xff1b: k.virt = kVkEscape; return k;
        case 0xff51: case 0xff96: k.virt = kVkLeft; return k;
        case 0xff52: case 0xff97: k.virt = kVkUp; return k;
        case 0xff53: case 0xff98: k.virt = kVkRight; return k;
        case 0xff54: case 0xff99: k.virt = kVkDown; return k;
        case 0xff50: case 0xff95: k.virt = kVkHome; return k;
        case 0xff57: case 0xff9c: k.virt = kVkEnd; return k;
        case 0xffff: case 0xff9f: k.virt = kVkDelete; return k;
        case 0xffae: k.character = '.'; return k;
        case 0xffac: k.character = ','; return k;
        case 0xffad: k.character = '-'; return k;
        case 0xffab: k.character = '+'; return k;
        case 0xffaa: k.character = '*'; return k;
        case 0xffaf: k.character = '/'; return k;
        default: break;
    }
    if (keysym >= 0xffb0 && keysym <= 0xffb9)
        k.character = U'0' + (keysym - 0xffb0);
    else if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff))
        k.character = keysym;  // Latin-1 keysyms are their code points
    else if (keysym >= 0x01000100 && keysym <= 0x0110ffff)
        k.character = keysym - 0x01000000;
    return k;
}

void CXcbWindow::pumpEvents() {
    if (!mConnection || !mFrame) return;
    CFrame* frame = mFrame;
    const double zoom = frame->getZoom();
    auto logical = [zoom](int x, int y) { return CPoint(x / zoom, y / zoom); };
    // Hosts may idle only 15 times a second; a drag then queues many moves,
    // of which only the latest matters. Each is held back until the next
    // event shows whether another move follows.
    bool haveMove = false;
    xcb_motion_notify_event_t move{};
    auto flushMove = [&] {
        if (!haveMove) return;
        haveMove = false;
        frame->platformOnMouseMoved(logical(move.event_x, move.event_y), buttonsOf(move.state));
    };
    while (mConnection && !xcb_connection_has_error(mConnection)) {
        xcb_generic_event_t* event = xcb_poll_for_event(mConnection);
        if (!event) break;
        uint8_t type = event->response_type & ~0x80;
        if (type == XCB_MOTION_NOTIFY) {
            move = *reinterpret_cast<xcb_motion_notify_event_t*>(event);
            haveMove = true;
            std::free(event);
            continue;
        }
        flushMove();
        if (!mConnection) {  // a callback closed the window
            std::free(event);
            return;
        }
        switch (type) {
            case XCB_EXPOSE: {
                auto* e = reinterpret_cast<xcb_expose_event_t*>(event);
                present({CRect(logical(e->x, e->y), e->width / zoom, e->height / zoom)});
                break;
            }
            case XCB_BUTTON_PRESS: {
                auto* e = reinterpret_cast<xcb_button_press_event_t*>(event);
                CPoint where = logical(e->event_x, e->event_y);
                int32_t modifiers = modifiersOf(e->state);
                if (e->detail == 4 || e->detail == 5)
                    frame->platformOnWheel(where, e->detail == 4 ? 1.0f : -1.0f, buttonsOf(e->state));
                else if (int32_t b = buttonOfDetail(e->detail))
                    frame->platformOnMouseDown(where, b | modifiers, e->time);
                break;
            }
            case XCB_BUTTON_RELEASE: {
                auto* e = reinterpret_cast<xcb_button_release_event_t*>(event);
                if (int32_t b = buttonOfDetail(e->detail))
                    frame->platformOnMouseUp(logical(e->event_x, e->event_y), b | modifiersOf(e->state));
                break;
            }
            case XCB_LEAVE_NOTIFY: {
                auto* e = reinterpret_cast<xcb_leave_notify_event_t*>(event);
                if (e->detail != XCB_NOTIFY_DETAIL_INFERIOR) frame->platformOnMouseExited();
                break;
            }
            case XCB_KEY_PRESS: {
                auto* e = reinterpret_cast<xcb_key_press_event_t*>(event);
                CKeyCode key = keyCodeOfKeysym(keysymOf(e->detail, e->state), modifiersOf(e->state));
                if (key.character || key.virt) frame->platformOnKeyDown(key);
                break;
            }
            case XCB_FOCUS_OUT: {
                auto* e = reinterpret_cast<xcb_focus_out_event_t*>(event);
                // Only the focus really going elsewhere ends typing: not a
                // move into a child, nor the pointer-following focus handing
                // over when we take the keyboard ourselves.
                bool elsewhere = e->detail == XCB_NOTIFY_DETAIL_ANCESTOR || e->detail == XCB_NOTIFY_DETAIL_VIRTUAL ||
                                 e->detail == XCB_NOTIFY_DETAIL_NONLINEAR ||
                                 e->detail == XCB_NOTIFY_DETAIL_NONLINEAR_VIRTUAL;
                if (e->mode == XCB_NOTIFY_MODE_NORMAL && elsewhere) frame->platformOnFocusLost();
                break;
            }
            case XCB_MAPPING_NOTIFY: loadKeyboardMapping(); break;
            default: break;
        }
        std::free(event);
    }
    if (mConnection) flushMove();
}

void CXcbWindow::present(const std::vector<CRect>& rects) {
    if (!mWindowSurface || rects.empty()) return;
    cairo_surface_flush(mBackBuffer);
    cairo_t* cr = cairo_create(mWindowSurface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, mBackBuffer, 0, 0);
    for (const CRect& r : rects) cairo_rectangle(cr, r.left, r.top, r.getWidth(), r.getHeight());
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(mWindowSurface);
    xcb_flush(mConnection);
}

uint32_t CXcbWindow::currentFocus() const {
    if (!mConnection || xcb_connection_has_error(mConnection)) return 0;
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(mConnection, xcb_get_input_focus(mConnection), nullptr);
    if (!reply) return 0;
    uint32_t focus = reply->focus;
    std::free(reply);
    return focus;
}

void CXcbWindow::setKeyboardFocus(bool wanted) {
    if (!mConnection || !mWindow) return;
    // A text field needs the keys, which the host's window has by default;
    // give them back to whoever had them when typing is over, so the host's
    // shortcuts work again.
    uint32_t focus = currentFocus();
    if (wanted) {
        if (focus == mWindow) return;
        mPreviousFocus = focus;
        mHavePreviousFocus = true;
        xcb_set_input_focus(mConnection, XCB_INPUT_FOCUS_PARENT, mWindow, XCB_CURRENT_TIME);
    } else {
        // The user may have moved the focus elsewhere meanwhile: leave it.
        if (focus != mWindow || !mHavePreviousFocus) return;
        uint32_t back = mPreviousFocus != 0 ? mPreviousFocus : mParent;
        mHavePreviousFocus = false;
        if (back == 0) return;
        xcb_set_input_focus(mConnection, XCB_INPUT_FOCUS_PARENT, back, XCB_CURRENT_TIME);
    }
    xcb_flush(mConnection);
}

bool CXcbWindow::receivesKeysDirectly() const { return mWindow != 0 && currentFocus() == mWindow; }

std::optional<double> CXcbWindow::xftDpiFromResources(const std::string& resources) {
    size_t start = 0;
    while (start < resources.size()) {
        size_t end = resources.find('\n', start);
        if (end == std::string::npos) end = resources.size();
        std::string line = resources.substr(start, end - start);
        start = end + 1;
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
        size_t first = name.find_first_not_of(" \t");
        if (first == std::string::npos || name.substr(first) != "Xft.dpi") continue;
        // The C locale's number format whatever the host's locale is.
        std::string value = line.substr(colon + 1);
        size_t v = value.find_first_not_of(" \t");
        if (v == std::string::npos) return std::nullopt;
        double whole = 0, fraction = 0, scale = 1;
        bool digits = false, point = false;
        for (size_t i = v; i < value.size(); ++i) {
            char c = value[i];
            if (c >= '0' && c <= '9') {
                digits = true;
                if (point) {
                    scale /= 10;
                    fraction += (c - '0') * scale;
                } else {
                    whole = whole * 10 + (c - '0');
                }
            } else if (c == '.' && !point) {
                point = true;
            } else {
                break;
            }
        }
        double dpi = whole + fraction;
        if (!digits || !(dpi > 0) || dpi > 10000) return std::nullopt;
        return dpi;
    }
    return std::nullopt;
}

std::optional<double> CXcbWindow::readXftDpi(const std::string& display) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    std::optional<double> dpi;
    if (connection && !xcb_connection_has_error(connection)) {
        auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        // The resource database lives on the first screen's root window.
        if (screens.rem) {
            xcb_get_property_reply_t* reply = xcb_get_property_reply(
                connection,
                xcb_get_property(connection, 0, screens.data->root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0,
                                 1u << 16),
                nullptr);
            if (reply) {
                if (reply->format == 8 && reply->type == XCB_ATOM_STRING) {
                    const char* text = static_cast<const char*>(xcb_get_property_value(reply));
                    dpi = xftDpiFromResources(std::string(text, xcb_get_property_value_length(reply)));
                }
                std::free(reply);
            }
        }
    }
    if (connection) xcb_disconnect(connection);
    return dpi;
}

CBitmap* CXcbWindow::captureWindow(xcb_connection_t* connection, uint32_t window) {
    if (!connection || !window || xcb_connection_has_error(connection)) return nullptr;
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    if (!geometry) return nullptr;
    int w = geometry->width;
    int h = geometry->height;
    uint8_t depth = geometry->depth;
    std::free(geometry);
    if (depth != 24 && depth != 32) return nullptr;
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, static_cast<uint16_t>(w),
                      static_cast<uint16_t>(h), ~0u),
        nullptr);
    if (!image) return nullptr;
    const uint8_t* data = xcb_get_image_data(image);
    int length = xcb_get_image_data_length(image);
    bool lsbFirst = xcb_get_setup(connection)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    CBitmap* bitmap = nullptr;
    // 24 and 32 bits of depth both travel as 32 bits per pixel.
    if (length >= w * h * 4) {
        bitmap = new CBitmap(w, h);
        cairo_surface_t* s = bitmap->getSurface();
        cairo_surface_flush(s);
        unsigned char* out = cairo_image_surface_get_data(s);
        int stride = cairo_image_surface_get_stride(s);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = data + (static_cast<size_t>(y) * w + x) * 4;
                uint32_t pixel = lsbFirst ? (p[0] | p[1] << 8 | p[2] << 16) : (p[3] | p[2] << 8 | p[1] << 16);
                pixel |= 0xff000000u;  // the window is opaque whatever its depth says
                std::memcpy(out + y * stride + x * 4, &pixel, 4);
            }
        }
        cairo_surface_mark_dirty(s);
    }
    std::free(image);
    return bitmap;
}

CBitmap* CXcbWindow::captureWindow(const std::string& display, uint32_t window) {
    xcb_connection_t* connection = xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr);
    CBitmap* bitmap = xcb_connection_has_error(connection) ? nullptr : captureWindow(connection, window);
    xcb_disconnect(connection);
    return bitmap;
}

}  // namespace toolkit
