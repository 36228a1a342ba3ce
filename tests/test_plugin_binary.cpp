// The built plug-in as a host sees it: export, identity, dispatcher answers,
// hostile input, and the audio path through the routing matrix.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "ModuleHarness.h"
#include "PluginHost.h"
#include "modules/ParameterLayout.h"

using namespace vh;
using namespace vh::test;

namespace {
// Impulse response of the plug-in's left channel.
std::vector<float> impulseResponse(PluginHost& host, size_t n, int block = 64) {
    std::vector<float> l(n, 0.0f), r(n, 0.0f);
    l[0] = r[0] = 0.5f;
    host.process(l, r, block);
    return l;
}

int firstNonZero(const std::vector<float>& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (std::fabs(s[i]) > 1e-6f) return static_cast<int>(i);
    return -1;
}

void disableLimiter(PluginHost& host) { host.set(param::kOutLimiter, 0.5f / 16.0f); }
}  // namespace

TEST(PluginBinary, ExportsOnlyVSTPluginMain) {
    std::string command = std::string("nm -D --defined-only ") + VH_PLUGIN_PATH;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[512];
    std::vector<std::string> symbols;
    while (std::fgets(line, sizeof(line), pipe)) {
        std::string s(line);
        auto space = s.rfind(' ');
        symbols.push_back(s.substr(space + 1, s.find_last_not_of("\n") - space));
    }
    pclose(pipe);
    ASSERT_EQ(symbols.size(), 1u);
    EXPECT_EQ(symbols[0], "VSTPluginMain");
}

TEST(PluginBinary, IdentityAndBaseAnswers) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    vst::AEffect* e = host.effect;
    EXPECT_EQ(e->magic, vst::kEffectMagic);
    EXPECT_EQ(e->uniqueID, vst::fourCharacters('V', 'R', 'H', 'X'));
    EXPECT_EQ(e->numParams, 307);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numInputs, 4);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_FLOAT_EQ(e->ioRatio, 1.0f);
    EXPECT_TRUE(e->flags & vst::effFlagsCanReplacing);
    EXPECT_TRUE(e->flags & vst::effFlagsCanDoubleReplacing);
    EXPECT_TRUE(e->flags & vst::effFlagsProgramChunks);
    EXPECT_NE(e->processDoubleReplacing, nullptr);
    EXPECT_EQ(host.call(vst::effGetVendorVersion), 0x01000000);
    EXPECT_EQ(host.call(vst::effGetVstVersion), 2400);
    EXPECT_EQ(host.call(vst::effGetTailSize), 0);
    char name[256] = "unchanged";
    EXPECT_EQ(host.call(vst::effGetEffectName, 0, 0, name), 0);
    EXPECT_EQ(host.text(vst::effGetProgramName, 0), "[flat]");
    host.call(vst::effSetProgram, 0, 0);
    EXPECT_EQ(host.call(vst::effGetProgram), 0);
    EXPECT_EQ(host.call(vst::effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")), 1);
    EXPECT_EQ(host.call(vst::effCanDo, 0, 0, const_cast<char*>("sendVstMidiEvent")), 0);
    EXPECT_EQ(host.call(vst::effCanBeAutomated, 306), 1);
    EXPECT_EQ(host.call(vst::effCanBeAutomated, 307), 0);
}

TEST(PluginBinary, MidiCanDoFollowsTheHost) {
    PluginHost host;
    host.answerCanDoSendMidi = false;
    ASSERT_TRUE(host.open());
    EXPECT_EQ(host.call(vst::effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")), 0);
}

TEST(PluginBinary, RefusesHostsWithoutVersionOrCallback) {
    EXPECT_EQ(PluginHost::entry()(nullptr), nullptr);
    PluginHost host;
    host.answerVersion = false;
    EXPECT_FALSE(host.open());
}

TEST(PluginBinary, ProgramNameIsCutTo24Characters) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    host.call(vst::effSetProgramName, 0, 0, const_cast<char*>("0123456789012345678901234567890123456789"));
    EXPECT_EQ(host.text(vst::effGetProgramName, 0), "012345678901234567890123");
}

TEST(PluginBinary, SurvivesHostileCalls) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    for (int opcode = -5; opcode < 120; ++opcode) {
        if (opcode == vst::effClose || opcode == vst::effEditOpen) continue;
        host.call(opcode, 99999, 99999, nullptr, NAN);
        host.call(opcode, -1, -1, nullptr, -1.0f);
    }
    host.call(vst::effSetSampleRate, 0, 0, nullptr, 0.0f);
    host.call(vst::effSetSampleRate, 0, 0, nullptr, NAN);
    host.call(vst::effSetSampleRate, 0, 0, nullptr, 1e9f);
    host.call(vst::effSetBlockSize, 0, 0);
    for (int i : {-1, 437, 100000}) {
        host.set(i, 0.5f);
        EXPECT_EQ(host.get(i), 0.0f);
        EXPECT_EQ(host.name(i), "");
    }
    host.set(param::kInput, NAN);
    EXPECT_EQ(host.get(param::kInput), 0.0f);
    host.set(param::kOpType1, INFINITY);
    EXPECT_EQ(host.get(param::kOpType1), 1.0f);
    host.set(param::kOpType1, -INFINITY);
    // Processing with null buffers, zero and negative lengths does nothing.
    host.effect->processReplacing(host.effect, nullptr, nullptr, 64);
    float* none[4] = {nullptr, nullptr, nullptr, nullptr};
    host.effect->processReplacing(host.effect, none, none, 64);
    std::vector<float> l(8, 0.1f), r(8, 0.1f);
    float* in[4] = {l.data(), r.data(), nullptr, nullptr};
    float* out[2] = {l.data(), nullptr};
    host.effect->processReplacing(host.effect, in, out, 0);
    host.effect->processReplacing(host.effect, in, out, -3);
    host.effect->processReplacing(host.effect, in, out, 8);  // missing pins fall back
    // Non-finite input never produces non-finite output.
    std::vector<float> bad(4096, NAN), badR(4096, INFINITY);
    host.process(bad, badR);
    EXPECT_TRUE(allFinite(bad));
    EXPECT_TRUE(allFinite(badR));
    // Events that are garbage are ignored.
    host.sendMidi({{{-5, 0x90, 60, 100}}, {{100000, 0x90, 61, 100}}, {{3, 0xF8, 0, 0}}});
    std::vector<float> a(256, 0.1f), b(256, 0.1f);
    host.process(a, b);
    // A list whose entries are null.
    std::vector<unsigned char> list(sizeof(vst::VstEvents) + sizeof(void*), 0);
    reinterpret_cast<vst::VstEvents*>(list.data())->numEvents = 3;
    host.call(vst::effProcessEvents, 0, 0, list.data());
    host.process(a, b);
    EXPECT_TRUE(allFinite(a));
}

TEST(PluginBinary, DefaultChainDelaysByThreeSamplesPlusLookahead) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    auto withLimiter = impulseResponse(host, 400);
    EXPECT_EQ(firstNonZero(withLimiter), 3 + 128);
    EXPECT_NEAR(withLimiter[131], 0.5f, 1e-5f);

    PluginHost plain;
    ASSERT_TRUE(plain.open());
    disableLimiter(plain);
    auto ir = impulseResponse(plain, 64);
    EXPECT_EQ(firstNonZero(ir), 3);
    EXPECT_NEAR(ir[3], 0.5f, 1e-5f);
}

TEST(PluginBinary, LookaheadGrowsWithTheSampleRate) {
    for (auto [rate, lookahead] : {std::pair{48000.0f, 128}, {96000.0f, 256}, {192000.0f, 512}}) {
        PluginHost host;
        ASSERT_TRUE(host.open(rate));
        EXPECT_EQ(firstNonZero(impulseResponse(host, 1024)), 3 + lookahead) << rate;
    }
}

TEST(PluginBinary, PowerOffPassesTheDrySignal) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    disableLimiter(host);
    host.set(param::kPower, 0.0f);
    host.set(param::kDryDly, 0.0f);
    host.set(param::kOpType1 + 0, discreteValue(13, kNumTypeSteps));  // even with a stereo operator in the chain
    auto s = noise(2048, 0.5);
    std::vector<float> l = s, r = s;
    host.process(l, r);
    for (size_t i = 64; i < s.size(); ++i) ASSERT_NEAR(l[i], s[i], 1e-6f) << i;
}

TEST(PluginBinary, LimiterHoldsALoudSignalAtUnity) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    host.set(param::kOutLimiter, 2.5f / 16.0f);  // moderate
    host.set(param::kInput, std::sqrt(2.0f) / 2.0f);  // +6 dB: 4v^2 = 2
    auto s = sine(100.0, 44100.0, 44100);
    std::vector<float> l = s, r = s;
    host.process(l, r);
    EXPECT_NEAR(peak(l, 30000, 44100), 1.0, 0.01);
    // Below full scale the signal passes unchanged apart from the delay.
    host.set(param::kInput, 0.5f);
    auto quiet = sine(100.0, 44100.0, 44100 * 2, 0.8);
    l = quiet;
    r = quiet;
    host.process(l, r);
    for (size_t i = 60000; i < 88200; ++i) ASSERT_NEAR(l[i], quiet[i - 131], 1e-4f) << i;
}

TEST(PluginBinary, MidSideEncodeThenDecodeIsTransparent) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    disableLimiter(host);
    host.set(param::kOpLrMs, (0x11 + 0.5f) / 256.0f);
    auto left = sine(300.0, 44100.0, 4096, 0.5), right = noise(4096, 0.3);
    std::vector<float> l = left, r = right;
    host.process(l, r);
    for (size_t i = 100; i < 4096; ++i) {
        ASSERT_NEAR(l[i], left[i - 3], 5e-5f);
        ASSERT_NEAR(r[i], right[i - 3], 5e-5f);
    }
}

TEST(PluginBinary, SideChainFallsBackToTheMainInput) {
    PluginHost host;
    host.connectedInputs = 2;  // no side-chain pins
    ASSERT_TRUE(host.open());
    disableLimiter(host);
    host.set(param::kOpType1, discreteValue(16, kNumTypeSteps));  // SIDEMIX at 100 % side-chain
    auto s = sine(440.0, 44100.0, 4096, 0.5);
    std::vector<float> l = s, r = s;
    host.process(l, r);
    EXPECT_NEAR(rms(l, 1024), rms(s, 1024), 1e-3);
}

TEST(PluginBinary, DoublePrecisionPathMatchesFloat) {
    PluginHost a, b;
    ASSERT_TRUE(a.open());
    ASSERT_TRUE(b.open());
    auto s = noise(1024, 0.5);
    std::vector<float> l = s, r = s;
    a.process(l, r);
    std::vector<double> dl(s.begin(), s.end()), dr(s.begin(), s.end()), ol(1024), orr(1024);
    double* in[4] = {dl.data(), dr.data(), dl.data(), dr.data()};
    double* out[2] = {ol.data(), orr.data()};
    b.effect->processDoubleReplacing(b.effect, in, out, 1024);
    for (size_t i = 0; i < 1024; ++i) ASSERT_NEAR(ol[i], l[i], 1e-6) << i;
}

TEST(PluginBinary, InPlaceBuffersAreAllowed) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    disableLimiter(host);
    host.set(param::kDryDly, 0.0f);
    auto s = noise(512, 0.5);
    std::vector<float> l = s, r = s;
    float* in[4] = {l.data(), r.data(), l.data(), r.data()};
    float* out[2] = {l.data(), r.data()};
    host.effect->processReplacing(host.effect, in, out, 512);
    for (size_t i = 3; i < 512; ++i) ASSERT_NEAR(l[i], s[i - 3], 1e-4f);
}

TEST(PluginBinary, LoudNoiseThroughMaximalFeedbackStaysFinite) {
    // A minute of +20 dBFS noise with every matrix gain at maximum, in
    // blocks of 8192, at the extremes of the supported rates.
    for (float rate : {8000.0f, 384000.0f}) {
        PluginHost host;
        ASSERT_TRUE(host.open(rate, 8192));
        for (int i = 253; i <= 276; ++i) host.set(i, 1.0f);
        host.set(param::kInput, 1.0f);
        host.set(param::kOutput, 1.0f);
        size_t n = static_cast<size_t>(rate * (rate > 100000 ? 5 : 60));
        auto s = noise(n, 10.0);
        std::vector<float> l = s, r = s;
        host.process(l, r, 8192);
        EXPECT_TRUE(allFinite(l));
        EXPECT_TRUE(allFinite(r));
        EXPECT_LE(peak(l), 1.5);  // the limiter holds it near full scale
    }
}

TEST(PluginBinary, AbsurdTransportIsAbsorbed) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    auto s = noise(4096, 0.5);
    for (double position : {-1e9, double(NAN), 1e300, double(INFINITY)}) {
        for (double tempo : {-5.0, 0.0, double(NAN), 1e12}) {
            host.ppq = position;
            host.tempo = tempo;
            host.playing = true;
            std::vector<float> l = s, r = s;
            host.process(l, r, 1024);
            ASSERT_TRUE(allFinite(l));
        }
    }
    host.answerTime = false;
    std::vector<float> l = s, r = s;
    host.process(l, r, 1024);
    EXPECT_TRUE(allFinite(l));
}

TEST(PluginBinary, EventsWithoutProcessAreForgottenSafely) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    for (int i = 0; i < 3; ++i) host.sendMidi({{{0, 0x90, 200, 300}}, {{1, 0xB0, 255, 255}}});
    host.call(vst::effProcessEvents, 0, 0, nullptr);
    host.call(vst::effMainsChanged, 0, 0);  // suspend drops the pending list
    host.call(vst::effMainsChanged, 0, 1);
    std::vector<float> l(256, 0.1f), r(256, 0.1f);
    host.process(l, r);
    EXPECT_TRUE(allFinite(l));
}

TEST(PluginBinary, SampleRateChangesWhileProcessingStayInsideTheBuffers) {
    // Every operator type across the slots, rates jumping between the
    // extremes between blocks (run under AddressSanitizer in CI).
    PluginHost host;
    ASSERT_TRUE(host.open(44100.0f, 256));
    auto s = noise(2048, 10.0);
    for (int round = 0; round < 5; ++round) {
        for (int slot = 0; slot < 4; ++slot) host.set(12 + slot, discreteValue((round * 4 + slot) % 19, 64));
        host.set(param::kModType1, discreteValue(1 + round % 4, kNumTypeSteps));
        for (float rate : {8000.0f, 384000.0f, 11025.0f, 192000.0f, 44100.0f}) {
            host.call(vst::effSetSampleRate, 0, 0, nullptr, rate);
            std::vector<float> l = s, r = s;
            host.process(l, r, 256);
            ASSERT_TRUE(allFinite(l) && allFinite(r)) << round << " " << rate;
        }
    }
}

TEST(PluginBinary, OverflowingInputNeverWedgesTheOutput) {
    // Samples near the float maximum overflow the gains; what comes out stays
    // finite, the limiter keeps limiting (it releases from the enormous peak
    // it saw), and a suspend brings everything back to rest.
    PluginHost host;
    ASSERT_TRUE(host.open());
    host.set(param::kInput, 1.0f);
    host.set(param::kOutput, 1.0f);
    std::vector<float> huge(512, 3e38f), hugeR(512, -3e38f);
    host.process(huge, hugeR);
    EXPECT_TRUE(allFinite(huge) && allFinite(hugeR));
    auto s = sine(100.0, 44100.0, 44100, 0.9);
    std::vector<float> l = s, r = s;
    host.process(l, r, 4096);
    EXPECT_TRUE(allFinite(l));
    EXPECT_LE(peak(l), 1.1);  // lookahead overshoot at the edge of the huge block
    host.call(vst::effMainsChanged, 0, 0);
    host.call(vst::effMainsChanged, 0, 1);
    l = s;
    r = s;
    host.process(l, r, 4096);
    EXPECT_NEAR(peak(l, 22050), 1.0, 0.05);
}

// The values a preset keeps beyond the host's parameters are described too.
TEST(PluginBinary, StoredValuesHaveNamesLabelsAndTexts) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    EXPECT_EQ(host.name(param::kOpBypass1), "OP1 bypass");
    EXPECT_EQ(host.display(param::kOpBypass1), "process");
    host.set(param::kOpBypass1 + 3, 0.75f);
    EXPECT_EQ(host.display(param::kOpBypass1 + 3), "bypass");
    EXPECT_EQ(host.name(param::kModBypass1 + 1), "MOD2 bypass");

    host.set(param::kModType1, discreteValue(1, kNumTypeSteps));  // LFO
    host.set(param::kSlotSource1, discreteValue(0, kNumSources));
    EXPECT_EQ(host.name(param::kSlotSource1), "SLOT1 SRC");
    EXPECT_EQ(host.display(param::kSlotSource1), "MOD 1: LFO");
    host.set(param::kSlotSource1 + 15, discreteValue(12 + 7, kNumSources));
    EXPECT_EQ(host.name(param::kSlotSource1 + 15), "SLOT16 SRC");
    EXPECT_EQ(host.display(param::kSlotSource1 + 15), "MIDI CC main volume");
    host.set(param::kSlotDest1 + 2, discreteValue(1, kNumDestinations));
    EXPECT_EQ(host.name(param::kSlotDest1 + 2), "SLOT3 DST");
    EXPECT_EQ(host.display(param::kSlotDest1 + 2), "MAIN MIX");

    host.set(param::kOutLimiter, discreteValue(2, 16));
    EXPECT_EQ(host.name(param::kOutLimiter), "OutLimiter");
    EXPECT_EQ(host.display(param::kOutLimiter), "moderate");
    EXPECT_EQ(host.name(param::kTempoSync), "TempoSync");
    EXPECT_EQ(host.name(param::kSlotStatus), "SLOTStatus");
    host.set(param::kOpLrMs, discreteValue(17, 256));
    EXPECT_EQ(host.display(param::kOpLrMs), "17");
    EXPECT_EQ(host.name(param::kCurrMain), "Curr MAIN");
    host.set(param::kCurrMain, discreteValue(2, 4));
    EXPECT_EQ(host.display(param::kCurrMain), "PREFERENCES");
    EXPECT_EQ(host.name(param::kMeterHold), "MeterHold");
    EXPECT_EQ(host.label(param::kMeterHold), "ms");
    EXPECT_EQ(host.label(param::kMeterFalloff), "dB/sec");
    host.set(param::kMeterHold, 1.0f);
    EXPECT_EQ(host.display(param::kMeterHold), "oo");

    // Knob name characters, the unused index and the editor commands have
    // no name; nothing beyond the index space answers.
    for (int index : {param::kKnobNames, param::kKnobNames + 63, 416, param::kSaveAsDefault, 437, 5000}) {
        EXPECT_EQ(host.name(index), "") << index;
        EXPECT_EQ(host.label(index), "") << index;
    }
    EXPECT_EQ(host.display(5000), "");
}

namespace {
// Where an impulse comes out of the dry path (no structural delay of its own)
// after a suspend and resume settle every smoothed control.
int measuredDelay(PluginHost& host) {
    host.call(vst::effMainsChanged, 0, 0);
    host.call(vst::effMainsChanged, 0, 1);
    std::vector<float> ir = impulseResponse(host, 2048);
    int peak = 0;
    for (size_t i = 1; i < ir.size(); ++i)
        if (std::fabs(ir[i]) > std::fabs(ir[peak])) peak = static_cast<int>(i);
    return peak;
}
}  // namespace

TEST(PluginBinary, ReportedLatencyIsTheMeasuredDelayWhenAskedFor) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    host.set(param::kMix, 0.0f);
    host.set(param::kDryDly, 0.0f);
    // By default nothing is reported, although the limiter delays.
    EXPECT_EQ(host.effect->initialDelay, 0);
    EXPECT_EQ(measuredDelay(host), 128);
    EXPECT_EQ(host.display(param::kReportLatency), "off");

    host.set(param::kReportLatency, 0.75f);
    EXPECT_EQ(host.ioChanges, 1);
    EXPECT_EQ(host.display(param::kReportLatency), "on");
    EXPECT_EQ(host.effect->initialDelay, measuredDelay(host));
    EXPECT_EQ(host.effect->initialDelay, 128);

    disableLimiter(host);
    EXPECT_EQ(host.ioChanges, 2);
    EXPECT_EQ(host.effect->initialDelay, measuredDelay(host));
    EXPECT_EQ(host.effect->initialDelay, 0);

    host.set(param::kOutLimiter, discreteValue(3, 16));
    host.call(vst::effSetSampleRate, 0, 0, nullptr, 96000.0f);
    host.sampleRate = 96000.0;
    EXPECT_EQ(host.ioChanges, 4);
    EXPECT_EQ(host.effect->initialDelay, measuredDelay(host));
    EXPECT_EQ(host.effect->initialDelay, 256);

    // A change that leaves the delay alone is not announced.
    host.set(param::kOutLimiter, discreteValue(1, 16));
    EXPECT_EQ(host.ioChanges, 4);
    host.set(param::kReportLatency, 0.25f);
    EXPECT_EQ(host.effect->initialDelay, 0);
    EXPECT_EQ(host.ioChanges, 5);
}

TEST(PluginBinary, ParameterMemoryKeepsRealTypesOnly) {
    // A type switched away from and back gets its parameters back; a type
    // number without a module is empty and remembers nothing.
    PluginHost host;
    ASSERT_TRUE(host.open());
    const int delay = 8, unassigned = 40;
    host.set(param::kOpType1, discreteValue(delay, kNumTypeSteps));
    host.set(param::opParam(0, 2), 0.625f);
    host.set(param::kOpType1, discreteValue(unassigned, kNumTypeSteps));
    EXPECT_EQ(host.get(param::opParam(0, 2)), 0.0f);
    host.set(param::opParam(0, 2), 0.3f);
    host.set(param::kOpType1, discreteValue(delay, kNumTypeSteps));
    EXPECT_EQ(host.get(param::opParam(0, 2)), 0.625f);
    host.set(param::kOpType1, discreteValue(unassigned, kNumTypeSteps));
    EXPECT_EQ(host.get(param::opParam(0, 2)), 0.0f);
    std::vector<float> l(512, 0.2f), r(512, 0.2f);
    host.process(l, r);
    EXPECT_TRUE(allFinite(l));
}
