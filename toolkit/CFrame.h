#pragma once
// The root of the view tree and the bridge to the window system. The frame
// has no thread of its own: everything happens inside idle(), which the
// editor calls from the host's idle call. idle() pumps the window's events,
// runs the timers that are due, then redraws only the dirty region.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/CPlatformWindow.h"
#include "toolkit/CView.h"

namespace toolkit {

class CFrame;
class COffscreenWindow;

// A repeating timer driven by the frame's idle step. Interval steps are kept
// on a fixed grid from the start time: a late idle call fires the timer once
// and the next deadline stays on the grid, so timers never fire in bursts
// after a stall (hosts may call idle only about 15 times a second).
class CTimer {
public:
    using Callback = std::function<void(CTimer*)>;

    CTimer(CFrame* frame, uint32_t intervalMs, Callback callback, bool startNow = true);
    ~CTimer();
    CTimer(const CTimer&) = delete;
    CTimer& operator=(const CTimer&) = delete;

    void start();
    void stop();
    bool isRunning() const { return mRunning; }
    uint32_t getInterval() const { return mIntervalMs; }
    void setInterval(uint32_t intervalMs) { mIntervalMs = intervalMs > 0 ? intervalMs : 1; }

private:
    friend class CFrame;
    bool fireIfDue(uint64_t nowMs);

    CFrame* mFrame;
    uint32_t mIntervalMs;
    Callback mCallback;
    uint64_t mNextMs = 0;
    bool mRunning = false;
};

class CFrame : public CViewContainer {
public:
    // The window of a typical desktop's double-click setting.
    static constexpr uint64_t kDoubleClickMs = 400;
    static constexpr double kDoubleClickDistance = 4;
    // More dirty rectangles than this are merged into their bounding box.
    static constexpr size_t kMaxDirtyRects = 16;

    explicit CFrame(const CRect& size);
    ~CFrame() override;

    // As a child of the host's X11 window (the id a Linux host passes to
    // effEditOpen). display: null for $DISPLAY. False without an X server.
    bool open(void* parentWindow, const char* display = nullptr);
    // Off screen, for tests and screenshots; events are injected through
    // the returned window (also getOffscreenWindow()).
    COffscreenWindow* openOffscreen();
    bool open(std::unique_ptr<CPlatformWindow> window);
    void close();
    bool isOpen() const { return mWindow != nullptr; }
    // True while close() takes the focus away: a text field being edited
    // then cancels, since its listener may already be going away.
    bool isClosing() const { return mClosing; }
    CPlatformWindow* getPlatformWindow() const { return mWindow.get(); }
    COffscreenWindow* getOffscreenWindow() const;

    void idle();
    // For waiting inside a modal dialog (CFileSelector's wait callback): keeps
    // the window drawn and answers exposes, but drops mouse and key input and
    // runs no timers, so nothing re-enters the code that opened the dialog.
    void idleModal();

    // Milliseconds of a monotonic clock; tests inject their own.
    void setClock(std::function<uint64_t()> clock);
    uint64_t getTimeMs() const;

    // Device pixels per logical pixel (1 = 100 %). The view tree keeps its
    // logical coordinates; the window is this much larger and drawn at its
    // own resolution. An open window is resized at once and redrawn.
    bool setZoom(double zoom);
    double getZoom() const { return mZoom; }
    // Width and height of the window in device pixels.
    int getDeviceWidth() const;
    int getDeviceHeight() const;

    // Frame coordinates.
    void invalidRect(const CRect& rect);
    void invalidAll() { invalidRect(getViewSize()); }
    const std::vector<CRect>& getDirtyRects() const { return mDirtyRects; }
    // Draws the dirty region now and shows it.
    void redrawDirty();

    bool setFocusView(CView* view);
    CView* getFocusView() const { return mFocusView; }
    CView* getMouseDownView() const { return mMouseDownView; }
    void setMouseDownView(CView* view) { mMouseDownView = view; }
    CView* getHoverView() const { return mHoverView; }

    // Runs fn once the event being delivered is finished (at once when none
    // is): the place to tear down views from a control's own callback.
    void doAfterEventProcessing(std::function<void()> fn);
    bool inEventProcessing() const { return mEventDepth > 0; }
    // Used by containers: keeps a removed view alive until the event ends.
    void forgetLater(CView* view);
    // Used by containers: drops focus, capture and hover of a view leaving.
    void onViewRemoved(CView* view);

    // The drawn picture (image surface of the frame's size times the zoom).
    cairo_surface_t* getBackBuffer() const;
    // One pixel of the back buffer, in device pixels.
    CColor getPixel(int x, int y) const;
    bool writePng(const std::string& path) const;

    // Entry points for the window back-ends. where: frame coordinates.
    // timeMs: the event's time on any millisecond clock, for double-clicks.
    void platformOnMouseDown(CPoint where, CButtonState buttons, uint64_t timeMs);
    void platformOnMouseUp(CPoint where, CButtonState buttons);
    void platformOnMouseMoved(CPoint where, CButtonState buttons);
    void platformOnMouseExited();
    void platformOnWheel(CPoint where, float distance, CButtonState buttons);
    bool platformOnKeyDown(const CKeyCode& key);
    void platformOnFocusLost();

    CFrame* asFrame() { return this; }

private:
    friend class CTimer;
    struct EventScope {
        explicit EventScope(CFrame& f);
        ~EventScope();
        CFrame& frame;
    };
    void finishEvent();
    void updateHover(CPoint where, CButtonState buttons);
    void mergeDirty(CRect rect);

    std::unique_ptr<CPlatformWindow> mWindow;
    std::vector<std::unique_ptr<CPlatformWindow>> mRetiredWindows;
    double mZoom = 1;
    std::function<uint64_t()> mClock;
    std::vector<CRect> mDirtyRects;
    std::vector<CTimer*> mTimers;
    std::vector<std::function<void()>> mAfterEvent;
    std::vector<CView*> mForgetLater;
    int mEventDepth = 0;
    bool mClosing = false;
    bool mModal = false;

    CView* mFocusView = nullptr;
    CView* mMouseDownView = nullptr;
    CView* mHoverView = nullptr;

    int32_t mLastDownButton = 0;
    uint64_t mLastDownTime = 0;
    CPoint mLastDownWhere;
    bool mLastWasDoubleClick = false;
    bool mHaveLastDown = false;
};

}  // namespace toolkit
