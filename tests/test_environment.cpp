// Every plug-in the tests create keeps its user settings in a private
// temporary folder, never in the real user's configuration.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {
class SettingsFolder : public ::testing::Environment {
public:
    SettingsFolder() {
        char pattern[] = "/tmp/vornhalyx-tests-XXXXXX";
        const char* folder = mkdtemp(pattern);
        if (folder) {
            mFolder = folder;
            setenv("XDG_CONFIG_HOME", folder, 1);
        }
    }
    ~SettingsFolder() override {
        std::error_code ignored;
        if (!mFolder.empty()) std::filesystem::remove_all(mFolder, ignored);
    }

private:
    std::string mFolder;
};

// Set before any test (and any plug-in) runs.
[[maybe_unused]] ::testing::Environment* const gSettingsFolder =
    ::testing::AddGlobalTestEnvironment(new SettingsFolder);
}  // namespace
