// Bad input end to end: SETUP1.EXE on plans and settings that are garbage
// or longer than their buffers. What it shows is answered by the runner;
// it must end with 0 or 1 as its flow says, in bounded time, and write
// nothing outside its target directory.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../staging/files.h"
#include "e2e.h"
#include "registry.h"
#include "resource.h"
#include "setup1.h"
#include "testing.h"
#include "texts.h"

// ---- what a folder holds, to prove that nothing else was written --------

typedef std::map<std::string, std::string> Snapshot;  // relative path -> size, time, attributes

static void TakeSnapshot(const std::string &dir, const std::string &relative, Snapshot *out)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        char facts[96];
        snprintf(facts, sizeof facts, "%lu %lu:%lu %lx", (unsigned long)found.nFileSizeLow,
                 (unsigned long)found.ftLastWriteTime.dwHighDateTime,
                 (unsigned long)found.ftLastWriteTime.dwLowDateTime, (unsigned long)found.dwFileAttributes);
        std::string path = relative.empty() ? name : relative + "\\" + name;
        // A folder's own time changes when an entry is made in it; its
        // entries show that, so only files carry their times.
        (*out)[path] = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? std::string("folder") : std::string(facts);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) TakeSnapshot(dir + "\\" + name, path, out);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

static Snapshot SnapshotOf(const std::string &dir)
{
    Snapshot out;
    TakeSnapshot(dir, "", &out);
    return out;
}

// Entries that differ between two snapshots, except those at or below the
// relative path allowed (the target directory) and the new folders above
// it, one per line.
static std::string Changes(const Snapshot &before, const Snapshot &after, const std::string &allowed)
{
    auto inside = [&](const std::string &path) {
        if (allowed.empty()) return false;
        if (lstrcmpiA(path.c_str(), allowed.c_str()) == 0) return true;
        return path.size() > allowed.size() && path[allowed.size()] == '\\' &&
               lstrcmpiA(path.substr(0, allowed.size()).c_str(), allowed.c_str()) == 0;
    };
    // The folders leading to the target are made along with it.
    auto leading = [&](const std::string &path, const std::string &facts) {
        return facts == "folder" && allowed.size() > path.size() && allowed[path.size()] == '\\' &&
               lstrcmpiA(allowed.substr(0, path.size()).c_str(), path.c_str()) == 0;
    };
    std::string changes;
    for (const auto &b : before) {
        auto a = after.find(b.first);
        if (a == after.end())
            changes += "gone: " + b.first + "\n";
        else if (a->second != b.second && !inside(b.first))
            changes += "changed: " + b.first + " " + b.second + " -> " + a->second + "\n";
    }
    for (const auto &a : after)
        if (!before.count(a.first) && !inside(a.first) && !leading(a.first, a.second))
            changes += "new: " + a.first + "\n";
    return changes;
}

static std::string Hex(DWORD value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", (unsigned long)value);
    return text;
}

// ---- the layout: a medium, and a sentinel parent that holds the target ---

struct Layout {
    Medium medium;
    std::string parent;  // holds the target directory and sentinel files
    Snapshot mediumBefore, parentBefore;
    ~Layout() { RemoveTree(parent); }  // the medium removes itself
};

static void LayoutCreate(Layout *l, const char *tag)
{
    REQUIRE(MediumCreate(&l->medium, tag));
    REQUIRE(MediumAddPhase2(&l->medium, "P2.EXE"));
    l->parent = TempFolder((std::string(tag) + "-parent").c_str());
    RemoveTree(l->parent);
    REQUIRE(CreateDirectoryA(l->parent.c_str(), 0));
    REQUIRE(MediumWriteFile(&l->medium, "A.DAT", "medium A.DAT"));
    REQUIRE(PutFile(l->parent + "\\SENTINEL.TXT", "sentinel"));
    REQUIRE(CreateDirectoryA((l->parent + "\\OTHER").c_str(), 0));
}

// Notes both folders just before the run (after the plan is written).
static void LayoutNote(Layout *l)
{
    l->mediumBefore = SnapshotOf(l->medium.dir);
    l->parentBefore = SnapshotOf(l->parent);
}

// Nothing changed on the medium nor in the parent outside the target,
// given relative to the parent (empty: nowhere).
static void CheckNothingElseWritten(const Layout *l, const std::string &target)
{
    std::string mediumChanges = Changes(l->mediumBefore, SnapshotOf(l->medium.dir), "");
    std::string parentChanges = Changes(l->parentBefore, SnapshotOf(l->parent), target);
    CHECK(mediumChanges == "");
    CHECK(parentChanges == "");
}

// Runs SETUP1.EXE on the layout's medium, answering with the actions;
// checks that it ended with the exit code wanted.
static RunResult RunLayout(const Layout *l, const std::vector<RunAction> &actions, DWORD wanted)
{
    RunResult run;
    RunSetup(&l->medium, "", actions, &run);
    INFO("exit code ", Hex(run.exitCode));
    CHECK(run.exitCode == wanted);
    return run;
}

// A path below dir of exactly length characters, in components of at most
// 60; the last one has at least 8.
static std::string PathOfLength(const std::string &dir, size_t length)
{
    std::string path = dir;
    char letter = 'A';
    while (path.size() < length) {
        size_t room = length - path.size() - 1;
        size_t part = room > 68 ? 60 : room;
        path += "\\" + std::string(part, letter++);
    }
    return path;
}

// ---- the cases ------------------------------------------------------------

static std::string Garbage(unsigned seed, size_t size)
{
    std::string data(size, '\0');
    unsigned state = seed;
    for (char &c : data) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = (char)(state >> 24);
    }
    return data;
}

static bool HoldsNoCase(const std::string &data, const char *word)
{
    std::string lower = data;
    for (char &c : lower)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return lower.find(word) != std::string::npos;
}

TEST_CASE("a plan of binary garbage runs the add-on mode and installs nothing it was not told to")
{
    static const struct {
        unsigned seed;
        size_t size;
        RunAnswer answer;
        bool typed;
        const char *box;
    } cases[] = {
        {1, 1000, PROMPT_EXIT, false, AddOnFailedText},
        {2, 8192, PROMPT_OK, false, AddOnFailedText},
        {3, 70000, PROMPT_TYPE, true, AddOnDoneText},
        {4, 3, PROMPT_EXIT, false, AddOnFailedText},
    };
    CleanSettings();
    for (const auto &c : cases) {
        INFO("seed ", c.seed, ", ", c.size, " bytes");
        Layout l;
        LayoutCreate(&l, "garbage");
        std::string plan = Garbage(c.seed, c.size);
        if (c.size >= 1000) REQUIRE(plan.find('\0') != std::string::npos);
        REQUIRE_FALSE(HoldsNoCase(plan, "phasetwo"));
        REQUIRE(MediumWritePlan(&l.medium, plan));
        std::string addOn = l.parent + "\\ADDON";
        LayoutNote(&l);

        RunResult run = RunLayout(&l, {{c.answer, addOn}, {BOX_OK, "", true}}, 0);
        CHECK_FALSE(run.haveRecord);
        // No product is installed and the plan names no directory.
        REQUIRE(run.dialogs.size() == 2u);
        CHECK(run.dialogs[0].path == "");
        CHECK(run.dialogs[0].Text(IDC_TEXT_ENGLISH) == AddOnTexts[0]);
        CHECK(run.dialogs[1].Text(0xFFFF) == c.box);
        // The plan names no files, so the add-on's directory stays empty.
        CHECK(FileExists(addOn) == c.typed);
        CHECK(Joined(Listing(addOn)) == "");
        CheckNothingElseWritten(&l, "ADDON");
        CleanSettings();
    }
}

// A list of n-character entries "Pnnn.DAT" of exactly length characters,
// after a first entry; entries are lengthened by one character (Pnnnn.DAT)
// from the front as needed to reach the length.
static std::string ListOfLength(const std::string &first, char prefix, size_t length)
{
    std::vector<std::string> entries;
    size_t total = first.size();
    while (total + 9 <= length) {
        entries.push_back(std::string(1, prefix) + std::to_string(1000 + entries.size()).substr(1) + ".DAT");
        total += 9;
    }
    for (size_t i = 0; total < length && i < entries.size(); ++i, ++total) entries[i].insert(1, "0");
    std::string list = first;
    for (const auto &e : entries) list += "," + e;
    return list;
}

TEST_CASE("FitPlanValue keeps a value that fits and never a cut path or list entry")
{
    // A buffer of 8 bytes: values of 7 characters fit, 8 mean "cut".
    static const struct {
        const char *value;
        int kind;
        const char *want;
    } cases[] = {
        {"ABCDEFG", PLAN_VALUE_TEXT, "ABCDEFG"},
        {"ABCDEFGH", PLAN_VALUE_TEXT, "ABCDEFG"},
        {"C:\\ABCD", PLAN_VALUE_PATH, "C:\\ABCD"},
        {"C:\\ABCDE", PLAN_VALUE_PATH, ""},
        {"A,B,C,D", PLAN_VALUE_LIST, "A,B,C,D"},
        {"A,B,C,DE", PLAN_VALUE_LIST, "A,B,C"},
        {"A,BC,DEF", PLAN_VALUE_LIST, "A,BC"},
        {"A,BCDEF,", PLAN_VALUE_LIST, "A,BCDEF"},
        {"ABCDEFGH", PLAN_VALUE_LIST, ""},
        {",,,,,,,,", PLAN_VALUE_LIST, ",,,,,,,"},
        {"", PLAN_VALUE_LIST, ""},
        {"", PLAN_VALUE_PATH, ""},
    };
    for (const auto &c : cases) {
        INFO("value [", c.value, "] kind ", c.kind);
        char buffer[12];
        memset(buffer, 0x55, sizeof buffer);
        strcpy(buffer, c.value);
        FitPlanValue(buffer, 8, c.kind);
        CHECK(Text(buffer) == c.want);
        // Nothing past the one byte beyond the buffer is touched.
        CHECK(Bytes(buffer + 9, 3) == "UUU");
    }
}

static std::string Plan(const std::string &target, const std::string &copyFiles, const std::string &renameTo,
                        const std::string &tempDir, const std::string &tempSpace, const std::string &run)
{
    return "[phasetwo]\r\ntarget=" + target + "\r\ncopyfiles=" + copyFiles + "\r\nrenameto=" + renameTo +
           "\r\ntempdir=" + tempDir + "\r\ntempspace=" + tempSpace + "\r\nrun=" + run + "\r\n";
}

static std::string Padded(const std::string &start, size_t length, char fill)
{
    return start.size() >= length ? start.substr(0, length) : start + std::string(length - start.size(), fill);
}

TEST_CASE("every plan value at and beyond its buffer: no cut path is used")
{
    // target, the lists, tempspace and run: 259/511 fill their buffers
    // exactly, the others are cut by the profile reader.
    static const struct {
        size_t target, text, tempdir;
    } cases[] = {{259, 511, 255}, {260, 512, 256}, {400, 1000, 400}};
    for (const auto &c : cases) {
        INFO("target ", c.target, ", lists, tempspace and run ", c.text, ", tempdir ", c.tempdir);
        Layout l;
        LayoutCreate(&l, "limits");
        std::string tempDir = PathOfLength(l.parent, c.tempdir);
        REQUIRE(tempDir.size() == c.tempdir);
        std::string copyFiles = ListOfLength("P2.EXE", 'F', c.text);
        std::string renameTo = ListOfLength("Q2.EXE", 'R', c.text);
        REQUIRE(copyFiles.size() == c.text);
        REQUIRE(MediumWritePlan(&l.medium, Plan(Padded("4 ", c.target, 'T'), copyFiles, renameTo, tempDir,
                                                Padded("100", c.text, 'K'), Padded("Q2.EXE ", c.text, 'x'))));
        LayoutNote(&l);

        // The path fits: the folder is made, but no file name fits in it. A
        // staging path that does not fit is not used cut short: the prompt
        // asks for one, and Exit ends the run.
        bool fits = c.tempdir == 255;
        std::vector<RunAction> actions;
        if (!fits) actions.push_back({PROMPT_EXIT});
        RunResult run = RunLayout(&l, actions, 0);
        // A run value of 511 characters leaves no room for the line of the
        // second phase, so nothing is started, whatever else happens.
        CHECK_FALSE(run.haveRecord);
        std::string cut = tempDir.substr(0, 255);
        if (fits) {
            CHECK(run.dialogs.size() == 0u);
            CHECK(FileExists(tempDir));
            CHECK(Joined(Listing(tempDir)) == "");
            CheckNothingElseWritten(&l, tempDir.substr(l.parent.size() + 1));
        } else {
            REQUIRE(run.dialogs.size() == 1u);
            CHECK(run.dialogs[0].path == "");
            CHECK(run.dialogs[0].Text(IDC_TEXT_ENGLISH) == StagingTexts[0]);
            CHECK_FALSE(FileExists(cut));
            CheckNothingElseWritten(&l, "");
        }
    }
}

TEST_CASE("a copy list of 511 characters is copied whole; a longer one loses only its cut entry")
{
    // 1000 is cut right at a comma: every entry kept is whole.
    for (size_t length : {511u, 512u, 513u, 999u, 1000u}) {
        INFO("copyfiles and renameto of ", length, " characters");
        Layout l;
        LayoutCreate(&l, "list");
        std::string copyFiles = ListOfLength("P2.EXE", 'F', length);
        std::string renameTo = ListOfLength("Q2.EXE", 'R', length);
        REQUIRE(copyFiles.size() == length);
        REQUIRE(renameTo.size() == length);
        // The entries that lie whole within the 511 characters the buffer
        // keeps, and the piece of the one the cut falls into.
        size_t kept =
            length <= 511 || copyFiles[511] == ',' ? std::min<size_t>(length, 511) : copyFiles.rfind(',', 510);
        std::string piece = kept < 511 ? copyFiles.substr(kept + 1, 511 - kept - 1) : std::string();
        std::string renamePiece = kept < 511 ? renameTo.substr(kept + 1, 511 - kept - 1) : std::string();
        std::set<std::string> want = {"Q2.EXE"};
        size_t start = 7;  // past "P2.EXE,"
        while (start < kept) {
            size_t comma = copyFiles.find(',', start);
            if (comma == std::string::npos || comma > kept) comma = kept;
            std::string name = copyFiles.substr(start, comma - start);
            REQUIRE(MediumWriteFile(&l.medium, name.c_str(), "medium " + name));
            want.insert(renameTo.substr(start, comma - start));
            start = comma + 1;
        }
        // A file named like the cut piece lies on the medium too, and the
        // whole entry's file.
        if (!piece.empty()) {
            REQUIRE(MediumWriteFile(&l.medium, piece.c_str(), "decoy"));
            size_t end = copyFiles.find(',', kept + 1);
            std::string whole =
                copyFiles.substr(kept + 1, end == std::string::npos ? std::string::npos : end - kept - 1);
            REQUIRE(MediumWriteFile(&l.medium, whole.c_str(), "medium " + whole));
        }
        REQUIRE(MediumWritePlan(&l.medium, Plan("4", copyFiles, renameTo, l.parent + "\\STAGE", "100", "Q2.EXE")));
        LayoutNote(&l);

        RunResult run = RunLayout(&l, {}, 1);
        CHECK(run.haveRecord);
        std::set<std::string> got = Listing(l.parent + "\\STAGE");
        INFO("cut piece [", piece, "] / [", renamePiece, "], ", want.size(), " files wanted");
        CHECK(Joined(got) == Joined(want));
        CHECK(got.count(piece) == 0u);
        CHECK(got.count(renamePiece) == 0u);
        CheckNothingElseWritten(&l, "STAGE");
    }
}

TEST_CASE("a staging path near 255 characters gets the files whose names fit and starts nothing")
{
    // 255: no join fits. 250: neither "\P2.EXE" nor "\A.DAT" fits (257 and
    // 256). 249: "\A.DAT" fits (255). 248: both fit. The line of the second
    // phase never fits.
    static const struct {
        size_t length;
        const char *want;
    } cases[] = {{255, ""}, {250, ""}, {249, "A.DAT"}, {248, "A.DAT|P2.EXE"}};
    for (const auto &c : cases) {
        INFO("staging path of ", c.length, " characters");
        Layout l;
        LayoutCreate(&l, "deep");
        std::string tempDir = PathOfLength(l.parent, c.length);
        REQUIRE(tempDir.size() == c.length);
        REQUIRE(MediumWritePlan(&l.medium, Plan("4", "P2.EXE,A.DAT", ",", tempDir, "100", "P2.EXE")));
        LayoutNote(&l);

        RunResult run = RunLayout(&l, {}, 0);
        CHECK_FALSE(run.haveRecord);
        CHECK(FileExists(tempDir));
        CHECK(Joined(Listing(tempDir)) == c.want);
        CheckNothingElseWritten(&l, tempDir.substr(l.parent.size() + 1));
    }
}

// Writes a string value under HIVE\Software\Tessaric\ZEV!\VERSION\ZODOZ.
static void PutDirectory(const Hive &hive, const char *version, const std::string &value)
{
    HKEY key = CreateKeyPath(hive, std::string("Software\\Tessaric\\ZEV!\\") + version + "\\ZODOZ");
    REQUIRE(key != (HKEY)0);
    CHECK(RegSetValueExA(key, "Directory", 0, REG_SZ, (const BYTE *)value.c_str(), (DWORD)value.size() + 1) ==
          ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_CASE("a product directory larger than its buffer falls back to the next root and then the plan")
{
    // The newest version's Directory under HKCU, with or without one under
    // HKU\.DEFAULT; an older version has a short one that must not be used.
    static const struct {
        size_t length;
        bool defaultUser;
        const char *shows;
    } cases[] = {
        {255, false, 0},  // fits: shown whole, upper-cased
        {256, true, "C:\\ZEV\\FROMDEFAULT"},
        {300, true, "C:\\ZEV\\FROMDEFAULT"},
        {256, false, "plan"},
        {300, false, "plan"},
    };
    CleanSettings();
    for (const auto &c : cases) {
        INFO("Directory of ", c.length, " characters", std::string(c.defaultUser ? ", one under HKU\\.DEFAULT" : ""));
        Layout l;
        LayoutCreate(&l, "regdir");
        std::string longValue = "c:\\" + std::string(c.length - 3, 'z');
        PutDirectory(HiveUser, "4.20", longValue);
        PutDirectory(HiveUser, "3.40", "c:\\zev340");
        if (c.defaultUser) PutDirectory(HiveDefault, "4.20", "c:\\zev\\fromdefault");
        std::string planDir = l.parent + "\\PLANDIR";
        REQUIRE(MediumWritePlan(&l.medium, Plan("S", "A.DAT", "", planDir, "0", "")));
        LayoutNote(&l);

        RunResult run = RunLayout(&l, {{PROMPT_EXIT}, {BOX_OK, "", true}}, 0);
        REQUIRE(run.dialogs.size() == 2u);
        CHECK(run.dialogs[0].Text(IDC_TEXT_ENGLISH) == AddOnTexts[0]);
        std::string wanted = !c.shows                         ? "C:\\" + std::string(c.length - 3, 'Z')
                             : std::string(c.shows) == "plan" ? planDir
                                                              : std::string(c.shows);
        // The path field shows its text in capitals.
        UpperCaseAscii(&wanted[0]);
        CHECK(run.dialogs[0].path == wanted);
        CHECK(run.dialogs[1].Text(0xFFFF) == AddOnFailedText);
        CheckNothingElseWritten(&l, "");
        CleanSettings();
        CHECK_FALSE(KeyExists(HiveUser, "Software\\Tessaric"));
        CHECK_FALSE(KeyExists(HiveDefault, "Software\\Tessaric"));
    }
}
