#include "operators/CompExp.h"

#include <cmath>
#include <cstring>

#include "operators/FastMath.h"

namespace vh {

namespace {

constexpr const char* kSourceNames[CompExp::kNumSources] = {"op in",   "op1 out", "op2 out",
                                                            "op3 out", "op4 out", "side in"};
constexpr const char* kOffOn[2] = {"off", "on"};
constexpr const char* kModeNames[CompExp::kNumModes] = {"compress", "expand", "---", "---"};
constexpr const char* kPeakRmsHostNames[2] = {"peak", "RMS"};
constexpr const char* kPeakRmsEditorNames[2] = {"peak", "rms"};

// 0.21544346^3 s = 10 ms
constexpr float kDefaultTime = 0.21544346f;
// Detector floor: keeps the level at or above -140 dB so the logarithm is defined.
constexpr float kKeyFloor = 1e-7f;
// Detector ceiling (+300 dB): an infinite key would turn the envelope into
// inf - inf = NaN for good; its square still fits a float.
constexpr float kKeyCeiling = 1e15f;
// 20*log10(2) and 10*log10(2): decibels per octave of amplitude and of power.
constexpr float kDbPerLog2Amplitude = 6.02059991f;
constexpr float kDbPerLog2Power = 3.01029996f;
// log2(1.1220184564590454), the single-precision 10^(1/20): octaves per dB.
constexpr float kLog2PerDb = 0.166096405f;

float clampFloat(double x, double lo, double hi) { return static_cast<float>(x < lo ? lo : (x > hi ? hi : x)); }

constexpr ParameterInfo onOff(const char* name, int defaultItem) {
    return {.name = name, .title = name, .defaultValue = discreteValue(defaultItem, 2), .steps = 2, .hostItems = kOffOn};
}
constexpr ParameterInfo detectorTime(const char* name) {
    return {.name = name, .title = name, .label = "ms", .defaultValue = kDefaultTime, .modulatable = true};
}

constexpr ParameterInfo kParameters[CompExp::kNumParams] = {
    {.name = "threshold", .title = "threshold", .label = "dB", .defaultValue = 1.0f, .modulatable = true,
     .text = linearText(-60.0f, 0.0f, "%.0f", "%.1f dB")},
    {.name = "ratio", .title = "ratio", .modulatable = true, .textSwitch = CompExp::kMode},
    {.name = "makeup", .title = "makeup", .label = "dB", .defaultValue = 0.5f, .modulatable = true,
     .text = linearText(-60.0f, 60.0f, "%.0f", "%.1f dB")},
    onOff("auto makeup", 1),
    {.name = "mode", .title = "type", .defaultValue = discreteValue(CompExp::kCompress, CompExp::kNumModes),
     .steps = CompExp::kNumModes, .hostItems = kModeNames, .choices = 2},
    {.name = "source", .title = "env src", .defaultValue = discreteValue(0, CompExp::kNumSources),
     .steps = CompExp::kNumSources, .hostItems = kSourceNames},
    detectorTime("attack"),
    detectorTime("release"),
    {.name = "peak/rms", .title = "env mode", .defaultValue = discreteValue(1, 2), .steps = 2,
     .hostItems = kPeakRmsHostNames, .editorItems = kPeakRmsEditorNames},
    onOff("listen", 0),
};

}  // namespace

CompExp::CompExp(int slot, ModuleHost* owner) : Operator(slot, owner, kParameters) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = mModL[i] = mModR[i] = getParameterDefault(i);
    update();
    resetSmoothing();
}

// --- parameters and their texts ---------------------------------------------

bool CompExp::ratioText(float v, int mode, char* out) {
    if (mode == kCompress) {
        float d = 1.0f - v;
        if (d <= 0.01f)
            copyText(out, kTextSize, "oo:1");
        else if (d < 0.1f)
            VH_TEXT(out, "%.1f:1", 1.0 / d);
        else
            VH_TEXT(out, "%.2f:1", 1.0 / d);
        return true;
    }
    if (mode == kExpand) {
        VH_TEXT(out, "%.2f:1", 1.0 + 4.0 * v);
        return true;
    }
    return false;
}

void CompExp::getParameterDisplay(int index, char* out) {
    float v = index >= 0 && index < kNumParams ? baseValue(index) : 0.0f;
    switch (index) {
        case kRatio:
            if (!ratioText(v, discreteIndex(baseValue(kMode), kNumModes), out)) copyText(out, kTextSize, "---");
            return;
        case kAttack:
        case kRelease: VH_TEXT(out, "%.1f", 1000.0f * timeSeconds(v)); return;
        default: Operator::getParameterDisplay(index, out);
    }
}

void CompExp::formatEditorValue(int index, float value, char* out, int mode) {
    switch (index) {
        case kRatio:
            // The ratio control follows the current mode.
            if (!ratioText(value, discreteIndex(baseValue(kMode), kNumModes), out)) copyText(out, kTextSize, "error");
            return;
        case kAttack:
        case kRelease: VH_TEXT(out, "%.0fms", 1000.0f * timeSeconds(value)); return;
        default: Operator::formatEditorValue(index, value, out, mode);
    }
}

float CompExp::parseRatio(const char* text, int mode) {
    if (mode != kExpand) {
        char head[kTextSize];
        copyText(head, sizeof head, text);
        char* colon = std::strchr(head, ':');
        if (equalsIgnoreCase(head, "oo") || equalsIgnoreCase(head, "oo:") || equalsIgnoreCase(head, "oo:1")) return 1.0f;
        if (colon) *colon = 0;
        double r = readNumber(head);
        // A ratio below 1:1 would expand; the compressor's range starts at 1:1.
        if (r <= 1.0) return 0.0f;
        return clampFloat(1.0 - 1.0 / r, 0.0, 1.0);
    }
    return clampFloat((readNumber(text) - 1.0) * 0.25, 0.0, 1.0);
}

bool CompExp::parseEditorValue(int index, const char* text, float& value, int mode) {
    if (text == nullptr) return false;
    switch (index) {
        case kRatio: value = parseRatio(text, discreteIndex(baseValue(kMode), kNumModes)); return true;
        case kAttack:
        case kRelease:
            value = std::pow(clampFloat(readNumber(text), 0.0, 1000.0) / 1000.0f, 1.0f / 3.0f);
            return true;
        default: return Operator::parseEditorValue(index, text, value, mode);
    }
}

// --- control tick ------------------------------------------------------------

float CompExp::detectorCoefficient(float seconds, float rate) {
    return timeConstantCoefficient(seconds, rate);  // 0 s: the envelope jumps to the new value
}

void CompExp::update() {
    // The switches are never modulated: read from the plain values.
    mAutoMakeup = discreteIndex(mBase[kAutoMakeup], 2) == 1;
    mMode = discreteIndex(mBase[kMode], kNumModes);
    mSourceIndex = discreteIndex(mBase[kSource], kNumSources);
    mRms = discreteIndex(mBase[kPeakRms], 2) == 1;
    mListen = discreteIndex(mBase[kListen], 2) == 1;
    auto lanes = [](float left, float right) { return Vec4(left, right, left, right); };
    mThreshold.setTarget(lanes(thresholdDb(mModL[kThreshold]), thresholdDb(mModR[kThreshold])), mRampFactor);
    mRatio.setTarget(lanes(mModL[kRatio], mModR[kRatio]), mRampFactor);
    mMakeup.setTarget(lanes(makeupDb(mModL[kMakeup]), makeupDb(mModR[kMakeup])), mRampFactor);
    // The detector's exponentials only when their times moved.
    auto coefficientOf = [&](CoefficientCache<2>& cache, float v) {
        if (cache.changed({v, mSampleRate})) cache.value = detectorCoefficient(timeSeconds(v), mSampleRate);
        return cache.value;
    };
    mAttack = lanes(coefficientOf(mTimeCache[0], mModL[kAttack]), coefficientOf(mTimeCache[1], mModR[kAttack]));
    mRelease = lanes(coefficientOf(mTimeCache[2], mModL[kRelease]), coefficientOf(mTimeCache[3], mModR[kRelease]));
}

// --- audio -------------------------------------------------------------------

void CompExp::processSample(float* left, float* right) {
    mThreshold.next();
    mRatio.next();
    mMakeup.next();
    Vec4 in(*left, *right, 0.0f, 0.0f);
    if (mSourceIndex == 0) mKey = in;
    if (mListen) {
        *left = mKey[0];
        *right = mKey[1];
        return;
    }
    Float4Raw x = max(mKey, -mKey).v;
    x = x >= kKeyFloor ? x : Float4Raw{kKeyFloor, kKeyFloor, kKeyFloor, kKeyFloor};  // NaN keys count as silence
    x = x < kKeyCeiling ? x : Float4Raw{kKeyCeiling, kKeyCeiling, kKeyCeiling, kKeyCeiling};
    if (mRms) x *= x;
    // Attack while the envelope is at or below the new value, release above it.
    Float4Raw e = mEnvelope.v;
    e += (x - e) * (e <= x ? mAttack.v : mRelease.v);
    mEnvelope = Vec4(e);
    Vec4 levelDb = fastLog2(mEnvelope) * Vec4(mRms ? kDbPerLog2Power : kDbPerLog2Amplitude);
    Vec4 g = gainDb(levelDb, mThreshold.current, mRatio.current, mMakeup.current, mMode, mAutoMakeup);
    Vec4 out = in * fastExp2(g * Vec4(kLog2PerDb));
    *left = out[0];
    *right = out[1];
}

// --- reset and sample rate -----------------------------------------------------

void CompExp::resetSmoothing() {
    mThreshold.snap();
    mRatio.snap();
    mMakeup.snap();
}

void CompExp::clearState() {
    // The detector restarts at 0 dBFS: the first samples count as loud and the
    // gain recovers along the release.
    mKey = Vec4();
    mEnvelope = Vec4(1.0f);
    resetSmoothing();
}

// --- what the editor's plot shows --------------------------------------------

double CompExp::transferAt(const float* values, double inputDb) const {
    const int mode = discreteIndex(values[kMode], kNumModes);
    const bool autoMakeup = discreteIndex(values[kAutoMakeup], 2) == 1;
    const Vec4 level(static_cast<float>(inputDb));
    const Vec4 gain = gainDb(level, Vec4(thresholdDb(values[kThreshold])), Vec4(values[kRatio]),
                             Vec4(makeupDb(values[kMakeup])), mode, autoMakeup);
    return inputDb + gain[0];
}

}  // namespace vh
