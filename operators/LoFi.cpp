#include "operators/LoFi.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vh {

namespace {
// ln 20: the hold rate spans 44.1 kHz down to a twentieth of it.
constexpr double kLnRateSpan = 2.995732069015503;
constexpr float kMinRateHz = LoFi::kReferenceRate / 20.0f;  // 2205 Hz

using LevelTable = std::array<float, LoFi::kTableSteps + 1>;

// Entry i = 2^(15 i / 10000): the levels per unit from 1 bit (1) to 16 bits
// (32768), fine enough that a bits sweep sounds continuous.
const LevelTable& levelTable() {
    static const LevelTable table = [] {
        LevelTable t{};
        for (int i = 0; i <= LoFi::kTableSteps; ++i)
            t[i] = static_cast<float>(std::exp2(15.0 * i / LoFi::kTableSteps));
        return t;
    }();
    return table;
}

// Linear read at 10000 v, for lanes 0 and 1 (lanes 2 and 3 give 1). The
// top position reads entry 10000 with weight 1 through the interval below
// it, so nothing beyond the last entry is touched (a ramp may also overshoot
// 0..1 by a rounding error; NaN reads entry 0).
inline Vec4 readLevels(const float* table, Vec4 v) {
    Vec4 position = clampLanes(v, Vec4(), Vec4(1.0f)) * Vec4(static_cast<float>(LoFi::kTableSteps));
    Int4Raw i = truncateToInt(position);
    i = i < LoFi::kTableSteps - 1 ? i : LoFi::kTableSteps - 1;
    Vec4 f = position - toFloat(i);
    Vec4 below(table[i[0]], table[i[1]], 1.0f, 1.0f), above(table[i[0] + 1], table[i[1] + 1], 1.0f, 1.0f);
    return below + (above - below) * f;
}

// Nearest whole number, halves rounding up: floor(y + 0.5) without a libm
// call, on every lane. Whole numbers beyond +-2^30 only arise from absurd
// input; holding them there keeps the conversion to int defined (and
// turns NaN into a number).
inline Vec4 roundHalfUp(Vec4 y, const LaneConstants& k, Vec4 lowest, Vec4 highest) {
    Vec4 shifted = clampLanes(y + k.half, lowest, highest);
    Int4Raw whole = truncateToInt(shifted);
    whole += toFloat(whole).v > shifted.v;  // -1 where truncation went up (negatives)
    return toFloat(whole);
}

void bitsText(float v, char* out) { VH_TEXT(out, "%.1f", LoFi::bitsOf(v)); }
int roundedRateHz(float v) { return static_cast<int>(LoFi::holdRateHz(v) + 0.5f); }
void rateHostText(float v, char* out) { VH_TEXT(out, "%d", roundedRateHz(v)); }
void rateEditorText(float v, char* out) { VH_TEXT(out, "%d Hz", roundedRateHz(v)); }
bool parseBits(const char* text, float& value) {
    if (text == nullptr) return false;
    double bits = std::min(std::max(readNumber(text), 1.0), 16.0);
    value = static_cast<float>((bits - 1.0) / 15.0);
    return true;
}
bool parseRate(const char* text, float& value) {
    if (text == nullptr) return false;
    double hz = std::min(std::max(readNumber(text), double(kMinRateHz)), double(LoFi::kReferenceRate));
    value = clampUnit(static_cast<float>(std::log(hz / LoFi::kReferenceRate) / kLnRateSpan + 1.0));
    return true;
}

// The panel labels its controls with the host names.
constexpr ParameterInfo kParameters[LoFi::kNumParams] = {
    {.name = "bits", .title = "bits", .defaultValue = 1.0f, .modulatable = true, .hostText = bitsText,
     .editorText = bitsText, .parseText = parseBits},
    {.name = "smplrate", .title = "smplrate", .defaultValue = 1.0f, .modulatable = true, .hostText = rateHostText,
     .editorText = rateEditorText, .parseText = parseRate},
};
}  // namespace

LoFi::LoFi(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}), mTable(levelTable().data()) {
    mRamps.current = mRamps.target = Vec4(1.0f);
    mBase[kBits] = getParameterDefault(kBits);
    mBase[kSampleRate] = getParameterDefault(kSampleRate);
}

// --- parameters -------------------------------------------------------------

float LoFi::holdRateHz(float v) {
    return kReferenceRate * static_cast<float>(std::exp(-kLnRateSpan * (1.0 - double(v))));
}

float LoFi::levelsPerUnit(float v) { return readLevels(levelTable().data(), Vec4(v))[0]; }

// --- control tick and audio -------------------------------------------------

void LoFi::update() {
    // Hold rate as a phase step per sample. A step above 1 takes a new value
    // every sample just as a step of 1 does, but its surplus would pile up in
    // the phase (at 8 kHz by 4.5 per sample) and, once the rate is lowered,
    // keep holding off the downsampling until the pile had drained.
    // The exponential of the hold rate only when its control moved.
    auto stepOf = [&](CoefficientCache<2>& cache, float v) {
        if (cache.changed({v, mRateFactor}))
            cache.value = std::min(holdRateHz(clampUnit(v)) / kReferenceRate * mRateFactor, 1.0f);
        return cache.value;
    };
    mRamps.setTarget(Vec4(clampUnit(mModL[kBits]), clampUnit(mModR[kBits]), stepOf(mStepCache[0], mModL[kSampleRate]),
                          stepOf(mStepCache[1], mModR[kSampleRate])),
                     mRampFactor);
    // Bits that stand still through the tick have their levels read here,
    // once; moving bits are read afresh at each sample taken.
    mBitsMoving = (laneBits(mRamps.increment.v != mConstants.zero.v) & 3) != 0;
    if (!mBitsMoving) takeLevels(mRamps.current, Int4Raw{-1, -1, 0, 0});
}

void LoFi::takeLevels(Vec4 bits, Int4Raw lanes) {
    lanes &= bits.v != mLevelsBits.v;
    if ((laneBits(lanes) & 3) == 0) return;
    Vec4 levels = readLevels(mTable, bits);
    mLevelsBits = select(lanes, bits, mLevelsBits);
    mLevels = select(lanes, levels, mLevels);
    mStep = select(lanes, mConstants.one / levels, mStep);
}

void LoFi::processSample(float* left, float* right) {
    Vec4 ramps = mRamps.next();
    Vec4 phase = mPhase + upperHalf(ramps);
    Int4Raw take = phase.v >= mConstants.one.v;
    mPhase = phase - keepLanes(take, mConstants.one);
    if (laneBits(take) & 3) {
        if (mBitsMoving) takeLevels(ramps, take);
        Vec4 x(*left, *right, 0.0f, 0.0f);
        mHeld = select(take, roundHalfUp(mLevels * x, mConstants, mRoundLow, mRoundHigh) * mStep, mHeld);
    }
    *left = mHeld[0];
    *right = mHeld[1];
}

// --- reset and rate -----------------------------------------------------------

void LoFi::resetSmoothing() {
    mRamps.snap();
    mBitsMoving = false;
    takeLevels(mRamps.current, Int4Raw{-1, -1, 0, 0});
}

void LoFi::clearState() {
    mPhase = mHeld = Vec4();
    resetSmoothing();
}

void LoFi::setSampleRate(float rate) {
    mRateFactor = rate > 0.0f ? kReferenceRate / rate : 1.0f;
    Operator::setSampleRate(rate);
}

}  // namespace vh
