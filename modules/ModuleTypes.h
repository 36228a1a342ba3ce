#pragma once
// The module type table: what the "OP%d type" and "MOD%d type" parameters
// select. The engine's module factory constructs the class for each type.

#include "modules/ParameterLayout.h"

namespace vh {

constexpr int kNumOperatorTypes = 19;
constexpr int kNumModulatorTypes = 5;
constexpr int kMenuLineLength = 33;

enum OperatorType {
    kOpGain = 0,
    kOpBiquad,
    kOpSvf,
    kOpMoog,
    kOpComb,
    kOpEq,
    kOpPhaser,
    kOpLoFi,
    kOpDelay,
    kOpDistortion,
    kOpCompExp,
    kOpReverb,
    kOpPitch,
    kOpStereo,
    kOpPanner,
    kOpPhaseInv,
    kOpSideMix,
    kOpRectifier,
    kOpFormant,
};

enum ModulatorType { kModEmpty = 0, kModLfo, kModEnv, kModAdsr, kModStep };

// Label ("GAIN") and 33-character menu line of a type; null outside the table.
const char* operatorTypeLabel(int type);
const char* operatorMenuLine(int type);
const char* modulatorTypeLabel(int type);
const char* modulatorMenuLine(int type);

}  // namespace vh
