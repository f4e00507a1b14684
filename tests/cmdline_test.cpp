// NAPKIT.EXE with a switch: run by a running copy, on the system alone, or refused;
// and started plainly from a path that a launcher did not quote.
#include "harness.h"
#include "app/app.h"
#include "res/resource.h"
#include <memory>

namespace {

const char* const USAGE[] = { "NAPKIT|", "\n/on ：", "\n/off ：", "\n/toggle ：", "\n/start ：",
                              "\n/random ：", "\n/timeout:N ：", "\n/secure:on ：", "\n/secure:off ：", "\n/refresh ：", "\n/exit ：", "\n/? ：" };
constexpr char ABOUT_BOX[] = "バージョン情報|NAPKIT";
constexpr char CHECKS[] = "40101 40205 40301 41001";

struct CommandLine : Napkit {
    std::string saver;
    std::string started;   // the command line that starts it
    void SetUp() override
    {
        Napkit::SetUp();
        saver = Install("logsaver.scr", "ONE.SCR");
        SetScrnsave(saver);
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
        return value == ABSENT ? "-" : value == Sz(value.c_str()) ? value.c_str() : "?";
    }
    // NAPKIT.EXE run in the case's folder: its exit code, having shown this many usage boxes
    DWORD Run(const std::string& args, size_t usageBoxes = 0)
    {
        Program program(args);
        DWORD code = program.Wait(25000);
        Lines boxes = program.Boxes();
        EXPECT_EQ(boxes.size(), usageBoxes) << args << ": expected this many usage boxes, and no other box";
        for (const std::string& box : boxes)
            for (const char* part : USAGE)
                EXPECT_NE(box.find(part), std::string::npos) << "expected the usage box to show " << part;
        return code;
    }
    // The window of a tray copy of NAPKIT.EXE, whose boxes are left open from now on
    static HWND WindowLeftOpen(Program& copy)
    {
        HWND found = copy.Window(10000);
        EXPECT_NE(found, (HWND)NULL) << "expected the tray copy's window";
        copy.LeaveBoxesOpen();
        return found;
    }
};

TEST_F(CommandLine, RunningCopyCarriesOutEachSwitchAsItsCommand)
{
    struct Row { const char* args; UINT active; Lines calls; const char* checks; const char* desktop; };
    const Lines on = { "reg ScreenSaveActive 2 1", "spi 17 1 2" };
    const Lines off = { "reg ScreenSaveActive 2 0", "spi 17 0 2" };
    const char* offChecks = "40101 40205 40302 41001";
    const char* customChecks = "40101 40200 40301 41001";
    const Row rows[] = {   // in this order: the time-out set by one row is the next one's
        { .args = "/on", .active = 0, .calls = on, .checks = CHECKS, .desktop = "1/-" },
        { .args = "/on", .active = 1, .calls = {}, .checks = CHECKS, .desktop = "-/-" },
        { .args = "-OFF", .active = 1, .calls = off, .checks = offChecks, .desktop = "0/-" },
        { .args = "-Toggle", .active = 1, .calls = off, .checks = offChecks, .desktop = "0/-" },
        { .args = "/timeout:7", .active = 1, .calls = { "spi 15 420 2", "reg ScreenSaveTimeOut 4 420" },
          .checks = customChecks, .desktop = "-/420" },
        { .args = "-TimeOut:07", .active = 1, .calls = {}, .checks = customChecks, .desktop = "-/-" },
        { .args = "/timeout:60", .active = 1, .calls = { "spi 15 3600 2", "reg ScreenSaveTimeOut 5 3600" },
          .checks = "40101 40260 40301 41001", .desktop = "-/3600" },
        { .args = "/timeout:5", .active = 1, .calls = { "spi 15 300 2", "reg ScreenSaveTimeOut 4 300" },
          .checks = CHECKS, .desktop = "-/300" },
        { .args = "/Start", .active = 1, .calls = { "sleep 250" }, .checks = CHECKS, .desktop = "-/-" },
        { .args = "-random", .active = 1, .calls = { "sleep 250", "exec 1 " + started }, .checks = CHECKS,
          .desktop = "-/-" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        SetSystemActive(row.active);
        Start();
        TakeCalls();
        EXPECT_EQ(Run(row.args), 0u) << "expected success";
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Checks(), row.checks);
        EXPECT_EQ(TakeDesktop(), row.desktop);
        Close();
    }
    Start();
    Install("logsaver.scr", "TWO.SCR");
    EXPECT_EQ(Run("/REFRESH"), 0u) << "expected success";
    EXPECT_NE(MenuText(41002), ABSENT) << "expected the new saver's item";
    EXPECT_EQ(Run("-exit"), 1u) << "this process goes on, so the copy was not ended";
    ExpectEnded();
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
        { .args = "/Toggle", .active = 1, .code = 0, .activeAfter = 0, .desktop = "0/-", .starts = 0 },
        { .args = "/timeout:13", .active = 1, .code = 0, .activeAfter = 1, .desktop = "-/780", .starts = 0 },
        { .args = "/start", .active = 0, .code = 0, .activeAfter = 0, .desktop = "-/-", .starts = 1 },
        { .args = "-RANDOM", .active = 1, .code = 0, .activeAfter = 1, .desktop = "-/-", .starts = 2 },
        { .args = "/refresh", .active = 1, .code = 1, .activeAfter = 1, .desktop = "-/-", .starts = 2 },
        { .args = "/exit", .active = 0, .code = 1, .activeAfter = 0, .desktop = "-/-", .starts = 2 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        SetSystemActive(row.active);
        EXPECT_EQ(Run(row.args), row.code);
        EXPECT_EQ(SystemActive(), row.activeAfter);
        EXPECT_EQ(TakeDesktop(), row.desktop);
        EXPECT_EQ(SaverLog(row.starts), Lines(row.starts, started));
    }
    SetScrnsave(ABSENT);
    EXPECT_EQ(Run("/start"), 1u) << "no saver configured: expected failure";
    DeleteFileA(saver.c_str());
    EXPECT_EQ(Run("/random"), 1u) << "no saver at all: expected failure, and no box either";
}

TEST_F(CommandLine, BadSwitchShowsTheSwitchesAndChangesNothing)
{
    const std::pair<const char*, DWORD> rows[] = {
        { "/timeout:0", 2 }, { "/timeout:61", 2 }, { "/timeout:x", 2 }, { "/timeout:", 2 },
        { "-timeout", 2 }, { "/timeout:5x", 2 }, { "/timeout:-5", 2 }, { "/on /off", 2 },
        { "on", 2 }, { "/onn", 2 }, { "//on", 2 }, { "/", 2 }, { "\"/on", 2 }, { "/?", 0 }, { "-?", 0 },
    };
    for (bool running : { false, true }) {
        if (running)
            Start();
        for (const auto& row : rows)
            EXPECT_EQ(Run(row.first, 1), row.second) << row.first;
        EXPECT_EQ(TakeCalls(), Lines{}) << "expected the running copy to do nothing";
        EXPECT_EQ(SystemActive(), 1u);
        EXPECT_EQ(TakeDesktop(), "-/-");
        EXPECT_EQ(SaverLog(0), Lines{}) << "expected no saver started";
    }
}

TEST_F(CommandLine, OnlyWhatFollowsTheProgramNameAsWindowsWroteItIsSwitches)
{
    struct Row { const char* module; const char* line; const char* switches; };
    const char tools[] = "C:\\my tools\\NAPKIT.EXE";
    const char japanese[] = "C:\\表示 ソフト\\ﾂｰﾙ\\NAPKIT.EXE";   // ソ ends in the byte of '\'
    const Row rows[] = {
        { tools, "\"C:\\my tools\\NAPKIT.EXE\" /on", " /on" },
        { tools, "\"C:\\my tools\\NAPKIT.EXE", "" },
        { tools, "C:\\my tools\\NAPKIT.EXE", "" },
        { tools, "c:\\MY TOOLS\\napkit.exe\t-off", "\t-off" },
        { tools, "C:\\my tools\\NAPKIT /on", " /on" },
        { tools, "C:\\my tools\\NAPKIT.EXE2 /on", " tools\\NAPKIT.EXE2 /on" },
        { tools, "NAPKIT /on", " /on" },
        { japanese, "C:\\表示 ソフト\\ﾂｰﾙ\\NAPKIT.EXE -toggle", " -toggle" },
        { japanese, "..\\ﾂｰﾙ\\NAPKIT.EXE /on", " /on" },
    };
    for (const Row& row : rows)
        EXPECT_STREQ(SkipProgramName(row.line, row.module), row.switches) << row.line;
}

TEST_F(CommandLine, PlainStartFromAnUnquotedPathReachesTheTray)
{
    for (const char* name : { "my tools", "ツール", "表示 ソフト" }) {
        SCOPED_TRACE(name);
        std::string exe = folder + "\\" + name + "\\NAPKIT.EXE";
        ASSERT_TRUE(CreateDirectoryA((folder + "\\" + name).c_str(), NULL)) << "cannot create the folder";
        ASSERT_TRUE(CopyFileA(NapkitExe().c_str(), exe.c_str(), FALSE)) << "cannot copy NAPKIT.EXE";
        Program napkit(Launch{ exe, exe });   // as the Run key, WinExec or a batch file start it
        HWND found = napkit.Window(10000);
        ASSERT_NE(found, (HWND)NULL) << "expected the tray copy's window";
        PostMessageA(found, WM_CLOSE, 0, 0);
        EXPECT_EQ(napkit.Wait(10000), 0u);
        EXPECT_EQ(napkit.Boxes(), Lines{}) << "expected no box";
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
    ASSERT_TRUE(PumpUntil([&] { return copy.Boxes() == Lines{ ABOUT_BOX }; }, 5000)) << "expected About open";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        SetSystemActive(row.elsewhere);
        EXPECT_EQ(Run(row.args), 0u) << "expected success";
        EXPECT_EQ(SystemActive(), row.active);
        EXPECT_EQ(TakeDesktop(), row.desktop);
    }
    EXPECT_EQ(Run("/exit"), 0u) << "expected the copy ended, About closed";
    EXPECT_EQ(copy.Wait(0), 0u) << "expected the copy gone when /exit returned";
    EXPECT_EQ(copy.Boxes(), Lines{ ABOUT_BOX });
    EXPECT_EQ(Scrnsave(), saver) << "expected the close to write the current saver back";
}

TEST_F(CommandLine, ExitEndsACopyThatShowsABox)
{
    SetIni("Message", "OpenMessageBox", "1");
    SetSystemActive(0);
    Program copy;
    WindowLeftOpen(copy);
    EXPECT_EQ(Run("/on"), 0u) << "expected an answer before the copy's box is closed";
    EXPECT_EQ(SystemActive(), 1u);
    EXPECT_TRUE(PumpUntil([&] { return copy.Boxes().size() == 1; }, 5000)) << "expected the copy's box";
    EXPECT_EQ(Run("/exit"), 0u) << "expected the copy ended, its box closed";
    EXPECT_EQ(copy.Wait(0), 0u) << "expected the copy gone when /exit returned";
    EXPECT_EQ(copy.Boxes(), Lines{ std::string("NAPKIT|") + SWITCHED_ON });
}

TEST_F(CommandLine, StartIsAnsweredBeforeTheCopyWaitsToRunIt)
{
    SetIni("Action", "ScreenSaveCommandWait", "20000");   // longer than a command line waits for its answer
    Program copy;
    WindowLeftOpen(copy);
    DWORD sent = GetTickCount();
    EXPECT_EQ(Run("/start"), 0u) << "expected success while the copy waits to start the saver";
    EXPECT_LT(GetTickCount() - sent, 5000u) << "expected the answer before the copy's wait of 20 s was over";
    EXPECT_EQ(copy.Boxes(), Lines{});
}

TEST_F(CommandLine, SwitchSentDuringTheSetUpIsCarriedOutOnceItHasFinished)
{
    SetScrnsave("C:\\UNKNOWN.SCR");   // the set-up opens a box, whose loop takes sent messages
    std::unique_ptr<Program> random;
    Lines duringSetUp = { "not asked" };
    onBox = [&](const std::string&) {
        random.reset(new Program("/random"));
        KeepBoxOpen(3000);
        duringSetUp = TakeCalls("exec");
        return IDOK;
    };
    Start();
    EXPECT_EQ(duringSetUp, Lines{}) << "expected no saver started before the set-up has finished";
    ASSERT_TRUE(random) << "expected the set-up's box";
    EXPECT_EQ(random->Wait(15000), 0u) << "expected the switch taken once the set-up has finished";
    EXPECT_EQ(TakeCalls("box").size(), 1u) << "expected the unknown-saver box of the set-up";
    Lines calls = { "sleep 250", "exec 1 " + started };
    EXPECT_EQ(TakeCalls(), calls) << "expected the random start after the set-up";
    EXPECT_EQ(Checks(), CHECKS);
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
    Start();
    EXPECT_EQ(TrayIcon(), "active") << "expected the shared image of the tray's size, not one shrunk";
}

}  // namespace
