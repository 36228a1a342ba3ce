// Cost per stereo sample of the dynamics operators, driven like the engine
// drives them: setInputs and processSample per sample through the Operator
// interface, a control tick every 32 samples.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "modules/Module.h"
#include "operators/CompExp.h"
#include "operators/Distortion.h"
#include "operators/Gain.h"

namespace {

using namespace vh;

constexpr int kBlock = 1024;

std::vector<float> benchNoise(unsigned seed) {
    std::vector<float> s(kBlock);
    unsigned x = seed;
    for (float& v : s) {
        x = x * 1664525u + 1013904223u;
        v = 0.8f * ((x >> 8) * (1.0f / 8388608.0f) - 1.0f);
    }
    return s;
}

void runOperator(benchmark::State& state, Operator& op) {
    op.setSampleRate(44100.0f);
    std::vector<float> inL = benchNoise(1), inR = benchNoise(2), side = benchNoise(3);
    float tapL[kNumTaps] = {}, tapR[kNumTaps] = {};
    for (auto _ : state) {
        for (int n = 0; n < kBlock; ++n) {
            if ((n & 31) == 0) {
                op.resetModulation();
                op.update();
            }
            tapL[kTapSideChain] = side[n];
            tapR[kTapSideChain] = -side[n];
            float l = inL[n], r = inR[n];
            op.setInputs(tapL, tapR);
            op.processSample(&l, &r);
            benchmark::DoNotOptimize(l);
            benchmark::DoNotOptimize(r);
        }
    }
    // Seconds per stereo sample (shown in ns).
    state.counters["per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

std::unique_ptr<Operator> compressor(int source, bool rms) {
    auto op = std::make_unique<CompExp>(0, nullptr);
    op->setParameter(CompExp::kThreshold, 40.0f / 60.0f);  // -20 dB
    op->setParameter(CompExp::kRatio, 0.75f);              // 4:1
    op->setParameter(CompExp::kSource, discreteValue(source, CompExp::kNumSources));
    op->setParameter(CompExp::kPeakRms, discreteValue(rms ? 1 : 0, 2));
    return op;
}

std::unique_ptr<Operator> shaper(int type, bool xover, float diffuse, float drive = 0.4f) {
    auto op = std::make_unique<Distortion>(0, nullptr);
    op->setParameter(Distortion::kType, discreteValue(type, Distortion::kNumTypeStates));
    op->setParameter(Distortion::kDrive, drive);
    op->setParameter(Distortion::kBandwidth, 0.3f);
    op->setParameter(Distortion::kXover, discreteValue(xover ? 1 : 0, 2));
    op->setParameter(Distortion::kDiffuse, diffuse);
    return op;
}

// The cost of driving any operator at all, for reference.
void GainReference(benchmark::State& state) {
    Gain gain(0, nullptr);
    runOperator(state, gain);
}
void CompExpRms(benchmark::State& state) { runOperator(state, *compressor(0, true)); }
void CompExpPeakSideChain(benchmark::State& state) { runOperator(state, *compressor(5, false)); }
void DistortionSymXoverDiffuse(benchmark::State& state) { runOperator(state, *shaper(Distortion::kSymA, true, 0.5f)); }
void DistortionClipXoverDiffuse(benchmark::State& state) { runOperator(state, *shaper(Distortion::kClip, true, 0.5f)); }
void DistortionAsymXoverDiffuse(benchmark::State& state) { runOperator(state, *shaper(Distortion::kAsymA, true, 0.5f)); }
void DistortionSymPlain(benchmark::State& state) { runOperator(state, *shaper(Distortion::kSymA, false, 0.0f)); }
void DistortionAsymPlain(benchmark::State& state) { runOperator(state, *shaper(Distortion::kAsymA, false, 0.0f)); }
// At 0 dB of drive the noise crosses the asymmetric curve's zero point (where
// it switches to its series) on about a third of the samples, at random.
void DistortionAsymUndriven(benchmark::State& state) {
    runOperator(state, *shaper(Distortion::kAsymA, false, 0.5f, 0.0f));
}

}  // namespace

BENCHMARK(GainReference);
BENCHMARK(CompExpRms);
BENCHMARK(CompExpPeakSideChain);
BENCHMARK(DistortionSymXoverDiffuse);
BENCHMARK(DistortionClipXoverDiffuse);
BENCHMARK(DistortionAsymXoverDiffuse);
BENCHMARK(DistortionSymPlain);
BENCHMARK(DistortionAsymPlain);
BENCHMARK(DistortionAsymUndriven);
