#pragma once
// Frequency responses for the editor's plots: a module hands its own
// coefficients to these evaluations, so a plot shows exactly the filter that
// processes the audio.

#include <cmath>
#include <complex>

namespace vh::response {

using Complex = std::complex<double>;

// z = e^(jw) of a frequency at a sample rate.
inline Complex unitCircle(double freqHz, double sampleRate) {
    return std::polar(1.0, 2.0 * 3.141592653589793 * freqHz / sampleRate);
}

// Magnitude in dB, with silence floored at -200 dB.
inline double decibels(Complex h) {
    double m = std::abs(h);
    return m > 1e-10 ? 20.0 * std::log10(m) : -200.0;
}

// H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
struct Biquad {
    double b0, b1, b2, a1, a2;
    Complex at(Complex z) const {
        Complex zi = 1.0 / z, zi2 = zi * zi;
        return (b0 + b1 * zi + b2 * zi2) / (1.0 + a1 * zi + a2 * zi2);
    }
};

}  // namespace vh::response
