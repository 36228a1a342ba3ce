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

// Linear read at 10000 v. The top position reads entry 10000 with weight 1
// through the interval below it, so nothing beyond the last entry is touched
// (a ramp may also overshoot 0..1 by a rounding error).
inline float readLevels(const float* table, float v) {
    float position = std::min(std::max(v, 0.0f), 1.0f) * static_cast<float>(LoFi::kTableSteps);
    int i = std::min(static_cast<int>(position), LoFi::kTableSteps - 1);
    float f = position - static_cast<float>(i);
    return table[i] + (table[i + 1] - table[i]) * f;
}

// Nearest whole number, halves rounding up: floor(y + 0.5) without a libm
// call. Whole numbers beyond 2^30 only arise from absurd input; holding them
// there keeps the conversion to int defined (and turns NaN into a number).
inline float roundHalfUp(float y) {
    constexpr float kLimit = 1073741824.0f;
    float shifted = y + 0.5f;
    shifted = shifted > -kLimit ? shifted : -kLimit;  // compare-selects: minss/maxss
    shifted = shifted < kLimit ? shifted : kLimit;
    int whole = static_cast<int>(shifted);
    whole -= static_cast<float>(whole) > shifted;  // truncation went up for negatives
    return static_cast<float>(whole);
}

const char* const kNames[LoFi::kNumParams] = {"bits", "smplrate"};
const char* const kTitles[LoFi::kNumParams] = {"bits", "sample rate"};
}  // namespace

LoFi::LoFi(int slot, ModuleHost* owner) : Operator(slot, owner), mTable(levelTable().data()) {
    mBase[kBits] = getParameterDefault(kBits);
    mBase[kSampleRate] = getParameterDefault(kSampleRate);
}

// --- parameters -------------------------------------------------------------

float LoFi::holdRateHz(float v) {
    return kReferenceRate * static_cast<float>(std::exp(-kLnRateSpan * (1.0 - double(v))));
}

float LoFi::levelsPerUnit(float v) { return readLevels(levelTable().data(), v); }

void LoFi::getParameterName(int index, char* out) {
    copyText(out, kTextSize, (index >= 0 && index < kNumParams) ? kNames[index] : "---");
}

void LoFi::getParameterTitle(int index, char* out) {
    copyText(out, kTextSize, (index >= 0 && index < kNumParams) ? kTitles[index] : "");
}

void LoFi::getParameterDisplay(int index, char* out) {
    if (index == kBits)
        VH_TEXT(out, "%.1f", bitsOf(mBase[kBits]));
    else if (index == kSampleRate)
        VH_TEXT(out, "%d", static_cast<int>(holdRateHz(mBase[kSampleRate]) + 0.5f));
    else
        copyText(out, kTextSize, "---");
}

void LoFi::formatEditorValue(int index, float v, char* out, int) {
    if (index == kBits)
        VH_TEXT(out, "%.1f", bitsOf(v));
    else if (index == kSampleRate)
        VH_TEXT(out, "%d Hz", static_cast<int>(holdRateHz(v) + 0.5f));
    else
        out[0] = 0;
}

bool LoFi::parseEditorValue(int index, const char* text, float& value, int) {
    if (text == nullptr) return false;
    if (index == kBits) {
        double bits = std::min(std::max(readNumber(text), 1.0), 16.0);
        value = static_cast<float>((bits - 1.0) / 15.0);
        return true;
    }
    if (index == kSampleRate) {
        double hz = std::min(std::max(readNumber(text), double(kMinRateHz)), double(kReferenceRate));
        value = clampUnit(static_cast<float>(std::log(hz / kReferenceRate) / kLnRateSpan + 1.0));
        return true;
    }
    return false;
}

// --- control tick and audio -------------------------------------------------

void LoFi::update() {
    // Hold rate as a phase step per sample. A step above 1 takes a new value
    // every sample just as a step of 1 does, but its surplus would pile up in
    // the phase (at 8 kHz by 4.5 per sample) and, once the rate is lowered,
    // keep holding off the downsampling until the pile had drained.
    auto stepOf = [&](float v) { return std::min(holdRateHz(clampUnit(v)) / kReferenceRate * mRateFactor, 1.0f); };
    mLeft.bits.setTarget(clampUnit(mModL[kBits]), mRampFactor);
    mRight.bits.setTarget(clampUnit(mModR[kBits]), mRampFactor);
    mLeft.rate.setTarget(stepOf(mModL[kSampleRate]), mRampFactor);
    mRight.rate.setTarget(stepOf(mModR[kSampleRate]), mRampFactor);
}

float LoFi::Channel::process(float x, const float* table) {
    float bitsNow = bits.next();
    phase += rate.next();
    if (phase >= 1.0f) {
        phase -= 1.0f;
        if (bitsNow != levelsBits) {
            levelsBits = bitsNow;
            levels = readLevels(table, bitsNow);
            step = 1.0f / levels;
        }
        held = roundHalfUp(levels * x) * step;
    }
    return held;
}

// --- reset and rate -----------------------------------------------------------

void LoFi::resetSmoothing() {
    for (Channel* c : {&mLeft, &mRight}) {
        c->bits.snap();
        c->rate.snap();
    }
}

void LoFi::clearState() {
    for (Channel* c : {&mLeft, &mRight}) c->phase = c->held = 0.0f;
    resetSmoothing();
}

void LoFi::setSampleRate(float rate) {
    mRateFactor = rate > 0.0f ? kReferenceRate / rate : 1.0f;
    Operator::setSampleRate(rate);
}

}  // namespace vh
