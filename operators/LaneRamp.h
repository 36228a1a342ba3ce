#pragma once
// Four ramps side by side: the vector form of Ramp, for modules that keep
// their channels in the lanes of a Vec4.

#include "modules/Vec4.h"

namespace vh {

struct LaneRamp {
    Vec4 current, target, increment;

    // Reaches the target after 1/rampFactor samples (one control tick); the
    // 1e-18 add-and-subtract flushes denormal increments to zero.
    void setTarget(Vec4 newTarget, float rampFactor) {
        target = newTarget;
        increment = ((target - current) * Vec4(rampFactor) + Vec4(1e-18f)) - Vec4(1e-18f);
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
