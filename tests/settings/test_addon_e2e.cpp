// The add-on mode end to end: the installed product's newest directory from
// the registry, offered in the prompt, receives the add-on's files.
#include <string.h>

#include "e2e.h"
#include "registry.h"
#include "resource.h"
#include "testing.h"
#include "texts.h"

// Runs SETUP1.EXE on the medium; the prompt is answered with the action,
// the report with OK.
static RunResult RunAddOn(const Medium *medium, RunAnswer answer)
{
    RunResult run;
    RunSetup(medium, "", {{answer}, {BOX_OK}}, &run);
    CHECK_FALSE(run.haveRecord);
    CHECK(run.exitCode == 0u);
    return run;
}

static const char AddOnFiles[] = "VUZEVOD.EXE,VUZEVOD.HLP";

static void WriteAddOn(const Medium *medium)
{
    REQUIRE(MediumWriteFile(medium, "VUZEVOD.EXE", "add-on program"));
    REQUIRE(MediumWriteFile(medium, "VUZEVOD.HLP", "add-on help"));
}

// Two installed versions; the newer one's directory is stored in lower case
// with a per-user folder at its end.
static std::string SeedTwoVersions(const std::string &base)
{
    const std::string newer = base + "\\zev420";
    REQUIRE(SetText(HiveUser, "Software\\Tessaric\\ZEV!\\4.1\\ZODOZ", "Directory", Lower(base + "\\zev41")));
    REQUIRE(SetText(HiveUser, "Software\\Tessaric\\ZEV!\\4.20\\ZODOZ", "Directory", Lower(newer) + "\\user"));
    REQUIRE(MakeKey(HiveMachine, "Software\\Tessaric\\ZEV!\\4.1\\ZODOZ"));
    return Upper(newer);
}

TEST_CASE("add-on mode: OK installs into the newest version's directory")
{
    static const struct {
        const char *plan;
        bool files;
    } cases[] = {
        {"[phasetwo]\r\ntarget=S\r\ncopyfiles=VUZEVOD.EXE,VUZEVOD.HLP\r\n", true},
        {"[phasetwo]\r\ntarget=3+S\r\ncopyfiles=VUZEVOD.EXE,VUZEVOD.HLP\r\ntempdir=C:\\UNUSED\r\n", true},
        {0, false},  // no plan: the add-on mode with nothing to copy
    };
    for (const auto &c : cases) {
        INFO("plan [", Text(c.plan), "]");
        CleanSettings();
        Scratch base("product-ok", false);
        REQUIRE(CreateDirectoryA(base.dir.c_str(), 0));
        std::string want = SeedTwoVersions(base.dir);
        Medium medium;
        REQUIRE(MediumCreate(&medium, "addon-ok"));
        if (c.plan) REQUIRE(MediumWritePlan(&medium, c.plan));
        WriteAddOn(&medium);

        RunResult run = RunAddOn(&medium, PROMPT_OK);
        REQUIRE(run.dialogs.size() == 2u);
        CHECK(run.dialogs[0].path == want);
        CHECK(run.dialogs[0].Text(IDC_TEXT_ENGLISH) == AddOnTexts[0]);
        CHECK(run.dialogs[1].Text(0xFFFF) == AddOnDoneText);
        CHECK(run.dialogs[1].icon == (UINT)MB_ICONINFORMATION);
        CHECK(ReadWholeFile(want + "\\VUZEVOD.EXE") == (c.files ? "add-on program" : ""));
        CHECK(ReadWholeFile(want + "\\VUZEVOD.HLP") == (c.files ? "add-on help" : ""));
        CHECK_FALSE(FileExists(base.dir + "\\zev41\\VUZEVOD.EXE"));
        CHECK_FALSE(FileExists("C:\\UNUSED"));
    }
    CleanSettings();
}

TEST_CASE("add-on mode: Exit in the prompt reports that nothing was installed")
{
    CleanSettings();
    Scratch base("product-exit", false);
    REQUIRE(CreateDirectoryA(base.dir.c_str(), 0));
    std::string want = SeedTwoVersions(base.dir);
    Medium medium;
    REQUIRE(MediumCreate(&medium, "addon-exit"));
    REQUIRE(MediumWritePlan(&medium, std::string("[phasetwo]\r\ntarget=S\r\ncopyfiles=") + AddOnFiles + "\r\n"));
    WriteAddOn(&medium);

    RunResult run = RunAddOn(&medium, PROMPT_EXIT);
    REQUIRE(run.dialogs.size() == 2u);
    CHECK(run.dialogs[0].path == want);
    CHECK(run.dialogs[1].Text(0xFFFF) == AddOnFailedText);
    CHECK(run.dialogs[1].icon == (UINT)MB_ICONEXCLAMATION);
    CHECK_FALSE(FileExists(want));
    CleanSettings();
}

TEST_CASE("add-on mode: a directory that can be neither made nor entered fails at once")
{
    CleanSettings();
    Scratch base("product-bad", false);
    REQUIRE(CreateDirectoryA(base.dir.c_str(), 0));
    // A folder below a file: it can't be made, and there is nothing to enter.
    HANDLE file = CreateFileA((base.dir + "\\PLAIN.TXT").c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    CloseHandle(file);
    std::string bad = base.dir + "\\PLAIN.TXT\\ZEV";
    REQUIRE(SetText(HiveUser, "Software\\Tessaric\\ZEV!\\5.0\\ZODOZ", "Directory", bad));
    Medium medium;
    REQUIRE(MediumCreate(&medium, "addon-bad"));
    REQUIRE(MediumWritePlan(&medium, std::string("[phasetwo]\r\ntarget=S\r\ncopyfiles=") + AddOnFiles + "\r\n"));
    WriteAddOn(&medium);

    // No second prompt: the report follows at once.
    RunResult run = RunAddOn(&medium, PROMPT_OK);
    REQUIRE(run.dialogs.size() == 2u);
    CHECK(run.dialogs[0].path == Upper(bad));
    CHECK(run.dialogs[1].Text(0xFFFF) == AddOnFailedText);
    CHECK(run.dialogs[1].icon == (UINT)MB_ICONEXCLAMATION);
    CleanSettings();
}
