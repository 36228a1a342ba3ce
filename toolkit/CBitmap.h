#pragma once
// A picture held as a cairo image surface (ARGB, premultiplied): loaded from
// a PNG file, from PNG bytes in memory, or drawn by code at start-up.

#include <cstddef>
#include <string>

#include "toolkit/CBaseObject.h"
#include "toolkit/CGeometry.h"

typedef struct _cairo_surface cairo_surface_t;

namespace toolkit {

class CBitmap : public CBaseObject {
public:
    // An empty, fully transparent picture to draw into (see CDrawContext).
    CBitmap(int width, int height);
    ~CBitmap() override;

    static CBitmap* createFromPngFile(const std::string& path);
    static CBitmap* createFromPngData(const void* data, size_t size);
    // Takes over one reference to an image surface.
    static CBitmap* createFromSurface(cairo_surface_t* surface);

    int getWidth() const { return mWidth; }
    int getHeight() const { return mHeight; }
    cairo_surface_t* getSurface() const { return mSurface; }

    // Straight (not premultiplied) colour of one pixel; transparent outside.
    CColor getPixel(int x, int y) const;
    bool writePng(const std::string& path) const;

private:
    explicit CBitmap(cairo_surface_t* surface);

    cairo_surface_t* mSurface = nullptr;
    int mWidth = 0;
    int mHeight = 0;
};

// Reads a pixel from any cairo image surface (ARGB32 or RGB24).
CColor surfacePixel(cairo_surface_t* surface, int x, int y);

}  // namespace toolkit
