#include "harness.h"
#include <algorithm>
#include "app/app.h"
#include "settings/settings.h"
#include "res/resource.h"

namespace {

constexpr char SCRATCH_ROOT[] = "C:\\napkit-tests";
constexpr char DESKTOP_KEY[] = "Control Panel\\desktop";
constexpr int TEXT_SIZE = 1024;

DWORD testThread;
CRITICAL_SECTION lock;
Lines calls;
bool quitSeen, clockFixed;
ULONGLONG fixedTicks;
NOTIFYICONDATAA shellIcon;   // what the shell holds; hWnd NULL: no icon
HWND mainWindow;

// The real functions, for the recorders and the harness itself.
int (WINAPI* realMessageBox)(HWND, LPCSTR, LPCSTR, UINT);   // never called
UINT (WINAPI* realWinExec)(LPCSTR, UINT);
void (WINAPI* realSleep)(DWORD);
BOOL (WINAPI* realSpi)(UINT, UINT, PVOID, UINT);
BOOL (WINAPI* realNotify)(DWORD, PNOTIFYICONDATAA);
void (WINAPI* realClock)(LPFILETIME);
LONG (WINAPI* realRegSet)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
DWORD (WINAPI* realTicks)();
BOOL (WINAPI* realToLocal)(const FILETIME*, LPFILETIME);
DWORD ticksAhead;

template <typename... Args>
std::string Format(const char* format, Args... args)
{
    char text[TEXT_SIZE];
    wsprintfA(text, format, args...);
    return text;
}

void Record(const std::string& line)   // calls is the test thread's alone
{
    if (GetCurrentThreadId() == testThread)
        calls.push_back(line);
}

std::string ClassOf(HWND window) { char name[64]; return std::string(name, GetClassNameA(window, name, sizeof name)); }

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    // During WM_CREATE the main window is not yet known by its handle.
    const char* ownerName = !owner ? "none" : owner == mainWindow || ClassOf(owner) == APP_NAME ? "main"
        : ClassOf(owner) == "#32770" ? "dialog" : "other";
    Record(Format("box %s %#x %s|", ownerName, flags, caption) + text);
    return onBox ? onBox(text) : IDOK;
}

UINT WINAPI RecordExec(LPCSTR command, UINT show) { return Record(Format("exec %u ", show) + command), realWinExec(command, show); }

void WINAPI RecordSleep(DWORD ms)
{
    Record(Format("sleep %lu", ms));
    if (onSleep && GetCurrentThreadId() == testThread)
        onSleep(ms);
    realSleep(ms < 5000 ? ms : 0);   // a long wait is recorded, not sat through
}

BOOL WINAPI RecordSpi(UINT action, UINT value, PVOID data, UINT flags)
{
    if (action == SPI_SETSCREENSAVETIMEOUT || action == SPI_SETSCREENSAVEACTIVE)
        Record(Format("spi %u %u %u", action, value, flags));
    return realSpi(action, value, data, flags);
}

// Wine's registry adds a NUL that the program left out: only the call shows it.
LONG WINAPI RecordRegSet(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    std::string text((const char*)data, size);
    Record(Format("reg %s %lu ", name, size) + text.substr(0, text.find('\0')));
    return realRegSet(key, name, reserved, type, data, size);
}

BOOL WINAPI RecordNotify(DWORD message, PNOTIFYICONDATAA data)
{
    BOOL done = realNotify(message, data);
    if (message == NIM_ADD || (message == NIM_MODIFY && shellIcon.hWnd))
        shellIcon = *data;
    shellIcon.hWnd = message == NIM_DELETE ? NULL : shellIcon.hWnd;
    return done;
}

void WINAPI FixedClock(LPFILETIME now)
{
    realClock(now);
    *now = clockFixed ? FILETIME{ (DWORD)fixedTicks, (DWORD)(fixedTicks >> 32) } : *now;
}

DWORD WINAPI ShiftedTicks() { return realTicks() + ticksAhead; }

BOOL WINAPI FixedZone(const FILETIME* utc, LPFILETIME local)
{
    if (!clockFixed)
        return realToLocal(utc, local);
    *local = *utc;
    return TRUE;
}

// Points the test program's import of name at hook; returns what it pointed at.
template <typename F>
void Hook(F*& real, const char* name, F* hook)
{
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    auto* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    auto* entry = (IMAGE_IMPORT_DESCRIPTOR*)(base
        + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; entry->Name; ++entry) {
        auto* names = (IMAGE_THUNK_DATA*)(base + entry->OriginalFirstThunk);
        auto* slots = (IMAGE_THUNK_DATA*)(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)
                || lstrcmpA((char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name, name))
                continue;
            DWORD protect;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protect);
            real = (F*)slots->u1.Function;
            slots->u1.Function = (DWORD_PTR)hook;
            VirtualProtect(&slots->u1.Function, sizeof(void*), protect, &protect);
            return;
        }
    }
    ADD_FAILURE() << "the test program does not import " << name;
}

// Under Wine the screen-saver flag belongs to the display driver once a
// process has loaded it (its first window); before that the process sees a
// copy of its own. One window first makes the tests share the flag with
// NAPKIT.EXE and the test savers. Then the recorders go in.
class Bench : public ::testing::Environment {
    void SetUp() override
    {
        testThread = GetCurrentThreadId();
        InitializeCriticalSection(&lock);
        DestroyWindow(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL));
        Hook(realMessageBox, "MessageBoxA", RecordBox);
        Hook(realWinExec, "WinExec", RecordExec);
        Hook(realSleep, "Sleep", RecordSleep);
        Hook(realSpi, "SystemParametersInfoA", RecordSpi);
        Hook(realNotify, "Shell_NotifyIconA", RecordNotify);
        Hook(realClock, "GetSystemTimeAsFileTime", FixedClock);
        Hook(realRegSet, "RegSetValueExA", RecordRegSet);
        Hook(realTicks, "GetTickCount", ShiftedTicks);
        Hook(realToLocal, "FileTimeToLocalFileTime", FixedZone);
    }
};
::testing::Environment* const bench = ::testing::AddGlobalTestEnvironment(new Bench);

}  // namespace

// Ends without the static destructors: the recorders stay in place until the
// end, and nothing of the program's can call into a destroyed one.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ExitProcess(RUN_ALL_TESTS());
}

namespace {

std::string Join(const std::string& dir, const std::string& name) { return dir.back() == '\\' ? dir + name : dir + "\\" + name; }

std::string BuildDir()   // tests\..
{
    char path[MAX_PATH];
    std::string dir(path, GetModuleFileNameA(NULL, path, MAX_PATH));
    return dir.substr(0, dir.rfind('\\', dir.rfind('\\') - 1));
}

// Paths here may be longer than MAX_PATH: only the wide "\\?\" form takes them.
void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        std::wstring name = found.cFileName, inner = path + L"\\" + name;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW(inner.c_str());
        else if (name != L"." && name != L"..")
            RemoveTree(inner);
    }
    FindClose(search);
    RemoveDirectoryW(path.c_str());
}

void RemoveTree(const std::string& path)
{
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    RemoveTree(L"\\\\?\\" + std::wstring(wide));
}

std::string SystemIni() { return Join(WindowsDir(), "SYSTEM.INI"); }

// Watches one process for dialog windows (boxes included) from a thread of
// its own: records each new one as "caption|text" and hands it to act.
struct Watch {
    DWORD process;
    std::function<void(HWND dialog, size_t n)> act;
    std::vector<HWND> seen;
    Lines boxes;
    volatile LONG stop = 0;
    HANDLE thread;

    static BOOL CALLBACK Find(HWND window, LPARAM param)
    {
        auto* watch = (Watch*)param;
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != watch->process || !IsWindowVisible(window) || ClassOf(window) != "#32770"
            || std::count(watch->seen.begin(), watch->seen.end(), window))
            return TRUE;
        watch->seen.push_back(window);
        char caption[256] = "", text[TEXT_SIZE] = "";
        GetWindowTextA(window, caption, sizeof caption);
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);   // a message box's message
        EnterCriticalSection(&lock);
        watch->boxes.push_back(std::string(caption) + "|" + text);
        LeaveCriticalSection(&lock);
        watch->act(window, watch->seen.size() - 1);
        return TRUE;
    }
    static DWORD WINAPI Run(void* param)
    {
        for (auto* watch = (Watch*)param; !watch->stop; realSleep(20))
            EnumWindows(Find, (LPARAM)watch);
        return 0;
    }
    Watch(DWORD process, std::function<void(HWND, size_t)> act)
        : process(process), act(act), thread(CreateThread(NULL, 0, Run, this, 0, NULL)) {}
    ~Watch() { InterlockedExchange(&stop, 1), WaitForSingleObject(thread, 5000), CloseHandle(thread); }
};

Watch* answerer;
std::string answerFailure;

}  // namespace

std::function<int(const std::string& text)> onBox;
std::function<void(DWORD ms)> onSleep;

std::string SaverFile(const char* builtName) { return Join(Join(BuildDir(), "savers"), builtName); }
std::string NapkitExe() { return Join(BuildDir(), "NAPKIT.EXE"); }

std::string WindowsDir() { char dir[MAX_PATH]; return std::string(dir, GetWindowsDirectoryA(dir, MAX_PATH)); }
std::string SystemDir() { char dir[MAX_PATH]; return std::string(dir, GetSystemDirectoryA(dir, MAX_PATH)); }

std::string ReadBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, 0, NULL);
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &got, NULL) && got)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL) || written != bytes.size())
        ADD_FAILURE() << "cannot write " << path;
    CloseHandle(file);
    // The profile functions cache files; make them read this one afresh.
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
}

std::string ReadIni(const std::string& file, const char* section, const char* key)
{
    char value[TEXT_SIZE];
    return std::string(value, GetPrivateProfileStringA(section, key, ABSENT, value, sizeof value, file.c_str()));
}

void WriteIni(const std::string& file, const char* section, const char* key, const std::string& value)
{
    bool remove = value == ABSENT;
    if (!WritePrivateProfileStringA(section, key, remove ? NULL : value.c_str(), file.c_str()) && !remove)
        ADD_FAILURE() << "cannot write " << key << " to " << file;
}

std::string Scrnsave() { return ReadIni(SystemIni(), "boot", "SCRNSAVE.EXE"); }
void SetScrnsave(const std::string& value) { WriteIni(SystemIni(), "boot", "SCRNSAVE.EXE", value); }

std::string DesktopValue(const char* name)
{
    HKEY key;
    char value[TEXT_SIZE];
    DWORD size = sizeof value;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ABSENT;
    LONG result = RegQueryValueExA(key, name, NULL, NULL, (BYTE*)value, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::string(value, size) : ABSENT;
}

void SetDesktopValue(const char* name, const std::string& text)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL))
        ADD_FAILURE() << "cannot open the desktop key";
    else if (text == ABSENT)
        RegDeleteValueA(key, name);
    else
        realRegSet(key, name, 0, REG_SZ, (const BYTE*)text.c_str(), (DWORD)text.size() + 1);
    RegCloseKey(key);
}

UINT SystemActive() { BOOL active = FALSE; return realSpi(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) && active; }
UINT SystemTimeout() { UINT seconds = 0; return realSpi(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0) ? seconds : 0; }

void SetSystemActive(UINT active)
{
    realSpi(SPI_SETSCREENSAVEACTIVE, active, NULL, 0);
    SystemActive();   // the set reaches the X server with the next round trip
}

void SetSystemTimeout(UINT seconds) { realSpi(SPI_SETSCREENSAVETIMEOUT, seconds, NULL, 0); }

HANDLE LockFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot lock " << path;
    return WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str()), file;
}

Lines TakeCalls()
{
    Lines taken;
    return taken.swap(calls), taken;
}

Lines TakeCalls(const char* prefix)
{
    Lines kept;
    for (const std::string& line : TakeCalls())
        if (line.compare(0, lstrlenA(prefix), prefix) == 0)
            kept.push_back(line);
    return kept;
}

int KeepBoxOpen(DWORD ms) { return Pump(ms), IDOK; }

Lines SaverLog(size_t atLeast)
{
    char path[MAX_PATH];
    GetEnvironmentVariableA("NAPKIT_SAVER_LOG", path, MAX_PATH);
    Lines lines;
    auto read = [&] {
        lines.clear();
        std::string bytes = ReadBytes(path);
        for (size_t start = 0, end; start < bytes.size(); start = end + 2) {
            end = std::min(bytes.find("\r\n", start), bytes.size());
            lines.push_back(bytes.substr(start, end - start));
        }
        return lines.size() >= atLeast;
    };
    if (!read() && atLeast)
        PumpUntil(read, 5000);
    return lines;
}

void FixClock(ULONGLONG unixSeconds) { fixedTicks = (unixSeconds + 11644473600ULL) * 10000000ULL, clockFixed = true; }

void PassTime(DWORD ms) { ticksAhead += ms; }

void AnswerDialogs(std::vector<DialogAction> actions)
{
    delete answerer;
    answerer = new Watch(GetCurrentProcessId(), [actions](HWND dialog, size_t n) {
        if (n < actions.size())
            return actions[n](dialog);
        EnterCriticalSection(&lock), answerFailure += "an unexpected dialog; ", LeaveCriticalSection(&lock);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
}

int DialogsSeen() { return answerer ? (int)answerer->seen.size() : 0; }

static DWORD_PTR SendToControl(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result);
    return result;
}

std::string ControlText(HWND dialog, int id)
{
    char text[TEXT_SIZE] = "";
    return std::string(text, SendToControl(dialog, id, WM_GETTEXT, sizeof text, (LPARAM)text));
}

void TypeText(HWND dialog, int id, const std::string& text) { SendToControl(dialog, id, WM_SETTEXT, 0, (LPARAM)text.c_str()); }
void Press(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id)); }
bool IsChecked(HWND dialog, int id) { return SendToControl(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void SetChecked(HWND dialog, int id, bool checked) { SendToControl(dialog, id, BM_SETCHECK, checked, 0); }

static bool PumpFor(const std::function<bool()>& condition, DWORD ms)
{
    for (DWORD start = GetTickCount();; MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT)) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            quitSeen = quitSeen || msg.message == WM_QUIT;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (condition())
            return true;
        if (GetTickCount() - start >= ms)
            return false;
    }
}

void Pump(DWORD ms) { PumpFor([] { return false; }, ms); }

bool PumpUntil(const std::function<bool()>& condition, DWORD ms)
{
    bool met = PumpFor(condition, ms);
    EXPECT_TRUE(met) << "waited " << ms << " ms in vain";
    return met;
}

void Napkit::SetUp()
{
    static int counter;
    char previous[MAX_PATH];
    previousDir_.assign(previous, GetCurrentDirectoryA(MAX_PATH, previous));
    CreateDirectoryA(SCRATCH_ROOT, NULL);
    folder = Join(SCRATCH_ROOT, Format("case-%lu-%d", GetCurrentProcessId() % 1000, ++counter));
    RemoveTree(folder), saverbox = Join(folder, "saverbox");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL) && CreateDirectoryA(saverbox.c_str(), NULL));
    SetCurrentDirectoryA(folder.c_str()), SetEnvironmentVariableA("NAPKIT_SAVER_LOG", Join(folder, "saver.log").c_str());
    for (const std::string& dir : { SystemDir(), WindowsDir() }) {
        WIN32_FIND_DATAA found;
        ASSERT_EQ(FindFirstFileA(Join(dir, "*.scr").c_str(), &found), INVALID_HANDLE_VALUE)
            << "a saver was left in " << dir;
    }
    systemIni_ = ReadBytes(SystemIni());
    active_ = DesktopValue("ScreenSaveActive"), timeout_ = DesktopValue("ScreenSaveTimeOut");
    spiActive_ = SystemActive(), spiTimeout_ = SystemTimeout();
    SetSystemActive(1), SetSystemTimeout(300);
    clockFixed = false, onBox = nullptr, onSleep = nullptr;
    ZeroMemory(&shellIcon, sizeof shellIcon), TakeCalls();
}

void Napkit::TearDown()
{
    if (window && !ended_ && (quitSeen || !IsWindow(window)))
        ADD_FAILURE() << "the main window ended unexpectedly";
    onBox = nullptr;
    if (IsWindow(window)) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        PumpFor([this] { return !IsWindow(window); }, 5000);
    }
    delete answerer, answerer = nullptr;
    EXPECT_EQ(answerFailure, ""), answerFailure.clear();
    for (const std::string& path : installedElsewhere_)
        DeleteFileA(path.c_str());
    WriteBytes(SystemIni(), systemIni_);
    SetDesktopValue("ScreenSaveActive", active_ == ABSENT ? ABSENT : active_.c_str());
    SetDesktopValue("ScreenSaveTimeOut", timeout_ == ABSENT ? ABSENT : timeout_.c_str());
    SetSystemActive(spiActive_), SetSystemTimeout(spiTimeout_);
    SetCurrentDirectoryA(previousDir_.c_str()), RemoveTree(folder);
}

HWND Napkit::Start()
{
    ZeroMemory(&appState, sizeof appState);
    HINSTANCE instance = appState.instance = GetModuleHandleA(NULL);
    InitPaths();
    static ATOM windowClass = RegisterMainWindowClass(instance);
    window = mainWindow = CreateWindowExA(0, APP_NAME, APP_NAME, WS_OVERLAPPED, CW_USEDEFAULT,
        CW_USEDEFAULT, MAIN_WINDOW_SIZE, MAIN_WINDOW_SIZE, NULL, NULL, instance, NULL);
    ended_ = quitSeen = false;
    EXPECT_TRUE(windowClass && window) << "no main window";
    return window;
}

void Napkit::Close()
{
    ASSERT_TRUE(IsWindow(window)) << "the window was gone before the close";
    ended_ = PostMessageA(window, WM_CLOSE, 0, 0);
    PumpUntil([this] { return !IsWindow(window); }, 5000);
}

void Napkit::ExpectEnded()
{
    ended_ = true, Pump(50);
    EXPECT_TRUE(quitSeen) << "no quit was posted";
}

void Napkit::Command(UINT id) { SendMessageA(window, WM_COMMAND, id, 0); }
void Napkit::HotKey(UINT id) { SendMessageA(window, WM_HOTKEY, id, 0); }
void Napkit::TrayEvent(UINT mouseMessage) { SendMessageA(window, WM_TRAYNOTIFY, 1020, mouseMessage); }
void Napkit::Ticks(int n) { Pump(n * POLL_MS + POLL_MS / 2); }

std::string Napkit::Checks()
{
    std::string text;
    for (UINT id = 40000, state; id < 43000; ++id)
        if ((state = GetMenuState(appState.menuRoot, id, MF_BYCOMMAND)) != (UINT)-1 && (state & MF_CHECKED))
            text += (text.empty() ? "" : " ") + std::to_string(id);
    return text;
}

std::string Napkit::MenuText(UINT id)
{
    char text[TEXT_SIZE] = "";
    if (GetMenuState(appState.menuRoot, id, MF_BYCOMMAND) == (UINT)-1)
        return ABSENT;
    return std::string(text, GetMenuStringA(appState.menuRoot, id, text, sizeof text, MF_BYCOMMAND));
}

std::string Napkit::Tip() { return shellIcon.hWnd ? shellIcon.szTip : ABSENT; }

std::string Napkit::TrayIcon()   // the shared images of the tray's size
{
    int size = GetSystemMetrics(SM_CXSMICON);
    auto image = [size](int id) { return LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_SHARED); };
    return !shellIcon.hWnd ? "none" : shellIcon.hIcon == image(IDI_ACTIVE) ? "active"
        : shellIcon.hIcon == image(IDI_INACTIVE) ? "inactive" : "other";
}

void Napkit::DropTrayIcon() { realNotify(NIM_DELETE, &shellIcon), shellIcon.hWnd = NULL; }

std::string Napkit::Install(const char* builtName, const std::string& name, std::string dir)
{
    dir = dir.empty() ? saverbox : dir;
    std::string target = Join(dir, name);
    EXPECT_TRUE(CopyFileA(SaverFile(builtName).c_str(), target.c_str(), FALSE)) << "cannot install " << target;
    if (dir != saverbox)
        installedElsewhere_.push_back(target);
    WIN32_FIND_DATAA found;
    FindClose(FindFirstFileA(target.c_str(), &found));
    return found.cAlternateFileName[0] ? Join(dir, found.cAlternateFileName) : target;
}

void Napkit::SetIni(const char* section, const char* key, const char* value) { WriteIni(Ini(), section, key, value ? value : ABSENT); }

Program::Program(const std::string& arguments, const std::string& dir)
{
    Begin(NULL, "\"" + NapkitExe() + "\"" + (arguments.empty() ? "" : " " + arguments), dir);
}

Program::Program(const Launch& launch) { Begin(launch.exe.c_str(), launch.commandLine, ""); }

void Program::Begin(const char* exe, std::string line, const std::string& dir)
{
    STARTUPINFOA startup = { sizeof startup };
    if (!CreateProcessA(exe, &line[0], NULL, NULL, FALSE, 0, NULL, dir.empty() ? NULL : dir.c_str(),
                        &startup, &info_))
        ADD_FAILURE() << "cannot start " << line;
    else
        watch_ = new Watch(info_.dwProcessId, [this](HWND box, size_t) {
            if (!leaveOpen_)
                PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
}

void Program::LeaveBoxesOpen() { InterlockedExchange(&leaveOpen_, 1); }

Program::~Program()
{
    if (info_.hProcess && WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0)
        TerminateProcess(info_.hProcess, 1), WaitForSingleObject(info_.hProcess, 5000);
    delete (Watch*)watch_;
    CloseHandle(info_.hProcess), CloseHandle(info_.hThread);
}

DWORD Program::Wait(DWORD ms)
{
    DWORD code = STILL_ACTIVE;
    if (PumpUntil([this] { return WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0; }, ms))
        GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

HWND Program::Window(DWORD ms)
{
    HWND found = NULL;
    DWORD process = 0;
    PumpFor([&] { return GetWindowThreadProcessId(found = FindNapkitWindow(), &process), process == info_.dwProcessId; }, ms);
    return found;
}

Lines Program::Boxes()
{
    EnterCriticalSection(&lock);
    Lines boxes = watch_ ? ((Watch*)watch_)->boxes : Lines();
    return LeaveCriticalSection(&lock), boxes;
}

HWND FindNapkitWindow() { return FindWindowA("NAPKIT", "NAPKIT"); }
