#pragma once
// Host names of the engine's own parameters ("Power", "OP%d type",
// "SLOT%d SENS", ...). Module parameters are named by their module.

namespace vh {

// Writes the name of parameter `index` into out (kTextSize bytes) and returns
// true, or returns false for an operator or modulator parameter index
// (16..79, 84..235), whose name comes from the module in the slot. Indices
// that have no name (reserved values, knob name characters, unused editor
// tags, anything outside the index space) give an empty string.
bool engineParameterName(int index, char* out);

// The name of MIDI controller c (0..128) from the General MIDI table, or
// "control %d" (written into buffer, kTextSize bytes) where it has none.
const char* midiControllerName(int c, char* buffer);

// The index whose engine name is exactly `name`, or -1. Empty names never match.
int engineParameterIndex(const char* name);

}  // namespace vh
