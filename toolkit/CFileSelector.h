#pragma once
// File selection through zenity, run as a separate program: the plug-in has
// no dialog code of its own and links no widget library. When zenity is not
// installed (or there is no display to show it on), run() answers
// kNotAvailable and the caller can say so instead of acting.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace toolkit {

struct CFileExtension {
    std::string description;  // "Vorn Preset"
    std::string extension;    // "vrp", without the dot
};

struct CCommandResult {
    bool started = false;  // false: the program could not be run at all
    int exitCode = -1;     // -1 when killed (timeout) or not started
    std::string output;    // standard output
};

// Runs argv[0] (looked up in PATH) with the rest as arguments, waiting for it
// to finish. The file selector's default; tests replace it.
using CCommandRunner = std::function<CCommandResult(const std::vector<std::string>& argv)>;

class CFileSelector {
public:
    enum Style { kSelectFile, kSelectSaveFile, kSelectDirectory };
    enum Result { kSelected, kCancelled, kNotAvailable };

    explicit CFileSelector(Style style = kSelectFile);

    void setTitle(const std::string& title) { mTitle = title; }
    void addFileExtension(const CFileExtension& extension) { mExtensions.push_back(extension); }
    void setDefaultSaveName(const std::string& name) { mDefaultName = name; }
    void setInitialDirectory(const std::string& directory) { mInitialDirectory = directory; }
    void setProgram(const std::string& program) { mProgram = program; }
    void setRunner(CCommandRunner runner) { mRunner = std::move(runner); }
    // Gives up after this long (0: waits as long as the user takes).
    void setTimeoutMs(int timeoutMs) { mTimeoutMs = timeoutMs; }
    // Called about every 50 ms while the dialog is open, so the editor can
    // keep its window drawn while the host's idle calls are held up.
    void setWaitCallback(std::function<void()> callback) { mWaitCallback = std::move(callback); }

    // The program's command line, for the runner.
    std::vector<std::string> buildArguments() const;
    // Modal: returns when the dialog is closed.
    Result run();
    const std::string& getSelectedFile() const { return mSelected; }

    // The default runner. timeoutMs 0: no limit. wait: see setWaitCallback.
    static CCommandResult runCommand(const std::vector<std::string>& argv, int timeoutMs = 0,
                                     const std::function<void()>& wait = {});

private:
    Style mStyle;
    std::string mTitle;
    std::vector<CFileExtension> mExtensions;
    std::string mDefaultName;
    std::string mInitialDirectory;
    std::string mProgram = "zenity";
    CCommandRunner mRunner;
    int mTimeoutMs = 0;
    std::function<void()> mWaitCallback;
    std::string mSelected;
};

}  // namespace toolkit
