#pragma once
// The preset audit: every factory preset rendered through the demo phrase,
// pink noise and an impulse, measured, compared with "[flat]" and held to
// the rules of AuditRules.h. It drives the plug-in only through its binary
// interface, so the command-line host and the tests share it.
//
// Renders run with the output limiter switched off: the limiter is a safety
// net, and the audit is about what the patch itself does to the level.

#include <functional>
#include <string>
#include <vector>

#include "tools/AudioFile.h"
#include "vst/aeffect.h"

namespace vhtool {

struct AuditOptions {
    double demoSeconds = 1.5;
    double noiseSeconds = 1.0;
    double impulseSeconds = 2.0;
    // Length of each signal at the rates other than the reference rate,
    // where only finiteness and boundedness are checked.
    double otherRateSeconds = 0.25;
    std::vector<double> otherRates = {22050.0, 48000.0, 96000.0, 192000.0};
    bool spectrogram = false;
};

// Magnitude in dB over time: columns of `rows` values, low frequency first.
struct Spectrogram {
    int columns = 0;
    int rows = 0;
    std::vector<float> db;
    float at(int column, int row) const { return db[static_cast<size_t>(column) * rows + row]; }
};

struct PresetAudit {
    int bank = 0;
    int preset = 0;
    std::string name;

    double levelDemoDb = 0.0;   // output RMS against input RMS
    double levelNoiseDb = 0.0;
    double peak = 0.0;          // largest sample, before the limiter
    double clipFraction = 0.0;  // share of samples above full scale
    double dc = 0.0;            // largest channel mean
    double centroidShiftOct = 0.0;  // pink noise, output against input
    double width = 0.0;         // side/mid RMS of the output for mono pink noise
    double tailSeconds = 0.0;   // impulse response down to kTailEndDb
    bool tailOpen = false;      // still above it at the end of the render
    bool runaway = false;
    double nsPerSample = 0.0;   // process time per stereo sample, reference rate
    std::vector<double> badRates;  // rates with non-finite or blown-up output

    // Material for the comparison with "[flat]".
    std::vector<double> noiseBandsDb, demoBandsDb;
    std::vector<double> demoFramesDb;  // level of successive short frames of the demo

    // Filled by judge().
    bool reference = false;      // this is "[flat]" itself
    bool differsFromFlat = true;
    double flatDistance = 0.0;  // largest band difference in dB
    std::vector<std::string> violations;  // broken safety rules

    // Safe, and a patch of its own.
    bool passes() const { return violations.empty() && (reference || differsFromFlat); }

    Spectrogram spectrogram;  // of the demo phrase, when asked for
};

// Test signals at a rate: the demo phrase, mono pink noise at
// kPinkNoiseDbfs, a unit impulse followed by silence.
Audio demoPhrase(double rate, double seconds);
Audio pinkNoise(double rate, double seconds);
Audio impulse(double rate, double seconds);

// Level of a stereo signal in dBFS (RMS over both channels).
double rmsDb(const Audio& audio);

// Renders one preset of the plug-in and measures it. The plug-in must be
// open; the host it was opened with answers time information.
PresetAudit auditPreset(vst::AEffect* effect, int bank, int preset, const AuditOptions& options);

// Compares with the "[flat]" measurement and lists the broken rules.
void judge(PresetAudit& audit, const PresetAudit& flat);

// The whole library, or one bank (0..2), "[flat]" audited first; `done`
// hears of each preset as soon as it is judged.
std::vector<PresetAudit> auditLibrary(vst::AEffect* effect, int bank, const AuditOptions& options,
                                      const std::function<void(const PresetAudit&)>& done = nullptr);

std::string auditHeader();
std::string auditLine(const PresetAudit& audit);

// A contact sheet of one bank's spectrograms with the names under them.
bool writeContactSheet(const std::string& path, const std::vector<const PresetAudit*>& presets, std::string& error);

}  // namespace vhtool
