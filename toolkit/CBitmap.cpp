#include "toolkit/CBitmap.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace toolkit {

namespace {

struct PngReader {
    const unsigned char* data;
    size_t size;
    size_t position;
};

cairo_status_t readPngBytes(void* closure, unsigned char* out, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->size - reader->position < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data + reader->position, length);
    reader->position += length;
    return CAIRO_STATUS_SUCCESS;
}

// A decoded PNG may come as RGB24 or A8; the draw code assumes ARGB32.
cairo_surface_t* toArgb(cairo_surface_t* loaded) {
    if (cairo_surface_status(loaded) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(loaded);
        return nullptr;
    }
    if (cairo_image_surface_get_format(loaded) == CAIRO_FORMAT_ARGB32) return loaded;
    int w = cairo_image_surface_get_width(loaded);
    int h = cairo_image_surface_get_height(loaded);
    cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(argb);
    cairo_set_source_surface(cr, loaded, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(loaded);
    return argb;
}

}  // namespace

int devicePixels(double n, double scale) {
    // A hair below the next integer counts as that integer: 830·1.25 must
    // not round up to one pixel more because of the binary fraction.
    return std::max(1, static_cast<int>(std::ceil(n * scale - 1e-6)));
}

namespace {
cairo_surface_t* scaledSurface(int width, int height, double scale) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, devicePixels(width, scale),
                                                    devicePixels(height, scale));
    cairo_surface_set_device_scale(s, scale, scale);
    return s;
}
double sanitisedScale(double scale) { return scale > 0 && std::isfinite(scale) ? scale : 1; }
}  // namespace

CBitmap::CBitmap(int width, int height, double scale) : CBitmap(nullptr) {
    mWidth = width > 0 ? width : 1;
    mHeight = height > 0 ? height : 1;
    mScale = sanitisedScale(scale);
    mSurface = scaledSurface(mWidth, mHeight, mScale);
}

void CBitmap::rescale(double scale) {
    scale = sanitisedScale(scale);
    cairo_surface_destroy(mSurface);
    mScale = scale;
    mSurface = scaledSurface(mWidth, mHeight, mScale);
}

CBitmap::CBitmap(cairo_surface_t* surface) : mSurface(surface) {
    if (!surface) return;
    mWidth = cairo_image_surface_get_width(surface);
    mHeight = cairo_image_surface_get_height(surface);
}

CBitmap::~CBitmap() { cairo_surface_destroy(mSurface); }

CBitmap* CBitmap::createFromPngFile(const std::string& path) {
    cairo_surface_t* s = toArgb(cairo_image_surface_create_from_png(path.c_str()));
    return s ? new CBitmap(s) : nullptr;
}

CBitmap* CBitmap::createFromPngData(const void* data, size_t size) {
    if (!data || size == 0) return nullptr;
    PngReader reader{static_cast<const unsigned char*>(data), size, 0};
    cairo_surface_t* s = toArgb(cairo_image_surface_create_from_png_stream(readPngBytes, &reader));
    return s ? new CBitmap(s) : nullptr;
}

CBitmap* CBitmap::createFromSurface(cairo_surface_t* surface) {
    if (!surface) return nullptr;
    cairo_surface_t* s = toArgb(surface);
    return s ? new CBitmap(s) : nullptr;
}

CColor CBitmap::getPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight) return kTransparentCColor;
    return surfacePixel(mSurface, static_cast<int>(std::floor(x * mScale)), static_cast<int>(std::floor(y * mScale)));
}

CColor CBitmap::getDevicePixel(int x, int y) const { return surfacePixel(mSurface, x, y); }

bool CBitmap::writePng(const std::string& path) const {
    return cairo_surface_write_to_png(mSurface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

CColor surfacePixel(cairo_surface_t* surface, int x, int y) {
    if (!surface || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return kTransparentCColor;
    cairo_surface_flush(surface);
    int w = cairo_image_surface_get_width(surface);
    int h = cairo_image_surface_get_height(surface);
    if (x < 0 || y < 0 || x >= w || y >= h) return kTransparentCColor;
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    uint32_t p;
    std::memcpy(&p, row + 4 * x, 4);
    uint8_t a = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32 ? (p >> 24) & 0xff : 255;
    uint8_t r = (p >> 16) & 0xff;
    uint8_t g = (p >> 8) & 0xff;
    uint8_t b = p & 0xff;
    if (a == 0) return kTransparentCColor;
    if (a < 255) {  // undo premultiplication, rounding to nearest
        r = static_cast<uint8_t>((r * 255 + a / 2) / a);
        g = static_cast<uint8_t>((g * 255 + a / 2) / a);
        b = static_cast<uint8_t>((b * 255 + a / 2) / a);
    }
    return {r, g, b, a};
}

}  // namespace toolkit
