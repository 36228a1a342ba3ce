#include "operators/Pitch.h"

#include <algorithm>
#include <cmath>

#include "operators/FFT.h"

namespace vh {

namespace {

// Single-precision constants of the spectral step.
constexpr float kQuarterPi = 0.7853982f;
constexpr float kThreeQuarterPi = 2.3561945f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kInvPi = 0.31830987f;
constexpr float kFourOverPi = 1.2732395f;
constexpr float kFourOverPiSquared = 0.40528473f;
constexpr float kSineCorrection = 0.225f;  // second stage of the parabolic sine
constexpr float kAtanOffset = 1e-15f;      // keeps the imaginary part off zero
// Only reached when the offset cancels an imaginary part of exactly -1e-15
// against a zero real part: 0/0 would poison the bin's phase for good.
constexpr float kMinDenominator = 1e-30f;
// Hann squared summed over four-times overlap is 1.5.
constexpr float kOverlapScale = 0.6666667f;

constexpr int kNumSemitoneSteps = 25;

const char* const kResolutionNames[Pitch::kNumResolutions] = {"std", "high", "highest"};

// --- scalar build -------------------------------------------------------------

float fastAtan2(float im, float re) {
    const float y = im + kAtanOffset;
    const float a = std::fabs(y);
    const bool right = re >= 0.0f;
    const float num = right ? re - a : re + a;
    const float den = right ? re + a : a - re;
    const float base = right ? kQuarterPi : kThreeQuarterPi;
    const float phi = base - kQuarterPi * (num / std::max(den, kMinDenominator));
    return y < 0.0f ? -phi : phi;
}

// Brings a phase into -pi..pi by subtracting an even multiple of pi; the
// quotient is truncated toward zero explicitly, whatever the rounding mode.
float wrapPhase(float d) {
    int q = static_cast<int>(d * kInvPi);
    q = q >= 0 ? q + (q & 1) : q - (q & 1);
    return d - kPi * static_cast<float>(q);
}

// Parabolic sine for x in -pi..pi with one refinement stage.
float fastSin(float x) {
    const float y = kFourOverPi * x - kFourOverPiSquared * x * std::fabs(x);
    return y + kSineCorrection * (y * std::fabs(y) - y);
}

float fastCos(float x) {
    float shifted = x + kHalfPi;
    if (shifted > kPi) shifted -= kTwoPi;
    return fastSin(shifted);
}

// --- vector build (same operations, same order) ------------------------------

Vec4 fastAtan2(Vec4 im, Vec4 re) {
    const Vec4 y = im + Vec4(kAtanOffset);
    const Vec4 a = abs(y);
    const Int4Raw right = re.v >= 0.0f;
    const Vec4 num = select(right, re - a, re + a);
    const Vec4 den = select(right, re + a, a - re);
    const Vec4 base = select(right, Vec4(kQuarterPi), Vec4(kThreeQuarterPi));
    const Vec4 phi = base - Vec4(kQuarterPi) * (num / max(den, Vec4(kMinDenominator)));
    return select(y.v < 0.0f, -phi, phi);
}

Vec4 wrapPhase(Vec4 d) {
    Int4Raw q = truncateToInt(d * Vec4(kInvPi));
    const Int4Raw odd = q & 1;
    q = q >= 0 ? q + odd : q - odd;
    return d - Vec4(kPi) * toFloat(q);
}

Vec4 fastSin(Vec4 x) {
    const Vec4 y = Vec4(kFourOverPi) * x - Vec4(kFourOverPiSquared) * x * abs(x);
    return y + Vec4(kSineCorrection) * (y * abs(y) - y);
}

Vec4 fastCos(Vec4 x) {
    const Vec4 shifted = x + Vec4(kHalfPi);
    return fastSin(select(shifted.v > kPi, shifted - Vec4(kTwoPi), shifted));
}

bool processorHasVectorUnit() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
#elif defined(__ARM_NEON)
    return true;
#else
    return false;
#endif
}

// Time sample j of a frame is held at slot 2j below N/2 and 2(j - N/2) + 1 above.
int slotOf(int j, int n) { return j < n / 2 ? 2 * j : 2 * (j - n / 2) + 1; }

// Typed numbers: NaN reads as 0, the rest is clamped to lo..hi.
double clampedNumber(const char* text, double lo, double hi) {
    const double x = readNumber(text);
    if (std::isnan(x)) return 0.0;
    return std::clamp(x, lo, hi);
}

constexpr ParameterInfo kParameters[Pitch::kNumParams] = {
    {.name = "semitones", .title = "semitones", .defaultValue = discreteValue(12, kNumSemitoneSteps),
     .modulatable = true},
    {.name = "cents", .title = "cents", .defaultValue = 0.5f, .modulatable = true},
    {.name = "tune", .title = "tune", .defaultValue = 0.5f, .modulatable = true},
    {.name = "resolution", .title = "resolution", .defaultValue = discreteValue(Pitch::kHighest, Pitch::kNumResolutions),
     .steps = Pitch::kNumResolutions, .hostItems = kResolutionNames},
};

}  // namespace

Pitch::Pitch(int slot, ModuleHost* owner, SpectralPath path) : Operator(slot, owner, {kParameters, "---"}) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
    mVectorPath = path == SpectralPath::vector || (path == SpectralPath::automatic && processorHasVectorUnit());
    // The transform tables are shared and built once; build them here rather
    // than on the audio thread at the first frame.
    fft::prepare();
    restartFrames();
}

// --- parameters ------------------------------------------------------------

const char* Pitch::resolutionName(int resolution) {
    return kResolutionNames[std::clamp(resolution, 0, kNumResolutions - 1)];
}

void Pitch::getParameterDisplay(int index, char* out) {
    const float v = (index >= 0 && index < kNumParams) ? baseValue(index) : 0.0f;
    switch (index) {
        case kSemitones: VH_TEXT(out, "%d", semitonesOf(v)); break;
        case kCents: VH_TEXT(out, "%.0f", centsOf(v)); break;
        case kTune: VH_TEXT(out, "%.0f", tuneOf(v)); break;
        default: Operator::getParameterDisplay(index, out); break;
    }
}

void Pitch::formatEditorValue(int index, float value, char* out, int mode) {
    switch (index) {
        case kSemitones: VH_TEXT(out, "%d", semitonesOf(value)); break;
        case kCents: VH_TEXT(out, "%.0f", centsOf(value)); break;
        case kTune: VH_TEXT(out, "%.2f", tuneOf(value)); break;
        default: Operator::formatEditorValue(index, value, out, mode); break;
    }
}

bool Pitch::parseEditorValue(int index, const char* text, float& value, int mode) {
    switch (index) {
        case kSemitones: {
            const int steps = static_cast<int>(std::trunc(clampedNumber(text, -12.0, 12.0)));
            value = discreteValue(steps + 12, kNumSemitoneSteps);
            return true;
        }
        case kCents: value = static_cast<float>((clampedNumber(text, -50.0, 50.0) + 50.0) / 100.0); return true;
        case kTune: value = static_cast<float>((clampedNumber(text, -12.0, 12.0) + 12.0) / 24.0); return true;
        default: return Operator::parseEditorValue(index, text, value, mode);
    }
}

float Pitch::ratioOf(float semitonesValue, float centsValue, float tuneValue) {
    const float semitones = static_cast<float>(semitonesOf(semitonesValue)) + (centsValue - 0.5f) + tuneOf(tuneValue);
    return std::exp2(semitones / 12.0f);
}

int Pitch::maxFrameSizeFor(float sampleRate) { return sampleRate < 50000.0f ? 2048 : 4096; }

int Pitch::frameSizeFor(float sampleRate, int resolution) {
    const int base = sampleRate < 50000.0f ? 512 : (sampleRate < 100000.0f ? 1024 : 2048);
    return std::min(base << std::clamp(resolution, 0, kNumResolutions - 1), maxFrameSizeFor(sampleRate));
}

// --- control rate ----------------------------------------------------------

void Pitch::update() {
    const int resolution = resolutionOf(mBase[kResolution]);
    if (resolution != mResolution) {
        // A new frame size invalidates every frame and phase: restart from silence.
        mResolution = resolution;
        mFrameSize = frameSizeFor(mSampleRate, mResolution);
        restartFrames();
        buildWindow();
    }
    // Both channels follow the left modulation, each with its own ramp.
    const float ratio = ratioOf(mModL[kSemitones], mModL[kCents], mModL[kTune]);
    mRatioL.setTarget(ratio, mRampFactor);
    mRatioR.setTarget(ratio, mRampFactor);
}

// --- audio rate ------------------------------------------------------------

void Pitch::processSample(float* left, float* right) {
    mRatioL.next();
    mRatioR.next();
    if (mMaxFrameSize == 0) return;  // not prepared by setSampleRate yet

    const Vec4 input(0.0f, 0.0f, *right, *left);
    const int n = mFrameSize;
    Vec4 sum;
    for (int f = 0; f < kFrames; ++f) {
        const int position = mPosition[f];
        mInput[f][position] = input;
        // even slots hold the first half of the frame, odd slots the second
        int next = position == n - 2 ? 1 : position + 2;
        if (next >= n) {
            next = 0;
            processFrame(f);
        }
        mPosition[f] = next;
        sum += mOutput[f][next];
    }
    sum *= Vec4(kOverlapScale);
    *left = sum[3];
    *right = sum[2];
}

void Pitch::processFrame(int frame) {
    const int n = mFrameSize;
    Vec4* in = mInput[frame];
    Vec4* out = mOutput[frame];
    for (int i = 0; i < n; ++i) in[i] *= Vec4(mWindow[i]);
    fft::forward(in, n);
    if (mVectorPath)
        spectralStepVector(in, out);
    else
        spectralStepScalar(in, out);
    fft::inverse(out, n);
    for (int i = 0; i < n; ++i) out[i] *= Vec4(mWindow[i]);
}

void Pitch::clearSynthesis() {
    const size_t values = static_cast<size_t>(2 * (mFrameSize / 2 + 2));
    std::fill_n(mSynthMag.begin(), values, 0.0f);
    std::fill_n(mSynthFreq.begin(), values, 0.0f);
    std::fill_n(mSynthPeak.begin(), values, 0.0f);
}

// Moves one analysis bin of one channel to the bin of its shifted frequency;
// target bins above Nyquist are dropped. Below half the ratio several source
// bins land on one target, and the outer ones of a tone's main lobe lie more
// than two bins from it, where the phase advance per hop aliases by 2 pi and
// their frequency estimate is four bins off. So the strongest source bin sets
// the target's frequency (a later one wins a tie), not simply the last.
inline void Pitch::remapBin(int target, int channel, float magnitude, float frequency) {
    if (target > mFrameSize / 2) return;
    const int i = 2 * target + channel;
    mSynthMag[i] += magnitude;
    if (magnitude >= mSynthPeak[i]) {
        mSynthPeak[i] = magnitude;
        mSynthFreq[i] = frequency;
    }
}

// The transform returns N/2 times each bin's amplitude, and N times at DC and
// Nyquist, so those two are scaled by 1/N instead of 2/N: a DC offset or a
// Nyquist tone then comes out at its own level like every other bin.
inline float Pitch::magnitudeScale(int bin) const {
    const float n = static_cast<float>(mFrameSize);
    return (bin == 0 || bin == mFrameSize / 2) ? 1.0f / n : 2.0f / n;
}

// Only the two audio lanes of the transform carry signal, so the vector build
// works on two neighbouring bins at once: lanes (0, 1) hold bin k (right,
// left), lanes (2, 3) bin k + 1.
inline void Pitch::analysePair(int k, Vec4 reA, Vec4 imA, Vec4 reB, Vec4 imB, bool secondIsBin) {
    const float rr = mRatioR.current, rl = mRatioL.current;
    const Vec4 ratio(rr, rl, rr, rl);
    const Vec4 re(__builtin_shufflevector(reA.v, reB.v, 2, 3, 6, 7));
    const Vec4 im(__builtin_shufflevector(imA.v, imB.v, 2, 3, 6, 7));
    const float scaleA = magnitudeScale(k), scaleB = magnitudeScale(k + 1);
    const Vec4 mag = Vec4(scaleA, scaleA, scaleB, scaleB) * squareRoot(re * re + im * im);
    const Vec4 phase = fastAtan2(im, re);
    const float expectedA = static_cast<float>(k) * kHalfPi, expectedB = static_cast<float>(k + 1) * kHalfPi;
    const Vec4 expected(expectedA, expectedA, expectedB, expectedB);
    float* last = &mLastPhase[2 * k];
    const Vec4 delta = wrapPhase(phase - Vec4::load(last) - expected);
    phase.store(last);
    const Vec4 freq = ratio * (expected + delta);
    const Vec4 bins(static_cast<float>(k), static_cast<float>(k), static_cast<float>(k + 1), static_cast<float>(k + 1));
    const Int4Raw target = truncateToInt(min(bins * ratio, Vec4(static_cast<float>(mFrameSize / 2 + 1))));
    remapBin(target[0], 0, mag[0], freq[0]);
    remapBin(target[1], 1, mag[1], freq[1]);
    if (secondIsBin) {
        remapBin(target[2], 0, mag[2], freq[2]);
        remapBin(target[3], 1, mag[3], freq[3]);
    }
}

// Writes bin k of the packed spectrum from its (right, left) parts held in
// lanes 2 and 3 of re and im.
inline void Pitch::packBin(int k, Vec4 re, Vec4 im, const fft::BinLayout& layout, Vec4* out) const {
    if (k == 0) {
        out[0] = re;
    } else if (k == mFrameSize / 2) {
        out[1] = re;
    } else {
        out[layout.position[k]] = re;
        out[layout.position[k] + 1] = im * Vec4(layout.sign[k]);
    }
}

void Pitch::spectralStepVector(const Vec4* spectrum, Vec4* out) {
    const int half = mFrameSize / 2;
    const fft::BinLayout layout = fft::binLayout(mFrameSize);
    const Vec4 zero(0.0f);

    clearSynthesis();
    // half is even: pairs (k, k + 1) up to (half - 2, half - 1), then Nyquist alone
    for (int k = 0; k < half; k += 2) {
        const int a = layout.position[k], b = layout.position[k + 1];
        analysePair(k, spectrum[a], spectrum[a + 1] * Vec4(layout.sign[k]), spectrum[b],
                    spectrum[b + 1] * Vec4(layout.sign[k + 1]), true);
    }
    analysePair(half, spectrum[1], zero, zero, zero, false);

    for (int k = 0; k <= half; k += 2) {
        const Vec4 phase = wrapPhase(Vec4::load(&mSynthPhase[2 * k]) + Vec4::load(&mSynthFreq[2 * k]));
        phase.store(&mSynthPhase[2 * k]);
        const Vec4 mag = Vec4::load(&mSynthMag[2 * k]);
        const Vec4 re = mag * fastCos(phase);
        const Vec4 im = mag * fastSin(phase);
        packBin(k, Vec4(__builtin_shufflevector(zero.v, re.v, 0, 1, 4, 5)),
                Vec4(__builtin_shufflevector(zero.v, im.v, 0, 1, 4, 5)), layout, out);
        if (k < half)
            packBin(k + 1, Vec4(__builtin_shufflevector(zero.v, re.v, 0, 1, 6, 7)),
                    Vec4(__builtin_shufflevector(zero.v, im.v, 0, 1, 6, 7)), layout, out);
    }
}

void Pitch::spectralStepScalar(const Vec4* spectrum, Vec4* out) {
    const int half = mFrameSize / 2;
    const fft::BinLayout layout = fft::binLayout(mFrameSize);
    const float ratio[2] = {mRatioR.current, mRatioL.current};
    const float lastTarget = static_cast<float>(half + 1);

    clearSynthesis();
    for (int k = 0; k <= half; ++k) {
        const int position = k == half ? 1 : layout.position[k];
        const float sign = k == half ? 0.0f : layout.sign[k];
        const float scale = magnitudeScale(k);
        const float expected = static_cast<float>(k) * kHalfPi;
        for (int channel = 0; channel < 2; ++channel) {
            const int lane = 2 + channel;
            const float re = spectrum[position][lane];
            const float im = k == half ? 0.0f : spectrum[position + 1][lane] * sign;
            const float mag = scale * std::sqrt(re * re + im * im);
            const float phase = fastAtan2(im, re);
            float& last = mLastPhase[2 * k + channel];
            const float delta = wrapPhase(phase - last - expected);
            last = phase;
            const float freq = ratio[channel] * (expected + delta);
            const int target = static_cast<int>(std::min(static_cast<float>(k) * ratio[channel], lastTarget));
            remapBin(target, channel, mag, freq);
        }
    }

    for (int k = 0; k <= half; ++k) {
        Vec4 re, im;
        for (int channel = 0; channel < 2; ++channel) {
            float& phase = mSynthPhase[2 * k + channel];
            phase = wrapPhase(phase + mSynthFreq[2 * k + channel]);
            re.set(2 + channel, mSynthMag[2 * k + channel] * fastCos(phase));
            im.set(2 + channel, mSynthMag[2 * k + channel] * fastSin(phase));
        }
        packBin(k, re, im, layout, out);
    }
}

// --- reset and sample rate -------------------------------------------------

void Pitch::resetSmoothing() {
    mRatioL.snap();
    mRatioR.snap();
}

// Frame positions staggered by a hop (frame 3 starts a frame, frame 0 is
// three hops in), buffers and phases silent.
void Pitch::restartFrames() {
    const int n = mFrameSize;
    mPosition[0] = n / 2 + 1;
    mPosition[1] = 1;
    mPosition[2] = n / 2;
    mPosition[3] = 0;
    std::fill(mFrameBuffers.begin(), mFrameBuffers.end(), Vec4(0.0f));
    std::fill(mLastPhase.begin(), mLastPhase.end(), 0.0f);
    std::fill(mSynthPhase.begin(), mSynthPhase.end(), 0.0f);
    std::fill(mSynthMag.begin(), mSynthMag.end(), 0.0f);
    std::fill(mSynthFreq.begin(), mSynthFreq.end(), 0.0f);
    std::fill(mSynthPeak.begin(), mSynthPeak.end(), 0.0f);
}

// The window of a smaller frame is every (Nmax/N)-th value of the largest,
// so a resolution change needs no trigonometry on the audio thread.
void Pitch::buildWindow() {
    if (mMaxFrameSize == 0) return;
    const int n = mFrameSize;
    const int stride = mMaxFrameSize / n;
    for (int j = 0; j < n; ++j) mWindow[slotOf(j, n)] = mHann[j * stride];
}

void Pitch::clearState() {
    restartFrames();
    resetSmoothing();
}

void Pitch::setSampleRate(float rate) {
    mMaxFrameSize = maxFrameSizeFor(rate);
    mResolution = resolutionOf(mBase[kResolution]);
    mFrameSize = frameSizeFor(rate, mResolution);

    const int nmax = mMaxFrameSize;
    mFrameBuffers.assign(static_cast<size_t>(2 * kFrames * nmax), Vec4(0.0f));
    for (int f = 0; f < kFrames; ++f) {
        mInput[f] = mFrameBuffers.data() + f * nmax;
        mOutput[f] = mFrameBuffers.data() + (kFrames + f) * nmax;
    }
    // Two values (right, left) per bin, bins 0..N/2 and one more so that
    // the bins pair up evenly.
    const size_t binValues = static_cast<size_t>(2 * (nmax / 2 + 2));
    mLastPhase.assign(binValues, 0.0f);
    mSynthPhase.assign(binValues, 0.0f);
    mSynthMag.assign(binValues, 0.0f);
    mSynthFreq.assign(binValues, 0.0f);
    mSynthPeak.assign(binValues, 0.0f);
    mHann.resize(static_cast<size_t>(nmax));
    for (int j = 0; j < nmax; ++j)
        mHann[j] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * 3.14159265358979323846 * j / nmax));
    mWindow.assign(static_cast<size_t>(nmax), 0.0f);

    restartFrames();
    buildWindow();
    Operator::setSampleRate(rate);
}

}  // namespace vh
