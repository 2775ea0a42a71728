#include "staging.h"

#include <stdio.h>
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

int SpaceSuffices(unsigned long sectorsPerCluster, unsigned long bytesPerSector, unsigned long freeClusters,
                  int tempSpace)
{
    unsigned long clusterBytes = (unsigned long)(unsigned int)(sectorsPerCluster * bytesPerSector);
    long double freeKilobytes = (long double)clusterBytes * (long double)freeClusters / 1024.0L;
    return (long double)tempSpace < freeKilobytes;
}

const char *FindExtension(const char *path)
{
    const char *end = path + strlen(path);
    for (const char *p = end; p > path;) {
        --p;
        if (*p == '.') return p + 1;
        if (*p == '/' || *p == '\\') break;
    }
    return end;
}

int HasWildcard(const char *text) { return strchr(text, '*') != 0 || strchr(text, '?') != 0; }

char *TakeListEntry(char **cursor, int *ended)
{
    char *entry = *cursor;
    char *stop = entry;
    while (*stop && *stop != ',') ++stop;
    *ended = *stop == '\0';
    if (!*ended) {
        *stop = '\0';
        *cursor = stop + 1;
    } else {
        *cursor = stop;
    }
    return entry;
}

#ifdef _WIN32
#include "setup1.h"

CopyBufferRecord CopyBuffer;
void *(*CopyBufferAllocate)(size_t size) = malloc;
void (*CopyBufferFree)(void *block) = free;
DWORD DiskFigures[4];
static SECURITY_ATTRIBUTES DirectorySecurity;  // all zero: the default security

int PrepareTargetDirectory()
{
    char root[4];
    root[0] = (char)(TargetDirectory[0] & 0x5F);
    if (root[0] == '@') root[0] = '\0';
    root[1] = ':';
    root[2] = '\\';
    root[3] = '\0';
    // A failed query leaves the figures of the last one that succeeded.
    GetDiskFreeSpaceA(root[0] ? root : "", &DiskFigures[0], &DiskFigures[1], &DiskFigures[2], &DiskFigures[3]);
    if (!SpaceSuffices(DiskFigures[0], DiskFigures[1], DiskFigures[2], PlanTempSpace)) return 0;
    if (MakeDirectory(TargetDirectory) == 0) return 1;
    return ChangeDirectory(TargetDirectory) == 0;
}

int MakeDirectory(const char *path)
{
    char buffer[PATH_SIZE];
    if (!CopyText(buffer, sizeof buffer, path)) return 1;
    if (CreateDirectoryA(buffer, &DirectorySecurity)) return 0;
    char *cut = strrchr(buffer, '\\');
    if (!cut) cut = strrchr(buffer, '/');
    if (!cut || cut == buffer) return 1;
    *cut = '\0';
    if (MakeDirectory(buffer) != 0) return 1;
    *cut = '\\';
    return CreateDirectoryA(buffer, &DirectorySecurity) ? 0 : 1;
}

int ChangeDirectory(const char *path)
{
    char buffer[PATH_SIZE];
    if (!CopyText(buffer, sizeof buffer, path)) return 1;
    return SetCurrentDirectoryA(buffer) ? 0 : 1;
}

void AcquireCopyBuffer()
{
    if (CopyBuffer.holders++ != 0) return;
    CopyBuffer.size = COPY_BUFFER_MAX;
    for (;;) {
        CopyBuffer.buffer = (char *)CopyBufferAllocate(CopyBuffer.size);
        if (CopyBuffer.buffer) return;
        if (CopyBuffer.size == 1) {
            CopyBuffer.holders = 0;
            return;
        }
        CopyBuffer.size /= 2;
    }
}

void ReleaseCopyBuffer()
{
    if (CopyBuffer.holders <= 0) return;
    if (--CopyBuffer.holders == 0 && CopyBuffer.buffer) {
        CopyBufferFree(CopyBuffer.buffer);
        CopyBuffer.buffer = 0;
    }
}

int MakeDollarName(char *out, const char *spec)
{
    if (!CopyText(out, PATH_SIZE, spec)) return 0;
    const char *extension = FindExtension(out);
    if (extension[0] == '\0' || lstrcmpiA(extension, "sys") != 0) return 0;
    out[strlen(out) - 1] = '$';
    return 1;
}

// The full path of a path as the platform resolves it, without a trailing
// separator except at a root. 0 when it does not fit.
static int ResolvePath(const char *path, char *full)
{
    DWORD length = GetFullPathNameA(path, PATH_SIZE, full, 0);
    if (length == 0 || length >= PATH_SIZE) return 0;
    while (length > 1 && (full[length - 1] == '\\' || full[length - 1] == '/') && full[length - 2] != ':')
        full[--length] = '\0';
    return 1;
}

int SamePath(const char *a, const char *b)
{
    char fullA[PATH_SIZE], fullB[PATH_SIZE];
    if (!ResolvePath(a, fullA) || !ResolvePath(b, fullB)) return lstrcmpiA(a, b) == 0;
    return lstrcmpiA(fullA, fullB) == 0;
}

// 1 when path names the very file open as source, under whatever alias
// (short name, another spelling of its folder).
static int IsOpenFile(HANDLE source, const char *path)
{
    HANDLE other = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    if (other == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION a, b;
    int same = GetFileInformationByHandle(source, &a) && GetFileInformationByHandle(other, &b) &&
               a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
               a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(other);
    return same;
}

// Copies one open source into a new destination; the result code.
static int CopyOpenFile(HANDLE source, HANDLE destination, const FILETIME *lastWrite)
{
    for (;;) {
        DWORD got = 0, written = 0;
        // A read that fails midway leaves a partial copy; it must not pass
        // for a whole one, so it gets no time and ends the enumeration.
        if (!ReadFile(source, CopyBuffer.buffer, CopyBuffer.size, &got, 0)) return COPY_READ_FAULT;
        if (got == 0) {
            SetFileTime(destination, 0, 0, lastWrite);
            return COPY_DONE;
        }
        if (!WriteFile(destination, CopyBuffer.buffer, got, &written, 0) || written != got) return COPY_WRITE_FAULT;
    }
}

int CopyFileSpec(const char *spec, const char *destinationDirectory)
{
    AcquireCopyBuffer();
    if (!CopyBuffer.buffer) return COPY_NO_MEMORY;

    char dollarSpec[PATH_SIZE], sourcePath[PATH_SIZE], destinationPath[PATH_SIZE];
    WIN32_FIND_DATAA match;
    HANDLE search = INVALID_HANDLE_VALUE;
    // A wildcard spec keeps its matches' own names: in "$" mode it would
    // name its copies with the wildcards themselves.
    int dollarMode = !HasWildcard(FileNamePart(spec)) && MakeDollarName(dollarSpec, spec);
    if (dollarMode) {
        search = FindFirstFileA(dollarSpec, &match);
        dollarMode = search != INVALID_HANDLE_VALUE;
    }
    if (!dollarMode) search = FindFirstFileA(spec, &match);
    if (search == INVALID_HANDLE_VALUE) {
        ReleaseCopyBuffer();
        return COPY_NOT_FOUND;
    }

    int result = COPY_DONE;
    do {
        const char *name = match.cAlternateFileName[0] ? match.cAlternateFileName : match.cFileName;
        if (!CopyText(sourcePath, sizeof sourcePath, spec)) continue;
        DirectoryPart(sourcePath);
        if (!JoinPath(sourcePath, name)) continue;
        if (!CopyText(destinationPath, sizeof destinationPath, destinationDirectory) ||
            !JoinPath(destinationPath, dollarMode ? FileNamePart(spec) : name))
            continue;

        HANDLE source = CreateFileA(sourcePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, 0);
        // A folder among the matches cannot be opened either: pass it over.
        if (source == INVALID_HANDLE_VALUE) continue;
        FILETIME lastWrite;
        // The destination is created anew; were it the source itself, the
        // source would be lost.
        if (!GetFileTime(source, 0, 0, &lastWrite) || lstrcmpiA(sourcePath, destinationPath) == 0 ||
            IsOpenFile(source, destinationPath)) {
            CloseHandle(source);
            continue;
        }
        HANDLE destination = CreateFileA(destinationPath, GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
        if (destination != INVALID_HANDLE_VALUE) {
            result = CopyOpenFile(source, destination, &lastWrite);
            CloseHandle(destination);
        }
        CloseHandle(source);
    } while (result == COPY_DONE && FindNextFileA(search, &match));
    FindClose(search);
    ReleaseCopyBuffer();
    return result;
}

int StageFiles()
{
    char pathA[PATH_SIZE], pathB[PATH_SIZE];
    // Never delete or rename away the files about to be copied.
    int sameDirectory = SamePath(TargetDirectory, SourceDirectory);
    char *copyCursor = PlanCopyFiles, *renameCursor = PlanRenameTo;
    int last;
    do {
        int renameEnded;
        char *copyEntry = TakeListEntry(&copyCursor, &last);
        char *renameEntry = TakeListEntry(&renameCursor, &renameEnded);
        int plain = strchr(copyEntry, '*') == 0 && !sameDirectory;
        int renameReady = 0;
        if (plain) {
            if (CopyText(pathA, sizeof pathA, TargetDirectory) && JoinPath(pathA, copyEntry)) remove(pathA);
            renameReady = CopyText(pathA, sizeof pathA, TargetDirectory) && JoinPath(pathA, renameEntry);
            if (renameReady) remove(pathA);
        }
        if (!CopyText(pathB, sizeof pathB, SourceDirectory) || !JoinPath(pathB, copyEntry)) continue;
        int result = CopyFileSpec(pathB, TargetDirectory);
        if (result == COPY_NO_MEMORY || result == COPY_WRITE_FAULT || result == COPY_READ_FAULT) return 0;
        if (plain && renameReady && renameEntry[0] && CopyText(pathB, sizeof pathB, TargetDirectory) &&
            JoinPath(pathB, copyEntry))
            rename(pathB, pathA);
    } while (!last);
    return 1;
}

int LaunchPhaseTwo(const char *ownCommandLine)
{
    char line[COMMAND_LINE_SIZE];
    if (!BuildPhaseTwoCommandLine(line, sizeof line, TargetDirectory, PlanRun, ownCommandLine, PlanTarget,
                                  SourceDirectory))
        return 0;
    ChangeDirectory(TargetDirectory);
    WinExec(line, SW_SHOW);
    return 1;
}
#endif
