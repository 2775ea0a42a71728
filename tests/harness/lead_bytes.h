// The lead-byte rules that the tests and the fuzz targets walk paths by:
// none, as in every single-byte code page, and code page 932's, whose second
// bytes include "\\" (0x5C).
#pragma once

inline int SingleByteRule(unsigned char) { return 0; }
inline int CodePage932Rule(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
