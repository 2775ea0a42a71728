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
    static const struct { int delta, want; } cases[] = {{-1, 1}, {0, 0}, {1, 0}, {-freeKilobytes, 1}};
    for (const auto &c : cases) {
        PhaseTwoPlan.tempspace = freeKilobytes + c.delta;
        INFO("tempspace ", PhaseTwoPlan.tempspace, " with ", freeKilobytes, " KB free");
        RemoveDirectoryA(target.c_str());
        memset(DiskFigures, 0, sizeof DiskFigures);
        CHECK(PrepareTargetDirectory() == c.want);
        CHECK((unsigned long long)DiskFigures[0] * DiskFigures[1] * DiskFigures[2] == freeBytes);
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

TEST_CASE("The normal mode starts no second phase when the staging drive fills up")
{
    REQUIRE(!Drive().empty());
    ClearDrive();
    unsigned long long room = FreeBytes();
    static const struct { bool big; DWORD wantExit; } cases[] = {{true, 0}, {false, 1}};
    for (const auto &c : cases) {
        INFO((c.big ? "with a file larger than the drive" : "with files that fit"));
        Medium medium;
        REQUIRE(MediumCreate(&medium, "fulldisk"));
        REQUIRE(MediumAddPhase2(&medium, "P2.EXE"));
        REQUIRE(MediumWriteFile(&medium, "BIG.DAT", Pattern(c.big ? (size_t)room + 4096 : 1000, 5)));
        std::string plan = "[phasetwo]\r\ntarget=4\r\ncopyfiles=BIG.DAT,P2.EXE\r\nrenameto=\r\ntempdir=" + Drive() +
                           "\\STAGE\r\ntempspace=0\r\nrun=P2.EXE\r\n";
        REQUIRE(MediumWritePlan(&medium, plan));
        RunResult run;
        RunSetup(&medium, "", {}, &run);
        CHECK(run.exitCode == c.wantExit);
        CHECK(run.haveRecord == !c.big);
        CHECK(Exists(Drive() + "\\STAGE\\P2.EXE") == !c.big);
        MediumRemove(&medium);
        ClearDrive();
    }
}
