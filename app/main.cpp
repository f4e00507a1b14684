#include "app/app.h"

// Without switches: tray or one-shot mode by AppMode, exit code 0.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    if (HasSwitches(commandLine))
        return RunCommandLine(commandLine);
    return RunNapkit(instance);
}
