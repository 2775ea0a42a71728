#!/usr/bin/env python3
"""Writes the seed corpora fuzz/corpus/<target>/ from the cases of the
plan's target grammar, the path helpers and the second-phase command line."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

TARGETS = ["3+S", "N", "34", "S 3", "3++4", "3S", "s", "S-x", "", " S", "+S", "4+S+N",
           "A+B+C+D+E+F+S", "ABCDEFGHIJKLMNOPQRSTUVWXYZ+4", "-S"]
CODES = ["S", "3S", "", "A-B"]

JOINS = [("C:\\STAGE", "SETUP1.INF"), ("A:\\", "SETUP1.INF"), ("C:", "X.TXT"), ("C:\\DIR/", "X"),
         ("C:\\DIR", "A:X.TXT"), ("C:\\DIR", "A:\\X.TXT"), ("C:\\DIR", ".\\X.TXT"), ("C:\\DIR", "./.\\X"),
         ("C:\\DIR", "..\\X"), ("C:\\DIR", "."), ("C:\\DIR", ""), ("C:\\DIR", "X:"), ("", "A.TXT")]
SPLITS = ["C:\\DIR\\SETUP1.EXE", "C:\\SETUP1.EXE", "C:SETUP1.EXE", "\\SETUP1.EXE", "SETUP1.EXE", "C:\\DIR\\",
          "A:\\", "\\\\SRV\\SHR\\SETUP1.EXE", "DIR/SUB/F.EXE"]
DBCS_JOINS = [(b"C:\\\x90\x56\x8b\x40\x94\x5c", b"SETUP1.INF"), (b"C:\\STAGE\x83\x5c", b"P2.EXE"),
              (b"\\\\SRV\x94\x5c\\SHR\\X", b"\x94\x5cX\\..\\..\\EVIL")]

LINES = [("C:\\STAGE", "P2.EXE", "", "4", "A:\\"), ("C:\\STAGE", "P2.EXE", "/q", "3+S", "D:\\DISK1"),
         ("C:\\STAGE", "P2.EXE", "", "", "A:\\"), ("C:\\MY STAGE", "P2.EXE", "", "N", "A:\\"),
         ("C:\\ZEVSTAGE", "PHASE2.EXE", "x y", "4", "Z:\\work\\medium")]


def write(target, number, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-%02d" % number), "wb") as f:
        f.write(data)


def b(text):
    return text.encode("cp1252")


n = 0
for t in TARGETS:
    for c in CODES[:2] if t else CODES:
        write("target", n, b(t) + b"\0" + b(c))
        n += 1
write("target", n, b"1+2+3\0S\0N+5+6")

size256 = bytes([0, 1])
for n, (p, name) in enumerate(JOINS):
    write("paths", n, size256 + b(p) + b"\0" + b(name))
for m, p in enumerate(SPLITS):
    write("paths", len(JOINS) + m, bytes([12, 0]) + b(p) + b"\0" + b("X"))
# Paths whose last character has "\" as its second byte under code page 932.
for m, (p, name) in enumerate(DBCS_JOINS):
    write("paths", len(JOINS) + len(SPLITS) + m, size256 + p + b"\0" + name)

for n, fields in enumerate(LINES):
    write("command_line", n, size256 + b"\0".join(b(f) for f in fields))
write("command_line", len(LINES), bytes([19, 0]) + b"\0".join(b(f) for f in ("C:\\S", "P.EXE", "", "4", "A:\\")))
