// The operator routing page off screen: every control edits the engine
// through the window, the engine's changes come back to it, and the
// predefined routings are drawn from the table the engine applies.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "EditorTestSupport.h"
#include "editor/MatrixPage.h"
#include "engine/PredefinedRoutings.h"

using namespace vh;
using namespace vh::editor;
using namespace vh::test;
using toolkit::CPoint;
using toolkit::CRect;

namespace {

int gainTag(int g) { return param::kInToOp1 + g; }
int linkTag(int from, int to) { return param::kOpToOp + 4 * from + to; }

class RoutingPage : public EditorFixture {
protected:
    void openPage() {
        plugin->setParameter(param::kCurrMain, discreteValue(0, 4));
        open();
        ASSERT_EQ(editor->currentPage(), 0);
        page = editor->matrixPage();
        ASSERT_TRUE(page->isShown());
    }
    CMatrixConn* cell(int tag) { return page->cell(tag); }
    CPoint centre(toolkit::CView* view) { return view->getFrameRect().getCenter(); }
    bool matrixIs(int routing) {
        for (int g = 0; g < kNumRoutingGains; ++g)
            if (plugin->getParameter(gainTag(g)) != predefinedRouting(routing)->gain(g)) return false;
        return true;
    }
    void showView(int view) {
        CRect tabs = page->tabs()->getFrameRect();
        click(CPoint(tabs.getCenter().x + (view ? 40 : -40), tabs.getCenter().y));
        ASSERT_EQ(page->getView(), view);
    }
    CRoutingChooser* openChooser() {
        click(centre(page->caption()));
        return page->caption()->getChooser();
    }

    MatrixPage* page = nullptr;
};

}  // namespace

TEST_F(RoutingPage, CellsStandInTheGridAndShowTheirGainInDb) {
    plugin->setParameter(gainTag(0), 0.5f);
    plugin->setParameter(linkTag(0, 1), 0.004f);
    plugin->setParameter(param::kOpToOut1 + 3, 1.0f);
    openPage();
    EXPECT_EQ(page->getView(), MatrixPage::kConnections);
    // Destination rows 20 pixels apart, source columns 37 apart, the output
    // row under the source columns.
    CRect op1 = cell(linkTag(0, 0))->getFrameRect();
    EXPECT_EQ(cell(linkTag(1, 0))->getFrameRect().left - op1.left, 37);
    EXPECT_EQ(cell(linkTag(3, 0))->getFrameRect().left - op1.left, 3 * 37);
    EXPECT_EQ(cell(linkTag(0, 1))->getFrameRect().top - op1.top, 20);
    EXPECT_EQ(cell(gainTag(1))->getFrameRect().top - op1.top, 20);
    EXPECT_LT(cell(gainTag(0))->getFrameRect().right, op1.left);
    CRect out3 = cell(param::kOpToOut1 + 2)->getFrameRect();
    EXPECT_EQ(out3.left, cell(linkTag(2, 0))->getFrameRect().left);
    EXPECT_GT(out3.top, cell(linkTag(0, 3))->getFrameRect().bottom);
    EXPECT_EQ(page->dryDelay()->getFrameRect(), CRect(350, 64, 482, 75));

    EXPECT_EQ(cell(gainTag(0))->shownText(), "-12");
    EXPECT_EQ(cell(linkTag(0, 1))->shownText(), "-oo");
    EXPECT_EQ(cell(param::kOpToOut1 + 3)->shownText(), "  0");
    EXPECT_EQ(cell(linkTag(2, 2))->shownText(), "OP3");
    // A connection that passes signal is lit (dark ground), a silent one not.
    editor->getFrame()->redrawDirty();
    auto ground = [&](int tag) {
        CRect r = cell(tag)->getFrameRect();
        return editor->getFrame()->getPixel(int(r.left) + 2, int(r.top) + 2);
    };
    EXPECT_EQ(ground(gainTag(0)), kDark);
    EXPECT_EQ(ground(linkTag(0, 1)), kLight);

    // Host automation shows within one idle step.
    plugin->setParameter(linkTag(0, 1), 0.5f);
    plugin->setParameter(param::kDryDly, 1.0f);
    step();
    EXPECT_EQ(cell(linkTag(0, 1))->shownText(), "-12");
    EXPECT_EQ(page->dryDelay()->valueText(), "DLY 8192 (185.8ms)");
}

TEST_F(RoutingPage, DraggingAGainIsOneAutomatedGesture) {
    plugin->setParameter(gainTag(1), 0.5f);
    openPage();
    CPoint at = centre(cell(gainTag(1)));
    // 100 pixels of a 400-pixel range.
    window->drag(at, CPoint(at.x, at.y - 100));
    editor->idle();
    EXPECT_NEAR(plugin->getParameter(gainTag(1)), 0.75f, 1e-4f);
    const auto& gestures = AutomationLog::gestures();
    ASSERT_GE(gestures.size(), 3u);
    EXPECT_EQ(gestures.front().opcode, vst::audioMasterBeginEdit);
    EXPECT_EQ(gestures.back().opcode, vst::audioMasterEndEdit);
    for (const auto& g : gestures) EXPECT_EQ(g.index, gainTag(1));
    EXPECT_TRUE(AutomationLog::contains(gainTag(1)));
    // With Shift the range is 2000 pixels; the wheel moves 0.01 a notch.
    now += 1000;
    window->drag(at, CPoint(at.x, at.y + 100), toolkit::kLButton | toolkit::kShift);
    window->wheel(at, 2);
    editor->idle();
    EXPECT_NEAR(plugin->getParameter(gainTag(1)), 0.72f, 1e-4f);
}

TEST_F(RoutingPage, TypedGainsAreDecibelsAtMostZero) {
    openPage();
    struct Case {
        const char* text;
        float value;
        const char* shown;
    };
    for (Case c : {Case{"3", 1.0f, "  0"}, Case{"-12.0412", 0.5f, "-12"}, Case{"-OO", 0.0f, "-oo"},
                   Case{"-120", 0.0f, "-oo"}}) {
        plugin->setParameter(linkTag(3, 1), 0.3f);
        step();
        doubleClick(centre(cell(linkTag(3, 1))));
        ASSERT_TRUE(cell(linkTag(3, 1))->isTextEditing()) << c.text;
        typeEntry(c.text);
        EXPECT_NEAR(plugin->getParameter(linkTag(3, 1)), c.value, 1e-4f) << c.text;
        EXPECT_EQ(cell(linkTag(3, 1))->shownText(), c.shown) << c.text;
    }
    EXPECT_TRUE(AutomationLog::contains(linkTag(3, 1)));
    // Text that is no number changes nothing.
    doubleClick(centre(cell(linkTag(3, 1))));
    typeEntry("loud");
    EXPECT_EQ(plugin->getParameter(linkTag(3, 1)), 0.0f);
}

TEST_F(RoutingPage, AnOperatorsOwnCellShowsItsNameAndBlinksWhenBypassed) {
    plugin->setParameter(linkTag(1, 1), 0.5f);
    openPage();
    auto* self = dynamic_cast<CMatrixConnOP*>(cell(linkTag(1, 1)));
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->shownText(), "OP2");
    // A wheel step shows the gain for a few redraws, then the name again.
    window->wheel(centre(self), -1);
    editor->idle();
    EXPECT_NEAR(plugin->getParameter(linkTag(1, 1)), 0.49f, 1e-4f);
    EXPECT_EQ(self->shownText(), "-12");
    step(CMatrixConnOP::kValueRedraws + 1);
    EXPECT_EQ(self->shownText(), "OP2");
    // Bypassed, the name is there for half the pulse and gone for the other.
    plugin->setParameter(param::kOpBypass1 + 1, 1.0f);
    step();
    EXPECT_TRUE(self->isBypassed());
    int shown = 0, hidden = 0;
    for (int i = 0; i < 20; ++i) {
        step();
        (self->shownText() == "OP2" ? shown : hidden) += 1;
        EXPECT_EQ(self->shownText() == "OP2", editor->pulse() >= 5 && editor->pulse() < 15);
    }
    EXPECT_EQ(shown, 10);
    EXPECT_EQ(hidden, 10);
    plugin->setParameter(param::kOpBypass1 + 1, 0.0f);
    step();
    EXPECT_FALSE(self->isBypassed());
}

TEST_F(RoutingPage, DryDelayRangeFollowsTheSampleRate) {
    plugin->setSampleRate(96000.0f);
    plugin->setParameter(param::kDryDly, 0.0f);
    openPage();
    CDryDly* delay = page->dryDelay();
    EXPECT_EQ(delay->valueText(), "DLY 0 (0.0ms)");
    doubleClick(centre(delay));
    ASSERT_TRUE(delay->isTextEditing());
    typeEntry("20000");
    EXPECT_EQ(plugin->getParameter(param::kDryDly), 1.0f);
    EXPECT_EQ(delay->valueText(), "DLY 16384 (170.7ms)");
    doubleClick(centre(delay));
    typeEntry("100");
    EXPECT_EQ(plugin->dryDelaySamples(plugin->getParameter(param::kDryDly)), 100);
    EXPECT_TRUE(AutomationLog::contains(param::kDryDly));
    // A drag of 400 pixels covers the whole range; Shift makes it 8000.
    plugin->setParameter(param::kDryDly, 0.0f);
    step();
    window->drag(centre(delay), centre(delay) - CPoint(0, 100));
    editor->idle();
    EXPECT_NEAR(plugin->getParameter(param::kDryDly), 0.25f, 1e-4f);
    now += 1000;
    window->drag(centre(delay), centre(delay) + CPoint(0, 80), toolkit::kLButton | toolkit::kShift);
    editor->idle();
    EXPECT_NEAR(plugin->getParameter(param::kDryDly), 0.24f, 1e-4f);
    // At 192 kHz the whole ring is used.
    plugin->setSampleRate(192000.0f);
    plugin->setParameter(param::kDryDly, 1.0f);
    step();
    EXPECT_EQ(delay->valueText(), "DLY 32768 (170.7ms)");
}

TEST_F(RoutingPage, ChooserHitRulesPickTheRoutingTheEngineApplies) {
    openPage();
    CRoutingChooser* chooser = openChooser();
    ASSERT_NE(chooser, nullptr);
    const CRect grid = chooser->gridRect();
    const double third = grid.getHeight() / 3;
    ASSERT_EQ(third, std::floor(third));
    struct Case {
        double dx, dy;
        int page, entry;
    };
    // 88 pixels right of the left edge is still the first column; each
    // third of the height is a row; page two starts at entry 6.
    for (Case c : {Case{88, third - 1, 0, 0}, Case{89, third, 0, 3}, Case{1, 2 * third, 0, 4},
                   Case{175, 3 * third - 1, 0, 5}, Case{89, 0, 1, 7}, Case{1, 2 * third, 1, 10}}) {
        AutomationLog::entries().clear();
        chooser = page->caption()->getChooser() ? page->caption()->getChooser() : openChooser();
        ASSERT_NE(chooser, nullptr);
        click((c.page ? chooser->nextPageRect() : chooser->previousPageRect()).getCenter());
        ASSERT_EQ(chooser->getPage(), c.page);
        click(CPoint(grid.left + c.dx, grid.top + c.dy));
        EXPECT_FALSE(page->caption()->isChooserOpen()) << c.entry;
        EXPECT_TRUE(matrixIs(c.entry)) << c.entry;
        // Choosing a routing is no host automation.
        EXPECT_TRUE(AutomationLog::entries().empty()) << c.entry;
        step();
        EXPECT_EQ(cell(gainTag(0))->getValue(), predefinedRouting(c.entry)->gain(0)) << c.entry;
    }
    // Routing 10: the input to every operator, every operator to the output,
    // no links between them.
    for (int op = 0; op < 4; ++op) {
        EXPECT_EQ(plugin->getParameter(param::kInToOp1 + op), 1.0f);
        EXPECT_EQ(plugin->getParameter(param::kOpToOut1 + op), 1.0f);
        for (int to = 0; to < 4; ++to) EXPECT_EQ(plugin->getParameter(linkTag(op, to)), 0.0f);
    }
    // Opened again, the chooser shows the page of the routing in force; the
    // empty sixth place and the title choose nothing.
    chooser = openChooser();
    EXPECT_EQ(chooser->getPage(), 1);
    click(CPoint(grid.left + 89, grid.top + 2 * third));
    click(CPoint(grid.left + 10, chooser->boxRect().top + 3));
    ASSERT_TRUE(page->caption()->isChooserOpen());
    EXPECT_TRUE(matrixIs(10));
    // A click elsewhere closes it without a change.
    click(CPoint(100, 300));
    EXPECT_FALSE(page->caption()->isChooserOpen());
    EXPECT_TRUE(matrixIs(10));
    // Closing the window with the chooser open takes the chooser along.
    ASSERT_NE(openChooser(), nullptr);
    editor->close();
    open();
    EXPECT_FALSE(editor->matrixPage()->caption()->isChooserOpen());
}

TEST_F(RoutingPage, ConfigurationSwitchesFlipTheirOwnBit) {
    plugin->setParameter(param::kOpLrMs, discreteValue(0x25, 256));
    plugin->setParameter(param::kOpInv, discreteValue(0, 16));
    openPage();
    // Between centre - 7 and centre + 9 the tabs do nothing.
    CRect tabs = page->tabs()->getFrameRect();
    double c = tabs.getCenter().x;
    click(CPoint(c + 9, tabs.getCenter().y));
    EXPECT_EQ(page->getView(), MatrixPage::kConnections);
    click(CPoint(c + 10, tabs.getCenter().y));
    ASSERT_EQ(page->getView(), MatrixPage::kConfiguration);
    EXPECT_EQ(editor->controlForTag(param::kInToOp1), nullptr);

    CMatrixMS* second = page->channelSwitch(2, true);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->isSet());
    EXPECT_TRUE(page->channelSwitch(0, false)->isSet());
    click(centre(second));
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kOpLrMs), 256), 0x25 ^ 0x40);
    EXPECT_TRUE(second->isSet());
    // Two switches in one idle step both count.
    window->click(centre(page->channelSwitch(1, false)));
    window->click(centre(page->channelSwitch(3, true)));
    editor->idle();
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kOpLrMs), 256), 0x25 ^ 0x40 ^ 0x02 ^ 0x80);

    CMatrixInv* polarity = page->polaritySwitch(1);
    EXPECT_EQ(polarity->shownText(), " + ");
    click(centre(polarity));
    EXPECT_EQ(discreteIndex(plugin->getParameter(param::kOpInv), 16), 0x2);
    EXPECT_EQ(polarity->shownText(), " - ");
    // Each state has its own look.
    editor->getFrame()->redrawDirty();
    auto ground = [&](CControl* control) {
        CRect r = control->getFrameRect();
        return editor->getFrame()->getPixel(int(r.right) - 3, int(r.top) + 2);
    };
    EXPECT_EQ(ground(second), kDark);
    EXPECT_EQ(ground(page->channelSwitch(3, false)), kLight);
    EXPECT_EQ(ground(polarity), kDark);
    EXPECT_EQ(ground(page->polaritySwitch(0)), kLight);

    // The engine's values come back to every switch.
    plugin->setParameter(param::kOpLrMs, discreteValue(0, 256));
    plugin->setParameter(param::kOpInv, discreteValue(0xF, 16));
    step();
    for (int op = 0; op < 4; ++op) {
        EXPECT_FALSE(page->channelSwitch(op, false)->isSet());
        EXPECT_FALSE(page->channelSwitch(op, true)->isSet());
        EXPECT_TRUE(page->polaritySwitch(op)->isSet());
    }

    // The view survives closing the window; a new editor starts on the
    // connections.
    editor->close();
    open();
    EXPECT_EQ(editor->matrixPage()->getView(), MatrixPage::kConfiguration);
    EXPECT_NE(editor->matrixPage()->channelSwitch(0, false), nullptr);
    Editor fresh(plugin.get());
    EXPECT_EQ(fresh.matrixPage()->getView(), MatrixPage::kConnections);
    click(CPoint(c - 8, tabs.getCenter().y));
    EXPECT_EQ(editor->matrixPage()->getView(), MatrixPage::kConnections);
}

TEST(RoutingPictures, EveryConnectionIsOneLineRunningDownward) {
    const CRect area(0, 0, 80, 80);
    for (int r = 0; r < kNumPredefinedRoutings; ++r) {
        const PredefinedRouting& routing = *predefinedRouting(r);
        RoutingPicture picture = layoutRouting(routing, area);
        size_t ones = 0;
        for (int g = 0; g < kNumRoutingGains; ++g) ones += routing.gain(g) == 1.0f;
        EXPECT_EQ(picture.lines.size(), ones) << r;
        // Signal flows from IN at the top to OUT at the bottom.
        for (const auto& line : picture.lines) EXPECT_LT(line.from.y, line.to.y) << r;
        for (int a = 0; a < 4; ++a) {
            ASSERT_TRUE(picture.used[a]) << r;
            EXPECT_TRUE(area.pointInside(picture.op[a])) << r;
            for (int b = a + 1; b < 4; ++b) {
                if (picture.op[a].y != picture.op[b].y) continue;
                EXPECT_GE(std::fabs(picture.op[a].x - picture.op[b].x), 12) << r << ": boxes overlap";
            }
        }
    }
}

TEST_F(RoutingPage, PicturesOfBothViewsAndTheChooser) {
    plugin->setParameter(param::kOpBypass1 + 3, 1.0f);
    openPage();
    EXPECT_TRUE(editor->renderToPng(besideTestBinary("routing-connections.png").c_str()));
    CRoutingChooser* chooser = openChooser();
    EXPECT_TRUE(editor->renderToPng(besideTestBinary("routing-chooser.png").c_str()));
    click(chooser->nextPageRect().getCenter());
    EXPECT_TRUE(editor->renderToPng(besideTestBinary("routing-chooser-2.png").c_str()));
    click(CPoint(100, 300));
    showView(MatrixPage::kConfiguration);
    EXPECT_TRUE(editor->renderToPng(besideTestBinary("routing-configuration.png").c_str()));
}

TEST(RoutingPageCommandLine, ScreenshotOfTheFirstPageShowsTheMatrix) {
    std::string host = VH_HOST_PATH, plugin = VH_PLUGIN_PATH;
    if (host.empty() || plugin.empty()) GTEST_SKIP() << "host or plug-in not built";
    std::string out = besideTestBinary("routing-halyx.png");
    // Routing 10 by its gains: the input column and the output row lit.
    std::string setup;
    for (int g = 0; g < kNumRoutingGains; ++g)
        setup += " --set " + std::to_string(gainTag(g)) + "=" + std::to_string(predefinedRouting(10)->gain(g));
    std::string command = host + " screenshot " + plugin + " " + out + setup + " --page 0 --offscreen > /dev/null";
    ASSERT_EQ(system(command.c_str()), 0);
    toolkit::CBitmap* shot = toolkit::CBitmap::createFromPngFile(out);
    ASSERT_NE(shot, nullptr);
    // Cells by their window position: IN column at x 338, OP1 column at
    // 375, 37 pixels a column; rows from y 95, 20 pixels a row; OUT row at 179.
    for (int op = 0; op < 4; ++op) {
        EXPECT_EQ(shot->getPixel(340, 97 + 20 * op), kDark) << "IN->OP" << op + 1;
        EXPECT_EQ(shot->getPixel(377 + 37 * op, 181), kDark) << "OP" << op + 1 << "->OUT";
        EXPECT_EQ(shot->getPixel(377 + 37 * ((op + 1) % 4), 97 + 20 * op), kLight) << "a link into OP" << op + 1;
    }
    shot->forget();
}
