#include "modulators/ADSR.h"

#include <cmath>
#include <cstring>

#include "modulators/ModulatorCommon.h"
#include "modules/Rhythm.h"

namespace vh {

namespace {

// 0.25^(1/3): -12 dB; (1/1024)^(1/3): -60 dB.
constexpr float kMinus12Db = 0.62996054f;
constexpr float kMinus60Db = 0.099212565f;
// Typed time that selects no note name: item 4, "1/1".
constexpr int kFallbackTimeItem = 4;
constexpr double kMaxStageMs = 1000.0;
constexpr double kMaxReleaseMs = 10000.0;
// Below this a level prints as -oo in the editor.
constexpr float kSilentLevel = 0.00001f;
constexpr double kMaxTrigSensDb = 24.0;
constexpr double kMinLevelDb = -100.0;

const char* const kModeHostNames[ADSR::kNumModes] = {"ms", "rhythmic"};
const char* const kModeEditorNames[ADSR::kNumModes] = {"absolute time", "tempo-related"};

// A stage time: absolute or a time item, by the mode.
constexpr ParameterInfo stageTime(const char* name, const char* title, int defaultItem) {
    return {.name = name, .title = title, .label = "ms", .defaultValue = discreteValue(defaultItem, ADSR::kNumTimeItems),
            .modulatable = true, .textSwitch = ADSR::kMode};
}
constexpr ParameterInfo level(const char* name, const char* title, float defaultValue) {
    return {.name = name, .title = title, .label = "dB", .defaultValue = defaultValue, .modulatable = true};
}

constexpr ParameterInfo kParameters[ADSR::kNumParams] = {
    {.name = "trigger", .modulatable = true},
    stageTime("delay", "delay", 0),
    stageTime("attack", "attck", 6),  // "1/4"
    stageTime("hold", "hold", 0),
    stageTime("decay", "decay", 6),
    level("sustain", "sustn", kMinus12Db),
    stageTime("release", "rels", 4),  // "1/1"
    level("trigon", "trig on", kMinus12Db),
    level("trigoff", "trig off", kMinus60Db),
    level("trigsens", "trig sens", 0.5f),
    {.name = "mode", .title = "mode", .defaultValue = discreteValue(1, ADSR::kNumModes), .steps = ADSR::kNumModes,
     .hostItems = kModeHostNames, .editorItems = kModeEditorNames},
    {.name = "depth", .title = "depth", .label = "%", .defaultValue = 1.0f, .modulatable = true,
     .text = linearText(0.0f, 100.0f, "%.1f", "%.1f")},
};

// Level text of the editor: whole decibels followed by "dB", or "-oodB".
void editorLevelText(float amplitude, char* out) {
    if (amplitude > kSilentLevel)
        VH_TEXT(out, "%.0fdB", 20.0 * std::log10(static_cast<double>(amplitude)));
    else
        copyText(out, kTextSize, "-oodB");
}

// Typed decibels for a v^3 level, at most 0 dB. The start threshold treats
// -100 dB itself as silence, the sustain level only values below it.
float levelValueOfText(const char* text, bool minusHundredIsSilent) {
    if (isMinusInfinityText(text)) return 0.0f;
    double db = readNumber(text);
    if (db > 0.0) return 1.0f;
    if (db < kMinLevelDb || (minusHundredIsSilent && db <= kMinLevelDb)) return 0.0f;
    return static_cast<float>(std::cbrt(std::pow(10.0, db / 20.0)));
}

float clampUnitValue(float v) { return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v; }

}  // namespace

ADSR::ADSR(int slot, ModuleHost* owner) : Modulator(slot, owner, kParameters) {
    for (int i = 0; i < kNumParams; ++i) mBase[i] = mModL[i] = mModR[i] = getParameterDefault(i);
}

// --- parameters and their texts -------------------------------------------

void ADSR::getParameterDisplay(int index, char* out) {
    float v = (index >= 0 && index < kNumParams) ? baseValue(index) : 0.0f;
    if (isTimeParam(index)) {
        if (discreteIndex(baseValue(kMode), kNumModes) == 0)
            VH_TEXT(out, "%.2f", 1000.0f * absoluteSeconds(index, v));
        else
            VH_TEXT(out, "%.2f", timeItemLength(discreteIndex(v, kNumTimeItems)));
        return;
    }
    switch (index) {
        case kSustain:
        case kTrigOn:
        case kTrigOff: levelText(levelOf(v), out, 0); break;
        case kTrigSens: levelText(trigGain(v), out, 0); break;
        default: Modulator::getParameterDisplay(index, out); break;
    }
}

void ADSR::formatEditorValue(int index, float value, char* out, int mode) {
    if (isTimeParam(index)) {
        if (mode != 0) {
            copyText(out, kTextSize, timeItemName(discreteIndex(value, kNumTimeItems)));
        } else if (index == kRelease) {
            int ms = static_cast<int>(10000.0f * value);
            if (ms >= 1000)
                VH_TEXT(out, "%.1fs", 10.0f * value);
            else
                VH_TEXT(out, "%dms", ms);
        } else {
            int ms = static_cast<int>(1000.0f * value);
            if (ms >= 1000)
                copyText(out, kTextSize, "1sec");
            else
                VH_TEXT(out, "%dms", ms);
        }
        return;
    }
    switch (index) {
        case kSustain:
        case kTrigOn:
        case kTrigOff: editorLevelText(levelOf(value), out); break;
        case kTrigSens: editorLevelText(trigGain(value), out); break;
        default: Modulator::formatEditorValue(index, value, out, mode); break;
    }
}

bool ADSR::parseEditorValue(int index, const char* text, float& value, int mode) {
    if (isTimeParam(index)) {
        if (mode != 0) {
            int item = kFallbackTimeItem;
            for (int i = 0; i < kNumTimeItems; ++i)
                if (text != nullptr && std::strcmp(text, timeItemName(i)) == 0) {
                    item = i;
                    break;
                }
            value = discreteValue(item, kNumTimeItems);
            return true;
        }
        double ms = readNumber(text);
        double maxMs = index == kRelease ? kMaxReleaseMs : kMaxStageMs;
        if (ms < 0.0) ms = 0.0;
        if (ms > maxMs) ms = maxMs;
        value = static_cast<float>(ms / maxMs);
        return true;
    }
    switch (index) {
        case kSustain: value = levelValueOfText(text, false); return true;
        case kTrigOn:
        case kTrigOff: value = levelValueOfText(text, true); return true;
        case kTrigSens: {
            if (isMinusInfinityText(text)) {
                value = 0.0f;
                return true;
            }
            double db = readNumber(text);
            if (db > kMaxTrigSensDb) db = kMaxTrigSensDb;
            value = db < kMinLevelDb ? 0.0f : static_cast<float>(std::pow(std::pow(10.0, db / 20.0) / 16.0, 0.25));
            return true;
        }
        default: return Modulator::parseEditorValue(index, text, value, mode);
    }
}

const char* ADSR::timeItemName(int item) { return item == 0 ? "0" : rhythmName(item - 1); }

float ADSR::timeItemLength(int item) { return item == 0 ? 0.0f : rhythmLength(item - 1); }

int ADSR::nearestTimeItem(float seconds, float bpm) {
    int rhythm = nearestRhythmItem(seconds, bpm);
    float rhythmDistance = std::fabs(rhythmSeconds(rhythmLength(rhythm), bpm) - seconds);
    // Item 0 lasts no time at all and wins a tie as the lower index.
    return std::fabs(seconds) <= rhythmDistance ? 0 : rhythm + 1;
}

void ADSR::valueChanged(int localIndex, float value) {
    if (localIndex == kMode && mOwner) {
        bool wasTempo = discreteIndex(baseValue(kMode), kNumModes) != 0;
        bool isTempo = discreteIndex(value, kNumModes) != 0;
        if (wasTempo != isTempo) {
            for (int i = kDelay; i <= kRelease; ++i) {
                if (!isTimeParam(i)) continue;
                float converted;
                if (wasTempo) {
                    float seconds = rhythmSeconds(timeItemLength(discreteIndex(baseValue(i), kNumTimeItems)), mTempo);
                    converted = clampUnitValue(i == kRelease ? seconds / 10.0f : seconds);
                } else {
                    converted = discreteValue(nearestTimeItem(absoluteSeconds(i, baseValue(i)), mTempo), kNumTimeItems);
                }
                mOwner->setParameterPlain(globalIndex(i), converted);
            }
        }
    }
    Modulator::valueChanged(localIndex, value);
}

// --- control rate -----------------------------------------------------------

void ADSR::setTempo(float bpm) { mTempo = acceptedTempo(bpm, mTempo); }

// seconds: delay, attack, hold, decay, release. Each coefficient takes the
// stage length before truncation; a zero length is instant.
void ADSR::setStageTimes(Channel& channel, const float* seconds) {
    bool same = channel.timesKey[5] == mSampleRate;
    for (int i = 0; i < 5; ++i) same = same && channel.timesKey[i] == seconds[i];
    if (same) return;  // nothing changed since the last tick: skip the exps
    for (int i = 0; i < 5; ++i) channel.timesKey[i] = seconds[i];
    channel.timesKey[5] = mSampleRate;

    float samples[5];
    for (int i = 0; i < 5; ++i) {
        samples[i] = seconds[i] * mSampleRate;
        if (!(samples[i] > 0.0f)) samples[i] = 0.0f;
    }
    auto coefficient = [](float t) { return t > 0.0f ? onePoleCoefficient(1.0 / t) : 1.0f; };
    channel.delayLength = static_cast<unsigned>(samples[0]);
    channel.attackLength = static_cast<unsigned>(samples[1]);
    channel.holdLength = static_cast<unsigned>(samples[2]);
    channel.decayLength = static_cast<unsigned>(samples[3]);
    channel.releaseLength = static_cast<unsigned>(samples[4]);
    channel.attackCoef = coefficient(samples[1]);
    channel.decayCoef = coefficient(samples[3]);
    channel.releaseCoef = coefficient(samples[4]);
}

void ADSR::update() {
    mMode = discreteIndex(mBase[kMode], kNumModes);
    constexpr int kTimes[5] = {kDelay, kAttack, kHold, kDecay, kRelease};
    float seconds[5];
    if (mMode) {
        // Note lengths follow the base values: the same for both channels.
        for (int i = 0; i < 5; ++i)
            seconds[i] = rhythmSeconds(timeItemLength(discreteIndex(mBase[kTimes[i]], kNumTimeItems)), mTempo);
        setStageTimes(mChannel[0], seconds);
        setStageTimes(mChannel[1], seconds);
    } else {
        const float* modulated[2] = {mModL, mModR};
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < 5; ++i) seconds[i] = absoluteSeconds(kTimes[i], modulated[c][kTimes[i]]);
            setStageTimes(mChannel[c], seconds);
        }
    }

    const float* modulated[2] = {mModL, mModR};
    for (int c = 0; c < 2; ++c) {
        Channel& ch = mChannel[c];
        const float* m = modulated[c];
        ch.sustain.setTarget(levelOf(m[kSustain]), mRampFactor);
        ch.depth.setTarget(m[kDepth], mRampFactor);
        ch.trigOn = levelOf(m[kTrigOn]);
        ch.trigOff = levelOf(m[kTrigOff]);
        ch.trigGain = trigGain(m[kTrigSens]);
    }
    mHistory.record(mChannel[0].envelope * mChannel[0].depth.current, mChannel[1].envelope * mChannel[1].depth.current);
}

// --- audio rate -------------------------------------------------------------

inline float ADSR::step(Channel& ch, float trigger) {
    float sustain = ch.sustain.next();
    float depth = ch.depth.next();
    float level = ch.trigGain * trigger;
    ch.level = level;
    if (level < ch.trigOff && ch.stage != kStageIdle) ch.stage = kStageRelease;  // the count runs on

    float e = ch.envelope;
    switch (ch.stage) {
        case kStageDelay:
            if (++ch.counter >= ch.delayLength) {
                ch.stage = kStageAttack;
                ch.counter = 0;
            }
            e = flushDenormal(e - e * ch.releaseCoef);
            break;
        case kStageAttack:
            if (++ch.counter >= ch.attackLength) {
                ch.stage = kStageHold;
                ch.counter = 0;
            }
            e = flushDenormal(e + (1.0f - e) * ch.attackCoef);
            break;
        case kStageHold:
            if (++ch.counter >= ch.holdLength) {
                ch.stage = kStageDecay;
                ch.counter = 0;
            }
            e = flushDenormal(e + (1.0f - e) * ch.attackCoef);
            break;
        case kStageDecay:
            if (++ch.counter >= ch.decayLength) {
                ch.stage = kStageSustain;
                ch.counter = 0;
            }
            [[fallthrough]];
        case kStageSustain: e = flushDenormal(e + (sustain - e) * ch.decayCoef); break;
        case kStageIdle:
            if (level > ch.trigOn) {
                ch.stage = kStageDelay;
                ch.counter = 0;
            }
            e = flushDenormal(e - e * ch.releaseCoef);
            [[fallthrough]];  // idle also takes the release step below
        case kStageRelease:
        default:
            if (level > ch.trigOn) {
                ch.stage = kStageDelay;
                ch.counter = 0;
            } else if (++ch.counter >= ch.releaseLength) {
                ch.stage = kStageIdle;
                ch.counter = 0;
            }
            e = flushDenormal(e - e * ch.releaseCoef);
            break;
    }
    ch.envelope = e;
    return e * depth;
}

void ADSR::processSample(float* outLeft, float* outRight) {
    *outLeft = step(mChannel[0], mModL[kTrigger]);
    *outRight = step(mChannel[1], mModR[kTrigger]);
}

// --- reset ------------------------------------------------------------------

void ADSR::resetSmoothing() {
    for (Channel& ch : mChannel) {
        ch.sustain.snap();
        ch.depth.snap();
    }
}

void ADSR::setSampleRate(float rate) {
    Modulator::setSampleRate(rate);
    mHistory.setSampleRate(rate, kControlTick);
}

void ADSR::clearState() {
    mHistory.clear();
    for (Channel& ch : mChannel) {
        ch.stage = kStageIdle;
        ch.envelope = 0.0f;
        ch.counter = 0;
    }
}

}  // namespace vh
