// The commands of the tray menu that act on the system screen saver (state,
// time-out, start now) and the main window's life: exit, unknown commands,
// the end of the session. Driven through the real main window.
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "app/app.h"
#include "res/resource.h"

using namespace harness;

namespace {

constexpr char SAVER_NAME[] = "LOGGER.SCR";
constexpr char UNTOUCHED[] = "untouched";   // registry value no code path writes
constexpr char TOGGLED_OFF[] = "スクリーンセーバーを「無効」にしました。";
constexpr char TOGGLED_ON[] = "スクリーンセーバーを「有効」にしました。";
constexpr char TIP_OFF[] = "NAPKIT - ScreenSaver[ OFF ]";
constexpr DWORD SETTLE_MS = 300;     // time for a stray box or post to show
constexpr DWORD CLOSE_MS = 3000;
constexpr DWORD TIMER_SLACK_MS = 20;   // Sleep and GetTickCount granularity
constexpr DWORD SLOW_LIMIT_MS = 1500;  // far beyond any wait these tests ask for

const std::vector<UINT> STATE_GROUP = { IDM_STATE_ON, IDM_STATE_OFF };
const std::vector<UINT> TIMEOUT_GROUP = { IDM_TIMEOUT_5, IDM_TIMEOUT_10, IDM_TIMEOUT_15,
                                          IDM_TIMEOUT_20, IDM_TIMEOUT_30, IDM_TIMEOUT_60,
                                          IDM_TIMEOUT_CUSTOM };

std::vector<UINT> CheckedIn(const std::vector<UINT>& group)
{
    std::vector<UINT> checked;
    for (UINT id : group) {
        if (MenuChecked(id))
            checked.push_back(id);
    }
    return checked;
}

bool TrayIconExists()
{
    NOTIFYICONDATAA copy = appState.notifyData;
    return Shell_NotifyIconA(NIM_MODIFY, &copy) != FALSE;
}

void Poll(HWND window)
{
    SendMessageA(window, WM_TIMER, POLL_TIMER_ID, 0);
}

// Posted requests the main window receives, recorded by a subclass that
// passes everything on to the program's own procedure.
struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> seen;
WNDPROC programProc = NULL;
bool iconLeftByDestroy = false;   // whether the icon outlived WM_DESTROY's handling

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SYSCOMMAND || message == WM_CLOSE)
        seen.push_back({ message, wParam, lParam });
    LRESULT result = CallWindowProcA(programProc, window, message, wParam, lParam);
    // Asked while the window still exists: once it is gone the shell drops
    // or refuses its icon anyway.
    if (message == WM_DESTROY)
        iconLeftByDestroy = TrayIconExists();
    return result;
}

// The icon shown by a message box, as the responder finds it.
HICON BoxIcon(HWND box)
{
    HICON icon = NULL;
    EnumChildWindows(box, [](HWND child, LPARAM param) WINAPI -> BOOL {
        char kind[16] = "";
        GetClassNameA(child, kind, sizeof kind);
        if (lstrcmpiA(kind, "Static") == 0
            && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            DWORD_PTR shown = 0;
            SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &shown);
            *(HICON*)param = (HICON)shown;
            return FALSE;
        }
        return TRUE;
    }, (LPARAM)&icon);
    return icon;
}

std::vector<Seen> SeenOf(UINT message)
{
    std::vector<Seen> found;
    for (const Seen& s : seen) {
        if (s.message == message)
            found.push_back(s);
    }
    return found;
}

// Every test: the system stores restored afterwards, a scratch folder as
// the current directory, a responder for any message box, and the main
// window closed at the end if the test left it alive.
class Tray : public ::testing::Test {
protected:
    void TearDown() override { CloseMainWindow(window_); }

    // Sets the system's flag and time-out, puts one saver in the saverbox and
    // names it in SYSTEM.INI (so the start-up matches it and changes
    // nothing), then creates the main window. NAPKIT.INI is the test's.
    void Start(UINT active = 1, UINT timeoutSeconds = 600)
    {
        SetSpiActive(active);
        SetSpiTimeout(timeoutSeconds);
        WriteDesktopValueText("ScreenSaveActive", UNTOUCHED);
        WriteDesktopValueText("ScreenSaveTimeOut", UNTOUCHED);
        saver_ = InstallSaver("logsaver.scr", dir_.saverbox(), SAVER_NAME);
        WriteScrnsave(saver_);
        window_ = CreateMainWindow();
        ASSERT_TRUE(window_ != NULL);
        ASSERT_EQ(0u, boxes_.Count()) << "the start-up opened a box: " << boxes_.Boxes()[0].text;
        ASSERT_STREQ(saver_.c_str(), appState.currentSaver);
        seen.clear();
        iconLeftByDestroy = true;
        programProc = (WNDPROC)SetWindowLongPtrA(window_, GWLP_WNDPROC, (LONG_PTR)RecordingProc);
    }

    // SYSTEM.INI naming the same saver in other letters: the poll takes it
    // for no change, so only a write of the program's own view replaces it.
    std::string WriteLowerCaseSaver()
    {
        std::string lower = saver_;
        CharLowerA(&lower[0]);
        WriteScrnsave(lower);
        return lower;
    }

    // Times one command sent to the main window.
    DWORD TimedCommand(UINT id)
    {
        DWORD start = GetTickCount();
        SendCommand(window_, id);
        return GetTickCount() - start;
    }

    SystemGuard guard_;
    ScratchDir dir_;
    BoxResponder boxes_;
    HWND window_ = NULL;
    std::string saver_;
};

// ---------------------------------------------------------------------------
// State commands.

struct StateCase {
    const char* name;
    UINT active;
    UINT command;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const StateCase& c, std::ostream* os)
{
    *os << c.name;
}

class StateAlreadyChecked : public Tray, public ::testing::WithParamInterface<StateCase> {};

TEST_P(StateAlreadyChecked, DoesNothing)
{
    const StateCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(c.active, 600));
    std::string tip = appState.notifyData.szTip;
    SendCommand(window_, c.command);
    PumpMessages(SETTLE_MS);
    EXPECT_EQ(0u, boxes_.Count());
    EXPECT_EQ(c.active, SpiActive());
    EXPECT_EQ(c.active, appState.screenSaveActive);
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(std::vector<UINT>{ c.command }, CheckedIn(STATE_GROUP));
    EXPECT_EQ(tip, appState.notifyData.szTip);
}

INSTANTIATE_TEST_SUITE_P(Cases, StateAlreadyChecked, ::testing::Values(
    StateCase{ "On", 1, IDM_STATE_ON }, StateCase{ "Off", 0, IDM_STATE_OFF }),
    [](const ::testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

struct ToggleCase {
    const char* name;
    UINT active;
    UINT command;
    const char* text;
    const char* registry;
};

void PrintTo(const ToggleCase& c, std::ostream* os)
{
    *os << c.name;
}

class StateMoved : public Tray, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(StateMoved, TogglesWritesMovesTheCheckAndSaysSo)
{
    const ToggleCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(c.active, 600));
    HICON expectedIcon = c.active ? appState.iconInactive : appState.iconActive;
    HICON iconWithBox = NULL;
    HICON boxIcon = NULL;
    std::string tipWithBox;
    boxes_.SetHandler([&](const BoxRecord& record) {
        iconWithBox = appState.notifyData.hIcon;
        tipWithBox = appState.notifyData.szTip;
        boxIcon = BoxIcon(record.window);
        return false;   // then pressed OK
    });
    SendCommand(window_, c.command);
    EXPECT_EQ(c.active ^ 1, SpiActive());
    EXPECT_EQ(c.active ^ 1, appState.screenSaveActive);
    EXPECT_EQ(c.registry, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(c.command, appState.stateItem);
    EXPECT_EQ(std::vector<UINT>{ c.command }, CheckedIn(STATE_GROUP));
    EXPECT_EQ(expectedIcon, appState.notifyData.hIcon);
    ASSERT_EQ(1u, boxes_.Count());
    BoxRecord box = boxes_.Boxes()[0];
    EXPECT_EQ("NAPKIT", box.caption);
    EXPECT_EQ(c.text, box.text);
    EXPECT_EQ(window_, box.owner);
    EXPECT_TRUE(box.topmost);
    EXPECT_TRUE(box.hasIcon);
    EXPECT_EQ(1, box.buttons);
    EXPECT_EQ(LoadIconA(NULL, IDI_INFORMATION), boxIcon);
    // The icon and tip follow the new flag before the box waits for the user.
    EXPECT_EQ(expectedIcon, iconWithBox);
    EXPECT_EQ(std::string(appState.notifyData.szTip), tipWithBox);
    // The next poll agrees with the new state.
    Poll(window_);
    EXPECT_EQ(std::vector<UINT>{ c.command }, CheckedIn(STATE_GROUP));
}

INSTANTIATE_TEST_SUITE_P(Cases, StateMoved, ::testing::Values(
    ToggleCase{ "OnToOff", 1, IDM_STATE_OFF, TOGGLED_OFF, "0" },
    ToggleCase{ "OffToOn", 0, IDM_STATE_ON, TOGGLED_ON, "1" }),
    [](const ::testing::TestParamInfo<ToggleCase>& info) { return std::string(info.param.name); });

struct MessageFlagsCase {
    const char* value;   // [Message] OpenMessageBox
    bool box;
};

void PrintTo(const MessageFlagsCase& c, std::ostream* os)
{
    *os << "OpenMessageBox=" << c.value;
}

class StateBoxByFlag : public Tray, public ::testing::WithParamInterface<MessageFlagsCase> {};

TEST_P(StateBoxByFlag, OnlyBitZeroOpensTheBox)
{
    WriteIni(dir_.ini(), "Message", "OpenMessageBox", GetParam().value);
    ASSERT_NO_FATAL_FAILURE(Start(1, 600));
    SendCommand(window_, IDM_STATE_OFF);
    PumpMessages(SETTLE_MS);
    EXPECT_EQ(GetParam().box ? 1u : 0u, boxes_.Count());
    // The toggle itself happens either way.
    EXPECT_EQ(0u, SpiActive());
    EXPECT_EQ("0", ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(TIP_OFF, std::string(appState.notifyData.szTip));
    EXPECT_EQ(appState.iconInactive, appState.notifyData.hIcon);
}

INSTANTIATE_TEST_SUITE_P(Values, StateBoxByFlag, ::testing::Values(
    MessageFlagsCase{ "0", false }, MessageFlagsCase{ "2", false },
    MessageFlagsCase{ "1", true }, MessageFlagsCase{ "7", true }),
    [](const ::testing::TestParamInfo<MessageFlagsCase>& info) {
        return std::string("Flags") + info.param.value;
    });

TEST_F(Tray, CommandIdIsTheLowWordOfWParam)
{
    WriteIni(dir_.ini(), "Message", "OpenMessageBox", "0");
    ASSERT_NO_FATAL_FAILURE(Start(1, 600));
    // As an accelerator would send it: notification code 1 in the high word.
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(IDM_STATE_OFF, 1), 0);
    EXPECT_EQ(0u, SpiActive());
    EXPECT_EQ(std::vector<UINT>{ IDM_STATE_OFF }, CheckedIn(STATE_GROUP));
}

// ---------------------------------------------------------------------------
// Preset time-outs.

struct PresetCase {
    UINT id;
    UINT seconds;
};

void PrintTo(const PresetCase& c, std::ostream* os)
{
    *os << c.id;
}

class PresetTimeout : public Tray, public ::testing::WithParamInterface<PresetCase> {};

TEST_P(PresetTimeout, SetsSystemRegistryCheckAndTip)
{
    const PresetCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(1, 90));
    SendCommand(window_, c.id);
    int minutes = (int)c.seconds / 60;
    EXPECT_EQ(c.seconds, SpiTimeout());
    EXPECT_EQ(std::to_string(c.seconds), ReadDesktopValue("ScreenSaveTimeOut"));
    EXPECT_EQ(minutes, appState.timeoutMinutes);
    EXPECT_EQ(c.id, appState.timeoutItem);
    EXPECT_EQ(std::vector<UINT>{ c.id }, CheckedIn(TIMEOUT_GROUP));
    EXPECT_EQ("NAPKIT - ScreenSaver[ ON ] -> [" + std::to_string(minutes) + "分]",
              std::string(appState.notifyData.szTip));
    // The flag is another store's business.
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(1u, SpiActive());
    // The next poll reads the same value back and keeps the check.
    Poll(window_);
    EXPECT_EQ(std::vector<UINT>{ c.id }, CheckedIn(TIMEOUT_GROUP));
    EXPECT_EQ(0u, boxes_.Count());
}

INSTANTIATE_TEST_SUITE_P(Ids, PresetTimeout, ::testing::Values(
    PresetCase{ IDM_TIMEOUT_5, 300 }, PresetCase{ IDM_TIMEOUT_10, 600 },
    PresetCase{ IDM_TIMEOUT_15, 900 }, PresetCase{ IDM_TIMEOUT_20, 1200 },
    PresetCase{ IDM_TIMEOUT_30, 1800 }, PresetCase{ IDM_TIMEOUT_60, 3600 }),
    [](const ::testing::TestParamInfo<PresetCase>& info) {
        return std::to_string(info.param.seconds / 60) + "Minutes";
    });

TEST_F(Tray, PresetAlreadyCheckedIsStillApplied)
{
    // 330 s is 5 whole minutes: the 5-minute item carries the check.
    ASSERT_NO_FATAL_FAILURE(Start(1, 330));
    ASSERT_EQ((UINT)IDM_TIMEOUT_5, appState.timeoutItem);
    SendCommand(window_, IDM_TIMEOUT_5);
    EXPECT_EQ(300u, SpiTimeout());
    EXPECT_EQ("300", ReadDesktopValue("ScreenSaveTimeOut"));
    EXPECT_EQ(std::vector<UINT>{ IDM_TIMEOUT_5 }, CheckedIn(TIMEOUT_GROUP));
}

TEST_F(Tray, PresetWhileDisabledKeepsTheOffTip)
{
    ASSERT_NO_FATAL_FAILURE(Start(0, 600));
    SendCommand(window_, IDM_TIMEOUT_30);
    EXPECT_EQ(1800u, SpiTimeout());
    EXPECT_EQ("1800", ReadDesktopValue("ScreenSaveTimeOut"));
    EXPECT_EQ(0u, SpiActive());
    EXPECT_EQ(TIP_OFF, std::string(appState.notifyData.szTip));
    EXPECT_EQ(appState.iconInactive, appState.notifyData.hIcon);
    EXPECT_EQ(std::vector<UINT>{ IDM_STATE_OFF }, CheckedIn(STATE_GROUP));
}

// ---------------------------------------------------------------------------
// Start the screen saver now (command 42000).

TEST_F(Tray, StartNowWaitsThenPostsTheScreenSaveCommand)
{
    constexpr DWORD WAIT_MS = 300;
    WriteIni(dir_.ini(), "Action", "ScreenSaveCommandWait", std::to_string(WAIT_MS));
    ASSERT_NO_FATAL_FAILURE(Start());
    DWORD elapsed = TimedCommand(IDM_START_NORMAL);
    EXPECT_GE(elapsed, WAIT_MS - TIMER_SLACK_MS);
    EXPECT_LT(elapsed, WAIT_MS + SLOW_LIMIT_MS);
    // Posted, not sent: nothing has reached the window yet.
    EXPECT_TRUE(SeenOf(WM_SYSCOMMAND).empty());
    PumpMessages(SETTLE_MS);
    std::vector<Seen> starts = SeenOf(WM_SYSCOMMAND);
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ((WPARAM)SC_SCREENSAVE, starts[0].wParam);
    EXPECT_EQ(0, starts[0].lParam);
    EXPECT_EQ(1u, appState.startWaitDivisor);
    EXPECT_EQ(1u, SpiActive());
    EXPECT_EQ(0u, boxes_.Count());
}

TEST_F(Tray, StartNowDividesTheWaitOnceThenWaitsInFull)
{
    constexpr DWORD WAIT_MS = 800;
    constexpr UINT HOT_KEY_DIVISOR = 10;
    WriteIni(dir_.ini(), "Action", "ScreenSaveCommandWait", std::to_string(WAIT_MS));
    ASSERT_NO_FATAL_FAILURE(Start());
    // What the start hot key leaves for the command.
    appState.startWaitDivisor = HOT_KEY_DIVISOR;
    DWORD elapsed = TimedCommand(IDM_START_NORMAL);
    EXPECT_GE(elapsed, WAIT_MS / HOT_KEY_DIVISOR - TIMER_SLACK_MS);
    EXPECT_LT(elapsed, WAIT_MS / 2);
    EXPECT_EQ(1u, appState.startWaitDivisor);
    elapsed = TimedCommand(IDM_START_NORMAL);
    EXPECT_GE(elapsed, WAIT_MS - TIMER_SLACK_MS);
    PumpMessages(SETTLE_MS);
    EXPECT_EQ(2u, SeenOf(WM_SYSCOMMAND).size());
}

TEST_F(Tray, StartNowWithNegativeWaitDoesNotWait)
{
    WriteIni(dir_.ini(), "Action", "ScreenSaveCommandWait", "-1");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(-1, appState.commandWaitMs);
    DWORD elapsed = TimedCommand(IDM_START_NORMAL);
    EXPECT_LT(elapsed, SETTLE_MS);
    PumpMessages(SETTLE_MS);
    EXPECT_EQ(1u, SeenOf(WM_SYSCOMMAND).size());
}

// ---------------------------------------------------------------------------
// Unknown commands, exit, the end of the session.

class UnknownCommand : public Tray, public ::testing::WithParamInterface<UINT> {};

TEST_P(UnknownCommand, DoesNothing)
{
    ASSERT_NO_FATAL_FAILURE(Start(1, 600));
    std::string systemIni = ReadFileBytes(SystemIniPath());
    UINT stateItem = appState.stateItem;
    UINT timeoutItem = appState.timeoutItem;
    UINT dblClickItem = appState.dblClickItem;
    UINT saverItem = appState.saverItem;
    int lastSaverIndex = appState.lastSaverIndex;
    EXPECT_EQ(0, SendMessageA(window_, WM_COMMAND, GetParam(), 0));
    PumpMessages(SETTLE_MS);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_TRUE(seen.empty()) << "a start or close was posted";
    EXPECT_EQ(0u, boxes_.Count());
    EXPECT_EQ(stateItem, appState.stateItem);
    EXPECT_EQ(timeoutItem, appState.timeoutItem);
    EXPECT_EQ(dblClickItem, appState.dblClickItem);
    EXPECT_EQ(saverItem, appState.saverItem);
    EXPECT_EQ(lastSaverIndex, appState.lastSaverIndex);
    EXPECT_EQ(1u, SpiActive());
    EXPECT_EQ(600u, SpiTimeout());
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveTimeOut"));
    EXPECT_EQ(systemIni, ReadFileBytes(SystemIniPath()));
    EXPECT_FALSE(FileExists(dir_.ini()));
}

INSTANTIATE_TEST_SUITE_P(Ids, UnknownCommand, ::testing::Values(40150u, 41901u, 43000u));

TEST_F(Tray, ExitReturnsFirstThenClosesWritesSystemIniAndRemovesTheIcon)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    std::string lower = WriteLowerCaseSaver();
    HMENU menu = appState.menuRoot;
    constexpr LPARAM EXIT_LPARAM = 0x1234;
    EXPECT_EQ(0, SendMessageA(window_, WM_COMMAND, IDM_EXIT, EXIT_LPARAM));
    // Nothing has closed yet: the close is a message of its own.
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(lower, ReadScrnsave());
    EXPECT_TRUE(TrayIconExists());
    ASSERT_TRUE(PumpUntil([this] { return !IsWindow(window_); }, CLOSE_MS));
    std::vector<Seen> closes = SeenOf(WM_CLOSE);
    ASSERT_EQ(1u, closes.size());
    EXPECT_EQ((WPARAM)IDM_EXIT, closes[0].wParam);
    EXPECT_EQ(EXIT_LPARAM, closes[0].lParam);
    EXPECT_EQ(saver_, ReadScrnsave());
    EXPECT_FALSE(iconLeftByDestroy);
    EXPECT_FALSE(IsMenu(menu));
}

TEST_F(Tray, CloseOverwritesAnOutsideChangeNotYetPolled)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    WriteScrnsave("C:\\elsewhere\\OTHER.SCR");
    // Sent at once: no poll tick runs between the change and the close.
    EXPECT_EQ(0, SendMessageA(window_, WM_CLOSE, 0, 0));
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(saver_, ReadScrnsave());
}

TEST_F(Tray, EndSessionCancelledKeepsRunningAndWritesNothing)
{
    ASSERT_NO_FATAL_FAILURE(Start(1, 600));
    std::string lower = WriteLowerCaseSaver();
    EXPECT_EQ(0, SendMessageA(window_, WM_ENDSESSION, FALSE, 0));
    PumpMessages(SETTLE_MS);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(lower, ReadScrnsave());
    EXPECT_TRUE(TrayIconExists());
    EXPECT_TRUE(IsMenu(appState.menuRoot));
    // Still polling.
    SetSpiActive(0);
    EXPECT_TRUE(PumpUntil([] { return MenuChecked(IDM_STATE_OFF); }, 1500));
}

TEST_F(Tray, EndSessionConfirmedClosesAndWritesSystemIni)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    WriteLowerCaseSaver();
    EXPECT_EQ(0, SendMessageA(window_, WM_ENDSESSION, TRUE, 0));
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(saver_, ReadScrnsave());
    EXPECT_FALSE(iconLeftByDestroy);
    // The tear-down asked the message loop to end.
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Tray, QueryEndSessionAgreesAndChangesNothing)
{
    ASSERT_NO_FATAL_FAILURE(Start(1, 600));
    std::string lower = WriteLowerCaseSaver();
    EXPECT_EQ(1, SendMessageA(window_, WM_QUERYENDSESSION, 0, 0));
    PumpMessages(SETTLE_MS);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(lower, ReadScrnsave());
    EXPECT_TRUE(TrayIconExists());
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(0u, boxes_.Count());
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
}

}  // namespace
