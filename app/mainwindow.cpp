#include "app/app.h"
#include "catalogue/catalogue.h"
#include "settings/settings.h"
#include "system/system.h"
#include "ui/ui.h"
#include "res/resource.h"

namespace {

constexpr char TASKBAR_CREATED[] = "TaskbarCreated";
constexpr DWORD REREAD_DELAY_MS = 50;
constexpr char DIALOG_CLASS[] = "#32770";   // dialogs and message boxes
constexpr int CLASS_NAME_SIZE = 16;

// After a failed write: SYSTEM.INI has changed since, or the probe, which
// refused the file then (another program held it), accepts it now. A probe
// that accepted the file when the write failed proves nothing: the file may be
// missing in a folder that cannot be written, the disk full, or on NT the
// value mapped elsewhere; only a change of the file counts then.
BOOL IsSaverWriteDue()
{
    FileStamp now;
    ReadSystemIniStamp(&now);
    if (!IsSameStamp(&now, &appState.failedIniStamp))
        return TRUE;
    return !appState.failedIniProbe && CanWriteSystemIni();
}

LRESULT HandleCreate(HWND window)
{
    InitPaths();
    appState.saverItem = 0;
    appState.startWaitDivisor = 1;
    appState.refreshing = 0;
    appState.useSaverName = 0;
    appState.taskbarCreatedMsg = RegisterWindowMessageA(TASKBAR_CREATED);
    appState.switchMsg = RegisterWindowMessageA(SWITCH_MESSAGE);
    // Before the flag is read: a pause that ended while no copy ran switches it on.
    ResumeStoredOff(TRUE);

    appState.screenSaveActive = ReadSystemActiveFlag();
    ReadConfiguredSaver(appState.currentSaver);
    appState.stateItem = StateMenuId(appState.screenSaveActive);
    appState.timeoutMinutes = (int)(ReadSystemTimeoutSeconds() / SECONDS_PER_MINUTE);
    appState.timeoutItem = TimeoutMenuId(appState.timeoutMinutes);
    appState.secureFlag = ReadSecureFlag();
    appState.fullScreenOff = ReadSettingInt(SECTION_ACTION, KEY_FULL_SCREEN_OFF, DEFAULT_FULL_SCREEN_OFF) != 0;
    LoadTrayMenu();
    TrayIconAdd(appState.instance, window);
    LoadDblClickAction(&appState.dblClickItem);
    CheckGroupItems();
    appState.messageFlags = (UINT)ReadSettingInt(SECTION_MESSAGE, KEY_OPEN_MESSAGE_BOX,
                                                 DEFAULT_MESSAGE_FLAGS);
    appState.useSaverName = ReadSettingInt(SECTION_ACTION, KEY_USE_SAVER_NAME,
                                           DEFAULT_USE_SAVER_NAME);
    LoadCommandWait(&appState.commandWaitMs);
    // From here on the poll also runs inside every message box.
    SetTimer(window, POLL_TIMER_ID, POLL_INTERVAL_MS, NULL);
    // An empty catalogue has already torn the window down.
    if (!BuildSaverCatalogue(window))
        return 0;
    SyncCurrentSaver(window, appState.currentSaver);
    // Closed while a box of the synchronisation was open: the window is gone.
    if (appState.closing)
        return 0;
    RegisterHotKeys(window);
    appState.ready = 1;
    return 0;
}

void HandleClose(HWND window)
{
    // A box open at this moment returns after the window is gone; what
    // would follow it (a refresh, a random start, hot keys) must not run.
    appState.closing = 1;
    RestoreTemporaryOff();
    // Only a saver the program matched or chose (it then checks its item);
    // before that, currentSaver is whatever SYSTEM.INI held, "Nothing!" too.
    // The poll waits while a dialog is open: a saver set elsewhere meanwhile
    // (or just before a /exit) is newer than the program's view, and stays.
    char saver[MAX_PATH];
    ReadConfiguredSaver(saver);
    if (appState.saverItem != 0 && lstrcmpiA(saver, appState.currentSaver) == 0)
        WriteConfiguredSaver(appState.currentSaver);
    FreeSaverCatalogue();
    DestroyWindow(window);
}

void HandleDestroy(HWND window)
{
    TrayIconDelete();
    KillTimer(window, POLL_TIMER_ID);
    UnregisterHotKeys(window);
    DestroyTrayMenu();
    PostQuitMessage(0);
}

void HandleCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    UINT id = LOWORD(wParam);
    if (id >= IDM_SAVER_FIRST && id <= IDM_SAVER_LAST) {
        appState.lastSaverIndex = (int)(id - IDM_SAVER_BASE);
        id = IDM_SAVER_BASE;
    }
    switch (id) {
    case IDM_DBLCLICK_START:
    case IDM_DBLCLICK_TOGGLE:
        if (CheckRadioItem(id, &appState.dblClickItem))
            SaveDblClickAction(&appState.dblClickItem);
        break;
    case IDM_TIMEOUT_CUSTOM:
    case IDM_TIMEOUT_5:
    case IDM_TIMEOUT_10:
    case IDM_TIMEOUT_15:
    case IDM_TIMEOUT_20:
    case IDM_TIMEOUT_30:
    case IDM_TIMEOUT_60:
        ApplyTimeout(id, window);
        break;
    case IDM_STATE_ON:
    case IDM_STATE_OFF:
        // An explicit choice, also of the state the pause holds: it stays.
        SwitchScreenSaver(window, FROM_MENU, id == IDM_STATE_ON ? WISH_ON : WISH_OFF);
        break;
    case IDM_PAUSE_30:
    case IDM_PAUSE_60:
    case IDM_PAUSE_120:
        StartPause(window, PAUSE_MINUTES[id - IDM_PAUSE_30]);
        break;
    case IDM_SECURE:
        SwitchSecure(WISH_FLIP);
        break;
    case IDM_FULL_SCREEN_OFF:
        ToggleFullScreenOff();
        break;
    case IDM_SAVER_BASE:
        SelectSaver(window, appState.lastSaverIndex);
        break;
    case IDM_SAVER_SETUP:
        ConfigureCurrentSaver(window);
        break;
    case IDM_RANDOM_CHANGE:
        RandomChangeSaver(window);
        break;
    case IDM_START_NORMAL:
        StartScreenSaverNow(window);
        break;
    case IDM_START_RANDOM:
        RandomStartSaver(window, wParam, lParam);
        break;
    case IDM_WAIT_SETTING: {
        DialogResult result = RunDialog(appState.instance, window, DIALOG_WAIT);
        if (result == DIALOG_REFUSED)
            break;
        if (result == DIALOG_ACCEPTED)
            appState.commandWaitMs = appState.dlgValue;
        SaveCommandWait(&appState.commandWaitMs);
        break;
    }
    case IDM_REFRESH:
        RefreshCatalogue(window);
        break;
    case IDM_SETTINGS:
        RunSettingsCommand(window);
        break;
    case IDM_ABOUT:
        RunDialog(appState.instance, window, DIALOG_ABOUT);
        break;
    case IDM_EXIT:
        // Closing runs as a message of its own, after this command returns.
        PostMessageA(window, WM_CLOSE, wParam, lParam);
        break;
    }
}

// A message box of this thread (never the dialog RunDialog runs) is ended
// as its default button would end it.
BOOL CALLBACK EndBox(HWND box, LPARAM)
{
    char className[CLASS_NAME_SIZE];
    if (box == appState.openDialog || !GetClassNameA(box, className, sizeof className)
        || lstrcmpA(className, DIALOG_CLASS) != 0)
        return TRUE;
    LRESULT defaultId = SendMessageA(box, DM_GETDEFID, 0, 0);
    UINT button = HIWORD(defaultId) == DC_HASDEFID ? LOWORD(defaultId) : IDOK;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(box, (int)button));
    return TRUE;
}

// /exit: whatever is open ends as Cancel or its default button would end it,
// then the close runs. Boxes and dialogs run loops of their own, which a
// posted WM_CLOSE would wait behind; what is posted to them ends them first,
// innermost first, and the close follows once the main loop runs again.
void EndForExit(HWND window)
{
    appState.closing = 1;
    EnumThreadWindows(GetCurrentThreadId(), EndBox, 0);
    // Every dialog's WM_CLOSE destroys it without taking its input.
    if (appState.openDialog)
        PostMessageA(appState.openDialog, WM_CLOSE, 0, 0);
    // Ends the tray menu's loop, if it runs.
    if (appState.menuOpen)
        SendMessageA(window, WM_CANCELMODE, 0, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
}

// A switch of a command-line copy (SWITCH_MESSAGE). Being sent, it is
// delivered inside the loops of dialogs, boxes and the tray menu too.
LRESULT HandleSwitch(HWND window, WPARAM wParam, LPARAM lParam)
{
    UINT command = LOWORD(wParam);
    int minutes = HIWORD(wParam);
    // Its command line has given up by now and said that nothing was done. A
    // start waits on this thread after its answer, and the starts sent
    // meanwhile would otherwise all follow.
    if (GetTickCount() - (DWORD)lParam >= FORWARD_TIMEOUT_MS)
        return SWITCH_REFUSED;
    // FindWindowA finds this window during its own WM_CREATE, and the set-up's
    // shell call and boxes let sent messages in: nothing acts on half a
    // set-up, but /exit, which ends the set-up's boxes, and the set-up stops.
    if (!appState.ready && command != IDM_EXIT)
        return SWITCH_NOT_READY;
    if (appState.closing)
        return command == IDM_EXIT ? SWITCH_TAKEN : SWITCH_REFUSED;
    switch (command) {
    case IDM_STATE_ON:
    case IDM_STATE_OFF:
    case IDM_DBLCLICK_TOGGLE: {
        // The view is refreshed by the poll only, which waits while a dialog
        // is open: the system's flag as it is now decides.
        int wish = command == IDM_STATE_ON ? WISH_ON : (command == IDM_STATE_OFF ? WISH_OFF : WISH_FLIP);
        SwitchScreenSaver(window, FROM_FORWARDED, wish);
        break;
    }
    case IDM_TIMEOUT_CUSTOM:
        return ApplyMinutes(minutes) ? SWITCH_TAKEN : SWITCH_REFUSED;
    case IDM_PAUSE_30:
        return StartPause(window, minutes) ? SWITCH_TAKEN : SWITCH_REFUSED;
    case IDM_SECURE:
        return SwitchSecure(minutes ? WISH_ON : WISH_OFF) ? SWITCH_TAKEN : SWITCH_REFUSED;
    case IDM_EXIT:
        EndForExit(window);
        break;
    case IDM_START_NORMAL:
    case IDM_START_RANDOM:
    case IDM_REFRESH:
        // A start waits up to a minute before it runs, and a refresh may open
        // a box: the command line has its answer first, within its own wait.
        ReplyMessage(SWITCH_TAKEN);
        HandleCommand(window, command, 0);
        break;
    default:
        return SWITCH_REFUSED;
    }
    return SWITCH_TAKEN;
}

}  // namespace

void PollSystemState(HWND window)
{
    appState.screenSaveActive = ReadSystemActiveFlag();
    CheckRadioItem(StateMenuId(appState.screenSaveActive), &appState.stateItem);
    appState.timeoutMinutes = (int)(ReadSystemTimeoutSeconds() / SECONDS_PER_MINUTE);
    CheckRadioItem(TimeoutMenuId(appState.timeoutMinutes), &appState.timeoutItem);
    int secure = ReadSecureFlag();
    if (secure != appState.secureFlag) {
        appState.secureFlag = secure;
        ShowFlagItems();
    }
    UpdateTrayTip();
    PollTemporaryOff();
    // While a resynchronisation or a rebuild waits in a message box, this
    // tick runs inside that box's loop: starting another would nest boxes.
    // The same while the tray menu is open: it runs after the menu has closed.
    // Nor while the box about a failed write is open: a write would fail and
    // open another box in this one's loop.
    if (appState.syncing || appState.refreshing || appState.menuOpen || appState.writeBoxOpen
        || appState.saverCount < 1)
        return;
    char saver[MAX_PATH];
    ReadConfiguredSaver(saver);
    if (lstrcmpiA(saver, appState.currentSaver) == 0) {
        // A write that failed is made again, by a fresh synchronisation, only
        // once something has changed.
        if (appState.saverWriteFailed && IsSaverWriteDue()) {
            appState.saverWriteFailed = 0;
            SyncCurrentSaver(window, saver);
        }
        return;
    }
    // Another program may be rewriting SYSTEM.INI in place, and a read in the
    // middle of that takes a half-written file for an unknown saver (which
    // ends in a random change). Only a value read alike twice is a change.
    Sleep(REREAD_DELAY_MS);
    char again[MAX_PATH];
    ReadConfiguredSaver(again);
    if (lstrcmpA(saver, again) == 0) {
        appState.saverWriteFailed = 0;
        SyncCurrentSaver(window, saver);
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A registered message has no fixed number to switch on.
    if (message == appState.taskbarCreatedMsg && message != 0) {
        TrayIconRestore();
        return 0;
    }
    if (message == appState.switchMsg && message != 0)
        return HandleSwitch(window, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        return HandleCreate(window);
    case WM_DESTROY:
        HandleDestroy(window);
        return 0;
    case WM_CLOSE:
        HandleClose(window);
        return 0;
    case WM_ENDSESSION:
        // FALSE: the end of the session was cancelled, so the program goes on.
        if (wParam)
            HandleClose(window);
        return 0;
    case WM_QUERYENDSESSION:
        return 1;
    case WM_TIMER:
        PollSystemState(window);
        return 0;
    }
    // The set-up's boxes run loops that dispatch the user's doings too:
    // nothing acts on half a set-up.
    if (!appState.ready && (message == WM_COMMAND || message == WM_HOTKEY || message == WM_TRAYNOTIFY))
        return 0;
    switch (message) {
    case WM_COMMAND:
        HandleCommand(window, wParam, lParam);
        return 0;
    case WM_HOTKEY:
        HandleHotKey(window, wParam);
        return 0;
    case WM_TRAYNOTIFY:
        HandleTrayNotify(window, wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
