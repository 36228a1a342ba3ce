#pragma once
// A linear per-sample ramp towards a target set once per control tick.

#include "modules/Conversions.h"

namespace vh {

struct Ramp {
    float current = 0.0f;
    float target = 0.0f;
    float increment = 0.0f;

    explicit Ramp(float start = 0.0f) : current(start), target(start) {}

    // Reaches the target after 1/rampFactor samples (one control tick). A
    // ramp's rounded additions may leave it a hair off its last target, with
    // a step towards it too small to move it; it then lands on the target at
    // once, so a value that stands still is exactly what was set.
    void setTarget(float newTarget, float rampFactor) {
        target = newTarget;
        increment = smoothingIncrement(target, current, rampFactor);
        if (current + increment == current) snap();
    }
    void snap() {
        current = target;
        increment = 0.0f;
    }
    // Whether the ramp stands still at exactly `value`.
    bool restsAt(float value) const { return increment == 0.0f && current == value; }
    // Advances first, then returns: the value to use for this sample.
    float next() {
        current += increment;
        return current;
    }
};

}  // namespace vh
