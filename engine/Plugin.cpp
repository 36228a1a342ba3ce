#include "engine/Plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <unistd.h>

#include "modules/ModuleTypes.h"

namespace vh {

namespace {
constexpr float kDefaultRate = 44100.0f;
// 2*pi*30 Hz in single precision: the main controls' one-pole smoothing.
constexpr float kTwoPiThirtyHz = 188.49556f;
}  // namespace

Plugin::ProcessLock::ProcessLock(Plugin& plugin) : mPlugin(plugin) {
    mOwned = plugin.mLockOwner.load() != std::this_thread::get_id();
    if (mOwned) {
        plugin.mProcessMutex.lock();
        plugin.mLockOwner.store(std::this_thread::get_id());
    }
}

Plugin::ProcessLock::~ProcessLock() {
    if (mOwned) {
        mPlugin.mLockOwner.store(std::thread::id());
        mPlugin.mProcessMutex.unlock();
    }
}

Plugin::Plugin(vst::HostCallback host, std::string settingsFolder)
    : AudioEffectX(host, 1, param::kNumAutomatable), mSettings(std::move(settingsFolder)) {
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
    for (auto& m : mMeters) m.store(0.0f);

    // Parameter memory starts from every type's defaults.
    mOpMemory.assign(size_t(kNumBanks) * kPresetsPerBank * kNumOperatorSlots * 64 * kOperatorParams, 0.0f);
    mModMemory.assign(size_t(kNumBanks) * kPresetsPerBank * kNumModulatorSlots * 64 * kModulatorParams, 0.0f);
    for (int type = 0; type < kNumOperatorTypes; ++type) {
        auto op = createOperator(type, 0, nullptr);
        for (int bank = 0; bank < kNumBanks; ++bank)
            for (int preset = 0; preset < kPresetsPerBank; ++preset)
                for (int slot = 0; slot < kNumOperatorSlots; ++slot)
                    for (int i = 0; i < kOperatorParams; ++i)
                        mOpMemory[(((size_t(bank) * kPresetsPerBank + preset) * kNumOperatorSlots + slot) * 64 + type) *
                                      kOperatorParams + i] = op->getParameterDefault(i);
    }
    for (int type = 0; type < kNumModulatorTypes; ++type) {
        auto mod = createModulator(type, 0, nullptr);
        for (int bank = 0; bank < kNumBanks; ++bank)
            for (int preset = 0; preset < kPresetsPerBank; ++preset)
                for (int slot = 0; slot < kNumModulatorSlots; ++slot)
                    for (int i = 0; i < kModulatorParams; ++i)
                        mModMemory[(((size_t(bank) * kPresetsPerBank + preset) * kNumModulatorSlots + slot) * 64 +
                                    type) * kModulatorParams + i] = mod->getParameterDefault(i);
    }

    for (int s = 0; s < kNumOperatorSlots; ++s) {
        mOps[s] = createOperator(kOpGain, s, this);
        mOps[s]->setSampleRate(mSampleRate);
        mOpTypeValue[s] = 0.5f / 64.0f;
        mOpBypass[s] = 0.25f;
        mOpActive[s] = Ramp(1.0f);
    }
    for (int s = 0; s < kNumModulatorSlots; ++s) {
        mMods[s] = createModulator(kModEmpty, s, this);
        mMods[s]->setSampleRate(mSampleRate);
        mModTypeValue[s] = 0.5f / 64.0f;
        mModBypass[s] = 0.25f;
        mModActive[s] = Ramp(1.0f);
    }
    noteModuleNeeds();
    for (auto& slot : mSlots) {
        slot.sourceValue = discreteValue(kSourceNone, kNumSources);
        slot.destinationValue = discreteValue(kDestinationNone, kNumDestinations);
    }
    for (float& a : mSlotActive) a = 1.0f;

    // A serial chain: input -> OP1 -> OP2 -> OP3 -> OP4 -> output.
    mMatrixBase[0] = 1.0f;
    mMatrixBase[kMatrixOpToOp + 4 * 0 + 1] = 1.0f;
    mMatrixBase[kMatrixOpToOp + 4 * 1 + 2] = 1.0f;
    mMatrixBase[kMatrixOpToOp + 4 * 2 + 3] = 1.0f;
    mMatrixBase[kMatrixOut + 3] = 1.0f;
    updateChannelModes();

    mDryL.assign(kDryRing, 0.0f);
    mDryR.assign(kDryRing, 0.0f);
    mLimiter.setSampleRate(mSampleRate);
    mLimiter.setReleaseTime(mReleaseMs);
    mSmoothing30 = onePoleCoefficient(kTwoPiThirtyHz / mSampleRate);
    mInvRate = 1.0f / mSampleRate;

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

    // The first preset sets every parameter, which creates its modules.
    applyCurrentPreset();
    applyDefaultPreferences();

    fullReset();
}

Plugin::~Plugin() {
    // The window goes first: it listens to the engine and reads its state.
    if (mOwnedEditor) {
        mOwnedEditor->close();
        setEditor(nullptr);
        mOwnedEditor.reset();
    }
    mListener.store(nullptr);
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

float& Plugin::opMemory(int slot, int type, int i) {
    size_t index = (((size_t(mStore->currentBank()) * kPresetsPerBank + mStore->currentPreset()) * kNumOperatorSlots + slot) * 64 + type) *
                       kOperatorParams + i;
    return mOpMemory[index];
}

float& Plugin::modMemory(int slot, int type, int i) {
    size_t index = (((size_t(mStore->currentBank()) * kPresetsPerBank + mStore->currentPreset()) * kNumModulatorSlots + slot) * 64 + type) *
                       kModulatorParams + i;
    return mModMemory[index];
}

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
    for (auto& op : mOps) op->setSampleRate(rate);
    for (auto& mod : mMods) mod->setSampleRate(rate);
    mLimiter.setSampleRate(rate);
    updateReportedLatency();
    mSmoothing30 = onePoleCoefficient(kTwoPiThirtyHz / rate);
    mInvRate = 1.0f / rate;
    updateDryLength();
}

// Everything that carries sound or state from before the suspend goes back
// to rest, and (settleOnCurrentSettings) every ramp to its target, so
// resuming starts clean.
void Plugin::fullReset() {
    for (int c = 0; c < 2; ++c) {
        mInputMod[c] = mInputSmoothed = mInput;
        mMixMod[c] = mMixSmoothed = mMix;
        mOutputMod[c] = mOutputSmoothed = mOutput;
    }
    std::fill(std::begin(mTapL), std::end(mTapL), 0.0f);
    std::fill(std::begin(mTapR), std::end(mTapR), 0.0f);
    for (auto& op : mOps) op->clearState();
    for (int s = 0; s < kNumModulatorSlots; ++s) {
        mModOutL[s] = mModOutR[s] = 0.0f;
        mMods[s]->clearState();
    }
    for (auto& slot : mSlots)
        for (int c = 0; c < 2; ++c) slot.sensMod[c] = slot.sensEff[c] = slot.sens;

    std::memset(mNoteHeld, 0, sizeof(mNoteHeld));
    mHeldCount = 0;
    mLastNote = 45;
    mNoteNumber = 45.0f / 127.0f;
    mNoteFreq = 0.375f;
    mNoteOn = mVelocity = mPitchBend = mAftertouch = mChannelPressure = 0.0f;
    std::memset(mControllers, 0, sizeof(mControllers));
    mPendingEvents = nullptr;
    mNumOrderedEvents = 0;

    for (auto& m : mMeters) m.store(0.0f);
    std::fill(mDryL.begin(), mDryL.end(), 0.0f);
    std::fill(mDryR.begin(), mDryR.end(), 0.0f);
    mDryPos = 0;
    mLimiter.reset();
    for (int k = 0; k < kNumKnobs; ++k) mKnobSmoothed[k] = mKnob[k];
    mSongPosition = 0.0;
    settleOnCurrentSettings();
}

// The modules and the routing aim at the current settings and stand there
// before anything plays: a resumed plug-in starts where its parameters are,
// not gliding there through its first ticks from the targets of the last
// tick before the suspend (parameters set while suspended, a new module).
void Plugin::settleOnCurrentSettings() {
    resolveSources();
    controlTick();
    for (auto& op : mOps) op->resetSmoothing();
    for (auto& mod : mMods) mod->resetSmoothing();
    for (int c = 0; c < 2; ++c) {
        mInputGain[c].snap();
        mMixGain[c].snap();
        mOutputGain[c].snap();
        for (int e = 0; e < kMatrixSize; ++e) {
            mMatrixGain[c][e] = mMatrixMod[c][e] * mMatrixMod[c][e];
            mMatrixInc[c][e] = 0.0f;
        }
    }
    mMatrixRamping = false;
    for (auto& a : mOpActive) a.snap();
    for (auto& a : mModActive) a.snap();
    refreshActiveRamping();
    mTickCounter = 0;
}

void Plugin::resetDestinationsOf(int first, int last, bool keep) {
    if (keep) return;
    float none = discreteValue(kDestinationNone, kNumDestinations);
    for (int k = 0; k < kNumModSlots; ++k) {
        ModSlot& slot = mSlots[k];
        if (slot.destination < first || slot.destination > last) continue;
        slot.destination = kDestinationNone;
        slot.destinationValue = none;
        if (!mStore->loading()) mStore->setCurrentValue(param::kSlotDest1 + k, none);
    }
}

namespace {
// Filters whose parameters line up closely enough that modulation aimed at
// one still makes sense on another.
bool isFilterType(int type) { return type >= kOpBiquad && type <= kOpEq; }
}  // namespace

// The new module is built and sized before the lock is taken, so audio
// stalls only for the swap; the old one is destroyed after the lock is gone.
void Plugin::noteModuleNeeds() {
    for (int s = 0; s < kNumOperatorSlots; ++s) mOpReadsTaps[s] = mOps[s]->readsTaps();
    for (int s = 0; s < kNumModulatorSlots; ++s) {
        mModReadsTaps[s] = mMods[s]->readsTaps();
        mModSilent[s] = mMods[s]->isSilent();
    }
}

void Plugin::replaceOperator(int slot, int type) {
    auto op = createOperator(type, slot, this);
    op->setSampleRate(mSampleRate);
    if (EngineListener* listener = mListener.load(std::memory_order_acquire))
        op->setModulationPreview(listener->modulationPreviewMode());
    {
        ProcessLock lock(*this);
        int first = 3 + 16 * slot;
        resetDestinationsOf(first, first + 15, isFilterType(mOpType[slot]) && isFilterType(type));
        if (op->sampleRate() != mSampleRate) op->setSampleRate(mSampleRate);
        std::swap(mOps[slot], op);
        mOpType[slot] = type;
        noteModuleNeeds();
    }
    mRetiredOps[slot] = std::move(op);
}

void Plugin::replaceModulator(int slot, int type) {
    auto mod = createModulator(type, slot, this);
    mod->setSampleRate(mSampleRate);
    if (EngineListener* listener = mListener.load(std::memory_order_acquire))
        mod->setModulationPreview(listener->modulationPreviewMode());
    {
        ProcessLock lock(*this);
        int first = 67 + 38 * slot;
        resetDestinationsOf(first, first + 37, false);
        if (mod->sampleRate() != mSampleRate) mod->setSampleRate(mSampleRate);
        std::swap(mMods[slot], mod);
        mModType[slot] = type;
        noteModuleNeeds();
    }
    mRetiredMods[slot] = std::move(mod);
}

void Plugin::restoreRememberedParameters(bool modulatorSlot, int slot) {
    if (slot < 0 || slot > 3) return;
    if (modulatorSlot) {
        for (int i = 0; i < kModulatorParams; ++i)
            setParameter(param::modParam(slot, i), modMemory(slot, mModType[slot], i));
    } else {
        for (int i = 0; i < kOperatorParams; ++i)
            setParameter(param::opParam(slot, i), opMemory(slot, mOpType[slot], i));
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
    for (int i = 0; i < 4; ++i) peaks[i] = mMeters[i].exchange(0.0f, std::memory_order_relaxed);
}

bool Plugin::isModulatable(int slot, int index) {
    if (slot < 0 || slot > 3) return false;
    return mOps[slot]->isModulatable(index);
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
