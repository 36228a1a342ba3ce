// The editor zoomed, off screen: the view tree keeps its logical layout, the
// window grows by the zoom, pointer positions scaled by the zoom land on the
// same controls, drags travel logical pixels, the bitmap font becomes whole
// blocks of device pixels, the host hears of the new size, and the choice is
// kept only by SAVE AS DEFAULT, never in the chunk. Keys a host forwards
// reach an open text field.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "EditorTestSupport.h"
#include "editor/Controls.h"
#include "editor/WindowZoom.h"
#include "toolkit/CXcbWindow.h"

#include <cairo.h>

using namespace vh;
using namespace vh::editor;
using namespace vh::test;
using toolkit::CPoint;
using toolkit::CRect;

namespace {

const CRect kPageArea(307, 43, 524, 217);
const CPoint kOutputKnob{445, 258};
const CPoint kInputKnob{329, 258};

void collectControls(toolkit::CViewContainer* container, std::vector<toolkit::CView*>& out) {
    for (int i = 0; i < container->getNbViews(); ++i) {
        toolkit::CView* v = container->getView(i);
        if (!v->isVisible()) continue;
        if (auto* c = dynamic_cast<toolkit::CViewContainer*>(v)) collectControls(c, out);
        if (dynamic_cast<CControl*>(v) && v->getMouseEnabled()) out.push_back(v);
    }
}

// Output gain for a dB value, as the Output knob's entry stores it.
float outputValueOfDb(double db) { return static_cast<float>(std::sqrt(std::pow(10.0, db / 20.0) * 0.25)); }

class EditorZoom : public EditorFixture {
protected:
    // The view under a pointer at a device position (hover follows it).
    toolkit::CView* viewAtDevice(CPoint device) {
        window->mouseMoved(device);
        editor->idle();
        return editor->getFrame()->getHoverView();
    }
    std::pair<int, int> rectSize() {
        vst::ERect* rect = nullptr;
        EXPECT_TRUE(editor->getRect(&rect));
        return {rect->right - rect->left, rect->bottom - rect->top};
    }
};

}  // namespace

TEST(WindowZoomSteps, NearestStepOfTheScreenResolution) {
    EXPECT_EQ(nearestZoomStep(96.0 / kBaseDpi), 0);
    EXPECT_EQ(nearestZoomStep(120.0 / kBaseDpi), 1);
    EXPECT_EQ(nearestZoomStep(144.0 / kBaseDpi), 2);
    EXPECT_EQ(nearestZoomStep(192.0 / kBaseDpi), 3);
    EXPECT_EQ(nearestZoomStep(200.0 / kBaseDpi), 3);
    EXPECT_EQ(nearestZoomStep(240.0 / kBaseDpi), 4);
    EXPECT_EQ(nearestZoomStep(600.0 / kBaseDpi), 5);
    EXPECT_EQ(nearestZoomStep(72.0 / kBaseDpi), 0);
    EXPECT_EQ(nearestZoomStep(168.0 / kBaseDpi), 2);  // halfway: the smaller
    EXPECT_EQ(nearestZoomStep(std::nan("")), 0);
    EXPECT_EQ(zoomText(2), "150 %");
}

TEST(WindowZoomSteps, XftDpiIsReadFromTheResourceText) {
    using toolkit::CXcbWindow;
    EXPECT_EQ(CXcbWindow::xftDpiFromResources("Xft.dpi:\t192\n"), 192.0);
    EXPECT_EQ(CXcbWindow::xftDpiFromResources("Xft.antialias:\t1\nXft.hinting: 1\n Xft.dpi :  144.5\n"), 144.5);
    EXPECT_EQ(CXcbWindow::xftDpiFromResources("Xcursor.size: 48\n"), std::nullopt);
    EXPECT_EQ(CXcbWindow::xftDpiFromResources("Xft.dpi: big\n"), std::nullopt);
    EXPECT_EQ(CXcbWindow::xftDpiFromResources("Xft.dpi: 0\n"), std::nullopt);
    EXPECT_EQ(CXcbWindow::xftDpiFromResources(""), std::nullopt);
}

TEST_F(EditorZoom, ControlsKeepTheirPlacesAndHitTestsScaleExactly) {
    plugin->setParameter(param::kCurrMain, discreteValue(2, 4));  // preferences
    open();
    EXPECT_EQ(rectSize(), std::make_pair(830, 335));
    std::vector<toolkit::CView*> controls;
    collectControls(editor->getFrame(), controls);
    ASSERT_GT(controls.size(), 30u);
    std::vector<CRect> rects;
    for (auto* c : controls) rects.push_back(c->getFrameRect());
    // Three points inside each control: near both corners and the centre.
    auto probes = [](const CRect& r) {
        return std::vector<CPoint>{{r.left + 0.5, r.top + 0.5}, r.getCenter(), {r.right - 0.5, r.bottom - 0.5}};
    };
    std::vector<toolkit::CView*> hitAt100;
    for (const CRect& r : rects)
        for (CPoint p : probes(r)) hitAt100.push_back(viewAtDevice(p));

    editor->setZoomStep(3);  // 200 %
    step();
    EXPECT_EQ(rectSize(), std::make_pair(1660, 670));
    EXPECT_EQ(editor->getFrame()->getDeviceWidth(), 1660);
    EXPECT_EQ(editor->getFrame()->getDeviceHeight(), 670);
    std::vector<toolkit::CView*> after;
    collectControls(editor->getFrame(), after);
    ASSERT_EQ(after, controls);  // the same views, not rebuilt
    size_t k = 0;
    for (size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(controls[i]->getFrameRect(), rects[i]) << i;
        for (CPoint p : probes(rects[i])) {
            EXPECT_EQ(viewAtDevice(CPoint(p.x * 2, p.y * 2)), hitAt100[k]) << i << " at " << p.x << "," << p.y;
            ++k;
        }
    }
}

TEST_F(EditorZoom, FontAndPageAreWholeBlocksOfTheSmallerPicture) {
    plugin->setParameter(param::kCurrMain, discreteValue(2, 4));
    open();
    editor->getFrame()->invalidAll();
    step();
    auto* frame = editor->getFrame();
    std::vector<toolkit::CColor> at100;
    for (int y = int(kPageArea.top); y < int(kPageArea.bottom); ++y)
        for (int x = int(kPageArea.left); x < int(kPageArea.right); ++x) at100.push_back(frame->getPixel(x, y));

    editor->setZoomStep(3);
    step();
    // The zoom line itself reads "200 %" now.
    const CRect zoomLine = editor->controlForTag(tag::kWindowZoom)->getFrameRect();
    size_t i = 0;
    int dark = 0, mismatches = 0;
    for (int y = int(kPageArea.top); y < int(kPageArea.bottom); ++y)
        for (int x = int(kPageArea.left); x < int(kPageArea.right); ++x, ++i) {
            if (zoomLine.pointInside(CPoint(x, y))) continue;
            toolkit::CColor want = at100[i];
            dark += want == kDark;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) mismatches += !(frame->getPixel(2 * x + dx, 2 * y + dy) == want);
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(dark, 500);  // the page's text was there to compare

    // Pictures for people to look at.
    EXPECT_TRUE(editor->renderToPng(besideTestBinary("editor-zoom-200.png").c_str()));
    editor->setZoomStep(0);
    EXPECT_TRUE(editor->renderToPng(besideTestBinary("editor-zoom-100.png").c_str()));
}

TEST_F(EditorZoom, ArtworkIsDrawnAtTheScreensResolution) {
    open();
    editor->setZoomStep(3);
    step();
    // The knob's outline is drawn for 2x: its strip holds twice the pixels,
    // and the window shows edges one device pixel wide, not doubled ones.
    const Artwork* art = editor->artwork();
    EXPECT_EQ(art->knob->getWidth(), kKnobSize);
    EXPECT_EQ(cairo_image_surface_get_width(art->knob->getSurface()), 2 * kKnobSize);
    EXPECT_EQ(cairo_image_surface_get_width(art->font->getSurface()), 5);
    int oddEdges = 0;
    auto* frame = editor->getFrame();
    // Across the Input knob's row at its centre: some colour change falls
    // between the two device pixels of one logical pixel.
    int y = int(kInputKnob.y * 2);
    for (int x = 2 * 308; x < 2 * 350; x += 2)
        oddEdges += !(frame->getPixel(x, y) == frame->getPixel(x + 1, y));
    EXPECT_GT(oddEdges, 0);
}

TEST_F(EditorZoom, DragTravelsLogicalPixelsAtEveryZoom) {
    for (int stepIndex : {0, 3, 5}) {
        editor->setZoomStep(stepIndex);
        open();
        double z = zoomFactor(stepIndex);
        plugin->setParameter(param::kInput, 0.5f);
        step();
        now += 1000;
        // 50 logical pixels up: a quarter of the 200-pixel range.
        window->drag(CPoint(kInputKnob.x * z, kInputKnob.y * z), CPoint(kInputKnob.x * z, (kInputKnob.y - 50) * z));
        step();
        EXPECT_NEAR(plugin->getParameter(param::kInput), 0.75f, 1e-4f) << kZoomPercents[stepIndex];
        editor->close();
    }
}

TEST_F(EditorZoom, ChoosingAZoomResizesTheHostWindowAndSavingKeepsIt) {
    plugin->setParameter(param::kCurrMain, discreteValue(2, 4));
    open();
    void* chunk = nullptr;
    int32_t size = plugin->getChunk(&chunk, false);
    std::vector<char> before(static_cast<char*>(chunk), static_cast<char*>(chunk) + size);
    int numParams = plugin->getAeffect()->numParams;

    auto* zoom = dynamic_cast<CModuleParamDiscreet*>(editor->controlForTag(tag::kWindowZoom));
    ASSERT_NE(zoom, nullptr);
    EXPECT_EQ(zoom->getLabel(), "window zoom");
    EXPECT_EQ(zoom->displayText(), "100 %");
    click(centreOf(tag::kWindowZoom));
    EXPECT_EQ(zoom->displayText(), "125 %");
    EXPECT_EQ(editor->getFrame()->getZoom(), 1.25);
    ASSERT_EQ(AutomationLog::sizeRequests().size(), 1u);
    EXPECT_EQ(AutomationLog::sizeRequests()[0], std::make_pair(1038, 419));  // 830·1.25 = 1037.5 rounds up
    EXPECT_EQ(rectSize(), std::make_pair(1038, 419));
    // Clicks now come in device pixels: a right click at the scaled place
    // goes back a step.
    CPoint c = centreOf(tag::kWindowZoom);
    click(CPoint(c.x * 1.25, c.y * 1.25), toolkit::kRButton);
    EXPECT_EQ(zoom->displayText(), "100 %");
    click(CPoint(c.x, c.y), toolkit::kRButton);
    EXPECT_EQ(zoom->displayText(), "300 %");
    EXPECT_EQ(rectSize(), std::make_pair(2490, 1005));
    EXPECT_EQ(AutomationLog::sizeRequests().back(), std::make_pair(2490, 1005));

    // Not a preset value: neither the chunk nor the parameter count moved,
    // and nothing is stored until SAVE AS DEFAULT.
    size = plugin->getChunk(&chunk, false);
    EXPECT_EQ(std::vector<char>(static_cast<char*>(chunk), static_cast<char*>(chunk) + size), before);
    EXPECT_EQ(plugin->getAeffect()->numParams, numParams);
    SettingsStore settings(mFolder);
    EXPECT_FALSE(settings.contains(kZoomSetting));
    click(CPoint(centreOf(param::kSaveAsDefault).x * 3, centreOf(param::kSaveAsDefault).y * 3));
    EXPECT_EQ(settings.readString(kZoomSetting), "300");

    // A new instance opens at the saved zoom, whatever the screen says.
    Plugin second(&AutomationLog::callback, mFolder);
    Editor secondEditor(&second, mFolder);
    secondEditor.setDpiSource([] { return std::optional<double>(96.0); });
    vst::ERect* rect = nullptr;
    ASSERT_TRUE(secondEditor.getRect(&rect));
    EXPECT_EQ(rect->right - rect->left, 2490);
}

TEST_F(EditorZoom, WithoutAChoiceTheScreenResolutionDecides) {
    editor->setDpiSource([] { return std::optional<double>(192.0); });
    EXPECT_EQ(rectSize(), std::make_pair(1660, 670));
    open();
    EXPECT_EQ(editor->getFrame()->getZoom(), 2.0);
    // A saved zoom that is no step is ignored.
    SettingsStore settings(mFolder);
    ASSERT_TRUE(settings.writeString(kZoomSetting, "175"));
    Plugin second(&AutomationLog::callback, mFolder);
    Editor secondEditor(&second, mFolder);
    secondEditor.setDpiSource([] { return std::optional<double>(144.0); });
    vst::ERect* rect = nullptr;
    ASSERT_TRUE(secondEditor.getRect(&rect));
    EXPECT_EQ(rect->right - rect->left, 1245);
}

TEST_F(EditorZoom, KeysForwardedByTheHostReachAnOpenField) {
    open();
    auto key = [this](int32_t character, int virt = 0, int modifiers = 0) {
        return plugin->getAeffect()->dispatcher(plugin->getAeffect(), vst::effEditKeyDown, character, virt, nullptr,
                                                static_cast<float>(modifiers));
    };
    // No field open: the keys stay the host's.
    EXPECT_EQ(key('a'), 0);
    doubleClick(kOutputKnob);
    ASSERT_NE(editor->getFrame()->getFocusView(), nullptr);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(key(0, vst::VKEY_BACK), 1);
    EXPECT_EQ(key('-'), 1);
    EXPECT_EQ(key(0, vst::VKEY_NUMPAD0 + 6), 1);
    EXPECT_EQ(plugin->getAeffect()->dispatcher(plugin->getAeffect(), vst::effEditKeyUp, 0, vst::VKEY_NUMPAD0 + 6,
                                               nullptr, 0.0f),
              1);
    EXPECT_EQ(key(0, vst::VKEY_RETURN), 1);
    EXPECT_EQ(editor->getFrame()->getFocusView(), nullptr);
    EXPECT_NEAR(plugin->getParameter(param::kOutput), outputValueOfDb(-6), 1e-5f);

    // Escape cancels.
    doubleClick(kOutputKnob);
    key('0');
    EXPECT_EQ(key(0, vst::VKEY_ESCAPE), 1);
    EXPECT_NEAR(plugin->getParameter(param::kOutput), outputValueOfDb(-6), 1e-5f);
    // Function keys and Control shortcuts are left to the host.
    doubleClick(kOutputKnob);
    EXPECT_EQ(key(0, vst::VKEY_F1 + 4), 0);
    EXPECT_EQ(key('s', 0, vst::MODIFIER_CONTROL), 0);
    // Tab stays in the window: it ends the field and moves the keys nowhere.
    EXPECT_EQ(key(0, vst::VKEY_TAB), 1);
    EXPECT_EQ(editor->getFrame()->getFocusView(), nullptr);
}
