// The screen saver held off while a full-screen window of another program is in front, and back on when it
// goes, however NAPKIT ends meanwhile.
#include "harness.h"
#include "res/resource.h"
#include <memory>

namespace {

constexpr char FULL_SCREEN_TITLE[] = "full screen";   // tests/savers/fullscreen.c
constexpr char HOLD_REMOVED[] = "ini NAPKIT.INI Action FullScreenHold <removed>";
const Lines HOLD = Lines{ "ini NAPKIT.INI Action FullScreenHold 1" } + TURNED_OFF;   // the stores, in order
const Lines UNHOLD = Lines{ HOLD_REMOVED } + TURNED_ON;
constexpr char HELD[] = "40101 40205 40302 40321 41001 inactive NAPKIT - ScreenSaver[ OFF ] -> 全画面表示中";
constexpr char ON[] = "40101 40205 40301 40321 41001 active NAPKIT - ScreenSaver[ ON ] -> [5分]";
constexpr char OFF[] = "40101 40205 40302 40321 41001 inactive NAPKIT - ScreenSaver[ OFF ]";

// tests/savers/fullscreen.exe: a window over the whole screen that keeps itself in front until it is killed.
class FullScreenProgram {
public:
    explicit FullScreenProgram(const std::string& args = "")
        : program_(new Program(SaverFile("fullscreen.exe"), "fullscreen.exe " + args))
    {
        EXPECT_TRUE(PumpUntil([] { return InFront(); }, 5000)) << "expected the full-screen window in front";
    }
    static bool InFront()
    {
        HWND front = GetForegroundWindow();
        return front && front == FindWindowA(NULL, FULL_SCREEN_TITLE);
    }
    void Kill()   // once it is in front again: the tray menu that a test reads takes the front for a moment
    {
        PumpUntil([] { return InFront(); }, 5000);
        program_.reset();
    }
private:
    std::unique_ptr<Program> program_;
};

struct FullScreen : Napkit {
    void SetUp() override
    {
        Napkit::SetUp();
        SetIni("Action", "FullScreenOff", "1");
    }
    std::string Held() { return ReadIni(Ini(), "Action", "FullScreenHold"); }
};

TEST_F(FullScreen, AnotherProgramsFullScreenWindowHoldsARunningSaverOffUntilItGoes)
{
    // setting: [Action] FullScreenOff; active: the flag before; kind in front: "" full screen, "half" half the screen,
    // "progman" with the desktop's class, "own" this process's; held: the calls once the window is in front;
    // stored: [Action] FullScreenHold meanwhile; ended: the calls once it has gone
    struct Row { const char* name; const char* setting = "1"; UINT active = 1; const char* kind = ""; Lines held;
                 std::string shown = ON; const char* stored = ABSENT; Lines ended; };
    const Row rows[] = {
        { .name = "held", .held = HOLD, .shown = HELD, .stored = "1", .ended = UNHOLD },
        { .name = "setting off", .setting = "0", .shown = SHOWN_ON },
        { .name = "already off", .active = 0, .shown = OFF },
        { .name = "own window", .kind = "own" },
        { .name = "not full screen", .kind = "half" },
        { .name = "desktop", .kind = "progman" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Action", "FullScreenOff", row.setting);
        SetSystemActive(row.active);
        Start();
        std::unique_ptr<FullScreenProgram> other;
        HWND own = NULL;
        if (row.kind == std::string("own")) {
            own = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE,
                0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL, NULL, NULL);
            SetForegroundWindow(own);
            EXPECT_EQ(GetForegroundWindow(), own) << "expected the test's own window in front";
        } else {
            other.reset(new FullScreenProgram(row.kind));
        }
        Ticks(2);
        EXPECT_EQ(TakeCalls(), row.held);
        EXPECT_EQ(Shown(), row.shown);
        EXPECT_EQ(Held(), row.stored);
        EXPECT_EQ(SystemActive(), row.held.empty() ? row.active : 0u);
        if (other)
            other->Kill();
        DestroyWindow(own);
        Ticks(2);
        EXPECT_EQ(SystemActive(), row.active) << "expected the saver as it was within two polls (a second)";
        EXPECT_EQ(TakeCalls(), row.ended) << "expected no box, and only what was switched off switched on";
        EXPECT_EQ(Held(), ABSENT);
        Close();
    }
}

TEST_F(FullScreen, ExplicitChoiceEndsTheHoldAndNoNewOneStartsForTheSameWindow)
{
    const Lines paused = Lines{ "ini NAPKIT.INI Action PauseUntil 1796657400", "ini NAPKIT.INI Action PauseMinutes 30",
                                HOLD_REMOVED } + TURNED_OFF
        + Lines{ "box main 0x1040 NAPKIT|スクリーンセーバーを 15:30 まで「無効」にしました。" };
    const Lines pauseEnded = Lines{ "ini NAPKIT.INI Action PauseUntil <removed>",
                                    "ini NAPKIT.INI Action PauseMinutes <removed>" } + TURNED_ON;
    // closed: the calls of the close; setting: [Action] FullScreenOff afterwards
    struct Row { const char* name; UINT id; Lines calls; std::string shown; Lines closed; const char* setting = "2"; };
    const Row rows[] = {
        { "on item", IDM_STATE_ON, UNHOLD + Lines{ BOX_ON }, ON, {} },
        { "off item", IDM_STATE_OFF, { HOLD_REMOVED }, OFF, {} },
        { "pause", IDM_PAUSE_30, paused,
          "40101 40205 40302 40310 40321 41001 inactive NAPKIT - ScreenSaver[ OFF ] -> 15:30", pauseEnded },
        { "setting switched off", IDM_FULL_SCREEN_OFF, Lines{ "ini NAPKIT.INI Action FullScreenOff 0" } + UNHOLD,
          SHOWN_ON, {}, "0" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Action", "FullScreenOff", "2");   // any value but 0 is on
        SetSystemActive(1);
        FixClock(1796655600);   // 15:00
        Start();
        FullScreenProgram other;
        Ticks(2);
        EXPECT_EQ(TakeCalls(), HOLD) << "expected the hold, without a box";
        Command(row.id);
        EXPECT_EQ(Held(), ABSENT) << "expected the hold over at once";
        Ticks(3);
        EXPECT_EQ(TakeCalls(), row.calls) << "expected the choice carried out, and no new hold";
        EXPECT_EQ(Shown(), row.shown);
        EXPECT_EQ(ReadIni(Ini(), "Action", "FullScreenOff"), row.setting);
        other.Kill();
        Ticks(2);
        EXPECT_EQ(TakeCalls(), Lines{}) << "expected nothing switched back when the window went";
        Close(row.closed + Lines{ Wrote(saver) });
    }
}

TEST_F(FullScreen, ClosingSwitchesOnAndAKilledCopysHoldEndsAtTheNextStart)
{
    // The exit item and the end of the session run the same close (tests/tray_test.cpp ends each way).
    Start();
    FullScreenProgram other;
    Ticks(2);
    EXPECT_EQ(TakeCalls(), HOLD) << "expected the hold";
    Close(UNHOLD + Lines{ Wrote(saver) });
    EXPECT_EQ(Held(), ABSENT) << "expected the saver on before the program ended";
    auto tray = std::make_unique<Program>();
    tray->Window();   // its window shown: the copy is ready
    EXPECT_TRUE(PumpUntil([&] { return SystemActive() == 0 && Held() == "1"; }, 3000)) << "expected the copy's hold";
    tray.reset();
    other.Kill();
    Pump(1000);
    EXPECT_EQ(SystemActive(), 0u) << "a killed copy leaves the saver off";
    Start();
    EXPECT_EQ(TakeCalls(), UNHOLD) << "expected the saver on at start";
    EXPECT_EQ(Held(), ABSENT);
    EXPECT_EQ(Shown(), ON);
    Close();
}

}  // namespace
