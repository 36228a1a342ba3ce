// The LV2 build seen from a host: its description, its audio against the VST
// build's, its state through lilv, and its window inside a host window.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>
#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <chrono>
#include <set>
#include <thread>

#include "../PluginHost.h"
#include "../PrivateXServer.h"
#include "Lv2TestHost.h"
#include "engine/Plugin.h"

namespace {

using vh::test::Lv2Instance;
using vh::test::Lv2World;
using vh::test::MidiMessage;
using vh::test::PluginHost;
using vh::test::Position;
namespace param = vh::param;
namespace lv2 = vh::lv2;

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;

std::vector<uint8_t> vstChunkOf(int bank, int preset) {
    PluginHost host;
    if (!host.open()) return {};
    int32_t selection[2] = {bank, preset};
    if (host.call(vst::effVendorSpecific, vh::kVendorCommand, vh::kVendorSelectPreset, selection) != 1) return {};
    void* data = nullptr;
    auto size = host.call(vst::effGetChunk, 0, 0, &data);
    if (!data || size <= 0) return {};
    return {static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size};
}

// A stereo signal with some of everything: tones, a sweep, noise bursts.
void testSignal(int frames, std::vector<float>& left, std::vector<float>& right) {
    left.resize(frames);
    right.resize(frames);
    uint32_t seed = 12345;
    for (int n = 0; n < frames; ++n) {
        seed = seed * 1664525u + 1013904223u;
        float noise = (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f) * ((n / 4410) % 3 == 0 ? 0.3f : 0.02f);
        double t = n / kRate;
        left[n] = static_cast<float>(0.4 * std::sin(2.0 * M_PI * 220.0 * t) + 0.2 * std::sin(2.0 * M_PI * (200.0 + 2000.0 * t) * t)) + noise;
        right[n] = static_cast<float>(0.4 * std::sin(2.0 * M_PI * 331.0 * t)) - noise;
    }
}

// What happens during a render, block by block: the host's transport, MIDI
// and automation, told to both builds the way each format tells it.
struct Scenario {
    int blocks = 40;
    struct Move {
        int block;
        int index;
        float value;
    };
    std::vector<Move> moves = {{10, param::kMix, 0.6f}, {12, param::kKnob1, 0.8f}, {14, param::kInput, 0.7f}};
    struct Midi {
        int block;
        MidiMessage message;
    };
    std::vector<Midi> midi = {{2, {17, {0x90, 60, 100}}},  {2, {300, {0x90, 67, 80}}}, {4, {200, {0xB0, 1, 64}}},
                              {6, {3, {0xE0, 0x10, 0x50}}}, {7, {400, {0xD0, 90, 0}}},  {8, {5, {0xA0, 60, 70}}},
                              {30, {0, {0x80, 60, 0}}},     {31, {511, {0x80, 67, 0}}}};
    struct Transport {
        int block;
        double bpm, beat;
        bool playing;
    };
    std::vector<Transport> transport = {{0, 97.0, 0.0, true}, {20, 140.0, 64.0, true}, {34, 140.0, 16.0, false}};
};

void renderVst(const std::vector<uint8_t>& chunk, const Scenario& s, const std::vector<float>& inL,
               const std::vector<float>& inR, std::vector<float>& outL, std::vector<float>& outR) {
    PluginHost host;
    ASSERT_TRUE(host.open(static_cast<float>(kRate), kBlock));
    ASSERT_EQ(host.call(vst::effSetChunk, 0, static_cast<intptr_t>(chunk.size()), const_cast<uint8_t*>(chunk.data())), 0);
    host.answerTime = false;
    std::vector<float> zeros(kBlock, 0.0f);
    for (int b = 0; b < s.blocks; ++b) {
        for (const auto& t : s.transport)
            if (t.block == b) {
                host.answerTime = true;
                host.tempo = t.bpm;
                host.ppq = t.beat;
                host.playing = t.playing;
            }
        for (const auto& m : s.moves)
            if (m.block == b) host.set(m.index, m.value);
        std::vector<vst::VstMidiEvent> events;
        for (const auto& m : s.midi)
            if (m.block == b) {
                vst::VstMidiEvent e{};
                e.type = vst::kVstMidiType;
                e.byteSize = sizeof(e);
                e.deltaFrames = static_cast<int32_t>(m.message.frame);
                for (int k = 0; k < 3; ++k) e.midiData[k] = static_cast<char>(m.message.bytes[k]);
                events.push_back(e);
            }
        std::vector<char> list(sizeof(vst::VstEvents) + sizeof(void*) * events.size(), 0);
        auto* l = reinterpret_cast<vst::VstEvents*>(list.data());
        l->numEvents = static_cast<int32_t>(events.size());
        for (size_t i = 0; i < events.size(); ++i) l->events[i] = reinterpret_cast<vst::VstEvent*>(&events[i]);
        host.call(vst::effProcessEvents, 0, 0, l);
        float* in[4] = {const_cast<float*>(&inL[b * kBlock]), const_cast<float*>(&inR[b * kBlock]), zeros.data(),
                        zeros.data()};
        std::vector<float> oL(kBlock), oR(kBlock);
        float* out[2] = {oL.data(), oR.data()};
        host.effect->processReplacing(host.effect, in, out, kBlock);
        if (host.playing) host.ppq += kBlock / kRate * host.tempo / 60.0;
        outL.insert(outL.end(), oL.begin(), oL.end());
        outR.insert(outR.end(), oR.begin(), oR.end());
    }
}

void renderLv2(Lv2World& world, const std::vector<uint8_t>& chunk, const Scenario& s, const std::vector<float>& inL,
               const std::vector<float>& inR, std::vector<float>& outL, std::vector<float>& outR) {
    Lv2Instance plugin(world, kRate);
    ASSERT_NE(plugin.instance, nullptr);
    ASSERT_EQ(plugin.restoreChunk(chunk), LV2_STATE_SUCCESS);
    for (int b = 0; b < s.blocks; ++b) {
        std::vector<Position> positions;
        for (const auto& t : s.transport)
            if (t.block == b) positions.push_back({0, t.bpm, t.beat, t.playing ? 1.0 : 0.0});
        for (const auto& m : s.moves)
            if (m.block == b) plugin.controls[m.index] = m.value;
        std::vector<MidiMessage> midi;
        for (const auto& m : s.midi)
            if (m.block == b) midi.push_back(m.message);
        plugin.run(&inL[b * kBlock], &inR[b * kBlock], kBlock, outL, outR, midi, positions);
    }
}

// Index of the first sample that differs, or -1.
long firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
    return -1;
}

bool hasValue(const LilvNodes* nodes, LilvNode* value) {
    bool found = nodes && lilv_nodes_contains(nodes, value);
    return found;
}

TEST(Lv2Bundle, DescribesEveryParameterAsTheVstBuildDoes) {
    Lv2World world;
    ASSERT_NE(world.plugin, nullptr);
    ASSERT_EQ(lilv_plugin_get_num_ports(world.plugin), static_cast<uint32_t>(lv2::kNumPorts));

    PluginHost host;
    ASSERT_TRUE(host.open());
    int32_t flat[2] = {0, 0};
    ASSERT_EQ(host.call(vst::effVendorSpecific, vh::kVendorCommand, vh::kVendorSelectPreset, flat), 1);
    ASSERT_EQ(host.effect->numParams, param::kNumAutomatable);

    LilvNode* input = world.uri(LV2_CORE__InputPort);
    LilvNode* output = world.uri(LV2_CORE__OutputPort);
    LilvNode* control = world.uri(LV2_CORE__ControlPort);
    LilvNode* audio = world.uri(LV2_CORE__AudioPort);
    LilvNode* atomPort = world.uri(LV2_ATOM__AtomPort);
    LilvNode* sideChain = world.uri(LV2_CORE_PREFIX "isSideChain");
    LilvNode* enumeration = world.uri(LV2_CORE__enumeration);
    LilvNode* supports = world.uri(LV2_ATOM__supports);
    LilvNode* midiEvent = world.uri(LV2_MIDI__MidiEvent);
    LilvNode* position = world.uri(LV2_TIME__Position);

    std::set<std::string> symbols;
    for (int i = 0; i < param::kNumAutomatable; ++i) {
        SCOPED_TRACE(i);
        const LilvPort* port = lilv_plugin_get_port_by_index(world.plugin, i);
        EXPECT_TRUE(lilv_port_is_a(world.plugin, port, input));
        EXPECT_TRUE(lilv_port_is_a(world.plugin, port, control));
        symbols.insert(lilv_node_as_string(lilv_port_get_symbol(world.plugin, port)));
        LilvNode* name = lilv_port_get_name(world.plugin, port);
        std::string vstName = host.name(i);
        if (!vstName.empty()) {
            EXPECT_EQ(lilv_node_as_string(name), vstName);
        }
        lilv_node_free(name);
        LilvNode *def, *min, *max;
        lilv_port_get_range(world.plugin, port, &def, &min, &max);
        EXPECT_EQ(lilv_node_as_float(def), host.get(i));
        EXPECT_EQ(lilv_node_as_float(min), 0.0f);
        EXPECT_EQ(lilv_node_as_float(max), 1.0f);
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
    }
    EXPECT_EQ(symbols.size(), static_cast<size_t>(param::kNumAutomatable));

    // A choice is offered as a list of the texts the VST build displays.
    const LilvPort* type = lilv_plugin_get_port_by_index(world.plugin, param::kOpType1 + 2);
    EXPECT_TRUE(lilv_port_has_property(world.plugin, type, enumeration));
    LilvScalePoints* points = lilv_port_get_scale_points(world.plugin, type);
    ASSERT_NE(points, nullptr);
    int matched = 0;
    LILV_FOREACH(scale_points, it, points) {
        const LilvScalePoint* p = lilv_scale_points_get(points, it);
        host.set(param::kOpType1 + 2, lilv_node_as_float(lilv_scale_point_get_value(p)));
        std::string label = lilv_node_as_string(lilv_scale_point_get_label(p));
        EXPECT_EQ(host.display(param::kOpType1 + 2), label);
        ++matched;
    }
    EXPECT_EQ(matched, 19);
    lilv_scale_points_free(points);

    for (int i = lv2::kPortInputL; i <= lv2::kPortOutputR; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(world.plugin, i);
        EXPECT_TRUE(lilv_port_is_a(world.plugin, port, audio));
        EXPECT_TRUE(lilv_port_is_a(world.plugin, port, i < lv2::kPortOutputL ? input : output));
        bool side = i == lv2::kPortSideChainL || i == lv2::kPortSideChainR;
        EXPECT_EQ(lilv_port_has_property(world.plugin, port, sideChain), side) << i;
    }
    const LilvPort* events = lilv_plugin_get_port_by_index(world.plugin, lv2::kPortControl);
    EXPECT_TRUE(lilv_port_is_a(world.plugin, events, atomPort));
    LilvNodes* supported = lilv_port_get_value(world.plugin, events, supports);
    EXPECT_TRUE(hasValue(supported, midiEvent));
    EXPECT_TRUE(hasValue(supported, position));
    lilv_nodes_free(supported);
    EXPECT_TRUE(lilv_plugin_has_latency(world.plugin));
    EXPECT_EQ(lilv_plugin_get_latency_port_index(world.plugin), static_cast<uint32_t>(lv2::kPortLatency));

    LilvUIs* uis = lilv_plugin_get_uis(world.plugin);
    ASSERT_EQ(lilv_uis_size(uis), 1u);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    LilvNode* x11 = world.uri(LV2_UI__X11UI);
    EXPECT_TRUE(lilv_ui_is_a(ui, x11));
    LilvNode* required = world.uri(LV2_CORE__requiredFeature);
    LilvNodes* features = lilv_world_find_nodes(world.world, lilv_ui_get_uri(ui), required, nullptr);
    LilvNode* parentFeature = world.uri(LV2_UI__parent);
    LilvNode* idleFeature = world.uri(LV2_UI__idleInterface);
    LilvNode* accessFeature = world.uri(LV2_INSTANCE_ACCESS_URI);
    EXPECT_TRUE(hasValue(features, parentFeature));
    EXPECT_TRUE(hasValue(features, idleFeature));
    EXPECT_TRUE(hasValue(features, accessFeature));
    lilv_nodes_free(features);
    lilv_uis_free(uis);
    for (LilvNode* n : {input, output, control, audio, atomPort, sideChain, enumeration, supports, midiEvent, position,
                        x11, required, parentFeature, idleFeature, accessFeature})
        lilv_node_free(n);
}

// The bundle's two files against the LV2 schemas, when the validator is there.
TEST(Lv2Bundle, ValidatesAgainstTheSchemas) {
    if (!vh::test::PrivateXServer::programInPath("sord_validate")) GTEST_SKIP() << "sord_validate not installed";
    std::string bundle = VH_LV2_BUNDLE;
    std::string command = "sord_validate $(find /usr/lib/lv2 -name '*.ttl') " + bundle + "/manifest.ttl " + bundle +
                          "/VornHalyx.ttl > /dev/null 2>" + bundle + "/../lv2-validate.log";
    int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << "see " << bundle << "/../lv2-validate.log";
}

// Factory presets through both builds, with MIDI, transport and automation
// on the way: the same samples. A third of the library, spread over all
// three banks, keeps the test short; set VH_LV2_ALL_PRESETS to render all.
TEST(Lv2Render, EqualsTheVstBuildSampleForSample) {
    Lv2World world;
    ASSERT_NE(world.plugin, nullptr);
    Scenario scenario;
    std::vector<float> inL, inR;
    testSignal(scenario.blocks * kBlock, inL, inR);
    int compared = 0;
    int stride = std::getenv("VH_LV2_ALL_PRESETS") ? 1 : 3;
    for (int bank = 0; bank < 3; ++bank) {
        for (int preset = bank; preset < 64; preset += stride) {
            SCOPED_TRACE(testing::Message() << bank << ":" << preset);
            std::vector<uint8_t> chunk = vstChunkOf(bank, preset);
            ASSERT_FALSE(chunk.empty());
            std::vector<float> vstL, vstR, lv2L, lv2R;
            renderVst(chunk, scenario, inL, inR, vstL, vstR);
            renderLv2(world, chunk, scenario, inL, inR, lv2L, lv2R);
            ASSERT_EQ(firstDifference(vstL, lv2L), -1);
            ASSERT_EQ(firstDifference(vstR, lv2R), -1);
            ++compared;
        }
    }
    EXPECT_EQ(compared, stride == 1 ? 192 : 64);
}

// A time position in the middle of a block takes effect at its frame: the
// same as a host whose blocks end there.
TEST(Lv2Render, TimePositionInsideABlockActsAtItsFrame) {
    Lv2World world;
    std::vector<uint8_t> chunk = vstChunkOf(0, 1);
    std::vector<float> inL, inR;
    testSignal(8 * kBlock, inL, inR);
    std::vector<float> wholeL, wholeR, splitL, splitR;
    {
        Lv2Instance plugin(world, kRate);
        ASSERT_EQ(plugin.restoreChunk(chunk), LV2_STATE_SUCCESS);
        for (int b = 0; b < 8; ++b) {
            std::vector<Position> positions;
            if (b == 0) positions.push_back({0, 120.0, 0.0, 1.0});
            if (b == 3) positions.push_back({200, 90.0, 33.0, 1.0});
            plugin.run(&inL[b * kBlock], &inR[b * kBlock], kBlock, wholeL, wholeR, {{100, {0x90, 50, 90}}}, positions);
        }
    }
    {
        Lv2Instance plugin(world, kRate);
        ASSERT_EQ(plugin.restoreChunk(chunk), LV2_STATE_SUCCESS);
        for (int b = 0; b < 8; ++b) {
            int from = b * kBlock;
            std::vector<Position> positions;
            if (b == 0) positions.push_back({0, 120.0, 0.0, 1.0});
            if (b == 3) {
                plugin.run(&inL[from], &inR[from], 200, splitL, splitR, {{100, {0x90, 50, 90}}}, positions);
                plugin.run(&inL[from + 200], &inR[from + 200], kBlock - 200, splitL, splitR, {},
                           {{0, 90.0, 33.0, 1.0}});
                continue;
            }
            plugin.run(&inL[from], &inR[from], kBlock, splitL, splitR, {{100, {0x90, 50, 90}}}, positions);
        }
    }
    EXPECT_EQ(firstDifference(wholeL, splitL), -1);
    EXPECT_EQ(firstDifference(wholeR, splitR), -1);
}

// System messages and bytes without a status byte are not channel messages:
// the engine never hears of them.
TEST(Lv2Render, IgnoresWhatIsNotAChannelMessage) {
    Lv2World world;
    std::vector<uint8_t> chunk = vstChunkOf(0, 1);
    std::vector<float> inL, inR;
    testSignal(6 * kBlock, inL, inR);
    std::vector<float> cleanL, cleanR, noisyL, noisyR;
    Lv2Instance clean(world, kRate), noisy(world, kRate);
    ASSERT_EQ(clean.restoreChunk(chunk), LV2_STATE_SUCCESS);
    ASSERT_EQ(noisy.restoreChunk(chunk), LV2_STATE_SUCCESS);
    for (int b = 0; b < 6; ++b) {
        std::vector<MidiMessage> notes = {{10, {0x90, 64, 100}}, {300, {0xB0, 7, 20}}};
        std::vector<MidiMessage> withJunk = {{5, {0x40, 0x7F, 0x7F}}, {10, {0x90, 64, 100}}, {20, {0xF0, 0x7E, 0xF7}},
                                             {40, {0xFF, 0, 0}},         {300, {0xB0, 7, 20}}};
        clean.run(&inL[b * kBlock], &inR[b * kBlock], kBlock, cleanL, cleanR, notes);
        noisy.run(&inL[b * kBlock], &inR[b * kBlock], kBlock, noisyL, noisyR, withJunk);
    }
    EXPECT_EQ(firstDifference(cleanL, noisyL), -1);
    EXPECT_EQ(firstDifference(cleanR, noisyR), -1);
}

TEST(Lv2Render, ReportsTheLatencyTheVstBuildReports) {
    Lv2World world;
    Lv2Instance plugin(world, kRate);
    std::vector<float> in(kBlock, 0.0f), outL, outR;
    plugin.run(in.data(), in.data(), kBlock, outL, outR);
    PluginHost host;
    ASSERT_TRUE(host.open());
    EXPECT_EQ(plugin.latency, static_cast<float>(host.effect->initialDelay));
}

// State through lilv's own state API (as a host saves a session to text and
// reads it back into a new instance): the chunk comes back byte for byte,
// and so does the sound.
TEST(Lv2State, RoundTripsThroughLilvByteForByte) {
    Lv2World world;
    std::vector<uint8_t> chunk = vstChunkOf(1, 7);
    ASSERT_FALSE(chunk.empty());
    Lv2Instance first(world, kRate);
    ASSERT_EQ(first.restoreChunk(chunk), LV2_STATE_SUCCESS);
    std::vector<uint8_t> saved = first.savedChunk();
    EXPECT_TRUE(saved == chunk);

    auto portValue = [](const char* symbol, void* data, uint32_t* size, uint32_t* type) -> const void* {
        auto* self = static_cast<Lv2Instance*>(data);
        (void)symbol;
        *size = 0;
        *type = 0;
        (void)self;
        return nullptr;
    };
    LilvState* state = lilv_state_new_from_instance(world.plugin, first.instance, &first.urids.mapFeatureData,
                                                    nullptr, nullptr, nullptr, nullptr, portValue, &first,
                                                    LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
    ASSERT_NE(state, nullptr);
    char* text = lilv_state_to_string(world.world, &first.urids.mapFeatureData, &first.urids.unmapFeatureData, state,
                                      "urn:vornhalyx:test-state", nullptr);
    ASSERT_NE(text, nullptr);
    lilv_state_free(state);

    Lv2Instance second(world, kRate);
    LilvState* loaded = lilv_state_new_from_string(world.world, &second.urids.mapFeatureData, text);
    lilv_free(text);
    ASSERT_NE(loaded, nullptr);
    lilv_state_restore(loaded, second.instance, nullptr, nullptr, 0, nullptr);
    lilv_state_free(loaded);
    EXPECT_TRUE(second.savedChunk() == chunk);

    std::vector<float> inL, inR;
    testSignal(10 * kBlock, inL, inR);
    std::vector<float> aL, aR, bL, bR;
    for (int b = 0; b < 10; ++b) {
        first.run(&inL[b * kBlock], &inR[b * kBlock], kBlock, aL, aR);
        second.run(&inL[b * kBlock], &inR[b * kBlock], kBlock, bL, bR);
    }
    EXPECT_EQ(firstDifference(aL, bL), -1);
    EXPECT_EQ(firstDifference(aR, bR), -1);
}

// A damaged or mistyped state changes nothing and says so.
TEST(Lv2State, RefusesWhatIsNotItsChunk) {
    Lv2World world;
    Lv2Instance plugin(world, kRate);
    std::vector<uint8_t> before = plugin.savedChunk();
    ASSERT_FALSE(before.empty());
    std::vector<uint8_t> chunk = vstChunkOf(2, 3);
    EXPECT_EQ(plugin.restoreChunk(chunk, LV2_ATOM__String), LV2_STATE_ERR_BAD_TYPE);
    std::vector<uint8_t> garbage(chunk.size(), 0xA5);
    EXPECT_NE(plugin.restoreChunk(garbage), LV2_STATE_SUCCESS);
    std::vector<uint8_t> cut(chunk.begin(), chunk.begin() + static_cast<long>(chunk.size() / 2));
    EXPECT_NE(plugin.restoreChunk(cut), LV2_STATE_SUCCESS);
    EXPECT_TRUE(plugin.savedChunk() == before);
}

// --- the window ------------------------------------------------------------

class Lv2Window : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* env = std::getenv("DISPLAY");
        sOldDisplay = env ? env : "";
        sDisplay = sServer.start();
        if (sServer.ownsServer()) setenv("DISPLAY", sDisplay.c_str(), 1);
    }
    static void TearDownTestSuite() {
        if (sServer.ownsServer()) {
            if (sOldDisplay.empty())
                unsetenv("DISPLAY");
            else
                setenv("DISPLAY", sOldDisplay.c_str(), 1);
        }
        sServer.stop();
        sDisplay.clear();
    }
    void SetUp() override {
        if (sDisplay.empty()) GTEST_SKIP() << "no X server and no Xvfb to start";
        connection = xcb_connect(sDisplay.c_str(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(connection));
        screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        parent = vh::test::createParentWindow(connection, screen, 900, 400);
    }
    void TearDown() override {
        if (connection) {
            xcb_destroy_window(connection, parent);
            xcb_disconnect(connection);
        }
    }
    std::vector<xcb_window_t> children() {
        std::vector<xcb_window_t> out;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, parent), nullptr);
        if (tree) {
            xcb_window_t* c = xcb_query_tree_children(tree);
            out.assign(c, c + xcb_query_tree_children_length(tree));
            free(tree);
        }
        return out;
    }

    void sendButton(xcb_window_t window, uint8_t type, int x, int y, uint16_t state = 0) {
        xcb_button_press_event_t e;
        std::memset(&e, 0, sizeof e);
        e.response_type = type;
        e.detail = 1;
        e.time = ++mTime * 1000;
        e.root = screen->root;
        e.event = window;
        e.event_x = static_cast<int16_t>(x);
        e.event_y = static_cast<int16_t>(y);
        e.state = state;
        e.same_screen = 1;
        xcb_send_event(connection, 0, window, 0, reinterpret_cast<const char*>(&e));
        xcb_flush(connection);
    }
    void sendMotion(xcb_window_t window, int x, int y, uint16_t state) {
        xcb_motion_notify_event_t e;
        std::memset(&e, 0, sizeof e);
        e.response_type = XCB_MOTION_NOTIFY;
        e.root = screen->root;
        e.event = window;
        e.event_x = static_cast<int16_t>(x);
        e.event_y = static_cast<int16_t>(y);
        e.state = state;
        e.same_screen = 1;
        xcb_send_event(connection, 0, window, 0, reinterpret_cast<const char*>(&e));
        xcb_flush(connection);
    }
    uint32_t mTime = 0;

    struct Written {
        uint32_t port;
        float value;
    };
    struct HostSide {
        std::vector<Written> writes;
        std::vector<std::pair<uint32_t, bool>> touches;
        int width = 0, height = 0;
    } hostSide;

    static inline vh::test::PrivateXServer sServer;
    static inline std::string sDisplay, sOldDisplay;
    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
    xcb_window_t parent = 0;
};

TEST_F(Lv2Window, OpensInsideTheHostWindowAndTellsTheHostOfPresetChanges) {
    Lv2World world;
    Lv2Instance plugin(world, kRate);
    ASSERT_NE(plugin.instance, nullptr);
    std::vector<float> in(kBlock, 0.0f), outL, outR;
    plugin.run(in.data(), in.data(), kBlock, outL, outR);

    void* library = dlopen((std::string(VH_LV2_BUNDLE) + "/" + lv2::kBinaryName).c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(library, "lv2ui_descriptor"));
    ASSERT_NE(entry, nullptr);
    const LV2UI_Descriptor* descriptor = entry(0);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_STREQ(descriptor->URI, lv2::kUiUri);
    EXPECT_EQ(entry(1), nullptr);

    LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))};
    LV2_Feature access{LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(plugin.instance)};
    LV2UI_Resize resize{&hostSide, [](LV2UI_Feature_Handle h, int w, int height) {
                            static_cast<HostSide*>(h)->width = w;
                            static_cast<HostSide*>(h)->height = height;
                            return 0;
                        }};
    LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    LV2UI_Touch touch{&hostSide, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
                          static_cast<HostSide*>(h)->touches.push_back({port, grabbed});
                      }};
    LV2_Feature touchFeature{LV2_UI__touch, &touch};
    const LV2_Feature* features[] = {&plugin.urids.mapFeature, &parentFeature, &access, &resizeFeature, &touchFeature,
                                     nullptr};
    auto write = [](LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
        ASSERT_EQ(format, 0u);
        ASSERT_EQ(size, sizeof(float));
        float v;
        std::memcpy(&v, buffer, sizeof(v));
        static_cast<HostSide*>(const_cast<void*>(c))->writes.push_back({port, v});
    };

    // Without the host's window or the plug-in instance there is no window.
    LV2UI_Widget widget = nullptr;
    const LV2_Feature* noParent[] = {&plugin.urids.mapFeature, &access, nullptr};
    EXPECT_EQ(descriptor->instantiate(descriptor, lv2::kPluginUri, VH_LV2_BUNDLE, write, &hostSide, &widget, noParent),
              nullptr);

    LV2UI_Handle ui =
        descriptor->instantiate(descriptor, lv2::kPluginUri, VH_LV2_BUNDLE, write, &hostSide, &widget, features);
    ASSERT_NE(ui, nullptr);
    auto child = static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(widget));
    std::vector<xcb_window_t> inside = children();
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside[0], child);
    EXPECT_GT(hostSide.width, 100);
    EXPECT_GT(hostSide.height, 100);

    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
    // The host tells the window every port's value, as hosts do on opening.
    for (int i = 0; i < param::kNumAutomatable; ++i)
        descriptor->port_event(ui, i, sizeof(float), 0, &plugin.controls[i]);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(idle->idle(ui), 0);
    EXPECT_TRUE(hostSide.writes.empty());

    // A preset recalled on the window's side: the host hears of exactly the
    // parameters that moved, with the values the VST build holds for it.
    std::vector<uint8_t> chunk = vstChunkOf(0, 9);
    ASSERT_EQ(plugin.restoreChunk(chunk), LV2_STATE_SUCCESS);
    EXPECT_EQ(idle->idle(ui), 0);
    PluginHost host;
    ASSERT_TRUE(host.open());
    ASSERT_EQ(host.call(vst::effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data()), 0);
    std::set<uint32_t> written;
    for (const Written& w : hostSide.writes) {
        ASSERT_LT(w.port, static_cast<uint32_t>(param::kNumAutomatable));
        EXPECT_EQ(w.value, host.get(static_cast<int>(w.port))) << w.port;
        written.insert(w.port);
    }
    for (int i = 0; i < param::kNumAutomatable; ++i)
        if (host.get(i) != plugin.controls[i]) {
            EXPECT_TRUE(written.count(i)) << i;
        }
    EXPECT_FALSE(written.empty());

    // The host takes the writes into its ports; the engine sees only echoes
    // and keeps its preset.
    for (const Written& w : hostSide.writes) plugin.controls[w.port] = w.value;
    plugin.run(in.data(), in.data(), kBlock, outL, outR);
    EXPECT_TRUE(plugin.savedChunk() == chunk);

    // Dragging the Input knob up in the window: the host is touched, hears
    // the new value through the write function and is let go.
    hostSide.writes.clear();
    plugin.controls[param::kInput] = 0.5f;
    plugin.run(in.data(), in.data(), kBlock, outL, outR);
    for (int k = 0; k < 5; ++k) idle->idle(ui);
    sendButton(child, XCB_BUTTON_PRESS, 329, 258);
    for (int y = 250; y >= 208; y -= 6) {
        sendMotion(child, 329, y, XCB_BUTTON_MASK_1);
        free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        idle->idle(ui);
    }
    sendButton(child, XCB_BUTTON_RELEASE, 329, 208, XCB_BUTTON_MASK_1);
    auto released = [&] {
        return !hostSide.touches.empty() && hostSide.touches.back() == std::make_pair(uint32_t(param::kInput), false);
    };
    for (int k = 0; k < 400 && !released(); ++k) {
        idle->idle(ui);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(released());
    EXPECT_EQ(hostSide.touches.front(), std::make_pair(uint32_t(param::kInput), true));
    ASSERT_FALSE(hostSide.writes.empty());
    EXPECT_EQ(hostSide.writes.back().port, static_cast<uint32_t>(param::kInput));
    EXPECT_NEAR(hostSide.writes.back().value, 0.75f, 1e-4f);

    // The writes come back as the host's port value, the last or an older
    // one (the host took it before the drag went on): neither moves the
    // engine. A value the host sets itself does, even one the window wrote
    // before.
    std::vector<float> inputWrites;
    for (const Written& w : hostSide.writes)
        if (w.port == static_cast<uint32_t>(param::kInput)) inputWrites.push_back(w.value);
    ASSERT_GE(inputWrites.size(), 2u);
    std::vector<uint8_t> edited = plugin.savedChunk();
    plugin.controls[param::kInput] = inputWrites.front();
    plugin.run(in.data(), in.data(), kBlock, outL, outR);
    EXPECT_TRUE(plugin.savedChunk() == edited);
    plugin.controls[param::kInput] = inputWrites.back();
    plugin.run(in.data(), in.data(), kBlock, outL, outR);
    EXPECT_TRUE(plugin.savedChunk() == edited);
    plugin.controls[param::kInput] = 0.3f;
    plugin.run(in.data(), in.data(), kBlock, outL, outR);
    std::vector<uint8_t> automated = plugin.savedChunk();
    EXPECT_TRUE(automated != edited);
    plugin.controls[param::kInput] = inputWrites.back();
    plugin.run(in.data(), in.data(), kBlock, outL, outR);
    EXPECT_TRUE(plugin.savedChunk() == edited);

    descriptor->cleanup(ui);
    EXPECT_TRUE(children().empty());
}

}  // namespace
