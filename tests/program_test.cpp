// The program as a whole: one-shot mode and a single tray copy.
#include "harness.h"
#include "app/app.h"

namespace {

const std::string BOX_OFF = std::string("box none 0x1040 NAPKIT|") + SWITCHED_OFF;

struct Whole : Napkit {
    std::string saver;
    void SetUp() override
    {
        Napkit::SetUp();
        saver = Install("logsaver.scr", "ONE.SCR");
        SetScrnsave(saver);
        SetIni("Action", "ScreenSaveCommandWait", "300");
    }
};

TEST_F(Whole, OneShotStartRunsOnlyASaverFileElseSwitchesTheSaverOff)
{
    // What a search for a name without a full path would find first: never run.
    Install("logsaver.scr", "Nothing!.exe", folder);
    Install("logsaver.scr", "Nothing!", folder);
    Install("logsaver.scr", "foo.scr", folder);
    const std::string dir = folder + "\\DIR.SCR";
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), NULL)) << "cannot create " << dir;
    SaverFolderLogged logged;
    const std::string started = "\"" + saver + "\" /s";
    const Lines toggled = { "reg ScreenSaveActive 2 0", "spi 17 0 2", BOX_OFF };
    struct Row { const char* name; std::string configured; Lines calls; UINT active; };
    const Row rows[] = {
        { .name = "a saver file", .configured = saver, .calls = { "sleep 300", "exec 1 " + started }, .active = 1 },
        { .name = "none", .configured = ABSENT, .calls = toggled, .active = 0 },
        { .name = "empty", .configured = "", .calls = toggled, .active = 0 },
        { .name = "relative", .configured = "foo.scr", .calls = toggled, .active = 0 },
        { .name = "a folder", .configured = dir, .calls = toggled, .active = 0 },
        { .name = "no extension", .configured = folder + "\\Nothing!", .calls = toggled, .active = 0 },
    };
    SetIni("Action", "AppMode", "1");
    SetIni("Action", "IconDubbleClick", "0");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetScrnsave(row.configured);
        SetSystemActive(1);
        ZeroMemory(&appState, sizeof appState);
        EXPECT_EQ(RunNapkit(GetModuleHandleA(NULL)), 0);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(SystemActive(), row.active);
        EXPECT_EQ(SaverLog(1), Lines{ started + " in " + saverbox }) << "expected the saver alone, run in its folder";
        EXPECT_EQ(FindNapkitWindow(), (HWND)NULL) << "one-shot mode opens no window";
    }
}

TEST_F(Whole, OneShotProgramTogglesTheSharedFlagAndOnlyOneTrayCopyRuns)
{
    SetIni("Action", "AppMode", "1");
    Program oneShot;
    EXPECT_EQ(oneShot.Wait(10000), 0u);
    EXPECT_EQ(oneShot.Boxes(), Lines{ std::string("NAPKIT|") + SWITCHED_OFF });
    EXPECT_EQ(SystemActive(), 0u);
    SetIni("Action", "AppMode", nullptr);
    Program first;
    HWND window = first.Window(10000);
    ASSERT_NE(window, (HWND)NULL) << "the tray copy opened no window";
    Program second;
    EXPECT_EQ(second.Wait(10000), 0u);
    EXPECT_EQ(second.Boxes(), Lines{}) << "a second copy gives way silently";
    EXPECT_EQ(FindNapkitWindow(), window);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.Wait(10000), 0u);
    EXPECT_EQ(first.Boxes(), Lines{});
    // A copy starting at the same moment holds the single-copy mutex before its
    // window exists: this one must give way all the same.
    HANDLE starting = CreateMutexA(NULL, FALSE, "NAPKIT.SingleCopy");
    Program third;
    EXPECT_EQ(third.Wait(10000), 0u);
    EXPECT_EQ(third.Boxes(), Lines{}) << "a third copy gives way silently";
    EXPECT_EQ(FindNapkitWindow(), (HWND)NULL);
    CloseHandle(starting);
}

}  // namespace
