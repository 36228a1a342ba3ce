#pragma once
// The sixteen modulation slots. Each reads a source (a modulator's output, a
// knob, a MIDI controller or note value), scales it by its sensitivity and,
// once per control tick, adds it to a destination: a module parameter, a
// routing gain, a main control or another slot's sensitivity. The eight
// knobs, smoothed, are sources too and live here.

#include "engine/ControlSmoothing.h"
#include "engine/MidiState.h"
#include "modules/ParameterLayout.h"
#include "modules/Published.h"

namespace vh {

class ModulationSlots {
public:
    ModulationSlots();

    // --- values (normalised) --------------------------------------------------
    // Written where the engine is, read from any thread.
    void setSensitivity(int slot, float value) { publish(mSlots[slot].sens, value); }
    float sensitivity(int slot) const { return observe(mSlots[slot].sens); }
    void setSource(int slot, float value);
    float sourceValue(int slot) const { return observe(mSlots[slot].sourceValue); }
    int source(int slot) const { return observe(mSlots[slot].source); }
    void setDestination(int slot, float value);
    float destinationValue(int slot) const { return observe(mSlots[slot].destinationValue); }
    int destination(int slot) const { return observe(mSlots[slot].destination); }
    // One bit per slot: set turns the slot off.
    void setStatus(float value);
    float status() const { return observe(mStatus); }
    void setKnob(int knob, float value) { publish(mKnob[knob], value); }
    float knob(int knob) const { return observe(mKnob[knob]); }

    // Slots aimed at destinations first..last aim at none; answers which (bit
    // k for slot k).
    unsigned clearDestinations(int first, int last);

    // --- per block ---------------------------------------------------------------
    // Where each slot reads its source this block; the modulator outputs and
    // MIDI values must stay where they are.
    void resolveSources(const float* modulatorLeft, const float* modulatorRight, const MidiState& midi);

    // --- per sample -------------------------------------------------------------
    void smoothKnobs(float coefficient) {
        const Vec4 c(coefficient);
        for (int k = 0; k < kNumKnobs; k += 4)
            smoothTowards(Vec4::load(&mKnobSmoothed[k]), Vec4::load(&mKnob[k]), c).store(&mKnobSmoothed[k]);
    }
    bool knobsSettled() const;

    // --- control tick --------------------------------------------------------------
    // Adds every active slot's amount to its destination (`add(d, left,
    // right)`), then brings every destination hit back into range
    // (`clamp(d)`). Sensitivities are destinations of the slots themselves:
    // they take effect at the next tick.
    template <class Add, class Clamp>
    void tick(Add&& add, Clamp&& clamp);

    // After a suspend: no modulation of sensitivities, knobs where they are set.
    void reset();

private:
    struct Slot {
        float sourceValue = 1.0f;
        float destinationValue = 1.0f;
        int source = kSourceNone;
        int destination = kDestinationNone;
        float sens = 0.5f;
        float sensMod[2] = {0.5f, 0.5f};
        float sensEff[2] = {0.5f, 0.5f};
        const float* sourceL = nullptr;
        const float* sourceR = nullptr;
    };
    Slot mSlots[kNumModSlots];
    float mStatus = 0.0f;
    float mActive[kNumModSlots] = {};
    alignas(16) float mKnob[kNumKnobs] = {};
    alignas(16) float mKnobSmoothed[kNumKnobs] = {};
    static constexpr float kZero = 0.0f;
};

template <class Add, class Clamp>
void ModulationSlots::tick(Add&& add, Clamp&& clamp) {
    for (Slot& slot : mSlots) slot.sensMod[0] = slot.sensMod[1] = slot.sens;
    for (int k = 0; k < kNumModSlots; ++k) {
        const Slot& slot = mSlots[k];
        int d = slot.destination;
        if (d == kDestinationNone) continue;
        float amountL = (2.0f * slot.sensEff[0] - 1.0f) * *slot.sourceL * mActive[k];
        float amountR = (2.0f * slot.sensEff[1] - 1.0f) * *slot.sourceR * mActive[k];
        if (d >= kDestSens) {
            mSlots[d - kDestSens].sensMod[0] += amountL;
            mSlots[d - kDestSens].sensMod[1] += amountR;
        } else {
            add(d, amountL, amountR);
        }
    }
    for (const Slot& slot : mSlots) {
        int d = slot.destination;
        if (d == kDestinationNone) continue;
        if (d >= kDestSens) {
            Slot& target = mSlots[d - kDestSens];
            target.sensMod[0] = clampUnit(target.sensMod[0]);
            target.sensMod[1] = clampUnit(target.sensMod[1]);
        } else {
            clamp(d);
        }
    }
    for (Slot& slot : mSlots) {
        slot.sensEff[0] = slot.sensMod[0];
        slot.sensEff[1] = slot.sensMod[1];
    }
}

}  // namespace vh
