#pragma once
// One channel of an interpolated delay line, shared by the delay and the comb
// filter: a ring of N cells (positions 1..N) with guard cells around it so
// the linear and cubic readers never test for a wrap.
//
// Layout of the N + 4 cells: cell 0 mirrors cell N, cells N + 1 and N + 2
// mirror cells 1 and 2; cell N + 3 is padding and stays zero.

#include <algorithm>
#include <vector>

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
    // 1..maxDelay here: below one sample the reader would reach the cell about
    // to be written, and a ramp may overshoot its target by a rounding error.
    // The integer and fractional parts are split before subtracting from the
    // write position, so the fraction keeps full precision even when the
    // position is a six- or seven-digit number.
    template <int Interpolation>
    float read(float delaySamples) const {
        // Written as compare-selects so they become minss/maxss; the first
        // form also turns NaN into one sample.
        float delay = delaySamples > 1.0f ? delaySamples : 1.0f;
        delay = delay < mMaxDelay ? delay : mMaxDelay;
        int whole = static_cast<int>(delay);
        float fraction = delay - static_cast<float>(whole);
        int i = mWrite - whole;
        if (fraction > 0.0f) {
            --i;
            fraction = 1.0f - fraction;
        }
        if (i < 1) i += mLength;
        const float* cell = mCells.data() + i;
        if constexpr (Interpolation == kInterpolationOff) {
            // Truncating the read position rounds the delay up to whole samples.
            return cell[0];
        } else if constexpr (Interpolation == kInterpolationLinear) {
            return cell[0] + (cell[1] - cell[0]) * fraction;
        } else {
            // Four-point cubic (Catmull-Rom) through cells i-1..i+2, written
            // as four weights of the fraction and a dot product: the weights
            // are ready when the cells arrive, which keeps the chain of
            // dependent operations per sample short. Below two samples of
            // delay cell i+2 is the one about to be written (the oldest
            // sample in the ring): the newest stands in for it.
            float t = fraction, t2 = t * t, t3 = t2 * t;
            float wA = 0.5f * (2.0f * t2 - t - t3);
            float wB = 0.5f * (3.0f * t3 - 5.0f * t2) + 1.0f;
            float wC = 0.5f * (4.0f * t2 + t - 3.0f * t3);
            float wD = 0.5f * (t3 - t2);
            float x2 = delay < 2.0f ? cell[1] : cell[2];
            return (wA * cell[-1] + wB * cell[0]) + (wC * cell[1] + wD * x2);
        }
    }

    float read(float delaySamples, int interpolation) const {
        switch (interpolation) {
            case kInterpolationOff: return read<kInterpolationOff>(delaySamples);
            case kInterpolationCubic: return read<kInterpolationCubic>(delaySamples);
            default: return read<kInterpolationLinear>(delaySamples);
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
    std::vector<float> mCells;
    int mLength = 0;
    int mWrite = 1;
    float mMaxDelay = 1.0f;
};

}  // namespace vh
