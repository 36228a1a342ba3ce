#pragma once
// Builds the module class a slot's type index selects. Only the engine
// constructs modules (when a type parameter changes, and for the factory
// preset check), so this table of every operator and modulator class lives
// here and modules/ keeps just the labels.

#include <memory>

#include "modules/Module.h"
#include "modules/ModuleTypes.h"

namespace vh {

// Constructs the class for a type index 0..63: indices without a class give
// Gain (operators) or Empty (modulators). Allocates: never call while processing.
std::unique_ptr<Operator> createOperator(int type, int slot, ModuleHost* owner);
std::unique_ptr<Modulator> createModulator(int type, int slot, ModuleHost* owner);

}  // namespace vh
