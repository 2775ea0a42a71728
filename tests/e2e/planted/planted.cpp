// A DLL under the name of a system DLL, as a download folder may hold one:
// when it is loaded it leaves PLANTED.TXT beside itself, and then refuses to
// stay, so that nothing else of the program changes.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
    if (length == 0 || length + 16 >= MAX_PATH) return FALSE;
    char *name = path + length;
    while (name > path && name[-1] != '\\') --name;
    lstrcpyA(name, "PLANTED.TXT");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return FALSE;
}
