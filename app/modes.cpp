#include "app/app.h"
#include "settings/settings.h"
#include "system/system.h"
#include "res/resource.h"

namespace {

constexpr char SINGLE_COPY_MUTEX[] = "NAPKIT.SingleCopy";

void ToggleSystemFlag()
{
    appState.screenSaveActive = ReadActiveFlagWindowless() ^ 1;
    StoreActiveFlagWindowless(appState.screenSaveActive);
    // Always shown here, whatever OpenMessageBox says.
    ShowToggleMessage(NULL, appState.screenSaveActive);
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
    BOOL switchedOn = ResumeStoredPause(FALSE);
    LoadDblClickAction(&appState.dblClickItem);
    if (appState.dblClickItem == IDM_DBLCLICK_START && StartConfiguredSaver())
        return;
    // The toggle of a saver that a pause left off is "on", which the past end
    // has just done: toggling again would leave it off.
    if (switchedOn) {
        ShowToggleMessage(NULL, 1);
        return;
    }
    // A start that failed falls back to the toggle, without a word.
    ToggleSystemFlag();
}

int RunTrayMode(HINSTANCE instance)
{
    // Two copies started together can both pass the window test before either
    // window exists; the mutex settles it. The window stays the visible marker.
    HANDLE mutex = CreateMutexA(NULL, FALSE, SINGLE_COPY_MUTEX);
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    if (FindWindowA(APP_NAME, APP_NAME))
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
