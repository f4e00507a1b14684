// The system's screen-saver stores (SYSTEM.INI, the Control Panel\desktop
// registry key, system parameters) and the actions built on them.
#pragma once
#include <windows.h>

constexpr char NOTHING_TEXT[] = "Nothing!";   // SCRNSAVE.EXE absent: no saver set
constexpr char VALUE_SCREEN_SAVE_ACTIVE[] = "ScreenSaveActive";
constexpr char VALUE_SCREEN_SAVE_TIMEOUT[] = "ScreenSaveTimeOut";
constexpr int SECONDS_PER_MINUTE = 60;
constexpr int MIN_STARTED_RESULT = 32;   // WinExec results above 31 mean started
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
// The same for a process without a window (the command line, one-shot mode).
UINT ReadActiveFlagWindowless();
void StoreActiveFlagWindowless(UINT active);   // read back before it returns
void SetSystemTimeoutSeconds(UINT seconds);
// Whether path may be run as a saver: a full path (X:\ or \\server\share\)
// to a file with an extension that exists, without '"'. "Nothing!", an empty
// value and a name relative to some folder are no saver.
BOOL IsRunnableSaverPath(const char* path);
// Runs the saver file path with args ("" opens its settings) from its own
// folder; FALSE, running nothing, when the path is not runnable or the start
// failed.
BOOL RunSaver(const char* path, const char* args, UINT showCommand);

// actions.cpp
int ToggleScreenSaveActive(HWND owner);
void ApplyTimeout(UINT item, HWND window);
void ApplyMinutes(int minutes);   // as the custom dialog confirmed with them
void StartScreenSaverNow(HWND window);
DWORD CommandWaitMs();   // commandWaitMs, a negative value counting as 0
void ShowToggleMessage(HWND owner, UINT nowActive);

// pause.cpp: the screen saver off for a while, then on by itself. Its end, in
// seconds since 1970 (UTC), is kept in NAPKIT.INI while it runs, so that a
// copy killed or a machine restarted during a pause cannot leave it off.
constexpr int PAUSE_MINUTES[] = { 30, 60, 120 };   // the items IDM_PAUSE_30 onwards
constexpr int MIN_PAUSE_MINUTES = 1;
constexpr int MAX_PAUSE_MINUTES = 1440;
UINT ReadCalendarSeconds();   // the wall clock, in seconds since 1970 (UTC)
void StartPause(HWND owner, int minutes);   // also during a pause: it starts again
void EndPause();               // early: nothing is switched back
void PollPause();              // each tick: an end reached, or the flag set on elsewhere
void EndPauseSwitchingOn();    // the program ends: the saver must not stay off
// A stored end that has passed switches the saver on; one ahead is resumed
// when canResume (tray mode) and otherwise kept; a malformed one is removed.
BOOL ResumeStoredPause(BOOL canResume);   // TRUE: a past end switched the saver on
