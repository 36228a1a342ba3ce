// Offline bounces and live playback must sound the same: the output may not
// depend on how the host cuts the stream into blocks, whatever the patch.

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "PluginHost.h"
#include "modules/ParameterLayout.h"
#include "engine/Plugin.h"
#include "modules/Conversions.h"
#include "tests/ModuleHarness.h"

namespace vh::test {
namespace {

using Setup = std::function<void(PluginHost&)>;

enum OperatorType { kBiquad = 1, kDelay = 8, kReverb = 11, kPitch = 12, kNumOperatorTypes = 19 };
enum ModulatorType { kLfo = 1, kNumModulatorTypes = 5 };
constexpr int kLfoMode = 6, kStepMode = 35;


void route(PluginHost& host, int k, int source, int destination, float sens) {
    host.set(param::kSlotSource1 + k, discreteValue(source, kNumSources));
    host.set(param::kSlotDest1 + k, discreteValue(destination, kNumDestinations));
    host.set(param::kSlotSens1 + k, sens);
}

// Renders noise through a fresh instance, cutting the stream into blocks by
// repeating the pattern (0-frame calls included); both channels, interleaved.
std::vector<float> render(float rate, const Setup& setup, const std::vector<int>& pattern, size_t frames,
                          bool playing) {
    PluginHost host;
    EXPECT_TRUE(host.open(rate, 4096));
    host.playing = playing;
    setup(host);
    auto l = noise(frames, 0.4, 11), r = noise(frames, 0.4, 12);
    std::vector<float> out(2 * frames), outL(frames), outR(frames);
    size_t pos = 0;
    for (size_t p = 0; pos < frames; ++p) {
        int n = static_cast<int>(std::min<size_t>(pattern[p % pattern.size()], frames - pos));
        float* in[4] = {&l[pos], &r[pos], &l[pos], &r[pos]};
        float* o[2] = {&outL[pos], &outR[pos]};
        host.effect->processReplacing(host.effect, in, o, n);
        pos += n;
        host.ppq += n / double(rate) * host.tempo / 60.0;
    }
    for (size_t i = 0; i < frames; ++i) {
        out[2 * i] = outL[i];
        out[2 * i + 1] = outR[i];
    }
    return out;
}

const std::vector<std::vector<int>> kPartitions = {{1}, {17}, {256}, {4096}, {0, 5, 0, 300, 1, 64, 0}};

void expectIndependentOfBlocks(const Setup& setup, const std::vector<float>& rates, double seconds,
                               bool playing) {
    for (float rate : rates) {
        size_t frames = static_cast<size_t>(rate * seconds);
        auto reference = render(rate, setup, {64}, frames, playing);
        for (const auto& partition : kPartitions) {
            auto out = render(rate, setup, partition, frames, playing);
            size_t first = 0;
            while (first < out.size() && out[first] == reference[first]) ++first;
            EXPECT_EQ(first, out.size()) << rate << " Hz, blocks of " << partition[0] << (partition.size() > 1 ? "..." : "")
                                         << ": first difference at frame " << first / 2;
        }
    }
}

// A filter swept by an LFO into a delay, a reverb and a pitch shifter.
void sweptChain(PluginHost& host, int lfoMode) {
    host.set(param::kOpType1, discreteValue(kBiquad, kNumTypeSteps));
    host.set(param::kOpType1 + 1, discreteValue(kDelay, kNumTypeSteps));
    host.set(param::kOpType1 + 2, discreteValue(kReverb, kNumTypeSteps));
    host.set(param::kOpType1 + 3, discreteValue(kPitch, kNumTypeSteps));
    host.set(param::kModType1, discreteValue(kLfo, kNumTypeSteps));
    host.set(param::modParam(0, kLfoMode), discreteValue(lfoMode, 2));
    route(host, 0, 0, destOpParam(0, 0), 0.8f);
}

TEST(BlockPartition, LfoSweptChainInHertzMode) {
    expectIndependentOfBlocks([](PluginHost& h) { sweptChain(h, 0); }, {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f},
                              0.3, false);
}

TEST(BlockPartition, TempoLockedModulatorsFollowingTheSongPosition) {
    auto setup = [](PluginHost& h) {
        // Far into a song, where the single-precision position is coarse.
        h.ppq = 1001.3;
        h.tempo = 133.0;
        sweptChain(h, 1);
        h.set(param::kModType1 + 1, discreteValue(4, kNumTypeSteps));  // STEP
        h.set(param::modParam(1, kStepMode), discreteValue(2, 4));   // song position
        for (int s = 0; s < 32; ++s) h.set(param::modParam(1, s), (s * 7 % 16) / 15.0f);
        route(h, 1, 1, destOpParam(0, 6), 0.9f);
    };
    for (bool playing : {false, true}) {
        SCOPED_TRACE(playing ? "host playing" : "host stopped");
        expectIndependentOfBlocks(setup, {44100.0f, 96000.0f}, 0.5, playing);
    }
}

TEST(BlockPartition, EveryModuleType) {
    // Each round fills the slots with four further operator types, one
    // modulator of every kind driving them through the matrix's feedback.
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        auto setup = [round](PluginHost& h) {
            for (int s = 0; s < 4; ++s) {
                h.set(param::kOpType1 + s, discreteValue((round * 4 + s) % kNumOperatorTypes, kNumTypeSteps));
                h.set(param::kModType1 + s, discreteValue(1 + (round + s) % 4, kNumTypeSteps));
                route(h, s, s, destOpParam(s, 0), 0.7f);
                route(h, 4 + s, s, destOpParam(s, 1), 0.35f);
            }
            h.set(param::kOpToOp + 3 * 4 + 0, 0.3f);  // OP4 back into OP1
        };
        expectIndependentOfBlocks(setup, {44100.0f, 48000.0f, 96000.0f}, 0.2, true);
    }
}

TEST(BlockPartition, EveryFactoryPreset) {
#if defined(__SANITIZE_ADDRESS__)
    const int step = 7;  // the sanitizer build checks a spread of them: the memory faults are the same
#else
    const int step = 1;
#endif
    for (int bank = 0; bank < 3; ++bank) {
        for (int preset = bank % step; preset < 64; preset += step) {
            SCOPED_TRACE(testing::Message() << "preset " << bank << ":" << preset);
            auto setup = [bank, preset](PluginHost& h) {
                int32_t selection[2] = {bank, preset};
                ASSERT_TRUE(h.call(vst::effVendorSpecific, kVendorCommand, kVendorSelectPreset, selection));
            };
            const float rate = 44100.0f;
            const size_t frames = 4000;
            ASSERT_EQ(render(rate, setup, {0, 5, 0, 300, 1, 17, 0}, frames, true), render(rate, setup, {64}, frames, true));
        }
    }
}

}  // namespace
}  // namespace vh::test
