// Reads the built SETUP1.EXE as the loaders of the oldest Windows versions it
// must start on would: its headers and its import table. Wine loads images
// that those loaders refuse, so the end-to-end tests cannot catch this.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

#include "e2e.h"
#include "pe_image.h"
#include "resource.h"
#include "testing.h"

static std::string Hex(DWORD value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%lX", value);
    return text;
}

static PeImage ReadProgram()
{
    std::string path = TestOption("setup1");
    REQUIRE(!path.empty());
    PeImage image;
    INFO("reading ", path);
    REQUIRE(image.Read(ReadWholeFile(path)));
    return image;
}

static std::vector<PeImportedDll> ReadImports(const PeImage &image)
{
    std::vector<PeImportedDll> dlls;
    REQUIRE(image.Imports(&dlls));
    REQUIRE(!dlls.empty());
    return dlls;
}

// The system DLLs that every Win32 system has, the first ones included.
static const char *const SystemDlls[] = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll"};

static bool IsSystemDll(const std::string &name)
{
    for (const char *dll : SystemDlls)
        if (Lower(name) == dll) return true;
    return false;
}

// The allow-list: "[DLL]" opens a DLL's group, then one function a line;
// "#" starts a comment line. Keyed by the DLL's name in lower case.
static std::map<std::string, std::set<std::string>> ReadAllowList()
{
    std::string path = TestOption("imports");
    REQUIRE(!path.empty());
    std::string text = ReadWholeFile(path);
    INFO("allow-list ", path);
    REQUIRE(!text.empty());
    std::map<std::string, std::set<std::string>> list;
    std::string dll;
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        INFO("line ", number, " [", line, "]");
        if (line[0] == '[') {
            REQUIRE(line.back() == ']');
            dll = Lower(line.substr(1, line.size() - 2));
            CHECK_MESSAGE(IsSystemDll(dll), "a group for ", dll);
        } else {
            REQUIRE_MESSAGE(!dll.empty(), "a function before the first [DLL] line");
            CHECK_MESSAGE(list[dll].insert(line).second, "listed twice");
        }
    }
    return list;
}

TEST_CASE("SETUP1.EXE is a PE32 GUI program for the i386 that asks for Windows 3.10")
{
    PeImage image = ReadProgram();
    const IMAGE_OPTIONAL_HEADER32 &o = image.nt.OptionalHeader;
    const struct {
        const char *field;
        DWORD got, want;
    } fields[] = {
        {"Machine", image.nt.FileHeader.Machine, IMAGE_FILE_MACHINE_I386},
        {"Magic", o.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC},
        {"Subsystem", o.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI},
        // NT refuses an image that asks for a newer system than it is, and
        // anything older than 3.10.
        {"MajorSubsystemVersion", o.MajorSubsystemVersion, 3},
        {"MinorSubsystemVersion", o.MinorSubsystemVersion, 10},
        {"MajorOperatingSystemVersion", o.MajorOperatingSystemVersion, 3},
        {"MinorOperatingSystemVersion", o.MinorOperatingSystemVersion, 10},
    };
    for (const auto &f : fields) {
        INFO(Text(f.field), ": got ", f.got, ", wanted ", f.want);
        CHECK(f.got == f.want);
    }
}

TEST_CASE("SETUP1.EXE imports from KERNEL32, USER32, GDI32 and ADVAPI32 alone")
{
    for (const PeImportedDll &dll : ReadImports(ReadProgram()))
        CHECK_MESSAGE(IsSystemDll(dll.name), "got ", dll.name,
                      ", wanted one of KERNEL32.dll, USER32.dll, GDI32.dll, ADVAPI32.dll");
}

TEST_CASE("every function SETUP1.EXE imports is on the allow-list")
{
    std::map<std::string, std::set<std::string>> allowed = ReadAllowList();
    size_t count = 0;
    for (const PeImportedDll &dll : ReadImports(ReadProgram())) {
        for (const PeImport &import : dll.functions) {
            ++count;
            // An ordinal differs from one system to the next; only names are
            // the same everywhere.
            std::string got =
                dll.name + "!" + (import.function.empty() ? "#" + std::to_string(import.ordinal) : import.function);
            bool listed = !import.function.empty() && allowed[Lower(dll.name)].count(import.function);
            CHECK_MESSAGE(listed, "got ", got, ", wanted a function of the allow-list");
        }
    }
    MESSAGE("SETUP1.EXE imports ", count, " functions");
}

TEST_CASE("SETUP1.EXE has no delay-load imports")
{
    // Delay loading needs its helper's code, and it would only hide a missing
    // function until the moment of the call.
    const IMAGE_DATA_DIRECTORY &delay = ReadProgram().Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT);
    INFO("delay import directory at ", Hex(delay.VirtualAddress), ", ", delay.Size, " bytes");
    CHECK(delay.VirtualAddress == 0u);
    CHECK(delay.Size == 0u);
}

TEST_CASE("the import directory and the address tables lie in writable sections")
{
    // The loaders of NT 3.1 and Windows 95 write the imported addresses in
    // place and do not lift a section's write protection to do it.
    PeImage image = ReadProgram();
    struct Place {
        std::string what;
        DWORD rva;
    };
    std::vector<Place> places = {{"import directory", image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress}};
    if (image.Directory(IMAGE_DIRECTORY_ENTRY_IAT).VirtualAddress)
        places.push_back({"import address table directory", image.Directory(IMAGE_DIRECTORY_ENTRY_IAT).VirtualAddress});
    for (const PeImportedDll &dll : ReadImports(image)) places.push_back({dll.name + "'s address table", dll.thunkRva});
    for (const Place &place : places) {
        const IMAGE_SECTION_HEADER *section = image.SectionOf(place.rva);
        INFO(place.what, " at ", Hex(place.rva), " in section ", PeImage::SectionName(section));
        REQUIRE(section != 0);
        INFO("section characteristics ", Hex(section->Characteristics), ", wanted IMAGE_SCN_MEM_WRITE ",
             Hex(IMAGE_SCN_MEM_WRITE));
        CHECK((section->Characteristics & IMAGE_SCN_MEM_WRITE) == (DWORD)IMAGE_SCN_MEM_WRITE);
    }
}

TEST_CASE("SETUP1.EXE is laid out as the Windows 95 loader wants it")
{
    // Windows 95 maps an image in pages and reads its sections from
    // 512-byte file blocks; it refuses anything else. The preferred base is
    // the usual one of programs.
    PeImage image = ReadProgram();
    const IMAGE_OPTIONAL_HEADER32 &o = image.nt.OptionalHeader;
    const struct {
        const char *field;
        DWORD got, want;
    } fields[] = {
        {"FileAlignment", o.FileAlignment, 0x200},
        {"SectionAlignment", o.SectionAlignment, 0x1000},
        {"ImageBase", o.ImageBase, 0x400000},
    };
    for (const auto &f : fields) {
        INFO(Text(f.field), ": got ", Hex(f.got), ", wanted ", Hex(f.want));
        CHECK(f.got == f.want);
    }
}

TEST_CASE("SETUP1.EXE has no TLS, load-configuration, bound-import or debug directory")
{
    // Directories that the first loaders do not know or that tie the image
    // to one build of the system DLLs; none of them is needed.
    PeImage image = ReadProgram();
    static const struct {
        int index;
        const char *name;
    } directories[] = {
        {IMAGE_DIRECTORY_ENTRY_TLS, "TLS"},
        {IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG, "load configuration"},
        {IMAGE_DIRECTORY_ENTRY_BOUND_IMPORT, "bound import"},
        {IMAGE_DIRECTORY_ENTRY_DEBUG, "debug"},
    };
    for (const auto &d : directories) {
        const IMAGE_DATA_DIRECTORY &entry = image.Directory(d.index);
        INFO(Text(d.name), " directory: got ", Hex(entry.VirtualAddress), ", ", entry.Size, " bytes, wanted none");
        CHECK(entry.VirtualAddress == 0u);
        CHECK(entry.Size == 0u);
    }
}

TEST_CASE("the import descriptors are not bound")
{
    // A bound descriptor carries the addresses of one build of the system
    // DLLs; the program must have its imports resolved afresh wherever it
    // starts.
    for (const PeImportedDll &dll : ReadImports(ReadProgram())) {
        INFO(dll.name, ": TimeDateStamp ", Hex(dll.timeDateStamp), ", ForwarderChain ", Hex(dll.forwarderChain),
             ", wanted 0 and 0 or 0xFFFFFFFF");
        CHECK(dll.timeDateStamp == 0u);
        CHECK((dll.forwarderChain == 0u || dll.forwarderChain == 0xFFFFFFFFu));
    }
}

TEST_CASE("SETUP1.EXE asks to be loaded at any address and keeps its relocations for it")
{
    PeImage image = ReadProgram();
    const IMAGE_DATA_DIRECTORY &relocations = image.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC);
    const IMAGE_SECTION_HEADER *section = image.SectionOf(relocations.VirtualAddress);
    INFO("DllCharacteristics ", Hex(image.nt.OptionalHeader.DllCharacteristics), ", file characteristics ",
         Hex(image.nt.FileHeader.Characteristics), ", relocations at ", Hex(relocations.VirtualAddress), ", ",
         relocations.Size, " bytes in section ", PeImage::SectionName(section));
    CHECK((image.nt.OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) != 0);
    CHECK((image.nt.FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED) == 0);
    CHECK(relocations.Size > 0u);
    REQUIRE(section != 0);
    CHECK(relocations.VirtualAddress - section->VirtualAddress + relocations.Size <= section->SizeOfRawData);
}

static BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names)
{
    ((std::vector<std::string> *)names)
        ->push_back(IS_INTRESOURCE(name) ? "#" + std::to_string((ULONG_PTR)name) : std::string(name));
    return TRUE;
}

// The names of a module's resources of one type, "#n" for a number.
static std::vector<std::string> ResourceNames(HMODULE module, LPCSTR type)
{
    std::vector<std::string> names;
    EnumResourceNamesA(module, type, CollectName, (LONG_PTR)&names);
    return names;
}

TEST_CASE("the resources are in the formats of the first Win32 systems: a DIALOG template, bitmaps and icons with a "
          "BITMAPINFOHEADER, no manifest")
{
    std::string path = TestOption("setup1");
    HMODULE module = LoadLibraryExA(path.c_str(), 0, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(module != 0);

    // A DIALOGEX template starts with the version 1 and the signature 0xFFFF.
    HRSRC dialog = FindResourceA(module, MAKEINTRESOURCEA(IDD_DIRECTORY_PROMPT), (LPCSTR)RT_DIALOG);
    REQUIRE(dialog != 0);
    const WORD *words = (const WORD *)LockResource(LoadResource(module, dialog));
    REQUIRE(words != 0);
    INFO("dialog template starts ", Hex(words[0]), " ", Hex(words[1]));
    CHECK(!(words[0] == 1 && words[1] == 0xFFFF));

    // Bitmaps and icons as DIBs that every Windows decodes: a
    // BITMAPINFOHEADER (a PNG icon starts with 0x89 'P' 'N' 'G'), one plane,
    // uncompressed or run-length encoded (icons uncompressed only).
    static const struct {
        LPCSTR type;
        const char *what;
        std::set<DWORD> compressions;
    } kinds[] = {
        {(LPCSTR)RT_BITMAP, "bitmap", {BI_RGB, BI_RLE8, BI_RLE4}},
        {(LPCSTR)RT_ICON, "icon", {BI_RGB}},
    };
    for (const auto &kind : kinds) {
        std::vector<std::string> names = ResourceNames(module, kind.type);
        INFO(Text(kind.what), "s: ", names.size());
        CHECK(!names.empty());
        for (const std::string &name : names) {
            HRSRC found = FindResourceA(module, name.c_str(), kind.type);
            REQUIRE(found != 0);
            BITMAPINFOHEADER header;
            memset(&header, 0xA5, sizeof header);
            REQUIRE(SizeofResource(module, found) >= sizeof header);
            memcpy(&header, LockResource(LoadResource(module, found)), sizeof header);
            INFO(Text(kind.what), " ", name, ": biSize ", header.biSize, ", biPlanes ", header.biPlanes,
                 ", biCompression ", header.biCompression);
            CHECK(header.biSize == sizeof(BITMAPINFOHEADER));
            CHECK(header.biPlanes == 1);
            CHECK(kind.compressions.count(header.biCompression) == 1);
        }
    }

    // A current Windows treats a program named SETUP*.EXE without a manifest
    // as an installer and asks for elevation, as this one needs.
    std::vector<std::string> manifests = ResourceNames(module, MAKEINTRESOURCEA(24));  // RT_MANIFEST
    INFO("manifests: ", manifests.size());
    CHECK(manifests.empty());
    FreeLibrary(module);
}

TEST_CASE("SETUP1.EXE has no directory but imports, resources, relocations and a certificate table")
{
    // A signature adds its certificate table and nothing else.
    static const int Allowed[] = {IMAGE_DIRECTORY_ENTRY_IMPORT, IMAGE_DIRECTORY_ENTRY_RESOURCE,
                                  IMAGE_DIRECTORY_ENTRY_SECURITY, IMAGE_DIRECTORY_ENTRY_BASERELOC,
                                  IMAGE_DIRECTORY_ENTRY_IAT};
    PeImage image = ReadProgram();
    for (int index = 0; index < IMAGE_NUMBEROF_DIRECTORY_ENTRIES; ++index) {
        const IMAGE_DATA_DIRECTORY &entry = image.Directory(index);
        bool allowed = std::find(std::begin(Allowed), std::end(Allowed), index) != std::end(Allowed);
        INFO("directory ", index, ": ", Hex(entry.VirtualAddress), ", ", entry.Size, " bytes");
        CHECK((allowed || (entry.VirtualAddress == 0 && entry.Size == 0)));
    }
}

TEST_CASE("a certificate table lies at the end of the file, outside every section, and the checksum is the file's")
{
    // The old loaders map the sections and never look at the table, which
    // is not mapped: its directory entry holds a file offset. Windows checks
    // a signed image's checksum.
    PeImage image = ReadProgram();
    INFO("CheckSum ", Hex(image.nt.OptionalHeader.CheckSum), ", the file's ", Hex(image.Checksum()));
    CHECK(image.nt.OptionalHeader.CheckSum == image.Checksum());
    const IMAGE_DATA_DIRECTORY &table = image.Directory(IMAGE_DIRECTORY_ENTRY_SECURITY);
    if (table.VirtualAddress == 0 && table.Size == 0) return;
    INFO("certificate table at ", Hex(table.VirtualAddress), ", ", table.Size, " bytes; file ", image.bytes.size(),
         " bytes");
    CHECK(table.VirtualAddress % 8 == 0);
    CHECK(table.VirtualAddress >= image.nt.OptionalHeader.SizeOfHeaders);
    CHECK((size_t)table.VirtualAddress + table.Size == image.bytes.size());
    for (const IMAGE_SECTION_HEADER &section : image.sections) {
        INFO("section ", PeImage::SectionName(&section), " ends at ",
             Hex(section.PointerToRawData + section.SizeOfRawData));
        CHECK(section.PointerToRawData + section.SizeOfRawData <= table.VirtualAddress);
    }
    WIN_CERTIFICATE header;
    REQUIRE(image.CertificateAt(table.VirtualAddress, &header));
    INFO("dwLength ", header.dwLength, ", wRevision ", Hex(header.wRevision), ", wCertificateType ",
         header.wCertificateType);
    CHECK(header.dwLength <= table.Size);
    CHECK(header.wRevision == WIN_CERT_REVISION_2_0);
    CHECK(header.wCertificateType == WIN_CERT_TYPE_PKCS_SIGNED_DATA);
}

TEST_CASE("SETUP1.EXE stays within its budget of 32 KiB")
{
    // The budget is the program's: a signature's certificates come on top.
    PeImage image = ReadProgram();
    DWORD table = image.Directory(IMAGE_DIRECTORY_ENTRY_SECURITY).VirtualAddress;
    size_t size = table ? table : image.bytes.size();
    INFO("got ", size, " bytes (", image.bytes.size(), " with its signature), wanted at most ", 32 * 1024);
    CHECK(size <= 32u * 1024);
}
