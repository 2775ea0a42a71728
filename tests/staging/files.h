// Real files for the staging tests: a fresh folder per test, files with
// given bytes and times, and what a folder holds afterwards.
#pragma once
#include <windows.h>

#include <set>
#include <string>

#include "e2e.h"
#include "testing.h"

// Adds the names of a "|"-separated list to a set.
inline void SplitNames(const char *names, std::set<std::string> *out)
{
    std::string all = names;
    for (size_t start = 0; start < all.size();) {
        size_t bar = all.find('|', start);
        if (bar == std::string::npos) bar = all.size();
        if (bar > start) out->insert(all.substr(start, bar - start));
        start = bar + 1;
    }
}

// A file with a last-write time of its own, so that a copy's time is
// known to come from its source.
inline bool PutFileDated(const std::string &path, const std::string &content, WORD year)
{
    if (!PutFile(path, content)) return false;
    SYSTEMTIME st = {year, 3, 0, 14, 10, 20, 30, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, OPEN_EXISTING, 0, 0);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = SetFileTime(h, 0, 0, &ft);
    CloseHandle(h);
    return ok != 0;
}

inline std::string GetFile(const std::string &path)
{
    std::string data;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    if (h == INVALID_HANDLE_VALUE) return "(missing)";
    char chunk[65536];
    DWORD got;
    while (ReadFile(h, chunk, sizeof chunk, &got, 0) && got) data.append(chunk, got);
    CloseHandle(h);
    return data;
}

inline bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Last-write time as a number of 100 ns ticks; 0 when the file is missing.
inline unsigned long long WriteTime(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return ((unsigned long long)data.ftLastWriteTime.dwHighDateTime << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// The names in a folder, without "." and "..", as the platform lists them.
inline std::set<std::string> Listing(const std::string &dir)
{
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..") names.insert(name);
    } while (FindNextFileA(h, &data));
    FindClose(h);
    return names;
}

inline std::string Joined(const std::set<std::string> &names)
{
    std::string out;
    for (const auto &n : names) out += (out.empty() ? "" : "|") + n;
    return out;
}

// Content that differs from byte to byte, so that a shifted or repeated
// piece shows.
inline std::string Pattern(size_t size, unsigned seed)
{
    std::string data(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = (char)(x >> 16);
    }
    return data;
}
