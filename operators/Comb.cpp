#include "operators/Comb.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "operators/PlotProbe.h"

namespace vh {

namespace {
// log2(20000 / 20): the octaves the frequency knob spans.
constexpr float kOctaves = 9.965784f;

const char* const kNames[Comb::kNumParams] = {"freq", "depth", "type", "interpolate"};
const char* const kTitles[Comb::kNumParams] = {"freq", "depth", "type", "interpolation"};
const char* const kTypeHostNames[Comb::kNumTypes] = {"standard", "inverse"};
const char* const kTypeEditorNames[Comb::kNumTypes] = {"feedback", "feedforward"};

bool endsWithIgnoreCase(const char* text, size_t length, const char* suffix) {
    size_t n = std::strlen(suffix);
    return length >= n && equalsIgnoreCase(text + length - n, suffix);
}

int choiceOfName(const char* text, const char* const* first, const char* const* second, int n) {
    for (int i = 0; i < n; ++i)
        if (equalsIgnoreCase(text, first[i]) || (second && equalsIgnoreCase(text, second[i]))) return i;
    return -1;
}
}  // namespace

Comb::Comb(int slot, ModuleHost* owner) : Operator(slot, owner) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
}

// --- parameters -------------------------------------------------------------

float Comb::getParameterDefault(int index) {
    switch (index) {
        case kFreq: return 1.0f;
        case kType: return discreteValue(kFeedback, kNumTypes);
        case kInterpolate: return discreteValue(kInterpolationLinear, kNumInterpolations);
        default: return 0.0f;
    }
}

float Comb::frequencyHz(float v) { return kMinHz * std::exp2(kOctaves * v); }

float Comb::valueOfFrequency(double hz) {
    hz = std::min(std::max(hz, double(kMinHz)), double(kMaxHz));
    return static_cast<float>(std::log(hz / kMinHz) / (std::log(2.0) * kOctaves));
}

void Comb::getParameterName(int index, char* out) {
    copyText(out, kTextSize, (index >= 0 && index < kNumParams) ? kNames[index] : "---");
}

void Comb::getParameterTitle(int index, char* out) {
    copyText(out, kTextSize, (index >= 0 && index < kNumParams) ? kTitles[index] : "");
}

void Comb::getParameterLabel(int index, char* out) {
    copyText(out, kTextSize, index == kFreq ? "Hz" : index == kDepth ? "%" : "");
}

void Comb::getParameterDisplay(int index, char* out) {
    float v = (index >= 0 && index < kNumParams) ? mBase[index] : 0.0f;
    switch (index) {
        case kFreq: VH_TEXT(out, "%.0f", frequencyHz(v)); return;
        case kDepth: VH_TEXT(out, "%.1f", 100.0f * v); return;
        case kType: copyText(out, kTextSize, kTypeHostNames[discreteIndex(v, kNumTypes)]); return;
        case kInterpolate: copyText(out, kTextSize, interpolationName(discreteIndex(v, kNumInterpolations))); return;
        default: copyText(out, kTextSize, "---"); return;
    }
}

void Comb::formatEditorValue(int index, float v, char* out, int) {
    switch (index) {
        case kFreq: VH_TEXT(out, "%.0f Hz", frequencyHz(v)); return;
        case kDepth: VH_TEXT(out, "%.1f %%", 100.0f * v); return;
        case kType: copyText(out, kTextSize, kTypeEditorNames[discreteIndex(v, kNumTypes)]); return;
        case kInterpolate: copyText(out, kTextSize, interpolationName(discreteIndex(v, kNumInterpolations))); return;
        default: out[0] = 0; return;
    }
}

bool Comb::parseEditorValue(int index, const char* text, float& value, int) {
    if (text == nullptr) return false;
    switch (index) {
        case kFreq: {
            size_t length = std::strlen(text);
            while (length > 0 && text[length - 1] == ' ') --length;
            // "2k", "2 kHz", "2.5KHZ" all mean kilohertz.
            bool kilo = endsWithIgnoreCase(text, length, "k") ||
                        (length > 3 && endsWithIgnoreCase(text, length, "khz"));
            value = valueOfFrequency(readNumber(text) * (kilo ? 1000.0 : 1.0));
            return true;
        }
        case kDepth: {
            double percent = readNumber(text);
            value = percent > 100.0 ? 1.0f : percent < 0.0 ? 0.0f : static_cast<float>(percent / 100.0);
            return true;
        }
        case kType: {
            int i = choiceOfName(text, kTypeEditorNames, kTypeHostNames, kNumTypes);
            if (i < 0) return false;
            value = discreteValue(i, kNumTypes);
            return true;
        }
        case kInterpolate: {
            const char* names[kNumInterpolations] = {interpolationName(0), interpolationName(1), interpolationName(2)};
            int i = choiceOfName(text, names, nullptr, kNumInterpolations);
            if (i < 0) return false;
            value = discreteValue(i, kNumInterpolations);
            return true;
        }
        default: return false;
    }
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
