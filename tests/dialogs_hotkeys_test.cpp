// The three dialogs and the five global hot keys on the real main window.
// Dialogs are opened by their menu commands and read, filled in and closed
// from the responder's thread; a hot key is known to be held when the test
// cannot register the same combination itself.
#include <gtest/gtest.h>
#include <sstream>
#include "harness/harness.h"
#include "app/app.h"
#include "res/resource.h"

using namespace harness;

namespace {

// Cases show as their names in test listings and failure messages.
#define PRINTS_AS_ITS_NAME(Case) \
    void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

struct ByName {
    template <typename P>
    std::string operator()(const ::testing::TestParamInfo<P>& info) const { return info.param.name; }
};

constexpr UINT FIVE_MINUTES = 300;
constexpr UINT CTRL_ALT = MOD_CONTROL | MOD_ALT;
constexpr int PROBE_ID = 0x7000;
constexpr DWORD DIALOG_TIMEOUT_MS = 20000;
constexpr DWORD SETTLE_MS = 3000;
constexpr WORD JAPANESE = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

constexpr char OK_TEXT[] = "ＯＫ";
constexpr char CANCEL_TEXT[] = "キャンセル";
const std::string ANY_TEXT = "<any text>";   // the About box's lines of the program's own
const std::string ICON_TEXT = "<IDI_APP>";
std::string Blanks(int count) { return std::string(count, ' '); }   // counted, not typed

// ---------------------------------------------------------------- templates

constexpr DWORD DIALOG_STYLE = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT
                               | DS_SETFOREGROUND | DS_CENTER | DS_ABSALIGN;
constexpr int NO_ID = 65535;

// A control kind: its class, the bits under mask that hold its type, and
// bits that must be set. A mask wider than the type forbids the extra bits.
struct Kind {
    const char* className;
    DWORD mask, type, required;
};
const Kind DEFAULT_BUTTON = { "Button", BS_TYPEMASK, BS_DEFPUSHBUTTON, WS_TABSTOP };
const Kind BUTTON = { "Button", BS_TYPEMASK, BS_PUSHBUTTON, WS_TABSTOP };
const Kind NUMBER_EDIT = { "Edit", ES_CENTER | ES_RIGHT | ES_MULTILINE, ES_RIGHT,
                           ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP };
const Kind LEFT_TEXT = { "Static", SS_TYPEMASK, SS_LEFT, 0 };
const Kind CENTRED_TEXT = { "Static", SS_TYPEMASK, SS_CENTER, 0 };
const Kind SUNKEN_TEXT = { "Static", SS_TYPEMASK, SS_CENTER, SS_CENTERIMAGE | SS_SUNKEN };
const Kind ICON = { "Static", SS_TYPEMASK, SS_ICON, 0 };
const Kind GROUP_BOX = { "Button", BS_TYPEMASK, BS_GROUPBOX, BS_FLAT };
const Kind CHECK_BOX = { "Button", BS_TYPEMASK | BS_MULTILINE, BS_AUTOCHECKBOX, BS_FLAT | WS_TABSTOP };
const Kind MULTILINE_CHECK_BOX = { "Button", BS_TYPEMASK, BS_AUTOCHECKBOX,
                                   BS_FLAT | WS_TABSTOP | BS_MULTILINE };

struct Row {
    int id;
    Kind kind;
    std::string text;
    short x, y, width, height;
};

struct Layout {
    UINT templateId;
    const char* title;
    short width, height;
    std::vector<Row> controls;   // template order, which is the tab order
};

const Layout ABOUT = { IDD_ABOUT, "バージョン情報", 203, 133, {
    { IDOK, DEFAULT_BUTTON, OK_TEXT, 77, 112, 50, 14 },
    { NO_ID, LEFT_TEXT, "NAPKIT", 79, 15, 92, 8 },
    { NO_ID, SUNKEN_TEXT, "Version 1.43", 68, 56, 68, 14 },
    { NO_ID, LEFT_TEXT, ANY_TEXT, 39, 79, 128, 8 },
    { NO_ID, LEFT_TEXT, "for", 120, 26, 9, 8 },
    { NO_ID, ICON, ICON_TEXT, 39, 19, 20, 20 },
    { NO_ID, LEFT_TEXT, ANY_TEXT, 62, 90, 81, 9 },
    { NO_ID, LEFT_TEXT, "Windows9x/Me/NT4.0/2000", 83, 38, 82, 8 } } };

const Layout VALUE = { IDD_VALUE, "待ち時間設定", 142, 87, {
    { IDOK, DEFAULT_BUTTON, OK_TEXT, 7, 66, 50, 14 },
    { IDCANCEL, BUTTON, CANCEL_TEXT, 85, 66, 50, 14 },
    { IDC_VALUE_EDIT, NUMBER_EDIT, "", 51, 42, 31, 12 },
    { IDC_VALUE_UNIT, LEFT_TEXT, "分", 84, 44, 19, 8 },
    { IDC_VALUE_PROMPT, CENTRED_TEXT,
      "スクリーンセーバーが起動するまでの時間を「分単位」で入力してください。", 7, 7, 128, 17 },
    { IDC_VALUE_RANGE, CENTRED_TEXT, "（ １～６０ ）", 48, 30, 40, 8 } } };

const Layout SETTINGS = { IDD_SETTINGS, "基本動作設定 - NAPKIT", 167, 313, {
    { IDC_SETTINGS_OK, BUTTON, OK_TEXT, 10, 293, 54, 16 },
    { IDC_SETTINGS_CANCEL, BUTTON, CANCEL_TEXT, 103, 293, 54, 16 },
    { NO_ID, GROUP_BOX, "確認メッセージ", 4, 5, 159, 94 },
    { NO_ID, LEFT_TEXT,
      "スクリーンセーバーの変更や状態の切り替え時にメッセージボックスを開くかどうかを指定します。",
      10, 16, 145, 16 },
    { IDC_RANDOM_AT_START, MULTILINE_CHECK_BOX,
      "ランダム変更を有効" + Blanks(3) + "（デフォルト : ＯＦＦ）", 10, 145, 147, 12 },
    { IDC_MSG_ON_STATE, CHECK_BOX, "ScreenSaver の状態(ＯＮ・ＯＦＦ)を変更したとき", 10, 39, 146, 10 },
    { IDC_MSG_ON_CHANGE, CHECK_BOX, "アクティブな ScreenSaver を変更したとき", 10, 52, 131, 10 },
    { NO_ID, LEFT_TEXT, "チェックマークが付いてる項目を実行した時に確認のメッセージを表示します。"
      + Blanks(19) + "（ デフォルト : 両方ともＯＮ ）", 10, 69, 132, 23 },
    { NO_ID, GROUP_BOX, "ランダム", 4, 111, 159, 51 },
    { NO_ID, LEFT_TEXT,
      "「NAPKIT」の起動時にアクティブな ScreenSaver をランダムに変更することができます。",
      10, 122, 147, 17 },
    { NO_ID, GROUP_BOX, "ScreenSaver の表示名", 4, 175, 159, 96 },
    { NO_ID, LEFT_TEXT, "ScreenSaver を識別するための名前の取得方法を設定します。この設定を有効にすると "
      "ScreenSaver の名前を表示する時に、名前をファイルの内部から検索します。", 10, 185, 147, 32 },
    { IDC_USE_SAVER_NAME, MULTILINE_CHECK_BOX,
      "ScreenSaver のファイル内から名前を取得。" + Blanks(3) + "（デフォルト : ＯＮ）", 10, 245, 147, 16 },
    { NO_ID, LEFT_TEXT,
      "（ファイルの内部に ScreenSaver 識別用の名前が無ければ、自動的にファイル名が使われます）",
      10, 222, 147, 17 } } };

// A name-or-ordinal field: 0xFFFF and a number, or a string (empty when 0).
const WORD* ReadField(const WORD* p, std::string& text, WORD& ordinal)
{
    text.clear();
    ordinal = 0;
    if (*p == 0xFFFF) {
        ordinal = p[1];
        return p + 2;
    }
    char bytes[1024] = "";
    WideCharToMultiByte(932, 0, (LPCWSTR)p, -1, bytes, sizeof bytes, NULL, NULL);
    text = bytes;
    return p + lstrlenW((LPCWSTR)p) + 1;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param)
{
    ((std::vector<WORD>*)param)->push_back(language);
    return TRUE;
}

// ---------------------------------------------------------------- helpers

// Returns once the dialog's thread has handled what was posted to it before.
void Settle(HWND dialog)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, SETTLE_MS, &result);
}

HICON IconOfBox(HWND box)
{
    DWORD_PTR icon = 0;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, SETTLE_MS, &icon);
    }
    return (HICON)icon;
}

// The program's settings-file writes ("Section.Key=value") and its hot-key
// calls ("+id mods key", "-id"), recorded through the import slots it shares
// with this test program and passed on unchanged.
extern "C" decltype(&WritePrivateProfileStringA) writeImport
    __asm__("__imp__WritePrivateProfileStringA@16");
extern "C" decltype(&RegisterHotKey) registerImport __asm__("__imp__RegisterHotKey@16");
extern "C" decltype(&UnregisterHotKey) unregisterImport __asm__("__imp__UnregisterHotKey@8");

std::vector<std::string> calls;
const auto realWrite = writeImport;
const auto realRegister = registerImport;
const auto realUnregister = unregisterImport;

std::string Registered(int id, UINT modifiers, UINT key)
{
    return "+" + std::to_string(id) + " " + std::to_string(modifiers) + " " + std::to_string(key);
}
std::string Unregistered(int id) { return "-" + std::to_string(id); }

BOOL WINAPI LogWrite(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    if (key && lstrcmpiA(file, appState.iniPath) == 0)
        calls.push_back(std::string(section) + "." + key + "=" + (value ? value : ""));
    return realWrite(section, key, value, file);
}
BOOL WINAPI LogRegister(HWND window, int id, UINT modifiers, UINT key)
{
    if (window)   // not the test's probe
        calls.push_back(Registered(id, modifiers, key));
    return realRegister(window, id, modifiers, key);
}
BOOL WINAPI LogUnregister(HWND window, int id)
{
    if (window)
        calls.push_back(Unregistered(id));
    return realUnregister(window, id);
}

template <typename Function>
void Patch(Function& slot, Function value)
{
    DWORD old = 0;
    VirtualProtect(&slot, sizeof slot, PAGE_READWRITE, &old);
    slot = value;
    VirtualProtect(&slot, sizeof slot, old, &old);
}

struct CallLog {
    CallLog()
    {
        calls.clear();
        Patch(writeImport, &LogWrite);
        Patch(registerImport, &LogRegister);
        Patch(unregisterImport, &LogUnregister);
    }
    ~CallLog()
    {
        Patch(writeImport, realWrite);
        Patch(registerImport, realRegister);
        Patch(unregisterImport, realUnregister);
    }
};

struct Combo {
    UINT modifiers;
    UINT key;
};
std::ostream& operator<<(std::ostream& os, const Combo& c) { return os << c.modifiers << "+" << (char)c.key; }

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// "ca:ZX s:A -:F" is Ctrl+Alt+Z, Ctrl+Alt+X, Shift+A and F alone.
std::vector<Combo> Combos(const std::string& text)
{
    std::vector<Combo> combos;
    for (const std::string& group : Words(text)) {
        size_t colon = group.find(':');
        UINT modifiers = 0;
        for (char m : group.substr(0, colon))
            modifiers |= m == 'c' ? MOD_CONTROL : m == 'a' ? MOD_ALT : m == 's' ? MOD_SHIFT : 0;
        for (char key : group.substr(colon + 1))
            combos.push_back({ modifiers, (UINT)key });
    }
    return combos;
}

// Whether someone holds the combination: the test cannot register it then.
bool Taken(const Combo& combo)
{
    if (!RegisterHotKey(NULL, PROBE_ID, combo.modifiers, combo.key))
        return true;
    UnregisterHotKey(NULL, PROBE_ID);
    return false;
}

// ---------------------------------------------------------------- the fixture

// The system stores guarded, a scratch folder whose saverbox holds the one
// saver SYSTEM.INI names (a quiet set-up), a time-out of five minutes, a
// responder for every box, and the main window once the settings are written.
class Napkit : public ::testing::Test {
protected:
    Napkit()
    {
        saver = InstallSaver("logsaver.scr", dir.saverbox(), "LOGGER.SCR");
        WriteScrnsave(saver);
        WriteDesktopValueText("ScreenSaveTimeOut", ABSENT);
        log = dir.file("saver-log.txt");
        SetSaverLog(log);
        SetSpiActive(1);
        SetSpiTimeout(FIVE_MINUTES);
    }
    ~Napkit() { CloseMainWindow(window); }

    void Ini(const char* sec, const char* key, const std::string& v) { WriteIni(dir.ini(), sec, key, v); }
    std::string IniValue(const char* section, const char* key) { return ReadIni(dir.ini(), section, key); }
    HWND Open()
    {
        window = CreateMainWindow();
        PumpMessages(100);
        EXPECT_EQ(0u, boxes.Count()) << "the set-up should be quiet";
        return window;
    }
    // Sends a command that opens a dialog, which handler answers from the
    // responder's thread. Dialogs still open after DIALOG_TIMEOUT_MS are
    // closed, so that no test hangs on one, and the result is false.
    bool Run(UINT command, BoxResponder::Handler handler)
    {
        boxes.SetHandler(handler);
        expired = 0;
        HANDLE timer = NULL;
        CreateTimerQueueTimer(&timer, NULL, Expire, this, DIALOG_TIMEOUT_MS, 1000, WT_EXECUTEDEFAULT);
        SendCommand(window, command);
        DeleteTimerQueueTimer(NULL, timer, INVALID_HANDLE_VALUE);
        return !expired;
    }
    static VOID CALLBACK Expire(PVOID self, BOOLEAN)
    {
        Napkit& test = *(Napkit*)self;
        test.expired = 1;
        for (const BoxRecord& box : test.boxes.Boxes())
            PostMessageA(box.window, WM_CLOSE, 0, 0);
    }

    SystemGuard guard;
    ScratchDir dir{ "ui" };
    BoxResponder boxes;
    std::string saver;
    std::string log;
    HWND window = NULL;
    volatile LONG expired = 0;
};

class Dialogs : public Napkit {};
class HotKeys : public Napkit {};

// ================================================================ dialogs as laid out

struct ViewCase {
    const char* name;
    UINT command;
    const Layout* layout;
    const char* title;                                // as opened
    std::vector<std::pair<int, std::string>> shown;   // texts other than the template's
    std::vector<int> ignored;                         // commands that leave it open
    int closeButton;
};
PRINTS_AS_ITS_NAME(ViewCase)

class DialogView : public Napkit, public ::testing::WithParamInterface<ViewCase> {};

// The template in the resources: Japanese only, exactly the common style
// bits (no system menu, so no close box; hidden when created), the layout.
// Then the dialog opened by its command: owned by the main window, shown,
// its controls in tab order with the texts of its mode, deaf to other
// commands, closed by its button.
TEST_P(DialogView, TemplateAndOpenedDialogAsLaidOut)
{
    const ViewCase& c = GetParam();
    const Layout& layout = *c.layout;
    HMODULE self = GetModuleHandleA(NULL);
    std::vector<WORD> languages;
    EnumResourceLanguagesA(self, RT_DIALOG, MAKEINTRESOURCEA(layout.templateId), CollectLanguage,
                           (LONG_PTR)&languages);
    EXPECT_EQ(std::vector<WORD>{ JAPANESE }, languages);
    HRSRC found = FindResourceExA(self, RT_DIALOG, MAKEINTRESOURCEA(layout.templateId), JAPANESE);
    ASSERT_TRUE(found);
    auto head = (const DLGTEMPLATE*)LockResource(LoadResource(self, found));
    EXPECT_EQ(DIALOG_STYLE, head->style) << std::hex << head->style;
    EXPECT_EQ(0u, head->dwExtendedStyle);
    EXPECT_EQ(layout.width, head->cx);
    EXPECT_EQ(layout.height, head->cy);
    ASSERT_EQ(layout.controls.size(), head->cdit);
    std::string text;
    WORD ordinal = 0;
    const WORD* p = ReadField((const WORD*)(head + 1), text, ordinal);   // menu
    p = ReadField(ReadField(p, text, ordinal), text, ordinal);          // class, title
    EXPECT_EQ(layout.title, text);
    EXPECT_EQ(9, *p);
    p = ReadField(p + 1, text, ordinal);
    EXPECT_EQ("ＭＳ Ｐゴシック", text);

    Ini("Action", "ScreenSaveCommandWait", "750");
    Open();
    HWND dialog = NULL, owner = NULL;
    bool visible = false, openAfterOthers = false;
    std::vector<std::pair<int, std::string>> live;
    ASSERT_TRUE(Run(c.command, [&](const BoxRecord& box) {
        dialog = box.window;
        owner = GetWindow(dialog, GW_OWNER);
        visible = IsWindowVisible(dialog) != FALSE;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            live.push_back({ GetDlgCtrlID(child), WindowText(child) });
        DWORD_PTR result = 0;
        for (int id : c.ignored)
            SendMessageTimeoutA(dialog, WM_COMMAND, id, 0, SMTO_ABORTIFHUNG, SETTLE_MS, &result);
        openAfterOthers = IsWindow(dialog) && IsWindowVisible(dialog);
        PressButton(dialog, c.closeButton);
        return true;
    }));
    EXPECT_FALSE(IsWindow(dialog)) << "gone before the command returns";
    EXPECT_EQ(window, owner);
    EXPECT_TRUE(visible);
    EXPECT_TRUE(openAfterOthers);
    EXPECT_EQ(1u, boxes.Count());
    EXPECT_EQ(c.title, boxes.Boxes()[0].caption);
    ASSERT_EQ(layout.controls.size(), live.size());

    for (size_t i = 0; i < live.size(); ++i) {
        const Row& row = layout.controls[i];
        SCOPED_TRACE("control " + std::to_string(i));
        auto item = (const DLGITEMTEMPLATE*)(((ULONG_PTR)p + 3) & ~(ULONG_PTR)3);
        std::string className;
        WORD atom = 0;
        p = ReadField(ReadField((const WORD*)(item + 1), className, atom), text, ordinal);
        p = (const WORD*)((const BYTE*)(p + 1) + *p);   // past the creation data
        const char* predefined[] = { "Button", "Edit", "Static" };
        if (atom >= 0x80 && atom <= 0x82)
            className = predefined[atom - 0x80];
        EXPECT_EQ(row.id, item->id);
        EXPECT_EQ(0, lstrcmpiA(row.kind.className, className.c_str())) << className;
        DWORD required = row.kind.required | WS_CHILD | WS_VISIBLE;
        EXPECT_EQ(row.kind.type, item->style & row.kind.mask) << std::hex << item->style;
        EXPECT_EQ(required, item->style & required) << std::hex << item->style;
        EXPECT_EQ(row.x, item->x);
        EXPECT_EQ(row.y, item->y);
        EXPECT_EQ(row.width, item->cx);
        EXPECT_EQ(row.height, item->cy);
        std::string shown = row.text;
        for (const auto& other : c.shown)
            shown = other.first == row.id ? other.second : shown;
        EXPECT_EQ(row.id, live[i].first);
        if (row.text == ICON_TEXT) {
            EXPECT_EQ(IDI_APP, ordinal);
        } else if (row.text == ANY_TEXT) {
            EXPECT_FALSE(text.empty());
            EXPECT_EQ(text, live[i].second);
        } else {
            EXPECT_EQ(row.text, text);
            EXPECT_EQ(shown, live[i].second);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogView, ::testing::Values(
    ViewCase{ "About", IDM_ABOUT, &ABOUT, ABOUT.title, {}, { IDCANCEL, 1234, IDC_SETTINGS_OK }, IDOK },
    ViewCase{ "Minutes", IDM_TIMEOUT_CUSTOM, &VALUE, VALUE.title, { { IDC_VALUE_EDIT, "5" } },
              { 1234, IDC_SETTINGS_OK }, IDCANCEL },
    ViewCase{ "Wait", IDM_WAIT_SETTING, &VALUE, "ウエイト設定",
              { { IDC_VALUE_EDIT, "750" }, { IDC_VALUE_UNIT, "ミリ秒" }, { IDC_VALUE_RANGE, "Default : 500" },
                { IDC_VALUE_PROMPT, "スクリーンセーバー直接起動時のウエイトを入力してください。" } },
              { 1234 }, IDCANCEL },
    ViewCase{ "Settings", IDM_SETTINGS, &SETTINGS, SETTINGS.title, {}, { IDOK, IDCANCEL, 1234 },
              IDC_SETTINGS_CANCEL }),
    ByName());

// ================================================================ minutes mode

// Enters each rejected text with OK, answering and noting each range message
// and the dialog's state after it; then enters the accepted text, or Cancel.
struct MinutesScript {
    struct AfterMessage {
        BoxRecord box;
        HICON icon;
        std::string field;
        bool dialogOpen;
        int minutes;
    };
    std::vector<const char*> rejected;
    const char* accepted;
    HWND dialog = NULL;
    std::string shown;
    std::vector<AfterMessage> messages;

    bool Handle(const BoxRecord& box)
    {
        if (!dialog) {
            dialog = box.window;
            shown = ControlText(dialog, IDC_VALUE_EDIT);
        } else {
            if (box.owner != dialog)
                return false;
            AfterMessage after = { box, IconOfBox(box.window) };
            PressButton(box.window, IDOK);
            PumpUntil([&] { return !IsWindow(box.window); }, SETTLE_MS);
            Settle(dialog);
            after.field = ControlText(dialog, IDC_VALUE_EDIT);
            after.dialogOpen = IsWindow(dialog) && IsWindowVisible(dialog);
            after.minutes = appState.timeoutMinutes;
            messages.push_back(after);
        }
        size_t next = messages.size();
        const char* text = next < rejected.size() ? rejected[next]
                           : next == rejected.size() ? accepted : nullptr;
        // Set, not typed: the way a pasted minus gets past the digits-only field.
        if (text)
            SetControlText(dialog, IDC_VALUE_EDIT, text);
        PressButton(dialog, text ? IDOK : IDCANCEL);
        return true;
    }
};

struct MinutesCase {
    const char* name;
    UINT systemSeconds;
    std::vector<const char*> rejected;
    std::vector<int> messageValues;
    const char* accepted;   // nullptr: Cancel
    const char* shown;      // the field when the dialog opens
    int minutes;
    UINT secondsAfter;
    const char* registryAfter;   // ABSENT: nothing written
    UINT checkedAfter;
};
PRINTS_AS_ITS_NAME(MinutesCase)

class MinutesMode : public Napkit, public ::testing::WithParamInterface<MinutesCase> {};

// Out-of-range entries are refused with a message and change nothing; the
// time-out is applied only when the minutes differ from the system's seconds.
TEST_P(MinutesMode, RefusesOutOfRangeAndAppliesOnlyAChange)
{
    const MinutesCase& c = GetParam();
    SetSpiTimeout(c.systemSeconds);
    Open();
    MinutesScript script{ c.rejected, c.accepted };
    ASSERT_TRUE(Run(IDM_TIMEOUT_CUSTOM, [&](const BoxRecord& box) { return script.Handle(box); }));
    EXPECT_EQ(c.shown, script.shown);
    ASSERT_EQ(c.messageValues.size(), script.messages.size());
    for (size_t i = 0; i < script.messages.size(); ++i) {
        const MinutesScript::AfterMessage& after = script.messages[i];
        SCOPED_TRACE(c.rejected[i]);
        EXPECT_EQ("時間指定", after.box.caption);
        EXPECT_EQ("入力範囲を超えています。(" + std::to_string(c.messageValues[i]) + ")", after.box.text);
        EXPECT_EQ(script.dialog, after.box.owner);
        EXPECT_EQ(1, after.box.buttons);
        EXPECT_EQ(LoadIconA(NULL, IDI_EXCLAMATION), after.icon);
        EXPECT_EQ("", after.field);
        EXPECT_TRUE(after.dialogOpen);
        EXPECT_EQ(5, after.minutes);
    }
    EXPECT_FALSE(IsWindow(script.dialog));
    EXPECT_EQ(c.minutes, appState.timeoutMinutes);
    EXPECT_EQ(c.secondsAfter, SpiTimeout());
    EXPECT_EQ(c.registryAfter, ReadDesktopValue("ScreenSaveTimeOut"));
    EXPECT_EQ(c.checkedAfter, appState.timeoutItem);
    EXPECT_TRUE(MenuChecked(c.checkedAfter));
}

INSTANTIATE_TEST_SUITE_P(Cases, MinutesMode, ::testing::Values(
    MinutesCase{ "RefusedThenSevenAt300", FIVE_MINUTES, { "0", "", "61", "-5" }, { 0, 0, 61, -5 },
                 "7", "5", 7, 420, "420", IDM_TIMEOUT_CUSTOM },
    MinutesCase{ "OneAt300", FIVE_MINUTES, {}, {}, "1", "5", 1, 60, "60", IDM_TIMEOUT_CUSTOM },
    MinutesCase{ "SixtyAt300", FIVE_MINUTES, {}, {}, "60", "5", 60, 3600, "3600", IDM_TIMEOUT_CUSTOM },
    MinutesCase{ "CurrentFiveAt300", FIVE_MINUTES, {}, {}, "5", "5", 5, 300, ABSENT, IDM_TIMEOUT_5 },
    MinutesCase{ "CancelledAt90", 90, {}, {}, nullptr, "1", 1, 60, "60", IDM_TIMEOUT_CUSTOM }),
    ByName());

// ================================================================ wait mode

struct WaitCase {
    const char* name;
    const char* entry;   // nullptr: Cancel
    int stored;
    const char* written;
};
PRINTS_AS_ITS_NAME(WaitCase)

class WaitMode : public Napkit, public ::testing::WithParamInterface<WaitCase> {};

// Whatever happens in the dialog, the wait is written afterwards; a pasted
// negative wait is kept as 0 so that no start waits without end.
TEST_P(WaitMode, StoresAndWritesTheWait)
{
    const WaitCase& c = GetParam();
    Ini("Action", "ScreenSaveCommandWait", "750");
    Open();
    HWND dialog = NULL;
    ASSERT_TRUE(Run(IDM_WAIT_SETTING, [&](const BoxRecord& box) {
        dialog = box.window;
        if (c.entry)
            SetControlText(dialog, IDC_VALUE_EDIT, c.entry);
        PressButton(dialog, c.entry ? IDOK : IDCANCEL);
        return true;
    }));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(1u, boxes.Count()) << "no message in wait mode";
    EXPECT_EQ(c.stored, appState.commandWaitMs);
    EXPECT_EQ(c.written, IniValue("Action", "ScreenSaveCommandWait"));
}

INSTANTIATE_TEST_SUITE_P(Cases, WaitMode, ::testing::Values(
    WaitCase{ "CancelWritesTheUnchangedWait", nullptr, 750, "750" },
    WaitCase{ "EmptyFieldStoresZero", "", 0, "0" },
    WaitCase{ "NewValue", "2500", 2500, "2500" },
    WaitCase{ "PastedNegativeBecomesZero", "-40", 0, "0" }),
    ByName());

// ================================================================ settings

constexpr int SETTINGS_CHECKS[] = { IDC_MSG_ON_STATE, IDC_MSG_ON_CHANGE, IDC_RANDOM_AT_START,
                                    IDC_USE_SAVER_NAME };
constexpr const char* SETTINGS_KEYS[][2] = { { "Message", "OpenMessageBox" },
                                            { "Action", "ScreenSaver_RandomSet" },
                                            { "Action", "UseSaverName" } };

struct SettingsCase {
    const char* name;
    const char* before[3];   // the keys above; nullptr: absent
    const char* shown;       // the four checks in order, "1" ticked
    const char* ticked;      // nullptr: left as shown
    bool ok;
    std::string after[3];    // the keys afterwards
    int state[3];            // messageFlags, randomAtStart, useSaverName afterwards
};
PRINTS_AS_ITS_NAME(SettingsCase)

class SettingsDialog : public Napkit, public ::testing::WithParamInterface<SettingsCase> {};

// The checks follow the settings; OK applies and writes all three keys in a
// fixed order even when unchanged (dropping bits above bit 1); Cancel changes
// and writes nothing.
TEST_P(SettingsDialog, ShowsAppliesAndWritesOnlyOnOk)
{
    const SettingsCase& c = GetParam();
    for (int k = 0; k < 3; ++k)
        if (c.before[k]) Ini(SETTINGS_KEYS[k][0], SETTINGS_KEYS[k][1], c.before[k]);
    Open();
    CallLog callLog;
    std::string shown;
    ASSERT_TRUE(Run(IDM_SETTINGS, [&](const BoxRecord& box) {
        for (int i = 0; i < 4; ++i) {
            shown += IsChecked(box.window, SETTINGS_CHECKS[i]) ? "1" : "0";
            if (c.ticked)
                SetCheckBox(box.window, SETTINGS_CHECKS[i], c.ticked[i] == '1');
        }
        PressButton(box.window, c.ok ? IDC_SETTINGS_OK : IDC_SETTINGS_CANCEL);
        return true;
    }));
    EXPECT_EQ(c.shown, shown);
    std::vector<std::string> written;
    if (c.ok)
        written = { "Action.ScreenSaver_RandomSet=" + c.after[1], "Message.OpenMessageBox=" + c.after[0],
                    "Action.UseSaverName=" + c.after[2] };
    EXPECT_EQ(written, calls);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(c.after[k], IniValue(SETTINGS_KEYS[k][0], SETTINGS_KEYS[k][1])) << k;
    EXPECT_EQ(c.state[0], (int)appState.messageFlags);
    EXPECT_EQ(c.state[1], appState.randomAtStart);
    EXPECT_EQ(c.state[2], appState.useSaverName);
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsDialog, ::testing::Values(
    SettingsCase{ "SevenConfirmedUnchanged", { "7" }, "1101", nullptr, true, { "3", "0", "1" }, { 3, 0, 1 } },
    SettingsCase{ "DefaultsChanged", {}, "1101", "0110", true, { "2", "1", "0" }, { 2, 1, 0 } },
    SettingsCase{ "AllOffChanged", { "0", "1", "0" }, "0010", "1101", true, { "3", "0", "1" }, { 3, 0, 1 } },
    SettingsCase{ "StateOnlyRandomOnCancelled", { "1", "1", "0" }, "1010", nullptr, false,
                  { "1", "1", "0" }, { 1, 1, 0 } },
    SettingsCase{ "ChangeOnlyHighBitsCancelled", { "6", "0", "1" }, "0101", "1010", false,
                  { "6", "0", "1" }, { 6, 0, 1 } },
    SettingsCase{ "SevenCancelled", { "7" }, "1101", "0010", false, { "7", ABSENT, ABSENT }, { 7, 0, 1 } }),
    ByName());

// ================================================================ failures, the dialog's loop

struct FailureCase {
    const char* name;
    UINT command;
    UINT systemSeconds;
    const char* waitWritten;   // ABSENT: not written
    UINT secondsAfter;
};
PRINTS_AS_ITS_NAME(FailureCase)

class DialogCreationFails : public Napkit, public ::testing::WithParamInterface<FailureCase> {};

// A module without the templates: the message, then the command goes on as
// after Cancel.
TEST_P(DialogCreationFails, SaysSoAndGoesOnAsIfCancelled)
{
    const FailureCase& c = GetParam();
    HINSTANCE noTemplates = GetModuleHandleA("kernel32.dll");
    for (UINT id : { IDD_ABOUT, IDD_VALUE, IDD_SETTINGS })
        ASSERT_EQ(NULL, FindResourceA(noTemplates, MAKEINTRESOURCEA(id), RT_DIALOG));
    SetSpiTimeout(c.systemSeconds);
    Open();
    HINSTANCE own = appState.instance;
    appState.instance = noTemplates;
    CallLog callLog;
    ASSERT_TRUE(Run(c.command, nullptr));
    appState.instance = own;
    ASSERT_EQ(1u, boxes.Count());
    BoxRecord box = boxes.Boxes()[0];
    EXPECT_EQ("NAPKIT", box.caption);
    EXPECT_EQ("DialogBox Create Mistakes!", box.text);
    EXPECT_EQ(NULL, box.owner);
    EXPECT_FALSE(box.hasIcon);
    EXPECT_FALSE(box.topmost);
    EXPECT_EQ(1, box.buttons);
    std::vector<std::string> written;
    if (c.waitWritten != ABSENT)
        written = { std::string("Action.ScreenSaveCommandWait=") + c.waitWritten };
    EXPECT_EQ(written, calls);
    EXPECT_EQ(c.secondsAfter, SpiTimeout());
}

INSTANTIATE_TEST_SUITE_P(Commands, DialogCreationFails, ::testing::Values(
    FailureCase{ "About", IDM_ABOUT, FIVE_MINUTES, ABSENT, FIVE_MINUTES },
    FailureCase{ "MinutesAt90", IDM_TIMEOUT_CUSTOM, 90, ABSENT, 60 },
    FailureCase{ "Wait", IDM_WAIT_SETTING, FIVE_MINUTES, "500", FIVE_MINUTES },
    FailureCase{ "Settings", IDM_SETTINGS, FIVE_MINUTES, ABSENT, FIVE_MINUTES }),
    ByName());

// The dialog's loop fetches only the dialog's messages: a command posted to
// the main window and the poll wait until it has closed.
TEST_F(Dialogs, PostedMessagesOfTheMainWindowWaitUntilItCloses)
{
    Open();
    std::string doubleClickWhileOpen;
    int minutesWhileOpen = 0;
    ASSERT_TRUE(Run(IDM_ABOUT, [&](const BoxRecord& box) {
        PostMessageA(window, WM_COMMAND, IDM_DBLCLICK_START, 0);
        SetSpiTimeout(600);   // the next poll would read 10 minutes
        Sleep(3 * POLL_INTERVAL_MS);
        Settle(box.window);
        doubleClickWhileOpen = IniValue("Action", "IconDubbleClick");
        minutesWhileOpen = appState.timeoutMinutes;
        PressButton(box.window, IDOK);
        return true;
    }));
    EXPECT_EQ(ABSENT, doubleClickWhileOpen);
    EXPECT_EQ(5, minutesWhileOpen);
    EXPECT_TRUE(PumpUntil([&] {
        return IniValue("Action", "IconDubbleClick") == "0" && appState.timeoutMinutes == 10;
    }, 6 * POLL_INTERVAL_MS));
}

// Sent messages still reach the main window; the end of the session takes
// the dialog with it and the wait command finishes as after Cancel.
TEST_F(Dialogs, EndOfSessionClosesTheDialogWithTheWindow)
{
    Open();
    HWND dialog = NULL;
    ASSERT_TRUE(Run(IDM_WAIT_SETTING, [&](const BoxRecord& box) {
        dialog = box.window;
        SetControlText(dialog, IDC_VALUE_EDIT, "1234");   // typed, never confirmed
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &result);
        return true;
    }));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(500, appState.commandWaitMs);
    EXPECT_EQ("500", IniValue("Action", "ScreenSaveCommandWait"));
}

// ================================================================ hot-key registration

struct RegistrationCase {
    const char* name;
    const char* settings;   // [HotKeys] entries, "key=value" each
    const char* taken;      // combinations, as Combos() reads them
    const char* free;
};
PRINTS_AS_ITS_NAME(RegistrationCase)

class Registration : public Napkit, public ::testing::WithParamInterface<RegistrationCase> {};

TEST_P(Registration, HoldsTheConfiguredCombinationsUntilClosed)
{
    const RegistrationCase& c = GetParam();
    for (const std::string& entry : Words(c.settings)) {
        size_t equals = entry.find('=');
        Ini("HotKeys", entry.substr(0, equals).c_str(), entry.substr(equals + 1));
    }
    for (const Combo& combo : Combos(c.taken))
        ASSERT_FALSE(Taken(combo)) << combo << " is held by something else";
    CallLog callLog;
    Open();
    for (const Combo& combo : Combos(c.taken))
        EXPECT_TRUE(Taken(combo)) << combo;
    for (const Combo& combo : Combos(c.free))
        EXPECT_FALSE(Taken(combo)) << combo;
    CloseMainWindow(window);
    for (const Combo& combo : Combos(c.taken))
        EXPECT_FALSE(Taken(combo)) << combo << " still held after the window closed";
    if (!*c.taken)
        EXPECT_EQ(std::vector<std::string>{}, calls) << "disabled: no registering, no unregistering";
}

INSTANTIATE_TEST_SUITE_P(Settings, Registration, ::testing::Values(
    RegistrationCase{ "EnableAbsent", "CombinationKeys=0", "", "ca:ZXASF -:ZXAS" },
    RegistrationCase{ "EnableZero", "EnableHotKeys=0", "", "ca:ZXASF" },
    RegistrationCase{ "EnableOne", "EnableHotKeys=1", "ca:ZXASF", "" },
    RegistrationCase{ "StartLowerCaseQ", "EnableHotKeys=1 Key_Start=q", "ca:QXASF", "ca:Z" },
    RegistrationCase{ "StartZebraTakesItsFirstLetter", "EnableHotKeys=1 Key_Start=Zebra", "ca:Z", "ca:EB" },
    RegistrationCase{ "StartNothingInAnyCaseIsTheDefault", "EnableHotKeys=1 Key_Start=nothing!",
                      "ca:Z", "ca:N" },
    RegistrationCase{ "StartDigit", "EnableHotKeys=1 Key_Start=7", "ca:7", "ca:Z" },
    RegistrationCase{ "EachKeyReadsItsOwnEntry", "EnableHotKeys=1 Key_Switch=m Key_RndRun=b Key_RndCH=1",
                      "ca:ZMB1F", "ca:XAS" },
    RegistrationCase{ "NoModifiersButRefreshStaysCtrlAlt", "EnableHotKeys=1 CombinationKeys=0",
                      "-:ZXAS ca:F", "ca:ZXAS -:F" },
    RegistrationCase{ "Shift", "EnableHotKeys=1 CombinationKeys=4", "s:ZXAS ca:F", "ca:ZXAS s:F" },
    RegistrationCase{ "NineteenIsMaskedToCtrlAlt", "EnableHotKeys=1 CombinationKeys=19", "ca:ZXASF", "" }),
    ByName());

// The calls as made, in order: the modifiers masked to the low four bits, a
// present but empty key text as code 0, a combination held elsewhere lost
// without a word, and all five unregistered on close, the lost one included.
TEST_F(HotKeys, RegisteredAndUnregisteredInOrder)
{
    Ini("HotKeys", "EnableHotKeys", "1");
    Ini("HotKeys", "CombinationKeys", "19");
    Ini("HotKeys", "Key_Start", "q");
    Ini("HotKeys", "Key_RndRun", "");
    ASSERT_TRUE(RegisterHotKey(NULL, PROBE_ID, CTRL_ALT, 'X'));
    CallLog callLog;
    Open();
    for (const Combo& combo : Combos("ca:QSF"))
        EXPECT_TRUE(Taken(combo)) << combo;
    EXPECT_FALSE(Taken({ CTRL_ALT, 'A' })) << "an empty key text is not the default";
    CloseMainWindow(window);
    UnregisterHotKey(NULL, PROBE_ID);
    std::vector<std::string> wanted = {
        Registered(IDM_START_NORMAL, CTRL_ALT, 'Q'), Registered(IDM_DBLCLICK_TOGGLE, CTRL_ALT, 'X'),
        Registered(IDM_START_RANDOM, CTRL_ALT, 0), Registered(IDM_RANDOM_CHANGE, CTRL_ALT, 'S'),
        Registered(IDM_REFRESH, CTRL_ALT, 'F'),
        Unregistered(IDM_START_NORMAL), Unregistered(IDM_DBLCLICK_TOGGLE), Unregistered(IDM_START_RANDOM),
        Unregistered(IDM_RANDOM_CHANGE), Unregistered(IDM_REFRESH) };
    EXPECT_EQ(wanted, calls);
}

// Start and switch on one letter: the start, registered first, keeps it.
TEST_F(HotKeys, TwoKeysOnOneLetterLeaveItToTheStart)
{
    Ini("HotKeys", "EnableHotKeys", "1");
    Ini("HotKeys", "Key_Start", "Q");
    Ini("HotKeys", "Key_Switch", "q");
    Open();
    const Combo q = { CTRL_ALT, 'Q' };
    EXPECT_TRUE(Taken(q));
    UnregisterHotKey(window, IDM_DBLCLICK_TOGGLE);
    EXPECT_TRUE(Taken(q)) << "not the switch's";
    UnregisterHotKey(window, IDM_START_NORMAL);
    EXPECT_FALSE(Taken(q)) << "the start's";
}

// ================================================================ WM_HOTKEY ids

struct StartCase {
    const char* name;
    const char* wait;
    UINT message;   // the hot key or the menu command
    DWORD minimumMs, maximumMs;
};
PRINTS_AS_ITS_NAME(StartCase)

class StartWait : public Napkit, public ::testing::WithParamInterface<StartCase> {};

// The start waits before it asks for the screen saver, inside the call.
TEST_P(StartWait, HotKeyWaitsATenthOfTheMenuWait)
{
    const StartCase& c = GetParam();
    Ini("Action", "ScreenSaveCommandWait", c.wait);
    Open();
    DWORD start = GetTickCount();
    SendMessageA(window, c.message, IDM_START_NORMAL, 0);
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, c.minimumMs);
    EXPECT_LE(waited, c.maximumMs);
    MSG request;   // posted to itself before the call returned
    EXPECT_TRUE(PeekMessageA(&request, window, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE));
    EXPECT_EQ((WPARAM)SC_SCREENSAVE, request.wParam);
    EXPECT_EQ(1u, appState.startWaitDivisor);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartWait, ::testing::Values(
    StartCase{ "HotKeyTenth", "1000", WM_HOTKEY, 95, 600 },
    StartCase{ "MenuCommandFull", "1000", WM_COMMAND, 995, 3000 },
    StartCase{ "HotKeyNegativeWaitIsZero", "-5000", WM_HOTKEY, 0, 300 }),
    ByName());

struct ToggleCase {
    const char* name;
    UINT activeBefore;
    const char* messageFlags;
    const char* message;   // nullptr: no box
    UINT stateItem;
};
PRINTS_AS_ITS_NAME(ToggleCase)

class ToggleHotKey : public Napkit, public ::testing::WithParamInterface<ToggleCase> {};

// As a hot key 40101 switches the screen saver; as a menu command it would
// choose the double-click action, which must stay as it was.
TEST_P(ToggleHotKey, SwitchesAndMovesTheStateCheck)
{
    const ToggleCase& c = GetParam();
    Ini("Message", "OpenMessageBox", c.messageFlags);
    SetSpiActive(c.activeBefore);
    Open();
    // Read as soon as the call returns: the next poll would move the check anyway.
    SendMessageA(window, WM_HOTKEY, IDM_DBLCLICK_TOGGLE, 0);
    EXPECT_EQ(c.stateItem, appState.stateItem);
    EXPECT_TRUE(MenuChecked(c.stateItem));
    EXPECT_EQ(c.activeBefore ^ 1, SpiActive());
    EXPECT_EQ((UINT)IDM_DBLCLICK_TOGGLE, appState.dblClickItem);
    EXPECT_EQ(ABSENT, IniValue("Action", "IconDubbleClick"));
    std::vector<BoxRecord> shown = boxes.Boxes();
    ASSERT_EQ(c.message ? 1u : 0u, shown.size());
    if (c.message) {
        EXPECT_EQ(c.message, shown[0].text);
        EXPECT_EQ(window, shown[0].owner);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ToggleHotKey, ::testing::Values(
    ToggleCase{ "OnToOffWithMessage", 1, "1", "スクリーンセーバーを「無効」にしました。", IDM_STATE_OFF },
    ToggleCase{ "OffToOnQuietly", 0, "2", nullptr, IDM_STATE_ON }),
    ByName());

TEST_F(HotKeys, RandomStartRunsASaver)
{
    Ini("Action", "ScreenSaveCommandWait", "0");
    Open();
    appState.startWaitDivisor = 10;
    PostMessageA(window, WM_HOTKEY, IDM_START_RANDOM, 0);
    ASSERT_TRUE(PumpUntil([&] { return !ReadLogLines(log).empty(); }, 10000));
    EXPECT_EQ(std::vector<std::string>{ "\"" + saver + "\" /s" }, ReadLogLines(log));
    EXPECT_EQ(1u, appState.startWaitDivisor);
    EXPECT_EQ(0u, boxes.Count());
}

// The command itself is proven with the catalogue; here, that the hot key runs it.
TEST_F(HotKeys, RandomChangeConfiguresACatalogueSaver)
{
    std::string other = InstallSaver("logsaver.scr", dir.saverbox(), "OTHER.SCR");
    Open();
    ASSERT_EQ(2, appState.saverCount);
    WriteScrnsave("C:\\not-a-saver.scr");   // to be overwritten; sent, so no poll sees it first
    appState.startWaitDivisor = 10;
    SendMessageA(window, WM_HOTKEY, IDM_RANDOM_CHANGE, 0);
    std::string configured = ReadScrnsave();
    EXPECT_TRUE(configured == saver || configured == other) << configured;
    EXPECT_EQ(configured, appState.currentSaver);
    EXPECT_EQ(1u, appState.startWaitDivisor);
    PumpMessages(2 * POLL_INTERVAL_MS);
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(HotKeys, RefreshFindsANewSaver)
{
    Open();
    ASSERT_EQ(1, appState.saverCount);
    InstallSaver("logsaver.scr", dir.saverbox(), "NEWONE.SCR");
    PostMessageA(window, WM_HOTKEY, IDM_REFRESH, 0);
    EXPECT_TRUE(PumpUntil([] { return appState.saverCount == 2; }, 10000));
    EXPECT_TRUE(MenuItemExists(IDM_SAVER_BASE + 2));
    EXPECT_EQ(0u, boxes.Count());
}

// Only the five hot-key ids do anything, even where the id is a command.
TEST_F(HotKeys, OtherIdsDoNothing)
{
    Ini("Message", "OpenMessageBox", "3");
    Ini("Action", "ScreenSaveCommandWait", "0");
    Open();
    std::string iniBefore = ReadFileBytes(dir.ini());
    for (UINT id : { (UINT)IDM_TIMEOUT_CUSTOM, (UINT)IDM_STATE_OFF, (UINT)IDM_SAVER_SETUP,
                     (UINT)IDM_EXIT, 12345u })
        PostMessageA(window, WM_HOTKEY, id, 0);
    PumpMessages(3 * POLL_INTERVAL_MS);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ(iniBefore, ReadFileBytes(dir.ini()));
    EXPECT_EQ(1u, SpiActive());
    EXPECT_EQ(FIVE_MINUTES, SpiTimeout());
    EXPECT_EQ(saver, ReadScrnsave());
    EXPECT_TRUE(ReadLogLines(log).empty()) << "no saver started or opened";
}

}  // namespace
