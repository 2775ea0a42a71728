// Directories, the staging list and the launch, in this process, on real
// files under Wine.
#include <windows.h>
#include <tlhelp32.h>

#include <string.h>

#include <vector>

#include "e2e.h"
#include "files.h"
#include "paths.h"
#include "setup1.h"
#include "staging.h"

static std::string CurrentDirectory()
{
    char dir[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
    return n && n < sizeof dir ? dir : "";
}

// Puts the process back in a folder that outlives the test's scratch folders.
struct KeepDirectory {
    std::string saved = CurrentDirectory();
    KeepDirectory() { SetCurrentDirectoryA("C:\\"); }
    ~KeepDirectory() { SetCurrentDirectoryA(saved.c_str()); }
};

TEST_CASE("MakeDirectory creates missing parents from the top down")
{
    Scratch root("mk");
    std::string slashed = root.dir;
    for (char &ch : slashed)
        if (ch == '\\') ch = '/';
    // The cut is made at the last "\\", and only without one at the last "/".
    static const struct {
        bool slashedRoot;
        const char *rel;
        int want;
        bool exists = true;  // afterwards
    } cases[] = {
        {false, "\\A\\B\\C", 0}, {false, "\\A\\B\\C", 1},    {false, "\\A", 1},          {true, "/D/E/F", 0},
        {true, "/G\\H", 0},      {false, "\\A\\B\\C\\D", 0}, {false, "\\J/K", 1, false},
    };
    for (const auto &c : cases) {
        std::string path = (c.slashedRoot ? slashed : root.dir) + c.rel;
        INFO("MakeDirectory(\"", path, "\")");
        CHECK(MakeDirectory(path.c_str()) == c.want);
        DWORD attributes = GetFileAttributesA(path.c_str());
        CHECK((attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) == c.exists);
    }
    CHECK(MakeDirectory("Q:\\NO\\DRIVE") == 1);
    CHECK(MakeDirectory("") == 1);
    CHECK(MakeDirectory("\\") == 1);
    REQUIRE(PutFile(root / "FILE", "x"));
    CHECK(MakeDirectory((root / "FILE\\SUB").c_str()) == 1);
    // A path that does not fit is not created cut short.
    std::string longPath = root / (std::string(120, 'L') + "\\" + std::string(140, 'M'));
    CHECK(MakeDirectory(longPath.c_str()) == 1);
    CHECK(!Exists(root / "J"));
    CHECK(Joined(Listing(root.dir)) == "A|D|FILE|G");
}

TEST_CASE("ChangeDirectory enters an existing folder only")
{
    KeepDirectory keep;
    Scratch root("cd");
    CHECK(ChangeDirectory(root.dir.c_str()) == 0);
    CHECK(lstrcmpiA(CurrentDirectory().c_str(), root.dir.c_str()) == 0);
    CHECK(ChangeDirectory((root / "MISSING").c_str()) == 1);
    CHECK(lstrcmpiA(CurrentDirectory().c_str(), root.dir.c_str()) == 0);
    CHECK(ChangeDirectory((std::string(300, 'X')).c_str()) == 1);
}

TEST_CASE("PrepareTargetDirectory creates or enters the target when the drive has the space")
{
    KeepDirectory keep;
    Scratch root("prep");
    DWORD figures[4];
    REQUIRE(GetDiskFreeSpaceA("C:\\", &figures[0], &figures[1], &figures[2], &figures[3]));

    // Three missing levels: created, current directory unchanged.
    std::string deep = root / "ONE\\TWO\\THREE";
    CopyText(TargetDirectory, PATH_SIZE, deep.c_str());
    PhaseTwoPlan.tempspace = 0;
    memset(&DiskFigures, 0, sizeof DiskFigures);
    CHECK(PrepareTargetDirectory() == 1);
    CHECK(Exists(deep));
    CHECK(CurrentDirectory() == "C:\\");
    CHECK(DiskFigures.sectorsPerCluster == figures[0]);
    CHECK(DiskFigures.bytesPerSector == figures[1]);

    // Existing: entered.
    CHECK(PrepareTargetDirectory() == 1);
    CHECK(lstrcmpiA(CurrentDirectory().c_str(), deep.c_str()) == 0);
    SetCurrentDirectoryA("C:\\");

    // A lower-case drive letter queries the same drive.
    std::string lower = deep;
    lower[0] = (char)(lower[0] | 0x20);
    CopyText(TargetDirectory, PATH_SIZE, lower.c_str());
    memset(&DiskFigures, 0, sizeof DiskFigures);
    CHECK(PrepareTargetDirectory() == 1);
    CHECK(DiskFigures.bytesPerSector == figures[1]);
    SetCurrentDirectoryA("C:\\");

    // No such drive: the figures stay those of the last query, and the
    // directory can be neither made nor entered.
    CopyText(TargetDirectory, PATH_SIZE, "Q:\\STAGE");
    CHECK(PrepareTargetDirectory() == 0);
    CHECK(DiskFigures.bytesPerSector == figures[1]);
    memset(&DiskFigures, 0, sizeof DiskFigures);
    CHECK(PrepareTargetDirectory() == 0);
    CHECK(DiskFigures.sectorsPerCluster == 0);

    // Empty, or starting with "@" or "`": an empty root string.
    static const char *odd[] = {"", "@:\\STAGE", "`:\\STAGE"};
    for (const char *t : odd) {
        INFO("target \"", t, "\"");
        CopyText(TargetDirectory, PATH_SIZE, t);
        PhaseTwoPlan.tempspace = 0;
        CHECK(PrepareTargetDirectory() == 0);
    }
    CHECK(CurrentDirectory() == "C:\\");
}

// The staging list on real folders: what the target holds afterwards.
struct StageCase {
    const char *copyFiles, *renameTo;
    const char *onSource;  // names separated by "|"
    const char *inTarget;  // before the staging
    const char *want;      // the target's listing afterwards
};

TEST_CASE("StageFiles copies the list, deletes stale names first and renames after")
{
    static const StageCase cases[] = {
        {"A.EXE,B.DLL", ",X.DLL", "A.EXE|B.DLL", "", "A.EXE|X.DLL"},
        {"A.EXE,B.DLL", ",X.DLL", "A.EXE|B.DLL", "A.EXE|B.DLL|X.DLL", "A.EXE|X.DLL"},
        {"A.EXE,B.DLL", ",X.DLL", "A.EXE|B.DLL", "X.DLL", "A.EXE|X.DLL"},
        {"A.EXE,B.DLL,C.DAT", "", "A.EXE|B.DLL|C.DAT", "", "A.EXE|B.DLL|C.DAT"},
        {"A.EXE,B.DLL,C.DAT", "Y.EXE", "A.EXE|B.DLL|C.DAT", "", "B.DLL|C.DAT|Y.EXE"},
        {"*.HLP,A.EXE", "KEEP.TXT", "ONE.HLP|TWO.HLP|A.EXE", "KEEP.TXT|ONE.HLP", "A.EXE|KEEP.TXT|ONE.HLP|TWO.HLP"},
        {"FILE?.DAT", "ALL.DAT", "FILE1.DAT|FILE2.DAT|FILEX.DAT", "", "FILE1.DAT|FILE2.DAT|FILEX.DAT"},
        {"A.EXE, B.DLL", "", "A.EXE|B.DLL", "", "A.EXE"},
        {"A.EXE,", ",GONE.TXT", "A.EXE", "GONE.TXT|STAY.TXT", "A.EXE|STAY.TXT"},
        {"", "GONE.TXT", "A.EXE", "GONE.TXT", ""},
        {"MISSING.EXE,A.EXE", "", "A.EXE", "", "A.EXE"},
        {"VX.SYS", "", "VX.SY$", "", "VX.SYS"},
        {"A.EXE,B.DLL", "Z.EXE,Q.DLL,SURPLUS.TXT", "A.EXE|B.DLL", "SURPLUS.TXT", "Q.DLL|SURPLUS.TXT|Z.EXE"},
    };
    for (const auto &c : cases) {
        INFO("copyfiles \"", c.copyFiles, "\" renameto \"", c.renameTo, "\" target had \"", c.inTarget, "\"");
        Scratch src("src"), dst("dst");
        std::set<std::string> names;
        SplitNames(c.onSource, &names);
        for (const auto &n : names) REQUIRE(PutFile(src / n, "new " + n));
        names.clear();
        SplitNames(c.inTarget, &names);
        for (const auto &n : names) REQUIRE(PutFile(dst / n, "old " + n));
        CopyText(SourceDirectory, PATH_SIZE, src.dir.c_str());
        CopyText(TargetDirectory, PATH_SIZE, dst.dir.c_str());
        CopyText(PhaseTwoPlan.copyfiles, PLAN_TEXT_SIZE, c.copyFiles);
        CopyText(PhaseTwoPlan.renameto, PLAN_TEXT_SIZE, c.renameTo);
        CHECK(StageFiles() == 1);
        CHECK(Joined(Listing(dst.dir)) == c.want);
        names.clear();
        SplitNames(c.onSource, &names);
        CHECK(Joined(Listing(src.dir)) == Joined(names));
    }
    // The renamed file is the copy of its entry.
    Scratch src("src"), dst("dst");
    REQUIRE(PutFile(src / "B.DLL", "library"));
    CopyText(SourceDirectory, PATH_SIZE, src.dir.c_str());
    CopyText(TargetDirectory, PATH_SIZE, dst.dir.c_str());
    CopyText(PhaseTwoPlan.copyfiles, PLAN_TEXT_SIZE, "B.DLL");
    CopyText(PhaseTwoPlan.renameto, PLAN_TEXT_SIZE, "X.DLL");
    CHECK(StageFiles() == 1);
    CHECK(GetFile(dst / "X.DLL") == "library");
}

TEST_CASE("StageFiles neither deletes nor renames away a source when the target is the source")
{
    Scratch src("same");
    REQUIRE(PutFile(src / "A.EXE", "program"));
    REQUIRE(PutFile(src / "B.DLL", "library"));
    std::string spellings[] = {src.dir, src.dir + "\\", src.dir + "\\.", src.dir};
    spellings[3][0] = (char)(spellings[3][0] | 0x20);
    for (const auto &target : spellings) {
        INFO("target ", target);
        CopyText(SourceDirectory, PATH_SIZE, src.dir.c_str());
        CopyText(TargetDirectory, PATH_SIZE, target.c_str());
        CopyText(PhaseTwoPlan.copyfiles, PLAN_TEXT_SIZE, "A.EXE,B.DLL");
        CopyText(PhaseTwoPlan.renameto, PLAN_TEXT_SIZE, ",X.DLL");
        CHECK(StageFiles() == 1);
        CHECK(Joined(Listing(src.dir)) == "A.EXE|B.DLL");
        CHECK(GetFile(src / "A.EXE") == "program");
        CHECK(GetFile(src / "B.DLL") == "library");
    }
}

TEST_CASE("StageFiles makes no copy, deletion or rename with a path that does not fit")
{
    Scratch src("src"), dst("dst");
    std::string longName = std::string(PATH_SIZE - dst.dir.size(), 'N');
    // The cut path would name this file.
    std::string cut = (dst / "").substr(0) + longName.substr(0, PATH_SIZE - 1 - dst.dir.size() - 1);
    REQUIRE(PutFile(src / "A.EXE", "program"));
    REQUIRE(PutFile(dst / "KEEP.TXT", "keep"));
    CopyText(SourceDirectory, PATH_SIZE, src.dir.c_str());
    CopyText(TargetDirectory, PATH_SIZE, dst.dir.c_str());
    std::string list = "A.EXE," + longName;
    CopyText(PhaseTwoPlan.copyfiles, PLAN_TEXT_SIZE, list.c_str());
    std::string renames = "," + longName;
    CopyText(PhaseTwoPlan.renameto, PLAN_TEXT_SIZE, renames.c_str());
    CHECK(StageFiles() == 1);
    CHECK(Joined(Listing(dst.dir)) == "A.EXE|KEEP.TXT");
}

TEST_CASE("StageFiles returns 0 when the copy buffer cannot be had")
{
    Scratch src("src"), dst("dst");
    REQUIRE(PutFile(src / "A.EXE", "program"));
    CopyText(SourceDirectory, PATH_SIZE, src.dir.c_str());
    CopyText(TargetDirectory, PATH_SIZE, dst.dir.c_str());
    CopyText(PhaseTwoPlan.copyfiles, PLAN_TEXT_SIZE, "A.EXE");
    PhaseTwoPlan.renameto[0] = '\0';
    CopyBufferAllocate = [](size_t) -> void * { return 0; };
    int result = StageFiles();
    CopyBufferAllocate = malloc;
    CHECK(result == 0);
    // A file simply missing stays silent.
    CopyText(PhaseTwoPlan.copyfiles, PLAN_TEXT_SIZE, "MISSING.EXE,A.EXE");
    CHECK(StageFiles() == 1);
    CHECK(Joined(Listing(dst.dir)) == "A.EXE");
}

// The stand-in second phase, started by LaunchPhaseTwo, records its line.
static void Launch(const std::string &target, const char *own, const char *planTarget, Phase2Record *record)
{
    std::string recordPath = TempFolder("rec") + ".txt";
    DeleteFileA(recordPath.c_str());
    SetEnvironmentVariableA("PHASE2_RECORD", recordPath.c_str());
    CopyText(TargetDirectory, PATH_SIZE, target.c_str());
    CopyText(PhaseTwoPlan.run, PLAN_TEXT_SIZE, "P2.EXE");
    CopyText(PhaseTwoPlan.target, TARGET_TEXT_SIZE, planTarget);
    CopyText(SourceDirectory, PATH_SIZE, "A:\\");
    CHECK(LaunchPhaseTwo(own) == 1);
    CHECK(ReadPhase2Record(recordPath, record));
    DeleteFileA(recordPath.c_str());
}

TEST_CASE("LaunchPhaseTwo starts the program in the target with the described line")
{
    KeepDirectory keep;
    std::string phase2 = TestOption("phase2");
    REQUIRE(!phase2.empty());
    static const struct {
        const char *folder, *own, *target, *wantTail;
    } cases[] = {
        {"stage", "", "4", " -p4 A:\\"},
        {"stage", "/q  x", "3+S", " /q  x -p3+S A:\\"},
        {"stage", "", "", " -p A:\\"},
        {"my stage", "", "4", " -p4 A:\\"},
        {"my stage", "a b", "N 3", " a b -pN 3 A:\\"},
    };
    for (const auto &c : cases) {
        INFO("folder \"", c.folder, "\" own line \"", c.own, "\" target \"", c.target, "\"");
        Scratch dir(c.folder);
        REQUIRE(CopyFileA(phase2.c_str(), (dir / "P2.EXE").c_str(), FALSE));
        // A decoy where an unquoted line with a blank would start a program.
        std::string decoy = dir.dir.substr(0, dir.dir.find(' '));
        bool hasBlank = strchr(c.folder, ' ') != 0;
        if (hasBlank) REQUIRE(CopyFileA(phase2.c_str(), (decoy + ".exe").c_str(), FALSE));
        Phase2Record record;
        Launch(dir.dir, c.own, c.target, &record);
        std::string program = dir / "P2.EXE";
        if (hasBlank) program = "\"" + program + "\"";
        CHECK(record.commandLine == program + c.wantTail);
        CHECK(lstrcmpiA(record.currentDir.c_str(), dir.dir.c_str()) == 0);
        std::string own = c.own;
        CHECK(record.winMainLine == (own.empty() ? "" : own + " ") + "-p" + c.target + " A:\\");
        if (hasBlank) DeleteFileA((decoy + ".exe").c_str());
    }
}

// Handles of the running processes that this test program started under
// the program name given.
static std::vector<HANDLE> OwnChildren(const char *name)
{
    std::vector<HANDLE> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID != GetCurrentProcessId() || lstrcmpiA(entry.szExeFile, name) != 0) continue;
        HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (child) children.push_back(child);
    }
    CloseHandle(snapshot);
    return children;
}

TEST_CASE("LaunchPhaseTwo starts nothing when the line does not fit")
{
    KeepDirectory keep;
    Scratch dir("long");
    std::string recordPath = TempFolder("rec") + ".txt";
    DeleteFileA(recordPath.c_str());
    SetEnvironmentVariableA("PHASE2_RECORD", recordPath.c_str());
    REQUIRE(CopyFileA(TestOption("phase2").c_str(), (dir / "P2.EXE").c_str(), FALSE));
    CopyText(TargetDirectory, PATH_SIZE, dir.dir.c_str());
    CopyText(PhaseTwoPlan.run, PLAN_TEXT_SIZE, "P2.EXE");
    CopyText(PhaseTwoPlan.target, TARGET_TEXT_SIZE, "4");
    CopyText(SourceDirectory, PATH_SIZE, "A:\\");
    std::string own(COMMAND_LINE_SIZE - 1 - (dir / "P2.EXE").size() - 9, 'o');  // the line is then 255 long
    CHECK(LaunchPhaseTwo(own.c_str()) == 1);
    Phase2Record record;
    CHECK(ReadPhase2Record(recordPath, &record));
    DeleteFileA(recordPath.c_str());
    // The process that started is over before the next call.
    for (HANDLE child : OwnChildren("P2.EXE")) {
        CHECK(WaitForSingleObject(child, 10000) == WAIT_OBJECT_0);
        CloseHandle(child);
    }
    own += "o";
    SetCurrentDirectoryA("C:\\");
    CHECK(LaunchPhaseTwo(own.c_str()) == 0);
    // WinExec returns once the process exists: none does.
    std::vector<HANDLE> started = OwnChildren("P2.EXE");
    CHECK(started.size() == 0u);
    for (HANDLE child : started) CloseHandle(child);
    CHECK(!Exists(recordPath));
    CHECK(CurrentDirectory() == "C:\\");
}
