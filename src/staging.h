// Staging and hand-off: free space and directories, the copy engine, the
// staging list and the start of the second phase.
#pragma once
#include <stddef.h>

enum { COMMAND_LINE_SIZE = 256, COPY_BUFFER_MAX = 61440 };

// Assembles the second phase's command line: program (quoted when it holds
// a blank), the pass-through command line when not empty, " -p" and the
// target text, a blank and the source directory. Returns 0 and leaves line
// empty when the whole line would not fit lineSize bytes.
int BuildPhaseTwoCommandLine(char *line, size_t lineSize, const char *targetDirectory, const char *run,
                             const char *ownCommandLine, const char *target, const char *sourceDirectory);

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
const char *FindExtension(const char *path);
int MakeDollarName(char *out, const char *spec);
int CopyFileSpec(const char *spec, const char *destinationDirectory);

int StageFiles();
int LaunchPhaseTwo(const char *ownCommandLine);
#endif
