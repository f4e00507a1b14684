/* A small but real screen saver, for trying NAPKIT by hand and for the screenshots.
 *
 *   /s (or /S, -s, -S; may be followed by more arguments)
 *       full-screen black topmost window with a bouncing coloured ball; it
 *       closes on a key, a mouse button, or a mouse move of more than a few
 *       pixels.
 *   no argument, /c or /c:<window>
 *       a settings dialog (demosaver.rc) that closes on OK; never a message
 *       box.
 *   /p <window>, or anything else
 *       exits at once (no preview is drawn).
 * Only the first argument after the program path counts; the path may be
 * quoted and contain blanks. The saver window's class is "NapkitDemoSaver". */
#include <windows.h>
#include <stdlib.h>

#include "demosaver.h"

#define CLASS_NAME "NapkitDemoSaver"
#define NAME_SIZE 64
#define FRAME_TIMER 1
#define FRAME_MS 30                 /* about 33 frames a second */
#define BALL_SCREEN_FRACTION 8      /* ball diameter = screen height / 8 */
#define STEP_PIXELS 5               /* ball movement per frame on each axis */
#define MOUSE_TOLERANCE 4           /* pixels the mouse may drift unnoticed */

enum mode { MODE_EXIT, MODE_SAVER, MODE_SETTINGS };

static const COLORREF ball_colours[] = {
    RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255),
    RGB(255, 255, 0), RGB(0, 255, 255), RGB(255, 0, 255),
};
#define BALL_COLOUR_COUNT (sizeof ball_colours / sizeof ball_colours[0])

static struct {
    int x, y, dx, dy, diameter;
    unsigned colour;
    BOOL mouse_seen;
    POINT first_mouse;
} ball_state;

static int is_blank(char c) { return c == ' ' || c == '\t'; }

static const char *skip_program_path(const char *p)
{
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p != '\0' && !is_blank(*p))
            ++p;
    }
    while (is_blank(*p))
        ++p;
    return p;
}

static enum mode mode_from_command_line(const char *command_line)
{
    const char *arg = skip_program_path(command_line);
    char letter, after;

    if (*arg == '\0')
        return MODE_SETTINGS;
    if (*arg != '/' && *arg != '-')
        return MODE_EXIT;
    letter = arg[1];
    if (letter >= 'A' && letter <= 'Z')
        letter = (char)(letter - 'A' + 'a');
    after = arg[2];                 /* "/s", "/s ...", "/c:1234" but not "/sx" */
    if (after != '\0' && !is_blank(after) && after != ':')
        return MODE_EXIT;
    if (letter == 's')
        return MODE_SAVER;
    if (letter == 'c')
        return MODE_SETTINGS;
    return MODE_EXIT;
}

static RECT ball_rect(void)
{
    RECT r;
    SetRect(&r, ball_state.x, ball_state.y,
            ball_state.x + ball_state.diameter, ball_state.y + ball_state.diameter);
    return r;
}

/* Moves the ball one step, bouncing off the screen edges with a new colour. */
static void move_ball(HWND window)
{
    RECT client, before = ball_rect(), after;
    GetClientRect(window, &client);
    ball_state.x += ball_state.dx;
    ball_state.y += ball_state.dy;
    if (ball_state.x < 0 || ball_state.x + ball_state.diameter > client.right) {
        ball_state.dx = -ball_state.dx;
        ball_state.x += 2 * ball_state.dx;
        ball_state.colour = (ball_state.colour + 1) % BALL_COLOUR_COUNT;
    }
    if (ball_state.y < 0 || ball_state.y + ball_state.diameter > client.bottom) {
        ball_state.dy = -ball_state.dy;
        ball_state.y += 2 * ball_state.dy;
        ball_state.colour = (ball_state.colour + 1) % BALL_COLOUR_COUNT;
    }
    after = ball_rect();
    InvalidateRect(window, &before, FALSE);
    InvalidateRect(window, &after, FALSE);
}

static void paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    HBRUSH brush = CreateSolidBrush(ball_colours[ball_state.colour]);
    HGDIOBJ old_brush = SelectObject(dc, brush);
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    RECT r = ball_rect();

    FillRect(dc, &ps.rcPaint, (HBRUSH)GetStockObject(BLACK_BRUSH));
    Ellipse(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(brush);
    EndPaint(window, &ps);
}

/* The first WM_MOUSEMOVE only tells where the mouse rests (Windows sends one
 * when the window appears); the saver ends once it has moved away from there. */
static BOOL mouse_moved_away(LPARAM position)
{
    int x = (short)LOWORD(position), y = (short)HIWORD(position);
    if (!ball_state.mouse_seen) {
        ball_state.mouse_seen = TRUE;
        ball_state.first_mouse.x = x;
        ball_state.first_mouse.y = y;
        return FALSE;
    }
    return abs(x - ball_state.first_mouse.x) > MOUSE_TOLERANCE
        || abs(y - ball_state.first_mouse.y) > MOUSE_TOLERANCE;
}

static LRESULT CALLBACK saver_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE:
        SetTimer(window, FRAME_TIMER, FRAME_MS, NULL);
        return 0;
    case WM_TIMER:
        move_ball(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;                   /* paint() fills the background itself */
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_SETCURSOR:
        SetCursor(NULL);
        return TRUE;
    case WM_MOUSEMOVE:
        if (mouse_moved_away(lparam))
            PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_KEYDOWN: case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_SCREENSAVE)
            return 0;               /* already running: do not start another */
        break;
    case WM_DESTROY:
        KillTimer(window, FRAME_TIMER);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

static int run_saver(HINSTANCE instance)
{
    WNDCLASSA wc;
    HWND window;
    MSG msg;
    char name[NAME_SIZE];
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);

    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = saver_proc;
    wc.hInstance = instance;
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszClassName = CLASS_NAME;
    if (!RegisterClassA(&wc))
        return 1;

    ball_state.diameter = height / BALL_SCREEN_FRACTION;
    ball_state.x = (width - ball_state.diameter) / 2;
    ball_state.y = (height - ball_state.diameter) / 2;
    ball_state.dx = STEP_PIXELS;
    ball_state.dy = STEP_PIXELS;

    if (!LoadStringA(instance, IDS_DISPLAY_NAME, name, sizeof name))
        name[0] = '\0';
    window = CreateWindowExA(WS_EX_TOPMOST, CLASS_NAME, name, WS_POPUP | WS_VISIBLE,
                             0, 0, width, height, NULL, NULL, instance, NULL);
    if (window == NULL)
        return 1;
    SetForegroundWindow(window);
    ShowCursor(FALSE);
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    ShowCursor(TRUE);
    return 0;
}

static INT_PTR CALLBACK settings_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    (void)lparam;
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;                /* let Windows focus the OK button */
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    (void)previous;
    (void)arguments;
    (void)show;
    switch (mode_from_command_line(GetCommandLineA())) {
    case MODE_SAVER:
        return run_saver(instance);
    case MODE_SETTINGS:
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETTINGS), NULL, settings_proc, 0);
        return 0;
    default:
        return 0;
    }
}
