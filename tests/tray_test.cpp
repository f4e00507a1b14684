// Tray mode as the user sees it: commands and check marks, icon and tool-tip
// after set-up and changes made elsewhere, starts, tray events and endings.
#include "harness.h"
#include "app/app.h"

namespace {

constexpr char TIP_ON_5[] = "NAPKIT - ScreenSaver[ ON ] -> [5分]";
constexpr char TIP_OFF[] = "NAPKIT - ScreenSaver[ OFF ]";
const std::string BOX_OFF = std::string("box main 0x1040 NAPKIT|") + SWITCHED_OFF;
const std::string BOX_ON = std::string("box main 0x1040 NAPKIT|") + SWITCHED_ON;

struct Tray : Napkit {
    std::string saver;
    void SetUp() override { Napkit::SetUp(), SetScrnsave(saver = Install("logsaver.scr", "ONE.SCR")); }
    int TakeStarts(int starts = 0)   // screen-saver starts the window has posted to itself
    {
        for (MSG msg; PeekMessageA(&msg, window, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE);)
            starts += msg.wParam == SC_SCREENSAVE;
        return starts;
    }
};

TEST_F(Tray, MenuOffersEachCommandUnderItsId)
{
    const std::pair<UINT, const char*> items[] = {
        { 42000, "通常起動" }, { 42010, "ランダム起動" }, { 42020, "ウエイト設定" }, { 41900, SAVER_SETTINGS_ITEM },
        { 41950, "ランダムチェンジ" }, { 40301, " [ ＯＮ ]" }, { 40302, " [ ＯＦＦ ]" }, { 40205, "５分" },
        { 40210, "１０分" }, { 40260, "６０分" }, { 40200, "任意" }, { 40100, "スクリーンセーバー起動" },
        { 40101, "有効／無効  切り替え" }, { 42030, "リフレッシュ" }, { 42040, "設定" },
        { 42050, "バージョン情報(&A)" }, { 42060, "終了(&X)" }, { 41001, "テスト用ロガー" }, { 41000, ABSENT },
    };
    Start();
    for (const auto& item : items)
        EXPECT_EQ(MenuText(item.first), item.second) << item.first;
}

TEST_F(Tray, SetUpAndPollShowTheSystemState)
{
    const struct { const char* name; UINT active, seconds; const char* dblClick, *checks, *icon, *tip; } rows[] = {
        { "defaults", 1, 300, nullptr, "40101 40205 40301 41001", "active", TIP_ON_5 },
        { "off, 90 s, start action", 0, 90, "0", "40100 40200 40302 41001", "inactive", TIP_OFF },
        { "60 min, action 100", 1, 3600, "100", "40260 40301 41001", "active", "NAPKIT - ScreenSaver[ ON ] -> [60分]" },
        { "1 min", 1, 60, "1", "40101 40200 40301 41001", "active", "NAPKIT - ScreenSaver[ ON ] -> [1分]" },
    };
    for (bool byPoll : { false, true }) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (byPoll ? " (poll)" : " (set-up)"));
            SetIni("Action", "IconDubbleClick", row.dblClick);
            byPoll ? (void)Start() : (void)0;
            SetSystemActive(row.active), SetSystemTimeout(row.seconds);
            byPoll ? Ticks(1) : (void)Start();
            EXPECT_EQ(Checks() + " " + TrayIcon() + " " + Tip(), std::string(row.checks) + " " + row.icon + " " + row.tip);
            Close();
        }
    }
}

TEST_F(Tray, StateAndTimeoutCommandsChangeTheSystemAndSaySo)
{
    const struct { const char* name; UINT active; const char* flags; void (Napkit::*act)(UINT); UINT id;
                   Lines calls; const char* checks; UINT seconds; const char* dblClick; } rows[] = {
        { "off", 1, nullptr, &Napkit::Command, 40302, { "reg ScreenSaveActive 2 0", "spi 17 0 2", BOX_OFF }, "40101 40205 40302 41001", 300, ABSENT },
        { "on, no box", 0, "2", &Napkit::Command, 40301, { "reg ScreenSaveActive 2 1", "spi 17 1 2" }, "40101 40205 40301 41001", 300, ABSENT },
        { "off when off", 0, "3", &Napkit::Command, 40302, {}, "40101 40205 40302 41001", 300, ABSENT },
        { "switch key", 1, "1", &Napkit::HotKey, 40101, { "reg ScreenSaveActive 2 0", "spi 17 0 2", BOX_OFF }, "40101 40205 40302 41001", 300, ABSENT },
        { "double-click", 0, "1", &Napkit::TrayEvent, WM_LBUTTONDBLCLK, { "reg ScreenSaveActive 2 1", "spi 17 1 2", BOX_ON }, "40101 40205 40301 41001", 300, ABSENT },
        { "10 min", 1, "3", &Napkit::Command, 40210, { "spi 15 600 2", "reg ScreenSaveTimeOut 4 600" }, "40101 40210 40301 41001", 600, ABSENT },
        { "5 min again", 1, "3", &Napkit::Command, 40205, { "spi 15 300 2", "reg ScreenSaveTimeOut 4 300" }, "40101 40205 40301 41001", 300, ABSENT },
        { "60 min", 0, "3", &Napkit::Command, 40260, { "spi 15 3600 2", "reg ScreenSaveTimeOut 5 3600" }, "40101 40260 40302 41001", 3600, ABSENT },
        { "toggle action, checked", 1, "3", &Napkit::Command, 40101, {}, "40101 40205 40301 41001", 300, ABSENT },
        { "start action", 1, "3", &Napkit::Command, 40100, {}, "40100 40205 40301 41001", 300, "0" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetSystemActive(row.active), SetSystemTimeout(300), SetIni("Message", "OpenMessageBox", row.flags);
        Start(), TakeCalls(), (this->*row.act)(row.id);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Checks(), row.checks);
        EXPECT_EQ(ReadIni(Ini(), "Action", "IconDubbleClick"), row.dblClick);
        Ticks(1);   // the system agrees, so the poll leaves everything as it is
        EXPECT_EQ(Checks(), row.checks);
        EXPECT_EQ(SystemTimeout(), row.seconds);
        EXPECT_EQ(TrayIcon(), SystemActive() ? "active" : "inactive");
        Close();
    }
}

TEST_F(Tray, StartsWaitTheConfiguredTimeOnce)
{
    const struct { const char* name, *wait; void (Napkit::*act)(UINT); UINT id; Lines calls; const char* menuStart; } rows[] = {
        { "menu", "300", &Napkit::Command, 42000, { "sleep 300" }, "sleep 300" },
        { "default", nullptr, &Napkit::Command, 42000, { "sleep 500" }, "sleep 500" },
        { "hot key: a tenth", "300", &Napkit::HotKey, 42000, { "sleep 30" }, "sleep 300" },
        { "hot key, 5 ms", "5", &Napkit::HotKey, 42000, { "sleep 0" }, "sleep 5" },
        { "double-click: tray, then command", "300", &Napkit::TrayEvent, WM_LBUTTONDBLCLK, { "sleep 300", "sleep 300" }, "sleep 300" },
        { "negative wait", "-5", &Napkit::Command, 42000, { "sleep 0" }, "sleep 0" },
        { "at most a minute", "99999999", &Napkit::HotKey, 42000, { "sleep 6000" }, "sleep 60000" },
    };
    SetIni("Action", "IconDubbleClick", "0");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Action", "ScreenSaveCommandWait", row.wait);
        Start(), TakeCalls(), (this->*row.act)(row.id);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(TakeStarts(), 1);
        Command(42000);   // a hot key's tenth applies to that start only
        EXPECT_EQ(TakeCalls(), Lines{ row.menuStart });
        Close();
    }
}

bool menuShown;
HMENU shownMenu;
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD)   // a refresh asked for meanwhile
{
    KillTimer(NULL, id), SendMessageA(FindNapkitWindow(), WM_HOTKEY, 42030, 0);
    menuShown = IsMenu(shownMenu) && FindWindowA("#32768", NULL) != NULL, EndMenu();
}

TEST_F(Tray, TrayEventsOpenTheMenuOrDoNothingAndANewTaskbarGetsTheIcon)
{
    Start(), shownMenu = appState.menuRoot, SetTimer(NULL, 0, 300, CloseMenu), TrayEvent(WM_RBUTTONUP);
    EXPECT_TRUE(menuShown) << "no menu, or one that the refresh took away";
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, window, WM_NULL, WM_NULL, PM_REMOVE)) << "no WM_NULL after the menu";
    for (UINT event : { WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE })
        TrayEvent(event);
    for (UINT id : { 40150u, 41000u, 41901u, 43000u })
        Command(id), SendMessageA(window, WM_TRAYNOTIFY, 1021, WM_LBUTTONDBLCLK);   // and another icon's
    EXPECT_EQ(TakeCalls(), Lines{});
    EXPECT_EQ(Checks(), "40101 40205 40301 41001");
    EXPECT_EQ(Scrnsave(), saver);
    // A new taskbar (the shell restarted) gets the icon again.
    SetSystemActive(0), Ticks(1), DropTrayIcon();
    EXPECT_FALSE(IsMenu(shownMenu)) << "the refresh never ran after the menu";
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(TrayIcon(), "inactive");
    EXPECT_EQ(Tip(), TIP_OFF);
}

TEST_F(Tray, EndingsWriteTheCurrentSaverBack)
{
    const struct { const char* name; UINT message; WPARAM wParam; LRESULT result; bool ends; } rows[] = {
        { "exit command", WM_COMMAND, 42060, 0, true }, { "close", WM_CLOSE, 0, 0, true },
        { "end of session", WM_ENDSESSION, TRUE, 0, true }, { "cancelled end of session", WM_ENDSESSION, FALSE, 0, false },
        { "query", WM_QUERYENDSESSION, 0, 1, false },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Start(), SetScrnsave("C:\\ELSEWHERE.SCR");   // less than a tick before
        EXPECT_EQ(SendMessageA(window, row.message, row.wParam, 0), row.result);
        Pump(100);
        EXPECT_EQ(Scrnsave(), row.ends ? saver : "C:\\ELSEWHERE.SCR");
        EXPECT_EQ(TrayIcon(), row.ends ? "none" : "active");
        row.ends ? ExpectEnded() : Close();
        SetScrnsave(saver);
    }
}

}  // namespace
