// Cost per stereo sample of the delay, comb filter and bit-crusher, with a
// control tick every 32 samples as in the engine. Compare "per_sample" with
// the targets: delay (cubic) < 10 ns, comb < 10 ns, bit-crusher < 6 ns.

#include <benchmark/benchmark.h>

#include <memory>
#include <utility>
#include <vector>

#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"
#include "operators/Comb.h"
#include "operators/DelayLine.h"
#include "operators/LoFi.h"

using namespace vh;

namespace {

constexpr int kBlock = 4096;

std::vector<float> benchNoise(int n, unsigned seed) {
    std::vector<float> s(n);
    unsigned x = seed;
    for (float& v : s) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<float>((x >> 8) * (1.0 / 8388608.0) - 1.0) * 0.5f;
    }
    return s;
}

void runBench(benchmark::State& state, int type, std::initializer_list<std::pair<int, float>> params,
              int modulatedIndex = -1) {
    auto op = createOperator(type, 0, nullptr);
    for (auto [i, v] : params) op->setParameter(i, v);
    op->setSampleRate(44100.0f);
    std::vector<float> inL = benchNoise(kBlock, 1), inR = benchNoise(kBlock, 2);
    std::vector<float> bufL(kBlock), bufR(kBlock);
    float lfo = 0.0f;
    for (auto _ : state) {
        for (int n = 0; n < kBlock; ++n) {
            if ((n & 31) == 0) {
                op->resetModulation();
                if (modulatedIndex >= 0) {
                    lfo = lfo > 1.0f ? -1.0f : lfo + 0.01f;
                    op->addModulation(modulatedIndex, lfo, -lfo);
                    op->clampModulation(modulatedIndex);
                }
                op->update();
            }
            bufL[n] = inL[n];
            bufR[n] = inR[n];
            op->processSample(&bufL[n], &bufR[n]);
        }
        benchmark::DoNotOptimize(bufL.data());
        benchmark::DoNotOptimize(bufR.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    // Seconds of CPU per stereo sample (shown with an SI prefix: "8.5n" is 8.5 ns).
    state.counters["per_sample"] =
        benchmark::Counter(kBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

constexpr float kTimeBased = 0.25f;
constexpr float kOff = 1.0f / 6.0f, kLinear = 0.5f, kCubic = 5.0f / 6.0f;

void BM_DelayLineCubic(benchmark::State& state) {
    runBench(state, kOpDelay,
             {{DelayLine::kMode, kTimeBased}, {DelayLine::kTimeL, 0.075f}, {DelayLine::kTimeR, 0.1f},
              {DelayLine::kFeedback, 0.8f}, {DelayLine::kInterpolate, kCubic}, {DelayLine::kPanL, 0.3f},
              {DelayLine::kPanR, 0.3f}});
}
void BM_DelayLineCubicModulated(benchmark::State& state) {
    runBench(state, kOpDelay,
             {{DelayLine::kMode, kTimeBased}, {DelayLine::kTimeL, 0.075f}, {DelayLine::kTimeR, 0.1f},
              {DelayLine::kFeedback, 0.8f}, {DelayLine::kInterpolate, kCubic}, {DelayLine::kFeedbackMode, 0.75f}},
             DelayLine::kTimeLR);
}
void BM_DelayLineLinear(benchmark::State& state) {
    runBench(state, kOpDelay, {{DelayLine::kFeedback, 0.8f}, {DelayLine::kInterpolate, kLinear}});
}
void BM_DelayLineOff(benchmark::State& state) {
    runBench(state, kOpDelay, {{DelayLine::kFeedback, 0.8f}, {DelayLine::kInterpolate, kOff}});
}
void BM_CombFeedbackCubic(benchmark::State& state) {
    runBench(state, kOpComb, {{Comb::kFreq, 0.4f}, {Comb::kDepth, 0.9f}, {Comb::kInterpolate, kCubic}});
}
void BM_CombFeedbackCubicModulated(benchmark::State& state) {
    runBench(state, kOpComb, {{Comb::kFreq, 0.4f}, {Comb::kDepth, 0.9f}, {Comb::kInterpolate, kCubic}},
             Comb::kFreq);
}
void BM_CombFeedbackLinear(benchmark::State& state) {
    runBench(state, kOpComb, {{Comb::kFreq, 0.4f}, {Comb::kDepth, 0.9f}, {Comb::kInterpolate, kLinear}});
}
void BM_CombFeedforwardCubic(benchmark::State& state) {
    runBench(state, kOpComb,
             {{Comb::kFreq, 0.4f}, {Comb::kDepth, 0.9f}, {Comb::kType, 0.75f}, {Comb::kInterpolate, kCubic}});
}
void BM_GainReference(benchmark::State& state) { runBench(state, kOpGain, {}); }
void BM_LoFiDefaults(benchmark::State& state) { runBench(state, kOpLoFi, {}); }
void BM_LoFiCrushed(benchmark::State& state) {
    runBench(state, kOpLoFi, {{LoFi::kBits, 0.4f}, {LoFi::kSampleRate, 0.5f}}, LoFi::kBits);
}

}  // namespace

BENCHMARK(BM_DelayLineCubic);
BENCHMARK(BM_DelayLineCubicModulated);
BENCHMARK(BM_DelayLineLinear);
BENCHMARK(BM_DelayLineOff);
BENCHMARK(BM_CombFeedbackCubic);
BENCHMARK(BM_CombFeedbackCubicModulated);
BENCHMARK(BM_CombFeedbackLinear);
BENCHMARK(BM_CombFeedforwardCubic);
BENCHMARK(BM_GainReference);
BENCHMARK(BM_LoFiDefaults);
BENCHMARK(BM_LoFiCrushed);
