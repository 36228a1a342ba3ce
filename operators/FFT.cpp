#include "operators/FFT.h"

#include <cmath>
#include <vector>

namespace vh::fft {

namespace {

constexpr int kMaxLog2 = 12;  // 4096
constexpr double kTwoPi = 6.283185307179586476925;

// Complex values are pairs of consecutive vectors (real part, imaginary part);
// a complex transform of M points spans 2M vectors.

// Twiddles of one complex pass of size M, entry j < M/4: w^j and w^3j with
// w = e^(-2 pi i / M), given as cosine and sine of the positive angle.
struct ComplexTwiddle {
    Vec4 c1, s1, c3, s3;
};
// Twiddles of one real pass of size N, entry j < N/4: angle 2 pi j / N.
struct RealTwiddle {
    Vec4 c, s;
};

struct Tables {
    std::vector<ComplexTwiddle> complex[kMaxLog2 + 1];
    std::vector<RealTwiddle> real[kMaxLog2 + 1];
    std::vector<int> position[kMaxLog2 + 1];
    std::vector<float> sign[kMaxLog2 + 1];

    Tables() {
        for (int lg = 3; lg <= kMaxLog2; ++lg) {
            const int size = 1 << lg;
            complex[lg].resize(size / 4);
            for (int j = 0; j < size / 4; ++j) {
                const double a = kTwoPi * j / size;
                complex[lg][j] = {Vec4(float(std::cos(a))), Vec4(float(std::sin(a))), Vec4(float(std::cos(3.0 * a))),
                                  Vec4(float(std::sin(3.0 * a)))};
            }
            real[lg].resize(size / 4);
            for (int j = 0; j < size / 4; ++j) {
                const double a = kTwoPi * j / size;
                real[lg][j] = {Vec4(float(std::cos(a))), Vec4(float(std::sin(a)))};
            }
            buildLayout(lg);
        }
    }

    // Output position (complex index) of bin k of the complex transform of
    // size m, following the recursion: even bins in the first half, bins
    // 4k+1 in the third quarter, bins 4k+3 in the fourth.
    static std::vector<int> complexOrder(int m) {
        if (m <= 2) return m == 2 ? std::vector<int>{0, 1} : std::vector<int>{0};
        std::vector<int> half = complexOrder(m / 2), quarter = complexOrder(m / 4), order(m);
        for (int k = 0; k < m / 2; ++k) order[2 * k] = half[k];
        for (int k = 0; k < m / 4; ++k) {
            order[4 * k + 1] = m / 2 + quarter[k];
            order[4 * k + 3] = 3 * m / 4 + quarter[k];
        }
        return order;
    }

    // Real transform of size n: even bins come from the half-size real
    // transform in the first half; the second half holds the complex
    // transform of size n/4 whose bin m is X(4m+1), or the conjugate of
    // X(n - 4m - 1) when 4m+1 lies above Nyquist.
    static void realOrder(int n, std::vector<int>& pos, std::vector<float>& sgn) {
        pos.assign(n / 2 + 1, 0);
        sgn.assign(n / 2 + 1, 0.0f);
        pos[0] = 0;
        pos[n / 2] = 1;
        if (n == 2) return;
        std::vector<int> halfPos;
        std::vector<float> halfSign;
        realOrder(n / 2, halfPos, halfSign);
        for (int m = 0; m <= n / 4; ++m) {
            pos[2 * m] = halfPos[m];
            sgn[2 * m] = halfSign[m];
        }
        std::vector<int> order = complexOrder(n / 4);
        for (int m = 0; m < n / 4; ++m) {
            const int index = n / 2 + 2 * order[m];
            const int bin = 4 * m + 1;
            if (bin < n / 2) {
                pos[bin] = index;
                sgn[bin] = 1.0f;
            } else {
                pos[n - bin] = index;
                sgn[n - bin] = -1.0f;
            }
        }
    }

    void buildLayout(int lg) { realOrder(1 << lg, position[lg], sign[lg]); }
};

const Tables& tables() {
    static const Tables instance;
    return instance;
}

int log2Of(int n) {
    for (int lg = 3; lg <= kMaxLog2; ++lg)
        if (n == (1 << lg)) return lg;
    return -1;
}

// ---------------------------------------------------------------------------
// Complex forward transforms (decimation in frequency).

inline void c2(Vec4* a) {
    const Vec4 r0 = a[0], i0 = a[1], r1 = a[2], i1 = a[3];
    a[0] = r0 + r1;
    a[1] = i0 + i1;
    a[2] = r0 - r1;
    a[3] = i0 - i1;
}

// Outputs X0, X2, X1, X3.
inline void c4(Vec4* a) {
    const Vec4 ur = a[0] + a[4], ui = a[1] + a[5], vr = a[2] + a[6], vi = a[3] + a[7];
    const Vec4 d1r = a[0] - a[4], d1i = a[1] - a[5], d2r = a[2] - a[6], d2i = a[3] - a[7];
    a[0] = ur + vr;
    a[1] = ui + vi;
    a[2] = ur - vr;
    a[3] = ui - vi;
    a[4] = d1r + d2i;
    a[5] = d1i - d2r;
    a[6] = d1r - d2i;
    a[7] = d1i + d2r;
}

// One split-radix stage: the first half keeps the sums (input of the
// half-size transform), the third and fourth quarters receive the
// differences turned by w^j and w^3j.
void complexPass(Vec4* a, int m, const ComplexTwiddle* w) {
    const int q = m / 4;
    Vec4* z0 = a;
    Vec4* z1 = a + 2 * q;
    Vec4* z2 = a + 4 * q;
    Vec4* z3 = a + 6 * q;
    for (int j = 0; j < q; ++j) {
        const Vec4 r0 = z0[2 * j], i0 = z0[2 * j + 1], r1 = z1[2 * j], i1 = z1[2 * j + 1];
        const Vec4 r2 = z2[2 * j], i2 = z2[2 * j + 1], r3 = z3[2 * j], i3 = z3[2 * j + 1];
        const Vec4 d1r = r0 - r2, d1i = i0 - i2, d2r = r1 - r3, d2i = i1 - i3;
        z0[2 * j] = r0 + r2;
        z0[2 * j + 1] = i0 + i2;
        z1[2 * j] = r1 + r3;
        z1[2 * j + 1] = i1 + i3;
        // (d1 - i d2) w^j and (d1 + i d2) w^3j, with (x + iy)(c - is) = (xc + ys) + i(yc - xs)
        const Vec4 pr = d1r + d2i, pi = d1i - d2r, qr = d1r - d2i, qi = d1i + d2r;
        const ComplexTwiddle& t = w[j];
        z2[2 * j] = pr * t.c1 + pi * t.s1;
        z2[2 * j + 1] = pi * t.c1 - pr * t.s1;
        z3[2 * j] = qr * t.c3 + qi * t.s3;
        z3[2 * j + 1] = qi * t.c3 - qr * t.s3;
    }
}

void complexForward(Vec4* a, int lg, const Tables& t) {
    switch (lg) {
        case 0: return;
        case 1: c2(a); return;
        case 2: c4(a); return;
        default: break;
    }
    const int m = 1 << lg;
    complexPass(a, m, t.complex[lg].data());
    complexForward(a, lg - 1, t);
    complexForward(a + m, lg - 2, t);
    complexForward(a + m + m / 2, lg - 2, t);
}

// ---------------------------------------------------------------------------
// Complex inverse transforms: each pass and codelet the transpose of its
// forward counterpart (conjugate twiddles, butterflies reversed).

inline void c4Inverse(Vec4* a) {
    const Vec4 ur = a[0] + a[2], ui = a[1] + a[3], vr = a[0] - a[2], vi = a[1] - a[3];
    const Vec4 d1r = a[4] + a[6], d1i = a[5] + a[7], d2r = a[7] - a[5], d2i = a[4] - a[6];
    a[0] = ur + d1r;
    a[1] = ui + d1i;
    a[4] = ur - d1r;
    a[5] = ui - d1i;
    a[2] = vr + d2r;
    a[3] = vi + d2i;
    a[6] = vr - d2r;
    a[7] = vi - d2i;
}

void complexPassInverse(Vec4* a, int m, const ComplexTwiddle* w) {
    const int q = m / 4;
    Vec4* z0 = a;
    Vec4* z1 = a + 2 * q;
    Vec4* z2 = a + 4 * q;
    Vec4* z3 = a + 6 * q;
    for (int j = 0; j < q; ++j) {
        const ComplexTwiddle& t = w[j];
        const Vec4 ur = z0[2 * j], ui = z0[2 * j + 1], vr = z1[2 * j], vi = z1[2 * j + 1];
        const Vec4 xr = z2[2 * j], xi = z2[2 * j + 1], yr = z3[2 * j], yi = z3[2 * j + 1];
        // conjugate twiddles: (x + iy)(c + is) = (xc - ys) + i(yc + xs)
        const Vec4 pr = xr * t.c1 - xi * t.s1, pi = xi * t.c1 + xr * t.s1;
        const Vec4 qr = yr * t.c3 - yi * t.s3, qi = yi * t.c3 + yr * t.s3;
        const Vec4 d1r = pr + qr, d1i = pi + qi, d2r = qi - pi, d2i = pr - qr;
        z0[2 * j] = ur + d1r;
        z0[2 * j + 1] = ui + d1i;
        z2[2 * j] = ur - d1r;
        z2[2 * j + 1] = ui - d1i;
        z1[2 * j] = vr + d2r;
        z1[2 * j + 1] = vi + d2i;
        z3[2 * j] = vr - d2r;
        z3[2 * j + 1] = vi - d2i;
    }
}

void complexInverse(Vec4* a, int lg, const Tables& t) {
    switch (lg) {
        case 0: return;
        case 1: c2(a); return;  // symmetric: its own transpose
        case 2: c4Inverse(a); return;
        default: break;
    }
    const int m = 1 << lg;
    complexInverse(a + m + m / 2, lg - 2, t);
    complexInverse(a + m, lg - 2, t);
    complexInverse(a, lg - 1, t);
    complexPassInverse(a, m, t.complex[lg].data());
}

// ---------------------------------------------------------------------------
// Real transforms.

inline void r2(Vec4* a) {
    const Vec4 x0 = a[0], x1 = a[1];
    a[0] = x0 + x1;
    a[1] = x0 - x1;
}

// Slots t0 t2 t1 t3 -> X0, X2, Re X1, -Im X1 ... stored as X1 = b0 - i b1.
inline void r4(Vec4* a) {
    const Vec4 a0 = a[0] + a[1], a1 = a[2] + a[3], b0 = a[0] - a[1], b1 = a[2] - a[3];
    a[0] = a0 + a1;
    a[1] = a0 - a1;
    a[2] = b0;
    a[3] = -b1;
}

inline void r4Inverse(Vec4* a) {
    const Vec4 a0 = a[0] + a[1], a1 = a[0] - a[1], b0 = a[2], b1 = -a[3];
    a[0] = a0 + b0;
    a[1] = a0 - b0;
    a[2] = a1 + b1;
    a[3] = a1 - b1;
}

// First decimation-in-frequency stage of a real transform in slot order: the
// pair (2j, 2j+1) holds (t_j, t_j+N/2), the pair (N/2+2j, N/2+2j+1) holds
// (t_j+N/4, t_j+3N/4). The sums stay in the first half (again in slot order
// for the half-size transform); the differences b become the complex
// sequence (b_j - i b_j+N/4) e^(-2 pi i j/N) whose transform gives X(4m+1).
void realPass(Vec4* a, int n, const RealTwiddle* w) {
    const int q = n / 4;
    Vec4* hi = a + n / 2;
    for (int j = 0; j < q; ++j) {
        const Vec4 s0 = a[2 * j], s1 = a[2 * j + 1], s2 = hi[2 * j], s3 = hi[2 * j + 1];
        const Vec4 b0 = s0 - s1, b1 = s2 - s3;
        a[2 * j] = s0 + s1;
        a[2 * j + 1] = s2 + s3;
        hi[2 * j] = b0 * w[j].c - b1 * w[j].s;
        hi[2 * j + 1] = -(b0 * w[j].s + b1 * w[j].c);
    }
}

void realPassInverse(Vec4* a, int n, const RealTwiddle* w) {
    const int q = n / 4;
    Vec4* hi = a + n / 2;
    for (int j = 0; j < q; ++j) {
        const Vec4 y0 = a[2 * j], y1 = a[2 * j + 1], y2 = hi[2 * j], y3 = hi[2 * j + 1];
        const Vec4 b0 = y2 * w[j].c - y3 * w[j].s;
        const Vec4 b1 = -(y2 * w[j].s + y3 * w[j].c);
        a[2 * j] = y0 + b0;
        a[2 * j + 1] = y0 - b0;
        hi[2 * j] = y1 + b1;
        hi[2 * j + 1] = y1 - b1;
    }
}

void realForward(Vec4* a, int lg, const Tables& t) {
    switch (lg) {
        case 1: r2(a); return;
        case 2: r4(a); return;
        default: break;
    }
    const int n = 1 << lg;
    realPass(a, n, t.real[lg].data());
    realForward(a, lg - 1, t);
    complexForward(a + n / 2, lg - 2, t);
}

void realInverse(Vec4* a, int lg, const Tables& t) {
    switch (lg) {
        case 1: r2(a); return;
        case 2: r4Inverse(a); return;
        default: break;
    }
    const int n = 1 << lg;
    complexInverse(a + n / 2, lg - 2, t);
    realInverse(a, lg - 1, t);
    realPassInverse(a, n, t.real[lg].data());
}

}  // namespace

bool isSupportedSize(int n) { return log2Of(n) > 0; }

void prepare() { (void)tables(); }

void forward(Vec4* data, int n) {
    const int lg = log2Of(n);
    if (lg > 0) realForward(data, lg, tables());
}

void inverse(Vec4* data, int n) {
    const int lg = log2Of(n);
    if (lg > 0) realInverse(data, lg, tables());
}

BinLayout binLayout(int n) {
    const int lg = log2Of(n);
    if (lg <= 0) return {nullptr, nullptr};
    const Tables& t = tables();
    return {t.position[lg].data(), t.sign[lg].data()};
}

void unpack(int n, const Vec4* data, Vec4* re, Vec4* im) {
    const BinLayout layout = binLayout(n);
    if (layout.position == nullptr) return;
    re[0] = data[0];
    im[0] = Vec4(0.0f);
    re[n / 2] = data[1];
    im[n / 2] = Vec4(0.0f);
    for (int k = 1; k < n / 2; ++k) {
        re[k] = data[layout.position[k]];
        im[k] = data[layout.position[k] + 1] * Vec4(layout.sign[k]);
    }
}

void pack(int n, const Vec4* re, const Vec4* im, Vec4* data) {
    const BinLayout layout = binLayout(n);
    if (layout.position == nullptr) return;
    data[0] = re[0];
    data[1] = re[n / 2];
    for (int k = 1; k < n / 2; ++k) {
        data[layout.position[k]] = re[k];
        data[layout.position[k] + 1] = im[k] * Vec4(layout.sign[k]);
    }
}

}  // namespace vh::fft
