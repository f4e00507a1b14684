#include "ui/ui.h"
#include "app/app.h"
#include "settings/settings.h"
#include "res/resource.h"

namespace {

constexpr char CREATE_FAILED_TEXT[] = "DialogBox Create Mistakes!";
constexpr char RANGE_FORMAT[] = "入力範囲を超えています。(%d)";
constexpr char RANGE_CAPTION[] = "時間指定";
constexpr char WAIT_TITLE[] = "ウエイト設定";
constexpr char WAIT_PROMPT[] = "スクリーンセーバー直接起動時のウエイトを入力してください。";
constexpr char WAIT_RANGE[] = "Default : 500";
constexpr char WAIT_UNIT[] = "ミリ秒";
constexpr int MESSAGE_SIZE = 64;
constexpr UINT DIALOG_TIMER_ID = 1;

struct DialogKind {
    UINT templateId;
    DLGPROC procedure;
};

// By RunDialog mode.
const DialogKind DIALOG_KINDS[] = {
    { IDD_ABOUT, AboutDialogProc },
    { IDD_VALUE, ValueDialogProc },
    { IDD_VALUE, ValueDialogProc },
    { IDD_SETTINGS, SettingsDialogProc },
};

// Every dialog closes the same way: the button sends WM_CLOSE to the dialog.
void CloseDialog(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    SendMessageA(dialog, WM_CLOSE, wParam, lParam);
}

void SetCheck(HWND dialog, int control, int checked)
{
    SendDlgItemMessageA(dialog, control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

int GetCheck(HWND dialog, int control)
{
    return SendDlgItemMessageA(dialog, control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void InitValueDialog(HWND dialog)
{
    if (appState.valueDialogMode == DIALOG_WAIT) {
        SetWindowTextA(dialog, WAIT_TITLE);
        SetDlgItemInt(dialog, IDC_VALUE_EDIT, (UINT)appState.commandWaitMs, FALSE);
        SetDlgItemTextA(dialog, IDC_VALUE_PROMPT, WAIT_PROMPT);
        SetDlgItemTextA(dialog, IDC_VALUE_RANGE, WAIT_RANGE);
        SetDlgItemTextA(dialog, IDC_VALUE_UNIT, WAIT_UNIT);
    } else {
        SetDlgItemInt(dialog, IDC_VALUE_EDIT, (UINT)appState.timeoutMinutes, FALSE);
    }
    SetActiveWindow(dialog);
    SetFocus(dialog);
}

// The value goes to dlgValue, never to the setting itself: the range box's
// loop runs the poll, which rewrites timeoutMinutes, and only the caller
// knows whether the value is to be taken.
void AcceptValue(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    int value = (int)GetDlgItemInt(dialog, IDC_VALUE_EDIT, NULL, TRUE);
    BOOL inRange = value >= MIN_CUSTOM_MINUTES && value <= MAX_CUSTOM_MINUTES;
    if (appState.valueDialogMode == DIALOG_WAIT || inRange) {
        // Typing allows digits only; a pasted negative wait is taken as 0 so
        // that no start ever waits without end.
        appState.dlgValue = value < 0 ? 0 : value;
        appState.dlgAccepted = 1;
        CloseDialog(dialog, wParam, lParam);
        return;
    }
    char text[MESSAGE_SIZE];
    wsprintfA(text, RANGE_FORMAT, value);
    MessageBoxA(dialog, text, RANGE_CAPTION, MB_OK | MB_ICONEXCLAMATION);
    SetDlgItemTextA(dialog, IDC_VALUE_EDIT, "");
}

}  // namespace

DialogResult RunDialog(HINSTANCE instance, HWND owner, UINT mode)
{
    if (mode >= sizeof DIALOG_KINDS / sizeof DIALOG_KINDS[0])
        return DIALOG_CLOSED;
    // A box of an open dialog (the range box) runs a loop that dispatches the
    // main window's commands; a second dialog would share the exchange fields
    // and valueDialogMode, and the values of the two would cross.
    if (appState.openDialog) {
        SetForegroundWindow(appState.openDialog);
        return DIALOG_REFUSED;
    }
    if (mode == DIALOG_MINUTES || mode == DIALOG_WAIT)
        appState.valueDialogMode = mode;   // read while the dialog is created
    appState.dlgAccepted = 0;
    const DialogKind& kind = DIALOG_KINDS[mode];
    HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(kind.templateId), owner,
                                     kind.procedure, 0);
    if (!dialog) {
        MessageBoxA(NULL, CREATE_FAILED_TEXT, APP_NAME, MB_OK);
        return DIALOG_CLOSED;
    }
    appState.openDialog = dialog;
    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
    // Only the dialog's messages: the main window's commands and poll wait
    // until it is gone. Once destroyed, its handle is invalid and the fetch
    // returns -1. A timer of the dialog's own keeps the one promise that
    // cannot wait: a pause ends on time.
    SetTimer(dialog, DIALOG_TIMER_ID, POLL_INTERVAL_MS, NULL);
    MSG msg;
    while (GetMessageA(&msg, dialog, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.wParam == DIALOG_TIMER_ID) {
            CheckTemporaryOffEnd();
            continue;
        }
        if (IsForeignTimer(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    appState.openDialog = NULL;
    return appState.dlgAccepted == 1 ? DIALOG_ACCEPTED : DIALOG_CLOSED;
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetFocus(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK)
            return TRUE;
        CloseDialog(dialog, wParam, lParam);
        return FALSE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK ValueDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitValueDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            AcceptValue(dialog, wParam, lParam);
        else if (LOWORD(wParam) == IDCANCEL)
            CloseDialog(dialog, wParam, lParam);
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetCheck(dialog, IDC_MSG_ON_STATE, appState.dlgMsgOnState);
        SetCheck(dialog, IDC_MSG_ON_CHANGE, appState.dlgMsgOnChange);
        SetCheck(dialog, IDC_RANDOM_AT_START, appState.dlgRandomAtStart);
        SetCheck(dialog, IDC_USE_SAVER_NAME, appState.dlgUseSaverName);
        SetActiveWindow(dialog);
        SetFocus(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SETTINGS_OK) {
            appState.dlgMsgOnState = GetCheck(dialog, IDC_MSG_ON_STATE);
            appState.dlgMsgOnChange = GetCheck(dialog, IDC_MSG_ON_CHANGE);
            appState.dlgRandomAtStart = GetCheck(dialog, IDC_RANDOM_AT_START);
            appState.dlgUseSaverName = GetCheck(dialog, IDC_USE_SAVER_NAME);
            appState.dlgAccepted = 1;
            CloseDialog(dialog, wParam, lParam);
        } else if (LOWORD(wParam) == IDC_SETTINGS_CANCEL) {
            CloseDialog(dialog, wParam, lParam);
        }
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return FALSE;
    }
    return FALSE;
}

void RunSettingsCommand(HWND window)
{
    appState.dlgMsgOnState = (appState.messageFlags & MESSAGE_ON_STATE) ? 1 : 0;
    appState.dlgMsgOnChange = (appState.messageFlags & MESSAGE_ON_CHANGE) ? 1 : 0;
    // Only 1 switches random change on; the box shows what the program does,
    // so OK without a change never turns a 2 of the file into 1.
    appState.dlgRandomAtStart = appState.randomAtStart == 1 ? 1 : 0;
    appState.dlgUseSaverName = appState.useSaverName;
    if (RunDialog(appState.instance, window, DIALOG_SETTINGS) != DIALOG_ACCEPTED)
        return;
    appState.messageFlags = (UINT)(appState.dlgMsgOnState + 2 * appState.dlgMsgOnChange);
    appState.randomAtStart = appState.dlgRandomAtStart;
    appState.useSaverName = appState.dlgUseSaverName;
    WriteSettingInt(SECTION_ACTION, KEY_RANDOM_SET, appState.randomAtStart);
    WriteSettingInt(SECTION_MESSAGE, KEY_OPEN_MESSAGE_BOX, (int)appState.messageFlags);
    WriteSettingInt(SECTION_ACTION, KEY_USE_SAVER_NAME, appState.useSaverName);
}
