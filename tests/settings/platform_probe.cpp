// Runs the platform check in a process of its own, so that the Windows
// version Wine reports can be chosen per program. Writes what the check saw
// to the file named on its command line; the exit code is the check's
// result plus 2 for the administrator flag.
#include <stdio.h>
#include <string.h>

#include "setup1.h"

int main(int argc, char **argv)
{
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    int result = CheckPlatform();
    FILE *out = argc == 2 ? fopen(argv[1], "w") : 0;
    if (!out) return 99;
    fprintf(out, "%lu.%lu platform %lu processor %lu result %d administrator %d\n", version.dwMajorVersion,
            version.dwMinorVersion, version.dwPlatformId, system.dwProcessorType, result, AdministratorFlag);
    fclose(out);
    return result + 2 * AdministratorFlag;
}
