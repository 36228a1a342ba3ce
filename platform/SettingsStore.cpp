#include "platform/SettingsStore.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileIo.h"

namespace vh {

namespace setting {
std::string defaultBankName(int bank) {
    if (bank < 0 || bank >= kNumDefaultBanks) return {};
    return "DefaultBank" + std::to_string(bank);
}
}  // namespace setting

namespace {
constexpr const char* kVendorFolder = "Vornwerk";
constexpr const char* kProductFolder = "VornHalyx";
// Settings are private to the user: new values are created owner-only.
constexpr unsigned kValueMode = 0600;

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    // Hosts started from a service manager may have no HOME.
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}
}  // namespace

SettingsStore::SettingsStore(std::string folder) : mFolder(std::move(folder)) {
    while (mFolder.size() > 1 && mFolder.back() == '/') mFolder.pop_back();
}

std::string SettingsStore::userFolder() {
    std::string base;
    // Relative XDG paths are invalid by the base-directory rules and ignored.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        std::string home = homeFolder();
        if (home.empty()) return {};
        base = home + "/.config";
    }
    return base + "/" + kVendorFolder + "/" + kProductFolder;
}

std::string SettingsStore::pathOf(const char* name) const {
    if (mFolder.empty() || name == nullptr || name[0] == 0 || name[0] == '.') return {};
    if (std::strchr(name, '/') != nullptr) return {};
    return mFolder + "/" + name;
}

bool SettingsStore::writeString(const char* name, const std::string& value) {
    return writeBinary(name, value.data(), value.size());
}

std::optional<std::string> SettingsStore::readString(const char* name, std::size_t maxLength) const {
    auto bytes = readBinary(name, maxLength);
    if (!bytes) return std::nullopt;
    std::string text(bytes->begin(), bytes->end());
    std::size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    return text;
}

bool SettingsStore::writeBinary(const char* name, const void* data, std::size_t size) {
    std::string path = pathOf(name);
    if (path.empty() || !makeFolders(mFolder)) return false;
    return writeFileAtomically(path, data, size, kValueMode);
}

std::optional<std::vector<std::uint8_t>> SettingsStore::readBinary(const char* name, std::size_t maxSize) const {
    std::string path = pathOf(name);
    if (path.empty()) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    if (!readFileUpTo(path, maxSize, bytes)) return std::nullopt;
    return bytes;
}

bool SettingsStore::contains(const char* name) const {
    std::string path = pathOf(name);
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool SettingsStore::remove(const char* name) {
    std::string path = pathOf(name);
    if (path.empty()) return false;
    return ::unlink(path.c_str()) == 0 || errno == ENOENT || errno == ENOTDIR;
}

}  // namespace vh
