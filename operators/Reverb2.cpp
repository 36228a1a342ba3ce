#include "operators/Reverb2.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "modules/Rhythm.h"
#include "modules/Vec4.h"

namespace vh {

namespace {

constexpr const char* kPreModeNames[Reverb2::kNumPreModes] = {"time", "tempo"};
// The type states by name: the algorithms, then the silent states.
constexpr const char* kTypeNames[Reverb2::kNumTypeStates] = {"cathedral", "room", "plate", "hall", "off", "off",
                                                            "off",       "off",  "off",   "off",  "off", "off",
                                                            "off",       "off",  "off",   "off"};

constexpr ParameterInfo::Linear kPercent = linearText(0.0f, 100.0f, "%.0f", "%.1f %%");

constexpr ParameterInfo kParameters[Reverb2::kNumParams] = {
    {.name = "time", .title = "time", .defaultValue = 0.5f, .modulatable = true, .text = kPercent},
    {.name = "damping", .title = "damping", .defaultValue = 0.5f, .modulatable = true, .text = kPercent},
    {.name = "amount", .title = "amount", .defaultValue = 1.0f, .modulatable = true, .text = kPercent},
    {.name = "type", .title = "algorithm", .defaultValue = discreteValue(Reverb2::kHall, Reverb2::kNumTypeStates),
     .steps = Reverb2::kNumTypeStates, .hostItems = kTypeNames, .choices = Reverb2::kNumAlgorithms},
    {.name = "premode", .title = "premode", .defaultValue = discreteValue(0, Reverb2::kNumPreModes),
     .steps = Reverb2::kNumPreModes, .hostItems = kPreModeNames},
    {.name = "pretime", .title = "pretime", .textSwitch = Reverb2::kPreMode},
};

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
// other eight are negative): a length-15 maximal-length sequence, whose
// spectrum has magnitude 4 at every frequency but DC (where the sum is -1).
// Scaled by 1/4, every mode of the matrix keeps its energy except the common
// one, which is damped to a quarter.
constexpr int kPositiveOffsets[7] = {1, 2, 3, 5, 6, 9, 11};
constexpr float kMatrixScale = 0.25f;

// Modulation: 100-point sine with a closing zero (and one spare so a phase
// rounding up to exactly 1 still reads inside the table).
constexpr int kSinePoints = 100;
// The slope to the next entry is kept beside each entry.
struct SineTable {
    float v[kSinePoints + 2];
    float slope[kSinePoints + 2];
    SineTable() {
        for (int i = 0; i < kSinePoints; ++i)
            v[i] = static_cast<float>(std::sin(2.0 * 3.14159265358979323846 * i / kSinePoints));
        v[kSinePoints] = v[kSinePoints + 1] = 0.0f;
        for (int i = 0; i <= kSinePoints; ++i) slope[i] = v[i + 1] - v[i];
        slope[kSinePoints + 1] = 0.0f;
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
constexpr float kPlateBandPassWidth = 0.12f;     // sin(w) / 0.12: a band several octaves wide
constexpr float kPlateWetGain = 0.6f;

// Index one down, wrapping to length - 1 below 0, without a branch.
inline int decrementWrap(int index, int length) {
    int next = index - 1;
    return next + ((next >> 31) & length);
}

typedef int Int4Raw __attribute__((vector_size(16)));

int scaledLength(int n, float scale) { return std::max(1, static_cast<int>(static_cast<float>(n) * scale)); }

// One-pole coefficient whose corner sits at hz.
float cornerCoefficient(float hz, float sampleRate) {
    return onePoleCoefficient(2.0 * 3.14159265358979 * hz / std::max(sampleRate, 1.0f));
}

}  // namespace

// ===========================================================================
// Parameters and texts
// ===========================================================================

Reverb2::Reverb2(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = getParameterDefault(i);
    for (int i = 0; i < Room::kCombs; ++i) {
        mRoom.weightL[i] = kRoomWeightL[i];
        mRoom.weightR[i] = kRoomWeightR[i];
    }
    // The rate-sized buffers come with the first setSampleRate, which the
    // engine calls right after construction.
}

const char* Reverb2::typeName(int state) {
    return (state >= 0 && state < kNumTypeStates) ? kTypeNames[state] : "off";
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

void Reverb2::getParameterDisplay(int index, char* out) {
    if (index != kPreTime) {
        Operator::getParameterDisplay(index, out);
        return;
    }
    float v = baseValue(kPreTime);
    if (editorMode(kPreTime) == 1)
        VH_TEXT(out, "%.2f", rhythmLength(discreteIndex(v, kNumRhythmItems)));
    else
        VH_TEXT(out, "%.0f", 1000.0f * v);
}

void Reverb2::formatEditorValue(int index, float value, char* out, int mode) {
    if (index != kPreTime)
        Operator::formatEditorValue(index, value, out, mode);
    else if (mode == 1)
        copyText(out, kTextSize, rhythmName(discreteIndex(value, kNumRhythmItems)));
    else
        VH_TEXT(out, "%.0fms", 1000.0f * value);
}

bool Reverb2::parseEditorValue(int index, const char* text, float& value, int mode) {
    if (index != kPreTime) return Operator::parseEditorValue(index, text, value, mode);
    if (mode == 1)
        value = discreteValue(rhythmItemOfName(text, kDefaultRhythmItem), kNumRhythmItems);
    else
        value = static_cast<float>(std::clamp(readNumber(text), 0.0, 1000.0) / 1000.0);
    return true;
}

void Reverb2::valueChanged(int localIndex, float value) {
    Operator::valueChanged(localIndex, value);
    if (localIndex != kPreMode || !mOwner) return;
    bool wasTempo = discreteIndex(baseValue(kPreMode), kNumPreModes) == 1;
    bool isTempo = discreteIndex(value, kNumPreModes) == 1;
    if (wasTempo == isTempo) return;
    mOwner->automateParameter(globalIndex(kPreTime), pretimeForMode(baseValue(kPreTime), isTempo, mTempo));
}

// ===========================================================================
// Control rate
// ===========================================================================

void Reverb2::update() {
    // A type change starts from silence. Only the incoming algorithm needs
    // clearing: the one left behind is cleared when it is chosen again, and
    // wiping all four at once (megabytes at high rates) would stall the tick.
    int type = discreteIndex(mModL[kType], kNumTypeStates);
    if (mNeedsClear) {
        clearAll();
    } else if (type != mType) {
        clearAlgorithm(type);
    }
    if (type != mType || mNeedsClear) {
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
    float minDamp = cornerCoefficient(kRoomMinDampingHz, sampleRate);
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
    if (mPre.empty()) return;  // no sample rate yet: nothing to reverberate with
    float aL = mAmountL.next();
    float aR = mAmountR.next();
    float xL = *left, xR = *right;
    mPre[2 * mPreWrite] = xL;
    mPre[2 * mPreWrite + 1] = xR;
    int read = mPreWrite - mPreDelaySamples;
    if (read < 0) read += mPreSize;
    float dL = mPre[2 * read], dR = mPre[2 * read + 1];
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
    constexpr float c = kAllpassCoefficient;
    float u = input;
    if (hasDiffuser) {
        for (int i = 0; i < 4; ++i) {
            float* buf = diffusers[i];
            int idx = diffIndex[i];
            float d = buf[idx];
            float w = u - c * d;
            buf[idx] = w;
            u = d + c * w;
            diffIndex[i] = decrementWrap(idx, diffLength[i]);
        }
    }

    const int apWrite = static_cast<int>(position & static_cast<unsigned>(apMask));
    const int dlWrite = static_cast<int>(position & static_cast<unsigned>(dlMask));

    // Modulation of all lines at once: phase, sine table, the split of the
    // read distance into whole samples and fraction, and the read positions.
    alignas(16) int read0[kLanes];
    alignas(16) int read1[kLanes];
    alignas(16) float frac[kLanes];
    {
        const Vec4 increment(phaseIncrement), one(1.0f), points(static_cast<float>(kSinePoints));
        const Vec4 depthV(depth), offsetV(depthOffset), zero(0.0f);
        const Int4Raw writeV = {apWrite, apWrite, apWrite, apWrite};
        const Int4Raw maskV = {apMask, apMask, apMask, apMask};
        const Int4Raw oneI = {1, 1, 1, 1};
        for (int g = 0; g < kLanes; g += 4) {
            Vec4 ph = Vec4::load(phase + g) + increment;
            ph -= Vec4(ph.v >= one.v ? one.v : zero.v);
            ph.store(phase + g);
            Vec4 pos = ph * points;
            Int4Raw i = __builtin_convertvector(pos.v, Int4Raw);
            Vec4 f = pos - Vec4(__builtin_convertvector(i, Float4Raw));
            Int4Raw cached;
            std::memcpy(&cached, sineIndex + g, sizeof(cached));
            Int4Raw changed = i != cached;
            if (changed[0] | changed[1] | changed[2] | changed[3]) {
                for (int lane = 0; lane < 4; ++lane) {
                    sineIndex[g + lane] = i[lane];
                    sineBase[g + lane] = kSine.v[i[lane]];
                    sineSlope[g + lane] = kSine.slope[i[lane]];
                }
            }
            Vec4 base = Vec4::load(sineBase + g), slope = Vec4::load(sineSlope + g);
            // floor(D) through truncation of a value kept positive by depthOffset.
            Vec4 shifted = depthV * (base + slope * f) + offsetV;
            Int4Raw whole = __builtin_convertvector(shifted.v, Int4Raw);
            (shifted - Vec4(__builtin_convertvector(whole, Float4Raw))).store(frac + g);
            Int4Raw nominal;
            std::memcpy(&nominal, apNominal + g, sizeof(nominal));
            Int4Raw p0 = writeV + nominal + whole;
            Int4Raw r0 = p0 & maskV, r1 = (p0 + oneI) & maskV;
            std::memcpy(read0 + g, &r0, sizeof(r0));
            std::memcpy(read1 + g, &r1, sizeof(r1));
        }
    }

    // Reads of all lines, arithmetic in four lanes, then the writes: within
    // a sample no read meets a write (every distance is at least one sample).
    alignas(16) float a0[kLanes], a1[kLanes], leaving[kLanes];
    a0[kLines] = a1[kLines] = leaving[kLines] = 0.0f;  // the padding lane
    for (int k = 0; k < kLines; ++k) {
        const float* ap = allpasses + k * apStride;
        a0[k] = ap[read0[k]];
        a1[k] = ap[read1[k]];
        leaving[k] = delays[k * dlStride + ((dlWrite + dlLength[k]) & dlMask)];
    }
    alignas(16) float stored[kLanes], passed[kLanes];
    Vec4 totalV;
    const Vec4 tiny(1e-18f), cV(c), uV(u);
    for (int g = 0; g < kLanes; g += 4) {
        Vec4 d0 = Vec4::load(a0 + g);
        Vec4 d = d0 + (Vec4::load(a1 + g) - d0) * Vec4::load(frac + g);
        Vec4 w = Vec4::load(feedback + g) + uV - cV * d;
        w.store(stored + g);
        (d + cV * w).store(passed + g);
        // Damping low-pass; the padding lane has gain and coefficient 0.
        Vec4 s = Vec4::load(state + g);
        s = ((s + (Vec4::load(gain + g) * Vec4::load(leaving + g) - s) * Vec4::load(damp + g)) + tiny) - tiny;
        s.store(state + g);
        s.store(outputs + g);
        totalV += s;
    }
    for (int k = 0; k < kLines; ++k) {
        allpasses[k * apStride + apWrite] = stored[k];
        delays[k * dlStride + dlWrite] = passed[k];
    }
    for (int g = 0; g < kLanes; g += 4) Vec4::load(outputs + g).store(outputs + kLines + g);
    float total = totalV.sum();
    --position;

    // feedback_k = 0.25 * (sum over the positive offsets - sum over the
    // negative ones) = 0.25 * (2 * positive sum - total).
    Vec4 half(-total);
    for (int g = 0; g < kLanes; g += 4) {
        Vec4 positive = Vec4::load(outputs + g + kPositiveOffsets[0]);
        for (int j = 1; j < 7; ++j) positive += Vec4::load(outputs + g + kPositiveOffsets[j]);
        (Vec4(kMatrixScale) * (positive + positive + half)).store(feedback + g);
    }

    const int tapBase = static_cast<int>(position & static_cast<unsigned>(dlMask));
    float sums[2] = {0.0f, 0.0f};
    for (int side = 0; side < 2; ++side)
        for (int j = 0; j < kTaps; ++j)
            sums[side] += tapSign[j] * delays[tapSlice[side][j] + ((tapBase + tapOffset[side][j]) & dlMask)];
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
    // Members are read into locals once: the buffer stores could otherwise
    // alias them and force a reload after every write.
    const int m = mask;
    const int w = write;
    float* const diff0 = buffers[0];
    float* const diff1 = buffers[1];
    float* const diff2 = buffers[2];
    float* const diff3 = buffers[3];
    const int r0 = (w - diffDelay[0]) & m, r1 = (w - diffDelay[1]) & m;
    const int r2 = (w - diffDelay[2]) & m, r3 = (w - diffDelay[3]) & m;
    const float k = kAllpassCoefficient * diffusion1;
    float x = inL + inR;
    float y = diff0[r0] - k * x;
    diff0[w] = x + k * y;
    x = y;
    y = diff1[r1] + k * x;
    diff1[w] = x - k * y;
    x = y;
    y = diff2[r2] - k * x;
    diff2[w] = x + k * y;
    x = y;
    y = diff3[r3] + k * x;
    diff3[w] = x - k * y;
    x = y;

    const float c2 = diffusion2, g = gain, q = lowpass;
    const float cross = kAllpassCoefficient * c2 * x;
    float* line[kLines];
    float s[kLines];
    for (int j = 0; j < kLines; ++j) {
        line[j] = buffers[kDiffusers + j];
        s[j] = state[j] + (g * line[j][(w - lineDelay[j]) & m] - state[j]) * q;
    }
    // No flush on s: the alternating input offset keeps it far from denormals.
    for (int j = 0; j < kLines; ++j) {
        state[j] = s[j];
        line[j][w] = (j & 1) == 0 ? x - c2 * (kAllpassCoefficient * (s[j] + cross))
                                  : x + c2 * (kAllpassCoefficient * (s[j] - cross));
    }
    float sumL = line[3][r2] + line[0][r0] + line[4][w];
    float sumR = line[2][r3] + line[1][r1] + line[5][w];

    const float bb0 = b0, bb2 = b2, aa1 = a1, aa2 = a2;
    float yL = bb0 * sumL + bb2 * xL2 - aa1 * yL1 - aa2 * yL2;
    xL2 = xL1;
    xL1 = sumL;
    yL2 = yL1;
    yL1 = flushDenormal(yL);
    float yR = bb0 * sumR + bb2 * xR2 - aa1 * yR1 - aa2 * yR2;
    xR2 = xR1;
    xR1 = sumR;
    yR2 = yR1;
    yR1 = flushDenormal(yR);
    wetL = yL;
    wetR = yR;

    write = (w + 1) & m;
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
    int longestAllpass = 1, longestDelay = 1;
    for (int k = 0; k < kLanes; ++k) {
        if (k >= kLines) {
            apNominal[k] = dlLength[k] = 0;
            continue;
        }
        int n = baseLengths[k];
        int nominal = scaledLength(n / 4, scale);
        // A ring of depth + nominal + 1 samples holds the deepest read.
        longestAllpass = std::max(longestAllpass, static_cast<int>(depth) + nominal + 1);
        apNominal[k] = nominal - static_cast<int>(depthOffset);
        dlLength[k] = scaledLength(n, scale);
        longestDelay = std::max(longestDelay, dlLength[k]);
    }
    apSize = static_cast<int>(std::bit_ceil(static_cast<unsigned>(longestAllpass + 1)));
    dlSize = static_cast<int>(std::bit_ceil(static_cast<unsigned>(longestDelay + 1)));
    apMask = apSize - 1;
    dlMask = dlSize - 1;
    // Slices a power of two apart would all fall into the same cache sets and
    // evict each other; three cache lines of padding spread them.
    constexpr int kSlicePad = 48;
    apStride = apSize + kSlicePad;
    dlStride = dlSize + kSlicePad;
    size_t total = static_cast<size_t>(kLanes) * static_cast<size_t>(apStride) + static_cast<size_t>(kLines) * dlStride;
    size_t diffuserStart = total;
    for (int i = 0; i < 4; ++i) {
        diffLength[i] = diffuser ? scaledLength(kDiffuserLengths[i], scale) : 1;
        total += static_cast<size_t>(diffLength[i]);
    }
    memory.assign(total, 0.0f);
    allpasses = memory.data();
    delays = allpasses + static_cast<size_t>(kLanes) * apStride;
    for (int i = 0; i < 4; ++i) {
        diffusers[i] = memory.data() + diffuserStart;
        diffuserStart += static_cast<size_t>(diffLength[i]);
    }
    for (int side = 0; side < 2; ++side)
        for (int j = 0; j < kTaps; ++j) {
            tapSlice[side][j] = (2 * j + side) * dlStride;
            tapOffset[side][j] = std::min(scaledLength(taps[side][j], scale), dlLength[2 * j + side]);
        }
    for (int j = 0; j < kTaps; ++j) tapSign[j] = (j & 1) ? -1.0f : 1.0f;
    clear();
}

void Reverb2::Network::clear() {
    std::fill(memory.begin(), memory.end(), 0.0f);
    position = 0;
    for (int k = 0; k < kLanes; ++k) {
        phase[k] = k < kLines ? static_cast<float>(k) / static_cast<float>(kLines) : 0.0f;
        sineIndex[k] = -1;  // looked up at the next sample
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
    size_t stride = static_cast<size_t>(mask + 1 + kPad);
    memory.assign(static_cast<size_t>(kDiffusers + kLines) * stride, 0.0f);
    for (int i = 0; i < kDiffusers + kLines; ++i) buffers[i] = memory.data() + static_cast<size_t>(i) * stride;
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
    for (int j = 0; j < kLines; ++j) lineDelay[j] = mask - static_cast<int>(top - c * kPlateLineK[j] * 0.5f);
    for (int i = 0; i < kDiffusers; ++i) diffDelay[i] = mask - static_cast<int>(top - c * kPlateDiffuserK[i] * 0.75f);
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
    clearPreDelay();
}

void Reverb2::clearAlgorithm(int type) {
    switch (type) {
        case kCathedral: mCathedral.clear(); break;
        case kHall: mHall.clear(); break;
        case kRoom: mRoom.clear(); break;
        case kPlate: mPlate.clear(mSampleRate); break;
        default: break;
    }
    clearPreDelay();
}

void Reverb2::clearPreDelay() {
    std::fill(mPre.begin(), mPre.end(), 0.0f);
    mPreWrite = 0;
}

void Reverb2::clearState() { clearAll(); }

void Reverb2::setSampleRate(float rate) {
    mSampleRate = rate;
    mPreSize = static_cast<int>(rate) + 1;
    mPre.assign(2 * static_cast<size_t>(mPreSize), 0.0f);
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
