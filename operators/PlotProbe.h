#pragma once
// Plots measured rather than re-derived: a private instance of the module's
// own type, set to the values the plot shows, runs an impulse through the
// very processSample that runs the audio. Used on the user-interface thread
// only (it allocates), when a plot's values change.

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "modules/Vec4.h"
#include "operators/FFT.h"

namespace vh::plotprobe {

constexpr int kLength = 4096;
// Small enough that a saturating stage (the ladder) stays in its linear range.
constexpr float kImpulse = 1.0f / 64.0f;

// An instance of type M at these values and this rate, smoothing settled.
template <class M>
std::unique_ptr<M> instance(const float* values, float sampleRate) {
    auto m = std::make_unique<M>(0, nullptr);
    for (int i = 0; i < M::kNumParams; ++i) m->setParameter(i, values[i]);
    m->setSampleRate(sampleRate);
    return m;
}

// Magnitude in dB of the left output for an impulse on both inputs, at the
// frequencies given (read between the transform's bins).
template <class M>
void magnitudeDb(M& module, float sampleRate, const double* freqHz, double* outDb, int count) {
    fft::prepare();
    std::vector<Vec4> data(kLength);
    for (int n = 0; n < kLength; ++n) {
        float l = n == 0 ? kImpulse : 0.0f, r = l;
        module.processSample(&l, &r);
        // The transform's input order: sample j at 2j, the second half interleaved.
        int slot = n < kLength / 2 ? 2 * n : 2 * (n - kLength / 2) + 1;
        data[slot] = Vec4(std::isfinite(l) ? l / kImpulse : 0.0f, 0.0f, 0.0f, 0.0f);
    }
    fft::forward(data.data(), kLength);
    std::vector<Vec4> re(kLength / 2 + 1), im(kLength / 2 + 1);
    fft::unpack(kLength, data.data(), re.data(), im.data());
    auto magnitude = [&](int k) { return std::hypot(double(re[k][0]), double(im[k][0])); };
    for (int i = 0; i < count; ++i) {
        double bin = std::clamp(freqHz[i] / sampleRate * kLength, 0.0, kLength / 2.0);
        int k = std::min(static_cast<int>(bin), kLength / 2 - 1);
        double f = bin - k;
        double m = (1.0 - f) * magnitude(k) + f * magnitude(k + 1);
        outDb[i] = m > 1e-10 ? 20.0 * std::log10(m) : -200.0;
    }
}

// The same for a fresh instance at the values; `morphIndex` >= 0 with curve
// 1 or 2 pins that parameter to 0 or 1 (the module's first or second part).
template <class M>
void magnitudeDb(const float* values, int morphIndex, int curve, float sampleRate, const double* freqHz, double* outDb,
                 int count) {
    float v[M::kNumParams];
    std::copy(values, values + M::kNumParams, v);
    if (morphIndex >= 0 && curve > 0) v[morphIndex] = curve == 1 ? 0.0f : 1.0f;
    auto m = instance<M>(v, sampleRate);
    magnitudeDb(*m, sampleRate, freqHz, outDb, count);
}

}  // namespace vh::plotprobe
