// What every process call owes the host, whatever it passes: no memory of
// the host's read after the call that owns it, every output buffer written
// with finite audio, missing inputs read as silence.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "PluginHost.h"
#include "modules/ParameterLayout.h"
#include "modules/Conversions.h"
#include "tests/ModuleHarness.h"

namespace vh::test {
namespace {

constexpr int kSourceNoteOn = 141;
constexpr int kDestOp1Atten = 3;

// A host whose note-on opens operator 1's gain, so a stray event shows.
void routeNoteOnToGain(PluginHost& host) {
    host.set(param::opParam(0, 0), 0.0f);
    host.set(param::kSlotSource1, discreteValue(kSourceNoteOn, kNumSources));
    host.set(param::kSlotDest1, discreteValue(kDestOp1Atten, kNumDestinations));
    host.set(param::kSlotSens1, 1.0f);
}

// An event list on the heap, as hosts build them per block.
struct HeapEventList {
    std::vector<vst::VstMidiEvent> events;
    std::unique_ptr<unsigned char[]> bytes;
    explicit HeapEventList(std::initializer_list<std::array<int, 4>> messages) {
        for (auto m : messages) {
            vst::VstMidiEvent e{};
            e.type = vst::kVstMidiType;
            e.byteSize = sizeof(e);
            e.deltaFrames = m[0];
            for (int b = 0; b < 3; ++b) e.midiData[b] = static_cast<char>(m[b + 1]);
            events.push_back(e);
        }
        bytes.reset(new unsigned char[sizeof(vst::VstEvents) + sizeof(void*) * events.size()]());
        auto* list = reinterpret_cast<vst::VstEvents*>(bytes.get());
        list->numEvents = static_cast<int32_t>(events.size());
        for (size_t i = 0; i < events.size(); ++i) list->events[i] = reinterpret_cast<vst::VstEvent*>(&events[i]);
    }
    vst::VstEvents* list() { return reinterpret_cast<vst::VstEvents*>(bytes.get()); }
    // What a host that reuses its memory leaves behind.
    void scribble() {
        for (auto& e : events) std::memset(&e, 0xEE, sizeof(e));
        list()->numEvents = 0x7EEEEEEE;
    }
};

template <typename Sample>
void processOnce(PluginHost& host, Sample** in, Sample** out, int frames) {
    if constexpr (std::is_same_v<Sample, float>)
        host.effect->processReplacing(host.effect, in, out, frames);
    else
        host.effect->processDoubleReplacing(host.effect, in, out, frames);
}

template <typename Sample>
std::vector<float> render(PluginHost& host, int frames, float level = 0.5f) {
    std::vector<Sample> l(frames, level), r(frames, level), ol(frames), orr(frames);
    Sample* in[4] = {l.data(), r.data(), l.data(), r.data()};
    Sample* out[2] = {ol.data(), orr.data()};
    processOnce(host, in, out, frames);
    return std::vector<float>(ol.begin(), ol.end());
}

template <typename Sample>
void eventsHandedBeforeAnEmptyCallAreForgotten() {
    PluginHost reference, host;
    ASSERT_TRUE(reference.open() && host.open());
    for (PluginHost* h : {&reference, &host}) routeNoteOnToGain(*h);
    render<Sample>(reference, 64);
    render<Sample>(host, 64);
    {
        // The host hands a note-on, then asks for nothing, then frees and
        // reuses the list's memory before the next real block.
        HeapEventList events({{{0, 0x90, 60, 100}}, {{5, 0x90, 61, 100}}});
        host.call(vst::effProcessEvents, 0, 0, events.list());
        Sample* none[4] = {nullptr, nullptr, nullptr, nullptr};
        processOnce<Sample>(host, none, none, 0);
        events.scribble();
    }
    // Nothing of the list applies later: the output is the reference's.
    EXPECT_EQ(render<Sample>(host, 256), render<Sample>(reference, 256));
}

TEST(ProcessContract, EventsHandedBeforeAnEmptyCallAreForgotten) {
    eventsHandedBeforeAnEmptyCallAreForgotten<float>();
    eventsHandedBeforeAnEmptyCallAreForgotten<double>();
}

TEST(ProcessContract, EventsOutliveTheHostsList) {
    // The list is freed right after it is handed over: the block that follows
    // still plays the note it carried.
    PluginHost host;
    ASSERT_TRUE(host.open());
    host.set(param::kOutLimiter, 0.5f / 16.0f);
    routeNoteOnToGain(host);
    {
        HeapEventList events({{{0, 0x90, 60, 100}}});
        host.call(vst::effProcessEvents, 0, 0, events.list());
        events.scribble();
    }
    auto out = render<float>(host, 2048);
    EXPECT_NEAR(out.back(), 0.5f, 1e-4f);
}

TEST(ProcessContract, CallsWithoutBuffersRunLikeCallsOnSilence) {
    // A call without buffers still counts its samples, plays its events and
    // reads the transport: what follows is what a call on silence gives.
    PluginHost reference, host;
    ASSERT_TRUE(reference.open() && host.open());
    for (PluginHost* h : {&reference, &host}) routeNoteOnToGain(*h);
    HeapEventList hostEvents({{{0, 0x90, 60, 100}}, {{70, 0x90, 62, 100}}});
    HeapEventList referenceEvents({{{0, 0x90, 60, 100}}, {{70, 0x90, 62, 100}}});
    host.call(vst::effProcessEvents, 0, 0, hostEvents.list());
    reference.call(vst::effProcessEvents, 0, 0, referenceEvents.list());
    host.effect->processReplacing(host.effect, nullptr, nullptr, 64);
    host.effect->processReplacing(host.effect, nullptr, nullptr, -7);
    std::vector<float> silenceL(64, 0.0f), silenceR(64, 0.0f);
    float* in[4] = {silenceL.data(), silenceR.data(), nullptr, nullptr};
    float* out[2] = {nullptr, nullptr};
    reference.effect->processReplacing(reference.effect, in, out, 64);
    EXPECT_EQ(render<float>(host, 512), render<float>(reference, 512));
}

// Every combination of missing main input, disconnected or missing outputs
// and in-place buffers: each output buffer the host passes comes back
// finite, holding the channel the routing gives it.
TEST(ProcessContract, EveryOutputBufferIsWritten) {
    const int n = 600;
    auto signalL = noise(n, 0.3, 3), signalR = noise(n, 0.3, 4);
    for (int variant = 0; variant < 16; ++variant) {
        const bool nullMainIn = variant & 1, out1Disconnected = variant & 2, inPlace = variant & 4,
                   nullOut0 = variant & 8;
        SCOPED_TRACE(variant);
        PluginHost host;
        ASSERT_TRUE(host.open());
        host.set(param::kOutLimiter, 0.5f / 16.0f);
        host.connectedOutputs = out1Disconnected ? 1 : 2;

        std::vector<float> inL = signalL, inR = signalR;
        std::vector<float> outL(n, NAN), outR(n, NAN);
        float* ins[4] = {nullMainIn ? nullptr : inL.data(), inR.data(), nullptr, nullptr};
        float* o0 = inPlace ? inL.data() : outL.data();
        float* o1 = inPlace ? inR.data() : outR.data();
        if (inPlace && nullMainIn) std::fill(inL.begin(), inL.end(), NAN);  // an output only
        float* outs[2] = {nullOut0 ? nullptr : o0, o1};
        host.effect->processReplacing(host.effect, ins, outs, n);

        std::vector<float> got1(o1, o1 + n);
        EXPECT_TRUE(allFinite(got1));
        if (!nullOut0) {
            std::vector<float> got0(o0, o0 + n);
            EXPECT_TRUE(allFinite(got0));
            // Output 0 carries the right channel when output 1 is not
            // connected; output 1 always carries it.
            if (out1Disconnected) {
                EXPECT_EQ(got0, got1);
            } else if (nullMainIn) {
                EXPECT_EQ(peak(got0), 0.0) << "a missing main input is silence";
            }
        }
    }
}

}  // namespace
}  // namespace vh::test

namespace vh::test {
namespace {

// Impulses, sudden steps and bursts far above full scale: with the limiter on
// nothing leaves above 1.0, at the edges of every lookahead band and in every
// mode, and the steady part of a step still settles at full scale.
TEST(OutputLimiter, NothingLeavesAboveFullScale) {
    for (float rate : {44100.0f, 79999.0f, 96000.0f, 169999.0f, 192000.0f, 384000.0f}) {
        for (int mode : {1, 2, 3}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, mode " << mode);
            PluginHost host;
            ASSERT_TRUE(host.open(rate));
            host.set(param::kOutLimiter, (mode + 0.5f) / 16.0f);
            const size_t n = static_cast<size_t>(rate * 0.25);
            std::vector<float> s(n, 0.0f);
            s[100] = 1.01f;                                   // a lone peak just above 1
            s[2000] = -3.0f;                                  // and a loud one
            for (size_t i = n / 4; i < n / 2; ++i) s[i] = 4.0f;  // a sudden step
            auto burst = noise(n / 4, 8.0, 7);                // a burst of loud noise
            std::copy(burst.begin(), burst.end(), s.begin() + 3 * n / 4);
            // Power off passes the input at unity gain into the limiter.
            host.set(param::kPower, 0.0f);
            host.set(param::kDryDly, 0.0f);
            std::vector<float> l = s, r = s;
            for (size_t i = 0; i < n; ++i) r[i] *= 0.5f;
            host.process(l, r, 256);
            EXPECT_LE(peak(l), 1.0);
            EXPECT_LE(peak(r), 1.0);
            EXPECT_NEAR(l[n / 2 - 1], 1.0f, 1e-3f) << "a held step settles at full scale";
        }
    }
}

}  // namespace
}  // namespace vh::test
