#include "e2e.h"

#include <stdio.h>
#include <string.h>

#include "test_args.h"

std::string TestOption(const char *name)
{
    std::string prefix = std::string("--") + name + "=";
    for (int i = 1; i < TestArgc; ++i) {
        if (strncmp(TestArgv[i], prefix.c_str(), prefix.size()) != 0) continue;
        std::string value = TestArgv[i] + prefix.size();
        if (!value.empty() && value[0] == '/') {
            value = "Z:" + value;
            for (char &c : value)
                if (c == '/') c = '\\';
        }
        return value;
    }
    return std::string();
}

std::string ReadWholeFile(const std::string &path)
{
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return data;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) data.append(chunk, n);
    fclose(f);
    return data;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TempFolder(const char *tag)
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return std::string();
    std::string dir(temp, length);
    if (dir.back() != '\\') dir += '\\';
    return dir + "setup1-" + tag + "-" + std::to_string(GetCurrentProcessId());
}

void RemoveTree(const std::string &dir)
{
    if (dir.empty()) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = dir + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(dir.c_str());
}

// Makes every folder of path that is missing; path is a folder.
static bool MakeFolders(const std::string &path)
{
    if (path.empty() || FileExists(path)) return true;
    size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0 && path[slash - 1] != ':' && !MakeFolders(path.substr(0, slash)))
        return false;
    return CreateDirectoryA(path.c_str(), 0) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool MediumCreate(Medium *medium, const char *tag)
{
    medium->dir = TempFolder(tag);
    if (medium->dir.empty()) return false;
    RemoveTree(medium->dir);
    if (!MakeFolders(medium->dir)) return false;
    std::string setup1 = TestOption("setup1");
    return !setup1.empty() && CopyFileA(setup1.c_str(), (medium->dir + "\\SETUP1.EXE").c_str(), FALSE);
}

bool MediumWriteFile(const Medium *medium, const char *relativeName, const std::string &content)
{
    std::string path = medium->dir + "\\" + relativeName;
    size_t slash = path.find_last_of("\\/");
    if (!MakeFolders(path.substr(0, slash))) return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), (DWORD)content.size(), &written, 0);
    CloseHandle(file);
    return ok && written == content.size();
}

bool MediumWritePlan(const Medium *medium, const std::string &text)
{
    return MediumWriteFile(medium, "SETUP1.INF", text);
}

bool MediumAddPhase2(const Medium *medium, const char *name)
{
    std::string phase2 = TestOption("phase2");
    return !phase2.empty() && CopyFileA(phase2.c_str(), (medium->dir + "\\" + name).c_str(), FALSE);
}

void MediumRemove(Medium *medium)
{
    RemoveTree(medium->dir);
    medium->dir.clear();
}

bool StartSetup(const Medium *medium, const char *commandLine, const std::string &recordPath, SetupRun *run)
{
    memset(&run->process, 0, sizeof run->process);
    run->exitCode = 0xFFFFFFFF;
    run->timedOut = false;
    std::string program = medium->dir + "\\SETUP1.EXE";
    std::string line = "\"" + program + "\"";
    if (commandLine && commandLine[0]) line += std::string(" ") + commandLine;
    // CreateProcessA may write into the command line.
    std::string writable = line + '\0';
    // The environment is inherited; the second phase inherits it in turn.
    SetEnvironmentVariableA("PHASE2_RECORD", recordPath.c_str());
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    BOOL started = CreateProcessA(program.c_str(), &writable[0], 0, 0, FALSE, 0, 0, medium->dir.c_str(), &startup,
                                  &run->process);
    SetEnvironmentVariableA("PHASE2_RECORD", 0);
    return started != FALSE;
}

DWORD WaitSetup(SetupRun *run, DWORD timeoutMs)
{
    if (!run->process.hProcess) return run->exitCode;
    if (WaitForSingleObject(run->process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(run->process.hProcess, 0xFFFFFFFF);
        WaitForSingleObject(run->process.hProcess, 5000);
        run->timedOut = true;
        run->exitCode = 0xFFFFFFFF;
    } else if (!GetExitCodeProcess(run->process.hProcess, &run->exitCode)) {
        run->exitCode = 0xFFFFFFFF;
    }
    CloseHandle(run->process.hThread);
    CloseHandle(run->process.hProcess);
    run->process.hThread = 0;
    run->process.hProcess = 0;
    return run->exitCode;
}

// The record is complete once its last line is "end".
static bool SplitRecord(const std::string &data, Phase2Record *record)
{
    std::string lines[4];
    size_t start = 0;
    for (std::string &line : lines) {
        size_t end = data.find("\r\n", start);
        if (end == std::string::npos) return false;
        line = data.substr(start, end - start);
        start = end + 2;
    }
    if (lines[3] != "end" || start != data.size()) return false;
    record->commandLine = lines[0];
    record->winMainLine = lines[1];
    record->currentDir = lines[2];
    return true;
}

bool ReadPhase2Record(const std::string &recordPath, Phase2Record *record, DWORD timeoutMs)
{
    DWORD startTime = GetTickCount();
    for (;;) {
        if (SplitRecord(ReadWholeFile(recordPath), record)) return true;
        if (GetTickCount() - startTime >= timeoutMs) return false;
        Sleep(50);
    }
}
