// Tray mode as the user sees it: the icon the shell holds, the state it shows
// after set-up and changes made elsewhere, commands, starts, tray events and
// endings.
#include "harness.h"

namespace {

const std::string BOX_OFF = std::string("box main 0x1040 NAPKIT|") + SWITCHED_OFF;
const Lines OFF = { "reg ScreenSaveActive 2 0", "spi 17 0 2" };
const Lines ON = { "reg ScreenSaveActive 2 1", "spi 17 1 2" };
constexpr char UNKNOWN_BOX[] = "box none 0x1000 NAPKIT|現在設定されているスクリーンセーバーが未知の物です。\n"
                               "取得している情報を更新します。";

struct Tray : Napkit {
    std::string saver;
    void SetUp() override
    {
        Napkit::SetUp();
        saver = Install("logsaver.scr", "ONE.SCR");
        SetScrnsave(saver);
    }
    int TakeStarts()   // screen-saver starts the window has posted to itself
    {
        int starts = 0;
        for (MSG msg; PeekMessageA(&msg, window, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE);)
            starts += msg.wParam == SC_SCREENSAVE;
        return starts;
    }
};

TEST_F(Tray, ShellReceivesOneIconThatCallsTheMainWindowBack)
{
    Start();
    const NOTIFYICONDATAA& icon = AddedIcon();
    EXPECT_EQ(icon.cbSize, (DWORD)NOTIFYICONDATAA_V1_SIZE) << "the first version's size, known to every shell";
    EXPECT_EQ(icon.hWnd, window) << "the icon calls the main window";
    EXPECT_EQ(icon.uID, 1020u);
    EXPECT_EQ(icon.uFlags, (UINT)(NIF_MESSAGE | NIF_ICON | NIF_TIP)) << "message, icon and tip are valid";
    EXPECT_EQ(icon.uCallbackMessage, 0x83FCu);
    EXPECT_EQ(Shown(), SHOWN_ON);
    Close();
}

TEST_F(Tray, SetUpAndPollShowTheSystemState)
{
    struct Row {
        UINT active, seconds;
        const char* dblClick;   // [Action] IconDubbleClick
        const char* shown;
    };
    const Row rows[] = {
        { 1, 300, nullptr, SHOWN_ON },
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
            EXPECT_EQ(TakeCalls(), Lines{}) << "showing the state changes nothing";
            Close();
        }
    }
}

TEST_F(Tray, CommandsChangeTheSystemAndSaySo)
{
    struct Row {
        const char* name;
        UINT active;
        void (Napkit::*act)(UINT);
        UINT id;
        Lines calls;
        const char* shown;
    };
    const Row rows[] = {
        { .name = "off", .active = 1, .act = &Napkit::Command, .id = 40302, .calls = { OFF[0], OFF[1], BOX_OFF },
          .shown = SHOWN_OFF },
        { .name = "switch key", .active = 1, .act = &Napkit::HotKey, .id = 40101,
          .calls = { OFF[0], OFF[1], BOX_OFF }, .shown = SHOWN_OFF },
        { .name = "10 min", .active = 1, .act = &Napkit::Command, .id = 40210,
          .calls = { "spi 15 600 2", "reg ScreenSaveTimeOut 4 600" },
          .shown = "40101 40210 40301 41001 active NAPKIT - ScreenSaver[ ON ] -> [10分]" },
        { .name = "60 min while off", .active = 0, .act = &Napkit::Command, .id = 40260,
          .calls = { "spi 15 3600 2", "reg ScreenSaveTimeOut 5 3600" },
          .shown = "40101 40260 40302 41001 inactive NAPKIT - ScreenSaver[ OFF ]" },
        { .name = "start action", .active = 1, .act = &Napkit::Command, .id = 40100, .calls = {},
          .shown = "40100 40205 40301 41001 active NAPKIT - ScreenSaver[ ON ] -> [5分]" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetSystemActive(row.active);
        Start();
        (this->*row.act)(row.id);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Shown(), row.shown);
        Close();
        SetSystemTimeout(300);
    }
    EXPECT_EQ(ReadIni(Ini(), "Action", "IconDubbleClick"), "0") << "the start action chosen is kept";
}

TEST_F(Tray, StartsWaitTheConfiguredTimeOnce)
{
    struct Row {
        const char* name;
        const char* wait;   // [Action] ScreenSaveCommandWait
        void (Napkit::*act)(UINT);
        UINT id;
        Lines calls;
        const char* menuStart;   // the wait of the menu's start that follows
    };
    const Row rows[] = {
        { .name = "default", .wait = nullptr, .act = &Napkit::Command, .id = 42000,
          .calls = { "sleep 500" }, .menuStart = "sleep 500" },
        { .name = "hot key: a tenth", .wait = "300", .act = &Napkit::HotKey, .id = 42000,
          .calls = { "sleep 30" }, .menuStart = "sleep 300" },
        { .name = "double-click: tray, then command", .wait = "300", .act = &Napkit::TrayEvent,
          .id = WM_LBUTTONDBLCLK, .calls = { "sleep 300", "sleep 300" }, .menuStart = "sleep 300" },
        { .name = "at most a minute", .wait = "99999999", .act = &Napkit::HotKey, .id = 42000,
          .calls = { "sleep 6000" }, .menuStart = "sleep 60000" },
    };
    SetIni("Action", "IconDubbleClick", "0");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Action", "ScreenSaveCommandWait", row.wait);
        Start();
        (this->*row.act)(row.id);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(TakeStarts(), 1) << "one screen-saver start";
        Command(42000);
        EXPECT_EQ(TakeCalls(), Lines{ row.menuStart }) << "a hot key's tenth applies to its own start only";
        EXPECT_EQ(TakeStarts(), 1) << "one screen-saver start";
        Close();
    }
}

TEST_F(Tray, RightClickShowsTheMenuAndARefreshWaitsUntilItCloses)
{
    Start();
    Install("nameless.scr", "TWO.SCR", SystemDir());   // saver 2, once the catalogue is rebuilt
    onMenu = [this] { HotKey(42030); };
    TrayEvent(WM_RBUTTONUP);
    onMenu = nullptr;
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, window, WM_NULL, WM_NULL, PM_NOREMOVE)) << "a WM_NULL posted after the menu";
    EXPECT_EQ(MenuText(41002), ABSENT) << "the menu shown names the savers as before the refresh";
    Pump(100);
    EXPECT_EQ(MenuText(41002), "TWO") << "the refresh runs once the menu has closed";
    EXPECT_EQ(TakeCalls(), Lines{});
    Close();
}

TEST_F(Tray, OtherEventsAndUnknownCommandsDoNothingAndANewTaskbarGetsTheIcon)
{
    Start();
    for (UINT event : { WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE })
        TrayEvent(event);
    for (UINT id : { 40150u, 41000u, 41901u, 43000u })
        Command(id);
    // The same event for another icon of the window's.
    SendMessageA(window, AddedIcon().uCallbackMessage, AddedIcon().uID + 1, WM_LBUTTONDBLCLK);
    EXPECT_EQ(TakeCalls(), Lines{});
    EXPECT_EQ(Scrnsave(), saver);
    SetSystemActive(0);
    Ticks(1);
    DropTrayIcon();
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(Shown(), SHOWN_OFF) << "the icon added again, as it is now";
    Close();
}

TEST_F(Tray, EndingsKeepASaverSetElsewhereJustBefore)
{
    struct Row {
        const char* name;
        UINT message;
        WPARAM wParam;
        bool ends;
    };
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
        Pump(100);
        if (row.ends) {
            EXPECT_EQ(Scrnsave(), "C:\\ELSEWHERE.SCR") << "the saver set elsewhere stays, not the one checked";
            EXPECT_EQ(TrayIcon(), "none") << "the icon is taken away";
            ExpectEnded();
        } else {
            EXPECT_EQ(Scrnsave(), "C:\\ELSEWHERE.SCR") << "nothing is written";
            EXPECT_EQ(TrayIcon(), "active") << "the icon stays";
            Close();
        }
        EXPECT_EQ(TakeCalls(), Lines{});
        SetScrnsave(saver);
    }
}

TEST_F(Tray, SwitchesWhileAnOutcomeBoxIsOpenActWithoutABoxOfTheirOwn)
{
    Start();
    int boxes = 0;
    onBox = [this, &boxes](const std::string&) {
        if (++boxes == 1)
            HotKey(40101);
        return IDOK;
    };
    Command(40302);
    Lines calls = OFF;
    calls.push_back(BOX_OFF);
    calls.insert(calls.end(), ON.begin(), ON.end());
    EXPECT_EQ(TakeCalls(), calls) << "expected the toggle inside the off box switched on, with no box nested";
    EXPECT_EQ(Shown(), SHOWN_ON);
    Close();
}

TEST_F(Tray, NothingTheUserDoesActsBeforeTheSetUpHasEnded)
{
    const std::pair<const char*, std::function<void(HWND)>> doings[] = {
        { "off item", [](HWND main) { SendMessageA(main, WM_COMMAND, 40302, 0); } },
        { "switch key", [](HWND main) { SendMessageA(main, WM_HOTKEY, 40101, 0); } },
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
        EXPECT_EQ(TakeCalls(), Lines{ UNKNOWN_BOX }) << "expected the set-up's box and nothing else";
        EXPECT_EQ(SystemActive(), 1u);
        onBox = nullptr;
        Close();
    }
}

}  // namespace
