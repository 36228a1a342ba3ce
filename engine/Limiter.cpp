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
    mTree.fill(0.0f);
    mTree[0] = kSentinel;
    for (float& e : mEnv) e = 0.0f;
    mPos = 0;
    mTreePos = 0;
}

// Leaves live at N..2N-1; each inner node holds the larger of its children,
// so the root (slot 1) is the window maximum. Only the path from the changed
// leaf up is touched, and it stops as soon as a node no longer changes.
float Limiter::pushPeak(float v) {
    int q = mLength + mTreePos;
    float old = mTree[q];
    mTree[q] = v;
    if (v > old) {
        while (q > 1 && v > mTree[q ^ 1]) {
            q >>= 1;
            if (mTree[q] >= v) break;
            mTree[q] = v;
        }
    } else if (old > mTree[q ^ 1]) {
        while (q > 1) {
            q >>= 1;
            float larger = mTree[2 * q] > mTree[2 * q + 1] ? mTree[2 * q] : mTree[2 * q + 1];
            if (mTree[q] == larger) break;
            mTree[q] = larger;
        }
    }
    if (++mTreePos >= mLength) mTreePos = 0;
    return mTree[1];
}

}  // namespace vh
