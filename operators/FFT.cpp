#include "operators/FFT.h"
#include "modules/MathConstants.h"

#include <cmath>
#include <vector>

namespace vh::fft {

namespace {

constexpr int kMaxLog2 = 12;  // 4096

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
template <int Lg>
void complexPass(Vec4* a, const ComplexTwiddle* w) {
    constexpr int m = 1 << Lg;
    constexpr int q = m / 4;
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

constexpr float kSqrtHalf = 0.70710677f;

// The pass of size 8 written out: twiddles 1 for j = 0, and e^(-i pi/4),
// e^(-3i pi/4) for j = 1.
inline void c8(Vec4* a) {
    const Vec4 h(kSqrtHalf);
    {
        const Vec4 d1r = a[0] - a[8], d1i = a[1] - a[9], d2r = a[4] - a[12], d2i = a[5] - a[13];
        a[0] += a[8];
        a[1] += a[9];
        a[4] += a[12];
        a[5] += a[13];
        a[8] = d1r + d2i;
        a[9] = d1i - d2r;
        a[12] = d1r - d2i;
        a[13] = d1i + d2r;
    }
    {
        const Vec4 d1r = a[2] - a[10], d1i = a[3] - a[11], d2r = a[6] - a[14], d2i = a[7] - a[15];
        a[2] += a[10];
        a[3] += a[11];
        a[6] += a[14];
        a[7] += a[15];
        const Vec4 pr = d1r + d2i, pi = d1i - d2r, qr = d1r - d2i, qi = d1i + d2r;
        a[10] = h * (pr + pi);
        a[11] = h * (pi - pr);
        a[14] = h * (qi - qr);
        a[15] = -(h * (qr + qi));
    }
    c4(a);
    c2(a + 8);
    c2(a + 12);
}

// The recursion is unrolled at compile time per size, so the small
// transforms at its leaves inline into their callers.
template <int Lg>
void complexForward(Vec4* a, const Tables& t) {
    if constexpr (Lg == 0) {
        return;
    } else if constexpr (Lg == 1) {
        c2(a);
    } else if constexpr (Lg == 2) {
        c4(a);
    } else if constexpr (Lg == 3) {
        c8(a);
    } else {
        constexpr int m = 1 << Lg;
        complexPass<Lg>(a, t.complex[Lg].data());
        complexForward<Lg - 1>(a, t);
        complexForward<Lg - 2>(a + m, t);
        complexForward<Lg - 2>(a + m + m / 2, t);
    }
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

inline void c8Inverse(Vec4* a) {
    const Vec4 h(kSqrtHalf);
    c2(a + 12);
    c2(a + 8);
    c4Inverse(a);
    {
        const Vec4 pr = a[8], pi = a[9], qr = a[12], qi = a[13];
        const Vec4 d1r = pr + qr, d1i = pi + qi, d2r = qi - pi, d2i = pr - qr;
        const Vec4 ur = a[0], ui = a[1], vr = a[4], vi = a[5];
        a[0] = ur + d1r;
        a[1] = ui + d1i;
        a[8] = ur - d1r;
        a[9] = ui - d1i;
        a[4] = vr + d2r;
        a[5] = vi + d2i;
        a[12] = vr - d2r;
        a[13] = vi - d2i;
    }
    {
        const Vec4 xr = a[10], xi = a[11], yr = a[14], yi = a[15];
        const Vec4 pr = h * (xr - xi), pi = h * (xi + xr);
        const Vec4 qr = -(h * (yr + yi)), qi = h * (yr - yi);
        const Vec4 d1r = pr + qr, d1i = pi + qi, d2r = qi - pi, d2i = pr - qr;
        const Vec4 ur = a[2], ui = a[3], vr = a[6], vi = a[7];
        a[2] = ur + d1r;
        a[3] = ui + d1i;
        a[10] = ur - d1r;
        a[11] = ui - d1i;
        a[6] = vr + d2r;
        a[7] = vi + d2i;
        a[14] = vr - d2r;
        a[15] = vi - d2i;
    }
}

template <int Lg>
void complexPassInverse(Vec4* a, const ComplexTwiddle* w) {
    constexpr int m = 1 << Lg;
    constexpr int q = m / 4;
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

template <int Lg>
void complexInverse(Vec4* a, const Tables& t) {
    if constexpr (Lg == 0) {
        return;
    } else if constexpr (Lg == 1) {
        c2(a);  // symmetric: its own transpose
    } else if constexpr (Lg == 2) {
        c4Inverse(a);
    } else if constexpr (Lg == 3) {
        c8Inverse(a);
    } else {
        constexpr int m = 1 << Lg;
        complexInverse<Lg - 2>(a + m + m / 2, t);
        complexInverse<Lg - 2>(a + m, t);
        complexInverse<Lg - 1>(a, t);
        complexPassInverse<Lg>(a, t.complex[Lg].data());
    }
}

// ---------------------------------------------------------------------------
// Real transforms.

inline void r2(Vec4* a) {
    const Vec4 x0 = a[0], x1 = a[1];
    a[0] = x0 + x1;
    a[1] = x0 - x1;
}

// Slots (t0, t2, t1, t3) -> X0, X2, Re X1, Im X1, where X1 = (t0 - t2) - i (t1 - t3).
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
template <int Lg>
void realPass(Vec4* a, const RealTwiddle* w) {
    constexpr int n = 1 << Lg;
    constexpr int q = n / 4;
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

template <int Lg>
void realPassInverse(Vec4* a, const RealTwiddle* w) {
    constexpr int n = 1 << Lg;
    constexpr int q = n / 4;
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

template <int Lg>
void realForward(Vec4* a, const Tables& t) {
    if constexpr (Lg == 1) {
        r2(a);
    } else if constexpr (Lg == 2) {
        r4(a);
    } else {
        constexpr int n = 1 << Lg;
        realPass<Lg>(a, t.real[Lg].data());
        realForward<Lg - 1>(a, t);
        complexForward<Lg - 2>(a + n / 2, t);
    }
}

template <int Lg>
void realInverse(Vec4* a, const Tables& t) {
    if constexpr (Lg == 1) {
        r2(a);
    } else if constexpr (Lg == 2) {
        r4Inverse(a);
    } else {
        constexpr int n = 1 << Lg;
        complexInverse<Lg - 2>(a + n / 2, t);
        realInverse<Lg - 1>(a, t);
        realPassInverse<Lg>(a, t.real[Lg].data());
    }
}

}  // namespace

bool isSupportedSize(int n) { return log2Of(n) > 0; }

void prepare() { (void)tables(); }

void forward(Vec4* data, int n) {
    const Tables& t = tables();
    switch (log2Of(n)) {
        case 3: realForward<3>(data, t); break;
        case 4: realForward<4>(data, t); break;
        case 5: realForward<5>(data, t); break;
        case 6: realForward<6>(data, t); break;
        case 7: realForward<7>(data, t); break;
        case 8: realForward<8>(data, t); break;
        case 9: realForward<9>(data, t); break;
        case 10: realForward<10>(data, t); break;
        case 11: realForward<11>(data, t); break;
        case 12: realForward<12>(data, t); break;
        default: break;
    }
}

void inverse(Vec4* data, int n) {
    const Tables& t = tables();
    switch (log2Of(n)) {
        case 3: realInverse<3>(data, t); break;
        case 4: realInverse<4>(data, t); break;
        case 5: realInverse<5>(data, t); break;
        case 6: realInverse<6>(data, t); break;
        case 7: realInverse<7>(data, t); break;
        case 8: realInverse<8>(data, t); break;
        case 9: realInverse<9>(data, t); break;
        case 10: realInverse<10>(data, t); break;
        case 11: realInverse<11>(data, t); break;
        case 12: realInverse<12>(data, t); break;
        default: break;
    }
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
