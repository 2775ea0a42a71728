// What the native tests share: doctest and text comparison that prints both
// sides.
#pragma once
#include <doctest.h>

#include <string>

inline std::string Text(const char *text) { return text ? std::string(text) : std::string("(null)"); }

static const char MARKER = '\x5A';
