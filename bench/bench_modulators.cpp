// Cost of one stereo sample of each modulator, the control tick included
// (one update every 32 samples), as the engine runs them.

#include <benchmark/benchmark.h>

#include "modulators/ADSR.h"
#include "modulators/ENV.h"
#include "modulators/LFO.h"
#include "modulators/STEP.h"

namespace {

using namespace vh;

// With modulatedIndex >= 0 that parameter receives a different modulation at
// every tick, so coefficients derived from it are recomputed each time (the
// worst case: a modulator modulated by another one).
template <class M>
void runPerSample(benchmark::State& state, M& module, const float* tapL = nullptr, const float* tapR = nullptr,
                  int modulatedIndex = -1) {
    static const float kZeros[kNumTaps] = {};
    float outL = 0.0f, outR = 0.0f;
    int counter = 0;
    float sweep = 0.0f;
    for (auto _ : state) {
        if (++counter >= kControlTick) {
            counter = 0;
            module.resetModulation();
            if (modulatedIndex >= 0) {
                sweep = sweep < 0.5f ? sweep + 0.001f : 0.0f;
                module.addModulation(modulatedIndex, sweep, -sweep);
                module.clampModulation(modulatedIndex);
            }
            module.update();
        }
        module.setInputs(tapL ? tapL : kZeros, tapR ? tapR : kZeros);
        module.processSample(&outL, &outR);
        benchmark::DoNotOptimize(outL);
        benchmark::DoNotOptimize(outR);
    }
}

void BM_LfoSine(benchmark::State& state) {
    LFO lfo(0, nullptr);
    lfo.setParameter(LFO::kMode, 0.25f);
    lfo.setParameter(LFO::kRate, 0.5f);
    lfo.setParameter(LFO::kTilt, 0.3f);
    lfo.setParameter(LFO::kOffsetR, 0.7f);
    lfo.setParameter(LFO::kSmooth, 0.3f);
    lfo.setSampleRate(44100.0f);
    runPerSample(state, lfo);
}
BENCHMARK(BM_LfoSine);

void BM_LfoSineSmoothModulated(benchmark::State& state) {
    LFO lfo(0, nullptr);
    lfo.setParameter(LFO::kMode, 0.25f);
    lfo.setParameter(LFO::kRate, 0.5f);
    lfo.setParameter(LFO::kSmooth, 0.3f);
    lfo.setSampleRate(44100.0f);
    runPerSample(state, lfo, nullptr, nullptr, LFO::kSmooth);
}
BENCHMARK(BM_LfoSineSmoothModulated);

void BM_LfoSampleHold(benchmark::State& state) {
    LFO lfo(0, nullptr);
    lfo.setParameter(LFO::kMode, 0.25f);
    lfo.setParameter(LFO::kRate, 1.0f);
    lfo.setParameter(LFO::kWaveform, 0.9f);
    lfo.setParameter(LFO::kOffsetR, 0.7f);
    lfo.setSampleRate(44100.0f);
    runPerSample(state, lfo);
}
BENCHMARK(BM_LfoSampleHold);

void BM_EnvRms(benchmark::State& state) {
    ENV env(0, nullptr);
    env.setParameter(ENV::kMode, 0.75f);
    env.setParameter(ENV::kLink, 0.5f);
    env.setSampleRate(44100.0f);
    float tapL[kNumTaps] = {0.3f, 0, 0, 0, 0, 0, 0};
    float tapR[kNumTaps] = {-0.2f, 0, 0, 0, 0, 0, 0};
    runPerSample(state, env, tapL, tapR);
}
BENCHMARK(BM_EnvRms);

void BM_EnvAttackModulated(benchmark::State& state) {
    ENV env(0, nullptr);
    env.setSampleRate(44100.0f);
    float tapL[kNumTaps] = {0.3f, 0, 0, 0, 0, 0, 0};
    float tapR[kNumTaps] = {-0.2f, 0, 0, 0, 0, 0, 0};
    runPerSample(state, env, tapL, tapR, ENV::kAttack);
}
BENCHMARK(BM_EnvAttackModulated);

void BM_AdsrAbsoluteDecayModulated(benchmark::State& state) {
    ADSR adsr(0, nullptr);
    adsr.setParameter(ADSR::kMode, 0.25f);
    adsr.setParameter(ADSR::kTrigger, 1.0f);
    adsr.setSampleRate(44100.0f);
    runPerSample(state, adsr, nullptr, nullptr, ADSR::kDecay);
}
BENCHMARK(BM_AdsrAbsoluteDecayModulated);

void BM_Adsr(benchmark::State& state) {
    ADSR adsr(0, nullptr);
    adsr.setParameter(ADSR::kTrigger, 1.0f);
    adsr.setSampleRate(44100.0f);
    runPerSample(state, adsr);
}
BENCHMARK(BM_Adsr);

void BM_Step(benchmark::State& state) {
    STEP step(0, nullptr);
    for (int i = 0; i < 32; ++i) step.setParameter(i, float(i) / 32.0f);
    step.setParameter(STEP::kSmooth, 0.4f);
    step.setParameter(STEP::kGrid, 0.99f);  // "1/96": many step changes
    step.setSampleRate(44100.0f);
    runPerSample(state, step);
}
BENCHMARK(BM_Step);

}  // namespace
