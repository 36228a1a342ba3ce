#pragma once
// Frequency responses for the editor's plots: a module hands its own
// coefficients to these evaluations, so a plot shows exactly the filter that
// processes the audio.

#include <cmath>
#include <complex>
#include "modules/MathConstants.h"

namespace vh::response {

using Complex = std::complex<double>;

// z = e^(jw) of a frequency at a sample rate.
inline Complex unitCircle(double freqHz, double sampleRate) {
    return std::polar(1.0, 2.0 * kPi * freqHz / sampleRate);
}

// Magnitude in dB, with silence floored at -200 dB (from the squared
// magnitude: no square root, no overflow guard needed at these sizes).
inline double decibels(Complex h) {
    double power = std::norm(h);
    return power > 1e-20 ? 10.0 * std::log10(power) : -200.0;
}

// H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2) on the unit circle.
struct Biquad {
    double b0, b1, b2, a1, a2;
    // z on the unit circle, so 1/z is its conjugate; the arithmetic is spelt
    // out because the library's complex guards for infinities cost more than
    // the rest.
    Complex at(Complex z) const {
        // z^-1 = (c, -s), z^-2 = (c2, -s2).
        const double c = z.real(), s = z.imag();
        const double c2 = c * c - s * s, s2 = 2.0 * c * s;
        const double nr = b0 + b1 * c + b2 * c2, ni = -(b1 * s + b2 * s2);
        const double dr = 1.0 + a1 * c + a2 * c2, di = -(a1 * s + a2 * s2);
        const double scale = 1.0 / (dr * dr + di * di);
        return Complex((nr * dr + ni * di) * scale, (ni * dr - nr * di) * scale);
    }
};

}  // namespace vh::response
