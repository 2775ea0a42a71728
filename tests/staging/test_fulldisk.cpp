// Staging onto a drive that a small tmpfs backs (see full-disk.sh): short
// writes, exact free-space figures, and a read that fails.
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "e2e.h"
#include "files.h"
#include "paths.h"
#include "setup1.h"
#include "staging.h"
#include "resource.h"
#include "testing.h"
#include "texts.h"

static std::string Drive() { return TestOption("drive"); }  // "T:"

static void ClearDrive()
{
    std::string root = Drive() + "\\";
    for (const auto &name : Listing(Drive())) {
        std::string path = root + name;
        if (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(path);
        else
            DeleteFileA(path.c_str());
    }
}

static unsigned long long FreeBytes()
{
    DWORD spc, bps, freeClusters, total;
    if (!GetDiskFreeSpaceA((Drive() + "\\").c_str(), &spc, &bps, &freeClusters, &total)) return 0;
    return (unsigned long long)spc * bps * freeClusters;
}

TEST_CASE("CopyFileSpec ends with 29 at a short write and copies no later match")
{
    REQUIRE(!Drive().empty());
    ClearDrive();
    unsigned long long room = FreeBytes();
    REQUIRE(room > 0);
    Scratch src("full");
    for (int i = 0; i < 8; ++i)
        REQUIRE(PutFileDated(src / ("F" + std::to_string(i) + ".DAT"), Pattern((size_t)(room / 3), i), 1996));

    // The order in which the search returns them decides which file fills the drive.
    std::vector<std::string> order;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((src / "F*.DAT").c_str(), &found);
    REQUIRE(search != INVALID_HANDLE_VALUE);
    do order.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);

    std::string dest = Drive() + "\\";
    CHECK(CopyFileSpec((src / "F*.DAT").c_str(), dest.c_str()) == 29);
    CHECK(CopyBuffer.holders == 0);
    size_t whole = 0;
    while (whole < order.size() && GetFile(dest + order[whole]) == GetFile(src / order[whole])) ++whole;
    INFO("search order ", order[0], " ", order[1], " ", order[2], " ", order[3]);
    CHECK(whole >= 2);
    REQUIRE(whole < order.size());
    std::string partial = dest + order[whole];
    CHECK(Exists(partial));
    std::string got = GetFile(partial);
    CHECK(got.size() < room / 3);
    CHECK(got == GetFile(src / order[whole]).substr(0, got.size()));
    CHECK(WriteTime(partial) != WriteTime(src / order[whole]));
    for (size_t i = whole + 1; i < order.size(); ++i) {
        INFO("later match ", order[i]);
        CHECK(!Exists(dest + order[i]));
    }
    for (size_t i = 0; i < whole; ++i) CHECK(WriteTime(dest + order[i]) == WriteTime(src / order[i]));

    // A single file that does not fit.
    ClearDrive();
    REQUIRE(PutFile(src / "HUGE.BIN", Pattern((size_t)room + 100000, 9)));
    CHECK(CopyFileSpec((src / "HUGE.BIN").c_str(), dest.c_str()) == 29);
    CHECK(GetFile(dest + "HUGE.BIN").size() < room + 100000);
    ClearDrive();
}

TEST_CASE("The free-space figures of the drive are exact and the boundary is strict")
{
    REQUIRE(!Drive().empty());
    ClearDrive();
    unsigned long long wantFree = strtoull(TestOption("free").c_str(), 0, 10);
    Scratch src("space");
    // Take some of the room, so that the figure is not the drive's size.
    REQUIRE(PutFile(Drive() + "\\FILLER.BIN", Pattern(3 * 4096 + 100, 1)));
    unsigned long long freeBytes = FreeBytes();
    CHECK(freeBytes == wantFree - 4 * 4096);
    REQUIRE(freeBytes % 1024 == 0);
    int freeKilobytes = (int)(freeBytes / 1024);

    std::string target = Drive() + "\\STAGE";
    CopyText(TargetDirectory, PATH_SIZE, target.c_str());
    static const struct {
        int delta, want;
    } cases[] = {{-1, 1}, {0, 0}, {1, 0}, {-freeKilobytes, 1}};
    for (const auto &c : cases) {
        PhaseTwoPlan.tempspace = freeKilobytes + c.delta;
        INFO("tempspace ", PhaseTwoPlan.tempspace, " with ", freeKilobytes, " KB free");
        RemoveDirectoryA(target.c_str());
        memset(&DiskFigures, 0, sizeof DiskFigures);
        CHECK(PrepareTargetDirectory() == c.want);
        CHECK((unsigned long long)DiskFigures.sectorsPerCluster * DiskFigures.bytesPerSector *
                  DiskFigures.freeClusters ==
              freeBytes);
        CHECK(Exists(target) == (c.want == 1));
    }
    // The drive full to the last cluster: only a negative tempspace passes.
    RemoveDirectoryA(target.c_str());
    std::string fill(65536, 'f');
    HANDLE h = CreateFileA((Drive() + "\\FILL2.BIN").c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    DWORD written = 1;
    while (written) WriteFile(h, fill.data(), (DWORD)fill.size(), &written, 0);
    fill.resize(1);
    written = 1;
    while (written) WriteFile(h, fill.data(), 1, &written, 0);
    CloseHandle(h);
    CHECK(FreeBytes() == 0);
    PhaseTwoPlan.tempspace = 0;
    CHECK(PrepareTargetDirectory() == 0);
    SetCurrentDirectoryA("C:\\");
    ClearDrive();
}

TEST_CASE("CopyFileSpec ends with 30 on a read that fails and leaves the copy undated")
{
    std::string dir = TestOption("readfault");
    REQUIRE(!dir.empty());
    Scratch dst("rf");
    // BAD.DAT is a link to a Unix file that opens but cannot be read.
    CHECK(CopyFileSpec((dir + "\\BAD.DAT").c_str(), dst.dir.c_str()) == 30);
    CHECK(Exists(dst / "BAD.DAT"));
    CHECK(WriteTime(dst / "BAD.DAT") != WriteTime(dir + "\\BAD.DAT"));
    CHECK(CopyBuffer.holders == 0);
    // The good file alone copies well.
    CHECK(CopyFileSpec((dir + "\\GOOD.DAT").c_str(), dst.dir.c_str()) == 0);
    CHECK(GetFile(dst / "GOOD.DAT") == GetFile(dir + "\\GOOD.DAT"));
    // StageFiles gives up at the failed read.
    Scratch stage("rfstage");
    CopyText(SourceDirectory, PATH_SIZE, dir.c_str());
    CopyText(TargetDirectory, PATH_SIZE, stage.dir.c_str());
    CopyText(PhaseTwoPlan.copyfiles, PLAN_TEXT_SIZE, "BAD.DAT,GOOD.DAT");
    PhaseTwoPlan.renameto[0] = '\0';
    CHECK(StageFiles() == 0);
    CHECK(!Exists(stage / "GOOD.DAT"));
}

// A medium in the medium folder given, holding the stand-in second phase as
// P2.EXE and the files listed, and a plan that stages them into tempdir.
static void LayMedium(Medium *medium, const std::vector<std::pair<std::string, std::string>> &files,
                      const std::string &copyfiles, const std::string &renameto, const std::string &tempdir)
{
    REQUIRE(MediumAddPhase2(medium, "P2.EXE"));
    for (const auto &f : files) REQUIRE(MediumWriteFile(medium, f.first.c_str(), f.second));
    REQUIRE(MediumWritePlan(medium, "[phasetwo]\r\ntarget=4\r\ncopyfiles=" + copyfiles + ",P2.EXE\r\nrenameto=" +
                                        renameto + "\r\ntempdir=" + tempdir + "\r\ntempspace=0\r\nrun=P2.EXE\r\n"));
}

TEST_CASE("A staging drive that fills up brings the prompt back, and another path gets the whole list")
{
    REQUIRE(!Drive().empty());
    ClearDrive();
    std::string big = Pattern((size_t)FreeBytes() + 4096, 5);
    static const struct {
        bool typePath;
        DWORD wantExit;
    } cases[] = {{true, 1}, {false, 0}};
    for (const auto &c : cases) {
        INFO((c.typePath ? "a path on C: typed into the prompt" : "Exit in the prompt"));
        Medium medium;
        REQUIRE(MediumCreate(&medium, "fulldisk"));
        // The rename shows that the second attempt walks the lists again.
        LayMedium(&medium, {{"SMALL.TXT", "small"}, {"BIG.DAT", big}}, "SMALL.TXT,BIG.DAT", "SMALL.DOC",
                  Drive() + "\\STAGE");
        Scratch other("fdother", false);
        // The folder this run made is held while the prompt is up: nobody
        // renames it away and puts another in its place.
        RunAction answer = c.typePath ? RunAction{PROMPT_TYPE, other.dir} : RunAction{PROMPT_EXIT};
        BOOL renamed = TRUE;
        answer.first = [&] { renamed = MoveFileA((Drive() + "\\STAGE").c_str(), (Drive() + "\\MOVED").c_str()); };
        RunResult run;
        RunSetup(&medium, "", {answer}, &run);
        CHECK(!renamed);
        CHECK(run.exitCode == c.wantExit);
        REQUIRE(run.dialogs.size() == 1u);
        CHECK(run.dialogs[0].path == Drive() + "\\STAGE");
        CHECK(run.dialogs[0].Text(IDC_TEXT_ENGLISH) == StagingTexts[0]);
        CHECK(run.haveRecord == c.typePath);
        // What was copied before the drive filled up stays there.
        CHECK(GetFile(Drive() + "\\STAGE\\SMALL.DOC") == "small");
        if (c.typePath) {
            CHECK(lstrcmpiA(run.record.currentDir.c_str(), other.dir.c_str()) == 0);
            CHECK(GetFile(other.dir + "\\SMALL.DOC") == "small");
            CHECK(GetFile(other.dir + "\\BIG.DAT") == big);
            CHECK(GetFile(other.dir + "\\P2.EXE") == GetFile(medium.dir + "\\P2.EXE"));
        }
        CHECK(GetFile(medium.dir + "\\BIG.DAT") == big);
        ClearDrive();
    }
}

TEST_CASE("A staging folder that is the medium under another name loses no file of the medium")
{
    // full-disk.sh makes the folder, with a long name, and links a second
    // drive letter to it.
    std::string longDir = TestOption("longmedium"), alias = TestOption("alias");
    REQUIRE(!longDir.empty());
    REQUIRE(!alias.empty());
    char shortDir[MAX_PATH] = {MARKER};
    DWORD length = GetShortPathNameA(longDir.c_str(), shortDir, sizeof shortDir);
    DWORD error = GetLastError();
    INFO("GetShortPathNameA(", longDir, ") gave ", length, " error ", error);
    REQUIRE(length > 0);
    REQUIRE(std::string(shortDir) != longDir);
    for (const std::string &tempdir : {std::string(shortDir), alias + "\\", alias}) {
        INFO("tempdir ", tempdir);
        Medium medium{longDir, false};  // full-disk.sh removes the folder
        REQUIRE(CopyFileA(TestOption("setup1").c_str(), (longDir + "\\SETUP1.EXE").c_str(), FALSE));
        std::vector<std::pair<std::string, std::string>> files = {
            {"README.TXT", "read me"}, {"ZEV.CFG", "config"}, {"ZEVKB.SY$", "driver"}, {"ZEVKB.SYS", "other"}};
        LayMedium(&medium, files, "README.TXT,ZEV.CFG,ZEVKB.SYS", ",ZEV.INI", tempdir);
        std::string phase2 = GetFile(longDir + "\\P2.EXE");
        RunResult run;
        RunSetup(&medium, "", {}, &run);
        CHECK(run.exitCode == 1u);
        CHECK(run.haveRecord);
        for (const auto &f : files) CHECK(GetFile(longDir + "\\" + f.first) == f.second);
        CHECK(GetFile(longDir + "\\P2.EXE") == phase2);
        CHECK(!Exists(longDir + "\\ZEV.INI"));
        for (const auto &name : Listing(longDir)) DeleteFileA((longDir + "\\" + name).c_str());
    }
}

TEST_CASE("A staging path rooted without a drive is on the current drive and stages at once")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "rooted"));
    // The medium, and so the current folder SETUP1.EXE starts in, is on C:.
    REQUIRE(medium.dir.compare(0, 3, "C:\\") == 0);
    std::string rooted = "\\SETUP1-ROOTED-" + std::to_string(GetCurrentProcessId());
    RemoveTree("C:" + rooted);
    LayMedium(&medium, {{"README.TXT", "read me"}}, "README.TXT", "", rooted);
    RunResult run;
    RunSetup(&medium, "", {}, &run);
    CHECK(run.dialogs.size() == 0u);
    CHECK(run.exitCode == 1u);
    CHECK(GetFile("C:" + rooted + "\\README.TXT") == "read me");
    CHECK(run.record.currentDir == "C:" + rooted);
    RemoveTree("C:" + rooted);
}

TEST_CASE("A renameto entry that climbs out of the staging folder touches nothing outside it")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "climb"));
    std::string outside = TempFolder("climbout"), staging = outside + "\\STAGE";
    RemoveTree(outside);
    REQUIRE(CreateDirectoryA(outside.c_str(), 0));
    REQUIRE(PutFile(outside + "\\VICTIM.TXT", "keep me"));
    LayMedium(&medium, {{"A.TXT", "a"}}, "A.TXT", "..\\VICTIM.TXT", staging);
    RunResult run;
    RunSetup(&medium, "", {}, &run);
    CHECK(run.exitCode == 1u);
    CHECK(GetFile(outside + "\\VICTIM.TXT") == "keep me");
    // The file keeps its own name.
    CHECK(GetFile(staging + "\\A.TXT") == "a");
    RemoveTree(outside);
}

TEST_CASE("The normal mode stages files that fit the drive and starts the second phase")
{
    REQUIRE(!Drive().empty());
    ClearDrive();
    Medium medium;
    REQUIRE(MediumCreate(&medium, "fulldisk"));
    LayMedium(&medium, {{"BIG.DAT", Pattern(1000, 5)}}, "BIG.DAT", "", Drive() + "\\STAGE");
    RunResult run;
    RunSetup(&medium, "", {}, &run);
    CHECK(run.exitCode == 1u);
    CHECK(run.haveRecord);
    CHECK(GetFile(Drive() + "\\STAGE\\BIG.DAT") == Pattern(1000, 5));
    ClearDrive();
}
