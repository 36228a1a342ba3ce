// The factory library held to the preset rules by the audit (every preset
// safe, and a patch of its own), the audit shown to catch the faults it is
// for, and the literal templates of bank 3 measured against their names.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "PluginHost.h"
#include "engine/FactoryPresets.h"
#include "modules/ParameterLayout.h"
#include "engine/Plugin.h"
#include "tools/Audit.h"
#include "modules/MathConstants.h"

using vh::test::PluginHost;

namespace {


// The sanitiser build runs the same checks at fewer other rates. The signals
// keep their lengths: the rules judge levels and clipping over the whole
// signal, and the designed presets are tuned against these lengths.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitised = true;
#else
constexpr bool kSanitised = false;
#endif

vhtool::AuditOptions testOptions() {
    vhtool::AuditOptions options;
    options.demoSeconds = 1.0;
    options.noiseSeconds = 0.75;
    options.impulseSeconds = 1.5;
    options.otherRateSeconds = 0.15;
    if (kSanitised) {
        options.otherRates = {22050.0, 192000.0};
    }
    return options;
}

// The whole library, audited once for every test that reads it.
const std::vector<vhtool::PresetAudit>& library() {
    static const std::vector<vhtool::PresetAudit> audits = [] {
        PluginHost host;
        EXPECT_TRUE(host.open(44100.0f));
        return vhtool::auditLibrary(host.effect, -1, testOptions());
    }();
    return audits;
}

void selectPreset(PluginHost& host, int bank, int preset) {
    int32_t selection[2] = {bank, preset};
    ASSERT_EQ(host.call(vst::effVendorSpecific, vh::kVendorCommand, vh::kVendorSelectPreset, selection), 1);
}

int presetNamed(PluginHost& host, int bank, const std::string& name) {
    for (int p = 0; p < vh::kPresetsPerBank; ++p) {
        vh::VendorPresetName entry{bank, p, {}};
        host.call(vst::effVendorSpecific, vh::kVendorCommand, vh::kVendorGetPresetName, &entry);
        if (name == entry.name) return p;
    }
    return -1;
}

// A bank whose presets all still hold the "[flat]" values has not been
// designed yet; the other banks' presets must each sound like themselves.
bool bankDesigned(int bank) {
    auto banks = std::make_unique<vh::PresetBank[]>(vh::kNumBanks);
    vh::buildFactoryBanks(banks.get(), nullptr);
    const float* flat = banks[0].presets[0].values;
    for (int p = 0; p < vh::kPresetsPerBank; ++p)
        if (!(bank == 0 && p == 0) && std::memcmp(banks[bank].presets[p].values, flat, sizeof(vh::PresetRecord::values)) != 0)
            return true;
    return false;
}

struct Stereo {
    std::vector<float> left, right;
};

Stereo sine(double hz, double seconds, double amplitude = 0.25, double rate = 44100.0) {
    Stereo s;
    s.left.resize(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < s.left.size(); ++i) s.left[i] = static_cast<float>(amplitude * std::sin(2 * vh::kPi * hz * i / rate));
    s.right = s.left;
    return s;
}

double rms(const std::vector<float>& x, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; ++i) sum += double(x[i]) * x[i];
    return std::sqrt(sum / double(std::max<size_t>(1, to - from)));
}

double db(double ratio) { return 20.0 * std::log10(ratio + 1e-12); }

// Gain in dB of a preset for a steady sine, measured over the last half
// second once filters and envelopes have settled.
double sineGainDb(PluginHost& host, double hz, double rate = 44100.0) {
    Stereo s = sine(hz, 1.5, 0.25, rate);
    const double in = rms(s.left, 0, s.left.size());
    host.call(vst::effMainsChanged, 0, 0);
    host.call(vst::effMainsChanged, 0, 1);
    host.process(s.left, s.right);
    const size_t tail = static_cast<size_t>(0.5 * rate);
    return db(0.5 * (rms(s.left, s.left.size() - tail, s.left.size()) + rms(s.right, s.right.size() - tail, s.right.size())) / in);
}

// Magnitude of one frequency in a signal (Goertzel).
double magnitudeAt(const std::vector<float>& x, size_t from, double hz, double rate) {
    const double w = 2 * vh::kPi * hz / rate, c = 2 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = from; i < x.size(); ++i) {
        const double s0 = x[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2)) / double(x.size() - from);
}

class Bank3Template : public ::testing::Test {
protected:
    void open(const std::string& name, float rate = 44100.0f) {
        ASSERT_TRUE(host.open(rate));
        const int preset = presetNamed(host, 2, name);
        ASSERT_GE(preset, 0) << name;
        selectPreset(host, 2, preset);
    }
    PluginHost host;
};

}  // namespace

// One pass over the library: every preset keeps the safety rules, and every
// preset of a designed bank sounds unlike "[flat]".
TEST(PresetAudit, EveryFactoryPresetKeepsTheRules) {
    const auto& audits = library();
    ASSERT_EQ(audits.size(), 3u * vh::kPresetsPerBank);
    bool designed[vh::kNumBanks];
    for (int b = 0; b < vh::kNumBanks; ++b) designed[b] = bankDesigned(b);
    for (const auto& a : audits) {
        EXPECT_TRUE(a.violations.empty()) << vhtool::auditLine(a);
        if (designed[a.bank] && !a.reference) {
            EXPECT_TRUE(a.differsFromFlat) << vhtool::auditLine(a);
        }
    }
}

class DesignedBank : public ::testing::TestWithParam<int> {};

// Every knob a designed preset names moves the sound: turned from where the
// preset keeps it to the far end, it changes what the demo phrase comes out as.
TEST_P(DesignedBank, EveryNamedKnobChangesTheSound) {
    const int bank = GetParam();
    if (!bankDesigned(bank)) {
        GTEST_SKIP() << "bank " << bank + 1 << " still holds only copies of [flat]";
    }
    auto banks = std::make_unique<vh::PresetBank[]>(vh::kNumBanks);
    vh::buildFactoryBanks(banks.get(), nullptr);
    PluginHost host;
    ASSERT_TRUE(host.open(44100.0f));
    // Long enough for a second echo of a dotted-eighth delay.
    const vhtool::Audio demo = vhtool::demoPhrase(44100.0, 2.0);
    auto renderWithKnob = [&](int preset, int knob, float value) {
        selectPreset(host, bank, preset);
        if (knob >= 0) host.set(vh::param::kKnob1 + knob, value);
        host.call(vst::effMainsChanged, 0, 0);
        host.call(vst::effMainsChanged, 0, 1);
        // The side-chain carries the phrase too, so keyed patches have a key.
        Stereo s{demo.channels[0], demo.channels[1]};
        host.process(s.left, s.right, 512, &demo.channels[0], &demo.channels[1]);
        return s;
    };
    for (int p = 0; p < vh::kPresetsPerBank; ++p) {
        const float* v = banks[bank].presets[p].values;
        const Stereo low = renderWithKnob(p, -1, 0.0f);  // as stored
        for (int k = 0; k < vh::kNumKnobs; ++k) {
            const int first = vh::discreteIndex(v[vh::param::kKnobNames + vh::kKnobNameLength * k], 128);
            if (first == 0 || first == 'U') continue;  // unnamed or "UNUSED"
            // To the far end from where the preset keeps it.
            const float stored = v[vh::param::kKnob1 + k];
            const Stereo high = renderWithKnob(p, k, stored < 0.5f ? 1.0f : 0.0f);
            // The knob's value went into the stored preset: put it back for the next knob.
            host.set(vh::param::kKnob1 + k, stored);
            double difference = 0.0, energy = 0.0;
            for (size_t i = 0; i < low.left.size(); ++i) {
                difference += std::pow(double(low.left[i]) - high.left[i], 2) + std::pow(double(low.right[i]) - high.right[i], 2);
                energy += double(low.left[i]) * low.left[i] + double(high.left[i]) * high.left[i];
            }
            EXPECT_GT(10.0 * std::log10((difference + 1e-30) / (energy + 1e-30)), -40.0)
                << banks[bank].presets[p].name << " KNOB" << k + 1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FactoryBanks, DesignedBank, ::testing::Values(0, 1, 2));

// The audit must see the faults it exists for: a patch that is too loud, one
// that feeds back without bound, one that is "[flat]" under another name.
class AuditedPatch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.open(44100.0f));
        flat = vhtool::auditPreset(host.effect, 0, 0, testOptions());
        vhtool::judge(flat, flat);
    }
    // Preset 2:63 rewritten as "[flat]" plus `settings`; parameter writes go
    // into the current preset, so the audit's own selection applies them.
    vhtool::PresetAudit audit(std::initializer_list<std::pair<int, float>> settings) {
        using namespace vh::param;
        selectPreset(host, 2, 63);
        float values[kNumPresetValues];
        vh::neutralPresetValues(values);
        for (int i = 0; i < kNumPresetValues; ++i) host.set(i, values[i]);
        for (int s = 0; s < vh::kNumOperatorSlots; ++s) host.set(opParam(s, 0), 1.0f);  // GAIN at 0 dB
        for (auto [index, value] : settings) host.set(index, value);
        vhtool::PresetAudit a = vhtool::auditPreset(host.effect, 2, 63, testOptions());
        vhtool::judge(a, flat);
        return a;
    }
    static bool mentions(const vhtool::PresetAudit& a, const std::string& what) {
        for (const auto& v : a.violations)
            if (v.find(what) != std::string::npos) return true;
        return false;
    }
    PluginHost host;
    vhtool::PresetAudit flat;
};

TEST_F(AuditedPatch, FlatPassesAndACopyOfItDoesNot) {
    EXPECT_TRUE(flat.passes()) << vhtool::auditLine(flat);
    auto copy = audit({});
    EXPECT_TRUE(copy.violations.empty()) << vhtool::auditLine(copy);
    EXPECT_FALSE(copy.differsFromFlat);
    EXPECT_FALSE(copy.passes());
    EXPECT_NE(vhtool::auditLine(copy).find("sounds like [flat]"), std::string::npos);
}

TEST_F(AuditedPatch, TwelveDecibelsTooLoudFailsLevelAndClipping) {
    auto loud = audit({{vh::param::kOutput, 1.0f}});
    EXPECT_NEAR(loud.levelNoiseDb, 12.0, 0.5);
    EXPECT_TRUE(mentions(loud, "demo phrase level")) << vhtool::auditLine(loud);
    EXPECT_TRUE(mentions(loud, "pink noise level")) << vhtool::auditLine(loud);
    EXPECT_TRUE(mentions(loud, "clip")) << vhtool::auditLine(loud);
}

TEST_F(AuditedPatch, OperatorFeedingItselfAtUnityIsRunaway) {
    using namespace vh::param;
    // IN -> OP1 -> OUT with OP1 -> OP1 at 1: an integrator that never lets go.
    auto runaway = audit({{kOpToOp + 0, 1.0f}, {kOpToOp + 1, 0.0f}, {kOpToOut1, 1.0f}, {kOpToOut1 + 3, 0.0f}});
    EXPECT_TRUE(runaway.runaway) << vhtool::auditLine(runaway);
    EXPECT_TRUE(mentions(runaway, "does not decay")) << vhtool::auditLine(runaway);
    EXPECT_TRUE(mentions(runaway, "DC")) << vhtool::auditLine(runaway);
}

TEST_F(AuditedPatch, MeasuresABrightFilterAndAOneSidedImage) {
    using namespace vh::param;
    // OP1 an SVF high-pass at 2 kHz (freqA 0.6658, typeA HP): pink noise's
    // centroid moves up.
    auto bright = audit({{kOpType1, (2 + 0.5f) / 64}, {opParam(0, 0), 0.6658f}, {opParam(0, 2), 0.875f}});
    EXPECT_GT(bright.centroidShiftOct, 0.5) << vhtool::auditLine(bright);
    EXPECT_TRUE(bright.differsFromFlat);
    // OP1 a PANNER with both inputs hard left: side as strong as mid.
    auto wide = audit({{kOpType1, (14 + 0.5f) / 64}, {opParam(0, 0), 0.0f}, {opParam(0, 1), 0.0f}});
    EXPECT_GT(wide.width, 0.9) << vhtool::auditLine(wide);
}

class HumRemover : public Bank3Template, public ::testing::WithParamInterface<std::tuple<int, float>> {};

TEST_P(HumRemover, NotchesMainsAndItsHarmonicsAndLeavesOneKilohertz) {
    const auto [mains, rate] = GetParam();
    open("Hum Remover " + std::to_string(mains) + "Hz", rate);
    EXPECT_LT(sineGainDb(host, mains, rate), -30.0);
    for (int harmonic = 2; harmonic <= 4; ++harmonic) EXPECT_LT(sineGainDb(host, harmonic * mains, rate), -20.0) << harmonic;
    EXPECT_NEAR(sineGainDb(host, 1000.0, rate), 0.0, 0.5);
    EXPECT_NEAR(sineGainDb(host, 2.5 * mains, rate), 0.0, 3.0);  // between the notches
}

INSTANTIATE_TEST_SUITE_P(Mains, HumRemover,
                         ::testing::Combine(::testing::Values(50, 60), ::testing::Values(44100.0f, 96000.0f)));

TEST_F(Bank3Template, LowPassAttenuatesAboveItsCutoffAndSteepensWithSlope) {
    open("LP Filter 12/24dB LFO");
    const double pass = sineGainDb(host, 100.0);
    EXPECT_GT(pass, -3.0);
    const double stop12 = sineGainDb(host, 12000.0);
    EXPECT_LT(stop12 - pass, -24.0);
    host.set(vh::param::kKnob1 + 2, 1.0f);  // Slope: 24 dB per octave
    const double stop24 = sineGainDb(host, 12000.0);
    EXPECT_LT(stop24, stop12 - 15.0);
    EXPECT_GT(sineGainDb(host, 100.0), -3.0);
}

// Crest factor of the level envelope: the loudest 10 ms against the whole
// signal's RMS. A compressor without lookahead lets single samples of each
// attack through, so the sample peak is the wrong yardstick for it.
TEST_F(Bank3Template, CompressorLowersTheCrestFactor) {
    open("Compressor");
    vhtool::Audio demo = vhtool::demoPhrase(44100.0, 3.0);
    Stereo s{demo.channels[0], demo.channels[1]};
    auto crestDb = [](const Stereo& x) {
        const size_t window = 441, from = 4410;
        double loudest = 0.0;
        for (size_t pos = from; pos + window <= x.left.size(); pos += window)
            loudest = std::max({loudest, rms(x.left, pos, pos + window), rms(x.right, pos, pos + window)});
        return db(loudest / (0.5 * (rms(x.left, from, x.left.size()) + rms(x.right, from, x.right.size()))));
    };
    const double before = crestDb(s);
    host.process(s.left, s.right);
    EXPECT_LT(crestDb(s), before - 2.0);
}

TEST_F(Bank3Template, TremoloModulatesTheLevelAtItsSyncedRate) {
    open("Tremolo");
    const double seconds = 3.0;
    Stereo s = sine(1000.0, seconds);
    host.tempo = 120.0;  // one cycle per eighth note: 4 Hz
    host.process(s.left, s.right);
    // Level in 5 ms windows after the first half second.
    const size_t window = 220;
    std::vector<double> envelope;
    for (size_t pos = 22050; pos + window <= s.left.size(); pos += window) envelope.push_back(rms(s.left, pos, pos + window));
    const auto [low, high] = std::minmax_element(envelope.begin(), envelope.end());
    EXPECT_GT(db(*high / *low), 6.0);
    double mean = 0.0;
    for (double e : envelope) mean += e;
    mean /= envelope.size();
    int rises = 0;
    for (size_t i = 1; i < envelope.size(); ++i) rises += envelope[i - 1] < mean && envelope[i] >= mean;
    const double measuredHz = rises / (envelope.size() * window / 44100.0);
    EXPECT_NEAR(measuredHz, 4.0, 0.5);
}

TEST_F(Bank3Template, PitchShifterMovesASineByItsInterval) {
    open("Pitch Shifter");
    Stereo s = sine(440.0, 1.5);
    host.process(s.left, s.right);
    const size_t settle = 22050;
    // The strongest semitone step and, around it, the exact ratio.
    int best = -99;
    double bestMagnitude = 0.0;
    for (int step = -12; step <= 12; ++step) {
        const double m = magnitudeAt(s.left, settle, 440.0 * std::pow(2.0, step / 12.0), 44100.0);
        if (m > bestMagnitude) bestMagnitude = m, best = step;
    }
    EXPECT_EQ(best, 7);
    double peakHz = 0.0, peak = 0.0;
    for (double hz = 640.0; hz <= 680.0; hz += 0.25) {
        const double m = magnitudeAt(s.left, settle, hz, 44100.0);
        if (m > peak) peak = m, peakHz = hz;
    }
    EXPECT_NEAR(peakHz / 440.0, std::pow(2.0, 7.0 / 12.0), 0.003);
    EXPECT_GT(db(bestMagnitude / magnitudeAt(s.left, settle, 440.0, 44100.0)), 20.0);
}
