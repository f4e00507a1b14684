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
        Napkit::SetUp();
        saver = Install("logsaver.scr", "ONE.SCR");
        SetScrnsave(saver);
        SetIni("Action", "ScreenSaveCommandWait", "300");
    }
};

TEST_F(Whole, OneShotStartsTheSaverOrToggles)
{
    struct Row {
        const char* name;
        UINT active;
        const char* action;   // [Action] IconDubbleClick
        const char* flags;    // [Message] OpenMessageBox
        std::string configured;
        Lines calls;
        UINT after;
        std::string activeValue;   // HKCU\Control Panel\desktop ScreenSaveActive
        Lines log;
    };
    const Row rows[] = {
        { .name = "toggle off", .active = 1, .action = nullptr, .flags = "3", .configured = saver,
          .calls = { "reg ScreenSaveActive 2 0", "spi 17 0 2", BOX_OFF }, .after = 0, .activeValue = Sz("0"),
          .log = {} },
        { .name = "toggle on, box whatever the flags", .active = 0, .action = "1", .flags = "0", .configured = saver,
          .calls = { "reg ScreenSaveActive 2 1", "spi 17 1 2", BOX_ON }, .after = 1, .activeValue = Sz("1"),
          .log = {} },
        { .name = "start", .active = 1, .action = "0", .flags = "3", .configured = saver,
          .calls = { "sleep 300", "exec 1 \"" + saver + "\" /s" }, .after = 1, .activeValue = ABSENT,
          .log = { "\"" + saver + "\" /s" } },
        { .name = "start, nothing configured", .active = 1, .action = "0", .flags = "3", .configured = ABSENT,
          .calls = { "sleep 300", "exec 1 \"Nothing!\" /s", "reg ScreenSaveActive 2 0", "spi 17 0 2", BOX_OFF },
          .after = 0, .activeValue = Sz("0"), .log = {} },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Action", "AppMode", "1");
        SetIni("Action", "IconDubbleClick", row.action);
        SetIni("Message", "OpenMessageBox", row.flags);
        SetScrnsave(row.configured);
        SetSystemActive(row.active);
        SetDesktopValue("ScreenSaveActive", ABSENT);
        DeleteFileA((folder + "\\saver.log").c_str());
        ZeroMemory(&appState, sizeof appState);
        EXPECT_EQ(RunNapkit(GetModuleHandleA(NULL)), 0);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(SystemActive(), row.after);
        EXPECT_EQ(DesktopValue("ScreenSaveActive"), row.activeValue);
        EXPECT_EQ(SaverLog(row.log.size()), row.log);
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
