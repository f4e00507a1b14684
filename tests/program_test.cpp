// The program as a whole: one-shot mode and a single tray copy.
#include "harness.h"
#include "app/app.h"

namespace {

const std::string BOX_OFF = std::string("box none 0x1040 NAPKIT|") + SWITCHED_OFF;
const std::string BOX_ON = std::string("box none 0x1040 NAPKIT|") + SWITCHED_ON;

struct Whole : Napkit {
    std::string saver;
    void SetUp() override
    {
        Napkit::SetUp(), SetScrnsave(saver = Install("logsaver.scr", "ONE.SCR"));
        SetIni("Action", "ScreenSaveCommandWait", "300");
    }
};

TEST_F(Whole, OneShotStartsTheSaverOrToggles)
{
    const struct { const char* name; UINT active; const char* action, *flags; std::string configured;
                   Lines calls; UINT after; const char* activeValue; Lines log; } rows[] = {
        { "toggle off", 1, nullptr, "3", saver, { "reg ScreenSaveActive 2 0", "spi 17 0 2", BOX_OFF }, 0, "0", {} },
        { "toggle on, box whatever the flags", 0, "1", "0", saver, { "reg ScreenSaveActive 2 1", "spi 17 1 2", BOX_ON }, 1, "1", {} },
        { "start", 1, "0", "3", saver, { "sleep 300", "exec 1 \"" + saver + "\" /s" }, 1, nullptr, { "\"" + saver + "\" /s" } },
        { "start, nothing configured", 1, "0", "3", ABSENT,
          { "sleep 300", "exec 1 \"Nothing!\" /s", "reg ScreenSaveActive 2 0", "spi 17 0 2", BOX_OFF }, 0, "0", {} },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Action", "AppMode", "1"), SetIni("Action", "IconDubbleClick", row.action);
        SetIni("Message", "OpenMessageBox", row.flags), SetScrnsave(row.configured), SetSystemActive(row.active);
        SetDesktopValue("ScreenSaveActive", ABSENT), DeleteFileA((folder + "\\saver.log").c_str());
        ZeroMemory(&appState, sizeof appState), TakeCalls();
        EXPECT_EQ(RunNapkit(GetModuleHandleA(NULL)), 0);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(SystemActive(), row.after);
        EXPECT_EQ(DesktopValue("ScreenSaveActive"), row.activeValue ? Sz(row.activeValue) : ABSENT);
        EXPECT_EQ(SaverLog(row.log.size()), row.log);
        EXPECT_EQ(FindNapkitWindow(), (HWND)NULL);
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
    ASSERT_NE(window, (HWND)NULL);
    Program second;
    EXPECT_EQ(second.Wait(10000), 0u);
    EXPECT_EQ(FindNapkitWindow(), window);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.Wait(10000), 0u);
    // A copy starting at the same moment holds the single-copy mutex before its
    // window exists: this one must give way all the same.
    HANDLE starting = CreateMutexA(NULL, FALSE, "NAPKIT.SingleCopy");
    Program third;
    EXPECT_EQ(third.Wait(10000), 0u);
    EXPECT_EQ(FindNapkitWindow(), (HWND)NULL);
    CloseHandle(starting);
}

}  // namespace
