// Application shell: the one state record, the run modes and the main window.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include "system/system.h"

struct SaverEntry;

// All run-time state of the program. There is exactly one (appState), it
// lives for the whole process and starts zeroed.
struct AppState {
    // paths and handles
    HINSTANCE instance;
    char iniPath[MAX_PATH];         // empty when the path would not fit: no settings file
    char systemIniPath[MAX_PATH];   // empty when the path would not fit: no SYSTEM.INI
    int pathsReady;
    HMENU menuRoot;
    HMENU trayMenu;
    NOTIFYICONDATAA notifyData;
    HICON iconActive;
    HICON iconInactive;

    // mirror of the system's screen-saver settings
    UINT screenSaveActive;
    int timeoutMinutes;
    char currentSaver[MAX_PATH];

    // mirror of NAPKIT.INI
    UINT messageFlags;
    int randomAtStart;
    int useSaverName;
    int hotKeysEnabled;
    int commandWaitMs;

    // id of the checked item of each menu radio group
    UINT dblClickItem;
    UINT timeoutItem;
    UINT stateItem;
    UINT saverItem;

    // catalogue
    SaverEntry* cursor;
    int saverCount;
    int lastSaverIndex;
    int refreshing;
    int saverWriteFailed;     // SYSTEM.INI could not be written; the view shows what it holds
    FileStamp failedIniStamp; // SYSTEM.INI as it was when that write failed
    int failedIniProbe;       // whether CanWriteSystemIni accepted the file then

    // a temporary off: the screen saver off for a while (a pause), then on
    // by itself; its end is in NAPKIT.INI while it runs
    UINT offKind;             // OFF_NONE, OFF_PAUSE, OFF_HOLD
    UINT pauseItem;           // the pause's checked item; 0 when its length has none
    DWORD offStartTicks;      // GetTickCount at its start or resumption
    DWORD offLengthMs;
    char offEndText[16];      // a pause's end as local "HH:MM", or why a hold runs: for the tool-tip
    // the hold while a full-screen window is in front
    int fullScreenOff;        // [Action] FullScreenOff
    HWND holdWindow;          // the window a hold runs for
    HWND spentHoldWindow;     // an explicit choice ended a hold for it: no new hold

    int secureFlag;           // the password on resume: 0, 1 or SECURE_NONE

    // transient
    HWND openDialog;          // the dialog RunDialog is running, or NULL
    UINT startWaitDivisor;
    UINT valueDialogMode;
    int dlgMsgOnState;
    int dlgMsgOnChange;
    int dlgRandomAtStart;
    int dlgUseSaverName;
    int dlgValue;             // the value dialog's number, confirmed with OK
    int dlgAccepted;          // 1 once a dialog was closed with OK

    // guards against re-entry through the loops of message boxes
    int ready;                // WM_CREATE's set-up has finished: switches are taken
    int closing;              // the close has begun: nothing that follows a box runs
    int writeBoxOpen;         // the box about a failed SYSTEM.INI write is open
    int outcomeBoxOpen;       // a box telling a command's outcome is open (ShowOutcomeBox)
    int syncing;              // a resynchronisation has its box open
    int menuOpen;             // the tray menu is being shown
    int refreshPending;       // a refresh asked for while the menu was open
    int randomStartRetries;   // nested retries of a failed random start
    UINT taskbarCreatedMsg;   // registered "TaskbarCreated" message
    UINT switchMsg;           // registered SWITCH_MESSAGE

    // a box of the command line that ends by itself
    UINT_PTR boxTimer;        // its thread timer, or 0
    DWORD boxShownTicks;      // GetTickCount when it opened
};

extern AppState appState;

constexpr char APP_NAME[] = "NAPKIT";      // class, title, message-box caption
constexpr int MAIN_WINDOW_SIZE = 64;
constexpr UINT POLL_TIMER_ID = 100;
constexpr UINT POLL_INTERVAL_MS = 500;
constexpr UINT WM_TRAYNOTIFY = 0x83FC;
// A command-line copy sends its switch as the message registered under
// SWITCH_MESSAGE (a number of WM_APP's range may mean anything to a window of
// another program). wParam: MAKEWPARAM(menu command, minutes); the command as
// the menu's (the toggle as IDM_DBLCLICK_TOGGLE, the hot key's meaning), the
// minutes for IDM_TIMEOUT_CUSTOM (1-60), for IDM_PAUSE_30 the pause's length
// (1-1440), for IDM_SECURE the wish (WISH_ON or WISH_OFF). lParam: the tick
// count (GetTickCount) at which the command line first sent it. The answer is one of SWITCH_*; a window that does not
// know the message answers 0.
constexpr char SWITCH_MESSAGE[] = "NAPKIT.Switch";
constexpr LRESULT SWITCH_NOT_READY = 1;   // the set-up is still running: ask again
constexpr LRESULT SWITCH_TAKEN = 2;
constexpr LRESULT SWITCH_REFUSED = 3;     // the copy is closing, or the switch came too late
// A tray copy in a box of its own (the toggle's confirmation) or in its start
// wait answers late; a script is not held longer than this. A switch that
// reaches the copy this long after it was first sent is dropped: its command
// line has exited 1 by then, saying nothing was done.
constexpr DWORD FORWARD_TIMEOUT_MS = 10000;
constexpr int ONE_SHOT_MODE = 1;

// modes.cpp
BOOL IsForeignTimer(const MSG& msg);   // a WM_TIMER that names a procedure: never dispatched
ATOM RegisterMainWindowClass(HINSTANCE instance);
void RunOneShot();
BOOL StartConfiguredSaver();   // after the wait; FALSE when it could not be started
int RunTrayMode(HINSTANCE instance);
int RunNapkit(HINSTANCE instance);

// cmdline.cpp: the switches. Exit codes of a command-line run:
constexpr int EXIT_DONE = 0;
constexpr int EXIT_NOTHING_DONE = 1;    // no running copy to act on, or no saver started
constexpr int EXIT_BAD_SWITCH = 2;
// What follows the program's name in commandLine, as Windows wrote it; the
// name is that of the file modulePath names (the program's full path).
const char* SkipProgramName(const char* commandLine, const char* modulePath);
BOOL HasSwitches(const char* commandLine);
int RunCommandLine(const char* commandLine);
// The name NAPKIT (a window of that class and title) held by a window: whether
// its process runs a program file named NAPKIT.EXE (TRUE also where Windows
// cannot tell, as NT 4.0); the box that says another program holds it, which
// a command line's box ends by itself after COMMAND_LINE_BOX_MS.
BOOL IsNapkitWindow(HWND window);
void ShowNameTaken(BOOL closesBySelf);
constexpr DWORD COMMAND_LINE_BOX_MS = 30000;

// mainwindow.cpp
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PollSystemState(HWND window);
