#include "operators/Moog.h"

#include <cmath>

#include "operators/FastMath.h"
#include "operators/PlotProbe.h"
#include "modules/MathConstants.h"

namespace vh {

namespace {
// Just below the feedback where the ladder oscillates on its own (4 r = 4).
constexpr float kMaxResonance = 0.99f;
constexpr float kMaxEmphasisShown = 10.0f;

// Tuning corrections of the oversampled discrete ladder, fitted against the
// cutoff as a fraction fc of the sample rate: the stage pole moves by fcr,
// the feedback needed for a given resonance by acr.
Vec4 frequencyCorrection(Vec4 fc) {
    return ((Vec4(1.873f) * fc + Vec4(0.4955f)) * fc - Vec4(0.649f)) * fc + Vec4(0.9988f);
}
Vec4 resonanceCorrection(Vec4 fc) { return (Vec4(-3.9364f) * fc + Vec4(1.8409f)) * fc + Vec4(0.9968f); }

constexpr float kLog2E = 1.44269504f;
const Int4Raw kChannelLanes = {0, 0, -1, -1};

bool parseCutoff(const char* text, float& value) {
    if (text == nullptr) return false;
    value = filter::parseFrequencyText(text);
    return true;
}
bool parseEmphasis(const char* text, float& value) {
    if (text == nullptr) return false;
    value = Moog::emphasisValue(readNumber(text));
    return true;
}
void emphasisText(float v, char* out) { VH_TEXT(out, "%.2f", Moog::emphasisShown(v)); }

// The editor titles are the host names.
constexpr ParameterInfo kParameters[Moog::kNumParams] = {
    {.name = "cutoff", .title = "cutoff", .label = "Hz", .defaultValue = 1.0f, .modulatable = true,
     .hostText = filter::frequencyDisplay, .editorText = filter::frequencyEditorText, .parseText = parseCutoff},
    {.name = "emphasis", .title = "emphasis", .modulatable = true, .hostText = emphasisText, .editorText = emphasisText,
     .parseText = parseEmphasis},
};

}  // namespace

Moog::Moog(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    mBase[kCutoff] = getParameterDefault(kCutoff);
    mBase[kEmphasis] = getParameterDefault(kEmphasis);
    update();
    resetSmoothing();
}

// --- parameters ---------------------------------------------------------------

float Moog::emphasisValue(double shown) {
    if (shown > kMaxEmphasisShown) return 1.0f;
    if (!(shown > 0.0)) return 0.0f;
    return static_cast<float>(shown / kMaxEmphasisShown);
}

// --- control tick -------------------------------------------------------------

void Moog::update() {
    // Both channels at once in their lanes; lanes 0 and 1 stay at 0.
    const Vec4 cutoffs(0.0f, 0.0f, clampUnit(mModR[kCutoff]), clampUnit(mModL[kCutoff]));
    const Vec4 emphases(0.0f, 0.0f, clampUnit(mModR[kEmphasis]), clampUnit(mModL[kEmphasis]));
    const Vec4 fc = filter::tunedFrequenciesHz(cutoffs, mSampleRate) * Vec4(1.0f / mSampleRate);
    // 1 - e^(-pi fc fcr) as 1 - 2^(-pi log2(e) fc fcr).
    const Vec4 g = Vec4(1.0f) - fastExp2(Vec4(-kPiF * kLog2E) * fc * frequencyCorrection(fc));
    mGTarget = keepLanes(kChannelLanes, g);
    mRTarget = Vec4(kMaxResonance) * emphases * resonanceCorrection(fc);
    Vec4 ramp(mRampFactor);
    mGInc = (mGTarget - mG) * ramp;
    mRInc = (mRTarget - mR) * ramp;

    // Keeps decaying stages out of denormals when flush-to-zero is off.
    mS1 = flushDenormal(mS1);
    mS2 = flushDenormal(mS2);
    mS3 = flushDenormal(mS3);
    mS4 = flushDenormal(mS4);
    mP4 = flushDenormal(mP4);
}

// --- reset ----------------------------------------------------------------------

void Moog::resetSmoothing() {
    mG = mGTarget;
    mR = mRTarget;
    mGInc = mRInc = Vec4(0.0f);
}

void Moog::clearState() {
    mS1 = mS2 = mS3 = mS4 = mP4 = Vec4(0.0f);
    resetSmoothing();
}

// --- what the editor's plot shows --------------------------------------------

void Moog::responseDb(const float* values, const double* freqHz, int count, double* const* outDb) const {
    plotprobe::magnitudesDb<Moog>(values, -1, false, mSampleRate, freqHz, count, outDb);
}

}  // namespace vh
