#include "modulators/ENV.h"

#include <cmath>

#include "modulators/ModulatorCommon.h"

namespace vh {

namespace {

const char* const kModeNames[ENV::kNumModes] = {"peak", "rms"};
const char* const kSourceHostNames[kNumTaps] = {"in", "op1", "op2", "op3", "op4", "out", "side"};
const char* const kSourceEditorNames[kNumTaps] = {"input",     "operator1", "operator2", "operator3",
                                                  "operator4", "output",    "sidechain"};

// 0.01^(1/3): 10 ms.
constexpr float kDefaultTime = 0.21544346f;
constexpr double kMaxSensDb = 24.0;
constexpr double kMinSensDb = -100.0;
constexpr float kMaxTimeMs = 1000.0f;

float timeValueOfMs(double ms) {
    if (ms < 0.0) ms = 0.0;
    if (ms > kMaxTimeMs) ms = kMaxTimeMs;
    return static_cast<float>(std::cbrt(ms / kMaxTimeMs));
}

constexpr ParameterInfo kParameters[ENV::kNumParams] = {
    {.name = "sens", .title = "sens", .label = "dB", .defaultValue = 0.5f, .modulatable = true},
    {.name = "attack", .title = "attack", .label = "ms", .defaultValue = kDefaultTime, .modulatable = true},
    {.name = "release", .title = "release", .label = "ms", .defaultValue = kDefaultTime, .modulatable = true},
    {.name = "link", .title = "l/r link", .label = "%", .defaultValue = 1.0f, .modulatable = true,
     .text = linearText(0.0f, 100.0f, "%.0f", "%.1f%%")},
    {.name = "mode", .title = "mode", .defaultValue = discreteValue(0, ENV::kNumModes), .steps = ENV::kNumModes,
     .hostItems = kModeNames},
    {.name = "source", .title = "source", .defaultValue = discreteValue(kTapInput, kNumTaps), .steps = kNumTaps,
     .hostItems = kSourceHostNames, .editorItems = kSourceEditorNames},
    {.name = "depth", .title = "depth", .label = "%", .defaultValue = 1.0f, .modulatable = true,
     .text = linearText(0.0f, 100.0f, "%.1f", "%.1f%%")},
};

}  // namespace

ENV::ENV(int slot, ModuleHost* owner) : Modulator(slot, owner, kParameters) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = mModL[i] = mModR[i] = getParameterDefault(i);
}

// --- parameters and their texts -------------------------------------------

void ENV::getParameterDisplay(int index, char* out) {
    float v = (index >= 0 && index < kNumParams) ? baseValue(index) : 0.0f;
    switch (index) {
        case kSens: levelText(sensGain(v), out, 0); break;
        case kAttack:
        case kRelease: VH_TEXT(out, "%.1f", 1000.0f * timeSeconds(v)); break;
        default: Modulator::getParameterDisplay(index, out); break;
    }
}

void ENV::formatEditorValue(int index, float value, char* out, int mode) {
    switch (index) {
        case kSens: {
            char level[kTextSize];
            levelText(sensGain(value), level, 0);
            VH_TEXT(out, "%sdB", level);
            break;
        }
        case kAttack:
        case kRelease: VH_TEXT(out, "%.0fms", 1000.0f * timeSeconds(value)); break;
        default: Modulator::formatEditorValue(index, value, out, mode); break;
    }
}

bool ENV::parseEditorValue(int index, const char* text, float& value, int mode) {
    switch (index) {
        case kSens: {
            if (isMinusInfinityText(text)) {
                value = 0.0f;
                return true;
            }
            double db = readNumber(text);
            if (db > kMaxSensDb) db = kMaxSensDb;
            value = db < kMinSensDb ? 0.0f : static_cast<float>(std::pow(std::pow(10.0, db / 20.0) / 16.0, 0.25));
            return true;
        }
        case kAttack:
        case kRelease: value = timeValueOfMs(readNumber(text)); return true;
        default: return Modulator::parseEditorValue(index, text, value, mode);
    }
}

float ENV::onePoleCoefficient(float seconds, float sampleRate) {
    return timeConstantCoefficient(seconds, sampleRate);
}

float ENV::timeCoefficient(CoefficientCache<2>& cache, float v) const {
    if (cache.changed({v, mSampleRate})) cache.value = onePoleCoefficient(timeSeconds(v), mSampleRate);
    return cache.value;
}

// --- control rate -----------------------------------------------------------

void ENV::setSampleRate(float rate) {
    Modulator::setSampleRate(rate);
    mHistory.setSampleRate(rate, kControlTick);
}

void ENV::update() {
    mMode = discreteIndex(mBase[kMode], kNumModes);
    mSource = discreteIndex(mBase[kSource], kNumTaps);

    mSensL = sensGain(mModL[kSens]);
    mSensR = sensGain(mModR[kSens]);
    mAttackL = timeCoefficient(mTimeCache[0], mModL[kAttack]);
    mAttackR = timeCoefficient(mTimeCache[1], mModR[kAttack]);
    mReleaseL = timeCoefficient(mTimeCache[2], mModL[kRelease]);
    mReleaseR = timeCoefficient(mTimeCache[3], mModR[kRelease]);

    mDepthL.setTarget(mModL[kDepth], mRampFactor);
    mDepthR.setTarget(mModR[kDepth], mRampFactor);

    // Display only: the editor draws the current level and the history.
    mLevelL = std::fmin(std::fabs(mInputL) * mSensL, 1.0f);
    mLevelR = std::fmin(std::fabs(mInputR) * mSensR, 1.0f);
    mHistory.record(mOutL, mOutR);
}

// --- audio rate -------------------------------------------------------------

void ENV::processSample(float* outLeft, float* outRight) {
    float depthL = mDepthL.next(), depthR = mDepthR.next();

    // Written as "below 1, else 1" so a non-finite input saturates instead of
    // reaching the detector.
    float d = std::fabs(mInputL) * mSensL;
    float e = std::fabs(mInputR) * mSensR;
    d = d < 1.0f ? d : 1.0f;
    e = e < 1.0f ? e : 1.0f;

    float louder = d > e ? d : e;
    float linkL = mModL[kLink], linkR = mModR[kLink];
    float xL = d * (1.0f - linkL) + linkL * louder;
    float xR = e * (1.0f - linkR) + linkR * louder;
    if (mMode) {
        xL *= xL;
        xR *= xR;
    }

    float coefL = mStateL <= xL ? mAttackL : mReleaseL;
    float coefR = mStateR <= xR ? mAttackR : mReleaseR;
    mStateL = flushDenormal(mStateL + (xL - mStateL) * coefL);
    mStateR = flushDenormal(mStateR + (xR - mStateR) * coefR);

    if (mMode) {
        mOutL = depthL * std::sqrt(mStateL);
        mOutR = depthR * std::sqrt(mStateR);
    } else {
        mOutL = depthL * mStateL;
        mOutR = depthR * mStateR;
    }
    *outLeft = mOutL;
    *outRight = mOutR;
}

// --- reset ------------------------------------------------------------------

void ENV::resetSmoothing() {
    mDepthL.snap();
    mDepthR.snap();
}

void ENV::clearState() {
    mInputL = mInputR = 0.0f;
    mStateL = mStateR = 0.0f;
}

}  // namespace vh
