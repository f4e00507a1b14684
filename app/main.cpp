#include "app/app.h"

// Without switches: tray or one-shot mode by AppMode, exit code 0.
// The command line is read here, not taken from WinMain: the C runtime skips
// the program's name only up to the first blank, or the first byte from 0x80,
// and hands the rest of an unquoted path over as switches.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    char modulePath[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, modulePath, sizeof modulePath);
    if (length == 0 || length >= sizeof modulePath)
        modulePath[0] = '\0';
    const char* switches = SkipProgramName(GetCommandLineA(), modulePath);
    if (HasSwitches(switches))
        return RunCommandLine(switches);
    return RunNapkit(instance);
}
