#pragma once
// Functions on four lanes at once, where the library's one-value-at-a-time
// versions would cost more than the work they serve.
//
// Base-2 logarithm and power, for per-sample level detection and gain. Both
// work on the float's exponent field directly plus a short polynomial for
// the mantissa, so a dynamics processor can afford them at every sample.
// Errors over the levels and gains a dynamics processor meets, the float
// rounding of the result included: 3.5e-6 octaves for the logarithm (2.1e-5
// dB of amplitude) and 3.5e-6 relative for the power (3e-5 dB): even a 5:1
// expander, which scales the level error by 4, stays far below 0.001 dB.
//
// Sine, cosine and tangent of angles up to a quarter turn, for the filters'
// coefficients at every control tick (a filter's corner is at most half the
// rate, so its angle never needs reducing).

#include "modules/Vec4.h"

namespace vh {

typedef int Int4Raw __attribute__((vector_size(16)));

// log2(x) for positive normal lanes. ln m = 2 atanh z with z = (m - 1)/(m + 1);
// with m folded into [sqrt(1/2), sqrt 2) |z| < 0.172, so three terms of the
// series leave an error below 2e-6.
inline Vec4 fastLog2(Vec4 x) {
    Int4Raw bits = reinterpret_cast<Int4Raw>(x.v);
    Int4Raw exponent = ((bits >> 23) & 0xff) - 127;
    Float4Raw m = reinterpret_cast<Float4Raw>((bits & 0x007fffff) | 0x3f800000);
    Int4Raw above = m > 1.41421356f;  // -1 where true
    m = above ? m * 0.5f : m;
    exponent -= above;
    Float4Raw z = (m - 1.0f) / (m + 1.0f);
    Float4Raw z2 = z * z;
    // 2/ln 2 times 1, 1/3, 1/5
    Float4Raw series = z * (2.88539008f + z2 * (0.961796694f + z2 * 0.577078016f));
    return Vec4(__builtin_convertvector(exponent, Float4Raw) + series);
}

// 2^x, with x limited to -126..126 so the result is always a normal float
// (NaN counts as the lower end). Taylor series of e^(f ln 2) to the fifth
// power for the fraction f in -0.5..0.5 (truncation error below 2.5e-6),
// evaluated in pairs (Estrin) to keep the dependency chain short.
inline Vec4 fastExp2(Vec4 in) {
    Float4Raw x = in.v > -126.0f ? in.v : Float4Raw{-126.0f, -126.0f, -126.0f, -126.0f};
    x = x < 126.0f ? x : Float4Raw{126.0f, 126.0f, 126.0f, 126.0f};
    // Round to nearest: the sum is positive, so truncation is floor.
    Int4Raw whole = __builtin_convertvector(x + 127.5f, Int4Raw) - 127;
    Float4Raw f = x - __builtin_convertvector(whole, Float4Raw);
    Float4Raw f2 = f * f;
    Float4Raw p = (1.0f + 0.693147181f * f) + f2 * ((0.240226507f + 0.0555041087f * f) +
                                                    f2 * (0.00961812911f + 0.00133335581f * f));
    return Vec4(p * reinterpret_cast<Float4Raw>((whole + 127) << 23));
}

// sin x and cos x for |x| <= pi/2, from their Taylor series to x^11 and x^12
// (truncation below 6e-8 at the ends of the range), evaluated in x^2.
inline void sinCosLanes(Vec4 in, Vec4& sine, Vec4& cosine) {
    Float4Raw x = in.v, x2 = x * x;
    Float4Raw x4 = x2 * x2;
    Float4Raw s = x * ((1.0f - x2 * (1.0f / 6)) + x4 * ((1.0f / 120 - x2 * (1.0f / 5040)) +
                                                        x4 * (1.0f / 362880 - x2 * (1.0f / 39916800))));
    Float4Raw c = (1.0f - x2 * 0.5f) + x4 * ((1.0f / 24 - x2 * (1.0f / 720)) +
                                             x4 * (1.0f / 40320 - x2 * (1.0f / 3628800) + x4 * (1.0f / 479001600)));
    sine = Vec4(s);
    cosine = Vec4(c);
}

// tan x for 0 <= x < pi/2. Near pi/2 the cosine is small and its rounding
// sets the error: 3e-6 relative at x = 0.49 pi (a corner at 0.49 of the
// sample rate), far less below.
inline Vec4 tanLanes(Vec4 x) {
    Vec4 s, c;
    sinCosLanes(x, s, c);
    return s / c;
}

}  // namespace vh
