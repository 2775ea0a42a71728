// Add-on mode end to end: without an installed product and with Exit in
// the prompt, the run ends in the failure report.
#include <windows.h>

#include "e2e.h"
#include "registry.h"
#include "resource.h"
#include "testing.h"
#include "texts.h"

TEST_CASE("add-on mode with Exit in the prompt reports that the add-on was not installed")
{
    // No plan, or a target with the add-on code: both choose the add-on mode.
    // Exit is chosen with the button or with the Escape key.
    static const struct {
        const char *plan;
        bool escape;
    } cases[] = {{0, false}, {"[phasetwo]\r\ntarget=S\r\n", true}, {"[phasetwo]\r\ntarget=4+S+N\r\n", false}};
    for (const auto &c : cases) {
        INFO("plan [", Text(c.plan), "]");
        // The add-on mode opens the product's settings, which makes their keys.
        CleanSettings();
        Medium medium;
        REQUIRE(MediumCreate(&medium, "addon"));
        if (c.plan) REQUIRE(MediumWritePlan(&medium, c.plan));
        RunResult run;
        RunSetup(&medium, "", {{PROMPT_EXIT, "", c.escape}, {BOX_OK, "", true}}, &run);
        REQUIRE(run.dialogs.size() == 2u);
        // The directory prompt comes first, in its add-on wording.
        const SeenDialog &prompt = run.dialogs[0];
        CHECK_FALSE(prompt.messageBox);
        CHECK(prompt.caption == PromptCaption);
        CHECK(prompt.Text(IDC_TEXT_ENGLISH) == AddOnTexts[0]);
        CHECK(prompt.path == "");
        const SeenDialog &report = run.dialogs[1];
        CHECK(report.messageBox);
        CHECK(report.caption == PromptCaption);
        CHECK(report.Text(0xFFFF) == AddOnFailedText);
        CHECK(report.icon == (UINT)MB_ICONEXCLAMATION);
        CHECK(run.exitCode == 0u);
        CHECK_FALSE(run.haveRecord);
        CleanSettings();
    }
}
