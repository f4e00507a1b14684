// The tray menu resource and its radio groups, the main window's set-up and
// poll, the tray icon with its tool-tip, and the icon's mouse events, driven
// through the real main window with the messages the system delivers.
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "app/app.h"
#include "res/resource.h"
#include "ui/ui.h"

using namespace harness;

namespace {

constexpr char SAVER_NAME[] = "LOGGER.SCR";
constexpr char UNTOUCHED[] = "untouched";   // registry value no code path writes
constexpr char TIP_OFF[] = "NAPKIT - ScreenSaver[ OFF ]";
constexpr char TIP_ON_10[] = "NAPKIT - ScreenSaver[ ON ] -> [10分]";
constexpr char TOGGLED_OFF[] = "スクリーンセーバーを「無効」にしました。";
constexpr char TOGGLED_ON[] = "スクリーンセーバーを「有効」にしました。";
constexpr UINT NO_ITEM = 0;                  // no item of the group is checked
constexpr DWORD SETTLE_MS = 300;             // time for a stray box or post to show
constexpr DWORD MENU_SHOW_MS = 150;          // how long a test menu stays open
constexpr UINT MN_GETHMENU_MESSAGE = 0x01E1;
constexpr int POLL_SLICE_MS = 20;
constexpr int ESCAPE_AFTER_MS = 1000;
constexpr WPARAM LOWER_CASE_BIT = 0x20;
constexpr char MENU_CLASS[] = "#32768";

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

// The shell refuses a modify request for an icon it does not know, so a
// modify with a copy of the program's record tells whether the icon exists.
bool TrayIconExists()
{
    NOTIFYICONDATAA copy = appState.notifyData;
    return Shell_NotifyIconA(NIM_MODIFY, &copy) != FALSE;
}

void Poll(HWND window)
{
    SendMessageA(window, WM_TIMER, POLL_TIMER_ID, 0);
}

LRESULT TrayEvent(HWND window, WPARAM iconId, LPARAM mouseMessage)
{
    return SendMessageA(window, WM_TRAYNOTIFY, iconId, mouseMessage);
}

// Messages of the main window worth watching, recorded by a subclass that
// passes everything on to the program's own procedure.
struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> seen;
WNDPROC programProc = NULL;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NULL:
    case WM_COMMAND:
    case WM_SYSCOMMAND:
    case WM_ENTERMENULOOP:
    case WM_EXITMENULOOP:
        seen.push_back({ message, wParam, lParam });
        break;
    }
    return CallWindowProcA(programProc, window, message, wParam, lParam);
}

int CountSeen(UINT message)
{
    int count = 0;
    for (const Seen& s : seen)
        count += s.message == message;
    return count;
}

// Watches for the pop-up menu window of this process from a thread of its
// own, notes where it opened and which menu it shows, and then posts the
// given key to it (Escape leaves the menu, a letter chooses by access key),
// so that TrackPopupMenu on the main thread returns.
class MenuCloser {
public:
    explicit MenuCloser(WPARAM key = VK_ESCAPE) : key_(key)
    {
        thread_ = CreateThread(NULL, 0, ThreadMain, this, 0, NULL);
    }
    ~MenuCloser()
    {
        InterlockedExchange(&stop_, 1);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
    }
    int menusSeen() const { return menusSeen_; }
    POINT topLeft() const { return topLeft_; }
    HMENU shownMenu() const { return shownMenu_; }

private:
    static BOOL CALLBACK FindMenu(HWND window, LPARAM param)
    {
        char name[16] = "";
        GetClassNameA(window, name, sizeof name);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == GetCurrentProcessId() && lstrcmpA(name, MENU_CLASS) == 0
            && IsWindowVisible(window)) {
            *(HWND*)param = window;
            return FALSE;
        }
        return TRUE;
    }
    static DWORD WINAPI ThreadMain(void* self)
    {
        ((MenuCloser*)self)->Run();
        return 0;
    }
    void Run()
    {
        while (!stop_) {
            HWND menu = NULL;
            EnumWindows(FindMenu, (LPARAM)&menu);
            if (menu) {
                ++menusSeen_;
                RECT rect;
                GetWindowRect(menu, &rect);
                topLeft_ = { rect.left, rect.top };
                DWORD_PTR shown = 0;
                SendMessageTimeoutA(menu, MN_GETHMENU_MESSAGE, 0, 0, SMTO_ABORTIFHUNG, 2000,
                                    &shown);
                shownMenu_ = (HMENU)shown;
                Sleep(MENU_SHOW_MS);
                if (key_ == VK_ESCAPE) {
                    PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
                } else {
                    PostMessageA(menu, WM_KEYDOWN, key_, 0);
                    PostMessageA(menu, WM_CHAR, key_ | LOWER_CASE_BIT, 0);
                }
                // A key the menu did not take must not leave it open: Escape
                // then, until it has closed (each press leaves one level).
                for (int waited = 0; !stop_ && IsWindowVisible(menu); waited += POLL_SLICE_MS) {
                    if (waited > 0 && waited % ESCAPE_AFTER_MS == 0)
                        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
                    Sleep(POLL_SLICE_MS);
                }
            }
            Sleep(POLL_SLICE_MS);
        }
    }
    WPARAM key_;
    HANDLE thread_ = NULL;
    volatile LONG stop_ = 0;
    volatile int menusSeen_ = 0;
    POINT topLeft_ = { -1, -1 };
    HMENU shownMenu_ = NULL;
};

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
    }

    void Subclass()
    {
        seen.clear();
        programProc = (WNDPROC)SetWindowLongPtrA(window_, GWLP_WNDPROC, (LONG_PTR)RecordingProc);
    }

    SystemGuard guard_;
    ScratchDir dir_;
    BoxResponder boxes_;
    HWND window_ = NULL;
    std::string saver_;
};

// ---------------------------------------------------------------------------
// The menu resource as the program carries it, before anything changes it.

enum class Kind { Separator, Popup, Item };

struct MenuRow {
    int pos;          // 1-based position in the tray pop-up
    int sub;          // 1-based position inside that entry's pop-up, 0 for the entry
    Kind kind;
    const char* caption;
    UINT id;
};

const MenuRow MENU_TABLE[] = {
    { 1, 0, Kind::Separator, "", 0 },
    { 2, 0, Kind::Popup, "スクリーンセーバー起動", 0 },
    { 2, 1, Kind::Item, "通常起動", IDM_START_NORMAL },
    { 2, 2, Kind::Item, "ランダム起動", IDM_START_RANDOM },
    { 3, 0, Kind::Item, "ウエイト設定", IDM_WAIT_SETTING },
    { 4, 0, Kind::Popup, "スクリーンセーバー変更", 0 },
    { 4, 1, Kind::Item, "無し", IDM_SAVER_BASE },
    { 4, 2, Kind::Separator, "", 0 },
    { 4, 3, Kind::Item, "設定", IDM_SAVER_SETUP },
    { 4, 4, Kind::Item, "ランダムチェンジ", IDM_RANDOM_CHANGE },
    { 5, 0, Kind::Separator, "", 0 },
    { 6, 0, Kind::Popup, "スクリーンセーバーの状態", 0 },
    { 6, 1, Kind::Item, " [ ＯＮ ]", IDM_STATE_ON },
    { 6, 2, Kind::Item, " [ ＯＦＦ ]", IDM_STATE_OFF },
    { 7, 0, Kind::Popup, "待ち時間", 0 },
    { 7, 1, Kind::Item, "５分", IDM_TIMEOUT_5 },
    { 7, 2, Kind::Item, "１０分", IDM_TIMEOUT_10 },
    { 7, 3, Kind::Item, "１５分", IDM_TIMEOUT_15 },
    { 7, 4, Kind::Item, "２０分", IDM_TIMEOUT_20 },
    { 7, 5, Kind::Item, "３０分", IDM_TIMEOUT_30 },
    { 7, 6, Kind::Item, "６０分", IDM_TIMEOUT_60 },
    { 7, 7, Kind::Separator, "", 0 },
    { 7, 8, Kind::Item, "任意", IDM_TIMEOUT_CUSTOM },
    { 8, 0, Kind::Popup, "ダブルクリック動作", 0 },
    { 8, 1, Kind::Item, "スクリーンセーバー起動", IDM_DBLCLICK_START },
    { 8, 2, Kind::Item, "有効／無効  切り替え", IDM_DBLCLICK_TOGGLE },
    { 9, 0, Kind::Separator, "", 0 },
    { 10, 0, Kind::Item, "リフレッシュ", IDM_REFRESH },
    { 11, 0, Kind::Item, "設定", IDM_SETTINGS },
    { 12, 0, Kind::Separator, "", 0 },
    { 13, 0, Kind::Item, "バージョン情報(&A)", IDM_ABOUT },
    { 14, 0, Kind::Item, "終了(&X)", IDM_EXIT },
    { 15, 0, Kind::Separator, "", 0 },
};

class MenuResource : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = LoadMenuA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDR_TRAYMENU));
        ASSERT_TRUE(root_ != NULL);
        tray_ = GetSubMenu(root_, 0);
        ASSERT_TRUE(tray_ != NULL);
    }
    void TearDown() override { DestroyMenu(root_); }

    // Every item of the menu tree below menu, pop-ups included.
    static void Walk(HMENU menu, const std::function<void(HMENU, int)>& visit)
    {
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            visit(menu, i);
            if (HMENU sub = GetSubMenu(menu, i))
                Walk(sub, visit);
        }
    }

    HMENU root_ = NULL;
    HMENU tray_ = NULL;
};

TEST_F(MenuResource, OnlyTopLevelEntryIsTheHiddenPopupMenu1)
{
    EXPECT_EQ(1, GetMenuItemCount(root_));
    EXPECT_EQ("Menu1", MenuText(root_, 0));
}

TEST_F(MenuResource, EntriesInOrderWithCaptionsAndIds)
{
    EXPECT_EQ(15, GetMenuItemCount(tray_));
    for (const MenuRow& row : MENU_TABLE) {
        SCOPED_TRACE(::testing::Message() << "position " << row.pos << "." << row.sub);
        HMENU menu = tray_;
        int position = row.pos - 1;
        if (row.sub > 0) {
            menu = GetSubMenu(tray_, row.pos - 1);
            ASSERT_TRUE(menu != NULL);
            position = row.sub - 1;
        }
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_ID;
        ASSERT_TRUE(GetMenuItemInfoA(menu, position, TRUE, &info));
        EXPECT_EQ(row.kind == Kind::Separator, (info.fType & MFT_SEPARATOR) != 0);
        EXPECT_EQ(row.kind == Kind::Popup, info.hSubMenu != NULL);
        EXPECT_EQ(std::string(row.caption), MenuText(menu, position));
        if (row.kind == Kind::Item)
            EXPECT_EQ(row.id, info.wID);
    }
    // No pop-up holds more than the table lists.
    for (int pos : { 2, 4, 6, 7, 8 }) {
        int rows = 0;
        for (const MenuRow& row : MENU_TABLE)
            rows += row.pos == pos && row.sub > 0;
        EXPECT_EQ(rows, GetMenuItemCount(GetSubMenu(tray_, pos - 1))) << "pop-up " << pos;
    }
}

TEST_F(MenuResource, CaptionsKeepBlanksAndFullWidthLettersByteForByte)
{
    // Code page 932 bytes, independent of how this file is compiled.
    EXPECT_EQ(std::string("\x20\x5B\x20\x82\x6E\x82\x6D\x20\x5D"),
              MenuText(GetSubMenu(tray_, 5), 0));   // " [ ＯＮ ]"
    EXPECT_EQ(std::string("\x20\x5B\x20\x82\x6E\x82\x65\x82\x65\x20\x5D"),
              MenuText(GetSubMenu(tray_, 5), 1));   // " [ ＯＦＦ ]"
    EXPECT_EQ(std::string("\x97\x4C\x8C\xF8\x81\x5E\x96\xB3\x8C\xF8\x20\x20"
                          "\x90\xD8\x82\xE8\x91\xD6\x82\xA6"),
              MenuText(GetSubMenu(tray_, 7), 1));   // "有効／無効  切り替え"
    EXPECT_EQ(std::string("\x96\xB3\x82\xB5"), MenuText(GetSubMenu(tray_, 3), 0));   // "無し"
}

TEST_F(MenuResource, OnlyThePlaceholderIsGrayedAndNothingIsChecked)
{
    int grayed = 0;
    Walk(tray_, [&](HMENU menu, int position) {
        UINT state = GetMenuState(menu, position, MF_BYPOSITION);
        UINT id = GetMenuItemID(menu, position);
        EXPECT_FALSE(state & MF_CHECKED) << "id " << id;
        // Separators count as grayed; they cannot be chosen anyway.
        if ((state & MF_GRAYED) && !(state & MF_SEPARATOR)) {
            ++grayed;
            EXPECT_EQ((UINT)IDM_SAVER_BASE, id);
        }
    });
    EXPECT_EQ(1, grayed);
}

// ---------------------------------------------------------------------------
// The two small operations of the radio groups.

TEST(TimeoutMenuId, PresetsMapToTheirItemsEverythingElseToCustom)
{
    const struct { int minutes; UINT id; } table[] = {
        { 0, IDM_TIMEOUT_CUSTOM }, { 1, IDM_TIMEOUT_CUSTOM }, { 5, IDM_TIMEOUT_5 },
        { 7, IDM_TIMEOUT_CUSTOM }, { 10, IDM_TIMEOUT_10 }, { 15, IDM_TIMEOUT_15 },
        { 20, IDM_TIMEOUT_20 }, { 30, IDM_TIMEOUT_30 }, { 45, IDM_TIMEOUT_CUSTOM },
        { 60, IDM_TIMEOUT_60 }, { 61, IDM_TIMEOUT_CUSTOM }, { 120, IDM_TIMEOUT_CUSTOM },
        { -5, IDM_TIMEOUT_CUSTOM }, { 100000, IDM_TIMEOUT_CUSTOM },
    };
    for (const auto& row : table)
        EXPECT_EQ(row.id, TimeoutMenuId(row.minutes)) << row.minutes << " minutes";
}

class CheckRadio : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZeroMemory(&appState, sizeof appState);
        appState.instance = GetModuleHandleA(NULL);
        LoadTrayMenu();
        ASSERT_TRUE(appState.menuRoot != NULL);
    }
    void TearDown() override { DestroyTrayMenu(); }
};

TEST_F(CheckRadio, SameIdReturnsZeroAndTouchesNoItem)
{
    // The field and the menu disagree on purpose: a call that touched the
    // menu would put the check back on 40205 or take it off 40210.
    UINT group = IDM_TIMEOUT_5;
    CheckMenuItem(appState.menuRoot, IDM_TIMEOUT_10, MF_BYCOMMAND | MF_CHECKED);
    EXPECT_EQ(0, CheckRadioItem(IDM_TIMEOUT_5, &group));
    EXPECT_EQ((UINT)IDM_TIMEOUT_5, group);
    EXPECT_EQ(Only(IDM_TIMEOUT_10), CheckedIn(TIMEOUT_GROUP));
}

TEST_F(CheckRadio, MovesTheCheckAndStoresTheNewId)
{
    const struct { UINT from; UINT to; } table[] = {
        { IDM_STATE_ON, IDM_STATE_OFF },
        { IDM_TIMEOUT_CUSTOM, IDM_TIMEOUT_60 },
        { 0, IDM_DBLCLICK_START },       // nothing checked yet
        { 40105, IDM_DBLCLICK_TOGGLE },  // an id no item has
    };
    for (const auto& row : table) {
        SCOPED_TRACE(::testing::Message() << row.from << " -> " << row.to);
        if (row.from)
            CheckMenuItem(appState.menuRoot, row.from, MF_BYCOMMAND | MF_CHECKED);
        UINT group = row.from;
        EXPECT_EQ(1, CheckRadioItem(row.to, &group));
        EXPECT_EQ(row.to, group);
        EXPECT_TRUE(MenuChecked(row.to));
        if (row.from)
            EXPECT_FALSE(MenuChecked(row.from));
    }
}

// ---------------------------------------------------------------------------
// Set-up: what the new window shows.

struct SetUpCase {
    const char* name;
    UINT active;
    UINT seconds;
    const char* dblClick;   // [Action] IconDubbleClick, nullptr: absent
    UINT stateItem;
    int minutes;
    UINT timeoutItem;
    UINT dblClickItem;      // field value
    UINT dblClickChecked;   // NO_ITEM when no item of the group has the check
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SetUpCase& c, std::ostream* os)
{
    *os << c.name;
}

class SetUpGroups : public Tray, public ::testing::WithParamInterface<SetUpCase> {};

TEST_P(SetUpGroups, OneCheckPerGroupFromSystemAndSettings)
{
    const SetUpCase& c = GetParam();
    if (c.dblClick)
        WriteIni(dir_.ini(), "Action", "IconDubbleClick", c.dblClick);
    ASSERT_NO_FATAL_FAILURE(Start(c.active, c.seconds));
    EXPECT_EQ(c.active, appState.screenSaveActive);
    EXPECT_EQ(c.minutes, appState.timeoutMinutes);
    EXPECT_EQ(c.stateItem, appState.stateItem);
    EXPECT_EQ(c.timeoutItem, appState.timeoutItem);
    EXPECT_EQ(c.dblClickItem, appState.dblClickItem);
    EXPECT_EQ(Only(c.stateItem), CheckedIn(STATE_GROUP));
    EXPECT_EQ(Only(c.timeoutItem), CheckedIn(TIMEOUT_GROUP));
    EXPECT_EQ(Only(c.dblClickChecked), CheckedIn(DBLCLICK_GROUP));
}

INSTANTIATE_TEST_SUITE_P(Cases, SetUpGroups, ::testing::Values(
    SetUpCase{ "On300sDefault", 1, 300, nullptr, IDM_STATE_ON, 5, IDM_TIMEOUT_5,
               IDM_DBLCLICK_TOGGLE, IDM_DBLCLICK_TOGGLE },
    SetUpCase{ "On90sStart", 1, 90, "0", IDM_STATE_ON, 1, IDM_TIMEOUT_CUSTOM,
               IDM_DBLCLICK_START, IDM_DBLCLICK_START },
    SetUpCase{ "Off600sToggle", 0, 600, "1", IDM_STATE_OFF, 10, IDM_TIMEOUT_10,
               IDM_DBLCLICK_TOGGLE, IDM_DBLCLICK_TOGGLE },
    SetUpCase{ "On3600sBadAction", 1, 3600, "5", IDM_STATE_ON, 60, IDM_TIMEOUT_60, 40105,
               NO_ITEM },
    SetUpCase{ "Off30s", 0, 30, nullptr, IDM_STATE_OFF, 0, IDM_TIMEOUT_CUSTOM,
               IDM_DBLCLICK_TOGGLE, IDM_DBLCLICK_TOGGLE }),
    [](const ::testing::TestParamInfo<SetUpCase>& info) { return std::string(info.param.name); });

TEST_F(Tray, SetUpDefaultsWithoutSettingsFile)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(3u, appState.messageFlags);
    EXPECT_EQ(1, appState.useSaverName);
    EXPECT_EQ(500, appState.commandWaitMs);
    EXPECT_EQ(1u, appState.startWaitDivisor);
    EXPECT_EQ(0, appState.hotKeysEnabled);
    EXPECT_EQ(0, appState.refreshing);
}

TEST_F(Tray, SetUpReadsSettingsFile)
{
    WriteIni(dir_.ini(), "Message", "OpenMessageBox", "2");
    WriteIni(dir_.ini(), "Action", "UseSaverName", "0");
    WriteIni(dir_.ini(), "Action", "ScreenSaveCommandWait", "250");
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(2u, appState.messageFlags);
    EXPECT_EQ(0, appState.useSaverName);
    EXPECT_EQ(250, appState.commandWaitMs);
}

TEST_F(Tray, SetUpWritesNothing)
{
    std::string systemIni = ReadFileBytes(SystemIniPath());
    ASSERT_NO_FATAL_FAILURE(Start());
    PumpMessages(SETTLE_MS);   // a poll tick or two
    EXPECT_FALSE(FileExists(dir_.ini()));
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveTimeOut"));
    EXPECT_EQ(saver_, ReadScrnsave());
    EXPECT_EQ(1u, SpiActive());
    EXPECT_EQ(600u, SpiTimeout());
}

TEST_F(Tray, SetUpAddsTheTrayIconWithItsFirstVersionRecord)
{
    ASSERT_NO_FATAL_FAILURE(Start(1, 600));
    const NOTIFYICONDATAA& data = appState.notifyData;
    EXPECT_EQ(88u, data.cbSize);
    EXPECT_EQ(window_, data.hWnd);
    EXPECT_EQ(1020u, data.uID);
    EXPECT_EQ(7u, data.uFlags);
    EXPECT_EQ(0x83FCu, data.uCallbackMessage);
    HINSTANCE instance = GetModuleHandleA(NULL);
    EXPECT_EQ(LoadIconA(instance, MAKEINTRESOURCEA(IDI_ACTIVE)), appState.iconActive);
    EXPECT_EQ(LoadIconA(instance, MAKEINTRESOURCEA(IDI_INACTIVE)), appState.iconInactive);
    EXPECT_TRUE(appState.iconActive != NULL);
    EXPECT_NE(appState.iconActive, appState.iconInactive);
    EXPECT_TRUE(TrayIconExists());
}

// ---------------------------------------------------------------------------
// Tool-tip and icon: at start, and after a poll that finds an outside change.

struct TipCase {
    const char* name;
    UINT active;
    UINT seconds;
    const char* tip;
};

void PrintTo(const TipCase& c, std::ostream* os)
{
    *os << c.name;
}

const TipCase TIP_CASES[] = {
    { "On10Minutes", 1, 600, TIP_ON_10 },
    { "Off", 0, 600, TIP_OFF },
    { "On30Seconds", 1, 30, "NAPKIT - ScreenSaver[ ON ] -> [0分]" },
    { "On90Seconds", 1, 90, "NAPKIT - ScreenSaver[ ON ] -> [1分]" },
    { "On60Minutes", 1, 3600, "NAPKIT - ScreenSaver[ ON ] -> [60分]" },
};

std::string TipCaseName(const ::testing::TestParamInfo<TipCase>& info)
{
    return info.param.name;
}

class StartTip : public Tray, public ::testing::WithParamInterface<TipCase> {};

TEST_P(StartTip, ShowsStateAndMinutes)
{
    ASSERT_NO_FATAL_FAILURE(Start(GetParam().active, GetParam().seconds));
    EXPECT_EQ(GetParam().tip, TipText());
    EXPECT_EQ(GetParam().active ? appState.iconActive : appState.iconInactive,
              appState.notifyData.hIcon);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartTip, ::testing::ValuesIn(TIP_CASES), TipCaseName);

struct PollCase {
    const char* name;
    UINT active;
    UINT seconds;
    UINT stateItem;
    int minutes;
    UINT timeoutItem;
    const char* tip;
};

void PrintTo(const PollCase& c, std::ostream* os)
{
    *os << c.name;
}

class PollChange : public Tray, public ::testing::WithParamInterface<PollCase> {};

TEST_P(PollChange, MovesChecksIconAndTipAndWritesNothing)
{
    const PollCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(1, 1200));
    SetSpiActive(c.active);
    SetSpiTimeout(c.seconds);
    Poll(window_);
    EXPECT_EQ(c.active, appState.screenSaveActive);
    EXPECT_EQ(c.minutes, appState.timeoutMinutes);
    EXPECT_EQ(c.stateItem, appState.stateItem);
    EXPECT_EQ(c.timeoutItem, appState.timeoutItem);
    EXPECT_EQ(Only(c.stateItem), CheckedIn(STATE_GROUP));
    EXPECT_EQ(Only(c.timeoutItem), CheckedIn(TIMEOUT_GROUP));
    EXPECT_EQ(c.tip, TipText());
    EXPECT_EQ(c.active ? appState.iconActive : appState.iconInactive, appState.notifyData.hIcon);
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveTimeOut"));
    EXPECT_EQ(0u, boxes_.Count());
}

INSTANTIATE_TEST_SUITE_P(Cases, PollChange, ::testing::Values(
    PollCase{ "To90Seconds", 1, 90, IDM_STATE_ON, 1, IDM_TIMEOUT_CUSTOM,
              "NAPKIT - ScreenSaver[ ON ] -> [1分]" },
    PollCase{ "To300Seconds", 1, 300, IDM_STATE_ON, 5, IDM_TIMEOUT_5,
              "NAPKIT - ScreenSaver[ ON ] -> [5分]" },
    PollCase{ "To7Minutes", 1, 420, IDM_STATE_ON, 7, IDM_TIMEOUT_CUSTOM,
              "NAPKIT - ScreenSaver[ ON ] -> [7分]" },
    PollCase{ "To10Minutes", 1, 600, IDM_STATE_ON, 10, IDM_TIMEOUT_10, TIP_ON_10 },
    PollCase{ "SwitchedOff", 0, 1200, IDM_STATE_OFF, 20, IDM_TIMEOUT_20, TIP_OFF }),
    [](const ::testing::TestParamInfo<PollCase>& info) { return std::string(info.param.name); });

TEST_F(Tray, PollTimerNoticesOutsideChangesWithinHalfASecond)
{
    ASSERT_NO_FATAL_FAILURE(Start(1, 600));
    SetSpiActive(0);
    // No WM_TIMER from the test: the program's own 500 ms timer must run.
    EXPECT_TRUE(PumpUntil([] { return MenuChecked(IDM_STATE_OFF); }, 1500));
    EXPECT_EQ(TIP_OFF, TipText());
    SetSpiActive(1);
    SetSpiTimeout(300);
    EXPECT_TRUE(PumpUntil([] { return MenuChecked(IDM_TIMEOUT_5) && MenuChecked(IDM_STATE_ON); },
                          1500));
    EXPECT_EQ(Only(IDM_TIMEOUT_5), CheckedIn(TIMEOUT_GROUP));
    EXPECT_EQ(appState.iconActive, appState.notifyData.hIcon);
}

TEST_F(Tray, PollIgnoresASaverChangedOnlyInLetterCase)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    UINT saverItem = appState.saverItem;
    std::string lower = saver_;
    CharLowerA(&lower[0]);
    ASSERT_NE(saver_, lower);
    WriteScrnsave(lower);
    Poll(window_);
    PumpMessages(SETTLE_MS);
    EXPECT_STREQ(saver_.c_str(), appState.currentSaver);
    EXPECT_EQ(saverItem, appState.saverItem);
    EXPECT_EQ(lower, ReadScrnsave());
    EXPECT_EQ(0u, boxes_.Count());
}

// ---------------------------------------------------------------------------
// Double-click group commands.

struct DblClickCase {
    const char* name;
    const char* before;   // [Action] IconDubbleClick, nullptr: absent
    UINT command;
    const char* after;    // the key afterwards (ABSENT: still absent)
};

void PrintTo(const DblClickCase& c, std::ostream* os)
{
    *os << c.name;
}

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
    // Only the setting: the screen saver itself is left alone.
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
    DblClickCase{ "UncheckedToStart", "5", IDM_DBLCLICK_START, "0" },
    DblClickCase{ "UncheckedToToggle", "5", IDM_DBLCLICK_TOGGLE, "1" }),
    [](const ::testing::TestParamInfo<DblClickCase>& info) {
        return std::string(info.param.name);
    });

// ---------------------------------------------------------------------------
// Tray icon events.

struct TrayToggleCase {
    const char* name;
    UINT active;
    const char* dblClick;
    UINT stateAfter;
    const char* text;
    const char* registry;
};

void PrintTo(const TrayToggleCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrayDoubleClickToggle : public Tray, public ::testing::WithParamInterface<TrayToggleCase> {};

TEST_P(TrayDoubleClickToggle, TogglesAndMovesTheStateCheck)
{
    const TrayToggleCase& c = GetParam();
    if (c.dblClick)
        WriteIni(dir_.ini(), "Action", "IconDubbleClick", c.dblClick);
    ASSERT_NO_FATAL_FAILURE(Start(c.active, 600));
    HICON iconWithBox = NULL;
    boxes_.SetHandler([&iconWithBox](const BoxRecord&) {
        iconWithBox = appState.notifyData.hIcon;
        return false;
    });
    EXPECT_EQ(0, TrayEvent(window_, TRAY_ICON_ID, WM_LBUTTONDBLCLK));
    HICON iconAfter = c.active ? appState.iconInactive : appState.iconActive;
    EXPECT_EQ(c.active ^ 1, SpiActive());
    EXPECT_EQ(c.registry, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(c.stateAfter, appState.stateItem);
    EXPECT_EQ(Only(c.stateAfter), CheckedIn(STATE_GROUP));
    EXPECT_EQ(iconAfter, appState.notifyData.hIcon);
    ASSERT_EQ(1u, boxes_.Count());
    EXPECT_EQ(c.text, boxes_.Boxes()[0].text);
    EXPECT_EQ(window_, boxes_.Boxes()[0].owner);
    EXPECT_EQ(iconAfter, iconWithBox) << "the icon must change before the box opens";
}

INSTANTIATE_TEST_SUITE_P(Cases, TrayDoubleClickToggle, ::testing::Values(
    TrayToggleCase{ "OnToOff", 1, nullptr, IDM_STATE_OFF, TOGGLED_OFF, "0" },
    TrayToggleCase{ "OffToOn", 0, "1", IDM_STATE_ON, TOGGLED_ON, "1" },
    TrayToggleCase{ "UnknownActionToggles", 1, "5", IDM_STATE_OFF, TOGGLED_OFF, "0" }),
    [](const ::testing::TestParamInfo<TrayToggleCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(Tray, DoubleClickStartWaitsTwiceTheCommandWait)
{
    constexpr DWORD WAIT_MS = 300;
    WriteIni(dir_.ini(), "Action", "IconDubbleClick", "0");
    WriteIni(dir_.ini(), "Action", "ScreenSaveCommandWait", std::to_string(WAIT_MS));
    ASSERT_NO_FATAL_FAILURE(Start());
    Subclass();
    DWORD start = GetTickCount();
    EXPECT_EQ(0, TrayEvent(window_, TRAY_ICON_ID, WM_LBUTTONDBLCLK));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 2 * WAIT_MS - 20);
    EXPECT_LT(elapsed, 2 * WAIT_MS + 1500);
    // The start is posted: it runs after the tray event has returned.
    EXPECT_EQ(0, CountSeen(WM_SYSCOMMAND));
    EXPECT_TRUE(PumpUntil([] { return CountSeen(WM_SYSCOMMAND) > 0; }, 1000));
    PumpMessages(100);
    ASSERT_EQ(1, CountSeen(WM_SYSCOMMAND));
    for (const Seen& s : seen) {
        if (s.message == WM_SYSCOMMAND) {
            EXPECT_EQ((WPARAM)SC_SCREENSAVE, s.wParam);
            EXPECT_EQ(0, s.lParam);
        }
    }
    EXPECT_EQ(1u, SpiActive());
    EXPECT_EQ(0u, boxes_.Count());
}

TEST_F(Tray, OtherIconIdsAndMouseMessagesDoNothing)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Subclass();
    MenuCloser safety;   // a menu opened by mistake must not hang the test
    const struct { WPARAM iconId; LPARAM mouse; } table[] = {
        { 1021, WM_LBUTTONDBLCLK }, { 0, WM_LBUTTONDBLCLK }, { 1021, WM_RBUTTONUP },
        { TRAY_ICON_ID, WM_LBUTTONDOWN }, { TRAY_ICON_ID, WM_LBUTTONUP },
        { TRAY_ICON_ID, WM_MOUSEMOVE }, { TRAY_ICON_ID, WM_RBUTTONDOWN },
        { TRAY_ICON_ID, WM_RBUTTONDBLCLK }, { TRAY_ICON_ID, WM_MBUTTONUP },
        { TRAY_ICON_ID, WM_MBUTTONDBLCLK },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(::testing::Message() << "icon " << row.iconId << " mouse 0x" << std::hex
                                          << row.mouse);
        EXPECT_EQ(0, TrayEvent(window_, row.iconId, row.mouse));
    }
    PumpMessages(SETTLE_MS);
    EXPECT_EQ(0, safety.menusSeen());
    EXPECT_EQ(0, CountSeen(WM_ENTERMENULOOP));
    EXPECT_EQ(0, CountSeen(WM_SYSCOMMAND));
    EXPECT_EQ(1u, SpiActive());
    EXPECT_EQ(Only(IDM_STATE_ON), CheckedIn(STATE_GROUP));
    EXPECT_EQ(UNTOUCHED, ReadDesktopValue("ScreenSaveActive"));
    EXPECT_EQ(0u, boxes_.Count());
}

TEST_F(Tray, RightButtonReleaseOpensTheTrayMenuAtTheCursor)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Subclass();
    const POINT cursor = { 220, 160 };
    SetCursorPos(cursor.x, cursor.y);
    MenuCloser closer;
    EXPECT_EQ(0, TrayEvent(window_, TRAY_ICON_ID, WM_RBUTTONUP));
    EXPECT_EQ(1, closer.menusSeen());
    EXPECT_EQ(appState.trayMenu, closer.shownMenu());
    EXPECT_EQ(cursor.x, closer.topLeft().x);
    EXPECT_EQ(cursor.y, closer.topLeft().y);
    EXPECT_EQ(1, CountSeen(WM_ENTERMENULOOP));
    PumpMessages(SETTLE_MS);
    // Leaving the menu without a choice sends no command.
    EXPECT_EQ(0, CountSeen(WM_COMMAND));
    EXPECT_TRUE(IsWindow(window_));
}

TEST_F(Tray, WmNullIsPostedAfterTheMenuReturns)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Subclass();
    MenuCloser closer;
    TrayEvent(window_, TRAY_ICON_ID, WM_RBUTTONUP);
    ASSERT_EQ(1, closer.menusSeen());
    // Posted after TrackPopupMenu returned, so nothing has dispatched it yet.
    EXPECT_EQ(0, CountSeen(WM_NULL));
    MSG queued;
    EXPECT_TRUE(PeekMessageA(&queued, window_, 0, 0, PM_NOREMOVE));
    EXPECT_EQ((UINT)WM_NULL, queued.message);
    PumpMessages(SETTLE_MS);
    EXPECT_EQ(1, CountSeen(WM_NULL));
}

TEST_F(Tray, ItemChosenInTheMenuArrivesAsItsCommand)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    Subclass();
    MenuCloser closer('X');   // access key of "終了(&X)"
    TrayEvent(window_, TRAY_ICON_ID, WM_RBUTTONUP);
    ASSERT_EQ(1, closer.menusSeen());
    EXPECT_TRUE(PumpUntil([this] { return !IsWindow(window_); }, 3000));
    ASSERT_EQ(1, CountSeen(WM_COMMAND));
    for (const Seen& s : seen) {
        if (s.message == WM_COMMAND)
            EXPECT_EQ((WPARAM)IDM_EXIT, LOWORD(s.wParam));
    }
}

// ---------------------------------------------------------------------------
// A re-created taskbar.

TEST_F(Tray, TaskbarCreatedAddsTheIconAgain)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    ASSERT_NE(0u, taskbarCreated);
    // A new taskbar knows no icons: take it away as a restarted shell would.
    NOTIFYICONDATAA copy = appState.notifyData;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &copy));
    ASSERT_FALSE(TrayIconExists());
    // Changes meanwhile still reach the record, not the shell.
    SetSpiActive(0);
    Poll(window_);
    EXPECT_EQ(0, SendMessageA(window_, taskbarCreated, 0, 0));
    EXPECT_TRUE(TrayIconExists());
    EXPECT_EQ(TIP_OFF, TipText());
    EXPECT_EQ(appState.iconInactive, appState.notifyData.hIcon);
    // Again while the icon is there: it stays, once.
    EXPECT_EQ(0, SendMessageA(window_, taskbarCreated, 0, 0));
    EXPECT_TRUE(TrayIconExists());
    copy = appState.notifyData;
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &copy));
    EXPECT_FALSE(TrayIconExists());
}

}  // namespace
