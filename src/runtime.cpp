// What the compiler may still call of the C library: the program links no C
// runtime DLL, which Windows NT 3.x and the first Windows 95 do not have.
// Built with -fno-builtin and without loop-to-call patterns, so that these
// loops are never turned back into calls of themselves.
#include <stddef.h>

extern "C" void *memcpy(void *destination, const void *source, size_t count)
{
    char *d = static_cast<char *>(destination);
    const char *s = static_cast<const char *>(source);
    while (count--) *d++ = *s++;
    return destination;
}

extern "C" void *memset(void *destination, int value, size_t count)
{
    char *d = static_cast<char *>(destination);
    while (count--) *d++ = (char)value;
    return destination;
}
