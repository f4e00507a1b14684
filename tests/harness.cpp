#include "harness.h"
#include <algorithm>
#include "app/app.h"
#include "settings/settings.h"
#include "res/resource.h"

namespace {

constexpr char SCRATCH_ROOT[] = "C:\\napkit-tests";
constexpr char DESKTOP_KEY[] = "Control Panel\\desktop";
constexpr char DIALOG_CLASS[] = "#32770";
constexpr DWORD SLICE_MS = 10;
constexpr int TEXT_SIZE = 1024;

DWORD testThread;
Lines calls;
CRITICAL_SECTION lock;
bool quitSeen;
bool clockFixed;
ULONGLONG fixedTicks;
NOTIFYICONDATAA shellIcon;   // what the shell holds; hWnd NULL: no icon
HWND mainWindow;

// The real functions, for the recorders and for the harness itself.
int (WINAPI* realMessageBox)(HWND, LPCSTR, LPCSTR, UINT);
UINT (WINAPI* realWinExec)(LPCSTR, UINT);
void (WINAPI* realSleep)(DWORD);
BOOL (WINAPI* realSpi)(UINT, UINT, PVOID, UINT);
BOOL (WINAPI* realNotify)(DWORD, PNOTIFYICONDATAA);
void (WINAPI* realClock)(LPFILETIME);

void Record(const std::string& line)
{
    if (GetCurrentThreadId() != testThread)
        return;
    EnterCriticalSection(&lock);
    calls.push_back(line);
    LeaveCriticalSection(&lock);
}

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string OwnerName(HWND owner)
{
    if (!owner)
        return "none";
    // During WM_CREATE the window is not yet known by its handle.
    if (owner == mainWindow || ClassOf(owner) == APP_NAME)
        return "main";
    DWORD process = 0;
    GetWindowThreadProcessId(owner, &process);
    if (process == GetCurrentProcessId() && ClassOf(owner) == DIALOG_CLASS)
        return "dialog";
    return "other";
}

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    char line[TEXT_SIZE + 64];
    wsprintfA(line, "box %s %#x %s|", OwnerName(owner).c_str(), flags, caption ? caption : "");
    Record(std::string(line) + (text ? text : ""));
    return onBox ? onBox(text ? text : "") : IDOK;
}

UINT WINAPI RecordExec(LPCSTR command, UINT show)
{
    char line[32];
    wsprintfA(line, "exec %u ", show);
    Record(line + std::string(command));
    return realWinExec(command, show);
}

void WINAPI RecordSleep(DWORD ms)
{
    char line[32];
    wsprintfA(line, "sleep %lu", ms);
    Record(line);
    if (onSleep && GetCurrentThreadId() == testThread)
        onSleep(ms);
    realSleep(ms);
}

BOOL WINAPI RecordSpi(UINT action, UINT value, PVOID data, UINT flags)
{
    if (action == SPI_SETSCREENSAVETIMEOUT || action == SPI_SETSCREENSAVEACTIVE) {
        char line[64];
        wsprintfA(line, "spi %u %u %u", action, value, flags);
        Record(line);
    }
    return realSpi(action, value, data, flags);
}

BOOL WINAPI RecordNotify(DWORD message, PNOTIFYICONDATAA data)
{
    BOOL done = realNotify(message, data);
    if (message == NIM_DELETE)
        shellIcon.hWnd = NULL;
    else if (message == NIM_ADD || shellIcon.hWnd)
        shellIcon = *data;
    return done;
}

void WINAPI FixedClock(LPFILETIME now)
{
    if (!clockFixed) {
        realClock(now);
        return;
    }
    now->dwLowDateTime = (DWORD)fixedTicks;
    now->dwHighDateTime = (DWORD)(fixedTicks >> 32);
}

// Points the test program's import of name (from any DLL) at hook; returns
// the function it pointed at before.
void* Hook(const char* name, void* hook)
{
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    auto* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    auto* entry = (IMAGE_IMPORT_DESCRIPTOR*)(base
        + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; entry->Name; ++entry) {
        auto* names = (IMAGE_THUNK_DATA*)(base + entry->OriginalFirstThunk);
        auto* slots = (IMAGE_THUNK_DATA*)(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = (IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData);
            if (lstrcmpA((const char*)byName->Name, name) != 0)
                continue;
            DWORD protect;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protect);
            void* previous = (void*)slots->u1.Function;
            slots->u1.Function = (DWORD_PTR)hook;
            VirtualProtect(&slots->u1.Function, sizeof(void*), protect, &protect);
            return previous;
        }
    }
    return NULL;
}

template <typename F>
void Install(F*& real, const char* name, F* hook)
{
    real = (F*)Hook(name, (void*)hook);
    if (!real)
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
        DestroyWindow(CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, 0, 0, 1, 1,
                                      NULL, NULL, NULL, NULL));
        Install(realMessageBox, "MessageBoxA", RecordBox);
        Install(realWinExec, "WinExec", RecordExec);
        Install(realSleep, "Sleep", RecordSleep);
        Install(realSpi, "SystemParametersInfoA", RecordSpi);
        Install(realNotify, "Shell_NotifyIconA", RecordNotify);
        Install(realClock, "GetSystemTimeAsFileTime", FixedClock);
    }
};
::testing::Environment* const bench = ::testing::AddGlobalTestEnvironment(new Bench);

std::string ParentOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string BuildDir()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    return ParentOf(ParentOf(path));
}

std::string Join(const std::string& dir, const std::string& name)
{
    return dir.back() == '\\' ? dir + name : dir + "\\" + name;
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Join(path, "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(Join(path, name));
            else
                DeleteFileA(Join(path, name).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

std::string SystemIni() { return Join(WindowsDir(), "SYSTEM.INI"); }

// Longest static text of a dialog: a message box's message.
BOOL CALLBACK LongestText(HWND child, LPARAM param)
{
    auto* text = (std::string*)param;
    char buffer[TEXT_SIZE] = "";
    DWORD_PTR result;
    if (ClassOf(child) == "Static"
        && SendMessageTimeoutA(child, WM_GETTEXT, sizeof buffer, (LPARAM)buffer, SMTO_ABORTIFHUNG,
                               2000, &result) && lstrlenA(buffer) > (int)text->size())
        *text = buffer;
    return TRUE;
}

struct DialogScan {
    DWORD process;
    std::vector<HWND>* seen;
    std::vector<HWND> fresh;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param)
{
    auto* scan = (DialogScan*)param;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == scan->process && IsWindowVisible(window) && ClassOf(window) == DIALOG_CLASS
        && std::find(scan->seen->begin(), scan->seen->end(), window) == scan->seen->end()) {
        scan->seen->push_back(window);
        scan->fresh.push_back(window);
    }
    return TRUE;
}

// Dialogs of process that appeared since the last call with the same seen list.
std::vector<HWND> NewDialogs(DWORD process, std::vector<HWND>& seen)
{
    DialogScan scan = { process, &seen, {} };
    EnumWindows(FindDialog, (LPARAM)&scan);
    return scan.fresh;
}

// The dialog answerer's state, shared with its thread.
struct Answerer {
    std::vector<DialogAction> actions;
    std::vector<HWND> seen;
    std::string failure;
    HANDLE thread = NULL;
    volatile LONG stop = 0;
} answerer;

DWORD WINAPI AnswerLoop(void*)
{
    while (!answerer.stop) {
        for (HWND dialog : NewDialogs(GetCurrentProcessId(), answerer.seen)) {
            size_t n = answerer.seen.size() - 1;
            if (n < answerer.actions.size()) {
                answerer.actions[n](dialog);
                continue;
            }
            EnterCriticalSection(&lock);
            answerer.failure += "unexpected dialog \"" + std::string([&] {
                char title[256] = "";
                GetWindowTextA(dialog, title, sizeof title);
                return std::string(title);
            }()) + "\"; ";
            LeaveCriticalSection(&lock);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        realSleep(20);
    }
    return 0;
}

void StopAnswerer()
{
    if (!answerer.thread)
        return;
    InterlockedExchange(&answerer.stop, 1);
    WaitForSingleObject(answerer.thread, 5000);
    CloseHandle(answerer.thread);
    answerer.thread = NULL;
}

struct BoxWatch {
    DWORD process;
    Lines boxes;
    std::vector<HWND> seen;
    volatile LONG stop = 0;
};

DWORD WINAPI WatchBoxes(void* param)
{
    auto* watch = (BoxWatch*)param;
    while (!watch->stop) {
        for (HWND box : NewDialogs(watch->process, watch->seen)) {
            char caption[256] = "";
            GetWindowTextA(box, caption, sizeof caption);
            std::string text;
            EnumChildWindows(box, LongestText, (LPARAM)&text);
            EnterCriticalSection(&lock);
            watch->boxes.push_back(std::string(caption) + "|" + text);
            LeaveCriticalSection(&lock);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        realSleep(20);
    }
    return 0;
}

}  // namespace

std::function<int(const std::string& text)> onBox;
std::function<void(DWORD ms)> onSleep;

std::string SaverFile(const char* builtName) { return Join(Join(BuildDir(), "savers"), builtName); }
std::string NapkitExe() { return Join(BuildDir(), "NAPKIT.EXE"); }

std::string WindowsDir()
{
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, MAX_PATH);
    return dir;
}

std::string SystemDir()
{
    char dir[MAX_PATH];
    GetSystemDirectoryA(dir, MAX_PATH);
    return dir;
}

std::string ReadBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, 0, NULL);
    std::string bytes;
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE
        || !WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL)
        || written != bytes.size())
        ADD_FAILURE() << "cannot write " << path;
    CloseHandle(file);
    // The profile functions cache files; make them read this one afresh.
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
}

std::string ReadIni(const std::string& file, const char* section, const char* key)
{
    char value[TEXT_SIZE];
    GetPrivateProfileStringA(section, key, ABSENT, value, sizeof value, file.c_str());
    return value;
}

void WriteIni(const std::string& file, const char* section, const char* key, const std::string& value)
{
    if (!WritePrivateProfileStringA(section, key, value == ABSENT ? NULL : value.c_str(),
                                    file.c_str()))
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
    if (RegCreateKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open the desktop key";
        return;
    }
    if (text == ABSENT)
        RegDeleteValueA(key, name);
    else
        RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text.c_str(), (DWORD)text.size() + 1);
    RegCloseKey(key);
}

UINT SystemActive()
{
    BOOL active = FALSE;
    realSpi(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active ? 1 : 0;
}

UINT SystemTimeout()
{
    UINT seconds = 0;
    realSpi(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0);
    return seconds;
}

void SetSystemActive(UINT active)
{
    realSpi(SPI_SETSCREENSAVEACTIVE, active, NULL, 0);
    SystemActive();   // the set reaches the X server with the next round trip
}

void SetSystemTimeout(UINT seconds) { realSpi(SPI_SETSCREENSAVETIMEOUT, seconds, NULL, 0); }

HANDLE LockFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        ADD_FAILURE() << "cannot lock " << path;
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
    return file;
}

Lines TakeCalls()
{
    EnterCriticalSection(&lock);
    Lines taken;
    taken.swap(calls);
    LeaveCriticalSection(&lock);
    return taken;
}

Lines TakeCalls(const char* prefix)
{
    Lines kept;
    for (const std::string& line : TakeCalls()) {
        if (line.compare(0, lstrlenA(prefix), prefix) == 0)
            kept.push_back(line);
    }
    return kept;
}

int KeepBoxOpen(DWORD ms)
{
    Pump(ms);
    return IDOK;
}

Lines SaverLog(size_t atLeast)
{
    char path[MAX_PATH];
    GetEnvironmentVariableA("NAPKIT_SAVER_LOG", path, MAX_PATH);
    Lines lines;
    auto read = [&] {
        lines.clear();
        std::string bytes = ReadBytes(path);
        for (size_t start = 0, end; start < bytes.size(); start = end + 2) {
            end = bytes.find("\r\n", start);
            if (end == std::string::npos)
                end = bytes.size();
            lines.push_back(bytes.substr(start, end - start));
        }
        return lines.size() >= atLeast;
    };
    if (atLeast > 0)
        PumpUntil(read, 5000);
    else
        read();
    return lines;
}

void FixClock(ULONGLONG unixSeconds)
{
    fixedTicks = (unixSeconds + 11644473600ULL) * 10000000ULL;
    clockFixed = true;
}

void AnswerDialogs(std::vector<DialogAction> actions)
{
    StopAnswerer();
    answerer.actions = std::move(actions);
    answerer.seen.clear();
    answerer.stop = 0;
    answerer.thread = CreateThread(NULL, 0, AnswerLoop, NULL, 0, NULL);
}

int DialogsSeen() { return (int)answerer.seen.size(); }

std::string ControlText(HWND dialog, int id)
{
    char text[TEXT_SIZE] = "";
    DWORD_PTR result;
    SendMessageTimeoutA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text, (LPARAM)text,
                        SMTO_ABORTIFHUNG, 2000, &result);
    return text;
}

void TypeText(HWND dialog, int id, const std::string& text)
{
    DWORD_PTR result;
    SendMessageTimeoutA(GetDlgItem(dialog, id), WM_SETTEXT, 0, (LPARAM)text.c_str(),
                        SMTO_ABORTIFHUNG, 2000, &result);
}

void Press(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

bool IsChecked(HWND dialog, int id)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &result);
    return result == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked)
{
    DWORD_PTR result;
    SendMessageTimeoutA(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED,
                        0, SMTO_ABORTIFHUNG, 2000, &result);
}

static bool PumpFor(const std::function<bool()>& condition, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                quitSeen = true;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (condition())
            return true;
        if (GetTickCount() - start >= ms)
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, SLICE_MS, QS_ALLINPUT);
    }
}

void Pump(DWORD ms) { PumpFor([] { return false; }, ms); }

bool PumpUntil(const std::function<bool()>& condition, DWORD ms)
{
    if (PumpFor(condition, ms))
        return true;
    ADD_FAILURE() << "waited " << ms << " ms in vain";
    return false;
}

void Napkit::SetUp()
{
    static int counter;
    char previous[MAX_PATH], name[64];
    GetCurrentDirectoryA(MAX_PATH, previous);
    previousDir_ = previous;
    CreateDirectoryA(SCRATCH_ROOT, NULL);
    wsprintfA(name, "case-%d", ++counter);
    folder = Join(SCRATCH_ROOT, name);
    saverbox = Join(folder, "saverbox");
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL) && CreateDirectoryA(saverbox.c_str(), NULL));
    SetCurrentDirectoryA(folder.c_str());
    SetEnvironmentVariableA("NAPKIT_SAVER_LOG", Join(folder, "saver.log").c_str());
    for (const std::string& dir : { SystemDir(), WindowsDir() }) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(Join(dir, "*.scr").c_str(), &found);
        ASSERT_EQ(search, INVALID_HANDLE_VALUE) << "a saver was left in " << dir;
    }
    systemIni_ = ReadBytes(SystemIni());
    active_ = DesktopValue("ScreenSaveActive");
    timeout_ = DesktopValue("ScreenSaveTimeOut");
    spiActive_ = SystemActive();
    spiTimeout_ = SystemTimeout();
    quitSeen = false;
    clockFixed = false;
    onBox = nullptr;
    onSleep = nullptr;
    ZeroMemory(&shellIcon, sizeof shellIcon);
    TakeCalls();
}

void Napkit::TearDown()
{
    if (window && !ended_ && (quitSeen || !IsWindow(window)))
        ADD_FAILURE() << "the main window ended unexpectedly";
    if (IsWindow(window)) {
        onBox = nullptr;
        PostMessageA(window, WM_CLOSE, 0, 0);
        PumpFor([this] { return !IsWindow(window); }, 5000);
    }
    StopAnswerer();
    if (!answerer.failure.empty())
        ADD_FAILURE() << answerer.failure;
    answerer.failure.clear();
    if (!shellIcon.hWnd || !IsWindow(shellIcon.hWnd))
        ZeroMemory(&shellIcon, sizeof shellIcon);
    for (const std::string& path : installedElsewhere_)
        DeleteFileA(path.c_str());
    WriteBytes(SystemIni(), systemIni_);
    SetDesktopValue("ScreenSaveActive", active_ == ABSENT ? ABSENT : active_.c_str());
    SetDesktopValue("ScreenSaveTimeOut", timeout_ == ABSENT ? ABSENT : timeout_.c_str());
    SetSystemActive(spiActive_);
    SetSystemTimeout(spiTimeout_);
    SetCurrentDirectoryA(previousDir_.c_str());
    RemoveTree(folder);
}

HWND Napkit::Start()
{
    ZeroMemory(&appState, sizeof appState);
    HINSTANCE instance = GetModuleHandleA(NULL);
    appState.instance = instance;
    InitPaths();
    static ATOM windowClass = RegisterMainWindowClass(instance);
    window = CreateWindowExA(0, APP_NAME, APP_NAME, WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT,
                             MAIN_WINDOW_SIZE, MAIN_WINDOW_SIZE, NULL, NULL, instance, NULL);
    mainWindow = window;
    ended_ = false;
    EXPECT_TRUE(windowClass && window) << "no main window";
    return window;
}

void Napkit::Close()
{
    ASSERT_TRUE(IsWindow(window)) << "the window was gone before the close";
    ended_ = true;
    PostMessageA(window, WM_CLOSE, 0, 0);
    PumpUntil([this] { return !IsWindow(window); }, 5000);
}

void Napkit::ExpectEnded()
{
    ended_ = true;
    Pump(50);
    EXPECT_FALSE(IsWindow(window) && !quitSeen) << "the program did not end";
    EXPECT_TRUE(quitSeen) << "no quit was posted";
}

void Napkit::Command(UINT id) { SendMessageA(window, WM_COMMAND, id, 0); }
void Napkit::HotKey(UINT id) { SendMessageA(window, WM_HOTKEY, id, 0); }
void Napkit::TrayEvent(UINT mouseMessage) { SendMessageA(window, WM_TRAYNOTIFY, 1020, mouseMessage); }
void Napkit::Ticks(int n) { Pump(n * POLL_MS + POLL_MS / 2); }

static void CollectChecks(HMENU menu, std::vector<UINT>& ids)
{
    for (int i = 0, count = GetMenuItemCount(menu); i < count; ++i) {
        if (HMENU sub = GetSubMenu(menu, i)) {
            CollectChecks(sub, ids);
        } else if (GetMenuState(menu, i, MF_BYPOSITION) & MF_CHECKED) {
            ids.push_back(GetMenuItemID(menu, i));
        }
    }
}

std::string Napkit::Checks()
{
    std::vector<UINT> ids;
    CollectChecks(appState.menuRoot, ids);
    std::sort(ids.begin(), ids.end());
    std::string text;
    for (UINT id : ids)
        text += (text.empty() ? "" : " ") + std::to_string(id);
    return text;
}

std::string Napkit::MenuText(UINT id)
{
    char text[TEXT_SIZE];
    if (GetMenuStringA(appState.menuRoot, id, text, sizeof text, MF_BYCOMMAND) <= 0)
        return GetMenuState(appState.menuRoot, id, MF_BYCOMMAND) == (UINT)-1 ? ABSENT : "";
    return text;
}

std::string Napkit::Tip() { return shellIcon.hWnd ? shellIcon.szTip : ABSENT; }

std::string Napkit::TrayIcon()
{
    if (!shellIcon.hWnd)
        return "none";
    HINSTANCE instance = GetModuleHandleA(NULL);
    for (int size : { 0, GetSystemMetrics(SM_CXSMICON) }) {
        UINT flags = LR_SHARED | (size ? 0 : LR_DEFAULTSIZE);
        if (shellIcon.hIcon == LoadImageA(instance, MAKEINTRESOURCEA(IDI_ACTIVE), IMAGE_ICON, size, size, flags))
            return "active";
        if (shellIcon.hIcon == LoadImageA(instance, MAKEINTRESOURCEA(IDI_INACTIVE), IMAGE_ICON, size, size, flags))
            return "inactive";
    }
    return "other";
}

void Napkit::DropTrayIcon()
{
    NOTIFYICONDATAA data = shellIcon;
    realNotify(NIM_DELETE, &data);
    shellIcon.hWnd = NULL;
}

std::string Napkit::Install(const char* builtName, const std::string& name, std::string dir)
{
    if (dir.empty())
        dir = saverbox;
    std::string target = Join(dir, name);
    EXPECT_TRUE(CopyFileA(SaverFile(builtName).c_str(), target.c_str(), FALSE))
        << "cannot install " << target;
    if (dir != saverbox)
        installedElsewhere_.push_back(target);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(target.c_str(), &found);
    FindClose(search);
    return found.cAlternateFileName[0] ? Join(dir, found.cAlternateFileName) : target;
}

void Napkit::SetIni(const char* section, const char* key, const std::string& value)
{
    WriteIni(Ini(), section, key, value);
}

Program::Program(const std::string& arguments, const std::string& dir)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string line = "\"" + NapkitExe() + "\"" + (arguments.empty() ? "" : " " + arguments);
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL,
                        dir.empty() ? NULL : dir.c_str(), &startup, &info_)) {
        ADD_FAILURE() << "cannot start " << line;
        return;
    }
    auto* watch = new BoxWatch;
    watch->process = info_.dwProcessId;
    watcher_ = CreateThread(NULL, 0, WatchBoxes, watch, 0, NULL);
    watch_ = watch;
}

Program::~Program()
{
    if (info_.hProcess && WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    if (watcher_) {
        InterlockedExchange(&((BoxWatch*)watch_)->stop, 1);
        WaitForSingleObject(watcher_, 5000);
        CloseHandle(watcher_);
        delete (BoxWatch*)watch_;
    }
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
}

DWORD Program::Wait(DWORD ms)
{
    DWORD code = STILL_ACTIVE;
    if (info_.hProcess && PumpUntil([this] {
            return WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0; }, ms))
        GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

HWND Program::Window(DWORD ms)
{
    HWND found = NULL;
    PumpFor([&] {
        found = FindNapkitWindow();
        DWORD process = 0;
        GetWindowThreadProcessId(found, &process);
        return found && process == info_.dwProcessId;
    }, ms);
    return found;
}

Lines Program::Boxes()
{
    EnterCriticalSection(&lock);
    Lines boxes = watch_ ? ((BoxWatch*)watch_)->boxes : Lines();
    LeaveCriticalSection(&lock);
    return boxes;
}

HWND FindNapkitWindow() { return FindWindowA("NAPKIT", "NAPKIT"); }
