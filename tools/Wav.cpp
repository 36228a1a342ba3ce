#include "tools/Wav.h"

#include <cstdint>
#include <cstring>
#include <fstream>

namespace vhtool {

namespace {
uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void put32(std::ofstream& f, uint32_t v) {
    unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    f.write(reinterpret_cast<char*>(b), 4);
}
void put16(std::ofstream& f, uint16_t v) {
    unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
    f.write(reinterpret_cast<char*>(b), 2);
}
}  // namespace

bool readWav(const std::string& path, Audio& audio, std::string& error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 || std::memcmp(data.data() + 8, "WAVE", 4) != 0) {
        error = path + " is not a WAV file";
        return false;
    }
    int format = 0, channels = 0, bits = 0;
    const unsigned char* samples = nullptr;
    size_t sampleBytes = 0;
    for (size_t pos = 12; pos + 8 <= data.size();) {
        uint32_t size = le32(&data[pos + 4]);
        const unsigned char* body = &data[pos + 8];
        size_t available = data.size() - pos - 8;
        if (size > available) size = static_cast<uint32_t>(available);
        if (std::memcmp(&data[pos], "fmt ", 4) == 0 && size >= 16) {
            format = le16(body);
            channels = le16(body + 2);
            audio.sampleRate = static_cast<int>(le32(body + 4));
            bits = le16(body + 14);
            if (format == 0xFFFE && size >= 26) format = le16(body + 24);
        } else if (std::memcmp(&data[pos], "data", 4) == 0) {
            samples = body;
            sampleBytes = size;
        }
        pos += 8 + size + (size & 1);
    }
    bool pcm = format == 1 && (bits == 16 || bits == 24 || bits == 32);
    bool flt = format == 3 && (bits == 32 || bits == 64);
    if (!samples || channels < 1 || channels > 64 || (!pcm && !flt) || audio.sampleRate <= 0) {
        error = path + ": unsupported WAV format";
        return false;
    }
    int bytes = bits / 8;
    size_t frames = sampleBytes / (size_t(bytes) * channels);
    audio.channels.assign(channels, std::vector<float>(frames));
    for (size_t n = 0; n < frames; ++n)
        for (int c = 0; c < channels; ++c) {
            const unsigned char* p = samples + (n * channels + c) * bytes;
            float x = 0.0f;
            if (flt && bits == 32) {
                uint32_t u = le32(p);
                std::memcpy(&x, &u, 4);
            } else if (flt) {
                uint64_t u = le32(p) | (uint64_t(le32(p + 4)) << 32);
                double d;
                std::memcpy(&d, &u, 8);
                x = static_cast<float>(d);
            } else if (bits == 16) {
                x = int16_t(le16(p)) / 32768.0f;
            } else if (bits == 24) {
                int32_t v = int32_t((p[0] << 8) | (p[1] << 16) | (uint32_t(p[2]) << 24)) >> 8;
                x = v / 8388608.0f;
            } else {
                x = int32_t(le32(p)) / 2147483648.0f;
            }
            audio.channels[c][n] = x;
        }
    return true;
}

bool writeWav(const std::string& path, const Audio& audio, std::string& error) {
    std::ofstream f(path, std::ios::binary);
    if (!f) {
        error = "cannot write " + path;
        return false;
    }
    uint16_t channels = static_cast<uint16_t>(audio.channels.size());
    uint32_t frames = static_cast<uint32_t>(audio.frames());
    uint32_t dataBytes = frames * channels * 4;
    f.write("RIFF", 4);
    put32(f, 36 + dataBytes);
    f.write("WAVEfmt ", 8);
    put32(f, 16);
    put16(f, 3);
    put16(f, channels);
    put32(f, static_cast<uint32_t>(audio.sampleRate));
    put32(f, static_cast<uint32_t>(audio.sampleRate) * channels * 4);
    put16(f, static_cast<uint16_t>(channels * 4));
    put16(f, 32);
    f.write("data", 4);
    put32(f, dataBytes);
    for (uint32_t n = 0; n < frames; ++n)
        for (uint16_t c = 0; c < channels; ++c) {
            float x = audio.channels[c][n];
            uint32_t u;
            std::memcpy(&u, &x, 4);
            put32(f, u);
        }
    if (!f) {
        error = "write failed: " + path;
        return false;
    }
    return true;
}

}  // namespace vhtool
