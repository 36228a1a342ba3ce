#include "operators/DelayLine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "operators/Gain.h"

namespace vh {

namespace {
// Where the delay ramps stand until the first update sets the real delays.
constexpr float kStartDelay = 0.0625f;
constexpr int kNumModes = 2;
constexpr int kNumFeedbackModes = 2;
constexpr int kPanSteps = 201;  // positions L 100 .. CENTER .. R 100
constexpr int kPanCentre = 100;
// Below this gain the editor shows the feedback as off (-100 dB).
constexpr float kFeedbackFloor = 0.00001f;

const char* const kModeHostNames[kNumModes] = {"time-based", "tempo-based"};
const char* const kModeEditorNames[kNumModes] = {"time", "tempo"};
const char* const kFeedbackModeHostNames[kNumFeedbackModes] = {"independent", "align"};
const char* const kFeedbackModeEditorNames[kNumFeedbackModes] = {"indep", "align"};

// "L 030" / "CENTER" / "R 030"; `near` is the side a value below the centre
// points to (L for the left line's pan, R for the right line's).
void panText(float v, char near, char far, char* out) {
    int p = DelayLine::panPosition(v);
    if (p < kPanCentre)
        VH_TEXT(out, "%c %03d", near, kPanCentre - p);
    else if (p == kPanCentre)
        copyText(out, kTextSize, "CENTER");
    else
        VH_TEXT(out, "%c %03d", far, p - kPanCentre);
}

// "L:30", "l 30", "R20": a side letter and an amount of 0..100 towards it.
float parsePan(const char* text, char near) {
    while (*text == ' ') ++text;
    char side = (*text >= 'a' && *text <= 'z') ? static_cast<char>(*text - 32) : *text;
    if (side != 'L' && side != 'R') return 0.5f;
    const char* colon = std::strchr(text, ':');
    double amount = readNumber(colon ? colon + 1 : text + 1);
    amount = std::min(std::max(amount, 0.0), 100.0);
    float offset = static_cast<float>(amount / 200.0);
    return side == near ? 0.5f - offset : 0.5f + offset;
}
constexpr ParameterInfo time(const char* name, const char* title) {
    return {.name = name, .title = title, .label = "ms", .defaultValue = discreteValue(5, kNumRhythmItems),  // "1/4"
            .modulatable = true, .textSwitch = DelayLine::kMode};
}

constexpr ParameterInfo kParameters[DelayLine::kNumParams] = {
    time("time L", "timeL"),
    time("time R", "timeR"),
    {.name = "feedback", .title = "feedbck", .label = "dB", .modulatable = true},
    {.name = "mode", .title = "mode", .defaultValue = discreteValue(DelayLine::kTempoBased, kNumModes),
     .steps = kNumModes, .hostItems = kModeHostNames, .editorItems = kModeEditorNames},
    {.name = "interpolate", .title = "interpol", .defaultValue = discreteValue(kInterpolationLinear, kNumInterpolations),
     .steps = kNumInterpolations, .hostItems = kInterpolationNames},
    // Modulation only: moves both times.
    {.name = "time LR", .modulatable = true},
    {.name = "fb mode", .title = "fbmode", .defaultValue = discreteValue(DelayLine::kIndependent, kNumFeedbackModes),
     .steps = kNumFeedbackModes, .hostItems = kFeedbackModeHostNames, .editorItems = kFeedbackModeEditorNames},
    // Both pans default fully to their own side.
    {.name = "pan L", .title = "panL", .modulatable = true},
    {.name = "pan R", .title = "panR", .modulatable = true},
};

}  // namespace

DelayLine::DelayLine(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    mDelayFeedback.current = mDelayFeedback.target = Vec4(kStartDelay, kStartDelay, 0.0f, 0.0f);
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
}

// --- parameters -------------------------------------------------------------

int DelayLine::panPosition(float v) { return discreteIndex(v, kPanSteps); }

float DelayLine::tempoTimeValue(int item, float bpm) {
    return std::min(rhythmSeconds(rhythmLength(item), bpm) / kMaxSeconds, 1.0f);
}

void DelayLine::getParameterDisplay(int index, char* out) {
    float v = (index >= 0 && index < kNumParams) ? baseValue(index) : 0.0f;
    switch (index) {
        case kTimeL:
        case kTimeR:
            // The mode as of the last update: the text of the time the line plays.
            if (mode() == kTimeBased)
                VH_TEXT(out, "%.0f", 1000.0f * kMaxSeconds * v);
            else
                VH_TEXT(out, "%.2f", rhythmLength(noteIndex(v)));
            return;
        case kFeedback: levelText(feedbackGain(v), out, 0); return;
        case kTimeLR: copyText(out, kTextSize, "---"); return;
        case kPanL: panText(v, 'L', 'R', out); return;
        case kPanR: panText(v, 'R', 'L', out); return;
        default: Operator::getParameterDisplay(index, out); return;
    }
}

void DelayLine::timeText(float v, int mode, char* out) {
    if (mode == kTimeBased)
        VH_TEXT(out, "%.1fms", 1000.0f * kMaxSeconds * v);
    else
        copyText(out, kTextSize, rhythmName(noteIndex(v)));
}

void DelayLine::formatEditorValue(int index, float v, char* out, int mode) {
    switch (index) {
        case kTimeL:
        case kTimeR: timeText(v, mode, out); return;
        case kFeedback: {
            float g = feedbackGain(v);
            if (g < kFeedbackFloor)
                copyText(out, kTextSize, "-oodB");
            else
                VH_TEXT(out, "%.1fdB", 20.0 * std::log10(static_cast<double>(g)));
            return;
        }
        case kTimeLR: out[0] = 0; return;
        case kPanL: panText(v, 'L', 'R', out); return;
        case kPanR: panText(v, 'R', 'L', out); return;
        default: Operator::formatEditorValue(index, v, out, mode); return;
    }
}

bool DelayLine::parseEditorValue(int index, const char* text, float& value, int mode) {
    if (text == nullptr) return false;
    switch (index) {
        case kTimeL:
        case kTimeR:
            if (mode == kTimeBased) {
                double ms = std::min(std::max(readNumber(text), 0.0), 1000.0 * kMaxSeconds);
                value = static_cast<float>(ms / (1000.0 * kMaxSeconds));
            } else {
                value = discreteValue(rhythmItemOfName(text, kDefaultRhythmItem), kNumRhythmItems);
            }
            return true;
        case kFeedback:
            value = isMinusInfinityText(text) ? 0.0f : Gain::valueOfDb(readNumber(text));
            return true;
        case kPanL: value = parsePan(text, 'L'); return true;
        case kPanR: value = parsePan(text, 'R'); return true;
        default: return Operator::parseEditorValue(index, text, value, mode);
    }
}

void DelayLine::setParameter(int index, float value) {
    // "time LR" only ever carries modulation; a stored value would be
    // meaningless, so its base stays 0 whatever a host or preset sends.
    Operator::setParameter(index, index == kTimeLR ? 0.0f : value);
}

void DelayLine::valueChanged(int localIndex, float value) {
    if (localIndex != kMode) {
        Operator::valueChanged(localIndex, value);
        return;
    }
    int oldMode = discreteIndex(baseValue(kMode), kNumModes);
    int newMode = discreteIndex(value, kNumModes);
    publish(mBase[kMode], value);
    // Keep what the user hears: each time is converted into the nearest
    // equivalent of the new mode before the mode itself changes.
    if (oldMode != newMode && mOwner) {
        for (int index : {kTimeL, kTimeR}) {
            float v = baseValue(index);
            float converted = newMode == kTimeBased
                                  ? tempoTimeValue(noteIndex(v), observe(mTempo))
                                  : discreteValue(nearestRhythmItem(kMaxSeconds * v, observe(mTempo)), kNumRhythmItems);
            mOwner->automateParameter(globalIndex(index), converted);
        }
    }
    Operator::valueChanged(localIndex, value);
}

// --- control tick -------------------------------------------------------------

void DelayLine::setTempo(float bpm) {
    // Read by the editor's plot and mode conversion as well.
    if (std::isfinite(bpm) && bpm > 0.0f) publish(mTempo, bpm);
}

void DelayLine::resetModulation() {
    Operator::resetModulation();
    if (discreteIndex(mBase[kMode], kNumModes) == kTempoBased) {
        mModL[kTimeL] = tempoTimeValue(noteIndex(mBase[kTimeL]), mTempo);
        mModR[kTimeR] = tempoTimeValue(noteIndex(mBase[kTimeR]), mTempo);
    }
}

void DelayLine::addModulation(int index, float left, float right) {
    switch (index) {
        case kTimeL: mModL[kTimeL] += kTimeModulationScale * left; break;
        case kTimeR: mModR[kTimeR] += kTimeModulationScale * right; break;
        case kTimeLR:
            mModL[kTimeL] += kTimeModulationScale * left;
            mModR[kTimeR] += kTimeModulationScale * right;
            break;
        case kFeedback:
        case kPanL:
        case kPanR: Operator::addModulation(index, left, right); break;
        default: break;  // the choices are not modulation destinations
    }
}

void DelayLine::update() {
    // "time LR" adds to both times without their clamp, so the delays are
    // held to what the lines can hold here (the `!(d >= 1)` form also
    // catches NaN).
    float samplesPerUnit = kMaxSeconds * mSampleRate;
    float maxDelay = mLine.empty() ? samplesPerUnit : mLine.maxDelay();
    auto delayOf = [&](float v) {
        float d = v * samplesPerUnit;
        return !(d >= 1.0f) ? 1.0f : std::min(d, maxDelay);
    };
    float dL = delayOf(mModL[kTimeL]);
    float dR = delayOf(mModR[kTimeR]);

    float gL = feedbackGain(clampUnit(mModL[kFeedback]));
    float gR = feedbackGain(clampUnit(mModR[kFeedback]));
    if (discreteIndex(mBase[kFeedbackMode], kNumFeedbackModes) == kAlign) {
        // Per-sample decay of each loop; the faster-decaying loop takes the
        // slower one's decay per second.
        float eL = std::pow(gL, 1.0f / dL);
        float eR = std::pow(gR, 1.0f / dR);
        if (eL > eR)
            gR = std::pow(gL, dR / dL);
        else
            gL = std::pow(gR, dL / dR);
    }

    mDelayFeedback.setTarget(Vec4(dL, dR, gL, gR), mRampFactor);
    mPan.setTarget(Vec4(clampUnit(mModL[kPanL]), clampUnit(mModR[kPanR]), 0.0f, 0.0f), mRampFactor);

    std::atomic_ref<int>(mMode).store(discreteIndex(mBase[kMode], kNumModes), std::memory_order_relaxed);
    mInterpolation = discreteIndex(mBase[kInterpolate], kNumInterpolations);
}

// --- audio ----------------------------------------------------------------------

template <int Interpolation>
inline void DelayLine::processWith(float* left, float* right) {
    Vec4 delayFeedback = mDelayFeedback.next();
    Vec4 pan = mPan.next();
    Vec4 y = mLine.read<Interpolation>(delayFeedback);
    // outL = (1 - pL) yL + pR yR and outR = (1 - pR) yR + pL yL, side by side.
    Vec4 out = (mConstants.one - pan) * y + swapPairs(pan) * swapPairs(y);
    Vec4 feedback = upperHalf(delayFeedback);
    mLine.write(((Vec4(*left, *right, 0.0f, 0.0f) + feedback * out) + mConstants.flush) - mConstants.flush);
    *left = out[0];
    *right = out[1];
}

void DelayLine::processSample(float* left, float* right) {
    if (mLine.empty()) {  // no rate yet: nothing to read from
        *left = *right = 0.0f;
        return;
    }
    switch (mInterpolation) {
        case kInterpolationOff: processWith<kInterpolationOff>(left, right); break;
        case kInterpolationCubic: processWith<kInterpolationCubic>(left, right); break;
        default: processWith<kInterpolationLinear>(left, right); break;
    }
}

// --- reset and rate -------------------------------------------------------------

void DelayLine::resetSmoothing() {
    mDelayFeedback.snap();
    mPan.snap();
}

void DelayLine::clearState() {
    mLine.clear();
    resetSmoothing();
}

void DelayLine::setSampleRate(float rate) {
    // Four seconds at the longest, plus the cell about to be written.
    int length = 4 * static_cast<int>(rate) + 1;
    mLine.allocate(length);
    Operator::setSampleRate(rate);
}

// --- what the editor's plot shows --------------------------------------------

int DelayLine::delayTaps(const float* values, DelayTap* out, int maxTaps) const {
    auto probe = std::make_unique<DelayLine>(0, nullptr);
    probe->setTempo(observe(mTempo));
    for (int i = 0; i < kNumParams; ++i) probe->setParameter(i, values[i]);
    probe->setSampleRate(mSampleRate);
    // An echo is a local peak of the output; interpolation spreads it over
    // neighbouring samples, whose sum is its gain.
    constexpr float kAudible = 1e-3f;
    const long length = static_cast<long>(kMaxSeconds * mSampleRate) + 2;
    float prev[2][2] = {};  // per channel: the sample before last, the last
    int found = 0;
    for (long n = 0; n < length && found < maxTaps; ++n) {
        float y[2] = {n == 0 ? 1.0f : 0.0f, n == 0 ? 1.0f : 0.0f};
        probe->processSample(&y[0], &y[1]);
        for (int c = 0; c < 2 && found < maxTaps; ++c) {
            const float a = prev[c][0], b = prev[c][1];
            if (std::fabs(b) > kAudible && std::fabs(b) >= std::fabs(a) && std::fabs(b) > std::fabs(y[c]))
                out[found++] = DelayTap{static_cast<float>((n - 1) * 1000.0 / mSampleRate), a + b + y[c], c};
            prev[c][0] = b;
            prev[c][1] = y[c];
        }
    }
    return found;
}

}  // namespace vh
