/* Test screen saver that only reports how it was started.
 *
 * Built four times with different resources (logsaver.rc, nameless.rc,
 * longname.rc, emptyname.rc): the program is the same, only the display name
 * in string 1 of the resources differs, so the tests can check how NAPKIT
 * reads those names. Whatever the arguments (/s, /c, /p ...), it appends its
 * command line to the file named by NAPKIT_SAVER_LOG, if set, and exits with
 * code 0 at once: no window, nothing that could wait for a user. */
#include <windows.h>

#include "saver_log.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    append_command_line_to_log();
    return 0;
}
