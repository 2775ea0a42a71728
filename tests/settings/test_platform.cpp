#include <stdio.h>
#include <string.h>

#include "e2e.h"
#include "registry_fixture.h"
#include "setup1.h"
#include "testing.h"

static const char RefusalText[] =
    "ZEV! does not run on your version of NT software.  You must be running NT version 3.51 (or newer) or "
    "Windows 95.";

TEST_CASE("IsAdministrator agrees with the token's membership of Administrators")
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID administrators;
    REQUIRE(AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                     0, 0, 0, &administrators));
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
    std::vector<SeenBox> boxes;
};

static ProbeRun RunProbe(const char *version)
{
    ProbeRun run = {0xFFFFFFFF, std::string(), {}};
    VersionChoice choice("platform_probe.exe", version);
    std::string program = BesideMe("platform_probe.exe");
    std::string outputPath = TempFolder("probe") + ".txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, 0, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, 0);
    REQUIRE(output != INVALID_HANDLE_VALUE);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process;
    std::string line = "\"" + program + "\"";
    BOOL started = CreateProcessA(program.c_str(), &line[0], 0, 0, TRUE, 0, 0, 0, &startup, &process);
    CloseHandle(output);
    if (started) {
        BoxWatch watch;
        BoxWatchStart(&watch, process.dwProcessId, "Error", 30000);
        if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
        BoxWatchEnd(&watch);
        run.boxes = watch.seen;
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    run.output = ReadWholeFile(outputPath);
    DeleteFileA(outputPath.c_str());
    return run;
}

TEST_CASE("CheckPlatform accepts the Windows versions Wine can report, from NT 3.51 on")
{
    IsAdministrator();
    static const struct { const char *setting, *version; } cases[] = {
        {"nt351", "3.51"}, {"nt40", "4.0"}, {"win95", "4.0"}, {"winxp", "5.1"}, {"win7", "6.1"},
        {"win10", "6.2"},  // what a program without a manifest is told, as on Windows
        {0, 0},  // Wine's default
    };
    int administrator = IsAdministrator();
    for (const auto &c : cases) {
        INFO("Wine version ", Text(c.setting));
        ProbeRun run = RunProbe(c.setting);
        MESSAGE("probe under ", Text(c.setting), ": ", run.output);
        if (c.version) CHECK(run.output.substr(0, strlen(c.version) + 1) == std::string(c.version) + " ");
        CHECK(run.output.find("processor 586 result 1") != std::string::npos);
        // Wine keeps its access tokens whatever version it reports.
        CHECK(run.exitCode == (DWORD)(1 + 2 * administrator));
        CHECK(run.boxes.size() == 0);
    }
}

TEST_CASE("CheckPlatform refuses Windows NT before 3.51 with its message")
{
    // Wine's "win31" reports 3.10, the one old version it offers.
    ProbeRun run = RunProbe("win31");
    MESSAGE("probe under win31: ", run.output);
    CHECK(run.output.substr(0, 5) == "3.10 ");
    CHECK(run.output.find("result 0 administrator 0") != std::string::npos);
    CHECK(run.exitCode == 0u);
    REQUIRE(run.boxes.size() == 1);
    CHECK(run.boxes[0].text == RefusalText);
    CHECK(run.boxes[0].caption == "Error");
    CHECK(run.boxes[0].icon == (UINT)MB_ICONHAND);
    CHECK(run.boxes[0].hasOk);
    CHECK_FALSE(run.boxes[0].hasCancel);
}

// SETUP1.EXE on a medium with the given plan, without one the add-on mode;
// the prompt is answered with Exit and the add-on mode's report closed. With
// handOff the plan is the normal mode's, staging the stand-in second phase.
struct SetupOutcome {
    DWORD exitCode;
    bool backdrop;
    std::vector<SeenBox> errorBoxes;
    std::string report;
    std::string staging;    // the staging folder of a hand-off
    std::string phase2Dir;  // where the second phase started, empty if it did not
};

static SetupOutcome RunSetupUnder(const char *version, const char *plan, bool handOff = false)
{
    SetupOutcome outcome = {0xFFFFFFFF, false, {}, std::string(), std::string(), std::string()};
    VersionChoice choice("SETUP1.EXE", version);
    Medium medium;
    REQUIRE(MediumCreate(&medium, "platform"));
    std::string planText = plan ? plan : "";
    if (handOff) {
        outcome.staging = TempFolder("platform-stage");
        RemoveTree(outcome.staging);
        REQUIRE(MediumAddPhase2(&medium, "PHASE2.EXE"));
        planText = "[phasetwo]\r\ntarget=4\r\ncopyfiles=PHASE2.EXE\r\ntempdir=" + outcome.staging +
                   "\r\nrun=PHASE2.EXE\r\n";
    }
    if (!planText.empty()) REQUIRE(MediumWritePlan(&medium, planText));
    std::string record = medium.dir + "\\RECORD.TXT";
    SetupRun run;
    REQUIRE(StartSetup(&medium, "", record, &run));
    DWORD pid = run.process.dwProcessId;
    BoxWatch errors;
    BoxWatchStart(&errors, pid, "Error", 60000);
    DWORD start = GetTickCount();
    while (WaitForSingleObject(run.process.hProcess, 20) == WAIT_TIMEOUT && GetTickCount() - start < 30000) {
        if (RobotFindWindow(pid, "SetupWClass", 0, 0)) outcome.backdrop = true;
        HWND dialog = RobotFindDialog(pid, "ZEV Setup", 0);
        if (!dialog) continue;
        if (GetDlgItem(dialog, 105)) {
            RobotClick(dialog, IDCANCEL);
        } else {
            outcome.report = RobotMessageBoxText(dialog);
            RobotClick(dialog, IDOK);
        }
        RobotWaitGone(dialog, 5000);
    }
    BoxWatchEnd(&errors);
    outcome.errorBoxes = errors.seen;
    outcome.exitCode = WaitSetup(&run, 10000);
    Phase2Record started;
    if (ReadPhase2Record(record, &started, handOff ? 10000 : 0)) outcome.phase2Dir = started.currentDir;
    MediumRemove(&medium);
    if (handOff) RemoveTree(outcome.staging);
    return outcome;
}

TEST_CASE("SETUP1.EXE runs both modes under NT 3.51, Windows 95, Windows XP and Windows 10")
{
    // Wine loads any image, whatever versions it asks for: what this shows is
    // that the program itself gets along with what each version reports.
    static const struct { const char *version; bool handOff; } cases[] = {
        {"nt351", true}, {"nt351", false}, {"win95", true}, {"win95", false},
        {"winxp", true}, {"winxp", false}, {"win10", true}, {"win10", false},
    };
    for (const auto &c : cases) {
        CleanSettings();
        INFO("Wine version ", Text(c.version), c.handOff ? ", normal mode" : ", add-on mode");
        SetupOutcome outcome = RunSetupUnder(c.version, 0, c.handOff);
        CHECK(outcome.errorBoxes.size() == 0);
        // The normal mode may be over before the backdrop is seen.
        if (!c.handOff) CHECK(outcome.backdrop);
        if (c.handOff) {
            CHECK(outcome.report == "");
            CHECK(outcome.phase2Dir == outcome.staging);
            CHECK(outcome.exitCode == 1u);
        } else {
            CHECK(outcome.report == "VUZevod RUD was NOT installed!");
            CHECK(outcome.phase2Dir == "");
            CHECK(outcome.exitCode == 0u);
        }
    }
    CleanSettings();
    CHECK_FALSE(KeyExists(HiveUser, std::string(AppDefaults) + "SETUP1.EXE"));
}

TEST_CASE("SETUP1.EXE under a Windows 3.10 refuses with its message, no backdrop and exit code 0")
{
    CleanSettings();
    // A normal-mode plan: were it read, the staging would start.
    SetupOutcome outcome = RunSetupUnder("win31", "[phasetwo]\r\ntarget=3\r\ntempdir=C:\\PLATFORMSTAGE\r\n");
    CHECK_FALSE(outcome.backdrop);
    REQUIRE(outcome.errorBoxes.size() == 1);
    CHECK(outcome.errorBoxes[0].text == RefusalText);
    CHECK(outcome.errorBoxes[0].caption == "Error");
    CHECK(outcome.errorBoxes[0].icon == (UINT)MB_ICONHAND);
    CHECK(outcome.report == "");
    CHECK(outcome.phase2Dir == "");
    CHECK(outcome.exitCode == 0u);
    CHECK_FALSE(FileExists("C:\\PLATFORMSTAGE"));
    // Nothing of the add-on mode either: the settings were never opened.
    CHECK_FALSE(KeyExists(HiveUser, "Software\\Tessaric"));
    CHECK_FALSE(KeyExists(HiveUser, std::string(AppDefaults) + "SETUP1.EXE"));
    CleanSettings();
}
