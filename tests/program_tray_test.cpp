// NAPKIT.EXE in tray mode, started as a child process in a scratch folder
// and watched from outside: its window, its tray icon (asked of the shell),
// its message boxes, its exit code, SYSTEM.INI and the registry; driven by
// the messages the tray menu, the shell and the session would send it.
//
// The screen-saver flag is set here with harness::SetSpiActive before a
// child starts (see program_oneshot_test.cpp); the flag a child changes is
// checked in the registry, as this process keeps a cached copy of the flag.
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>
#include "harness/harness.h"
#include "app/app.h"
#include "res/resource.h"
#include "ui/ui.h"

using namespace harness;

namespace {

constexpr DWORD START_TIMEOUT_MS = 15000;   // a cold Wine process can be slow
constexpr DWORD EXIT_TIMEOUT_MS = 10000;
constexpr DWORD BOX_TIMEOUT_MS = 10000;
constexpr DWORD SEND_TIMEOUT_MS = 5000;
// Longer than a start-up or a poll would need to open a box.
constexpr DWORD QUIET_MS = 1000;
// Three polls of 500 ms: time for a running copy to notice an outside change.
constexpr DWORD POLLS_MS = 1500;

constexpr char SAVER_NAME[] = "LOGSAVER.SCR";
constexpr char ACTIVE_VALUE[] = "ScreenSaveActive";
constexpr char TOGGLED_OFF[] = "スクリーンセーバーを「無効」にしました。";
constexpr char TOGGLED_ON[] = "スクリーンセーバーを「有効」にしました。";

BOOL CALLBACK CountNapkit(HWND window, LPARAM param)
{
    char name[16] = "";
    char title[16] = "";
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpA(name, APP_NAME) == 0 && lstrcmpA(title, APP_NAME) == 0)
        ++*(int*)param;
    return TRUE;
}

int CountNapkitWindows()
{
    int count = 0;
    EnumWindows(CountNapkit, (LPARAM)&count);
    return count;
}

struct ProcessWindows {
    DWORD processId;
    int count;
};

BOOL CALLBACK CountOfProcess(HWND window, LPARAM param)
{
    ProcessWindows& scan = *(ProcessWindows*)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == scan.processId)
        ++scan.count;
    return TRUE;
}

int TopWindowsOf(DWORD processId)
{
    ProcessWindows scan = { processId, 0 };
    EnumWindows(CountOfProcess, (LPARAM)&scan);
    return scan.count;
}

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], (DWORD)text.size());
    return text;
}

void SetFlag(UINT active)
{
    WriteDesktopValueText(ACTIVE_VALUE, active ? "1" : "0");
    SetSpiActive(active);
}

// One logsaver in dir's saverbox, named by SYSTEM.INI: start-up finds the
// configured saver in its catalogue and shows nothing. Returns its path.
std::string PrepareQuietStart(const ScratchDir& dir)
{
    std::string saver = InstallSaver("logsaver.scr", dir.saverbox(), SAVER_NAME);
    WriteScrnsave(saver);
    return saver;
}

// Lets a running copy's set-up finish (it answers a sent message only once
// it is pumping), then gives a late box time to show.
bool Settle(HWND window)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result))
        return false;
    PumpMessages(QUIET_MS);
    return true;
}

bool Ended(ChildProcess& child)
{
    return WaitForSingleObject(child.handle(), 0) == WAIT_OBJECT_0;
}

// A tray copy of NAPKIT: its boxes are recorded and answered from the start,
// and it is killed if the test ends while it still runs.
class TrayCopy {
public:
    ::testing::AssertionResult Start(const std::string& dir)
    {
        return Start(dir, "\"" + NapkitExe() + "\"");
    }

    // Runs commandLine, which ends up in NAPKIT's entry code, in dir.
    ::testing::AssertionResult Start(const std::string& dir, const std::string& commandLine)
    {
        if (!child_.Start(commandLine, dir))
            return ::testing::AssertionFailure() << "could not start " << commandLine;
        boxes_.reset(new BoxResponder(child_.id()));
        window_ = FindNapkitWindow(child_.id(), START_TIMEOUT_MS);
        if (!window_)
            return ::testing::AssertionFailure() << "no NAPKIT window";
        HWND window = window_;
        if (!PumpUntil([window] { return TrayIconExists(window); }, START_TIMEOUT_MS))
            return ::testing::AssertionFailure() << "no tray icon";
        if (!Settle(window_))
            return ::testing::AssertionFailure() << "the window does not answer";
        return ::testing::AssertionSuccess();
    }

    HWND window() const { return window_; }
    ChildProcess& process() { return child_; }
    BoxResponder& boxes() { return *boxes_; }
    bool Alive() { return !Ended(child_); }

    void Post(UINT message, WPARAM wParam, LPARAM lParam)
    {
        PostMessageA(window_, message, wParam, lParam);
    }

    // The tray menu's exit command; the exit code.
    DWORD Exit()
    {
        Post(WM_COMMAND, IDM_EXIT, 0);
        return child_.Wait(EXIT_TIMEOUT_MS);
    }

private:
    ChildProcess child_;
    std::unique_ptr<BoxResponder> boxes_;   // declared last: stops first
    HWND window_ = NULL;
};

// A file put somewhere outside the scratch folder, removed again however the
// test ends.
class InstalledFile {
public:
    explicit InstalledFile(const std::string& path) : path_(path) {}
    ~InstalledFile() { DeleteFileA(path_.c_str()); }
    const std::string& path() const { return path_; }
private:
    std::string path_;
};

// A file at a path longer than the ANSI functions take, written and removed
// through the wide functions and the "\\?\" prefix.
class LongPathFile {
public:
    LongPathFile(const std::string& path, const std::string& bytes)
    {
        std::string full = "\\\\?\\" + path;
        MultiByteToWideChar(CP_ACP, 0, full.c_str(), -1, path_, LONG_PATH_SIZE);
        HANDLE file = CreateFileW(path_, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return;
        DWORD done = 0;
        written_ = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &done, NULL)
                   && done == bytes.size();
        CloseHandle(file);
    }
    ~LongPathFile() { DeleteFileW(path_); }
    bool written() const { return written_; }
private:
    static constexpr int LONG_PATH_SIZE = 1024;
    WCHAR path_[LONG_PATH_SIZE] = {};
    bool written_ = false;
};

constexpr char ONE_SHOT_SETTINGS[] = "[Action]\r\nAppMode=1\r\n";

}  // namespace

// ---------------------------------------------------------------------------
// Tray mode.

struct ModeCase {
    const char* name;
    const char* appMode;   // nullptr: key absent
    bool withIni;
};

void PrintTo(const ModeCase& c, std::ostream* out) { *out << c.name; }

class ProgramTrayMode : public ::testing::TestWithParam<ModeCase> {};

// Any AppMode but 1, or no settings file at all: one hidden window of
// class and title "NAPKIT", a tray icon, no box; the exit command ends it.
TEST_P(ProgramTrayMode, RunsHiddenWithAnIcon)
{
    const ModeCase& c = GetParam();
    SystemGuard guard;
    ScratchDir dir;
    PrepareQuietStart(dir);
    if (c.withIni)
        WriteIni(dir.ini(), "Action", "UseSaverName", "1");   // the file exists
    if (c.appMode)
        WriteIni(dir.ini(), "Action", "AppMode", c.appMode);

    TrayCopy napkit;
    ASSERT_TRUE(napkit.Start(dir.path()));
    EXPECT_FALSE(IsWindowVisible(napkit.window()));
    EXPECT_EQ(0u, napkit.boxes().Count());
    EXPECT_EQ(0u, napkit.Exit());
}

INSTANTIATE_TEST_SUITE_P(Modes, ProgramTrayMode, ::testing::Values(
    ModeCase{ "AppMode2", "2", true },
    ModeCase{ "AppMode0", "0", true },
    ModeCase{ "AppModeAbsent", nullptr, true },
    ModeCase{ "NoSettingsFile", nullptr, false }),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

// The close writes the program's own view of the saver: an outside change of
// letter case only (which the poll ignores) is overwritten at exit. (Wine's
// shell also drops the icons of a destroyed window by itself, so the icon
// check here cannot tell whether the program removed its icon.)
TEST(ProgramExit, RemovesWindowAndIconAndWritesTheSaver)
{
    SystemGuard guard;
    ScratchDir dir;
    std::string saver = PrepareQuietStart(dir);
    TrayCopy napkit;
    ASSERT_TRUE(napkit.Start(dir.path()));
    WriteScrnsave(Lower(saver));
    PumpMessages(POLLS_MS);
    ASSERT_EQ(0u, napkit.boxes().Count());
    ASSERT_EQ(Lower(saver), ReadScrnsave());

    EXPECT_EQ(0u, napkit.Exit());
    EXPECT_FALSE(IsWindow(napkit.window()));
    EXPECT_FALSE(TrayIconExists(napkit.window()));
    EXPECT_EQ(saver, ReadScrnsave());
    EXPECT_EQ(0u, napkit.boxes().Count());
}

// The exit command arrives while the state box is open: the box's loop runs
// the close, the window goes and the program still ends with 0.
TEST(ProgramExit, WhileAMessageBoxIsOpen)
{
    SystemGuard guard;
    ScratchDir dir;
    std::string saver = PrepareQuietStart(dir);
    WriteIni(dir.ini(), "Message", "OpenMessageBox", "3");
    SetFlag(1);
    TrayCopy napkit;
    ASSERT_TRUE(napkit.Start(dir.path()));
    napkit.boxes().SetHandler([](const BoxRecord&) { return true; });   // left open
    WriteScrnsave(Lower(saver));

    napkit.Post(WM_COMMAND, IDM_STATE_OFF, 0);
    ASSERT_TRUE(napkit.boxes().WaitForCount(1, BOX_TIMEOUT_MS));
    BoxRecord box = napkit.boxes().Boxes()[0];
    EXPECT_EQ(TOGGLED_OFF, box.text);
    EXPECT_EQ(napkit.window(), box.owner);
    EXPECT_EQ("0", ReadDesktopValue(ACTIVE_VALUE));

    napkit.Post(WM_COMMAND, IDM_EXIT, 0);
    HWND window = napkit.window();
    EXPECT_TRUE(PumpUntil([window] { return !IsWindow(window); }, EXIT_TIMEOUT_MS));
    if (IsWindow(box.window))
        PressButton(box.window, IDOK);
    EXPECT_EQ(0u, napkit.process().Wait(EXIT_TIMEOUT_MS));
    EXPECT_EQ(1u, napkit.boxes().Count());
    EXPECT_FALSE(TrayIconExists(window));
    EXPECT_EQ(saver, ReadScrnsave());
}

// ---------------------------------------------------------------------------
// One copy at a time.

// A second tray copy ends at once with 0: no window, no box, and the first
// copy goes on.
TEST(ProgramSingleCopy, SecondTrayCopyExitsAtOnce)
{
    SystemGuard guard;
    ScratchDir dir;
    PrepareQuietStart(dir);
    TrayCopy first;
    ASSERT_TRUE(first.Start(dir.path()));

    ChildProcess second;
    ASSERT_TRUE(StartNapkit(second, dir.path()));
    BoxResponder boxes(second.id());
    // Sampled while it runs: it must never show a window of its own.
    int windowsSeen = 0;
    DWORD id = second.id();
    PumpUntil([&] {
        int now = TopWindowsOf(id);
        windowsSeen = now > windowsSeen ? now : windowsSeen;
        return Ended(second);
    }, EXIT_TIMEOUT_MS);
    EXPECT_EQ(0u, second.Wait(0));
    EXPECT_EQ(0, windowsSeen);
    PumpMessages(300);
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ(1, CountNapkitWindows());
    EXPECT_TRUE(first.Alive());
    EXPECT_TRUE(TrayIconExists(first.window()));
    EXPECT_EQ(0u, first.Exit());
}

// Both copies may pass the window test before either window exists; the
// named mutex taken first settles it. Repeated, as the race is timing-bound.
TEST(ProgramSingleCopy, TwoCopiesStartedTogetherLeaveOne)
{
    constexpr int ROUNDS = 4;
    SystemGuard guard;
    ScratchDir dir;
    PrepareQuietStart(dir);
    for (int round = 0; round < ROUNDS; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ChildProcess copies[2];
        ASSERT_TRUE(StartNapkit(copies[0], dir.path()));
        ASSERT_TRUE(StartNapkit(copies[1], dir.path()));
        BoxResponder boxes0(copies[0].id());
        BoxResponder boxes1(copies[1].id());
        ASSERT_TRUE(PumpUntil([&] { return Ended(copies[0]) || Ended(copies[1]); },
                              START_TIMEOUT_MS)) << "both copies keep running";
        int loser = Ended(copies[0]) ? 0 : 1;
        ChildProcess& survivor = copies[1 - loser];
        EXPECT_EQ(0u, copies[loser].Wait(0));
        HWND window = FindNapkitWindow(survivor.id(), START_TIMEOUT_MS);
        ASSERT_TRUE(window != NULL);
        ASSERT_TRUE(PumpUntil([window] { return TrayIconExists(window); }, START_TIMEOUT_MS));
        ASSERT_TRUE(Settle(window));
        EXPECT_FALSE(Ended(survivor));
        EXPECT_EQ(1, CountNapkitWindows());
        EXPECT_EQ(0u, boxes0.Count() + boxes1.Count());
        PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
        ASSERT_EQ(0u, survivor.Wait(EXIT_TIMEOUT_MS));
    }
}

// A one-shot run does not look for the tray copy: it toggles and exits, and
// the tray copy's poll takes the new state over. Its own menu cannot be read
// from here, so the tray copy is asked to toggle too (a double-click on its
// icon): only if its poll saw "off" does its box say "on".
TEST(ProgramSingleCopy, OneShotWhileATrayCopyRuns)
{
    SystemGuard guard;
    ScratchDir trayDir("tray");
    PrepareQuietStart(trayDir);
    WriteIni(trayDir.ini(), "Message", "OpenMessageBox", "1");
    ScratchDir shotDir("shot");
    WriteIni(shotDir.ini(), "Action", "AppMode", "1");
    SetFlag(1);
    TrayCopy napkit;
    ASSERT_TRUE(napkit.Start(trayDir.path()));

    ChildProcess shot;
    ASSERT_TRUE(StartNapkit(shot, shotDir.path()));
    BoxResponder shotBoxes(shot.id());
    ASSERT_TRUE(shotBoxes.WaitForCount(1, BOX_TIMEOUT_MS));
    ASSERT_EQ(0u, shot.Wait(EXIT_TIMEOUT_MS));
    EXPECT_EQ(TOGGLED_OFF, shotBoxes.Boxes()[0].text);
    EXPECT_EQ("0", ReadDesktopValue(ACTIVE_VALUE));
    EXPECT_TRUE(napkit.Alive());
    EXPECT_EQ(1, CountNapkitWindows());

    PumpMessages(POLLS_MS);
    EXPECT_EQ(0u, napkit.boxes().Count());
    napkit.Post(WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(napkit.boxes().WaitForCount(1, BOX_TIMEOUT_MS));
    EXPECT_EQ(TOGGLED_ON, napkit.boxes().Boxes()[0].text);
    EXPECT_EQ("1", ReadDesktopValue(ACTIVE_VALUE));
    EXPECT_EQ(0u, napkit.Exit());
}

// ---------------------------------------------------------------------------
// The session and the shell.

struct EndSessionCase {
    const char* name;
    WPARAM ending;
};

void PrintTo(const EndSessionCase& c, std::ostream* out) { *out << c.name; }

class ProgramEndSession : public ::testing::TestWithParam<EndSessionCase> {};

// WM_QUERYENDSESSION agrees and changes nothing. WM_ENDSESSION TRUE closes as
// the exit command does; FALSE (the end was cancelled) keeps the program
// running and writes nothing until its own exit.
TEST_P(ProgramEndSession, EndsOnlyWhenTheSessionEnds)
{
    SystemGuard guard;
    ScratchDir dir;
    std::string saver = PrepareQuietStart(dir);
    TrayCopy napkit;
    ASSERT_TRUE(napkit.Start(dir.path()));
    WriteScrnsave(Lower(saver));
    PumpMessages(POLLS_MS);

    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(napkit.window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                    SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result));
    EXPECT_EQ(1u, result);
    EXPECT_TRUE(napkit.Alive());
    EXPECT_EQ(Lower(saver), ReadScrnsave());

    SendMessageTimeoutA(napkit.window(), WM_ENDSESSION, GetParam().ending, ENDSESSION_LOGOFF,
                        SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result);
    if (GetParam().ending) {
        EXPECT_EQ(0u, napkit.process().Wait(EXIT_TIMEOUT_MS));
        EXPECT_FALSE(TrayIconExists(napkit.window()));
        EXPECT_EQ(saver, ReadScrnsave());
    } else {
        EXPECT_EQ(STILL_ACTIVE, napkit.process().Wait(QUIET_MS));
        EXPECT_TRUE(IsWindow(napkit.window()));
        EXPECT_TRUE(TrayIconExists(napkit.window()));
        EXPECT_EQ(Lower(saver), ReadScrnsave());
        EXPECT_EQ(0u, napkit.Exit());
        EXPECT_EQ(saver, ReadScrnsave());
    }
    EXPECT_EQ(0u, napkit.boxes().Count());
}

INSTANTIATE_TEST_SUITE_P(Endings, ProgramEndSession, ::testing::Values(
    EndSessionCase{ "SessionEnds", TRUE }, EndSessionCase{ "EndCancelled", FALSE }),
    [](const ::testing::TestParamInfo<EndSessionCase>& info) { return std::string(info.param.name); });

// A new taskbar knows no icons: on "TaskbarCreated" the icon comes back.
TEST(ProgramTaskbar, RecreatedTaskbarGetsTheIconBack)
{
    SystemGuard guard;
    ScratchDir dir;
    PrepareQuietStart(dir);
    TrayCopy napkit;
    ASSERT_TRUE(napkit.Start(dir.path()));
    RemoveTrayIcon(napkit.window());
    ASSERT_FALSE(TrayIconExists(napkit.window()));
    PumpMessages(POLLS_MS);   // the poll's updates do not add it again
    ASSERT_FALSE(TrayIconExists(napkit.window()));

    UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    DWORD_PTR result = 0;
    SendMessageTimeoutA(napkit.window(), taskbarCreated, 0, 0, SMTO_ABORTIFHUNG,
                        SEND_TIMEOUT_MS, &result);
    HWND window = napkit.window();
    EXPECT_TRUE(PumpUntil([window] { return TrayIconExists(window); }, QUIET_MS));
    EXPECT_EQ(0u, napkit.Exit());
    EXPECT_FALSE(TrayIconExists(window));
}

// ---------------------------------------------------------------------------
// Long current directories: neither the settings file nor the saverbox fits
// a path, so the defaults apply (tray mode, although the folder holds a
// settings file asking for one-shot mode) and the catalogue comes from the
// system directory.

class ProgramLongDirectory : public ::testing::TestWithParam<size_t> {};

// 258 characters is the longest current directory a process can be started
// in (a trailing backslash must still fit); 259 follows below.
TEST_P(ProgramLongDirectory, StartsInTrayModeAndEndsCleanly)
{
    SystemGuard guard;
    ScratchDir base("long");
    std::string deep = MakeDirOfLength(base.path(), GetParam());
    ASSERT_EQ(GetParam(), deep.size());
    LongPathFile settings(JoinPath(deep, "NAPKIT.INI"), ONE_SHOT_SETTINGS);
    ASSERT_TRUE(settings.written());
    InstalledFile saver(JoinPath(SystemDir(), "NAPKLONG.SCR"));
    ASSERT_TRUE(CopyFileA(SaverFile("logsaver.scr").c_str(), saver.path().c_str(), FALSE));
    WriteScrnsave(saver.path());

    TrayCopy napkit;
    ASSERT_TRUE(napkit.Start(deep));
    EXPECT_EQ(0u, napkit.boxes().Count());
    EXPECT_EQ(0u, napkit.Exit());
    EXPECT_EQ(saver.path(), ReadScrnsave());
}

INSTANTIATE_TEST_SUITE_P(Lengths, ProgramLongDirectory, ::testing::Values(250u, 255u, 258u),
    [](const ::testing::TestParamInfo<size_t>& info) { return std::to_string(info.param); });

// No process can be started in a folder of 259 characters (Wine's loader
// fails with c0000033), but a program can change into one. So this test
// program starts a copy of itself that changes into such a folder and then
// runs NAPKIT's entry code (the program's resources are linked in), and
// watches that copy from outside like any other run.
constexpr char LONG_DIR_VARIABLE[] = "NAPKIT_TEST_ENTRY_DIR";

TEST(ProgramLongestDirectory, StartsInTrayModeAndEndsCleanly)
{
    constexpr size_t LONGEST = 259;
    SystemGuard guard;
    ScratchDir base("long");
    std::string deep = MakeDirOfLength(base.path(), LONGEST);
    ASSERT_EQ(LONGEST, deep.size());
    LongPathFile settings(JoinPath(deep, "NAPKIT.INI"), ONE_SHOT_SETTINGS);
    ASSERT_TRUE(settings.written());
    InstalledFile saver(JoinPath(SystemDir(), "NAPKLONG.SCR"));
    ASSERT_TRUE(CopyFileA(SaverFile("logsaver.scr").c_str(), saver.path().c_str(), FALSE));
    WriteScrnsave(saver.path());

    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    SetEnvironmentVariableA(LONG_DIR_VARIABLE, deep.c_str());
    TrayCopy napkit;
    ::testing::AssertionResult started = napkit.Start(
        base.path(), "\"" + std::string(self) + "\" --gtest_filter=ProgramEntryInFolder.*");
    SetEnvironmentVariableA(LONG_DIR_VARIABLE, NULL);
    ASSERT_TRUE(started);
    EXPECT_EQ(0u, napkit.boxes().Count());
    EXPECT_EQ(0u, napkit.Exit());
    EXPECT_EQ(saver.path(), ReadScrnsave());
}

// The copy started above; does nothing in an ordinary run.
TEST(ProgramEntryInFolder, RunsNapkitFromTheFolderGiven)
{
    char dir[MAX_PATH + 1];
    DWORD length = GetEnvironmentVariableA(LONG_DIR_VARIABLE, dir, sizeof dir);
    if (length == 0 || length >= sizeof dir)
        GTEST_SKIP() << "runs only as the copy started by ProgramLongestDirectory";
    ASSERT_TRUE(SetCurrentDirectoryA(dir));
    ExitProcess((UINT)RunNapkit(GetModuleHandleA(NULL)));
}

// ---------------------------------------------------------------------------
// Commands from outside.

// The random start of the running program runs one saver of its catalogue,
// by the path the catalogue gives it (8.3 alias where there is one), quoted,
// with /s.
TEST(ProgramRandomStart, RunsASaverOfTheCatalogue)
{
    constexpr int STARTS = 3;
    SystemGuard guard;
    ScratchDir dir;
    std::vector<std::string> expected;
    for (const char* name : { "LOGA.SCR", "LOGB.SCR", "Log Saver C.scr" }) {
        std::string path = InstallSaver("logsaver.scr", dir.saverbox(), name);
        std::string alias = ShortNameOf(path);
        expected.push_back("\"" + JoinPath(dir.saverbox(), alias.empty() ? name : alias)
                           + "\" /s");
    }
    WriteScrnsave(JoinPath(dir.saverbox(), "LOGA.SCR"));
    WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", "0");
    std::string log = dir.file("log.txt");
    SetSaverLog(log);
    TrayCopy napkit;
    ASSERT_TRUE(napkit.Start(dir.path()));

    for (int i = 1; i <= STARTS; ++i) {
        napkit.Post(WM_COMMAND, IDM_START_RANDOM, 0);
        ASSERT_TRUE(PumpUntil([&] { return ReadLogLines(log).size() >= (size_t)i; },
                              START_TIMEOUT_MS)) << i;
    }
    PumpMessages(300);
    std::vector<std::string> lines = ReadLogLines(log);
    EXPECT_EQ((size_t)STARTS, lines.size());
    for (const std::string& line : lines)
        EXPECT_TRUE(std::find(expected.begin(), expected.end(), line) != expected.end()) << line;
    EXPECT_EQ(0u, napkit.boxes().Count());
    EXPECT_EQ(0u, napkit.Exit());
}

// Another program holds Ctrl+Alt+Z: NAPKIT starts as usual without a word,
// takes the other combinations, and frees all of them at exit.
TEST(ProgramHotKeys, ATakenCombinationDoesNotStopTheOthers)
{
    constexpr UINT MODIFIERS = MOD_CONTROL | MOD_ALT;   // CombinationKeys default 3
    constexpr int HELD_ID = 1;
    constexpr int PROBE_ID = 2;
    const UINT napkitKeys[] = { 'X', 'A', 'S', 'F' };
    auto isFree = [](UINT key) {
        if (!RegisterHotKey(NULL, PROBE_ID, MODIFIERS, key))
            return false;
        UnregisterHotKey(NULL, PROBE_ID);
        return true;
    };
    SystemGuard guard;
    ScratchDir dir;
    PrepareQuietStart(dir);
    WriteIni(dir.ini(), "HotKeys", "EnableHotKeys", "1");
    for (UINT key : napkitKeys)
        ASSERT_TRUE(isFree(key)) << (char)key;
    ASSERT_TRUE(RegisterHotKey(NULL, HELD_ID, MODIFIERS, 'Z'));

    TrayCopy napkit;
    ASSERT_TRUE(napkit.Start(dir.path()));
    EXPECT_EQ(0u, napkit.boxes().Count());
    for (UINT key : napkitKeys)
        EXPECT_TRUE(PumpUntil([&] { return !isFree(key); }, QUIET_MS)) << (char)key;
    EXPECT_EQ(0u, napkit.Exit());
    for (UINT key : napkitKeys)
        EXPECT_TRUE(isFree(key)) << (char)key;
    EXPECT_TRUE(UnregisterHotKey(NULL, HELD_ID));
}
