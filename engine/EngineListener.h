#pragma once
// What the engine tells an open editor. The editor implements it; the engine
// knows nothing else about the editor.

namespace vh {

class EngineListener {
public:
    virtual ~EngineListener() = default;
    // A parameter changed (from the host, a preset, MIDI or the editor itself).
    // May be called from the audio thread for MIDI-driven knobs.
    virtual void parameterChanged(int index, float value) = 0;
    // MIDI learn: a controller arrived while the editor was learning (target 1).
    virtual void learnController(int controller) {}
    // The engine finished a learn started by the editor.
    virtual void learnEnded() {}
    // Names, presets or modulation sources changed: redraw what shows them.
    virtual void refresh() {}
    // The modulation preview mode new modules should start with.
    virtual int modulationPreviewMode() const { return 0; }
};

}  // namespace vh
