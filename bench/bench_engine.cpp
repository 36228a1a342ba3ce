// Whole-engine cost per stereo sample through the plug-in object, at the
// factory default (four GAIN operators, limiter on), with all sixteen
// modulation slots busy and for every factory preset; on silence, on noise
// and on the demo phrase, since
// data-dependent work (the limiter's window maximum) hides on a repeating
// pattern. And the output limiter alone, on loud noise, at each lookahead.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <memory>
#include <random>
#include <vector>

#include "engine/Limiter.h"
#include "modules/ParameterLayout.h"
#include "engine/Plugin.h"
#include "modules/Conversions.h"
#include "tools/TestSignal.h"

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

enum Material { kPattern, kSilence, kNoise, kPhrase };

// Five seconds of program material (stereo, 44.1 kHz), walked block by block.
struct Signal {
    std::vector<float> left, right;
    explicit Signal(Material material) {
        const size_t n = 5 * 44100;
        left.assign(n, 0.0f);
        right.assign(n, 0.0f);
        if (material == kPattern) {
            for (size_t i = 0; i < n; ++i) left[i] = right[i] = 0.25f * ((i * 7919) % 200 - 100) / 100.0f;
        } else if (material == kNoise) {
            std::mt19937 random(5);
            std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
            for (size_t i = 0; i < n; ++i) {
                left[i] = uniform(random);
                right[i] = uniform(random);
            }
        } else if (material == kPhrase) {
            auto phrase = vhtool::makeTestSignal(44100, 5.0);
            left = phrase.channels[0];
            right = phrase.channels.size() > 1 ? phrase.channels[1] : phrase.channels[0];
        }
    }
};

void runEngine(benchmark::State& state, vh::Plugin& plugin, Material material = kPattern) {
    constexpr size_t kBlock = 512;
    const Signal signal(material);
    std::vector<float> l(kBlock), r(kBlock), ol(kBlock), orr(kBlock);
    float* in[4] = {l.data(), r.data(), l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    size_t pos = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (pos + kBlock > signal.left.size()) pos = 0;
        std::copy_n(signal.left.begin() + pos, kBlock, l.begin());
        std::copy_n(signal.right.begin() + pos, kBlock, r.begin());
        pos += kBlock;
        state.ResumeTiming();
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

// The factory default on silence, noise and the demo phrase.
static void BM_EngineOnMaterial(benchmark::State& state) {
    vh::Plugin plugin(benchHost);
    runEngine(state, plugin, static_cast<Material>(state.range(0)));
}
BENCHMARK(BM_EngineOnMaterial)->Arg(kSilence)->Arg(kNoise)->Arg(kPhrase);

// The limiter alone on noise that it must hold down, at 44.1, 96 and 192 kHz
// (lookaheads of 128, 256 and 512).
static void BM_LimiterOnNoise(benchmark::State& state) {
    vh::Limiter limiter;
    limiter.setSampleRate(static_cast<float>(state.range(0)));
    limiter.reset();
    std::vector<float> l(1 << 16), r(1 << 16);
    std::mt19937 random(9);
    std::uniform_real_distribution<float> uniform(-2.0f, 2.0f);
    for (size_t i = 0; i < l.size(); ++i) {
        l[i] = uniform(random);
        r[i] = uniform(random);
    }
    size_t i = 0;
    float sum = 0.0f;
    for (auto _ : state) {
        for (int k = 0; k < 256; ++k, i = (i + 1) & (l.size() - 1)) {
            float outL, outR;
            limiter.process(l[i], r[i], outL, outR);
            sum += outL + outR;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.counters["ns_per_sample"] =
        benchmark::Counter(double(state.iterations()) * 256, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LimiterOnNoise)->Arg(44100)->Arg(96000)->Arg(192000);

// Every factory preset on noise, as bank * 64 + preset: what a user's patch
// costs (the heaviest should stay under 400 ns per stereo frame). The whole
// plug-in through its binary interface, per preset and material, is
// `halyx bench build/VornHalyx.so --all`.
static void BM_FactoryPreset(benchmark::State& state) {
    const int bank = static_cast<int>(state.range(0)) / vh::kPresetsPerBank;
    const int preset = static_cast<int>(state.range(0)) % vh::kPresetsPerBank;
    vh::Plugin plugin(benchHost);
    plugin.selectBank(bank);
    plugin.selectPreset(preset);
    char name[32] = {};
    plugin.getPresetName(bank, preset, name);
    state.SetLabel(name);
    runEngine(state, plugin, kNoise);
}
BENCHMARK(BM_FactoryPreset)->DenseRange(0, vh::kNumBanks * vh::kPresetsPerBank - 1);

static void BM_EngineSixteenSlots(benchmark::State& state) {
    vh::Plugin plugin(benchHost);
    for (int k = 0; k < vh::kNumModSlots; ++k) {
        plugin.setParameter(vh::param::kSlotSource1 + k, vh::discreteValue(4 + k % 8, vh::kNumSources));
        plugin.setParameter(vh::param::kSlotDest1 + k, vh::discreteValue(k < 8 ? vh::destOpParam(k % 4, 0) : vh::kDestInToOp + k, vh::kNumDestinations));
        plugin.setParameter(vh::param::kSlotSens1 + k, 0.6f);
    }
    runEngine(state, plugin);
}
BENCHMARK(BM_EngineSixteenSlots);

// Heap held by one instance after construction (factory default: no reverb or
// pitch buffers), in MiB.
static void BM_InstanceMemory(benchmark::State& state) {
    double mib = 0.0;
    for (auto _ : state) {
        size_t before = mallinfo2().uordblks;
        auto plugin = std::make_unique<vh::Plugin>(benchHost);
        mib = double(mallinfo2().uordblks - before) / (1024.0 * 1024.0);
        benchmark::DoNotOptimize(plugin.get());
    }
    state.counters["MiB"] = mib;
}
BENCHMARK(BM_InstanceMemory)->Iterations(3);
