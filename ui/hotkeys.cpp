#include "ui/ui.h"
#include "app/app.h"
#include "catalogue/catalogue.h"
#include "settings/settings.h"
#include "system/system.h"
#include "res/resource.h"

namespace {

constexpr int KEY_TEXT_SIZE = 15;
constexpr UINT MODIFIER_MASK = 15;   // Alt, Ctrl, Shift, Win
constexpr UINT REFRESH_MODIFIERS = MOD_CONTROL | MOD_ALT;
constexpr UINT REFRESH_KEY = 'F';
constexpr UINT HOTKEY_START_DIVISOR = 10;
constexpr char LOWER_CASE_BIT = 0x20;

struct ConfiguredHotKey {
    int id;
    const char* keyName;
    const char* defaultKey;
};

// In the order of registration and unregistration.
constexpr ConfiguredHotKey CONFIGURED_HOTKEYS[] = {
    { IDM_START_NORMAL, "Key_Start", "Z" },
    { IDM_DBLCLICK_TOGGLE, "Key_Switch", "X" },
    { IDM_START_RANDOM, "Key_RndRun", "A" },
    { IDM_RANDOM_CHANGE, "Key_RndCH", "S" },
};

}  // namespace

void RegisterConfiguredHotKey(HWND window, int id, const char* keyName, const char* defaultKey)
{
    UINT modifiers = (UINT)ReadSettingInt(SECTION_HOTKEYS, KEY_COMBINATION, DEFAULT_COMBINATION)
                     & MODIFIER_MASK;
    char key[KEY_TEXT_SIZE];
    ReadSettingText(SECTION_HOTKEYS, keyName, NOTHING_TEXT, key, sizeof key);
    if (lstrcmpiA(key, NOTHING_TEXT) == 0)
        lstrcpynA(key, defaultKey, sizeof key);
    char first = key[0];
    if (first >= 'a' && first <= 'z')
        first &= ~LOWER_CASE_BIT;
    RegisterHotKey(window, id, modifiers, (UINT)(unsigned char)first);
}

void RegisterHotKeys(HWND window)
{
    appState.hotKeysEnabled = ReadSettingInt(SECTION_HOTKEYS, KEY_ENABLE_HOTKEYS,
                                             DEFAULT_ENABLE_HOTKEYS);
    if (!appState.hotKeysEnabled)
        return;
    for (const ConfiguredHotKey& hotKey : CONFIGURED_HOTKEYS)
        RegisterConfiguredHotKey(window, hotKey.id, hotKey.keyName, hotKey.defaultKey);
    RegisterHotKey(window, IDM_REFRESH, REFRESH_MODIFIERS, REFRESH_KEY);
}

void UnregisterHotKeys(HWND window)
{
    // The setting decides, not whether each registration succeeded.
    if (!appState.hotKeysEnabled)
        return;
    for (const ConfiguredHotKey& hotKey : CONFIGURED_HOTKEYS)
        UnregisterHotKey(window, hotKey.id);
    UnregisterHotKey(window, IDM_REFRESH);
}

void HandleHotKey(HWND window, WPARAM id)
{
    switch (id) {
    case IDM_START_NORMAL:
        appState.startWaitDivisor = HOTKEY_START_DIVISOR;
        SendMessageA(window, WM_COMMAND, IDM_START_NORMAL, 0);
        break;
    case IDM_DBLCLICK_TOGGLE:
        // As a menu command 40101 picks the double-click action; as a hot key
        // it toggles the screen saver.
        SwitchScreenSaver(window, FROM_TOGGLE, WISH_FLIP);
        break;
    case IDM_START_RANDOM:
    case IDM_RANDOM_CHANGE:
        appState.startWaitDivisor = 1;
        SendMessageA(window, WM_COMMAND, id, 0);
        break;
    case IDM_REFRESH:
        RefreshCatalogue(window);
        break;
    }
}
