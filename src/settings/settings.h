// The installed product's settings in the registry, under Software\Tessaric.
#pragma once

enum {
    SCOPE_APP = 1,
    SCOPE_COMPAT = 2,
    SCOPE_USER = 4,
    SCOPE_VERSION = 8,
};

enum { SETTING_DIRECTORY = 30, SETTING_KIND_COUNT = 50 };

#ifdef _WIN32
#include <windows.h>

enum { VERSIONED_PATH_SIZE = 64, CONTEXT_APPLICATION_SIZE = 16 };

struct SettingsContextRecord {
    int administratorFlag;
    HKEY defaultUserKey;
    char versionedKeyPath[VERSIONED_PATH_SIZE];
    char applicationName[CONTEXT_APPLICATION_SIZE];
};
extern SettingsContextRecord SettingsContext;

int OpenSettings(const char *product, const char *application, const char *version, int administratorFlag);
int ReadSetting(int kind, const char *defaultText, char *buffer, int size);
int ReadScopedValue(int scope, const char *valueName, const char *defaultText, char *buffer, int size);
// Gives the root key, sub-key path (PATH_SIZE bytes) and value name (PATH_SIZE
// bytes) of a scope for an attempt; 0 when the attempt has no key.
int ResolveSettingKey(int scope, const char *valueName, int attempt, HKEY *root, char *subKey, char *name);
int EnsureSettingKey(int scope);

HGLOBAL BeginInstalledEnum(const char *productFilter, const char *applicationFilter, const char *versionFilter);
int NextInstalled(HGLOBAL walk, char *product, int productSize, char *application, int applicationSize,
                  char *version, int versionSize);
void EndInstalledEnum(HGLOBAL walk);
void ShowAssertion(const char *moduleText, int line);
#endif
