// The installed product's settings in the registry, under Software\Tessaric.
#pragma once
#include <stddef.h>

enum {
    SCOPE_APP = 1,
    SCOPE_COMPAT = 2,
    SCOPE_USER = 4,
    SCOPE_VERSION = 8,
};

// The product numbers its settings' kinds from 0 to 49; this program reads
// only the directory, under the product's own number for it.
enum { SETTING_DIRECTORY = 30 };

enum {
    VERSIONED_PATH_SIZE = 64,       // 63 characters and the terminator
    CONTEXT_APPLICATION_SIZE = 16,  // 15 characters and the terminator
    SETTING_KEY_SIZE = 256,         // a resolved sub-key path or value name
    WALK_PRODUCT_SIZE = 256,
    WALK_VERSION_SIZE = 64,
    WALK_APPLICATION_FILTER_SIZE = 256,
    WALK_APPLICATION_SIZE = 320,
};

// The lines that the assertion box names for a walk's filter that does not
// fit its field. They are part of the text the user sees, not lines of this
// file, and stay as they are.
enum { ASSERT_PRODUCT_FILTER = 1130, ASSERT_VERSION_FILTER = 1137, ASSERT_APPLICATION_FILTER = 1144 };

// The tries of ResolveSettingKey. A read goes from ATTEMPT_FIRST up until a
// try has no key; ATTEMPT_ADMINISTRATOR is where OpenSettings makes the keys
// for an administrator.
enum {
    ATTEMPT_ADMINISTRATOR = -1,  // HKEY_USERS\.DEFAULT for a per-user scope, else HKEY_LOCAL_MACHINE
    ATTEMPT_FIRST = 0,           // HKEY_CURRENT_USER for a per-user scope, else HKEY_LOCAL_MACHINE
    ATTEMPT_DEFAULT_USER = 1,    // HKEY_USERS\.DEFAULT for a per-user scope, else none
    ATTEMPT_NONE_LEFT = 2,       // none for a per-user scope
};

extern const char SettingsRootKey[];  // "Software\Tessaric"
// The module the assertion box names, with its revision, as the user sees it.
extern const char SettingsModuleText[];

// "Software\Tessaric\PRODUCT\VERSION\" into path. 0, with path empty, when it
// does not fit size bytes: a cut path would name another version's key.
int ComposeVersionedPath(char *path, size_t size, const char *product, const char *version);
// Blanks become dots: registry names of this layout hold no blanks.
void BlanksToDots(char *text);
// An empty filter matches every name; otherwise byte for byte, with case.
int FilterMatches(const char *filter, const char *name);
// Scope and value name of a setting kind; 0 for a kind that is not read.
int SettingKind(int kind, int *scope, const char **valueName);
// The assertion box's text for a module and line, cut to size - 1.
void ComposeAssertionText(char *text, size_t size, const char *moduleText, int line);

#ifdef _WIN32
#include <windows.h>

struct SettingsContextRecord {
    int administratorFlag;
    HKEY defaultUserKey;
    char versionedKeyPath[VERSIONED_PATH_SIZE];
    char applicationName[CONTEXT_APPLICATION_SIZE];
    int usable;  // 0 until an OpenSettings whose path and name fit
};
extern SettingsContextRecord SettingsContext;

// Returns 1 when the default-user key is open afterwards. A product, version
// or application that does not fit the context is refused: the context is
// left unusable (reads give their default), nothing is created, result 0.
int OpenSettings(const char *product, const char *application, const char *version, int administratorFlag);
int ReadSetting(int kind, const char *defaultText, char *buffer, int size);
int ReadScopedValue(int scope, const char *valueName, const char *defaultText, char *buffer, int size);
// Root key, sub-key path and value name (SETTING_KEY_SIZE bytes each) of a
// scope for an ATTEMPT_*; 0 when the attempt has no key (or the names do not fit).
int ResolveSettingKey(int scope, const char *valueName, int attempt, HKEY *root, char *subKey, char *name);
int EnsureSettingKey(int scope);

HGLOBAL BeginInstalledEnum(const char *productFilter, const char *applicationFilter, const char *versionFilter);
int NextInstalled(HGLOBAL walk, char *product, int productSize, char *application, int applicationSize, char *version,
                  int versionSize);
void EndInstalledEnum(HGLOBAL walk);
void ShowAssertion(const char *moduleText, int line);
#endif
