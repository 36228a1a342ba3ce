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

// Magnitudes in dB, at the frequencies given (read between the transform's
// bins), of the output for an impulse on both inputs: outDb[0] of the module
// at the values and, with `morphIndex` >= 0, outDb[1] and outDb[2] of its
// two parts (that parameter pinned to 0 and to 1). Where the morph is a
// crossfade of the parts' outputs, the whole follows from the parts.
template <class M>
void magnitudesDb(const float* values, int morphIndex, bool crossfade, float sampleRate, const double* freqHz,
                  int count, double* const* outDb) {
    fft::prepare();
    std::vector<Vec4> data(kLength);
    // Lane 0 the whole, lanes 1 and 2 the parts.
    auto run = [&](M& module, int laneLeft, int laneRight) {
        for (int n = 0; n < kLength; ++n) {
            float l = n == 0 ? kImpulse : 0.0f, r = l;
            module.processSample(&l, &r);
            // The transform's input order: sample j at 2j, the second half interleaved.
            int slot = n < kLength / 2 ? 2 * n : 2 * (n - kLength / 2) + 1;
            data[slot].set(laneLeft, std::isfinite(l) ? l / kImpulse : 0.0f);
            if (laneRight >= 0) data[slot].set(laneRight, std::isfinite(r) ? r / kImpulse : 0.0f);
        }
    };
    const bool parts = morphIndex >= 0;
    if (parts) {
        // One instance plays both parts: morph 0 on the left, 1 on the right.
        auto m = instance<M>(values, sampleRate);
        m->resetModulation();
        m->addModulation(morphIndex, -values[morphIndex], 1.0f - values[morphIndex]);
        m->update();
        m->resetSmoothing();
        run(*m, 1, 2);
    }
    if (!parts || !crossfade) run(*instance<M>(values, sampleRate), 0, -1);
    fft::forward(data.data(), kLength);
    std::vector<Vec4> re(kLength / 2 + 1), im(kLength / 2 + 1);
    fft::unpack(kLength, data.data(), re.data(), im.data());
    if (parts && crossfade) {
        const float morph = std::clamp(values[morphIndex], 0.0f, 1.0f);
        for (int k = 0; k <= kLength / 2; ++k) {
            re[k].set(0, (1.0f - morph) * re[k][1] + morph * re[k][2]);
            im[k].set(0, (1.0f - morph) * im[k][1] + morph * im[k][2]);
        }
    }
    for (int lane = 0; lane < (parts ? 3 : 1); ++lane) {
        auto magnitude = [&](int k) { return std::hypot(double(re[k][lane]), double(im[k][lane])); };
        for (int i = 0; i < count; ++i) {
            double bin = std::clamp(freqHz[i] / sampleRate * kLength, 0.0, kLength / 2.0);
            int k = std::min(static_cast<int>(bin), kLength / 2 - 1);
            double f = bin - k;
            double m = (1.0 - f) * magnitude(k) + f * magnitude(k + 1);
            outDb[lane][i] = m > 1e-10 ? 20.0 * std::log10(m) : -200.0;
        }
    }
}

}  // namespace vh::plotprobe
