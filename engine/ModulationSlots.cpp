#include "engine/ModulationSlots.h"

#include "modules/Conversions.h"

namespace vh {

ModulationSlots::ModulationSlots() {
    for (Slot& slot : mSlots) {
        slot.sourceValue = discreteValue(kSourceNone, kNumSources);
        slot.destinationValue = discreteValue(kDestinationNone, kNumDestinations);
    }
    for (float& a : mActive) a = 1.0f;
}

void ModulationSlots::setSource(int slot, float value) {
    publish(mSlots[slot].sourceValue, value);
    publish(mSlots[slot].source, discreteIndex(value, kNumSources));
}

void ModulationSlots::setDestination(int slot, float value) {
    publish(mSlots[slot].destinationValue, value);
    publish(mSlots[slot].destination, discreteIndex(value, kNumDestinations));
}

void ModulationSlots::setStatus(float value) {
    publish(mStatus, value);
    int bits = discreteIndex(value, 1 << kNumModSlots);
    for (int k = 0; k < kNumModSlots; ++k) mActive[k] = ((bits >> k) & 1) ? 0.0f : 1.0f;
}

unsigned ModulationSlots::clearDestinations(int first, int last) {
    unsigned cleared = 0;
    for (int k = 0; k < kNumModSlots; ++k) {
        if (mSlots[k].destination < first || mSlots[k].destination > last) continue;
        setDestination(k, discreteValue(kDestinationNone, kNumDestinations));
        cleared |= 1u << k;
    }
    return cleared;
}

void ModulationSlots::resolveSources(const float* modulatorLeft, const float* modulatorRight, const MidiState& midi) {
    for (Slot& slot : mSlots) {
        int s = slot.source;
        const float* l = &kZero;
        const float* r = &kZero;
        if (s >= kSourceMod1 && s < kSourceMod1 + kNumModulatorSlots) {
            l = &modulatorLeft[s - kSourceMod1];
            r = &modulatorRight[s - kSourceMod1];
        } else if (s >= kSourceKnob1 && s < kSourceCc0) {
            l = r = &mKnobSmoothed[s - kSourceKnob1];
        } else if (s >= kSourceCc0 && s < kSourceNoteOn) {
            l = r = midi.controllerValue(s - kSourceCc0);
        } else if (s >= kSourceNoteOn && s < kSourceNone) {
            l = r = midi.noteSource(s - kSourceNoteOn);
        }
        slot.sourceL = l;
        slot.sourceR = r;
    }
}

bool ModulationSlots::knobsSettled() const {
    bool settled = true;
    for (int k = 0; k < kNumKnobs; ++k) settled = settled && mKnobSmoothed[k] == mKnob[k];
    return settled;
}

void ModulationSlots::reset() {
    for (Slot& slot : mSlots)
        for (int c = 0; c < 2; ++c) slot.sensMod[c] = slot.sensEff[c] = slot.sens;
    for (int k = 0; k < kNumKnobs; ++k) mKnobSmoothed[k] = mKnob[k];
}

}  // namespace vh
