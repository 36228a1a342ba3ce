#include "operators/EQ.h"

#include <cmath>
#include <initializer_list>

namespace vh {

namespace {

const char* const kBandTypeNames[EQ::kNumBandTypes] = {"LOWSHELF", "PEAKING", "HIGHSHELF"};
const char* const kParamNames[EQ::kNumParams] = {"freqA", "qA", "typeA", "freqB", "qB", "typeB", "morph", "gainA", "gainB"};

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

}  // namespace

EQ::EQ(int slot, ModuleHost* owner) : Operator(slot, owner) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
    Coefficients flat = coefficientsOf(kLowShelf, static_cast<float>(kInitialTanHalfW), kInitialInverseQ, 1.0f);
    for (int lane = 0; lane < 4; ++lane) {
        setLane(lane, flat, true);
        setLane(lane, flat, false);
        mTanHalfW[lane] = static_cast<float>(kInitialTanHalfW);
        mInverseQ[lane] = kInitialInverseQ;
        mSqrtA[lane] = 1.0f;
    }
    mWeight.current = mWeight.target = Vec4(0.0f, 0.0f, 1.0f, 1.0f);  // morph 0: band A only
}

// --- parameters -------------------------------------------------------------

float EQ::getParameterDefault(int index) {
    switch (index) {
        case kFreqA:
        case kFreqB: return 1.0f;
        case kTypeA:
        case kTypeB: return discreteValue(kLowShelf, kNumBandTypes);
        case kGainA:
        case kGainB: return 0.5f;
        default: return 0.0f;
    }
}

bool EQ::isModulatable(int index) {
    return index >= 0 && index < kNumParams && index != kTypeA && index != kTypeB;
}

void EQ::getParameterName(int index, char* out) {
    copyText(out, kTextSize, (index >= 0 && index < kNumParams) ? kParamNames[index] : "---");
}

void EQ::getParameterLabel(int index, char* out) {
    switch (index) {
        case kFreqA:
        case kFreqB: copyText(out, kTextSize, "Hz"); break;
        case kMorph: copyText(out, kTextSize, "%"); break;
        case kGainA:
        case kGainB: copyText(out, kTextSize, "dB"); break;
        default: out[0] = 0;
    }
}

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

float EQ::filterFrequencyHz(float v, float sampleRate) {
    float hz = eq::frequencyHz(v);
    float highest = kMaxFrequencyRatio * sampleRate;
    return hz > highest ? highest : hz;
}

void EQ::getParameterDisplay(int index, char* out) {
    switch (index) {
        case kFreqA:
        case kFreqB: VH_TEXT(out, "%.0f", eq::frequencyHz(mBase[index])); break;
        case kQA:
        case kQB: VH_TEXT(out, "%.2f", qOf(mBase[index], bandTypeOf(mBase[typeParamOf(index)]))); break;
        case kTypeA:
        case kTypeB: copyText(out, kTextSize, kBandTypeNames[bandTypeOf(mBase[index])]); break;
        case kMorph: eq::morphRatioText(mBase[index], out); break;
        case kGainA:
        case kGainB: VH_TEXT(out, "%.1f", gainDbOf(mBase[index])); break;
        default: copyText(out, kTextSize, "---");
    }
}

void EQ::formatEditorValue(int index, float value, char* out, int) {
    switch (index) {
        case kFreqA:
        case kFreqB: VH_TEXT(out, "%.0f Hz", eq::frequencyHz(value)); break;
        case kQA:
        case kQB: VH_TEXT(out, "%.2f", qOf(value, bandTypeOf(mBase[typeParamOf(index)]))); break;
        case kTypeA:
        case kTypeB: copyText(out, kTextSize, kBandTypeNames[bandTypeOf(value)]); break;
        case kMorph: VH_TEXT(out, "%.1f", 100.0f * value); break;
        case kGainA:
        case kGainB: VH_TEXT(out, "%.0fdB", gainDbOf(value)); break;
        default: out[0] = 0;
    }
}

bool EQ::parseEditorValue(int index, const char* text, float& value, int) {
    switch (index) {
        case kFreqA:
        case kFreqB: return eq::parseFrequencyText(text, value);
        case kQA:
        case kQB: {
            double q = 0.0;
            if (!parseNumber(text, q)) return false;
            value = valueOfQ(q, bandTypeOf(mBase[typeParamOf(index)]));
            return true;
        }
        case kTypeA:
        case kTypeB:
            for (int i = 0; i < kNumBandTypes; ++i)
                if (equalsIgnoreCase(text, kBandTypeNames[i])) {
                    value = discreteValue(i, kNumBandTypes);
                    return true;
                }
            return false;
        case kMorph: return eq::parsePercentText(text, value);
        case kGainA:
        case kGainB: {
            double db = -kMaxGainDb;  // "-oo" asks for the deepest cut
            if (!isMinusInfinityText(text) && !parseNumber(text, db)) return false;
            db = db < -kMaxGainDb ? -kMaxGainDb : db > kMaxGainDb ? kMaxGainDb : db;
            value = static_cast<float>((db + kMaxGainDb) / (2.0 * kMaxGainDb));
            return true;
        }
        default: return false;
    }
}

// --- control rate -------------------------------------------------------------

// Cookbook forms in state-variable terms, with A = √A²: the shelves move the
// filter's corner to w/√A (low) or w·√A (high) and mix in the gain; the
// peaking filter narrows its damping to 1/(Q·A) and adds the band-pass.
EQ::Coefficients EQ::coefficientsOf(int bandType, float tanHalfW, float inverseQ, float sqrtA) {
    const double t = tanHalfW, k = inverseQ, s = sqrtA, a = s * s;
    double g = t, damping = k, m0 = 1.0, m1 = 0.0, m2 = 0.0;
    switch (bandType) {
        case kPeaking:
            damping = k / a;
            m1 = k * (a - 1.0 / a);
            break;
        case kHighShelf:
            g = t * s;
            m0 = a * a;
            m1 = k * a * (1.0 - a);
            m2 = 1.0 - a * a;
            break;
        default:  // low shelf
            g = t / s;
            m1 = k * (a - 1.0);
            m2 = a * a - 1.0;
    }
    return {static_cast<float>(g), static_cast<float>(damping), static_cast<float>(m0), static_cast<float>(m1),
            static_cast<float>(m2)};
}

void EQ::setLane(int lane, const Coefficients& c, bool current) {
    Glide* glides[5] = {&mG, &mK, &mM0, &mM1, &mM2};
    // The band-pass and low-pass weights apply to sums of two states.
    const float values[5] = {c.g, c.k, c.m0, 0.5f * c.m1, 0.5f * c.m2};
    for (int i = 0; i < 5; ++i) (current ? glides[i]->current : glides[i]->target).set(lane, values[i]);
}

// A type change keeps the history, and the output carries on from where it
// was: the lane's states move, by the least amount, to where the new filter's
// next output equals the one a direct-form filter with the new coefficients
// would give from the last two inputs and outputs. Matching more than that one
// output would also copy the direct form's type-change transients (up to
// +70 dB for a Q 20 band), which is the noise this structure avoids.
void EQ::carryHistoryOver(int lane) {
    // The coefficients of the next sample, the first under the new type.
    const double g = mG.current[lane] + mG.increment[lane], k = mK.current[lane] + mK.increment[lane];
    const double m0 = mM0.current[lane] + mM0.increment[lane];
    const double m1 = 2.0 * (mM1.current[lane] + mM1.increment[lane]);
    const double m2 = 2.0 * (mM2.current[lane] + mM2.increment[lane]);
    const double a1 = 1.0 / (1.0 + g * (g + k)), a2 = g * a1, a3 = g * a2;
    // The filter as a state-space system: s' = F·s + B·x, y = C·s + D·x.
    const double f11 = 2.0 * a1 - 1.0, f12 = -2.0 * a2, f21 = 2.0 * a2, f22 = 1.0 - 2.0 * a3;
    const double b1 = 2.0 * a2, b2 = 2.0 * a3;
    const double c1 = m1 * a1 + m2 * a2, c2 = m2 * (1.0 - a3) - m1 * a2;
    const double d = m0 + m1 * a2 + m2 * a3;
    // Its direct-form coefficients.
    const double den1 = -(f11 + f22), den2 = f11 * f22 - f12 * f21;
    const double num1 = d * den1 + c1 * b1 + c2 * b2;
    const double num2 = d * den2 + c1 * (-f22 * b1 + f12 * b2) + c2 * (f21 * b1 - f11 * b2);
    // What the direct form would add to the next output from its history.
    const double x1 = mX1[lane], x2 = mX2[lane], y1 = mY1[lane], y2 = mY2[lane];
    const double next = num1 * x1 + num2 * x2 - den1 * y1 - den2 * y2;
    // Near 0 dB the output hardly depends on the states: they stay as they are.
    const double norm = c1 * c1 + c2 * c2;
    if (!(norm > 1e-6)) return;
    const double ic1 = mIc1[lane], ic2 = mIc2[lane];
    const double step = (next - (c1 * ic1 + c2 * ic2)) / norm;
    if (!std::isfinite(step)) return;
    mIc1.set(lane, static_cast<float>(ic1 + step * c1));
    mIc2.set(lane, static_cast<float>(ic2 + step * c2));
}

void EQ::update() {
    // The states are flushed once per tick rather than per sample, which
    // keeps the flush off the recursion; a decay then ends at exact zero.
    mIc1 = eq::flushDenormal(mIc1);
    mIc2 = eq::flushDenormal(mIc2);

    const int typeA = bandTypeOf(mBase[kTypeA]);
    const int typeB = bandTypeOf(mBase[kTypeB]);
    const int laneType[4] = {typeB, typeB, typeA, typeA};

    // A type takes effect at once, from where the glides stand (the last
    // targets), and the new filter takes over the history.
    bool changedLanes[4] = {false, false, false, false};
    if (typeA != mTypeA || typeB != mTypeB) {
        for (int lane = 0; lane < 4; ++lane) {
            bool changed = lane < 2 ? typeB != mTypeB : typeA != mTypeA;
            if (!changed) continue;
            setLane(lane, coefficientsOf(laneType[lane], mTanHalfW[lane], mInverseQ[lane], mSqrtA[lane]), true);
            changedLanes[lane] = true;
        }
        mTypeA = typeA;
        mTypeB = typeB;
    }

    const bool rateChanged = mSampleRate != mKnobRate;
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
    for (int i = 0; i < 4; ++i) {
        const LaneSource& src = lanes[i];
        const int lane = src.lane;
        // A right lane whose values equal the left ones (no modulation, or
        // the same on both sides) copies the left lane's targets.
        bool sameAsLeft = (i & 1) && src.values[src.freq] == mModL[src.freq] && src.values[src.q] == mModL[src.q] &&
                          src.values[src.gain] == mModL[src.gain];
        if (sameAsLeft) {
            int leftLane = lane + 1;
            mTanHalfW[lane] = mTanHalfW[leftLane];
            mInverseQ[lane] = mInverseQ[leftLane];
            mSqrtA[lane] = mSqrtA[leftLane];
            mKnobs[lane] = mKnobs[leftLane];
            for (Glide* glide : {&mG, &mK, &mM0, &mM1, &mM2}) glide->target.set(lane, glide->target[leftLane]);
            continue;
        }
        // Only what moved since the last tick is recomputed: modulation mostly
        // reaches one of the three.
        LaneKnobs& knobs = mKnobs[lane];
        const float freq = src.values[src.freq], q = src.values[src.q], gain = src.values[src.gain];
        if (freq != knobs.freq || rateChanged) {
            knobs.freq = freq;
            mTanHalfW[lane] = std::tan(kPi * filterFrequencyHz(freq, mSampleRate) / mSampleRate);
        }
        if (q != knobs.q || laneType[lane] != knobs.type) {
            knobs.q = q;
            knobs.type = laneType[lane];
            mInverseQ[lane] = 1.0f / qOf(q, laneType[lane]);
        }
        if (gain != knobs.gain) {
            knobs.gain = gain;
            // √A = 10^(G/80), so that A = 10^(G/40) as in the cookbook.
            mSqrtA[lane] = std::exp2(kLog2Of10Over80 * gainDbOf(gain));
        }
        setLane(lane, coefficientsOf(laneType[lane], mTanHalfW[lane], mInverseQ[lane], mSqrtA[lane]), false);
    }
    mKnobRate = mSampleRate;
    float morphL = mModL[kMorph], morphR = mModR[kMorph];
    mWeight.target = Vec4(morphR, morphL, 1.0f - morphR, 1.0f - morphL);

    for (Glide* glide : {&mG, &mK, &mM0, &mM1, &mM2, &mWeight}) glide->aim(mRampFactor);
    for (int lane = 0; lane < 4; ++lane)
        if (changedLanes[lane]) carryHistoryOver(lane);
}

// --- audio rate ---------------------------------------------------------------

// Trapezoidal (zero-delay feedback) state-variable filter, four lanes at once,
// with its two state updates written as one multiply-add each on the previous
// states: ic1' = p·ic1 + q·(x - ic2), ic2' = ic2 + q·ic1 + r·(x - ic2), where
// p = 2·a1 - 1, q = 2·g·a1, r = g·q and a1 = 1 / (1 + g·(g + k)). The band-pass
// and low-pass outputs are the means (ic + ic') / 2; the halves sit in the
// stored mix weights.
void EQ::processSample(float* left, float* right) {
    mG.current += mG.increment;
    mK.current += mK.increment;
    mM0.current += mM0.increment;
    mM1.current += mM1.increment;
    mM2.current += mM2.increment;
    mWeight.current += mWeight.increment;

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
    mX2 = mX1;
    mX1 = x;
    mY2 = mY1;
    mY1 = y;

    Vec4 mixed = y * mWeight.current;
    *left = mixed[3] + mixed[1];
    *right = mixed[2] + mixed[0];
}

// --- reset and sample rate -------------------------------------------------------

void EQ::resetSmoothing() {
    for (Glide* glide : {&mG, &mK, &mM0, &mM1, &mM2, &mWeight}) glide->snap();
}

void EQ::clearState() {
    mIc1 = mIc2 = mX1 = mX2 = mY1 = mY2 = Vec4();
    resetSmoothing();
}

}  // namespace vh
