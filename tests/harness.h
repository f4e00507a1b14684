// Test bench for NAPKIT under Wine: the real main window in the test process,
// its calls to MessageBoxA, WinExec, Sleep, SystemParametersInfoA and
// RegSetValueExA recorded (boxes answered, the rest carried out), the icon
// record it hands to the shell and the menu it tracks kept; NAPKIT.EXE as a
// child process.
//
// Strict by default: every recorded call must be taken by the test
// (TakeCalls) before the next Start and by the end of the case, so a box,
// launch, wait or write that a test did not expect fails it. A test that
// expects nothing says so: EXPECT_EQ(TakeCalls(), Lines{}).
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <gtest/gtest.h>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Text as the program holds it, in code page 932; failure messages print it as UTF-8.
struct Text : std::string {
    using std::string::string;
    Text(const std::string& bytes) : std::string(bytes) {}
};
std::string Utf8(const std::string& cp932);
void PrintTo(const Text& text, std::ostream* out);

using Lines = std::vector<Text>;
constexpr char ABSENT[] = "<absent>";
constexpr DWORD POLL_MS = 500;   // the program's poll interval
// Texts the user sees that more than one test asserts.
constexpr char SWITCHED_OFF[] = "スクリーンセーバーを「無効」にしました。";
constexpr char SWITCHED_ON[] = "スクリーンセーバーを「有効」にしました。";
constexpr char SAVER_SETTINGS_ITEM[] = "設定";

std::string SaverFile(const char* builtName);   // a built test saver, e.g. "logsaver.scr"
std::string NapkitExe();
std::string WindowsDir();
std::string SystemDir();

// Files as stored: bytes, "" when absent. Writes fail the test when they fail.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);   // and the profile cache forgets it
Text ReadIni(const std::string& file, const char* section, const char* key);   // or ABSENT
void WriteIni(const std::string& file, const char* section, const char* key, const std::string& value);
Text Scrnsave();                                // [boot] SCRNSAVE.EXE of SYSTEM.INI, or ABSENT
void SetScrnsave(const std::string& value);     // ABSENT removes the key
// HKCU\Control Panel\desktop's value as stored, NUL included (Sz), or ABSENT.
std::string DesktopValue(const char* name);
void SetDesktopValue(const char* name, const std::string& text);   // stored with its NUL
inline std::string Sz(const char* text) { return std::string(text, lstrlenA(text) + 1); }
UINT SystemActive();    // the system parameters
UINT SystemTimeout();
void SetSystemActive(UINT active);
void SetSystemTimeout(UINT seconds);
// Opens path without write sharing: nobody can write it until the handle is closed.
HANDLE LockFile(const std::string& path);

// The program's calls not yet taken, in order, one line each:
//   "box <owner> <flags> <caption>|<text>"   owner: main, none, dialog (of this
//                                           process) or other; flags "%#x" (0x1040)
//   "exec <show> <command line>"   "sleep <ms>"
//   "spi <action> <value> <flags>"          SPI_SET* only (15 time-out, 17 flag)
//   "reg <value name> <bytes> <text>"       RegSetValueExA (bytes: the size given)
// Only calls from the test's own thread are recorded.
Lines TakeCalls();
Lines TakeCalls(const char* prefix);   // takes only the lines that start with prefix; the rest stay
// What the user does while a box is open, inside MessageBoxA on the program's
// thread (as in a box's own loop); returns the button. Default: IDOK at once.
extern std::function<int(const std::string& text)> onBox;
// Called before each of the program's waits, to change the world meanwhile.
extern std::function<void(DWORD ms)> onSleep;
// What the user does while the tray menu is open (inside TrackPopupMenu);
// the menu then closes with nothing chosen. Default: nothing.
extern std::function<void()> onMenu;
int KeepBoxOpen(DWORD ms);   // pumps for ms, as a box's loop would; IDOK

// The test savers' record of their starts: command lines, in order. Waits up
// to 5 s for at least atLeast lines (0: no wait); fails the test without them.
Lines SaverLog(size_t atLeast = 1);
// The clock the program reads, fixed at this second after 1970: known random picks.
// While fixed, the program's local time is UTC (FileTimeToLocalFileTime), on any host.
void FixClock(ULONGLONG unixSeconds);
// The program's elapsed time (GetTickCount) jumps ms ahead, as over a sleep of
// the machine; the wall clock stays. Only between pumps: a pump counts it too.
void PassTime(DWORD ms);

// Answers NAPKIT's dialogs from a thread of its own: the n-th dialog that
// appears gets actions[n]; a dialog with no action left fails the test.
using DialogAction = std::function<void(HWND dialog)>;
void AnswerDialogs(std::vector<DialogAction> actions);
int DialogsSeen();
Text ControlText(HWND dialog, int id);
void TypeText(HWND dialog, int id, const std::string& text);
void Press(HWND dialog, int id);   // posts BN_CLICKED
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);

void Pump(DWORD ms);   // dispatches this thread's messages; a WM_QUIT is noted, not lost
bool PumpUntil(const std::function<bool()>& condition, DWORD ms);   // fails the test in vain

// The check marks of the menu the tray showed: equal to their ids, ascending
// ("40101 40205 40301 41001"); printed with their captions.
struct MenuChecks {
    std::string ids;
    Text captions;
};
bool operator==(const MenuChecks& checks, const std::string& ids);
void PrintTo(const MenuChecks& checks, std::ostream* out);

// Each case: a fresh folder as current directory (with an empty saverbox),
// the screen saver on with a time-out of 300 s, no saver in the system or
// Windows directory, the call record empty; SYSTEM.INI, the desktop key
// and system parameters are restored afterwards.
struct Napkit : ::testing::Test {
    void SetUp() override;
    void TearDown() override;
    // The real main window (AppState reset). Calls not taken before it fail
    // the test; so does a window that ends without Close or ExpectEnded.
    HWND Start();
    void Close();                        // WM_CLOSE; the window must be gone after it
    void ExpectEnded();                  // the quit was posted
    void Command(UINT id);               // WM_COMMAND as the menu sends it
    void HotKey(UINT id);                // WM_HOTKEY
    // The callback message of the icon the shell holds, with its id, as the shell sends it.
    void TrayEvent(UINT mouseMessage);
    void Ticks(int n);                   // n poll intervals pass
    // Read from the menu that a right click on the icon tracks:
    MenuChecks Checks();
    Text MenuText(UINT id);              // caption, or ABSENT
    // One line an item, in order, indented two blanks a level: "caption id",
    // "(grayed) caption id", "-" for a separator, "caption >" for a pop-up.
    Lines MenuLayout();
    // The icon record as the shell received it with NIM_ADD (all zero: none).
    const NOTIFYICONDATAA& AddedIcon();
    Text Tip();                          // the tool-tip the shell holds, or ABSENT
    std::string TrayIcon();              // as the shell holds it: active, inactive, none
    void DropTrayIcon();                 // the shell forgets it (as on a restart)
    // Copies a built saver to dir (default: saverbox) as name; returns the
    // path the program writes to SYSTEM.INI for it (the 8.3 alias if any).
    std::string Install(const char* builtName, const std::string& name, std::string dir = "");
    std::string Ini() const { return folder + "\\NAPKIT.INI"; }
    void SetIni(const char* section, const char* key, const char* value);   // nullptr removes

    std::string folder, saverbox;
    HWND window = NULL;
private:
    bool ended_ = false;
    std::string systemIni_, active_, timeout_, previousDir_;
    UINT spiActive_ = 0, spiTimeout_ = 0;
    std::vector<std::string> installedElsewhere_;
};

// NAPKIT.EXE as a child process, killed if still running at the end. Its
// boxes are recorded ("caption|text") and answered with their default
// button while the test waits for it to end, and only then. Boxes the test
// never looked at (Boxes) fail it.
struct Launch {   // NAPKIT.EXE started as a launcher that does not quote: CreateProcessA(exe, commandLine)
    std::string exe;
    std::string commandLine;
};
class Program {
public:
    explicit Program(const std::string& arguments = "", const std::string& dir = "");
    explicit Program(const Launch& launch);
    ~Program();
    void LeaveBoxesOpen();   // from now on its boxes and dialogs are recorded, not answered
    DWORD Wait(DWORD ms);    // exit code; fails the test when it runs longer
    HWND Window(DWORD ms);   // its main window, or NULL when none appears in time
    Lines Boxes();
private:
    void Begin(const char* exe, std::string line, const std::string& dir);
    PROCESS_INFORMATION info_ = {};
    void* watch_ = nullptr;
    volatile LONG leaveOpen_ = 0;
    size_t boxesSeen_ = 0;
};
HWND FindNapkitWindow();   // the tray copy's window of any process, or NULL
