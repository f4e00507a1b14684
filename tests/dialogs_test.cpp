// The dialogs as the user fills them in (minutes, wait, settings, About) and
// the global hot keys as other programs find them taken.
#include "harness.h"
#include "res/resource.h"

namespace {

struct Step { const char* typed; int button; };

struct Dialogs : Napkit {
    void SetUp() override { Napkit::SetUp(), SetScrnsave(Install("logsaver.scr", "ONE.SCR")); }
};

std::string Range(const char* value) { return std::string("box dialog 0x30 時間指定|入力範囲を超えています。(") + value + ")"; }

TEST_F(Dialogs, ValuesAreTakenOnlyWhenConfirmedAndInRange)
{
    const char* MINUTES = "待ち時間設定|5", *WAIT = "ウエイト設定|450";
    const struct { const char* name; UINT command; std::vector<Step> steps; const char* seen; Lines calls; UINT seconds; const char* checks, *wait; } rows[] = {
        { "7", 40200, { { "7", IDOK } }, MINUTES, { "spi 15 420 2", "reg ScreenSaveTimeOut 4 420" }, 420, "40101 40200 40301 41001", "450" },
        { "61, then 60", 40200, { { "61", IDOK }, { "60", IDOK } }, MINUTES, { Range("61"), "spi 15 3600 2", "reg ScreenSaveTimeOut 5 3600" }, 3600, "40101 40200 40301 41001", "450" },
        { "0, then 1", 40200, { { "0", IDOK }, { "1", IDOK } }, MINUTES, { Range("0"), "spi 15 60 2", "reg ScreenSaveTimeOut 3 60" }, 60, "40101 40200 40301 41001", "450" },
        { "-5, then cancel", 40200, { { "-5", IDOK }, { nullptr, IDCANCEL } }, MINUTES, { Range("-5") }, 300, "40101 40205 40301 41001", "450" },
        { "5 as before", 40200, { { "5", IDOK } }, MINUTES, {}, 300, "40101 40205 40301 41001", "450" },
        { "wait 800", 42020, { { "800", IDOK } }, WAIT, {}, 300, "40101 40205 40301 41001", "800" },
        { "wait empty", 42020, { { "", IDOK } }, WAIT, {}, 300, "40101 40205 40301 41001", "0" },
        { "wait cancelled", 42020, { { "800", IDCANCEL } }, WAIT, {}, 300, "40101 40205 40301 41001", "450" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string seen;
        SetIni("Action", "ScreenSaveCommandWait", "450"), Start(), TakeCalls();
        AnswerDialogs({ [&](HWND dialog) {   // each step until taken: the field emptied by a refusal, or the dialog gone
            char title[64] = "";
            seen = std::string(title, GetWindowTextA(dialog, title, sizeof title)) + "|" + ControlText(dialog, IDC_VALUE_EDIT);
            for (const Step& step : row.steps) {
                step.typed ? TypeText(dialog, IDC_VALUE_EDIT, step.typed) : (void)0;
                Press(dialog, step.button);
                for (int i = 0; i < 100 && IsWindow(dialog) && ControlText(dialog, IDC_VALUE_EDIT) != ""; ++i)
                    Sleep(20);
            }
        } }), Command(row.command);
        EXPECT_EQ(seen, row.seen);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(SystemTimeout(), row.seconds);
        EXPECT_EQ(Checks(), row.checks);
        EXPECT_EQ(ReadIni(Ini(), "Action", "ScreenSaveCommandWait"), row.wait);
        Close(), SetSystemTimeout(300);
    }
}

TEST_F(Dialogs, SettingsShowAndWriteTheFourChoices)
{
    const int boxes[] = { IDC_MSG_ON_STATE, IDC_MSG_ON_CHANGE, IDC_RANDOM_AT_START, IDC_USE_SAVER_NAME };
    // written: ScreenSaver_RandomSet/OpenMessageBox/UseSaverName
    const struct { const char* name, *flags, *randomSet, *shown; bool flip; int button; std::string written; } rows[] = {
        { "unchanged", "1", "0", "1001", false, IDC_SETTINGS_OK, "0/1/1" },
        { "all flipped", "2", "1", "0111", true, IDC_SETTINGS_OK, "0/1/0" },
        { "7 unchanged", "7", "1", "1111", false, IDC_SETTINGS_OK, "1/3/1" },
        { "cancelled", "1", "0", "1001", true, IDC_SETTINGS_CANCEL, std::string("0/1/") + ABSENT },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Message", "OpenMessageBox", row.flags), SetIni("Action", "ScreenSaver_RandomSet", row.randomSet);
        SetIni("Action", "UseSaverName", nullptr), Start();
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
        EXPECT_EQ(ReadIni(Ini(), "Action", "ScreenSaver_RandomSet") + "/" + ReadIni(Ini(), "Message", "OpenMessageBox")
                  + "/" + ReadIni(Ini(), "Action", "UseSaverName"), row.written);
        Close();
    }
}

TEST_F(Dialogs, HotKeysAreTakenWhileRunningWhenEnabled)
{
    // taken: the combinations other programs cannot have, as modifiers and key ("3Z": Ctrl+Alt+Z)
    const struct { const char* name, *enable, *modifiers, *keys[4], *taken; } rows[] = {
        { "defaults", "1", nullptr, {}, "3Z 3X 3A 3S 3F " },
        { "shift, keys of one's own", "1", "4", { "q", "W", "e", "r" }, "3F 4Q 4W 4E 4R " },
        { "disabled", "0", nullptr, {}, "" }, { "absent", nullptr, nullptr, {}, "" },
    };
    const char* keyNames[] = { "Key_Start", "Key_Switch", "Key_RndRun", "Key_RndCH" };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("HotKeys", "EnableHotKeys", row.enable), SetIni("HotKeys", "CombinationKeys", row.modifiers);
        for (int i = 0; i < 4; ++i)
            SetIni("HotKeys", keyNames[i], row.keys[i]);
        for (bool running : { true, false }) {
            std::string taken;
            running ? (void)Start() : Close();
            for (UINT mod : { MOD_CONTROL | MOD_ALT, MOD_SHIFT }) {
                for (char key : std::string("ZXASFQWER")) {
                    if (!RegisterHotKey(NULL, 1, mod, key))
                        taken += std::to_string(mod) + key + " ";
                    UnregisterHotKey(NULL, 1);
                }
            }
            EXPECT_EQ(taken, running ? row.taken : "") << (running ? "running" : "ended");
        }
    }
}

}  // namespace
