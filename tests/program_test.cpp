// The program as a whole: one-shot mode, and the name NAPKIT held by another program.
#include "harness.h"
#include "app/app.h"

namespace {

const std::string ONE_SHOT_OFF = std::string("box none 0x1040 NAPKIT|") + SWITCHED_OFF;
constexpr char NAME_TAKEN[] = "NAPKIT|NAPKIT という名前を別のプログラムが使っています。\n"
                              "そのプログラムを終了してから、もう一度起動してください。";

using Whole = Napkit;   // the wait before a start is the default, 500 ms

TEST_F(Whole, OneShotStartRunsOnlyASaverFileElseSwitchesTheSaverOff)
{
    // What a search for a name without a full path would find first: never run.
    Install("logsaver.scr", "Nothing!.exe", folder);
    Install("logsaver.scr", "Nothing!", folder);
    Install("logsaver.scr", "foo.scr", folder);
    const std::string dir = folder + "\\DIR.SCR";
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), NULL)) << "cannot create " << dir;
    const std::string started = "\"" + saver + "\" /s";
    const Lines toggled = { TURNED_OFF[0], TURNED_OFF[1], ONE_SHOT_OFF };
    // action: [Action] IconDubbleClick, 0 the start
    struct Row { const char* name; std::string configured; Lines calls; UINT active; const char* action = "0"; };
    const Row rows[] = {
        { .name = "a saver file", .configured = saver, .calls = { "sleep 500", "exec 1 " + started }, .active = 1 },
        { .name = "none", .configured = ABSENT, .calls = toggled, .active = 0 },
        { .name = "relative", .configured = "foo.scr", .calls = toggled, .active = 0 },
        { .name = "from the root", .configured = folder.substr(2) + "\\foo.scr", .calls = toggled, .active = 0 },
        { .name = "from the drive's folder", .configured = "C:foo.scr", .calls = toggled, .active = 0 },
        { .name = "a folder", .configured = dir, .calls = toggled, .active = 0 },
        { .name = "no extension", .configured = folder + "\\Nothing!", .calls = toggled, .active = 0 },
        { .name = "a trailing dot", .configured = folder + "\\Nothing!.", .calls = toggled, .active = 0 },
        { .name = "an action of neither kind", .configured = saver, .calls = toggled, .active = 0, .action = "5" },
    };
    SetIni("Action", "AppMode", "1");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Action", "IconDubbleClick", row.action);
        SetScrnsave(row.configured);
        SetSystemActive(1);
        ZeroMemory(&appState, sizeof appState);
        RunNapkit(GetModuleHandleA(NULL));
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(SystemActive(), row.active);
        EXPECT_EQ(SaverLog(1), Lines{ started + " in " + saverbox }) << "expected the saver alone, run in its folder";
        EXPECT_EQ(FindNapkitWindow(), (HWND)NULL) << "one-shot mode opens no window";
    }
}

TEST_F(Whole, NameHeldByAnotherProgramIsSaidInOneBoxAndNothingIsDone)
{
    // This test program is not NAPKIT.EXE: its main window, or the single-copy mutex it owns with no window, holds
    // the name NAPKIT for another program.
    struct Row { bool window; const char* args; DWORD code; };
    const Row rows[] = {
        { .window = true, .args = "", .code = 0 },
        { .window = true, .args = "/off", .code = 1 },
        { .window = false, .args = "", .code = 0 },
    };
    SetDesktopValue("ScreenSaveActive", ABSENT);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        SCOPED_TRACE(row.window ? "window" : "mutex");
        HANDLE mutex = row.window ? NULL : CreateMutexA(NULL, TRUE, "NAPKIT.SingleCopy");
        if (row.window)
            Start();
        Program napkit(row.args);
        EXPECT_EQ(napkit.Wait(10000), row.code);
        EXPECT_EQ(napkit.Boxes(), Lines{ NAME_TAKEN });
        EXPECT_EQ(SystemActive(), 1u) << "expected nothing done";
        EXPECT_EQ(DesktopValue("ScreenSaveActive"), ABSENT) << "expected nothing done";
        EXPECT_EQ(TakeCalls(), Lines{}) << "expected nothing asked of this program's window";
        if (row.window)
            Close();
        if (mutex)
            CloseHandle(mutex);
    }
}

}  // namespace
