#pragma once
// Envelope generator (delay, attack, hold, decay, sustain, release) started
// and released by a trigger level, with two independent state machines fed
// by the left and right modulated values. Stage times are absolute or note
// lengths at the current tempo.

#include "modules/Module.h"
#include "modules/Ramp.h"

namespace vh {

class ADSR final : public Modulator {
public:
    enum Param {
        kTrigger = 0,
        kDelay,
        kAttack,
        kHold,
        kDecay,
        kSustain,
        kRelease,
        kTrigOn,
        kTrigOff,
        kTrigSens,
        kMode,
        kDepth,
        kNumParams
    };
    enum Stage { kStageDelay = 0, kStageAttack, kStageHold, kStageDecay, kStageSustain, kStageRelease, kStageIdle };
    static constexpr int kNumModes = 2;  // 0 absolute, 1 tempo-related
    // Item "0" followed by the 30 rhythm items.
    static constexpr int kNumTimeItems = 31;

    ADSR(int slot, ModuleHost* owner);

    // --- parameters and their texts ---------------------------------------
    float getParameterDefault(int index) override;
    int getNumParameters() override { return kNumParams; }
    void getParameterName(int index, char* out) override;
    void getParameterLabel(int index, char* out) override;
    void getParameterDisplay(int index, char* out) override;
    void getParameterTitle(int index, char* out) override;
    // For the five times, mode 0 prints absolute time and mode 1 the note name.
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    bool isModulatable(int index) override { return index >= 0 && index < kNumParams && index != kMode; }
    int getParameterSteps(int index) override { return index == kMode ? kNumModes : 0; }
    void getTypeName(char* out) override { copyText(out, kTextSize, "ADSR"); }
    // Switching the mode converts the five times so they stay as close as possible.
    void valueChanged(int localIndex, float value) override;

    // --- formulas shared by the DSP and the texts --------------------------
    static bool isTimeParam(int index) { return (index >= kDelay && index <= kDecay) || index == kRelease; }
    // Absolute time of a stage in seconds: v for delay..decay, 10 v for release.
    static float absoluteSeconds(int index, float v) { return index == kRelease ? 10.0f * v : v; }
    static const char* timeItemName(int item);
    // Length of a time item in whole notes (item 0 is 0).
    static float timeItemLength(int item);
    // Time item whose duration at bpm is nearest to seconds (lower index on a tie).
    static int nearestTimeItem(float seconds, float bpm);
    // Sustain, trig on and trig off levels: v^3.
    static float levelOf(float v) { return v * v * v; }
    // Trigger gain: 16 v^4 (unity at 0.5).
    static float trigGain(float v) { return 16.0f * v * v * v * v; }

    // --- control rate and audio rate --------------------------------------
    void setTempo(float bpm) override;
    void update() override;
    void processSample(float* outLeft, float* outRight) override;

    // --- reset ------------------------------------------------------------
    void resetSmoothing() override;
    void clearState() override;

    // Stage of a channel (0 left, 1 right), shown by the editor's plot.
    int stage(int channel) const { return mChannel[channel & 1].stage; }
    // Trigger level of a channel at the last sample.
    float triggerLevel(int channel) const { return mChannel[channel & 1].level; }

    // --- what the editor's plot shows ---------------------------------------
    // The output of the last seconds, one peak every 30 ms.
    PlotKind plotKind() const override { return PlotKind::kHistory; }
    const PlotHistory* plotHistory() const override { return &mHistory; }
    void setSampleRate(float rate) override;

private:
    struct Channel {
        int stage = kStageIdle;
        unsigned counter = 0;
        float envelope = 0.0f;
        unsigned delayLength = 0, attackLength = 0, holdLength = 0, decayLength = 0, releaseLength = 0;
        float attackCoef = 1.0f, decayCoef = 1.0f, releaseCoef = 1.0f;
        Ramp sustain{0.25f};
        Ramp depth{1.0f};
        float trigOn = 0.25f, trigOff = 1.0f / 1024.0f, trigGain = 1.0f;
        float level = 0.0f;
        // Stage seconds and sample rate the lengths were last computed from.
        float timesKey[6] = {-1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f};
    };

    void setStageTimes(Channel& channel, const float* seconds);
    float step(Channel& channel, float trigger);

    Channel mChannel[2];
    PlotHistory mHistory;
    int mMode = 1;
    float mTempo = 120.0f;
};

}  // namespace vh
