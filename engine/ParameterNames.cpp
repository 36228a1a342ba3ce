#include "engine/ParameterNames.h"

#include <cstring>

#include "modules/ParameterLayout.h"
#include "modules/Conversions.h"

namespace vh {

bool engineParameterName(int index, char* out) {
    using namespace param;
    out[0] = 0;
    if (isOpParam(index)) return false;
    if (isModParam(index)) return false;

    if (index == kPower) copyText(out, kTextSize, "Power");
    else if (index == kInput) copyText(out, kTextSize, "Input");
    else if (index == kMix) copyText(out, kTextSize, "Mix");
    else if (index == kOutput) copyText(out, kTextSize, "Output");
    else if (index >= kKnob1 && index < kKnob1 + kNumKnobs) VH_TEXT(out, "KNOB%d", index - kKnob1 + 1);
    else if (index >= kOpType1 && index < kOpType1 + kNumOperatorSlots) VH_TEXT(out, "OP%d type", index - kOpType1 + 1);
    else if (index >= kModType1 && index < kModType1 + kNumModulatorSlots)
        VH_TEXT(out, "MOD%d type", index - kModType1 + 1);
    else if (index >= kSlotSens1 && index < kSlotSens1 + kNumModSlots) VH_TEXT(out, "SLOT%d SENS", index - kSlotSens1 + 1);
    else if (index == kDryDly) copyText(out, kTextSize, "DryDly");
    else if (index >= kInToOp1 && index < kInToOp1 + kNumOperatorSlots) VH_TEXT(out, "IN->OP%d", index - kInToOp1 + 1);
    else if (index >= kOpToOp && index < kOpToOp + kNumOperatorSlots * kNumOperatorSlots)
        VH_TEXT(out, "OP%d->OP%d", (index - kOpToOp) / kNumOperatorSlots + 1, (index - kOpToOp) % kNumOperatorSlots + 1);
    else if (index >= kOpToOut1 && index < kOpToOut1 + kNumOperatorSlots) VH_TEXT(out, "OP%d->OUT", index - kOpToOut1 + 1);
    else if (index == kTempo) copyText(out, kTextSize, "Tempo");
    else if (index == kPpqOffset) copyText(out, kTextSize, "PPQOffset");
    else if (index >= kOpBypass1 && index < kOpBypass1 + kNumOperatorSlots)
        VH_TEXT(out, "OP%d bypass", index - kOpBypass1 + 1);
    else if (index >= kModBypass1 && index < kModBypass1 + kNumModulatorSlots)
        VH_TEXT(out, "MOD%d bypass", index - kModBypass1 + 1);
    else if (index >= kSlotSource1 && index < kSlotSource1 + kNumModSlots) VH_TEXT(out, "SLOT%d SRC", index - kSlotSource1 + 1);
    else if (index >= kSlotDest1 && index < kSlotDest1 + kNumModSlots) VH_TEXT(out, "SLOT%d DST", index - kSlotDest1 + 1);
    else if (index == kOutLimiter) copyText(out, kTextSize, "OutLimiter");
    else if (index == kTempoSync) copyText(out, kTextSize, "TempoSync");
    else if (index == kOpLrMs) copyText(out, kTextSize, "OP_LR_MS");
    else if (index == kOpInv) copyText(out, kTextSize, "OP_Inv");
    else if (index == kSlotStatus) copyText(out, kTextSize, "SLOTStatus");
    else if (index == kCurrOp) copyText(out, kTextSize, "Curr OP");
    else if (index == kCurrMain) copyText(out, kTextSize, "Curr MAIN");
    else if (index == kCurrMod) copyText(out, kTextSize, "Curr MOD");
    else if (index == kMeterHold) copyText(out, kTextSize, "MeterHold");
    else if (index == kMeterFalloff) copyText(out, kTextSize, "MeterFalloff");
    else if (index == kReportLatency) copyText(out, kTextSize, "Latency");
    return true;
}

int engineParameterIndex(const char* name) {
    if (name == nullptr || name[0] == 0) return -1;
    char candidate[kTextSize];
    for (int index = 0; index < param::kNumIndices; ++index) {
        if (engineParameterName(index, candidate) && std::strcmp(candidate, name) == 0) return index;
    }
    return -1;
}

}  // namespace vh
