#pragma once
// Four single-precision lanes, the one vector type every module uses.
// The vector extensions GCC and Clang share compile to SSE on x86-64 and to
// plain scalar code elsewhere, so no module needs intrinsics of its own, and
// lane shuffles are spelled only here (shuffleLanes), so either compiler
// builds every module.

#include <cstring>

namespace vh {

typedef float Float4Raw __attribute__((vector_size(16)));

struct alignas(16) Vec4 {
    Float4Raw v;

    Vec4() : v{0.0f, 0.0f, 0.0f, 0.0f} {}
    explicit Vec4(float s) : v{s, s, s, s} {}
    Vec4(float a, float b, float c, float d) : v{a, b, c, d} {}
    Vec4(Float4Raw raw) : v(raw) {}

    static Vec4 load(const float* p) {
        Vec4 r;
        std::memcpy(&r.v, p, sizeof(r.v));
        return r;
    }
    void store(float* p) const { std::memcpy(p, &v, sizeof(v)); }

    float operator[](int i) const { return v[i]; }
    void set(int i, float x) { v[i] = x; }

    Vec4& operator+=(Vec4 o) { v += o.v; return *this; }
    Vec4& operator-=(Vec4 o) { v -= o.v; return *this; }
    Vec4& operator*=(Vec4 o) { v *= o.v; return *this; }

    friend Vec4 operator+(Vec4 a, Vec4 b) { return Vec4(a.v + b.v); }
    friend Vec4 operator-(Vec4 a, Vec4 b) { return Vec4(a.v - b.v); }
    friend Vec4 operator*(Vec4 a, Vec4 b) { return Vec4(a.v * b.v); }
    friend Vec4 operator/(Vec4 a, Vec4 b) { return Vec4(a.v / b.v); }
    friend Vec4 operator-(Vec4 a) { return Vec4(-a.v); }

    float sum() const { return v[0] + v[1] + v[2] + v[3]; }
};

inline Vec4 min(Vec4 a, Vec4 b) { return Vec4(a.v < b.v ? a.v : b.v); }
inline Vec4 max(Vec4 a, Vec4 b) { return Vec4(a.v > b.v ? a.v : b.v); }
inline Vec4 clamp(Vec4 x, Vec4 lo, Vec4 hi) { return min(max(x, lo), hi); }

// Four 32-bit integer lanes: comparison masks and converted indices.
typedef int Int4Raw __attribute__((vector_size(16)));

// The lanes named by constant indices: 0..3 are a's lanes, 4..7 b's. One
// shuffle instruction where the processor has one.
template <int I0, int I1, int I2, int I3>
inline Vec4 shuffleLanes(Vec4 a, Vec4 b) {
    return Vec4(__builtin_shufflevector(a.v, b.v, I0, I1, I2, I3));
}
template <int I0, int I1, int I2, int I3>
inline Vec4 shuffleLanes(Vec4 a) {
    return shuffleLanes<I0, I1, I2, I3>(a, a);
}
template <int I0, int I1, int I2, int I3>
inline Int4Raw shuffleLanes(Int4Raw a) {
    return __builtin_shufflevector(a, a, I0, I1, I2, I3);
}

inline Vec4 abs(Vec4 a) {
    // A vector cast reinterprets the bits; going through a reference of the
    // other type would break strict aliasing.
    Int4Raw bits = reinterpret_cast<Int4Raw>(a.v) & Int4Raw{0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
    return Vec4(reinterpret_cast<Float4Raw>(bits));
}


// Lane-wise conversion that truncates toward zero whatever rounding mode the
// processor is set to (the conversion instruction always truncates).
inline Int4Raw truncateToInt(Vec4 a) { return __builtin_convertvector(a.v, Int4Raw); }
inline Vec4 toFloat(Int4Raw a) { return Vec4(__builtin_convertvector(a, Float4Raw)); }

// Lane-wise square root (correctly rounded, as the scalar sqrtf). Not named
// sqrt so that it does not hide std::sqrt from unqualified calls in vh.
inline Vec4 squareRoot(Vec4 a) {
#if defined(__SSE__)
    return Vec4(__builtin_ia32_sqrtps(a.v));
#else
    return Vec4(__builtin_sqrtf(a.v[0]), __builtin_sqrtf(a.v[1]), __builtin_sqrtf(a.v[2]), __builtin_sqrtf(a.v[3]));
#endif
}

// Lane-wise choice: where mask is set (all bits, as comparisons give) a, else b.
inline Vec4 select(Int4Raw mask, Vec4 a, Vec4 b) { return Vec4(mask ? a.v : b.v); }

// a * b + c, spelled once so a fused form can be dropped in later.
inline Vec4 mulAdd(Vec4 a, Vec4 b, Vec4 c) { return a * b + c; }

}  // namespace vh

namespace vh {

// Lane i of a copied into all four lanes.
template <int Lane>
inline Vec4 broadcastLane(Vec4 a) {
    return shuffleLanes<Lane, Lane, Lane, Lane>(a);
}
template <int Lane>
inline Int4Raw broadcastLane(Int4Raw a) {
    return shuffleLanes<Lane, Lane, Lane, Lane>(a);
}

// min and max above as one instruction each: minLanes(a, b) is a < b ? a : b
// and maxLanes(a, b) is a > b ? a : b lane by lane, so a NaN in a gives b.
inline Vec4 minLanes(Vec4 a, Vec4 b) {
#if defined(__SSE__)
    return Vec4(__builtin_ia32_minps(a.v, b.v));
#else
    return min(a, b);
#endif
}
inline Vec4 maxLanes(Vec4 a, Vec4 b) {
#if defined(__SSE__)
    return Vec4(__builtin_ia32_maxps(a.v, b.v));
#else
    return max(a, b);
#endif
}
inline Vec4 clampLanes(Vec4 x, Vec4 lo, Vec4 hi) { return minLanes(maxLanes(x, lo), hi); }

// Lanes (1, 0, 3, 2): each pair of lanes swapped.
inline Vec4 swapPairs(Vec4 a) { return shuffleLanes<1, 0, 3, 2>(a); }
// Lanes 2 and 3 moved down to 0 and 1 (and kept in 2 and 3).
inline Vec4 upperHalf(Vec4 a) { return shuffleLanes<2, 3, 2, 3>(a); }

// The add-and-subtract of 1e-18 on every lane: feedback states that decay
// towards zero end at zero instead of crawling through the denormals.
inline Vec4 flushDenormal(Vec4 x) { return (x + Vec4(1e-18f)) - Vec4(1e-18f); }

// a where mask is set, else 0 (one and).
inline Vec4 keepLanes(Int4Raw mask, Vec4 a) {
    return Vec4(reinterpret_cast<Float4Raw>(mask & reinterpret_cast<Int4Raw>(a.v)));
}

// Constants that per-sample code uses on all four lanes. GCC builds a
// literal Vec4(c) from a scalar at every use (a load and a shuffle); kept as
// a member of the module, each use is one memory operand instead.
struct LaneConstants {
    Vec4 zero{0.0f}, one{1.0f}, half{0.5f}, two{2.0f};
    Vec4 flush{1e-18f};  // the add-and-subtract denormal flush
};

// The sign bits of a comparison mask as bits 0..3 (one movmskps on SSE).
inline int laneBits(Int4Raw mask) {
#if defined(__SSE__)
    return __builtin_ia32_movmskps(reinterpret_cast<Float4Raw>(mask));
#else
    return (mask[0] & 1) | (mask[1] & 2) | (mask[2] & 4) | (mask[3] & 8);
#endif
}

}  // namespace vh
