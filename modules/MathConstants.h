#pragma once
// π, written once. Single-precision formulas use kPiF and kTwoPiF, the floats
// nearest π and 2π (3.1415927f and 6.2831855f; kTwoPiF is exactly 2·kPiF).

#include <cmath>

namespace vh {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 2.0 * kPi;
inline constexpr float kPiF = static_cast<float>(kPi);
inline constexpr float kTwoPiF = static_cast<float>(kTwoPi);

static_assert(kPiF == 3.1415927f && kTwoPiF == 6.2831855f && kTwoPiF == 2.0f * kPiF);

// The 100-point sine cycle the LFO and the reverb's modulation read: entry k
// (0..100) is sin(2πk/100) in single precision. Each keeps its own table
// around these entries, laid out for its own interpolation.
constexpr int kSineCycleSteps = 100;
inline float sineCycleEntry(int k) {
    return static_cast<float>(std::sin(2.0 * kPi * k / kSineCycleSteps));
}

}  // namespace vh
