// The program's state: one home for what every subsystem may read. Filled
// by the driver at start-up and by the subsystems as the run goes on.
#pragma once
#include <stddef.h>

#include "paths.h"

enum {
    TARGET_TEXT_SIZE = 260,
    PLAN_TEXT_SIZE = 512,
    TARGET_SLOTS = 5,
    TARGET_CODE_SIZE = 16,  // 15 characters and the terminator
};

struct TargetListRecord {
    int count;
    char entries[TARGET_SLOTS][TARGET_CODE_SIZE];
};

// The plan, section [phasetwo] of SETUP1.INF, and what is parsed from it.
struct PhaseTwoPlanRecord {
    char target[TARGET_TEXT_SIZE];
    char copyfiles[PLAN_TEXT_SIZE];
    char renameto[PLAN_TEXT_SIZE];
    char tempspaceText[PLAN_TEXT_SIZE];
    char run[PLAN_TEXT_SIZE];
    int tempspace;  // kilobytes
    TargetListRecord TargetList;
    char EditionLetter;  // '3', '4', 'N' or ' '
};
extern PhaseTwoPlanRecord PhaseTwoPlan;

// The directory the program was started from, without its file name.
extern char SourceDirectory[PATH_SIZE];
// The staging directory in the normal mode, the product directory in the
// add-on mode.
extern char TargetDirectory[PATH_SIZE];
extern int AdministratorFlag;

// How a plan value longer than its buffer is made to fit (FitPlanValue).
enum { PLAN_VALUE_TEXT, PLAN_VALUE_LIST, PLAN_VALUE_PATH };
struct PlanKey {
    const char *name;  // the key in [phasetwo]
    char *buffer;      // where its value goes
    size_t size;       // that buffer's size
    int kind;          // PLAN_VALUE_*
};
enum { PLAN_TARGET, PLAN_COPYFILES, PLAN_RENAMETO, PLAN_TEMPDIR, PLAN_TEMPSPACE, PLAN_RUN, PLAN_KEY_COUNT };
// The plan's keys in the order they are read.
extern const PlanKey PlanKeys[PLAN_KEY_COUNT];

// Fill SourceDirectory from the module file name and the length that
// GetModuleFileNameA returned for a PATH_SIZE buffer. A name that filled the
// buffer may be cut or unterminated, so it is refused: SourceDirectory is
// left empty and 0 returned.
int SetSourceDirectory(const char *moduleName, unsigned long length);

#ifdef _WIN32
#include <windows.h>

extern HINSTANCE ProgramInstance;

// The functions that not every supported Windows has, looked up once (the
// first call of LateFunctions) and never imported: an import that a loader
// can't find keeps the program from starting at all. A pointer is 0 where
// this Windows lacks its function.
struct LateFunctionsRecord {
    BOOL(WINAPI *GetVersionExA)(OSVERSIONINFOA *);                            // kernel32, from NT 3.5
    BOOL(WINAPI *SetDllDirectoryA)(LPCSTR);                                   // kernel32, from XP SP1
    BOOL(WINAPI *SetDefaultDllDirectories)(DWORD);                            // kernel32, from 8 (7 updated)
    int(WINAPI *MultiByteToWideChar)(UINT, DWORD, LPCSTR, int, LPWSTR, int);  // kernel32
    BOOL(WINAPI *SetDlgItemTextW)(HWND, int, LPCWSTR);  // user32: the first Windows 95 may lack it
    // advapi32: Windows 95 keeps no security
    BOOL(WINAPI *GetKernelObjectSecurity)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
};
const LateFunctionsRecord &LateFunctions();

// The Windows version as GetVersion packs it.
struct WindowsVersionRecord {
    unsigned major, minor;
    int nt;  // the NT family (NT, 2000 and later), not Windows 95, 98 or Me
};
WindowsVersionRecord WindowsVersion();
#endif
