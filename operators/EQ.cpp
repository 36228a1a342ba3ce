#include "operators/EQ.h"

#include <cmath>

namespace vh {

namespace {

const char* const kBandTypeNames[EQ::kNumBandTypes] = {"LOWSHELF", "PEAKING", "HIGHSHELF"};
const char* const kParamNames[EQ::kNumParams] = {"freqA", "qA", "typeA", "freqB", "qB", "typeB", "morph", "gainA", "gainB"};

constexpr float kTwoPi = 6.2831855f;  // 2π, single precision
constexpr float kMinPeakingQ = 0.05f;
constexpr float kMaxPeakingQ = 20.0f;
constexpr float kMinShelfQ = 0.35355338f;  // 2^-1.5
constexpr float kMaxShelfQ = 1.4142135f;   // 2^0.5
constexpr float kMaxGainDb = 24.0f;
constexpr float kLog2Of20 = 4.3219281f;
constexpr float kLog2Of10Over80 = 0.041524101f;  // log2(10) / 80

// Above half the sample rate the cookbook forms turn unstable (sin w < 0).
// Knob settings beyond it, reachable below 40 kHz, sit at 0.49·fs instead.
constexpr float kMaxFrequencyRatio = 0.49f;
// A pole pair near DC has a0 + a1 + a2 (1 - cos w times a gain) as its only
// stability margin, and the single-precision rounding of the coefficients
// eats it below w = 8e-4 (a +24 dB low shelf at 23 Hz and 192 kHz already
// has a pole outside the unit circle). cos w is therefore held at or below
// 1 - 2^-20, which keeps every type stable with a margin for the rounding of
// the glides, and the band frequency at or above the matching 2.2e-4·fs:
// 10.5 Hz at 48 kHz, 21 Hz at 96 kHz, 42 Hz at 192 kHz.
constexpr float kMaxCos = 1.0f - 0x1p-20f;
constexpr float kMinFrequencyRatio = 2.198e-4f;  // acos(kMaxCos) / 2π

// Low shelf (sign +1) or high shelf (sign -1): the high shelf is the low
// shelf with cos w and the odd coefficients mirrored.
inline void shelfTerms(Vec4 c, Vec4 alpha, Vec4 s, Vec4 sign, Vec4 (&num)[3], Vec4 (&den)[3]) {
    Vec4 a = s * s;
    Vec4 p = a + Vec4(1.0f);
    Vec4 d = a - Vec4(1.0f);
    Vec4 t = Vec4(2.0f) * s * alpha;
    Vec4 mc = sign * c;
    Vec4 pd = p - d * mc;  // (A+1) ∓ ·cos w
    Vec4 pn = p + d * mc;  // (A+1) ± ·cos w
    num[0] = a * (pd + t);
    num[1] = Vec4(2.0f) * sign * a * (d - p * mc);
    num[2] = a * (pd - t);
    den[0] = pn + t;
    den[1] = Vec4(-2.0f) * sign * (d + p * mc);
    den[2] = pn - t;
}

// Peaking filter with numerator and denominator multiplied by A, which spares
// the division by A: b = A ± α·A², a0 = A + α, a2 = A - α, b1 = a1 = -2·cos w·A.
inline void peakingTerms(Vec4 c, Vec4 alpha, Vec4 s, Vec4 (&num)[3], Vec4 (&den)[3]) {
    Vec4 a = s * s;
    Vec4 aa = alpha * a * a;
    Vec4 mid = Vec4(-2.0f) * c * a;
    num[0] = a + aa;
    num[1] = mid;
    num[2] = a - aa;
    den[0] = a + alpha;
    den[1] = mid;
    den[2] = a - alpha;
}

}  // namespace

EQ::EQ(int slot, ModuleHost* owner) : Operator(slot, owner) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
    // 20 kHz at 44.1 kHz with Q 1/√2, until the host sets the rate.
    mCos.setAll(-0.9576483f);
    mAlpha.setAll(0.20360464f);
    mSqrtA.setAll(1.0f);
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
    float lowest = kMinFrequencyRatio * sampleRate;
    return hz > highest ? highest : hz < lowest ? lowest : hz;
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

void EQ::update() {
    // The output history is flushed once per tick rather than per sample: a
    // decay then ends at exact zero, and within 32 samples no double-precision
    // history can sink from the flush level into the denormal range. That
    // keeps the flush off the recursion.
    mY1 = eq::flushDenormal(mY1);
    mY2 = eq::flushDenormal(mY2);

    mTypeA = bandTypeOf(mBase[kTypeA]);
    mTypeB = bandTypeOf(mBase[kTypeB]);

    struct LaneSource {
        int lane;
        const float* values;
        int freq, q, gain, type;
    };
    const LaneSource lanes[4] = {
        {1, mModL, kFreqB, kQB, kGainB, mTypeB},
        {0, mModR, kFreqB, kQB, kGainB, mTypeB},
        {3, mModL, kFreqA, kQA, kGainA, mTypeA},
        {2, mModR, kFreqA, kQA, kGainA, mTypeA},
    };
    for (int i = 0; i < 4; ++i) {
        const LaneSource& src = lanes[i];
        mPeakingLanes[src.lane] = src.type == kPeaking ? -1 : 0;
        mShelfSign.set(src.lane, src.type == kHighShelf ? -1.0f : 1.0f);
        // A right lane whose values equal the left ones (no modulation, or
        // the same on both sides) copies the left lane's targets.
        bool sameAsLeft = (i & 1) && src.values[src.freq] == mModL[src.freq] && src.values[src.q] == mModL[src.q] &&
                          src.values[src.gain] == mModL[src.gain];
        if (sameAsLeft) {
            int leftLane = src.lane + 1;
            mCos.target.set(src.lane, mCos.target[leftLane]);
            mAlpha.target.set(src.lane, mAlpha.target[leftLane]);
            mSqrtA.target.set(src.lane, mSqrtA.target[leftLane]);
            continue;
        }
        float hz = filterFrequencyHz(src.values[src.freq], mSampleRate);
        float q = qOf(src.values[src.q], src.type);
        // √A = 10^(G/80), so that A = 10^(G/40) as in the cookbook.
        float sqrtA = std::exp2(kLog2Of10Over80 * gainDbOf(src.values[src.gain]));
        float w = kTwoPi * hz / mSampleRate;
        float c = std::cos(w);
        mCos.target.set(src.lane, c);
        mAlpha.target.set(src.lane, std::sin(w) / (2.0f * q));
        mSqrtA.target.set(src.lane, sqrtA);
    }
    float morphL = mModL[kMorph], morphR = mModR[kMorph];
    mWeight.target = Vec4(morphR, morphL, 1.0f - morphR, 1.0f - morphL);
    mAnyPeaking = mTypeA == kPeaking || mTypeB == kPeaking;
    mAnyShelf = mTypeA != kPeaking || mTypeB != kPeaking;

    mCos.aim(mRampFactor);
    mAlpha.aim(mRampFactor);
    mSqrtA.aim(mRampFactor);
    mWeight.aim(mRampFactor);
}

// --- audio rate ---------------------------------------------------------------

void EQ::processSample(float* left, float* right) {
    mCos.current += mCos.increment;
    mAlpha.current += mAlpha.increment;
    mSqrtA.current += mSqrtA.increment;
    mWeight.current += mWeight.increment;

    // The glide may round past its target; the limit holds on every sample.
    Vec4 c = min(mCos.current, Vec4(kMaxCos));
    Vec4 alpha = mAlpha.current, s = mSqrtA.current;
    Vec4 num[3], den[3];
    if (mAnyShelf) shelfTerms(c, alpha, s, mShelfSign, num, den);
    if (mAnyPeaking) {
        if (!mAnyShelf) {
            peakingTerms(c, alpha, s, num, den);
        } else {
            Vec4 pNum[3], pDen[3];
            peakingTerms(c, alpha, s, pNum, pDen);
            for (int i = 0; i < 3; ++i) {
                num[i] = eq::select(mPeakingLanes, pNum[i], num[i]);
                den[i] = eq::select(mPeakingLanes, pDen[i], den[i]);
            }
        }
    }
    // 1 / a0 to double precision: a single-precision reciprocal refined by
    // one Newton step, cheaper than a double division. An inexact 1 / a0 would
    // move the poles by a0·error, more than a bass band's stability margin.
    eq::Double4 a0 = eq::widen(den[0]);
    eq::Double4 n = eq::widen(Vec4(1.0f) / den[0]);
    n = n * (eq::Double4(2.0) - a0 * n);
    eq::Double4 x = eq::widen(Vec4(*right, *left, *right, *left));
    // Feed-forward part first, so only -a1·y1 waits for the previous output.
    eq::Double4 ff = eq::widen(num[0]) * x + eq::widen(num[1]) * mX1 + eq::widen(num[2]) * mX2 -
                     eq::widen(den[2]) * mY2;
    eq::Double4 yd = (ff - eq::widen(den[1]) * mY1) * n;
    mX2 = mX1;
    mX1 = x;
    mY2 = mY1;
    mY1 = yd;

    Vec4 y = eq::narrow(yd);
    Vec4 mixed = y * mWeight.current;
    *left = mixed[3] + mixed[1];
    *right = mixed[2] + mixed[0];
}

// --- reset and sample rate -------------------------------------------------------

void EQ::resetSmoothing() {
    mCos.snap();
    mAlpha.snap();
    mSqrtA.snap();
    mWeight.snap();
}

void EQ::clearState() {
    mX1 = mX2 = mY1 = mY2 = eq::Double4();
    resetSmoothing();
}

}  // namespace vh
