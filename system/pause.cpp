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
    RunPause(end, (DWORD)minutes * SECONDS_PER_MINUTE * MS_PER_SECOND, minutes);
    SwitchScreenSaver(owner, FROM_PAUSE, WISH_OFF);
    return TRUE;
}

void EndTemporaryOff()
{
    if (appState.offKind == OFF_NONE)
        return;
    appState.offKind = OFF_NONE;
    CheckRadioItem(0, &appState.pauseItem);
    ForgetStoredEnd();
}

BOOL CheckTemporaryOffEnd()
{
    if (appState.offKind == OFF_NONE
        || GetTickCount() - appState.offStartTicks < appState.offLengthMs)
        return FALSE;
    EndTemporaryOff();
    // The user is away: no box.
    SwitchScreenSaver(NULL, FROM_OFF_END, WISH_ON);
    return TRUE;
}

void PollTemporaryOff()
{
    if (CheckTemporaryOffEnd())
        return;
    // Switched on elsewhere, the pause is over: nothing to switch back.
    if (appState.offKind != OFF_NONE && appState.screenSaveActive) {
        EndTemporaryOff();
        UpdateTrayTip();
    }
}

void RestoreTemporaryOff()
{
    if (appState.offKind == OFF_NONE)
        return;
    EndTemporaryOff();
    SwitchScreenSaver(NULL, FROM_RESTORE, WISH_ON);
}

BOOL ResumeStoredOff(BOOL canResume)
{
    char text[STORED_TEXT_SIZE];
    ReadSettingText(SECTION_ACTION, KEY_PAUSE_UNTIL, NOTHING_TEXT, text, sizeof text);
    if (lstrcmpA(text, NOTHING_TEXT) == 0)
        return FALSE;
    ULONGLONG end = ParseStoredEnd(text);
    UINT now = ReadCalendarSeconds();
    if (end > now && end <= (ULONGLONG)now + MAX_AHEAD_SECONDS) {
        if (canResume) {
            int minutes = ReadSettingInt(SECTION_ACTION, KEY_PAUSE_MINUTES, 0);
            RunPause((UINT)end, (DWORD)(end - now) * MS_PER_SECOND, minutes);
        }
        return FALSE;
    }
    // Passed while no copy ran, malformed, or too far ahead for any pause (a
    // clock set back): the pause is over. This may be a windowless process.
    ForgetStoredEnd();
    if (ReadActiveFlagWindowless())
        return FALSE;
    SwitchScreenSaver(NULL, FROM_STALE_OFF, WISH_ON);
    return TRUE;
}

void ForgetStoredOff()
{
    if (HasStoredEnd())
        ForgetStoredEnd();
}
