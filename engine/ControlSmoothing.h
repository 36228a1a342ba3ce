#pragma once
// The smoothing of the controls a hand or a MIDI controller moves (the knobs,
// Input, Mix and Output): a 30 Hz one-pole per sample.
//
// A one-pole's step shrinks with the distance left until, some hundred float
// steps short of the target, it no longer moves the value: a value that
// stopped moving lands on its target, so unity gain is exactly 1 and a 100 %
// mix carries no trace of the dry signal. (No add-and-subtract denormal flush
// here: in the round-toward-zero mode the audio path runs in, that flush
// takes one float step off a positive value every sample and would hold the
// value below its target for good. Flush-to-zero takes care of a value
// decaying to 0.)

#include "modules/Conversions.h"
#include "modules/Vec4.h"

namespace vh {

// 2*pi*30 Hz in single precision.
constexpr float kTwoPiThirtyHz = 188.49556f;

inline float controlSmoothingCoefficient(float sampleRate) { return onePoleCoefficient(kTwoPiThirtyHz / sampleRate); }

inline float smoothTowards(float smoothed, float target, float coefficient) {
    float next = smoothed + (target - smoothed) * coefficient;
    return next == smoothed ? target : next;
}

inline Vec4 smoothTowards(Vec4 smoothed, Vec4 target, Vec4 coefficient) {
    Vec4 next = smoothed + (target - smoothed) * coefficient;
    return select(next.v == smoothed.v, target, next);
}

}  // namespace vh
