#pragma once
// Editor base classes: the plug-in's window as the host sees it.

#include <cstdint>

#include "vst/aeffect.h"

namespace vst {

class AudioEffect;

// effVendorSpecific index of the editor's zoom (value: percent).
constexpr int32_t kVendorEditorZoom = fourCharacters('V', 'H', 'z', 'm');

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
    // Keys a host forwards instead of letting the window have them; true
    // when the editor used the key.
    virtual bool onKeyDown(VstKeyCode& /*key*/) { return false; }
    virtual bool onKeyUp(VstKeyCode& /*key*/) { return false; }
    // The window's zoom in percent, for command-line hosts and tests; false
    // for a zoom the editor does not offer.
    virtual bool setZoomPercent(int /*percent*/) { return false; }

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
