#include "engine/FactoryPresets.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>

#include "engine/ParameterNames.h"
#include "engine/ModuleFactory.h"
#include "modules/ModuleTypes.h"

namespace vh {

// Generated at build time from resources/presets/bank1.txt .. bank3.txt.
extern const char* const kFactoryBankText[kNumBanks];

namespace {

// Neutral main-section values.
constexpr float kNeutralPower = 1.0f;
constexpr float kNeutralLevel = 0.5f;           // Input and Output: gain 4v^2 = 1
constexpr float kNeutralMix = 1.0f;             // fully wet
constexpr float kNeutralSensitivity = 0.5f;     // modulation amount zero
constexpr float kNeutralTempo = 1.0f / 3.0f;    // 30 + 270/3 = 120 bpm
constexpr float kNeutralSlotNone = 1.0f;        // source 148 / destination 259: none
// 3 samples at 44.1 kHz (32769 * 0.00038 = 12.45 -> 12 quarter samples):
// the dry path lines up with the wet path of a serial chain, whose three
// operator-to-operator links each add one sample.
constexpr float kNeutralDryDelay = 0.00038f;
constexpr float kNeutralLimiter = 0.09375f;     // mode 1 of 16: slow
constexpr float kNeutralTempoSync = 0.375f;     // 1 of 4: tempo from the host

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Drops a '#' comment that is not inside double quotes.
std::string_view stripComment(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (line[i] == '#' && !quoted) return line.substr(0, i);
    }
    return line;
}

bool isQuoted(std::string_view s) { return s.size() >= 2 && s.front() == '"' && s.back() == '"'; }

// "0.25" or a fraction "1.5/16"; the whole text must be the number.
bool parseValue(std::string_view text, float& value) {
    std::string s(text);
    double numerator = 0.0;
    const char* end = nullptr;
    if (!parseNumber(s.c_str(), numerator, &end)) return false;
    double x = numerator;
    if (*end == '/') {
        double denominator = 0.0;
        const char* start = end + 1;
        if (*start == ' ' || *start == '\t' || !parseNumber(start, denominator, &end) || denominator == 0.0) return false;
        x = numerator / denominator;
    }
    if (*end != 0 || !std::isfinite(x)) return false;
    value = static_cast<float>(x);
    return true;
}

int typeOfLabel(std::string_view label, bool operatorType) {
    const int count = operatorType ? kNumOperatorTypes : kNumModulatorTypes;
    for (int t = 0; t < count; ++t) {
        const char* name = operatorType ? operatorTypeLabel(t) : modulatorTypeLabel(t);
        if (label == name) return t;
    }
    return -1;
}

// One instance per type, created on first use, to answer parameter names and
// defaults.
class ModuleCatalogue {
public:
    Operator& op(int type) {
        if (!mOps[type]) mOps[type] = createOperator(type, 0, nullptr);
        return *mOps[type];
    }
    Modulator& mod(int type) {
        if (!mMods[type]) mMods[type] = createModulator(type, 0, nullptr);
        return *mMods[type];
    }

private:
    std::unique_ptr<Operator> mOps[kNumTypeSteps];
    std::unique_ptr<Modulator> mMods[kNumTypeSteps];
};

// The local index whose host name is exactly `name`, or -1. "---" marks an
// index without a parameter and never matches.
template <class Module>
int moduleParameterIndex(Module& module, std::string_view name) {
    char text[kTextSize];
    for (int i = 0; i < Module::kCapacity; ++i) {
        module.getParameterName(i, text);
        if (text[0] != 0 && std::strcmp(text, "---") != 0 && name == text) return i;
    }
    return -1;
}

struct Entry {
    int line;
    std::string key;
    std::string value;
};

struct Block {
    int line = 0;
    std::string name;
    std::vector<Entry> entries;
};

class BankParser {
public:
    BankParser(int bank, PresetBank& out, std::vector<FactoryParseError>& errors)
        : mBank(bank), mOut(out), mErrors(errors) {}

    void parse(const char* text) {
        std::string_view all(text != nullptr ? text : "");
        int lineNumber = 0;
        for (std::size_t pos = 0; pos <= all.size();) {
            std::size_t newline = all.find('\n', pos);
            std::string_view line = all.substr(pos, newline == std::string_view::npos ? all.npos : newline - pos);
            parseLine(trim(stripComment(line)), ++lineNumber);
            if (newline == std::string_view::npos) break;
            pos = newline + 1;
        }
        finishBlock();
        if (mCount != kPresetsPerBank)
            error(0, std::to_string(mCount) + " presets, " + std::to_string(kPresetsPerBank) + " expected");
        // Presets the text does not reach stay neutral and unnamed.
        for (int p = mCount; p < kPresetsPerBank; ++p) {
            mBlock = Block{};
            mOut.presets[p].setName("");
            resolve(mOut.presets[p]);
        }
    }

private:
    void error(int line, std::string message) { mErrors.push_back({mBank, line, std::move(message)}); }

    void parseLine(std::string_view line, int number) {
        if (line.empty()) return;
        if (line.substr(0, 6) == "preset" && (line.size() == 6 || line[6] == ' ' || line[6] == '\t' || line[6] == '"')) {
            finishBlock();
            std::string_view name = trim(line.substr(6));
            mInBlock = true;
            mBlock = Block{};
            mBlock.line = number;
            if (!isQuoted(name)) {
                error(number, "preset name must be in double quotes");
                return;
            }
            name = name.substr(1, name.size() - 2);
            if (name.size() > static_cast<std::size_t>(kPresetNameLength))
                error(number, "preset name longer than 24 characters: \"" + std::string(name) + "\"");
            mBlock.name = std::string(name.substr(0, kPresetNameLength));
            return;
        }
        if (!mInBlock) {
            error(number, "value outside a preset block");
            return;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            error(number, "expected 'name = value'");
            return;
        }
        mBlock.entries.push_back({number, std::string(trim(line.substr(0, equals))),
                                  std::string(trim(line.substr(equals + 1)))});
    }

    void finishBlock() {
        if (!mInBlock) return;
        mInBlock = false;
        if (mCount >= kPresetsPerBank) {
            if (mCount == kPresetsPerBank) error(mBlock.line, "more than 64 presets");
            ++mCount;
            return;
        }
        PresetRecord& record = mOut.presets[mCount++];
        record.setName(mBlock.name.c_str());
        resolve(record);
    }

    // Sets one value, refusing a second setting of the same index.
    void set(PresetRecord& record, int index, float value, const Entry& entry) {
        if (mExplicit[index]) {
            error(entry.line, "'" + entry.key + "' set twice");
            return;
        }
        if (!(value >= 0.0f && value <= 1.0f)) {
            error(entry.line, "'" + entry.key + "' = " + entry.value + " is outside 0..1");
            return;
        }
        mExplicit[index] = true;
        record.values[index] = value;
    }

    bool knobName(PresetRecord& record, const Entry& entry) {
        const std::string& key = entry.key;
        if (key.size() != 10 || key.compare(0, 4, "KNOB") != 0 || key.compare(5, 5, " name") != 0) return false;
        int knob = key[4] - '1';
        if (knob < 0 || knob >= kNumKnobs) return false;
        if (!isQuoted(entry.value)) {
            error(entry.line, "knob name must be in double quotes");
            return true;
        }
        std::string_view name = std::string_view(entry.value).substr(1, entry.value.size() - 2);
        if (name.size() > static_cast<std::size_t>(kKnobNameLength)) {
            error(entry.line, "knob name longer than 8 characters");
            return true;
        }
        if (mExplicit[param::kKnobNames + kKnobNameLength * knob]) {
            error(entry.line, "'" + entry.key + "' set twice");
            return true;
        }
        for (int c = 0; c < kKnobNameLength; ++c) {
            const int index = param::kKnobNames + kKnobNameLength * knob + c;
            int code = c < static_cast<int>(name.size()) ? static_cast<unsigned char>(name[c]) : 0;
            if (code >= 128) {
                error(entry.line, "knob names are plain ASCII");
                return true;
            }
            set(record, index, code == 0 ? 0.0f : discreteValue(code, 128), entry);
        }
        return true;
    }

    void engineValue(PresetRecord& record, int index, const Entry& entry) {
        if (index >= param::kNumPresetValues) {
            error(entry.line, "'" + entry.key + "' is not kept in presets");
            return;
        }
        const bool opType = index >= param::kOpType1 && index < param::kOpType1 + kNumOperatorSlots;
        const bool modType = index >= param::kModType1 && index < param::kModType1 + kNumModulatorSlots;
        float value = 0.0f;
        if ((opType || modType) && !entry.value.empty() && std::isalpha(static_cast<unsigned char>(entry.value[0]))) {
            int type = typeOfLabel(entry.value, opType);
            if (type < 0) {
                error(entry.line, "unknown " + std::string(opType ? "operator" : "modulator") + " type " + entry.value);
                return;
            }
            value = discreteValue(type, kNumTypeSteps);
        } else if (!parseValue(entry.value, value)) {
            error(entry.line, "'" + entry.value + "' is not a number");
            return;
        }
        set(record, index, value, entry);
    }

    // "OP<s> <name>" or "MOD<s> <name>": slot 0..3 and the module's name.
    static bool splitModuleKey(const std::string& key, bool& isOperator, int& slot, std::string_view& name) {
        std::string_view k(key);
        std::size_t prefix = 0;
        if (k.substr(0, 3) == "MOD") {
            isOperator = false;
            prefix = 3;
        } else if (k.substr(0, 2) == "OP") {
            isOperator = true;
            prefix = 2;
        } else {
            return false;
        }
        if (k.size() < prefix + 3 || k[prefix] < '1' || k[prefix] > '4' || k[prefix + 1] != ' ') return false;
        slot = k[prefix] - '1';
        name = k.substr(prefix + 2);
        return true;
    }

    void moduleValue(PresetRecord& record, const Entry& entry) {
        bool isOperator = true;
        int slot = 0;
        std::string_view name;
        if (!splitModuleKey(entry.key, isOperator, slot, name)) {
            error(entry.line, "unknown parameter '" + entry.key + "'");
            return;
        }
        const int typeIndex = isOperator ? param::kOpType1 + slot : param::kModType1 + slot;
        const int type = discreteIndex(record.values[typeIndex], kNumTypeSteps);
        int local = isOperator ? moduleParameterIndex(mCatalogue.op(type), name)
                               : moduleParameterIndex(mCatalogue.mod(type), name);
        if (local < 0) {
            char typeName[kTextSize];
            if (isOperator) mCatalogue.op(type).getTypeName(typeName);
            else mCatalogue.mod(type).getTypeName(typeName);
            error(entry.line, "'" + entry.key + "': " + typeName + " has no parameter '" + std::string(name) + "'");
            return;
        }
        float value = 0.0f;
        if (!parseValue(entry.value, value)) {
            error(entry.line, "'" + entry.value + "' is not a number");
            return;
        }
        set(record, isOperator ? param::opParam(slot, local) : param::modParam(slot, local), value, entry);
    }

    void resolve(PresetRecord& record) {
        neutralPresetValues(record.values);
        for (bool& e : mExplicit) e = false;

        // Engine parameters first, so the module types are known before the
        // module parameters are named, wherever the lines stand in the block.
        std::vector<const Entry*> moduleEntries;
        for (const Entry& entry : mBlock.entries) {
            if (knobName(record, entry)) continue;
            int index = engineParameterIndex(entry.key.c_str());
            // COMB, DISTORTION and REVERB have a parameter of their own called
            // "type", whose host name is the slot's "OP<s> type": the block's
            // second such line means that parameter.
            const bool slotType = (index >= param::kOpType1 && index < param::kOpType1 + kNumOperatorSlots) ||
                                  (index >= param::kModType1 && index < param::kModType1 + kNumModulatorSlots);
            if (index >= 0 && !(slotType && mExplicit[index])) engineValue(record, index, entry);
            else moduleEntries.push_back(&entry);
        }
        for (const Entry* entry : moduleEntries) moduleValue(record, *entry);

        for (int s = 0; s < kNumOperatorSlots; ++s) {
            Operator& op = mCatalogue.op(discreteIndex(record.values[param::kOpType1 + s], kNumTypeSteps));
            for (int i = 0; i < kOperatorParams; ++i)
                if (!mExplicit[param::opParam(s, i)]) record.values[param::opParam(s, i)] = op.getParameterDefault(i);
        }
        for (int s = 0; s < kNumModulatorSlots; ++s) {
            Modulator& mod = mCatalogue.mod(discreteIndex(record.values[param::kModType1 + s], kNumTypeSteps));
            for (int i = 0; i < kModulatorParams; ++i)
                if (!mExplicit[param::modParam(s, i)]) record.values[param::modParam(s, i)] = mod.getParameterDefault(i);
        }
    }

    int mBank;
    PresetBank& mOut;
    std::vector<FactoryParseError>& mErrors;
    ModuleCatalogue mCatalogue;
    Block mBlock;
    bool mInBlock = false;
    int mCount = 0;
    bool mExplicit[param::kNumPresetValues] = {};
};

}  // namespace

const char* factoryBankText(int bank) {
    return (bank >= 0 && bank < kNumBanks) ? kFactoryBankText[bank] : nullptr;
}

void neutralPresetValues(float* values) {
    using namespace param;
    for (int i = 0; i < kNumPresetValues; ++i) values[i] = 0.0f;
    values[kPower] = kNeutralPower;
    values[kInput] = kNeutralLevel;
    values[kMix] = kNeutralMix;
    values[kOutput] = kNeutralLevel;
    for (int k = 0; k < kNumModSlots; ++k) {
        values[kSlotSens1 + k] = kNeutralSensitivity;
        values[kSlotSource1 + k] = kNeutralSlotNone;
        values[kSlotDest1 + k] = kNeutralSlotNone;
    }
    values[kDryDly] = kNeutralDryDelay;
    // Serial chain IN -> OP1 -> OP2 -> OP3 -> OP4 -> OUT.
    values[kInToOp1] = 1.0f;
    for (int a = 0; a + 1 < kNumOperatorSlots; ++a) values[kOpToOp + 4 * a + (a + 1)] = 1.0f;
    values[kOpToOut1 + 3] = 1.0f;
    values[kTempo] = kNeutralTempo;
    values[kOutLimiter] = kNeutralLimiter;
    values[kTempoSync] = kNeutralTempoSync;
}

bool parseFactoryBank(const char* text, int bank, PresetBank& out, std::vector<FactoryParseError>& errors) {
    const std::size_t before = errors.size();
    // The parser holds a module of each type it meets: keep it off the stack.
    auto parser = std::make_unique<BankParser>(bank, out, errors);
    parser->parse(text);
    return errors.size() == before;
}

bool buildFactoryBanks(PresetBank* out, std::vector<FactoryParseError>* errors) {
    std::vector<FactoryParseError> local;
    std::vector<FactoryParseError>& sink = errors != nullptr ? *errors : local;
    bool clean = true;
    for (int b = 0; b < kNumBanks; ++b) clean = parseFactoryBank(factoryBankText(b), b, out[b], sink) && clean;
    return clean;
}

}  // namespace vh
