#pragma once
// An X display for tests: the one DISPLAY names when a server answers there,
// otherwise a private Xvfb started for the suite (and stopped with it).
// Empty when neither exists, so tests can skip cleanly.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

namespace vh::test {

class PrivateXServer {
public:
    // Returns the display to use, or "" when there is none.
    const std::string& start() {
        const char* env = std::getenv("DISPLAY");
        if (env && *env) {
            // A DISPLAY left over from elsewhere may name no server: then
            // start our own as if it were unset.
            xcb_connection_t* probe = xcb_connect(env, nullptr);
            bool works = !xcb_connection_has_error(probe);
            xcb_disconnect(probe);
            if (works) {
                mDisplay = env;
                return mDisplay;
            }
        }
        if (!programInPath("Xvfb")) return mDisplay;
        int fds[2];
        if (pipe(fds) != 0) return mDisplay;
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            // The server goes when the test process goes, even by a crash,
            // and must not hold the test's output open.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            return mDisplay;
        }
        mServer = pid;
        // Xvfb writes the display number it took once it accepts clients.
        std::string number;
        for (;;) {
            pollfd p{fds[0], POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0) break;
            char c;
            if (read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        close(fds[0]);
        if (!number.empty()) mDisplay = ":" + number;
        return mDisplay;
    }

    void stop() {
        if (mServer > 0) {
            kill(mServer, SIGTERM);
            waitpid(mServer, nullptr, 0);
            mServer = 0;
        }
        mDisplay.clear();
    }

    bool ownsServer() const { return mServer > 0; }
    const std::string& display() const { return mDisplay; }

    static bool programInPath(const char* name) {
        const char* path = std::getenv("PATH");
        if (!path) return false;
        std::string dirs(path);
        size_t start = 0;
        while (start <= dirs.size()) {
            size_t end = dirs.find(':', start);
            if (end == std::string::npos) end = dirs.size();
            if (access((dirs.substr(start, end - start) + "/" + name).c_str(), X_OK) == 0) return true;
            start = end + 1;
        }
        return false;
    }

private:
    std::string mDisplay;
    pid_t mServer = 0;
};

// A mapped top-level window of w x h on the screen's root, as a host's
// parent window for a plug-in's editor.
inline xcb_window_t createParentWindow(xcb_connection_t* connection, xcb_screen_t* screen, int w, int h) {
    xcb_window_t window = xcb_generate_id(connection);
    uint32_t values[] = {screen->black_pixel};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, static_cast<uint16_t>(w),
                      static_cast<uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL, values);
    xcb_map_window(connection, window);
    xcb_flush(connection);
    return window;
}

}  // namespace vh::test
