// A DLL under a system DLL's name beside SETUP1.EXE is never loaded into
// it; the same DLL beside a program without the guard is, so the case can
// fail. Wine is told to prefer a DLL of that name that is not its own.
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "e2e.h"
#include "testing.h"

// Wine's per-program setting that prefers a uxtheme.dll not its own, for
// the programs named; taken away again however the test ends.
struct PreferPlanted {
    std::vector<std::string> keys;
    explicit PreferPlanted(std::initializer_list<const char *> programs)
    {
        for (const char *program : programs) {
            std::string key = std::string("Software\\Wine\\AppDefaults\\") + program + "\\DllOverrides";
            HKEY handle;
            REQUIRE(RegCreateKeyA(HKEY_CURRENT_USER, key.c_str(), &handle) == ERROR_SUCCESS);
            keys.push_back(key);
            static const char value[] = "native,builtin";
            LONG status = RegSetValueExA(handle, "uxtheme", 0, REG_SZ, (const BYTE *)value, sizeof value);
            RegCloseKey(handle);
            REQUIRE(status == ERROR_SUCCESS);
        }
    }
    ~PreferPlanted()
    {
        for (const std::string &key : keys) {
            RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
            RegDeleteKeyA(HKEY_CURRENT_USER, key.substr(0, key.rfind('\\')).c_str());
        }
    }
};

static std::string BuiltBeside(const char *name)
{
    std::string setup1 = TestOption("setup1");
    return setup1.substr(0, setup1.find_last_of('\\') + 1) + name;
}

TEST_CASE("A uxtheme.dll beside SETUP1.EXE is never loaded; beside a bare program it is")
{
    PreferPlanted prefer({"SETUP1.EXE", "BARE.EXE"});
    Medium medium;
    REQUIRE(MediumCreate(&medium, "planted"));
    REQUIRE(CopyFileA(BuiltBeside("PLANTED.DLL").c_str(), (medium.dir + "\\uxtheme.dll").c_str(), FALSE));
    REQUIRE(CopyFileA(BuiltBeside("BARE.EXE").c_str(), (medium.dir + "\\BARE.EXE").c_str(), FALSE));
    REQUIRE(MediumAddPhase2(&medium, "PHASE2.EXE"));
    std::string staging = TempFolder("planted-stage"), marker = medium.dir + "\\PLANTED.TXT";
    RemoveTree(staging);
    REQUIRE(MediumWritePlan(&medium, "[phasetwo]\r\ntarget=4\r\ncopyfiles=PHASE2.EXE\r\ntempdir=" + staging +
                                         "\r\nrun=PHASE2.EXE\r\n"));

    // The normal mode, backdrop and all.
    RunResult run;
    RunSetup(&medium, "", {}, &run);
    CHECK(run.exitCode == 1u);
    CHECK(run.haveRecord);
    CHECK_FALSE(FileExists(marker));

    // The control: the planted DLL is one that Wine loads by that name.
    RunResult bare;
    RunOptions inMedium;
    inMedium.currentDir = medium.dir;
    RunProgram(medium.dir + "\\BARE.EXE", "", {}, &bare, inMedium);
    CHECK(bare.exitCode == 0u);
    CHECK(FileExists(marker));

    RemoveTree(staging);
}
