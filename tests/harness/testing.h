// What every test program includes, the native ones too: doctest, text
// comparison that prints both sides, and the marker byte that output buffers
// are filled with to catch writes past the end.
#pragma once
#include <doctest.h>

#include <ostream>
#include <string>

#include "lead_bytes.h"
#include "paths.h"

// doctest prints a char pointer as its address; a failure's context needs
// the text it points to.
namespace doctest {
namespace detail {
template <> struct filldata<const char *> {
    static void fill(std::ostream *stream, const char *in) { *stream << (in ? in : "(null)"); }
};
template <> struct filldata<char *> {
    static void fill(std::ostream *stream, const char *in) { *stream << (in ? in : "(null)"); }
};
}  // namespace detail
}  // namespace doctest

inline std::string Text(const char *text) { return text ? std::string(text) : std::string("(null)"); }

static const char MARKER = '\x5A';

static const LeadByteRule TestedRules[2] = {SingleByteRule, CodePage932Rule};
// The path helpers walk by rule while this lives.
struct WalkBy {
    LeadByteRule saved;
    explicit WalkBy(LeadByteRule rule) : saved(IsLeadByte) { IsLeadByte = rule; }
    ~WalkBy() { IsLeadByte = saved; }
};

// ASCII letters in upper or lower case, as the prompt's path field shows
// what is typed in capitals.
inline std::string Upper(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    return text;
}

inline std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return text;
}

// Bytes of a buffer shown as text, with a marker for bytes that are not
// printable, so that a failed comparison shows what was really there.
std::string Bytes(const char *data, size_t length);

inline std::string Bytes(const char *data, size_t length)
{
    std::string out;
    static const char hex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = (unsigned char)data[i];
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += (char)c;
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}
