#pragma once
// The two channels of an interpolated delay line, shared by the delay and the
// comb filter: per channel a ring of N cells (positions 1..N) with guard
// cells around it so the linear and cubic readers never test for a wrap.
// Both channels share one write position and are read and written together,
// left in lane 0 and right in lane 1 of a Vec4, so the position arithmetic
// of a stereo read is done once for both.
//
// Layout of each channel's N + 4 cells: cell 0 mirrors cell N, cells N + 1
// and N + 2 mirror cells 1 and 2; cell N + 3 is padding and stays zero. The
// right channel's cells follow the left channel's in the same allocation.

#include <algorithm>
#include <vector>

#include "modules/Vec4.h"

namespace vh {

// The three ways of reading between samples; values are the choice indices
// of the operators' "interpolate" parameter.
enum DelayInterpolation { kInterpolationOff = 0, kInterpolationLinear = 1, kInterpolationCubic = 2, kNumInterpolations = 3 };

// Names of the interpolation choices (host and editor texts agree).
inline constexpr const char* kInterpolationNames[kNumInterpolations] = {"off", "linear", "cubic"};
inline const char* interpolationName(int index) {
    return (index >= 0 && index < kNumInterpolations) ? kInterpolationNames[index] : "";
}

class StereoDelayRing {
public:
    // Set-up only: allocates length + 4 zeroed cells per channel. The write
    // position returns to 1 so a line that shrinks never keeps a position
    // beyond it.
    void allocate(int length) {
        mLength = std::max(length, 2);
        mStride = mLength + 4;
        mCells.assign(2 * static_cast<size_t>(mStride), 0.0f);
        mWrite = 1;
        mMaxDelay = static_cast<float>(mLength - 1);
        mMaxDelayLanes = Vec4(mMaxDelay);
        mLengthLanes = Int4Raw{mLength, mLength, mLength, mLength};
        mTap = Tap();  // the longest delay changed with the length
    }
    // Zeroes the cells; the write position stays where it is.
    void clear() { std::fill(mCells.begin(), mCells.end(), 0.0f); }

    bool empty() const { return mCells.empty(); }
    int length() const { return mLength; }
    int writePosition() const { return mWrite; }
    // The longest delay the ring can hold (the cell about to be written is the
    // oldest one, N samples back, so N - 1 is the last one still valid).
    float maxDelay() const { return mMaxDelay; }

    // The values written delays[0] (left) and delays[1] (right) samples ago,
    // in lanes 0 and 1; lanes 2 and 3 of the result are unspecified. Delays
    // are held to 1..maxDelay: below one sample the reader would reach the
    // cell about to be written, and a ramp may overshoot its target by a
    // rounding error.
    //
    // Most of the time a delay stands still between control ticks, so where
    // it reads and its interpolation weights are kept from the previous call
    // and formed anew only when the delays (or the interpolation) change.
    template <int Interpolation>
    Vec4 read(Vec4 delays) {
        Int4Raw changed = delays.v != mTap.delays.v;
        if ((laneBits(changed) & 3) != 0 || mTap.interpolation != Interpolation) locate<Interpolation>(delays);
        Int4Raw cell = mWrite - mTap.back;
        cell += (cell <= 0) & mLengthLanes;
        const float* left = mCells.data() + cell[0];
        const float* right = mCells.data() + mStride + cell[1];
        if constexpr (Interpolation == kInterpolationOff) {
            return Vec4(left[0], right[0], 0.0f, 0.0f);
        } else if constexpr (Interpolation == kInterpolationLinear) {
            Vec4 now(left[0], right[0], 0.0f, 0.0f), next(left[1], right[1], 0.0f, 0.0f);
            return now + (next - now) * mTap.fraction;
        } else {
            Vec4 tapsL = Vec4::load(left - 1), tapsR = Vec4::load(right - 1);
            // Below two samples of delay cell i+2 is the one about to be
            // written (the oldest sample in the ring): the newest sample
            // stands in for it. Rare, so a branch rather than a blend.
            if (__builtin_expect(mTap.belowTwo != 0, 0)) {
                if (mTap.belowTwo & 1) tapsL = shuffleLanes<0, 1, 2, 2>(tapsL);
                if (mTap.belowTwo & 2) tapsR = shuffleLanes<0, 1, 2, 2>(tapsR);
            }
            Float4Raw productsL = (tapsL * mTap.weightsL).v;
            Float4Raw productsR = (tapsR * mTap.weightsR).v;
            // (L0 + L1, L2 + L3, R0 + R1, R2 + R3), then the two halves of
            // each side.
            Vec4 pairs = shuffleLanes<0, 2, 4, 6>(productsL, productsR) + shuffleLanes<1, 3, 5, 7>(productsL, productsR);
            return shuffleLanes<0, 2, 0, 2>(pairs) + shuffleLanes<1, 3, 1, 3>(pairs);
        }
    }

    // Writes lanes 0 (left) and 1 (right) into the current cells (and their
    // mirrors, if they have one) and advances.
    void write(Vec4 values) {
        float* left = mCells.data();
        float* right = left + mStride;
        float l = values[0], r = values[1];
        left[mWrite] = l;
        right[mWrite] = r;
        if (mWrite < 3) {
            left[mLength + mWrite] = l;
            right[mLength + mWrite] = r;
        }
        if (mWrite == mLength) {
            left[0] = l;
            right[0] = r;
        }
        if (++mWrite > mLength) mWrite = 1;
    }

private:
    // Where a read of `delays` lands: per channel the read position
    // w - delay lies between cells w - back and w - back + 1, `fraction` of
    // the way towards the latter (back is the delay rounded up, so a whole
    // delay has fraction 0). The whole and fractional parts are split from
    // the delay alone, never from a position, so the fraction keeps full
    // precision whatever the write position is.
    template <int Interpolation>
    void locate(Vec4 delays) {
        mTap.delays = delays;
        mTap.interpolation = Interpolation;
        // The max turns NaN into one sample.
        Vec4 delay = clampLanes(delays, mConstants.one, mMaxDelayLanes);
        Int4Raw whole = truncateToInt(delay);
        Vec4 rest = delay - toFloat(whole);
        Int4Raw between = rest.v > mConstants.zero.v;  // -1 where the position falls between cells
        mTap.back = whole - between;
        mTap.fraction = select(between, mConstants.one - rest, rest);
        mTap.belowTwo = laneBits(delay.v < mConstants.two.v) & 3;
        if constexpr (Interpolation == kInterpolationCubic) {
            mTap.weightsL = cubicWeights(broadcastLane<0>(mTap.fraction));
            mTap.weightsR = cubicWeights(broadcastLane<1>(mTap.fraction));
        }
    }

    // Four-point cubic (Catmull-Rom) weights of cells i-1..i+2 at fraction t:
    // 0.5 * (-t^3 + 2t^2 - t, 3t^3 - 5t^2 + 2, -3t^3 + 4t^2 + t, t^3 - t^2).
    // At t = 0 they are exactly (0, 1, 0, 0), so whole delays stay exact.
    static Vec4 cubicWeights(Vec4 tt) {
        const Vec4 k3(-0.5f, 1.5f, -1.5f, 0.5f), k2(1.0f, -2.5f, 2.0f, -0.5f), k1(-0.5f, 0.0f, 0.5f, 0.0f),
            k0(0.0f, 1.0f, 0.0f, 0.0f);
        return mulAdd(mulAdd(mulAdd(k3, tt, k2), tt, k1), tt, k0);
    }

    std::vector<float> mCells;
    int mLength = 0;
    int mStride = 4;
    int mWrite = 1;
    float mMaxDelay = 1.0f;
    Vec4 mMaxDelayLanes{1.0f};
    Int4Raw mLengthLanes{};
    LaneConstants mConstants;

    // The last read's delays and what they located; a NaN delay never
    // matches, so a new ring (or a NaN delay) always locates afresh.
    struct Tap {
        Vec4 delays{__builtin_nanf("")};
        int interpolation = -1;
        Int4Raw back{};
        Vec4 fraction, weightsL, weightsR;
        int belowTwo = 0;
    };
    Tap mTap;
};

}  // namespace vh
