// The audio loop's bookkeeping that only shows over time: meters that hold
// the block peaks until the editor reads them, and crossfades that start
// from a long-settled state.

#include <gtest/gtest.h>

#include <vector>

#include "PluginHost.h"
#include "modules/ParameterLayout.h"
#include "engine/Plugin.h"

using namespace vh;
using namespace vh::test;

namespace {
intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

void process(Plugin& plugin, std::vector<float>& l, std::vector<float>& r) {
    std::vector<float> outL(l.size()), outR(r.size());
    float* in[4] = {l.data(), r.data(), l.data(), r.data()};
    float* out[2] = {outL.data(), outR.data()};
    plugin.processReplacing(in, out, static_cast<int32_t>(l.size()));
    l.swap(outL);
    r.swap(outR);
}
}  // namespace

TEST(AudioLoop, MetersHoldEachChannelsPeakUntilRead) {
    Plugin plugin(quietHost);
    std::vector<float> l(512, 0.1f), r(512, -0.2f);
    l[100] = 0.3f;
    r[200] = -0.6f;
    process(plugin, l, r);
    // Later blocks that stay quieter must not lower the held peaks; by their
    // end the loud samples have also left the limiter's lookahead.
    for (int b = 0; b < 2; ++b) {
        std::vector<float> quietL(512, 0.05f), quietR(512, 0.05f);
        process(plugin, quietL, quietR);
    }
    // Unity gains, though the block's round-toward-zero mode leaves the
    // smoothed main controls a few ulps short of their values.
    float peaks[4];
    plugin.readMeters(peaks);
    EXPECT_NEAR(peaks[0], 0.3f, 1e-4f);  // input L
    EXPECT_NEAR(peaks[1], 0.6f, 1e-4f);  // input R
    EXPECT_NEAR(peaks[2], 0.3f, 1e-4f);  // output L: unity chain, below the limit
    EXPECT_NEAR(peaks[3], 0.6f, 1e-4f);  // output R
    plugin.readMeters(peaks);
    for (float p : peaks) EXPECT_EQ(p, 0.0f);
}

TEST(AudioLoop, BypassAfterALongSettledStretchStillFadesOverOneTick) {
    PluginHost host;
    ASSERT_TRUE(host.open());
    host.set(param::kOutLimiter, 0.5f / 16.0f);  // off: the fade is seen directly
    host.set(16, 0.0f);                          // OP1 "atten" fully down: silence
    std::vector<float> l(4096, 0.5f), r(4096, 0.5f);
    host.process(l, r);
    ASSERT_LT(l.back(), 1e-4f);

    host.set(param::kOpBypass1, 0.75f);
    std::vector<float> fadeL(256, 0.5f), fadeR(256, 0.5f);
    host.process(fadeL, fadeR);
    size_t start = 0;
    while (start < fadeL.size() && fadeL[start] < 1e-3f) ++start;
    ASSERT_LT(start, 64u);  // begins at the next control tick
    // 32 rising steps of 1/32 each, then the bypassed operator passes its input.
    for (size_t i = start; i < start + 31; ++i) EXPECT_NEAR(fadeL[i + 1] - fadeL[i], 0.5f / 32.0f, 1e-4f) << i;
    EXPECT_NEAR(fadeL[start], 0.5f / 32.0f, 1e-4f);
    EXPECT_NEAR(fadeL[start + 31], 0.5f, 1e-4f);
    EXPECT_NEAR(fadeL[start + 32], fadeL.back(), 1e-5f);
    EXPECT_NEAR(fadeL.back(), 0.5f, 1e-4f);
    EXPECT_EQ(fadeL, fadeR);
}
