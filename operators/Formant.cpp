#include "operators/Formant.h"

#include <cmath>

#include "operators/EqMath.h"
#include "operators/PlotProbe.h"

namespace vh {

namespace {

struct Vowel {
    double freqHz[Formant::kNumFormants];
    double bandwidthHz[Formant::kNumFormants];
};

// First three formants and their bandwidths of five sung vowels.
const char* const kVowelNames[Formant::kNumVowels] = {"A", "E", "I", "O", "Y"};
constexpr Vowel kVowels[Formant::kNumVowels] = {
    {{700.0, 1220.0, 2600.0}, {130.0, 70.0, 160.0}},  // A
    {{530.0, 1680.0, 2500.0}, {60.0, 90.0, 200.0}},   // E
    {{310.0, 2020.0, 2960.0}, {45.0, 200.0, 400.0}},  // I
    {{600.0, 990.0, 2570.0}, {90.0, 100.0, 80.0}},    // O
    {{400.0, 1800.0, 2570.0}, {50.0, 100.0, 140.0}},  // Y
};

// The editor titles are the host names.
constexpr ParameterInfo vowel(const char* name) {
    return {.name = name, .title = name, .defaultValue = discreteValue(0, Formant::kNumVowels),
            .steps = Formant::kNumVowels, .hostItems = kVowelNames};
}
constexpr ParameterInfo kParameters[Formant::kNumParams] = {
    {.name = "morph", .title = "morph", .label = "%", .modulatable = true},
    vowel("vowelA"),
    vowel("vowelB"),
};

constexpr double kPi = 3.14159265358979323846;
constexpr double kFlush = 1e-30;  // keeps decaying resonators out of denormals

}  // namespace

Formant::Formant(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
    // Tunes every resonator to vowel "A" (morph 0) and snaps there.
    setSampleRate(44100.0f);
}

const char* Formant::vowelName(int vowel) { return kVowelNames[vowel]; }
double Formant::formantHz(int vowel, int k) { return kVowels[vowel].freqHz[k]; }
double Formant::bandwidthHz(int vowel, int k) { return kVowels[vowel].bandwidthHz[k]; }

// --- parameters -------------------------------------------------------------

void Formant::getParameterDisplay(int index, char* out) {
    if (index == kMorph)
        eq::morphRatioText(baseValue(kMorph), out);
    else
        Operator::getParameterDisplay(index, out);
}

void Formant::formatEditorValue(int index, float value, char* out, int mode) {
    if (index == kMorph)
        VH_TEXT(out, "%.1f", 100.0f * value);
    else
        Operator::formatEditorValue(index, value, out, mode);
}

bool Formant::parseEditorValue(int index, const char* text, float& value, int mode) {
    if (index == kMorph) return eq::parsePercentText(text, value);
    return Operator::parseEditorValue(index, text, value, mode);
}

// --- control rate -------------------------------------------------------------

void Formant::update() {
    int vowelA = vowelOf(mBase[kVowelA]);
    int vowelB = vowelOf(mBase[kVowelB]);
    mMorphL.aim(mModL[kMorph], mRampFactor);
    mMorphR.aim(mModR[kMorph], mRampFactor);
    const double morph[2] = {mModL[kMorph], mModR[kMorph]};
    for (int ch = 0; ch < 2; ++ch) {
        double m = morph[ch];
        for (int k = 0; k < kNumFormants; ++k) {
            // The frequency moves linearly between the vowels before the
            // cosine is taken (single precision is plenty for the tuning).
            float w = static_cast<float>((1.0 - m) * mOmega[vowelA][k] + m * mOmega[vowelB][k]);
            double cosW = static_cast<float>(std::cos(w));
            // Taken from the rounded cosine so that cos² + sin² = 1 holds in
            // double precision: the rotation then keeps exactly radius R.
            double sinW = std::sqrt(1.0 - cosW * cosW);
            double radius = (1.0 - m) * mRadius[vowelA][k] + m * mRadius[vowelB][k];
            Resonator& r = mChain[ch][k];
            r.cosW.aim(cosW, mRampFactor);
            r.sinW.aim(sinW, mRampFactor);
            r.cotW.aim(cosW / sinW, mRampFactor);  // every formant lies well inside 0 < w < π
            r.radius.aim(radius, mRampFactor);
        }
    }
}

// --- audio rate ---------------------------------------------------------------

void Formant::processSample(float* left, float* right) {
    mMorphL.current += mMorphL.increment;
    mMorphR.current += mMorphR.increment;
    double x[2] = {*left, *right};
    for (int ch = 0; ch < 2; ++ch) {
        for (Resonator& r : mChain[ch]) {
            double radius = r.radius.current += r.radius.increment;
            double cosW = r.cosW.current += r.cosW.increment;
            double sinW = r.sinW.current += r.sinW.increment;
            double cotW = r.cotW.current += r.cotW.increment;
            // 1 + a1 + a2: unity gain at DC.
            double gain = 1.0 - 2.0 * radius * cosW + radius * radius;
            double u = radius * (cosW * r.u - sinW * r.v) + x[ch];
            double v = radius * (sinW * r.u + cosW * r.v);
            r.u = (u + kFlush) - kFlush;
            r.v = (v + kFlush) - kFlush;
            x[ch] = gain * (u + cotW * v);
        }
    }
    // The flush again in single precision: the double flush leaves values
    // that would be denormal floats.
    *left = flushDenormal(static_cast<float>(x[0]));
    *right = flushDenormal(static_cast<float>(x[1]));
}

// --- reset and sample rate -------------------------------------------------------

void Formant::resetSmoothing() {
    mMorphL.snap();
    mMorphR.snap();
    for (auto& chain : mChain)
        for (Resonator& r : chain) {
            r.cosW.snap();
            r.sinW.snap();
            r.cotW.snap();
            r.radius.snap();
        }
}

void Formant::clearState() {
    for (auto& chain : mChain)
        for (Resonator& r : chain) r.u = r.v = 0.0;
    resetSmoothing();
}

void Formant::computeTables(double rate) {
    for (int v = 0; v < kNumVowels; ++v)
        for (int k = 0; k < kNumFormants; ++k) {
            mOmega[v][k] = 2.0 * kPi * kVowels[v].freqHz[k] / rate;
            mRadius[v][k] = std::exp(-kPi * kVowels[v].bandwidthHz[k] / rate);
        }
}

// The tables are rebuilt before the common set-up runs update, so the
// resonators are tuned for the new rate at once rather than one control
// period later.
void Formant::setSampleRate(float rate) {
    computeTables(rate);
    Operator::setSampleRate(rate);
}

// --- what the editor's plot shows --------------------------------------------

void Formant::responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const {
    plotprobe::magnitudesDb<Formant>(values, kMorph, false, mSampleRate, freqHz, count, outDb);
}

}  // namespace vh
