// The X11 back-end with a real server: the frame opened as a child of a
// parent window (as a host hands it to effEditOpen), its pixels read back
// from the server, and clicks and keys sent as X events. Starts its own
// Xvfb when DISPLAY is unset; skips when there is none to start.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#ifdef VH_HAVE_XTEST
#include <xcb/xtest.h>
#endif

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "ToolkitTestSupport.h"
#include "toolkit/CControls.h"
#include "PrivateXServer.h"
#include "toolkit/CTextEdit.h"
#include "toolkit/CXcbWindow.h"

using namespace toolkit;
using namespace toolkit_test;

namespace {

class ToolkitX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sDisplay = sServer.start(); }

    static void TearDownTestSuite() {
        sServer.stop();
        sDisplay.clear();
    }

    void SetUp() override {
        if (sDisplay.empty()) GTEST_SKIP() << "no X server and no Xvfb to start";
        connection = xcb_connect(sDisplay.c_str(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(connection));
        screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        parent = vh::test::createParentWindow(connection, screen, 400, 300);
        frame = new CFrame(CRect(0, 0, 200, 100));
        frame->setBackgroundColor(kGrey);
    }

    void TearDown() override {
        if (frame) frame->forget();
        if (connection) {
            xcb_destroy_window(connection, parent);
            xcb_disconnect(connection);
        }
    }

    bool openFrame() {
        return frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), sDisplay.c_str());
    }
    uint32_t child() const { return static_cast<CXcbWindow*>(frame->getPlatformWindow())->getWindow(); }

    // The colour the server holds for a pixel of the frame's window.
    CColor serverPixel(int x, int y) {
        xcb_get_image_reply_t* image = xcb_get_image_reply(
            connection, xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, child(), static_cast<int16_t>(x),
                                      static_cast<int16_t>(y), 1, 1, ~0u),
            nullptr);
        if (!image) return kTransparentCColor;
        const uint8_t* data = xcb_get_image_data(image);
        CColor c{data[2], data[1], data[0]};  // 24-bit TrueColor, little endian
        std::free(image);
        return c;
    }

    // Idles the frame until the server shows what is expected (the map and
    // expose round trips take a moment), a bounded number of times.
    bool waitForPixel(int x, int y, CColor expected) {
        for (int i = 0; i < 400; ++i) {
            frame->idle();
            if (serverPixel(x, y) == expected) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    template <typename Done>
    bool idleUntil(Done done) {
        for (int i = 0; i < 400; ++i) {
            frame->idle();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    void sendButton(uint8_t type, uint8_t button, int x, int y, uint16_t state = 0) {
        xcb_button_press_event_t e;
        std::memset(&e, 0, sizeof e);
        e.response_type = type;
        e.detail = button;
        e.time = ++mTime * 1000;  // far apart: never a double-click by accident
        e.root = screen->root;
        e.event = child();
        e.event_x = static_cast<int16_t>(x);
        e.event_y = static_cast<int16_t>(y);
        e.state = state;
        e.same_screen = 1;
        xcb_send_event(connection, 0, child(), 0, reinterpret_cast<const char*>(&e));
        xcb_flush(connection);
    }

    void sendMotion(int x, int y, uint16_t state) {
        xcb_motion_notify_event_t e;
        std::memset(&e, 0, sizeof e);
        e.response_type = XCB_MOTION_NOTIFY;
        e.root = screen->root;
        e.event = child();
        e.event_x = static_cast<int16_t>(x);
        e.event_y = static_cast<int16_t>(y);
        e.state = state;
        e.same_screen = 1;
        xcb_send_event(connection, 0, child(), 0, reinterpret_cast<const char*>(&e));
        xcb_flush(connection);
    }

    uint8_t keycodeOf(uint32_t keysym) {
        const xcb_setup_t* setup = xcb_get_setup(connection);
        uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
        xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
            connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr);
        uint8_t found = 0;
        if (map) {
            const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
            for (int k = 0; k < count && !found; ++k)
                if (syms[k * map->keysyms_per_keycode] == keysym) found = static_cast<uint8_t>(setup->min_keycode + k);
            std::free(map);
        }
        return found;
    }

    void sendKey(uint32_t keysym) {
        xcb_key_press_event_t e;
        std::memset(&e, 0, sizeof e);
        e.response_type = XCB_KEY_PRESS;
        e.detail = keycodeOf(keysym);
        e.root = screen->root;
        e.event = child();
        e.same_screen = 1;
        ASSERT_NE(e.detail, 0) << "no key for keysym " << keysym;
        xcb_send_event(connection, 0, child(), 0, reinterpret_cast<const char*>(&e));
        xcb_flush(connection);
    }

    static inline std::string sDisplay;
    static inline vh::test::PrivateXServer sServer;
    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
    uint32_t parent = 0;
    CFrame* frame = nullptr;
    uint32_t mTime = 0;
};

}  // namespace

TEST_F(ToolkitX11, ChildWindowShowsWhatTheFrameDrew) {
    auto* view = new ColourView(CRect(20, 20, 60, 50), kRed);
    frame->addView(view);
    ASSERT_TRUE(openFrame());
    EXPECT_TRUE(waitForPixel(30, 30, kRed));
    EXPECT_EQ(serverPixel(100, 80), kGrey);

    // A later change reaches the window through the dirty region alone.
    view->colour = kBlue;
    view->setDirty();
    EXPECT_TRUE(waitForPixel(30, 30, kBlue));
}

TEST_F(ToolkitX11, CaptureReadsTheWholeWindowBack) {
    frame->addView(new ColourView(CRect(0, 0, 100, 100), kBlue));
    frame->addView(new ColourView(CRect(150, 50, 200, 100), kYellow));
    ASSERT_TRUE(openFrame());
    ASSERT_TRUE(waitForPixel(199, 99, kYellow));
    CBitmap* shot = CXcbWindow::captureWindow(sDisplay, child());
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->getWidth(), 200);
    EXPECT_EQ(shot->getHeight(), 100);
    EXPECT_EQ(shot->getPixel(0, 0), kBlue);
    EXPECT_EQ(shot->getPixel(99, 99), kBlue);
    EXPECT_EQ(shot->getPixel(120, 20), kGrey);
    EXPECT_EQ(shot->getPixel(150, 50), kYellow);
    shot->forget();
    EXPECT_EQ(CXcbWindow::captureWindow(sDisplay, 0x7ffffff0u), nullptr);
}

TEST_F(ToolkitX11, ClicksSentToTheWindowReachTheControl) {
    RecordingListener listener;
    CBitmap* strip = makeStrip(30, 15, {kRed, kGreen});
    auto* button = new CMovieButton(CRect(10, 10, 40, 25), &listener, 426, 15, strip);
    strip->forget();
    frame->addView(button);
    ASSERT_TRUE(openFrame());
    ASSERT_TRUE(waitForPixel(20, 15, kRed));
    sendButton(XCB_BUTTON_PRESS, 1, 20, 15);
    sendButton(XCB_BUTTON_RELEASE, 1, 20, 15);
    EXPECT_TRUE(idleUntil([&] { return !listener.events.empty() && listener.events.back() == "end"; }));
    EXPECT_EQ(button->getValue(), 1.0f);
    EXPECT_TRUE(waitForPixel(20, 15, kGreen));
}

TEST_F(ToolkitX11, DragThroughXEventsEndsAtTheLastPosition) {
    RecordingListener listener;
    auto* knob = new CAnimKnob(CRect(50, 10, 92, 52), &listener, 1, 1, 42, nullptr);
    knob->setValue(0.5f);
    frame->addView(knob);
    ASSERT_TRUE(openFrame());
    sendButton(XCB_BUTTON_PRESS, 1, 60, 40);
    for (int y = 39; y >= 20; --y) sendMotion(60, y, XCB_BUTTON_MASK_1);  // 20 pixels up
    sendButton(XCB_BUTTON_RELEASE, 1, 60, 20, XCB_BUTTON_MASK_1);
    EXPECT_TRUE(idleUntil([&] { return !listener.events.empty() && listener.events.back() == "end"; }));
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6);
    EXPECT_TRUE(listener.isOneGesture());
}

// Through the server's own input path: the pointer moves to the knob on
// the screen, so the window must be mapped where the frame says and select
// the right events.
TEST_F(ToolkitX11, RealPointerDragWithXTestMovesTheKnob) {
#ifndef VH_HAVE_XTEST
    GTEST_SKIP() << "built without XTest";
#else
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection, &xcb_test_id);
    if (!xtest || !xtest->present) GTEST_SKIP() << "the X server has no XTest";
    RecordingListener listener;
    auto* knob = new CAnimKnob(CRect(50, 10, 92, 52), &listener, 1, 1, 42, nullptr);
    knob->setValue(0.5f);
    frame->addView(knob);
    ASSERT_TRUE(openFrame());
    ASSERT_TRUE(waitForPixel(5, 5, kGrey));  // mapped and drawn
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, child(), screen->root, 0, 0), nullptr);
    ASSERT_NE(origin, nullptr);
    int x0 = origin->dst_x;
    int y0 = origin->dst_y;
    std::free(origin);
    auto fake = [&](uint8_t type, uint8_t detail, int x, int y) {
        xcb_test_fake_input(connection, type, detail, XCB_CURRENT_TIME, screen->root, static_cast<int16_t>(x),
                            static_cast<int16_t>(y), 0);
        xcb_flush(connection);
    };
    fake(XCB_MOTION_NOTIFY, 0, x0 + 70, y0 + 40);
    fake(XCB_BUTTON_PRESS, 1, 0, 0);
    fake(XCB_MOTION_NOTIFY, 0, x0 + 70, y0 + 30);  // 10 pixels up of 200
    fake(XCB_BUTTON_RELEASE, 1, 0, 0);
    EXPECT_TRUE(idleUntil([&] { return !listener.events.empty() && listener.events.back() == "end"; }));
    EXPECT_NEAR(knob->getValue(), 0.55f, 1e-6);
    EXPECT_TRUE(listener.isOneGesture());
#endif
}

TEST_F(ToolkitX11, WheelAndShiftArriveFromXButtons) {
    RecordingListener listener;
    auto* knob = new CAnimKnob(CRect(50, 10, 92, 52), &listener, 1, 1, 42, nullptr);
    knob->setValue(0.5f);
    frame->addView(knob);
    ASSERT_TRUE(openFrame());
    sendButton(XCB_BUTTON_PRESS, 4, 60, 20);                         // wheel up
    sendButton(XCB_BUTTON_PRESS, 5, 60, 20, XCB_MOD_MASK_SHIFT);     // wheel down, fine
    EXPECT_TRUE(idleUntil([&] { return listener.values.size() == 2; }));
    EXPECT_NEAR(knob->getValue(), 0.509f, 1e-6);
}

TEST_F(ToolkitX11, KeysTypedIntoAFocusedField) {
    RecordingListener listener;
    auto* edit = new CTextEdit(CRect(10, 10, 110, 26), &listener, 5, "");
    frame->addView(edit);
    ASSERT_TRUE(openFrame());
    ASSERT_TRUE(edit->beginTextEditing());
    sendKey('4');
    sendKey('2');
    sendKey(0xff0d);  // Return
    EXPECT_TRUE(idleUntil([&] { return !edit->isTextEditing(); }));
    EXPECT_EQ(edit->getText(), "42");
    EXPECT_EQ(listener.events, (std::vector<std::string>{"begin", "changed", "end"}));
}

TEST_F(ToolkitX11, OpenAndCloseTenTimes) {
    frame->addView(new ColourView(CRect(0, 0, 10, 10), kGreen));
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(openFrame());
        frame->idle();
        frame->close();
        EXPECT_FALSE(frame->isOpen());
    }
    ASSERT_TRUE(openFrame());
    EXPECT_TRUE(waitForPixel(5, 5, kGreen));
}

TEST_F(ToolkitX11, OpeningFailsCleanlyWithoutAServerOrParent) {
    EXPECT_FALSE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(0x7ffffff0u)), sDisplay.c_str()));
    EXPECT_FALSE(frame->isOpen());
    EXPECT_FALSE(frame->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), ":9999"));
    frame->idle();  // harmless when closed
}

TEST(ToolkitXcbKeys, KeysymsBecomeKeyCodes) {
    EXPECT_EQ(CXcbWindow::keyCodeOfKeysym('a', 0).character, U'a');
    EXPECT_EQ(CXcbWindow::keyCodeOfKeysym(0xff0d, 0).virt, kVkReturn);
    EXPECT_EQ(CXcbWindow::keyCodeOfKeysym(0xff8d, 0).virt, kVkEnter);
    EXPECT_EQ(CXcbWindow::keyCodeOfKeysym(0xff1b, 0).virt, kVkEscape);
    EXPECT_EQ(CXcbWindow::keyCodeOfKeysym(0xff08, 0).virt, kVkBack);
    EXPECT_EQ(CXcbWindow::keyCodeOfKeysym(0xffb7, 0).character, U'7');  // keypad 7
    EXPECT_EQ(CXcbWindow::keyCodeOfKeysym(0xffad, 0).character, U'-');  // keypad minus
    EXPECT_EQ(CXcbWindow::keyCodeOfKeysym(0xffe1, 0).character, 0u);    // Shift alone
    EXPECT_EQ(CXcbWindow::keyCodeOfKeysym(0xffe1, 0).virt, kVkNone);
}
