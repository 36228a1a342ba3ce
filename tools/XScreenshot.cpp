#include "tools/XScreenshot.h"

#include <cairo.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "vst/aeffect.h"

namespace vhtool {

namespace {

// Idle calls before the picture is taken: the editor draws from its idle
// step, and 30 of them at 10 ms give it some 300 ms to settle.
constexpr int kIdleRounds = 30;
constexpr auto kIdlePause = std::chrono::milliseconds(10);

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

xcb_window_t firstChild(xcb_connection_t* connection, xcb_window_t window) {
    std::unique_ptr<xcb_query_tree_reply_t, FreeDeleter> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
    if (!tree || xcb_query_tree_children_length(tree.get()) == 0) return 0;
    return xcb_query_tree_children(tree.get())[0];
}

// The window's pixels as a PNG; 24-bit true colour at 32 bits per pixel is
// what cairo's RGB24 format holds, byte for byte.
bool saveWindow(xcb_connection_t* connection, xcb_window_t window, int width, int height, const std::string& path,
                std::string& error) {
    std::unique_ptr<xcb_get_image_reply_t, FreeDeleter> image(
        xcb_get_image_reply(connection,
                            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                                          static_cast<uint16_t>(width), static_cast<uint16_t>(height), ~0u),
                            nullptr));
    if (!image) {
        error = "the X server gave no picture of the editor's window";
        return false;
    }
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
    const int length = xcb_get_image_data_length(image.get());
    if (image->depth != 24 || stride != 4 * width || length < stride * height) {
        error = "the X display is not 24-bit true colour";
        return false;
    }
    cairo_surface_t* surface = cairo_image_surface_create_for_data(xcb_get_image_data(image.get()), CAIRO_FORMAT_RGB24,
                                                                   width, height, stride);
    cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = "could not write " + path;
        return false;
    }
    return true;
}

}  // namespace

bool screenshotThroughWindow(const Dispatch& dispatch, const std::string& pngPath, std::string& error) {
    vst::ERect* rect = nullptr;
    if (dispatch(vst::effEditGetRect, 0, 0, &rect, 0.0f) == 0 || rect == nullptr) {
        error = "the plug-in gives no editor size";
        return false;
    }
    const int width = rect->right - rect->left, height = rect->bottom - rect->top;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        error = "the plug-in gives an unusable editor size";
        return false;
    }

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        const char* display = std::getenv("DISPLAY");
        error = std::string("no X server at DISPLAY=") + (display ? display : "") +
                " (run under Xvfb, or use --offscreen)";
        return false;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_window_t parent = xcb_generate_id(connection);
    uint32_t background[] = {screen->black_pixel};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, parent, screen->root, 0, 0, static_cast<uint16_t>(width),
                      static_cast<uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL, background);
    xcb_map_window(connection, parent);
    xcb_flush(connection);

    bool ok = false;
    if (dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), 0.0f) == 0) {
        error = "the editor did not open";
    } else {
        for (int i = 0; i < kIdleRounds; ++i) {
            dispatch(vst::effEditIdle, 0, 0, nullptr, 0.0f);
            std::this_thread::sleep_for(kIdlePause);
        }
        // A round trip, so everything the editor sent has been drawn.
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        xcb_window_t editor = firstChild(connection, parent);
        if (editor == 0)
            error = "the editor opened no window";
        else
            ok = saveWindow(connection, editor, width, height, pngPath, error);
        dispatch(vst::effEditClose, 0, 0, nullptr, 0.0f);
    }
    xcb_destroy_window(connection, parent);
    xcb_disconnect(connection);
    return ok;
}

}  // namespace vhtool
