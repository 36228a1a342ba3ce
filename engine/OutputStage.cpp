#include "engine/OutputStage.h"

#include "modules/Conversions.h"

namespace vh {

namespace {
// Release time of the slowest limiter stage per mode; other modes keep the
// previous time.
float limiterReleaseMs(int mode, float previous) {
    switch (mode) {
        case 1: return 200.0f;
        case 2: return 70.0f;
        case 3: return 30.0f;
        default: return previous;
    }
}
}  // namespace

OutputStage::OutputStage() {
    for (auto& m : mMeters) m.store(0.0f);
    mLimiter.setReleaseTime(mReleaseMs);
}

void OutputStage::setLimiterMode(float value) {
    publish(mValue, value);
    publish(mMode, discreteIndex(value, 16));
    mReleaseMs = limiterReleaseMs(mMode, mReleaseMs);
    mLimiter.setReleaseTime(mReleaseMs);
}

const char* OutputStage::modeName(int mode) {
    static const char* const kNames[4] = {"disabled", "slow", "moderate", "fast"};
    return mode >= 0 && mode < 4 ? kNames[mode] : "n/a";
}

void OutputStage::reset() {
    for (auto& m : mMeters) m.store(0.0f);
    mLimiter.reset();
}

void OutputStage::raiseMeters(Vec4 peaks) {
    for (int i = 0; i < 4; ++i)
        if (peaks[i] > mMeters[i].load(std::memory_order_relaxed)) mMeters[i].store(peaks[i], std::memory_order_relaxed);
}

void OutputStage::takeMeters(float peaks[4]) {
    for (int i = 0; i < 4; ++i) peaks[i] = mMeters[i].exchange(0.0f, std::memory_order_relaxed);
}

}  // namespace vh
