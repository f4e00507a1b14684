#include "app/app.h"
#include "settings/settings.h"
#include "system/system.h"
#include "res/resource.h"

namespace {

constexpr char SINGLE_COPY_MUTEX[] = "NAPKIT.SingleCopy";
// A NAPKIT that holds the mutex has its window well within this.
constexpr DWORD NAME_WAIT_MS = 2000;
constexpr DWORD NAME_WAIT_STEP_MS = 100;

// Whether this copy is the tray copy. Another NAPKIT's window: it gives way
// without a word. The name held by another program (its window, or the mutex
// with no NAPKIT window): it says so. Two copies started together can both
// pass the window test before either window exists; the mutex, owned for the
// tray copy's life, settles it. One left by a copy that has ended is free.
BOOL TakeTrayName()
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, SINGLE_COPY_MUTEX);
    BOOL owned = mutex == NULL;   // nothing to settle a race with: the window alone
    for (DWORD waited = 0;; waited += NAME_WAIT_STEP_MS) {
        HWND holder = FindWindowA(APP_NAME, APP_NAME);
        if (holder) {
            if (!IsNapkitWindow(holder))
                ShowNameTaken(FALSE);
            return FALSE;
        }
        if (owned)
            return TRUE;
        if (waited >= NAME_WAIT_MS) {
            ShowNameTaken(FALSE);
            return FALSE;
        }
        DWORD result = WaitForSingleObject(mutex, NAME_WAIT_STEP_MS);
        owned = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
}

}  // namespace

BOOL StartConfiguredSaver()
{
    ReadConfiguredSaver(appState.currentSaver);
    // No saver set ("Nothing!"), or a value that names no saver file: there
    // is nothing to wait for.
    if (!IsRunnableSaverPath(appState.currentSaver))
        return FALSE;
    LoadCommandWait(&appState.commandWaitMs);
    Sleep(CommandWaitMs());
    return RunSaver(appState.currentSaver, SAVER_RUN_ARGS, SW_SHOWNORMAL);
}

BOOL IsForeignTimer(const MSG& msg)
{
    // DispatchMessage calls a WM_TIMER's lParam as the timer's procedure, even
    // for one posted by another program (on Windows 9x, NT 4.0 and 2000): the
    // program's own timers have none.
    return msg.message == WM_TIMER && msg.lParam != 0;
}

ATOM RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_ACTIVECAPTION + 1);   // never shown
    windowClass.lpszClassName = APP_NAME;
    return RegisterClassA(&windowClass);
}

void RunOneShot()
{
    BOOL switchedOn = ResumeStoredOff(FALSE);
    LoadDblClickAction(&appState.dblClickItem);
    if (appState.dblClickItem == IDM_DBLCLICK_START && StartConfiguredSaver())
        return;
    // The toggle of a saver that a pause left off is "on", which the past end
    // has just done: toggling again would leave it off. A start that failed
    // falls back to the toggle, without a word of its own.
    SwitchScreenSaver(NULL, FROM_ONE_SHOT, switchedOn ? WISH_ON : WISH_FLIP);
}

int RunTrayMode(HINSTANCE instance)
{
    if (!TakeTrayName())
        return 0;
    appState.instance = instance;
    if (!RegisterMainWindowClass(instance))
        return 0;
    HWND window = CreateWindowExA(0, APP_NAME, APP_NAME, WS_OVERLAPPED, CW_USEDEFAULT,
                                  CW_USEDEFAULT, MAIN_WINDOW_SIZE, MAIN_WINDOW_SIZE, NULL, NULL,
                                  instance, NULL);
    if (!window)
        return 0;
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    // Only the main window's messages; a fetch for a destroyed window fails
    // with -1, which ends the loop as the quit message does.
    MSG msg;
    while (GetMessageA(&msg, window, 0, 0) > 0) {
        if (IsForeignTimer(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

int RunNapkit(HINSTANCE instance)
{
    if (ReadAppMode() == ONE_SHOT_MODE) {
        RunOneShot();
        return 0;
    }
    return RunTrayMode(instance);
}
