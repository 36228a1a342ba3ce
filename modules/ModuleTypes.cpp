#include "modules/ModuleTypes.h"

#include "modules/Empty.h"
#include "operators/Comb.h"
#include "operators/DelayLine.h"
#include "operators/Gain.h"
#include "operators/LoFi.h"
#include "operators/Panner.h"
#include "operators/PhaseInv.h"
#include "operators/Rectifier.h"
#include "operators/SideMix.h"
#include "operators/Stereo.h"

namespace vh {

namespace {

struct TypeEntry {
    const char* label;
    const char* menuLine;
};

constexpr TypeEntry kOperatorTypes[kNumOperatorTypes] = {
    {"GAIN", "GAIN                  attenuation"},
    {"BIQUAD", "BIQUAD      resonant filter morph"},
    {"SVF", "SVF         resonant filter morph"},
    {"MOOG", "MOOG        lowpass ladder filter"},
    {"COMB", "COMB                  comb filter"},
    {"EQ", "EQ               equalizer filter"},
    {"PHASER", "PHASER         multi-stage phaser"},
    {"LOFI", "LOFI       downsampler/bitcrusher"},
    {"DELAY", "DELAY     interpolated delay line"},
    {"DISTORTION", "DISTORTION             waveshaper"},
    {"COMPEXP", "COMPEXP    non-lin transfer curve"},
    {"REVERB", "REVERB               reverberator"},
    {"PITCH", "PITCH               pitch shifter"},
    {"STEREO", "STEREO            width / balance"},
    {"PANNER", "PANNER     l/r independent panner"},
    {"PHASEINV", "PHASEINV           phase inverter"},
    {"SIDEMIX", "SIDEMIX           sidechain mixer"},
    {"RECTIFIER", "RECTIFIER     full-wave rectifier"},
    {"FORMANT", "FORMANT            formant filter"},
};

constexpr TypeEntry kModulatorTypes[kNumModulatorTypes] = {
    {"EMPTY", "EMPTY                            "},
    {"LFO", "LFO      low frequency oscillator"},
    {"ENV", "ENV             envelope detector"},
    {"ADSR", "ADSR           envelope generator"},
    {"STEP", "STEP               step sequencer"},
};

}  // namespace

const char* operatorTypeLabel(int type) {
    return (type >= 0 && type < kNumOperatorTypes) ? kOperatorTypes[type].label : nullptr;
}
const char* operatorMenuLine(int type) {
    return (type >= 0 && type < kNumOperatorTypes) ? kOperatorTypes[type].menuLine : nullptr;
}
const char* modulatorTypeLabel(int type) {
    return (type >= 0 && type < kNumModulatorTypes) ? kModulatorTypes[type].label : nullptr;
}
const char* modulatorMenuLine(int type) {
    return (type >= 0 && type < kNumModulatorTypes) ? kModulatorTypes[type].menuLine : nullptr;
}

std::unique_ptr<Operator> createOperator(int type, int slot, ModuleHost* owner) {
    switch (type) {
        case kOpComb: return std::make_unique<Comb>(slot, owner);
        case kOpLoFi: return std::make_unique<LoFi>(slot, owner);
        case kOpDelay: return std::make_unique<DelayLine>(slot, owner);
        case kOpStereo: return std::make_unique<Stereo>(slot, owner);
        case kOpPanner: return std::make_unique<Panner>(slot, owner);
        case kOpPhaseInv: return std::make_unique<PhaseInv>(slot, owner);
        case kOpSideMix: return std::make_unique<SideMix>(slot, owner);
        case kOpRectifier: return std::make_unique<Rectifier>(slot, owner);
        default: return std::make_unique<Gain>(slot, owner);
    }
}

std::unique_ptr<Modulator> createModulator(int type, int slot, ModuleHost* owner) {
    switch (type) {
        default: return std::make_unique<Empty>(slot, owner);
    }
}

}  // namespace vh
