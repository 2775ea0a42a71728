#include <windows.h>

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "setup1.h"
#include "testing.h"

static void ResetTargets()
{
    memset(&TargetList, 0x5A, sizeof TargetList);
    TargetList.count = 0;
    EditionLetter = ' ';
}

static std::string Entries()
{
    std::string out;
    for (int i = 0; i < TargetList.count; ++i) {
        if (i) out += "|";
        out += TargetList.entries[i];
    }
    return out;
}

TEST_CASE("ParseTargetCodes splits at plus signs, stops at a blank and notes the last edition")
{
    static const struct { const char *target, *entries; int count; char edition; int addOn; } cases[] = {
        {"3+S", "3|S", 2, '3', 1},
        {"N", "N", 1, 'N', 0},
        {"34", "34", 1, '4', 0},
        {"S 3", "S", 1, ' ', 1},
        {"3++4", "3||4", 3, '4', 1},
        {"3S", "3S", 1, '3', 0},
        {"s", "s", 1, ' ', 0},
        {"S-x", "S-x", 1, ' ', 1},
        {"", "", 1, ' ', 1},
        {" S", "", 1, ' ', 1},
        {"+S", "|S", 2, ' ', 1},
        {"4+S+N", "4|S|N", 3, 'N', 1},
        {"3", "3", 1, '3', 0},
        {"4", "4", 1, '4', 0},
        {"-S", "-S", 1, ' ', 1},
    };
    for (const auto &c : cases) {
        ResetTargets();
        INFO("target \"", c.target, "\"");
        CHECK(ParseTargetCodes(c.target) == 1);
        CHECK(TargetList.count == c.count);
        CHECK(Entries() == c.entries);
        CHECK(EditionLetter == c.edition);
        CHECK(HasTargetCode("S") == c.addOn);
    }
}

TEST_CASE("ParseTargetCodes keeps to five entries of fifteen characters")
{
    ResetTargets();
    ParseTargetCodes("A+B+C+D+E+F+S");
    CHECK(TargetList.count == 5);
    CHECK(Entries() == "A|B|C|D|E");
    CHECK(HasTargetCode("S") == 0);

    ResetTargets();
    ParseTargetCodes("ABCDEFGHIJKLMNOPQRSTUVWXYZ+4");
    CHECK(TargetList.count == 2);
    CHECK(Entries() == "ABCDEFGHIJKLMNO|4");
    CHECK(EditionLetter == '4');
    for (int i = 0; i < TargetList.count; ++i) CHECK(strnlen(TargetList.entries[i], TARGET_CODE_SIZE) < TARGET_CODE_SIZE);

    // A second call goes on from the count, and still stops at the last slot.
    ResetTargets();
    ParseTargetCodes("1+2+3");
    ParseTargetCodes("N+5+6");
    CHECK(Entries() == "1|2|3|N|5");
    CHECK(EditionLetter == 'N');
}

TEST_CASE("HasTargetCode matches when every letter and digit of an entry is in the code")
{
    static const struct { const char *target, *code; int want; } cases[] = {
        {"S", "S", 1},   {"S", "SX", 1},  {"SS", "S", 1},  {"XS", "S", 0},
        {"3S", "3S", 1}, {"S3", "3S", 1}, {"s", "s", 1},   {"S", "s", 0},
        {"S.x", "S", 1}, {"", "S", 1},    {"4", "S", 0},   {"4", "", 0},
        {"A", "A-B", 1}, {"B", "A-B", 0},
    };
    for (const auto &c : cases) {
        ResetTargets();
        ParseTargetCodes(c.target);
        INFO("target \"", c.target, "\" code \"", c.code, "\"");
        CHECK(HasTargetCode(c.code) == c.want);
    }
    ResetTargets();
    CHECK(HasTargetCode("S") == 0);  // an empty list matches nothing
}

TEST_CASE("TempSpaceValue converts like atoi and saturates instead of wrapping")
{
    static const struct { const char *text; int want; } cases[] = {
        {"1500KB", 1500},         {"-1", -1},       {"", 0},
        {"abc", 0},               {"  42", 42},     {"\t+7", 7},
        {"2147483647", INT_MAX},  {"2147483648", INT_MAX},
        {"99999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN}, {"-2147483649", INT_MIN},
        {"4294967296", INT_MAX},  {"12 34", 12},    {"- 5", 0},
    };
    for (const auto &c : cases) {
        INFO("tempspace \"", c.text, "\"");
        CHECK(TempSpaceValue(c.text) == c.want);
    }
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
    void Write(const std::string &text) const
    {
        FILE *f = fopen(PlanPath().c_str(), "wb");
        REQUIRE(f != nullptr);
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
};

static void ReadPlanFresh(const char *oldTarget)
{
    ResetTargets();
    strcpy(TargetDirectory, oldTarget);
    memset(PlanRun, 0x5A, sizeof PlanRun);
    ReadPhaseTwoPlan();
}

TEST_CASE("ReadPhaseTwoPlan reads the six keys of [phasetwo] beside the program")
{
    PlanFolder folder;
    folder.Write("[other]\r\ntarget=X\r\n[PhaseTwo]\r\nTARGET=4+S\r\ncopyfiles=A.EXE,B.DLL\r\n"
                 "renameto=,X.DLL\r\nTempDir=C:\\STAGE\r\ntempspace=1500KB\r\nrun=P2.EXE\r\nextra=1\r\n");
    ReadPlanFresh("OLD");
    CHECK(Text(PlanTarget) == "4+S");
    CHECK(Text(PlanCopyFiles) == "A.EXE,B.DLL");
    CHECK(Text(PlanRenameTo) == ",X.DLL");
    CHECK(Text(TargetDirectory) == "C:\\STAGE");
    CHECK(PlanTempSpace == 1500);
    CHECK(Text(PlanRun) == "P2.EXE");
    CHECK(Entries() == "4|S");
    CHECK(EditionLetter == '4');
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
        CHECK(Text(PlanTarget) == "");
        CHECK(Text(PlanCopyFiles) == "");
        CHECK(Text(TargetDirectory) == "");
        CHECK(PlanTempSpace == 0);
        CHECK(TargetList.count == 1);
        CHECK(HasTargetCode("S") == 1);
    }
    CHECK(Text(PlanRun) == "P2.EXE");
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
    CHECK(strlen(PlanTarget) == TARGET_TEXT_SIZE - 1);
    CHECK(strlen(PlanRun) == PLAN_TEXT_SIZE - 1);
    CHECK(Entries() == "TTTTTTTTTTTTTTT");
    // A list whose one entry was cut is empty; a longer one loses the cut entry.
    CHECK(Text(PlanCopyFiles) == "");
    CHECK(Text(PlanRenameTo) == list.substr(0, 51 * 10 - 1));
    // The staging path does not fit: none at all rather than another folder.
    CHECK(Text(TargetDirectory) == "");

    // Values that fill their buffers exactly are taken whole.
    std::string exact = list.substr(0, 50 * 10 - 1) + ",AB.CDEFGHIJ";
    REQUIRE(exact.size() == PLAN_TEXT_SIZE - 1);
    std::string exactDir = "C:\\" + std::string(PATH_SIZE - 4, 'D');
    folder.Write("[phasetwo]\r\ntarget=4\r\ncopyfiles=" + exact + "\r\nrenameto=" + exact + ",MORE\r\ntempdir=" +
                 exactDir + "\r\n");
    ReadPlanFresh("");
    CHECK(Text(PlanCopyFiles) == exact);
    // Cut right at a comma: every entry before it is whole.
    CHECK(Text(PlanRenameTo) == exact);
    CHECK(Text(TargetDirectory) == exactDir);
}
