#pragma once
// Editor base classes: the plug-in's window as the host sees it.

#include <cstdint>

#include "vst/aeffect.h"

namespace vst {

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : mEffect(effect) {}
    virtual ~AEffEditor() = default;

    virtual bool getRect(ERect** rect) {
        *rect = nullptr;
        return false;
    }
    // parent: the host's X11 window id.
    virtual bool open(void* parent) {
        mSystemWindow = parent;
        return false;
    }
    virtual void close() { mSystemWindow = nullptr; }
    virtual void idle() {}
    virtual bool isOpen() const { return mSystemWindow != nullptr; }
    // Draws the window (off screen when it is not open) into a PNG file.
    virtual bool renderToPng(const char* /*path*/) { return false; }

protected:
    AudioEffect* mEffect;
    void* mSystemWindow = nullptr;
};

// The base of editors drawn with our toolkit; the frame is created in open.
class AEffGUIEditor : public AEffEditor {
public:
    using AEffEditor::AEffEditor;
    bool getRect(ERect** rect) override {
        *rect = &mRect;
        return true;
    }

protected:
    ERect mRect{0, 0, 0, 0};
};

}  // namespace vst
