#pragma once
// The engine: the host-facing object that composes the parts (main section,
// routing matrix, channel modes, the two module families, output stage,
// modulation slots, MIDI, transport, preset store) and answers the host.
// The audio loop (AudioLoop.cpp) runs the parts' per-sample steps in order;
// the control tick (Modulation.cpp) lets the slots move the parts' values.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "engine/ChannelModes.h"
#include "engine/EngineListener.h"
#include "engine/MainSection.h"
#include "engine/MidiQueue.h"
#include "engine/MidiState.h"
#include "engine/ModulationSlots.h"
#include "engine/ModuleSlots.h"
#include "engine/OutputStage.h"
#include "engine/ParameterMemory.h"
#include "engine/ParameterQueue.h"
#include "engine/PresetStore.h"
#include "engine/RetiredModules.h"
#include "engine/RoutingMatrix.h"
#include "engine/SessionSettings.h"
#include "engine/Transport.h"
#include "engine/WorkerThread.h"
#include "modules/Module.h"
#include "modules/ParameterLayout.h"
#include "modules/Ramp.h"
#include "platform/SettingsStore.h"
#include "vst/AEffEditor.h"
#include "vst/AudioEffect.h"

namespace vh {

constexpr int32_t kUniqueId = vst::fourCharacters('V', 'R', 'H', 'X');
constexpr int32_t kVendorVersion = 0x01000000;
constexpr float kMinSampleRate = 8000.0f;
constexpr float kMaxSampleRate = 384000.0f;

// Vendor-specific calls (effVendorSpecific with index kVendorCommand) through
// which the command-line host reaches the preset library.
constexpr int32_t kVendorCommand = kUniqueId;
enum VendorCall : intptr_t {
    kVendorSelectPreset = 1,   // ptr: int32_t[2] {bank, preset}
    kVendorGetPresetName,      // ptr: VendorPresetName
    kVendorLoadPresetFile,     // ptr: path
    kVendorSavePresetFile,     // ptr: path
    kVendorLoadBankFile,       // ptr: VendorBankFile
    kVendorSaveBankFile,       // ptr: VendorBankFile
    kVendorCopyPreset,
    kVendorPastePreset,
    kVendorSaveDefaultBank,    // ptr: int32_t bank
    kVendorRemoveDefaultBank,  // ptr: int32_t bank
    kVendorGetSelection,       // ptr: int32_t[2] receives {bank, preset}
    kVendorEditorScreenshot,   // ptr: path of the PNG to write
};
struct VendorPresetName {
    int32_t bank;
    int32_t preset;
    char name[32];
};
struct VendorBankFile {
    int32_t bank;
    const char* path;
};

class Plugin final : public vst::AudioEffectX, public ModuleHost {
public:
    // User settings come from `settingsFolder`, by default the user's.
    explicit Plugin(vst::HostCallback host, std::string settingsFolder = SettingsStore::userFolder());
    ~Plugin() override;

    // --- host adapter -------------------------------------------------------
    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;
    void processReplacing(float** inputs, float** outputs, int32_t frames) override;
    void processDoubleReplacing(double** inputs, double** outputs, int32_t frames) override;
    int32_t getProgram() override { return 0; }
    void setProgramName(const char* name) override;
    void getProgramName(char* name) override;
    int32_t processEvents(vst::VstEvents* events) override;
    int32_t canDo(const char* text) override;
    int32_t getVendorVersion() override { return kVendorVersion; }
    intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) override;
    int32_t getChunk(void** data, bool isPreset) override;
    int32_t setChunk(void* data, int32_t size, bool isPreset) override;
    bool setProcessPrecision(int32_t) override { return true; }

    // --- parameters ---------------------------------------------------------
    void setParameter(int32_t index, float value) override;
    float getParameter(int32_t index) override;
    void getParameterName(int32_t index, char* text) override;
    void getParameterLabel(int32_t index, char* text) override;
    void getParameterDisplay(int32_t index, char* text) override;
    bool canParameterBeAutomated(int32_t index) override { return index >= 0 && index < param::kNumAutomatable; }
    // Re-sends the remembered values of the slot's current type (after the
    // editor changed the type).
    void restoreRememberedParameters(bool modulatorSlot, int slot);

    // --- ModuleHost ---------------------------------------------------------
    void automateParameter(int globalIndex, float value) override { setParameterAutomated(globalIndex, value); }
    void setParameterPlain(int globalIndex, float value) override { setParameter(globalIndex, value); }

    // --- modulation ---------------------------------------------------------
    // Long and short names of a source; "error" for a slot above 15.
    void getSourceName(int slot, char* longName, char* shortName);
    void getDestinationName(int slot, char* text);
    void getKnobName(int knob, char* text);
    void setLearnTarget(int target) { mLearnTarget.store(target, std::memory_order_relaxed); }
    int getLearnTarget() const { return mLearnTarget.load(std::memory_order_relaxed); }
    int getCcAssignment(int entry) const;
    void setCcAssignment(int entry, int controller);

    // --- preset library ------------------------------------------------------
    int currentBank() const { return mStore->currentBank(); }
    int currentPreset() const { return mStore->currentPreset(); }
    // Applies preset p (0..63) of the current bank; out of range: ignored.
    void selectPreset(int preset);
    void selectBank(int bank) { mStore->selectBank(bank); }
    void getPresetName(int bank, int preset, char* out) const { mStore->getName(bank, preset, out); }
    void setPresetName(int bank, int preset, const char* name);
    // File operations answer whether they succeeded; a refused file changes nothing.
    bool loadPresetFile(const std::string& path);
    bool savePresetFile(const std::string& path);
    bool loadBankFile(int bank, const std::string& path);
    bool saveBankFile(int bank, const std::string& path);
    bool copyPreset();
    bool pastePreset();
    bool saveDefaultBank(int bank);
    // The global settings (tempo lock, manual tempo, song position offset,
    // limiter mode, latency reporting, meter hold and fall-off) as the
    // defaults of new instances.
    bool savePreferencesAsDefault();
    bool removeDefaultBank(int bank);
    const std::string& currentDirectory() const { return mCurrDir; }
    const std::string& lastBankFile() const { return mLastBankFile; }
    const std::string& lastPresetFile() const { return mLastPresetFile; }

    // --- editor services ----------------------------------------------------
    // The plug-in owns its editor; the composition root builds it.
    void attachEditor(std::unique_ptr<vst::AEffEditor> editor);
    // Read by the audio thread (MIDI learn, knobs), set by the editor thread.
    void setListener(EngineListener* listener) { mListener.store(listener, std::memory_order_release); }
    // Reads the four meter peaks (input L/R, output L/R) and clears them.
    void readMeters(float peaks[4]);
    float getCurrentTempoValue() const { return (mTransport.tempo() - 30.0f) / 270.0f; }
    bool isModulatable(int slot, int index);
    // The editor and the host's text queries read modules on their own
    // threads while the audio thread may replace them. A replaced module is
    // destroyed only while no reading section is open, so a module found
    // through getOperator or getModulator inside a section stays alive until
    // the section closes. Sections are short: one editor step, one text.
    class ModuleReadSection {
    public:
        explicit ModuleReadSection(Plugin& plugin);
        ~ModuleReadSection();
        ModuleReadSection(const ModuleReadSection&) = delete;
        ModuleReadSection& operator=(const ModuleReadSection&) = delete;

    private:
        Plugin& mPlugin;
    };
    Operator* getOperator(int slot) {
        return (slot >= 0 && slot < kNumOperatorSlots) ? mOperators.view[slot].load() : nullptr;
    }
    Modulator* getModulator(int slot) {
        return (slot >= 0 && slot < kNumModulatorSlots) ? mModulators.view[slot].load() : nullptr;
    }
    int limiterLatency() const { return mOutput.lookahead(); }
    // The longest time another thread held the processing lock since the
    // last call, in nanoseconds of its processor time (how long audio could
    // have waited on an idle machine).
    std::int64_t takeLongestLockHoldNs() { return mLongestHoldNs.exchange(0, std::memory_order_relaxed); }
    // Writes the 24 matrix gains of predefined routing r (0..10), not as
    // host automation: choosing a routing is one gesture, not 24 edits.
    void applyPredefinedRouting(int r);
    // The dry delay in samples a DryDly value means at the current rate.
    int dryDelaySamples(float value) const { return MainSection::dryDelayLength(value, mSampleRate); }
    // The DryDly value of a delay of `samples` at the current rate.
    float dryDelayValue(int samples) const { return MainSection::dryDelayValue(samples, mSampleRate); }

private:
    template <typename Sample>
    void processBlock(Sample** inputs, Sample** outputs, int32_t frames);
    void readTransport(int32_t frames);
    void moduleLabel(int32_t index, char* text);
    void moduleDisplay(int32_t index, char* text);
    // Per-sample stages of the audio loop, in the order they run.
    void smoothControls();
    void noteControlsSettled();
    void noteActiveFactors();
    void noteSkippableWork();
    void runModulators();
    void advanceRamps();
    // Routes the input and last sample's operator outputs into the four
    // operators, runs them and returns the wet sums of this sample.
    void runOperators(float xL, float xR, float& wetL, float& wetR);
    // Whether any active-factor ramp still moves; refreshed wherever their
    // increments change, so a settled crossfade costs nothing per sample.
    void refreshActiveRamping();
    void controlTick();
    void resolveSources();
    void applyMidi(const unsigned char* midiData);
    void handleController(int controller, int value);

    // Module replacement. Off the audio thread a module is built (`buildModule`)
    // before the lock and only swapped in under it (`installModule`). On the
    // audio thread a type change is a request: the builder thread prepares
    // the module, and a control tick fades the slot out, swaps, fades it in.
    template <class M>
    std::unique_ptr<M> buildModule(int slot, int type);
    template <class M>
    void installModule(int slot, int type, std::unique_ptr<M>& module);
    template <class M>
    void replaceModule(int slot, int type);
    template <class M>
    void requestModule(int slot, int type);
    template <class M>
    void buildRequestedModules();
    template <class M>
    void switchPreparedModules();
    void buildRequestedModules();
    void switchPreparedModules();
    bool onAudioThread() const;
    // Applies the 416 values of a preset with its new modules built first.
    void applyPresetValues(const float* values, bool storeLoading);
    void resetDestinationsOf(int first, int last, bool keep);
    void fullReset();
    void settleOnCurrentSettings();
    void settleFreshModules();
    template <class M>
    void settleModule(M& module);
    void noteModuleNeeds();
    void updateReportedLatency();

    // Holds the processing lock unless this thread already does (a preset
    // being applied replaces modules from inside the lock). Holds by anything
    // but the audio loop are timed (in the holder's processor time, so that
    // a holder preempted on a busy machine does not count): each one is
    // audio waiting.
    // Whoever takes it first applies the parameter changes queued meanwhile.
    class ProcessLock {
    public:
        enum Mode { kWait, kAudioLoop, kTry };
        explicit ProcessLock(Plugin& plugin, Mode mode = kWait);
        ~ProcessLock();
        // Whether this thread holds the lock (kTry may fail).
        bool held() const { return mHeld; }

    private:
        Plugin& mPlugin;
        bool mOwned;
        bool mHeld;
        bool mTimed;
        std::int64_t mStartNs = 0;
    };
    // The effects of setParameter, on a thread that may touch the engine.
    void applyParameter(int32_t index, float value);
    template <class M>
    bool applyModuleType(int slot, float value);
    template <class M>
    void applyModuleParameter(int slot, int i, float value);
    void applyQueuedParameters();
    void applyPendingChanges();

    // Preset library and files.
    // The parameter memory's record of the current preset.
    int currentRecord() const;
    void applyCurrentPreset();
    void applyDefaultPreferences();
    // Stores the preferences as defaults: at once, or from the builder
    // thread when asked on the audio thread, which must not write files.
    void requestPreferenceSave();
    bool applyPresetImage(const void* data, std::size_t size);
    void rememberFile(const std::string& path, std::string& lastName);

    // --- the parts ----------------------------------------------------------
    // Along the signal path, then what drives it.
    MainSection mMain;            // input gain, dry delay, mix, output gain
    RoutingMatrix mMatrix;        // the input and the operators into the operators and out
    ChannelModes mChannels;       // left/right or mid/side per operator, polarity
    ModuleSlots<Operator, kNumOperatorSlots> mOperators;
    ModuleSlots<Modulator, kNumModulatorSlots> mModulators;
    OutputStage mOutput;          // finite output, limiter, meters
    ModulationSlots mModulation;  // the sixteen slots and the knobs
    MidiQueue mMidiQueue;         // this block's MIDI
    MidiState mMidi;              // what MIDI left for the sources
    Transport mTransport;         // tempo and song position
    SessionSettings mSession;     // window and session settings outside presets
    // The preset library; its current preset mirrors every parameter write.
    std::unique_ptr<PresetStore> mStore;

    // The module family of type M.
    template <class M>
    auto& slotsOf() {
        return byFamily<M>(mOperators, mModulators);
    }

    // --- the audio loop's own state --------------------------------------------
    // Signals of the current sample. The tap arrays are also where the
    // operator outputs and wet sums live from one sample to the next
    // ([kTapOp1..] and [kTapWetSum]), so they are never copied; one spare lane
    // keeps vector stores inside the array.
    alignas(16) float mModOutL[kNumModulatorSlots] = {};
    alignas(16) float mModOutR[kNumModulatorSlots] = {};
    alignas(16) float mTapL[kNumTaps + 1] = {};
    alignas(16) float mTapR[kNumTaps + 1] = {};
    int mTickCounter = 0;
    // Which modulators are silent, read once at installation (noteModuleNeeds).
    bool mModSilent[kNumModulatorSlots] = {};
    bool mModsAllSilent = false;
    // Whether the modulator outputs may hold anything but 0.
    bool mModOutsLive = true;
    // Per-sample work left out while it would change nothing
    // (noteSkippableWork): smoothing, operators (bit s: slot s is called),
    // the active-factor ramps.
    bool mControlsSettled = false;
    unsigned mOpsRunning = 0xF;
    bool mActiveRamping = false;

    // --- threads ---------------------------------------------------------------------
    std::mutex mProcessMutex;
    std::atomic<std::thread::id> mLockOwner{};
    std::atomic<std::int64_t> mLongestHoldNs{0};
    ParameterQueue mParameterQueue;
    std::atomic<std::thread::id> mAudioThread{};
    std::thread::id mCreatorThread;
    // Builds the modules the audio thread asks for, destroys the ones it
    // hands back, saves what it may not.
    WorkerThread mBuilder;
    std::atomic<float> mBuildRate{44100.0f};
    std::atomic<bool> mPreferenceSaveRequested{false};
    RetiredModules mRetired{mBuilder};
    // During a preset load: slots (bit s operators, 4 + s modulators) whose
    // new module already holds the preset's parameters.
    int mPreparedSlots = 0;

    // --- host and window ------------------------------------------------------------
    std::unique_ptr<vst::AEffEditor> mOwnedEditor;
    std::atomic<EngineListener*> mListener{nullptr};
    std::atomic<int> mCcAssign[kNumCcAssignments];
    std::atomic<int> mLearnTarget{0};
    std::vector<std::uint8_t> mChunk;
    SettingsStore mSettings;
    std::string mCurrDir, mLastBankFile, mLastPresetFile;
};

}  // namespace vh
