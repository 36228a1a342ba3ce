#include "operators/Phaser.h"

#include <cmath>

#include "operators/EqMath.h"
#include "operators/PlotProbe.h"

namespace vh {

namespace {

constexpr float kLowestCornerHz = 220.0f;
constexpr float kCornerOctaves = 4.0f;

// At 100 % loop feedback the chain's DC gain of one closes an integrator, so
// any offset or resonance grows without end. The loop signal is held inside
// +-1000 (+60 dBFS), far above any level the loop reaches while it decays,
// which keeps the output finite however long that setting runs.
constexpr float kLoopLimit = 1000.0f;

}  // namespace

Phaser::Phaser(int slot, ModuleHost* owner) : Operator(slot, owner) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
}

// --- parameters -------------------------------------------------------------

float Phaser::getParameterDefault(int index) { return index == kStages ? discreteValue(7, kMaxStages) : 0.0f; }

void Phaser::getParameterName(int index, char* out) {
    static const char* const kNames[kNumParams] = {"stage fb", "overallfb", "depth", "stages"};
    copyText(out, kTextSize, (index >= 0 && index < kNumParams) ? kNames[index] : "---");
}

void Phaser::getParameterTitle(int index, char* out) {
    static const char* const kTitles[kNumParams] = {"feedback", "overall feedback", "depth", "order"};
    copyText(out, kTextSize, (index >= 0 && index < kNumParams) ? kTitles[index] : "");
}

void Phaser::getParameterLabel(int index, char* out) {
    copyText(out, kTextSize, (index >= 0 && index < kStages) ? "%" : "");
}

void Phaser::getParameterDisplay(int index, char* out) {
    if (index >= 0 && index < kStages)
        VH_TEXT(out, "%.0f", 100.0f * mBase[index]);
    else if (index == kStages)
        VH_TEXT(out, "%d", stagesOf(mBase[kStages]));
    else
        copyText(out, kTextSize, "---");
}

void Phaser::formatEditorValue(int index, float value, char* out, int) {
    if (index >= 0 && index < kStages)
        VH_TEXT(out, "%.1f %%", 100.0f * value);
    else if (index == kStages)
        VH_TEXT(out, "%d", stagesOf(value));
    else
        out[0] = 0;
}

bool Phaser::parseEditorValue(int index, const char* text, float& value, int) {
    if (index >= 0 && index < kStages) return eq::parsePercentText(text, value);
    if (index == kStages) {
        double n = 0.0;
        if (!parseNumber(text, n)) return false;
        int stages = n < 1.0 ? 1 : n > kMaxStages ? kMaxStages : static_cast<int>(n);
        value = discreteValue(stages - 1, kMaxStages);
        return true;
    }
    return false;
}

float Phaser::allPassCoefficient(float v, float cornerScale) {
    float c = std::exp2(kCornerOctaves * v) * cornerScale;
    return (1.0f - c) / (1.0f + c);
}

// --- control rate -------------------------------------------------------------

void Phaser::update() {
    mNumStages = stagesOf(mBase[kStages]);
    mCoefficient.setTarget(Vec4(allPassCoefficient(mModL[kStageFeedback], mCornerScale),
                                allPassCoefficient(mModR[kStageFeedback], mCornerScale), 0.0f, 0.0f),
                           mRampFactor);
    mFeedback.setTarget(Vec4(mModL[kOverallFeedback], mModR[kOverallFeedback], 0.0f, 0.0f), mRampFactor);
    mDepth.setTarget(Vec4(depthGainOf(mModL[kDepth]), depthGainOf(mModR[kDepth]), 0.0f, 0.0f), mRampFactor);
}

// --- audio rate ---------------------------------------------------------------

void Phaser::processSample(float* left, float* right) {
    Vec4 a = mCoefficient.next();
    Vec4 depth = mDepth.next();
    Vec4 feedback = mFeedback.next();
    Vec4 x(*left, *right, 0.0f, 0.0f);
    Vec4 u = x + mLoop;
    // Stages go in pairs: the second output of a pair follows from the
    // pair's input as (z1 - a·z0) + a²·u, so the sample-to-sample loop waits
    // for one multiply-add per pair instead of one per stage. The stage states
    // take the denormal flush; the outputs pass on unflushed, which keeps the
    // flush off that loop as well.
    Vec4 aa = a * a;
    int i = 0;
    for (; i + 1 < mNumStages; i += 2) {
        Vec4 z0 = mStage[i], z1 = mStage[i + 1];
        Vec4 y1 = (z1 - a * z0) + aa * u;
        Vec4 y0 = z0 - a * u;
        mStage[i] = flushDenormal(u + a * y0);
        mStage[i + 1] = flushDenormal(y0 + a * y1);
        u = y1;
    }
    if (i < mNumStages) {
        Vec4 y = mStage[i] - a * u;
        mStage[i] = flushDenormal(u + a * y);
        u = y;
    }
    mLoop = clamp(flushDenormal(feedback * u), Vec4(-kLoopLimit), Vec4(kLoopLimit));
    Vec4 out = x + depth * u;
    *left = out[0];
    *right = out[1];
}

// --- reset and sample rate -------------------------------------------------------

void Phaser::resetSmoothing() {
    mCoefficient.snap();
    mDepth.snap();
    mFeedback.snap();
}

void Phaser::clearState() {
    resetSmoothing();
    for (Vec4& z : mStage) z = Vec4();
    mLoop = Vec4();
}

void Phaser::setSampleRate(float rate) {
    mCornerScale = kLowestCornerHz / rate;
    Operator::setSampleRate(rate);
}

// --- what the editor's plot shows --------------------------------------------

void Phaser::responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const {
    plotprobe::magnitudesDb<Phaser>(values, -1, false, mSampleRate, freqHz, count, outDb);
}

}  // namespace vh
