// Tray mode as the user sees it: the icon the shell holds, commands and check
// marks, tool-tip after set-up and changes made elsewhere, starts, tray
// events and endings.
#include "harness.h"

namespace {

constexpr char TIP_ON_5[] = "NAPKIT - ScreenSaver[ ON ] -> [5分]";
constexpr char TIP_OFF[] = "NAPKIT - ScreenSaver[ OFF ]";
const std::string BOX_OFF = std::string("box main 0x1040 NAPKIT|") + SWITCHED_OFF;
const std::string BOX_ON = std::string("box main 0x1040 NAPKIT|") + SWITCHED_ON;

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
    EXPECT_EQ(TrayIcon(), "active");
    EXPECT_EQ(Tip(), TIP_ON_5);
    Close();
}

TEST_F(Tray, SetUpAndPollShowTheSystemState)
{
    struct Row {
        const char* name;
        UINT active, seconds;
        const char* dblClick;   // [Action] IconDubbleClick
        const char* checks;
        const char* icon;
        const char* tip;
    };
    const Row rows[] = {
        { .name = "defaults", .active = 1, .seconds = 300, .dblClick = nullptr,
          .checks = "40101 40205 40301 41001", .icon = "active", .tip = TIP_ON_5 },
        { .name = "off, 90 s, start action", .active = 0, .seconds = 90, .dblClick = "0",
          .checks = "40100 40200 40302 41001", .icon = "inactive", .tip = TIP_OFF },
        { .name = "60 min, action 100", .active = 1, .seconds = 3600, .dblClick = "100",
          .checks = "40260 40301 41001", .icon = "active", .tip = "NAPKIT - ScreenSaver[ ON ] -> [60分]" },
        { .name = "on, 90 s: whole minutes", .active = 1, .seconds = 90, .dblClick = "1",
          .checks = "40101 40200 40301 41001", .icon = "active", .tip = "NAPKIT - ScreenSaver[ ON ] -> [1分]" },
    };
    for (bool byPoll : { false, true }) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (byPoll ? ", seen by the poll" : ", seen at set-up"));
            SetIni("Action", "IconDubbleClick", row.dblClick);
            if (byPoll)
                Start();
            SetSystemActive(row.active);
            SetSystemTimeout(row.seconds);
            if (byPoll)
                Ticks(1);
            else
                Start();
            EXPECT_EQ(Checks(), row.checks);
            EXPECT_EQ(TrayIcon(), row.icon);
            EXPECT_EQ(Tip(), row.tip);
            EXPECT_EQ(TakeCalls(), Lines{}) << "showing the state changes nothing";
            Close();
        }
    }
}

TEST_F(Tray, StateAndTimeoutCommandsChangeTheSystemAndSaySo)
{
    struct Row {
        const char* name;
        UINT active;
        const char* flags;   // [Message] OpenMessageBox
        void (Napkit::*act)(UINT);
        UINT id;
        Lines calls;
        const char* checks;
        UINT seconds;
        const char* tip;
        const char* dblClick;   // [Action] IconDubbleClick afterwards
    };
    const Row rows[] = {
        { .name = "off", .active = 1, .flags = nullptr, .act = &Napkit::Command, .id = 40302,
          .calls = { "reg ScreenSaveActive 2 0", "spi 17 0 2", BOX_OFF },
          .checks = "40101 40205 40302 41001", .seconds = 300, .tip = TIP_OFF, .dblClick = ABSENT },
        { .name = "on, no box", .active = 0, .flags = "2", .act = &Napkit::Command, .id = 40301,
          .calls = { "reg ScreenSaveActive 2 1", "spi 17 1 2" },
          .checks = "40101 40205 40301 41001", .seconds = 300, .tip = TIP_ON_5, .dblClick = ABSENT },
        { .name = "off when off", .active = 0, .flags = "3", .act = &Napkit::Command, .id = 40302,
          .calls = {}, .checks = "40101 40205 40302 41001", .seconds = 300, .tip = TIP_OFF, .dblClick = ABSENT },
        { .name = "switch key", .active = 1, .flags = "1", .act = &Napkit::HotKey, .id = 40101,
          .calls = { "reg ScreenSaveActive 2 0", "spi 17 0 2", BOX_OFF },
          .checks = "40101 40205 40302 41001", .seconds = 300, .tip = TIP_OFF, .dblClick = ABSENT },
        { .name = "double-click", .active = 0, .flags = "1", .act = &Napkit::TrayEvent, .id = WM_LBUTTONDBLCLK,
          .calls = { "reg ScreenSaveActive 2 1", "spi 17 1 2", BOX_ON },
          .checks = "40101 40205 40301 41001", .seconds = 300, .tip = TIP_ON_5, .dblClick = ABSENT },
        { .name = "10 min", .active = 1, .flags = "3", .act = &Napkit::Command, .id = 40210,
          .calls = { "spi 15 600 2", "reg ScreenSaveTimeOut 4 600" }, .checks = "40101 40210 40301 41001",
          .seconds = 600, .tip = "NAPKIT - ScreenSaver[ ON ] -> [10分]", .dblClick = ABSENT },
        { .name = "5 min again", .active = 1, .flags = "3", .act = &Napkit::Command, .id = 40205,
          .calls = { "spi 15 300 2", "reg ScreenSaveTimeOut 4 300" },
          .checks = "40101 40205 40301 41001", .seconds = 300, .tip = TIP_ON_5, .dblClick = ABSENT },
        { .name = "60 min while off", .active = 0, .flags = "3", .act = &Napkit::Command, .id = 40260,
          .calls = { "spi 15 3600 2", "reg ScreenSaveTimeOut 5 3600" },
          .checks = "40101 40260 40302 41001", .seconds = 3600, .tip = TIP_OFF, .dblClick = ABSENT },
        { .name = "toggle action, checked", .active = 1, .flags = "3", .act = &Napkit::Command, .id = 40101,
          .calls = {}, .checks = "40101 40205 40301 41001", .seconds = 300, .tip = TIP_ON_5, .dblClick = ABSENT },
        { .name = "start action", .active = 1, .flags = "3", .act = &Napkit::Command, .id = 40100,
          .calls = {}, .checks = "40100 40205 40301 41001", .seconds = 300, .tip = TIP_ON_5, .dblClick = "0" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetSystemActive(row.active);
        SetSystemTimeout(300);
        SetIni("Message", "OpenMessageBox", row.flags);
        Start();
        (this->*row.act)(row.id);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Checks(), row.checks);
        EXPECT_EQ(Tip(), row.tip);
        EXPECT_EQ(ReadIni(Ini(), "Action", "IconDubbleClick"), row.dblClick);
        Ticks(1);
        EXPECT_EQ(Checks(), row.checks) << "the system agrees, so the poll leaves the checks as they are";
        EXPECT_EQ(SystemTimeout(), row.seconds);
        EXPECT_EQ(TakeCalls(), Lines{}) << "the poll changes nothing";
        Close();
    }
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
        { .name = "menu", .wait = "300", .act = &Napkit::Command, .id = 42000,
          .calls = { "sleep 300" }, .menuStart = "sleep 300" },
        { .name = "default", .wait = nullptr, .act = &Napkit::Command, .id = 42000,
          .calls = { "sleep 500" }, .menuStart = "sleep 500" },
        { .name = "hot key: a tenth", .wait = "300", .act = &Napkit::HotKey, .id = 42000,
          .calls = { "sleep 30" }, .menuStart = "sleep 300" },
        { .name = "hot key, 5 ms", .wait = "5", .act = &Napkit::HotKey, .id = 42000,
          .calls = { "sleep 0" }, .menuStart = "sleep 5" },
        { .name = "double-click: tray, then command", .wait = "300", .act = &Napkit::TrayEvent,
          .id = WM_LBUTTONDBLCLK, .calls = { "sleep 300", "sleep 300" }, .menuStart = "sleep 300" },
        { .name = "negative wait", .wait = "-5", .act = &Napkit::Command, .id = 42000,
          .calls = { "sleep 0" }, .menuStart = "sleep 0" },
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
    EXPECT_EQ(Checks(), "40101 40205 40301 41001");
    EXPECT_EQ(Scrnsave(), saver);
    SetSystemActive(0);
    Ticks(1);
    DropTrayIcon();
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(TrayIcon(), "inactive") << "the icon added again, as it is now";
    EXPECT_EQ(Tip(), TIP_OFF);
    Close();
}

TEST_F(Tray, EndingsWriteTheCurrentSaverBack)
{
    struct Row {
        const char* name;
        UINT message;
        WPARAM wParam;
        LRESULT result;
        bool ends;
    };
    const Row rows[] = {
        { .name = "exit command", .message = WM_COMMAND, .wParam = 42060, .result = 0, .ends = true },
        { .name = "close", .message = WM_CLOSE, .wParam = 0, .result = 0, .ends = true },
        { .name = "end of session", .message = WM_ENDSESSION, .wParam = TRUE, .result = 0, .ends = true },
        { .name = "cancelled end of session", .message = WM_ENDSESSION, .wParam = FALSE, .result = 0, .ends = false },
        { .name = "query", .message = WM_QUERYENDSESSION, .wParam = 0, .result = 1, .ends = false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Start();
        SetScrnsave("C:\\ELSEWHERE.SCR");   // less than a tick before
        EXPECT_EQ(SendMessageA(window, row.message, row.wParam, 0), row.result);
        Pump(100);
        if (row.ends) {
            EXPECT_EQ(Scrnsave(), saver) << "the saver checked is written back";
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

}  // namespace
