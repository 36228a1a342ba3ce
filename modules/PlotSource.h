#pragma once
// What a module can show of itself in the editor's plot: its response at a
// frequency, its transfer curve, its waveform at a phase, its recent output.
// Each answer is a plain function of the parameter values handed in and is
// computed by the same code the module's update and processSample use, so
// the window never keeps a second copy of the maths. The editor calls these
// from the user-interface thread while audio runs: they read only their
// arguments, constants and single stores of the module.

#include <array>
#include <atomic>

#include "modules/Published.h"

namespace vh {

enum class PlotKind {
    kNone,
    kSteps,     // the step sequencer's own editor
    kResponse,  // magnitude response over frequency
    kTransfer,  // output sample for an input sample, -1..1
    kDynamics,  // output level for an input level, in dB
    kWaveform,  // one cycle of a periodic output
    kHistory,   // scrolling recent output
    kTaps,      // echoes of an impulse
};

// Recent output peaks for a scrolling plot, one point per fixed number of
// control ticks. The audio thread writes the points as single float stores
// and publishes the position after them.
class PlotHistory {
public:
    static constexpr int kSize = 213;
    // One point per 30 ms: the plot's width shows about six seconds.
    static constexpr double kPointMs = 30.0;

    void setSampleRate(float rate, int ticksLength);
    // Once per control tick with the outputs of that tick.
    void record(float left, float right) {
        if (left > mPeakL) mPeakL = left;
        if (right > mPeakR) mPeakR = right;
        if (++mTickCounter < mTicksPerPoint) return;
        mTickCounter = 0;
        int next = mPosition.load(std::memory_order_relaxed) + 1;
        if (next >= kSize) next = 0;
        store(mLeft[next], mPeakL);
        store(mRight[next], mPeakR);
        mPosition.store(next, std::memory_order_release);
        mWritten.fetch_add(1, std::memory_order_relaxed);
        mPeakL = mPeakR = 0.0f;
    }
    void clear() {
        for (int i = 0; i < kSize; ++i) {
            store(mLeft[i], 0.0f);
            store(mRight[i], 0.0f);
        }
        mPeakL = mPeakR = 0.0f;
        mTickCounter = 0;
    }

    const float* left() const { return mLeft.data(); }
    const float* right() const { return mRight.data(); }
    // The point written last.
    int position() const { return mPosition.load(std::memory_order_acquire); }
    // Points written so far (wraps); a plot redraws when it moves.
    unsigned written() const { return mWritten.load(std::memory_order_relaxed); }
    int ticksPerPoint() const { return mTicksPerPoint; }
    // The point `age` points before the newest, of channel 0 (left) or 1.
    float at(int channel, int age) const {
        int i = position() - age % kSize;
        if (i < 0) i += kSize;
        return load(channel ? mRight[i] : mLeft[i]);
    }

private:
    // The ring wraps under a reader that may be reading the oldest point.
    static void store(float& point, float v) { publish(point, v); }
    static float load(const float& point) { return observe(point); }

    std::array<float, kSize> mLeft{};
    std::array<float, kSize> mRight{};
    std::atomic<int> mPosition{0};
    std::atomic<unsigned> mWritten{0};
    int mTickCounter = 0;
    int mTicksPerPoint = 41;
    float mPeakL = 0.0f, mPeakR = 0.0f;
};

inline void PlotHistory::setSampleRate(float rate, int ticksLength) {
    mTickCounter = 0;
    // In double, so rates like 64 kHz give exactly 60 ticks rather than 59.
    int ticks = static_cast<int>(static_cast<double>(rate) * kPointMs / (1000.0 * ticksLength));
    mTicksPerPoint = ticks > 1 ? ticks : 1;
}

// One echo of an impulse through a delay: when, how loud, which side.
struct DelayTap {
    float timeMs;
    float gain;
    int channel;  // 0 left, 1 right
};

class PlotSource {
public:
    static constexpr int kMaxValues = 38;

    virtual ~PlotSource() = default;
    virtual PlotKind plotKind() const { return PlotKind::kNone; }
    // Parameters edited in the plot rather than by a control of their own.
    virtual bool isPlotParameter(int /*index*/) const { return false; }
    // The values the plot shows: the base values, or in modulation preview
    // the modulated values of the previewed channel (the base values while a
    // control is being dragged). Writes kMaxValues at most; returns the count.
    virtual int plotValues(float* out) const = 0;
    virtual float plotSampleRate() const = 0;

    // kResponse: curve 0 is what the module puts out; further curves are
    // its parts (the two filters it morphs between). Fills outDb[c][0..count)
    // for every curve c below responseCurves() with the magnitude in dB at
    // the frequencies given.
    virtual int responseCurves() const { return 0; }
    virtual void responseDb(const float* /*values*/, const double* /*freqHz*/, int /*count*/,
                            double* const* /*outDb*/) const {}
    // kTransfer: output sample for an input sample. kDynamics: output level
    // in dB for an input level in dB.
    virtual double transferAt(const float* /*values*/, double input) const { return input; }
    // The same at many inputs at once.
    virtual void transferCurve(const float* values, const double* input, double* output, int count) const {
        for (int i = 0; i < count; ++i) output[i] = transferAt(values, input[i]);
    }
    // kWaveform: the output of a channel (0 left, 1 right) at a phase 0..1
    // of one cycle, and the phase the module is at now.
    virtual double waveformAt(const float* /*values*/, double /*phase*/, int /*channel*/) const { return 0.0; }
    virtual double plotPhase() const { return 0.0; }
    // kHistory.
    virtual const PlotHistory* plotHistory() const { return nullptr; }
    // kTaps: the first echoes of an impulse, at most maxTaps; returns the count.
    virtual int delayTaps(const float* /*values*/, DelayTap* /*out*/, int /*maxTaps*/) const { return 0; }
};

}  // namespace vh
