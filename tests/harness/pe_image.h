// Reads a 32-bit Windows executable from its bytes: the headers, the section
// that holds an address, and the import table. Every read is bounded by the
// file, so a damaged image gives "not found" answers, never a crash.
#pragma once
#include <windows.h>

#include <stddef.h>
#include <string.h>
#include <wintrust.h>

#include <string>
#include <vector>

struct PeImport {
    std::string function;  // empty for an import by ordinal
    WORD ordinal;          // the ordinal of an import by ordinal, else 0
};

struct PeImportedDll {
    std::string name;
    DWORD thunkRva;  // where the loader writes the addresses (FirstThunk)
    std::vector<PeImport> functions;
    DWORD timeDateStamp, forwarderChain;  // as the descriptor gives them: 0 unless bound
};

struct PeImage {
    std::string bytes;
    IMAGE_NT_HEADERS32 nt;
    std::vector<IMAGE_SECTION_HEADER> sections;
    DWORD checksumAt;  // the file offset of the optional header's CheckSum

    // False when the bytes do not hold a PE32 image's headers.
    bool Read(const std::string &data)
    {
        bytes = data;
        sections.clear();
        LONG peOffset;
        if (!Copy(0x3C, &peOffset, sizeof peOffset) || peOffset < 0) return false;
        memset(&nt, 0, sizeof nt);
        // The file header first: it says how long the optional header is.
        if (!Copy(peOffset, &nt, sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER))) return false;
        if (nt.Signature != IMAGE_NT_SIGNATURE) return false;
        DWORD optionalSize = nt.FileHeader.SizeOfOptionalHeader;
        if (optionalSize > sizeof nt.OptionalHeader) optionalSize = sizeof nt.OptionalHeader;
        DWORD optionalAt = peOffset + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
        checksumAt = optionalAt + offsetof(IMAGE_OPTIONAL_HEADER32, CheckSum);
        if (!Copy(optionalAt, &nt.OptionalHeader, optionalSize)) return false;
        DWORD sectionAt = optionalAt + nt.FileHeader.SizeOfOptionalHeader;
        for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section;
            if (!Copy(sectionAt + i * sizeof section, &section, sizeof section)) return false;
            sections.push_back(section);
        }
        return true;
    }

    const IMAGE_DATA_DIRECTORY &Directory(int index) const { return nt.OptionalHeader.DataDirectory[index]; }

    // The checksum as the image help library computes it: the file's 16-bit
    // words added with the carry folded back in, the CheckSum field counted
    // as zero, then the file's length.
    DWORD Checksum() const
    {
        DWORD sum = 0;
        for (size_t i = 0; i < bytes.size(); i += 2) {
            if (i == checksumAt || i == checksumAt + 2) continue;
            DWORD word = (unsigned char)bytes[i] | (i + 1 < bytes.size() ? (unsigned char)bytes[i + 1] << 8 : 0);
            sum += word;
            sum = (sum & 0xFFFF) + (sum >> 16);
        }
        return (sum & 0xFFFF) + (DWORD)bytes.size();
    }

    // The WIN_CERTIFICATE header at a file offset; false when the file does
    // not hold it.
    bool CertificateAt(DWORD offset, WIN_CERTIFICATE *header) const
    {
        return Copy(offset, header, offsetof(WIN_CERTIFICATE, bCertificate));
    }

    // The section whose memory holds the address, or null.
    const IMAGE_SECTION_HEADER *SectionOf(DWORD rva) const
    {
        for (const IMAGE_SECTION_HEADER &s : sections) {
            DWORD size = s.Misc.VirtualSize ? s.Misc.VirtualSize : s.SizeOfRawData;
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < size) return &s;
        }
        return 0;
    }

    static std::string SectionName(const IMAGE_SECTION_HEADER *section)
    {
        if (!section) return "(none)";
        std::string name((const char *)section->Name, IMAGE_SIZEOF_SHORT_NAME);
        return name.substr(0, name.find('\0'));
    }

    // Copies bytes at an address of the loaded image; false when the file
    // does not hold them.
    bool CopyAt(DWORD rva, void *out, DWORD size) const
    {
        const IMAGE_SECTION_HEADER *s = SectionOf(rva);
        if (!s || rva - s->VirtualAddress + size > s->SizeOfRawData) return false;
        return Copy(s->PointerToRawData + (rva - s->VirtualAddress), out, size);
    }

    std::string StringAt(DWORD rva) const
    {
        std::string text;
        for (char c; text.size() < 512 && CopyAt(rva + (DWORD)text.size(), &c, 1) && c;) text += c;
        return text;
    }

    // The DLLs of the import directory and what is imported from each; false
    // when the directory runs off the file.
    bool Imports(std::vector<PeImportedDll> *dlls) const
    {
        dlls->clear();
        DWORD at = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress;
        if (!at) return true;
        for (;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            IMAGE_IMPORT_DESCRIPTOR d;
            if (!CopyAt(at, &d, sizeof d)) return false;
            if (d.Name == 0 && d.FirstThunk == 0) return true;
            PeImportedDll dll = {StringAt(d.Name), d.FirstThunk, {}, d.TimeDateStamp, d.ForwarderChain};
            // The name table when there is one: the address table is
            // overwritten by a bound import.
            DWORD thunk = d.OriginalFirstThunk ? d.OriginalFirstThunk : d.FirstThunk;
            for (;; thunk += sizeof(DWORD)) {
                DWORD entry;
                if (!CopyAt(thunk, &entry, sizeof entry)) return false;
                if (!entry) break;
                if (entry & IMAGE_ORDINAL_FLAG32)
                    dll.functions.push_back({std::string(), (WORD)IMAGE_ORDINAL32(entry)});
                else
                    dll.functions.push_back({StringAt(entry + sizeof(WORD)), 0});  // after the hint
            }
            dlls->push_back(dll);
        }
    }

  private:
    bool Copy(DWORD offset, void *out, DWORD size) const
    {
        if (offset > bytes.size() || size > bytes.size() - offset) return false;
        memcpy(out, bytes.data() + offset, size);
        return true;
    }
};
