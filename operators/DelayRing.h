#pragma once
// One channel of an interpolated delay line, shared by the delay and the comb
// filter: a ring of N cells (positions 1..N) with guard cells around it so
// the linear and cubic readers never test for a wrap.
//
// Layout of the N + 4 cells: cell 0 mirrors cell N, cells N + 1 and N + 2
// mirror cells 1 and 2; cell N + 3 is padding and stays zero.

#include <algorithm>
#include <vector>

#include "modules/Vec4.h"

namespace vh {

// The three ways of reading between samples; values are the choice indices
// of the operators' "interpolate" parameter.
enum DelayInterpolation { kInterpolationOff = 0, kInterpolationLinear = 1, kInterpolationCubic = 2, kNumInterpolations = 3 };

// Names of the interpolation choices (host and editor texts agree).
inline const char* interpolationName(int index) {
    static const char* const kNames[kNumInterpolations] = {"off", "linear", "cubic"};
    return (index >= 0 && index < kNumInterpolations) ? kNames[index] : "";
}

class DelayRing {
public:
    // Set-up only: allocates length + 4 zeroed cells. The write position
    // returns to 1 so a line that shrinks never keeps a position beyond it.
    void allocate(int length) {
        mLength = std::max(length, 2);
        mCells.assign(static_cast<size_t>(mLength) + 4, 0.0f);
        mWrite = 1;
        mMaxDelay = static_cast<float>(mLength - 1);
    }
    // Zeroes the cells; the write position stays where it is.
    void clear() { std::fill(mCells.begin(), mCells.end(), 0.0f); }

    bool empty() const { return mCells.empty(); }
    int length() const { return mLength; }
    int writePosition() const { return mWrite; }
    // The longest delay the ring can hold (the cell about to be written is the
    // oldest one, N samples back, so N - 1 is the last one still valid).
    float maxDelay() const { return mMaxDelay; }

    // The value written `delaySamples` samples ago. Delays are held to
    // 1..maxDelay: below one sample the reader would reach the cell about to
    // be written, and a ramp may overshoot its target by a rounding error.
    template <int Interpolation>
    float read(float delaySamples) const {
        float fraction, delay;
        const float* cell = locate(delaySamples, fraction, delay);
        if constexpr (Interpolation == kInterpolationOff) {
            // Truncating the read position rounds the delay up to whole samples.
            return cell[0];
        } else if constexpr (Interpolation == kInterpolationLinear) {
            return cell[0] + (cell[1] - cell[0]) * fraction;
        } else {
            Vec4 products = taps(cell, delay) * cubicWeights(fraction);
            return (products[0] + products[1]) + (products[2] + products[3]);
        }
    }

    // Reads two rings (the two channels of a stereo line) at once. The cubic
    // reads share one pass through the four-lane unit; the result equals two
    // single cubic reads exactly.
    template <int Interpolation>
    static void readPair(const DelayRing& left, float delayL, const DelayRing& right, float delayR, float& outL,
                         float& outR) {
        if constexpr (Interpolation == kInterpolationCubic) {
            float fractionL, fractionR, clampedL, clampedR;
            const float* cellL = left.locate(delayL, fractionL, clampedL);
            const float* cellR = right.locate(delayR, fractionR, clampedR);
            Float4Raw productsL = (taps(cellL, clampedL) * cubicWeights(fractionL)).v;
            Float4Raw productsR = (taps(cellR, clampedR) * cubicWeights(fractionR)).v;
            typedef int Mask __attribute__((vector_size(16)));
            // (L0 + L1, L2 + L3, R0 + R1, R2 + R3), then the two halves of each side.
            Float4Raw pairs = __builtin_shuffle(productsL, productsR, Mask{0, 2, 4, 6}) +
                              __builtin_shuffle(productsL, productsR, Mask{1, 3, 5, 7});
            outL = pairs[0] + pairs[1];
            outR = pairs[2] + pairs[3];
        } else {
            outL = left.read<Interpolation>(delayL);
            outR = right.read<Interpolation>(delayR);
        }
    }

    // Writes the current cell (and its mirror, if it has one) and advances.
    void write(float value) {
        float* cells = mCells.data();
        cells[mWrite] = value;
        if (mWrite < 3) cells[mLength + mWrite] = value;
        if (mWrite == mLength) cells[0] = value;
        if (++mWrite > mLength) mWrite = 1;
    }

private:
    // Cell i of the read position w - delay (i its whole part, `fraction` the
    // rest, measured towards cell i + 1) and the delay as limited. The whole
    // and fractional parts of the delay are split before it is subtracted
    // from the write position, so the fraction keeps full precision even
    // when the position is a six- or seven-digit number.
    const float* locate(float delaySamples, float& fraction, float& delay) const {
        // Compare-selects so they become minss/maxss; the first also turns
        // NaN into one sample.
        delay = delaySamples > 1.0f ? delaySamples : 1.0f;
        delay = delay < mMaxDelay ? delay : mMaxDelay;
        int whole = static_cast<int>(delay);
        fraction = delay - static_cast<float>(whole);
        int i = mWrite - whole;
        if (fraction > 0.0f) {
            --i;
            fraction = 1.0f - fraction;
        }
        if (i < 1) i += mLength;
        return mCells.data() + i;
    }

    // Cells i-1..i+2 for the cubic. Below two samples of delay cell i+2 is
    // the one about to be written (the oldest sample in the ring): the
    // newest sample stands in for it.
    static Vec4 taps(const float* cell, float delay) {
        Vec4 cells = Vec4::load(cell - 1);
        if (delay < 2.0f) cells.set(3, cells[2]);
        return cells;
    }

    // Four-point cubic (Catmull-Rom) weights of cells i-1..i+2 at fraction t:
    // 0.5 * (-t^3 + 2t^2 - t, 3t^3 - 5t^2 + 2, -3t^3 + 4t^2 + t, t^3 - t^2).
    // At t = 0 they are exactly (0, 1, 0, 0), so whole delays stay exact.
    static Vec4 cubicWeights(float t) {
        const Vec4 k3(-0.5f, 1.5f, -1.5f, 0.5f), k2(1.0f, -2.5f, 2.0f, -0.5f), k1(-0.5f, 0.0f, 0.5f, 0.0f),
            k0(0.0f, 1.0f, 0.0f, 0.0f);
        Vec4 tt(t);
        return mulAdd(mulAdd(mulAdd(k3, tt, k2), tt, k1), tt, k0);
    }

    std::vector<float> mCells;
    int mLength = 0;
    int mWrite = 1;
    float mMaxDelay = 1.0f;
};

}  // namespace vh
