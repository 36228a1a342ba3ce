// The smaller parts of the engine on their own: the transport, the parameter
// memory, the operators' channel modes, the MIDI queue, the output stage and
// the builder's worker thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "engine/ChannelModes.h"
#include "engine/MidiQueue.h"
#include "engine/OutputStage.h"
#include "engine/ParameterMemory.h"
#include "engine/Transport.h"
#include "engine/WorkerThread.h"
#include "modules/Conversions.h"

using namespace vh;

namespace {

vst::VstTimeInfo hostTime(double tempo, double ppq, bool playing) {
    vst::VstTimeInfo time{};
    time.tempo = tempo;
    time.ppqPos = ppq;
    time.flags = vst::kVstTempoValid | vst::kVstPpqPosValid | (playing ? vst::kVstTransportPlaying : 0);
    return time;
}

}  // namespace

TEST(Transport, FollowsTheHostsTempoOnlyWhileSynced) {
    Transport transport;  // synced by default
    vst::VstTimeInfo time = hostTime(140.0, 0.0, false);
    transport.advance(&time, 64);
    EXPECT_EQ(transport.tempo(), 140.0f);
    for (double wild : {5.0, 1000.0}) {
        time.tempo = wild;
        transport.advance(&time, 64);
    }
    EXPECT_EQ(transport.tempo(), 300.0f);  // clamped to 30..300
    time.tempo = std::numeric_limits<double>::quiet_NaN();
    transport.advance(&time, 64);
    EXPECT_EQ(transport.tempo(), 300.0f);  // a non-number keeps the last tempo

    transport.setSync(discreteValue(0, 4));
    transport.setManualTempo(0.5f);
    transport.advance(&time, 64);
    EXPECT_EQ(transport.tempo(), Transport::manualTempoOf(0.5f));
    EXPECT_EQ(Transport::manualTempoOf(0.5f), 165.0f);
}

// While the host plays, its position (moved by the offset in sixteenths);
// otherwise a position of its own that runs on at the current tempo.
TEST(Transport, SongPositionRunsOnByItselfWhileTheHostIsStopped) {
    Transport transport;
    transport.setSampleRate(48000.0f);
    transport.setSync(discreteValue(0, 4));  // manual tempo: 120 bpm by default
    // 24000 samples at 120 bpm are one quarter note.
    EXPECT_EQ(transport.advance(nullptr, 24000), 0.0f);
    EXPECT_EQ(transport.advance(nullptr, 24000), 1.0f);
    vst::VstTimeInfo playing = hostTime(120.0, 10.0, true);
    transport.setPpqOffset(0.5f);  // 8 sixteenths: two quarters
    EXPECT_EQ(transport.advance(&playing, 24000), 12.0f);
    vst::VstTimeInfo stopped = hostTime(120.0, 10.0, false);
    EXPECT_EQ(transport.advance(&stopped, 24000), 3.0f);
    transport.reset();
    EXPECT_EQ(transport.advance(nullptr, 24000), 0.0f);
}

TEST(ParameterMemory, RemembersPerRecordSlotAndTypeFromTheDefaults) {
    const int records = 3, slots = 2, types = 2, params = 4;
    std::vector<float> defaults = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f};
    ParameterMemory memory(records, slots, types, params, defaults);
    for (int record = 0; record < records; ++record)
        for (int slot = 0; slot < slots; ++slot)
            for (int type = 0; type < types; ++type)
                for (int i = 0; i < params; ++i) ASSERT_EQ(memory.recall(record, slot, type, i), defaults[type * params + i]);
    memory.remember(1, 1, 0, 2, 0.99f);
    EXPECT_EQ(memory.recall(1, 1, 0, 2), 0.99f);
    EXPECT_EQ(memory.recall(0, 1, 0, 2), 0.3f);  // another preset
    EXPECT_EQ(memory.recall(1, 0, 0, 2), 0.3f);  // another slot
    EXPECT_EQ(memory.recall(1, 1, 1, 2), 0.7f);  // another type
    // A type number without a class (or any index out of range) has no row.
    memory.remember(1, 1, types, 0, 0.5f);
    memory.remember(records, 0, 0, 0, 0.5f);
    EXPECT_EQ(memory.recall(1, 1, types, 0), 0.0f);
    EXPECT_EQ(memory.recall(1, 1, -1, 0), 0.0f);
    EXPECT_EQ(memory.recall(0, 0, 0, params), 0.0f);
    EXPECT_EQ(memory.recall(0, 0, 0, 0), 0.1f);
}

TEST(ChannelModes, MidSideIsItsOwnInverseAndPolarityFlipsSigns) {
    ChannelModes modes;
    const Vec4 inL(0.9f, -0.3f, 0.5f, 0.0f), inR(0.1f, 0.7f, 0.5f, -1.0f);
    Vec4 l, r, outL, outR;
    modes.encode(inL, inR, l, r);
    modes.decode(l, r, outL, outR);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(outL[s], inL[s]);  // left/right: untouched
        EXPECT_EQ(outR[s], inR[s]);
        EXPECT_EQ(modes.signs()[s], 1.0f);
    }
    // Operator 1 takes mid/side, operator 2 gives it back, operator 3 both.
    modes.setModes(discreteValue(0b0110'0101, 256));
    modes.encode(inL, inR, l, r);
    EXPECT_FLOAT_EQ(l[0], (0.9f + 0.1f) / std::sqrt(2.0f));
    EXPECT_FLOAT_EQ(r[0], (0.9f - 0.1f) / std::sqrt(2.0f));
    EXPECT_EQ(l[1], inL[1]);
    modes.decode(l, r, outL, outR);
    EXPECT_NEAR(outL[2], inL[2], 1e-6f);  // in and out: back where it started
    EXPECT_NEAR(outR[2], inR[2], 1e-6f);
    EXPECT_FLOAT_EQ(outL[1], (inL[1] + inR[1]) / std::sqrt(2.0f));
    EXPECT_EQ(outL[3], inL[3]);
    modes.setPolarity(discreteValue(0b1010, 16));
    EXPECT_EQ(modes.signs()[0], 1.0f);
    EXPECT_EQ(modes.signs()[1], -1.0f);
    EXPECT_EQ(modes.signs()[3], -1.0f);
}

TEST(MidiQueue, KeepsChannelMessagesOrderedByOffsetAndStable) {
    std::vector<vst::VstMidiEvent> midi(6);
    const int offsets[6] = {40, 3, 40, 0, -1, 3};
    for (int i = 0; i < 6; ++i) {
        midi[i].type = vst::kVstMidiType;
        midi[i].deltaFrames = offsets[i];
        midi[i].midiData[0] = static_cast<char>(0x90);
        midi[i].midiData[1] = static_cast<char>(i);
    }
    midi[2].type = vst::kVstSysExType;  // never applies
    // A list of six pointers (the struct holds two) with a hole in it.
    std::vector<char> storage(sizeof(vst::VstEvents) + 6 * sizeof(void*));
    auto* list = reinterpret_cast<vst::VstEvents*>(storage.data());
    list->numEvents = 7;
    for (int i = 0; i < 7; ++i) list->events[i] = i < 6 ? reinterpret_cast<vst::VstEvent*>(&midi[i]) : nullptr;
    MidiQueue queue;
    queue.take(list);
    ASSERT_EQ(queue.size(), 4);
    const int expected[4][2] = {{0, 3}, {3, 1}, {3, 5}, {40, 0}};  // offset, note
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(queue.offset(k), expected[k][0]);
        EXPECT_EQ(queue.message(k)[1], expected[k][1]);
    }
    queue.take(nullptr);
    EXPECT_EQ(queue.size(), 0);
}

TEST(MidiQueue, DropsWhatIsBeyondItsCapacity) {
    const int count = MidiQueue::kCapacity + 10;
    std::vector<vst::VstMidiEvent> midi(count);
    std::vector<char> storage(sizeof(vst::VstEvents) + count * sizeof(void*));
    auto* list = reinterpret_cast<vst::VstEvents*>(storage.data());
    list->numEvents = count;
    for (int i = 0; i < count; ++i) {
        midi[i].type = vst::kVstMidiType;
        midi[i].deltaFrames = count - i;
        list->events[i] = reinterpret_cast<vst::VstEvent*>(&midi[i]);
    }
    auto queue = std::make_unique<MidiQueue>();
    queue->take(list);
    EXPECT_EQ(queue->size(), MidiQueue::kCapacity);
    EXPECT_EQ(queue->offset(0), 11);  // the first kCapacity of the list, ordered
}

TEST(OutputStage, NothingNonFiniteLeavesInAnyModeAndMetersHoldPeaks) {
    OutputStage output;
    output.setSampleRate(44100.0f);
    for (int mode : {0, 2}) {
        output.setLimiterMode(discreteValue(mode, 16));
        EXPECT_EQ(output.limiterMode(), mode);
        for (float bad : {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
            float l = bad, r = -bad;
            output.process(l, r);
            EXPECT_EQ(l, 0.0f);
            EXPECT_EQ(r, 0.0f);
        }
    }
    // Disabled, a loud sample passes untouched and without delay.
    output.setLimiterMode(0.0f);
    float l = 8.0f, r = -3.0f;
    output.process(l, r);
    EXPECT_EQ(l, 8.0f);
    EXPECT_EQ(r, -3.0f);
    EXPECT_STREQ(OutputStage::modeName(2), "moderate");
    EXPECT_STREQ(OutputStage::modeName(7), "n/a");

    output.raiseMeters(Vec4(0.5f, 0.25f, 1.0f, 0.0f));
    output.raiseMeters(Vec4(0.25f, 0.75f, 0.5f, 0.0f));
    float peaks[4];
    output.takeMeters(peaks);
    EXPECT_EQ(peaks[0], 0.5f);
    EXPECT_EQ(peaks[1], 0.75f);
    EXPECT_EQ(peaks[2], 1.0f);
    output.takeMeters(peaks);
    EXPECT_EQ(peaks[0], 0.0f);  // taken means cleared
}

// A wake-up that arrives while the work runs makes it run once more: a module
// asked for meanwhile must not wait for somebody else's wake-up.
TEST(WorkerThread, AWakeDuringTheWorkRunsItAgain) {
    std::atomic<int> runs{0};
    std::atomic<bool> release{false};
    WorkerThread worker;
    worker.start([&] {
        if (runs.fetch_add(1) == 0)
            while (!release.load()) std::this_thread::yield();
    });
    worker.wake();
    while (runs.load() == 0) std::this_thread::yield();
    worker.wake();  // the first run is still going
    release = true;
    for (int tries = 0; tries < 5000 && runs.load() < 2; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GE(runs.load(), 2);
    worker.stop();
    worker.stop();  // stopping twice is harmless
}
