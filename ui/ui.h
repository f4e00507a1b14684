// User interface: tray icon and tool-tip, tray menu and its radio groups,
// the three dialogs, the global hot keys.
#pragma once
#include <windows.h>

constexpr UINT TRAY_ICON_ID = 1020;

// RunDialog modes
constexpr UINT DIALOG_ABOUT = 0;
constexpr UINT DIALOG_MINUTES = 1;
constexpr UINT DIALOG_WAIT = 2;
constexpr UINT DIALOG_SETTINGS = 3;

// How RunDialog ended.
enum DialogResult {
    DIALOG_CLOSED,     // cancelled, closed, or not created: nothing to take
    DIALOG_ACCEPTED,   // closed with OK: dlgValue or the dlg* check fields hold the input
    DIALOG_REFUSED,    // another dialog was open; it was brought to the front instead
};

constexpr int MIN_CUSTOM_MINUTES = 1;
constexpr int MAX_CUSTOM_MINUTES = 60;

// tray.cpp
void TrayIconAdd(HINSTANCE instance, HWND window);
void TrayIconRestore();   // after the taskbar was re-created
void TrayIconDelete();
void UpdateTrayTip();
void HandleTrayNotify(HWND window, WPARAM iconId, LPARAM mouseMessage);

// menu.cpp
void LoadTrayMenu();
void DestroyTrayMenu();
int CheckRadioItem(UINT newId, UINT* group);
// A menu just loaded carries no check marks: each group's item gets its own.
void CheckGroupItems();
void ShowFlagItems();   // the password and full-screen items, from secureFlag and fullScreenOff
UINT TimeoutMenuId(int minutes);
UINT StateMenuId(UINT active);

// dialogs.cpp
DialogResult RunDialog(HINSTANCE instance, HWND owner, UINT mode);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ValueDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void RunSettingsCommand(HWND window);

// hotkeys.cpp
void RegisterConfiguredHotKey(HWND window, int id, const char* keyName, const char* defaultKey);
void RegisterHotKeys(HWND window);
void UnregisterHotKeys(HWND window);
void HandleHotKey(HWND window, WPARAM id);
