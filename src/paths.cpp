#include "paths.h"

#include <string.h>

int CopyText(char *dst, size_t dstSize, const char *src)
{
    if (dstSize == 0) return 0;
    size_t length = strlen(src);
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

static int IsSeparator(char c) { return c == '\\' || c == '/'; }

int JoinPathIn(char *path, size_t pathSize, const char *name)
{
    size_t length = BoundedLength(path, pathSize);
    if (length >= pathSize) return 0;
    int needSeparator = length == 0 || !(IsSeparator(path[length - 1]) || path[length - 1] == ':');

    if (name[0] != '\0' && name[1] == ':') name += 2;
    while (name[0] == '.' && IsSeparator(name[1])) name += 2;
    if (strcmp(name, ".") == 0) name = "";

    size_t nameLength = strlen(name);
    if (length + (needSeparator ? 1 : 0) + nameLength >= pathSize) return 0;
    if (needSeparator) path[length++] = '\\';
    memcpy(path + length, name, nameLength + 1);
    return 1;
}

int JoinPath(char *path, const char *name) { return JoinPathIn(path, PATH_SIZE, name); }

const char *FileNamePart(const char *path)
{
    const char *start = path;
    for (const char *p = path; *p; ++p)
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
