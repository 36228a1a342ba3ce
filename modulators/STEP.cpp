#include "modulators/STEP.h"

#include <array>
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

constexpr ParameterInfo::Linear kPercent = linearText(0.0f, 100.0f, "%.1f", "%.1f%%");

// The step values have no controls of their own (they live in the plot),
// hence no titles.
constexpr std::array<ParameterInfo, STEP::kNumParams> kParameters = [] {
    constexpr const char* kStepNames[2 * STEP::kMaxSteps] = {
        "L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9", "L10", "L11", "L12", "L13", "L14", "L15", "L16",
        "R1", "R2", "R3", "R4", "R5", "R6", "R7", "R8", "R9", "R10", "R11", "R12", "R13", "R14", "R15", "R16"};
    std::array<ParameterInfo, STEP::kNumParams> table{};
    for (int i = 0; i < STEP::kSmooth; ++i) table[i] = {.name = kStepNames[i]};
    table[STEP::kSmooth] = {.name = "smooth", .title = "smooth", .modulatable = true, .text = kPercent};
    table[STEP::kSteps] = {.name = "steps", .title = "steps", .defaultValue = discreteValue(STEP::kMaxSteps - 1, STEP::kMaxSteps)};
    table[STEP::kGrid] = {.name = "grid", .title = "grid",
                          .defaultValue = discreteValue(STEP::kDefaultGridItem, kNumRhythmItems)};
    table[STEP::kMode] = {.name = "mode", .title = "mode", .defaultValue = discreteValue(STEP::kRestart, STEP::kNumModes),
                          .steps = STEP::kNumModes, .hostItems = kModeNames};
    table[STEP::kDepth] = {.name = "depth", .title = "depth", .defaultValue = 1.0f, .modulatable = true, .text = kPercent};
    // Reads "songpos" in songpos mode.
    table[STEP::kState] = {.name = "state", .title = "state", .defaultValue = 0.75f, .modulatable = true,
                           .textSwitch = STEP::kMode};
    return table;
}();

}  // namespace

STEP::STEP(int slot, ModuleHost* owner) : Modulator(slot, owner, kParameters) {
    for (int i = 0; i < kNumParams; ++i) setParameter(i, getParameterDefault(i));
    for (int i = 0; i < kNumParams; ++i) mModL[i] = mModR[i] = mBase[i];
    updatePhaseIncrement();
}

// --- parameters and their texts -------------------------------------------

void STEP::setParameter(int index, float value) {
    if (index == kState) value = isRunning(value) ? kStoredRunning : kStoredStopped;
    Modulator::setParameter(index, value);
}

void STEP::getParameterDisplay(int index, char* out) {
    if (isStepValue(index)) {
        VH_TEXT(out, "%.2f", 100.0f * baseValue(index));
        return;
    }
    switch (index) {
        case kSteps: VH_TEXT(out, "%d", stepCountOf(baseValue(kSteps))); break;
        case kGrid: VH_TEXT(out, "%.2f", rhythmLength(discreteIndex(baseValue(kGrid), kNumRhythmItems))); break;
        case kState:
            if (discreteIndex(baseValue(kMode), kNumModes) == kSongPos)
                copyText(out, kTextSize, "songpos");
            else
                copyText(out, kTextSize, kStateNames[isRunning(baseValue(kState)) ? 1 : 0]);
            break;
        default: Modulator::getParameterDisplay(index, out); break;
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
        case kSteps: VH_TEXT(out, "%d", stepCountOf(value)); break;
        case kGrid: copyText(out, kTextSize, rhythmName(discreteIndex(value, kNumRhythmItems))); break;
        case kState:
            if (discreteIndex(baseValue(kMode), kNumModes) == kSongPos)
                copyText(out, kTextSize, "songpos");
            else
                copyText(out, kTextSize, kStateNames[isRunning(value) ? 1 : 0]);
            break;
        default: Modulator::formatEditorValue(index, value, out, mode); break;
    }
}

bool STEP::parseEditorValue(int index, const char* text, float& value, int mode) {
    switch (index) {
        case kSteps: {
            double a = std::trunc(readNumber(text));
            int item = a <= 0.0 ? 0 : a <= kMaxSteps ? static_cast<int>(a) - 1 : kMaxSteps - 1;
            value = discreteValue(item, kMaxSteps);
            return true;
        }
        case kGrid: value = discreteValue(rhythmItemOfName(text, kDefaultGridItem), kNumRhythmItems); return true;
        case kState: {
            int item = listItemOfName(text, kStateNames, 2);
            if (item < 0) return false;
            value = discreteValue(item, 2);
            return true;
        }
        default: return Modulator::parseEditorValue(index, text, value, mode);
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
    int step = static_cast<int>(position);
    setPosition(step < 0 || step >= kMaxSteps ? 0 : step);
}

void STEP::update() {
    mDepthL.setTarget(mModL[kDepth], mRampFactor);
    mDepthR.setTarget(mModR[kDepth], mRampFactor);

    mLast = discreteIndex(mBase[kSteps], kMaxSteps);
    mGrid = discreteIndex(mBase[kGrid], kNumRhythmItems);
    mMode = discreteIndex(mBase[kMode], kNumModes);
    mRunning = isRunning(mModL[kState]) ? 1 : 0;
    if (!mRunning && (mMode == kRestart || mMode == kOnePass)) {
        setPosition(0);
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
            int next = mPosition + 1;
            setPosition(next > mLast ? (mMode == kOnePass ? mLast : 0) : next);
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
    setPosition(0);
    mStepPhase = 0.0;
    mSmoothL = mSmoothR = 0.0f;
}

}  // namespace vh
