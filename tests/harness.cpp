#include "harness.h"
#include <algorithm>
#include <cstdio>
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
bool quitSeen;
bool clockFixed;
ULONGLONG fixedTicks;
NOTIFYICONDATAA addedIcon;   // as received with NIM_ADD
NOTIFYICONDATAA shellIcon;   // what the shell holds; hWnd NULL: no icon
struct MenuItem {
    UINT id;
    bool checked;
    Text caption;
    Text line;   // as MenuLayout shows it
};
std::vector<MenuItem> trackedMenu;   // as it was when last tracked
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
BOOL (WINAPI* realTrackMenu)(HMENU, UINT, int, int, int, HWND, const RECT*);   // never called

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

std::string ClassOf(HWND window)
{
    char name[64];
    return std::string(name, GetClassNameA(window, name, sizeof name));
}

std::string OwnerName(HWND owner)
{
    if (!owner)
        return "none";
    // During WM_CREATE the main window is not yet known by its handle.
    if (owner == mainWindow || ClassOf(owner) == APP_NAME)
        return "main";
    if (ClassOf(owner) == "#32770")
        return "dialog";
    return "other";
}

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    Record(Format("box %s %#x %s|", OwnerName(owner).c_str(), flags, caption) + text);
    if (onBox)
        return onBox(text);
    return IDOK;
}

UINT WINAPI RecordExec(LPCSTR command, UINT show)
{
    Record(Format("exec %u ", show) + command);
    return realWinExec(command, show);
}

void WINAPI RecordSleep(DWORD ms)
{
    Record(Format("sleep %lu", ms));
    if (onSleep && GetCurrentThreadId() == testThread)
        onSleep(ms);
    realSleep(std::min<DWORD>(ms, 5000));   // a long wait is recorded, not sat through
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
    if (message == NIM_ADD) {
        addedIcon = *data;
        shellIcon = *data;
    } else if (message == NIM_MODIFY && shellIcon.hWnd) {
        shellIcon = *data;
    } else if (message == NIM_DELETE) {
        shellIcon.hWnd = NULL;
    }
    return done;
}

void Snapshot(HMENU menu, const std::string& indent)
{
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        char caption[TEXT_SIZE] = "";
        GetMenuStringA(menu, i, caption, sizeof caption, MF_BYPOSITION);
        std::string line = indent + caption + " " + std::to_string(info.wID);
        if (info.fType & MFT_SEPARATOR)
            line = indent + "-";
        else if (info.hSubMenu)
            line = indent + caption + " >";
        else if (info.fState & MFS_GRAYED)
            line = indent + "(grayed) " + caption + " " + std::to_string(info.wID);
        trackedMenu.push_back(MenuItem{ info.wID, (info.fState & MFS_CHECKED) != 0, caption, line });
        if (info.hSubMenu)
            Snapshot(info.hSubMenu, indent + "  ");
    }
}

// The menu as the user would see it; the user then closes it.
BOOL WINAPI RecordTrackMenu(HMENU menu, UINT, int, int, int, HWND, const RECT*)
{
    trackedMenu.clear();
    Snapshot(menu, "");
    if (onMenu)
        onMenu();
    return FALSE;
}

void WINAPI FixedClock(LPFILETIME now)
{
    realClock(now);
    if (clockFixed)
        *now = FILETIME{ (DWORD)fixedTicks, (DWORD)(fixedTicks >> 32) };
}

DWORD WINAPI ShiftedTicks() { return realTicks() + ticksAhead; }

BOOL WINAPI FixedZone(const FILETIME* utc, LPFILETIME local)
{
    if (!clockFixed)
        return realToLocal(utc, local);
    *local = *utc;
    return TRUE;
}

// Points the test program's import of name at hook, and real at what it
// pointed at. IMAGE_NT_HEADERS and IMAGE_THUNK_DATA are those of the build's
// own type, PE32 or PE32+, the same as the test program's: keep it that way.
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
        for (; names->u1.AddressOfData; ++names) {
            auto* imported = (IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData);
            if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) && lstrcmpA((char*)imported->Name, name) == 0) {
                DWORD protect;
                VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protect);
                real = (F*)slots->u1.Function;
                slots->u1.Function = (ULONG_PTR)hook;
                VirtualProtect(&slots->u1.Function, sizeof(void*), protect, &protect);
                return;
            }
            ++slots;
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
        Hook(realTrackMenu, "TrackPopupMenu", RecordTrackMenu);
    }
};
::testing::Environment* const bench = ::testing::AddGlobalTestEnvironment(new Bench);

// Wine's debugger ends a crashed program with exit code 0: a crash must fail the run.
LONG WINAPI Crashed(EXCEPTION_POINTERS* info)
{
    printf("the test program crashed: exception %#lx\n", info->ExceptionRecord->ExceptionCode);
    fflush(stdout);
    ExitProcess(3);
}

std::string Utf8(const std::string& cp932)
{
    std::wstring wide(cp932.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(932, 0, cp932.data(), (int)cp932.size(), &wide[0], (int)wide.size()));
    std::string utf8(wide.size() * 3 + 1, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &utf8[0], (int)utf8.size(),
                                    NULL, NULL));
    return utf8;
}

std::string Join(const std::string& dir, const std::string& name)
{
    return dir.back() == '\\' ? dir + name : dir + "\\" + name;
}

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
        std::wstring name = found.cFileName;
        std::wstring inner = path + L"\\" + name;
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
// its own: records each new one as "caption|text" and, while answering is
// on, hands each not yet answered to act.
struct Watch {
    DWORD process;
    std::function<void(HWND dialog, size_t n)> act;
    std::vector<HWND> seen;
    size_t answered = 0;
    Lines boxes;
    volatile LONG answering;
    volatile LONG stop = 0;
    HANDLE thread;

    static BOOL CALLBACK Find(HWND window, LPARAM param)
    {
        auto* watch = (Watch*)param;
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        bool known = std::count(watch->seen.begin(), watch->seen.end(), window) > 0;
        if (process != watch->process || !IsWindowVisible(window) || ClassOf(window) != "#32770" || known)
            return TRUE;
        watch->seen.push_back(window);
        char caption[256] = "";
        char text[TEXT_SIZE] = "";
        GetWindowTextA(window, caption, sizeof caption);
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);   // a message box's message
        EnterCriticalSection(&lock);
        watch->boxes.push_back(std::string(caption) + "|" + text);
        LeaveCriticalSection(&lock);
        return TRUE;
    }
    static DWORD WINAPI Run(void* param)
    {
        auto* watch = (Watch*)param;
        while (!watch->stop) {
            EnumWindows(Find, (LPARAM)watch);
            for (; watch->answering && watch->answered < watch->seen.size(); ++watch->answered)
                watch->act(watch->seen[watch->answered], watch->answered);
            realSleep(20);
        }
        return 0;
    }
    Watch(DWORD process, bool answer, std::function<void(HWND, size_t)> act)
        : process(process), act(act), answering(answer), thread(CreateThread(NULL, 0, Run, this, 0, NULL)) {}
    ~Watch()
    {
        InterlockedExchange(&stop, 1);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
    }
};

Watch* answerer;
std::string answerFailure;

DWORD_PTR SendToControl(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result);
    return result;
}

bool PumpFor(const std::function<bool()>& condition, DWORD ms)
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

// A right click on the icon; the menu tracked is kept in trackedMenu.
void OpenMenu(Napkit& test)
{
    trackedMenu.clear();
    test.TrayEvent(WM_RBUTTONUP);
    EXPECT_FALSE(trackedMenu.empty()) << "a right click on the icon showed no menu";
}

}  // namespace

// Ends without the static destructors: the recorders stay in place until the
// end, and nothing of the program's can call into a destroyed one.
int main(int argc, char** argv)
{
    SetUnhandledExceptionFilter(Crashed);
    ::testing::InitGoogleTest(&argc, argv);
    ExitProcess(RUN_ALL_TESTS());
}

void PrintTo(const Text& text, std::ostream* out)
{
    std::string shown = Utf8(text);
    for (size_t at = 0; (at = shown.find('\n', at)) != std::string::npos; at += 2)
        shown.replace(at, 1, "\\n");
    *out << '"' << shown << '"';
}

bool operator==(const TrayView& view, const std::string& line) { return view.line == line; }

TrayView operator+(TrayView view, const std::string& more)
{
    view.line += more;
    return view;
}

void PrintTo(const TrayView& view, std::ostream* out)
{
    *out << '"' << Utf8(view.line) << "\" (checked: " << Utf8(view.captions) << ")";
}

std::function<int(const std::string& text)> onBox;
std::function<void(DWORD ms)> onSleep;
std::function<void()> onMenu;

std::string SaverFile(const char* builtName) { return Join(Join(BuildDir(), "savers"), builtName); }
std::string NapkitExe() { return Join(BuildDir(), "NAPKIT.EXE"); }

std::string WindowsDir()
{
    char dir[MAX_PATH];
    return std::string(dir, GetWindowsDirectoryA(dir, MAX_PATH));
}

std::string SystemDir()
{
    char dir[MAX_PATH];
    return std::string(dir, GetSystemDirectoryA(dir, MAX_PATH));
}

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

Text ReadIni(const std::string& file, const char* section, const char* key)
{
    char value[TEXT_SIZE];
    return std::string(value, GetPrivateProfileStringA(section, key, ABSENT, value, sizeof value, file.c_str()));
}

void WriteIni(const std::string& file, const char* section, const char* key, const std::string& value)
{
    bool remove = value == ABSENT;
    const char* written = remove ? NULL : value.c_str();
    if (!WritePrivateProfileStringA(section, key, written, file.c_str()) && !remove)
        ADD_FAILURE() << "cannot write " << key << " to " << file;
}

Text Scrnsave() { return ReadIni(SystemIni(), "boot", "SCRNSAVE.EXE"); }
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

UINT SystemActive()
{
    BOOL active = FALSE;
    return realSpi(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) && active;
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
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot lock " << path;
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
    return file;
}

Lines TakeCalls()
{
    Lines taken;
    taken.swap(calls);
    return taken;
}

Lines TakeCalls(const char* prefix)
{
    auto starts = [prefix](const Text& line) { return line.compare(0, lstrlenA(prefix), prefix) == 0; };
    auto end = std::stable_partition(calls.begin(), calls.end(), starts);
    Lines taken(calls.begin(), end);
    calls.erase(calls.begin(), end);
    return taken;
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
            end = std::min(bytes.find("\r\n", start), bytes.size());
            lines.push_back(bytes.substr(start, end - start));
        }
        return lines.size() >= atLeast;
    };
    if (!read() && atLeast)
        PumpUntil(read, 5000);
    return lines;
}

void FixClock(ULONGLONG unixSeconds)
{
    fixedTicks = (unixSeconds + 11644473600ULL) * 10000000ULL;
    clockFixed = true;
}

void PassTime(DWORD ms) { ticksAhead += ms; }

void AnswerDialogs(std::vector<DialogAction> actions)
{
    delete answerer;
    answerer = new Watch(GetCurrentProcessId(), true, [actions](HWND dialog, size_t n) {
        if (n < actions.size())
            return actions[n](dialog);
        EnterCriticalSection(&lock);
        answerFailure += "a dialog that the test did not expect; ";
        LeaveCriticalSection(&lock);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
}

int DialogsSeen()
{
    return answerer ? (int)answerer->seen.size() : 0;
}

Text ControlText(HWND dialog, int id)
{
    char text[TEXT_SIZE] = "";
    return std::string(text, SendToControl(dialog, id, WM_GETTEXT, sizeof text, (LPARAM)text));
}

void TypeText(HWND dialog, int id, const std::string& text)
{
    SendToControl(dialog, id, WM_SETTEXT, 0, (LPARAM)text.c_str());
}

void Press(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

bool IsChecked(HWND dialog, int id) { return SendToControl(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void SetChecked(HWND dialog, int id, bool checked) { SendToControl(dialog, id, BM_SETCHECK, checked, 0); }

void Pump(DWORD ms)
{
    PumpFor([] { return false; }, ms);
}

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
    saverbox = Join(folder, "saverbox");
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL)) << "cannot create " << folder;
    ASSERT_TRUE(CreateDirectoryA(saverbox.c_str(), NULL)) << "cannot create " << saverbox;
    SetCurrentDirectoryA(folder.c_str());
    SetEnvironmentVariableA("NAPKIT_SAVER_LOG", Join(folder, "saver.log").c_str());
    for (const std::string& dir : { SystemDir(), WindowsDir() }) {
        WIN32_FIND_DATAA found;
        ASSERT_EQ(FindFirstFileA(Join(dir, "*.scr").c_str(), &found), INVALID_HANDLE_VALUE)
            << "a saver was left in " << dir;
    }
    systemIni_ = ReadBytes(SystemIni());
    active_ = DesktopValue("ScreenSaveActive");
    timeout_ = DesktopValue("ScreenSaveTimeOut");
    spiActive_ = SystemActive();
    spiTimeout_ = SystemTimeout();
    SetSystemActive(1);
    SetSystemTimeout(300);
    clockFixed = false;
    onBox = nullptr;
    onSleep = nullptr;
    onMenu = nullptr;
    ZeroMemory(&addedIcon, sizeof addedIcon);
    ZeroMemory(&shellIcon, sizeof shellIcon);
    calls.clear();
}

void Napkit::TearDown()
{
    if (window && !ended_ && (quitSeen || !IsWindow(window)))
        ADD_FAILURE() << "the main window ended, and the test did not expect it to";
    onBox = nullptr;
    if (IsWindow(window)) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        PumpFor([this] { return !IsWindow(window); }, 5000);
    }
    EXPECT_EQ(TakeCalls(), Lines{}) << "the program made these calls, and the test took none of them";
    delete answerer;
    answerer = nullptr;
    EXPECT_EQ(answerFailure, "");
    answerFailure.clear();
    for (const std::string& path : installedElsewhere_)
        DeleteFileA(path.c_str());
    WriteBytes(SystemIni(), systemIni_);
    SetDesktopValue("ScreenSaveActive", active_);
    SetDesktopValue("ScreenSaveTimeOut", timeout_);
    SetSystemActive(spiActive_);
    SetSystemTimeout(spiTimeout_);
    SetCurrentDirectoryA(previousDir_.c_str());
    RemoveTree(folder);
}

HWND Napkit::Start()
{
    EXPECT_EQ(TakeCalls(), Lines{}) << "calls made before this start that the test did not take";
    ZeroMemory(&appState, sizeof appState);
    HINSTANCE instance = GetModuleHandleA(NULL);
    appState.instance = instance;
    InitPaths();
    static ATOM windowClass = RegisterMainWindowClass(instance);
    ended_ = false;
    quitSeen = false;
    window = CreateWindowExA(0, APP_NAME, APP_NAME, WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT,
                             MAIN_WINDOW_SIZE, MAIN_WINDOW_SIZE, NULL, NULL, instance, NULL);
    mainWindow = window;
    EXPECT_NE(windowClass, 0) << "the main window's class was not registered";
    EXPECT_NE(window, (HWND)NULL) << "no main window";
    return window;
}

void Napkit::Close()
{
    EXPECT_FALSE(quitSeen) << "the program quit before the close";
    ASSERT_TRUE(IsWindow(window)) << "the window was gone before the close";
    ended_ = PostMessageA(window, WM_CLOSE, 0, 0);
    PumpUntil([this] { return !IsWindow(window); }, 5000);
}

void Napkit::ExpectEnded()
{
    ended_ = true;
    Pump(50);
    EXPECT_TRUE(quitSeen) << "no quit was posted";
}

void Napkit::Command(UINT id) { SendMessageA(window, WM_COMMAND, id, 0); }
void Napkit::HotKey(UINT id) { SendMessageA(window, WM_HOTKEY, id, 0); }

void Napkit::TrayEvent(UINT mouseMessage)
{
    ASSERT_NE(addedIcon.hWnd, (HWND)NULL) << "the shell never received an icon";
    SendMessageA(addedIcon.hWnd, addedIcon.uCallbackMessage, addedIcon.uID, mouseMessage);
}

void Napkit::Ticks(int n) { Pump(n * POLL_MS + POLL_MS / 2); }

TrayView Napkit::Checks()
{
    OpenMenu(*this);
    std::vector<MenuItem> checked;
    std::copy_if(trackedMenu.begin(), trackedMenu.end(), std::back_inserter(checked),
                 [](const MenuItem& item) { return item.checked; });
    std::sort(checked.begin(), checked.end(), [](const MenuItem& a, const MenuItem& b) { return a.id < b.id; });
    TrayView checks;
    for (const MenuItem& item : checked) {
        checks.line += (checks.line.empty() ? "" : " ") + std::to_string(item.id);
        checks.captions += (checks.captions.empty() ? "" : ", ") + item.caption;
    }
    return checks;
}

Text Napkit::MenuText(UINT id)
{
    OpenMenu(*this);
    for (const MenuItem& item : trackedMenu) {
        if (item.id == id)
            return item.caption;
    }
    return ABSENT;
}

Lines Napkit::MenuLayout()
{
    OpenMenu(*this);
    Lines lines;
    for (const MenuItem& item : trackedMenu)
        lines.push_back(item.line);
    return lines;
}

const NOTIFYICONDATAA& Napkit::AddedIcon() { return addedIcon; }

Text Napkit::Tip()
{
    return shellIcon.hWnd ? Text(shellIcon.szTip) : Text(ABSENT);
}

std::string Napkit::TrayIcon()   // the shared images of the tray's size
{
    int size = GetSystemMetrics(SM_CXSMICON);
    HINSTANCE module = GetModuleHandleA(NULL);
    if (!shellIcon.hWnd)
        return "none";
    if (shellIcon.hIcon == LoadImageA(module, MAKEINTRESOURCEA(IDI_ACTIVE), IMAGE_ICON, size, size, LR_SHARED))
        return "active";
    if (shellIcon.hIcon == LoadImageA(module, MAKEINTRESOURCEA(IDI_INACTIVE), IMAGE_ICON, size, size, LR_SHARED))
        return "inactive";
    return "other";
}

TrayView Napkit::Shown() { return Checks() + " " + TrayIcon() + " " + Tip(); }

void Napkit::DropTrayIcon()
{
    realNotify(NIM_DELETE, &shellIcon);
    shellIcon.hWnd = NULL;
}

std::string Napkit::Install(const char* builtName, const std::string& name, std::string dir)
{
    if (dir.empty())
        dir = saverbox;
    std::string target = Join(dir, name);
    EXPECT_TRUE(CopyFileA(SaverFile(builtName).c_str(), target.c_str(), FALSE)) << "cannot install " << target;
    if (dir != saverbox)
        installedElsewhere_.push_back(target);
    WIN32_FIND_DATAA found = {};
    FindClose(FindFirstFileA(target.c_str(), &found));
    if (found.cAlternateFileName[0])
        return Join(dir, found.cAlternateFileName);
    return target;
}

void Napkit::SetIni(const char* section, const char* key, const char* value)
{
    WriteIni(Ini(), section, key, value ? value : ABSENT);
}

Program::Program(const std::string& arguments, const std::string& dir)
{
    Begin(NULL, "\"" + NapkitExe() + "\"" + (arguments.empty() ? "" : " " + arguments), dir);
}

Program::Program(const Launch& launch) { Begin(launch.exe.c_str(), launch.commandLine, ""); }

void Program::Begin(const char* exe, std::string line, const std::string& dir)
{
    STARTUPINFOA startup = { sizeof startup };
    const char* current = dir.empty() ? NULL : dir.c_str();
    if (!CreateProcessA(exe, &line[0], NULL, NULL, FALSE, 0, NULL, current, &startup, &info_)) {
        ADD_FAILURE() << "cannot start " << line;
        return;
    }
    auto ok = [this](HWND box, size_t) {
        if (!leaveOpen_)
            PostMessageA(box, WM_COMMAND, IDOK, 0);
    };
    watch_ = new Watch(info_.dwProcessId, false, ok);
}

void Program::LeaveBoxesOpen() { InterlockedExchange(&leaveOpen_, 1); }

Program::~Program()
{
    if (info_.hProcess && WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    size_t looked = boxesSeen_;
    EXPECT_EQ(Boxes().size(), looked) << "NAPKIT.EXE showed boxes that the test never looked at";
    delete (Watch*)watch_;
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
}

DWORD Program::Wait(DWORD ms)
{
    DWORD code = STILL_ACTIVE;
    auto* watch = (Watch*)watch_;
    if (watch)
        InterlockedExchange(&watch->answering, 1);
    if (PumpUntil([this] { return WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0; }, ms))
        GetExitCodeProcess(info_.hProcess, &code);
    if (watch)
        InterlockedExchange(&watch->answering, 0);
    return code;
}

HWND Program::Window(DWORD ms)
{
    HWND found = NULL;
    auto ours = [&] {
        DWORD process = 0;
        found = FindNapkitWindow();
        GetWindowThreadProcessId(found, &process);
        return process == info_.dwProcessId;
    };
    PumpFor(ours, ms);
    return found;
}

Lines Program::Boxes()
{
    Lines boxes;
    EnterCriticalSection(&lock);
    if (watch_)
        boxes = ((Watch*)watch_)->boxes;
    LeaveCriticalSection(&lock);
    boxesSeen_ = boxes.size();
    return boxes;
}

HWND FindNapkitWindow() { return FindWindowA("NAPKIT", "NAPKIT"); }
