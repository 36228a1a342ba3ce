#pragma once
// Feed-forward compressor/expander with a hard-knee static curve. The level
// detector listens to the operator's own input or to one of the engine's taps
// (another operator's output or the side-chain input), which makes it a
// side-chain compressor or ducker as well. Left and right are unlinked: each
// has its own detector, modulated settings and gain.

#include "modules/CoefficientCache.h"
#include "modules/LaneRamp.h"
#include "modules/Module.h"
#include "modules/Vec4.h"

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
    int getParameterSteps(int index) override {
        switch (index) {
            case kMode: return kNumModes;
            case kSource: return kNumSources;
            case kAutoMakeup:
            case kPeakRms:
            case kListen: return 2;
            default: return 0;
        }
    }
    // "type" offers compress and expand; its other two states stay for
    // stored values.
    int getParameterChoices(int index) override { return index == kMode ? 2 : getParameterSteps(index); }
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
    // threshold T, normalised ratio v and makeup M of each lane.
    static Vec4 gainDb(Vec4 level, Vec4 threshold, Vec4 ratio, Vec4 makeup, int mode, bool autoMakeup) {
        Float4Raw d = level.v, t = threshold.v, v = ratio.v;
        Float4Raw out, autoAmount;
        if (mode == kCompress) {
            out = t < d ? t + (d - t) * (1.0f - v) : d;
            autoAmount = v * t;
        } else if (mode == kExpand) {
            out = t >= d ? t + (d - t) * (1.0f + 4.0f * v) : d;
            autoAmount = Float4Raw{};
        } else {
            out = Float4Raw{};
            autoAmount = Float4Raw{1.0f, 1.0f, 1.0f, 1.0f};
        }
        return Vec4(out - d + (autoMakeup ? -autoAmount : makeup.v));
    }

    // --- control tick and audio -------------------------------------------
    void update() override;
    bool readsTaps() const override { return true; }
    void setInputs(const float* left, const float* right) override {
        if (mSourceIndex == 0) return;  // keyed by the own input in processSample
        int tap = mSourceIndex == kNumSources - 1 ? kTapSideChain : mSourceIndex;
        mKey = Vec4(left[tap], right[tap], 0.0f, 0.0f);
    }
    void processSample(float* left, float* right) override;

    // --- reset and sample rate ----------------------------------------------
    void resetSmoothing() override;
    void clearState() override;

    // --- what the editor's plot shows ---------------------------------------
    // The static curve: output level for an input level, both in dB.
    PlotKind plotKind() const override { return PlotKind::kDynamics; }
    double transferAt(const float* values, double inputDb) const override;

private:
    // Left in lane 0, right in lane 1; lanes 2 and 3 idle along.
    LaneRamp mThreshold, mRatio, mMakeup;
    Vec4 mAttack, mRelease;
    CoefficientCache<2> mTimeCache[4];  // attack L, R, release L, R
    // Linear amplitude in peak mode, power in RMS mode.
    Vec4 mEnvelope{1.0f};
    Vec4 mKey;
    bool mAutoMakeup = true;
    int mMode = kCompress;
    int mSourceIndex = 0;
    bool mRms = true;
    bool mListen = false;
};

}  // namespace vh
