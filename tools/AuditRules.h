#pragma once
// What a factory preset must satisfy, in one place: the audit applies these
// limits, the tests hold every shipped preset to them, and a sound designer
// reads them here.

namespace vhtool::rules {

// Output level against the input, for the demo phrase and for pink noise.
constexpr double kMaxLevelChangeDb = 6.0;
// Pink-noise test signal level (RMS).
constexpr double kPinkNoiseDbfs = -18.0;

// Clipping before the limiter: samples above full scale may occur on a few
// transients (the limiter takes those), not for a sustained stretch.
constexpr double kClipLevel = 1.0;
constexpr double kMaxClipFraction = 0.001;

// Largest mean of an output channel (-40 dBFS).
constexpr double kMaxDc = 0.01;

// Runaway feedback: an impulse response whose last quarter still holds at
// least this share of the energy of its first quarter, above the floor, has
// stopped decaying.
constexpr double kRunawayEnergyRatio = 0.5;
constexpr double kRunawayFloorDbfs = -60.0;
// Any render (at any rate) whose peak passes this has blown up (+18 dBFS).
constexpr double kBlowUpPeak = 8.0;

// Where a tail counts as ended: this far below the impulse response's peak.
constexpr double kTailEndDb = -60.0;

// "Differs audibly from [flat]": a third-octave band moved by this much, a
// level envelope that moves this much more, a stereo width change or a
// longer tail.
constexpr double kAudibleBandDb = 1.0;
constexpr double kAudibleEnvelopeDb = 1.0;
constexpr double kAudibleWidth = 0.1;
constexpr double kAudibleTailSeconds = 0.05;

// CPU budget per stereo sample at 44.1 kHz; reported, and flagged in the
// audit's line, but the tests do not time anything.
constexpr double kCpuBudgetNs = 400.0;

// Rates at which every preset must stay finite and bounded.
constexpr double kCheckedRates[] = {22050.0, 44100.0, 48000.0, 96000.0, 192000.0};
constexpr double kReferenceRate = 44100.0;

}  // namespace vhtool::rules
