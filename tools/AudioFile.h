#pragma once
// Audio files for the command-line host, through libsndfile.

#include <string>
#include <vector>

namespace vhtool {

struct Audio {
    int sampleRate = 44100;
    std::vector<std::vector<float>> channels;
    size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

// Return false with a message in `error` when the file cannot be used.
bool readAudio(const std::string& path, Audio& audio, std::string& error);
// Writes a 32-bit float WAV.
bool writeAudio(const std::string& path, const Audio& audio, std::string& error);

}  // namespace vhtool
