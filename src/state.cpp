#include "state.h"

PhaseTwoPlanRecord PhaseTwoPlan = {"", "", "", "", "", 0, {0, {}}, ' '};
char SourceDirectory[PATH_SIZE];
char TargetDirectory[PATH_SIZE];
int AdministratorFlag;

const PlanKey PlanKeys[PLAN_KEY_COUNT] = {
    {"target", PhaseTwoPlan.target, sizeof PhaseTwoPlan.target, PLAN_VALUE_TEXT},
    {"copyfiles", PhaseTwoPlan.copyfiles, sizeof PhaseTwoPlan.copyfiles, PLAN_VALUE_LIST},
    {"renameto", PhaseTwoPlan.renameto, sizeof PhaseTwoPlan.renameto, PLAN_VALUE_LIST},
    {"tempdir", TargetDirectory, sizeof TargetDirectory, PLAN_VALUE_PATH},
    {"tempspace", PhaseTwoPlan.tempspaceText, sizeof PhaseTwoPlan.tempspaceText, PLAN_VALUE_TEXT},
    {"run", PhaseTwoPlan.run, sizeof PhaseTwoPlan.run, PLAN_VALUE_TEXT},
};

int SetSourceDirectory(const char *moduleName, unsigned long length)
{
    SourceDirectory[0] = '\0';
    if (length == 0 || length >= PATH_SIZE) return 0;
    if (!CopyText(SourceDirectory, PATH_SIZE, moduleName)) {
        SourceDirectory[0] = '\0';
        return 0;
    }
    DirectoryPart(SourceDirectory);
    return 1;
}

#ifdef _WIN32
HINSTANCE ProgramInstance;
#endif
