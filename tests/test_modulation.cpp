// Modulation slots, knobs, MIDI sources and controller assignments: sources
// drive the GAIN attenuation of OP1, and the level that comes out shows the
// modulated value.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <new>

#include "AllocationCounter.h"
#include "ModuleHarness.h"
#include "PluginHost.h"
#include "modules/ParameterLayout.h"
#include "engine/Plugin.h"

using namespace vh;
using namespace vh::test;

namespace {
constexpr int kDestOp1Atten = destOpParam(0, 0);

float sourceValue(int source) { return discreteValue(source, kNumSources); }
float destValue(int dest) { return discreteValue(dest, kNumDestinations); }

struct ModHost : PluginHost {
    ModHost() {
        EXPECT_TRUE(open());
        set(param::kOutLimiter, 0.5f / 16.0f);
    }
    // Slot k (0-based) from source to destination with a sensitivity.
    void route(int k, int source, int dest, float sens) {
        set(param::kSlotSource1 + k, sourceValue(source));
        set(param::kSlotDest1 + k, destValue(dest));
        set(param::kSlotSens1 + k, sens);
    }
    // Output level of a constant input after n samples (left channel).
    float level(size_t n = 2048) {
        std::vector<float> l(n, 0.5f), r(n, 0.5f);
        process(l, r, 256);
        return l.back() / 0.5f;
    }
};
}  // namespace

TEST(Modulation, NeutralSensitivityContributesNothing) {
    ModHost host;
    host.set(param::kKnob1, 1.0f);
    host.route(0, kSourceKnob1, kDestOp1Atten, 0.5f);
    EXPECT_NEAR(host.level(), 1.0f, 1e-4f);
}

TEST(Modulation, KnobPullsTheAttenuationDown) {
    ModHost host;
    host.set(param::kKnob1, 1.0f);
    host.route(0, kSourceKnob1, kDestOp1Atten, 0.0f);  // -1
    EXPECT_NEAR(host.level(8192), 0.0f, 1e-4f);
    host.set(param::kKnob1, 0.5f);
    EXPECT_NEAR(host.level(8192), 0.125f, 1e-3f);  // (1 - 0.5)^3
}

TEST(Modulation, SlotsOnOneDestinationAddBeforeTheClamp) {
    ModHost host;
    host.set(16, 0.8f);
    host.set(param::kKnob1, 0.5f);
    host.set(param::kKnob1 + 1, 0.5f);
    host.route(0, kSourceKnob1, kDestOp1Atten, 1.0f);
    host.route(1, kSourceKnob1 + 1, kDestOp1Atten, 1.0f);
    EXPECT_NEAR(host.level(8192), 1.0f, 1e-3f);  // 0.8 + 0.5 + 0.5 clamped to 1
    host.route(1, kSourceKnob1 + 1, kDestOp1Atten, 0.0f);        // +0.5 - 0.5
    EXPECT_NEAR(host.level(8192), 0.512f, 1e-3f);
}

TEST(Modulation, SwitchedOffSlotStopsAtTheNextTick) {
    ModHost host;
    host.set(param::kKnob1 + 2, 1.0f);
    host.route(2, kSourceKnob1 + 2, kDestOp1Atten, 0.0f);
    EXPECT_NEAR(host.level(8192), 0.0f, 1e-4f);
    host.set(param::kSlotStatus, (4 + 0.5f) / 65536.0f);  // bit 2: slot 3
    EXPECT_NEAR(host.level(256), 1.0f, 1e-4f);
}

TEST(Modulation, SensitivityModulationActsOneTickLater) {
    ModHost host;
    host.set(16, 0.0f);
    host.set(param::kKnob1, 1.0f);
    host.route(0, kSourceKnob1, kDestOp1Atten, 0.5f);  // neutral on its own
    host.route(1, kSourceKnob1, kDestSens, 1.0f);           // slot 2 raises slot 1's sensitivity to +1
    EXPECT_NEAR(host.level(8192), 1.0f, 1e-3f);
}

TEST(Modulation, MatrixAndMainDestinations) {
    ModHost host;
    host.set(param::kKnob1, 1.0f);
    host.route(0, kSourceKnob1, kDestInToOp, 0.0f);  // IN->OP1 pulled to 0
    EXPECT_NEAR(host.level(8192), 0.0f, 1e-4f);
    host.route(0, kSourceKnob1, kDestMainOutput, 0.25f);  // MAIN OUTPUT: 0.5 - 0.5 = 0
    EXPECT_NEAR(host.level(8192), 0.0f, 1e-4f);
    host.route(0, kSourceKnob1, kDestMainOutput, 0.75f);  // 0.5 + 0.5: 4 * 1^2
    EXPECT_NEAR(host.level(8192), 4.0f, 1e-2f);
}

TEST(Modulation, NoteSourcesFollowHeldNotes) {
    ModHost host;
    host.set(16, 0.0f);
    host.route(0, kSourceNoteOn, kDestOp1Atten, 1.0f);  // note on opens the gain
    EXPECT_NEAR(host.level(), 0.0f, 1e-4f);
    host.sendMidi({{{0, 0x90, 60, 100}}, {{10, 0x90, 64, 50}}, {{20, 0x80, 64, 0}}});
    EXPECT_NEAR(host.level(), 1.0f, 1e-4f);  // 60 still held
    host.sendMidi({{{0, 0x90, 60, 0}}});       // note on with velocity 0 is a note off
    EXPECT_NEAR(host.level(), 0.0f, 1e-4f);

    // Note number of the last note, and velocity of the last new note.
    host.route(0, kSourceNoteOn + 1, kDestOp1Atten, 1.0f);
    host.sendMidi({{{0, 0x90, 60, 100}}, {{1, 0x90, 64, 50}}, {{2, 0x80, 64, 0}}});
    float v = 64.0f / 127.0f;
    EXPECT_NEAR(host.level(), v * v * v, 1e-3f);
    host.route(0, kSourceNoteOn + 4, kDestOp1Atten, 1.0f);
    v = 50.0f / 127.0f;
    EXPECT_NEAR(host.level(), v * v * v, 1e-3f);
}

TEST(Modulation, PitchBendIsBipolar) {
    ModHost host;
    host.route(0, kSourceNoteOn + 3, kDestOp1Atten, 1.0f);
    host.sendMidi({{{0, 0xE0, 0, 64}}});  // centre
    EXPECT_NEAR(host.level(), 1.0f, 1e-4f);
    host.sendMidi({{{0, 0xE0, 0, 0}}});  // lowest: -1
    EXPECT_NEAR(host.level(), 0.0f, 1e-4f);
}

TEST(Modulation, ControllerSourceAndNames) {
    ModHost host;
    host.set(16, 0.0f);
    host.route(0, kSourceCc0 + 74, kDestOp1Atten, 1.0f);
    host.sendMidi({{{0, 0xB3, 74, 127}}});  // any channel
    EXPECT_NEAR(host.level(), 1.0f, 1e-4f);
    EXPECT_EQ(host.display(param::kSlotSens1), "100.0");
}

// The engine itself, for what the host cannot see.
namespace {
std::vector<std::pair<int, float>> gAutomated;
double gTempo = 120.0;
vst::VstTimeInfo gTime{};
intptr_t directHost(vst::AEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt) {
    if (opcode == vst::audioMasterVersion) return 2400;
    if (opcode == vst::audioMasterAutomate) gAutomated.push_back({index, opt});
    if (opcode == vst::audioMasterGetTime) {
        gTime = vst::VstTimeInfo{};
        gTime.tempo = gTempo;
        gTime.flags = vst::kVstTempoValid | vst::kVstPpqPosValid;
        return reinterpret_cast<intptr_t>(&gTime);
    }
    return 0;
}

void run(Plugin& plugin, int frames, vst::VstEvents* events = nullptr) {
    std::vector<float> l(frames, 0.1f), r(frames, 0.1f);
    float* in[4] = {l.data(), r.data(), l.data(), r.data()};
    float* out[2] = {l.data(), r.data()};
    if (events) plugin.processEvents(events);
    plugin.processReplacing(in, out, frames);
}

struct Controller {
    vst::VstMidiEvent event{};
    vst::VstEvents list{};
    Controller(int number, int value) {
        event.type = vst::kVstMidiType;
        event.byteSize = sizeof(event);
        event.midiData[0] = char(0xB0);
        event.midiData[1] = char(number);
        event.midiData[2] = char(value);
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<vst::VstEvent*>(&event);
    }
};
}  // namespace

TEST(ModulationEngine, AssignedControllerMovesTheKnobThroughTheHost) {
    gAutomated.clear();
    Plugin plugin(directHost);
    plugin.setCcAssignment(2, 7);  // KNOB3
    Controller cc(7, 127);
    run(plugin, 64, &cc.list);
    ASSERT_EQ(gAutomated.size(), 1u);
    EXPECT_EQ(gAutomated[0].first, 6);
    EXPECT_FLOAT_EQ(gAutomated[0].second, 1.0f);
    EXPECT_FLOAT_EQ(plugin.getParameter(6), 1.0f);
}

TEST(ModulationEngine, LearningAssignsTheNextController) {
    Plugin plugin(directHost);
    plugin.setLearnTarget(11);  // Mix
    Controller cc(21, 0);
    run(plugin, 64, &cc.list);
    EXPECT_EQ(plugin.getLearnTarget(), 0);
    EXPECT_EQ(plugin.getCcAssignment(9), 21);
    EXPECT_FLOAT_EQ(plugin.getParameter(param::kMix), 0.0f);
    plugin.setCcAssignment(3, 500);  // out of range: unassigned
    EXPECT_EQ(plugin.getCcAssignment(3), -1);
}

TEST(ModulationEngine, HostTempoIsClamped) {
    Plugin plugin(directHost);
    gTempo = 20.0;
    run(plugin, 32);
    EXPECT_FLOAT_EQ(plugin.getCurrentTempoValue(), 0.0f);
    gTempo = 400.0;
    run(plugin, 32);
    EXPECT_FLOAT_EQ(plugin.getCurrentTempoValue(), 1.0f);
    gTempo = NAN;
    run(plugin, 32);
    EXPECT_FLOAT_EQ(plugin.getCurrentTempoValue(), 1.0f);
    gTempo = 120.0;
}

TEST(ModulationEngine, SourceAndDestinationNames) {
    Plugin plugin(directHost);
    char longName[kTextSize], shortName[kTextSize], text[kTextSize];
    auto source = [&](int s) {
        plugin.setParameter(param::kSlotSource1, discreteValue(s, kNumSources));
        plugin.getSourceName(0, longName, shortName);
    };
    source(0);
    EXPECT_STREQ(longName, "MOD 1: EMPTY");
    EXPECT_STREQ(shortName, "MOD1 EMPTY");
    source(6);
    EXPECT_STREQ(longName, "KNOB 3");
    source(12 + 7);
    EXPECT_STREQ(longName, "MIDI CC main volume");
    EXPECT_STREQ(shortName, "MIDI CC007");
    source(12 + 3);
    EXPECT_STREQ(longName, "MIDI CC control 3");
    source(12 + 128);
    EXPECT_STREQ(longName, "MIDI CC not assigned");
    source(147);
    EXPECT_STREQ(longName, "MIDI chn pressure");
    EXPECT_STREQ(shortName, "CHN PRESSURE");
    source(148);
    EXPECT_STREQ(longName, "");
    plugin.getSourceName(16, longName, shortName);
    EXPECT_STREQ(longName, "error");

    auto dest = [&](int d) {
        plugin.setParameter(param::kSlotDest1, discreteValue(d, kNumDestinations));
        plugin.getDestinationName(0, text);
    };
    dest(0);
    EXPECT_STREQ(text, "MAIN INPUT");
    dest(3);
    EXPECT_STREQ(text, "OP1 atten");
    dest(4);
    EXPECT_STREQ(text, "OP1 ---");
    dest(223 + 4 * 2 + 3);
    EXPECT_STREQ(text, "OP3->OP4");
    dest(258);
    EXPECT_STREQ(text, "SLOT16 SENS");
    dest(259);
    EXPECT_STREQ(text, "");
}

TEST(ModulationEngine, KnobNamesComeFromCharacterParameters) {
    Plugin plugin(directHost);
    const char* name = "Cutoff";
    for (int c = 0; c < 6; ++c) plugin.setParameter(param::kKnobNames + 8 + c, discreteValue(name[c], 128));
    plugin.setParameter(param::kKnobNames + 8 + 6, 0.0f);
    char text[kTextSize];
    plugin.getKnobName(1, text);
    EXPECT_STREQ(text, "Cutoff");
    for (int c = 0; c < 8; ++c) plugin.setParameter(param::kKnobNames + c, discreteValue('A' + c, 128));
    plugin.getKnobName(0, text);
    EXPECT_STREQ(text, "ABCDEFGH");
}

TEST(ModulationEngine, HiddenParameterDisplays) {
    Plugin plugin(directHost);
    char text[kTextSize];
    plugin.setParameter(param::kOutLimiter, 0.9f);
    plugin.getParameterDisplay(param::kOutLimiter, text);
    EXPECT_STREQ(text, "n/a");
    plugin.setParameter(param::kMeterHold, 1.0f);
    plugin.getParameterDisplay(param::kMeterHold, text);
    EXPECT_STREQ(text, "oo");
    plugin.setParameter(param::kMeterHold, 0.25f);
    plugin.getParameterDisplay(param::kMeterHold, text);
    EXPECT_STREQ(text, "2000");
    plugin.setParameter(param::kOpBypass1, 0.75f);
    plugin.getParameterDisplay(param::kOpBypass1, text);
    EXPECT_STREQ(text, "bypass");
    plugin.setParameter(param::kCurrMain, 0.9f);
    plugin.getParameterDisplay(param::kCurrMain, text);
    EXPECT_STREQ(text, "MOD ROUTING");
    plugin.setParameter(param::kSlotSource1, 1.0f);
    plugin.getParameterDisplay(param::kSlotSource1, text);
    EXPECT_STREQ(text, "");
}

// The audio path must not allocate: count operator new while processing.
TEST(ModulationEngine, ProcessingDoesNotAllocate) {
    Plugin plugin(directHost);
    for (int k = 0; k < 16; ++k) {
        plugin.setParameter(param::kSlotSource1 + k, discreteValue(k * 9 % 148, kNumSources));
        plugin.setParameter(param::kSlotDest1 + k, discreteValue(k * 17 % 259, kNumDestinations));
        plugin.setParameter(param::kSlotSens1 + k, 0.7f);
    }
    Controller cc(7, 64);
    plugin.setCcAssignment(0, 7);
    run(plugin, 256);
    std::vector<float> l(4096, 0.1f), r(4096, 0.1f);
    float* in[4] = {l.data(), r.data(), l.data(), r.data()};
    float* out[2] = {l.data(), r.data()};
    plugin.processEvents(&cc.list);
    gAutomated.clear();
    gAutomated.reserve(16);  // the test host's own bookkeeping must not count
    test::countAllocations(true);
    plugin.processReplacing(in, out, 4096);
    test::countAllocations(false);
    EXPECT_EQ(test::allocationsCounted(), 0);
}
