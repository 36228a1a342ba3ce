// The four-lane approximations hold the error bounds their users rely on,
// across the whole range each is used in.

#include <gtest/gtest.h>

#include <cmath>

#include "operators/FastMath.h"

using namespace vh;

namespace {
// Worst relative error of f against exact over n points of [lo, hi], four
// lanes at a time (the lanes see different arguments).
template <class Lanes, class Exact>
double worstRelativeError(Lanes f, Exact exact, double lo, double hi, int n = 40000) {
    double worst = 0.0;
    for (int i = 0; i < n; i += 4) {
        float x[4];
        for (int k = 0; k < 4; ++k) x[k] = static_cast<float>(lo + (hi - lo) * (i + k) / (n - 1));
        Vec4 y = f(Vec4(x[0], x[1], x[2], x[3]));
        for (int k = 0; k < 4; ++k) {
            double e = exact(static_cast<double>(x[k]));
            worst = std::max(worst, std::fabs(y[k] - e) / std::max(std::fabs(e), 1e-30));
        }
    }
    return worst;
}
}  // namespace

TEST(FastMath, SineAndCosineUpToAQuarterTurn) {
    const double halfPi = 1.5707963267948966;
    auto sine = [](Vec4 x) {
        Vec4 s, c;
        sinCosLanes(x, s, c);
        return s;
    };
    auto cosine = [](Vec4 x) {
        Vec4 s, c;
        sinCosLanes(x, s, c);
        return c;
    };
    EXPECT_LT(worstRelativeError(sine, [](double x) { return std::sin(x); }, 1e-6, halfPi), 3e-7);
    // Relative to the cosine's own size, down to where it is 0.03 (0.49 pi).
    EXPECT_LT(worstRelativeError(cosine, [](double x) { return std::cos(x); }, 0.0, 0.49 * 3.14159265358979), 5e-6);
    Vec4 s, c;
    sinCosLanes(Vec4(0.0f), s, c);
    EXPECT_EQ(s[0], 0.0f);
    EXPECT_EQ(c[0], 1.0f);
}

TEST(FastMath, TangentOfFilterCorners) {
    // tan(pi f / fs) for corners from 1 Hz at 384 kHz up to 0.49 of the rate.
    const double pi = 3.14159265358979;
    EXPECT_LT(worstRelativeError(tanLanes, [](double x) { return std::tan(x); }, pi / 384000.0, 0.49 * pi), 5e-6);
    EXPECT_LT(worstRelativeError(tanLanes, [](double x) { return std::tan(x); }, pi / 384000.0, 0.25 * pi), 5e-7);
}

TEST(FastMath, PowerAndLogarithmOfTwo) {
    // Over the gains and levels a dynamics processor meets, -180..+90 dB.
    EXPECT_LT(worstRelativeError(fastExp2, [](double x) { return std::exp2(x); }, -30.0, 15.0), 3.5e-6);
    // The logarithm's bound is absolute, in octaves.
    double worst = 0.0;
    for (double x = 1e-9; x < 3e4; x *= 1.0037) {
        Vec4 y = fastLog2(Vec4(static_cast<float>(x)));
        worst = std::max(worst, std::fabs(y[0] - std::log2(static_cast<double>(static_cast<float>(x)))));
    }
    EXPECT_LT(worst, 3.5e-6);
    // Out of range and NaN arguments still give normal numbers.
    Vec4 edges = fastExp2(Vec4(-1000.0f, 1000.0f, __builtin_nanf(""), 0.0f));
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(std::isnormal(edges[k])) << k;
    EXPECT_EQ(edges[3], 1.0f);
}
