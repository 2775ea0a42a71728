// Add-on mode end to end with the robot: without an installed product and
// with Exit in the prompt, the run ends in the failure report.
#include <windows.h>

#include "e2e.h"
#include "robot.h"
#include "testing.h"

static const char MakerKey[] = "Software\\Tessaric";

static bool KeyExists(HKEY root, const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

static void DeleteKeyTree(HKEY root, const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char name[256];
    while (RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS)
        DeleteKeyTree(key, name);
    RegCloseKey(key);
    RegDeleteKeyA(root, path);
}

// The add-on mode opens the product's settings, which makes their keys;
// what the run made is removed again, what was there before is kept.
struct SettingsRoots {
    HKEY roots[3];
    bool existed[3];
};

static void SettingsRootsNote(SettingsRoots *s)
{
    HKEY defaultUser = 0;
    RegOpenKeyExA(HKEY_USERS, ".DEFAULT", 0, KEY_ALL_ACCESS, &defaultUser);
    s->roots[0] = HKEY_CURRENT_USER;
    s->roots[1] = defaultUser;
    s->roots[2] = HKEY_LOCAL_MACHINE;
    for (int i = 0; i < 3; ++i) s->existed[i] = s->roots[i] && KeyExists(s->roots[i], MakerKey);
}

static void SettingsRootsRestore(SettingsRoots *s)
{
    for (int i = 0; i < 3; ++i)
        if (s->roots[i] && !s->existed[i]) DeleteKeyTree(s->roots[i], MakerKey);
    if (s->roots[1]) RegCloseKey(s->roots[1]);
}

TEST_CASE("add-on mode with Exit in the prompt reports that the add-on was not installed")
{
    // No plan, or a target with the add-on code: both choose the add-on mode.
    // Exit is chosen with the button or with the Escape key.
    static const struct { const char *plan; bool escape; } cases[] = {
        {0, false}, {"[phasetwo]\r\ntarget=S\r\n", true}, {"[phasetwo]\r\ntarget=4+S+N\r\n", false}};
    for (const auto &c : cases) {
        const char *plan = c.plan;
        INFO("plan [", Text(plan), "]");
        SettingsRoots roots;
        SettingsRootsNote(&roots);
        Medium medium;
        REQUIRE(MediumCreate(&medium, "addon"));
        if (plan) REQUIRE(MediumWritePlan(&medium, plan));
        std::string record = medium.dir + "\\RECORD.TXT";
        SetupRun run;
        REQUIRE(StartSetup(&medium, "", record, &run));
        DWORD pid = run.process.dwProcessId;

        HWND dialog = RobotFindDialog(pid, "ZEV Setup", 20000);
        CHECK(dialog != 0);
        if (dialog && GetDlgItem(dialog, 105)) {
            // The directory prompt comes first, in its add-on wording: choose Exit.
            CHECK(RobotItemText(dialog, 101) == "VUZevod RUD must be installed in the ZEV! directory.");
            if (c.escape)
                RobotKey(dialog, VK_ESCAPE);
            else
                RobotClick(dialog, 2);
            CHECK(RobotWaitGone(dialog));
            dialog = RobotFindDialog(pid, "ZEV Setup", 20000);
            CHECK(dialog != 0);
        }
        if (dialog) {
            CHECK(GetDlgItem(dialog, 105) == (HWND)0);
            CHECK(RobotText(dialog) == "ZEV Setup");
            CHECK(RobotMessageBoxText(dialog) == "VUZevod RUD was NOT installed!");
            CHECK(RobotMessageBoxIcon(dialog) == (UINT)MB_ICONEXCLAMATION);
            RobotKey(dialog, VK_RETURN);
            CHECK(RobotWaitGone(dialog));
        }
        CHECK(WaitSetup(&run, 20000) == 0u);
        CHECK_FALSE(run.timedOut);
        CHECK_FALSE(FileExists(record));
        MediumRemove(&medium);
        SettingsRootsRestore(&roots);
    }
}
