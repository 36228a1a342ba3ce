#include "operators/Comb.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "operators/PlotProbe.h"

namespace vh {

namespace {
// log2(20000 / 20): the octaves the frequency knob spans.
constexpr float kOctaves = 9.965784f;

const char* const kTypeHostNames[Comb::kNumTypes] = {"standard", "inverse"};
const char* const kTypeEditorNames[Comb::kNumTypes] = {"feedback", "feedforward"};

bool endsWithIgnoreCase(const char* text, size_t length, const char* suffix) {
    size_t n = std::strlen(suffix);
    return length >= n && equalsIgnoreCase(text + length - n, suffix);
}

void frequencyHostText(float v, char* out) { VH_TEXT(out, "%.0f", Comb::frequencyHz(v)); }
void frequencyEditorText(float v, char* out) { VH_TEXT(out, "%.0f Hz", Comb::frequencyHz(v)); }
bool parseFrequency(const char* text, float& value) {
    if (text == nullptr) return false;
    size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == ' ') --length;
    // "2k", "2 kHz", "2.5KHZ" all mean kilohertz.
    bool kilo = endsWithIgnoreCase(text, length, "k") || (length > 3 && endsWithIgnoreCase(text, length, "khz"));
    value = Comb::valueOfFrequency(readNumber(text) * (kilo ? 1000.0 : 1.0));
    return true;
}

constexpr ParameterInfo kParameters[Comb::kNumParams] = {
    {.name = "freq", .title = "freq", .label = "Hz", .defaultValue = 1.0f, .modulatable = true,
     .hostText = frequencyHostText, .editorText = frequencyEditorText, .parseText = parseFrequency},
    {.name = "depth", .title = "depth", .label = "%", .modulatable = true,
     .text = linearText(0.0f, 100.0f, "%.1f", "%.1f %%")},
    {.name = "type", .title = "type", .defaultValue = discreteValue(Comb::kFeedback, Comb::kNumTypes),
     .steps = Comb::kNumTypes, .hostItems = kTypeHostNames, .editorItems = kTypeEditorNames},
    {.name = "interpolate", .title = "interpolation",
     .defaultValue = discreteValue(kInterpolationLinear, kNumInterpolations), .steps = kNumInterpolations,
     .hostItems = kInterpolationNames},
};
}  // namespace

Comb::Comb(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
}

// --- parameters -------------------------------------------------------------

float Comb::frequencyHz(float v) { return kMinHz * std::exp2(kOctaves * v); }

float Comb::valueOfFrequency(double hz) {
    hz = std::min(std::max(hz, double(kMinHz)), double(kMaxHz));
    return static_cast<float>(std::log(hz / kMinHz) / (std::log(2.0) * kOctaves));
}

// --- control tick -------------------------------------------------------------

void Comb::update() {
    mType = discreteIndex(mBase[kType], kNumTypes);
    mInterpolation = discreteIndex(mBase[kInterpolate], kNumInterpolations);
    // One period in samples. Below 20 kHz sample rate a period can be shorter
    // than a sample; the ring reads such delays as one sample.
    float maxDelay = mLine.empty() ? mSampleRate / kMinHz : mLine.maxDelay();
    auto periodOf = [&](float v) { return std::min(mSampleRate / frequencyHz(clampUnit(v)), maxDelay); };
    mDelayGain.setTarget(Vec4(periodOf(mModL[kFreq]), periodOf(mModR[kFreq]), depthGain(clampUnit(mModL[kDepth])),
                              depthGain(clampUnit(mModR[kDepth]))),
                         mRampFactor);
}

// --- audio ----------------------------------------------------------------------

template <int Interpolation, int Type>
inline void Comb::processWith(float* left, float* right) {
    Vec4 delayGain = mDelayGain.next();
    Vec4 y = mLine.read<Interpolation>(delayGain);
    if constexpr (Interpolation == kInterpolationCubic) {
        // A cubic read of a recirculating line is held to +-4 so the
        // overshoot of the interpolator can never build up in the loop.
        y = clampLanes(y, mLowerLimit, mUpperLimit);
    }
    Vec4 gain = upperHalf(delayGain);
    Vec4 x(*left, *right, 0.0f, 0.0f);
    if constexpr (Type == kFeedback) {
        mLine.write(((x + gain * y) + mConstants.flush) - mConstants.flush);
        *left = y[0];
        *right = y[1];
    } else {
        mLine.write(x);
        Vec4 out = x + gain * y;
        *left = out[0];
        *right = out[1];
    }
}

void Comb::processSample(float* left, float* right) {
    if (mLine.empty()) {  // no rate yet: nothing to read from
        *left = *right = 0.0f;
        return;
    }
    bool feedback = mType == kFeedback;
    switch (mInterpolation) {
        case kInterpolationOff:
            feedback ? processWith<kInterpolationOff, kFeedback>(left, right)
                     : processWith<kInterpolationOff, kFeedforward>(left, right);
            break;
        case kInterpolationCubic:
            feedback ? processWith<kInterpolationCubic, kFeedback>(left, right)
                     : processWith<kInterpolationCubic, kFeedforward>(left, right);
            break;
        default:
            feedback ? processWith<kInterpolationLinear, kFeedback>(left, right)
                     : processWith<kInterpolationLinear, kFeedforward>(left, right);
            break;
    }
}

// --- reset and rate -------------------------------------------------------------

void Comb::resetSmoothing() {
    mDelayGain.snap();
}

void Comb::clearState() {
    mLine.clear();
    resetSmoothing();
}

void Comb::setSampleRate(float rate) {
    // The longest period, that of 20 Hz, plus the cell about to be written.
    int length = 1 + static_cast<int>(rate / kMinHz);
    mLine.allocate(length);
    Operator::setSampleRate(rate);
}

// --- what the editor's plot shows --------------------------------------------

void Comb::responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const {
    plotprobe::magnitudesDb<Comb>(values, -1, false, mSampleRate, freqHz, count, outDb);
}

}  // namespace vh
