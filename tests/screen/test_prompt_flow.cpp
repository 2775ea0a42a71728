// The prompt in the normal mode, end to end: SETUP1.EXE on a medium whose
// staging directory cannot be made ready, the runner answering its prompt.
#include <windows.h>

#include <string.h>

#include "e2e.h"
#include "resource.h"
#include "testing.h"
#include "texts.h"

// A medium in the normal mode (edition 4) whose plan names the given
// staging directory; PHASE2.EXE is what gets staged and started.
struct Flow {
    Medium medium;
    std::string staging;  // a usable staging folder, not made beforehand
    Flow(const char *tag, const std::string &tempdir, const char *tempspace)
    {
        REQUIRE(MediumCreate(&medium, tag, "PHASE2.EXE"));
        staging = TempFolder((std::string(tag) + "-stage").c_str());
        REQUIRE(staging.find(' ') == std::string::npos);
        RemoveTree(staging);
        std::string plan = "[phasetwo]\r\ntarget=4\r\ncopyfiles=PHASE2.EXE\r\ntempdir=" + tempdir + "\r\n";
        if (tempspace) plan += std::string("tempspace=") + tempspace + "\r\n";
        plan += "run=PHASE2.EXE\r\n";
        REQUIRE(MediumWritePlan(&medium, plan));
    }
    ~Flow() { RemoveTree(staging); }  // the medium removes itself, also when a REQUIRE above fails
};

// The prompt as the runner saw it: in its staging wording over the
// backdrop, with the path shown and the focus in the path field.
static void CheckStagingPrompt(const SeenDialog &prompt, const std::string &path)
{
    CHECK_FALSE(prompt.messageBox);
    CHECK(prompt.caption == PromptCaption);
    for (int i = 0; i < 4; ++i) {
        INFO("text ", IDC_TEXT_ENGLISH + i);
        std::string text = prompt.Text(IDC_TEXT_ENGLISH + i);
        CHECK(Bytes(text.data(), text.size()) == Bytes(StagingTexts[i], strlen(StagingTexts[i])));
    }
    CHECK(prompt.path == path);
    CHECK(prompt.Text(IDOK) == OkButtonText);
    CHECK(prompt.Text(IDCANCEL) == ExitButtonText);
    CHECK(prompt.focusId == IDC_PATH);
    CHECK(prompt.ownerClass == BackdropClass);
}

TEST_CASE("a staging directory that cannot be made ready: the prompt; Exit ends with 0, nothing copied")
{
    static const struct {
        const char *tempdir, *tempspace;
    } cases[] = {
        {"Q:\\STAGE", 0},               // a drive that does not exist
        {"C:\\NOSPACE", "2000000000"},  // far more kilobytes than the drive has free
    };
    for (const auto &c : cases) {
        INFO("tempdir ", c.tempdir);
        Flow f("noprep", c.tempdir, c.tempspace);
        RunResult run;
        RunSetup(&f.medium, "", {{PROMPT_EXIT}}, &run);
        REQUIRE(run.dialogs.size() == 1u);
        CheckStagingPrompt(run.dialogs[0], c.tempdir);
        CHECK(run.sawBackdrop);
        CHECK(run.exitCode == 0u);
        CHECK_FALSE(run.haveRecord);
        CHECK_FALSE(FileExists(c.tempdir));
    }
}

TEST_CASE("a usable path typed into the prompt, with blanks around it or not: the second phase starts from it")
{
    for (const char *blanks : {"", "  "}) {
        INFO("blanks \"", blanks, "\"");
        Flow f("typed", "Q:\\STAGE", "10");
        std::string typed = blanks + Lower(f.staging) + blanks;
        RunResult run;
        RunSetup(&f.medium, "", {{PROMPT_TYPE, typed, true}}, &run);
        REQUIRE(run.dialogs.size() == 1u);
        CheckStagingPrompt(run.dialogs[0], "Q:\\STAGE");
        // The field shows what is typed in capitals.
        CHECK(run.dialogs[0].typed == Upper(typed));
        CHECK(run.exitCode == 1u);
        CHECK(FileExists(f.staging + "\\PHASE2.EXE"));
        REQUIRE(run.haveRecord);
        CHECK(Upper(run.record.currentDir) == Upper(f.staging));
        CHECK(Upper(run.record.commandLine).find(Upper(f.staging) + "\\PHASE2.EXE") == 0);
    }
}

TEST_CASE("two failures in a row: the prompt twice, the second where the first was left")
{
    Flow f("twice", "Q:\\STAGE", 0);
    RunResult run;
    RunSetup(&f.medium, "", {RunAction(PROMPT_TYPE, "q:\\other", true).MovedTo(37, 21), {PROMPT_EXIT, "", true}}, &run);
    REQUIRE(run.dialogs.size() == 2u);
    CheckStagingPrompt(run.dialogs[0], "Q:\\STAGE");
    const RECT &first = run.dialogs[0].rect;
    const int w = first.right - first.left, h = first.bottom - first.top;
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    INFO("dialog ", w, "x", h, " on ", sw, "x", sh);
    CHECK(first.left == (sw > w ? (sw - w) / 2 : 0));
    CHECK(first.top == (sh > h ? (sh - h) / 3 : 0));

    CheckStagingPrompt(run.dialogs[1], "Q:\\OTHER");
    CHECK(run.dialogs[1].rect.left == 37);
    CHECK(run.dialogs[1].rect.top == 21);
    CHECK(run.dialogs[1].rect.right - run.dialogs[1].rect.left == w);
    CHECK(run.exitCode == 0u);
    CHECK_FALSE(run.haveRecord);
}
