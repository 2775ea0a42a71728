// The first phase's driver: entry, plan, platform check, the two modes and
// the installed-product lookup.
#pragma once
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

// The plan, section [phasetwo] of SETUP1.INF.
extern char PlanTarget[TARGET_TEXT_SIZE];
extern char PlanCopyFiles[PLAN_TEXT_SIZE];
extern char PlanRenameTo[PLAN_TEXT_SIZE];
extern char PlanTempSpaceText[PLAN_TEXT_SIZE];
extern char PlanRun[PLAN_TEXT_SIZE];
extern int PlanTempSpace;  // kilobytes
extern TargetListRecord TargetList;
extern char EditionLetter;  // '3', '4', 'N' or ' '

// The staging directory in the normal mode, the product directory in the
// add-on mode.
extern char TargetDirectory[PATH_SIZE];
extern int AdministratorFlag;

// Appends the entries of a target text to TargetList and notes the edition.
// Entries past the last slot and characters past an entry's 15 are dropped.
int ParseTargetCodes(const char *text);
// 1 when some entry of TargetList matches the code string.
int HasTargetCode(const char *code);
enum { PLAN_VALUE_TEXT, PLAN_VALUE_LIST, PLAN_VALUE_PATH };
// Makes a plan value that may be longer than its buffer of size bytes fit
// it. value holds at most size characters (a buffer of size + 1 bytes); a
// value of size characters was cut by the profile reader. A text is cut to
// size - 1 characters, a list keeps its whole entries only, a path that
// does not fit becomes empty.
void FitPlanValue(char *value, size_t size, int kind);
// Decimal value of a tempspace text; values beyond an int saturate.
int TempSpaceValue(const char *text);

enum PlatformVerdict { PLATFORM_REFUSED = 0, PLATFORM_ACCEPTED = 1, PLATFORM_TOO_OLD = 2 };
// Decision of the platform check for a processor type and Windows version.
int JudgePlatform(unsigned long processorType, unsigned long major, unsigned long minor);

// Value of a version text in the comparison of installed versions: its
// digits alone, as one decimal number, in wrapping 32-bit arithmetic.
int VersionValue(const char *text);
// Upper-cases a to z in place.
void UpperCaseAscii(char *text);
// Cuts a product directory before a "\USER" path component.
void CutUserFolder(char *directory);

#ifdef _WIN32
#include <windows.h>

extern HINSTANCE ProgramInstance;

int ReadPhaseTwoPlan();
int CheckPlatform();
int IsAdministrator();
int FindInstalledProduct();
#endif
