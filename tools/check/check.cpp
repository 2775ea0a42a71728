// SETUP1-CHECK.EXE: reads a medium's plan the way SETUP1.EXE reads it and
// reports every place where the first phase would quietly do something
// other than what the plan's author most likely meant.
#include <windows.h>

#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "backdrop.h"
#include "paths.h"
#include "setup1.h"
#include "signature.h"
#include "staging.h"

enum {
    RAW_SIZE = 4096,  // room to see how long a value really is
    SECTION_SIZE = 32768,
    MAX_STAGED = 512,
    NAME_SIZE = 260,
};

static const char Usage[] = "usage: SETUP1-CHECK.EXE MEDIUM_DIR [TEMPDIR]\n"
                            "\n"
                            "Reads section [phasetwo] of MEDIUM_DIR\\SETUP1.INF with the same code as\n"
                            "SETUP1.EXE and reports, one line each, what the first phase would quietly do\n"
                            "otherwise than the plan most likely means: a plan saved as UTF-8 with a byte\n"
                            "order mark or as UTF-16, misspelt keys, copyfiles entries that match no\n"
                            "file (the \"$\" rule and wildcards taken into account) or files without an\n"
                            "8.3 name of their own, blanks and empty entries in copyfiles and renameto,\n"
                            "renames that find nothing or are never used, entries that end under the\n"
                            "same name, target codes that cannot work, tempspace that is not a number,\n"
                            "a missing tempdir or run, a run that is not staged, and paths or the\n"
                            "second-phase command line longer than 255 characters. TEMPDIR stands in for\n"
                            "the plan's tempdir in the length checks.\n"
                            "\n"
                            "SETUP1.EXE and every program the plan copies are looked at for an Authenticode\n"
                            "signature: a note for one that is not signed (tools/sign signs it), a warning\n"
                            "for one whose signature no longer matches the file (changed after signing).\n"
                            "\n"
                            "tempspace is in kilobytes; a K or KB after the number is read as kilobytes\n"
                            "too (tempspace=200KB is 200).\n"
                            "\n"
                            "Lines starting \"warning:\" are findings, most of them ending in what to do;\n"
                            "lines starting \"note:\" list what the first phase will do (the mode and the\n"
                            "backdrop's picture, the name each file gets) and are no finding. Each line\n"
                            "ends with a tag in brackets.\n"
                            "\n"
                            "Exit status: 0 nothing found, 1 something reported, 2 bad usage.\n";

static int Findings;

// What a report line is about: a key alone (entry 0), a key and its value
// (index 0), or an entry of a list (index from 1).
struct Place {
    const char *key;
    int index;
    const char *entry;
};

static Place At(const char *key, int index = 0, const char *entry = "") { return Place{key, index, entry}; }
static Place Key(const char *key) { return Place{key, 0, 0}; }

static void Line(const char *kind, const char *tag, Place place, const char *format, va_list args)
{
    printf("%s: ", kind);
    if (!place.entry)
        printf("%s", place.key);
    else if (place.index > 0)
        printf("%s[%d] \"%s\"", place.key, place.index, place.entry);
    else
        printf("%s \"%s\"", place.key, place.entry);
    printf(": ");
    vprintf(format, args);
    printf(" [%s]\n", tag);
}

// A finding about the key or entry that place names.
static void Warn(const char *tag, Place place, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    Line("warning", tag, place, format, args);
    va_end(args);
    ++Findings;
}

static void Note(const char *tag, Place place, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    Line("note", tag, place, format, args);
    va_end(args);
}

static int SameName(const char *a, const char *b) { return lstrcmpiA(a, b) == 0; }

// ---------------------------------------------------------------- the plan

static char PlanFile[PATH_SIZE];
static int KeyMissing[PLAN_KEY_COUNT];
static int AddOn;  // the plan selects the add-on mode

static const char SaveAsAnsi[] = "save the file as ANSI text, without a byte order mark";

// Editors save text in forms that Wine's profile reader takes but Windows'
// does not.
static void CheckEncoding()
{
    unsigned char head[16] = {0};
    DWORD got = 0;
    HANDLE file = CreateFileA(PlanFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) return;
    ReadFile(file, head, sizeof head - 1, &got, 0);
    CloseHandle(file);
    if (got >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
        const char *first = (const char *)head + 3;
        Warn("encoding", Key("SETUP1.INF"),
             "begins with a UTF-8 byte order mark, which Windows' profile reader takes as part of the first line "
             "(Wine skips it)%s; %s",
             _strnicmp(first, "[phasetwo]", 10) == 0
                 ? ": on Windows [phasetwo] is not found, every value reads as empty and the add-on mode is chosen"
                 : "",
             SaveAsAnsi);
    } else if (got >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
        Warn("encoding", Key("SETUP1.INF"),
             "is UTF-16 text: Windows NT and later read it by its byte order mark, but Windows 95, 98 and ME read "
             "none of it (every value empty: the add-on mode is chosen), and characters outside the ANSI code page "
             "become \"?\"; %s",
             SaveAsAnsi);
    } else if (got >= 2 && (head[0] == 0 || head[1] == 0 || (head[0] == 0xFE && head[1] == 0xFF))) {
        Warn("encoding", Key("SETUP1.INF"),
             "is UTF-16 text %s: Windows 95, 98 and ME read none of it (every value empty: the add-on mode is "
             "chosen), and later Windows may not either; %s",
             head[0] == 0xFE ? "with a big-endian byte order mark" : "without a byte order mark", SaveAsAnsi);
    }
}

static char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

// Edits (a letter added, dropped or changed, two neighbours swapped) that
// turn a into b, case ignored; both shorter than 64.
static int EditDistance(const char *a, const char *b)
{
    static int d[64][64];
    size_t n = strlen(a), m = strlen(b);
    for (size_t i = 0; i <= n; ++i) d[i][0] = (int)i;
    for (size_t j = 0; j <= m; ++j) d[0][j] = (int)j;
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j) {
            int change = d[i - 1][j - 1] + (FoldCase(a[i - 1]) != FoldCase(b[j - 1]));
            int best = d[i - 1][j] + 1 < d[i][j - 1] + 1 ? d[i - 1][j] + 1 : d[i][j - 1] + 1;
            if (change < best) best = change;
            if (i > 1 && j > 1 && FoldCase(a[i - 1]) == FoldCase(b[j - 2]) &&
                FoldCase(a[i - 2]) == FoldCase(b[j - 1]) && d[i - 2][j - 2] + 1 < best)
                best = d[i - 2][j - 2] + 1;
            d[i][j] = best;
        }
    return d[n][m];
}

// A key that the first phase does not read: a finding when it is a likely
// misspelling of one of its keys, else only named (the second phase may
// read it).
static void CheckUnknownKey(const char *key)
{
    int nearest = -1, distance = 3;
    for (int k = 0; k < PLAN_KEY_COUNT; ++k) {
        int d = EditDistance(key, PlanKeys[k].name);
        int allowed = strlen(PlanKeys[k].name) <= 4 ? 1 : 2;
        if (d <= allowed && d < distance) {
            nearest = k;
            distance = d;
        }
    }
    if (nearest >= 0)
        Warn("unknown-key", Key(key), "is not a key that the first phase reads; did you mean \"%s\"?",
             PlanKeys[nearest].name);
    else
        Note("other-key", Key(key),
             "is not one of the keys that the first phase reads (target, copyfiles, renameto, tempdir, tempspace, "
             "run); only the second phase can use it");
}

static void CheckPlanFile()
{
    static char section[SECTION_SIZE];
    DWORD got = GetPrivateProfileSectionA("phasetwo", section, sizeof section, PlanFile);
    if (got == 0)
        Warn("no-section", Key("SETUP1.INF"),
             "has no section [phasetwo] (or it is empty): every value is empty; the keys belong below a line "
             "[phasetwo]");

    int seen[PLAN_KEY_COUNT] = {0};
    for (const char *line = section; *line; line += strlen(line) + 1) {
        const char *equals = strchr(line, '=');
        if (!equals) continue;
        char key[64];
        size_t length = (size_t)(equals - line);
        while (length > 0 && (line[length - 1] == ' ' || line[length - 1] == '\t')) --length;
        if (length >= sizeof key) continue;
        memcpy(key, line, length);
        key[length] = '\0';
        int known = 0;
        for (int k = 0; k < PLAN_KEY_COUNT; ++k) {
            if (!SameName(key, PlanKeys[k].name)) continue;
            known = 1;
            if (++seen[k] == 2)
                Warn("duplicate-key", Key(PlanKeys[k].name),
                     "appears more than once in [phasetwo]; only the first is read: remove the others");
        }
        if (!known) CheckUnknownKey(key);
    }

    static char raw[RAW_SIZE];
    for (int k = 0; k < PLAN_KEY_COUNT; ++k) {
        // A default that no plan holds tells a missing key from an empty one.
        GetPrivateProfileStringA("phasetwo", PlanKeys[k].name, "\x01", raw, sizeof raw, PlanFile);
        KeyMissing[k] = strcmp(raw, "\x01") == 0;
        size_t length = strlen(raw);
        if (!KeyMissing[k] && length > PlanKeys[k].size - 1)
            Warn("cut", At(PlanKeys[k].name), "is %u characters long; only the first %u are read: shorten it%s",
                 (unsigned)length, (unsigned)(PlanKeys[k].size - 1),
                 k == PLAN_COPYFILES ? " (a wildcard entry can stand for several files)" : "");
    }
}

// ------------------------------------------------------------ target codes

// Whether a single entry, parsed and matched by the program's own code,
// selects the add-on mode.
static int EntryMatchesS(const char *code)
{
    TargetListRecord list = {0, {}};
    char edition = ' ';
    ParseTargetCodesInto(&list, &edition, code);
    return TargetListHas(&list, "S");
}

// The codes after a blank are lost; what they would have done, read by the
// program's own code from the value written without blanks.
static void CheckTargetBlank(const char *text, const char *lost)
{
    char joined[TARGET_TEXT_SIZE];
    size_t n = 0;
    int codesOnly = 1;
    for (const char *p = text; *p; ++p) {
        if (*p == ' ' || *p == '+') {
            if (n > 0 && joined[n - 1] != '+') joined[n++] = '+';
        } else {
            codesOnly = codesOnly && IsLetterOrDigit(*p);
            joined[n++] = *p;
        }
    }
    if (n > 0 && joined[n - 1] == '+') --n;
    joined[n] = '\0';

    char effect[160] = "";
    TargetListRecord list = {0, {}};
    char edition = ' ';
    ParseTargetCodesInto(&list, &edition, joined);
    if (codesOnly && edition != PhaseTwoPlan.EditionLetter) {
        const char *shown = EditionPicture(PhaseTwoPlan.EditionLetter), *meant = EditionPicture(edition);
        snprintf(effect, sizeof effect, ": the edition code %c is lost", edition);
        if (strcmp(shown, meant) != 0)
            snprintf(effect + strlen(effect), sizeof effect - strlen(effect),
                     ", so the backdrop shows %s instead of %s", shown, meant);
    }
    if (codesOnly && TargetListHas(&list, "S") && !HasTargetCode("S"))
        snprintf(effect + strlen(effect), sizeof effect - strlen(effect), "%s the add-on code S is lost",
                 effect[0] ? ", and" : ":");
    Warn("target-blank", At("target", 0, text),
         "the target codes end at the first blank; \"%s\" plays no part in "
         "them%s%s%s%s",
         lost, effect, codesOnly ? "; if these are all codes, write them without blanks: \"" : "",
         codesOnly ? joined : "", codesOnly ? "\"" : "");
}

static void CheckTarget()
{
    const char *text = PhaseTwoPlan.target;
    if (KeyMissing[PLAN_TARGET] || (TargetEntryLength(text) == 0 && text[0] != '+')) {
        Warn("target-empty", At("target", 0, text),
             "%s: the target list holds one empty entry, which matches every code and selects the add-on mode; "
             "give the codes, such as target=4 (or target=S for an add-on)",
             KeyMissing[PLAN_TARGET] ? "is missing" : "is empty");
        return;
    }
    // The entries as the program splits them, and where the codes stop.
    const char *stop = text;
    while (stop[TargetEntryLength(stop)] == '+') stop += TargetEntryLength(stop) + 1;
    stop += TargetEntryLength(stop);
    if (*stop == ' ' && stop[strspn(stop, " ")]) CheckTargetBlank(text, stop + strspn(stop, " "));

    // An entry of the list the program parsed that really asks for S (not
    // one that matches everything).
    int asksForS = 0;
    for (int i = 0; i < PhaseTwoPlan.TargetList.count; ++i) {
        const char *code = PhaseTwoPlan.TargetList.entries[i];
        if (IsLetterOrDigit(code[0]) && EntryMatchesS(code)) asksForS = 1;
    }

    int index = 0;
    for (const char *entry = text; entry <= stop; entry += TargetEntryLength(entry) + 1) {
        ++index;
        size_t length = TargetEntryLength(entry);
        char code[TARGET_TEXT_SIZE];
        CopyText(code, length + 1, entry);
        Place where = At("target", index, code);

        if (index > TARGET_SLOTS) {
            Warn("target-count", where, "the target list keeps %d entries; this one is dropped", TARGET_SLOTS);
            continue;
        }
        if (length > TARGET_CODE_SIZE - 1)
            Warn("target-long", where, "is longer than %d characters; only \"%.*s\" is kept", TARGET_CODE_SIZE - 1,
                 TARGET_CODE_SIZE - 1, code);
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
}

// --------------------------------------------------------------- tempspace

static long long StagedBytes;

static void CheckTempSpace()
{
    const char *text = PhaseTwoPlan.tempspaceText;
    Place where = At("tempspace", 0, text);
    if (KeyMissing[PLAN_TEMPSPACE] || text[0] == '\0') {
        Note("tempspace-missing", where, "no free space is asked for");
        return;
    }
    const char *digits, *p;
    int value = ScanTempSpace(text, &digits, &p);
    if (p == digits) {
        Warn("tempspace-nan", where,
             "is not a number; it reads as 0 and no free space is checked; give the kilobytes, such as "
             "tempspace=1500");
        return;
    }
    while (*p == ' ' || *p == '\t') ++p;
    if (*p && !SameName(p, "K") && !SameName(p, "KB"))
        Warn("tempspace-text", where,
             "only the leading number %d (kilobytes) is read; \"%s\" is ignored; give the kilobytes as a plain "
             "number (a K or KB after it is fine)",
             value, p);
    if (digits > text && digits[-1] == '-' && value != 0)
        Warn("tempspace-negative", where, "is negative: no free space is checked");
    else if (value == INT_MAX || value == INT_MIN)
        Warn("tempspace-range", where, "is beyond the range of the number; it reads as %d", value);
}

static void CheckTempSpaceCovers()
{
    if (KeyMissing[PLAN_TEMPSPACE] || PhaseTwoPlan.tempspace < 0) return;
    long long asked = (long long)PhaseTwoPlan.tempspace * 1024;
    if (StagedBytes > asked)
        Warn("tempspace-small", At("tempspace", 0, PhaseTwoPlan.tempspaceText),
             "asks for %lld bytes, but the staged files take %lld: a full drive would pass the check and the copy "
             "would fail; tempspace=%lld covers them",
             asked, StagedBytes, (StagedBytes + 1023) / 1024);
}

// ----------------------------------------------------------- staging list

struct StagedFile {
    char name[NAME_SIZE];  // name in the staging folder after the walk
    int entry;             // copyfiles entry it came from
};
static StagedFile Staged[MAX_STAGED];
static int StagedCount;
static int SameDirectory;

// What happens to the files: the add-on mode stages nothing, it copies
// them into the product's folder.
static const char *Handled() { return AddOn ? "copied" : "staged"; }

// 1 when name is an 8.3 name: the same on every file system, long names
// on or off.
static int IsShortName(const char *name)
{
    const char *dot = strchr(name, '.');
    size_t base = dot ? (size_t)(dot - name) : strlen(name);
    if (base < 1 || base > 8) return 0;
    if (dot && (dot[1] == '\0' || strlen(dot + 1) > 3 || strchr(dot + 1, '.'))) return 0;
    for (const unsigned char *p = (const unsigned char *)name; *p; ++p) {
        // A trail byte of a double-byte character may look like "\\" or "[".
        if (IsDBCSLeadByte(*p) && p[1])
            ++p;
        else if (*p <= ' ' || strchr("\"*+,/:;<=>?[\\]|", *p))
            return 0;
    }
    return 1;
}

static void AddStaged(const char *name, int entry)
{
    for (int i = 0; i < StagedCount; ++i) {
        if (!SameName(Staged[i].name, name)) continue;
        if (Staged[i].entry != entry) {
            char where[64];
            snprintf(where, sizeof where, "copyfiles[%d] and [%d]", Staged[i].entry, entry);
            Warn("same-name", Key(where),
                 "both end as \"%s\" in the staging folder; the later one replaces the earlier: give one of them "
                 "another name in renameto",
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
static void CheckDeletion(const char *name, int entry, const Place &where)
{
    for (int i = 0; i < StagedCount; ++i)
        if (Staged[i].entry != entry && SameName(Staged[i].name, name))
            Warn("deleted-later", where,
                 "deletes \"%s\" from the staging folder, which copyfiles[%d] put there; list this entry before it",
                 name, Staged[i].entry);
}

static int IsDotOrDotDot(const char *name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

// Lists the files that the copy engine takes for the walk's entry and the
// names they get. A match that would be passed over is reported as such,
// not as no match.
// ------------------------------------------------------------- signatures

// What Windows makes of a program's signature, or of its want of one.
static void ReportSignature(SignatureVerdict verdict, const Place &where, const char *name)
{
    static const char Sign[] = "tools/sign --cert CERT.pem --key KEY.pem";
    switch (verdict) {
    case SIGNATURE_NONE:
        Note("unsigned", where,
             "%s is not signed: Windows names no publisher for it, SmartScreen may stop it and policies may refuse "
             "it; sign it with %s %s",
             name, Sign, name);
        break;
    case SIGNATURE_CHANGED:
        Warn("signature-mismatch", where,
             "%s is signed, but the signature does not match the file any more (it was changed after signing): "
             "Windows refuses it as damaged or tampered with; sign it again with %s %s",
             name, Sign, name);
        break;
    case SIGNATURE_DAMAGED:
        Warn("signature-damaged", where,
             "%s has a certificate table that Windows does not take (not at the end of the file, or no "
             "signature in it); sign it again with %s %s",
             name, Sign, name);
        break;
    case SIGNATURE_UNCHECKED:
        Note("signature-unchecked", where,
             "%s is signed with a hash other than SHA-256; whether the signature matches the file is not checked",
             name);
        break;
    default:  // no program, a signature that matches, a file reported elsewhere
        break;
    }
}

static void ListMatches(const StagingWalk *walk)
{
    Place where = At("copyfiles", walk->index, walk->copyEntry);
    if (!walk->spec[0]) {
        Warn("too-long", where, "joined to the medium folder it is longer than 255 characters: nothing is copied");
        return;
    }
    static CopyListing listing;
    WIN32_FIND_DATAA other;
    int any = BeginCopyListing(&listing, walk->spec, TargetDirectory);
    if (listing.dollarMode && PassedOverMatch(&listing, &other))
        Warn("dollar-shadow", where,
             "both \"%s\" and \"%s\" lie on the medium; only the first is copied: remove "
             "the other from the medium",
             FileNamePart(listing.dollarSpec), FileNamePart(listing.spec));

    int folders = 0, found = 0;  // folders and files matched
    while (any && NextCopyMatch(&listing)) {
        const char *name = listing.name;
        switch (listing.verdict) {
        case MATCH_FOLDER:
            if (!IsDotOrDotDot(listing.found.cFileName)) ++folders;
            continue;
        case MATCH_SOURCE_TOO_LONG:
            ++found;
            Warn("too-long", where, "the path of \"%s\" on the medium is longer than 255 characters: it is not copied",
                 name);
            continue;
        case MATCH_DESTINATION_TOO_LONG:
            ++found;
            Warn("too-long", where,
                 "\"%s\" in the staging folder would be longer than 255 characters: it is not copied",
                 listing.storedName);
            continue;
        case MATCH_UNREADABLE:
            ++found;
            Warn("unreadable", where, "\"%s\" cannot be opened for reading: it is not copied", name);
            continue;
        }
        ++found;
        StagedBytes += ((long long)listing.found.nFileSizeHigh << 32) | listing.found.nFileSizeLow;

        // The walk renames the entry's own name in the staging folder, when
        // it renames at all.
        const char *final = listing.storedName;
        if (walk->renameFrom[0]) {
            if (SameName(listing.destination, walk->renameFrom))
                final = walk->renameEntry;
            else
                Warn("rename-misses", where,
                     "is copied as \"%s\", but the rename to \"%s\" looks for \"%s\" and finds nothing; the file "
                     "keeps the name \"%s\"",
                     listing.storedName, walk->renameEntry, walk->copyEntry, listing.storedName);
        }
        if (!IsShortName(listing.found.cFileName))
            Warn("long-name", where,
                 "\"%s\" has no 8.3 name of its own: it is %s as %s here, but that name depends on the medium's "
                 "file system (another short form elsewhere, the long name where short names are off), so %s can "
                 "rely on it; give the file an 8.3 name on the medium",
                 listing.found.cFileName, Handled(), listing.storedName,
                 AddOn ? "nothing in the product's folder" : "neither renameto nor the second phase");
        if (listing.found.cAlternateFileName[0])
            Note("staged", where, "\"%s\" (short name %s) is %s as %s", listing.found.cFileName,
                 listing.found.cAlternateFileName, Handled(), final);
        else
            Note("staged", where, "%s is %s as %s", listing.found.cFileName, Handled(), final);
        AddStaged(final, walk->index);
        if (listing.file != INVALID_HANDLE_VALUE)
            ReportSignature(CheckOpenProgramSignature(listing.file), where, listing.found.cFileName);
    }
    char dollarForm[PATH_SIZE];
    if (!listing.dollarMode && PassedOverMatch(&listing, &other) && MakeDollarName(dollarForm, listing.spec))
        Warn("dollar-wildcard", where,
             "\"%s\" on the medium is not copied: it matches \"%s\", but the \"$\" rule does not apply to a "
             "wildcard entry; list \"%s\" in an entry of its own",
             other.cFileName, FileNamePart(dollarForm), FileNamePart(dollarForm));
    EndCopyListing(&listing);
    if (found == 0)
        Warn("no-match", where,
             folders ? "matches only folders on the medium: nothing is copied" : "matches no file on the medium");
}

// Entries of a list as the staging walk cuts it.
static int CountEntries(const char *list)
{
    char copy[PLAN_TEXT_SIZE];
    CopyText(copy, sizeof copy, list);
    char *cursor = copy;
    int count = 0, ended = 0;
    while (!ended) {
        TakeListEntry(&cursor, &ended);
        ++count;
    }
    return count;
}

static void CheckEntryText(const char *key, int index, const char *entry, int last, int count, const char *listText)
{
    Place where = At(key, index, entry);
    size_t length = strlen(entry);
    if (length && (entry[0] == ' ' || entry[length - 1] == ' '))
        Warn("blank", where, "%s: the name is taken with the blank and names no file; remove the blank",
             entry[0] == ' ' ? "begins with a blank (blank after a comma)" : "ends with a blank");
    if (length == 0 && count > 1) {
        if (last)
            Warn("trailing-comma", where, "the list \"%s\" ends with a comma, which adds an empty entry; remove it",
                 listText);
        else if (key[0] == 'c')
            Warn("empty-entry", where, "is empty (two commas in a row): no file is copied for it; remove a comma");
    }
}

static void CheckStagingList()
{
    int copyCount = CountEntries(PhaseTwoPlan.copyfiles);
    int renameCount = PhaseTwoPlan.renameto[0] ? CountEntries(PhaseTwoPlan.renameto) : 0;

    if (KeyMissing[PLAN_COPYFILES] || PhaseTwoPlan.copyfiles[0] == '\0')
        Warn("copyfiles-empty", At("copyfiles", 0, PhaseTwoPlan.copyfiles), "%s: no file is staged",
             KeyMissing[PLAN_COPYFILES] ? "is missing" : "is empty");

    // The program's own walk, described instead of done.
    static StagingWalk walk;
    BeginStagingWalk(&walk);
    while (NextStagingStep(&walk)) {
        int index = walk.index;
        const char *entry = walk.copyEntry, *rename = walk.renameEntry;
        Place where = At("copyfiles", index, entry);
        CheckEntryText("copyfiles", index, entry, walk.ended, copyCount, PhaseTwoPlan.copyfiles);
        if (index <= renameCount)
            CheckEntryText("renameto", index, rename, index == renameCount, renameCount, PhaseTwoPlan.renameto);

        if (RenameHoldsPath(rename))
            Warn("rename-path", At("renameto", index, rename),
                 "holds a separator or a wildcard; a rename names one file in the staging folder");
        char path[PATH_SIZE];
        if (!JoinPathInto(path, sizeof path, TargetDirectory, entry) ||
            (rename[0] && !JoinPathInto(path, sizeof path, TargetDirectory, rename)))
            Warn("too-long", where, "joined to the staging folder it or its rename is longer than 255 characters");

        if (entry[0] == '\0') {
            if (rename[0])
                Warn("empty-entry", At("renameto", index, rename),
                     "belongs to an empty copyfiles entry: nothing is copied, but \"%s\" is still deleted from the "
                     "staging folder",
                     rename);
            continue;
        }
        if (!walk.withoutStar && rename[0])
            Warn("rename-unused", At("renameto", index, rename),
                 "is the partner of the wildcard entry \"%s\": wildcard matches keep their names, the rename is never "
                 "used; list the file to rename in an entry of its own",
                 entry);
        static const char Outside[] =
            "leads out of the staging folder with \"..\": nothing of that name is deleted or renamed there; the file "
            "is copied under its own name";
        if (PathClimbsOut(entry)) Warn("outside", where, Outside);
        if (PathClimbsOut(rename)) Warn("outside", At("renameto", index, rename), Outside);
        if (walk.removeCopy[0]) CheckDeletion(entry, index, where);
        if (walk.removeRename[0]) CheckDeletion(rename, index, At("renameto", index, rename));
        ListMatches(&walk);
    }

    for (int surplus = walk.index + 1; surplus <= renameCount; ++surplus) {
        int ended;
        char *rename = TakeListEntry(&walk.renameCursor, &ended);
        if (rename[0])
            Warn("rename-surplus", At("renameto", surplus, rename),
                 "renameto has more entries than copyfiles; this one has no partner and is ignored: renameto's "
                 "entries pair with copyfiles' in order");
        else if (surplus == renameCount)
            Warn("trailing-comma", At("renameto", surplus, rename),
                 "the list \"%s\" ends with a comma past the end of copyfiles", PhaseTwoPlan.renameto);
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
    Place where = At(overridden ? "TEMPDIR" : "tempdir", 0, TargetDirectory);
    if (TargetDirectory[0] == '\0') {
        if (!addOn)
            Warn("tempdir-missing", where,
                 "%s: the first phase has no staging folder and asks the user for one; give one, such as "
                 "tempdir=C:\\ZEVSTAGE",
                 KeyMissing[PLAN_TEMPDIR] ? "is missing" : "is empty");
        return;
    }
    int rooted = (TargetDirectory[0] == '\\' || TargetDirectory[0] == '/') && !IsAbsolute(TargetDirectory);
    if (rooted)
        Warn("tempdir-relative", where,
             "has no drive: it lies on the drive of whatever the current folder is; give the drive, such as "
             "C:%s",
             TargetDirectory);
    else if (!IsAbsolute(TargetDirectory))
        Warn("tempdir-relative", where,
             "is not a full path: it is taken relative to whatever the current folder is; give a full path, such as "
             "C:\\ZEVSTAGE");
    if (SameDirectory)
        Warn("tempdir-is-medium", where,
             "is the medium folder itself: nothing is copied or renamed there; choose a folder off the medium");
}

static void CheckRun(int addOn)
{
    if (addOn) return;
    Place where = At("run", 0, PhaseTwoPlan.run);
    for (int i = 0; i < StagedCount && PhaseTwoPlan.run[0]; ++i)
        if (SameName(Staged[i].name, PhaseTwoPlan.run)) return;
    // What run may name: the staged names, as many as fit a line.
    char names[400] = "";
    for (int i = 0; i < StagedCount; ++i) {
        size_t used = strlen(names);
        if (used + strlen(Staged[i].name) + 8 >= sizeof names) {
            CopyText(names + used, sizeof names - used, ", ...");
            break;
        }
        snprintf(names + used, sizeof names - used, "%s%s", i ? ", " : "", Staged[i].name);
    }
    char hint[sizeof names + 64];
    if (StagedCount)
        snprintf(hint, sizeof hint, "; run must be one of the staged names: %s", names);
    else
        CopyText(hint, sizeof hint, "; nothing is staged, so nothing can be started");
    if (PhaseTwoPlan.run[0] == '\0')
        Warn("run-missing", where, "%s: the second phase started is the staging folder itself, which fails%s",
             KeyMissing[PLAN_RUN] ? "is missing" : "is empty", hint);
    else
        Warn("run-not-staged", where, "is not among the staged names%s; the second phase will not start%s",
             strchr(PhaseTwoPlan.run, ' ') ? " (the whole value, blanks and all, is the program's name)" : "", hint);
}

static void CheckCommandLine(int addOn)
{
    if (addOn || PhaseTwoPlan.run[0] == '\0') return;
    char line[COMMAND_LINE_SIZE];
    Place where = At("run", 0, PhaseTwoPlan.run);
    if (!BuildPhaseTwoCommandLine(line, sizeof line, TargetDirectory, PhaseTwoPlan.run, "", PhaseTwoPlan.target,
                                  SourceDirectory)) {
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
        Warn("too-long", At("medium", 0, medium), "SETUP1.EXE in this folder has a path of 255 characters or more");
        return 1;
    }
    if (!JoinPathInto(PlanFile, sizeof PlanFile, SourceDirectory, "SETUP1.INF")) {
        Warn("too-long", At("medium", 0, SourceDirectory),
             "the plan's path is longer than 255 characters: no plan "
             "is read");
        return 1;
    }
    if (GetFileAttributesA(PlanFile) == INVALID_FILE_ATTRIBUTES)
        Warn("no-plan", At("medium", 0, SourceDirectory),
             "holds no SETUP1.INF: every value is empty and the "
             "add-on mode is chosen");
    else {
        CheckEncoding();
        CheckPlanFile();
    }

    ReadPhaseTwoPlan();
    if (argc == 3) CopyText(TargetDirectory, sizeof TargetDirectory, argv[2]);
    SameDirectory = TargetDirectory[0] && SameFolder(TargetDirectory, SourceDirectory);
    int addOn = AddOn = HasTargetCode("S");
    Note("mode", At("target", 0, PhaseTwoPlan.target), "%s; the backdrop shows %s",
         addOn ? "add-on mode: VUZevod RUD into the product's folder" : "normal mode: staging and the second phase",
         EditionPicture(PhaseTwoPlan.EditionLetter));

    char self[PATH_SIZE];
    if (JoinPathInto(self, sizeof self, SourceDirectory, "SETUP1.EXE"))
        ReportSignature(CheckProgramSignature(self), Key("SETUP1.EXE"), "SETUP1.EXE");
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
