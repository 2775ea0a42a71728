// Loads the resources back out of the built SETUP1.EXE.
#include <windows.h>

#include <string.h>

#include "e2e.h"
#include "resource.h"
#include "testing.h"
#include "texts.h"

static HMODULE LoadProgram()
{
    std::string path = TestOption("setup1");
    REQUIRE(!path.empty());
    SetLastError(0xdeadbeef);
    HMODULE module = LoadLibraryExA(path.c_str(), 0, DONT_RESOLVE_DLL_REFERENCES);
    DWORD error = GetLastError();
    INFO("LoadLibraryExA(", path, ") error ", error);
    REQUIRE(module != 0);
    return module;
}

struct TemplateReader {
    const BYTE *p;
    WORD Word()
    {
        WORD w;
        memcpy(&w, p, 2);
        p += 2;
        return w;
    }
    DWORD Dword()
    {
        DWORD d;
        memcpy(&d, p, 4);
        p += 4;
        return d;
    }
    short Short() { return (short)Word(); }
    void Align()
    {
        while ((ULONG_PTR)p & 3) ++p;
    }
    // A name or ordinal field: "#n" for an ordinal, else the text.
    std::string Field()
    {
        WORD first = Word();
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        std::string text;
        for (WORD c = first; c; c = Word()) text += (char)c;
        return text;
    }
};

TEST_CASE("dialog 100 is the prompt's template, in English (United States)")
{
    HMODULE module = LoadProgram();
    HRSRC found = FindResourceExA(module, (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(IDD_DIRECTORY_PROMPT),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    REQUIRE(found != 0);
    TemplateReader t{(const BYTE *)LockResource(LoadResource(module, found))};
    CHECK(t.Dword() == 0x90C000C0u);
    CHECK(t.Dword() == 0u);
    WORD count = t.Word();
    CHECK(count == 7);
    CHECK(t.Short() == 110);
    CHECK(t.Short() == 53);
    CHECK(t.Short() == 190);
    CHECK(t.Short() == 181);
    CHECK(t.Field() == "");  // menu
    CHECK(t.Field() == "");  // standard dialog class
    CHECK(t.Field() == PromptCaption);
    CHECK(t.Word() == 8);
    CHECK(t.Field() == "Helv");

    static const struct {
        int id;
        const char *cls;
        DWORD style;
        short x, y, w, h;
        const char *text;
    } items[] = {
        {IDC_TEXT_ENGLISH, "#130", 0x50020001, 7, 9, 176, 30, ""},
        {IDC_TEXT_FRENCH, "#130", 0x50020001, 7, 41, 176, 30, ""},
        {IDC_TEXT_GERMAN, "#130", 0x50020001, 7, 73, 176, 30, ""},
        {IDC_TEXT_SPANISH, "#130", 0x50020001, 7, 105, 176, 30, ""},
        {IDC_PATH, "#129", 0x50830088, 10, 137, 170, 12, ""},
        {IDOK, "#128", 0x50030001, 9, 161, 70, 14, OkButtonText},
        {IDCANCEL, "#128", 0x50030000, 85, 161, 95, 14, ""},
    };
    REQUIRE(count == 7);
    for (const auto &want : items) {
        INFO("control ", want.id);
        t.Align();
        CHECK(t.Dword() == want.style);
        CHECK(t.Dword() == 0u);
        CHECK(t.Short() == want.x);
        CHECK(t.Short() == want.y);
        CHECK(t.Short() == want.w);
        CHECK(t.Short() == want.h);
        CHECK(t.Word() == want.id);
        CHECK(t.Field() == want.cls);  // 128 button, 129 edit, 130 static
        CHECK(t.Field() == want.text);
        CHECK(t.Word() == 0);
    }
    FreeLibrary(module);
}

TEST_CASE("the bitmaps heart and linnet are 232 by 112 pixels in 16 colours")
{
    HMODULE module = LoadProgram();
    for (const char *name : {"heart", "linnet"}) {
        INFO("bitmap ", name);
        HRSRC found = FindResourceA(module, name, (LPCSTR)RT_BITMAP);
        REQUIRE(found != 0);
        const BITMAPINFOHEADER *header = (const BITMAPINFOHEADER *)LockResource(LoadResource(module, found));
        CHECK(header->biWidth == 232);
        CHECK(header->biHeight == 112);
        CHECK(header->biBitCount == 4);

        SetLastError(0xdeadbeef);
        HBITMAP bitmap = LoadBitmapA(module, name);
        DWORD error = GetLastError();
        INFO("LoadBitmapA error ", error);
        REQUIRE(bitmap != 0);
        BITMAP info;
        CHECK(GetObjectA(bitmap, sizeof info, &info) == (int)sizeof info);
        CHECK(info.bmWidth == 232);
        CHECK(info.bmHeight == 112);
        DeleteObject(bitmap);
    }
    FreeLibrary(module);
}

TEST_CASE("the program has its icon and a version block naming ZEV! and SETUP1.EXE")
{
    HMODULE module = LoadProgram();
    CHECK(FindResourceA(module, MAKEINTRESOURCEA(IDI_PROGRAM), (LPCSTR)RT_GROUP_ICON) != 0);
    FreeLibrary(module);

    std::string path = TestOption("setup1");
    DWORD handle;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    REQUIRE(size > 0);
    std::string data(size, '\0');
    REQUIRE(GetFileVersionInfoA(path.c_str(), 0, size, &data[0]));
    static const struct {
        const char *key, *want;
    } values[] = {
        {"\\StringFileInfo\\040904E4\\ProductName", "ZEV!"},
        {"\\StringFileInfo\\040904E4\\OriginalFilename", "SETUP1.EXE"},
    };
    for (const auto &v : values) {
        char *text = nullptr;
        UINT length = 0;
        INFO(v.key);
        REQUIRE(VerQueryValueA(&data[0], v.key, (void **)&text, &length));
        CHECK(Text(text) == v.want);
    }
}
