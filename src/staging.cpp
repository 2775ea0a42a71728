#include "staging.h"

#include <stdlib.h>
#include <string.h>

#include "paths.h"

int BuildPhaseTwoCommandLine(char *line, size_t lineSize, const char *targetDirectory, const char *run,
                             const char *ownCommandLine, const char *target, const char *sourceDirectory)
{
    char program[PATH_SIZE];
    int fits = CopyText(program, sizeof program, targetDirectory) && JoinPath(program, run);
    if (fits && lineSize > 0) {
        // A program path with a blank would otherwise start another program.
        int quote = strchr(program, ' ') != 0;
        line[0] = '\0';
        fits = (!quote || AppendText(line, lineSize, "\"")) && AppendText(line, lineSize, program) &&
               (!quote || AppendText(line, lineSize, "\""));
        if (fits && ownCommandLine[0])
            fits = AppendText(line, lineSize, " ") && AppendText(line, lineSize, ownCommandLine);
        fits = fits && AppendText(line, lineSize, " -p") && AppendText(line, lineSize, target) &&
               AppendText(line, lineSize, " ") && AppendText(line, lineSize, sourceDirectory);
    }
    if (!fits && lineSize > 0) line[0] = '\0';
    return fits && lineSize > 0;
}

#ifdef _WIN32
#include "setup1.h"

CopyBufferRecord CopyBuffer;
void *(*CopyBufferAllocate)(size_t size) = malloc;
void (*CopyBufferFree)(void *block) = free;
DWORD DiskFigures[4];

int PrepareTargetDirectory()
{
    // Placeholder until free space and directories are handled.
    return 1;
}

int MakeDirectory(const char *path)
{
    (void)path;
    return 1;
}

int ChangeDirectory(const char *path)
{
    char buffer[PATH_SIZE];
    if (!CopyText(buffer, sizeof buffer, path)) return 1;
    return SetCurrentDirectoryA(buffer) ? 0 : 1;
}

void AcquireCopyBuffer() {}
void ReleaseCopyBuffer() {}
const char *FindExtension(const char *path) { return path + strlen(path); }

int MakeDollarName(char *out, const char *spec)
{
    CopyText(out, PATH_SIZE, spec);
    return 0;
}

int CopyFileSpec(const char *spec, const char *destinationDirectory)
{
    (void)spec;
    (void)destinationDirectory;
    return 2;
}

int StageFiles()
{
    // Placeholder until the staging list is copied.
    return 1;
}

int LaunchPhaseTwo(const char *ownCommandLine)
{
    ChangeDirectory(TargetDirectory);
    char line[COMMAND_LINE_SIZE];
    if (!BuildPhaseTwoCommandLine(line, sizeof line, TargetDirectory, PlanRun, ownCommandLine, PlanTarget,
                                  SourceDirectory))
        return 0;
    WinExec(line, SW_SHOW);
    return 1;
}
#endif
