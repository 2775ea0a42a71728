// SETUP1-CHECK.EXE: reads a medium's plan the way SETUP1.EXE reads it and
// reports every place where the first phase would quietly do something
// other than what the plan's author most likely meant.
#include <windows.h>

#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "paths.h"
#include "setup1.h"
#include "staging.h"

enum {
    RAW_SIZE = 4096,       // room to see how long a value really is
    SECTION_SIZE = 32768,
    MAX_ENTRIES = PLAN_TEXT_SIZE / 2 + 1,  // 511 characters hold at most 256 entries
    MAX_STAGED = 512,
    NAME_SIZE = 260,
};

static const char Usage[] =
    "usage: SETUP1-CHECK.EXE MEDIUM_DIR [TEMPDIR]\n"
    "\n"
    "Reads section [phasetwo] of MEDIUM_DIR\\SETUP1.INF with the same code as\n"
    "SETUP1.EXE and reports, one line each, what the first phase would quietly do\n"
    "otherwise than the plan most likely means: copyfiles entries that match no\n"
    "file (the \"$\" rule and wildcards taken into account), blanks and empty\n"
    "entries in copyfiles and renameto, renames that find nothing or are never\n"
    "used, entries that end under the same name, target codes that cannot work,\n"
    "tempspace that is not a number, a missing tempdir or run, a run that is not\n"
    "staged, and paths or the second-phase command line longer than 255\n"
    "characters. TEMPDIR stands in for the plan's tempdir in the length checks.\n"
    "\n"
    "Lines starting \"warning:\" are findings; lines starting \"note:\" list what\n"
    "the first phase will do (the name each staged file gets) and are no finding.\n"
    "Each line ends with a tag in brackets.\n"
    "\n"
    "Exit status: 0 nothing found, 1 something reported, 2 bad usage.\n";

static int Findings;

static void Line(const char *kind, const char *tag, const char *where, const char *format, va_list args)
{
    printf("%s: %s: ", kind, where);
    vprintf(format, args);
    printf(" [%s]\n", tag);
}

// A finding about the key or entry that where names.
static void Warn(const char *tag, const char *where, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    Line("warning", tag, where, format, args);
    va_end(args);
    ++Findings;
}

static void Note(const char *tag, const char *where, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    Line("note", tag, where, format, args);
    va_end(args);
}

// "key" or "key[n] "entry"" for the report lines.
static const char *Where(const char *key, int index, const char *entry)
{
    // Several may be in use at once, in one report line and around it.
    static char slots[4][PLAN_TEXT_SIZE + 64];
    static int next;
    char *where = slots[next++ % 4];
    if (index > 0)
        snprintf(where, sizeof slots[0], "%s[%d] \"%s\"", key, index, entry);
    else
        snprintf(where, sizeof slots[0], "%s \"%s\"", key, entry);
    return where;
}

static int SameName(const char *a, const char *b) { return lstrcmpiA(a, b) == 0; }

// ---------------------------------------------------------------- the plan

static char PlanFile[PATH_SIZE];
static int KeyMissing[6];
static const char *const PlanKeys[6] = {"target", "copyfiles", "renameto", "tempdir", "tempspace", "run"};
enum { KEY_TARGET, KEY_COPYFILES, KEY_RENAMETO, KEY_TEMPDIR, KEY_TEMPSPACE, KEY_RUN };
static const size_t KeySizes[6] = {TARGET_TEXT_SIZE, PLAN_TEXT_SIZE, PLAN_TEXT_SIZE,
                                   PATH_SIZE,        PLAN_TEXT_SIZE, PLAN_TEXT_SIZE};

static void CheckPlanFile()
{
    static char section[SECTION_SIZE];
    DWORD got = GetPrivateProfileSectionA("phasetwo", section, sizeof section, PlanFile);
    if (got == 0) Warn("no-section", "SETUP1.INF", "has no section [phasetwo] (or it is empty): every value is empty");

    int seen[6] = {0};
    for (const char *line = section; *line; line += strlen(line) + 1) {
        const char *equals = strchr(line, '=');
        if (!equals) continue;
        char key[64];
        size_t length = (size_t)(equals - line);
        while (length > 0 && (line[length - 1] == ' ' || line[length - 1] == '\t')) --length;
        if (length >= sizeof key) continue;
        memcpy(key, line, length);
        key[length] = '\0';
        for (int k = 0; k < 6; ++k)
            if (SameName(key, PlanKeys[k]) && ++seen[k] == 2)
                Warn("duplicate-key", PlanKeys[k], "appears more than once in [phasetwo]; only the first is read");
    }

    static char raw[RAW_SIZE];
    for (int k = 0; k < 6; ++k) {
        // A default that no plan holds tells a missing key from an empty one.
        GetPrivateProfileStringA("phasetwo", PlanKeys[k], "\x01", raw, sizeof raw, PlanFile);
        KeyMissing[k] = strcmp(raw, "\x01") == 0;
        size_t length = strlen(raw);
        if (!KeyMissing[k] && length > KeySizes[k] - 1)
            Warn("cut", Where(PlanKeys[k], 0, ""), "is %u characters long; only the first %u are read",
                 (unsigned)length, (unsigned)(KeySizes[k] - 1));
    }
}

// ------------------------------------------------------------ target codes

// Whether a single entry, parsed and matched by the program's own code,
// selects the add-on mode.
static int EntryMatchesS(const char *code)
{
    TargetListRecord saved = TargetList;
    char savedEdition = EditionLetter;
    TargetList.count = 0;
    ParseTargetCodes(code);
    int matches = HasTargetCode("S");
    TargetList = saved;
    EditionLetter = savedEdition;
    return matches;
}

static int IsLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static void CheckTarget()
{
    const char *text = PlanTarget;
    if (KeyMissing[KEY_TARGET] || text[0] == '\0' || text[0] == ' ') {
        Warn("target-empty", Where("target", 0, text),
             "%s: the target list holds one empty entry, which matches every code and selects the add-on mode",
             KeyMissing[KEY_TARGET] ? "is missing" : "is empty");
        return;
    }
    const char *stop = strchr(text, ' ');
    if (stop && stop[strspn(stop, " ")])
        Warn("target-blank", Where("target", 0, text),
             "the target codes end at the first blank; \"%s\" plays no part in them", stop + strspn(stop, " "));
    if (!stop) stop = text + strlen(text);

    // An entry that really asks for S (not one that matches everything).
    int asksForS = 0;
    for (const char *entry = text; entry <= stop;) {
        const char *end = entry;
        while (end < stop && *end != '+') ++end;
        char code[TARGET_TEXT_SIZE];
        memcpy(code, entry, (size_t)(end - entry));
        code[end - entry] = '\0';
        if (IsLetterOrDigit(code[0]) && EntryMatchesS(code)) asksForS = 1;
        entry = end + 1;
    }

    int index = 0;
    for (const char *entry = text; entry <= stop;) {
        const char *end = entry;
        while (end < stop && *end != '+') ++end;
        ++index;
        char code[TARGET_TEXT_SIZE];
        size_t length = (size_t)(end - entry);
        memcpy(code, entry, length);
        code[length] = '\0';
        const char *where = Where("target", index, code);

        if (index > TARGET_SLOTS) {
            Warn("target-count", where, "the target list keeps %d entries; this one is dropped", TARGET_SLOTS);
        } else {
            if (length > TARGET_CODE_SIZE - 1)
                Warn("target-long", where, "is longer than %d characters; only \"%.*s\" is kept",
                     TARGET_CODE_SIZE - 1, TARGET_CODE_SIZE - 1, code);
            size_t run = 0;
            while (run < length && IsLetterOrDigit(code[run])) ++run;
            if (length == 0)
                Warn("target-empty", where, "an empty entry matches every code and selects the add-on mode");
            else if (run == 0)
                Warn("target-empty", where,
                     "begins with \"%c\", so it has no letters or digits to match and matches every code: the add-on "
                     "mode is chosen",
                     code[0]);
            else if (run < length)
                Warn("target-char", where, "only \"%.*s\" takes part in matching; the text from \"%c\" on does not",
                     (int)run, code, code[run]);

            if (!asksForS && run > 0 && (memchr(code, 'S', run) || memchr(code, 's', run)) && !EntryMatchesS(code))
                Warn("target-s", where,
                     "will never match \"S\": every letter and digit of an entry must occur in the code, case "
                     "counting; the add-on mode needs the entry S on its own");
        }
        entry = end + 1;
    }
}

// --------------------------------------------------------------- tempspace

static long long StagedBytes;

static void CheckTempSpace()
{
    const char *text = PlanTempSpaceText;
    const char *where = Where("tempspace", 0, text);
    if (KeyMissing[KEY_TEMPSPACE] || text[0] == '\0') {
        Note("tempspace-missing", where, "no free space is asked for");
        return;
    }
    const char *p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    int negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    const char *digits = p;
    while (*p >= '0' && *p <= '9') ++p;
    if (p == digits) {
        Warn("tempspace-nan", where, "is not a number; it reads as 0 and no free space is checked");
        return;
    }
    while (*p == ' ' || *p == '\t') ++p;
    if (*p && !SameName(p, "K") && !SameName(p, "KB"))
        Warn("tempspace-text", where, "only the leading number %d (kilobytes) is read; \"%s\" is ignored",
             PlanTempSpace, p);
    if (negative && PlanTempSpace != 0)
        Warn("tempspace-negative", where, "is negative: no free space is checked");
    else if (PlanTempSpace == INT_MAX || PlanTempSpace == INT_MIN)
        Warn("tempspace-range", where, "is beyond the range of the number; it reads as %d", PlanTempSpace);
}

static void CheckTempSpaceCovers()
{
    if (KeyMissing[KEY_TEMPSPACE] || PlanTempSpace < 0) return;
    long long asked = (long long)PlanTempSpace * 1024;
    if (StagedBytes > asked)
        Warn("tempspace-small", Where("tempspace", 0, PlanTempSpaceText),
             "asks for %lld bytes, but the staged files take %lld: a full drive would pass the check and the copy "
             "would fail",
             asked, StagedBytes);
}

// ----------------------------------------------------------- staging list

struct StagedFile {
    char name[NAME_SIZE];  // name in the staging folder after the walk
    int entry;             // copyfiles entry it came from
};
static StagedFile Staged[MAX_STAGED];
static int StagedCount;
static int SameDirectory;

static void AddStaged(const char *name, int entry)
{
    for (int i = 0; i < StagedCount; ++i) {
        if (!SameName(Staged[i].name, name)) continue;
        if (Staged[i].entry != entry) {
            char where[64];
            snprintf(where, sizeof where, "copyfiles[%d] and [%d]", Staged[i].entry, entry);
            Warn("same-name", where, "both end as \"%s\" in the staging folder; the later one replaces the earlier",
                 name);
        }
        Staged[i].entry = entry;
        return;
    }
    if (StagedCount == MAX_STAGED) return;
    CopyText(Staged[StagedCount].name, sizeof Staged[StagedCount].name, name);
    Staged[StagedCount].entry = entry;
    ++StagedCount;
}

// A plain entry deletes its own name and its rename partner from the
// staging folder before its copy; an earlier entry's file may be among them.
static void CheckDeletion(const char *name, int entry, const char *where)
{
    if (!name[0]) return;
    for (int i = 0; i < StagedCount; ++i)
        if (Staged[i].entry != entry && SameName(Staged[i].name, name))
            Warn("deleted-later", where, "deletes \"%s\" from the staging folder, which copyfiles[%d] put there", name,
                 Staged[i].entry);
}

static int JoinFits(const char *directory, const char *name, char *out)
{
    return CopyText(out, PATH_SIZE, directory) && JoinPath(out, name);
}

static int IsDotOrDotDot(const char *name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

// Lists the files that the copy engine takes for one entry and the names
// they get; returns how many there are. A match that would be skipped is
// reported as such, not as no match.
static int ListMatches(const char *entry, int index, const char *rename, int plain)
{
    const char *where = Where("copyfiles", index, entry);
    char spec[PATH_SIZE];
    if (!JoinFits(SourceDirectory, entry, spec)) {
        Warn("too-long", where, "joined to the medium folder it is longer than 255 characters: nothing is copied");
        return 0;
    }
    char dollarSpec[PATH_SIZE];
    WIN32_FIND_DATAA match;
    int wildcardName = HasWildcard(FileNamePart(spec));
    int dollarMode = !wildcardName && MakeDollarName(dollarSpec, spec);
    HANDLE search = INVALID_HANDLE_VALUE;
    if (dollarMode) {
        search = FindFirstFileA(dollarSpec, &match);
        dollarMode = search != INVALID_HANDLE_VALUE;
        if (dollarMode) {
            WIN32_FIND_DATAA plainMatch;
            HANDLE other = FindFirstFileA(spec, &plainMatch);
            if (other != INVALID_HANDLE_VALUE) {
                FindClose(other);
                Warn("dollar-shadow", where, "both \"%s\" and \"%s\" lie on the medium; only the first is copied",
                     FileNamePart(dollarSpec), FileNamePart(spec));
            }
        }
    }
    if (!dollarMode) search = FindFirstFileA(spec, &match);

    int files = 0, folders = 0, found = 0;  // files copied, folders and files matched
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (match.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!IsDotOrDotDot(match.cFileName)) ++folders;
                continue;
            }
            ++found;
            const char *name = match.cAlternateFileName[0] ? match.cAlternateFileName : match.cFileName;
            char source[PATH_SIZE], destination[PATH_SIZE];
            CopyText(source, sizeof source, spec);
            DirectoryPart(source);
            if (!JoinPath(source, name)) {
                Warn("too-long", where,
                     "the path of \"%s\" on the medium is longer than 255 characters: it is not copied", name);
                continue;
            }
            const char *stored = dollarMode ? FileNamePart(spec) : name;
            if (!JoinFits(TargetDirectory, stored, destination)) {
                Warn("too-long", where, "\"%s\" in the staging folder would be longer than 255 characters: it is not "
                     "copied", stored);
                continue;
            }
            HANDLE file = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, 0);
            if (file == INVALID_HANDLE_VALUE) {
                Warn("unreadable", where, "\"%s\" cannot be opened for reading: it is not copied", name);
                continue;
            }
            CloseHandle(file);
            ++files;
            StagedBytes += ((long long)match.nFileSizeHigh << 32) | match.nFileSizeLow;

            // The rename looks for the entry's own name in the staging folder.
            const char *final = stored;
            if (plain && rename[0] && !SameDirectory) {
                char copied[PATH_SIZE], looked[PATH_SIZE];
                if (JoinFits(TargetDirectory, stored, copied) && JoinFits(TargetDirectory, entry, looked) &&
                    SameName(copied, looked))
                    final = rename;
                else
                    Warn("rename-misses", where,
                         "is copied as \"%s\", but the rename to \"%s\" looks for \"%s\" and finds nothing; the file "
                         "keeps the name \"%s\"",
                         stored, rename, entry, stored);
            }
            char shown[NAME_SIZE * 2];
            if (match.cAlternateFileName[0])
                snprintf(shown, sizeof shown, "\"%s\" (short name %s)", match.cFileName, match.cAlternateFileName);
            else
                snprintf(shown, sizeof shown, "%s", match.cFileName);
            Note("staged", where, "%s is staged as %s", shown, final);
            AddStaged(final, index);
        } while (FindNextFileA(search, &match));
        FindClose(search);
    }

    char dollarWild[PATH_SIZE];
    HANDLE dollarSearch;
    if (wildcardName && MakeDollarName(dollarWild, spec) &&
        (dollarSearch = FindFirstFileA(dollarWild, &match)) != INVALID_HANDLE_VALUE) {
        FindClose(dollarSearch);
        Warn("dollar-wildcard", where,
             "\"%s\" on the medium is not copied: it matches \"%s\", but the \"$\" rule does not apply to a "
             "wildcard entry",
             match.cFileName, FileNamePart(dollarWild));
    }
    if (found == 0)
        Warn("no-match", where, folders ? "matches only folders on the medium: nothing is copied"
                                        : "matches no file on the medium");
    return files;
}

static int CountEntries(const char *list)
{
    int count = 1;
    for (; *list; ++list)
        if (*list == ',') ++count;
    return count;
}

static void CheckEntryText(const char *key, int index, const char *entry, int last, int count, const char *listText)
{
    const char *where = Where(key, index, entry);
    size_t length = strlen(entry);
    if (length && (entry[0] == ' ' || entry[length - 1] == ' '))
        Warn("blank", where, "%s: the name is taken with the blank and names no file",
             entry[0] == ' ' ? "begins with a blank (blank after a comma)" : "ends with a blank");
    if (length == 0 && count > 1) {
        if (last)
            Warn("trailing-comma", where, "the list \"%s\" ends with a comma, which adds an empty entry", listText);
        else if (key[0] == 'c')
            Warn("empty-entry", where, "is empty (two commas in a row): no file is copied for it");
    }
}

static void CheckStagingList()
{
    static char copyList[PLAN_TEXT_SIZE], renameList[PLAN_TEXT_SIZE];
    CopyText(copyList, sizeof copyList, PlanCopyFiles);
    CopyText(renameList, sizeof renameList, PlanRenameTo);
    int copyCount = CountEntries(PlanCopyFiles);
    int renameCount = PlanRenameTo[0] ? CountEntries(PlanRenameTo) : 0;

    if (KeyMissing[KEY_COPYFILES] || PlanCopyFiles[0] == '\0')
        Warn("copyfiles-empty", Where("copyfiles", 0, PlanCopyFiles), "%s: no file is staged",
             KeyMissing[KEY_COPYFILES] ? "is missing" : "is empty");

    // The same cutting of the lists as the staging walk, on copies.
    char *copyCursor = copyList, *renameCursor = renameList;
    int last = 0, index = 0;
    do {
        int renameEnded;
        ++index;
        char *entry = TakeListEntry(&copyCursor, &last);
        char *rename = TakeListEntry(&renameCursor, &renameEnded);
        const char *where = Where("copyfiles", index, entry);
        int plain = strchr(entry, '*') == 0;
        CheckEntryText("copyfiles", index, entry, last, copyCount, PlanCopyFiles);
        if (index <= renameCount)
            CheckEntryText("renameto", index, rename, index == renameCount, renameCount, PlanRenameTo);

        if (rename[0] && strpbrk(rename, "\\/:*?"))
            Warn("rename-path", Where("renameto", index, rename),
                 "holds a separator or a wildcard; a rename names one file in the staging folder");
        char path[PATH_SIZE];
        if (!JoinFits(TargetDirectory, entry, path) || (rename[0] && !JoinFits(TargetDirectory, rename, path)))
            Warn("too-long", where, "joined to the staging folder it or its rename is longer than 255 characters");

        if (entry[0] == '\0') {
            if (rename[0])
                Warn("empty-entry", Where("renameto", index, rename),
                     "belongs to an empty copyfiles entry: nothing is copied, but \"%s\" is still deleted from the "
                     "staging folder",
                     rename);
            continue;
        }
        if (!plain && rename[0])
            Warn("rename-unused", Where("renameto", index, rename),
                 "is the partner of the wildcard entry \"%s\": wildcard matches keep their names, the rename is never "
                 "used",
                 entry);
        if (plain && !SameDirectory) {
            CheckDeletion(entry, index, where);
            CheckDeletion(rename, index, Where("renameto", index, rename));
        }
        ListMatches(entry, index, rename, plain);
    } while (!last);

    for (int surplus = index + 1; surplus <= renameCount; ++surplus) {
        int ended;
        char *rename = TakeListEntry(&renameCursor, &ended);
        if (rename[0])
            Warn("rename-surplus", Where("renameto", surplus, rename),
                 "renameto has more entries than copyfiles; this one has no partner and is ignored");
        else if (surplus == renameCount)
            Warn("trailing-comma", Where("renameto", surplus, rename),
                 "the list \"%s\" ends with a comma past the end of copyfiles", PlanRenameTo);
    }
}

// ------------------------------------------------------ tempdir, run, line

static int IsAbsolute(const char *path)
{
    int sep0 = path[0] == '\\' || path[0] == '/';
    return (path[0] && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           (sep0 && (path[1] == '\\' || path[1] == '/'));
}

static void CheckTempDir(int addOn, int overridden)
{
    const char *where = Where(overridden ? "TEMPDIR" : "tempdir", 0, TargetDirectory);
    if (TargetDirectory[0] == '\0') {
        if (!addOn)
            Warn("tempdir-missing", where, "%s: the first phase has no staging folder and asks the user for one",
                 KeyMissing[KEY_TEMPDIR] ? "is missing" : "is empty");
        return;
    }
    if (!IsAbsolute(TargetDirectory))
        Warn("tempdir-relative", where, "is not a full path: it is taken relative to whatever the current folder is");
    if (SameDirectory)
        Warn("tempdir-is-medium", where, "is the medium folder itself: nothing is copied or renamed there");
}

static void CheckRun(int addOn)
{
    if (addOn) return;
    const char *where = Where("run", 0, PlanRun);
    if (PlanRun[0] == '\0') {
        Warn("run-missing", where, "%s: the second phase started is the staging folder itself, which fails",
             KeyMissing[KEY_RUN] ? "is missing" : "is empty");
        return;
    }
    for (int i = 0; i < StagedCount; ++i)
        if (SameName(Staged[i].name, PlanRun)) return;
    Warn("run-not-staged", where, "is not among the staged names%s; the second phase will not start",
         strchr(PlanRun, ' ') ? " (the whole value, blanks and all, is the program's name)" : "");
}

static void CheckCommandLine(int addOn)
{
    if (addOn || PlanRun[0] == '\0') return;
    char line[COMMAND_LINE_SIZE];
    const char *where = Where("run", 0, PlanRun);
    if (!BuildPhaseTwoCommandLine(line, sizeof line, TargetDirectory, PlanRun, "", PlanTarget, SourceDirectory)) {
        Warn("too-long", where,
             "the second-phase command line (staging folder, run, -p and target, medium folder) would be longer "
             "than %d characters: the second phase is not started",
             COMMAND_LINE_SIZE - 1);
        return;
    }
    int length = (int)strlen(line);
    int room = COMMAND_LINE_SIZE - 2 - length;  // less the blank before it
    Note("command-line", where, "%s (%d characters; room for %d more from SETUP1.EXE's own command line)", line, length,
         room > 0 ? room : 0);
}

// -------------------------------------------------------------------- main

static int SamePathText(const char *a, const char *b)
{
    char fullA[PATH_SIZE], fullB[PATH_SIZE];
    DWORD la = GetFullPathNameA(a, sizeof fullA, fullA, 0), lb = GetFullPathNameA(b, sizeof fullB, fullB, 0);
    if (la == 0 || la >= sizeof fullA || lb == 0 || lb >= sizeof fullB) return SameName(a, b);
    while (la > 1 && (fullA[la - 1] == '\\' || fullA[la - 1] == '/') && fullA[la - 2] != ':') fullA[--la] = '\0';
    while (lb > 1 && (fullB[lb - 1] == '\\' || fullB[lb - 1] == '/') && fullB[lb - 2] != ':') fullB[--lb] = '\0';
    return SameName(fullA, fullB);
}

int main(int argc, char **argv)
{
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "/?") == 0)) {
        fputs(Usage, stdout);
        return 0;
    }
    if (argc < 2 || argc > 3 || argv[1][0] == '-' || (argc == 3 && argv[2][0] == '-')) {
        fputs(Usage, stderr);
        return 2;
    }
    char medium[PATH_SIZE];
    DWORD length = GetFullPathNameA(argv[1], sizeof medium, medium, 0);
    DWORD attributes = length && length < sizeof medium ? GetFileAttributesA(medium) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        fprintf(stderr, "SETUP1-CHECK: \"%s\" is not a folder\n", argv[1]);
        return 2;
    }
    if (argc == 3 && strlen(argv[2]) >= PATH_SIZE) {
        fprintf(stderr, "SETUP1-CHECK: TEMPDIR is longer than %d characters\n", PATH_SIZE - 1);
        return 2;
    }
    setvbuf(stdout, 0, _IOFBF, 1 << 16);

    // The source directory as SETUP1.EXE finds it when started from there.
    char program[PATH_SIZE];
    if (!CopyText(program, sizeof program, medium) || !JoinPath(program, "SETUP1.EXE") ||
        !SetSourceDirectory(program, strlen(program))) {
        Warn("too-long", Where("medium", 0, medium), "SETUP1.EXE in this folder has a path of 255 characters or more");
        return 1;
    }
    if (!JoinFits(SourceDirectory, "SETUP1.INF", PlanFile)) {
        Warn("too-long", Where("medium", 0, SourceDirectory), "the plan's path is longer than 255 characters: no plan "
             "is read");
        return 1;
    }
    if (GetFileAttributesA(PlanFile) == INVALID_FILE_ATTRIBUTES)
        Warn("no-plan", Where("medium", 0, SourceDirectory), "holds no SETUP1.INF: every value is empty and the "
             "add-on mode is chosen");
    else
        CheckPlanFile();

    ReadPhaseTwoPlan();
    if (argc == 3) CopyText(TargetDirectory, sizeof TargetDirectory, argv[2]);
    SameDirectory = TargetDirectory[0] && SamePathText(TargetDirectory, SourceDirectory);
    int addOn = HasTargetCode("S");
    Note("mode", Where("target", 0, PlanTarget), "%s", addOn ? "add-on mode: VUZevod RUD into the product's folder"
                                                               : "normal mode: staging and the second phase");

    CheckTarget();
    CheckTempSpace();
    CheckTempDir(addOn, argc == 3);
    CheckStagingList();
    CheckTempSpaceCovers();
    CheckRun(addOn);
    CheckCommandLine(addOn);

    printf("%d finding%s\n", Findings, Findings == 1 ? "" : "s");
    fflush(stdout);
    return Findings ? 1 : 0;
}
