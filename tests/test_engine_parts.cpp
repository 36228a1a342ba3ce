// The routing matrix, the modulation slots and the main section on their own,
// driven the way the audio loop drives them: values set, a control tick
// (begin, modulation, end), then per-sample steps.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "engine/MainSection.h"
#include "engine/MidiState.h"
#include "engine/ModulationSlots.h"
#include "engine/RoutingMatrix.h"
#include "modules/Conversions.h"
#include "modules/ParameterLayout.h"
#include "platform/FpuState.h"

using namespace vh;

namespace {

// The audio thread runs with flush-to-zero and rounding toward zero, which
// turns the ±1e-18 flush of an increment into a one-step loss; ramps and
// smoothing must still land on their targets there, so those tests run in
// both modes.
class FpuModes : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) mMode.emplace();
    }
    void TearDown() override { mMode.reset(); }

private:
    std::optional<ScopedFlushToZero> mMode;
};

// Computed at run time, in the mode the test runs in, as the code under test
// computes it (a constant would be folded at compile time to nearest).
float square(float v) {
    volatile float x = v;
    return x * x;
}
float fourSquared(float v) {
    volatile float x = v;
    return 4.0f * x * x;
}

std::string modeName(const ::testing::TestParamInfo<bool>& info) { return info.param ? "AudioThread" : "Default"; }

void tick(RoutingMatrix& matrix) {
    matrix.beginTick();
    matrix.endTick();
}

// What reaches the wet sum, sample by sample, from an impulse at the input
// when the four operators pass their inputs straight through.
std::vector<float> impulseThrough(const RoutingMatrix& matrix, int samples) {
    std::vector<float> wet;
    Vec4 lastL, lastR;
    for (int n = 0; n < samples; ++n) {
        float x = n == 0 ? 1.0f : 0.0f;
        Vec4 inL, inR;
        matrix.operatorInputs(x, x, lastL, lastR, inL, inR);
        float wetL, wetR;
        matrix.wetSums(inL, inR, wetL, wetR);
        EXPECT_EQ(wetL, wetR);
        wet.push_back(wetL);
        lastL = inL;
        lastR = inR;
    }
    return wet;
}

}  // namespace

TEST(RoutingMatrix, DefaultIsSerialChainWithOneSampleLinks) {
    RoutingMatrix matrix;
    tick(matrix);
    matrix.settle();
    // Input to OP1 has no delay, OP1->OP2->OP3->OP4 three links of one sample.
    std::vector<float> expected(8, 0.0f);
    expected[3] = 1.0f;
    EXPECT_EQ(impulseThrough(matrix, 8), expected);
}

TEST(RoutingMatrix, OperatorInputsAndWetSumsMatchScalarSums) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), signal(-1.0f, 1.0f);
    for (int trial = 0; trial < 200; ++trial) {
        RoutingMatrix matrix;
        for (int e = 0; e < kNumRoutingGains; ++e) matrix.setValue(e, unit(random));
        tick(matrix);
        matrix.settle();
        float x[2] = {signal(random), signal(random)};
        float last[2][4], out[2][4];
        for (auto* a : {&last, &out})
            for (auto& channel : *a)
                for (float& v : channel) v = signal(random) * (trial % 2 ? 1e6f : 1.0f);
        Vec4 in[2];
        matrix.operatorInputs(x[0], x[1], Vec4::load(last[0]), Vec4::load(last[1]), in[0], in[1]);
        float wet[2];
        matrix.wetSums(Vec4::load(out[0]), Vec4::load(out[1]), wet[0], wet[1]);
        for (int c = 0; c < 2; ++c) {
            float sum = 0.0f;
            for (int op = 0; op < kNumOperatorSlots; ++op) {
                double ref = double(matrix.gain(c, op)) * x[c];
                double scale = std::abs(ref);
                for (int from = 0; from < kNumOperatorSlots; ++from) {
                    ref += double(matrix.gain(c, routingLink(from, op))) * last[c][from];
                    scale += std::abs(double(last[c][from]));
                }
                EXPECT_NEAR(in[c][op], ref, 1e-6 * (scale + 1.0));
                sum += matrix.gain(c, kRoutingOut + op) * out[c][op];
            }
            // Bit for bit: in operator order, as a scalar loop adds them, whatever
        // the vector width.
            EXPECT_EQ(wet[c], sum) << "trial " << trial << " channel " << c;
        }
    }
}

class RoutingRamps : public FpuModes {};

TEST_P(RoutingRamps, GainRampsToSquareOverOneTickThenStands) {
    RoutingMatrix matrix;
    tick(matrix);
    matrix.settle();
    const int down = kRoutingOut + 3, up = routingLink(1, 3);
    matrix.setValue(down, 0.5f);
    matrix.setValue(up, 0.7f);
    tick(matrix);
    ASSERT_TRUE(matrix.ramping());
    for (int n = 1; n <= kControlTick; ++n) {
        matrix.advance();
        // Linear: n/32 of the way, within a few float steps.
        EXPECT_NEAR(matrix.gain(0, down), 1.0f - 0.75f * n / kControlTick, 1e-6f);
        EXPECT_NEAR(matrix.gain(1, up), 0.49f * n / kControlTick, 1e-6f);
        EXPECT_EQ(matrix.gain(0, 0), 1.0f);  // standing entries do not drift
        EXPECT_EQ(matrix.gain(1, routingLink(0, 1)), 1.0f);
    }
    // A ramp may end a hair short; the next tick lands it on the target.
    tick(matrix);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(matrix.gain(c, down), 0.25f);
        EXPECT_EQ(matrix.gain(c, up), square(0.7f));
    }
    EXPECT_FALSE(matrix.ramping());
    for (int n = 0; n < kControlTick; ++n) matrix.advance();
    EXPECT_EQ(matrix.gain(0, down), 0.25f);
}

TEST_P(RoutingRamps, SettleJumpsToTargets) {
    RoutingMatrix matrix;
    tick(matrix);
    matrix.settle();
    matrix.setValue(0, 0.3f);
    tick(matrix);
    matrix.settle();
    EXPECT_FALSE(matrix.ramping());
    EXPECT_EQ(matrix.gain(0, 0), square(0.3f));
    EXPECT_EQ(matrix.gain(1, 0), square(0.3f));
}

INSTANTIATE_TEST_SUITE_P(RoutingMatrix, RoutingRamps, ::testing::Bool(), modeName);

TEST(RoutingMatrix, ModulationIsClampedPerChannelBeforeSquaring) {
    RoutingMatrix matrix;
    const int a = routingLink(2, 3), b = kRoutingOut;
    matrix.setValue(a, 0.5f);
    matrix.setValue(b, 0.5f);
    matrix.beginTick();
    matrix.addModulation(a, 0.25f, -0.25f);
    matrix.addModulation(b, -0.9f, 0.8f);  // squaring -0.4 would give 0.16
    matrix.clampModulation(a);
    matrix.clampModulation(b);
    matrix.endTick();
    matrix.settle();
    EXPECT_FLOAT_EQ(matrix.gain(0, a), 0.5625f);
    EXPECT_FLOAT_EQ(matrix.gain(1, a), 0.0625f);
    EXPECT_EQ(matrix.gain(0, b), 0.0f);
    EXPECT_FLOAT_EQ(matrix.gain(1, b), 1.0f);
    // The next tick starts again from the values.
    tick(matrix);
    matrix.settle();
    EXPECT_EQ(matrix.gain(0, b), 0.25f);
    EXPECT_EQ(matrix.gain(1, b), 0.25f);
}

namespace {

float sourceValue(int s) { return discreteValue(s, kNumSources); }
float destinationValue(int d) { return discreteValue(d, kNumDestinations); }

void aim(ModulationSlots& slots, int slot, int source, int destination, float sensitivity) {
    slots.setSource(slot, sourceValue(source));
    slots.setDestination(slot, destinationValue(destination));
    slots.setSensitivity(slot, sensitivity);
}

// What one tick hands the destinations, in the order it does so.
struct TickRecord {
    struct Call {
        bool clamp;
        int d;
        float left, right;
    };
    std::vector<Call> calls;

    static TickRecord of(ModulationSlots& slots) {
        TickRecord record;
        slots.tick([&](int d, float l, float r) { record.calls.push_back({false, d, l, r}); },
                   [&](int d) { record.calls.push_back({true, d, 0.0f, 0.0f}); });
        return record;
    }
    // The amounts added to d this tick (0 when none).
    std::pair<float, float> added(int d) const {
        std::pair<float, float> sum{0.0f, 0.0f};
        for (const Call& c : calls)
            if (!c.clamp && c.d == d) sum.first += c.left, sum.second += c.right;
        return sum;
    }
    float addedLeft(int d) const { return added(d).first; }
};

struct SlotsFixture {
    ModulationSlots slots;
    MidiState midi;
    float modL[kNumModulatorSlots] = {}, modR[kNumModulatorSlots] = {};

    // As after a suspend: the sensitivities as set act from the first tick.
    void start() {
        slots.reset();
        slots.resolveSources(modL, modR, midi);
    }
};

}  // namespace

TEST(ModulationSlots, SensitivityScalesKnobSourceFromMinusOneToPlusOne) {
    SlotsFixture f;
    f.slots.setKnob(0, 0.8f);
    aim(f.slots, 0, kSourceKnob1, kDestMainInput, 1.0f);
    aim(f.slots, 1, kSourceKnob1, kDestMainMix, 0.5f);
    aim(f.slots, 2, kSourceKnob1, kDestMainOutput, 0.0f);
    aim(f.slots, 3, kSourceKnob1, kDestInToOp, 0.75f);
    f.start();
    TickRecord r = TickRecord::of(f.slots);
    EXPECT_EQ(r.added(kDestMainInput), std::make_pair(0.8f, 0.8f));
    EXPECT_EQ(r.addedLeft(kDestMainMix), 0.0f);
    EXPECT_EQ(r.added(kDestMainOutput), std::make_pair(-0.8f, -0.8f));
    EXPECT_EQ(r.addedLeft(kDestInToOp), 0.4f);
}

TEST(ModulationSlots, ModulatorSourceKeepsItsChannels) {
    SlotsFixture f;
    f.modL[2] = 0.3f;
    f.modR[2] = 0.6f;
    aim(f.slots, 5, kSourceMod1 + 2, destOpParam(1, 4), 0.0f);
    f.start();
    EXPECT_EQ(TickRecord::of(f.slots).added(destOpParam(1, 4)), std::make_pair(-0.3f, -0.6f));
    // Resolved once per block, the source is read where it lies at each tick.
    f.modL[2] = 0.1f;
    EXPECT_EQ(TickRecord::of(f.slots).addedLeft(destOpParam(1, 4)), -0.1f);
}

TEST(ModulationSlots, StatusBitTurnsItsSlotOff) {
    SlotsFixture f;
    f.slots.setKnob(0, 0.25f);
    aim(f.slots, 0, kSourceKnob1, kDestOpToOut, 1.0f);
    aim(f.slots, 9, kSourceKnob1, kDestOpToOut, 1.0f);
    f.start();
    EXPECT_EQ(TickRecord::of(f.slots).addedLeft(kDestOpToOut), 0.5f);
    f.slots.setStatus(discreteValue(1 << 9, 1 << kNumModSlots));
    EXPECT_EQ(TickRecord::of(f.slots).addedLeft(kDestOpToOut), 0.25f);
    f.slots.setStatus(discreteValue((1 << kNumModSlots) - 1, 1 << kNumModSlots));
    EXPECT_EQ(TickRecord::of(f.slots).addedLeft(kDestOpToOut), 0.0f);
}

TEST(ModulationSlots, SlotAimedAtSensitivityActsFromNextTick) {
    SlotsFixture f;
    f.slots.setKnob(0, 1.0f);
    f.slots.setKnob(1, 0.5f);
    aim(f.slots, 0, kSourceKnob1, kDestSens + 1, 0.0f);  // takes slot 1 from +1 to -1 (clamped to 0)
    aim(f.slots, 1, kSourceKnob1 + 1, kDestMainInput, 1.0f);
    f.start();
    TickRecord first = TickRecord::of(f.slots);
    EXPECT_EQ(first.addedLeft(kDestMainInput), 0.5f);
    for (const auto& c : first.calls) EXPECT_LT(c.d, kDestSens) << "a sensitivity is no outside destination";
    EXPECT_EQ(TickRecord::of(f.slots).addedLeft(kDestMainInput), -0.5f);
    // Turned off, the modulating slot still acts for one more tick.
    f.slots.setStatus(discreteValue(1, 1 << kNumModSlots));
    EXPECT_EQ(TickRecord::of(f.slots).addedLeft(kDestMainInput), -0.5f);
    EXPECT_EQ(TickRecord::of(f.slots).addedLeft(kDestMainInput), 0.5f);
}

TEST(ModulationSlots, ClampsEveryHitDestinationAfterAllAdds) {
    SlotsFixture f;
    f.slots.setKnob(0, 0.5f);
    aim(f.slots, 0, kSourceKnob1, destOpParam(1, 2), 1.0f);
    aim(f.slots, 7, kSourceKnob1, kDestInToOp + 2, 1.0f);
    aim(f.slots, 15, kSourceKnob1, destOpParam(1, 2), 1.0f);
    aim(f.slots, 4, kSourceNone, destModParam(3, 37), 1.0f);
    f.start();
    TickRecord r = TickRecord::of(f.slots);
    auto firstClamp = std::find_if(r.calls.begin(), r.calls.end(), [](const auto& c) { return c.clamp; });
    EXPECT_TRUE(std::none_of(firstClamp, r.calls.end(), [](const auto& c) { return !c.clamp; }));
    std::set<int> added, clamped;
    for (const auto& c : r.calls) (c.clamp ? clamped : added).insert(c.d);
    EXPECT_EQ(clamped, added);
    EXPECT_EQ(added, (std::set<int>{destOpParam(1, 2), kDestInToOp + 2, destModParam(3, 37)}));
    EXPECT_EQ(r.addedLeft(destOpParam(1, 2)), 1.0f);
    EXPECT_EQ(r.addedLeft(destModParam(3, 37)), 0.0f);  // no source reads 0
}

TEST(ModulationSlots, ClearDestinationsAnswersAndEmptiesSlotsInRange) {
    SlotsFixture f;
    f.slots.setKnob(0, 1.0f);
    aim(f.slots, 0, kSourceKnob1, destOpParam(2, 0), 1.0f);
    aim(f.slots, 1, kSourceKnob1, destOpParam(1, kOperatorParams - 1), 1.0f);
    aim(f.slots, 2, kSourceKnob1, destOpParam(3, 0), 1.0f);
    aim(f.slots, 3, kSourceKnob1, destOpParam(2, kOperatorParams - 1), 1.0f);
    aim(f.slots, 5, kSourceKnob1, destOpParam(2, 7), 1.0f);
    unsigned cleared = f.slots.clearDestinations(destOpParam(2, 0), destOpParam(2, kOperatorParams - 1));
    EXPECT_EQ(cleared, 0b101001u);
    for (int k : {0, 3, 5}) {
        EXPECT_EQ(f.slots.destination(k), kDestinationNone);
        EXPECT_EQ(f.slots.destinationValue(k), destinationValue(kDestinationNone));
    }
    EXPECT_EQ(f.slots.destination(1), destOpParam(1, kOperatorParams - 1));
    EXPECT_EQ(f.slots.destination(2), destOpParam(3, 0));
    f.start();
    std::set<int> hit;
    for (const auto& c : TickRecord::of(f.slots).calls) hit.insert(c.d);
    EXPECT_EQ(hit, (std::set<int>{destOpParam(1, kOperatorParams - 1), destOpParam(3, 0)}));
}

TEST(ModulationSlots, MidiSourcesReadCurrentMidiState) {
    SlotsFixture f;
    aim(f.slots, 0, kSourceCc0 + 7, kDestMainInput, 1.0f);
    aim(f.slots, 1, kSourceNoteOn + 1, kDestMainMix, 1.0f);    // note number
    aim(f.slots, 2, kSourceNoteOn + 4, kDestMainOutput, 1.0f);  // velocity
    aim(f.slots, 3, kSourceCc0 + 128, kDestInToOp, 1.0f);      // no message reaches it
    f.start();
    f.midi.setController(7, 0.6f);
    f.midi.setController(127, 1.0f);
    const unsigned char noteOn[3] = {0x92, 60, 127};
    int controller, value;
    f.midi.apply(noteOn, controller, value);
    TickRecord r = TickRecord::of(f.slots);
    EXPECT_EQ(r.added(kDestMainInput), std::make_pair(0.6f, 0.6f));
    EXPECT_EQ(r.addedLeft(kDestMainMix), 60 / 127.0f);
    EXPECT_EQ(r.addedLeft(kDestMainOutput), 1.0f);
    EXPECT_EQ(r.addedLeft(kDestInToOp), 0.0f);
}

class KnobSmoothing : public FpuModes {};

TEST_P(KnobSmoothing, KnobSourceFollowsSmoothedKnobAndLandsExactly) {
    constexpr float kRate = 44100.0f;
    SlotsFixture f;
    f.slots.setKnob(3, 0.8f);
    aim(f.slots, 0, kSourceKnob1 + 3, kDestMainInput, 1.0f);
    f.start();
    ASSERT_TRUE(f.slots.knobsSettled());
    f.slots.setKnob(3, 0.2f);
    EXPECT_FALSE(f.slots.knobsSettled());
    const float coefficient = controlSmoothingCoefficient(kRate);
    float previous = 0.8f;
    int samples = 0;
    while (!f.slots.knobsSettled() && samples < kRate) {
        f.slots.smoothKnobs(coefficient);
        ++samples;
        float now = TickRecord::of(f.slots).addedLeft(kDestMainInput);
        ASSERT_LE(now, previous);
        ASSERT_GE(now, 0.2f);
        previous = now;
        // 30 Hz: 1 - 1/e of the way after one time constant.
        if (samples == static_cast<int>(kRate / (2.0f * 3.14159265f * 30.0f) + 0.5f)) {
            EXPECT_NEAR(now, 0.8f - 0.6f * 0.6321f, 0.005f);
        }
    }
    EXPECT_TRUE(f.slots.knobsSettled());
    EXPECT_GT(samples, 1000);
    EXPECT_EQ(TickRecord::of(f.slots).addedLeft(kDestMainInput), 0.2f);
}

INSTANTIATE_TEST_SUITE_P(ModulationSlots, KnobSmoothing, ::testing::Bool(), modeName);

namespace {

void tick(MainSection& main) {
    main.beginTick();
    main.endTick();
    main.noteRamping();
}

// After a suspend at rate with Input, Mix and Output as given.
void start(MainSection& main, float rate, float input, float mix, float output) {
    main.setSampleRate(rate);
    main.setControl(MainSection::kInput, input);
    main.setControl(MainSection::kMix, mix);
    main.setControl(MainSection::kOutput, output);
    main.reset();
    tick(main);
    main.settle();
    main.noteRamping();
}

float mixed(MainSection& main, float dry, float wet) {
    float yL, yR;
    main.mix(dry, dry, wet, wet, yL, yR);
    EXPECT_EQ(yL, yR);
    return yL;
}

}  // namespace

TEST(MainSection, InputAndOutputAtHalfAreUnityGain) {
    MainSection main;
    start(main, 44100.0f, 0.5f, 1.0f, 0.5f);
    EXPECT_EQ(main.inputGain(0), 1.0f);
    EXPECT_EQ(main.inputGain(1), 1.0f);
    EXPECT_EQ(mixed(main, 0.9f, -0.37f), -0.37f);  // all wet, unchanged
    start(main, 44100.0f, 1.0f, 1.0f, 0.5f);
    EXPECT_EQ(main.inputGain(0), 4.0f);  // +12 dB
}

TEST(MainSection, ModulationIsClampedPerChannelBeforeGain) {
    MainSection main;
    start(main, 44100.0f, 0.5f, 1.0f, 0.5f);
    auto modulateInput = [&main](float left, float right) {
        main.beginTick();
        main.addModulation(MainSection::kInput, left, right);
        main.clampModulation(MainSection::kInput);
        main.endTick();
        main.settle();
    };
    modulateInput(0.25f, -0.25f);
    EXPECT_EQ(main.inputGain(0), 2.25f);
    EXPECT_EQ(main.inputGain(1), 0.25f);
    modulateInput(0.8f, -0.8f);
    EXPECT_FLOAT_EQ(main.inputGain(0), 4.0f);
    EXPECT_EQ(main.inputGain(1), 0.0f);
}

TEST(MainSection, DryDelayLengthPerRate) {
    struct Case {
        float rate;
        int longest;
    };
    for (Case c : {Case{44100.0f, 8192}, Case{79999.0f, 8192}, Case{80000.0f, 16384}, Case{96000.0f, 16384},
                   Case{169999.0f, 16384}, Case{170000.0f, 32768}, Case{192000.0f, 32768}}) {
        SCOPED_TRACE(c.rate);
        EXPECT_EQ(MainSection::dryDelayLength(0.0f, c.rate), 0);
        EXPECT_EQ(MainSection::dryDelayLength(1.0f, c.rate), c.longest);
        EXPECT_EQ(MainSection::dryDelayLength(0.5f, c.rate), 16384 / (32768 / c.longest));
        EXPECT_EQ(MainSection::dryDelayLength(2.0f, c.rate), c.longest);
        EXPECT_EQ(MainSection::dryDelayLength(-1.0f, c.rate), 0);
    }
}

// A typed length is stored as dryDelayValue gives it and shown as
// dryDelayLength reads it: every length comes back as typed, at every rate
// (32769 steps share at most 32768 samples).
TEST(MainSection, TypedDryDelayComesBackUnchanged) {
    for (float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        const int longest = MainSection::dryDelayLength(1.0f, rate);
        for (int d = 0; d <= longest; ++d)
            ASSERT_EQ(MainSection::dryDelayLength(MainSection::dryDelayValue(d, rate), rate), d) << rate << " Hz";
        EXPECT_EQ(MainSection::dryDelayLength(MainSection::dryDelayValue(longest + 5, rate), rate), longest);
        EXPECT_EQ(MainSection::dryDelayLength(MainSection::dryDelayValue(-3, rate), rate), 0);
    }
}

class DryDelay : public ::testing::TestWithParam<std::pair<float, int>> {};

TEST_P(DryDelay, MixZeroGivesDryInputDelayedByExactlyDryLength) {
    const auto [rate, length] = GetParam();
    const int longest = MainSection::dryDelayLength(1.0f, rate);
    MainSection main;
    main.setSampleRate(rate);
    main.setDryDelay((length + 0.5f) / longest);
    ASSERT_EQ(main.dryLength(), length);
    start(main, rate, 0.5f, 0.0f, 0.5f);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> input;
    for (int n = 0; n < length + 300; ++n) {
        input.push_back(noise(random));
        float y = mixed(main, input.back(), noise(random));
        ASSERT_EQ(y, n >= length ? input[n - length] : 0.0f) << "sample " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(MainSection, DryDelay,
                         ::testing::Values(std::make_pair(44100.0f, 0), std::make_pair(44100.0f, 1),
                                           std::make_pair(48000.0f, 441), std::make_pair(44100.0f, 8192),
                                           std::make_pair(96000.0f, 16384), std::make_pair(192000.0f, 32768)));

class MainRamps : public FpuModes {};

TEST_P(MainRamps, PowerOffRampsToUnityDryOnlyAndBack) {
    MainSection main;
    start(main, 44100.0f, 0.3f, 0.6f, 0.7f);
    const float inputOn = fourSquared(0.3f);
    EXPECT_EQ(main.inputGain(0), inputOn);
    main.setPower(discreteValue(0, 2));
    EXPECT_FALSE(main.on());
    tick(main);
    main.advance();
    EXPECT_NEAR(main.inputGain(0), inputOn + (1.0f - inputOn) / kControlTick, 1e-6f);
    for (int n = 1; n < kControlTick; ++n) main.advance();
    EXPECT_NEAR(main.inputGain(1), 1.0f, 1e-6f);
    tick(main);
    EXPECT_EQ(main.inputGain(0), 1.0f);
    EXPECT_EQ(main.inputGain(1), 1.0f);
    // A ramp towards 0 leaves a residue a few orders smaller each tick until
    // it reaches 0 itself; within a few ticks the wet signal is gone entirely.
    EXPECT_NEAR(mixed(main, 0.3f, 0.9f), 0.3f, 1e-5f);
    for (int t = 0; t < 6; ++t) {
        for (int n = 0; n < kControlTick; ++n) main.advance();
        tick(main);
    }
    EXPECT_EQ(mixed(main, 0.3f, 0.9f), 0.3f);
    for (int n = 0; n < kControlTick; ++n) main.advance();
    EXPECT_EQ(main.inputGain(0), 1.0f);  // standing ramps stay put

    main.setPower(discreteValue(1, 2));
    for (int t = 0; t < 2; ++t) {
        tick(main);
        for (int n = 0; n < kControlTick; ++n) main.advance();
    }
    tick(main);
    EXPECT_EQ(main.inputGain(0), inputOn);
    const float mix = 0.6f, output = 4.0f * 0.7f * 0.7f;
    EXPECT_FLOAT_EQ(mixed(main, 0.25f, -0.5f), (0.25f * (1.0f - mix) - 0.5f * mix) * output);
}

TEST_P(MainRamps, SmoothedControlsLandExactlyOnTheirValues) {
    constexpr float kRate = 48000.0f;
    MainSection main;
    start(main, kRate, 0.5f, 1.0f, 0.5f);
    ASSERT_TRUE(main.controlsSettled());
    main.setControl(MainSection::kInput, 0.9f);
    main.setControl(MainSection::kMix, 0.2f);
    main.setControl(MainSection::kOutput, 0.1f);
    int samples = 0;
    while (!main.controlsSettled() && samples < kRate) {
        main.smoothControls();
        ++samples;
    }
    EXPECT_TRUE(main.controlsSettled());
    EXPECT_GT(samples, 1000);  // smoothed, not stepped
    tick(main);
    main.settle();
    EXPECT_EQ(main.inputGain(0), fourSquared(0.9f));
    EXPECT_FLOAT_EQ(mixed(main, 1.0f, 0.0f), 0.8f * 4.0f * 0.1f * 0.1f);
}

INSTANTIATE_TEST_SUITE_P(MainSection, MainRamps, ::testing::Bool(), modeName);
