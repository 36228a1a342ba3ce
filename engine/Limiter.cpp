#include "engine/Limiter.h"

#include <cmath>

#include "modules/Conversions.h"

namespace vh {

namespace {
// Attack times of the four stages in ms, slowest first.
constexpr float kAttackMs[4] = {32.0f, 25.0f, 9.0f, 1.0f};

float stageCoefficient(float ms, float rate) { return onePoleCoefficient(1000.0 / (double(rate) * ms)); }
}  // namespace

void Limiter::setSampleRate(float rate) {
    mRate = rate;
    int length = rate < 80000.0f ? 128 : rate < 170000.0f ? 256 : 512;
    if (length != mLength) {
        mLength = length;
        reset();
    }
    for (int k = 0; k < kStages; ++k) mAttack[k] = stageCoefficient(kAttackMs[k], rate);
    setReleaseTime(mReleaseMs);
}

void Limiter::setReleaseTime(float releaseMs) {
    mReleaseMs = releaseMs;
    float step = (releaseMs - 2.0f) / 3.0f;
    for (int k = 0; k < kStages; ++k) mRelease[k] = stageCoefficient(releaseMs - k * step, mRate);
}

void Limiter::reset() {
    mBufferL.fill(0.0f);
    mBufferR.fill(0.0f);
    mPeaks.fill(0.0f);
    mSuffixMax.fill(0.0f);
    mRunMax = 0.0f;
    for (float& e : mEnv) e = 0.0f;
    mPos = 0;
}

void Limiter::closeRun() {
    float suffix = 0.0f;
    for (int i = mLength - 1; i >= 0; --i) {
        suffix = std::max(suffix, mPeaks[i]);
        mSuffixMax[i] = suffix;
    }
    mRunMax = 0.0f;
}

}  // namespace vh
