// The engine's parameter list: what each index does to the engine, and its
// name, label and display text for the host.

#include <atomic>
#include <cmath>
#include <cstring>

#include "engine/ParameterNames.h"
#include "engine/Plugin.h"
#include "modules/ModuleTypes.h"

namespace vh {

using namespace param;

namespace {

// Input and output gain of a normalised value: 4v^2 (+12 dB at the top).
float mainGainOf(float v) { return 4.0f * v * v; }
int meterHoldMs(float v) { return 1000 + static_cast<int>(4000.0f * v); }
int meterFalloffDbPerSecond(float v) { return 6 + static_cast<int>(54.0f * v); }

const char* const kMainPages[4] = {"OP ROUTING", "LIBRARY", "PREFERENCES", "MOD ROUTING"};
}  // namespace

// Reported only on request: by default the host hears of no latency (and a
// parallel dry track drifts by the lookahead), as the plug-in always did.
void Plugin::updateReportedLatency() {
    int32_t delay = (mSession.reportLatency && mOutput.limiterMode() != 0) ? mOutput.lookahead() : 0;
    if (delay == mEffect.initialDelay) return;
    setInitialDelay(delay);
    ioChanged();
}

// A slot's type value: on the audio thread a request to the builder thread,
// elsewhere the module replaced at once. Answers whether it was replaced
// (the slot then takes its remembered values).
template <class M>
bool Plugin::applyModuleType(int slot, float v) {
    auto& slots = slotsOf<M>();
    publish(slots.typeValue[slot], v);
    int type = discreteIndex(v, kNumTypeSteps);
    if (onAudioThread()) {
        requestModule<M>(slot, type);
        return false;
    }
    if (type == slots.type[slot]) return false;
    replaceModule<M>(slot, type);
    return true;
}

// A module parameter reaches the host's view, the module (unless it was
// prepared with the preset being loaded) and the slot's memory.
template <class M>
void Plugin::applyModuleParameter(int slot, int i, float v) {
    auto& slots = slotsOf<M>();
    publish(slots.mirror[slot][i], v);
    const int preparedBit = kIsOperator<M> ? slot : kNumOperatorSlots + slot;
    if (!(mPreparedSlots & (1 << preparedBit))) slots.modules[slot]->setParameter(i, v);
    slots.memory.remember(currentRecord(), slot, slots.type[slot], i, v);
}

// Changes reach the engine only where nothing else touches it: on the thread
// that holds the processing lock, or by taking the lock if it is free. While
// a block is being processed, a change waits in the queue for the next one
// instead of holding up the caller. Type changes see to their own locking,
// and the preferences that the audio loop never reads take effect at once.
void Plugin::setParameter(int32_t index, float value) {
    if (index < 0 || index >= kNumIndices) return;
    if (inRange(index, kOpType1, kNumOperatorSlots) || inRange(index, kModType1, kNumModulatorSlots) ||
        index == kSaveAsDefault) {
        applyParameter(index, value);
        return;
    }
    // A latency change is announced to the host, which must not happen on
    // the audio thread: these rare ones wait for the block to end.
    if (index == kOutLimiter || index == kReportLatency) {
        ProcessLock wait(*this);
        applyParameter(index, value);
        return;
    }
    ProcessLock lock(*this, ProcessLock::kTry);
    if (lock.held() || !mParameterQueue.push(index, value)) {
        ProcessLock wait(*this);
        applyParameter(index, value);
    }
}

void Plugin::applyQueuedParameters() {
    int index;
    float value;
    while (mParameterQueue.pop(index, value)) applyParameter(index, value);
}

void Plugin::applyParameter(int32_t index, float value) {
    // Host and file input is clamped here, so nothing beyond sees NaN or a
    // value outside 0..1.
    float v = sanitizeUnit(value);
    int restoreOperatorSlot = -1, restoreModulatorSlot = -1;

    if (index == kPower) {
        mMain.setPower(v);
    } else if (index == kInput) {
        mMain.setControl(MainSection::kInput, v);
    } else if (index == kMix) {
        mMain.setControl(MainSection::kMix, v);
    } else if (index == kOutput) {
        mMain.setControl(MainSection::kOutput, v);
    } else if (inRange(index, kKnob1, kNumKnobs)) {
        mModulation.setKnob(index - kKnob1, v);
    } else if (inRange(index, kOpType1, kNumOperatorSlots)) {
        if (applyModuleType<Operator>(index - kOpType1, v)) restoreOperatorSlot = index - kOpType1;
    } else if (isOpParam(index)) {
        applyModuleParameter<Operator>(opParamAt(index).slot, opParamAt(index).local, v);
    } else if (inRange(index, kModType1, kNumModulatorSlots)) {
        if (applyModuleType<Modulator>(index - kModType1, v)) restoreModulatorSlot = index - kModType1;
    } else if (isModParam(index)) {
        applyModuleParameter<Modulator>(modParamAt(index).slot, modParamAt(index).local, v);
    } else if (inRange(index, kSlotSens1, kNumModSlots)) {
        mModulation.setSensitivity(index - kSlotSens1, v);
    } else if (index == kDryDly) {
        mMain.setDryDelay(v);
    } else if (inRange(index, kInToOp1, kNumRoutingGains)) {
        mMatrix.setValue(index - kInToOp1, v);
    } else if (index == kTempo) {
        mTransport.setManualTempo(v);
    } else if (index == kPpqOffset) {
        mTransport.setPpqOffset(v);
    } else if (inRange(index, kOpBypass1, kNumOperatorSlots)) {
        publish(mOperators.bypass[index - kOpBypass1], v);
    } else if (inRange(index, kModBypass1, kNumModulatorSlots)) {
        publish(mModulators.bypass[index - kModBypass1], v);
    } else if (inRange(index, kSlotSource1, kNumModSlots)) {
        mModulation.setSource(index - kSlotSource1, v);
        if (EngineListener* listener = mListener.load(std::memory_order_acquire)) listener->refresh();
    } else if (inRange(index, kSlotDest1, kNumModSlots)) {
        mModulation.setDestination(index - kSlotDest1, v);
    } else if (index == kOutLimiter) {
        mOutput.setLimiterMode(v);
        updateReportedLatency();
    } else if (index == kTempoSync) {
        mTransport.setSync(v);
    } else if (index == kOpLrMs) {
        mChannels.setModes(v);
    } else if (index == kOpInv) {
        mChannels.setPolarity(v);
    } else if (index == kSlotStatus) {
        mModulation.setStatus(v);
    } else if (index == kCurrOp) {
        publish(mSession.currOp, discreteIndex(v, 4));
    } else if (index == kCurrMain) {
        publish(mSession.currMain, discreteIndex(v, 4));
    } else if (index == kCurrMod) {
        publish(mSession.currMod, discreteIndex(v, 4));
    } else if (index == kMeterHold) {
        publish(mSession.meterHold, v);
    } else if (index == kMeterFalloff) {
        publish(mSession.meterFalloff, v);
    } else if (index == kReportLatency) {
        publish(mSession.reportLatencyValue, v);
        publish(mSession.reportLatency, discreteIndex(v, 2) == 1);
        updateReportedLatency();
    } else if (index == kSaveAsDefault) {
        // The window toggles the control on every click, so each change of
        // its value asks to store the preferences a new instance starts with
        // (the same value again, a host echoing it back, does not).
        bool pressed = discreteIndex(v, 2) == 1;
        if (std::atomic_ref<bool>(mSession.saveAsDefaultPressed).exchange(pressed) != pressed) requestPreferenceSave();
    } else if (index == kModulationPreview) {
        publish(mSession.previewMode, discreteIndex(v, 3));
        for (auto& op : mOperators.modules) op->setModulationPreview(mSession.previewMode);
        for (auto& mod : mModulators.modules) mod->setModulationPreview(mSession.previewMode);
    }
    // Knob names and reserved indices live in the preset only.

    mStore->setCurrentValue(index, v);
    if (EngineListener* listener = mListener.load(std::memory_order_acquire)) listener->parameterChanged(index, v);

    // A new module starts from its defaults; outside a preset load (which
    // sets the parameters next) it takes the slot's remembered values, so the
    // module, the mirror and the current preset never disagree, whoever
    // changed the type.
    if (!mStore->loading() && (restoreOperatorSlot >= 0 || restoreModulatorSlot >= 0)) {
        if (restoreOperatorSlot >= 0) restoreRememberedParameters(false, restoreOperatorSlot);
        if (restoreModulatorSlot >= 0) restoreRememberedParameters(true, restoreModulatorSlot);
        ProcessLock lock(*this);
        settleFreshModules();
    }
}

float Plugin::getParameter(int32_t index) {
    if (index < 0 || index >= kNumIndices) return 0.0f;
    if (index == kPower) return mMain.power();
    if (index == kInput) return mMain.control(MainSection::kInput);
    if (index == kMix) return mMain.control(MainSection::kMix);
    if (index == kOutput) return mMain.control(MainSection::kOutput);
    if (inRange(index, kKnob1, kNumKnobs)) return mModulation.knob(index - kKnob1);
    if (inRange(index, kOpType1, kNumOperatorSlots)) return observe(mOperators.typeValue[index - kOpType1]);
    if (isOpParam(index)) return observe(mOperators.mirror[opParamAt(index).slot][opParamAt(index).local]);
    if (inRange(index, kModType1, kNumModulatorSlots)) return observe(mModulators.typeValue[index - kModType1]);
    if (isModParam(index)) return observe(mModulators.mirror[modParamAt(index).slot][modParamAt(index).local]);
    if (inRange(index, kSlotSens1, kNumModSlots)) return mModulation.sensitivity(index - kSlotSens1);
    if (index == kDryDly) return mMain.dryDelay();
    if (inRange(index, kInToOp1, kNumRoutingGains)) return mMatrix.value(index - kInToOp1);
    if (index == kTempo) return mTransport.manualTempo();
    if (index == kPpqOffset) return mTransport.ppqOffset();
    if (inRange(index, kOpBypass1, kNumOperatorSlots)) return observe(mOperators.bypass[index - kOpBypass1]);
    if (inRange(index, kModBypass1, kNumModulatorSlots)) return observe(mModulators.bypass[index - kModBypass1]);
    if (inRange(index, kSlotSource1, kNumModSlots)) return mModulation.sourceValue(index - kSlotSource1);
    if (inRange(index, kSlotDest1, kNumModSlots)) return mModulation.destinationValue(index - kSlotDest1);
    if (index == kOutLimiter) return mOutput.limiterValue();
    if (index == kTempoSync) return mTransport.syncValue();
    if (index == kOpLrMs) return mChannels.modes();
    if (index == kOpInv) return mChannels.polarity();
    if (index == kSlotStatus) return mModulation.status();
    if (index == kCurrOp) return (observe(mSession.currOp) + 0.5f) / 4.0f;
    if (index == kCurrMain) return (observe(mSession.currMain) + 0.5f) / 4.0f;
    if (index == kCurrMod) return (observe(mSession.currMod) + 0.5f) / 4.0f;
    if (index == kMeterHold) return observe(mSession.meterHold);
    if (index == kMeterFalloff) return observe(mSession.meterFalloff);
    if (index == kReportLatency) return observe(mSession.reportLatencyValue);
    if (index == kModulationPreview) return discreteValue(observe(mSession.previewMode), 3);
    if (index < kNumPresetValues) return observe(mStore->current().values[index]);
    return 0.0f;
}

// The module texts of the host's queries, read inside a section: the audio
// thread may replace the module meanwhile.
void Plugin::moduleLabel(int32_t index, char* text) {
    ModuleReadSection section(*this);
    if (isOpParam(index))
        getOperator(opParamAt(index).slot)->getParameterLabel(opParamAt(index).local, text);
    else
        getModulator(modParamAt(index).slot)->getParameterLabel(modParamAt(index).local, text);
}

void Plugin::moduleDisplay(int32_t index, char* text) {
    ModuleReadSection section(*this);
    if (inRange(index, kOpType1, kNumOperatorSlots))
        getOperator(index - kOpType1)->getTypeName(text);
    else if (inRange(index, kModType1, kNumModulatorSlots))
        getModulator(index - kModType1)->getTypeName(text);
    else if (isOpParam(index))
        getOperator(opParamAt(index).slot)->getParameterDisplay(opParamAt(index).local, text);
    else
        getModulator(modParamAt(index).slot)->getParameterDisplay(modParamAt(index).local, text);
}

void Plugin::getParameterName(int32_t index, char* text) {
    text[0] = 0;
    if (index < 0 || index >= kNumIndices) return;
    if (engineParameterName(index, text)) return;
    char name[kTextSize];
    ModuleReadSection section(*this);
    if (isOpParam(index)) {
        auto [s, i] = opParamAt(index);
        getOperator(s)->getParameterName(i, name);
        VH_TEXT(text, "OP%d %s", s + 1, name);
    } else {
        auto [s, i] = modParamAt(index);
        getModulator(s)->getParameterName(i, name);
        VH_TEXT(text, "MOD%d %s", s + 1, name);
    }
}

void Plugin::getParameterLabel(int32_t index, char* text) {
    text[0] = 0;
    if (index == kInput || index == kOutput || inRange(index, kInToOp1, kNumRoutingGains))
        VH_TEXT(text, "dB");
    else if (index == kMix)
        VH_TEXT(text, "%%");
    else if (index == kDryDly)
        VH_TEXT(text, "smpl/ms");
    else if (index == kTempo)
        VH_TEXT(text, "bpm");
    else if (index == kMeterHold)
        VH_TEXT(text, "ms");
    else if (index == kMeterFalloff)
        VH_TEXT(text, "dB/sec");
    else if (isOpParam(index) || isModParam(index))
        moduleLabel(index, text);
}

void Plugin::getParameterDisplay(int32_t index, char* text) {
    text[0] = 0;
    if (index < 0 || index >= kNumIndices) return;
    float v = getParameter(index);
    if (index == kPower) {
        VH_TEXT(text, "%s", mMain.on() ? "on" : "off");
    } else if (index == kInput || index == kOutput) {
        levelText(mainGainOf(v), text, 0);
    } else if (index == kMix) {
        VH_TEXT(text, "%.2f", 100.0f * v);
    } else if (inRange(index, kKnob1, kNumKnobs)) {
        VH_TEXT(text, "%.1f", 100.0f * v);
    } else if (inRange(index, kOpType1, kNumOperatorSlots) || inRange(index, kModType1, kNumModulatorSlots) ||
               isOpParam(index) || isModParam(index)) {
        moduleDisplay(index, text);
    } else if (inRange(index, kSlotSens1, kNumModSlots)) {
        VH_TEXT(text, "%.1f", 200.0f * v - 100.0f);
    } else if (inRange(index, kSlotSource1, kNumModSlots)) {
        char shortName[kTextSize];
        getSourceName(index - kSlotSource1, text, shortName);
    } else if (inRange(index, kSlotDest1, kNumModSlots)) {
        getDestinationName(index - kSlotDest1, text);
    } else if (index == kDryDly) {
        int length = mMain.dryLength();
        VH_TEXT(text, "%d (%.1f ms)", length, 1000.0 * length / mSampleRate);
    } else if (inRange(index, kInToOp1, kNumRoutingGains)) {
        levelText(v * v, text, 0);
    } else if (index == kTempo) {
        if (mTransport.syncMode() == 1)
            VH_TEXT(text, "auto");
        else
            VH_TEXT(text, "%.2f", Transport::manualTempoOf(v));
    } else if (index == kPpqOffset) {
        VH_TEXT(text, "%d", static_cast<int>(16.0f * v));
    } else if (inRange(index, kOpBypass1, kNumOperatorSlots + kNumModulatorSlots)) {
        VH_TEXT(text, "%s", discreteIndex(v, 2) >= 1 ? "bypass" : "process");
    } else if (index == kOutLimiter) {
        VH_TEXT(text, "%s", OutputStage::modeName(mOutput.limiterMode()));
    } else if (index == kTempoSync) {
        int sync = mTransport.syncMode();
        VH_TEXT(text, "%s", sync == 0 ? "off" : sync == 1 ? "on" : "n/a");
    } else if (index == kOpLrMs) {
        VH_TEXT(text, "%d", discreteIndex(v, 256));
    } else if (index == kOpInv) {
        VH_TEXT(text, "%d", discreteIndex(v, 16));
    } else if (index == kSlotStatus) {
        VH_TEXT(text, "%d", discreteIndex(v, 65536));
    } else if (index == kCurrOp) {
        VH_TEXT(text, "OP%d", observe(mSession.currOp) + 1);
    } else if (index == kCurrMain) {
        VH_TEXT(text, "%s", kMainPages[observe(mSession.currMain)]);
    } else if (index == kCurrMod) {
        VH_TEXT(text, "MOD%d", observe(mSession.currMod) + 1);
    } else if (index == kMeterHold) {
        if (v >= 1.0f)
            VH_TEXT(text, "oo");
        else
            VH_TEXT(text, "%d", meterHoldMs(v));
    } else if (index == kMeterFalloff) {
        VH_TEXT(text, "%d", meterFalloffDbPerSecond(v));
    } else if (index == kReportLatency) {
        VH_TEXT(text, "%s", observe(mSession.reportLatency) ? "on" : "off");
    }
}

}  // namespace vh
