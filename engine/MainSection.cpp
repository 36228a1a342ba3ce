#include "engine/MainSection.h"

#include <algorithm>
#include <cmath>

namespace vh {

MainSection::MainSection() : mDryL(kDryRing, 0.0f), mDryR(kDryRing, 0.0f) { setSampleRate(mSampleRate); }

void MainSection::setPower(float value) {
    publish(mPower, value);
    publish(mOn, discreteIndex(value, 2));
}

int MainSection::dryDelayLength(float value, float sampleRate) {
    int n = static_cast<int>(32769.0f * value);
    if (n > 32768) n = 32768;
    if (n < 0) n = 0;
    if (sampleRate < 80000.0f) return n / 4;
    if (sampleRate < 170000.0f) return n / 2;
    return n;
}

// The middle of the run of steps that give the length, half a step up from
// the start of that step: the product with 32769 then truncates to it
// whatever the float rounding. (A length stored as a fraction of the longest
// one would come back a sample long at high rates: 32769 steps share 32768
// samples there.)
float MainSection::dryDelayValue(int samples, float sampleRate) {
    const int longest = dryDelayLength(1.0f, sampleRate);
    if (samples <= 0) return 0.0f;
    if (samples >= longest) return 1.0f;
    const int stepsPerSample = 32768 / longest;
    const int step = samples * stepsPerSample + stepsPerSample / 2;
    return static_cast<float>((step + 0.5) / 32769.0);
}

void MainSection::setDryDelay(float value) {
    publish(mDryDelay, value);
    publish(mDryLength, dryDelayLength(value, mSampleRate));
}

void MainSection::setSampleRate(float rate) {
    mSampleRate = rate;
    mSmoothing = controlSmoothingCoefficient(rate);
    setDryDelay(mDryDelay);
}

void MainSection::beginTick() {
    for (int c = 0; c < kNumControls; ++c) mModulated[c][0] = mModulated[c][1] = mSmoothed[c];
}

void MainSection::clampModulation(int control) {
    for (float& m : mModulated[control]) m = clampUnit(m);
}

void MainSection::endTick() {
    for (int c = 0; c < 2; ++c) {
        if (mOn) {
            mGain[kInput][c].setTarget(4.0f * mModulated[kInput][c] * mModulated[kInput][c], kRampFactor);
            mGain[kOutput][c].setTarget(4.0f * mModulated[kOutput][c] * mModulated[kOutput][c], kRampFactor);
            mGain[kMix][c].setTarget(mModulated[kMix][c], kRampFactor);
        } else {
            // Off: the operators keep running, but only the dry signal is heard.
            mGain[kInput][c].setTarget(1.0f, kRampFactor);
            mGain[kOutput][c].setTarget(1.0f, kRampFactor);
            mGain[kMix][c].setTarget(0.0f, kRampFactor);
        }
    }
}

// A gain ramp with a zero increment stays where it is, unless it stood at
// -0, which adding +0 would turn into +0.
void MainSection::noteRamping() {
    bool moving = false;
    for (const auto& gains : mGain)
        for (const Ramp& gain : gains) moving = moving || gain.increment != 0.0f || std::signbit(gain.current);
    mRamping = moving;
}

void MainSection::reset() {
    for (int c = 0; c < kNumControls; ++c) mModulated[c][0] = mModulated[c][1] = mSmoothed[c] = mValue[c];
    std::fill(mDryL.begin(), mDryL.end(), 0.0f);
    std::fill(mDryR.begin(), mDryR.end(), 0.0f);
    mDryPos = 0;
}

void MainSection::settle() {
    for (auto& gains : mGain)
        for (Ramp& gain : gains) gain.snap();
}

}  // namespace vh
