#include "system/system.h"
#include "app/app.h"
#include "ui/ui.h"
#include "settings/settings.h"
#include "res/resource.h"

namespace {

constexpr char TOGGLE_FORMAT[] = "スクリーンセーバーを「%s」にしました。";
constexpr const char* STATE_WORDS[] = { "無効", "有効" };   // by the new flag
constexpr char PAUSE_FORMAT[] = "スクリーンセーバーを %s まで「無効」にしました。";
constexpr int MESSAGE_SIZE = 128;

enum FlagPlace {
    FLAG_VIEW,         // the program's view, as the menu shows it
    FLAG_SYSTEM,       // the system's flag as it is now
    FLAG_WINDOWLESS,   // the same, for a process with no window (see ReadActiveFlagWindowless)
};

enum SwitchBox {
    BOX_NONE,
    BOX_ON_CHANGE,   // the flag changed and [Message] OpenMessageBox asks for it
    BOX_ALWAYS,      // the new state, changed or not
    BOX_PAUSE,       // the pause's end, when OpenMessageBox asks for it
};

struct SwitchRule {
    FlagPlace place;
    BOOL endsTemporaryOff;   // an explicit choice: a pause that runs or is stored is over
    BOOL storesAlways;       // the stores are written even when the flag reads as wished
    SwitchBox box;
};

// By SwitchSource.
constexpr SwitchRule SWITCH_RULES[] = {
    { FLAG_VIEW, TRUE, FALSE, BOX_ON_CHANGE },          // FROM_MENU
    { FLAG_VIEW, TRUE, FALSE, BOX_ON_CHANGE },          // FROM_TOGGLE
    { FLAG_SYSTEM, TRUE, FALSE, BOX_ON_CHANGE },        // FROM_FORWARDED
    { FLAG_WINDOWLESS, TRUE, FALSE, BOX_NONE },         // FROM_ALONE
    { FLAG_WINDOWLESS, TRUE, FALSE, BOX_ALWAYS },       // FROM_ONE_SHOT
    { FLAG_VIEW, FALSE, TRUE, BOX_PAUSE },              // FROM_PAUSE
    { FLAG_SYSTEM, FALSE, FALSE, BOX_NONE },            // FROM_OFF_END
    { FLAG_SYSTEM, FALSE, TRUE, BOX_NONE },             // FROM_RESTORE
    { FLAG_WINDOWLESS, FALSE, FALSE, BOX_NONE },        // FROM_STALE_OFF
    { FLAG_SYSTEM, FALSE, FALSE, BOX_NONE },            // FROM_HOLD
};

UINT ReadFlag(FlagPlace place)
{
    if (place == FLAG_WINDOWLESS)
        return ReadActiveFlagWindowless();
    if (place == FLAG_SYSTEM)
        return ReadSystemActiveFlag();
    return appState.screenSaveActive == 1 ? 1 : 0;
}

void ShowSwitchBox(HWND owner, SwitchBox box, BOOL changed, UINT active)
{
    char text[MESSAGE_SIZE];
    BOOL asked = (appState.messageFlags & MESSAGE_ON_STATE) != 0;
    if (box == BOX_PAUSE && asked)
        wsprintfA(text, PAUSE_FORMAT, appState.offEndText);
    else if (box == BOX_ALWAYS || (box == BOX_ON_CHANGE && changed && asked))
        wsprintfA(text, TOGGLE_FORMAT, STATE_WORDS[active]);
    else
        return;
    ShowOutcomeBox(owner, text, MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
}

}  // namespace

UINT SwitchScreenSaver(HWND owner, SwitchSource source, int wish)
{
    const SwitchRule& rule = SWITCH_RULES[source];
    BOOL windowless = rule.place == FLAG_WINDOWLESS;
    if (rule.endsTemporaryOff && windowless)
        ForgetStoredOff();
    else if (rule.endsTemporaryOff)
        EndTemporaryOff();
    UINT was = ReadFlag(rule.place);
    UINT active = wish == WISH_FLIP ? was ^ 1 : (wish == WISH_ON ? 1 : 0);
    if (active != was || rule.storesAlways) {
        StoreActiveFlag(active);
        // Under Wine the set reaches the X server only with the next round
        // trip; this read is one, so a process about to end cannot lose it.
        ReadSystemActiveFlag();
    }
    if (!windowless) {
        appState.screenSaveActive = active;
        CheckRadioItem(StateMenuId(active), &appState.stateItem);
        // The icon follows before any box: the box waits for the user.
        UpdateTrayTip();
        // A command-line copy that sent the switch has its answer now, not
        // once the user has closed the box.
        ReplyMessage(SWITCH_TAKEN);
    }
    ShowSwitchBox(owner, rule.box, active != was, active);
    return active;
}

BOOL SwitchSecure(int wish)
{
    // The system's flag as it is now: the view waits while a dialog is open.
    int was = ReadSecureFlag();
    if (was == SECURE_NONE)
        return FALSE;
    int secure = wish == WISH_FLIP ? was ^ 1 : wish;
    if (secure != was)
        StoreSecureFlag((UINT)secure);
    appState.secureFlag = secure;
    ShowFlagItems();
    return TRUE;
}

void ShowOutcomeBox(HWND owner, const char* text, UINT style)
{
    // The box's loop dispatches the next forwarded switch, hot key or tray
    // click: a box of its own there would nest one more box a switch, until
    // the stack runs out.
    if (appState.outcomeBoxOpen)
        return;
    appState.outcomeBoxOpen = 1;
    MessageBoxA(owner, text, APP_NAME, style);
    appState.outcomeBoxOpen = 0;
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

BOOL ApplyMinutes(int minutes)
{
    if (minutes < MIN_CUSTOM_MINUTES || minutes > MAX_CUSTOM_MINUTES)
        return FALSE;
    UINT preset = TimeoutMenuId(minutes);
    if (preset != IDM_TIMEOUT_CUSTOM)
        ApplyTimeout(preset, NULL);
    else
        ApplyCustomMinutes(minutes);
    return TRUE;
}

void StartScreenSaverNow(HWND window)
{
    UINT divisor = appState.startWaitDivisor ? appState.startWaitDivisor : 1;
    Sleep(CommandWaitMs() / divisor);
    // DefWindowProc turns this into a start of the configured saver.
    PostMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    appState.startWaitDivisor = 1;
}
