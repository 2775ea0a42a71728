// SETUP1.EXE in the normal mode, end to end: a medium, the staging folder
// it fills and the line the stand-in second phase records.
#include <windows.h>
#include <sddl.h>
#include <string.h>

#include "e2e.h"
#include "robot.h"
#include "files.h"
#include "registry.h"
#include "resource.h"
#include "staging.h"
#include "texts.h"

static std::string Plan(const std::string &tempdir, const char *copyFiles, const char *renameTo,
                        const char *target = "4")
{
    return std::string("[phasetwo]\r\ntarget=") + target + "\r\ncopyfiles=" + copyFiles + "\r\nrenameto=" + renameTo +
           "\r\ntempdir=" + tempdir + "\r\ntempspace=100\r\nrun=P2.EXE\r\n";
}

// A folder's DACL as text: "D:", "P" when protected, then its entries.
static std::string Dacl(const std::string &path)
{
    char buffer[4096];
    DWORD needed = 0;
    char *text = 0;
    if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, buffer, sizeof buffer, &needed) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(buffer, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                              0))
        return "(none)";
    std::string dacl = text;
    LocalFree(text);
    return dacl;
}

// The user that runs the tests, and so SETUP1.EXE, as a SID in text.
static std::string UserSidText()
{
    HANDLE token;
    DWORD user[64], needed;
    char *sid = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "(no token)";
    BOOL known = GetTokenInformation(token, TokenUser, user, sizeof user, &needed);
    CloseHandle(token);
    if (!known || !ConvertSidToStringSidA(((TOKEN_USER *)user)->User.Sid, &sid)) return "(no user)";
    std::string text = sid;
    LocalFree(sid);
    return text;
}

// 1 when every entry of a DACL in text is for SYSTEM, Administrators or the
// user, and the user's gives full control. Windows keeps the three entries
// as given; Wine keeps Unix permissions, which it reads back as entries of
// SYSTEM, the user and Everyone.
static bool OnlyTheThree(const std::string &dacl)
{
    std::string user = UserSidText();
    bool userFull = false;
    for (size_t open = dacl.find('('); open != std::string::npos; open = dacl.find('(', open + 1)) {
        std::string ace = dacl.substr(open + 1, dacl.find(')', open) - open - 1);
        std::string sid = ace.substr(ace.rfind(';') + 1);
        if (sid != "SY" && sid != "BA" && sid != user) return false;
        if (sid == user && ace.compare(0, 2, "A;") == 0 && ace.find(";FA;") != std::string::npos) userFull = true;
    }
    return userFull && dacl.compare(0, 2, "D:") == 0;
}

struct E2ECase {
    const char *copyFiles, *renameTo;
    const char *onMedium;  // besides P2.EXE
    const char *stale;     // in the staging folder before the run
    const char *want;      // the staging folder afterwards
};

TEST_CASE("SETUP1.EXE stages the list of the plan and starts the second phase from there")
{
    static const E2ECase cases[] = {
        {"A.EXE,B.DLL,P2.EXE", ",X.DLL", "A.EXE|B.DLL", "", "A.EXE|P2.EXE|X.DLL"},
        {"A.EXE,B.DLL,P2.EXE", ",X.DLL", "A.EXE|B.DLL", "A.EXE|B.DLL|X.DLL|OTHER.TXT", "A.EXE|OTHER.TXT|P2.EXE|X.DLL"},
        {"*.HLP,P2.EXE", "KEEP.TXT", "ONE.HLP|TWO.HLP", "KEEP.TXT|ONE.HLP", "KEEP.TXT|ONE.HLP|P2.EXE|TWO.HLP"},
        {"FILE?.DAT,P2.EXE", "ALL.DAT", "FILE1.DAT|FILE2.DAT|FILEAB.DAT", "", "FILE1.DAT|FILE2.DAT|P2.EXE"},
        {"P2.EXE, A.EXE", "", "A.EXE", "", "P2.EXE"},
        {"P2.EXE,A.EXE,", ",,GONE.TXT", "A.EXE", "GONE.TXT|STAY.TXT", "A.EXE|P2.EXE|STAY.TXT"},
        {"A.EXE,B.DLL,C.DAT,P2.EXE", "Y.EXE", "A.EXE|B.DLL|C.DAT", "", "B.DLL|C.DAT|P2.EXE|Y.EXE"},
        {"P2.EXE,VX.SYS", "", "VX.SY$", "", "P2.EXE|VX.SYS"},
    };
    for (const auto &c : cases) {
        INFO("copyfiles=", c.copyFiles, " renameto=", c.renameTo, " stale ", c.stale);
        Medium medium;
        REQUIRE(MediumCreate(&medium, "stage", "P2.EXE"));
        std::set<std::string> names;
        SplitNames(c.onMedium, &names);
        for (const auto &n : names) REQUIRE(MediumWriteFile(&medium, n.c_str(), "medium " + n));
        Scratch stage("stagedir", false);
        REQUIRE(CreateDirectoryA(stage.dir.c_str(), 0));
        names.clear();
        SplitNames(c.stale, &names);
        for (const auto &n : names) REQUIRE(PutFile(stage.dir + "\\" + n, "stale " + n));
        REQUIRE(MediumWritePlan(&medium, Plan(stage.dir, c.copyFiles, c.renameTo)));

        RunResult run;
        RunSetup(&medium, "", {}, &run);
        CHECK(run.exitCode == 1u);
        CHECK(run.haveRecord);
        CHECK(Joined(Listing(stage.dir)) == c.want);
        // What the stale names now hold came from the medium.
        names.clear();
        SplitNames(c.want, &names);
        for (const auto &n : names) {
            std::string content = GetFile(stage.dir + "\\" + n);
            INFO(n, " holds ", content.substr(0, 20));
            if (n != "P2.EXE") CHECK((content.rfind("medium ", 0) == 0 || content == "stale " + n));
        }
        if (std::string(c.renameTo) == ",X.DLL") {
            CHECK(GetFile(stage.dir + "\\X.DLL") == "medium B.DLL");
            CHECK(GetFile(stage.dir + "\\A.EXE") == "medium A.EXE");
        }
        if (strchr(c.stale, 'K')) CHECK(GetFile(stage.dir + "\\KEEP.TXT") == "stale KEEP.TXT");
    }
}

TEST_CASE("SETUP1.EXE hands the second phase its line and current directory")
{
    static const struct {
        const char *commandLine, *target, *wantTail;
    } cases[] = {
        {"", "4", " -p4 "},
        {"/s  extra", "3", " /s  extra -p3 "},
        {"", "", 0},  // the add-on mode: no second phase
        {"a", "4+N", " a -p4+N "},
    };
    for (const auto &c : cases) {
        INFO("command line \"", Text(c.commandLine), "\" target \"", Text(c.target), "\"");
        CleanSettings();
        Medium medium;
        REQUIRE(MediumCreate(&medium, "line", "P2.EXE"));
        Scratch stage("linedir", false);
        REQUIRE(MediumWritePlan(&medium, Plan(stage.dir, "P2.EXE", "", c.target)));
        RunResult run;
        if (!c.wantTail) {
            // An empty target selects the add-on mode. With no product
            // installed the prompt offers the plan's folder; OK installs the
            // list there and reports it, and nothing is started.
            RunSetup(&medium, c.commandLine, {{PROMPT_OK}, {BOX_OK}}, &run);
            REQUIRE(run.dialogs.size() == 2u);
            CHECK(run.dialogs[0].Text(IDC_TEXT_ENGLISH) == AddOnTexts[0]);
            CHECK(run.dialogs[0].path == Upper(stage.dir));
            CHECK(run.dialogs[1].Text(0xFFFF) == AddOnDoneText);
            CHECK(run.exitCode == 0u);
            CHECK_FALSE(run.haveRecord);
            CHECK(Joined(Listing(stage.dir)) == "P2.EXE");
        } else {
            RunSetup(&medium, c.commandLine, {}, &run);
            CHECK(run.exitCode == 1u);
            REQUIRE(run.haveRecord);
            CHECK(run.record.commandLine == stage.dir + "\\P2.EXE" + c.wantTail + medium.dir);
            CHECK(lstrcmpiA(run.record.currentDir.c_str(), stage.dir.c_str()) == 0);
        }
    }
    CleanSettings();
}

TEST_CASE("SETUP1.EXE creates a missing chain of folders, enters an existing one, quotes a blank")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "dirs", "P2.EXE"));
    Scratch base("dirs-stage", false);
    REQUIRE(CreateDirectoryA(base.dir.c_str(), 0));
    std::string deep = base.dir + "\\ONE\\TWO\\THREE";
    REQUIRE(MediumWritePlan(&medium, Plan(deep, "P2.EXE", "")));
    std::string baseDacl = Dacl(base.dir);
    RunResult run;
    RunSetup(&medium, "", {}, &run);
    CHECK(run.exitCode == 1u);
    CHECK(run.haveRecord);
    CHECK(Exists(deep + "\\P2.EXE"));
    // Each folder made on the way is the installer's alone; the one that
    // was there keeps its own.
    for (const char *made : {"\\ONE", "\\ONE\\TWO", "\\ONE\\TWO\\THREE"}) {
        std::string dacl = Dacl(base.dir + made);
        INFO("folder ", made, " DACL ", dacl);
        CHECK(OnlyTheThree(dacl));
    }
    CHECK(Dacl(base.dir) == baseDacl);
    CHECK(lstrcmpiA(run.record.currentDir.c_str(), deep.c_str()) == 0);

    // Again: the folder now exists and is entered.
    RunSetup(&medium, "", {}, &run);
    CHECK(run.exitCode == 1u);
    CHECK(run.haveRecord);

    // A blank in the staging path: the program piece is quoted, and the
    // program "my" that an unquoted line would start is left alone.
    std::string blank = base.dir + "\\my stage";
    REQUIRE(CopyFileA((medium.dir + "\\P2.EXE").c_str(), (base.dir + "\\my.exe").c_str(), FALSE));
    REQUIRE(MediumWritePlan(&medium, Plan(blank, "P2.EXE", "")));
    RunSetup(&medium, "x y", {}, &run);
    CHECK(run.exitCode == 1u);
    REQUIRE(run.haveRecord);
    CHECK(run.record.commandLine == "\"" + blank + "\\P2.EXE\" x y -p4 " + medium.dir);
    CHECK(run.record.winMainLine == "x y -p4 " + medium.dir);
    CHECK(lstrcmpiA(run.record.currentDir.c_str(), blank.c_str()) == 0);
}

TEST_CASE("SETUP1.EXE starts nothing and ends with 0 when the line would not fit")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "longline", "P2.EXE"));
    Scratch stage("longline-stage", false);
    REQUIRE(MediumWritePlan(&medium, Plan(stage.dir, "P2.EXE", "")));
    std::string own(250, 'x');
    RunResult run;
    RunSetup(&medium, own.c_str(), {}, &run);
    CHECK(run.exitCode == 0u);
    CHECK(!run.haveRecord);
    CHECK(Exists(stage.dir + "\\P2.EXE"));
}

TEST_CASE("SETUP1.EXE on a medium that is its own staging folder keeps the medium whole")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "self", "P2.EXE"));
    REQUIRE(MediumWriteFile(&medium, "B.DLL", "medium B.DLL"));
    REQUIRE(MediumWritePlan(&medium, Plan(medium.dir + "\\.", "B.DLL,P2.EXE", "X.DLL")));
    RunResult run;
    RunSetup(&medium, "", {}, &run);
    CHECK(run.exitCode == 1u);
    CHECK(run.haveRecord);
    CHECK(GetFile(medium.dir + "\\B.DLL") == "medium B.DLL");
    CHECK(!Exists(medium.dir + "\\X.DLL"));
    CHECK(Exists(medium.dir + "\\P2.EXE"));
}

TEST_CASE("A staging folder that others may write brings the prompt and stays as it was")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "open", "P2.EXE"));
    Scratch stage("open-stage", false);
    REQUIRE(CreateDirectoryA(stage.dir.c_str(), 0));
    // Everyone: full control.
    PSECURITY_DESCRIPTOR everyone = 0;
    REQUIRE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &everyone, 0));
    REQUIRE(SetFileSecurityA(stage.dir.c_str(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
    std::string open = Dacl(stage.dir);
    INFO("DACL ", open);
    REQUIRE(!OnlyTheThree(open));
    REQUIRE(MediumWritePlan(&medium, Plan(stage.dir, "P2.EXE", "")));
    RunResult run;
    RunSetup(&medium, "", {{PROMPT_EXIT}}, &run);
    CHECK(run.exitCode == 0u);
    REQUIRE(run.dialogs.size() == 1u);
    CHECK(run.dialogs[0].Text(IDC_TEXT_ENGLISH) == StagingTexts[0]);
    CHECK(run.dialogs[0].path == Upper(stage.dir));
    CHECK(!run.haveRecord);
    CHECK(Joined(Listing(stage.dir)) == "");
    CHECK(Dacl(stage.dir) == open);
}

TEST_CASE("Two starts 100 ms apart: one stages, and the second phase starts once with every file whole")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "twice", "P2.EXE"));
    // Large enough that the first start is still staging when the second
    // one looks, however slowly the second one starts on a loaded machine.
    std::string big = Pattern(100 << 20, 7), bigSize = std::to_string(big.size());
    for (const char *name : {"BIG1.DAT", "BIG2.DAT", "BIG3.DAT"}) REQUIRE(MediumWriteFile(&medium, name, big));
    Scratch stage("twice-stage", false);
    REQUIRE(MediumWritePlan(&medium, Plan(stage.dir, "BIG1.DAT,BIG2.DAT,BIG3.DAT,P2.EXE", "")));
    RunResult run;
    RunOptions twice;
    twice.timeoutMs = 120000;
    twice.secondStartMs = 100;
    RunSetup(&medium, "", {}, &run, twice);
    // The later one ends at once with 0: it starts nothing.
    CHECK(run.exitCode + run.secondExitCode == 1u);
    CHECK(run.processes == 3u);
    REQUIRE(run.haveRecord);
    std::string files = run.record.files;
    CHECK(Joined(Listing(stage.dir)) == "BIG1.DAT|BIG2.DAT|BIG3.DAT|P2.EXE");
    for (const char *name : {"BIG1.DAT", "BIG2.DAT", "BIG3.DAT"}) {
        INFO(name, " when the second phase started: ", files);
        std::string size = std::string(name) + "=" + bigSize + ";";
        CHECK(files.find(size) != std::string::npos);
        CHECK(GetFile(stage.dir + "\\" + name) == big);
    }
}

TEST_CASE("A run while the staging folder's program is in use asks for another path and starts nothing")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "inuse", "P2.EXE"));
    REQUIRE(MediumWriteFile(&medium, "DATA.TXT", "new data"));
    Scratch stage("inuse-stage", false);
    REQUIRE(MediumWritePlan(&medium, Plan(stage.dir, "DATA.TXT,P2.EXE", "")));
    RunResult run;
    RunSetup(&medium, "", {}, &run);
    REQUIRE(run.exitCode == 1u);
    // The earlier run's second phase, still running from the staging folder.
    std::string program = stage.dir + "\\P2.EXE", line = "\"" + program + "\"" + '\0';
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION running;
    REQUIRE(StartWith(0, program.c_str(), &line[0], FALSE, CREATE_SUSPENDED, stage.dir.c_str(), &startup, &running));
    RunSetup(&medium, "", {{PROMPT_EXIT}}, &run);
    CHECK(run.exitCode == 0u);
    CHECK(run.dialogs.size() == 1u);
    CHECK(run.processes == 1u);
    CHECK(!run.haveRecord);
    TerminateProcess(running.hProcess, 0);
    WaitForSingleObject(running.hProcess, 10000);
    CloseHandle(running.hThread);
    CloseHandle(running.hProcess);
}

TEST_CASE("Read-only leftovers in the staging folder are replaced and the new program starts")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "leftover", "P2.EXE"));
    REQUIRE(MediumWriteFile(&medium, "DATA.TXT", "new data"));
    REQUIRE(MediumWriteFile(&medium, "B.DLL", "new library"));
    Scratch stage("leftover-stage", false);
    REQUIRE(MediumWritePlan(&medium, Plan(stage.dir, "DATA.TXT,B.DLL,P2.EXE", ",X.DLL")));
    RunResult run;
    RunSetup(&medium, "", {}, &run);
    REQUIRE(run.exitCode == 1u);
    // An earlier install left them read-only, hidden or system.
    static const struct {
        const char *name;
        DWORD attributes;
    } left[] = {{"DATA.TXT", FILE_ATTRIBUTE_READONLY},
                {"X.DLL", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
                {"P2.EXE", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM},
                {"B.DLL", FILE_ATTRIBUTE_READONLY}};
    for (const auto &l : left) {
        REQUIRE(PutFile(stage.dir + "\\" + l.name, std::string("old ") + l.name));
        REQUIRE(SetFileAttributesA((stage.dir + "\\" + l.name).c_str(), l.attributes));
    }
    RunSetup(&medium, "", {}, &run);
    CHECK(run.exitCode == 1u);
    CHECK(run.dialogs.size() == 0u);
    REQUIRE(run.haveRecord);
    CHECK(Joined(Listing(stage.dir)) == "DATA.TXT|P2.EXE|X.DLL");
    CHECK(GetFile(stage.dir + "\\DATA.TXT") == "new data");
    CHECK(GetFile(stage.dir + "\\X.DLL") == "new library");
    CHECK(GetFile(stage.dir + "\\P2.EXE") == GetFile(medium.dir + "\\P2.EXE"));
}

// Runs the Unix program Z:\bin\COMMAND in folder dir, which Wine starts
// itself, and waits until done() holds, up to 5 s.
static bool Unix(const std::string &dir, const std::string &command, const std::function<bool()> &done)
{
    std::string line = "Z:\\bin\\" + command + '\0';
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!StartWith(0, 0, &line[0], FALSE, 0, dir.c_str(), &startup, &process)) return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 100 && !done(); ++i) Sleep(50);
    return done();
}

TEST_CASE("A staging folder reached through a link brings the prompt, and nothing is copied through it")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "link", "P2.EXE"));
    std::string base = TempFolder("link-stage"), link = base + "\\LINK";
    std::string parent = base.substr(0, base.rfind('\\')), name = base.substr(base.rfind('\\') + 1);
    auto gone = [&] { return !Exists(base); };
    // A leftover of an earlier run; rm runs on after it started, so only then.
    if (!gone()) REQUIRE(Unix(parent, "rm -rf " + name, gone));
    REQUIRE(CreateDirectoryA(base.c_str(), 0));
    REQUIRE(CreateDirectoryA((base + "\\SAFE").c_str(), 0));
    // Wine shows a Unix symbolic link as a folder that is a reparse point.
    REQUIRE(Unix(base, "ln -s SAFE LINK", [&] { return GetFileAttributesA(link.c_str()) == 0x410; }));
    // The link itself, and a link on the way to the folder.
    for (const char *tempdir : {"\\LINK", "\\LINK\\INNER"}) {
        INFO("tempdir ", tempdir);
        REQUIRE(MediumWritePlan(&medium, Plan(base + tempdir, "P2.EXE", "")));
        RunResult run;
        RunSetup(&medium, "", {{PROMPT_EXIT}}, &run);
        CHECK(run.exitCode == 0u);
        CHECK(run.dialogs.size() == 1u);
        CHECK(!run.haveRecord);
        CHECK(!Exists(base + "\\SAFE\\P2.EXE"));
        CHECK(!Exists(base + "\\SAFE\\INNER\\P2.EXE"));
    }
    CHECK(Unix(parent, "rm -rf " + name, gone));
}

TEST_CASE("A staging folder that another user's mutex of its name claims is staged into all the same")
{
    Medium medium;
    REQUIRE(MediumCreate(&medium, "squat", "P2.EXE"));
    Scratch stage("squat-stage", false);
    REQUIRE(CreateDirectoryA(stage.dir.c_str(), 0));
    // The name SETUP1.EXE derives for it, taken first with another owner.
    HANDLE folder = CreateFileA(stage.dir.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, 0);
    BY_HANDLE_FILE_INFORMATION info;
    REQUIRE(GetFileInformationByHandle(folder, &info));
    CloseHandle(folder);
    char name[LOCK_NAME_SIZE];
    REQUIRE(StagingLockName(name, sizeof name, 1, info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
                            Upper(stage.dir).c_str()));
    PSECURITY_DESCRIPTOR other = 0;
    REQUIRE(ConvertStringSecurityDescriptorToSecurityDescriptorA("O:S-1-5-21-9-9-9-1234", SDDL_REVISION_1, &other, 0));
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, other, FALSE};
    HANDLE squatter = CreateMutexA(&attributes, FALSE, name);
    LocalFree(other);
    REQUIRE(squatter);
    REQUIRE(MediumWritePlan(&medium, Plan(stage.dir, "P2.EXE", "")));
    RunResult run;
    RunSetup(&medium, "", {}, &run);
    CHECK(run.exitCode == 1u);
    CHECK(run.haveRecord);
    CloseHandle(squatter);
}

TEST_CASE("An unquoted start from a folder whose name holds a byte above 0x7F hands on its own line")
{
    Medium outer;
    REQUIRE(MediumCreate(&outer, "accent"));
    Medium medium = {outer.dir + "\\M\xC9"
                                 "DIAS"};
    REQUIRE(CreateDirectoryA(medium.dir.c_str(), 0));
    REQUIRE(CopyFileA((outer.dir + "\\SETUP1.EXE").c_str(), (medium.dir + "\\SETUP1.EXE").c_str(), FALSE));
    REQUIRE(MediumAddPhase2(&medium, "P2.EXE"));
    Scratch stage("accent-stage", false);
    REQUIRE(MediumWritePlan(&medium, Plan(stage.dir, "P2.EXE", "")));
    RunQuotesProgram = false;
    RunResult run;
    RunSetup(&medium, "/S", {}, &run);
    RunQuotesProgram = true;
    CHECK(run.exitCode == 1u);
    REQUIRE(run.haveRecord);
    std::string want = stage.dir + "\\P2.EXE /S -p4 " + medium.dir;
    CHECK(Bytes(run.record.commandLine.data(), run.record.commandLine.size()) == Bytes(want.data(), want.size()));
}

// Run on its own under a Japanese locale (code page 932), where the second
// byte of many characters is 0x5C, the byte of "\": the medium's folder ends
// in \x94\x5C, the staging folder in \x83\x5C.
TEST_CASE("code page 932: a medium and a staging folder whose names end in a 0x5C second byte")
{
    REQUIRE(GetACP() == 932u);
    Medium outer;
    REQUIRE(MediumCreate(&outer, "cp932"));
    Medium medium = {outer.dir + "\\\x90\x56\x8B\x40\x94\x5C"};
    REQUIRE(CreateDirectoryA(medium.dir.c_str(), 0));
    REQUIRE(CopyFileA((outer.dir + "\\SETUP1.EXE").c_str(), (medium.dir + "\\SETUP1.EXE").c_str(), FALSE));
    REQUIRE(MediumAddPhase2(&medium, "P2.EXE"));
    REQUIRE(MediumWriteFile(&medium, "A.TXT", "medium A.TXT"));
    Scratch base("cp932-stage");
    std::string stage = base / "STAGE\x83\x5C";
    REQUIRE(MediumWritePlan(&medium, Plan(stage, "P2.EXE,A.TXT", "")));

    RunResult run;
    RunSetup(&medium, "", {}, &run);  // a prompt would mean the plan was not found
    CHECK(run.exitCode == 1u);
    // Nothing lands beside the staging folder under a name that begins like it.
    std::string beside = Joined(Listing(base.dir));
    CHECK(Bytes(beside.data(), beside.size()) == Bytes("STAGE\x83\x5C", 7));
    CHECK(Joined(Listing(stage)) == "A.TXT|P2.EXE");
    CHECK(GetFile(stage + "\\A.TXT") == "medium A.TXT");
    REQUIRE(run.haveRecord);
    std::string want = stage + "\\P2.EXE -p4 " + medium.dir;
    CHECK(Bytes(run.record.commandLine.data(), run.record.commandLine.size()) == Bytes(want.data(), want.size()));
}
