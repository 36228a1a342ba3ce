// The view layer at a zoom: the window is larger by the zoom, views keep
// their logical rectangles and draw at device resolution, bitmaps of scale 1
// become blocks of whole device pixels (also at zooms that are no whole
// number), and pointer positions in device pixels reach views divided by
// the zoom.

#include <gtest/gtest.h>
#include <cairo.h>

#include <utility>
#include <vector>

#include "ToolkitTestSupport.h"
#include "toolkit/CControls.h"
#include "toolkit/COffscreenWindow.h"

using namespace toolkit;
using namespace toolkit_test;

namespace {

class BitmapView : public CView {
public:
    BitmapView(const CRect& size, CBitmap* bitmap, CPoint source) : CView(size), bitmap(bitmap), source(source) {}
    void draw(CDrawContext* context) override { context->drawBitmap(bitmap, getViewSize(), source); }
    CBitmap* bitmap;
    CPoint source;
};

// A 3 x 3 checkerboard of red and blue above a green row: a glyph-like
// picture whose neighbour must never bleed in.
CBitmap* makeChecker() {
    auto* b = new CBitmap(3, 4);
    CDrawContext context(b);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x) {
            context.setFillColor(y == 3 ? kGreen : (x + y) % 2 ? kBlue : kRed);
            context.fillRect(CRect(x, y, x + 1, y + 1));
        }
    return b;
}

}  // namespace

TEST(ToolkitZoom, ViewsDrawAtTheDeviceSizeOfTheirLogicalRectangles) {
    auto* frame = new CFrame(CRect(0, 0, 40, 30));
    frame->setBackgroundColor(kGrey);
    frame->addView(new ColourView(CRect(10, 5, 20, 15), kRed));
    ASSERT_TRUE(frame->setZoom(2));
    ASSERT_NE(frame->openOffscreen(), nullptr);
    frame->idle();
    EXPECT_EQ(frame->getDeviceWidth(), 80);
    EXPECT_EQ(frame->getDeviceHeight(), 60);
    EXPECT_EQ(frame->getPixel(20, 10), kRed);
    EXPECT_EQ(frame->getPixel(39, 29), kRed);
    EXPECT_EQ(frame->getPixel(19, 10), kGrey);
    EXPECT_EQ(frame->getPixel(40, 29), kGrey);
    EXPECT_EQ(frame->getPixel(39, 30), kGrey);
    frame->forget();
}

TEST(ToolkitZoom, PointerPositionsAreDividedByTheZoom) {
    RecordingListener listener;
    auto* frame = new CFrame(CRect(0, 0, 200, 100));
    auto* knob = new CAnimKnob(CRect(50, 10, 92, 52), &listener, 1, 1, 42, nullptr);
    knob->setValue(0.5f);
    frame->addView(knob);
    ASSERT_TRUE(frame->setZoom(2.5));
    COffscreenWindow* window = frame->openOffscreen();
    ASSERT_NE(window, nullptr);
    // Logical (60, 40) up by 20 logical pixels: 50 device pixels.
    window->drag(CPoint(150, 100), CPoint(150, 50));
    frame->idle();
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6);
    // Logical (45, 30) is left of the knob.
    window->mouseMoved(CPoint(112, 75));
    frame->idle();
    EXPECT_EQ(frame->getHoverView(), nullptr);
    window->mouseMoved(CPoint(126, 75));
    frame->idle();
    EXPECT_EQ(frame->getHoverView(), knob);
    frame->forget();
}

TEST(ToolkitZoom, UnscaledBitmapsBecomeWholeDevicePixelBlocks) {
    for (double zoom : {2.0, 3.0, 1.25, 1.5, 2.5}) {
        CBitmap* checker = makeChecker();
        auto* frame = new CFrame(CRect(0, 0, 40, 20));
        frame->setBackgroundColor(kGrey);
        // Three cells from x 7 to 10 (a logical edge inside a device pixel
        // at most of the zooms), the green row below never shown.
        frame->addView(new BitmapView(CRect(7, 3, 10, 6), checker, CPoint(0, 0)));
        ASSERT_TRUE(frame->setZoom(zoom));
        ASSERT_NE(frame->openOffscreen(), nullptr);
        frame->idle();
        for (int y = 0; y < frame->getDeviceHeight(); ++y)
            for (int x = 0; x < frame->getDeviceWidth(); ++x) {
                CColor c = frame->getPixel(x, y);
                // Only the picture's own colours or the ground: no blend, no
                // green from the row below.
                EXPECT_TRUE(c == kRed || c == kBlue || c == kGrey) << zoom << " at " << x << "," << y;
            }
        // Along the top row: red, blue, red, each as wide as the zoom to a pixel.
        int row = static_cast<int>((3 + 0.5) * zoom);
        std::vector<std::pair<CColor, int>> runs;
        for (int x = 0; x < frame->getDeviceWidth(); ++x) {
            CColor c = frame->getPixel(x, row);
            if (c == kGrey) continue;
            if (runs.empty() || !(runs.back().first == c))
                runs.push_back({c, 1});
            else
                ++runs.back().second;
        }
        ASSERT_EQ(runs.size(), 3u) << zoom;
        EXPECT_EQ(runs[0].first, kRed);
        EXPECT_EQ(runs[1].first, kBlue);
        EXPECT_EQ(runs[2].first, kRed);
        for (auto& run : runs) EXPECT_NEAR(run.second, zoom, 1.0) << zoom;
        frame->forget();
        checker->forget();
    }
}

TEST(ToolkitZoom, ScaledBitmapsKeepTheirLogicalSize) {
    CBitmap bitmap(10, 4, 2.5);
    EXPECT_EQ(bitmap.getWidth(), 10);
    EXPECT_EQ(bitmap.getHeight(), 4);
    EXPECT_EQ(cairo_image_surface_get_width(bitmap.getSurface()), 25);
    EXPECT_EQ(cairo_image_surface_get_height(bitmap.getSurface()), 10);
    {
        CDrawContext context(&bitmap);
        context.setFillColor(kBlue);
        context.fillRect(CRect(2, 2, 4, 4));  // device pixels 5..9 both ways
    }
    EXPECT_EQ(bitmap.getPixel(2, 2), kBlue);
    EXPECT_EQ(bitmap.getDevicePixel(5, 5), kBlue);
    EXPECT_EQ(bitmap.getDevicePixel(9, 9), kBlue);
    EXPECT_EQ(bitmap.getDevicePixel(10, 5), kTransparentCColor);
    EXPECT_EQ(bitmap.getDevicePixel(5, 4), kTransparentCColor);
    bitmap.rescale(1);
    EXPECT_EQ(cairo_image_surface_get_width(bitmap.getSurface()), 10);
    EXPECT_EQ(bitmap.getPixel(2, 2), kTransparentCColor);
}
