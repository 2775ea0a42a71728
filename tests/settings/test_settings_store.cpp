#include <string.h>

#include "paths.h"
#include "registry.h"
#include "settings/settings.h"
#include "testing.h"

static const std::string Root = "Software\\Tessaric\\";

// Every triple a walk yields, as "product|application|version;" each.
static std::string Walk(const char *product, const char *application, const char *version)
{
    std::string out;
    HGLOBAL walk = BeginInstalledEnum(product, application, version);
    REQUIRE(walk != 0);
    char p[256], a[320], v[64];
    for (int guard = 0; guard < 100 && NextInstalled(walk, p, sizeof p, a, sizeof a, v, sizeof v); ++guard)
        out += std::string(p) + "|" + a + "|" + v + ";";
    EndInstalledEnum(walk);
    return out;
}

struct Seed {
    const Hive *hive;
    const char *path;  // below Software\Tessaric
};

static void Plant(const std::vector<Seed> &seeds)
{
    for (const Seed &s : seeds) REQUIRE(MakeKey(*s.hive, Root + s.path));
}

TEST_CASE("NextInstalled walks the current user's keys, then the machine's, with exact filters")
{
    const std::vector<Seed> layout = {
        {&HiveUser, "ZEV!\\4.0\\ZODOZ"},    {&HiveUser, "ZEV!\\5.0\\ZODOZ"},    {&HiveUser, "ZEV!\\5.0\\Compatibility"},
        {&HiveUser, "OTHER\\5.0\\ZODOZ"},   {&HiveMachine, "ZEV!\\5.0\\ZODOZ"}, {&HiveMachine, "ZEV!\\3.0\\ZODOZ"},
        {&HiveMachine, "ZEV!\\3.0\\Extra"}, {&HiveDefault, "ZEV!\\9.0\\ZODOZ"},
    };
    const std::vector<Seed> cased = {
        {&HiveUser, "Zev!\\1.0\\ZODOZ"}, {&HiveMachine, "ZEV!\\2.0\\zodoz"}, {&HiveMachine, "ZEV!\\3.0\\ZODOZ"}};
    static const struct {
        int layout;  // 0: layout, 1: cased
        const char *product, *application, *version, *want;
    } cases[] = {
        {0, "ZEV!", "ZODOZ", "", "ZEV!|ZODOZ|4.0;ZEV!|ZODOZ|5.0;ZEV!|ZODOZ|3.0;ZEV!|ZODOZ|5.0;"},
        {0, 0, 0, 0,
         "OTHER|ZODOZ|5.0;ZEV!|ZODOZ|4.0;ZEV!|Compatibility|5.0;ZEV!|ZODOZ|5.0;"
         "ZEV!|Extra|3.0;ZEV!|ZODOZ|3.0;ZEV!|ZODOZ|5.0;"},
        {0, "ZEV!", "", "5.0", "ZEV!|Compatibility|5.0;ZEV!|ZODOZ|5.0;ZEV!|ZODOZ|5.0;"},
        {0, "", "Compatibility", "", "ZEV!|Compatibility|5.0;"},
        {0, "ZEV!", "ZODOZ", "9.0", ""},  // HKEY_USERS\.DEFAULT is not walked
        {0, "ZEV", "ZODOZ", "", ""},
        {1, "ZEV!", "ZODOZ", "", "ZEV!|ZODOZ|3.0;"},
        {1, "Zev!", "", "", "Zev!|ZODOZ|1.0;"},
        {1, "", "zodoz", "", "ZEV!|zodoz|2.0;"},
        {1, "zev!", "", "", ""},
    };
    for (const auto &c : cases) {
        CleanSettings();
        Plant(c.layout == 0 ? layout : cased);
        INFO("filters product ", Text(c.product), " application ", Text(c.application), " version ", Text(c.version));
        CHECK(Walk(c.product, c.application, c.version) == Text(c.want));
    }
    CleanSettings();
}

TEST_CASE("NextInstalled with only one hive, or none, holding Software\\Tessaric")
{
    CleanSettings();
    CHECK(Walk("ZEV!", "ZODOZ", "") == "");
    Plant({{&HiveMachine, "ZEV!\\2.0\\ZODOZ"}});
    CHECK(Walk("ZEV!", "ZODOZ", "") == "ZEV!|ZODOZ|2.0;");
    CleanSettings();
    Plant({{&HiveUser, "ZEV!\\1.0\\ZODOZ"}});
    CHECK(Walk("ZEV!", "ZODOZ", "") == "ZEV!|ZODOZ|1.0;");
    CleanSettings();
    // Keys without any application beneath yield nothing.
    Plant({{&HiveUser, "ZEV!\\1.0"}, {&HiveMachine, "ZEV!"}});
    CHECK(Walk("", "", "") == "");
    CleanSettings();
}

TEST_CASE("NextInstalled passes over a version name too long for its field and goes on")
{
    CleanSettings();
    std::string fits(63, '1'), tooLong(64, '2');
    Plant({{&HiveUser, "ZEV!\\0.5\\ZODOZ"},
           {&HiveUser, ("ZEV!\\" + fits + "\\ZODOZ").c_str()},
           {&HiveUser, ("ZEV!\\" + tooLong + "\\ZODOZ").c_str()},
           {&HiveUser, "ZEV!\\9.0\\ZODOZ"},
           {&HiveMachine, "ZEV!\\7.0\\ZODOZ"}});
    CHECK(Walk("ZEV!", "ZODOZ", "") == "ZEV!|ZODOZ|0.5;ZEV!|ZODOZ|" + fits + ";ZEV!|ZODOZ|9.0;ZEV!|ZODOZ|7.0;");
    CleanSettings();
}

TEST_CASE("NextInstalled cuts names to its output buffers and writes nothing once over")
{
    CleanSettings();
    Plant({{&HiveUser, "ZEV!\\4.20\\ZODOZ"}});
    HGLOBAL walk = BeginInstalledEnum("ZEV!", "ZODOZ", 0);
    REQUIRE(walk != 0);
    // A movable block, locked only for the length of each call.
    CHECK((GlobalFlags(walk) & GMEM_LOCKCOUNT) == 0u);
    void *record = GlobalLock(walk);
    CHECK(record != 0);
    CHECK(record != (void *)walk);
    GlobalUnlock(walk);
    char p[8], a[8], v[8];
    memset(p, MARKER, sizeof p);
    memset(a, MARKER, sizeof a);
    memset(v, MARKER, sizeof v);
    // Sizes 3, 1 and 0: "ZE", "" and nothing at all.
    CHECK(NextInstalled(walk, p, 3, a, 1, v, 0) == 1);
    CHECK(Bytes(p, sizeof p) == Bytes("ZE\0ZZZZZ", 8));
    CHECK(Bytes(a, sizeof a) == Bytes("\0ZZZZZZZ", 8));
    CHECK(Bytes(v, sizeof v) == Bytes("ZZZZZZZZ", 8));
    CHECK((GlobalFlags(walk) & GMEM_LOCKCOUNT) == 0u);
    memset(p, MARKER, sizeof p);
    CHECK(NextInstalled(walk, p, sizeof p, a, sizeof a, v, sizeof v) == 0);
    CHECK(NextInstalled(walk, p, sizeof p, a, sizeof a, v, sizeof v) == 0);
    CHECK(Bytes(p, sizeof p) == Bytes("ZZZZZZZZ", 8));
    EndInstalledEnum(walk);

    // A walk that found nothing, and null handles.
    CleanSettings();
    walk = BeginInstalledEnum("ZEV!", "ZODOZ", "");
    REQUIRE(walk != 0);
    CHECK(NextInstalled(walk, p, sizeof p, a, sizeof a, v, sizeof v) == 0);
    EndInstalledEnum(walk);
    CHECK(NextInstalled(0, p, sizeof p, a, sizeof a, v, sizeof v) == 0);
    CHECK(Bytes(p, sizeof p) == Bytes("ZZZZZZZZ", 8));
    EndInstalledEnum(0);
    CleanSettings();
}

TEST_CASE("ShowAssertion shows its text in a plain OK box captioned Tessaric Setup")
{
    BoxWatch watch;
    BoxWatchStart(&watch, GetCurrentProcessId(), "Tessaric Setup", 60000);
    ShowAssertion(SettingsModuleText, 1130);
    BoxWatchEnd(&watch);
    REQUIRE(watch.seen.size() == 1);
    CHECK(Text(watch.seen[0].text.c_str()) ==
          "Assertion failure in module ..\\src\\settings $Revision: 5 $ at line 1130");
    CHECK(watch.seen[0].caption == "Tessaric Setup");
    CHECK(watch.seen[0].icon == 0u);
    CHECK(watch.seen[0].hasOk);
    CHECK_FALSE(watch.seen[0].hasCancel);
}

TEST_CASE("BeginInstalledEnum asserts on a filter at or over its field and cuts it")
{
    CleanSettings();
    std::string product255(255, 'P');
    Plant({{&HiveUser, (product255 + "\\1.0\\ZODOZ").c_str()}, {&HiveUser, "ZEV!\\2.0\\ZODOZ"}});
    static const struct {
        int product, version, application, line;
    } cases[] = {
        {255, 0, 0, 0},   {256, 0, 0, 1130}, {300, 0, 0, 1130}, {0, 63, 0, 0},
        {0, 64, 0, 1137}, {0, 0, 255, 0},    {0, 0, 256, 1144},
    };
    for (const auto &c : cases) {
        std::string product(c.product, 'P'), version(c.version, 'V'), application(c.application, 'A');
        INFO("lengths ", c.product, " ", c.version, " ", c.application);
        BoxWatch watch;
        BoxWatchStart(&watch, GetCurrentProcessId(), "Tessaric Setup", 60000);
        HGLOBAL walk = BeginInstalledEnum(product.c_str(), application.c_str(), version.c_str());
        BoxWatchEnd(&watch);
        REQUIRE(walk != 0);
        if (c.line) {
            REQUIRE(watch.seen.size() == 1);
            CHECK(watch.seen[0].text ==
                  "Assertion failure in module ..\\src\\settings $Revision: 5 $ at line " + std::to_string(c.line));
        } else {
            CHECK(watch.seen.size() == 0);
        }
        // The walk is set up all the same, with the filter cut to its field.
        char p[256], a[320], v[64];
        int found = NextInstalled(walk, p, sizeof p, a, sizeof a, v, sizeof v);
        if (c.product >= 255) {
            CHECK(found == 1);
            CHECK(Text(p) == product255);
        } else {
            CHECK(found == 0);
        }
        EndInstalledEnum(walk);
    }
    CleanSettings();
}

// The sub-key path and value name that a scope resolves to, or "-" for none.
static std::string Resolved(int scope, const char *valueName, int attempt)
{
    HKEY root = 0;
    char subKey[SETTING_KEY_SIZE], name[SETTING_KEY_SIZE];
    if (!ResolveSettingKey(scope, valueName, attempt, &root, subKey, name)) return "-";
    std::string hive = root == HKEY_CURRENT_USER                ? "HKCU"
                       : root == HKEY_LOCAL_MACHINE             ? "HKLM"
                       : root == SettingsContext.defaultUserKey ? "DEFAULT"
                                                                : "?";
    return hive + ":" + subKey + ":" + name;
}

TEST_CASE("ResolveSettingKey gives the roots in their order and blanks as dots")
{
    CleanSettings();
    REQUIRE(OpenSettings("ZEV!", "ZO DOZ", "5 0", 0) == 1);
    static const struct {
        int scope, attempt;
        const char *want;
    } cases[] = {
        {13, 0, "HKCU:Software\\Tessaric\\ZEV!\\5.0\\ZO.DOZ:Direc.tory"},
        {13, 1, "DEFAULT:Software\\Tessaric\\ZEV!\\5.0\\ZO.DOZ:Direc.tory"},
        {13, -1, "DEFAULT:Software\\Tessaric\\ZEV!\\5.0\\ZO.DOZ:Direc.tory"},
        {13, 2, "-"},
        {9, 0, "HKLM:Software\\Tessaric\\ZEV!\\5.0\\ZO.DOZ:Direc.tory"},
        {9, -1, "HKLM:Software\\Tessaric\\ZEV!\\5.0\\ZO.DOZ:Direc.tory"},
        {9, 1, "-"},
        {14, 0, "HKCU:Software\\Tessaric\\ZEV!\\5.0\\Compatibility:Direc.tory"},
        {10, 0, "HKLM:Software\\Tessaric\\ZEV!\\5.0\\Compatibility:Direc.tory"},
        {15, 0, "HKCU:Software\\Tessaric\\ZEV!\\5.0\\ZO.DOZ:Direc.tory"},
        {12, 0, "HKCU:Software\\Tessaric\\ZEV!\\5.0\\:Direc.tory"},
    };
    for (const auto &c : cases) {
        INFO("scope ", c.scope, " attempt ", c.attempt);
        CHECK(Resolved(c.scope, "Direc tory", c.attempt) == c.want);
    }
    // Without a default-user key the per-user side is HKEY_CURRENT_USER alone.
    HKEY defaultUser = SettingsContext.defaultUserKey;
    SettingsContext.defaultUserKey = 0;
    CHECK(Resolved(13, "D", 1) == "-");
    CHECK(Resolved(13, "D", -1) == "-");
    CHECK(Resolved(13, "D", 0) == "HKCU:Software\\Tessaric\\ZEV!\\5.0\\ZO.DOZ:D");
    SettingsContext.defaultUserKey = defaultUser;
    CleanSettings();
}

TEST_CASE("OpenSettings makes the version's keys under the roots its flag gives")
{
    static const struct {
        int administrator;
        const Hive *userSide, *otherSide;
    } cases[] = {
        {0, &HiveUser, &HiveDefault},
        {1, &HiveDefault, &HiveUser},
    };
    const std::string version = "Software\\Tessaric\\ZEV!\\5.0\\";
    for (const auto &c : cases) {
        CleanSettings();
        INFO("administrator flag ", c.administrator);
        CHECK(OpenSettings("ZEV!", "ZODOZ", "5 0", c.administrator) == 1);
        CHECK(SettingsContext.administratorFlag == c.administrator);
        CHECK(Text(SettingsContext.versionedKeyPath) == "Software\\Tessaric\\ZEV!\\5 0\\");
        CHECK(KeyExists(*c.userSide, version + "ZODOZ"));
        CHECK(KeyExists(*c.userSide, version + "Compatibility"));
        CHECK(KeyExists(HiveMachine, version + "ZODOZ"));
        CHECK(KeyExists(HiveMachine, version + "Compatibility"));
        CHECK_FALSE(KeyExists(*c.otherSide, "Software\\Tessaric"));
        CHECK_FALSE(KeyExists(HiveMachine, "Software\\Tessaric\\ZEV!\\5 0"));
    }
    CleanSettings();
}

TEST_CASE("ReadSetting reads the current user, then the default user, never the machine")
{
    const std::string app = "Software\\Tessaric\\ZEV!\\5.0\\ZODOZ";
    static const struct {
        const char *user, *defaultUser, *machine, *want;
        int found;
    } cases[] = {
        {"C:\\USER-SIDE", "C:\\DEFAULT-SIDE", "C:\\MACHINE", "C:\\USER-SIDE", 1},
        {0, "C:\\DEFAULT-SIDE", "C:\\MACHINE", "C:\\DEFAULT-SIDE", 1},
        {0, 0, "C:\\MACHINE", "dflt", 0},
        {"", "C:\\DEFAULT-SIDE", 0, "", 1},
        {0, 0, 0, "dflt", 0},
    };
    for (int administrator = 0; administrator < 2; ++administrator)
        for (const auto &c : cases) {
            CleanSettings();
            if (c.user) REQUIRE(SetText(HiveUser, app, "Directory", c.user));
            if (c.defaultUser) REQUIRE(SetText(HiveDefault, app, "Directory", c.defaultUser));
            if (c.machine) REQUIRE(SetText(HiveMachine, app, "Directory", c.machine));
            INFO("administrator ", administrator, " user ", Text(c.user), " default ", Text(c.defaultUser), " machine ",
                 Text(c.machine));
            OpenSettings("ZEV!", "ZODOZ", "5 0", administrator);
            char buffer[PATH_SIZE + 1];
            memset(buffer, MARKER, sizeof buffer);
            CHECK(ReadSetting(SETTING_DIRECTORY, "dflt", buffer, PATH_SIZE) == c.found);
            CHECK(Text(buffer) == c.want);
            CHECK(buffer[PATH_SIZE] == MARKER);
        }
    CleanSettings();
}

TEST_CASE("ReadScopedValue of a machine-wide scope reads HKEY_LOCAL_MACHINE alone")
{
    const std::string version = "Software\\Tessaric\\ZEV!\\5.0\\";
    static const struct {
        int scope;
        const char *key;
        const Hive *hive;
        const char *want;
        int found;
    } cases[] = {
        {9, "ZODOZ", &HiveMachine, "M", 1},
        {9, "ZODOZ", &HiveUser, "dflt", 0},
        {9, "ZODOZ", &HiveDefault, "dflt", 0},
        {10, "Compatibility", &HiveMachine, "M", 1},
        {10, "ZODOZ", &HiveMachine, "dflt", 0},
        {14, "Compatibility", &HiveDefault, "M", 1},
        {14, "Compatibility", &HiveMachine, "dflt", 0},
    };
    for (const auto &c : cases) {
        CleanSettings();
        REQUIRE(SetText(*c.hive, version + c.key, "Look", "M"));
        OpenSettings("ZEV!", "ZODOZ", "5.0", 1);
        char buffer[8];
        INFO("scope ", c.scope, " key ", c.key, " in ", c.hive->name);
        CHECK(ReadScopedValue(c.scope, "Look", "dflt", buffer, sizeof buffer) == c.found);
        CHECK(Text(buffer) == c.want);
    }
    CleanSettings();
}

TEST_CASE("ReadScopedValue passes over a value too large for the buffer")
{
    const std::string app = "Software\\Tessaric\\ZEV!\\5.0\\ZODOZ";
    std::string text255(255, 'x'), text256(256, 'y');
    static const struct {
        int userLength, defaultLength;
        const char *want;
        int found;
    } cases[] = {
        {255, -1, "x255", 1}, {256, -1, "dflt", 0}, {256, 3, "abc", 1}, {300, 256, "dflt", 0}, {256, 255, "abcy", 1},
    };
    for (const auto &c : cases) {
        CleanSettings();
        REQUIRE(SetText(HiveUser, app, "Directory", std::string((size_t)c.userLength, 'x')));
        if (c.defaultLength >= 0)
            REQUIRE(SetText(HiveDefault, app, "Directory",
                            std::string("abc").substr(0, 3) + std::string((size_t)c.defaultLength - 3, 'y')));
        OpenSettings("ZEV!", "ZODOZ", "5.0", 0);
        char buffer[PATH_SIZE + 1];
        memset(buffer, MARKER, sizeof buffer);
        INFO("user value of ", c.userLength, " characters");
        CHECK(ReadScopedValue(13, "Directory", "dflt", buffer, PATH_SIZE) == c.found);
        std::string want = strcmp(c.want, "x255") == 0   ? text255
                           : strcmp(c.want, "abcy") == 0 ? "abc" + std::string(252, 'y')
                                                         : std::string(c.want);
        CHECK(Text(buffer) == want);
        CHECK(buffer[PATH_SIZE] == MARKER);
    }
    CleanSettings();
}

TEST_CASE("ReadScopedValue always ends the text inside the buffer")
{
    const std::string app = "Software\\Tessaric\\ZEV!\\5.0\\ZODOZ";
    static const struct {
        DWORD type;
        const char *data;
        DWORD size;
        const char *want;
        int found;
    } cases[] = {
        {REG_SZ, "ABC", 3, "ABC", 1},  // stored without its terminator
        {REG_BINARY, "XYZ", 3, "XYZ", 1},
        {REG_BINARY, "12345678", 8, "dflt", 0},  // fills all 8 bytes: no room for the end
        {REG_BINARY, "1234567", 7, "1234567", 1},
        {REG_BINARY, "AB\0CD", 5, "AB", 1},
        {REG_DWORD, "\x41\x42\x43\x00", 4, "ABC", 1},
        {REG_SZ, "", 0, "", 1},
    };
    for (const auto &c : cases) {
        CleanSettings();
        REQUIRE(SetValueBytes(HiveUser, app, "Directory", c.type, c.data, c.size));
        OpenSettings("ZEV!", "ZODOZ", "5.0", 0);
        char buffer[16];
        memset(buffer, MARKER, sizeof buffer);
        INFO("type ", c.type, " data ", Bytes(c.data, c.size));
        CHECK(ReadScopedValue(13, "Directory", "dflt", buffer, 8) == c.found);
        CHECK(Text(buffer) == c.want);
        CHECK(buffer[8] == MARKER);
    }
    CleanSettings();
}

TEST_CASE("OpenSettings with an empty version keeps the two backslashes")
{
    CleanSettings();
    OpenSettings("ZEV!", "ZODOZ", "", 0);
    CHECK(Text(SettingsContext.versionedKeyPath) == "Software\\Tessaric\\ZEV!\\\\");
    CHECK(Resolved(13, "Directory", 0) == "HKCU:Software\\Tessaric\\ZEV!\\\\ZODOZ:Directory");
    char buffer[PATH_SIZE];
    CHECK(ReadSetting(SETTING_DIRECTORY, "dflt", buffer, sizeof buffer) == 0);
    CHECK(Text(buffer) == "dflt");
    CleanSettings();
}

TEST_CASE("OpenSettings refuses a versioned path or application name that does not fit")
{
    // "Software\Tessaric\ZEV!\" and "\" leave 39 characters for the version.
    static const struct {
        int versionLength, applicationLength, accepted;
    } cases[] = {
        {39, 5, 1}, {40, 5, 0}, {3, 15, 1}, {3, 16, 0}, {200, 5, 0},
    };
    for (const auto &c : cases) {
        std::string version((size_t)c.versionLength, '9');
        std::string application((size_t)c.applicationLength, 'A');
        // The key that a path and name cut to their fields would name holds
        // a value: a refused context must not read it.
        std::string path = ("Software\\Tessaric\\ZEV!\\" + version + "\\").substr(0, VERSIONED_PATH_SIZE - 1);
        std::string cutKey = path + application.substr(0, CONTEXT_APPLICATION_SIZE - 1);
        CleanSettings();
        REQUIRE(SetText(HiveUser, cutKey, "Directory", "C:\\SEEN"));
        REQUIRE(SetText(HiveUser, "Software\\Tessaric\\ZEV!\\5.0\\ZODOZ", "Directory", "C:\\EARLIER"));
        // A usable context first, to show that a refusal leaves nothing of it.
        REQUIRE(OpenSettings("ZEV!", "ZODOZ", "5.0", 0) == 1);
        INFO("version of ", c.versionLength, ", application of ", c.applicationLength, " characters");
        CHECK(OpenSettings("ZEV!", application.c_str(), version.c_str(), 0) == c.accepted);
        CHECK(KeyExists(HiveMachine, cutKey) == (c.accepted == 1));
        CHECK(KeyExists(HiveUser, "Software\\Tessaric\\ZEV!\\" + version.substr(0, 39) + "\\Compatibility") ==
              (c.accepted == 1));
        char buffer[PATH_SIZE];
        memset(buffer, MARKER, sizeof buffer);
        CHECK(ReadSetting(SETTING_DIRECTORY, "dflt", buffer, sizeof buffer) == c.accepted);
        CHECK(Text(buffer) == (c.accepted ? "C:\\SEEN" : "dflt"));
        CHECK(EnsureSettingKey(13) == c.accepted);
    }
    CleanSettings();
}

TEST_CASE("ReadSetting of a kind that this program does not read gives the default")
{
    CleanSettings();
    OpenSettings("ZEV!", "ZODOZ", "5.0", 0);
    for (int kind : {0, 29, 31, 49, -1, 50}) {
        char buffer[8];
        memset(buffer, MARKER, sizeof buffer);
        INFO("kind ", kind);
        CHECK(ReadSetting(kind, "dflt", buffer, sizeof buffer) == 0);
        CHECK(Text(buffer) == "dflt");
    }
    int scope = 0;
    const char *name = 0;
    CHECK(SettingKind(SETTING_DIRECTORY, &scope, &name) == 1);
    CHECK(scope == 13);
    CHECK(Text(name) == "Directory");
    CleanSettings();
}
