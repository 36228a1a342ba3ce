// The engine's side of the preset library: applying presets, the host's
// state chunk, preset and bank files, the clipboard and default banks.

#include <cstring>
#include <iterator>
#include <type_traits>

#include "engine/Plugin.h"
#include "modules/ModuleTypes.h"
#include "platform/FileIo.h"

namespace vh {

// A preset's values as one step for the audio thread, in ascending index
// order so every slot's type is set before its module's parameters. The
// modules whose type changes are built, given the preset's parameters and
// settled first, without the lock; under it they are only swapped in and the
// values stored. A selected preset (`selected`) also starts the operators from
// silence.
void Plugin::applyPresetValues(const float* values, bool selected) {
    std::unique_ptr<Operator> ops[kNumOperatorSlots];
    std::unique_ptr<Modulator> mods[kNumModulatorSlots];
    int opTypes[kNumOperatorSlots], modTypes[kNumModulatorSlots];
    // Each slot whose type the preset changes gets its module built and set
    // here, before the lock.
    auto buildChanged = [&](auto& built, int* types, int firstTypeIndex, const auto& current,
                            int (*globalIndex)(int, int)) {
        using M = typename std::remove_reference_t<decltype(built[0])>::element_type;
        for (int s = 0; s < std::ssize(built); ++s) {
            types[s] = discreteIndex(sanitizeUnit(values[firstTypeIndex + s]), kNumTypeSteps);
            if (types[s] == current[s]) continue;
            built[s] = buildModule<M>(s, types[s]);
            for (int i = 0; i < M::kCapacity; ++i) built[s]->setParameter(i, sanitizeUnit(values[globalIndex(s, i)]));
            settleModule(*built[s]);
        }
    };
    buildChanged(ops, opTypes, param::kOpType1, mOperators.type, param::opParam);
    buildChanged(mods, modTypes, param::kModType1, mModulators.type, param::modParam);
    {
        ProcessLock lock(*this);
        if (selected) mStore->setLoading(true);
        // Another thread may have changed a type meanwhile; such a slot is
        // replaced the ordinary way by its type value below.
        for (int s = 0; s < kNumOperatorSlots; ++s) {
            if (!ops[s] || opTypes[s] == mOperators.type[s]) continue;
            installModule(s, opTypes[s], ops[s]);
            mOperators.fresh[s] = false;  // settled above, outside the lock
            mPreparedSlots |= 1 << s;
        }
        for (int s = 0; s < kNumModulatorSlots; ++s) {
            if (!mods[s] || modTypes[s] == mModulators.type[s]) continue;
            installModule(s, modTypes[s], mods[s]);
            mModulators.fresh[s] = false;
            mPreparedSlots |= 1 << (kNumOperatorSlots + s);
        }
        for (int i = 0; i < param::kNumPresetValues; ++i) setParameter(i, values[i]);
        mPreparedSlots = 0;
        settleFreshModules();
        if (selected) {
            mStore->setLoading(false);
            for (int s = 0; s < kNumOperatorSlots; ++s) mTapL[kTapOp1 + s] = mTapR[kTapOp1 + s] = 0.0f;
        }
    }
    // The replaced modules (or prepared ones a concurrent change made
    // useless) go after the lock is released.
    for (int s = 0; s < kNumOperatorSlots; ++s)
        if (ops[s]) mRetired.retire(s, std::move(ops[s]));
    for (int s = 0; s < kNumModulatorSlots; ++s)
        if (mods[s]) mRetired.retire(s, std::move(mods[s]));
}

void Plugin::applyCurrentPreset() {
    // Every setParameter writes back into the same record, so work on a copy.
    float values[param::kNumPresetValues];
    mStore->copyValues(mStore->currentBank(), mStore->currentPreset(), values);
    applyPresetValues(values, true);
    updateDisplay();
    if (EngineListener* listener = mListener.load(std::memory_order_acquire)) listener->refresh();
}

void Plugin::selectPreset(int preset) {
    if (preset < 0 || preset >= kPresetsPerBank) return;
    mStore->selectPreset(preset);
    applyCurrentPreset();
}

void Plugin::setPresetName(int bank, int preset, const char* name) {
    mStore->setName(bank, preset, name);
    // The current preset's name is the host's program name.
    if (bank == mStore->currentBank() && preset == mStore->currentPreset()) updateDisplay();
    if (EngineListener* listener = mListener.load(std::memory_order_acquire)) listener->refresh();
}

// Changes still queued for the audio thread belong in what is saved: taking
// the lock applies them (and is released before the slow part).
void Plugin::applyPendingChanges() { ProcessLock lock(*this); }

int32_t Plugin::getChunk(void** data, bool) {
    applyPendingChanges();
    int32_t cc[kNumCcAssignments];
    for (int e = 0; e < kNumCcAssignments; ++e) cc[e] = getCcAssignment(e);
    mStore->writeChunk(cc, mChunk.data());
    *data = mChunk.data();
    return static_cast<int32_t>(mChunk.size());
}

int32_t Plugin::setChunk(void* data, int32_t size, bool) {
    if (data == nullptr || size <= 0) return -1;
    auto content = std::make_unique<ChunkContent>();
    if (readChunk(data, static_cast<std::size_t>(size), *content) != ReadStatus::kOk) return -1;
    {
        ProcessLock lock(*this);
        mStore->takeChunk(*content);
        for (int e = 0; e < kNumCcAssignments; ++e) setCcAssignment(e, content->ccAssignments[e]);
    }
    // Applied even when the chunk's selection was out of range and the old
    // selection stayed: the engine must follow the new store's copy.
    applyCurrentPreset();
    return 0;
}

// A preset-file image (a file or the clipboard) becomes the current preset:
// its name, then its values through the ordinary parameter path.
bool Plugin::applyPresetImage(const void* data, std::size_t size) {
    PresetRecord record;
    if (readPresetFile(data, size, record) != ReadStatus::kOk) return false;
    mStore->setName(mStore->currentBank(), mStore->currentPreset(), record.name);
    updateDisplay();
    applyPresetValues(record.values, false);
    if (EngineListener* listener = mListener.load(std::memory_order_acquire)) listener->refresh();
    return true;
}

void Plugin::rememberFile(const std::string& path, std::string& lastName) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        lastName = path;
    } else {
        mCurrDir = path.substr(0, slash == 0 ? 1 : slash);
        lastName = path.substr(slash + 1);
    }
}

bool Plugin::loadPresetFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (!readFileUpTo(path, kPresetFileSize, bytes)) return false;
    if (!applyPresetImage(bytes.data(), bytes.size())) return false;
    rememberFile(path, mLastPresetFile);
    return true;
}

bool Plugin::savePresetFile(const std::string& path) {
    applyPendingChanges();
    float values[param::kNumPresetValues];
    for (int i = 0; i < param::kNumPresetValues; ++i) values[i] = getParameter(i);
    std::vector<std::uint8_t> bytes(kPresetFileSize);
    writePresetFile(mStore->currentName(), values, bytes.data());
    if (!writeFileAtomically(path, bytes.data(), bytes.size())) return false;
    rememberFile(path, mLastPresetFile);
    return true;
}

bool Plugin::loadBankFile(int bank, const std::string& path) {
    if (bank < 0 || bank >= kNumBanks) return false;
    std::vector<std::uint8_t> bytes;
    if (!readFileUpTo(path, kBankFileSize, bytes)) return false;
    if (!mStore->loadBankImage(bank, bytes.data(), bytes.size())) return false;
    rememberFile(path, mLastBankFile);
    if (bank == mStore->currentBank()) selectPreset(0);
    if (EngineListener* listener = mListener.load(std::memory_order_acquire)) listener->refresh();
    return true;
}

bool Plugin::saveBankFile(int bank, const std::string& path) {
    if (bank < 0 || bank >= kNumBanks) return false;
    std::vector<std::uint8_t> bytes(kBankFileSize);
    mStore->writeBankImage(bank, bytes.data());
    if (!writeFileAtomically(path, bytes.data(), bytes.size())) return false;
    rememberFile(path, mLastBankFile);
    return true;
}

bool Plugin::copyPreset() {
    applyPendingChanges();
    float values[param::kNumPresetValues];
    for (int i = 0; i < param::kNumPresetValues; ++i) values[i] = getParameter(i);
    std::vector<std::uint8_t> bytes(kPresetFileSize);
    writePresetFile(mStore->currentName(), values, bytes.data());
    return mSettings.writeBinary(setting::kClipboard, bytes.data(), bytes.size());
}

bool Plugin::pastePreset() {
    auto bytes = mSettings.readBinary(setting::kClipboard, kPresetFileSize);
    return bytes && applyPresetImage(bytes->data(), bytes->size());
}

bool Plugin::saveDefaultBank(int bank) {
    if (bank < 0 || bank >= kNumBanks) return false;
    std::vector<std::uint8_t> bytes(kBankFileSize);
    mStore->writeBankImage(bank, bytes.data());
    return mSettings.writeBinary(setting::defaultBankName(bank).c_str(), bytes.data(), bytes.size());
}

bool Plugin::removeDefaultBank(int bank) {
    if (bank < 0 || bank >= kNumBanks) return false;
    return mSettings.remove(setting::defaultBankName(bank).c_str());
}

namespace {
// The preferences kept as defaults, by parameter index.
constexpr int kPreferenceIndices[] = {param::kTempoSync, param::kTempo, param::kPpqOffset,
                                      param::kOutLimiter, param::kMeterHold, param::kMeterFalloff,
                                      param::kReportLatency};
constexpr const char* kPreferencesSetting = "Preferences";
}  // namespace

// Stored as readable "index=value" lines, one per preference.
bool Plugin::savePreferencesAsDefault() {
    applyPendingChanges();
    std::string text;
    for (int index : kPreferenceIndices) {
        char line[kTextSize];
        VH_TEXT(line, "%d=%.9g\n", index, getParameter(index));
        text += line;
    }
    return mSettings.writeString(kPreferencesSetting, text);
}

void Plugin::requestPreferenceSave() {
    if (!onAudioThread()) {
        (void)savePreferencesAsDefault();
        return;
    }
    mPreferenceSaveRequested.store(true);
    mBuilder.wake();
}

// A new instance takes the stored preferences over the first preset's. Each
// line is checked: only the known indices, values read as host input.
void Plugin::applyDefaultPreferences() {
    auto text = mSettings.readString(kPreferencesSetting, 1024);
    if (!text) return;
    const char* p = text->c_str();
    while (*p) {
        const char* end = nullptr;
        double index = 0, value = 0;
        if (parseNumber(p, index, &end) && *end == '=' && parseNumber(end + 1, value, &end)) {
            for (int known : kPreferenceIndices)
                if (index == known) setParameter(known, static_cast<float>(value));
        }
        const char* next = std::strchr(p, '\n');
        if (!next) break;
        p = next + 1;
    }
}

intptr_t Plugin::vendorSpecific(int32_t index, intptr_t value, void* ptr, float) {
    if (index != kVendorCommand) return 0;
    auto* ints = static_cast<int32_t*>(ptr);
    auto* path = static_cast<const char*>(ptr);
    switch (value) {
        case kVendorSelectPreset:
            if (!ints || ints[0] < 0 || ints[0] >= kNumBanks || ints[1] < 0 || ints[1] >= kPresetsPerBank) return 0;
            selectBank(ints[0]);
            selectPreset(ints[1]);
            return 1;
        case kVendorGetSelection:
            if (!ints) return 0;
            ints[0] = currentBank();
            ints[1] = currentPreset();
            return 1;
        case kVendorGetPresetName: {
            auto* request = static_cast<VendorPresetName*>(ptr);
            if (!request || request->bank < 0 || request->bank >= kNumBanks || request->preset < 0 ||
                request->preset >= kPresetsPerBank)
                return 0;
            getPresetName(request->bank, request->preset, request->name);
            return 1;
        }
        case kVendorLoadPresetFile: return path && loadPresetFile(path) ? 1 : 0;
        case kVendorSavePresetFile: return path && savePresetFile(path) ? 1 : 0;
        case kVendorLoadBankFile:
        case kVendorSaveBankFile: {
            auto* request = static_cast<VendorBankFile*>(ptr);
            if (!request || !request->path) return 0;
            bool ok = value == kVendorLoadBankFile ? loadBankFile(request->bank, request->path)
                                                   : saveBankFile(request->bank, request->path);
            return ok ? 1 : 0;
        }
        case kVendorEditorScreenshot: return path && getEditor() && getEditor()->renderToPng(path) ? 1 : 0;
        case kVendorCopyPreset: return copyPreset() ? 1 : 0;
        case kVendorPastePreset: return pastePreset() ? 1 : 0;
        case kVendorSaveDefaultBank: return ints && saveDefaultBank(ints[0]) ? 1 : 0;
        case kVendorRemoveDefaultBank: return ints && removeDefaultBank(ints[0]) ? 1 : 0;
        default: return 0;
    }
}

}  // namespace vh
