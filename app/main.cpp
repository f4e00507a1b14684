#include "app/app.h"

// NAPKIT.EXE starts here, with no C runtime: it imports only system DLLs
// (CMakeLists.txt links it with -nostdlib). Nothing runs before this
// function, so the program has no static constructors, atexit calls or
// guarded local statics; the linker refuses constructors.
//
// Without switches: tray or one-shot mode by AppMode, exit code 0.
// The command line is read here as it is: the C runtime's WinMain would skip
// the program's name only up to the first blank, or the first byte from 0x80,
// and hand the rest of an unquoted path over as switches.
//
// The 32-bit system enters with the stack aligned to 4 bytes only; the
// compiler assumes 16 (the C runtime's start-up realigns it the same way).
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void NapkitEntry()
{
    char modulePath[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, modulePath, sizeof modulePath);
    if (length == 0 || length >= sizeof modulePath)
        modulePath[0] = '\0';
    const char* switches = SkipProgramName(GetCommandLineA(), modulePath);
    int result;
    if (HasSwitches(switches))
        result = RunCommandLine(switches);
    else
        result = RunNapkit(GetModuleHandleA(NULL));
    ExitProcess((UINT)result);
}
