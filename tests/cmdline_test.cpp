// NAPKIT.EXE with a switch: run by a running copy, on the system alone, or refused;
// and started plainly from a path that a launcher did not quote.
#include "harness.h"
#include "app/app.h"
#include "res/resource.h"
#include <cstring>
#include <memory>

namespace {

constexpr char ABOUT_BOX[] = "バージョン情報|NAPKIT";
constexpr char CHECKS[] = "40101 40205 40301 41001";

// Inside a box: a window of the dialog class stands for it while this thread's messages are dispatched for up to
// ms; the id of the WM_COMMAND something posted to it, or 0 when nothing did.
int BoxEndedWithin(DWORD ms)
{
    HWND box = CreateWindowExA(0, "#32770", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    EXPECT_NE(box, (HWND)NULL) << "cannot create the window that stands for the box";
    int ended = 0;
    MSG msg;
    for (DWORD start = GetTickCount(); !ended && GetTickCount() - start < ms;) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
        while (!ended && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == box && msg.message == WM_COMMAND)
                ended = LOWORD(msg.wParam);
            else
                DispatchMessageA(&msg);
        }
    }
    DestroyWindow(box);
    return ended;
}

struct CommandLine : Napkit {
    std::string started;   // the command line that starts it
    void SetUp() override
    {
        Napkit::SetUp();
        started = "\"" + saver + "\" /s";
        SetIni("Action", "ScreenSaveCommandWait", "250");
        SetIni("Message", "OpenMessageBox", "0");
        TakeDesktop();
    }
    // HKCU\Control Panel\desktop as "active/timeout" ("-": absent); both are removed
    std::string TakeDesktop() { return TakeValue("ScreenSaveActive") + "/" + TakeValue("ScreenSaveTimeOut"); }
    static std::string TakeValue(const char* name)   // "?" when not text with one NUL
    {
        std::string value = DesktopValue(name);
        SetDesktopValue(name, ABSENT);
        return value == ABSENT ? "-" : value.compare(0, 3, "sz:") == 0 ? value.substr(3) : "?";
    }
    // The window of a tray copy of NAPKIT.EXE, whose boxes are left open from now on
    static HWND WindowLeftOpen(Program& copy)
    {
        copy.LeaveBoxesOpen();
        return copy.Window();
    }
};

TEST_F(CommandLine, RunningCopyCarriesOutEachSwitchAsItsCommand)
{
    struct Row { const char* args; UINT active = 1; Lines calls; const char* checks = CHECKS; const char* desktop; };
    const Row rows[] = {   // in this order: the time-out set by one row is the next one's
        { .args = "/on", .active = 0, .calls = TURNED_ON, .desktop = "1/-" },
        { .args = "-Toggle", .calls = TURNED_OFF, .checks = "40101 40205 40302 41001", .desktop = "0/-" },
        { .args = "", .calls = {}, .desktop = "-/-" },   // a plain start gives way to the running copy, silently
        { .args = "/Start", .calls = { "sleep 250", "screen saver started by main" }, .desktop = "-/-" },
        { .args = "-random", .calls = { "sleep 250", "exec 1 " + started }, .desktop = "-/-" },
        { .args = "/timeout:1", .calls = { "spi 15 60 2", "reg ScreenSaveTimeOut REG_SZ 3 60" },
          .checks = "40101 40200 40301 41001", .desktop = "-/60" },
        { .args = "/timeout:60", .calls = { "spi 15 3600 2", "reg ScreenSaveTimeOut REG_SZ 5 3600" },
          .checks = "40101 40260 40301 41001", .desktop = "-/3600" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        SetSystemActive(row.active);
        Start();
        EXPECT_EQ(RunSwitch(row.args), 0u) << "expected success";
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Checks(), row.checks);
        EXPECT_EQ(TakeDesktop(), row.desktop);
        Close();
    }
    Start();
    Install("logsaver.scr", "TWO.SCR");
    EXPECT_EQ(RunSwitch("/REFRESH"), 0u) << "expected success";
    EXPECT_NE(MenuText(41002), ABSENT) << "expected the new saver's item";
    EXPECT_EQ(TakeCalls("ini SYSTEM.INI").size(), 1u) << "expected the refresh to pick a saver and write it";
    std::string picked = Scrnsave();
    EXPECT_EQ(RunCommandLine("-exit"), 1) << "expected failure: this process goes on, so the copy has not ended";
    ExpectEnded();
    EXPECT_EQ(TakeCalls(), (Lines{ "wait for this process 10000", Wrote(picked) }))
        << "expected a wait of 10 s for the copy's process, then the close writing the saver back";
}

TEST_F(CommandLine, WithoutRunningCopyTheSystemIsSetDirectly)
{
    // starts: lines of the saver's record so far
    struct Row { const char* args; UINT active; DWORD code; UINT activeAfter; const char* desktop; size_t starts; };
    const Row rows[] = {
        { .args = "\"/off\"", .active = 1, .code = 0, .activeAfter = 0, .desktop = "0/-", .starts = 0 },
        { .args = "-off", .active = 0, .code = 0, .activeAfter = 0, .desktop = "-/-", .starts = 0 },
        { .args = "/ON", .active = 1, .code = 0, .activeAfter = 1, .desktop = "-/-", .starts = 0 },
        { .args = "-toggle", .active = 0, .code = 0, .activeAfter = 1, .desktop = "1/-", .starts = 0 },
        { .args = "/timeout:13", .active = 1, .code = 0, .activeAfter = 1, .desktop = "-/780", .starts = 0 },
        { .args = "/start", .active = 0, .code = 0, .activeAfter = 0, .desktop = "-/-", .starts = 1 },
        { .args = "-RANDOM", .active = 1, .code = 0, .activeAfter = 1, .desktop = "-/-", .starts = 2 },
        { .args = "/refresh", .active = 1, .code = 1, .activeAfter = 1, .desktop = "-/-", .starts = 2 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        SetSystemActive(row.active);
        EXPECT_EQ(RunSwitch(row.args), row.code);
        EXPECT_EQ(SystemActive(), row.activeAfter);
        EXPECT_EQ(TakeDesktop(), row.desktop);
        EXPECT_EQ(SaverLog(row.starts), Lines(row.starts, started + " in " + saverbox))
            << "expected the saver alone, run in its folder";
    }
    DeleteFileA(saver.c_str());
    EXPECT_EQ(RunSwitch("/random"), 1u) << "no saver at all: expected failure, and no box either";
}

TEST_F(CommandLine, BadSwitchShowsTheSwitchesAndChangesNothing)
{
    const std::pair<const char*, DWORD> rows[] = {
        { "/timeout:0", 2 }, { "/timeout:61", 2 }, { "/timeout:5x", 2 }, { "/on /off", 2 },
        { "on", 2 }, { "/onn", 2 }, { "/", 2 }, { "/?", 0 },
    };
    for (const auto& row : rows)
        EXPECT_EQ(RunSwitch(row.first, 1), row.second) << row.first;
    EXPECT_EQ(SystemActive(), 1u);
    EXPECT_EQ(TakeDesktop(), "-/-");
    EXPECT_EQ(SaverLog(0), Lines{}) << "expected no saver started";
}

TEST_F(CommandLine, BadSwitchBoxEndsByItselfAfterHalfAMinuteAndTheListAskedForWaits)
{
    // The command line run here; the time the box stays open passed by the tick count.
    struct Row { const char* args; const char* box; int endedBy31s; int code; };
    const Row rows[] = {
        { .args = " /onn", .box = "box none 0x1030 NAPKIT|使い方", .endedBy31s = IDOK, .code = 2 },
        { .args = " /?", .box = "box none 0x1040 NAPKIT|使い方", .endedBy31s = 0, .code = 0 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        int endedBy29s = -1;
        int endedBy31s = -1;
        onBox = [&](const std::string&) {
            PassTime(28000);
            endedBy29s = BoxEndedWithin(500);
            PassTime(2500);
            endedBy31s = BoxEndedWithin(600);
            return IDOK;
        };
        EXPECT_EQ(RunCommandLine(row.args), row.code);
        EXPECT_EQ(endedBy29s, 0) << "expected the box open 29 s after it was shown";
        EXPECT_EQ(endedBy31s, row.endedBy31s) << "expected the box ended (1) or open (0) 31 s after it was shown";
        Lines boxes = TakeCalls();
        ASSERT_EQ(boxes.size(), 1u) << "expected one box";
        EXPECT_EQ(boxes[0].substr(0, strlen(row.box)), row.box);
    }
}

TEST_F(CommandLine, SwitchThatReachesTheCopyTenSecondsAfterItWasFirstSentOrOutOfRangeIsRefused)
{
    // age: how long before it reached the copy the command line first sent it
    struct Row { UINT command; WORD minutes; DWORD age; LRESULT answer; Lines calls; };
    const Row rows[] = {
        { .command = IDM_STATE_OFF, .minutes = 0, .age = 9000, .answer = SWITCH_TAKEN, .calls = TURNED_OFF },
        { .command = IDM_STATE_OFF, .minutes = 0, .age = 10000, .answer = SWITCH_REFUSED, .calls = {} },
        { .command = IDM_TIMEOUT_CUSTOM, .minutes = 61, .age = 0, .answer = SWITCH_REFUSED, .calls = {} },
        // Once an /exit has been taken: another is taken too, any other switch refused.
        { .command = IDM_EXIT, .minutes = 0, .age = 0, .answer = SWITCH_TAKEN, .calls = {} },
        { .command = IDM_EXIT, .minutes = 0, .age = 0, .answer = SWITCH_TAKEN, .calls = {} },
        { .command = IDM_STATE_OFF, .minutes = 0, .age = 0, .answer = SWITCH_REFUSED, .calls = {} },
    };
    UINT message = RegisterWindowMessageA(SWITCH_MESSAGE);
    Start();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        SCOPED_TRACE(row.age);
        SetSystemActive(1);
        LRESULT answer = SendMessageA(window, message, MAKEWPARAM(row.command, row.minutes), GetTickCount() - row.age);
        EXPECT_EQ(answer, row.answer);
        EXPECT_EQ(TakeCalls(), row.calls);
    }
    ExpectEnded();
    EXPECT_EQ(TakeCalls(), Lines{ Wrote(saver) }) << "expected the close, writing the saver back";
}

TEST_F(CommandLine, OnlyWhatFollowsTheProgramNameAsWindowsWroteItIsSwitches)
{
    struct Row { const char* module; const char* line; const char* switches; };
    const char tools[] = "C:\\my tools\\NAPKIT.EXE";
    const char japanese[] = "C:\\表示 ソフト\\ﾂｰﾙ\\NAPKIT.EXE";   // ソ ends in the byte of '\'
    const Row rows[] = {
        { tools, "\"C:\\my tools\\NAPKIT.EXE\" /on", " /on" },
        { tools, "\"C:\\my tools\\NAPKIT.EXE", "" },
        { tools, "c:\\MY TOOLS\\napkit.exe\t-off", "\t-off" },
        { tools, "C:\\my tools\\NAPKIT /on", " /on" },
        { tools, "C:\\my tools\\NAPKIT.EXE2 /on", " tools\\NAPKIT.EXE2 /on" },
        { japanese, "C:\\表示 ソフト\\ﾂｰﾙ\\NAPKIT.EXE -toggle", " -toggle" },
        { japanese, "..\\ﾂｰﾙ\\NAPKIT.EXE /on", " /on" },
    };
    for (const Row& row : rows)
        EXPECT_STREQ(SkipProgramName(row.line, row.module), row.switches) << row.line;
}

TEST_F(CommandLine, PlainStartReachesTheTrayHoweverTheNameIsWritten)
{
    // As a launcher that does not quote may write it: the Run key, WinExec, a batch file, a script's empty "%1"
    struct Row { const char* dir; std::string line; bool tray; DWORD code; };
    const std::string tools = folder + "\\my tools";
    const std::string japanese = folder + "\\表示 ソフト";   // ソ ends in the byte of '\'
    for (const std::string& dir : { tools, japanese }) {
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), NULL)) << "cannot create " << dir;
        ASSERT_TRUE(CopyFileA(NapkitExe().c_str(), (dir + "\\NAPKIT.EXE").c_str(), FALSE)) << "cannot copy to " << dir;
    }
    const Row rows[] = {
        { .dir = "表示 ソフト", .line = japanese + "\\NAPKIT.EXE", .tray = true, .code = 0 },
        { .dir = "表示 ソフト", .line = japanese + "\\napkit \"\" ", .tray = true, .code = 0 },
        { .dir = "my tools", .line = "my tools\\NAPKIT.EXE", .tray = true, .code = 0 },   // from the folder above
        { .dir = "my tools", .line = "my tools\\Napkit /exit", .tray = false, .code = 1 },   // no copy to end
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        Program napkit(folder + "\\" + row.dir + "\\NAPKIT.EXE", row.line);
        if (row.tray)
            PostMessageA(napkit.Window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(napkit.Wait(10000), row.code);
    }
}

TEST_F(CommandLine, SwitchesActOnTheFlagAsItIsWhileTheCopyShowsADialog)
{
    struct Row { UINT elsewhere; const char* args; UINT active; const char* desktop; };
    const Row rows[] = {   // the copy's last view of the flag was 1, 1, 1, 0, 0
        { 0, "/on", 1, "1/-" }, { 0, "/toggle", 1, "1/-" }, { 0, "-off", 0, "-/-" },
        { 1, "/OFF", 0, "0/-" }, { 1, "-Toggle", 0, "0/-" },
    };
    Program copy;
    PostMessageA(WindowLeftOpen(copy), WM_COMMAND, IDM_ABOUT, 0);
    ASSERT_EQ(copy.Boxes(5000), Lines{ ABOUT_BOX }) << "expected About open";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        SetSystemActive(row.elsewhere);
        EXPECT_EQ(RunSwitch(row.args), 0u) << "expected success";
        EXPECT_EQ(SystemActive(), row.active);
        EXPECT_EQ(TakeDesktop(), row.desktop);
    }
    EXPECT_EQ(RunSwitch("/exit"), 0u) << "expected the copy ended, About closed";
    EXPECT_EQ(copy.Wait(0), 0u) << "expected the copy gone when /exit returned";
}

TEST_F(CommandLine, ExitEndsACopyThatShowsABox)
{
    SetIni("Message", "OpenMessageBox", "1");
    SetSystemActive(0);
    Program copy;
    WindowLeftOpen(copy);
    EXPECT_EQ(RunSwitch("/on"), 0u) << "expected an answer before the copy's box is closed";
    EXPECT_EQ(SystemActive(), 1u);
    EXPECT_EQ(copy.Boxes(5000), Lines{ std::string("NAPKIT|") + SWITCHED_ON }) << "expected the copy's box";
    EXPECT_EQ(RunSwitch("/exit"), 0u) << "expected the copy ended, its box closed";
    EXPECT_EQ(copy.Wait(0), 0u) << "expected the copy gone when /exit returned";
}

TEST_F(CommandLine, ExitIsTakenDuringTheSetUpWhichThenStops)
{
    SetScrnsave("C:\\UNKNOWN.SCR");   // the copy's set-up waits in a box
    Program copy;
    WindowLeftOpen(copy);
    EXPECT_EQ(copy.Boxes(5000), Lines{ std::string("NAPKIT|") + UNKNOWN_TEXT }) << "expected the set-up's box";
    EXPECT_EQ(RunSwitch("/exit"), 0u) << "expected /exit taken while the set-up waits in its box";
    EXPECT_EQ(copy.Wait(0), 0u) << "expected the copy gone when /exit returned";
    EXPECT_EQ(Scrnsave(), "C:\\UNKNOWN.SCR") << "expected the set-up stopped before it picked a saver";
}

TEST_F(CommandLine, StartIsAnsweredBeforeTheCopyWaitsToRunIt)
{
    SetIni("Action", "ScreenSaveCommandWait", "20000");   // longer than a command line waits for its answer
    Program copy;
    WindowLeftOpen(copy);
    DWORD sent = GetTickCount();
    EXPECT_EQ(RunSwitch("/start"), 0u) << "expected success while the copy waits to start the saver";
    EXPECT_LT(GetTickCount() - sent, 5000u) << "expected the answer before the copy's wait of 20 s was over";
}

TEST_F(CommandLine, SwitchSentDuringTheSetUpIsCarriedOutOnceItHasFinished)
{
    SetScrnsave("C:\\UNKNOWN.SCR");   // the set-up opens a box, whose loop takes sent messages
    std::unique_ptr<Program> random;
    Lines duringSetUp = { "not asked" };
    onBox = [&](const std::string&) {
        random.reset(new Program("/random"));
        Pump(2000);   // the switch arrives meanwhile
        duringSetUp = TakeCalls("exec");
        return IDOK;
    };
    Start();
    EXPECT_EQ(duringSetUp, Lines{}) << "expected no saver started before the set-up has finished";
    ASSERT_TRUE(random) << "expected the set-up's box";
    EXPECT_EQ(random->Wait(15000), 0u) << "expected the switch taken once the set-up has finished";
    Lines calls = { UNKNOWN_BOX, Wrote(saver), "sleep 250", "exec 1 " + started };
    EXPECT_EQ(TakeCalls(), calls) << "expected the set-up's box and pick, then the random start";
    EXPECT_EQ(MenuText(41002), ABSENT) << "expected one item for the one saver";
    Close();
}

TEST_F(CommandLine, IconsHoldAnImageForEveryTraySize)
{
    HMODULE exe = LoadLibraryExA(NapkitExe().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    auto data = [exe](int id, LPCSTR type) {
        HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(id), type);
        const char* bytes = found ? (const char*)LockResource(LoadResource(exe, found)) : "";
        return std::string(bytes, found ? SizeofResource(exe, found) : 0);
    };
    for (int group : { 111, 112, 113 }) {
        std::string directory = data(group, (LPCSTR)RT_GROUP_ICON);
        std::string sizes;   // as listed = as drawn
        for (size_t entry = 6; entry + 14 <= directory.size(); entry += 14) {
            std::string image = data(*(const WORD*)&directory[entry + 12], (LPCSTR)RT_ICON) + std::string(12, '\0');
            sizes += std::to_string((BYTE)directory[entry]) + "=" + std::to_string(*(const LONG*)&image[4]) + " ";
        }
        EXPECT_EQ(sizes, "32=32 24=24 20=20 16=16 ") << "group " << group;
    }
    FreeLibrary(exe);
}

}  // namespace
