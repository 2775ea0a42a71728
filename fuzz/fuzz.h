// What the fuzz targets share: cutting the input into fields, models of the
// path rules to hold the program's results against, and the stop on a
// broken invariant.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

// An invariant that does not hold ends the run with a crash report, so that
// libFuzzer keeps the input.
#define EXPECT(condition)                                                                  \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            abort();                                                                       \
        }                                                                                  \
    } while (0)

// The next NUL-terminated field of the input; the rest when there is no NUL.
inline std::string NextField(const uint8_t **data, size_t *size)
{
    std::string field;
    while (*size > 0) {
        uint8_t c = **data;
        ++*data;
        --*size;
        if (c == 0) break;
        field += (char)c;
    }
    return field;
}

inline bool IsSeparatorChar(char c) { return c == '\\' || c == '/'; }

// The join as the path rules describe it, without any length limit.
inline std::string ModelJoin(const std::string &path, std::string name)
{
    bool separator = path.empty() || !(IsSeparatorChar(path.back()) || path.back() == ':');
    if (name.size() >= 2 && name[1] == ':') name.erase(0, 2);
    while (name.size() >= 2 && name[0] == '.' && IsSeparatorChar(name[1])) name.erase(0, 2);
    if (name == ".") name.clear();
    return path + (separator ? "\\" : "") + name;
}

inline size_t ModelNameStart(const std::string &path)
{
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (IsSeparatorChar(path[i]) || path[i] == ':') start = i + 1;
    return start;
}

inline std::string ModelDirectory(const std::string &path)
{
    size_t n = ModelNameStart(path);
    if (n >= 2 && IsSeparatorChar(path[n - 1]) && path[n - 2] != ':') --n;
    return path.substr(0, n);
}
