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

// The DLL and name of each pointer of LateFunctionsRecord, in its order.
static const struct {
    const char *module, *name;
} LateNames[] = {
    {"KERNEL32", "GetVersionExA"},       {"KERNEL32", "SetDllDirectoryA"}, {"KERNEL32", "SetDefaultDllDirectories"},
    {"KERNEL32", "MultiByteToWideChar"}, {"USER32", "SetDlgItemTextW"},    {"ADVAPI32", "GetKernelObjectSecurity"},
};
static_assert(sizeof(LateFunctionsRecord) == sizeof LateNames / sizeof LateNames[0] * sizeof(void *),
              "one name for each late-bound function");

const LateFunctionsRecord &LateFunctions()
{
    static LateFunctionsRecord found;
    static int looked;
    if (!looked) {
        looked = 1;
        FARPROC *slot = (FARPROC *)(void *)&found;
        for (const auto &late : LateNames) {
            // Each of the three DLLs is imported, so loaded already.
            HMODULE module = GetModuleHandleA(late.module);
            *slot++ = module ? GetProcAddress(module, late.name) : 0;
        }
    }
    return found;
}

WindowsVersionRecord WindowsVersion()
{
    DWORD packed = GetVersion();
    return {LOBYTE(LOWORD(packed)), HIBYTE(LOWORD(packed)), !(packed & 0x80000000)};
}
#endif
