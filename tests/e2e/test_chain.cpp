// The whole life of the product, end to end: SETUP1.EXE stages the sample
// second phase SETUP2.EXE (the NSIS installer of the build), which installs
// the product silently under the program files folder, registers it and
// removes what was staged; the add-on mode finds that product through the
// registry and installs into its folder; the product's uninstaller removes
// it again, after which the add-on finds nothing.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "e2e.h"
#include "testing.h"
#include "texts.h"

static const char MakerKey[] = "Software\\Tessaric";
static const char ListKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZEV!";

// The test prefix's user is an administrator: the product goes under the
// program files folder of SETUP2.EXE's word size (the 64-bit test build
// makes a 64-bit one).
static std::string ProductFolder(const std::string &setup2)
{
    char folder[MAX_PATH];
    DWORD length = 0;
    std::string image = ReadWholeFile(setup2);
    DWORD pe = image.size() > 0x40 ? *(const DWORD *)(image.data() + 0x3C) : 0;
    if (pe && pe + 6 <= image.size() && *(const WORD *)(image.data() + pe + 4) == IMAGE_FILE_MACHINE_I386)
        length = GetEnvironmentVariableA("ProgramFiles(x86)", folder, sizeof folder);
    if (!length || length >= sizeof folder) length = GetEnvironmentVariableA("ProgramFiles", folder, sizeof folder);
    return length && length < sizeof folder ? std::string(folder) + "\\ZEV" : "(no program files folder)";
}
static std::string ProductDir;

// The names in a folder, joined by commas; "(none)" when it is not there.
static std::string FolderNames(const std::string &dir)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return "(none)";
    std::string names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names += (names.empty() ? "" : ",") + name;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// Waits (up to 20 s) until a folder holds just the names given, or is gone
// with "(none)": the programs that remove things run on their own.
static std::string WaitForNames(const std::string &dir, const std::string &wanted)
{
    std::string names = FolderNames(dir);
    for (int i = 0; i < 200 && names != wanted; ++i, names = FolderNames(dir)) Sleep(100);
    return names;
}

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
    DeleteKeyTree(HKEY_CURRENT_USER, ListKey);
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

TEST_CASE("the product's whole life: installed, staging removed, add-on, uninstalled, add-on finds nothing")
{
    // ZEV2.HLP is left out of the second case's staging: the second phase
    // takes it from the medium. The second case also has blanks in the
    // staging path (the program is quoted), in the medium's path (the last,
    // unquoted piece of the hand-over) and in the target value, and a file
    // of someone else's in the staging folder, which stays, and the folder
    // with it. The third stages into the medium's own folder, where the
    // first phase renames nothing (ZEV.INI comes from the medium's ZEV.CFG)
    // and nothing may be removed. Only the first goes on to the uninstall.
    static const struct {
        const char *mediumTag;
        const char *stagingTag;  // 0: the medium's own folder
        const char *target;
        const char *copyfiles;
        const char *version;
        const char *fromMedium;  // a file the second phase takes from the medium,
        const char *mediumName;  // under this name there
        const char *notes;       // a file in the staging folder before the run
        bool uninstall;
    } cases[] = {
        {"chain", "chain-stage", "4", "SETUP2.EXE,README.TXT,ZEV.CFG,ZEVKB.SYS,*.HLP", "4.20", 0, 0, 0, true},
        {"chain medium", "chain stage", "3+N and more", "SETUP2.EXE,README.TXT,ZEV.CFG,ZEVKB.SYS,ZEV1.HLP", "3.40",
         "ZEV2.HLP", "ZEV2.HLP", "NOTES.TXT", false},
        {"chain-self", 0, "4", "SETUP2.EXE,README.TXT,ZEV.CFG,ZEVKB.SYS,*.HLP", "4.20", "ZEV.INI", "ZEV.CFG", 0, false},
    };
    std::string setup2 = Setup2Program();
    REQUIRE(FileExists(setup2));
    ProductDir = ProductFolder(setup2);
    // --cases=1, the lane of the shipped image, runs the first case alone:
    // each start of a 32-bit program may take a minute where only qemu runs them.
    size_t count = sizeof cases / sizeof cases[0];
    if (!TestOption("cases").empty()) count = std::min(count, (size_t)atoi(TestOption("cases").c_str()));
    for (size_t i = 0; i < count; ++i) {
        const auto &c = cases[i];
        INFO("target [", Text(c.target), "] copyfiles [", Text(c.copyfiles), "]");
        ForgetProduct();
        REQUIRE(SubKeys(HKEY_CURRENT_USER, MakerKey) == "(no key)");
        REQUIRE_FALSE(FileExists(ProductDir));
        Medium medium;
        REQUIRE(MediumCreate(&medium, c.mediumTag));
        std::string staging = c.stagingTag ? TempFolder(c.stagingTag) : medium.dir;
        if (c.stagingTag) RemoveTree(staging);
        if (c.notes) {
            REQUIRE(CreateDirectoryA(staging.c_str(), 0));
            HANDLE notes = CreateFileA((staging + "\\" + c.notes).c_str(), GENERIC_WRITE, 0, 0, CREATE_NEW, 0, 0);
            REQUIRE(notes != INVALID_HANDLE_VALUE);
            CloseHandle(notes);
        }
        REQUIRE(CopyFileA(setup2.c_str(), (medium.dir + "\\SETUP2.EXE").c_str(), FALSE));
        for (const auto &f : ProductFiles) REQUIRE(MediumWriteFile(&medium, f.onMedium, f.content));
        REQUIRE(MediumWritePlan(
            &medium, std::string("[phasetwo]\r\ntarget=") + c.target + "\r\ncopyfiles=" + c.copyfiles +
                         "\r\nrenameto=,,ZEV.INI\r\ntempdir=" + staging + "\r\ntempspace=200\r\nrun=SETUP2.EXE\r\n"));

        // First phase, then the second phase it starts, which hands over to
        // a copy of itself: the runner waits for all of them.
        RunResult run;
        RunOptions slow;
        slow.timeoutMs = 90000;
        RunSetup(&medium, "/S", {}, &run, slow);
        CHECK(run.exitCode == 1u);

        for (const auto &f : ProductFiles) {
            INFO("file ", Text(f.installed));
            CHECK(ReadWholeFile(ProductDir + "\\" + f.installed) == Text(f.content));
            // The medium is only read.
            CHECK(ReadWholeFile(medium.dir + "\\" + f.onMedium) == Text(f.content));
        }
        CHECK(FileExists(medium.dir + "\\SETUP2.EXE"));
        // What was staged is gone, and the staging folder with it unless
        // something else is left in it.
        if (c.stagingTag) CHECK(WaitForNames(staging, c.notes ? c.notes : "(none)") == (c.notes ? c.notes : "(none)"));
        std::string log = ReadWholeFile(ProductDir + "\\INSTALL.LOG");
        std::vector<std::string> expected = {
            "own command line: /S\r\n", std::string("target codes: ") + c.target + "\r\n",
            "source directory: " + medium.dir + "\r\n", "staging directory: " + staging + "\r\n",
            "registered: HKCU\\" + std::string(MakerKey) + "\\ZEV!\\" + c.version + "\\ZODOZ Directory=" + ProductDir +
                "\r\n"};
        if (c.fromMedium)
            expected.push_back(std::string(c.fromMedium) + " from " + medium.dir + "\\" + c.mediumName + "\r\n");
        for (const std::string &line : expected) {
            INFO("wanted the line [", line, "] in the log [", log, "]");
            CHECK(log.find(line) != std::string::npos);
        }
        std::string productKey = std::string(MakerKey) + "\\ZEV!";
        CHECK(SubKeys(HKEY_CURRENT_USER, productKey) == c.version);
        CHECK(SubKeys(HKEY_CURRENT_USER, productKey + "\\" + c.version) == "Compatibility,ZODOZ");
        CHECK(ReadText(productKey + "\\" + c.version + "\\ZODOZ", "Directory") == ProductDir);
        // The entry in the user's list of installed programs.
        const std::pair<const char *, std::string> entry[] = {
            {"DisplayName", std::string("ZEV! ") + c.version},
            {"DisplayVersion", c.version},
            {"Publisher", "Tessaric"},
            {"UninstallString", "\"" + ProductDir + "\\UNINSTALL.EXE\""},
            {"InstallLocation", ProductDir},
        };
        for (const auto &value : entry) CHECK(ReadText(ListKey, value.first) == value.second);
        MediumRemove(&medium);

        // The add-on, from a medium of its own, into the registered folder.
        Medium addon;
        REQUIRE(MediumCreate(&addon, "chain-addon"));
        REQUIRE(MediumWriteFile(&addon, "VUZEVOD.RUD", "add-on"));
        REQUIRE(MediumWritePlan(&addon, "[phasetwo]\r\ntarget=S\r\ncopyfiles=VUZEVOD.RUD\r\n"));
        RunSetup(&addon, "", {{PROMPT_OK}, {BOX_OK}}, &run);
        REQUIRE(run.dialogs.size() == 2u);
        std::string shown = ProductDir;
        for (char &letter : shown) letter = (char)toupper((unsigned char)letter);
        CHECK(run.dialogs[0].path == shown);
        CHECK(run.dialogs[1].Text(0xFFFF) == AddOnDoneText);
        CHECK(run.dialogs[1].icon == (UINT)MB_ICONINFORMATION);
        CHECK(run.exitCode == 0u);
        CHECK(ReadWholeFile(ProductDir + "\\VUZEVOD.RUD") == "add-on");

        if (c.uninstall) {
            // The uninstaller, silent: the product's files and folder, its
            // registry keys (empty ones the add-on made included) and its entry
            // in the list go.
            RunOptions slow;
            slow.timeoutMs = 60000;
            RunProgram(ProductDir + "\\UNINSTALL.EXE", "/S", {}, &run, slow);
            CHECK(run.exitCode == 0u);
            CHECK(WaitForNames(ProductDir, "(none)") == "(none)");
            CHECK(SubKeys(HKEY_CURRENT_USER, MakerKey) == "(no key)");
            CHECK(SubKeys(HKEY_LOCAL_MACHINE, MakerKey) == "(no key)");
            CHECK(SubKeys(HKEY_USERS, std::string(".DEFAULT\\") + MakerKey) == "(no key)");
            CHECK(ReadText(ListKey, "DisplayName") == "(no key)");

            // The add-on again: no product, an empty path in the prompt; Exit
            // there leaves the add-on not installed.
            RunSetup(&addon, "", {{PROMPT_EXIT}, {BOX_OK}}, &run);
            REQUIRE(run.dialogs.size() == 2u);
            CHECK(run.dialogs[0].path == "");
            CHECK(run.dialogs[1].Text(0xFFFF) == AddOnFailedText);
            CHECK(run.exitCode == 0u);
        }

        if (c.stagingTag) RemoveTree(staging);
        ForgetProduct();
    }
}
