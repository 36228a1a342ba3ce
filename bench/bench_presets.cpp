// Costs of the preset store's non-realtime operations: the host's getChunk
// and setChunk, bank-file decoding and parsing the factory text at start-up.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "engine/FactoryPresets.h"
#include "engine/PresetStore.h"

using namespace vh;

namespace {

std::unique_ptr<PresetStore> factoryStore() {
    auto store = std::make_unique<PresetStore>();
    store->loadFactory();
    return store;
}

const std::int32_t kCcs[kNumCcAssignments] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

void BM_WriteChunk(benchmark::State& state) {
    auto store = factoryStore();
    std::vector<std::uint8_t> chunk(kChunkSize);
    for (auto _ : state) {
        store->writeChunk(kCcs, chunk.data());
        benchmark::DoNotOptimize(chunk.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChunkSize);
}
BENCHMARK(BM_WriteChunk);

void BM_ReadAndTakeChunk(benchmark::State& state) {
    auto store = factoryStore();
    std::vector<std::uint8_t> chunk(kChunkSize);
    store->writeChunk(kCcs, chunk.data());
    auto content = std::make_unique<ChunkContent>();
    for (auto _ : state) {
        readChunk(chunk.data(), chunk.size(), *content);
        store->takeChunk(*content);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChunkSize);
}
BENCHMARK(BM_ReadAndTakeChunk);

void BM_ReadBankFile(benchmark::State& state) {
    auto store = factoryStore();
    std::vector<std::uint8_t> file(kBankFileSize);
    store->writeBankImage(0, file.data());
    auto bank = std::make_unique<PresetBank>();
    for (auto _ : state) {
        readBankFile(file.data(), file.size(), *bank);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ReadBankFile);

void BM_ParseFactoryBanks(benchmark::State& state) {
    auto banks = std::make_unique<PresetBank[]>(kNumBanks);
    for (auto _ : state) {
        buildFactoryBanks(banks.get(), nullptr);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ParseFactoryBanks)->Unit(benchmark::kMillisecond);

}  // namespace
