#pragma once
// The flat parameter index space of the engine. Indices 0..306 are the
// host's automatable parameters, 307..415 further values kept with every
// preset, 416 and above editor settings that presets do not keep. Also the
// modulation source and destination lists. Modules, the engine, the editor,
// tests and benchmarks all take the layout from here, so no index is
// computed by hand anywhere else.

namespace vh {

// Whether index lies in the run of count indices starting at first.
constexpr bool inRange(int index, int first, int count) { return index >= first && index < first + count; }

constexpr int kNumOperatorSlots = 4;
constexpr int kNumModulatorSlots = 4;
constexpr int kOperatorParams = 16;
constexpr int kModulatorParams = 38;
constexpr int kNumModSlots = 16;
constexpr int kNumKnobs = 8;
constexpr int kKnobNameLength = 8;
constexpr int kNumCcAssignments = 11;  // KNOB1..8, Input, Mix, Output
constexpr int kNumTypeSteps = 64;       // type parameters choose among 64 steps
constexpr int kNumOpParamIndices = kNumOperatorSlots * kOperatorParams;    // 64
constexpr int kNumModParamIndices = kNumModulatorSlots * kModulatorParams;  // 152

// The routing matrix's gains, in this order as parameters (from
// param::kInToOp1) and as destinations (from kDestInToOp): the input into
// operators 1..4, then operator a into operator b at 4 + 4a + b, then
// operators 1..4 to the output.
constexpr int kNumRoutingGains = 24;
constexpr int kRoutingOpToOp = 4;
constexpr int kRoutingOut = 20;
constexpr int routingLink(int from, int to) { return kRoutingOpToOp + kNumOperatorSlots * from + to; }

// A module parameter named by a global index or a destination: the slot and
// the module-local index.
struct ModuleParam {
    int slot;
    int local;
};

namespace param {
constexpr int kPower = 0;
constexpr int kInput = 1;
constexpr int kMix = 2;
constexpr int kOutput = 3;
constexpr int kKnob1 = 4;                // ..11
constexpr int kOpType1 = 12;             // ..15
constexpr int kOpParams = 16;            // 16 + 16*s + i, ..79
constexpr int kModType1 = 80;            // ..83
constexpr int kModParams = 84;           // 84 + 38*s + i, ..235
constexpr int kSlotSens1 = 236;          // ..251
constexpr int kDryDly = 252;
constexpr int kInToOp1 = 253;            // ..256
constexpr int kOpToOp = 257;             // 257 + 4*(a) + (b), ..272
constexpr int kOpToOut1 = 273;           // ..276
constexpr int kTempo = 277;
constexpr int kPpqOffset = 278;
constexpr int kReserved = 279;           // ..306, kept in presets only
constexpr int kNumAutomatable = 307;
constexpr int kOpBypass1 = 307;          // ..310
constexpr int kModBypass1 = 311;         // ..314
constexpr int kSlotSource1 = 315;        // ..330
constexpr int kSlotDest1 = 331;          // ..346
constexpr int kKnobNames = 347;          // 347 + 8*knob + char, ..410
constexpr int kOutLimiter = 411;
constexpr int kTempoSync = 412;
constexpr int kOpLrMs = 413;
constexpr int kOpInv = 414;
constexpr int kSlotStatus = 415;
constexpr int kNumPresetValues = 416;    // a preset keeps indices 0..415
constexpr int kCurrOp = 417;
constexpr int kCurrMain = 418;
constexpr int kCurrMod = 419;
constexpr int kMeterHold = 420;
constexpr int kMeterFalloff = 421;
constexpr int kSaveAsDefault = 435;
constexpr int kModulationPreview = 436;
// 437 is left to the editor's own commands.
constexpr int kReportLatency = 438;     // preference: tell the host the limiter's lookahead
constexpr int kNumIndices = 439;

constexpr int opParam(int slot, int i) { return kOpParams + kOperatorParams * slot + i; }
constexpr int modParam(int slot, int i) { return kModParams + kModulatorParams * slot + i; }
constexpr bool isOpParam(int index) { return inRange(index, kOpParams, kNumOpParamIndices); }
constexpr bool isModParam(int index) { return inRange(index, kModParams, kNumModParamIndices); }
// Only for indices that isOpParam / isModParam accept.
constexpr ModuleParam opParamAt(int index) {
    return {(index - kOpParams) / kOperatorParams, (index - kOpParams) % kOperatorParams};
}
constexpr ModuleParam modParamAt(int index) {
    return {(index - kModParams) / kModulatorParams, (index - kModParams) % kModulatorParams};
}
}  // namespace param

constexpr int kNumSources = 149;
constexpr int kSourceNone = 148;
constexpr int kNumDestinations = 260;
constexpr int kDestinationNone = 259;

// Where the ranges of the source and destination lists start.
constexpr int kSourceMod1 = 0;      // modulators 1..4
constexpr int kSourceKnob1 = 4;     // KNOB1..8
constexpr int kSourceCc0 = 12;      // MIDI controllers 0..128
constexpr int kSourceNoteOn = 141;  // then note number, frequency, bend, velocity, pressures
constexpr int kDestMainInput = 0;
constexpr int kDestMainMix = 1;
constexpr int kDestMainOutput = 2;
constexpr int kDestOps = 3;         // 3 + 16*slot + i
constexpr int kDestMods = 67;       // 67 + 38*slot + i
constexpr int kDestInToOp = 219;
constexpr int kDestOpToOp = 223;
constexpr int kDestOpToOut = 239;
constexpr int kDestSens = 243;      // slot 1..16 sensitivities

constexpr int destOpParam(int slot, int i) { return kDestOps + kOperatorParams * slot + i; }
constexpr int destModParam(int slot, int i) { return kDestMods + kModulatorParams * slot + i; }
constexpr bool isDestOpParam(int d) { return inRange(d, kDestOps, kNumOpParamIndices); }
constexpr bool isDestModParam(int d) { return inRange(d, kDestMods, kNumModParamIndices); }
// Only for destinations that isDestOpParam / isDestModParam accept.
constexpr ModuleParam destOpParamAt(int d) { return {(d - kDestOps) / kOperatorParams, (d - kDestOps) % kOperatorParams}; }
constexpr ModuleParam destModParamAt(int d) {
    return {(d - kDestMods) / kModulatorParams, (d - kDestMods) % kModulatorParams};
}
static_assert(kDestOps + kNumOpParamIndices == kDestMods && kDestMods + kNumModParamIndices == kDestInToOp);
static_assert(param::kOpParams + kNumOpParamIndices == param::kModType1);
static_assert(param::kInToOp1 + kRoutingOpToOp == param::kOpToOp && param::kInToOp1 + kRoutingOut == param::kOpToOut1);
static_assert(kDestInToOp + kRoutingOpToOp == kDestOpToOp && kDestInToOp + kRoutingOut == kDestOpToOut &&
              kDestInToOp + kNumRoutingGains == kDestSens);
static_assert(param::kModParams + kNumModParamIndices == param::kSlotSens1);

}  // namespace vh
