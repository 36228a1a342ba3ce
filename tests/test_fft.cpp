// The four-lane split-radix real FFT: against a plain double-precision DFT,
// the transpose relation of the inverse, the pack/unpack tables and the
// independence of the lanes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "operators/FFT.h"
#include "modules/MathConstants.h"

using namespace vh;

namespace {


std::vector<Vec4> randomSignal(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<Vec4> x(n);
    for (auto& v : x) v = Vec4(dist(rng), dist(rng), dist(rng), dist(rng));
    return x;
}

// Time sample j of a frame sits at slot 2j below N/2 and 2(j - N/2) + 1 above.
int slotOf(int j, int n) { return j < n / 2 ? 2 * j : 2 * (j - n / 2) + 1; }

struct Spectrum {
    std::vector<double> re, im;
};

// Plain DFT of one lane of a slot-ordered buffer, in double precision.
Spectrum referenceDft(const std::vector<Vec4>& slots, int n, int lane) {
    std::vector<double> cosTable(n), sinTable(n), t(n);
    for (int i = 0; i < n; ++i) {
        cosTable[i] = std::cos(2.0 * kPi * i / n);
        sinTable[i] = std::sin(2.0 * kPi * i / n);
        t[i] = slots[slotOf(i, n)][lane];
    }
    Spectrum s{std::vector<double>(n / 2 + 1), std::vector<double>(n / 2 + 1)};
    for (int k = 0; k <= n / 2; ++k) {
        double re = 0.0, im = 0.0;
        for (int j = 0; j < n; ++j) {
            const int index = int((long(k) * j) % n);
            re += t[j] * cosTable[index];
            im -= t[j] * sinTable[index];
        }
        s.re[k] = re;
        s.im[k] = im;
    }
    return s;
}

bool sameBits(const std::vector<Vec4>& a, const std::vector<Vec4>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec4)) == 0;
}

class FftSizes : public ::testing::TestWithParam<int> {};

}  // namespace

// Float rounding in an FFT grows like eps * log2(N) times the signal's L2
// norm per bin (for uniform noise in -1..1, |x|_2 = sqrt(N/3)). The largest
// error over all bins measured about 0.45 of that at every size; the bound
// allows 2 of it. The DFT reference is double precision.
TEST_P(FftSizes, ForwardMatchesDoublePrecisionDft) {
    const int n = GetParam();
    ASSERT_TRUE(fft::isSupportedSize(n));
    std::vector<Vec4> x = randomSignal(n, 17u + n), data = x;
    fft::forward(data.data(), n);
    std::vector<Vec4> re(n / 2 + 1), im(n / 2 + 1);
    fft::unpack(n, data.data(), re.data(), im.data());

    const double norm = std::sqrt(n / 3.0);
    const double bound = 2.0 * 5.96e-8 * std::log2(double(n)) * norm;
    for (int lane = 0; lane < 4; ++lane) {
        Spectrum ref = referenceDft(x, n, lane);
        double worst = 0.0;
        for (int k = 0; k <= n / 2; ++k) {
            worst = std::max(worst, std::fabs(re[k][lane] - ref.re[k]));
            worst = std::max(worst, std::fabs(im[k][lane] - ref.im[k]));
        }
        EXPECT_LT(worst, bound) << "lane " << lane;
        EXPECT_EQ(im[0][lane], 0.0f);
        EXPECT_EQ(im[n / 2][lane], 0.0f);
    }
}

// The inverse is the transpose of the forward flow graph: <r x, y> = <x, u y>
// for any x, y, and u(r(x)) gives N/2 times each component, N times DC and
// Nyquist.
TEST_P(FftSizes, InverseIsTheTransposeOfForward) {
    const int n = GetParam();
    std::vector<Vec4> x = randomSignal(n, 3u + n), y = randomSignal(n, 5u + n);
    std::vector<Vec4> rx = x, uy = y;
    fft::forward(rx.data(), n);
    fft::inverse(uy.data(), n);
    for (int lane = 0; lane < 4; ++lane) {
        double left = 0.0, right = 0.0, scale = 0.0;
        for (int i = 0; i < n; ++i) {
            left += double(rx[i][lane]) * y[i][lane];
            right += double(x[i][lane]) * uy[i][lane];
            scale += std::fabs(double(rx[i][lane]) * y[i][lane]);
        }
        EXPECT_NEAR(left, right, 1e-5 * scale);
    }

    std::vector<Vec4> round = x;
    fft::forward(round.data(), n);
    fft::inverse(round.data(), n);
    for (int lane = 0; lane < 4; ++lane) {
        double dc = 0.0, nyquist = 0.0;
        for (int j = 0; j < n; ++j) {
            const double t = x[slotOf(j, n)][lane];
            dc += t / n;
            nyquist += (j % 2 ? -t : t) / n;
        }
        double worst = 0.0;
        for (int j = 0; j < n; ++j) {
            const double t = x[slotOf(j, n)][lane];
            // N/2 * x, plus another N/2 of the DC and Nyquist parts
            const double expected = n / 2.0 * (t + dc + (j % 2 ? -nyquist : nyquist));
            worst = std::max(worst, std::fabs(round[slotOf(j, n)][lane] - expected));
        }
        EXPECT_LT(worst, 1e-5 * n) << "lane " << lane;
    }
}

TEST_P(FftSizes, InverseGivesNTimesDcAndNyquistAndHalfNElsewhere) {
    const int n = GetParam();
    std::vector<double> wanted[3];
    std::vector<Vec4> data(n);
    // lane 0: DC 0.25; lane 1: Nyquist -0.5; lane 2: cosine at bin 3; lane 3: sine at bin n/2-1
    for (int j = 0; j < n; ++j) {
        const float c = float(std::cos(2.0 * kPi * 3 * j / n));
        const float s = float(std::sin(2.0 * kPi * (n / 2 - 1) * j / n));
        data[slotOf(j, n)] = Vec4(0.25f, j % 2 ? 0.5f : -0.5f, c, s);
    }
    std::vector<Vec4> round = data;
    fft::forward(round.data(), n);
    fft::inverse(round.data(), n);
    const double factor[4] = {double(n), double(n), n / 2.0, n / 2.0};
    for (int lane = 0; lane < 4; ++lane)
        for (int i = 0; i < n; ++i) ASSERT_NEAR(round[i][lane], factor[lane] * data[i][lane], 2e-6 * n) << lane;
}

TEST_P(FftSizes, UnpackOfPackIsTheIdentityAndTheLayoutIsAPermutation) {
    const int n = GetParam();
    std::vector<Vec4> re = randomSignal(n / 2 + 1, 7u), im = randomSignal(n / 2 + 1, 9u);
    im[0] = im[n / 2] = Vec4(0.0f);
    std::vector<Vec4> packed(n), re2(n / 2 + 1), im2(n / 2 + 1);
    fft::pack(n, re.data(), im.data(), packed.data());
    fft::unpack(n, packed.data(), re2.data(), im2.data());
    EXPECT_TRUE(sameBits(re, re2));
    EXPECT_TRUE(sameBits(im, im2));

    std::vector<Vec4> repacked(n);
    fft::pack(n, re2.data(), im2.data(), repacked.data());
    EXPECT_TRUE(sameBits(packed, repacked));

    std::vector<int> used(n, 0);
    fft::BinLayout layout = fft::binLayout(n);
    used[0]++;
    used[1]++;
    for (int k = 1; k < n / 2; ++k) {
        used[layout.position[k]]++;
        used[layout.position[k] + 1]++;
        EXPECT_EQ(std::fabs(layout.sign[k]), 1.0f);
    }
    for (int i = 0; i < n; ++i) EXPECT_EQ(used[i], 1) << i;
}

TEST_P(FftSizes, LanesAreIndependent) {
    const int n = GetParam();
    std::vector<Vec4> all = randomSignal(n, 11u);
    for (int lane = 0; lane < 4; ++lane) {
        std::vector<Vec4> one(n);
        for (int i = 0; i < n; ++i) one[i].set(lane, all[i][lane]);
        std::vector<Vec4> a = all, b = one;
        fft::forward(a.data(), n);
        fft::forward(b.data(), n);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(a[i][lane], b[i][lane]);
            for (int other = 0; other < 4; ++other) {
                if (other != lane) {
                    ASSERT_EQ(b[i][other], 0.0f);
                }
            }
        }
        fft::inverse(a.data(), n);
        fft::inverse(b.data(), n);
        for (int i = 0; i < n; ++i) ASSERT_EQ(a[i][lane], b[i][lane]);
    }
}

INSTANTIATE_TEST_SUITE_P(Fft, FftSizes, ::testing::Values(8, 16, 32, 64, 512, 1024, 2048, 4096));

TEST(Fft, OtherSizesAreLeftUntouched) {
    for (int n : {0, 4, 100, 513, 8192}) {
        EXPECT_FALSE(fft::isSupportedSize(n));
        std::vector<Vec4> x = randomSignal(16, 1u), copy = x;
        fft::forward(x.data(), n);
        fft::inverse(x.data(), n);
        EXPECT_TRUE(sameBits(x, copy));
    }
}
