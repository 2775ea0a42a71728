// What the fuzz targets share: cutting the input into fields, models of the
// path rules to hold the program's results against, and the stop on a
// broken invariant.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "lead_bytes.h"

// An invariant that does not hold ends the run with a crash report, so that
// libFuzzer keeps the input.
#define EXPECT(condition)                                                                                              \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition);                          \
            abort();                                                                                                   \
        }                                                                                                              \
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

// Which bytes of text begin a character under the rule: a lead byte and the
// byte after it are one character, unless the text ends after the lead byte.
inline std::vector<bool> CharacterStarts(const std::string &text, int (*rule)(unsigned char))
{
    std::vector<bool> starts(text.size(), false);
    bool second = false;
    for (size_t i = 0; i < text.size(); ++i) {
        starts[i] = !second;
        second = !second && rule((unsigned char)text[i]) && i + 1 < text.size();
    }
    return starts;
}

// The position of the last character of path (path.size() when empty).
inline size_t ModelLastCharacter(const std::string &path, int (*rule)(unsigned char))
{
    std::vector<bool> starts = CharacterStarts(path, rule);
    size_t last = path.size();
    for (size_t i = 0; i < path.size(); ++i)
        if (starts[i]) last = i;
    return last;
}

// The join as the path rules describe it, without any length limit.
inline std::string ModelJoin(const std::string &path, std::string name, int (*rule)(unsigned char))
{
    size_t last = ModelLastCharacter(path, rule);
    // A last character of two bytes is no separator.
    bool separator = path.empty() || last + 1 != path.size() || !(IsSeparatorChar(path[last]) || path[last] == ':');
    if (name.size() >= 2 && name[1] == ':') name.erase(0, 2);
    while (name.size() >= 2 && name[0] == '.' && IsSeparatorChar(name[1])) name.erase(0, 2);
    if (name == ".") name.clear();
    return path + (separator ? "\\" : "") + name;
}

inline size_t ModelNameStart(const std::string &path, int (*rule)(unsigned char))
{
    std::vector<bool> starts = CharacterStarts(path, rule);
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (starts[i] && (IsSeparatorChar(path[i]) || path[i] == ':')) start = i + 1;
    return start;
}

inline std::string ModelDirectory(const std::string &path, int (*rule)(unsigned char))
{
    size_t n = ModelNameStart(path, rule);
    if (n >= 2 && IsSeparatorChar(path[n - 1]) && path[n - 2] != ':') --n;
    return path.substr(0, n);
}
