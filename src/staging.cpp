#include "staging.h"

#include "backdrop.h"
#include "paths.h"

int BuildPhaseTwoCommandLine(char *line, size_t lineSize, const char *targetDirectory, const char *run,
                             const char *ownCommandLine, const char *target, const char *sourceDirectory)
{
    char program[PATH_SIZE];
    int fits = JoinPathInto(program, sizeof program, targetDirectory, run);
    if (fits && lineSize > 0) {
        // A program path with a blank would otherwise start another program.
        int quote = FindChar(program, ' ') != 0;
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
    // Forward, so that the second byte of a two-byte character is never
    // taken for a separator.
    const char *extension = 0, *p = path;
    for (; *p; p = NextCharacter(p)) {
        if (*p == '.') extension = p + 1;
        if (*p == '/' || *p == '\\') extension = 0;
    }
    return extension ? extension : p;
}

int SameIdentity(unsigned long volumeA, unsigned long indexHighA, unsigned long indexLowA, unsigned long volumeB,
                 unsigned long indexHighB, unsigned long indexLowB, int samePath)
{
    // Some network redirectors and older systems give every file the
    // index 0: then only the names can tell.
    if ((indexHighA == 0 && indexLowA == 0) || (indexHighB == 0 && indexLowB == 0)) return samePath;
    return volumeA == volumeB && indexHighA == indexHighB && indexLowA == indexLowB;
}

int HasWildcard(const char *text) { return FindChar(text, '*') != 0 || FindChar(text, '?') != 0; }

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

static unsigned Get16(const unsigned char *p) { return p[0] | p[1] << 8; }
static unsigned long Get32(const unsigned char *p) { return Get16(p) | (unsigned long)Get16(p + 2) << 16; }
static unsigned char *Put16(unsigned char *p, unsigned v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    return p + 2;
}
static unsigned char *Put32(unsigned char *p, unsigned long v) { return Put16(Put16(p, v & 0xFFFF), v >> 16); }

// A self-relative security descriptor (SECURITY_DESCRIPTOR_RELATIVE), an
// ACL and its entries, by the offsets of their fields; all little-endian.
enum {
    SD_AT_REVISION = 0,  // 1 byte: 1
    SD_AT_CONTROL = 2,   // 2 bytes: the SE_* flags below
    SD_AT_OWNER = 4,     // 4 bytes each: where the owner's SID, the group's SID,
    SD_AT_GROUP = 8,     // the SACL and the DACL start, counted from the
    SD_AT_SACL = 12,     // descriptor's first byte; 0 for none
    SD_AT_DACL = 16,
    SD_HEADER_SIZE = 20,
    ACL_AT_REVISION = 0,  // 1 byte: ACL_REVISION, 2
    ACL_AT_SIZE = 2,      // 2 bytes: the whole ACL, its entries included
    ACL_AT_COUNT = 4,     // 2 bytes: how many entries follow the header
    ACL_HEADER_SIZE = 8,
    ACE_AT_TYPE = 0,   // 1 byte: ACE_ALLOWED, ACE_DENIED or another kind
    ACE_AT_FLAGS = 1,  // 1 byte: inheritance
    ACE_AT_SIZE = 2,   // 2 bytes: the whole entry, its SID included
    ACE_AT_MASK = 4,   // 4 bytes: the rights it grants or denies
    ACE_AT_SID = 8,    // the SID it is for
    SD_DACL_PRESENT = 0x0004,
    SD_SELF_RELATIVE = 0x8000,
    ACE_ALLOWED = 0,
    ACE_DENIED = 1,
    INHERIT_ALL = 3,  // OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE: all made inside
    SYSTEM_SID_SIZE = 12,
    ADMINISTRATORS_SID_SIZE = 16,
};
// Where the parts of the descriptor that StagingSecurity makes lie: the
// header, the DACL right after it, the entries of SYSTEM and Administrators,
// and at GUARDED_HEAD_SIZE the running user's, unless the run is elevated.
enum {
    GUARDED_DACL = SD_HEADER_SIZE,
    GUARDED_SYSTEM_ACE = GUARDED_DACL + ACL_HEADER_SIZE,
    GUARDED_SYSTEM_SID = GUARDED_SYSTEM_ACE + ACE_AT_SID,
    GUARDED_ADMINISTRATORS_ACE = GUARDED_SYSTEM_SID + SYSTEM_SID_SIZE,
    GUARDED_ADMINISTRATORS_SID = GUARDED_ADMINISTRATORS_ACE + ACE_AT_SID,
    GUARDED_HEAD_SIZE = GUARDED_ADMINISTRATORS_SID + ADMINISTRATORS_SID_SIZE,
};
static_assert(GUARDED_SYSTEM_SID == 36 && GUARDED_ADMINISTRATORS_SID == 56 && GUARDED_HEAD_SIZE == 72,
              "the layout of GuardedHead");
static_assert(STAGING_SECURITY_SIZE == GUARDED_HEAD_SIZE + ACE_AT_SID + SID_SIZE_MAX, "room for the user's entry");
static_assert(LOCK_SECURITY_SIZE == SD_HEADER_SIZE + SID_SIZE_MAX, "room for the owner");
// What StagingSecurity starts with, field by field.
static const unsigned char GuardedHead[] = {
    // The descriptor's header.
    1, 0,                   // revision 1; padding
    0x04, 0x90,             // SE_DACL_PRESENT | SE_DACL_PROTECTED (nothing inherited) | SE_SELF_RELATIVE
    0, 0, 0, 0,             // no owner: the platform's default
    0, 0, 0, 0,             // no group: the platform's default
    0, 0, 0, 0,             // no SACL
    GUARDED_DACL, 0, 0, 0,  // the DACL, right after the header
    // The DACL's header.
    2, 0,  // ACL_REVISION; padding
    0, 0,  // its size: filled in
    3, 0,  // three entries, or two without the user's: filled in
    0, 0,  // padding
    // SYSTEM: full control, inherited by all made inside.
    ACE_ALLOWED, INHERIT_ALL, GUARDED_ADMINISTRATORS_ACE - GUARDED_SYSTEM_ACE, 0,  // kind, flags, size
    0xFF, 0x01, 0x1F, 0,                                                           // FILE_ALL_ACCESS
    1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,                                           // S-1-5-18
    // Administrators: the same.
    ACE_ALLOWED, INHERIT_ALL, GUARDED_HEAD_SIZE - GUARDED_ADMINISTRATORS_ACE, 0,  // kind, flags, size
    0xFF, 0x01, 0x1F, 0,                                                          // FILE_ALL_ACCESS
    1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0,                           // S-1-5-32-544
};
static_assert(sizeof GuardedHead == GUARDED_HEAD_SIZE, "GuardedHead has every field");
static const unsigned char *const SystemSid = GuardedHead + GUARDED_SYSTEM_SID;
static const unsigned char *const AdministratorsSid = GuardedHead + GUARDED_ADMINISTRATORS_SID;
// Stands in an inheritable entry for whoever makes a file inside: this run.
static const unsigned char CreatorOwnerSid[12] = {1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0};
static const unsigned long FullControl = 0x001F01FF;  // FILE_ALL_ACCESS
// FILE_WRITE_DATA (add file), FILE_APPEND_DATA (add folder), FILE_WRITE_EA,
// FILE_DELETE_CHILD, FILE_WRITE_ATTRIBUTES, DELETE, WRITE_DAC, WRITE_OWNER,
// GENERIC_ALL and GENERIC_WRITE.
static const unsigned long WriteRights = 0x500D0156;

size_t SidLength(const unsigned char *sid, size_t size)
{
    if (size < 8 || sid[0] != 1 || sid[1] > 15) return 0;
    size_t length = 8 + 4 * (size_t)sid[1];
    return length <= size ? length : 0;
}

static int SameSid(const unsigned char *a, size_t aLength, const unsigned char *b, size_t bLength)
{
    if (aLength != bLength) return 0;
    for (size_t i = 0; i < aLength; ++i)
        if (a[i] != b[i]) return 0;
    return 1;
}

int CountsAsElevated(int groupsRead, unsigned long administratorsAttributes, unsigned long elevationType)
{
    // SE_GROUP_ENABLED and not SE_GROUP_USE_FOR_DENY_ONLY. A limited token
    // of an administrator holds the group for deny only; Wine's holds it
    // enabled, and only its elevation type tells.
    if (!groupsRead) return 1;
    return elevationType != 3 && (administratorsAttributes & 0x14) == 0x04;
}

size_t StagingSecurity(unsigned char *out, size_t outSize, const unsigned char *userSid, size_t userSize, int elevated)
{
    size_t userLength = SidLength(userSid, userSize),
           size = GUARDED_HEAD_SIZE + (elevated ? 0 : ACE_AT_SID + userLength);
    if ((!elevated && !userLength) || size > outSize) return 0;
    for (size_t i = 0; i < GUARDED_HEAD_SIZE; ++i) out[i] = GuardedHead[i];
    Put16(out + GUARDED_DACL + ACL_AT_SIZE, (unsigned)(size - GUARDED_DACL));
    if (elevated) {
        out[GUARDED_DACL + ACL_AT_COUNT] = 2;
        return size;
    }
    // The user's entry: full control, inherited, as the two before it.
    unsigned char *ace = out + GUARDED_HEAD_SIZE;
    ace[ACE_AT_TYPE] = ACE_ALLOWED;
    ace[ACE_AT_FLAGS] = INHERIT_ALL;
    Put16(ace + ACE_AT_SIZE, (unsigned)(ACE_AT_SID + userLength));
    Put32(ace + ACE_AT_MASK, FullControl);
    for (size_t i = 0; i < userLength; ++i) ace[ACE_AT_SID + i] = userSid[i];
    return size;
}

static int TrustedSid(const unsigned char *sid, size_t length, const unsigned char *userSid, size_t userLength)
{
    return SameSid(sid, length, SystemSid, SYSTEM_SID_SIZE) ||
           SameSid(sid, length, AdministratorsSid, ADMINISTRATORS_SID_SIZE) ||
           (userLength && SameSid(sid, length, userSid, userLength));
}

int OwnerTrusted(const unsigned char *sd, size_t size, const unsigned char *userSid, size_t userSize)
{
    if (size < SD_HEADER_SIZE || !(Get16(sd + SD_AT_CONTROL) & SD_SELF_RELATIVE)) return 0;
    unsigned long ownerAt = Get32(sd + SD_AT_OWNER);
    size_t ownerLength = ownerAt && ownerAt < size ? SidLength(sd + ownerAt, size - ownerAt) : 0;
    return ownerLength && TrustedSid(sd + ownerAt, ownerLength, userSid, userSize ? SidLength(userSid, userSize) : 0);
}

int StagingFolderTrusted(const unsigned char *sd, size_t size, const unsigned char *userSid, size_t userSize, int how)
{
    // An elevated run's programs and the user's unelevated ones share the
    // user's SID: for it, only SYSTEM and Administrators may write.
    if (how & TRUST_ELEVATED) userSize = 0;
    size_t userLength = userSize ? SidLength(userSid, userSize) : 0;
    if (size < SD_HEADER_SIZE || !(Get16(sd + SD_AT_CONTROL) & SD_SELF_RELATIVE)) return 0;
    // A folder this run made is its own whoever the file system names as
    // owner (a share's server names its own account).
    if (!(how & TRUST_MADE) && !OwnerTrusted(sd, size, userSid, userSize)) return 0;
    unsigned long daclAt = Get32(sd + SD_AT_DACL);
    // No DACL, or a null one, lets everyone in.
    if (!(Get16(sd + SD_AT_CONTROL) & SD_DACL_PRESENT) || !daclAt || daclAt > size - ACL_HEADER_SIZE) return 0;
    const unsigned char *acl = sd + daclAt;
    size_t aclSize = Get16(acl + ACL_AT_SIZE);
    if (aclSize < ACL_HEADER_SIZE || aclSize > size - daclAt) return 0;
    size_t at = ACL_HEADER_SIZE;
    for (unsigned count = Get16(acl + ACL_AT_COUNT); count > 0; --count) {
        const unsigned char *ace = acl + at;
        if (aclSize - at < ACE_AT_SID) return 0;
        size_t aceSize = Get16(ace + ACE_AT_SIZE);
        if (aceSize < ACE_AT_SID || aceSize > aclSize - at) return 0;
        // An entry that only denies takes nothing away from the three; one
        // of another kind may grant anything.
        if (ace[ACE_AT_TYPE] != ACE_DENIED) {
            const unsigned char *sid = ace + ACE_AT_SID;
            size_t sidLength = SidLength(sid, aceSize - ACE_AT_SID);
            if (ace[ACE_AT_TYPE] != ACE_ALLOWED || !sidLength) return 0;
            // Inherit-only entries count too: the copies made inside get them.
            if ((Get32(ace + ACE_AT_MASK) & WriteRights) && !TrustedSid(sid, sidLength, userSid, userLength) &&
                !SameSid(sid, sidLength, CreatorOwnerSid, sizeof CreatorOwnerSid))
                return 0;
        }
        at += aceSize;
    }
    return 1;
}

size_t LockSecurity(unsigned char *out, size_t outSize, const unsigned char *ownerSid, size_t ownerSize)
{
    size_t length = SidLength(ownerSid, ownerSize);
    if (!length || SD_HEADER_SIZE + length > outSize) return 0;
    // No group, SACL or DACL; the owner right after the header.
    for (size_t i = 0; i < SD_HEADER_SIZE; ++i) out[i] = 0;
    out[SD_AT_REVISION] = 1;
    out[SD_AT_CONTROL + 1] = SD_SELF_RELATIVE >> 8;
    out[SD_AT_OWNER] = SD_HEADER_SIZE;
    for (size_t i = 0; i < length; ++i) out[SD_HEADER_SIZE + i] = ownerSid[i];
    return SD_HEADER_SIZE + length;
}

int StagingLockName(char *name, size_t size, int global, unsigned long serial, unsigned long indexHigh,
                    unsigned long indexLow, const char *fullPath)
{
    int fits = CopyText(name, size, global ? "Global\\SETUP1-" : "SETUP1-");
    if (indexHigh || indexLow) {
        char hex[3 * 8 + 1], *p = hex;
        const unsigned long parts[3] = {serial, indexHigh, indexLow};
        for (unsigned long value : parts)
            for (int shift = 28; shift >= 0; shift -= 4) *p++ = "0123456789ABCDEF"[(value >> shift) & 15];
        *p = '\0';
        fits = fits && AppendText(name, size, hex);
    } else {
        size_t start = TextLength(name);
        fits = fits && fullPath[0] && AppendText(name, size, fullPath);
        // No name holds a backslash past its namespace; a full path holds
        // no "/", so the name stays the path's alone.
        for (char *p = name + start; fits && *p; p = NextCharacter(p))
            if (*p == '\\') *p = '/';
    }
    if (!fits && size > 0) name[0] = '\0';
    return fits;
}

int RenameHoldsPath(const char *rename)
{
    for (const char *p = rename; *p; p = NextCharacter(p))
        if (FindChar("\\/:*?", *p)) return 1;
    return 0;
}

int LaunchFailureText(char *out, size_t size, const char *program, unsigned result, unsigned long error)
{
    const char *why = 0;
    if (error == 740)  // ERROR_ELEVATION_REQUIRED
        why = "it must be run as an administrator.";
    else if (result == 2 || result == 3)
        why = "the file was not found.";
    else if (result == 11)
        why = "it is not a program that runs on this version of Windows.";
    else if (result == 0 || result == 8)
        why = "there is not enough memory.";
    int fits = CopyText(out, size, "The second phase of ZEV! Setup, ") && AppendText(out, size, program) &&
               AppendText(out, size, ", could not be started: ") &&
               (why ? AppendText(out, size, why)
                    : AppendText(out, size, "error ") && AppendNumber(out, size, result) && AppendText(out, size, "."));
    if (!fits && size > 0) out[0] = '\0';
    return fits;
}

#ifdef _WIN32
#include "state.h"

CopyBufferRecord CopyBuffer;
static void *AllocateBlock(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
static void FreeBlock(void *block) { HeapFree(GetProcessHeap(), 0, block); }
void *(*CopyBufferAllocate)(size_t size) = AllocateBlock;
void (*CopyBufferFree)(void *block) = FreeBlock;
DiskFiguresRecord DiskFigures;
// All zero, the platform's default security, until GuardStagingFolders.
static SECURITY_ATTRIBUTES DirectorySecurity;
static unsigned char StagingDescriptor[STAGING_SECURITY_SIZE];
static DWORD TokenUserRecord[(sizeof(TOKEN_USER) + SID_SIZE_MAX + 3) / 4];
static const unsigned char *UserSid;  // the running user; 0 where the platform keeps no security
static size_t UserSidRoom;
static int Elevated;           // Administrators enabled: the user's own SID is not trusted
static int MadeStagingFolder;  // the last PrepareTargetDirectory made the target
static HANDLE StagingLock;     // held until the run ends
// Open without delete sharing until the run ends: nobody renames, removes
// or replaces the staging folder meanwhile.
static HANDLE StagingFolder = INVALID_HANDLE_VALUE;

int PrepareTargetDirectory()
{
    char root[PATH_SIZE], current[PATH_SIZE];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current) current[0] = '\0';
    DriveRoot(root, sizeof root, TargetDirectory, current);
    // A failed query leaves the figures of the last one that succeeded.
    GetDiskFreeSpaceA(root, &DiskFigures.sectorsPerCluster, &DiskFigures.bytesPerSector, &DiskFigures.freeClusters,
                      &DiskFigures.totalClusters);
    MadeStagingFolder = 0;
    if (!SpaceSuffices(DiskFigures.sectorsPerCluster, DiskFigures.bytesPerSector, DiskFigures.freeClusters,
                       PhaseTwoPlan.tempspace))
        return 0;
    if (MakeDirectory(TargetDirectory) == 0) return MadeStagingFolder = 1;
    return ChangeDirectory(TargetDirectory) == 0;
}

void GuardStagingFolders()
{
    HANDLE token;
    DWORD needed, elevationType = 0;
    // Windows 95, 98 and Me have no process token, and no security to set.
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    BOOL known = GetTokenInformation(token, TokenUser, TokenUserRecord, sizeof TokenUserRecord, &needed);
    // A domain account may be in hundreds of groups: the list is read into
    // the copy buffer, which is not in use yet.
    AcquireCopyBuffer();
    int groupsRead =
        CopyBuffer.buffer && GetTokenInformation(token, TokenGroups, CopyBuffer.buffer, CopyBuffer.size, &needed);
    DWORD administrators = 0;
    const TOKEN_GROUPS *groups = (const TOKEN_GROUPS *)CopyBuffer.buffer;
    for (DWORD i = 0; groupsRead && i < groups->GroupCount; ++i) {
        const unsigned char *sid = (const unsigned char *)groups->Groups[i].Sid;
        if (SidLength(sid, ADMINISTRATORS_SID_SIZE) == ADMINISTRATORS_SID_SIZE &&
            SameSid(sid, ADMINISTRATORS_SID_SIZE, AdministratorsSid, ADMINISTRATORS_SID_SIZE))
            administrators |= groups->Groups[i].Attributes;
    }
    ReleaseCopyBuffer();
    // TokenElevationType, from Windows Vista on; before it stays 0.
    GetTokenInformation(token, (TOKEN_INFORMATION_CLASS)18, &elevationType, sizeof elevationType, &needed);
    CloseHandle(token);
    Elevated = CountsAsElevated(groupsRead, administrators, elevationType);
    const unsigned char *start = (const unsigned char *)TokenUserRecord, *end = start + sizeof TokenUserRecord;
    const unsigned char *sid = (const unsigned char *)((TOKEN_USER *)TokenUserRecord)->User.Sid;
    if (!known || sid < start || sid >= end ||
        !StagingSecurity(StagingDescriptor, sizeof StagingDescriptor, sid, (size_t)(end - sid), Elevated))
        return;
    UserSid = sid;
    UserSidRoom = (size_t)(end - sid);
    DirectorySecurity.nLength = sizeof DirectorySecurity;
    DirectorySecurity.lpSecurityDescriptor = StagingDescriptor;
}

int MakeDirectory(const char *path)
{
    char buffer[PATH_SIZE];
    if (!CopyText(buffer, sizeof buffer, path)) return 1;
    if (CreateDirectoryA(buffer, &DirectorySecurity)) return 0;
    char *cut = FindLastChar(buffer, '\\');
    if (!cut) cut = FindLastChar(buffer, '/');
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
    out[TextLength(out) - 1] = '$';
    return 1;
}

// The full path of a path as the platform resolves it, without a trailing
// separator except at a root. 0 when it does not fit.
static int ResolvePath(const char *path, char *full)
{
    DWORD length = GetFullPathNameA(path, PATH_SIZE, full, 0);
    if (length == 0 || length >= PATH_SIZE) return 0;
    // FileNamePart tells a separator from the second byte of a character.
    while (length > 1 && full[length - 1] != ':' && FileNamePart(full) == full + length && full[length - 2] != ':')
        full[--length] = '\0';
    return 1;
}

enum { REPARSE_POINT = 0x400 };  // FILE_ATTRIBUTE_REPARSE_POINT

// Opens a folder itself, not what a junction or link there leads to, and
// shares it for reading and writing only. Only an open that may read
// takes part in sharing, and so keeps others from renaming the folder.
static HANDLE OpenFolder(const char *path, DWORD access)
{
    // Older systems know no reparse points, and may refuse the flag.
    WindowsVersionRecord version = WindowsVersion();
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
    if (version.nt && version.major >= 5) flags |= 0x00200000;  // FILE_FLAG_OPEN_REPARSE_POINT
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, flags, 0);
}

// The owner and DACL of an open object into buffer; 0 when unknown.
static int ReadSecurity(HANDLE handle, DWORD *buffer, DWORD size)
{
    const LateFunctionsRecord &late = LateFunctions();
    DWORD needed;
    return late.GetKernelObjectSecurity &&
           late.GetKernelObjectSecurity(handle, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, buffer, size,
                                        &needed);
}

// 1 when a folder is reached through a link: a reparse point by its handle
// or by its name (some systems tell only the latter).
static int IsLink(HANDLE handle, const char *path, BY_HANDLE_FILE_INFORMATION *info)
{
    DWORD attributes = GetFileAttributesA(path);
    if (!GetFileInformationByHandle(handle, info)) info->nFileIndexHigh = info->nFileIndexLow = 0;
    return (attributes != INVALID_FILE_ATTRIBUTES && (attributes & REPARSE_POINT)) ||
           (info->dwFileAttributes & REPARSE_POINT);
}

// 1 when no existing parent of full path is a junction or link that anyone
// but SYSTEM and Administrators own (Windows' own, such as
// C:\Documents and Settings, are SYSTEM's).
static int ParentsTrusted(const char *full)
{
    char parent[PATH_SIZE];
    DWORD security[256];
    if (!CopyText(parent, sizeof parent, full)) return 0;
    for (char *p = parent; *p; p = NextCharacter(p)) {
        if ((*p != '\\' && *p != '/') || p == parent || p[-1] == ':' || p[-1] == '\\' || p[-1] == '/') continue;
        // The parent ends here until it is judged.
        char separator = *p;
        *p = '\0';
        DWORD attributes = GetFileAttributesA(parent);
        int trusted = 1;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & REPARSE_POINT)) {
            HANDLE handle = OpenFolder(parent, READ_CONTROL);
            trusted = handle != INVALID_HANDLE_VALUE && ReadSecurity(handle, security, sizeof security) &&
                      OwnerTrusted((const unsigned char *)security, sizeof security, 0, 0);
            if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        }
        *p = separator;
        if (!trusted) return 0;
    }
    return 1;
}

// 1 when the folder open as handle, on a volume that keeps security, is
// open to SYSTEM, Administrators and (unless elevated) this user alone;
// also 1 where there is no security to ask about (FAT, Windows 95).
static int FolderGuarded(HANDLE handle, const char *full)
{
    char root[PATH_SIZE];
    DWORD flags = 0, securityBuffer[1024 / sizeof(DWORD)];
    if (!UserSid) return 1;
    // Only a volume that says it keeps no security is let be; one that
    // cannot be asked is asked about the folder itself.
    if (DriveRoot(root, sizeof root, full, "") && GetVolumeInformationA(root, 0, 0, 0, 0, &flags, 0, 0) &&
        !(flags & FS_PERSISTENT_ACLS))
        return 1;
    return ReadSecurity(handle, securityBuffer, sizeof securityBuffer) &&
           StagingFolderTrusted((const unsigned char *)securityBuffer, sizeof securityBuffer, UserSid, UserSidRoom,
                                (Elevated ? TRUST_ELEVATED : 0) | (MadeStagingFolder ? TRUST_MADE : 0));
}

// 1 when the existing mutex open as lock was made by a run to be trusted:
// its owner is SYSTEM, Administrators or this user. Anyone may make a
// mutex of that name first.
static int LockTrusted(HANDLE lock)
{
    DWORD security[256];
    if (!UserSid) return 1;
    return ReadSecurity(lock, security, sizeof security) &&
           OwnerTrusted((const unsigned char *)security, sizeof security, UserSid, UserSidRoom);
}

int ClaimStagingFolder()
{
    if (StagingLock) CloseHandle(StagingLock);
    if (StagingFolder != INVALID_HANDLE_VALUE) CloseHandle(StagingFolder);
    StagingLock = 0;
    StagingFolder = INVALID_HANDLE_VALUE;
    char full[PATH_SIZE], name[LOCK_NAME_SIZE];
    if (!ResolvePath(TargetDirectory, full) || !ParentsTrusted(full)) return CLAIM_NOT_READY;
    // The folder's identity, which every name of it shares: its volume and
    // file index. Windows 95 opens no folder; some file systems give no index.
    BY_HANDLE_FILE_INFORMATION folder;
    folder.nFileIndexHigh = folder.nFileIndexLow = 0;
    folder.dwFileAttributes = 0;
    HANDLE handle = OpenFolder(full, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL);
    if (handle == INVALID_HANDLE_VALUE && UserSid) return CLAIM_NOT_READY;
    // A junction's owner may point it elsewhere at any time.
    if (handle != INVALID_HANDLE_VALUE && (IsLink(handle, full, &folder) || !FolderGuarded(handle, full))) {
        CloseHandle(handle);
        return CLAIM_NOT_READY;
    }
    StagingFolder = handle;
    CharUpperA(full);
    // Windows 2000 and later keep names per session; a run in another
    // session must see this one's.
    WindowsVersionRecord version = WindowsVersion();
    int global = version.nt && version.major >= 5;
    if (!StagingLockName(name, sizeof name, global, folder.dwVolumeSerialNumber, folder.nFileIndexHigh,
                         folder.nFileIndexLow, full))
        return CLAIM_NOT_READY;
    // Made with this run's owner (Administrators for an elevated run), so
    // that the next run can tell it from one that anybody made.
    unsigned char lockSecurity[LOCK_SECURITY_SIZE];
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, lockSecurity, FALSE};
    const unsigned char *owner = Elevated ? AdministratorsSid : UserSid;
    int secured = UserSid && LockSecurity(lockSecurity, sizeof lockSecurity, owner,
                                          Elevated ? (size_t)ADMINISTRATORS_SID_SIZE : UserSidRoom);
    HANDLE lock = CreateMutexA(secured ? &attributes : 0, FALSE, name);
    // A token that may not name that owner still takes the lock.
    if (!lock && secured) lock = CreateMutexA(0, FALSE, name);
    DWORD error = GetLastError();
    if (lock && error == ERROR_ALREADY_EXISTS) {
        // Another run holds it, or someone made it to keep every run out.
        if (LockTrusted(lock)) {
            CloseHandle(lock);
            return CLAIM_BUSY;
        }
        CloseHandle(lock);
        lock = 0;
    }
    // One that this run may not even open is no trusted run's: a trusted
    // run's mutex keeps the default access of its owner, this run's own.
    StagingLock = lock;
    return CLAIM_READY;
}

int SamePath(const char *a, const char *b)
{
    char fullA[PATH_SIZE], fullB[PATH_SIZE];
    if (!ResolvePath(a, fullA) || !ResolvePath(b, fullB)) return lstrcmpiA(a, b) == 0;
    return lstrcmpiA(fullA, fullB) == 0;
}

// 1 when path names the very file open as source (found at sourcePath),
// under whatever alias (short name, another spelling of its folder).
static int IsOpenFile(HANDLE source, const char *sourcePath, const char *path)
{
    HANDLE other = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    if (other == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION a, b = {};
    // A query that fails tells no identity, as an index of 0 does.
    if (!GetFileInformationByHandle(source, &a) || !GetFileInformationByHandle(other, &b))
        a.nFileIndexHigh = a.nFileIndexLow = 0;
    int same = SameIdentity(a.dwVolumeSerialNumber, a.nFileIndexHigh, a.nFileIndexLow, b.dwVolumeSerialNumber,
                            b.nFileIndexHigh, b.nFileIndexLow, SamePath(sourcePath, path));
    CloseHandle(other);
    return same;
}

int SameFile(const char *a, const char *b)
{
    HANDLE file = CreateFileA(a, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) return 0;
    int same = IsOpenFile(file, a, b);
    CloseHandle(file);
    return same;
}

int SameFolder(const char *a, const char *b)
{
    if (SamePath(a, b)) return 1;
    // Names do not tell (short names, a second drive letter, a share): a
    // file of b is looked for under its own name in a. Two folders hold
    // the same file under the same name only when they are one folder.
    char path[PATH_SIZE], other[PATH_SIZE];
    WIN32_FIND_DATAA found;
    if (!JoinPathInto(path, sizeof path, b, "*")) return 0;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int same = -1;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const char *name = found.cAlternateFileName[0] ? found.cAlternateFileName : found.cFileName;
        if (!JoinPathInto(path, sizeof path, b, name) || !JoinPathInto(other, sizeof other, a, name)) continue;
        HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
        if (file == INVALID_HANDLE_VALUE) continue;
        same = IsOpenFile(file, path, other);
        CloseHandle(file);
    } while (same < 0 && FindNextFileA(search, &found));
    FindClose(search);
    return same > 0;
}

int BeginCopyListing(CopyListing *listing, const char *spec, const char *destinationDirectory)
{
    listing->destinationDirectory = destinationDirectory;
    listing->keepExisting = 0;
    listing->file = INVALID_HANDLE_VALUE;
    listing->search = INVALID_HANDLE_VALUE;
    listing->matchPending = 0;
    if (!CopyText(listing->spec, sizeof listing->spec, spec)) return 0;
    // A wildcard spec keeps its matches' own names: in "$" mode it would
    // name its copies with the wildcards themselves.
    listing->dollarMode = !HasWildcard(FileNamePart(spec)) && MakeDollarName(listing->dollarSpec, spec);
    if (listing->dollarMode) {
        listing->search = FindFirstFileA(listing->dollarSpec, &listing->found);
        listing->dollarMode = listing->search != INVALID_HANDLE_VALUE;
    }
    if (!listing->dollarMode) listing->search = FindFirstFileA(spec, &listing->found);
    listing->matchPending = listing->search != INVALID_HANDLE_VALUE;
    return listing->matchPending;
}

static int JudgeMatch(CopyListing *listing)
{
    if (listing->found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return MATCH_FOLDER;
    if (!CopyText(listing->source, sizeof listing->source, listing->spec) ||
        !JoinPath(DirectoryPart(listing->source), listing->name))
        return MATCH_SOURCE_TOO_LONG;
    if (!JoinPathInto(listing->destination, sizeof listing->destination, listing->destinationDirectory,
                      listing->storedName))
        return MATCH_DESTINATION_TOO_LONG;
    listing->file = CreateFileA(listing->source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, 0);
    if (listing->file == INVALID_HANDLE_VALUE || !GetFileTime(listing->file, 0, 0, &listing->lastWrite))
        return MATCH_UNREADABLE;
    // The destination is created anew; were it the source itself, the
    // source would be lost.
    if (lstrcmpiA(listing->source, listing->destination) == 0 ||
        IsOpenFile(listing->file, listing->source, listing->destination))
        return MATCH_SAME_FILE;
    return MATCH_COPY;
}

static void CloseMatch(CopyListing *listing)
{
    if (listing->file != INVALID_HANDLE_VALUE) CloseHandle(listing->file);
    listing->file = INVALID_HANDLE_VALUE;
}

int NextCopyMatch(CopyListing *listing)
{
    CloseMatch(listing);
    if (listing->search == INVALID_HANDLE_VALUE) return 0;
    if (!listing->matchPending && !FindNextFileA(listing->search, &listing->found)) return 0;
    listing->matchPending = 0;
    WIN32_FIND_DATAA &found = listing->found;
    listing->name = found.cAlternateFileName[0] ? found.cAlternateFileName : found.cFileName;
    listing->storedName = listing->dollarMode ? FileNamePart(listing->spec) : listing->name;
    listing->verdict = JudgeMatch(listing);
    return 1;
}

void EndCopyListing(CopyListing *listing)
{
    CloseMatch(listing);
    if (listing->search != INVALID_HANDLE_VALUE) FindClose(listing->search);
    listing->search = INVALID_HANDLE_VALUE;
}

int CopyCurrentMatch(CopyListing *listing)
{
    // A read-only, hidden or system leftover is replaced like any other.
    if (!listing->keepExisting) SetFileAttributesA(listing->destination, FILE_ATTRIBUTE_NORMAL);
    HANDLE destination =
        CreateFileA(listing->destination, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                    listing->keepExisting ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    // A file kept there (in use, or a folder of that name) would pass for
    // the copy.
    if (destination == INVALID_HANDLE_VALUE) return listing->keepExisting ? COPY_DONE : COPY_CREATE_FAULT;
    for (;;) {
        // Between blocks: a long copy must not leave the backdrop unpainted
        // and the program taken for hung.
        KeepBackdropAnswering();
        DWORD got = 0, written = 0;
        // A read that fails midway leaves a partial copy; it must not pass
        // for a whole one, so it gets no time and ends the enumeration.
        if (!ReadFile(listing->file, CopyBuffer.buffer, CopyBuffer.size, &got, 0)) break;
        if (got == 0) {
            SetFileTime(destination, 0, 0, &listing->lastWrite);
            CloseHandle(destination);
            return COPY_DONE;
        }
        if (!WriteFile(destination, CopyBuffer.buffer, got, &written, 0) || written != got) {
            CloseHandle(destination);
            return COPY_WRITE_FAULT;
        }
    }
    CloseHandle(destination);
    return COPY_READ_FAULT;
}

int PassedOverMatch(const CopyListing *listing, WIN32_FIND_DATAA *found)
{
    char dollarSpec[PATH_SIZE];
    const char *pattern = listing->spec;
    if (!listing->dollarMode) {
        if (!HasWildcard(FileNamePart(listing->spec)) || !MakeDollarName(dollarSpec, listing->spec)) return 0;
        pattern = dollarSpec;
    }
    HANDLE search = FindFirstFileA(pattern, found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FindClose(search);
    return 1;
}

int CopyFileSpec(const char *spec, const char *destinationDirectory)
{
    AcquireCopyBuffer();
    if (!CopyBuffer.buffer) return COPY_NO_MEMORY;
    CopyListing listing;
    int result = BeginCopyListing(&listing, spec, destinationDirectory) ? COPY_DONE : COPY_NOT_FOUND;
    // Copied into its own folder under another name (X.SY$ as X.SYS), a
    // match must not replace a file that lies there beside it.
    char sourceFolder[PATH_SIZE];
    CopyText(sourceFolder, sizeof sourceFolder, listing.spec);
    listing.keepExisting = result == COPY_DONE && SameFolder(destinationDirectory, DirectoryPart(sourceFolder));
    while (result == COPY_DONE && NextCopyMatch(&listing))
        if (listing.verdict == MATCH_COPY) result = CopyCurrentMatch(&listing);
    EndCopyListing(&listing);
    ReleaseCopyBuffer();
    return result;
}

void BeginStagingWalk(StagingWalk *walk)
{
    CopyText(walk->copyList, sizeof walk->copyList, PhaseTwoPlan.copyfiles);
    CopyText(walk->renameList, sizeof walk->renameList, PhaseTwoPlan.renameto);
    walk->copyCursor = walk->copyList;
    walk->renameCursor = walk->renameList;
    walk->ended = 0;
    walk->index = 0;
    // Never delete or rename away the files about to be copied.
    walk->sameDirectory = SameFolder(TargetDirectory, SourceDirectory);
}

// path: the target directory joined with name, or "" when that does not fit.
static char *InTarget(char *path, const char *name)
{
    JoinPathInto(path, PATH_SIZE, TargetDirectory, name);
    return path;
}

int NextStagingStep(StagingWalk *walk)
{
    if (walk->ended) return 0;
    int renameEnded;
    ++walk->index;
    walk->copyEntry = TakeListEntry(&walk->copyCursor, &walk->ended);
    walk->renameEntry = TakeListEntry(&walk->renameCursor, &renameEnded);
    walk->withoutStar = FindChar(walk->copyEntry, '*') == 0;
    walk->removeCopy[0] = walk->removeRename[0] = walk->renameFrom[0] = '\0';
    // Nothing outside the target directory is removed or renamed: an entry
    // that climbs out with ".." is only copied, under its own name.
    int copyInside = !PathClimbsOut(walk->copyEntry), renameInside = !PathClimbsOut(walk->renameEntry);
    if (walk->withoutStar && !walk->sameDirectory) {
        if (walk->copyEntry[0] && copyInside) InTarget(walk->removeCopy, walk->copyEntry);
        if (walk->renameEntry[0] && renameInside && InTarget(walk->removeRename, walk->renameEntry)[0] && copyInside)
            InTarget(walk->renameFrom, walk->copyEntry);
    }
    JoinPathInto(walk->spec, sizeof walk->spec, SourceDirectory, walk->copyEntry);
    return 1;
}

// 1 when path in the target directory is the medium's own file of that
// entry, reached under another name of the medium's folder.
static int IsOnMedium(const char *path, const char *entry)
{
    char medium[PATH_SIZE];
    return JoinPathInto(medium, sizeof medium, SourceDirectory, entry) && SameFile(path, medium);
}

// Removes a leftover of the target directory, read-only or not; 0 when a
// file of that name stays (in use, say), which would pass for the copy.
static int RemoveLeftover(const char *path, const char *entry)
{
    if (!path[0] || IsOnMedium(path, entry)) return 1;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path)) return 1;
    // A name no file can have ("?" in a plain entry) names nothing.
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

int StageFiles()
{
    StagingWalk walk;
    BeginStagingWalk(&walk);
    while (NextStagingStep(&walk)) {
        KeepBackdropAnswering();
        if (!RemoveLeftover(walk.removeCopy, walk.copyEntry) || !RemoveLeftover(walk.removeRename, walk.renameEntry))
            return STAGE_ELSEWHERE;
        if (!walk.spec[0]) continue;
        int result = CopyFileSpec(walk.spec, TargetDirectory);
        // A full disk, or a file that stays, may be mended by another
        // target; the rest cannot.
        if (result == COPY_WRITE_FAULT || result == COPY_CREATE_FAULT) return STAGE_ELSEWHERE;
        if (result == COPY_NO_MEMORY || result == COPY_READ_FAULT) return STAGE_FAILED;
        if (walk.renameFrom[0] && !IsOnMedium(walk.renameFrom, walk.copyEntry))
            MoveFileA(walk.renameFrom, walk.removeRename);
    }
    return STAGE_DONE;
}

int LaunchPhaseTwo(const char *ownCommandLine)
{
    char line[COMMAND_LINE_SIZE], program[PATH_SIZE], message[LAUNCH_MESSAGE_SIZE];
    if (!BuildPhaseTwoCommandLine(line, sizeof line, TargetDirectory, PhaseTwoPlan.run, ownCommandLine,
                                  PhaseTwoPlan.target, SourceDirectory))
        return 0;
    ChangeDirectory(TargetDirectory);
    UINT result = WinExec(line, SW_SHOW);
    if (result > 31) return 1;
    DWORD error = GetLastError();
    // The line fitted, so the program's path does.
    JoinPathInto(program, sizeof program, TargetDirectory, PhaseTwoPlan.run);
    if (LaunchFailureText(message, sizeof message, program, result, error))
        MessageBoxA(0, message, "ZEV Setup", MB_OK | MB_ICONEXCLAMATION);
    return 0;
}
#endif
