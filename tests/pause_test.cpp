// The pause: the screen saver off for a while and back on by itself, however
// the program ends meanwhile; from the menu, NAPKIT.INI and the command line.
#include "harness.h"
#include "app/app.h"
#include "res/resource.h"
#include <ctime>

namespace {

constexpr ULONGLONG AT_15_00 = 1796655600;   // 2026-12-07 15:00:00 UTC, the fixed clock
constexpr DWORD MINUTE_MS = 60000;
// The stored end and length written, and the saver off; the stored pause removed, and the saver on.
Lines Paused(const char* end, const char* minutes)
{
    return { std::string("ini NAPKIT.INI Action PauseUntil ") + end,
             std::string("ini NAPKIT.INI Action PauseMinutes ") + minutes, TURNED_OFF[0], TURNED_OFF[1] };
}
const Lines PAUSED_30 = Paused("1796657400", "30");
const Lines ENDED = { "ini NAPKIT.INI Action PauseUntil <removed>", "ini NAPKIT.INI Action PauseMinutes <removed>" };
const Lines ENDED_ON = ENDED + TURNED_ON;
constexpr char PAUSED_BOX[] =
    "box main 0x1040 NAPKIT|スクリーンセーバーを 15:30 まで「無効」にしました。";
constexpr char NOT_STORED_BOX[] = "box main 0x30 NAPKIT|"
                                  "NAPKIT.INI に書き込めないため、一時停止できません。\n"
                                  "スクリーンセーバーの状態は変わっていません。";

struct Pause : Napkit {
    void SetUp() override
    {
        Napkit::SetUp();
        SetIni("Message", "OpenMessageBox", "0");
        FixClock(AT_15_00);
    }
    std::string Until() { return ReadIni(Ini(), "Action", "PauseUntil"); }
    void Wait(DWORD ms)   // ms of elapsed time, then a poll
    {
        PassTime(ms);
        Ticks(1);
    }
};

TEST_F(Pause, StartSwitchesOffUntilTheEndInElapsedTimeThenOnWithoutBox)
{
    // first: a pause that ran ten minutes before, or none (0)
    struct Row { const char* flags; UINT first, item; DWORD ms; bool nearWrap; Lines calls; std::string shown; };
    const Row rows[] = {
        { .flags = "1", .first = 0, .item = 40310, .ms = 30 * MINUTE_MS, .nearWrap = false,
          .calls = PAUSED_30 + Lines{ PAUSED_BOX },
          .shown = "40101 40205 40302 40310 41001 inactive NAPKIT - ScreenSaver[ OFF ] -> 15:30" },
        { .flags = "2", .first = 0, .item = 40311, .ms = 60 * MINUTE_MS, .nearWrap = true,
          .calls = Paused("1796659200", "60"),
          .shown = "40101 40205 40302 40311 41001 inactive NAPKIT - ScreenSaver[ OFF ] -> 16:00" },
        { .flags = "0", .first = 40310, .item = 40312, .ms = 120 * MINUTE_MS, .nearWrap = false,
          .calls = Paused("1796663400", "120"),
          .shown = "40101 40205 40302 40312 41001 inactive NAPKIT - ScreenSaver[ OFF ] -> 17:10" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.item);
        SetIni("Message", "OpenMessageBox", row.flags);
        FixClock(AT_15_00);
        Start();
        if (row.first) {
            Command(row.first);
            Wait(10 * MINUTE_MS);
            FixClock(AT_15_00 + 600);
            EXPECT_EQ(TakeCalls(), PAUSED_30);
        }
        if (row.nearWrap)
            PassTime(0u - GetTickCount() - 10000);   // the tick count wraps 10 s into the pause
        Command(row.item);
        EXPECT_EQ(TakeCalls(), row.calls);
        Ticks(1);   // a poll before the wrap
        EXPECT_EQ(Shown(), row.shown);
        FixClock(AT_15_00 - 7200);
        Wait(row.ms - 2000);
        EXPECT_EQ(SystemActive(), 0u) << "still off 2 s before the end, the clock set back 2 h";
        FixClock(AT_15_00 + 86400);
        Wait(2000);
        EXPECT_EQ(TakeCalls(), ENDED_ON) << "on at the end, without a box, the clock set a day forward";
        EXPECT_EQ(Shown(), SHOWN_ON);
        Close();
    }
}

TEST_F(Pause, EarlyEndsSwitchNothingBack)
{
    auto onElsewhereThenOff = [](Pause& t) {
        SetSystemActive(1);
        t.Ticks(1);
        SetSystemActive(0);
    };
    struct Row { const char* name; std::function<void(Pause&)> end; Lines calls; std::string shown; };
    const Row rows[] = {
        { "on item", [](Pause& t) { t.Command(40301); }, ENDED_ON, SHOWN_ON },
        { "off item", [](Pause& t) { t.Command(40302); }, ENDED, SHOWN_OFF },
        { "toggle hot key", [](Pause& t) { t.HotKey(40101); }, ENDED_ON, SHOWN_ON },
        { "on elsewhere, then off", onElsewhereThenOff, ENDED, SHOWN_OFF },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Start();
        Command(40311);
        EXPECT_EQ(TakeCalls(), Paused("1796659200", "60"));
        row.end(*this);
        EXPECT_EQ(Until(), ABSENT) << "expected the pause ended at once, before the next poll";
        Ticks(1);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Shown() + " " + Until(), row.shown + " " + ABSENT);
        Wait(61 * MINUTE_MS);
        EXPECT_EQ(TakeCalls("spi"), Lines{}) << "nothing switched when the pause would have ended";
        Close();
    }
}

TEST_F(Pause, StoredEndAheadWithinADayResumesAnyOtherSwitchesOn)
{
    // history: the flag at start, 2 s before ten minutes have passed, at ten minutes; calls: all of them
    // until the close, and those of the close
    const Lines on = ENDED_ON;
    const Lines onAndClose = ENDED_ON + Lines{ Wrote(saver) };
    struct Row { const char* stored; std::string shown; const char* history; Lines calls; Lines closeCalls; };
    const Row rows[] = {
        { .stored = "1796655540", .shown = SHOWN_ON, .history = "111", .calls = on, .closeCalls = { Wrote(saver) } },
        { .stored = "1796656200", .shown = "40101 40205 40302 41001 inactive NAPKIT - ScreenSaver[ OFF ] -> 15:10",
          .history = "001", .calls = on, .closeCalls = { Wrote(saver) } },
        { .stored = "1796742000", .shown = "40101 40205 40302 41001 inactive NAPKIT - ScreenSaver[ OFF ] -> 15:00",
          .history = "000", .calls = {}, .closeCalls = onAndClose },
        { .stored = "1796742001", .shown = SHOWN_ON, .history = "111", .calls = on, .closeCalls = { Wrote(saver) } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        SetIni("Action", "PauseUntil", row.stored);
        SetSystemActive(0);
        Start();
        std::string history = std::to_string(SystemActive());
        EXPECT_EQ(Shown(), row.shown);
        Wait(10 * MINUTE_MS - 2000);
        history += std::to_string(SystemActive());
        Wait(2000);
        EXPECT_EQ(history + std::to_string(SystemActive()), row.history);
        EXPECT_EQ(TakeCalls(), row.calls) << "expected the flag switched on at most once: at start, end or close";
        Close(row.closeCalls);
    }
    // One-shot mode with the toggle action: the saver a pause left off is switched on by the past end, not
    // toggled back off.
    SetIni("Action", "AppMode", "1");
    SetIni("Action", "PauseUntil", "1796655540");
    SetSystemActive(0);
    ZeroMemory(&appState, sizeof appState);
    RunNapkit(GetModuleHandleA(NULL));
    EXPECT_EQ(TakeCalls(), on + Lines{ std::string("box none 0x1040 NAPKIT|") + SWITCHED_ON })
        << "expected the saver on, and the toggle's box saying so";
    EXPECT_EQ(SystemActive(), 1u);
}

TEST_F(Pause, SwitchIsForwardedToTheTrayCopyAndRefusedWithoutOne)
{
    const std::pair<const char*, std::string> forwarded[] = {
        { "-PAUSE:0030", "40101 40205 40302 40310 41001 inactive NAPKIT - ScreenSaver[ OFF ] -> 15:30" },
        { "/off", SHOWN_OFF },
        { "/pause:1", "40101 40205 40302 41001 inactive NAPKIT - ScreenSaver[ OFF ] -> 15:01" },
        { "/off", SHOWN_OFF },
        { "/pause:1440", "40101 40205 40302 41001 inactive NAPKIT - ScreenSaver[ OFF ] -> 15:00" },
    };
    Start();
    for (const auto& [args, shown] : forwarded) {
        EXPECT_EQ(RunSwitch(args), 0u) << args;
        EXPECT_EQ(Shown(), shown) << args;
    }
    Lines calls = PAUSED_30 + ENDED + Paused("1796655660", "1") + ENDED + Paused("1796742000", "1440");
    EXPECT_EQ(TakeCalls(), calls) << "expected each pause to switch off, /off to write nothing";
    Close(ENDED_ON + Lines{ Wrote(saver) });
    const std::tuple<const char*, DWORD, size_t> alone[] = {
        { "/pause:1", 1, 0 },
        { "/pause:0", 2, 1 },
        { "/pause:1441", 2, 1 },
    };
    SetDesktopValue("ScreenSaveActive", ABSENT);
    for (const auto& [args, code, usageBoxes] : alone)
        EXPECT_EQ(RunSwitch(args, usageBoxes), code) << args;
    EXPECT_EQ(SystemActive(), 1u) << "/pause alone changes nothing";
    EXPECT_EQ(DesktopValue("ScreenSaveActive"), ABSENT) << "/pause alone changes nothing";
}

TEST_F(Pause, EndsOnTimeWhileADialogIsOpen)
{
    // Every dialog runs in the same loop: About stands for them all.
    Start();
    Command(IDM_PAUSE_30);
    EXPECT_EQ(TakeCalls(), PAUSED_30);
    std::string whileOpen;
    AnswerDialogs({ [this](HWND) {
        PassTime(30 * MINUTE_MS - 2000);
        Ticks(1);
    }, [this, &whileOpen](HWND) {
        whileOpen = std::to_string(SystemActive());
        PassTime(2000);
        Ticks(1);
    }, [&whileOpen](HWND dialog) {
        whileOpen += std::to_string(SystemActive());
        SendMessageA(dialog, WM_CLOSE, 0, 0);
    } });
    Command(IDM_ABOUT);
    EXPECT_EQ(whileOpen, "01") << "expected off 2 s before the end, on within a poll after it, the dialog open";
    EXPECT_EQ(TakeCalls(), Lines{ "dialog バージョン情報" } + ENDED_ON) << "expected on, no box";
    EXPECT_EQ(Shown(), SHOWN_ON) << "the view follows once the dialog is closed";
    Close();
}

TEST_F(Pause, NotStartedWhenItsEndCannotBeStored)
{
    Start();
    HANDLE lock = LockFile(Ini());
    Command(IDM_PAUSE_30);
    // a partial end removed, and the box
    const Lines unstored = { ENDED[0] + " (failed)", ENDED[1] + " (failed)", NOT_STORED_BOX };
    EXPECT_EQ(TakeCalls(), Lines{ PAUSED_30[0] + " (failed)" } + unstored) << "expected the saver left on";
    EXPECT_EQ(RunSwitch("/pause:60"), 1u) << "a pause not started is a switch refused";
    EXPECT_EQ(TakeCalls(), Lines{ Paused("1796659200", "60")[0] + " (failed)" } + unstored);
    CloseHandle(lock);
    EXPECT_EQ(Shown(), SHOWN_ON);
    Close();
}

TEST_F(Pause, ARefreshKeepsAResumedPauseCheckedAndOneThatFindsNoSaverSwitchesOnBeforeTheProgramEnds)
{
    SetIni("Action", "PauseUntil", "1796656200");
    SetIni("Action", "PauseMinutes", "60");
    SetSystemActive(0);
    Start();
    Command(IDM_REFRESH);
    EXPECT_EQ(Shown(), "40101 40205 40302 40311 41001 inactive NAPKIT - ScreenSaver[ OFF ] -> 15:10");
    EXPECT_EQ(TakeCalls(), Lines{ Wrote(saver) }) << "expected the refresh's pick written, the saver left off";
    DeleteFileA(saver.c_str());
    Command(IDM_REFRESH);
    EXPECT_EQ(TakeCalls(), Lines{ NO_SAVER_BOX } + ENDED_ON) << "expected the box, then the saver on";
    ExpectEnded();
}

TEST_F(Pause, ExplicitSwitchWithNoCopyRunningEndsAStoredPause)
{
    // ahead: the stored end 10 minutes ahead of the real clock that the child reads, or long past; active: the flag
    // afterwards; before each row it is off, as the killed copy's pause left it. A toggle after a past end is on.
    struct Row { const char* args; bool ahead; UINT active; };
    const Row rows[] = {
        { .args = "/off", .ahead = true, .active = 0 },
        { .args = "/toggle", .ahead = true, .active = 1 },
        { .args = "/toggle", .ahead = false, .active = 1 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.args) + (row.ahead ? ", end ahead" : ", end long past"));
        SetIni("Action", "PauseUntil", row.ahead ? std::to_string(std::time(nullptr) + 600).c_str() : "1000000000");
        SetSystemActive(0);
        EXPECT_EQ(RunSwitch(row.args), 0u);
        EXPECT_EQ(SystemActive(), row.active);
        EXPECT_EQ(Until(), ABSENT) << "expected the stored pause ended, so that no later start resumes it";
    }
}

}  // namespace
