#pragma once
// The preset store: three banks of 64 named presets, each the 416 values of
// parameters 0..415, plus the current bank and preset and the loading flag;
// and the byte layouts that carry it: the host's state chunk, preset files
// (".vrp") and bank files (".vrb").
//
// How the engine uses it (everything here is plain data; the engine owns the
// processing mutex, the modules and the host):
//
//  - Construction: `loadFactory()`, then for each bank b with a stored
//    "DefaultBank<b>" value, `loadBankImage(b, bytes, size)`; then apply
//    bank 0 preset 0 as below.
//  - setParameter(index, v): after its effect, `setCurrentValue(index, v)`,
//    so the current preset always mirrors the engine. Module replacement
//    writes a reset modulation destination into the preset only when
//    `loading()` is false.
//  - Applying preset p of the current bank: take the processing mutex;
//    `selectPreset(p)`; `setLoading(true)`; `copyValues` of the record into a
//    local array first, because every setParameter writes back into the
//    same record; setParameter for index 0..415 in ascending
//    order (types 12..15 and 80..83 come before their modules' parameters);
//    `setLoading(false)`; zero the operators' input/output pairs; release the
//    mutex; tell the host and the editor.
//  - Selecting a bank: `selectBank(b)` only.
//  - Program name: `currentName()` / `setName(currentBank(), currentPreset(), text)`.
//  - getChunk: `writeChunk(ccAssignments, chunkBuffer)` into the engine's own
//    buffer of kChunkSize bytes.
//  - setChunk(data, size): `readChunk(data, size, content)` into a
//    ChunkContent (large: allocate it, not on the stack); anything but kOk
//    means return -1 with nothing changed. Otherwise, under the mutex:
//    `takeChunk(content)` (banks and, when in range, the selection), take over
//    `content.ccAssignments`, then apply the current preset in every case -
//    also when the selection fields were out of range and the selection
//    stayed - so the engine never disagrees with the new store's copy.
//  - Preset file or clipboard load: `readPresetFile` into a PresetRecord; on
//    kOk set the current preset's name from it and apply its values through
//    setParameter 0..415 (which writes them into the current preset).
//  - Preset file save / copy: `writePresetFile(currentName(), engineValues, out)`
//    with the engine's getParameter values 0..415.
//  - Bank file load into bank b (also a stored default): `loadBankImage`; if
//    b is the current bank, apply preset 0 afterwards.
//  - Bank file save / save as default: `writeBankImage(b, out)`.
//  - Files go through platform/FileIo.h: `readFileUpTo(path, kPresetFileSize
//    or kBankFileSize, bytes)` (short files are fine, the decoders zero-fill)
//    and `writeFileAtomically`, so a failed save never destroys a good file.
//  - Settings (platform/SettingsStore.h): copy writes the preset-file image
//    to setting::kClipboard, paste reads it back (readBinary with
//    kPresetFileSize) and loads it like a preset file; save as default writes
//    the bank image to setting::defaultBankName(b), remove default removes
//    it; CurrDir, CurrBank and CurrPreset are read at construction and
//    written at destruction.
//
// Everything read from a chunk or a file is sanitised on the way in: values
// NaN -> 0 and clamped to 0..1, names cut to 24 characters and terminated,
// CC assignments outside -1..127 read as unassigned. Readers never look past
// the size they are given.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "modules/ParameterLayout.h"

namespace vh {

constexpr int kNumBanks = 3;
constexpr int kPresetsPerBank = 64;
constexpr int kPresetNameLength = 24;

// The plug-in's unique ID, the characters "VRHX" read as a big-endian
// constant; files and chunks store it little-endian.
constexpr std::uint32_t kPluginId = (std::uint32_t('V') << 24) | (std::uint32_t('R') << 16) |
                                    (std::uint32_t('H') << 8) | std::uint32_t('X');
constexpr std::uint32_t kFileMagic = 12345678;
constexpr std::uint32_t kChunkVersion = 0x01000000;
constexpr char kPresetKind = '!';
constexpr char kBankKind = '7';

// Byte layouts. A file head is magic, ID, version "0001" and the kind byte; a
// record is a 24-byte name and 416 floats.
constexpr std::size_t kFileHeadSize = 13;
constexpr std::size_t kRecordSize = kPresetNameLength + 4 * param::kNumPresetValues;    // 1,688
constexpr std::size_t kPresetFileSize = kFileHeadSize + kRecordSize;                    // 1,701
constexpr std::size_t kBankFileSize = kFileHeadSize + kPresetsPerBank * kRecordSize;    // 108,045
constexpr std::size_t kChunkHeadSize = 32;
constexpr std::size_t kChunkCcOffset = kChunkHeadSize + kNumBanks * kBankFileSize;      // 324,167
constexpr std::size_t kChunkSize = kChunkCcOffset + 4 * kNumCcAssignments;              // 324,211
static_assert(kPresetFileSize == 1701 && kBankFileSize == 108045 && kChunkSize == 324211);

constexpr int kCcUnassigned = -1;
constexpr int kHighestCc = 127;

struct PresetRecord {
    char name[kPresetNameLength + 1] = {};
    float values[param::kNumPresetValues] = {};

    // Copies at most 24 characters of text and zero-fills the rest.
    void setName(const char* text);
};

struct PresetBank {
    PresetRecord presets[kPresetsPerBank];
};

enum class ReadStatus {
    kOk,
    kNoData,        // null pointer
    kWrongSize,     // chunk not exactly kChunkSize bytes
    kWrongMagic,    // file magic in neither byte order
    kUnknownId,     // plug-in ID in neither byte order
    kWrongVersion,  // chunk version
    kWrongKind,     // file of the other kind (bank given as preset or the reverse)
};

// What a valid state chunk holds; the engine decides what to apply.
struct ChunkContent {
    PresetBank banks[kNumBanks];
    std::int32_t ccAssignments[kNumCcAssignments] = {};
    std::int32_t bankField = 0;    // as stored; may be out of range
    std::int32_t presetField = 0;
    bool selectionInRange() const {
        return bankField >= 0 && bankField < kNumBanks && presetField >= 0 && presetField < kPresetsPerBank;
    }
};

// Decoders: refusals leave `out` untouched. Files shorter than their layout
// are read as far as they go, the rest taken as zero; longer input is read up
// to the layout's size.
ReadStatus readChunk(const void* data, std::size_t size, ChunkContent& out);
ReadStatus readPresetFile(const void* data, std::size_t size, PresetRecord& out);
ReadStatus readBankFile(const void* data, std::size_t size, PresetBank& out);

// Encoders into caller-owned buffers of the layout's size (version "0001").
void writePresetFile(const char* name, const float* values, std::uint8_t* out);
void writeBankFile(const PresetBank& bank, std::uint8_t* out);

// Value sanitising shared by every reader: NaN -> 0, clamped to 0..1.
float sanitizeStoredValue(float v);
// CC assignment sanitising: -1..127 kept, anything else unassigned.
std::int32_t sanitizeCcAssignment(std::int32_t cc);

class PresetStore {
public:
    // Empty names, zero values, bank 0 preset 0. Call loadFactory() for the
    // factory content.
    PresetStore();
    PresetStore(const PresetStore&) = delete;
    PresetStore& operator=(const PresetStore&) = delete;

    // Names and values of all three banks from the factory text. False when
    // the text had errors (the lines in error are skipped; tests make sure
    // the shipped text has none).
    bool loadFactory();

    // --- selection ---------------------------------------------------------
    int currentBank() const { return mCurrentBank.load(std::memory_order_relaxed); }
    int currentPreset() const { return mCurrentPreset.load(std::memory_order_relaxed); }
    // Out-of-range indices are ignored.
    void selectBank(int bank);
    void selectPreset(int preset);

    // Set while a stored preset is being applied to the engine.
    bool loading() const { return mLoading.load(std::memory_order_relaxed); }
    void setLoading(bool on) { mLoading.store(on, std::memory_order_relaxed); }

    // --- records -------------------------------------------------------------
    // Null outside 0..2 / 0..63.
    PresetRecord* record(int bank, int preset);
    const PresetRecord* record(int bank, int preset) const;
    PresetRecord& current() { return mBanks[currentBank()].presets[currentPreset()]; }
    const PresetRecord& current() const { return mBanks[currentBank()].presets[currentPreset()]; }
    const char* currentName() const { return current().name; }
    // The 416 values of a record into out; false (out untouched) when out of range.
    bool copyValues(int bank, int preset, float* out) const;

    // Out-of-range bank, preset or index: ignored (set) or empty / 0 (get).
    void setName(int bank, int preset, const char* text);
    void getName(int bank, int preset, char* out /* kPresetNameLength + 1 */) const;
    float value(int bank, int preset, int index) const;
    void setValue(int bank, int preset, int index, float v);
    // The engine's setParameter mirror: writes into the current preset;
    // indices above 415 are not kept. A single float store.
    void setCurrentValue(int index, float v);
    void storeBank(int bank, const PresetBank& content);
    const PresetBank* bank(int bank) const;

    // --- serialisation ---------------------------------------------------------
    // The whole store, the selection and the CC assignments as a state chunk
    // into out (kChunkSize bytes).
    void writeChunk(const std::int32_t* ccAssignments, std::uint8_t* out) const;
    // Takes over the banks of a decoded chunk and, when its fields are in
    // range, the selection. Returns whether the selection was taken.
    bool takeChunk(const ChunkContent& content);
    // Decodes a bank-file image into bank b. False (nothing changed) when the
    // image is refused or b is out of range.
    bool loadBankImage(int bank, const void* data, std::size_t size);
    // Bank b as a bank-file image into out (kBankFileSize bytes); nothing
    // written for an out-of-range b.
    void writeBankImage(int bank, std::uint8_t* out) const;

private:
    PresetBank mBanks[kNumBanks];
    std::atomic<int> mCurrentBank{0};
    std::atomic<int> mCurrentPreset{0};
    std::atomic<bool> mLoading{false};
};

}  // namespace vh
