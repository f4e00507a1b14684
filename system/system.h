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
void SetSystemTimeoutSeconds(UINT seconds);
// Whether path may be run as a saver: a full path (X:\ or \\server\share\)
// to a file with an extension that exists, without '"'. "Nothing!", an empty
// value and a name relative to some folder are no saver.
BOOL IsRunnableSaverPath(const char* path);
// Runs the saver file path with args ("" opens its settings) from its own
// folder; FALSE, running nothing, when the path is not runnable or the start
// failed.
BOOL RunSaver(const char* path, const char* args, UINT showCommand);
// The password on resume: the system parameters where they answer, else the
// registry value of Windows NT or of Windows 9x.
constexpr int SECURE_NONE = -1;   // the system has no such setting
int ReadSecureFlag();   // 0, 1 or SECURE_NONE
void StoreSecureFlag(UINT secure);

// actions.cpp
// Who asks for the screen saver to be switched on or off. The source alone
// decides whether a temporary off (a pause) ends, where the flag is read, and
// which box follows: SwitchScreenSaver is the one way to switch.
enum SwitchSource {
    FROM_MENU,        // the tray's ON and OFF items: the menu's view of the flag
    FROM_TOGGLE,      // the switch hot key, a double-click
    FROM_FORWARDED,   // /on, /off, /toggle of a command-line copy: the flag as it is now
    FROM_ALONE,       // /on, /off, /toggle with no copy running: no window, no box
    FROM_ONE_SHOT,    // one-shot mode: no window, the box always
    FROM_PAUSE,       // a pause begins: its own box
    FROM_OFF_END,     // a temporary off is over (its time, the full-screen window gone): no box
    FROM_RESTORE,     // the program ends during a temporary off: on, no box
    FROM_STALE_OFF,   // a stored off found over at a start: on, no window, no box
    FROM_HOLD,        // a full-screen window of another program is in front: off, no box
};
constexpr int WISH_OFF = 0;
constexpr int WISH_ON = 1;
constexpr int WISH_FLIP = 2;
UINT SwitchScreenSaver(HWND owner, SwitchSource source, int wish);   // the flag afterwards
void ApplyTimeout(UINT item, HWND window);
BOOL ApplyMinutes(int minutes);   // as the custom dialog confirmed with them; FALSE: out of range
void StartScreenSaverNow(HWND window);
// The password flag as wished (WISH_*); FALSE where the system has no such setting.
BOOL SwitchSecure(int wish);
DWORD CommandWaitMs();   // commandWaitMs, a negative value counting as 0
// A box that tells the outcome of a command. At most one is open: while it
// is, its loop still takes switches, and they act without a box of their own.
void ShowOutcomeBox(HWND owner, const char* text, UINT style);

// pause.cpp: a temporary off, the screen saver off for a while and on again by
// itself: a pause, whose end, in seconds since 1970 (UTC), is kept in
// NAPKIT.INI while it runs, or a hold while a full-screen window of another
// program is in front, which NAPKIT.INI records too. So a copy killed or a
// machine restarted meanwhile cannot leave the saver off.
constexpr int PAUSE_MINUTES[] = { 30, 60, 120 };   // the items IDM_PAUSE_30 onwards
constexpr int MIN_PAUSE_MINUTES = 1;
constexpr int MAX_PAUSE_MINUTES = 1440;
constexpr UINT OFF_NONE = 0;
constexpr UINT OFF_PAUSE = 1;
constexpr UINT OFF_HOLD = 2;
UINT ReadCalendarSeconds();   // the wall clock, in seconds since 1970 (UTC)
// Also during a pause: it starts again. FALSE, after a box, when its end
// could not be stored: then no pause runs.
BOOL StartPause(HWND owner, int minutes);
void EndTemporaryOff();           // an explicit choice: nothing is switched back
// Whatever loop runs (the main window's, a dialog's): an end reached switches
// the saver on, without a box. TRUE when it did.
BOOL CheckTemporaryOffEnd();
// Each poll: also the flag set on elsewhere ends it; with [Action] FullScreenOff
// a full-screen window of another program in front starts a hold.
void PollTemporaryOff();
void ToggleFullScreenOff();       // the menu item: the setting, and a hold ends with it
void RestoreTemporaryOff();       // the program ends: the saver must not stay off
// A stored end within the next 24 hours is resumed when canResume (tray mode)
// and otherwise kept; any other stored value, and a stored hold, means the
// temporary off is over: the key goes and the saver is switched on. TRUE when
// that switched it on.
BOOL ResumeStoredOff(BOOL canResume);
void ForgetStoredOff();   // a windowless process's explicit choice: no stored end is resumed
