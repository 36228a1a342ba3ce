#pragma once
// Output peak limiter with lookahead: the signal is delayed by N samples while
// a running window maximum tracks the largest peak of the last N samples; four
// one-pole envelope stages with staggered attack and release times follow that
// peak, and the delayed signal is divided by the largest of them (never below
// 1).

#include <algorithm>
#include <array>
#include <cmath>

#include "modules/Vec4.h"

namespace vh {

class Limiter {
public:
    static constexpr int kMaxLookahead = 512;

    // Lookahead length by rate (128 below 80 kHz, 256 below 170 kHz, else
    // 512) and the attack coefficients.
    void setSampleRate(float rate);
    // Release time in ms of the slowest stage; the stages spread down to 2 ms.
    void setReleaseTime(float releaseMs);
    void reset();

    int lookahead() const { return mLength; }

    void process(float inL, float inR, float& outL, float& outR) {
        float delayedL = mBufferL[mPos];
        float delayedR = mBufferR[mPos];
        mBufferL[mPos] = inL;
        mBufferR[mPos] = inR;

        // Written as maxima of absolute values so that they compile to
        // max instructions: on noise a branch on the sign is a coin toss.
        // A NaN on the right is passed over, one on the left becomes the
        // floor (max keeps its first argument unless the second is larger).
        float p = std::max(std::fabs(inL), std::fabs(inR));
        p = p > kPeakFloor ? p : kPeakFloor;
        mPeaks[mPos] = p;
        float windowMax = pushPeak(p);
        if (++mPos >= mLength) mPos = 0;

        // The four stages side by side, one per lane. The maxima are taken
        // as "larger than" tests, so a stage gone NaN never becomes the gain.
        const Vec4 peak(windowMax);
        Vec4 env = Vec4::load(mEnv);
        Vec4 c = select(peak.v >= env.v, Vec4::load(mAttack), Vec4::load(mRelease));
        env += c * (peak - env);
        env.store(mEnv);
        Vec4 g = maxLanes(env, Vec4(1.0f));
        float gain = g[0];
        for (int k = 1; k < kStages; ++k)
            if (g[k] > gain) gain = g[k];
        // The stages cannot always settle within the lookahead (a sudden
        // loud step at the top of a rate band, a lone peak just above 1):
        // where they have not reached the outgoing sample's own peak, that
        // peak is the gain, so nothing ever leaves above full scale. Samples
        // the envelopes already held keep their exact arithmetic.
        float delayedPeak = std::max(std::fabs(delayedL), std::fabs(delayedR));
        if (delayedPeak > gain) {
            outL = delayedL / delayedPeak;
            outR = delayedR / delayedPeak;
            return;
        }
        float inv = 1.0f / gain;
        outL = delayedL * inv;
        outR = delayedR * inv;
    }

private:
    static constexpr int kStages = 4;
    static constexpr float kPeakFloor = 0.00001f;

    // Stores the peak of the sample just written at the current position and
    // returns the maximum of the last N peaks. The window is split at the
    // start of the current run of N positions (van Herk / Gil-Werman): the
    // running maximum of the current run, and the suffix maxima of the run
    // before it, formed once per run. Exact, and without data-dependent
    // branches, so its cost does not depend on the signal.
    float pushPeak(float v) {
        mRunMax = std::max(mRunMax, v);
        float windowMax = std::max(mRunMax, mSuffixMax[mPos + 1]);
        if (mPos + 1 == mLength) closeRun();
        return windowMax;
    }
    void closeRun();

    std::array<float, kMaxLookahead> mBufferL{};
    std::array<float, kMaxLookahead> mBufferR{};
    std::array<float, kMaxLookahead> mPeaks{};
    // Suffix maxima of the previous run; entry N stays 0 (nothing before).
    std::array<float, kMaxLookahead + 1> mSuffixMax{};
    float mRunMax = 0.0f;
    int mPos = 0;
    int mLength = 128;
    float mRate = 44100.0f;
    float mReleaseMs = 70.0f;
    alignas(16) float mAttack[kStages] = {};
    alignas(16) float mRelease[kStages] = {};
    alignas(16) float mEnv[kStages] = {};
};

}  // namespace vh
