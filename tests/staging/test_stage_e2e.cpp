// SETUP1.EXE in the normal mode, end to end: a medium, the staging folder
// it fills and the line the stand-in second phase records.
#include <string.h>

#include "e2e.h"
#include "files.h"

struct StagingRun {
    DWORD exitCode;
    bool recorded;
    Phase2Record record;
};

static std::string Plan(const std::string &tempdir, const char *copyFiles, const char *renameTo,
                        const char *target = "4")
{
    return std::string("[phasetwo]\r\ntarget=") + target + "\r\ncopyfiles=" + copyFiles + "\r\nrenameto=" + renameTo +
           "\r\ntempdir=" + tempdir + "\r\ntempspace=100\r\nrun=P2.EXE\r\n";
}

static StagingRun RunSetup(Medium *medium, const char *commandLine)
{
    StagingRun result;
    std::string recordPath = TempFolder("e2erec") + ".txt";
    DeleteFileA(recordPath.c_str());
    SetupRun run;
    result.exitCode = 0xFFFFFFFF;
    result.recorded = false;
    if (StartSetup(medium, commandLine, recordPath, &run)) {
        result.exitCode = WaitSetup(&run);
        result.recorded = ReadPhase2Record(recordPath, &result.record, result.exitCode == 1 ? 10000 : 1000);
    }
    DeleteFileA(recordPath.c_str());
    return result;
}

struct E2ECase {
    const char *copyFiles, *renameTo;
    const char *onMedium;  // besides P2.EXE
    const char *stale;     // in the staging folder before the run
    const char *want;      // the staging folder afterwards
};

TEST_CASE("SETUP1.EXE stages the list of the plan and starts the second phase from there")
{
    static const E2ECase cases[] = {
        {"A.EXE,B.DLL,P2.EXE", ",X.DLL", "A.EXE|B.DLL", "", "A.EXE|P2.EXE|X.DLL"},
        {"A.EXE,B.DLL,P2.EXE", ",X.DLL", "A.EXE|B.DLL", "A.EXE|B.DLL|X.DLL|OTHER.TXT", "A.EXE|OTHER.TXT|P2.EXE|X.DLL"},
        {"*.HLP,P2.EXE", "KEEP.TXT", "ONE.HLP|TWO.HLP", "KEEP.TXT|ONE.HLP", "KEEP.TXT|ONE.HLP|P2.EXE|TWO.HLP"},
        {"FILE?.DAT,P2.EXE", "ALL.DAT", "FILE1.DAT|FILE2.DAT|FILEAB.DAT", "", "FILE1.DAT|FILE2.DAT|P2.EXE"},
        {"P2.EXE, A.EXE", "", "A.EXE", "", "P2.EXE"},
        {"P2.EXE,A.EXE,", ",,GONE.TXT", "A.EXE", "GONE.TXT|STAY.TXT", "A.EXE|P2.EXE|STAY.TXT"},
        {"A.EXE,B.DLL,C.DAT,P2.EXE", "Y.EXE", "A.EXE|B.DLL|C.DAT", "", "B.DLL|C.DAT|P2.EXE|Y.EXE"},
        {"P2.EXE,VX.SYS", "", "VX.SY$", "", "P2.EXE|VX.SYS"},
    };
    for (const auto &c : cases) {
        INFO("copyfiles=", c.copyFiles, " renameto=", c.renameTo, " stale ", c.stale);
        Medium medium;
        REQUIRE(MediumCreate(&medium, "stage"));
        REQUIRE(MediumAddPhase2(&medium, "P2.EXE"));
        std::set<std::string> names;
        SplitNames(c.onMedium, &names);
        for (const auto &n : names) REQUIRE(MediumWriteFile(&medium, n.c_str(), "medium " + n));
        std::string stage = TempFolder("stagedir");
        RemoveTree(stage);
        REQUIRE(CreateDirectoryA(stage.c_str(), 0));
        names.clear();
        SplitNames(c.stale, &names);
        for (const auto &n : names) REQUIRE(PutFile(stage + "\\" + n, "stale " + n));
        REQUIRE(MediumWritePlan(&medium, Plan(stage, c.copyFiles, c.renameTo)));

        StagingRun run = RunSetup(&medium, "");
        CHECK(run.exitCode == 1);
        CHECK(run.recorded);
        CHECK(Joined(Listing(stage)) == c.want);
        // What the stale names now hold came from the medium.
        names.clear();
        SplitNames(c.want, &names);
        for (const auto &n : names) {
            std::string content = GetFile(stage + "\\" + n);
            INFO(n, " holds ", content.substr(0, 20));
            if (n != "P2.EXE") CHECK((content.rfind("medium ", 0) == 0 || content == "stale " + n));
        }
        if (std::string(c.renameTo) == ",X.DLL") {
            CHECK(GetFile(stage + "\\X.DLL") == "medium B.DLL");
            CHECK(GetFile(stage + "\\A.EXE") == "medium A.EXE");
        }
        if (strchr(c.stale, 'K')) CHECK(GetFile(stage + "\\KEEP.TXT") == "stale KEEP.TXT");
        RemoveTree(stage);
        MediumRemove(&medium);
    }
}

TEST_CASE("SETUP1.EXE hands the second phase its line and current directory")
{
    static const struct { const char *commandLine, *target, *wantTail; } cases[] = {
        {"", "4", " -p4 "},
        {"/s  extra", "3", " /s  extra -p3 "},
        {"", "", " -p "},
        {"a", "4+N", " a -p4+N "},
    };
    for (const auto &c : cases) {
        INFO("command line \"", c.commandLine, "\" target \"", c.target, "\"");
        Medium medium;
        REQUIRE(MediumCreate(&medium, "line"));
        REQUIRE(MediumAddPhase2(&medium, "P2.EXE"));
        std::string stage = TempFolder("linedir");
        RemoveTree(stage);
        REQUIRE(MediumWritePlan(&medium, Plan(stage, "P2.EXE", "", c.target)));
        StagingRun run = RunSetup(&medium, c.commandLine);
        if (c.target[0] == '\0') {
            // An empty target selects the add-on mode: no second phase.
            CHECK(run.exitCode != 1);
            CHECK(!run.recorded);
        } else {
            CHECK(run.exitCode == 1);
            REQUIRE(run.recorded);
            CHECK(run.record.commandLine == stage + "\\P2.EXE" + c.wantTail + medium.dir);
            CHECK(lstrcmpiA(run.record.currentDir.c_str(), stage.c_str()) == 0);
        }
        RemoveTree(stage);
        MediumRemove(&medium);
    }
}

TEST_CASE("SETUP1.EXE creates a missing chain of folders, enters an existing one, quotes a blank")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "dirs"));
    REQUIRE(MediumAddPhase2(&medium, "P2.EXE"));
    std::string base = TempFolder("dirs-stage");
    RemoveTree(base);
    REQUIRE(CreateDirectoryA(base.c_str(), 0));
    std::string deep = base + "\\ONE\\TWO\\THREE";
    REQUIRE(MediumWritePlan(&medium, Plan(deep, "P2.EXE", "")));
    StagingRun run = RunSetup(&medium, "");
    CHECK(run.exitCode == 1);
    CHECK(run.recorded);
    CHECK(Exists(deep + "\\P2.EXE"));
    CHECK(lstrcmpiA(run.record.currentDir.c_str(), deep.c_str()) == 0);

    // Again: the folder now exists and is entered.
    run = RunSetup(&medium, "");
    CHECK(run.exitCode == 1);
    CHECK(run.recorded);

    // A blank in the staging path: the program piece is quoted, and the
    // program "my" that an unquoted line would start is left alone.
    std::string blank = base + "\\my stage";
    REQUIRE(CopyFileA((medium.dir + "\\P2.EXE").c_str(), (base + "\\my.exe").c_str(), FALSE));
    REQUIRE(MediumWritePlan(&medium, Plan(blank, "P2.EXE", "")));
    run = RunSetup(&medium, "x y");
    CHECK(run.exitCode == 1);
    REQUIRE(run.recorded);
    CHECK(run.record.commandLine == "\"" + blank + "\\P2.EXE\" x y -p4 " + medium.dir);
    CHECK(run.record.winMainLine == "x y -p4 " + medium.dir);
    CHECK(lstrcmpiA(run.record.currentDir.c_str(), blank.c_str()) == 0);
    RemoveTree(base);
    MediumRemove(&medium);
}

TEST_CASE("SETUP1.EXE starts nothing and ends with 0 when the line would not fit")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "longline"));
    REQUIRE(MediumAddPhase2(&medium, "P2.EXE"));
    std::string stage = TempFolder("longline-stage");
    RemoveTree(stage);
    REQUIRE(MediumWritePlan(&medium, Plan(stage, "P2.EXE", "")));
    std::string own(250, 'x');
    StagingRun run = RunSetup(&medium, own.c_str());
    CHECK(run.exitCode == 0);
    CHECK(!run.recorded);
    CHECK(Exists(stage + "\\P2.EXE"));
    RemoveTree(stage);
    MediumRemove(&medium);
}

TEST_CASE("SETUP1.EXE on a medium that is its own staging folder keeps the medium whole")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "self"));
    REQUIRE(MediumAddPhase2(&medium, "P2.EXE"));
    REQUIRE(MediumWriteFile(&medium, "B.DLL", "medium B.DLL"));
    REQUIRE(MediumWritePlan(&medium, Plan(medium.dir + "\\.", "B.DLL,P2.EXE", "X.DLL")));
    StagingRun run = RunSetup(&medium, "");
    CHECK(run.exitCode == 1);
    CHECK(run.recorded);
    CHECK(GetFile(medium.dir + "\\B.DLL") == "medium B.DLL");
    CHECK(!Exists(medium.dir + "\\X.DLL"));
    CHECK(Exists(medium.dir + "\\P2.EXE"));
    MediumRemove(&medium);
}
