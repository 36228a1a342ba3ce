#include "toolkit/CFrame.h"

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/COffscreenWindow.h"
#include "toolkit/CXcbWindow.h"

namespace toolkit {

CTimer::CTimer(CFrame* frame, uint32_t intervalMs, Callback callback, bool startNow)
    : mFrame(frame), mIntervalMs(intervalMs > 0 ? intervalMs : 1), mCallback(std::move(callback)) {
    if (mFrame) mFrame->mTimers.push_back(this);
    if (startNow) start();
}

CTimer::~CTimer() {
    if (mFrame) {
        auto& timers = mFrame->mTimers;
        timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
    }
}

void CTimer::start() {
    mRunning = true;
    mNextMs = (mFrame ? mFrame->getTimeMs() : 0) + mIntervalMs;
}

void CTimer::stop() { mRunning = false; }

bool CTimer::fireIfDue(uint64_t nowMs) {
    if (!mRunning || nowMs < mNextMs) return false;
    // Skip the steps that were missed, staying on the grid.
    uint64_t missed = (nowMs - mNextMs) / mIntervalMs;
    mNextMs += (missed + 1) * mIntervalMs;
    if (mCallback) mCallback(this);
    return true;
}

CFrame::EventScope::EventScope(CFrame& f) : frame(f) { ++frame.mEventDepth; }

CFrame::EventScope::~EventScope() {
    if (--frame.mEventDepth == 0) frame.finishEvent();
}

CFrame::CFrame(const CRect& size) : CViewContainer(CRect(0, 0, size.getWidth(), size.getHeight())) {
    mClock = [] {
        using namespace std::chrono;
        return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    };
}

CFrame::~CFrame() {
    close();
    removeAll(true);
    for (CView* v : mForgetLater) v->forget();
    mForgetLater.clear();
    for (CTimer* t : mTimers) t->mFrame = nullptr;
    mTimers.clear();
}

bool CFrame::open(void* parentWindow, const char* display) {
    return open(std::make_unique<CXcbWindow>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parentWindow)),
                                             display ? display : ""));
}

COffscreenWindow* CFrame::openOffscreen() {
    auto window = std::make_unique<COffscreenWindow>();
    COffscreenWindow* raw = window.get();
    return open(std::move(window)) ? raw : nullptr;
}

bool CFrame::open(std::unique_ptr<CPlatformWindow> window) {
    close();
    if (!window || !window->open(this)) return false;
    mWindow = std::move(window);
    invalidAll();
    return true;
}

void CFrame::close() {
    if (!mWindow) return;
    mClosing = true;
    setFocusView(nullptr);
    mClosing = false;
    mWindow->close();
    // Closed from a callback while the window is delivering its events: the
    // window object must outlive its own pumpEvents.
    if (mEventDepth > 0)
        mRetiredWindows.push_back(std::move(mWindow));
    else
        mWindow.reset();
    mDirtyRects.clear();
}

bool CFrame::setZoom(double zoom) {
    if (!(zoom > 0) || !std::isfinite(zoom)) return false;
    if (zoom == mZoom) return true;
    double old = mZoom;
    mZoom = zoom;
    if (mWindow) {
        if (!mWindow->resize()) {
            mZoom = old;
            mWindow->resize();
            invalidAll();
            return false;
        }
        mDirtyRects.clear();
        invalidAll();
    }
    return true;
}

int CFrame::getDeviceWidth() const { return devicePixels(getWidth(), mZoom); }
int CFrame::getDeviceHeight() const { return devicePixels(getHeight(), mZoom); }

COffscreenWindow* CFrame::getOffscreenWindow() const { return dynamic_cast<COffscreenWindow*>(mWindow.get()); }

void CFrame::setClock(std::function<uint64_t()> clock) {
    if (clock) mClock = std::move(clock);
}

uint64_t CFrame::getTimeMs() const { return mClock(); }

void CFrame::idle() {
    if (!mWindow) return;
    {
        EventScope scope(*this);
        mWindow->pumpEvents();
        if (!mWindow) return;  // a callback closed the frame
        uint64_t now = getTimeMs();
        for (CTimer* t : std::vector<CTimer*>(mTimers))
            if (std::find(mTimers.begin(), mTimers.end(), t) != mTimers.end()) t->fireIfDue(now);
    }
    redrawDirty();
}

void CFrame::idleModal() {
    if (!mWindow || mModal) return;
    mModal = true;
    {
        EventScope scope(*this);
        mWindow->pumpEvents();
    }
    mModal = false;
    redrawDirty();
}

void CFrame::finishEvent() {
    // Callbacks may queue more work; run until none is left.
    while (!mAfterEvent.empty() || !mForgetLater.empty()) {
        auto after = std::move(mAfterEvent);
        mAfterEvent.clear();
        ++mEventDepth;
        for (auto& fn : after) fn();
        --mEventDepth;
        auto forget = std::move(mForgetLater);
        mForgetLater.clear();
        for (CView* v : forget) v->forget();
    }
    mRetiredWindows.clear();
}

void CFrame::doAfterEventProcessing(std::function<void()> fn) {
    if (!fn) return;
    if (mEventDepth > 0)
        mAfterEvent.push_back(std::move(fn));
    else
        fn();
}

void CFrame::forgetLater(CView* view) { mForgetLater.push_back(view); }

void CFrame::onViewRemoved(CView* view) {
    if (mFocusView && mFocusView->isDescendantOf(view)) setFocusView(nullptr);
    if (mMouseDownView && mMouseDownView->isDescendantOf(view)) mMouseDownView = nullptr;
    if (mHoverView && mHoverView->isDescendantOf(view)) mHoverView = nullptr;
}

void CFrame::mergeDirty(CRect rect) {
    for (;;) {
        bool merged = false;
        for (auto it = mDirtyRects.begin(); it != mDirtyRects.end(); ++it) {
            if (it->rectOverlap(rect)) {
                rect.unite(*it);
                mDirtyRects.erase(it);
                merged = true;
                break;
            }
        }
        if (!merged) break;
    }
    mDirtyRects.push_back(rect);
    if (mDirtyRects.size() > kMaxDirtyRects) {
        CRect all;
        for (const CRect& r : mDirtyRects) all.unite(r);
        mDirtyRects.assign(1, all);
    }
}

void CFrame::invalidRect(const CRect& rect) {
    CRect r = rect;
    r.makeIntegral();
    r.bound(getViewSize());
    if (r.isEmpty()) return;
    mergeDirty(r);
}

void CFrame::redrawDirty() {
    if (!mWindow) return;
    collectDirtyViews();
    if (isDirty()) {
        setDirty(false);
        invalidAll();
    }
    if (mDirtyRects.empty()) return;
    std::vector<CRect> rects;
    rects.swap(mDirtyRects);
    {
        CDrawContext context(mWindow->getBackBuffer());
        for (CRect& r : rects) {
            // Whole device pixels: at a zoom that is no whole number a
            // logical edge cuts a device pixel, which must be drawn whole.
            r = context.alignOutwardToDevice(r);
            context.setGlobalClip(r);
            context.saveGlobalState();
            // Clear first so views that leave pixels alone show the frame's
            // colour, never what was drawn before.
            cairo_t* cr = context.getCairo();
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_set_source_rgba(cr, 0, 0, 0, 1);
            cairo_paint(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            drawRect(&context, r);
            context.restoreGlobalState();
        }
    }
    mWindow->present(rects);
}

bool CFrame::setFocusView(CView* view) {
    if (view == mFocusView) return true;
    if (view && !view->wantsFocus()) return false;
    CView* old = mFocusView;
    mFocusView = nullptr;
    if (old) old->looseFocus();
    // looseFocus may have moved the focus already (a commit that opens
    // another field); respect that.
    if (mFocusView) return view == mFocusView;
    mFocusView = view;
    if (view) view->takeFocus();
    if (mWindow && (old == nullptr) != (view == nullptr)) mWindow->setKeyboardFocus(view != nullptr);
    return true;
}

cairo_surface_t* CFrame::getBackBuffer() const { return mWindow ? mWindow->getBackBuffer() : nullptr; }

CColor CFrame::getPixel(int x, int y) const { return surfacePixel(getBackBuffer(), x, y); }

bool CFrame::writePng(const std::string& path) const {
    cairo_surface_t* s = getBackBuffer();
    return s && cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

void CFrame::platformOnMouseDown(CPoint where, CButtonState buttons, uint64_t timeMs) {
    if (mModal) return;
    EventScope scope(*this);
    int32_t button = buttons.getButtons();
    bool doubleClick = mHaveLastDown && !mLastWasDoubleClick && button == mLastDownButton &&
                       timeMs >= mLastDownTime && timeMs - mLastDownTime <= kDoubleClickMs &&
                       std::fabs(where.x - mLastDownWhere.x) <= kDoubleClickDistance &&
                       std::fabs(where.y - mLastDownWhere.y) <= kDoubleClickDistance;
    mHaveLastDown = true;
    mLastDownButton = button;
    mLastDownTime = timeMs;
    mLastDownWhere = where;
    mLastWasDoubleClick = doubleClick;  // a third click starts a new pair
    if (doubleClick) buttons = CButtonState(buttons.state | kDoubleClick);

    // A click outside the text field being edited ends its editing.
    if (mFocusView && !mFocusView->getFrameRect().pointInside(where)) setFocusView(nullptr);

    mMouseDownView = nullptr;
    CPoint p = where;
    CMouseEventResult result = onMouseDown(p, buttons);
    if (result != kMouseEventHandled) mMouseDownView = nullptr;
}

void CFrame::platformOnMouseUp(CPoint where, CButtonState buttons) {
    if (mModal) return;
    EventScope scope(*this);
    CView* view = mMouseDownView;
    mMouseDownView = nullptr;
    if (view) {
        CPoint p = view->frameToLocal(where);
        view->onMouseUp(p, buttons);
    }
    updateHover(where, CButtonState(buttons.getModifierState()));
}

void CFrame::platformOnMouseMoved(CPoint where, CButtonState buttons) {
    if (mModal) return;
    EventScope scope(*this);
    if (mMouseDownView) {
        CView* view = mMouseDownView;
        CPoint p = view->frameToLocal(where);
        view->onMouseMoved(p, buttons);
        return;
    }
    updateHover(where, buttons);
    CPoint p = where;
    onMouseMoved(p, buttons);
}

void CFrame::updateHover(CPoint where, CButtonState buttons) {
    CView* now = getViewSize().pointInside(where) ? getViewAt(where, true, true) : nullptr;
    if (now == mHoverView) return;
    CView* old = mHoverView;
    mHoverView = now;
    if (old) {
        CPoint p = old->frameToLocal(where);
        old->onMouseExited(p, buttons);
    }
    if (now && now == mHoverView) {
        CPoint p = now->frameToLocal(where);
        now->onMouseEntered(p, buttons);
    }
}

void CFrame::platformOnMouseExited() {
    EventScope scope(*this);
    if (mMouseDownView) return;  // a drag goes on outside the window
    if (CView* old = mHoverView) {
        mHoverView = nullptr;
        CPoint p(-1, -1);
        old->onMouseExited(p, 0);
    }
}

void CFrame::platformOnWheel(CPoint where, float distance, CButtonState buttons) {
    if (mModal) return;
    EventScope scope(*this);
    onWheel(where, distance, buttons);
}

bool CFrame::platformOnKeyDown(const CKeyCode& key) {
    if (mModal) return false;
    EventScope scope(*this);
    return mFocusView && mFocusView->onKeyDown(key);
}

void CFrame::platformOnFocusLost() {
    EventScope scope(*this);
    setFocusView(nullptr);
}

}  // namespace toolkit
