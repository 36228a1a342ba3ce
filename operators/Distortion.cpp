#include "operators/Distortion.h"

#include <cmath>
#include <cstring>

#include "operators/PlotProbe.h"

namespace vh {

namespace {

constexpr const char* kCurveNames[Distortion::kNumCurves] = {"sym A", "sym B", "sym C", "asym A",
                                                             "asym B", "asym C", "clip"};
constexpr const char* kOffOn[2] = {"off", "on"};

// 10^0.75 - 1 in single precision: the drive reaches 120 dB at v = 1.
constexpr float kDriveShape = 4.6234130859375f;
// log2(1000) in single precision: the centre spans 20 Hz..20 kHz.
constexpr float kCentreOctaves = 9.965784072875977f;
constexpr float kLowestCentreHz = 20.0f;
// 2 pi in single precision.
constexpr double kTwoPi = 6.2831854820251465;
// Highest usable band centre as a share of the rate. Above half the rate the
// sine term turns negative and the band-pass poles leave the unit circle; at
// 44.1 kHz and above the 20 kHz centre stays below it.
constexpr float kMaxCentreShare = 0.49f;
// Keeps the symmetric curves defined at zero input.
constexpr float kCurveEpsilon = 1e-15f;
// Added to the asymmetric curve before its scaling, so it is never exactly 0.
constexpr double kOutputEpsilon = 1e-15;
// Symmetric curve knees: sym A, B, C.
constexpr float kSymKnee[3] = {6.0f, 4.0f, 2.0f};
// Asymmetric curves: output scale, steepness and input offset per type.
struct AsymShape {
    double scale, steep, offset;
};
constexpr AsymShape kAsymShapes[3] = {
    {1.385122751, 2.0, -0.8},
    {1.332023709, 4.0, -0.6},
    {1.445650638, 6.0, -0.4},
};
// Below this |x| = |e t| the asymmetric curve's x / (1 - exp(-x)) is taken
// from its series 1 + x/2 + x^2/12 - x^4/720 + x^6/30240 (next term below
// 4e-9 there): near x = 0 the quotient would cancel its digits away and at
// x = 0 divide 0 by 0. From 0.5 on, 1 - exp(-x) keeps its digits.
constexpr float kAsymSeriesLimit = 0.5f;
// Range of the exponential's argument: e^60 times the largest drive (10^6)
// stays a finite float, and beyond 60 the curve no longer changes in float.
constexpr float kAsymExpLimit = 60.0f;
// Lower end of the argument: below -17, 1 - e^x is 1 in float anyway, and at
// -50 the curve's 1e-15 times e^x stays a normal float (a subnormal product
// would be slow).
constexpr float kAsymExpLowLimit = -50.0f;
// 128.5: added before a truncating conversion, it turns x log2 e (at most
// 87 in size) into a positive number whose truncation is round(x log2 e) + 128.
constexpr float kExpRoundingOffset = 128.5f;
constexpr double kLn2 = 0.69314718055994531;
// Diffuser on from this "diffuse" value; allpass gain 0.7 per unit of it.
constexpr float kDiffuseOn = 0.01f;
constexpr float kDiffuseGain = 0.7f;
// DC blocker corner, 2 pi * 10 Hz, and the Butterworth sqrt 2.
constexpr double kDcCornerRadians = 62.831854820251465;
constexpr double kSqrt2 = 1.41421356237309;

double clampDouble(double x, double lo, double hi) { return x < lo ? lo : (x > hi ? hi : x); }
float clampFloat(double x, double lo, double hi) { return static_cast<float>(clampDouble(x, lo, hi)); }

// |x| as max(x, -x): the shared Vec4 abs type-puns through a reference,
// which the optimiser may read as uninitialised.
Vec4 absLanes(Vec4 x) { return max(x, -x); }

bool endsWithIgnoreCase(const char* text, std::size_t length, const char* suffix) {
    std::size_t n = std::strlen(suffix);
    return length >= n && equalsIgnoreCase(text + length - n, suffix);
}

// --- parameter texts ---------------------------------------------------------

void driveHostText(float v, char* out) { levelText(Distortion::driveGain(v), out, 0); }
void driveEditorText(float v, char* out) {
    char level[kTextSize];
    levelText(Distortion::driveGain(v), level, 1);
    VH_TEXT(out, "%s dB", level);
}
bool parseDrive(const char* text, float& value) {
    if (text == nullptr) return false;
    double db = clampDouble(readNumber(text), 0.0, 120.0);
    value = clampFloat(std::sqrt((std::pow(std::pow(10.0, db / 20.0), 0.125) - 1.0) / kDriveShape), 0.0, 1.0);
    return true;
}

void centreHostText(float v, char* out) { VH_TEXT(out, "%.0f", Distortion::centreHz(v)); }
void centreEditorText(float v, char* out) { VH_TEXT(out, "%.0f Hz", Distortion::centreHz(v)); }
// A trailing "k" or "kHz" reads the number in kilohertz.
bool parseCentre(const char* text, float& value) {
    if (text == nullptr) return false;
    double f = readNumber(text);
    std::size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == ' ') --length;
    if (endsWithIgnoreCase(text, length, "k") || endsWithIgnoreCase(text, length, "khz")) f *= 1000.0;
    f = clampDouble(f, kLowestCentreHz, 20000.0);
    value = clampFloat(std::log(f / kLowestCentreHz) / (std::log(2.0) * kCentreOctaves), 0.0, 1.0);
    return true;
}

void bandwidthHostText(float v, char* out) { VH_TEXT(out, "%.2f", Distortion::bandwidthOf(v)); }
void bandwidthEditorText(float v, char* out) { VH_TEXT(out, "%.1f", Distortion::bandwidthOf(v)); }
bool parseBandwidth(const char* text, float& value) {
    if (text == nullptr) return false;
    double b = clampDouble(readNumber(text), 0.2, 20.0);
    value = clampFloat(std::sqrt((5.0 * b - 1.0) / 99.0), 0.0, 1.0);
    return true;
}

// The host sees the type's number (states beyond the curves included); the
// editor names the curves and takes only their names.
void typeHostText(float v, char* out) { VH_TEXT(out, "%d", discreteIndex(v, Distortion::kNumTypeStates)); }
void typeEditorText(float v, char* out) {
    int type = discreteIndex(v, Distortion::kNumTypeStates);
    copyText(out, kTextSize, type < Distortion::kNumCurves ? kCurveNames[type] : "---");
}
bool parseType(const char* text, float& value) {
    if (text == nullptr) return false;
    for (int i = 0; i < Distortion::kNumCurves; ++i) {
        if (equalsIgnoreCase(text, kCurveNames[i])) {
            value = discreteValue(i, Distortion::kNumTypeStates);
            return true;
        }
    }
    return false;
}

void diffuseText(float v, char* out) {
    if (v < kDiffuseOn)
        copyText(out, kTextSize, "off");
    else
        VH_TEXT(out, "%.1f", 100.0f * v);
}
bool parseDiffuse(const char* text, float& value) {
    if (text == nullptr) return false;
    value = equalsIgnoreCase(text, "off") ? 0.0f : clampFloat(readNumber(text), 0.0, 100.0) / 100.0f;
    return true;
}

// The panel titles its controls with the host names.
constexpr ParameterInfo kParameters[Distortion::kNumParams] = {
    {.name = "drive", .title = "drive", .label = "dB", .modulatable = true, .hostText = driveHostText,
     .editorText = driveEditorText, .parseText = parseDrive},
    {.name = "freq", .title = "freq", .label = "Hz", .defaultValue = 0.56632334f /* 1000 Hz */, .modulatable = true,
     .hostText = centreHostText, .editorText = centreEditorText, .parseText = parseCentre},
    {.name = "bandwidth", .title = "bandwidth", .modulatable = true, .hostText = bandwidthHostText,
     .editorText = bandwidthEditorText, .parseText = parseBandwidth},
    {.name = "type", .title = "type", .defaultValue = discreteValue(Distortion::kSymA, Distortion::kNumTypeStates),
     .steps = Distortion::kNumTypeStates, .choices = Distortion::kNumCurves, .hostText = typeHostText,
     .editorText = typeEditorText, .parseText = parseType},
    {.name = "diffuse", .title = "diffuse", .hostText = diffuseText, .editorText = diffuseText,
     .parseText = parseDiffuse},
    {.name = "xover", .title = "xover", .defaultValue = discreteValue(0, 2), .steps = 2, .hostItems = kOffOn},
};

}  // namespace

Distortion::AsymLanes::AsymLanes()
    : seriesLimit(kAsymSeriesLimit),
      minusSeriesLimit(-kAsymSeriesLimit),
      series2(1.0f / 12),
      series4(-1.0f / 720),
      series6(1.0f / 30240),
      expLow(kAsymExpLowLimit),
      expHigh(kAsymExpLimit),
      log2e(1.44269504f),
      roundingOffset(kExpRoundingOffset),
      power1(static_cast<float>(kLn2)),
      power2(static_cast<float>(kLn2 * kLn2 / 2)),
      power3(static_cast<float>(kLn2 * kLn2 * kLn2 / 6)),
      power4(static_cast<float>(std::pow(kLn2, 4) / 24)),
      power5(static_cast<float>(std::pow(kLn2, 5) / 120)),
      power6(static_cast<float>(std::pow(kLn2, 6) / 720)),
      power7(static_cast<float>(std::pow(kLn2, 7) / 5040)),
      exponentBias(Int4Raw{127, 127, 127, 127}) {}

// e^x on four lanes, x limited to -50..60 (NaN counts as the lower end).
// e^x = 2^n 2^f with t = x log2 e, n = round(t) and f = t - n (exact,
// |f| <= 1/2); 2^f from the Taylor series of e^(f ln 2) to the seventh
// power, in pairs (Estrin), truncation error below 6e-9. Rounding t costs up
// to 1e-6 of relative error at the ends of the range, where e^x no longer
// matters to the curve (its x / (1 - e^-x) is then x or nearly 0); near
// x = 0 the error is that of the polynomial. This reduction keeps the path
// from x to the result short: one subtraction between n and f instead of
// the two products and two subtractions of an exact split of ln 2. n is
// rounded by a truncating conversion of a positive sum, which does not
// depend on the processor's rounding mode.
// The result comes as p * scale with scale a power of 2, so that callers can
// fold their own factors into the scale beside the polynomial.
inline void Distortion::expLanes(Vec4 x, const AsymLanes& k, Vec4& p, Vec4& scale) {
    Vec4 t = clampLanes(x, k.expLow, k.expHigh) * k.log2e;
    Int4Raw whole = truncateToInt(t + k.roundingOffset) - static_cast<int>(kExpRoundingOffset - 0.5f);
    Vec4 f = t - toFloat(whole);
    Vec4 f2 = f * f;
    Vec4 f4 = f2 * f2;
    Vec4 low = (k.one + f * k.power1) + f2 * (k.power2 + f * k.power3);
    Vec4 high = (k.power4 + f * k.power5) + f2 * (k.power6 + f * k.power7);
    p = low + f4 * high;
    scale = Vec4(reinterpret_cast<Float4Raw>((whole + k.exponentBias) << 23));
}

Distortion::Distortion(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = mModL[i] = mModR[i] = getParameterDefault(i);
    // Coefficients for the default rate, so that even a module that never
    // sees setSampleRate shapes with a drive of 1 rather than dividing by 0.
    setSampleRate(mSampleRate);
}

// --- parameters and their texts ---------------------------------------------

float Distortion::driveGain(float v) {
    float d = 1.0f + kDriveShape * (v * v);
    d *= d;
    d *= d;
    return d * d;
}

float Distortion::centreHz(float v) { return kLowestCentreHz * std::exp2(kCentreOctaves * v); }

float Distortion::crossoverSine(float v, float rate) {
    float f = centreHz(v);
    if (f > kMaxCentreShare * rate) f = kMaxCentreShare * rate;
    return static_cast<float>(std::sin(kTwoPi * f / rate));
}

// --- control tick ------------------------------------------------------------

void Distortion::update() {
    mType = discreteIndex(mBase[kType], kNumTypeStates);
    if (mType >= kAsymA && mType <= kAsymC) {
        const AsymShape& shapeOfType = kAsymShapes[mType - kAsymA];
        mAsym.steep = Vec4(static_cast<float>(shapeOfType.steep));
        mAsym.steepOffset = Vec4(static_cast<float>(shapeOfType.steep * shapeOfType.offset));
        mAsym.scaleBySteep = Vec4(static_cast<float>(shapeOfType.scale / shapeOfType.steep));
        mAsym.epsilonScaled = Vec4(static_cast<float>(shapeOfType.scale * kOutputEpsilon));
    }
    mXover = discreteIndex(mBase[kXover], 2) == 1;
    // Switching the diffuser in or out would otherwise replay stale filter
    // memories into the band.
    bool diffuserOn = mBase[kDiffuse] >= kDiffuseOn;
    if (diffuserOn != mDiffuserOn) {
        clearFilterMemories();
        mDiffuserOn = diffuserOn;
    }
    refreshDiffuseGains();
    mDrive.setTarget(Vec4(1.0f, 1.0f, driveGain(mModR[kDrive]), driveGain(mModL[kDrive])), mRampFactor);
    // The band's sine term only when its centre moved.
    auto sineOf = [&](CoefficientCache<2>& cache, float v) {
        if (cache.changed({v, mSampleRate})) cache.value = crossoverSine(v, mSampleRate);
        return cache.value;
    };
    mSine.setTarget(Vec4(0.0f, 0.0f, sineOf(mSineCache[1], mModR[kFreq]), sineOf(mSineCache[0], mModL[kFreq])),
                    mRampFactor);
    mWidth.setTarget(Vec4(0.2f, 0.2f, bandwidthOf(mModR[kBandwidth]), bandwidthOf(mModL[kBandwidth])), mRampFactor);
    refreshCrossover();
}

// --- audio -------------------------------------------------------------------

inline void Distortion::asymmetricCurve(Vec4 band, Vec4& numerator, Vec4& denominator) {
    // In single precision on the lanes as they come: with x = e t, the curve
    // s (t / (1 - exp(-e t)) + 1e-15) / D is (s/e g(x) + s 1e-15) / D with
    // g(x) = x / (1 - exp(-x)), taken from its series near 0. One division
    // serves both forms.
    const AsymLanes& k = mAsym;
    Vec4 drive = mDrive.current;
    // x = e (D u - c), taken as (e D) u - e c so that the band passes one
    // multiply before x and -x; e D is formed beside it.
    Vec4 steepBand = (k.steep * drive) * band;
    Vec4 x = steepBand - k.steepOffset;
    Vec4 p, scale;
    expLanes(k.steepOffset - steepBand, k, p, scale);
    // Away from 0: numerator s/e x + s 1e-15 (1 - exp(-x)) and denominator
    // (1 - exp(-x)) D, with exp(-x) = p scale. The factors are applied to the
    // power of 2 beside the polynomial, so p meets one multiply and one
    // subtraction before the division.
    numerator = (k.scaleBySteep * x + k.epsilonScaled) - p * (k.epsilonScaled * scale);
    denominator = drive - p * (scale * drive);
    // Near 0 the series takes over. A signal spends little time there, so
    // the series is formed only when a lane needs it.
    Int4Raw near = (x.v < k.seriesLimit.v) & (x.v > k.minusSeriesLimit.v);
    if (__builtin_expect(laneBits(near) != 0, 0)) {
        Vec4 x2 = x * x;
        Vec4 g = (k.one + x * k.half) + x2 * (k.series2 + x2 * (k.series4 + x2 * k.series6));
        numerator = select(near, k.scaleBySteep * g + k.epsilonScaled, numerator);
        denominator = select(near, drive, denominator);
    }
}

// The curve, then its DC blocker (the curve's offset leaves a DC component
// behind; the blocker also zeroes lanes 0 and 1), the diffuser and the sum
// with the rest. Everything after the curve is linear: its gain is folded
// into the curve's numerator and the memories' shares are summed beside the
// curve, so the band meets one division and one addition on its way out.
// The memories themselves are fed from the curve's own value.
inline Vec4 Distortion::asymmetricOutput(Vec4 band, Vec4 rest) {
    Vec4 numerator, denominator;
    asymmetricCurve(band, numerator, denominator);
    Vec4 dcShare = mDc.memoryShare();
    Vec4 out;
    Vec4 curve = numerator / denominator;
    if (mDiffuserOn) {
        DiffuseTaps t = diffuseTaps();
        Vec4 offset = (t.delayedShare - mDiffuseGains.band * dcShare) + rest;
        out = (numerator * mDiffuseGains.bandAfterDc) / denominator + offset;
        diffusePush(t, mDc.gain * curve - dcShare);
    } else {
        out = (numerator * mDc.gain) / denominator + (rest - dcShare);
    }
    mDc.advance(curve);
    return out;
}

// Four allpass stages in series, each w = in - g d stored and g w + d passed
// on, with d the stage's delayed value. Written out, the output is
// g^4 band + (g^3 h d1 + g^2 h d2 + g h d3 + h d4) with h = 1 - g^2: the band
// reaches it through one multiply and one add, and the delayed values' share
// is formed beside the curve rather than after it.
inline Distortion::DiffuseTaps Distortion::diffuseTaps() const {
    const DiffuseGains& k = mDiffuseGains;
    DiffuseTaps t;
    t.d1 = mDiffuser.delayed(0);
    t.d2 = mDiffuser.delayed(1);
    t.d3 = mDiffuser.delayed(2);
    t.d4 = mDiffuser.delayed(3);
    t.hd1 = k.h * t.d1;
    t.hd2 = k.h * t.d2;
    t.hd3 = k.h * t.d3;
    t.delayedShare = ((t.hd1 * k.g + t.hd2) * k.g + t.hd3) * k.g + k.h * t.d4;
    return t;
}

void Distortion::refreshDiffuseGains() {
    DiffuseGains& k = mDiffuseGains;
    k.g = Vec4(mBase[kDiffuse] * kDiffuseGain);
    Vec4 g2 = k.g * k.g;
    k.h = mLanes.one - g2;
    k.band = g2 * g2;
    k.bandAfterDc = k.band * mDc.gain;
}

inline void Distortion::diffusePush(const DiffuseTaps& t, Vec4 band) {
    // The stages' own inputs, for their memories.
    Vec4 g = mDiffuseGains.g;
    Vec4 in2 = g * band + t.hd1;
    Vec4 in3 = g * in2 + t.hd2;
    Vec4 in4 = g * in3 + t.hd3;
    mDiffuser.push(band - g * t.d1, in2 - g * t.d2, in3 - g * t.d3, in4 - g * t.d4);
}

inline Vec4 Distortion::diffuse(Vec4 band) {
    DiffuseTaps t = diffuseTaps();
    Vec4 out = mDiffuseGains.band * band + t.delayedShare;
    diffusePush(t, band);
    return out;
}

inline Vec4 Distortion::shape(Vec4 band) {
    Vec4 drive = mDrive.current;
    switch (mType) {
        case kSymA:
        case kSymB:
        case kSymC: {
            Vec4 knee(kSymKnee[mType]);
            Vec4 a = mulAdd(drive, absLanes(band), Vec4(kCurveEpsilon));
            return band * (knee + drive) / (knee + a);
        }
        case kClip:
            // D u min(D |u| + eps, 1) / (D |u| + eps) is D u clipped to +-1;
            // the clamp gives the same without a division.
            return clamp(drive * band, Vec4(-1.0f), Vec4(1.0f));
        default: return band;
    }
}

// Band-pass coefficients from the sine term s and the quality B:
// alpha = s / 2B, q = 1 / (1 + alpha), c = 2 sqrt(1 - s^2) q and
// d = (1 - alpha) q, with alpha and q from one division.
inline Distortion::BandCoefficients Distortion::crossoverCoefficients(Vec4 s, Vec4 width) const {
    const LaneConstants& k = mLanes;
    Vec4 twoB = k.two * width;
    Vec4 r = k.one / (twoB * (twoB + s));
    Vec4 alpha = s * (twoB + s) * r;
    Vec4 q = twoB * twoB * r;
    return {alpha, k.two * squareRoot(max(k.one - s * s, k.zero)) * q, (k.one - alpha) * q};
}

inline Distortion::BandCoefficients Distortion::advanceCrossover() {
    mSine.current += mSine.increment;
    mWidth.current += mWidth.increment;
    return crossoverCoefficients(mSine.current, mWidth.current);
}

// While neither ramp moves (increments exactly 0) the per-sample
// coefficients would come out the same at every sample: they are formed once.
void Distortion::refreshCrossover() {
    Int4Raw moving = (mSine.increment.v != 0.0f) | (mWidth.increment.v != 0.0f);
    mBandSteady = laneBits(moving) == 0;
    if (mBandSteady) mBand = crossoverCoefficients(mSine.current, mWidth.current);
}

void Distortion::processSample(float* left, float* right) {
    mDrive.current += mDrive.increment;
    Vec4 x(0.0f, 0.0f, *right, *left);
    Vec4 band = x;
    Vec4 rest;
    if (mXover) {
        // Band-pass around the centre; its feed-forward is alpha rather than
        // alpha / (1 + alpha), so the band peaks at 1 + alpha. Band and rest
        // still sum back to the input.
        BandCoefficients bc = mBandSteady ? mBand : advanceCrossover();
        // The memories' share is summed first, so the input reaches the
        // band through one multiply and one subtraction.
        Vec4 y = bc.alpha * x - ((bc.alpha * mX2 - bc.c * mY1) + bc.d * mY2);
        mX2 = mX1;
        mX1 = x;
        mY2 = mY1;
        mY1 = flushDenormal(y);
        band = y;
        rest = x - y;
    }
    Vec4 out;
    if (mType >= kAsymA && mType <= kAsymC) {
        out = asymmetricOutput(band, rest);
    } else {
        band = shape(band);
        if (mDiffuserOn) band = diffuse(band);
        out = band + rest;
    }
    *left = out[3];
    *right = out[2];
}

// --- reset and sample rate -----------------------------------------------------

void Distortion::clearFilterMemories() {
    mX1 = mX2 = mY1 = mY2 = Vec4();
    mDc.clear();
    mDiffuser.clear();
}

void Distortion::resetSmoothing() {
    mDrive.snap();
    mSine.snap();
    mWidth.snap();
    refreshCrossover();
}

void Distortion::clearState() {
    resetSmoothing();
    clearFilterMemories();
}

void Distortion::DcBlocker::setSampleRate(float rate) {
    // Trapezoidal integrators prewarped to the corner: g = tan(w / 2) and the
    // Butterworth damping sqrt 2. The coefficients are formed in double and
    // rounded once.
    double g = std::tan(0.5 * kDcCornerRadians / rate);
    double a1 = 1.0 / (1.0 + g * (g + kSqrt2));
    auto lanes = [](double x) { return Vec4(0.0f, 0.0f, static_cast<float>(x), static_cast<float>(x)); };
    gain = lanes(a1);
    bandGain = lanes(kSqrt2 + g);
    bandStep = lanes(g * a1);
    lowStep = lanes(g * g * a1);
    clear();
}

void Distortion::setSampleRate(float rate) {
    mDc.setSampleRate(rate);
    refreshDiffuseGains();
    clearFilterMemories();
    Operator::setSampleRate(rate);
}

// --- what the editor's plot shows --------------------------------------------

void Distortion::transferCurve(const float* values, const double* input, double* output, int count) const {
    auto probe = plotprobe::instance<Distortion>(values, mSampleRate);
    const bool asymmetric = probe->mType >= kAsymA && probe->mType <= kAsymC;
    for (int i = 0; i < count; ++i) {
        const Vec4 band(static_cast<float>(input[i]));
        Vec4 y;
        if (asymmetric) {
            Vec4 numerator, denominator;
            probe->asymmetricCurve(band, numerator, denominator);
            y = numerator / denominator;
        } else {
            y = probe->shape(band);
        }
        output[i] = y[3];  // the left lane
    }
}

}  // namespace vh
