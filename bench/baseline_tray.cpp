// The least a tray program can do: register a class, create a hidden window
// and add one tray icon. The start-up benchmark times it next to NAPKIT.EXE,
// built with the same compiler flags and linked the same way.
#include <windows.h>
#include <shellapi.h>

namespace {

constexpr char CLASS_NAME[] = "NAPKITBASE";   // class and title, found by the benchmark
constexpr UINT ICON_ID = 1020;
constexpr UINT WM_ICON_NOTIFY = 0x83FC;
constexpr int WINDOW_SIZE = 64;

NOTIFYICONDATAA iconData;

LRESULT CALLBACK BaselineWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        iconData.cbSize = NOTIFYICONDATAA_V1_SIZE;
        iconData.hWnd = window;
        iconData.uID = ICON_ID;
        iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        iconData.uCallbackMessage = WM_ICON_NOTIFY;
        iconData.hIcon = LoadIconA(NULL, (LPCSTR)IDI_APPLICATION);
        lstrcpyA(iconData.szTip, CLASS_NAME);
        Shell_NotifyIconA(NIM_ADD, &iconData);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        Shell_NotifyIconA(NIM_DELETE, &iconData);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = BaselineWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = CLASS_NAME;
    if (!RegisterClassA(&windowClass))
        return 0;
    HWND window = CreateWindowExA(0, CLASS_NAME, CLASS_NAME, WS_OVERLAPPED, CW_USEDEFAULT,
                                  CW_USEDEFAULT, WINDOW_SIZE, WINDOW_SIZE, NULL, NULL, instance,
                                  NULL);
    if (!window)
        return 0;
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
