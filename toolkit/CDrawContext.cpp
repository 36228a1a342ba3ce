#include "toolkit/CDrawContext.h"

#include <cairo.h>

#include <cmath>

#include "toolkit/CBitmap.h"

namespace toolkit {

namespace {

CRect intersect(CRect a, const CRect& b) {
    a.left = std::max(a.left, b.left);
    a.top = std::max(a.top, b.top);
    a.right = std::min(a.right, b.right);
    a.bottom = std::min(a.bottom, b.bottom);
    if (a.isEmpty()) a.right = a.left, a.bottom = a.top;
    return a;
}

}  // namespace

CDrawContext::CDrawContext(cairo_surface_t* surface) : mCairo(cairo_create(surface)) {
    double w = 0;
    double h = 0;
    if (cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_IMAGE) {
        // A zoomed surface is drawn in logical pixels: its device scale maps
        // them to the surface's own.
        double sx = 1, sy = 1;
        cairo_surface_get_device_scale(surface, &sx, &sy);
        w = cairo_image_surface_get_width(surface) / sx;
        h = cairo_image_surface_get_height(surface) / sy;
    } else {
        double x1, y1, x2, y2;
        cairo_clip_extents(mCairo, &x1, &y1, &x2, &y2);
        w = x2;
        h = y2;
    }
    mGlobalClip = mClip = CRect(0, 0, w, h);
}

CDrawContext::CDrawContext(CBitmap* bitmap) : CDrawContext(bitmap->getSurface()) {}

CDrawContext::~CDrawContext() {
    cairo_surface_flush(cairo_get_target(mCairo));
    cairo_destroy(mCairo);
}

void CDrawContext::setSource(const CColor& c) {
    cairo_set_source_rgba(mCairo, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
    if (rect.isEmpty()) return;
    if (style != kDrawStroked) {
        setSource(mFillColor);
        cairo_rectangle(mCairo, rect.left, rect.top, rect.getWidth(), rect.getHeight());
        cairo_fill(mCairo);
    }
    if (style != kDrawFilled) {
        double h = mLineWidth / 2;
        setSource(mFrameColor);
        cairo_set_line_width(mCairo, mLineWidth);
        cairo_rectangle(mCairo, rect.left + h, rect.top + h, rect.getWidth() - mLineWidth, rect.getHeight() - mLineWidth);
        cairo_stroke(mCairo);
    }
}

void CDrawContext::drawEllipse(const CRect& rect, CDrawStyle style) {
    if (rect.isEmpty()) return;
    auto path = [&](double inset) {
        cairo_save(mCairo);
        cairo_translate(mCairo, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        cairo_scale(mCairo, std::max(rect.getWidth() / 2 - inset, 0.01), std::max(rect.getHeight() / 2 - inset, 0.01));
        cairo_arc(mCairo, 0, 0, 1, 0, 2 * M_PI);
        cairo_restore(mCairo);
    };
    if (style != kDrawStroked) {
        setSource(mFillColor);
        path(0);
        cairo_fill(mCairo);
    }
    if (style != kDrawFilled) {
        setSource(mFrameColor);
        cairo_set_line_width(mCairo, mLineWidth);
        path(mLineWidth / 2);
        cairo_stroke(mCairo);
    }
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
    // Through the pixel centres with square caps: both end pixels covered.
    double shift = std::fmod(mLineWidth, 2.0) == 1.0 ? 0.5 : 0.0;
    setSource(mFrameColor);
    cairo_set_line_width(mCairo, mLineWidth);
    cairo_set_line_cap(mCairo, CAIRO_LINE_CAP_SQUARE);
    cairo_move_to(mCairo, from.x + shift, from.y + shift);
    cairo_line_to(mCairo, to.x + shift, to.y + shift);
    cairo_stroke(mCairo);
    cairo_set_line_cap(mCairo, CAIRO_LINE_CAP_BUTT);
}

void CDrawContext::drawPolygon(const std::vector<CPoint>& points, CDrawStyle style) {
    if (points.size() < 2) return;
    auto path = [&] {
        cairo_move_to(mCairo, points[0].x, points[0].y);
        for (size_t i = 1; i < points.size(); ++i) cairo_line_to(mCairo, points[i].x, points[i].y);
        cairo_close_path(mCairo);
    };
    if (style != kDrawStroked) {
        setSource(mFillColor);
        path();
        cairo_fill(mCairo);
    }
    if (style != kDrawFilled) {
        setSource(mFrameColor);
        cairo_set_line_width(mCairo, mLineWidth);
        path();
        cairo_stroke(mCairo);
    }
}

namespace {
// Rounds a rectangle's corners to whole device pixels: through the current
// matrix to the surface, then through the surface's device scale (which
// cairo's own user-to-device conversion leaves out).
CRect snapToDevice(cairo_t* cr, const CRect& rect, double (*lower)(double), double (*upper)(double)) {
    double sx = 1, sy = 1;
    cairo_surface_get_device_scale(cairo_get_target(cr), &sx, &sy);
    double l = rect.left, t = rect.top, r = rect.right, b = rect.bottom;
    cairo_user_to_device(cr, &l, &t);
    cairo_user_to_device(cr, &r, &b);
    l = lower(l * sx) / sx;
    t = lower(t * sy) / sy;
    r = upper(r * sx) / sx;
    b = upper(b * sy) / sy;
    cairo_device_to_user(cr, &l, &t);
    cairo_device_to_user(cr, &r, &b);
    return CRect(l, t, r, b);
}
// A hair of tolerance: 307·1.25 computed in binary is not to grow a pixel.
double floorTolerant(double v) { return std::floor(v + 1e-6); }
double ceilTolerant(double v) { return std::ceil(v - 1e-6); }
double roundHalfUp(double v) { return std::floor(v + 0.5); }
}  // namespace

CRect CDrawContext::alignToDevice(const CRect& rect) const { return snapToDevice(mCairo, rect, roundHalfUp, roundHalfUp); }

CRect CDrawContext::alignOutwardToDevice(const CRect& rect) const {
    return snapToDevice(mCairo, rect, floorTolerant, ceilTolerant);
}

void CDrawContext::drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& source, float alpha) {
    if (!bitmap || dest.isEmpty()) return;
    // At a zoom that is no whole number a logical pixel edge falls inside a
    // device pixel; snapping the blit to whole device pixels keeps a
    // nearest-neighbour picture (the font above all) free of blended seams.
    CRect snapped = alignToDevice(dest);
    if (snapped.isEmpty()) return;
    cairo_save(mCairo);
    cairo_rectangle(mCairo, snapped.left, snapped.top, snapped.getWidth(), snapped.getHeight());
    cairo_clip(mCairo);
    cairo_set_source_surface(mCairo, bitmap->getSurface(), snapped.left - source.x, snapped.top - source.y);
    // Strips are blitted at whole pixels; no filtering keeps frames crisp
    // and stops the neighbouring frame bleeding in.
    cairo_pattern_set_filter(cairo_get_source(mCairo), CAIRO_FILTER_NEAREST);
    if (alpha >= 1)
        cairo_paint(mCairo);
    else
        cairo_paint_with_alpha(mCairo, std::max(alpha, 0.0f));
    cairo_restore(mCairo);
}

void CDrawContext::applyFont() {
    cairo_select_font_face(mCairo, mFont.family.c_str(), CAIRO_FONT_SLANT_NORMAL,
                           mFont.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(mCairo, mFont.size);
}

double CDrawContext::getStringWidth(const char* text) {
    if (!text || !*text) return 0;
    applyFont();
    cairo_text_extents_t e;
    cairo_text_extents(mCairo, text, &e);
    return e.x_advance;
}

void CDrawContext::drawString(const char* text, const CPoint& baseline) {
    if (!text || !*text) return;
    applyFont();
    setSource(mFontColor);
    cairo_move_to(mCairo, baseline.x, baseline.y);
    cairo_show_text(mCairo, text);
}

void CDrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align) {
    if (!text || !*text) return;
    applyFont();
    cairo_font_extents_t fe;
    cairo_font_extents(mCairo, &fe);
    double width = getStringWidth(text);
    double x = rect.left;
    if (align == kCenterText)
        x = (rect.left + rect.right - width) / 2;
    else if (align == kRightText)
        x = rect.right - width;
    double y = (rect.top + rect.bottom + fe.ascent - fe.descent) / 2;
    drawString(text, CPoint(std::round(x), std::round(y)));
}

void CDrawContext::applyClip() {
    cairo_reset_clip(mCairo);
    cairo_save(mCairo);
    cairo_identity_matrix(mCairo);
    cairo_rectangle(mCairo, mClip.left, mClip.top, mClip.getWidth(), mClip.getHeight());
    cairo_restore(mCairo);
    cairo_clip(mCairo);
}

void CDrawContext::setGlobalClip(const CRect& deviceRect) {
    mGlobalClip = deviceRect;
    mClip = deviceRect;
    applyClip();
}

void CDrawContext::setClipRect(const CRect& rect) {
    CRect device = rect;
    device.offset(mOffset.x, mOffset.y);
    // A view's edge inside a device pixel (a zoom that is no whole number)
    // clips to the whole pixel: a clip through a pixel would blend what the
    // view draws there, snapped to whole pixels, with what lies below.
    double sx = 1, sy = 1;
    cairo_surface_get_device_scale(cairo_get_target(mCairo), &sx, &sy);
    if (sx != 1 || sy != 1) {
        device.left = floorTolerant(device.left * sx) / sx;
        device.top = floorTolerant(device.top * sy) / sy;
        device.right = ceilTolerant(device.right * sx) / sx;
        device.bottom = ceilTolerant(device.bottom * sy) / sy;
    }
    // Never beyond the clip in force when the state was last saved: a view
    // cannot draw outside the area its container gave it.
    mClip = intersect(device, mStates.empty() ? mGlobalClip : mStates.back().clip);
    applyClip();
}

CRect CDrawContext::getClipRect() const {
    CRect r = mClip;
    r.offset(-mOffset.x, -mOffset.y);
    return r;
}

void CDrawContext::setOffset(const CPoint& offset) {
    cairo_translate(mCairo, offset.x - mOffset.x, offset.y - mOffset.y);
    mOffset = offset;
}

void CDrawContext::saveGlobalState() {
    mStates.push_back({mOffset, mClip, mFillColor, mFrameColor, mFontColor, mLineWidth, mFont});
    cairo_save(mCairo);
}

void CDrawContext::restoreGlobalState() {
    if (mStates.empty()) return;
    const State& s = mStates.back();
    mOffset = s.offset;
    mClip = s.clip;
    mFillColor = s.fill;
    mFrameColor = s.frame;
    mFontColor = s.font;
    mLineWidth = s.lineWidth;
    mFont = s.fontDesc;
    mStates.pop_back();
    cairo_restore(mCairo);
}

}  // namespace toolkit
