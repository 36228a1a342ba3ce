#pragma once
// Drawing on a cairo surface in the coordinates of the view being drawn.
// Containers move the origin for their children and clip each child to its
// rectangle; the frame clips everything to the region being redrawn.

#include <string>
#include <vector>

#include "toolkit/CGeometry.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace toolkit {

class CBitmap;

struct CFontDesc {
    std::string family = "DejaVu Sans";
    double size = 10;
    bool bold = false;
};

class CDrawContext {
public:
    explicit CDrawContext(cairo_surface_t* surface);
    explicit CDrawContext(CBitmap* bitmap);
    ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    // For drawing cairo can do but this class does not wrap; the current
    // origin and clip are already applied.
    cairo_t* getCairo() const { return mCairo; }

    void setFillColor(const CColor& c) { mFillColor = c; }
    void setFrameColor(const CColor& c) { mFrameColor = c; }
    void setFontColor(const CColor& c) { mFontColor = c; }
    const CColor& getFillColor() const { return mFillColor; }
    const CColor& getFrameColor() const { return mFrameColor; }
    const CColor& getFontColor() const { return mFontColor; }
    void setLineWidth(double width) { mLineWidth = width > 0 ? width : 1; }
    double getLineWidth() const { return mLineWidth; }
    void setFont(const CFontDesc& font) { mFont = font; }
    const CFontDesc& getFont() const { return mFont; }

    // Stroked outlines lie inside the rectangle, so a 1-pixel frame covers
    // exactly the outermost pixels.
    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
    void fillRect(const CRect& rect) { drawRect(rect, kDrawFilled); }
    void drawEllipse(const CRect& rect, CDrawStyle style = kDrawStroked);
    // Covers both end pixels; with integer coordinates and a whole line
    // width, horizontal and vertical lines are pixel-exact.
    void drawLine(const CPoint& from, const CPoint& to);
    void drawPolygon(const std::vector<CPoint>& points, CDrawStyle style = kDrawStroked);
    // The rectangle grown or shrunk to the nearest whole device pixels (the
    // same rectangle at a whole-number zoom and integer coordinates).
    CRect alignToDevice(const CRect& rect) const;
    // The smallest rectangle of whole device pixels that covers rect.
    CRect alignOutwardToDevice(const CRect& rect) const;
    // Copies the part of the bitmap that starts at source, as large as dest,
    // without filtering: a bitmap of a lower scale than the surface (the
    // bitmap font) shows as blocks of whole device pixels.
    void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& source = {}, float alpha = 1);
    // Vertically centred in rect, aligned horizontally as asked.
    void drawString(const char* text, const CRect& rect, CHoriTxtAlign align = kCenterText);
    void drawString(const char* text, const CPoint& baseline);
    double getStringWidth(const char* text);

    // Replaces the clip by rect, always within the clip in force at the last
    // saveGlobalState (for a view: the area its container lets it draw).
    void setClipRect(const CRect& rect);
    CRect getClipRect() const;
    // Moves the origin: a view at (x, y) of the new system lies at
    // offset + (x, y) on the surface.
    void setOffset(const CPoint& offset);
    const CPoint& getOffset() const { return mOffset; }
    void saveGlobalState();
    void restoreGlobalState();

    // Used by the frame: the outermost clip in surface coordinates.
    void setGlobalClip(const CRect& deviceRect);

private:
    void applyClip();
    void setSource(const CColor& c);
    void applyFont();

    struct State {
        CPoint offset;
        CRect clip;
        CColor fill, frame, font;
        double lineWidth;
        CFontDesc fontDesc;
    };

    cairo_t* mCairo = nullptr;
    CColor mFillColor = kWhiteCColor;
    CColor mFrameColor = kBlackCColor;
    CColor mFontColor = kBlackCColor;
    double mLineWidth = 1;
    CFontDesc mFont;
    CPoint mOffset;
    CRect mGlobalClip;  // surface coordinates
    CRect mClip;        // surface coordinates, inside mGlobalClip
    std::vector<State> mStates;
};

}  // namespace toolkit
