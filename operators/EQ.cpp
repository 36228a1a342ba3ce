#include "operators/EQ.h"

#include <cmath>
#include <initializer_list>

#include "operators/FastMath.h"
#include "operators/PlotProbe.h"

namespace vh {

namespace {

const char* const kBandTypeNames[EQ::kNumBandTypes] = {"LOWSHELF", "PEAKING", "HIGHSHELF"};

constexpr float kPi = 3.14159265f;
constexpr float kMinPeakingQ = 0.05f;
constexpr float kMaxPeakingQ = 20.0f;
constexpr float kMinShelfQ = 0.35355338f;  // 2^-1.5
constexpr float kMaxShelfQ = 1.4142135f;   // 2^0.5
constexpr float kMaxGainDb = 24.0f;
constexpr float kLog2Of20 = 4.3219281f;
constexpr float kLog2Of10Over80 = 0.041524101f;  // log2(10) / 80

// At half the sample rate tan(w/2) is infinite, and beyond it negative (an
// unstable filter). Knob settings beyond it, reachable below 40 kHz, sit at
// 0.49·fs instead.
constexpr float kMaxFrequencyRatio = 0.49f;
// Construction, until the host sets the rate: 20 kHz at 44.1 kHz, Q 1/√2.
constexpr double kInitialTanHalfW = 6.7987958;  // tan(π · 20000 / 44100)
constexpr float kInitialInverseQ = 1.4142135f;

// The editor titles are the host names.
constexpr ParameterInfo frequency(const char* name) {
    return {.name = name, .title = name, .label = "Hz", .defaultValue = 1.0f, .modulatable = true};
}
constexpr ParameterInfo bandQ(const char* name, int type) {
    return {.name = name, .title = name, .modulatable = true, .textSwitch = type};
}
constexpr ParameterInfo bandType(const char* name) {
    return {.name = name, .title = name, .defaultValue = discreteValue(EQ::kLowShelf, EQ::kNumBandTypes),
            .steps = EQ::kNumBandTypes, .hostItems = kBandTypeNames};
}
constexpr ParameterInfo gain(const char* name) {
    return {.name = name, .title = name, .label = "dB", .defaultValue = 0.5f, .modulatable = true,
            .text = linearText(-kMaxGainDb, kMaxGainDb, "%.1f", "%.0fdB")};
}

constexpr ParameterInfo kParameters[EQ::kNumParams] = {
    frequency("freqA"), bandQ("qA", EQ::kTypeA), bandType("typeA"),
    frequency("freqB"), bandQ("qB", EQ::kTypeB), bandType("typeB"),
    {.name = "morph", .title = "morph", .label = "%", .modulatable = true},
    gain("gainA"), gain("gainB"),
};

}  // namespace

EQ::EQ(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
    mTanHalfW = Vec4(static_cast<float>(kInitialTanHalfW));
    mInverseQ = Vec4(kInitialInverseQ);
    mSqrtA = Vec4(1.0f);
    const int lowShelves[4] = {kLowShelf, kLowShelf, kLowShelf, kLowShelf};
    setTargets(coefficientsOf(lowShelves, mTanHalfW, mInverseQ, mSqrtA));
    resetSmoothing();
    mWeight.current = mWeight.target = Vec4(0.0f, 0.0f, 1.0f, 1.0f);  // morph 0: band A only
}

// --- parameters -------------------------------------------------------------

int EQ::typeParamOf(int index) const { return index == kQA ? kTypeA : kTypeB; }

float EQ::qOf(float v, int bandType) {
    if (bandType == kPeaking) return std::exp2(kLog2Of20 * (2.0f * v - 1.0f));  // 20^(2v - 1)
    return std::exp2(2.0f * v - 1.5f);
}

float EQ::valueOfQ(double q, int bandType) {
    if (bandType == kPeaking) {
        q = q < kMinPeakingQ ? kMinPeakingQ : q > kMaxPeakingQ ? kMaxPeakingQ : q;
        return static_cast<float>((std::log(q) / std::log(20.0) + 1.0) * 0.5);
    }
    q = q < kMinShelfQ ? kMinShelfQ : q > kMaxShelfQ ? kMaxShelfQ : q;
    return static_cast<float>((std::log2(q) + 1.5) * 0.5);
}

Vec4 EQ::filterFrequencyHz(Vec4 v, float sampleRate) {
    Vec4 hz = Vec4(eq::kMinFreqHz) * fastExp2(Vec4(eq::kFreqOctaves) * v);
    return minLanes(hz, Vec4(kMaxFrequencyRatio * sampleRate));
}

void EQ::getParameterDisplay(int index, char* out) {
    switch (index) {
        case kFreqA:
        case kFreqB: VH_TEXT(out, "%.0f", eq::frequencyHz(baseValue(index))); break;
        case kQA:
        case kQB: VH_TEXT(out, "%.2f", qOf(baseValue(index), bandTypeOf(baseValue(typeParamOf(index))))); break;
        case kMorph: eq::morphRatioText(baseValue(index), out); break;
        default: Operator::getParameterDisplay(index, out);
    }
}

void EQ::formatEditorValue(int index, float value, char* out, int mode) {
    switch (index) {
        case kFreqA:
        case kFreqB: VH_TEXT(out, "%.0f Hz", eq::frequencyHz(value)); break;
        case kQA:
        case kQB: VH_TEXT(out, "%.2f", qOf(value, bandTypeOf(baseValue(typeParamOf(index))))); break;
        case kMorph: VH_TEXT(out, "%.1f", 100.0f * value); break;
        default: Operator::formatEditorValue(index, value, out, mode);
    }
}

bool EQ::parseEditorValue(int index, const char* text, float& value, int mode) {
    switch (index) {
        case kFreqA:
        case kFreqB: return eq::parseFrequencyText(text, value);
        case kQA:
        case kQB: {
            double q = 0.0;
            if (!parseNumber(text, q)) return false;
            value = valueOfQ(q, bandTypeOf(baseValue(typeParamOf(index))));
            return true;
        }
        case kMorph: return eq::parsePercentText(text, value);
        case kGainA:
        case kGainB: {
            double db = -kMaxGainDb;  // "-oo" asks for the deepest cut
            if (!isMinusInfinityText(text) && !parseNumber(text, db)) return false;
            db = db < -kMaxGainDb ? -kMaxGainDb : db > kMaxGainDb ? kMaxGainDb : db;
            value = static_cast<float>((db + kMaxGainDb) / (2.0 * kMaxGainDb));
            return true;
        }
        default: return Operator::parseEditorValue(index, text, value, mode);
    }
}

// --- control rate -------------------------------------------------------------

// Cookbook forms in state-variable terms, with A = √A²: the shelves move the
// filter's corner to w/√A (low) or w·√A (high) and mix in the gain; the
// peaking filter narrows its damping to 1/(Q·A) and adds the band-pass. At
// 0 dB (√A exactly 1) every form is m0 = 1, m1 = m2 = 0: exactly transparent.
EQ::Coefficients EQ::coefficientsOf(const int (&laneTypes)[4], Vec4 tanHalfW, Vec4 inverseQ, Vec4 sqrtA) {
    Int4Raw peaking, highShelf;
    for (int lane = 0; lane < 4; ++lane) {
        peaking[lane] = laneTypes[lane] == kPeaking ? -1 : 0;
        highShelf[lane] = laneTypes[lane] == kHighShelf ? -1 : 0;
    }
    const Vec4 one(1.0f), t = tanHalfW, k = inverseQ, s = sqrtA;
    const Vec4 a = s * s, aa = a * a, inverseA = one / a;
    Coefficients c;
    // Low shelf first, then the other two types lane by lane.
    c.g = t / s;
    c.k = k;
    c.m0 = one;
    c.m1 = k * (a - one);
    c.m2 = aa - one;
    c.g = select(highShelf, t * s, c.g);
    c.m0 = select(highShelf, aa, c.m0);
    c.m1 = select(highShelf, k * a * (one - a), c.m1);
    c.m2 = select(highShelf, one - aa, c.m2);
    c.g = select(peaking, t, c.g);
    c.k = select(peaking, k * inverseA, c.k);
    c.m1 = select(peaking, k * (a - inverseA), c.m1);
    c.m2 = select(peaking, Vec4(), c.m2);
    // The band-pass and low-pass weights apply to sums of two states.
    c.m1 = c.m1 * Vec4(0.5f);
    c.m2 = c.m2 * Vec4(0.5f);
    return c;
}

// One lane's next output for the input x, from its states and the
// coefficients g, k, m0, m1 / 2, m2 / 2 (ahead = add the increments: the
// coefficients of the next sample). Also gives the output's gradient over the
// two states.
EQ::LaneOutput EQ::laneOutput(int lane, double x, bool ahead) const {
    auto value = [&](const Glide& glide) { return double(glide.current[lane]) + (ahead ? glide.increment[lane] : 0.0); };
    const double g = value(mG), k = value(mK), m0 = value(mM0), m1 = 2.0 * value(mM1), m2 = 2.0 * value(mM2);
    const double a1 = 1.0 / (1.0 + g * (g + k)), a2 = g * a1, a3 = g * a2;
    // v1 = a1·ic1 + a2·(x - ic2), v2 = ic2 + a2·ic1 + a3·(x - ic2).
    LaneOutput out;
    out.dIc1 = m1 * a1 + m2 * a2;
    out.dIc2 = m2 * (1.0 - a3) - m1 * a2;
    out.y = (m0 + m1 * a2 + m2 * a3) * x + out.dIc1 * mIc1[lane] + out.dIc2 * mIc2[lane];
    return out;
}

// A type change keeps the history, and the output carries on from where it
// was: the lane's states move, by the least amount, to where the new filter's
// next output equals the old one's (both for the last input). Without this
// the new mix of the same states would jump, up to the band's full gain.
void EQ::carryOutputOver(int lane, double oldOutput) {
    const LaneOutput now = laneOutput(lane, mX1[lane], true);
    // Near 0 dB the output hardly depends on the states: they stay as they are.
    const double norm = now.dIc1 * now.dIc1 + now.dIc2 * now.dIc2;
    if (!(norm > 1e-6)) return;
    const double step = (oldOutput - now.y) / norm;
    if (!std::isfinite(step)) return;
    mIc1.set(lane, static_cast<float>(mIc1[lane] + step * now.dIc1));
    mIc2.set(lane, static_cast<float>(mIc2[lane] + step * now.dIc2));
}

void EQ::setTargets(const Coefficients& c) {
    mG.target = c.g;
    mK.target = c.k;
    mM0.target = c.m0;
    mM1.target = c.m1;
    mM2.target = c.m2;
}

void EQ::update() {
    // The states are flushed once per tick rather than per sample, which
    // keeps the flush off the recursion; a decay then ends at exact zero.
    mIc1 = flushDenormal(mIc1);
    mIc2 = flushDenormal(mIc2);

    const int typeA = bandTypeOf(mBase[kTypeA]);
    const int typeB = bandTypeOf(mBase[kTypeB]);
    const int laneTypes[4] = {typeB, typeB, typeA, typeA};

    // A type takes effect at once, from where the glides stand (the last
    // targets), and the new filter takes over the history.
    Int4Raw changed = {0, 0, 0, 0};
    double oldOutputs[4] = {};
    if (typeA != mTypeA || typeB != mTypeB) {
        const int b = typeB != mTypeB ? -1 : 0, a = typeA != mTypeA ? -1 : 0;
        changed = Int4Raw{b, b, a, a};
        for (int lane = 0; lane < 4; ++lane)
            if (changed[lane]) oldOutputs[lane] = laneOutput(lane, mX1[lane], false).y;
        Coefficients now = coefficientsOf(laneTypes, mTanHalfW, mInverseQ, mSqrtA);
        mG.current = select(changed, now.g, mG.current);
        mK.current = select(changed, now.k, mK.current);
        mM0.current = select(changed, now.m0, mM0.current);
        mM1.current = select(changed, now.m1, mM1.current);
        mM2.current = select(changed, now.m2, mM2.current);
        mTypeA = typeA;
        mTypeB = typeB;
    }

    const bool rateChanged = mSampleRate != mKnobRate;
    mKnobRate = mSampleRate;
    struct LaneSource {
        int lane;
        const float* values;
        int freq, q, gain;
    };
    const LaneSource lanes[4] = {
        {1, mModL, kFreqB, kQB, kGainB},
        {0, mModR, kFreqB, kQB, kGainB},
        {3, mModL, kFreqA, kQA, kGainA},
        {2, mModR, kFreqA, kQA, kGainA},
    };
    // The corners of all four lanes at once, when any of them moved (a
    // frequency is what modulation mostly reaches).
    Vec4 freqs;
    bool freqMoved = rateChanged;
    for (const LaneSource& src : lanes) {
        freqs.set(src.lane, src.values[src.freq]);
        freqMoved |= src.values[src.freq] != mKnobs[src.lane].freq;
    }
    if (freqMoved) {
        mTanHalfW = tanLanes(filterFrequencyHz(freqs, mSampleRate) * Vec4(kPi / mSampleRate));
        for (int lane = 0; lane < 4; ++lane) mKnobs[lane].freq = freqs[lane];
    }
    for (int i = 0; i < 4; ++i) {
        const LaneSource& src = lanes[i];
        const int lane = src.lane;
        const float freq = src.values[src.freq], q = src.values[src.q], gain = src.values[src.gain];
        // A right lane whose values equal the left ones (no modulation, or
        // the same on both sides) copies the left lane's settings.
        if ((i & 1) && freq == mModL[src.freq] && q == mModL[src.q] && gain == mModL[src.gain]) {
            const int leftLane = lane + 1;
            mInverseQ.set(lane, mInverseQ[leftLane]);
            mSqrtA.set(lane, mSqrtA[leftLane]);
            mKnobs[lane] = mKnobs[leftLane];
            continue;
        }
        // Only what moved since the last tick is recomputed.
        LaneKnobs& knobs = mKnobs[lane];
        if (q != knobs.q || laneTypes[lane] != knobs.type) {
            knobs.q = q;
            knobs.type = laneTypes[lane];
            mInverseQ.set(lane, 1.0f / qOf(q, laneTypes[lane]));
        }
        if (gain != knobs.gain) {
            knobs.gain = gain;
            // √A = 10^(G/80), so that A = 10^(G/40) as in the cookbook.
            mSqrtA.set(lane, std::exp2(kLog2Of10Over80 * gainDbOf(gain)));
        }
    }
    Glide* const glides[6] = {&mG, &mK, &mM0, &mM1, &mM2, &mWeight};
    Vec4 previousTargets[6];
    for (int i = 0; i < 6; ++i) previousTargets[i] = glides[i]->target;
    setTargets(coefficientsOf(laneTypes, mTanHalfW, mInverseQ, mSqrtA));
    float morphL = mModL[kMorph], morphR = mModR[kMorph];
    mWeight.target = Vec4(morphR, morphL, 1.0f - morphR, 1.0f - morphL);

    // Targets that stay put mean the last glide has run its tick: the values
    // sit on them (up to rounding), and the samples skip the glide until
    // something moves again, the usual case without modulation.
    Int4Raw moved = changed;
    for (int i = 0; i < 6; ++i) moved |= glides[i]->target.v != previousTargets[i].v;
    mGliding = (moved[0] | moved[1] | moved[2] | moved[3]) != 0;
    for (Glide* glide : glides) {
        if (mGliding)
            glide->aim(mRampFactor);
        else
            glide->snap();
    }
    for (int lane = 0; lane < 4; ++lane)
        if (changed[lane]) carryOutputOver(lane, oldOutputs[lane]);
}

// --- audio rate ---------------------------------------------------------------

// Trapezoidal (zero-delay feedback) state-variable filter, four lanes at once,
// with its two state updates written as one multiply-add each on the previous
// states: ic1' = p·ic1 + q·(x - ic2), ic2' = ic2 + q·ic1 + r·(x - ic2), where
// p = 2·a1 - 1, q = 2·g·a1, r = g·q and a1 = 1 / (1 + g·(g + k)). The band-pass
// and low-pass outputs are the means (ic + ic') / 2; the halves sit in the
// stored mix weights.
void EQ::processSample(float* left, float* right) {
    if (mGliding) {
        mG.current += mG.increment;
        mK.current += mK.increment;
        mM0.current += mM0.increment;
        mM1.current += mM1.increment;
        mM2.current += mM2.increment;
        mWeight.current += mWeight.increment;
    }

    const Vec4 g = mG.current;
    const Vec4 a1 = Vec4(1.0f) / (Vec4(1.0f) + g * (g + mK.current));
    const Vec4 p = a1 + a1 - Vec4(1.0f);
    const Vec4 q = (g + g) * a1;
    const Vec4 r = g * q;
    const Vec4 x(*right, *left, *right, *left);
    const Vec4 ic1 = mIc1, ic2 = mIc2;
    const Vec4 v3 = x - ic2;
    const Vec4 next1 = p * ic1 + q * v3;
    const Vec4 next2 = (ic2 + q * ic1) + r * v3;
    mIc1 = next1;
    mIc2 = next2;
    const Vec4 y = mM0.current * x + mM1.current * (ic1 + next1) + mM2.current * (ic2 + next2);
    mX1 = x;

    Vec4 mixed = y * mWeight.current;
    *left = mixed[3] + mixed[1];
    *right = mixed[2] + mixed[0];
}

// --- reset and sample rate -------------------------------------------------------

void EQ::resetSmoothing() {
    for (Glide* glide : {&mG, &mK, &mM0, &mM1, &mM2, &mWeight}) glide->snap();
    mGliding = false;
}

void EQ::clearState() {
    mIc1 = mIc2 = mX1 = Vec4();
    resetSmoothing();
}

// --- what the editor's plot shows --------------------------------------------

void EQ::responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const {
    plotprobe::magnitudesDb<EQ>(values, kMorph, false, mSampleRate, freqHz, count, outDb);
}

}  // namespace vh
