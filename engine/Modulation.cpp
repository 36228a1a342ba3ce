// The modulation engine: sources resolved once per block, the control tick
// every 32 samples, MIDI input and controller learning, and the names of
// sources and destinations.

#include <cstring>

#include "engine/ParameterNames.h"
#include "engine/Plugin.h"
#include "modules/ModuleTypes.h"

namespace vh {

const char* midiControllerName(int c, char* buffer) {
    switch (c) {
        case 0: return "bank sel MSB";
        case 1: return "modulation";
        case 2: return "breath";
        case 4: return "foot";
        case 5: return "portamento";
        case 6: return "data ent MSB";
        case 7: return "main volume";
        case 8: return "balance";
        case 10: return "pan";
        case 11: return "expression";
        case 16: return "gen purp 1";
        case 17: return "gen purp 2";
        case 18: return "gen purp 3";
        case 19: return "gen purp 4";
        case 32: return "bank sel LSB";
        case 33: return "modul. LSB";
        case 34: return "breath LSB";
        case 36: return "foot LSB";
        case 37: return "porta LSB";
        case 38: return "data ent LSB";
        case 39: return "main vol LSB";
        case 40: return "balance LSB";
        case 42: return "pan LSB";
        case 43: return "express. LSB";
        case 64: return "sustain";
        case 65: return "porta on/off";
        case 66: return "sostenuto";
        case 67: return "soft pedal";
        case 68: return "legato FS";
        case 69: return "hold 2";
        case 70: return "sound var";
        case 71: return "harmonic";
        case 72: return "release time";
        case 73: return "attack time";
        case 74: return "brightness";
        case 80: return "gen purp 5";
        case 81: return "gen purp 6";
        case 82: return "gen purp 7";
        case 83: return "gen purp 8";
        case 84: return "porta ctrl";
        case 91: return "ext FX";
        case 92: return "tremolo";
        case 93: return "chorus";
        case 94: return "detune";
        case 95: return "phaser";
        case 96: return "data incr";
        case 97: return "data decr";
        case 98: return "NRPN LSB";
        case 99: return "NRPN MSB";
        case 100: return "RPN LSB";
        case 101: return "RPN MSB";
        case 120: return "all snd off";
        case 121: return "reset ctrl";
        case 122: return "local ctrl";
        case 123: return "all note off";
        case 124: return "omni off";
        case 125: return "omni on";
        case 126: return "mono mode on";
        case 127: return "poly mode on";
        case 128: return "not assigned";
        default: VH_TEXT(buffer, "control %d", c); return buffer;
    }
}

namespace {

const char* const kMidiLongNames[7] = {"MIDI note on",   "MIDI note no",    "MIDI note freq",   "MIDI pitchbend",
                                       "MIDI velocity", "MIDI aftertouch", "MIDI chn pressure"};
const char* const kMidiShortNames[7] = {"NOTE ON",  "NOTE NUMBER", "NOTE FREQ",   "PITCHBEND",
                                        "VELOCITY", "AFTERTOUCH",  "CHN PRESSURE"};
}  // namespace

int32_t Plugin::processEvents(vst::VstEvents* events) {
    mMidiQueue.take(events);
    return 1;
}

void Plugin::applyMidi(const unsigned char* midiData) {
    int controller = 0, value = 0;
    if (mMidi.apply(midiData, controller, value)) handleController(controller, value);
}

void Plugin::handleController(int controller, int value) {
    int target = mLearnTarget.load(std::memory_order_relaxed);
    if (target != 0) {
        if (target == 1) {
            if (EngineListener* listener = mListener.load(std::memory_order_acquire)) listener->learnController(controller);
        } else if (target >= 2 && target <= 12) {
            mCcAssign[target - 2].store(controller, std::memory_order_relaxed);
        }
        mLearnTarget.store(0, std::memory_order_relaxed);
        if (EngineListener* listener = mListener.load(std::memory_order_acquire)) listener->learnEnded();
    }
    float v = value / 127.0f;
    mMidi.setController(controller, v);
    // KNOB1..8, then Input, Mix, Output.
    static constexpr int kAssignedParameter[kNumCcAssignments] = {
        param::kKnob1,     param::kKnob1 + 1, param::kKnob1 + 2, param::kKnob1 + 3, param::kKnob1 + 4, param::kKnob1 + 5,
        param::kKnob1 + 6, param::kKnob1 + 7, param::kInput,     param::kMix,       param::kOutput};
    for (int e = 0; e < kNumCcAssignments; ++e)
        if (mCcAssign[e].load(std::memory_order_relaxed) == controller) setParameterAutomated(kAssignedParameter[e], v);
}

void Plugin::resolveSources() { mModulation.resolveSources(mModOutL, mModOutR, mMidi); }

void Plugin::refreshActiveRamping() {
    mActiveRamping = false;
    for (const Ramp& a : mOperators.active) mActiveRamping |= a.increment != 0.0f;
    for (const Ramp& a : mModulators.active) mActiveRamping |= a.increment != 0.0f;
}

// The modulation of one tick: every part starts from its own values, the
// slots add their amounts and clamp what they touched, then the modules and
// ramps aim at the results.
void Plugin::controlTick() {
    switchPreparedModules();
    for (auto& op : mOperators.modules) op->resetModulation();
    for (auto& mod : mModulators.modules) mod->resetModulation();
    mMatrix.beginTick();
    mMain.beginTick();

    mModulation.tick(
        [this](int d, float left, float right) {
            if (isDestOpParam(d))
                mOperators.modules[destOpParamAt(d).slot]->addModulation(destOpParamAt(d).local, left, right);
            else if (isDestModParam(d))
                mModulators.modules[destModParamAt(d).slot]->addModulation(destModParamAt(d).local, left, right);
            else if (inRange(d, kDestInToOp, kNumRoutingGains))
                mMatrix.addModulation(d - kDestInToOp, left, right);
            else
                mMain.addModulation(d - kDestMainInput, left, right);
        },
        [this](int d) {
            if (isDestOpParam(d))
                mOperators.modules[destOpParamAt(d).slot]->clampModulation(destOpParamAt(d).local);
            else if (isDestModParam(d))
                mModulators.modules[destModParamAt(d).slot]->clampModulation(destModParamAt(d).local);
            else if (inRange(d, kDestInToOp, kNumRoutingGains))
                mMatrix.clampModulation(d - kDestInToOp);
            else
                mMain.clampModulation(d - kDestMainInput);
        });
    for (auto& op : mOperators.modules) op->publishModulation();
    for (auto& mod : mModulators.modules) mod->publishModulation();

    for (auto& op : mOperators.modules) op->update();
    for (auto& mod : mModulators.modules) mod->update();
    mMatrix.endTick();
    mMain.endTick();
    // A slot about to change its module fades out as if bypassed.
    for (int s = 0; s < kNumOperatorSlots; ++s) {
        bool off = discreteIndex(mOperators.bypass[s], 2) >= 1 || mOperators.handover[s].switching;
        mOperators.active[s].setTarget(off ? 0.0f : 1.0f, kRampFactor);
    }
    for (int s = 0; s < kNumModulatorSlots; ++s) {
        bool off = discreteIndex(mModulators.bypass[s], 2) >= 1 || mModulators.handover[s].switching;
        mModulators.active[s].setTarget(off ? 0.0f : 1.0f, kRampFactor);
    }
    refreshActiveRamping();
}

void Plugin::getSourceName(int slot, char* longName, char* shortName) {
    longName[0] = shortName[0] = 0;
    if (slot < 0 || slot >= kNumModSlots) {
        VH_TEXT(longName, "error");
        VH_TEXT(shortName, "error");
        return;
    }
    int s = mModulation.source(slot);
    char buffer[kTextSize];
    if (s >= kSourceMod1 && s < kSourceMod1 + kNumModulatorSlots) {
        mModulators.modules[s - kSourceMod1]->getTypeName(buffer);
        VH_TEXT(longName, "MOD %d: %s", s - kSourceMod1 + 1, buffer);
        VH_TEXT(shortName, "MOD%d %s", s - kSourceMod1 + 1, buffer);
    } else if (s >= kSourceKnob1 && s < kSourceCc0) {
        VH_TEXT(longName, "KNOB %d", s - kSourceKnob1 + 1);
        VH_TEXT(shortName, "KNOB%d", s - kSourceKnob1 + 1);
    } else if (s >= kSourceCc0 && s < kSourceNoteOn) {
        int c = s - kSourceCc0;
        VH_TEXT(longName, "MIDI CC %s", midiControllerName(c, buffer));
        VH_TEXT(shortName, "MIDI CC%03d", c);
    } else if (s >= kSourceNoteOn && s < kSourceNone) {
        VH_TEXT(longName, "%s", kMidiLongNames[s - kSourceNoteOn]);
        VH_TEXT(shortName, "%s", kMidiShortNames[s - kSourceNoteOn]);
    }
}

void Plugin::getDestinationName(int slot, char* text) {
    text[0] = 0;
    if (slot < 0 || slot >= kNumModSlots) {
        VH_TEXT(text, "error");
        return;
    }
    int d = mModulation.destination(slot);
    char buffer[kTextSize];
    if (d == kDestMainInput)
        VH_TEXT(text, "MAIN INPUT");
    else if (d == kDestMainMix)
        VH_TEXT(text, "MAIN MIX");
    else if (d == kDestMainOutput)
        VH_TEXT(text, "MAIN OUTPUT");
    else if (d >= kDestOps && d < kDestMods) {
        auto [s, i] = destOpParamAt(d);
        if (mOperators.modules[s]->isModulatable(i))
            mOperators.modules[s]->getDestinationName(i, buffer);
        else
            VH_TEXT(buffer, "---");
        VH_TEXT(text, "OP%d %s", s + 1, buffer);
    } else if (d >= kDestMods && d < kDestInToOp) {
        auto [s, i] = destModParamAt(d);
        mModulators.modules[s]->getDestinationName(i, buffer);
        VH_TEXT(text, "MOD%d %s", s + 1, buffer);
    } else if (d >= kDestInToOp && d < kDestOpToOp)
        VH_TEXT(text, "IN->OP%d", d - kDestInToOp + 1);
    else if (d >= kDestOpToOp && d < kDestOpToOut)
        VH_TEXT(text, "OP%d->OP%d", (d - kDestOpToOp) / kNumOperatorSlots + 1, (d - kDestOpToOp) % kNumOperatorSlots + 1);
    else if (d >= kDestOpToOut && d < kDestSens)
        VH_TEXT(text, "OP%d->OUT", d - kDestOpToOut + 1);
    else if (d >= kDestSens && d < kDestinationNone)
        VH_TEXT(text, "SLOT%d SENS", d - kDestSens + 1);
}

void Plugin::getKnobName(int knob, char* text) {
    text[0] = 0;
    if (knob < 0 || knob >= kNumKnobs) return;
    for (int c = 0; c < kKnobNameLength; ++c) {
        int code = discreteIndex(mStore->current().values[param::kKnobNames + 8 * knob + c], 128);
        text[c] = static_cast<char>(code);
        if (code == 0) return;
    }
    text[kKnobNameLength] = 0;
}

}  // namespace vh
