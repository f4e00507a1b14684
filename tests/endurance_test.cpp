// 100,000 poll ticks and 200 refreshes in one process must not grow its
// memory, menus, icons or GDI objects. Wine's GetGuiResources answers 0, so
// handles are counted by probing every 16-bit index (only this process's
// objects are seen).
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "fixtures/robust_support.h"
#include "app/app.h"
#include "catalogue/catalogue.h"
#include "res/resource.h"
#include "ui/ui.h"

#include <cstdio>

using namespace harness;
using namespace robust;

namespace {

constexpr int POLL_TICKS = 100000;
constexpr int REFRESHES = 200;
constexpr int WARM_UP_TICKS = 1000;
constexpr int WARM_UP_REFRESHES = 5;
// Every so many ticks the outside world changes, so ticks also move checks
// and resynchronise the saver.
constexpr int TICKS_PER_OUTSIDE_CHANGE = 2500;
// Under Wine a tick with the icon in the tray is a round trip to the shell
// (up to 2.5 ms); after the first ticks the icon is withdrawn, as after a
// shell restart, so the tick does the same work here but the shell refuses
// cheaply. A time budget stops early; at least a fifth of the ticks must run.
constexpr int TICKS_WITH_ICON = 20000;
constexpr DWORD TICK_BUDGET_MS = 120000;
constexpr int MIN_TICKS = POLL_TICKS / 5;
constexpr int SAVER_COUNT = 10;
const char* const BUILT_SAVERS[] = {
    "logsaver.scr", "nameless.scr", "longname.scr", "emptyname.scr", "demosaver.scr",
};

// A leak of one catalogue entry per saver and refresh would add over a MiB;
// one menu per refresh, 200 menus.
constexpr SIZE_T MEMORY_TOLERANCE = 512 * 1024;
constexpr int MENU_TOLERANCE = 0;
constexpr int ICON_TOLERANCE = 0;
constexpr int GDI_TOLERANCE = 4;

constexpr UINT FIRST_USER_HANDLE = 0x0020;
constexpr UINT USER_HANDLE_COUNT = 0x8000;
constexpr UINT GDI_HANDLE_COUNT = 0x10000;

struct Figures {
    SIZE_T privateBytes;   // committed private memory, counted region by region
    int menus;
    int icons;
    int gdiObjects;
};

HANDLE UserHandleAt(UINT index)
{
    return (HANDLE)(UINT_PTR)(FIRST_USER_HANDLE + 2 * index);
}

int CountMenus()
{
    int count = 0;
    for (UINT i = 0; i < USER_HANDLE_COUNT; ++i)
        count += IsMenu((HMENU)UserHandleAt(i)) ? 1 : 0;
    return count;
}

int CountIcons()
{
    int count = 0;
    for (UINT i = 0; i < USER_HANDLE_COUNT; ++i) {
        ICONINFO info;
        if (!GetIconInfo((HICON)UserHandleAt(i), &info))
            continue;
        ++count;
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    return count;
}

int CountGdiObjects()
{
    int count = 0;
    for (UINT i = 1; i < GDI_HANDLE_COUNT; ++i)
        count += GetObjectType((HGDIOBJ)(UINT_PTR)i) ? 1 : 0;
    return count;
}

SIZE_T CommittedPrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char* address = NULL;
         VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = (char*)region.BaseAddress + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        if ((char*)region.BaseAddress + region.RegionSize < address)
            break;
    }
    return total;
}

Figures Measure()
{
    Figures figures = {};
    figures.privateBytes = CommittedPrivateBytes();
    figures.menus = CountMenus();
    figures.icons = CountIcons();
    figures.gdiObjects = CountGdiObjects();
    return figures;
}

void PrintFigures(const char* moment, const Figures& f)
{
    printf("%-22s private %7lu KiB  menus %3d  icons %3d  GDI %4d\n", moment,
           (unsigned long)(f.privateBytes / 1024), f.menus, f.icons, f.gdiObjects);
    fflush(stdout);
}

void ExpectNoGrowth(const Figures& before, const Figures& after, const char* what)
{
    EXPECT_LE(after.privateBytes, before.privateBytes + MEMORY_TOLERANCE) << what;
    EXPECT_LE(after.menus, before.menus + MENU_TOLERANCE) << what;
    EXPECT_LE(after.icons, before.icons + ICON_TOLERANCE) << what;
    EXPECT_LE(after.gdiObjects, before.gdiObjects + GDI_TOLERANCE) << what;
}

void Tick(HWND window)
{
    SendMessageA(window, WM_TIMER, POLL_TIMER_ID, 0);
}

}  // namespace

// The counts must see new objects, or a leak would pass unseen.
TEST(Endurance, HandleCountsSeeNewObjects)
{
    Figures before = Measure();
    HMENU menu = CreatePopupMenu();
    HICON icon = CopyIcon(LoadIconA(NULL, (LPCSTR)IDI_APPLICATION));
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    Figures during = Measure();
    DestroyMenu(menu);
    DestroyIcon(icon);
    DeleteObject(brush);
    Figures after = Measure();
    EXPECT_EQ(before.menus + 1, during.menus);
    EXPECT_EQ(before.icons + 1, during.icons);
    EXPECT_LT(before.gdiObjects, during.gdiObjects);
    EXPECT_EQ(before.menus, after.menus);
    EXPECT_EQ(before.icons, after.icons);
    EXPECT_EQ(before.gdiObjects, after.gdiObjects);
}

TEST(Endurance, PollTicksAndRefreshesDoNotGrow)
{
    SystemGuard guard;
    ScratchDir dir;
    std::vector<std::string> savers;
    for (int i = 0; i < SAVER_COUNT; ++i) {
        char name[16];
        wsprintfA(name, "E%02d.SCR", i + 1);
        savers.push_back(InstallSaver(BUILT_SAVERS[i % 5], dir.saverbox(), name));
    }
    WriteScrnsave(savers[0]);
    SetSpiActive(1);
    SetSpiTimeout(300);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(SAVER_COUNT, appState.saverCount);

    for (int i = 0; i < WARM_UP_TICKS; ++i)
        Tick(window);
    for (int i = 0; i < WARM_UP_REFRESHES; ++i)
        SendCommand(window, IDM_REFRESH);
    PumpMessages(0);
    const Figures start = Measure();

    DWORD began = GetTickCount();
    DWORD withIconMs = 0;
    int ticks = 0;
    for (int i = 1; i <= POLL_TICKS && GetTickCount() - began < TICK_BUDGET_MS; ++i) {
        if (i == TICKS_WITH_ICON + 1) {
            withIconMs = GetTickCount() - began;
            TrayIconDelete();
        }
        Tick(window);
        ticks = i;
        if (i % TICKS_PER_OUTSIDE_CHANGE == 0) {
            int change = i / TICKS_PER_OUTSIDE_CHANGE;
            SetSpiActive(change % 2);
            SetSpiTimeout(change % 3 == 0 ? 90 : 600);
            WriteScrnsave(savers[change % SAVER_COUNT]);
            PumpMessages(0);
        }
    }
    const DWORD tickMs = GetTickCount() - began;
    TrayIconRestore();
    PumpMessages(0);
    const Figures afterTicks = Measure();
    ASSERT_TRUE(IsWindow(window));
    if (ticks < POLL_TICKS)
        printf("time budget: stopped after %d of %d poll ticks\n", ticks, POLL_TICKS);
    EXPECT_GE(ticks, MIN_TICKS);
    EXPECT_EQ(0u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_TRUE(IsCataloguePath(appState.currentSaver)) << appState.currentSaver;
    EXPECT_EQ(0, lstrcmpiA(appState.currentSaver, ReadScrnsave().c_str()));
    EXPECT_TRUE(ChecksMatchState());

    began = GetTickCount();
    for (int i = 0; i < REFRESHES; ++i)
        SendCommand(window, IDM_REFRESH);
    const DWORD refreshMs = GetTickCount() - began;
    PumpMessages(0);
    const Figures afterRefreshes = Measure();
    EXPECT_EQ(SAVER_COUNT, appState.saverCount);
    EXPECT_EQ(0u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_TRUE(ChecksMatchState());

    const int withIcon = ticks < TICKS_WITH_ICON ? ticks : TICKS_WITH_ICON;
    if (withIconMs == 0)
        withIconMs = tickMs;
    printf("%d poll ticks: %lu ms; %d with the icon in the tray: %.1f us a tick; "
           "%d without: %.1f us a tick\n",
           ticks, tickMs, withIcon, 1000.0 * withIconMs / withIcon, ticks - withIcon,
           ticks > withIcon ? 1000.0 * (tickMs - withIconMs) / (ticks - withIcon) : 0.0);
    printf("%d refreshes of %d savers: %lu ms (%.2f ms a refresh)\n", REFRESHES, SAVER_COUNT,
           refreshMs, (double)refreshMs / REFRESHES);
    PrintFigures("after warm-up:", start);
    PrintFigures("after the poll ticks:", afterTicks);
    PrintFigures("after 200 refreshes:", afterRefreshes);
    ExpectNoGrowth(start, afterTicks, "poll ticks");
    ExpectNoGrowth(afterTicks, afterRefreshes, "refreshes");
}
