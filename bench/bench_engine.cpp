// Whole-engine cost per stereo sample through the plug-in object, at the
// factory default (four GAIN operators, limiter on) and with all sixteen
// modulation slots busy.

#include <benchmark/benchmark.h>

#include <vector>

#include "engine/ParameterLayout.h"
#include "engine/Plugin.h"
#include "modules/Conversions.h"

namespace {
vst::VstTimeInfo gTime{};
intptr_t benchHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    if (opcode == vst::audioMasterVersion) return 2400;
    if (opcode == vst::audioMasterGetTime) {
        gTime.tempo = 120.0;
        gTime.flags = vst::kVstTempoValid | vst::kVstPpqPosValid;
        return reinterpret_cast<intptr_t>(&gTime);
    }
    return 0;
}

void runEngine(benchmark::State& state, vh::Plugin& plugin) {
    constexpr int kBlock = 512;
    std::vector<float> l(kBlock), r(kBlock), ol(kBlock), orr(kBlock);
    for (int i = 0; i < kBlock; ++i) l[i] = r[i] = 0.25f * ((i * 7919) % 200 - 100) / 100.0f;
    float* in[4] = {l.data(), r.data(), l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    for (auto _ : state) {
        plugin.processReplacing(in, out, kBlock);
        benchmark::DoNotOptimize(ol.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns_per_sample"] =
        benchmark::Counter(double(state.iterations()) * kBlock, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
}  // namespace

static void BM_EngineFactoryDefault(benchmark::State& state) {
    vh::Plugin plugin(benchHost);
    runEngine(state, plugin);
}
BENCHMARK(BM_EngineFactoryDefault);

static void BM_EngineSixteenSlots(benchmark::State& state) {
    vh::Plugin plugin(benchHost);
    for (int k = 0; k < vh::kNumModSlots; ++k) {
        plugin.setParameter(vh::param::kSlotSource1 + k, vh::discreteValue(4 + k % 8, vh::kNumSources));
        plugin.setParameter(vh::param::kSlotDest1 + k, vh::discreteValue(k < 8 ? 3 + 16 * (k % 4) : 219 + k, vh::kNumDestinations));
        plugin.setParameter(vh::param::kSlotSens1 + k, 0.6f);
    }
    runEngine(state, plugin);
}
BENCHMARK(BM_EngineSixteenSlots);
