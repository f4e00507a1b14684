// Settings file and paths, the system stores, one-shot mode in-process, and
// the code page of the program's texts.
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "app/app.h"
#include "settings/settings.h"
#include "system/system.h"
#include "res/resource.h"

using namespace harness;

namespace {

constexpr char TOGGLED_OFF[] = "スクリーンセーバーを「無効」にしました。";
constexpr char TOGGLED_ON[] = "スクリーンセーバーを「有効」にしました。";

void ResetState()
{
    ZeroMemory(&appState, sizeof appState);
}

}  // namespace

TEST(Paths, SettingsFileFollowsTheCurrentDirectoryAtStart)
{
    ScratchDir dir;
    ResetState();
    InitPaths();
    EXPECT_EQ(dir.ini(), appState.iniPath);
    EXPECT_EQ(SystemIniPath(), appState.systemIniPath);
    EXPECT_EQ(PATHS_READY, appState.pathsReady);

    // Built once: a later change of directory does not move the file.
    ScratchDir other("other");
    InitPaths();
    EXPECT_EQ(dir.ini(), appState.iniPath);
}

TEST(Paths, DriveRootDoesNotDoubleTheBackslash)
{
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA("C:\\");
    ResetState();
    InitPaths();
    SetCurrentDirectoryA(previous);
    EXPECT_STREQ("C:\\NAPKIT.INI", appState.iniPath);
}

TEST(Paths, DirectoryTooLongForTheFileActsAsNoFile)
{
    ScratchDir base("long");
    WriteIni(base.ini(), "Action", "AppMode", "1");
    for (size_t length : { 250u, 259u }) {
        std::string deep = MakeDirOfLength(base.path(), length);
        ASSERT_EQ(length, deep.size());
        ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
        ResetState();
        EXPECT_EQ(0, ReadAppMode()) << length;
        EXPECT_STREQ("", appState.iniPath) << length;
        LoadCommandWait(&appState.commandWaitMs);
        EXPECT_EQ(DEFAULT_COMMAND_WAIT_MS, appState.commandWaitMs);
        int wait = 1234;
        SaveCommandWait(&wait);
        SetCurrentDirectoryA(base.path().c_str());
        // Nothing lands anywhere: not in the folder, not in a cut path.
        EXPECT_FALSE(FileExists(JoinPath(deep, "NAPKIT.INI")));
        EXPECT_EQ("1", ReadIni(base.ini(), "Action", "AppMode"));
        EXPECT_EQ(ABSENT, ReadIni(base.ini(), "Action", "ScreenSaveCommandWait"));
    }
}

struct IntKeyCase {
    const char* value;   // nullptr: key absent
    UINT dblClickItem;
};

class DblClickAction : public ::testing::TestWithParam<IntKeyCase> {};

TEST_P(DblClickAction, IsFortyOneHundredPlusTheKey)
{
    ScratchDir dir;
    if (GetParam().value)
        WriteIni(dir.ini(), "Action", "IconDubbleClick", GetParam().value);
    ResetState();
    InitPaths();
    LoadDblClickAction(&appState.dblClickItem);
    EXPECT_EQ(GetParam().dblClickItem, appState.dblClickItem);
}

INSTANTIATE_TEST_SUITE_P(Values, DblClickAction, ::testing::Values(
    IntKeyCase{ nullptr, IDM_DBLCLICK_TOGGLE }, IntKeyCase{ "0", IDM_DBLCLICK_START },
    IntKeyCase{ "1", IDM_DBLCLICK_TOGGLE }, IntKeyCase{ "2", 40102 },
    IntKeyCase{ "5", 40105 }),
    [](const ::testing::TestParamInfo<IntKeyCase>& info) {
        return std::string(info.param.value ? info.param.value : "absent");
    });

TEST(Settings, SavesWriteDecimalText)
{
    ScratchDir dir;
    ResetState();
    InitPaths();
    UINT item = IDM_DBLCLICK_START;
    SaveDblClickAction(&item);
    EXPECT_EQ("0", ReadIni(dir.ini(), "Action", "IconDubbleClick"));
    int wait = 750;
    SaveCommandWait(&wait);
    EXPECT_EQ("750", ReadIni(dir.ini(), "Action", "ScreenSaveCommandWait"));
    LoadCommandWait(&appState.commandWaitMs);
    EXPECT_EQ(750, appState.commandWaitMs);
}

TEST(Settings, AppModeOnlyOneMeansOneShot)
{
    ScratchDir dir;
    for (const char* value : { "0", "1", "2", "-1" }) {
        WriteIni(dir.ini(), "Action", "AppMode", value);
        ResetState();
        EXPECT_EQ(atoi(value), ReadAppMode());
    }
}

TEST(Stores, DesktopValuesAreDecimalText)
{
    SystemGuard guard;
    WriteDesktopValue("ScreenSaveTimeOut", 600);
    EXPECT_EQ("600", ReadDesktopValue("ScreenSaveTimeOut"));
    WriteDesktopValue("ScreenSaveActive", 0);
    EXPECT_EQ("0", ReadDesktopValue("ScreenSaveActive"));
}

TEST(Stores, ConfiguredSaverReadsNothingWhenAbsent)
{
    SystemGuard guard;
    ScratchDir dir;
    ResetState();
    InitPaths();
    WriteScrnsave(ABSENT);
    char saver[MAX_PATH];
    ReadConfiguredSaver(saver);
    EXPECT_STREQ("Nothing!", saver);
    WriteConfiguredSaver("C:\\WINDOWS\\SYSTEM\\X.SCR");
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM\\X.SCR", ReadScrnsave());
    ReadConfiguredSaver(saver);
    EXPECT_STREQ("C:\\WINDOWS\\SYSTEM\\X.SCR", saver);
}

struct ToggleCase {
    UINT before;
    const char* text;
    const char* registry;
};

class OneShotToggle : public ::testing::TestWithParam<ToggleCase> {};

TEST_P(OneShotToggle, FlipsTheFlagAndAlwaysSaysSo)
{
    SystemGuard guard;
    ScratchDir dir;
    WriteIni(dir.ini(), "Action", "AppMode", "1");
    WriteIni(dir.ini(), "Message", "OpenMessageBox", "0");   // does not apply here
    SetSpiActive(GetParam().before);
    BoxResponder boxes;
    ResetState();
    ASSERT_EQ(ONE_SHOT_MODE, ReadAppMode());
    RunOneShot();
    ASSERT_EQ(1u, boxes.Count());
    BoxRecord box = boxes.Boxes()[0];
    EXPECT_EQ("NAPKIT", box.caption);
    EXPECT_EQ(GetParam().text, box.text);
    EXPECT_EQ(NULL, box.owner);
    EXPECT_TRUE(box.topmost);
    EXPECT_TRUE(box.hasIcon);
    EXPECT_EQ(1, box.buttons);
    EXPECT_EQ(GetParam().before ^ 1, SpiActive());
    EXPECT_EQ(GetParam().registry, ReadDesktopValue("ScreenSaveActive"));
}

INSTANTIATE_TEST_SUITE_P(States, OneShotToggle, ::testing::Values(
    ToggleCase{ 1, TOGGLED_OFF, "0" }, ToggleCase{ 0, TOGGLED_ON, "1" }),
    [](const ::testing::TestParamInfo<ToggleCase>& info) {
        return std::string(info.param.before ? "WasOn" : "WasOff");
    });

TEST(OneShotStart, RunsTheConfiguredSaverQuotedWithoutABox)
{
    SystemGuard guard;
    ScratchDir dir;
    std::string saver = InstallSaver("logsaver.scr", dir.file("Program Files"), "My Saver.scr");
    std::string log = dir.file("log.txt");
    SetSaverLog(log);
    WriteScrnsave(saver);
    WriteIni(dir.ini(), "Action", "IconDubbleClick", "0");
    WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", "0");
    SetSpiActive(1);
    BoxResponder boxes;
    ResetState();
    ReadAppMode();
    RunOneShot();
    ASSERT_TRUE(PumpUntil([&] { return !ReadLogLines(log).empty(); }, 10000));
    std::vector<std::string> lines = ReadLogLines(log);
    EXPECT_EQ("\"" + saver + "\" /s", lines[0]);
    PumpMessages(300);
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ(1u, SpiActive());
}

TEST(OneShotStart, WaitsTheConfiguredTimeFirst)
{
    SystemGuard guard;
    ScratchDir dir;
    std::string saver = InstallSaver("logsaver.scr", dir.saverbox(), "LOGGER.SCR");
    SetSaverLog(dir.file("log.txt"));
    WriteScrnsave(saver);
    WriteIni(dir.ini(), "Action", "IconDubbleClick", "0");
    WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", "400");
    ResetState();
    ReadAppMode();
    DWORD start = GetTickCount();
    RunOneShot();
    EXPECT_GE(GetTickCount() - start, 390u);
}

TEST(OneShotStart, FallsBackToTheToggleWhenNoSaverRuns)
{
    SystemGuard guard;
    ScratchDir dir;
    WriteIni(dir.ini(), "Action", "IconDubbleClick", "0");
    WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", "0");
    for (const char* configured : { ABSENT, "C:\\no such folder\\gone.scr" }) {
        WriteScrnsave(configured);
        SetSpiActive(1);
        BoxResponder boxes;
        ResetState();
        ReadAppMode();
        RunOneShot();
        ASSERT_EQ(1u, boxes.Count()) << configured;
        EXPECT_EQ(TOGGLED_OFF, boxes.Boxes()[0].text);
        EXPECT_EQ(0u, SpiActive());
        EXPECT_EQ("0", ReadDesktopValue("ScreenSaveActive"));
    }
}

TEST(CodePage, TextsAreShiftJisBytes)
{
    EXPECT_EQ(932u, GetACP());
    // The message literal and the menu resource both come out in CP932.
    EXPECT_EQ(std::string("\x97\x4C\x8C\xF8"), std::string("有効"));
    HMENU menu = LoadMenuA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDR_TRAYMENU));
    ASSERT_TRUE(menu != NULL);
    char caption[64] = "";
    GetMenuStringA(menu, IDM_START_NORMAL, caption, sizeof caption, MF_BYCOMMAND);
    EXPECT_EQ(std::string("\x92\xCA\x8F\xED\x8B\x4E\x93\xAE"), std::string(caption));
    DestroyMenu(menu);
}
