#include "settings/settings.h"

#include "paths.h"

const char SettingsRootKey[] = "Software\\Tessaric";
const char SettingsModuleText[] = "..\\src\\settings $Revision: 5 $";

// Of the product's settings this program reads only the directory.
static const struct {
    int kind;
    int scope;
    const char *valueName;
} SettingKinds[] = {
    {SETTING_DIRECTORY, SCOPE_VERSION | SCOPE_USER | SCOPE_APP, "Directory"},
};

int SettingKind(int kind, int *scope, const char **valueName)
{
    for (const auto &row : SettingKinds)
        if (row.kind == kind) {
            *scope = row.scope;
            *valueName = row.valueName;
            return 1;
        }
    return 0;
}

int ComposeVersionedPath(char *path, size_t size, const char *product, const char *version)
{
    if (size == 0) return 0;
    path[0] = '\0';
    int fits = CopyText(path, size, SettingsRootKey) && AppendText(path, size, "\\") &&
               AppendText(path, size, product) && AppendText(path, size, "\\") && AppendText(path, size, version) &&
               AppendText(path, size, "\\");
    if (!fits) path[0] = '\0';
    return fits;
}

void BlanksToDots(char *text)
{
    for (; *text; ++text)
        if (*text == ' ') *text = '.';
}

int FilterMatches(const char *filter, const char *name) { return filter[0] == '\0' || SameText(filter, name); }

void ComposeAssertionText(char *text, size_t size, const char *moduleText, int line)
{
    CopyText(text, size, "Assertion failure in module ");
    AppendText(text, size, moduleText);
    AppendText(text, size, " at line ");
    AppendNumber(text, size, line);
}

#ifdef _WIN32
SettingsContextRecord SettingsContext;

int ResolveSettingKey(int scope, const char *valueName, int attempt, HKEY *root, char *subKey, char *name)
{
    if (scope & SCOPE_USER) {
        if (attempt == ATTEMPT_FIRST)
            *root = HKEY_CURRENT_USER;
        else if (attempt == ATTEMPT_NONE_LEFT)
            return 0;
        else
            *root = SettingsContext.defaultUserKey;
    } else {
        if (attempt == ATTEMPT_DEFAULT_USER) return 0;
        *root = HKEY_LOCAL_MACHINE;
    }
    if (!*root) return 0;
    if (!SettingsContext.usable) return 0;
    if (!CopyText(subKey, SETTING_KEY_SIZE, SettingsContext.versionedKeyPath)) return 0;
    const char *leaf = (scope & SCOPE_APP)      ? SettingsContext.applicationName
                       : (scope & SCOPE_COMPAT) ? "Compatibility"
                                                : "";
    if (!AppendText(subKey, SETTING_KEY_SIZE, leaf)) return 0;
    if (!CopyText(name, SETTING_KEY_SIZE, valueName)) return 0;
    BlanksToDots(subKey);
    BlanksToDots(name);
    return 1;
}

int EnsureSettingKey(int scope)
{
    HKEY root, key;
    char subKey[SETTING_KEY_SIZE], name[SETTING_KEY_SIZE];
    if (!ResolveSettingKey(scope, "", SettingsContext.administratorFlag ? ATTEMPT_ADMINISTRATOR : ATTEMPT_FIRST, &root,
                           subKey, name))
        return 0;
    if (RegCreateKeyA(root, subKey, &key) != ERROR_SUCCESS) return 0;
    RegCloseKey(key);
    return 1;
}

int OpenSettings(const char *product, const char *application, const char *version, int administratorFlag)
{
    SettingsContext.administratorFlag = administratorFlag;
    if (!SettingsContext.defaultUserKey) {
        HKEY key;
        if (RegOpenKeyA(HKEY_USERS, ".DEFAULT", &key) == ERROR_SUCCESS) SettingsContext.defaultUserKey = key;
    }
    // A cut path or name would name some other product's keys: refuse instead.
    SettingsContext.usable =
        ComposeVersionedPath(SettingsContext.versionedKeyPath, sizeof SettingsContext.versionedKeyPath, product,
                             version) &&
        CopyText(SettingsContext.applicationName, sizeof SettingsContext.applicationName, application);
    if (!SettingsContext.usable) {
        SettingsContext.versionedKeyPath[0] = '\0';
        SettingsContext.applicationName[0] = '\0';
        return 0;
    }
    static const int scopes[] = {
        SCOPE_VERSION | SCOPE_USER | SCOPE_APP,
        SCOPE_VERSION | SCOPE_APP,
        SCOPE_VERSION | SCOPE_USER | SCOPE_COMPAT,
        SCOPE_VERSION | SCOPE_COMPAT,
    };
    for (int scope : scopes) EnsureSettingKey(scope);
    return SettingsContext.defaultUserKey ? 1 : 0;
}

// One try of a read. The text must end inside the buffer: data that fills it
// without a terminator did not fit.
static int QueryText(HKEY root, const char *subKey, const char *name, char *buffer, int size)
{
    HKEY key;
    if (RegOpenKeyA(root, subKey, &key) != ERROR_SUCCESS) return 0;
    DWORD length = (DWORD)size;
    LONG status = RegQueryValueExA(key, name, 0, 0, (BYTE *)buffer, &length);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return 0;
    if (length < (DWORD)size) {
        buffer[length] = '\0';
        return 1;
    }
    for (int i = 0; i < size; ++i)
        if (buffer[i] == '\0') return 1;
    return 0;
}

int ReadScopedValue(int scope, const char *valueName, const char *defaultText, char *buffer, int size)
{
    if (size <= 0) return 0;
    int found = 0;
    HKEY root;
    char subKey[SETTING_KEY_SIZE], name[SETTING_KEY_SIZE];
    for (int attempt = ATTEMPT_FIRST; !found && ResolveSettingKey(scope, valueName, attempt, &root, subKey, name);
         ++attempt)
        found = QueryText(root, subKey, name, buffer, size);
    if (!found) CopyText(buffer, (size_t)size, defaultText);
    return found;
}

int ReadSetting(int kind, const char *defaultText, char *buffer, int size)
{
    int scope;
    const char *valueName;
    if (!SettingKind(kind, &scope, &valueName)) {
        if (size > 0) CopyText(buffer, (size_t)size, defaultText);
        return 0;
    }
    return ReadScopedValue(scope, valueName, defaultText, buffer, size);
}

void ShowAssertion(const char *moduleText, int line)
{
    char text[PATH_SIZE];
    ComposeAssertionText(text, sizeof text, moduleText, line);
    MessageBoxA(0, text, "Tessaric Setup", MB_OK);
}

struct InstalledEnumRecord {
    char productFilter[WALK_PRODUCT_SIZE];
    char versionFilter[WALK_VERSION_SIZE];
    char applicationFilter[WALK_APPLICATION_FILTER_SIZE];
    HKEY rootKey;
    DWORD productIndex;
    HKEY productKey;
    DWORD versionIndex;
    HKEY versionKey;
    DWORD applicationIndex;
    int secondHivePending;
    char productName[WALK_PRODUCT_SIZE];
    char versionName[WALK_VERSION_SIZE];
    char applicationName[WALK_APPLICATION_SIZE];
};

static void StoreFilter(char *field, size_t size, const char *filter, int line)
{
    if (!filter) filter = "";
    if (TextLength(filter) >= size) ShowAssertion(SettingsModuleText, line);
    CopyText(field, size, filter);
}

static HKEY OpenMakerRoot(HKEY hive)
{
    HKEY key;
    return RegOpenKeyA(hive, SettingsRootKey, &key) == ERROR_SUCCESS ? key : 0;
}

HGLOBAL BeginInstalledEnum(const char *productFilter, const char *applicationFilter, const char *versionFilter)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(InstalledEnumRecord));
    if (!block) return 0;
    InstalledEnumRecord *walk = (InstalledEnumRecord *)GlobalLock(block);
    if (!walk) {
        GlobalFree(block);
        return 0;
    }
    StoreFilter(walk->productFilter, sizeof walk->productFilter, productFilter, ASSERT_PRODUCT_FILTER);
    StoreFilter(walk->versionFilter, sizeof walk->versionFilter, versionFilter, ASSERT_VERSION_FILTER);
    StoreFilter(walk->applicationFilter, sizeof walk->applicationFilter, applicationFilter, ASSERT_APPLICATION_FILTER);
    walk->productIndex = walk->versionIndex = walk->applicationIndex = 0;
    walk->productKey = walk->versionKey = 0;
    walk->productName[0] = walk->versionName[0] = walk->applicationName[0] = '\0';
    walk->secondHivePending = 1;
    walk->rootKey = OpenMakerRoot(HKEY_CURRENT_USER);
    if (!walk->rootKey) {
        walk->secondHivePending = 0;
        walk->rootKey = OpenMakerRoot(HKEY_LOCAL_MACHINE);
    }
    GlobalUnlock(block);
    return block;
}

// Lists the sub-key at *index into name and advances the index. A name too
// long for the buffer passes over that key alone. 0 at the end of the list or
// on any other failure.
static int ListSubKey(HKEY key, DWORD *index, char *name, DWORD size)
{
    for (;;) {
        DWORD length = size;
        LONG status = RegEnumKeyExA(key, (*index)++, name, &length, 0, 0, 0, 0);
        if (status == ERROR_SUCCESS) {
            name[size - 1] = '\0';
            return 1;
        }
        if (status != ERROR_MORE_DATA) {
            name[0] = '\0';
            return 0;
        }
    }
}

static void CloseKey(HKEY *key)
{
    if (*key) RegCloseKey(*key);
    *key = 0;
}

static void CopyOut(char *out, int size, const char *name)
{
    if (out && size > 0) CopyText(out, (size_t)size, name);
}

int NextInstalled(HGLOBAL block, char *product, int productSize, char *application, int applicationSize, char *version,
                  int versionSize)
{
    InstalledEnumRecord *walk = block ? (InstalledEnumRecord *)GlobalLock(block) : 0;
    if (!walk) return 0;
    while (walk->rootKey) {
        if (walk->versionKey) {
            if (!ListSubKey(walk->versionKey, &walk->applicationIndex, walk->applicationName,
                            sizeof walk->applicationName)) {
                CloseKey(&walk->versionKey);
                walk->applicationIndex = 0;
            } else if (FilterMatches(walk->applicationFilter, walk->applicationName)) {
                CopyOut(product, productSize, walk->productName);
                CopyOut(application, applicationSize, walk->applicationName);
                CopyOut(version, versionSize, walk->versionName);
                GlobalUnlock(block);
                return 1;
            }
        } else if (walk->productKey) {
            if (!ListSubKey(walk->productKey, &walk->versionIndex, walk->versionName, sizeof walk->versionName)) {
                CloseKey(&walk->productKey);
                walk->versionIndex = 0;
            } else if (FilterMatches(walk->versionFilter, walk->versionName)) {
                HKEY key;
                if (RegOpenKeyA(walk->productKey, walk->versionName, &key) == ERROR_SUCCESS) walk->versionKey = key;
            }
        } else if (!ListSubKey(walk->rootKey, &walk->productIndex, walk->productName, sizeof walk->productName)) {
            CloseKey(&walk->rootKey);
            if (walk->secondHivePending) {
                walk->secondHivePending = 0;
                walk->rootKey = OpenMakerRoot(HKEY_LOCAL_MACHINE);
                walk->productIndex = 0;
            }
        } else if (FilterMatches(walk->productFilter, walk->productName)) {
            HKEY key;
            if (RegOpenKeyA(walk->rootKey, walk->productName, &key) == ERROR_SUCCESS) walk->productKey = key;
        }
    }
    GlobalUnlock(block);
    return 0;
}

void EndInstalledEnum(HGLOBAL block)
{
    if (!block) return;
    InstalledEnumRecord *walk = (InstalledEnumRecord *)GlobalLock(block);
    if (walk) {
        CloseKey(&walk->versionKey);
        CloseKey(&walk->productKey);
        CloseKey(&walk->rootKey);
        GlobalUnlock(block);
    }
    GlobalFree(block);
}
#endif
