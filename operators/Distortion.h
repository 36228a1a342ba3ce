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
        Vec4 process(Vec4 in, Vec4 g) {
            Vec4 delayed = buffer[index];
            Vec4 w = in - g * delayed;
            buffer[index] = flushLanes(w);
            if (--index < 0) index = N - 1;
            return g * w + delayed;
        }
        void clear() { buffer.fill(Vec4()); }
    };

    // Two double lanes: left in lane 0, right in lane 1.
    typedef double Double2 __attribute__((vector_size(16)));

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
    // Asymmetric curve: scale, steepness and offset of the chosen type.
    double mAsymScale = 1.0, mAsymSteep = 2.0, mAsymOffset = 0.0, mAsymInverseSteep = 0.5;
    // 10 Hz second-order high-pass after the asymmetric curves.
    double mB0 = 1.0, mB1 = 0.0, mB2 = 0.0, mA1 = 0.0, mA2 = 0.0;
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
