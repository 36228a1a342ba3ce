#pragma once
// Drives a single module the way the engine does (control tick every 32
// samples: resetModulation, modulation, clamp, update; then processSample),
// and measures the signals that come out.

#include <cmath>
#include <functional>
#include <vector>

#include "modules/Module.h"
#include "modules/MathConstants.h"

namespace vh::test {


struct StereoBuffer {
    std::vector<float> left, right;
    explicit StereoBuffer(size_t n = 0) : left(n, 0.0f), right(n, 0.0f) {}
    size_t size() const { return left.size(); }
};

// Modulation applied at every tick: local index, left and right amounts.
struct TickModulation {
    int index;
    float left, right;
};

// Records automateParameter calls.
class RecordingHost : public ModuleHost {
public:
    struct Edit {
        int index;
        float value;
    };
    std::vector<Edit> edits;
    void automateParameter(int globalIndex, float value) override { edits.push_back({globalIndex, value}); }
};

template <class Module>
void controlTick(Module& module, const std::vector<TickModulation>& modulation) {
    module.resetModulation();
    for (const auto& m : modulation) module.addModulation(m.index, m.left, m.right);
    for (const auto& m : modulation) module.clampModulation(m.index);
    module.update();
}

// Runs an operator over a stereo signal in place. The tick counter is kept
// by the caller across calls when continuity matters.
inline void runOperator(Operator& op, StereoBuffer& signal, const std::vector<TickModulation>& modulation = {},
                        int* tickCounter = nullptr, const float* tapsL = nullptr, const float* tapsR = nullptr) {
    int localCounter = 0;
    int& counter = tickCounter ? *tickCounter : localCounter;
    float zeros[kNumTaps] = {};
    for (size_t n = 0; n < signal.size(); ++n) {
        if (++counter >= 32) {
            counter = 0;
            controlTick(op, modulation);
        }
        op.setInputs(tapsL ? tapsL : zeros, tapsR ? tapsR : zeros);
        op.processSample(&signal.left[n], &signal.right[n]);
    }
}

// Runs a modulator for n samples and returns its outputs.
inline StereoBuffer runModulator(Modulator& mod, size_t n, const std::vector<TickModulation>& modulation = {},
                           int* tickCounter = nullptr,
                           const std::function<void(size_t, float*, float*)>& taps = nullptr) {
    StereoBuffer out(n);
    int localCounter = 0;
    int& counter = tickCounter ? *tickCounter : localCounter;
    float tapL[kNumTaps] = {}, tapR[kNumTaps] = {};
    for (size_t i = 0; i < n; ++i) {
        if (++counter >= 32) {
            counter = 0;
            controlTick(mod, modulation);
        }
        if (taps) taps(i, tapL, tapR);
        mod.setInputs(tapL, tapR);
        mod.processSample(&out.left[i], &out.right[i]);
    }
    return out;
}

inline std::vector<float> sine(double freqHz, double rate, size_t n, double amplitude = 1.0, double phase = 0.0) {
    std::vector<float> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<float>(amplitude * std::sin(2.0 * kPi * freqHz * i / rate + phase));
    return s;
}

inline StereoBuffer stereoSine(double freqHz, double rate, size_t n, double amplitude = 1.0) {
    StereoBuffer s;
    s.left = sine(freqHz, rate, n, amplitude);
    s.right = s.left;
    return s;
}

// Deterministic white noise in -amplitude..amplitude.
inline std::vector<float> noise(size_t n, double amplitude = 1.0, unsigned seed = 1) {
    std::vector<float> s(n);
    unsigned x = seed * 2654435761u + 1u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        s[i] = static_cast<float>(amplitude * ((x >> 8) * (1.0 / 8388608.0) - 1.0));
    }
    return s;
}

inline double rms(const std::vector<float>& s, size_t begin = 0, size_t end = 0) {
    if (end == 0 || end > s.size()) end = s.size();
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += double(s[i]) * s[i];
    return end > begin ? std::sqrt(sum / double(end - begin)) : 0.0;
}

inline double peak(const std::vector<float>& s, size_t begin = 0, size_t end = 0) {
    if (end == 0 || end > s.size()) end = s.size();
    double p = 0.0;
    for (size_t i = begin; i < end; ++i) p = std::max(p, double(std::fabs(s[i])));
    return p;
}

inline bool allFinite(const std::vector<float>& s) {
    for (float x : s)
        if (!std::isfinite(x)) return false;
    return true;
}

inline double toDb(double amplitude) { return 20.0 * std::log10(amplitude); }

// Amplitude of the component at freqHz (single-bin DFT over [begin, end)).
inline double amplitudeAt(const std::vector<float>& s, double freqHz, double rate, size_t begin = 0, size_t end = 0) {
    if (end == 0 || end > s.size()) end = s.size();
    double re = 0.0, im = 0.0;
    for (size_t i = begin; i < end; ++i) {
        double phase = 2.0 * kPi * freqHz * double(i) / rate;
        re += s[i] * std::cos(phase);
        im += s[i] * std::sin(phase);
    }
    return 2.0 * std::sqrt(re * re + im * im) / double(end - begin);
}

// Steady-state gain of an operator at one frequency (left channel), measured
// with a sine after the transient has died away.
inline double gainAt(Operator& op, double freqHz, double rate, double seconds = 0.5) {
    size_t n = static_cast<size_t>(rate * seconds);
    StereoBuffer s = stereoSine(freqHz, rate, n, 0.25);
    runOperator(op, s);
    return amplitudeAt(s.left, freqHz, rate, n / 2, n) / 0.25;
}

}  // namespace vh::test
