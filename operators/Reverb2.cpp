#include "operators/Reverb2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "modules/Rhythm.h"
#include "modules/Vec4.h"

namespace vh {

namespace {

constexpr const char* kParamNames[Reverb2::kNumParams] = {"time", "damping", "amount", "type", "premode", "pretime"};
constexpr const char* kParamTitles[Reverb2::kNumParams] = {"time",      "damping", "amount",
                                                           "algorithm", "premode", "pretime"};
constexpr const char* kAlgorithmNames[Reverb2::kNumAlgorithms] = {"cathedral", "room", "plate", "hall"};
constexpr const char* kPreModeNames[Reverb2::kNumPreModes] = {"time", "tempo"};

constexpr float kMaxPreDelaySeconds = 1.0f;  // the pre-delay buffer holds one second
constexpr float kNetworkRate = 44100.0f;     // rate the delay lengths were tuned at
constexpr float kAllpassCoefficient = 0.7f;
constexpr float kLn10Quarter = 0.5756463f;  // ln 10 / 4, single precision

// Cathedral element k: 1600 * 2^(k/15); hall element k: 1200 * 1.4142^(k/15).
constexpr int kCathedralLengths[Reverb2::Network::kLines] = {1600, 1675, 1754, 1837, 1924, 2015, 2111, 2211,
                                                             2315, 2425, 2539, 2659, 2785, 2917, 3055};
constexpr int kHallLengths[Reverb2::Network::kLines] = {1200, 1228, 1256, 1286, 1316, 1346, 1378, 1410,
                                                        1443, 1477, 1511, 1547, 1583, 1620, 1658};
// Output taps (distance into the plain delay at 44.1 kHz): left reads the
// even lines 0..12, right the odd lines 1..13, with alternating signs.
constexpr int kCathedralTaps[2][Reverb2::Network::kTaps] = {{258, 689, 783, 469, 1245, 860, 1456},
                                                            {337, 825, 1245, 845, 555, 900, 1023}};
constexpr int kHallTaps[2][Reverb2::Network::kTaps] = {{64, 172, 195, 117, 311, 215, 364},
                                                       {84, 206, 311, 211, 138, 225, 255}};
constexpr int kDiffuserLengths[4] = {142, 360, 901, 1895};

// Row offsets with a positive sign in the circulant feedback matrix (the
// other eight are negative): a length-15 maximal sequence, so every mode but
// the common one keeps its energy and the lines decay only through their gains.
constexpr int kPositiveOffsets[7] = {1, 2, 3, 5, 6, 9, 11};
constexpr float kMatrixScale = 0.25f;  // 1/sqrt(15 + 1)

// Modulation: 100-point sine with a closing zero (and one spare so a phase
// rounding up to exactly 1 still reads inside the table).
constexpr int kSinePoints = 100;
struct SineTable {
    float v[kSinePoints + 2];
    SineTable() {
        for (int i = 0; i < kSinePoints; ++i)
            v[i] = static_cast<float>(std::sin(2.0 * 3.14159265358979323846 * i / kSinePoints));
        v[kSinePoints] = v[kSinePoints + 1] = 0.0f;
    }
};
const SineTable kSine;

constexpr int kRoomCombLengths[Reverb2::Room::kCombs] = {2206, 2222, 2236, 1587, 1351, 1720};
constexpr int kRoomAllpassLengths[Reverb2::Room::kStages] = {243, 247, 271, 237, 239, 243, 261, 287};
constexpr float kRoomWeightL[Reverb2::Room::kCombs] = {0.125f, 0.0625f, 0.125f, 0.0625f, 0.125f, 0.0625f};
constexpr float kRoomWeightR[Reverb2::Room::kCombs] = {0.0625f, 0.125f, 0.0625f, 0.125f, 0.0625f, 0.125f};
// Lowest corner of the room combs' damping low-pass. The decay formula drives
// the coefficient to 0 at short times with strong damping, which would freeze
// each comb's low-pass on its last value (silence plus a stuck DC offset).
constexpr float kRoomMinDampingHz = 250.0f;

// Plate line and diffuser lengths in units of c = fs * 44.1 * 5 / 1.4450247e9.
constexpr float kPlateLineK[Reverb2::Plate::kLines] = {3182331.04f, 2662541.5656f, 3295698.3066f,
                                                       2506079.1406f, 3064032.3399f, 2924267.9781f};
constexpr float kPlateDiffuserK[Reverb2::Plate::kDiffusers] = {417287.745f, 156341.1871f, 304978.8525f,
                                                               117807.1951f};
// Three times the lines' mean length at 44.1 kHz (about 9922 samples): the
// exponent that gives a 60 dB loss per RT seconds.
constexpr float kPlateDecayLength = 29766.0f;
constexpr float kPlateBandPassOmega = 12566.0f;  // 2 pi * 2 kHz
constexpr float kPlateBandPassWidth = 0.12f;
constexpr float kPlateWetGain = 0.6f;

inline int decrementWrap(int index, int length) { return index == 0 ? length - 1 : index - 1; }

int scaledLength(int n, float scale) { return std::max(1, static_cast<int>(static_cast<float>(n) * scale)); }

// One-pole coefficient whose corner sits at hz.
float onePoleFloor(float hz, float sampleRate) {
    return 1.0f - std::exp(-2.0f * 3.14159265f * hz / std::max(sampleRate, 1.0f));
}

}  // namespace

// ===========================================================================
// Parameters and texts
// ===========================================================================

Reverb2::Reverb2(int slot, ModuleHost* owner) : Operator(slot, owner) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
    for (int i = 0; i < Room::kCombs; ++i) {
        mRoom.weightL[i] = kRoomWeightL[i];
        mRoom.weightR[i] = kRoomWeightR[i];
    }
    setSampleRate(44100.0f);
}

float Reverb2::getParameterDefault(int index) {
    switch (index) {
        case kTime: return 0.5f;
        case kDamping: return 0.5f;
        case kAmount: return 1.0f;
        case kType: return discreteValue(kHall, kNumTypeStates);
        case kPreMode: return 0.25f;  // time
        default: return 0.0f;
    }
}

const char* Reverb2::typeName(int state) {
    return (state >= 0 && state < kNumAlgorithms) ? kAlgorithmNames[state] : "off";
}

float Reverb2::preDelaySeconds(float v, bool tempoMode, float bpm) {
    if (!tempoMode) return std::clamp(v, 0.0f, kMaxPreDelaySeconds);
    float seconds = rhythmSeconds(rhythmLength(discreteIndex(v, kNumRhythmItems)), bpm);
    return std::min(kMaxPreDelaySeconds, seconds);
}

float Reverb2::pretimeForMode(float v, bool toTempo, float bpm) {
    if (toTempo) return discreteValue(nearestRhythmItem(v, bpm), kNumRhythmItems);
    return preDelaySeconds(v, true, bpm);
}

void Reverb2::setTempo(float bpm) {
    // A host that reports no tempo keeps the last one: the pre-delay divides by it.
    if (bpm > 0.0f && std::isfinite(bpm)) mTempo = bpm;
}

void Reverb2::getParameterName(int index, char* out) {
    copyText(out, kTextSize, (index >= 0 && index < kNumParams) ? kParamNames[index] : "---");
}

void Reverb2::getParameterTitle(int index, char* out) {
    copyText(out, kTextSize, (index >= 0 && index < kNumParams) ? kParamTitles[index] : "");
}

void Reverb2::getParameterDisplay(int index, char* out) {
    if (index < 0 || index >= kNumParams) {
        copyText(out, kTextSize, "---");
        return;
    }
    float v = mBase[index];
    switch (index) {
        case kType: copyText(out, kTextSize, typeName(discreteIndex(v, kNumTypeStates))); break;
        case kPreMode: copyText(out, kTextSize, kPreModeNames[discreteIndex(v, kNumPreModes)]); break;
        case kPreTime:
            if (discreteIndex(mBase[kPreMode], kNumPreModes) == 1)
                VH_TEXT(out, "%.2f", rhythmLength(discreteIndex(v, kNumRhythmItems)));
            else
                VH_TEXT(out, "%.0f", 1000.0f * v);
            break;
        default: VH_TEXT(out, "%.0f", 100.0f * v); break;
    }
}

void Reverb2::formatEditorValue(int index, float value, char* out, int mode) {
    switch (index) {
        case kTime:
        case kDamping:
        case kAmount: VH_TEXT(out, "%.1f %%", 100.0f * value); break;
        case kType: copyText(out, kTextSize, typeName(discreteIndex(value, kNumTypeStates))); break;
        case kPreMode: copyText(out, kTextSize, kPreModeNames[discreteIndex(value, kNumPreModes)]); break;
        case kPreTime:
            if (mode == 1)
                copyText(out, kTextSize, rhythmName(discreteIndex(value, kNumRhythmItems)));
            else
                VH_TEXT(out, "%.0fms", 1000.0f * value);
            break;
        default: out[0] = 0; break;
    }
}

bool Reverb2::parseEditorValue(int index, const char* text, float& value, int mode) {
    switch (index) {
        case kTime:
        case kDamping:
        case kAmount: value = static_cast<float>(std::clamp(readNumber(text), 0.0, 100.0) / 100.0); return true;
        case kType:
            for (int i = 0; i < kNumAlgorithms; ++i)
                if (equalsIgnoreCase(text, kAlgorithmNames[i])) {
                    value = discreteValue(i, kNumTypeStates);
                    return true;
                }
            return false;
        case kPreMode:
            for (int i = 0; i < kNumPreModes; ++i)
                if (equalsIgnoreCase(text, kPreModeNames[i])) {
                    value = discreteValue(i, kNumPreModes);
                    return true;
                }
            return false;
        case kPreTime:
            if (mode == 1)
                value = discreteValue(rhythmItemOfName(text, kDefaultRhythmItem), kNumRhythmItems);
            else
                value = static_cast<float>(std::clamp(readNumber(text), 0.0, 1000.0) / 1000.0);
            return true;
        default: return false;
    }
}

void Reverb2::valueChanged(int localIndex, float value) {
    Operator::valueChanged(localIndex, value);
    if (localIndex != kPreMode || !mOwner) return;
    bool wasTempo = discreteIndex(mBase[kPreMode], kNumPreModes) == 1;
    bool isTempo = discreteIndex(value, kNumPreModes) == 1;
    if (wasTempo == isTempo) return;
    mOwner->automateParameter(globalIndex(kPreTime), pretimeForMode(mBase[kPreTime], isTempo, mTempo));
}

// ===========================================================================
// Control rate
// ===========================================================================

void Reverb2::update() {
    int type = discreteIndex(mModL[kType], kNumTypeStates);
    if (type != mType || mNeedsClear) {
        clearAll();
        mType = type;
        mNeedsClear = false;
        mDecayValid = false;
    }

    mAmountL.setTarget(mModL[kAmount], mRampFactor);
    mAmountR.setTarget(mModR[kAmount], mRampFactor);

    bool tempoMode = discreteIndex(mModL[kPreMode], kNumPreModes) == 1;
    float seconds = preDelaySeconds(mModL[kPreTime], tempoMode, mTempo);
    mPreDelaySamples = std::min(static_cast<int>(seconds * mSampleRate), mPreSize - 1);

    // Both channels share one network, so the left values drive it.
    float t = clampUnit(mModL[kTime]);
    float h = clampUnit(mModL[kDamping]);
    if (mDecayValid && t == mDecayTime && h == mDecayDamping) return;
    mDecayValid = true;
    mDecayTime = t;
    mDecayDamping = h;
    switch (mType) {
        case kCathedral: mCathedral.setDecay(cathedralSeconds(t), h, mSampleRate); break;
        case kHall: mHall.setDecay(hallSeconds(t), h, mSampleRate); break;
        case kRoom: mRoom.setDecay(roomSeconds(t), h, mSampleRate); break;
        case kPlate: mPlate.setDecay(t, h, mSampleRate); break;
        default: break;
    }
}

void Reverb2::Network::setDecay(float rtSeconds, float damping, float sampleRate) {
    float damp16 = std::pow(16.0f, damping) - 1.0f;
    for (int k = 0; k < kLines; ++k) {
        float n = static_cast<float>(dlLength[k]);
        gain[k] = flushDenormal(std::pow(10.0f, -3.0f * n / (rtSeconds * sampleRate)));
        float q = 1.0f - (3.0f * n / (2.0f * sampleRate)) * kLn10Quarter * damp16;
        damp[k] = flushDenormal(std::max(q, 0.0f));
    }
}

void Reverb2::Room::setDecay(float rtSeconds, float damping, float sampleRate) {
    float damp16 = 1.0f - std::pow(16.0f, damping);
    float minDamp = onePoleFloor(kRoomMinDampingHz, sampleRate);
    for (int i = 0; i < kCombs; ++i) {
        float e = -3.0f * static_cast<float>(combLength[i]) / (rtSeconds * sampleRate);
        gain[i] = flushDenormal(std::pow(10.0f, e));
        float q = 1.0f - damp16 * (e * kLn10Quarter);
        damp[i] = flushDenormal(std::max(q, minDamp));
    }
}

void Reverb2::Plate::setDecay(float time, float damping, float sampleRate) {
    float f = std::pow(0.5f, 0.01f * std::pow(100.0f, damping));
    diffusion2 = f;
    diffusion1 = std::pow(f, 0.25f);
    lowpass = 0.4f * (1.0f - damping) + 0.4f;
    // The lines grow with the rate, so the loss per pass is taken at the
    // lines' own length: the decay time does not depend on the rate.
    gain = flushDenormal(std::pow(10.0f, -kPlateDecayLength * lineScale / (plateSeconds(time) * sampleRate)));
}

// ===========================================================================
// Audio rate
// ===========================================================================

void Reverb2::processSample(float* left, float* right) {
    float aL = mAmountL.next();
    float aR = mAmountR.next();
    float xL = *left, xR = *right;
    mPreL[mPreWrite] = xL;
    mPreR[mPreWrite] = xR;
    int read = mPreWrite - mPreDelaySamples;
    if (read < 0) read += mPreSize;
    float dL = mPreL[read], dR = mPreR[read];
    if (++mPreWrite >= mPreSize) mPreWrite = 0;

    float wetL, wetR;
    switch (mType) {
        case kCathedral:
        case kHall: {
            Network& net = mType == kCathedral ? mCathedral : mHall;
            net.process((dL + dR) * 0.5f, wetL, wetR);
            float dryL = (1.0f - aL) * (1.0f - aL), dryR = (1.0f - aR) * (1.0f - aR);
            *left = 0.25f * aL * aL * wetL + dryL * dL;
            *right = 0.25f * aR * aR * wetR + dryR * dR;
            break;
        }
        case kRoom: {
            mRoom.process(dL + dR, wetL, wetR);
            *left = aL * aL * wetL + (1.0f - aL) * (1.0f - aL) * dL;
            *right = aR * aR * wetR + (1.0f - aR) * (1.0f - aR) * dR;
            break;
        }
        case kPlate: {
            mOffset = -mOffset;
            float eL = dL + mOffset, eR = dR + mOffset;
            mPlate.process(eL, eR, wetL, wetR);
            *left = eL + aL * (kPlateWetGain * wetL - eL);
            *right = eR + aR * (kPlateWetGain * wetR - eR);
            break;
        }
        default:
            // No reverberation: the input passes untouched.
            break;
    }
}

void Reverb2::Network::process(float input, float& wetL, float& wetR) {
    float* mem = memory.data();
    constexpr float c = kAllpassCoefficient;
    float u = input;
    if (hasDiffuser) {
        for (int i = 0; i < 4; ++i) {
            float* buf = mem + diffStart[i];
            int idx = diffIndex[i];
            float d = buf[idx];
            float w = u - c * d;
            buf[idx] = w;
            u = d + c * w;
            diffIndex[i] = decrementWrap(idx, diffLength[i]);
        }
    }

    // The fifteen lines are independent within a sample (the matrix acts
    // after all of them), so the compiler may interleave them freely.
    float total = 0.0f;
    for (int k = 0; k < kLines; ++k) {
        float ph = phase[k] + phaseIncrement;
        if (ph >= 1.0f) ph -= 1.0f;
        phase[k] = ph;
        float pos = ph * static_cast<float>(kSinePoints);
        int i = static_cast<int>(pos);
        float f = pos - static_cast<float>(i);
        float sine = kSine.v[i] + (kSine.v[i + 1] - kSine.v[i]) * f;
        // floor(D) through truncation of a value kept positive by depthOffset.
        float shifted = depth * sine + depthOffset;
        int whole = static_cast<int>(shifted);
        float frac = shifted - static_cast<float>(whole);

        float* ap = mem + apStart[k];
        int length = apLength[k];
        int idx = apIndex[k];
        int p0 = idx + apNominal[k] + whole - static_cast<int>(depthOffset);
        if (p0 >= length) p0 -= length;
        int p1 = p0 + 1;
        if (p1 >= length) p1 -= length;
        float d = ap[p0] + (ap[p1] - ap[p0]) * frac;
        float w = feedback[k] + u - c * d;
        ap[idx] = w;
        float y = d + c * w;
        apIndex[k] = decrementWrap(idx, length);

        float* dl = mem + dlStart[k];
        int didx = dlIndex[k];
        float r = dl[didx];
        dl[didx] = y;
        dlIndex[k] = decrementWrap(didx, dlLength[k]);

        float s = flushDenormal(state[k] + (gain[k] * r - state[k]) * damp[k]);
        state[k] = s;
        outputs[k] = s;
        outputs[k + kLines] = s;
        total += s;
    }

    // feedback_k = 0.25 * (sum over the positive offsets - sum over the
    // negative ones) = 0.25 * (2 * positive sum - total).
    Vec4 half(-total);
    for (int g = 0; g < kLanes; g += 4) {
        Vec4 positive = Vec4::load(outputs + g + kPositiveOffsets[0]);
        for (int j = 1; j < 7; ++j) positive += Vec4::load(outputs + g + kPositiveOffsets[j]);
        (Vec4(kMatrixScale) * (positive + positive + half)).store(feedback + g);
    }

    float sums[2] = {0.0f, 0.0f};
    for (int side = 0; side < 2; ++side)
        for (int j = 0; j < kTaps; ++j) {
            int k = tapLine[side][j];
            int pos = dlIndex[k] + tapOffset[side][j];
            if (pos >= dlLength[k]) pos -= dlLength[k];
            sums[side] += tapSign[j] * mem[dlStart[k] + pos];
        }
    wetL = sums[0];
    wetR = sums[1];
}

void Reverb2::Room::process(float input, float& wetL, float& wetR) {
    float* mem = memory.data();
    float sumL = 0.0f, sumR = 0.0f;
    for (int i = 0; i < kCombs; ++i) {
        float* buf = mem + combStart[i];
        int idx = combIndex[i];
        float r = buf[idx];
        float s = flushDenormal(state[i] + (gain[i] * r - state[i]) * damp[i]);
        state[i] = s;
        buf[idx] = input + s;
        combIndex[i] = decrementWrap(idx, combLength[i]);
        sumL += weightL[i] * s;
        sumR += weightR[i] * s;
    }
    constexpr float c = kAllpassCoefficient;
    for (int st = 0; st < kStages; ++st) {
        float* buf = mem + apStart[st] + 2 * apIndex[st];
        float yL = buf[0] - c * sumL;
        float yR = buf[1] - c * sumR;
        buf[0] = flushDenormal(sumL + c * yL);
        buf[1] = flushDenormal(sumR + c * yR);
        apIndex[st] = decrementWrap(apIndex[st], apLength[st]);
        sumL = yL;
        sumR = yR;
    }
    wetL = 2.0f * sumL;
    wetR = 2.0f * sumR;
}

void Reverb2::Plate::process(float inL, float inR, float& wetL, float& wetR) {
    const int m = mask;
    const int w = write;
    float k = kAllpassCoefficient * diffusion1;
    float x = inL + inR;
    {
        float* b = buffer(0);
        float y = b[diffRead[0]] - k * x;
        b[w] = x + k * y;
        x = y;
        b = buffer(1);
        y = b[diffRead[1]] + k * x;
        b[w] = x - k * y;
        x = y;
        b = buffer(2);
        y = b[diffRead[2]] - k * x;
        b[w] = x + k * y;
        x = y;
        b = buffer(3);
        y = b[diffRead[3]] + k * x;
        b[w] = x - k * y;
        x = y;
    }
    const float c2 = diffusion2;
    const float cross = kAllpassCoefficient * c2 * x;
    for (int j = 0; j < kLines; ++j) {
        float* line = buffer(kDiffusers + j);
        float s = flushDenormal(state[j] + (gain * line[lineRead[j]] - state[j]) * lowpass);
        state[j] = s;
        line[w] = (j & 1) == 0 ? x - c2 * (kAllpassCoefficient * (s + cross))
                               : x + c2 * (kAllpassCoefficient * (s - cross));
    }
    float sumL = buffer(kDiffusers + 3)[diffRead[2]] + buffer(kDiffusers + 0)[diffRead[0]] + buffer(kDiffusers + 4)[w];
    float sumR = buffer(kDiffusers + 2)[diffRead[3]] + buffer(kDiffusers + 1)[diffRead[1]] + buffer(kDiffusers + 5)[w];

    float yL = b0 * sumL + b2 * xL2 - a1 * yL1 - a2 * yL2;
    xL2 = xL1;
    xL1 = sumL;
    yL2 = yL1;
    yL1 = flushDenormal(yL);
    float yR = b0 * sumR + b2 * xR2 - a1 * yR1 - a2 * yR2;
    xR2 = xR1;
    xR1 = sumR;
    yR2 = yR1;
    yR1 = flushDenormal(yR);
    wetL = yL;
    wetR = yR;

    write = (w + 1) & m;
    for (int i = 0; i < kDiffusers; ++i) diffRead[i] = (diffRead[i] + 1) & m;
    for (int j = 0; j < kLines; ++j) lineRead[j] = (lineRead[j] + 1) & m;
}

// ===========================================================================
// Reset and sample rate
// ===========================================================================

float Reverb2::networkScale(float sampleRate) {
    // Whole multiples keep the tuned lengths exact at 88.2, 176.4 kHz...;
    // below 44.1 kHz the integer factor would be 0 (empty lines), so the
    // lengths shrink with the rate instead and keep their duration.
    float m = std::floor(sampleRate / kNetworkRate);
    return m >= 1.0f ? m : sampleRate / kNetworkRate;
}

int Reverb2::plateMask(float sampleRate) {
    // The longest line is about 0.25 s: 32768 samples hold it up to 50 kHz,
    // 131072 up to the highest rate the engine runs at (about 97k samples at 384 kHz).
    if (sampleRate < 50000.0f) return 32767;
    if (sampleRate < 100000.0f) return 65535;
    return 131071;
}

void Reverb2::Network::build(const int* baseLengths, const int (*taps)[kTaps], bool diffuser, float scale) {
    depth = 12.0f * scale;
    depthOffset = std::floor(depth) + 1.0f;
    phaseIncrement = 1.0f / (kNetworkRate * scale * 12.0f);
    hasDiffuser = diffuser;
    int total = 0;
    for (int k = 0; k < kLanes; ++k) {
        if (k >= kLines) {
            apStart[k] = apLength[k] = apNominal[k] = dlStart[k] = dlLength[k] = 0;
            continue;
        }
        int n = baseLengths[k];
        apNominal[k] = scaledLength(n / 4, scale);
        apLength[k] = static_cast<int>(depth) + apNominal[k] + 1;
        apStart[k] = total;
        total += apLength[k];
        dlLength[k] = scaledLength(n, scale);
        dlStart[k] = total;
        total += dlLength[k];
    }
    for (int i = 0; i < 4; ++i) {
        diffLength[i] = diffuser ? scaledLength(kDiffuserLengths[i], scale) : 1;
        diffStart[i] = total;
        total += diffLength[i];
    }
    for (int side = 0; side < 2; ++side)
        for (int j = 0; j < kTaps; ++j) {
            tapLine[side][j] = 2 * j + side;
            tapOffset[side][j] = std::min(scaledLength(taps[side][j], scale), dlLength[2 * j + side] - 1);
        }
    for (int j = 0; j < kTaps; ++j) tapSign[j] = (j & 1) ? -1.0f : 1.0f;
    memory.assign(static_cast<size_t>(total), 0.0f);
    clear();
}

void Reverb2::Network::clear() {
    std::fill(memory.begin(), memory.end(), 0.0f);
    for (int k = 0; k < kLanes; ++k) {
        apIndex[k] = dlIndex[k] = 0;
        phase[k] = k < kLines ? static_cast<float>(k) / static_cast<float>(kLines) : 0.0f;
        state[k] = feedback[k] = 0.0f;
    }
    std::fill(std::begin(outputs), std::end(outputs), 0.0f);
    for (int& i : diffIndex) i = 0;
}

void Reverb2::Room::build(float scale) {
    int total = 0;
    for (int i = 0; i < kCombs; ++i) {
        combLength[i] = scaledLength(kRoomCombLengths[i], scale);
        combStart[i] = total;
        total += combLength[i];
    }
    for (int st = 0; st < kStages; ++st) {
        apLength[st] = scaledLength(kRoomAllpassLengths[st], scale);
        apStart[st] = total;
        total += 2 * apLength[st];
    }
    memory.assign(static_cast<size_t>(total), 0.0f);
    clear();
}

void Reverb2::Room::clear() {
    std::fill(memory.begin(), memory.end(), 0.0f);
    for (int i = 0; i < kCombs; ++i) combIndex[i] = 0, state[i] = 0.0f;
    for (int st = 0; st < kStages; ++st) apIndex[st] = 0;
}

void Reverb2::Plate::build(float sampleRate) {
    mask = plateMask(sampleRate);
    lineScale = sampleRate / kNetworkRate;
    memory.assign(static_cast<size_t>(kDiffusers + kLines) * static_cast<size_t>(mask + 1), 0.0f);
    // Band-pass around 2 kHz, the same for both channels.
    float omega = kPlateBandPassOmega / sampleRate;
    float a = std::sin(omega) / kPlateBandPassWidth;
    float b = 1.0f + a;
    b0 = a / b;
    b2 = -a / b;
    a1 = -2.0f * std::cos(omega) / b;
    a2 = (1.0f - a) / b;
    clear(sampleRate);
}

void Reverb2::Plate::resetPositions(float sampleRate) {
    float c = sampleRate * 44.1f * 5.0f / 1.4450247e9f;
    float top = static_cast<float>(mask);
    write = mask;
    for (int j = 0; j < kLines; ++j) lineRead[j] = static_cast<int>(top - c * kPlateLineK[j] * 0.5f);
    for (int i = 0; i < kDiffusers; ++i) diffRead[i] = static_cast<int>(top - c * kPlateDiffuserK[i] * 0.75f);
}

void Reverb2::Plate::clear(float sampleRate) {
    std::fill(memory.begin(), memory.end(), 0.0f);
    for (float& s : state) s = 0.0f;
    xL1 = xL2 = yL1 = yL2 = xR1 = xR2 = yR1 = yR2 = 0.0f;
    resetPositions(sampleRate);
}

void Reverb2::clearAll() {
    mCathedral.clear();
    mHall.clear();
    mRoom.clear();
    mPlate.clear(mSampleRate);
    std::fill(mPreL.begin(), mPreL.end(), 0.0f);
    std::fill(mPreR.begin(), mPreR.end(), 0.0f);
    mPreWrite = 0;
}

void Reverb2::clearState() { clearAll(); }

void Reverb2::setSampleRate(float rate) {
    mSampleRate = rate;
    mPreSize = static_cast<int>(rate) + 1;
    mPreL.assign(static_cast<size_t>(mPreSize), 0.0f);
    mPreR.assign(static_cast<size_t>(mPreSize), 0.0f);
    float scale = networkScale(rate);
    mCathedral.build(kCathedralLengths, kCathedralTaps, true, scale);
    mHall.build(kHallLengths, kHallTaps, false, scale);
    mRoom.build(scale);
    mPlate.build(rate);
    clearAll();
    mNeedsClear = true;
    mDecayValid = false;
    Operator::setSampleRate(rate);
}

}  // namespace vh
