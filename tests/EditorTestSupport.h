#pragma once
// An engine with its editor open off screen, a clock the test moves by hand
// and a host that records automated changes.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "editor/Editor.h"
#include "engine/Plugin.h"
#include "toolkit/COffscreenWindow.h"

namespace vh::test {

// A file beside the test binary, where people and CI pick up pictures.
inline std::string besideTestBinary(const std::string& name) {
    char self[4096] = {};
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = length > 0 ? std::string(self, size_t(length)) : std::string("./x");
    return path.substr(0, path.rfind('/') + 1) + name;
}

struct AutomationLog {
    struct Entry {
        int index;
        float value;
    };
    static std::vector<Entry>& entries() {
        static std::vector<Entry> log;
        return log;
    }
    static bool contains(int index) {
        for (auto& e : entries())
            if (e.index == index) return true;
        return false;
    }
    // Automation and the begin/end brackets around it, in the order they came.
    struct Gesture {
        int opcode;
        int index;
    };
    static std::vector<Gesture>& gestures() {
        static std::vector<Gesture> log;
        return log;
    }
    static intptr_t callback(vst::AEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt) {
        if (opcode == vst::audioMasterVersion) return 2400;
        if (opcode == vst::audioMasterAutomate) entries().push_back({index, opt});
        if (opcode == vst::audioMasterAutomate || opcode == vst::audioMasterBeginEdit ||
            opcode == vst::audioMasterEndEdit)
            gestures().push_back({opcode, index});
        return 0;
    }
};

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/vh_editor_test_XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        mFolder = folder;
        AutomationLog::entries().clear();
        AutomationLog::gestures().clear();
        plugin = std::make_unique<Plugin>(&AutomationLog::callback, mFolder);
        plugin->setSampleRate(44100.0f);
        plugin->resume();
        auto owned = std::make_unique<editor::Editor>(plugin.get());
        editor = owned.get();
        editor->setClock([this] { return now; });
        plugin->attachEditor(std::move(owned));
    }
    void TearDown() override {
        plugin.reset();
        std::string command = "rm -rf '" + mFolder + "'";
        (void)system(command.c_str());
    }

    void open() {
        ASSERT_TRUE(editor->openOffscreen());
        window = editor->getFrame()->getOffscreenWindow();
        step();
    }
    // Lets time pass in idle steps of 50 ms.
    void step(int steps = 1) {
        for (int i = 0; i < steps; ++i) {
            now += 50;
            editor->idle();
        }
    }
    // A click long after the last one, so it is never part of a double-click.
    void click(toolkit::CPoint p, toolkit::CButtonState buttons = toolkit::kLButton) {
        now += 1000;
        window->mouseDown(p, buttons);
        window->mouseUp(p, buttons);
        editor->idle();
        editor->idle();
    }
    void doubleClick(toolkit::CPoint p) {
        now += 1000;
        window->mouseDown(p, toolkit::kLButton, now);
        window->mouseUp(p, toolkit::kLButton);
        window->mouseDown(p, toolkit::kLButton, now + 100);
        window->mouseUp(p, toolkit::kLButton);
        editor->idle();
    }
    // Replaces what the open text field holds and commits it.
    void typeEntry(const std::string& text) {
        for (int i = 0; i < 24; ++i) window->key(toolkit::kVkBack);
        window->typeText(text);
        window->key(toolkit::kVkReturn);
        editor->idle();
        editor->idle();
    }
    toolkit::CPoint centreOf(int tag) { return editor->controlForTag(tag)->getFrameRect().getCenter(); }

    std::string mFolder;
    uint64_t now = 1000;
    std::unique_ptr<Plugin> plugin;
    editor::Editor* editor = nullptr;
    toolkit::COffscreenWindow* window = nullptr;
};

}  // namespace vh::test
