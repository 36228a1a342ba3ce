// The editor through the built plug-in, in a real X window: loaded with
// dlopen and VSTPluginMain, opened inside a parent window the test makes
// (as a host would), driven with X events, closed and reopened. Starts its
// own Xvfb when DISPLAY names no server; skips when there is none to start.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cairo.h>
#include <xcb/xcb.h>
#ifdef VH_HAVE_XTEST
#include <xcb/xtest.h>
#endif

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "EditorTestSupport.h"
#include "PluginHost.h"
#include "PrivateXServer.h"
#include "editor/WindowZoom.h"
#include "engine/Plugin.h"
#include "platform/SettingsStore.h"

using vh::test::PluginHost;

namespace {

class EditorX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* env = std::getenv("DISPLAY");
        sOldDisplay = env ? env : "";
        sDisplay = sServer.start();
        // The plug-in, like any, opens the display the host runs on.
        if (sServer.ownsServer()) setenv("DISPLAY", sDisplay.c_str(), 1);
    }

    static void TearDownTestSuite() {
        if (sServer.ownsServer()) {
            if (sOldDisplay.empty())
                unsetenv("DISPLAY");
            else
                setenv("DISPLAY", sOldDisplay.c_str(), 1);
        }
        sServer.stop();
        sDisplay.clear();
    }

    void SetUp() override {
        if (sDisplay.empty()) GTEST_SKIP() << "no X server and no Xvfb to start";
        connection = xcb_connect(sDisplay.c_str(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(connection));
        screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        parent = vh::test::createParentWindow(connection, screen, 830, 335);
        // The window's size must not depend on the resolution of whatever
        // display runs the tests: a saved zoom of 100 % comes before Xft.dpi.
        vh::SettingsStore settings(vh::SettingsStore::userFolder());
        ASSERT_TRUE(settings.writeString(vh::editor::kZoomSetting, "100"));
        ASSERT_TRUE(host.open());
    }

    void TearDown() override {
        host.close();
        if (connection) {
            xcb_destroy_window(connection, parent);
            xcb_disconnect(connection);
        }
    }

    bool openEditor() {
        return host.call(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))) != 0;
    }

    uint32_t child() {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, parent), nullptr);
        uint32_t found = 0;
        if (tree) {
            if (xcb_query_tree_children_length(tree) > 0) found = xcb_query_tree_children(tree)[0];
            std::free(tree);
        }
        return found;
    }

    // The pixel the server holds for the editor's window (0xRRGGBB).
    uint32_t serverPixel(int x, int y) {
        xcb_get_image_reply_t* image = xcb_get_image_reply(
            connection, xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, child(), static_cast<int16_t>(x),
                                      static_cast<int16_t>(y), 1, 1, ~0u),
            nullptr);
        if (!image) return 0xFFFFFFFF;
        const uint8_t* data = xcb_get_image_data(image);
        uint32_t c = (uint32_t(data[2]) << 16) | (uint32_t(data[1]) << 8) | data[0];
        std::free(image);
        return c;
    }

    template <typename Done>
    bool idleUntil(Done done) {
        for (int i = 0; i < 400; ++i) {
            host.call(vst::effEditIdle);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    void sendButton(uint8_t type, int x, int y, uint16_t state = 0) {
        xcb_button_press_event_t e;
        std::memset(&e, 0, sizeof e);
        e.response_type = type;
        e.detail = 1;
        e.time = ++mTime * 1000;
        e.root = screen->root;
        e.event = child();
        e.event_x = static_cast<int16_t>(x);
        e.event_y = static_cast<int16_t>(y);
        e.state = state;
        e.same_screen = 1;
        xcb_send_event(connection, 0, e.event, 0, reinterpret_cast<const char*>(&e));
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
        xcb_send_event(connection, 0, e.event, 0, reinterpret_cast<const char*>(&e));
        xcb_flush(connection);
    }
    // A press or release at a given server time (two presses close together
    // make a double-click).
    void sendButtonAt(uint8_t type, int x, int y, uint32_t time) {
        xcb_button_press_event_t e;
        std::memset(&e, 0, sizeof e);
        e.response_type = type;
        e.detail = 1;
        e.time = time;
        e.root = screen->root;
        e.event = child();
        e.event_x = static_cast<int16_t>(x);
        e.event_y = static_cast<int16_t>(y);
        e.same_screen = 1;
        xcb_send_event(connection, 0, e.event, 0, reinterpret_cast<const char*>(&e));
        xcb_flush(connection);
    }
    void click(int x, int y) {
        sendButton(XCB_BUTTON_PRESS, x, y);
        sendButton(XCB_BUTTON_RELEASE, x, y);
    }
    uint32_t inputFocus() {
        xcb_get_input_focus_reply_t* reply =
            xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
        uint32_t focus = reply ? reply->focus : 0;
        std::free(reply);
        return focus;
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
    // A key typed on the keyboard: the server hands it to whichever window
    // has the focus (through XTest when the server has it; otherwise sent to
    // the focus window, which is where the server would deliver it).
    void typeKey(uint32_t keysym) {
        uint8_t code = keycodeOf(keysym);
        ASSERT_NE(code, 0) << "no key for keysym " << keysym;
#ifdef VH_HAVE_XTEST
        const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection, &xcb_test_id);
        if (xtest && xtest->present) {
            xcb_test_fake_input(connection, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            xcb_test_fake_input(connection, XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            xcb_flush(connection);
            return;
        }
#endif
        xcb_key_press_event_t e;
        std::memset(&e, 0, sizeof e);
        e.response_type = XCB_KEY_PRESS;
        e.detail = code;
        e.root = screen->root;
        e.event = inputFocus();
        e.same_screen = 1;
        xcb_send_event(connection, 0, e.event, 0, reinterpret_cast<const char*>(&e));
        xcb_flush(connection);
    }
    bool automated(int index) {
        for (auto& a : host.automations)
            if (a.index == index) return true;
        return false;
    }

    static constexpr uint32_t kLightPixel = (210u << 16) | (217u << 8) | 223u;
    static inline std::string sDisplay;
    static inline std::string sOldDisplay;
    static inline vh::test::PrivateXServer sServer;
    PluginHost host;
    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
    uint32_t parent = 0;
    uint32_t mTime = 0;
};

}  // namespace

TEST_F(EditorX11, OpensInTheHostWindowAndTakesClicks) {
    ASSERT_TRUE(host.effect->flags & vst::effFlagsHasEditor);
    vst::ERect* rect = nullptr;
    ASSERT_EQ(host.call(vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 830);
    EXPECT_EQ(rect->bottom - rect->top, 335);

    host.set(vh::param::kCurrMain, 0.375f);  // the library page
    ASSERT_TRUE(openEditor());
    ASSERT_NE(child(), 0u);
    // The page area's light ground arrives at the server.
    EXPECT_TRUE(idleUntil([&] { return serverPixel(310, 210) == kLightPixel; }));

    // The PREFERENCES button shows page 2.
    sendButton(XCB_BUTTON_PRESS, 469, 19);
    sendButton(XCB_BUTTON_RELEASE, 469, 19);
    EXPECT_TRUE(idleUntil([&] { return vh::discreteIndex(host.get(vh::param::kCurrMain), 4) == 2; }));

    // Dragging the Input knob up is an automated change at the host.
    host.set(vh::param::kInput, 0.5f);
    host.automations.clear();
    sendButton(XCB_BUTTON_PRESS, 329, 258);
    for (int y = 250; y >= 208; y -= 6) sendMotion(329, y, XCB_BUTTON_MASK_1);
    sendButton(XCB_BUTTON_RELEASE, 329, 208, XCB_BUTTON_MASK_1);
    EXPECT_TRUE(idleUntil([&] { return automated(vh::param::kInput); }));
    EXPECT_TRUE(idleUntil([&] { return std::fabs(host.get(vh::param::kInput) - 0.75f) < 1e-4f; }))
        << host.get(vh::param::kInput);

    // A picture of the window for people to look at, kept beside the test
    // binary (a CI artifact).
    std::string shot = vh::test::besideTestBinary("editor-x11.png");
    EXPECT_EQ(host.call(vst::effVendorSpecific, vh::kVendorCommand, vh::kVendorEditorScreenshot,
                        const_cast<char*>(shot.c_str())),
              1);
    host.call(vst::effEditClose);
    EXPECT_EQ(child(), 0u);
}

TEST_F(EditorX11, CloseAndReopenTenTimesAndOpenTwice) {
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(openEditor()) << i;
        host.call(vst::effEditIdle);
        host.call(vst::effEditClose);
    }
    // Opened again without a close: one window, not two.
    ASSERT_TRUE(openEditor());
    ASSERT_TRUE(openEditor());
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, parent), nullptr);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(xcb_query_tree_children_length(tree), 1);
    std::free(tree);
    // effClose with the window open.
    host.close();
}

TEST_F(EditorX11, ABadParentFailsCleanly) {
    EXPECT_EQ(host.call(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(0x7ffffff0))), 0);
    host.call(vst::effEditIdle);
    host.call(vst::effEditClose);
    EXPECT_EQ(host.call(vst::effEditOpen, 0, 0, nullptr), 0);
    // A good parent still works afterwards.
    EXPECT_TRUE(openEditor());
    host.call(vst::effEditClose);
}

TEST_F(EditorX11, OpeningAndClosingWhileAudioRuns) {
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> l(4096), r(4096);
        for (int i = 0; !stop.load() && i < 2000; ++i) {
            for (size_t k = 0; k < l.size(); ++k) l[k] = r[k] = 0.5f * std::sin(0.05f * float(k));
            host.process(l, r, 256);
            host.set(vh::param::kMix, float(i % 10) / 10.0f);
        }
    });
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(openEditor());
        for (int k = 0; k < 5; ++k) host.call(vst::effEditIdle);
        host.call(vst::effEditClose);
    }
    stop = true;
    audio.join();
}

TEST_F(EditorX11, CommandLineScreenshotSavesWhatTheWindowShows) {
    // halyx opens the editor in a window of its own on the display and saves
    // what the server holds: the same picture the editor draws off screen.
    std::string halyx = VH_HOST_PATH, plugin = VH_PLUGIN_PATH;
    if (halyx.empty() || plugin.empty()) GTEST_SKIP() << "host or plug-in not built";
    char folder[] = "/tmp/vh_x_shot_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder, shot = " screenshot " + plugin + " ", setup = " --page 2 --op 1 > /dev/null 2>&1";
    ASSERT_EQ(system(("DISPLAY=" + sDisplay + " " + halyx + shot + dir + "/window.png" + setup).c_str()), 0);
    ASSERT_EQ(system((halyx + shot + dir + "/drawn.png --offscreen" + setup).c_str()), 0);
    cairo_surface_t* window = cairo_image_surface_create_from_png((dir + "/window.png").c_str());
    cairo_surface_t* drawn = cairo_image_surface_create_from_png((dir + "/drawn.png").c_str());
    ASSERT_EQ(cairo_surface_status(window), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_surface_status(drawn), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(window), 830);
    ASSERT_EQ(cairo_image_surface_get_height(window), 335);
    ASSERT_EQ(cairo_image_surface_get_width(drawn), 830);
    ASSERT_EQ(cairo_image_surface_get_height(drawn), 335);
    int differing = 0;
    for (int y = 0; y < 335; ++y) {
        const uint32_t* a = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(window) +
                                                              y * cairo_image_surface_get_stride(window));
        const uint32_t* b = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(drawn) +
                                                              y * cairo_image_surface_get_stride(drawn));
        for (int x = 0; x < 830; ++x) differing += (a[x] & 0xFFFFFF) != (b[x] & 0xFFFFFF);
    }
    EXPECT_EQ(differing, 0);
    cairo_surface_destroy(window);
    cairo_surface_destroy(drawn);
    // Without a server there is nothing to open the editor in: a failure
    // with a message, no file.
    EXPECT_NE(system(("DISPLAY=:9999 " + halyx + shot + dir + "/none.png > /dev/null 2>&1").c_str()), 0);
    EXPECT_NE(access((dir + "/none.png").c_str(), F_OK), 0);
    (void)system(("rm -rf " + dir).c_str());
}

TEST_F(EditorX11, LibraryPageSelectsAndSavesThroughTheBinary) {
    // A stand-in for zenity on the PATH answers the save dialog.
    char folder[] = "/tmp/vh_x_library_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    {
        std::FILE* script = std::fopen((dir + "/zenity").c_str(), "w");
        ASSERT_NE(script, nullptr);
        std::fprintf(script, "#!/bin/sh\necho '%s/window.vrb'\n", dir.c_str());
        std::fclose(script);
        chmod((dir + "/zenity").c_str(), 0755);
    }
    struct PathFirst {
        explicit PathFirst(const std::string& first) {
            const char* path = std::getenv("PATH");
            saved = path ? path : "";
            setenv("PATH", (first + ":" + saved).c_str(), 1);
        }
        ~PathFirst() { setenv("PATH", saved.c_str(), 1); }
        std::string saved;
    } pathFirst(dir);

    // A new instance opens on the library page.
    ASSERT_TRUE(openEditor());
    EXPECT_TRUE(idleUntil([&] { return serverPixel(310, 210) == kLightPixel; }));
    // Row 5 of the list (rows of 10 pixels from y 83) is "Smooth Operator".
    sendButton(XCB_BUTTON_PRESS, 407, 138);
    sendButton(XCB_BUTTON_RELEASE, 407, 138);
    int32_t selection[2] = {-1, -1};
    EXPECT_TRUE(idleUntil([&] {
        host.call(vst::effVendorSpecific, vh::kVendorCommand, vh::kVendorGetSelection, selection);
        return selection[0] == 0 && selection[1] == 5;
    }));
    EXPECT_EQ(host.text(vst::effGetProgramName, 0), "Smooth Operator");

    // The bank row's SAVE writes what the library's own bank save writes.
    sendButton(XCB_BUTTON_PRESS, 432, 50);
    sendButton(XCB_BUTTON_RELEASE, 432, 50);
    struct stat saved {};
    EXPECT_TRUE(idleUntil([&] { return stat((dir + "/window.vrb").c_str(), &saved) == 0; }));
    vh::VendorBankFile direct{0, nullptr};
    const std::string directPath = dir + "/direct.vrb";
    direct.path = directPath.c_str();
    ASSERT_EQ(host.call(vst::effVendorSpecific, vh::kVendorCommand, vh::kVendorSaveBankFile, &direct), 1);
    auto bytes = [](const std::string& path) {
        std::vector<char> content;
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) content.insert(content.end(), buffer, buffer + n);
            std::fclose(f);
        }
        return content;
    };
    EXPECT_EQ(bytes(dir + "/window.vrb").size(), 108045u);
    EXPECT_EQ(bytes(dir + "/window.vrb"), bytes(directPath));
    host.call(vst::effEditClose);
    (void)system(("rm -rf " + dir).c_str());
}

TEST_F(EditorX11, ModulationPageLearnsAControllerFromHostMidi) {
    host.set(vh::param::kCurrMain, 0.875f);  // the modulation routing page
    ASSERT_TRUE(openEditor());
    ASSERT_TRUE(idleUntil([&] { return serverPixel(310, 210) == kLightPixel; }));
    // Slot 7's source (the page's rows are 10 pixels from y 53), then
    // "MIDI INPUT", "MIDI CONTROL CHANGE" and the LEARN button of the
    // title line; the events are handled in the order sent.
    const int rowY = 43 + 10 + 5;
    for (auto [x, y] : {std::pair{357, rowY + 60}, {357, rowY + 20}, {357, rowY + 10}, {477, 48}}) {
        sendButton(XCB_BUTTON_PRESS, x, y);
        sendButton(XCB_BUTTON_RELEASE, x, y);
    }
    constexpr uint32_t kMarkPixel = (210u << 16) | (6u << 8) | 6u;
    ASSERT_TRUE(idleUntil([&] { return serverPixel(461, 48) == kMarkPixel; })) << std::hex << serverPixel(461, 48);
    // Controller 74 from the host on channel 2.
    host.automations.clear();
    host.sendMidi({{0, 0xB1, 74, 100}});
    std::vector<float> l(256, 0.0f), r(256, 0.0f);
    host.process(l, r, 256);
    EXPECT_TRUE(idleUntil([&] { return vh::discreteIndex(host.get(vh::param::kSlotSource1 + 6), vh::kNumSources) == 86; }));
    EXPECT_TRUE(automated(vh::param::kSlotSource1 + 6));
    // Back in the slot list: the title line is dark where LEARN was.
    EXPECT_TRUE(idleUntil([&] { return serverPixel(461, 48) != kMarkPixel; }));
    host.call(vst::effEditClose);
}

TEST_F(EditorX11, RoutingPageEditsTheEngineThroughTheWindow) {
    host.set(vh::param::kCurrMain, 0.125f);  // the operator routing page
    host.set(vh::param::kOpLrMs, 0.5f / 256.0f);
    host.set(vh::param::kInToOp1, 0.5f);
    ASSERT_TRUE(openEditor());
    // The OP1 -> OP1 cell's light ground (its gain is 0) arrives at the server.
    EXPECT_TRUE(idleUntil([&] { return serverPixel(377, 97) == kLightPixel; }));

    // Dragging the IN -> OP1 cell up is an automated change at the host.
    host.automations.clear();
    sendButton(XCB_BUTTON_PRESS, 353, 101);
    for (int y = 95; y > 1; y -= 6) sendMotion(353, y, XCB_BUTTON_MASK_1);
    sendMotion(353, 1, XCB_BUTTON_MASK_1);  // 100 pixels of a 400-pixel range
    sendButton(XCB_BUTTON_RELEASE, 353, 1, XCB_BUTTON_MASK_1);
    EXPECT_TRUE(idleUntil([&] { return automated(vh::param::kInToOp1); }));
    EXPECT_TRUE(idleUntil([&] { return std::fabs(host.get(vh::param::kInToOp1) - 0.75f) < 1e-4f; }))
        << host.get(vh::param::kInToOp1);

    // The CONFIGURATION tab, then operator 3's output switch: bit 6.
    sendButton(XCB_BUTTON_PRESS, 450, 50);
    sendButton(XCB_BUTTON_RELEASE, 450, 50);
    for (int i = 0; i < 5; ++i) host.call(vst::effEditIdle);
    sendButton(XCB_BUTTON_PRESS, 433, 141);
    sendButton(XCB_BUTTON_RELEASE, 433, 141);
    EXPECT_TRUE(idleUntil([&] { return vh::discreteIndex(host.get(vh::param::kOpLrMs), 256) == 0x40; }))
        << vh::discreteIndex(host.get(vh::param::kOpLrMs), 256);

    std::string shot = vh::test::besideTestBinary("routing-x11.png");
    EXPECT_EQ(host.call(vst::effVendorSpecific, vh::kVendorCommand, vh::kVendorEditorScreenshot,
                        const_cast<char*>(shot.c_str())),
              1);
    host.call(vst::effEditClose);
}

// As hosts do: the host's window has the keyboard when the editor opens. A
// double-click on the Output knob opens its field, which takes the keyboard;
// keys typed on the keyboard then reach it, Enter stores the value, and the
// keyboard goes back to the host's window.
TEST_F(EditorX11, TypedEntryReachesTheFieldInsideAHostWindowWithTheFocus) {
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, parent, XCB_CURRENT_TIME);
    xcb_flush(connection);
    ASSERT_EQ(inputFocus(), parent);
    host.set(vh::param::kOutput, 0.5f);
    ASSERT_TRUE(openEditor());
    ASSERT_TRUE(idleUntil([&] { return serverPixel(310, 210) == kLightPixel; }));
    EXPECT_EQ(inputFocus(), parent);  // opening alone takes nothing from the host
    sendButtonAt(XCB_BUTTON_PRESS, 445, 258, 50000);
    sendButtonAt(XCB_BUTTON_RELEASE, 445, 258, 50050);
    sendButtonAt(XCB_BUTTON_PRESS, 445, 258, 50150);
    sendButtonAt(XCB_BUTTON_RELEASE, 445, 258, 50200);
    ASSERT_TRUE(idleUntil([&] { return inputFocus() == child(); }));

    // A host that also forwards what it sees must not make keys count twice.
    for (int i = 0; i < 8; ++i) typeKey(0xff08);  // BackSpace
    typeKey('-');
    EXPECT_EQ(host.call(vst::effEditKeyDown, '-', 0), 1);
    typeKey('6');
    typeKey(0xff0d);  // Return
    const float want = float(std::sqrt(std::pow(10.0, -6.0 / 20.0) * 0.25));
    EXPECT_TRUE(idleUntil([&] { return std::fabs(host.get(vh::param::kOutput) - want) < 1e-5f; }))
        << host.get(vh::param::kOutput);
    EXPECT_TRUE(idleUntil([&] { return inputFocus() == parent; }));
    host.call(vst::effEditClose);
}

// The zoom chosen on the preferences page resizes the window and asks the
// host to resize its own; the editor's rectangle follows.
TEST_F(EditorX11, ChoosingAZoomResizesTheWindowAndAsksTheHost) {
    host.set(vh::param::kCurrMain, 0.625f);  // preferences
    ASSERT_TRUE(openEditor());
    ASSERT_TRUE(idleUntil([&] { return serverPixel(310, 210) == kLightPixel; }));
    auto geometry = [&] {
        xcb_get_geometry_reply_t* g =
            xcb_get_geometry_reply(connection, xcb_get_geometry(connection, child()), nullptr);
        std::pair<int, int> size{g ? g->width : 0, g ? g->height : 0};
        std::free(g);
        return size;
    };
    EXPECT_EQ(geometry(), std::make_pair(830, 335));
    // The "window zoom" line of the page: 100 % to 125 %.
    click(418, 198);
    EXPECT_TRUE(idleUntil([&] { return !host.sizeRequests.empty(); }));
    ASSERT_EQ(host.sizeRequests.size(), 1u);
    EXPECT_EQ(host.sizeRequests[0], (PluginHost::Size{1038, 419}));
    vst::ERect* rect = nullptr;
    ASSERT_EQ(host.call(vst::effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right - rect->left, 1038);
    EXPECT_EQ(rect->bottom - rect->top, 419);
    EXPECT_TRUE(idleUntil([&] { return geometry() == std::make_pair(1038, 419); }));
    // The same line, now at its scaled place: 150 %.
    click(int(418 * 1.25), int(198 * 1.25));
    EXPECT_TRUE(idleUntil([&] { return host.sizeRequests.size() == 2; }));
    EXPECT_EQ(host.sizeRequests.back(), (PluginHost::Size{1245, 503}));
    EXPECT_TRUE(idleUntil([&] { return geometry() == std::make_pair(1245, 503); }));
    host.call(vst::effEditClose);
}

// Without a saved zoom the first size follows the screen's Xft.dpi.
TEST_F(EditorX11, TheScreensXftDpiSetsTheFirstZoom) {
    // Replacing the resources of someone's desktop is not for a test.
    if (!sServer.ownsServer()) GTEST_SKIP() << "needs the private X server";
    host.close();
    vh::SettingsStore settings(vh::SettingsStore::userFolder());
    ASSERT_TRUE(settings.remove(vh::editor::kZoomSetting));
    const char resources[] = "Xft.antialias:\t1\nXft.dpi:\t192\n";
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, screen->root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 8,
                        sizeof resources - 1, resources);
    xcb_flush(connection);
    ASSERT_TRUE(host.open());
    vst::ERect* rect = nullptr;
    EXPECT_EQ(host.call(vst::effEditGetRect, 0, 0, &rect), 1);
    xcb_delete_property(connection, screen->root, XCB_ATOM_RESOURCE_MANAGER);
    xcb_flush(connection);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 1660);
    EXPECT_EQ(rect->bottom - rect->top, 670);
}

// The keyboard goes back to the window that had it, not merely to the
// parent (a host's main window may hold it); Escape leaves the value alone.
TEST_F(EditorX11, EscapeCancelsAndTheKeyboardReturnsToItsOwner) {
    xcb_window_t owner = vh::test::createParentWindow(connection, screen, 200, 100);
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, owner, XCB_CURRENT_TIME);
    xcb_flush(connection);
    ASSERT_EQ(inputFocus(), owner);
    host.set(vh::param::kInput, 0.5f);
    ASSERT_TRUE(openEditor());
    ASSERT_TRUE(idleUntil([&] { return serverPixel(310, 210) == kLightPixel; }));
    sendButtonAt(XCB_BUTTON_PRESS, 329, 258, 90000);
    sendButtonAt(XCB_BUTTON_RELEASE, 329, 258, 90050);
    sendButtonAt(XCB_BUTTON_PRESS, 329, 258, 90150);
    sendButtonAt(XCB_BUTTON_RELEASE, 329, 258, 90200);
    ASSERT_TRUE(idleUntil([&] { return inputFocus() == child(); }));
    typeKey('9');
    typeKey(0xff1b);  // Escape
    EXPECT_TRUE(idleUntil([&] { return inputFocus() == owner; }));
    EXPECT_FLOAT_EQ(host.get(vh::param::kInput), 0.5f);
    host.call(vst::effEditClose);
    xcb_destroy_window(connection, owner);
    xcb_flush(connection);
}
