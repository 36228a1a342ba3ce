// Reverb2 per stereo sample, one benchmark per algorithm, control ticks
// included (every 32 samples, as the engine runs it).

#include <benchmark/benchmark.h>

#include <vector>

#include "operators/Reverb2.h"

namespace {

// modulateTime: "time" moves at every control tick, so every tick
// recomputes the decay coefficients (the worst case for update).
void runReverb(benchmark::State& state, int type, bool modulateTime = false) {
    vh::Reverb2 rv(0, nullptr);
    rv.setParameter(vh::Reverb2::kType, vh::discreteValue(type, vh::Reverb2::kNumTypeStates));
    rv.setParameter(vh::Reverb2::kTime, 0.8f);
    rv.setParameter(vh::Reverb2::kDamping, 0.3f);
    rv.setParameter(vh::Reverb2::kAmount, 0.7f);
    rv.setParameter(vh::Reverb2::kPreTime, 0.02f);
    rv.setSampleRate(44100.0f);
    constexpr int kBlock = 256;
    std::vector<float> left(kBlock), right(kBlock);
    unsigned seed = 1;
    for (int i = 0; i < kBlock; ++i) {
        seed = seed * 1664525u + 1013904223u;
        left[i] = static_cast<float>(seed >> 8) * (1.0f / 8388608.0f) - 1.0f;
        right[i] = -left[i];
    }
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) {
            if ((i & 31) == 0) {
                rv.resetModulation();
                if (modulateTime) rv.addModulation(vh::Reverb2::kTime, 0.001f * float(i >> 5), 0.0f);
                rv.update();
            }
            float l = left[i], r = right[i];
            rv.processSample(&l, &r);
            left[i] = l * 0.5f + left[i] * 0.5f;  // keep the input alive and the output used
            right[i] = r * 0.5f + right[i] * 0.5f;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns/sample"] =
        benchmark::Counter(double(state.iterations()) * kBlock, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ReverbCathedral(benchmark::State& state) { runReverb(state, vh::Reverb2::kCathedral); }
void BM_ReverbHall(benchmark::State& state) { runReverb(state, vh::Reverb2::kHall); }
void BM_ReverbRoom(benchmark::State& state) { runReverb(state, vh::Reverb2::kRoom); }
void BM_ReverbPlate(benchmark::State& state) { runReverb(state, vh::Reverb2::kPlate); }

BENCHMARK(BM_ReverbCathedral);
BENCHMARK(BM_ReverbHall);
BENCHMARK(BM_ReverbRoom);
BENCHMARK(BM_ReverbPlate);
void BM_ReverbCathedralTimeModulated(benchmark::State& state) { runReverb(state, vh::Reverb2::kCathedral, true); }
void BM_ReverbRoomTimeModulated(benchmark::State& state) { runReverb(state, vh::Reverb2::kRoom, true); }
BENCHMARK(BM_ReverbCathedralTimeModulated);
BENCHMARK(BM_ReverbRoomTimeModulated);
// The frame every algorithm shares: pre-delay, ramps and the virtual call.
void BM_ReverbBypass(benchmark::State& state) { runReverb(state, 9); }
BENCHMARK(BM_ReverbBypass);

}  // namespace
