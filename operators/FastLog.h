#pragma once
// Base-2 logarithm and power on four lanes at once, for per-sample level
// detection and gain. Both work on the float's exponent field directly plus a
// short polynomial for the mantissa, so a dynamics processor can afford them
// at every sample. Errors: 2e-6 octaves for the logarithm (1.1e-5 dB of
// amplitude) and 2.5e-6 relative for the power (2.2e-5 dB): even a 5:1
// expander, which scales the level error by 4, stays far below 0.001 dB.

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

}  // namespace vh
