#pragma once
// Views and view containers. A view's rectangle is given in the coordinates
// of its parent container (a container's children are placed relative to the
// container's top-left corner); mouse positions handed to a view are in the
// same system as its rectangle.

#include <atomic>
#include <vector>

#include "toolkit/CBaseObject.h"
#include "toolkit/CGeometry.h"

namespace toolkit {

class CBitmap;
class CDrawContext;
class CFrame;
class CViewContainer;

class CView : public CBaseObject {
public:
    explicit CView(const CRect& size);
    ~CView() override;

    // Draws the background bitmap, if any; subclasses draw themselves.
    virtual void draw(CDrawContext* context);
    // updateRect (same coordinates as the view's rectangle) is the part that
    // needs drawing; views that are costly to draw may use it.
    virtual void drawRect(CDrawContext* context, const CRect& updateRect) { draw(context); }

    virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) { return kMouseEventNotHandled; }
    virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) { return kMouseEventNotHandled; }
    virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) { return kMouseEventNotHandled; }
    virtual void onMouseEntered(CPoint& where, const CButtonState& buttons) {}
    virtual void onMouseExited(CPoint& where, const CButtonState& buttons) {}
    // distance: notches, positive away from the user (wheel up).
    virtual bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) { return false; }
    virtual bool onKeyDown(const CKeyCode& key) { return false; }

    virtual bool wantsFocus() const { return false; }
    virtual void takeFocus() {}
    virtual void looseFocus() {}

    virtual bool attached(CViewContainer* parent);
    virtual bool removed(CViewContainer* parent);
    bool isAttached() const { return mParent != nullptr; }
    virtual bool isContainer() const { return false; }

    // Redraws the view at the next idle step. Safe from any thread: it only
    // sets a flag the frame collects in idle.
    void setDirty(bool dirty = true) { mDirty.store(dirty, std::memory_order_relaxed); }
    bool isDirty() const { return mDirty.load(std::memory_order_relaxed); }
    // Adds the view's (or part of its) rectangle to the frame's dirty region
    // at once. User-interface thread only.
    void invalid();
    void invalidRect(const CRect& rect);

    const CRect& getViewSize() const { return mSize; }
    void setViewSize(const CRect& rect, bool invalidate = true);
    double getWidth() const { return mSize.getWidth(); }
    double getHeight() const { return mSize.getHeight(); }

    CViewContainer* getParentView() const { return mParent; }
    CFrame* getFrame() const;
    // Between the view's own coordinate system (that of its rectangle) and
    // the frame's.
    CPoint localToFrame(const CPoint& where) const;
    CPoint frameToLocal(const CPoint& where) const;
    CRect getFrameRect() const;
    bool isDescendantOf(const CView* ancestor) const;

    void setVisible(bool visible);
    bool isVisible() const { return mVisible; }
    void setMouseEnabled(bool enabled) { mMouseEnabled = enabled; }
    bool getMouseEnabled() const { return mMouseEnabled; }

    void setBackground(CBitmap* background);
    CBitmap* getBackground() const { return mBackground; }
    void setBackOffset(const CPoint& offset) { mBackOffset = offset; }

protected:
    CRect mSize;
    CViewContainer* mParent = nullptr;
    CBitmap* mBackground = nullptr;
    CPoint mBackOffset;
    bool mVisible = true;
    bool mMouseEnabled = true;
    std::atomic<bool> mDirty{false};
};

class CViewContainer : public CView {
public:
    explicit CViewContainer(const CRect& size);
    ~CViewContainer() override;

    // The container takes over the caller's reference.
    bool addView(CView* view);
    // withForget drops the container's reference; while the frame is
    // delivering an event the view lives on until the event is done, so a
    // control may remove itself from its own callback.
    bool removeView(CView* view, bool withForget = true);
    void removeAll(bool withForget = true);
    bool isChild(const CView* view) const;
    int getNbViews() const { return static_cast<int>(mChildren.size()); }
    CView* getView(int index) const;
    // The topmost visible view under where (container coordinates of this
    // container's parent, like its rectangle); with deep, the innermost.
    CView* getViewAt(const CPoint& where, bool deep = false, bool mouseEnabledOnly = false) const;

    void setBackgroundColor(const CColor& color) { mBackgroundColor = color; }
    const CColor& getBackgroundColor() const { return mBackgroundColor; }

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    virtual void drawBackgroundRect(CDrawContext* context, const CRect& updateRect);

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) override;

    bool attached(CViewContainer* parent) override;
    bool removed(CViewContainer* parent) override;
    bool isContainer() const override { return true; }

    // Children's dirty flags, gathered by the frame.
    void collectDirtyViews();

protected:
    std::vector<CView*> mChildren;
    CColor mBackgroundColor = kTransparentCColor;
};

}  // namespace toolkit
