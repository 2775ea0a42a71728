#include <windows.h>

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "e2e.h"
#include "setup1.h"
#include "testing.h"

static void ResetTargets()
{
    memset(&PhaseTwoPlan.TargetList, 0x5A, sizeof PhaseTwoPlan.TargetList);
    PhaseTwoPlan.TargetList.count = 0;
    PhaseTwoPlan.EditionLetter = ' ';
}

static std::string Entries()
{
    std::string out;
    for (int i = 0; i < PhaseTwoPlan.TargetList.count; ++i) {
        if (i) out += "|";
        out += PhaseTwoPlan.TargetList.entries[i];
    }
    return out;
}

struct PlanFolder {
    char dir[MAX_PATH];

    PlanFolder()
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        snprintf(dir, sizeof dir, "%ssetup1-plan-%lu", temp, GetCurrentProcessId());
        CreateDirectoryA(dir, 0);
        strcpy(SourceDirectory, dir);
    }
    ~PlanFolder()
    {
        DeleteFileA(PlanPath().c_str());
        RemoveDirectoryA(dir);
    }
    std::string PlanPath() const { return std::string(dir) + "\\SETUP1.INF"; }
    void Write(const std::string &text) const { REQUIRE(PutFile(PlanPath(), text)); }
};

static void ReadPlanFresh(const char *oldTarget)
{
    ResetTargets();
    strcpy(TargetDirectory, oldTarget);
    memset(PhaseTwoPlan.run, 0x5A, sizeof PhaseTwoPlan.run);
    ReadPhaseTwoPlan();
}

TEST_CASE("ReadPhaseTwoPlan reads the six keys of [phasetwo] beside the program")
{
    PlanFolder folder;
    folder.Write("[other]\r\ntarget=X\r\n[PhaseTwo]\r\nTARGET=4+S\r\ncopyfiles=A.EXE,B.DLL\r\n"
                 "renameto=,X.DLL\r\nTempDir=C:\\STAGE\r\ntempspace=1500KB\r\nrun=P2.EXE\r\nextra=1\r\n");
    ReadPlanFresh("OLD");
    CHECK(Text(PhaseTwoPlan.target) == "4+S");
    CHECK(Text(PhaseTwoPlan.copyfiles) == "A.EXE,B.DLL");
    CHECK(Text(PhaseTwoPlan.renameto) == ",X.DLL");
    CHECK(Text(TargetDirectory) == "C:\\STAGE");
    CHECK(PhaseTwoPlan.tempspace == 1500);
    CHECK(Text(PhaseTwoPlan.run) == "P2.EXE");
    CHECK(Entries() == "4|S");
    CHECK(PhaseTwoPlan.EditionLetter == '4');
}

TEST_CASE("ReadPhaseTwoPlan gives empty values for a missing file, section or key")
{
    PlanFolder folder;
    const char *plans[] = {nullptr, "[other]\r\ntarget=3\r\ntempdir=C:\\X\r\n", "[phasetwo]\r\nrun=P2.EXE\r\n"};
    for (const char *plan : plans) {
        if (plan)
            folder.Write(plan);
        else
            DeleteFileA(folder.PlanPath().c_str());
        INFO("plan ", plan ? plan : "(no file)");
        ReadPlanFresh("C:\\LEFT\\OVER");
        CHECK(Text(PhaseTwoPlan.target) == "");
        CHECK(Text(PhaseTwoPlan.copyfiles) == "");
        CHECK(Text(TargetDirectory) == "");
        CHECK(PhaseTwoPlan.tempspace == 0);
        CHECK(PhaseTwoPlan.TargetList.count == 1);
        CHECK(HasTargetCode("S") == 1);
    }
    CHECK(Text(PhaseTwoPlan.run) == "P2.EXE");
}

TEST_CASE("ReadPhaseTwoPlan cuts a value longer than its buffer, but never to a cut path or list entry")
{
    PlanFolder folder;
    std::string copy(600, 'C'), target(300, 'T'), dir = "C:\\" + std::string(300, 'D');
    // Entries of 9 characters and their commas: the cut at 511 falls into
    // the 52nd entry, so 51 whole entries are kept.
    std::string list;
    for (int i = 0; i < 60; ++i) list += std::string(list.empty() ? "" : ",") + "NAME" + std::to_string(1000 + i) + "X";
    folder.Write("[phasetwo]\r\ntarget=" + target + "\r\ncopyfiles=" + copy + "\r\nrenameto=" + list +
                 "\r\ntempdir=" + dir + "\r\nrun=" + copy + "\r\n");
    ReadPlanFresh("C:\\LEFT\\OVER");
    CHECK(strlen(PhaseTwoPlan.target) == TARGET_TEXT_SIZE - 1);
    CHECK(strlen(PhaseTwoPlan.run) == PLAN_TEXT_SIZE - 1);
    CHECK(Entries() == "TTTTTTTTTTTTTTT");
    // A list whose one entry was cut is empty; a longer one loses the cut entry.
    CHECK(Text(PhaseTwoPlan.copyfiles) == "");
    CHECK(Text(PhaseTwoPlan.renameto) == list.substr(0, 51 * 10 - 1));
    // The staging path does not fit: none at all rather than another folder.
    CHECK(Text(TargetDirectory) == "");

    // Values that fill their buffers exactly are taken whole.
    std::string exact = list.substr(0, 50 * 10 - 1) + ",AB.CDEFGHIJ";
    REQUIRE(exact.size() == PLAN_TEXT_SIZE - 1);
    std::string exactDir = "C:\\" + std::string(PATH_SIZE - 4, 'D');
    folder.Write("[phasetwo]\r\ntarget=4\r\ncopyfiles=" + exact + "\r\nrenameto=" + exact +
                 ",MORE\r\ntempdir=" + exactDir + "\r\n");
    ReadPlanFresh("");
    CHECK(Text(PhaseTwoPlan.copyfiles) == exact);
    // Cut right at a comma: every entry before it is whole.
    CHECK(Text(PhaseTwoPlan.renameto) == exact);
    CHECK(Text(TargetDirectory) == exactDir);
}
