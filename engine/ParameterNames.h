#pragma once
// Host names of the engine's own parameters (everything that is not a
// module parameter).

namespace vh {

// Writes the name of an engine-level index into out (kTextSize bytes).
// False for module-parameter indices, whose names come from the module.
bool engineParameterName(int index, char* out);

}  // namespace vh
