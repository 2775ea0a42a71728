#include <stdlib.h>
#include <string.h>

#include "paths.h"
#include "setup1.h"
#include "staging.h"
#include "testing.h"

TEST_CASE("BuildPhaseTwoCommandLine assembles program, pass-through, target codes and source")
{
    static const struct {
        const char *dir, *run, *own, *target, *source, *want;
    } cases[] = {
        {"C:\\STAGE", "P2.EXE", "", "4", "A:\\", "C:\\STAGE\\P2.EXE -p4 A:\\"},
        {"C:\\STAGE", "P2.EXE", "/q x", "3+S", "D:\\DISK1", "C:\\STAGE\\P2.EXE /q x -p3+S D:\\DISK1"},
        {"C:\\STAGE", "P2.EXE", "", "", "A:\\", "C:\\STAGE\\P2.EXE -p A:\\"},
        {"C:\\MY STAGE", "P2.EXE", "", "N", "A:\\", "\"C:\\MY STAGE\\P2.EXE\" -pN A:\\"},
        {"C:\\STAGE\\", "P 2.EXE", "", "4", "A:\\", "\"C:\\STAGE\\P 2.EXE\" -p4 A:\\"},
        {"C:", "P2.EXE", "", "S 3", "A:\\ X", "C:P2.EXE -pS 3 A:\\ X"},
        {"", "", "", "", "", "\\ -p "},
    };
    for (const auto &c : cases) {
        char line[COMMAND_LINE_SIZE];
        memset(line, MARKER, sizeof line);
        INFO("dir \"", c.dir, "\" run \"", c.run, "\" own \"", c.own, "\" target \"", c.target, "\" source \"",
             c.source, "\"");
        CHECK(BuildPhaseTwoCommandLine(line, sizeof line, c.dir, c.run, c.own, c.target, c.source) == 1);
        CHECK(Text(line) == c.want);
        CHECK(line[strlen(c.want) + 1] == MARKER);
    }
}

TEST_CASE("BuildPhaseTwoCommandLine refuses a line that would not fit and leaves it empty")
{
    // C:\S\P.EXE -p4 A:\ is 18 characters: it fits 19 bytes and not 18.
    for (size_t size = 1; size <= 24; ++size) {
        char *line = (char *)malloc(size);  // exactly size bytes for the sanitizer
        memset(line, MARKER, size);
        INFO("size ", size);
        int built = BuildPhaseTwoCommandLine(line, size, "C:\\S", "P.EXE", "", "4", "A:\\");
        CHECK(built == (size >= 19 ? 1 : 0));
        CHECK(Text(line) == (built ? "C:\\S\\P.EXE -p4 A:\\" : ""));
        free(line);
    }
    char marker = MARKER;
    CHECK(BuildPhaseTwoCommandLine(&marker, 0, "C:\\S", "P.EXE", "", "4", "A:\\") == 0);
    CHECK(marker == MARKER);

    // A program path that does not fit a path buffer is refused even when
    // the line would have room.
    std::string dir = "C:\\" + std::string(250, 'D');
    char wide[1024];
    CHECK(BuildPhaseTwoCommandLine(wide, sizeof wide, dir.c_str(), "P2.EXE", "", "4", "A:\\") == 0);
    CHECK(Text(wide) == "");
    // Quoting counts: a line of 255 characters fits unquoted, and the two
    // quotes a blank in the program path brings make it too long.
    std::string plain = "C:\\" + std::string(232, 'D') + "X";
    std::string blank = "C:\\" + std::string(231, 'D') + " X";
    char line[COMMAND_LINE_SIZE];
    CHECK(BuildPhaseTwoCommandLine(line, sizeof line, plain.c_str(), "P.EXE", "", "444444", "A:\\") == 1);
    CHECK(strlen(line) == 255);
    memset(line, MARKER, sizeof line);
    CHECK(BuildPhaseTwoCommandLine(line, sizeof line, blank.c_str(), "P.EXE", "", "444444", "A:\\") == 0);
    CHECK(Text(line) == "");
}

TEST_CASE("SkipProgramName takes the text after the program's name, whatever bytes that name holds")
{
    static const struct {
        const char *line, *want;
    } cases[] = {
        {"D:\\M\xC9"
         "DIAS\\SETUP1.EXE /S",
         "/S"},
        {"D:\\\x83\x5C\x83\x41\\SETUP1.EXE  \t/S x", "/S x"},
        {"\"D:\\M\xC9"
         "DIAS X\\SETUP1.EXE\" /S",
         "/S"},
        {"SETUP1.EXE", ""},
        {"\"SETUP1.EXE", ""},
        {"\"A B\"", ""},
        {"A\xFF\x80"
         "B\tC",
         "C"},
        {"", ""},
    };
    for (const auto &c : cases) {
        INFO("line \"", Bytes(c.line, strlen(c.line)), "\"");
        const char *got = SkipProgramName(c.line);
        CHECK(Bytes(got, strlen(got)) == Bytes(c.want, strlen(c.want)));
        CHECK(got == c.line + strlen(c.line) - strlen(c.want));
    }
}
