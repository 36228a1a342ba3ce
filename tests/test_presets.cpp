// The preset store and its byte layouts: state chunk, preset files, bank
// files. Round trips byte for byte, both byte orders, every refusal, short
// and hostile input.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "engine/PresetStore.h"

using namespace vh;

namespace {

using Bytes = std::vector<std::uint8_t>;

void reverseField(Bytes& bytes, std::size_t offset) {
    std::swap(bytes[offset], bytes[offset + 3]);
    std::swap(bytes[offset + 1], bytes[offset + 2]);
}

void reverseRecords(Bytes& bytes, std::size_t recordsAt) {
    for (int p = 0; p < kPresetsPerBank; ++p)
        for (int i = 0; i < param::kNumPresetValues; ++i)
            reverseField(bytes, recordsAt + p * kRecordSize + kPresetNameLength + 4 * i);
}

std::uint32_t fieldAt(const Bytes& bytes, std::size_t offset) {
    return std::uint32_t(bytes[offset]) | (std::uint32_t(bytes[offset + 1]) << 8) |
           (std::uint32_t(bytes[offset + 2]) << 16) | (std::uint32_t(bytes[offset + 3]) << 24);
}

void putField(Bytes& bytes, std::size_t offset, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes[offset + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

void putFloat(Bytes& bytes, std::size_t offset, float v) { putField(bytes, offset, std::bit_cast<std::uint32_t>(v)); }

// A store with distinct names and values everywhere, and a non-default selection.
std::unique_ptr<PresetStore> busyStore(unsigned seed = 7) {
    auto store = std::make_unique<PresetStore>();
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int b = 0; b < kNumBanks; ++b)
        for (int p = 0; p < kPresetsPerBank; ++p) {
            std::string name = "B";
            name += std::to_string(b);
            name += " P";
            name += std::to_string(p);
            name += " name";
            if (p == 5) name = "exactly twenty-four char";  // no terminator in the file
            store->setName(b, p, name.c_str());
            for (int i = 0; i < param::kNumPresetValues; ++i) store->setValue(b, p, i, unit(random));
        }
    store->selectBank(2);
    store->selectPreset(37);
    return store;
}

const std::int32_t kSomeCcs[kNumCcAssignments] = {1, -1, 7, 74, 127, 0, -1, 11, 64, 65, 2};

Bytes chunkOf(const PresetStore& store, const std::int32_t* ccs = kSomeCcs) {
    Bytes bytes(kChunkSize, 0xAA);
    store.writeChunk(ccs, bytes.data());
    return bytes;
}

void expectSameStore(const PresetStore& a, const PresetStore& b) {
    EXPECT_EQ(a.currentBank(), b.currentBank());
    EXPECT_EQ(a.currentPreset(), b.currentPreset());
    for (int bank = 0; bank < kNumBanks; ++bank)
        for (int p = 0; p < kPresetsPerBank; ++p) {
            const PresetRecord* ra = a.record(bank, p);
            const PresetRecord* rb = b.record(bank, p);
            ASSERT_STREQ(ra->name, rb->name) << bank << ":" << p;
            ASSERT_EQ(0, std::memcmp(ra->values, rb->values, sizeof ra->values)) << bank << ":" << p;
        }
}

// Every accepted input must leave only sane data behind.
void expectSane(const PresetRecord& record) {
    EXPECT_EQ(record.name[kPresetNameLength], 0);
    for (float v : record.values) ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
}

PresetRecord sampleRecord() {
    PresetRecord record;
    record.setName("Lighthouse");
    for (int i = 0; i < param::kNumPresetValues; ++i) record.values[i] = static_cast<float>(i % 97) / 96.0f;
    return record;
}

Bytes presetFileOf(const PresetRecord& record) {
    Bytes bytes(kPresetFileSize);
    writePresetFile(record.name, record.values, bytes.data());
    return bytes;
}

std::unique_ptr<PresetBank> sampleBank() {
    auto bank = std::make_unique<PresetBank>();
    for (int p = 0; p < kPresetsPerBank; ++p) {
        std::string name = "Preset ";
        name += std::to_string(p);
        bank->presets[p].setName(name.c_str());
        for (int i = 0; i < param::kNumPresetValues; ++i)
            bank->presets[p].values[i] = static_cast<float>((p * 31 + i) % 101) / 100.0f;
    }
    return bank;
}

Bytes bankFileOf(const PresetBank& bank) {
    Bytes bytes(kBankFileSize);
    writeBankFile(bank, bytes.data());
    return bytes;
}

}  // namespace

// --- the store ----------------------------------------------------------------

TEST(PresetStore, StartsEmptyAtBankZeroPresetZero) {
    auto store = std::make_unique<PresetStore>();
    EXPECT_EQ(store->currentBank(), 0);
    EXPECT_EQ(store->currentPreset(), 0);
    EXPECT_FALSE(store->loading());
    EXPECT_STREQ(store->currentName(), "");
}

TEST(PresetStore, IgnoresIndicesOutsideTheStore) {
    auto store = busyStore();
    auto reference = busyStore();
    for (int bad : {-1, 3, 1000}) store->selectBank(bad);
    for (int bad : {-1, 64, 1 << 30}) store->selectPreset(bad);
    store->setName(3, 0, "x");
    store->setName(0, 64, "x");
    store->setName(-1, -1, "x");
    store->setValue(0, 0, 416, 0.5f);
    store->setValue(0, 0, -1, 0.5f);
    store->setValue(0, 99, 0, 0.5f);
    store->setCurrentValue(416, 0.5f);
    store->setCurrentValue(436, 0.5f);
    store->storeBank(3, *sampleBank());
    EXPECT_FALSE(store->loadBankImage(-1, bankFileOf(*sampleBank()).data(), kBankFileSize));
    expectSameStore(*store, *reference);

    EXPECT_EQ(store->record(0, 64), nullptr);
    EXPECT_EQ(store->record(3, 0), nullptr);
    EXPECT_EQ(store->bank(-1), nullptr);
    EXPECT_EQ(store->value(0, 0, 416), 0.0f);
    char name[kPresetNameLength + 1] = "junk";
    store->getName(5, 5, name);
    EXPECT_STREQ(name, "");
}

TEST(PresetStore, NamesAreCutTo24Characters) {
    auto store = std::make_unique<PresetStore>();
    store->setName(1, 2, "A name that is far longer than twenty-four characters");
    char name[kPresetNameLength + 1];
    store->getName(1, 2, name);
    EXPECT_STREQ(name, "A name that is far longe");
    store->setName(1, 2, "short");
    store->getName(1, 2, name);
    EXPECT_STREQ(name, "short");
    // The old tail must not survive past the new terminator.
    EXPECT_EQ(0, std::memcmp(store->record(1, 2)->name, "short\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 25));
}

TEST(PresetStore, CurrentValueWritesGoIntoTheSelectedPreset) {
    auto store = std::make_unique<PresetStore>();
    store->selectBank(1);
    store->selectPreset(9);
    store->setCurrentValue(param::kSlotStatus, 0.25f);
    EXPECT_EQ(store->value(1, 9, param::kSlotStatus), 0.25f);
    EXPECT_EQ(store->current().values[param::kSlotStatus], 0.25f);
    EXPECT_EQ(store->value(0, 9, param::kSlotStatus), 0.0f);
}

TEST(PresetStore, CopyValuesGivesTheRecordOrNothing) {
    auto store = busyStore();
    float values[param::kNumPresetValues];
    ASSERT_TRUE(store->copyValues(2, 63, values));
    EXPECT_EQ(0, std::memcmp(values, store->record(2, 63)->values, sizeof values));
    values[0] = -5.0f;
    EXPECT_FALSE(store->copyValues(3, 0, values));
    EXPECT_FALSE(store->copyValues(0, -1, values));
    EXPECT_EQ(values[0], -5.0f);
}

TEST(PresetStore, StoredValuesAreSanitised) {
    auto store = std::make_unique<PresetStore>();
    store->setValue(0, 0, 0, std::numeric_limits<float>::quiet_NaN());
    store->setValue(0, 0, 1, -3.0f);
    store->setValue(0, 0, 2, 7.0f);
    store->setValue(0, 0, 3, std::numeric_limits<float>::infinity());
    store->setValue(0, 0, 4, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(store->value(0, 0, 0), 0.0f);
    EXPECT_EQ(store->value(0, 0, 1), 0.0f);
    EXPECT_EQ(store->value(0, 0, 2), 1.0f);
    EXPECT_EQ(store->value(0, 0, 3), 1.0f);
    EXPECT_EQ(store->value(0, 0, 4), 0.0f);
}

// --- state chunk ------------------------------------------------------------

TEST(StateChunk, LayoutHasTheFixedFields) {
    auto store = busyStore();
    Bytes chunk = chunkOf(*store);
    EXPECT_EQ(fieldAt(chunk, 0), 0x01000000u);
    EXPECT_EQ(fieldAt(chunk, 4), 0x56524858u);  // "VRHX" big-endian, stored little-endian
    EXPECT_EQ(chunk[4], 'X');
    EXPECT_EQ(fieldAt(chunk, 8), 2u);
    EXPECT_EQ(fieldAt(chunk, 12), 37u);
    for (std::size_t k = 16; k < 32; ++k) EXPECT_EQ(chunk[k], 0) << k;
    for (int b = 0; b < kNumBanks; ++b)
        for (std::size_t k = 0; k < kFileHeadSize; ++k) EXPECT_EQ(chunk[32 + b * kBankFileSize + k], 0);
    // Bank 1, preset 3: name then values.
    const std::size_t at = 32 + kBankFileSize + kFileHeadSize + 3 * kRecordSize;
    EXPECT_EQ(0, std::memcmp(&chunk[at], "B1 P3 name\0", 11));
    EXPECT_EQ(std::bit_cast<float>(fieldAt(chunk, at + 24 + 4 * 415)), store->value(1, 3, 415));
    EXPECT_EQ(static_cast<std::int32_t>(fieldAt(chunk, 324167)), 1);
    EXPECT_EQ(static_cast<std::int32_t>(fieldAt(chunk, 324167 + 4)), -1);
    EXPECT_EQ(static_cast<std::int32_t>(fieldAt(chunk, 324207)), 2);
}

TEST(StateChunk, RoundTripsByteForByte) {
    auto store = busyStore();
    Bytes first = chunkOf(*store);

    auto content = std::make_unique<ChunkContent>();
    ASSERT_EQ(readChunk(first.data(), first.size(), *content), ReadStatus::kOk);
    EXPECT_TRUE(content->selectionInRange());
    auto restored = std::make_unique<PresetStore>();
    EXPECT_TRUE(restored->takeChunk(*content));
    expectSameStore(*store, *restored);
    EXPECT_EQ(0, std::memcmp(content->ccAssignments, kSomeCcs, sizeof kSomeCcs));

    EXPECT_EQ(chunkOf(*restored, content->ccAssignments), first);
}

TEST(StateChunk, ByteReversedChunkGivesTheSameState) {
    auto store = busyStore();
    Bytes native = chunkOf(*store);
    Bytes reversed = native;
    for (std::size_t offset = 0; offset < kChunkHeadSize; offset += 4) reverseField(reversed, offset);
    for (int b = 0; b < kNumBanks; ++b) reverseRecords(reversed, kChunkHeadSize + b * kBankFileSize + kFileHeadSize);
    for (int k = 0; k < kNumCcAssignments; ++k) reverseField(reversed, kChunkCcOffset + 4 * k);
    ASSERT_NE(native, reversed);

    auto a = std::make_unique<ChunkContent>();
    auto b = std::make_unique<ChunkContent>();
    ASSERT_EQ(readChunk(native.data(), native.size(), *a), ReadStatus::kOk);
    ASSERT_EQ(readChunk(reversed.data(), reversed.size(), *b), ReadStatus::kOk);
    auto fromNative = std::make_unique<PresetStore>();
    auto fromReversed = std::make_unique<PresetStore>();
    fromNative->takeChunk(*a);
    fromReversed->takeChunk(*b);
    expectSameStore(*fromNative, *fromReversed);
    EXPECT_EQ(0, std::memcmp(a->ccAssignments, b->ccAssignments, sizeof a->ccAssignments));
    EXPECT_EQ(chunkOf(*fromReversed, b->ccAssignments), native);
}

TEST(StateChunk, EveryRefusalLeavesEverythingUnchanged) {
    auto store = busyStore();
    const Bytes good = chunkOf(*store);

    struct Case {
        const char* what;
        Bytes bytes;
        bool nullData;
        ReadStatus expected;
    };
    std::vector<Case> cases;
    cases.push_back({"null", good, true, ReadStatus::kNoData});
    cases.push_back({"one byte short", Bytes(good.begin(), good.end() - 1), false, ReadStatus::kWrongSize});
    Bytes longer = good;
    longer.push_back(0);
    cases.push_back({"one byte long", longer, false, ReadStatus::kWrongSize});
    cases.push_back({"empty", Bytes(), false, ReadStatus::kWrongSize});
    Bytes foreignId = good;
    putField(foreignId, 4, 0x41424344);
    cases.push_back({"foreign ID", foreignId, false, ReadStatus::kUnknownId});
    Bytes halfSwappedId = good;
    std::swap(halfSwappedId[4], halfSwappedId[5]);
    cases.push_back({"ID in a mixed byte order", halfSwappedId, false, ReadStatus::kUnknownId});
    Bytes newerVersion = good;
    putField(newerVersion, 0, 0x02000000);
    cases.push_back({"newer version", newerVersion, false, ReadStatus::kWrongVersion});
    Bytes reversedVersionOnly = good;
    reverseField(reversedVersionOnly, 0);
    cases.push_back({"version reversed, ID native", reversedVersionOnly, false, ReadStatus::kWrongVersion});

    for (const Case& c : cases) {
        auto content = std::make_unique<ChunkContent>();
        std::memset(static_cast<void*>(content.get()), 0x5C, sizeof(ChunkContent));
        auto untouched = std::make_unique<ChunkContent>();
        std::memcpy(static_cast<void*>(untouched.get()), content.get(), sizeof(ChunkContent));

        // The engine's setChunk: the store changes only on kOk.
        const std::uint8_t none = 0;
        const std::uint8_t* data = c.nullData ? nullptr : (c.bytes.empty() ? &none : c.bytes.data());
        ReadStatus status = readChunk(data, c.bytes.size(), *content);
        if (status == ReadStatus::kOk) store->takeChunk(*content);

        EXPECT_EQ(status, c.expected) << c.what;
        EXPECT_EQ(0, std::memcmp(content.get(), untouched.get(), sizeof(ChunkContent))) << c.what;
        EXPECT_EQ(chunkOf(*store), good) << c.what;
    }
}

TEST(StateChunk, OutOfRangeSelectionKeepsTheSelectionButTakesTheBanks) {
    auto source = busyStore(1);
    for (auto [bank, preset] : {std::pair{3, 0}, {0, 64}, {-1, 5}, {1, -1}}) {
        Bytes chunk = chunkOf(*source);
        putField(chunk, 8, static_cast<std::uint32_t>(bank));
        putField(chunk, 12, static_cast<std::uint32_t>(preset));
        auto content = std::make_unique<ChunkContent>();
        ASSERT_EQ(readChunk(chunk.data(), chunk.size(), *content), ReadStatus::kOk);
        EXPECT_FALSE(content->selectionInRange());
        EXPECT_EQ(content->bankField, bank);
        EXPECT_EQ(content->presetField, preset);

        auto target = busyStore(2);
        target->selectBank(1);
        target->selectPreset(4);
        EXPECT_FALSE(target->takeChunk(*content));
        EXPECT_EQ(target->currentBank(), 1);
        EXPECT_EQ(target->currentPreset(), 4);
        EXPECT_STREQ(target->record(1, 4)->name, source->record(1, 4)->name);
        EXPECT_EQ(target->value(1, 4, 100), source->value(1, 4, 100));
    }
}

TEST(StateChunk, HostileContentIsSanitised) {
    auto store = busyStore();
    Bytes chunk = chunkOf(*store);
    const std::size_t firstRecord = kChunkHeadSize + kFileHeadSize;
    const float hostile[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), -0.5f, 2.0f, 1e30f,
                             std::numeric_limits<float>::denorm_min()};
    for (std::size_t k = 0; k < std::size(hostile); ++k) putFloat(chunk, firstRecord + 24 + 4 * k, hostile[k]);
    std::memset(&chunk[firstRecord], 'Z', kPresetNameLength);  // no terminator
    putField(chunk, kChunkCcOffset, 500);
    putField(chunk, kChunkCcOffset + 4, static_cast<std::uint32_t>(-7));
    putField(chunk, kChunkCcOffset + 8, 128);

    auto content = std::make_unique<ChunkContent>();
    ASSERT_EQ(readChunk(chunk.data(), chunk.size(), *content), ReadStatus::kOk);
    const PresetRecord& r = content->banks[0].presets[0];
    expectSane(r);
    EXPECT_EQ(std::string(r.name), std::string(24, 'Z'));
    EXPECT_EQ(r.values[0], 0.0f);  // NaN
    EXPECT_EQ(r.values[1], 1.0f);
    EXPECT_EQ(r.values[2], 0.0f);
    EXPECT_EQ(r.values[3], 0.0f);
    EXPECT_EQ(r.values[4], 1.0f);
    EXPECT_EQ(r.values[5], 1.0f);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(content->ccAssignments[k], -1);
    EXPECT_EQ(content->ccAssignments[3], kSomeCcs[3]);
}

// --- preset files -------------------------------------------------------------

TEST(PresetFile, LayoutHasTheFixedHead) {
    Bytes file = presetFileOf(sampleRecord());
    ASSERT_EQ(file.size(), 1701u);
    EXPECT_EQ(fieldAt(file, 0), 12345678u);
    EXPECT_EQ(fieldAt(file, 4), kPluginId);
    EXPECT_EQ(0, std::memcmp(&file[8], "0001!Lighthouse\0", 16));
    EXPECT_EQ(file[36], 0);
    EXPECT_EQ(std::bit_cast<float>(fieldAt(file, 37 + 4 * 96)), 1.0f);
}

TEST(PresetFile, DecodesWhatWasEncoded) {
    PresetRecord original = sampleRecord();
    Bytes file = presetFileOf(original);
    PresetRecord decoded;
    ASSERT_EQ(readPresetFile(file.data(), file.size(), decoded), ReadStatus::kOk);
    EXPECT_STREQ(decoded.name, "Lighthouse");
    EXPECT_EQ(0, std::memcmp(decoded.values, original.values, sizeof original.values));
}

TEST(PresetFile, ReEncodingANativeFileChangesOnlyTheVersion) {
    Bytes file = presetFileOf(sampleRecord());
    std::memcpy(&file[8], "0A7z", 4);  // written by some other version
    PresetRecord decoded;
    ASSERT_EQ(readPresetFile(file.data(), file.size(), decoded), ReadStatus::kOk);
    Bytes again = presetFileOf(decoded);
    for (std::size_t k = 0; k < file.size(); ++k)
        if (k < 8 || k >= 12) {
            ASSERT_EQ(again[k], file[k]) << k;
        }
    EXPECT_EQ(0, std::memcmp(&again[8], "0001", 4));
}

TEST(PresetFile, ReversedByteOrderIsAccepted) {
    Bytes file = presetFileOf(sampleRecord());
    reverseField(file, 0);
    reverseField(file, 4);
    reverseField(file, 8);
    for (int i = 0; i < param::kNumPresetValues; ++i) reverseField(file, 37 + 4 * i);
    PresetRecord decoded;
    ASSERT_EQ(readPresetFile(file.data(), file.size(), decoded), ReadStatus::kOk);
    PresetRecord original = sampleRecord();
    EXPECT_STREQ(decoded.name, original.name);
    EXPECT_EQ(0, std::memcmp(decoded.values, original.values, sizeof original.values));
}

TEST(PresetFile, RefusalsChangeNothing) {
    const Bytes good = presetFileOf(sampleRecord());
    struct Case {
        const char* what;
        Bytes bytes;
        ReadStatus expected;
    };
    Bytes bankKind = good, magic = good, id = good, idReversedOnly = good;
    bankKind[12] = '7';
    putField(magic, 0, 12345679);
    putField(id, 4, 0x56524859);
    reverseField(idReversedOnly, 4);  // magic says native, ID says reversed
    const Case cases[] = {{"kind 7", bankKind, ReadStatus::kWrongKind},
                          {"magic", magic, ReadStatus::kWrongMagic},
                          {"ID", id, ReadStatus::kUnknownId},
                          {"ID in the other order", idReversedOnly, ReadStatus::kUnknownId},
                          {"empty", Bytes(), ReadStatus::kWrongMagic},
                          {"head cut before the kind", Bytes(good.begin(), good.begin() + 12), ReadStatus::kWrongKind}};
    for (const Case& c : cases) {
        PresetRecord record;
        std::memset(static_cast<void*>(&record), 0x5C, sizeof record);
        PresetRecord untouched = record;
        const std::uint8_t none = 0;
        EXPECT_EQ(readPresetFile(c.bytes.empty() ? &none : c.bytes.data(), c.bytes.size(), record), c.expected)
            << c.what;
        EXPECT_EQ(0, std::memcmp(&record, &untouched, sizeof record)) << c.what;
    }
    PresetRecord record;
    EXPECT_EQ(readPresetFile(nullptr, 1701, record), ReadStatus::kNoData);
}

TEST(PresetFile, ShortFileIsReadAsFarAsItGoes) {
    PresetRecord original = sampleRecord();
    Bytes file = presetFileOf(original);
    // Cut in the middle of value 10: values 0..9 survive, the rest reads as 0.
    const std::size_t cut = 37 + 4 * 10 + 2;
    Bytes shortFile(file.begin(), file.begin() + cut);
    PresetRecord decoded;
    std::memset(static_cast<void*>(&decoded), 0x5C, sizeof decoded);
    ASSERT_EQ(readPresetFile(shortFile.data(), shortFile.size(), decoded), ReadStatus::kOk);
    EXPECT_STREQ(decoded.name, "Lighthouse");
    for (int i = 0; i < 10; ++i) EXPECT_EQ(decoded.values[i], original.values[i]) << i;
    std::uint32_t partial = std::bit_cast<std::uint32_t>(original.values[10]) & 0xffffu;
    EXPECT_EQ(decoded.values[10], sanitizeStoredValue(std::bit_cast<float>(partial)));
    for (int i = 11; i < param::kNumPresetValues; ++i) ASSERT_EQ(decoded.values[i], 0.0f) << i;

    // A file cut inside the name keeps what is there.
    Bytes inName(file.begin(), file.begin() + 13 + 5);
    ASSERT_EQ(readPresetFile(inName.data(), inName.size(), decoded), ReadStatus::kOk);
    EXPECT_STREQ(decoded.name, "Light");
}

TEST(PresetFile, LongerInputIsReadOnlyUpToTheLayout) {
    Bytes file = presetFileOf(sampleRecord());
    file.resize(5000, 0xFF);
    PresetRecord decoded;
    ASSERT_EQ(readPresetFile(file.data(), file.size(), decoded), ReadStatus::kOk);
    EXPECT_EQ(presetFileOf(decoded), presetFileOf(sampleRecord()));
}

// --- bank files ---------------------------------------------------------------

TEST(BankFile, RoundTripsByteForByte) {
    auto bank = sampleBank();
    Bytes file = bankFileOf(*bank);
    ASSERT_EQ(file.size(), 108045u);
    EXPECT_EQ(file[12], '7');
    auto decoded = std::make_unique<PresetBank>();
    ASSERT_EQ(readBankFile(file.data(), file.size(), *decoded), ReadStatus::kOk);
    EXPECT_EQ(bankFileOf(*decoded), file);
}

TEST(BankFile, ReversedByteOrderIsAccepted) {
    auto bank = sampleBank();
    Bytes file = bankFileOf(*bank);
    for (std::size_t offset = 0; offset < 12; offset += 4) reverseField(file, offset);
    reverseRecords(file, kFileHeadSize);
    auto decoded = std::make_unique<PresetBank>();
    ASSERT_EQ(readBankFile(file.data(), file.size(), *decoded), ReadStatus::kOk);
    EXPECT_EQ(bankFileOf(*decoded), bankFileOf(*bank));
}

TEST(BankFile, PresetFileIsRefusedAsBankAndTheReverse) {
    Bytes preset = presetFileOf(sampleRecord());
    auto bank = std::make_unique<PresetBank>();
    EXPECT_EQ(readBankFile(preset.data(), preset.size(), *bank), ReadStatus::kWrongKind);
    Bytes bankFile = bankFileOf(*sampleBank());
    PresetRecord record;
    EXPECT_EQ(readPresetFile(bankFile.data(), bankFile.size(), record), ReadStatus::kWrongKind);
}

TEST(BankFile, ShortFileFillsTheMissingPresetsWithZero) {
    auto bank = sampleBank();
    Bytes file = bankFileOf(*bank);
    file.resize(kFileHeadSize + 2 * kRecordSize + 10);  // two presets and a piece of the third name
    auto store = busyStore();
    ASSERT_TRUE(store->loadBankImage(1, file.data(), file.size()));
    EXPECT_STREQ(store->record(1, 0)->name, "Preset 0");
    EXPECT_STREQ(store->record(1, 1)->name, "Preset 1");
    EXPECT_STREQ(store->record(1, 2)->name, "Preset 2");
    EXPECT_EQ(store->value(1, 1, 415), bank->presets[1].values[415]);
    EXPECT_EQ(store->value(1, 2, 0), 0.0f);
    EXPECT_STREQ(store->record(1, 63)->name, "");
    EXPECT_EQ(store->value(1, 63, 200), 0.0f);
}

TEST(BankFile, LoadAndSaveThroughTheStore) {
    auto store = busyStore();
    auto before = busyStore();
    Bytes file = bankFileOf(*sampleBank());
    ASSERT_TRUE(store->loadBankImage(0, file.data(), file.size()));
    Bytes saved(kBankFileSize);
    store->writeBankImage(0, saved.data());
    EXPECT_EQ(saved, file);
    // The other banks and the selection are untouched.
    for (int p = 0; p < kPresetsPerBank; ++p) {
        EXPECT_STREQ(store->record(1, p)->name, before->record(1, p)->name);
        EXPECT_EQ(store->value(2, p, 7), before->value(2, p, 7));
    }
    EXPECT_EQ(store->currentBank(), 2);

    Bytes refused = file;
    refused[12] = '!';
    EXPECT_FALSE(store->loadBankImage(1, refused.data(), refused.size()));
    EXPECT_STREQ(store->record(1, 0)->name, before->record(1, 0)->name);
}

// --- hostile input --------------------------------------------------------------

// Fixed hostile cases: each must be refused or read into sane data, without
// reading outside the input (ASan watches).
TEST(HostileInput, RegressionCorpusIsReadSafely) {
    auto bank = std::make_unique<PresetBank>();
    PresetRecord record;
    const std::uint8_t magicOnly[] = {0x4e, 0x61, 0xbc, 0x00};
    const std::uint8_t headOnly[] = {0x4e, 0x61, 0xbc, 0x00, 'X', 'H', 'R', 'V', '0', '0', '0', '1', '!'};
    const std::uint8_t reversedHeadOnly[] = {0x00, 0xbc, 0x61, 0x4e, 'V', 'R', 'H', 'X', '1', '0', '0', '0', '7'};
    EXPECT_EQ(readPresetFile(magicOnly, sizeof magicOnly, record), ReadStatus::kUnknownId);
    ASSERT_EQ(readPresetFile(headOnly, sizeof headOnly, record), ReadStatus::kOk);
    EXPECT_STREQ(record.name, "");
    expectSane(record);
    ASSERT_EQ(readBankFile(reversedHeadOnly, sizeof reversedHeadOnly, *bank), ReadStatus::kOk);
    for (const PresetRecord& r : bank->presets) expectSane(r);

    // All bytes 0xFF: the floats are NaN, the names 24 characters of 0xFF.
    Bytes allOnes(kPresetFileSize, 0xFF);
    std::memcpy(allOnes.data(), headOnly, sizeof headOnly);
    ASSERT_EQ(readPresetFile(allOnes.data(), allOnes.size(), record), ReadStatus::kOk);
    expectSane(record);
    EXPECT_EQ(std::strlen(record.name), 24u);
    for (float v : record.values) EXPECT_EQ(v, 0.0f);

    Bytes chunk(kChunkSize, 0xFF);
    putField(chunk, 0, kChunkVersion);
    putField(chunk, 4, kPluginId);
    auto content = std::make_unique<ChunkContent>();
    ASSERT_EQ(readChunk(chunk.data(), chunk.size(), *content), ReadStatus::kOk);
    EXPECT_FALSE(content->selectionInRange());  // -1, -1
    for (const PresetBank& b : content->banks)
        for (const PresetRecord& r : b.presets) expectSane(r);
    for (std::int32_t cc : content->ccAssignments) EXPECT_EQ(cc, -1);
}

// Seeded mutations of valid images: flipped bytes, random bytes, truncation
// and extension. Readers must never crash or read outside the input, and
// anything accepted must be sane.
TEST(HostileInput, MutatedImagesNeverCrashTheReaders) {
    std::mt19937 random(20261208);
    auto store = busyStore();
    const Bytes chunk = chunkOf(*store);
    const Bytes preset = presetFileOf(sampleRecord());
    const Bytes bankFile = bankFileOf(*sampleBank());

    auto mutate = [&](Bytes bytes) {
        const int edits = std::uniform_int_distribution<int>(1, 24)(random);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            std::size_t at = std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(random);
            switch (random() % 4) {
                case 0: bytes[at] ^= static_cast<std::uint8_t>(1u << (random() % 8)); break;
                case 1: bytes[at] = static_cast<std::uint8_t>(random()); break;
                case 2: std::memset(&bytes[at & ~std::size_t(3)], 0xFF, std::min<std::size_t>(4, bytes.size() - (at & ~std::size_t(3)))); break;
                default: bytes[at] = 0; break;
            }
        }
        switch (random() % 3) {
            case 0: bytes.resize(std::uniform_int_distribution<std::size_t>(0, bytes.size())(random)); break;
            case 1: bytes.resize(bytes.size() + random() % 64, static_cast<std::uint8_t>(random())); break;
            default: break;
        }
        // An exact-size copy, so ASan catches any read past the end.
        return bytes;
    };

    auto content = std::make_unique<ChunkContent>();
    auto bank = std::make_unique<PresetBank>();
    int accepted = 0;
    for (int round = 0; round < 300; ++round) {
        Bytes p = mutate(preset);
        auto pCopy = std::make_unique<std::uint8_t[]>(p.size() + 1);
        std::memcpy(pCopy.get(), p.data(), p.size());
        PresetRecord record;
        if (readPresetFile(pCopy.get(), p.size(), record) == ReadStatus::kOk) {  // NOLINT
            ++accepted;
            expectSane(record);
        }
        Bytes b = mutate(bankFile);
        if (readBankFile(b.data(), b.size(), *bank) == ReadStatus::kOk) {
            ++accepted;
            for (const PresetRecord& r : bank->presets) expectSane(r);
        }
        if (round % 10 == 0) {
            Bytes c = mutate(chunk);
            if (readChunk(c.data(), c.size(), *content) == ReadStatus::kOk) {
                ++accepted;
                for (const PresetBank& cb : content->banks)
                    for (const PresetRecord& r : cb.presets) expectSane(r);
                for (std::int32_t cc : content->ccAssignments) EXPECT_TRUE(cc >= -1 && cc <= 127);
            }
        }
    }
    // The mutations must leave enough images valid to exercise the decoders.
    EXPECT_GT(accepted, 50);

    // Pure noise of random lengths.
    for (int round = 0; round < 200; ++round) {
        Bytes noise(random() % 2048);
        for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
        PresetRecord record;
        readPresetFile(noise.data(), noise.size(), record);
        readBankFile(noise.data(), noise.size(), *bank);
        readChunk(noise.data(), noise.size(), *content);
    }
}

TEST(HostileInput, CcAssignmentsOutsideTheControllerRangeReadAsUnassigned) {
    for (std::int32_t cc : {-1, 0, 64, 127}) EXPECT_EQ(sanitizeCcAssignment(cc), cc);
    for (std::int32_t cc : {-2, 128, 129, 1 << 30, std::numeric_limits<std::int32_t>::min()})
        EXPECT_EQ(sanitizeCcAssignment(cc), kCcUnassigned);
}
