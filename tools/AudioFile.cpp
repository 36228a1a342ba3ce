#include "tools/AudioFile.h"

#include <sndfile.h>

namespace vhtool {

bool readAudio(const std::string& path, Audio& audio, std::string& error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    std::vector<float> interleaved(static_cast<size_t>(info.frames) * info.channels);
    sf_count_t frames = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    audio.sampleRate = info.samplerate;
    audio.channels.assign(info.channels, std::vector<float>(static_cast<size_t>(frames)));
    for (sf_count_t n = 0; n < frames; ++n)
        for (int c = 0; c < info.channels; ++c) audio.channels[c][n] = interleaved[n * info.channels + c];
    return true;
}

bool writeAudio(const std::string& path, const Audio& audio, std::string& error) {
    SF_INFO info{};
    info.samplerate = audio.sampleRate;
    info.channels = static_cast<int>(audio.channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    std::vector<float> interleaved(audio.frames() * audio.channels.size());
    for (size_t n = 0; n < audio.frames(); ++n)
        for (size_t c = 0; c < audio.channels.size(); ++c) interleaved[n * audio.channels.size() + c] = audio.channels[c][n];
    sf_count_t written = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(audio.frames()));
    sf_close(file);
    if (written != static_cast<sf_count_t>(audio.frames())) {
        error = path + ": short write";
        return false;
    }
    return true;
}

}  // namespace vhtool
