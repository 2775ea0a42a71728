#include <limits.h>
#include <string.h>

#include "setup1.h"
#include "testing.h"

static void ResetTargets()
{
    memset(&PhaseTwoPlan.TargetList, MARKER, sizeof PhaseTwoPlan.TargetList);
    PhaseTwoPlan.TargetList.count = 0;
    PhaseTwoPlan.EditionLetter = ' ';
}

static std::string Entries()
{
    std::string out;
    for (int i = 0; i < PhaseTwoPlan.TargetList.count && i < TARGET_SLOTS; ++i) {
        if (i) out += "|";
        out += std::string(PhaseTwoPlan.TargetList.entries[i],
                           strnlen(PhaseTwoPlan.TargetList.entries[i], TARGET_CODE_SIZE));
    }
    return out;
}

TEST_CASE("ParseTargetCodes splits at plus signs, stops at a blank and notes the last edition")
{
    static const struct {
        const char *target, *entries;
        int count;
        char edition;
        int addOn;
    } cases[] = {
        {"3+S", "3|S", 2, '3', 1},
        {"N", "N", 1, 'N', 0},
        {"34", "34", 1, '4', 0},
        {"S 3", "S", 1, ' ', 1},
        {"3++4", "3||4", 3, '4', 1},
        {"3S", "3S", 1, '3', 0},
        {"s", "s", 1, ' ', 0},
        {"S-x", "S-x", 1, ' ', 1},
        {"", "", 1, ' ', 1},
        {" S", "", 1, ' ', 1},
        {"+S", "|S", 2, ' ', 1},
        {"4+S+N", "4|S|N", 3, 'N', 1},
        {"+", "|", 2, ' ', 1},
        {"N+3 4", "N|3", 2, '3', 0},
        {"S+", "S|", 2, ' ', 1},
        {"A+B+C+D+E+F+S", "A|B|C|D|E", 5, ' ', 0},
        {"++++++++++", "||||", 5, ' ', 1},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ+4", "ABCDEFGHIJKLMNO|4", 2, '4', 0},
        {"1+2+3+4+5+6+N", "1|2|3|4|5", 5, 'N', 0},
        {"3", "3", 1, '3', 0},
        {"4", "4", 1, '4', 0},
        {"-S", "-S", 1, ' ', 1},
    };
    for (const auto &c : cases) {
        ResetTargets();
        INFO("target \"", c.target, "\"");
        CHECK(ParseTargetCodes(c.target) == 1);
        CHECK(PhaseTwoPlan.TargetList.count == c.count);
        CHECK(Entries() == c.entries);
        CHECK(PhaseTwoPlan.EditionLetter == c.edition);
        CHECK(HasTargetCode("S") == c.addOn);
        for (int i = 0; i < PhaseTwoPlan.TargetList.count && i < TARGET_SLOTS; ++i)
            CHECK(strnlen(PhaseTwoPlan.TargetList.entries[i], TARGET_CODE_SIZE) < (size_t)TARGET_CODE_SIZE);
    }
}

TEST_CASE("ParseTargetCodes goes on from the count and keeps to the last slot")
{
    ResetTargets();
    ParseTargetCodes("1+2+3");
    ParseTargetCodes("N+5+6");
    CHECK(Entries() == "1|2|3|N|5");
    CHECK(PhaseTwoPlan.EditionLetter == 'N');
    ParseTargetCodes("S");  // a full list takes nothing more
    CHECK(PhaseTwoPlan.TargetList.count == 5);
    CHECK(Entries() == "1|2|3|N|5");
    CHECK(HasTargetCode("S") == 0);

    // The longest target text the plan holds, all one entry, and all plus signs.
    std::string longest(TARGET_TEXT_SIZE - 1, 'S');
    ResetTargets();
    ParseTargetCodes(longest.c_str());
    CHECK(Entries() == std::string(15, 'S'));
    std::string pluses(TARGET_TEXT_SIZE - 1, '+');
    ResetTargets();
    ParseTargetCodes(pluses.c_str());
    CHECK(PhaseTwoPlan.TargetList.count == 5);
}

TEST_CASE("HasTargetCode matches when every letter and digit of an entry is in the code")
{
    static const struct {
        const char *target, *code;
        int want;
    } cases[] = {
        {"S", "S", 1},   {"S", "SX", 1},  {"SS", "S", 1},   {"XS", "S", 0},   {"3S", "3S", 1},
        {"S3", "3S", 1}, {"s", "s", 1},   {"S", "s", 0},    {"S.x", "S", 1},  {"", "S", 1},
        {"4", "S", 0},   {"4", "", 0},    {"A", "A-B", 1},  {"B", "A-B", 0},  {"-", "", 1},
        {"4+S", "S", 1}, {"4+N", "S", 0}, {"Z9", "9aZ", 1}, {"\xC9", "S", 1},
    };
    for (const auto &c : cases) {
        ResetTargets();
        ParseTargetCodes(c.target);
        INFO("target \"", c.target, "\" code \"", c.code, "\"");
        CHECK(HasTargetCode(c.code) == c.want);
    }
    ResetTargets();
    CHECK(HasTargetCode("S") == 0);  // an empty list matches nothing
}

TEST_CASE("TempSpaceValue converts like atoi and saturates instead of wrapping")
{
    static const struct {
        const char *text;
        int want;
    } cases[] = {
        {"1500KB", 1500},
        {"-1", -1},
        {"", 0},
        {"abc", 0},
        {"  42", 42},
        {"\t+7", 7},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999999999999999", INT_MAX},
        {"99999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"-99999999999999999999999999999999", INT_MIN},
        {"4294967296", INT_MAX},
        {"12 34", 12},
        {"- 5", 0},
        {"+-5", 0},
        {"\n\v\f\r9", 9},
        {"007", 7},
        {"-0", 0},
    };
    for (const auto &c : cases) {
        INFO("tempspace \"", c.text, "\"");
        CHECK(TempSpaceValue(c.text) == c.want);
    }
}

TEST_CASE("JudgePlatform accepts the listed processors and refuses NT before 3.51 on Intel")
{
    static const struct {
        unsigned long major, minor;
        bool old;  // the processor's tooOld verdict applies
    } versions[] = {{3, 10, true}, {3, 50, true}, {3, 51, false}, {4, 0, false},
                    {5, 1, false}, {6, 1, false}, {10, 0, false}};
    static const struct {
        unsigned long type;
        int tooOld, accepted;
    } processors[] = {
        // tooOld: the verdict for 3.10 and 3.50; accepted: for the others.
        {386, PLATFORM_TOO_OLD, PLATFORM_ACCEPTED},      {486, PLATFORM_TOO_OLD, PLATFORM_ACCEPTED},
        {586, PLATFORM_TOO_OLD, PLATFORM_ACCEPTED},      {601, PLATFORM_ACCEPTED, PLATFORM_ACCEPTED},
        {603, PLATFORM_ACCEPTED, PLATFORM_ACCEPTED},     {604, PLATFORM_ACCEPTED, PLATFORM_ACCEPTED},
        {620, PLATFORM_ACCEPTED, PLATFORM_ACCEPTED},     {4000, PLATFORM_ACCEPTED, PLATFORM_ACCEPTED},
        {21064, PLATFORM_ACCEPTED, PLATFORM_ACCEPTED},   {2200, PLATFORM_REFUSED, PLATFORM_REFUSED},
        {0, PLATFORM_REFUSED, PLATFORM_REFUSED},         {385, PLATFORM_REFUSED, PLATFORM_REFUSED},
        {8664, PLATFORM_REFUSED, PLATFORM_REFUSED},      {21164, PLATFORM_REFUSED, PLATFORM_REFUSED},
        {ULONG_MAX, PLATFORM_REFUSED, PLATFORM_REFUSED},
    };
    for (const auto &p : processors)
        for (const auto &v : versions) {
            INFO("processor ", p.type, " version ", v.major, ".", v.minor);
            CHECK(JudgePlatform(p.type, v.major, v.minor) == (v.old ? p.tooOld : p.accepted));
        }
    // Only major version 3 is old: 2.x and 3.x beyond 50 are not.
    static const struct {
        unsigned long type, major, minor;
        int want;
    } odd[] = {
        {586, 3, 0, PLATFORM_TOO_OLD},          {486, 3, 0, PLATFORM_TOO_OLD},  {586, 3, 95, PLATFORM_ACCEPTED},
        {586, 2, 0, PLATFORM_ACCEPTED},         {586, 0, 0, PLATFORM_ACCEPTED}, {386, 0, 0, PLATFORM_ACCEPTED},
        {586, 3, ULONG_MAX, PLATFORM_ACCEPTED},
    };
    for (const auto &c : odd) {
        INFO("processor ", c.type, " version ", c.major, ".", c.minor);
        CHECK(JudgePlatform(c.type, c.major, c.minor) == c.want);
    }
}

TEST_CASE("DllGuardSteps restricts the search where it can and preloads where it cannot")
{
    static const struct {
        unsigned long major;
        int haveDefault, haveDirectory, want;
    } cases[] = {
        {3, 0, 0, DLL_GUARD_NONE},  // NT 3.x
        {4, 0, 0, DLL_GUARD_NONE},  // Windows 95, 98, ME, NT 4.0
        {4, 1, 1, DLL_GUARD_NONE},
        {5, 0, 0, DLL_GUARD_PRELOAD},                         // Windows 2000, XP
        {5, 0, 1, DLL_GUARD_PRELOAD | DLL_GUARD_NO_CURRENT},  // XP SP1 and later
        {6, 0, 1, DLL_GUARD_PRELOAD | DLL_GUARD_NO_CURRENT},  // Windows 7 without the update
        {6, 1, 1, DLL_GUARD_SYSTEM_ONLY},
        {10, 1, 1, DLL_GUARD_SYSTEM_ONLY},
        {10, 1, 0, DLL_GUARD_SYSTEM_ONLY},
    };
    for (const auto &c : cases) {
        INFO("DllGuardSteps(", c.major, ", ", c.haveDefault, ", ", c.haveDirectory, ")");
        CHECK(DllGuardSteps(c.major, c.haveDefault, c.haveDirectory) == c.want);
    }
}

TEST_CASE("VersionValue reads the digits alone and wraps like 32-bit arithmetic")
{
    static const struct {
        const char *text;
        int want;
    } cases[] = {
        {"4.20", 420},
        {"5.0", 50},
        {"4.10", 410},
        {"3.1a", 31},
        {"", 0},
        {"abc", 0},
        {"2147483647", INT_MAX},
        {"4294967296", 0},
        {"4294967297", 1},
        {"2147483648", INT_MIN},
        {"5 0", 50},
        {"v.x-", 0},
        {"007", 7},
        {"4294967295", -1},
        {"12345678901", -539222987},
        {"1.2.3.4.5.6.7.8.9.0.1", -539222987},
        {"99999999999999999999", 1661992959},  // 10^20 - 1 modulo 2^32
    };
    for (const auto &c : cases) {
        INFO("version \"", c.text, "\"");
        CHECK(VersionValue(c.text) == c.want);
    }
}

TEST_CASE("UpperCaseAscii changes a to z only")
{
    // Under code page 932 the second byte of a character (\x83\x75) is no letter.
    static const struct {
        const char *text, *want, *want932 = 0;
    } cases[] = {
        {"c:\\zev\\User\xe9~1", "C:\\ZEV\\USER\xe9~1"},
        {"c:\\abz{`@[\xe9\xe0~09", "C:\\ABZ{`@[\xe9\xe0~09"},
        {"c:\\zev\\\x83\x5b\x83\x75", "C:\\ZEV\\\x83\x5b\x83\x55", "C:\\ZEV\\\x83\x5b\x83\x75"},
    };
    for (int cp932 = 0; cp932 < 2; ++cp932) {
        WalkBy rule(TestedRules[cp932]);
        for (const auto &c : cases) {
            const char *want = cp932 && c.want932 ? c.want932 : c.want;
            char text[PATH_SIZE];
            CopyText(text, sizeof text, c.text);
            INFO("text \"", Bytes(c.text, strlen(c.text)), "\" code page 932: ", cp932);
            UpperCaseAscii(text);
            CHECK(Bytes(text, strlen(want) + 1) == Bytes(want, strlen(want) + 1));
        }
    }
}

TEST_CASE("CutUserFolder cuts before a whole \\USER component")
{
    static const struct {
        const char *dir, *want, *want932 = 0;
    } cases[] = {
        {"C:\\ZEV\\USER", "C:\\ZEV"},
        {"C:\\ZEV\\USER\\X", "C:\\ZEV"},
        {"C:\\USERDATA\\ZEV", "C:\\USERDATA\\ZEV"},
        {"C:\\USERDATA\\USER", "C:\\USERDATA"},
        {"\\USER", ""},
        {"", ""},
        {"C:\\ZEV\\user", "C:\\ZEV\\user"},
        {"C:\\A\\USER\\B\\USER", "C:\\A"},
        {"USER", "USER"},
        {"C:\\ZEV\\USER\\", "C:\\ZEV"},
        {"C:\\ZEV\\USER\\JOE", "C:\\ZEV"},
        {"C:\\USERS\\A\\USER\\B\\USER", "C:\\USERS\\A"},
        {"\\USERX", "\\USERX"},
        {"C:\\ZEV\\XUSER", "C:\\ZEV\\XUSER"},
        {"C:\\ZEV\\\x94\x5CUSER", "C:\\ZEV\\\x94", "C:\\ZEV\\\x94\x5CUSER"},  // a folder whose name ends in USER
    };
    for (int cp932 = 0; cp932 < 2; ++cp932) {
        WalkBy rule(TestedRules[cp932]);
        for (const auto &c : cases) {
            const char *want = cp932 && c.want932 ? c.want932 : c.want;
            char dir[PATH_SIZE];
            CopyText(dir, sizeof dir, c.dir);
            INFO("directory \"", Bytes(c.dir, strlen(c.dir)), "\" code page 932: ", cp932);
            CutUserFolder(dir);
            CHECK(Bytes(dir, strlen(dir)) == Bytes(want, strlen(want)));
        }
    }
}
