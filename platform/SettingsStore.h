#pragma once
// The per-user settings store: one small file per value in a folder of the
// user's configuration directory, $XDG_CONFIG_HOME/Vornwerk/VornHalyx/ (or
// ~/.config/Vornwerk/VornHalyx/ when XDG_CONFIG_HOME is unset). Values are
// written atomically, so a crash or a full disk never leaves a half-written
// default bank or clipboard behind. A missing folder or value simply reads as
// "not present". Not for the audio thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vh {

// The value names the engine uses.
namespace setting {
constexpr const char* kCurrDir = "CurrDir";        // last folder of a file selector
constexpr const char* kCurrBank = "CurrBank";      // last bank file name
constexpr const char* kCurrPreset = "CurrPreset";  // last preset file name
constexpr const char* kClipboard = "Clipboard";    // preset-file image (copy/paste)
constexpr int kNumDefaultBanks = 3;
// "DefaultBank0".."DefaultBank2": bank-file images that replace the factory
// banks at start-up. Empty string for a bank outside 0..2.
std::string defaultBankName(int bank);
}  // namespace setting

class SettingsStore {
public:
    // The store lives in `folder` (created on the first write). Tests point it
    // at a temporary folder.
    explicit SettingsStore(std::string folder);

    // The user's folder as described above; empty when neither
    // XDG_CONFIG_HOME nor a home folder can be found.
    static std::string userFolder();

    const std::string& folder() const { return mFolder; }

    // Text values. Reading gives at most maxLength bytes and stops at the first
    // zero byte, so the caller's fixed buffers can never overflow.
    [[nodiscard]] bool writeString(const char* name, const std::string& value);
    std::optional<std::string> readString(const char* name, std::size_t maxLength = 4096) const;

    // Binary values. Reading gives at most maxSize bytes (the caller's record
    // size); a shorter value gives fewer bytes.
    [[nodiscard]] bool writeBinary(const char* name, const void* data, std::size_t size);
    std::optional<std::vector<std::uint8_t>> readBinary(const char* name, std::size_t maxSize) const;

    bool contains(const char* name) const;
    // Deletes the value. True when it is gone afterwards (also when it never
    // existed); false when it exists and could not be deleted.
    [[nodiscard]] bool remove(const char* name);

private:
    // Path of a value; empty for names that could escape the folder.
    std::string pathOf(const char* name) const;

    std::string mFolder;
};

}  // namespace vh
