// NAPKIT.EXE as a file, and as a whole program in one-shot and tray mode:
// started as a child process in a scratch folder and watched from outside.
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include "harness/harness.h"
#include "app/app.h"
#include "res/resource.h"
#include "ui/ui.h"

using namespace harness;

namespace {

constexpr DWORD START_TIMEOUT_MS = 15000;   // a cold Wine process can be slow
constexpr DWORD EXIT_TIMEOUT_MS = 10000;
constexpr DWORD SEND_TIMEOUT_MS = 5000;
constexpr DWORD QUIET_MS = 1000;    // longer than a start-up or a poll needs to open a box
constexpr DWORD POLLS_MS = 1500;    // three polls: time to notice an outside change

constexpr char ACTIVE_VALUE[] = "ScreenSaveActive";
constexpr char TOGGLED_OFF[] = "スクリーンセーバーを「無効」にしました。";
constexpr char TOGGLED_ON[] = "スクリーンセーバーを「有効」にしました。";
constexpr char ONE_SHOT_SETTINGS[] = "[Action]\r\nAppMode=1\r\n";
constexpr char ENTRY_DIR_VARIABLE[] = "NAPKIT_TEST_ENTRY_DIR";   // see ProgramHelper

template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

// Runs its action when the test ends, however it ends.
struct AtEnd {
    std::function<void()> action;
    ~AtEnd() { action(); }
};

std::string Lower(std::string text) { CharLowerBuffA(&text[0], (DWORD)text.size()); return text; }

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

bool Ended(ChildProcess& child) { return WaitForSingleObject(child.handle(), 0) == WAIT_OBJECT_0; }

// An outside change of SCRNSAVE.EXE in one step (a copy renamed over
// SYSTEM.INI): rewritten in place, the file can be read half-written by a
// poll under load, which then sees an unknown saver. The rename is retried
// while a poll has the file open.
bool ReplaceScrnsave(const std::string& value)
{
    std::string copy = SystemIniPath() + ".new";
    CopyFileA(SystemIniPath().c_str(), copy.c_str(), FALSE);
    WriteIni(copy, "boot", "SCRNSAVE.EXE", value);
    bool moved = PumpUntil([&copy] {
        return MoveFileExA(copy.c_str(), SystemIniPath().c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    }, SEND_TIMEOUT_MS);
    DeleteFileA(copy.c_str());   // still there only if the rename failed
    return moved;
}

// The flag and the registry value in agreement, as on a real system.
void SetFlag(UINT active)
{
    WriteDesktopValueText(ACTIVE_VALUE, active ? "1" : "0");
    SetSpiActive(active);
}

// The window of a tray copy once its icon is up and its set-up has finished
// (only then does it answer a sent message), after a pause in which a late
// box would show. NULL if it does not get that far.
HWND WaitUntilSettled(DWORD processId)
{
    HWND window = FindNapkitWindow(processId, START_TIMEOUT_MS);
    DWORD_PTR result = 0;
    if (!window || !PumpUntil([window] { return TrayIconExists(window); }, START_TIMEOUT_MS)
        || !SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result))
        return NULL;
    PumpMessages(QUIET_MS);
    return window;
}

// Every test: the system stores restored, a scratch folder, and at most one
// tray copy, killed if the test ends while it runs.
class Program : public ::testing::Test {
protected:
    // One logsaver in the saverbox, named by SYSTEM.INI: a tray start finds
    // it in its catalogue and shows nothing.
    std::string InstallQuietSaver()
    {
        std::string saver = InstallSaver("logsaver.scr", dir.saverbox(), "LOGSAVER.SCR");
        WriteScrnsave(saver);
        return saver;
    }

    bool StartTray(const std::string& folder = "", const std::string& commandLine = "")
    {
        if (!napkit.Start(commandLine.empty() ? Quoted(NapkitExe()) : commandLine,
                          folder.empty() ? dir.path() : folder))
            return false;
        boxes.reset(new BoxResponder(napkit.id()));
        window = WaitUntilSettled(napkit.id());
        return window != NULL;
    }

    void Post(UINT message, WPARAM w, LPARAM l = 0) { PostMessageA(window, message, w, l); }

    DWORD_PTR Send(UINT message, WPARAM w, LPARAM l)
    {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, message, w, l, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result);
        return result;
    }

    DWORD Exit()   // the tray menu's exit command; the exit code
    {
        Post(WM_COMMAND, IDM_EXIT);
        return napkit.Wait(EXIT_TIMEOUT_MS);
    }

    SystemGuard guard;
    ScratchDir dir;
    ChildProcess napkit;
    std::unique_ptr<BoxResponder> boxes;   // after napkit: stops first
    HWND window = NULL;
};

}  // namespace

// A 32-bit GUI program that Windows 4.0 loads, stripped, statically linked
// (five system DLLs only), with the resources and version 1.43.
TEST(ProgramImage, IsAStrippedWin32GuiProgramWithItsResources)
{
    constexpr DWORD FIXED_INFO_SIGNATURE = 0xFEEF04BD;
    constexpr DWORD VERSION_1_43 = MAKELONG(43, 1);
    // Mapped as the loader maps it, without loading what it imports.
    HMODULE program = LoadLibraryExA(NapkitExe().c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_TRUE(program != NULL);
    AtEnd unload{ [program] { FreeLibrary(program); } };
    const BYTE* base = (const BYTE*)program;
    auto nt = (const IMAGE_NT_HEADERS32*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt->FileHeader.Machine);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, nt->OptionalHeader.Magic);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);
    EXPECT_EQ(4, nt->OptionalHeader.MajorSubsystemVersion);
    EXPECT_EQ(0, nt->OptionalHeader.MinorSubsystemVersion);
    EXPECT_EQ(4, nt->OptionalHeader.MajorOperatingSystemVersion);
    EXPECT_EQ(0u, nt->FileHeader.PointerToSymbolTable);
    EXPECT_EQ(0u, nt->FileHeader.NumberOfSymbols);
    std::set<std::string> imports;
    DWORD importsAt = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto entry = (const IMAGE_IMPORT_DESCRIPTOR*)(base + importsAt); entry->Name; ++entry)
        imports.insert(Lower((const char*)(base + entry->Name)));
    EXPECT_EQ(std::set<std::string>({ "kernel32.dll", "user32.dll", "shell32.dll", "advapi32.dll",
                                      "msvcrt.dll" }), imports);

    // The version block comes with the rest of the resource script, whose
    // contents the other tests check in their own programs.
    HRSRC version = FindResourceA(program, MAKEINTRESOURCEA(VS_VERSION_INFO), (LPCSTR)RT_VERSION);
    ASSERT_TRUE(version != NULL);
    const BYTE* block = (const BYTE*)LockResource(LoadResource(program, version));
    const VS_FIXEDFILEINFO* fixed = nullptr;
    for (DWORD at = 0; at + sizeof *fixed <= SizeofResource(program, version) && !fixed; at += 4) {
        if (*(const DWORD*)(block + at) == FIXED_INFO_SIGNATURE)
            fixed = (const VS_FIXEDFILEINFO*)(block + at);
    }
    ASSERT_TRUE(fixed != nullptr);
    EXPECT_EQ(VERSION_1_43, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(VERSION_1_43, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
}

// This program started again by ProgramLongDirectory (skipped otherwise): it
// runs NAPKIT's entry code in a folder no process can be started in.
TEST(ProgramHelper, RunsNapkitInTheFolderGiven)
{
    char folder[MAX_PATH + 1] = "";
    if (!GetEnvironmentVariableA(ENTRY_DIR_VARIABLE, folder, sizeof folder))
        GTEST_SKIP() << "runs only as a helper of ProgramLongDirectory";
    ASSERT_TRUE(SetCurrentDirectoryA(folder));
    ExitProcess((UINT)RunNapkit(GetModuleHandleA(NULL)));
}

struct ToggleCase {
    const char* name;
    UINT live;                    // the system flag: it counts, not the registry
    const char* registryBefore;
    const char* openMessageBox;   // nullptr: key absent
    const char* scrnsave;         // nullptr: the toggle is asked for; else a start that fails
};
void PrintTo(const ToggleCase& c, std::ostream* out) { *out << c.name; }

class ProgramOneShot : public Program, public ::testing::WithParamInterface<ToggleCase> {};

// The toggle, asked for or as the fall-back of a start that cannot run: a
// system-modal box whatever OpenMessageBox says, no window, nothing written
// but the flag. (The box's details and the live flag, which this process
// caches, are checked in-process and by OneShotWhileATrayCopyRuns.)
TEST_P(ProgramOneShot, TogglesTheFlagSaysSoAndExitsWithZero)
{
    const ToggleCase& c = GetParam();
    WriteIni(dir.ini(), "Action", "AppMode", "1");
    if (c.openMessageBox)
        WriteIni(dir.ini(), "Message", "OpenMessageBox", c.openMessageBox);
    if (c.scrnsave) {
        WriteScrnsave(c.scrnsave);
        WriteIni(dir.ini(), "Action", "IconDubbleClick", "0");
        WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", "0");
    } else {
        InstallQuietSaver();
    }
    std::string systemIni = ReadFileBytes(SystemIniPath());
    std::string settings = ReadFileBytes(dir.ini());
    WriteDesktopValueText(ACTIVE_VALUE, c.registryBefore);
    SetSpiActive(c.live);

    ChildProcess child;
    ASSERT_TRUE(StartNapkit(child, dir.path()));
    BoxResponder shotBoxes(child.id());
    bool windowSeen = false;
    PumpUntil([&] {
        windowSeen = windowSeen || FindWindowA(APP_NAME, APP_NAME) != NULL;
        return Ended(child);
    }, START_TIMEOUT_MS + EXIT_TIMEOUT_MS);
    ASSERT_EQ(0u, child.Wait(0));
    ASSERT_EQ(1u, shotBoxes.Count());
    BoxRecord box = shotBoxes.Boxes()[0];
    EXPECT_EQ(APP_NAME, box.caption);
    EXPECT_EQ(c.live ? TOGGLED_OFF : TOGGLED_ON, box.text);
    EXPECT_TRUE(box.topmost);
    EXPECT_FALSE(windowSeen);
    EXPECT_EQ(c.live ? "0" : "1", ReadDesktopValue(ACTIVE_VALUE));
    EXPECT_EQ(systemIni, ReadFileBytes(SystemIniPath()));
    EXPECT_EQ(settings, ReadFileBytes(dir.ini()));
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgramOneShot, ::testing::Values(
    ToggleCase{ "OnToOff", 1, "1", nullptr, nullptr },
    ToggleCase{ "OffToOnWithBoxesOff", 0, "0", "0", nullptr },
    ToggleCase{ "LiveOnRegistryOff", 1, "0", nullptr, nullptr },
    ToggleCase{ "StartWithNoSaver", 1, "1", nullptr, ABSENT },
    ToggleCase{ "StartOfEmptySaver", 0, "0", nullptr, "" },
    ToggleCase{ "StartOfMissingSaver", 1, "1", nullptr, "C:\\no such folder\\gone.scr" }),
    CaseName<ToggleCase>);

// IconDubbleClick 0: after the wait the saver runs with /s, its path quoted
// (unquoted, "...\Program Files\..." starts the trap "...\Program.exe"); no
// box, nothing written, exit 0.
TEST_F(Program, OneShotStartRunsTheSaverAfterTheWait)
{
    constexpr int WAIT_MS = 2000;   // well above a child's start-up, so a missing wait shows
    constexpr DWORD TICK_SLACK_MS = 20;
    std::string saver = InstallSaver("logsaver.scr", dir.file("Program Files"), "My Saver.scr");
    InstallSaver("logsaver.scr", dir.path(), "Program.exe");
    WriteScrnsave(saver);
    WriteIni(dir.ini(), "Action", "AppMode", "1");
    WriteIni(dir.ini(), "Action", "IconDubbleClick", "0");
    WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", std::to_string(WAIT_MS));
    std::string log = dir.file("log.txt");
    SetSaverLog(log);
    std::string systemIni = ReadFileBytes(SystemIniPath());
    std::string settings = ReadFileBytes(dir.ini());

    DWORD started = GetTickCount();
    ChildProcess child;
    ASSERT_TRUE(StartNapkit(child, dir.path()));
    BoxResponder shotBoxes(child.id());
    ASSERT_TRUE(PumpUntil([&] { return !ReadLogLines(log).empty(); }, START_TIMEOUT_MS));
    EXPECT_GE(GetTickCount() - started + TICK_SLACK_MS, (DWORD)WAIT_MS);
    ASSERT_EQ(0u, child.Wait(EXIT_TIMEOUT_MS));
    PumpMessages(300);   // a second saver line, if any, lands meanwhile
    EXPECT_EQ(std::vector<std::string>{ Quoted(saver) + " /s" }, ReadLogLines(log));
    EXPECT_EQ(0u, shotBoxes.Count());
    EXPECT_EQ(systemIni, ReadFileBytes(SystemIniPath()));
    EXPECT_EQ(settings, ReadFileBytes(dir.ini()));
}

struct ModeCase {
    const char* name;
    const char* settings;   // nullptr: no settings file
    bool sessionEnds;       // ended by WM_ENDSESSION TRUE, else by the exit command
};
void PrintTo(const ModeCase& c, std::ostream* out) { *out << c.name; }

class ProgramTrayMode : public Program, public ::testing::WithParamInterface<ModeCase> {};

// Any AppMode but 1: a hidden window with a tray icon and no box, which comes
// through a new taskbar and a cancelled end of session, and on the exit
// command or the end of the session removes both and writes its own view of
// the saver (an outside change of letter case only is not followed).
TEST_P(ProgramTrayMode, RunsHiddenUntilTheExitOrTheEndOfTheSession)
{
    std::string saver = InstallQuietSaver();
    if (GetParam().settings)
        WriteFileBytes(dir.ini(), GetParam().settings);
    ASSERT_TRUE(StartTray());
    EXPECT_FALSE(IsWindowVisible(window));
    // A new taskbar knows no icons: the icon comes back on its message only.
    RemoveTrayIcon(window);
    ASSERT_TRUE(ReplaceScrnsave(Lower(saver)));
    PumpMessages(POLLS_MS);
    ASSERT_FALSE(TrayIconExists(window));
    Send(RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    HWND tray = window;
    EXPECT_TRUE(PumpUntil([tray] { return TrayIconExists(tray); }, QUIET_MS));

    EXPECT_EQ(1u, Send(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    Send(WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);   // cancelled: nothing happens
    EXPECT_EQ(STILL_ACTIVE, napkit.Wait(QUIET_MS));
    EXPECT_TRUE(TrayIconExists(window));
    EXPECT_EQ(Lower(saver), ReadScrnsave());

    if (GetParam().sessionEnds)
        Send(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    else
        Post(WM_COMMAND, IDM_EXIT);
    EXPECT_EQ(0u, napkit.Wait(EXIT_TIMEOUT_MS));
    EXPECT_FALSE(TrayIconExists(window));   // weak: Wine drops a dead window's icons itself
    EXPECT_EQ(saver, ReadScrnsave());
    EXPECT_EQ(0u, boxes->Count());
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgramTrayMode, ::testing::Values(
    ModeCase{ "AppMode2", "[Action]\r\nAppMode=2\r\n", false },
    ModeCase{ "AppMode0", "[Action]\r\nAppMode=0\r\n", true },
    ModeCase{ "AppModeAbsent", "[Action]\r\nUseSaverName=1\r\n", false },
    ModeCase{ "NoSettingsFile", nullptr, true }),
    CaseName<ModeCase>);

// The exit command while the state box is open: the box's loop runs the
// close, the window goes and the program still ends with 0.
TEST_F(Program, ExitWhileAMessageBoxIsOpen)
{
    std::string saver = InstallQuietSaver();
    WriteIni(dir.ini(), "Message", "OpenMessageBox", "3");
    SetFlag(1);
    ASSERT_TRUE(StartTray());
    boxes->SetHandler([](const BoxRecord&) { return true; });   // left open
    ASSERT_TRUE(ReplaceScrnsave(Lower(saver)));
    Post(WM_COMMAND, IDM_STATE_OFF);
    ASSERT_TRUE(boxes->WaitForCount(1, EXIT_TIMEOUT_MS));
    BoxRecord box = boxes->Boxes()[0];
    EXPECT_EQ(TOGGLED_OFF, box.text);
    EXPECT_EQ(window, box.owner);

    Post(WM_COMMAND, IDM_EXIT);
    HWND gone = window;
    EXPECT_TRUE(PumpUntil([gone] { return !IsWindow(gone); }, EXIT_TIMEOUT_MS));
    if (IsWindow(box.window))
        PressButton(box.window, IDOK);
    EXPECT_EQ(0u, napkit.Wait(EXIT_TIMEOUT_MS));
    // The responder may record the dying box twice; any other box is a fault.
    for (const BoxRecord& seen : boxes->Boxes())
        EXPECT_EQ(box.window, seen.window) << seen.caption << ": " << seen.text;
    EXPECT_EQ(saver, ReadScrnsave());
}

// Two copies started together may both pass the window test before either
// window exists: the named mutex settles it (repeated, as the race is
// timing-bound). A copy started later ends at once without a window or box.
TEST_F(Program, OneTrayCopyAtATime)
{
    constexpr int ROUNDS = 4;
    InstallQuietSaver();
    for (int round = 0; round < ROUNDS; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ChildProcess copies[2];
        ASSERT_TRUE(StartNapkit(copies[0], dir.path()) && StartNapkit(copies[1], dir.path()));
        BoxResponder boxes0(copies[0].id());
        BoxResponder boxes1(copies[1].id());
        ASSERT_TRUE(PumpUntil([&] { return Ended(copies[0]) || Ended(copies[1]); },
                              START_TIMEOUT_MS)) << "both copies keep running";
        int loser = Ended(copies[0]) ? 0 : 1;
        EXPECT_EQ(0u, copies[loser].Wait(0));
        HWND survivor = WaitUntilSettled(copies[1 - loser].id());
        ASSERT_TRUE(survivor != NULL);
        ChildProcess later;
        ASSERT_TRUE(StartNapkit(later, dir.path()));
        BoxResponder laterBoxes(later.id());
        bool windowSeen = false;
        PumpUntil([&] {
            windowSeen = windowSeen || FindNapkitWindow(later.id(), 0) != NULL;
            return Ended(later);
        }, EXIT_TIMEOUT_MS);
        EXPECT_EQ(0u, later.Wait(0));
        EXPECT_FALSE(windowSeen);
        EXPECT_EQ(0u, boxes0.Count() + boxes1.Count() + laterBoxes.Count());
        PostMessageA(survivor, WM_COMMAND, IDM_EXIT, 0);
        ASSERT_EQ(0u, copies[1 - loser].Wait(EXIT_TIMEOUT_MS));
    }
}

// A one-shot run ignores the tray copy: it toggles and exits, and the tray
// copy's poll takes the new state over. Its menu cannot be read from here, so
// it toggles too (icon double-click): its box says "on" only if it saw "off".
TEST_F(Program, OneShotWhileATrayCopyRuns)
{
    InstallQuietSaver();
    WriteIni(dir.ini(), "Message", "OpenMessageBox", "1");
    ScratchDir shotDir("shot");
    WriteIni(shotDir.ini(), "Action", "AppMode", "1");
    SetFlag(1);
    ASSERT_TRUE(StartTray());

    ChildProcess shot;
    ASSERT_TRUE(StartNapkit(shot, shotDir.path()));
    BoxResponder shotBoxes(shot.id());
    ASSERT_TRUE(shotBoxes.WaitForCount(1, EXIT_TIMEOUT_MS));
    ASSERT_EQ(0u, shot.Wait(EXIT_TIMEOUT_MS));
    EXPECT_EQ(TOGGLED_OFF, shotBoxes.Boxes()[0].text);
    EXPECT_EQ("0", ReadDesktopValue(ACTIVE_VALUE));

    PumpMessages(POLLS_MS);
    EXPECT_EQ(0u, boxes->Count());
    Post(WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(boxes->WaitForCount(1, EXIT_TIMEOUT_MS));
    EXPECT_EQ(TOGGLED_ON, boxes->Boxes()[0].text);
    EXPECT_EQ("1", ReadDesktopValue(ACTIVE_VALUE));
    EXPECT_EQ(0u, Exit());
}

class ProgramLongDirectory : public Program, public ::testing::WithParamInterface<size_t> {};

// Neither the settings file nor the saverbox fits under such a current
// directory, so the defaults apply: tray mode although the folder's settings
// file asks for one-shot, and the catalogue of the system directory. No
// process can be started in a folder of 259 characters (Wine's loader fails
// with c0000033), so there this program runs NAPKIT's entry code instead.
TEST_P(ProgramLongDirectory, StartsInTrayModeAndEndsCleanly)
{
    constexpr size_t LONGEST_STARTABLE = 258;   // a trailing backslash must still fit
    std::string deep = MakeDirOfLength(dir.path(), GetParam());
    ASSERT_EQ(GetParam(), deep.size());
    // Too long for the ANSI functions: written and removed through "\\?\".
    WCHAR settings[MAX_PATH * 2];
    std::string settingsPath = "\\\\?\\" + JoinPath(deep, "NAPKIT.INI");
    MultiByteToWideChar(CP_ACP, 0, settingsPath.c_str(), -1, settings, MAX_PATH * 2);
    AtEnd removeSettings{ [&settings] { DeleteFileW(settings); } };
    HANDLE file = CreateFileW(settings, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, ONE_SHOT_SETTINGS, sizeof ONE_SHOT_SETTINGS - 1, &done, NULL));
    CloseHandle(file);
    std::string saver = JoinPath(SystemDir(), "NAPKLONG.SCR");
    AtEnd removeSaver{ [saver] { DeleteFileA(saver.c_str()); } };
    ASSERT_TRUE(CopyFileA(SaverFile("logsaver.scr").c_str(), saver.c_str(), FALSE));
    WriteScrnsave(saver);

    if (GetParam() <= LONGEST_STARTABLE) {
        ASSERT_TRUE(StartTray(deep));
    } else {
        SetEnvironmentVariableA(ENTRY_DIR_VARIABLE, deep.c_str());
        char self[MAX_PATH];
        GetModuleFileNameA(NULL, self, MAX_PATH);
        bool started = StartTray(dir.path(), Quoted(self) + " --gtest_filter=ProgramHelper.*");
        SetEnvironmentVariableA(ENTRY_DIR_VARIABLE, NULL);
        ASSERT_TRUE(started);
    }
    EXPECT_EQ(0u, boxes->Count());
    EXPECT_EQ(0u, Exit());
    EXPECT_EQ(saver, ReadScrnsave());
}

INSTANTIATE_TEST_SUITE_P(Lengths, ProgramLongDirectory, ::testing::Values(250u, 258u, 259u),
    [](const ::testing::TestParamInfo<size_t>& info) { return std::to_string(info.param); });

// The random start runs one saver of the catalogue, by the path the catalogue
// gives (8.3 alias where there is one), quoted, with /s.
TEST_F(Program, RandomStartRunsASaverOfTheCatalogue)
{
    constexpr size_t STARTS = 3;
    std::vector<std::string> expected;
    for (const char* name : { "LOGA.SCR", "LOGB.SCR", "Log Saver C.scr" }) {
        std::string alias = ShortNameOf(InstallSaver("logsaver.scr", dir.saverbox(), name));
        expected.push_back(Quoted(JoinPath(dir.saverbox(), alias.empty() ? name : alias)) + " /s");
    }
    WriteScrnsave(JoinPath(dir.saverbox(), "LOGA.SCR"));
    WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", "0");
    std::string log = dir.file("log.txt");
    SetSaverLog(log);
    ASSERT_TRUE(StartTray());
    for (size_t i = 1; i <= STARTS; ++i) {
        Post(WM_COMMAND, IDM_START_RANDOM);
        ASSERT_TRUE(PumpUntil([&] { return ReadLogLines(log).size() >= i; }, START_TIMEOUT_MS))
            << "start " << i;
    }
    PumpMessages(300);   // a stray extra start would land meanwhile
    std::vector<std::string> lines = ReadLogLines(log);
    EXPECT_EQ(STARTS, lines.size());
    for (const std::string& line : lines)
        EXPECT_TRUE(std::find(expected.begin(), expected.end(), line) != expected.end()) << line;
    EXPECT_EQ(0u, boxes->Count());
    EXPECT_EQ(0u, Exit());
}

// Another program holds Ctrl+Alt+Z: NAPKIT starts without a word, takes the
// other combinations, and frees all of them at exit.
TEST_F(Program, ATakenHotKeyDoesNotStopTheOthers)
{
    constexpr UINT MODIFIERS = MOD_CONTROL | MOD_ALT;   // CombinationKeys default 3
    constexpr int HELD_ID = 1;
    constexpr int PROBE_ID = 2;
    const UINT napkitKeys[] = { 'X', 'A', 'S', 'F' };
    auto isFree = [](UINT key) {
        return RegisterHotKey(NULL, PROBE_ID, MODIFIERS, key) && UnregisterHotKey(NULL, PROBE_ID);
    };
    InstallQuietSaver();
    WriteIni(dir.ini(), "HotKeys", "EnableHotKeys", "1");
    for (UINT key : napkitKeys)
        ASSERT_TRUE(isFree(key)) << (char)key;
    ASSERT_TRUE(RegisterHotKey(NULL, HELD_ID, MODIFIERS, 'Z'));
    AtEnd release{ [] { UnregisterHotKey(NULL, HELD_ID); } };

    ASSERT_TRUE(StartTray());
    EXPECT_EQ(0u, boxes->Count());
    for (UINT key : napkitKeys)
        EXPECT_TRUE(PumpUntil([&] { return !isFree(key); }, QUIET_MS)) << (char)key;
    EXPECT_EQ(0u, Exit());
    for (UINT key : napkitKeys)
        EXPECT_TRUE(isFree(key)) << (char)key;
}
