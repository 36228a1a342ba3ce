#pragma once
// A picture held as a cairo image surface (ARGB, premultiplied): loaded from
// a PNG file, from PNG bytes in memory, or drawn by code at start-up.
// A bitmap has a size in logical pixels and a scale: the surface holds
// width·scale by height·scale device pixels and carries the scale as its
// cairo device scale, so code draws into it and blits it in logical
// coordinates while the pixels stay as fine as the screen's.

#include <cstddef>
#include <string>

#include "toolkit/CBaseObject.h"
#include "toolkit/CGeometry.h"

typedef struct _cairo_surface cairo_surface_t;

namespace toolkit {

class CBitmap : public CBaseObject {
public:
    // An empty, fully transparent picture to draw into (see CDrawContext).
    CBitmap(int width, int height, double scale = 1);
    ~CBitmap() override;

    static CBitmap* createFromPngFile(const std::string& path);
    static CBitmap* createFromPngData(const void* data, size_t size);
    // Takes over one reference to an image surface.
    static CBitmap* createFromSurface(cairo_surface_t* surface);

    // Logical size.
    int getWidth() const { return mWidth; }
    int getHeight() const { return mHeight; }
    double getScale() const { return mScale; }
    cairo_surface_t* getSurface() const { return mSurface; }
    // Replaces the pixels by a transparent surface of the same logical size
    // at another scale, for artwork redrawn for a new zoom. Views holding the
    // bitmap keep it.
    void rescale(double scale);

    // Straight (not premultiplied) colour of one logical pixel (its top-left
    // device pixel); transparent outside.
    CColor getPixel(int x, int y) const;
    // The same for one device pixel of the surface.
    CColor getDevicePixel(int x, int y) const;
    bool writePng(const std::string& path) const;

private:
    explicit CBitmap(cairo_surface_t* surface);

    cairo_surface_t* mSurface = nullptr;
    int mWidth = 0;
    int mHeight = 0;
    double mScale = 1;
};

// Device pixels covering n logical pixels at a scale (rounded up, at least 1).
int devicePixels(double n, double scale);

// Reads a pixel from any cairo image surface (ARGB32 or RGB24).
CColor surfacePixel(cairo_surface_t* surface, int x, int y);

}  // namespace toolkit
