#include "operators/Biquad.h"

#include <cmath>
#include <initializer_list>

#include "modules/Response.h"
#include "operators/FastMath.h"

namespace vh {

namespace {
constexpr float kPi = 3.1415927f;
// log2(100 * sqrt 2), single precision as stored: the Q curve spans 2^-0.5..2^6.64.
constexpr float kResoOctaves = 7.143856f;
constexpr float kMinQ = 0.70710677f;
constexpr float kMaxQ = 100.0f;
// Notch curve: 2^(8v - 4), 1/16 to 16.
constexpr float kNotchOctaves = 8.0f;
constexpr float kNotchOffset = 4.0f;

using filter::isLayoutFrequency;
using filter::isLayoutResonance;
using filter::isLayoutType;
static_assert(int(Biquad::kFreqA) == int(filter::kLayoutFreqA) && int(Biquad::kMorph) == int(filter::kLayoutMorph));

}  // namespace

Biquad::Biquad(int slot, ModuleHost* owner) : Operator(slot, owner, filter::kMorphFilterParameters) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
    // Start tuned as at 44.1 kHz with the defaults (20 kHz, Q 0.7071) until
    // the host gives the rate.
    resetModulation();
    update();
    resetSmoothing();
}

// --- parameters ---------------------------------------------------------------


float Biquad::resonanceQ(float v) { return std::exp2(kResoOctaves * v - 0.5f); }
float Biquad::notchQ(float v) { return std::exp2(kNotchOctaves * v - kNotchOffset); }

float Biquad::resonanceValue(double q) {
    if (!(q > kMinQ)) return 0.0f;
    if (q > kMaxQ) q = kMaxQ;
    float v = static_cast<float>((std::log2(q) + 0.5) / kResoOctaves);
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

void Biquad::getParameterDisplay(int index, char* out) {
    if (index < 0 || index >= kNumParams) {
        copyText(out, kTextSize, "---");
        return;
    }
    float v = baseValue(index);
    if (isLayoutFrequency(index))
        filter::frequencyDisplay(v, out);
    else if (isLayoutResonance(index))
        VH_TEXT(out, "%.2f", resonanceQ(v));  // also while the filter is a notch
    else if (isLayoutType(index))
        copyText(out, kTextSize, filter::filterTypeName(filter::filterTypeOf(v)));
    else
        filter::morphDisplay(v, out);
}

void Biquad::formatEditorValue(int index, float value, char* out, int) {
    filter::morphFilterEditorText(index, value, out, [](float v, char* out) { VH_TEXT(out, "%.2f", resonanceQ(v)); });
}

bool Biquad::parseEditorValue(int index, const char* text, float& value, int) {
    return filter::parseMorphFilterText(index, text, value, &resonanceValue);
}

// --- control tick -------------------------------------------------------------

Biquad::TypeWeights Biquad::typeWeights(filter::FilterType typeA, filter::FilterType typeB) {
    // b0/n = edgeBase + edgeSlope c + bandWeight Q alpha, b2/n the same with
    // the band term negated, b1/n = midBase + midSlope c.
    TypeWeights w;
    for (auto [type, lanes] : {std::pair{typeA, std::pair{kLaneARight, kLaneALeft}},
                               std::pair{typeB, std::pair{kLaneBRight, kLaneBLeft}}}) {
        float edgeBase = 0.0f, edgeSlope = 0.0f, midBase = 0.0f, midSlope = 0.0f, bandWeight = 0.0f;
        switch (type) {
            case filter::kLowPass: edgeBase = 0.5f, edgeSlope = -0.5f, midBase = 1.0f, midSlope = -1.0f; break;
            case filter::kBandPass: bandWeight = 1.0f; break;  // peak gain Q
            case filter::kNotch: edgeBase = 1.0f, midSlope = -2.0f; break;
            case filter::kHighPass: edgeBase = 0.5f, edgeSlope = 0.5f, midBase = -1.0f, midSlope = -1.0f; break;
            default: break;
        }
        for (int lane : {lanes.first, lanes.second}) {
            w.edgeBase.set(lane, edgeBase);
            w.edgeSlope.set(lane, edgeSlope);
            w.midBase.set(lane, midBase);
            w.midSlope.set(lane, midSlope);
            w.bandWeight.set(lane, bandWeight);
        }
    }
    return w;
}

Biquad::Tuning Biquad::tuning(const float* modL, const float* modR, filter::FilterType typeA,
                              filter::FilterType typeB, float sampleRate) {
    Tuning t;
    const Vec4 freqs = filter::morphLanes(modL, modR, kFreqA, kFreqB);
    const Vec4 resos = filter::morphLanes(modL, modR, kResoA, kResoB);
    for (int lane = 0; lane < 4; ++lane) {
        const bool notch = (lane == kLaneARight || lane == kLaneALeft ? typeA : typeB) == filter::kNotch;
        t.q.set(lane, notch ? notchQ(resos[lane]) : resonanceQ(resos[lane]));
    }
    // sin w and cos w from the half angle, which stays below a quarter turn
    // (the corner is below half the rate): sin w = 2 sin(w/2) cos(w/2) and
    // cos w = 1 - 2 sin^2(w/2).
    Vec4 sine, cosine;
    sinCosLanes(filter::tunedFrequenciesHz(freqs, sampleRate) * Vec4(kPi / sampleRate), sine, cosine);
    t.cos = Vec4(1.0f) - Vec4(2.0f) * sine * sine;
    t.alpha = (sine * cosine) / t.q;
    return t;
}

void Biquad::update() {
    // Types follow the base values: modulation never switches a response.
    mTypeA = filter::filterTypeOf(mBase[kTypeA]);
    mTypeB = filter::filterTypeOf(mBase[kTypeB]);
    mWeights = typeWeights(mTypeA, mTypeB);

    const Tuning t = tuning(mModL, mModR, mTypeA, mTypeB, mSampleRate);
    mQTarget = t.q;
    mCosTarget = t.cos;
    mAlphaTarget = t.alpha;
    mMorphTarget = Vec4(0.0f, 0.0f, clampUnit(mModR[kMorph]), clampUnit(mModL[kMorph]));

    Vec4 ramp(mRampFactor);
    mCosInc = (mCosTarget - mCos) * ramp;
    mAlphaInc = (mAlphaTarget - mAlpha) * ramp;
    mQInc = (mQTarget - mQ) * ramp;
    mMorphInc = (mMorphTarget - mMorph) * ramp;

    // Without flush-to-zero (tests, hosts that forget it) a decaying output
    // history would sink into denormals; once per tick is enough to stop that.
    mY1 = flushDenormal(mY1);
    mY2 = flushDenormal(mY2);
}

// --- reset ----------------------------------------------------------------------

void Biquad::resetSmoothing() {
    mCos = mCosTarget;
    mAlpha = mAlphaTarget;
    mQ = mQTarget;
    mMorph = mMorphTarget;
    mCosInc = mAlphaInc = mQInc = mMorphInc = Vec4(0.0f);
}

void Biquad::clearState() {
    mX1 = mX2 = mY1 = mY2 = Vec4(0.0f);
    resetSmoothing();
}

// --- what the editor's plot shows --------------------------------------------

void Biquad::responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const {
    // Types follow the base values, as in update.
    const filter::FilterType typeA = filter::filterTypeOf(mBase[kTypeA]);
    const filter::FilterType typeB = filter::filterTypeOf(mBase[kTypeB]);
    const Tuning t = tuning(values, values, typeA, typeB, mSampleRate);
    const Coefficients k = coefficients(typeWeights(typeA, typeB), t.cos, t.alpha, t.q);
    auto section = [&](int lane) {
        return response::Biquad{k.b0[lane], k.b1[lane], k.b2[lane], -k.minusA1[lane], -k.minusA2[lane]};
    };
    const response::Biquad a = section(kLaneALeft), b = section(kLaneBLeft);
    const double morph = clampUnit(values[kMorph]);
    for (int i = 0; i < count; ++i) {
        const auto z = response::unitCircle(freqHz[i], mSampleRate);
        const auto ha = a.at(z), hb = b.at(z);
        outDb[0][i] = response::decibels(ha * (1.0 - morph) + hb * morph);
        outDb[1][i] = response::decibels(ha);
        outDb[2][i] = response::decibels(hb);
    }
}

}  // namespace vh
