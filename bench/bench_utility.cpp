// The utility operators' cost per stereo sample, control tick included.

#include <benchmark/benchmark.h>

#include <memory>

#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"

namespace {
void runOperator(benchmark::State& state, int type, float parameter) {
    auto op = vh::createOperator(type, 0, nullptr);
    op->setParameter(0, parameter);
    op->setSampleRate(44100.0f);
    float taps[vh::kNumTaps] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.25f};
    int counter = 0;
    for (auto _ : state) {
        if (++counter == vh::kControlTick) {
            counter = 0;
            op->resetModulation();
            op->update();
        }
        float l = 0.25f, r = -0.25f;
        op->setInputs(taps, taps);
        op->processSample(&l, &r);
        benchmark::DoNotOptimize(l);
        benchmark::DoNotOptimize(r);
    }
    state.counters["ns_per_sample"] = benchmark::Counter(double(state.iterations()),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
}  // namespace

static void BM_UtilityGain(benchmark::State& s) { runOperator(s, vh::kOpGain, 0.8f); }
static void BM_UtilityStereo(benchmark::State& s) { runOperator(s, vh::kOpStereo, 0.3f); }
static void BM_UtilityPanner(benchmark::State& s) { runOperator(s, vh::kOpPanner, 0.3f); }
static void BM_UtilityPhaseInv(benchmark::State& s) { runOperator(s, vh::kOpPhaseInv, 0.9f); }
static void BM_UtilitySideMix(benchmark::State& s) { runOperator(s, vh::kOpSideMix, 0.5f); }
static void BM_UtilityRectifier(benchmark::State& s) { runOperator(s, vh::kOpRectifier, 0.9f); }
BENCHMARK(BM_UtilityGain);
BENCHMARK(BM_UtilityStereo);
BENCHMARK(BM_UtilityPanner);
BENCHMARK(BM_UtilityPhaseInv);
BENCHMARK(BM_UtilitySideMix);
BENCHMARK(BM_UtilityRectifier);
