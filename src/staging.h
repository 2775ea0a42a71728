// Staging and hand-off: free space and directories, the copy engine, the
// staging list and the start of the second phase.
#pragma once
#include <stddef.h>

enum { COMMAND_LINE_SIZE = 256, COPY_BUFFER_MAX = 61440 };

// Result codes of CopyFileSpec: the Win32 error numbers of those names.
enum {
    COPY_DONE = 0,           // ERROR_SUCCESS
    COPY_NOT_FOUND = 2,      // ERROR_FILE_NOT_FOUND
    COPY_NO_MEMORY = 8,      // ERROR_NOT_ENOUGH_MEMORY
    COPY_WRITE_FAULT = 29,   // ERROR_WRITE_FAULT
    COPY_READ_FAULT = 30,    // ERROR_READ_FAULT
};

// Assembles the second phase's command line: program (quoted when it holds
// a blank), the pass-through command line when not empty, " -p" and the
// target text, a blank and the source directory. Returns 0 and leaves line
// empty when the whole line would not fit lineSize bytes.
int BuildPhaseTwoCommandLine(char *line, size_t lineSize, const char *targetDirectory, const char *run,
                             const char *ownCommandLine, const char *target, const char *sourceDirectory);

// 1 when a drive with these figures has strictly more free kilobytes than
// tempSpace asks for; the kilobytes keep their fraction.
int SpaceSuffices(unsigned long sectorsPerCluster, unsigned long bytesPerSector, unsigned long freeClusters,
                  int tempSpace);
// Extension of the last component of path (text after its dot), or the
// empty string at the end of path when there is none.
const char *FindExtension(const char *path);
// 1 when the text holds "*" or "?".
int HasWildcard(const char *text);
// One entry of a comma-separated list, cut in place at its comma; the
// cursor moves past the comma. At the end of the list the cursor stays on
// the terminator, so that every later entry is empty, and *ended is set.
char *TakeListEntry(char **cursor, int *ended);

#ifdef _WIN32
#include <windows.h>

struct CopyBufferRecord {
    char *buffer;
    unsigned long size;
    int holders;
};
extern CopyBufferRecord CopyBuffer;
// The allocator of the copy buffer; tests put their own in its place.
extern void *(*CopyBufferAllocate)(size_t size);
extern void (*CopyBufferFree)(void *block);

// Free-space figures of the last successful query: sectors per cluster,
// bytes per sector, free clusters, total clusters.
extern DWORD DiskFigures[4];

int PrepareTargetDirectory();
int MakeDirectory(const char *path);
int ChangeDirectory(const char *path);

void AcquireCopyBuffer();
void ReleaseCopyBuffer();
int MakeDollarName(char *out, const char *spec);
int CopyFileSpec(const char *spec, const char *destinationDirectory);
// 1 when both paths name the same file or directory as the platform
// resolves them (full path, case ignored).
int SamePath(const char *a, const char *b);

int StageFiles();
int LaunchPhaseTwo(const char *ownCommandLine);
#endif
