// The global hot keys: which key combinations the main window holds for
// which settings (found by trying to register the same combination from the
// test, which fails while NAPKIT holds it), real key presses reaching the
// window, and what each WM_HOTKEY id does.
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "app/app.h"
#include "catalogue/catalogue.h"
#include "ui/ui.h"
#include "res/resource.h"

using namespace harness;

namespace {

// Test cases show as their names in test listings and failure messages.
#define PRINTS_AS_ITS_NAME(Case) \
    void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

constexpr UINT CTRL_ALT = MOD_CONTROL | MOD_ALT;
constexpr int PROBE_ID = 0x7000;
constexpr char SAVER_NAME[] = "LOGGER.SCR";
constexpr char TOGGLED_OFF[] = "スクリーンセーバーを「無効」にしました。";
constexpr char TOGGLED_ON[] = "スクリーンセーバーを「有効」にしました。";
constexpr DWORD EFFECT_TIMEOUT_MS = 10000;

struct Combo {
    UINT modifiers;
    UINT key;
};

std::string Describe(const Combo& combo)
{
    std::string text;
    if (combo.modifiers & MOD_CONTROL) text += "Ctrl+";
    if (combo.modifiers & MOD_ALT) text += "Alt+";
    if (combo.modifiers & MOD_SHIFT) text += "Shift+";
    if (combo.modifiers & MOD_WIN) text += "Win+";
    return text + (char)combo.key;
}

// A combination is taken when the test cannot register it; a successful
// probe is given back at once.
bool Taken(const Combo& combo)
{
    if (!RegisterHotKey(NULL, PROBE_ID, combo.modifiers, combo.key))
        return true;
    UnregisterHotKey(NULL, PROBE_ID);
    return false;
}

const std::vector<Combo> DEFAULT_COMBOS = {
    { CTRL_ALT, 'Z' }, { CTRL_ALT, 'X' }, { CTRL_ALT, 'A' }, { CTRL_ALT, 'S' }, { CTRL_ALT, 'F' },
};

// One test's world: the system stores guarded, a scratch folder whose
// saverbox holds the saver SYSTEM.INI names (a quiet set-up), a responder
// for every box, and the main window once the settings are written.
class Session {
public:
    Session()
    {
        saver = InstallSaver("logsaver.scr", dir.saverbox(), SAVER_NAME);
        WriteScrnsave(saver);
        log = dir.file("saver-log.txt");
        SetSaverLog(log);
        SetSpiActive(1);
    }
    ~Session() { CloseMainWindow(window); }

    void Ini(const char* section, const char* key, const std::string& value)
    {
        WriteIni(dir.ini(), section, key, value);
    }
    HWND Open()
    {
        window = CreateMainWindow();
        PumpMessages(100);
        EXPECT_EQ(0u, boxes.Count()) << "the set-up should be quiet";
        return window;
    }
    void Close()
    {
        CloseMainWindow(window);
        window = NULL;
    }

    SystemGuard guard;
    ScratchDir dir{ "hotkeys" };
    BoxResponder boxes;
    std::string saver;
    std::string log;
    HWND window = NULL;
};

// What reaches the main window, noted before the program's own procedure
// handles it.
struct Delivery {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD tick;
};

class WindowRecorder {
public:
    explicit WindowRecorder(HWND window) : window_(window)
    {
        deliveries.clear();
        original_ = (WNDPROC)SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)Record);
    }
    ~WindowRecorder()
    {
        if (IsWindow(window_))
            SetWindowLongPtrA(window_, GWLP_WNDPROC, (LONG_PTR)original_);
    }
    static std::vector<Delivery> Of(UINT message)
    {
        std::vector<Delivery> found;
        for (const Delivery& delivery : deliveries) {
            if (delivery.message == message)
                found.push_back(delivery);
        }
        return found;
    }
    static std::vector<Delivery> deliveries;

private:
    static LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_HOTKEY || message == WM_COMMAND || message == WM_SYSCOMMAND)
            deliveries.push_back({ message, wParam, lParam, GetTickCount() });
        return CallWindowProcA(original_, window, message, wParam, lParam);
    }
    HWND window_;
    static WNDPROC original_;
};

std::vector<Delivery> WindowRecorder::deliveries;
WNDPROC WindowRecorder::original_ = NULL;

bool ScreenSaveRequested()
{
    for (const Delivery& delivery : WindowRecorder::Of(WM_SYSCOMMAND)) {
        if ((delivery.wParam & 0xFFF0) == SC_SCREENSAVE)
            return true;
    }
    return false;
}

// Presses and releases a key combination as the keyboard would.
void PressCombo(const Combo& combo)
{
    const BYTE modifierKeys[][2] = {
        { MOD_CONTROL, VK_CONTROL }, { MOD_ALT, VK_MENU }, { MOD_SHIFT, VK_SHIFT },
    };
    for (const auto& modifier : modifierKeys) {
        if (combo.modifiers & modifier[0])
            keybd_event(modifier[1], 0, 0, 0);
    }
    keybd_event((BYTE)combo.key, 0, 0, 0);
    keybd_event((BYTE)combo.key, 0, KEYEVENTF_KEYUP, 0);
    for (const auto& modifier : modifierKeys) {
        if (combo.modifiers & modifier[0])
            keybd_event(modifier[1], 0, KEYEVENTF_KEYUP, 0);
    }
}

// The hot-key calls the program makes on its window, in their order, each
// passed on to the system unchanged. (A window of NULL is the test's probe.)
extern "C" decltype(&RegisterHotKey) registerHotKeyImport __asm__("__imp__RegisterHotKey@16");
extern "C" decltype(&UnregisterHotKey) unregisterHotKeyImport
    __asm__("__imp__UnregisterHotKey@8");

struct HotKeyCall {
    bool registering;
    int id;
    UINT modifiers;   // registrations only
    UINT key;
    bool operator==(const HotKeyCall& o) const
    {
        return registering == o.registering && id == o.id && modifiers == o.modifiers
               && key == o.key;
    }
};

void PrintTo(const HotKeyCall& call, std::ostream* os)
{
    *os << (call.registering ? "Register(" : "Unregister(") << call.id;
    if (call.registering)
        *os << ", mods " << call.modifiers << ", key " << call.key;
    *os << ")";
}

template <typename Function>
void WriteImport(Function& slot, Function value)
{
    DWORD old = 0;
    VirtualProtect(&slot, sizeof slot, PAGE_READWRITE, &old);
    slot = value;
    VirtualProtect(&slot, sizeof slot, old, &old);
}

class HotKeyCallLog {
public:
    HotKeyCallLog()
    {
        calls.clear();
        register_ = registerHotKeyImport;
        unregister_ = unregisterHotKeyImport;
        WriteImport(registerHotKeyImport, (decltype(register_))Register);
        WriteImport(unregisterHotKeyImport, (decltype(unregister_))Unregister);
    }
    ~HotKeyCallLog()
    {
        WriteImport(registerHotKeyImport, register_);
        WriteImport(unregisterHotKeyImport, unregister_);
    }
    static std::vector<HotKeyCall> calls;

private:
    static BOOL WINAPI Register(HWND window, int id, UINT modifiers, UINT key)
    {
        if (window)
            calls.push_back({ true, id, modifiers, key });
        return register_(window, id, modifiers, key);
    }
    static BOOL WINAPI Unregister(HWND window, int id)
    {
        if (window)
            calls.push_back({ false, id, 0, 0 });
        return unregister_(window, id);
    }
    static decltype(&RegisterHotKey) register_;
    static decltype(&UnregisterHotKey) unregister_;
};

std::vector<HotKeyCall> HotKeyCallLog::calls;
decltype(&RegisterHotKey) HotKeyCallLog::register_ = NULL;
decltype(&UnregisterHotKey) HotKeyCallLog::unregister_ = NULL;

struct IniEntry {
    const char* key;
    const char* value;
};

struct RegistrationCase {
    const char* name;
    std::vector<IniEntry> hotKeys;   // entries of [HotKeys]
    std::vector<Combo> taken;
    std::vector<Combo> free;
};
PRINTS_AS_ITS_NAME(RegistrationCase)

}  // namespace

// ================================================================ registration

class Registration : public ::testing::TestWithParam<RegistrationCase> {};

TEST_P(Registration, HoldsTheConfiguredCombinationsUntilClosed)
{
    const RegistrationCase& c = GetParam();
    Session session;
    for (const IniEntry& entry : c.hotKeys)
        session.Ini("HotKeys", entry.key, entry.value);
    for (const Combo& combo : c.taken)
        ASSERT_FALSE(Taken(combo)) << Describe(combo) << " is held by something else";
    session.Open();
    for (const Combo& combo : c.taken)
        EXPECT_TRUE(Taken(combo)) << Describe(combo);
    for (const Combo& combo : c.free)
        EXPECT_FALSE(Taken(combo)) << Describe(combo);
    session.Close();
    for (const Combo& combo : c.taken)
        EXPECT_FALSE(Taken(combo)) << Describe(combo) << " still held after the window closed";
}

INSTANTIATE_TEST_SUITE_P(Settings, Registration, ::testing::Values(
    RegistrationCase{ "EnableAbsent", {}, {}, DEFAULT_COMBOS },
    RegistrationCase{ "EnableZero", { { "EnableHotKeys", "0" } }, {}, DEFAULT_COMBOS },
    RegistrationCase{ "EnableOne", { { "EnableHotKeys", "1" } }, DEFAULT_COMBOS, {} },
    RegistrationCase{ "StartLowerCaseQ", { { "EnableHotKeys", "1" }, { "Key_Start", "q" } },
        { { CTRL_ALT, 'Q' }, { CTRL_ALT, 'X' }, { CTRL_ALT, 'A' }, { CTRL_ALT, 'S' },
          { CTRL_ALT, 'F' } },
        { { CTRL_ALT, 'Z' } } },
    RegistrationCase{ "StartZebraTakesItsFirstLetter",
        { { "EnableHotKeys", "1" }, { "Key_Start", "Zebra" } },
        { { CTRL_ALT, 'Z' } }, { { CTRL_ALT, 'E' }, { CTRL_ALT, 'B' } } },
    RegistrationCase{ "StartNothingInAnyCaseIsTheDefault",
        { { "EnableHotKeys", "1" }, { "Key_Start", "nothing!" } },
        { { CTRL_ALT, 'Z' } }, { { CTRL_ALT, 'N' } } },
    RegistrationCase{ "StartDigit", { { "EnableHotKeys", "1" }, { "Key_Start", "7" } },
        { { CTRL_ALT, '7' } }, { { CTRL_ALT, 'Z' } } },
    RegistrationCase{ "EachKeyReadsItsOwnEntry",
        { { "EnableHotKeys", "1" }, { "Key_Switch", "m" }, { "Key_RndRun", "b" },
          { "Key_RndCH", "1" } },
        { { CTRL_ALT, 'Z' }, { CTRL_ALT, 'M' }, { CTRL_ALT, 'B' }, { CTRL_ALT, '1' },
          { CTRL_ALT, 'F' } },
        { { CTRL_ALT, 'X' }, { CTRL_ALT, 'A' }, { CTRL_ALT, 'S' } } },
    RegistrationCase{ "NoModifiersButRefreshStaysCtrlAlt",
        { { "EnableHotKeys", "1" }, { "CombinationKeys", "0" } },
        { { 0, 'Z' }, { 0, 'X' }, { 0, 'A' }, { 0, 'S' }, { CTRL_ALT, 'F' } },
        { { CTRL_ALT, 'Z' }, { CTRL_ALT, 'X' }, { CTRL_ALT, 'A' }, { CTRL_ALT, 'S' },
          { 0, 'F' } } },
    RegistrationCase{ "Shift", { { "EnableHotKeys", "1" }, { "CombinationKeys", "4" } },
        { { MOD_SHIFT, 'Z' }, { MOD_SHIFT, 'X' }, { MOD_SHIFT, 'A' }, { MOD_SHIFT, 'S' },
          { CTRL_ALT, 'F' } },
        { { CTRL_ALT, 'Z' }, { CTRL_ALT, 'X' }, { CTRL_ALT, 'A' }, { CTRL_ALT, 'S' },
          { MOD_SHIFT, 'F' } } },
    RegistrationCase{ "NineteenIsMaskedToCtrlAlt",
        { { "EnableHotKeys", "1" }, { "CombinationKeys", "19" } }, DEFAULT_COMBOS, {} }),
    [](const ::testing::TestParamInfo<RegistrationCase>& info) {
        return std::string(info.param.name);
    });

// A combination that another program holds is lost without a word; the
// hot keys before and after it are still registered.
TEST(HotKeys, ACombinationHeldElsewhereDoesNotStopTheOthers)
{
    Session session;
    session.Ini("HotKeys", "EnableHotKeys", "1");
    const Combo toggle = { CTRL_ALT, 'X' };
    ASSERT_TRUE(RegisterHotKey(NULL, PROBE_ID, toggle.modifiers, toggle.key));
    session.Open();
    EXPECT_EQ(0u, session.boxes.Count());
    UnregisterHotKey(NULL, PROBE_ID);
    for (const Combo& combo : DEFAULT_COMBOS) {
        bool napkitHolds = combo.key != toggle.key;
        EXPECT_EQ(napkitHolds, Taken(combo)) << Describe(combo);
    }
}

// The registrations as made: modifiers masked to the low four bits for the
// four configurable keys, a present but empty key text as code 0, and on
// close all five unregistered in order, the one that failed included.
TEST(HotKeys, CallsRegisterAndUnregisterInOrder)
{
    Session session;
    session.Ini("HotKeys", "EnableHotKeys", "1");
    session.Ini("HotKeys", "CombinationKeys", "19");
    session.Ini("HotKeys", "Key_Start", "q");
    session.Ini("HotKeys", "Key_RndRun", "");
    ASSERT_TRUE(RegisterHotKey(NULL, PROBE_ID, CTRL_ALT, 'X'));   // held elsewhere
    HotKeyCallLog log;
    session.Open();
    session.Close();
    UnregisterHotKey(NULL, PROBE_ID);
    std::vector<HotKeyCall> wanted = {
        { true, IDM_START_NORMAL, CTRL_ALT, 'Q' },
        { true, IDM_DBLCLICK_TOGGLE, CTRL_ALT, 'X' },
        { true, IDM_START_RANDOM, CTRL_ALT, 0 },
        { true, IDM_RANDOM_CHANGE, CTRL_ALT, 'S' },
        { true, IDM_REFRESH, CTRL_ALT, 'F' },
        { false, IDM_START_NORMAL, 0, 0 },
        { false, IDM_DBLCLICK_TOGGLE, 0, 0 },
        { false, IDM_START_RANDOM, 0, 0 },
        { false, IDM_RANDOM_CHANGE, 0, 0 },
        { false, IDM_REFRESH, 0, 0 },
    };
    EXPECT_EQ(wanted, log.calls);
}

TEST(HotKeys, DisabledRegistersAndUnregistersNothing)
{
    Session session;
    session.Ini("HotKeys", "EnableHotKeys", "0");
    session.Ini("HotKeys", "CombinationKeys", "0");
    HotKeyCallLog log;
    session.Open();
    session.Close();
    EXPECT_TRUE(log.calls.empty());
}

// ================================================================ key presses

TEST(HotKeys, EachDefaultCombinationDeliversItsCommandId)
{
    Session session;
    session.Ini("HotKeys", "EnableHotKeys", "1");
    session.Ini("Message", "OpenMessageBox", "0");
    session.Ini("Action", "ScreenSaveCommandWait", "0");
    HWND window = session.Open();
    WindowRecorder recorder(window);
    const UINT ids[] = { IDM_START_NORMAL, IDM_DBLCLICK_TOGGLE, IDM_START_RANDOM,
                         IDM_RANDOM_CHANGE, IDM_REFRESH };
    std::vector<WPARAM> delivered;
    for (size_t i = 0; i < DEFAULT_COMBOS.size(); ++i) {
        PressCombo(DEFAULT_COMBOS[i]);
        EXPECT_TRUE(PumpUntil([i] { return WindowRecorder::Of(WM_HOTKEY).size() > i; }, 3000))
            << Describe(DEFAULT_COMBOS[i]);
    }
    for (const Delivery& delivery : WindowRecorder::Of(WM_HOTKEY))
        delivered.push_back(delivery.wParam);
    EXPECT_EQ(std::vector<WPARAM>(std::begin(ids), std::end(ids)), delivered);
}

// Start and switch on one letter: the start, registered first, keeps it.
TEST(HotKeys, TwoKeysOnOneLetterLeaveItToTheStart)
{
    Session session;
    session.Ini("HotKeys", "EnableHotKeys", "1");
    session.Ini("HotKeys", "Key_Start", "Q");
    session.Ini("HotKeys", "Key_Switch", "q");
    session.Ini("Action", "ScreenSaveCommandWait", "0");
    HWND window = session.Open();
    WindowRecorder recorder(window);
    PressCombo({ CTRL_ALT, 'Q' });
    EXPECT_TRUE(PumpUntil(ScreenSaveRequested, 3000));
    PumpMessages(300);
    std::vector<Delivery> hotKeys = WindowRecorder::Of(WM_HOTKEY);
    ASSERT_EQ(1u, hotKeys.size());
    EXPECT_EQ((WPARAM)IDM_START_NORMAL, hotKeys[0].wParam);
    EXPECT_EQ(1u, SpiActive()) << "not toggled";
    EXPECT_EQ(0u, session.boxes.Count());
    session.Close();
    EXPECT_FALSE(Taken({ CTRL_ALT, 'Q' }));
}

// ================================================================ WM_HOTKEY ids

namespace {

struct StartCase {
    const char* name;
    const char* iniWait;
    bool hotKey;        // false: the menu command
    DWORD minimumMs;
    DWORD maximumMs;
};
PRINTS_AS_ITS_NAME(StartCase)

}  // namespace

class StartWait : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartWait, HotKeyWaitsATenthOfTheMenuWait)
{
    const StartCase& c = GetParam();
    Session session;
    session.Ini("Action", "ScreenSaveCommandWait", c.iniWait);
    HWND window = session.Open();
    WindowRecorder recorder(window);
    PostMessageA(window, c.hotKey ? WM_HOTKEY : WM_COMMAND, IDM_START_NORMAL, 0);
    ASSERT_TRUE(PumpUntil(ScreenSaveRequested, EFFECT_TIMEOUT_MS));
    PumpMessages(100);
    ASSERT_FALSE(recorder.deliveries.empty());
    DWORD received = recorder.deliveries.front().tick;
    std::vector<Delivery> requests = WindowRecorder::Of(WM_SYSCOMMAND);
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ((WPARAM)SC_SCREENSAVE, requests[0].wParam);
    EXPECT_EQ(0, requests[0].lParam);
    DWORD waited = requests[0].tick - received;
    EXPECT_GE(waited, c.minimumMs);
    EXPECT_LE(waited, c.maximumMs);
    EXPECT_EQ(1u, appState.startWaitDivisor);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartWait, ::testing::Values(
    StartCase{ "HotKeyTenth", "1000", true, 95, 600 },
    StartCase{ "MenuCommandFull", "1000", false, 995, 3000 },
    StartCase{ "HotKeyNegativeWaitIsZero", "-5000", true, 0, 300 }),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

namespace {

struct ToggleCase {
    const char* name;
    UINT activeBefore;
    const char* messageFlags;
    const char* message;   // nullptr: no box
    const char* registry;
    UINT stateItem;
};
PRINTS_AS_ITS_NAME(ToggleCase)

}  // namespace

class ToggleHotKey : public ::testing::TestWithParam<ToggleCase> {};

// As a hot key 40101 switches the screen saver; as a menu command it would
// choose the double-click action, which must stay as it was.
TEST_P(ToggleHotKey, SwitchesAndMovesTheStateCheck)
{
    const ToggleCase& c = GetParam();
    Session session;
    session.Ini("Message", "OpenMessageBox", c.messageFlags);
    SetSpiActive(c.activeBefore);
    HWND window = session.Open();
    // Sent, and the check read as soon as it returns: the next poll would
    // move the check to the system's state anyway.
    SendMessageA(window, WM_HOTKEY, IDM_DBLCLICK_TOGGLE, 0);
    EXPECT_EQ(c.stateItem, appState.stateItem);
    EXPECT_TRUE(MenuChecked(c.stateItem));
    EXPECT_EQ(c.activeBefore ^ 1, SpiActive());
    EXPECT_EQ(c.registry, ReadDesktopValue("ScreenSaveActive"));
    PumpMessages(300);
    EXPECT_EQ((UINT)IDM_DBLCLICK_TOGGLE, appState.dblClickItem);
    EXPECT_EQ(ABSENT, ReadIni(session.dir.ini(), "Action", "IconDubbleClick"));
    std::vector<BoxRecord> boxes = session.boxes.Boxes();
    if (!c.message) {
        EXPECT_TRUE(boxes.empty());
        return;
    }
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(c.message, boxes[0].text);
    EXPECT_EQ("NAPKIT", boxes[0].caption);
    EXPECT_EQ(window, boxes[0].owner);
    EXPECT_TRUE(boxes[0].topmost);
}

INSTANTIATE_TEST_SUITE_P(Cases, ToggleHotKey, ::testing::Values(
    ToggleCase{ "OnToOffWithMessage", 1, "1", TOGGLED_OFF, "0", IDM_STATE_OFF },
    ToggleCase{ "OffToOnWithMessage", 0, "3", TOGGLED_ON, "1", IDM_STATE_ON },
    ToggleCase{ "OnToOffQuietly", 1, "2", nullptr, "0", IDM_STATE_OFF }),
    [](const ::testing::TestParamInfo<ToggleCase>& info) { return std::string(info.param.name); });

TEST(HotKeyIds, RandomStartRunsASaver)
{
    Session session;
    session.Ini("Action", "ScreenSaveCommandWait", "0");
    HWND window = session.Open();
    appState.startWaitDivisor = 10;
    PostMessageA(window, WM_HOTKEY, IDM_START_RANDOM, 0);
    ASSERT_TRUE(PumpUntil([&] { return !ReadLogLines(session.log).empty(); }, EFFECT_TIMEOUT_MS));
    EXPECT_EQ(std::vector<std::string>{ "\"" + session.saver + "\" /s" },
              ReadLogLines(session.log));
    EXPECT_EQ(1u, appState.startWaitDivisor);
    EXPECT_EQ(0u, session.boxes.Count());
}

TEST(HotKeyIds, RandomChangeConfiguresACatalogueSaver)
{
    Session session;
    std::string other = InstallSaver("logsaver.scr", session.dir.saverbox(), "OTHER.SCR");
    HWND window = session.Open();
    ASSERT_EQ(2, appState.saverCount);
    // A value the change must overwrite; sent, so that no poll sees it first.
    const std::string marker = "C:\\not-a-saver.scr";
    WriteScrnsave(marker);
    appState.startWaitDivisor = 10;
    SendMessageA(window, WM_HOTKEY, IDM_RANDOM_CHANGE, 0);
    std::string configured = ReadScrnsave();
    EXPECT_TRUE(configured == session.saver || configured == other) << configured;
    EXPECT_EQ(configured, appState.currentSaver);
    // The check mark sits on the item of that saver, and on no other.
    int checked = 0;
    for (int n = 1; n <= appState.saverCount; ++n)
        checked += MenuChecked(IDM_SAVER_BASE + n) ? 1 : 0;
    EXPECT_EQ(1, checked);
    EXPECT_TRUE(MenuChecked(appState.saverItem));
    char checkedPath[MAX_PATH];
    SeekSaver((int)(appState.saverItem - IDM_SAVER_BASE));
    SaverPathOf(appState.cursor, checkedPath);
    EXPECT_EQ(configured, checkedPath);
    EXPECT_EQ(1u, appState.startWaitDivisor);
    PumpMessages(2 * POLL_INTERVAL_MS);
    EXPECT_EQ(0u, session.boxes.Count());
}

TEST(HotKeyIds, RefreshFindsANewSaver)
{
    Session session;
    HWND window = session.Open();
    ASSERT_EQ(1, appState.saverCount);
    ASSERT_FALSE(MenuItemExists(IDM_SAVER_BASE + 2));
    InstallSaver("logsaver.scr", session.dir.saverbox(), "NEWONE.SCR");
    PostMessageA(window, WM_HOTKEY, IDM_REFRESH, 0);
    EXPECT_TRUE(PumpUntil([] { return appState.saverCount == 2; }, EFFECT_TIMEOUT_MS));
    EXPECT_TRUE(MenuItemExists(IDM_SAVER_BASE + 2));
    EXPECT_EQ(0u, session.boxes.Count());
}

class OtherHotKeyIds : public ::testing::TestWithParam<UINT> {};

// Only the five hot-key ids do anything, even where the id is a command.
TEST_P(OtherHotKeyIds, DoNothing)
{
    Session session;
    session.Ini("Message", "OpenMessageBox", "3");
    session.Ini("Action", "ScreenSaveCommandWait", "0");
    HWND window = session.Open();
    std::string iniBefore = ReadFileBytes(session.dir.ini());
    UINT stateItem = appState.stateItem;
    UINT timeoutItem = appState.timeoutItem;
    UINT saverItem = appState.saverItem;
    UINT timeout = SpiTimeout();
    PostMessageA(window, WM_HOTKEY, GetParam(), 0);
    PumpMessages(3 * POLL_INTERVAL_MS);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(0u, session.boxes.Count());
    EXPECT_EQ(iniBefore, ReadFileBytes(session.dir.ini()));
    EXPECT_EQ(1u, SpiActive());
    EXPECT_EQ(timeout, SpiTimeout());
    EXPECT_EQ(stateItem, appState.stateItem);
    EXPECT_EQ(timeoutItem, appState.timeoutItem);
    EXPECT_EQ(saverItem, appState.saverItem);
    EXPECT_EQ(session.saver, ReadScrnsave());
    EXPECT_TRUE(ReadLogLines(session.log).empty()) << "no saver started or opened";
}

INSTANTIATE_TEST_SUITE_P(Ids, OtherHotKeyIds, ::testing::Values(
    (UINT)IDM_TIMEOUT_CUSTOM, (UINT)IDM_STATE_OFF, (UINT)IDM_SAVER_SETUP, (UINT)IDM_EXIT,
    12345u));
