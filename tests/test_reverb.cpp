// Reverb2: decay times measured from impulse responses, the amount crossfade,
// the pre-delay, type changes, sample-rate independence, texts and the
// editor's conversions.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "ModuleHarness.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"
#include "modules/Rhythm.h"
#include "operators/Reverb2.h"

using namespace vh;
using namespace vh::test;

namespace {

constexpr int kAlgorithms[4] = {Reverb2::kCathedral, Reverb2::kRoom, Reverb2::kPlate, Reverb2::kHall};

float typeValue(int type) { return discreteValue(type, Reverb2::kNumTypeStates); }

std::unique_ptr<Reverb2> makeReverb(int type, float rate, float time = 0.5f, float damping = 0.0f,
                                    float amount = 1.0f) {
    auto rv = std::make_unique<Reverb2>(0, nullptr);
    rv->setParameter(Reverb2::kType, typeValue(type));
    rv->setParameter(Reverb2::kTime, time);
    rv->setParameter(Reverb2::kDamping, damping);
    rv->setParameter(Reverb2::kAmount, amount);
    rv->setSampleRate(rate);
    return rv;
}

// Lets the amount ramp settle on silence, then clears the reverberation, so
// responses start from a known state.
void settle(Reverb2& rv, int* tick) {
    StereoBuffer quiet(64);
    runOperator(rv, quiet, {}, tick);
    rv.clearState();
}

StereoBuffer impulseResponse(Reverb2& rv, double rate, double seconds) {
    int tick = 0;
    settle(rv, &tick);
    StereoBuffer s(static_cast<size_t>(rate * seconds));
    s.left[0] = s.right[0] = 1.0f;
    runOperator(rv, s, {}, &tick);
    return s;
}

// Reverberation time from the Schroeder energy decay curve of both channels:
// the fall from -5 to -25 dB, extrapolated to 60 dB (T20). The early part and
// the noise floor are left out, so the slope is that of the diffuse tail.
// With lowBand the response first passes two one-pole low-passes at 300 Hz:
// the networks' linear interpolation and the plate's line low-pass shorten
// the treble on purpose, and the time formulas describe the body of the tail.
double decaySeconds(const StereoBuffer& s, double rate, bool lowBand) {
    size_t n = s.size();
    std::vector<double> energy(n);
    double coefficient = 1.0 - std::exp(-2.0 * kPi * 300.0 / rate);
    double l1 = 0, l2 = 0, r1 = 0, r2 = 0;
    for (size_t i = 0; i < n; ++i) {
        double l = s.left[i], r = s.right[i];
        if (lowBand) {
            l1 += (l - l1) * coefficient;
            l2 += (l1 - l2) * coefficient;
            r1 += (r - r1) * coefficient;
            r2 += (r1 - r2) * coefficient;
            l = l2;
            r = r2;
        }
        energy[i] = l * l + r * r;
    }
    std::vector<double> edc(n + 1, 0.0);
    for (size_t i = n; i-- > 0;) edc[i] = edc[i + 1] + energy[i];
    if (edc[0] <= 0.0) return 0.0;
    auto crossing = [&](double db) {
        double limit = edc[0] * std::pow(10.0, db / 10.0);
        for (size_t i = 0; i < n; ++i)
            if (edc[i] <= limit) return double(i);
        return double(n);
    };
    return (crossing(-25.0) - crossing(-5.0)) / rate * 3.0;
}

// The room's combs lose the same at every frequency with damping 0, so their
// whole band is measured; the others in the low band (see above).
bool measuresLowBand(int type) { return type != Reverb2::kRoom; }

// The decay time each algorithm is built for with damping 0 (seconds).
//  - Room: comb loop gains give exactly the RT formula.
//  - Cathedral and hall: the line gain counts only the plain delay, but every
//    line also passes an allpass of a quarter of its length (mean group delay
//    a quarter), so the loop is 5/4 as long. The feedback matrix keeps every
//    mode but the common one, which it scales by 0.25: a pass loses 1/15 of
//    (1 - 0.25^2) of its energy on top, about 0.28 dB per mean loop.
//  - Plate: each line's feedback is scaled by 0.7 * c2 as well as by G, so a
//    pass of the mean line (about 9890 samples at 44.1 kHz) loses
//    20 log10(0.7 c2 G) dB.
double expectedDecay(int type, float time) {
    auto network = [](double rt, const double meanLength) {
        double loopSeconds = 1.25 * meanLength / 44100.0;
        double matrixDbPerPass = -10.0 * std::log10(1.0 - (1.0 - 0.0625) / 15.0);
        return 60.0 / (60.0 / (1.25 * rt) + matrixDbPerPass / loopSeconds);
    };
    switch (type) {
        case Reverb2::kCathedral: return network(Reverb2::cathedralSeconds(time), 2297.9);
        case Reverb2::kHall: return network(Reverb2::hallSeconds(time), 1415.7);
        case Reverb2::kRoom: return Reverb2::roomSeconds(time);
        default: {
            double c2 = std::pow(0.5, 0.01);  // damping 0
            double g = std::pow(10.0, -29766.0 / (Reverb2::plateSeconds(time) * 44100.0));
            double passSeconds = 9890.0 / 44100.0;
            return passSeconds * 60.0 / (-20.0 * std::log10(0.7 * c2 * g));
        }
    }
}

double measuredDecay(int type, double rate, float time, float damping = 0.0f) {
    auto rv = makeReverb(type, float(rate), time, damping);
    return decaySeconds(impulseResponse(*rv, rate, 1.5 * expectedDecay(type, time) + 0.3), rate,
                        measuresLowBand(type));
}

// Applies parameter changes at once, as a control tick would.
void applyNow(Reverb2& rv) {
    rv.resetModulation();
    rv.update();
}

}  // namespace

// ---------------------------------------------------------------------------
// Decay follows the time formula
// ---------------------------------------------------------------------------

class Reverb2Decay : public ::testing::TestWithParam<std::tuple<int, float>> {};

// Tolerance 15 %: the T20 of a single impulse response fluctuates by several
// per cent (the modal beating does not average out in one response), and the
// allpasses' group delay only equals a quarter length on average.
TEST_P(Reverb2Decay, FollowsTheTimeFormula) {
    auto [type, time] = GetParam();
    double expected = expectedDecay(type, time);
    double measured = measuredDecay(type, 44100.0, time);
    EXPECT_NEAR(measured / expected, 1.0, 0.15) << Reverb2::typeName(type) << " time " << time << ": measured "
                                                << measured << " s, expected " << expected << " s";
}

INSTANTIATE_TEST_SUITE_P(Networks, Reverb2Decay,
                         ::testing::Combine(::testing::Values(Reverb2::kCathedral, Reverb2::kRoom, Reverb2::kHall),
                                            ::testing::Values(0.0f, 0.5f, 1.0f)));
// At time 0 the plate loses 14 dB per pass: its T20 spans less than two
// passes and there is no diffuse tail to measure, so it starts at 0.25.
INSTANTIATE_TEST_SUITE_P(Plate, Reverb2Decay,
                         ::testing::Combine(::testing::Values(int(Reverb2::kPlate)),
                                            ::testing::Values(0.25f, 0.5f, 1.0f)));

TEST(Reverb2, HallAtHalfTimeDecaysInAboutOneAndAHalfSeconds) {
    EXPECT_NEAR(measuredDecay(Reverb2::kHall, 44100.0, 0.5f), 1.5, 0.15 * 1.5);
}

TEST(Reverb2, DampingDarkensTheTail) {
    // High-frequency share of the late tail: energy of the first difference
    // over the energy of the signal, from 0.8 s to 1.2 s (the plate's
    // undamped input diffuser rings through the first half second).
    auto brightness = [](int type, float damping) {
        auto rv = makeReverb(type, 44100.0f, 0.5f, damping);
        StereoBuffer s = impulseResponse(*rv, 44100.0, 1.2);
        double diff = 0.0, sig = 0.0;
        for (size_t i = 35280; i < s.size(); ++i) {
            double d = s.left[i] - s.left[i - 1];
            diff += d * d;
            sig += double(s.left[i]) * s.left[i];
        }
        return diff / sig;
    };
    for (int type : kAlgorithms) {
        double bright = brightness(type, 0.0f), dark = brightness(type, 1.0f);
        EXPECT_LT(dark, 0.5 * bright) << Reverb2::typeName(type);
        EXPECT_LT(brightness(type, 0.5f), bright) << Reverb2::typeName(type);
    }
}

// ---------------------------------------------------------------------------
// Amount crossfade
// ---------------------------------------------------------------------------

TEST(Reverb2, AmountZeroGivesThePreDelayedInput) {
    const int delay = 441;  // 10 ms
    for (int type : kAlgorithms) {
        auto rv = makeReverb(type, 44100.0f, 1.0f, 0.0f, 0.0f);
        rv->setParameter(Reverb2::kPreTime, 0.01f);
        rv->setSampleRate(44100.0f);
        int tick = 0;
        settle(*rv, &tick);
        std::vector<float> in = noise(8000);
        StereoBuffer s(in.size());
        s.left = in;
        for (size_t i = 0; i < in.size(); ++i) s.right[i] = -0.5f * in[i];
        runOperator(*rv, s, {}, &tick);
        double worst = 0.0;
        bool offsetSeen = false;
        for (size_t i = delay; i < in.size(); ++i) {
            double eL = s.left[i] - in[i - delay];
            double eR = s.right[i] + 0.5 * in[i - delay];
            worst = std::max({worst, std::fabs(eL), std::fabs(eR)});
            offsetSeen |= eL != 0.0;
        }
        for (size_t i = 0; i < size_t(delay); ++i) worst = std::max(worst, double(std::fabs(s.left[i])));
        if (type == Reverb2::kPlate) {
            EXPECT_LE(worst, 1.01e-8 + 1e-7 /* float rounding of d + o */);
            EXPECT_TRUE(offsetSeen);
        } else {
            EXPECT_EQ(worst, 0.0) << Reverb2::typeName(type);
        }
    }
}

TEST(Reverb2, AmountOneRemovesTheDrySignal) {
    // Networks: an impulse does not come out at once (the shortest path is a
    // loop or a tap away), so with no dry part the first samples are silent.
    for (int type : {Reverb2::kCathedral, Reverb2::kHall, Reverb2::kRoom}) {
        auto rv = makeReverb(type, 44100.0f);
        StereoBuffer s = impulseResponse(*rv, 44100.0, 0.2);
        EXPECT_EQ(peak(s.left, 0, 20), 0.0) << Reverb2::typeName(type);
        EXPECT_GT(peak(s.left), 0.01) << Reverb2::typeName(type);
    }
    // Plate: its wet path passes a band-pass, which blocks DC; a DC input
    // therefore dies away at amount 1 and stays at amount 0.
    for (float amount : {0.0f, 1.0f}) {
        auto rv = makeReverb(Reverb2::kPlate, 44100.0f, 0.0f, 0.0f, amount);
        StereoBuffer s(44100 * 3);
        std::fill(s.left.begin(), s.left.end(), 1.0f);
        s.right = s.left;
        runOperator(*rv, s);
        double level = rms(s.left, s.size() - 4410);
        if (amount == 0.0f)
            EXPECT_NEAR(level, 1.0, 1e-6);
        else
            EXPECT_LT(level, 1e-3);
    }
}

// ---------------------------------------------------------------------------
// Pre-delay
// ---------------------------------------------------------------------------

TEST(Reverb2, PreDelayInTimeAndTempoMode) {
    auto firstSample = [](Reverb2& rv) {
        StereoBuffer s = impulseResponse(rv, 44100.0, 1.2);
        for (size_t i = 0; i < s.size(); ++i)
            if (s.left[i] != 0.0f) return long(i);
        return -1L;
    };
    auto dry = makeReverb(Reverb2::kHall, 44100.0f, 0.5f, 0.0f, 0.0f);
    EXPECT_EQ(firstSample(*dry), 0);  // pretime 0: no delay of the dry path
    dry->setParameter(Reverb2::kPreTime, 0.25f);
    applyNow(*dry);
    EXPECT_EQ(firstSample(*dry), 11025);

    dry->setParameter(Reverb2::kPreMode, 0.75f);  // tempo
    dry->setParameter(Reverb2::kPreTime, discreteValue(rhythmItemOfName("1/4"), kNumRhythmItems));
    dry->setTempo(120.0f);
    applyNow(*dry);
    EXPECT_EQ(dry->preDelaySamples(), 22050);  // a quarter at 120 bpm: 0.5 s
    EXPECT_EQ(firstSample(*dry), 22050);

    dry->setParameter(Reverb2::kPreTime, discreteValue(rhythmItemOfName("1/1"), kNumRhythmItems));
    applyNow(*dry);
    EXPECT_EQ(dry->preDelaySamples(), 44100);  // 2 s capped at 1 s
    EXPECT_EQ(firstSample(*dry), 44100);

    EXPECT_FLOAT_EQ(Reverb2::preDelaySeconds(discreteValue(5, 30), true, 60.0f), 1.0f);
    EXPECT_FLOAT_EQ(Reverb2::preDelaySeconds(discreteValue(7, 30), true, 120.0f), 0.125f);
    dry->setTempo(0.0f);  // a host without tempo must not break the pre-delay
    EXPECT_EQ(dry->tempo(), 120.0f);
}

// ---------------------------------------------------------------------------
// Type changes
// ---------------------------------------------------------------------------

TEST(Reverb2, TypeChangeClearsEveryTail) {
    for (int from : kAlgorithms)
        for (int to : {0, 1, 2, 3, 7}) {
            if (from == to) continue;
            auto rv = makeReverb(from, 44100.0f, 1.0f);
            int tick = 0;
            StereoBuffer s(8820);
            s.left[0] = s.right[0] = 1.0f;
            runOperator(*rv, s, {}, &tick);
            ASSERT_GT(peak(s.left, 4410), 1e-4) << "tail of " << Reverb2::typeName(from) << " alive";
            rv->setParameter(Reverb2::kType, typeValue(to));
            StereoBuffer change(32);
            runOperator(*rv, change, {}, &tick);  // the next control tick applies the type
            EXPECT_EQ(rv->currentType(), to);
            StereoBuffer after(22050);
            runOperator(*rv, after, {}, &tick);
            // Only the plate's anti-denormal offset may remain.
            EXPECT_LT(peak(after.left), 1e-7) << Reverb2::typeName(from) << " -> " << Reverb2::typeName(to);
            EXPECT_LT(peak(after.right), 1e-7) << Reverb2::typeName(from) << " -> " << Reverb2::typeName(to);
            // And back: the first algorithm's old tail does not return either.
            rv->setParameter(Reverb2::kType, typeValue(from));
            StereoBuffer changeBack(32), afterBack(22050);
            runOperator(*rv, changeBack, {}, &tick);
            runOperator(*rv, afterBack, {}, &tick);
            EXPECT_LT(peak(afterBack.left), 1e-7) << Reverb2::typeName(to) << " -> " << Reverb2::typeName(from);
        }
}

TEST(Reverb2, ReverbWithoutSampleRatePassesTheInput) {
    Reverb2 rv(0, nullptr);  // buffers come with setSampleRate only
    StereoBuffer s(100);
    s.left = noise(100);
    s.right = noise(100, 1.0, 5);
    StereoBuffer in = s;
    runOperator(rv, s);
    EXPECT_EQ(s.left, in.left);
    EXPECT_EQ(s.right, in.right);
}

TEST(Reverb2, TypeElevenBuildsTheReverb) {
    char name[kTextSize];
    createOperator(kOpReverb, 0, nullptr)->getTypeName(name);
    EXPECT_STREQ(name, "REVERB");
}

TEST(Reverb2, StatesWithoutAlgorithmPassTheInputUnchanged) {
    auto rv = makeReverb(9, 44100.0f);
    rv->setParameter(Reverb2::kPreTime, 0.1f);
    applyNow(*rv);
    StereoBuffer s(1000);
    s.left = noise(1000);
    s.right = noise(1000, 1.0, 7);
    StereoBuffer in = s;
    runOperator(*rv, s);
    EXPECT_EQ(s.left, in.left);
    EXPECT_EQ(s.right, in.right);
}

// ---------------------------------------------------------------------------
// Sample rates
// ---------------------------------------------------------------------------

class Reverb2Rates : public ::testing::TestWithParam<std::tuple<int, float>> {};

// Every supported rate keeps the decay of 44.1 kHz within 12 %; this covers
// the rates where the network's integer scale would be 0 (below 44.1 kHz),
// the room above 50 kHz and the plate from 200 kHz, whose delays would no
// longer fit its buffers.
TEST_P(Reverb2Rates, DecayMatches44k) {
    auto [type, rate] = GetParam();
    float time = type == Reverb2::kCathedral ? 0.1f : 0.5f;
    double reference = measuredDecay(type, 44100.0, time);
    auto rv = makeReverb(type, rate, time);
    StereoBuffer s = impulseResponse(*rv, rate, 1.5 * expectedDecay(type, time) + 0.3);
    ASSERT_TRUE(allFinite(s.left) && allFinite(s.right));
    double measured = decaySeconds(s, rate, measuresLowBand(type));
    EXPECT_NEAR(measured / reference, 1.0, 0.12) << Reverb2::typeName(type) << " at " << rate << " Hz: " << measured
                                                 << " s against " << reference << " s";
}

INSTANTIATE_TEST_SUITE_P(AllRates, Reverb2Rates,
                         ::testing::Combine(::testing::Values(Reverb2::kCathedral, Reverb2::kRoom, Reverb2::kPlate,
                                                              Reverb2::kHall),
                                            ::testing::Values(8000.0f, 22050.0f, 48000.0f, 96000.0f, 200000.0f,
                                                              384000.0f)));

TEST(Reverb2, NetworksKeepTheirTimingBelow44k) {
    // The first reflection arrives after the same time at 22.05 kHz as at
    // 44.1 kHz: the lines shrink with the rate instead of vanishing.
    auto firstArrival = [](int type, float rate) {
        auto rv = makeReverb(type, rate);
        StereoBuffer s = impulseResponse(*rv, rate, 0.2);
        for (size_t i = 0; i < s.size(); ++i)
            if (std::fabs(s.left[i]) > 1e-6f) return double(i) / rate;
        return -1.0;
    };
    for (int type : {Reverb2::kCathedral, Reverb2::kHall, Reverb2::kRoom}) {
        double at44 = firstArrival(type, 44100.0f);
        ASSERT_GT(at44, 0.0);
        // 5 % plus two samples of rounding of the shortened lengths.
        EXPECT_NEAR(firstArrival(type, 22050.0f), at44, 0.05 * at44 + 2.0 / 22050.0) << Reverb2::typeName(type);
        EXPECT_NEAR(firstArrival(type, 8000.0f), at44, 0.05 * at44 + 2.0 / 8000.0) << Reverb2::typeName(type);
        // Room above 50 kHz: the combs scale with the rate like the others
        // (88.2 kHz is the next whole multiple, so 96 kHz runs 8 % short).
        EXPECT_NEAR(firstArrival(type, 96000.0f), at44, 0.1 * at44) << Reverb2::typeName(type);
    }
}

TEST(Reverb2, PlateBuffersHoldTheLinesAtEveryRate) {
    for (float rate : {44100.0f, 96000.0f, 199999.0f, 200000.0f, 384000.0f}) {
        int size = Reverb2::plateMask(rate) + 1;
        EXPECT_EQ(size & (size - 1), 0);
        // Longest line: c * K * 0.5 with the largest K.
        double longest = rate * 44.1 * 5.0 / 1.4450247e9 * 3295698.3066 * 0.5;
        EXPECT_LT(longest, size) << rate;
    }
}

// ---------------------------------------------------------------------------
// Robustness
// ---------------------------------------------------------------------------

// Maximal time, minimal damping, +20 dBFS noise. Ten minutes for the plate
// (the cheapest), one minute for the others (six decay times of the
// cathedral, more than forty of the room) to keep the suite fast.
TEST(Reverb2, LongNoiseStaysFiniteAndBounded) {
    constexpr double kAmplitude = 10.0;
    for (int type : kAlgorithms) {
        auto rv = makeReverb(type, 44100.0f, 1.0f, 0.0f);
        int seconds = type == Reverb2::kPlate ? 600 : 60;
        int tick = 0;
        double firstPeak = 0.0, lastPeak = 0.0;
        bool finite = true;
        StereoBuffer s(44100);
        for (int sec = 0; sec < seconds; ++sec) {
            s.left = noise(s.size(), kAmplitude, 2 * sec + 1);
            s.right = noise(s.size(), kAmplitude, 2 * sec + 2);
            runOperator(*rv, s, {}, &tick);
            finite &= allFinite(s.left) && allFinite(s.right);
            double p = std::max(peak(s.left), peak(s.right));
            if (sec < seconds / 2)
                firstPeak = std::max(firstPeak, p);
            else
                lastPeak = std::max(lastPeak, p);
        }
        EXPECT_TRUE(finite) << Reverb2::typeName(type);
        // No slow build-up, and the level stays within a few times the input's
        // (about 2.5 times here, from the densest of the four).
        EXPECT_LT(lastPeak, 1.5 * firstPeak) << Reverb2::typeName(type);
        EXPECT_LT(lastPeak, 5.0 * kAmplitude) << Reverb2::typeName(type);
    }
}

TEST(Reverb2, ExtremesGiveNoNaN) {
    for (float rate : {8000.0f, 44100.0f, 384000.0f})
        for (int type : {0, 1, 2, 3, 15})
            for (float time : {0.0f, 1.0f})
                for (float damping : {0.0f, 1.0f}) {
                    auto rv = makeReverb(type, rate, time, damping);
                    StereoBuffer s(8192);
                    s.left = noise(s.size(), 10.0);
                    s.right = noise(s.size(), 10.0, 2);
                    // Modulation past both ends, clamped as the engine does.
                    runOperator(*rv, s, {{Reverb2::kAmount, 0.6f, -0.6f}, {Reverb2::kTime, 2.0f, -2.0f}});
                    EXPECT_TRUE(allFinite(s.left) && allFinite(s.right)) << type << " " << rate;
                }
}

// Short times and strong damping used to push the room's comb low-pass
// coefficient to 0, freezing each comb on its last value: the reverb fell
// silent and kept a constant offset.
TEST(Reverb2, RoomDampingDoesNotFreezeTheCombs) {
    auto rv = makeReverb(Reverb2::kRoom, 44100.0f, 0.0f, 1.0f);
    StereoBuffer s = impulseResponse(*rv, 44100.0, 3.0);
    EXPECT_GT(peak(s.left, 0, 44100), 1e-4);                        // reverberates
    EXPECT_LT(std::fabs(s.left.back()), 1e-4 * peak(s.left, 0, 44100));  // and dies away
}

// ---------------------------------------------------------------------------
// Parameters, texts and editor conversions
// ---------------------------------------------------------------------------

TEST(Reverb2, ParametersAndHostTexts) {
    Reverb2 rv(1, nullptr);
    char text[kTextSize];
    const char* names[] = {"time", "damping", "amount", "type", "premode", "pretime"};
    for (int i = 0; i < 6; ++i) {
        rv.getParameterName(i, text);
        EXPECT_STREQ(text, names[i]);
        rv.getParameterLabel(i, text);
        EXPECT_STREQ(text, "");
        EXPECT_EQ(rv.isModulatable(i), i < 3);
    }
    rv.getParameterName(6, text);
    EXPECT_STREQ(text, "---");
    rv.getParameterDisplay(6, text);
    EXPECT_STREQ(text, "---");
    rv.getTypeName(text);
    EXPECT_STREQ(text, "REVERB");
    EXPECT_EQ(rv.getNumParameters(), 6);
    EXPECT_FLOAT_EQ(rv.getParameterDefault(0), 0.5f);
    EXPECT_FLOAT_EQ(rv.getParameterDefault(1), 0.5f);
    EXPECT_FLOAT_EQ(rv.getParameterDefault(2), 1.0f);
    EXPECT_FLOAT_EQ(rv.getParameterDefault(3), 3.5f / 16.0f);
    EXPECT_FLOAT_EQ(rv.getParameterDefault(4), 0.25f);
    EXPECT_FLOAT_EQ(rv.getParameterDefault(5), 0.0f);
    EXPECT_EQ(rv.currentType(), Reverb2::kHall);

    rv.setParameter(0, 0.456f);
    rv.getParameterDisplay(0, text);
    EXPECT_STREQ(text, "46");
    const char* types[] = {"cathedral", "room", "plate", "hall", "off"};
    for (int i = 0; i < 5; ++i) {
        rv.setParameter(3, typeValue(i));
        rv.getParameterDisplay(3, text);
        EXPECT_STREQ(text, types[i]);
    }
    rv.setParameter(4, 0.25f);
    rv.getParameterDisplay(4, text);
    EXPECT_STREQ(text, "time");
    rv.setParameter(5, 0.1234f);
    rv.getParameterDisplay(5, text);
    EXPECT_STREQ(text, "123");
    rv.setParameter(4, 0.75f);
    rv.getParameterDisplay(4, text);
    EXPECT_STREQ(text, "tempo");
    rv.setParameter(5, discreteValue(rhythmItemOfName("3/16"), 30));
    rv.getParameterDisplay(5, text);
    EXPECT_STREQ(text, "0.19");
}

TEST(Reverb2, EditorConversions) {
    Reverb2 rv(0, nullptr);
    char text[kTextSize];
    float v = -1.0f;
    rv.getParameterTitle(3, text);
    EXPECT_STREQ(text, "algorithm");
    for (int i = 0; i < 3; ++i) {
        rv.formatEditorValue(i, 0.1234f, text, 0);
        EXPECT_STREQ(text, "12.3 %");
        ASSERT_TRUE(rv.parseEditorValue(i, "42.5", v, 0));
        EXPECT_FLOAT_EQ(v, 0.425f);
        ASSERT_TRUE(rv.parseEditorValue(i, "150", v, 0));
        EXPECT_FLOAT_EQ(v, 1.0f);
        ASSERT_TRUE(rv.parseEditorValue(i, "-3", v, 0));
        EXPECT_FLOAT_EQ(v, 0.0f);
    }
    rv.formatEditorValue(5, 0.25f, text, 0);
    EXPECT_STREQ(text, "250ms");
    rv.formatEditorValue(5, discreteValue(5, 30), text, 1);
    EXPECT_STREQ(text, "1/4");
    ASSERT_TRUE(rv.parseEditorValue(5, "120", v, 0));
    EXPECT_FLOAT_EQ(v, 0.12f);
    ASSERT_TRUE(rv.parseEditorValue(5, "5000", v, 0));
    EXPECT_FLOAT_EQ(v, 1.0f);
    ASSERT_TRUE(rv.parseEditorValue(5, "3/8", v, 1));
    EXPECT_FLOAT_EQ(v, discreteValue(rhythmItemOfName("3/8"), 30));
    ASSERT_TRUE(rv.parseEditorValue(5, "1/4T", v, 1));  // no such item: "1/1"
    EXPECT_FLOAT_EQ(v, discreteValue(3, 30));
    ASSERT_TRUE(rv.parseEditorValue(3, "Plate", v, 0));
    EXPECT_EQ(discreteIndex(v, 16), Reverb2::kPlate);
    EXPECT_FALSE(rv.parseEditorValue(3, "spring", v, 0));
    ASSERT_TRUE(rv.parseEditorValue(4, "tempo", v, 0));
    EXPECT_EQ(discreteIndex(v, 2), 1);
    EXPECT_FALSE(rv.parseEditorValue(6, "1", v, 0));
}

TEST(Reverb2, PreModeSwitchConvertsPretime) {
    RecordingHost host;
    Reverb2 rv(2, &host);
    const int premode = param::opParam(2, 4), pretime = premode + 1;
    rv.setTempo(100.0f);

    // time -> tempo: 0.3 s at 100 bpm is nearest to "1/8" (0.3 s exactly).
    rv.setParameter(5, 0.3f);
    rv.valueChanged(4, 0.75f);
    ASSERT_EQ(host.edits.size(), 2u);
    EXPECT_EQ(host.edits[0].index, premode);
    EXPECT_FLOAT_EQ(host.edits[0].value, 0.75f);
    EXPECT_EQ(host.edits[1].index, pretime);
    EXPECT_FLOAT_EQ(host.edits[1].value, discreteValue(rhythmItemOfName("1/8"), 30));

    // tempo -> time: "3/8" at 100 bpm is 0.9 s; "1/1" (2.4 s) caps at 1.
    host.edits.clear();
    rv.setParameter(4, 0.75f);
    rv.setParameter(5, discreteValue(rhythmItemOfName("3/8"), 30));
    rv.valueChanged(4, 0.25f);
    ASSERT_EQ(host.edits.size(), 2u);
    EXPECT_EQ(host.edits[1].index, pretime);
    EXPECT_NEAR(host.edits[1].value, 0.9f, 1e-6);
    host.edits.clear();
    rv.setParameter(5, discreteValue(3, 30));
    rv.valueChanged(4, 0.1f);
    ASSERT_EQ(host.edits.size(), 2u);
    EXPECT_FLOAT_EQ(host.edits[1].value, 1.0f);

    // Same mode again, or another control: no conversion.
    host.edits.clear();
    rv.valueChanged(4, 0.9f);
    rv.valueChanged(0, 0.3f);
    ASSERT_EQ(host.edits.size(), 2u);
    EXPECT_EQ(host.edits[1].index, 16 + 32);
}
