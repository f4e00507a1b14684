/* A program with one window that covers the whole screen and stays in front
   until it is killed: what a game, a video or a presentation looks like to
   NAPKIT. With the argument "half" the window covers half the screen; with
   "progman" it has the class of the desktop's shell window. */
#include <windows.h>

#define FRONT_TIMER_ID 1
#define FRONT_INTERVAL_MS 200

static LRESULT CALLBACK FullScreenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER) {
        SetForegroundWindow(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = FullScreenProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    windowClass.lpszClassName = lstrcmpA(commandLine, "progman") == 0 ? "Progman" : "NapkitTestFullScreen";
    RegisterClassA(&windowClass);
    int width = GetSystemMetrics(SM_CXSCREEN);
    if (lstrcmpA(commandLine, "half") == 0)
        width /= 2;
    HWND window = CreateWindowExA(WS_EX_TOPMOST, windowClass.lpszClassName, "full screen", WS_POPUP | WS_VISIBLE,
                                  0, 0, width, GetSystemMetrics(SM_CYSCREEN), NULL, NULL, instance, NULL);
    SetForegroundWindow(window);
    SetTimer(window, FRONT_TIMER_ID, FRONT_INTERVAL_MS, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
