#include "harness/harness.h"
#include <gtest/gtest.h>
#include "app/app.h"
#include "settings/settings.h"
#include "ui/ui.h"

namespace harness {

namespace {

constexpr char SCRATCH_ROOT[] = "C:\\napkit-tests";
constexpr char DESKTOP_KEY[] = "Control Panel\\desktop";
constexpr DWORD PUMP_SLICE_MS = 10;
constexpr UINT SEND_TIMEOUT_MS = 2000;
constexpr int TEXT_SIZE = 1024;

std::string ModuleDir()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string text = path;
    return text.substr(0, text.find_last_of('\\'));
}

std::string ParentOf(const std::string& dir)
{
    return dir.substr(0, dir.find_last_of('\\'));
}

// Under Wine the screen-saver flag of the system parameters belongs to the
// display driver (the X server's screen-saver time-out) once the driver is
// loaded, which the first window or display call of a process does; before
// that a process sees a copy of its own. Showing one window before any test
// runs makes every test read and write the shared flag, as NAPKIT does.
class WarmUpDisplay : public ::testing::Environment {
public:
    void SetUp() override
    {
        HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP | WS_VISIBLE,
                                      0, 0, 1, 1, NULL, NULL, NULL, NULL);
        PumpMessages(200);
        DestroyWindow(window);
        PumpMessages(50);
    }
};

::testing::Environment* const warmUp = ::testing::AddGlobalTestEnvironment(new WarmUpDisplay);

}  // namespace

std::string ExeDir() { return ModuleDir(); }
std::string SaverDir() { return JoinPath(ParentOf(ModuleDir()), "savers"); }
std::string SaverFile(const char* builtName) { return JoinPath(SaverDir(), builtName); }
std::string NapkitExe() { return JoinPath(ParentOf(ModuleDir()), "NAPKIT.EXE"); }

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

std::string SystemIniPath() { return JoinPath(WindowsDir(), "SYSTEM.INI"); }

std::string JoinPath(const std::string& dir, const std::string& name)
{
    if (!dir.empty() && dir.back() == '\\')
        return dir + name;
    return dir + "\\" + name;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    // The profile functions cache files; make them read this one afresh.
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
}

void RemoveTree(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(JoinPath(path, "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..")
                RemoveTree(JoinPath(path, name));
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

void WriteIni(const std::string& file, const char* section, const char* key, const std::string& value)
{
    WritePrivateProfileStringA(section, key, value.c_str(), file.c_str());
}

std::string ReadIni(const std::string& file, const char* section, const char* key)
{
    char value[TEXT_SIZE];
    GetPrivateProfileStringA(section, key, ABSENT, value, sizeof value, file.c_str());
    return value;
}

std::string ShortNameOf(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return "";
    FindClose(search);
    return found.cAlternateFileName;
}

std::string InstallSaver(const char* builtName, const std::string& dir, const std::string& asName)
{
    CreateDirectoryA(dir.c_str(), NULL);
    std::string target = JoinPath(dir, asName);
    CopyFileA(SaverFile(builtName).c_str(), target.c_str(), FALSE);
    return target;
}

std::string MakeDirOfLength(const std::string& base, size_t length)
{
    constexpr size_t MAX_PART = 200;   // well under a folder name's limit
    std::string path = base;
    while (path.size() < length) {
        size_t room = length - path.size() - 1;
        size_t part = room > MAX_PART ? MAX_PART : room;
        if (part == 0)
            return "";
        path += "\\" + std::string(part, 'd');
        if (!CreateDirectoryA(path.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
            return "";
    }
    return path;
}

std::vector<std::string> SaverFilesIn(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(JoinPath(dir, "*.scr").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

ScratchDir::ScratchDir(const char* name)
{
    static LONG counter = 0;
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    previous_ = previous;
    CreateDirectoryA(SCRATCH_ROOT, NULL);
    char unique[64];
    wsprintfA(unique, "%s-%lu-%ld", name, GetCurrentProcessId(), InterlockedIncrement(&counter));
    path_ = JoinPath(SCRATCH_ROOT, unique);
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), NULL);
    SetCurrentDirectoryA(path_.c_str());
}

ScratchDir::~ScratchDir()
{
    SetCurrentDirectoryA(previous_.c_str());
    RemoveTree(path_);
}

std::string ReadScrnsave()
{
    char value[TEXT_SIZE];
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", ABSENT, value, sizeof value,
                             SystemIniPath().c_str());
    return value;
}

void WriteScrnsave(const std::string& value)
{
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", value == ABSENT ? NULL : value.c_str(),
                               SystemIniPath().c_str());
}

std::string ReadDesktopValue(const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ABSENT;
    char value[TEXT_SIZE];
    DWORD size = sizeof value;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, name, NULL, &type, (BYTE*)value, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return ABSENT;
    return std::string(value, size > 0 && value[size - 1] == '\0' ? size - 1 : size);
}

void WriteDesktopValueText(const char* name, const std::string& value)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return;
    if (value == ABSENT)
        RegDeleteValueA(key, name);
    else
        RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)value.size() + 1);
    RegCloseKey(key);
}

UINT SpiActive()
{
    BOOL active = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active ? 1 : 0;
}

UINT SpiTimeout()
{
    UINT seconds = 0;
    SystemParametersInfoA(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0);
    return seconds;
}

void SetSpiActive(UINT active)
{
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active, NULL, 0);
}

void SetSpiTimeout(UINT seconds)
{
    SystemParametersInfoA(SPI_SETSCREENSAVETIMEOUT, seconds, NULL, 0);
}

SystemGuard::SystemGuard()
{
    hadSystemIni_ = FileExists(SystemIniPath());
    systemIni_ = ReadFileBytes(SystemIniPath());
    active_ = ReadDesktopValue("ScreenSaveActive");
    timeout_ = ReadDesktopValue("ScreenSaveTimeOut");
    spiActive_ = SpiActive();
    spiTimeout_ = SpiTimeout();
}

SystemGuard::~SystemGuard()
{
    if (hadSystemIni_) {
        WriteFileBytes(SystemIniPath(), systemIni_);
    } else {
        DeleteFileA(SystemIniPath().c_str());
        WritePrivateProfileStringA(NULL, NULL, NULL, SystemIniPath().c_str());
    }
    WriteDesktopValueText("ScreenSaveActive", active_);
    WriteDesktopValueText("ScreenSaveTimeOut", timeout_);
    SetSpiActive(spiActive_);
    SetSpiTimeout(spiTimeout_);
}

std::string WindowText(HWND window)
{
    char text[TEXT_SIZE] = "";
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG,
                        SEND_TIMEOUT_MS, &result);
    return text;
}

std::string ControlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control ? WindowText(control) : ABSENT;
}

void PressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

void SetControlText(HWND dialog, int id, const std::string& text)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), WM_SETTEXT, 0, (LPARAM)text.c_str(),
                        SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result);
}

void SetCheckBox(HWND dialog, int id, bool checked)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED,
                        0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result);
}

bool IsChecked(HWND dialog, int id)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG,
                        SEND_TIMEOUT_MS, &result);
    return result == BST_CHECKED;
}

void PumpMessages(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return condition();
        MsgWaitForMultipleObjects(0, NULL, FALSE, PUMP_SLICE_MS, QS_ALLINPUT);
    }
}

HWND CreateMainWindow()
{
    ZeroMemory(&appState, sizeof appState);
    HINSTANCE instance = GetModuleHandleA(NULL);
    appState.instance = instance;
    InitPaths();
    static ATOM windowClass = RegisterMainWindowClass(instance);
    if (!windowClass)
        return NULL;
    return CreateWindowExA(0, APP_NAME, APP_NAME, WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT,
                           MAIN_WINDOW_SIZE, MAIN_WINDOW_SIZE, NULL, NULL, instance, NULL);
}

void CloseMainWindow(HWND window)
{
    if (!IsWindow(window))
        return;
    PostMessageA(window, WM_CLOSE, 0, 0);
    PumpUntil([window] { return !IsWindow(window); }, 5000);
}

void SendCommand(HWND window, UINT id)
{
    SendMessageA(window, WM_COMMAND, id, 0);
}

bool MenuChecked(UINT id)
{
    UINT state = GetMenuState(appState.menuRoot, id, MF_BYCOMMAND);
    return state != (UINT)-1 && (state & MF_CHECKED);
}

bool MenuItemExists(UINT id)
{
    return GetMenuState(appState.menuRoot, id, MF_BYCOMMAND) != (UINT)-1;
}

std::string MenuText(HMENU menu, UINT position)
{
    char text[TEXT_SIZE] = "";
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

std::string TipText()
{
    return appState.notifyData.szTip;
}

namespace {

NOTIFYICONDATAA IconOf(HWND window)
{
    NOTIFYICONDATAA data;
    ZeroMemory(&data, sizeof data);
    data.cbSize = NOTIFY_DATA_V1_SIZE;
    data.hWnd = window;
    data.uID = TRAY_ICON_ID;
    data.uFlags = NIF_MESSAGE;
    data.uCallbackMessage = WM_TRAYNOTIFY;
    return data;
}

}  // namespace

bool TrayIconExists(HWND window)
{
    NOTIFYICONDATAA data = IconOf(window);
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

void RemoveTrayIcon(HWND window)
{
    NOTIFYICONDATAA data = IconOf(window);
    Shell_NotifyIconA(NIM_DELETE, &data);
}

}  // namespace harness
