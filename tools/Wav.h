#pragma once
// Minimal WAV reading (16/24/32-bit PCM, 32/64-bit float) and writing
// (32-bit float) for the command-line host.

#include <string>
#include <vector>

namespace vhtool {

struct Audio {
    int sampleRate = 44100;
    std::vector<std::vector<float>> channels;
    size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

// Returns false with a message in `error` when the file cannot be used.
bool readWav(const std::string& path, Audio& audio, std::string& error);
bool writeWav(const std::string& path, const Audio& audio, std::string& error);

}  // namespace vhtool
