// The add-on mode end to end: the installed product's newest directory from
// the registry, offered in the prompt, receives the add-on's files.
#include <string.h>

#include "e2e.h"
#include "registry_fixture.h"
#include "testing.h"

static const char Installed[] = "VUZevod RUD must be installed in the ZEV! directory.";

static std::string Upper(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    return text;
}

static std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return text;
}

struct AddOnRun {
    std::vector<std::string> prompts;  // the path shown by each prompt
    std::vector<std::string> promptTexts;
    std::string report;
    UINT reportIcon;
    DWORD exitCode;
};

// Runs SETUP1.EXE on the medium; every prompt is answered with the button.
static AddOnRun RunAddOn(const Medium *medium, int button)
{
    AddOnRun result = {{}, {}, std::string(), 0, 0xFFFFFFFF};
    std::string record = medium->dir + "\\RECORD.TXT";
    SetupRun run;
    REQUIRE(StartSetup(medium, "", record, &run));
    DWORD pid = run.process.dwProcessId;
    DWORD start = GetTickCount();
    while (result.report.empty() && GetTickCount() - start < 40000) {
        HWND dialog = RobotFindDialog(pid, "ZEV Setup", 200);
        if (!dialog) {
            if (WaitForSingleObject(run.process.hProcess, 0) == WAIT_OBJECT_0) break;
            continue;
        }
        if (GetDlgItem(dialog, 105)) {
            result.prompts.push_back(RobotItemText(dialog, 105));
            result.promptTexts.push_back(RobotItemText(dialog, 101));
            if (result.prompts.size() > 3) button = IDCANCEL;  // a prompt loop: get out
            RobotClick(dialog, button);
        } else {
            result.report = RobotMessageBoxText(dialog);
            result.reportIcon = RobotMessageBoxIcon(dialog);
            RobotClick(dialog, IDOK);
        }
        RobotWaitGone(dialog, 5000);
    }
    result.exitCode = WaitSetup(&run, 20000);
    CHECK_FALSE(FileExists(record));
    return result;
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
    static const struct { const char *plan; bool files; } cases[] = {
        {"[phasetwo]\r\ntarget=S\r\ncopyfiles=VUZEVOD.EXE,VUZEVOD.HLP\r\n", true},
        {"[phasetwo]\r\ntarget=3+S\r\ncopyfiles=VUZEVOD.EXE,VUZEVOD.HLP\r\ntempdir=C:\\UNUSED\r\n", true},
        {0, false},  // no plan: the add-on mode with nothing to copy
    };
    for (const auto &c : cases) {
        INFO("plan [", Text(c.plan), "]");
        CleanSettings();
        std::string base = TempFolder("product-ok");
        RemoveTree(base);
        REQUIRE(CreateDirectoryA(base.c_str(), 0));
        std::string want = SeedTwoVersions(base);
        Medium medium;
        REQUIRE(MediumCreate(&medium, "addon-ok"));
        if (c.plan) REQUIRE(MediumWritePlan(&medium, c.plan));
        WriteAddOn(&medium);

        AddOnRun run = RunAddOn(&medium, IDOK);
        REQUIRE(run.prompts.size() == 1);
        CHECK(run.prompts[0] == want);
        CHECK(run.promptTexts[0] == Installed);
        CHECK(run.report == "VUZevod RUD installation complete!");
        CHECK(run.reportIcon == (UINT)MB_ICONINFORMATION);
        CHECK(run.exitCode == 0u);
        CHECK(ReadWholeFile(want + "\\VUZEVOD.EXE") == (c.files ? "add-on program" : ""));
        CHECK(ReadWholeFile(want + "\\VUZEVOD.HLP") == (c.files ? "add-on help" : ""));
        CHECK_FALSE(FileExists(base + "\\zev41\\VUZEVOD.EXE"));
        CHECK_FALSE(FileExists("C:\\UNUSED"));
        MediumRemove(&medium);
        RemoveTree(base);
    }
    CleanSettings();
}

TEST_CASE("add-on mode: Exit in the prompt reports that nothing was installed")
{
    CleanSettings();
    std::string base = TempFolder("product-exit");
    RemoveTree(base);
    REQUIRE(CreateDirectoryA(base.c_str(), 0));
    std::string want = SeedTwoVersions(base);
    Medium medium;
    REQUIRE(MediumCreate(&medium, "addon-exit"));
    REQUIRE(MediumWritePlan(&medium, std::string("[phasetwo]\r\ntarget=S\r\ncopyfiles=") + AddOnFiles + "\r\n"));
    WriteAddOn(&medium);

    AddOnRun run = RunAddOn(&medium, IDCANCEL);
    REQUIRE(run.prompts.size() == 1);
    CHECK(run.prompts[0] == want);
    CHECK(run.report == "VUZevod RUD was NOT installed!");
    CHECK(run.reportIcon == (UINT)MB_ICONEXCLAMATION);
    CHECK(run.exitCode == 0u);
    CHECK_FALSE(FileExists(want));
    MediumRemove(&medium);
    RemoveTree(base);
    CleanSettings();
}

TEST_CASE("add-on mode: a directory that can be neither made nor entered fails at once")
{
    CleanSettings();
    std::string base = TempFolder("product-bad");
    RemoveTree(base);
    REQUIRE(CreateDirectoryA(base.c_str(), 0));
    // A folder below a file: it can't be made, and there is nothing to enter.
    HANDLE file = CreateFileA((base + "\\PLAIN.TXT").c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    CloseHandle(file);
    std::string bad = base + "\\PLAIN.TXT\\ZEV";
    REQUIRE(SetText(HiveUser, "Software\\Tessaric\\ZEV!\\5.0\\ZODOZ", "Directory", bad));
    Medium medium;
    REQUIRE(MediumCreate(&medium, "addon-bad"));
    REQUIRE(MediumWritePlan(&medium, std::string("[phasetwo]\r\ntarget=S\r\ncopyfiles=") + AddOnFiles + "\r\n"));
    WriteAddOn(&medium);

    AddOnRun run = RunAddOn(&medium, IDOK);
    CHECK(run.prompts.size() == 1);  // no second prompt
    if (!run.prompts.empty()) CHECK(run.prompts[0] == Upper(bad));
    CHECK(run.report == "VUZevod RUD was NOT installed!");
    CHECK(run.reportIcon == (UINT)MB_ICONEXCLAMATION);
    CHECK(run.exitCode == 0u);
    MediumRemove(&medium);
    RemoveTree(base);
    CleanSettings();
}
