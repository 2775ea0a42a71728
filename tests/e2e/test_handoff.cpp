// Normal mode end to end: SETUP1.EXE reads its plan, starts the second
// phase out of the staging folder and ends with exit code 1.
#include <windows.h>

#include <string.h>

#include <algorithm>

#include "e2e.h"
#include "robot.h"
#include "testing.h"
#include "texts.h"

// A medium whose plan stages PHASE2.EXE into a fresh folder under %TEMP%.
// PHASE2.EXE also waits there already, so the start does not depend on
// the copy.
// Both folders are removed when it ends.
struct HandOff {
    Medium medium;
    std::string staging;
    ~HandOff() { RemoveTree(staging); }
};

static void HandOffCreate(HandOff *h, const char *run)
{
    REQUIRE(MediumCreate(&h->medium, "handoff"));
    h->staging = TempFolder("stage");
    // A blank would have the program path quoted; that case is tested elsewhere.
    REQUIRE(h->staging.find(' ') == std::string::npos);
    RemoveTree(h->staging);
    REQUIRE(CreateDirectoryA(h->staging.c_str(), 0));
    std::string phase2 = TestOption("phase2");
    REQUIRE(CopyFileA(phase2.c_str(), (h->staging + "\\PHASE2.EXE").c_str(), FALSE));
    REQUIRE(MediumAddPhase2(&h->medium, "PHASE2.EXE"));
    REQUIRE(MediumWritePlan(&h->medium, std::string("[phasetwo]\r\ntarget=4\r\ncopyfiles=PHASE2.EXE\r\ntempdir=") +
                                            h->staging + "\r\nrun=" + run + "\r\n"));
}

TEST_CASE("normal mode starts the second phase from the staging folder with the codes and the medium")
{
    static const char *const commandLines[] = {"", "/S", "-x  two\tblanks", "\"quoted arg\" end"};
    for (const char *commandLine : commandLines) {
        INFO("command line [", commandLine, "]");
        HandOff h;
        HandOffCreate(&h, "PHASE2.EXE");
        RunResult run;
        RunSetup(&h.medium, commandLine, {}, &run);
        CHECK(run.exitCode == 1u);
        CHECK(run.haveRecord);
        std::string passed = commandLine[0] ? std::string(commandLine) + " " : std::string();
        std::string arguments = passed + "-p4 " + h.medium.dir;
        CHECK(run.record.commandLine == h.staging + "\\PHASE2.EXE " + arguments);
        CHECK(run.record.winMainLine == arguments);
        CHECK(run.record.currentDir == h.staging);
    }
}

TEST_CASE("a second phase that does not start is said in a box, and the run ends with exit code 0")
{
    static const struct {
        const char *run, *content, *why;  // content: a file of that name in the staging folder
    } cases[] = {
        {"NOSUCH.EXE", 0, LaunchNotFound},
        {"MISSING\\P2.EXE", 0, LaunchNotFound},
        {"TEXT.EXE", "no program, only text", LaunchNotProgram},
    };
    for (const auto &c : cases) {
        INFO("run [", c.run, "]");
        HandOff h;
        HandOffCreate(&h, c.run);
        if (c.content) REQUIRE(MediumWriteFile(&h.medium, c.run, c.content));
        if (c.content)
            REQUIRE(MediumWritePlan(&h.medium, std::string("[phasetwo]\r\ntarget=4\r\ncopyfiles=") + c.run +
                                                   "\r\ntempdir=" + h.staging + "\r\nrun=" + c.run + "\r\n"));
        RunResult run;
        RunSetup(&h.medium, "", {{BOX_OK}}, &run);
        CHECK(run.exitCode == 0u);
        // Nothing was started, so nothing records anything.
        CHECK_FALSE(run.haveRecord);
        REQUIRE(run.dialogs.size() == 1u);
        CHECK(run.dialogs[0].caption == PromptCaption);
        CHECK(run.dialogs[0].icon == (UINT)MB_ICONEXCLAMATION);
        CHECK(run.dialogs[0].Text(0xFFFF) ==
              std::string(LaunchFailedHead) + h.staging + "\\" + c.run + LaunchFailedMiddle + c.why);
    }
}

TEST_CASE("the stand-in second phase records beside itself when PHASE2_RECORD is not set")
{
    // A folder whose path leaves no room for the record's longer name.
    std::string base = TempFolder("p2");
    std::string deep = base;
    while (deep.size() < 250) deep += "\\" + std::string(std::min<size_t>(40, 250 - deep.size() - 1), 'D');
    static const struct {
        bool deep;
        DWORD exitCode;
        bool recorded;
    } cases[] = {{false, 0, true}, {true, 1, false}};
    for (const auto &c : cases) {
        std::string dir = c.deep ? deep : base;
        INFO("folder ", dir, " (", dir.size(), " characters)");
        RemoveTree(base);
        // Each folder below base, one after the other.
        for (size_t at = base.size(); at != std::string::npos; at = dir.find('\\', at + 1))
            CreateDirectoryA(dir.substr(0, at).c_str(), 0);
        CreateDirectoryA(dir.c_str(), 0);
        REQUIRE(FileExists(dir));
        std::string program = dir + "\\P2.EXE";
        REQUIRE(CopyFileA(TestOption("phase2").c_str(), program.c_str(), FALSE));
        std::string line = "\"" + program + "\" -p4 A:\\" + '\0';
        STARTUPINFOA startup;
        memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        REQUIRE(GetEnvironmentVariableA("PHASE2_RECORD", 0, 0) == 0u);
        SetLastError(0xdeadbeef);
        BOOL started = StartWith(0, program.c_str(), &line[0], FALSE, 0, dir.c_str(), &startup, &process);
        DWORD error = GetLastError();
        INFO("start error ", error);
        REQUIRE(started);
        DWORD code = 0xFFFFFFFF;
        bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
        CHECK(ended);
        if (!ended) TerminateProcess(process.hProcess, 0xFFFFFFFF);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        CHECK(code == c.exitCode);
        Phase2Record record;
        // The program has ended: its record is complete now or never.
        CHECK(ReadPhase2Record(dir + "\\PHASE2.TXT", &record, 0) == c.recorded);
        if (c.recorded) {
            CHECK(record.winMainLine == "-p4 A:\\");
            CHECK(record.currentDir == dir);
        }
    }
    RemoveTree(base);
}
