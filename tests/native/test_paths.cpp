#include <stdlib.h>
#include <string.h>

#include "paths.h"
#include "state.h"
#include "testing.h"

// A heap block of exactly size bytes, so that the address sanitizer stops a
// write one byte past it.
struct Exact {
    char *p;
    explicit Exact(size_t size, const char *text = "") : p((char *)malloc(size ? size : 1))
    {
        memset(p, MARKER, size ? size : 1);
        if (size) CopyText(p, size, text);
    }
    ~Exact() { free(p); }
};

TEST_CASE("JoinPath joins with one separator and drops drive prefixes and ./ pairs")
{
    // want932: where code page 932 joins otherwise; 0x5C after a lead byte
    // is the second byte of a character (\x94\x5C, \x83\x5C), no separator.
    static const struct {
        const char *path, *name, *want, *want932 = 0;
    } cases[] = {
        {"C:\\STAGE", "SETUP1.INF", "C:\\STAGE\\SETUP1.INF"},
        {"A:\\", "SETUP1.INF", "A:\\SETUP1.INF"},
        {"C:", "X.TXT", "C:X.TXT"},
        {"C:\\DIR/", "X", "C:\\DIR/X"},
        {"C:\\DIR", "A:X.TXT", "C:\\DIR\\X.TXT"},
        {"C:\\DIR", "A:\\X.TXT", "C:\\DIR\\\\X.TXT"},
        {"C:\\DIR", ".\\X.TXT", "C:\\DIR\\X.TXT"},
        {"C:\\DIR", "./.\\X", "C:\\DIR\\X"},
        {"C:\\DIR", "..\\X", "C:\\DIR\\..\\X"},
        {"C:\\DIR", ".", "C:\\DIR\\"},
        {"C:\\DIR", "", "C:\\DIR\\"},
        {"C:\\DIR", "X:", "C:\\DIR\\"},
        {"", "A.TXT", "\\A.TXT"},
        {"C:\\DIR", "\\SUB", "C:\\DIR\\\\SUB"},
        {"C:\\DIR", "A:./X", "C:\\DIR\\X"},
        {"C:\\DIR", ".:X", "C:\\DIR\\X"},
        {"C:\\DIR", "./", "C:\\DIR\\"},
        {"C:\\DIR", "..", "C:\\DIR\\.."},
        {"C:\\DIR", "A:.", "C:\\DIR\\"},
        {"C:\\\x90\x56\x8B\x40\x94\x5C", "SETUP1.INF",
         "C:\\\x90\x56\x8B\x40\x94\x5C"
         "SETUP1.INF",
         "C:\\\x90\x56\x8B\x40\x94\x5C\\SETUP1.INF"},
        {"C:\\STAGE\x83\x5C", "P2.EXE",
         "C:\\STAGE\x83\x5C"
         "P2.EXE",
         "C:\\STAGE\x83\x5C\\P2.EXE"},
        {"C:\\X\x94", "Y", "C:\\X\x94\\Y"},  // a lead byte with nothing after it
    };
    for (int cp932 = 0; cp932 < 2; ++cp932) {
        WalkBy rule(TestedRules[cp932]);
        for (const auto &c : cases) {
            const char *want = cp932 && c.want932 ? c.want932 : c.want;
            Exact path(PATH_SIZE, c.path);
            INFO("JoinPath(\"", Bytes(c.path, strlen(c.path)), "\", \"", c.name, "\") code page 932: ", cp932);
            CHECK(JoinPath(path.p, c.name) == 1);
            CHECK(Bytes(path.p, strlen(path.p)) == Bytes(want, strlen(want)));
            CHECK(path.p[strlen(want) + 1] == MARKER);
        }
    }
}

TEST_CASE("JoinPathIn refuses a join that does not fit and leaves the path unchanged")
{
    for (size_t size = 0; size <= 12; ++size) {
        for (const char *name : {"", "B", "BCDEFG", "A:\\X", "./X", "."}) {
            Exact path(size, "C:\\A");
            char before[16];
            memcpy(before, path.p, size ? size : 1);
            INFO("size ", size, " name \"", name, "\"");
            int joined = JoinPathIn(path.p, size, name);
            if (joined) {
                CHECK(strlen(path.p) < size);
            } else {
                CHECK(memcmp(before, path.p, size ? size : 1) == 0);
            }
        }
    }
    // An unterminated buffer is refused, not read past.
    Exact full(8);
    memset(full.p, 'F', 8);
    CHECK(JoinPathIn(full.p, 8, "X") == 0);

    // The marker byte past the path buffer shows a write past it where no
    // sanitizer watches.
    std::string dir(250, 'D');
    Exact path(PATH_SIZE + 1, dir.c_str());
    CHECK(JoinPath(path.p, "ABCD") == 1);  // 250 + 1 + 4 = 255: fits exactly
    CHECK(strlen(path.p) == 255);
    CHECK(path.p[PATH_SIZE] == MARKER);
    CopyText(path.p, PATH_SIZE, dir.c_str());
    CHECK(JoinPath(path.p, "ABCDE") == 0);  // 256 characters would not fit
    CHECK(Text(path.p) == dir);
    CHECK(path.p[PATH_SIZE] == MARKER);

    std::string filled(255, 'F');
    CopyText(path.p, PATH_SIZE, filled.c_str());
    CHECK(JoinPath(path.p, "") == 0);  // even the separator alone is too much
    CHECK(Text(path.p) == filled);

    Exact small(8, "C:\\A");
    CHECK(JoinPathIn(small.p, 8, "BC") == 1);
    CHECK(Text(small.p) == "C:\\A\\BC");
    CHECK(JoinPathIn(small.p, 8, "D") == 0);
    CHECK(Text(small.p) == "C:\\A\\BC");
}

TEST_CASE("FileNamePart and DirectoryPart split at the last separator")
{
    static const struct {
        const char *path, *name, *dir, *name932 = 0, *dir932 = 0;
    } cases[] = {
        {"C:\\DIR\\SETUP1.EXE", "SETUP1.EXE", "C:\\DIR"},
        {"C:\\SETUP1.EXE", "SETUP1.EXE", "C:\\"},
        {"C:SETUP1.EXE", "SETUP1.EXE", "C:"},
        {"\\SETUP1.EXE", "SETUP1.EXE", "\\"},
        {"SETUP1.EXE", "SETUP1.EXE", ""},
        {"C:\\DIR\\", "", "C:\\DIR"},
        {"A:\\", "", "A:\\"},
        {"\\\\SRV\\SHR\\SETUP1.EXE", "SETUP1.EXE", "\\\\SRV\\SHR"},
        {"DIR/SUB/F.EXE", "F.EXE", "DIR/SUB"},
        {"", "", ""},
        {"\\", "", "\\"},
        {"/", "", "/"},
        {":", "", ":"},
        {"A:/X", "X", "A:/"},
        {"C:\\\x94\x5C", "", "C:\\\x94", "\x94\x5C", "C:\\"},
        {"C:\\\x94\x5C\\SETUP1.EXE", "SETUP1.EXE", "C:\\\x94\x5C"},
        {"\x83\x5C"
         "X",
         "X", "\x83",
         "\x83\x5C"
         "X",
         ""},
    };
    for (int cp932 = 0; cp932 < 2; ++cp932) {
        WalkBy rule(TestedRules[cp932]);
        for (const auto &c : cases) {
            const char *wantName = cp932 && c.name932 ? c.name932 : c.name;
            const char *wantDir = cp932 && c.dir932 ? c.dir932 : c.dir;
            Exact path(strlen(c.path) + 1, c.path);
            INFO("path \"", Bytes(c.path, strlen(c.path)), "\" code page 932: ", cp932);
            const char *name = FileNamePart(static_cast<const char *>(path.p));
            CHECK(Bytes(name, strlen(name)) == Bytes(wantName, strlen(wantName)));
            CHECK(name >= path.p);
            CHECK(DirectoryPart(path.p) == path.p);
            CHECK(Bytes(path.p, strlen(path.p)) == Bytes(wantDir, strlen(wantDir)));
        }
    }
}

TEST_CASE("FindLastChar finds the last character c, never the second byte of another")
{
    static const struct {
        const char *text;
        char c;
        int want, want932 = -2;
    } cases[] = {
        {"C:\\A\\B", '\\', 4},
        {"C:", '\\', -1},
        {"C:\\STAGE\x83\x5C", '\\', 9, 2},
    };
    for (int cp932 = 0; cp932 < 2; ++cp932) {
        WalkBy rule(TestedRules[cp932]);
        for (const auto &c : cases) {
            char text[32];
            CopyText(text, sizeof text, c.text);
            INFO("FindLastChar(\"", Bytes(c.text, strlen(c.text)), "\", '", c.c, "') code page 932: ", cp932);
            const char *got = FindLastChar(text, c.c);
            CHECK((got ? (int)(got - text) : -1) == (cp932 && c.want932 != -2 ? c.want932 : c.want));
        }
    }
}

TEST_CASE("CopyText and AppendText never write past the buffer")
{
    static const struct {
        size_t size;
        const char *start, *add, *copied;
        int copyFits;
        const char *appended;
        int appendFits;
    } cases[] = {
        {1, "", "A", "", 0, "", 0},
        {2, "A", "B", "B", 1, "A", 0},
        {6, "AB", "CDE", "CDE", 1, "ABCDE", 1},
        {6, "AB", "CDEF", "CDEF", 1, "ABCDE", 0},
        {4, "ABC", "", "", 1, "ABC", 1},
        {4, "AB", "CDEFGH", "CDE", 0, "ABC", 0},
        {6, "", "ABCDE", "ABCDE", 1, "ABCDE", 1},
        {6, "", "ABCDEF", "ABCDE", 0, "ABCDE", 0},
        {6, "ABCDE", "F", "F", 1, "ABCDE", 0},
    };
    for (const auto &c : cases) {
        INFO("size ", c.size, " \"", c.start, "\" + \"", c.add, "\"");
        Exact copy(c.size);
        CHECK(CopyText(copy.p, c.size, c.add) == c.copyFits);
        CHECK(Text(copy.p) == c.copied);
        Exact append(c.size, c.start);
        CHECK(AppendText(append.p, c.size, c.add) == c.appendFits);
        CHECK(Text(append.p) == c.appended);
    }
    Exact none(0);
    CHECK(CopyText(none.p, 0, "A") == 0);
    CHECK(none.p[0] == MARKER);
    CHECK(AppendText(none.p, 0, "A") == 0);
    CHECK(none.p[0] == MARKER);
    // A destination without a terminator within its size takes nothing more.
    Exact full(4);
    memset(full.p, 'F', 4);
    CHECK(AppendText(full.p, 4, "X") == 0);
    // Cut texts end inside the size given, not in the byte after it.
    char buffer[8];
    memset(buffer, MARKER, sizeof buffer);
    CHECK(CopyText(buffer, 6, "ABCDEF") == 0);
    CHECK(Text(buffer) == "ABCDE");
    CHECK(buffer[6] == MARKER);
    CHECK(AppendText(buffer, 6, "F") == 0);
    CHECK(Text(buffer) == "ABCDE");
    CHECK(buffer[6] == MARKER);
}

TEST_CASE("SetSourceDirectory cuts the module name to its directory and refuses a full buffer")
{
    static const struct {
        const char *module, *want;
    } cases[] = {
        {"A:\\SETUP1.EXE", "A:\\"},
        {"D:\\DISK1\\SETUP1.EXE", "D:\\DISK1"},
        {"\\\\SRV\\SHR\\SETUP1.EXE", "\\\\SRV\\SHR"},
    };
    for (const auto &c : cases) {
        INFO("module \"", c.module, "\"");
        CHECK(SetSourceDirectory(c.module, (unsigned long)strlen(c.module)) == 1);
        CHECK(Text(SourceDirectory) == c.want);
    }

    std::string longest = "C:\\" + std::string(241, 'D') + "\\SETUP1.EXE";  // 255 characters
    REQUIRE(longest.size() == 255);
    CHECK(SetSourceDirectory(longest.c_str(), 255) == 1);
    CHECK(Text(SourceDirectory) == longest.substr(0, 244));

    // GetModuleFileNameA returns the buffer size when the name did not fit;
    // the buffer then holds a cut (and on some systems unterminated) name.
    char full[PATH_SIZE];
    memset(full, 'X', sizeof full);
    CHECK(SetSourceDirectory(full, PATH_SIZE) == 0);
    CHECK(Text(SourceDirectory) == "");
    memcpy(full, "C:\\", 3);
    CHECK(SetSourceDirectory(full, PATH_SIZE) == 0);
    CHECK(Text(SourceDirectory) == "");
    CHECK(SetSourceDirectory("", 0) == 0);
    CHECK(Text(SourceDirectory) == "");
}

TEST_CASE("PathClimbsOut tells a name that leads out of the folder it is joined to")
{
    static const struct {
        const char *name;
        int want, want932 = -1;
    } cases[] = {
        {"X.TXT", 0},
        {"..\\X.TXT", 1},
        {"../X.TXT", 1},
        {"..", 1},
        {"SUB\\..\\X", 0},
        {"SUB\\..\\..\\X", 1},
        {".\\..\\X", 1},
        {"C:..\\X", 1},
        {"C:\\SUB\\..\\X", 0},
        {"SUB\\\\..\\X", 0},
        {"...\\X", 0},
        {"..X", 0},
        {"X\\..", 0},
        {"", 0},
        {"\\..\\X", 1},
        {"A\\B\\..\\..\\..", 1},
        {"\x94\x5C"
         "X\\..\\..\\EVIL",
         0, 1},  // one component under code page 932
    };
    for (int cp932 = 0; cp932 < 2; ++cp932) {
        WalkBy rule(TestedRules[cp932]);
        for (const auto &c : cases) {
            INFO("PathClimbsOut(\"", Bytes(c.name, strlen(c.name)), "\") code page 932: ", cp932);
            CHECK(PathClimbsOut(c.name) == (cp932 && c.want932 >= 0 ? c.want932 : c.want));
        }
    }
}

TEST_CASE("DriveRoot gives the root of the drive or share a path is on")
{
    static const struct {
        const char *path, *current;
        size_t size;
        int want;
        const char *root, *root932 = 0;
    } cases[] = {
        {"C:\\ZEVSTAGE", "D:\\", PATH_SIZE, 1, "C:\\"},
        {"c:\\zevstage", "D:\\", PATH_SIZE, 1, "C:\\"},
        {"ZEVSTAGE", "D:\\", PATH_SIZE, 1, "Z:\\"},  // the first byte, as ever
        {"@:\\X", "D:\\", PATH_SIZE, 1, ""},
        {"`:\\X", "D:\\", PATH_SIZE, 1, ""},
        {"", "D:\\", PATH_SIZE, 1, ""},
        {"\\ZEVSTAGE", "D:\\MEDIUM", PATH_SIZE, 1, "D:\\"},
        {"/ZEVSTAGE", "e:\\", PATH_SIZE, 1, "E:\\"},
        {"\\ZEVSTAGE", "\\\\SERVER\\SHARE\\MEDIUM", PATH_SIZE, 1, "\\\\SERVER\\SHARE\\"},
        {"\\ZEVSTAGE", "", PATH_SIZE, 1, ""},
        {"\\ZEVSTAGE", "\\X", PATH_SIZE, 0, ""},
        {"\\\\SERVER\\SHARE\\STAGE", "C:\\", PATH_SIZE, 1, "\\\\SERVER\\SHARE\\"},
        {"\\\\SERVER\\SHARE", "C:\\", PATH_SIZE, 1, "\\\\SERVER\\SHARE\\"},
        {"//SERVER/SHARE/STAGE", "C:\\", PATH_SIZE, 1, "//SERVER/SHARE\\"},
        {"\\\\SERVER", "C:\\", PATH_SIZE, 1, "\\\\SERVER\\"},
        {"\\\\SERVER\\SHARE\\STAGE", "C:\\", 16, 1, "\\\\SERVER\\SHARE\\"},
        {"\\\\SERVER\\SHARE\\STAGE", "C:\\", 15, 0, ""},
        {"C:\\X", "D:\\", 4, 1, "C:\\"},
        {"C:\\X", "D:\\", 3, 0, ""},
        {"\\\\SRV\x94\x5C\\SHR\\X", "C:\\", PATH_SIZE, 1, "\\\\SRV\x94\x5C\\", "\\\\SRV\x94\x5C\\SHR\\"},
    };
    for (int cp932 = 0; cp932 < 2; ++cp932) {
        WalkBy rule(TestedRules[cp932]);
        for (const auto &c : cases) {
            const char *want = cp932 && c.root932 ? c.root932 : c.root;
            Exact root(c.size);
            INFO("DriveRoot(\"", Bytes(c.path, strlen(c.path)), "\", size ", c.size, ", current \"", c.current,
                 "\") code page 932: ", cp932);
            CHECK(DriveRoot(root.p, c.size, c.path, c.current) == c.want);
            CHECK(Bytes(root.p, strlen(root.p)) == Bytes(want, strlen(want)));
        }
    }
}
