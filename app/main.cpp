#include "app/app.h"

// No command line is read; every path returns 0.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunNapkit(instance);
}
