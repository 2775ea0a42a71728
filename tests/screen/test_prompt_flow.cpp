// The prompt in the normal mode, end to end: SETUP1.EXE on a medium whose
// staging directory cannot be made ready, the robot answering its prompt.
#include <windows.h>

#include <string.h>

#include "e2e.h"
#include "resource.h"
#include "robot.h"
#include "testing.h"

static const char StagingEnglish[] =
    "Setup was unable to create the temporary directory listed below; please specify a new path.";
static const char StagingFrench[] =
    "L'inskallation ne pouvait pas fabriquer le r\xE9pertoire temporaire inscrit ici desous; specifiez un chemin "
    "nouveau, s'il vous pla\xEEt.";

struct Flow {
    Medium medium;
    std::string staging;  // a usable staging folder, not made beforehand
    std::string record;
    SetupRun run;
    bool started = false;
};

// A medium in the normal mode (edition 4) whose plan names the given
// staging directory; PHASE2.EXE is what gets staged and started.
static void FlowStart(Flow *f, const char *tag, const std::string &tempdir, const char *tempspace)
{
    REQUIRE(MediumCreate(&f->medium, tag));
    REQUIRE(MediumAddPhase2(&f->medium, "PHASE2.EXE"));
    f->staging = TempFolder((std::string(tag) + "-stage").c_str());
    REQUIRE(f->staging.find(' ') == std::string::npos);
    RemoveTree(f->staging);
    std::string plan = "[phasetwo]\r\ntarget=4\r\ncopyfiles=PHASE2.EXE\r\ntempdir=" + tempdir + "\r\n";
    if (tempspace) plan += std::string("tempspace=") + tempspace + "\r\n";
    plan += "run=PHASE2.EXE\r\n";
    REQUIRE(MediumWritePlan(&f->medium, plan));
    f->record = f->medium.dir + "\\RECORD.TXT";
    REQUIRE(StartSetup(&f->medium, "", f->record, &f->run));
    f->started = true;
}

static void FlowEnd(Flow *f)
{
    if (f->started) WaitSetup(&f->run, 5000);
    MediumRemove(&f->medium);
    RemoveTree(f->staging);
}

static std::string Upper(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    return text;
}

// The prompt of SETUP1.EXE, checked to be in its staging wording over the backdrop.
static HWND StagingPrompt(const Flow &f, const char *path)
{
    HWND prompt = RobotFindDialog(f.run.process.dwProcessId, "ZEV Setup", 15000);
    REQUIRE(prompt != 0);
    CHECK(RobotItemText(prompt, IDC_TEXT_ENGLISH) == StagingEnglish);
    std::string french = RobotItemText(prompt, IDC_TEXT_FRENCH);
    CHECK(Bytes(french.data(), french.size()) == Bytes(StagingFrench, strlen(StagingFrench)));
    CHECK(RobotItemText(prompt, IDC_PATH) == path);
    CHECK(RobotItemText(prompt, IDCANCEL) == "&Exit/Quitter/Verlassen");
    HWND owner = GetWindow(prompt, GW_OWNER);
    char ownerClass[32] = "";
    GetClassNameA(owner, ownerClass, sizeof ownerClass);
    CHECK(Text(ownerClass) == "SetupWClass");
    return prompt;
}

TEST_CASE("a staging directory that cannot be made ready: the prompt; Exit ends with 0, nothing copied")
{
    static const struct { const char *tempdir, *tempspace; } cases[] = {
        {"Q:\\STAGE", 0},                  // a drive that does not exist
        {"C:\\NOSPACE", "2000000000"},     // far more kilobytes than the drive has free
    };
    for (const auto &c : cases) {
        INFO("tempdir ", c.tempdir);
        Flow f;
        FlowStart(&f, "noprep", c.tempdir, c.tempspace);
        HWND prompt = StagingPrompt(f, c.tempdir);
        RobotClick(prompt, IDCANCEL);
        CHECK(RobotWaitGone(prompt));
        CHECK(WaitSetup(&f.run, 15000) == 0u);
        f.started = false;
        CHECK_FALSE(f.run.timedOut);
        CHECK_FALSE(FileExists(f.record));
        CHECK_FALSE(FileExists(c.tempdir));
        FlowEnd(&f);
    }
}

TEST_CASE("a usable path typed into the prompt: the second phase starts from it, exit code 1")
{
    Flow f;
    FlowStart(&f, "typed", "Q:\\STAGE", "10");
    HWND prompt = StagingPrompt(f, "Q:\\STAGE");
    std::string typed = f.staging;
    for (char &c : typed)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    RobotReplaceText(prompt, IDC_PATH, typed.c_str());
    CHECK(RobotItemText(prompt, IDC_PATH) == Upper(typed));
    RobotKey(prompt, VK_RETURN);
    CHECK(RobotWaitGone(prompt));
    CHECK(WaitSetup(&f.run, 30000) == 1u);
    f.started = false;
    CHECK(FileExists(f.staging + "\\PHASE2.EXE"));
    Phase2Record record;
    REQUIRE(ReadPhase2Record(f.record, &record));
    CHECK(Upper(record.currentDir) == Upper(f.staging));
    CHECK(Upper(record.commandLine).find(Upper(f.staging) + "\\PHASE2.EXE") == 0);
    FlowEnd(&f);
}

TEST_CASE("two failures in a row: the prompt twice, the second where the first was left")
{
    Flow f;
    FlowStart(&f, "twice", "Q:\\STAGE", 0);
    HWND first = StagingPrompt(f, "Q:\\STAGE");
    RECT frame;
    REQUIRE(GetWindowRect(first, &frame));
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    INFO("dialog ", w, "x", h, " on ", sw, "x", sh);
    CHECK(frame.left == (sw > w ? (sw - w) / 2 : 0));
    CHECK(frame.top == (sh > h ? (sh - h) / 3 : 0));

    RobotMove(first, 37, 21);
    RobotReplaceText(first, IDC_PATH, "q:\\other");
    RobotKey(first, VK_RETURN);
    CHECK(RobotWaitGone(first));

    HWND second = StagingPrompt(f, "Q:\\OTHER");
    CHECK(second != first);
    REQUIRE(GetWindowRect(second, &frame));
    CHECK(frame.left == 37);
    CHECK(frame.top == 21);
    RobotKey(second, VK_ESCAPE);
    CHECK(RobotWaitGone(second));
    CHECK(WaitSetup(&f.run, 15000) == 0u);
    f.started = false;
    CHECK_FALSE(FileExists(f.record));
    FlowEnd(&f);
}
