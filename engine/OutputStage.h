#pragma once
// The end of the audio path: nothing non-finite leaves the plug-in, the
// output peak limiter runs in the mode the OutLimiter value chooses, and the
// level meters (input L/R, output L/R) hold the block peaks for the editor.

#include <atomic>
#include <cmath>

#include "engine/Limiter.h"
#include "modules/Published.h"
#include "modules/Vec4.h"

namespace vh {

class OutputStage {
public:
    // Moderate limiting (mode 2, 70 ms).
    OutputStage();

    // The OutLimiter value: mode 0 disabled, 1 slow, 2 moderate, 3 fast
    // (higher steps keep the release time and limit).
    void setLimiterMode(float value);
    float limiterValue() const { return observe(mValue); }
    int limiterMode() const { return observe(mMode); }
    // The mode's text, "n/a" beyond the four.
    static const char* modeName(int mode);
    int lookahead() const { return mLimiter.lookahead(); }

    void setSampleRate(float rate) { mLimiter.setSampleRate(rate); }
    void reset();

    // Per sample. Cleaned before the limiter too, whose envelopes would
    // otherwise stay infinite and stop limiting until the next reset.
    void process(float& yL, float& yR) {
        if (!std::isfinite(yL)) yL = 0.0f;
        if (!std::isfinite(yR)) yR = 0.0f;
        if (mMode == 0) return;
        mLimiter.process(yL, yR, yL, yR);
        if (!std::isfinite(yL)) yL = 0.0f;
        if (!std::isfinite(yR)) yR = 0.0f;
    }

    // Once per block: absolute peaks (input L, R, output L, R) raise the meters.
    void raiseMeters(Vec4 peaks);
    // Reads the four meter peaks and clears them (the editor's thread).
    void takeMeters(float peaks[4]);

private:
    float mValue = 2.5f / 16.0f;
    int mMode = 2;
    float mReleaseMs = 70.0f;
    Limiter mLimiter;
    std::atomic<float> mMeters[4];
};

}  // namespace vh
