// The routing matrix per stereo sample (operator inputs, wet sums and the ramp
// step, with a control tick every 32 samples) while its gains stand and while
// every tick moves them; and one control tick of sixteen busy modulation
// slots; the main section and the output stage per sample. Noise in, random values, and the audio thread's floating-point mode.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engine/MainSection.h"
#include "engine/MidiState.h"
#include "engine/ModulationSlots.h"
#include "engine/OutputStage.h"
#include "engine/RoutingMatrix.h"
#include "modules/Conversions.h"
#include "modules/ParameterLayout.h"
#include "platform/FpuState.h"

namespace {

using namespace vh;

std::vector<float> noise(size_t n, unsigned seed, float low, float high) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(low, high);
    std::vector<float> v(n);
    for (float& x : v) x = uniform(random);
    return v;
}

}  // namespace

// Arg 0: values set once, the gains stand; arg 1: new values every tick.
static void BM_RoutingPerSample(benchmark::State& state) {
    const bool moving = state.range(0) != 0;
    constexpr size_t kLength = 1 << 14;
    const std::vector<float> left = noise(kLength, 1, -1.0f, 1.0f), right = noise(kLength, 2, -1.0f, 1.0f);
    const std::vector<float> values = noise(kNumRoutingGains * 256, 3, 0.0f, 1.0f);
    ScopedFlushToZero fpu;
    RoutingMatrix matrix;
    for (int e = 0; e < kNumRoutingGains; ++e) matrix.setValue(e, values[e]);
    matrix.beginTick();
    matrix.settle();
    Vec4 lastL, lastR;
    float sum = 0.0f;
    size_t i = 0, set = 0;
    // An operator stand-in that keeps the feedback through the links bounded.
    const Vec4 operatorGain(0.2f);
    for (auto _ : state) {
        if (moving) {
            set = (set + 1) & 255;
            for (int e = 0; e < kNumRoutingGains; ++e) matrix.setValue(e, values[set * kNumRoutingGains + e]);
        }
        matrix.beginTick();
        matrix.endTick();
        for (int n = 0; n < kControlTick; ++n, i = (i + 1) & (kLength - 1)) {
            matrix.advance();
            Vec4 inL, inR;
            matrix.operatorInputs(left[i], right[i], lastL, lastR, inL, inR);
            lastL = inL * operatorGain;
            lastR = inR * operatorGain;
            float wetL, wetR;
            matrix.wetSums(lastL, lastR, wetL, wetR);
            sum += wetL + wetR;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.counters["ns_per_sample"] = benchmark::Counter(double(state.iterations()) * kControlTick,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RoutingPerSample)->ArgName("moving")->Arg(0)->Arg(1);

// Sixteen active slots reading the eight knobs, which move to new random
// values every tick, into routing gains, the main controls and (one slot) a
// sensitivity.
static void BM_ModulationSlotsTick(benchmark::State& state) {
    const std::vector<float> knobs = noise(kNumKnobs * 1024, 4, 0.0f, 1.0f);
    const std::vector<float> sens = noise(kNumModSlots, 5, 0.0f, 1.0f);
    ScopedFlushToZero fpu;
    ModulationSlots slots;
    MidiState midi;
    const float modL[kNumModulatorSlots] = {}, modR[kNumModulatorSlots] = {};
    for (int k = 0; k < kNumModSlots; ++k) {
        int d = k < 12 ? kDestInToOp + 2 * k : k < 15 ? kDestMainInput + (k - 12) : kDestSens;
        slots.setSource(k, discreteValue(kSourceKnob1 + k % kNumKnobs, kNumSources));
        slots.setDestination(k, discreteValue(d, kNumDestinations));
        slots.setSensitivity(k, sens[k]);
    }
    slots.reset();
    slots.resolveSources(modL, modR, midi);
    const float coefficient = controlSmoothingCoefficient(44100.0f);
    float modulated[kNumDestinations][2] = {};
    size_t set = 0;
    for (auto _ : state) {
        set = (set + 1) & 1023;
        for (int k = 0; k < kNumKnobs; ++k) slots.setKnob(k, knobs[set * kNumKnobs + k]);
        slots.smoothKnobs(coefficient);
        slots.tick(
            [&](int d, float l, float r) {
                modulated[d][0] += l;
                modulated[d][1] += r;
            },
            [&](int d) {
                modulated[d][0] = clampUnit(modulated[d][0]);
                modulated[d][1] = clampUnit(modulated[d][1]);
            });
        benchmark::DoNotOptimize(modulated);
    }
}
BENCHMARK(BM_ModulationSlotsTick);

// The main section and the output stage per stereo sample: smoothing, gain
// ramps, a dry delay of 100 ms, mix and output gain, then the limiter and the
// finite check, on noise loud enough to limit; Input, Mix and Output move to
// new random values every tick, so nothing settles.
static void BM_MainAndOutputPerSample(benchmark::State& state) {
    constexpr size_t kLength = 1 << 14;
    const std::vector<float> dry = noise(kLength, 6, -2.0f, 2.0f), wet = noise(kLength, 7, -2.0f, 2.0f);
    const std::vector<float> controls = noise(3 * 1024, 8, 0.0f, 1.0f);
    ScopedFlushToZero fpu;
    MainSection main;
    OutputStage output;
    main.setSampleRate(44100.0f);
    output.setSampleRate(44100.0f);
    main.setDryDelay(MainSection::dryDelayValue(4410, 44100.0f));
    float sum = 0.0f;
    size_t i = 0, set = 0;
    for (auto _ : state) {
        set = (set + 1) & 1023;
        for (int c = 0; c < MainSection::kNumControls; ++c) main.setControl(c, controls[3 * set + c]);
        main.beginTick();
        main.endTick();
        main.noteRamping();
        for (int n = 0; n < kControlTick; ++n, i = (i + 1) & (kLength - 1)) {
            main.smoothControls();
            main.advance();
            float yL, yR;
            main.mix(dry[i] * main.inputGain(0), dry[i] * main.inputGain(1), wet[i], -wet[i], yL, yR);
            output.process(yL, yR);
            sum += yL + yR;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.counters["ns_per_sample"] = benchmark::Counter(double(state.iterations()) * kControlTick,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MainAndOutputPerSample);
