#include "app/app.h"
#include "catalogue/catalogue.h"
#include "settings/settings.h"
#include "system/system.h"
#include "ui/ui.h"
#include "res/resource.h"
#include <tlhelp32.h>

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
constexpr char NAME_TAKEN_TEXT[] =
    "NAPKIT という名前を別のプログラムが使っています。\n"
    "そのプログラムを終了してから、もう一度起動してください。";

constexpr char PROGRAM_FILE[] = "NAPKIT.EXE";
constexpr char PROGRAM_EXTENSION[] = ".EXE";
constexpr char KERNEL_DLL[] = "KERNEL32.DLL";
constexpr char DIALOG_CLASS[] = "#32770";   // dialogs and message boxes
constexpr int CLASS_NAME_SIZE = 16;
constexpr UINT BOX_CHECK_MS = 250;
// Not in the headers for Windows 9x and NT 4.0; looked up at run time.
constexpr DWORD QUERY_LIMITED_INFORMATION = 0x1000;   // Vista and later
typedef BOOL (WINAPI* QueryImageNameA)(HANDLE process, DWORD flags, LPSTR name, PDWORD size);
typedef HANDLE (WINAPI* CreateSnapshot)(DWORD flags, DWORD processId);
typedef BOOL (WINAPI* WalkProcesses)(HANDLE snapshot, PROCESSENTRY32* entry);

// Which file a path opens: the same file has the same three numbers, whatever
// path (long, 8.3, relative, any case) reached it.
struct FileId {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

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
    for (const SwitchName& known : SWITCH_NAMES) {
        if (lstrcmpiA(name, known.name) == 0) {
            result.kind = known.kind;
            result.minutes = known.kind == SWITCH_SECURE_ON ? WISH_ON : WISH_OFF;
            return result;
        }
    }
    for (const MinutesSwitch& known : MINUTES_SWITCHES) {
        char prefix[SWITCH_SIZE];
        int prefixSize = lstrlenA(known.prefix) + 1;
        lstrcpynA(prefix, name, prefixSize);
        if (lstrcmpiA(prefix, known.prefix) != 0)
            continue;
        result.minutes = ParseMinutes(name + prefixSize - 1, known.maxMinutes);
        if (result.minutes >= known.minMinutes)
            result.kind = known.kind;
        return result;
    }
    return result;
}

BOOL ReadFileId(const char* path, FileId* id)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0,
                              NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    BY_HANDLE_FILE_INFORMATION info;
    BOOL read = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!read)
        return FALSE;
    id->volume = info.dwVolumeSerialNumber;
    id->indexHigh = info.nFileIndexHigh;
    id->indexLow = info.nFileIndexLow;
    return TRUE;
}

BOOL OpensFile(const char* path, const FileId& own)
{
    FileId id;
    return ReadFileId(path, &id) && id.volume == own.volume && id.indexHigh == own.indexHigh
        && id.indexLow == own.indexLow;
}

// Whether the first length bytes of text, as written or with ".EXE" added,
// open the file own stands for.
BOOL NamesFile(const char* text, int length, const FileId& own)
{
    char name[MAX_PATH];
    if (length <= 0 || length + lstrlenA(PROGRAM_EXTENSION) >= MAX_PATH)
        return FALSE;
    lstrcpynA(name, text, length + 1);
    if (OpensFile(name, own))
        return TRUE;
    lstrcpynA(name + length, PROGRAM_EXTENSION, MAX_PATH - length);
    return OpensFile(name, own);
}

// The end of the longest part of an unquoted commandLine, up to a blank or its
// end, that names the program's own file; NULL when none does.
const char* EndOfOwnName(const char* commandLine, const char* modulePath)
{
    FileId own;
    if (!*modulePath || !ReadFileId(modulePath, &own))
        return NULL;
    const char* found = NULL;
    for (const char* p = commandLine; p - commandLine < MAX_PATH; p = CharNextA(p)) {
        if ((*p == '\0' || IsBlank(*p)) && NamesFile(commandLine, (int)(p - commandLine), own))
            found = p;
        if (*p == '\0')
            break;
    }
    return found;
}

// A message box of this thread is ended as its OK button would end it.
BOOL CALLBACK EndBox(HWND window, LPARAM)
{
    char className[CLASS_NAME_SIZE];
    if (GetClassNameA(window, className, sizeof className) && lstrcmpA(className, DIALOG_CLASS) == 0)
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
}

// The box's own loop dispatches this thread timer. It reads the time, rather
// than waiting the whole time in one timer, from GetTickCount, the clock the
// rest of the program keeps.
void CALLBACK EndBoxWhenDue(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (timer != appState.boxTimer || GetTickCount() - appState.boxShownTicks < COMMAND_LINE_BOX_MS)
        return;
    KillTimer(NULL, timer);
    appState.boxTimer = 0;
    EnumThreadWindows(GetCurrentThreadId(), EndBox, 0);
}

// A box of the command line, with no owner. One that a script may show
// (closesBySelf) ends by itself after COMMAND_LINE_BOX_MS: in a batch file or
// a scheduled task nobody clicks it, and the script would wait for ever.
void ShowBox(const char* text, UINT icon, BOOL closesBySelf)
{
    if (closesBySelf) {
        appState.boxShownTicks = GetTickCount();
        appState.boxTimer = SetTimer(NULL, 0, BOX_CHECK_MS, EndBoxWhenDue);
    }
    MessageBoxA(NULL, text, APP_NAME, MB_OK | icon | MB_SYSTEMMODAL);
    if (appState.boxTimer)
        KillTimer(NULL, appState.boxTimer);
    appState.boxTimer = 0;
}

// The program file a process runs, into a MAX_PATH buffer: by its handle from
// Vista on, else from the Toolhelp list (Windows 9x, 2000 and later; NT 4.0
// has none). Both are looked up, so that the program still loads where they
// are missing. FALSE when it cannot be found out.
BOOL ReadProcessImage(DWORD processId, char* image)
{
    HMODULE kernel = GetModuleHandleA(KERNEL_DLL);
    auto query = (QueryImageNameA)(void*)GetProcAddress(kernel, "QueryFullProcessImageNameA");
    if (query) {
        HANDLE process = OpenProcess(QUERY_LIMITED_INFORMATION, FALSE, processId);
        DWORD size = MAX_PATH;
        BOOL found = process && query(process, 0, image, &size);
        if (process)
            CloseHandle(process);
        if (found)
            return TRUE;
    }
    auto snapshot = (CreateSnapshot)(void*)GetProcAddress(kernel, "CreateToolhelp32Snapshot");
    auto first = (WalkProcesses)(void*)GetProcAddress(kernel, "Process32First");
    auto next = (WalkProcesses)(void*)GetProcAddress(kernel, "Process32Next");
    if (!snapshot || !first || !next)
        return FALSE;
    HANDLE list = snapshot(TH32CS_SNAPPROCESS, 0);
    if (list == INVALID_HANDLE_VALUE)
        return FALSE;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    BOOL more = first(list, &entry);
    while (more && entry.th32ProcessID != processId)
        more = next(list, &entry);
    CloseHandle(list);
    if (more)
        lstrcpynA(image, entry.szExeFile, MAX_PATH);   // the whole path on 9x, the name on NT
    return more;
}

// The menu command that stands for a switch in SWITCH_MESSAGE.
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
// set-up answers that it is not ready, and is asked again. Each try carries
// the time of the first: the copy drops what comes after this has given up.
BOOL SendSwitch(HWND window, const Switch& command)
{
    UINT message = RegisterWindowMessageA(SWITCH_MESSAGE);
    WPARAM wParam = MAKEWPARAM(SwitchCommand(command.kind), command.minutes);
    DWORD begin = GetTickCount();
    for (;;) {
        DWORD waited = GetTickCount() - begin;
        if (message == 0 || waited >= FORWARD_TIMEOUT_MS)
            return FALSE;
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(window, message, wParam, (LPARAM)begin, SMTO_NORMAL,
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
    // key, WinExec or a batch file), and be written in any form that opens the
    // program's file: relative, 8.3, in any case, without ".EXE". The longest
    // part that opens it is the name.
    const char* own = EndOfOwnName(commandLine, modulePath);
    if (own)
        return own;
    // Unknown files (or none to open): the program's own path, with or without
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

// Blanks and empty arguments ("", a script's empty "%1") alone are no switch.
BOOL HasSwitches(const char* commandLine)
{
    if (!commandLine)
        return FALSE;
    const char* p = SkipBlanks(commandLine);
    while (p[0] == '"' && p[1] == '"' && (p[2] == '\0' || IsBlank(p[2])))
        p = SkipBlanks(p + 2);
    return *p != '\0';
}

int RunCommandLine(const char* commandLine)
{
    Switch command = ParseSwitches(commandLine);
    if (command.kind == SWITCH_BAD) {
        ShowBox(USAGE_TEXT, MB_ICONEXCLAMATION, TRUE);
        return EXIT_BAD_SWITCH;
    }
    if (command.kind == SWITCH_HELP) {
        ShowBox(USAGE_TEXT, MB_ICONINFORMATION, FALSE);
        return EXIT_DONE;
    }
    HWND running = FindWindowA(APP_NAME, APP_NAME);
    if (!running)
        return RunAlone(command);
    // Another program's window: its answer would mean nothing, and acting
    // alone would go behind its back.
    if (!IsNapkitWindow(running)) {
        ShowNameTaken(TRUE);
        return EXIT_NOTHING_DONE;
    }
    return Forward(running, command);
}

BOOL IsNapkitWindow(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char image[MAX_PATH];
    if (!ReadProcessImage(processId, image))
        return TRUE;
    return lstrcmpiA(FileNameOf(image), PROGRAM_FILE) == 0;
}

void ShowNameTaken(BOOL closesBySelf)
{
    ShowBox(NAME_TAKEN_TEXT, MB_ICONEXCLAMATION, closesBySelf);
}
