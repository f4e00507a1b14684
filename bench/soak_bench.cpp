// The soak: 100,000 poll ticks and 200 refreshes of the real main window in
// one process; private memory, menus, icons and GDI objects are printed after
// a warm-up, after the ticks and after the refreshes (a loss shows as counts
// that grow). Ten savers (logsaver.scr and nameless.scr), the first
// configured; every 2,500 ticks the flag, time-out and saver change outside,
// so ticks also move checks and resynchronise the saver. After 20,000 ticks
// the icon is withdrawn, as after a shell restart: the tick does the same
// work but the shell's side is cheaper. Wine's GetGuiResources answers 0, so
// handles are counted by probing every 16-bit index (this process's only).
#include "bench_util.h"
#include <stdio.h>
#include "app/app.h"
#include "res/resource.h"
#include "ui/ui.h"

using namespace bench;

namespace {

constexpr int SAVER_COUNT = 10;
constexpr int POLL_TICKS = 100000;
constexpr int REFRESHES = 200;
constexpr int WARM_UP_TICKS = 1000;
constexpr int WARM_UP_REFRESHES = 5;
constexpr int TICKS_PER_OUTSIDE_CHANGE = 2500;
constexpr int TICKS_WITH_ICON = 20000;
// Ends the ticks on a machine too slow to finish within tools/bench.sh's limit.
constexpr double TICK_BUDGET_S = 600;

constexpr UINT FIRST_USER_HANDLE = 0x0020;
constexpr UINT USER_HANDLE_COUNT = 0x8000;
constexpr UINT GDI_HANDLE_COUNT = 0x10000;

// Committed private memory, region by region (Wine 8's PrivateUsage is 0).
SIZE_T CountPrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char* address = NULL; VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = (char*)region.BaseAddress + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        if ((char*)region.BaseAddress + region.RegionSize < address)
            break;
    }
    return total;
}

void PrintCounts(const char* point)
{
    int menus = 0, icons = 0, gdiObjects = 0;
    for (UINT i = 0; i < USER_HANDLE_COUNT; ++i) {
        HANDLE handle = (HANDLE)(UINT_PTR)(FIRST_USER_HANDLE + 2 * i);
        menus += IsMenu((HMENU)handle) ? 1 : 0;
        ICONINFO info;
        if (GetIconInfo((HICON)handle, &info)) {   // makes two bitmaps
            ++icons;
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
        }
    }
    for (UINT i = 1; i < GDI_HANDLE_COUNT; ++i)
        gdiObjects += GetObjectType((HGDIOBJ)(UINT_PTR)i) ? 1 : 0;
    const char* const names[] = { "private_kib", "menus", "icons", "gdi_objects" };
    const int values[] = { (int)(CountPrivateBytes() / 1024), menus, icons, gdiObjects };
    for (int i = 0; i < 4; ++i) {
        char key[64];
        wsprintfA(key, "soak.%s.%s", point, names[i]);
        Result(key, values[i]);
    }
}

void SetSaverParameters(UINT active, UINT seconds)
{
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active, NULL, 0);
    SystemParametersInfoA(SPI_SETSCREENSAVETIMEOUT, seconds, NULL, 0);
}

}  // namespace

int main()
{
    char logsaver[PATH_SIZE], nameless[PATH_SIZE], dir[PATH_SIZE], savers[SAVER_COUNT][PATH_SIZE];
    BuildPath(logsaver, "savers\\logsaver.scr");
    BuildPath(nameless, "savers\\nameless.scr");
    SystemIniKeeper keeper;
    BOOL spiActive = FALSE;
    UINT spiTimeout = 0;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &spiActive, 0);
    SystemParametersInfoA(SPI_GETSCREENSAVETIMEOUT, 0, &spiTimeout, 0);
    BoxAnswerer answerer;
    BOOL made = MakeSaverFolder(dir, "soak", logsaver, SAVER_COUNT);
    for (int i = 0; i < SAVER_COUNT; ++i) {
        SaverPath(savers[i], dir, i + 1);
        if (made && i % 2)
            made = CopyFileA(nameless, savers[i], FALSE);
    }
    if (!made)
        fprintf(stderr, "bench: cannot prepare %s from %s and %s\n", dir, logsaver, nameless);
    WriteScrnsave(savers[0]);
    SetSaverParameters(TRUE, 300);
    SetCurrentDirectoryA(dir);

    HWND window = CreateMainWindow();
    if (window) {
        KillTimer(window, POLL_TIMER_ID);   // only the counted ticks run
        Result("soak.savers", appState.saverCount);
        for (int i = 0; i < WARM_UP_TICKS; ++i)
            SendMessageA(window, WM_TIMER, POLL_TIMER_ID, 0);
        for (int i = 0; i < WARM_UP_REFRESHES; ++i)
            SendMessageA(window, WM_COMMAND, IDM_REFRESH, 0);
        Pump(0);
        PrintCounts("start");

        int ticks = 0;
        double withIcon = 0;
        double began = Now();
        for (int i = 1; i <= POLL_TICKS && Now() - began < TICK_BUDGET_S; ++i) {
            if (i == TICKS_WITH_ICON + 1) {
                withIcon = Now() - began;
                TrayIconDelete();
            }
            SendMessageA(window, WM_TIMER, POLL_TIMER_ID, 0);
            ticks = i;
            if (i % TICKS_PER_OUTSIDE_CHANGE == 0) {
                int change = i / TICKS_PER_OUTSIDE_CHANGE;
                SetSaverParameters(change % 2, change % 3 ? 600 : 90);
                WriteScrnsave(savers[change % SAVER_COUNT]);
                Pump(0);
            }
        }
        double tickTime = Now() - began;
        if (withIcon == 0)
            withIcon = tickTime;
        TrayIconRestore();
        Pump(0);
        int iconTicks = ticks < TICKS_WITH_ICON ? ticks : TICKS_WITH_ICON;
        Result("soak.ticks", ticks);
        Result("soak.ticks_s", tickTime);
        Result("soak.ticks_with_icon", iconTicks);
        Result("soak.tick_with_icon_us", withIcon * 1e6 / iconTicks);
        if (ticks > iconTicks)
            Result("soak.tick_without_icon_us", (tickTime - withIcon) * 1e6 / (ticks - iconTicks));
        PrintCounts("ticks");

        began = Now();
        for (int i = 0; i < REFRESHES; ++i)
            SendMessageA(window, WM_COMMAND, IDM_REFRESH, 0);
        double refreshTime = Now() - began;
        Pump(0);
        Result("soak.refreshes", REFRESHES);
        Result("soak.refreshes_s", refreshTime);
        Result("soak.refresh_ms", refreshTime * 1e3 / REFRESHES);
        PrintCounts("refreshes");
        CloseMainWindow(window);
    } else {
        fprintf(stderr, "bench: the main window was not created\n");
    }
    Result("soak.boxes", answerer.Count());
    SetSaverParameters(spiActive, spiTimeout);
    SetCurrentDirectoryA("C:\\");
    RemoveScratchRoot();
    return 0;
}
