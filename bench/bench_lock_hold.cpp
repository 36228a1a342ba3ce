// How long a preset load keeps the audio thread out: the longest hold of the
// processing lock while each factory preset is applied. Modules are built
// before the lock is taken, so a hold should be a swap, not an allocation.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/Plugin.h"
#include "modules/ModuleTypes.h"

namespace {
intptr_t lockHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// Holds over every preset of the given banks, selected in turn, once per
// iteration. The machine's other work inflates single holds (cache misses,
// a shared core), so a preset's hold is the shortest of its repeats, and the
// figure is the longest of those; the longest single hold is shown too.
void measureHolds(benchmark::State& state, vh::Plugin& plugin, int firstBank, int lastBank) {
    const int presets = (lastBank - firstBank + 1) * vh::kPresetsPerBank;
    std::vector<double> shortest(presets, 1e30);
    double longestAnyUs = 0.0, sumUs = 0.0, loadUs = 0.0;
    int loads = 0;
    for (auto _ : state) {
        for (int bank = firstBank; bank <= lastBank; ++bank) {
            plugin.selectBank(bank);
            for (int preset = 0; preset < vh::kPresetsPerBank; ++preset) {
                plugin.takeLongestLockHoldNs();
                auto start = std::chrono::steady_clock::now();
                plugin.selectPreset(preset);
                loadUs += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
                double us = plugin.takeLongestLockHoldNs() / 1000.0;
                double& best = shortest[(bank - firstBank) * vh::kPresetsPerBank + preset];
                best = std::min(best, us);
                longestAnyUs = std::max(longestAnyUs, us);
                sumUs += us;
                ++loads;
            }
        }
    }
    state.counters["longest_hold_us"] = *std::max_element(shortest.begin(), shortest.end());
    state.counters["longest_single_hold_us"] = longestAnyUs;
    state.counters["mean_hold_us"] = loads ? sumUs / loads : 0.0;
    // The whole load, most of which (building the modules) once held the lock.
    state.counters["mean_load_us"] = loads ? loadUs / loads : 0.0;
}

struct SettingsFolder {
    char path[32] = "/tmp/vh_bench_lock_XXXXXX";
    bool made = mkdtemp(path) != nullptr;
    ~SettingsFolder() {
        if (made) std::system((std::string("rm -rf ") + path).c_str());
    }
};

void BM_PresetLoadLockHold(benchmark::State& state) {
    SettingsFolder folder;
    auto plugin = std::make_unique<vh::Plugin>(&lockHost, folder.path);
    measureHolds(state, *plugin, 0, vh::kNumBanks - 1);
}
BENCHMARK(BM_PresetLoadLockHold)->Unit(benchmark::kMillisecond)->Iterations(5);

// A bank whose every preset puts other operators and modulators in the
// slots (reverbs and pitch shifters among them), loaded from a bank file.
void BM_ModuleChangingPresetLockHold(benchmark::State& state) {
    SettingsFolder folder;
    auto plugin = std::make_unique<vh::Plugin>(&lockHost, folder.path);
    vh::PresetStore store;
    store.loadFactory();
    for (int preset = 0; preset < vh::kPresetsPerBank; ++preset) {
        for (int s = 0; s < vh::kNumOperatorSlots; ++s)
            store.setValue(1, preset, vh::param::kOpType1 + s,
                           vh::discreteValue((preset * 5 + s * 7) % vh::kNumOperatorTypes, vh::kNumTypeSteps));
        for (int s = 0; s < vh::kNumModulatorSlots; ++s)
            store.setValue(1, preset, vh::param::kModType1 + s,
                           vh::discreteValue((preset + s) % vh::kNumModulatorTypes, vh::kNumTypeSteps));
    }
    std::vector<std::uint8_t> image(vh::kBankFileSize);
    store.writeBankImage(1, image.data());
    std::string path = std::string(folder.path) + "/changing.vrb";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(image.data(), 1, image.size(), file) != image.size() || !plugin->loadBankFile(1, path)) {
        if (file) std::fclose(file);
        state.SkipWithError("could not load the bank");
        return;
    }
    std::fclose(file);
    measureHolds(state, *plugin, 1, 1);
}
BENCHMARK(BM_ModuleChangingPresetLockHold)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
