// The engine leaves out per-sample work that would change nothing (a gain
// at rest at unity, settled smoothing, unused modulators). What it skips
// must follow the patch as it changes, sample for sample.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "PluginHost.h"
#include "modules/ParameterLayout.h"

using namespace vh;
using namespace vh::test;

namespace {
constexpr int kChainDelay = 3;  // one sample per operator-to-operator connection

std::vector<float> ramp(size_t n, float start) {
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = start + 0.0001f * float(i % 1000) * ((i & 1) ? -1.0f : 1.0f);
    return x;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }
}  // namespace

TEST(SkippedWork, AGainLeavingAndReturningToUnityIsHeardAndThenExact) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    host.set(param::kOutLimiter, 0.5f / 16.0f);  // off: the chain is seen directly
    std::vector<float> l = ramp(2048, 0.25f), r = ramp(2048, -0.25f);
    std::vector<float> inL = l;
    host.process(l, r);
    // Four unity gains in series: the input three samples later, bit for bit.
    for (size_t i = 1024; i < l.size(); ++i) ASSERT_TRUE(sameBits(l[i], inL[i - kChainDelay])) << i;

    host.set(param::kOpParams + kOperatorParams * 1, 0.5f);  // OP2 atten: 0.5^3
    l = ramp(2048, 0.25f);
    r = ramp(2048, -0.25f);
    inL = l;
    host.process(l, r);
    for (size_t i = 1024; i < l.size(); ++i) ASSERT_NEAR(l[i], 0.125f * inL[i - kChainDelay], 1e-6f) << i;

    host.set(param::kOpParams + kOperatorParams * 1, 1.0f);  // back to unity
    l = ramp(2048, 0.25f);
    r = ramp(2048, -0.25f);
    inL = l;
    host.process(l, r);
    for (size_t i = 1024; i < l.size(); ++i) ASSERT_TRUE(sameBits(l[i], inL[i - kChainDelay])) << i;
}
