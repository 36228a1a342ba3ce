#pragma once
// The factory banks. Their content is kept as text a sound designer edits
// (resources/presets/bank1.txt .. bank3.txt), embedded into the program at
// build time and parsed at start-up. The format, one block per preset:
//
//     # comment
//     preset "Lighthouse"
//     OP1 type = DELAY            # a type label or a normalised value
//     OP1 time = 0.35             # module parameter, named as the host names it
//     IN->OP1 = 1.0               # engine parameter, raw normalised value
//     KNOB1 name = "Feedback"     # knob name, at most 8 characters
//     OP2 type = REVERB           # slot type ...
//     OP2 type = 0.15             # ... and a second line: the module's own
//                                 # parameter called "type" (COMB,
//                                 # DISTORTION, REVERB)
//
// Every preset starts from the neutral values (those of "[flat]": a serial
// chain OP1 -> OP4 of GAIN operators, EMPTY modulators, idle modulation
// slots) and each line overrides one value. Module parameters a block does
// not name take the defaults of the module type the block selects for that
// slot. Each bank file holds exactly 64 blocks.

#include <string>
#include <vector>

#include "engine/PresetStore.h"

namespace vh {

struct FactoryParseError {
    int bank;  // 0..2
    int line;  // 1-based line in the bank's text, 0 for the whole text
    std::string message;
};

// The embedded text of bank 0..2 (null outside).
const char* factoryBankText(int bank);

// The values every preset starts from (416 floats), module parameters not
// included: they come from the module types.
void neutralPresetValues(float* values);

// Parses one bank's text into out. Errors are appended to `errors` and the
// offending lines skipped; missing blocks stay neutral and unnamed. True when
// there were no errors.
bool parseFactoryBank(const char* text, int bank, PresetBank& out, std::vector<FactoryParseError>& errors);

// All three banks from the embedded text into out[0..2]. True when clean.
bool buildFactoryBanks(PresetBank* out, std::vector<FactoryParseError>* errors);

}  // namespace vh
