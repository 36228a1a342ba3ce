#include "operators/Rectifier.h"

#include <cmath>

namespace vh {

namespace {
constexpr double kTwoPiTenHz = 62.831854820251465;  // 2*pi*10, as a single-precision constant widened
constexpr double kSqrt2 = 1.41421356237309;

const char* const kOffOn[2] = {"off", "on"};
constexpr ParameterInfo kParameters[] = {
    {.name = "rectify", .title = "rectify", .steps = 2, .hostItems = kOffOn},
};
}  // namespace

Rectifier::Rectifier(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {}

// Second-order high-pass at 10 Hz, Q = 1/sqrt(2).
void Rectifier::setSampleRate(float rate) {
    mSampleRate = rate;
    mRampFactor = kRampFactor;
    double w = kTwoPiTenHz / rate;
    double alpha = std::sin(w) / kSqrt2;
    double d = 1.0 / (1.0 + alpha);
    mCoef.a1 = -2.0 * std::cos(w) * d;
    mCoef.a2 = (1.0 - alpha) * d;
    mCoef.b0 = (1.0 + std::cos(w)) * 0.5 * d;
    mCoef.b1 = -2.0 * mCoef.b0;
    mCoef.b2 = mCoef.b0;
}

double Rectifier::Channel::run(float input, const Coefficients& c) {
    double x = std::fabs(static_cast<double>(input));
    double y = c.b1 * x1 + c.b0 * x + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
    y2 = y1;
    y1 = flushDenormal(y);
    x2 = x1;
    x1 = x;
    return y;
}

}  // namespace vh
