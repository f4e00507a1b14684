#include "ui/ui.h"
#include "app/app.h"
#include "system/system.h"
#include "res/resource.h"

namespace {

constexpr char TIP_BASE_FORMAT[] = "NAPKIT - ScreenSaver[ %s ]";
constexpr char TIP_MINUTES_FORMAT[] = " -> [%d分]";
constexpr char TIP_OFF_FORMAT[] = " -> %s";   // "HH:MM", when the pause ends; why a hold runs
constexpr int TIP_SIZE = 64;

// The image drawn for the tray's size (16, 20 or 24 pixels by the screen's
// scaling) rather than the 32-pixel one shrunk; LoadIconA would give the
// latter. Shared: the system owns the handle, which is never released.
HICON LoadTrayIcon(HINSTANCE instance, int id)
{
    return (HICON)LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON,
                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                             LR_SHARED);
}

}  // namespace

void TrayIconAdd(HINSTANCE instance, HWND window)
{
    appState.iconActive = LoadTrayIcon(instance, IDI_ACTIVE);
    appState.iconInactive = LoadTrayIcon(instance, IDI_INACTIVE);

    NOTIFYICONDATAA& data = appState.notifyData;
    ZeroMemory(&data, sizeof data);
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;   // the first version: 64-byte tip, every Windows
    data.hWnd = window;
    data.uID = TRAY_ICON_ID;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYNOTIFY;
    data.hIcon = appState.iconActive;
    Shell_NotifyIconA(NIM_ADD, &data);
    UpdateTrayTip();
}

void TrayIconRestore()
{
    // A new taskbar knows no icons: without this a program started before the
    // shell, or alive across a shell crash, could not be reached or ended.
    Shell_NotifyIconA(NIM_ADD, &appState.notifyData);
    UpdateTrayTip();
}

void TrayIconDelete()
{
    Shell_NotifyIconA(NIM_DELETE, &appState.notifyData);
}

void UpdateTrayTip()
{
    char tip[TIP_SIZE];
    char minutes[TIP_SIZE];
    BOOL active = appState.screenSaveActive == 1;
    appState.notifyData.hIcon = active ? appState.iconActive : appState.iconInactive;
    wsprintfA(tip, TIP_BASE_FORMAT, active ? "ON" : "OFF");
    if (active) {
        wsprintfA(minutes, TIP_MINUTES_FORMAT, appState.timeoutMinutes);
        lstrcatA(tip, minutes);
    } else if (appState.offKind != OFF_NONE) {
        wsprintfA(minutes, TIP_OFF_FORMAT, appState.offEndText);
        lstrcatA(tip, minutes);
    }
    lstrcpynA(appState.notifyData.szTip, tip, sizeof appState.notifyData.szTip);
    Shell_NotifyIconA(NIM_MODIFY, &appState.notifyData);
}

static void OpenTrayMenu(HWND window)
{
    POINT cursor;
    GetCursorPos(&cursor);
    // The window must be foreground or the menu does not close when the user
    // clicks elsewhere; the WM_NULL afterwards makes the next click count.
    SetForegroundWindow(window);
    appState.menuOpen = 1;
    TrackPopupMenu(appState.trayMenu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, NULL);
    appState.menuOpen = 0;
    PostMessageA(window, WM_NULL, 0, 0);
    // Posted behind the command chosen in the menu, which still names the
    // items the user saw.
    if (appState.refreshPending) {
        appState.refreshPending = 0;
        PostMessageA(window, WM_COMMAND, IDM_REFRESH, 0);
    }
}

void HandleTrayNotify(HWND window, WPARAM iconId, LPARAM mouseMessage)
{
    if (iconId != TRAY_ICON_ID)
        return;
    switch (mouseMessage) {
    case WM_LBUTTONDBLCLK:
        if (appState.dblClickItem == IDM_DBLCLICK_START) {
            Sleep(CommandWaitMs());
            SendMessageA(window, WM_COMMAND, IDM_START_NORMAL, 0);
        } else {
            SwitchScreenSaver(window, FROM_TOGGLE, WISH_FLIP);
        }
        break;
    case WM_RBUTTONUP:
        OpenTrayMenu(window);
        break;
    }
}
