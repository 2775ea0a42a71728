// Stand-in for the second phase: records how it was started. The record
// goes to the file named by PHASE2_RECORD, else to PHASE2.TXT beside the
// program. Four lines: GetCommandLineA, the WinMain command line, the
// current directory, the files there with their sizes ("NAME=SIZE;" each)
// when it started; a last line "end" says the record is complete. With
// PHASE2_HOLD=MS it then stays that long before it ends: the first phase
// waits in its start of the program meanwhile, its backdrop still up.
#include <windows.h>

static void WriteLine(HANDLE file, const char *text)
{
    DWORD written;
    WriteFile(file, text, lstrlenA(text), &written, 0);
    WriteFile(file, "\r\n", 2, &written, 0);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("PHASE2_RECORD", path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        length = GetModuleFileNameA(0, path, sizeof path);
        if (length == 0 || length >= sizeof path) return 1;
        char *slash = path + length;
        while (slash > path && slash[-1] != '\\' && slash[-1] != '/') --slash;
        static const char recordName[] = "PHASE2.TXT";
        // The record's name may be longer than the program's own.
        if ((size_t)(slash - path) + sizeof recordName > sizeof path) return 1;
        CopyMemory(slash, recordName, sizeof recordName);
    }
    char currentDir[MAX_PATH];
    if (!GetCurrentDirectoryA(sizeof currentDir, currentDir)) currentDir[0] = '\0';
    // What the first phase staged, as the second phase finds it.
    static char files[8192];
    int used = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*", &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && used < (int)sizeof files - MAX_PATH - 16)
            used += wsprintfA(files + used, "%s=%lu;", found.cFileName, found.nFileSizeLow);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return 1;
    WriteLine(file, GetCommandLineA());
    WriteLine(file, commandLine);
    WriteLine(file, currentDir);
    WriteLine(file, files);
    WriteLine(file, "end");
    CloseHandle(file);
    char hold[16];
    length = GetEnvironmentVariableA("PHASE2_HOLD", hold, sizeof hold);
    DWORD ms = 0;
    for (DWORD i = 0; i < length && i < sizeof hold && hold[i] >= '0' && hold[i] <= '9'; ++i)
        ms = ms * 10 + (hold[i] - '0');
    Sleep(ms);
    return 0;
}
