// The system's screen-saver stores (SYSTEM.INI, the Control Panel\desktop
// registry key, system parameters) and the actions built on them.
#pragma once
#include <windows.h>

constexpr char NOTHING_TEXT[] = "Nothing!";   // SCRNSAVE.EXE absent: no saver set
constexpr char VALUE_SCREEN_SAVE_ACTIVE[] = "ScreenSaveActive";
constexpr char VALUE_SCREEN_SAVE_TIMEOUT[] = "ScreenSaveTimeOut";
constexpr int SECONDS_PER_MINUTE = 60;
constexpr int MIN_STARTED_RESULT = 32;   // WinExec results above 31 mean started
constexpr int COMMAND_LINE_SIZE = MAX_PATH + 8;   // quotes and " /s" around a path
constexpr char SAVER_RUN_ARGS[] = "/s";   // a saver started to run, not to show its settings

// A file's size and last write, all zero when it does not exist.
struct FileStamp {
    DWORD sizeLow;
    DWORD sizeHigh;
    FILETIME written;
};

// stores.cpp
void ReadConfiguredSaver(char* saver);   // MAX_PATH bytes
BOOL WriteConfiguredSaver(const char* saver);   // FALSE when SYSTEM.INI was not written
BOOL CanWriteSystemIni();
void ReadSystemIniStamp(FileStamp* stamp);
BOOL IsSameStamp(const FileStamp* a, const FileStamp* b);
void WriteDesktopValue(const char* name, int value);
UINT ReadSystemActiveFlag();
UINT ReadSystemTimeoutSeconds();
void SetSystemActiveFlag(UINT active);
void StoreActiveFlag(UINT active);   // the registry's value, then the system's flag
void SetSystemTimeoutSeconds(UINT seconds);
// Builds "\"path\"" followed by args (may be empty) into out
// (COMMAND_LINE_SIZE bytes); the quotes keep a path with blanks whole.
void FormatSaverCommand(char* out, const char* path, const char* args);
UINT RunSaverCommand(const char* commandLine, UINT showCommand);

// actions.cpp
int ToggleScreenSaveActive(HWND owner);
void ApplyTimeout(UINT item, HWND window);
void ApplyMinutes(int minutes);   // as the custom dialog confirmed with them
void StartScreenSaverNow(HWND window);
DWORD CommandWaitMs();   // commandWaitMs, a negative value counting as 0
void ShowToggleMessage(HWND owner, UINT nowActive);
