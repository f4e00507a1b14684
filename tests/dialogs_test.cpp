// The dialogs as the user fills them in: the custom time-out, the start wait, the settings and About; one
// dialog at a time.
#include "harness.h"
#include "res/resource.h"

namespace {

constexpr char MINUTES_DIALOG[] = "dialog 待ち時間設定";
constexpr char WAIT_DIALOG[] = "dialog ウエイト設定";
constexpr char SETTINGS_DIALOG[] = "dialog 基本動作設定 - NAPKIT";

using Dialogs = Napkit;

std::string Range(const char* value)
{
    return std::string("box dialog 0x30 時間指定|入力範囲を超えています。(") + value + ")";
}

bool Fits(HWND control)   // a static's whole text fits its width; a missing static's does not
{
    if (!control)
        return false;
    char text[64] = "";
    RECT client = {};
    GetWindowTextA(control, text, sizeof text);
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    SelectObject(dc, (HFONT)SendMessageA(control, WM_GETFONT, 0, 0));
    int width = LOWORD(GetTabbedTextExtentA(dc, text, lstrlenA(text), 0, NULL));
    ReleaseDC(control, dc);
    return width <= client.right;
}

// The texts a value dialog shows: title, prompt, field, unit and range, and whether the range fits its place.
Text DialogTexts(HWND dialog)
{
    char title[64] = "";
    GetWindowTextA(dialog, title, sizeof title);
    Text shown = title;
    for (int id : { IDC_VALUE_PROMPT, IDC_VALUE_EDIT, IDC_VALUE_UNIT, IDC_VALUE_RANGE })
        shown += "|" + ControlText(dialog, id);
    return Fits(GetDlgItem(dialog, IDC_VALUE_RANGE)) ? shown : shown + ", range cut";
}

TEST_F(Dialogs, ValuesAreTakenOnlyWhenConfirmedAndInRange)
{
    const Text MINUTES = "待ち時間設定|スクリーンセーバーが起動するまでの時間を"
                         "「分単位」で入力してください。|5|分|（ １～６０ ）";
    const std::string WAIT_HEAD = "ウエイト設定|スクリーンセーバー直接起動時の"
                                  "ウエイトを入力してください。|";
    const Text WAIT = WAIT_HEAD + "450|ミリ秒|Default : 500";
    struct Step { const char* typed; int button; };
    struct Row {
        const char* name;
        UINT command;
        std::vector<Step> steps;
        Text shown;   // the texts at opening, then after each refusal "|" and the field as it is left
        Lines calls;
        const char* checks = "40101 40205 40301 41001";
        const char* stored = "450";   // [Action] ScreenSaveCommandWait before
    };
    const Row rows[] = {
        { .name = "61, then 60", .command = 40200, .steps = { { "61", IDOK }, { "60", IDOK } }, .shown = MINUTES + "|",
          .calls = { MINUTES_DIALOG, Range("61"), "spi 15 3600 2", "reg ScreenSaveTimeOut REG_SZ 5 3600" },
          .checks = "40101 40200 40301 41001" },
        { .name = "-5, then Cancel", .command = 40200, .steps = { { "-5", IDOK }, { "7", IDCANCEL } },
          .shown = MINUTES + "|", .calls = { MINUTES_DIALOG, Range("-5") } },
        { .name = "wait -5", .command = 42020, .steps = { { "-5", IDOK } }, .shown = WAIT,
          .calls = { WAIT_DIALOG, "ini NAPKIT.INI Action ScreenSaveCommandWait 0" } },
        { .name = "wait cancelled", .command = 42020, .steps = { { "800", IDCANCEL } }, .shown = WAIT,
          .calls = { WAIT_DIALOG, "ini NAPKIT.INI Action ScreenSaveCommandWait 450" } },
        { .name = "wait -5 in the file", .command = 42020, .steps = { { nullptr, IDCANCEL } },
          .shown = WAIT_HEAD + "0|ミリ秒|Default : 500",
          .calls = { WAIT_DIALOG, "ini NAPKIT.INI Action ScreenSaveCommandWait 0" }, .stored = "-5" },
        { .name = "wait 120000 in the file", .command = 42020, .steps = { { nullptr, IDCANCEL } },
          .shown = WAIT_HEAD + "120000|ミリ秒|Default : 500",
          .calls = { WAIT_DIALOG, "ini NAPKIT.INI Action ScreenSaveCommandWait 120000" }, .stored = "120000" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Text shown;
        SetIni("Action", "ScreenSaveCommandWait", row.stored);
        Start();
        AnswerDialogs({ [&](HWND dialog) {
            SendMessageA(GetDlgItem(dialog, IDC_VALUE_EDIT), WM_CHAR, 'x', 0);   // a letter typed: refused
            shown = DialogTexts(dialog);
            for (const Step& step : row.steps) {
                if (step.typed)
                    TypeText(dialog, IDC_VALUE_EDIT, step.typed);
                Press(dialog, step.button);
                if (IsWindow(dialog))
                    shown += "|" + ControlText(dialog, IDC_VALUE_EDIT);
            }
        } });
        Command(row.command);
        EXPECT_EQ(shown, row.shown);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Checks(), row.checks);
        Close();
        SetSystemTimeout(300);
    }
}

TEST_F(Dialogs, SettingsShowTheFourChoicesAndOkTakesThemAtOnce)
{
    const int boxes[] = { IDC_MSG_ON_STATE, IDC_MSG_ON_CHANGE, IDC_RANDOM_AT_START, IDC_USE_SAVER_NAME };
    // flags: [Message] OpenMessageBox; randomSet: [Action] ScreenSaver_RandomSet; shown: the four boxes, 1 checked,
    // in the order above; flip: each box changed; offBox: whether switching off then shows its box
    struct Row { const char* name; const char* flags; const char* randomSet; const char* shown; bool flip; int button;
                 Lines calls; bool offBox; };
    const Row rows[] = {
        { .name = "all flipped", .flags = "2", .randomSet = "1", .shown = "0111", .flip = true,
          .button = IDC_SETTINGS_OK, .calls = { Wrote(saver), SETTINGS_DIALOG,
          "ini NAPKIT.INI Action ScreenSaver_RandomSet 0", "ini NAPKIT.INI Message OpenMessageBox 1",
          "ini NAPKIT.INI Action UseSaverName 0" }, .offBox = true },
        { .name = "random set 2 acts as 0", .flags = "3", .randomSet = "2", .shown = "1101", .flip = false,
          .button = IDC_SETTINGS_OK, .calls = { SETTINGS_DIALOG, "ini NAPKIT.INI Action ScreenSaver_RandomSet 0",
          "ini NAPKIT.INI Message OpenMessageBox 3", "ini NAPKIT.INI Action UseSaverName 1" }, .offBox = true },
        { .name = "cancelled", .flags = "2", .randomSet = "0", .shown = "0101", .flip = true,
          .button = IDC_SETTINGS_CANCEL, .calls = { SETTINGS_DIALOG }, .offBox = false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Message", "OpenMessageBox", row.flags);
        SetIni("Action", "ScreenSaver_RandomSet", row.randomSet);
        SetIni("Action", "UseSaverName", nullptr);
        Start();
        std::string shown;
        AnswerDialogs({ [&](HWND dialog) {
            for (int box : boxes) {
                shown += IsChecked(dialog, box) ? "1" : "0";
                SetChecked(dialog, box, IsChecked(dialog, box) != row.flip);
            }
            Press(dialog, row.button);
        } });
        Command(42040);
        EXPECT_EQ(shown, row.shown);
        EXPECT_EQ(TakeCalls(), row.calls);
        Command(40302);
        EXPECT_EQ(TakeCalls(), row.offBox ? TURNED_OFF + Lines{ BOX_OFF } : TURNED_OFF)
            << "expected the confirmations as the dialog left them";
        Close();
        SetSystemActive(1);
    }
}

TEST_F(Dialogs, AboutShowsItsWholePlatformsLineCentred)
{
    Start();
    bool fits = false;
    RECT box = {};
    AnswerDialogs({ [&](HWND dialog) {
        fits = Fits(FindWindowExA(dialog, NULL, "Static", "Windows9x/Me/NT4.0/2000"));
        GetWindowRect(dialog, &box);
        Press(dialog, IDOK);
    } });
    Command(42050);
    EXPECT_TRUE(fits) << "expected the platforms line whole";
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(abs((box.left - work.left) - (work.right - box.right)), 1) << "expected the dialog centred across";
    EXPECT_LE(abs((box.top - work.top) - (work.bottom - box.bottom)), 1) << "expected the dialog centred down";
    EXPECT_EQ(TakeCalls(), Lines{ "dialog バージョン情報" });
    Close();
}

TEST_F(Dialogs, SecondDialogIsNotOpenedWhileOneIs)
{
    SetSystemTimeout(90);   // shown as 1 minute: the 1 typed still sets 60 s
    Start();
    AnswerDialogs({ [&](HWND d) {
        TypeText(d, IDC_VALUE_EDIT, "0");
        Press(d, IDOK);   // the range box opens, and in its loop the user chooses the wait
        TypeText(d, IDC_VALUE_EDIT, "1");
        Press(d, IDOK);
    } });
    onBox = [&](const std::string&) {
        Command(IDM_WAIT_SETTING);
        return IDOK;
    };
    Command(IDM_TIMEOUT_CUSTOM);
    Lines calls = { MINUTES_DIALOG, Range("0"), "spi 15 60 2", "reg ScreenSaveTimeOut REG_SZ 3 60" };
    EXPECT_EQ(TakeCalls(), calls) << "expected the wait dialog refused while the time-out dialog is open";
    onBox = nullptr;
    AnswerDialogs({ [](HWND d) { Press(d, IDCANCEL); } });
    Command(IDM_WAIT_SETTING);
    EXPECT_EQ(TakeCalls(), (Lines{ WAIT_DIALOG, "ini NAPKIT.INI Action ScreenSaveCommandWait 500" }))
        << "expected the wait cancelled after an OK of another dialog: the default written back";
    Close();
}

}  // namespace
