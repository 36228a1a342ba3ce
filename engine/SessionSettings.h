#pragma once
// What the engine keeps for the window and the session but not in presets:
// the pages on show, the meters' hold and fall-off, whether the host hears of
// the limiter's lookahead, the modulation preview, and the state of the
// "save as default" control. Written where the engine is, read from any
// thread (through publish and observe).

namespace vh {

struct SessionSettings {
    int currOp = 0, currMain = 1, currMod = 0;
    float meterHold = 0.25f, meterFalloff = 1.0f / 3.0f;
    float reportLatencyValue = 0.25f;
    bool reportLatency = false;
    int previewMode = 0;
    bool saveAsDefaultPressed = false;
};

}  // namespace vh
