#include <limits.h>
#include <string.h>

#include "registry.h"
#include "settings/settings.h"
#include "setup1.h"
#include "testing.h"

struct Install {
    const Hive *hive;
    const char *version;    // version key made with its ZODOZ key
    const char *directory;  // its Directory value there, or null
};

TEST_CASE("FindInstalledProduct picks the highest version value and reads its directory")
{
    static const struct {
        const char *name;
        std::vector<Install> installs;
        int result;
        const char *want;
    } cases[] = {
        {"4.20 over 5.0", {{&HiveUser, "5.0", "c:\\five"}, {&HiveUser, "4.20", "c:\\fourtwenty"}}, 1, "C:\\FOURTWENTY"},
        {"first of 5.0 and 50", {{&HiveUser, "5.0", "c:\\dot"}, {&HiveUser, "50", "c:\\plain"}}, 1, "C:\\DOT"},
        {"first of 50 (user) and 5.0 (machine)",
         {{&HiveUser, "50", "c:\\user50"}, {&HiveMachine, "5.0", 0}, {&HiveDefault, "5.0", "c:\\dflt50"}},
         1,
         "C:\\USER50"},
        {"a later, higher machine version",
         {{&HiveUser, "1.0", "c:\\one"}, {&HiveMachine, "2.0", 0}, {&HiveDefault, "2.0", "c:\\two"}},
         1,
         "C:\\TWO"},
        {"no digits never chosen", {{&HiveUser, "abc", "c:\\abc"}, {&HiveUser, "1.0", "c:\\one"}}, 1, "C:\\ONE"},
        {"no digits alone", {{&HiveUser, "abc", "c:\\abc"}}, 0, "KEEP"},
        {"a wrapped, negative value loses",
         {{&HiveUser, "2147483648", "c:\\neg"}, {&HiveUser, "0.1", "c:\\pos"}},
         1,
         "C:\\POS"},
        {"the same version twice", {{&HiveUser, "3.0", "c:\\three"}, {&HiveMachine, "3.0", "c:\\m"}}, 1, "C:\\THREE"},
        {"c:\\zev\\user", {{&HiveUser, "1.0", "c:\\zev\\user"}}, 1, "C:\\ZEV"},
        {"C:\\UserData\\ZEV", {{&HiveUser, "1.0", "C:\\UserData\\ZEV"}}, 1, "C:\\USERDATA\\ZEV"},
        {"\\USER alone", {{&HiveUser, "1.0", "\\USER"}}, 1, ""},
        {"d:\\apps\\zev", {{&HiveUser, "1.0", "d:\\apps\\zev"}}, 1, "D:\\APPS\\ZEV"},
        {"default user's directory", {{&HiveDefault, "1.0", "e:\\d"}, {&HiveUser, "1.0", 0}}, 1, "E:\\D"},
        {"only under HKLM", {{&HiveMachine, "1.0", "c:\\machine"}}, 0, "KEEP"},
        {"empty directory", {{&HiveUser, "1.0", ""}}, 0, "KEEP"},
        {"nothing installed", {}, 0, "KEEP"},
        {"other product and application", {}, 0, "KEEP"},
    };
    for (const auto &c : cases) {
        CleanSettings();
        for (const Install &i : c.installs) {
            std::string key = std::string("Software\\Tessaric\\ZEV!\\") + i.version + "\\ZODOZ";
            REQUIRE(MakeKey(*i.hive, key));
            if (i.directory) REQUIRE(SetText(*i.hive, key, "Directory", i.directory));
        }
        if (strcmp(c.name, "other product and application") == 0) {
            REQUIRE(SetText(HiveUser, "Software\\Tessaric\\ZEV\\9.0\\ZODOZ", "Directory", "c:\\noproduct"));
            REQUIRE(SetText(HiveUser, "Software\\Tessaric\\ZEV!\\9.0\\Zodoz", "Directory", "c:\\noapp"));
        }
        AdministratorFlag = 0;
        strcpy(TargetDirectory, "KEEP");
        INFO(c.name);
        CHECK(FindInstalledProduct() == c.result);
        CHECK(Text(TargetDirectory) == c.want);
    }
    CleanSettings();
}

TEST_CASE("FindInstalledProduct opens the chosen version's keys for the administrator flag")
{
    for (int administrator = 0; administrator < 2; ++administrator) {
        CleanSettings();
        REQUIRE(SetText(HiveUser, "Software\\Tessaric\\ZEV!\\2.0\\ZODOZ", "Directory", "c:\\two"));
        REQUIRE(MakeKey(HiveUser, "Software\\Tessaric\\ZEV!\\1.0\\ZODOZ"));
        AdministratorFlag = administrator;
        INFO("administrator ", administrator);
        CHECK(FindInstalledProduct() == 1);
        CHECK(Text(TargetDirectory) == "C:\\TWO");
        CHECK(SettingsContext.administratorFlag == administrator);
        CHECK(Text(SettingsContext.versionedKeyPath) == "Software\\Tessaric\\ZEV!\\2.0\\");
        CHECK(KeyExists(HiveMachine, "Software\\Tessaric\\ZEV!\\2.0\\Compatibility"));
        CHECK(KeyExists(HiveUser, "Software\\Tessaric\\ZEV!\\2.0\\Compatibility") == (administrator == 0));
        CHECK(KeyExists(HiveDefault, "Software\\Tessaric\\ZEV!\\2.0\\Compatibility") == (administrator == 1));
        CHECK_FALSE(KeyExists(HiveUser, "Software\\Tessaric\\ZEV!\\1.0\\Compatibility"));
    }
    AdministratorFlag = 0;
    CleanSettings();
}
