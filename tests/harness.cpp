#include "harness.h"
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <utility>
#include "app/app.h"
#include "res/resource.h"

namespace {

constexpr char SCRATCH_ROOT[] = "C:\\napkit-tests";
constexpr char DESKTOP_KEY[] = "Control Panel\\desktop";
constexpr char DIALOG_CLASS[] = "#32770";
constexpr char SINGLE_COPY_MUTEX[] = "NAPKIT.SingleCopy";
constexpr int TEXT_SIZE = 1024;
constexpr UINT POLL_MS = 500;   // the poll interval
constexpr POINT CURSOR = { 321, 123 };   // where the pointer rests during the tests

Lines calls;
bool quitSeen;
bool clockFixed;
ULONGLONG fixedTicks;
DWORD ticksAhead;
bool diskFull;
bool starting;            // inside Start: the single-copy mutex is the program's
HANDLE programMutex;
HWND mainWindow;
UINT_PTR pollTimer;   // the main window's timer of POLL_MS, which fires when a test lets ticks pass
struct HotKeyRecord {
    HWND window;
    int id;
    UINT modifiers;
    UINT key;
};
std::vector<HotKeyRecord> hotKeys;   // registered by the window of this start
NOTIFYICONDATAA addedIcon;   // as received with NIM_ADD
NOTIFYICONDATAA shellIcon;   // what the shell holds; hWnd NULL: no icon
HWND foreground;             // the last window the program took to the foreground
struct MenuItem {
    UINT id;   // 0 for a separator ("-") or a pop-up
    HMENU parent;
    UINT state;
    Text caption;
};
std::vector<MenuItem> trackedMenu;   // as it was when last tracked
int menusTracked;
UINT choice;   // the item the user chooses in the next menu; 0: none
std::vector<DialogAction> dialogActions;
size_t actionsRun;
HWND answering;          // the dialog whose next action runs at its loop's next fetch
bool actionDue;
int dialogTicks;         // the ticks an action asked for, which pass in the dialog's loop
HWND dialogTimerWindow;  // a dialog's own timer
UINT_PTR dialogTimer;
std::vector<Program*> programs;   // children alive

// The real functions, for the recorders and the harness itself.
decltype(&WinExec) realWinExec;
decltype(&SystemParametersInfoA) realSpi;
decltype(&GetSystemTimeAsFileTime) realClock;
decltype(&RegSetValueExA) realRegSet;
decltype(&GetTickCount) realTicks;
decltype(&FileTimeToLocalFileTime) realToLocal;
decltype(&WritePrivateProfileStringA) realWrite;
decltype(&RegisterHotKey) realRegisterHotKey;
decltype(&SetForegroundWindow) realForeground;
decltype(&GetMessageA) realGetMessage;
decltype(&CreateMutexA) realCreateMutex;
decltype(&PostMessageA) realPost;
decltype(&SetTimer) realSetTimer;
decltype(&WaitForSingleObject) realWait;

template <typename... Args>
std::string Format(const char* format, Args... args)
{
    char text[TEXT_SIZE];
    wsprintfA(text, format, args...);
    return text;
}

void Record(const std::string& line) { calls.push_back(line); }

std::string ClassOf(HWND window)
{
    char name[64];
    return std::string(name, GetClassNameA(window, name, sizeof name));
}

std::string TitleOf(HWND window)
{
    char title[256] = "";
    return std::string(title, GetWindowTextA(window, title, sizeof title));
}

std::string OwnerName(HWND owner)
{
    if (!owner)
        return "none";
    // During WM_CREATE the main window is not yet known by its handle.
    if (ClassOf(owner) == APP_NAME)
        return "main";
    return ClassOf(owner) == DIALOG_CLASS ? "dialog" : "other";
}

std::string Join(const std::string& dir, const std::string& name)
{
    return dir.back() == '\\' ? dir + name : dir + "\\" + name;
}

std::string SystemIni() { return Join(WindowsDir(), "SYSTEM.INI"); }

std::string CurrentIni()
{
    char dir[MAX_PATH];
    return Join(std::string(dir, GetCurrentDirectoryA(MAX_PATH, dir)), "NAPKIT.INI");
}

// Dispatches what this thread's queue holds now, and records the children's new boxes.
void PumpQueued()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        quitSeen = quitSeen || msg.message == WM_QUIT;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    for (Program* program : programs)
        program->Inspect();
}

bool PumpFor(const std::function<bool()>& condition, DWORD ms)
{
    for (DWORD start = realTicks();; MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT)) {
        PumpQueued();
        if (condition())
            return true;
        if (realTicks() - start >= ms)
            return false;
    }
}

// The poll timer of window fires n times, POLL_MS apart on the program's clock. Inside a dialog's action they
// pass once the action has returned, in the dialog's loop, which alone runs then.
void RunTicks(HWND window, int n)
{
    if (IsWindow(answering)) {
        dialogTicks = n;
        return;
    }
    ASSERT_NE(pollTimer, (UINT_PTR)0) << "the main window has no poll timer of 500 ms";
    for (int i = 0; i < n && IsWindow(window); ++i) {
        ticksAhead += POLL_MS;
        SendMessageA(window, WM_TIMER, pollTimer, 0);
        PumpQueued();
    }
}

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    Record(Format("box %s %#x %s|", OwnerName(owner).c_str(), flags, caption) + text);
    return onBox ? onBox(text) : IDOK;
}

UINT WINAPI RecordExec(LPCSTR command, UINT show)
{
    Record(Format("exec %u ", show) + command);
    return realWinExec(command, show);
}

void WINAPI RecordSleep(DWORD ms)   // a wait is recorded, not sat through
{
    Record(Format("sleep %lu", ms));
    if (onSleep)
        onSleep(ms);
}

// A wait for this process to end, which it cannot while the test runs, is recorded and times out at once.
DWORD WINAPI RecordWait(HANDLE object, DWORD ms)
{
    HANDLE asked = NULL;   // a handle that may ask which process it is, unlike one made for waits only
    DuplicateHandle(GetCurrentProcess(), object, GetCurrentProcess(), &asked, PROCESS_QUERY_INFORMATION, FALSE, 0);
    DWORD id = GetProcessId(asked);
    CloseHandle(asked);
    if (id != GetCurrentProcessId())
        return realWait(object, ms);
    Record(Format("wait for this process %lu", ms));
    return WAIT_TIMEOUT;
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
    std::string typeName = type == REG_SZ ? "REG_SZ" : Format("type-%lu", type);
    Record(Format("reg %s %s %lu ", name, typeName.c_str(), size) + text.substr(0, text.find('\0')));
    return realRegSet(key, name, reserved, type, data, size);
}

BOOL WINAPI RecordIniWrite(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    std::string name = file;
    if (lstrcmpiA(file, SystemIni().c_str()) == 0)
        name = "SYSTEM.INI";
    else if (lstrcmpiA(file, CurrentIni().c_str()) == 0)
        name = "NAPKIT.INI";
    BOOL done = FALSE;
    if (diskFull && name == "SYSTEM.INI")
        SetLastError(ERROR_DISK_FULL);
    else
        done = realWrite(section, key, value, file);
    std::string line = "ini " + name + " " + (section ? section : "<all>") + " " + (key ? key : "<all>");
    Record(line + " " + (value ? value : "<removed>") + (done ? "" : " (failed)"));
    return done;
}

BOOL WINAPI RecordHotKey(HWND window, int id, UINT modifiers, UINT key)
{
    EXPECT_EQ(OwnerName(window), "main") << "hot key " << id << " registered for another window";
    hotKeys.push_back(HotKeyRecord{ window, id, modifiers, key });
    return realRegisterHotKey(window, id, modifiers, key);
}

// The shell: an icon is known by its window and id, and a modify changes the fields its flags name.
BOOL WINAPI Notify(DWORD message, PNOTIFYICONDATAA data)
{
    bool held = shellIcon.hWnd && data->hWnd == shellIcon.hWnd && data->uID == shellIcon.uID;
    if (message == NIM_ADD) {
        EXPECT_FALSE(held) << "the icon was added while the shell held it";
        addedIcon = *data;
        shellIcon = *data;
        return TRUE;
    }
    if (!held) {
        ADD_FAILURE() << "Shell_NotifyIconA(" << message << ") for an icon the shell does not hold: hWnd "
                      << data->hWnd << ", uID " << data->uID;
        return FALSE;
    }
    if (message == NIM_DELETE)
        shellIcon.hWnd = NULL;
    if (message == NIM_MODIFY && (data->uFlags & NIF_ICON))
        shellIcon.hIcon = data->hIcon;
    if (message == NIM_MODIFY && (data->uFlags & NIF_TIP))
        lstrcpynA(shellIcon.szTip, data->szTip, sizeof shellIcon.szTip);
    if (message == NIM_MODIFY && (data->uFlags & NIF_MESSAGE))
        shellIcon.uCallbackMessage = data->uCallbackMessage;
    return TRUE;
}

BOOL WINAPI TakeForeground(HWND window)
{
    foreground = window;
    return realForeground(window);
}

void Snapshot(HMENU menu)
{
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        char caption[TEXT_SIZE] = "-";
        bool separator = (info.fType & MFT_SEPARATOR) != 0;
        if (!separator)
            GetMenuStringA(menu, i, caption, sizeof caption, MF_BYPOSITION);
        trackedMenu.push_back(MenuItem{ info.hSubMenu || separator ? 0 : info.wID, menu, info.fState, caption });
        if (info.hSubMenu)
            Snapshot(info.hSubMenu);
    }
}

// The menu as the user sees it: at the pointer, closing on a click elsewhere only when its window was taken
// to the foreground first. The user then chooses the item choice names, or closes it.
BOOL WINAPI TrackMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*)
{
    EXPECT_EQ(foreground, owner) << "the menu was tracked without its window taken to the foreground first: "
                                    "it would not close on a click elsewhere";
    foreground = NULL;
    EXPECT_EQ(flags, (UINT)TPM_RIGHTBUTTON) << "expected the menu tracked for either button, sending its command";
    EXPECT_EQ(Format("%d,%d", x, y), Format("%d,%d", CURSOR.x, CURSOR.y)) << "expected the menu at the pointer";
    ++menusTracked;
    trackedMenu.clear();
    Snapshot(menu);
    if (onMenu)
        onMenu();
    if (!choice)
        return FALSE;
    auto item = std::find_if(trackedMenu.begin(), trackedMenu.end(), [](const MenuItem& item) {
        return item.id == choice && !(item.state & MFS_GRAYED);
    });
    if (item == trackedMenu.end()) {
        ADD_FAILURE() << "the menu has no item " << choice << " to choose";
        return FALSE;
    }
    PostMessageA(owner, WM_COMMAND, choice, 0);   // as the menu's loop posts it
    return TRUE;
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

UINT_PTR WINAPI KeepTimer(HWND window, UINT_PTR id, UINT ms, TIMERPROC procedure)
{
    // A thread's timer with a procedure (the command line's box) runs for real.
    if (!window)
        return realSetTimer(window, id, ms, procedure);
    if (ClassOf(window) == DIALOG_CLASS) {
        dialogTimerWindow = window;
        dialogTimer = id;
    } else if (ClassOf(window) == APP_NAME && ms == POLL_MS) {
        mainWindow = window;   // boxes of the set-up run the poll before the main loop begins
        pollTimer = id;
    }
    return id;
}

// The next action for the dialog; one that leaves it open without asking for ticks fails the test, and the
// dialog is torn down, so that no case waits on it.
void RunAction(HWND dialog)
{
    actionDue = false;
    dialogActions[actionsRun++](dialog);
    if (!IsWindow(dialog))
        return;
    actionDue = dialogTicks > 0 && actionsRun < dialogActions.size();
    if (actionDue)
        return;
    ADD_FAILURE() << "the dialog stayed open after the test's answer: " << ::testing::PrintToString(
        Text(TitleOf(dialog)));
    DestroyWindow(dialog);
}

// The main loop ends at its first fetch: the test runs the loop from then on. A dialog's loop fetches the
// ticks an action asked for, then runs the next action.
BOOL WINAPI Fetch(LPMSG msg, HWND window, UINT first, UINT last)
{
    if (window && ClassOf(window) == APP_NAME) {
        mainWindow = window;
        msg->message = WM_QUIT;
        return FALSE;
    }
    if (window && window == answering && actionDue && dialogTicks == 0)
        RunAction(window);
    for (; window && window == answering && dialogTicks > 0; --dialogTicks) {
        ticksAhead += POLL_MS;
        if (dialogTimerWindow == window) {
            --dialogTicks;
            *msg = MSG{ window, WM_TIMER, dialogTimer, 0, 0, {} };
            return TRUE;
        }
    }
    if (window && window == answering && actionDue)
        RunAction(window);
    return realGetMessage(msg, window, first, last);
}

// A screen-saver start is recorded, not carried out; every other message is posted.
BOOL WINAPI RecordPost(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_SYSCOMMAND || wParam != SC_SCREENSAVE)
        return realPost(window, message, wParam, lParam);
    Record("screen saver started by " + OwnerName(window));
    return TRUE;
}

HANDLE WINAPI KeepMutex(LPSECURITY_ATTRIBUTES security, BOOL owned, LPCSTR name)
{
    HANDLE mutex = realCreateMutex(security, owned, name);
    if (starting && name && lstrcmpA(name, SINGLE_COPY_MUTEX) == 0)
        programMutex = mutex;
    return mutex;
}

struct Import {
    const char* name;
    void* recorder;
    void** real;   // nullptr: the real function is never called
};
const Import IMPORTS[] = {
    { "MessageBoxA", (void*)RecordBox, nullptr },
    { "WinExec", (void*)RecordExec, (void**)&realWinExec },
    { "Sleep", (void*)RecordSleep, nullptr },
    { "WaitForSingleObject", (void*)RecordWait, (void**)&realWait },
    { "SystemParametersInfoA", (void*)RecordSpi, (void**)&realSpi },
    { "RegSetValueExA", (void*)RecordRegSet, (void**)&realRegSet },
    { "WritePrivateProfileStringA", (void*)RecordIniWrite, (void**)&realWrite },
    { "RegisterHotKey", (void*)RecordHotKey, (void**)&realRegisterHotKey },
    { "Shell_NotifyIconA", (void*)Notify, nullptr },
    { "SetForegroundWindow", (void*)TakeForeground, (void**)&realForeground },
    { "TrackPopupMenu", (void*)TrackMenu, nullptr },
    { "GetSystemTimeAsFileTime", (void*)FixedClock, (void**)&realClock },
    { "GetTickCount", (void*)ShiftedTicks, (void**)&realTicks },
    { "FileTimeToLocalFileTime", (void*)FixedZone, (void**)&realToLocal },
    { "SetTimer", (void*)KeepTimer, (void**)&realSetTimer },
    { "GetMessageA", (void*)Fetch, (void**)&realGetMessage },
    { "CreateMutexA", (void*)KeepMutex, (void**)&realCreateMutex },
    { "PostMessageA", (void*)RecordPost, (void**)&realPost },
};

// Points the test program's imports of IMPORTS at their recorders; IMAGE_NT_HEADERS and IMAGE_THUNK_DATA are
// the build's own, PE32 or PE32+. The harness calls the real functions where it must not be recorded.
void PatchImports()
{
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    auto* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    auto* entry = (IMAGE_IMPORT_DESCRIPTOR*)(base
        + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    size_t patched = 0;
    for (; entry->Name; ++entry) {
        auto* names = (IMAGE_THUNK_DATA*)(base + entry->OriginalFirstThunk);
        auto* slots = (IMAGE_THUNK_DATA*)(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const char* name = (char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name;
            for (const Import& import : IMPORTS) {
                if (lstrcmpA(name, import.name) != 0)
                    continue;
                DWORD protect;
                VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &protect);
                if (import.real)
                    *import.real = (void*)slots->u1.Function;
                slots->u1.Function = (ULONG_PTR)import.recorder;
                VirtualProtect(&slots->u1.Function, sizeof(void*), protect, &protect);
                ++patched;
            }
        }
    }
    EXPECT_EQ(patched, sizeof IMPORTS / sizeof IMPORTS[0]) << "the test program lacks an import to record";
}

// A dialog of the program's, recorded: answered at its loop's first fetch or, unexpected, failed and closed.
LRESULT CALLBACK WatchDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    auto* sent = (CWPRETSTRUCT*)lParam;
    if (code != HC_ACTION || sent->message != WM_INITDIALOG || ClassOf(sent->hwnd) != DIALOG_CLASS)
        return CallNextHookEx(NULL, code, wParam, lParam);
    Record("dialog " + TitleOf(sent->hwnd));
    if (actionsRun < dialogActions.size()) {
        answering = sent->hwnd;
        actionDue = true;
    } else {
        ADD_FAILURE() << "a dialog that the test did not expect: " << ::testing::PrintToString(
            Text(TitleOf(sent->hwnd)));
        PostMessageA(sent->hwnd, WM_CLOSE, 0, 0);
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// Under Wine the screen-saver flag belongs to the display driver once a process has loaded it (its first
// window); before that the process sees a copy of its own. One window first makes the tests share the flag
// with NAPKIT.EXE and the test savers. Then the recorders go in.
class Bench : public ::testing::Environment {
    void SetUp() override
    {
        DestroyWindow(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL));
        SetCursorPos(CURSOR.x, CURSOR.y);
        PatchImports();
        SetWindowsHookExA(WH_CALLWNDPROCRET, WatchDialogs, NULL, GetCurrentThreadId());
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

std::string BuildDir()   // tests\NAME\..\..
{
    char path[MAX_PATH];
    std::string dir(path, GetModuleFileNameA(NULL, path, MAX_PATH));
    return dir.substr(0, dir.rfind('\\', dir.rfind('\\', dir.rfind('\\') - 1) - 1));
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

void OpenMenu(Napkit& test)
{
    int before = menusTracked;
    test.TrayEvent(WM_RBUTTONUP);
    EXPECT_EQ(menusTracked, before + 1) << "a right click on the icon showed no menu";
}

// The program's single-copy mutex goes as with its process: a NAPKIT.EXE child may take the name next.
void EndProgramMutex()
{
    CloseHandle(programMutex);
    programMutex = NULL;
}

}  // namespace

// Ends without the static destructors, which the program's calls could still reach.
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

std::string ReadBytes(const std::string& path)   // shared with a writer, as the C runtime opens files
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.write(bytes.data(), bytes.size()).flush())
        ADD_FAILURE() << "cannot write " << path;
    file.close();
    // The profile functions cache files; make them read this one afresh.
    realWrite(NULL, NULL, NULL, path.c_str());
}

Text ReadIni(const std::string& file, const char* section, const char* key)
{
    char value[TEXT_SIZE];
    return std::string(value, GetPrivateProfileStringA(section, key, ABSENT, value, sizeof value, file.c_str()));
}

void WriteIni(const std::string& file, const char* section, const char* key, const std::string& value)
{
    bool remove = value == ABSENT;
    if (!realWrite(section, key, remove ? NULL : value.c_str(), file.c_str()) && !remove)
        ADD_FAILURE() << "cannot write " << key << " to " << file;
}

Text Scrnsave() { return ReadIni(SystemIni(), "boot", "SCRNSAVE.EXE"); }
void SetScrnsave(const std::string& value) { WriteIni(SystemIni(), "boot", "SCRNSAVE.EXE", value); }

std::string DesktopValue(const char* name)
{
    HKEY key = NULL;
    DWORD type = REG_NONE;
    char data[TEXT_SIZE] = {};
    DWORD size = sizeof data - 1;   // text keeps a NUL after it
    RegOpenKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, KEY_READ, &key);
    LONG result = RegQueryValueExA(key, name, NULL, &type, (BYTE*)data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return ABSENT;
    if (type == REG_SZ)
        return size == (DWORD)lstrlenA(data) + 1 ? std::string("sz:") + data : "sz, not text ended by its one NUL";
    std::string kind = type == REG_DWORD ? "dword:" : type == REG_BINARY ? "binary:" : "other:";
    return kind + (size == sizeof(DWORD) ? std::to_string(*(DWORD*)data) : "not 4 bytes");
}

void SetDesktopValue(const char* name, const std::string& stored)
{
    std::string kind = stored.substr(0, stored.find(':') + 1);
    std::string value = stored.substr(kind.size());
    bool number = kind == "dword:" || kind == "binary:";
    DWORD bytes = number ? std::stoul(value) : 0;
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL))
        ADD_FAILURE() << "cannot open the desktop key";
    else if (stored == ABSENT)
        RegDeleteValueA(key, name);
    else if (kind == "sz:")
        realRegSet(key, name, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)value.size() + 1);
    else if (number)
        realRegSet(key, name, 0, kind == "dword:" ? REG_DWORD : REG_BINARY, (const BYTE*)&bytes, sizeof bytes);
    else
        ADD_FAILURE() << "cannot store " << stored;
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
    realWrite(NULL, NULL, NULL, path.c_str());
    return file;
}

void FillDisk(bool full) { diskFull = full; }

Lines TakeCalls() { return std::exchange(calls, {}); }

Lines TakeCalls(const char* prefix)
{
    auto starts = [prefix](const Text& line) { return line.compare(0, lstrlenA(prefix), prefix) == 0; };
    auto end = std::stable_partition(calls.begin(), calls.end(), starts);
    Lines taken(calls.begin(), end);
    calls.erase(calls.begin(), end);
    return taken;
}

int KeepBoxOpen(int ticks)
{
    RunTicks(mainWindow, ticks);
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
    dialogActions = actions;
    actionsRun = 0;
    dialogTicks = 0;
}

Text ControlText(HWND dialog, int id)
{
    char text[TEXT_SIZE] = "";
    return std::string(text, GetDlgItemTextA(dialog, id, text, sizeof text));
}

void TypeText(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }

void Press(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
void SetChecked(HWND dialog, int id, bool checked) { CheckDlgButton(dialog, id, checked); }

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
    CreateDirectoryA(SCRATCH_ROOT, NULL);
    // A dot in every case's folder: a file's extension is after the last separator, never in a folder's name.
    folder = Join(SCRATCH_ROOT, Format("case-%lu.%d", GetCurrentProcessId() % 1000, ++counter));
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
    ticksAhead = 0;
    diskFull = false;
    onBox = nullptr;
    onSleep = nullptr;
    onMenu = nullptr;
    AnswerDialogs({});
    saver = Install("logsaver.scr", "ONE.SCR");
    SetScrnsave(saver);
    SetIni("HotKeys", "EnableHotKeys", "1");
    ZeroMemory(&addedIcon, sizeof addedIcon);
    ZeroMemory(&shellIcon, sizeof shellIcon);
    calls.clear();
}

// What a test left running ends without being recorded; a program that has quit is torn down as its
// process would end, without its window's messages.
void Napkit::EndQuietly()
{
    if (IsWindow(window) && (quitSeen || ended_)) {
        SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)DefWindowProcA);
        DestroyWindow(window);
        shellIcon.hWnd = NULL;
    } else if (IsWindow(window)) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        PumpFor([this] { return !IsWindow(window); }, 5000);
    }
    PumpQueued();
    quitSeen = false;
    calls.clear();
    pollTimer = 0;
    hotKeys.clear();
    EndProgramMutex();
    UnregisterClassA(APP_NAME, GetModuleHandleA(NULL));
}

void Napkit::TearDown()
{
    PumpQueued();
    if (window && !ended_ && (quitSeen || !IsWindow(window)))
        ADD_FAILURE() << "the main window ended, and the test did not expect it to";
    EXPECT_EQ(TakeCalls(), Lines{}) << "the program made these calls, and the test took none of them";
    EXPECT_EQ(actionsRun, dialogActions.size()) << "expected dialogs that the program never opened";
    onBox = nullptr;
    EndQuietly();
    for (const std::string& path : installedElsewhere_)
        DeleteFileA(path.c_str());
    WriteBytes(SystemIni(), systemIni_);
    SetDesktopValue("ScreenSaveActive", active_);
    SetDesktopValue("ScreenSaveTimeOut", timeout_);
    SetSystemActive(spiActive_);
    SetSystemTimeout(spiTimeout_);
    SetCurrentDirectoryA(SCRATCH_ROOT);
    RemoveTree(folder);
}

HWND Napkit::Start()
{
    PumpQueued();
    EXPECT_EQ(TakeCalls(), Lines{}) << "calls made before this start that the test did not take";
    EndQuietly();
    ZeroMemory(&appState, sizeof appState);   // as in a new process
    ticksAhead = 0;   // the polls of an earlier start would make NAPKIT.EXE children's switches look stale
    mainWindow = NULL;
    ended_ = false;
    starting = true;
    RunNapkit(GetModuleHandleA(NULL));
    starting = false;
    window = mainWindow;
    return window;
}

void Napkit::Close()
{
    Text saver = Scrnsave();
    Close(saver == ABSENT ? Lines{} : Lines{ Wrote(saver) });
}

void Napkit::Close(const Lines& closeCalls)
{
    PumpQueued();
    EXPECT_EQ(TakeCalls(), Lines{}) << "calls before the close that the test did not take";
    EXPECT_FALSE(quitSeen) << "the program quit before the close";
    ASSERT_TRUE(IsWindow(window)) << "the window was gone before the close";
    ended_ = true;
    PostMessageA(window, WM_CLOSE, 0, 0);
    PumpQueued();
    EXPECT_FALSE(IsWindow(window)) << "the window stayed after WM_CLOSE";
    EXPECT_TRUE(quitSeen) << "no quit was posted";
    EXPECT_EQ(TakeCalls(), closeCalls) << "expected the close to write back the saver SYSTEM.INI holds";
    EndProgramMutex();
}

void Napkit::ExpectEnded()
{
    ended_ = true;
    PumpQueued();
    EXPECT_TRUE(quitSeen) << "no quit was posted";
    EndProgramMutex();
}

void Napkit::Command(UINT id)
{
    choice = id;
    OpenMenu(*this);
    choice = 0;
    PumpQueued();
}

void Napkit::SendCommand(UINT id) { SendMessageA(window, WM_COMMAND, id, 0); }

void Napkit::HotKey(UINT id)
{
    auto found = std::find_if(hotKeys.begin(), hotKeys.end(), [id](const HotKeyRecord& hotKey) {
        return hotKey.id == (int)id;
    });
    ASSERT_NE(found, hotKeys.end()) << "no hot key of id " << id << " is registered";
    PostMessageA(found->window, WM_HOTKEY, id, MAKELPARAM(found->modifiers, found->key));
    PumpQueued();
}

std::string Napkit::HotKeys()
{
    std::string list;
    for (const HotKeyRecord& hotKey : hotKeys)
        list += (list.empty() ? "" : ", ") + Format("%d %u %c", hotKey.id, hotKey.modifiers, hotKey.key);
    return list;
}

void Napkit::TrayEvent(UINT mouseMessage)
{
    ASSERT_NE(addedIcon.hWnd, (HWND)NULL) << "the shell never received an icon";
    SendMessageA(addedIcon.hWnd, addedIcon.uCallbackMessage, addedIcon.uID, mouseMessage);
}

void Napkit::Ticks(int n) { RunTicks(window, n); }

Text Napkit::Checks()
{
    OpenMenu(*this);
    std::set<UINT> checked;
    for (const MenuItem& item : trackedMenu) {
        if (item.state & MFS_CHECKED)
            checked.insert(item.id);
    }
    Text checks;
    for (UINT id : checked)
        checks += (checks.empty() ? "" : " ") + std::to_string(id);
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

Lines Napkit::Submenu(UINT id)
{
    MenuText(id);
    HMENU parent = NULL;
    for (const MenuItem& item : trackedMenu) {
        if (item.id == id)
            parent = item.parent;
    }
    Lines lines;
    for (const MenuItem& item : trackedMenu) {
        if (item.parent != parent)
            continue;
        std::string grayed = (item.state & MF_GRAYED) ? "(grayed) " : "";   // MF_DISABLED alone looks enabled
        lines.push_back(item.id ? grayed + item.caption + " " + std::to_string(item.id) : std::string(item.caption));
    }
    return lines;
}

const NOTIFYICONDATAA& Napkit::AddedIcon() { return addedIcon; }

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

Text Napkit::Shown() { return Checks() + " " + TrayIcon() + " " + (shellIcon.hWnd ? shellIcon.szTip : ABSENT); }

void Napkit::DropTrayIcon() { shellIcon.hWnd = NULL; }

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

Program::Program(const std::string& arguments)
    : Program(NapkitExe(), "\"" + NapkitExe() + "\"" + (arguments.empty() ? "" : " " + arguments))
{
}

Program::Program(const std::string& exe, std::string line)
{
    STARTUPINFOA startup = { sizeof startup };
    // A new Wine prefix has refused a start once while its own services were still starting: one more try.
    DWORD error = 0;
    for (int tries = 0; tries < 2 && !info_.hProcess; ++tries) {
        if (CreateProcessA(exe.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info_))
            programs.push_back(this);
        else
            error = GetLastError();
        if (!info_.hProcess)
            Pump(1000);
    }
    EXPECT_NE(info_.hProcess, (HANDLE)NULL) << "cannot start " << line << ": error " << error;
}

void Program::LeaveBoxesOpen() { leaveOpen_ = true; }

Program::~Program()
{
    Inspect();   // the boxes it shows now count as shown
    programs.erase(std::remove(programs.begin(), programs.end(), this), programs.end());
    if (info_.hProcess && WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    EXPECT_EQ(boxes_, Lines{}) << "NAPKIT.EXE showed boxes that the test never took";
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
}

void Program::Inspect()
{
    for (HWND box = NULL; (box = FindWindowExA(NULL, box, DIALOG_CLASS, NULL));) {
        bool known = std::count(seen_.begin(), seen_.end(), box) > 0;
        if (!IsWindowVisible(box) || GetWindowThreadProcessId(box, NULL) != info_.dwThreadId || known)
            continue;   // its boxes are its one thread's
        seen_.push_back(box);
        char text[TEXT_SIZE] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);   // a message box's message
        boxes_.push_back(TitleOf(box) + "|" + text);
        if (answering_ && !leaveOpen_)
            PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
}

DWORD Program::Wait(DWORD ms)
{
    DWORD code = STILL_ACTIVE;
    answering_ = true;
    for (size_t i = 0; i < seen_.size() && !leaveOpen_; ++i)
        PostMessageA(seen_[i], WM_COMMAND, IDOK, 0);
    if (PumpUntil([this] { return WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0; }, ms))
        GetExitCodeProcess(info_.hProcess, &code);
    answering_ = false;
    return code;
}

HWND Program::Window()
{
    HWND found = NULL;
    auto ours = [&] {
        DWORD process = 0;
        found = FindNapkitWindow();
        GetWindowThreadProcessId(found, &process);
        return process == info_.dwProcessId;
    };
    if (!PumpFor(ours, 10000))
        ADD_FAILURE() << "expected the tray copy's window within 10 s";
    return found;
}

Lines Program::Boxes(DWORD ms)
{
    PumpFor([this] { return !boxes_.empty(); }, ms);
    return std::exchange(boxes_, {});
}

HWND FindNapkitWindow() { return FindWindowA("NAPKIT", "NAPKIT"); }

DWORD RunSwitch(const std::string& args, size_t usageBoxes)
{
    const char* const usage[] = { "NAPKIT|", "\n/on ：", "\n/off ：", "\n/toggle ：", "\n/start ：",
                                  "\n/random ：", "\n/timeout:N ：", "\n/pause:N ：", "\n/secure:on ：",
                                  "\n/secure:off ：", "\n/refresh ：", "\n/exit ：", "\n/? ：" };
    Program program(args);
    DWORD code = program.Wait(25000);
    Lines boxes = program.Boxes();
    EXPECT_EQ(boxes.size(), usageBoxes) << args << ": expected this many usage boxes, and no other box";
    for (const std::string& box : boxes)
        for (const char* part : usage)
            EXPECT_NE(box.find(part), std::string::npos) << "expected the usage box to show " << part;
    return code;
}
