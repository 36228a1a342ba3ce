// The preset library through the plug-in binary: chunks, files, clipboard,
// default banks and the live current preset.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "PluginHost.h"
#include "modules/ParameterLayout.h"
#include "engine/Plugin.h"
#include "engine/PresetStore.h"

using namespace vh;
using namespace vh::test;

namespace {
struct Library : PluginHost {
    Library() { EXPECT_TRUE(open()); }
    intptr_t vendor(intptr_t command, void* ptr = nullptr) { return call(vst::effVendorSpecific, kVendorCommand, command, ptr); }
    bool select(int bank, int preset) {
        int32_t selection[2] = {bank, preset};
        return vendor(kVendorSelectPreset, selection) == 1;
    }
    std::vector<uint8_t> chunk() {
        void* data = nullptr;
        intptr_t size = call(vst::effGetChunk, 0, 0, &data);
        if (!data || size <= 0) return {};
        auto* bytes = static_cast<uint8_t*>(data);
        return std::vector<uint8_t>(bytes, bytes + size);
    }
    intptr_t setChunk(std::vector<uint8_t> bytes) {
        return call(vst::effSetChunk, 0, static_cast<intptr_t>(bytes.size()), bytes.data());
    }
    std::string programName() { return text(vst::effGetProgramName, 0); }
};

std::string tempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::to_string(getpid()) + "-" + name)).string();
}

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void reverse32(std::vector<uint8_t>& bytes, size_t offset) { std::reverse(bytes.begin() + offset, bytes.begin() + offset + 4); }

// Every 32-bit field of a chunk byte-reversed, as a host of the other byte
// order would have stored it.
std::vector<uint8_t> byteReversedChunk(std::vector<uint8_t> c) {
    for (size_t o = 0; o < 32; o += 4) reverse32(c, o);
    for (int b = 0; b < kNumBanks; ++b)
        for (int p = 0; p < kPresetsPerBank; ++p) {
            size_t record = kChunkHeadSize + b * kBankFileSize + kFileHeadSize + p * kRecordSize;
            for (int i = 0; i < param::kNumPresetValues; ++i) reverse32(c, record + kPresetNameLength + 4 * i);
        }
    for (int e = 0; e < kNumCcAssignments; ++e) reverse32(c, kChunkCcOffset + 4 * e);
    return c;
}
}  // namespace

TEST(PresetEngine, StartsInBankZeroPresetZero) {
    Library host;
    EXPECT_EQ(host.programName(), "[flat]");
    int32_t selection[2] = {-1, -1};
    ASSERT_EQ(host.vendor(kVendorGetSelection, selection), 1);
    EXPECT_EQ(selection[0], 0);
    EXPECT_EQ(selection[1], 0);
    VendorPresetName name{1, 10, {}};
    ASSERT_EQ(host.vendor(kVendorGetPresetName, &name), 1);
    EXPECT_STREQ(name.name, "Doppler");
    EXPECT_EQ(host.chunk().size(), 324211u);
}

TEST(PresetEngine, EditsStayWithTheirPreset) {
    Library host;
    host.set(param::kInput, 0.25f);
    ASSERT_TRUE(host.select(0, 1));
    EXPECT_EQ(host.programName(), "Lighthouse");
    EXPECT_FLOAT_EQ(host.get(param::kInput), 0.5f);
    ASSERT_TRUE(host.select(0, 0));
    EXPECT_FLOAT_EQ(host.get(param::kInput), 0.25f);
    EXPECT_FALSE(host.select(3, 0));
    EXPECT_FALSE(host.select(0, 64));
}

TEST(PresetEngine, ChunkRoundTripRestoresEverything) {
    Library a;
    a.set(param::kMix, 0.3f);
    a.call(vst::effSetProgramName, 0, 0, const_cast<char*>("My Sound"));
    ASSERT_TRUE(a.select(2, 5));
    a.set(param::kOutput, 0.7f);
    auto bytes = a.chunk();

    Library b;
    ASSERT_EQ(b.setChunk(bytes), 0);
    EXPECT_EQ(b.programName(), a.programName());
    EXPECT_FLOAT_EQ(b.get(param::kOutput), 0.7f);
    EXPECT_EQ(b.chunk(), bytes);
    ASSERT_TRUE(b.select(0, 0));
    EXPECT_EQ(b.programName(), "My Sound");
    EXPECT_FLOAT_EQ(b.get(param::kMix), 0.3f);
}

TEST(PresetEngine, ByteReversedChunkGivesTheSameState) {
    Library a;
    a.set(param::kInput, 0.123f);
    auto native = a.chunk();
    Library b;
    ASSERT_EQ(b.setChunk(byteReversedChunk(native)), 0);
    EXPECT_EQ(b.chunk(), native);
    EXPECT_FLOAT_EQ(b.get(param::kInput), 0.123f);
}

TEST(PresetEngine, BadChunksAreRefusedAndChangeNothing) {
    Library host;
    host.set(param::kMix, 0.4f);
    auto good = host.chunk();
    auto shorter = good;
    shorter.pop_back();
    EXPECT_EQ(host.setChunk(shorter), -1);
    auto wrongVersion = good;
    wrongVersion[3] = 2;
    EXPECT_EQ(host.setChunk(wrongVersion), -1);
    auto foreign = good;
    foreign[4] ^= 0x5A;
    EXPECT_EQ(host.setChunk(foreign), -1);
    EXPECT_EQ(host.call(vst::effSetChunk, 0, 324211, nullptr), -1);
    EXPECT_EQ(host.chunk(), good);
}

TEST(PresetEngine, OutOfRangeSelectionKeepsTheSelectionButFollowsTheNewStore) {
    Library a;
    auto bytes = a.chunk();
    // Preset 0 of bank 0 in the new chunk has a different mix; its selection
    // fields point nowhere.
    size_t mixOffset = kChunkHeadSize + kFileHeadSize + kPresetNameLength + 4 * param::kMix;
    float mix = 0.25f;
    std::memcpy(&bytes[mixOffset], &mix, 4);
    int32_t bad = 99;
    std::memcpy(&bytes[12], &bad, 4);
    Library b;
    ASSERT_EQ(b.setChunk(bytes), 0);
    int32_t selection[2];
    b.vendor(kVendorGetSelection, selection);
    EXPECT_EQ(selection[0], 0);
    EXPECT_EQ(selection[1], 0);
    EXPECT_FLOAT_EQ(b.get(param::kMix), 0.25f);
}

TEST(PresetEngine, ChunkCarriesControllerAssignments) {
    Library a;
    auto bytes = a.chunk();
    int32_t cc = 74;
    std::memcpy(&bytes[kChunkCcOffset + 4 * 2], &cc, 4);  // KNOB3
    Library b;
    ASSERT_EQ(b.setChunk(bytes), 0);
    b.sendMidi({{{0, 0xB0, 74, 127}}});
    std::vector<float> l(64, 0.0f), r(64, 0.0f);
    b.process(l, r, 64);
    EXPECT_FLOAT_EQ(b.get(param::kKnob1 + 2), 1.0f);
    ASSERT_FALSE(b.automations.empty());
    EXPECT_EQ(b.automations.back().index, 6);
    auto again = b.chunk();
    EXPECT_EQ(std::memcmp(&again[kChunkCcOffset], &bytes[kChunkCcOffset], 44), 0);
}

TEST(PresetEngine, PresetFileRoundTripIsByteIdentical) {
    Library host;
    host.set(param::kInput, 0.61f);
    host.call(vst::effSetProgramName, 0, 0, const_cast<char*>("Saved"));
    std::string first = tempPath("first.vrp"), second = tempPath("second.vrp");
    ASSERT_EQ(host.vendor(kVendorSavePresetFile, const_cast<char*>(first.c_str())), 1);
    auto bytes = readAll(first);
    ASSERT_EQ(bytes.size(), 1701u);
    Library other;
    ASSERT_EQ(other.vendor(kVendorLoadPresetFile, const_cast<char*>(first.c_str())), 1);
    EXPECT_EQ(other.programName(), "Saved");
    EXPECT_FLOAT_EQ(other.get(param::kInput), 0.61f);
    ASSERT_EQ(other.vendor(kVendorSavePresetFile, const_cast<char*>(second.c_str())), 1);
    EXPECT_EQ(readAll(second), bytes);
    // A bank file offered as a preset is refused and changes nothing.
    std::string bank = tempPath("bank.vrb");
    VendorBankFile request{1, bank.c_str()};
    ASSERT_EQ(other.vendor(kVendorSaveBankFile, &request), 1);
    EXPECT_EQ(readAll(bank).size(), 108045u);
    EXPECT_EQ(other.vendor(kVendorLoadPresetFile, const_cast<char*>(bank.c_str())), 0);
    EXPECT_EQ(other.programName(), "Saved");
    EXPECT_EQ(other.vendor(kVendorLoadPresetFile, const_cast<char*>("/nonexistent/x.vrp")), 0);
    for (auto& p : {first, second, bank}) std::remove(p.c_str());
}

TEST(PresetEngine, LoadingABankIntoTheCurrentBankAppliesItsFirstPreset) {
    Library a;
    ASSERT_TRUE(a.select(1, 0));
    a.set(param::kOutput, 0.2f);
    std::string bank = tempPath("bank1.vrb");
    VendorBankFile save{1, bank.c_str()};
    ASSERT_EQ(a.vendor(kVendorSaveBankFile, &save), 1);

    Library b;
    VendorBankFile load{0, bank.c_str()};
    ASSERT_EQ(b.vendor(kVendorLoadBankFile, &load), 1);
    EXPECT_EQ(b.programName(), "Vowel Delay");
    EXPECT_FLOAT_EQ(b.get(param::kOutput), 0.2f);
    std::remove(bank.c_str());
}

TEST(PresetEngine, ClipboardCopiesAndPastes) {
    Library a;
    a.set(param::kMix, 0.9f);
    ASSERT_EQ(a.vendor(kVendorCopyPreset), 1);
    Library b;
    ASSERT_TRUE(b.select(0, 3));
    ASSERT_EQ(b.vendor(kVendorPastePreset), 1);
    EXPECT_FLOAT_EQ(b.get(param::kMix), 0.9f);
    EXPECT_EQ(b.programName(), "[flat]");
}

TEST(PresetEngine, DefaultBankReplacesTheFactoryUntilRemoved) {
    {
        Library a;
        a.call(vst::effSetProgramName, 0, 0, const_cast<char*>("Mine"));
        int32_t bank = 0;
        ASSERT_EQ(a.vendor(kVendorSaveDefaultBank, &bank), 1);
    }
    {
        Library b;
        EXPECT_EQ(b.programName(), "Mine");
        int32_t bank = 0;
        ASSERT_EQ(b.vendor(kVendorRemoveDefaultBank, &bank), 1);
    }
    Library c;
    EXPECT_EQ(c.programName(), "[flat]");
}

TEST(PresetEngine, FoldersAreRememberedAcrossInstances) {
    std::string path = tempPath("remember.vrp");
    {
        Library a;
        ASSERT_EQ(a.vendor(kVendorSavePresetFile, const_cast<char*>(path.c_str())), 1);
    }
    Plugin plugin([](vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) -> intptr_t {
        return opcode == vst::audioMasterVersion ? 2400 : 0;
    });
    EXPECT_EQ(plugin.currentDirectory(), std::filesystem::temp_directory_path().string());
    EXPECT_EQ(plugin.lastPresetFile(), std::to_string(getpid()) + "-remember.vrp");
    std::remove(path.c_str());
}

TEST(PresetEngine, SaveAsDefaultPreferencesReachNewInstances) {
    {
        Library a;
        a.set(param::kTempoSync, 0.1f);  // manual tempo
        a.set(param::kTempo, 0.5f);
        a.set(param::kSaveAsDefault, 0.75f);  // a click toggles the control
        a.set(param::kMeterFalloff, 1.0f);
        a.set(param::kReportLatency, 0.75f);
        a.set(param::kSaveAsDefault, 0.25f);  // and so does the next: both store
        a.set(param::kTempo, 0.9f);
        a.set(param::kSaveAsDefault, 0.25f);  // the same value again is no click
    }
    {
        Library b;
        EXPECT_FLOAT_EQ(b.get(param::kTempoSync), 0.1f);
        EXPECT_FLOAT_EQ(b.get(param::kTempo), 0.5f);
        EXPECT_FLOAT_EQ(b.get(param::kMeterFalloff), 1.0f);
        EXPECT_EQ(b.display(param::kTempo), "165.00");
        EXPECT_EQ(b.display(param::kReportLatency), "on");
    }
    // Garbage in the stored value is ignored line by line.
    std::string folder = std::string(std::getenv("XDG_CONFIG_HOME")) + "/Vornwerk/VornHalyx/Preferences";
    {
        std::ofstream f(folder);
        f << "277=nan\n999=1\n421=0.25\nrubbish\n";
    }
    Library c;
    EXPECT_FLOAT_EQ(c.get(param::kMeterFalloff), 0.25f);
    EXPECT_FLOAT_EQ(c.get(param::kTempo), 1.0f / 3.0f);  // a non-number is skipped
    std::remove(folder.c_str());
}
