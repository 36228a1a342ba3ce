#pragma once
// Feed-forward compressor/expander with a hard-knee static curve. The level
// detector listens to the operator's own input or to one of the engine's taps
// (another operator's output or the side-chain input), which makes it a
// side-chain compressor or ducker as well. Left and right are unlinked: each
// has its own detector, modulated settings and gain.

#include "modules/Module.h"
#include "modules/Ramp.h"

namespace vh {

class CompExp final : public Operator {
public:
    enum Param {
        kThreshold = 0,
        kRatio,
        kMakeup,
        kAutoMakeup,
        kMode,
        kSource,
        kAttack,
        kRelease,
        kPeakRms,
        kListen,
        kNumParams
    };
    // Modes 2 and 3 are reachable from the host only: the output level is
    // pinned at the makeup level.
    enum Mode { kCompress = 0, kExpand, kPinned, kPinnedToo, kNumModes };
    // Detector sources: own input, operator slots 1..4, side-chain input.
    static constexpr int kNumSources = 6;

    CompExp(int slot, ModuleHost* owner);

    // --- parameters and their texts -------------------------------------
    float getParameterDefault(int index) override;
    int getNumParameters() override { return kNumParams; }
    void getParameterName(int index, char* out) override;
    void getParameterLabel(int index, char* out) override;
    void getParameterDisplay(int index, char* out) override;
    void getParameterTitle(int index, char* out) override;
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    bool isModulatable(int index) override {
        return index == kThreshold || index == kRatio || index == kMakeup || index == kAttack || index == kRelease;
    }
    void getTypeName(char* out) override { copyText(out, kTextSize, "COMP/EXP"); }

    // --- mappings shared by the DSP, the host texts and the editor -------
    static float thresholdDb(float v) { return 60.0f * v - 60.0f; }
    static float makeupDb(float v) { return 120.0f * v - 60.0f; }
    // Attack and release: v^3 seconds, 0..1 s.
    static float timeSeconds(float v) { return v * v * v; }
    // One-pole smoothing coefficient of a time constant; 0 s is instant.
    static float detectorCoefficient(float seconds, float rate);
    // Ratio text of the normalised ratio in a mode ("oo:1", "4.00:1"); null
    // for the modes without a ratio.
    static bool ratioText(float v, int mode, char* out);
    // Typed ratio ("4:1", "oo") back to the normalised value for a mode.
    static float parseRatio(const char* text, int mode);
    // Gain in dB the static curve applies at a detected level, with the
    // threshold T, normalised ratio v and makeup M of one channel.
    static float gainDb(float levelDb, float thresholdDb, float ratio, float makeupDb, int mode, bool autoMakeup) {
        float outDb, autoAmount;
        if (mode == kCompress) {
            float slope = 1.0f - ratio;
            outDb = thresholdDb < levelDb ? thresholdDb + (levelDb - thresholdDb) * slope : levelDb;
            autoAmount = ratio * thresholdDb;
        } else if (mode == kExpand) {
            float slope = 1.0f + 4.0f * ratio;
            outDb = thresholdDb >= levelDb ? thresholdDb + (levelDb - thresholdDb) * slope : levelDb;
            autoAmount = 0.0f;
        } else {
            outDb = 0.0f;
            autoAmount = 1.0f;
        }
        return outDb - levelDb + (autoMakeup ? -autoAmount : makeupDb);
    }

    // --- control tick and audio -------------------------------------------
    void update() override;
    void setInputs(const float* left, const float* right) override {
        if (mSourceIndex == 0) return;  // keyed by the own input in processSample
        int tap = mSourceIndex == kNumSources - 1 ? kTapSideChain : mSourceIndex;
        mChannel[0].key = left[tap];
        mChannel[1].key = right[tap];
    }
    void processSample(float* left, float* right) override;

    // --- reset and sample rate ----------------------------------------------
    void resetSmoothing() override;
    void clearState() override;

private:
    struct Channel {
        Ramp threshold{0.0f};
        Ramp ratio{0.0f};
        Ramp makeup{0.0f};
        float attack = 0.0f;
        float release = 0.0f;
        // Linear amplitude in peak mode, power in RMS mode.
        float envelope = 1.0f;
        float key = 0.0f;
    };

    void updateChannel(Channel& channel, const float* modulated);
    float channelGain(Channel& channel);

    Channel mChannel[2];
    bool mAutoMakeup = true;
    int mMode = kCompress;
    int mSourceIndex = 0;
    bool mRms = true;
    bool mListen = false;
};

}  // namespace vh
