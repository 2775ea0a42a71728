// The plan checker, run as its own process on media made by the test.
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "../staging/files.h"
#include "e2e.h"
#include "paths.h"
#include "registry.h"
#include "staging.h"
#include "testing.h"
#include "texts.h"

struct CheckRun {
    DWORD exitCode;
    std::string out;  // standard output, line ends as LF
};

// Runs SETUP1-CHECK.EXE with the arguments (already quoted as needed).
static CheckRun RunCheck(const std::string &arguments)
{
    CheckRun run = {0xFFFFFFFF, std::string()};
    std::string checker = TestOption("check");
    REQUIRE(!checker.empty());
    std::string outPath = TempFolder("check-out") + ".txt";
    PROCESS_INFORMATION process;
    REQUIRE(StartConsole(checker, arguments, outPath, &process));
    run.exitCode = WaitConsole(&process, 60000);
    for (char c : ReadWholeFile(outPath))
        if (c != '\r') run.out += c;
    DeleteFileA(outPath.c_str());
    return run;
}

static std::string Quoted(const std::string &text) { return "\"" + text + "\""; }

static std::vector<std::string> Lines(const std::string &out, const char *kind)
{
    std::vector<std::string> lines;
    std::string prefix = std::string(kind) + ": ";
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(start, end - start);
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The report line of that kind and tag about that key or entry, or "".
static std::string FindLine(const CheckRun &run, const char *kind, const std::string &where, const char *tag)
{
    std::string head = std::string(kind) + ": " + where + ": ";
    std::string tail = std::string(" [") + tag + "]";
    for (const std::string &line : Lines(run.out, kind))
        if (line.compare(0, head.size(), head) == 0 && line.size() >= tail.size() &&
            line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
            return line;
    return std::string();
}

// A medium with a fixed set of files; each case writes its own plan.
struct CheckMedium {
    Medium medium;
    CheckMedium()
    {
        REQUIRE(MediumCreate(&medium, "check"));
        static const struct {
            const char *name, *content;
        } files[] = {
            {"A.EXE", "program A"},          {"B.DLL", "library B"},     {"VX.SY$", "driver stored with $"},
            {"DUO.SY$", "driver $"},         {"DUO.SYS", "driver"},      {"HELP1.HLP", "help one"},
            {"HELP2.HLP", "help two"},       {"P2.EXE", "second phase"}, {"Read Me First.TXT", "read me"},
            {"SUBDIR\\INNER.TXT", "inside"},
        };
        for (const auto &f : files) REQUIRE(MediumWriteFile(&medium, f.name, f.content));
    }
    ~CheckMedium() { MediumRemove(&medium); }
    void Plan(const std::string &lines) const { REQUIRE(MediumWritePlan(&medium, "[phasetwo]\r\n" + lines)); }
    CheckRun Check(const std::string &extra = "") const
    {
        return RunCheck(Quoted(medium.dir) + (extra.empty() ? "" : " " + extra));
    }
};

static const char GoodPlan[] = "target=4+N\r\n"
                               "copyfiles=A.EXE,B.DLL,VX.SYS,*.HLP,P2.EXE\r\n"
                               "renameto=,X.DLL\r\n"
                               "tempdir=C:\\STAGE\r\n"
                               "tempspace=100\r\n"
                               "run=P2.EXE\r\n";

TEST_CASE("SETUP1-CHECK exits 2 on bad usage and explains itself with --help")
{
    CheckRun help = RunCheck("--help");
    CHECK(help.exitCode == 0);
    CHECK(help.out.find("usage: SETUP1-CHECK.EXE MEDIUM_DIR [TEMPDIR]") == 0);
    CHECK(help.out.find("Exit status") != std::string::npos);

    std::string missing = TempFolder("check-missing");
    RemoveTree(missing);
    static const struct {
        std::string arguments;
    } cases[] = {
        {""}, {"a b c"}, {"--bogus"}, {Quoted(missing)}, {"C:\\ -x"}, {"C:\\ " + std::string(PATH_SIZE, 'T')},
    };
    for (const auto &c : cases) {
        INFO("arguments: ", c.arguments);
        CheckRun run = RunCheck(c.arguments);
        CHECK(run.exitCode == 2);
        CHECK(Lines(run.out, "warning").empty());
    }
}

TEST_CASE("SETUP1-CHECK passes a good medium and lists the names the staged files get")
{
    CheckMedium medium;
    medium.Plan(GoodPlan);
    CheckRun run = medium.Check();
    INFO(run.out);
    CHECK(run.exitCode == 0);
    CHECK(Lines(run.out, "warning").empty());
    CHECK(run.out.find("0 findings\n") != std::string::npos);

    static const struct {
        const char *where, *staged;
    } notes[] = {
        {"copyfiles[1] \"A.EXE\"", "A.EXE is staged as A.EXE"},
        {"copyfiles[2] \"B.DLL\"", "B.DLL is staged as X.DLL"},
        {"copyfiles[3] \"VX.SYS\"", "VX.SY$ is staged as VX.SYS"},
        {"copyfiles[4] \"*.HLP\"", "HELP1.HLP is staged as HELP1.HLP"},
        {"copyfiles[4] \"*.HLP\"", "HELP2.HLP is staged as HELP2.HLP"},
        {"copyfiles[5] \"P2.EXE\"", "P2.EXE is staged as P2.EXE"},
    };
    for (const auto &n : notes)
        CHECK(run.out.find(std::string("note: ") + n.where + ": " + n.staged + " [staged]\n") != std::string::npos);
    CHECK(Lines(run.out, "note").size() == 9);  // the mode, the unsigned SETUP1.EXE, six files, the command line
    CHECK(FindLine(run, "note", "target \"4+N\"", "mode")
              .find("normal mode: staging and the second phase; the "
                    "backdrop shows linnet") != std::string::npos);

    // The command line is the program's own assembly, with the medium as the
    // source directory.
    char line[COMMAND_LINE_SIZE];
    REQUIRE(BuildPhaseTwoCommandLine(line, sizeof line, "C:\\STAGE", "P2.EXE", "", "4+N", medium.medium.dir.c_str()));
    CHECK(FindLine(run, "note", "run \"P2.EXE\"", "command-line").find(std::string(": ") + line + " (") !=
          std::string::npos);

    // An add-on plan needs no run, and a plan for another place passes too.
    medium.Plan("target=3+S\r\ncopyfiles=A.EXE,B.DLL\r\ntempdir=C:\\ZEV\r\ntempspace=1\r\n");
    CheckRun addOn = medium.Check("\"C:\\Program Files\\ZEV\"");
    INFO(addOn.out);
    CHECK(addOn.exitCode == 0);
    CHECK(Lines(addOn.out, "warning").empty());
    CHECK(FindLine(addOn, "note", "target \"3+S\"", "mode").find("add-on mode") != std::string::npos);
    CHECK(FindLine(addOn, "note", "target \"3+S\"", "mode").find("; the backdrop shows heart") != std::string::npos);
    CHECK(FindLine(addOn, "note", "copyfiles[1] \"A.EXE\"", "staged").find("A.EXE is copied as A.EXE") !=
          std::string::npos);
}

// The names in the checker's listing, from its "staged" notes.
static std::vector<std::string> StagedNames(const CheckRun &run)
{
    std::vector<std::string> names;
    for (const std::string &line : Lines(run.out, "note")) {
        size_t as = line.rfind(line.find(" is copied as ") != std::string::npos ? " is copied as " : " is staged as ");
        size_t tag = line.rfind(" [staged]");
        if (as == std::string::npos || tag == std::string::npos || tag < as) continue;
        names.push_back(line.substr(as + 14, tag - as - 14));
    }
    return names;
}

static bool HasName(const std::vector<std::string> &names, const std::string &name)
{
    for (const std::string &n : names)
        if (lstrcmpiA(n.c_str(), name.c_str()) == 0) return true;
    return false;
}

// Every name the checker noted as staged is in the folder after a real run
// of SETUP1.EXE, and nothing else is.
static void CheckStagedAlike(const CheckRun &check, const std::string &folder)
{
    std::vector<std::string> listed = StagedNames(check);
    std::vector<std::string> staged;
    for (const std::string &name : Listing(folder)) staged.push_back(name);
    for (const std::string &name : staged) {
        INFO("staged by SETUP1.EXE: ", name);
        CHECK(HasName(listed, name));
    }
    for (const std::string &name : listed) {
        INFO("listed by SETUP1-CHECK: ", name);
        CHECK(HasName(staged, name));
    }
    CHECK(staged.size() == listed.size());
}

TEST_CASE("SETUP1-CHECK lists exactly the files that SETUP1.EXE stages")
{
    CheckMedium medium;
    std::string stage = TempFolder("check-stage");
    RemoveTree(stage);
    medium.Plan("target=4\r\ncopyfiles=A.EXE,B.DLL,VX.SYS,DUO.SYS,*.HLP,Read Me First.TXT,P2.EXE\r\n"
                "renameto=,X.DLL,,D.SYS\r\ntempdir=" +
                stage + "\r\ntempspace=100\r\nrun=P2.EXE\r\n");
    REQUIRE(MediumAddPhase2(&medium.medium, "P2.EXE"));
    CheckRun check = medium.Check();
    INFO(check.out);
    CHECK(StagedNames(check).size() == 8);

    RunResult run;
    RunSetup(&medium.medium, "", {}, &run);
    CHECK(run.exitCode == 1u);
    CHECK(run.haveRecord);
    CheckStagedAlike(check, stage);
    RemoveTree(stage);
}

TEST_CASE("SETUP1-CHECK passes the sample media as the demo lays them out, listing what SETUP1.EXE stages")
{
    std::string bundled = TestOption("medium");
    REQUIRE(FileExists(bundled + "\\SETUP1.INF"));
    REQUIRE(FileExists(bundled + "\\addon\\SETUP1.INF"));
    // The folder as it is, without the second phase, is not ready.
    CheckRun bare = RunCheck(Quoted(bundled));
    INFO(bare.out);
    CHECK(bare.exitCode == 1);
    CHECK(FindLine(bare, "warning", "copyfiles[1] \"PHASE2.EXE\"", "no-match") != "");

    // The normal medium, with the stand-in second phase beside its files
    // as the demo puts it, stages into its plan's folder C:\ZEVSTAGE.
    const std::string stage = "C:\\ZEVSTAGE";
    RemoveTree(stage);
    Medium medium;
    REQUIRE(MediumCreate(&medium, "check-sample"));
    REQUIRE(MediumCopyFolder(&medium, bundled));
    REQUIRE(MediumAddPhase2(&medium, "PHASE2.EXE"));
    CheckRun check = RunCheck(Quoted(medium.dir));
    INFO(check.out);
    CHECK(check.exitCode == 0);
    CHECK(Lines(check.out, "warning").empty());
    CHECK(!StagedNames(check).empty());
    RunResult run;
    RunSetup(&medium, "", {}, &run);
    CHECK(run.exitCode == 1u);
    CHECK(run.haveRecord);
    CheckStagedAlike(check, stage);
    RemoveTree(stage);
    MediumRemove(&medium);

    // The add-on medium installs into the newest installed product's folder.
    CleanSettings();
    std::string product = TempFolder("check-product");
    RemoveTree(product);
    REQUIRE(CreateDirectoryA(product.c_str(), 0));
    REQUIRE(SetText(HiveUser, "Software\\Tessaric\\ZEV!\\4.20\\ZODOZ", "Directory", product));
    REQUIRE(MediumCreate(&medium, "check-sample-addon"));
    REQUIRE(MediumCopyFolder(&medium, bundled + "\\addon"));
    CheckRun addOn = RunCheck(Quoted(medium.dir) + " " + Quoted(product));
    INFO(addOn.out);
    CHECK(addOn.exitCode == 0);
    CHECK(Lines(addOn.out, "warning").empty());
    CHECK(FindLine(addOn, "note", "target \"S\"", "mode").find("add-on mode") != std::string::npos);
    CHECK(!StagedNames(addOn).empty());
    RunSetup(&medium, "", {{PROMPT_OK}, {BOX_OK}}, &run);
    REQUIRE(run.dialogs.size() == 2u);
    CHECK(lstrcmpiA(run.dialogs[0].path.c_str(), product.c_str()) == 0);
    CHECK(run.dialogs[1].Text(0xFFFF) == AddOnDoneText);
    CHECK(run.exitCode == 0u);
    CheckStagedAlike(addOn, product);
    RemoveTree(product);
    MediumRemove(&medium);
    CleanSettings();
}

TEST_CASE("SETUP1-CHECK notes a program that is not signed and warns of one changed after signing")
{
    // Programs signed by tools/sign (the test_sign fixture); CHANGED.EXE
    // was changed after signing. A.EXE is no program and gets no line.
    const std::string unsigned_ = TestOption("setup1"), signed_ = TestOption("signed"), changed = TestOption("changed");
    REQUIRE(FileExists(signed_));
    REQUIRE(FileExists(changed));
    static const char Hint[] = " with tools/sign --cert CERT.pem --key KEY.pem ";
    const struct {
        std::string setup1, p2;
        DWORD exitCode;
        const char *setup1Kind, *p2Kind, *p2Tag;  // the lines wanted, 0 for none
    } cases[] = {
        {unsigned_, signed_, 0, "note", 0, 0},
        {signed_, changed, 1, 0, "warning", "signature-mismatch"},
        {signed_, unsigned_, 0, 0, "note", "unsigned"},
    };
    CheckMedium medium;
    medium.Plan("target=4\r\ncopyfiles=P2.EXE,A.EXE\r\ntempdir=C:\\STAGE\r\ntempspace=100\r\nrun=P2.EXE\r\n");
    for (const auto &c : cases) {
        REQUIRE(CopyFileA(c.setup1.c_str(), (medium.medium.dir + "\\SETUP1.EXE").c_str(), FALSE));
        REQUIRE(CopyFileA(c.p2.c_str(), (medium.medium.dir + "\\P2.EXE").c_str(), FALSE));
        CheckRun run = medium.Check();
        INFO("SETUP1.EXE ", c.setup1, ", P2.EXE ", c.p2, ":\n", run.out);
        CHECK(run.exitCode == c.exitCode);
        std::string self = FindLine(run, "note", "SETUP1.EXE", "unsigned");
        CHECK(self.empty() == !c.setup1Kind);
        if (c.setup1Kind) CHECK(self.find(std::string(Hint) + "SETUP1.EXE [") != std::string::npos);
        std::string p2 = c.p2Kind ? FindLine(run, c.p2Kind, "copyfiles[1] \"P2.EXE\"", c.p2Tag) : "";
        CHECK(p2.empty() == !c.p2Kind);
        if (c.p2Kind) CHECK(p2.find(std::string(Hint) + "P2.EXE [") != std::string::npos);
        size_t lines = Lines(run.out, "note").size() + Lines(run.out, "warning").size();
        CHECK(lines == 4u + (c.setup1Kind != 0) + (c.p2Kind != 0));  // the mode, two files, the command line
    }
}

TEST_CASE("SETUP1-CHECK sees the short names that the copy engine stores")
{
    CheckMedium medium;
    medium.Plan("target=4\r\ncopyfiles=Read Me First.TXT,P2.EXE\r\ntempdir=C:\\STAGE\r\ntempspace=10\r\n"
                "run=P2.EXE\r\n");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((medium.medium.dir + "\\Read Me First.TXT").c_str(), &found);
    REQUIRE(search != INVALID_HANDLE_VALUE);
    FindClose(search);
    std::string stored = found.cAlternateFileName[0] ? found.cAlternateFileName : found.cFileName;
    CheckRun run = medium.Check();
    INFO(run.out);
    CHECK(run.exitCode == 1);
    std::string note = FindLine(run, "note", "copyfiles[1] \"Read Me First.TXT\"", "staged");
    CHECK(note.find(" is staged as " + stored + " [") != std::string::npos);
    std::string warning = FindLine(run, "warning", "copyfiles[1] \"Read Me First.TXT\"", "long-name");
    CHECK(warning.find(" is staged as " + stored + " here") != std::string::npos);

    // With a rename partner the rename looks for the long name and misses.
    medium.Plan("target=4\r\ncopyfiles=Read Me First.TXT,P2.EXE\r\nrenameto=README.TXT\r\ntempdir=C:\\STAGE\r\n"
                "tempspace=10\r\nrun=P2.EXE\r\n");
    run = medium.Check();
    INFO(run.out);
    CHECK(run.exitCode == 1);
    std::string misses = FindLine(run, "warning", "copyfiles[1] \"Read Me First.TXT\"", "rename-misses");
    CHECK(misses.find("keeps the name \"" + stored + "\"") != std::string::npos);
}

// One fault of the plan, the report line it must bring and where it points.
struct Fault {
    const char *plan;  // the lines after [phasetwo]
    const char *where;
    const char *tag;
    const char *says = "";  // a part of the line: what it tells to do
};

static void CheckFaults(const CheckMedium &medium, const Fault *faults, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const Fault &f = faults[i];
        medium.Plan(f.plan);
        CheckRun run = medium.Check();
        INFO("plan:\n", f.plan, "report:\n", run.out);
        CHECK(run.exitCode == 1);
        std::string line = FindLine(run, "warning", f.where, f.tag);
        CHECK(line != "");
        CHECK(line.find(f.says) != std::string::npos);
    }
}

#define PLAN_REST "tempdir=C:\\STAGE\r\ntempspace=100\r\nrun=A.EXE\r\n"

TEST_CASE("SETUP1-CHECK reports each fault of copyfiles and renameto with its entry")
{
    static const Fault faults[] = {
        {"target=4\r\ncopyfiles=A.EXE, B.DLL\r\n" PLAN_REST, "copyfiles[2] \" B.DLL\"", "blank", "; remove the blank"},
        {"target=4\r\ncopyfiles=A.EXE, B.DLL\r\n" PLAN_REST, "copyfiles[2] \" B.DLL\"", "no-match"},
        {"target=4\r\ncopyfiles=A.EXE,,B.DLL\r\n" PLAN_REST, "copyfiles[2] \"\"", "empty-entry"},
        {"target=4\r\ncopyfiles=A.EXE,B.DLL,\r\n" PLAN_REST, "copyfiles[3] \"\"", "trailing-comma"},
        {"target=4\r\ncopyfiles=A.EXE,B.DLL\r\nrenameto=, X.DLL\r\n" PLAN_REST, "renameto[2] \" X.DLL\"", "blank"},
        {"target=4\r\ncopyfiles=A.EXE,B.DLL\r\nrenameto=X.EXE,\r\n" PLAN_REST, "renameto[2] \"\"", "trailing-comma"},
        {"target=4\r\ncopyfiles=A.EXE,,B.DLL\r\nrenameto=,X.EXE\r\n" PLAN_REST, "renameto[2] \"X.EXE\"", "empty-entry"},
        {"target=4\r\ncopyfiles=A.EXE\r\ncopyfiles=B.DLL\r\n" PLAN_REST, "copyfiles", "duplicate-key"},
        {"target=4\r\ncopyfile=A.EXE\r\n" PLAN_REST, "copyfile", "unknown-key", "did you mean \"copyfiles\"?"},
        {"target=4\r\ncopyfiles=A.EXE\r\ntmpdir=C:\\STAGE\r\nrun=A.EXE\r\n", "tmpdir", "unknown-key", "\"tempdir\""},
        {"target=4\r\ncopyfiles=A.EXE,Read Me First.TXT\r\n" PLAN_REST, "copyfiles[2] \"Read Me First.TXT\"",
         "long-name",
         "depends on the medium's file system (another short form elsewhere, the long name where short "
         "names are off), so neither renameto nor the second phase can rely on it; give the file an 8.3 name on the "
         "medium"},
        {"target=S\r\ncopyfiles=A.EXE,Read*\r\ntempspace=100\r\n", "copyfiles[2] \"Read*\"", "long-name",
         "\"Read Me First.TXT\" has no 8.3 name of its own: it is copied as "},
        {"target=4\r\ncopyfiles=A.EXE,MISSING.DLL\r\n" PLAN_REST, "copyfiles[2] \"MISSING.DLL\"", "no-match"},
        {"target=4\r\ncopyfiles=A.EXE,*.XYZ\r\n" PLAN_REST, "copyfiles[2] \"*.XYZ\"", "no-match"},
        {"target=4\r\ncopyfiles=A.EXE,SUBDIR\r\n" PLAN_REST, "copyfiles[2] \"SUBDIR\"", "no-match"},
        {"target=4\r\ncopyfiles=A.EXE,V?.SYS\r\n" PLAN_REST, "copyfiles[2] \"V?.SYS\"", "dollar-wildcard"},
        {"target=4\r\ncopyfiles=A.EXE,V?.SYS\r\n" PLAN_REST, "copyfiles[2] \"V?.SYS\"", "no-match"},
        {"target=4\r\ncopyfiles=A.EXE,DUO.SYS\r\n" PLAN_REST, "copyfiles[2] \"DUO.SYS\"", "dollar-shadow"},
        {"target=4\r\ncopyfiles=A.EXE,*.HLP\r\nrenameto=,H.HLP\r\n" PLAN_REST, "renameto[2] \"H.HLP\"",
         "rename-unused"},
        {"target=4\r\ncopyfiles=A.EXE\r\nrenameto=,X.DLL\r\n" PLAN_REST, "renameto[2] \"X.DLL\"", "rename-surplus"},
        {"target=4\r\ncopyfiles=A.EXE,B.DLL\r\nrenameto=,A.EXE\r\n" PLAN_REST, "copyfiles[1] and [2]", "same-name"},
        {"target=4\r\ncopyfiles=A.EXE,*.HLP,HELP1.HLP\r\n" PLAN_REST, "copyfiles[2] and [3]", "same-name"},
        {"target=4\r\ncopyfiles=A.EXE,MISSING.DLL\r\nrenameto=,A.EXE\r\n" PLAN_REST, "renameto[2] \"A.EXE\"",
         "deleted-later"},
        {"target=4\r\ncopyfiles=A.EXE,Read Me First.TXT\r\nrenameto=,R.TXT\r\n" PLAN_REST,
         "copyfiles[2] \"Read Me First.TXT\"", "rename-misses"},
        {"target=4\r\ncopyfiles=A.EXE,SUBDIR\\INNER.TXT\r\nrenameto=,R.TXT\r\n" PLAN_REST,
         "copyfiles[2] \"SUBDIR\\INNER.TXT\"", "rename-misses"},
        {"target=4\r\ncopyfiles=A.EXE,B.DLL\r\nrenameto=,SUB\\X.DLL\r\n" PLAN_REST, "renameto[2] \"SUB\\X.DLL\"",
         "rename-path"},
        {"target=4\r\ntempdir=C:\\STAGE\r\ntempspace=100\r\nrun=A.EXE\r\n", "copyfiles \"\"", "copyfiles-empty"},
        {"target=4\r\ncopyfiles=A.EXE,..\\B.DLL\r\n" PLAN_REST, "copyfiles[2] \"..\\B.DLL\"", "outside"},
        {"target=4\r\ncopyfiles=A.EXE,B.DLL\r\nrenameto=,..\\X.DLL\r\n" PLAN_REST, "renameto[2] \"..\\X.DLL\"",
         "outside"},
    };
    CheckMedium medium;
    CheckFaults(medium, faults, sizeof faults / sizeof faults[0]);

    // A file that cannot be opened for reading while the copy would run.
    medium.Plan("target=4\r\ncopyfiles=A.EXE,B.DLL\r\n" PLAN_REST);
    HANDLE locked = CreateFileA((medium.medium.dir + "\\B.DLL").c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, 0);
    REQUIRE(locked != INVALID_HANDLE_VALUE);
    CheckRun run = medium.Check();
    CloseHandle(locked);
    INFO(run.out);
    CHECK(run.exitCode == 1);
    CHECK(FindLine(run, "warning", "copyfiles[2] \"B.DLL\"", "unreadable") != "");
    CHECK(FindLine(run, "warning", "copyfiles[2] \"B.DLL\"", "no-match") == "");
}

#define PLAN_FILES "copyfiles=A.EXE\r\n"

TEST_CASE("SETUP1-CHECK reports target codes that do not do what they seem to")
{
    static const Fault faults[] = {
        {"target=3+4+N+1+2+S\r\n" PLAN_FILES PLAN_REST, "target[6] \"S\"", "target-count"},
        {"target=ABCDEFGHIJKLMNOP\r\n" PLAN_FILES PLAN_REST, "target[1] \"ABCDEFGHIJKLMNOP\"", "target-long"},
        {"target=3++4\r\n" PLAN_FILES PLAN_REST, "target[2] \"\"", "target-empty"},
        {"target=4+\r\n" PLAN_FILES PLAN_REST, "target[2] \"\"", "target-empty"},
        {"target=\r\n" PLAN_FILES PLAN_REST, "target \"\"", "target-empty"},
        {PLAN_FILES PLAN_REST, "target \"\"", "target-empty", "; give the codes, such as target=4"},
        {"target=-S\r\n" PLAN_FILES PLAN_REST, "target[1] \"-S\"", "target-empty"},
        {"target=3S\r\n" PLAN_FILES PLAN_REST, "target[1] \"3S\"", "target-s"},
        {"target=4+s\r\n" PLAN_FILES PLAN_REST, "target[2] \"s\"", "target-s"},
        {"target=4 S\r\n" PLAN_FILES PLAN_REST, "target \"4 S\"", "target-blank",
         ": the add-on code S is lost; if these are all codes, write them without blanks: \"4+S\""},
        {"target=3 + N\r\n" PLAN_FILES PLAN_REST, "target \"3 + N\"", "target-blank",
         "\"+ N\" plays no part in them: the edition code N is lost, so the backdrop shows heart instead of linnet; "
         "if these are all codes, write them without blanks: \"3+N\""},
        {"target=S-x\r\n" PLAN_FILES PLAN_REST, "target[1] \"S-x\"", "target-char"},
    };
    CheckMedium medium;
    CheckFaults(medium, faults, sizeof faults / sizeof faults[0]);

    // An S of its own in the list makes the add-on mode; 3S beside it is
    // then a code for the second phase and no fault.
    // A key of the second phase's own is only named.
    medium.Plan("target=3S+S\r\n" PLAN_FILES "tempspace=1\r\nedition=340\r\n");
    CheckRun run = medium.Check();
    INFO(run.out);
    CHECK(run.exitCode == 0);
    CHECK(FindLine(run, "note", "edition", "other-key") != "");
}

TEST_CASE("SETUP1-CHECK reports tempspace, tempdir and run faults")
{
    static const Fault faults[] = {
        {"target=4\r\n" PLAN_FILES "tempdir=C:\\STAGE\r\ntempspace=abc\r\nrun=A.EXE\r\n", "tempspace \"abc\"",
         "tempspace-nan"},
        {"target=4\r\n" PLAN_FILES "tempdir=C:\\STAGE\r\ntempspace=-1\r\nrun=A.EXE\r\n", "tempspace \"-1\"",
         "tempspace-negative"},
        {"target=4\r\n" PLAN_FILES "tempdir=C:\\STAGE\r\ntempspace=1.5MB\r\nrun=A.EXE\r\n", "tempspace \"1.5MB\"",
         "tempspace-text"},
        {"target=4\r\n" PLAN_FILES "tempdir=C:\\STAGE\r\ntempspace=99999999999\r\nrun=A.EXE\r\n",
         "tempspace \"99999999999\"", "tempspace-range"},
        {"target=4\r\n" PLAN_FILES "tempdir=C:\\STAGE\r\ntempspace=0\r\nrun=A.EXE\r\n", "tempspace \"0\"",
         "tempspace-small", "; tempspace=1 covers them"},
        {"target=4\r\n" PLAN_FILES "tempspace=100\r\nrun=A.EXE\r\n", "tempdir \"\"", "tempdir-missing"},
        {"target=4\r\n" PLAN_FILES "tempdir=STAGE\r\ntempspace=100\r\nrun=A.EXE\r\n", "tempdir \"STAGE\"",
         "tempdir-relative"},
        {"target=4\r\n" PLAN_FILES "tempdir=\\STAGE\r\ntempspace=100\r\nrun=A.EXE\r\n", "tempdir \"\\STAGE\"",
         "tempdir-relative"},
        {"target=4\r\n" PLAN_FILES "tempdir=C:\\STAGE\r\ntempspace=100\r\n", "run \"\"", "run-missing",
         "; run must be one of the staged names: A.EXE"},
        {"target=4\r\ncopyfiles=A.EXE,B.DLL\r\ntempdir=C:\\STAGE\r\ntempspace=100\r\nrun=P2.EXE\r\n", "run \"P2.EXE\"",
         "run-not-staged", "; run must be one of the staged names: A.EXE, B.DLL"},
        {"target=4\r\n" PLAN_FILES "tempdir=C:\\STAGE\r\ntempspace=100\r\nrun=A.EXE /q\r\n", "run \"A.EXE /q\"",
         "run-not-staged"},
    };
    CheckMedium medium;
    CheckFaults(medium, faults, sizeof faults / sizeof faults[0]);

    // A staging folder that is the medium folder itself, under its own name
    // and under its short name, which only the files in it tell apart.
    char shortName[MAX_PATH];
    DWORD length = GetShortPathNameA(medium.medium.dir.c_str(), shortName, sizeof shortName);
    REQUIRE(length > 0);
    REQUIRE(length < sizeof shortName);
    REQUIRE(std::string(shortName) != medium.medium.dir);
    CheckRun run;
    for (const std::string &tempdir : {medium.medium.dir, std::string(shortName)}) {
        medium.Plan("target=4\r\n" PLAN_FILES "tempdir=" + tempdir + "\r\ntempspace=100\r\nrun=A.EXE\r\n");
        run = medium.Check();
        INFO(run.out);
        CHECK(FindLine(run, "warning", "tempdir \"" + tempdir + "\"", "tempdir-is-medium") != "");
    }

    // A value longer than its buffer is cut by the profile reader.
    std::string copy = "A.EXE," + std::string(600, 'C');
    medium.Plan("target=4\r\ncopyfiles=" + copy + "\r\ntempdir=C:\\STAGE\r\ntempspace=100\r\nrun=A.EXE\r\n");
    run = medium.Check();
    INFO(run.out);
    CHECK(run.exitCode == 1);
    CHECK(FindLine(run, "warning", "copyfiles \"\"", "cut").find("606 characters") != std::string::npos);

    // A plan saved as UTF-8 with a byte order mark, or as UTF-16.
    std::string plain = "[phasetwo]\r\ntarget=4\r\n" PLAN_FILES PLAN_REST, utf16 = "\xFF\xFE";
    for (char c : plain) utf16 += std::string(1, c) + '\0';
    static const struct {
        std::string text;
        const char *says;
    } encodings[] = {
        {"\xEF\xBB\xBF" + plain, "on Windows [phasetwo] is not found, every value reads as empty and the add-on mode"},
        {utf16, "Windows NT and later read it by its byte order mark, but Windows 95, 98 and ME read none of it"},
    };
    for (const auto &e : encodings) {
        REQUIRE(MediumWritePlan(&medium.medium, e.text));
        run = medium.Check();
        INFO(run.out);
        CHECK(run.exitCode == 1);
        std::string line = FindLine(run, "warning", "SETUP1.INF", "encoding");
        CHECK(line.find(e.says) != std::string::npos);
        CHECK(line.find("; save the file as ANSI text, without a byte order mark [") != std::string::npos);
    }

    // No plan at all.
    DeleteFileA((medium.medium.dir + "\\SETUP1.INF").c_str());
    run = medium.Check();
    INFO(run.out);
    CHECK(run.exitCode == 1);
    CHECK(FindLine(run, "warning", "medium \"" + medium.medium.dir + "\"", "no-plan") != "");
}

TEST_CASE("SETUP1-CHECK judges lengths for the TEMPDIR given as the program would")
{
    CheckMedium medium;
    medium.Plan("target=4\r\ncopyfiles=A.EXE\r\ntempdir=C:\\STAGE\r\ntempspace=100\r\nrun=A.EXE\r\n");
    const std::string &source = medium.medium.dir;
    // The line is TEMPDIR\A.EXE -p4 SOURCE: 11 characters and the two paths.
    size_t fixed = strlen("\\A.EXE -p4 ") + source.size();
    REQUIRE(fixed < 200);
    for (int extra = 0; extra <= 1; ++extra) {
        for (int blank = 0; blank <= 1; ++blank) {
            size_t length = 255 - fixed - (blank ? 2 : 0) + extra;
            std::string tempdir = "C:\\" + std::string(length - 3, 'D');
            if (blank) tempdir[5] = ' ';
            char line[COMMAND_LINE_SIZE];
            int fits = BuildPhaseTwoCommandLine(line, sizeof line, tempdir.c_str(), "A.EXE", "", "4", source.c_str());
            INFO("TEMPDIR of ", tempdir.size(), " characters, blank ", blank);
            CHECK(fits == !extra);
            CheckRun run = medium.Check(Quoted(tempdir));
            INFO(run.out);
            CHECK(run.exitCode == (DWORD)extra);
            CHECK((FindLine(run, "warning", "run \"A.EXE\"", "too-long") != "") == (extra == 1));
            if (!extra)
                CHECK(FindLine(run, "note", "run \"A.EXE\"", "command-line").find("(255 characters") !=
                      std::string::npos);
        }
    }

    // A staging path that a file's join no longer fits.
    std::string deep = "C:\\" + std::string(250, 'D');
    CheckRun run = medium.Check(Quoted(deep));
    INFO(run.out);
    CHECK(run.exitCode == 1);
    CHECK(FindLine(run, "warning", "copyfiles[1] \"A.EXE\"", "too-long") != "");
}
