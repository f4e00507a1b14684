// The program as a whole: one-shot mode and a single tray copy.
#include "harness.h"
#include "app/app.h"

namespace {

const std::string BOX_OFF = std::string("box none 0x1040 NAPKIT|") + SWITCHED_OFF;

struct Whole : Napkit {
    void SetUp() override
    {
        Napkit::SetUp();
        SetIni("Action", "ScreenSaveCommandWait", "300");
    }
};

TEST_F(Whole, OneShotStartWithNothingConfiguredSwitchesTheSaverOff)
{
    SetIni("Action", "AppMode", "1");
    SetIni("Action", "IconDubbleClick", "0");
    SetScrnsave(ABSENT);
    ZeroMemory(&appState, sizeof appState);
    RunNapkit(GetModuleHandleA(NULL));
    Lines calls = { "sleep 300", "exec 1 \"Nothing!\" /s", TURNED_OFF[0], TURNED_OFF[1], BOX_OFF };
    EXPECT_EQ(TakeCalls(), calls);
    EXPECT_EQ(SystemActive(), 0u);
    EXPECT_EQ(FindNapkitWindow(), (HWND)NULL) << "one-shot mode opens no window";
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
