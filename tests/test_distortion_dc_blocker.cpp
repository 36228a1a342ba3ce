// The waveshaper's 10 Hz DC blocker runs in single precision; these check
// that it still has the response of the second-order Butterworth high-pass
// it was designed as, at the lowest common and a high sample rate.

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <complex>
#include <vector>

#include "ModuleHarness.h"
#include "operators/Distortion.h"

namespace {

using namespace vh;
using namespace vh::test;

// |H| of the bilinear Butterworth high-pass at 10 Hz, from its biquad
// coefficients in double precision.
double designedGain(double freqHz, double rate) {
    double w = 2.0 * kPi * 10.0 / rate;
    double cs = std::cos(w), alpha = std::sin(w) / std::sqrt(2.0), a0 = 1.0 + alpha;
    double b0 = (1.0 + cs) * 0.5 / a0, a1 = -2.0 * cs / a0, a2 = (1.0 - alpha) / a0;
    std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * freqHz / rate);
    std::complex<double> h = b0 * (1.0 - z1) * (1.0 - z1) / (1.0 + a1 * z1 + a2 * z1 * z1);
    return std::abs(h);
}

class DistortionDcBlocker : public ::testing::TestWithParam<float> {};

TEST_P(DistortionDcBlocker, MatchesTheDesignedHighPassWithinAHundredthOfADecibel) {
    const float rate = GetParam();
    const size_t n = static_cast<size_t>(rate);  // one second; the last half holds whole periods
    for (double f : {10.0, 100.0, 1000.0}) {
        Distortion::DcBlocker dc;
        dc.setSampleRate(rate);
        std::vector<float> in = sine(f, rate, n, 0.5), left(n), right(n), spare(n);
        for (size_t i = 0; i < n; ++i) {
            Vec4 out = dc.process(Vec4(in[i], in[i], -in[i], in[i]));
            left[i] = out[3];
            right[i] = out[2];
            spare[i] = std::fabs(out[0]) + std::fabs(out[1]);
        }
        double expected = toDb(designedGain(f, rate));
        EXPECT_NEAR(toDb(amplitudeAt(left, f, rate, n / 2, n) / 0.5), expected, 0.01) << f;
        EXPECT_NEAR(toDb(amplitudeAt(right, f, rate, n / 2, n) / 0.5), expected, 0.01) << f;
        EXPECT_EQ(peak(spare), 0.0);  // lanes 0 and 1 carry no signal
    }
    // The corner itself sits 3 dB down.
    EXPECT_NEAR(toDb(designedGain(10.0, rate)), -3.01, 0.01);
}

TEST_P(DistortionDcBlocker, ConstantInputDecaysToZero) {
    const float rate = GetParam();
    Distortion::DcBlocker dc;
    dc.setSampleRate(rate);
    const size_t n = static_cast<size_t>(rate);
    float last = 1.0f;
    for (size_t i = 0; i < n; ++i) last = dc.process(Vec4(0.0f, 0.0f, -0.7f, 0.7f))[3];
    EXPECT_LT(std::fabs(last), 1e-6f);
    // Once the input stops, the memories drain far below anything audible
    // and stop above the denormal range (their flush quantises them).
    float worst = 0.0f;
    for (size_t i = 0; i < 4 * n; ++i) {
        last = dc.process(Vec4())[3];
        if (i > 2 * n) worst = std::max(worst, std::fabs(last));
    }
    EXPECT_LT(worst, 1e-18f);
    EXPECT_TRUE(worst == 0.0f || std::isnormal(worst));
}

INSTANTIATE_TEST_SUITE_P(Rates, DistortionDcBlocker, ::testing::Values(44100.0f, 192000.0f));

}  // namespace
