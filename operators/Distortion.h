#pragma once
// Waveshaper: seven static curves (three odd soft saturators, three
// asymmetric rectifying curves with their DC removed, a hard clipper),
// optionally applied to a band around a centre frequency only, and an
// optional chain of four allpass diffusers after the curve. Runs on four-lane
// vectors with the left channel in lane 3 and the right in lane 2; lanes 0
// and 1 are carried along as zero.

#include <array>

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

    // --- parameters and their texts -------------------------------------
    float getParameterDefault(int index) override;
    int getNumParameters() override { return kNumParams; }
    void getParameterName(int index, char* out) override;
    void getParameterLabel(int index, char* out) override;
    void getParameterDisplay(int index, char* out) override;
    void getParameterTitle(int index, char* out) override { getParameterName(index, out); }
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    bool isModulatable(int index) override { return index == kDrive || index == kFreq || index == kBandwidth; }
    int getParameterSteps(int index) override { return index == kType ? kNumTypeStates : index == kXover ? 2 : 0; }
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

private:
    struct VecRamp {
        Vec4 current, target, increment;
        void setTarget(Vec4 t, float rampFactor) {
            target = t;
            increment = (target - current) * Vec4(rampFactor);
        }
        void snap() {
            current = target;
            increment = Vec4();
        }
    };

    // Schroeder allpass with a fixed delay of N samples.
    template <int N>
    struct Allpass {
        std::array<Vec4, N> buffer{};
        int index = 0;
        // oneMinusG2 = 1 - g^2. The output g w + d is taken as
        // g in + (1 - g^2) d, so the input reaches it through one multiply
        // and one add: four stages in a row would otherwise put twelve
        // dependent steps between the curve and the output.
        Vec4 process(Vec4 in, Vec4 g, Vec4 oneMinusG2) {
            Vec4 delayed = buffer[index];
            Vec4 w = in - g * delayed;
            buffer[index] = flushLanes(w);
            if (--index < 0) index = N - 1;
            return g * in + oneMinusG2 * delayed;
        }
        void clear() { buffer.fill(Vec4()); }
    };

    // Two double lanes: left in lane 0, right in lane 1.
    typedef double Double2 __attribute__((vector_size(16)));
    typedef long long Int2 __attribute__((vector_size(16)));
    typedef float Float2 __attribute__((vector_size(8)));

    // Memories of the 10 Hz high-pass, both channels side by side.
    struct DcBlocker {
        Double2 x1{}, x2{}, y1{}, y2{};
    };

    static Vec4 flushLanes(Vec4 x) { return (x + Vec4(1e-18f)) - Vec4(1e-18f); }

    Vec4 shape(Vec4 band);
    Vec4 shapeAsymmetric(Vec4 band);
    void clearFilterMemories();

    VecRamp mDrive, mSine, mWidth;
    // Crossover band-pass memories.
    Vec4 mX1, mX2, mY1, mY2;
    // Every number the asymmetric curve, its exponential and its DC blocker
    // use, as vectors kept in the object: each use is then one memory
    // operand, where a literal would be rebuilt from a scalar (two
    // instructions) at every use.
    struct AsymLanes {
        // Curve of the chosen type, single precision on all four lanes:
        // offset c, steepness e, scale s / e and s * 1e-15.
        Vec4 offset{-0.8f}, steep{2.0f}, scaleBySteep{0.69256138f}, epsilonScaled{1.385122751e-15f};
        Vec4 one{1.0f}, half{0.5f}, seriesLimit, minusSeriesLimit;
        Vec4 series2, series4, series6;  // x^2, x^4, x^6 terms of x / (1 - exp(-x))
        // The exponential's range limits, rounding and Taylor coefficients.
        Vec4 expLow, expHigh, log2e, roundingOffset, ln2High, ln2Low;
        Vec4 sixth, inv24, inv120, inv720, inv5040;
        Int4Raw exponentBias;
        // 10 Hz second-order high-pass after the curve, double, left and right.
        Double2 b0 = splat(1.0), b1 = splat(0.0), b2 = splat(0.0), a1 = splat(0.0), a2 = splat(0.0);
        Double2 flush = splat(1e-18);
        AsymLanes();
    };
    static Double2 splat(double x) { return Double2{x, x}; }
    static Vec4 expLanes(Vec4 x, const AsymLanes& k);

    AsymLanes mAsym;
    DcBlocker mDc;
    Allpass<51> mDiffuser1;
    Allpass<71> mDiffuser2;
    Allpass<93> mDiffuser3;
    Allpass<121> mDiffuser4;
    int mType = kSymA;
    bool mXover = false;
    bool mDiffuserOn = false;
};

}  // namespace vh
