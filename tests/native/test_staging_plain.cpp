#include <limits.h>
#include <string.h>

#include <vector>

#include "staging.h"
#include "testing.h"

TEST_CASE("SpaceSuffices wants strictly more free kilobytes than tempspace, fraction kept")
{
    static const struct {
        unsigned long spc, bps, free;
        int tempSpace, want;
    } cases[] = {
        {2, 512, 1000, 1000, 0},  // exactly 1000 KB
        {1, 512, 2001, 1000, 1},  // 1000.5 KB
        {1, 512, 1999, 999, 1},   // 999.5 KB
        {1, 512, 1999, 1000, 0},
        {8, 512, 0, 0, 0},  // full drive
        {8, 512, 1, 0, 1},
        {0, 0, 0, -1, 1},                     // a negative tempspace always passes
        {65536, 65536, 1000000, 0, 0},        // the cluster size wraps to 0 in 32 bits
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
    static const struct {
        const char *list;
        const char *want[5];
    } cases[] = {
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
    static const struct {
        const char *path, *want, *want932 = 0;
    } cases[] = {
        {"A:\\FILE.SYS", "SYS"},
        {"A:\\SET.UP\\FILE", ""},
        {"FILE.", ""},
        {"A:\\DRV\\VX.sys", "sys"},
        {"", ""},
        {".SYS", "SYS"},
        {"A/B.C/D", ""},
        {"A:\\X.TAR.GZ", "GZ"},
        {"NOEXT", ""},
        {"A:\\.\\X", ""},
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
    static const struct {
        unsigned long a[3], b[3];
        int samePath, want;
    } cases[] = {
        {{7, 0, 42}, {7, 0, 42}, 0, 1},                                // one file under two names
        {{7, 0, 42}, {7, 0, 43}, 1, 0},                                // two files: the path text does not count
        {{7, 0, 42}, {8, 0, 42}, 0, 0},                                // the same index on another volume
        {{7, 1, 42}, {7, 2, 42}, 0, 0}, {{7, 1, 0}, {7, 1, 0}, 0, 1},  // an index whose low half is 0 is still one
        {{7, 0, 0}, {7, 0, 0}, 0, 0},  // no identities (a redirector, a failed query): the paths differ
        {{7, 0, 0}, {7, 0, 0}, 1, 1},   {{0, 0, 0}, {7, 0, 42}, 0, 0}, {{7, 0, 42}, {0, 0, 0}, 1, 1},
    };
    for (const auto &c : cases) {
        INFO("volume ", c.a[0], " index ", c.a[1], ":", c.a[2], " against ", c.b[0], " index ", c.b[1], ":", c.b[2],
             ", same path ", c.samePath);
        CHECK(SameIdentity(c.a[0], c.a[1], c.a[2], c.b[0], c.b[1], c.b[2], c.samePath) == c.want);
    }
}

TEST_CASE("HasWildcard finds a star or a question mark anywhere")
{
    static const struct {
        const char *text;
        int want;
    } cases[] = {
        {"*.DLL", 1}, {"A?.EXE", 1}, {"A.EX?", 1}, {"*", 1},        {"?", 1},
        {"A.EXE", 0}, {"", 0},       {"A:\\X", 0}, {"[AB].EXE", 0}, {"A.EXE*", 1},
    };
    for (const auto &c : cases) {
        INFO("HasWildcard(\"", c.text, "\")");
        CHECK(HasWildcard(c.text) == c.want);
    }
}

// Security descriptors as the platform hands them back: self-relative, an
// owner, a DACL of the entries given.
struct TestAce {
    unsigned char type, flags;
    unsigned long mask;
    std::vector<unsigned char> sid;
};
static std::vector<unsigned char> Sid(unsigned char authority, std::vector<unsigned long> subs)
{
    std::vector<unsigned char> sid = {1, (unsigned char)subs.size(), 0, 0, 0, 0, 0, authority};
    for (unsigned long s : subs)
        for (int i = 0; i < 4; ++i) sid.push_back((unsigned char)(s >> (8 * i)));
    return sid;
}
static void Put(std::vector<unsigned char> *out, unsigned long value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out->push_back((unsigned char)(value >> (8 * i)));
}
static std::vector<unsigned char> Descriptor(unsigned control, const std::vector<unsigned char> &owner,
                                             const std::vector<TestAce> &aces)
{
    std::vector<unsigned char> acl;
    for (const TestAce &a : aces) {
        Put(&acl, a.type | a.flags << 8, 2);
        Put(&acl, 8 + a.sid.size(), 2);
        Put(&acl, a.mask, 4);
        acl.insert(acl.end(), a.sid.begin(), a.sid.end());
    }
    std::vector<unsigned char> sd;
    Put(&sd, 1, 2);
    Put(&sd, control, 2);
    Put(&sd, 20, 4);  // owner
    Put(&sd, 0, 8);   // group, SACL
    Put(&sd, 20 + owner.size(), 4);
    sd.insert(sd.end(), owner.begin(), owner.end());
    Put(&sd, 2, 2);
    Put(&sd, 8 + acl.size(), 2);
    Put(&sd, aces.size(), 4);
    sd.insert(sd.end(), acl.begin(), acl.end());
    return sd;
}

static const std::vector<unsigned char> System = Sid(5, {18}), Admins = Sid(5, {32, 544}),
                                        User = Sid(5, {21, 1, 2, 3, 1001}), Everyone = Sid(1, {0}),
                                        CreatorOwner = Sid(3, {0}), AuthUsers = Sid(5, {11});

TEST_CASE("StagingSecurity gives a protected DACL of three full-control entries that all inside inherit")
{
    unsigned char out[STAGING_SECURITY_SIZE + 8];
    memset(out, MARKER, sizeof out);
    size_t length = StagingSecurity(out, sizeof out, User.data(), User.size(), 0);
    REQUIRE(length == 20 + 8 + 3 * 8 + 12 + 16 + 28);
    std::vector<TestAce> want = {{0, 3, 0x1F01FF, System}, {0, 3, 0x1F01FF, Admins}, {0, 3, 0x1F01FF, User}};
    std::vector<unsigned char> expected = Descriptor(0x9004, {}, want);
    expected[4] = 0;  // no owner: the platform's default
    CHECK(Bytes((const char *)out, length) == Bytes((const char *)expected.data(), expected.size()));
    CHECK(out[length] == (unsigned char)MARKER);
    // With an owner, as it reads back, it is a staging folder's.
    std::vector<unsigned char> owned = Descriptor(0x9004, Admins, want);
    CHECK(StagingFolderTrusted(owned.data(), owned.size(), User.data(), User.size(), 0) == 1);
    CHECK(StagingFolderTrusted(owned.data(), owned.size(), User.data(), User.size(), TRUST_ELEVATED) == 0);
    // No room, or no SID: nothing written.
    memset(out, MARKER, sizeof out);
    CHECK(StagingSecurity(out, length - 1, User.data(), User.size(), 0) == 0);
    CHECK(StagingSecurity(out, sizeof out, User.data(), 11, 0) == 0);
    CHECK(out[0] == (unsigned char)MARKER);
    // Elevated: SYSTEM and Administrators alone, whatever the user.
    length = StagingSecurity(out, sizeof out, User.data(), 11, 1);
    std::vector<TestAce> two(want.begin(), want.begin() + 2);
    expected = Descriptor(0x9004, {}, two);
    expected[4] = 0;
    CHECK(Bytes((const char *)out, length) == Bytes((const char *)expected.data(), expected.size()));
    CHECK(out[length] == (unsigned char)MARKER);
    CHECK(StagingSecurity(out, length - 1, User.data(), User.size(), 1) == 0);
}

TEST_CASE("CountsAsElevated: Administrators enabled, not for deny only, in a token that is not limited")
{
    static const struct {
        int read;
        unsigned long attributes, type;
        int want;
    } cases[] = {
        {1, 0x0F, 2, 1},  // elevated on Vista and later
        {1, 0x0F, 0, 1},  // an administrator before Vista
        {1, 0x0F, 1, 1},  // UAC off
        {1, 0x10, 3, 0},  // a limited token: for deny only
        {1, 0x0F, 3, 0},  // Wine's limited token holds it enabled
        {1, 0x10, 0, 0}, {1, 0x14, 1, 0}, {1, 0x00, 1, 0},
        {1, 0x00, 0, 0}, {0, 0x00, 0, 1},  // the groups could not be read: the careful side
    };
    for (const auto &c : cases) {
        INFO("read ", c.read, " attributes ", c.attributes, " type ", c.type);
        CHECK(CountsAsElevated(c.read, c.attributes, c.type) == c.want);
    }
}

TEST_CASE("StagingFolderTrusted wants a trusted owner and no entry that lets another write")
{
    const std::vector<TestAce> three = {{0, 3, 0x1F01FF, System}, {0, 3, 0x1F01FF, Admins}, {0, 3, 0x1F01FF, User}};
    static const struct {
        const char *what;
        unsigned control;
        int owner;
        TestAce extra;
        int want;
    } cases[] = {
        {"the three", 0x9004, 0, {1, 0, 0, Everyone}, 1},
        {"owned by the user", 0x8004, 2, {1, 0, 0, Everyone}, 1},
        {"owned by another", 0x8004, 3, {1, 0, 0, Everyone}, 0},
        {"Everyone reads", 0x8004, 0, {0, 0, 0x1200A9, Everyone}, 1},
        {"Everyone full", 0x8004, 0, {0, 0, 0x1F01FF, Everyone}, 0},
        {"users modify what is made inside", 0x8004, 0, {0, 0x0B, 0x1301BF, AuthUsers}, 0},
        {"Everyone denied", 0x8004, 0, {1, 3, 0x1F01FF, Everyone}, 1},
        {"creator owner", 0x8004, 0, {0, 0x0B, 0x10000000, CreatorOwner}, 1},
        {"an object entry", 0x8004, 0, {5, 0, 0x1, Everyone}, 0},
        {"no DACL", 0x8000, 0, {1, 0, 0, Everyone}, 0},
        {"not self-relative", 0x0004, 0, {1, 0, 0, Everyone}, 0},
    };
    const std::vector<unsigned char> owners[] = {Admins, System, User, Everyone};
    for (const auto &c : cases) {
        std::vector<TestAce> aces = three;
        aces.push_back(c.extra);
        std::vector<unsigned char> sd = Descriptor(c.control, owners[c.owner], aces);
        // An elevated run trusts no folder that the user may write (all of
        // them: the three entries hold the user's); one this run made is
        // trusted whoever owns it.
        for (int how = 0; how < 4; ++how) {
            INFO(c.what, ", how ", how);
            int want = c.want || (how == TRUST_MADE && c.owner == 3 && c.control == 0x8004);
            CHECK(StagingFolderTrusted(sd.data(), sd.size(), User.data(), User.size(), how) ==
                  (how & TRUST_ELEVATED ? 0 : want));
        }
        // Cut short anywhere, it is never trusted and never read past.
        for (size_t cut = 0; cut < sd.size(); ++cut) {
            std::vector<unsigned char> part(sd.begin(), sd.begin() + cut);
            CHECK(StagingFolderTrusted(part.data(), part.size(), User.data(), User.size(), TRUST_MADE) == 0);
        }
    }
    // SYSTEM and Administrators alone: trusted when elevated too, unless the
    // owner is the user, and then when this run made it.
    const std::vector<TestAce> two(three.begin(), three.begin() + 2);
    for (int owner = 0; owner < 4; ++owner)
        for (int how = 0; how < 4; ++how) {
            INFO("SYSTEM and Administrators alone, owner ", owner, ", how ", how);
            std::vector<unsigned char> sd = Descriptor(0x9004, owners[owner], two);
            int want = owner < 2 || (how & TRUST_MADE) || (owner == 2 && !(how & TRUST_ELEVATED));
            CHECK(StagingFolderTrusted(sd.data(), sd.size(), User.data(), User.size(), how) == want);
        }
    // Each right that writes, deletes or changes security, alone.
    for (unsigned long bit = 1; bit; bit <<= 1) {
        INFO("Everyone has ", bit);
        int writes = (bit & 0x500D0156) != 0;
        std::vector<TestAce> aces = three;
        aces.push_back({0, 0, bit, Everyone});
        std::vector<unsigned char> sd = Descriptor(0x8004, Admins, aces);
        CHECK(StagingFolderTrusted(sd.data(), sd.size(), User.data(), User.size(), 0) == !writes);
    }
}

TEST_CASE("StagingLockName names a folder by its identity, or by its path where it has none")
{
    static const struct {
        int global;
        unsigned long serial, high, low;
        const char *path;
        size_t size;
        const char *want;
    } cases[] = {
        {1, 0xABCD, 1, 2, "C:\\STAGE", 64, "Global\\SETUP1-0000ABCD0000000100000002"},
        {0, 0, 0, 0x12, "", 64, "SETUP1-000000000000000000000012"},
        {0, 7, 0, 0, "C:\\ZEV STAGE\\X", 64, "SETUP1-C:/ZEV STAGE/X"},
        {1, 7, 0, 0, "\\\\SERVER\\SHARE", 64, "Global\\SETUP1-//SERVER/SHARE"},
        {0, 7, 0, 0, "", 64, ""},
        {0, 7, 0, 0, "C:\\STAGE", 15, ""},
        {0, 7, 0, 0, "C:\\STAGE", 16, "SETUP1-C:/STAGE"},
        {1, 1, 1, 1, "", 38, ""},
        // A second byte 0x5C of code page 932 stays as it is.
        {0, 7, 0, 0, "C:\\\x83\x5C\\X", 64, "SETUP1-C:/\x83\x5C/X"},
    };
    WalkBy rule(CodePage932Rule);
    for (const auto &c : cases) {
        INFO("path \"", c.path, "\" index ", c.high, ":", c.low, " size ", c.size);
        char name[64];
        memset(name, MARKER, sizeof name);
        CHECK(StagingLockName(name, c.size, c.global, c.serial, c.high, c.low, c.path) == (c.want[0] != 0));
        CHECK(Text(name) == c.want);
        for (size_t i = c.size; i < sizeof name; ++i) CHECK(name[i] == MARKER);
    }
}

TEST_CASE("OwnerTrusted and LockSecurity: a mutex made by this run is told from one anybody made")
{
    static const struct {
        int owner;  // of the mutex: Admins, System, User, Everyone, another user
        int withUser, want;
    } cases[] = {{0, 1, 1}, {1, 1, 1}, {2, 1, 1}, {3, 1, 0}, {4, 1, 0}, {0, 0, 1}, {2, 0, 0}, {4, 0, 0}};
    const std::vector<unsigned char> owners[] = {Admins, System, User, Everyone, Sid(5, {21, 1, 2, 3, 1002})};
    for (const auto &c : cases) {
        INFO("owner ", c.owner, " user given ", c.withUser);
        unsigned char sd[LOCK_SECURITY_SIZE + 4];
        memset(sd, MARKER, sizeof sd);
        const std::vector<unsigned char> &owner = owners[c.owner];
        size_t length = LockSecurity(sd, sizeof sd, owner.data(), owner.size());
        REQUIRE(length == 20 + owner.size());
        CHECK(sd[length] == (unsigned char)MARKER);
        CHECK(OwnerTrusted(sd, length, User.data(), c.withUser ? User.size() : 0) == c.want);
        CHECK(LockSecurity(sd, length - 1, owner.data(), owner.size()) == 0);
        for (size_t cut = 0; cut < length; ++cut) CHECK(OwnerTrusted(sd, cut, User.data(), User.size()) == 0);
    }
}

TEST_CASE("RenameHoldsPath walks by character")
{
    static const struct {
        const char *name;
        int want, want932;
    } cases[] = {
        {"X.DLL", 0, 0},  {"SUB\\X.DLL", 1, 1}, {"A/B", 1, 1},          {"C:X", 1, 1},         {"*.DLL", 1, 1},
        {"X?.DLL", 1, 1}, {"", 0, 0},           {"\x83\x5C.DLL", 1, 0}, {"\x83\x5C\\X", 1, 1},
    };
    for (int cp932 = 0; cp932 < 2; ++cp932) {
        WalkBy rule(TestedRules[cp932]);
        for (const auto &c : cases) {
            INFO("RenameHoldsPath(\"", Bytes(c.name, strlen(c.name)), "\") code page 932: ", cp932);
            CHECK(RenameHoldsPath(c.name) == (cp932 ? c.want932 : c.want));
        }
    }
}

TEST_CASE("LaunchFailureText says which program did not start and why")
{
    static const char head[] = "The second phase of ZEV! Setup, C:\\S\\P2.EXE, could not be started: ";
    static const struct {
        unsigned result;
        unsigned long error;
        const char *why;
    } cases[] = {
        {2, 2, "the file was not found."},
        {3, 3, "the file was not found."},
        {11, 193, "it is not a program that runs on this version of Windows."},
        {5, 740, "it must be run as an administrator."},
        {0, 8, "there is not enough memory."},
        {5, 5, "error 5."},
        {31, 0, "error 31."},
    };
    for (const auto &c : cases) {
        INFO("result ", c.result, " error ", c.error);
        char out[200];
        memset(out, MARKER, sizeof out);
        std::string want = std::string(head) + c.why;
        CHECK(LaunchFailureText(out, sizeof out, "C:\\S\\P2.EXE", c.result, c.error) == 1);
        CHECK(Text(out) == want);
        CHECK(out[want.size() + 1] == MARKER);
        CHECK(LaunchFailureText(out, want.size(), "C:\\S\\P2.EXE", c.result, c.error) == 0);
        CHECK(Text(out) == "");
    }
}
