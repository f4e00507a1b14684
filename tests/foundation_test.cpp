// The settings file and its paths, the system screen-saver stores, and the
// code page of the program's texts, called in-process. One-shot and tray
// mode as a whole are the whole-program tests' business.
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "app/app.h"
#include "settings/settings.h"
#include "system/system.h"
#include "res/resource.h"

using namespace harness;

namespace {

void FreshPaths()
{
    ZeroMemory(&appState, sizeof appState);
    InitPaths();
}

}  // namespace

// Built once from the current directory at start: a later change of
// directory does not move the file, and a drive root gets no second backslash.
TEST(Paths, SettingsFileIsInTheCurrentDirectoryAtStart)
{
    ScratchDir dir;
    FreshPaths();
    EXPECT_EQ(dir.ini(), appState.iniPath);
    EXPECT_EQ(SystemIniPath(), appState.systemIniPath);
    EXPECT_EQ(PATHS_READY, appState.pathsReady);
    {
        ScratchDir other("other");
        InitPaths();
        EXPECT_EQ(dir.ini(), appState.iniPath);
    }
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    FreshPaths();
    SetCurrentDirectoryA(dir.path().c_str());
    EXPECT_STREQ("C:\\NAPKIT.INI", appState.iniPath);
}

// "\NAPKIT.INI" does not fit after a directory of 250 or more characters:
// defaults are read and nothing is written, not even under a cut name.
TEST(Paths, DirectoryTooLongForTheFileActsAsNoFile)
{
    ScratchDir base("long");
    WriteIni(base.ini(), "Action", "AppMode", "1");
    for (size_t length : { 250u, 259u }) {
        std::string deep = MakeDirOfLength(base.path(), length);
        ASSERT_EQ(length, deep.size());
        ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
        ZeroMemory(&appState, sizeof appState);
        EXPECT_EQ(0, ReadAppMode()) << length;
        EXPECT_STREQ("", appState.iniPath) << length;
        LoadCommandWait(&appState.commandWaitMs);
        EXPECT_EQ(DEFAULT_COMMAND_WAIT_MS, appState.commandWaitMs);
        int wait = 1234;
        SaveCommandWait(&wait);
        SetCurrentDirectoryA(base.path().c_str());
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(JoinPath(deep, "*").c_str(), &found);
        int files = 0;
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
            files += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        FindClose(search);
        EXPECT_EQ(0, files) << length;
        EXPECT_EQ(ABSENT, ReadIni(base.ini(), "Action", "ScreenSaveCommandWait"));
    }
}

// Integer keys with their defaults: AppMode as it stands (only 1 means
// one-shot), IconDubbleClick added to 40100 (2 names no item); saves write
// the decimal text.
TEST(Settings, IntegerKeysAreReadWithTheirDefaultsAndSavedAsDecimalText)
{
    ScratchDir dir;
    ZeroMemory(&appState, sizeof appState);
    EXPECT_EQ(0, ReadAppMode());
    LoadDblClickAction(&appState.dblClickItem);
    EXPECT_EQ((UINT)IDM_DBLCLICK_TOGGLE, appState.dblClickItem);
    LoadCommandWait(&appState.commandWaitMs);
    EXPECT_EQ(DEFAULT_COMMAND_WAIT_MS, appState.commandWaitMs);
    for (int value : { 0, 1, 2 }) {
        for (const char* key : { "AppMode", "IconDubbleClick", "ScreenSaveCommandWait" })
            WriteIni(dir.ini(), "Action", key, std::to_string(value));
        EXPECT_EQ(value, ReadAppMode());
        LoadDblClickAction(&appState.dblClickItem);
        EXPECT_EQ(IDM_DBLCLICK_START + (UINT)value, appState.dblClickItem);
        LoadCommandWait(&appState.commandWaitMs);
        EXPECT_EQ(value, appState.commandWaitMs);
    }
    UINT item = IDM_DBLCLICK_START;
    SaveDblClickAction(&item);
    EXPECT_EQ("0", ReadIni(dir.ini(), "Action", "IconDubbleClick"));
    int wait = 750;
    SaveCommandWait(&wait);
    EXPECT_EQ("750", ReadIni(dir.ini(), "Action", "ScreenSaveCommandWait"));
}

TEST(Stores, DesktopValuesAreDecimalTextAndTheSaverReadsNothingWhenAbsent)
{
    SystemGuard guard;
    WriteDesktopValue("ScreenSaveTimeOut", 600);
    EXPECT_EQ("600", ReadDesktopValue("ScreenSaveTimeOut"));
    WriteDesktopValue("ScreenSaveActive", 0);
    EXPECT_EQ("0", ReadDesktopValue("ScreenSaveActive"));

    ScratchDir dir;
    FreshPaths();
    WriteScrnsave(ABSENT);
    char saver[MAX_PATH];
    ReadConfiguredSaver(saver);
    EXPECT_STREQ("Nothing!", saver);
    WriteConfiguredSaver("C:\\WINDOWS\\SYSTEM\\X.SCR");
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM\\X.SCR", ReadScrnsave());
    ReadConfiguredSaver(saver);
    EXPECT_STREQ("C:\\WINDOWS\\SYSTEM\\X.SCR", saver);
}

// The message literals and the menu resource both come out in CP932 bytes.
TEST(CodePage, TextsAreShiftJisBytes)
{
    EXPECT_EQ(932u, GetACP());
    EXPECT_EQ(std::string("\x97\x4C\x8C\xF8"), std::string("有効"));
    HMENU menu = LoadMenuA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDR_TRAYMENU));
    ASSERT_TRUE(menu != NULL);
    char caption[64] = "";
    GetMenuStringA(menu, IDM_START_NORMAL, caption, sizeof caption, MF_BYCOMMAND);
    EXPECT_EQ(std::string("\x92\xCA\x8F\xED\x8B\x4E\x93\xAE"), std::string(caption));
    DestroyMenu(menu);
}
