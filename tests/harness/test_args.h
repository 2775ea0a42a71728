// The test program's own command line, for options that doctest ignores
// (such as --setup1=PATH).
#pragma once
extern int TestArgc;
extern char **TestArgv;
