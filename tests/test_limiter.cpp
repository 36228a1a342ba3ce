// The output limiter against a plain model of it: the window maximum of the
// last N peaks found by brute force, the four stages and the division, on
// loud noise with silences, steps and lone peaks, at every lookahead.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <random>

#include "engine/Limiter.h"
#include "modules/Conversions.h"

namespace vh {
namespace {

class ModelLimiter {
public:
    ModelLimiter(float rate, float releaseMs) {
        length = rate < 80000.0f ? 128 : rate < 170000.0f ? 256 : 512;
        const float attackMs[4] = {32.0f, 25.0f, 9.0f, 1.0f};
        float step = (releaseMs - 2.0f) / 3.0f;
        for (int k = 0; k < 4; ++k) {
            attack[k] = onePoleCoefficient(1000.0 / (double(rate) * attackMs[k]));
            release[k] = onePoleCoefficient(1000.0 / (double(rate) * (releaseMs - k * step)));
        }
        delayedL.assign(length, 0.0f);
        delayedR.assign(length, 0.0f);
        peaks.assign(length, 0.0f);
    }
    void process(float inL, float inR, float& outL, float& outR) {
        float dl = delayedL.front(), dr = delayedR.front();
        delayedL.pop_front();
        delayedR.pop_front();
        delayedL.push_back(inL);
        delayedR.push_back(inR);
        peaks.pop_front();
        peaks.push_back(std::max({std::fabs(inL), std::fabs(inR), 0.00001f}));
        float windowMax = *std::max_element(peaks.begin(), peaks.end());
        float gain = 1.0f;
        for (int k = 0; k < 4; ++k) {
            env[k] += (windowMax >= env[k] ? attack[k] : release[k]) * (windowMax - env[k]);
            gain = std::max(gain, env[k]);
        }
        float own = std::max(std::fabs(dl), std::fabs(dr));
        if (own > gain) {
            outL = dl / own;
            outR = dr / own;
        } else {
            outL = dl * (1.0f / gain);
            outR = dr * (1.0f / gain);
        }
    }

private:
    int length;
    float attack[4], release[4], env[4] = {};
    std::deque<float> delayedL, delayedR, peaks;
};

TEST(Limiter, MatchesItsPlainModelExactly) {
    for (float rate : {44100.0f, 96000.0f, 192000.0f}) {
        for (float releaseMs : {200.0f, 30.0f}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, release " << releaseMs);
            Limiter limiter;
            limiter.setSampleRate(rate);
            limiter.setReleaseTime(releaseMs);
            limiter.reset();
            ModelLimiter model(rate, releaseMs);
            std::mt19937 random(17);
            std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
            for (int i = 0; i < 40000; ++i) {
                int section = (i / 3000) % 4;
                float gain = section == 0 ? 3.0f : section == 1 ? 0.0f : section == 2 ? 0.7f : 1.6f;
                float l = uniform(random) * gain, r = uniform(random) * gain * 0.5f;
                if (i % 977 == 0) l = 5.0f;  // lone peaks
                float gotL, gotR, wantL, wantR;
                limiter.process(l, r, gotL, gotR);
                model.process(l, r, wantL, wantR);
                ASSERT_EQ(gotL, wantL) << i;
                ASSERT_EQ(gotR, wantR) << i;
                ASSERT_LE(std::fabs(gotL), 1.0f) << i;
            }
        }
    }
}

}  // namespace
}  // namespace vh
