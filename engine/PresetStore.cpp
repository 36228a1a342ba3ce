#include "engine/PresetStore.h"
#include <atomic>

#include <bit>
#include <cstring>
#include <memory>

#include "engine/FactoryPresets.h"
#include "modules/Conversions.h"

namespace vh {

namespace {

constexpr std::uint8_t kVersionText[4] = {'0', '0', '0', '1'};

// Reads little-endian fields from untrusted bytes: nothing past `size` is
// ever touched, missing bytes read as zero, and `swapped` turns every 32-bit
// field around for data written in the other byte order.
struct ByteReader {
    const std::uint8_t* data;
    std::size_t size;
    bool swapped = false;

    std::uint8_t byte(std::size_t offset) const { return offset < size ? data[offset] : 0; }
    std::uint32_t rawU32(std::size_t offset) const {
        return std::uint32_t(byte(offset)) | (std::uint32_t(byte(offset + 1)) << 8) |
               (std::uint32_t(byte(offset + 2)) << 16) | (std::uint32_t(byte(offset + 3)) << 24);
    }
    std::uint32_t u32(std::size_t offset) const {
        std::uint32_t v = rawU32(offset);
        return swapped ? byteSwap(v) : v;
    }
    std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
    float f32(std::size_t offset) const { return std::bit_cast<float>(u32(offset)); }

    static std::uint32_t byteSwap(std::uint32_t v) {
        return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
    }

    // Decides the byte order from a field that must hold `expected`.
    bool detectOrder(std::size_t offset, std::uint32_t expected) {
        std::uint32_t v = rawU32(offset);
        if (v == expected) swapped = false;
        else if (v == byteSwap(expected)) swapped = true;
        else return false;
        return true;
    }

    // A record at offset: the name cut at 24 bytes and terminated, the values
    // sanitised.
    void record(std::size_t offset, PresetRecord& out) const {
        char name[kPresetNameLength + 1];
        for (int c = 0; c < kPresetNameLength; ++c) name[c] = static_cast<char>(byte(offset + c));
        name[kPresetNameLength] = 0;
        out.setName(name);
        const std::size_t valuesAt = offset + kPresetNameLength;
        for (int i = 0; i < param::kNumPresetValues; ++i) out.values[i] = sanitizeStoredValue(f32(valuesAt + 4 * i));
    }
};

void putU32(std::uint8_t* out, std::uint32_t v) {
    out[0] = static_cast<std::uint8_t>(v);
    out[1] = static_cast<std::uint8_t>(v >> 8);
    out[2] = static_cast<std::uint8_t>(v >> 16);
    out[3] = static_cast<std::uint8_t>(v >> 24);
}

void putRecord(const char* name, const float* values, std::uint8_t* out) {
    std::memset(out, 0, kPresetNameLength);
    for (int c = 0; c < kPresetNameLength && name[c] != 0; ++c) out[c] = static_cast<std::uint8_t>(name[c]);
    out += kPresetNameLength;
    for (int i = 0; i < param::kNumPresetValues; ++i) putU32(out + 4 * i, std::bit_cast<std::uint32_t>(values[i]));
}

void putFileHead(char kind, std::uint8_t* out) {
    putU32(out, kFileMagic);
    putU32(out + 4, kPluginId);
    std::memcpy(out + 8, kVersionText, 4);
    out[12] = static_cast<std::uint8_t>(kind);
}

// Magic, ID and kind of a preset or bank file; the version is not checked
// (files of later versions with the same layout stay loadable).
ReadStatus checkFileHead(ByteReader& reader, char kind) {
    if (!reader.detectOrder(0, kFileMagic)) return ReadStatus::kWrongMagic;
    if (reader.u32(4) != kPluginId) return ReadStatus::kUnknownId;
    if (reader.byte(12) != static_cast<std::uint8_t>(kind)) return ReadStatus::kWrongKind;
    return ReadStatus::kOk;
}

std::size_t clampedSize(std::size_t size, std::size_t layoutSize) { return size < layoutSize ? size : layoutSize; }

}  // namespace

float sanitizeStoredValue(float v) { return sanitizeUnit(v); }

std::int32_t sanitizeCcAssignment(std::int32_t cc) {
    return (cc >= kCcUnassigned && cc <= kHighestCc) ? cc : kCcUnassigned;
}

void PresetRecord::setName(const char* text) {
    std::memset(name, 0, sizeof name);
    if (text == nullptr) return;
    for (int c = 0; c < kPresetNameLength && text[c] != 0; ++c) name[c] = text[c];
}

// --- decoders ---------------------------------------------------------------

ReadStatus readChunk(const void* data, std::size_t size, ChunkContent& out) {
    if (data == nullptr) return ReadStatus::kNoData;
    if (size != kChunkSize) return ReadStatus::kWrongSize;
    ByteReader reader{static_cast<const std::uint8_t*>(data), size};
    if (!reader.detectOrder(4, kPluginId)) return ReadStatus::kUnknownId;
    if (reader.u32(0) != kChunkVersion) return ReadStatus::kWrongVersion;

    out.bankField = reader.i32(8);
    out.presetField = reader.i32(12);
    for (int b = 0; b < kNumBanks; ++b) {
        const std::size_t recordsAt = kChunkHeadSize + b * kBankFileSize + kFileHeadSize;
        for (int p = 0; p < kPresetsPerBank; ++p) reader.record(recordsAt + p * kRecordSize, out.banks[b].presets[p]);
    }
    for (int k = 0; k < kNumCcAssignments; ++k)
        out.ccAssignments[k] = sanitizeCcAssignment(reader.i32(kChunkCcOffset + 4 * k));
    return ReadStatus::kOk;
}

ReadStatus readPresetFile(const void* data, std::size_t size, PresetRecord& out) {
    if (data == nullptr) return ReadStatus::kNoData;
    ByteReader reader{static_cast<const std::uint8_t*>(data), clampedSize(size, kPresetFileSize)};
    ReadStatus status = checkFileHead(reader, kPresetKind);
    if (status != ReadStatus::kOk) return status;
    reader.record(kFileHeadSize, out);
    return ReadStatus::kOk;
}

ReadStatus readBankFile(const void* data, std::size_t size, PresetBank& out) {
    if (data == nullptr) return ReadStatus::kNoData;
    ByteReader reader{static_cast<const std::uint8_t*>(data), clampedSize(size, kBankFileSize)};
    ReadStatus status = checkFileHead(reader, kBankKind);
    if (status != ReadStatus::kOk) return status;
    for (int p = 0; p < kPresetsPerBank; ++p) reader.record(kFileHeadSize + p * kRecordSize, out.presets[p]);
    return ReadStatus::kOk;
}

// --- encoders ---------------------------------------------------------------

void writePresetFile(const char* name, const float* values, std::uint8_t* out) {
    putFileHead(kPresetKind, out);
    putRecord(name, values, out + kFileHeadSize);
}

void writeBankFile(const PresetBank& bank, std::uint8_t* out) {
    putFileHead(kBankKind, out);
    for (int p = 0; p < kPresetsPerBank; ++p)
        putRecord(bank.presets[p].name, bank.presets[p].values, out + kFileHeadSize + p * kRecordSize);
}

// --- the store --------------------------------------------------------------

PresetStore::PresetStore() = default;

bool PresetStore::loadFactory() {
    // Parsed into a scratch copy: the store is far too large for the stack.
    auto banks = std::make_unique<PresetBank[]>(kNumBanks);
    bool clean = buildFactoryBanks(banks.get(), nullptr);
    for (int b = 0; b < kNumBanks; ++b) mBanks[b] = banks[b];
    return clean;
}

void PresetStore::selectBank(int bank) {
    if (bank >= 0 && bank < kNumBanks) mCurrentBank.store(bank, std::memory_order_relaxed);
}

void PresetStore::selectPreset(int preset) {
    if (preset >= 0 && preset < kPresetsPerBank) mCurrentPreset.store(preset, std::memory_order_relaxed);
}

PresetRecord* PresetStore::record(int bank, int preset) {
    if (bank < 0 || bank >= kNumBanks || preset < 0 || preset >= kPresetsPerBank) return nullptr;
    return &mBanks[bank].presets[preset];
}

const PresetRecord* PresetStore::record(int bank, int preset) const {
    if (bank < 0 || bank >= kNumBanks || preset < 0 || preset >= kPresetsPerBank) return nullptr;
    return &mBanks[bank].presets[preset];
}

bool PresetStore::copyValues(int bank, int preset, float* out) const {
    const PresetRecord* r = record(bank, preset);
    if (r == nullptr) return false;
    std::memcpy(out, r->values, sizeof r->values);
    return true;
}

void PresetStore::setName(int bank, int preset, const char* text) {
    if (PresetRecord* r = record(bank, preset)) r->setName(text);
}

void PresetStore::getName(int bank, int preset, char* out) const {
    const PresetRecord* r = record(bank, preset);
    if (r == nullptr) {
        out[0] = 0;
        return;
    }
    std::memcpy(out, r->name, kPresetNameLength);
    out[kPresetNameLength] = 0;
}

float PresetStore::value(int bank, int preset, int index) const {
    const PresetRecord* r = record(bank, preset);
    if (r == nullptr || index < 0 || index >= param::kNumPresetValues) return 0.0f;
    return r->values[index];
}

void PresetStore::setValue(int bank, int preset, int index, float v) {
    PresetRecord* r = record(bank, preset);
    if (r == nullptr || index < 0 || index >= param::kNumPresetValues) return;
    // getParameter reads the current preset's values from any thread.
    std::atomic_ref<float>(r->values[index]).store(sanitizeStoredValue(v), std::memory_order_relaxed);
}

void PresetStore::setCurrentValue(int index, float v) { setValue(currentBank(), currentPreset(), index, v); }

void PresetStore::storeBank(int bank, const PresetBank& content) {
    if (bank < 0 || bank >= kNumBanks) return;
    for (int p = 0; p < kPresetsPerBank; ++p) {
        PresetRecord& r = mBanks[bank].presets[p];
        r.setName(content.presets[p].name);
        for (int i = 0; i < param::kNumPresetValues; ++i) r.values[i] = sanitizeStoredValue(content.presets[p].values[i]);
    }
}

const PresetBank* PresetStore::bank(int bank) const {
    return (bank >= 0 && bank < kNumBanks) ? &mBanks[bank] : nullptr;
}

void PresetStore::writeChunk(const std::int32_t* ccAssignments, std::uint8_t* out) const {
    std::memset(out, 0, kChunkSize);
    putU32(out, kChunkVersion);
    putU32(out + 4, kPluginId);
    putU32(out + 8, static_cast<std::uint32_t>(currentBank()));
    putU32(out + 12, static_cast<std::uint32_t>(currentPreset()));
    for (int b = 0; b < kNumBanks; ++b) {
        std::uint8_t* records = out + kChunkHeadSize + b * kBankFileSize + kFileHeadSize;
        for (int p = 0; p < kPresetsPerBank; ++p) {
            const PresetRecord& r = mBanks[b].presets[p];
            putRecord(r.name, r.values, records + p * kRecordSize);
        }
    }
    for (int k = 0; k < kNumCcAssignments; ++k) {
        std::int32_t cc = ccAssignments != nullptr ? ccAssignments[k] : kCcUnassigned;
        putU32(out + kChunkCcOffset + 4 * k, static_cast<std::uint32_t>(cc));
    }
}

bool PresetStore::takeChunk(const ChunkContent& content) {
    for (int b = 0; b < kNumBanks; ++b) storeBank(b, content.banks[b]);
    if (!content.selectionInRange()) return false;
    selectBank(content.bankField);
    selectPreset(content.presetField);
    return true;
}

bool PresetStore::loadBankImage(int bank, const void* data, std::size_t size) {
    if (bank < 0 || bank >= kNumBanks) return false;
    auto decoded = std::make_unique<PresetBank>();
    if (readBankFile(data, size, *decoded) != ReadStatus::kOk) return false;
    storeBank(bank, *decoded);
    return true;
}

void PresetStore::writeBankImage(int bank, std::uint8_t* out) const {
    if (bank < 0 || bank >= kNumBanks) return;
    writeBankFile(mBanks[bank], out);
}

}  // namespace vh
