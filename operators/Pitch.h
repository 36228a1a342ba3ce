#pragma once
// Pitch shifter: a phase vocoder with four-times overlapped Hann frames.
// Left and right are transformed together in the lanes of one vector (lane 3
// left, lane 2 right, lanes 0 and 1 silent); each bin's magnitude and true
// frequency are estimated, moved to the bin of the shifted frequency, and
// resynthesised with accumulated phases by windowed overlap-add. The output
// is delayed by one frame less one sample.

#include <vector>

#include "modules/Module.h"
#include "modules/Ramp.h"
#include "modules/Vec4.h"
#include "operators/FFT.h"

namespace vh {

class Pitch final : public Operator {
public:
    enum Param { kSemitones = 0, kCents, kTune, kResolution, kNumParams };
    enum Resolution { kStd = 0, kHigh, kHighest, kNumResolutions };
    // Which build of the spectral step runs: chosen from what the processor
    // offers, or forced (both give bit-identical results).
    enum class SpectralPath { automatic, vector, scalar };

    static constexpr int kFrames = 4;  // overlap factor: hop = frame size / 4

    explicit Pitch(int slot, ModuleHost* owner, SpectralPath path = SpectralPath::automatic);

    // --- parameters ---------------------------------------------------------
    // The pitch offsets; the resolution's texts come from the parameter table.
    void getParameterDisplay(int index, char* out) override;
    void formatEditorValue(int index, float value, char* out, int mode) override;
    bool parseEditorValue(int index, const char* text, float& value, int mode) override;
    void getTypeName(char* out) override { copyText(out, kTextSize, "PITCH"); }

    // Native values of the normalised parameters.
    static int semitonesOf(float v) { return discreteIndex(v, 25) - 12; }
    static float centsOf(float v) { return 100.0f * (v - 0.5f); }
    static float tuneOf(float v) { return 24.0f * v - 12.0f; }
    static int resolutionOf(float v) { return discreteIndex(v, kNumResolutions); }
    static const char* resolutionName(int resolution);
    // Frequency ratio of the three pitch controls (cents enter as v - 0.5 semitones).
    static float ratioOf(float semitonesValue, float centsValue, float tuneValue);
    // Frame sizes: a base size and a ceiling by sample rate, doubled per
    // resolution step up to the ceiling.
    static int maxFrameSizeFor(float sampleRate);
    static int frameSizeFor(float sampleRate, int resolution);

    // --- control rate -------------------------------------------------------
    void update() override;

    // --- audio rate ---------------------------------------------------------
    void processSample(float* left, float* right) override;

    // --- reset and sample rate ---------------------------------------------
    void resetSmoothing() override;
    void clearState() override;
    void setSampleRate(float rate) override;

    int frameSize() const { return mFrameSize; }
    int latencySamples() const { return mFrameSize - 1; }
    bool usesVectorPath() const { return mVectorPath; }

private:
    void restartFrames();
    void buildWindow();
    void processFrame(int frame);
    void spectralStepVector(const Vec4* spectrum, Vec4* out);
    void spectralStepScalar(const Vec4* spectrum, Vec4* out);
    void clearSynthesis();
    float magnitudeScale(int bin) const;
    void remapBin(int target, int channel, float magnitude, float frequency);
    void analysePair(int k, Vec4 reA, Vec4 imA, Vec4 reB, Vec4 imB, bool secondIsBin);
    void packBin(int k, Vec4 re, Vec4 im, const fft::BinLayout& layout, Vec4* out) const;

    bool mVectorPath = false;
    int mResolution = 0;  // until the first update
    int mFrameSize = 512;
    int mMaxFrameSize = 0;  // 0 until setSampleRate allocates
    int mPosition[kFrames] = {};
    Ramp mRatioL{1.0f};
    Ramp mRatioR{1.0f};

    // Four input and four output frames of mMaxFrameSize vectors each.
    std::vector<Vec4> mFrameBuffers;
    Vec4* mInput[kFrames] = {};
    Vec4* mOutput[kFrames] = {};
    // Per bin, two values (right, left), so that one vector covers two bins.
    std::vector<float> mLastPhase;   // analysis phase of the previous hop
    std::vector<float> mSynthPhase;  // accumulated synthesis phase
    std::vector<float> mSynthMag;    // magnitude landing on each bin
    std::vector<float> mSynthFreq;   // phase advance per hop of each bin
    std::vector<float> mSynthPeak;   // strongest source magnitude landed on each bin
    std::vector<float> mHann;        // periodic Hann of mMaxFrameSize, natural order
    std::vector<float> mWindow;      // periodic Hann of the current size, in slot order
};

}  // namespace vh
