// End-to-end harness: lays out a medium in a temporary folder, runs
// SETUP1.EXE on it and reads what the stand-in second phase recorded.
#pragma once
#include <windows.h>

#include <string>

// Value of --NAME=VALUE on the test program's command line, as a Windows
// path when it is a Unix one ("/x/y" becomes "Z:\x\y"); empty when absent.
std::string TestOption(const char *name);

struct Medium {
    std::string dir;  // the medium folder, a Windows path without trailing "\"
};

// Makes a fresh folder %TEMP%\setup1-TAG-PID (removing any leftover) and
// copies SETUP1.EXE into it. False when that fails.
bool MediumCreate(Medium *medium, const char *tag);
// Writes a file below the medium folder (folders made as needed).
bool MediumWriteFile(const Medium *medium, const char *relativeName, const std::string &content);
// Writes SETUP1.INF with the given text.
bool MediumWritePlan(const Medium *medium, const std::string &text);
// Copies the stand-in second phase into the medium under the given name.
bool MediumAddPhase2(const Medium *medium, const char *name);
// Removes the medium folder and everything in it.
void MediumRemove(Medium *medium);

// Recursive delete of a folder; clears read-only attributes on the way.
void RemoveTree(const std::string &dir);
bool FileExists(const std::string &path);
std::string ReadWholeFile(const std::string &path);  // empty when missing
std::string TempFolder(const char *tag);             // %TEMP%\setup1-TAG-PID, not created

struct SetupRun {
    PROCESS_INFORMATION process;
    DWORD exitCode;
    bool timedOut;
};

// Starts MEDIUM\SETUP1.EXE with the command line after the program name.
// The stand-in second phase writes its record to recordPath (passed in the
// environment variable PHASE2_RECORD). False when the start fails.
bool StartSetup(const Medium *medium, const char *commandLine, const std::string &recordPath, SetupRun *run);
// Waits for SETUP1.EXE to end; on timeout it is terminated, timedOut set and
// exitCode is 0xFFFFFFFF. Returns the exit code.
DWORD WaitSetup(SetupRun *run, DWORD timeoutMs = 30000);

struct Phase2Record {
    std::string commandLine;  // GetCommandLineA
    std::string winMainLine;  // the command line WinMain received
    std::string currentDir;   // GetCurrentDirectoryA at start
};
// Waits up to timeoutMs for the record file to be complete, then reads it.
bool ReadPhase2Record(const std::string &recordPath, Phase2Record *record, DWORD timeoutMs = 10000);
