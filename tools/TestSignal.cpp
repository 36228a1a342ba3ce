#include "tools/TestSignal.h"
#include "modules/MathConstants.h"

#include <cmath>

namespace vhtool {

namespace {
double noteHz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }
}  // namespace

Audio makeTestSignal(int sampleRate, double seconds) {
    Audio audio;
    audio.sampleRate = sampleRate;
    size_t frames = static_cast<size_t>(seconds * sampleRate);
    audio.channels.assign(2, std::vector<float>(frames, 0.0f));
    const int arpeggio[8] = {57, 60, 64, 69, 72, 69, 64, 60};
    const int chords[4][3] = {{45, 52, 57}, {41, 48, 53}, {43, 50, 55}, {40, 47, 52}};
    const double step = 0.25;  // seconds per arpeggio note
    unsigned noise = 12345;
    for (size_t n = 0; n < frames; ++n) {
        double t = double(n) / sampleRate;
        int index = static_cast<int>(t / step);
        double local = t - index * step;
        // Plucked note: a few harmonics with a fast decay, panned by pitch.
        double f = noteHz(arpeggio[index % 8]);
        double pluck = 0.0;
        for (int h = 1; h <= 5; ++h) pluck += std::sin(2 * vh::kPi * f * h * local) / (h * h) * std::exp(-local * (6.0 + 3 * h));
        double pan = 0.5 + 0.35 * std::sin(index * 1.3);
        // Chord pad changing every two seconds.
        const int* chord = chords[static_cast<int>(t / 2.0) % 4];
        double pad = 0.0;
        for (int k = 0; k < 3; ++k) pad += std::sin(2 * vh::kPi * noteHz(chord[k]) * t + k);
        pad *= 0.06 * (1.0 - std::exp(-t * 3.0));
        // A click on every beat.
        double beat = std::fmod(t, 0.5);
        noise = noise * 1664525u + 1013904223u;
        double click = beat < 0.02 ? ((noise >> 9) / 4194304.0 - 1.0) * std::exp(-beat * 300.0) * 0.4 : 0.0;
        audio.channels[0][n] = static_cast<float>(0.45 * pluck * (1.0 - pan) + pad + click);
        audio.channels[1][n] = static_cast<float>(0.45 * pluck * pan + pad * 0.9 + click);
    }
    return audio;
}

}  // namespace vhtool
