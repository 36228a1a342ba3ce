#pragma once
// Low-frequency oscillator: one shared phase, per-channel phase offset, tilt,
// smoothing and depth, five waveforms, and a rate either free in hertz or
// locked to the host tempo as a note length.

#include "modules/CoefficientCache.h"
#include "modules/LaneRamp.h"
#include "modules/Module.h"
#include "modules/Ramp.h"
#include "modules/Vec4.h"

namespace vh {

class LFO final : public Modulator {
public:
    enum Param { kRate = 0, kSmooth, kOffsetL, kOffsetR, kTilt, kWaveform, kMode, kDepth, kNumParams };
    enum Waveform { kSine = 0, kSquare, kTriangle, kSaw, kSampleHold, kNumWaveforms };
    static constexpr int kNumModes = 2;  // 0 hertz, 1 rhythm

    LFO(int slot, ModuleHost* owner);

    // --- parameters and their texts ---------------------------------------
    // The rate (hertz or note name), the phase offsets and the tilt; the
    // other texts come from the parameter table.
    void getParameterDisplay(int index, char* out) override;
    // For the rate, mode 0 prints hertz and mode 1 the note name.
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    void getTypeName(char* out) override { copyText(out, kTextSize, "LFO"); }
    // Switching the mode converts the rate so the LFO keeps its speed.
    void valueChanged(int localIndex, float value) override;

    // --- formulas shared by the DSP and the texts --------------------------
    // Free rate: v^2 * 29.99 + 0.01 Hz (0.01..30 Hz).
    static float rateHz(float v) { return v * v * kRateSpanHz + kMinRateHz; }
    // Inverse of rateHz, clamped to 0..1.
    static float rateValueOfHz(float hz);
    // Frequency of a rhythm item at a tempo: one cycle lasts the item's length.
    static float rhythmRateHz(int item, float bpm);
    // Rhythm item whose frequency at bpm is nearest to hz (lower index on a tie).
    static int nearestRhythmItemOfHz(float hz, float bpm);

    // --- control rate and audio rate --------------------------------------
    void setTempo(float bpm) override;
    void setSongPosition(float ppq) override;
    void update() override;
    void processSample(float* outLeft, float* outRight) override;

    // --- reset ------------------------------------------------------------
    void resetSmoothing() override;
    void clearState() override;

    float phase() const { return static_cast<float>(mPhase); }
    float tempo() const { return mTempo; }

    // --- what the editor's plot shows ---------------------------------------
    // One cycle as processSample shapes it (phase offsets, tilt, waveform,
    // depth; the output smoother left out), and where the phase is now.
    PlotKind plotKind() const override { return PlotKind::kWaveform; }
    double waveformAt(const float* values, double phase, int channel) const override;
    double plotPhase() const override { return mPlotPhase.load(std::memory_order_relaxed); }

private:
    static constexpr float kMinRateHz = 0.01f;
    static constexpr float kMaxRateHz = 30.0f;
    static constexpr float kRateSpanHz = kMaxRateHz - kMinRateHz;

    enum GainLane { kCoefL = 0, kCoefR, kDepthL, kDepthR };
    enum ShapeLane { kOffsetLaneL = 0, kOffsetLaneR, kTiltL, kTiltR };

    // Sine table read at the warped phases in lanes 0 and 1.
    Vec4 sineAt(Vec4 w) const;
    // Square, triangle, saw and s&h at the warped phases.
    Vec4 otherShape(Vec4 w, Vec4 shape);
    // One-pole coefficient of the output smoother for a rate and smooth amount.
    float smoothingCoefficient(CoefficientCache<3>& cache, float rateHz, float smooth) const;
    // 0..32767, only drawn when a sample-and-hold step begins.
    int nextRandom() {
        mRandomState = mRandomState * 1103515245u + 12345u;
        return static_cast<int>((mRandomState >> 16) & 0x7FFFu);
    }

    // 7.5075 Hz is the free rate of the default value, so a module created
    // in Hz mode starts without a sweep.
    Ramp mRate{7.5075f};
    // Smoothing coefficients and depths, left and right.
    LaneRamp mGainRamps{Vec4(1.0f)};
    // Phase offsets and tilts, left and right.
    LaneRamp mShapeRamps{Vec4(0.5f)};
    int mWaveform = kSine;
    int mRhythmMode = 1;
    // Double precision: at 0.01 Hz and high sample rates the per-sample
    // increment falls below half a float step near 1 and a float phase would
    // stop advancing (and drift audibly well before that).
    double mPhase = 0.0;
    std::atomic<double> mPlotPhase{0.0};  // mPhase as of the last tick, for the editor
    // Smoothed outputs and previous warped phases, left and right in lanes 0 and 1.
    Vec4 mSmooth, mPrevWarp;
    // Constants of the per-sample code (see LaneConstants), set by the
    // constructor: sine table steps per cycle, narrowest second half.
    LaneConstants mConstants;
    Vec4 mSineSteps, mMinHalfWidth;
    float mHeldL = 0.0f, mHeldR = 0.0f;
    float mTempo = 120.0f;
    float mInvSampleRate = 1.0f / 44100.0f;
    unsigned mRandomState = 22222u;
    CoefficientCache<3> mCoefCacheL, mCoefCacheR;
};

}  // namespace vh
