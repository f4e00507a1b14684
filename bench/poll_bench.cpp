// One poll tick of the real main window, against the bare platform calls a
// tick makes: two SystemParametersInfoA reads, one profile read of
// SYSTEM.INI and one NIM_MODIFY of the same tray icon.
//
// The main window is created in this process as the program creates it, in
// a folder with 10 savers whose first one is the configured saver, so the
// tick finds nothing changed: the common case, twice a second for the life
// of the program. Ticks are sent as WM_TIMER, the way the timer delivers
// them. The shell's handling of a modify request dominates both sides and
// varies a lot with what the shell, the X server and the rest of the machine
// are doing, so ticks and rounds of bare calls alternate one by one and each
// is timed on its own: slow phases then fall on both alike. Means over
// 10,000 of each are reported, and the medians as a check on the noise.
#include "bench_util.h"
#include <stdio.h>
#include "app/app.h"
#include "settings/settings.h"

using namespace bench;

namespace {

constexpr int SAVER_COUNT = 10;
constexpr int TICK_COUNT = 10000;
constexpr int WARM_UP_TICKS = 200;
constexpr double MICROSECONDS = 1e6;

// Seconds for one tick.
double TimeTick(HWND window)
{
    double start = Now();
    SendMessageA(window, WM_TIMER, POLL_TIMER_ID, 0);
    return Now() - start;
}

// Seconds for one round of the calls a tick makes: the same reads and a
// modify request with the program's own icon record (same window, icon, tip).
double TimeBareCalls(const NOTIFYICONDATAA& programIcon)
{
    NOTIFYICONDATAA icon = programIcon;
    BOOL active = FALSE;
    UINT seconds = 0;
    char saver[MAX_PATH];
    double start = Now();
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    SystemParametersInfoA(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0);
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "Nothing!", saver, MAX_PATH,
                             appState.systemIniPath);
    Shell_NotifyIconA(NIM_MODIFY, &icon);
    return Now() - start;
}

}  // namespace

int main()
{
    char saver[PATH_SIZE];
    BuildPath(saver, "savers\\logsaver.scr");
    SystemIniKeeper keeper;
    BoxAnswerer answerer;
    char dir[PATH_SIZE];
    if (!MakeSaverFolder(dir, "poll", saver, SAVER_COUNT)) {
        fprintf(stderr, "bench: cannot prepare %s from %s\n", dir, saver);
        return 1;
    }
    char first[PATH_SIZE];
    FirstSaverPath(first, dir);
    WriteScrnsave(first);
    SetCurrentDirectoryA(dir);

    HWND window = CreateMainWindow();
    if (!window || !IsWindow(window)) {
        fprintf(stderr, "bench: the main window was not created\n");
        return 1;
    }
    // The real timer stays off: only the counted ticks run.
    KillTimer(window, POLL_TIMER_ID);
    for (int i = 0; i < WARM_UP_TICKS; ++i) {
        TimeTick(window);
        TimeBareCalls(appState.notifyData);
    }

    static double ticks[TICK_COUNT];
    static double bare[TICK_COUNT];
    for (int i = 0; i < TICK_COUNT; ++i) {
        // Alternate which goes first, so neither always follows the other.
        if (i % 2 == 0) {
            ticks[i] = TimeTick(window);
            bare[i] = TimeBareCalls(appState.notifyData);
        } else {
            bare[i] = TimeBareCalls(appState.notifyData);
            ticks[i] = TimeTick(window);
        }
    }
    Result("poll.ticks", TICK_COUNT);
    Result("poll.napkit_us", Mean(ticks, TICK_COUNT) * MICROSECONDS);
    Result("poll.baseline_us", Mean(bare, TICK_COUNT) * MICROSECONDS);
    Result("poll.napkit_median_us", Median(ticks, TICK_COUNT) * MICROSECONDS);
    Result("poll.baseline_median_us", Median(bare, TICK_COUNT) * MICROSECONDS);

    CloseMainWindow(window);
    Result("poll.boxes", answerer.Count());
    SetCurrentDirectoryA("C:\\");
    RemoveScratchRoot();
    return 0;
}
