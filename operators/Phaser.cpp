#include "operators/Phaser.h"

#include <cmath>

#include "operators/EqMath.h"

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
    const float* values[2] = {mModL, mModR};
    for (int c = 0; c < 2; ++c) {
        Channel& ch = mChannels[c];
        ch.coefficient.setTarget(allPassCoefficient(values[c][kStageFeedback], mCornerScale), mRampFactor);
        ch.feedback.setTarget(values[c][kOverallFeedback], mRampFactor);
        ch.depth.setTarget(depthGainOf(values[c][kDepth]), mRampFactor);
    }
}

// --- audio rate ---------------------------------------------------------------

float Phaser::processChannel(Channel& ch, float input) {
    float a = ch.coefficient.next();
    float depth = ch.depth.next();
    float feedback = ch.feedback.next();
    float u = input + ch.loop;
    for (int i = 0; i < mNumStages; ++i) {
        float y = flushDenormal(ch.stage[i] - a * u);
        ch.stage[i] = u + a * y;
        u = y;
    }
    float loop = flushDenormal(feedback * u);
    ch.loop = loop < -kLoopLimit ? -kLoopLimit : loop > kLoopLimit ? kLoopLimit : loop;
    return input + depth * u;
}

void Phaser::processSample(float* left, float* right) {
    *left = processChannel(mChannels[0], *left);
    *right = processChannel(mChannels[1], *right);
}

// --- reset and sample rate -------------------------------------------------------

void Phaser::resetSmoothing() {
    for (Channel& ch : mChannels) {
        ch.coefficient.snap();
        ch.depth.snap();
        ch.feedback.snap();
    }
}

void Phaser::clearState() {
    resetSmoothing();
    for (Channel& ch : mChannels) {
        for (float& z : ch.stage) z = 0.0f;
        ch.loop = 0.0f;
    }
}

void Phaser::setSampleRate(float rate) {
    mCornerScale = kLowestCornerHz / rate;
    Operator::setSampleRate(rate);
}

}  // namespace vh
