// Factory banks: the shipped text parses cleanly, every name is exact, the
// "[flat]" values are right, and the parser rejects what a sound designer
// could get wrong. Also the engine-level parameter names the parser uses.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/FactoryPresets.h"
#include "engine/ParameterNames.h"
#include "modules/Conversions.h"
#include "modules/ModuleTypes.h"

using namespace vh;

namespace {

const char* const kBank1Names[64] = {
    "[flat]", "Lighthouse", "Amboseli", "Rotten Rhodes", "Laryngitis", "Smooth Operator", "Pythia",
    "We are not alone", "Nanosphere", "Ginger", "Infernal Affair", "Octasub", "Energy Storm", "Abyss",
    "Filet Mignon", "Kyoto", "Mole", "Socotra", "Two-band Phaser", "Sitar", "Ice Shelf", "Texture",
    "Phased Slap", "Labyrinth", "Morning Mist", "Lucy In The Sky", "Bitbusters", "Annihilation",
    "Painkiller", "Tryptamine", "Pocket Choir", "Zion", "Sour Lemon", "Raindrop", "Tropopause", "Tremor",
    "Metane Dew", "Ripplemark", "Duotone", "Good Vibes", "How Bizarre", "Made In China", "In Tension",
    "Favela", "Escape Velocity", "Gimme Fifth", "Dubselekta", "Maggot", "Candy Flipping", "Earthworm",
    "Wah Lead", "Strong Hit", "Toxic Haze", "Diffraction", "Cholesterol", "Septymator", "Green Flash",
    "PsycheDelisse", "Synapsis", "Stolen Glance", "Squeezer", "Free Spirit", "Friction", "Sargasso Sea",
};
const char* const kBank2Names[64] = {
    "Vowel Delay", "Bending Hit", "Rebirth", "Triple Phaser", "Utter Madness", "Scattering Keys",
    "Mental Osmosis", "Primal Therapy", "Hasta La Vista", "Walking Chorus", "Doppler", "Black Pearl",
    "Elves", "Sirloin", "Pseudo Stereo", "Don't Cry Baby", "Magma", "Traffic", "Sandworm", "Rattlesnake",
    "Restlessness", "Metamorphosis", "Used To Drive That Crate", "Clockwork", "Boys In The Garage",
    "X-delay", "Morphine", "Low Tide", "Pacemaker", "Inferval", "Hibernation Dream", "Guitar Wax",
    "Pad Mover", "Frogger", "Interference", "Fluctuator", "Vaporizer", "Divergence", "Poor Man's Rig",
    "Envelope Filter", "Crusade", "Cold Plasma", "Acne", "Group Life", "Aphrodisiac", "Brute Force",
    "Anaesthesia", "Blizzard", "Black Light", "Ascaris", "Mannequin", "Traveller", "Z-Funk", "Honkey",
    "Sixteen Steps To Heaven", "Vacuum", "Weird Room", "Storyteller", "Deesser", "Bass Polluter",
    "Wallpaper", "Vanadium", "Brain Teaser", "Betatron",
};
const char* const kBank3Names[64] = {
    "E-Bow", "LP Filter 12/24dB LFO", "HP Filter 12/24dB LFO", "BP Filter 12/24dB LFO",
    "LP Filter 24/48dB ENV", "Moog Filter LFO & ENV", "LP-HP Morph Filter LFO", "LP-LP Morph Filter LFO",
    "Formant Morph Filter LFO", "Shelving EQ", "Peaking EQ", "Simple Flanger", "Quadra Flanger",
    "Simple Phaser", "Quadra Phaser", "Detuner", "Pitch Shifter", "Harmonizer", "Vibrato", "Hall Reverb",
    "Cathedral Reverb", "Room Reverb", "FX Reverb", "Tremolo", "Ultra Chorus", "Compressor", "Expander",
    "Keyed Gate", "Ducked Delay", "Twin Delay", "Bitcrusher / Decimator", "Distortion A", "Distortion B",
    "Stereo Balance / Width", "Channel Panner", "Hum Remover 50Hz", "Hum Remover 60Hz", "Detuned Delay",
    "Tape Delay", "Doubler", "Slapback", "Autofilter", "Subflanger", "El Cheapo", "Rotary Speaker Chorale",
    "Rotary Speaker Tremolo", "Graphic EQ", "Gated Reverb", "Reversed Reverb", "Grunger", "Drum Tweaker",
    "Quad Filter", "Crossover Gate", "Low-Pass Noise Gate", "Club Reverb", "Resonator", "Floating Comp",
    "Chroma Delay", "Morello Mod", "Morphing Decay", "Notch Filter Sweep", "Amp My Rhodes",
    "Two-Band Compressor", "Good Bye",
};
const char* const* const kBankNames[kNumBanks] = {kBank1Names, kBank2Names, kBank3Names};

std::string describe(const std::vector<FactoryParseError>& errors) {
    std::string text;
    for (const FactoryParseError& e : errors)
        text += "bank" + std::to_string(e.bank + 1) + ".txt:" + std::to_string(e.line) + ": " + e.message + "\n";
    return text;
}

std::unique_ptr<PresetBank[]> shippedBanks() {
    auto banks = std::make_unique<PresetBank[]>(kNumBanks);
    std::vector<FactoryParseError> errors;
    EXPECT_TRUE(buildFactoryBanks(banks.get(), &errors)) << describe(errors);
    return banks;
}

// A bank text of 64 blocks; `firstBody` goes into the first one.
std::string bankText(const std::string& firstBody, int presets = kPresetsPerBank) {
    std::string text;
    for (int p = 0; p < presets; ++p) {
        text += "preset \"P" + std::to_string(p) + "\"\n";
        if (p == 0) text += firstBody;
    }
    return text;
}

struct Parsed {
    std::unique_ptr<PresetBank> bank = std::make_unique<PresetBank>();
    std::vector<FactoryParseError> errors;
    const float* values() const { return bank->presets[0].values; }
};

Parsed parse(const std::string& text) {
    Parsed parsed;
    parseFactoryBank(text.c_str(), 0, *parsed.bank, parsed.errors);
    return parsed;
}

// The error a single faulty line gives, checked to be reported on that line.
std::string errorOf(const std::string& line) {
    Parsed parsed = parse(bankText(line + "\n"));
    if (parsed.errors.size() != 1) return "expected one error, got:\n" + describe(parsed.errors);
    EXPECT_EQ(parsed.errors[0].line, 2) << line;
    return parsed.errors[0].message;
}

}  // namespace

TEST(FactoryPresets, ShippedBanksParseWithoutErrors) {
    for (int b = 0; b < kNumBanks; ++b) {
        ASSERT_NE(factoryBankText(b), nullptr);
        auto bank = std::make_unique<PresetBank>();
        std::vector<FactoryParseError> errors;
        EXPECT_TRUE(parseFactoryBank(factoryBankText(b), b, *bank, errors)) << describe(errors);
    }
    EXPECT_EQ(factoryBankText(3), nullptr);
}

// The build embeds the text files; a stale embedding would ship presets the
// sound designer never wrote.
TEST(FactoryPresets, EmbeddedTextMatchesTheFilesInTheSourceTree) {
    for (int b = 0; b < kNumBanks; ++b) {
        const std::string path = std::string(VH_SOURCE_DIR) + "/resources/presets/bank" + std::to_string(b + 1) + ".txt";
        std::ifstream file(path, std::ios::binary);
        ASSERT_TRUE(file.good()) << path;
        std::stringstream text;
        text << file.rdbuf();
        EXPECT_EQ(text.str(), factoryBankText(b)) << path;
    }
}

TEST(FactoryPresets, AllNamesAreExact) {
    auto banks = shippedBanks();
    for (int b = 0; b < kNumBanks; ++b)
        for (int p = 0; p < kPresetsPerBank; ++p) EXPECT_STREQ(banks[b].presets[p].name, kBankNames[b][p]) << b << ":" << p;
}

TEST(FactoryPresets, FlatHoldsTheListedValues) {
    using namespace param;
    auto banks = shippedBanks();
    const float* v = banks[0].presets[0].values;
    EXPECT_EQ(v[kPower], 1.0f);
    EXPECT_EQ(v[kInput], 0.5f);
    EXPECT_EQ(v[kMix], 1.0f);
    EXPECT_EQ(v[kOutput], 0.5f);
    for (int k = 0; k < kNumKnobs; ++k) EXPECT_EQ(v[kKnob1 + k], 0.0f);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(v[kOpType1 + s], 0.0f);   // GAIN
        EXPECT_EQ(v[kModType1 + s], 0.0f);  // EMPTY
        EXPECT_EQ(v[opParam(s, 0)], 1.0f);  // GAIN at 0 dB
        EXPECT_EQ(v[kOpBypass1 + s], 0.0f);
        EXPECT_EQ(v[kModBypass1 + s], 0.0f);
    }
    EXPECT_EQ(v[kInToOp1], 1.0f);
    EXPECT_EQ(v[kOpToOut1 + 3], 1.0f);
    // The serial chain whose three one-sample links the dry delay matches.
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) EXPECT_EQ(v[kOpToOp + 4 * a + b], b == a + 1 ? 1.0f : 0.0f) << a << "->" << b;
    for (int s = 1; s < 4; ++s) EXPECT_EQ(v[kInToOp1 + s], 0.0f);
    for (int s = 0; s < 3; ++s) EXPECT_EQ(v[kOpToOut1 + s], 0.0f);
    EXPECT_EQ(v[kTempo], 1.0f / 3.0f);
    EXPECT_EQ(v[kPpqOffset], 0.0f);
    for (int k = 0; k < kNumModSlots; ++k) {
        EXPECT_EQ(v[kSlotSource1 + k], 1.0f);
        EXPECT_EQ(v[kSlotDest1 + k], 1.0f);
        EXPECT_EQ(v[kSlotSens1 + k], 0.5f);
    }
    EXPECT_EQ(v[kOutLimiter], 0.09375f);
    EXPECT_EQ(v[kTempoSync], 0.375f);
    EXPECT_EQ(v[kOpLrMs], 0.0f);
    EXPECT_EQ(v[kOpInv], 0.0f);
    EXPECT_EQ(v[kSlotStatus], 0.0f);
    EXPECT_EQ(v[kDryDly], 0.00038f);
    // 3 samples at 44.1 kHz: truncate(32769 v) quarter samples.
    EXPECT_EQ(static_cast<int>(32769.0f * v[kDryDly]) / 4, 3);
    for (int i = kKnobNames; i < kKnobNames + kNumKnobs * kKnobNameLength; ++i) EXPECT_EQ(v[i], 0.0f);
    for (int i = kReserved; i < kNumAutomatable; ++i) EXPECT_EQ(v[i], 0.0f);
}

// Every designed preset is a patch of its own; only a bank still waiting for
// its sound designer may hold copies of "[flat]".
TEST(FactoryPresets, NoTwoDesignedPresetsAreTheSamePatch) {
    auto banks = shippedBanks();
    const float* flat = banks[0].presets[0].values;
    auto same = [](const float* a, const float* b) { return std::memcmp(a, b, sizeof(PresetRecord::values)) == 0; };
    std::vector<std::pair<int, const float*>> designed;
    for (int b = 0; b < kNumBanks; ++b)
        for (int p = 0; p < kPresetsPerBank; ++p) {
            const float* values = banks[b].presets[p].values;
            if ((b == 0 && p == 0) || same(values, flat)) continue;
            for (const auto& [id, other] : designed)
                EXPECT_FALSE(same(values, other)) << b << ":" << p << " repeats " << id / 64 << ":" << id % 64;
            designed.emplace_back(b * 64 + p, values);
        }
}

// All three banks are designed: no preset but "[flat]" itself holds its values.
TEST(FactoryPresets, EveryPresetButFlatIsDesigned) {
    auto banks = shippedBanks();
    const float* flat = banks[0].presets[0].values;
    for (int b = 0; b < kNumBanks; ++b)
        for (int p = (b == 0 ? 1 : 0); p < kPresetsPerBank; ++p)
            EXPECT_NE(0, std::memcmp(banks[b].presets[p].values, flat, sizeof(PresetRecord::values))) << b << ":" << p;
}

// A designed preset names each knob it wires to a parameter and calls the
// others "UNUSED", so a player never turns a knob that does nothing.
TEST(FactoryPresets, DesignedPresetsNameExactlyTheKnobsTheyWire) {
    using namespace param;
    auto banks = shippedBanks();
    const float* flat = banks[0].presets[0].values;
    for (int b = 0; b < kNumBanks; ++b)
        for (int p = 0; p < kPresetsPerBank; ++p) {
            const float* v = banks[b].presets[p].values;
            if ((b == 0 && p == 0) || std::memcmp(v, flat, sizeof(PresetRecord::values)) == 0) continue;
            const int switchedOff = discreteIndex(v[kSlotStatus], 65536);
            for (int k = 0; k < kNumKnobs; ++k) {
                std::string name;
                for (int c = 0; c < kKnobNameLength; ++c) {
                    const int code = discreteIndex(v[kKnobNames + kKnobNameLength * k + c], 128);
                    if (code == 0) break;
                    name += static_cast<char>(code);
                }
                bool wired = false;
                for (int slot = 0; slot < kNumModSlots; ++slot)
                    wired = wired || (discreteIndex(v[kSlotSource1 + slot], kNumSources) == 4 + k &&
                                      discreteIndex(v[kSlotDest1 + slot], kNumDestinations) != kDestinationNone &&
                                      v[kSlotSens1 + slot] != 0.5f && !(switchedOff >> slot & 1));
                const std::string where = banks[b].presets[p].name + std::string(" KNOB") + std::to_string(k + 1);
                EXPECT_FALSE(name.empty()) << where;
                EXPECT_EQ(wired, name != "UNUSED") << where << " \"" << name << "\"";
            }
        }
}

TEST(FactoryPresets, StoreLoadsTheFactoryContent) {
    auto store = std::make_unique<PresetStore>();
    EXPECT_TRUE(store->loadFactory());
    EXPECT_STREQ(store->currentName(), "[flat]");
    EXPECT_STREQ(store->record(2, 63)->name, "Good Bye");
    EXPECT_EQ(store->value(0, 0, param::kOutLimiter), 0.09375f);
}

// COMB, DISTORTION and REVERB call one of their parameters "type", the same
// host name as the slot's type: the second line reaches the module.
TEST(FactoryPresets, SecondTypeLineSetsTheModulesOwnTypeParameter) {
    Parsed parsed = parse(bankText("OP2 type = REVERB\nOP2 type = 0.1\nOP2 time = 0.7\n"));
    ASSERT_TRUE(parsed.errors.empty()) << describe(parsed.errors);
    EXPECT_EQ(parsed.values()[param::kOpType1 + 1], discreteValue(kOpReverb, kNumTypeSteps));
    EXPECT_EQ(parsed.values()[param::opParam(1, 3)], 0.1f);  // the reverb's algorithm
    EXPECT_EQ(parsed.values()[param::opParam(1, 0)], 0.7f);
    // A third one is a mistake.
    Parsed thrice = parse(bankText("OP2 type = COMB\nOP2 type = 0.75\nOP2 type = 0.25\n"));
    EXPECT_EQ(thrice.errors.size(), 1u) << describe(thrice.errors);
}

TEST(FactoryPresets, EmptyBlockIsTheNeutralPresetWithModuleDefaults) {
    Parsed parsed = parse(bankText(""));
    ASSERT_TRUE(parsed.errors.empty()) << describe(parsed.errors);
    float neutral[param::kNumPresetValues];
    neutralPresetValues(neutral);
    for (int i = 0; i < param::kNumPresetValues; ++i) {
        if (i >= param::kOpParams && i < param::kModType1) continue;
        ASSERT_EQ(parsed.values()[i], neutral[i]) << i;
    }
    EXPECT_EQ(parsed.values()[param::opParam(2, 0)], 1.0f);  // GAIN atten default
    EXPECT_EQ(parsed.values()[param::opParam(2, 1)], 0.0f);
}

TEST(FactoryPresets, LinesOverrideValuesInAnyOrder) {
    Parsed parsed = parse(bankText(
        "OP2 atten = 0.25   # before its type line\n"
        "OP2 type = GAIN\n"
        "MOD3 type = EMPTY\n"
        "Tempo = 3/9\n"
        "OutLimiter = 2.5/16\n"
        "IN->OP4 = 0.75\n"
        "OP3->OP1 = 1\n"
        "SLOT16 SENS = 0\n"
        "KNOB2 name = \"Cut # 2\"\n"
        "  Mix   =   0.125  \n"));
    ASSERT_TRUE(parsed.errors.empty()) << describe(parsed.errors);
    const float* v = parsed.values();
    EXPECT_EQ(v[param::opParam(1, 0)], 0.25f);
    EXPECT_EQ(v[param::kOpType1 + 1], discreteValue(0, kNumTypeSteps));
    EXPECT_EQ(v[param::kModType1 + 2], discreteValue(0, kNumTypeSteps));
    EXPECT_EQ(v[param::kTempo], 1.0f / 3.0f);
    EXPECT_EQ(v[param::kOutLimiter], 2.5f / 16.0f);
    EXPECT_EQ(v[param::kInToOp1 + 3], 0.75f);
    EXPECT_EQ(v[param::kOpToOp + 4 * 2 + 0], 1.0f);
    EXPECT_EQ(v[param::kSlotSens1 + 15], 0.0f);
    EXPECT_EQ(v[param::kMix], 0.125f);
    const char* name = "Cut # 2";
    for (int c = 0; c < kKnobNameLength; ++c) {
        const float expected = c < 7 ? discreteValue(name[c], 128) : 0.0f;
        EXPECT_EQ(v[param::kKnobNames + 8 + c], expected) << c;
        if (c < 7) {
            EXPECT_EQ(discreteIndex(v[param::kKnobNames + 8 + c], 128), name[c]);
        }
    }
    EXPECT_STREQ(parsed.bank->presets[0].name, "P0");
    EXPECT_STREQ(parsed.bank->presets[63].name, "P63");
}

TEST(FactoryPresets, TypeLabelsSelectTheirDiscreteValue) {
    Parsed parsed = parse(bankText("OP1 type = FORMANT\nOP4 type = SIDEMIX\nMOD1 type = STEP\n"));
    ASSERT_TRUE(parsed.errors.empty()) << describe(parsed.errors);
    EXPECT_EQ(discreteIndex(parsed.values()[param::kOpType1], kNumTypeSteps), 18);
    EXPECT_EQ(discreteIndex(parsed.values()[param::kOpType1 + 3], kNumTypeSteps), 16);
    EXPECT_EQ(discreteIndex(parsed.values()[param::kModType1], 64), 4);
}

TEST(FactoryPresets, MistakesAreReportedWithTheirLine) {
    EXPECT_NE(errorOf("Powr = 1").find("unknown parameter"), std::string::npos);
    EXPECT_NE(errorOf("Power = 1.5").find("outside 0..1"), std::string::npos);
    EXPECT_NE(errorOf("Power = -0.1").find("outside 0..1"), std::string::npos);
    EXPECT_NE(errorOf("Power = loud").find("not a number"), std::string::npos);
    EXPECT_NE(errorOf("Power = 0.5x").find("not a number"), std::string::npos);
    EXPECT_NE(errorOf("Power = 1/0").find("not a number"), std::string::npos);
    EXPECT_NE(errorOf("Power = nan").find("not a number"), std::string::npos);
    EXPECT_NE(errorOf("Power").find("name = value"), std::string::npos);
    EXPECT_NE(errorOf("OP1 type = GAINS").find("unknown operator type"), std::string::npos);
    EXPECT_NE(errorOf("MOD1 type = GAIN").find("unknown modulator type"), std::string::npos);
    EXPECT_NE(errorOf("OP1 cutoff = 0.5").find("GAIN has no parameter 'cutoff'"), std::string::npos);
    EXPECT_NE(errorOf("OP1 --- = 0.5").find("has no parameter"), std::string::npos);
    EXPECT_NE(errorOf("MOD2 rate = 0.5").find("EMPTY has no parameter"), std::string::npos);
    EXPECT_NE(errorOf("OP5 atten = 0.5").find("unknown parameter"), std::string::npos);
    EXPECT_NE(errorOf("KNOB1 name = \"Ninechars\"").find("longer than 8"), std::string::npos);
    EXPECT_NE(errorOf("KNOB1 name = Cut").find("double quotes"), std::string::npos);
    EXPECT_NE(errorOf("MeterHold = 0.5").find("not kept in presets"), std::string::npos);
    EXPECT_NE(errorOf("preset Unquoted").find("double quotes"), std::string::npos);

    Parsed knobTwice = parse(bankText("KNOB3 name = \"A\"\nKNOB3 name = \"B\"\n"));
    ASSERT_EQ(knobTwice.errors.size(), 1u) << describe(knobTwice.errors);
    EXPECT_EQ(knobTwice.errors[0].line, 3);

    Parsed twice = parse(bankText("Mix = 0.5\nMix = 0.25\n"));
    ASSERT_EQ(twice.errors.size(), 1u);
    EXPECT_EQ(twice.errors[0].line, 3);
    EXPECT_NE(twice.errors[0].message.find("set twice"), std::string::npos);
    EXPECT_EQ(twice.values()[param::kMix], 0.5f);
}

TEST(FactoryPresets, WrongPresetCountsAndLongNamesAreReported) {
    Parsed few = parse(bankText("", 63));
    ASSERT_EQ(few.errors.size(), 1u) << describe(few.errors);
    EXPECT_NE(few.errors[0].message.find("63 presets"), std::string::npos);
    EXPECT_STREQ(few.bank->presets[63].name, "");
    EXPECT_EQ(few.bank->presets[63].values[param::opParam(0, 0)], 1.0f);  // still a usable preset

    Parsed many = parse(bankText("", 66));
    ASSERT_EQ(many.errors.size(), 2u) << describe(many.errors);
    EXPECT_NE(many.errors[0].message.find("more than 64"), std::string::npos);

    Parsed stray = parse("Power = 1\n" + bankText(""));
    ASSERT_EQ(stray.errors.size(), 1u);
    EXPECT_EQ(stray.errors[0].line, 1);

    Parsed longName = parse("preset \"A name of twenty-five chars\"\n" + bankText("", 63));
    ASSERT_EQ(longName.errors.size(), 1u);
    EXPECT_STREQ(longName.bank->presets[0].name, "A name of twenty-five ch");
}

// --- engine parameter names ---------------------------------------------------

TEST(ParameterNames, EngineNamesFollowTheIndexLayout) {
    const std::pair<int, const char*> expected[] = {
        {0, "Power"},         {1, "Input"},       {2, "Mix"},          {3, "Output"},     {4, "KNOB1"},
        {11, "KNOB8"},        {12, "OP1 type"},   {15, "OP4 type"},    {80, "MOD1 type"}, {83, "MOD4 type"},
        {236, "SLOT1 SENS"},  {251, "SLOT16 SENS"}, {252, "DryDly"},   {253, "IN->OP1"},  {256, "IN->OP4"},
        {257, "OP1->OP1"},    {258, "OP1->OP2"},  {261, "OP2->OP1"},   {272, "OP4->OP4"}, {273, "OP1->OUT"},
        {276, "OP4->OUT"},    {277, "Tempo"},     {278, "PPQOffset"},  {279, ""},         {306, ""},
        {307, "OP1 bypass"},  {310, "OP4 bypass"}, {311, "MOD1 bypass"}, {314, "MOD4 bypass"},
        {315, "SLOT1 SRC"},   {330, "SLOT16 SRC"}, {331, "SLOT1 DST"},  {346, "SLOT16 DST"}, {347, ""},
        {410, ""},            {411, "OutLimiter"}, {412, "TempoSync"}, {413, "OP_LR_MS"},  {414, "OP_Inv"},
        {415, "SLOTStatus"},  {416, ""},          {417, "Curr OP"},    {418, "Curr MAIN"}, {419, "Curr MOD"},
        {420, "MeterHold"},   {421, "MeterFalloff"}, {435, ""},        {436, ""},         {-1, ""},
        {437, ""},            {100000, ""}};
    for (auto [index, name] : expected) {
        char text[kTextSize] = "junk";
        EXPECT_TRUE(engineParameterName(index, text)) << index;
        EXPECT_STREQ(text, name) << index;
    }
}

TEST(ParameterNames, ModuleParameterIndicesAreLeftToTheModules) {
    char text[kTextSize];
    for (int index : {16, 31, 79, 84, 121, 235}) EXPECT_FALSE(engineParameterName(index, text)) << index;
}

TEST(ParameterNames, EveryNameFindsItsOwnIndex) {
    int named = 0;
    for (int index = 0; index < param::kNumIndices; ++index) {
        char text[kTextSize];
        if (!engineParameterName(index, text) || text[0] == 0) continue;
        ++named;
        EXPECT_EQ(engineParameterIndex(text), index) << text;
    }
    EXPECT_EQ(named, 114);
    EXPECT_EQ(engineParameterIndex(""), -1);
    EXPECT_EQ(engineParameterIndex("power"), -1);
}
