// A catalogue build with 10, 100 and 899 savers, against a bare loop that
// finds the same files in the same three folders and loads and frees each as
// a data file.
//
// The main window is created in this process; for each size the current
// directory moves to a folder whose saverbox holds that many savers, and
// each repetition times FreeSaverCatalogue + BuildSaverCatalogue on a freshly
// loaded menu (the reload itself is not timed, as a refresh does it apart
// from the build) and one pass of the bare loop, in turn. For each the mean
// of the middle half of the repetitions is reported (a build takes
// milliseconds, long enough to be preempted on a busy machine now and then),
// with the plain mean beside it, and the cost per saver. The ratio of the two
// is also taken per repetition, from a build and a loop that ran back to
// back under the same load, and its median reported.
#include "bench_util.h"
#include <stdio.h>
#include "app/app.h"
#include "catalogue/catalogue.h"
#include "settings/settings.h"
#include "ui/ui.h"

using namespace bench;

namespace {

struct Size {
    int savers;
    int repetitions;
    const char* folder;
};

constexpr Size SIZES[] = {
    { 10, 300, "cat10" },
    { 100, 60, "cat100" },
    { 899, 20, "cat899" },
};
constexpr int SIZE_COUNT = sizeof SIZES / sizeof SIZES[0];
constexpr int MAX_REPETITIONS = 300;
constexpr double MILLISECONDS = 1e3;
constexpr double MICROSECONDS = 1e6;

// Seconds for one rebuild of the catalogue; the menu is reloaded first,
// outside the clock.
double TimeBuild(HWND window)
{
    DestroyTrayMenu();
    LoadTrayMenu();
    double start = Now();
    FreeSaverCatalogue();
    BuildSaverCatalogue(window);
    return Now() - start;
}

// Seconds for one pass of the bare loop over the same folders; the number of
// files it found goes to found.
double TimeBareLoop(int* found)
{
    char folders[3][MAX_PATH];
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    Join(folders[0], current, "saverbox");
    GetSystemDirectoryA(folders[1], MAX_PATH);
    GetWindowsDirectoryA(folders[2], MAX_PATH);

    int count = 0;
    double start = Now();
    for (const char* folder : folders) {
        char pattern[MAX_PATH];
        Join(pattern, folder, "*.scr");
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(pattern, &data);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            char path[MAX_PATH];
            Join(path, folder, data.cFileName);
            HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
            if (module)
                FreeLibrary(module);
            ++count;
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    double elapsed = Now() - start;
    *found = count;
    return elapsed;
}

}  // namespace

int main()
{
    char saver[PATH_SIZE];
    BuildPath(saver, "savers\\logsaver.scr");
    SystemIniKeeper keeper;
    BoxAnswerer answerer;

    char dirs[SIZE_COUNT][PATH_SIZE];
    for (int s = 0; s < SIZE_COUNT; ++s) {
        if (!MakeSaverFolder(dirs[s], SIZES[s].folder, saver, SIZES[s].savers)) {
            fprintf(stderr, "bench: cannot prepare %s from %s\n", dirs[s], saver);
            return 1;
        }
    }
    char first[PATH_SIZE];
    FirstSaverPath(first, dirs[0]);
    WriteScrnsave(first);
    SetCurrentDirectoryA(dirs[0]);
    HWND window = CreateMainWindow();
    if (!window || !IsWindow(window)) {
        fprintf(stderr, "bench: the main window was not created\n");
        return 1;
    }
    KillTimer(window, POLL_TIMER_ID);

    for (int s = 0; s < SIZE_COUNT; ++s) {
        const Size& size = SIZES[s];
        SetCurrentDirectoryA(dirs[s]);
        int found = 0;
        TimeBuild(window);   // warm-up: file cache, first loads
        TimeBareLoop(&found);
        double builds[MAX_REPETITIONS];
        double loops[MAX_REPETITIONS];
        double ratios[MAX_REPETITIONS];
        for (int r = 0; r < size.repetitions; ++r) {
            if (r % 2 == 0) {
                builds[r] = TimeBuild(window);
                loops[r] = TimeBareLoop(&found);
            } else {
                loops[r] = TimeBareLoop(&found);
                builds[r] = TimeBuild(window);
            }
            ratios[r] = builds[r] / loops[r];
        }
        char key[64];
        wsprintfA(key, "catalogue.%d.repetitions", size.savers);
        Result(key, size.repetitions);
        wsprintfA(key, "catalogue.%d.catalogued", size.savers);
        Result(key, appState.saverCount);
        wsprintfA(key, "catalogue.%d.files_found", size.savers);
        Result(key, found);
        double build = MiddleMean(builds, size.repetitions);
        double loop = MiddleMean(loops, size.repetitions);
        wsprintfA(key, "catalogue.%d.napkit_ms", size.savers);
        Result(key, build * MILLISECONDS);
        wsprintfA(key, "catalogue.%d.baseline_ms", size.savers);
        Result(key, loop * MILLISECONDS);
        wsprintfA(key, "catalogue.%d.napkit_mean_ms", size.savers);
        Result(key, Mean(builds, size.repetitions) * MILLISECONDS);
        wsprintfA(key, "catalogue.%d.baseline_mean_ms", size.savers);
        Result(key, Mean(loops, size.repetitions) * MILLISECONDS);
        wsprintfA(key, "catalogue.%d.paired_ratio", size.savers);
        Result(key, Median(ratios, size.repetitions));
        wsprintfA(key, "catalogue.%d.napkit_us_per_saver", size.savers);
        Result(key, build * MICROSECONDS / (appState.saverCount > 0 ? appState.saverCount : 1));
        wsprintfA(key, "catalogue.%d.baseline_us_per_saver", size.savers);
        Result(key, loop * MICROSECONDS / (found > 0 ? found : 1));
    }

    // Back to the folder the window started in, so its close writes a saver
    // that exists; SYSTEM.INI is restored anyway.
    SetCurrentDirectoryA(dirs[0]);
    TimeBuild(window);
    CloseMainWindow(window);
    Result("catalogue.boxes", answerer.Count());
    SetCurrentDirectoryA("C:\\");
    RemoveScratchRoot();
    return 0;
}
