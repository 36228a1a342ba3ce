// Equaliser, formant filter and phaser: cost per stereo sample, including the
// control tick (update) amortised over its 32 samples.

#include <benchmark/benchmark.h>

#include <vector>

#include "operators/EQ.h"
#include "operators/Formant.h"
#include "operators/Phaser.h"

using namespace vh;

namespace {

std::vector<float> benchNoise(size_t n) {
    std::vector<float> s(n);
    unsigned x = 12345u;
    for (float& v : s) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<float>((x >> 8) * (1.0 / 8388608.0) - 1.0) * 0.5f;
    }
    return s;
}

// Runs blocks of one control tick: a modulation that moves every tick (so
// the glides are never idle), update, then 32 samples.
void runTicks(benchmark::State& state, Operator& op, std::initializer_list<int> modulated) {
    op.setSampleRate(48000.0f);
    const std::vector<float> input = benchNoise(4096);
    size_t pos = 0;
    float phase = 0.0f;
    for (auto _ : state) {
        op.resetModulation();
        phase = phase > 0.5f ? 0.0f : phase + 0.01f;
        for (int index : modulated) {
            op.addModulation(index, phase - 0.25f, 0.25f - phase);
            op.clampModulation(index);
        }
        op.update();
        for (int i = 0; i < 32; ++i) {
            float l = input[pos], r = input[pos + 1];
            op.processSample(&l, &r);
            benchmark::DoNotOptimize(l);
            benchmark::DoNotOptimize(r);
            pos = (pos + 2) & 4095;
        }
    }
    state.SetItemsProcessed(state.iterations() * 32);
}

void BM_EqTwoShelves(benchmark::State& state) {
    EQ eq(0, nullptr);
    eq.setParameter(EQ::kFreqA, 0.3f);
    eq.setParameter(EQ::kGainA, 0.8f);
    eq.setParameter(EQ::kTypeB, discreteValue(EQ::kHighShelf, 3));
    eq.setParameter(EQ::kFreqB, 0.8f);
    eq.setParameter(EQ::kGainB, 0.2f);
    eq.setParameter(EQ::kMorph, 0.5f);
    runTicks(state, eq, {EQ::kFreqA, EQ::kFreqB});
}
BENCHMARK(BM_EqTwoShelves);

void BM_EqShelfAndPeaking(benchmark::State& state) {
    EQ eq(0, nullptr);
    eq.setParameter(EQ::kFreqA, 0.3f);
    eq.setParameter(EQ::kGainA, 0.8f);
    eq.setParameter(EQ::kTypeB, discreteValue(EQ::kPeaking, 3));
    eq.setParameter(EQ::kFreqB, 0.6f);
    eq.setParameter(EQ::kQB, 0.7f);
    eq.setParameter(EQ::kGainB, 0.9f);
    eq.setParameter(EQ::kMorph, 0.5f);
    runTicks(state, eq, {EQ::kFreqA, EQ::kFreqB});
}
BENCHMARK(BM_EqShelfAndPeaking);

// The common case: no modulation, so the right lanes copy the left targets.
void BM_EqShelfAndPeakingUnmodulated(benchmark::State& state) {
    EQ eq(0, nullptr);
    eq.setParameter(EQ::kFreqA, 0.3f);
    eq.setParameter(EQ::kGainA, 0.8f);
    eq.setParameter(EQ::kTypeB, discreteValue(EQ::kPeaking, 3));
    eq.setParameter(EQ::kFreqB, 0.6f);
    eq.setParameter(EQ::kQB, 0.7f);
    eq.setParameter(EQ::kGainB, 0.9f);
    eq.setParameter(EQ::kMorph, 0.5f);
    runTicks(state, eq, {});
}
BENCHMARK(BM_EqShelfAndPeakingUnmodulated);

void BM_Formant(benchmark::State& state) {
    Formant formant(0, nullptr);
    formant.setParameter(Formant::kVowelA, discreteValue(0, 5));
    formant.setParameter(Formant::kVowelB, discreteValue(2, 5));
    runTicks(state, formant, {Formant::kMorph});
}
BENCHMARK(BM_Formant);

void BM_Phaser(benchmark::State& state) {
    Phaser phaser(0, nullptr);
    phaser.setParameter(Phaser::kStages, discreteValue(static_cast<int>(state.range(0)) - 1, 16));
    phaser.setParameter(Phaser::kDepth, 1.0f);
    phaser.setParameter(Phaser::kOverallFeedback, 0.6f);
    runTicks(state, phaser, {Phaser::kStageFeedback});
}
BENCHMARK(BM_Phaser)->Arg(8)->Arg(16);

}  // namespace

namespace {
// The control tick alone: targets and increments from moving modulation.
template <class Op>
void updateOnly(benchmark::State& state, Op& op, int modulated) {
    op.setSampleRate(48000.0f);
    float phase = 0.0f;
    for (auto _ : state) {
        op.resetModulation();
        phase = phase > 0.5f ? 0.0f : phase + 0.01f;
        op.addModulation(modulated, phase - 0.25f, 0.25f - phase);
        op.clampModulation(modulated);
        op.update();
        benchmark::ClobberMemory();
    }
}
void BM_EqUpdate(benchmark::State& state) {
    EQ eq(0, nullptr);
    updateOnly(state, eq, EQ::kFreqA);
}
BENCHMARK(BM_EqUpdate);
void BM_FormantUpdate(benchmark::State& state) {
    Formant formant(0, nullptr);
    updateOnly(state, formant, Formant::kMorph);
}
BENCHMARK(BM_FormantUpdate);
void BM_PhaserUpdate(benchmark::State& state) {
    Phaser phaser(0, nullptr);
    updateOnly(state, phaser, Phaser::kStageFeedback);
}
BENCHMARK(BM_PhaserUpdate);
}  // namespace
