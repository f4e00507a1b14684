// The dialogs as the user fills them in (minutes, wait, settings) and the
// global hot keys as other programs find them taken.
#include "harness.h"
#include "res/resource.h"

namespace {

struct Step {
    const char* typed;   // nullptr: the field as it is
    int button;
};

struct Dialogs : Napkit {
    void SetUp() override
    {
        Napkit::SetUp();
        SetScrnsave(Install("logsaver.scr", "ONE.SCR"));
    }
};

std::string Range(const char* value)
{
    return std::string("box dialog 0x30 時間指定|入力範囲を超えています。(") + value + ")";
}

// The texts a value dialog shows: title, prompt, field, unit and range.
Text DialogTexts(HWND dialog)
{
    char title[64] = "";
    GetWindowTextA(dialog, title, sizeof title);
    Text shown = title;
    for (int id : { IDC_VALUE_PROMPT, IDC_VALUE_EDIT, IDC_VALUE_UNIT, IDC_VALUE_RANGE })
        shown += "|" + ControlText(dialog, id);
    return shown;
}

TEST_F(Dialogs, ValuesAreTakenOnlyWhenConfirmedAndInRange)
{
    const Text MINUTES = "待ち時間設定"
                         "|スクリーンセーバーが起動するまでの時間を"
                         "「分単位」で入力してください。"
                         "|5|分|（ １～６０ ）";
    const Text WAIT = "ウエイト設定"
                      "|スクリーンセーバー直接起動時のウエイトを入力してください。"
                      "|450|ミリ秒|Default : 500";
    struct Row {
        const char* name;
        UINT command;
        std::vector<Step> steps;   // each until taken: the field emptied by a refusal, or the dialog gone
        Text shown;
        Lines calls;
        UINT seconds;
        const char* checks;
        const char* wait;   // [Action] ScreenSaveCommandWait afterwards
    };
    const Row rows[] = {
        { .name = "7", .command = 40200, .steps = { { "7", IDOK } }, .shown = MINUTES,
          .calls = { "spi 15 420 2", "reg ScreenSaveTimeOut 4 420" }, .seconds = 420,
          .checks = "40101 40200 40301 41001", .wait = "450" },
        { .name = "61, then 60", .command = 40200, .steps = { { "61", IDOK }, { "60", IDOK } }, .shown = MINUTES,
          .calls = { Range("61"), "spi 15 3600 2", "reg ScreenSaveTimeOut 5 3600" }, .seconds = 3600,
          .checks = "40101 40200 40301 41001", .wait = "450" },
        { .name = "0, then 1", .command = 40200, .steps = { { "0", IDOK }, { "1", IDOK } }, .shown = MINUTES,
          .calls = { Range("0"), "spi 15 60 2", "reg ScreenSaveTimeOut 3 60" }, .seconds = 60,
          .checks = "40101 40200 40301 41001", .wait = "450" },
        { .name = "wait 800", .command = 42020, .steps = { { "800", IDOK } }, .shown = WAIT, .calls = {},
          .seconds = 300, .checks = "40101 40205 40301 41001", .wait = "800" },
        { .name = "wait empty", .command = 42020, .steps = { { "", IDOK } }, .shown = WAIT, .calls = {},
          .seconds = 300, .checks = "40101 40205 40301 41001", .wait = "0" },
        { .name = "wait cancelled", .command = 42020, .steps = { { "800", IDCANCEL } }, .shown = WAIT, .calls = {},
          .seconds = 300, .checks = "40101 40205 40301 41001", .wait = "450" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Text shown;
        SetIni("Action", "ScreenSaveCommandWait", "450");
        Start();
        AnswerDialogs({ [&](HWND dialog) {
            shown = DialogTexts(dialog);
            for (const Step& step : row.steps) {
                if (step.typed)
                    TypeText(dialog, IDC_VALUE_EDIT, step.typed);
                Press(dialog, step.button);
                for (int i = 0; i < 100 && IsWindow(dialog) && ControlText(dialog, IDC_VALUE_EDIT) != ""; ++i)
                    Sleep(20);
            }
        } });
        Command(row.command);
        EXPECT_EQ(shown, row.shown);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(SystemTimeout(), row.seconds);
        EXPECT_EQ(Checks(), row.checks);
        EXPECT_EQ(ReadIni(Ini(), "Action", "ScreenSaveCommandWait"), row.wait);
        Close();
        SetSystemTimeout(300);
    }
}

TEST_F(Dialogs, SettingsShowAndWriteTheFourChoices)
{
    const int boxes[] = { IDC_MSG_ON_STATE, IDC_MSG_ON_CHANGE, IDC_RANDOM_AT_START, IDC_USE_SAVER_NAME };
    struct Row {
        const char* name;
        const char* flags;       // [Message] OpenMessageBox
        const char* randomSet;   // [Action] ScreenSaver_RandomSet
        const char* shown;       // the four boxes, 1 checked, in the order above
        bool flip;               // each box changed
        int button;
        std::string written;     // ScreenSaver_RandomSet/OpenMessageBox/UseSaverName
    };
    const Row rows[] = {
        { .name = "unchanged", .flags = "1", .randomSet = "0", .shown = "1001", .flip = false,
          .button = IDC_SETTINGS_OK, .written = "0/1/1" },
        { .name = "all flipped", .flags = "2", .randomSet = "1", .shown = "0111", .flip = true,
          .button = IDC_SETTINGS_OK, .written = "0/1/0" },
        { .name = "cancelled", .flags = "1", .randomSet = "0", .shown = "1001", .flip = true,
          .button = IDC_SETTINGS_CANCEL, .written = std::string("0/1/") + ABSENT },
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
        std::string written = ReadIni(Ini(), "Action", "ScreenSaver_RandomSet");
        written += "/" + ReadIni(Ini(), "Message", "OpenMessageBox");
        written += "/" + ReadIni(Ini(), "Action", "UseSaverName");
        EXPECT_EQ(written, row.written);
        EXPECT_EQ(TakeCalls(), Lines{});
        Close();
    }
}

TEST_F(Dialogs, HotKeysAreTakenWhileRunningWhenEnabled)
{
    struct Row {
        const char* name;
        const char* enable;      // [HotKeys] EnableHotKeys
        const char* modifiers;   // [HotKeys] CombinationKeys
        const char* keys[4];     // Key_Start, Key_Switch, Key_RndRun, Key_RndCH
        const char* taken;       // modifiers and key other programs cannot have ("3Z": Ctrl+Alt+Z)
    };
    const Row rows[] = {
        { .name = "defaults", .enable = "1", .modifiers = nullptr, .keys = {}, .taken = "3Z 3X 3A 3S 3F " },
        { .name = "shift, keys of one's own", .enable = "1", .modifiers = "4", .keys = { "q", "W", "e", "r" },
          .taken = "3F 4Q 4W 4E 4R " },
        { .name = "a digit, the word for none in any case, a word", .enable = "1", .modifiers = nullptr,
          .keys = { "7", "nothing!", "NoThInG!", "Zebra" }, .taken = "3Z 3X 3A 3F 37 " },
        { .name = "disabled", .enable = "0", .modifiers = nullptr, .keys = {}, .taken = "" },
        { .name = "absent", .enable = nullptr, .modifiers = nullptr, .keys = {}, .taken = "" },
    };
    const char* keyNames[] = { "Key_Start", "Key_Switch", "Key_RndRun", "Key_RndCH" };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("HotKeys", "EnableHotKeys", row.enable);
        SetIni("HotKeys", "CombinationKeys", row.modifiers);
        for (int i = 0; i < 4; ++i)
            SetIni("HotKeys", keyNames[i], row.keys[i]);
        Start();
        std::string taken;
        for (UINT modifiers : { MOD_CONTROL | MOD_ALT, MOD_SHIFT }) {
            for (char key : std::string("ZXASFQWER7")) {
                if (!RegisterHotKey(NULL, 1, modifiers, key))
                    taken += std::to_string(modifiers) + key + " ";
                UnregisterHotKey(NULL, 1);
            }
        }
        EXPECT_EQ(taken, row.taken);
        Close();
    }
}

}  // namespace
