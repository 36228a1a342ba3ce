// The file selector: the zenity command line it builds, what each outcome
// means, and the program runner that must never hold the host for ever.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>

#include "toolkit/CFileSelector.h"

using namespace toolkit;

namespace {

bool hasArgument(const std::vector<std::string>& args, const std::string& a) {
    return std::find(args.begin(), args.end(), a) != args.end();
}

// Writes an executable shell script standing in for zenity.
std::string writeScript(const std::string& name, const std::string& body) {
    std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
    return path;
}

}  // namespace

TEST(ToolkitFileSelector, LoadDialogAsksZenityWithTitleFilterAndStartFolder) {
    CFileSelector selector(CFileSelector::kSelectFile);
    selector.setTitle("Select preset to load");
    selector.addFileExtension({"Vorn Preset", "vrp"});
    selector.setInitialDirectory("/home/user/presets");
    std::vector<std::string> args = selector.buildArguments();
    EXPECT_EQ(args.front(), "zenity");
    EXPECT_TRUE(hasArgument(args, "--file-selection"));
    EXPECT_TRUE(hasArgument(args, "--title=Select preset to load"));
    EXPECT_TRUE(hasArgument(args, "--file-filter=Vorn Preset | *.vrp"));
    EXPECT_TRUE(hasArgument(args, "--filename=/home/user/presets/"));
    EXPECT_FALSE(hasArgument(args, "--save"));
}

TEST(ToolkitFileSelector, SaveDialogStartsWithTheDefaultName) {
    CFileSelector selector(CFileSelector::kSelectSaveFile);
    selector.setTitle("Save bank");
    selector.addFileExtension({"Vorn Bank", "vrb"});
    selector.setInitialDirectory("/tmp/banks/");
    selector.setDefaultSaveName("my bank.vrb");
    std::vector<std::string> args = selector.buildArguments();
    EXPECT_TRUE(hasArgument(args, "--save"));
    EXPECT_TRUE(hasArgument(args, "--confirm-overwrite"));
    EXPECT_TRUE(hasArgument(args, "--filename=/tmp/banks/my bank.vrb"));
}

TEST(ToolkitFileSelector, OutcomesOfTheDialog) {
    CFileSelector selector(CFileSelector::kSelectSaveFile);
    selector.addFileExtension({"Vorn Preset", "vrp"});
    std::vector<std::string> seen;
    CCommandResult answer;
    selector.setRunner([&](const std::vector<std::string>& argv) {
        seen = argv;
        return answer;
    });

    answer = {true, 0, "/tmp/a.vrp\n"};
    EXPECT_EQ(selector.run(), CFileSelector::kSelected);
    EXPECT_EQ(selector.getSelectedFile(), "/tmp/a.vrp");
    EXPECT_EQ(seen, selector.buildArguments());

    answer = {true, 0, "/tmp/plain name\n"};  // typed without extension
    EXPECT_EQ(selector.run(), CFileSelector::kSelected);
    EXPECT_EQ(selector.getSelectedFile(), "/tmp/plain name.vrp");

    answer = {true, 1, ""};  // the user cancelled
    EXPECT_EQ(selector.run(), CFileSelector::kCancelled);
    EXPECT_EQ(selector.getSelectedFile(), "");

    answer = {false, -1, ""};  // zenity is not installed
    EXPECT_EQ(selector.run(), CFileSelector::kNotAvailable);

    answer = {true, 127, ""};  // found by a wrapper that could not run it
    EXPECT_EQ(selector.run(), CFileSelector::kNotAvailable);
}

TEST(ToolkitFileSelector, RunnerStartsARealProgramAndReadsItsAnswer) {
    std::string fake = writeScript("fake-zenity", "for a in \"$@\"; do case \"$a\" in --filename=*) echo \"${a#--filename=}picked.vrp\";; esac; done");
    CFileSelector selector(CFileSelector::kSelectFile);
    selector.setProgram(fake);
    selector.setInitialDirectory("/data/presets");
    selector.setRunner([](const std::vector<std::string>& argv) { return CFileSelector::runCommand(argv, 5000); });
    EXPECT_EQ(selector.run(), CFileSelector::kSelected);
    EXPECT_EQ(selector.getSelectedFile(), "/data/presets/picked.vrp");
    std::remove(fake.c_str());
}

TEST(ToolkitFileSelector, MissingProgramIsNotAvailable) {
    CCommandResult r = CFileSelector::runCommand({"/nonexistent/zenity", "--file-selection"});
    EXPECT_FALSE(r.started);
    CFileSelector selector;
    selector.setProgram("/nonexistent/zenity");
    selector.setRunner([](const std::vector<std::string>& argv) { return CFileSelector::runCommand(argv, 1000); });
    EXPECT_EQ(selector.run(), CFileSelector::kNotAvailable);
}

TEST(ToolkitFileSelector, RunnerGivesUpAfterItsTimeout) {
    std::string slow = writeScript("slow-zenity", "exec sleep 30");
    int waits = 0;
    CCommandResult r = CFileSelector::runCommand({slow}, 150, [&] { ++waits; });
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_GE(waits, 1);
    std::remove(slow.c_str());
}
