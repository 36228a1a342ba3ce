#include "engine/Plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <ctime>
#include <type_traits>
#include <utility>
#include <unistd.h>

#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"

namespace vh {

namespace {
constexpr float kDefaultRate = 44100.0f;

// Every type's parameter defaults, row by row. Only the types that exist
// have rows: a type number without a class installs an empty module whose
// parameters read 0 and are not remembered.
template <class Create>
std::vector<float> typeDefaults(int types, int params, Create create) {
    std::vector<float> defaults(std::size_t(types) * params);
    for (int type = 0; type < types; ++type) {
        auto module = create(type, 0, nullptr);
        for (int i = 0; i < params; ++i) defaults[std::size_t(type) * params + i] = module->getParameterDefault(i);
    }
    return defaults;
}
constexpr int kNumRecords = kNumBanks * kPresetsPerBank;

std::int64_t threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}
}  // namespace

Plugin::ProcessLock::ProcessLock(Plugin& plugin, Mode mode) : mPlugin(plugin) {
    mOwned = plugin.mLockOwner.load() != std::this_thread::get_id();
    mHeld = true;
    if (mOwned) {
        if (mode == kTry)
            mOwned = mHeld = plugin.mProcessMutex.try_lock();
        else
            plugin.mProcessMutex.lock();
    }
    mTimed = mOwned && mode != kAudioLoop;
    if (mOwned) {
        plugin.mLockOwner.store(std::this_thread::get_id());
        plugin.applyQueuedParameters();
    }
    if (mTimed) mStartNs = threadCpuNs();
}

Plugin::ProcessLock::~ProcessLock() {
    if (mTimed) {
        std::int64_t held = threadCpuNs() - mStartNs;
        std::int64_t longest = mPlugin.mLongestHoldNs.load(std::memory_order_relaxed);
        while (held > longest && !mPlugin.mLongestHoldNs.compare_exchange_weak(longest, held, std::memory_order_relaxed)) {
        }
    }
    if (mOwned) {
        mPlugin.mLockOwner.store(std::thread::id());
        mPlugin.mProcessMutex.unlock();
    }
}

Plugin::Plugin(vst::HostCallback host, std::string settingsFolder)
    : AudioEffectX(host, 1, param::kNumAutomatable),
      mOperators(ParameterMemory(kNumRecords, kNumOperatorSlots, kNumOperatorTypes, kOperatorParams,
                                 typeDefaults(kNumOperatorTypes, kOperatorParams, createOperator))),
      mModulators(ParameterMemory(kNumRecords, kNumModulatorSlots, kNumModulatorTypes, kModulatorParams,
                                  typeDefaults(kNumModulatorTypes, kModulatorParams, createModulator))),
      mSettings(std::move(settingsFolder)) {
    setNumInputs(4);
    setNumOutputs(2);
    setUniqueID(kUniqueId);
    canProcessReplacing();
    canDoubleReplacing();
    programsAreChunks();
    // The stored values beyond the host's parameters have names and texts too.
    setNumDescribedParameters(param::kNumIndices);
    mSampleRate = kDefaultRate;

    for (auto& cc : mCcAssign) cc.store(-1);

    mCreatorThread = std::this_thread::get_id();
    // Every slot starts with a module that does nothing, processing.
    auto fill = [this](auto& slots, int type, auto create) {
        for (int s = 0; s < slots.kSlots; ++s) {
            slots.modules[s] = create(type, s, this);
            slots.modules[s]->setSampleRate(mSampleRate);
            slots.view[s].store(slots.modules[s].get());
            slots.typeValue[s] = discreteValue(type, kNumTypeSteps);
            slots.bypass[s] = 0.25f;
            slots.active[s] = Ramp(1.0f);
        }
    };
    fill(mOperators, kOpGain, createOperator);
    fill(mModulators, kModEmpty, createModulator);
    noteModuleNeeds();

    mMain.setSampleRate(mSampleRate);
    mOutput.setSampleRate(mSampleRate);
    mTransport.setSampleRate(mSampleRate);

    // The library: factory banks, replaced by the user's default banks.
    mStore = std::make_unique<PresetStore>();
    mStore->loadFactory();
    for (int bank = 0; bank < kNumBanks; ++bank) {
        auto image = mSettings.readBinary(setting::defaultBankName(bank).c_str(), kBankFileSize);
        if (image) mStore->loadBankImage(bank, image->data(), image->size());
    }
    mChunk.assign(kChunkSize, 0);
    char cwd[1024];
    if (getcwd(cwd, sizeof(cwd))) mCurrDir = cwd;
    if (auto dir = mSettings.readString(setting::kCurrDir, 1023)) mCurrDir = *dir;
    if (auto bank = mSettings.readString(setting::kCurrBank, 511)) mLastBankFile = *bank;
    if (auto preset = mSettings.readString(setting::kCurrPreset, 511)) mLastPresetFile = *preset;

    // Builds the modules the audio thread asks for.
    mBuilder.start([this] {
        buildRequestedModules();
        mRetired.collect();
        if (mPreferenceSaveRequested.exchange(false)) (void)savePreferencesAsDefault();
    });

    // The first preset sets every parameter, which creates its modules.
    applyCurrentPreset();
    applyDefaultPreferences();

    fullReset();
}

Plugin::~Plugin() {
    // The builder goes first: it may be asking the editor for its preview mode.
    mBuilder.stop();
    // A save asked for on the audio thread that the builder did not reach.
    if (mPreferenceSaveRequested.exchange(false)) (void)savePreferencesAsDefault();
    // Then the window: it listens to the engine and reads its state.
    if (mOwnedEditor) {
        mOwnedEditor->close();
        setEditor(nullptr);
        mOwnedEditor.reset();
    }
    mListener.store(nullptr);
    for (auto& handover : mOperators.handover) {
        delete handover.ready.load();
        delete handover.retired.load();
    }
    for (auto& handover : mModulators.handover) {
        delete handover.ready.load();
        delete handover.retired.load();
    }
    // Nothing to do about a failure here: the folders are a convenience.
    (void)mSettings.writeString(setting::kCurrDir, mCurrDir);
    (void)mSettings.writeString(setting::kCurrBank, mLastBankFile);
    (void)mSettings.writeString(setting::kCurrPreset, mLastPresetFile);
}

void Plugin::attachEditor(std::unique_ptr<vst::AEffEditor> editor) {
    if (mOwnedEditor) mOwnedEditor->close();
    mOwnedEditor = std::move(editor);
    setEditor(mOwnedEditor.get());
}

int Plugin::currentRecord() const { return mStore->currentBank() * kPresetsPerBank + mStore->currentPreset(); }

void Plugin::suspend() {
    ProcessLock lock(*this);
    fullReset();
}

void Plugin::resume() { wantEvents(1); }

void Plugin::setSampleRate(float rate) {
    // Some hosts announce 0 before the real rate; a rate we cannot use is
    // ignored, anything else is brought into the range the modules support.
    if (!(rate >= 1.0f)) return;
    if (rate < kMinSampleRate) rate = kMinSampleRate;
    if (rate > kMaxSampleRate) rate = kMaxSampleRate;
    ProcessLock lock(*this);
    mSampleRate = rate;
    mBuildRate.store(rate, std::memory_order_relaxed);
    for (auto& op : mOperators.modules) op->setSampleRate(rate);
    for (auto& mod : mModulators.modules) mod->setSampleRate(rate);
    mOutput.setSampleRate(rate);
    updateReportedLatency();
    mTransport.setSampleRate(rate);
    mMain.setSampleRate(rate);
}

// Everything that carries sound or state from before the suspend goes back
// to rest, and (settleOnCurrentSettings) every ramp to its target, so
// resuming starts clean.
void Plugin::fullReset() {
    mMain.reset();
    std::fill(std::begin(mTapL), std::end(mTapL), 0.0f);
    std::fill(std::begin(mTapR), std::end(mTapR), 0.0f);
    for (auto& op : mOperators.modules) op->clearState();
    for (int s = 0; s < kNumModulatorSlots; ++s) {
        mModOutL[s] = mModOutR[s] = 0.0f;
        mModulators.modules[s]->clearState();
    }
    mModulation.reset();

    mMidi.reset();
    mMidiQueue.clear();

    mOutput.reset();
    mTransport.reset();
    settleOnCurrentSettings();
}

// The modules and the routing aim at the current settings and stand there
// before anything plays: a resumed plug-in starts where its parameters are,
// not gliding there through its first ticks from the targets of the last
// tick before the suspend (parameters set while suspended, a new module).
void Plugin::settleOnCurrentSettings() {
    resolveSources();
    controlTick();
    for (auto& op : mOperators.modules) op->resetSmoothing();
    for (auto& mod : mModulators.modules) mod->resetSmoothing();
    mMain.settle();
    mMatrix.settle();
    for (auto& a : mOperators.active) a.snap();
    for (auto& a : mModulators.active) a.snap();
    refreshActiveRamping();
    mTickCounter = 0;
}

// A module just installed stands on its parameters at once, as if it had run
// for a while: what it derives from them (modes, rates, coefficients) holds
// from its first sample, not from its first control tick, so nothing it does
// depends on where the host's blocks begin. Modulation joins at the next
// tick. The caller holds the processing lock.
// A module with its parameters set takes the state they imply before it
// first processes.
template <class M>
void Plugin::settleModule(M& module) {
    module.setTempo(mTransport.tempo());
    module.resetModulation();
    module.update();
    module.resetSmoothing();
}

void Plugin::settleFreshModules() {
    for (int s = 0; s < kNumOperatorSlots; ++s)
        if (std::exchange(mOperators.fresh[s], false)) settleModule(*mOperators.modules[s]);
    for (int s = 0; s < kNumModulatorSlots; ++s)
        if (std::exchange(mModulators.fresh[s], false)) settleModule(*mModulators.modules[s]);
}

void Plugin::resetDestinationsOf(int first, int last, bool keep) {
    if (keep) return;
    unsigned cleared = mModulation.clearDestinations(first, last);
    if (mStore->loading()) return;
    for (int k = 0; k < kNumModSlots; ++k)
        if ((cleared >> k) & 1) mStore->setCurrentValue(param::kSlotDest1 + k, mModulation.destinationValue(k));
}

namespace {
// Filters whose parameters line up closely enough that modulation aimed at
// one still makes sense on another.
bool isFilterType(int type) { return type >= kOpBiquad && type <= kOpEq; }
}  // namespace

void Plugin::noteModuleNeeds() {
    for (int s = 0; s < kNumOperatorSlots; ++s) mOperators.readsTaps[s] = mOperators.modules[s]->readsTaps();
    for (int s = 0; s < kNumModulatorSlots; ++s) {
        mModulators.readsTaps[s] = mModulators.modules[s]->readsTaps();
        mModSilent[s] = mModulators.modules[s]->isSilent();
    }
    mModsAllSilent = mModSilent[0] && mModSilent[1] && mModSilent[2] && mModSilent[3];
}

// The two module families share the replacement machinery.
template <class M>
std::unique_ptr<M> Plugin::buildModule(int slot, int type) {
    std::unique_ptr<M> module;
    if constexpr (kIsOperator<M>)
        module = createOperator(type, slot, this);
    else
        module = createModulator(type, slot, this);
    module->setSampleRate(mBuildRate.load(std::memory_order_relaxed));
    if (EngineListener* listener = mListener.load(std::memory_order_acquire))
        module->setModulationPreview(listener->modulationPreviewMode());
    return module;
}

// Under the processing lock: the built module takes the slot and `module`
// receives the one it held. Destinations aimed into the slot are reset
// (operators keep them between the filter types, whose parameters line up).
template <class M>
void Plugin::installModule(int slot, int type, std::unique_ptr<M>& module) {
    auto& modules = slotsOf<M>().modules;
    auto& types = slotsOf<M>().type;
    auto& handover = slotsOf<M>().handover[slot];
    if constexpr (kIsOperator<M>) {
        resetDestinationsOf(destOpParam(slot, 0), destOpParam(slot, kOperatorParams - 1),
                            isFilterType(types[slot]) && isFilterType(type));
    } else {
        resetDestinationsOf(destModParam(slot, 0), destModParam(slot, kModulatorParams - 1), false);
    }
    // The rate may have changed since the module was built.
    if (module->sampleRate() != mSampleRate) module->setSampleRate(mSampleRate);
    std::swap(modules[slot], module);
    slotsOf<M>().view[slot].store(modules[slot].get());
    types[slot] = type;
    slotsOf<M>().fresh[slot] = true;
    // A change the audio thread asked for is overtaken by this one.
    handover.requested.store(-1, std::memory_order_relaxed);
    noteModuleNeeds();
}

Plugin::ModuleReadSection::ModuleReadSection(Plugin& plugin) : mPlugin(plugin) { mPlugin.mRetired.enterSection(); }

Plugin::ModuleReadSection::~ModuleReadSection() { mPlugin.mRetired.leaveSection(); }

// The new module is built and sized before the lock is taken, so audio
// stalls only for the swap; the old one is destroyed after the lock is gone.
template <class M>
void Plugin::replaceModule(int slot, int type) {
    auto module = buildModule<M>(slot, type);
    {
        ProcessLock lock(*this);
        installModule(slot, type, module);
    }
    mRetired.retire(slot, std::move(module));
}

// A thread that processes audio and is not the one that created the plug-in
// is a real-time thread. (A host that does everything on one thread, like an
// offline renderer, gets its changes at once.)
bool Plugin::onAudioThread() const {
    std::thread::id self = std::this_thread::get_id();
    return self != mCreatorThread && self == mAudioThread.load(std::memory_order_relaxed);
}

// On the audio thread: two stores and a wake-up; nothing is built here.
template <class M>
void Plugin::requestModule(int slot, int type) {
    auto& handover = slotsOf<M>().handover[slot];
    auto& types = slotsOf<M>().type;
    handover.requested.store(type == types[slot] ? -1 : type, std::memory_order_release);
    mBuilder.wake();
}

// Builder thread: destroys what came back and builds what is asked for, set
// to the slot's remembered parameters and updated as if it had run.
template <class M>
void Plugin::buildRequestedModules() {
    auto& handovers = slotsOf<M>().handover;
    for (int slot = 0; slot < std::ssize(handovers); ++slot) {
        auto& handover = handovers[slot];
        if (M* back = handover.retired.exchange(nullptr, std::memory_order_acquire))
            mRetired.retire(slot, std::unique_ptr<M>(back));
        int type = handover.requested.load(std::memory_order_acquire);
        if (type < 0 || handover.ready.load(std::memory_order_acquire) != nullptr) continue;
        auto module = buildModule<M>(slot, type);
        for (int i = 0; i < M::kCapacity; ++i) {
            float v = slotsOf<M>().memory.recall(currentRecord(), slot, type, i);
            module->setParameter(i, v);
            handover.values[i] = v;
        }
        settleModule(*module);
        handover.readyType = type;
        handover.ready.store(module.release(), std::memory_order_release);
    }
}

void Plugin::buildRequestedModules() {
    buildRequestedModules<Operator>();
    buildRequestedModules<Modulator>();
}

// Audio thread, at the start of a control tick. A slot whose module is ready
// first fades out over one tick (as a bypass does); the next tick swaps the
// modules while the slot passes its input and lets it fade in again.
template <class M>
void Plugin::switchPreparedModules() {
    auto& handovers = slotsOf<M>().handover;
    auto& active = slotsOf<M>().active;
    for (int slot = 0; slot < std::ssize(handovers); ++slot) {
        auto& handover = handovers[slot];
        M* ready = handover.ready.load(std::memory_order_acquire);
        int requested = handover.requested.load(std::memory_order_acquire);
        if (ready == nullptr) {
            if (requested < 0) handover.switching = false;
            continue;
        }
        bool stale = handover.readyType != requested || ready->sampleRate() != mSampleRate;
        if (!stale && !handover.switching) {
            handover.switching = true;
            continue;
        }
        // The builder must have collected the last module handed back.
        if (handover.retired.load(std::memory_order_acquire) != nullptr) continue;
        if (stale) {
            handover.ready.store(nullptr, std::memory_order_release);
            handover.retired.store(ready, std::memory_order_release);
            mBuilder.wake();
            continue;
        }
        std::unique_ptr<M> module(ready);
        active[slot].snap();
        installModule(slot, handover.readyType, module);
        slotsOf<M>().fresh[slot] = false;  // the builder settled it
        handover.switching = false;

        auto& mirror = slotsOf<M>().mirror[slot];
        EngineListener* listener = mListener.load(std::memory_order_acquire);
        const int typeIndex = (kIsOperator<M> ? param::kOpType1 : param::kModType1) + slot;
        for (int i = 0; i < M::kCapacity; ++i) {
            int index = (kIsOperator<M> ? param::opParam(slot, i) : param::modParam(slot, i));
            std::atomic_ref<float>(mirror[i]).store(handover.values[i], std::memory_order_relaxed);
            mStore->setCurrentValue(index, handover.values[i]);
            if (listener) listener->parameterChanged(index, handover.values[i]);
        }
        // Only now may the builder reuse readyType and values for the next module.
        handover.ready.store(nullptr, std::memory_order_release);
        handover.retired.store(module.release(), std::memory_order_release);
        mBuilder.wake();
        if (listener) listener->parameterChanged(typeIndex, getParameter(typeIndex));
    }
}


void Plugin::switchPreparedModules() {
    switchPreparedModules<Operator>();
    switchPreparedModules<Modulator>();
}

// Used by the parameter path and the preset loader.
#define VH_INSTANTIATE(M)                                                                \
    template std::unique_ptr<M> Plugin::buildModule<M>(int, int);                        \
    template void Plugin::installModule<M>(int, int, std::unique_ptr<M>&);               \
    template void Plugin::replaceModule<M>(int, int);                                    \
    template void Plugin::requestModule<M>(int, int);                                    \
    template void Plugin::settleModule<M>(M&);
VH_INSTANTIATE(Operator)
VH_INSTANTIATE(Modulator)
#undef VH_INSTANTIATE

void Plugin::restoreRememberedParameters(bool modulatorSlot, int slot) {
    if (slot < 0 || slot > 3) return;
    const int record = currentRecord();
    if (modulatorSlot) {
        for (int i = 0; i < kModulatorParams; ++i)
            setParameter(param::modParam(slot, i), mModulators.memory.recall(record, slot, mModulators.type[slot], i));
    } else {
        for (int i = 0; i < kOperatorParams; ++i)
            setParameter(param::opParam(slot, i), mOperators.memory.recall(record, slot, mOperators.type[slot], i));
    }
}

void Plugin::setProgramName(const char* name) {
    if (name == nullptr) return;
    mStore->setName(mStore->currentBank(), mStore->currentPreset(), name);
    if (EngineListener* listener = mListener.load(std::memory_order_acquire)) listener->refresh();
}

void Plugin::getProgramName(char* name) { copyText(name, kPresetNameLength + 1, mStore->currentName()); }

int32_t Plugin::canDo(const char* text) {
    if (text && std::strcmp(text, "receiveVstMidiEvent") == 0) return canHostDo("sendVstMidiEvent") == 1 ? 1 : 0;
    return 0;
}

void Plugin::readMeters(float peaks[4]) {
    mOutput.takeMeters(peaks);
}

bool Plugin::isModulatable(int slot, int index) {
    if (slot < 0 || slot > 3) return false;
    ModuleReadSection section(*this);
    return getOperator(slot)->isModulatable(index);
}

int Plugin::getCcAssignment(int entry) const {
    return (entry >= 0 && entry < kNumCcAssignments) ? mCcAssign[entry].load(std::memory_order_relaxed) : -1;
}

void Plugin::setCcAssignment(int entry, int controller) {
    if (entry < 0 || entry >= kNumCcAssignments) return;
    if (controller < -1 || controller > 127) controller = -1;
    mCcAssign[entry].store(controller, std::memory_order_relaxed);
}

}  // namespace vh
