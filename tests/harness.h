// Test bench for NAPKIT under Wine: the real main window in the test process,
// with its boxes, launches, waits, system-parameter sets and registry writes
// recorded, the icon record it hands to the shell and the menu it tracks kept;
// NAPKIT.EXE as a child process.
//
// Strict by default: every recorded call must be taken (TakeCalls) before the
// next Start and by the end of the case, so a call the test did not expect
// fails it. A test that expects nothing says so: EXPECT_EQ(TakeCalls(), Lines{}).
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>

// Text as the program holds it, in code page 932; failure messages print it as UTF-8.
struct Text : std::string {
    using std::string::string;
    Text(const std::string& bytes) : std::string(bytes) {}
};
void PrintTo(const Text& text, std::ostream* out);
using Lines = std::vector<Text>;

// What the tray shows, as one line to compare: the check marks of its menu as ascending ids ("40101 40205"),
// then, in Shown, the icon and the tool-tip. Failure messages add the captions of the items checked.
struct TrayView {
    std::string line;
    Text captions;
};
bool operator==(const TrayView& view, const std::string& line);
TrayView operator+(TrayView view, const std::string& more);   // more added to the line
void PrintTo(const TrayView& view, std::ostream* out);

// GoogleTest prints a char pointer compared with anything but std::string as an address, and Japanese in a
// std::string as escapes: these print the text.
namespace testing::internal {
template <>
class FormatForComparison<const char*, Text> {
public:
    static std::string Format(const char* text) { return PrintToString(Text(text)); }
};
template <>
class FormatForComparison<const char*, TrayView> {
public:
    static std::string Format(const char* text) { return PrintToString(Text(text)); }
};
template <>
class FormatForComparison<std::string, TrayView> {
public:
    static std::string Format(const std::string& text) { return PrintToString(Text(text)); }
};
}  // namespace testing::internal

constexpr char ABSENT[] = "<absent>";
constexpr DWORD POLL_MS = 500;   // the program's poll interval
constexpr char SWITCHED_OFF[] = "スクリーンセーバーを「無効」にしました。";
constexpr char SWITCHED_ON[] = "スクリーンセーバーを「有効」にしました。";
// What the tray shows with the one saver checked and the time-out of 5 minutes (Napkit::Shown).
constexpr char SHOWN_ON[] = "40101 40205 40301 41001 active NAPKIT - ScreenSaver[ ON ] -> [5分]";
constexpr char SHOWN_OFF[] = "40101 40205 40302 41001 inactive NAPKIT - ScreenSaver[ OFF ]";

std::string SaverFile(const char* builtName);   // a built test saver, e.g. "logsaver.scr"
std::string NapkitExe();
std::string WindowsDir();
std::string SystemDir();

// Files as stored ("" when absent); a write that fails fails the test.
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
HANDLE LockFile(const std::string& path);   // opened without write sharing: unwritable until closed

// The program's calls not yet taken, in order, one line each:
//   "box <owner> <flags> <caption>|<text>"   owner: main, none, dialog or other; flags as "%#x"
//   "exec <show> <command line>"   "sleep <ms>"   "reg <value name> <size given> <text>"
//   "spi <action> <value> <flags>"          SPI_SET* only (15 time-out, 17 flag)
// Only calls from the test's own thread are recorded.
Lines TakeCalls();
Lines TakeCalls(const char* prefix);   // only the lines that start with prefix; the rest stay
// The user's doings while a box is open (inside MessageBoxA, as in a box's own loop); returns the button.
extern std::function<int(const std::string& text)> onBox;   // default: IDOK at once
extern std::function<void(DWORD ms)> onSleep;   // before each of the program's waits
extern std::function<void()> onMenu;   // while the tray menu is open; it then closes with nothing chosen
int KeepBoxOpen(DWORD ms);   // pumps for ms, as a box's loop would; IDOK

// The test savers' record of their starts, in order; waits up to 5 s for atLeast lines, and fails without them.
Lines SaverLog(size_t atLeast = 1);
// While one lives, each line of that record ends in " in " and the saver's current folder.
struct SaverFolderLogged {
    SaverFolderLogged() { SetEnvironmentVariableA("NAPKIT_SAVER_LOG_FOLDER", "1"); }
    ~SaverFolderLogged() { SetEnvironmentVariableA("NAPKIT_SAVER_LOG_FOLDER", NULL); }
};
// The clock the program reads, fixed at this second after 1970, with local time as UTC on any host.
void FixClock(ULONGLONG unixSeconds);
// The program's tick count (GetTickCount) jumps ms ahead, as over a sleep of the machine; the wall clock stays.
void PassTime(DWORD ms);

// Answers NAPKIT's dialogs from a thread of its own: the n-th dialog gets actions[n]; one more fails the test.
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

// Each case: a fresh folder as current directory (with an empty saverbox), the screen saver on with a
// time-out of 300 s, no saver in the system or Windows directory; SYSTEM.INI, the desktop key and the
// system parameters are restored afterwards.
struct Napkit : ::testing::Test {
    void SetUp() override;
    void TearDown() override;
    HWND Start();         // the real main window (AppState reset)
    void Close();         // WM_CLOSE; the window must be gone after it
    void ExpectEnded();   // the quit was posted; a window that ends otherwise fails the test
    void Command(UINT id);                 // WM_COMMAND as the menu sends it
    void HotKey(UINT id);                  // WM_HOTKEY
    void TrayEvent(UINT mouseMessage);     // the icon's callback message, with its id, as the shell sends it
    void Ticks(int n);                     // n poll intervals pass
    // Read from the menu that a right click on the icon tracks:
    TrayView Checks();
    Text MenuText(UINT id);   // caption, or ABSENT
    // One line an item, indented two blanks a level: "caption id", "(grayed) caption id", "-", "caption >".
    Lines MenuLayout();
    const NOTIFYICONDATAA& AddedIcon();    // the record the shell received with NIM_ADD
    Text Tip();                            // the tool-tip the shell holds, or ABSENT
    std::string TrayIcon();                // as the shell holds it: active, inactive, none
    TrayView Shown();   // menu checks, icon and tool-tip: SHOWN_ON, say
    void DropTrayIcon();                   // the shell forgets it (as on a restart)
    // Copies a built saver to dir (default: saverbox); returns the path the program writes to SYSTEM.INI for
    // it (the 8.3 alias if any).
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

// NAPKIT.EXE as a child process, killed if still running at the end. Its boxes are recorded ("caption|text")
// and answered with their default button only while the test waits for it to end; boxes the test never
// looked at (Boxes) fail it.
struct Launch {   // started as a launcher that does not quote: CreateProcessA(exe, commandLine)
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
