#include "catalogue/catalogue.h"
#include "app/app.h"
#include "settings/settings.h"
#include "system/system.h"
#include "ui/ui.h"
#include "res/resource.h"

namespace {

constexpr UINT RANDOM_MULTIPLIER = 214013;
constexpr UINT RANDOM_INCREMENT = 2531011;
constexpr int RANDOM_SHIFT = 16;
constexpr int RANDOM_MASK = 0x7FFF;
constexpr int MESSAGE_SIZE = MAX_PATH + 96;

constexpr char UNKNOWN_SAVER_TEXT[] =
    "現在設定されているスクリーンセーバーが未知の物です。\n"
    "取得している情報を更新します。";
constexpr char CHANGED_FORMAT[] = "スクリーンセーバーを「 %s 」に変更しました。";
constexpr char MOVED_TEXT[] =
    "ファイルが移動されました。スクリーンセーバーの情報を更新します。";
constexpr char DELETED_TEXT[] =
    "ファイルが削除もしくは移動されています。\n"
    "スクリーンセーバーの情報を更新します。";
constexpr char WRITE_FAILED_TEXT[] =
    "SYSTEM.INI に書き込めませんでした。\n"
    "スクリーンセーバーの設定は変更されていません。";

UINT randomState = 1;

// The index of the first entry that path names, or 0. The display settings
// of NT-based Windows write a saver's long path, the program the 8.3 alias
// form: either names the entry. A saver that a full menu had no room for
// is still the configured one: it takes the last place rather than count
// as unknown and be replaced at random.
int FindSaver(const char* path)
{
    for (int i = 1; i <= appState.saverCount; ++i) {
        SeekSaver(i);
        char saverPath[MAX_PATH];
        char longPath[MAX_PATH];
        SaverPathOf(appState.cursor, saverPath);
        JoinPath(longPath, appState.cursor->directory, appState.cursor->longName);
        if (lstrcmpiA(path, saverPath) == 0 || lstrcmpiA(path, longPath) == 0)
            return i;
    }
    return AdoptPassedOverSaver(path);
}

// SYSTEM.INI could not be written. The program's view and the check mark
// follow what the file really holds, so the poll sees no difference; the file
// as it is now is noted, and the poll makes the write again only once it has
// changed (or the lock the probe saw is gone).
void ReportFailedWrite(HWND window)
{
    ReadConfiguredSaver(appState.currentSaver);
    int i = FindSaver(appState.currentSaver);
    // No entry: the check goes to id 0, which no item has.
    CheckRadioItem(i != 0 ? IDM_SAVER_BASE + i : 0, &appState.saverItem);
    appState.saverWriteFailed = 1;
    ReadSystemIniStamp(&appState.failedIniStamp);
    appState.failedIniProbe = CanWriteSystemIni();
    // The box's loop dispatches the tray menu and hot keys, whose saver
    // changes fail the same way: the box already open tells of them too.
    if (appState.writeBoxOpen)
        return;
    appState.writeBoxOpen = 1;
    MessageBoxA(window, WRITE_FAILED_TEXT, APP_NAME, MB_OK | MB_ICONEXCLAMATION);
    appState.writeBoxOpen = 0;
}

// Makes entry n the configured saver; FALSE (after telling the user) when
// SYSTEM.INI could not be written. Leaves the cursor on entry n.
BOOL ConfigureSaver(HWND window, int n)
{
    SeekSaver(n);
    char path[MAX_PATH];
    SaverPathOf(appState.cursor, path);
    if (!WriteConfiguredSaver(path)) {
        ReportFailedWrite(window);
        SeekSaver(n);
        return FALSE;
    }
    appState.saverWriteFailed = 0;
    lstrcpynA(appState.currentSaver, path, MAX_PATH);
    CheckRadioItem(IDM_SAVER_BASE + n, &appState.saverItem);
    return TRUE;
}

}  // namespace

void SeedRandom(UINT seed)
{
    randomState = seed;
}

int DrawRandom()
{
    randomState = randomState * RANDOM_MULTIPLIER + RANDOM_INCREMENT;
    return (int)((randomState >> RANDOM_SHIFT) & RANDOM_MASK);
}

int PickRandomSaver()
{
    // Seeded at every pick: picks within one second of the clock agree.
    SeedRandom(ReadCalendarSeconds());
    return DrawRandom() % appState.saverCount + 1;
}

void SyncCurrentSaver(HWND window, const char* path)
{
    if (!path)
        path = "";   // a refresh passes none and always picks at random
    appState.randomAtStart = ReadSettingInt(SECTION_ACTION, KEY_RANDOM_SET, DEFAULT_RANDOM_SET);
    if (appState.randomAtStart == 1 || appState.refreshing == 1
        || lstrcmpiA(appState.currentSaver, NOTHING_TEXT) == 0) {
        RandomChangeSaver(window);
        return;
    }
    int i = FindSaver(path);
    if (i != 0) {
        CheckRadioItem(IDM_SAVER_BASE + i, &appState.saverItem);
        lstrcpynA(appState.currentSaver, path, MAX_PATH);
        return;
    }
    // The box's loop keeps running the poll, which still sees SYSTEM.INI
    // differ; the flag keeps it from nesting one box per tick.
    appState.syncing = 1;
    MessageBoxA(NULL, UNKNOWN_SAVER_TEXT, APP_NAME, MB_OK | MB_SYSTEMMODAL);
    if (!appState.closing)
        RefreshCatalogue(window);
    appState.syncing = 0;
}

void RandomChangeSaver(HWND window)
{
    if (appState.saverCount < 1)
        return;
    ConfigureSaver(window, PickRandomSaver());
}

void SelectSaver(HWND window, int n)
{
    // Only the menu's items name entries. Another sender may post any id of
    // the saver range, or 41000 before any saver command (index 0, the
    // head): seeking it would leave the cursor where it was, and that
    // entry's path, or the head's empty one, would be written while the
    // check went to an item that does not exist.
    if (n < 1 || n > appState.saverCount)
        return;
    if (appState.saverItem == (UINT)(IDM_SAVER_BASE + n))
        return;
    // Setting the flag again to its own value makes the system announce the
    // change, so that other programs read the new SYSTEM.INI.
    UINT active = ReadSystemActiveFlag();
    if (!ConfigureSaver(window, n))
        return;
    SetSystemActiveFlag(active);
    if (appState.messageFlags & MESSAGE_ON_CHANGE) {
        char stem[MAX_PATH];
        char text[MESSAGE_SIZE];
        SaverStemOf(appState.cursor, stem);
        wsprintfA(text, CHANGED_FORMAT, stem);
        ShowOutcomeBox(window, text, MB_OK);
    }
}

void ConfigureCurrentSaver(HWND window)
{
    // Without arguments a saver shows its own settings. After a failed
    // SYSTEM.INI write currentSaver holds what the file says, perhaps
    // "Nothing!" or a relative name: RunSaver runs neither.
    if (RunSaver(appState.currentSaver, "", SW_SHOWDEFAULT))
        return;
    MessageBoxA(window, MOVED_TEXT, APP_NAME, MB_OK | MB_ICONEXCLAMATION);
    if (!appState.closing)
        RefreshCatalogue(window);
}

BOOL RunRandomSaver()
{
    SeekSaver(PickRandomSaver());
    char path[MAX_PATH];
    SaverPathOf(appState.cursor, path);
    Sleep(CommandWaitMs());
    return RunSaver(path, SAVER_RUN_ARGS, SW_SHOWNORMAL);
}

void RandomStartSaver(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (appState.saverCount < 1 || RunRandomSaver())
        return;
    MessageBoxA(window, DELETED_TEXT, APP_NAME, MB_OK | MB_ICONEXCLAMATION);
    if (appState.closing)
        return;
    RefreshCatalogue(window);
    // An empty catalogue means the program is ending. The retries are bounded
    // so that a saver that exists but cannot run does not chain boxes for ever.
    if (appState.closing || appState.saverCount < 1
        || appState.randomStartRetries >= MAX_RANDOM_START_RETRIES)
        return;
    ++appState.randomStartRetries;
    SendMessageA(window, WM_COMMAND, wParam, lParam);
    --appState.randomStartRetries;
}

void RefreshCatalogue(HWND window)
{
    // The menu's loop dispatches hot keys and the poll; destroying the menu
    // it shows would leave it working on a destroyed menu.
    if (appState.menuOpen) {
        appState.refreshPending = 1;
        return;
    }
    appState.refreshing = 1;
    DestroyTrayMenu();
    LoadTrayMenu();
    FreeSaverCatalogue();
    if (!BuildSaverCatalogue(window)) {
        appState.refreshing = 0;
        return;
    }
    SyncCurrentSaver(window, NULL);
    CheckGroupItems();
    appState.refreshing = 0;
}
