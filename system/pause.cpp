#include "system/system.h"
#include "app/app.h"
#include "settings/settings.h"
#include "ui/ui.h"
#include "res/resource.h"

namespace {

constexpr ULONGLONG FILETIME_TICKS_PER_SECOND = 10000000;
constexpr ULONGLONG FILETIME_UNIX_EPOCH = 116444736000000000ULL;   // 1970-01-01 in FILETIME ticks
constexpr DWORD MS_PER_SECOND = 1000;
// No pause reaches further ahead; a stored end that does was not written by one.
constexpr UINT MAX_AHEAD_SECONDS = MAX_PAUSE_MINUTES * SECONDS_PER_MINUTE;
constexpr int MAX_STORED_DIGITS = 10;   // as many as the seconds of a UINT
constexpr ULONGLONG MALFORMED_END = ~0ULL;   // beyond any limit
constexpr int STORED_TEXT_SIZE = 16;
constexpr char END_TEXT_FORMAT[] = "%02d:%02d";
constexpr char PAUSE_FORMAT[] = "スクリーンセーバーを %s まで「無効」にしました。";
constexpr int MESSAGE_SIZE = 128;

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
    wsprintfA(appState.pauseEndText, END_TEXT_FORMAT, clock.wHour, clock.wMinute);
}

// The length is elapsed time, not the wall clock: a clock set back or forward
// meanwhile changes nothing. GetTickCount goes on while the machine sleeps
// (Windows 9x and NT alike), so a pause that ended during a sleep ends at the
// first tick after waking; PollPause's unsigned difference stays right across
// the count's wrap after 49.7 days.
void RunPause(UINT endSeconds, DWORD lengthMs)
{
    appState.pausing = 1;
    appState.pauseStartTicks = GetTickCount();
    appState.pauseLengthMs = lengthMs;
    FormatEndText(endSeconds);
}

void ForgetStoredEnd()
{
    WriteSettingText(SECTION_ACTION, KEY_PAUSE_UNTIL, NULL);
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

void StartPause(HWND owner, int minutes)
{
    if (minutes < MIN_PAUSE_MINUTES || minutes > MAX_PAUSE_MINUTES)
        return;
    UINT item = 0;
    for (int i = 0; i < (int)ARRAYSIZE(PAUSE_MINUTES); ++i) {
        if (PAUSE_MINUTES[i] == minutes)
            item = IDM_PAUSE_30 + i;
    }
    CheckRadioItem(item, &appState.pauseItem);
    UINT end = ReadCalendarSeconds() + (UINT)minutes * SECONDS_PER_MINUTE;
    char text[STORED_TEXT_SIZE];
    wsprintfA(text, "%u", end);
    WriteSettingText(SECTION_ACTION, KEY_PAUSE_UNTIL, text);
    RunPause(end, (DWORD)minutes * SECONDS_PER_MINUTE * MS_PER_SECOND);
    // As the off item does: the stores, the check, the icon, then the box.
    appState.screenSaveActive = 0;
    StoreActiveFlag(0);
    CheckRadioItem(IDM_STATE_OFF, &appState.stateItem);
    UpdateTrayTip();
    if (!(appState.messageFlags & MESSAGE_ON_STATE))
        return;
    char message[MESSAGE_SIZE];
    wsprintfA(message, PAUSE_FORMAT, appState.pauseEndText);
    MessageBoxA(owner, message, APP_NAME, MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
}

void EndPause()
{
    if (!appState.pausing)
        return;
    appState.pausing = 0;
    CheckRadioItem(0, &appState.pauseItem);
    ForgetStoredEnd();
}

void PollPause()
{
    if (!appState.pausing)
        return;
    // Switched on elsewhere, the pause is over: nothing to switch back.
    if (!appState.screenSaveActive
        && GetTickCount() - appState.pauseStartTicks < appState.pauseLengthMs)
        return;
    UINT expired = appState.screenSaveActive ^ 1;
    EndPause();
    if (expired) {
        // As the on item does, but without a box: the user is away.
        appState.screenSaveActive = 1;
        StoreActiveFlag(1);
        CheckRadioItem(IDM_STATE_ON, &appState.stateItem);
    }
    UpdateTrayTip();
}

void EndPauseSwitchingOn()
{
    if (!appState.pausing)
        return;
    EndPause();
    StoreActiveFlag(1);
    // Under Wine the set reaches the X server only with the next round trip;
    // this read is one, so the process cannot end before it.
    ReadSystemActiveFlag();
}

BOOL ResumeStoredPause(BOOL canResume)
{
    char text[STORED_TEXT_SIZE];
    ReadSettingText(SECTION_ACTION, KEY_PAUSE_UNTIL, NOTHING_TEXT, text, sizeof text);
    if (lstrcmpA(text, NOTHING_TEXT) == 0)
        return FALSE;
    ULONGLONG end = ParseStoredEnd(text);
    UINT now = ReadCalendarSeconds();
    if (end > now && end <= (ULONGLONG)now + MAX_AHEAD_SECONDS) {
        if (canResume)
            RunPause((UINT)end, (DWORD)(end - now) * MS_PER_SECOND);
        return FALSE;
    }
    ForgetStoredEnd();
    if (end > now)
        return FALSE;   // malformed or absurd: ignored
    // The pause ended while no copy ran; this may be a windowless process.
    if (ReadActiveFlagWindowless())
        return FALSE;
    StoreActiveFlagWindowless(1);
    return TRUE;
}
