#include <stdio.h>
#include <string.h>

#include "e2e.h"
#include "registry.h"
#include "setup1.h"
#include "testing.h"
#include "texts.h"

TEST_CASE("IsAdministrator agrees with the token's membership of Administrators")
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID administrators;
    REQUIRE(AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                     0, 0, &administrators));
    BOOL member = FALSE;
    REQUIRE(CheckTokenMembership(0, administrators, &member));
    FreeSid(administrators);
    int got = IsAdministrator();
    MESSAGE("IsAdministrator under Wine: ", got);
    CHECK(got == (member ? 1 : 0));

    AdministratorFlag = -1;
    CHECK(CheckPlatform() == 1);
    CHECK(AdministratorFlag == got);
    AdministratorFlag = 0;
}

static const char AppDefaults[] = "Software\\Wine\\AppDefaults\\";

// Chooses the Windows version Wine reports to one program; null removes the
// choice (Wine's default version).
static void ChooseVersion(const char *program, const char *version)
{
    std::string key = std::string(AppDefaults) + program;
    if (!version) {
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
        return;
    }
    HKEY handle;
    REQUIRE(RegCreateKeyA(HKEY_CURRENT_USER, key.c_str(), &handle) == ERROR_SUCCESS);
    RegSetValueExA(handle, "Version", 0, REG_SZ, (const BYTE *)version, (DWORD)strlen(version) + 1);
    RegCloseKey(handle);
}

// Takes the choice back however the test ends, so that no later run of the
// program in this prefix inherits it.
struct VersionChoice {
    const char *program;
    VersionChoice(const char *p, const char *version) : program(p) { ChooseVersion(program, version); }
    ~VersionChoice() { ChooseVersion(program, 0); }
};

static std::string BesideMe(const char *name)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(0, path, sizeof path);
    REQUIRE(length > 0);
    REQUIRE(length < sizeof path);
    char *slash = strrchr(path, '\\');
    REQUIRE(slash != 0);
    slash[1] = '\0';
    return std::string(path) + name;
}

struct ProbeRun {
    DWORD exitCode;
    std::string output;
    std::vector<SeenDialog> boxes;
};

// The probe under the Windows version chosen; a box it shows is answered
// with OK when expectBox says one comes.
static ProbeRun RunProbe(const char *version, bool expectBox = false)
{
    VersionChoice choice("platform_probe.exe", version);
    std::string outputPath = TempFolder("probe") + ".txt";
    DeleteFileA(outputPath.c_str());
    RunResult run;
    std::vector<RunAction> actions;
    if (expectBox) actions.push_back({BOX_OK});
    RunProgram(BesideMe("platform_probe.exe"), ("\"" + outputPath + "\"").c_str(), actions, &run);
    ProbeRun probe = {run.exitCode, ReadWholeFile(outputPath), run.dialogs};
    DeleteFileA(outputPath.c_str());
    return probe;
}

TEST_CASE("CheckPlatform accepts the Windows versions Wine can report, from NT 3.51 on")
{
    IsAdministrator();
    static const struct {
        const char *setting, *version;
    } cases[] = {
        {"nt351", "3.51"},
        {"nt40", "4.0"},
        {"win95", "4.0"},
        {"winxp", "5.1"},
        {"win7", "6.1"},
        {"win10", "6.2"},  // what a program without a manifest is told, as on Windows
        {0, 0},            // Wine's default
    };
    int administrator = IsAdministrator();
    for (const auto &c : cases) {
        INFO("Wine version ", Text(c.setting));
        ProbeRun run = RunProbe(c.setting);
        MESSAGE("probe under ", Text(c.setting), ": ", run.output);
        if (c.version) CHECK(run.output.substr(0, strlen(c.version) + 1) == std::string(c.version) + " ");
        // The 64-bit test build is told an AMD64, judged as a Pentium is.
        const char *accepted = sizeof(void *) == 8 ? "processor 8664 result 1" : "processor 586 result 1";
        CHECK(run.output.find(accepted) != std::string::npos);
        // Wine keeps its access tokens whatever version it reports.
        CHECK(run.exitCode == (DWORD)(1 + 2 * administrator));
        CHECK(run.boxes.size() == 0);
    }
}

TEST_CASE("CheckPlatform refuses Windows NT before 3.51 with its message")
{
    // Wine's "win31" reports 3.10, the one old version it offers.
    ProbeRun run = RunProbe("win31", true);
    MESSAGE("probe under win31: ", run.output);
    CHECK(run.output.substr(0, 5) == "3.10 ");
    CHECK(run.output.find("result 0 administrator 0") != std::string::npos);
    CHECK(run.exitCode == 0u);
    REQUIRE(run.boxes.size() == 1);
    CHECK(run.boxes[0].messageBox);
    CHECK(run.boxes[0].Text(0xFFFF) == RefusalText);
    CHECK(run.boxes[0].caption == RefusalCaption);
    CHECK(run.boxes[0].icon == (UINT)MB_ICONHAND);
    // OK alone.
    CHECK(run.boxes[0].Text(IDOK) == "OK");
    CHECK(run.boxes[0].Text(IDCANCEL) == "");
    CHECK(run.boxes[0].Text(IDNO) == "");
}

// SETUP1.EXE under the Windows version chosen, on a medium with the plan
// given (none when null), the dialogs answered by the actions.
// SETUP1.EXE under the Windows version chosen, on a medium with the plan
// given (none when null), the dialogs answered by the actions. With a
// staging folder the plan is instead the normal mode's, which stages the
// stand-in second phase there.
static RunResult RunSetupUnder(const char *version, const char *plan, const std::vector<RunAction> &actions,
                               const std::string &staging = std::string())
{
    VersionChoice choice("SETUP1.EXE", version);
    Medium medium;
    REQUIRE(MediumCreate(&medium, "platform"));
    std::string planText = plan ? plan : "";
    if (!staging.empty()) {
        RemoveTree(staging);
        REQUIRE(MediumAddPhase2(&medium, "PHASE2.EXE"));
        planText = "[phasetwo]\r\ntarget=4\r\ncopyfiles=PHASE2.EXE\r\ntempdir=" + staging + "\r\nrun=PHASE2.EXE\r\n";
    }
    if (!planText.empty()) REQUIRE(MediumWritePlan(&medium, planText));
    RunResult run;
    RunSetup(&medium, "", actions, &run);
    CHECK(run.haveRecord == !staging.empty());
    if (!staging.empty()) RemoveTree(staging);
    return run;
}

TEST_CASE("SETUP1.EXE runs both modes under NT 3.51, NT 4.0, Windows 95, XP, 10 and Wine's own version")
{
    // Wine loads any image, whatever versions it asks for: what this shows is
    // that the program itself gets along with what each version reports.
    for (const char *version : {"nt351", "nt40", "win95", "winxp", "win10", (const char *)0}) {
        CleanSettings();
        INFO("Wine version ", Text(version));
        // No plan: the add-on mode; Exit in the prompt, then its report.
        RunResult run = RunSetupUnder(version, 0, {{PROMPT_EXIT}, {BOX_OK}});
        CHECK(run.sawBackdrop);
        REQUIRE(run.dialogs.size() == 2u);
        CHECK(run.dialogs[0].ownerClass == BackdropClass);
        CHECK(run.dialogs[1].caption == PromptCaption);
        CHECK(run.dialogs[1].Text(0xFFFF) == AddOnFailedText);
        CHECK(run.exitCode == 0u);
        // The normal mode: staged, the second phase started from the staging folder.
        std::string staging = TempFolder("platform-stage");
        run = RunSetupUnder(version, 0, {}, staging);
        CHECK(run.dialogs.size() == 0u);
        CHECK(run.record.currentDir == staging);
        CHECK(run.exitCode == 1u);
    }
    CleanSettings();
    CHECK_FALSE(KeyExists(HiveUser, std::string(AppDefaults) + "SETUP1.EXE"));
}

TEST_CASE("SETUP1.EXE under a Windows 3.10 refuses with its message, no backdrop and exit code 0")
{
    CleanSettings();
    // A normal-mode plan: were it read, the staging would start.
    RunResult run = RunSetupUnder("win31", "[phasetwo]\r\ntarget=3\r\ntempdir=C:\\PLATFORMSTAGE\r\n", {{BOX_OK}});
    CHECK_FALSE(run.sawBackdrop);
    // The refusal alone: no prompt, no report.
    REQUIRE(run.dialogs.size() == 1u);
    CHECK(run.dialogs[0].messageBox);
    CHECK(run.dialogs[0].Text(0xFFFF) == RefusalText);
    CHECK(run.dialogs[0].caption == RefusalCaption);
    CHECK(run.dialogs[0].icon == (UINT)MB_ICONHAND);
    CHECK(run.dialogs[0].ownerClass == "");
    CHECK(run.exitCode == 0u);
    CHECK_FALSE(FileExists("C:\\PLATFORMSTAGE"));
    // Nothing of the add-on mode either: the settings were never opened.
    CHECK_FALSE(KeyExists(HiveUser, "Software\\Tessaric"));
    CHECK_FALSE(KeyExists(HiveUser, std::string(AppDefaults) + "SETUP1.EXE"));
    CleanSettings();
}
