// Writes the LV2 bundle's description (manifest.ttl and the plug-in's own
// file) from the engine itself at build time: port names, defaults and
// choice lists come from an engine holding the factory "[flat]" preset, so
// the description cannot drift from the parameter table.
//
//     vh_lv2_ttl <bundle folder>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/ParameterNames.h"
#include "engine/Plugin.h"
#include "lv2/Lv2Ports.h"
#include "modules/Conversions.h"
#include "modules/ModuleTypes.h"

namespace {

using namespace vh;

intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A port symbol: lower case letters, digits and underscores, not starting
// with a digit.
std::string symbolOf(const char* name) {
    std::string out;
    for (const char* p = name; *p; ++p) {
        char c = *p;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        bool keep = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (keep)
            out += c;
        else if (!out.empty() && out.back() != '_')
            out += '_';
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    if (!out.empty() && out[0] >= '0' && out[0] <= '9') out = "p" + out;
    return out;
}

struct ScalePoint {
    std::string label;
    float value;
};

struct ControlPort {
    std::string symbol, name;
    float defaultValue;
    std::vector<ScalePoint> choices;
    bool hidden = false;
};

std::string number(double v) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.9g", v);
    std::string s = text;
    if (s.find_first_of(".eE") == std::string::npos) s += ".0";
    return s;
}

// The items of a list parameter, each written at the middle of its step as
// the engine reads it, named by the engine's own display text.
std::vector<ScalePoint> listItems(Plugin& plugin, int index, int steps, int offered) {
    std::vector<ScalePoint> items;
    float kept = plugin.getParameter(index);
    for (int k = 0; k < offered; ++k) {
        float v = discreteValue(k, steps);
        plugin.setParameter(index, v);
        char text[kTextSize];
        plugin.getParameterDisplay(index, text);
        items.push_back({text, v});
    }
    plugin.setParameter(index, kept);
    return items;
}

std::vector<ControlPort> describeParameters(Plugin& plugin) {
    std::vector<ControlPort> ports;
    std::vector<std::string> used;
    for (int i = 0; i < param::kNumAutomatable; ++i) {
        ControlPort port;
        char name[kTextSize];
        plugin.getParameterName(i, name);
        port.name = name;
        port.defaultValue = plugin.getParameter(i);
        char engineName[kTextSize];
        bool engineOwned = engineParameterName(i, engineName);
        if (!engineOwned) {
            // Module parameters are named by the module a slot holds; the
            // symbol stays with the slot and position.
            bool op = param::isOpParam(i);
            auto [slot, local] = op ? param::opParamAt(i) : param::modParamAt(i);
            char symbol[32];
            std::snprintf(symbol, sizeof(symbol), "%s%d_%02d", op ? "op" : "mod", slot + 1, local + 1);
            port.symbol = symbol;
            int steps = op ? plugin.getOperator(slot)->getParameterSteps(local)
                           : plugin.getModulator(slot)->getParameterSteps(local);
            int offered = op ? plugin.getOperator(slot)->getParameterChoices(local)
                             : plugin.getModulator(slot)->getParameterChoices(local);
            if (steps > 1) port.choices = listItems(plugin, i, steps, offered);
        } else {
            port.symbol = symbolOf(engineName);
            if (i == param::kPower) port.choices = listItems(plugin, i, 2, 2);
            // The types the engine builds, named as the host sees them.
            if (inRange(i, param::kOpType1, kNumOperatorSlots))
                port.choices = listItems(plugin, i, kNumTypeSteps, kNumOperatorTypes);
            if (inRange(i, param::kModType1, kNumModulatorSlots))
                port.choices = listItems(plugin, i, kNumTypeSteps, kNumModulatorTypes);
        }
        // Values kept for presets alone have no name; the host needs one.
        if (port.name.empty() || port.symbol.empty()) {
            char fallback[32];
            std::snprintf(fallback, sizeof(fallback), "reserved %d", i - param::kReserved + 1);
            port.name = fallback;
            port.symbol = symbolOf(fallback);
            port.hidden = true;
        }
        for (const std::string& s : used)
            if (s == port.symbol) port.symbol.append("_").append(std::to_string(i));
        used.push_back(port.symbol);
        ports.push_back(port);
    }
    return ports;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

const char* const kPrefixes =
    "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi:  <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time:  <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n\n";

std::string audioPort(int index, bool input, const char* symbol, const char* name, bool sideChain) {
    std::string s = "[\n    a lv2:" + std::string(input ? "InputPort" : "OutputPort") + " , lv2:AudioPort ;\n";
    s += "    lv2:index " + std::to_string(index) + " ;\n";
    s += "    lv2:symbol " + quoted(symbol) + " ;\n";
    s += "    lv2:name " + quoted(name);
    if (sideChain) s += " ;\n    lv2:portProperty lv2:isSideChain , lv2:connectionOptional";
    return s + "\n  ]";
}

std::string pluginDescription(const std::vector<ControlPort>& params, int maxLatency) {
    using namespace vh::lv2;
    std::string s = kPrefixes;
    s += "<" + std::string(kPluginUri) + ">\n";
    s += "  a lv2:Plugin ;\n";
    s += "  doap:name \"VornHalyx\" ;\n";
    s += "  lv2:minorVersion 0 ;\n  lv2:microVersion 0 ;\n";
    s += "  lv2:requiredFeature urid:map ;\n";
    s += "  lv2:extensionData state:interface ;\n";
    s += "  ui:ui <" + std::string(kUiUri) + "> ;\n";
    s += "  lv2:port ";
    for (size_t i = 0; i < params.size(); ++i) {
        const ControlPort& p = params[i];
        s += "[\n    a lv2:InputPort , lv2:ControlPort ;\n";
        s += "    lv2:index " + std::to_string(i) + " ;\n";
        s += "    lv2:symbol " + quoted(p.symbol) + " ;\n";
        s += "    lv2:name " + quoted(p.name) + " ;\n";
        s += "    lv2:default " + number(p.defaultValue) + " ;\n";
        s += "    lv2:minimum 0.0 ;\n    lv2:maximum 1.0";
        if (p.hidden) s += " ;\n    lv2:portProperty pprops:notOnGUI";
        if (!p.choices.empty()) {
            s += " ;\n    lv2:portProperty lv2:enumeration ;\n    lv2:scalePoint ";
            for (size_t k = 0; k < p.choices.size(); ++k) {
                s += "[ rdfs:label " + quoted(p.choices[k].label) + " ; rdf:value " + number(p.choices[k].value) +
                     " ]";
                s += k + 1 < p.choices.size() ? " , " : "";
            }
        }
        s += "\n  ] , ";
    }
    s += audioPort(kPortInputL, true, "in_l", "In L", false) + " , ";
    s += audioPort(kPortInputR, true, "in_r", "In R", false) + " , ";
    s += audioPort(kPortSideChainL, true, "sidechain_l", "Side-chain L", true) + " , ";
    s += audioPort(kPortSideChainR, true, "sidechain_r", "Side-chain R", true) + " , ";
    s += audioPort(kPortOutputL, false, "out_l", "Out L", false) + " , ";
    s += audioPort(kPortOutputR, false, "out_r", "Out R", false) + " , ";
    s += "[\n    a lv2:InputPort , atom:AtomPort ;\n";
    s += "    atom:bufferType atom:Sequence ;\n    atom:supports midi:MidiEvent , time:Position ;\n";
    s += "    lv2:designation lv2:control ;\n";
    s += "    lv2:index " + std::to_string(kPortControl) + " ;\n";
    s += "    lv2:symbol \"control\" ;\n    lv2:name \"Control\"\n  ] , ";
    s += "[\n    a lv2:OutputPort , lv2:ControlPort ;\n";
    s += "    lv2:designation lv2:latency ;\n    lv2:portProperty lv2:reportsLatency , lv2:integer ;\n";
    s += "    lv2:index " + std::to_string(kPortLatency) + " ;\n";
    s += "    lv2:symbol \"latency\" ;\n    lv2:name \"Latency\" ;\n";
    s += "    lv2:minimum 0 ;\n    lv2:maximum " + std::to_string(maxLatency) + " ;\n    lv2:default 0\n  ] .\n\n";

    s += "<" + std::string(kUiUri) + ">\n";
    s += "  a ui:X11UI ;\n";
    s += "  lv2:requiredFeature ui:idleInterface , ui:parent , <http://lv2plug.in/ns/ext/instance-access> ;\n";
    s += "  lv2:optionalFeature ui:resize , ui:touch , ui:noUserResize ;\n";
    s += "  lv2:extensionData ui:idleInterface .\n";
    return s;
}

std::string manifest() {
    using namespace vh::lv2;
    std::string s = kPrefixes;
    s += "<" + std::string(kPluginUri) + ">\n  a lv2:Plugin ;\n  lv2:binary <" + kBinaryName + "> ;\n";
    s += "  rdfs:seeAlso <" + std::string(kDescriptionName) + "> .\n\n";
    s += "<" + std::string(kUiUri) + ">\n  a ui:X11UI ;\n  lv2:binary <" + kBinaryName + "> ;\n";
    s += "  rdfs:seeAlso <" + std::string(kDescriptionName) + "> .\n";
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <bundle folder> <empty settings folder>\n", argv[0]);
        return 2;
    }
    std::string folder = argv[1];
    // A settings folder of its own: the user's default bank must not leak
    // into the defaults of the description.
    Plugin plugin(&quietHost, argv[2]);
    plugin.selectBank(0);
    plugin.selectPreset(0);
    char presetName[64];
    plugin.getPresetName(0, 0, presetName);
    if (std::strcmp(presetName, "[flat]") != 0) {
        std::fprintf(stderr, "the first factory preset is \"%s\", not the neutral one\n", presetName);
        return 1;
    }
    // The longest lookahead the limiter reports, at the highest rate.
    plugin.setSampleRate(kMaxSampleRate);
    int maxLatency = plugin.limiterLatency();
    plugin.setSampleRate(44100.0f);
    std::vector<ControlPort> params = describeParameters(plugin);
    if (!writeFile(folder + "/manifest.ttl", manifest()) ||
        !writeFile(folder + "/" + vh::lv2::kDescriptionName, pluginDescription(params, maxLatency))) {
        std::fprintf(stderr, "cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
