// Test bench for NAPKIT under Wine: scratch folders, the system stores saved
// and restored around each test, a responder that answers message boxes and
// dialogs from a thread of its own, the real main window driven in-process,
// and NAPKIT.EXE started as a child process.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

namespace harness {

constexpr char ABSENT[] = "<absent>";

// Where things are: the test program's folder, the built test savers,
// NAPKIT.EXE, the Windows and system directories.
std::string ExeDir();
std::string SaverDir();
std::string SaverFile(const char* builtName);   // e.g. "logsaver.scr"
std::string NapkitExe();
std::string WindowsDir();
std::string SystemDir();
std::string SystemIniPath();

// Files and INI files.
std::string JoinPath(const std::string& dir, const std::string& name);
bool FileExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);   // "" when absent
void WriteFileBytes(const std::string& path, const std::string& bytes);
void RemoveTree(const std::string& path);
void WriteIni(const std::string& file, const char* section, const char* key, const std::string& value);
std::string ReadIni(const std::string& file, const char* section, const char* key);   // ABSENT when absent
std::string ShortNameOf(const std::string& path);   // the alias FindFirstFileA reports, or ""
// Copies a built test saver to dir\asName; returns the full path.
std::string InstallSaver(const char* builtName, const std::string& dir, const std::string& asName);

// Makes nested folders under base until the full path is exactly length
// characters long; returns it ("" when it could not be made).
std::string MakeDirOfLength(const std::string& base, size_t length);
// The .scr files of a folder, in the order the file system returns them
// (the catalogue's order).
std::vector<std::string> SaverFilesIn(const std::string& dir);

// A fresh folder under C:\napkit-tests, made the current directory while it
// lives (the previous one is restored); removed with everything in it.
class ScratchDir {
public:
    explicit ScratchDir(const char* name = "t");
    ~ScratchDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return JoinPath(path_, name); }
    std::string ini() const { return file("NAPKIT.INI"); }
    std::string saverbox() const { return file("saverbox"); }
private:
    std::string path_;
    std::string previous_;
};

// The system stores as the test found them: SYSTEM.INI, the two values of
// HKCU\Control Panel\desktop, the screen-saver flag and time-out of the
// system parameters. Restored on destruction.
class SystemGuard {
public:
    SystemGuard();
    ~SystemGuard();
private:
    bool hadSystemIni_;
    std::string systemIni_;
    std::string active_;
    std::string timeout_;
    UINT spiActive_;
    UINT spiTimeout_;
};

// SCRNSAVE.EXE of SYSTEM.INI: ABSENT when the key is missing.
std::string ReadScrnsave();
void WriteScrnsave(const std::string& value);   // ABSENT removes the key
std::string ReadDesktopValue(const char* name);   // ABSENT when absent
void WriteDesktopValueText(const char* name, const std::string& value);   // ABSENT deletes
UINT SpiActive();
UINT SpiTimeout();
void SetSpiActive(UINT active);
void SetSpiTimeout(UINT seconds);

// One dialog window (a message box or one of NAPKIT's dialogs) as the
// responder saw it when it appeared.
struct BoxRecord {
    HWND window = NULL;
    HWND owner = NULL;
    DWORD processId = 0;
    std::string caption;
    std::string text;        // a message box's message text
    bool topmost = false;    // system-modal boxes are topmost
    bool hasIcon = false;
    int buttons = 0;
};

// Watches for dialog windows (class #32770) of one process and answers
// them from a thread of its own, so a test never hangs on a box. By default
// every box is answered with its default button (IDOK); a handler may act
// instead (type into fields, press other buttons) and returns true when it
// has dealt with the window.
class BoxResponder {
public:
    using Handler = std::function<bool(const BoxRecord&)>;
    explicit BoxResponder(DWORD processId = GetCurrentProcessId());
    ~BoxResponder();
    void SetHandler(Handler handler);
    void SetAnswerDelay(DWORD ms);   // wait before answering (for timing tests)
    std::vector<BoxRecord> Boxes();
    size_t Count();
    bool WaitForCount(size_t count, DWORD timeoutMs);   // pumps this thread's messages
private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    HANDLE thread_;
    DWORD processId_;
    volatile LONG stop_;
    CRITICAL_SECTION lock_;
    std::vector<BoxRecord> boxes_;
    std::vector<HWND> answered_;
    Handler handler_;
    DWORD delay_;
};

// Helpers for handlers and tests.
std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);
void PressButton(HWND dialog, int id);   // posts the button's BN_CLICKED
void SetControlText(HWND dialog, int id, const std::string& text);
void SetCheckBox(HWND dialog, int id, bool checked);
bool IsChecked(HWND dialog, int id);

// Dispatches this thread's messages for the given time.
void PumpMessages(DWORD ms);
// Pumps until condition() holds or the time is up; returns condition().
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// The real main window of NAPKIT in this process: AppState reset, the
// current directory's NAPKIT.INI, the program's own class and procedure.
HWND CreateMainWindow();
// WM_CLOSE the window if it still exists and pump until it is gone.
void CloseMainWindow(HWND window);
// Command, hot key and tray messages as the system delivers them.
void SendCommand(HWND window, UINT id);
bool MenuChecked(UINT id);   // on AppState.menuRoot
bool MenuItemExists(UINT id);
std::string MenuText(HMENU menu, UINT position);   // by position
std::string TipText();
// Whether the tray icon of window (id 1020) exists: the shell agrees to a
// modify request only while it does. RemoveTrayIcon deletes it as another
// program or a restarted shell would.
bool TrayIconExists(HWND window);
void RemoveTrayIcon(HWND window);

// A child process with a timeout: killed on destruction if still running.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();
    bool Start(const std::string& commandLine, const std::string& currentDir);
    // Exit code, or STILL_ACTIVE when it did not end in time.
    DWORD Wait(DWORD timeoutMs);
    void Kill();
    DWORD id() const { return info_.dwProcessId; }
    HANDLE handle() const { return info_.hProcess; }
private:
    PROCESS_INFORMATION info_ = {};
};

bool StartNapkit(ChildProcess& child, const std::string& currentDir);
// Top-level window of class and title "NAPKIT" owned by process id (0: any).
HWND FindNapkitWindow(DWORD processId, DWORD timeoutMs);
// Lines of the test savers' log file.
std::vector<std::string> ReadLogLines(const std::string& path);
// Sets NAPKIT_SAVER_LOG for this process and the programs it starts.
void SetSaverLog(const std::string& path);

}  // namespace harness
