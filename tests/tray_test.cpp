// Tray mode in-process: the menu resource and its radio groups, the main
// window's set-up, poll and commands, the tray icon with its tool-tip and
// mouse events, and the ways the window ends. Driven through the real main
// window with the messages the system delivers.
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "app/app.h"
#include "res/resource.h"
#include "ui/ui.h"

using namespace harness;

namespace {

constexpr char UNTOUCHED[] = "untouched";   // registry value no code path writes
constexpr char TIP_OFF[] = "NAPKIT - ScreenSaver[ OFF ]";
constexpr char TIP_ON_10[] = "NAPKIT - ScreenSaver[ ON ] -> [10分]";
constexpr char TOGGLED_OFF[] = "スクリーンセーバーを「無効」にしました。";
constexpr char TOGGLED_ON[] = "スクリーンセーバーを「有効」にしました。";
constexpr UINT NO_ITEM = 0;          // no item of the group is checked
constexpr DWORD SETTLE_MS = 300;     // time for a stray box or post to show
constexpr DWORD POLL_WAIT_MS = 1500; // three poll intervals
constexpr DWORD TICK_SLACK_MS = 20;  // Sleep and GetTickCount granularity

const std::vector<UINT> STATE_GROUP = { IDM_STATE_ON, IDM_STATE_OFF };
const std::vector<UINT> TIMEOUT_GROUP = { IDM_TIMEOUT_5, IDM_TIMEOUT_10, IDM_TIMEOUT_15,
                                          IDM_TIMEOUT_20, IDM_TIMEOUT_30, IDM_TIMEOUT_60,
                                          IDM_TIMEOUT_CUSTOM };
const std::vector<UINT> DBLCLICK_GROUP = { IDM_DBLCLICK_START, IDM_DBLCLICK_TOGGLE };

// The checked ids of a group on appState.menuRoot, in group order.
std::vector<UINT> CheckedIn(const std::vector<UINT>& group)
{
    std::vector<UINT> checked;
    for (UINT id : group) {
        if (MenuChecked(id))
            checked.push_back(id);
    }
    return checked;
}

std::vector<UINT> Only(UINT id)
{
    return id == NO_ITEM ? std::vector<UINT>{} : std::vector<UINT>{ id };
}

std::string TipOn(int minutes)
{
    return "NAPKIT - ScreenSaver[ ON ] -> [" + std::to_string(minutes) + "分]";
}

// What the program shows of the system's state: the group fields and their
// single check marks, the tray icon and its tip.
void ExpectShown(UINT stateItem, UINT timeoutItem, const std::string& tip)
{
    EXPECT_EQ(stateItem, appState.stateItem);
    EXPECT_EQ(timeoutItem, appState.timeoutItem);
    EXPECT_EQ(Only(stateItem), CheckedIn(STATE_GROUP));
    EXPECT_EQ(Only(timeoutItem), CheckedIn(TIMEOUT_GROUP));
    bool on = stateItem == IDM_STATE_ON;
    EXPECT_EQ(on ? appState.iconActive : appState.iconInactive, appState.notifyData.hIcon);
    EXPECT_EQ(tip, TipText());
}

void ExpectRegistryUntouched()
{
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveTimeOut"));
}

// Table cases name themselves in test names and listings.
#define NAMED_CASE(Case) \
    void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
struct ByName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const
    {
        return info.param.name;
    }
};

// Messages of the main window worth watching, recorded by a subclass that
// passes everything on to the program's own procedure.
struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> seen;
WNDPROC programProc = NULL;
bool iconAtDestroy = true;   // whether the icon outlived WM_DESTROY's handling

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NULL: case WM_COMMAND: case WM_SYSCOMMAND: case WM_CLOSE: case WM_ENTERMENULOOP:
        seen.push_back({ message, wParam, lParam });
    }
    LRESULT result = CallWindowProcA(programProc, window, message, wParam, lParam);
    // Asked while the window still exists: once it is gone the shell drops its icon anyway.
    if (message == WM_DESTROY)
        iconAtDestroy = TrayIconExists(window);
    return result;
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

// Answers the tray menu from a thread of its own so that TrackPopupMenu on
// the main thread returns: notes where the menu opened, presses key (Escape,
// or an access key), and Escape while the menu stays open.
class MenuCloser {
public:
    explicit MenuCloser(WPARAM key = VK_ESCAPE) : key_(key)
    {
        thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
    }
    ~MenuCloser()
    {
        InterlockedExchange(&stop_, 1);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
    }
    volatile LONG opened = 0;
    POINT topLeft = { -1, -1 };

private:
    static constexpr DWORD SLICE_MS = 20;
    static constexpr int SLICES_SHOWN = 8;
    static constexpr int SLICES_PER_ESCAPE = 50;

    static HWND VisibleMenu()
    {
        for (HWND w = NULL; (w = FindWindowExA(NULL, w, "#32768", NULL)) != NULL;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == GetCurrentProcessId() && IsWindowVisible(w))
                return w;
        }
        return NULL;
    }
    static DWORD WINAPI Run(void* self) { ((MenuCloser*)self)->Loop(); return 0; }
    void Loop()
    {
        for (; !stop_; Sleep(SLICE_MS)) {
            HWND menu = VisibleMenu();
            if (!menu)
                continue;
            ++opened;
            RECT rect;
            GetWindowRect(menu, &rect);
            topLeft = { rect.left, rect.top };
            Sleep(SLICES_SHOWN * SLICE_MS);
            PostMessageA(menu, WM_KEYDOWN, key_, 0);
            if (key_ != VK_ESCAPE)
                PostMessageA(menu, WM_CHAR, key_ | 0x20, 0);   // the lower-case letter
            for (int slice = 1; !stop_ && IsWindowVisible(menu); ++slice, Sleep(SLICE_MS)) {
                if (slice % SLICES_PER_ESCAPE == 0)
                    PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
            }
        }
    }
    WPARAM key_;
    HANDLE thread_ = NULL;
    volatile LONG stop_ = 0;
};

// Every window test: the system stores restored afterwards, a scratch folder
// as the current directory, a responder for any message box, and the main
// window closed at the end if the test left it alive.
class Tray : public ::testing::Test {
protected:
    void TearDown() override { CloseMainWindow(window_); }

    // Sets the system's flag and time-out, names a saver of the saverbox in
    // SYSTEM.INI (so the start-up matches it and changes nothing), creates
    // the main window and records its messages. NAPKIT.INI is the test's.
    void Start(UINT active = 1, UINT seconds = 600)
    {
        SetSpiActive(active);
        SetSpiTimeout(seconds);
        WriteDesktopValueText("ScreenSaveActive", UNTOUCHED);
        WriteDesktopValueText("ScreenSaveTimeOut", UNTOUCHED);
        saver_ = InstallSaver("logsaver.scr", dir_.saverbox(), "LOGGER.SCR");
        WriteScrnsave(saver_);
        window_ = CreateMainWindow();
        ASSERT_TRUE(window_ != NULL);
        ASSERT_EQ(0u, boxes_.Count()) << "the start-up opened a box: " << boxes_.Boxes()[0].text;
        ASSERT_STREQ(saver_.c_str(), appState.currentSaver);
        seen.clear();
        iconAtDestroy = true;
        programProc = (WNDPROC)SetWindowLongPtrA(window_, GWLP_WNDPROC, (LONG_PTR)RecordingProc);
    }

    void Poll() { SendMessageA(window_, WM_TIMER, POLL_TIMER_ID, 0); }

    LRESULT TrayEvent(LPARAM mouseMessage, WPARAM iconId = TRAY_ICON_ID)
    {
        return SendMessageA(window_, WM_TRAYNOTIFY, iconId, mouseMessage);
    }

    // The same saver in other letters: the poll takes it for no change, so
    // only a write of the program's own view replaces it.
    std::string WriteLowerCaseSaver()
    {
        std::string lower = saver_;
        CharLowerA(&lower[0]);
        WriteScrnsave(lower);
        return lower;
    }

    SystemGuard guard_;
    ScratchDir dir_;
    BoxResponder boxes_;
    HWND window_ = NULL;
    std::string saver_;
};

// The menu resource and the radio-group operations.

// An item of the menu resource: a separator (no caption), a pop-up (items)
// or a command item (id).
struct MenuEntry {
    const char* caption;
    UINT id;
    std::vector<MenuEntry> items;
};
const MenuEntry SEPARATOR = { nullptr, 0, {} };

const std::vector<MenuEntry> TRAY_MENU = {
    SEPARATOR,
    { "スクリーンセーバー起動", 0, { { "通常起動", IDM_START_NORMAL, {} },
                                     { "ランダム起動", IDM_START_RANDOM, {} } } },
    { "ウエイト設定", IDM_WAIT_SETTING, {} },
    { "スクリーンセーバー変更", 0, { { "無し", IDM_SAVER_BASE, {} }, SEPARATOR,
                                     { "設定", IDM_SAVER_SETUP, {} },
                                     { "ランダムチェンジ", IDM_RANDOM_CHANGE, {} } } },
    SEPARATOR,
    { "スクリーンセーバーの状態", 0, { { " [ ＯＮ ]", IDM_STATE_ON, {} },
                                       { " [ ＯＦＦ ]", IDM_STATE_OFF, {} } } },
    { "待ち時間", 0, { { "５分", IDM_TIMEOUT_5, {} }, { "１０分", IDM_TIMEOUT_10, {} },
                       { "１５分", IDM_TIMEOUT_15, {} }, { "２０分", IDM_TIMEOUT_20, {} },
                       { "３０分", IDM_TIMEOUT_30, {} }, { "６０分", IDM_TIMEOUT_60, {} },
                       SEPARATOR, { "任意", IDM_TIMEOUT_CUSTOM, {} } } },
    { "ダブルクリック動作", 0, { { "スクリーンセーバー起動", IDM_DBLCLICK_START, {} },
                                 { "有効／無効  切り替え", IDM_DBLCLICK_TOGGLE, {} } } },
    SEPARATOR,
    { "リフレッシュ", IDM_REFRESH, {} },
    { "設定", IDM_SETTINGS, {} },
    SEPARATOR,
    { "バージョン情報(&A)", IDM_ABOUT, {} },
    { "終了(&X)", IDM_EXIT, {} },
    SEPARATOR,
};

// Order, kinds, captions (code page 932 bytes, as this file is compiled) and
// ids; no item is checked and only the placeholder "無し" is grayed.
void ExpectMenu(HMENU menu, const std::vector<MenuEntry>& entries)
{
    ASSERT_EQ((int)entries.size(), GetMenuItemCount(menu));
    for (int i = 0; i < (int)entries.size(); ++i) {
        const MenuEntry& entry = entries[i];
        SCOPED_TRACE(::testing::Message() << "position " << i + 1);
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_ID | MIIM_STATE;
        ASSERT_TRUE(GetMenuItemInfoA(menu, i, TRUE, &info));
        EXPECT_EQ(entry.caption == nullptr, (info.fType & MFT_SEPARATOR) != 0);
        EXPECT_EQ(entry.caption ? entry.caption : "", MenuText(menu, i));
        EXPECT_FALSE(info.fState & MFS_CHECKED);
        if (!entry.items.empty()) {
            ASSERT_TRUE(info.hSubMenu != NULL);
            ExpectMenu(info.hSubMenu, entry.items);
        } else if (entry.caption) {
            EXPECT_TRUE(info.hSubMenu == NULL);
            EXPECT_EQ(entry.id, info.wID);
            EXPECT_EQ(entry.id == IDM_SAVER_BASE, (info.fState & MFS_GRAYED) != 0);
        }
    }
}

TEST(MenuResource, MatchesTheTable)
{
    HMENU root = LoadMenuA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDR_TRAYMENU));
    ASSERT_TRUE(root != NULL);
    EXPECT_EQ(1, GetMenuItemCount(root));
    EXPECT_EQ("Menu1", MenuText(root, 0));
    ExpectMenu(GetSubMenu(root, 0), TRAY_MENU);
    DestroyMenu(root);
}

TEST(TimeoutMenuId, PresetsMapToTheirItemsEverythingElseToCustom)
{
    const struct { int minutes; UINT id; } table[] = {
        { 0, IDM_TIMEOUT_CUSTOM }, { 5, IDM_TIMEOUT_5 }, { 7, IDM_TIMEOUT_CUSTOM },
        { 10, IDM_TIMEOUT_10 }, { 15, IDM_TIMEOUT_15 }, { 20, IDM_TIMEOUT_20 },
        { 30, IDM_TIMEOUT_30 }, { 45, IDM_TIMEOUT_CUSTOM }, { 60, IDM_TIMEOUT_60 },
        { 61, IDM_TIMEOUT_CUSTOM }, { -5, IDM_TIMEOUT_CUSTOM },
    };
    for (const auto& row : table)
        EXPECT_EQ(row.id, TimeoutMenuId(row.minutes)) << row.minutes << " minutes";
}

// Set-up: what the new window shows, and that it writes nothing.

struct SetUpCase {
    const char* name;
    UINT active;
    UINT seconds;
    const char* settings;   // NAPKIT.INI, nullptr: no file
    UINT stateItem;
    UINT timeoutItem;
    UINT dblClickChecked;
    UINT messageFlags;
    int useSaverName;
    int commandWaitMs;
    const char* tip;
};
NAMED_CASE(SetUpCase)

class SetUp : public Tray, public ::testing::WithParamInterface<SetUpCase> {};

TEST_P(SetUp, OneCheckPerGroupIconAndTipFromSystemAndSettings)
{
    const SetUpCase& c = GetParam();
    if (c.settings)
        WriteFileBytes(dir_.ini(), c.settings);
    ASSERT_NO_FATAL_FAILURE(Start(c.active, c.seconds));
    ExpectShown(c.stateItem, c.timeoutItem, c.tip);
    EXPECT_EQ(Only(c.dblClickChecked), CheckedIn(DBLCLICK_GROUP));
    EXPECT_EQ(c.messageFlags, appState.messageFlags);
    EXPECT_EQ(c.useSaverName, appState.useSaverName);
    EXPECT_EQ(c.commandWaitMs, appState.commandWaitMs);
    EXPECT_EQ(1u, appState.startWaitDivisor);
    EXPECT_EQ(0, appState.hotKeysEnabled);

    // The icon record in its first version, and the icon in the tray.
    const NOTIFYICONDATAA& data = appState.notifyData;
    EXPECT_EQ(88u, data.cbSize);
    EXPECT_EQ(window_, data.hWnd);
    EXPECT_EQ(1020u, data.uID);
    EXPECT_EQ(7u, data.uFlags);
    EXPECT_EQ(0x83FCu, data.uCallbackMessage);
    HINSTANCE instance = GetModuleHandleA(NULL);
    EXPECT_EQ(LoadIconA(instance, MAKEINTRESOURCEA(IDI_ACTIVE)), appState.iconActive);
    EXPECT_EQ(LoadIconA(instance, MAKEINTRESOURCEA(IDI_INACTIVE)), appState.iconInactive);
    EXPECT_NE(appState.iconActive, appState.iconInactive);
    EXPECT_TRUE(TrayIconExists(window_));

    PumpMessages(SETTLE_MS);   // a poll tick or two
    EXPECT_EQ(c.settings ? c.settings : "", ReadFileBytes(dir_.ini()));
    EXPECT_EQ(c.settings != nullptr, FileExists(dir_.ini()));
    EXPECT_EQ(saver_, ReadScrnsave());
    ExpectRegistryUntouched();
    EXPECT_EQ(c.active, SpiActive());
    EXPECT_EQ(c.seconds, SpiTimeout());
}

INSTANTIATE_TEST_SUITE_P(Cases, SetUp, ::testing::Values(
    SetUpCase{ "NoSettingsFile", 1, 600, nullptr, IDM_STATE_ON, IDM_TIMEOUT_10,
               IDM_DBLCLICK_TOGGLE, 3, 1, 500, TIP_ON_10 },
    SetUpCase{ "SettingsFileOff", 0, 300,
               "[Action]\r\nIconDubbleClick=0\r\nUseSaverName=0\r\nScreenSaveCommandWait=250\r\n"
               "[Message]\r\nOpenMessageBox=2\r\n",
               IDM_STATE_OFF, IDM_TIMEOUT_5, IDM_DBLCLICK_START, 2, 0, 250, TIP_OFF },
    // 40105 has no item: the double-click group starts without a check.
    SetUpCase{ "NinetySecondsUnknownAction", 1, 90, "[Action]\r\nIconDubbleClick=5\r\n",
               IDM_STATE_ON, IDM_TIMEOUT_CUSTOM, NO_ITEM, 3, 1, 500,
               "NAPKIT - ScreenSaver[ ON ] -> [1分]" },
    SetUpCase{ "ThirtySeconds", 1, 30, nullptr, IDM_STATE_ON, IDM_TIMEOUT_CUSTOM,
               IDM_DBLCLICK_TOGGLE, 3, 1, 500, "NAPKIT - ScreenSaver[ ON ] -> [0分]" }),
    ByName());

// The poll: outside changes reach checks, icon and tip through the program's
// own 500 ms timer, and nothing is written.

struct PollCase {
    const char* name;
    UINT active;   // the system's flag and time-out, changed from 1 and 1200 s
    UINT seconds;
    UINT stateItem;
    UINT timeoutItem;
    const char* tip;
};
NAMED_CASE(PollCase)

class PollChange : public Tray, public ::testing::WithParamInterface<PollCase> {};

TEST_P(PollChange, MovesChecksIconAndTipWithinHalfASecond)
{
    const PollCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(1, 1200));
    SetSpiActive(c.active);
    SetSpiTimeout(c.seconds);
    EXPECT_TRUE(PumpUntil([&] { return TipText() == c.tip; }, POLL_WAIT_MS));
    ExpectShown(c.stateItem, c.timeoutItem, c.tip);
    ExpectRegistryUntouched();
    EXPECT_EQ(0u, boxes_.Count());
}

INSTANTIATE_TEST_SUITE_P(Cases, PollChange, ::testing::Values(
    PollCase{ "To90Seconds", 1, 90, IDM_STATE_ON, IDM_TIMEOUT_CUSTOM,
              "NAPKIT - ScreenSaver[ ON ] -> [1分]" },
    PollCase{ "To300Seconds", 1, 300, IDM_STATE_ON, IDM_TIMEOUT_5,
              "NAPKIT - ScreenSaver[ ON ] -> [5分]" },
    PollCase{ "SwitchedOff", 0, 1200, IDM_STATE_OFF, IDM_TIMEOUT_20, TIP_OFF }),
    ByName());

// Switching the screen saver on and off: the state items and the tray
// double-click with the toggle action.

constexpr WPARAM TRAY_DOUBLE_CLICK = 0;   // the tray icon's double-click instead of a command

struct StateCase {
    const char* name;
    UINT active;
    const char* settings;   // NAPKIT.INI, nullptr: no file
    WPARAM command;
    bool toggles;
    const char* box;        // the message, nullptr: no box
};
NAMED_CASE(StateCase)

class StateChange : public Tray, public ::testing::WithParamInterface<StateCase> {};

TEST_P(StateChange, TogglesWritesMovesTheCheckAndSaysSoOnlyWithBitZero)
{
    const StateCase& c = GetParam();
    if (c.settings)
        WriteFileBytes(dir_.ini(), c.settings);
    ASSERT_NO_FATAL_FAILURE(Start(c.active));
    // The poll would put check, icon and tip right by itself: only the
    // command may move them here, also while its box is open.
    KillTimer(window_, POLL_TIMER_ID);
    UINT after = c.toggles ? c.active ^ 1 : c.active;
    UINT stateItem = after ? IDM_STATE_ON : IDM_STATE_OFF;
    std::string tip = after ? TIP_ON_10 : TIP_OFF;
    std::string tipWithBox;
    HICON iconWithBox = NULL;
    boxes_.SetHandler([&](const BoxRecord&) {
        tipWithBox = TipText();
        iconWithBox = appState.notifyData.hIcon;
        return false;   // then pressed OK
    });
    if (c.command == TRAY_DOUBLE_CLICK)
        EXPECT_EQ(0, TrayEvent(WM_LBUTTONDBLCLK));
    else
        EXPECT_EQ(0, SendMessageA(window_, WM_COMMAND, c.command, 0));
    EXPECT_EQ(after, SpiActive());
    EXPECT_EQ(c.toggles ? (after ? "1" : "0") : UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    ExpectShown(stateItem, IDM_TIMEOUT_10, tip);
    EXPECT_EQ(c.settings ? c.settings : "", ReadFileBytes(dir_.ini()));
    ASSERT_EQ(c.box ? 1u : 0u, boxes_.Count());
    if (c.box) {
        BoxRecord box = boxes_.Boxes()[0];
        EXPECT_EQ("NAPKIT", box.caption);
        EXPECT_EQ(c.box, box.text);
        EXPECT_EQ(window_, box.owner);
        EXPECT_TRUE(box.topmost);
        EXPECT_TRUE(box.hasIcon);
        EXPECT_EQ(1, box.buttons);
        EXPECT_EQ(tip, tipWithBox) << "the tip and icon must change before the box opens";
        EXPECT_EQ(appState.notifyData.hIcon, iconWithBox);
    }
    Poll();   // agrees with the new state
    EXPECT_EQ(Only(stateItem), CheckedIn(STATE_GROUP));
}

INSTANTIATE_TEST_SUITE_P(Cases, StateChange, ::testing::Values(
    StateCase{ "OnAlreadyChecked", 1, nullptr, IDM_STATE_ON, false, nullptr },
    StateCase{ "OffAlreadyChecked", 0, nullptr, IDM_STATE_OFF, false, nullptr },
    StateCase{ "OnToOff", 1, nullptr, IDM_STATE_OFF, true, TOGGLED_OFF },
    StateCase{ "OffToOn", 0, nullptr, IDM_STATE_ON, true, TOGGLED_ON },
    // As an accelerator sends it: notification code 1 in the high word.
    StateCase{ "HighWordIgnored", 1, nullptr, MAKEWPARAM(IDM_STATE_OFF, 1), true, TOGGLED_OFF },
    StateCase{ "BitZeroClear", 1, "[Message]\r\nOpenMessageBox=2\r\n", IDM_STATE_OFF, true,
               nullptr },
    StateCase{ "HigherBitsIgnored", 0, "[Message]\r\nOpenMessageBox=7\r\n", IDM_STATE_ON, true,
               TOGGLED_ON },
    StateCase{ "DoubleClickOnToOff", 1, nullptr, TRAY_DOUBLE_CLICK, true, TOGGLED_OFF },
    StateCase{ "DoubleClickOffToOn", 0, "[Action]\r\nIconDubbleClick=1\r\n", TRAY_DOUBLE_CLICK, true,
               TOGGLED_ON }),
    ByName());

// Preset time-outs: applied even when already checked; the flag is left alone.

struct PresetCase {
    const char* name;
    UINT active;
    UINT startSeconds;
    UINT id;
    UINT seconds;
};
NAMED_CASE(PresetCase)

class PresetTimeout : public Tray, public ::testing::WithParamInterface<PresetCase> {};

TEST_P(PresetTimeout, SetsSystemRegistryCheckAndTip)
{
    const PresetCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(c.active, c.startSeconds));
    SendCommand(window_, c.id);
    int minutes = (int)c.seconds / 60;
    EXPECT_EQ(c.seconds, SpiTimeout());
    EXPECT_EQ(std::to_string(c.seconds), ReadDesktopValue("ScreenSaveTimeOut"));
    EXPECT_EQ(minutes, appState.timeoutMinutes);
    ExpectShown(c.active ? IDM_STATE_ON : IDM_STATE_OFF, c.id, c.active ? TipOn(minutes) : TIP_OFF);
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(c.active, SpiActive());
    Poll();   // reads the same value back and keeps the check
    EXPECT_EQ(Only(c.id), CheckedIn(TIMEOUT_GROUP));
    EXPECT_EQ(0u, boxes_.Count());
}

INSTANTIATE_TEST_SUITE_P(Ids, PresetTimeout, ::testing::Values(
    PresetCase{ "Five", 1, 90, IDM_TIMEOUT_5, 300 },
    PresetCase{ "Ten", 1, 90, IDM_TIMEOUT_10, 600 },
    PresetCase{ "Fifteen", 1, 90, IDM_TIMEOUT_15, 900 },
    PresetCase{ "Twenty", 1, 90, IDM_TIMEOUT_20, 1200 },
    PresetCase{ "Thirty", 1, 90, IDM_TIMEOUT_30, 1800 },
    PresetCase{ "Sixty", 1, 90, IDM_TIMEOUT_60, 3600 },
    // 330 s is 5 whole minutes: the 5-minute item already carries the check.
    PresetCase{ "FiveAlreadyChecked", 1, 330, IDM_TIMEOUT_5, 300 },
    PresetCase{ "ThirtyWhileOff", 0, 90, IDM_TIMEOUT_30, 1800 }),
    ByName());

// The double-click group: saved only when the check moves.

struct DblClickCase {
    const char* name;
    const char* before;   // [Action] IconDubbleClick, nullptr: absent
    UINT command;
    const char* after;    // the key afterwards
};
NAMED_CASE(DblClickCase)

class DblClickCommand : public Tray, public ::testing::WithParamInterface<DblClickCase> {};

TEST_P(DblClickCommand, SavesOnlyWhenTheCheckMoves)
{
    const DblClickCase& c = GetParam();
    if (c.before)
        WriteIni(dir_.ini(), "Action", "IconDubbleClick", c.before);
    ASSERT_NO_FATAL_FAILURE(Start());
    SendCommand(window_, c.command);
    EXPECT_EQ(c.after, ReadIni(dir_.ini(), "Action", "IconDubbleClick"));
    EXPECT_EQ(c.command, appState.dblClickItem);
    EXPECT_EQ(Only(c.command), CheckedIn(DBLCLICK_GROUP));
    EXPECT_EQ(1u, SpiActive());
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(0u, boxes_.Count());
}

INSTANTIATE_TEST_SUITE_P(Cases, DblClickCommand, ::testing::Values(
    // "00" reads as 0 but would be rewritten as "0": it shows any write.
    DblClickCase{ "CheckedToggleAbsentKey", nullptr, IDM_DBLCLICK_TOGGLE, ABSENT },
    DblClickCase{ "CheckedStart", "00", IDM_DBLCLICK_START, "00" },
    DblClickCase{ "ToggleToStart", nullptr, IDM_DBLCLICK_START, "0" },
    DblClickCase{ "StartToToggle", "0", IDM_DBLCLICK_TOGGLE, "1" },
    DblClickCase{ "UncheckedToStart", "5", IDM_DBLCLICK_START, "0" }),
    ByName());

// Starting the screen saver now: the wait, then WM_SYSCOMMAND/SC_SCREENSAVE
// posted to the main window for the default procedure.

struct StartCase {
    const char* name;
    const char* wait;    // [Action] ScreenSaveCommandWait
    bool doubleClick;    // the tray double-click with the start action, else the menu
    DWORD minimumMs;
    DWORD maximumMs;
};
NAMED_CASE(StartCase)

class StartNow : public Tray, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartNow, WaitsThenPostsTheScreenSaveCommand)
{
    const StartCase& c = GetParam();
    WriteIni(dir_.ini(), "Action", "ScreenSaveCommandWait", c.wait);
    if (c.doubleClick)
        WriteIni(dir_.ini(), "Action", "IconDubbleClick", "0");
    ASSERT_NO_FATAL_FAILURE(Start());
    DWORD start = GetTickCount();
    if (c.doubleClick)
        EXPECT_EQ(0, TrayEvent(WM_LBUTTONDBLCLK));
    else
        SendCommand(window_, IDM_START_NORMAL);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed + TICK_SLACK_MS, c.minimumMs);
    EXPECT_LT(elapsed, c.maximumMs);
    EXPECT_TRUE(SeenOf(WM_SYSCOMMAND).empty()) << "sent instead of posted";
    PumpMessages(SETTLE_MS);
    std::vector<Seen> starts = SeenOf(WM_SYSCOMMAND);
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ((WPARAM)SC_SCREENSAVE, starts[0].wParam);
    EXPECT_EQ(0, starts[0].lParam);
    EXPECT_EQ(1u, appState.startWaitDivisor);
    EXPECT_EQ(1u, SpiActive());
    EXPECT_EQ(0u, boxes_.Count());
}

INSTANTIATE_TEST_SUITE_P(Cases, StartNow, ::testing::Values(
    StartCase{ "MenuCommand", "300", false, 300, 1800 },
    StartCase{ "DoubleClickWaitsTwice", "300", true, 600, 2100 },
    StartCase{ "NegativeWaitIsNone", "-1", true, 0, SETTLE_MS }),
    ByName());

// Tray icon events and the tray menu.

TEST_F(Tray, OtherIconIdsAndMouseMessagesDoNothing)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    MenuCloser safety;   // a menu opened by mistake must not hang the test
    const struct { WPARAM iconId; LPARAM mouse; } table[] = {
        { 1021, WM_LBUTTONDBLCLK }, { 0, WM_LBUTTONDBLCLK }, { 1021, WM_RBUTTONUP },
        { TRAY_ICON_ID, WM_LBUTTONDOWN }, { TRAY_ICON_ID, WM_MOUSEMOVE },
        { TRAY_ICON_ID, WM_RBUTTONDOWN }, { TRAY_ICON_ID, WM_MBUTTONUP },
    };
    for (const auto& row : table)
        EXPECT_EQ(0, TrayEvent(row.mouse, row.iconId)) << row.iconId << " 0x" << std::hex << row.mouse;
    PumpMessages(SETTLE_MS);
    EXPECT_EQ(0, safety.opened);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(1u, SpiActive());
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(0u, boxes_.Count());
}

// The menu opens at the cursor; leaving it sends no command, and WM_NULL is
// posted after TrackPopupMenu returns so the menu closes on a click elsewhere.
// An item chosen arrives as its command: exit ends the window and the icon.
TEST_F(Tray, RightButtonReleaseOpensTheTrayMenuAtTheCursor)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    const POINT cursor = { 220, 160 };
    SetCursorPos(cursor.x, cursor.y);
    {
        MenuCloser closer;
        EXPECT_EQ(0, TrayEvent(WM_RBUTTONUP));
        EXPECT_EQ(1, closer.opened);
        EXPECT_EQ(cursor.x, closer.topLeft.x);
        EXPECT_EQ(cursor.y, closer.topLeft.y);
    }
    EXPECT_EQ(1u, SeenOf(WM_ENTERMENULOOP).size());
    EXPECT_TRUE(SeenOf(WM_NULL).empty());
    MSG queued;
    EXPECT_TRUE(PeekMessageA(&queued, window_, 0, 0, PM_NOREMOVE));
    EXPECT_EQ((UINT)WM_NULL, queued.message);
    PumpMessages(SETTLE_MS);
    EXPECT_EQ(1u, SeenOf(WM_NULL).size());
    EXPECT_TRUE(SeenOf(WM_COMMAND).empty());

    MenuCloser closer('X');   // access key of "終了(&X)"
    TrayEvent(WM_RBUTTONUP);
    ASSERT_EQ(1, closer.opened);
    EXPECT_TRUE(PumpUntil([this] { return !IsWindow(window_); }, 3000));
    std::vector<Seen> commands = SeenOf(WM_COMMAND);
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ((WPARAM)IDM_EXIT, LOWORD(commands[0].wParam));
    EXPECT_FALSE(iconAtDestroy);
}

// Taken away as a restarted shell would; "TaskbarCreated" puts it back once,
// with the state of the moment.
TEST_F(Tray, TaskbarCreatedAddsTheIconAgain)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    RemoveTrayIcon(window_);
    ASSERT_FALSE(TrayIconExists(window_));
    SetSpiActive(0);
    Poll();
    EXPECT_EQ(0, SendMessageA(window_, taskbarCreated, 0, 0));
    EXPECT_TRUE(TrayIconExists(window_));
    EXPECT_EQ(TIP_OFF, TipText());
    EXPECT_EQ(appState.iconInactive, appState.notifyData.hIcon);
    EXPECT_EQ(0, SendMessageA(window_, taskbarCreated, 0, 0));
    RemoveTrayIcon(window_);
    EXPECT_FALSE(TrayIconExists(window_)) << "added twice";
}

// Unknown commands, exit, the end of the session.

TEST_F(Tray, UnknownCommandsDoNothing)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    std::string systemIni = ReadFileBytes(SystemIniPath());
    AppState before = appState;
    for (UINT id : { 40150u, 41901u, 43000u })
        EXPECT_EQ(0, SendMessageA(window_, WM_COMMAND, id, 0)) << id;
    PumpMessages(SETTLE_MS);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_TRUE(SeenOf(WM_SYSCOMMAND).empty() && SeenOf(WM_CLOSE).empty());
    EXPECT_EQ(0, memcmp(&before, &appState, sizeof appState)) << "the state changed";
    EXPECT_EQ(0u, boxes_.Count());
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveTimeOut"));
    EXPECT_EQ(systemIni, ReadFileBytes(SystemIniPath()));
    EXPECT_FALSE(FileExists(dir_.ini()));
}

struct EndingCase {
    const char* name;
    UINT message;
    WPARAM wParam;
    LRESULT result;
    bool closes;
};
NAMED_CASE(EndingCase)

class Ending : public Tray, public ::testing::WithParamInterface<EndingCase> {};

// Closing writes the program's own view of the saver over SYSTEM.INI,
// removes the icon, destroys the menu and ends the message loop; the exit
// command returns first and posts the close with its own wParam and lParam.
TEST_P(Ending, ClosesOnlyWhenTheWindowOrSessionEnds)
{
    constexpr LPARAM SENT_LPARAM = 0x1234;
    const EndingCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start());
    std::string lower = WriteLowerCaseSaver();
    HMENU menu = appState.menuRoot;
    EXPECT_EQ(c.result, SendMessageA(window_, c.message, c.wParam, SENT_LPARAM));
    EXPECT_EQ(0u, boxes_.Count());
    if (c.message == WM_COMMAND) {
        EXPECT_TRUE(IsWindow(window_));
        EXPECT_EQ(lower, ReadScrnsave());
        ASSERT_TRUE(PumpUntil([this] { return !IsWindow(window_); }, 3000));
        std::vector<Seen> closes = SeenOf(WM_CLOSE);
        ASSERT_EQ(1u, closes.size());
        EXPECT_EQ(c.wParam, closes[0].wParam);
        EXPECT_EQ(SENT_LPARAM, closes[0].lParam);
    }
    MSG quit;
    if (c.closes) {
        EXPECT_FALSE(IsWindow(window_));
        EXPECT_EQ(saver_, ReadScrnsave());
        EXPECT_FALSE(iconAtDestroy);
        EXPECT_FALSE(IsMenu(menu));
        // After the exit command the pump has already taken the quit request.
        EXPECT_TRUE(c.message == WM_COMMAND || PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
        return;
    }
    PumpMessages(SETTLE_MS);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(lower, ReadScrnsave());
    EXPECT_TRUE(TrayIconExists(window_));
    EXPECT_TRUE(IsMenu(menu));
    SetSpiActive(0);   // still polling
    EXPECT_TRUE(PumpUntil([] { return MenuChecked(IDM_STATE_OFF); }, POLL_WAIT_MS));
}

INSTANTIATE_TEST_SUITE_P(Messages, Ending, ::testing::Values(
    EndingCase{ "QueryEndSession", WM_QUERYENDSESSION, 0, 1, false },
    EndingCase{ "EndSessionCancelled", WM_ENDSESSION, FALSE, 0, false },
    EndingCase{ "EndSessionConfirmed", WM_ENDSESSION, TRUE, 0, true },
    EndingCase{ "Close", WM_CLOSE, 0, 0, true },
    EndingCase{ "ExitCommand", WM_COMMAND, IDM_EXIT, 0, true }),
    ByName());

}  // namespace
