#include "system/system.h"
#include "app/app.h"

namespace {

constexpr char BOOT_SECTION[] = "boot";
constexpr char SCRNSAVE_KEY[] = "SCRNSAVE.EXE";
constexpr char DESKTOP_KEY[] = "Control Panel\\desktop";
constexpr int INT_TEXT_SIZE = 16;

}  // namespace

void ReadConfiguredSaver(char* saver)
{
    if (appState.systemIniPath[0] == '\0') {
        lstrcpyA(saver, NOTHING_TEXT);
        return;
    }
    // One byte more than a path can hold tells a value of 259 characters
    // from a longer one. Cut to 259, a longer value could equal a listed
    // saver, or name another file that one-shot mode would run; whole, it
    // names no saver, and reads as the empty text, which matches none.
    char value[MAX_PATH + 1];
    DWORD length = GetPrivateProfileStringA(BOOT_SECTION, SCRNSAVE_KEY, NOTHING_TEXT, value,
                                            sizeof value, appState.systemIniPath);
    if (length > MAX_PATH - 1)
        value[0] = '\0';
    lstrcpynA(saver, value, MAX_PATH);
}

BOOL WriteConfiguredSaver(const char* saver)
{
    if (appState.systemIniPath[0] == '\0')
        return FALSE;
    return WritePrivateProfileStringA(BOOT_SECTION, SCRNSAVE_KEY, saver, appState.systemIniPath);
}

BOOL CanWriteSystemIni()
{
    if (appState.systemIniPath[0] == '\0')
        return FALSE;
    // Opening for writing writes nothing. It fails while another program
    // holds the file without write sharing, or it is read-only; a missing
    // file is created by the next write.
    HANDLE file = CreateFileA(appState.systemIniPath, GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    CloseHandle(file);
    return TRUE;
}

void ReadSystemIniStamp(FileStamp* stamp)
{
    ZeroMemory(stamp, sizeof *stamp);
    if (appState.systemIniPath[0] == '\0')
        return;
    // FindFirstFileA rather than GetFileAttributesExA, which Windows 95 lacks.
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(appState.systemIniPath, &data);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    stamp->sizeLow = data.nFileSizeLow;
    stamp->sizeHigh = data.nFileSizeHigh;
    stamp->written = data.ftLastWriteTime;
}

BOOL IsSameStamp(const FileStamp* a, const FileStamp* b)
{
    return a->sizeLow == b->sizeLow && a->sizeHigh == b->sizeHigh
        && CompareFileTime(&a->written, &b->written) == 0;
}

void WriteDesktopValue(const char* name, int value)
{
    char text[INT_TEXT_SIZE];
    int length = wsprintfA(text, "%d", value);
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, length + 1);
    RegCloseKey(key);
}

UINT ReadSystemActiveFlag()
{
    BOOL active = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active ? 1 : 0;
}

UINT ReadSystemTimeoutSeconds()
{
    UINT seconds = 0;
    SystemParametersInfoA(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0);
    return seconds;
}

void SetSystemActiveFlag(UINT active)
{
    // Without SPIF_UPDATEINIFILE: the program writes the registry itself.
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active, NULL, SPIF_SENDWININICHANGE);
}

void StoreActiveFlag(UINT active)
{
    WriteDesktopValue(VALUE_SCREEN_SAVE_ACTIVE, (int)active);
    SetSystemActiveFlag(active);
}

// Under Wine the flag belongs to the display driver, which a windowless
// process loads only with the first call that needs the display; before it,
// the process reads and sets a private copy that no tray copy sees. On
// Windows the call only asks for the screen width.
UINT ReadActiveFlagWindowless()
{
    GetSystemMetrics(SM_CXSCREEN);
    return ReadSystemActiveFlag();
}

void SetSystemTimeoutSeconds(UINT seconds)
{
    SystemParametersInfoA(SPI_SETSCREENSAVETIMEOUT, seconds, NULL, SPIF_SENDWININICHANGE);
}

void FormatSaverCommand(char* out, const char* path, const char* args)
{
    // Unquoted, a path under "C:\Program Files" would start "C:\Program.exe".
    lstrcpyA(out, "\"");
    lstrcpynA(out + 1, path, MAX_PATH);
    lstrcatA(out, "\"");
    if (args[0] != '\0') {
        lstrcatA(out, " ");
        lstrcatA(out, args);
    }
}

UINT RunSaverCommand(const char* commandLine, UINT showCommand)
{
    return WinExec(commandLine, showCommand);
}
