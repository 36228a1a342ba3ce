#include "engine/ParameterNames.h"

#include "engine/ParameterLayout.h"
#include "modules/Conversions.h"

namespace vh {

bool engineParameterName(int index, char* out) {
    using namespace param;
    out[0] = 0;
    if (index >= kOpParams && index < kModType1) return false;
    if (index >= kModParams && index < kSlotSens1) return false;
    switch (index) {
        case kPower: VH_TEXT(out, "Power"); return true;
        case kInput: VH_TEXT(out, "Input"); return true;
        case kMix: VH_TEXT(out, "Mix"); return true;
        case kOutput: VH_TEXT(out, "Output"); return true;
        case kDryDly: VH_TEXT(out, "DryDly"); return true;
        case kTempo: VH_TEXT(out, "Tempo"); return true;
        case kPpqOffset: VH_TEXT(out, "PPQOffset"); return true;
        case kOutLimiter: VH_TEXT(out, "OutLimiter"); return true;
        case kTempoSync: VH_TEXT(out, "TempoSync"); return true;
        case kOpLrMs: VH_TEXT(out, "OP_LR_MS"); return true;
        case kOpInv: VH_TEXT(out, "OP_Inv"); return true;
        case kSlotStatus: VH_TEXT(out, "SLOTStatus"); return true;
        case kCurrOp: VH_TEXT(out, "Curr OP"); return true;
        case kCurrMain: VH_TEXT(out, "Curr MAIN"); return true;
        case kCurrMod: VH_TEXT(out, "Curr MOD"); return true;
        case kMeterHold: VH_TEXT(out, "MeterHold"); return true;
        case kMeterFalloff: VH_TEXT(out, "MeterFalloff"); return true;
        default: break;
    }
    if (index >= kKnob1 && index < kKnob1 + 8) VH_TEXT(out, "KNOB%d", index - kKnob1 + 1);
    else if (index >= kOpType1 && index < kOpType1 + 4) VH_TEXT(out, "OP%d type", index - kOpType1 + 1);
    else if (index >= kModType1 && index < kModType1 + 4) VH_TEXT(out, "MOD%d type", index - kModType1 + 1);
    else if (index >= kSlotSens1 && index < kSlotSens1 + 16) VH_TEXT(out, "SLOT%d SENS", index - kSlotSens1 + 1);
    else if (index >= kInToOp1 && index < kInToOp1 + 4) VH_TEXT(out, "IN->OP%d", index - kInToOp1 + 1);
    else if (index >= kOpToOp && index < kOpToOp + 16)
        VH_TEXT(out, "OP%d->OP%d", (index - kOpToOp) / 4 + 1, (index - kOpToOp) % 4 + 1);
    else if (index >= kOpToOut1 && index < kOpToOut1 + 4) VH_TEXT(out, "OP%d->OUT", index - kOpToOut1 + 1);
    else if (index >= kOpBypass1 && index < kOpBypass1 + 4) VH_TEXT(out, "OP%d bypass", index - kOpBypass1 + 1);
    else if (index >= kModBypass1 && index < kModBypass1 + 4) VH_TEXT(out, "MOD%d bypass", index - kModBypass1 + 1);
    else if (index >= kSlotSource1 && index < kSlotSource1 + 16) VH_TEXT(out, "SLOT%d SRC", index - kSlotSource1 + 1);
    else if (index >= kSlotDest1 && index < kSlotDest1 + 16) VH_TEXT(out, "SLOT%d DST", index - kSlotDest1 + 1);
    return true;  // reserved, knob-name and editor-only indices have an empty name
}

}  // namespace vh
