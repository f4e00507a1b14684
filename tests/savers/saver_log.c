/* Appends the command line of a test saver to the file named by the
 * environment variable NAPKIT_SAVER_LOG (see saver_log.h). Uses nothing but
 * KERNEL32, so it behaves the same on every Windows version and under Wine. */
#include <windows.h>

#include "saver_log.h"

#define LOG_VARIABLE "NAPKIT_SAVER_LOG"
#define LOG_PATH_SIZE 1024          /* room for any path the tests use */

/* Several savers may be started at nearly the same time. The file is opened
 * without write sharing, so only one writer holds it at a time; the others
 * retry for a while instead of interleaving their lines. */
#define OPEN_ATTEMPTS 250
#define OPEN_RETRY_DELAY_MS 20      /* 250 x 20 ms = 5 s at most */

static HANDLE open_log_for_append(const char *path)
{
    int attempt;
    for (attempt = 0; attempt < OPEN_ATTEMPTS; ++attempt) {
        HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        if (GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        Sleep(OPEN_RETRY_DELAY_MS);
    }
    return INVALID_HANDLE_VALUE;
}

static void write_all(HANDLE file, const char *text, DWORD length)
{
    DWORD written;
    while (length > 0 && WriteFile(file, text, length, &written, NULL) && written > 0) {
        text += written;
        length -= written;
    }
}

void append_command_line_to_log(void)
{
    char path[LOG_PATH_SIZE];
    DWORD length = GetEnvironmentVariableA(LOG_VARIABLE, path, sizeof path);
    HANDLE file;
    const char *command_line;

    /* 0: absent or empty; >= size: too long for the buffer, so not a path
     * the tests gave. */
    if (length == 0 || length >= sizeof path)
        return;

    file = open_log_for_append(path);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SetFilePointer(file, 0, NULL, FILE_END);
    command_line = GetCommandLineA();
    write_all(file, command_line, (DWORD)lstrlenA(command_line));
    write_all(file, "\r\n", 2);
    CloseHandle(file);
}
