#pragma once
// Stereo delay: one line per channel with its own time (free, up to 4 s, or a
// note value at the host tempo), feedback and pan. Feedback is taken after
// the pans, so the two lines can feed each other (ping-pong). The output is
// the delayed signal only; the dry signal reaches the output by routing.

#include "modules/Module.h"
#include "modules/Ramp.h"
#include "modules/Rhythm.h"
#include "operators/DelayRing.h"
#include "modules/LaneRamp.h"

namespace vh {

class DelayLine final : public Operator {
public:
    enum Param {
        kTimeL = 0,
        kTimeR,
        kFeedback,
        kMode,
        kInterpolate,
        kTimeLR,  // modulation-only: moves both times
        kFeedbackMode,
        kPanL,
        kPanR,
        kNumParams
    };
    enum Mode { kTimeBased = 0, kTempoBased = 1 };
    enum FeedbackMode { kIndependent = 0, kAlign = 1 };

    DelayLine(int slot, ModuleHost* owner);

    // --- parameters ---------------------------------------------------------
    // The times, the feedback and the pans; the other texts come from the
    // parameter table.
    void getParameterDisplay(int index, char* out) override;
    // `mode` for the time knobs: 0 time-based, 1 tempo-based.
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    void getTypeName(char* out) override { copyText(out, kTextSize, "DELAY"); }
    void setParameter(int index, float value) override;
    // An edit of the mode control converts both times to the new mode first.
    void valueChanged(int localIndex, float value) override;

    // --- control tick ---------------------------------------------------------
    void setTempo(float bpm) override;
    void resetModulation() override;
    void addModulation(int index, float left, float right) override;
    void update() override;

    // --- audio ------------------------------------------------------------------
    void processSample(float* left, float* right) override;

    // --- reset and rate ---------------------------------------------------------
    void resetSmoothing() override;
    void clearState() override;
    void setSampleRate(float rate) override;

    // Normalised time (fraction of 4 s) of note value `item` at `bpm`, at most 1.
    static float tempoTimeValue(int item, float bpm);
    // Note value index of a normalised time parameter in tempo-based mode.
    static int noteIndex(float v) { return discreteIndex(v, kNumRhythmItems); }
    // Feedback gain of the normalised value: v^3.
    static float feedbackGain(float v) { return v * v * v; }
    // Pan position 0..200 shown for a normalised pan value (100 is the centre).
    static int panPosition(float v);

    float tempo() const { return observe(mTempo); }
    // Read by the host's texts while audio runs.
    int mode() const { return std::atomic_ref<int>(const_cast<int&>(mMode)).load(std::memory_order_relaxed); }
    // Current (ramped) delays in samples, for tests and the plot.
    float delayLeft() const { return mDelayFeedback.current[kLaneDelayL]; }
    float delayRight() const { return mDelayFeedback.current[kLaneDelayR]; }

    static constexpr float kMaxSeconds = 4.0f;
    // A full-scale modulation amount moves a time by 0.5 % of 4 s, 20 ms:
    // enough for chorus and vibrato without throwing the echo off its beat.
    static constexpr float kTimeModulationScale = 0.005f;

    // --- what the editor's plot shows ---------------------------------------
    // The first echoes of an impulse on both inputs, found by running one
    // through a private line set to the values.
    PlotKind plotKind() const override { return PlotKind::kTaps; }
    int delayTaps(const float* values, DelayTap* out, int maxTaps) const override;

private:
    template <int Interpolation>
    void processWith(float* left, float* right);
    static void timeText(float v, int mode, char* out);

    // Lanes of the ramps: the delays where the ring reads them, the
    // feedback gains beside them, so one vector add advances all four.
    enum Lane { kLaneDelayL = 0, kLaneDelayR, kLaneFeedbackL, kLaneFeedbackR };

    StereoDelayRing mLine;
    LaneRamp mDelayFeedback;
    LaneRamp mPan;  // lanes 0 and 1: pan L, pan R
    LaneConstants mConstants;
    int mMode = kTempoBased;
    int mInterpolation = kInterpolationLinear;
    float mTempo = 120.0f;
};

}  // namespace vh
