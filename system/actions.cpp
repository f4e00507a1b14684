#include "system/system.h"
#include "app/app.h"
#include "ui/ui.h"
#include "settings/settings.h"
#include "res/resource.h"

namespace {

constexpr char TOGGLE_FORMAT[] = "スクリーンセーバーを「%s」にしました。";
constexpr const char* STATE_WORDS[] = { "無効", "有効" };   // by the new flag
constexpr int MESSAGE_SIZE = 128;

}  // namespace

void ShowToggleMessage(HWND owner, UINT nowActive)
{
    char text[MESSAGE_SIZE];
    wsprintfA(text, TOGGLE_FORMAT, STATE_WORDS[nowActive ? 1 : 0]);
    MessageBoxA(owner, text, APP_NAME, MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
}

DWORD CommandWaitMs()
{
    // A negative wait (only reachable by editing the file) must not turn into
    // an unsigned wait of weeks, nor a huge typed one freeze the program.
    if (appState.commandWaitMs < 0)
        return 0;
    if (appState.commandWaitMs > MAX_COMMAND_WAIT_MS)
        return MAX_COMMAND_WAIT_MS;
    return (DWORD)appState.commandWaitMs;
}

int ToggleScreenSaveActive(HWND owner)
{
    int wasOn = appState.screenSaveActive == 1 ? 1 : 0;
    appState.screenSaveActive ^= 1;
    StoreActiveFlag(appState.screenSaveActive);
    // The icon must follow before the box opens: the box waits for the user.
    UpdateTrayTip();
    // A command-line copy that sent the switch has its answer now, not once
    // the user has closed the box.
    ReplyMessage(SWITCH_TAKEN);
    if (appState.messageFlags & MESSAGE_ON_STATE)
        ShowToggleMessage(owner, wasOn ? 0 : 1);
    return wasOn;
}

static void ApplyTimeoutSeconds(UINT seconds)
{
    SetSystemTimeoutSeconds(seconds);
    UpdateTrayTip();
    WriteDesktopValue(VALUE_SCREEN_SAVE_TIMEOUT, (int)seconds);
}

// The custom value's path: nothing when the minutes equal the system's
// time-out.
static void ApplyCustomMinutes(int minutes)
{
    UINT seconds = (UINT)minutes * SECONDS_PER_MINUTE;
    if (seconds == ReadSystemTimeoutSeconds())
        return;
    appState.timeoutMinutes = minutes;
    CheckRadioItem(IDM_TIMEOUT_CUSTOM, &appState.timeoutItem);
    ApplyTimeoutSeconds(seconds);
}

void ApplyTimeout(UINT item, HWND window)
{
    if (item != IDM_TIMEOUT_CUSTOM) {
        appState.timeoutMinutes = (int)(item - IDM_TIMEOUT_CUSTOM);
        // Applied even when the item was checked already.
        CheckRadioItem(item, &appState.timeoutItem);
        ApplyTimeoutSeconds((UINT)appState.timeoutMinutes * SECONDS_PER_MINUTE);
        return;
    }
    // Only minutes confirmed with OK count: the dialog shows whole minutes, and
    // a time-out of 90 s cancelled must not become 60 s.
    if (RunDialog(appState.instance, window, DIALOG_MINUTES) != DIALOG_ACCEPTED)
        return;
    ApplyCustomMinutes(appState.dlgValue);
}

void ApplyMinutes(int minutes)
{
    if (minutes < MIN_CUSTOM_MINUTES || minutes > MAX_CUSTOM_MINUTES)
        return;
    UINT preset = TimeoutMenuId(minutes);
    if (preset != IDM_TIMEOUT_CUSTOM) {
        ApplyTimeout(preset, NULL);
        return;
    }
    ApplyCustomMinutes(minutes);
}

void StartScreenSaverNow(HWND window)
{
    UINT divisor = appState.startWaitDivisor ? appState.startWaitDivisor : 1;
    Sleep(CommandWaitMs() / divisor);
    // DefWindowProc turns this into a start of the configured saver.
    PostMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    appState.startWaitDivisor = 1;
}
