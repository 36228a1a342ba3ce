#pragma once
// Base-2 logarithm and power for per-sample level detection and gain. Both
// work on the float's exponent field directly plus a short polynomial for the
// mantissa, so a dynamics processor can afford them at every sample. Relative
// errors stay below 2e-7 (log) and 2e-7 (power), i.e. far below 0.001 dB.

#include <bit>
#include <cstdint>

namespace vh {

// log2(x) for a positive normal x. ln m = 2 atanh z with z = (m - 1)/(m + 1);
// with m folded into [sqrt(1/2), sqrt 2) |z| < 0.172, so four terms of the
// series leave an error below 5e-8.
inline float fastLog2(float x) {
    std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
    int exponent = static_cast<int>((bits >> 23) & 0xffu) - 127;
    float m = std::bit_cast<float>((bits & 0x007fffffu) | 0x3f800000u);
    if (m > 1.41421356f) {
        m *= 0.5f;
        exponent += 1;
    }
    float z = (m - 1.0f) / (m + 1.0f);
    float z2 = z * z;
    // 2/ln 2 times 1, 1/3, 1/5, 1/7
    float series = z * (2.88539008f + z2 * (0.961796694f + z2 * (0.577078016f + z2 * 0.412198583f)));
    return static_cast<float>(exponent) + series;
}

// 2^x, with x limited to -126..126 so the result is always a normal float
// (NaN counts as the lower end). Taylor series of e^(f ln 2) to the sixth
// power for the fraction f in -0.5..0.5: truncation error below 1.3e-7.
inline float fastExp2(float x) {
    if (!(x > -126.0f)) x = -126.0f;
    if (x > 126.0f) x = 126.0f;
    int whole = static_cast<int>(x + 127.5f) - 127;  // round to nearest; the sum is positive
    float f = x - static_cast<float>(whole);
    float p = 1.0f + f * (0.693147181f +
                          f * (0.240226507f +
                               f * (0.0555041087f + f * (0.00961812911f + f * (0.00133335581f + f * 0.000154035304f)))));
    return p * std::bit_cast<float>(static_cast<std::uint32_t>(whole + 127) << 23);
}

}  // namespace vh
