// The three dialogs as a user meets them: opened by their menu commands on the
// real main window, read, filled in and closed from the responder's thread,
// with the settings, registry values and system parameters they change read
// back afterwards. The templates are also read raw from the resources.
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "app/app.h"
#include "settings/settings.h"
#include "ui/ui.h"
#include "res/resource.h"

using namespace harness;

namespace {

// Test cases show as their names in test listings and failure messages.
#define PRINTS_AS_ITS_NAME(Case) \
    void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// ---------------------------------------------------------------- texts

constexpr char ABOUT_TITLE[] = "バージョン情報";
constexpr char VALUE_TITLE[] = "待ち時間設定";
constexpr char SETTINGS_TITLE[] = "基本動作設定 - NAPKIT";
constexpr char OK_TEXT[] = "ＯＫ";
constexpr char CANCEL_TEXT[] = "キャンセル";
constexpr char MINUTES_PROMPT[] =
    "スクリーンセーバーが起動するまでの時間を「分単位」で入力してください。";
constexpr char MINUTES_RANGE[] = "（ １～６０ ）";
constexpr char MINUTES_UNIT[] = "分";
constexpr char WAIT_TITLE[] = "ウエイト設定";
constexpr char WAIT_PROMPT[] = "スクリーンセーバー直接起動時のウエイトを入力してください。";
constexpr char WAIT_RANGE[] = "Default : 500";
constexpr char WAIT_UNIT[] = "ミリ秒";
constexpr char RANGE_CAPTION[] = "時間指定";
constexpr char RANGE_MESSAGE[] = "入力範囲を超えています。";   // followed by "(value)"
constexpr char CREATE_FAILED[] = "DialogBox Create Mistakes!";
constexpr char DIALOG_FONT[] = "ＭＳ Ｐゴシック";
constexpr WORD DIALOG_FONT_POINTS = 9;
constexpr WORD JAPANESE = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

std::string Blanks(int count) { return std::string(count, ' '); }

// The texts with blanks inside: counted here rather than inside a literal.
const std::string RANDOM_CHECK_TEXT = "ランダム変更を有効" + Blanks(3) + "（デフォルト : ＯＦＦ）";
const std::string NAME_CHECK_TEXT =
    "ScreenSaver のファイル内から名前を取得。" + Blanks(3) + "（デフォルト : ＯＮ）";
const std::string MESSAGE_NOTE_TEXT =
    "チェックマークが付いてる項目を実行した時に確認のメッセージを表示します。" + Blanks(19)
    + "（ デフォルト : 両方ともＯＮ ）";

std::string RangeMessage(int value)
{
    char text[128];
    wsprintfA(text, "%s(%d)", RANGE_MESSAGE, value);
    return text;
}

// ---------------------------------------------------------------- templates

constexpr DWORD DIALOG_STYLE = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT
                               | DS_SETFOREGROUND | DS_CENTER | DS_ABSALIGN;
constexpr int NO_ID = 65535;   // statics, group boxes and the icon

// A template names a predefined class by name or by its atom.
std::string ClassOfAtom(WORD atom)
{
    switch (atom) {
    case 0x80: return "Button";
    case 0x81: return "Edit";
    case 0x82: return "Static";
    }
    return "#" + std::to_string(atom);
}

enum class Kind {
    DefaultButton, PushButton, NumberEdit, LeftText, CentredText, SunkenCentredText, Icon,
    GroupBox, CheckBox, MultiLineCheckBox,
};

// What a kind of control must look like: its class, the type held in the
// class's type bits, bits that must be set and bits that must not.
struct KindTraits {
    const char* className;
    DWORD typeMask;
    DWORD type;
    DWORD required;
    DWORD forbidden;
};

KindTraits TraitsOf(Kind kind)
{
    constexpr DWORD ALIGN_MASK = ES_LEFT | ES_CENTER | ES_RIGHT;
    switch (kind) {
    case Kind::DefaultButton:
        return { "Button", BS_TYPEMASK, BS_DEFPUSHBUTTON, WS_TABSTOP, 0 };
    case Kind::PushButton:
        return { "Button", BS_TYPEMASK, BS_PUSHBUTTON, WS_TABSTOP, 0 };
    case Kind::NumberEdit:
        return { "Edit", ALIGN_MASK, ES_RIGHT, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP,
                 ES_MULTILINE };
    case Kind::LeftText:
        return { "Static", SS_TYPEMASK, SS_LEFT, 0, 0 };
    case Kind::CentredText:
        return { "Static", SS_TYPEMASK, SS_CENTER, 0, 0 };
    case Kind::SunkenCentredText:
        return { "Static", SS_TYPEMASK, SS_CENTER, SS_CENTERIMAGE | SS_SUNKEN, 0 };
    case Kind::Icon:
        return { "Static", SS_TYPEMASK, SS_ICON, 0, 0 };
    case Kind::GroupBox:
        return { "Button", BS_TYPEMASK, BS_GROUPBOX, BS_FLAT, 0 };
    case Kind::CheckBox:
        return { "Button", BS_TYPEMASK, BS_AUTOCHECKBOX, BS_FLAT | WS_TABSTOP,
                 BS_MULTILINE };
    case Kind::MultiLineCheckBox:
        return { "Button", BS_TYPEMASK, BS_AUTOCHECKBOX,
                 BS_FLAT | WS_TABSTOP | BS_MULTILINE, 0 };
    }
    return {};
}

struct ControlRow {
    int id;
    Kind kind;
    std::string text;
    int x, y, width, height;
};

struct DialogLayout {
    const char* name;
    UINT templateId;
    UINT command;      // the menu command that opens it
    const char* title;
    int width, height;
    std::vector<ControlRow> controls;   // template order, which is the tab order
    int closeButton;   // the button that leaves without changes
};

// The About box's copyright and contact lines: any text of the program's own.
const std::string ANY_TEXT = "<any text>";

const DialogLayout ABOUT_LAYOUT = {
    "About", IDD_ABOUT, IDM_ABOUT, ABOUT_TITLE, 203, 133, {
        { IDOK, Kind::DefaultButton, OK_TEXT, 77, 112, 50, 14 },
        { NO_ID, Kind::LeftText, "NAPKIT", 79, 15, 92, 8 },
        { NO_ID, Kind::SunkenCentredText, "Version 1.43", 68, 56, 68, 14 },
        { NO_ID, Kind::LeftText, ANY_TEXT, 39, 79, 128, 8 },
        { NO_ID, Kind::LeftText, "for", 120, 26, 9, 8 },
        { NO_ID, Kind::Icon, "", 39, 19, 20, 20 },
        { NO_ID, Kind::LeftText, ANY_TEXT, 62, 90, 81, 9 },
        { NO_ID, Kind::LeftText, "Windows9x/Me/NT4.0/2000", 83, 38, 82, 8 },
    }, IDOK };

const DialogLayout VALUE_LAYOUT = {
    "Value", IDD_VALUE, IDM_TIMEOUT_CUSTOM, VALUE_TITLE, 142, 87, {
        { IDOK, Kind::DefaultButton, OK_TEXT, 7, 66, 50, 14 },
        { IDCANCEL, Kind::PushButton, CANCEL_TEXT, 85, 66, 50, 14 },
        { IDC_VALUE_EDIT, Kind::NumberEdit, "", 51, 42, 31, 12 },
        { IDC_VALUE_UNIT, Kind::LeftText, MINUTES_UNIT, 84, 44, 19, 8 },
        { IDC_VALUE_PROMPT, Kind::CentredText, MINUTES_PROMPT, 7, 7, 128, 17 },
        { IDC_VALUE_RANGE, Kind::CentredText, MINUTES_RANGE, 48, 30, 40, 8 },
    }, IDCANCEL };

const DialogLayout SETTINGS_LAYOUT = {
    "Settings", IDD_SETTINGS, IDM_SETTINGS, SETTINGS_TITLE, 167, 313, {
        { IDC_SETTINGS_OK, Kind::PushButton, OK_TEXT, 10, 293, 54, 16 },
        { IDC_SETTINGS_CANCEL, Kind::PushButton, CANCEL_TEXT, 103, 293, 54, 16 },
        { NO_ID, Kind::GroupBox, "確認メッセージ", 4, 5, 159, 94 },
        { NO_ID, Kind::LeftText,
          "スクリーンセーバーの変更や状態の切り替え時にメッセージボックスを開くかどうかを指定します。",
          10, 16, 145, 16 },
        { IDC_RANDOM_AT_START, Kind::MultiLineCheckBox, RANDOM_CHECK_TEXT, 10, 145, 147, 12 },
        { IDC_MSG_ON_STATE, Kind::CheckBox, "ScreenSaver の状態(ＯＮ・ＯＦＦ)を変更したとき",
          10, 39, 146, 10 },
        { IDC_MSG_ON_CHANGE, Kind::CheckBox, "アクティブな ScreenSaver を変更したとき",
          10, 52, 131, 10 },
        { NO_ID, Kind::LeftText, MESSAGE_NOTE_TEXT, 10, 69, 132, 23 },
        { NO_ID, Kind::GroupBox, "ランダム", 4, 111, 159, 51 },
        { NO_ID, Kind::LeftText,
          "「NAPKIT」の起動時にアクティブな ScreenSaver をランダムに変更することができます。",
          10, 122, 147, 17 },
        { NO_ID, Kind::GroupBox, "ScreenSaver の表示名", 4, 175, 159, 96 },
        { NO_ID, Kind::LeftText,
          "ScreenSaver を識別するための名前の取得方法を設定します。この設定を有効にすると "
          "ScreenSaver の名前を表示する時に、名前をファイルの内部から検索します。",
          10, 185, 147, 32 },
        { IDC_USE_SAVER_NAME, Kind::MultiLineCheckBox, NAME_CHECK_TEXT, 10, 245, 147, 16 },
        { NO_ID, Kind::LeftText,
          "（ファイルの内部に ScreenSaver 識別用の名前が無ければ、自動的にファイル名が使われます）",
          10, 222, 147, 17 },
    }, IDC_SETTINGS_CANCEL };

void PrintTo(const DialogLayout* layout, std::ostream* os) { *os << layout->name; }

// A dialog template as the resource holds it (DLGTEMPLATE, not extended).
struct RawControl {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, width = 0, height = 0;
    WORD id = 0;
    std::string className;   // a predefined class's atom read as its name
    std::string text;
    WORD textOrdinal = 0;   // an icon names its resource by number
};

struct RawDialog {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, width = 0, height = 0;
    std::string menu;
    std::string windowClass;
    std::string title;
    WORD points = 0;
    std::string font;
    std::vector<RawControl> controls;
};

std::string FromUtf16(const WCHAR* text)
{
    char bytes[1024] = "";
    WideCharToMultiByte(932, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    return bytes;
}

// Reads one "name or ordinal" field: 0 (none), 0xFFFF + number, or a string.
const WORD* ReadNameOrOrdinal(const WORD* p, std::string& name, WORD& ordinal)
{
    name.clear();
    ordinal = 0;
    if (*p == 0)
        return p + 1;
    if (*p == 0xFFFF) {
        ordinal = p[1];
        return p + 2;
    }
    name = FromUtf16((const WCHAR*)p);
    return p + lstrlenW((const WCHAR*)p) + 1;
}

const WORD* AlignToDword(const WORD* p)
{
    return (const WORD*)(((ULONG_PTR)p + 3) & ~(ULONG_PTR)3);
}

RawDialog ReadRawDialog(UINT templateId)
{
    RawDialog dialog;
    HRSRC found = FindResourceExA(GetModuleHandleA(NULL), RT_DIALOG,
                                  MAKEINTRESOURCEA(templateId), JAPANESE);
    if (!found)
        return dialog;
    const WORD* p = (const WORD*)LockResource(LoadResource(GetModuleHandleA(NULL), found));
    const DLGTEMPLATE* head = (const DLGTEMPLATE*)p;
    dialog.style = head->style;
    dialog.exStyle = head->dwExtendedStyle;
    dialog.x = head->x;
    dialog.y = head->y;
    dialog.width = head->cx;
    dialog.height = head->cy;
    WORD count = head->cdit;
    p = (const WORD*)(head + 1);
    WORD ordinal = 0;
    p = ReadNameOrOrdinal(p, dialog.menu, ordinal);
    p = ReadNameOrOrdinal(p, dialog.windowClass, ordinal);
    dialog.title = FromUtf16((const WCHAR*)p);
    p += lstrlenW((const WCHAR*)p) + 1;
    if (dialog.style & DS_SETFONT) {
        dialog.points = *p++;
        dialog.font = FromUtf16((const WCHAR*)p);
        p += lstrlenW((const WCHAR*)p) + 1;
    }
    for (WORD i = 0; i < count; ++i) {
        p = AlignToDword(p);
        const DLGITEMTEMPLATE* item = (const DLGITEMTEMPLATE*)p;
        RawControl control;
        control.style = item->style;
        control.exStyle = item->dwExtendedStyle;
        control.x = item->x;
        control.y = item->y;
        control.width = item->cx;
        control.height = item->cy;
        control.id = item->id;
        p = (const WORD*)(item + 1);
        WORD atom = 0;
        p = ReadNameOrOrdinal(p, control.className, atom);
        if (atom)
            control.className = ClassOfAtom(atom);
        p = ReadNameOrOrdinal(p, control.text, control.textOrdinal);
        WORD extra = *p++;
        p = (const WORD*)((const BYTE*)p + extra);
        dialog.controls.push_back(control);
    }
    return dialog;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param)
{
    ((std::vector<WORD>*)param)->push_back(language);
    return TRUE;
}

std::vector<WORD> LanguagesOf(UINT templateId)
{
    std::vector<WORD> languages;
    EnumResourceLanguagesA(GetModuleHandleA(NULL), RT_DIALOG, MAKEINTRESOURCEA(templateId),
                           CollectLanguage, (LONG_PTR)&languages);
    return languages;
}

// ---------------------------------------------------------------- live dialogs

// A control of a live dialog, read from the responder's thread.
struct LiveControl {
    std::string className;
    int id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string text;
    RECT rect = {};       // in the dialog's client coordinates
    HICON icon = NULL;
};

struct LiveDialog {
    HWND window = NULL;
    HWND owner = NULL;
    std::string title;
    DWORD style = 0;
    bool visible = false;
    std::vector<LiveControl> controls;   // in tab order
    std::vector<RECT> layoutRects;       // the layout's x, y, width, height in pixels
};

std::string ClassNameOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

LiveDialog ReadLiveDialog(HWND dialog, const DialogLayout& layout)
{
    LiveDialog live;
    live.window = dialog;
    live.owner = GetWindow(dialog, GW_OWNER);
    live.title = WindowText(dialog);
    live.style = (DWORD)GetWindowLongA(dialog, GWL_STYLE);
    live.visible = IsWindowVisible(dialog) != FALSE;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        LiveControl control;
        control.className = ClassNameOf(child);
        control.id = GetDlgCtrlID(child);
        control.style = (DWORD)GetWindowLongA(child, GWL_STYLE);
        control.exStyle = (DWORD)GetWindowLongA(child, GWL_EXSTYLE);
        control.text = WindowText(child);
        GetWindowRect(child, &control.rect);
        MapWindowPoints(NULL, dialog, (POINT*)&control.rect, 2);
        DWORD_PTR icon = 0;
        if ((control.style & SS_TYPEMASK) == SS_ICON && control.className == "Static")
            SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
        control.icon = (HICON)icon;
        live.controls.push_back(control);
    }
    // The dialog manager maps position and size each on its own, so the
    // layout's numbers are mapped as they are: left, top, width, height.
    for (const ControlRow& row : layout.controls) {
        RECT mapped = { row.x, row.y, row.width, row.height };
        MapDialogRect(dialog, &mapped);
        live.layoutRects.push_back(mapped);
    }
    return live;
}

// Makes sure no test waits for ever on a dialog that does not close: after
// the time is up it closes every dialog window of this process and says so.
class DialogWatchdog {
public:
    explicit DialogWatchdog(DWORD timeoutMs)
        : timeoutMs_(timeoutMs), done_(CreateEventA(NULL, TRUE, FALSE, NULL)), fired_(0)
    {
        thread_ = CreateThread(NULL, 0, ThreadMain, this, 0, NULL);
    }
    ~DialogWatchdog()
    {
        SetEvent(done_);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        CloseHandle(done_);
    }
    bool fired() const { return fired_ != 0; }

private:
    static BOOL CALLBACK CloseDialogs(HWND window, LPARAM)
    {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && ClassNameOf(window) == "#32770")
            PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;
    }
    static DWORD WINAPI ThreadMain(void* self)
    {
        DialogWatchdog& dog = *(DialogWatchdog*)self;
        DWORD wait = dog.timeoutMs_;
        while (WaitForSingleObject(dog.done_, wait) == WAIT_TIMEOUT) {
            InterlockedExchange(&dog.fired_, 1);
            EnumWindows(CloseDialogs, 0);
            wait = 1000;
        }
        return 0;
    }
    DWORD timeoutMs_;
    HANDLE done_;
    HANDLE thread_;
    volatile LONG fired_;
};

constexpr DWORD DIALOG_TIMEOUT_MS = 20000;
constexpr DWORD SETTLE_TIMEOUT_MS = 3000;

// Returns once the dialog's thread is back in a message loop, i.e. has
// finished handling whatever was posted to the dialog before.
void Settle(HWND dialog)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, SETTLE_TIMEOUT_MS, &result);
}

bool WaitUntilGone(HWND window)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < SETTLE_TIMEOUT_MS; Sleep(10)) {
        if (!IsWindow(window))
            return true;
    }
    return false;
}

// Puts text on the clipboard and pastes it into a control, the one way a
// minus sign gets past a digits-only field.
void PasteText(HWND dialog, int id, const std::string& text)
{
    if (!OpenClipboard(NULL))
        return;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    lstrcpyA((char*)GlobalLock(memory), text.c_str());
    GlobalUnlock(memory);
    SetClipboardData(CF_TEXT, memory);
    CloseClipboard();
    SetControlText(dialog, id, "");
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), WM_PASTE, 0, 0, SMTO_ABORTIFHUNG,
                        SETTLE_TIMEOUT_MS, &result);
}

HICON IconOfBox(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            DWORD_PTR icon = 0;
            SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
            return (HICON)icon;
        }
    }
    return NULL;
}

// Records the settings-file writes of this process in their order, passing
// each on to the system unchanged.
extern "C" decltype(&WritePrivateProfileStringA) writeProfileImport
    __asm__("__imp__WritePrivateProfileStringA@16");

struct ProfileWrite {
    std::string section;
    std::string key;
    std::string value;
};

class ProfileWriteLog {
public:
    ProfileWriteLog()
    {
        writes.clear();
        original_ = writeProfileImport;
        Patch((decltype(original_))Record);
    }
    ~ProfileWriteLog() { Patch(original_); }
    static std::vector<ProfileWrite> writes;

private:
    static BOOL WINAPI Record(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
    {
        if (key && lstrcmpiA(file, appState.iniPath) == 0)
            writes.push_back({ section ? section : "", key, value ? value : "" });
        return original_(section, key, value, file);
    }
    static void Patch(decltype(&WritePrivateProfileStringA) target)
    {
        DWORD old = 0;
        VirtualProtect(&writeProfileImport, sizeof writeProfileImport, PAGE_READWRITE, &old);
        writeProfileImport = target;
        VirtualProtect(&writeProfileImport, sizeof writeProfileImport, old, &old);
    }
    static decltype(&WritePrivateProfileStringA) original_;
};

std::vector<ProfileWrite> ProfileWriteLog::writes;
decltype(&WritePrivateProfileStringA) ProfileWriteLog::original_ = NULL;

// ---------------------------------------------------------------- the session

constexpr char SAVER_NAME[] = "LOGGER.SCR";
constexpr UINT FIVE_MINUTES = 300;
constexpr UINT NINETY_SECONDS = 90;

// One test's world: the system stores guarded, a scratch folder with one
// saver in its saverbox that SYSTEM.INI already names (so the main window
// sets itself up without a word), a responder for every box, and the main
// window once the test has written its settings.
class Session {
public:
    Session()
    {
        saver_ = InstallSaver("logsaver.scr", dir_.saverbox(), SAVER_NAME);
        WriteScrnsave(saver_);
        WriteDesktopValueText("ScreenSaveTimeOut", ABSENT);
        SetSpiActive(1);
        SetSpiTimeout(FIVE_MINUTES);
    }
    ~Session() { CloseMainWindow(window_); }

    void Ini(const char* section, const char* key, const std::string& value)
    {
        WriteIni(dir_.ini(), section, key, value);
    }
    std::string IniValue(const char* section, const char* key)
    {
        return ReadIni(dir_.ini(), section, key);
    }

    HWND Open()
    {
        window_ = CreateMainWindow();
        PumpMessages(100);
        EXPECT_EQ(0u, boxes.Count()) << "the set-up should be quiet";
        return window_;
    }

    // Sends a command that opens a dialog; handler answers it from the
    // responder's thread. Returns false when the watchdog had to close it.
    bool RunCommand(UINT command, BoxResponder::Handler handler)
    {
        boxes.SetHandler(handler);
        DialogWatchdog watchdog(DIALOG_TIMEOUT_MS);
        SendCommand(window_, command);
        return !watchdog.fired();
    }

private:
    // Declared in this order: the folder and the stores outlive the responder.
    SystemGuard guard_;
    ScratchDir dir_{ "dialogs" };

public:
    BoxResponder boxes;

private:
    std::string saver_;
    HWND window_ = NULL;
};

// A handler that reads the dialog and leaves it with one button.
BoxResponder::Handler ReadAndPress(const DialogLayout& layout, LiveDialog& out, int button)
{
    return [&layout, &out, button](const BoxRecord& box) {
        out = ReadLiveDialog(box.window, layout);
        PressButton(box.window, button);
        return true;
    };
}

}  // namespace

// ================================================================ templates

class DialogTemplate : public ::testing::TestWithParam<const DialogLayout*> {};

TEST_P(DialogTemplate, ResourceHoldsTheLayoutInJapanese)
{
    const DialogLayout& layout = *GetParam();
    EXPECT_EQ(std::vector<WORD>{ JAPANESE }, LanguagesOf(layout.templateId));
    RawDialog raw = ReadRawDialog(layout.templateId);
    ASSERT_FALSE(raw.controls.empty());
    // Exactly these bits: no system menu (no close box), not visible when created.
    EXPECT_EQ(DIALOG_STYLE, raw.style) << std::hex << raw.style;
    EXPECT_EQ(0u, raw.exStyle);
    EXPECT_EQ(layout.width, raw.width);
    EXPECT_EQ(layout.height, raw.height);
    EXPECT_EQ(layout.title, raw.title);
    EXPECT_EQ(DIALOG_FONT_POINTS, raw.points);
    EXPECT_EQ(DIALOG_FONT, raw.font);
    EXPECT_EQ("", raw.menu);
    EXPECT_EQ("", raw.windowClass);
    ASSERT_EQ(layout.controls.size(), raw.controls.size());
    for (size_t i = 0; i < raw.controls.size(); ++i) {
        const ControlRow& row = layout.controls[i];
        const RawControl& control = raw.controls[i];
        KindTraits traits = TraitsOf(row.kind);
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(row.id));
        EXPECT_EQ(row.id, control.id);
        EXPECT_EQ(0, lstrcmpiA(traits.className, control.className.c_str())) << control.className;
        EXPECT_EQ(traits.type, control.style & traits.typeMask) << std::hex << control.style;
        EXPECT_EQ(traits.required, control.style & traits.required) << std::hex << control.style;
        EXPECT_EQ(0u, control.style & traits.forbidden) << std::hex << control.style;
        EXPECT_EQ((DWORD)(WS_CHILD | WS_VISIBLE), control.style & (WS_CHILD | WS_VISIBLE));
        if (row.kind == Kind::NumberEdit)
            EXPECT_TRUE(control.style & WS_BORDER);
        EXPECT_EQ(row.x, control.x);
        EXPECT_EQ(row.y, control.y);
        EXPECT_EQ(row.width, control.width);
        EXPECT_EQ(row.height, control.height);
        if (row.kind == Kind::Icon) {
            EXPECT_EQ(IDI_APP, control.textOrdinal);
        } else if (row.text == ANY_TEXT) {
            EXPECT_FALSE(control.text.empty());
        } else {
            EXPECT_EQ(row.text, control.text);
        }
    }
}

TEST_P(DialogTemplate, OpensFromItsCommandAsLaidOut)
{
    const DialogLayout& layout = *GetParam();
    Session session;
    HWND window = session.Open();
    LiveDialog live;
    ASSERT_TRUE(session.RunCommand(layout.command, ReadAndPress(layout, live, layout.closeButton)));
    EXPECT_FALSE(IsWindow(live.window)) << "closed by its button";
    EXPECT_EQ(window, live.owner);
    EXPECT_EQ(layout.title, live.title);
    EXPECT_TRUE(live.visible);
    EXPECT_EQ(DIALOG_STYLE, live.style & DIALOG_STYLE) << std::hex << live.style;
    EXPECT_EQ(0u, live.style & WS_SYSMENU);
    ASSERT_EQ(layout.controls.size(), live.controls.size());
    HICON appIcon = LoadIconA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_APP));
    for (size_t i = 0; i < live.controls.size(); ++i) {
        const ControlRow& row = layout.controls[i];
        const LiveControl& control = live.controls[i];
        KindTraits traits = TraitsOf(row.kind);
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(row.id));
        EXPECT_EQ(row.id, control.id);
        EXPECT_EQ(0, lstrcmpiA(traits.className, control.className.c_str())) << control.className;
        EXPECT_EQ(traits.type, control.style & traits.typeMask) << std::hex << control.style;
        EXPECT_EQ(traits.required, control.style & traits.required) << std::hex << control.style;
        EXPECT_EQ(0u, control.style & traits.forbidden) << std::hex << control.style;
        // The dialog manager turns an edit's border into a sunken client edge.
        if (row.kind == Kind::NumberEdit)
            EXPECT_TRUE((control.style & WS_BORDER) || (control.exStyle & WS_EX_CLIENTEDGE));
        const RECT& wanted = live.layoutRects[i];
        EXPECT_EQ(wanted.left, control.rect.left);
        EXPECT_EQ(wanted.top, control.rect.top);
        if (row.kind == Kind::Icon) {
            // An icon control takes the size of its icon.
            EXPECT_EQ(appIcon, control.icon);
            continue;
        }
        EXPECT_EQ(wanted.right, control.rect.right - control.rect.left) << "width";
        EXPECT_EQ(wanted.bottom, control.rect.bottom - control.rect.top) << "height";
        if (row.kind == Kind::NumberEdit)
            EXPECT_EQ("5", control.text) << "the current time-out in minutes";
        else if (row.text == ANY_TEXT)
            EXPECT_FALSE(control.text.empty());
        else
            EXPECT_EQ(row.text, control.text);
    }
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogTemplate,
    ::testing::Values(&ABOUT_LAYOUT, &VALUE_LAYOUT, &SETTINGS_LAYOUT),
    [](const ::testing::TestParamInfo<const DialogLayout*>& info) {
        return std::string(info.param->name);
    });

// ================================================================ minutes mode

namespace {

// Feeds the minutes dialog one entry after the other, pressing OK after each;
// every range message is answered and the dialog's state afterwards noted;
// when the entries run out the dialog is left with Cancel.
struct MinutesScript {
    struct Entry {
        std::string text;
        bool paste;
    };
    struct AfterMessage {
        BoxRecord box;
        HICON icon;
        std::string field;
        bool dialogOpen;
        int timeoutMinutes;
    };

    std::vector<Entry> entries;
    HWND dialog = NULL;
    std::string shownFirst;
    std::vector<AfterMessage> messages;
    size_t next = 0;

    bool Handle(const BoxRecord& box)
    {
        if (!dialog) {
            dialog = box.window;
            shownFirst = ControlText(dialog, IDC_VALUE_EDIT);
            EnterNext();
            return true;
        }
        if (box.owner != dialog)
            return false;
        AfterMessage after;
        after.box = box;
        after.icon = IconOfBox(box.window);
        PressButton(box.window, IDOK);
        WaitUntilGone(box.window);
        Settle(dialog);
        after.field = ControlText(dialog, IDC_VALUE_EDIT);
        after.dialogOpen = IsWindow(dialog) && IsWindowVisible(dialog);
        after.timeoutMinutes = appState.timeoutMinutes;
        messages.push_back(after);
        EnterNext();
        return true;
    }

    void EnterNext()
    {
        if (next == entries.size()) {
            PressButton(dialog, IDCANCEL);
            return;
        }
        const Entry& entry = entries[next++];
        if (entry.paste)
            PasteText(dialog, IDC_VALUE_EDIT, entry.text);
        else
            SetControlText(dialog, IDC_VALUE_EDIT, entry.text);
        PressButton(dialog, IDOK);
    }

    BoxResponder::Handler handler()
    {
        return [this](const BoxRecord& box) { return Handle(box); };
    }
};

struct RejectedCase {
    const char* name;
    const char* text;
    bool paste;
    int shownValue;
};
PRINTS_AS_ITS_NAME(RejectedCase)

}  // namespace

class MinutesRejected : public ::testing::TestWithParam<RejectedCase> {};

TEST_P(MinutesRejected, SaysSoEmptiesTheFieldAndStaysOpen)
{
    Session session;
    session.Open();
    MinutesScript script;
    script.entries = { { GetParam().text, GetParam().paste } };
    ASSERT_TRUE(session.RunCommand(IDM_TIMEOUT_CUSTOM, script.handler()));

    ASSERT_EQ(1u, script.messages.size());
    const MinutesScript::AfterMessage& after = script.messages[0];
    EXPECT_EQ(RANGE_CAPTION, after.box.caption);
    EXPECT_EQ(RangeMessage(GetParam().shownValue), after.box.text);
    EXPECT_EQ(script.dialog, after.box.owner);
    EXPECT_EQ(1, after.box.buttons);
    EXPECT_FALSE(after.box.topmost);
    EXPECT_EQ(LoadIconA(NULL, IDI_EXCLAMATION), after.icon);
    EXPECT_EQ("", after.field);
    EXPECT_TRUE(after.dialogOpen);
    EXPECT_EQ(5, after.timeoutMinutes);
    // Then cancelled: five minutes against 300 seconds, nothing to apply.
    EXPECT_EQ(5, appState.timeoutMinutes);
    EXPECT_EQ(FIVE_MINUTES, SpiTimeout());
    EXPECT_EQ(ABSENT, ReadDesktopValue("ScreenSaveTimeOut"));
    EXPECT_EQ((UINT)IDM_TIMEOUT_5, appState.timeoutItem);
}

INSTANTIATE_TEST_SUITE_P(Entries, MinutesRejected, ::testing::Values(
    RejectedCase{ "Zero", "0", false, 0 },
    RejectedCase{ "Empty", "", false, 0 },
    RejectedCase{ "SixtyOne", "61", false, 61 },
    RejectedCase{ "PastedMinusFive", "-5", true, -5 }),
    [](const ::testing::TestParamInfo<RejectedCase>& info) { return std::string(info.param.name); });

TEST(MinutesMode, RepeatsTheMessageUntilAValueFits)
{
    Session session;
    session.Open();
    MinutesScript script;
    script.entries = { { "0", false }, { "61", false }, { "", false }, { "7", false } };
    ASSERT_TRUE(session.RunCommand(IDM_TIMEOUT_CUSTOM, script.handler()));
    ASSERT_EQ(3u, script.messages.size());
    EXPECT_EQ(RangeMessage(0), script.messages[0].box.text);
    EXPECT_EQ(RangeMessage(61), script.messages[1].box.text);
    EXPECT_EQ(RangeMessage(0), script.messages[2].box.text);
    EXPECT_FALSE(IsWindow(script.dialog));
    EXPECT_EQ(7, appState.timeoutMinutes);
    EXPECT_EQ(420u, SpiTimeout());
}

namespace {

struct TimeoutCase {
    const char* name;
    UINT systemSeconds;
    const char* entry;   // nullptr: Cancel
    const char* shown;   // the field when the dialog opens
    int minutes;
    UINT secondsAfter;
    const char* registryAfter;   // ABSENT: nothing written
    UINT checkedAfter;
    UINT checkedAfterPoll;
};
PRINTS_AS_ITS_NAME(TimeoutCase)

}  // namespace

class MinutesApplied : public ::testing::TestWithParam<TimeoutCase> {};

// The time-out is applied only when the minutes differ from the system's
// seconds read before the dialog opened.
TEST_P(MinutesApplied, OnlyWhenTheSecondsDiffer)
{
    const TimeoutCase& c = GetParam();
    Session session;
    SetSpiTimeout(c.systemSeconds);
    session.Open();
    MinutesScript script;
    if (c.entry)
        script.entries = { { c.entry, false } };
    ASSERT_TRUE(session.RunCommand(IDM_TIMEOUT_CUSTOM, script.handler()));
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(c.shown, script.shownFirst);
    EXPECT_FALSE(IsWindow(script.dialog));
    EXPECT_EQ(c.minutes, appState.timeoutMinutes);
    EXPECT_EQ(c.secondsAfter, SpiTimeout());
    EXPECT_EQ(c.registryAfter, ReadDesktopValue("ScreenSaveTimeOut"));
    EXPECT_EQ(c.checkedAfter, appState.timeoutItem);
    EXPECT_TRUE(MenuChecked(c.checkedAfter));
    PumpMessages(2 * POLL_INTERVAL_MS);
    EXPECT_EQ(c.checkedAfterPoll, appState.timeoutItem);
    EXPECT_TRUE(MenuChecked(c.checkedAfterPoll));
}

INSTANTIATE_TEST_SUITE_P(Cases, MinutesApplied, ::testing::Values(
    TimeoutCase{ "SevenAt300", FIVE_MINUTES, "7", "5", 7, 420, "420",
                 IDM_TIMEOUT_CUSTOM, IDM_TIMEOUT_CUSTOM },
    TimeoutCase{ "OneAt300", FIVE_MINUTES, "1", "5", 1, 60, "60",
                 IDM_TIMEOUT_CUSTOM, IDM_TIMEOUT_CUSTOM },
    TimeoutCase{ "SixtyAt300", FIVE_MINUTES, "60", "5", 60, 3600, "3600",
                 IDM_TIMEOUT_CUSTOM, IDM_TIMEOUT_60 },
    TimeoutCase{ "CurrentFiveAt300", FIVE_MINUTES, "5", "5", 5, 300, ABSENT,
                 IDM_TIMEOUT_5, IDM_TIMEOUT_5 },
    TimeoutCase{ "CancelledAt90", NINETY_SECONDS, nullptr, "1", 1, 60, "60",
                 IDM_TIMEOUT_CUSTOM, IDM_TIMEOUT_CUSTOM }),
    [](const ::testing::TestParamInfo<TimeoutCase>& info) { return std::string(info.param.name); });

// ================================================================ wait mode

TEST(WaitDialog, ShowsItsOwnTextsAndTheCurrentWait)
{
    Session session;
    session.Ini("Action", "ScreenSaveCommandWait", "750");
    session.Open();
    LiveDialog live;
    ASSERT_TRUE(session.RunCommand(IDM_WAIT_SETTING, ReadAndPress(VALUE_LAYOUT, live, IDCANCEL)));
    EXPECT_EQ(WAIT_TITLE, live.title);
    ASSERT_EQ(VALUE_LAYOUT.controls.size(), live.controls.size());
    std::vector<std::string> texts;
    for (const LiveControl& control : live.controls)
        texts.push_back(control.text);
    // Template order: OK, Cancel, field, unit, prompt, range.
    EXPECT_EQ((std::vector<std::string>{ OK_TEXT, CANCEL_TEXT, "750", WAIT_UNIT, WAIT_PROMPT,
                                         WAIT_RANGE }),
              texts);
}

namespace {

enum class WaitAction { Cancel, Type, Paste };

struct WaitCase {
    const char* name;
    const char* iniWait;   // nullptr: key absent
    WaitAction action;
    const char* entry;
    int stored;
    const char* written;
};
PRINTS_AS_ITS_NAME(WaitCase)

}  // namespace

class WaitMode : public ::testing::TestWithParam<WaitCase> {};

// Whatever happens in the dialog, the wait is written afterwards.
TEST_P(WaitMode, StoresAndWritesTheWait)
{
    const WaitCase& c = GetParam();
    Session session;
    if (c.iniWait)
        session.Ini("Action", "ScreenSaveCommandWait", c.iniWait);
    session.Open();
    HWND dialog = NULL;
    ASSERT_TRUE(session.RunCommand(IDM_WAIT_SETTING, [&](const BoxRecord& box) {
        dialog = box.window;
        if (c.action == WaitAction::Type)
            SetControlText(dialog, IDC_VALUE_EDIT, c.entry);
        else if (c.action == WaitAction::Paste)
            PasteText(dialog, IDC_VALUE_EDIT, c.entry);
        PressButton(dialog, c.action == WaitAction::Cancel ? IDCANCEL : IDOK);
        return true;
    }));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(1u, session.boxes.Count()) << "no message in wait mode";
    EXPECT_EQ(c.stored, appState.commandWaitMs);
    EXPECT_EQ(c.written, session.IniValue("Action", "ScreenSaveCommandWait"));
}

INSTANTIATE_TEST_SUITE_P(Cases, WaitMode, ::testing::Values(
    WaitCase{ "CancelWritesTheDefault", nullptr, WaitAction::Cancel, "", 500, "500" },
    WaitCase{ "EmptyFieldStoresZero", "750", WaitAction::Type, "", 0, "0" },
    WaitCase{ "NewValue", "750", WaitAction::Type, "2500", 2500, "2500" },
    WaitCase{ "PastedNegativeBecomesZero", "750", WaitAction::Paste, "-40", 0, "0" }),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });

// ================================================================ settings

namespace {

constexpr int SETTINGS_CHECKS[] = {
    IDC_MSG_ON_STATE, IDC_MSG_ON_CHANGE, IDC_RANDOM_AT_START, IDC_USE_SAVER_NAME,
};

struct CheckStates {
    bool onState, onChange, random, useName;
    bool operator==(const CheckStates& o) const
    {
        return onState == o.onState && onChange == o.onChange && random == o.random
               && useName == o.useName;
    }
};

void PrintTo(const CheckStates& s, std::ostream* os)
{
    *os << "{state " << s.onState << ", change " << s.onChange << ", random " << s.random
        << ", name " << s.useName << "}";
}

CheckStates ReadChecks(HWND dialog)
{
    return { IsChecked(dialog, IDC_MSG_ON_STATE), IsChecked(dialog, IDC_MSG_ON_CHANGE),
             IsChecked(dialog, IDC_RANDOM_AT_START), IsChecked(dialog, IDC_USE_SAVER_NAME) };
}

void SetChecks(HWND dialog, const CheckStates& states)
{
    SetCheckBox(dialog, IDC_MSG_ON_STATE, states.onState);
    SetCheckBox(dialog, IDC_MSG_ON_CHANGE, states.onChange);
    SetCheckBox(dialog, IDC_RANDOM_AT_START, states.random);
    SetCheckBox(dialog, IDC_USE_SAVER_NAME, states.useName);
}

// Opens the settings dialog, notes its check boxes, sets them to wanted (if
// given) and leaves with OK or Cancel.
struct SettingsRun {
    CheckStates shown = {};
    HWND dialog = NULL;
};

SettingsRun RunSettings(Session& session, const CheckStates* wanted, bool confirm)
{
    SettingsRun run;
    EXPECT_TRUE(session.RunCommand(IDM_SETTINGS, [&](const BoxRecord& box) {
        run.dialog = box.window;
        run.shown = ReadChecks(box.window);
        if (wanted)
            SetChecks(box.window, *wanted);
        PressButton(box.window, confirm ? IDC_SETTINGS_OK : IDC_SETTINGS_CANCEL);
        return true;
    }));
    return run;
}

struct SettingsKeys {
    const char* openMessageBox;   // nullptr: absent
    const char* randomSet;
    const char* useSaverName;
};

void WriteKeys(Session& session, const SettingsKeys& keys)
{
    if (keys.openMessageBox)
        session.Ini("Message", "OpenMessageBox", keys.openMessageBox);
    if (keys.randomSet)
        session.Ini("Action", "ScreenSaver_RandomSet", keys.randomSet);
    if (keys.useSaverName)
        session.Ini("Action", "UseSaverName", keys.useSaverName);
}

struct InitCase {
    const char* name;
    SettingsKeys keys;
    CheckStates shown;
};
PRINTS_AS_ITS_NAME(InitCase)

}  // namespace

class SettingsShown : public ::testing::TestWithParam<InitCase> {};

TEST_P(SettingsShown, ChecksFollowTheSettings)
{
    Session session;
    WriteKeys(session, GetParam().keys);
    session.Open();
    SettingsRun run = RunSettings(session, nullptr, false);
    EXPECT_FALSE(IsWindow(run.dialog));
    EXPECT_EQ(GetParam().shown, run.shown);
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsShown, ::testing::Values(
    InitCase{ "Defaults", { nullptr, nullptr, nullptr }, { true, true, false, true } },
    InitCase{ "AllOff", { "0", "0", "0" }, { false, false, false, false } },
    InitCase{ "StateOnlyRandomOn", { "1", "1", "0" }, { true, false, true, false } },
    InitCase{ "ChangeOnlyHighBitsIgnored", { "6", "0", "1" }, { false, true, false, true } }),
    [](const ::testing::TestParamInfo<InitCase>& info) { return std::string(info.param.name); });

TEST(SettingsDialog, ConfirmedUnchangedWritesAllThreeKeysInOrder)
{
    Session session;
    session.Ini("Message", "OpenMessageBox", "7");
    session.Open();
    ASSERT_EQ(7u, appState.messageFlags);
    ProfileWriteLog log;
    SettingsRun run = RunSettings(session, nullptr, true);
    EXPECT_EQ((CheckStates{ true, true, false, true }), run.shown);
    EXPECT_EQ(3u, appState.messageFlags) << "bits above bit 1 are dropped";
    ASSERT_EQ(3u, log.writes.size());
    EXPECT_EQ("Action", log.writes[0].section);
    EXPECT_EQ("ScreenSaver_RandomSet", log.writes[0].key);
    EXPECT_EQ("0", log.writes[0].value);
    EXPECT_EQ("Message", log.writes[1].section);
    EXPECT_EQ("OpenMessageBox", log.writes[1].key);
    EXPECT_EQ("3", log.writes[1].value);
    EXPECT_EQ("Action", log.writes[2].section);
    EXPECT_EQ("UseSaverName", log.writes[2].key);
    EXPECT_EQ("1", log.writes[2].value);
    EXPECT_EQ("3", session.IniValue("Message", "OpenMessageBox"));
    EXPECT_EQ("0", session.IniValue("Action", "ScreenSaver_RandomSet"));
    EXPECT_EQ("1", session.IniValue("Action", "UseSaverName"));
}

namespace {

struct ChangeCase {
    const char* name;
    SettingsKeys before;
    CheckStates ticked;
    UINT messageFlags;
    int randomAtStart;
    int useSaverName;
};
PRINTS_AS_ITS_NAME(ChangeCase)

}  // namespace

class SettingsChanged : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(SettingsChanged, AppliesAndWritesTheTickedBoxes)
{
    const ChangeCase& c = GetParam();
    Session session;
    WriteKeys(session, c.before);
    session.Open();
    RunSettings(session, &c.ticked, true);
    EXPECT_EQ(c.messageFlags, appState.messageFlags);
    EXPECT_EQ(c.randomAtStart, appState.randomAtStart);
    EXPECT_EQ(c.useSaverName, appState.useSaverName);
    EXPECT_EQ(std::to_string(c.messageFlags), session.IniValue("Message", "OpenMessageBox"));
    EXPECT_EQ(std::to_string(c.randomAtStart), session.IniValue("Action", "ScreenSaver_RandomSet"));
    EXPECT_EQ(std::to_string(c.useSaverName), session.IniValue("Action", "UseSaverName"));
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsChanged, ::testing::Values(
    ChangeCase{ "FromDefaults", { nullptr, nullptr, nullptr }, { false, true, true, false },
                2, 1, 0 },
    ChangeCase{ "FromAllOff", { "0", "1", "0" }, { true, true, false, true }, 3, 0, 1 }),
    [](const ::testing::TestParamInfo<ChangeCase>& info) { return std::string(info.param.name); });

TEST(SettingsDialog, CancelledChangesAndWritesNothing)
{
    Session session;
    session.Ini("Message", "OpenMessageBox", "7");
    session.Open();
    ProfileWriteLog log;
    CheckStates flipped = { false, false, true, false };
    RunSettings(session, &flipped, false);
    EXPECT_TRUE(log.writes.empty());
    EXPECT_EQ(7u, appState.messageFlags);
    EXPECT_EQ(0, appState.randomAtStart);
    EXPECT_EQ(1, appState.useSaverName);
    EXPECT_EQ(0, appState.dlgAccepted);
    EXPECT_EQ("7", session.IniValue("Message", "OpenMessageBox"));
    EXPECT_EQ(ABSENT, session.IniValue("Action", "ScreenSaver_RandomSet"));
    EXPECT_EQ(ABSENT, session.IniValue("Action", "UseSaverName"));
}

// ================================================================ About

TEST(AboutBox, IgnoresOtherCommandsAndClosesOnOk)
{
    Session session;
    session.Open();
    HWND dialog = NULL;
    bool openAfterOthers = false;
    ASSERT_TRUE(session.RunCommand(IDM_ABOUT, [&](const BoxRecord& box) {
        dialog = box.window;
        for (WPARAM other : { (WPARAM)IDCANCEL, (WPARAM)1234, (WPARAM)IDC_SETTINGS_OK })
            PostMessageA(dialog, WM_COMMAND, other, 0);
        Settle(dialog);
        Sleep(200);
        Settle(dialog);
        openAfterOthers = IsWindow(dialog) && IsWindowVisible(dialog);
        PressButton(dialog, IDOK);
        return true;
    }));
    EXPECT_TRUE(openAfterOthers);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(1u, session.boxes.Count());
}

// ================================================================ creation failure

namespace {

struct FailureCase {
    const char* name;
    UINT command;
    UINT systemSeconds;
    const char* waitWritten;   // ABSENT: not written
    UINT secondsAfter;
};
PRINTS_AS_ITS_NAME(FailureCase)

}  // namespace

class DialogCreationFails : public ::testing::TestWithParam<FailureCase> {};

// A module without the templates: the message, then the command goes on as
// after Cancel.
TEST_P(DialogCreationFails, SaysSoAndGoesOnAsIfCancelled)
{
    const FailureCase& c = GetParam();
    HINSTANCE noTemplates = GetModuleHandleA("kernel32.dll");
    for (UINT id : { IDD_ABOUT, IDD_VALUE, IDD_SETTINGS })
        ASSERT_EQ(NULL, FindResourceA(noTemplates, MAKEINTRESOURCEA(id), RT_DIALOG));
    Session session;
    SetSpiTimeout(c.systemSeconds);
    session.Open();
    HINSTANCE own = appState.instance;
    appState.instance = noTemplates;
    ProfileWriteLog log;
    ASSERT_TRUE(session.RunCommand(c.command, nullptr));
    appState.instance = own;

    ASSERT_EQ(1u, session.boxes.Count());
    BoxRecord box = session.boxes.Boxes()[0];
    EXPECT_EQ("NAPKIT", box.caption);
    EXPECT_EQ(CREATE_FAILED, box.text);
    EXPECT_EQ(NULL, box.owner);
    EXPECT_FALSE(box.hasIcon);
    EXPECT_FALSE(box.topmost);
    EXPECT_EQ(1, box.buttons);
    EXPECT_EQ(0, appState.dlgAccepted);
    EXPECT_EQ(c.waitWritten, session.IniValue("Action", "ScreenSaveCommandWait"));
    EXPECT_EQ(std::string(c.waitWritten) == ABSENT ? 0u : 1u, log.writes.size());
    EXPECT_EQ(c.secondsAfter, SpiTimeout());
}

INSTANTIATE_TEST_SUITE_P(Commands, DialogCreationFails, ::testing::Values(
    FailureCase{ "About", IDM_ABOUT, FIVE_MINUTES, ABSENT, FIVE_MINUTES },
    FailureCase{ "MinutesAt90", IDM_TIMEOUT_CUSTOM, NINETY_SECONDS, ABSENT, 60 },
    FailureCase{ "Wait", IDM_WAIT_SETTING, FIVE_MINUTES, "500", FIVE_MINUTES },
    FailureCase{ "Settings", IDM_SETTINGS, FIVE_MINUTES, ABSENT, FIVE_MINUTES }),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// ================================================================ the dialog's loop

// The dialog's loop fetches only the dialog's messages: a command posted to
// the main window and the poll wait until it has closed.
TEST(DialogLoop, PostedMessagesOfTheMainWindowWaitUntilItCloses)
{
    Session session;
    HWND window = session.Open();
    ASSERT_EQ((UINT)IDM_DBLCLICK_TOGGLE, appState.dblClickItem);
    std::string doubleClickWhileOpen;
    int minutesWhileOpen = 0;
    ASSERT_TRUE(session.RunCommand(IDM_ABOUT, [&](const BoxRecord& box) {
        PostMessageA(window, WM_COMMAND, IDM_DBLCLICK_START, 0);
        SetSpiTimeout(600);   // the next poll would read 10 minutes
        Sleep(3 * POLL_INTERVAL_MS);
        Settle(box.window);
        doubleClickWhileOpen = session.IniValue("Action", "IconDubbleClick");
        minutesWhileOpen = appState.timeoutMinutes;
        PressButton(box.window, IDOK);
        return true;
    }));
    EXPECT_EQ(ABSENT, doubleClickWhileOpen);
    EXPECT_EQ(5, minutesWhileOpen);
    EXPECT_TRUE(PumpUntil([&] {
        return session.IniValue("Action", "IconDubbleClick") == "0" && appState.timeoutMinutes == 10;
    }, 6 * POLL_INTERVAL_MS));
    EXPECT_EQ((UINT)IDM_DBLCLICK_START, appState.dblClickItem);
}

// Sent messages still reach the main window; the end of the session takes
// the dialog with it and the wait command finishes as after Cancel.
TEST(DialogLoop, EndOfSessionClosesTheDialogWithTheWindow)
{
    Session session;
    HWND window = session.Open();
    HWND dialog = NULL;
    ASSERT_TRUE(session.RunCommand(IDM_WAIT_SETTING, [&](const BoxRecord& box) {
        dialog = box.window;
        SetControlText(dialog, IDC_VALUE_EDIT, "1234");   // typed, never confirmed
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &result);
        return true;
    }));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(500, appState.commandWaitMs);
    EXPECT_EQ("500", session.IniValue("Action", "ScreenSaveCommandWait"));
}
