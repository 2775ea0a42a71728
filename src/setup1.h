// The first phase's driver: entry, plan, platform check, the two modes and
// the installed-product lookup.
#pragma once
#include "paths.h"
#include "state.h"

// Length of the target entry at text: up to "+", a blank or the end. The
// target codes end at the first blank.
size_t TargetEntryLength(const char *text);
// Appends the entries of a target text to a target list and notes the
// edition in *edition. Entries past the last slot and characters past an
// entry's 15 are dropped.
int ParseTargetCodesInto(TargetListRecord *list, char *edition, const char *text);
// 1 when some entry of the list matches the code string.
int TargetListHas(const TargetListRecord *list, const char *code);
// ParseTargetCodesInto and TargetListHas on the plan's own list.
int ParseTargetCodes(const char *text);
int HasTargetCode(const char *code);
// 1 for an ASCII digit or letter: the characters that take part in matching.
int IsLetterOrDigit(char c);
// Makes a plan value that may be longer than its buffer of size bytes fit
// it. value holds at most size characters (a buffer of size + 1 bytes); a
// value of size characters was cut by the profile reader. A text is cut to
// size - 1 characters, a list keeps its whole entries only, a path that
// does not fit becomes empty.
void FitPlanValue(char *value, size_t size, int kind);
// Decimal value of a tempspace text; values beyond an int saturate.
int TempSpaceValue(const char *text);
// TempSpaceValue that also tells where its digits begin and end (equal when
// the text holds no number).
int ScanTempSpace(const char *text, const char **digits, const char **end);

enum PlatformVerdict { PLATFORM_REFUSED = 0, PLATFORM_ACCEPTED = 1, PLATFORM_TOO_OLD = 2 };
// Decision of the platform check for a processor type and Windows version.
int JudgePlatform(unsigned long processorType, unsigned long major, unsigned long minor);

// What the program does against DLLs planted beside it, as DLL_GUARD_* bits,
// for the Windows major version and the kernel32 functions it offers.
enum { DLL_GUARD_NONE = 0, DLL_GUARD_SYSTEM_ONLY = 1, DLL_GUARD_NO_CURRENT = 2, DLL_GUARD_PRELOAD = 4 };
int DllGuardSteps(unsigned long major, int haveDefaultDllDirectories, int haveSetDllDirectory);

// Value of a version text in the comparison of installed versions: its
// digits alone, as one decimal number, in wrapping 32-bit arithmetic.
int VersionValue(const char *text);
// Upper-cases a to z in place.
void UpperCaseAscii(char *text);
// Cuts a product directory before a "\USER" path component.
void CutUserFolder(char *directory);

// The program's own command line after its name (quoted or not) and the
// blanks that follow it.
const char *SkipProgramName(const char *line);

#ifdef _WIN32
#include <windows.h>

// Keeps the system's own DLLs from being loaded out of the program's folder.
void GuardDllSearch();
int ReadPhaseTwoPlan();
int CheckPlatform();
int IsAdministrator();
int FindInstalledProduct();
#endif
