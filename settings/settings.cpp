#include "settings/settings.h"
#include "app/app.h"
#include "res/resource.h"

namespace {

constexpr char INI_NAME[] = "NAPKIT.INI";
constexpr char SYSTEM_INI_NAME[] = "SYSTEM.INI";
constexpr int INT_TEXT_SIZE = 16;

}  // namespace

BOOL JoinPath(char* out, const char* dir, const char* name)
{
    out[0] = '\0';
    // A drive root (C:\) ends in its separator already. The last byte
    // alone cannot tell: 0x5C is also the second byte of characters such as
    // 表, so the last character is found from the start.
    int length = lstrlenA(dir);
    const char* last = CharPrevA(dir, dir + length);
    int separator = length > 0 && *last == '\\' ? 0 : 1;
    if (length + separator + lstrlenA(name) > MAX_PATH - 1)
        return FALSE;
    lstrcpyA(out, dir);
    if (separator)
        lstrcatA(out, "\\");
    lstrcatA(out, name);
    return TRUE;
}

void InitPaths()
{
    if (appState.pathsReady == PATHS_READY)
        return;

    char dir[MAX_PATH];
    // A directory that does not fit the buffer (or fails) leaves the settings
    // file unset: defaults are read and nothing is written anywhere else.
    DWORD length = GetCurrentDirectoryA(MAX_PATH, dir);
    if (length == 0 || length >= MAX_PATH)
        dir[0] = '\0';
    if (dir[0] == '\0' || !JoinPath(appState.iniPath, dir, INI_NAME))
        appState.iniPath[0] = '\0';

    length = GetWindowsDirectoryA(dir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !JoinPath(appState.systemIniPath, dir, SYSTEM_INI_NAME))
        appState.systemIniPath[0] = '\0';

    appState.pathsReady = PATHS_READY;
}

int ReadSettingInt(const char* section, const char* key, int defaultValue)
{
    if (appState.iniPath[0] == '\0')
        return defaultValue;
    return (int)GetPrivateProfileIntA(section, key, defaultValue, appState.iniPath);
}

void ReadSettingText(const char* section, const char* key, const char* defaultText,
                     char* out, int outSize)
{
    if (appState.iniPath[0] == '\0') {
        lstrcpynA(out, defaultText, outSize);
        return;
    }
    GetPrivateProfileStringA(section, key, defaultText, out, outSize, appState.iniPath);
}

BOOL WriteSettingInt(const char* section, const char* key, int value)
{
    char text[INT_TEXT_SIZE];
    wsprintfA(text, "%d", value);
    return WriteSettingText(section, key, text);
}

BOOL WriteSettingText(const char* section, const char* key, const char* text)
{
    if (appState.iniPath[0] == '\0')
        return FALSE;
    return WritePrivateProfileStringA(section, key, text, appState.iniPath);
}

int ReadAppMode()
{
    InitPaths();
    return ReadSettingInt(SECTION_ACTION, KEY_APP_MODE, DEFAULT_APP_MODE);
}

void LoadDblClickAction(UINT* item)
{
    int value = ReadSettingInt(SECTION_ACTION, KEY_DBLCLICK, DEFAULT_DBLCLICK);
    if (value < 0 || value > DBLCLICK_VALUE_LIMIT)
        value = DBLCLICK_UNKNOWN_VALUE;
    *item = IDM_DBLCLICK_START + value;
}

void SaveDblClickAction(const UINT* item)
{
    WriteSettingInt(SECTION_ACTION, KEY_DBLCLICK, (int)(*item - IDM_DBLCLICK_START));
}

void LoadCommandWait(int* waitMs)
{
    // A negative wait (only from editing the file) is none, and is written
    // back as 0 like one typed into the dialog, also after Cancel. A wait
    // above MAX_COMMAND_WAIT_MS is kept as stored: CommandWaitMs bounds the
    // sleep, and the dialog shows and Cancel writes back what the user set.
    *waitMs = ReadSettingInt(SECTION_ACTION, KEY_COMMAND_WAIT, DEFAULT_COMMAND_WAIT_MS);
    if (*waitMs < 0)
        *waitMs = 0;
}

void SaveCommandWait(const int* waitMs)
{
    WriteSettingInt(SECTION_ACTION, KEY_COMMAND_WAIT, *waitMs);
}

const char* FileNameOf(const char* path)
{
    // 0x5C is also the second byte of characters such as 表: walk characters.
    const char* name = path;
    for (const char* p = path; *p; p = CharNextA(p)) {
        if (*p == '\\')
            name = p + 1;
    }
    return name;
}
