// Starts its own command line with WinExec and ends: the least a first
// phase can do before the second starts.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    WinExec(commandLine, SW_SHOW);
    return 1;
}
