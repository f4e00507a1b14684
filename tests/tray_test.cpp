// Tray mode as the user sees it: the icon the shell holds, the state it shows after set-up and changes made
// elsewhere, menu commands, hot keys, starts, tray events and endings.
#include "harness.h"
#include <utility>

namespace {

constexpr char STARTED[] = "screen saver started by main";

using Tray = Napkit;

TEST_F(Tray, ShellReceivesOneIconThatCallsTheMainWindowBack)
{
    SetIni("Action", "AppMode", "2");   // only 1 is one-shot mode
    Start();
    const NOTIFYICONDATAA& icon = AddedIcon();
    EXPECT_EQ(icon.cbSize, (DWORD)NOTIFYICONDATAA_V1_SIZE) << "the first version's size, known to every shell";
    EXPECT_EQ(icon.hWnd, window) << "the icon calls the main window";
    EXPECT_EQ(icon.uID, 1020u);
    EXPECT_EQ(icon.uFlags, (UINT)(NIF_MESSAGE | NIF_ICON | NIF_TIP)) << "message, icon and tip are valid";
    EXPECT_EQ(icon.uCallbackMessage, 0x83FCu);
    EXPECT_EQ(Submenu(40205), (Lines{ "５分 40205", "１０分 40210", "１５分 40215", "２０分 40220",
                                      "３０分 40230", "６０分 40260", "-", "任意 40200" }));
    EXPECT_EQ(Submenu(40310), (Lines{ " [ ＯＮ ] 40301", " [ ＯＦＦ ] 40302", "-", "３０分間オフ 40310",
                                      "１時間オフ 40311", "２時間オフ 40312", "-",
                                      "パスワードで保護 40320", "全画面表示中はオフ 40321" }));
    Close();
    EXPECT_EQ(TrayIcon(), "none") << "the icon is taken away at the close";
}

TEST_F(Tray, SetUpAndPollShowTheSystemState)
{
    struct Row { UINT active, seconds; const char* dblClick; const char* shown; };   // dblClick: IconDubbleClick
    const Row rows[] = {
        { 0, 90, "0", "40100 40200 40302 41001 inactive NAPKIT - ScreenSaver[ OFF ]" },
        { 1, 3600, "100", "40260 40301 41001 active NAPKIT - ScreenSaver[ ON ] -> [60分]" },
        { 1, 1200, "1", "40101 40220 40301 41001 active NAPKIT - ScreenSaver[ ON ] -> [20分]" },
        { 1, 90, "1", "40101 40200 40301 41001 active NAPKIT - ScreenSaver[ ON ] -> [1分]" },   // whole minutes
    };
    for (bool byPoll : { false, true }) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.shown) + (byPoll ? ", seen by the poll" : ", seen at set-up"));
            SetIni("Action", "IconDubbleClick", row.dblClick);
            if (byPoll)
                Start();
            SetSystemActive(row.active);
            SetSystemTimeout(row.seconds);
            if (byPoll)
                Ticks(1);
            else
                Start();
            EXPECT_EQ(Shown(), row.shown);
            Close();
        }
    }
}

TEST_F(Tray, CommandsChangeTheSystemAndSaySo)
{
    // toggleInBox: the toggle hot key pressed while the outcome box is open, which acts without a box of its own;
    // elsewhere: the time-out in seconds set by another program once started, which no poll has seen
    struct Row { const char* name; UINT active; UINT id; Lines calls; const char* shown; bool toggleInBox = false;
                 UINT elsewhere = 300; };
    const Row rows[] = {
        { .name = "off", .active = 1, .id = 40302, .calls = TURNED_OFF + Lines{ BOX_OFF }, .shown = SHOWN_OFF },
        { .name = "off, toggled in its box", .active = 1, .id = 40302,
          .calls = TURNED_OFF + Lines{ BOX_OFF } + TURNED_ON, .shown = SHOWN_ON, .toggleInBox = true },
        { .name = "60 min while off", .active = 0, .id = 40260,
          .calls = { "spi 15 3600 2", "reg ScreenSaveTimeOut REG_SZ 5 3600" },
          .shown = "40101 40260 40302 41001 inactive NAPKIT - ScreenSaver[ OFF ]" },
        { .name = "start action", .active = 1, .id = 40100, .calls = { "ini NAPKIT.INI Action IconDubbleClick 0" },
          .shown = "40100 40205 40301 41001 active NAPKIT - ScreenSaver[ ON ] -> [5分]" },
        { .name = "toggle action, after the start action", .active = 1, .id = 40101,
          .calls = { "ini NAPKIT.INI Action IconDubbleClick 1" }, .shown = SHOWN_ON },
        { .name = "5 min, checked, while 10 min were set elsewhere", .active = 1, .id = 40205,
          .calls = { "spi 15 300 2", "reg ScreenSaveTimeOut REG_SZ 4 300" }, .shown = SHOWN_ON, .elsewhere = 600 },
    };
    bool toggleInBox = false;
    onBox = [this, &toggleInBox](const std::string&) {
        if (std::exchange(toggleInBox, false))   // once: a box it opened in turn would be a fault to see
            HotKey(40101);
        return IDOK;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        toggleInBox = row.toggleInBox;
        SetSystemActive(row.active);
        Start();
        SetSystemTimeout(row.elsewhere);
        Command(row.id);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Shown(), row.shown);
        Close();
        SetSystemTimeout(300);
    }
}

TEST_F(Tray, StartsWaitTheConfiguredTimeOnce)
{
    // wait: [Action] ScreenSaveCommandWait; menuWait: the wait of the menu's start that follows
    struct Row { const char* name; const char* wait; void (Napkit::*act)(UINT); UINT id; Lines calls; Text menuWait; };
    const Row rows[] = {
        { .name = "default", .wait = nullptr, .act = &Napkit::Command, .id = 42000,
          .calls = { "sleep 500", STARTED }, .menuWait = "sleep 500" },
        { .name = "hot key: a tenth", .wait = "300", .act = &Napkit::HotKey, .id = 42000,
          .calls = { "sleep 30", STARTED }, .menuWait = "sleep 300" },
        { .name = "double-click: tray, then command", .wait = "300", .act = &Napkit::TrayEvent,
          .id = WM_LBUTTONDBLCLK, .calls = { "sleep 300", "sleep 300", STARTED }, .menuWait = "sleep 300" },
        { .name = "random start key: the whole wait", .wait = "300", .act = &Napkit::HotKey, .id = 42010,
          .calls = { "sleep 300", "exec 1 \"" + saver + "\" /s" }, .menuWait = "sleep 300" },
        { .name = "at most a minute", .wait = "99999999", .act = &Napkit::HotKey, .id = 42000,
          .calls = { "sleep 6000", STARTED }, .menuWait = "sleep 60000" },
    };
    SetIni("Action", "IconDubbleClick", "0");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Action", "ScreenSaveCommandWait", row.wait);
        Start();
        (this->*row.act)(row.id);
        EXPECT_EQ(TakeCalls(), row.calls);
        Command(42000);
        EXPECT_EQ(TakeCalls(), (Lines{ row.menuWait, STARTED })) << "a hot key's tenth applies to its own start only";
        Close();
    }
}

TEST_F(Tray, HotKeysAreRegisteredWhenEnabled)
{
    // [HotKeys] enable: EnableHotKeys; modifiers: CombinationKeys; keys: Key_Start, Key_Switch, Key_RndRun, Key_RndCH
    struct Row { const char* name; const char* enable = "1"; const char* modifiers = nullptr; const char* keys[4] = {};
                 const char* registered; };
    const Row rows[] = {
        { .name = "defaults, enabled by any value but 0", .enable = "2",
          .registered = "42000 3 Z, 40101 3 X, 42010 3 A, 41950 3 S, 42030 3 F" },
        { .name = "shift, Win, a bit of no key, own keys", .modifiers = "28", .keys = { "a", "W", "e", "r" },
          .registered = "42000 12 A, 40101 12 W, 42010 12 E, 41950 12 R, 42030 3 F" },
        { .name = "a digit, the word for none in any case, a word", .keys = { "7", "nothing!", "NoThInG!", "zebra" },
          .registered = "42000 3 7, 40101 3 X, 42010 3 A, 41950 3 Z, 42030 3 F" },
        { .name = "off by default", .enable = nullptr, .registered = "" },
    };
    const char* keyNames[] = { "Key_Start", "Key_Switch", "Key_RndRun", "Key_RndCH" };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("HotKeys", "EnableHotKeys", row.enable);
        SetIni("HotKeys", "CombinationKeys", row.modifiers);
        for (int i = 0; i < 4; ++i)
            SetIni("HotKeys", keyNames[i], row.keys[i]);
        Start();
        EXPECT_EQ(HotKeys(), row.registered);
        Close();
    }
}

TEST_F(Tray, RightClickShowsTheMenuAndARefreshWaitsUntilItCloses)
{
    FixClock(1000);   // the refresh picks saver 1 of 2
    Start();
    Install("nameless.scr", "TWO.SCR", SystemDir());   // saver 2, once the catalogue is rebuilt
    onMenu = [this] { HotKey(42030); };
    TrayEvent(WM_RBUTTONUP);
    onMenu = nullptr;
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, window, WM_NULL, WM_NULL, PM_NOREMOVE)) << "a WM_NULL posted after the menu";
    EXPECT_EQ(MenuText(41002), ABSENT) << "the menu shown names the savers as before the refresh";
    Pump(0);
    EXPECT_EQ(MenuText(41002), "TWO") << "the refresh runs once the menu has closed";
    EXPECT_EQ(TakeCalls(), Lines{ Wrote(saver) }) << "expected the refresh's pick written";
    Close();
}

TEST_F(Tray, OnlyADoubleClickOnTheIconActsAndANewTaskbarGetsTheIcon)
{
    SetIni("Action", "IconDubbleClick", "5");   // neither action: no item checked, and the double-click toggles
    Start();
    for (UINT event : { WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE })
        TrayEvent(event);
    for (UINT id : { 40150u, 41000u, 41901u, 43000u })
        SendCommand(id);
    // The same event for another icon of the window's.
    SendMessageA(window, AddedIcon().uCallbackMessage, AddedIcon().uID + 1, WM_LBUTTONDBLCLK);
    EXPECT_EQ(TakeCalls(), Lines{});
    TrayEvent(WM_LBUTTONDBLCLK);
    EXPECT_EQ(TakeCalls(), TURNED_OFF + Lines{ BOX_OFF }) << "expected the saver switched off, with its box";
    DropTrayIcon();
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(Shown(), "40205 40302 41001 inactive NAPKIT - ScreenSaver[ OFF ]")
        << "the icon added again, as it is now";
    Close();
}

TEST_F(Tray, EndingsKeepASaverSetElsewhereJustBefore)
{
    struct Row { const char* name; UINT message; WPARAM wParam; bool ends; };
    const Row rows[] = {
        { "exit command", WM_COMMAND, 42060, true },
        { "close", WM_CLOSE, 0, true },
        { "end of session", WM_ENDSESSION, TRUE, true },
        { "cancelled end of session", WM_ENDSESSION, FALSE, false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Start();
        SetScrnsave("C:\\ELSEWHERE.SCR");   // less than a tick before
        EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, 0), 1) << "the session may end";
        SendMessageA(window, row.message, row.wParam, 0);
        Pump(0);
        if (row.ends) {
            EXPECT_EQ(TrayIcon(), "none") << "the icon is taken away";
            ExpectEnded();
        } else {
            EXPECT_EQ(TrayIcon(), "active") << "the icon stays";
            Close({});
        }
        EXPECT_EQ(TakeCalls(), Lines{}) << "the saver set elsewhere stays, not the one checked";
        SetScrnsave(saver);
    }
}

TEST_F(Tray, NothingTheUserDoesActsBeforeTheSetUpHasEnded)
{
    const std::pair<const char*, std::function<void(HWND)>> doings[] = {
        { "off item", [](HWND main) { SendMessageA(main, WM_COMMAND, 40302, 0); } },
        { "double-click", [this](HWND) { TrayEvent(WM_LBUTTONDBLCLK); } },
    };
    for (const auto& [name, doing] : doings) {
        SCOPED_TRACE(name);
        SetScrnsave("C:\\UNKNOWN.SCR");   // the set-up opens a box, whose loop dispatches the user's doings
        onBox = [this, doing = doing](const std::string&) {
            doing(AddedIcon().hWnd);
            return IDOK;
        };
        Start();
        EXPECT_EQ(TakeCalls(), (Lines{ UNKNOWN_BOX, Wrote(saver) })) << "expected the set-up's box and pick only";
        onBox = nullptr;
        Close();
    }
}

}  // namespace
