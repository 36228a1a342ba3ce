// The engine with its threads together: an audio thread processing while the
// host automates, loads presets and restores chunks, the editor opens and
// closes, and MIDI controllers move knobs. These also run in a build under
// ThreadSanitizer, which must report nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "PluginHost.h"
#include "PrivateXServer.h"
#include "modules/ParameterLayout.h"
#include "engine/Plugin.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"

using namespace vh;
using vh::test::PluginHost;

namespace {

intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// Stereo blocks of a low sine through an engine object, on whatever thread
// calls `block`.
struct SineBlocks {
    static constexpr int kBlock = 256;
    std::vector<float> l = std::vector<float>(kBlock), r = std::vector<float>(kBlock);
    std::vector<float> outL = std::vector<float>(kBlock), outR = std::vector<float>(kBlock);
    double phase = 0.0;

    void block(Plugin& plugin) {
        for (int n = 0; n < kBlock; ++n) {
            l[n] = r[n] = static_cast<float>(0.5 * std::sin(phase));
            phase += 2.0 * M_PI * 100.0 / 44100.0;
        }
        float* in[4] = {l.data(), r.data(), l.data(), r.data()};
        float* out[2] = {outL.data(), outR.data()};
        plugin.processReplacing(in, out, kBlock);
    }
};

std::string typeNameOf(Plugin& plugin, int slot) {
    char text[kTextSize];
    plugin.getOperator(slot)->getTypeName(text);
    return text;
}

std::string typeNameOf(int type) {
    char text[kTextSize];
    createOperator(type, 0, nullptr)->getTypeName(text);
    return text;
}

}  // namespace

// A host that automates the type parameters on its audio thread must not
// make that thread build or destroy modules.
TEST(RealtimeThreads, TypeAutomationOnTheAudioThreadAllocatesNothing) {
    Plugin plugin(quietHost);
    const int kTypes[] = {kOpReverb, kOpPitch, kOpDelay, kOpGain};
    std::string names[4];
    for (int i = 0; i < 4; ++i) names[i] = typeNameOf(kTypes[i]);
    int allocations = -1;
    bool allInstalled = true;
    std::thread audio([&] {
        SineBlocks signal;
        signal.block(plugin);
        test::countAllocations(true);
        for (int step = 0; step < 4; ++step) {
            for (int s = 0; s < kNumOperatorSlots; ++s)
                plugin.setParameter(param::kOpType1 + s, discreteValue(kTypes[step], kNumTypeSteps));
            for (int s = 0; s < kNumModulatorSlots; ++s)
                plugin.setParameter(param::kModType1 + s, discreteValue((step + s) % kNumModulatorTypes, kNumTypeSteps));
            // The builder thread needs a moment; audio goes on meanwhile.
            bool installed = false;
            for (int tries = 0; tries < 5000 && !installed; ++tries) {
                signal.block(plugin);
                installed = true;
                for (int s = 0; s < kNumOperatorSlots; ++s) installed &= typeNameOf(plugin, s) == names[step];
                if (!installed) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            allInstalled &= installed;
        }
        allocations = test::allocationsCounted();
        test::countAllocations(false);
    });
    audio.join();
    EXPECT_TRUE(allInstalled);
    EXPECT_EQ(allocations, 0);
    // The slot took the remembered parameters of its new type, as a change
    // from the editor does.
    EXPECT_FLOAT_EQ(plugin.getParameter(param::opParam(0, 0)), plugin.getOperator(0)->getParameter(0));
}

// A host may press "SAVE AS DEFAULT" on its audio thread: the preferences
// are stored all the same, but the file is written by another thread.
TEST(RealtimeThreads, SaveAsDefaultOnTheAudioThreadLeavesTheFileToAnotherThread) {
    const std::string file = std::string(std::getenv("XDG_CONFIG_HOME")) + "/Vornwerk/VornHalyx/Preferences";
    std::remove(file.c_str());
    {
        Plugin plugin(quietHost);
        plugin.setParameter(param::kMeterFalloff, 0.5f);
        int allocations = -1;
        std::thread audio([&] {
            SineBlocks signal;
            signal.block(plugin);
            test::countAllocations(true);
            plugin.setParameter(param::kSaveAsDefault, 0.75f);
            signal.block(plugin);
            allocations = test::allocationsCounted();
            test::countAllocations(false);
        });
        audio.join();
        EXPECT_EQ(allocations, 0);
        for (int tries = 0; tries < 5000 && !std::filesystem::exists(file); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FLOAT_EQ(Plugin(quietHost).getParameter(param::kMeterFalloff), 0.5f);
    std::remove(file.c_str());
}

// The slot fades out, swaps and fades in: no step in the output larger than
// the crossfade's own, although the new module inverts the signal.
TEST(RealtimeThreads, TypeChangeOnTheAudioThreadFadesInsteadOfClicking) {
    Plugin plugin(quietHost);
    // The slot remembers an inverting phase inverter; the change on the
    // audio thread brings it back with that setting.
    plugin.setParameter(param::kOpType1 + 1, discreteValue(kOpPhaseInv, kNumTypeSteps));
    plugin.setParameter(param::opParam(1, 0), 0.75f);
    plugin.setParameter(param::kOpType1 + 1, discreteValue(kOpGain, kNumTypeSteps));
    std::vector<float> output;
    bool inverted = false;
    std::thread audio([&] {
        SineBlocks signal;
        for (int i = 0; i < 8; ++i) signal.block(plugin);
        plugin.setParameter(param::kOpType1 + 1, discreteValue(kOpPhaseInv, kNumTypeSteps));
        for (int tries = 0; tries < 5000 && !inverted; ++tries) {
            signal.block(plugin);
            output.insert(output.end(), signal.outL.begin(), signal.outL.end());
            inverted = typeNameOf(plugin, 1) == typeNameOf(kOpPhaseInv);
            if (!inverted) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        for (int i = 0; i < 4; ++i) {
            signal.block(plugin);
            output.insert(output.end(), signal.outL.begin(), signal.outL.end());
        }
        // Input and output in phase opposition (3 samples of chain delay
        // and the limiter's lookahead apart).
        float correlation = 0.0f;
        for (int n = 0; n + 131 < SineBlocks::kBlock; ++n) correlation += signal.l[n] * signal.outL[n + 131];
        inverted &= correlation < 0.0f;
    });
    audio.join();
    ASSERT_TRUE(inverted);
    float largestStep = 0.0f;
    for (size_t n = 1; n < output.size(); ++n) largestStep = std::max(largestStep, std::fabs(output[n] - output[n - 1]));
    // A 100 Hz sine of 0.5 moves at most 0.0071 per sample; a 32-sample
    // crossfade from +x to -x adds 1/32. A hard swap would step by up to 1.
    EXPECT_LT(largestStep, 0.05f);
}

namespace {
// Holds up the building of each new module (the engine asks the editor for
// the preview mode while building) until the audio thread has finished two
// more blocks: if the lock were held while building, they never would.
class BuildWatcher : public EngineListener {
public:
    std::atomic<bool> armed{false};
    std::atomic<int> blocks{0};
    mutable std::atomic<int> builds{0}, stalled{0};

    void parameterChanged(int, float) override {}
    int modulationPreviewMode() const override {
        if (!armed.load()) return 0;
        ++builds;
        int start = blocks.load();
        for (int i = 0; i < 10000 && blocks.load() < start + 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (blocks.load() < start + 2) ++stalled;
        return 0;
    }
};
}  // namespace

TEST(RealtimeThreads, PresetLoadsAndChunkRestoresNeverHoldUpTheAudioThread) {
    Plugin plugin(quietHost);
    BuildWatcher watcher;
    plugin.setListener(&watcher);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        SineBlocks signal;
        while (!stop.load()) {
            signal.block(plugin);
            ++watcher.blocks;
        }
    });
    watcher.armed = true;
    // Each step below builds modules: a type change from the host, a preset
    // back to the flat one, and a chunk whose current preset holds the
    // changed types.
    plugin.setParameter(param::kOpType1, discreteValue(kOpReverb, kNumTypeSteps));
    plugin.setParameter(param::kModType1, discreteValue(kModLfo, kNumTypeSteps));
    void* data = nullptr;
    int32_t size = plugin.getChunk(&data, false);
    std::vector<std::uint8_t> chunk(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
    plugin.selectBank(2);
    plugin.selectPreset(63);
    EXPECT_EQ(plugin.setChunk(chunk.data(), size, false), 0);
    watcher.armed = false;
    stop = true;
    audio.join();
    plugin.setListener(nullptr);
    EXPECT_GE(watcher.builds.load(), 4);
    EXPECT_EQ(watcher.stalled.load(), 0);
    EXPECT_EQ(typeNameOf(plugin, 0), typeNameOf(kOpReverb));
}

namespace {
// A host that keeps the audio thread inside a block (it asks for the time
// under the processing lock) until the test lets it go.
std::atomic<bool> gHoldBlock{false}, gInsideBlock{false};
intptr_t gatingHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    if (opcode == vst::audioMasterVersion) return 2400;
    if (opcode == vst::audioMasterGetTime && gHoldBlock.load()) {
        gInsideBlock = true;
        while (gHoldBlock.load()) std::this_thread::yield();
        gInsideBlock = false;
    }
    return 0;
}
}  // namespace

// A change made while a block runs waits for the engine instead of the
// caller waiting for the block, and is never lost: what is saved has it.
TEST(RealtimeThreads, ChangesMadeDuringABlockReachTheEngineAndTheChunk) {
    Plugin plugin(gatingHost);
    gHoldBlock = true;
    std::thread audio([&] {
        SineBlocks signal;
        signal.block(plugin);
    });
    while (!gInsideBlock.load()) std::this_thread::yield();
    plugin.setParameter(param::kMix, 0.25f);
    plugin.setParameter(param::kKnob1 + 2, 0.75f);
    EXPECT_FLOAT_EQ(plugin.getParameter(param::kMix), 1.0f);  // not yet: the block still runs
    gHoldBlock = false;
    audio.join();
    void* data = nullptr;
    int32_t size = plugin.getChunk(&data, false);
    ASSERT_GT(size, 0);
    EXPECT_FLOAT_EQ(plugin.getParameter(param::kMix), 0.25f);
    EXPECT_FLOAT_EQ(plugin.getParameter(param::kKnob1 + 2), 0.75f);
    // Bank 0, preset 0 is the current record: its Mix value in the chunk.
    const std::size_t mixOffset = 32 + 13 + 24 + 4 * param::kMix;
    float stored;
    std::memcpy(&stored, static_cast<char*>(data) + mixOffset, sizeof stored);
    EXPECT_FLOAT_EQ(stored, 0.25f);
}

namespace {
// Audio through the binary on a thread of its own until told to stop.
class AudioThread {
public:
    explicit AudioThread(PluginHost& host, std::function<void(int)> beforeBlock = nullptr)
        : mThread([this, &host, beforeBlock] {
              std::vector<float> l(256), r(256);
              for (int i = 0; !mStop.load(); ++i) {
                  for (size_t k = 0; k < l.size(); ++k) l[k] = r[k] = 0.5f * std::sin(0.05f * float(k));
                  if (beforeBlock) beforeBlock(i);
                  host.process(l, r, 256);
                  for (float x : l) mFinite &= std::isfinite(x);
                  ++mBlocks;
              }
          }) {}
    ~AudioThread() { stop(); }
    void stop() {
        mStop = true;
        if (mThread.joinable()) mThread.join();
    }
    void waitForBlocks(int n) {
        int start = mBlocks.load();
        while (mBlocks.load() < start + n) std::this_thread::yield();
    }
    bool finite() const { return mFinite; }
    // Lets `blocks` more blocks run, stops, and answers whether every output
    // sample was finite.
    bool finishAfter(int blocks) {
        waitForBlocks(blocks);
        stop();
        return finite();
    }

private:
    std::atomic<bool> mStop{false};
    std::atomic<int> mBlocks{0};
    bool mFinite = true;
    std::thread mThread;
};

std::vector<char> chunkOf(PluginHost& host) {
    void* data = nullptr;
    auto size = static_cast<size_t>(host.call(vst::effGetChunk, 0, 0, &data));
    return std::vector<char>(static_cast<char*>(data), static_cast<char*>(data) + size);
}
}  // namespace

TEST(RealtimeThreads, HostAutomatesEveryParameterWhileAudioRuns) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    AudioThread audio(host);
    for (int round = 0; round < 3; ++round) {
        for (int index = 0; index < param::kNumIndices; ++index) {
            if (index == param::kSaveAsDefault) continue;  // writes the user's settings
            host.set(index, static_cast<float>((index * 37 + round * 11) % 100) / 100.0f);
            (void)host.get(index);
        }
        audio.waitForBlocks(2);
    }
    EXPECT_TRUE(audio.finishAfter(1));
}

TEST(RealtimeThreads, PresetsAndChunksLoadWhileAudioRuns) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    AudioThread audio(host);
    int32_t selection[2] = {2, 0};
    for (int preset = 0; preset < 64; preset += 7) {
        selection[1] = preset;
        host.call(vst::effVendorSpecific, kVendorCommand, kVendorSelectPreset, selection);
    }
    std::vector<char> chunk = chunkOf(host);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(host.call(vst::effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data()), 0);
    EXPECT_TRUE(audio.finishAfter(2));
}

// Type automation on the audio thread replaces modules many times a second
// while the host reads their texts: no text may come from a module already
// destroyed (the sanitizer builds catch a read of freed memory).
TEST(RealtimeThreads, HostReadsModuleTextsWhileTypeAutomationReplacesThem) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    const int kTypes[] = {kOpBiquad, kOpGain, kOpDelay, kOpPhaseInv};
    AudioThread audio(host, [&](int i) {
        host.set(param::kOpType1, discreteValue(kTypes[i % 4], kNumTypeSteps));
        host.set(param::kModType1, discreteValue(i % kNumModulatorTypes, kNumTypeSteps));
    });
    std::size_t characters = 0;
    for (int round = 0; round < 300; ++round) {
        characters += host.display(param::kOpType1).size() + host.display(param::kModType1).size();
        for (int i = 0; i < 4; ++i) {
            characters += host.display(param::opParam(0, i)).size() + host.name(param::opParam(0, i)).size();
            characters += host.display(param::modParam(0, i)).size() + host.label(param::modParam(0, i)).size();
        }
        if (round % 30 == 0) audio.waitForBlocks(1);
    }
    EXPECT_TRUE(audio.finishAfter(2));
    EXPECT_GT(characters, 0u);
}

// Controllers assigned to knobs and the main controls move them from the
// audio thread while another thread reads them back.
TEST(RealtimeThreads, MidiControllersMoveKnobsWhileTheHostReads) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    host.set(param::kModType1, discreteValue(kModLfo, kNumTypeSteps));
    host.set(param::kSlotSource1, discreteValue(4, kNumSources));     // KNOB1
    host.set(param::kSlotDest1, discreteValue(1, kNumDestinations));  // main Mix
    // Controller 7 moves KNOB1 and controller 8 the Mix (the chunk carries
    // the assignments at its end: KNOB1..8, Input, Mix, Output).
    std::vector<char> chunk = chunkOf(host);
    int32_t assignments[kNumCcAssignments] = {7, -1, -1, -1, -1, -1, -1, -1, -1, 8, -1};
    std::memcpy(chunk.data() + chunk.size() - sizeof(assignments), assignments, sizeof(assignments));
    ASSERT_EQ(host.call(vst::effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data()), 0);
    float sum = 0.0f;
    {
        AudioThread audio(host, [&](int i) {
            host.sendMidi({{{i % 200, 0xB0, 7, i % 128}}, {{(i * 3) % 200, 0xB0, 8, (i * 5) % 128}}});
        });
        audio.waitForBlocks(10);
        for (int i = 0; i < 2000; ++i) sum += host.get(param::kKnob1) + host.get(param::kMix);
        EXPECT_TRUE(audio.finishAfter(10));
    }
    EXPECT_TRUE(std::isfinite(sum));
    EXPECT_GT(host.automations.size(), 0u);
}

namespace {
class EditorThreads : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sDisplay = sServer.start();
        if (sServer.ownsServer()) setenv("DISPLAY", sDisplay.c_str(), 1);
    }
    static void TearDownTestSuite() { sServer.stop(); }
    // A host's window for the editor to live in, as hosts make one.
    void SetUp() override {
        if (sDisplay.empty()) GTEST_SKIP() << "no X server and no Xvfb to start";
        mConnection = xcb_connect(sDisplay.c_str(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(mConnection));
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(mConnection)).data;
        mParent = vh::test::createParentWindow(mConnection, screen, 830, 335);
    }
    void TearDown() override {
        if (!mConnection) return;
        if (mParent) xcb_destroy_window(mConnection, mParent);
        xcb_disconnect(mConnection);
    }
    void* parent() const { return reinterpret_cast<void*>(uintptr_t(mParent)); }

    static inline vh::test::PrivateXServer sServer;
    static inline std::string sDisplay;
    xcb_connection_t* mConnection = nullptr;
    xcb_window_t mParent = 0;
};
}  // namespace

TEST_F(EditorThreads, EditorOpensAndClosesWhileAudioRunsAndAutomates) {
    {
        PluginHost host;
        ASSERT_TRUE(host.open());
        AudioThread audio(host, [&](int i) { host.set(param::kMix, float(i % 10) / 10.0f); });
        for (int page : {0, 2, 3}) {
            host.set(param::kCurrMain, discreteValue(page, 4));
            ASSERT_NE(host.call(vst::effEditOpen, 0, 0, parent()), 0);
            for (int k = 0; k < 5; ++k) {
                host.call(vst::effEditIdle);
                audio.waitForBlocks(1);
            }
            host.call(vst::effEditClose);
        }
        EXPECT_TRUE(audio.finishAfter(1));
    }
}

// The window redraws the current modules' panels and plots while the audio
// thread keeps replacing those modules.
TEST_F(EditorThreads, EditorDrawsWhileTypeAutomationReplacesModules) {
    {
        PluginHost host;
        ASSERT_TRUE(host.open());
        const int kTypes[] = {kOpBiquad, kOpDelay, kOpCompExp, kOpFormant};
        AudioThread audio(host, [&](int i) {
            host.set(param::kOpType1, discreteValue(kTypes[i % 4], kNumTypeSteps));
            host.set(param::kModType1, discreteValue(i % kNumModulatorTypes, kNumTypeSteps));
        });
        ASSERT_NE(host.call(vst::effEditOpen, 0, 0, parent()), 0);
        for (int k = 0; k < 60; ++k) host.call(vst::effEditIdle);
        host.call(vst::effEditClose);
        EXPECT_TRUE(audio.finishAfter(1));
    }
}
