#include "toolkit/CFileSelector.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

extern char** environ;

namespace toolkit {

namespace {

// zenity's exit codes: 0 chosen, 1 cancelled, 5 its own timeout, -1 error.
constexpr int kZenityChosen = 0;
// What a shell reports for a program it cannot find.
constexpr int kCommandNotFound = 127;
constexpr int kWaitStepMs = 50;

bool hasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

}  // namespace

CFileSelector::CFileSelector(Style style) : mStyle(style) {}

std::vector<std::string> CFileSelector::buildArguments() const {
    std::vector<std::string> args{mProgram, "--file-selection"};
    if (!mTitle.empty()) args.push_back("--title=" + mTitle);
    if (mStyle == kSelectSaveFile) {
        args.push_back("--save");
        args.push_back("--confirm-overwrite");
    } else if (mStyle == kSelectDirectory) {
        args.push_back("--directory");
    }
    std::string start = mInitialDirectory;
    if (!start.empty() && start.back() != '/') start += '/';
    if (mStyle == kSelectSaveFile) start += mDefaultName;
    if (!start.empty()) args.push_back("--filename=" + start);
    if (mStyle != kSelectDirectory) {
        for (const CFileExtension& e : mExtensions)
            args.push_back("--file-filter=" + e.description + " | *." + e.extension);
        if (!mExtensions.empty()) args.push_back("--file-filter=All files | *");
    }
    return args;
}

CFileSelector::Result CFileSelector::run() {
    mSelected.clear();
    CCommandResult result;
    if (mRunner) {
        result = mRunner(buildArguments());
    } else {
        if (!hasDisplay()) return kNotAvailable;
        result = runCommand(buildArguments(), mTimeoutMs, mWaitCallback);
    }
    if (!result.started || result.exitCode == kCommandNotFound) return kNotAvailable;
    if (result.exitCode != kZenityChosen) return kCancelled;
    std::string path = result.output;
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    if (path.empty()) return kCancelled;
    // A name typed without extension gets the first filter's, as users of
    // other plug-ins expect when saving.
    if (mStyle == kSelectSaveFile && !mExtensions.empty()) {
        size_t slash = path.find_last_of('/');
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (name.find('.') == std::string::npos) path += "." + mExtensions.front().extension;
    }
    mSelected = path;
    return kSelected;
}

CCommandResult CFileSelector::runCommand(const std::vector<std::string>& argv, int timeoutMs,
                                         const std::function<void()>& wait) {
    CCommandResult result;
    if (argv.empty()) return result;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    // zenity is chatty on stderr (GTK warnings); none of it is for the host.
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return result;
    }
    result.started = true;

    auto start = std::chrono::steady_clock::now();
    bool killed = false;
    char buffer[4096];
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        int ready = poll(&p, 1, kWaitStepMs);
        if (ready > 0) {
            ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n > 0) {
                result.output.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n == 0 || errno != EINTR) break;  // end of output: the program is done
        }
        if (wait) wait();
        if (timeoutMs > 0) {
            auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            if (elapsed.count() >= timeoutMs) {
                kill(pid, SIGKILL);  // nothing may keep the host waiting past the limit
                killed = true;
                break;
            }
        }
    }
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!killed && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

}  // namespace toolkit
