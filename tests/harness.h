// Test bench for NAPKIT under Wine: the program started on the test thread by its own start-up, every call it
// makes of the system recorded into one sequence, which each test must take whole (TakeCalls) before the next
// Start and by its end; NAPKIT.EXE as a child process. The poll runs only when a test lets ticks pass.
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

// GoogleTest prints a char pointer compared with a Text as an address: this prints the text.
namespace testing::internal {
template <>
class FormatForComparison<const char*, Text> {
public:
    static std::string Format(const char* text) { return PrintToString(Text(text)); }
};
}  // namespace testing::internal

constexpr char ABSENT[] = "<absent>";
constexpr char SWITCHED_OFF[] = "スクリーンセーバーを「無効」にしました。";
constexpr char SWITCHED_ON[] = "スクリーンセーバーを「有効」にしました。";
const std::string BOX_OFF = std::string("box main 0x1040 NAPKIT|") + SWITCHED_OFF;
const std::string BOX_ON = std::string("box main 0x1040 NAPKIT|") + SWITCHED_ON;
constexpr char UNKNOWN_TEXT[] = "現在設定されているスクリーンセーバーが未知の物です。\n"
                                "取得している情報を更新します。";
const std::string UNKNOWN_BOX = std::string("box none 0x1000 NAPKIT|") + UNKNOWN_TEXT;
constexpr char NO_SAVER_BOX[] = "box none 0x1000 NAPKIT|"
                                "スクリーンセーバーが１つもありません。\n"
                                "一度終了しますので、"
                                "スクリーンセーバーをインストールした後に\n"
                                "「NAPKIT」を再度実行して下さい。";
// The stores of the screen-saver flag switched off and on, as recorded.
const Lines TURNED_OFF = { "reg ScreenSaveActive REG_SZ 2 0", "spi 17 0 2" };
const Lines TURNED_ON = { "reg ScreenSaveActive REG_SZ 2 1", "spi 17 1 2" };
// What the tray shows with the one saver checked and the time-out of 5 minutes (Napkit::Shown).
constexpr char SHOWN_ON[] = "40101 40205 40301 41001 active NAPKIT - ScreenSaver[ ON ] -> [5分]";
constexpr char SHOWN_OFF[] = "40101 40205 40302 41001 inactive NAPKIT - ScreenSaver[ OFF ]";

std::string SaverFile(const char* builtName);   // a built test saver, e.g. "logsaver.scr"
std::string NapkitExe();
std::string WindowsDir();
std::string SystemDir();

// Files, SYSTEM.INI, the desktop key and the system parameters as stored, not recorded; a failed write fails.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);   // and the profile cache forgets it
Text ReadIni(const std::string& file, const char* section, const char* key);   // or ABSENT
void WriteIni(const std::string& file, const char* section, const char* key, const std::string& value);
Text Scrnsave();                                // [boot] SCRNSAVE.EXE of SYSTEM.INI, or ABSENT
void SetScrnsave(const std::string& value);     // ABSENT removes the key
// A desktop value: "sz:<text>" (text and its one NUL), "dword:<n>" or "binary:<n>" (4 bytes), or ABSENT.
std::string DesktopValue(const char* name);
void SetDesktopValue(const char* name, const std::string& stored);   // as DesktopValue shows it; ABSENT removes
inline Lines operator+(Lines lines, const Lines& more)
{
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}
inline Text Wrote(const std::string& saver) { return "ini SYSTEM.INI boot SCRNSAVE.EXE " + saver; }   // recorded
UINT SystemActive();
UINT SystemTimeout();
void SetSystemActive(UINT active);
void SetSystemTimeout(UINT seconds);
HANDLE LockFile(const std::string& path);   // opened without write sharing: unwritable until closed
void FillDisk(bool full);   // while full, every profile write to SYSTEM.INI fails as on a full disk

// The program's calls not yet taken, in order, one line each:
//   "box <owner> <flags> <caption>|<text>"   owner: main, none, dialog or other; flags as "%#x"
//   "dialog <title>"   "exec <show> <command line>"   "sleep <ms>"   "screen saver started by <owner>"
//   "wait for this process <ms>"
//   "ini <NAPKIT.INI or SYSTEM.INI> <section> <key> <value or <removed>>"   a failed write ends in " (failed)"
//   "reg <value name> <type> <size given> <text>"   "spi <action> <value> <flags>"  SPI_SET* only
Lines TakeCalls();
Lines TakeCalls(const char* prefix);   // only the lines that start with prefix; the rest stay
extern std::function<int(const std::string& text)> onBox;   // the user inside a box: the button; default IDOK
extern std::function<void(DWORD ms)> onSleep;   // in each of the program's waits
extern std::function<void()> onMenu;   // while the tray menu is open
int KeepBoxOpen(int ticks);   // the poll runs ticks times, as in a box's loop; IDOK

// The test savers' starts, "<command line> in <current folder>" each; fails without atLeast lines in 5 s.
Lines SaverLog(size_t atLeast = 1);
void FixClock(ULONGLONG unixSeconds);   // the program's clock, with local time as UTC
void PassTime(DWORD ms);   // the program's tick count jumps ahead; each case begins with the real one

// Each dialog the program opens gets the next action, run inside the dialog's loop once it shows; an action may
// leave its dialog open only after asking for ticks (Ticks), and the next action then runs on the same dialog.
// A dialog beyond the actions fails the test at once and is closed; an action left unused fails it at its end.
using DialogAction = std::function<void(HWND dialog)>;
void AnswerDialogs(std::vector<DialogAction> actions);
Text ControlText(HWND dialog, int id);
void TypeText(HWND dialog, int id, const std::string& text);
void Press(HWND dialog, int id);   // a click: BN_CLICKED, handled before it returns
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);

void Pump(DWORD ms);   // dispatches this thread's messages for ms; a WM_QUIT is noted, not lost
bool PumpUntil(const std::function<bool()>& condition, DWORD ms);   // fails the test in vain

// Each case: a fresh current folder whose saverbox holds the test logger as ONE.SCR, configured; hot keys on;
// the screen saver on with a time-out of 300 s. SYSTEM.INI, the desktop key and system parameters restored.
struct Napkit : ::testing::Test {
    void SetUp() override;
    void TearDown() override;
    // The program's own start-up in this process (RunNapkit): its window, or NULL; the tests then run its loop.
    HWND Start();
    void Close();   // WM_CLOSE: the window must go, writing back the saver SYSTEM.INI holds and nothing else
    void Close(const Lines& closeCalls);   // the same, with the calls the close is to make
    void ExpectEnded();   // the quit was posted; a window that ends otherwise fails the test
    void Command(UINT id);       // the item chosen in the menu that a right click on the icon tracks
    void SendCommand(UINT id);   // WM_COMMAND as another program may send it
    void HotKey(UINT id);        // the hot key the program registered with that id, pressed
    std::string HotKeys();       // the hot keys registered: "<id> <modifiers> <key>" each, by ", "
    void TrayEvent(UINT mouseMessage);   // the icon's callback message, with its id, as the shell sends it
    void Ticks(int n);                   // the poll timer fires n times
    // Read from the menu that a right click on the icon tracks:
    Text Checks();            // the ids of the items checked, ascending: "40101 40205"
    Text MenuText(UINT id);   // caption, or ABSENT
    Lines Submenu(UINT id);   // the pop-up holding item id: "caption id", "(grayed) caption id" or "-" an item
    const NOTIFYICONDATAA& AddedIcon();    // the record the shell received with NIM_ADD
    std::string TrayIcon();                // as the shell holds it: active, inactive, none
    Text Shown();   // menu checks, icon and the tool-tip the shell holds (or ABSENT): SHOWN_ON, say
    void DropTrayIcon();                   // the shell forgets it (as on a restart)
    // A built saver copied to dir (default saverbox): the path written to SYSTEM.INI for it (8.3 if any).
    std::string Install(const char* builtName, const std::string& name, std::string dir = "");
    std::string Ini() const { return folder + "\\NAPKIT.INI"; }
    void SetIni(const char* section, const char* key, const char* value);   // nullptr removes

    std::string folder, saverbox, saver;
    HWND window = NULL;
private:
    void EndQuietly();
    bool ended_ = false;
    std::string systemIni_, active_, timeout_;
    UINT spiActive_ = 0, spiTimeout_ = 0;
    std::vector<std::string> installedElsewhere_;
};

// NAPKIT.EXE as a child process, killed at the end. Its boxes are recorded ("caption|text") whenever the test
// waits, answered with OK while it waits for the end; boxes the test did not take (Boxes) fail it.
class Program {
public:
    explicit Program(const std::string& arguments = "");
    Program(const std::string& exe, std::string commandLine);   // as a launcher that does not quote may start it
    ~Program();
    void LeaveBoxesOpen();   // from now on its boxes are recorded, not answered
    DWORD Wait(DWORD ms);    // exit code; fails the test when it runs longer
    HWND Window();           // its main window, waited for; fails the test when none appears within 10 s
    Lines Boxes(DWORD ms = 0);   // takes the boxes seen, waiting up to ms for one when there is none yet
    void Inspect();          // records its new boxes; answers them while it is waited for
private:
    PROCESS_INFORMATION info_ = {};
    std::vector<HWND> seen_;
    Lines boxes_;
    bool answering_ = false;
    bool leaveOpen_ = false;
};
HWND FindNapkitWindow();   // the tray copy's window of any process, or NULL
// NAPKIT.EXE run with args in the case's folder: its exit code, having shown this many usage boxes and no other box
DWORD RunSwitch(const std::string& args, size_t usageBoxes = 0);
