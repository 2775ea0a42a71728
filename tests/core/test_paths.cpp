#include <string.h>

#include "paths.h"
#include "testing.h"

static const char MARKER = '\x5A';

TEST_CASE("JoinPath joins with one separator and drops drive prefixes and ./ pairs")
{
    static const struct { const char *path, *name, *want; } cases[] = {
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
    };
    for (const auto &c : cases) {
        char path[PATH_SIZE];
        memset(path, MARKER, sizeof path);
        strcpy(path, c.path);
        INFO("JoinPath(\"", c.path, "\", \"", c.name, "\")");
        CHECK(JoinPath(path, c.name) == 1);
        CHECK(Text(path) == c.want);
        CHECK(path[strlen(c.want) + 1] == MARKER);
    }
}

TEST_CASE("JoinPath refuses a join that does not fit and leaves the path as it was")
{
    char path[PATH_SIZE + 1];
    memset(path, MARKER, sizeof path);
    std::string dir(250, 'D');
    strcpy(path, dir.c_str());

    CHECK(JoinPath(path, "ABCD") == 1);  // 250 + 1 + 4 = 255: fits exactly
    CHECK(strlen(path) == 255);
    CHECK(path[PATH_SIZE] == MARKER);

    strcpy(path, dir.c_str());
    CHECK(JoinPath(path, "ABCDE") == 0);  // 256 characters would not fit
    CHECK(Text(path) == dir);
    CHECK(path[PATH_SIZE] == MARKER);

    std::string full(255, 'F');
    strcpy(path, full.c_str());
    CHECK(JoinPath(path, "") == 0);  // even the separator alone is too much
    CHECK(Text(path) == full);

    char small[8];
    memset(small, MARKER, sizeof small);
    strcpy(small, "C:\\A");
    CHECK(JoinPathIn(small, sizeof small, "BC") == 1);
    CHECK(Text(small) == "C:\\A\\BC");
    CHECK(JoinPathIn(small, sizeof small, "D") == 0);
    CHECK(Text(small) == "C:\\A\\BC");
}

TEST_CASE("FileNamePart and DirectoryPart split at the last separator")
{
    static const struct { const char *path, *name, *dir; } cases[] = {
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
    };
    for (const auto &c : cases) {
        char path[PATH_SIZE];
        strcpy(path, c.path);
        INFO("path \"", c.path, "\"");
        const char *name = FileNamePart(static_cast<const char *>(path));
        CHECK(Text(name) == c.name);
        CHECK(name >= path);
        CHECK(DirectoryPart(path) == path);
        CHECK(Text(path) == c.dir);
    }
}

TEST_CASE("CopyText and AppendText cut at the buffer and say so")
{
    char buffer[8];
    memset(buffer, MARKER, sizeof buffer);
    CHECK(CopyText(buffer, 6, "ABCDE") == 1);
    CHECK(Text(buffer) == "ABCDE");
    CHECK(CopyText(buffer, 6, "ABCDEF") == 0);
    CHECK(Text(buffer) == "ABCDE");
    CHECK(buffer[6] == MARKER);

    CHECK(CopyText(buffer, 6, "AB") == 1);
    CHECK(AppendText(buffer, 6, "CDE") == 1);
    CHECK(Text(buffer) == "ABCDE");
    CHECK(AppendText(buffer, 6, "F") == 0);
    CHECK(Text(buffer) == "ABCDE");
    CHECK(buffer[6] == MARKER);
    CHECK(CopyText(buffer, 0, "A") == 0);
}

TEST_CASE("SetSourceDirectory cuts the module name to its directory and refuses a full buffer")
{
    static const struct { const char *module, *want; } cases[] = {
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
    memcpy(full, "C:\\", 3);
    CHECK(SetSourceDirectory(full, PATH_SIZE) == 0);
    CHECK(Text(SourceDirectory) == "");
    CHECK(SetSourceDirectory("", 0) == 0);
    CHECK(Text(SourceDirectory) == "");
}
