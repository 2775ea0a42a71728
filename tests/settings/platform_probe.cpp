// Runs the platform check in a process of its own, so that the Windows
// version Wine reports can be chosen per program. Prints what the check saw;
// the exit code is the check's result plus 2 for the administrator flag.
#include <stdio.h>
#include <string.h>

#include "setup1.h"

int main()
{
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    int result = CheckPlatform();
    printf("%lu.%lu platform %lu processor %lu result %d administrator %d\n", version.dwMajorVersion,
           version.dwMinorVersion, version.dwPlatformId, system.dwProcessorType, result, AdministratorFlag);
    fflush(stdout);
    return result + 2 * AdministratorFlag;
}
