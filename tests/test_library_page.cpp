// The library page off screen: clicks on its tabs, buttons and rows reach the
// engine's preset library; file dialogs are answered by a stand-in for
// zenity; refused or failed files leave every bank as it was and say so in
// the information line; the page follows preset changes made by the host.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "EditorTestSupport.h"
#include "editor/LibraryPage.h"

using namespace vh;
using namespace vh::editor;
using namespace vh::test;
using toolkit::CPoint;
using toolkit::CRect;

namespace {

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool hasArgument(const std::vector<std::string>& args, const std::string& a) {
    return std::find(args.begin(), args.end(), a) != args.end();
}

class LibraryPage : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        mFiles = mFolder + "/files";
        ASSERT_EQ(mkdir(mFiles.c_str(), 0755), 0);
        editor->setFileSelectorRunner([this](const std::vector<std::string>& argv) {
            asked.push_back(argv);
            return answer;
        });
    }

    void openPage() {
        open();
        lib = editor->libraryPage();
        ASSERT_NE(lib, nullptr);
    }
    // The dialog will choose this file.
    void answerPath(const std::string& path) { answer = {true, 0, path + "\n"}; }
    std::string file(const char* name) const { return mFiles + "/" + name; }
    void press(CLibWnd::Button button, toolkit::CButtonState buttons = toolkit::kLButton) {
        click(lib->buttonPoint(button), buttons);
    }
    std::string name(int bank, int preset) const {
        char text[kPresetNameLength + 1];
        plugin->getPresetName(bank, preset, text);
        return text;
    }
    std::vector<uint8_t> chunk() {
        void* data = nullptr;
        int32_t size = plugin->getChunk(&data, false);
        auto* bytes = static_cast<uint8_t*>(data);
        return {bytes, bytes + size};
    }
    // A row is lit when its free right end is in the dark colour.
    bool rowLit(int preset) const {
        CRect r = lib->rowFrameRect(preset);
        return editor->getFrame()->getPixel(int(r.right) - 3, int(r.top) + 5) == kDark;
    }
    bool tabLit(int bank) const {
        CPoint p = lib->tabPoint(bank);
        return editor->getFrame()->getPixel(int(p.x) - 4, int(p.y) - 4) == kDark;
    }
    const CInfo* info() const { return editor->info(); }

    std::string mFiles;
    CLibWnd* lib = nullptr;
    toolkit::CCommandResult answer{true, 1, ""};
    std::vector<std::vector<std::string>> asked;
};

}  // namespace

TEST_F(LibraryPage, ANewInstanceOpensOnItShowingTheCurrentBank) {
    openPage();
    EXPECT_EQ(editor->currentPage(), 1);
    EXPECT_EQ(lib->getFrameRect(), CRect(307, 43, 524, 194));
    EXPECT_EQ(lib->shownBank(), 0);
    EXPECT_TRUE(tabLit(0));
    EXPECT_FALSE(tabLit(1));
    EXPECT_TRUE(rowLit(0));
    EXPECT_FALSE(rowLit(1));
}

TEST_F(LibraryPage, TabsShowABankAndRowsSelectPresets) {
    openPage();
    // Showing bank C loads nothing and lights no row.
    click(lib->tabPoint(2));
    EXPECT_EQ(lib->shownBank(), 2);
    EXPECT_TRUE(tabLit(2));
    EXPECT_EQ(plugin->currentBank(), 0);
    for (int p = 0; p < 11; ++p) EXPECT_FALSE(rowLit(p)) << p;

    // A row of the shown bank makes that bank and preset current and tells
    // the host its program name changed.
    int updates = AutomationLog::displayUpdates();
    click(lib->rowPoint(3));
    EXPECT_EQ(plugin->currentBank(), 2);
    EXPECT_EQ(plugin->currentPreset(), 3);
    char program[kPresetNameLength + 1] = {};
    plugin->getProgramName(program);
    EXPECT_STREQ(program, "BP Filter 12/24dB LFO");
    EXPECT_GT(AutomationLog::displayUpdates(), updates);
    EXPECT_TRUE(rowLit(3));
    EXPECT_FALSE(rowLit(0));
    EXPECT_FALSE(lib->isRenaming());

    click(lib->tabPoint(0));
    click(lib->rowPoint(5));
    EXPECT_EQ(plugin->currentBank(), 0);
    EXPECT_EQ(plugin->currentPreset(), 5);
    EXPECT_EQ(name(0, 5), "Smooth Operator");
}

TEST_F(LibraryPage, RenamingInPlaceStoresOnEnterAndCancelsOnEscape) {
    openPage();
    click(lib->rowPoint(4));
    ASSERT_EQ(plugin->currentPreset(), 4);
    // A click on the lit row opens the field with the name.
    click(lib->rowPoint(4));
    ASSERT_TRUE(lib->isRenaming());
    EXPECT_EQ(lib->nameField()->getEditText(), "Laryngitis");
    int updates = AutomationLog::displayUpdates();
    typeEntry("Glass Harp");
    EXPECT_FALSE(lib->isRenaming());
    EXPECT_EQ(name(0, 4), "Glass Harp");
    char program[kPresetNameLength + 1] = {};
    plugin->getProgramName(program);
    EXPECT_STREQ(program, "Glass Harp");
    EXPECT_GT(AutomationLog::displayUpdates(), updates);

    // Escape leaves the name as it was.
    click(lib->rowPoint(4));
    ASSERT_TRUE(lib->isRenaming());
    window->typeText("xyz");
    window->key(toolkit::kVkEscape);
    editor->idle();
    EXPECT_FALSE(lib->isRenaming());
    EXPECT_EQ(name(0, 4), "Glass Harp");

    // At most 24 characters are taken.
    click(lib->rowPoint(4));
    typeEntry("A name far longer than twenty-four characters");
    EXPECT_EQ(name(0, 4), "A name far longer than t");

    // A double-click on another row selects it, then renames it.
    doubleClick(lib->rowPoint(8));
    EXPECT_EQ(plugin->currentPreset(), 8);
    EXPECT_TRUE(lib->isRenaming());
    typeEntry("Fresh");
    EXPECT_EQ(name(0, 8), "Fresh");

    // The window closing under an open field keeps the old name.
    click(lib->rowPoint(8));
    ASSERT_TRUE(lib->isRenaming());
    window->typeText("zz");
    editor->idle();
    editor->close();
    EXPECT_EQ(name(0, 8), "Fresh");
}

TEST_F(LibraryPage, ScrollingReachesPreset63AndStopsThere) {
    openPage();
    const CRect list(lib->rowFrameRect(0).left, lib->rowFrameRect(0).top, lib->rowFrameRect(0).right,
                     lib->rowFrameRect(0).top + 110);
    // Arrows move by a row; the last row ends up whole at the bottom.
    for (int i = 0; i < 60; ++i) click(lib->downArrowPoint());
    EXPECT_EQ(lib->scrollOffset(), lib->maxScroll());
    EXPECT_EQ(lib->rowFrameRect(63).bottom, list.bottom);
    click(lib->rowPoint(63));
    EXPECT_EQ(plugin->currentPreset(), 63);
    EXPECT_EQ(name(0, 63), "Sargasso Sea");
    EXPECT_TRUE(rowLit(63));

    click(lib->upArrowPoint());
    EXPECT_EQ(lib->scrollOffset(), lib->maxScroll() - 10);
    // Wheel: a row per notch, up shows earlier presets.
    window->wheel(lib->rowPoint(60), 2);
    editor->idle();
    EXPECT_EQ(lib->scrollOffset(), lib->maxScroll() - 30);
    // The track pages by the list's height.
    CRect thumb = lib->thumbFrameRect();
    click(CPoint(thumb.getCenter().x, thumb.top - 3));
    EXPECT_EQ(lib->scrollOffset(), lib->maxScroll() - 140);
    // Dragging the thumb to the top shows the first row again.
    thumb = lib->thumbFrameRect();
    now += 1000;
    window->drag(thumb.getCenter(), CPoint(thumb.getCenter().x, list.top - 40));
    editor->idle();
    EXPECT_EQ(lib->scrollOffset(), 0);
    EXPECT_EQ(lib->rowFrameRect(0).top, list.top);
}

TEST_F(LibraryPage, BankFileSaveAndLoadRoundTripsByteForByte) {
    openPage();
    answerPath(file("mine.vrb"));
    press(CLibWnd::kBankSave);
    ASSERT_FALSE(asked.empty());
    EXPECT_TRUE(hasArgument(asked.back(), "--title=Save bank"));
    EXPECT_TRUE(hasArgument(asked.back(), "--save"));
    EXPECT_TRUE(hasArgument(asked.back(), "--file-filter=Vorn Bank | *.vrb"));
    const std::vector<uint8_t> saved = readBytes(file("mine.vrb"));
    ASSERT_EQ(saved.size(), kBankFileSize);
    EXPECT_FALSE(info()->isError());

    // Spoil the bank, then load the file back into it.
    plugin->setPresetName(0, 3, "Spoilt");
    const float input = plugin->getParameter(param::kInput);
    plugin->setParameter(param::kInput, 0.9f);
    answerPath(file("mine.vrb"));
    press(CLibWnd::kBankLoad);
    EXPECT_TRUE(hasArgument(asked.back(), "--title=Select bank to load"));
    EXPECT_TRUE(hasArgument(asked.back(), "--filename=" + mFiles + "/"));
    EXPECT_EQ(name(0, 3), "Rotten Rhodes");
    // Loading into the current bank applies its first preset.
    EXPECT_FLOAT_EQ(plugin->getParameter(param::kInput), input);
    EXPECT_EQ(info()->messageLine(0), "BANK A LOADED FROM");

    answerPath(file("again.vrb"));
    press(CLibWnd::kBankSave);
    // The save dialog offers the last bank file's name.
    EXPECT_TRUE(hasArgument(asked.back(), "--filename=" + mFiles + "/mine.vrb"));
    EXPECT_EQ(readBytes(file("again.vrb")), saved);
}

TEST_F(LibraryPage, PresetFileGoesIntoAnotherSlot) {
    openPage();
    click(lib->rowPoint(2));
    answerPath(file("amboseli.vrp"));
    press(CLibWnd::kPresetSave);
    EXPECT_TRUE(hasArgument(asked.back(), "--title=Save preset"));
    EXPECT_TRUE(hasArgument(asked.back(), "--file-filter=Vorn Preset | *.vrp"));
    const std::vector<uint8_t> saved = readBytes(file("amboseli.vrp"));
    ASSERT_EQ(saved.size(), kPresetFileSize);

    click(lib->rowPoint(10));
    answerPath(file("amboseli.vrp"));
    press(CLibWnd::kPresetLoad);
    EXPECT_TRUE(hasArgument(asked.back(), "--title=Select preset to load"));
    EXPECT_EQ(plugin->currentPreset(), 10);
    EXPECT_EQ(name(0, 10), "Amboseli");
    EXPECT_EQ(name(0, 2), "Amboseli");
    answerPath(file("slot10.vrp"));
    press(CLibWnd::kPresetSave);
    EXPECT_EQ(readBytes(file("slot10.vrp")), saved);
}

TEST_F(LibraryPage, PasteAfterCopyAndNothingToPaste) {
    openPage();
    const std::vector<uint8_t> before = chunk();
    press(CLibWnd::kPresetPaste);
    EXPECT_TRUE(info()->isError());
    EXPECT_EQ(chunk(), before);

    click(lib->rowPoint(1));
    press(CLibWnd::kPresetCopy);
    EXPECT_EQ(info()->messageLine(0), "PRESET COPIED");
    click(lib->rowPoint(7));
    press(CLibWnd::kPresetPaste);
    EXPECT_FALSE(info()->isError());
    EXPECT_EQ(plugin->currentPreset(), 7);
    EXPECT_EQ(name(0, 7), "Lighthouse");
    answerPath(file("pasted.vrp"));
    press(CLibWnd::kPresetSave);
    click(lib->rowPoint(1));
    answerPath(file("copied.vrp"));
    press(CLibWnd::kPresetSave);
    EXPECT_EQ(readBytes(file("pasted.vrp")), readBytes(file("copied.vrp")));
}

TEST_F(LibraryPage, RefusedFilesChangeNothingAndSaySo) {
    openPage();
    ASSERT_TRUE(plugin->savePresetFile(file("preset.vrp")));
    ASSERT_TRUE(plugin->saveBankFile(1, file("bank.vrb")));
    std::vector<uint8_t> hostile = readBytes(file("bank.vrb"));
    hostile[0] ^= 0x5A;  // wrong magic
    writeBytes(file("hostile.vrb"), hostile);
    writeBytes(file("short.vrb"), {0x4E, 0x61, 0xBC, 0x00, 'X', 'H', 'R', 'V'});  // head cut before its kind
    const std::vector<uint8_t> before = chunk();

    struct Case {
        CLibWnd::Button button;
        const char* path;
        const char* why;
    };
    const Case cases[] = {
        {CLibWnd::kBankLoad, "preset.vrp", "BANK A UNCHANGED: NOT A VORN BANK"},
        {CLibWnd::kBankLoad, "hostile.vrb", "BANK A UNCHANGED: NOT A VORN BANK"},
        {CLibWnd::kBankLoad, "short.vrb", "BANK A UNCHANGED: NOT A VORN BANK"},
        {CLibWnd::kBankLoad, "missing.vrb", "BANK A UNCHANGED: CANNOT READ FILE"},
        {CLibWnd::kPresetLoad, "bank.vrb", "PRESET UNCHANGED: NOT A VORN PRESET"},
        {CLibWnd::kPresetLoad, "missing.vrp", "PRESET UNCHANGED: CANNOT READ FILE"},
    };
    for (const Case& c : cases) {
        answerPath(file(c.path));
        press(c.button);
        EXPECT_TRUE(info()->isError()) << c.path;
        EXPECT_EQ(info()->messageLine(0), c.why) << c.path;
        EXPECT_EQ(info()->messageLine(1), c.path);
        EXPECT_EQ(chunk(), before) << c.path;
    }
}

TEST_F(LibraryPage, FailedWritesSaySoAndKeepTheOldFile) {
    openPage();
    answerPath(mFiles + "/no such folder/bank.vrb");
    press(CLibWnd::kBankSave);
    EXPECT_TRUE(info()->isError());
    EXPECT_EQ(info()->messageLine(0), "BANK A NOT SAVED: CANNOT WRITE");
    EXPECT_TRUE(readBytes(mFiles + "/no such folder/bank.vrb").empty());

    // A disk that fills up half-way through the write (a file size limit
    // stands in for it, and binds root too).
    ASSERT_TRUE(plugin->savePresetFile(file("old.vrp")));
    const std::vector<uint8_t> old = readBytes(file("old.vrp"));
    click(lib->rowPoint(9));
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    rlimit small = limit;
    small.rlim_cur = kPresetFileSize / 2;
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    answerPath(file("old.vrp"));
    press(CLibWnd::kPresetSave);
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(info()->isError());
    EXPECT_EQ(info()->messageLine(0), "PRESET NOT SAVED: CANNOT WRITE");
    EXPECT_EQ(readBytes(file("old.vrp")), old);
}

TEST_F(LibraryPage, WithoutAFileSelectorOrWhenCancelledNothingChanges) {
    openPage();
    const std::vector<uint8_t> before = chunk();
    answer = {true, 1, ""};  // cancelled
    for (auto b : {CLibWnd::kBankLoad, CLibWnd::kBankSave, CLibWnd::kPresetLoad, CLibWnd::kPresetSave}) press(b);
    EXPECT_EQ(asked.size(), 4u);
    EXPECT_EQ(info()->messageLine(0), "");
    EXPECT_EQ(chunk(), before);

    answer = {false, -1, ""};  // zenity missing
    for (auto b : {CLibWnd::kBankLoad, CLibWnd::kBankSave, CLibWnd::kPresetLoad, CLibWnd::kPresetSave}) {
        press(b);
        EXPECT_TRUE(info()->isError());
        EXPECT_NE(info()->messageLine(1).find("ZENITY"), std::string::npos);
    }
    EXPECT_EQ(chunk(), before);
    // The message is drawn in the mark colour over the information line.
    bool marked = false;
    for (int x = 300; x < 400 && !marked; ++x) marked = editor->getFrame()->getPixel(x, 308) == kMark;
    EXPECT_TRUE(marked);
}

TEST_F(LibraryPage, DefaultBankSurvivesToANewInstanceUntilRemoved) {
    openPage();
    click(lib->tabPoint(1));
    click(lib->rowPoint(4));
    click(lib->rowPoint(4));
    typeEntry("My Madness");
    press(CLibWnd::kBankDefault);
    EXPECT_FALSE(info()->isError());
    {
        Plugin next(&AutomationLog::callback, mFolder);
        char text[kPresetNameLength + 1];
        next.getPresetName(1, 4, text);
        EXPECT_STREQ(text, "My Madness");
        next.getPresetName(0, 4, text);
        EXPECT_STREQ(text, "Laryngitis");
    }
    press(CLibWnd::kBankDefault, toolkit::kLButton | toolkit::kControl);
    EXPECT_EQ(info()->messageLine(0), "BANK B DEFAULT REMOVED");
    // This instance keeps its bank; the next one starts from the factory.
    EXPECT_EQ(name(1, 4), "My Madness");
    Plugin next(&AutomationLog::callback, mFolder);
    char text[kPresetNameLength + 1];
    next.getPresetName(1, 4, text);
    EXPECT_STREQ(text, "Utter Madness");
}

TEST_F(LibraryPage, FollowsPresetChangesFromTheHost) {
    openPage();
    // A chunk selecting bank C preset 40 under a new name.
    std::vector<uint8_t> state = chunk();
    const int32_t bank = 2, preset = 40;
    std::memcpy(&state[8], &bank, 4);
    std::memcpy(&state[12], &preset, 4);
    size_t nameAt = kChunkHeadSize + 2 * kBankFileSize + kFileHeadSize + preset * kRecordSize;
    std::memset(&state[nameAt], 0, kPresetNameLength);
    std::memcpy(&state[nameAt], "From The Host", 13);
    ASSERT_EQ(plugin->setChunk(state.data(), int32_t(state.size()), false), 0);
    step();
    EXPECT_EQ(lib->shownBank(), 2);
    EXPECT_TRUE(tabLit(2));
    // Scrolled so the new preset's row shows, lit.
    EXPECT_GE(lib->rowFrameRect(preset).top, 83);
    EXPECT_LE(lib->rowFrameRect(preset).bottom, 193);
    EXPECT_TRUE(rowLit(preset));

    // The host renames the program: the row is drawn anew.
    auto rowPixels = [&] {
        CRect row = lib->rowFrameRect(preset);
        std::vector<toolkit::CColor> pixels;
        for (int x = int(row.left); x < int(row.right); ++x)
            pixels.push_back(editor->getFrame()->getPixel(x, int(row.top) + 5));
        return pixels;
    };
    const std::vector<toolkit::CColor> before = rowPixels();
    plugin->setProgramName("Renamed");
    step();
    const std::vector<toolkit::CColor> after = rowPixels();
    EXPECT_NE(before, after);
}

TEST_F(LibraryPage, ScreenshotOfThePage) {
    openPage();
    click(lib->rowPoint(5));
    press(CLibWnd::kPresetCopy);
    const std::string shot = besideTestBinary("library-page.png");
    ASSERT_TRUE(editor->renderToPng(shot.c_str()));
    EXPECT_GT(readBytes(shot).size(), 1000u);
}
