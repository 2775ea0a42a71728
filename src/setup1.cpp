#include "setup1.h"

#include <limits.h>

size_t TargetEntryLength(const char *text)
{
    size_t length = 0;
    while (text[length] != '\0' && text[length] != '+' && text[length] != ' ') ++length;
    return length;
}

int ParseTargetCodesInto(TargetListRecord *list, char *edition, const char *text)
{
    for (const char *entry = text;; entry += TargetEntryLength(entry) + 1) {
        size_t length = TargetEntryLength(entry);
        for (size_t i = 0; i < length; ++i)
            if (entry[i] == '3' || entry[i] == '4' || entry[i] == 'N') *edition = entry[i];
        // Entries past the last slot and characters past an entry's room
        // are dropped.
        if (list->count < TARGET_SLOTS) {
            char *slot = list->entries[list->count];
            size_t kept = length < TARGET_CODE_SIZE - 1 ? length : TARGET_CODE_SIZE - 1;
            for (size_t i = 0; i < kept; ++i) slot[i] = entry[i];
            slot[kept] = '\0';
            ++list->count;
        }
        if (entry[length] != '+') break;
    }
    return 1;
}

int ParseTargetCodes(const char *text)
{
    return ParseTargetCodesInto(&PhaseTwoPlan.TargetList, &PhaseTwoPlan.EditionLetter, text);
}

int IsLetterOrDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// 1 when c is among the letters and digits that code starts with.
static int CodeContains(const char *code, char c)
{
    for (; IsLetterOrDigit(*code); ++code)
        if (*code == c) return 1;
    return 0;
}

int TargetListHas(const TargetListRecord *list, const char *code)
{
    for (int i = 0; i < list->count && i < TARGET_SLOTS; ++i) {
        const char *entry = list->entries[i];
        int matches = 1;
        for (; IsLetterOrDigit(*entry); ++entry)
            if (!CodeContains(code, *entry)) {
                matches = 0;
                break;
            }
        if (matches) return 1;
    }
    return 0;
}

int HasTargetCode(const char *code) { return TargetListHas(&PhaseTwoPlan.TargetList, code); }

void FitPlanValue(char *value, size_t size, int kind)
{
    if (TextLength(value) < size) return;
    // A cut path would name another folder, and a list's cut last entry
    // another file.
    int atComma = value[size - 1] == ',';
    value[size - 1] = '\0';
    if (kind == PLAN_VALUE_PATH) value[0] = '\0';
    if (kind != PLAN_VALUE_LIST || atComma) return;
    char *last = FindLastChar(value, ',');
    if (last)
        *last = '\0';
    else
        value[0] = '\0';
}

int ScanTempSpace(const char *text, const char **digits, const char **end)
{
    const char *p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    int negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    *digits = p;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > (long long)INT_MAX + 1) value = (long long)INT_MAX + 1;
    }
    *end = p;
    if (negative) return value > INT_MAX ? INT_MIN : -(int)value;
    return value > INT_MAX ? INT_MAX : (int)value;
}

int TempSpaceValue(const char *text)
{
    const char *digits, *end;
    return ScanTempSpace(text, &digits, &end);
}

int JudgePlatform(unsigned long processorType, unsigned long major, unsigned long minor)
{
    switch (processorType) {
    case 386:
    case 486:
    case 586:
        return major == 3 && minor <= 50 ? PLATFORM_TOO_OLD : PLATFORM_ACCEPTED;
    case 601:
    case 603:
    case 604:
    case 620:
    case 4000:
    case 21064:
        return PLATFORM_ACCEPTED;
    default:
        return PLATFORM_REFUSED;
    }
}

int DllGuardSteps(unsigned long major, int haveDefaultDllDirectories, int haveSetDllDirectory)
{
    // Windows 95, 98 and ME and NT before 2000 load none of the DLLs that a
    // medium's folder could plant by name, and offer none of the means.
    if (major < 5) return DLL_GUARD_NONE;
    // Only the system folder is searched: the plain answer where there is one.
    if (haveDefaultDllDirectories) return DLL_GUARD_SYSTEM_ONLY;
    // Otherwise the program's own folder stays first in the search; DLLs
    // loaded from the system folder beforehand are found by name instead.
    return DLL_GUARD_PRELOAD | (haveSetDllDirectory ? DLL_GUARD_NO_CURRENT : 0);
}

int VersionValue(const char *text)
{
    unsigned int value = 0;  // wraps modulo 2^32 like the 32-bit original
    for (; *text; ++text)
        if (*text >= '0' && *text <= '9') value = value * 10u + (unsigned)(*text - '0');
    return (int)value;
}

void UpperCaseAscii(char *text)
{
    // The second byte of a two-byte character is no letter.
    for (; *text; text = NextCharacter(text))
        if (*text >= 'a' && *text <= 'z') *text = (char)(*text - 'a' + 'A');
}

void CutUserFolder(char *directory)
{
    // Only a whole "\USER" component is the per-user folder; C:\USERDATA is not.
    // A "\" that is the second byte of a two-byte character starts none.
    for (char *p = directory; *p; p = NextCharacter(p)) {
        if (*p == '\\' && FindInText(p, "\\USER") == p && (p[5] == '\0' || p[5] == '\\')) {
            *p = '\0';
            return;
        }
    }
}

const char *SkipProgramName(const char *line)
{
    if (*line == '"') {
        for (++line; *line && *line != '"'; ++line) {}
        if (*line) ++line;
    } else {
        // Bytes without a sign: one above 0x7F (an accent, a two-byte
        // character) is part of the name.
        while ((unsigned char)*line > ' ') ++line;
    }
    while (*line == ' ' || *line == '\t') ++line;
    return line;
}

#ifdef _WIN32
#include "backdrop.h"
#include "prompt.h"
#include "settings/settings.h"
#include "staging.h"

// DLLs that the system's own DLLs load by name later on, when a window opens
// or a file is touched.
static const char *const LateLoadedDlls[] = {
    "UXTHEME.DLL",   "DWMAPI.DLL",  "VERSION.DLL", "USERENV.DLL", "SETUPAPI.DLL", "PROPSYS.DLL",
    "CRYPTBASE.DLL", "APPHELP.DLL", "OLEACC.DLL",  "CLBCATQ.DLL", "NTMARTA.DLL",  "PROFAPI.DLL",
};

void GuardDllSearch()
{
    const LateFunctionsRecord &late = LateFunctions();
    BOOL(WINAPI * setDefault)(DWORD) = late.SetDefaultDllDirectories;
    BOOL(WINAPI * setDirectory)(LPCSTR) = late.SetDllDirectoryA;
    unsigned long major = WindowsVersion().major;
    int steps = DllGuardSteps(major, setDefault != 0, setDirectory != 0);
    const DWORD searchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    if ((steps & DLL_GUARD_SYSTEM_ONLY) && !setDefault(searchSystem32))
        steps = DllGuardSteps(major, 0, setDirectory != 0);
    if (steps & DLL_GUARD_NO_CURRENT) setDirectory("");
    if (!(steps & DLL_GUARD_PRELOAD)) return;
    char system[PATH_SIZE], path[PATH_SIZE];
    UINT length = GetSystemDirectoryA(system, sizeof system);
    if (length == 0 || length >= sizeof system) return;
    for (const char *name : LateLoadedDlls)
        if (JoinPathInto(path, sizeof path, system, name)) LoadLibraryA(path);
}

static const char PlanSection[] = "phasetwo";

int ReadPhaseTwoPlan()
{
    char planPath[PATH_SIZE];
    // A plan path that does not fit is read as no plan at all.
    JoinPathInto(planPath, sizeof planPath, SourceDirectory, "SETUP1.INF");
    // One byte more than the largest buffer tells a value that fits exactly
    // from one that the profile reader had to cut.
    char value[PLAN_TEXT_SIZE + 1];
    for (const PlanKey &k : PlanKeys) {
        value[0] = '\0';
        if (planPath[0]) GetPrivateProfileStringA(PlanSection, k.name, "", value, (DWORD)k.size + 1, planPath);
        value[k.size] = '\0';
        FitPlanValue(value, k.size, k.kind);
        CopyText(k.buffer, k.size, value);
    }
    ParseTargetCodes(PhaseTwoPlan.target);
    PhaseTwoPlan.tempspace = TempSpaceValue(PhaseTwoPlan.tempspaceText);
    return PhaseTwoPlan.tempspace;
}

int CheckPlatform()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
#ifdef _WIN64
    // The 64-bit build only runs the tests; the 32-bit program that ships is
    // told a Pentium on the same machine.
    system.dwProcessorType = PROCESSOR_INTEL_PENTIUM;
#endif
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    // Windows NT 3.1, which is to be refused politely, has no GetVersionExA.
    if (LateFunctions().GetVersionExA) {
        // A failed query leaves the version at 0.0, which is accepted.
        LateFunctions().GetVersionExA(&version);
    } else {
        version.dwMajorVersion = WindowsVersion().major;
        version.dwMinorVersion = WindowsVersion().minor;
    }
    switch (JudgePlatform(system.dwProcessorType, version.dwMajorVersion, version.dwMinorVersion)) {
    case PLATFORM_TOO_OLD:
        MessageBoxA(0,
                    "ZEV! does not run on your version of NT software.  You must be running NT "
                    "version 3.51 (or newer) or Windows 95.",
                    "Error", MB_OK | MB_ICONHAND);
        return 0;
    case PLATFORM_REFUSED:
        return 0;
    }
    AdministratorFlag = IsAdministrator();
    return 1;
}

int IsAdministrator()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_READ, &token)) return 0;
    DWORD groupsBuffer[1024 / sizeof(DWORD)];
    DWORD needed = 0;
    BOOL haveGroups = GetTokenInformation(token, TokenGroups, groupsBuffer, sizeof groupsBuffer, &needed);
    CloseHandle(token);
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID administrators;
    if (!haveGroups || !AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                                 0, 0, 0, 0, 0, 0, &administrators))
        return 0;
    const TOKEN_GROUPS *groups = reinterpret_cast<const TOKEN_GROUPS *>(groupsBuffer);
    int result = 0;
    for (DWORD i = 0; i < groups->GroupCount && !result; ++i)
        if (EqualSid(administrators, groups->Groups[i].Sid)) result = 1;
    FreeSid(administrators);
    return result;
}

int FindInstalledProduct()
{
    char productName[128], applicationName[128], versionName[64];
    char bestVersion[64] = "";
    int bestValue = 0;
    HGLOBAL walk = BeginInstalledEnum("ZEV!", "ZODOZ", "");
    while (NextInstalled(walk, productName, sizeof productName, applicationName, sizeof applicationName, versionName,
                         sizeof versionName)) {
        int value = VersionValue(versionName);
        if (bestValue < value) {
            bestValue = value;
            CopyText(bestVersion, sizeof bestVersion, versionName);
        }
    }
    EndInstalledEnum(walk);

    OpenSettings("ZEV!", "ZODOZ", bestVersion, AdministratorFlag);
    char directory[PATH_SIZE];
    ReadSetting(SETTING_DIRECTORY, "", directory, sizeof directory);
    directory[sizeof directory - 1] = '\0';
    UpperCaseAscii(directory);
    if (directory[0] == '\0') return 0;
    CutUserFolder(directory);
    CopyText(TargetDirectory, sizeof TargetDirectory, directory);
    return 1;
}

static int RunNormalMode(const char *commandLine)
{
    GuardStagingFolders();
    for (;;) {
        int claim;
        while ((claim = PrepareTargetDirectory() ? ClaimStagingFolder() : CLAIM_NOT_READY) == CLAIM_NOT_READY)
            if (!PromptForDirectory(PROMPT_STAGING)) return 0;
        // Another run stages there now and starts the second phase itself.
        if (claim == CLAIM_BUSY) return 0;
        int staged = StageFiles();
        if (staged == STAGE_DONE) break;
        // A disk that filled up during the copy, or a file there that stays
        // (in use), is a target the list does not fit: the user may pick
        // another. Other faults end the run.
        if (staged != STAGE_ELSEWHERE || !PromptForDirectory(PROMPT_STAGING)) return 0;
    }
    // A second phase that did not start has been said; nothing was started.
    return LaunchPhaseTwo(commandLine) ? 1 : 0;
}

static int RunAddOnMode()
{
    FindInstalledProduct();
    int installed = PromptForDirectory(PROMPT_ADDON) && PrepareTargetDirectory() && StageFiles() == STAGE_DONE;
    if (installed)
        MessageBoxA(0, "VUZevod RUD installation complete!", "ZEV Setup", MB_OK | MB_ICONINFORMATION);
    else
        MessageBoxA(0, "VUZevod RUD was NOT installed!", "ZEV Setup", MB_OK | MB_ICONEXCLAMATION);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    ProgramInstance = instance;
    char moduleName[PATH_SIZE];
    DWORD length = GetModuleFileNameA(instance, moduleName, sizeof moduleName);
    // Without a trustworthy source directory nothing on the medium can be found.
    if (!SetSourceDirectory(moduleName, length)) return 0;
    if (!CheckPlatform()) return 0;
    if (!CreateBackdrop(instance, previous, show)) return 0;
    ReadPhaseTwoPlan();
    // The first paint came before the plan named the edition, and nothing
    // repaints the backdrop while no dialog is up.
    DrawCornerBitmap(BackdropWindow);
    return HasTargetCode("S") ? RunAddOnMode() : RunNormalMode(commandLine);
}

// The program's own start, in place of the C runtime's start-up code, which
// would be a fifth of the program's size; the runtime library itself (msvcrt)
// needs no start-up of ours.
extern "C" void WINAPI Setup1Start()
{
    // Before anything can load a DLL by name.
    GuardDllSearch();
    char *line = GetCommandLineA();
    line += SkipProgramName(line) - line;
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess(WinMain(GetModuleHandleA(0), 0, line, show));
}
#endif
