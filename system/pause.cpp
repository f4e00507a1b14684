#include "system/system.h"
#include "app/app.h"
#include "settings/settings.h"
#include "ui/ui.h"
#include "res/resource.h"

namespace {

constexpr ULONGLONG FILETIME_TICKS_PER_SECOND = 10000000;
constexpr ULONGLONG FILETIME_UNIX_EPOCH = 116444736000000000ULL;   // 1970-01-01 in FILETIME ticks
constexpr DWORD MS_PER_SECOND = 1000;
// No pause reaches further ahead; a stored end that does was not written by
// one that is still running (the clock was set back, say).
constexpr UINT MAX_AHEAD_SECONDS = MAX_PAUSE_MINUTES * SECONDS_PER_MINUTE;
constexpr int MAX_STORED_DIGITS = 10;   // as many as the seconds of a UINT
constexpr ULONGLONG MALFORMED_END = ~0ULL;   // beyond any limit
constexpr int STORED_TEXT_SIZE = 16;
constexpr char END_TEXT_FORMAT[] = "%02d:%02d";
constexpr char HOLD_TIP_TEXT[] = "全画面表示中";   // why a hold runs
constexpr char SHELL_DLL[] = "shell32.dll";
constexpr char USER_DLL[] = "user32.dll";
// SHQueryUserNotificationState's states that count as full screen.
constexpr int STATE_D3D_FULL_SCREEN = 3;
constexpr int STATE_PRESENTATION = 4;
constexpr DWORD MONITOR_NEAREST = 2;   // MONITOR_DEFAULTTONEAREST
constexpr int CLASS_NAME_SIZE = 16;
// The desktop (Windows 7 on draws it in a WorkerW) and the taskbar.
constexpr const char* SHELL_CLASSES[] = { "Progman", "WorkerW", "Shell_TrayWnd" };
struct MonitorArea {   // MONITORINFO, which the headers give only from Windows 2000 on
    DWORD size;
    RECT whole;
    RECT work;
    DWORD flags;
};
using QueryNotificationState = HRESULT(WINAPI*)(int* state);
using MonitorFromWindowProc = HANDLE(WINAPI*)(HWND window, DWORD flags);
using GetMonitorInfoProc = BOOL(WINAPI*)(HANDLE monitor, MonitorArea* info);
constexpr char NOT_STORED_TEXT[] =
    "NAPKIT.INI に書き込めないため、一時停止できません。\n"
    "スクリーンセーバーの状態は変わっていません。";

// Local "HH:MM" of endSeconds, for the tool-tip and the box.
void FormatEndText(UINT endSeconds)
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = endSeconds * FILETIME_TICKS_PER_SECOND + FILETIME_UNIX_EPOCH;
    FILETIME utc = { ticks.LowPart, ticks.HighPart };
    FILETIME local;
    SYSTEMTIME clock;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &clock);
    wsprintfA(appState.offEndText, END_TEXT_FORMAT, clock.wHour, clock.wMinute);
}

// The item of a pause of so many minutes; 0 when no item has that length.
UINT PauseItemOf(int minutes)
{
    for (int i = 0; i < (int)ARRAYSIZE(PAUSE_MINUTES); ++i) {
        if (PAUSE_MINUTES[i] == minutes)
            return IDM_PAUSE_30 + i;
    }
    return 0;
}

// The length is elapsed time, not the wall clock: a clock set back or forward
// meanwhile changes nothing. GetTickCount goes on while the machine sleeps
// (Windows 9x and NT alike), so a pause that ended during a sleep ends at the
// first check after waking; the unsigned difference stays right across the
// count's wrap after 49.7 days.
void RunPause(UINT endSeconds, DWORD lengthMs, int minutes)
{
    appState.offKind = OFF_PAUSE;
    appState.offStartTicks = GetTickCount();
    appState.offLengthMs = lengthMs;
    CheckRadioItem(PauseItemOf(minutes), &appState.pauseItem);
    FormatEndText(endSeconds);
}

// The stored end and the pause's length in minutes (for its check mark).
BOOL StoreEnd(UINT endSeconds, int minutes)
{
    char text[STORED_TEXT_SIZE];
    wsprintfA(text, "%u", endSeconds);
    if (!WriteSettingText(SECTION_ACTION, KEY_PAUSE_UNTIL, text))
        return FALSE;
    return WriteSettingInt(SECTION_ACTION, KEY_PAUSE_MINUTES, minutes);
}

void ForgetStoredEnd()
{
    WriteSettingText(SECTION_ACTION, KEY_PAUSE_UNTIL, NULL);
    WriteSettingText(SECTION_ACTION, KEY_PAUSE_MINUTES, NULL);
}

// 1 to 10 decimal digits; anything else is MALFORMED_END.
ULONGLONG ParseStoredEnd(const char* text)
{
    int length = lstrlenA(text);
    if (length < 1 || length > MAX_STORED_DIGITS)
        return MALFORMED_END;
    ULONGLONG seconds = 0;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9')
            return MALFORMED_END;
        seconds = seconds * 10 + (*text - '0');
    }
    return seconds;
}

BOOL HasStoredEnd()
{
    char text[STORED_TEXT_SIZE];
    ReadSettingText(SECTION_ACTION, KEY_PAUSE_UNTIL, NOTHING_TEXT, text, sizeof text);
    return lstrcmpA(text, NOTHING_TEXT) != 0;
}

// A function of a system DLL that the program imports anyway, or NULL where
// that system has no such function.
void* SystemProc(const char* module, const char* name)
{
    HMODULE loaded = GetModuleHandleA(module);
    return loaded ? (void*)GetProcAddress(loaded, name) : NULL;
}

// A presentation mode or a full-screen Direct3D program, where the system
// can tell (Windows Vista on; looked up here, so that Windows 9x still starts).
BOOL SystemSaysFullScreen()
{
    auto query = (QueryNotificationState)SystemProc(SHELL_DLL, "SHQueryUserNotificationState");
    int state = 0;
    return query && query(&state) == S_OK && (state == STATE_D3D_FULL_SCREEN || state == STATE_PRESENTATION);
}

// The monitor the window is on; the screen where the system knows of no
// monitors (Windows 95, NT 4.0).
void ReadMonitorRect(HWND window, RECT* area)
{
    SetRect(area, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    auto fromWindow = (MonitorFromWindowProc)SystemProc(USER_DLL, "MonitorFromWindow");
    auto readInfo = (GetMonitorInfoProc)SystemProc(USER_DLL, "GetMonitorInfoA");
    MonitorArea monitor = { sizeof monitor, {}, {}, 0 };
    if (fromWindow && readInfo && readInfo(fromWindow(window, MONITOR_NEAREST), &monitor))
        *area = monitor.whole;
}

BOOL IsShellWindow(HWND window)
{
    char name[CLASS_NAME_SIZE];
    GetClassNameA(window, name, sizeof name);
    for (const char* shell : SHELL_CLASSES) {
        if (lstrcmpA(name, shell) == 0)
            return TRUE;
    }
    return window == GetDesktopWindow();
}

BOOL IsOwnWindow(HWND window)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId();
}

// The foreground window when it belongs to another program and its client
// area covers its whole monitor (a maximized window keeps its caption out of
// it); NULL otherwise.
HWND FullScreenWindowInFront()
{
    HWND front = GetForegroundWindow();
    if (!front || IsOwnWindow(front) || IsShellWindow(front))
        return NULL;
    if (SystemSaysFullScreen())
        return front;
    RECT client;
    RECT area;
    GetClientRect(front, &client);
    MapWindowPoints(front, NULL, (POINT*)&client, 2);
    ReadMonitorRect(front, &area);
    BOOL covers = client.left <= area.left && client.top <= area.top && client.right >= area.right
                  && client.bottom >= area.bottom;
    return covers ? front : NULL;
}

// Nothing is switched back: the caller does, or it is an explicit choice.
void StopTemporaryOff()
{
    if (appState.offKind == OFF_HOLD) {
        WriteSettingText(SECTION_ACTION, KEY_FULL_SCREEN_HOLD, NULL);
    } else {
        CheckRadioItem(0, &appState.pauseItem);
        ForgetStoredEnd();
    }
    appState.offKind = OFF_NONE;
}

BOOL IsTemporaryOffOver()
{
    if (appState.offKind == OFF_PAUSE)
        return GetTickCount() - appState.offStartTicks >= appState.offLengthMs;
    if (!appState.fullScreenOff)
        return TRUE;
    // The tray menu, a box or a dialog of NAPKIT's own in front: the user is
    // choosing, maybe how the hold is to end.
    if (IsOwnWindow(GetForegroundWindow()))
        return FALSE;
    // Another full-screen window in front carries the hold on.
    HWND front = FullScreenWindowInFront();
    if (front)
        appState.holdWindow = front;
    return front == NULL;
}

void StartHold()
{
    HWND front = FullScreenWindowInFront();
    if (!front || front == appState.spentHoldWindow)
        return;
    // A hold that only memory knows of would leave the saver off for good if
    // the program were killed meanwhile.
    if (!WriteSettingInt(SECTION_ACTION, KEY_FULL_SCREEN_HOLD, 1))
        return;
    appState.offKind = OFF_HOLD;
    appState.holdWindow = front;
    lstrcpyA(appState.offEndText, HOLD_TIP_TEXT);
    SwitchScreenSaver(NULL, FROM_HOLD, WISH_OFF);
}

}  // namespace

UINT ReadCalendarSeconds()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return (UINT)((ticks.QuadPart - FILETIME_UNIX_EPOCH) / FILETIME_TICKS_PER_SECOND);
}

BOOL StartPause(HWND owner, int minutes)
{
    if (minutes < MIN_PAUSE_MINUTES || minutes > MAX_PAUSE_MINUTES)
        return FALSE;
    UINT end = ReadCalendarSeconds() + (UINT)minutes * SECONDS_PER_MINUTE;
    // A pause that only memory knows of would leave the saver off for good
    // if the program were killed meanwhile.
    if (!StoreEnd(end, minutes)) {
        ForgetStoredEnd();
        ReplyMessage(SWITCH_REFUSED);
        ShowOutcomeBox(owner, NOT_STORED_TEXT, MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    // A pause chosen during a hold is an explicit choice: the hold is over.
    if (appState.offKind == OFF_HOLD)
        EndTemporaryOff();
    RunPause(end, (DWORD)minutes * SECONDS_PER_MINUTE * MS_PER_SECOND, minutes);
    SwitchScreenSaver(owner, FROM_PAUSE, WISH_OFF);
    return TRUE;
}

void EndTemporaryOff()
{
    if (appState.offKind == OFF_HOLD)
        appState.spentHoldWindow = appState.holdWindow;
    if (appState.offKind != OFF_NONE)
        StopTemporaryOff();
}

BOOL CheckTemporaryOffEnd()
{
    if (appState.offKind == OFF_NONE || !IsTemporaryOffOver())
        return FALSE;
    StopTemporaryOff();
    // The user is away, or busy in another program: no box.
    SwitchScreenSaver(NULL, FROM_OFF_END, WISH_ON);
    return TRUE;
}

void PollTemporaryOff()
{
    if (CheckTemporaryOffEnd())
        return;
    // Switched on elsewhere, the temporary off is over: nothing to switch back.
    if (appState.offKind != OFF_NONE && appState.screenSaveActive) {
        EndTemporaryOff();
        UpdateTrayTip();
    }
    // Only a saver that runs is held off: one already off stays so.
    if (appState.fullScreenOff && appState.offKind == OFF_NONE && appState.screenSaveActive)
        StartHold();
}

void ToggleFullScreenOff()
{
    appState.fullScreenOff ^= 1;
    WriteSettingInt(SECTION_ACTION, KEY_FULL_SCREEN_OFF, appState.fullScreenOff);
    ShowFlagItems();
    // Switched off, a hold that runs ends as when its window goes.
    CheckTemporaryOffEnd();
}

void RestoreTemporaryOff()
{
    if (appState.offKind == OFF_NONE)
        return;
    StopTemporaryOff();
    SwitchScreenSaver(NULL, FROM_RESTORE, WISH_ON);
}

BOOL ResumeStoredOff(BOOL canResume)
{
    // A hold is never resumed: the copy that held was killed. A full-screen
    // window still in front starts a new one at the first poll.
    BOOL over = ReadSettingInt(SECTION_ACTION, KEY_FULL_SCREEN_HOLD, 0) != 0;
    if (over)
        WriteSettingText(SECTION_ACTION, KEY_FULL_SCREEN_HOLD, NULL);
    char text[STORED_TEXT_SIZE];
    ReadSettingText(SECTION_ACTION, KEY_PAUSE_UNTIL, NOTHING_TEXT, text, sizeof text);
    if (lstrcmpA(text, NOTHING_TEXT) != 0) {
        ULONGLONG end = ParseStoredEnd(text);
        UINT now = ReadCalendarSeconds();
        if (end > now && end <= (ULONGLONG)now + MAX_AHEAD_SECONDS) {
            if (canResume) {
                int minutes = ReadSettingInt(SECTION_ACTION, KEY_PAUSE_MINUTES, 0);
                RunPause((UINT)end, (DWORD)(end - now) * MS_PER_SECOND, minutes);
            }
            return FALSE;
        }
        // Passed while no copy ran, malformed, or too far ahead for any pause
        // (a clock set back): the pause is over.
        ForgetStoredEnd();
        over = TRUE;
    }
    // This may be a windowless process.
    if (!over || ReadActiveFlagWindowless())
        return FALSE;
    SwitchScreenSaver(NULL, FROM_STALE_OFF, WISH_ON);
    return TRUE;
}

void ForgetStoredOff()
{
    if (HasStoredEnd())
        ForgetStoredEnd();
}
