// halyx: a small VST 2.4 host for the shell and the tests. It loads any
// plug-in through dlopen and VSTPluginMain and drives it only through the
// dispatcher, like a DAW would.
//
//   halyx info    PLUGIN.so [setup options]       identity and every parameter
//   halyx presets PLUGIN.so [--bank B]            the preset library (VornHalyx)
//   halyx render  PLUGIN.so [IN.wav] OUT.wav [setup options]
//   halyx audit   PLUGIN.so [--bank N] [--out DIR]
//                           every preset (or bank N's) through the demo
//                           phrase, pink noise and an impulse: one line of
//                           measurements each, checked against the preset
//                           rules (tools/AuditRules.h); exit status 1 when a
//                           preset breaks one. --out writes a contact sheet
//                           of spectrograms per bank, DIR/bankN.png
//   halyx bench   PLUGIN.so [setup options] [--bank N | --all]
//                           processor time per stereo frame on silence,
//                           white noise at 0.5 and the demo phrase, in
//                           blocks of --block: the plug-in as set up, or
//                           every preset of bank N, or all banks
//   halyx screenshot PLUGIN.so OUT.png [setup options] [--offscreen]
//                           the editor opened in an X window (DISPLAY; Xvfb
//                           will do) and saved as the window shows it;
//                           --offscreen has VornHalyx draw it without X;
//                           --contact-sheet draws every operator's and
//                           modulator's panel, each after a second of the
//                           demo phrase, side by side into one picture
//
// Without IN.wav a built-in demo phrase is rendered (--seconds, default 6).
// Setup options, applied in the order given:
//   --rate HZ  --block N  --double  --sidechain F.wav  --seconds S
//   --set INDEX=VALUE       parameter by index (or by host name), normalised
//   --preset B:P            select preset P (0..63) of bank B (0..2)
//   --load-preset F  --load-bank B:F  --chunk-in F  --paste
//   --tempo BPM  --playing  --ppq POS     transport the host reports
//   --no-time               the host answers no time information
//   --midi SAMPLE:STATUS:DATA1:DATA2      (numbers decimal or 0x hex)
//   --page N  --op N  --mod N  the editor's page (0..3) and shown modules (0..3)
//   --zoom PERCENT          the editor's zoom: 100, 125, 150, 200, 250 or 300
// After rendering: --save-preset F  --save-bank B:F  --chunk-out F  --copy

#include <cairo.h>
#include <dlfcn.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/Plugin.h"
#include "modules/ModuleTypes.h"
#include "tools/Audit.h"
#include "tools/TestSignal.h"
#include "tools/XScreenshot.h"
#include "tools/AudioFile.h"
#include "vst/AEffEditor.h"
#include "vst/aeffect.h"

using namespace vst;

namespace {

struct HostState {
    double sampleRate = 44100.0;
    int blockSize = 512;
    double tempo = 120.0;
    double ppq = 0.0;
    bool playing = false;
    bool answerTime = true;
    VstTimeInfo time{};
    int automations = 0;
};
HostState gHost;

intptr_t hostCallback(AEffect*, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterGetTime:
            if (!gHost.answerTime) return 0;
            gHost.time = VstTimeInfo{};
            gHost.time.sampleRate = gHost.sampleRate;
            gHost.time.tempo = gHost.tempo;
            gHost.time.ppqPos = gHost.ppq;
            gHost.time.timeSigNumerator = 4;
            gHost.time.timeSigDenominator = 4;
            gHost.time.flags = kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid |
                               (gHost.playing ? kVstTransportPlaying : 0);
            return reinterpret_cast<intptr_t>(&gHost.time);
        case audioMasterPinConnected: return 0;  // every pin connected
        case audioMasterGetSampleRate: return static_cast<intptr_t>(gHost.sampleRate);
        case audioMasterGetBlockSize: return gHost.blockSize;
        case audioMasterCanDo:
            return (ptr && std::strcmp(static_cast<const char*>(ptr), "sendVstMidiEvent") == 0) ? 1 : 0;
        case audioMasterAutomate: ++gHost.automations; return 0;
        case audioMasterWantMidi: return 1;
        default: (void)index; (void)value; (void)opt; return 0;
    }
}

struct MidiNote {
    long sample;
    unsigned char bytes[3];
};

class Host {
public:
    bool load(const std::string& path) {
        mLibrary = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!mLibrary) {
            std::fprintf(stderr, "halyx: %s\n", dlerror());
            return false;
        }
        using Entry = AEffect* (*)(HostCallback);
        auto entry = reinterpret_cast<Entry>(dlsym(mLibrary, "VSTPluginMain"));
        // Older plug-ins export the same entry under the name "main".
        if (!entry) entry = reinterpret_cast<Entry>(dlsym(mLibrary, "main"));
        if (!entry) {
            std::fprintf(stderr, "halyx: no VSTPluginMain in %s\n", path.c_str());
            return false;
        }
        mEffect = entry(hostCallback);
        if (!mEffect || mEffect->magic != kEffectMagic) {
            std::fprintf(stderr, "halyx: the plug-in refused to start\n");
            return false;
        }
        call(effOpen);
        return true;
    }
    ~Host() {
        if (mEffect) {
            call(effMainsChanged, 0, 0);
            call(effClose);
        }
        if (mLibrary) dlclose(mLibrary);
    }
    intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
    }
    intptr_t vendor(intptr_t command, void* ptr = nullptr) { return call(effVendorSpecific, vh::kVendorCommand, command, ptr); }
    AEffect* effect() { return mEffect; }

    std::string text(int32_t opcode, int index) {
        char buffer[256] = {};
        call(opcode, index, 0, buffer);
        return buffer;
    }
    int findParameter(const std::string& name) {
        for (int i = 0; i < mEffect->numParams; ++i)
            if (text(effGetParamName, i) == name) return i;
        return -1;
    }

private:
    void* mLibrary = nullptr;
    AEffect* mEffect = nullptr;
};

bool readFile(const std::string& path, std::vector<char>& data) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    data.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

bool parseBankPath(const std::string& arg, int& bank, std::string& path) {
    size_t colon = arg.find(':');
    if (colon == std::string::npos) return false;
    bank = std::atoi(arg.substr(0, colon).c_str());
    path = arg.substr(colon + 1);
    return true;
}

long number(const std::string& s) { return std::strtol(s.c_str(), nullptr, 0); }

int fail(const std::string& message) {
    std::fprintf(stderr, "halyx: %s\n", message.c_str());
    return 2;
}

}  // namespace

// Every module type's panel, each shown in slot 1 after a second of the demo
// phrase, cut from off-screen pictures of the editor into one sheet: the
// nineteen operators in rows of five, then the five modulators.
int contactSheet(Host& host, const std::string& outPath) {
    using vh::kNumModulatorTypes, vh::kNumOperatorTypes;
    constexpr int kColumns = 5, kCellW = 226, kCellH = 170;
    const int rows = (kNumOperatorTypes + kColumns - 1) / kColumns + 1;
    // Panels with their type selectors: (x, y) of the window's module areas.
    constexpr double kOpArea[2] = {544, 40}, kModArea[2] = {60, 40};
    AEffect* e = host.effect();
    cairo_surface_t* sheet = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kColumns * kCellW, rows * kCellH);
    cairo_t* cr = cairo_create(sheet);
    cairo_set_source_rgb(cr, 0.17, 0.21, 0.20);
    cairo_paint(cr);

    const int block = 512;
    vhtool::Audio demo = vhtool::makeTestSignal(static_cast<int>(gHost.sampleRate), 1.0);
    std::vector<float> side(block, 0.0f), outL(block), outR(block);
    std::string shot = outPath + ".panel.png";
    int failures = 0;
    for (int i = 0; i < kNumOperatorTypes + kNumModulatorTypes; ++i) {
        const bool modulator = i >= kNumOperatorTypes;
        const int type = modulator ? i - kNumOperatorTypes : i;
        e->setParameter(e, modulator ? vh::param::kModType1 : vh::param::kOpType1, vh::discreteValue(type, vh::kNumTypeSteps));
        for (size_t pos = 0; pos + block <= demo.frames(); pos += block) {
            float* in[4] = {demo.channels[0].data() + pos, demo.channels[1].data() + pos, side.data(), side.data()};
            float* out[2] = {outL.data(), outR.data()};
            e->processReplacing(e, in, out, block);
            gHost.ppq += block / gHost.sampleRate * gHost.tempo / 60.0;
        }
        if (!host.vendor(vh::kVendorEditorScreenshot, const_cast<char*>(shot.c_str()))) {
            ++failures;
            continue;
        }
        cairo_surface_t* window = cairo_image_surface_create_from_png(shot.c_str());
        const double* area = modulator ? kModArea : kOpArea;
        const int cell = modulator ? (rows - 1) * kColumns + type : i;
        const double x = (cell % kColumns) * kCellW, y = (cell / kColumns) * kCellH;
        cairo_save(cr);
        cairo_rectangle(cr, x, y, kCellW, kCellH);
        cairo_clip(cr);
        cairo_set_source_surface(cr, window, x - area[0], y - area[1]);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(window);
    }
    std::remove(shot.c_str());
    cairo_destroy(cr);
    const bool written = cairo_surface_write_to_png(sheet, outPath.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(sheet);
    if (failures || !written) return fail("could not draw the contact sheet to " + outPath);
    std::printf("%d panels drawn to %s\n", kNumOperatorTypes + kNumModulatorTypes, outPath.c_str());
    return 0;
}

// Processor time of this thread: a busy machine inflates it far less than
// wall-clock time.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// What the plug-in costs as the host sees it: processReplacing through the
// binary interface, per stereo frame, on three materials. Each figure is
// the median of five passes over the material after one unmeasured pass
// (which also lets reverb tails and limiter envelopes reach their working
// state).
struct BenchFigures {
    double silence = 0, noise = 0, phrase = 0;
};

BenchFigures benchEffect(AEffect* e, const std::vector<vhtool::Audio>& materials, int block) {
    const int numIn = std::max(4, e->numInputs), numOut = std::max(2, e->numOutputs);
    std::vector<std::vector<float>> inBuffers(numIn, std::vector<float>(block, 0.0f));
    std::vector<std::vector<float>> outBuffers(numOut, std::vector<float>(block, 0.0f));
    std::vector<float*> in(numIn), out(numOut);
    for (int c = 0; c < numOut; ++c) out[c] = outBuffers[c].data();
    double figures[3] = {};
    for (size_t m = 0; m < materials.size() && m < 3; ++m) {
        const vhtool::Audio& material = materials[m];
        const size_t frames = material.frames();
        std::vector<double> passes;
        for (int pass = 0; pass < 6; ++pass) {
            double spent = 0.0;
            for (size_t pos = 0; pos + block <= frames; pos += block) {
                // The side-chain pair carries the main pair, as when no
                // side-chain is connected.
                for (int c = 0; c < numIn; ++c) {
                    const std::vector<float>& source = material.channels[c % 2];
                    std::copy_n(source.begin() + pos, block, inBuffers[c].begin());
                    in[c] = inBuffers[c].data();
                }
                double started = threadSeconds();
                e->processReplacing(e, in.data(), out.data(), block);
                spent += threadSeconds() - started;
                gHost.ppq += block / gHost.sampleRate * gHost.tempo / 60.0;
            }
            if (pass > 0) passes.push_back(spent * 1e9 / double(frames / block * block));
        }
        std::sort(passes.begin(), passes.end());
        figures[m] = passes[passes.size() / 2];
    }
    return {figures[0], figures[1], figures[2]};
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: halyx info|presets|render|bench|audit|screenshot PLUGIN.so [IN.wav] [OUT.wav] [options]\n");
        return 2;
    }
    std::string command = argv[1];
    std::string pluginPath = argv[2];
    std::vector<std::string> args(argv + 3, argv + argc);
    std::vector<std::string> positional;
    std::string inPath, outPath, sidePath;
    double seconds = 6.0;
    bool useDouble = false;
    bool offscreen = false;
    bool contactSheetWanted = false;
    int listBank = -1;
    bool listAll = false;
    std::string outDir;
    // Options taking a value, so positional file names can be told apart.
    const std::vector<std::string> withValue = {"--rate", "--block", "--sidechain", "--seconds", "--bank", "--preset",
                                                "--set", "--load-preset", "--load-bank", "--chunk-in", "--tempo",
                                                "--ppq", "--midi", "--save-preset", "--save-bank", "--chunk-out",
                                                "--page", "--op", "--mod", "--out", "--zoom"};
    for (size_t i = 0; i < args.size(); ++i) {
        bool takesValue = std::find(withValue.begin(), withValue.end(), args[i]) != withValue.end();
        if (args[i] == "--rate" && i + 1 < args.size()) gHost.sampleRate = std::atof(args[i + 1].c_str());
        if (args[i] == "--block" && i + 1 < args.size()) gHost.blockSize = std::atoi(args[i + 1].c_str());
        if (takesValue)
            ++i;
        else if (args[i].rfind("--", 0) != 0)
            positional.push_back(args[i]);
    }
    if (command == "render") {
        if (positional.empty() || positional.size() > 2) return fail("render wants [IN.wav] OUT.wav");
        outPath = positional.back();
        if (positional.size() == 2) inPath = positional[0];
    }
    if (command == "screenshot") {
        if (positional.size() != 1) return fail("screenshot wants OUT.png");
        outPath = positional[0];
    }
    // An input file sets the rate the plug-in runs at unless --rate says otherwise.
    vhtool::Audio input;
    if (!inPath.empty()) {
        std::string error;
        if (!vhtool::readAudio(inPath, input, error)) return fail(error);
        if (input.channels.size() == 1) input.channels.push_back(input.channels[0]);
        if (std::find(args.begin(), args.end(), "--rate") == args.end()) gHost.sampleRate = input.sampleRate;
    }
    if (!(gHost.sampleRate > 0)) return fail("--rate must be positive");

    Host host;
    if (!host.load(pluginPath)) return 1;
    host.call(effSetSampleRate, 0, 0, nullptr, static_cast<float>(gHost.sampleRate));
    host.call(effSetBlockSize, 0, gHost.blockSize);
    host.call(effMainsChanged, 0, 1);

    std::vector<MidiNote> midi;
    std::vector<std::function<int()>> after;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&]() -> std::string { return i + 1 < args.size() ? args[++i] : std::string(); };
        if (a == "--rate" || a == "--block") {
            ++i;
        } else if (a.rfind("--", 0) != 0) {
            continue;  // a file name
        } else if (a == "--sidechain") {
            sidePath = next();
        } else if (a == "--seconds") {
            seconds = std::atof(next().c_str());
        } else if (a == "--double") {
            useDouble = true;
        } else if (a == "--out") {
            outDir = next();
        } else if (a == "--all") {
            listAll = true;
        } else if (a == "--offscreen") {
            offscreen = true;
        } else if (a == "--zoom") {
            std::string v = next();
            if (host.call(effVendorSpecific, vst::kVendorEditorZoom, std::atoi(v.c_str()), nullptr, 0.0f) != 1)
                return fail("--zoom wants 100, 125, 150, 200, 250 or 300");
        } else if (a == "--contact-sheet") {
            contactSheetWanted = true;
        } else if (a == "--bank") {
            listBank = std::atoi(next().c_str());
        } else if (a == "--preset") {
            std::string v = next();
            int32_t selection[2] = {0, 0};
            if (std::sscanf(v.c_str(), "%d:%d", &selection[0], &selection[1]) != 2) return fail("--preset wants BANK:PRESET");
            if (!host.vendor(vh::kVendorSelectPreset, selection)) return fail("preset " + v + " does not exist");
        } else if (a == "--set") {
            std::string v = next();
            size_t eq = v.rfind('=');
            if (eq == std::string::npos) return fail(a + " wants NAME=VALUE");
            std::string key = v.substr(0, eq);
            bool numeric = !key.empty() && key.find_first_not_of("0123456789") == std::string::npos;
            int index = numeric ? std::atoi(key.c_str()) : host.findParameter(key);
            if (index < 0) return fail("no parameter named " + v.substr(0, eq));
            host.effect()->setParameter(host.effect(), index, static_cast<float>(std::atof(v.substr(eq + 1).c_str())));
        } else if (a == "--load-preset") {
            std::string path = next();
            if (!host.vendor(vh::kVendorLoadPresetFile, const_cast<char*>(path.c_str())))
                return fail("could not load preset " + path);
        } else if (a == "--load-bank") {
            vh::VendorBankFile file{};
            std::string path;
            if (!parseBankPath(next(), file.bank, path)) return fail("--load-bank wants BANK:FILE");
            file.path = path.c_str();
            if (!host.vendor(vh::kVendorLoadBankFile, &file)) return fail("could not load bank " + path);
        } else if (a == "--chunk-in") {
            std::vector<char> data;
            std::string path = next();
            if (!readFile(path, data)) return fail("cannot read " + path);
            intptr_t result = host.call(effSetChunk, 0, static_cast<intptr_t>(data.size()), data.data());
            std::printf("setChunk: %ld\n", static_cast<long>(result));
        } else if (a == "--paste") {
            if (!host.vendor(vh::kVendorPastePreset)) return fail("nothing to paste");
        } else if (a == "--tempo") {
            gHost.tempo = std::atof(next().c_str());
        } else if (a == "--playing") {
            gHost.playing = true;
        } else if (a == "--no-time") {
            gHost.answerTime = false;
        } else if (a == "--ppq") {
            gHost.ppq = std::atof(next().c_str());
        } else if (a == "--midi") {
            std::string v = next();
            std::vector<std::string> parts;
            size_t start = 0;
            for (size_t p = 0; p <= v.size(); ++p)
                if (p == v.size() || v[p] == ':') {
                    parts.push_back(v.substr(start, p - start));
                    start = p + 1;
                }
            if (parts.size() != 4) return fail("--midi wants SAMPLE:STATUS:DATA1:DATA2");
            midi.push_back({number(parts[0]), {static_cast<unsigned char>(number(parts[1])),
                                               static_cast<unsigned char>(number(parts[2])),
                                               static_cast<unsigned char>(number(parts[3]))}});
        } else if (a == "--save-preset") {
            std::string path = next();
            after.push_back([&host, path] {
                return host.vendor(vh::kVendorSavePresetFile, const_cast<char*>(path.c_str())) ? 0 : fail("could not save " + path);
            });
        } else if (a == "--save-bank") {
            std::string spec = next();
            after.push_back([&host, spec] {
                vh::VendorBankFile file{};
                std::string path;
                if (!parseBankPath(spec, file.bank, path)) return fail("--save-bank wants BANK:FILE");
                file.path = path.c_str();
                return host.vendor(vh::kVendorSaveBankFile, &file) ? 0 : fail("could not save " + path);
            });
        } else if (a == "--page" || a == "--op" || a == "--mod") {
            // Shown page and modules are parameters on a 4-step scale.
            int n = std::atoi(next().c_str());
            if (n < 0 || n > 3) return fail(a + " wants 0..3");
            int index = a == "--page" ? vh::param::kCurrMain : a == "--op" ? vh::param::kCurrOp : vh::param::kCurrMod;
            host.effect()->setParameter(host.effect(), index, (n + 0.5f) / 4.0f);
        } else if (a == "--copy") {
            after.push_back([&host] { return host.vendor(vh::kVendorCopyPreset) ? 0 : fail("copy failed"); });
        } else if (a == "--chunk-out") {
            std::string path = next();
            after.push_back([&host, path] {
                void* data = nullptr;
                intptr_t size = host.call(effGetChunk, 0, 0, &data);
                std::ofstream f(path, std::ios::binary);
                if (!data || size <= 0 || !f) return fail("getChunk failed");
                f.write(static_cast<const char*>(data), size);
                return 0;
            });
        } else {
            return fail("unknown option " + a);
        }
    }

    AEffect* e = host.effect();
    if (command == "info") {
        char id[5] = {char(e->uniqueID >> 24), char(e->uniqueID >> 16), char(e->uniqueID >> 8), char(e->uniqueID), 0};
        std::printf("uniqueID %s\nversion %d\nnumParams %d\nnumPrograms %d\nnumInputs %d\nnumOutputs %d\nflags 0x%x\n"
                    "vendorVersion 0x%lx\nvstVersion %ld\n",
                    id, e->version, e->numParams, e->numPrograms, e->numInputs, e->numOutputs, e->flags,
                    static_cast<long>(host.call(effGetVendorVersion)), static_cast<long>(host.call(effGetVstVersion)));
        std::printf("program \"%s\"\n", host.text(effGetProgramName, 0).c_str());
        std::printf("index\tname\tdisplay\tlabel\tvalue\n");
        for (int i = 0; i < e->numParams; ++i)
            std::printf("%d\t%s\t%s\t%s\t%.6f\n", i, host.text(effGetParamName, i).c_str(),
                        host.text(effGetParamDisplay, i).c_str(), host.text(effGetParamLabel, i).c_str(),
                        e->getParameter(e, i));
    } else if (command == "presets") {
        int32_t selection[2] = {0, 0};
        host.vendor(vh::kVendorGetSelection, selection);
        int first = listBank >= 0 ? listBank : 0, last = listBank >= 0 ? listBank : 2;
        for (int b = first; b <= last; ++b)
            for (int p = 0; p < vh::kPresetsPerBank; ++p) {
                vh::VendorPresetName name{b, p, {}};
                if (!host.vendor(vh::kVendorGetPresetName, &name)) return fail("no such bank");
                std::printf("%d:%02d\t%s%s\n", b, p, name.name, (b == selection[0] && p == selection[1]) ? "\t*" : "");
            }
    } else if (command == "render") {
                vhtool::Audio side;
        std::string error;
        if (inPath.empty()) {
            input = vhtool::makeTestSignal(static_cast<int>(gHost.sampleRate), seconds);
        }
        if (!sidePath.empty()) {
            if (!vhtool::readAudio(sidePath, side, error)) return fail(error);
            if (side.channels.size() == 1) side.channels.push_back(side.channels[0]);
        }
        size_t frames = input.frames();
        vhtool::Audio output;
        output.sampleRate = input.sampleRate;
        output.channels.assign(2, std::vector<float>(frames, 0.0f));
        int block = gHost.blockSize > 0 ? gHost.blockSize : 512;
        // Every pin the plug-in declares gets a buffer: main pair, side-chain
        // pair, then silence for extra inputs and scratch for extra outputs.
        const int numIn = std::max(4, e->numInputs), numOut = std::max(2, e->numOutputs);
        std::vector<std::vector<float>> inBuffers(numIn, std::vector<float>(block, 0.0f));
        std::vector<std::vector<float>> outBuffers(numOut, std::vector<float>(block, 0.0f));
        std::vector<std::vector<double>> inDouble(numIn, std::vector<double>(block)), outDouble(numOut, std::vector<double>(block));
        std::vector<float*> in(numIn), out(numOut);
        std::vector<double*> dIn(numIn), dOut(numOut);
        if (useDouble && (!e->processDoubleReplacing || !(e->flags & effFlagsCanDoubleReplacing)))
            return fail("the plug-in does not process double precision");
        if (!useDouble && !e->processReplacing) return fail("the plug-in has no processReplacing");
        std::vector<VstMidiEvent> events(midi.size());
        std::vector<char> eventList(sizeof(VstEvents) + sizeof(VstEvent*) * (midi.size() + 2));
        double processSeconds = 0.0;
        for (size_t pos = 0; pos < frames; pos += block) {
            int n = static_cast<int>(std::min<size_t>(block, frames - pos));
            auto* list = reinterpret_cast<VstEvents*>(eventList.data());
            list->numEvents = 0;
            for (size_t k = 0; k < midi.size(); ++k)
                if (midi[k].sample >= long(pos) && midi[k].sample < long(pos + n)) {
                    VstMidiEvent& ev = events[k];
                    ev = VstMidiEvent{};
                    ev.type = kVstMidiType;
                    ev.byteSize = sizeof(VstMidiEvent);
                    ev.deltaFrames = static_cast<int32_t>(midi[k].sample - long(pos));
                    std::memcpy(ev.midiData, midi[k].bytes, 3);
                    list->events[list->numEvents++] = reinterpret_cast<VstEvent*>(&ev);
                }
            if (list->numEvents > 0) host.call(effProcessEvents, 0, 0, list);
            const vhtool::Audio& sideSource = sidePath.empty() ? input : side;
            for (int k = 0; k < n; ++k) {
                inBuffers[0][k] = input.channels[0][pos + k];
                inBuffers[1][k] = input.channels[1][pos + k];
                bool have = sideSource.frames() > pos + k;
                inBuffers[2][k] = have ? sideSource.channels[0][pos + k] : 0.0f;
                inBuffers[3][k] = have ? sideSource.channels[1][pos + k] : 0.0f;
            }
            for (int c = 0; c < numIn; ++c) {
                in[c] = inBuffers[c].data();
                for (int k = 0; k < n; ++k) inDouble[c][k] = inBuffers[c][k];
                dIn[c] = inDouble[c].data();
            }
            for (int c = 0; c < numOut; ++c) {
                out[c] = outBuffers[c].data();
                dOut[c] = outDouble[c].data();
            }
            auto started = std::chrono::steady_clock::now();
            if (useDouble)
                e->processDoubleReplacing(e, dIn.data(), dOut.data(), n);
            else
                e->processReplacing(e, in.data(), out.data(), n);
            processSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            for (int c = 0; c < 2; ++c)
                for (int k = 0; k < n; ++k)
                    output.channels[c][pos + k] = useDouble ? static_cast<float>(outDouble[c][k]) : outBuffers[c][k];
            gHost.ppq += n / gHost.sampleRate * gHost.tempo / 60.0;
        }
        if (!vhtool::writeAudio(outPath, output, error)) return fail(error);
        double peak = 0, sum = 0;
        bool finite = true;
        for (auto& ch : output.channels)
            for (float x : ch) {
                finite = finite && std::isfinite(x);
                peak = std::max(peak, double(std::fabs(x)));
                sum += double(x) * x;
            }
        std::printf("rendered %zu frames at %d Hz to %s: peak %.4f, rms %.4f%s\n", frames, output.sampleRate,
                    outPath.c_str(), peak, std::sqrt(sum / std::max<size_t>(1, 2 * frames)),
                    finite ? "" : ", NON-FINITE SAMPLES");
        double audioSeconds = double(frames) / gHost.sampleRate;
        std::printf("process: %.1f ns per stereo sample, real-time factor %.1f\n",
                    frames ? processSeconds * 1e9 / double(frames) : 0.0,
                    processSeconds > 0 ? audioSeconds / processSeconds : 0.0);
    } else if (command == "bench") {
        const int block = gHost.blockSize > 0 ? gHost.blockSize : 512;
        const int rate = static_cast<int>(gHost.sampleRate);
        // Two seconds of each material unless --seconds says otherwise.
        const bool secondsGiven = std::find(args.begin(), args.end(), "--seconds") != args.end();
        const double benchSeconds = secondsGiven ? std::max(0.1, std::min(seconds, 60.0)) : 2.0;
        const size_t frames = static_cast<size_t>(benchSeconds * gHost.sampleRate);
        std::vector<vhtool::Audio> materials(3);
        for (auto& m : materials) {
            m.sampleRate = rate;
            m.channels.assign(2, std::vector<float>(frames, 0.0f));
        }
        std::mt19937 random(5);
        std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
        for (size_t i = 0; i < frames; ++i) {
            materials[1].channels[0][i] = uniform(random);
            materials[1].channels[1][i] = uniform(random);
        }
        materials[2] = vhtool::makeTestSignal(rate, double(frames) / gHost.sampleRate);
        if (materials[2].channels.size() == 1) materials[2].channels.push_back(materials[2].channels[0]);
        if (materials[2].frames() < frames) return fail("the demo phrase is too short");
        if (frames < size_t(block)) return fail("--seconds is shorter than one block");

        std::printf("ns per stereo frame at %d Hz, blocks of %d\n%-34s %8s %8s %8s\n", rate, block, "preset", "silence",
                    "noise", "phrase");
        auto line = [](const std::string& label, const BenchFigures& f) {
            std::printf("%-34s %8.1f %8.1f %8.1f\n", label.c_str(), f.silence, f.noise, f.phrase);
            std::fflush(stdout);
        };
        if (listBank < 0 && !listAll) {
            line(host.text(effGetProgramName, 0), benchEffect(e, materials, block));
        } else {
            if (listBank >= vh::kNumBanks) return fail("--bank wants 0..2");
            int first = listAll ? 0 : listBank, last = listAll ? vh::kNumBanks - 1 : listBank;
            double noiseSum = 0.0, heaviest = -1.0;
            std::string heaviestName;
            int count = 0;
            for (int b = first; b <= last; ++b)
                for (int p = 0; p < vh::kPresetsPerBank; ++p) {
                    int32_t selection[2] = {b, p};
                    vh::VendorPresetName name{b, p, {}};
                    if (!host.vendor(vh::kVendorSelectPreset, selection) || !host.vendor(vh::kVendorGetPresetName, &name))
                        return fail("no such preset");
                    char label[64];
                    std::snprintf(label, sizeof label, "%d:%02d %s", b, p, name.name);
                    BenchFigures f = benchEffect(e, materials, block);
                    line(label, f);
                    noiseSum += f.noise;
                    ++count;
                    if (f.noise > heaviest) {
                        heaviest = f.noise;
                        heaviestName = label;
                    }
                }
            std::printf("%d presets on noise: mean %.1f, heaviest %.1f (%s)\n", count, noiseSum / count, heaviest,
                        heaviestName.c_str());
        }
    } else if (command == "audit") {
        if (listBank < -1 || listBank >= vh::kNumBanks) return fail("--bank wants 0..2");
        vhtool::AuditOptions options;
        options.spectrogram = !outDir.empty();
        std::printf("%s\n", vhtool::auditHeader().c_str());
        int failed = 0;
        double cpuSum = 0.0;
        const vhtool::PresetAudit* heaviest = nullptr;
        auto audits = vhtool::auditLibrary(e, listBank, options, [&](const vhtool::PresetAudit& a) {
            std::printf("%s\n", vhtool::auditLine(a).c_str());
            std::fflush(stdout);
        });
        for (const auto& a : audits) {
            failed += !a.passes();
            cpuSum += a.nsPerSample;
            if (!heaviest || a.nsPerSample > heaviest->nsPerSample) heaviest = &a;
        }
        if (heaviest)
            std::printf("%zu presets: %zu pass, %d fail; CPU mean %.0f ns/sample, most %.0f (%d:%02d %s)\n", audits.size(),
                        audits.size() - failed, failed, cpuSum / audits.size(), heaviest->nsPerSample, heaviest->bank,
                        heaviest->preset, heaviest->name.c_str());
        if (!outDir.empty()) {
            std::error_code ignored;
            std::filesystem::create_directories(outDir, ignored);
            for (int b = 0; b < vh::kNumBanks; ++b) {
                std::vector<const vhtool::PresetAudit*> sheet;
                for (const auto& a : audits)
                    if (a.bank == b) sheet.push_back(&a);
                if (sheet.empty()) continue;
                std::string path = outDir + "/bank" + std::to_string(b + 1) + ".png", error;
                if (!vhtool::writeContactSheet(path, sheet, error)) return fail(error);
                std::printf("contact sheet %s\n", path.c_str());
            }
        }
        if (failed) return 1;
    } else if (command == "screenshot") {
        if (!(e->flags & effFlagsHasEditor)) return fail("the plug-in has no editor");
        if (contactSheetWanted) {
            if (int rc = contactSheet(host, outPath)) return rc;
        } else if (offscreen) {
            if (!host.vendor(vh::kVendorEditorScreenshot, const_cast<char*>(outPath.c_str())))
                return fail("could not draw the editor to " + outPath);
            std::printf("editor drawn off screen to %s\n", outPath.c_str());
        } else {
            std::string error;
            auto dispatch = [&host](int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
                return host.call(opcode, index, value, ptr, opt);
            };
            if (!vhtool::screenshotThroughWindow(dispatch, outPath, error)) return fail(error);
            std::printf("editor window saved to %s\n", outPath.c_str());
        }
    } else {
        return fail("unknown command " + command);
    }
    for (auto& action : after)
        if (int rc = action()) return rc;
    return 0;
}
