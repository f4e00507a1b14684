// Test bench for NAPKIT under Wine. The real main window runs in the test
// process; the calls it makes to MessageBoxA, WinExec, Sleep and the setting
// actions of SystemParametersInfoA are recorded (and still carried out, except
// the boxes, which the "user" answers at once). NAPKIT.EXE itself runs as a
// child process for the whole-program cases.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

constexpr char ABSENT[] = "<absent>";
constexpr DWORD POLL_MS = 500;   // the program's poll interval

// Where the built things are.
std::string SaverFile(const char* builtName);   // e.g. "logsaver.scr"
std::string NapkitExe();
std::string WindowsDir();
std::string SystemDir();

// Files as stored: bytes, "" when absent. Writes fail the test when they fail.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadIni(const std::string& file, const char* section, const char* key);   // ABSENT
void WriteIni(const std::string& file, const char* section, const char* key, const std::string& value);
std::string Scrnsave();                         // [boot] SCRNSAVE.EXE of SYSTEM.INI, or ABSENT
void SetScrnsave(const std::string& value);     // ABSENT removes the key
// HKCU\Control Panel\desktop value as stored, terminating NUL included
// ("1" written properly reads "1\0"); ABSENT when absent.
std::string DesktopValue(const char* name);
void SetDesktopValue(const char* name, const std::string& text);   // stored with its NUL
UINT SystemActive();
UINT SystemTimeout();
void SetSystemActive(UINT active);
void SetSystemTimeout(UINT seconds);
// Opens path without write sharing: nobody can write it until the handle is closed.
HANDLE LockFile(const std::string& path);

// Every call of the program to the recorded functions since the last
// TakeCalls, in order, one line each:
//   "box <owner> <flags> <caption>|<text>"   owner: main, none, dialog (of this process), other;
//                                           flags as "%#x" (0x1040)
//   "exec <show> <command line>"
//   "sleep <ms>"
//   "spi <action> <value> <flags>"          SPI_SET* calls only (15 time-out, 17 flag)
// Only calls from the test's own thread are recorded.
Lines TakeCalls();
// Only the lines that start with prefix ("box", "exec", ...).
Lines TakeCalls(const char* prefix);
// What the user does while a box is open (called from inside MessageBoxA,
// on the program's thread, so messages dispatched here nest as in a real
// box's loop); returns the button pressed. Default: IDOK at once.
extern std::function<int(const std::string& text)> onBox;
// Called on the program's thread before each of its waits (Sleep), to change
// the world in the middle of what the program is doing.
extern std::function<void(DWORD ms)> onSleep;
// Pumps messages for ms, as a box's own loop would while the user reads it.
int KeepBoxOpen(DWORD ms);

// A test saver's record of how it was started: the command lines it was run
// with, one per start, in order. Waits up to 5 s for at least atLeast lines
// (0: no wait); fails the test when they do not come.
Lines SaverLog(size_t atLeast = 1);
// The clock the program reads (GetSystemTimeAsFileTime), fixed at this many
// seconds after 1970-01-01, so that random picks are known numbers.
void FixClock(ULONGLONG unixSeconds);
// Text stored with its terminating NUL, as DesktopValue returns it.
inline std::string Sz(const char* text) { return std::string(text, lstrlenA(text) + 1); }

// Answers NAPKIT's dialogs (class #32770 of this process) from a thread of
// its own: the n-th dialog that appears gets actions[n]. A dialog with no
// action left fails the test and is cancelled.
using DialogAction = std::function<void(HWND dialog)>;
void AnswerDialogs(std::vector<DialogAction> actions);
int DialogsSeen();
std::string ControlText(HWND dialog, int id);
void TypeText(HWND dialog, int id, const std::string& text);
void Press(HWND dialog, int id);   // posts BN_CLICKED
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);

// Pumps this thread's messages for ms; a WM_QUIT is recorded, not dropped.
void Pump(DWORD ms);
// Pumps until condition() holds; fails the test when it does not within ms.
bool PumpUntil(const std::function<bool()>& condition, DWORD ms);

// Each case: a fresh folder as current directory (with an empty saverbox),
// the screen saver on with a time-out of 300 s, no saver in the system or
// Windows directory, the call record cleared; SYSTEM.INI, the desktop key
// and system parameters are restored afterwards.
class Napkit : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;

    // Creates the real main window (AppState reset); fails the test when
    // none is made. A window that ends without Close or ExpectEnded fails it.
    HWND Start();
    void Close();               // WM_CLOSE; the window must be gone after it
    void ExpectEnded();         // the window is gone and the quit was posted
    void Command(UINT id);      // WM_COMMAND as the menu sends it
    void HotKey(UINT id);       // WM_HOTKEY
    void TrayEvent(UINT mouseMessage);   // the tray icon's callback message
    void Ticks(int n);          // n poll intervals pass
    // The ids carrying a check mark in the menu, ascending, blank-separated
    // ("40101 40205 40301 41002").
    std::string Checks();
    // Caption of the menu item with this id, or ABSENT.
    std::string MenuText(UINT id);
    std::string Tip();          // the tray tool-tip last handed to the shell
    // The tray icon as the shell holds it: "active", "inactive", "none"
    // (never added, or removed) or "other".
    std::string TrayIcon();
    void DropTrayIcon();        // the shell forgets the icon (as on a restart)

    // Copies a built test saver to dir (default: saverbox) as name; returns
    // the path the program writes to SYSTEM.INI for it (8.3 alias if any).
    std::string Install(const char* builtName, const std::string& name, std::string dir = "");
    std::string Ini() const { return folder + "\\NAPKIT.INI"; }
    void SetIni(const char* section, const char* key, const char* value);   // nullptr removes

    std::string folder;         // the current directory of the case
    std::string saverbox;
    HWND window = NULL;
private:
    bool ended_ = false;
    std::string systemIni_, active_, timeout_;
    UINT spiActive_ = 0, spiTimeout_ = 0;
    std::string previousDir_;
    Lines installedElsewhere_;
};

// NAPKIT.EXE as a child process, with a timeout; killed if still running at
// the end. Boxes of the child are recorded ("caption|text") and answered with
// their default button.
class Program {
public:
    explicit Program(const std::string& arguments = "", const std::string& dir = "");
    ~Program();
    DWORD Wait(DWORD ms);       // exit code; fails the test (and kills) when it runs longer
    HWND Window(DWORD ms);      // its main window, or NULL when none appears in time
    Lines Boxes();
    HANDLE handle() const { return info_.hProcess; }
private:
    PROCESS_INFORMATION info_ = {};
    HANDLE watcher_ = NULL;
    void* watch_ = nullptr;
};
// The tray copy's window of any process, or NULL.
HWND FindNapkitWindow();
