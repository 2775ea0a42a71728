// Both phases and the add-on, end to end: SETUP1.EXE stages the sample
// second phase SETUP2.EXE (the NSIS installer of the build), which installs
// the product silently into C:\ZEV and registers it; then the add-on mode
// finds that product through the registry and installs into its folder.
#include <windows.h>

#include <string>
#include <vector>

#include "e2e.h"
#include "testing.h"
#include "texts.h"

static const char MakerKey[] = "Software\\Tessaric";
static const char ProductDir[] = "C:\\ZEV";

// The names of the sub-keys of a key, joined by commas.
static std::string SubKeys(HKEY root, const std::string &path)
{
    std::string names;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "(no key)";
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        names += (names.empty() ? "" : ",") + std::string(name);
    RegCloseKey(key);
    return names;
}

static void DeleteKeyTree(HKEY root, const std::string &path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.push_back(name);
    for (const std::string &child : names) DeleteKeyTree(key, child);
    RegCloseKey(key);
    RegDeleteKeyA(root, path.c_str());
}

// The product as nobody installed it: no maker's keys in any hive that the
// add-on mode reads or makes, no product folder.
static void ForgetProduct()
{
    HKEY defaultUser;
    if (RegOpenKeyExA(HKEY_USERS, ".DEFAULT", 0, KEY_ALL_ACCESS, &defaultUser) == ERROR_SUCCESS) {
        DeleteKeyTree(defaultUser, MakerKey);
        RegCloseKey(defaultUser);
    }
    DeleteKeyTree(HKEY_CURRENT_USER, MakerKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, MakerKey);
    RemoveTree(ProductDir);
}

static std::string ReadText(const std::string &path, const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "(no key)";
    char data[512];
    DWORD size = sizeof data - 1, type = 0;
    LONG status = RegQueryValueExA(key, name, 0, &type, (BYTE *)data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return "(no text value)";
    data[size] = '\0';
    return data;
}

static std::string Setup2Program()
{
    // The build puts SETUP2.EXE beside SETUP1.EXE.
    std::string setup1 = TestOption("setup1");
    size_t slash = setup1.find_last_of('\\');
    return slash == std::string::npos ? std::string() : setup1.substr(0, slash + 1) + "SETUP2.EXE";
}

// The sample product's files: name on the medium, name in the product
// folder, content.
static const struct {
    const char *onMedium;
    const char *installed;
    const char *content;
} ProductFiles[] = {
    {"README.TXT", "README.TXT", "read me\r\n"},   {"ZEV.CFG", "ZEV.INI", "[session]\r\nemulation=VT420\r\n"},
    {"ZEVKB.SY$", "ZEVKB.SYS", "keyboard driver"}, {"ZEV1.HLP", "ZEV1.HLP", "help one"},
    {"ZEV2.HLP", "ZEV2.HLP", "help two"},
};

TEST_CASE("the second phase installs and registers ZEV!, and the add-on goes into its folder")
{
    // ZEV2.HLP is left out of the second case's staging: the second phase
    // takes it from the medium. The second case also has blanks in the
    // staging path (the program is quoted), in the medium's path (the last,
    // unquoted piece of the hand-over) and in the target value.
    static const struct {
        const char *mediumTag;
        const char *stagingTag;
        const char *target;
        const char *copyfiles;
        const char *version;
        const char *fromMedium;  // a file the second phase takes from the medium
    } cases[] = {
        {"chain", "chain-stage", "4", "SETUP2.EXE,README.TXT,ZEV.CFG,ZEVKB.SYS,*.HLP", "4.20", 0},
        {"chain medium", "chain stage", "3+N and more", "SETUP2.EXE,README.TXT,ZEV.CFG,ZEVKB.SYS,ZEV1.HLP", "3.40",
         "ZEV2.HLP"},
    };
    std::string setup2 = Setup2Program();
    REQUIRE(FileExists(setup2));
    for (const auto &c : cases) {
        INFO("target [", Text(c.target), "] copyfiles [", Text(c.copyfiles), "]");
        ForgetProduct();
        REQUIRE(SubKeys(HKEY_CURRENT_USER, MakerKey) == "(no key)");
        REQUIRE_FALSE(FileExists(ProductDir));
        Medium medium;
        REQUIRE(MediumCreate(&medium, c.mediumTag));
        std::string staging = TempFolder(c.stagingTag);
        RemoveTree(staging);
        REQUIRE(CopyFileA(setup2.c_str(), (medium.dir + "\\SETUP2.EXE").c_str(), FALSE));
        for (const auto &f : ProductFiles) REQUIRE(MediumWriteFile(&medium, f.onMedium, f.content));
        REQUIRE(MediumWritePlan(
            &medium, std::string("[phasetwo]\r\ntarget=") + c.target + "\r\ncopyfiles=" + c.copyfiles +
                         "\r\nrenameto=,,ZEV.INI\r\ntempdir=" + staging + "\r\ntempspace=200\r\nrun=SETUP2.EXE\r\n"));

        // First phase, then the second phase it starts: the runner waits
        // for both.
        RunResult run;
        RunSetup(&medium, "/S", {}, &run, 90000);
        CHECK(run.exitCode == 1u);

        for (const auto &f : ProductFiles) {
            INFO("file ", Text(f.installed));
            CHECK(ReadWholeFile(std::string(ProductDir) + "\\" + f.installed) == Text(f.content));
            // The medium is only read.
            CHECK(ReadWholeFile(medium.dir + "\\" + f.onMedium) == Text(f.content));
        }
        std::string log = ReadWholeFile(std::string(ProductDir) + "\\INSTALL.LOG");
        std::vector<std::string> expected = {
            "own command line: /S\r\n", std::string("target codes: ") + c.target + "\r\n",
            "source directory: " + medium.dir + "\r\n", "staging directory: " + staging + "\r\n",
            "registered: HKCU\\" + std::string(MakerKey) + "\\ZEV!\\" + c.version + "\\ZODOZ Directory=" + ProductDir +
                "\r\n"};
        if (c.fromMedium)
            expected.push_back(std::string(c.fromMedium) + " from " + medium.dir + "\\" + c.fromMedium + "\r\n");
        for (const std::string &line : expected) {
            INFO("wanted the line [", line, "] in the log [", log, "]");
            CHECK(log.find(line) != std::string::npos);
        }
        std::string productKey = std::string(MakerKey) + "\\ZEV!";
        CHECK(SubKeys(HKEY_CURRENT_USER, productKey) == c.version);
        CHECK(SubKeys(HKEY_CURRENT_USER, productKey + "\\" + c.version) == "Compatibility,ZODOZ");
        CHECK(ReadText(productKey + "\\" + c.version + "\\ZODOZ", "Directory") == ProductDir);
        MediumRemove(&medium);

        // The add-on, from a medium of its own, into the registered folder.
        REQUIRE(MediumCreate(&medium, "chain-addon"));
        REQUIRE(MediumWriteFile(&medium, "VUZEVOD.RUD", "add-on"));
        REQUIRE(MediumWritePlan(&medium, "[phasetwo]\r\ntarget=S\r\ncopyfiles=VUZEVOD.RUD\r\n"));
        RunSetup(&medium, "", {{PROMPT_OK}, {BOX_OK}}, &run);
        REQUIRE(run.dialogs.size() == 2u);
        CHECK(run.dialogs[0].path == ProductDir);
        CHECK(run.dialogs[1].Text(0xFFFF) == AddOnDoneText);
        CHECK(run.dialogs[1].icon == (UINT)MB_ICONINFORMATION);
        CHECK(run.exitCode == 0u);
        CHECK(ReadWholeFile(std::string(ProductDir) + "\\VUZEVOD.RUD") == "add-on");

        MediumRemove(&medium);
        RemoveTree(staging);
        ForgetProduct();
    }
}
