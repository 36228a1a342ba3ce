#pragma once
// The main section around the operators: power, the Input gain before them,
// the dry delay beside them, and the Mix and Output gains after them. Input,
// Mix and Output are smoothed per sample, modulated per control tick and
// reach the signal as linear ramps.

#include <vector>

#include "engine/ControlSmoothing.h"
#include "modules/Published.h"
#include "modules/Ramp.h"

namespace vh {

class MainSection {
public:
    // The smoothed controls, in the order of their modulation destinations.
    enum Control { kInput, kMix, kOutput, kNumControls };

    // The gains are 0 until a tick (and settle) sets them.
    MainSection();

    // --- values (normalised) --------------------------------------------------
    // Written where the engine is, read from any thread.
    void setPower(float value);
    float power() const { return observe(mPower); }
    bool on() const { return observe(mOn); }
    void setControl(int control, float value) { publish(mValue[control], value); }
    float control(int control) const { return observe(mValue[control]); }
    void setDryDelay(float value);
    float dryDelay() const { return observe(mDryDelay); }
    // The dry delay in samples now, and what a value means at a rate:
    // 0..32768 samples at 170 kHz and above, halved below, quartered below
    // 80 kHz.
    int dryLength() const { return observe(mDryLength); }
    static int dryDelayLength(float value, float sampleRate);
    // The value whose length is `samples` (clamped to the range at the rate).
    static float dryDelayValue(int samples, float sampleRate);
    void setSampleRate(float rate);

    // --- control tick --------------------------------------------------------------
    // Modulation starts from the smoothed controls...
    void beginTick();
    void addModulation(int control, float left, float right) {
        mModulated[control][0] += left;
        mModulated[control][1] += right;
    }
    void clampModulation(int control);
    // ...and sets the gain ramps' targets (switched off: unity gains, dry only).
    void endTick();

    // --- per sample -------------------------------------------------------------
    void smoothControls() {
        for (int c = 0; c < kNumControls; ++c) mSmoothed[c] = smoothTowards(mSmoothed[c], mValue[c], mSmoothing);
    }
    bool controlsSettled() const {
        return mSmoothed[kInput] == mValue[kInput] && mSmoothed[kMix] == mValue[kMix] &&
               mSmoothed[kOutput] == mValue[kOutput];
    }
    float smoothingCoefficient() const { return mSmoothing; }
    // Whether a gain ramp moves (asked after each tick); advance() then steps them.
    void noteRamping();
    void advance() {
        if (!mRamping) return;
        for (int c = 0; c < 2; ++c)
            for (Ramp* gains : {mGain[kInput], mGain[kMix], mGain[kOutput]}) gains[c].next();
    }
    float inputGain(int channel) const { return mGain[kInput][channel].current; }
    // The input pair into the dry delay, and the output pair from the delayed
    // dry pair and the wet pair.
    void mix(float xL, float xR, float wetL, float wetR, float& yL, float& yR) {
        mDryL[mDryPos] = xL;
        mDryR[mDryPos] = xR;
        if (++mDryPos > mDryLength) mDryPos = 0;
        float dryL = mDryL[mDryPos];
        float dryR = mDryR[mDryPos];
        float mixL = mGain[kMix][0].current, mixR = mGain[kMix][1].current;
        yL = (dryL * (1.0f - mixL) + wetL * mixL) * mGain[kOutput][0].current;
        yR = (dryR * (1.0f - mixR) + wetR * mixR) * mGain[kOutput][1].current;
    }

    // --- reset --------------------------------------------------------------------
    // Controls where they are set, the dry delay silent.
    void reset();
    // The gains stand on their targets.
    void settle();

private:
    static constexpr int kDryRing = 32770;
    float mPower = 0.75f;
    int mOn = 1;
    float mValue[kNumControls] = {0.5f, 1.0f, 0.5f};
    float mSmoothed[kNumControls] = {0.5f, 1.0f, 0.5f};
    float mModulated[kNumControls][2] = {};
    Ramp mGain[kNumControls][2];
    bool mRamping = true;
    float mSmoothing = 0.0f;
    float mSampleRate = 44100.0f;
    float mDryDelay = 0.0f;
    int mDryLength = 3;
    int mDryPos = 0;
    std::vector<float> mDryL, mDryR;
};

}  // namespace vh
