#pragma once
// Four ramps side by side: the vector form of Ramp, for modules that keep
// their channels (or several smoothed values) in the lanes of a Vec4.

#include "modules/Vec4.h"

namespace vh {

struct LaneRamp {
    Vec4 current, target, increment;

    LaneRamp() = default;
    explicit LaneRamp(Vec4 start) : current(start), target(start) {}

    // Reaches the target after 1/rampFactor samples (one control tick); the
    // 1e-18 add-and-subtract flushes denormal increments to zero. A ramp's
    // rounded additions may leave it a hair off its last target, with a step
    // towards it too small to move it; such a lane lands on the target at
    // once, so a value that stands still is exactly what was set.
    void setTarget(Vec4 newTarget, float rampFactor) {
        target = newTarget;
        increment = ((target - current) * Vec4(rampFactor) + Vec4(1e-18f)) - Vec4(1e-18f);
        Int4Raw stuck = (current + increment).v == current.v;
        current = select(stuck, target, current);
        increment = select(stuck, Vec4(), increment);
    }
    void snap() {
        current = target;
        increment = Vec4();
    }
    Vec4 next() {
        current += increment;
        return current;
    }
};

}  // namespace vh
