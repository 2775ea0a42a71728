// Path texts: bounded copying, joining and splitting.
#pragma once
#include <stddef.h>

enum { PATH_SIZE = 256 };  // 255 characters and the terminating NUL

// Whether a byte opens a two-byte character of the ANSI code page. Code
// pages 932, 936, 949 and 950 have such characters, and their second byte
// may be "\", so every walk over a path steps over them whole.
typedef int (*LeadByteRule)(unsigned char c);
// The rule the walks go by: the system's ANSI code page on Windows, no
// two-byte characters elsewhere. Tests put others in its place.
extern LeadByteRule IsLeadByte;
// The character after the one text points at (one byte on, or two for a
// lead byte with a byte after it).
const char *NextCharacter(const char *text);
inline char *NextCharacter(char *text) { return text + (NextCharacter(static_cast<const char *>(text)) - text); }

// The few string operations of the C library, so that the program needs no
// C runtime DLL.
size_t TextLength(const char *text);
// 1 when both texts are equal byte for byte.
int SameText(const char *a, const char *b);
// First c in text, or 0; for a c that is never the second byte of a
// two-byte character.
const char *FindChar(const char *text, char c);
// Last c in text that is a character of its own, or 0.
char *FindLastChar(char *text, char c);
// First place where part occurs in text, or 0.
char *FindInText(char *text, const char *part);

// Copy src into dst (dstSize bytes), always terminated. Returns 1 when all of
// src fit, 0 when it had to be cut.
int CopyText(char *dst, size_t dstSize, const char *src);
// Append src to the text already in dst; the same result rule as CopyText.
int AppendText(char *dst, size_t dstSize, const char *src);
// Append value in decimal, with a "-" when negative; the same result rule.
int AppendNumber(char *dst, size_t dstSize, long value);

// Append name to the directory path with one separator between. The result
// must fit pathSize bytes; when it would not, path is left unchanged and the
// join is refused with 0 (a cut path could name another file). 1 on success.
int JoinPathIn(char *path, size_t pathSize, const char *name);
// JoinPathIn for a path buffer of PATH_SIZE bytes.
int JoinPath(char *path, const char *name);
// directory and name, joined as JoinPathIn joins them, into out (outSize
// bytes). 1 when the whole path fit; 0, with out empty, when directory or
// the join had to be cut (a cut path could name another file).
int JoinPathInto(char *out, size_t outSize, const char *directory, const char *name);

// Start of the last component of path ("\", "/" and ":" separate).
const char *FileNamePart(const char *path);
char *FileNamePart(char *path);
// Cut path in place before its last component; returns path.
char *DirectoryPart(char *path);

// 1 when name, joined to a directory by JoinPath, would lead out of it: a
// ".." that climbs above where it starts.
int PathClimbsOut(const char *name);
// The root of the drive or share a path is on, for the free-space query:
// "X:\" from the first byte upper-cased (empty for "@" and "`"), "\\SERVER\SHARE\"
// for a network path, and for a path rooted at a separator the root of
// currentDirectory. 0, with root empty, when it does not fit rootSize bytes.
int DriveRoot(char *root, size_t rootSize, const char *path, const char *currentDirectory);
