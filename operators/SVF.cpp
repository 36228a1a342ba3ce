#include "operators/SVF.h"

#include <cmath>
#include <initializer_list>

#include "operators/FastMath.h"
#include "operators/PlotProbe.h"

namespace vh {

namespace {
constexpr float kPi = 3.1415927f;
constexpr int kOversampling = 4;
// Above this the shown Q would pass 100: v where 0.5 / (1 - v^(1/4)) = 100.
constexpr float kInfiniteQThreshold = 0.9801495f;
constexpr double kMaxTypedQ = 100.0;
constexpr double kMinQ = 0.5;

using filter::isLayoutFrequency;
using filter::isLayoutResonance;
using filter::isLayoutType;
static_assert(int(SVF::kFreqA) == int(filter::kLayoutFreqA) && int(SVF::kMorph) == int(filter::kLayoutMorph));

}  // namespace

SVF::SVF(int slot, ModuleHost* owner) : Operator(slot, owner, filter::kMorphFilterParameters) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
    setOutputWeights(kLaneARight, kLaneALeft, filter::kLowPass);
    setOutputWeights(kLaneBRight, kLaneBLeft, filter::kLowPass);
}

// --- parameters ---------------------------------------------------------------


float SVF::damping(float v) { return 2.0f * (1.0f - std::sqrt(std::sqrt(v))); }

Vec4 SVF::dampings(Vec4 v) { return Vec4(2.0f) * (Vec4(1.0f) - squareRoot(squareRoot(v))); }

void SVF::resonanceText(float v, char* out) {
    if (v > kInfiniteQThreshold)
        copyText(out, kTextSize, "oo");
    else
        VH_TEXT(out, "%.2f", 1.0f / damping(v));
}

float SVF::resonanceValue(double q) {
    if (q > kMaxTypedQ) return 1.0f;
    if (!(q > kMinQ)) return 0.0f;  // also catches NaN
    double root = 1.0 - kMinQ / q;
    return static_cast<float>(root * root * root * root);
}

void SVF::getParameterDisplay(int index, char* out) {
    if (index < 0 || index >= kNumParams) {
        copyText(out, kTextSize, "---");
        return;
    }
    float v = baseValue(index);
    if (isLayoutFrequency(index))
        filter::frequencyDisplay(v, out);
    else if (isLayoutResonance(index))
        resonanceText(v, out);
    else if (isLayoutType(index))
        copyText(out, kTextSize, filter::filterTypeName(filter::filterTypeOf(v)));
    else
        filter::morphDisplay(v, out);
}

void SVF::formatEditorValue(int index, float value, char* out, int) {
    filter::morphFilterEditorText(index, value, out, &resonanceText);
}

bool SVF::parseEditorValue(int index, const char* text, float& value, int) {
    return filter::parseMorphFilterText(index, text, value, &resonanceValue);
}

// --- control tick -------------------------------------------------------------

void SVF::setOutputWeights(int laneRight, int laneLeft, filter::FilterType type) {
    constexpr float kAverage = 1.0f / kOversampling;
    for (int lane : {laneRight, laneLeft}) {
        mLowWeight.set(lane, type == filter::kLowPass ? kAverage : 0.0f);
        mBandWeight.set(lane, type == filter::kBandPass ? kAverage : 0.0f);
        mNotchWeight.set(lane, type == filter::kNotch ? kAverage : 0.0f);
        mHighWeight.set(lane, type == filter::kHighPass ? kAverage : 0.0f);
    }
}

void SVF::update() {
    // Types follow the base values and only choose the output that is heard.
    mTypeA = filter::filterTypeOf(mBase[kTypeA]);
    mTypeB = filter::filterTypeOf(mBase[kTypeB]);
    setOutputWeights(kLaneARight, kLaneALeft, mTypeA);
    setOutputWeights(kLaneBRight, kLaneBLeft, mTypeB);

    mMorphL.setTarget(clampUnit(mModL[kMorph]), mRampFactor);
    mMorphR.setTarget(clampUnit(mModR[kMorph]), mRampFactor);

    const Vec4 freqs = filter::morphLanes(mModL, mModR, kFreqA, kFreqB);
    const Vec4 resos = filter::morphLanes(mModL, mModR, kResoA, kResoB);
    Vec4 sine, cosine;
    sinCosLanes(filter::tunedFrequenciesHz(freqs, mSampleRate) * Vec4(kPi / (kOversampling * mSampleRate)), sine,
                cosine);
    mFTarget = sine + sine;
    mDTarget = dampings(resos);
    Vec4 ramp(mRampFactor);
    mFInc = (mFTarget - mF) * ramp;
    mDInc = (mDTarget - mD) * ramp;

    // Keeps a decaying state out of denormals when flush-to-zero is off.
    mLow = flushDenormal(mLow);
    mBand = flushDenormal(mBand);
}

// --- reset ----------------------------------------------------------------------

void SVF::resetSmoothing() {
    mF = mFTarget;
    mD = mDTarget;
    mFInc = mDInc = Vec4(0.0f);
    mMorphL.snap();
    mMorphR.snap();
}

void SVF::clearState() {
    mLow = mBand = Vec4(0.0f);
    resetSmoothing();
}

// --- what the editor's plot shows --------------------------------------------

void SVF::responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const {
    plotprobe::magnitudesDb<SVF>(values, kMorph, true, mSampleRate, freqHz, count, outDb);
}

}  // namespace vh
