// The copy engine on real files under Wine.
#include <string.h>

#include <vector>

#include "files.h"
#include "paths.h"
#include "staging.h"

TEST_CASE("MakeDollarName replaces the last character of a sys spec with a dollar")
{
    static const struct {
        const char *spec, *want;
        int result;
    } cases[] = {
        {"A:\\DRV\\VX.SYS", "A:\\DRV\\VX.SY$", 1},
        {"a:\\vx.sys", "a:\\vx.sy$", 1},
        {"X.SyS", "X.Sy$", 1},
        {"A:\\VX.SYSX", "A:\\VX.SYSX", 0},
        {"A:\\FILESYS", "A:\\FILESYS", 0},
        {"A:\\SYS\\X", "A:\\SYS\\X", 0},
        {"A:\\X.EXE", "A:\\X.EXE", 0},
        {"", "", 0},
        {"A.SYS\\B", "A.SYS\\B", 0},
    };
    for (const auto &c : cases) {
        char out[PATH_SIZE + 1];
        memset(out, MARKER, sizeof out);
        INFO("MakeDollarName(\"", c.spec, "\")");
        CHECK(MakeDollarName(out, c.spec) == c.result);
        CHECK(Text(out) == c.want);
        CHECK(out[PATH_SIZE] == MARKER);
    }
}

// Allocation that counts its calls and refuses blocks above a limit.
static size_t AllocLimit;
static std::vector<size_t> AllocSizes;
static int FreeCalls;
static void *LimitedAllocate(size_t size)
{
    AllocSizes.push_back(size);
    return size <= AllocLimit ? malloc(size) : 0;
}
static void CountedFree(void *block)
{
    ++FreeCalls;
    free(block);
}
struct AllocatorSwap {
    explicit AllocatorSwap(size_t limit)
    {
        AllocLimit = limit;
        AllocSizes.clear();
        FreeCalls = 0;
        CopyBufferAllocate = LimitedAllocate;
        CopyBufferFree = CountedFree;
    }
    ~AllocatorSwap()
    {
        CopyBufferAllocate = malloc;
        CopyBufferFree = free;
    }
};

TEST_CASE("CopyFileSpec copies a plain spec byte for byte with the source's last-write time")
{
    Scratch src("src"), dst("dst");
    static const size_t sizes[] = {0, 1, 61439, 61440, 61441, 200000};
    for (size_t size : sizes) {
        INFO("file of ", size, " bytes");
        std::string content = Pattern(size, (unsigned)size);
        REQUIRE(PutFileDated(src / "DATA.BIN", content, 1997));
        REQUIRE(PutFile(dst / "DATA.BIN", "stale content, longer than nothing"));
        CHECK(CopyFileSpec((src / "DATA.BIN").c_str(), dst.dir.c_str()) == 0);
        CHECK(GetFile(dst / "DATA.BIN") == content);
        CHECK(WriteTime(dst / "DATA.BIN") == WriteTime(src / "DATA.BIN"));
        CHECK(GetFileAttributesA((dst / "DATA.BIN").c_str()) == FILE_ATTRIBUTE_ARCHIVE);
        CHECK(CopyBuffer.holders == 0);
        CHECK(CopyBuffer.buffer == (char *)0);
    }
}

TEST_CASE("CopyFileSpec gives a read-only source a copy with normal attributes")
{
    Scratch src("src"), dst("dst");
    REQUIRE(PutFile(src / "RO.TXT", "read only"));
    SetFileAttributesA((src / "RO.TXT").c_str(), FILE_ATTRIBUTE_READONLY);
    CHECK(CopyFileSpec((src / "RO.TXT").c_str(), dst.dir.c_str()) == 0);
    CHECK(GetFile(dst / "RO.TXT") == "read only");
    CHECK((GetFileAttributesA((dst / "RO.TXT").c_str()) & FILE_ATTRIBUTE_READONLY) == 0);
}

TEST_CASE("CopyFileSpec returns 2 when nothing matches and releases its hold")
{
    Scratch src("src"), dst("dst");
    static const char *specs[] = {"NONE.EXE", "*.NONE", "NOPE?.DAT", "MISSING.SYS"};
    for (const char *spec : specs) {
        INFO(spec);
        CHECK(CopyFileSpec((src / spec).c_str(), dst.dir.c_str()) == 2);
        CHECK(CopyBuffer.holders == 0);
        CHECK(CopyBuffer.buffer == (char *)0);
    }
    CHECK(CopyFileSpec("Q:\\NODRIVE\\X.EXE", dst.dir.c_str()) == 2);
    CHECK(Joined(Listing(dst.dir)) == "");
}

TEST_CASE("CopyFileSpec copies every match of a wildcard spec and passes over directories")
{
    Scratch src("src"), dst("dst");
    std::set<std::string> want;
    for (int i = 0; i < 12; ++i) {
        std::string name = "FILE" + std::to_string(i) + ".DAT";
        REQUIRE(PutFileDated(src / name, Pattern(1000 + i, i), 1990 + i));
        want.insert(name);
    }
    REQUIRE(PutFile(src / "OTHER.TXT", "not matched by *.DAT"));
    REQUIRE(CreateDirectoryA((src / "SUB.DAT").c_str(), 0));
    REQUIRE(CreateDirectoryA((src / "AAA.DAT").c_str(), 0));

    CHECK(CopyFileSpec((src / "*.DAT").c_str(), dst.dir.c_str()) == 0);
    CHECK(Joined(Listing(dst.dir)) == Joined(want));
    for (const auto &name : want) {
        INFO(name);
        CHECK(GetFile(dst / name) == GetFile(src / name));
        CHECK(WriteTime(dst / name) == WriteTime(src / name));
    }

    // "." and ".." come first in a "*" search; the files after them still count.
    Scratch all("all");
    want.insert("OTHER.TXT");
    CHECK(CopyFileSpec((src / "*").c_str(), all.dir.c_str()) == 0);
    CHECK(Joined(Listing(all.dir)) == Joined(want));

    Scratch q("q");
    CHECK(CopyFileSpec((src / "FILE?.DAT").c_str(), q.dir.c_str()) == 0);
    CHECK(Listing(q.dir).size() == 10);
}

TEST_CASE("CopyFileSpec passes over a source that cannot be opened and copies the rest")
{
    Scratch src("src"), dst("dst");
    for (int i = 0; i < 6; ++i) REQUIRE(PutFile(src / ("F" + std::to_string(i) + ".DAT"), "data " + std::to_string(i)));
    // Lock the match that the search returns first.
    WIN32_FIND_DATAA first;
    HANDLE search = FindFirstFileA((src / "F*.DAT").c_str(), &first);
    REQUIRE(search != INVALID_HANDLE_VALUE);
    FindClose(search);
    HANDLE locked = CreateFileA((src / first.cFileName).c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
    REQUIRE(locked != INVALID_HANDLE_VALUE);

    CHECK(CopyFileSpec((src / "F*.DAT").c_str(), dst.dir.c_str()) == 0);
    CloseHandle(locked);
    INFO("locked ", first.cFileName);
    CHECK(Listing(dst.dir).size() == 5);
    CHECK(!Exists(dst / first.cFileName));
}

TEST_CASE("CopyFileSpec stores a long-named file under its short name")
{
    Scratch src("src"), dst("dst");
    static const char *longNames[] = {"Read Me First.TXT", "verylongfilename.document", "a b.c"};
    for (const char *longName : longNames) {
        INFO(longName);
        REQUIRE(PutFileDated(src / longName, longName, 2001));
        char shortPath[MAX_PATH];
        REQUIRE(GetShortPathNameA((src / longName).c_str(), shortPath, sizeof shortPath) > 0);
        std::string shortName = FileNamePart(static_cast<const char *>(shortPath));
        CHECK(shortName != longName);
        CHECK(shortName.size() <= 12);

        Scratch one("one");
        CHECK(CopyFileSpec((src / longName).c_str(), one.dir.c_str()) == 0);
        CHECK(Joined(Listing(one.dir)) == shortName);
        CHECK(GetFile(one / shortName) == longName);
        CHECK(WriteTime(one / shortName) == WriteTime(src / longName));
    }
    // A valid 8.3 name keeps its own name and case.
    REQUIRE(PutFile(src / "Short.Txt", "x"));
    CHECK(CopyFileSpec((src / "Short.Txt").c_str(), dst.dir.c_str()) == 0);
    CHECK(Joined(Listing(dst.dir)) == "Short.Txt");
}

TEST_CASE("CopyFileSpec takes a sys file from its dollar name when the medium has one")
{
    static const struct {
        const char *spec;
        const char *onSource[2];
        const char *wantName, *wantFrom;
    } cases[] = {
        {"VX.SYS", {"VX.SY$", "VX.SYS"}, "VX.SYS", "VX.SY$"},
        {"VX.SYS", {"VX.SYS", 0}, "VX.SYS", "VX.SYS"},
        {"VX.SYS", {"VX.SY$", 0}, "VX.SYS", "VX.SY$"},
        {"vx.sys", {"vx.sy$", 0}, "vx.sys", "vx.sy$"},
        {"Vx.Sys", {"VX.SY$", 0}, "Vx.Sys", "VX.SY$"},
        {"VX.SY", {"VX.S$", "VX.SY"}, "VX.SY", "VX.SY"},
        {"FILESYS", {"FILESY$", "FILESYS"}, "FILESYS", "FILESYS"},
    };
    for (const auto &c : cases) {
        INFO("spec ", c.spec, " with ", c.onSource[0], c.onSource[1] ? " and " : "",
             c.onSource[1] ? c.onSource[1] : "");
        Scratch src("src"), dst("dst");
        for (const char *name : c.onSource)
            if (name) REQUIRE(PutFileDated(src / name, std::string("content of ") + name, 1995));
        CHECK(CopyFileSpec((src / c.spec).c_str(), dst.dir.c_str()) == 0);
        CHECK(Joined(Listing(dst.dir)) == c.wantName);
        CHECK(GetFile(dst / c.wantName) == std::string("content of ") + c.wantFrom);
        CHECK(WriteTime(dst / c.wantName) == WriteTime(src / c.wantFrom));
    }
}

TEST_CASE("CopyFileSpec keeps the matches' own names for a wildcard sys spec")
{
    Scratch src("src"), dst("dst");
    REQUIRE(PutFile(src / "A.SY$", "packed a"));
    REQUIRE(PutFile(src / "B.SYS", "plain b"));
    CHECK(CopyFileSpec((src / "*.SYS").c_str(), dst.dir.c_str()) == 0);
    CHECK(Joined(Listing(dst.dir)) == "B.SYS");
    CHECK(GetFile(dst / "B.SYS") == "plain b");

    Scratch dst2("dst2");
    CHECK(CopyFileSpec((src / "?.SY$").c_str(), dst2.dir.c_str()) == 0);
    CHECK(Joined(Listing(dst2.dir)) == "A.SY$");
}

TEST_CASE("CopyFileSpec copies nothing onto itself")
{
    Scratch src("src");
    REQUIRE(PutFileDated(src / "SAME.DAT", "precious", 1993));
    REQUIRE(PutFileDated(src / "OTHER.DAT", "also precious", 1994));
    unsigned long long before = WriteTime(src / "SAME.DAT");
    std::string sub = src / "SUB";
    REQUIRE(CreateDirectoryA(sub.c_str(), 0));
    // The same folder, spelt in several ways.
    std::string spellings[] = {src.dir, src.dir + "\\", sub + "\\..", src.dir + "\\.\\"};
    for (const auto &dest : spellings) {
        INFO("destination ", dest);
        CHECK(CopyFileSpec((src / "*.DAT").c_str(), dest.c_str()) == 0);
        CHECK(GetFile(src / "SAME.DAT") == "precious");
        CHECK(GetFile(src / "OTHER.DAT") == "also precious");
        CHECK(WriteTime(src / "SAME.DAT") == before);
    }
    CHECK(Joined(Listing(src.dir)) == "OTHER.DAT|SAME.DAT|SUB");

    // The folder under its short name.
    Scratch parent("alias");
    std::string longDir = parent / "Long Source Folder";
    REQUIRE(CreateDirectoryA(longDir.c_str(), 0));
    REQUIRE(PutFile(longDir + "\\KEEP.DAT", "kept"));
    char shortDir[MAX_PATH];
    REQUIRE(GetShortPathNameA(longDir.c_str(), shortDir, sizeof shortDir) > 0);
    CHECK(Text(shortDir) != longDir);
    CHECK(CopyFileSpec((longDir + "\\KEEP.DAT").c_str(), shortDir) == 0);
    CHECK(GetFile(longDir + "\\KEEP.DAT") == "kept");
    CHECK(CopyFileSpec((std::string(shortDir) + "\\*.DAT").c_str(), longDir.c_str()) == 0);
    CHECK(GetFile(longDir + "\\KEEP.DAT") == "kept");

    // In "$" mode the names differ, so the copy lands beside the source.
    REQUIRE(PutFile(src / "VX.SY$", "packed"));
    CHECK(CopyFileSpec((src / "VX.SYS").c_str(), src.dir.c_str()) == 0);
    CHECK(GetFile(src / "VX.SYS") == "packed");
    CHECK(GetFile(src / "VX.SY$") == "packed");
}

TEST_CASE("CopyFileSpec ends with 82 at a destination that cannot be created anew")
{
    Scratch src("src"), dst("dst");
    REQUIRE(PutFile(src / "B.DAT", "new B.DAT"));
    // A folder of that name stays, and would pass for the copy.
    REQUIRE(CreateDirectoryA((dst / "B.DAT").c_str(), 0));
    CHECK(CopyFileSpec((src / "B.DAT").c_str(), dst.dir.c_str()) == COPY_CREATE_FAULT);
    CHECK((GetFileAttributesA((dst / "B.DAT").c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0);
    CHECK(CopyBuffer.holders == 0);

    Scratch none("none");
    std::string missing = none / "NO\\SUCH\\DIR";
    CHECK(CopyFileSpec((src / "B.DAT").c_str(), missing.c_str()) == COPY_CREATE_FAULT);
}

TEST_CASE("CopyFileSpec returns the hold it takes and shares a hold taken before it")
{
    Scratch src("src"), dst("dst");
    REQUIRE(PutFile(src / "X.DAT", Pattern(150000, 3)));
    AllocatorSwap swap((size_t)-1);

    CHECK(CopyFileSpec((src / "X.DAT").c_str(), dst.dir.c_str()) == 0);
    CHECK(AllocSizes.size() == 1);
    CHECK(FreeCalls == 1);
    CHECK(CopyBuffer.holders == 0);
    CHECK(CopyBuffer.buffer == (char *)0);

    AllocSizes.clear();
    FreeCalls = 0;
    AcquireCopyBuffer();
    REQUIRE(CopyBuffer.buffer != (char *)0);
    char *held = CopyBuffer.buffer;
    CHECK(CopyBuffer.holders == 1);
    CHECK(CopyBuffer.size == COPY_BUFFER_MAX);
    CHECK(CopyFileSpec((src / "X.DAT").c_str(), dst.dir.c_str()) == 0);
    CHECK(CopyFileSpec((src / "NOTHERE").c_str(), dst.dir.c_str()) == 2);
    CHECK(CopyBuffer.holders == 1);
    CHECK(CopyBuffer.buffer == held);
    CHECK(AllocSizes.size() == 1);
    CHECK(FreeCalls == 0);
    AcquireCopyBuffer();
    CHECK(CopyBuffer.holders == 2);
    ReleaseCopyBuffer();
    CHECK(FreeCalls == 0);
    ReleaseCopyBuffer();
    CHECK(FreeCalls == 1);
    CHECK(CopyBuffer.holders == 0);
    CHECK(CopyBuffer.buffer == (char *)0);
    ReleaseCopyBuffer();  // one release too many does nothing
    CHECK(CopyBuffer.holders == 0);
    CHECK(FreeCalls == 1);
    CHECK(GetFile(dst / "X.DAT") == GetFile(src / "X.DAT"));
}

TEST_CASE("CopyFileSpec returns 8 without searching when no buffer can be had")
{
    Scratch src("src"), dst("dst");
    REQUIRE(PutFile(src / "X.DAT", "x"));
    AllocatorSwap swap(0);
    CHECK(CopyFileSpec((src / "X.DAT").c_str(), dst.dir.c_str()) == 8);
    CHECK(CopyFileSpec((src / "NOTHERE").c_str(), dst.dir.c_str()) == 8);
    CHECK(CopyBuffer.holders == 0);
    CHECK(CopyBuffer.buffer == (char *)0);
    CHECK(FreeCalls == 0);
    static const size_t tried[] = {61440, 30720, 15360, 7680, 3840, 1920, 960, 480, 240, 120, 60, 30, 15, 7, 3, 1};
    REQUIRE(AllocSizes.size() == 32);
    for (size_t i = 0; i < 16; ++i) {
        CHECK(AllocSizes[i] == tried[i]);
        CHECK(AllocSizes[16 + i] == tried[i]);
    }
    CHECK(!Exists(dst / "X.DAT"));
}

TEST_CASE("AcquireCopyBuffer halves down to what the allocator gives and the copy stays whole")
{
    static const struct {
        size_t limit, want;
    } cases[] = {
        {61440, 61440}, {61439, 30720}, {5000, 3840}, {100, 60}, {7, 7}, {2, 1}, {1, 1},
    };
    Scratch src("src");
    std::string content = Pattern(9001, 11);
    REQUIRE(PutFileDated(src / "P.DAT", content, 1999));
    for (const auto &c : cases) {
        INFO("allocator limit ", c.limit);
        AllocatorSwap swap(c.limit);
        AcquireCopyBuffer();
        CHECK(CopyBuffer.size == c.want);
        CHECK(CopyBuffer.buffer != (char *)0);
        ReleaseCopyBuffer();
        Scratch dst("dst");
        CHECK(CopyFileSpec((src / "P.DAT").c_str(), dst.dir.c_str()) == 0);
        CHECK(GetFile(dst / "P.DAT") == content);
        CHECK(WriteTime(dst / "P.DAT") == WriteTime(src / "P.DAT"));
        CHECK(CopyBuffer.holders == 0);
    }
}

TEST_CASE("CopyFileSpec refuses a destination path that does not fit")
{
    Scratch src("src");
    REQUIRE(PutFile(src / "LONGNAME.DAT", "x"));
    // A destination directory that leaves room for the separator and four characters.
    std::string base = src / "";
    std::string deep(PATH_SIZE - 1 - 5, 'D');
    std::string dest = deep;
    memcpy(&dest[0], base.c_str(), base.size());
    CHECK(CopyFileSpec((src / "LONGNAME.DAT").c_str(), dest.c_str()) == 0);
    CHECK(Joined(Listing(src.dir)) == "LONGNAME.DAT");
}
