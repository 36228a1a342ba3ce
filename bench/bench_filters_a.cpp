// Per stereo sample cost of the resonant filters, the control tick amortised
// over its 32 samples as the engine runs it.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "modules/Module.h"
#include "operators/Biquad.h"
#include "operators/FilterControls.h"
#include "operators/Moog.h"
#include "operators/SVF.h"

using namespace vh;

namespace {

constexpr int kBlock = 256;

std::vector<float> benchNoise(unsigned seed) {
    std::vector<float> s(kBlock);
    for (float& x : s) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<float>((seed >> 8) * (1.0 / 8388608.0) - 1.0) * 0.5f;
    }
    return s;
}

// One block of 256 samples with a tick every 32, the cutoff modulated so
// every tick recomputes real glides.
template <class Op>
void runBlocks(benchmark::State& state, Op& op, int freqIndex) {
    std::vector<float> inL = benchNoise(1), inR = benchNoise(2);
    float taps[kNumTaps] = {};
    float sweep = 0.0f;
    for (auto _ : state) {
        for (int n = 0; n < kBlock; ++n) {
            if (n % kControlTick == 0) {
                sweep = sweep > 0.5f ? -0.5f : sweep + 0.01f;
                op.resetModulation();
                op.addModulation(freqIndex, sweep, -sweep);
                op.clampModulation(freqIndex);
                op.update();
            }
            float l = inL[n], r = inR[n];
            op.setInputs(taps, taps);
            op.processSample(&l, &r);
            benchmark::DoNotOptimize(l);
            benchmark::DoNotOptimize(r);
        }
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns_per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_BiquadProcessSample(benchmark::State& state) {
    Biquad op(0, nullptr);
    op.setParameter(Biquad::kFreqA, filter::frequencyValue(1000.0));
    op.setParameter(Biquad::kResoA, 0.4f);
    op.setParameter(Biquad::kFreqB, filter::frequencyValue(3000.0));
    op.setParameter(Biquad::kTypeB, discreteValue(filter::kBandPass, filter::kNumFilterTypes));
    op.setParameter(Biquad::kMorph, 0.5f);
    op.setSampleRate(44100.0f);
    runBlocks(state, op, Biquad::kFreqA);
}
BENCHMARK(BM_BiquadProcessSample);

void BM_SvfProcessSample(benchmark::State& state) {
    SVF op(0, nullptr);
    op.setParameter(SVF::kFreqA, filter::frequencyValue(1000.0));
    op.setParameter(SVF::kResoA, 0.6f);
    op.setParameter(SVF::kFreqB, filter::frequencyValue(3000.0));
    op.setParameter(SVF::kTypeB, discreteValue(filter::kHighPass, filter::kNumFilterTypes));
    op.setParameter(SVF::kMorph, 0.5f);
    op.setSampleRate(44100.0f);
    runBlocks(state, op, SVF::kFreqA);
}
BENCHMARK(BM_SvfProcessSample);

void BM_MoogProcessSample(benchmark::State& state) {
    Moog op(0, nullptr);
    op.setParameter(Moog::kCutoff, filter::frequencyValue(1000.0));
    op.setParameter(Moog::kEmphasis, 0.7f);
    op.setSampleRate(44100.0f);
    runBlocks(state, op, Moog::kCutoff);
}
BENCHMARK(BM_MoogProcessSample);

// The control tick alone.
template <class Op>
void tickOnly(benchmark::State& state, Op& op, int freqIndex) {
    float sweep = 0.0f;
    for (auto _ : state) {
        sweep = sweep > 0.5f ? -0.5f : sweep + 0.01f;
        op.resetModulation();
        op.addModulation(freqIndex, sweep, -sweep);
        op.clampModulation(freqIndex);
        op.update();
        benchmark::ClobberMemory();
    }
}

void BM_BiquadUpdate(benchmark::State& state) {
    Biquad op(0, nullptr);
    op.setSampleRate(44100.0f);
    tickOnly(state, op, Biquad::kFreqA);
}
BENCHMARK(BM_BiquadUpdate);

void BM_SvfUpdate(benchmark::State& state) {
    SVF op(0, nullptr);
    op.setSampleRate(44100.0f);
    tickOnly(state, op, SVF::kFreqA);
}
BENCHMARK(BM_SvfUpdate);

void BM_MoogUpdate(benchmark::State& state) {
    Moog op(0, nullptr);
    op.setSampleRate(44100.0f);
    tickOnly(state, op, Moog::kCutoff);
}
BENCHMARK(BM_MoogUpdate);

}  // namespace
