#include "modulators/STEP.h"

#include <cmath>

#include "modulators/ModulatorCommon.h"
#include "modules/Rhythm.h"

namespace vh {

namespace {

const char* const kModeNames[STEP::kNumModes] = {"restart", "continue", "songpos", "onepass"};
const char* const kStateNames[2] = {"stopped", "running"};
// Stored values of the two states.
constexpr float kStoredRunning = 0.5f;
constexpr float kStoredStopped = 0.0f;
// Smoother corner: 20 kHz at smooth 0 down to 1 Hz at smooth 100 %.
constexpr float kSmoothCornerHz = 20000.0f;

bool isStepValue(int index) { return index >= 0 && index < STEP::kSmooth; }

}  // namespace

STEP::STEP(int slot, ModuleHost* owner) : Modulator(slot, owner) {
    for (int i = 0; i < kNumParams; ++i) setParameter(i, getParameterDefault(i));
    for (int i = 0; i < kNumParams; ++i) mModL[i] = mModR[i] = mBase[i];
    updatePhaseIncrement();
}

// --- parameters and their texts -------------------------------------------

void STEP::setParameter(int index, float value) {
    if (index == kState) value = isRunning(value) ? kStoredRunning : kStoredStopped;
    Modulator::setParameter(index, value);
}

float STEP::getParameterDefault(int index) {
    switch (index) {
        case kSteps: return discreteValue(kMaxSteps - 1, kMaxSteps);
        case kGrid: return discreteValue(kDefaultGridItem, kNumRhythmItems);
        case kMode: return discreteValue(kRestart, kNumModes);
        case kDepth: return 1.0f;
        case kState: return 0.75f;
        default: return 0.0f;  // step values, smooth and indices without a parameter
    }
}

void STEP::getParameterName(int index, char* out) {
    if (index >= kLeftStep0 && index < kRightStep0)
        VH_TEXT(out, "L%d", index + 1);
    else if (index >= kRightStep0 && index < kSmooth)
        VH_TEXT(out, "R%d", index - 15);
    else if (index == kSmooth)
        copyText(out, kTextSize, "smooth");
    else if (index == kSteps)
        copyText(out, kTextSize, "steps");
    else if (index == kGrid)
        copyText(out, kTextSize, "grid");
    else if (index == kMode)
        copyText(out, kTextSize, "mode");
    else if (index == kDepth)
        copyText(out, kTextSize, "depth");
    else if (index == kState)
        copyText(out, kTextSize, "state");
    else
        copyText(out, kTextSize, "---");
}

void STEP::getParameterTitle(int index, char* out) {
    if (index >= kSmooth && index < kNumParams)
        getParameterName(index, out);
    else
        out[0] = 0;  // the step values live in the plot, not in controls
}

void STEP::getParameterDisplay(int index, char* out) {
    if (isStepValue(index)) {
        VH_TEXT(out, "%.2f", 100.0f * mBase[index]);
        return;
    }
    switch (index) {
        case kSmooth:
        case kDepth: VH_TEXT(out, "%.1f", 100.0f * mBase[index]); break;
        case kSteps: VH_TEXT(out, "%d", stepCountOf(mBase[kSteps])); break;
        case kGrid: VH_TEXT(out, "%.2f", rhythmLength(discreteIndex(mBase[kGrid], kNumRhythmItems))); break;
        case kMode: copyText(out, kTextSize, kModeNames[discreteIndex(mBase[kMode], kNumModes)]); break;
        case kState:
            if (discreteIndex(mBase[kMode], kNumModes) == kSongPos)
                copyText(out, kTextSize, "songpos");
            else
                copyText(out, kTextSize, kStateNames[isRunning(mBase[kState]) ? 1 : 0]);
            break;
        default: out[0] = 0; break;
    }
}

void STEP::formatEditorValue(int index, float value, char* out, int mode) {
    if (isStepValue(index)) {
        int step = (index % kMaxSteps) + 1;
        if (mode != 0)
            VH_TEXT(out, "STEP %d: VALUE = %.1f%%", step, 100.0f * value);
        else
            VH_TEXT(out, "STEP %d%c: VALUE = %.1f%%", step, index < kRightStep0 ? 'L' : 'R', 100.0f * value);
        return;
    }
    switch (index) {
        case kSmooth:
        case kDepth: VH_TEXT(out, "%.1f%%", 100.0f * value); break;
        case kSteps: VH_TEXT(out, "%d", stepCountOf(value)); break;
        case kGrid: copyText(out, kTextSize, rhythmName(discreteIndex(value, kNumRhythmItems))); break;
        case kMode: copyText(out, kTextSize, kModeNames[discreteIndex(value, kNumModes)]); break;
        case kState:
            if (discreteIndex(mBase[kMode], kNumModes) == kSongPos)
                copyText(out, kTextSize, "songpos");
            else
                copyText(out, kTextSize, kStateNames[isRunning(value) ? 1 : 0]);
            break;
        default: out[0] = 0; break;
    }
}

bool STEP::parseEditorValue(int index, const char* text, float& value, int) {
    switch (index) {
        case kSmooth:
        case kDepth: value = percentValue(text); return true;
        case kSteps: {
            double a = std::trunc(readNumber(text));
            int item = a <= 0.0 ? 0 : a <= kMaxSteps ? static_cast<int>(a) - 1 : kMaxSteps - 1;
            value = discreteValue(item, kMaxSteps);
            return true;
        }
        case kGrid: value = discreteValue(rhythmItemOfName(text, kDefaultGridItem), kNumRhythmItems); return true;
        case kMode: {
            int item = listItemOfName(text, kModeNames, kNumModes);
            if (item < 0) return false;
            value = discreteValue(item, kNumModes);
            return true;
        }
        case kState: {
            int item = listItemOfName(text, kStateNames, 2);
            if (item < 0) return false;
            value = discreteValue(item, 2);
            return true;
        }
        default: return false;
    }
}

// --- control rate -----------------------------------------------------------

// One step lasts the grid length in whole notes: L * 240 / tempo seconds.
void STEP::updatePhaseIncrement() {
    mPhaseIncrement = static_cast<double>(mTempo) / (static_cast<double>(rhythmLength(mGrid)) * mSampleRate * 240.0);
}

void STEP::setTempo(float bpm) {
    mTempo = acceptedTempo(bpm, mTempo);
    updatePhaseIncrement();
}

void STEP::setSongPosition(float ppq) {
    if (discreteIndex(mBase[kMode], kNumModes) != kSongPos || !std::isfinite(ppq)) return;
    double stepQuarters = 4.0 * rhythmLength(discreteIndex(mBase[kGrid], kNumRhythmItems));
    double steps = static_cast<double>(ppq) / stepQuarters;
    double whole = std::floor(steps);
    double phase = steps - whole;
    if (phase >= 1.0) phase = 0.0;
    // fmod keeps positions of huge or negative song positions in range.
    double count = static_cast<double>(stepCountOf(mBase[kSteps]));
    double position = std::fmod(whole, count);
    if (position < 0.0) position += count;
    if (mPosition < count && followsSongPosition(mPosition + mStepPhase, position + phase, count, ppq, stepQuarters))
        return;
    mStepPhase = phase;
    mPosition = static_cast<int>(position);
    if (mPosition < 0 || mPosition >= kMaxSteps) mPosition = 0;
}

void STEP::update() {
    mDepthL.setTarget(mModL[kDepth], mRampFactor);
    mDepthR.setTarget(mModR[kDepth], mRampFactor);

    mLast = discreteIndex(mBase[kSteps], kMaxSteps);
    mGrid = discreteIndex(mBase[kGrid], kNumRhythmItems);
    mMode = discreteIndex(mBase[kMode], kNumModes);
    mRunning = isRunning(mModL[kState]) ? 1 : 0;
    if (!mRunning && (mMode == kRestart || mMode == kOnePass)) {
        mPosition = 0;
        mStepPhase = 0.0;
    }
    updatePhaseIncrement();

    mCoefL.setTarget(smoothingCoefficient(mCoefCacheL, mModL[kSmooth]), mRampFactor);
    mCoefR.setTarget(smoothingCoefficient(mCoefCacheR, mModR[kSmooth]), mRampFactor);
}

float STEP::smoothingCoefficient(CoefficientCache<2>& cache, float smooth) const {
    if (cache.changed({smooth, mSampleRate})) {
        float corner = 1.0f - smooth;
        cache.value = onePoleCoefficient(kTwoPi * std::pow(kSmoothCornerHz, corner * corner) / mSampleRate);
    }
    return cache.value;
}

// --- audio rate -------------------------------------------------------------

void STEP::processSample(float* outLeft, float* outRight) {
    float coefL = mCoefL.next(), coefR = mCoefR.next();
    float depthL = mDepthL.next(), depthR = mDepthR.next();

    float targetL, targetR;
    if (mRunning) {
        mStepPhase += mPhaseIncrement;
        if (mStepPhase >= 1.0) {
            if (++mPosition > mLast) mPosition = mMode == kOnePass ? mLast : 0;
            mStepPhase -= 1.0;
        }
        targetL = mModL[kLeftStep0 + mPosition];
        targetR = mModR[kRightStep0 + mPosition];
    } else if (mMode == kOnePass) {
        targetL = mModL[kLeftStep0 + mLast];
        targetR = mModR[kRightStep0 + mLast];
    } else {
        targetL = mSmoothL;  // stopped: the output holds
        targetR = mSmoothR;
    }

    mSmoothL = flushDenormal(mSmoothL + coefL * (targetL - mSmoothL));
    mSmoothR = flushDenormal(mSmoothR + coefR * (targetR - mSmoothR));
    *outLeft = mSmoothL * depthL;
    *outRight = mSmoothR * depthR;
}

// --- reset ------------------------------------------------------------------

void STEP::resetSmoothing() {
    mCoefL.snap();
    mCoefR.snap();
    mDepthL.snap();
    mDepthR.snap();
}

void STEP::clearState() {
    mPosition = 0;
    mStepPhase = 0.0;
    mSmoothL = mSmoothR = 0.0f;
}

}  // namespace vh
