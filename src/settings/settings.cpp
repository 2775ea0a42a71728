#include "settings/settings.h"

#ifdef _WIN32
SettingsContextRecord SettingsContext;

// Placeholders until the settings store is built: nothing is installed.
int OpenSettings(const char *, const char *, const char *, int administratorFlag)
{
    SettingsContext.administratorFlag = administratorFlag;
    return 0;
}

int ReadSetting(int, const char *defaultText, char *buffer, int size)
{
    if (size > 0) lstrcpynA(buffer, defaultText, size);
    return 0;
}

int ReadScopedValue(int, const char *, const char *defaultText, char *buffer, int size)
{
    return ReadSetting(0, defaultText, buffer, size);
}

int ResolveSettingKey(int, const char *, int, HKEY *, char *, char *) { return 0; }
int EnsureSettingKey(int) { return 0; }
HGLOBAL BeginInstalledEnum(const char *, const char *, const char *) { return 0; }
int NextInstalled(HGLOBAL, char *, int, char *, int, char *, int) { return 0; }
void EndInstalledEnum(HGLOBAL) {}
void ShowAssertion(const char *, int) {}
#endif
