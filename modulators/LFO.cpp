#include "modulators/LFO.h"

#include <cmath>
#include <cstring>

#include "modulators/ModulatorCommon.h"
#include "modules/Rhythm.h"

namespace vh {

namespace {

// One sine cycle in 100 steps plus a guard entry, so the interpolation at
// the very end of the cycle (index 100) may read index 101. Entry k is
// stored beside entry k + 1, so one 8-byte load fetches both ends of the
// interval being interpolated.
constexpr int kSineSteps = 100;
struct SineTable {
    float value[kSineSteps + 2] = {};
    float pair[kSineSteps + 1][2] = {};  // value[k], value[k + 1]
    constexpr SineTable() {
        for (int k = 0; k <= kSineSteps; ++k)
            value[k] = static_cast<float>(std::sin(2.0 * 3.14159265358979323846 * k / kSineSteps));
        value[kSineSteps + 1] = 0.0f;
        for (int k = 0; k <= kSineSteps; ++k) {
            pair[k][0] = value[k];
            pair[k][1] = value[k + 1];
        }
    }
};
// Built at compile time (GCC evaluates sin in constant expressions), so no
// static-initialisation order can ever see it empty.
constexpr SineTable kSineTable;

const char* const kWaveformNames[LFO::kNumWaveforms] = {"sine", "square", "triangle", "saw", "s&h"};
const char* const kModeHostNames[LFO::kNumModes] = {"Hz", "rhythm"};
const char* const kModeEditorNames[LFO::kNumModes] = {"Hz", "tempo"};

constexpr ParameterInfo::Linear kPercent = linearText(0.0f, 100.0f, "%.1f", "%.1f");

constexpr ParameterInfo kParameters[LFO::kNumParams] = {
    {.name = "rate", .title = "rate", .label = "Hz", .defaultValue = discreteValue(kDefaultRhythmItem, kNumRhythmItems),
     .modulatable = true, .textSwitch = LFO::kMode},
    {.name = "smooth", .title = "smooth", .modulatable = true, .text = kPercent},
    {.name = "offset L", .title = "offsetL", .label = "deg", .defaultValue = 0.5f, .modulatable = true},
    {.name = "offset R", .title = "offsetR", .label = "deg", .defaultValue = 0.5f, .modulatable = true},
    {.name = "tilt", .title = "tilt", .defaultValue = 0.5f, .modulatable = true},
    {.name = "waveform", .title = "shape", .defaultValue = discreteValue(LFO::kSine, LFO::kNumWaveforms),
     .modulatable = true, .steps = LFO::kNumWaveforms, .hostItems = kWaveformNames},
    {.name = "mode", .title = "mode", .defaultValue = discreteValue(1, LFO::kNumModes), .steps = LFO::kNumModes,
     .hostItems = kModeHostNames, .editorItems = kModeEditorNames},
    {.name = "depth", .title = "depth", .label = "%", .defaultValue = 1.0f, .modulatable = true, .text = kPercent},
};

// Smoother corner: 20000 times the LFO rate at smooth 0 down to the rate
// itself at smooth 100 %.
constexpr float kSmoothCornerSpan = 20000.0f;

// Phase offsets and the tilt's editor text: -180..180 degrees around 0.5.
float degreesOf(float v) { return (v - 0.5f) * 360.0f; }
float valueOfDegrees(double x) {
    if (x < -180.0) x = -180.0;
    if (x > 180.0) x = 180.0;
    return static_cast<float>(x / 360.0 + 0.5);
}

// Position of the half-cycle point; a tilt of exactly 1 would divide zero by
// zero at the end of the cycle, so the second half's width never reaches 0.
constexpr float kMinHalfWidth = 1e-6f;

// Per lane: if tilt > u then 0.5 u / tilt, else 0.5 (u - 1) / (1 - tilt) + 1,
// with both halves sharing one division and one 0-or-1 term.
inline Vec4 warp(Vec4 u, Vec4 tilt, const LaneConstants& k, Vec4 minHalfWidth) {
    Int4Raw firstHalf = tilt.v > u.v;
    Vec4 secondHalfOne = select(firstHalf, k.zero, k.one);
    Vec4 width = maxLanes(k.one - tilt, minHalfWidth);
    Vec4 quotient = k.half * (u - secondHalfOne) / select(firstHalf, tilt, width);
    return quotient + secondHalfOne;
}

// Single wrap per lane: offsets are within half a cycle of the phase.
inline Vec4 wrapOnce(Vec4 u, const LaneConstants& k) {
    return u + (select(u.v < k.zero.v, k.one, k.zero) - select(u.v > k.one.v, k.one, k.zero));
}

// Offset of the sample-and-hold values below which both channels share one.
constexpr float kSharedHoldOffset = 0.01f;
// A fall of the warped phase by more than this means a new cycle began.
constexpr float kWrapThreshold = -0.001f;

}  // namespace

LFO::LFO(int slot, ModuleHost* owner)
    : Modulator(slot, owner, kParameters), mSineSteps(static_cast<float>(kSineSteps)), mMinHalfWidth(kMinHalfWidth) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = mModL[i] = mModR[i] = getParameterDefault(i);
}

// --- parameters and their texts -------------------------------------------

void LFO::getParameterDisplay(int index, char* out) {
    float v = (index >= 0 && index < kNumParams) ? baseValue(index) : 0.0f;
    switch (index) {
        case kRate:
            if (discreteIndex(baseValue(kMode), kNumModes) == 0)
                VH_TEXT(out, "%.2f", rateHz(v));
            else
                VH_TEXT(out, "%.2f", rhythmLength(discreteIndex(v, kNumRhythmItems)));
            break;
        case kOffsetL:
        case kOffsetR: VH_TEXT(out, "%.1f", degreesOf(v)); break;
        case kTilt: VH_TEXT(out, "%.1f", (v - 0.5f) * 200.0f); break;
        default: Modulator::getParameterDisplay(index, out); break;
    }
}

void LFO::formatEditorValue(int index, float value, char* out, int mode) {
    switch (index) {
        case kRate:
            if (mode == 0)
                VH_TEXT(out, "%.2fHz", rateHz(value));
            else
                copyText(out, kTextSize, rhythmName(discreteIndex(value, kNumRhythmItems)));
            break;
        case kOffsetL:
        case kOffsetR:
        case kTilt: VH_TEXT(out, "%.1f", degreesOf(value)); break;
        default: Modulator::formatEditorValue(index, value, out, mode); break;
    }
}

bool LFO::parseEditorValue(int index, const char* text, float& value, int mode) {
    switch (index) {
        case kRate:
            if (mode == 0)
                value = rateValueOfHz(static_cast<float>(readNumber(text)));
            else
                value = discreteValue(rhythmItemOfName(text, kDefaultRhythmItem), kNumRhythmItems);
            return true;
        case kOffsetL:
        case kOffsetR:
        case kTilt: value = valueOfDegrees(readNumber(text)); return true;
        default: return Modulator::parseEditorValue(index, text, value, mode);
    }
}

float LFO::rateValueOfHz(float hz) {
    if (!(hz > kMinRateHz)) return 0.0f;
    if (hz >= kMaxRateHz) return 1.0f;
    return std::sqrt((hz - kMinRateHz) / kRateSpanHz);
}

float LFO::rhythmRateHz(int item, float bpm) { return bpm / (240.0f * rhythmLength(item)); }

int LFO::nearestRhythmItemOfHz(float hz, float bpm) {
    int best = 0;
    float bestDistance = INFINITY;
    for (int i = 0; i < kNumRhythmItems; ++i) {
        float distance = std::fabs(rhythmRateHz(i, bpm) - hz);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

// The unit switch is read with two items like everywhere else; reading it
// with three would take values between 1/3 and 1/2 (Hz mode) for rhythm.
void LFO::valueChanged(int localIndex, float value) {
    if (localIndex == kMode) {
        bool wasRhythm = discreteIndex(baseValue(kMode), kNumModes) != 0;
        bool isRhythm = discreteIndex(value, kNumModes) != 0;
        float rate = -1.0f;
        if (wasRhythm && !isRhythm)
            rate = rateValueOfHz(rhythmRateHz(discreteIndex(baseValue(kRate), kNumRhythmItems), mTempo));
        else if (!wasRhythm && isRhythm)
            rate = discreteValue(nearestRhythmItemOfHz(rateHz(baseValue(kRate)), mTempo), kNumRhythmItems);
        if (rate >= 0.0f && mOwner) mOwner->setParameterPlain(globalIndex(kRate), rate);
    }
    Modulator::valueChanged(localIndex, value);
}

// --- control rate -----------------------------------------------------------

void LFO::setTempo(float bpm) { mTempo = acceptedTempo(bpm, mTempo); }

// The mode is read from its parameter, not from the last tick: a module just
// installed or switched must not be locked by the mode it had before.
void LFO::setSongPosition(float ppq) {
    if (discreteIndex(mBase[kMode], kNumModes) != 1 || !std::isfinite(ppq)) return;
    double cycleQuarters = 4.0 * rhythmLength(discreteIndex(mBase[kRate], kNumRhythmItems));
    double cycles = static_cast<double>(ppq) / cycleQuarters;
    double phase = cycles - std::floor(cycles);
    if (phase >= 1.0) phase = 0.0;  // rounding of a value just below a whole cycle
    if (!followsSongPosition(mPhase, phase, 1.0, ppq, cycleQuarters)) mPhase = phase;
}

void LFO::update() {
    mPlotPhase.store(mPhase, std::memory_order_relaxed);
    // Waveform and mode follow the base values: modulating them has no effect.
    mWaveform = discreteIndex(mBase[kWaveform], kNumWaveforms);
    mRhythmMode = discreteIndex(mBase[kMode], kNumModes);
    mInvSampleRate = 1.0f / mSampleRate;

    float rateTarget = mRhythmMode ? rhythmRateHz(discreteIndex(mBase[kRate], kNumRhythmItems), mTempo)
                                   : rateHz(mModL[kRate]);
    mRate.setTarget(rateTarget, mRampFactor);

    mGainRamps.setTarget(Vec4(smoothingCoefficient(mCoefCacheL, rateTarget, mModL[kSmooth]),
                              smoothingCoefficient(mCoefCacheR, rateTarget, mModR[kSmooth]), mModL[kDepth],
                              mModR[kDepth]),
                         mRampFactor);
    mShapeRamps.setTarget(Vec4(mModL[kOffsetL], mModR[kOffsetR], mModL[kTilt], mModR[kTilt]), mRampFactor);
}

float LFO::smoothingCoefficient(CoefficientCache<3>& cache, float rateHz, float smooth) const {
    if (cache.changed({rateHz, smooth, mSampleRate})) {
        float corner = 1.0f - smooth;
        float cornerHz = rateHz * std::pow(kSmoothCornerSpan, corner * corner);
        cache.value = onePoleCoefficient(kTwoPi * cornerHz / mSampleRate);
    }
    return cache.value;
}

// --- audio rate -------------------------------------------------------------

inline Vec4 LFO::sineAt(Vec4 w) const {
    // Ramps may overshoot 0..1 by a rounding step; never read past the guard.
    // The max also turns NaN into 0.
    Vec4 x = clampLanes(mSineSteps * w, mConstants.zero, mSineSteps);
    Int4Raw k = truncateToInt(x);
    Vec4 f = x - toFloat(k);
    // (here L, next L, here R, next R) times (1 - fL, fL, 1 - fR, fR), then
    // each pair summed: the same products and sums as a lane-by-lane read.
    typedef float Float2 __attribute__((vector_size(8)));
    Float2 left, right;
    std::memcpy(&left, kSineTable.pair[k[0]], sizeof(left));
    std::memcpy(&right, kSineTable.pair[k[1]], sizeof(right));
    Float4Raw ends = __builtin_shufflevector(left, right, 0, 1, 2, 3);
    Float4Raw weights = __builtin_shuffle((mConstants.one - f).v, f.v, Int4Raw{0, 4, 1, 5});
    Float4Raw products = ends * weights;
    Float4Raw sums = __builtin_shuffle(products, Int4Raw{0, 2, 0, 2}) + __builtin_shuffle(products, Int4Raw{1, 3, 1, 3});
    return Vec4(sums);
}

namespace {
inline float triangleAt(float w) {
    if (w < 0.25f) return 4.0f * w;
    if (w < 0.75f) return 1.0f - 4.0f * (w - 0.25f);
    return 4.0f * (w - 1.0f);
}

// The shapes that are a function of the warped phase alone.
inline Vec4 fixedShape(int waveform, Vec4 w) {
    switch (waveform) {
        case LFO::kSquare:  // high for the first half-cycle
            return select(w.v > 0.5f, Vec4(-1.0f), Vec4(1.0f));
        case LFO::kTriangle: return Vec4(triangleAt(w[0]), triangleAt(w[1]), 0.0f, 0.0f);
        case LFO::kSaw: return Vec4(2.0f) * w - Vec4(1.0f);
        default: return Vec4();
    }
}
}  // namespace

inline Vec4 LFO::otherShape(Vec4 w, Vec4 shape) {
    switch (mWaveform) {
        case kSquare:
        case kTriangle:
        case kSaw: return fixedShape(mWaveform, w);
        case kSampleHold: {
            // Both channels' wrap tests at once; the previous phases are read
            // as the vector they were stored as.
            int wrapped = laneBits((w - mPrevWarp).v < kWrapThreshold) & 3;
            if (!wrapped) return Vec4(mHeldL, mHeldR, 0.0f, 0.0f);
            float offsetL = shape[kOffsetLaneL], offsetR = shape[kOffsetLaneR];
            if (wrapped & 1) mHeldL = static_cast<float>(nextRandom()) / 32767.0f;
            if (wrapped & 2) {
                if (std::fabs(offsetL - offsetR) > kSharedHoldOffset)
                    mHeldR = static_cast<float>(nextRandom()) / 32767.0f;
                else
                    mHeldR = mHeldL;
            }
            return Vec4(mHeldL, mHeldR, 0.0f, 0.0f);
        }
        default: return Vec4();
    }
}

void LFO::processSample(float* outLeft, float* outRight) {
    float rate = mRate.next();
    Vec4 gain = mGainRamps.next();
    Vec4 shape = mShapeRamps.next();

    // Both channels side by side in lanes 0 and 1 (left, right).
    Vec4 phase(static_cast<float>(mPhase));
    Vec4 w = warp(wrapOnce(phase - (shape - mConstants.half), mConstants), upperHalf(shape), mConstants, mMinHalfWidth);

    // The sine, by far the most used shape, is tested before the others.
    Vec4 value = mWaveform == kSine ? sineAt(w) : otherShape(w, shape);
    // Lanes 2 and 3 carry whatever the shapes made of the tilts; keep the
    // smoother's spare lanes at zero.
    value = select(Int4Raw{-1, -1, 0, 0}, value, mConstants.zero);
    mPrevWarp = w;

    mPhase += static_cast<double>(rate * mInvSampleRate);
    if (mPhase > 1.0) mPhase -= 1.0;

    mSmooth = ((mSmooth + (value - mSmooth) * gain) + mConstants.flush) - mConstants.flush;
    Vec4 out = mSmooth * upperHalf(gain);
    *outLeft = out[0];
    *outRight = out[1];
}

// --- reset ------------------------------------------------------------------

void LFO::resetSmoothing() {
    mRate.snap();
    mGainRamps.snap();
    mShapeRamps.snap();
}

void LFO::clearState() {
    mPhase = 0.0;
    mSmooth = mPrevWarp = Vec4();
    mHeldL = mHeldR = 0.0f;
}

// --- what the editor's plot shows --------------------------------------------

double LFO::waveformAt(const float* values, double phase, int channel) const {
    // The waveform follows the base value, as in update.
    const int waveform = discreteIndex(mBase[kWaveform], kNumWaveforms);
    const Vec4 shape(values[kOffsetL], values[kOffsetR], values[kTilt], values[kTilt]);
    const Vec4 w = warp(wrapOnce(Vec4(static_cast<float>(phase)) - (shape - mConstants.half), mConstants),
                        upperHalf(shape), mConstants, mMinHalfWidth);
    Vec4 value;
    if (waveform == kSine)
        value = sineAt(w);
    else if (waveform == kSampleHold)
        value = Vec4(mHeldL, mHeldR, 0.0f, 0.0f);  // the values held now
    else
        value = fixedShape(waveform, w);
    return static_cast<double>(value[channel & 1] * values[kDepth]);
}

}  // namespace vh
