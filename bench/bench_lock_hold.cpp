// How long a preset load keeps the audio thread out: the longest hold of the
// processing lock while each factory preset is applied. Modules are built
// before the lock is taken, so a hold should be a swap, not an allocation.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "engine/Plugin.h"

namespace {
intptr_t lockHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

void BM_PresetLoadLockHold(benchmark::State& state) {
    char folder[] = "/tmp/vh_bench_lock_XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("no settings folder");
        return;
    }
    auto plugin = std::make_unique<vh::Plugin>(&lockHost, folder);
    double longestUs = 0.0, sumUs = 0.0;
    int loads = 0;
    for (auto _ : state) {
        for (int bank = 0; bank < vh::kNumBanks; ++bank) {
            plugin->selectBank(bank);
            for (int preset = 0; preset < vh::kPresetsPerBank; ++preset) {
                plugin->takeLongestLockHoldNs();
                plugin->selectPreset(preset);
                double us = plugin->takeLongestLockHoldNs() / 1000.0;
                longestUs = std::max(longestUs, us);
                sumUs += us;
                ++loads;
            }
        }
    }
    state.counters["longest_hold_us"] = longestUs;
    state.counters["mean_hold_us"] = loads ? sumUs / loads : 0.0;
    plugin.reset();
    std::system((std::string("rm -rf ") + folder).c_str());
}
BENCHMARK(BM_PresetLoadLockHold)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
