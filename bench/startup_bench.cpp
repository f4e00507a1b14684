// Start-up and memory of the real NAPKIT.EXE, next to baseline_tray.exe.
//
// Start-up: the time from CreateProcess until the program's tray icon exists,
// with 10 savers in its saverbox. The icon is seen from outside by a modify
// request on it (NIM_MODIFY with the program's window and icon id, changing
// nothing), which the shell grants only once the icon has been added.
// The two programs are started in turn, after two warm-up rounds. The
// medians and the minima of the runs are reported, and the median of the
// ratios of the two runs of each round, which ran back to back under the
// same load elsewhere on the machine.
//
// Memory: one more NAPKIT.EXE is started and sampled after start, after
// 10,000 poll ticks and after 200 catalogue refreshes, both sent to its
// window as the system and the menu would send them; the baseline program is
// sampled after start.
#include "bench_util.h"
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include "app/app.h"
#include "ui/ui.h"
#include "res/resource.h"

using namespace bench;

namespace {

constexpr int DEFAULT_RUNS = 15;
constexpr int MAX_RUNS = 50;
constexpr int WARM_UP_ROUNDS = 2;   // the first starts in a new prefix are slow
constexpr int SAVER_COUNT = 10;
constexpr double START_TIMEOUT_S = 30;
constexpr DWORD PROBE_INTERVAL_MS = 1;
constexpr DWORD EXIT_TIMEOUT_MS = 10000;
constexpr DWORD IDLE_TIMEOUT_MS = 10000;
constexpr DWORD SETTLE_MS = 500;
constexpr UINT SEND_TIMEOUT_MS = 10000;
constexpr int TICK_COUNT = 10000;
constexpr int REFRESH_COUNT = 200;
constexpr char BASELINE_NAME[] = "NAPKITBASE";
constexpr double KIB = 1024.0;

struct Running {
    PROCESS_INFORMATION info;
    HWND window;
};

// Starts exe in dir; seconds until its tray icon exists, or -1.
double StartUntilIcon(const char* exe, const char* windowName, const char* dir, Running& run,
                      BoxAnswerer& answerer)
{
    ZeroMemory(&run, sizeof run);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    char command[PATH_SIZE + 2];
    wsprintfA(command, "\"%s\"", exe);

    NOTIFYICONDATAA probe;
    ZeroMemory(&probe, sizeof probe);
    probe.cbSize = NOTIFYICONDATAA_V1_SIZE;
    probe.uID = TRAY_ICON_ID;
    probe.uFlags = NIF_MESSAGE;
    probe.uCallbackMessage = WM_TRAYNOTIFY;

    double start = Now();
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, dir, &startup, &run.info))
        return -1;
    answerer.Watch(run.info.dwProcessId);
    while (Now() - start < START_TIMEOUT_S) {
        HWND window = FindWindowA(windowName, windowName);
        if (window) {
            probe.hWnd = window;
            if (Shell_NotifyIconA(NIM_MODIFY, &probe)) {
                double elapsed = Now() - start;
                run.window = window;
                return elapsed;
            }
        }
        Sleep(PROBE_INTERVAL_MS);
    }
    return -1;
}

void Stop(Running& run)
{
    if (!run.info.hProcess)
        return;
    if (run.window)
        PostMessageA(run.window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(run.info.hProcess, EXIT_TIMEOUT_MS) != WAIT_OBJECT_0) {
        fprintf(stderr, "bench: process %lu did not end; killed\n",
                (unsigned long)run.info.dwProcessId);
        TerminateProcess(run.info.hProcess, 1);
        WaitForSingleObject(run.info.hProcess, EXIT_TIMEOUT_MS);
    }
    CloseHandle(run.info.hThread);
    CloseHandle(run.info.hProcess);
    ZeroMemory(&run, sizeof run);
}

// Private bytes of a process, and which counter gave them: Wine leaves
// PrivateUsage at 0 in some versions, and then PagefileUsage stands in.
void ReportMemory(const char* prefix, HANDLE process)
{
    PROCESS_MEMORY_COUNTERS_EX counters;
    ZeroMemory(&counters, sizeof counters);
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS*)&counters, sizeof counters);
    char key[64];
    BOOL usePrivate = counters.PrivateUsage != 0;
    wsprintfA(key, "%s.private_kib", prefix);
    Result(key, (usePrivate ? counters.PrivateUsage : counters.PagefileUsage) / KIB);
    wsprintfA(key, "%s.counter", prefix);
    ResultText(key, usePrivate ? (counters.PrivateUsage == counters.PagefileUsage
                                      ? "PrivateUsage(=PagefileUsage)"
                                      : "PrivateUsage")
                               : "PagefileUsage");
    wsprintfA(key, "%s.working_set_kib", prefix);
    Result(key, counters.WorkingSetSize / KIB);
    // GetGuiResources: 0 for both with a message in GetLastError where the
    // platform does not count them.
    SetLastError(0);
    DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    DWORD error = GetLastError();
    wsprintfA(key, "%s.gui_counted", prefix);
    Result(key, (user || gdi || error == 0) ? 1 : 0);
    wsprintfA(key, "%s.user_objects", prefix);
    Result(key, user);
    wsprintfA(key, "%s.gdi_objects", prefix);
    Result(key, gdi);
}

BOOL SendAll(HWND window, UINT message, WPARAM wParam, int count)
{
    for (int i = 0; i < count; ++i) {
        DWORD_PTR result;
        if (!SendMessageTimeoutA(window, message, wParam, 0, SMTO_NORMAL, SEND_TIMEOUT_MS,
                                 &result))
            return FALSE;
    }
    return TRUE;
}

void WaitUntilSettled(const Running& run)
{
    WaitForInputIdle(run.info.hProcess, IDLE_TIMEOUT_MS);
    Sleep(SETTLE_MS);
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : DEFAULT_RUNS;
    if (runs < 1 || runs > MAX_RUNS)
        runs = DEFAULT_RUNS;

    char napkit[PATH_SIZE];
    char baseline[PATH_SIZE];
    char saver[PATH_SIZE];
    BuildPath(napkit, "NAPKIT.EXE");
    BuildPath(baseline, "bench\\baseline_tray.exe");
    BuildPath(saver, "savers\\logsaver.scr");

    SystemIniKeeper keeper;
    BoxAnswerer answerer;
    char dir[PATH_SIZE];
    if (!MakeSaverFolder(dir, "startup", saver, SAVER_COUNT)) {
        fprintf(stderr, "bench: cannot prepare %s from %s\n", dir, saver);
        return 1;
    }
    // The configured saver is one of the ten: the start-up matches it and
    // writes nothing, as on a machine where NAPKIT has run before.
    char first[PATH_SIZE];
    FirstSaverPath(first, dir);
    WriteScrnsave(first);

    double napkitTimes[MAX_RUNS];
    double baselineTimes[MAX_RUNS];
    double ratios[MAX_RUNS];
    int failures = 0;
    for (int i = -WARM_UP_ROUNDS; i < runs; ++i) {   // rounds below 0 warm both up
        for (int turn = 0; turn < 2; ++turn) {
            // Alternate which program goes first, so that neither always
            // follows the other's exit.
            BOOL napkitTurn = (turn == 0) == (i % 2 == 0);
            Running run;
            double seconds = napkitTurn ? StartUntilIcon(napkit, APP_NAME, dir, run, answerer)
                                        : StartUntilIcon(baseline, BASELINE_NAME, dir, run,
                                                         answerer);
            Stop(run);
            if (seconds < 0)
                ++failures;
            if (i >= 0)
                (napkitTurn ? napkitTimes : baselineTimes)[i] = seconds * 1000;
        }
        if (i >= 0)
            ratios[i] = napkitTimes[i] / baselineTimes[i];
    }
    Result("startup.runs", runs);
    Result("startup.failures", failures);
    Result("startup.paired_ratio", Median(ratios, runs));
    Result("startup.napkit_ms", Median(napkitTimes, runs));
    Result("startup.baseline_ms", Median(baselineTimes, runs));
    Result("startup.napkit_min_ms", napkitTimes[0]);            // sorted by Median
    Result("startup.napkit_max_ms", napkitTimes[runs - 1]);
    Result("startup.baseline_min_ms", baselineTimes[0]);
    Result("startup.baseline_max_ms", baselineTimes[runs - 1]);

    // Memory of the real programs.
    Running run;
    if (StartUntilIcon(baseline, BASELINE_NAME, dir, run, answerer) >= 0) {
        WaitUntilSettled(run);
        ReportMemory("memory.baseline.start", run.info.hProcess);
    }
    Stop(run);
    if (StartUntilIcon(napkit, APP_NAME, dir, run, answerer) >= 0) {
        WaitUntilSettled(run);
        ReportMemory("memory.napkit.start", run.info.hProcess);
        // The times show that the work was done (a refresh of 10 savers
        // takes milliseconds); they are not a figure of the table.
        Result("memory.ticks", TICK_COUNT);
        double start = Now();
        if (SendAll(run.window, WM_TIMER, POLL_TIMER_ID, TICK_COUNT)) {
            Result("memory.ticks_ms", (Now() - start) * 1000);
            ReportMemory("memory.napkit.ticks", run.info.hProcess);
        }
        Result("memory.refreshes", REFRESH_COUNT);
        start = Now();
        if (SendAll(run.window, WM_COMMAND, IDM_REFRESH, REFRESH_COUNT)) {
            Result("memory.refreshes_ms", (Now() - start) * 1000);
            ReportMemory("memory.napkit.refreshes", run.info.hProcess);
        }
    }
    Stop(run);
    Result("startup.boxes", answerer.Count());
    RemoveScratchRoot();
    return 0;
}
