#pragma once
// Split-radix real FFT on four independent signals at once: every sample is a
// four-lane vector and every butterfly works lane-wise, so one call transforms
// four signals. Sizes 512 to 4096 (any power of two from 8 to 4096 works;
// other sizes are left untouched).
//
// The transforms work in place and are unnormalised (X_k = sum x_n e^-2pi i kn/N).
// Input order ("slot order"): time sample j sits at slot 2j for j < N/2 and at
// slot 2(j - N/2) + 1 otherwise, which makes the first decimation-in-frequency
// stage a pass over neighbouring pairs. The spectrum comes out scrambled; read
// and write bins through binLayout(), unpack() and pack().
//
// inverse() is the exact transpose of forward(), not a scaled inverse:
// inverse(forward(x)) returns N/2 times every frequency component of x, and N
// times the DC and Nyquist components.

#include "modules/Vec4.h"

namespace vh::fft {

constexpr int kMinSize = 8;
constexpr int kMaxSize = 4096;

bool isSupportedSize(int n);

// Builds the twiddle and permutation tables. They are also built on first use;
// call this from set-up code so that first use is not on the audio thread.
void prepare();

void forward(Vec4* data, int n);
void inverse(Vec4* data, int n);

// Where bin k of the packed spectrum lives: its real part at data[position[k]],
// its imaginary part at data[position[k] + 1] multiplied by sign[k]. DC is at
// index 0 and Nyquist at index 1 (both real, sign 0).
struct BinLayout {
    const int* position;  // N/2 + 1 entries
    const float* sign;    // N/2 + 1 entries: 0 for DC and Nyquist, else +-1
};
BinLayout binLayout(int n);

// Packed spectrum <-> natural order Re[0..N/2], Im[0..N/2] (Im[0] = Im[N/2] = 0).
void unpack(int n, const Vec4* data, Vec4* re, Vec4* im);
void pack(int n, const Vec4* re, const Vec4* im, Vec4* data);

}  // namespace vh::fft
