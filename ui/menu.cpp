#include "ui/ui.h"
#include "app/app.h"
#include "res/resource.h"

namespace {

constexpr UINT PRESET_TIMEOUT_ITEMS[] = {
    IDM_TIMEOUT_5, IDM_TIMEOUT_10, IDM_TIMEOUT_15, IDM_TIMEOUT_20, IDM_TIMEOUT_30, IDM_TIMEOUT_60,
};
constexpr int TRAY_POPUP_POSITION = 0;

}  // namespace

void LoadTrayMenu()
{
    appState.menuRoot = LoadMenuA(appState.instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    appState.trayMenu = GetSubMenu(appState.menuRoot, TRAY_POPUP_POSITION);
}

void DestroyTrayMenu()
{
    if (appState.menuRoot)
        DestroyMenu(appState.menuRoot);   // takes every pop-up with it
    appState.menuRoot = NULL;
    appState.trayMenu = NULL;
}

int CheckRadioItem(UINT newId, UINT* group)
{
    if (*group == newId)
        return 0;
    // The system knows nothing of the groups; an id that no item has (a bad
    // settings value) is simply not found. Id 0 stands for no item (before the
    // first match, no pause), but separators carry it: it is never checked.
    CheckMenuItem(appState.menuRoot, *group, MF_BYCOMMAND | MF_UNCHECKED);
    if (newId != 0)
        CheckMenuItem(appState.menuRoot, newId, MF_BYCOMMAND | MF_CHECKED);
    *group = newId;
    return 1;
}

void CheckGroupItems()
{
    const UINT checkedItems[] = {
        appState.dblClickItem, appState.stateItem, appState.timeoutItem, appState.saverItem,
        appState.pauseItem,
    };
    for (UINT item : checkedItems) {
        if (item != 0)
            CheckMenuItem(appState.menuRoot, item, MF_BYCOMMAND | MF_CHECKED);
    }
    ShowFlagItems();
}

void ShowFlagItems()
{
    HMENU menu = appState.menuRoot;
    CheckMenuItem(menu, IDM_SECURE, appState.secureFlag == 1 ? MF_CHECKED : MF_UNCHECKED);
    EnableMenuItem(menu, IDM_SECURE, appState.secureFlag == SECURE_NONE ? MF_GRAYED : MF_ENABLED);
    CheckMenuItem(menu, IDM_FULL_SCREEN_OFF, appState.fullScreenOff ? MF_CHECKED : MF_UNCHECKED);
}

UINT TimeoutMenuId(int minutes)
{
    UINT id = (UINT)(minutes + IDM_TIMEOUT_CUSTOM);
    for (UINT preset : PRESET_TIMEOUT_ITEMS) {
        if (id == preset)
            return preset;
    }
    return IDM_TIMEOUT_CUSTOM;
}

UINT StateMenuId(UINT active)
{
    return active ? IDM_STATE_ON : IDM_STATE_OFF;
}
