#pragma once
// The X11 back-end: a child window inside the host's window, on our own XCB
// connection, drawn with cairo-xcb from the frame's back buffer. Events are
// read without blocking in pumpEvents, called from the frame's idle step.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/CPlatformWindow.h"

typedef struct xcb_connection_t xcb_connection_t;

namespace toolkit {

class CBitmap;

class CXcbWindow : public CPlatformWindow {
public:
    // parent: the host's window id; 0 makes a top-level window.
    // display: empty for $DISPLAY.
    CXcbWindow(uint32_t parent, std::string display);
    ~CXcbWindow() override;

    bool open(CFrame* frame) override;
    void close() override;
    void pumpEvents() override;
    cairo_surface_t* getBackBuffer() override { return mBackBuffer; }
    void present(const std::vector<CRect>& rects) override;
    bool resize() override;
    // Takes the X keyboard focus for the window, remembering who had it, and
    // hands it back to them when no longer wanted (unless it moved on).
    void setKeyboardFocus(bool wanted) override;
    bool receivesKeysDirectly() const override;

    // The screen's Xft.dpi resource (the RESOURCE_MANAGER property of the
    // first root window), which desktops set to the user's scaling; none
    // when no server answers or the resource is missing or not a number.
    static std::optional<double> readXftDpi(const std::string& display);
    // The value of "Xft.dpi" in the text of a resource database.
    static std::optional<double> xftDpiFromResources(const std::string& resources);

    uint32_t getWindow() const { return mWindow; }
    xcb_connection_t* getConnection() const { return mConnection; }

    // What the server shows of a window (24- or 32-bit TrueColor), as a
    // bitmap; null when it cannot be read. For screenshots and tests.
    static CBitmap* captureWindow(xcb_connection_t* connection, uint32_t window);
    static CBitmap* captureWindow(const std::string& display, uint32_t window);
    CBitmap* capture() const { return captureWindow(mConnection, mWindow); }

    // keysym and modifier state to a key code; public for tests.
    static CKeyCode keyCodeOfKeysym(uint32_t keysym, int32_t modifiers);

private:
    void loadKeyboardMapping();
    uint32_t currentFocus() const;
    uint32_t keysymOf(uint8_t keycode, uint16_t state) const;

    uint32_t mParent;
    std::string mDisplay;
    CFrame* mFrame = nullptr;
    xcb_connection_t* mConnection = nullptr;
    uint32_t mWindow = 0;
    cairo_surface_t* mWindowSurface = nullptr;
    cairo_surface_t* mBackBuffer = nullptr;
    uint32_t mPreviousFocus = 0;
    bool mHavePreviousFocus = false;
    uint8_t mMinKeycode = 0;
    int mKeysymsPerKeycode = 0;
    std::vector<uint32_t> mKeysyms;
};

}  // namespace toolkit
