#include "app/app.h"
#include "catalogue/catalogue.h"
#include "settings/settings.h"
#include "system/system.h"
#include "ui/ui.h"
#include "res/resource.h"

namespace {

enum SwitchKind {
    SWITCH_BAD, SWITCH_ON, SWITCH_OFF, SWITCH_TOGGLE, SWITCH_START, SWITCH_RANDOM,
    SWITCH_TIMEOUT, SWITCH_REFRESH, SWITCH_EXIT, SWITCH_HELP, SWITCH_PAUSE, SWITCH_SECURE_ON,
    SWITCH_SECURE_OFF,
};

struct Switch {
    SwitchKind kind;
    int minutes;   // SWITCH_TIMEOUT and SWITCH_PAUSE; the wish of SWITCH_SECURE_*
};

struct SwitchName {
    const char* name;   // lower case, without the leading / or -
    SwitchKind kind;
};

constexpr SwitchName SWITCH_NAMES[] = {
    { "on", SWITCH_ON },         { "off", SWITCH_OFF },         { "toggle", SWITCH_TOGGLE },
    { "start", SWITCH_START },   { "random", SWITCH_RANDOM },   { "refresh", SWITCH_REFRESH },
    { "exit", SWITCH_EXIT },     { "?", SWITCH_HELP },
    { "secure:on", SWITCH_SECURE_ON }, { "secure:off", SWITCH_SECURE_OFF },
};
// Switches that carry minutes, 1 to maxMinutes in decimal digits.
struct MinutesSwitch {
    const char* prefix;   // lower case, without the leading / or -
    SwitchKind kind;
    int minMinutes;
    int maxMinutes;
};

constexpr MinutesSwitch MINUTES_SWITCHES[] = {
    { "timeout:", SWITCH_TIMEOUT, MIN_CUSTOM_MINUTES, MAX_CUSTOM_MINUTES },
    { "pause:", SWITCH_PAUSE, MIN_PAUSE_MINUTES, MAX_PAUSE_MINUTES },
};
constexpr int SWITCH_SIZE = 32;   // more than any valid switch holds

// A tray copy in a box of its own (the toggle's confirmation) or in its start
// wait answers late; a script is not held longer than this.
constexpr UINT FORWARD_TIMEOUT_MS = 10000;
constexpr DWORD RETRY_DELAY_MS = 100;
constexpr DWORD EXIT_WAIT_MS = 10000;

// One line a switch: the box must not wrap them.
constexpr char USAGE_TEXT[] =
    "使い方： NAPKIT.EXE [スイッチ]\n"
    "/on ： スクリーンセーバーを有効にする\n"
    "/off ： スクリーンセーバーを無効にする\n"
    "/toggle ： 有効と無効を切り替える\n"
    "/start ： 設定中のセーバーを起動する\n"
    "/random ： ランダムにセーバーを起動する\n"
    "/timeout:N ： 待ち時間を N 分にする (1～60)\n"
    "/pause:N ： N 分間だけ無効にする (1～1440、常駐中)\n"
    "/secure:on ： パスワードで保護する\n"
    "/secure:off ： パスワードで保護しない\n"
    "/refresh ： セーバー一覧を更新する (常駐中)\n"
    "/exit ： 常駐中の NAPKIT を終了する\n"
    "/? ： この説明を表示する\n"
    "（/ の代わりに - も使えます）";

BOOL IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

const char* SkipBlanks(const char* p)
{
    while (IsBlank(*p))
        ++p;
    return p;
}

// Whether text begins with the first length bytes of name, in any letter case,
// followed by a blank or the end.
BOOL BeginsWithName(const char* text, const char* name, int length)
{
    if (length <= 0 || length >= MAX_PATH)
        return FALSE;
    char head[MAX_PATH];
    char wanted[MAX_PATH];
    lstrcpynA(head, text, length + 1);   // shorter when text is
    lstrcpynA(wanted, name, length + 1);
    return lstrcmpiA(head, wanted) == 0 && (text[length] == '\0' || IsBlank(text[length]));
}

// "N" of /timeout:N or /pause:N, 1 to maxMinutes in decimal digits only; 0
// when malformed.
int ParseMinutes(const char* digits, int maxMinutes)
{
    int minutes = 0;
    if (*digits == '\0')
        return 0;
    for (; *digits; ++digits) {
        if (*digits < '0' || *digits > '9')
            return 0;
        minutes = minutes * 10 + (*digits - '0');
        if (minutes > maxMinutes)
            return 0;
    }
    return minutes;
}

// Exactly one switch, / or - and a name in any letter case, in quotes or not
// (a shortcut or a task may quote it). Blanks and tabs separate switches; a
// blank byte is never part of a double-byte character.
Switch ParseSwitches(const char* commandLine)
{
    Switch result = { SWITCH_BAD, 0 };
    const char* start = SkipBlanks(commandLine);
    const char* end = start;
    while (*end && !IsBlank(*end))
        ++end;
    int length = (int)(end - start);
    if (length >= 2 && start[0] == '"' && end[-1] == '"') {
        ++start;
        length -= 2;
    }
    if (*SkipBlanks(end) != '\0' || length < 2 || length >= SWITCH_SIZE
        || (start[0] != '/' && start[0] != '-'))
        return result;
    char name[SWITCH_SIZE];
    lstrcpynA(name, start + 1, length);   // the name without the prefix
    CharLowerA(name);
    for (const SwitchName& known : SWITCH_NAMES) {
        if (lstrcmpA(name, known.name) == 0) {
            result.kind = known.kind;
            result.minutes = known.kind == SWITCH_SECURE_ON ? WISH_ON : WISH_OFF;
            return result;
        }
    }
    for (const MinutesSwitch& known : MINUTES_SWITCHES) {
        char prefix[SWITCH_SIZE];
        int prefixSize = lstrlenA(known.prefix) + 1;
        lstrcpynA(prefix, name, prefixSize);
        if (lstrcmpA(prefix, known.prefix) != 0)
            continue;
        result.minutes = ParseMinutes(name + prefixSize - 1, known.maxMinutes);
        if (result.minutes >= known.minMinutes)
            result.kind = known.kind;
        return result;
    }
    return result;
}

void ShowUsage(UINT icon)
{
    MessageBoxA(NULL, USAGE_TEXT, APP_NAME, MB_OK | icon | MB_SYSTEMMODAL);
}

// The menu command that stands for a switch in WM_SWITCH.
UINT SwitchCommand(SwitchKind kind)
{
    switch (kind) {
    case SWITCH_ON:
        return IDM_STATE_ON;
    case SWITCH_OFF:
        return IDM_STATE_OFF;
    case SWITCH_TOGGLE:
        return IDM_DBLCLICK_TOGGLE;
    case SWITCH_START:
        return IDM_START_NORMAL;
    case SWITCH_RANDOM:
        return IDM_START_RANDOM;
    case SWITCH_TIMEOUT:
        return IDM_TIMEOUT_CUSTOM;
    case SWITCH_REFRESH:
        return IDM_REFRESH;
    case SWITCH_PAUSE:
        return IDM_PAUSE_30;   // the minutes go with it
    case SWITCH_SECURE_ON:
    case SWITCH_SECURE_OFF:
        return IDM_SECURE;     // the wish goes as the minutes
    default:   // SWITCH_EXIT: bad switches and /? never get here
        return IDM_EXIT;
    }
}

// Sends the switch until the running copy has taken it; a copy still in its
// set-up answers that it is not ready, and is asked again.
BOOL SendSwitch(HWND window, const Switch& command)
{
    UINT id = SwitchCommand(command.kind);
    DWORD begin = GetTickCount();
    for (;;) {
        DWORD waited = GetTickCount() - begin;
        if (waited >= FORWARD_TIMEOUT_MS)
            return FALSE;
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(window, WM_SWITCH, id, command.minutes, SMTO_NORMAL,
                                 FORWARD_TIMEOUT_MS - waited, &answer))
            return FALSE;   // gone, or it did not answer in time
        if (answer != SWITCH_NOT_READY)
            return answer == SWITCH_TAKEN;
        Sleep(RETRY_DELAY_MS);
    }
}

// The running copy handles the switch as the matching menu command (its
// boxes, its settings); this process waits until it has.
int Forward(HWND window, const Switch& command)
{
    // The process, not the window: its single-copy mutex lives until the
    // process is gone, and a copy started before that would give way.
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    BOOL done = SendSwitch(window, command);
    if (done && command.kind == SWITCH_EXIT)
        done = process && WaitForSingleObject(process, EXIT_WAIT_MS) == WAIT_OBJECT_0;
    if (process)
        CloseHandle(process);
    return done ? EXIT_DONE : EXIT_NOTHING_DONE;
}

void SetTimeoutMinutes(int minutes)
{
    UINT seconds = (UINT)minutes * SECONDS_PER_MINUTE;
    SetSystemTimeoutSeconds(seconds);
    WriteDesktopValue(VALUE_SCREEN_SAVE_TIMEOUT, (int)seconds);
}

BOOL StartRandomSaver()
{
    LoadCommandWait(&appState.commandWaitMs);
    BOOL started = BuildSaverCatalogue(NULL) && RunRandomSaver();
    FreeSaverCatalogue();
    return started;
}

// No tray copy: the system's settings directly, without a box.
int RunAlone(const Switch& command)
{
    InitPaths();
    // A pause that ended meanwhile is honoured. That switched the saver on
    // from off, which is what a toggle asks.
    BOOL switchedOn = ResumeStoredOff(FALSE);
    switch (command.kind) {
    case SWITCH_TOGGLE:
        SwitchScreenSaver(NULL, FROM_ALONE, switchedOn ? WISH_ON : WISH_FLIP);
        return EXIT_DONE;
    case SWITCH_ON:
    case SWITCH_OFF:
        SwitchScreenSaver(NULL, FROM_ALONE, command.kind == SWITCH_ON ? WISH_ON : WISH_OFF);
        return EXIT_DONE;
    case SWITCH_TIMEOUT:
        SetTimeoutMinutes(command.minutes);
        return EXIT_DONE;
    case SWITCH_SECURE_ON:
    case SWITCH_SECURE_OFF:
        return SwitchSecure(command.minutes) ? EXIT_DONE : EXIT_NOTHING_DONE;
    case SWITCH_START:
        return StartConfiguredSaver() ? EXIT_DONE : EXIT_NOTHING_DONE;
    case SWITCH_RANDOM:
        return StartRandomSaver() ? EXIT_DONE : EXIT_NOTHING_DONE;
    default:
        return EXIT_NOTHING_DONE;   // refresh, exit and pause need a running copy
    }
}

}  // namespace

const char* SkipProgramName(const char* commandLine, const char* modulePath)
{
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            p = CharNextA(p);
        return *p == '"' ? p + 1 : p;
    }
    // Unquoted, the name may hold blanks (C:\my tools\NAPKIT.EXE, from the Run
    // key, WinExec or a batch file): the program's own path, with or without
    // its extension, is taken whole.
    const char* extension = NULL;
    for (const char* q = modulePath; *q; q = CharNextA(q)) {
        if (*q == '.')
            extension = q;
        if (*q == '\\')
            extension = NULL;
    }
    int pathLength = lstrlenA(modulePath);
    if (BeginsWithName(commandLine, modulePath, pathLength))
        return commandLine + pathLength;
    int stemLength = extension ? (int)(extension - modulePath) : 0;
    if (BeginsWithName(commandLine, modulePath, stemLength))
        return commandLine + stemLength;
    // Otherwise the name ends at the first blank, walked by characters: the C
    // runtime's lpCmdLine also stops at any byte from 0x80 (a signed compare),
    // which cuts a name at its first Japanese character.
    while (*p && !IsBlank(*p))
        p = CharNextA(p);
    return p;
}

BOOL HasSwitches(const char* commandLine)
{
    return commandLine && *SkipBlanks(commandLine) != '\0';
}

int RunCommandLine(const char* commandLine)
{
    Switch command = ParseSwitches(commandLine);
    if (command.kind == SWITCH_BAD) {
        ShowUsage(MB_ICONEXCLAMATION);
        return EXIT_BAD_SWITCH;
    }
    if (command.kind == SWITCH_HELP) {
        ShowUsage(MB_ICONINFORMATION);
        return EXIT_DONE;
    }
    HWND running = FindWindowA(APP_NAME, APP_NAME);
    return running ? Forward(running, command) : RunAlone(command);
}
