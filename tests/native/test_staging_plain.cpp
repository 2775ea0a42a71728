#include <limits.h>
#include <string.h>

#include "staging.h"
#include "testing.h"

TEST_CASE("SpaceSuffices wants strictly more free kilobytes than tempspace, fraction kept")
{
    static const struct { unsigned long spc, bps, free; int tempSpace, want; } cases[] = {
        {2, 512, 1000, 1000, 0},          // exactly 1000 KB
        {1, 512, 2001, 1000, 1},          // 1000.5 KB
        {1, 512, 1999, 999, 1},           // 999.5 KB
        {1, 512, 1999, 1000, 0},
        {8, 512, 0, 0, 0},                // full drive
        {8, 512, 1, 0, 1},
        {0, 0, 0, -1, 1},                 // a negative tempspace always passes
        {65536, 65536, 1000000, 0, 0},    // the cluster size wraps to 0 in 32 bits
        {64, 512, 4000000000ul, INT_MAX, 1},  // beyond 32 bits after the first product
        {1, 1024, 0xFFFFFFFFul, INT_MAX, 1},
    };
    for (const auto &c : cases) {
        INFO(c.spc, " x ", c.bps, " x ", c.free, " against ", c.tempSpace);
        CHECK(SpaceSuffices(c.spc, c.bps, c.free, c.tempSpace) == c.want);
    }
}

TEST_CASE("TakeListEntry cuts a list at its commas and stays at the end")
{
    static const struct { const char *list; const char *want[5]; } cases[] = {
        {"A.EXE,B.DLL", {"A.EXE", "B.DLL|end", "|end", "|end", 0}},
        {",X.DLL", {"", "X.DLL|end", "|end", 0, 0}},
        {"", {"|end", "|end", 0, 0, 0}},
        {"A,", {"A", "|end", "|end", 0, 0}},
        {"A, B", {"A", " B|end", 0, 0, 0}},
        {",,", {"", "", "|end", "|end", 0}},
    };
    for (const auto &c : cases) {
        char list[64];
        memset(list, 'Z', sizeof list);
        strcpy(list, c.list);
        char *cursor = list;
        INFO("list \"", c.list, "\"");
        for (const char *want : c.want) {
            if (!want) break;
            int ended = -1;
            std::string got = TakeListEntry(&cursor, &ended);
            if (ended) got += "|end";
            CHECK(got == want);
            CHECK(cursor <= list + strlen(c.list));
        }
    }
}

TEST_CASE("FindExtension takes the text after the dot of the last component")
{
    static const struct { const char *path, *want, *want932 = 0; } cases[] = {
        {"A:\\FILE.SYS", "SYS"}, {"A:\\SET.UP\\FILE", ""}, {"FILE.", ""},      {"A:\\DRV\\VX.sys", "sys"},
        {"", ""},                {".SYS", "SYS"},          {"A/B.C/D", ""},   {"A:\\X.TAR.GZ", "GZ"},
        {"NOEXT", ""},           {"A:\\.\\X", ""},
        {"A:\\X.S\x83\x5C", "", "S\x83\x5C"},  // ends in a two-byte character under code page 932
    };
    for (int cp932 = 0; cp932 < 2; ++cp932) {
        WalkBy rule(TestedRules[cp932]);
        for (const auto &c : cases) {
            const char *want = cp932 && c.want932 ? c.want932 : c.want;
            INFO("FindExtension(\"", Bytes(c.path, strlen(c.path)), "\") code page 932: ", cp932);
            const char *got = FindExtension(c.path);
            CHECK(Bytes(got, strlen(got)) == Bytes(want, strlen(want)));
            CHECK(got >= c.path);
            CHECK(got <= c.path + strlen(c.path));
        }
    }
}

TEST_CASE("SameIdentity compares file indexes where both files have one, else the full paths")
{
    static const struct { unsigned long a[3], b[3]; int samePath, want; } cases[] = {
        {{7, 0, 42}, {7, 0, 42}, 0, 1},  // one file under two names
        {{7, 0, 42}, {7, 0, 43}, 1, 0},  // two files: the path text does not count
        {{7, 0, 42}, {8, 0, 42}, 0, 0},  // the same index on another volume
        {{7, 1, 42}, {7, 2, 42}, 0, 0},
        {{7, 1, 0}, {7, 1, 0}, 0, 1},    // an index whose low half is 0 is still one
        {{7, 0, 0}, {7, 0, 0}, 0, 0},    // no identities (a redirector, a failed query): the paths differ
        {{7, 0, 0}, {7, 0, 0}, 1, 1},
        {{0, 0, 0}, {7, 0, 42}, 0, 0},
        {{7, 0, 42}, {0, 0, 0}, 1, 1},
    };
    for (const auto &c : cases) {
        INFO("volume ", c.a[0], " index ", c.a[1], ":", c.a[2], " against ", c.b[0], " index ", c.b[1], ":", c.b[2],
             ", same path ", c.samePath);
        CHECK(SameIdentity(c.a[0], c.a[1], c.a[2], c.b[0], c.b[1], c.b[2], c.samePath) == c.want);
    }
}

TEST_CASE("HasWildcard finds a star or a question mark anywhere")
{
    static const struct { const char *text; int want; } cases[] = {
        {"*.DLL", 1}, {"A?.EXE", 1}, {"A.EX?", 1}, {"*", 1},        {"?", 1},
        {"A.EXE", 0}, {"", 0},       {"A:\\X", 0}, {"[AB].EXE", 0}, {"A.EXE*", 1},
    };
    for (const auto &c : cases) {
        INFO("HasWildcard(\"", c.text, "\")");
        CHECK(HasWildcard(c.text) == c.want);
    }
}
