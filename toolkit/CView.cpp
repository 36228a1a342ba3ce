#include "toolkit/CView.h"

#include <algorithm>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

namespace toolkit {

namespace {

CRect intersection(CRect a, const CRect& b) {
    a.left = std::max(a.left, b.left);
    a.top = std::max(a.top, b.top);
    a.right = std::min(a.right, b.right);
    a.bottom = std::min(a.bottom, b.bottom);
    return a;
}

}  // namespace

CView::CView(const CRect& size) : mSize(size) {}

CView::~CView() {
    if (mBackground) mBackground->forget();
}

void CView::draw(CDrawContext* context) {
    if (mBackground) context->drawBitmap(mBackground, mSize, mBackOffset);
}

bool CView::attached(CViewContainer* parent) {
    mParent = parent;
    return true;
}

bool CView::removed(CViewContainer* parent) {
    mParent = nullptr;
    return true;
}

void CView::invalid() {
    setDirty(false);
    invalidRect(mSize);
}

void CView::invalidRect(const CRect& rect) {
    CFrame* frame = getFrame();
    if (!frame || !mVisible) return;
    CPoint topLeft = localToFrame(rect.getTopLeft());
    frame->invalidRect(CRect(topLeft, rect.getWidth(), rect.getHeight()));
}

void CView::setViewSize(const CRect& rect, bool invalidate) {
    if (invalidate) invalid();
    mSize = rect;
    if (invalidate) invalid();
}

CFrame* CView::getFrame() const {
    const CView* v = this;
    while (v->mParent) v = v->mParent;
    return dynamic_cast<CFrame*>(const_cast<CView*>(v));
}

CPoint CView::localToFrame(const CPoint& where) const {
    CPoint p = where;
    for (const CViewContainer* c = mParent; c && c->getParentView(); c = c->getParentView())
        p = p + c->getViewSize().getTopLeft();
    return p;
}

CPoint CView::frameToLocal(const CPoint& where) const {
    CPoint p = where;
    for (const CViewContainer* c = mParent; c && c->getParentView(); c = c->getParentView())
        p = p - c->getViewSize().getTopLeft();
    return p;
}

CRect CView::getFrameRect() const {
    return CRect(localToFrame(mSize.getTopLeft()), mSize.getWidth(), mSize.getHeight());
}

bool CView::isDescendantOf(const CView* ancestor) const {
    for (const CView* v = this; v; v = v->mParent)
        if (v == ancestor) return true;
    return false;
}

void CView::setVisible(bool visible) {
    if (visible == mVisible) return;
    if (!visible) invalid();
    mVisible = visible;
    if (visible) invalid();
}

void CView::setBackground(CBitmap* background) {
    if (background) background->remember();
    if (mBackground) mBackground->forget();
    mBackground = background;
    setDirty();
}

CViewContainer::CViewContainer(const CRect& size) : CView(size) {}

CViewContainer::~CViewContainer() {
    for (CView* child : mChildren) {
        child->removed(this);
        child->forget();
    }
    mChildren.clear();
}

bool CViewContainer::addView(CView* view) {
    if (!view || view->getParentView()) return false;
    mChildren.push_back(view);
    view->attached(this);
    view->invalid();
    return true;
}

bool CViewContainer::removeView(CView* view, bool withForget) {
    auto it = std::find(mChildren.begin(), mChildren.end(), view);
    if (it == mChildren.end()) return false;
    view->invalid();
    CFrame* frame = getFrame();
    if (frame) frame->onViewRemoved(view);
    mChildren.erase(it);
    view->removed(this);
    if (withForget) {
        if (frame && frame->inEventProcessing())
            frame->forgetLater(view);
        else
            view->forget();
    }
    return true;
}

void CViewContainer::removeAll(bool withForget) {
    while (!mChildren.empty()) removeView(mChildren.back(), withForget);
}

bool CViewContainer::isChild(const CView* view) const {
    return std::find(mChildren.begin(), mChildren.end(), view) != mChildren.end();
}

CView* CViewContainer::getView(int index) const {
    return index >= 0 && index < getNbViews() ? mChildren[static_cast<size_t>(index)] : nullptr;
}

CView* CViewContainer::getViewAt(const CPoint& where, bool deep, bool mouseEnabledOnly) const {
    CPoint local = where - mSize.getTopLeft();
    for (auto it = mChildren.rbegin(); it != mChildren.rend(); ++it) {
        CView* child = *it;
        if (!child->isVisible() || !child->getViewSize().pointInside(local)) continue;
        if (mouseEnabledOnly && !child->getMouseEnabled()) continue;
        if (deep && child->isContainer()) {
            CView* inner = static_cast<CViewContainer*>(child)->getViewAt(local, true, mouseEnabledOnly);
            return inner ? inner : child;
        }
        return child;
    }
    return nullptr;
}

void CViewContainer::draw(CDrawContext* context) { drawRect(context, mSize); }

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& updateRect) {
    if (mBackgroundColor.alpha) {
        context->setFillColor(mBackgroundColor);
        context->fillRect(intersection(mSize, updateRect));
    }
    if (mBackground) context->drawBitmap(mBackground, mSize, mBackOffset);
}

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect) {
    drawBackgroundRect(context, updateRect);
    CPoint origin = mSize.getTopLeft();
    CRect localUpdate = updateRect;
    localUpdate.offset(-origin.x, -origin.y);
    context->saveGlobalState();
    context->setOffset(context->getOffset() + origin);
    CRect containerClip = context->getClipRect();
    for (CView* child : std::vector<CView*>(mChildren)) {
        if (!child->isVisible()) continue;
        CRect area = intersection(intersection(child->getViewSize(), localUpdate), containerClip);
        if (area.isEmpty()) continue;
        context->saveGlobalState();
        context->setClipRect(area);
        context->saveGlobalState();
        child->drawRect(context, area);
        context->restoreGlobalState();
        context->restoreGlobalState();
    }
    context->restoreGlobalState();
}

CMouseEventResult CViewContainer::onMouseDown(CPoint& where, const CButtonState& buttons) {
    CPoint local = where - mSize.getTopLeft();
    std::vector<CView*> children(mChildren);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* child = *it;
        if (!child->isVisible() || !child->getMouseEnabled() || !child->getViewSize().pointInside(local)) continue;
        CPoint p = local;
        CMouseEventResult result = child->onMouseDown(p, buttons);
        if (result == kMouseEventNotHandled) continue;
        CFrame* frame = getFrame();
        // The innermost view that took the press gets the moves and the release.
        if (frame && result == kMouseEventHandled && !frame->getMouseDownView()) frame->setMouseDownView(child);
        return result;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    CPoint local = where - mSize.getTopLeft();
    std::vector<CView*> children(mChildren);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* child = *it;
        if (!child->isVisible() || !child->getMouseEnabled() || !child->getViewSize().pointInside(local)) continue;
        CPoint p = local;
        if (child->onMouseMoved(p, buttons) != kMouseEventNotHandled) return kMouseEventHandled;
    }
    return kMouseEventNotHandled;
}

bool CViewContainer::onWheel(const CPoint& where, float distance, const CButtonState& buttons) {
    CPoint local = where - mSize.getTopLeft();
    std::vector<CView*> children(mChildren);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* child = *it;
        if (!child->isVisible() || !child->getMouseEnabled() || !child->getViewSize().pointInside(local)) continue;
        if (child->onWheel(local, distance, buttons)) return true;
    }
    return false;
}

bool CViewContainer::attached(CViewContainer* parent) { return CView::attached(parent); }

bool CViewContainer::removed(CViewContainer* parent) { return CView::removed(parent); }

void CViewContainer::collectDirtyViews() {
    for (CView* child : mChildren) {
        if (child->isDirty()) {
            child->invalid();
            // A dirty container is redrawn whole, children included.
            if (child->isContainer()) static_cast<CViewContainer*>(child)->collectDirtyViews();
        } else if (child->isContainer()) {
            static_cast<CViewContainer*>(child)->collectDirtyViews();
        }
    }
}

}  // namespace toolkit
