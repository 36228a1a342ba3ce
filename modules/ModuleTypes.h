#pragma once
// The module type table: what the "OP%d type" and "MOD%d type" parameters
// select, and the class constructed for each type index.

#include <memory>

#include "modules/Module.h"
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

// Constructs the class for a type index 0..63: indices without a class give
// Gain (operators) or Empty (modulators). Allocates: never call while processing.
std::unique_ptr<Operator> createOperator(int type, int slot, ModuleHost* owner);
std::unique_ptr<Modulator> createModulator(int type, int slot, ModuleHost* owner);

}  // namespace vh
