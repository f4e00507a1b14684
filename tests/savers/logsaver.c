/* Test saver: appends its command line, " in " and its current folder to the
 * file named by NAPKIT_SAVER_LOG and exits at once, whatever the arguments.
 * Savers started together take turns: the file is opened without write
 * sharing and retried. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    char path[MAX_PATH];
    char folder[MAX_PATH];
    const char *line = GetCommandLineA();
    DWORD length = GetEnvironmentVariableA("NAPKIT_SAVER_LOG", path, sizeof path);
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD written;
    int attempt;
    if (length == 0 || length >= sizeof path)
        return 0;
    for (attempt = 0; attempt < 250 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
        if (file == INVALID_HANDLE_VALUE)
            Sleep(20);
    }
    SetFilePointer(file, 0, NULL, FILE_END);
    WriteFile(file, line, (DWORD)lstrlenA(line), &written, NULL);
    length = GetCurrentDirectoryA(sizeof folder, folder);
    WriteFile(file, " in ", 4, &written, NULL);
    WriteFile(file, folder, length < sizeof folder ? length : 0, &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
    return 0;
}
