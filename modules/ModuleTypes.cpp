#include "modules/ModuleTypes.h"

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

}  // namespace vh
