#include "tools/Audit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "engine/Plugin.h"
#include "operators/FFT.h"
#include "tools/AuditRules.h"
#include "tools/TestSignal.h"
#include "modules/MathConstants.h"

namespace vhtool {

namespace {

using vh::Vec4;
using vst::AEffect;

constexpr int kBlock = 512;
// Spectra for bands and centroid: 4096 points give 10.8 Hz bins at 44.1 kHz,
// enough to resolve the lowest third-octave band below.
constexpr int kSpectrumSize = 4096;
constexpr int kSpectrogramSize = 1024;
constexpr int kSpectrogramRows = 64;
constexpr double kSpectrogramLowHz = 40.0;
constexpr double kSpectrogramHighHz = 18000.0;
constexpr double kLowestBandHz = 63.0;
constexpr double kHighestBandHz = 16000.0;
// Bands of "[flat]" this far below its loudest band say nothing audible.
constexpr double kBandFloorDb = 60.0;
constexpr int kEnvelopeFrame = 1024;
constexpr double kEnvelopeFloorDb = -70.0;
constexpr double kTailWindowSeconds = 0.01;
constexpr double kTiny = 1e-20;

// Processor time of this thread: a busy machine does not inflate it the way
// it inflates wall-clock time.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

double dbOfPower(double power) { return 10.0 * std::log10(power + kTiny); }

intptr_t dispatch(AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// Suspend, new rate, resume: the plug-in clears every buffer and ramp, so
// each render starts from silence with the preset's settings in place.
void restart(AEffect* e, double rate) {
    dispatch(e, vst::effMainsChanged, 0, 0);
    dispatch(e, vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    dispatch(e, vst::effSetBlockSize, 0, kBlock);
    dispatch(e, vst::effMainsChanged, 0, 1);
}

// The side-chain carries the same signal as the main input, as when a host
// keys a track from itself: keyed patches then react to the material.
Audio render(AEffect* e, double rate, const Audio& in, double* processSeconds) {
    restart(e, rate);
    Audio out;
    out.sampleRate = in.sampleRate;
    const size_t frames = in.frames();
    out.channels.assign(2, std::vector<float>(frames, 0.0f));
    const int numIn = std::max(4, e->numInputs), numOut = std::max(2, e->numOutputs);
    std::vector<std::vector<float>> inBuffers(numIn, std::vector<float>(kBlock, 0.0f));
    std::vector<std::vector<float>> outBuffers(numOut, std::vector<float>(kBlock, 0.0f));
    std::vector<float*> inPtr(numIn), outPtr(numOut);
    for (int c = 0; c < numIn; ++c) inPtr[c] = inBuffers[c].data();
    for (int c = 0; c < numOut; ++c) outPtr[c] = outBuffers[c].data();
    for (size_t pos = 0; pos < frames; pos += kBlock) {
        const int n = static_cast<int>(std::min<size_t>(kBlock, frames - pos));
        for (int k = 0; k < n; ++k)
            for (int c = 0; c < 4; ++c) inBuffers[c][k] = in.channels[c % 2][pos + k];
        const double started = threadSeconds();
        e->processReplacing(e, inPtr.data(), outPtr.data(), n);
        if (processSeconds) *processSeconds += threadSeconds() - started;
        for (int c = 0; c < 2; ++c) std::copy_n(outBuffers[c].data(), n, &out.channels[c][pos]);
    }
    return out;
}

// Replaces non-finite samples by 0 so the measurements stay meaningful;
// answers whether there were any.
bool sanitise(Audio& audio) {
    bool finite = true;
    for (auto& channel : audio.channels)
        for (float& x : channel)
            if (!std::isfinite(x)) {
                finite = false;
                x = 0.0f;
            }
    return finite;
}

double peakOf(const Audio& audio) {
    double peak = 0.0;
    for (const auto& channel : audio.channels)
        for (float x : channel) peak = std::max(peak, double(std::fabs(x)));
    return peak;
}

double meanSquare(const float* x, size_t n) {
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) sum += double(x[i]) * x[i];
    return n ? sum / double(n) : 0.0;
}

// Power spectra of frames of `size` points with a Hann window, hop size/2,
// four frames per transform; `visit` gets the frame index and |X_k|^2.
template <class Visit>
void forEachSpectrum(const std::vector<float>& x, int size, Visit visit) {
    std::vector<Vec4> data(size), re(size / 2 + 1), im(size / 2 + 1);
    std::vector<float> window(size);
    for (int j = 0; j < size; ++j) window[j] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * vh::kPi * j / size));
    const int hop = size / 2;
    const int frames = x.size() >= size_t(size) ? static_cast<int>((x.size() - size) / hop) + 1 : 0;
    std::vector<double> power(size / 2 + 1);
    for (int first = 0; first < frames; first += 4) {
        for (int j = 0; j < size; ++j) {
            Vec4 v;
            for (int lane = 0; lane < 4; ++lane) {
                const size_t at = size_t(first + lane) * hop + j;
                v.set(lane, first + lane < frames ? x[at] * window[j] : 0.0f);
            }
            // The transform's input order: sample j at 2j in the first half,
            // at 2(j - size/2) + 1 in the second.
            data[j < size / 2 ? 2 * j : 2 * (j - size / 2) + 1] = v;
        }
        vh::fft::forward(data.data(), size);
        vh::fft::unpack(size, data.data(), re.data(), im.data());
        for (int lane = 0; lane < 4 && first + lane < frames; ++lane) {
            for (int k = 0; k <= size / 2; ++k) power[k] = double(re[k][lane]) * re[k][lane] + double(im[k][lane]) * im[k][lane];
            visit(first + lane, power);
        }
    }
}

// Average power spectrum over both channels.
std::vector<double> averageSpectrum(const Audio& audio) {
    std::vector<double> sum(kSpectrumSize / 2 + 1, 0.0);
    int count = 0;
    for (const auto& channel : audio.channels)
        forEachSpectrum(channel, kSpectrumSize, [&](int, const std::vector<double>& power) {
            for (size_t k = 0; k < sum.size(); ++k) sum[k] += power[k];
            ++count;
        });
    if (count) for (double& s : sum) s /= count;
    return sum;
}

std::vector<double> thirdOctaveBandsDb(const std::vector<double>& spectrum, double rate) {
    std::vector<double> bands;
    const double binHz = rate / kSpectrumSize;
    for (double centre = kLowestBandHz; centre <= kHighestBandHz * 1.01; centre *= std::cbrt(2.0)) {
        const double low = centre / std::pow(2.0, 1.0 / 6.0), high = centre * std::pow(2.0, 1.0 / 6.0);
        double power = 0.0;
        for (size_t k = static_cast<size_t>(std::ceil(low / binHz)); k < spectrum.size() && k * binHz < high; ++k)
            power += spectrum[k];
        bands.push_back(dbOfPower(power));
    }
    return bands;
}

double centroidHz(const std::vector<double>& spectrum, double rate) {
    const double binHz = rate / kSpectrumSize;
    double weighted = 0.0, total = 0.0;
    for (size_t k = 1; k < spectrum.size(); ++k) {
        weighted += k * binHz * spectrum[k];
        total += spectrum[k];
    }
    return total > kTiny ? weighted / total : 0.0;
}

std::vector<double> frameLevelsDb(const Audio& audio) {
    std::vector<double> levels;
    for (size_t pos = 0; pos + kEnvelopeFrame <= audio.frames(); pos += kEnvelopeFrame) {
        double power = 0.0;
        for (const auto& channel : audio.channels) power += meanSquare(&channel[pos], kEnvelopeFrame);
        levels.push_back(dbOfPower(power / 2.0));
    }
    return levels;
}

Spectrogram spectrogramOf(const Audio& audio, double rate) {
    std::vector<float> mid(audio.frames());
    for (size_t i = 0; i < mid.size(); ++i) mid[i] = 0.5f * (audio.channels[0][i] + audio.channels[1][i]);
    Spectrogram s;
    s.rows = kSpectrogramRows;
    const double binHz = rate / kSpectrogramSize;
    // Normalised so a full-scale sine reads 0 dB (Hann window sum size/2).
    const double scale = 1.0 / (double(kSpectrogramSize) * kSpectrogramSize / 16.0);
    forEachSpectrum(mid, kSpectrogramSize, [&](int, const std::vector<double>& power) {
        for (int row = 0; row < kSpectrogramRows; ++row) {
            const double low = kSpectrogramLowHz * std::pow(kSpectrogramHighHz / kSpectrogramLowHz, double(row) / kSpectrogramRows);
            const double high = kSpectrogramLowHz * std::pow(kSpectrogramHighHz / kSpectrogramLowHz, double(row + 1) / kSpectrogramRows);
            size_t first = static_cast<size_t>(low / binHz), last = static_cast<size_t>(high / binHz);
            double strongest = 0.0;
            for (size_t k = first; k <= last && k < power.size(); ++k) strongest = std::max(strongest, power[k]);
            s.db.push_back(static_cast<float>(dbOfPower(strongest * scale)));
        }
        ++s.columns;
    });
    return s;
}

void measureImpulse(PresetAudit& audit, const Audio& response, double rate) {
    const size_t window = static_cast<size_t>(kTailWindowSeconds * rate);
    if (window == 0 || response.frames() < 4 * window) return;
    std::vector<double> envelope;
    for (size_t pos = 0; pos + window <= response.frames(); pos += window) {
        double power = 0.0;
        for (const auto& channel : response.channels) power = std::max(power, meanSquare(&channel[pos], window));
        envelope.push_back(power);
    }
    if (envelope.empty()) return;
    const double loudest = *std::max_element(envelope.begin(), envelope.end());
    const double threshold = loudest * std::pow(10.0, rules::kTailEndDb / 10.0);
    size_t last = 0;
    for (size_t i = 0; i < envelope.size(); ++i)
        if (envelope[i] > threshold && envelope[i] > kTiny) last = i + 1;
    audit.tailSeconds = double(last * window) / rate;
    audit.tailOpen = last == envelope.size() && loudest > kTiny;

    const size_t quarter = response.frames() / 4;
    double first = 0.0, fourth = 0.0;
    for (const auto& channel : response.channels) {
        first += meanSquare(&channel[0], quarter);
        fourth += meanSquare(&channel[response.frames() - quarter], quarter);
    }
    const double floor = std::pow(10.0, rules::kRunawayFloorDbfs / 10.0);
    if (fourth / 2.0 > floor && fourth > rules::kRunawayEnergyRatio * first) audit.runaway = true;
}

void selectPreset(AEffect* e, int bank, int preset) {
    int32_t selection[2] = {bank, preset};
    dispatch(e, vst::effVendorSpecific, vh::kVendorCommand, vh::kVendorSelectPreset, selection);
    e->setParameter(e, vh::param::kOutLimiter, 0.0f);
}

std::string presetName(AEffect* e, int bank, int preset) {
    vh::VendorPresetName name{bank, preset, {}};
    if (!dispatch(e, vst::effVendorSpecific, vh::kVendorCommand, vh::kVendorGetPresetName, &name)) return "";
    return name.name;
}

}  // namespace

Audio demoPhrase(double rate, double seconds) { return makeTestSignal(static_cast<int>(rate), seconds); }

Audio pinkNoise(double rate, double seconds) {
    Audio audio;
    audio.sampleRate = static_cast<int>(rate);
    std::vector<float> x(static_cast<size_t>(rate * seconds));
    // Paul Kellet's economy pink filter over a fixed-seed white noise, so
    // every run measures the same signal.
    uint32_t state = 0x9E3779B9u;
    double b0 = 0.0, b1 = 0.0, b2 = 0.0;
    for (float& sample : x) {
        state = state * 1664525u + 1013904223u;
        const double white = (state >> 8) / 8388608.0 - 1.0;
        b0 = 0.99765 * b0 + white * 0.0990460;
        b1 = 0.96300 * b1 + white * 0.2965164;
        b2 = 0.57000 * b2 + white * 1.0526913;
        sample = static_cast<float>(b0 + b1 + b2 + white * 0.1848);
    }
    // Without its mean: pink noise drifts, and a second of it would read as DC.
    double mean = 0.0;
    for (float sample : x) mean += sample;
    mean /= std::max<size_t>(1, x.size());
    for (float& sample : x) sample = static_cast<float>(sample - mean);
    const double gain = std::pow(10.0, rules::kPinkNoiseDbfs / 20.0) / std::sqrt(meanSquare(x.data(), x.size()) + kTiny);
    for (float& sample : x) sample = static_cast<float>(sample * gain);
    audio.channels.assign(2, x);
    return audio;
}

Audio impulse(double rate, double seconds) {
    Audio audio;
    audio.sampleRate = static_cast<int>(rate);
    audio.channels.assign(2, std::vector<float>(static_cast<size_t>(rate * seconds), 0.0f));
    audio.channels[0][0] = audio.channels[1][0] = 1.0f;
    return audio;
}

double rmsDb(const Audio& audio) {
    double power = 0.0;
    for (const auto& channel : audio.channels) power += meanSquare(channel.data(), channel.size());
    return dbOfPower(power / std::max<size_t>(1, audio.channels.size()));
}

PresetAudit auditPreset(AEffect* e, int bank, int preset, const AuditOptions& options) {
    PresetAudit audit;
    audit.bank = bank;
    audit.preset = preset;
    audit.name = presetName(e, bank, preset);
    selectPreset(e, bank, preset);
    const double rate = rules::kReferenceRate;

    double processSeconds = 0.0;
    const Audio demoIn = demoPhrase(rate, options.demoSeconds);
    const Audio noiseIn = pinkNoise(rate, options.noiseSeconds);
    Audio demo = render(e, rate, demoIn, &processSeconds);
    Audio noise = render(e, rate, noiseIn, &processSeconds);
    Audio response = render(e, rate, impulse(rate, options.impulseSeconds), &processSeconds);
    const double frames = double(demo.frames() + noise.frames() + response.frames());
    audit.nsPerSample = frames > 0 ? processSeconds * 1e9 / frames : 0.0;
    bool finite = sanitise(demo);
    finite = sanitise(noise) && finite;
    finite = sanitise(response) && finite;
    double blowUp = std::max({peakOf(demo), peakOf(noise), peakOf(response)});
    if (!finite || blowUp > rules::kBlowUpPeak) audit.badRates.push_back(rate);

    audit.levelDemoDb = rmsDb(demo) - rmsDb(demoIn);
    audit.levelNoiseDb = rmsDb(noise) - rmsDb(noiseIn);
    audit.peak = std::max(peakOf(demo), peakOf(noise));
    size_t clipped = 0, total = 0;
    for (const Audio* a : {&demo, &noise})
        for (const auto& channel : a->channels) {
            double sum = 0.0;
            for (float x : channel) {
                sum += x;
                clipped += std::fabs(x) > rules::kClipLevel;
            }
            total += channel.size();
            audit.dc = std::max(audit.dc, channel.empty() ? 0.0 : std::fabs(sum / double(channel.size())));
        }
    audit.clipFraction = total ? double(clipped) / double(total) : 0.0;

    const std::vector<double> noiseSpectrum = averageSpectrum(noise);
    const double centroidIn = centroidHz(averageSpectrum(noiseIn), rate), centroidOut = centroidHz(noiseSpectrum, rate);
    audit.centroidShiftOct = centroidIn > 0 && centroidOut > 0 ? std::log2(centroidOut / centroidIn) : 0.0;
    audit.noiseBandsDb = thirdOctaveBandsDb(noiseSpectrum, rate);
    audit.demoBandsDb = thirdOctaveBandsDb(averageSpectrum(demo), rate);
    audit.demoFramesDb = frameLevelsDb(demo);
    double side = 0.0, mid = 0.0;
    for (size_t i = 0; i < noise.frames(); ++i) {
        const double l = noise.channels[0][i], r = noise.channels[1][i];
        side += (l - r) * (l - r);
        mid += (l + r) * (l + r);
    }
    audit.width = mid > kTiny ? std::sqrt(side / mid) : (side > kTiny ? 99.0 : 0.0);
    measureImpulse(audit, response, rate);
    if (options.spectrogram) audit.spectrogram = spectrogramOf(demo, rate);

    for (double other : options.otherRates) {
        Audio a = render(e, other, pinkNoise(other, options.otherRateSeconds), nullptr);
        Audio b = render(e, other, impulse(other, options.otherRateSeconds), nullptr);
        const bool ok = sanitise(a) & sanitise(b);
        if (!ok || std::max(peakOf(a), peakOf(b)) > rules::kBlowUpPeak) audit.badRates.push_back(other);
    }
    // Back to the reference rate for whoever uses the plug-in next.
    restart(e, rate);
    return audit;
}

void judge(PresetAudit& audit, const PresetAudit& flat) {
    auto& v = audit.violations;
    v.clear();
    char text[160];
    auto add = [&](const char* format, double x) {
        std::snprintf(text, sizeof(text), format, x);
        v.push_back(text);
    };
    if (std::fabs(audit.levelDemoDb) > rules::kMaxLevelChangeDb) add("demo phrase level %+.1f dB", audit.levelDemoDb);
    if (std::fabs(audit.levelNoiseDb) > rules::kMaxLevelChangeDb) add("pink noise level %+.1f dB", audit.levelNoiseDb);
    if (audit.clipFraction > rules::kMaxClipFraction) add("%.2f%% of samples clip", 100.0 * audit.clipFraction);
    if (audit.dc > rules::kMaxDc) add("DC %.4f", audit.dc);
    if (audit.runaway) v.push_back("impulse response does not decay");
    for (double rate : audit.badRates) add("non-finite or blown-up output at %.0f Hz", rate);

    // The bands and the frame-by-frame envelope against "[flat]".
    double bandDistance = 0.0;
    auto compareBands = [&](const std::vector<double>& mine, const std::vector<double>& reference) {
        if (mine.size() != reference.size() || reference.empty()) return;
        const double loudest = *std::max_element(reference.begin(), reference.end());
        for (size_t i = 0; i < mine.size(); ++i)
            if (reference[i] > loudest - kBandFloorDb) bandDistance = std::max(bandDistance, std::fabs(mine[i] - reference[i]));
    };
    compareBands(audit.noiseBandsDb, flat.noiseBandsDb);
    compareBands(audit.demoBandsDb, flat.demoBandsDb);
    double sum = 0.0, sumSquares = 0.0;
    int count = 0;
    for (size_t i = 0; i < std::min(audit.demoFramesDb.size(), flat.demoFramesDb.size()); ++i) {
        if (flat.demoFramesDb[i] < kEnvelopeFloorDb && audit.demoFramesDb[i] < kEnvelopeFloorDb) continue;
        const double d = audit.demoFramesDb[i] - flat.demoFramesDb[i];
        sum += d;
        sumSquares += d * d;
        ++count;
    }
    const double envelopeDistance = count > 1 ? std::sqrt(std::max(0.0, sumSquares / count - (sum / count) * (sum / count))) : 0.0;
    audit.flatDistance = bandDistance;
    audit.reference = audit.bank == flat.bank && audit.preset == flat.preset;
    audit.differsFromFlat = !audit.reference && (bandDistance >= rules::kAudibleBandDb || envelopeDistance >= rules::kAudibleEnvelopeDb ||
                                        std::fabs(audit.width - flat.width) >= rules::kAudibleWidth ||
                                        std::fabs(audit.tailSeconds - flat.tailSeconds) >= rules::kAudibleTailSeconds);
}

std::vector<PresetAudit> auditLibrary(AEffect* e, int bank, const AuditOptions& options,
                                      const std::function<void(const PresetAudit&)>& done) {
    std::vector<PresetAudit> audits;
    const PresetAudit flat = auditPreset(e, 0, 0, options);
    const int first = bank >= 0 ? bank : 0, last = bank >= 0 ? bank : vh::kNumBanks - 1;
    for (int b = first; b <= last; ++b)
        for (int p = 0; p < vh::kPresetsPerBank; ++p) {
            audits.push_back(b == 0 && p == 0 ? flat : auditPreset(e, b, p, options));
            judge(audits.back(), flat);
            if (done) done(audits.back());
        }
    return audits;
}

std::string auditHeader() {
    char line[256];
    std::snprintf(line, sizeof(line), "%-4s %-24s %7s %7s %5s %6s %10s %5s %6s %8s %-7s %s", "B:P", "name", "demo dB",
                  "pink dB", "peak", "DC", "centroid", "width", "tail s", "ns/smp", "flat?", "verdict");
    return line;
}

std::string auditLine(const PresetAudit& a) {
    char line[512];
    char tail[16];
    std::snprintf(tail, sizeof(tail), "%s%.2f", a.tailOpen ? ">" : " ", a.tailSeconds);
    std::snprintf(line, sizeof(line), "%d:%02d %-24s %+7.1f %+7.1f %5.2f %6.4f %+6.2f oct %5.2f %6s %7.0f%s %-7s ", a.bank,
                  a.preset, a.name.c_str(), a.levelDemoDb, a.levelNoiseDb, a.peak, a.dc, a.centroidShiftOct, a.width, tail,
                  a.nsPerSample, a.nsPerSample > rules::kCpuBudgetNs ? "!" : " ", a.differsFromFlat ? "differs" : "flat");
    std::string text = line;
    if (a.passes()) return text + "ok";
    std::vector<std::string> faults = a.violations;
    if (!a.reference && !a.differsFromFlat) faults.push_back("sounds like [flat]");
    text += "FAIL:";
    for (size_t i = 0; i < faults.size(); ++i) text += (i ? "; " : " ") + faults[i];
    return text;
}

}  // namespace vhtool
