#pragma once
// Waveshaper: seven static curves (three odd soft saturators, three
// asymmetric rectifying curves with their DC removed, a hard clipper),
// optionally applied to a band around a centre frequency only, and an
// optional chain of four allpass diffusers after the curve. Runs on four-lane
// vectors with the left channel in lane 3 and the right in lane 2; lanes 0
// and 1 are carried along as zero.

#include <array>

#include "modules/CoefficientCache.h"
#include "modules/LaneRamp.h"
#include "modules/Module.h"
#include "modules/Vec4.h"

namespace vh {

class Distortion final : public Operator {
public:
    enum Param { kDrive = 0, kFreq, kBandwidth, kType, kDiffuse, kXover, kNumParams };
    enum Curve { kSymA = 0, kSymB, kSymC, kAsymA, kAsymB, kAsymC, kClip, kNumCurves };
    // The type parameter has 16 states; 7..15 (host only) apply no curve.
    static constexpr int kNumTypeStates = 16;

    Distortion(int slot, ModuleHost* owner);

    void getTypeName(char* out) override { copyText(out, kTextSize, "DISTORTION"); }

    // --- mappings shared by the DSP, the host texts and the editor -------
    // Linear drive gain (1 + 4.6234 v^2)^8: 0..120 dB.
    static float driveGain(float v);
    // Band centre 20 * 2^(log2(1000) v): 20 Hz..20 kHz.
    static float centreHz(float v);
    // Band-pass quality 0.2 (1 + 99 v^2): 0.2..20.
    static float bandwidthOf(float v) { return 0.2f * (1.0f + 99.0f * v * v); }
    // sin(2 pi f / fs) of the band centre, the crossover's frequency term.
    static float crossoverSine(float v, float rate);

    // --- control tick and audio -------------------------------------------
    void update() override;
    void processSample(float* left, float* right) override;

    // --- reset and sample rate ----------------------------------------------
    void resetSmoothing() override;
    void clearState() override;
    void setSampleRate(float rate) override;

    // --- what the editor's plot shows ---------------------------------------
    // The curve the chosen type applies to the band, drive included (the
    // crossover, diffuser and DC blocker left out), from a private instance
    // set to the values.
    PlotKind plotKind() const override { return PlotKind::kTransfer; }
    void transferCurve(const float* values, const double* input, double* output, int count) const override;

private:
    // The memories of the four Schroeder allpass stages (delays of 51, 71, 93
    // and 121 samples). The stages share one write position in rings of 128
    // rows, each row holding the four stages' values of one sample: a sample
    // writes one row and advances one counter, and each stage reads its own
    // delay back through a mask. The stage's sums are formed by the caller
    // (see diffuseTaps), which sees all four stages at once.
    struct DiffuserMemory {
        static constexpr int kRows = 128;  // a power of two above the longest delay
        static constexpr int kDelays[4] = {51, 71, 93, 121};
        std::array<std::array<Vec4, 4>, kRows> rows{};
        unsigned position = 0;
        Vec4 delayed(int stage) const { return rows[(position - kDelays[stage]) & (kRows - 1)][stage]; }
        // The stages' new values go into the current row, which then advances.
        void push(Vec4 w1, Vec4 w2, Vec4 w3, Vec4 w4) {
            std::array<Vec4, 4>& row = rows[position & (kRows - 1)];
            row[0] = flushDenormal(w1);
            row[1] = flushDenormal(w2);
            row[2] = flushDenormal(w3);
            row[3] = flushDenormal(w4);
            ++position;
        }
        void clear() {
            for (auto& row : rows) row.fill(Vec4());
            position = 0;
        }
    };

public:
    // Second-order Butterworth high-pass at 10 Hz on the left (lane 3) and
    // right (lane 2) lanes; lanes 0 and 1 give 0. The same response as the
    // bilinear biquad (poles prewarped to the corner), realised as a
    // trapezoidal state-variable filter: its coefficients are the corner's
    // tan(w/2) and the damping instead of biquad feedback coefficients that
    // crowd at -2 and 1, so single precision keeps the response at any rate.
    struct DcBlocker {
        Vec4 gain, bandGain, bandStep, lowStep;  // per lane; 0 in lanes 0 and 1
        Vec4 band, low;                          // the two integrator states
        Vec4 two{2.0f}, flush{1e-18f};
        void setSampleRate(float rate);
        void clear() { band = low = Vec4(); }
        // The output is gain * in - memoryShare(): the input passes one
        // multiply and one subtraction, the memories' share is formed beside.
        Vec4 memoryShare() const { return gain * (low + bandGain * band); }
        void advance(Vec4 in) {
            Vec4 v3 = in - low;
            Vec4 v1 = gain * band + bandStep * v3;
            Vec4 v2 = low + bandStep * band + lowStep * v3;
            band = (two * v1 - band + flush) - flush;
            low = (two * v2 - low + flush) - flush;
        }
        Vec4 process(Vec4 in) {
            Vec4 out = gain * in - memoryShare();
            advance(in);
            return out;
        }
    };

private:

    struct BandCoefficients {
        Vec4 alpha, c, d;
    };
    BandCoefficients crossoverCoefficients(Vec4 s, Vec4 width) const;
    BandCoefficients advanceCrossover();
    void refreshCrossover();
    Vec4 shape(Vec4 band);
    void asymmetricCurve(Vec4 band, Vec4& numerator, Vec4& denominator);
    Vec4 asymmetricOutput(Vec4 band, Vec4 rest);
    // The four allpass stages' delayed values and what they add to the
    // output, read before the stages take their new input.
    struct DiffuseTaps {
        Vec4 delayedShare, d1, d2, d3, d4, hd1, hd2, hd3;
    };
    // The allpass gain g, h = 1 - g^2 and the band's gain through all four
    // stages, g^4 (also times the DC blocker's gain): control-rate values.
    struct DiffuseGains {
        Vec4 g, h, band, bandAfterDc;
    };
    void refreshDiffuseGains();
    DiffuseTaps diffuseTaps() const;
    void diffusePush(const DiffuseTaps& t, Vec4 band);
    Vec4 diffuse(Vec4 band);
    void clearFilterMemories();

    LaneRamp mDrive, mSine, mWidth;
    CoefficientCache<2> mSineCache[2];  // the crossover's sine term, left and right
    // Crossover band-pass memories.
    Vec4 mX1, mX2, mY1, mY2;
    // Its coefficients while the sine and quality ramps stand still.
    BandCoefficients mBand;
    bool mBandSteady = false;
    // Every number the asymmetric curve and its exponential use, as vectors
    // kept in the object: each use is then one memory operand, where a
    // literal would be rebuilt from a scalar (two instructions) at every use.
    struct AsymLanes {
        // Curve of the chosen type, single precision on all four lanes:
        // steepness e, e times the offset c, scale s / e and s * 1e-15.
        Vec4 steep{2.0f}, steepOffset{-1.6f}, scaleBySteep{0.69256138f}, epsilonScaled{1.385122751e-15f};
        Vec4 one{1.0f}, half{0.5f}, seriesLimit, minusSeriesLimit;
        Vec4 series2, series4, series6;  // x^2, x^4, x^6 terms of x / (1 - exp(-x))
        // The exponential's range limits, rounding and the Taylor
        // coefficients of 2^f, (ln 2)^k / k!.
        Vec4 expLow, expHigh, log2e, roundingOffset;
        Vec4 power1, power2, power3, power4, power5, power6, power7;
        Int4Raw exponentBias;
        AsymLanes();
    };
    static void expLanes(Vec4 x, const AsymLanes& k, Vec4& p, Vec4& scale);

    AsymLanes mAsym;
    LaneConstants mLanes;
    DcBlocker mDc;
    DiffuserMemory mDiffuser;
    DiffuseGains mDiffuseGains;
    int mType = kSymA;
    bool mXover = false;
    bool mDiffuserOn = false;
};

}  // namespace vh
