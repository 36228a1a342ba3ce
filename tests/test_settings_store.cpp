// The per-user settings store and the atomic file writes under it: values
// come back as written, missing ones read as not present, and a failed write
// leaves the old value and no temporary file behind.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/PresetStore.h"
#include "platform/FileIo.h"
#include "platform/SettingsStore.h"

using namespace vh;
namespace fs = std::filesystem;

namespace {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "vh-settings-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back(0);
        mPath = ::mkdtemp(name.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(mPath, ignored);
    }
    const std::string& path() const { return mPath; }

private:
    std::string mPath;
};

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> pattern(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t k = 0; k < size; ++k) bytes[k] = static_cast<std::uint8_t>((k * 131 + seed) ^ (k >> 7));
    return bytes;
}

// Restores an environment variable when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : mName(name) {
        if (const char* old = std::getenv(name)) mOld = old;
        mHad = std::getenv(name) != nullptr;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (mHad) ::setenv(mName, mOld.c_str(), 1);
        else ::unsetenv(mName);
    }

private:
    const char* mName;
    std::string mOld;
    bool mHad = false;
};

// Makes every write past `bytes` fail with EFBIG, like a full disk, even for
// root (who ignores folder permissions).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        mOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &mOld);
        struct rlimit limited = mOld;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &mOld);
        std::signal(SIGXFSZ, mOldHandler);
    }

private:
    struct rlimit mOld {};
    void (*mOldHandler)(int);
};

}  // namespace

TEST(SettingsStore, ValueNamesAreTheRegistryNames) {
    EXPECT_STREQ(setting::kCurrDir, "CurrDir");
    EXPECT_STREQ(setting::kCurrBank, "CurrBank");
    EXPECT_STREQ(setting::kCurrPreset, "CurrPreset");
    EXPECT_STREQ(setting::kClipboard, "Clipboard");
    EXPECT_EQ(setting::defaultBankName(0), "DefaultBank0");
    EXPECT_EQ(setting::defaultBankName(2), "DefaultBank2");
    EXPECT_EQ(setting::defaultBankName(3), "");
    EXPECT_EQ(setting::defaultBankName(-1), "");
}

TEST(SettingsStore, MissingFolderReadsAsNotPresent) {
    TempFolder temp;
    SettingsStore store(temp.path() + "/not/there/yet");
    EXPECT_FALSE(store.readString(setting::kCurrDir).has_value());
    EXPECT_FALSE(store.readBinary(setting::kClipboard, kPresetFileSize).has_value());
    EXPECT_FALSE(store.contains(setting::kCurrDir));
    EXPECT_TRUE(store.remove(setting::kCurrDir));
    EXPECT_FALSE(fs::exists(store.folder()));
}

TEST(SettingsStore, WritesCreateTheFolderAndReadBack) {
    TempFolder temp;
    SettingsStore store(temp.path() + "/Vornwerk/VornHalyx/");
    EXPECT_EQ(store.folder(), temp.path() + "/Vornwerk/VornHalyx");
    ASSERT_TRUE(store.writeString(setting::kCurrDir, "/home/someone/Presets with spaces"));
    ASSERT_TRUE(store.writeString(setting::kCurrBank, ""));
    const auto bank = pattern(kBankFileSize, 3);
    ASSERT_TRUE(store.writeBinary(setting::defaultBankName(1).c_str(), bank.data(), bank.size()));

    EXPECT_EQ(store.readString(setting::kCurrDir).value_or("?"), "/home/someone/Presets with spaces");
    EXPECT_EQ(store.readString(setting::kCurrBank).value_or("?"), "");
    EXPECT_EQ(store.readBinary("DefaultBank1", kBankFileSize).value_or(std::vector<std::uint8_t>{}), bank);
    EXPECT_TRUE(store.contains("DefaultBank1"));
    EXPECT_FALSE(store.contains("DefaultBank0"));
    // One file per value, nothing else: no temporary files left.
    EXPECT_EQ(entriesOf(store.folder()), (std::vector<std::string>{"CurrBank", "CurrDir", "DefaultBank1"}));
    struct stat info {};
    ASSERT_EQ(::stat(store.folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((store.folder() + "/CurrDir").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(SettingsStore, OverwriteReplacesTheWholeValue) {
    TempFolder temp;
    SettingsStore store(temp.path());
    const auto big = pattern(kPresetFileSize, 1);
    const auto small = pattern(10, 2);
    ASSERT_TRUE(store.writeBinary(setting::kClipboard, big.data(), big.size()));
    ASSERT_TRUE(store.writeBinary(setting::kClipboard, small.data(), small.size()));
    EXPECT_EQ(store.readBinary(setting::kClipboard, kPresetFileSize).value(), small);
    EXPECT_EQ(entriesOf(temp.path()), std::vector<std::string>{"Clipboard"});
}

TEST(SettingsStore, ReadsNeverExceedTheCallersSize) {
    TempFolder temp;
    SettingsStore store(temp.path());
    const auto oversized = pattern(kPresetFileSize + 5000, 9);
    ASSERT_TRUE(store.writeBinary(setting::kClipboard, oversized.data(), oversized.size()));
    auto read = store.readBinary(setting::kClipboard, kPresetFileSize);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->size(), kPresetFileSize);
    EXPECT_TRUE(std::equal(read->begin(), read->end(), oversized.begin()));

    ASSERT_TRUE(store.writeString(setting::kCurrPreset, std::string(3000, 'a')));
    EXPECT_EQ(store.readString(setting::kCurrPreset, 512).value().size(), 512u);
    const char withZero[] = {'a', 'b', 0, 'c'};
    ASSERT_TRUE(store.writeBinary(setting::kCurrPreset, withZero, sizeof withZero));
    EXPECT_EQ(store.readString(setting::kCurrPreset).value(), "ab");
}

TEST(SettingsStore, RemoveDeletesTheValue) {
    TempFolder temp;
    SettingsStore store(temp.path());
    ASSERT_TRUE(store.writeString("DefaultBank2", "x"));
    EXPECT_TRUE(store.remove("DefaultBank2"));
    EXPECT_FALSE(store.contains("DefaultBank2"));
    EXPECT_FALSE(store.readBinary("DefaultBank2", 10).has_value());
    EXPECT_TRUE(store.remove("DefaultBank2"));
}

TEST(SettingsStore, NamesThatCouldLeaveTheFolderAreRefused) {
    TempFolder temp;
    SettingsStore store(temp.path() + "/inner");
    for (const char* name : {"", "../escape", "a/b", ".hidden", ".."}) {
        EXPECT_FALSE(store.writeString(name, "x")) << name;
        EXPECT_FALSE(store.readString(name).has_value()) << name;
        EXPECT_FALSE(store.remove(name)) << name;
    }
    EXPECT_FALSE(store.writeString(nullptr, "x"));
    EXPECT_FALSE(fs::exists(temp.path() + "/escape"));
}

TEST(SettingsStore, FailedWriteKeepsTheOldValueAndLeavesNoTemporary) {
    TempFolder temp;
    SettingsStore store(temp.path());
    const auto good = pattern(100, 4);
    ASSERT_TRUE(store.writeBinary("DefaultBank0", good.data(), good.size()));
    const auto bank = pattern(kBankFileSize, 5);
    {
        FileSizeLimit diskFull(4096);
        EXPECT_FALSE(store.writeBinary("DefaultBank0", bank.data(), bank.size()));
    }
    EXPECT_EQ(store.readBinary("DefaultBank0", kBankFileSize).value(), good);
    EXPECT_EQ(entriesOf(temp.path()), std::vector<std::string>{"DefaultBank0"});
}

TEST(SettingsStore, UnusableFolderFailsCleanly) {
    TempFolder temp;
    // The folder path runs through a plain file: nothing can be created.
    ASSERT_TRUE(writeFileAtomically(temp.path() + "/file", "x", 1));
    SettingsStore store(temp.path() + "/file/VornHalyx");
    EXPECT_FALSE(store.writeString(setting::kCurrDir, "/tmp"));
    EXPECT_FALSE(store.readString(setting::kCurrDir).has_value());
    EXPECT_TRUE(store.remove(setting::kCurrDir));

    SettingsStore nowhere("");
    EXPECT_FALSE(nowhere.writeString(setting::kCurrDir, "/tmp"));
    EXPECT_FALSE(nowhere.readString(setting::kCurrDir).has_value());
}

TEST(SettingsStore, ReadOnlyFolderFailsAndKeepsTheOldValue) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders; the file-size test covers this";
    TempFolder temp;
    SettingsStore store(temp.path());
    ASSERT_TRUE(store.writeString(setting::kCurrDir, "old"));
    ::chmod(temp.path().c_str(), 0500);
    EXPECT_FALSE(store.writeString(setting::kCurrDir, "new"));
    ::chmod(temp.path().c_str(), 0700);
    EXPECT_EQ(store.readString(setting::kCurrDir).value(), "old");
    EXPECT_EQ(entriesOf(temp.path()), std::vector<std::string>{"CurrDir"});
}

TEST(SettingsStore, UserFolderFollowsXdgConfigHome) {
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/somewhere/config");
        EXPECT_EQ(SettingsStore::userFolder(), "/somewhere/config/Vornwerk/VornHalyx");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        ScopedEnv home("HOME", "/home/tester");
        EXPECT_EQ(SettingsStore::userFolder(), "/home/tester/.config/Vornwerk/VornHalyx");
    }
    {
        // Relative paths are not valid XDG locations.
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/config");
        ScopedEnv home("HOME", "/home/tester");
        EXPECT_EQ(SettingsStore::userFolder(), "/home/tester/.config/Vornwerk/VornHalyx");
    }
}

TEST(AtomicFile, ReplacedFileKeepsItsPermissions) {
    TempFolder temp;
    const std::string path = temp.path() + "/My Preset.vrp";
    ASSERT_TRUE(writeFileAtomically(path, "one", 3));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0644u & ~mask);
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(writeFileAtomically(path, "two!", 4));
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readFileUpTo(path, 100, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "two!");
    EXPECT_EQ(entriesOf(temp.path()), std::vector<std::string>{"My Preset.vrp"});
}

TEST(AtomicFile, ReadsOnlyRegularFiles) {
    TempFolder temp;
    std::vector<std::uint8_t> bytes{1, 2, 3};
    EXPECT_FALSE(readFileUpTo(temp.path(), 100, bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(readFileUpTo(temp.path() + "/missing", 100, bytes));
    EXPECT_FALSE(writeFileAtomically(temp.path() + "/missing-folder/file", "x", 1));
    EXPECT_EQ(entriesOf(temp.path()), std::vector<std::string>{});
}

// A default bank written through the store and read back is accepted by the
// bank reader: the path the engine takes at start-up.
TEST(SettingsStore, DefaultBankSurvivesTheRoundTrip) {
    TempFolder temp;
    SettingsStore settings(temp.path());
    auto store = std::make_unique<PresetStore>();
    store->setName(1, 7, "My Default");
    store->setValue(1, 7, 300, 0.625f);
    std::vector<std::uint8_t> image(kBankFileSize);
    store->writeBankImage(1, image.data());
    ASSERT_TRUE(settings.writeBinary(setting::defaultBankName(1).c_str(), image.data(), image.size()));

    auto fresh = std::make_unique<PresetStore>();
    auto stored = settings.readBinary(setting::defaultBankName(1).c_str(), kBankFileSize);
    ASSERT_TRUE(stored.has_value());
    ASSERT_TRUE(fresh->loadBankImage(1, stored->data(), stored->size()));
    EXPECT_STREQ(fresh->record(1, 7)->name, "My Default");
    EXPECT_EQ(fresh->value(1, 7, 300), 0.625f);

    ASSERT_TRUE(settings.remove(setting::defaultBankName(1).c_str()));
    EXPECT_FALSE(settings.readBinary(setting::defaultBankName(1).c_str(), kBankFileSize).has_value());
}

TEST(AtomicFile, ReadsFilesThatReportNoSize) {
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readFileUpTo("/proc/self/status", 1 << 16, bytes));
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("Umask:"), std::string::npos);
    ASSERT_TRUE(readFileUpTo("/proc/self/status", 5, bytes));
    EXPECT_EQ(bytes.size(), 5u);
}

TEST(AtomicFile, FifoAtTheValuePathDoesNotHang) {
    TempFolder temp;
    ASSERT_EQ(::mkfifo((temp.path() + "/Clipboard").c_str(), 0600), 0);
    SettingsStore store(temp.path());
    EXPECT_FALSE(store.readBinary(setting::kClipboard, kPresetFileSize).has_value());
}
