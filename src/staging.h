// Staging and hand-off: free space and directories, the copy engine, the
// staging list and the start of the second phase.
#pragma once
#include <stddef.h>

#include "state.h"

// LAUNCH_MESSAGE_SIZE: the box of a second phase that did not start, its
// path and the reason included.
enum { COMMAND_LINE_SIZE = 256, LAUNCH_MESSAGE_SIZE = PATH_SIZE + 128, COPY_BUFFER_MAX = 61440 };

// Result codes of CopyFileSpec: the Win32 error numbers of those names.
enum {
    COPY_DONE = 0,           // ERROR_SUCCESS
    COPY_NOT_FOUND = 2,      // ERROR_FILE_NOT_FOUND
    COPY_NO_MEMORY = 8,      // ERROR_NOT_ENOUGH_MEMORY
    COPY_WRITE_FAULT = 29,   // ERROR_WRITE_FAULT
    COPY_READ_FAULT = 30,    // ERROR_READ_FAULT
    COPY_CREATE_FAULT = 82,  // ERROR_CANNOT_MAKE: a copy could not be created anew
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
// 1 when two files are one: by their identities (volume serial number and
// file index) where the file system gives both files an index other than 0,
// else by samePath, whether their full paths are equal when case is ignored.
int SameIdentity(unsigned long volumeA, unsigned long indexHighA, unsigned long indexLowA, unsigned long volumeB,
                 unsigned long indexHighB, unsigned long indexLowB, int samePath);
// 1 when the text holds "*" or "?".
int HasWildcard(const char *text);
// One entry of a comma-separated list, cut in place at its comma; the
// cursor moves past the comma. At the end of the list the cursor stays on
// the terminator, so that every later entry is empty, and *ended is set.
char *TakeListEntry(char **cursor, int *ended);

// Who may write the staging folder: SYSTEM, Administrators and, for a run
// that is not elevated, the user that runs the program; nobody else.
enum {
    SID_SIZE_MAX = 68,  // a SID of 15 subauthorities
    // The descriptor's header, the DACL's, three entries up to their SIDs,
    // and the SIDs of SYSTEM, Administrators and the user.
    STAGING_SECURITY_SIZE = 20 + 8 + 3 * 8 + 12 + 16 + SID_SIZE_MAX,
    LOCK_SECURITY_SIZE = 20 + SID_SIZE_MAX,  // the header and the owner's SID
    LOCK_NAME_SIZE = 260,                    // MAX_PATH: the longest name of a mutex
};
// How a folder is judged (StagingFolderTrusted), as bits.
enum {
    TRUST_ELEVATED = 1,  // the run is elevated: the user's own SID is not trusted
    TRUST_MADE = 2,      // this run made the folder: its owner does not count
};
// 1 when a token counts as elevated: Administrators enabled and not for
// deny only (attributes 0 when the token lacks the group), unless its
// elevation type is limited (3). A token whose groups could not be read
// (groupsRead 0) counts as elevated.
int CountsAsElevated(int groupsRead, unsigned long administratorsAttributes, unsigned long elevationType);
// Length of a well-formed SID at sid within size bytes, else 0.
size_t SidLength(const unsigned char *sid, size_t size);
// The self-relative security descriptor of a folder the program makes on
// the way to the staging folder: a protected DACL, full control for SYSTEM
// and Administrators and, unless elevated, userSid, inherited by all made
// inside. Its length, 0 when it does not fit outSize or userSid is no SID.
size_t StagingSecurity(unsigned char *out, size_t outSize, const unsigned char *userSid, size_t userSize, int elevated);
// 1 when an existing folder with this self-relative security descriptor
// (owner and DACL) may be the staging folder of userSid, judged as the
// TRUST_* bits say: its owner is trusted (SYSTEM, Administrators, the user
// unless elevated), and no entry lets anyone else write, delete or change
// the security of the folder or of what is made in it.
int StagingFolderTrusted(const unsigned char *sd, size_t size, const unsigned char *userSid, size_t userSize, int how);
// 1 when the owner of this self-relative descriptor is SYSTEM or
// Administrators, or userSid when it is given (userSize not 0).
int OwnerTrusted(const unsigned char *sd, size_t size, const unsigned char *userSid, size_t userSize);
// A self-relative descriptor that names ownerSid as owner and nothing else
// (the platform's default DACL): what the staging mutex is made with. Its
// length, 0 when it does not fit or ownerSid is no SID.
size_t LockSecurity(unsigned char *out, size_t outSize, const unsigned char *ownerSid, size_t ownerSize);
// The name of the mutex that one staging at a time takes for a folder: its
// volume serial number and file index, or where the file system gives no
// index (both halves 0) its full upper-cased path; in the "Global\"
// namespace when global. 0, with name empty, when it does not fit.
int StagingLockName(char *name, size_t size, int global, unsigned long serial, unsigned long indexHigh,
                    unsigned long indexLow, const char *fullPath);
// 1 when a rename entry holds a separator, a drive colon or a wildcard, by
// character: it then names no single file of the staging folder.
int RenameHoldsPath(const char *rename);
// The message that the second phase at program could not be started, for
// WinExec's result and the error that followed it. 0, with out empty, when
// it does not fit.
int LaunchFailureText(char *out, size_t size, const char *program, unsigned result, unsigned long error);

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

// Free-space figures of the last successful query.
struct DiskFiguresRecord {
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
};
extern DiskFiguresRecord DiskFigures;

int PrepareTargetDirectory();
// From now on the folders MakeDirectory makes are staging folders, open to
// SYSTEM, Administrators and the running user alone, where the platform
// keeps security (the NT family); elsewhere nothing changes.
void GuardStagingFolders();
enum { CLAIM_READY = 0, CLAIM_NOT_READY, CLAIM_BUSY };
// After PrepareTargetDirectory: CLAIM_READY when the staging folder may be
// staged into and is now this run's alone, held open until the run ends so
// that nobody renames or replaces it; CLAIM_NOT_READY when others may write
// it or it is reached through a link (another path is wanted); CLAIM_BUSY
// when another trusted run stages there now.
int ClaimStagingFolder();
int MakeDirectory(const char *path);
int ChangeDirectory(const char *path);

void AcquireCopyBuffer();
void ReleaseCopyBuffer();
// The "$" name of a spec whose extension is "sys" (X.SYS lies on a medium
// as X.SY$); 0 for any other spec.
int MakeDollarName(char *out, const char *spec);

// How the copy engine takes one match of a spec.
enum {
    MATCH_COPY = 0,              // copied
    MATCH_FOLDER,                // a folder: passed over
    MATCH_SOURCE_TOO_LONG,       // its path on the medium does not fit a path buffer
    MATCH_DESTINATION_TOO_LONG,  // the path of its copy does not fit
    MATCH_UNREADABLE,            // cannot be opened for reading
    MATCH_SAME_FILE,             // the copy would be the source itself
};
// The matches of one spec, one at a time, as the copy engine takes them.
struct CopyListing {
    char spec[PATH_SIZE];
    char dollarSpec[PATH_SIZE];
    const char *destinationDirectory;
    int keepExisting;  // the destination is the source's own folder: no file there is replaced
    int dollarMode;    // found by its "$" name, copied under the spec's name
    HANDLE search;
    int matchPending;  // found holds a match not yet taken
    // The current match.
    WIN32_FIND_DATAA found;
    const char *name;        // the name it is read by: the short name when it has one
    const char *storedName;  // the name its copy gets
    char source[PATH_SIZE];
    char destination[PATH_SIZE];
    int verdict;  // MATCH_*
    HANDLE file;  // the source, open while a MATCH_COPY match is current
    FILETIME lastWrite;
};
// Starts a listing; 0 when nothing on the medium matches the spec.
int BeginCopyListing(CopyListing *listing, const char *spec, const char *destinationDirectory);
// Makes the next match current; 0 at the end.
int NextCopyMatch(CopyListing *listing);
void EndCopyListing(CopyListing *listing);
// Copies the current MATCH_COPY match; a COPY_* result.
int CopyCurrentMatch(CopyListing *listing);
// A file on the medium that the "$" rule passes over for this listing: the
// plain name beside the "$" name that is taken, or for a wildcard spec a
// file of its "$" form. 1 with it in found, 0 when there is none.
int PassedOverMatch(const CopyListing *listing, WIN32_FIND_DATAA *found);
int CopyFileSpec(const char *spec, const char *destinationDirectory);
// 1 when both paths name the same file or directory as the platform
// resolves them (full path, case ignored).
int SamePath(const char *a, const char *b);
// 1 when both paths name one existing file, whatever names lead to it.
int SameFile(const char *a, const char *b);
// 1 when both paths name one folder under any names: short names, other
// spellings, another drive letter or a network path to it.
int SameFolder(const char *a, const char *b);

// One pass of the staging list: the copyfiles entry and its renameto
// partner, and what is done for them, in this order.
struct StagingWalk {
    char copyList[PLAN_TEXT_SIZE];  // working copies of the plan's lists, cut as the walk goes
    char renameList[PLAN_TEXT_SIZE];
    char *copyCursor, *renameCursor;
    int ended;
    int sameDirectory;  // the target is the medium itself: nothing is removed or renamed
    int index;          // 1 for the first entry
    const char *copyEntry, *renameEntry;
    int withoutStar;             // the entry holds no "*" (it may hold a "?")
    char removeCopy[PATH_SIZE];  // removed from the target before the copy ("" none)
    char removeRename[PATH_SIZE];
    char spec[PATH_SIZE];        // the entry on the medium; "" when it does not fit
    char renameFrom[PATH_SIZE];  // renamed to removeRename after the copy ("" none)
};
// Starts the walk of the plan's lists for the target directory.
void BeginStagingWalk(StagingWalk *walk);
// Makes the next pass current; 0 when the list is done.
int NextStagingStep(StagingWalk *walk);

// STAGE_ELSEWHERE: the target cannot take the list (a full disk, a file of
// the list that cannot be removed or created anew); another target may.
enum { STAGE_FAILED = 0, STAGE_DONE = 1, STAGE_ELSEWHERE = 2 };
// Copies the staging list into the target directory; a STAGE_* result. The
// plan's lists are walked on copies, so a second attempt stages them again.
int StageFiles();
// Starts the second phase; 1 when it started, 0 (with a message when the
// platform refused it) when not.
int LaunchPhaseTwo(const char *ownCommandLine);
#endif
