#include "paths.h"

#include <string.h>  // memcpy: SETUP1.EXE has its own

#ifdef _WIN32
#include <windows.h>

static int SystemLeadByte(unsigned char c) { return IsDBCSLeadByte(c); }
LeadByteRule IsLeadByte = SystemLeadByte;
#else
static int NoLeadByte(unsigned char) { return 0; }
LeadByteRule IsLeadByte = NoLeadByte;
#endif

const char *NextCharacter(const char *text)
{
    // A lead byte at the end of the text stands alone: the walk never
    // steps over the terminator.
    return text + (IsLeadByte((unsigned char)text[0]) && text[1] ? 2 : 1);
}

size_t TextLength(const char *text)
{
    size_t length = 0;
    while (text[length]) ++length;
    return length;
}

int SameText(const char *a, const char *b)
{
    for (; *a == *b; ++a, ++b)
        if (*a == '\0') return 1;
    return 0;
}

const char *FindChar(const char *text, char c)
{
    for (; *text; ++text)
        if (*text == c) return text;
    return 0;
}

char *FindLastChar(char *text, char c)
{
    char *last = 0;
    for (; *text; text = NextCharacter(text))
        if (*text == c) last = text;
    return last;
}

char *FindInText(char *text, const char *part)
{
    size_t length = TextLength(part);
    for (; *text; ++text) {
        size_t i = 0;
        while (i < length && text[i] == part[i]) ++i;
        if (i == length) return text;
    }
    return length == 0 ? text : 0;
}

int CopyText(char *dst, size_t dstSize, const char *src)
{
    if (dstSize == 0) return 0;
    size_t length = TextLength(src);
    int fits = length < dstSize;
    if (!fits) length = dstSize - 1;
    memcpy(dst, src, length);
    dst[length] = '\0';
    return fits;
}

// Length of a text that may lack its terminator within size bytes.
static size_t BoundedLength(const char *text, size_t size)
{
    size_t length = 0;
    while (length < size && text[length]) ++length;
    return length;
}

int AppendText(char *dst, size_t dstSize, const char *src)
{
    size_t used = BoundedLength(dst, dstSize);
    if (used >= dstSize) return 0;
    return CopyText(dst + used, dstSize - used, src);
}

int AppendNumber(char *dst, size_t dstSize, long value)
{
    char digits[24], *p = digits + sizeof digits;
    unsigned long magnitude = value < 0 ? 0ul - (unsigned long)value : (unsigned long)value;
    *--p = '\0';
    do *--p = (char)('0' + magnitude % 10);
    while ((magnitude /= 10) != 0);
    if (value < 0) *--p = '-';
    return AppendText(dst, dstSize, p);
}

static int IsSeparator(char c) { return c == '\\' || c == '/'; }

int JoinPathIn(char *path, size_t pathSize, const char *name)
{
    size_t length = BoundedLength(path, pathSize);
    if (length >= pathSize) return 0;
    // The last byte may be the second one of a two-byte character.
    int needSeparator = length == 0 || FileNamePart(path) != path + length;

    if (name[0] != '\0' && name[1] == ':') name += 2;
    while (name[0] == '.' && IsSeparator(name[1])) name += 2;
    if (SameText(name, ".")) name = "";

    size_t nameLength = TextLength(name);
    if (length + (needSeparator ? 1 : 0) + nameLength >= pathSize) return 0;
    if (needSeparator) path[length++] = '\\';
    memcpy(path + length, name, nameLength + 1);
    return 1;
}

int JoinPath(char *path, const char *name) { return JoinPathIn(path, PATH_SIZE, name); }

int JoinPathInto(char *out, size_t outSize, const char *directory, const char *name)
{
    int fits = CopyText(out, outSize, directory) && JoinPathIn(out, outSize, name);
    if (!fits && outSize > 0) out[0] = '\0';
    return fits;
}

const char *FileNamePart(const char *path)
{
    const char *start = path;
    for (const char *p = path; *p; p = NextCharacter(p))
        if (IsSeparator(*p) || *p == ':') start = p + 1;
    return start;
}

char *FileNamePart(char *path) { return path + (FileNamePart(static_cast<const char *>(path)) - path); }

char *DirectoryPart(char *path)
{
    size_t n = FileNamePart(path) - path;
    if (n >= 2 && IsSeparator(path[n - 1]) && path[n - 2] != ':') --n;
    path[n] = '\0';
    return path;
}

int PathClimbsOut(const char *name)
{
    // The same prefixes as JoinPath drops.
    if (name[0] != '\0' && name[1] == ':') name += 2;
    int depth = 0;
    for (const char *p = name; *p;) {
        const char *end = p;
        while (*end && !IsSeparator(*end)) end = NextCharacter(end);
        size_t length = (size_t)(end - p);
        if (length == 2 && p[0] == '.' && p[1] == '.') {
            if (--depth < 0) return 1;
        } else if (length > 0 && !(length == 1 && p[0] == '.')) {
            ++depth;
        }
        p = *end ? end + 1 : end;
    }
    return 0;
}

int DriveRoot(char *root, size_t rootSize, const char *path, const char *currentDirectory)
{
    if (rootSize == 0) return 0;
    root[0] = '\0';
    if (IsSeparator(path[0]) && IsSeparator(path[1])) {
        // \\SERVER\SHARE\ : up to the separator after the share's name.
        const char *end = path + 2;
        for (int part = 0; part < 2; ++part) {
            while (*end && !IsSeparator(*end)) end = NextCharacter(end);
            if (part == 0 && *end) ++end;
        }
        size_t length = (size_t)(end - path);
        if (length + 2 > rootSize) return 0;
        memcpy(root, path, length);
        root[length] = '\\';
        root[length + 1] = '\0';
        return 1;
    }
    if (IsSeparator(path[0])) {
        // Rooted on the current drive; a current directory that is itself
        // rooted names no drive either.
        if (!currentDirectory || (IsSeparator(currentDirectory[0]) && !IsSeparator(currentDirectory[1]))) return 0;
        return DriveRoot(root, rootSize, currentDirectory, 0);
    }
    if (rootSize < 4) return 0;
    root[0] = (char)(path[0] & 0x5F);
    // "@" and "`" (and the empty path) name no drive.
    if (root[0] == '@' || root[0] == '\0') {
        root[0] = '\0';
        return 1;
    }
    root[1] = ':';
    root[2] = '\\';
    root[3] = '\0';
    return 1;
}
