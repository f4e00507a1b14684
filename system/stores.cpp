#include "system/system.h"
#include "app/app.h"
#include "settings/settings.h"

namespace {

constexpr char BOOT_SECTION[] = "boot";
constexpr char SCRNSAVE_KEY[] = "SCRNSAVE.EXE";
constexpr char DESKTOP_KEY[] = "Control Panel\\desktop";
constexpr int INT_TEXT_SIZE = 16;
constexpr int COMMAND_LINE_SIZE = MAX_PATH + 8;   // quotes and " /s" around a path


// The password on resume through the system parameters: Windows Vista and
// later answer them, older systems and Wine 8 fail them (older headers lack
// the names).
constexpr UINT SPI_GET_SECURE = 0x0076;   // SPI_GETSCREENSAVESECURE
constexpr UINT SPI_SET_SECURE = 0x0077;   // SPI_SETSCREENSAVESECURE
constexpr char VALUE_SECURE_NT[] = "ScreenSaverIsSecure";     // REG_SZ "0" or "1"
constexpr char VALUE_SECURE_9X[] = "ScreenSaveUsePassword";   // a 4-byte number, REG_DWORD or REG_BINARY

void SetDesktopData(const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, (const BYTE*)data, size);
    RegCloseKey(key);
}

// The value that holds the password flag where the system parameters do not:
// NULL where the system has none (Win32s).
const char* SecureValueName()
{
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        return VALUE_SECURE_NT;
    return version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? VALUE_SECURE_9X : NULL;
}

// A desktop value as a number, text in decimal digits or a number of up to
// 4 bytes, and its type (REG_NONE when absent: 0). FALSE when the key cannot
// be opened.
BOOL ReadDesktopNumber(const char* name, DWORD* number, DWORD* type)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, DESKTOP_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return FALSE;
    BYTE data[INT_TEXT_SIZE];
    ZeroMemory(data, sizeof data);
    DWORD size = sizeof data - 1;   // text keeps a NUL after it
    if (RegQueryValueExA(key, name, NULL, type, data, &size) != ERROR_SUCCESS)
        *type = REG_NONE;
    RegCloseKey(key);
    *number = 0;
    if (*type != REG_SZ) {
        CopyMemory(number, data, *type == REG_NONE ? 0 : sizeof *number);
        return TRUE;
    }
    for (const BYTE* digit = data; *digit >= '0' && *digit <= '9'; ++digit)
        *number = *number * 10 + (*digit - '0');
    return TRUE;
}

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
        && a->written.dwLowDateTime == b->written.dwLowDateTime
        && a->written.dwHighDateTime == b->written.dwHighDateTime;
}

void WriteDesktopValue(const char* name, int value)
{
    char text[INT_TEXT_SIZE];
    int length = wsprintfA(text, "%d", value);
    SetDesktopData(name, REG_SZ, text, length + 1);
}

int ReadSecureFlag()
{
    BOOL secure = FALSE;
    if (SystemParametersInfoA(SPI_GET_SECURE, 0, &secure, 0))
        return secure ? 1 : 0;
    const char* name = SecureValueName();
    DWORD number;
    DWORD type;
    if (!name || !ReadDesktopNumber(name, &number, &type))
        return SECURE_NONE;
    return number ? 1 : 0;
}

void StoreSecureFlag(UINT secure)
{
    BOOL known;
    if (SystemParametersInfoA(SPI_GET_SECURE, 0, &known, 0)) {
        SystemParametersInfoA(SPI_SET_SECURE, secure, NULL, SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
        return;
    }
    const char* name = SecureValueName();
    if (name == VALUE_SECURE_NT) {
        WriteDesktopValue(name, (int)secure);
        return;
    }
    // Windows 9x reads a number of 4 bytes, which the Display control panel
    // may have stored as binary: the type found stays.
    DWORD number;
    DWORD type;
    if (name && ReadDesktopNumber(name, &number, &type))
        SetDesktopData(name, type == REG_BINARY ? REG_BINARY : REG_DWORD, &secure, sizeof(DWORD));
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

BOOL IsRunnableSaverPath(const char* path)
{
    // Windows completes a name without a folder from NAPKIT's own folder,
    // the current one, the system folders and PATH, and tries it with
    // ".exe" added when it has no extension: the placeholder "Nothing!"
    // would start a "Nothing!.exe" planted in any of them, "foo.scr" the
    // current folder's, "C:\x\saver" a "C:\x\saver.exe" beside it.
    // A letter of either case (0x20 makes it lower case), ":\".
    BOOL drive = (UINT)((path[0] | 0x20) - 'a') < 26 && path[1] == ':' && path[2] == '\\';
    BOOL unc = path[0] == '\\' && path[1] == '\\';
    if (!drive && !unc)
        return FALSE;
    // '"' would end the quoted path early and pass the rest as arguments,
    // '*' and '?' would make the search below match other names; none is
    // ever the second byte of a double-byte character, but '\' is: walk
    // characters. The name after the last '\' needs an extension.
    BOOL extension = FALSE;
    for (const char* p = path; *p; p = CharNextA(p)) {
        if (*p == '"' || *p == '*' || *p == '?')
            return FALSE;
        if (*p == '\\' || *p == '.')
            extension = *p == '.' && p[1] != '\0';
    }
    // A file, not a folder ("\\server\share" is one).
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(search);
    return extension && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL RunSaver(const char* path, const char* args, UINT showCommand)
{
    if (!IsRunnableSaverPath(path))
        return FALSE;
    // Unquoted, a path under "C:\Program Files" would start "C:\Program.exe".
    char command[COMMAND_LINE_SIZE];
    wsprintfA(command, args[0] ? "\"%s\" %s" : "\"%s\"", path, args);
    // WinExec starts the saver in NAPKIT's current folder, where it would
    // look for its DLLs and files first. It gets its own folder, and NAPKIT's
    // (up to 259 characters, or it is not left) comes back at once:
    // catalogue builds take saverbox from it.
    char previous[MAX_PATH];
    char folder[MAX_PATH];
    lstrcpynA(folder, path, (int)(FileNameOf(path) - path) + 1);
    DWORD length = GetCurrentDirectoryA(MAX_PATH, previous);
    BOOL moved = length - 1 < MAX_PATH - 1 && SetCurrentDirectoryA(folder);
    UINT result = WinExec(command, showCommand);
    if (moved)
        SetCurrentDirectoryA(previous);
    return result >= MIN_STARTED_RESULT;
}
