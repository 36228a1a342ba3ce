#pragma once
// An engine with its editor open off screen, a clock the test moves by hand
// and a host that records automated changes.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
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
    // Begin-edit, automate and end-edit calls in the order they came.
    struct Call {
        int opcode;
        int index;
        bool operator==(const Call&) const = default;
    };
    static std::vector<Call>& calls() {
        static std::vector<Call> log;
        return log;
    }
    static bool contains(int index) {
        for (auto& e : entries())
            if (e.index == index) return true;
        return false;
    }
    // How often the plug-in asked the host to refresh its display (program name).
    static int& displayUpdates() {
        static int count = 0;
        return count;
    }
    // Window sizes the plug-in asked the host for (audioMasterSizeWindow).
    static std::vector<std::pair<int, int>>& sizeRequests() {
        static std::vector<std::pair<int, int>> log;
        return log;
    }
    using Gesture = Call;
    static std::vector<Gesture>& gestures() { return calls(); }
    static intptr_t callback(vst::AEffect*, int32_t opcode, int32_t index, intptr_t value, void*, float opt) {
        if (opcode == vst::audioMasterVersion) return 2400;
        if (opcode == vst::audioMasterUpdateDisplay) ++displayUpdates();
        if (opcode == vst::audioMasterSizeWindow) sizeRequests().push_back({index, static_cast<int>(value)});
        if (opcode == vst::audioMasterAutomate) entries().push_back({index, opt});
        if (opcode == vst::audioMasterAutomate || opcode == vst::audioMasterBeginEdit ||
            opcode == vst::audioMasterEndEdit)
            calls().push_back({opcode, index});
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
        AutomationLog::displayUpdates() = 0;
        AutomationLog::calls().clear();
        AutomationLog::sizeRequests().clear();
        plugin = std::make_unique<Plugin>(&AutomationLog::callback, mFolder);
        plugin->setSampleRate(44100.0f);
        plugin->resume();
        // The test's settings and no screen resolution: whatever zoom the
        // desktop running the tests has, the editor opens at 100 %.
        auto owned = std::make_unique<editor::Editor>(plugin.get(), mFolder);
        editor = owned.get();
        editor->setDpiSource([] { return std::optional<double>(); });
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
    // One MIDI message at the start of a block of 64 samples.
    void processMidi(unsigned char status, unsigned char data1, unsigned char data2) {
        vst::VstMidiEvent event{};
        event.type = vst::kVstMidiType;
        event.byteSize = sizeof event;
        event.midiData[0] = static_cast<char>(status);
        event.midiData[1] = static_cast<char>(data1);
        event.midiData[2] = static_cast<char>(data2);
        struct {
            int32_t numEvents;
            intptr_t reserved;
            vst::VstEvent* events[2];
        } list{1, 0, {reinterpret_cast<vst::VstEvent*>(&event), nullptr}};
        plugin->processEvents(reinterpret_cast<vst::VstEvents*>(&list));
        std::vector<float> l(64), r(64), sl(64), sr(64), ol(64), orr(64);
        float* in[4] = {l.data(), r.data(), sl.data(), sr.data()};
        float* out[2] = {ol.data(), orr.data()};
        plugin->processReplacing(in, out, 64);
    }
    toolkit::CPoint centreOf(int tag) { return editor->controlForTag(tag)->getFrameRect().getCenter(); }

    std::string mFolder;
    uint64_t now = 1000;
    std::unique_ptr<Plugin> plugin;
    editor::Editor* editor = nullptr;
    toolkit::COffscreenWindow* window = nullptr;
};

}  // namespace vh::test
